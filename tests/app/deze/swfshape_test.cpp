#include "app/deze/source/swfshape.h"

#include <gtest/gtest.h>

#include <random>
#include <typeinfo>
#include <vector>

#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

namespace {

FILLSTYLE<3> Fill(uint8_t type, uint8_t red = 0, uint16_t bitmapId = 0) {
  FILLSTYLE<3> style;
  style.FillStyleType = type;
  style.Color = FRGBA(red, 2, 3, 255);
  style.BitmapId = bitmapId;
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

template <class Record>
Record ReadBack(const Bytes& bytes, bool* whole = nullptr) {
  BufferStream in(bytes.data(), bytes.size());
  Record record;
  const bool read = record.Exchange(in) && in.AtEnd();
  if (whole) {
    *whole = read;
  } else {
    EXPECT_TRUE(read);
  }
  return record;
}

// Every record kind: solid, bitmap, linear and focal fills, a line style, moves, straight and
// curved edges, and new styles half-way that widen the fill index from 2 to 3 bits.
DefineShape<3> FullShape() {
  DefineShape<3> shape;
  shape.ShapeId = 9;
  shape.ShapeBounds = FRECT(-200, 4000, -100, 3000);
  SHAPEWITHSTYLE<3>& body = shape.Shapes;
  body.FillStyles.Styles = {Fill(kFillSolid, 200), Fill(kFillClippedBitmap, 0, 3)};
  body.FillStyles.Styles[1].BitmapMatrix.TranslateX.value = -40;
  body.LineStyles.Styles.resize(1);
  body.LineStyles.Styles[0].Width = 40;
  body.NumFillBits = UBX<4>(2);
  body.NumLineBits = UBX<4>(1);

  auto first = MakeCounted<STYLECHANGERECORD<3>>(2, 1);
  first->StateMoveTo = first->StateFillStyle1 = first->StateLineStyle = UBX<1>(1);
  first->MoveDeltaX.value = -200;
  first->MoveDeltaY.value = 300;
  first->FillStyle1.value = 2;
  first->LineStyle.value = 1;
  auto restyle = MakeCounted<STYLECHANGERECORD<3>>(2, 1);
  restyle->StateNewStyles = restyle->StateFillStyle0 = UBX<1>(1);
  restyle->FillStyle0.value = 3;
  for (uint8_t i = 0; i < 4; ++i) restyle->FillStyles.Styles.push_back(Fill(kFillSolid, i));
  FILLSTYLE<3> linear = Fill(kFillLinearGradient), focal = Fill(kFillFocalGradient);
  linear.GradientMatrix.RotateSkew1.value = -0x4000;
  linear.Gradient.GradientRecords.resize(2);
  focal.FocalGradient.GradientRecords.resize(3);
  focal.FocalGradient.FocalPoint = 0x40;
  restyle->FillStyles.Styles.insert(restyle->FillStyles.Styles.end(), {linear, focal, Fill(kFillRepeatingBitmap)});
  restyle->NumFillBits = UBX<4>(3);
  auto after = MakeCounted<STYLECHANGERECORD<3>>(3, 0);
  after->StateFillStyle1 = after->StateMoveTo = UBX<1>(1);
  after->FillStyle1.value = 7;
  after->MoveDeltaX.value = 1000;
  body.ShapeRecords = {first,   Edge(400, 0), Edge(0, -300),        Curve(10, -20, -300, 40), Edge(-110, 260),
                       restyle, after,        Edge(-65536, 65535), MakeCounted<ENDSHAPERECORD>()};
  return shape;
}

}  // namespace

TEST(StyleArrays, CountsAlignmentAndLineStyles) {
  FILLSTYLEARRAY<3> empty;
  EXPECT_EQ(WriteBytes(empty), Bytes({0x00}));
  // Inside a style change the array starts on a byte boundary.
  MemOut out;
  uint32_t bits = 0x5;
  out.TransferBits(bits, 3);
  ASSERT_TRUE(empty.Exchange(out));
  EXPECT_EQ(Written(out), Bytes({0xA0, 0x00}));

  for (size_t count : {254u, 255u}) {
    FILLSTYLEARRAY<3> styles;
    for (size_t i = 0; i < count; ++i) styles.Styles.push_back(Fill(kFillSolid, static_cast<uint8_t>(i)));
    const Bytes bytes = WriteBytes(styles);
    const Bytes head = count < 255 ? Bytes({0xFE}) : Bytes({0xFF, 0xFF, 0x00});
    ASSERT_EQ(bytes.size(), head.size() + 5 * count);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + head.size()), head);
    EXPECT_EQ(ReadBack<FILLSTYLEARRAY<3>>(bytes).Styles.back().Color.red, static_cast<uint8_t>(count - 1));
  }
  FILLSTYLEARRAY<3> tooMany;
  tooMany.Styles.resize(65536);
  EXPECT_TRUE(RefusedCleanly(tooMany));

  LINESTYLEARRAY<3> lines;
  lines.Styles.resize(2);
  lines.Styles[0].Width = 20;
  lines.Styles[0].Color = FRGBA(1, 2, 3, 4);
  lines.Styles[1].Width = 0x1234;
  const Bytes bytes = WriteBytes(lines);
  EXPECT_EQ(bytes, Bytes({0x02, 20, 0, 1, 2, 3, 4, 0x34, 0x12, 0, 0, 0, 0}));
  EXPECT_EQ(ReadBack<LINESTYLEARRAY<3>>(bytes).Styles[1].Width, 0x1234);
}

