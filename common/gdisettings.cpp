#include "common/bitmap.h"

#include "common/datanode.h"
#include "common/strutil.h"

bool ColorHexFilter::Convert(COLORREF& colour, std::wstring& text, bool writing) {
  if (writing) {
    text.clear();
    for (int i = 0; i < 3; ++i) {
      const int byte = static_cast<int>((colour >> (8 * i)) & 0xFF);
      text += HexDigitChar(byte >> 4);
      text += HexDigitChar(byte & 0xF);
    }
    return true;
  }
  colour = 0;
  if (text.size() != 6) return false;
  for (int i = 0; i < 3; ++i) {
    const auto byte = static_cast<COLORREF>(HexDigitValue(text[2 * i]) * 16 + HexDigitValue(text[2 * i + 1]));
    colour |= byte << (8 * i);
  }
  return true;
}

bool ExchangeLogFont(DataNode& node, LOGFONTW& font) {
  BufferString faceName{font.lfFaceName, LF_FACESIZE};
  FilterPair<BufferString> facePair = MakeFilterPair(&faceName, &BufferString::Convert);
  NodableByFilter<BufferString> face(&facePair);
  return node.ExchangeChild(L"Height", font.lfHeight) && node.ExchangeChild(L"Width", font.lfWidth) &&
         node.ExchangeChild(L"Escapement", font.lfEscapement) &&
         node.ExchangeChild(L"Orientation", font.lfOrientation) && node.ExchangeChild(L"Weight", font.lfWeight) &&
         node.ExchangeChild(L"Italic", font.lfItalic) && node.ExchangeChild(L"Underline", font.lfUnderline) &&
         node.ExchangeChild(L"StrikeOut", font.lfStrikeOut) && node.ExchangeChild(L"CharSet", font.lfCharSet) &&
         node.ExchangeChild(L"OutPrecision", font.lfOutPrecision) &&
         node.ExchangeChild(L"ClipPrecision", font.lfClipPrecision) &&
         node.ExchangeChild(L"Quality", font.lfQuality) &&
         node.ExchangeChild(L"PitchAndFamily", font.lfPitchAndFamily) &&
         node.ExchangeChild(L"FaceName", static_cast<Nodable&>(face));
}
