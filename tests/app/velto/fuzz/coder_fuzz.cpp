// libFuzzer target for the wbvk coder, built natively on the host with ASan and UBSan. The first
// bytes choose the test and the geometry: the decoder against arbitrary streams into a frame of
// exactly the image size, or an encode/decode round trip of frames made from the input.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/velto/source/coder.h"

namespace {

constexpr int kDepths[] = {8, 16, 24, 32};

void Check(bool condition) {
  if (!condition) abort();
}

// Frames with few distinct values, so that runs, literals and unchanged areas all occur.
void MakeFrame(const uint8_t* data, size_t size, size_t& used, std::vector<uint8_t>& frame, int64_t stride,
               int width, int height, int pixelBytes, uint32_t salt) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t choice = used < size ? data[used++] : static_cast<uint8_t>(x * 7 + y);
      const uint32_t value = (choice & 0xC0) ? (choice & 3) * 0x01010101u : choice * 0x9E3779B9u + salt;
      memcpy(&frame[y * stride + x * pixelBytes], &value, pixelBytes);
    }
  }
}

bool SamePixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int64_t stride, int rowBytes,
                int height) {
  for (int y = 0; y < height; ++y)
    if (memcmp(&a[y * stride], &b[y * stride], rowBytes) != 0) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int depth = kDepths[data[0] & 3];
  const bool roundTrip = data[0] & 4;
  const int width = 1 + data[1] % (roundTrip ? 300 : 64);
  const int height = 1 + data[2] % (roundTrip ? 40 : 64);
  data += 3;
  size -= 3;
  const int pixelBytes = depth / 8;
  const int64_t stride = FrameStride(width, depth);
  const int64_t imageSize = FrameImageSize(width, height, depth);

  if (!roundTrip) {
    // Exactly sized copies: ASan sees any byte outside the stream or the frame.
    std::vector<uint8_t> stream(data, data + size);
    std::vector<uint8_t> frame(static_cast<size_t>(imageSize), 0x5A);
    DecodeFrame(stream.data(), static_cast<int32_t>(stream.size()), frame.data(), width, height, depth);
    return 0;
  }

  size_t used = 0;
  std::vector<uint8_t> previous(static_cast<size_t>(imageSize), 0);
  std::vector<uint8_t> current(static_cast<size_t>(imageSize), 0);
  MakeFrame(data, size, used, previous, stride, width, height, pixelBytes, 1);
  current = previous;
  // The rest of the input changes scattered pixels of the current frame.
  while (used + 2 < size) {
    const size_t at = (data[used] | data[used + 1] << 8) % static_cast<size_t>(width * height);
    const uint32_t value = data[used + 2] * 0x01030507u;
    memcpy(&current[(at / width) * stride + (at % width) * pixelBytes], &value, pixelBytes);
    used += 3;
  }

  const int64_t bound = MaxStreamSize(width, height, depth);
  std::vector<uint8_t> stream(static_cast<size_t>(bound));
  const int rowBytes = width * pixelBytes;

  const int32_t keyLength = EncodeKeyFrame(current.data(), stream.data(), width, height, depth);
  Check(keyLength > 0 && keyLength <= bound);
  std::vector<uint8_t> decoded(static_cast<size_t>(imageSize), 0);
  Check(DecodeFrame(stream.data(), keyLength, decoded.data(), width, height, depth));
  Check(SamePixels(decoded, current, stride, rowBytes, height));

  const int32_t deltaLength = EncodeDeltaFrame(previous.data(), current.data(), stream.data(), width, height, depth);
  Check(deltaLength > 0 && deltaLength <= bound);
  decoded = previous;
  Check(DecodeFrame(stream.data(), deltaLength, decoded.data(), width, height, depth));
  Check(SamePixels(decoded, current, stride, rowBytes, height));
  return 0;
}
