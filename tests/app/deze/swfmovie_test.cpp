// Writes a small movie with the SWF records for the outside readers of swf_movie_check.py, then
// walks it again with the records themselves. The check reads "movie.swf", the fields the movie was
// meant to carry ("movie_expect.json") and the bitmap's pixels ("movie_pixels.argb").

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/deze/source/swfbitmap.h"
#include "app/deze/source/swfshape.h"
#include "common/fileutil.h"
#include "common/format.h"
#include "media/swfaction.h"
#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

namespace {

constexpr int kTwips = 20;
constexpr int kBitmapWidth = 24;
constexpr int kBitmapHeight = 16;
constexpr uint16_t kBitmapId = 1;
constexpr uint16_t kShapeId = 2;
constexpr uint16_t kDepth = 1;
constexpr int32_t kPlaceX = -400;
constexpr int32_t kPlaceY = 260;

struct Box {
  int x, y, width, height;
};
constexpr Box kBoxes[] = {{0, 0, 8, 16}, {8, 0, 16, 8}, {8, 8, 16, 8}};

struct Variable {
  const char* name;
  char type;  // 's' string, 'b' boolean, 'i' integer
  const char* text;
  int32_t number;
};
constexpr Variable kVariables[] = {
    {"svTitle", 's', "Screen recording", 0},
    {"svBuffer", 'b', nullptr, 1},
    {"svStopAtBeginning", 'b', nullptr, 0},
    {"svWidth", 'i', nullptr, 320},
    {"svOffset", 'i', nullptr, -5},
};

Bytes Pixels() {
  Bytes argb;
  for (int y = 0; y < kBitmapHeight; ++y) {
    for (int x = 0; x < kBitmapWidth; ++x) {
      argb.insert(argb.end(), {255, static_cast<uint8_t>(x * 10), static_cast<uint8_t>(y * 15),
                               static_cast<uint8_t>((x ^ y) * 7)});
    }
  }
  return argb;
}

// Writes the body into a MemOut first, so that the header can carry its length.
bool WriteTag(BitStream& out, int32_t code, FlashBlock& body) {
  MemOut bytes;
  if (!body.Exchange(bytes) || !bytes.AlignToByte()) return false;
  return WriteRecordHeader(out, code, bytes.GetDataSize()) &&
         out.TransferExactly(const_cast<uint8_t*>(bytes.GetData()), bytes.GetDataSize());
}

bool WriteDoAction(BitStream& out) {
  ActionBuffer actions;
  for (const Variable& v : kVariables) {
    const bool set = v.type == 's'   ? actions.SetStringVariable(v.name, v.text)
                     : v.type == 'b' ? actions.SetBooleanVariable(v.name, static_cast<uint8_t>(v.number))
                                     : actions.SetIntegerVariable(v.name, v.number);
    if (!set) return false;
  }
  if (!actions.PushCString("this") || !actions.GetVariable() || !actions.PushInteger(1) ||
      !actions.PushCString("_parent") || !actions.GetVariable() || !actions.PushCString("svMovieStarts") ||
      !actions.CallMethod() || !actions.Pop() || !actions.End()) {
    return false;
  }
  return WriteRecordHeader(out, kTagDoAction, actions.GetSize()) &&
         out.TransferExactly(const_cast<uint8_t*>(actions.GetData()), actions.GetSize());
}

DefineShape<3> BoxShape() {
  DefineShape<3> shape;
  shape.ShapeId = kShapeId;
  shape.ShapeBounds = FRECT(0, kBitmapWidth * kTwips, 0, kBitmapHeight * kTwips);
  SHAPEWITHSTYLE<3>& body = shape.Shapes;
  const int32_t fillBits = BitsForUnsigned(std::size(kBoxes) + 1);
  body.NumFillBits = UBX<4>(static_cast<uint32_t>(fillBits));
  for (size_t i = 0; i < std::size(kBoxes); ++i) {
    const Box& box = kBoxes[i];
    FILLSTYLE<3> fill;
    fill.FillStyleType = kFillClippedBitmap;
    fill.BitmapId = kBitmapId;
    fill.BitmapMatrix.ScaleX.value = fill.BitmapMatrix.ScaleY.value = kTwips << 16;
    body.FillStyles.Styles.push_back(fill);

    auto start = MakeCounted<STYLECHANGERECORD<3>>(fillBits, 0);
    start->StateMoveTo = UBX<1>(1);
    start->MoveDeltaX.value = box.x * kTwips;
    start->MoveDeltaY.value = box.y * kTwips;
    start->StateFillStyle1 = UBX<1>(1);
    start->FillStyle1.value = static_cast<uint32_t>(i + 1);
    body.ShapeRecords.push_back(start);
    const int32_t deltas[4][2] = {{box.width * kTwips, 0},
                                  {0, box.height * kTwips},
                                  {-box.width * kTwips, 0},
                                  {0, -box.height * kTwips}};
    for (const auto& delta : deltas) {
      auto edge = MakeCounted<STRAIGHTEDGERECORD>();
      edge->VertLineFlag = UBX<1>(delta[0] == 0 ? 1 : 0);
      edge->DeltaX.value = delta[0];
      edge->DeltaY.value = delta[1];
      body.ShapeRecords.push_back(edge);
    }
  }
  body.ShapeRecords.push_back(MakeCounted<ENDSHAPERECORD>());
  return shape;
}

// PlaceObject2 with PlaceFlagHasMatrix and PlaceFlagHasCharacter.
bool WritePlaceObject(BitStream& out) {
  MemOut body;
  uint8_t flags = 0x06;
  uint16_t depth = kDepth;
  uint16_t character = kShapeId;
  FMATRIX matrix;
  matrix.TranslateX.value = kPlaceX;
  matrix.TranslateY.value = kPlaceY;
  return ExchangeUI8(body, flags) && ExchangeUI16(body, depth) && ExchangeUI16(body, character) &&
         matrix.Exchange(body) && WriteRecordHeader(out, kTagPlaceObject2, body.GetDataSize()) &&
         out.TransferExactly(const_cast<uint8_t*>(body.GetData()), body.GetDataSize());
}

std::string Expectations(const Bytes& pixels) {
  std::string json = FormatNarrow(
      "{\n  \"version\": 8,\n  \"frame_size\": [0, %d, 0, %d],\n  \"frame_rate\": %d,\n  \"frame_count\": 1,\n",
      320 * kTwips, 240 * kTwips, 0x0C80);
  json += "  \"tags\": [\"DoAction\", \"DefineBitsLossless2\", \"DefineShape3\", \"PlaceObject2\", \"ShowFrame\"],\n";
  json += "  \"variables\": [";
  for (const Variable& v : kVariables) {
    json += v.type == 's' ? FormatNarrow("[\"%s\", \"String\", \"%s\"], ", v.name, v.text)
                          : FormatNarrow("[\"%s\", \"%s\", %d], ", v.name, v.type == 'b' ? "Boolean" : "Integer",
                                         v.number);
  }
  json.resize(json.size() - 2);
  json += "],\n";
  json += FormatNarrow("  \"bitmap\": {\"id\": %d, \"format\": 5, \"width\": %d, \"height\": %d, \"bytes\": %d},\n",
                       kBitmapId, kBitmapWidth, kBitmapHeight, static_cast<int>(pixels.size()));
  json += FormatNarrow("  \"shape\": {\"id\": %d, \"bounds\": [0, %d, 0, %d], \"boxes\": [", kShapeId,
                       kBitmapWidth * kTwips, kBitmapHeight * kTwips);
  for (const Box& box : kBoxes) {
    json += FormatNarrow("[%d, %d, %d, %d], ", box.x * kTwips, box.y * kTwips, box.width * kTwips,
                         box.height * kTwips);
  }
  json.resize(json.size() - 2);
  json += FormatNarrow("], \"bitmap_scale\": %d},\n", kTwips << 16);
  json += FormatNarrow("  \"place\": {\"depth\": %d, \"character\": %d, \"translate\": [%d, %d]}\n}\n", kDepth,
                       kShapeId, kPlaceX, kPlaceY);
  return json;
}

}  // namespace

