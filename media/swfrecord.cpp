#include "media/swfrecord.h"

#include <algorithm>

namespace {

// The 5-bit count fields of RECT and MATRIX hold at most 31.
constexpr int kMaxCountedBits = 31;

// Moves `count` bytes of an unsigned number in the stream's byte order. `value` keeps its other
// bits on a read.
bool ExchangeNumber(BitStream& stream, uint32_t& value, int count) {
  if (!stream.AlignToByte()) return false;
  uint8_t bytes[4];
  for (int i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  const bool reversed = !stream.IsLittleEndian();
  if (reversed && !stream.IsReading()) ReverseBytes(bytes, count);
  if (!stream.TransferExactly(bytes, count)) return false;
  if (!stream.IsReading()) return true;
  if (reversed) ReverseBytes(bytes, count);
  uint32_t number = 0;
  for (int i = 0; i < count; ++i) number |= static_cast<uint32_t>(bytes[i]) << (8 * i);
  value = number;
  return true;
}

// The field's low bit-count bits as '0' and '1', most significant first.
void BitDigits(uint32_t value, int32_t bitCount, wchar_t (&digits)[33]) {
  const int count = std::clamp<int32_t>(bitCount, 0, 32);
  for (int i = 0; i < count; ++i) digits[i] = ((value >> (count - 1 - i)) & 1) ? L'1' : L'0';
  digits[count] = 0;
}

// Reads a count field, then both fields with that many bits; writing sends the count the caller
// already worked out.
bool ExchangeCountedPair(BitStream& stream, int count, SB& first, SB& second) {
  UBX<5> bits(static_cast<uint32_t>(count));
  if (!bits.Exchange(stream)) return false;
  if (stream.IsReading()) first.bitCount = second.bitCount = static_cast<int32_t>(bits.value);
  return first.Exchange(stream) && second.Exchange(stream);
}

}  // namespace

int32_t SignExtend(uint32_t value, int bits) {
  const uint32_t sign = 1u << (bits - 1);
  return static_cast<int32_t>(((value & (2 * sign - 1)) ^ sign) - sign);
}

bool SB::Exchange(BitStream& stream) {
  uint32_t bits = static_cast<uint32_t>(value);
  if (!stream.TransferBits(bits, bitCount)) return false;
  if (stream.IsReading()) value = SignExtend(bits, bitCount);
  return true;
}

void SB::Dump(TextStream& stream) const {
  wchar_t digits[33];
  BitDigits(static_cast<uint32_t>(value), bitCount, digits);
  stream.Printf(L"SB%d % 8d [%s]", bitCount, value, digits);
}

bool UB::Exchange(BitStream& stream) { return stream.TransferBits(value, bitCount); }

void UB::Dump(TextStream& stream) const {
  wchar_t digits[33];
  BitDigits(value, bitCount, digits);
  stream.Printf(L"UB%d % 8d [%s]", bitCount, value, digits);
}

int CommonBitCount(SB& a, SB& b) {
  const int bits = std::max(BitsForSigned(a.value), BitsForSigned(b.value));
  a.bitCount = b.bitCount = bits;
  return bits;
}

int CommonBitCount(SB& a, SB& b, SB& c, SB& d) {
  const int bits = std::max({BitsForSigned(a.value), BitsForSigned(b.value), BitsForSigned(c.value),
                             BitsForSigned(d.value)});
  a.bitCount = b.bitCount = c.bitCount = d.bitCount = bits;
  return bits;
}

bool FMATRIX::Exchange(BitStream& stream) {
  if (stream.IsReading()) {
    if (!stream.AlignToByte()) return false;
    UBX<1> hasScale;
    if (!hasScale.Exchange(stream)) return false;
    if (hasScale.value) {
      if (!ExchangeCountedPair(stream, 0, ScaleX, ScaleY)) return false;
    } else {
      ScaleX = SB(18, kUnitScale);
      ScaleY = SB(18, kUnitScale);
    }
    UBX<1> hasRotate;
    if (!hasRotate.Exchange(stream)) return false;
    if (hasRotate.value) {
      if (!ExchangeCountedPair(stream, 0, RotateSkew0, RotateSkew1)) return false;
    } else {
      RotateSkew0 = SB(2, 0);
      RotateSkew1 = SB(2, 0);
    }
    return ExchangeCountedPair(stream, 0, TranslateX, TranslateY) && stream.AlignToByte();
  }

  // Worked out on copies: a matrix that cannot be written keeps the bit counts it had.
  SB scaleX = ScaleX, scaleY = ScaleY, rotate0 = RotateSkew0, rotate1 = RotateSkew1;
  SB translateX = TranslateX, translateY = TranslateY;
  const bool scaled = scaleX.value != kUnitScale || scaleY.value != kUnitScale;
  const bool rotated = rotate0.value != 0 || rotate1.value != 0;
  const int scaleBits = scaled ? CommonBitCount(scaleX, scaleY) : 0;
  const int rotateBits = rotated ? CommonBitCount(rotate0, rotate1) : 0;
  const int translateBits = CommonBitCount(translateX, translateY);
  if (std::max({scaleBits, rotateBits, translateBits}) > kMaxCountedBits) return false;

  if (!stream.AlignToByte()) return false;
  UBX<1> hasScale(scaled ? 1 : 0);
  if (!hasScale.Exchange(stream)) return false;
  if (scaled && !ExchangeCountedPair(stream, scaleBits, scaleX, scaleY)) return false;
  UBX<1> hasRotate(rotated ? 1 : 0);
  if (!hasRotate.Exchange(stream)) return false;
  if (rotated && !ExchangeCountedPair(stream, rotateBits, rotate0, rotate1)) return false;
  if (!ExchangeCountedPair(stream, translateBits, translateX, translateY) || !stream.AlignToByte()) return false;
  ScaleX = scaleX;
  ScaleY = scaleY;
  RotateSkew0 = rotate0;
  RotateSkew1 = rotate1;
  TranslateX = translateX;
  TranslateY = translateY;
  return true;
}

void FMATRIX::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  DumpNamedBlock(stream, L"ScaleX: ", ScaleX);
  DumpNamedBlock(stream, L"ScaleY: ", ScaleY);
  DumpNamedBlock(stream, L"RotateSkew0: ", RotateSkew0);
  DumpNamedBlock(stream, L"RotateSkew1: ", RotateSkew1);
  DumpNamedBlock(stream, L"TranslateX: ", TranslateX);
  DumpNamedBlock(stream, L"TranslateY: ", TranslateY);
}

