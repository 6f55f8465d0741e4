// The control in real movies: a VP6-typed and a lossless movie through the multiplexer, with the
// page written at the finish as the engine does. The movies and pages stay for control_check.py.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "app/converter/source/control.h"
#include "app/converter/source/page.h"
#include "common/fileutil.h"
#include "common/window.h"
#include "media/swfrecord.h"
#include "tests/app/deze/mux_harness.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

// Writes the page at the finish, as the engine's own finish does.
class PageAtFinish : public ISwfMuxHandler {
 public:
  PageAtFinish(const PublishConfig& publish, const std::wstring& templatePath)
      : publish_(publish), templatePath_(templatePath) {}
  HRESULT OnPrepare(MuxSettings*) override { return S_OK; }
  HRESULT OnHeaderWritten(MuxSettings*, BitStream*) override { return S_OK; }
  HRESULT OnFinish(MuxSettings* settings, BitStream*) override {
    WriteHtmlPage(publish_, *settings, templatePath_);
    return S_OK;
  }

 private:
  PublishConfig publish_;
  std::wstring templatePath_;
};

PublishConfig Publish(const wchar_t* name) {
  PublishConfig publish;
  publish.save_dir = L".";
  publish.save_name = name;
  return publish;
}

// Runs `frames` frames of 320 x 240 through the multiplexer with the handlers; the movie's bytes.
std::vector<uint8_t> RunMovie(bool lossless, int frames, const std::vector<ISwfMuxHandler*>& handlers) {
  std::vector<uint8_t> bytes;
  RunWithDeadline(kDeadlineMs, [&] {
    MuxGraph movie({lossless ? RgbVideoType(320, 240, 32) : Vp6Type(320, 240)});
    if (lossless) movie.Video()->SetBuffers(2, 320 * 240 * 4);
    ASSERT_EQ(S_OK, movie.Connect());
    for (ISwfMuxHandler* handler : handlers) ASSERT_EQ(S_OK, movie.Muxer()->AddHandler(handler));
    ASSERT_EQ(S_OK, movie.graph.Run());
    for (int i = 0; i < frames; ++i) {
      const REFERENCE_TIME start = i * kFrameTime25;
      if (lossless) {
        std::vector<uint8_t> frame(320 * 240 * 4, static_cast<uint8_t>(i * 40));
        ASSERT_EQ(S_OK, movie.Video()->Push(frame, start, start + kFrameTime25));
      } else {
        ASSERT_EQ(S_OK, PushVideo(movie.Video(), i, 1));
      }
    }
    movie.Video()->SendEndOfStream();
    EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, movie.graph.Stop());
    bytes = movie.Bytes();
  });
  return bytes;
}

std::wstring Beside(const wchar_t* name) { return GetModuleFolder(nullptr) + L"\\" + name; }

int32_t DepthOf(const SwfTag& placement) { return Le16(placement.body, 1); }

}  // namespace

TEST(ControlMovie, ControlComesBeforeTheFirstFrameInBothVideoKinds) {
  PutFile(L"size.htm", "$(width)x$(height)");
  for (const bool lossless : {false, true}) {
    SCOPED_TRACE(lossless ? "lossless" : "VP6");
    const wchar_t* name = lossless ? L"control_box.swf" : L"control_vp6.swf";
    SwfControl control;
    control.SetMovieName(name);
    PageAtFinish page(Publish(name), L"size.htm");
    PageAtFinish realPage(Publish(lossless ? L"control_box.real.swf" : L"control_vp6.real.swf"),
                          Beside(L"control.htm"));
    const int frames = 6;
    const std::vector<uint8_t> bytes = RunMovie(lossless, frames, {&control, &page, &realPage});
    ASSERT_TRUE(WriteFileBytes(name, bytes.data(), static_cast<int64_t>(bytes.size())));

    const SwfMovie movie = ParseMovie(bytes);
    ASSERT_TRUE(movie.valid);
    EXPECT_EQ(movie.header.FrameSize.Xmax.value, 320 * 20);
    EXPECT_EQ(movie.header.FrameSize.Ymax.value, 253 * 20);
    EXPECT_EQ(movie.header.FrameCount, frames);
    ASSERT_FALSE(movie.tags.empty());
    EXPECT_EQ(movie.tags[0].code, kTagDoAction);
    const auto control16001 = std::find_if(movie.tags.begin(), movie.tags.end(), [](const SwfTag& tag) {
      return tag.code == kTagPlaceObject2 && DepthOf(tag) == kMovieControlDepth;
    });
    ASSERT_NE(control16001, movie.tags.end());
    for (auto tag = movie.tags.begin() + 1; tag != control16001; ++tag) {
      EXPECT_TRUE(tag->code == kTagDefineShape3 || tag->code == kTagDefineButton2 ||
                  tag->code == kTagDefineEditText || tag->code == kTagDefineSprite || tag->code == kTagDefineFont2)
          << "tag " << tag->code << " among the definitions";
    }
    EXPECT_EQ(std::count_if(movie.tags.begin(), control16001, [](const SwfTag& tag) {
                return tag.code == kTagDefineSprite && Le16(tag.body, 0) == SwfControl::kControlCharacterId;
              }), 1);
    // The video's own characters and depths start at 1000, right after the control.
    const SwfTag& firstVideo = *(control16001 + 1);
    EXPECT_EQ(Le16(firstVideo.body, 0), 1000) << firstVideo.code;
    const auto videoPlacement = std::find_if(control16001 + 1, movie.tags.end(),
                                             [](const SwfTag& tag) { return tag.code == kTagPlaceObject2; });
    ASSERT_NE(videoPlacement, movie.tags.end());
    EXPECT_EQ(DepthOf(*videoPlacement), 1000);
    EXPECT_EQ(FileText(HtmlPageName(name)), "320x253");
  }
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

TEST(ControlMovie, WithoutTheControlThePageHasTheVideosSize) {
  PutFile(L"size.htm", "$(width)x$(height)");
  PageAtFinish page(Publish(L"plain.swf"), L"size.htm");
  const std::vector<uint8_t> bytes = RunMovie(false, 3, {&page});
  ASSERT_TRUE(ParseMovie(bytes).valid);
  EXPECT_EQ(FileText(L"plain.htm"), "320x240");
}

TEST(ControlMovie, MissingTemplateFailsThePause) {
  RunWithDeadline(kDeadlineMs, [] {
    SwfControl control;
    control.SetTemplatePath(L"no such template.swf");
    MuxGraph movie({Vp6Type(320, 240)});
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.Muxer()->AddHandler(&control));
    EXPECT_EQ(E_FAIL, movie.muxer->Pause());
  });
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}
