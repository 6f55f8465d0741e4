#include "tests/support/graph.h"

#include <cstdio>
#include <future>
#include <thread>

void RunWithDeadline(DWORD timeoutMs, const std::function<void()>& body) {
  std::packaged_task<void()> task([&body] {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    body();
    CoUninitialize();
  });
  std::future<void> done = task.get_future();
  std::thread worker(std::move(task));
  if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
    std::fprintf(stderr, "A graph test did not finish within %lu ms (deadlock?)\n", static_cast<unsigned long>(timeoutMs));
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
  }
  worker.join();
  done.get();
}

TestGraph::TestGraph() {
  if (graph_.CreateInstance(CLSID_FilterGraph) != S_OK) return;
  control_ = ComPtr<IMediaControl>::QueryFrom(graph_.Get());
  events_ = ComPtr<IMediaEvent>::QueryFrom(graph_.Get());
}

HRESULT TestGraph::WaitForState(HRESULT result) {
  if (FAILED(result)) return result;
  OAFilterState state;
  return control_->GetState(5000, &state);
}

HRESULT TestGraph::Pause() { return WaitForState(control_->Pause()); }
HRESULT TestGraph::Run() { return WaitForState(control_->Run()); }
HRESULT TestGraph::Stop() { return WaitForState(control_->Stop()); }

bool TestGraph::WaitForEvent(long code, DWORD timeoutMs, LONG_PTR* param1, LONG_PTR* param2) {
  const DWORD deadline = GetTickCount() + timeoutMs;
  for (;;) {
    const DWORD now = GetTickCount();
    const long left = static_cast<long>(deadline - now);
    if (left < 0) return false;
    long eventCode = 0;
    LONG_PTR first = 0;
    LONG_PTR second = 0;
    if (FAILED(events_->GetEvent(&eventCode, &first, &second, static_cast<long>(left)))) return false;
    events_->FreeEventParams(eventCode, first, second);
    if (eventCode != code) continue;
    if (param1) *param1 = first;
    if (param2) *param2 = second;
    return true;
  }
}
