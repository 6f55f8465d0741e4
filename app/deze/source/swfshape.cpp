#include "app/deze/source/swfshape.h"

#include <algorithm>

namespace {

// NumBits of an edge and the index widths are 4-bit fields; MoveBits is a 5-bit one.
constexpr int kMaxEdgeBits = 15 + 2;
constexpr int kMaxMoveBits = 31;
constexpr uint32_t kMaxIndexBits = 15;

bool IsSet(const UB& flag) { return (flag.value & 1) != 0; }

// A style index of width 0 is the index 0 and takes no bits (a shape without styles of that kind).
bool ExchangeIndex(BitStream& stream, UB& index, int32_t width) {
  if (width == 0) {
    if (stream.IsReading()) index.value = 0;
    return index.value == 0;
  }
  index.bitCount = width;
  return index.Exchange(stream);
}

bool FitsIndex(const UB& index, int32_t width) {
  if (width < 0 || width > static_cast<int32_t>(kMaxIndexBits)) return false;
  return width == 0 ? index.value == 0 : index.value <= LowBitMask(width);
}

bool ExchangeEdgeBits(BitStream& stream, int& numBits) {
  UBX<4> field(static_cast<uint32_t>(numBits));
  if (!field.Exchange(stream)) return false;
  numBits = static_cast<int>(field.value);
  return true;
}

bool WriteTypeBits(BitStream& stream, uint32_t typeFlag, uint32_t secondFlag) {
  UBX<1> type(typeFlag);
  UBX<1> second(secondFlag);
  return type.Exchange(stream) && second.Exchange(stream);
}

}  // namespace

template <int Version>
bool GRADERECORD<Version>::Exchange(BitStream& stream) {
  return ExchangeUI8(stream, Ratio) && Color.Exchange(stream);
}

template <int Version>
void GRADERECORD<Version>::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"Ratio: ", Ratio);
  DumpNamedBlock(stream, L"Color: ", Color);
}

template <int Version>
bool GRADIENT<Version>::Exchange(BitStream& stream) {
  if (!stream.IsReading() && GradientRecords.size() > kMaxRecords) return false;
  UBX<4> count(static_cast<uint32_t>(GradientRecords.size()));
  if (!stream.AlignToByte() || !SpreadMode.Exchange(stream) || !InterpolationMode.Exchange(stream) ||
      !count.Exchange(stream)) {
    return false;
  }
  if (stream.IsReading()) GradientRecords.assign(count.value, GRADERECORD<Version>());
  for (GRADERECORD<Version>& record : GradientRecords) {
    if (!record.Exchange(stream)) return false;
  }
  return true;
}

template <int Version>
void GRADIENT<Version>::Dump(TextStream& stream) const {
  DumpNamedBlock(stream, L"SpreadMode: ", SpreadMode);
  DumpNamedBlock(stream, L"InterpolationMode: ", InterpolationMode);
  for (size_t i = 0; i < GradientRecords.size(); ++i) {
    stream.Printf(L"GradientRecords[%d]:\n", static_cast<int>(i));
    GradientRecords[i].Dump(stream);
  }
}

bool FOCALGRADIENT::Exchange(BitStream& stream) {
  uint16_t focalPoint = static_cast<uint16_t>(FocalPoint);
  if (!GRADIENT<4>::Exchange(stream) || !ExchangeUI16(stream, focalPoint)) return false;
  FocalPoint = static_cast<int16_t>(focalPoint);
  return true;
}

void FOCALGRADIENT::Dump(TextStream& stream) const {
  GRADIENT<4>::Dump(stream);
  IndentGuard indent(stream);
  stream.PrintLabelled(L"FocalPoint: ", FocalPoint);
}

