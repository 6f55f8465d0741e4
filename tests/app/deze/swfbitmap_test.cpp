#include "app/deze/source/swfbitmap.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

TEST(DefineBitsLossless2, BodyLayoutsAndLengths) {
  DefineBitsLossless2 argb;
  argb.CharacterID = 7;
  argb.BitmapWidth = 2;
  argb.BitmapHeight = 0x0102;
  argb.ZlibBitmapData = {0xAA, 0xBB, 0xCC};
  DefineBitsLossless2 mapped = argb;
  mapped.BitmapFormat = DefineBitsLossless2::kFormatColorMapped;
  mapped.BitmapColorTableSize = 15;
  EXPECT_EQ(WriteBytes(argb), Bytes({0x07, 0x00, 0x05, 0x02, 0x00, 0x02, 0x01, 0xAA, 0xBB, 0xCC}));
  EXPECT_EQ(WriteBytes(mapped), Bytes({0x07, 0x00, 0x03, 0x02, 0x00, 0x02, 0x01, 0x0F, 0xAA, 0xBB, 0xCC}));
  argb.ZlibBitmapData.assign(100, 1);
  mapped.ZlibBitmapData.assign(100, 1);
  EXPECT_EQ(argb.GetBodyLength(), 107);
  EXPECT_EQ(mapped.GetBodyLength(), 108);
  DefineBitsLossless2 empty;
  EXPECT_TRUE(RefusedCleanly(empty));
  EXPECT_EQ(DumpText(mapped),
            L"  Len: 0\n  CharacterID: 7\n  BitmapFormat: 3\n  BitmapWidth: 2\n  BitmapHeight: 258\n"
            L"  BitmapColorTableSize: 15\n  ZlibBitmapData.size = 100\n");
}

TEST(DefineBitsLossless2, ReadingTakesTheLengthFromTheTagHeader) {
  const Bytes argb = {0x07, 0x00, 0x05, 0x02, 0x00, 0x02, 0x00, 0xAA, 0xBB};
  const Bytes mapped = {0x07, 0x00, 0x03, 0x02, 0x00, 0x02, 0x00, 0x0F, 0xAA};
  const struct {
    const Bytes& body;
    int32_t length;
    Bytes data;  // {0xEE}: the read fails
  } cases[] = {{argb, 7, {0xEE}},   {argb, 8, {0xAA}},   {argb, 9, {0xAA, 0xBB}},
               {argb, 10, {0xEE}},  {argb, -1, {0xEE}},  {mapped, 8, {0xEE}},
               {mapped, 9, {0xAA}}, {argb, INT32_MAX, {0xEE}}};
  for (const auto& c : cases) {
    // Also from a stream that cannot tell its size, which is read in pieces.
    for (bool sized : {true, false}) {
      BufferStream inner(c.body.data(), c.body.size());
      ForwardingStream in(inner, true, sized);
      DefineBitsLossless2 bitmap;
      bitmap.length = c.length;
      const bool read = bitmap.Exchange(in);
      EXPECT_EQ(read ? bitmap.ZlibBitmapData : Bytes({0xEE}), c.data) << c.length << " " << sized;
      // A length that the data does not back costs no memory.
      EXPECT_LE(bitmap.ZlibBitmapData.capacity(), sized ? 2u : 1u << 20);
    }
  }
}
