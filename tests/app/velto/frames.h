#pragma once
// Frames for the codec tests: a bottom-up DIB of any depth with pixel access, and generators of
// screen-like and noisy content.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <windows.h>

#include "app/velto/source/coder.h"
#include "common/dib.h"

inline BITMAPINFOHEADER DibHeader(int width, int height, int bits, DWORD compression = BI_RGB, DWORD sizeImage = 0) {
  return MakeDibHeader(width, height, bits, compression, sizeImage);
}

struct TestFrame {
  TestFrame(int w, int h, int bits)
      : width(w), height(h), bitCount(bits), stride(FrameStride(w, bits)),
        bytes(static_cast<size_t>(FrameImageSize(w, h, bits)), 0) {}

  int PixelBytes() const { return bitCount / 8; }
  void Set(int x, int y, uint32_t value) { memcpy(&bytes[y * stride + x * PixelBytes()], &value, PixelBytes()); }
  uint32_t Get(int x, int y) const {
    uint32_t value = 0;
    memcpy(&value, &bytes[y * stride + x * PixelBytes()], PixelBytes());
    return value;
  }
  // Pixels only: the pad bytes at the row ends are never coded.
  bool SamePixels(const TestFrame& other) const {
    for (int y = 0; y < height; ++y)
      if (memcmp(&bytes[y * stride], &other.bytes[y * stride], static_cast<size_t>(width * PixelBytes())) != 0)
        return false;
    return true;
  }

  int width;
  int height;
  int bitCount;
  int64_t stride;
  std::vector<uint8_t> bytes;
};

// Runs of a few colours broken by noisy stretches, so that every grouping rule comes into play.
inline void FillScreenLike(TestFrame& frame, std::mt19937& random) {
  const uint32_t palette[] = {0x00FFFFFFu, 0x00202020u, 0x003366CCu, 0x00F0F0F0u};
  for (int y = 0; y < frame.height; ++y) {
    int x = 0;
    while (x < frame.width) {
      const int length = 1 + static_cast<int>(random() % 40);
      const bool noisy = random() % 3 == 0;
      const uint32_t colour = palette[random() % 4];
      for (int i = 0; i < length && x < frame.width; ++i, ++x)
        frame.Set(x, y, noisy ? static_cast<uint32_t>(random()) : colour);
    }
  }
}

// Changes a few rectangles and scattered pixels of a frame.
inline void ChangeSome(TestFrame& frame, std::mt19937& random) {
  const int rectangles = static_cast<int>(random() % 4);
  for (int r = 0; r < rectangles; ++r) {
    const int left = static_cast<int>(random() % frame.width);
    const int top = static_cast<int>(random() % frame.height);
    const int right = std::min(frame.width, left + 1 + static_cast<int>(random() % 300));
    const int bottom = std::min(frame.height, top + 1 + static_cast<int>(random() % 40));
    const uint32_t colour = static_cast<uint32_t>(random());
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) frame.Set(x, y, random() % 5 ? colour : static_cast<uint32_t>(random()));
  }
  const int pixels = static_cast<int>(random() % 20);
  for (int i = 0; i < pixels; ++i)
    frame.Set(static_cast<int>(random() % frame.width), static_cast<int>(random() % frame.height),
              static_cast<uint32_t>(random()));
}
