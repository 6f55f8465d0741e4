#include "common/bitmap.h"

void TileBitmap(HDC destination, HDC source) {
  BITMAP from;
  BITMAP to;
  if (!ReadBitmap(GetCurrentObject(source, OBJ_BITMAP), from) ||
      !ReadBitmap(GetCurrentObject(destination, OBJ_BITMAP), to))
    return;
  const int width = from.bmWidth;
  const int height = from.bmHeight;
  if (width < 1 || height < 1) return;
  BitBlt(destination, 0, 0, width, height, source, 0, 0, SRCCOPY);
  // The filled block doubles in each direction until it covers the destination.
  int64_t blockWidth = width;
  int64_t blockHeight = height;
  const int fullWidth = to.bmWidth;
  const int fullHeight = to.bmHeight;
  while (blockWidth < fullWidth || blockHeight < fullHeight) {
    const int w = static_cast<int>(blockWidth);
    const int h = static_cast<int>(blockHeight);
    if (blockWidth < fullWidth && blockHeight < fullHeight) {
      BitBlt(destination, w, 0, w, h, destination, 0, 0, SRCCOPY);
      blockWidth *= 2;
      BitBlt(destination, 0, h, static_cast<int>(blockWidth), h, destination, 0, 0, SRCCOPY);
      blockHeight *= 2;
    } else if (blockWidth < fullWidth) {
      BitBlt(destination, w, 0, w, fullHeight, destination, 0, 0, SRCCOPY);
      blockWidth *= 2;
    } else {
      BitBlt(destination, 0, h, fullWidth, h, destination, 0, 0, SRCCOPY);
      blockHeight *= 2;
    }
  }
}

bool AlphaBlendPixels(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                      int sourceWidth, int sourceHeight) {
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return AlphaBlend(destination, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight, blend) !=
         FALSE;
}
