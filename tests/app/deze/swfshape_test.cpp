#include "app/deze/source/swfshape.h"

#include <gtest/gtest.h>

#include <random>
#include <typeinfo>
#include <vector>

#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

namespace {

FILLSTYLE<3> SolidFill(uint8_t red, uint8_t alpha) {
  FILLSTYLE<3> style;
  style.FillStyleType = kFillSolid;
  style.Color = FRGBA(red, 2, 3, alpha);
  return style;
}

FILLSTYLE<3> BitmapFill(uint8_t type, uint16_t bitmapId, int32_t x, int32_t y) {
  FILLSTYLE<3> style;
  style.FillStyleType = type;
  style.BitmapId = bitmapId;
  style.BitmapMatrix.ScaleX.value = style.BitmapMatrix.ScaleY.value = 0x140000;
  style.BitmapMatrix.TranslateX.value = x;
  style.BitmapMatrix.TranslateY.value = y;
  return style;
}

CountedPtr<FlashBlock> Edge(int32_t dx, int32_t dy) {
  auto edge = MakeCounted<STRAIGHTEDGERECORD>();
  edge->GeneralLineFlag = UBX<1>(dx != 0 && dy != 0);
  edge->VertLineFlag = UBX<1>(dx == 0);
  edge->DeltaX.value = dx;
  edge->DeltaY.value = dy;
  return edge;
}

CountedPtr<FlashBlock> Curve(int32_t cx, int32_t cy, int32_t ax, int32_t ay) {
  auto curve = MakeCounted<CURVEDEDGERECORD>();
  curve->ControlDeltaX.value = cx;
  curve->ControlDeltaY.value = cy;
  curve->AnchorDeltaX.value = ax;
  curve->AnchorDeltaY.value = ay;
  return curve;
}

// The record kinds of a shape, in order, to compare a shape read back with the one written.
std::vector<std::string> Kinds(const SHAPEWITHSTYLE<3>& shape) {
  std::vector<std::string> kinds;
  for (const CountedPtr<FlashBlock>& record : shape.ShapeRecords) kinds.push_back(typeid(*record).name());
  return kinds;
}

template <class Record>
Bytes WriteAfterBits(Record& record, uint32_t bits, int count) {
  MemOut out;
  if (!out.TransferBits(bits, count) || !record.Exchange(out) || !out.AlignToByte()) return {0xEE};
  return Written(out);
}

}  // namespace

TEST(StyleArrays, CountEncodingsAndAlignment) {
  FILLSTYLEARRAY<3> empty;
  EXPECT_EQ(WriteBytes(empty), Bytes({0x00}));
  LINESTYLEARRAY<3> noLines;
  EXPECT_EQ(WriteBytes(noLines), Bytes({0x00}));
  // A style array inside a style change starts on a byte boundary.
  EXPECT_EQ(WriteAfterBits(empty, 0x5, 3), Bytes({0xA0, 0x00}));

  for (size_t count : {254u, 255u, 300u}) {
    FILLSTYLEARRAY<3> styles;
    for (size_t i = 0; i < count; ++i) styles.Styles.push_back(SolidFill(static_cast<uint8_t>(i), 255));
    const Bytes bytes = WriteBytes(styles);
    const size_t countBytes = count < 255 ? 1 : 3;
    ASSERT_EQ(bytes.size(), countBytes + 5 * count) << count;
    if (count < 255) {
      EXPECT_EQ(bytes[0], count);
    } else {
      EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 3),
                Bytes({0xFF, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)}));
    }

    BufferStream in(bytes.data(), bytes.size());
    FILLSTYLEARRAY<3> back;
    ASSERT_TRUE(back.Exchange(in));
    EXPECT_TRUE(in.AtEnd());
    ASSERT_EQ(back.Styles.size(), count);
    EXPECT_EQ(back.Styles[count - 1].Color.red, static_cast<uint8_t>(count - 1));
  }

  FILLSTYLEARRAY<3> tooMany;
  tooMany.Styles.resize(65536);
  EXPECT_TRUE(RefusedCleanly(tooMany));

  // A count that the data does not back fails at the end of the data.
  const Bytes promise = {0xFF, 0xFF, 0xFF, 0x00, 1, 2, 3, 4};
  BufferStream in(promise.data(), promise.size());
  FILLSTYLEARRAY<3> back;
  EXPECT_FALSE(back.Exchange(in));
  EXPECT_LE(back.Styles.size(), 2u);
}

