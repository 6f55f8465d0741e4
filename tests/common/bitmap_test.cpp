#include "common/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/fileutil.h"
#include "common/fourcc.h"
#include "common/xml.h"
#include "tests/support/capture.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

bool IsLiveGdiObject(HGDIOBJ object) { return GetObjectType(object) != 0; }

uint32_t* Pixels32(const BitmapDC& dc) {
  GdiFlush();
  return static_cast<uint32_t*>(dc.GetBits());
}

TEST(Bmp, AttachDetachAndOwnership) {
  HBITMAP first = CreateBitmap(4, 3, 1, 32, nullptr);
  HBITMAP second = CreateBitmap(2, 2, 1, 32, nullptr);
  {
    Bmp bitmap(first);
    EXPECT_EQ(4, bitmap.GetBitmap().bmWidth);
    bitmap.Attach(first);  // the same handle: nothing is deleted
    EXPECT_TRUE(IsLiveGdiObject(first));
    bitmap.Attach(second);
    EXPECT_FALSE(IsLiveGdiObject(first));
    EXPECT_EQ(2, bitmap.GetBitmap().bmWidth);
    EXPECT_EQ(second, bitmap.Detach());
    EXPECT_EQ(nullptr, bitmap.GetHandle());
    EXPECT_EQ(2, bitmap.GetBitmap().bmWidth);  // the description stays
  }
  EXPECT_TRUE(IsLiveGdiObject(second));
  {
    Bmp owner(second);
  }
  EXPECT_FALSE(IsLiveGdiObject(second));

  EXPECT_EQ(nullptr, Ddb(0, 5).GetHandle());
  EXPECT_EQ(nullptr, Dib(5, 0, 32).GetHandle());
  const Ddb ddb(10, 7);
  EXPECT_EQ(10, ddb.GetBitmap().bmWidth);
  EXPECT_EQ(7, ddb.GetBitmap().bmHeight);
}

TEST(Dib, LowBitCountsCarryAGreyTable) {
  for (int bits : {1, 4, 8}) {
    BitmapDC dc(3, 3, bits, nullptr);
    ASSERT_NE(nullptr, dc.GetHandle());
    RGBQUAD table[256] = {};
    const UINT count = GetDIBColorTable(dc.GetHandle(), 0, 256, table);
    ASSERT_EQ(1u << bits, count);
    EXPECT_EQ(0, table[0].rgbRed);
    EXPECT_EQ(255, table[count - 1].rgbBlue);
    for (UINT i = 0; i < count; ++i) {
      EXPECT_EQ(i * 255 / (count - 1), table[i].rgbGreen);
      EXPECT_EQ(table[i].rgbRed, table[i].rgbBlue);
    }
  }
  const Dib dib(6, 5, 32);
  EXPECT_NE(nullptr, dib.GetBitmap().bmBits);
  EXPECT_EQ(32, dib.GetBitmap().bmBitsPixel);
}

TEST(BitmapDC, FailedSelectionLeavesTheBitmapWithItsOwner) {
  Dib dib(4, 4, 32);
  HBITMAP handle = dib.GetHandle();
  {
    BitmapDC first(dib, nullptr);
    ASSERT_NE(nullptr, first.GetHandle());
    EXPECT_EQ(nullptr, dib.GetHandle());
    EXPECT_EQ(handle, GetCurrentObject(first.GetHandle(), OBJ_BITMAP));

    // A bitmap already selected into a DC cannot be selected into another.
    Bmp borrowed(handle);
    BitmapDC second(borrowed, nullptr);
    EXPECT_EQ(nullptr, second.GetHandle());
    EXPECT_EQ(handle, borrowed.Detach());
  }
  // The DC let its bitmap go and deleted it.
  EXPECT_FALSE(IsLiveGdiObject(handle));
  EXPECT_EQ(nullptr, BitmapDC(static_cast<HBITMAP>(nullptr), nullptr).GetHandle());
  const BitmapDC ddb(5, 6, nullptr);
  EXPECT_EQ(5, ddb.GetWidth());
}

