#include "common/strutil.h"

#include <gtest/gtest.h>

#include "common/duration.h"

TEST(Conversions, Utf8BothWaysWithSurrogatePair) {
  // "é", the euro sign and U+1F600 (a surrogate pair in UTF-16).
  const std::string utf8 = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::wstring wide = L"\u00E9\u20AC\xD83D\xDE00";
  EXPECT_EQ(ToWideString(utf8, kUtf8CodePage), wide);
  EXPECT_EQ(ToNarrowString(wide, kUtf8CodePage), utf8);

  std::wstring out = L"old";
  EXPECT_TRUE(ToWide("", out, kUtf8CodePage));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(ToWide(static_cast<const char*>(nullptr), out, kUtf8CodePage));
  std::string narrow;
  EXPECT_FALSE(ToNarrow(static_cast<const wchar_t*>(nullptr), narrow, kUtf8CodePage));
}

TEST(Conversions, BuffersFailWholeWhenTooSmall) {
  wchar_t wide[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_FALSE(ToWideBuffer("0123456789", wide, 4, kUtf8CodePage));
  EXPECT_EQ(wide[0], L'\0');
  EXPECT_TRUE(ToWideBuffer("abc", wide, 4, kUtf8CodePage));
  EXPECT_STREQ(wide, L"abc");
  char narrow[3];
  EXPECT_FALSE(ToNarrowBuffer(L"\u20AC", narrow, 3, kUtf8CodePage));  // 3 bytes and a terminator
  EXPECT_EQ(narrow[0], '\0');
  EXPECT_TRUE(ToNarrowBuffer(L"ab", narrow, 3, kUtf8CodePage));
  EXPECT_STREQ(narrow, "ab");
}

TEST(Numbers, DigitsAndValues) {
  EXPECT_EQ(HexDigitChar(9), L'9');
  EXPECT_EQ(HexDigitChar(10), L'A');
  EXPECT_EQ(HexDigitChar(200), L'F');
  EXPECT_EQ(HexDigitChar(0x10A), L'A');  // only the low 8 bits count
  EXPECT_EQ(HexDigitValue(L'g'), 0);
  EXPECT_EQ(HexDigitValue(L'F'), 15);
  EXPECT_EQ(HexDigitValue(L'b'), 11);
  EXPECT_TRUE(IsHexDigit(L'0') && IsHexDigit(L'f') && IsHexDigit(L'A'));
  EXPECT_FALSE(IsHexDigit(L'g') || IsHexDigit(L'/') || IsHexDigit(L'\xFF10'));
  EXPECT_EQ(ToInt(L"128kbps"), 128);
  EXPECT_EQ(ToInt(L"none"), 0);
  EXPECT_DOUBLE_EQ(ToDouble(L"2.5x"), 2.5);
  EXPECT_EQ(DoubleToString(0.25), L"0.250000");
  EXPECT_EQ(DoubleToString(3.14159, L"%.2f"), L"3.14");
  EXPECT_GT(DoubleToString(1e300).size(), 300u);
}

TEST(Tokens, FirstSplitTrim) {
  EXPECT_EQ(FirstToken(L" \t  "), L"");
  EXPECT_EQ(FirstToken(L"\t 128 kbps"), L"128");
  EXPECT_EQ(FirstToken(L"Auto"), L"Auto");
  EXPECT_EQ(SplitTokens(L",a,,bc,", L","), std::vector<std::wstring>({L"a", L"bc"}));
  EXPECT_EQ(SplitTokens(L"x y\tz", L" \t"), std::vector<std::wstring>({L"x", L"y", L"z"}));
  EXPECT_TRUE(SplitTokens(L",,,", L",").empty());
  std::wstring path = L"c:\\dir\\\\";
  TrimTrailing(path, L'\\');
  EXPECT_EQ(path, L"c:\\dir");
  std::wstring all = L"\\\\";
  TrimTrailing(all, L'\\');
  EXPECT_EQ(all, L"");
}

// Quotes group, and backslashes count only before a quote; the list is replaced, not added to.
TEST(Tokens, CommandLines) {
  std::vector<std::wstring> arguments = {L"stale"};
  ASSERT_TRUE(SplitCommandLine(L"\"C:\\My Files\\larkspan.exe\" -c \"a b.xml\" x\\\"y \\\\", arguments));
  EXPECT_EQ(arguments, std::vector<std::wstring>({L"C:\\My Files\\larkspan.exe", L"-c", L"a b.xml", L"x\"y", L"\\\\"}));
  EXPECT_FALSE(SplitCommandLine(nullptr, arguments));
  EXPECT_TRUE(arguments.empty());
}

TEST(Macros, ExpansionTable) {
  const std::map<std::string, std::string> names = {{"NAME", "x"}, {"width", "640"}, {"flash_file", "movie.swf"}};
  const struct {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"a$(NAME)b", "axb"},
      {"a$(OTHER)b", "a$(OTHER)b"},
      {"$()", "$()"},
      {"$ (NAME)", "$ (NAME)"},
      {"$$(NAME)", "$x"},
      {"($(NAME)", "(x"},
      {"$(width)x$(NAME)$(flash_file)", "640xxmovie.swf"},
      {"$(NA ME)", "$(NA ME)"},
      {"$(NAME", "$(NAME"},
      {"", ""},
  };
  for (const auto& item : cases) {
    std::string out = "stale";
    EXPECT_TRUE(ExpandMacros(names, item.text, out));
    EXPECT_EQ(out, item.expanded) << item.text;
  }
}

TEST(Duration, Texts) {
  const int64_t time = ((1 * 60 + 2) * 60 + 3) * 1000 + 456;
  EXPECT_EQ(Duration(time).ToString(false, false), L"1:02:03");
  EXPECT_EQ(Duration(time).ToString(false, true), L"1:02:03:456");
  EXPECT_EQ(Duration(65000).ToString(false, false), L"01:05");
  EXPECT_EQ(Duration(65000).ToString(true, false), L"0:01:05");
  EXPECT_EQ(Duration(0).ToString(false, true), L"00:00:000");
  EXPECT_EQ(Duration(int64_t(100) * 3600 * 1000).ToString(false, false), L"100:00:00");
}
