#pragma once
// The SWF record model. A record has one Exchange that reads or writes it, as the stream's
// direction says, and a Dump that prints it as indented text. Multi-byte numbers follow the
// stream's byte order (SWF streams are little-endian); bit fields move most significant bit first.
// Byte-aligned fields align the stream first; bit fields pack onto whatever partial byte is open.

#include <cstdint>
#include <vector>

#include "common/stream.h"
#include "common/text.h"

// Tag codes that this system writes.
constexpr int32_t kTagEnd = 0;
constexpr int32_t kTagShowFrame = 1;
constexpr int32_t kTagSetBackgroundColor = 9;
constexpr int32_t kTagDoAction = 12;
constexpr int32_t kTagSoundStreamBlock = 19;
constexpr int32_t kTagPlaceObject2 = 26;
constexpr int32_t kTagRemoveObject2 = 28;
constexpr int32_t kTagDefineShape3 = 32;
constexpr int32_t kTagDefineButton2 = 34;
constexpr int32_t kTagDefineBitsLossless2 = 36;
constexpr int32_t kTagDefineEditText = 37;
constexpr int32_t kTagDefineSprite = 39;
constexpr int32_t kTagSoundStreamHead2 = 45;
constexpr int32_t kTagDefineFont2 = 48;
constexpr int32_t kTagDefineVideoStream = 60;
constexpr int32_t kTagVideoFrame = 61;

// The flags byte of PlaceObject2.
constexpr uint8_t kPlaceFlagMove = 0x01;
constexpr uint8_t kPlaceFlagHasCharacter = 0x02;
constexpr uint8_t kPlaceFlagHasMatrix = 0x04;
constexpr uint8_t kPlaceFlagHasRatio = 0x10;
constexpr uint8_t kPlaceFlagHasName = 0x20;

// Movie coordinates are in twips.
constexpr int32_t kTwipsPerPixel = 20;

class DataBlock {
 public:
  virtual ~DataBlock() = default;
  // True when every byte and bit moved; a failed read keeps the members read so far.
  virtual bool Exchange(BitStream& stream) = 0;
};

class TextBlock {
 public:
  virtual ~TextBlock() = default;
  virtual void Dump(TextStream& stream) const = 0;
};

class FlashBlock : public DataBlock, public TextBlock {};

// A signed bit field; a read sign-extends from the bit count.
class SB : public DataBlock, public TextBlock {
 public:
  SB() = default;
  SB(int32_t bits, int32_t fieldValue) : bitCount(bits), value(fieldValue) {}
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t bitCount = 0;
  int32_t value = 0;
};

// An unsigned bit field; only the low bit-count bits of the value move.
class UB : public DataBlock, public TextBlock {
 public:
  UB() = default;
  UB(int32_t bits, uint32_t fieldValue) : bitCount(bits), value(fieldValue) {}
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t bitCount = 0;
  uint32_t value = 0;
};

template <int N>
class UBX : public UB {
 public:
  UBX() : UB(N, 0) {}
  explicit UBX(uint32_t fieldValue) : UB(N, fieldValue & LowBitMask(N)) {}
};

// ScaleX/ScaleY in 16.16 fixed point, translations in twips. A new matrix is the identity.
class FMATRIX : public FlashBlock {
 public:
  static constexpr int32_t kUnitScale = 0x10000;

  // Fails without writing anything when a value needs more than 31 bits.
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  SB ScaleX{18, kUnitScale};
  SB ScaleY{18, kUnitScale};
  SB RotateSkew0{2, 0};
  SB RotateSkew1{2, 0};
  SB TranslateX{2, 0};
  SB TranslateY{2, 0};
};

// Coordinates in twips; the field width is worked out on writing.
class FRECT : public FlashBlock {
 public:
  FRECT() = default;
  FRECT(int32_t xmin, int32_t xmax, int32_t ymin, int32_t ymax)
      : Xmin(0, xmin), Xmax(0, xmax), Ymin(0, ymin), Ymax(0, ymax) {}
  // Fails without writing anything when a coordinate needs more than 31 bits.
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  SB Xmin;
  SB Xmax;
  SB Ymin;
  SB Ymax;
};

class FARGB;
class FRGBA;

