#include "app/converter/source/config.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "common/loader.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

const std::wstring kKey = L"Software\\LarkspanTests\\Converter";

ProjectConfig SampleProject() {
  ProjectConfig project;
  project.video_config.video_file = L"C:\\Movies\\Demo \xE9 & <cut>.avi";
  project.video_config.format = kFormatLossless;
  project.video_config.bitrate = 0;
  project.video_config.key_frame_interval = 25;
  project.video_config.quality = 3;
  project.audio_config.audio_type = kAudioFromFile;
  project.audio_config.audio_file = L"D:\\sound\\voice.mp3";
  project.publish_config.save_dir = L"E:\\out\\";
  project.publish_config.save_name = L"demo.swf";
  project.publish_config.add_control = false;
  project.publish_config.create_html = false;
  return project;
}

// Files the loaders wrote go to written\, which the host check reads.
class ProjectFiles : public testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryW(L"written", nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
};

}  // namespace

TEST(Project, DefaultsEqualityAndAssign) {
  const ProjectConfig defaults;
  EXPECT_EQ(std::tie(defaults.video_config.format, defaults.video_config.bitrate,
                     defaults.video_config.key_frame_interval, defaults.video_config.quality,
                     defaults.audio_config.audio_type),
            std::make_tuple(1, 700, 10, 8, 1));
  EXPECT_TRUE(defaults.publish_config.add_control && defaults.publish_config.create_html);
  std::vector<std::pair<int, std::wstring>> formats = {{9, L"stale"}};
  GetFormatList(formats);
  EXPECT_EQ(formats, (std::vector<std::pair<int, std::wstring>>{{0, L"Screen Video (Lossless)"}, {1, L"Flash 8 (VP6)"}}));

  // Every one of the eleven values takes part in equality (strings with their case) and in Assign.
  const ProjectConfig sample = SampleProject();
  const std::function<void(ProjectConfig&)> changes[] = {
      [](ProjectConfig& p) { p.video_config.video_file = L"c:\\movies\\demo \xE9 & <cut>.avi"; },
      [](ProjectConfig& p) { p.video_config.format = 1; },
      [](ProjectConfig& p) { p.video_config.bitrate = 1; },
      [](ProjectConfig& p) { p.video_config.key_frame_interval = 1; },
      [](ProjectConfig& p) { p.video_config.quality = 1; },
      [](ProjectConfig& p) { p.audio_config.audio_type = 0; },
      [](ProjectConfig& p) { p.audio_config.audio_file = L"D:\\SOUND\\voice.mp3"; },
      [](ProjectConfig& p) { p.publish_config.save_dir = L"E:\\out"; },
      [](ProjectConfig& p) { p.publish_config.save_name = L"Demo.swf"; },
      [](ProjectConfig& p) { p.publish_config.add_control = true; },
      [](ProjectConfig& p) { p.publish_config.create_html = true; },
  };
  for (size_t i = 0; i < std::size(changes); ++i) {
    ProjectConfig changed = sample;
    changes[i](changed);
    EXPECT_FALSE(changed == sample) << "change " << i;
    ProjectConfig assigned;
    assigned.Assign(changed);
    EXPECT_TRUE(assigned == changed) << "change " << i;
  }
}

TEST(HtmlPage, NameDropsEverythingFromTheLastDot) {
  for (auto [movie, page] : {std::pair{L"movie.swf", L"movie.htm"}, std::pair{L"clip.final.swf", L"clip.final.htm"},
                             std::pair{L"noextension", L"noextension.htm"}, std::pair{L".swf", L".htm"},
                             std::pair{L"", L".htm"}}) {
    EXPECT_EQ(HtmlPageName(movie), page) << movie;
  }
}

// The movie and its page lie side by side in save_dir, the folder taken as it was typed.
TEST(OutputPaths, MovieAndPageLieInTheSaveFolder) {
  PublishConfig publish;
  publish.save_dir = L"E:\\out";
  publish.save_name = L"clip.final.swf";
  const OutputPaths paths = GetOutputPaths(publish);
  EXPECT_EQ(paths.movie, L"E:\\out\\clip.final.swf");
  EXPECT_EQ(paths.page, L"E:\\out\\clip.final.htm");
}

