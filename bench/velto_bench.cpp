// Codec benchmark: the synthetic screen recording of bench/screen.h, 1280x720 at 32, 16 and 24
// bits. Measures the bare frame coder and the real velto.dll through its DriverProc at deflate
// levels 1, 6 and 9, checks every frame round trip, and writes the 32- and 16-bit frames top-down to raw files for other encoders.
//
//   velto_bench.exe [output folder] [frame count]

#include <windows.h>
#include <vfw.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/velto/source/coder.h"
#include "bench/clock.h"
#include "bench/screen.h"
#include "common/dib.h"
#include "common/format.h"
#include "common/module.h"
#include "common/window.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kKeyInterval = 80;
constexpr DWORD kWbvk = mmioFOURCC('w', 'b', 'v', 'k');

using DriverProcFunction = LRESULT(WINAPI*)(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM);

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

BITMAPINFOHEADER Header(int bits, DWORD compression) { return MakeDibHeader(kWidth, kHeight, bits, compression); }

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

// The fastest of a few runs of `work`, in seconds: a frame codes in about a millisecond, so one
// pause of a shared machine would otherwise outweigh the code being measured.
template <typename Work>
double Fastest(Work work) {
  constexpr int kTries = 3;
  double best = 0;
  for (int i = 0; i < kTries; ++i) {
    const double start = Now();
    work();
    const double seconds = Now() - start;
    if (i == 0 || seconds < best) best = seconds;
  }
  return best;
}

// The bare coder: key frames every 80, delta frames between, decoded onto the previous frame.
// Coding a frame again gives the same stream and decoding it again the same frame, so each counts
// at its fastest.
void BenchCoder(int bits, int frames) {
  Screen screen(kWidth, kHeight);
  std::vector<uint8_t> previous, current, decoded;
  const int64_t bound = MaxStreamSize(kWidth, kHeight, bits);
  std::vector<uint8_t> stream(static_cast<size_t>(bound));
  Totals totals;
  for (int i = 0; i < frames; ++i) {
    screen.Render(i);
    ToDib(screen, bits, current);
    const bool key = i % kKeyInterval == 0;
    int32_t length = 0;
    totals.encodeSeconds += Fastest([&] {
      length = key ? EncodeKeyFrame(current.data(), stream.data(), kWidth, kHeight, bits)
                   : EncodeDeltaFrame(previous.data(), current.data(), stream.data(), kWidth, kHeight, bits);
    });
    if (key) decoded.assign(current.size(), 0);
    bool complete = false;
    totals.decodeSeconds +=
        Fastest([&] { complete = DecodeFrame(stream.data(), length, decoded.data(), kWidth, kHeight, bits); });
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

  Screen screen(kWidth, kHeight);
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
