#pragma once
// MPEG audio frames cut from a byte stream that arrives in pieces of any size. Built on the host
// too (the fuzz target): nothing here but the stream interface.

#include <cstdint>
#include <vector>

#include "common/stream.h"

// One MPEG audio frame, header first, filled from as many samples as it spans. The accessors read
// the header bytes and answer a "not known" value while too few bytes are held.
class Mp3Frame {
 public:
  static constexpr int32_t kHeaderBytes = 4;
  static constexpr int32_t kSyncword = 0x7FF;

  // Reads what the frame still misses: first the header, whose syncword must hold, then up to the
  // frame's length. False for a broken sequence or a failed read.
  bool Append(BitStream& source);
  void Reset() { bytes_.clear(); }

  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  int32_t Size() const { return static_cast<int32_t>(bytes_.size()); }

  int32_t Syncword() const;       // 0 with fewer than 2 bytes
  int32_t Version() const;        // 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5, 3 reserved; 4 not known
  int32_t Layer() const;          // 0 Layer I, 1 Layer II, 2 Layer III, 3 reserved; 4 not known
  bool HasCrc() const;            // the protection bit is 0
  int32_t BitrateIndex() const;   // 16 not known
  int32_t Bitrate() const;        // bits per second; 0 free format, negative for index 15, -1 not known
  int32_t SamplingIndex() const;  // 4 not known
  int32_t SamplingRate() const;   // Hz; -1 not known
  int32_t Padding() const;
  int32_t ChannelMode() const;    // 3 mono; 4 not known
  int32_t SamplesPerFrame() const;
  int32_t FrameLength() const;    // bytes, header included; -1 not known

  bool IsHeaderValid() const;
  bool IsComplete() const;

 private:
  uint8_t Byte(int index) const { return bytes_[static_cast<size_t>(index)]; }
  // Reads up to `count` more bytes; false when the read fails, with nothing added.
  bool ReadMore(BitStream& source, int32_t count);

  std::vector<uint8_t> bytes_;
};

// Cuts everything that remains in `bytes` into frames. `current` is the incomplete frame the
// previous piece ended in, or null; `nextFrame()` gives an empty frame whenever one begins. After a
// success `current` is the frame the bytes ended in, or null when they ended on a frame boundary.
// False for bytes that are no sequence of frames.
template <class NextFrame>
bool CutMp3Frames(BitStream& bytes, Mp3Frame*& current, NextFrame&& nextFrame) {
  while (!bytes.AtEnd()) {
    if (!current) current = nextFrame();
    if (!current->Append(bytes)) return false;
    if (current->IsComplete()) {
      current = nullptr;
    } else if (!bytes.AtEnd()) {
      return false;
    }
  }
  return true;
}
