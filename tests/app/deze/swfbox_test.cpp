#include "app/deze/source/swfbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "app/deze/source/swfbitmap.h"
#include "app/deze/source/swfmux.h"
#include "app/deze/source/swfshape.h"
#include "tests/app/deze/mux_harness.h"
#include "tests/app/deze/picture.h"
#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

namespace {

// The bare tags of one frame.
std::vector<SwfTag> Tags(const MemOut& out) {
  std::vector<SwfTag> tags;
  const Bytes bytes = Written(out);
  BufferStream in(bytes.data(), bytes.size());
  while (!in.AtEnd()) {
    RecordHeader header;
    SwfTag tag{0, {}};
    if (!header.Exchange(in)) break;
    tag.code = header.code;
    tag.body.resize(size_t(header.length));
    if (!in.TransferExactly(tag.body.data(), header.length)) break;
    tags.push_back(tag);
  }
  EXPECT_TRUE(in.AtEnd()) << "tags do not parse";
  return tags;
}

std::vector<int32_t> Codes(const std::vector<SwfTag>& tags) {
  std::vector<int32_t> codes;
  for (const SwfTag& tag : tags) codes.push_back(tag.code);
  return codes;
}

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
  Movie(int32_t width, int32_t height, bool rowsBottomUp = true,
        int32_t maxListRects = SwfBoxEncoder::kMaxDisplayListRects)
      : bottomUp(rowsBottomUp) {
    settings.width = width;
    settings.height = height;
    settings.nextCharacterId = 1;
    settings.nextDepth = 1;
    encoder = std::make_unique<SwfBoxEncoder>(&settings, rowsBottomUp, maxListRects);
  }
  // The frame's tags; `result` receives the encoder's answer, which must otherwise be kWritten.
  std::vector<SwfTag> Encode(const Picture& picture, EncodeResult* result = nullptr) {
    MemOut out;
    const Bytes frame = picture.Frame(bottomUp);
    const EncodeResult encoded = encoder->EncodeFrame(frame.data(), int32_t(frame.size()), 0, out);
    if (result) *result = encoded;
    else EXPECT_EQ(EncodeResult::kWritten, encoded);
    if (encoded == EncodeResult::kWritten) ++settings.frameCount;
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
    ASSERT_EQ(EncodeResult::kWritten, encoder.EncodeFrame(frame.data(), int32_t(frame.size()), 0, out));
    const std::vector<SwfTag> tags = Tags(out);
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
    EXPECT_EQ(EncodeResult::kFailed, encoder.EncodeFrame(frame.data(), int32_t(frame.size()) - 1, 0, refused));
    EXPECT_EQ(refused.GetDataSize(), 0);
  }
}

// Identical frames, changes of the fourth byte only, cached and colliding bitmaps: in the movie
// test, where the replay also checks the pixels.
TEST(SwfBoxEncoder, NewShapesRemoveOnlyWhatOneRectangleCovers) {
  Movie movie(40, 30);
  Picture picture(40, 30);
  movie.Encode(picture);

  // Every pixel changed: one rectangle covers the frame, and the first shape goes after the
  // placement of the new one.
  for (uint32_t& p : picture.pixels) p = 0x00FFEEDDu;
  std::vector<SwfTag> tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2,
                                               kTagRemoveObject2}));
  EXPECT_EQ(Le16(tags[0].body, 0), 3);
  EXPECT_EQ(Le16(tags[1].body, 0), 4);
  EXPECT_EQ(Le16(tags[2].body, 1), 2) << "depth";
  EXPECT_EQ(Le16(tags[3].body, 0), 1);

  // Two areas changed twice: the old shape lies inside the new shape's bounds but inside neither
  // of its rectangles, so it stays.
  for (int32_t x = 0; x < 40; ++x) picture.At(x, 0) = 0x00010203u + x, picture.At(x, 20) = 0x00112233u;
  tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineBitsLossless2, kTagDefineShape3,
                                               kTagPlaceObject2}));
  const DefineShape<3> shape = ReadShape(tags[2].body);
  EXPECT_EQ(FillBitmaps(shape), std::vector<uint16_t>({5, 6}));
  EXPECT_EQ(shape.Shapes.NumFillBits.value, 2u);
  EXPECT_EQ(shape.ShapeBounds.Ymax.value, 21 * 20);
  for (int32_t x = 0; x < 40; ++x) picture.At(x, 0) += 0x100, picture.At(x, 20) += 0x100;
  EXPECT_EQ(Codes(movie.Encode(picture)), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineBitsLossless2,
                                                                kTagDefineShape3, kTagPlaceObject2}));
}

