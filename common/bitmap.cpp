#include "common/bitmap.h"

#include <cstdio>
#include <cstdlib>

#include "common/datanode.h"
#include "common/dib.h"
#include "common/error.h"
#include "common/fourcc.h"
#include "common/strutil.h"

namespace {

// A BITMAPINFO with room for the largest colour table.
struct BitmapInfoWithTable {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

bool ReadBitmap(HGDIOBJ handle, BITMAP& bitmap) {
  bitmap = {};
  return handle && GetObjectW(handle, sizeof(BITMAP), &bitmap) == sizeof(BITMAP);
}

}  // namespace

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

// Savers

BkModeSaver::BkModeSaver(HDC dc, int mode, COLORREF colour)
    : dc_(dc), previousMode_(SetBkMode(dc, mode)), previousColour_(SetBkColor(dc, colour)) {}

BkModeSaver::~BkModeSaver() {
  SetBkColor(dc_, previousColour_);
  SetBkMode(dc_, previousMode_);
}

ObjectSelector::ObjectSelector(HDC dc, HGDIOBJ object, bool owns) : dc_(dc), object_(object), owns_(owns) {
  if (dc_ && object_) previous_ = SelectObject(dc_, object_);
  if (previous_ == HGDI_ERROR) previous_ = nullptr;
}

ObjectSelector::~ObjectSelector() {
  if (dc_ && previous_) SelectObject(dc_, previous_);
  if (object_ && owns_) DeleteObject(object_);
}

// Free functions

int64_t BitmapInfoSize(const BITMAPINFOHEADER& header) {
  constexpr int64_t kHeader = sizeof(BITMAPINFOHEADER);
  if (header.biCompression == BI_BITFIELDS) return kHeader + 3 * sizeof(DWORD);
  if (header.biCompression == BI_JPEG || header.biCompression == BI_PNG || header.biBitCount > 8) return kHeader;
  const int64_t colours = header.biClrUsed ? int64_t{header.biClrUsed} : int64_t{1} << header.biBitCount;
  return kHeader + colours * int64_t{sizeof(RGBQUAD)};
}

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

void FillGreyColourTable(RGBQUAD* table, int bitsPerPixel) {
  if (bitsPerPixel < 1 || bitsPerPixel > 8) return;
  const int count = 1 << bitsPerPixel;
  for (int i = 0; i < count; ++i) {
    const auto grey = static_cast<BYTE>(i * 255 / (count - 1));
    table[i] = RGBQUAD{grey, grey, grey, 0};
  }
}

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

bool ColorHexFilter::Convert(COLORREF& colour, std::wstring& text, bool writing) {
  if (writing) {
    text.clear();
    for (int i = 0; i < 3; ++i) {
      const int byte = static_cast<int>((colour >> (8 * i)) & 0xFF);
      text += HexDigitChar(byte >> 4);
      text += HexDigitChar(byte & 0xF);
    }
    return true;
  }
  colour = 0;
  if (text.size() != 6) return false;
  for (int i = 0; i < 3; ++i) {
    const auto byte = static_cast<COLORREF>(HexDigitValue(text[2 * i]) * 16 + HexDigitValue(text[2 * i + 1]));
    colour |= byte << (8 * i);
  }
  return true;
}

// Dumps

TextStream& PrintRect(TextStream& stream, const RECT& rect) {
  stream.Printf(L"%d %d %d %d", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  return stream;
}

TextStream& DumpBitmap(TextStream& stream, const BITMAP& bitmap) {
  IndentGuard indent(stream);
  stream.PrintLabelled(L"bmType: ", bitmap.bmType);
  stream.PrintLabelled(L"bmWidth: ", bitmap.bmWidth);
  stream.PrintLabelled(L"bmHeight: ", bitmap.bmHeight);
  stream.PrintLabelled(L"bmWidthBytes: ", bitmap.bmWidthBytes);
  stream.PrintLabelled(L"bmPlanes: ", bitmap.bmPlanes);
  stream.PrintLabelled(L"bmBitsPixel: ", bitmap.bmBitsPixel);
  stream.PrintField<void*>(L"bmBits: ", bitmap.bmBits);
  return stream;
}

TextStream& DumpBitmapInfoHeader(TextStream& stream, const BITMAPINFOHEADER& header) {
  static const wchar_t* const kCompressionNames[] = {L"BI_RGB",       L"BI_RLE8", L"BI_RLE4",
                                                     L"BI_BITFIELDS", L"BI_JPEG", L"BI_PNG"};
  IndentGuard indent(stream);
  stream.PrintLabelled(L"biSize: ", static_cast<int32_t>(header.biSize));
  stream.PrintLabelled(L"biWidth: ", header.biWidth);
  stream.PrintLabelled(L"biHeight: ", header.biHeight);
  stream.PrintLabelled(L"biPlanes: ", header.biPlanes);
  stream.PrintLabelled(L"biBitCount: ", header.biBitCount);
  const std::wstring compression = header.biCompression <= BI_PNG ? kCompressionNames[header.biCompression]
                                                                   : FourCCToString(header.biCompression,
                                                                                    kFourCCKeepCase);
  stream.Printf(L"biCompression: %s\n", compression.c_str());
  stream.PrintLabelled(L"biSizeImage: ", static_cast<int32_t>(header.biSizeImage));
  stream.PrintLabelled(L"biXPelsPerMeter: ", header.biXPelsPerMeter);
  stream.PrintLabelled(L"biYPelsPerMeter: ", header.biYPelsPerMeter);
  stream.PrintLabelled(L"biClrUsed: ", static_cast<int32_t>(header.biClrUsed));
  stream.PrintLabelled(L"biClrImportant: ", static_cast<int32_t>(header.biClrImportant));
  return stream;
}

TextStream& DumpDibSection(TextStream& stream, const DIBSECTION& section) {
  IndentGuard indent(stream);
  stream.PrintField<BITMAP>(L"dsBm: ", section.dsBm);
  stream.PrintField<BITMAPINFOHEADER>(L"dsBmih: ", section.dsBmih);
  stream.PrintLabelled(L"dsBitfields[0]: ", static_cast<int32_t>(section.dsBitfields[0]));
  stream.PrintLabelled(L"dsBitfields[1]: ", static_cast<int32_t>(section.dsBitfields[1]));
  stream.PrintLabelled(L"dsBitfields[2]: ", static_cast<int32_t>(section.dsBitfields[2]));
  stream.PrintField<void*>(L"dshSection: ", section.dshSection);
  stream.PrintLabelled(L"dsOffset: ", static_cast<int32_t>(section.dsOffset));
  return stream;
}

template <> void TextStream::Print<BITMAP>(BITMAP value) { DumpBitmap(*this, value); }

template <> void TextStream::PrintField<RECT>(const wchar_t* label, RECT value) {
  Print<const wchar_t*>(label);
  PrintRect(*this, value);
  Printf(L"\n");
}

template <> void TextStream::PrintField<BITMAPINFOHEADER>(const wchar_t* label, BITMAPINFOHEADER value) {
  Print<const wchar_t*>(label);
  DumpBitmapInfoHeader(*this, value);
  Printf(L"\n");
}

template <> void TextStream::PrintField<BITMAP>(const wchar_t* label, BITMAP value) {
  Print<const wchar_t*>(label);
  DumpBitmap(*this, value);
  Printf(L"\n");
}

// Settings

bool ExchangeLogFont(DataNode& node, LOGFONTW& font) {
  BufferString faceName{font.lfFaceName, LF_FACESIZE};
  FilterPair<BufferString> facePair = MakeFilterPair(&faceName, &BufferString::Convert);
  NodableByFilter<BufferString> face(&facePair);
  return node.ExchangeChild(L"Height", font.lfHeight) && node.ExchangeChild(L"Width", font.lfWidth) &&
         node.ExchangeChild(L"Escapement", font.lfEscapement) &&
         node.ExchangeChild(L"Orientation", font.lfOrientation) && node.ExchangeChild(L"Weight", font.lfWeight) &&
         node.ExchangeChild(L"Italic", font.lfItalic) && node.ExchangeChild(L"Underline", font.lfUnderline) &&
         node.ExchangeChild(L"StrikeOut", font.lfStrikeOut) && node.ExchangeChild(L"CharSet", font.lfCharSet) &&
         node.ExchangeChild(L"OutPrecision", font.lfOutPrecision) &&
         node.ExchangeChild(L"ClipPrecision", font.lfClipPrecision) &&
         node.ExchangeChild(L"Quality", font.lfQuality) &&
         node.ExchangeChild(L"PitchAndFamily", font.lfPitchAndFamily) &&
         node.ExchangeChild(L"FaceName", static_cast<Nodable&>(face));
}
