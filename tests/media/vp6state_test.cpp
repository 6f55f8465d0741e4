#include "media/vp6state.h"

#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/strutil.h"
#include "common/window.h"
#include "tests/support/capture.h"

namespace {

constexpr int32_t kNamedOffsets[] = {
    VP62_OFFSET_BITRATE,         VP62_OFFSET_MODE,
    VP62_OFFSET_END_USAGE,       VP62_OFFSET_MATERIAL,
    VP62_OFFSET_NOISE_REDUCTION, VP62_OFFSET_SHARPNESS,
    VP62_OFFSET_AUTO_KEY_FRAME,  VP62_OFFSET_MAX_KEY_FRAME_INTERVAL,
    VP62_OFFSET_UNDERSHOOT,      VP62_OFFSET_ADJUST_QUANTIZER,
    VP62_OFFSET_QUANTIZER_MIN,   VP62_OFFSET_QUANTIZER_MAX,
    VP62_OFFSET_TEMPORAL_RESAMPLING, VP62_OFFSET_TR_DOWN_WATERMARK,
    VP62_OFFSET_SPATIAL_RESAMPLING,  VP62_OFFSET_SR_DOWN_WATERMARK,
    VP62_OFFSET_SR_UP_WATERMARK,     VP62_OFFSET_PEAK_BITRATE,
    VP62_OFFSET_PREBUFFER,       VP62_OFFSET_OPTIMAL_BUFFER,
    VP62_OFFSET_MAX_BUFFER,      VP62_OFFSET_VARIABILITY,
    VP62_OFFSET_MIN_SECTION,     VP62_OFFSET_MAX_SECTION,
};

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

int32_t LittleEndianAt(const std::vector<uint8_t>& bytes, int32_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | bytes[static_cast<size_t>(offset + i)];
  return static_cast<int32_t>(value);
}

TEST(Vp62State, ReadsEveryNamedFieldOfAWholeBlockLittleEndian) {
  const std::vector<uint8_t> block = Pattern(0x104);
  const Vp62State state(block);
  for (int32_t offset : kNamedOffsets) EXPECT_EQ(LittleEndianAt(block, offset), state.GetField(offset)) << offset;
  EXPECT_EQ(0x104u, state.GetBytes().size());
}

TEST(Vp62State, SetsFieldsAndLeavesEveryOtherByteAlone) {
  std::vector<uint8_t> expected = Pattern(0x104);
  Vp62State state(expected);
  int32_t value = -3;
  for (int32_t offset : kNamedOffsets) {
    state.SetField(offset, value);
    const auto bits = static_cast<uint32_t>(value);
    std::memcpy(expected.data() + offset, &bits, 4);  // the targets are little-endian
    value = value * 7919 + 11;
  }
  EXPECT_EQ(expected, state.GetBytes());
  for (int32_t offset : kNamedOffsets) EXPECT_EQ(LittleEndianAt(expected, offset), state.GetField(offset));
}

TEST(Vp62State, FieldsOutsideTheBlockReadZeroAndIgnoreWrites) {
  const std::vector<uint8_t> block = Pattern(0x100);
  Vp62State state(block);
  EXPECT_EQ(LittleEndianAt(block, 0xFC), state.GetField(0xFC));  // the last whole field
  for (int32_t offset : {VP62_OFFSET_MATERIAL, 0xFD, 0xFF, -1, -4, INT_MIN, INT_MAX, INT_MAX - 3}) {
    EXPECT_EQ(0, state.GetField(offset)) << offset;
    state.SetField(offset, 0x55555555);
  }
  EXPECT_EQ(block, state.GetBytes());

  const Vp62State tiny(std::vector<uint8_t>{1, 2, 3});
  EXPECT_EQ(0, tiny.GetField(0));
  EXPECT_EQ(0, Vp62State({}).GetField(0));
}

TEST(Vp62State, DumpsOneAlignedLinePerNamedField) {
  Vp62State state(std::vector<uint8_t>(0x100));
  state.SetField(VP62_OFFSET_BITRATE, 1234);
  state.SetField(VP62_OFFSET_MAX_SECTION, -5);
  auto* capture = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(capture)};
  state.Dump(stream);
  const std::wstring text = capture->Text();
  EXPECT_EQ(0, stream.IndentLevel());
  EXPECT_EQ(0u, text.find(L"  0x0014:                VP62_OFFSET_BITRATE 1234\n"));
  EXPECT_NE(std::wstring::npos, text.find(L"\n  0x0100:               VP62_OFFSET_MATERIAL 0\n"));
  EXPECT_EQ(text.size() - 48, text.rfind(L"  0x00ac:            VP62_OFFSET_MAX_SECTION -5\n"));
  size_t lines = 0;
  for (wchar_t c : text) lines += c == L'\n';
  EXPECT_EQ(24u, lines);
}

// The stand-in, installed for this process only, so that no other test program sees it.
class Vp6Installation {
 public:
  // ICInstall takes the driver's path as ANSI text.
  Vp6Installation() : path_(ToNarrowString(GetModuleFolder(nullptr) + L"\\vp6vfw.dll", kAnsiCodePage)) {
    installed_ = ICInstall(ICTYPE_VIDEO, kVp62, reinterpret_cast<LPARAM>(path_.c_str()), nullptr, ICINSTALL_DRIVER);
  }
  ~Vp6Installation() {
    if (installed_) ICRemove(ICTYPE_VIDEO, kVp62, 0);
  }
  bool IsInstalled() const { return installed_; }

  static constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');

 private:
  std::string path_;
  BOOL installed_ = FALSE;
};

TEST(Vp6Codec, IsInstalledOnlyWhenItDescribesItselfWhole) {
  EXPECT_FALSE(IsVp6CodecInstalled());
  {
    Vp6Installation installation;
    ASSERT_TRUE(installation.IsInstalled());
    EXPECT_TRUE(IsVp6CodecInstalled());
    for (const wchar_t* answer : {L"0", L"100"}) {
      SetEnvironmentVariableW(L"VP6_STANDIN_INFO_RESULT", answer);
      EXPECT_FALSE(IsVp6CodecInstalled()) << answer;
    }
    SetEnvironmentVariableW(L"VP6_STANDIN_INFO_RESULT", nullptr);
    EXPECT_TRUE(IsVp6CodecInstalled());
  }
  EXPECT_FALSE(IsVp6CodecInstalled());
}

}  // namespace
