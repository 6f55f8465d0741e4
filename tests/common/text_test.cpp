#include "common/text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "common/fileutil.h"
#include "tests/support/capture.h"
#include "tests/support/errors.h"

TEST(TextStream, SilentWithoutHandlerButIndentCounts) {
  TextStream stream;
  stream.Printf(L"nothing %d", 1);
  stream.Print(5);
  stream.Indent(3);
  EXPECT_EQ(stream.IndentLevel(), 3);
  EXPECT_FALSE(stream.HasHandler());
}

TEST(TextStream, IndentOnlyAtLineStarts) {
  CapturedStream out;
  out.stream.Indent(2);
  out.stream.Printf(L"a\nb");
  out.stream.Printf(L"c\n");
  const std::vector<std::wstring> expected = {L"    ", L"a", L"\n", L"    ", L"b", L"c", L"\n"};
  EXPECT_EQ(out.handler->pieces, expected);
}

TEST(TextStream, EmptyLinesAreIndentedToo) {
  CapturedStream out;
  out.stream.Indent(1);
  out.stream.Printf(L"\n\n");
  EXPECT_EQ(out.handler->Text(), L"  \n  \n");
}

TEST(TextStream, IndentFloorsAtZero) {
  CapturedStream out;
  out.stream.Indent(2);
  out.stream.Indent(-5);
  EXPECT_EQ(out.stream.IndentLevel(), 0);
  out.stream.Printf(L"x\n");
  EXPECT_EQ(out.handler->Text(), L"x\n");
  {
    IndentGuard guard(out.stream);
    out.stream.Printf(L"y\n");
  }
  out.stream.Printf(L"z\n");
  EXPECT_EQ(out.handler->Text(), L"x\n  y\nz\n");
}

TEST(TextStream, LongTextsGrowTheBuffer) {
  CapturedStream out;
  const std::wstring medium(5000, L'm');
  out.stream.Printf(L"%s", medium.c_str());
  EXPECT_EQ(out.handler->Text(), medium);
  out.handler->pieces.clear();
  const std::wstring huge(0x150000, L'h');
  out.stream.Print(huge);
  EXPECT_EQ(out.handler->Text(), huge);
}

TEST(TextStream, TypedPrints) {
  CapturedStream out;
  out.stream.Print(true);
  out.stream.Print(static_cast<char>(-3));
  out.stream.Print(static_cast<unsigned char>(200));
  out.stream.Print(0xFFFFFFFFu);
  out.stream.Print(1LL << 40);
  out.stream.Print(std::wstring(L"%s%n"));
  out.stream.Print("narrow %s");
  out.stream.Print(1.5);
  EXPECT_EQ(out.handler->Text(), L"1-3200-11099511627776%s%nnarrow %s1.500000");
}

TEST(TextStream, LabelledPrints) {
  CapturedStream out;
  out.stream.PrintField(L"biSize: ", 40UL);
  out.stream.PrintField(L"big: ", 1LL << 33);
  out.stream.PrintLabelled(L"tag: ", -2);
  EXPECT_EQ(out.handler->Text(), L"biSize: 40\nbig: 8589934592\ntag: -2\n");
}

TEST(TextFile, WritesThroughTheRuntimeAndReportsOpenFailure) {
  {
    TextStream stream(L"textfile.txt", L"w");
    stream.Indent(1);
    stream.Printf(L"line %d\n", 1);
  }
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(L"textfile.txt", bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "  line 1\r\n");

  TextStream broken(L"no\\such\\folder\\file.txt", L"w");
  broken.Printf(L"swallowed");
  ASSERT_EQ(RecordedErrors().Pushed().size(), 1u);
  EXPECT_EQ(RecordedErrors().Pushed()[0], L"Failed to open file no\\such\\folder\\file.txt");
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}
