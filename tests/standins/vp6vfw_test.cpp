// The VP6 stand-in as its hosts see it: through the system's codec manager once installed, and
// loaded by path as the codec wrapper loads it.

#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/deze/source/vcm.h"
#include "common/fileutil.h"
#include "common/handle.h"
#include "common/window.h"

namespace {

constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');
constexpr LRESULT kStateSize = 0x104;
constexpr size_t kKeyIntervalOffset = 0x38;

std::wstring StandInPath() { return GetModuleFolder(nullptr) + L"\\vp6vfw.dll"; }
LPARAM P(const void* pointer) { return reinterpret_cast<LPARAM>(pointer); }

TEST(Vp6StandIn, AnswersTheSystemsCodecManager) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Drivers32", 0,
                            nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr));
  HandleGuard guard(RegCloseKey, key);
  const std::wstring path = StandInPath();
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"vidc.VP62", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                                          static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))));
  HIC codec = ICOpen(ICTYPE_VIDEO, kVp62, ICMODE_QUERY);
  RegDeleteValueW(key, L"vidc.VP62");
  ASSERT_NE(nullptr, codec);
  ICINFO info = {};
  info.dwSize = sizeof(info);
  EXPECT_EQ(static_cast<LRESULT>(sizeof(ICINFO)), ICGetInfo(codec, &info, sizeof(info)));
  EXPECT_EQ(568u, sizeof(ICINFO));
  EXPECT_EQ(kVp62, info.fccHandler);
  EXPECT_STREQ(L"VP62", info.szName);
  ICClose(codec);
}

TEST(Vp6StandIn, KeepsItsStateBlockAndReportsWhatWasSet) {
  VcmDll codec(StandInPath().c_str(), kVp62, true);
  ASSERT_TRUE(codec.IsOpen());
  EXPECT_FALSE(VcmDll(StandInPath().c_str(), mmioFOURCC('X', 'V', 'I', 'D'), true).IsOpen());

  ASSERT_EQ(kStateSize, codec.DriverMessage(ICM_GETSTATE, 0, 0));
  std::vector<uint8_t> state(kStateSize);
  EXPECT_EQ(ICERR_BADSIZE, codec.DriverMessage(ICM_GETSTATE, P(state.data()), kStateSize - 1));
  ASSERT_EQ(ICERR_OK, codec.DriverMessage(ICM_GETSTATE, P(state.data()), kStateSize));
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i * 3);

  ASSERT_TRUE(SetEnvironmentVariableW(L"VP6_STANDIN_STATE_FILE", L"vp6-state.bin"));
  EXPECT_EQ(kStateSize, codec.DriverMessage(ICM_SETSTATE, P(state.data()), kStateSize));
  SetEnvironmentVariableW(L"VP6_STANDIN_STATE_FILE", nullptr);
  std::vector<uint8_t> written;
  ASSERT_TRUE(ReadFileBytes(L"vp6-state.bin", written));
  EXPECT_EQ(state, written);
  std::vector<uint8_t> readBack(kStateSize);
  ASSERT_EQ(ICERR_OK, codec.DriverMessage(ICM_GETSTATE, P(readBack.data()), kStateSize));
  EXPECT_EQ(state, readBack);
  EXPECT_EQ(ICERR_BADSIZE, codec.DriverMessage(ICM_SETSTATE, P(state.data()), 4));
}

// Frames collected behind the encoder.
class Frames : public MediaIn {
 public:
  bool SetFormat(const DibBuffer&) override { return true; }
  bool ProcessFrame(const FrameData& frame) override {
    frames.emplace_back(frame.data, frame.data + frame.size);
    keys.push_back(frame.key);
    return true;
  }
  std::vector<std::vector<uint8_t>> frames;
  std::vector<bool> keys;
};

