#include "media/vp6state.h"

#include <windows.h>
#include <vfw.h>

#include "common/handle.h"

namespace {

constexpr size_t kFieldBytes = 4;

struct NamedField {
  int32_t offset;
  const wchar_t* name;
};

#define VP62_FIELD(name) {name, L## #name}
constexpr NamedField kFields[] = {
    VP62_FIELD(VP62_OFFSET_BITRATE),
    VP62_FIELD(VP62_OFFSET_MODE),
    VP62_FIELD(VP62_OFFSET_END_USAGE),
    VP62_FIELD(VP62_OFFSET_MATERIAL),
    VP62_FIELD(VP62_OFFSET_NOISE_REDUCTION),
    VP62_FIELD(VP62_OFFSET_SHARPNESS),
    VP62_FIELD(VP62_OFFSET_AUTO_KEY_FRAME),
    VP62_FIELD(VP62_OFFSET_MAX_KEY_FRAME_INTERVAL),
    VP62_FIELD(VP62_OFFSET_UNDERSHOOT),
    VP62_FIELD(VP62_OFFSET_ADJUST_QUANTIZER),
    VP62_FIELD(VP62_OFFSET_QUANTIZER_MIN),
    VP62_FIELD(VP62_OFFSET_QUANTIZER_MAX),
    VP62_FIELD(VP62_OFFSET_TEMPORAL_RESAMPLING),
    VP62_FIELD(VP62_OFFSET_TR_DOWN_WATERMARK),
    VP62_FIELD(VP62_OFFSET_SPATIAL_RESAMPLING),
    VP62_FIELD(VP62_OFFSET_SR_DOWN_WATERMARK),
    VP62_FIELD(VP62_OFFSET_SR_UP_WATERMARK),
    VP62_FIELD(VP62_OFFSET_PEAK_BITRATE),
    VP62_FIELD(VP62_OFFSET_PREBUFFER),
    VP62_FIELD(VP62_OFFSET_OPTIMAL_BUFFER),
    VP62_FIELD(VP62_OFFSET_MAX_BUFFER),
    VP62_FIELD(VP62_OFFSET_VARIABILITY),
    VP62_FIELD(VP62_OFFSET_MIN_SECTION),
    VP62_FIELD(VP62_OFFSET_MAX_SECTION),
};
#undef VP62_FIELD

constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');

}  // namespace

bool Vp62State::HasField(int32_t offset) const {
  // Compared as sizes, so that no sum can overflow.
  return offset >= 0 && static_cast<size_t>(offset) <= bytes_.size() &&
         bytes_.size() - static_cast<size_t>(offset) >= kFieldBytes;
}

int32_t Vp62State::GetField(int32_t offset) const {
  if (!HasField(offset)) return 0;
  const uint8_t* field = bytes_.data() + offset;
  return static_cast<int32_t>(uint32_t{field[0]} | uint32_t{field[1]} << 8 | uint32_t{field[2]} << 16 |
                              uint32_t{field[3]} << 24);
}

void Vp62State::SetField(int32_t offset, int32_t value) {
  if (!HasField(offset)) return;
  const auto bits = static_cast<uint32_t>(value);
  uint8_t* field = bytes_.data() + offset;
  for (size_t i = 0; i < kFieldBytes; ++i) field[i] = static_cast<uint8_t>(bits >> (8 * i));
}

void Vp62State::Dump(TextStream& stream) const {
  IndentGuard indent(stream);
  for (const NamedField& field : kFields)
    stream.Printf(L"0x%04x: %34s %d\n", static_cast<unsigned>(field.offset), field.name, GetField(field.offset));
}

bool IsVp6CodecInstalled() {
  HIC codec = ICOpen(ICTYPE_VIDEO, kVp62, ICMODE_QUERY);
  if (!codec) return false;
  HandleGuard guard(ICClose, codec);
  ICINFO info = {};
  info.dwSize = sizeof(info);
  return ICGetInfo(codec, &info, sizeof(info)) == static_cast<LRESULT>(sizeof(info));
}
