#include "app/deze/source/mp3.h"

#include <algorithm>

namespace {

// kbit/s by bitrate index 0 to 14: MPEG-1 Layer I, II, III, then MPEG-2 (and 2.5) Layer I, II and III.
constexpr int16_t kBitrates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};

// Hz by version (MPEG-1, 2, 2.5) and sampling index.
constexpr int32_t kSamplingRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

}  // namespace

int32_t Mp3Frame::Syncword() const { return Size() < 2 ? 0 : (Byte(0) << 3) | (Byte(1) >> 5); }

int32_t Mp3Frame::Version() const {
  static constexpr int32_t kVersions[4] = {2, 3, 1, 0};  // by the two version bits
  return Size() < 2 ? 4 : kVersions[(Byte(1) >> 3) & 3];
}

int32_t Mp3Frame::Layer() const {
  static constexpr int32_t kLayers[4] = {3, 2, 1, 0};  // by the two layer bits
  return Size() < 2 ? 4 : kLayers[(Byte(1) >> 1) & 3];
}

bool Mp3Frame::HasCrc() const { return Size() >= 2 && (Byte(1) & 1) == 0; }

int32_t Mp3Frame::BitrateIndex() const { return Size() < 3 ? 16 : Byte(2) >> 4; }

int32_t Mp3Frame::Bitrate() const {
  const int32_t version = Version();
  const int32_t layer = Layer();
  const int32_t index = BitrateIndex();
  if (version > 2 || layer > 2 || index > 15) return -1;
  if (index == 15) return -1;
  const int32_t column = version == 0 ? layer : 3 + std::min(layer, 1);
  return kBitrates[column][index] * 1000;
}

int32_t Mp3Frame::SamplingIndex() const { return Size() < 3 ? 4 : (Byte(2) >> 2) & 3; }

int32_t Mp3Frame::SamplingRate() const {
  const int32_t version = Version();
  const int32_t index = SamplingIndex();
  if (version > 2 || index > 2) return -1;
  return kSamplingRates[version][index];
}

int32_t Mp3Frame::Padding() const { return Size() < 3 ? 0 : (Byte(2) >> 1) & 1; }

int32_t Mp3Frame::ChannelMode() const { return Size() < 4 ? 4 : Byte(3) >> 6; }

int32_t Mp3Frame::SamplesPerFrame() const {
  switch (Layer()) {
    case 0: return 384;
    case 1: return 1152;
    case 2: return Version() == 0 ? 1152 : (Version() <= 2 ? 576 : 0);
    default: return 0;
  }
}

int32_t Mp3Frame::FrameLength() const {
  if (Size() < 3 || Version() > 2 || Layer() > 2) return -1;
  const int64_t bitrate = Bitrate();
  const int64_t rate = SamplingRate();
  if (bitrate <= 0 || rate <= 0) return -1;
  // Layer I counts in slots of 4 bytes.
  if (Layer() == 0) return static_cast<int32_t>((12 * bitrate / rate + Padding()) * 4);
  return static_cast<int32_t>(SamplesPerFrame() / 8 * bitrate / rate + Padding());
}

bool Mp3Frame::IsHeaderValid() const {
  if (Size() < kHeaderBytes) return false;
  return Byte(0) == 0xFF && Byte(1) >= 0xE0 && ((Byte(1) >> 3) & 3) != 1 && ((Byte(1) >> 1) & 3) != 0 &&
         BitrateIndex() != 15 && SamplingIndex() != 3;
}

bool Mp3Frame::IsComplete() const {
  return Size() > 3 && IsHeaderValid() && Size() == FrameLength();
}

bool Mp3Frame::ReadMore(BitStream& source, int32_t count) {
  const size_t held = bytes_.size();
  bytes_.resize(held + static_cast<size_t>(count));
  const int32_t read = source.Transfer(bytes_.data() + held, count);
  bytes_.resize(held + static_cast<size_t>(std::max(read, 0)));
  return read >= 0;
}

bool Mp3Frame::Append(BitStream& source) {
  if (Size() < kHeaderBytes) {
    if (!ReadMore(source, kHeaderBytes - Size())) return false;
    if (Size() > 1 && Syncword() != kSyncword) return false;
    if (Size() < kHeaderBytes) return true;
  }
  const int32_t length = FrameLength();
  if (length <= 3) return false;
  if (Size() >= length) return Size() == length;
  return ReadMore(source, length - Size());
}
