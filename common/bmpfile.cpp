#include "common/bitmap.h"

#include <cstdio>

#include "common/dib.h"

bool WriteBmpFile(const wchar_t* path, int width, int height, int bitsPerPixel, const void* pixels) {
  if (!path || width < 1 || height == 0 || !pixels) return false;
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return false;
  BITMAPINFOHEADER infoHeader = MakeDibHeader(width, height, bitsPerPixel);
  const int64_t imageBytes = ImageSizeOf(infoHeader);
  const int colourCount = bitsPerPixel == 8 ? 256 : 0;
  const int64_t pixelOffset = int64_t{sizeof(BITMAPFILEHEADER)} + int64_t{sizeof(BITMAPINFOHEADER)} +
                              colourCount * int64_t{sizeof(RGBQUAD)};
  const int64_t fileBytes = pixelOffset + imageBytes;
  if (fileBytes > UINT32_MAX) return false;

  BITMAPFILEHEADER fileHeader = {};
  fileHeader.bfType = 0x4D42;  // "BM"
  fileHeader.bfSize = static_cast<DWORD>(fileBytes);
  fileHeader.bfOffBits = static_cast<DWORD>(pixelOffset);
  infoHeader.biSizeImage = static_cast<DWORD>(imageBytes);
  RGBQUAD colours[256];
  FillGreyColourTable(colours, colourCount ? bitsPerPixel : 0);

  FILE* file = _wfopen(path, L"wb");
  if (!file) return false;
  bool written = fwrite(&fileHeader, sizeof(fileHeader), 1, file) == 1 &&
                 fwrite(&infoHeader, sizeof(infoHeader), 1, file) == 1 &&
                 (colourCount == 0 || fwrite(colours, sizeof(RGBQUAD), colourCount, file) == size_t(colourCount)) &&
                 fwrite(pixels, 1, static_cast<size_t>(imageBytes), file) == static_cast<size_t>(imageBytes);
  // Closing flushes the last buffer, which can fail too.
  written = fclose(file) == 0 && written;
  if (!written) _wremove(path);
  return written;
}

bool WriteBmpFile(const wchar_t* path, const BITMAP& bitmap) {
  return WriteBmpFile(path, bitmap.bmWidth, bitmap.bmHeight, bitmap.bmBitsPixel, bitmap.bmBits);
}
