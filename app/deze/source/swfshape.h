#pragma once
// The records of a DefineShape3 tag body: styles, gradients and shape records. The template
// parameter is the shape version (3 for DefineShape3; 4 for the gradient types of DefineShape4).
// Writing refuses what its bit fields cannot hold instead of writing a corrupt shape.

#include <cstdint>
#include <vector>

#include "common/counted.h"
#include "media/swfrecord.h"

// FillStyleType values.
constexpr uint8_t kFillSolid = 0x00;
constexpr uint8_t kFillLinearGradient = 0x10;
constexpr uint8_t kFillRadialGradient = 0x12;
constexpr uint8_t kFillFocalGradient = 0x13;
constexpr uint8_t kFillRepeatingBitmap = 0x40;
constexpr uint8_t kFillClippedBitmap = 0x41;
constexpr uint8_t kFillRepeatingBitmapHard = 0x42;
constexpr uint8_t kFillClippedBitmapHard = 0x43;

template <int Version>
class GRADERECORD : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint8_t Ratio = 0;
  FRGBA Color;
};

template <int Version>
class GRADIENT : public FlashBlock {
 public:
  static constexpr size_t kMaxRecords = 15;

  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  UBX<2> SpreadMode;
  UBX<2> InterpolationMode;
  std::vector<GRADERECORD<Version>> GradientRecords;
};

class FOCALGRADIENT : public GRADIENT<4> {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int16_t FocalPoint = 0;  // signed 8.8 fixed point
};

// Every member exists in every style; the type selects those that move.
template <int Version>
class FILLSTYLE : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint8_t FillStyleType = kFillSolid;
  FRGBA Color;
  FMATRIX GradientMatrix;
  GRADIENT<Version> Gradient;
  FOCALGRADIENT FocalGradient;
  uint16_t BitmapId = 0;
  FMATRIX BitmapMatrix;
};

template <int Version>
class LINESTYLE : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint16_t Width = 0;  // twips
  FRGBA Color;
};

// A count byte (0xFF, then a 16-bit count, from 255 on) and the styles.
template <class Style>
class StyleArray : public FlashBlock {
 public:
  static constexpr size_t kMaxStyles = 0xFFFF;

  bool Exchange(BitStream& stream) override;

  std::vector<Style> Styles;

 protected:
  void DumpStyles(TextStream& stream, const wchar_t* itemFormat) const;
};

template <int Version>
class FILLSTYLEARRAY : public StyleArray<FILLSTYLE<Version>> {
 public:
  void Dump(TextStream& stream) const override { this->DumpStyles(stream, L"FillStyles[%d]:\n"); }
};

template <int Version>
class LINESTYLEARRAY : public StyleArray<LINESTYLE<Version>> {
 public:
  void Dump(TextStream& stream) const override { this->DumpStyles(stream, L"LineStyles[%d]:\n"); }
};

// Style changes are made with the index widths in force where they stand in the shape. A reader
// has already consumed the type bit and the five state flags when it makes the record.
template <int Version>
class STYLECHANGERECORD : public FlashBlock {
 public:
  STYLECHANGERECORD(int32_t fillBits, int32_t lineBits)
      : fillIndexBits(fillBits), lineIndexBits(lineBits), FillStyle0(fillBits, 0), FillStyle1(fillBits, 0),
        LineStyle(lineBits, 0) {}
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  int32_t fillIndexBits;
  int32_t lineIndexBits;
  UBX<1> StateNewStyles;
  UBX<1> StateLineStyle;
  UBX<1> StateFillStyle1;
  UBX<1> StateFillStyle0;
  UBX<1> StateMoveTo;
  SB MoveDeltaX;  // twips
  SB MoveDeltaY;
  UB FillStyle0;
  UB FillStyle1;
  UB LineStyle;
  FILLSTYLEARRAY<Version> FillStyles;
  LINESTYLEARRAY<Version> LineStyles;
  UBX<4> NumFillBits;
  UBX<4> NumLineBits;
};

// An edge's deltas take at most 17 signed bits (-65536 to 65535 twips). A horizontal edge
// (GeneralLineFlag 0, VertLineFlag 0) carries only DeltaX, a vertical one only DeltaY.
class STRAIGHTEDGERECORD : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  UBX<1> GeneralLineFlag;
  UBX<1> VertLineFlag;
  SB DeltaX;  // twips
  SB DeltaY;
};

class CURVEDEDGERECORD : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  SB ControlDeltaX;  // twips
  SB ControlDeltaY;
  SB AnchorDeltaX;
  SB AnchorDeltaY;
};

class ENDSHAPERECORD : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;
};

// Writing needs the records in order, ended by exactly one ENDSHAPERECORD, and each style change
// made with the index widths in force at its place.
template <int Version>
class SHAPEWITHSTYLE : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  FILLSTYLEARRAY<Version> FillStyles;
  LINESTYLEARRAY<Version> LineStyles;
  UBX<4> NumFillBits;
  UBX<4> NumLineBits;
  std::vector<CountedPtr<FlashBlock>> ShapeRecords;

 private:
  bool CanWrite() const;
  bool ReadRecords(BitStream& stream);
};

template <int Version>
class DefineShape : public FlashBlock {
 public:
  bool Exchange(BitStream& stream) override;
  void Dump(TextStream& stream) const override;

  uint16_t ShapeId = 0;
  FRECT ShapeBounds;  // twips
  SHAPEWITHSTYLE<Version> Shapes;
};
