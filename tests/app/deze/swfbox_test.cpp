#include "app/deze/source/swfbox.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/deze/source/swfbitmap.h"
#include "app/deze/source/swfmux.h"
#include "app/deze/source/swfshape.h"
#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

namespace {

// 0xXXRRGGBB words, top row first.
struct Picture {
  Picture(int32_t w, int32_t h, uint32_t fill = 0x00336699u) : width(w), height(h), pixels(size_t(w) * h, fill) {}
  uint32_t& At(int32_t x, int32_t y) { return pixels[size_t(y) * width + x]; }
  // B, G, R, X bytes per pixel, in the row order asked for.
  Bytes Frame(bool bottomUp = true) const {
    Bytes bytes(pixels.size() * 4);
    for (int32_t y = 0; y < height; ++y)
      memcpy(&bytes[size_t(bottomUp ? height - 1 - y : y) * width * 4], &pixels[size_t(y) * width], size_t(width) * 4);
    return bytes;
  }
  // A, R, G, B bytes of a rectangle, as a bitmap carries them.
  Bytes Argb(int32_t x0, int32_t y0, int32_t w, int32_t h) const {
    Bytes argb;
    for (int32_t y = y0; y < y0 + h; ++y)
      for (int32_t x = x0; x < x0 + w; ++x) {
        const uint32_t p = pixels[size_t(y) * width + x];
        argb.insert(argb.end(), {0xFF, uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
      }
    return argb;
  }

  int32_t width;
  int32_t height;
  std::vector<uint32_t> pixels;
};

struct Tag {
  int32_t code;
  Bytes body;
};

std::vector<Tag> Tags(const MemOut& out) {
  std::vector<Tag> tags;
  const Bytes bytes = Written(out);
  BufferStream in(bytes.data(), bytes.size());
  while (!in.AtEnd()) {
    RecordHeader header;
    Tag tag{0, {}};
    if (!header.Exchange(in)) break;
    tag.code = header.code;
    tag.body.resize(size_t(header.length));
    if (!in.TransferExactly(tag.body.data(), header.length)) break;
    tags.push_back(tag);
  }
  EXPECT_TRUE(in.AtEnd()) << "tags do not parse";
  return tags;
}

std::vector<int32_t> Codes(const std::vector<Tag>& tags) {
  std::vector<int32_t> codes;
  for (const Tag& tag : tags) codes.push_back(tag.code);
  return codes;
}

uint16_t Le16(const Bytes& bytes, size_t offset) { return uint16_t(bytes.at(offset) | bytes.at(offset + 1) << 8); }

Bytes Inflated(const Bytes& bitmapBody) {
  Bytes data(bitmapBody.begin() + 7, bitmapBody.end());
  Bytes pixels(size_t(Le16(bitmapBody, 3)) * Le16(bitmapBody, 5) * 4 + 1);
  const int32_t length = ZlibInflater().Decompress(data.data(), int32_t(data.size()), pixels.data(), int32_t(pixels.size()));
  pixels.resize(length > 0 ? size_t(length) : 0);
  return pixels;
}

DefineShape<3> ReadShape(const Bytes& body) {
  BufferStream in(body.data(), body.size());
  DefineShape<3> shape;
  EXPECT_TRUE(shape.Exchange(in) && in.AtEnd());
  return shape;
}

std::vector<uint16_t> FillBitmaps(const DefineShape<3>& shape) {
  std::vector<uint16_t> ids;
  for (const FILLSTYLE<3>& fill : shape.Shapes.FillStyles.Styles) ids.push_back(fill.BitmapId);
  return ids;
}

// An encoder over a settings block as the multiplexer prepares it, frames counted as the frame
// loop counts them.
struct Movie {
  Movie(int32_t width, int32_t height, bool rowsBottomUp = true) : bottomUp(rowsBottomUp) {
    settings.width = width;
    settings.height = height;
    settings.nextCharacterId = 1;
    settings.nextDepth = 1;
    encoder = std::make_unique<SwfBoxEncoder>(&settings, rowsBottomUp);
  }
  // The frame's tags; `ok` receives the encoder's answer.
  std::vector<Tag> Encode(const Picture& picture, bool* ok = nullptr) {
    MemOut out;
    const Bytes frame = picture.Frame(bottomUp);
    const bool encoded = encoder->EncodeFrame(frame.data(), int32_t(frame.size()), 0, out);
    if (ok) *ok = encoded;
    else EXPECT_TRUE(encoded);
    if (encoded) ++settings.frameCount;
    return Tags(out);
  }

  bool bottomUp;
  MuxSettings settings;
  std::unique_ptr<SwfBoxEncoder> encoder;
};

}  // namespace

TEST(SwfBoxEncoder, FirstFrameIsOneBitmapShapeAndPlacement) {
  Picture picture(4, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) picture.At(x, y) = 0xA0000000u | uint32_t(0x40 + x) << 16 | uint32_t(0x80 + y) << 8 | uint32_t(x * 16 + y);
  for (bool bottomUp : {true, false}) {
    SCOPED_TRACE(bottomUp ? "bottom-up" : "top-down");
    MuxSettings settings;
    settings.width = 4, settings.height = 3, settings.nextCharacterId = 1, settings.nextDepth = 1;
    SwfBoxEncoder encoder(&settings, bottomUp);
    MemOut out;
    const Bytes frame = picture.Frame(bottomUp);
    ASSERT_TRUE(encoder.EncodeFrame(frame.data(), int32_t(frame.size()), 0, out));
    const std::vector<Tag> tags = Tags(out);
    ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2}));
    EXPECT_EQ(Bytes(tags[0].body.begin(), tags[0].body.begin() + 7), Bytes({0x01, 0x00, 0x05, 0x04, 0x00, 0x03, 0x00}));
    EXPECT_EQ(Inflated(tags[0].body), picture.Argb(0, 0, 4, 3));
    EXPECT_EQ(tags[1].body, Bytes({0x02, 0x00, 0x40, 0x02, 0x80, 0x01, 0xe0, 0x01, 0x41, 0x01, 0x00, 0xd9, 0x40, 0x00, 0x05,
                                   0x00, 0x00, 0x02, 0x00, 0x00, 0x20, 0x14, 0x40, 0xec, 0x28, 0x6a, 0xbc, 0xd8, 0xb0, 0xd5,
                                   0x88, 0x00}));
    // The PlaceObject2 tag whole, with its short header: depth 1, shape 2, identity matrix.
    EXPECT_EQ(Bytes(out.GetData() + out.GetDataSize() - 8, out.GetData() + out.GetDataSize()),
              Bytes({0x86, 0x06, 0x06, 0x01, 0x00, 0x02, 0x00, 0x00}));
    EXPECT_EQ(settings.nextCharacterId, 3);
    EXPECT_EQ(settings.nextDepth, 2);
    // A sample shorter than the picture is refused, and nothing is taken for it.
    settings.frameCount = 1;
    MemOut refused;
    EXPECT_FALSE(encoder.EncodeFrame(frame.data(), int32_t(frame.size()) - 1, 0, refused));
    EXPECT_EQ(refused.GetDataSize(), 0);
  }
}

