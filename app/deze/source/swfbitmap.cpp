#include "app/deze/source/swfbitmap.h"

#include <algorithm>

namespace {

// Where the stream cannot tell its size, data is read in pieces of this size, so that a false
// length costs no more memory than the data that is really there.
constexpr int32_t kReadPiece = 1 << 20;

}  // namespace

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
  if (stream.IsReading()) return length > FixedLength() && ReadData(stream, length - FixedLength());
  return stream.TransferExactly(ZlibBitmapData.data(), static_cast<int32_t>(ZlibBitmapData.size()));
}

bool DefineBitsLossless2::ReadData(BitStream& stream, int32_t dataLength) {
  ZlibBitmapData.clear();
  const int64_t size = stream.GetSize();
  const bool sized = size >= 0;
  if (sized && size - stream.GetPosition() < dataLength) return false;
  int32_t remaining = dataLength;
  while (remaining > 0) {
    const int32_t piece = sized ? remaining : std::min(remaining, kReadPiece);
    const size_t start = ZlibBitmapData.size();
    ZlibBitmapData.resize(start + static_cast<size_t>(piece));
    if (!stream.TransferExactly(ZlibBitmapData.data() + start, piece)) {
      ZlibBitmapData.resize(start);
      return false;
    }
    remaining -= piece;
  }
  return true;
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