template <int Version>
bool FILLSTYLE<Version>::Exchange(BitStream& stream) {
  if (!ExchangeUI8(stream, FillStyleType)) return false;
  switch (FillStyleType) {
    case kFillSolid:
      return Color.Exchange(stream);
    case kFillLinearGradient:
    case kFillRadialGradient:
      return GradientMatrix.Exchange(stream) && Gradient.Exchange(stream);
    case kFillFocalGradient:
      return GradientMatrix.Exchange(stream) && FocalGradient.Exchange(stream);
    case kFillRepeatingBitmap:
    case kFillClippedBitmap:
    case kFillRepeatingBitmapHard:
    case kFillClippedBitmapHard:
      return ExchangeUI16(stream, BitmapId) && BitmapMatrix.Exchange(stream);
    default:
      return true;
  }
}

template <int Version>
void FILLSTYLE<Version>::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"FillStyleType: ", FillStyleType);
  switch (FillStyleType) {
    case kFillSolid:
      DumpNamedBlock(stream, L"Color: ", Color);
      break;
    case kFillLinearGradient:
    case kFillRadialGradient:
      DumpNamedBlock(stream, L"GradientMatrix:\n", GradientMatrix);
      DumpNamedBlock(stream, L"Gradient:\n", Gradient);
      break;
    case kFillFocalGradient:
      DumpNamedBlock(stream, L"GradientMatrix:\n", GradientMatrix);
      DumpNamedBlock(stream, L"FocalGradient:\n", FocalGradient);
      break;
    case kFillRepeatingBitmap:
    case kFillClippedBitmap:
    case kFillRepeatingBitmapHard:
    case kFillClippedBitmapHard:
      stream.PrintLabelled(L"BitmapId: ", BitmapId);
      DumpNamedBlock(stream, L"BitmapMatrix:\n", BitmapMatrix);
      break;
    default:
      break;
  }
}

template <int Version>
bool LINESTYLE<Version>::Exchange(BitStream& stream) {
  return ExchangeUI16(stream, Width) && Color.Exchange(stream);
}

template <int Version>
void LINESTYLE<Version>::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"Width: ", Width);
  DumpNamedBlock(stream, L"Color: ", Color);
}

template <class Style>
bool StyleArray<Style>::Exchange(BitStream& stream) {
  constexpr uint8_t kExtendedCount = 0xFF;
  if (stream.IsReading()) {
    uint8_t shortCount = 0;
    uint16_t count = 0;
    if (!ExchangeUI8(stream, shortCount)) return false;
    if (shortCount != kExtendedCount) {
      count = shortCount;
    } else if (!ExchangeUI16(stream, count)) {
      return false;
    }
    // Grown one style at a time, so a count that the data does not back costs nothing.
    Styles.clear();
    for (uint16_t i = 0; i < count; ++i) {
      Styles.emplace_back();
      if (!Styles.back().Exchange(stream)) return false;
    }
    return true;
  }

  if (Styles.size() > kMaxStyles) return false;
  uint8_t shortCount = Styles.size() < kExtendedCount ? static_cast<uint8_t>(Styles.size()) : kExtendedCount;
  uint16_t count = static_cast<uint16_t>(Styles.size());
  if (!ExchangeUI8(stream, shortCount)) return false;
  if (shortCount == kExtendedCount && !ExchangeUI16(stream, count)) return false;
  for (Style& style : Styles) {
    if (!style.Exchange(stream)) return false;
  }
  return true;
}

template <class Style>
void StyleArray<Style>::DumpStyles(TextStream& stream, const wchar_t* itemFormat) const {
  IndentGuard indent(stream);
  for (size_t i = 0; i < Styles.size(); ++i) {
    stream.Printf(itemFormat, static_cast<int>(i));
    Styles[i].Dump(stream);
  }
}

