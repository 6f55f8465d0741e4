// The MP3 encoder stand-in as the converter uses it: created from lame.ax by class identifier,
// fed decoded PCM, its MP3 taken by the multiplexer's audio input.

#include <gtest/gtest.h>

#include "app/deze/source/swfaud.h"
#include "app/deze/source/swfmux.h"
#include "common/fileutil.h"
#include "common/format.h"
#include "common/stream.h"
#include "tests/standins/audio.h"

namespace {

constexpr DWORD kDeadlineMs = 60000;
constexpr CLSID kClsidLame = {0xB8D27088, 0xFF5F, 0x4B7C, {0x98, 0xDC, 0x0E, 0x91, 0xA1, 0x69, 0x62, 0x86}};

class LameStandIn : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

TEST_F(LameStandIn, TakesSixteenBitPcmAtMpegRatesOnly) {
  const struct {
    int channels, rate, bits;
    bool accepted;
  } cases[] = {
      {1, 8000, 16, true},   {2, 11025, 16, true},  {1, 12000, 16, true}, {2, 16000, 16, true},
      {1, 22050, 16, true},  {2, 24000, 16, true},  {1, 32000, 16, true}, {2, 44100, 16, true},
      {2, 48000, 16, true},  {2, 44100, 8, false},  {3, 44100, 16, false}, {2, 96000, 16, false},
      {1, 7999, 16, false},  {1, 10000, 16, false}, {2, 44100, 24, false},
  };
  RunWithDeadline(kDeadlineMs, [&] {
    ModuleChain chain(L"lame.ax", kClsidLame, PcmType(2, 44100, 16));
    ASSERT_EQ(S_OK, chain.created);
    for (const auto& c : cases) {
      const CMediaType type = PcmType(c.channels, c.rate, c.bits);
      EXPECT_EQ(c.accepted ? S_OK : S_FALSE, chain.in->QueryAccept(&type))
          << c.channels << " " << c.rate << " " << c.bits;
    }
    CMediaType mp3 = PcmType(2, 44100, 16);
    mp3.SetSubtype(&MEDIASUBTYPE_MPEG1AudioPayload);
    EXPECT_EQ(S_FALSE, chain.in->QueryAccept(&mp3));
  });
}

// The MPEG audio frames of a stream, each checked whole.
std::vector<Mp3Frame> Frames(const std::vector<uint8_t>& bytes) {
  std::vector<Mp3Frame> frames;
  BufferStream stream(bytes.data(), bytes.size());
  while (!stream.AtEnd()) {
    Mp3Frame frame;
    if (!frame.Append(stream) || !frame.IsComplete()) break;
    frames.push_back(frame);
  }
  return frames;
}

TEST_F(LameStandIn, EncodesAToneIntoFramesTheMultiplexerTakes) {
  const struct {
    int channels, rate;
    bool muxable;
  } cases[] = {{2, 44100, true}, {1, 22050, true}, {2, 11025, true}, {1, 48000, false}, {1, 8000, false}};
  RunWithDeadline(kDeadlineMs, [&] {
    HRESULT made = S_OK;
    ComPtr<IBaseFilter> muxer;
    CUnknown* object = SwfMuxer::CreateInstance(nullptr, &made);
    ASSERT_NE(nullptr, object);
    ASSERT_EQ(S_OK, object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(muxer.Clear())));
    ComPtr<IPin> muxAudio;
    ASSERT_EQ(S_OK, FindPin(muxer.Get(), PINDIR_INPUT, &MEDIATYPE_Audio, nullptr, muxAudio));

    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.channels << " channels at " << c.rate);
      ModuleChain chain(L"lame.ax", kClsidLame, PcmType(c.channels, c.rate, 16));
      ASSERT_EQ(S_OK, chain.created);
      ASSERT_EQ(S_OK, chain.ConnectInput());
      ASSERT_EQ(S_OK, chain.ConnectOutput());

      AM_MEDIA_TYPE type = {};
      ASSERT_EQ(S_OK, chain.out->ConnectionMediaType(&type));
      const CMediaType output(type);
      FreeMediaType(type);
      ASSERT_EQ(30u, output.FormatLength());
      const auto* format = reinterpret_cast<const MPEGLAYER3WAVEFORMAT*>(output.Format());
      EXPECT_EQ(WAVE_FORMAT_MPEGLAYER3, format->wfx.wFormatTag);
      EXPECT_EQ(c.rate, static_cast<int>(format->wfx.nSamplesPerSec));
      EXPECT_EQ(c.channels, format->wfx.nChannels);
      EXPECT_EQ(MPEGLAYER3_WFX_EXTRA_BYTES, format->wfx.cbSize);
      EXPECT_EQ(c.muxable ? S_OK : S_FALSE, muxAudio->QueryAccept(&output));

      // A second of tone in pieces that end inside a sample.
      const std::vector<uint8_t> tone = Tone(c.channels, c.rate, 16, 440, c.rate);
      ASSERT_EQ(S_OK, chain.Stream(tone, 3001, c.channels * 2, c.rate));
      EXPECT_EQ(1, chain.sink->EndOfStreams());
      ASSERT_EQ(S_OK, chain.graph.Stop());

      const std::vector<CapturedSample> samples = chain.sink->Samples();
      ASSERT_FALSE(samples.empty());
      REFERENCE_TIME last = -1;
      for (const CapturedSample& sample : samples) {
        EXPECT_EQ(S_OK, sample.timeResult);
        EXPECT_GE(sample.start, last);
        last = sample.start;
      }
      const std::vector<uint8_t> mp3 = chain.Output();
      const std::vector<Mp3Frame> frames = Frames(mp3);
      ASSERT_FALSE(frames.empty());
      int64_t frameBytes = 0;
      for (const Mp3Frame& frame : frames) {
        EXPECT_EQ(2, frame.Layer());
        EXPECT_EQ(c.rate, frame.SamplingRate());
        EXPECT_EQ(c.channels == 1, frame.ChannelMode() == 3);
        EXPECT_EQ(format->wfx.nAvgBytesPerSec * 8, static_cast<DWORD>(frame.Bitrate()));
        frameBytes += frame.Size();
      }
      // Whole frames from the first byte to the last, and at least the second of sound.
      EXPECT_EQ(static_cast<int64_t>(mp3.size()), frameBytes);
      EXPECT_GE(static_cast<int64_t>(frames.size()) * frames[0].SamplesPerFrame(), c.rate);
      WriteFileBytes(Format(L"tone-%d-%d.mp3", c.rate, c.channels).c_str(), mp3.data(),
                     static_cast<int64_t>(mp3.size()));
    }
  });
}

}  // namespace
