#include "app/deze/source/swfbitmap.h"

int32_t DefineBitsLossless2::GetBodyLength() const {
  return FixedLength() + static_cast<int32_t>(ZlibBitmapData.size());
}

bool DefineBitsLossless2::Exchange(BitStream& stream) {
  if (!stream.IsReading() &&
      (ZlibBitmapData.empty() || ZlibBitmapData.size() > static_cast<size_t>(INT32_MAX - FixedLength()))) {
    return false;
  }
  if (!ExchangeUI16(stream, CharacterID) || !ExchangeUI8(stream, BitmapFormat) ||
      !ExchangeUI16(stream, BitmapWidth) || !ExchangeUI16(stream, BitmapHeight)) {
    return false;
  }
  if (BitmapFormat == kFormatColorMapped && !ExchangeUI8(stream, BitmapColorTableSize)) return false;
  if (stream.IsReading()) {
    return length > FixedLength() && ReadBodyBytes(stream, length - FixedLength(), ZlibBitmapData);
  }
  return stream.TransferExactly(ZlibBitmapData.data(), static_cast<int32_t>(ZlibBitmapData.size()));
}

void DefineBitsLossless2::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"Len: ", length);
  stream.PrintLabelled(L"CharacterID: ", CharacterID);
  stream.PrintLabelled(L"BitmapFormat: ", BitmapFormat);
  stream.PrintLabelled(L"BitmapWidth: ", BitmapWidth);
  stream.PrintLabelled(L"BitmapHeight: ", BitmapHeight);
  if (BitmapFormat == kFormatColorMapped) {
    stream.PrintLabelled(L"BitmapColorTableSize: ", BitmapColorTableSize);
  }
  stream.Printf(L"ZlibBitmapData.size = %d\n", static_cast<int>(ZlibBitmapData.size()));
}