bool FRECT::Exchange(BitStream& stream) {
  if (stream.IsReading()) {
    UBX<5> count;
    if (!stream.AlignToByte() || !count.Exchange(stream)) return false;
    Xmin.bitCount = Xmax.bitCount = Ymin.bitCount = Ymax.bitCount = static_cast<int32_t>(count.value);
    return Xmin.Exchange(stream) && Xmax.Exchange(stream) && Ymin.Exchange(stream) && Ymax.Exchange(stream) &&
           stream.AlignToByte();
  }
  // Worked out on copies: a rectangle that cannot be written keeps the bit counts it had.
  SB xmin = Xmin, xmax = Xmax, ymin = Ymin, ymax = Ymax;
  const int bits = CommonBitCount(xmin, xmax, ymin, ymax);
  if (bits > kMaxCountedBits) return false;
  UBX<5> count(static_cast<uint32_t>(bits));
  if (!stream.AlignToByte() || !count.Exchange(stream) || !xmin.Exchange(stream) || !xmax.Exchange(stream) ||
      !ymin.Exchange(stream) || !ymax.Exchange(stream) || !stream.AlignToByte()) {
    return false;
  }
  Xmin = xmin;
  Xmax = xmax;
  Ymin = ymin;
  Ymax = ymax;
  return true;
}

void FRECT::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  const struct {
    const wchar_t* label;
    const SB& field;
  } fields[] = {{L"Xmin", Xmin}, {L"Xmax", Xmax}, {L"Ymin", Ymin}, {L"Ymax", Ymax}};
  for (const auto& [label, field] : fields) {
    stream.Printf(L"%s: ", label);
    field.Dump(stream);
    stream.Printf(L" % 8.2f\n", field.value / 20.0);
  }
}

bool FRGB::Exchange(BitStream& stream) {
  return ExchangeUI8(stream, red) && ExchangeUI8(stream, green) && ExchangeUI8(stream, blue);
}

void FRGB::Dump(TextStream& stream) const { stream.Printf(L"RGB(%d, %d, %d)", red, green, blue); }

bool FRGBA::Exchange(BitStream& stream) {
  return ExchangeUI8(stream, red) && ExchangeUI8(stream, green) && ExchangeUI8(stream, blue) &&
         ExchangeUI8(stream, alpha);
}

void FRGBA::Dump(TextStream& stream) const {
  stream.Printf(L"RGBA(%d, %d, %d, %d)", red, green, blue, alpha);
}

bool FARGB::Exchange(BitStream& stream) {
  return ExchangeUI8(stream, alpha) && ExchangeUI8(stream, red) && ExchangeUI8(stream, green) &&
         ExchangeUI8(stream, blue);
}

void FARGB::Dump(TextStream& stream) const {
  stream.Printf(L"ARGB(%d, %d, %d, %d)", alpha, red, green, blue);
}

bool SI24::Exchange(BitStream& stream) {
  uint32_t number = static_cast<uint32_t>(value) & 0xFFFFFF;
  if (!ExchangeNumber(stream, number, 3)) return false;
  if (stream.IsReading()) value = SignExtend(number, 24);
  return true;
}

void SI24::Dump(TextStream& stream) const { stream.Printf(L"%d", value); }

