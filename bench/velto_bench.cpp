// Codec benchmark: a deterministic synthetic screen recording (desktop, windows with rows of
// glyphs that scroll and grow, a moving pointer, a video playing in one window, a window dragged
// now and then), 1280x720 at 32, 16 and 24 bits. Measures the bare frame coder and the real
// velto.dll through its DriverProc at deflate levels 1, 6 and 9, checks every frame round trip,
// and writes the 32- and 16-bit frames top-down to raw files for other encoders.
//
//   velto_bench.exe [output folder] [frame count]

#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/velto/source/coder.h"
#include "common/format.h"
#include "common/module.h"
#include "common/window.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kKeyInterval = 80;
constexpr DWORD kWbvk = mmioFOURCC('w', 'b', 'v', 'k');

using DriverProcFunction = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

// The scene in 32-bit pixels, row 0 at the top.
class Screen {
 public:
  Screen() : pixels_(static_cast<size_t>(kWidth) * kHeight) {}

  void Render(int frame) {
    // Wallpaper: a vertical gradient.
    for (int y = 0; y < kHeight; ++y) Fill(0, y, kWidth, 1, 0x00205070u + static_cast<uint32_t>(y / 24) * 0x00010101u);
    // A window is dragged across the desktop for 20 frames of every 150.
    const int drag = frame % 150 < 20 ? frame % 150 : (frame % 150 < 75 ? 20 : 0);
    DrawEditor(80 + drag * 12, 60 + drag * 4, 720, 470, frame);
    DrawPlayer(860, 140, 360, 220, frame);
    // Taskbar with a clock that changes once a second (ten frames).
    Fill(0, kHeight - 40, kWidth, 40, 0x00C0C0C0u);
    for (int b = 0; b < 5; ++b) Fill(60 + b * 160, kHeight - 34, 150, 28, b == 0 ? 0x00E0E0E0u : 0x00B0B0B0u);
    DrawText(kWidth - 90, kHeight - 26, 8, static_cast<uint32_t>(frame / 10), 0);
    DrawPointer(frame);
  }

  const uint32_t* Row(int y) const { return &pixels_[static_cast<size_t>(y) * kWidth]; }

 private:
  void Fill(int left, int top, int width, int height, uint32_t colour) {
    for (int y = std::max(0, top); y < std::min(kHeight, top + height); ++y)
      for (int x = std::max(0, left); x < std::min(kWidth, left + width); ++x) pixels_[y * kWidth + x] = colour;
  }
  void Put(int x, int y, uint32_t colour) {
    if (x >= 0 && y >= 0 && x < kWidth && y < kHeight) pixels_[y * kWidth + x] = colour;
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
  void DrawFrame(int left, int top, int width, int height, const wchar_t*) {
    Fill(left - 1, top - 1, width + 2, height + 2, 0x00404040u);
    Fill(left, top, width, 24, 0x002050C0u);
    DrawText(left + 8, top + 8, 20, static_cast<uint32_t>(left), 0x00FFFFFFu);
  }
  // A text editor: one more glyph typed every frame, scrolling a line every 40 frames.
  void DrawEditor(int left, int top, int width, int height, int frame) {
    DrawFrame(left, top, width, height, L"editor");
    Fill(left, top + 24, width, height - 24, 0x00FFFFFFu);
    const int lineHeight = 14;
    const int lines = (height - 34) / lineHeight;
    const int perLine = (width - 20) / 7;
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
    DrawFrame(left, top, width, height, L"player");
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
    const int px = static_cast<int>(640 + 560 * std::sin(t * 1.3));
    const int py = static_cast<int>(360 + 300 * std::sin(t * 0.7 + 1));
    for (int y = 0; y < 19; ++y)
      for (int x = 0; x <= y * 2 / 3 && x < 12; ++x) Put(px + x, py + y, x == 0 || x == y * 2 / 3 ? 0 : 0x00FFFFFFu);
  }

  std::vector<uint32_t> pixels_;
};

// The screen as a bottom-up DIB of the given depth.
void ToDib(const Screen& screen, int bits, std::vector<uint8_t>& dib) {
  const int64_t stride = FrameStride(kWidth, bits);
  dib.assign(static_cast<size_t>(stride * kHeight), 0);
  for (int y = 0; y < kHeight; ++y) {
    const uint32_t* source = screen.Row(kHeight - 1 - y);
    uint8_t* row = &dib[static_cast<size_t>(y * stride)];
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t c = source[x];
      if (bits == 32) {
        memcpy(row + x * 4, &c, 4);
      } else if (bits == 24) {
        row[x * 3] = static_cast<uint8_t>(c);
        row[x * 3 + 1] = static_cast<uint8_t>(c >> 8);
        row[x * 3 + 2] = static_cast<uint8_t>(c >> 16);
      } else {
        const uint16_t v = static_cast<uint16_t>((c >> 8 & 0xF800) | (c >> 5 & 0x07E0) | (c >> 3 & 0x001F));
        memcpy(row + x * 2, &v, 2);
      }
    }
  }
}

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