TEST(StyleArrays, LineStylesAreWidthAndColour) {
  LINESTYLEARRAY<3> lines;
  lines.Styles.resize(2);
  lines.Styles[0].Width = 20;
  lines.Styles[0].Color = FRGBA(1, 2, 3, 4);
  lines.Styles[1].Width = 0x1234;
  const Bytes bytes = WriteBytes(lines);
  EXPECT_EQ(bytes, Bytes({0x02, 20, 0, 1, 2, 3, 4, 0x34, 0x12, 0, 0, 0, 0}));
  BufferStream in(bytes.data(), bytes.size());
  LINESTYLEARRAY<3> back;
  ASSERT_TRUE(back.Exchange(in));
  ASSERT_EQ(back.Styles.size(), 2u);
  EXPECT_EQ(back.Styles[1].Width, 0x1234);
  EXPECT_EQ(back.Styles[0].Color.alpha, 4);

  EXPECT_EQ(DumpText(back),
            L"  LineStyles[0]:\n"
            L"    Width: 20\n"
            L"    Color: RGBA(1, 2, 3, 4)\n"
            L"  LineStyles[1]:\n"
            L"    Width: 4660\n"
            L"    Color: RGBA(0, 0, 0, 0)\n");
}

TEST(FillStyles, TheTypeSelectsTheFields) {
  FILLSTYLE<3> clipped;
  clipped.FillStyleType = kFillClippedBitmap;
  clipped.BitmapId = 7;
  clipped.Color = FRGBA(9, 9, 9, 9);
  clipped.Gradient.GradientRecords.resize(3);
  EXPECT_EQ(WriteBytes(clipped), Bytes({0x41, 0x07, 0x00, 0x04, 0x00}));

  FILLSTYLE<3> solid = SolidFill(1, 4);
  EXPECT_EQ(WriteBytes(solid), Bytes({0x00, 1, 2, 3, 4}));

  FILLSTYLE<3> unknown;
  unknown.FillStyleType = 0x99;
  EXPECT_EQ(WriteBytes(unknown), Bytes({0x99}));

  // Spread 1, interpolation 0, two records; the focal point follows as a signed 8.8 number.
  FILLSTYLE<3> linear;
  linear.FillStyleType = kFillLinearGradient;
  linear.Gradient.SpreadMode = UBX<2>(1);
  linear.Gradient.GradientRecords.resize(2);
  linear.Gradient.GradientRecords[1].Ratio = 255;
  linear.Gradient.GradientRecords[1].Color = FRGBA(5, 6, 7, 8);
  EXPECT_EQ(WriteBytes(linear), Bytes({0x10, 0x04, 0x00, 0x42, 0, 0, 0, 0, 0, 255, 5, 6, 7, 8}));

  FILLSTYLE<3> focal;
  focal.FillStyleType = kFillFocalGradient;
  focal.FocalGradient.InterpolationMode = UBX<2>(1);
  focal.FocalGradient.GradientRecords.resize(1);
  focal.FocalGradient.FocalPoint = -128;
  EXPECT_EQ(WriteBytes(focal), Bytes({0x13, 0x04, 0x00, 0x11, 0, 0, 0, 0, 0, 0x80, 0xFF}));

  const Bytes focalBytes = WriteBytes(focal);
  BufferStream in(focalBytes.data(), focalBytes.size());
  FILLSTYLE<3> back;
  ASSERT_TRUE(back.Exchange(in));
  EXPECT_EQ(back.FocalGradient.FocalPoint, -128);
  EXPECT_EQ(back.FocalGradient.InterpolationMode.value, 1u);
  EXPECT_EQ(back.FocalGradient.GradientRecords.size(), 1u);
}

TEST(FillStyles, GradientsHoldFifteenRecords) {
  GRADIENT<3> gradient;
  gradient.GradientRecords.resize(15);
  MemOut out;
  EXPECT_TRUE(gradient.Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 1 + 15 * 5);

  gradient.GradientRecords.resize(16);
  EXPECT_TRUE(RefusedCleanly(gradient));
}

