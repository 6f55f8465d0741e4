#include "media/vp6state.h"

#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "common/strutil.h"
#include "common/window.h"
#include "tests/support/capture.h"

namespace {

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  return bytes;
}

TEST(Vp62State, FieldsAreLittleEndianAndLeaveTheOtherBytesAlone) {
  // Every offset of a whole block, VP62_OFFSET_MATERIAL (0x100) the last.
  const std::vector<uint8_t> block = Pattern(0x104);
  for (int32_t offset = 0; offset <= VP62_OFFSET_MATERIAL; ++offset) {
    Vp62State state(block);
    const auto* at = &block[static_cast<size_t>(offset)];
    EXPECT_EQ(static_cast<int32_t>(at[0] | at[1] << 8 | at[2] << 16 | uint32_t{at[3]} << 24), state.GetField(offset));
    state.SetField(offset, -2);
    std::vector<uint8_t> expected = block;
    std::memset(&expected[static_cast<size_t>(offset)], 0xFF, 4);
    expected[static_cast<size_t>(offset)] = 0xFE;
    EXPECT_EQ(expected, state.GetBytes()) << offset;
    EXPECT_EQ(-2, state.GetField(offset));
  }
}

TEST(Vp62State, FieldsOutsideTheBlockReadZeroAndIgnoreWrites) {
  const std::vector<uint8_t> block = Pattern(0x100);
  Vp62State state(block);
  for (int32_t offset : {VP62_OFFSET_MATERIAL, 0xFD, -1, -4, INT_MIN, INT_MAX, INT_MAX - 3}) {
    EXPECT_EQ(0, state.GetField(offset)) << offset;
    state.SetField(offset, 0x55555555);
  }
  EXPECT_EQ(block, state.GetBytes());
  EXPECT_EQ(0, Vp62State({1, 2, 3}).GetField(0));
}

TEST(Vp62State, DumpsOneAlignedLinePerNamedField) {
  Vp62State state(std::vector<uint8_t>(0x100));
  state.SetField(VP62_OFFSET_BITRATE, 1234);
  state.SetField(VP62_OFFSET_MAX_SECTION, -5);
  auto* capture = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(capture)};
  state.Dump(stream);
  const std::wstring text = capture->Text();
  EXPECT_EQ(0u, text.find(L"  0x0014:                VP62_OFFSET_BITRATE 1234\n")) << text;
  EXPECT_NE(std::wstring::npos, text.find(L"\n  0x0100:               VP62_OFFSET_MATERIAL 0\n"));
  EXPECT_EQ(text.size() - 48, text.find(L"  0x00ac:            VP62_OFFSET_MAX_SECTION -5\n"));
  EXPECT_EQ(24, std::count(text.begin(), text.end(), L'\n'));
  EXPECT_EQ(0, stream.IndentLevel());
}

TEST(Vp6Codec, IsInstalledOnlyWhenItDescribesItselfWhole) {
  constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');
  EXPECT_FALSE(IsVp6CodecInstalled());
  // Installed for this process only, so that no other test program sees it; ICInstall takes the
  // path as ANSI text.
  const std::string path = ToNarrowString(GetModuleFolder(nullptr) + L"\\vp6vfw.dll", kAnsiCodePage);
  ASSERT_TRUE(ICInstall(ICTYPE_VIDEO, kVp62, reinterpret_cast<LPARAM>(path.c_str()), nullptr, ICINSTALL_DRIVER));
  EXPECT_TRUE(IsVp6CodecInstalled());
  for (const wchar_t* answer : {L"0", L"100"}) {
    SetEnvironmentVariableW(L"VP6_STANDIN_INFO_RESULT", answer);
    EXPECT_FALSE(IsVp6CodecInstalled()) << answer;
  }
  SetEnvironmentVariableW(L"VP6_STANDIN_INFO_RESULT", nullptr);
  EXPECT_TRUE(IsVp6CodecInstalled());
  ICRemove(ICTYPE_VIDEO, kVp62, 0);
  EXPECT_FALSE(IsVp6CodecInstalled());
}

}  // namespace
