// Lossless-path benchmark: the synthetic screen recording of bench/screen.h, 1280x720 RGB32 at 10
// frames per second, through SwfBoxEncoder alone and through the whole graph as the converter runs
// it (a push source, SwfMuxer and File Dump writing the movie). Prints frames per second and the
// movie's size, and writes the frames top-down as raw bgr0 for other encoders.
//
//   box_bench.exe [output folder] [frame count]

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/deze/source/dump.h"
#include "app/deze/source/swfbox.h"
#include "app/deze/source/swfmux.h"
#include "bench/clock.h"
#include "bench/screen.h"
#include "common/fileutil.h"
#include "tests/support/graph.h"

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr REFERENCE_TIME kFrameTime = 1'000'000;  // 10 frames per second
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 4;

// Bottom-up rows, as a capture source delivers RGB32.
void ToBottomUp(const Screen& screen, std::vector<uint8_t>& frame) {
  frame.resize(kFrameBytes);
  for (int y = 0; y < kHeight; ++y) memcpy(&frame[size_t(kHeight - 1 - y) * kWidth * 4], screen.Row(y), size_t{kWidth} * 4);
}

void PrintRow(const char* what, int frames, double seconds, double movieBytes) {
  printf("%-8s %6d %9.2f %8.1f %10.2f %8.1f\n", what, frames, seconds, frames / seconds, movieBytes / 1e6,
         static_cast<double>(kFrameBytes) * frames / movieBytes);
  fflush(stdout);
}

// SwfBoxEncoder on its own, with the settings a prepared movie would give it.
bool BenchEncoder(int frames, FILE* raw) {
  MuxSettings settings;
  settings.width = kWidth;
  settings.height = kHeight;
  settings.nextCharacterId = 1;
  settings.nextDepth = 1;
  SwfBoxEncoder encoder(&settings, true);
  Screen screen(kWidth, kHeight);
  std::vector<uint8_t> frame;
  MemOut out;
  std::vector<uint8_t> tags;
  double seconds = 0;
  double bytes = 0;
  for (int i = 0; i < frames; ++i) {
    screen.Render(i);
    ToBottomUp(screen, frame);
    const double start = Now();
    const bool encoded =
        encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), 0, out) == EncodeResult::kWritten;
    seconds += Now() - start;
    if (!encoded) {
      fprintf(stderr, "frame %d failed\n", i);
      return false;
    }
    out.TakeBuffer(tags);
    bytes += static_cast<double>(tags.size());
    settings.frameCount++;
    if (raw)
      for (int y = 0; y < kHeight; ++y) fwrite(screen.Row(y), 4, kWidth, raw);
  }
  PrintRow("encoder", frames, seconds, bytes);
  return true;
}

// The whole graph: every push returns once the multiplexer wrote the frame into the file.
bool BenchGraph(int frames, const std::wstring& movie) {
  CMediaType type = RgbVideoType(kWidth, kHeight, 32);
  reinterpret_cast<VIDEOINFOHEADER*>(type.Format())->AvgTimePerFrame = kFrameTime;
  TestGraph graph;
  auto* source = new TestSource({type});
  ComPtr<IBaseFilter> sourceRef(source);
  source->Pin(0)->SetBuffers(2, static_cast<long>(kFrameBytes));
  auto* muxer = new SwfMuxer(nullptr);
  ComPtr<IBaseFilter> muxerRef(muxer);
  HRESULT result = S_OK;
  CUnknown* dump = FileDump::CreateInstance(nullptr, &result);
  ComPtr<IBaseFilter> dumpRef;
  if (dump) dump->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(dumpRef.Clear()));
  ComPtr<IPin> dumpInput;
  if (!graph.IsValid() || !dumpRef.IsValid() ||
      ComPtr<IFileSinkFilter>::QueryFrom(dumpRef.Get())->SetFileName(movie.c_str(), nullptr) != S_OK ||
      graph.Add(source, L"source") != S_OK || graph.Add(muxer, L"SwfMuxer") != S_OK ||
      graph.Add(dumpRef.Get(), L"File Dump") != S_OK || dumpRef->FindPin(L"Input", dumpInput.Clear()) != S_OK ||
      graph.Connect(source->Pin(0), muxer->GetPin(0)) != S_OK || graph.Connect(muxer->GetPin(2), dumpInput.Get()) != S_OK ||
      graph.Run() != S_OK) {
    fprintf(stderr, "the graph could not be built and run\n");
    return false;
  }

  Screen screen(kWidth, kHeight);
  std::vector<uint8_t> frame;
  double seconds = 0;
  bool pushed = true;
  for (int i = 0; i < frames && pushed; ++i) {
    screen.Render(i);
    ToBottomUp(screen, frame);
    const double start = Now();
    pushed = source->Pin(0)->Push(frame, i * kFrameTime, (i + 1) * kFrameTime) == S_OK;
    seconds += Now() - start;
  }
  const double start = Now();
  source->Pin(0)->SendEndOfStream();
  const bool completed = graph.WaitForEvent(EC_COMPLETE, 60000);
  seconds += Now() - start;
  graph.Stop();
  if (!pushed || !completed) {
    fprintf(stderr, "the movie did not complete\n");
    return false;
  }
  PrintRow("graph", frames, seconds, static_cast<double>(GetFileSize64(movie.c_str())));
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring folder = argc > 1 ? argv[1] : L".";
  const int frames = argc > 2 ? _wtoi(argv[2]) : 300;
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  printf("%dx%d RGB32, %d frames at 10 fps\n", kWidth, kHeight, frames);
  printf("%-8s %6s %9s %8s %10s %8s\n", "what", "frames", "seconds", "fps", "movie MB", "ratio");
  FILE* raw = _wfopen((folder + L"\\frames32.raw").c_str(), L"wb");
  bool ok = BenchEncoder(frames, raw);
  if (raw) fclose(raw);
  ok = ok && BenchGraph(frames, folder + L"\\box.swf");
  CoUninitialize();
  return ok ? 0 : 1;
}
