#pragma once
// Rect: a rectangle as position and size, the form the settings and window code exchange.

#include <windows.h>

#include <cstdint>

struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;

  Rect() = default;
  Rect(int32_t left, int32_t top, int32_t width, int32_t height)
      : left(left), top(top), width(width), height(height) {}
  explicit Rect(const RECT& rect)
      : left(rect.left), top(rect.top), width(rect.right - rect.left), height(rect.bottom - rect.top) {}

  bool operator==(const Rect&) const = default;
};