bool UI24::Exchange(BitStream& stream) {
  uint32_t number = static_cast<uint32_t>(value) & 0xFFFFFF;
  if (!ExchangeNumber(stream, number, 3)) return false;
  if (stream.IsReading()) value = static_cast<int32_t>(number);
  return true;
}

void UI24::Dump(TextStream& stream) const { stream.Printf(L"%d", value); }

bool SwfFileHeader::Exchange(BitStream& stream) {
  return ExchangeUI8(stream, Signature0) && ExchangeUI8(stream, Signature1) &&
         ExchangeUI8(stream, Signature2) && ExchangeUI8(stream, Version) &&
         ExchangeUI32(stream, FileLength) && ExchangeBlock(stream, FrameSize) &&
         ExchangeUI16(stream, FrameRate) && ExchangeUI16(stream, FrameCount);
}

void SwfFileHeader::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.Printf(L"Signature0: %c\n", Signature0);
  stream.Printf(L"Signature1: %c\n", Signature1);
  stream.Printf(L"Signature2: %c\n", Signature2);
  stream.Printf(L"Version: %d\n", Version);
  stream.Printf(L"FileLength: %d\n", FileLength);
  stream.Printf(L"FrameSize:\n");
  FrameSize.Dump(stream);
  stream.Printf(L"FrameRate: %g\n", FrameRate / 256.0);
  stream.Printf(L"FrameCount: %d\n", FrameCount);
}

bool RecordHeader::Exchange(BitStream& stream) {
  constexpr uint16_t kLongMarker = 0x3F;
  if (stream.IsReading()) {
    uint16_t word = 0;
    if (!ExchangeUI16(stream, word)) return false;
    code = word >> 6;
    length = word & kLongMarker;
    if (length != kLongMarker) {
      headerSize = 2;
      return true;
    }
    uint32_t longLength = 0;
    if (!ExchangeUI32(stream, longLength) || longLength > INT32_MAX) return false;
    length = static_cast<int32_t>(longLength);
    headerSize = 6;
    return true;
  }

  if (code < 0 || code > kMaxCode || length < 0) return false;
  if (!IsAlwaysLongRecord(code) && length < kLongMarker) {
    uint16_t word = RecordHeaderWord(code, length);
    if (!ExchangeUI16(stream, word)) return false;
    headerSize = 2;
    return true;
  }
  uint16_t word = RecordHeaderWord(code, kLongMarker);
  uint32_t longLength = static_cast<uint32_t>(length);
  if (!ExchangeUI16(stream, word) || !ExchangeUI32(stream, longLength)) return false;
  headerSize = 6;
  return true;
}

void RecordHeader::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"tag: ", code);
  stream.PrintLabelled(L"len: ", length);
}

bool ExchangeUI8(BitStream& stream, uint8_t& value) {
  return stream.AlignToByte() && stream.TransferExactly(&value, 1);
}

bool ExchangeUI16(BitStream& stream, uint16_t& value) {
  uint32_t number = value;
  if (!ExchangeNumber(stream, number, 2)) return false;
  value = static_cast<uint16_t>(number);
  return true;
}

bool ExchangeUI32(BitStream& stream, uint32_t& value) { return ExchangeNumber(stream, value, 4); }

bool ExchangeBlock(BitStream& stream, DataBlock& block) { return block.Exchange(stream); }

bool ReadBodyBytes(BitStream& stream, int32_t count, std::vector<uint8_t>& out) {
  constexpr int32_t kReadPiece = 1 << 20;
  out.clear();
  if (count < 0) return false;
  const int64_t size = stream.GetSize();
  const bool sized = size >= 0;
  if (sized && size - stream.GetPosition() < count) return false;
  int32_t remaining = count;
  while (remaining > 0) {
    const int32_t piece = sized ? remaining : std::min(remaining, kReadPiece);
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(piece));
    if (!stream.TransferExactly(out.data() + start, piece)) {
      out.clear();
      return false;
    }
    remaining -= piece;
  }
  return true;
}

bool ReverseBytes(void* buffer, int count) {
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  for (int front = 0, back = count - 1; front < back; ++front, --back) std::swap(bytes[front], bytes[back]);
  return true;
}

TextStream& DumpBlock(TextStream& stream, const FlashBlock& record) {
  record.Dump(stream);
  return stream;
}

TextStream& DumpTextBlock(TextStream& stream, const TextBlock& block) {
  block.Dump(stream);
  return stream;
}

TextStream& DumpNamedBlock(TextStream& stream, const wchar_t* label, const TextBlock& block) {
  stream.Printf(L"%s", label);
  block.Dump(stream);
  stream.Printf(L"\n");
  return stream;
}

bool IsAlwaysLongRecord(int32_t code) { return code == kTagDefineBitsLossless2; }

bool WriteRecordHeader(BitStream& stream, int32_t code, int32_t length) {
  RecordHeader header(code, length);
  return header.Exchange(stream);
}