TEST(Vp6StandIn, MakesKeyFramesAtItsInterval) {
  CountedPtr<VcmDriver> codec(new VcmDll(StandInPath().c_str(), kVp62, true));
  std::vector<uint8_t> state(kStateSize);
  ASSERT_EQ(ICERR_OK, codec->DriverMessage(ICM_GETSTATE, P(state.data()), kStateSize));
  const uint32_t interval = 3;
  std::memcpy(&state[kKeyIntervalOffset], &interval, 4);
  ASSERT_EQ(kStateSize, codec->DriverMessage(ICM_SETSTATE, P(state.data()), kStateSize));

  auto* sink = new Frames;
  VcmEncoder encoder(codec);
  encoder.SetSink(CountedPtr<MediaIn>(sink));
  EXPECT_FALSE(encoder.SetFormat(DibBuffer(32, 16, 16)));
  ASSERT_TRUE(encoder.SetFormat(DibBuffer(33, 17, 24)));
  EXPECT_EQ(kVp62, encoder.GetOutputFormat().GetCompression());
  ASSERT_TRUE(encoder.Begin());
  std::vector<uint8_t> picture(static_cast<size_t>(DibBuffer(33, 17, 24).GetImageSize()), 0x40);
  for (int i = 0; i < 7; ++i)
    ASSERT_TRUE(encoder.ProcessFrame(FrameData(picture.data(), static_cast<int32_t>(picture.size()), false)));
  encoder.End();
  EXPECT_EQ((std::vector<bool>{true, false, false, true, false, false, true}), sink->keys);
  for (size_t i = 0; i < sink->frames.size(); ++i) {
    const std::vector<uint8_t>& frame = sink->frames[i];
    ASSERT_EQ(6u + 2u * 3u, frame.size());
    EXPECT_EQ(sink->keys[i], (frame[0] & 0x80) == 0);
    EXPECT_EQ(0x40, frame[6]);  // the mean green level of the first block
  }
}

// The frame sizes one compress run of `frames` frames reports.
std::vector<DWORD> CompressedSizes(VcmDll& codec, int frames) {
  BITMAPINFOHEADER input = {};
  input.biSize = sizeof(input);
  input.biWidth = 32;
  input.biHeight = 32;
  input.biPlanes = 1;
  input.biBitCount = 24;
  input.biSizeImage = 32 * 32 * 3;
  BITMAPINFOHEADER output = {};
  std::vector<DWORD> sizes;
  if (codec.DriverMessage(ICM_COMPRESS_GET_FORMAT, P(&input), P(&output)) != ICERR_OK ||
      codec.DriverMessage(ICM_COMPRESS_BEGIN, P(&input), P(&output)) != ICERR_OK)
    return sizes;
  std::vector<uint8_t> pixels(input.biSizeImage, 0x20);
  std::vector<uint8_t> frame(output.biSizeImage);
  for (int i = 0; i < frames; ++i) {
    ICCOMPRESS compress = {};
    compress.lpbiInput = &input;
    compress.lpInput = pixels.data();
    compress.lpbiOutput = &output;
    compress.lpOutput = frame.data();
    DWORD flags = 0;
    compress.lpdwFlags = &flags;
    output.biSizeImage = 12345;
    if (codec.DriverMessage(ICM_COMPRESS, P(&compress), sizeof(compress)) != ICERR_OK) break;
    sizes.push_back(output.biSizeImage);
  }
  codec.DriverMessage(ICM_COMPRESS_END, 0, 0);
  return sizes;
}

TEST(Vp6StandIn, AnswersTheNamedFrameOfEachRunWithNoBytes) {
  VcmDll codec(StandInPath().c_str(), kVp62, true);
  ASSERT_TRUE(codec.IsOpen());
  const DWORD full = 6 + 2 * 2;
  EXPECT_EQ((std::vector<DWORD>{full, full, full}), CompressedSizes(codec, 3));
  ASSERT_TRUE(SetEnvironmentVariableW(L"VP6_STANDIN_EMPTY_FRAME", L"2"));
  const std::vector<DWORD> first = CompressedSizes(codec, 4);
  const std::vector<DWORD> second = CompressedSizes(codec, 4);
  SetEnvironmentVariableW(L"VP6_STANDIN_EMPTY_FRAME", L"x");
  const std::vector<DWORD> unreadable = CompressedSizes(codec, 3);
  SetEnvironmentVariableW(L"VP6_STANDIN_EMPTY_FRAME", nullptr);
  EXPECT_EQ((std::vector<DWORD>{full, full, 0, full}), first);
  EXPECT_EQ(first, second);  // counted afresh from each ICM_COMPRESS_BEGIN
  EXPECT_EQ((std::vector<DWORD>{full, full, full}), unreadable);
}

}  // namespace
