// What the multiplexer writes: a whole small movie byte for byte, the sound tags at each rate, the
// seeking answers. The expected bytes are laid out here by hand from the SWF tag tables.

#include <gtest/gtest.h>

#include <cstring>

#include "common/fileutil.h"
#include "tests/app/deze/mux_harness.h"

namespace {

class MuxMovie : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

struct Bytes : std::vector<uint8_t> {
  Bytes& U8(int value) {
    push_back(static_cast<uint8_t>(value));
    return *this;
  }
  Bytes& U16(int value) { return U8(value & 0xFF).U8(value >> 8 & 0xFF); }
  Bytes& Add(const std::vector<uint8_t>& bytes) {
    insert(end(), bytes.begin(), bytes.end());
    return *this;
  }
  // A tag header, long when the length is 63 or more.
  Bytes& Tag(int code, size_t length) {
    if (length < 63) return U16(code << 6 | static_cast<int>(length));
    return U16(code << 6 | 63).U16(static_cast<int>(length)).U16(0);
  }
};

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t offset, size_t count) {
  return {bytes.begin() + static_cast<ptrdiff_t>(offset), bytes.begin() + static_cast<ptrdiff_t>(offset + count)};
}

TEST_F(MuxMovie, SmallVp6AndMp3MovieByteForByte) {
  const std::vector<std::vector<uint8_t>> video = {VideoBytes(0, 40), VideoBytes(1, 100), VideoBytes(2, 59)};
  const std::vector<uint8_t> audio = Mp3Frames(22050, 5);
  auto mp3 = [&audio](size_t first, size_t count) { return Slice(audio, first * 104, count * 104); };

  RunWithDeadline(kDeadlineMs, [&] {
    ComPtr<IBaseFilter> dump = NewFileDump(L"golden.swf");
    MuxGraph movie({Vp6Type(320, 240), Mp3Type(22050, 1)}, dump.Get());
    ASSERT_EQ(S_OK, movie.Connect());
    // The same graph runs twice: the second movie starts afresh in a file of its own.
    for (const wchar_t* name : {L"golden.swf", L"golden_again.swf"}) {
      ASSERT_EQ(S_OK, ComPtr<IFileSinkFilter>::QueryFrom(dump.Get())->SetFileName(name, nullptr));
      ASSERT_EQ(S_OK, movie.graph.Run());
      EXPECT_EQ(S_OK, PushAudio(movie.Audio(), audio, 22050));
      for (int i = 0; i < 3; ++i) EXPECT_EQ(S_OK, movie.Video()->Push(video[i], i * kFrameTime25, (i + 1) * kFrameTime25));
      EXPECT_EQ(S_OK, movie.Video()->SendEndOfStream());
      EXPECT_EQ(S_FALSE, movie.Audio()->SendEndOfStream());  // the last stream ends the movie
      EXPECT_TRUE(movie.graph.WaitForEvent(EC_COMPLETE, 5000));
      EXPECT_EQ(S_OK, movie.graph.Stop());
    }
  });

  Bytes expect;
  expect.Add({'F', 'W', 'S', 8}).U16(0).U16(0);  // FileLength, patched below
  expect.Add({0x70, 0x00, 0x0c, 0x80, 0x00, 0x00, 0x96, 0x00}).U16(6400).U16(4);
  // Frame 0: the video stream, its first frame placed as "videoStage", the sound head, one MP3 frame.
  expect.Tag(60, 10).U16(1).U16(3).U16(320).U16(240).U8(0x05).U8(4);
  expect.Tag(61, 44).U16(1).U16(0).Add(video[0]);
  expect.Tag(26, 18).U8(0x26).U16(1).U16(1).Add({0x02, 0x00}).Add({'v', 'i', 'd', 'e', 'o', 'S', 't', 'a', 'g', 'e', 0});
  expect.Tag(45, 6).Add({0x0A, 0x2A}).U16(882).U16(0);
  expect.Tag(19, 108).U16(576).U16(0).Add(mp3(0, 1)).Tag(1, 0);
  // Frames 1 and 2: the window of 882 samples per frame takes 2, then 1 MP3 frames of 576.
  expect.Tag(61, 104).U16(1).U16(1).Add(video[1]).Tag(26, 5).U8(0x11).U16(1).U16(1);
  expect.Tag(19, 212).U16(1152).U16(882 - 576).Add(mp3(1, 2)).Tag(1, 0);
  expect.Tag(61, 63).U16(1).U16(2).Add(video[2]).Tag(26, 5).U8(0x11).U16(1).U16(2);
  expect.Tag(19, 108).U16(576).U16(1764 - 1728).Add(mp3(3, 1)).Tag(1, 0);
  // Frame 3: the video has ended; the last MP3 frame alone.
  expect.Tag(19, 108).U16(576).U16(2646 - 2304).Add(mp3(4, 1)).Tag(1, 0);
  expect.U16(0);
  const uint32_t length = static_cast<uint32_t>(expect.size());
  std::memcpy(expect.data() + 4, &length, 4);

  for (const wchar_t* name : {L"golden.swf", L"golden_again.swf"}) {
    std::vector<uint8_t> written;
    ASSERT_TRUE(ReadFileBytes(name, written));
    EXPECT_EQ(expect, written);
  }
}

