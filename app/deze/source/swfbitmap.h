#pragma once
// The DefineBitsLossless2 tag body: a bitmap whose pixels travel as one zlib stream. Format 5 is
// 32-bit A, R, G, B pixels, rows from the top; format 3 (colour-mapped) adds a table-size byte.

#include <cstdint>
#include <vector>

#include "media/swfrecord.h"

class DefineBitsLossless2 : public FlashBlock {
 public:
  static constexpr uint8_t kFormatColorMapped = 3;
  static constexpr uint8_t kFormatArgb = 5;

  // The body length for the tag header.
  int32_t GetBodyLength() const;
  // Reading takes the body length from `length`, which the tag header gave, and never allocates
  // more than the stream still holds. Writing refuses empty data.
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t length = 0;
  uint16_t CharacterID = 0;
  uint8_t BitmapFormat = kFormatArgb;
  uint16_t BitmapWidth = 0;
  uint16_t BitmapHeight = 0;
  uint8_t BitmapColorTableSize = 0;
  std::vector<uint8_t> ZlibBitmapData;

 private:
  int32_t FixedLength() const { return BitmapFormat == kFormatColorMapped ? 8 : 7; }
};
