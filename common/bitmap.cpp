#include "common/bitmap.h"

#include <cstdlib>

#include "common/dib.h"
#include "common/error.h"

namespace {

// A BITMAPINFO with room for the largest colour table.
struct BitmapInfoWithTable {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

}  // namespace

bool ReadBitmap(HGDIOBJ handle, BITMAP& bitmap) {
  bitmap = {};
  return handle && GetObjectW(handle, sizeof(BITMAP), &bitmap) == sizeof(BITMAP);
}

// Bmp

Bmp::~Bmp() {
  if (handle_) DeleteObject(handle_);
}

void Bmp::Attach(HBITMAP handle) {
  if (handle == handle_) return;
  if (handle_) DeleteObject(handle_);
  bitmap_ = {};
  handle_ = handle;
  if (handle_) ReadBitmap(handle_, bitmap_);
}

HBITMAP Bmp::Detach() {
  HBITMAP handle = handle_;
  handle_ = nullptr;
  return handle;
}

void Bmp::PremultiplyAlpha() {
  if (!handle_ || bitmap_.bmBitsPixel != 32 || !bitmap_.bmBits) return;
  // GDI may still be drawing into the section.
  GdiFlush();
  auto* pixel = static_cast<uint8_t*>(bitmap_.bmBits);
  const int64_t count = int64_t{bitmap_.bmWidth} * std::llabs(int64_t{bitmap_.bmHeight});
  for (int64_t i = 0; i < count; ++i, pixel += 4) {
    const unsigned alpha = pixel[3];
    pixel[0] = static_cast<uint8_t>(pixel[0] * alpha / 255);
    pixel[1] = static_cast<uint8_t>(pixel[1] * alpha / 255);
    pixel[2] = static_cast<uint8_t>(pixel[2] * alpha / 255);
  }
}

Ddb::Ddb(int width, int height, HDC dc) {
  if (width < 1 || height < 1) return;
  if (dc) {
    Attach(CreateCompatibleBitmap(dc, width, height));
    return;
  }
  const WindowDC screen(nullptr);
  Attach(CreateCompatibleBitmap(screen.GetHandle(), width, height));
}

Ddb::Ddb(HINSTANCE module, int resourceId) { Attach(LoadBitmapW(module, MAKEINTRESOURCEW(resourceId))); }

// Dib

Dib::Dib(int width, int height, int bitsPerPixel, HDC dc) {
  if (width < 1 || height < 1) return;
  BitmapInfoWithTable info = {};
  info.header = MakeDibHeader(width, height, bitsPerPixel);
  if (bitsPerPixel >= 1 && bitsPerPixel <= 8) FillGreyColourTable(info.colours, bitsPerPixel);
  Dib section(reinterpret_cast<const BITMAPINFO*>(&info), dc);
  Attach(section.Detach());
}

Dib::Dib(const BITMAPINFO* info, HDC dc) {
  if (!info) return;
  void* bits = nullptr;
  HBITMAP handle = CreateDIBSection(dc, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (handle && bits) {
    Attach(handle);
  } else if (handle) {
    DeleteObject(handle);
  }
}

Dib::Dib(const wchar_t* path) {
  auto* handle = static_cast<HBITMAP>(
      LoadImageW(nullptr, path, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE));
  if (!handle) {
    ReportError(L"Faield to load bitmap file %s\n", path ? path : L"");
    return;
  }
  Attach(handle);
}

// Device contexts

MemoryDC::~MemoryDC() {
  if (dc_) DeleteDC(dc_);
}

HDC MemoryDC::Detach() {
  HDC dc = dc_;
  dc_ = nullptr;
  return dc;
}

BitmapDC::BitmapDC(HBITMAP bitmap, HDC reference) {
  if (Select(bitmap, reference)) bitmap_.Attach(bitmap);
}

BitmapDC::BitmapDC(Bmp& bitmap, HDC reference) {
  if (Select(bitmap.GetHandle(), reference)) bitmap_.Attach(bitmap.Detach());
}

BitmapDC::BitmapDC(int width, int height, HDC dc) {
  Ddb bitmap(width, height, dc);
  if (Select(bitmap.GetHandle(), dc)) bitmap_.Attach(bitmap.Detach());
}

BitmapDC::BitmapDC(HINSTANCE module, int resourceId) {
  Ddb bitmap(module, resourceId);
  if (Select(bitmap.GetHandle(), nullptr)) bitmap_.Attach(bitmap.Detach());
}

BitmapDC::BitmapDC(int width, int height, int bitsPerPixel, HDC dc) {
  Dib bitmap(width, height, bitsPerPixel, dc);
  if (Select(bitmap.GetHandle(), dc)) bitmap_.Attach(bitmap.Detach());
}

BitmapDC::BitmapDC(const BITMAPINFO* info, HDC dc) {
  Dib bitmap(info, dc);
  if (Select(bitmap.GetHandle(), dc)) bitmap_.Attach(bitmap.Detach());
}

bool BitmapDC::Select(HBITMAP bitmap, HDC reference) {
  if (!bitmap) return false;
  MemoryDC memory(reference);
  if (!memory.GetHandle()) return false;
  HGDIOBJ previous = SelectObject(memory.GetHandle(), bitmap);
  if (!previous || previous == HGDI_ERROR) return false;
  previous_ = previous;
  dc_ = memory.Detach();
  return true;
}

BitmapDC::~BitmapDC() {
  if (dc_ && previous_) SelectObject(dc_, previous_);
  if (dc_) DeleteDC(dc_);
}

WindowDC::~WindowDC() {
  if (dc_) ReleaseDC(window_, dc_);
}

// DIB headers

int64_t BitmapInfoSize(const BITMAPINFOHEADER& header) {
  constexpr int64_t kHeader = sizeof(BITMAPINFOHEADER);
  if (header.biCompression == BI_BITFIELDS) return kHeader + 3 * sizeof(DWORD);
  if (header.biCompression == BI_JPEG || header.biCompression == BI_PNG || header.biBitCount > 8) return kHeader;
  const int64_t colours = header.biClrUsed ? int64_t{header.biClrUsed} : int64_t{1} << header.biBitCount;
  return kHeader + colours * int64_t{sizeof(RGBQUAD)};
}

void FillGreyColourTable(RGBQUAD* table, int bitsPerPixel) {
  if (bitsPerPixel < 1 || bitsPerPixel > 8) return;
  const int count = 1 << bitsPerPixel;
  for (int i = 0; i < count; ++i) {
    const auto grey = static_cast<BYTE>(i * 255 / (count - 1));
    table[i] = RGBQUAD{grey, grey, grey, 0};
  }
}
