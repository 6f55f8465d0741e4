// libFuzzer target for the MP3 frame scanner, built natively on the host with ASan and UBSan. The
// first byte chooses how the rest is cut into samples, which reach the scanner one by one.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "app/deze/source/mp3.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

// One sample's bytes as the input stream the filter reads them through.
class SampleStream : public BitStream {
 public:
  SampleStream(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  bool IsReading() const override { return true; }
  bool AtEnd() const override { return cursor_ == size_; }
  int64_t GetPosition() const override { return static_cast<int64_t>(cursor_); }
  bool Seek(int64_t position) override {
    if (position < 0 || position > static_cast<int64_t>(size_)) return false;
    cursor_ = static_cast<size_t>(position);
    return true;
  }
  int64_t GetSize() const override { return static_cast<int64_t>(size_); }
  int32_t Transfer(void* buffer, int32_t count) override {
    if (!buffer || count <= 0) return -1;
    const size_t moved = std::min(static_cast<size_t>(count), size_ - cursor_);
    if (moved) memcpy(buffer, bytes_ + cursor_, moved);
    cursor_ += moved;
    return static_cast<int32_t>(moved);
  }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t cursor_ = 0;
};

// Every accessor answers inside its documented range, whatever the bytes.
void CheckAccessors(const Mp3Frame& frame) {
  Check(frame.Syncword() >= 0 && frame.Syncword() <= 0x7FF);
  Check(frame.Version() >= 0 && frame.Version() <= 4);
  Check(frame.Layer() >= 0 && frame.Layer() <= 4);
  Check(frame.BitrateIndex() >= 0 && frame.BitrateIndex() <= 16);
  Check(frame.Bitrate() >= -1 && frame.Bitrate() <= 448000);
  Check(frame.SamplingIndex() >= 0 && frame.SamplingIndex() <= 4);
  Check(frame.SamplingRate() == -1 || (frame.SamplingRate() >= 8000 && frame.SamplingRate() <= 48000));
  Check(frame.ChannelMode() >= 0 && frame.ChannelMode() <= 4);
  Check(frame.SamplesPerFrame() >= 0 && frame.SamplesPerFrame() <= 1152);
  const int32_t length = frame.FrameLength();
  Check(length == -1 || (length >= 0 && length <= 8 * 1024));
  frame.HasCrc();
  frame.Padding();
  if (frame.IsComplete()) Check(frame.IsHeaderValid() && frame.Size() == length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // 0 feeds the stream whole; otherwise samples of 1 to 255 bytes.
  const size_t piece = data[0] ? data[0] : size;
  ++data;
  --size;

  std::vector<std::unique_ptr<Mp3Frame>> frames;
  const auto nextFrame = [&frames] {
    frames.push_back(std::make_unique<Mp3Frame>());
    return frames.back().get();
  };
  // An exactly sized copy: ASan sees any byte read outside the stream.
  const std::vector<uint8_t> stream(data, data + size);
  Mp3Frame* current = nullptr;
  size_t fed = 0;
  bool cut = true;
  while (cut && fed < size) {
    const size_t count = std::min(piece, size - fed);
    SampleStream sample(stream.data() + fed, count);
    cut = CutMp3Frames(sample, current, nextFrame);
    Check(!cut || sample.AtEnd());
    fed += count;
  }

  for (const auto& frame : frames) CheckAccessors(*frame);
  if (!cut) return 0;
  // A stream that was accepted is the frames' bytes in order, every frame whole but the one the
  // last sample ended in.
  std::vector<uint8_t> joined;
  for (size_t i = 0; i < frames.size(); ++i) {
    const bool last = i + 1 == frames.size();
    Check(frames[i]->IsComplete() || (last && frames[i].get() == current));
    joined.insert(joined.end(), frames[i]->Bytes().begin(), frames[i]->Bytes().end());
  }
  Check(current == nullptr || current == frames.back().get());
  Check(joined.size() == size && std::equal(joined.begin(), joined.end(), data));
  return 0;
}