TEST(FillStyles, FocalGradientDump) {
  FILLSTYLE<3> focal;
  focal.FillStyleType = kFillFocalGradient;
  focal.FocalGradient.SpreadMode = UBX<2>(2);
  focal.FocalGradient.GradientRecords.resize(1);
  focal.FocalGradient.GradientRecords[0].Ratio = 128;
  focal.FocalGradient.GradientRecords[0].Color = FRGBA(255, 0, 0, 255);
  focal.FocalGradient.FocalPoint = -64;
  EXPECT_EQ(DumpText(focal),
            L"  FillStyleType: 19\n"
            L"  GradientMatrix:\n"
            L"    ScaleX: SB18    65536 [010000000000000000]\n"
            L"    ScaleY: SB18    65536 [010000000000000000]\n"
            L"    RotateSkew0: SB2        0 [00]\n"
            L"    RotateSkew1: SB2        0 [00]\n"
            L"    TranslateX: SB2        0 [00]\n"
            L"    TranslateY: SB2        0 [00]\n"
            L"  \n"
            L"  FocalGradient:\n"
            L"  SpreadMode: UB2        2 [10]\n"
            L"  InterpolationMode: UB2        0 [00]\n"
            L"  GradientRecords[0]:\n"
            L"    Ratio: 128\n"
            L"    Color: RGBA(255, 0, 0, 255)\n"
            L"    FocalPoint: -64\n"
            L"  \n");
}

TEST(ShapeRecords, EdgeBitLayouts) {
  // 1 1 1010 0 0 011111010000: 20 bits, two whole bytes and four pending.
  auto horizontal = Edge(2000, 0);
  MemOut out;
  ASSERT_TRUE(horizontal->Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 2);
  out.AlignToByte();
  EXPECT_EQ(Written(out), Bytes({0xE8, 0x7D, 0x00}));

  auto shortest = Edge(1, 0);
  EXPECT_EQ(WriteBytes(*shortest), Bytes({0xC0, 0x40}));

  // Vertical, DeltaY -2000: 1 1 1010 0 1 100000110000.
  auto vertical = Edge(0, -2000);
  EXPECT_EQ(WriteBytes(*vertical), Bytes({0xE9, 0x83, 0x00}));

  // General, both deltas in 3 bits: 1 1 0001 1 011 101.
  auto general = Edge(3, -3);
  EXPECT_EQ(WriteBytes(*general), Bytes({0xC6, 0xE8}));

  // Curve: control (1, 2), anchor (-3, 0) in 3 bits each: 1 0 0001 001 010 101 000.
  auto curve = Curve(1, 2, -3, 0);
  EXPECT_EQ(WriteBytes(*curve), Bytes({0x84, 0xAA, 0x00}));

  ENDSHAPERECORD end;
  EXPECT_EQ(WriteBytes(end), Bytes({0x00}));
  EXPECT_EQ(WriteAfterBits(end, 0x3, 2), Bytes({0xC0}));
}

TEST(ShapeRecords, EdgesRefuseWhatTheirFieldsCannotHold) {
  for (auto [dx, dy] : {std::pair{65536, 0}, std::pair{0, -65537}, std::pair{70000, 5}, std::pair{2000, 1},
                        std::pair{0, 0}}) {
    auto edge = MakeCounted<STRAIGHTEDGERECORD>();
    edge->VertLineFlag = UBX<1>(dx == 0);
    edge->GeneralLineFlag = UBX<1>(dx == 70000);
    edge->DeltaX.value = dx;
    edge->DeltaY.value = dy;
    // The zero edge is the one case that fits.
    EXPECT_EQ(RefusedCleanly(*edge), dx != 0 || dy != 0) << dx << "," << dy;
  }
  auto widest = Edge(65535, -65536);
  MemOut out;
  ASSERT_TRUE(widest->Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 5);  // 2 + 4 + 1 + 2 * 17 bits
  auto curve = Curve(0, 0, 65536, 0);
  EXPECT_TRUE(RefusedCleanly(*curve));
}

