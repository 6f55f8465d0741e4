#include "common/bitmap.h"

#include "common/fourcc.h"

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