BITMAPINFOHEADER Header(int bits, DWORD compression) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = kWidth;
  header.biHeight = kHeight;
  header.biPlanes = 1;
  header.biBitCount = static_cast<WORD>(bits);
  header.biCompression = compression;
  return header;
}

LPARAM P(const void* pointer) { return reinterpret_cast<LPARAM>(pointer); }

struct Totals {
  double rawBytes = 0;
  double packedBytes = 0;
  double encodeSeconds = 0;
  double decodeSeconds = 0;
  int mismatches = 0;
};

void PrintRow(const char* what, int bits, int level, int frames, const Totals& t) {
  const double mb = t.rawBytes / 1e6;
  printf("%-6s %5d %5d %6d %9.1f %9.2f %8.1f %10.1f %10.1f %5d\n", what, bits, level, frames, mb,
         t.packedBytes / 1e6, t.rawBytes / t.packedBytes, mb / t.encodeSeconds, mb / t.decodeSeconds, t.mismatches);
  fflush(stdout);
}

// The bare coder: key frames every 80, delta frames between, decoded onto the previous frame.
void BenchCoder(int bits, int frames) {
  Screen screen;
  std::vector<uint8_t> previous, current, decoded;
  const int64_t bound = MaxStreamSize(kWidth, kHeight, bits);
  std::vector<uint8_t> stream(static_cast<size_t>(bound));
  Totals totals;
  for (int i = 0; i < frames; ++i) {
    screen.Render(i);
    ToDib(screen, bits, current);
    const bool key = i % kKeyInterval == 0;
    double start = Now();
    const int32_t length = key ? EncodeKeyFrame(current.data(), stream.data(), kWidth, kHeight, bits)
                               : EncodeDeltaFrame(previous.data(), current.data(), stream.data(), kWidth, kHeight, bits);
    totals.encodeSeconds += Now() - start;
    if (key) decoded.assign(current.size(), 0);
    start = Now();
    const bool complete = DecodeFrame(stream.data(), length, decoded.data(), kWidth, kHeight, bits);
    totals.decodeSeconds += Now() - start;
    if (!complete || decoded != current) ++totals.mismatches;
    totals.rawBytes += static_cast<double>(current.size());
    totals.packedBytes += length;
    previous.swap(current);
  }
  PrintRow("coder", bits, 0, frames, totals);
}

