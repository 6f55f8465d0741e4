#pragma once
// Four-character codes: a 32-bit value whose lowest byte is the first character. They name codecs,
// media subtypes and RIFF chunks; these helpers turn them into text and back.

#include <cstdint>
#include <string>

// Modes of FourCCToString and ChangeFourCCCase.
constexpr int kFourCCLower = 0;
constexpr int kFourCCUpper = 1;
constexpr int kFourCCKeepCase = 2;

constexpr uint32_t MakeFourCCCode(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

// All four bytes lie between 0x20 and 0x7E.
bool IsPrintableFourCC(uint32_t code);
// Four characters, lowest byte first; a byte that is not printable becomes a space.
std::wstring FourCCToString(uint32_t code, int mode);
// mmioStringToFOURCCW of the text, without flags.
uint32_t StringToFourCC(const wchar_t* text);
// The high half shifted up by 16, OR the low half.
uint32_t MakeFourCC(uint32_t lowHalf, uint32_t highHalf);
uint32_t ChangeFourCCCase(uint32_t code, int mode);
// AVI stream codes ("01wb"): the first two characters as a hex number 0-255, 0xFFFF when either is
// not a hex digit.
uint32_t StreamFromFourCC(uint32_t code);
// The two upper-case hex digits of 0-255 as a 16-bit code, the high digit in the low byte; 0 for a
// larger number.
uint32_t TwoCCFromStream(uint32_t stream);
// To text: "NULL" for 0, else the four characters with unprintable bytes as spaces. From text:
// "NULL"/"null" give 0, else the first four characters (low bytes) padded with spaces. Always true.
bool ExchangeFourCC(uint32_t& code, std::wstring& text, bool toText);
