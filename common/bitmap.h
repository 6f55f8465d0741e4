#pragma once
// Owning wrappers for GDI bitmaps and device contexts (bitmap.cpp), scoped savers of device-context
// state (gdisaver.cpp), a .bmp writer (bmpfile.cpp), blending and tiling (blend.cpp), text dumps of
// GDI bitmap structures (gdidump.cpp) and the exchange of colours and a LOGFONT with the settings
// tree (gdisettings.cpp): one source each, so that a deliverable links only what it uses. Each
// wrapper owns exactly one GDI object and frees it in its destructor; none reports errors except
// the loading of a bitmap file.

#include <windows.h>

#include <cstdint>
#include <string>

#include "common/text.h"

class DataNode;

class Bmp {
 public:
  Bmp() = default;
  // Adopts the handle.
  explicit Bmp(HBITMAP handle) { Attach(handle); }
  virtual ~Bmp();
  Bmp(const Bmp&) = delete;
  Bmp& operator=(const Bmp&) = delete;

  // Deletes a different held bitmap, then holds this one and reads its description.
  void Attach(HBITMAP handle);
  // Gives the handle up without deleting it; the description stays.
  HBITMAP Detach();
  HBITMAP GetHandle() const { return handle_; }
  const BITMAP& GetBitmap() const { return bitmap_; }

  // For a 32-bit bitmap with pixel memory: each colour byte becomes byte * alpha / 255.
  void PremultiplyAlpha();

 private:
  HBITMAP handle_ = nullptr;
  BITMAP bitmap_ = {};  // all zero when empty
};

// A device-dependent bitmap.
class Ddb : public Bmp {
 public:
  // Compatible with the DC, or with the screen when there is none; empty for a size below 1.
  Ddb(int width, int height, HDC dc = nullptr);
  Ddb(HINSTANCE module, int resourceId);
};

// A DIB section; its pixels are reachable through the description's bmBits.
class Dib : public Bmp {
 public:
  // Bottom-up rows; at 8 bits or fewer the section carries a grey colour table. Empty for a size
  // below 1.
  Dib(int width, int height, int bitsPerPixel, HDC dc = nullptr);
  // Adopted only when both the handle and the pixel pointer came back.
  Dib(const BITMAPINFO* info, HDC dc);
  // Reports "Faield to load bitmap file %s" and stays empty when the file does not load.
  explicit Dib(const wchar_t* path);
};

class MemoryDC {
 public:
  explicit MemoryDC(HDC compatibleWith = nullptr) : dc_(CreateCompatibleDC(compatibleWith)) {}
  ~MemoryDC();
  MemoryDC(const MemoryDC&) = delete;
  MemoryDC& operator=(const MemoryDC&) = delete;

  HDC GetHandle() const { return dc_; }
  HDC Detach();

 private:
  HDC dc_;
};

// A memory DC with a bitmap selected into it; owns both and restores the DC's previous bitmap
// before deleting them. Empty when the bitmap is missing or cannot be selected.
class BitmapDC {
 public:
  // The bitmap is adopted only when its selection succeeded.
  BitmapDC(HBITMAP bitmap, HDC reference);
  // Takes the bitmap out of the Bmp only when its selection succeeded.
  BitmapDC(Bmp& bitmap, HDC reference);
  BitmapDC(int width, int height, HDC dc);
  BitmapDC(HINSTANCE module, int resourceId);
  BitmapDC(int width, int height, int bitsPerPixel, HDC dc);
  BitmapDC(const BITMAPINFO* info, HDC dc);
  ~BitmapDC();
  BitmapDC(const BitmapDC&) = delete;
  BitmapDC& operator=(const BitmapDC&) = delete;

  HDC GetHandle() const { return dc_; }
  const BITMAP& GetBitmap() const { return bitmap_.GetBitmap(); }
  int GetWidth() const { return GetBitmap().bmWidth; }
  int GetHeight() const { return GetBitmap().bmHeight; }
  int GetBitsPerPixel() const { return GetBitmap().bmBitsPixel; }
  void* GetBits() const { return GetBitmap().bmBits; }
  void PremultiplyAlpha() { bitmap_.PremultiplyAlpha(); }

 private:
  // Selects the bitmap into a new DC; true when it could.
  bool Select(HBITMAP bitmap, HDC reference);