template <int Version>
bool STYLECHANGERECORD<Version>::Exchange(BitStream& stream) {
  const bool newStyles = IsSet(StateNewStyles);
  const bool lineStyle = IsSet(StateLineStyle);
  const bool fillStyle1 = IsSet(StateFillStyle1);
  const bool fillStyle0 = IsSet(StateFillStyle0);
  const bool moveTo = IsSet(StateMoveTo);

  int moveBits = 0;
  if (!stream.IsReading()) {
    if (moveTo) moveBits = CommonBitCount(MoveDeltaX, MoveDeltaY);
    if (moveBits > kMaxMoveBits) return false;
    if ((fillStyle0 && !FitsIndex(FillStyle0, fillIndexBits)) ||
        (fillStyle1 && !FitsIndex(FillStyle1, fillIndexBits)) ||
        (lineStyle && !FitsIndex(LineStyle, lineIndexBits))) {
      return false;
    }
    if (newStyles && (NumFillBits.value > kMaxIndexBits || NumLineBits.value > kMaxIndexBits)) return false;

    UBX<1> typeFlag(0);
    for (UBX<1>* flag :
         {&typeFlag, &StateNewStyles, &StateLineStyle, &StateFillStyle1, &StateFillStyle0, &StateMoveTo}) {
      if (!flag->Exchange(stream)) return false;
    }
  }

  if (moveTo) {
    UBX<5> bits(static_cast<uint32_t>(moveBits));
    if (!bits.Exchange(stream)) return false;
    MoveDeltaX.bitCount = MoveDeltaY.bitCount = static_cast<int32_t>(bits.value);
    if (!MoveDeltaX.Exchange(stream) || !MoveDeltaY.Exchange(stream)) return false;
  }
  if (fillStyle0 && !ExchangeIndex(stream, FillStyle0, fillIndexBits)) return false;
  if (fillStyle1 && !ExchangeIndex(stream, FillStyle1, fillIndexBits)) return false;
  if (lineStyle && !ExchangeIndex(stream, LineStyle, lineIndexBits)) return false;
  if (newStyles) {
    return FillStyles.Exchange(stream) && LineStyles.Exchange(stream) && NumFillBits.Exchange(stream) &&
           NumLineBits.Exchange(stream);
  }
  return true;
}

template <int Version>
void STYLECHANGERECORD<Version>::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  DumpNamedBlock(stream, L"StateNewStyles: ", StateNewStyles);
  DumpNamedBlock(stream, L"StateLineStyle: ", StateLineStyle);
  DumpNamedBlock(stream, L"StateFillStyle1: ", StateFillStyle1);
  DumpNamedBlock(stream, L"StateFillStyle0: ", StateFillStyle0);
  DumpNamedBlock(stream, L"StateMoveTo: ", StateMoveTo);
  if (IsSet(StateMoveTo)) {
    DumpNamedBlock(stream, L"MoveDeltaX: ", MoveDeltaX);
    DumpNamedBlock(stream, L"MoveDeltaY: ", MoveDeltaY);
  }
  if (IsSet(StateFillStyle0)) DumpNamedBlock(stream, L"FillStyle0: ", FillStyle0);
  if (IsSet(StateFillStyle1)) DumpNamedBlock(stream, L"FillStyle1: ", FillStyle1);
  if (IsSet(StateLineStyle)) DumpNamedBlock(stream, L"LineStyle: ", LineStyle);
  if (IsSet(StateNewStyles)) {
    DumpNamedBlock(stream, L"FillStyles:\n", FillStyles);
    DumpNamedBlock(stream, L"LineStyles:\n", LineStyles);
    DumpNamedBlock(stream, L"NumFillBits: ", NumFillBits);
    DumpNamedBlock(stream, L"NumLineBits: ", NumLineBits);
  }
}

bool STRAIGHTEDGERECORD::Exchange(BitStream& stream) {
  int numBits = 0;
  if (!stream.IsReading()) {
    // A delta that the flags leave out would be lost.
    if (!IsSet(GeneralLineFlag) && (IsSet(VertLineFlag) ? DeltaX.value : DeltaY.value) != 0) return false;
    const int bits = CommonBitCount(DeltaX, DeltaY);
    if (bits > kMaxEdgeBits) return false;
    numBits = bits - 2;
    if (!WriteTypeBits(stream, 1, 1)) return false;
  }
  if (!ExchangeEdgeBits(stream, numBits) || !GeneralLineFlag.Exchange(stream)) return false;
  const bool general = IsSet(GeneralLineFlag);
  if (!general && !VertLineFlag.Exchange(stream)) return false;
  DeltaX.bitCount = DeltaY.bitCount = numBits + 2;
  if ((general || !IsSet(VertLineFlag)) && !DeltaX.Exchange(stream)) return false;
  if ((general || IsSet(VertLineFlag)) && !DeltaY.Exchange(stream)) return false;
  return true;
}