// A 4 x 1 and a 2 x 2 rectangle of the same bytes share Adler-32, length and hash: only the size
// tells their bitmaps apart.
TEST(SwfBoxEncoder, ACachedBitmapMatchesOnlyARectangleOfItsSize) {
  Movie movie(40, 30);
  Picture picture(40, 30);
  movie.Encode(picture);
  const uint32_t values[] = {0x00A1B2C3u, 0x00D4E5F6u, 0x00102030u, 0x00405060u};
  for (int32_t i = 0; i < 4; ++i) picture.At(i, 0) = values[i];
  ASSERT_EQ(Codes(movie.Encode(picture))[0], kTagDefineBitsLossless2);
  for (int32_t i = 0; i < 4; ++i) picture.At(10 + i % 2, 10 + i / 2) = values[i];
  const std::vector<SwfTag> tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2}));
  EXPECT_EQ(Le16(tags[0].body, 3), 2);
  EXPECT_EQ(Inflated(tags[0].body), picture.Argb(10, 10, 2, 2));
}

TEST(SwfBoxEncoder, LimitsOfDepthsAndIdentifiers) {
  Picture a(16, 16), b(16, 16, 0x00FF0000u);
  {
    Movie movie(16, 16, false);
    movie.settings.nextDepth = 65534;
    ASSERT_EQ(Le16(movie.Encode(a).at(2).body, 1), 65534);
    EncodeResult result = EncodeResult::kWritten;
    const std::vector<SwfTag> failed = movie.Encode(b, &result);
    EXPECT_EQ(EncodeResult::kFailed, result);
    EXPECT_EQ(Codes(failed), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3}));
    EXPECT_EQ(movie.settings.nextCharacterId, 5) << "identifiers stay taken";
    // The failed frame did not become the reference: the same change is found again.
    movie.settings.nextDepth = kMovieControlDepth;
    const std::vector<SwfTag> retried = movie.Encode(b);
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
    const std::vector<SwfTag> tags = movie.Encode(picture);
    ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2}));
    const DefineShape<3> shape = ReadShape(tags[1].body);
    EXPECT_EQ(FillBitmaps(shape), std::vector<uint16_t>({3}));
    EXPECT_EQ(Le16(tags[0].body, 3), 1951);
    EXPECT_EQ(Le16(tags[0].body, 5), 2199);
  }
  {
    // Identifiers are 16 bits: a frame is written only when everything it defines fits up to
    // 65535. Otherwise it writes nothing, takes nothing and fills the movie. A cached bitmap, or
    // one repeated within the frame, takes no identifier of its own.
    Movie movie(16, 16);
    movie.settings.nextCharacterId = 65535;
    EncodeResult result = EncodeResult::kWritten;
    EXPECT_TRUE(movie.Encode(a, &result).empty());
    EXPECT_EQ(EncodeResult::kMovieFull, result) << "a bitmap and its shape need two";
    EXPECT_EQ(movie.settings.nextCharacterId, 65535);
    EXPECT_EQ(movie.settings.nextDepth, 1);

    movie.settings.nextCharacterId = 65531;
    const std::vector<int32_t> newBitmap = {kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2};
    ASSERT_EQ(Codes(movie.Encode(a)), newBitmap);
    Picture twice = a;
    for (const int32_t corner : {1, 10})
      for (int32_t y = corner; y < corner + 2; ++y)
        for (int32_t x = corner; x < corner + 2; ++x) twice.At(x, y) = 0x00FF0000u;
    std::vector<SwfTag> tags = movie.Encode(twice);
    ASSERT_EQ(Codes(tags), newBitmap);
    EXPECT_EQ(Le16(tags[0].body, 0), 65533);
    EXPECT_EQ(FillBitmaps(ReadShape(tags[1].body)), std::vector<uint16_t>({65533, 65533}));
    EXPECT_EQ(Le16(tags[1].body, 0), 65534);
    // The same red block once more: only the shape is new, and it takes the last identifier.
    Picture thrice = twice;
    for (int32_t y = 5; y < 7; ++y)
      for (int32_t x = 5; x < 7; ++x) thrice.At(x, y) = 0x00FF0000u;
    tags = movie.Encode(thrice);
    ASSERT_EQ(Codes(tags), std::vector<int32_t>({kTagDefineShape3, kTagPlaceObject2}));
    EXPECT_EQ(FillBitmaps(ReadShape(tags[0].body)), std::vector<uint16_t>({65533}));
    EXPECT_EQ(Le16(tags[0].body, 0), 65535);
    EXPECT_EQ(movie.settings.nextCharacterId, 65536);

    EXPECT_TRUE(movie.Encode(b, &result).empty());
    EXPECT_EQ(EncodeResult::kMovieFull, result);
    EXPECT_EQ(movie.settings.nextCharacterId, 65536);
    EXPECT_EQ(movie.settings.nextDepth, 4);
  }
}