TEST(ShapeRecords, StyleChangeFields) {
  STYLECHANGERECORD<3> move(2, 0);
  move.StateMoveTo = UBX<1>(1);
  EXPECT_EQ(WriteBytes(move), Bytes({0x04, 0x40}));

  STYLECHANGERECORD<3> distant(2, 0);
  distant.StateMoveTo = UBX<1>(1);
  distant.MoveDeltaX.value = 1 << 30;
  EXPECT_TRUE(RefusedCleanly(distant));
  distant.MoveDeltaX.value = (1 << 30) - 1;
  MemOut out;
  EXPECT_TRUE(distant.Exchange(out));

  STYLECHANGERECORD<3> index(2, 0);
  index.StateFillStyle1 = UBX<1>(1);
  index.FillStyle1.value = 4;
  EXPECT_TRUE(RefusedCleanly(index));
  index.FillStyle1.value = 3;
  // 0 00100 11.
  EXPECT_EQ(WriteBytes(index), Bytes({0x13}));

  // A width of 0 carries only the index 0, in no bits.
  STYLECHANGERECORD<3> none(0, 0);
  none.StateFillStyle0 = UBX<1>(1);
  none.StateLineStyle = UBX<1>(1);
  // 0 01010: the two flags and nothing else.
  EXPECT_EQ(WriteBytes(none), Bytes({0x28}));
  none.LineStyle.value = 1;
  EXPECT_TRUE(RefusedCleanly(none));

  STYLECHANGERECORD<3> styles(1, 0);
  styles.StateNewStyles = UBX<1>(1);
  styles.NumFillBits.value = 16;
  EXPECT_TRUE(RefusedCleanly(styles));
  styles.NumFillBits.value = 15;
  // 0 10000, then the arrays aligned, then 1111 0000.
  EXPECT_EQ(WriteBytes(styles), Bytes({0x40, 0x00, 0x00, 0xF0}));
}

namespace {

// A shape with every record kind: solid, bitmap, linear and focal fills, a line style, moves,
// straight and curved edges, and new styles half-way that widen the fill index to 3 bits.
DefineShape<3> FullShape() {
  DefineShape<3> shape;
  shape.ShapeId = 9;
  shape.ShapeBounds = FRECT(-200, 4000, -100, 3000);
  SHAPEWITHSTYLE<3>& body = shape.Shapes;
  body.FillStyles.Styles.push_back(SolidFill(200, 128));
  body.FillStyles.Styles.push_back(BitmapFill(kFillClippedBitmap, 3, -40, 60));
  body.LineStyles.Styles.resize(1);
  body.LineStyles.Styles[0].Width = 40;
  body.NumFillBits = UBX<4>(2);
  body.NumLineBits = UBX<4>(1);

  auto first = MakeCounted<STYLECHANGERECORD<3>>(2, 1);
  first->StateMoveTo = UBX<1>(1);
  first->MoveDeltaX.value = -200;
  first->MoveDeltaY.value = 300;
  first->StateFillStyle1 = UBX<1>(1);
  first->FillStyle1.value = 2;
  first->StateLineStyle = UBX<1>(1);
  first->LineStyle.value = 1;
  body.ShapeRecords.push_back(first);
  body.ShapeRecords.push_back(Edge(400, 0));
  body.ShapeRecords.push_back(Edge(0, -300));
  body.ShapeRecords.push_back(Curve(10, -20, -300, 40));
  body.ShapeRecords.push_back(Edge(-110, 260));

  auto restyle = MakeCounted<STYLECHANGERECORD<3>>(2, 1);
  restyle->StateNewStyles = UBX<1>(1);
  restyle->StateFillStyle0 = UBX<1>(1);
  restyle->FillStyle0.value = 3;
  for (int i = 0; i < 4; ++i) restyle->FillStyles.Styles.push_back(SolidFill(static_cast<uint8_t>(i), 255));
  FILLSTYLE<3> linear;
  linear.FillStyleType = kFillLinearGradient;
  linear.GradientMatrix.ScaleX.value = 0x8000;
  linear.GradientMatrix.RotateSkew1.value = -0x4000;
  linear.Gradient.GradientRecords.resize(2);
  linear.Gradient.GradientRecords[1].Ratio = 255;
  restyle->FillStyles.Styles.push_back(linear);
  FILLSTYLE<3> focal;
  focal.FillStyleType = kFillFocalGradient;
  focal.FocalGradient.GradientRecords.resize(3);
  focal.FocalGradient.FocalPoint = 0x40;
  restyle->FillStyles.Styles.push_back(focal);
  restyle->FillStyles.Styles.push_back(BitmapFill(kFillRepeatingBitmap, 4, 0, 0));
  restyle->NumFillBits = UBX<4>(3);
  restyle->NumLineBits = UBX<4>(0);
  body.ShapeRecords.push_back(restyle);

  auto after = MakeCounted<STYLECHANGERECORD<3>>(3, 0);
  after->StateFillStyle1 = UBX<1>(1);
  after->FillStyle1.value = 7;
  after->StateMoveTo = UBX<1>(1);
  after->MoveDeltaX.value = 1000;
  body.ShapeRecords.push_back(after);
  body.ShapeRecords.push_back(Edge(-65536, 65535));
  body.ShapeRecords.push_back(MakeCounted<ENDSHAPERECORD>());
  return shape;
}

}  // namespace

