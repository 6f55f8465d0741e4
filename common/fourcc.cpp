#include "common/fourcc.h"

#include <windows.h>
#include <mmsystem.h>

#include "common/strutil.h"

namespace {

bool IsPrintableByte(uint32_t byte) { return byte >= 0x20 && byte <= 0x7E; }

uint32_t ByteAt(uint32_t code, int index) { return (code >> (8 * index)) & 0xFF; }

// The byte in the case the mode asks for; kFourCCKeepCase and other modes leave it alone.
uint32_t InCase(uint32_t byte, int mode) {
  if (mode == kFourCCLower && byte >= 'A' && byte <= 'Z') return byte + ('a' - 'A');
  if (mode == kFourCCUpper && byte >= 'a' && byte <= 'z') return byte - ('a' - 'A');
  return byte;
}

}  // namespace

bool IsPrintableFourCC(uint32_t code) {
  for (int i = 0; i < 4; ++i)
    if (!IsPrintableByte(ByteAt(code, i))) return false;
  return true;
}

std::wstring FourCCToString(uint32_t code, int mode) {
  std::wstring text(4, L' ');
  for (int i = 0; i < 4; ++i) {
    const uint32_t byte = ByteAt(code, i);
    if (IsPrintableByte(byte)) text[i] = static_cast<wchar_t>(InCase(byte, mode));
  }
  return text;
}

uint32_t StringToFourCC(const wchar_t* text) { return text ? mmioStringToFOURCCW(text, 0) : 0; }

uint32_t MakeFourCC(uint32_t lowHalf, uint32_t highHalf) { return (highHalf << 16) | (lowHalf & 0xFFFF); }

uint32_t ChangeFourCCCase(uint32_t code, int mode) {
  uint32_t result = 0;
  for (int i = 0; i < 4; ++i) result |= InCase(ByteAt(code, i), mode) << (8 * i);
  return result;
}

uint32_t StreamFromFourCC(uint32_t code) {
  const auto high = static_cast<wchar_t>(ByteAt(code, 0));
  const auto low = static_cast<wchar_t>(ByteAt(code, 1));
  if (!IsHexDigit(high) || !IsHexDigit(low)) return 0xFFFF;
  return static_cast<uint32_t>(HexDigitValue(high) * 16 + HexDigitValue(low));
}

uint32_t TwoCCFromStream(uint32_t stream) {
  if (stream > 255) return 0;
  return uint32_t{HexDigitChar(static_cast<int>(stream >> 4))} |
         uint32_t{HexDigitChar(static_cast<int>(stream & 0xF))} << 8;
}

bool ExchangeFourCC(uint32_t& code, std::wstring& text, bool toText) {
  if (toText) {
    text = code == 0 ? L"NULL" : FourCCToString(code, kFourCCKeepCase);
    return true;
  }
  if (text == L"NULL" || text == L"null") {
    code = 0;
    return true;
  }
  code = 0;
  for (size_t i = 0; i < 4; ++i) {
    const uint32_t byte = i < text.size() ? static_cast<uint32_t>(text[i]) & 0xFF : ' ';
    code |= byte << (8 * i);
  }
  return true;
}
