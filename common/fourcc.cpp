#include "common/fourcc.h"

#include <windows.h>
#include <mmsystem.h>

namespace {

bool IsPrintableByte(uint32_t byte) { return byte >= 0x20 && byte <= 0x7E; }

uint32_t ByteAt(uint32_t code, int index) { return (code >> (8 * index)) & 0xFF; }

int HexValue(uint32_t character) {
  if (character >= '0' && character <= '9') return static_cast<int>(character - '0');
  if (character >= 'a' && character <= 'f') return static_cast<int>(character - 'a' + 10);
  if (character >= 'A' && character <= 'F') return static_cast<int>(character - 'A' + 10);
  return -1;
}

uint32_t UpperHexDigit(uint32_t value) { return value < 10 ? '0' + value : 'A' + value - 10; }

}  // namespace

bool IsPrintableFourCC(uint32_t code) {
  for (int i = 0; i < 4; ++i)
    if (!IsPrintableByte(ByteAt(code, i))) return false;
  return true;
}

std::wstring FourCCToString(uint32_t code, int mode) {
  std::wstring text(4, L' ');
  for (int i = 0; i < 4; ++i) {
    uint32_t byte = ByteAt(code, i);
    if (!IsPrintableByte(byte)) continue;
    if (mode == kFourCCLower && byte >= 'A' && byte <= 'Z') byte += 'a' - 'A';
    if (mode == kFourCCUpper && byte >= 'a' && byte <= 'z') byte -= 'a' - 'A';
    text[i] = static_cast<wchar_t>(byte);
  }
  return text;
}

uint32_t StringToFourCC(const wchar_t* text) { return text ? mmioStringToFOURCCW(text, 0) : 0; }

uint32_t MakeFourCC(uint32_t lowHalf, uint32_t highHalf) { return (highHalf << 16) | (lowHalf & 0xFFFF); }

uint32_t ChangeFourCCCase(uint32_t code, int mode) {
  if (mode != kFourCCLower && mode != kFourCCUpper) return code;
  uint32_t result = 0;
  for (int i = 0; i < 4; ++i) {
    uint32_t byte = ByteAt(code, i);
    if (mode == kFourCCLower && byte >= 'A' && byte <= 'Z') byte += 'a' - 'A';
    if (mode == kFourCCUpper && byte >= 'a' && byte <= 'z') byte -= 'a' - 'A';
    result |= byte << (8 * i);
  }
  return result;
}

uint32_t StreamFromFourCC(uint32_t code) {
  const int high = HexValue(ByteAt(code, 0));
  const int low = HexValue(ByteAt(code, 1));
  if (high < 0 || low < 0) return 0xFFFF;
  return static_cast<uint32_t>(high * 16 + low);
}

uint32_t TwoCCFromStream(uint32_t stream) {
  if (stream > 255) return 0;
  return UpperHexDigit(stream >> 4) | UpperHexDigit(stream & 0xF) << 8;
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
