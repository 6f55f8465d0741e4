#include "common/fileutil.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "common/handle.h"
#include "tests/support/errors.h"

TEST(Files, WholeFileRoundTrip) {
  const uint8_t data[] = {1, 2, 3, 250};
  ASSERT_TRUE(WriteFileBytes(L"whole.bin", data, sizeof(data)));
  std::vector<uint8_t> read = {9};
  ASSERT_TRUE(ReadFileBytes(L"whole.bin", read));
  EXPECT_EQ(read, std::vector<uint8_t>(data, data + 4));
  EXPECT_EQ(GetFileSize64(L"whole.bin"), 4);

  ASSERT_TRUE(WriteFileBytes(L"empty.bin", data, 0));
  read = {9};
  EXPECT_TRUE(ReadFileBytes(L"empty.bin", read));
  EXPECT_TRUE(read.empty());
  EXPECT_EQ(GetFileSize64(L"empty.bin"), 0);
  EXPECT_FALSE(WriteFileBytes(L"bad.bin", nullptr, 1));
  EXPECT_FALSE(WriteFileBytes(L"bad.bin", data, -1));
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

TEST(Files, MissingFileFailsAfterTheBox) {
  std::vector<uint8_t> read = {9};
  EXPECT_FALSE(ReadFileBytes(L"no-such-file.bin", read));
  EXPECT_TRUE(read.empty());
  ASSERT_EQ(RecordedErrors().Boxes().size(), 1u);
  EXPECT_EQ(RecordedErrors().Boxes()[0].messages.back(), L"Failed to open file no-such-file.bin");
  EXPECT_EQ(GetFileSize64(L"no-such-file.bin"), -1);
}

TEST(Files, QuietOpenFailsWithoutBoxOrMessage) {
  std::vector<uint8_t> read = {9};
  EXPECT_FALSE(ReadFileBytes(L"no-such-file.bin", read, OpenFailure::kQuiet));
  EXPECT_TRUE(read.empty());
  const char data[] = "x";
  EXPECT_FALSE(WriteFileBytes(L"no\\folder\\quiet.bin", data, 1, OpenFailure::kQuiet));
  EXPECT_FALSE(FileStream(L"no-such-file.bin", true, true, OpenFailure::kQuiet).IsOpen());
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST(Files, DumpBufferFormatsItsName) {
  const char text[] = "dump";
  DumpBufferToFile(text, 4, L"dump-%02d.bin", 7);
  std::vector<uint8_t> read;
  ASSERT_TRUE(ReadFileBytes(L"dump-07.bin", read));
  EXPECT_EQ(std::string(read.begin(), read.end()), "dump");
  DumpBufferToFile(text, 4, L"no\\folder\\%d", 1);  // fails silently
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST(Files, SameFileBySpellingAndIdentity) {
  const uint8_t byte = 1;
  ASSERT_TRUE(WriteFileBytes(L"same.bin", &byte, 1));
  wchar_t full[MAX_PATH];
  ASSERT_GT(GetFullPathNameW(L"same.bin", MAX_PATH, full, nullptr), 0u);
  EXPECT_TRUE(IsSameFile(L"same.bin", full));
  EXPECT_TRUE(IsSameFile(L".\\SAME.BIN", L"same.bin"));
  EXPECT_FALSE(IsSameFile(L"same.bin", L"whole-other.bin"));
  EXPECT_TRUE(IsSameFile(L"c:\\Missing\\Path.txt", L"C:\\missing\\path.TXT"));
  EXPECT_FALSE(IsSameFile(L"c:\\missing\\a.txt", L"c:\\missing\\b.txt"));
  // A folder does not open as a file: its names are compared.
  EXPECT_FALSE(IsSameFile(L".", L"same.bin"));
  ASSERT_TRUE(CreateDirectoryW(L"same-folder", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(IsSameFile(L"same-folder", L".\\SAME-FOLDER\\"));
  EXPECT_FALSE(IsSameFile(L"same-folder", L"."));
}

TEST(Files, PathsAndTempFolder) {
  const std::wstring temp = GetTempFolder();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_EQ(LastPathPart(L"c:\\dir\\movie.swf"), L"\\movie.swf");
  EXPECT_EQ(LastPathPart(L"movie.swf"), L"movie.swf");
}

std::vector<int> g_released;

// Reset releases what was held, a detached handle is never released, and the end releases the last.
TEST(HandleGuard, ReleasesEachHeldHandleOnce) {
  g_released.clear();
  {
    HandleGuard guard(+[](int handle) { g_released.push_back(handle); }, 1);
    guard.Reset(2);
    EXPECT_EQ(2, guard.Get());
    EXPECT_EQ(2, guard.Detach());
    guard.Reset(3);
    EXPECT_EQ((std::vector<int>{1}), g_released);
  }
  EXPECT_EQ((std::vector<int>{1, 3}), g_released);
}