// Text changing in small places leaves shape after shape on the display list, none covered by one
// rectangle; a player draws them all in every frame. The frame that would pass the bound is the
// whole picture, which takes every earlier shape off the list.
TEST(SwfBoxEncoder, BoundsTheRectanglesOnTheDisplayList) {
  constexpr int32_t kBound = 10;
  Movie movie(64, 48, true, kBound);
  Picture picture(64, 48);
  std::map<int32_t, size_t> display;  // depth: rectangles of its shape, as the tags say
  const auto onList = [&display] {
    size_t rects = 0;
    for (const auto& [depth, count] : display) rects += count;
    return rects;
  };
  int32_t wholeFrames = 0;
  for (int32_t frame = 0; frame < 24; ++frame) {
    SCOPED_TRACE(frame);
    // Two to four of six places far apart change, each to a colour of its own.
    const size_t changed = frame == 0 ? 1 : size_t(2 + frame % 3);
    for (size_t place = 0; frame > 0 && place < changed; ++place)
      picture.At(int32_t(5 + 11 * ((frame + place) % 6)), int32_t(7 * place)) = uint32_t(frame * 16 + place);
    const size_t before = onList();
    const std::vector<SwfTag> tags = movie.Encode(picture);
    // The shape and its placement come right before the removals, which come last.
    const size_t removals = size_t(std::count_if(tags.begin(), tags.end(),
                                                 [](const SwfTag& tag) { return tag.code == kTagRemoveObject2; }));
    ASSERT_GE(tags.size(), removals + 2);
    ASSERT_EQ(tags[tags.size() - removals - 1].code, kTagPlaceObject2);
    ASSERT_EQ(tags[tags.size() - removals - 2].code, kTagDefineShape3);
    const DefineShape<3> shape = ReadShape(tags[tags.size() - removals - 2].body);
    const size_t fills = shape.Shapes.FillStyles.Styles.size();
    if (frame > 0 && before + changed <= size_t(kBound)) {
      EXPECT_EQ(fills, changed);
      EXPECT_EQ(removals, 0u);
    } else {
      ++wholeFrames;
      // One bitmap of the whole picture, one fill, and every earlier depth removed.
      ASSERT_EQ(fills, 1u);
      ASSERT_EQ(tags[0].code, kTagDefineBitsLossless2);
      EXPECT_EQ(Inflated(tags[0].body), picture.Argb(0, 0, 64, 48));
      EXPECT_EQ(shape.ShapeBounds.Xmax.value, 64 * 20);
      EXPECT_EQ(shape.ShapeBounds.Ymax.value, 48 * 20);
      std::vector<int32_t> removed, expected;
      for (size_t i = tags.size() - removals; i < tags.size(); ++i) removed.push_back(Le16(tags[i].body, 0));
      for (const auto& [depth, count] : display) expected.push_back(depth);
      EXPECT_EQ(removed, expected);
    }
    for (size_t i = tags.size() - removals; i < tags.size(); ++i) display.erase(Le16(tags[i].body, 0));
    display[Le16(tags[tags.size() - removals - 1].body, 1)] = fills;
    EXPECT_LE(onList(), size_t(kBound));
  }
  EXPECT_GE(wholeFrames, 4) << "the first frame and at least three collapses";

  // The whole picture is what the identifier plan counts: a frame of 36 new places would need 37
  // identifiers, its whole picture needs two.
  movie.settings.nextCharacterId = kMaxCharacterId - 1;
  for (int32_t place = 0; place < 36; ++place) picture.At(5 + 11 * (place % 6), 7 * (place / 6)) ^= 0x00FF00FFu;
  const std::vector<SwfTag> tags = movie.Encode(picture);
  ASSERT_EQ(Codes(tags).at(0), kTagDefineBitsLossless2);
  EXPECT_EQ(Le16(tags[0].body, 3), 64);
  EXPECT_EQ(Le16(tags[1].body, 0), kMaxCharacterId);
}
