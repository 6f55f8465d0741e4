#include "platform/dshow/mediatype.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/dib.h"
#include "media/comx.h"
#include "tests/support/filters.h"

namespace {

BITMAPINFOHEADER& Header(CMediaType& type) { return reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->bmiHeader; }

class MediaType : public testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ("", LiveObjects()); }
};

TEST_F(MediaType, CopiesOwnTheirFormatAndFormatObject) {
  CMediaType original = RgbVideoType(4, 2, 32);
  CMediaType copy(original);
  EXPECT_NE(original.Format(), copy.Format());
  EXPECT_TRUE(copy == original);
  copy = copy;
  copy = static_cast<const AM_MEDIA_TYPE&>(original);
  EXPECT_TRUE(copy == original);

  AM_MEDIA_TYPE* block = CreateMediaType(&original);
  ASSERT_NE(nullptr, block);
  EXPECT_EQ(original.pUnk, block->pUnk);
  DeleteMediaType(block);

  // Same GUIDs, one format byte different.
  reinterpret_cast<VIDEOINFOHEADER*>(copy.Format())->bmiHeader.biWidth = 5;
  EXPECT_TRUE(copy != original);
  copy.ResetFormatBuffer();
  EXPECT_TRUE(copy != original);
  // The tokens of all copies are released when the copies go (TearDown).
}

TEST_F(MediaType, PartialTypesMatchWhatTheyFix) {
  const CMediaType video = RgbVideoType(2, 2, 24);
  CMediaType partial;
  EXPECT_TRUE(partial.IsPartiallySpecified());
  EXPECT_TRUE(video.MatchesPartial(&partial));
  partial.SetType(&MEDIATYPE_Video);
  EXPECT_TRUE(video.MatchesPartial(&partial));
  partial.SetSubtype(&MEDIASUBTYPE_RGB32);
  EXPECT_FALSE(video.MatchesPartial(&partial));
  partial.SetSubtype(&GUID_NULL);
  partial.SetFormatType(&FORMAT_VideoInfo);
  EXPECT_TRUE(video.MatchesPartial(&partial));
  partial.SetFormat(video.Format(), video.FormatLength() - 1);
  EXPECT_FALSE(video.MatchesPartial(&partial));
  EXPECT_FALSE(video.IsPartiallySpecified());
}

TEST_F(MediaType, FourccMapsToTheMediaSubtype) {
  const FOURCCMap vp62(MAKEFOURCC('V', 'P', '6', '2'));
  EXPECT_EQ(L"{32365056-0000-0010-8000-00AA00389B71}", GuidToString(vp62));
  EXPECT_EQ(MAKEFOURCC('V', 'P', '6', '2'), vp62.GetFOURCC());
  EXPECT_TRUE(FOURCCMap(WAVE_FORMAT_PCM) == MEDIASUBTYPE_PCM);
}

TEST_F(MediaType, VideoInfoCheck) {
  struct Case {
    const char* name;
    void (*change)(CMediaType&);
    HRESULT expected;
  };
  const Case cases[] = {
      {"valid", [](CMediaType&) {}, S_OK},
      {"audio", [](CMediaType& t) { t.SetType(&MEDIATYPE_Audio); }, VFW_E_TYPE_NOT_ACCEPTED},
      {"wave format", [](CMediaType& t) { t.SetFormatType(&FORMAT_WaveFormatEx); }, VFW_E_TYPE_NOT_ACCEPTED},
      {"short block", [](CMediaType& t) { t.cbFormat = sizeof(VIDEOINFOHEADER) - 1; }, VFW_E_TYPE_NOT_ACCEPTED},
      {"header size", [](CMediaType& t) { Header(t).biSize = 12; }, VFW_E_TYPE_NOT_ACCEPTED},
      {"header past block", [](CMediaType& t) { Header(t).biSize = 44; }, VFW_E_TYPE_NOT_ACCEPTED},
      {"no width", [](CMediaType& t) { Header(t).biWidth = 0; }, VFW_E_TYPE_NOT_ACCEPTED},
      {"no height", [](CMediaType& t) { Header(t).biHeight = 0; }, VFW_E_TYPE_NOT_ACCEPTED},
      {"top-down", [](CMediaType& t) { Header(t).biHeight = -2; }, S_OK},
      {"odd depth", [](CMediaType& t) { Header(t).biBitCount = 12; }, VFW_E_TYPE_NOT_ACCEPTED},
      {"frame over 2 GB", [](CMediaType& t) { Header(t).biWidth = 0x10000, Header(t).biHeight = 0x10000; },
       VFW_E_TYPE_NOT_ACCEPTED},
      {"compressed, any depth",
       [](CMediaType& t) { Header(t).biCompression = MAKEFOURCC('V', 'P', '6', '2'), Header(t).biBitCount = 0; },
       S_OK},
  };
  for (const Case& c : cases) {
    CMediaType type = RgbVideoType(3, 2, 24);
    c.change(type);
    EXPECT_EQ(c.expected, CheckVideoInfoType(&type)) << c.name;
  }
  EXPECT_EQ(E_POINTER, CheckVideoInfoType(nullptr));
}

