// Writes a small movie with the SWF records for the outside readers of swf_movie_check.py, which
// knows what the movie holds: keep the two in step. It also reads "movie_pixels.argb", the pixels
// of the bitmap.

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

#include "app/deze/source/swfbitmap.h"
#include "app/deze/source/swfshape.h"
#include "common/fileutil.h"
#include "media/swfaction.h"
#include "tests/media/swftesting.h"

namespace {

constexpr int kTwips = 20;
constexpr uint16_t kBitmapWidth = 24;
constexpr uint16_t kBitmapHeight = 16;

struct Box {
  int x, y, width, height;
};
constexpr Box kBoxes[] = {{0, 0, 8, 16}, {8, 0, 16, 8}, {8, 8, 16, 8}};

bool WriteBody(BitStream& out, int32_t code, const uint8_t* body, int32_t length) {
  return WriteRecordHeader(out, code, length) && out.TransferExactly(const_cast<uint8_t*>(body), length);
}

bool WriteDoAction(BitStream& out) {
  ActionBuffer a;
  return a.SetStringVariable("svTitle", "Screen recording") && a.SetBooleanVariable("svBuffer", 1) &&
         a.SetBooleanVariable("svStopAtBeginning", 0) && a.SetIntegerVariable("svWidth", 320) &&
         a.SetIntegerVariable("svOffset", -5) && a.PushCString("this") && a.GetVariable() && a.PushInteger(1) &&
         a.PushCString("_parent") && a.GetVariable() && a.PushCString("svMovieStarts") && a.CallMethod() &&
         a.Pop() && a.End() && WriteBody(out, kTagDoAction, a.GetData(), a.GetSize());
}

// One clipped fill of bitmap 1 per box, each box a clockwise outline filled on its right.
bool WriteShape(BitStream& out) {
  DefineShape<3> shape;
  shape.ShapeId = 2;
  shape.ShapeBounds = FRECT(0, kBitmapWidth * kTwips, 0, kBitmapHeight * kTwips);
  SHAPEWITHSTYLE<3>& body = shape.Shapes;
  const int32_t fillBits = BitsForUnsigned(std::size(kBoxes) + 1);
  body.NumFillBits = UBX<4>(static_cast<uint32_t>(fillBits));
  for (size_t i = 0; i < std::size(kBoxes); ++i) {
    const Box& box = kBoxes[i];
    FILLSTYLE<3> fill;
    fill.FillStyleType = kFillClippedBitmap;
    fill.BitmapId = 1;
    fill.BitmapMatrix.ScaleX.value = fill.BitmapMatrix.ScaleY.value = kTwips << 16;
    body.FillStyles.Styles.push_back(fill);
    auto start = MakeCounted<STYLECHANGERECORD<3>>(fillBits, 0);
    start->StateMoveTo = start->StateFillStyle1 = UBX<1>(1);
    start->MoveDeltaX.value = box.x * kTwips;
    start->MoveDeltaY.value = box.y * kTwips;
    start->FillStyle1.value = static_cast<uint32_t>(i + 1);
    body.ShapeRecords.push_back(start);
    const int w = box.width * kTwips, h = box.height * kTwips;
    for (auto [dx, dy] : {std::pair{w, 0}, std::pair{0, h}, std::pair{-w, 0}, std::pair{0, -h}}) {
      auto edge = MakeCounted<STRAIGHTEDGERECORD>();
      edge->VertLineFlag = UBX<1>(dx == 0);
      edge->DeltaX.value = dx;
      edge->DeltaY.value = dy;
      body.ShapeRecords.push_back(edge);
    }
  }
  body.ShapeRecords.push_back(MakeCounted<ENDSHAPERECORD>());
  MemOut bytes;
  return shape.Exchange(bytes) && WriteBody(out, kTagDefineShape3, bytes.GetData(), bytes.GetDataSize());
}

// PlaceObject2 of shape 2 at depth 1 (PlaceFlagHasMatrix, PlaceFlagHasCharacter), moved left.
bool WritePlaceObject(BitStream& out) {
  MemOut body;
  uint8_t flags = 0x06;
  uint16_t depth = 1, character = 2;
  FMATRIX matrix;
  matrix.TranslateX.value = -400;
  matrix.TranslateY.value = 260;
  return ExchangeUI8(body, flags) && ExchangeUI16(body, depth) && ExchangeUI16(body, character) &&
         matrix.Exchange(body) && WriteBody(out, kTagPlaceObject2, body.GetData(), body.GetDataSize());
}

}  // namespace

TEST(SwfMovie, WritesAMovieForOutsideReaders) {
  std::vector<uint8_t> pixels;
  for (int y = 0; y < kBitmapHeight; ++y) {
    for (int x = 0; x < kBitmapWidth; ++x) {
      pixels.insert(pixels.end(), {255, static_cast<uint8_t>(x * 10), static_cast<uint8_t>(y * 15),
                                   static_cast<uint8_t>((x ^ y) * 7)});
    }
  }
  DefineBitsLossless2 bitmap;
  bitmap.CharacterID = 1;
  bitmap.BitmapWidth = kBitmapWidth;
  bitmap.BitmapHeight = kBitmapHeight;
  bitmap.ZlibBitmapData = Deflate(pixels);

  SwfFileHeader header;
  header.Version = 8;
  header.FrameSize = FRECT(0, 320 * kTwips, 0, 240 * kTwips);
  header.FrameRate = 0x0C80;
  header.FrameCount = 1;
  FileStream out(L"movie.swf", false);
  ASSERT_TRUE(out.IsOpen());
  ASSERT_TRUE(header.Exchange(out));
  ASSERT_TRUE(WriteDoAction(out));
  ASSERT_TRUE(WriteRecordHeader(out, kTagDefineBitsLossless2, bitmap.GetBodyLength()));
  ASSERT_TRUE(bitmap.Exchange(out));
  ASSERT_TRUE(WriteShape(out));
  ASSERT_TRUE(WritePlaceObject(out));
  ASSERT_TRUE(WriteRecordHeader(out, kTagShowFrame, 0));
  ASSERT_TRUE(WriteRecordHeader(out, kTagEnd, 0));
  header.FileLength = static_cast<uint32_t>(out.GetSize());
  ASSERT_TRUE(out.Seek(0));
  ASSERT_TRUE(header.Exchange(out));
  ASSERT_TRUE(WriteFileBytes(L"movie_pixels.argb", pixels.data(), static_cast<int64_t>(pixels.size())));
}
