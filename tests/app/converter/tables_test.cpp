// The converter's rules that are tables: bitrate texts, time left, the "-c" walk and the
// recent-project list.

#include <gtest/gtest.h>

#include "app/converter/source/application.h"
#include "app/converter/source/frame.h"
#include "app/converter/source/tabs.h"

namespace {

TEST(BitrateText, ParsesWhatTheUserTypes) {
  const struct {
    const wchar_t* text;
    int bitrate;
  } cases[] = {
      {L"Auto", 0},        {L"  Auto  ", 0},   {L"auto", 0},         {L"650", 650},
      {L"650 kbps", 650},  {L"650kbps", 650},  {L"700 kbps", 700},   {L" 1200 fast", 1200},
      {L"word", 0},        {L"", 0},           {L"kbps", 0},         {L"-5", -5},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseBitrate(c.text), c.bitrate) << c.text;
}

TEST(BitrateText, LabelsListedAndOtherValues) {
  EXPECT_EQ(BitrateLabel(0), L"Auto");
  EXPECT_EQ(BitrateLabel(700), L"700 kbps");
  EXPECT_EQ(BitrateLabel(1000), L"1000 kbps");
  EXPECT_EQ(BitrateLabel(650), L"650 kbps");
  EXPECT_EQ(BitrateLabel(-3), L"-3 kbps");
  ASSERT_EQ(BitrateList().size(), 11u);
  EXPECT_EQ(BitrateList().front().second, L"Auto");
  EXPECT_EQ(BitrateList()[1], std::make_pair(50, std::wstring(L"50 kbps")));
  // Every label reads back as its value.
  for (const auto& [value, text] : BitrateList()) EXPECT_EQ(ParseBitrate(BitrateLabel(value)), value) << text;
}

TEST(TimeLeft, FromElapsedTimeAndPercent) {
  const struct {
    uint32_t elapsedMs;
    int32_t percent;
    const wchar_t* text;
  } cases[] = {
      {60000, 0, L"00:00"},
      {60000, 1, L"00:00"},
      {60000, 50, L"01:00"},
      {60000, 100, L"00:00"},
      {3 * 60000, 75, L"01:00"},
      {3600000, 50, L"1:00:00"},
      {3600000, 25, L"3:00:00"},
      // 50 000 000 x 98 does not fit in 32 bits.
      {50000000, 2, L"680:33:20"},
      {0xFFFFFFFFu, 2, L"58459:16:37"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TimeLeftText(c.elapsedMs, c.percent), c.text) << c.elapsedMs << " " << c.percent;
  }
}

TEST(SettingsOption, TheLaterWinsAndOthersAreIgnored) {
  const struct {
    std::vector<std::wstring> arguments;
    const wchar_t* path;  // from the start value "start"
  } cases[] = {
      {{}, L"start"},
      {{L"-c", L"a.xml"}, L"a.xml"},
      {{L"-c", L"a.xml", L"-c", L"b.xml"}, L"b.xml"},
      {{L"-c", L"a.xml", L"-c"}, L"a.xml"},
      {{L"-c"}, L"start"},
      {{L"-C", L"a.xml"}, L"start"},
      {{L"-cp", L"a.xml"}, L"start"},
      {{L"-ca.xml"}, L"start"},
      {{L"-c", L"-c", L"x"}, L"-c"},
      {{L"x", L"-c", L"", L"y"}, L""},
  };
  for (const auto& c : cases) {
    std::wstring path = L"start";
    ApplySettingsOption(c.arguments, path);
    EXPECT_EQ(path, c.path) << c.arguments.size();
  }
}

TEST(RecentProjects, MoveToFrontKeepsOneEntryAndEight) {
  std::vector<std::wstring> recent = {L"a", L"b", L"c"};
  MoveToFront(recent, L"c");
  EXPECT_EQ(recent, (std::vector<std::wstring>{L"c", L"a", L"b"}));
  MoveToFront(recent, L"C");  // exact comparison: another entry
  EXPECT_EQ(recent, (std::vector<std::wstring>{L"C", L"c", L"a", L"b"}));
  MoveToFront(recent, recent[2]);  // an entry of the list itself
  EXPECT_EQ(recent, (std::vector<std::wstring>{L"a", L"C", L"c", L"b"}));

  std::vector<std::wstring> full;
  for (int i = 0; i < 10; ++i) full.push_back(std::to_wstring(i));
  MoveToFront(full, L"new");
  ASSERT_EQ(full.size(), kMaxRecentProjects);
  EXPECT_EQ(full.front(), L"new");
  EXPECT_EQ(full.back(), L"6");
  MoveToFront(full, L"3");
  EXPECT_EQ(full, (std::vector<std::wstring>{L"3", L"new", L"0", L"1", L"2", L"4", L"5", L"6"}));
}

}  // namespace
