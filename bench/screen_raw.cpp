// Writes the synthetic screen recording of bench/screen.h as raw top-down bgr0 frames, for the
// benchmarks that feed it to other programs.
//
//   screen_raw.exe out.raw [frames] [width height]

#include <windows.h>

#include <cstdio>
#include <string>

#include "bench/screen.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: screen_raw out.raw [frames] [width height]\n");
    return 2;
  }
  const int frames = argc > 2 ? _wtoi(argv[2]) : 300;
  const int width = argc > 4 ? _wtoi(argv[3]) : 1280;
  const int height = argc > 4 ? _wtoi(argv[4]) : 720;
  if (frames <= 0 || width <= 0 || height <= 0) return 2;
  FILE* raw = _wfopen(argv[1], L"wb");
  if (!raw) return 1;
  Screen screen(width, height);
  bool written = true;
  for (int i = 0; i < frames && written; ++i) {
    screen.Render(i);
    for (int y = 0; y < height && written; ++y)
      written = std::fwrite(screen.Row(y), 4, width, raw) == static_cast<size_t>(width);
  }
  written = std::fclose(raw) == 0 && written;
  return written ? 0 : 1;
}
