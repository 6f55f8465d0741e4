// Cutting an MP3 stream into frames: the header fields, frame lengths, and frames that arrive in
// pieces.

#include <gtest/gtest.h>

#include "app/deze/source/swfaud.h"
#include "tests/app/deze/mux_harness.h"

namespace {

TEST(Mp3Frame, HeaderFieldsAndFrameLengths) {
  const struct {
    std::vector<uint8_t> header;
    int syncword, version, layer;
    bool crc;
    int bitrateIndex, bitrate, samplingIndex, rate, padding, channelMode, samples, length;
  } cases[] = {
      // MPEG-1 Layer III 128 kbit/s 44100 Hz stereo, without and with padding, with CRC
      {{0xFF, 0xFB, 0x90, 0x00}, 2047, 0, 2, false, 9, 128000, 0, 44100, 0, 0, 1152, 417},
      {{0xFF, 0xFA, 0x92, 0xC0}, 2047, 0, 2, true, 9, 128000, 0, 44100, 1, 3, 1152, 418},
      // MPEG-2 and MPEG-2.5 Layer III mono 32 kbit/s
      {{0xFF, 0xF3, 0x40, 0xC0}, 2047, 1, 2, false, 4, 32000, 0, 22050, 0, 3, 576, 104},
      {{0xFF, 0xE3, 0x44, 0x40}, 2047, 2, 2, false, 4, 32000, 1, 12000, 0, 1, 576, 192},
      // Layer I counts slots of 4 bytes: 4 × (12 × 32000 / 44100 + 1)
      {{0xFF, 0xFF, 0x12, 0x00}, 2047, 0, 0, false, 1, 32000, 0, 44100, 1, 0, 384, 36},
      // MPEG-1 Layer II 192 kbit/s 48000 Hz; MPEG-2 Layer II shares the Layer III column
      {{0xFF, 0xFD, 0xA4, 0x00}, 2047, 0, 1, false, 10, 192000, 1, 48000, 0, 0, 1152, 576},
      {{0xFF, 0xF5, 0xA8, 0x00}, 2047, 1, 1, false, 10, 96000, 2, 16000, 0, 0, 1152, 864},
      // Free format, the forbidden index, a reserved version, a reserved rate: no length
      {{0xFF, 0xFB, 0x00, 0x00}, 2047, 0, 2, false, 0, 0, 0, 44100, 0, 0, 1152, -1},
      {{0xFF, 0xFB, 0xF0, 0x00}, 2047, 0, 2, false, 15, -1, 0, 44100, 0, 0, 1152, -1},
      {{0xFF, 0xEB, 0x90, 0x00}, 2047, 3, 2, false, 9, -1, 0, -1, 0, 0, 0, -1},
      {{0xFF, 0xFB, 0x9C, 0x00}, 2047, 0, 2, false, 9, 128000, 3, -1, 0, 0, 1152, -1},
      // Too few bytes to tell
      {{0xFF, 0xFB}, 2047, 0, 2, false, 16, -1, 4, -1, 0, 4, 1152, -1},
      {{0xFF}, 0, 4, 4, false, 16, -1, 4, -1, 0, 4, 0, -1},
  };
  for (const auto& test : cases) {
    Mp3Frame frame;
    BufferStream stream(test.header.data(), test.header.size());
    frame.Append(stream);
    SCOPED_TRACE(testing::PrintToString(test.header));
    EXPECT_EQ(test.syncword, frame.Syncword());
    EXPECT_EQ(test.version, frame.Version());
    EXPECT_EQ(test.layer, frame.Layer());
    EXPECT_EQ(test.crc, frame.HasCrc());
    EXPECT_EQ(test.bitrateIndex, frame.BitrateIndex());
    EXPECT_EQ(test.bitrate, frame.Bitrate());
    EXPECT_EQ(test.samplingIndex, frame.SamplingIndex());
    EXPECT_EQ(test.rate, frame.SamplingRate());
    EXPECT_EQ(test.padding, frame.Padding());
    EXPECT_EQ(test.channelMode, frame.ChannelMode());
    EXPECT_EQ(test.samples, frame.SamplesPerFrame());
    EXPECT_EQ(test.length, frame.FrameLength());
    if (test.header.size() == 4) {
      MP3FRAMEHEADER fields;
      BufferStream again(test.header.data(), test.header.size());
      ASSERT_TRUE(fields.Exchange(again));
      EXPECT_EQ(static_cast<uint32_t>(test.syncword), fields.Syncword.value);
      EXPECT_EQ(static_cast<uint32_t>(test.bitrateIndex), fields.Bitrate.value);
      EXPECT_EQ(static_cast<uint32_t>(test.channelMode), fields.ChannelMode.value);
    }
  }
}

TEST(Mp3Frame, AFrameSplitAtAnyByteIsTheSameFrame) {
  const std::vector<uint8_t> whole = Mp3FrameBytes(22050, 7);
  for (size_t split = 0; split <= whole.size(); ++split) {
    SCOPED_TRACE(split);
    Mp3Frame frame;
    BufferStream first(whole.data(), split);
    BufferStream second(whole.data() + split, whole.size() - split);
    if (split > 0) {
      ASSERT_TRUE(frame.Append(first));
    }
    EXPECT_EQ(split == whole.size(), frame.IsComplete());
    if (split < whole.size()) {
      ASSERT_TRUE(frame.Append(second));
    }
    EXPECT_TRUE(frame.IsComplete());
    EXPECT_EQ(whole, frame.Bytes());
  }
}

TEST(Mp3Frame, BrokenSequencesAreRefused) {
  const struct {
    std::vector<uint8_t> bytes;
    bool appended;
  } cases[] = {
      {{0xFF, 0x7B}, false},                          // syncword
      {{0xFE, 0xFB, 0x90, 0x00}, false},              // syncword
      {{0xFF, 0xFB, 0x00, 0x00, 1, 2, 3}, false},     // free format: no length
      {{0xFF, 0xFB, 0xF0, 0x00, 1, 2, 3}, false},     // the forbidden bitrate
      {{0xFF, 0xFB, 0x90, 0x00}, true},               // a header alone waits for more
  };
  for (const auto& test : cases) {
    Mp3Frame frame;
    BufferStream stream(test.bytes.data(), test.bytes.size());
    EXPECT_EQ(test.appended, frame.Append(stream)) << testing::PrintToString(test.bytes);
    EXPECT_FALSE(frame.IsComplete());
  }
}

// Samples that cut the stream anywhere give the same movie as one sample per frame.
TEST(Mp3Stream, SamplesCutAnywhereGiveTheSameMovie) {
  const std::vector<uint8_t> audio = Mp3Frames(22050, 12);
  std::vector<uint8_t> reference;
  // One frame per sample first (the reference), then pieces that cut frames everywhere.
  for (size_t piece : {size_t{104}, size_t{1}, size_t{3}, size_t{50}, size_t{103}, size_t{105}, size_t{250}}) {
    SCOPED_TRACE(piece);
    RunWithDeadline(kDeadlineMs, [&] {
      MuxGraph movie({Vp6Type(64, 48), Mp3Type(22050, 1)});
      ASSERT_EQ(S_OK, movie.Connect());
      ASSERT_EQ(S_OK, movie.graph.Run());
      EXPECT_EQ(S_OK, PushPieces(movie.Audio(), audio, piece));
      EXPECT_EQ(S_OK, PushVideo(movie.Video(), 0, 5));
      EXPECT_EQ(S_OK, movie.Audio()->SendEndOfStream());
      EXPECT_EQ(S_FALSE, movie.Video()->SendEndOfStream());
      if (piece == 104) reference = movie.Bytes();
      EXPECT_EQ(reference, movie.Bytes());
    });
  }
  const SwfMovie parsed = ParseMovie(reference);
  ASSERT_TRUE(parsed.valid);
  // Five frames with video, three more until the audio ran out; every MP3 byte once.
  EXPECT_EQ(8, parsed.Count(kTagShowFrame));
  size_t soundBytes = 0;
  for (const SwfTag& tag : parsed.tags) {
    if (tag.code == kTagSoundStreamBlock) soundBytes += tag.body.size() - 4;
  }
  EXPECT_EQ(audio.size(), soundBytes);
}

}  // namespace
