// The PCM converter stand-in: found through its registration as the converter finds it, and
// converting rate, channels and sample size as the output pin's IAMStreamConfig sets them.

#include <gtest/gtest.h>

#include "common/window.h"
#include "tests/standins/audio.h"
#include "tests/support/process.h"

namespace {

constexpr DWORD kDeadlineMs = 60000;
constexpr CLSID kClsidPcm = {0x6E4D2C51, 0x6A3B, 0x4F0E, {0x9C, 0x55, 0x2B, 0x8E, 0x1D, 0x7A, 0x4F, 0x10}};
constexpr wchar_t kDeviceKey[] =
    L"Software\\Microsoft\\ActiveMovie\\devenum\\{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\1PCM";
constexpr wchar_t kServerKey[] = L"CLSID\\{6E4D2C51-6A3B-4F0E-9C55-2B8E1D7A4F10}\\InprocServer32";

class PcmStandIn : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

std::wstring Text(HKEY root, const wchar_t* key, const wchar_t* value) {
  wchar_t text[MAX_PATH] = L"";
  DWORD bytes = sizeof(text);
  if (RegGetValueW(root, key, value, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS)
    return L"(missing)";
  return text;
}

TEST_F(PcmStandIn, Regsvr32EntersItAsTheAudioCompressorPcm) {
  RunWithDeadline(kDeadlineMs, [] {
    const std::wstring path = GetModuleFolder(nullptr) + L"\\pcmconv.ax";
    ASSERT_EQ(0u, RunRegsvr32(L"\"" + path + L"\""));
    EXPECT_EQ(L"{6E4D2C51-6A3B-4F0E-9C55-2B8E1D7A4F10}", Text(HKEY_CURRENT_USER, kDeviceKey, L"CLSID"));
    EXPECT_EQ(L"PCM", Text(HKEY_CURRENT_USER, kDeviceKey, L"FriendlyName"));
    EXPECT_EQ(path, Text(HKEY_CLASSES_ROOT, kServerKey, nullptr));
    EXPECT_EQ(L"Both", Text(HKEY_CLASSES_ROOT, kServerKey, L"ThreadingModel"));
    {
      // Any process of the prefix that enumerates device categories (an intelligent connect does)
      // makes Wine rebuild its compressor entries and drop ours: register again then.
      ComPtr<IBaseFilter> converter;
      HRESULT bound = CreateAudioCompressor(1, L"PCM", converter);
      for (int attempt = 0; bound == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) && attempt < 3; ++attempt) {
        ASSERT_EQ(0u, RunRegsvr32(L"\"" + path + L"\""));
        bound = CreateAudioCompressor(1, L"PCM", converter);
      }
      ASSERT_EQ(S_OK, bound);
      CLSID classId = {};
      EXPECT_EQ(S_OK, converter->GetClassID(&classId));
      EXPECT_TRUE(classId == kClsidPcm);
      ComPtr<IPin> output;
      ASSERT_EQ(S_OK, FindPin(converter.Get(), PINDIR_OUTPUT, nullptr, nullptr, output));
      ComPtr<IAMStreamConfig> config;
      EXPECT_EQ(S_OK, output->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(config.Clear())));
    }
    ASSERT_EQ(0u, RunRegsvr32(L"/u \"" + path + L"\""));
    EXPECT_EQ(L"(missing)", Text(HKEY_CURRENT_USER, kDeviceKey, L"CLSID"));
    EXPECT_EQ(L"(missing)", Text(HKEY_CLASSES_ROOT, kServerKey, nullptr));
  });
}

TEST_F(PcmStandIn, TakesEightAndSixteenBitMonoOrStereo) {
  RunWithDeadline(kDeadlineMs, [] {
    ModuleChain chain(L"pcmconv.ax", kClsidPcm, PcmType(2, 48000, 16));
    ASSERT_EQ(S_OK, chain.created);
    const struct {
      int channels, rate, bits;
      bool accepted;
    } cases[] = {{1, 8000, 8, true}, {2, 96000, 16, true}, {1, 5000, 16, true}, {3, 44100, 16, false},
                 {2, 44100, 24, false}};
    for (const auto& c : cases) {
      const CMediaType type = PcmType(c.channels, c.rate, c.bits);
      EXPECT_EQ(c.accepted ? S_OK : S_FALSE, chain.in->QueryAccept(&type)) << c.channels << " " << c.rate;
    }
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(S_OK, chain.out->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(config.Clear())));
    CMediaType eightBit = PcmType(1, 22050, 8);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&eightBit));
    CMediaType threeChannels = PcmType(3, 22050, 16);
    EXPECT_EQ(VFW_E_INVALIDMEDIATYPE, config->SetFormat(&threeChannels));
  });
}