TEST(Bitmaps, InfoSizes) {
  const struct {
    WORD bits;
    DWORD compression;
    DWORD used;
    int64_t size;
  } cases[] = {
      {8, BI_RGB, 0, 1064},  {8, BI_RGB, 16, 104}, {24, BI_RGB, 0, 40},   {4, BI_RGB, 0, 104},
      {16, BI_BITFIELDS, 0, 52}, {8, BI_JPEG, 0, 40}, {8, BI_PNG, 0, 40}, {32, BI_RGB, 7, 40},
  };
  for (const auto& c : cases) {
    BITMAPINFOHEADER header = {};
    header.biBitCount = c.bits;
    header.biCompression = c.compression;
    header.biClrUsed = c.used;
    EXPECT_EQ(c.size, BitmapInfoSize(header)) << c.bits << " " << c.compression << " " << c.used;
  }
}

TEST(Bitmaps, PremultiplyAlphaAndBlend) {
  BitmapDC source(1, 1, 32, nullptr);
  ASSERT_NE(nullptr, source.GetBits());
  const uint8_t pixel[4] = {200, 100, 50, 128};
  std::memcpy(Pixels32(source), pixel, 4);
  source.PremultiplyAlpha();
  uint8_t result[4];
  std::memcpy(result, Pixels32(source), 4);
  EXPECT_EQ((std::vector<uint8_t>{100, 50, 25, 128}), std::vector<uint8_t>(result, result + 4));

  BitmapDC opaque(1, 1, 24, nullptr);
  auto* bytes = static_cast<uint8_t*>(opaque.GetBits());
  bytes[0] = 200;
  opaque.PremultiplyAlpha();
  EXPECT_EQ(200, bytes[0]);

  // Source over white: each channel is source + white * (255 - alpha) / 255.
  BitmapDC target(1, 1, 32, nullptr);
  *Pixels32(target) = 0xFFFFFFFF;
  ASSERT_TRUE(AlphaBlendPixels(target.GetHandle(), 0, 0, 1, 1, source.GetHandle(), 0, 0, 1, 1));
  std::memcpy(result, Pixels32(target), 4);
  EXPECT_NEAR(100 + 127, result[0], 1);
  EXPECT_NEAR(50 + 127, result[1], 1);
  EXPECT_NEAR(25 + 127, result[2], 1);
}

TEST(Bitmaps, TileFillsTheDestinationWithCopies) {
  BitmapDC tile(16, 16, 32, nullptr);
  BitmapDC target(100, 40, 32, nullptr);
  for (int i = 0; i < 16 * 16; ++i) Pixels32(tile)[i] = 0x00010000u * static_cast<uint32_t>(i) + 7;
  TileBitmap(target.GetHandle(), tile.GetHandle());
  const uint32_t* tiled = Pixels32(target);
  const uint32_t* source = Pixels32(tile);
  // Both are bottom-up: row y of the picture is memory row height - 1 - y.
  int wrong = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x) wrong += tiled[(39 - y) * 100 + x] != source[(15 - y % 16) * 16 + x % 16];
  EXPECT_EQ(0, wrong);
}

TEST(Bitmaps, SaversRestoreTheDC) {
  MemoryDC dc;
  ASSERT_NE(nullptr, dc.GetHandle());
  HGDIOBJ brushBefore = GetCurrentObject(dc.GetHandle(), OBJ_BRUSH);
  HGDIOBJ brush = nullptr;
  {
    TextColorSaver text(dc.GetHandle(), RGB(1, 2, 3));
    BkModeSaver background(dc.GetHandle(), TRANSPARENT, RGB(4, 5, 6));
    BrushSelector selector(dc.GetHandle(), RGB(7, 8, 9));
    brush = GetCurrentObject(dc.GetHandle(), OBJ_BRUSH);
    EXPECT_EQ(RGB(4, 5, 6), GetBkColor(dc.GetHandle()));
  }
  // The brush made for the scope is deselected and deleted; a borrowed pen is only deselected.
  EXPECT_EQ(brushBefore, GetCurrentObject(dc.GetHandle(), OBJ_BRUSH));
  EXPECT_FALSE(IsLiveGdiObject(brush));
  EXPECT_EQ(OPAQUE, GetBkMode(dc.GetHandle()));
  EXPECT_EQ(RGB(0, 0, 0), GetTextColor(dc.GetHandle()));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 1, 1));
  { ObjectSelector borrowed(dc.GetHandle(), pen, false); }
  EXPECT_TRUE(IsLiveGdiObject(pen));
  { ObjectSelector owned(dc.GetHandle(), pen, true); }
  EXPECT_FALSE(IsLiveGdiObject(pen));
}