TEST(FillStyles, TheTypeSelectsTheFields) {
  FILLSTYLE<3> clipped = Fill(kFillClippedBitmap, 9, 7);
  clipped.Gradient.GradientRecords.resize(3);
  EXPECT_EQ(WriteBytes(clipped), Bytes({0x41, 0x07, 0x00, 0x04, 0x00}));
  FILLSTYLE<3> solid = Fill(kFillSolid, 1), unknown = Fill(0x99);
  EXPECT_EQ(WriteBytes(solid), Bytes({0x00, 1, 2, 3, 255}));
  EXPECT_EQ(WriteBytes(unknown), Bytes({0x99}));

  // Spread 1, interpolation 0, two records.
  FILLSTYLE<3> linear = Fill(kFillLinearGradient);
  linear.Gradient.SpreadMode = UBX<2>(1);
  linear.Gradient.GradientRecords.resize(2);
  linear.Gradient.GradientRecords[1].Ratio = 255;
  linear.Gradient.GradientRecords[1].Color = FRGBA(5, 6, 7, 8);
  EXPECT_EQ(WriteBytes(linear), Bytes({0x10, 0x04, 0x00, 0x42, 0, 0, 0, 0, 0, 255, 5, 6, 7, 8}));
  // The focal point follows the records as a signed 8.8 number.
  FILLSTYLE<3> focal = Fill(kFillFocalGradient);
  focal.FocalGradient.InterpolationMode = UBX<2>(1);
  focal.FocalGradient.GradientRecords.resize(1);
  focal.FocalGradient.FocalPoint = -128;
  const Bytes focalBytes = WriteBytes(focal);
  EXPECT_EQ(focalBytes, Bytes({0x13, 0x04, 0x00, 0x11, 0, 0, 0, 0, 0, 0x80, 0xFF}));
  EXPECT_EQ(ReadBack<FILLSTYLE<3>>(focalBytes).FocalGradient.FocalPoint, -128);

  GRADIENT<3> gradient;
  gradient.GradientRecords.resize(15);
  EXPECT_EQ(WriteBytes(gradient).size(), 1u + 15 * 5);
  gradient.GradientRecords.resize(16);
  EXPECT_TRUE(RefusedCleanly(gradient));

  // Gradient lines stand at the level of the line that introduced them, the focal point deeper.
  focal.FocalGradient.GradientRecords[0].Color = FRGBA(255, 0, 0, 255);
  focal.GradientMatrix.TranslateX = SB(4, -5);
  EXPECT_EQ(DumpText(focal),
            L"  FillStyleType: 19\n"
            L"  GradientMatrix:\n"
            L"    ScaleX: SB18    65536 [010000000000000000]\n"
            L"    ScaleY: SB18    65536 [010000000000000000]\n"
            L"    RotateSkew0: SB2        0 [00]\n"
            L"    RotateSkew1: SB2        0 [00]\n"
            L"    TranslateX: SB4       -5 [1011]\n"
            L"    TranslateY: SB2        0 [00]\n"
            L"  \n"
            L"  FocalGradient:\n"
            L"  SpreadMode: UB2        0 [00]\n"
            L"  InterpolationMode: UB2        1 [01]\n"
            L"  GradientRecords[0]:\n"
            L"    Ratio: 0\n"
            L"    Color: RGBA(255, 0, 0, 255)\n"
            L"    FocalPoint: -128\n"
            L"  \n");
}