TEST(Shapes, EveryRecordKindSurvivesARoundTrip) {
  DefineShape<3> shape = FullShape();
  const Bytes first = WriteBytes(shape);
  ASSERT_NE(first, Bytes({0xEE}));

  BufferStream in(first.data(), first.size());
  DefineShape<3> back;
  ASSERT_TRUE(back.Exchange(in));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(Kinds(back.Shapes), Kinds(shape.Shapes));
  EXPECT_EQ(WriteBytes(back), first);

  // The index widths changed after the new styles: 7 needs the 3 bits.
  const auto* after = dynamic_cast<STYLECHANGERECORD<3>*>(back.Shapes.ShapeRecords[6].Get());
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->fillIndexBits, 3);
  EXPECT_EQ(after->FillStyle1.value, 7u);
  EXPECT_EQ(after->MoveDeltaX.value, 1000);
  const auto* restyle = dynamic_cast<STYLECHANGERECORD<3>*>(back.Shapes.ShapeRecords[5].Get());
  ASSERT_NE(restyle, nullptr);
  EXPECT_EQ(restyle->FillStyle0.value, 3u);
  ASSERT_EQ(restyle->FillStyles.Styles.size(), 7u);
  EXPECT_EQ(restyle->FillStyles.Styles[4].GradientMatrix.RotateSkew1.value, -0x4000);
  EXPECT_EQ(restyle->FillStyles.Styles[5].FocalGradient.FocalPoint, 0x40);
  const auto* curve = dynamic_cast<CURVEDEDGERECORD*>(back.Shapes.ShapeRecords[3].Get());
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->AnchorDeltaX.value, -300);
  const auto* last = dynamic_cast<STRAIGHTEDGERECORD*>(back.Shapes.ShapeRecords[7].Get());
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->DeltaX.value, -65536);
  EXPECT_EQ(last->DeltaY.value, 65535);
  EXPECT_EQ(back.ShapeBounds.Xmin.value, -200);
  EXPECT_EQ(back.Shapes.FillStyles.Styles[1].BitmapMatrix.TranslateX.value, -40);
}

TEST(Shapes, ReadingAnEmptyShape) {
  const Bytes bytes = {0x00, 0x00, 0x00, 0x00, 0xAB};
  BufferStream in(bytes.data(), bytes.size());
  SHAPEWITHSTYLE<3> shape;
  shape.ShapeRecords.push_back(Edge(1, 0));
  ASSERT_TRUE(shape.Exchange(in));
  ASSERT_EQ(shape.ShapeRecords.size(), 1u);
  EXPECT_NE(dynamic_cast<ENDSHAPERECORD*>(shape.ShapeRecords[0].Get()), nullptr);
  EXPECT_EQ(in.GetPosition(), 4);
}

TEST(Shapes, WritingRefusesAShapeThatWouldReadBackOtherwise) {
  auto check = [](const char* what, auto change) {
    DefineShape<3> shape = FullShape();
    change(shape.Shapes);
    EXPECT_TRUE(RefusedCleanly(shape.Shapes)) << what;
  };
  check("no end", [](SHAPEWITHSTYLE<3>& s) { s.ShapeRecords.pop_back(); });
  check("end inside", [](SHAPEWITHSTYLE<3>& s) {
    s.ShapeRecords.insert(s.ShapeRecords.begin() + 1, MakeCounted<ENDSHAPERECORD>());
  });
  check("empty slot", [](SHAPEWITHSTYLE<3>& s) { s.ShapeRecords[2] = CountedPtr<FlashBlock>(); });
  check("no records", [](SHAPEWITHSTYLE<3>& s) { s.ShapeRecords.clear(); });
  check("stale widths", [](SHAPEWITHSTYLE<3>& s) {
    dynamic_cast<STYLECHANGERECORD<3>&>(*s.ShapeRecords[6]).fillIndexBits = 2;
  });
  check("wide count", [](SHAPEWITHSTYLE<3>& s) { s.NumLineBits.value = 16; });
}