// The real driver: one compressing and one decompressing instance, as a capture and a player.
void BenchDriver(DriverProcFunction driverProc, int bits, int level, int frames, FILE* raw) {
  ICOPEN open = {};
  open.dwSize = sizeof(open);
  open.fccType = ICTYPE_VIDEO;
  open.fccHandler = kWbvk;
  const DWORD_PTR compressor = static_cast<DWORD_PTR>(driverProc(0, nullptr, DRV_OPEN, 0, P(&open)));
  const DWORD_PTR decompressor = static_cast<DWORD_PTR>(driverProc(0, nullptr, DRV_OPEN, 0, P(&open)));
  const uint8_t state[2] = {0x10, static_cast<uint8_t>(level)};
  driverProc(compressor, nullptr, ICM_SETSTATE, P(state), 2);
  BITMAPINFOHEADER input = Header(bits, BI_RGB);
  BITMAPINFOHEADER packed = Header(bits, kWbvk);
  BITMAPINFOHEADER output = Header(bits, BI_RGB);
  driverProc(compressor, nullptr, ICM_COMPRESS_BEGIN, P(&input), P(&packed));
  driverProc(decompressor, nullptr, ICM_DECOMPRESS_BEGIN, P(&packed), P(&output));
  std::vector<uint8_t> compressed(static_cast<size_t>(driverProc(compressor, nullptr, ICM_COMPRESS_GET_SIZE, P(&input), 0)));

  Screen screen;
  std::vector<uint8_t> frame, decoded, topDown;
  Totals totals;
  for (int i = 0; i < frames; ++i) {
    screen.Render(i);
    ToDib(screen, bits, frame);
    decoded.assign(frame.size(), 0);
    DWORD flags = 0;
    ICCOMPRESS compress = {};
    compress.lpbiInput = &input;
    compress.lpInput = frame.data();
    compress.lpbiOutput = &packed;
    compress.lpOutput = compressed.data();
    compress.lpdwFlags = &flags;
    double start = Now();
    const LRESULT compressResult = driverProc(compressor, nullptr, ICM_COMPRESS, P(&compress), sizeof(compress));
    totals.encodeSeconds += Now() - start;
    ICDECOMPRESS decompress = {};
    decompress.lpbiInput = &packed;
    decompress.lpInput = compressed.data();
    decompress.lpbiOutput = &output;
    decompress.lpOutput = decoded.data();
    start = Now();
    const LRESULT decompressResult = driverProc(decompressor, nullptr, ICM_DECOMPRESS, P(&decompress), sizeof(decompress));
    totals.decodeSeconds += Now() - start;
    if (compressResult != ICERR_OK || decompressResult != ICERR_OK || decoded != frame) ++totals.mismatches;
    totals.rawBytes += static_cast<double>(frame.size());
    totals.packedBytes += packed.biSizeImage;
    if (raw) {
      // Top-down rows, as raw video readers expect.
      const size_t stride = frame.size() / kHeight;
      for (int y = kHeight - 1; y >= 0; --y) fwrite(&frame[y * stride], 1, stride, raw);
    }
  }
  driverProc(compressor, nullptr, DRV_CLOSE, 0, 0);
  driverProc(decompressor, nullptr, DRV_CLOSE, 0, 0);
  PrintRow("wbvk", bits, level, frames, totals);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring folder = argc > 1 ? argv[1] : L".";
  const int frames = argc > 2 ? _wtoi(argv[2]) : 300;
  HMODULE codec = LoadLibraryW((GetModuleFolder(nullptr) + L"\\velto.dll").c_str());
  const auto driverProc = codec ? GetProcedure<DriverProcFunction>(codec, "DriverProc") : nullptr;
  if (!driverProc) {
    fprintf(stderr, "velto.dll or its DriverProc not found beside the program\n");
    return 1;
  }
  printf("%dx%d, %d frames, key frame every %d\n", kWidth, kHeight, frames, kKeyInterval);
  printf("%-6s %5s %5s %6s %9s %9s %8s %10s %10s %5s\n", "what", "bits", "level", "frames", "raw MB", "out MB",
         "ratio", "enc MB/s", "dec MB/s", "bad");
  for (int bits : {32, 16, 24}) {
    BenchCoder(bits, frames);
    for (int level : {1, 6, 9}) {
      FILE* raw = nullptr;
      if (level == 1 && bits != 24) raw = _wfopen((folder + Format(L"\\frames%d.raw", bits)).c_str(), L"wb");
      BenchDriver(driverProc, bits, level, frames, raw);
      if (raw) fclose(raw);
    }
  }
  return 0;
}
