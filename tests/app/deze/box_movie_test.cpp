// The lossless path end to end: a screen recording in RGB32 through the multiplexer into a movie,
// which box_replay_check.py then replays pixel for pixel against the frames written beside it.

#include <gtest/gtest.h>

#include <algorithm>

#include "common/fileutil.h"
#include "tests/app/deze/mux_harness.h"
#include "tests/app/deze/picture.h"

namespace {

std::vector<SwfTag> TagsOf(const std::vector<SwfTag>& frame, int32_t code) {
  std::vector<SwfTag> tags;
  std::copy_if(frame.begin(), frame.end(), std::back_inserter(tags), [code](const SwfTag& tag) { return tag.code == code; });
  return tags;
}

}  // namespace

TEST(BoxMovie, ScreenRecordingReplaysAsPushed) {
  // Typing, scrolling, a dragged window, a playing video, a clock and a pointer; then a still
  // screen with the two pixels whose bitmaps share Adler-32 and size, an unchanged frame, a change
  // of the byte without colour only, a block that comes back (a cached bitmap), and big jumps.
  Screen screen(321, 183);
  std::vector<Picture> frames;
  for (int i = 0; i < 25; ++i) {
    screen.Render(i);
    frames.emplace_back(screen);
  }
  frames.push_back(frames.back());
  frames.back().At(3, 60) = 0x00010002u;
  frames.push_back(frames.back());
  frames.back().At(310, 150) = 0x00000201u;
  frames.push_back(frames.back());
  frames.push_back(frames.back());
  for (int32_t y = 100; y < 110; ++y)
    for (int32_t x = 20; x < 30; ++x) frames.back().At(x, y) ^= 0x5A000000u;
  Picture red = frames.back();
  for (int32_t y = 20; y < 26; ++y)
    for (int32_t x = 20; x < 26; ++x) red.At(x, y) = 0x00FF0000u;
  frames.push_back(red);
  frames.push_back(frames[frames.size() - 2]);
  frames.push_back(red);
  for (int i : {140, 0}) {
    screen.Render(i);
    frames.emplace_back(screen);
  }

  std::vector<uint8_t> bytes;
  RunWithDeadline(kDeadlineMs, [&] {
    MuxGraph movie({RgbVideoType(screen.Width(), screen.Height(), 32)});
    movie.Video()->SetBuffers(2, screen.Width() * screen.Height() * 4);
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    for (size_t i = 0; i < frames.size(); ++i) {
      const REFERENCE_TIME start = REFERENCE_TIME(i) * kFrameTime25;
      ASSERT_EQ(S_OK, movie.Video()->Push(frames[i].Frame(), start, start + kFrameTime25)) << "frame " << i;
    }
    movie.Video()->SendEndOfStream();
    EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, movie.graph.Stop());
    bytes = movie.Bytes();
  });
  EXPECT_EQ("", LiveObjects());

  const SwfMovie movie = ParseMovie(bytes);
  ASSERT_TRUE(movie.valid);
  ASSERT_EQ(movie.Count(kTagShowFrame), int(frames.size()));
  // The colliding pixels each get a bitmap; the pair must really collide for this to mean much.
  const std::vector<SwfTag> first = TagsOf(movie.Frame(25), kTagDefineBitsLossless2);
  const std::vector<SwfTag> second = TagsOf(movie.Frame(26), kTagDefineBitsLossless2);
  ASSERT_EQ(first.size(), 1u);
  ASSERT_EQ(second.size(), 1u);
  const std::vector<uint8_t>& a = first[0].body;
  const std::vector<uint8_t>& b = second[0].body;
  EXPECT_TRUE(a.size() == b.size() && std::equal(a.end() - 4, a.end(), b.end() - 4)) << "no collision";
  EXPECT_TRUE(movie.Frame(27).empty()) << "an identical frame";
  EXPECT_EQ(TagsOf(movie.Frame(28), kTagDefineShape3).size(), 1u) << "a change of the fourth byte";
  EXPECT_TRUE(TagsOf(movie.Frame(31), kTagDefineBitsLossless2).empty()) << "the block's bitmap was not reused";
  EXPECT_EQ(TagsOf(movie.Frame(31), kTagDefineShape3).size(), 1u);

  ASSERT_TRUE(WriteFileBytes(L"box.swf", bytes.data(), int64_t(bytes.size())));
  std::vector<uint8_t> raw;
  for (const Picture& frame : frames) {
    const std::vector<uint8_t> topDown = frame.Frame(false);
    raw.insert(raw.end(), topDown.begin(), topDown.end());
  }
  ASSERT_TRUE(WriteFileBytes(L"box_frames.raw", raw.data(), int64_t(raw.size())));
}

// Character identifiers are 16 bits. Started 2k below the limit, k frames of one new bitmap each
// take the last one; the next frame does not fit, and the movie ends before it as a cut movie: no
// error, its own flag, nothing of that frame in the file and no identifier defined twice.
TEST(BoxMovie, RunsOutOfIdentifiersAsACutMovie) {
  constexpr int kFitting = 6;
  std::vector<uint8_t> bytes;
  std::vector<std::string> log;
  RecordingHandler handler("ids", &log);
  handler.prepare = [](MuxSettings* settings) {
    settings->nextCharacterId = 65536 - 2 * kFitting;
    return S_OK;
  };
  RunWithDeadline(kDeadlineMs, [&] {
    MuxGraph movie({RgbVideoType(32, 24, 32)});
    movie.Video()->SetBuffers(2, 32 * 24 * 4);
    movie.Muxer()->AddHandler(&handler);
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    Picture picture(32, 24);
    for (int i = 0; i < kFitting + 3; ++i) {
      // A block of a colour of its own: a bitmap that no earlier frame sent.
      for (int32_t y = 4; y < 8; ++y)
        for (int32_t x = 4; x < 8; ++x) picture.At(x, y) = 0x00100000u * uint32_t(i + 1);
      const REFERENCE_TIME start = REFERENCE_TIME(i) * kFrameTime25;
      EXPECT_EQ(i < kFitting ? S_OK : S_FALSE, movie.Video()->Push(picture.Frame(), start, start + kFrameTime25))
          << "frame " << i;
    }
    EXPECT_EQ(1, movie.memory->EndOfStreams());
    EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
    EXPECT_EQ(S_OK, movie.graph.Stop());
    movie.Muxer()->RemoveHandler(&handler);
    bytes = movie.Bytes();
  });
  EXPECT_EQ(kMuxFinished | kMuxCharacterLimitReached, handler.flagsAtFinish);
  EXPECT_EQ(kFitting, handler.framesAtFinish);
  ExpectWellFormed(bytes, kFitting);

  const SwfMovie movie = ParseMovie(bytes);
  std::vector<int32_t> defined;
  for (const SwfTag& tag : movie.tags) {
    if (tag.code == kTagDefineBitsLossless2 || tag.code == kTagDefineShape3) defined.push_back(Le16(tag.body, 0));
  }
  ASSERT_EQ(defined.size(), size_t(2 * kFitting));
  for (size_t i = 0; i < defined.size(); ++i) EXPECT_EQ(65536 - 2 * kFitting + int32_t(i), defined[i]) << i;
  const std::vector<SwfTag> last = TagsOf(movie.Frame(kFitting - 1), kTagDefineShape3);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(65535, Le16(last[0].body, 0));
}
