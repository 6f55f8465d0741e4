// Converts one project file as the main window does, without a window of its own: loads the
// project, builds the engine, runs the graph and pumps messages until the engine's rule says the
// run ended, releasing the builder inside the event as the main window does. Error texts are
// printed instead of shown. deze.dll, lame.ax and vp6vfw.dll lie beside the program.
//
//   run_project.exe project.xml [deadline seconds] [release-paused|release-running|release-stuck]
//
// With "release-paused" the graph is only paused and the builder then released at once; with
// "release-running" the builder is released once the running graph wrote two frames. With
// "release-stuck" a filter whose GetState fails joins the paused graph, so that stopping it fails,
// before the builder is released; it prints "stop: failed|stopped" and whether the multiplexer
// still holds the released builder among its handlers ("handlers: removed|kept").
// Prints the filters of the built graph ("filter: ..."), the seconds the build took ("built: S"),
// then at the end "progress: N", "seconds: S" (since Build), "result: finished|failed|deadline"
// and "movie: good|bad"; exits 0 only for a good movie. A run that passes the deadline ends the process at once: a graph
// stuck in a filter cannot be torn down.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/converter/source/swfgen.h"
#include "common/counted.h"
#include "common/error.h"
#include "common/loader.h"
#include "common/strutil.h"
#include "media/dsutil.h"
#include "platform/dshow/filter.h"

namespace {

void PrintLine(const char* label, const wchar_t* text) {
  std::printf("%s: %s\n", label, ToNarrowString(text, CP_UTF8).c_str());
  std::fflush(stdout);
}

class PrintingErrorHandler : public ErrorHandler {
 public:
  void Push(const wchar_t* text) override {
    PrintLine("error", text);
    held_ = true;
  }
  void Show() override { held_ = false; }
  bool HasErrors() override { return held_; }
  void Clear() override { held_ = false; }
  void Warn(const wchar_t* text) override { PrintLine("warning", text); }

 private:
  bool held_ = false;
};

// A filter without pins that cannot tell its state: the graph's GetState fails with it.
class StuckFilter : public CBaseFilter {
 public:
  StuckFilter() : CBaseFilter(L"StuckFilter", nullptr, &lock_, GUID_NULL) {}
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE*) override { return E_FAIL; }
  int GetPinCount() override { return 0; }
  CBasePin* GetPin(int) override { return nullptr; }

 private:
  CriticalSection lock_;
};

// The graph as built, for the log: which filters the engine and Wine's intelligent connection put in.
class InspectedBuilder : public FlashBuilder {
 public:
  using FlashBuilder::FlashBuilder;

  void PrintFilters() {
    std::vector<ComPtr<IBaseFilter>> filters;
    GetGraphFilters(graph_.Get(), filters);
    for (const ComPtr<IBaseFilter>& filter : filters) {
      FILTER_INFO info = {};
      if (FAILED(filter->QueryFilterInfo(&info))) continue;
      if (info.pGraph) info.pGraph->Release();
      std::vector<ComPtr<IPin>> pins;
      GetFilterPins(filter.Get(), pins);
      int connected = 0;
      for (const ComPtr<IPin>& pin : pins) {
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.Clear()))) ++connected;
      }
      std::printf("filter: %s, %d of %d pins connected\n", ToNarrowString(info.achName, CP_UTF8).c_str(), connected,
                  static_cast<int>(pins.size()));
    }
  }

  ComPtr<ISwfMuxer> FindMuxer() {
    std::vector<ComPtr<IBaseFilter>> filters;
    GetGraphFilters(graph_.Get(), filters);
    for (const ComPtr<IBaseFilter>& filter : filters) {
      auto muxer = ComPtr<ISwfMuxer>::QueryFrom(filter.Get());
      if (muxer.IsValid()) return muxer;
    }
    return ComPtr<ISwfMuxer>();
  }

  HRESULT AddStuckFilter() {
    ComPtr<IBaseFilter> stuck(new StuckFilter);
    return graph_->AddFilter(stuck.Get(), L"Stuck");
  }
};

class Runner : public GraphObserver {
 public:
  // Runs the graph, or with `pauseOnly` only pauses it: the multiplexer then has a movie open.
  bool Start(const ProjectConfig& project, bool pauseOnly) {
    builder_ = CountedPtr<InspectedBuilder>(new InspectedBuilder(this, project));
    start_ = GetTickCount64();
    const HRESULT built = builder_->Build();
    if (built != S_OK) {
      std::printf("build: 0x%08lx\n", static_cast<unsigned long>(built));
      return false;
    }
    builder_->PrintFilters();
    std::printf("built: %.2f\n", Seconds());
    if (!(pauseOnly ? builder_->Pause() : builder_->Run())) {
      std::printf("run: failed\n");
      return false;
    }
    return true;
  }

