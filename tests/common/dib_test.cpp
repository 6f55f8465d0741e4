#include "common/dib.h"

#include <gtest/gtest.h>

#include "common/bitmap.h"

namespace {

TEST(DibBuffer, CreateLaysOutHeaderTableAndPixels) {
  DibBuffer dib;
  const BITMAPINFOHEADER* header = dib.Create(3, -2, 24, BI_RGB, 0);
  ASSERT_NE(nullptr, header);
  EXPECT_EQ(12, dib.GetStride());
  EXPECT_EQ(24, dib.GetImageSize());
  EXPECT_EQ(64u, dib.GetSize());
  EXPECT_EQ(24u, dib.GetSizeImage());
  EXPECT_EQ(40u, header->biSize);
  EXPECT_EQ(1, header->biPlanes);
  EXPECT_EQ(12, dib.GetSignedStride());  // top-down

  ASSERT_NE(nullptr, dib.Create(5, 4, 8, BI_RGB, 0));
  EXPECT_EQ(40u + 1024u + 8u * 4u, dib.GetSize());
  EXPECT_EQ(-8, dib.GetSignedStride());
  ASSERT_NE(nullptr, dib.Create(17, 1, 1, BI_RGB, 0));
  EXPECT_EQ(40u + 8u + 4u, dib.GetSize());
  // Compressed formats keep the image size they were given.
  ASSERT_NE(nullptr, dib.Create(8, 8, 24, MAKEFOURCC('w', 'b', 'v', 'k'), 77));
  EXPECT_EQ(77u, dib.GetSizeImage());
  EXPECT_EQ(MAKEFOURCC('w', 'b', 'v', 'k'), dib.GetCompression());

  const struct {
    int32_t width, height;
    int bits;
  } refused[] = {{3, 2, 12}, {0, 2, 24}, {-1, 2, 24}, {3, 0, 24}, {65536, 65536, 32}, {0x7FFFFFFF, 1, 32}};
  for (const auto& r : refused) {
    EXPECT_EQ(nullptr, dib.Create(r.width, r.height, r.bits, BI_RGB, 0)) << r.width << "x" << r.height;
    EXPECT_EQ(0u, dib.GetSize());
  }
  EXPECT_EQ(0, dib.GetWidth());
  EXPECT_EQ(0, dib.GetImageSize());
  EXPECT_FALSE(dib.SetSizeImage(5));
}

TEST(DibBuffer, StridesAndSizesAgreeWithTheSystem) {
  for (int bits : {1, 4, 8, 16, 24, 32}) {
    for (int width = 1; width <= 33; ++width) {
      for (int height : {1, 7, -3}) {
        DibBuffer dib(width, height, bits);
        ASSERT_NE(nullptr, dib.GetHeader());
        Dib section(reinterpret_cast<const BITMAPINFO*>(dib.GetData()), nullptr);
        ASSERT_NE(nullptr, section.GetHandle()) << width << "x" << height << "x" << bits;
        DIBSECTION described = {};
        ASSERT_EQ(static_cast<int>(sizeof(described)), GetObjectW(section.GetHandle(), sizeof(described), &described));
        EXPECT_EQ(described.dsBm.bmWidthBytes, dib.GetStride()) << width << "x" << bits;
        EXPECT_EQ(described.dsBmih.biSizeImage, dib.GetSizeImage()) << width << "x" << height << "x" << bits;
        EXPECT_EQ(ImageSizeOf(described.dsBmih), dib.GetImageSize());
      }
    }
  }
}

TEST(DibBuffer, CopiesAndHeaderlessBuffers) {
  const DibBuffer short39(std::vector<uint8_t>(39, 1));
  EXPECT_EQ(39u, short39.GetSize());
  EXPECT_EQ(nullptr, short39.GetHeader());
  EXPECT_EQ(0, short39.GetHeight());
  const DibBuffer copy39(short39);
  EXPECT_EQ(0u, copy39.GetSize());
  DibBuffer assigned;
  assigned = short39;
  EXPECT_EQ(39u, assigned.GetSize());

  DibBuffer allocated(40);
  EXPECT_NE(nullptr, allocated.GetHeader());
  EXPECT_EQ(nullptr, allocated.Allocate(39));
  EXPECT_EQ(40u, allocated.GetSize());
  const DibBuffer copy(DibBuffer(4, 4, 32));
  EXPECT_EQ(40u + 64u, copy.GetSize());
  EXPECT_EQ(nullptr, HeaderOf(std::vector<uint8_t>(39)));
}

TEST(DibBuffer, TopRowOfSeparatePixels) {
  uint8_t pixels[3 * 8] = {};
  EXPECT_EQ(pixels + 16, DibBuffer(2, 3, 32).GetTopRow(pixels));
  EXPECT_EQ(pixels, DibBuffer(2, -3, 32).GetTopRow(pixels));
  EXPECT_EQ(pixels, DibBuffer(2, 1, 32).GetTopRow(pixels));
}

TEST(FrameData, DescribesAVector) {
  FrameData frame;
  EXPECT_EQ(nullptr, frame.data);
  EXPECT_EQ(0, frame.size);
  EXPECT_TRUE(frame.key);
  const std::vector<uint8_t> bytes = {1, 2, 3};
  frame.Set(bytes);
  EXPECT_EQ(bytes.data(), frame.data);
  EXPECT_EQ(3, frame.size);
  frame.Set({});
  EXPECT_EQ(nullptr, frame.data);
  EXPECT_EQ(0, frame.size);
}

}  // namespace