class FRGB : public FlashBlock {
 public:
  FRGB() = default;
  FRGB(uint8_t r, uint8_t g, uint8_t b) : red(r), green(g), blue(b) {}
  explicit FRGB(const FARGB& color);
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

class FRGBA : public FlashBlock {
 public:
  FRGBA() = default;
  FRGBA(uint8_t r, uint8_t g, uint8_t b, uint8_t a) : red(r), green(g), blue(b), alpha(a) {}
  explicit FRGBA(const FRGB& color) : FRGBA(color.red, color.green, color.blue, 255) {}
  explicit FRGBA(const FARGB& color);
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;
};

class FARGB : public FlashBlock {
 public:
  FARGB() = default;
  FARGB(uint8_t a, uint8_t r, uint8_t g, uint8_t b) : alpha(a), red(r), green(g), blue(b) {}
  explicit FARGB(const FRGB& color) : FARGB(255, color.red, color.green, color.blue) {}
  explicit FARGB(const FRGBA& color) : FARGB(color.alpha, color.red, color.green, color.blue) {}
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint8_t alpha = 0;
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

inline FRGB::FRGB(const FARGB& color) : FRGB(color.red, color.green, color.blue) {}
inline FRGBA::FRGBA(const FARGB& color) : FRGBA(color.red, color.green, color.blue, color.alpha) {}

// Three bytes; a read sign-extends from bit 23.
class SI24 : public FlashBlock {
 public:
  SI24() = default;
  explicit SI24(int32_t number) : value(number) {}
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t value = 0;
};

class UI24 : public FlashBlock {
 public:
  UI24() = default;
  explicit UI24(int32_t number) : value(number) {}
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t value = 0;
};

class SwfFileHeader : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint8_t Signature0 = 'F';
  uint8_t Signature1 = 'W';
  uint8_t Signature2 = 'S';
  uint8_t Version = 0;
  uint32_t FileLength = 0;
  FRECT FrameSize;
  uint16_t FrameRate = 0;  // 8.8 fixed point
  uint16_t FrameCount = 0;
};

// The first 16 bits of a record header: the code above a 6-bit length.
constexpr uint16_t RecordHeaderWord(int32_t code, int32_t length) { return static_cast<uint16_t>(code << 6 | length); }

// The short form holds lengths below 63; a 6-bit length of 63 means a 32-bit length follows.
class RecordHeader : public FlashBlock {
 public:
  static constexpr int32_t kMaxCode = 1023;

  RecordHeader() = default;
  RecordHeader(int32_t tagCode, int32_t bodyLength) : code(tagCode), length(bodyLength) {}
  // Writing refuses a code outside 0 to 1023 and a negative length; reading refuses a length
  // above 2 GiB.
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t code = 0;
  int32_t length = 0;
  int32_t headerSize = 0;  // 2 or 6 once exchanged
};

bool ExchangeUI8(BitStream& stream, uint8_t& value);
bool ExchangeUI16(BitStream& stream, uint16_t& value);
bool ExchangeUI32(BitStream& stream, uint32_t& value);
bool ExchangeBlock(BitStream& stream, DataBlock& block);
// Always true.
bool ReverseBytes(void* buffer, int count);
// Reads `count` bytes of a tag body into `out` (emptied first; left empty on failure). A count the
// stream cannot hold fails at once; where the stream cannot tell its size the bytes come in pieces,
// so a false length costs no more memory than the data that is really there.
bool ReadBodyBytes(BitStream& stream, int32_t count, std::vector<uint8_t>& out);

TextStream& DumpBlock(TextStream& stream, const FlashBlock& record);
TextStream& DumpTextBlock(TextStream& stream, const TextBlock& block);
// The label, the block's dump and a line feed.
TextStream& DumpNamedBlock(TextStream& stream, const wchar_t* label, const TextBlock& block);

// DefineBitsLossless2 always takes the long header.
bool IsAlwaysLongRecord(int32_t code);
// The tag body of exactly `length` bytes follows, written by the caller.
bool WriteRecordHeader(BitStream& stream, int32_t code, int32_t length);

// The widest BitsForSigned of the fields, stored as the bit count of each and returned.
int CommonBitCount(SB& a, SB& b);
int CommonBitCount(SB& a, SB& b, SB& c, SB& d);

// The low `bits` bits of value (1 to 32) as a two's complement number.
int32_t SignExtend(uint32_t value, int bits);