// Frame 0 and 1 of a two-frame movie with the given audio at 25 fps.
struct SoundCase {
  int32_t rate;
  int32_t channels;
  int audioFrames;
  std::vector<std::vector<int32_t>> frameTags;  // codes of frames 0 and 1
  std::vector<uint8_t> soundHead;               // tag header and body
  std::vector<std::vector<int>> blocks;         // SampleCount, SeekSamples, MP3 frames of frames 0 and 1
};

TEST_F(MuxMovie, SoundHeadAndBlocksAtEachRate) {
  const SoundCase cases[] = {
      {44100, 2, 3, {{60, 61, 26, 45, 19}, {61, 26, 19}}, {0x46, 0x0b, 0x0f, 0x2f, 0xe4, 0x06, 0x00, 0x00},
       {{1152, 0, 1}, {2304, 1764 - 1152, 2}}},
      // Frame 0 ends at sample 441, before the first MP3 frame does: an empty block, and the head
      // again before the first sound.
      {11025, 1, 2, {{60, 61, 26, 45, 19}, {61, 26, 45, 19}}, {0x46, 0x0b, 0x06, 0x26, 0xb9, 0x01, 0x00, 0x00},
       {{0, 0, 0}, {576, 441, 1}}},
  };
  for (const SoundCase& sound : cases) {
    SCOPED_TRACE(sound.rate);
    RunWithDeadline(kDeadlineMs, [&] {
      MuxGraph movie({Vp6Type(64, 48), Mp3Type(sound.rate, sound.channels)});
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      const std::vector<uint8_t> audio = Mp3Frames(sound.rate, sound.audioFrames);
      EXPECT_EQ(S_OK, PushAudio(movie.Audio(), audio, sound.rate));
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 2));
      EXPECT_EQ(S_OK, movie.graph.Stop());

      const SwfMovie parsed = ParseMovie(movie.Bytes());
      ASSERT_TRUE(parsed.valid);
      const size_t frameSize = Mp3FrameBytes(sound.rate, 0).size();
      size_t sent = 0;
      for (int frame = 0; frame < 2; ++frame) {
        const std::vector<SwfTag> tags = parsed.Frame(frame);
        std::vector<int32_t> codes;
        for (const SwfTag& tag : tags) codes.push_back(tag.code);
        EXPECT_EQ(sound.frameTags[frame], codes);
        const SwfTag& head = tags[tags.size() - 2];
        if (head.code == kTagSoundStreamHead2) {
          Bytes serialised;
          serialised.Tag(head.code, head.body.size()).Add(head.body);
          EXPECT_EQ(sound.soundHead, serialised);
        }
        const std::vector<uint8_t>& block = tags.back().body;
        const std::vector<int>& expected = sound.blocks[frame];
        ASSERT_EQ(4 + expected[2] * frameSize, block.size());
        EXPECT_EQ(expected[0], Le16(block, 0));
        EXPECT_EQ(expected[1], Le16(block, 2));
        EXPECT_EQ(Slice(audio, sent, block.size() - 4), Slice(block, 4, block.size() - 4));
        sent += block.size() - 4;
      }
    });
  }
}