TEST_F(ProjectFiles, DefaultFileByteForByteAndBothStoresAgree) {
  ProjectConfig defaults;
  ASSERT_TRUE(XmlLoader(L"written\\default.xml").Save(defaults));
  EXPECT_EQ(FileText(L"written\\default.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n"
            "  <video_config>\r\n    <video_file></video_file>\r\n    <format>1</format>\r\n"
            "    <bitrate>700</bitrate>\r\n    <key_frame_interval>10</key_frame_interval>\r\n"
            "    <quality>8</quality>\r\n  </video_config>\r\n"
            "  <audio_config>\r\n    <audio_type>1</audio_type>\r\n    <audio_file></audio_file>\r\n"
            "  </audio_config>\r\n"
            "  <publish_config>\r\n    <save_dir></save_dir>\r\n    <save_name></save_name>\r\n"
            "    <add_control>1</add_control>\r\n    <create_html>1</create_html>\r\n  </publish_config>\r\n"
            "</root>\r\n");
  ProjectConfig loaded = SampleProject();
  ASSERT_TRUE(XmlLoader(L"written\\default.xml").Load(loaded));
  EXPECT_TRUE(loaded == defaults);

  ProjectConfig sample = SampleProject();
  ASSERT_TRUE(XmlLoader(L"written\\sample.xml").Save(sample));
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, kKey).Save(sample));
  ProjectConfig fromXml, fromRegistry;
  ASSERT_TRUE(XmlLoader(L"written\\sample.xml").Load(fromXml));
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, kKey).Load(fromRegistry));
  EXPECT_TRUE(fromXml == sample);
  EXPECT_TRUE(fromRegistry == sample);
}

TEST_F(ProjectFiles, KeysTheFileLacksKeepTheirValues) {
  PutFile(L"partial.xml",
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n  <video_config>\r\n    <bitrate>350</bitrate>\r\n"
          "    <quality>high</quality>\r\n  </video_config>\r\n  <publish_config>\r\n    <create_html>0</create_html>\r\n"
          "  </publish_config>\r\n</root>\r\n");
  ProjectConfig project = SampleProject();
  ProjectConfig expected = SampleProject();
  expected.video_config.bitrate = 350;
  expected.publish_config.create_html = false;
  ASSERT_TRUE(XmlLoader(L"partial.xml").Load(project));
  EXPECT_TRUE(project == expected);

  PutFile(L"broken.xml", "<root><video_config><bitrate>1</bitrate>");
  EXPECT_FALSE(XmlLoader(L"broken.xml").Load(project));
  EXPECT_TRUE(project == expected);
}

TEST_F(ProjectFiles, RecentProjectsAreRepeatedFileEntries) {
  Config config;
  config.recent_projects = {L"C:\\a.xml", L"C:\\b.xml", L"C:\\c.xml"};
  ASSERT_TRUE(XmlLoader(L"written\\settings.xml").Save(config));
  EXPECT_EQ(FileText(L"written\\settings.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n  <recent_projects>\r\n"
            "    <file>C:\\a.xml</file>\r\n    <file>C:\\b.xml</file>\r\n    <file>C:\\c.xml</file>\r\n"
            "  </recent_projects>\r\n</root>\r\n");
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, kKey).Save(config));
  wchar_t stored[64] = L"";
  DWORD size = sizeof(stored);
  RegGetValueW(HKEY_CURRENT_USER, (kKey + L"\\recent_projects").c_str(), L"file[2]", RRF_RT_REG_SZ, nullptr, stored,
               &size);
  EXPECT_STREQ(stored, L"C:\\c.xml");
  Config fromXml, fromRegistry;
  ASSERT_TRUE(XmlLoader(L"written\\settings.xml").Load(fromXml));
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, kKey).Load(fromRegistry));
  EXPECT_EQ(fromXml.recent_projects, config.recent_projects);
  EXPECT_EQ(fromRegistry.recent_projects, config.recent_projects);

  // No "file" children empty the list; no "recent_projects" leaves it alone.
  PutFile(L"nofiles.xml", "<root><recent_projects><other>x</other></recent_projects></root>");
  PutFile(L"nolist.xml", "<root><other>1</other></root>");
  ASSERT_TRUE(XmlLoader(L"nolist.xml").Load(config));
  EXPECT_EQ(config.recent_projects.size(), 3u);
  ASSERT_TRUE(XmlLoader(L"nofiles.xml").Load(config));
  EXPECT_TRUE(config.recent_projects.empty());
}
