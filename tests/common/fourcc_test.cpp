#include "common/fourcc.h"

#include <gtest/gtest.h>

namespace {

constexpr uint32_t kMp42 = MakeFourCCCode('M', 'P', '4', '2');

TEST(FourCC, ToStringByMode) {
  const struct {
    uint32_t code;
    int mode;
    const wchar_t* text;
  } cases[] = {
      {kMp42, kFourCCLower, L"mp42"},
      {kMp42, kFourCCUpper, L"MP42"},
      {kMp42, kFourCCKeepCase, L"MP42"},
      {MakeFourCCCode('w', 'B', 'v', 'K'), kFourCCKeepCase, L"wBvK"},
      {MakeFourCCCode('w', 'B', 'v', 'K'), kFourCCUpper, L"WBVK"},
      {MakeFourCCCode('d', 'c', 0, 0), kFourCCKeepCase, L"dc  "},
      {MakeFourCCCode('a', '\x7F', '\x1F', '~'), kFourCCLower, L"a  ~"},
      {0, kFourCCLower, L"    "},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, FourCCToString(c.code, c.mode)) << c.code;
  EXPECT_TRUE(IsPrintableFourCC(kMp42));
  EXPECT_TRUE(IsPrintableFourCC(MakeFourCCCode(' ', '~', ' ', ' ')));
  EXPECT_FALSE(IsPrintableFourCC(MakeFourCCCode('d', 'c', 0, 0)));
  EXPECT_FALSE(IsPrintableFourCC(MakeFourCCCode('a', 'b', 'c', '\x7F')));
}

TEST(FourCC, CaseAndHalves) {
  EXPECT_EQ(MakeFourCCCode('v', 'p', '6', '2'), ChangeFourCCCase(MakeFourCCCode('V', 'P', '6', '2'), kFourCCLower));
  EXPECT_EQ(MakeFourCCCode('W', 'B', 'V', 'K'), ChangeFourCCCase(MakeFourCCCode('w', 'b', 'V', 'k'), kFourCCUpper));
  EXPECT_EQ(MakeFourCCCode('w', 'b', 'V', 'k'), ChangeFourCCCase(MakeFourCCCode('w', 'b', 'V', 'k'), 7));
  EXPECT_EQ(0x12345678u, MakeFourCC(0x5678, 0x1234));
  EXPECT_EQ(0x0001FFFFu, MakeFourCC(0xABCDFFFF, 1));
  // The system's own conversion: up to four characters, padded with spaces, case kept.
  EXPECT_EQ(MakeFourCCCode('w', 'b', 'v', 'k'), StringToFourCC(L"wbvk"));
  EXPECT_EQ(MakeFourCCCode('a', 'b', ' ', ' '), StringToFourCC(L"ab"));
  EXPECT_EQ(MakeFourCCCode('R', 'I', 'F', 'F'), StringToFourCC(L"RIFFLE"));
}

TEST(FourCC, StreamNumbers) {
  EXPECT_EQ(31u, StreamFromFourCC(MakeFourCCCode('1', 'f', 'w', 'b')));
  EXPECT_EQ(0xABu, StreamFromFourCC(MakeFourCCCode('A', 'b', 'd', 'c')));
  EXPECT_EQ(0u, StreamFromFourCC(MakeFourCCCode('0', '0', 'd', 'c')));
  EXPECT_EQ(0xFFFFu, StreamFromFourCC(MakeFourCCCode('0', 'g', 'd', 'c')));
  EXPECT_EQ(0xFFFFu, StreamFromFourCC(MakeFourCCCode('x', '0', 'd', 'c')));
  // The characters 0 then 1, the high digit first in memory.
  EXPECT_EQ(uint32_t{'0'} | uint32_t{'1'} << 8, TwoCCFromStream(1));
  EXPECT_EQ(uint32_t{'F'} | uint32_t{'F'} << 8, TwoCCFromStream(255));
  EXPECT_EQ(uint32_t{'1'} | uint32_t{'F'} << 8, TwoCCFromStream(31));
  EXPECT_EQ(0u, TwoCCFromStream(256));
  EXPECT_EQ(0u, TwoCCFromStream(300));
  for (uint32_t stream = 0; stream < 256; ++stream)
    EXPECT_EQ(stream, StreamFromFourCC(TwoCCFromStream(stream) | MakeFourCCCode(0, 0, 'w', 'b')));
}

TEST(FourCC, ExchangeWithText) {
  std::wstring text;
  uint32_t code = 0;
  ASSERT_TRUE(ExchangeFourCC(code, text, true));
  EXPECT_EQ(L"NULL", text);
  code = MakeFourCCCode('V', 'P', 0x01, '2');
  ExchangeFourCC(code, text, true);
  EXPECT_EQ(L"VP 2", text);

  const struct {
    const wchar_t* text;
    uint32_t code;
  } reads[] = {
      {L"NULL", 0},
      {L"null", 0},
      {L"Null", MakeFourCCCode('N', 'u', 'l', 'l')},
      {L"ab", MakeFourCCCode('a', 'b', ' ', ' ')},
      {L"", MakeFourCCCode(' ', ' ', ' ', ' ')},
      {L"wbvk-extra", MakeFourCCCode('w', 'b', 'v', 'k')},
      {L"\x0141" L"bc", MakeFourCCCode('A', 'b', 'c', ' ')},  // only the low byte of each character
  };
  for (const auto& r : reads) {
    text = r.text;
    code = 0xDEADBEEF;
    EXPECT_TRUE(ExchangeFourCC(code, text, false));
    EXPECT_EQ(r.code, code) << r.text;
  }
}

}  // namespace