TEST_F(PcmStandIn, ResamplesMixesAndWidensToTheSetFormat) {
  const struct {
    int inChannels, inRate, inBits, outChannels, outRate;
  } cases[] = {{2, 48000, 16, 1, 44100}, {2, 48000, 16, 2, 44100}, {1, 8000, 8, 1, 11025}, {1, 22050, 16, 2, 22050}};
  RunWithDeadline(kDeadlineMs, [&] {
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.inChannels << "x" << c.inRate << "x" << c.inBits << " -> " << c.outChannels
                                      << "x" << c.outRate);
      ModuleChain chain(L"pcmconv.ax", kClsidPcm, PcmType(c.inChannels, c.inRate, c.inBits));
      ASSERT_EQ(S_OK, chain.created);
      ASSERT_EQ(S_OK, chain.ConnectInput());
      ComPtr<IAMStreamConfig> config;
      ASSERT_EQ(S_OK, chain.out->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(config.Clear())));

      // Before a format is set, the input's own as 16 bits.
      AM_MEDIA_TYPE* offered = nullptr;
      ASSERT_EQ(S_OK, config->GetFormat(&offered));
      const auto* offeredFormat = reinterpret_cast<const WAVEFORMATEX*>(offered->pbFormat);
      EXPECT_EQ(c.inChannels, offeredFormat->nChannels);
      EXPECT_EQ(c.inRate, static_cast<int>(offeredFormat->nSamplesPerSec));
      EXPECT_EQ(16, offeredFormat->wBitsPerSample);
      DeleteMediaType(offered);

      CMediaType wanted = PcmType(c.outChannels, c.outRate, 16);
      ASSERT_EQ(S_OK, config->SetFormat(&wanted));
      ASSERT_EQ(S_OK, chain.ConnectOutput());
      AM_MEDIA_TYPE connected = {};
      ASSERT_EQ(S_OK, chain.out->ConnectionMediaType(&connected));
      EXPECT_TRUE(IsSameWaveFormat(*reinterpret_cast<const WAVEFORMATEX*>(wanted.Format()),
                                   *reinterpret_cast<const WAVEFORMATEX*>(connected.pbFormat)));
      FreeMediaType(connected);

      const int inBlock = c.inChannels * c.inBits / 8;
      const std::vector<uint8_t> tone = Tone(c.inChannels, c.inRate, c.inBits, 440, c.inRate);
      ASSERT_EQ(S_OK, chain.Stream(tone, 4001, inBlock, c.inRate));
      EXPECT_EQ(1, chain.sink->EndOfStreams());
      ASSERT_EQ(S_OK, chain.graph.Stop());

      const std::vector<uint8_t> out = chain.Output();
      EXPECT_EQ(static_cast<size_t>(c.outRate) * c.outChannels * 2, out.size());
      for (int channel = 0; channel < c.outChannels; ++channel)
        EXPECT_NEAR(440.0, MeasuredHertz(Channel(out, c.outChannels, channel), c.outRate), 1.0) << channel;
      const std::vector<CapturedSample> samples = chain.sink->Samples();
      ASSERT_FALSE(samples.empty());
      EXPECT_EQ(0, samples.front().start);
      EXPECT_NEAR(static_cast<double>(kUnitsPerSecond), static_cast<double>(samples.back().stop), 1.0);
    }
  });
}

// The converter's audio branch: decoded PCM -> converter at the set format -> MP3 encoder, the last
// link left to the graph builder.
TEST_F(PcmStandIn, FeedsTheMp3EncoderThroughTheGraphBuilder) {
  constexpr CLSID kClsidLame = {0xB8D27088, 0xFF5F, 0x4B7C, {0x98, 0xDC, 0x0E, 0x91, 0xA1, 0x69, 0x62, 0x86}};
  RunWithDeadline(kDeadlineMs, [&] {
    ModuleChain chain(L"pcmconv.ax", kClsidPcm, PcmType(2, 48000, 16));
    ASSERT_EQ(S_OK, chain.created);
    ASSERT_EQ(S_OK, chain.ConnectInput());
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(S_OK, chain.out->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(config.Clear())));
    CMediaType wanted = PcmType(1, 22050, 16);
    ASSERT_EQ(S_OK, config->SetFormat(&wanted));
    ComPtr<IBaseFilter> encoder;
    ASSERT_EQ(S_OK, CreateObjectFromModule(L"lame.ax", kClsidLame, IID_IBaseFilter,
                                           reinterpret_cast<void**>(encoder.Clear())));
    ASSERT_EQ(S_OK, chain.graph.Add(encoder.Get(), L"encoder"));
    ComPtr<IPin> encoderIn, encoderOut;
    ASSERT_EQ(S_OK, FindPin(encoder.Get(), PINDIR_INPUT, nullptr, nullptr, encoderIn));
    ASSERT_EQ(S_OK, FindPin(encoder.Get(), PINDIR_OUTPUT, nullptr, nullptr, encoderOut));
    ASSERT_EQ(S_OK, chain.graph.Get()->Connect(chain.out.Get(), encoderIn.Get()));
    ASSERT_EQ(S_OK, chain.graph.Connect(encoderOut.Get(), chain.sink->Pin()));
    ASSERT_EQ(S_OK, chain.Stream(Tone(2, 48000, 16, 440, 48000), 8000, 4, 48000));
    EXPECT_EQ(1, chain.sink->EndOfStreams());
    ASSERT_EQ(S_OK, chain.graph.Stop());
    const std::vector<uint8_t> mp3 = chain.Output();
    ASSERT_GE(mp3.size(), 4u);
    EXPECT_EQ(0xFF, mp3[0]);
    EXPECT_EQ(0xF3, mp3[1]);  // MPEG-2 Layer III without CRC
  });
}

}  // namespace