TEST(ShapeRecords, BitLayouts) {
  // 1 1 1010 0 0 011111010000: 20 bits, two whole bytes and four pending.
  MemOut out;
  ASSERT_TRUE(Edge(2000, 0)->Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 2);
  out.AlignToByte();
  EXPECT_EQ(Written(out), Bytes({0xE8, 0x7D, 0x00}));
  const struct {
    CountedPtr<FlashBlock> record;
    Bytes bytes;
  } cases[] = {
      {Edge(1, 0), {0xC0, 0x40}},                // NumBits 0, DeltaX in 2 bits
      {Edge(0, -2000), {0xE9, 0x83, 0x00}},      // 1 1 1010 0 1 100000110000
      {Edge(3, -3), {0xC6, 0xE8}},               // 1 1 0001 1 011 101
      {Curve(1, 2, -3, 0), {0x84, 0xAA, 0x00}},  // 1 0 0001 001 010 101 000
      {MakeCounted<ENDSHAPERECORD>(), {0x00}},
  };
  for (const auto& c : cases) EXPECT_EQ(WriteBytes(*c.record), c.bytes);

  STYLECHANGERECORD<3> move(2, 0), index(2, 0), none(0, 0), styles(1, 0);
  move.StateMoveTo = index.StateFillStyle1 = none.StateFillStyle0 = none.StateLineStyle = UBX<1>(1);
  index.FillStyle1.value = 3;
  styles.StateNewStyles = UBX<1>(1);
  styles.NumFillBits.value = 15;
  EXPECT_EQ(WriteBytes(move), Bytes({0x04, 0x40}));  // 0 00001 00010 00 00
  EXPECT_EQ(WriteBytes(index), Bytes({0x13}));       // 0 00100 11
  EXPECT_EQ(WriteBytes(none), Bytes({0x28}));        // 0 01010: indices of width 0 take no bits
  EXPECT_EQ(WriteBytes(styles), Bytes({0x40, 0x00, 0x00, 0xF0}));  // 0 10000, aligned arrays, 1111 0000
}

TEST(ShapeRecords, WritingRefusesWhatTheFieldsCannotHold) {
  // Deltas beyond 17 bits, and a delta that the flags would leave out.
  for (auto [dx, dy] : {std::pair{65536, 0}, std::pair{0, -65537}, std::pair{70000, 5}, std::pair{2000, 1}}) {
    auto edge = Edge(dx, dy);
    static_cast<STRAIGHTEDGERECORD&>(*edge).GeneralLineFlag = UBX<1>(dx == 70000);
    EXPECT_TRUE(RefusedCleanly(*edge)) << dx << "," << dy;
  }
  MemOut out;
  ASSERT_TRUE(Edge(65535, -65536)->Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 5);  // 2 + 4 + 1 + 2 * 17 bits
  EXPECT_TRUE(RefusedCleanly(*Curve(0, 0, 65536, 0)));

  STYLECHANGERECORD<3> distant(2, 0), index(2, 0), none(0, 0), styles(1, 0);
  distant.StateMoveTo = index.StateFillStyle1 = none.StateLineStyle = styles.StateNewStyles = UBX<1>(1);
  distant.MoveDeltaX.value = 1 << 30;
  index.FillStyle1.value = 4;
  none.LineStyle.value = 1;
  styles.NumFillBits.value = 16;
  for (STYLECHANGERECORD<3>* record : {&distant, &index, &none, &styles}) EXPECT_TRUE(RefusedCleanly(*record));
  distant.MoveDeltaX.value = (1 << 30) - 1;
  EXPECT_NE(WriteBytes(distant), Bytes({0xEE}));
}