TEST(SwfBoxEncoder, LaterFramesWriteOnlyWhatChanged) {
  Movie movie(40, 30);
  Picture picture(40, 30);
  movie.Encode(picture);

  EXPECT_TRUE(movie.Encode(picture).empty()) << "an identical frame";

  // A change only in the byte without colour still writes, with the same colours.
  picture.At(7, 5) ^= 0x01000000u;
  std::vector<Tag> tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2}));
  EXPECT_EQ(Le16(tags[0].body, 0), 3);
  EXPECT_EQ(Inflated(tags[0].body), picture.Argb(7, 5, 1, 1));
  EXPECT_EQ(Le16(tags[1].body, 0), 4);
  EXPECT_EQ(Le16(tags[2].body, 1), 2) << "depth";

  // Every pixel changed: one rectangle covers the frame and both earlier shapes go, after the
  // placement of the new one.
  for (uint32_t& p : picture.pixels) p = 0x00FFEEDDu;
  tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2,
                                               kTagRemoveObject2, kTagRemoveObject2}));
  EXPECT_EQ(Le16(tags[2].body, 1), 3);
  EXPECT_EQ(Le16(tags[3].body, 0), 1);
  EXPECT_EQ(Le16(tags[4].body, 0), 2);

  // Two areas changed twice: the old shape lies inside the new shape's bounds but inside neither
  // of its rectangles, so it stays.
  for (int32_t x = 0; x < 40; ++x) picture.At(x, 0) = 0x00010203u + x, picture.At(x, 20) = 0x00112233u;
  tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineBitsLossless2, kTagDefineShape3,
                                               kTagPlaceObject2}));
  const DefineShape<3> shape = ReadShape(tags[2].body);
  EXPECT_EQ(FillBitmaps(shape), std::vector<uint16_t>({7, 8}));
  EXPECT_EQ(shape.Shapes.NumFillBits.value, 2u);
  EXPECT_EQ(shape.ShapeBounds.Ymax.value, 21 * 20);
  for (int32_t x = 0; x < 40; ++x) picture.At(x, 0) += 0x100, picture.At(x, 20) += 0x100;
  EXPECT_EQ(Codes(movie.Encode(picture)), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineBitsLossless2,
                                                                kTagDefineShape3, kTagPlaceObject2}));
}