  // Makes stopping fail, then lets the builder go; tells whether the multiplexer still holds it.
  void ReleaseStuck() {
    ComPtr<ISwfMuxer> muxer = builder_->FindMuxer();
    if (muxer.IsNull() || FAILED(builder_->AddStuckFilter())) {
      std::printf("stuck: not set up\n");
      return;
    }
    std::printf("stop: %s\n", builder_->Stop() ? "stopped" : "failed");
    ISwfMuxHandler* released = builder_.Get();
    Release();
    // The pointer is only compared.
    std::printf("handlers: %s\n", muxer->RemoveHandler(released) == S_FALSE ? "removed" : "kept");
    std::fflush(stdout);
  }

  // Waits, without taking the graph's events, until the multiplexer wrote a second frame: its
  // position is the start of the last frame written.
  bool WaitForSecondFrame(DWORD deadlineMs) {
    auto seeking = ComPtr<IMediaSeeking>::QueryFrom(builder_->FindMuxer().Get());
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    LONGLONG position = 0;
    while (seeking.IsValid() && GetTickCount64() < end) {
      if (SUCCEEDED(seeking->GetCurrentPosition(&position)) && position > 0) return true;
      Sleep(1);
    }
    std::printf("second frame: not written\n");
    return false;
  }

  // Lets the builder go without stopping the graph first, as an owner does after a failed run.
  void Release() {
    builder_ = CountedPtr<InspectedBuilder>();
    std::printf("released\n");
    std::fflush(stdout);
  }

  void OnGraphEvent(long code, LONG_PTR, LONG_PTR) override {
    const RunEvent event = ClassifyGraphEvent(code);
    if (event == RunEvent::kIgnore || !builder_.IsValid()) return;
    std::printf("progress: %d\n", static_cast<int>(builder_->GetProgress()));
    std::printf("seconds: %.2f\n", Seconds());
    const RunOutcome outcome = builder_->EndRun(event);
    good_ = outcome.succeeded;
    // As the main window tells the user.
    if (!outcome.note.empty()) {
      if (good_) {
        ShowWarning(L"%s", outcome.note.c_str());
      } else {
        ReportError(L"%s", outcome.note.c_str());
      }
    }
    if (!outcome.kept.empty()) ReportError(L"%s", outcome.kept.c_str());
    std::printf("result: %s\nmovie: %s\n", event == RunEvent::kFinished ? "finished" : "failed",
                good_ ? "good" : "bad");
    std::fflush(stdout);
    // As the main window does: the builder goes inside its own event.
    builder_ = CountedPtr<InspectedBuilder>();
    ended_ = true;
  }

  // Pumps messages until the run ended or the deadline passed.
  bool Wait(DWORD deadlineMs) {
    const ULONGLONG end = GetTickCount64() + deadlineMs;
    while (!ended_) {
      const ULONGLONG now = GetTickCount64();
      if (now >= end) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return true;
  }

  bool Good() const { return good_; }

 private:
  double Seconds() const { return static_cast<double>(GetTickCount64() - start_) / 1000.0; }

  CountedPtr<InspectedBuilder> builder_;
  ULONGLONG start_ = 0;
  bool ended_ = false;
  bool good_ = false;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::printf("usage: run_project project.xml [deadline seconds] [release-paused|release-running|release-stuck]\n");
    return 2;
  }
  const int deadlineSeconds = argc > 2 ? _wtoi(argv[2]) : 60;
  const std::wstring mode = argc > 3 ? argv[3] : L"";
  const bool releasePaused = mode == L"release-paused" || mode == L"release-stuck";
  const DWORD deadlineMs = static_cast<DWORD>(deadlineSeconds > 0 ? deadlineSeconds : 60) * 1000;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  SetErrorHandler(CountedPtr<ErrorHandler>(new PrintingErrorHandler));

  ProjectConfig project;
  XmlLoader loader(argv[1]);
  if (!loader.Load(project)) {
    std::printf("project: not loaded\n");
    return 2;
  }
  int status = 1;
  {
    Runner runner;
    if (releasePaused) {
      if (runner.Start(project, true)) {
        if (mode == L"release-stuck") {
          runner.ReleaseStuck();
        } else {
          runner.Release();
        }
        status = 0;
      }
    } else if (mode == L"release-running") {
      if (runner.Start(project, false) && runner.WaitForSecondFrame(deadlineMs)) {
        runner.Release();
        status = 0;
      }
    } else if (runner.Start(project, false)) {
      if (!runner.Wait(deadlineMs)) {
        std::printf("result: deadline\n");
        std::fflush(stdout);
        ExitProcess(3);
      }
      status = runner.Good() ? 0 : 1;
    }
  }
  CoUninitialize();
  return status;
}