// Pixel values the host check recomputes: channel c of pixel (x, y).
uint8_t PatternByte(int x, int y, int channel) { return static_cast<uint8_t>(x * 7 + y * 13 + channel * 101); }

std::vector<uint8_t> PatternPixels(int width, int height, int bits) {
  const int rowBytes = (width * bits + 31) / 32 * 4;
  std::vector<uint8_t> pixels(static_cast<size_t>(rowBytes) * static_cast<size_t>(std::abs(height)));
  for (int row = 0; row < std::abs(height); ++row) {
    // Rows are stored bottom-up unless the height is negative.
    const int y = height > 0 ? std::abs(height) - 1 - row : row;
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = &pixels[static_cast<size_t>(row * rowBytes + x * bits / 8)];
      if (bits == 16) {
        const uint16_t value = static_cast<uint16_t>((PatternByte(x, y, 2) >> 3) << 10 |
                                                     (PatternByte(x, y, 1) >> 3) << 5 | PatternByte(x, y, 0) >> 3);
        std::memcpy(pixel, &value, 2);
        continue;
      }
      for (int channel = 0; channel < bits / 8; ++channel) pixel[channel] = PatternByte(x, y, channel);
    }
  }
  return pixels;
}

TEST(WriteBmpFile, WritesHeadersTablesAndRows) {
  const struct {
    const wchar_t* name;
    int width, height, bits;
    size_t fileSize;
  } files[] = {
      {L"bmp24.bmp", 3, 2, 24, 78},          {L"bmp32.bmp", 3, 2, 32, 78},
      {L"bmp8.bmp", 5, 3, 8, 54 + 1024 + 24}, {L"bmp16.bmp", 7, 4, 16, 54 + 64},
      {L"bmp24_topdown.bmp", 9, -5, 24, 54 + 140},
  };
  for (const auto& f : files) {
    const std::vector<uint8_t> pixels = PatternPixels(f.width, f.height, f.bits);
    ASSERT_TRUE(WriteBmpFile(f.name, f.width, f.height, f.bits, pixels.data()));
    const std::string bytes = FileText(f.name);
    ASSERT_EQ(f.fileSize, bytes.size());
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER info;
    std::memcpy(&fileHeader, bytes.data(), sizeof(fileHeader));
    std::memcpy(&info, bytes.data() + sizeof(fileHeader), sizeof(info));
    EXPECT_EQ(0x4D42, fileHeader.bfType);
    EXPECT_EQ(f.fileSize, fileHeader.bfSize);
    EXPECT_EQ(f.fileSize - pixels.size(), fileHeader.bfOffBits);
    EXPECT_EQ(f.height, info.biHeight);
    EXPECT_EQ(pixels.size(), info.biSizeImage);
    EXPECT_EQ(0, std::memcmp(bytes.data() + fileHeader.bfOffBits, pixels.data(), pixels.size()));

    // The system reads the file back.
    const Dib loaded(f.name);
    ASSERT_NE(nullptr, loaded.GetHandle());
    EXPECT_EQ(f.width, loaded.GetBitmap().bmWidth);
  }

  const uint8_t pixel[16] = {};
  const struct {
    int width, height, bits;
    const void* pixels;
  } refused[] = {{3, 2, 15, pixel}, {0, 2, 24, pixel}, {3, 0, 24, pixel}, {3, 2, 24, nullptr},
                 {1, 1, 4, pixel},  {65536, 65536, 32, pixel}};
  for (const auto& r : refused) {
    EXPECT_FALSE(WriteBmpFile(L"refused.bmp", r.width, r.height, r.bits, r.pixels)) << r.bits;
    EXPECT_EQ(-1, GetFileSize64(L"refused.bmp"));
  }
  EXPECT_FALSE(WriteBmpFile(L"no\\such\\folder.bmp", 1, 1, 32, pixel));

  EXPECT_EQ(nullptr, Dib(L"missing.bmp").GetHandle());
  EXPECT_EQ(std::vector<std::wstring>{L"Faield to load bitmap file missing.bmp\n"}, RecordedErrors().Pushed());
}

TEST(Bitmaps, ColourHexText) {
  COLORREF colour = RGB(0x11, 0x22, 0xAB);
  std::wstring text;
  ASSERT_TRUE(ColorHexFilter::Convert(colour, text, true));
  EXPECT_EQ(L"1122AB", text);
  text = L"a0B1c2";
  ASSERT_TRUE(ColorHexFilter::Convert(colour, text, false));
  EXPECT_EQ(RGB(0xA0, 0xB1, 0xC2), colour);
  text = L"12345";
  EXPECT_FALSE(ColorHexFilter::Convert(colour, text, false));
  EXPECT_EQ(0u, colour);
}