TEST(Shapes, ReadingDamagedDataEndsCleanly) {
  std::mt19937 random(77);
  const Bytes valid = [] {
    DefineShape<3> shape = FullShape();
    return WriteBytes(shape);
  }();
  for (int i = 0; i < 3000; ++i) {
    Bytes bytes = valid;
    const bool truncated = i % 2 != 0;
    if (truncated) {
      bytes.resize(random() % bytes.size());
    } else {
      for (int flips = 0; flips < 3; ++flips) {
        bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
      }
    }
    BufferStream in(bytes.data(), bytes.size());
    DefineShape<3> shape;
    const bool whole = shape.Exchange(in);
    if (truncated) {
      EXPECT_FALSE(whole) << bytes.size();
    } else if (whole) {
      EXPECT_NE(dynamic_cast<ENDSHAPERECORD*>(shape.Shapes.ShapeRecords.back().Get()), nullptr);
    }
  }
}

TEST(Shapes, Dump) {
  DefineShape<3> shape;
  shape.ShapeId = 2;
  shape.ShapeBounds = FRECT(0, 20, 0, 20);
  FILLSTYLE<3> fill;
  fill.FillStyleType = kFillClippedBitmap;
  fill.BitmapId = 1;
  shape.Shapes.FillStyles.Styles.push_back(fill);
  shape.Shapes.NumFillBits = UBX<4>(1);
  auto change = MakeCounted<STYLECHANGERECORD<3>>(1, 0);
  change->StateFillStyle1 = UBX<1>(1);
  change->FillStyle1.value = 1;
  shape.Shapes.ShapeRecords.push_back(change);
  shape.Shapes.ShapeRecords.push_back(Edge(20, 0));
  shape.Shapes.ShapeRecords.push_back(Curve(1, 0, 0, -1));
  shape.Shapes.ShapeRecords.push_back(MakeCounted<ENDSHAPERECORD>());
  // Writing works out the field widths that the dump shows.
  ASSERT_NE(WriteBytes(shape), Bytes({0xEE}));
  EXPECT_EQ(DumpText(shape),
            L"  ShapeId: 2\n"
            L"  ShapeBounds:\n"
            L"    Xmin: SB6        0 [000000]     0.00\n"
            L"    Xmax: SB6       20 [010100]     1.00\n"
            L"    Ymin: SB6        0 [000000]     0.00\n"
            L"    Ymax: SB6       20 [010100]     1.00\n"
            L"  \n"
            L"  Shapes:\n"
            L"    FillStyles:\n"
            L"      FillStyles[0]:\n"
            L"        FillStyleType: 65\n"
            L"        BitmapId: 1\n"
            L"        BitmapMatrix:\n"
            L"          ScaleX: SB18    65536 [010000000000000000]\n"
            L"          ScaleY: SB18    65536 [010000000000000000]\n"
            L"          RotateSkew0: SB2        0 [00]\n"
            L"          RotateSkew1: SB2        0 [00]\n"
            L"          TranslateX: SB2        0 [00]\n"
            L"          TranslateY: SB2        0 [00]\n"
            L"        \n"
            L"    \n"
            L"    LineStyles:\n"
            L"    \n"
            L"    NumFillBits: UB4        1 [0001]\n"
            L"    NumLineBits: UB4        0 [0000]\n"
            L"    ShapeRecords[0]:\n"
            L"      StateNewStyles: UB1        0 [0]\n"
            L"      StateLineStyle: UB1        0 [0]\n"
            L"      StateFillStyle1: UB1        1 [1]\n"
            L"      StateFillStyle0: UB1        0 [0]\n"
            L"      StateMoveTo: UB1        0 [0]\n"
            L"      FillStyle1: UB1        1 [1]\n"
            L"    ShapeRecords[1]:\n"
            L"      GeneralLineFlag: UB1        0 [0]\n"
            L"      VertLineFlag: UB1        0 [0]\n"
            L"      DeltaX: SB6       20 [010100]\n"
            L"    ShapeRecords[2]:\n"
            L"      ControlDeltaX: SB2        1 [01]\n"
            L"      ControlDeltaY: SB2        0 [00]\n"
            L"      AnchorDeltaX: SB2        0 [00]\n"
            L"      AnchorDeltaY: SB2       -1 [11]\n"
            L"    ShapeRecords[3]:\n"
            L"      ENDSHAPERECORD\n"
            L"  \n");
}
