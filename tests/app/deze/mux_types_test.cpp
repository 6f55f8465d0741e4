// Which formats the multiplexer's pins take, and what the connected format makes of the movie.

#include <gtest/gtest.h>


#include "app/deze/source/swfaud.h"
#include "tests/app/deze/mux_harness.h"

namespace {

class MuxTypes : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

CMediaType WithBitCount(CMediaType type, WORD bitCount) {
  reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->bmiHeader.biBitCount = bitCount;
  return type;
}

TEST_F(MuxTypes, VideoInputTakesRgb32AndVp6WithinTheMovieLimits) {
  const CMediaType vp6OnRgbCompression = [] {
    CMediaType type = Vp6Type(64, 48);
    reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->bmiHeader.biCompression = BI_RGB;
    return type;
  }();
  const struct {
    const char* what;
    CMediaType type;
    HRESULT expected;
  } cases[] = {
      {"vp6", Vp6Type(320, 240), S_OK},
      {"rgb32", RgbVideoType(320, 240, 32), S_OK},
      {"rgb32 top-down", RgbVideoType(320, -240, 32), S_OK},
      {"rgb24", RgbVideoType(320, 240, 24), S_FALSE},
      {"rgb32 subtype with 24-bit rows", WithBitCount(RgbVideoType(320, 240, 32), 24), S_FALSE},
      {"vp6 subtype, uncompressed header", vp6OnRgbCompression, S_FALSE},
      {"width 3276", Vp6Type(3276, 240), S_OK},
      {"width 3277", Vp6Type(3277, 240), S_FALSE},
      {"height 3276", Vp6Type(320, 3276), S_OK},
      {"height -3277", Vp6Type(320, -3277), S_FALSE},
      {"frame time 39063", Vp6Type(320, 240, 39063), S_OK},
      {"frame time 39062", Vp6Type(320, 240, 39062), E_FAIL},
      {"frame time 2559999999", Vp6Type(320, 240, 2'559'999'999), S_OK},
      {"frame time 2560000000", Vp6Type(320, 240, 2'560'000'000), E_FAIL},
      {"negative frame time", Vp6Type(320, 240, -400000), E_FAIL},
      {"audio", Mp3Type(44100, 2), VFW_E_TYPE_NOT_ACCEPTED},
  };
  RunWithDeadline(kDeadlineMs, [&] {
    MuxGraph movie({});
    CBasePin* video = movie.muxer->GetPin(0);
    for (const auto& test : cases) EXPECT_EQ(test.expected, video->CheckMediaType(&test.type)) << test.what;
    EXPECT_EQ(E_POINTER, video->CheckMediaType(nullptr));
  });
}

TEST_F(MuxTypes, AudioInputTakesMp3AtTheThreeSwfRates) {
  const CMediaType pcm = [] {
    CMediaType type = Mp3Type(44100, 2);
    reinterpret_cast<WAVEFORMATEX*>(type.Format())->wFormatTag = WAVE_FORMAT_PCM;
    return type;
  }();
  const CMediaType shortFormat = [] {
    CMediaType type = Mp3Type(44100, 2);
    type.cbFormat = sizeof(WAVEFORMATEX);
    return type;
  }();
  const struct {
    const char* what;
    CMediaType type;
    HRESULT expected;
  } cases[] = {
      {"11025 mono", Mp3Type(11025, 1), S_OK},   {"22050 stereo", Mp3Type(22050, 2), S_OK},
      {"44100 stereo", Mp3Type(44100, 2), S_OK}, {"48000", Mp3Type(48000, 2), E_FAIL},
      {"3 channels", Mp3Type(44100, 3), E_FAIL}, {"PCM tag", pcm, E_FAIL},
      {"18-byte format", shortFormat, E_FAIL},   {"video", Vp6Type(64, 48), E_FAIL},
  };
  RunWithDeadline(kDeadlineMs, [&] {
    MuxGraph movie({});
    CBasePin* audio = movie.muxer->GetPin(1);
    for (const auto& test : cases) EXPECT_EQ(test.expected, audio->CheckMediaType(&test.type)) << test.what;
  });
}

// The connected format sets rate, size and version before the handlers see the settings; the
// audio queue limit is worked out from the rates.
TEST_F(MuxTypes, ConnectedFormatsSetTheMovie) {
  const struct {
    REFERENCE_TIME frameTime;
    int32_t height;
    int32_t audioRate;
    int32_t frameRate;
    size_t audioLimit;
  } cases[] = {
      {400000, 240, 44100, 6400, 382},
      {333333, -240, 22050, 7680, 382},
      {39063, 240, 11025, 65535, 191},
      {2'000'000'000, 240, 44100, 1, 39200},  // four frames of 200 s
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.frameTime);
    RunWithDeadline(kDeadlineMs, [&] {
      MuxGraph movie({Vp6Type(320, test.height, test.frameTime), Mp3Type(test.audioRate, 1)});
      ASSERT_EQ(S_OK, movie.Connect());
      std::vector<std::string> log;
      RecordingHandler handler("h", &log);
      MuxSettings seen;
      handler.prepare = [&seen](MuxSettings* settings) {
        seen.frameRate = settings->frameRate;
        seen.width = settings->width;
        seen.height = settings->height;
        seen.version = settings->version;
        return S_OK;
      };
      movie.Muxer()->AddHandler(&handler);
      ASSERT_EQ(S_OK, movie.graph.Pause());
      EXPECT_EQ(test.frameRate, seen.frameRate);
      EXPECT_EQ(320, seen.width);
      EXPECT_EQ(240, seen.height);
      EXPECT_EQ(8, seen.version);
      EXPECT_EQ(test.audioLimit, static_cast<SwfAudioIn*>(movie.muxer->GetPin(1))->QueueLimit());
      EXPECT_EQ(S_OK, movie.graph.Stop());
    });
  }
}

TEST_F(MuxTypes, PauseNeedsAVideoInputAndASinkWithAStream) {
  RunWithDeadline(kDeadlineMs, [] {
    MuxGraph none({Vp6Type(64, 48)});
    EXPECT_EQ(E_FAIL, none.muxer->Pause());

    MuxGraph audioOnly({Mp3Type(44100, 2)});
    ASSERT_EQ(S_OK, audioOnly.graph.Connect(audioOnly.source->Pin(0), audioOnly.Input(1)));
    ASSERT_EQ(S_OK, audioOnly.graph.Connect(audioOnly.Input(2), audioOnly.memory->Pin()));
    EXPECT_EQ(E_FAIL, audioOnly.muxer->Pause());
    EXPECT_TRUE(audioOnly.Bytes().empty());

    MuxGraph noStream({Vp6Type(64, 48)}, new TestSink);
    ASSERT_EQ(S_OK, noStream.graph.Connect(noStream.Video(), noStream.Input(0)));
    ComPtr<IPin> sinkInput;
    ASSERT_EQ(S_OK, noStream.sinkRef->FindPin(L"In", sinkInput.Clear()));
    EXPECT_EQ(E_NOINTERFACE, noStream.Input(2)->Connect(sinkInput.Get(), nullptr));
  });
}

}  // namespace