TEST(Shapes, EveryRecordKindSurvivesARoundTrip) {
  DefineShape<3> shape = FullShape();
  const Bytes first = WriteBytes(shape);
  ASSERT_NE(first, Bytes({0xEE}));
  DefineShape<3> back = ReadBack<DefineShape<3>>(first);
  EXPECT_EQ(WriteBytes(back), first);
  ASSERT_EQ(back.Shapes.ShapeRecords.size(), shape.Shapes.ShapeRecords.size());
  for (size_t i = 0; i < shape.Shapes.ShapeRecords.size(); ++i) {
    EXPECT_EQ(typeid(*back.Shapes.ShapeRecords[i]), typeid(*shape.Shapes.ShapeRecords[i])) << i;
  }
  // The index widths changed after the new styles: 7 needs 3 bits.
  const auto& after = dynamic_cast<STYLECHANGERECORD<3>&>(*back.Shapes.ShapeRecords[6]);
  EXPECT_EQ(after.fillIndexBits, 3);
  EXPECT_EQ(after.FillStyle1.value, 7u);
  const auto& restyle = dynamic_cast<STYLECHANGERECORD<3>&>(*back.Shapes.ShapeRecords[5]);
  ASSERT_EQ(restyle.FillStyles.Styles.size(), 7u);
  EXPECT_EQ(restyle.FillStyles.Styles[4].GradientMatrix.RotateSkew1.value, -0x4000);
  const auto& last = dynamic_cast<STRAIGHTEDGERECORD&>(*back.Shapes.ShapeRecords[7]);
  EXPECT_EQ(last.DeltaX.value, -65536);
  EXPECT_EQ(last.DeltaY.value, 65535);

  // A shape whose first record is the end record; the padding byte ends it.
  SHAPEWITHSTYLE<3> empty = ReadBack<SHAPEWITHSTYLE<3>>({0x00, 0x00, 0x00, 0x00});
  ASSERT_EQ(empty.ShapeRecords.size(), 1u);
  EXPECT_NE(dynamic_cast<ENDSHAPERECORD*>(empty.ShapeRecords[0].Get()), nullptr);
}

TEST(Shapes, WritingRefusesARecordListThatWouldReadBackOtherwise) {
  auto refused = [](auto change) {
    DefineShape<3> shape = FullShape();
    change(shape.Shapes.ShapeRecords);
    return RefusedCleanly(shape.Shapes);
  };
  using Records = std::vector<CountedPtr<FlashBlock>>;
  EXPECT_TRUE(refused([](Records& r) { r.pop_back(); }));
  EXPECT_TRUE(refused([](Records& r) { r.insert(r.begin() + 1, MakeCounted<ENDSHAPERECORD>()); }));
  EXPECT_TRUE(refused([](Records& r) { r[2] = CountedPtr<FlashBlock>(); }));
  EXPECT_TRUE(refused([](Records& r) { r.clear(); }));
  EXPECT_TRUE(refused([](Records& r) { dynamic_cast<STYLECHANGERECORD<3>&>(*r[6]).fillIndexBits = 2; }));
}

TEST(Shapes, DamagedDataEndsCleanly) {
  DefineShape<3> shape = FullShape();
  const Bytes valid = WriteBytes(shape);
  std::mt19937 random(77);
  for (int i = 0; i < 3000; ++i) {
    Bytes bytes = valid;
    const bool truncated = i % 2 != 0;
    if (truncated) {
      bytes.resize(random() % bytes.size());
    } else {
      for (int flip = 0; flip < 3; ++flip) bytes[random() % bytes.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
    }
    bool whole = false;
    DefineShape<3> back = ReadBack<DefineShape<3>>(bytes, &whole);
    if (truncated) {
      EXPECT_FALSE(whole) << bytes.size();
    } else if (whole) {
      EXPECT_NE(dynamic_cast<ENDSHAPERECORD*>(back.Shapes.ShapeRecords.back().Get()), nullptr);
    }
  }
}

TEST(Shapes, Dump) {
  DefineShape<3> shape;
  shape.ShapeId = 2;
  shape.ShapeBounds = FRECT(0, 20, 0, 20);
  shape.Shapes.FillStyles.Styles.push_back(Fill(kFillSolid, 1));
  shape.Shapes.NumFillBits = UBX<4>(1);
  auto change = MakeCounted<STYLECHANGERECORD<3>>(1, 0);
  change->StateFillStyle1 = UBX<1>(1);
  change->FillStyle1.value = 1;
  shape.Shapes.ShapeRecords = {change, Edge(20, 0), Curve(1, 0, 0, -1), MakeCounted<ENDSHAPERECORD>()};
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
            L"        FillStyleType: 0\n"
            L"        Color: RGBA(1, 2, 3, 255)\n"
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