TEST_F(MediaType, AudioTypeFromWaveFormat) {
  WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 99};  // PCM ignores cbSize
  AM_MEDIA_TYPE type;
  ASSERT_EQ(S_OK, CreateAudioMediaType(&pcm, &type, TRUE));
  EXPECT_EQ(MEDIATYPE_Audio, type.majortype);
  EXPECT_EQ(MEDIASUBTYPE_PCM, type.subtype);
  EXPECT_EQ(FORMAT_WaveFormatEx, type.formattype);
  EXPECT_TRUE(type.bFixedSizeSamples);
  EXPECT_EQ(4u, type.lSampleSize);
  ASSERT_EQ(sizeof(WAVEFORMATEX), type.cbFormat);
  EXPECT_EQ(0, std::memcmp(&pcm, type.pbFormat, 16));
  FreeMediaType(type);

  WAVEFORMATEXTENSIBLE extensible = {};
  extensible.Format = {WAVE_FORMAT_EXTENSIBLE, 2, 48000, 384000, 8, 32, 22};
  extensible.SubFormat = FOURCCMap(WAVE_FORMAT_IEEE_FLOAT);
  ASSERT_EQ(S_OK, CreateAudioMediaType(&extensible.Format, &type, FALSE));
  EXPECT_TRUE(FOURCCMap(WAVE_FORMAT_IEEE_FLOAT) == type.subtype);
  EXPECT_EQ(0u, type.cbFormat);
  EXPECT_EQ(nullptr, type.pbFormat);
}

// What a change of type in mid-stream may touch without a filter noticing.
TEST_F(MediaType, PreparedFormatKeepsSizeDepthAndWaveFormat) {
  const CMediaType video = RgbVideoType(64, 48, 32);
  const struct {
    const char* name;
    void (*change)(VIDEOINFOHEADER&);
    bool kept;
  } pictures[] = {
      {"target and bit rate", [](VIDEOINFOHEADER& info) { info.rcTarget = {0, 0, 64, 48}; info.dwBitRate = 9; }, true},
      {"frame time", [](VIDEOINFOHEADER& info) { info.AvgTimePerFrame = 1; }, true},
      {"width", [](VIDEOINFOHEADER& info) { info.bmiHeader.biWidth = 65; }, false},
      {"flipped", [](VIDEOINFOHEADER& info) { info.bmiHeader.biHeight = -48; }, false},
      {"bit depth", [](VIDEOINFOHEADER& info) { info.bmiHeader.biBitCount = 24; }, false},
      {"compression", [](VIDEOINFOHEADER& info) { info.bmiHeader.biCompression = BI_BITFIELDS; }, false},
  };
  for (const auto& test : pictures) {
    CMediaType changed = video;
    test.change(*reinterpret_cast<VIDEOINFOHEADER*>(changed.Format()));
    EXPECT_EQ(test.kept, KeepsPreparedFormat(video, changed)) << test.name;
  }
  CMediaType otherSubtype = video;
  otherSubtype.SetSubtype(&MEDIASUBTYPE_RGB24);
  EXPECT_FALSE(KeepsPreparedFormat(video, otherSubtype));

  WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  CMediaType sound;
  ASSERT_EQ(S_OK, CreateAudioMediaType(&pcm, &sound, TRUE));
  CMediaType changed = sound;
  reinterpret_cast<WAVEFORMATEX*>(changed.Format())->nAvgBytesPerSec = 1;
  EXPECT_TRUE(KeepsPreparedFormat(sound, changed));
  reinterpret_cast<WAVEFORMATEX*>(changed.Format())->nSamplesPerSec = 48000;
  EXPECT_FALSE(KeepsPreparedFormat(sound, changed));
}

// Pixel values mean colours through an 8-bit picture's palette and a BI_BITFIELDS picture's masks:
// a type that changes them is a new format.
CMediaType PaletteType(DWORD coloursUsed, size_t tableEntries, BYTE firstBlue) {
  CMediaType type = RgbVideoType(8, 8, 32);
  type.SetSubtype(&MEDIASUBTYPE_RGB8);
  const ULONG size = static_cast<ULONG>(sizeof(VIDEOINFOHEADER) + tableEntries * sizeof(RGBQUAD));
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(size));
  std::memset(info, 0, size);
  info->bmiHeader = MakeDibHeader(8, 8, 8, BI_RGB);
  info->bmiHeader.biClrUsed = coloursUsed;
  auto* table = reinterpret_cast<RGBQUAD*>(info + 1);
  for (size_t i = 0; i < tableEntries; ++i) table[i] = {static_cast<BYTE>(i), 0, 0, 0};
  if (tableEntries > 0) table[0].rgbBlue = firstBlue;
  return type;
}

CMediaType MaskType(DWORD redMask) {
  CMediaType type = RgbVideoType(8, 8, 16, BI_BITFIELDS);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormatBuffer(sizeof(VIDEOINFOHEADER) + 12));
  info->bmiHeader = MakeDibHeader(8, 8, 16, BI_BITFIELDS);
  const DWORD masks[] = {redMask, 0x07E0, 0x001F};
  std::memcpy(info + 1, masks, sizeof(masks));
  return type;
}

TEST_F(MediaType, PreparedFormatKeepsThePaletteAndTheMasks) {
  const CMediaType palette = PaletteType(0, 256, 0);
  const struct {
    const char* name;
    CMediaType changed;
    bool kept;
  } cases[] = {
      {"same table", PaletteType(0, 256, 0), true},
      {"every colour named", PaletteType(256, 256, 0), true},
      {"one colour changed", PaletteType(0, 256, 99), false},
      {"fewer colours", PaletteType(16, 16, 0), false},
      {"table cut off", PaletteType(0, 255, 0), false},
      {"no table", PaletteType(0, 0, 0), false},
      {"colour count past the block", PaletteType(0xFFFFFFFF, 256, 0), false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.kept, KeepsPreparedFormat(palette, test.changed)) << test.name;
  }
  EXPECT_TRUE(KeepsPreparedFormat(MaskType(0xF800), MaskType(0xF800)));
  EXPECT_FALSE(KeepsPreparedFormat(MaskType(0xF800), MaskType(0x7C00)));
  EXPECT_FALSE(KeepsPreparedFormat(MaskType(0xF800), RgbVideoType(8, 8, 16, BI_BITFIELDS)));
}

}  // namespace
