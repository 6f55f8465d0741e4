// The page written beside the movie: its three values, and that nothing is ever shown.

#include <windows.h>

#include <gtest/gtest.h>

#include "app/converter/source/page.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

PublishConfig Publish(const wchar_t* name) {
  PublishConfig publish;
  publish.save_dir = L".";
  publish.save_name = name;
  return publish;
}

struct Stage : MuxSettings {
  Stage(int32_t width, int32_t height) {
    stageWidth = width;
    stageHeight = height;
  }
};

}  // namespace

TEST(HtmlPage, FillsTheTemplateUpToItsFirstZero) {
  PutFile(L"page.htm", std::string("<p>$(flash_file) $(width)x$(height) $(WIDTH) $$(width)</p>") + '\0' + "$(width)");
  WriteHtmlPage(Publish(L"clip.final.swf"), Stage(320, 253), L"page.htm");
  EXPECT_EQ(FileText(L"clip.final.htm"), "<p>clip.final.swf 320x253 $(WIDTH) $320</p>");
}

TEST(HtmlPage, NameIsEscapedTextAndInsideTagsAPercentEncodedUrl) {
  PutFile(L"names.htm", "<title>$(flash_file)</title><a href=\"$(flash_file)\" width=$(width)>$(flash_file)</a>");
  WriteHtmlPage(Publish(L"Tom & Jerry #2 \u00FC \u65E5\u672C 100%.swf"), Stage(320, 253), L"names.htm");
  const std::string text = "Tom &amp; Jerry #2 \xC3\xBC \xE6\x97\xA5\xE6\x9C\xAC 100%.swf";
  const std::string url = "Tom%20&amp;%20Jerry%20%232%20%C3%BC%20%E6%97%A5%E6%9C%AC%20100%25.swf";
  EXPECT_EQ(FileText(L"Tom & Jerry #2 \u00FC \u65E5\u672C 100%.htm"),
            "<title>" + text + "</title><a href=\"" + url + "\" width=320>" + text + "</a>");

  // A name must not close a single-quoted attribute and add one of its own.
  PutFile(L"quoted.htm", "<embed src='$(flash_file)'>$(flash_file)");
  WriteHtmlPage(Publish(L"a' onload='x.swf"), Stage(320, 253), L"quoted.htm");
  EXPECT_EQ(FileText(L"a' onload='x.htm"), "<embed src='a&#39;%20onload=&#39;x.swf'>a&#39; onload=&#39;x.swf");
}

TEST(HtmlPage, OverwritesAnOldPageAndWritesAnEmptyOneWithoutTemplate) {
  PutFile(L"old.htm", "an older and longer page than the new one");
  PutFile(L"short.htm", "$(width)");
  WriteHtmlPage(Publish(L"old.swf"), Stage(64, 77), L"short.htm");
  EXPECT_EQ(FileText(L"old.htm"), "64");

  WriteHtmlPage(Publish(L"old.swf"), Stage(64, 77), L"no such template.htm");
  EXPECT_EQ(GetFileSize64(L"old.htm"), 0);
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

TEST(HtmlPage, WritesNothingWhenTurnedOffAndReportsNothingWhenItCannot) {
  PutFile(L"short.htm", "$(width)");
  PublishConfig off = Publish(L"off.swf");
  off.create_html = false;
  DeleteFileW(L"off.htm");
  WriteHtmlPage(off, Stage(64, 77), L"short.htm");
  EXPECT_EQ(GetFileSize64(L"off.htm"), -1);

  PublishConfig nowhere = Publish(L"lost.swf");
  nowhere.save_dir = L"no such folder";
  WriteHtmlPage(nowhere, Stage(64, 77), L"short.htm");
  EXPECT_EQ(GetFileSize64(L"no such folder\\lost.htm"), -1);
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}
