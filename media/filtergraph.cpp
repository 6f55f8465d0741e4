#include "media/filtergraph.h"

#include "media/comx.h"

namespace {

constexpr wchar_t kSource[] = L".\\source\\dsutil.cpp";
constexpr wchar_t kClassName[] = L"FilterGraph";

}  // namespace

FilterGraph::FilterGraph(GraphObserver* observer) : observer_(observer) {
  // A second object finds the class already registered.
  RegisterClass(0, nullptr, nullptr, kClassName, nullptr);
  Create(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr);
  graph_.CreateInstance(CLSID_FilterGraph);
  if (GetHandle() && graph_.IsValid()) {
    if (auto events = ComPtr<IMediaEventEx>::QueryFrom(graph_.Get()); events.IsValid())
      events->SetNotifyWindow(reinterpret_cast<OAHWND>(GetHandle()), kGraphNotifyMessage, 0);
  }
}

FilterGraph::~FilterGraph() {
  // An event loop of this object further up the stack must not touch it again.
  for (Dispatch* loop = dispatch_; loop; loop = loop->outer) loop->objectGone = true;
  ReleaseGraph();
  if (GetHandle() && IsWindow(GetHandle())) DestroyWindow(GetHandle());
}

void FilterGraph::ReleaseGraph() {
  if (graph_.IsValid()) {
    if (auto events = ComPtr<IMediaEventEx>::QueryFrom(graph_.Get()); events.IsValid())
      events->SetNotifyWindow(0, 0, 0);
  }
  graph_.Release();
}

bool FilterGraph::ChangeState(int32_t target, HRESULT (STDMETHODCALLTYPE IMediaControl::*transition)(),
                              int stateLine, int transitionLine) {
  auto control = ComPtr<IMediaControl>::QueryFrom(graph_.Get());
  if (control.IsNull()) return false;
  OAFilterState state = State_Stopped;
  // VFW_S_STATE_INTERMEDIATE and VFW_S_CANT_CUE are successes: the graph is on its way.
  HRESULT result = control->GetState(0, &state);
  if (FAILED(result)) {
    OnComError(kSource, stateLine, result);
    return false;
  }
  state_ = static_cast<int32_t>(state);
  if (state_ == target) return true;
  // Not waited for: a graph still changing state says so through GetState later.
  result = (control.Get()->*transition)();
  if (FAILED(result)) {
    OnComError(kSource, transitionLine, result);
    // A graph whose Pause failed in one filter may have paused the others and still call itself
    // stopped, so its own Stop does nothing; their pins would then refuse to disconnect when the
    // graph goes, which Wine's graph retries forever. They are stopped one by one.
    // A graph that cannot list them has none to stop: nothing more to report.
    ComPtr<IEnumFilters> filters;
    if (target != State_Stopped && SUCCEEDED(graph_->EnumFilters(filters.Clear())) && filters.IsValid()) {
      ComPtr<IBaseFilter> filter;
      while (filters->Next(1, filter.Clear(), nullptr) == S_OK && filter.IsValid()) filter->Stop();
    }
    return false;
  }
  state_ = target;
  return true;
}

bool FilterGraph::Run() { return ChangeState(State_Running, &IMediaControl::Run, 429, 436); }

bool FilterGraph::Pause() { return ChangeState(State_Paused, &IMediaControl::Pause, 448, 455); }

bool FilterGraph::Stop() { return ChangeState(State_Stopped, &IMediaControl::Stop, 467, 474); }

LRESULT FilterGraph::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kGraphNotifyMessage) return DefWindowProcW(window, message, wParam, lParam);
  DrainEvents();
  return 0;
}

void FilterGraph::DrainEvents() {
  // Local references: the observer may delete this object, and the graph with it, mid-loop.
  auto events = ComPtr<IMediaEventEx>::QueryFrom(graph_.Get());
  GraphObserver* observer = observer_;
  if (events.IsNull() || !observer) return;
  Dispatch loop = {false, dispatch_};
  dispatch_ = &loop;
  long code = 0;
  LONG_PTR param1 = 0;
  LONG_PTR param2 = 0;
  while (SUCCEEDED(events->GetEvent(&code, &param1, &param2, 0))) {
    observer->OnGraphEvent(code, param1, param2);
    events->FreeEventParams(code, param1, param2);
    if (loop.objectGone) return;
  }
  dispatch_ = loop.outer;
}
