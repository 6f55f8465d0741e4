#pragma once
// The VP6 codec's settings block, as ICM_GETSTATE gives it and ICM_SETSTATE takes it back. The codec
// owns its layout; this holder knows only the named 32-bit fields (little-endian, at fixed byte
// offsets) and carries every other byte through untouched.

#include <cstdint>
#include <vector>

#include "media/swfrecord.h"

// Byte offsets of the named fields, in the order of the dump.
inline constexpr int32_t VP62_OFFSET_BITRATE = 0x14;
inline constexpr int32_t VP62_OFFSET_MODE = 0xB8;
inline constexpr int32_t VP62_OFFSET_END_USAGE = 0xBC;
inline constexpr int32_t VP62_OFFSET_MATERIAL = 0x100;
inline constexpr int32_t VP62_OFFSET_NOISE_REDUCTION = 0x3C;
inline constexpr int32_t VP62_OFFSET_SHARPNESS = 0xC0;
inline constexpr int32_t VP62_OFFSET_AUTO_KEY_FRAME = 0x2C;
inline constexpr int32_t VP62_OFFSET_MAX_KEY_FRAME_INTERVAL = 0x38;
inline constexpr int32_t VP62_OFFSET_UNDERSHOOT = 0x98;
inline constexpr int32_t VP62_OFFSET_ADJUST_QUANTIZER = 0x68;
inline constexpr int32_t VP62_OFFSET_QUANTIZER_MIN = 0x94;
inline constexpr int32_t VP62_OFFSET_QUANTIZER_MAX = 0x18;
inline constexpr int32_t VP62_OFFSET_TEMPORAL_RESAMPLING = 0x40;
inline constexpr int32_t VP62_OFFSET_TR_DOWN_WATERMARK = 0x74;
inline constexpr int32_t VP62_OFFSET_SPATIAL_RESAMPLING = 0x44;
inline constexpr int32_t VP62_OFFSET_SR_DOWN_WATERMARK = 0x78;
inline constexpr int32_t VP62_OFFSET_SR_UP_WATERMARK = 0x7C;
inline constexpr int32_t VP62_OFFSET_PEAK_BITRATE = 0x9C;
inline constexpr int32_t VP62_OFFSET_PREBUFFER = 0x6C;
inline constexpr int32_t VP62_OFFSET_OPTIMAL_BUFFER = 0x70;
inline constexpr int32_t VP62_OFFSET_MAX_BUFFER = 0xA0;
inline constexpr int32_t VP62_OFFSET_VARIABILITY = 0xA8;
inline constexpr int32_t VP62_OFFSET_MIN_SECTION = 0xB0;
inline constexpr int32_t VP62_OFFSET_MAX_SECTION = 0xAC;

class Vp62State : public TextBlock {
 public:
  explicit Vp62State(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

  // A field whose four bytes do not lie wholly inside the block reads as 0 and ignores writes.
  int32_t GetField(int32_t offset) const;
  void SetField(int32_t offset, int32_t value);
  // The block to hand back to the codec, its size unchanged.
  const std::vector<uint8_t>& GetBytes() const { return bytes_; }

  // One line per named field: "0x0014:                VP62_OFFSET_BITRATE 400".
  void Dump(TextStream& stream) const override;

 private:
  bool HasField(int32_t offset) const;

  std::vector<uint8_t> bytes_;
};

// Whether the VP6 codec ('vidc', 'VP62') opens and describes itself with a whole ICINFO.
bool IsVp6CodecInstalled();