TEST(SwfBoxEncoder, CachedBitmapsAreReferencedUnlessOnlyTheirChecksumMatches) {
  Movie movie(30, 30);
  Picture a(30, 30);
  Picture b = a;
  for (int32_t y = 10; y < 14; ++y)
    for (int32_t x = 3; x < 20; ++x) b.At(x, y) = 0x00102030u * uint32_t(x);
  movie.Encode(a);
  ASSERT_EQ(movie.Encode(b).size(), 3u);  // bitmap 3
  ASSERT_EQ(movie.Encode(a).size(), 4u);  // bitmap 5 of the old area, and a removal
  const std::vector<Tag> again = movie.Encode(b);
  ASSERT_EQ(Codes(again), std::vector<int32_t>({kTagDefineShape3, kTagPlaceObject2, kTagRemoveObject2}));
  EXPECT_EQ(FillBitmaps(ReadShape(again[0].body)), std::vector<uint16_t>({3}));

  // These two pixels share Adler-32 and compressed size; the second must get a bitmap of its own.
  Picture c = b;
  c.At(2, 2) = 0x00010002u;
  const std::vector<Tag> first = movie.Encode(c);
  c.At(25, 25) = 0x00000201u;
  const std::vector<Tag> second = movie.Encode(c);
  ASSERT_EQ(first.at(0).code, kTagDefineBitsLossless2);
  ASSERT_EQ(second.at(0).code, kTagDefineBitsLossless2);
  const Bytes& one = first[0].body;
  const Bytes& two = second[0].body;
  ASSERT_EQ(one.size(), two.size());
  ASSERT_TRUE(std::equal(one.end() - 4, one.end(), two.end() - 4)) << "the pair no longer collides";
  EXPECT_EQ(Inflated(two), c.Argb(25, 25, 1, 1));
  EXPECT_EQ(FillBitmaps(ReadShape(second[1].body)), std::vector<uint16_t>({Le16(two, 0)}));
  EXPECT_NE(Le16(two, 0), Le16(one, 0));
}

TEST(SwfBoxEncoder, LimitsOfDepthsAndIdentifiers) {
  Picture a(16, 16), b(16, 16, 0x00FF0000u);
  {
    Movie movie(16, 16, false);
    movie.settings.nextDepth = 65534;
    ASSERT_EQ(Le16(movie.Encode(a).at(2).body, 1), 65534);
    bool ok = true;
    const std::vector<Tag> failed = movie.Encode(b, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Codes(failed), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3}));
    EXPECT_EQ(movie.settings.nextCharacterId, 5) << "identifiers stay taken";
    // The failed frame did not become the reference: the same change is found again.
    movie.settings.nextDepth = kMovieControlDepth;
    const std::vector<Tag> retried = movie.Encode(b);
    ASSERT_EQ(Codes(retried), std::vector<int32_t>({kTagDefineShape3, kTagPlaceObject2, kTagRemoveObject2}));
    EXPECT_EQ(Le16(retried[1].body, 1), kMovieControlDepth + 1);
    EXPECT_EQ(Le16(retried[2].body, 0), 65534);
  }
  {
    // Pixels 65 columns and 2 rows apart are 31 × 1100 rectangles: more than a fill index of
    // 15 bits can tell apart, so the shape takes their bounding rectangle.
    Movie movie(2000, 2200);
    Picture picture(2000, 2200);
    movie.Encode(picture);
    for (int32_t y = 0; y < 2200; y += 2)
      for (int32_t x = 0; x < 2000; x += 65) picture.At(x, y) = 0;
    const std::vector<Tag> tags = movie.Encode(picture);
    ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2}));
    const DefineShape<3> shape = ReadShape(tags[1].body);
    EXPECT_EQ(FillBitmaps(shape), std::vector<uint16_t>({3}));
    EXPECT_EQ(Le16(tags[0].body, 3), 1951);
    EXPECT_EQ(Le16(tags[0].body, 5), 2199);
  }
  {
    Movie movie(16, 16);
    movie.settings.nextCharacterId = 65535;
    bool ok = true;
    EXPECT_EQ(Codes(movie.Encode(a, &ok)), std::vector<int32_t>({kTagDefineBitsLossless2}));
    EXPECT_FALSE(ok) << "the shape would need identifier 65536";
  }
}