TEST(Bitmaps, Dumps) {
  CapturedStream out;
  BITMAPINFOHEADER header = {sizeof(BITMAPINFOHEADER), 320, -240, 1, 32, BI_BITFIELDS, 307200, 0, 0, 0, 0};
  out.stream.PrintField<BITMAPINFOHEADER>(L"bmiHeader: ", header);
  header.biCompression = MakeFourCCCode('w', 'B', 'v', 'k');
  DumpBitmapInfoHeader(out.stream, header);
  out.stream.PrintField<RECT>(L"rcSource: ", RECT{10, 20, 110, 70});
  EXPECT_EQ(L"bmiHeader: biSize: 40\n  biWidth: 320\n  biHeight: -240\n  biPlanes: 1\n  biBitCount: 32\n"
            L"  biCompression: BI_BITFIELDS\n  biSizeImage: 307200\n  biXPelsPerMeter: 0\n  biYPelsPerMeter: 0\n"
            L"  biClrUsed: 0\n  biClrImportant: 0\n\n"
            L"  biSize: 40\n  biWidth: 320\n  biHeight: -240\n  biPlanes: 1\n  biBitCount: 32\n"
            L"  biCompression: wBvk\n  biSizeImage: 307200\n  biXPelsPerMeter: 0\n  biYPelsPerMeter: 0\n"
            L"  biClrUsed: 0\n  biClrImportant: 0\n"
            L"rcSource: 10 20 100 50\n",
            out.handler->Text());

  out.handler->pieces.clear();
  const Dib dib(2, 3, 32);
  DIBSECTION section = {};
  ASSERT_EQ(static_cast<int>(sizeof(section)), GetObjectW(dib.GetHandle(), sizeof(section), &section));
  DumpDibSection(out.stream, section);
  const std::wstring text = out.handler->Text();
  EXPECT_NE(std::wstring::npos, text.find(L"dsBm: bmType: 0\n")) << text;
  EXPECT_NE(std::wstring::npos, text.find(L"    bmWidthBytes: 8\n")) << text;
  EXPECT_NE(std::wstring::npos, text.find(L"    biSizeImage: 24\n")) << text;
  EXPECT_NE(std::wstring::npos, text.find(L"  dsOffset: 0\n")) << text;
}

TEST(Bitmaps, LogFontThroughTheSettingsTree) {
  LOGFONTW font = {};
  font.lfHeight = -13;
  font.lfWeight = FW_BOLD;
  font.lfItalic = 1;
  font.lfCharSet = 238;
  font.lfPitchAndFamily = 0x22;
  wcscpy(font.lfFaceName, L"Tahoma");
  XmlElement root(nullptr, L"Font");
  {
    XmlData saving(false, nullptr, &root, false);
    ASSERT_TRUE(ExchangeLogFont(saving, font));
  }
  std::vector<std::wstring> names;
  for (const XmlElement* child : root.GetChildren()) names.push_back(child->GetName());
  EXPECT_EQ((std::vector<std::wstring>{L"Height", L"Width", L"Escapement", L"Orientation", L"Weight", L"Italic",
                                       L"Underline", L"StrikeOut", L"CharSet", L"OutPrecision", L"ClipPrecision",
                                       L"Quality", L"PitchAndFamily", L"FaceName"}),
            names);

  LOGFONTW loaded = {};
  XmlData loading(true, nullptr, &root, false);
  ASSERT_TRUE(ExchangeLogFont(loading, loaded));
  EXPECT_EQ(0, std::memcmp(&font, &loaded, sizeof(font)));

  // A missing field stops the exchange there.
  XmlElement partial(nullptr, L"Font");
  partial.AddChild(L"Height")->SetText(L"20");
  partial.AddChild(L"Weight")->SetText(L"400");
  LOGFONTW cut = {};
  XmlData loadingPartial(true, nullptr, &partial, false);
  EXPECT_FALSE(ExchangeLogFont(loadingPartial, cut));
  EXPECT_EQ(20, cut.lfHeight);
  EXPECT_EQ(0, cut.lfWeight);
}

}  // namespace