  HDC dc_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  Bmp bitmap_;
};

class WindowDC {
 public:
  explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDC();
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;

  HDC GetHandle() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Scoped savers: each destructor restores what its constructor changed.
class TextColorSaver {
 public:
  TextColorSaver(HDC dc, COLORREF colour) : dc_(dc), previous_(SetTextColor(dc, colour)) {}
  ~TextColorSaver() { SetTextColor(dc_, previous_); }
  TextColorSaver(const TextColorSaver&) = delete;
  TextColorSaver& operator=(const TextColorSaver&) = delete;

 private:
  HDC dc_;
  COLORREF previous_;
};

class BkModeSaver {
 public:
  BkModeSaver(HDC dc, int mode, COLORREF colour);
  ~BkModeSaver();
  BkModeSaver(const BkModeSaver&) = delete;
  BkModeSaver& operator=(const BkModeSaver&) = delete;

 private:
  HDC dc_;
  int previousMode_;
  COLORREF previousColour_;
};

// Selects an object and reselects the previous one at the end; deletes the object when it owns it.
class ObjectSelector {
 public:
  ObjectSelector(HDC dc, HGDIOBJ object, bool owns);
  ~ObjectSelector();
  ObjectSelector(const ObjectSelector&) = delete;
  ObjectSelector& operator=(const ObjectSelector&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ previous_ = nullptr;
  bool owns_;
};

class PenSelector : public ObjectSelector {
 public:
  PenSelector(HDC dc, int style, int width, COLORREF colour)
      : ObjectSelector(dc, CreatePen(style, width, colour), true) {}
};

class BrushSelector : public ObjectSelector {
 public:
  BrushSelector(HDC dc, COLORREF colour) : ObjectSelector(dc, CreateSolidBrush(colour), true) {}
};

// The description of a bitmap; all zero, and false, when the handle is no bitmap.
bool ReadBitmap(HGDIOBJ handle, BITMAP& bitmap);
// Header plus colour table in bytes: 52 for BI_BITFIELDS; 40 for BI_JPEG, BI_PNG and more than
// 8 bits; else 40 + 4 * (biClrUsed, or 2^bits when it is 0).
int64_t BitmapInfoSize(const BITMAPINFOHEADER& header);
// Fills the destination DC's bitmap with copies of the source DC's bitmap.
void TileBitmap(HDC destination, HDC source);
// AlphaBlend, source over, with per-pixel source alpha.
bool AlphaBlendPixels(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                      int sourceWidth, int sourceHeight);
// A .bmp file of 8, 16, 24 or 32 bits per pixel; a negative height writes a top-down file. 8-bit
// files carry a grey colour table. False, with no file created, for refused arguments or a file
// larger than 4 GiB; false, with the partial file removed, when a write fails.
bool WriteBmpFile(const wchar_t* path, int width, int height, int bitsPerPixel, const void* pixels);
bool WriteBmpFile(const wchar_t* path, const BITMAP& bitmap);
// The 2^bits entries of a grey ramp from black to white, for 8 bits per pixel or fewer.
void FillGreyColourTable(RGBQUAD* table, int bitsPerPixel);

struct ColorHexFilter {
  // Writing: red, green and blue as six upper-case hex digits. Reading: the colour is zeroed, then
  // exactly six hex digits give its three bytes.
  static bool Convert(COLORREF& colour, std::wstring& text, bool writing);
};

// "left top width height".
TextStream& PrintRect(TextStream& stream, const RECT& rect);
TextStream& DumpBitmap(TextStream& stream, const BITMAP& bitmap);
TextStream& DumpBitmapInfoHeader(TextStream& stream, const BITMAPINFOHEADER& header);
TextStream& DumpDibSection(TextStream& stream, const DIBSECTION& section);

// One child per field in structure order ("Height" ... "FaceName"); false at the first failure.
bool ExchangeLogFont(DataNode& node, LOGFONTW& font);

// Typed prints of the text stream for the GDI structures.
template <> void TextStream::Print<BITMAP>(BITMAP value);
template <> void TextStream::PrintField<RECT>(const wchar_t* label, RECT value);
template <> void TextStream::PrintField<BITMAPINFOHEADER>(const wchar_t* label, BITMAPINFOHEADER value);
template <> void TextStream::PrintField<BITMAP>(const wchar_t* label, BITMAP value);