void STRAIGHTEDGERECORD::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  const bool general = IsSet(GeneralLineFlag);
  DumpNamedBlock(stream, L"GeneralLineFlag: ", GeneralLineFlag);
  if (!general) DumpNamedBlock(stream, L"VertLineFlag: ", VertLineFlag);
  if (general || !IsSet(VertLineFlag)) DumpNamedBlock(stream, L"DeltaX: ", DeltaX);
  if (general || IsSet(VertLineFlag)) DumpNamedBlock(stream, L"DeltaY: ", DeltaY);
}

bool CURVEDEDGERECORD::Exchange(BitStream& stream) {
  int numBits = 0;
  if (!stream.IsReading()) {
    const int bits = CommonBitCount(ControlDeltaX, ControlDeltaY, AnchorDeltaX, AnchorDeltaY);
    if (bits > kMaxEdgeBits) return false;
    numBits = bits - 2;
    if (!WriteTypeBits(stream, 1, 0)) return false;
  }
  if (!ExchangeEdgeBits(stream, numBits)) return false;
  for (SB* delta : {&ControlDeltaX, &ControlDeltaY, &AnchorDeltaX, &AnchorDeltaY}) delta->bitCount = numBits + 2;
  return ControlDeltaX.Exchange(stream) && ControlDeltaY.Exchange(stream) && AnchorDeltaX.Exchange(stream) &&
         AnchorDeltaY.Exchange(stream);
}

void CURVEDEDGERECORD::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  DumpNamedBlock(stream, L"ControlDeltaX: ", ControlDeltaX);
  DumpNamedBlock(stream, L"ControlDeltaY: ", ControlDeltaY);
  DumpNamedBlock(stream, L"AnchorDeltaX: ", AnchorDeltaX);
  DumpNamedBlock(stream, L"AnchorDeltaY: ", AnchorDeltaY);
}

bool ENDSHAPERECORD::Exchange(BitStream& stream) {
  if (stream.IsReading()) return true;
  UBX<1> typeFlag(0);
  UBX<5> endOfShape(0);
  return typeFlag.Exchange(stream) && endOfShape.Exchange(stream);
}

void ENDSHAPERECORD::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.Printf(L"ENDSHAPERECORD\n");
}

template <int Version>
bool SHAPEWITHSTYLE<Version>::CanWrite() const {
  if (NumFillBits.value > kMaxIndexBits || NumLineBits.value > kMaxIndexBits || ShapeRecords.empty()) {
    return false;
  }
  int32_t fillBits = static_cast<int32_t>(NumFillBits.value);
  int32_t lineBits = static_cast<int32_t>(NumLineBits.value);
  for (size_t i = 0; i < ShapeRecords.size(); ++i) {
    FlashBlock* record = ShapeRecords[i].Get();
    if (!record) return false;
    const bool last = i + 1 == ShapeRecords.size();
    if ((dynamic_cast<ENDSHAPERECORD*>(record) != nullptr) != last) return false;
    if (const auto* change = dynamic_cast<STYLECHANGERECORD<Version>*>(record)) {
      if (change->fillIndexBits != fillBits || change->lineIndexBits != lineBits) return false;
      if (IsSet(change->StateNewStyles)) {
        fillBits = static_cast<int32_t>(change->NumFillBits.value);
        lineBits = static_cast<int32_t>(change->NumLineBits.value);
      }
    }
  }
  return true;
}