// Below 0.68 fps a frame spans more than 65535 samples: the counts saturate instead of wrapping,
// and a block still holds every MP3 frame its window needs.
TEST_F(MuxMovie, SlowMovieKeepsTheSixteenBitCountsValid) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48, 2'000'000'000), Mp3Type(44100, 2)});
    ASSERT_EQ(S_OK, movie.Connect());
    ASSERT_EQ(S_OK, movie.graph.Run());
    const std::vector<uint8_t> sound = Mp3Frames(44100, 60);
    EXPECT_EQ(S_OK, PushAudio(movie.Audio(), sound, 44100));
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 1));
    EXPECT_EQ(S_OK, movie.Video()->SendEndOfStream());
    EXPECT_EQ(S_FALSE, movie.Audio()->SendEndOfStream());

    const SwfMovie parsed = ParseMovie(movie.Bytes());
    ASSERT_TRUE(parsed.valid);
    EXPECT_EQ(1, parsed.header.FrameRate);
    EXPECT_EQ(1, parsed.header.FrameCount);
    const std::vector<SwfTag> first = parsed.Frame(0);
    ASSERT_EQ(5u, first.size());
    EXPECT_EQ(65535, Le16(first[3].body, 2));  // StreamSoundSampleCount
    EXPECT_EQ(65535, Le16(first[4].body, 0)) << "60 × 1152 samples";
    EXPECT_EQ(0, Le16(first[4].body, 2));
    EXPECT_TRUE(std::equal(sound.begin(), sound.end(), first[4].body.begin() + 4, first[4].body.end()));
  });
}

TEST_F(MuxMovie, SeekingReportsDurationAndTheLastVideoFrame) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48), Mp3Type(22050, 1)});
    movie.Video()->SetDuration(50'000'000);
    movie.Audio()->SetDuration(70'000'000);
    ASSERT_EQ(S_OK, movie.Connect());
    auto seeking = ComPtr<IMediaSeeking>::QueryFrom(movie.muxerRef.Get());
    ASSERT_TRUE(seeking.IsValid());
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, PushAudio(movie.Audio(), Mp3Frames(22050, 6), 22050));
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 3));
    LONGLONG value = -1;
    EXPECT_EQ(S_OK, seeking->GetDuration(&value));
    EXPECT_EQ(70'000'000, value);  // the longer stream
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_EQ(2 * kFrameTime25, value);
    DWORD capabilities = AM_SEEKING_CanGetDuration | AM_SEEKING_CanSeekAbsolute;
    EXPECT_EQ(S_FALSE, seeking->CheckCapabilities(&capabilities));
    EXPECT_EQ(S_OK, seeking->ConvertTimeFormat(&value, nullptr, 1234, &TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(E_INVALIDARG, seeking->ConvertTimeFormat(&value, &TIME_FORMAT_FRAME, 1, nullptr));
    EXPECT_EQ(S_OK, movie.graph.Stop());
  });
}

// A removed handler is never called again, however often it was added; the others still are.
TEST_F(MuxMovie, RemovedHandlersHearNothing) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph movie({Vp6Type(64, 48)});
    ASSERT_EQ(S_OK, movie.Connect());
    std::vector<std::string> log;
    RecordingHandler gone("gone", &log);
    RecordingHandler kept("kept", &log);
    ISwfMuxer* muxer = movie.Muxer();
    EXPECT_EQ(S_OK, muxer->AddHandler(&gone));
    EXPECT_EQ(S_OK, muxer->AddHandler(&kept));
    EXPECT_EQ(S_OK, muxer->AddHandler(&gone));
    ASSERT_EQ(S_OK, movie.graph.Run());
    EXPECT_EQ(S_OK, muxer->RemoveHandler(&gone));
    EXPECT_EQ(S_FALSE, muxer->RemoveHandler(&gone));
    EXPECT_EQ(E_POINTER, muxer->RemoveHandler(nullptr));
    EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 1));
    EXPECT_EQ(S_OK, movie.graph.Stop());
    EXPECT_EQ((std::vector<std::string>{"gone:prepare", "kept:prepare", "gone:prepare", "gone:header", "kept:header",
                                        "gone:header", "kept:finish"}),
              log);
  });
}

}  // namespace
