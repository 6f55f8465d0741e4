// Start and stop, a thousand times over: push source, SwfMuxer and File Dump, VP6 and lossless video,
// MP3 sound on half the runs, each run ended by its streams, by Stop while the streams still push
// (an abort in the middle of a frame), or by a frame that fails. Every run must end within its
// deadline and leave a well-formed movie and no live object; the handles may grow only as much as
// Wine's filter graph manager leaks on its own (one per graph, measured here with empty graphs).
// Prints its figures; long, so only with CI=true or RUN_LONG=1.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#include "common/fileutil.h"
#include "tests/app/deze/mux_harness.h"

namespace {

constexpr int kCycles = 1000;
constexpr int kWarmUpCycles = 20;  // Wine sets up its own objects during the first runs
constexpr int kEmptyGraphs = 100;
constexpr DWORD kCycleDeadlineMs = 10000;
constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;
constexpr int32_t kRate = 22050;
constexpr wchar_t kMovie[] = L"stress.swf";

enum class Ending { kStreamsEnd, kAbort, kFailedFrame };

struct Counts {
  DWORD handles = 0;
  DWORD gdiObjects = 0;
};

// Wine answers 0 to GetProcessHandleCount, so the handles are found by asking after every handle
// value in turn; its GetGuiResources answers 0 as well, so that figure is printed, not judged.
Counts ProcessCounts() {
  constexpr uintptr_t kHandleValues = 0x10000;
  Counts counts;
  for (uintptr_t value = 4; value < kHandleValues; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++counts.handles;
  }
  counts.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  return counts;
}

// Pushes until `count` samples went, one is refused, or `stop` is set; the last answer.
HRESULT PushUntil(const std::function<HRESULT(int)>& push, int count, const std::atomic<bool>& stop) {
  HRESULT result = S_OK;
  for (int i = 0; i < count && result == S_OK && !stop; ++i) result = push(i);
  return result;
}

// One run; the frame count the movie must hold, or -1 when only its form can be checked.
void RunCycle(int cycle, int* expectedFrames) {
  const bool lossless = cycle % 2 == 1;
  const bool sound = (cycle / 2) % 2 == 1;
  const auto ending = static_cast<Ending>(cycle % 3);
  const int frames = 2 + cycle % 4;
  const bool abort = ending == Ending::kAbort;
  *expectedFrames = ending == Ending::kStreamsEnd && !sound ? frames : -1;

  std::vector<CMediaType> types = {lossless ? RgbVideoType(kWidth, kHeight, 32) : Vp6Type(kWidth, kHeight)};
  if (sound) types.push_back(Mp3Type(kRate, 1));
  ComPtr<IBaseFilter> dump = NewFileDump(kMovie);
  MuxGraph movie(types, dump.Get());
  movie.Video()->SetBuffers(2, kWidth * kHeight * 4);
  ASSERT_EQ(S_OK, movie.Connect());
  ASSERT_EQ(S_OK, movie.graph.Run());

  std::atomic<bool> stop{false};
  // An aborted run pushes until Stop refuses it; the others push their frames and then end.
  const int videoCount = abort ? 100000 : frames;
  std::thread video = StreamingThread([&] {
    TestSourcePin* pin = movie.Video();
    const size_t frameBytes = lossless ? size_t(kWidth * kHeight * 4) : size_t(40 + cycle % 200);
    const HRESULT pushed = PushUntil(
        [&](int i) { return pin->Push(VideoBytes(cycle + i, frameBytes), i * kFrameTime25, (i + 1) * kFrameTime25); },
        videoCount, stop);
    if (pushed != S_OK) return;
    // An empty frame is an error; with sound it may surface on the audio thread.
    if (ending == Ending::kFailedFrame) {
      pin->Push({}, 0, 1);
    } else if (ending == Ending::kStreamsEnd) {
      pin->SendEndOfStream();
    }
  });
  std::thread audio;
  if (sound) {
    audio = StreamingThread([&] {
      TestSourcePin* pin = movie.Audio();
      // Enough sound for the video's frames: 882 samples per frame of 25 fps, 576 per MP3 frame.
      const int mp3Frames = abort ? 100000 : frames * 882 / 576 + 2;
      const HRESULT pushed = PushUntil(
          [&](int i) { return pin->Push(Mp3FrameBytes(kRate, static_cast<uint8_t>(i)), 0, 1); }, mp3Frames, stop);
      if (pushed == S_OK && ending != Ending::kFailedFrame) pin->SendEndOfStream();
    });
  }
  HRESULT stopped = E_UNEXPECTED;
  if (abort) {
    Sleep(static_cast<DWORD>(cycle % 7));
    stopped = movie.graph.Stop();
    stop = true;
  }
  video.join();
  if (audio.joinable()) audio.join();
  if (!abort) stopped = movie.graph.Stop();
  EXPECT_EQ(S_OK, stopped);
}

}  // namespace

TEST(MuxStress, ThousandStartsAndStopsStayBounded) {
  Counts first;
  DWORD slowestMs = 0;
  const DWORD start = GetTickCount();
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    const DWORD cycleStart = GetTickCount();
    int expectedFrames = -1;
    RunWithDeadline(kCycleDeadlineMs, [&] { RunCycle(cycle, &expectedFrames); });
    slowestMs = std::max(slowestMs, GetTickCount() - cycleStart);
    ASSERT_FALSE(HasFailure()) << "cycle " << cycle;
    ASSERT_EQ("", LiveObjects()) << "cycle " << cycle;

    // The File Dump closed the file when it went; the movie must say what it holds.
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadFileBytes(kMovie, bytes)) << "cycle " << cycle;
    const SwfMovie parsed = ParseMovie(bytes);
    ASSERT_TRUE(parsed.valid) << "cycle " << cycle;
    ASSERT_EQ(bytes.size(), parsed.header.FileLength) << "cycle " << cycle;
    ASSERT_EQ(parsed.Count(kTagShowFrame), parsed.header.FrameCount) << "cycle " << cycle;
    if (expectedFrames >= 0) {
      ASSERT_EQ(expectedFrames, parsed.header.FrameCount) << "cycle " << cycle;
    }

    if (cycle + 1 == kWarmUpCycles) first = ProcessCounts();
  }
  const DWORD elapsedMs = GetTickCount() - start;
  const Counts last = ProcessCounts();
  // What the graph manager alone leaves behind.
  for (int i = 0; i < kEmptyGraphs; ++i) RunWithDeadline(kCycleDeadlineMs, [] { TestGraph graph; });
  const DWORD emptyGraphHandles = ProcessCounts().handles - last.handles;
  std::printf("mux stress: %d cycles in %lu ms, %.1f ms per cycle, slowest %lu ms\n", kCycles,
              static_cast<unsigned long>(elapsedMs), double(elapsedMs) / kCycles, static_cast<unsigned long>(slowestMs));
  std::printf("mux stress: handles %lu after %d cycles, %lu at the end; GDI objects %lu, then %lu\n",
              static_cast<unsigned long>(first.handles), kWarmUpCycles, static_cast<unsigned long>(last.handles),
              static_cast<unsigned long>(first.gdiObjects), static_cast<unsigned long>(last.gdiObjects));
  std::printf("mux stress: %d empty graphs leave %lu handles\n", kEmptyGraphs,
              static_cast<unsigned long>(emptyGraphHandles));
  EXPECT_GT(first.handles, 0u);
  const int cycles = kCycles - kWarmUpCycles;
  EXPECT_LE(int64_t(last.handles - first.handles) * kEmptyGraphs, int64_t(emptyGraphHandles) * cycles);
}
