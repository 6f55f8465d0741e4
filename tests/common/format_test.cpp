#include "common/format.h"

#include <gtest/gtest.h>

#include "common/error.h"
#include "tests/support/errors.h"

// The system's texts are written for the Windows runtime: "%s" in a wide format takes wide text.
TEST(Format, WideStringArgumentIsWide) {
  ReportError(L"%s", L"path");
  ASSERT_EQ(RecordedErrors().Pushed().size(), 1u);
  EXPECT_EQ(RecordedErrors().Pushed()[0], L"path");
  EXPECT_EQ(Format(L"%s=%d", L"x", 5), L"x=5");
  EXPECT_EQ(FormatNarrow("%s=%I64d", "y", 1LL << 40), "y=1099511627776");
}

TEST(Format, OverflowReturnsMinusOneAndStaysTerminated) {
  wchar_t buffer[5];
  EXPECT_EQ(FormatBuffer(buffer, 5, L"%s", L"abcd"), 4);
  EXPECT_STREQ(buffer, L"abcd");
  EXPECT_EQ(FormatBuffer(buffer, 5, L"%s", L"abcde"), -1);
  EXPECT_EQ(buffer[4], L'\0');
  EXPECT_STREQ(buffer, L"abcd");
}

TEST(Format, GrowingStopsAtTheCap) {
  const std::wstring big(kMaxFormatCapacity + 100, L'x');
  const std::wstring text = Format(L"%s", big.c_str());
  EXPECT_EQ(text.size(), kMaxFormatCapacity - 1);
}
