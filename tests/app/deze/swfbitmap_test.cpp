#include "app/deze/source/swfbitmap.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/zstream.h"
#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

TEST(DefineBitsLossless2, BodyLayoutsAndLengths) {
  DefineBitsLossless2 argb;
  argb.CharacterID = 7;
  argb.BitmapWidth = 2;
  argb.BitmapHeight = 0x0102;
  argb.ZlibBitmapData = {0xAA, 0xBB, 0xCC};
  EXPECT_EQ(argb.GetBodyLength(), 10);
  EXPECT_EQ(WriteBytes(argb), Bytes({0x07, 0x00, 0x05, 0x02, 0x00, 0x02, 0x01, 0xAA, 0xBB, 0xCC}));

  DefineBitsLossless2 mapped = argb;
  mapped.BitmapFormat = DefineBitsLossless2::kFormatColorMapped;
  mapped.BitmapColorTableSize = 15;
  EXPECT_EQ(mapped.GetBodyLength(), 11);
  EXPECT_EQ(WriteBytes(mapped), Bytes({0x07, 0x00, 0x03, 0x02, 0x00, 0x02, 0x01, 0x0F, 0xAA, 0xBB, 0xCC}));

  argb.ZlibBitmapData.assign(100, 1);
  mapped.ZlibBitmapData.assign(100, 1);
  EXPECT_EQ(argb.GetBodyLength(), 107);
  EXPECT_EQ(mapped.GetBodyLength(), 108);

  DefineBitsLossless2 empty;
  EXPECT_TRUE(RefusedCleanly(empty));
}

TEST(DefineBitsLossless2, ReadingTakesTheLengthFromTheTagHeader) {
  const Bytes body = {0x07, 0x00, 0x05, 0x02, 0x00, 0x02, 0x00, 0xAA, 0xBB};
  struct Case {
    int32_t length;
    bool reads;
    size_t dataSize;
  };
  const Case cases[] = {{7, false, 0}, {8, true, 1}, {9, true, 2}, {10, false, 0}, {-1, false, 0}};
  for (const Case& c : cases) {
    BufferStream in(body.data(), body.size());
    DefineBitsLossless2 bitmap;
    bitmap.length = c.length;
    EXPECT_EQ(bitmap.Exchange(in), c.reads) << c.length;
    if (c.reads) {
      EXPECT_EQ(bitmap.ZlibBitmapData.size(), c.dataSize) << c.length;
    }
  }

  // Format 3 carries one more fixed byte: 8 bytes are only the fixed part.
  const Bytes mapped = {0x07, 0x00, 0x03, 0x02, 0x00, 0x02, 0x00, 0x0F, 0xAA};
  BufferStream shortIn(mapped.data(), mapped.size());
  DefineBitsLossless2 notEnough;
  notEnough.length = 8;
  EXPECT_FALSE(notEnough.Exchange(shortIn));
  BufferStream in(mapped.data(), mapped.size());
  DefineBitsLossless2 colourMapped;
  colourMapped.length = 9;
  ASSERT_TRUE(colourMapped.Exchange(in));
  EXPECT_EQ(colourMapped.BitmapColorTableSize, 15);
  EXPECT_EQ(colourMapped.ZlibBitmapData, Bytes({0xAA}));
}

TEST(DefineBitsLossless2, AFalseLengthCostsNoMemory) {
  const Bytes body = {0x07, 0x00, 0x05, 0x02, 0x00, 0x02, 0x00, 0xAA, 0xBB};
  BufferStream sized(body.data(), body.size());
  DefineBitsLossless2 bitmap;
  bitmap.length = INT32_MAX;
  EXPECT_FALSE(bitmap.Exchange(sized));
  EXPECT_EQ(bitmap.ZlibBitmapData.capacity(), 0u);

  // A stream that cannot tell its size is read in pieces.
  BufferStream inner(body.data(), body.size());
  ForwardingStream unsized(inner, true, false);
  DefineBitsLossless2 piecewise;
  piecewise.length = INT32_MAX;
  EXPECT_FALSE(piecewise.Exchange(unsized));
  EXPECT_LE(piecewise.ZlibBitmapData.capacity(), 1u << 20);

  BufferStream again(body.data(), body.size());
  ForwardingStream unsizedWhole(again, true, false);
  DefineBitsLossless2 whole;
  whole.length = 9;
  ASSERT_TRUE(whole.Exchange(unsizedWhole));
  EXPECT_EQ(whole.ZlibBitmapData, Bytes({0xAA, 0xBB}));
}

TEST(DefineBitsLossless2, TagRoundTripWithRealPixels) {
  const int width = 5, height = 3;
  Bytes pixels;
  for (int i = 0; i < width * height; ++i) {
    pixels.insert(pixels.end(), {255, static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i), 7});
  }
  DefineBitsLossless2 bitmap;
  bitmap.CharacterID = 300;
  bitmap.BitmapWidth = width;
  bitmap.BitmapHeight = height;
  bitmap.ZlibBitmapData = Deflate(pixels);
  const int32_t packed = static_cast<int32_t>(bitmap.ZlibBitmapData.size());
  ASSERT_GT(packed, 4);

  MemOut out;
  ASSERT_TRUE(WriteRecordHeader(out, kTagDefineBitsLossless2, bitmap.GetBodyLength()));
  ASSERT_TRUE(bitmap.Exchange(out));
  const Bytes tag = Written(out);
  ASSERT_EQ(tag.size(), 6u + 7u + static_cast<size_t>(packed));

  BufferStream in(tag.data(), tag.size());
  RecordHeader header;
  ASSERT_TRUE(header.Exchange(in));
  EXPECT_EQ(header.headerSize, 6);
  DefineBitsLossless2 back;
  back.length = header.length;
  ASSERT_TRUE(back.Exchange(in));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(back.CharacterID, 300);
  Bytes unpacked(pixels.size());
  ASSERT_EQ(ZlibInflater().Decompress(back.ZlibBitmapData.data(), static_cast<int32_t>(back.ZlibBitmapData.size()),
                                      unpacked.data(), static_cast<int32_t>(unpacked.size())),
            static_cast<int32_t>(pixels.size()));
  EXPECT_EQ(unpacked, pixels);

  EXPECT_EQ(DumpText(back),
            L"  Len: " + std::to_wstring(7 + packed) +
                L"\n"
                L"  CharacterID: 300\n"
                L"  BitmapFormat: 5\n"
                L"  BitmapWidth: 5\n"
                L"  BitmapHeight: 3\n"
                L"  ZlibBitmapData.size = " +
                std::to_wstring(packed) + L"\n");
  back.BitmapFormat = DefineBitsLossless2::kFormatColorMapped;
  back.BitmapColorTableSize = 255;
  EXPECT_NE(DumpText(back).find(L"  BitmapHeight: 3\n  BitmapColorTableSize: 255\n  ZlibBitmapData"),
            std::wstring::npos);
}
