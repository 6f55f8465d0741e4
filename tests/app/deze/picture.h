#pragma once
// A picture for the lossless encoder's tests: 0xXXRRGGBB words, top row first, handed out as the
// B, G, R, X bytes of an RGB32 frame in either row order, or as the A, R, G, B bytes a bitmap of
// the movie carries.

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/screen.h"

struct Picture {
  Picture(int32_t w, int32_t h, uint32_t fill = 0x00336699u) : width(w), height(h), pixels(size_t(w) * h, fill) {}
  explicit Picture(const Screen& screen) : Picture(screen.Width(), screen.Height()) {
    for (int32_t y = 0; y < height; ++y) memcpy(&At(0, y), screen.Row(y), size_t(width) * 4);
  }

  uint32_t& At(int32_t x, int32_t y) { return pixels[size_t(y) * width + x]; }
  std::vector<uint8_t> Frame(bool bottomUp = true) const {
    std::vector<uint8_t> bytes(pixels.size() * 4);
    for (int32_t y = 0; y < height; ++y)
      memcpy(&bytes[size_t(bottomUp ? height - 1 - y : y) * width * 4], &pixels[size_t(y) * width], size_t(width) * 4);
    return bytes;
  }
  std::vector<uint8_t> Argb(int32_t left, int32_t top, int32_t w, int32_t h) const {
    std::vector<uint8_t> argb;
    for (int32_t y = top; y < top + h; ++y)
      for (int32_t x = left; x < left + w; ++x) {
        const uint32_t p = pixels[size_t(y) * width + x];
        argb.insert(argb.end(), {0xFF, uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
      }
    return argb;
  }

  int32_t width;
  int32_t height;
  std::vector<uint32_t> pixels;
};