TEST(SwfMovie, WritesAMovieThatOutsideReadersAccept) {
  const Bytes pixels = Pixels();
  DefineBitsLossless2 bitmap;
  bitmap.CharacterID = kBitmapId;
  bitmap.BitmapWidth = kBitmapWidth;
  bitmap.BitmapHeight = kBitmapHeight;
  bitmap.ZlibBitmapData = Deflate(pixels);
  ASSERT_GT(bitmap.ZlibBitmapData.size(), 4u);
  DefineShape<3> shape = BoxShape();

  SwfFileHeader header;
  header.Version = 8;
  header.FrameSize = FRECT(0, 320 * kTwips, 0, 240 * kTwips);
  header.FrameRate = 0x0C80;
  header.FrameCount = 1;
  {
    FileStream out(L"movie.swf", false);
    ASSERT_TRUE(out.IsOpen());
    ASSERT_TRUE(header.Exchange(out));
    ASSERT_TRUE(WriteDoAction(out));
    ASSERT_TRUE(WriteRecordHeader(out, kTagDefineBitsLossless2, bitmap.GetBodyLength()));
    ASSERT_TRUE(bitmap.Exchange(out));
    ASSERT_TRUE(WriteTag(out, kTagDefineShape3, shape));
    ASSERT_TRUE(WritePlaceObject(out));
    ASSERT_TRUE(WriteRecordHeader(out, kTagShowFrame, 0));
    ASSERT_TRUE(WriteRecordHeader(out, kTagEnd, 0));
    header.FileLength = static_cast<uint32_t>(out.GetSize());
    ASSERT_TRUE(out.Seek(0));
    ASSERT_TRUE(header.Exchange(out));
  }
  const std::string json = Expectations(pixels);
  ASSERT_TRUE(WriteFileBytes(L"movie_expect.json", json.data(), static_cast<int64_t>(json.size())));
  ASSERT_TRUE(WriteFileBytes(L"movie_pixels.argb", pixels.data(), static_cast<int64_t>(pixels.size())));

  // Our own reading of the file: every tag body reads back and writes again to the same bytes.
  Bytes file;
  ASSERT_TRUE(ReadFileBytes(L"movie.swf", file));
  BufferStream in(file.data(), file.size());
  SwfFileHeader back;
  ASSERT_TRUE(back.Exchange(in));
  EXPECT_EQ(back.FileLength, file.size());
  std::vector<int32_t> codes;
  for (;;) {
    RecordHeader tag;
    ASSERT_TRUE(tag.Exchange(in));
    codes.push_back(tag.code);
    if (tag.code == kTagEnd) break;
    const int64_t bodyStart = in.GetPosition();
    ASSERT_LE(bodyStart + tag.length, static_cast<int64_t>(file.size()));
    const Bytes body(file.begin() + bodyStart, file.begin() + bodyStart + tag.length);
    if (tag.code == kTagDefineShape3) {
      BufferStream bodyIn(body.data(), body.size());
      DefineShape<3> shapeBack;
      ASSERT_TRUE(shapeBack.Exchange(bodyIn));
      EXPECT_TRUE(bodyIn.AtEnd());
      EXPECT_EQ(WriteBytes(shapeBack), body);
    } else if (tag.code == kTagDefineBitsLossless2) {
      BufferStream bodyIn(body.data(), body.size());
      DefineBitsLossless2 bitmapBack;
      bitmapBack.length = tag.length;
      ASSERT_TRUE(bitmapBack.Exchange(bodyIn));
      EXPECT_EQ(bitmapBack.ZlibBitmapData, bitmap.ZlibBitmapData);
    }
    ASSERT_TRUE(in.Seek(bodyStart + tag.length));
  }
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(codes, std::vector<int32_t>({kTagDoAction, kTagDefineBitsLossless2, kTagDefineShape3, kTagPlaceObject2,
                                         kTagShowFrame, kTagEnd}));
}
