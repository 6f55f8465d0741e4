#pragma once
// The synthetic screen recording of the benchmarks and of the movie replay test: a desktop with a
// gradient wallpaper, a text editor typing one glyph row after another and scrolling, a window
// dragged now and then, a video playing in another window (changes everywhere, every frame), a
// taskbar clock and a moving pointer. Deterministic: frame n always looks the same. The layout is
// drawn for 1280x720 and scaled to other sizes; glyphs keep their size.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

class Screen {
 public:
  static uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
  }

  Screen(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {}

  int Width() const { return width_; }
  int Height() const { return height_; }
  // 0x00RRGGBB pixels, row 0 at the top.
  const uint32_t* Row(int y) const { return &pixels_[static_cast<size_t>(y) * width_]; }

  void Render(int frame) {
    // Wallpaper: a vertical gradient.
    for (int y = 0; y < height_; ++y) Fill(0, y, width_, 1, 0x00205070u + static_cast<uint32_t>(Y(y) / 24) * 0x00010101u);
    // A window is dragged across the desktop for 20 frames of every 150.
    const int drag = frame % 150 < 20 ? frame % 150 : (frame % 150 < 75 ? 20 : 0);
    DrawEditor(X(80 + drag * 12), Y(60 + drag * 4), X(720), Y(470), frame);
    DrawPlayer(X(860), Y(140), X(360), Y(220), frame);
    // Taskbar with a clock that changes once a second (ten frames).
    Fill(0, height_ - Y(40), width_, Y(40), 0x00C0C0C0u);
    for (int b = 0; b < 5; ++b) Fill(X(60 + b * 160), height_ - Y(34), X(150), Y(28), b == 0 ? 0x00E0E0E0u : 0x00B0B0B0u);
    DrawText(width_ - X(90), height_ - Y(26), 8, static_cast<uint32_t>(frame / 10), 0);
    DrawPointer(frame);
  }

 private:
  // Layout coordinates of the 1280x720 design at this size (unchanged at that size).
  int X(int x) const { return static_cast<int>(int64_t{x} * width_ / 1280); }
  int Y(int y) const { return static_cast<int>(int64_t{y} * height_ / 720); }

  void Fill(int left, int top, int width, int height, uint32_t colour) {
    for (int y = std::max(0, top); y < std::min(height_, top + height); ++y)
      for (int x = std::max(0, left); x < std::min(width_, left + width); ++x) pixels_[y * width_ + x] = colour;
  }
  void Put(int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[y * width_ + x] = colour;
  }
  // A glyph is a 6x9 pattern picked by its code.
  void DrawGlyph(int left, int top, uint32_t code, uint32_t colour) {
    const uint32_t bits = Hash(code * 2654435761u + 17);
    for (int gy = 0; gy < 9; ++gy)
      for (int gx = 0; gx < 5; ++gx)
        if ((bits >> ((gy * 5 + gx) % 31)) & 1 && (gy % 4 != 3)) Put(left + gx, top + gy, colour);
  }
  void DrawText(int left, int top, int count, uint32_t seed, uint32_t colour) {
    for (int i = 0; i < count; ++i) {
      const uint32_t code = Hash(seed * 131 + i);
      if (code % 7 == 0) continue;  // word gaps
      DrawGlyph(left + i * 7, top, code, colour);
    }
  }
  void DrawFrame(int left, int top, int width, int height) {
    Fill(left - 1, top - 1, width + 2, height + 2, 0x00404040u);
    Fill(left, top, width, 24, 0x002050C0u);
    DrawText(left + 8, top + 8, std::min(20, (width - 16) / 7), static_cast<uint32_t>(left), 0x00FFFFFFu);
  }
  // A text editor: three more glyphs typed every frame, scrolling a line whenever the page is full.
  void DrawEditor(int left, int top, int width, int height, int frame) {
    DrawFrame(left, top, width, height);
    Fill(left, top + 24, width, height - 24, 0x00FFFFFFu);
    const int lineHeight = 14;
    const int lines = (height - 34) / lineHeight;
    const int perLine = std::max(1, (width - 20) / 7);
    const int typed = 400 + frame * 3;
    const int firstLine = std::max(0, typed / perLine - lines + 1);
    for (int line = 0; line < lines; ++line) {
      const int absolute = firstLine + line;
      const int count = std::min(perLine, typed - absolute * perLine);
      if (count <= 0) break;
      DrawText(left + 10, top + 30 + line * lineHeight, count, static_cast<uint32_t>(absolute), 0x00101010u);
    }
  }
  // Smooth moving colour with grain: changes everywhere, every frame.
  void DrawPlayer(int left, int top, int width, int height, int frame) {
    DrawFrame(left, top, width, height);
    for (int y = 0; y < height - 24; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint32_t grain = Hash(static_cast<uint32_t>((frame * 7919 + y) * 4096 + x)) & 0x0F0F0F;
        const uint32_t r = static_cast<uint32_t>((x + frame * 3) & 0xFF);
        const uint32_t g = static_cast<uint32_t>((y * 2 + frame) & 0xFF);
        const uint32_t b = static_cast<uint32_t>((x + y + frame * 5) / 3 & 0xFF);
        Put(left + x, top + 24 + y, ((r << 16 | g << 8 | b) & 0xF0F0F0u) + grain);
      }
    }
  }
  void DrawPointer(int frame) {
    const double t = frame * 0.05;
    const int px = X(static_cast<int>(640 + 560 * std::sin(t * 1.3)));
    const int py = Y(static_cast<int>(360 + 300 * std::sin(t * 0.7 + 1)));
    for (int y = 0; y < 19; ++y)
      for (int x = 0; x <= y * 2 / 3 && x < 12; ++x) Put(px + x, py + y, x == 0 || x == y * 2 / 3 ? 0 : 0x00FFFFFFu);
  }

  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
};