template <int Version>
bool SHAPEWITHSTYLE<Version>::ReadRecords(BitStream& stream) {
  ShapeRecords.clear();
  int32_t fillBits = static_cast<int32_t>(NumFillBits.value);
  int32_t lineBits = static_cast<int32_t>(NumLineBits.value);
  for (;;) {
    UBX<1> typeFlag;
    if (!typeFlag.Exchange(stream)) return false;
    if (typeFlag.value) {
      UBX<1> straightFlag;
      if (!straightFlag.Exchange(stream)) return false;
      CountedPtr<FlashBlock> edge;
      if (straightFlag.value) {
        edge = MakeCounted<STRAIGHTEDGERECORD>();
      } else {
        edge = MakeCounted<CURVEDEDGERECORD>();
      }
      const bool complete = edge->Exchange(stream);
      ShapeRecords.push_back(edge);
      if (!complete) return false;
      continue;
    }

    UBX<5> flags;
    if (!flags.Exchange(stream)) return false;
    if (flags.value == 0) {
      ShapeRecords.push_back(MakeCounted<ENDSHAPERECORD>());
      return stream.AlignToByte();
    }
    auto change = MakeCounted<STYLECHANGERECORD<Version>>(fillBits, lineBits);
    change->StateNewStyles = UBX<1>(flags.value >> 4);
    change->StateLineStyle = UBX<1>(flags.value >> 3);
    change->StateFillStyle1 = UBX<1>(flags.value >> 2);
    change->StateFillStyle0 = UBX<1>(flags.value >> 1);
    change->StateMoveTo = UBX<1>(flags.value);
    const bool complete = change->Exchange(stream);
    ShapeRecords.push_back(change);
    if (!complete) return false;
    if (IsSet(change->StateNewStyles)) {
      fillBits = static_cast<int32_t>(change->NumFillBits.value);
      lineBits = static_cast<int32_t>(change->NumLineBits.value);
    }
  }
}

template <int Version>
bool SHAPEWITHSTYLE<Version>::Exchange(BitStream& stream) {
  if (!stream.IsReading() && !CanWrite()) return false;
  if (!FillStyles.Exchange(stream) || !LineStyles.Exchange(stream) || !NumFillBits.Exchange(stream) ||
      !NumLineBits.Exchange(stream)) {
    return false;
  }
  if (stream.IsReading()) return ReadRecords(stream);
  for (const CountedPtr<FlashBlock>& record : ShapeRecords) {
    if (!record->Exchange(stream)) return false;
  }
  return stream.AlignToByte();
}

template <int Version>
void SHAPEWITHSTYLE<Version>::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  DumpNamedBlock(stream, L"FillStyles:\n", FillStyles);
  DumpNamedBlock(stream, L"LineStyles:\n", LineStyles);
  DumpNamedBlock(stream, L"NumFillBits: ", NumFillBits);
  DumpNamedBlock(stream, L"NumLineBits: ", NumLineBits);
  for (size_t i = 0; i < ShapeRecords.size(); ++i) {
    stream.Printf(L"ShapeRecords[%d]:\n", static_cast<int>(i));
    if (ShapeRecords[i].IsValid()) ShapeRecords[i]->Dump(stream);
  }
}

template <int Version>
bool DefineShape<Version>::Exchange(BitStream& stream) {
  return ExchangeUI16(stream, ShapeId) && ExchangeBlock(stream, ShapeBounds) && Shapes.Exchange(stream);
}

template <int Version>
void DefineShape<Version>::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"ShapeId: ", ShapeId);
  DumpNamedBlock(stream, L"ShapeBounds:\n", ShapeBounds);
  DumpNamedBlock(stream, L"Shapes:\n", Shapes);
}

template class GRADERECORD<3>;
template class GRADERECORD<4>;
template class GRADIENT<3>;
template class GRADIENT<4>;
template class FILLSTYLE<3>;
template class LINESTYLE<3>;
template class StyleArray<FILLSTYLE<3>>;
template class StyleArray<LINESTYLE<3>>;
template class STYLECHANGERECORD<3>;
template class SHAPEWITHSTYLE<3>;
template class DefineShape<3>;
