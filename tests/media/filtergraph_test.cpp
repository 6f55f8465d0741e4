// The graph window: events through Wine's filter graph, and the exact calls of the event loop and of
// Run, Pause and Stop against a scripted graph.

#include "media/filtergraph.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/format.h"
#include "tests/support/capture.h"
#include "tests/support/graph.h"

namespace {

constexpr DWORD kDeadlineMs = 20000;

// Pumps the thread's messages until `done` holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
  }
}

struct Event {
  long code;
  LONG_PTR param1;
  LONG_PTR param2;
  bool operator==(const Event&) const = default;
};

class Recorder : public GraphObserver {
 public:
  void OnGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) override {
    events.push_back({code, param1, param2});
    if (onEvent) onEvent();
  }
  std::vector<Event> events;
  std::function<void()> onEvent;
};

// The graph as a derived class (the conversion engine) reaches it.
class OpenGraph : public FilterGraph {
 public:
  explicit OpenGraph(GraphObserver* observer) : FilterGraph(observer) {}
  IGraphBuilder* Graph() const { return graph_.Get(); }
  void Replace(IGraphBuilder* graph) { graph_ = graph; }
};

// Pointer-sized parameters, so that a cut to 32 bits shows.
constexpr LONG_PTR kWide = static_cast<LONG_PTR>(sizeof(LONG_PTR) > 4 ? 0x7EDCBA9876543210LL : 0x76543210LL);

std::vector<Event> Notify(IGraphBuilder* graph, long firstCode, int count) {
  auto sink = ComPtr<IMediaEventSink>::QueryFrom(graph);
  std::vector<Event> sent;
  for (int i = 0; i < count; ++i) {
    sent.push_back({firstCode + i, kWide - i, 100 + i});
    EXPECT_EQ(S_OK, sink->Notify(sent.back().code, sent.back().param1, sent.back().param2));
  }
  return sent;
}

TEST(FilterGraphEvents, ReachTheirOwnObserverOnceEachInOrder) {
  RunWithDeadline(kDeadlineMs, [] {
    Recorder first, second, deleting;
    OpenGraph firstGraph(&first), secondGraph(&second), unobserved(nullptr);
    auto* deletedGraph = new OpenGraph(&deleting);
    const HWND deletedWindow = deletedGraph->GetHandle();
    deleting.onEvent = [&] { delete deletedGraph; };

    const std::vector<Event> toFirst = Notify(firstGraph.Graph(), EC_USER + 1, 3);
    const std::vector<Event> toSecond = Notify(secondGraph.Graph(), EC_USER + 10, 1);
    const std::vector<Event> queued = Notify(unobserved.Graph(), EC_USER + 20, 2);
    Notify(deletedGraph->Graph(), EC_USER + 30, 3);
    ASSERT_TRUE(PumpUntil([&] { return first.events.size() >= 3 && !second.events.empty(); }, 5000));
    PumpUntil([] { return false; }, 100);  // anything posted late or twice

    EXPECT_EQ(toFirst, first.events);
    EXPECT_EQ(toSecond, second.events);
    EXPECT_EQ(1u, deleting.events.size());
    EXPECT_FALSE(IsWindow(deletedWindow));
    // Without an observer nothing was drained.
    auto events = ComPtr<IMediaEventEx>::QueryFrom(unobserved.Graph());
    for (const Event& expected : queued) {
      Event event = {};
      ASSERT_EQ(S_OK, events->GetEvent(&event.code, &event.param1, &event.param2, 0));
      EXPECT_EQ(expected, event);
    }
  });
}

TEST(FilterGraphState, FollowsRunPauseAndStopOfWinesEmptyGraph) {
  RunWithDeadline(kDeadlineMs, [] {
    OpenGraph graph(nullptr);
    auto control = ComPtr<IMediaControl>::QueryFrom(graph.Graph());
    ASSERT_TRUE(control.IsValid());
    const struct {
      bool (FilterGraph::*call)();
      OAFilterState state;
    } steps[] = {{&FilterGraph::Stop, State_Stopped}, {&FilterGraph::Run, State_Running},
                 {&FilterGraph::Run, State_Running},  {&FilterGraph::Pause, State_Paused},
                 {&FilterGraph::Stop, State_Stopped}};
    for (const auto& step : steps) {
      EXPECT_TRUE((graph.*step.call)());
      EXPECT_EQ(step.state, graph.GetState());
      OAFilterState actual = -1;
      EXPECT_EQ(S_OK, control->GetState(5000, &actual));
      EXPECT_EQ(step.state, actual);
    }
    graph.Replace(nullptr);  // as when the graph could not be created
    EXPECT_FALSE(graph.Run());
  });
}

// Logs the calls made on it and answers as the test scripts.
class ScriptedGraph : public IGraphBuilder, public IMediaControl, public IMediaEventEx {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IGraphBuilder) *object = static_cast<IGraphBuilder*>(this);
    if (riid == IID_IMediaControl) *object = static_cast<IMediaControl*>(this);
    if (riid == IID_IMediaEventEx && withEvents) *object = static_cast<IMediaEventEx*>(this);
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  HRESULT STDMETHODCALLTYPE Run() override { return Transition(L"Run "); }
  HRESULT STDMETHODCALLTYPE Pause() override { return Transition(L"Pause "); }
  HRESULT STDMETHODCALLTYPE Stop() override { return Transition(L"Stop "); }
  HRESULT STDMETHODCALLTYPE GetState(LONG timeoutMs, OAFilterState* state) override {
    log += Format(L"GetState(%d) ", timeoutMs);
    *state = reportedState;
    return stateResult;
  }
  HRESULT STDMETHODCALLTYPE GetEvent(long* code, LONG_PTR* param1, LONG_PTR* param2, long timeoutMs) override {
    log += Format(L"GetEvent(%d) ", timeoutMs);
    if (queued.empty()) return E_ABORT;
    *code = queued.front().code;
    *param1 = queued.front().param1;
    *param2 = queued.front().param2;
    queued.erase(queued.begin());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FreeEventParams(long code, LONG_PTR, LONG_PTR) override {
    log += Format(L"Free(%d) ", code);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND window, long, LONG_PTR) override {
    log += window ? L"SetNotifyWindow " : L"SetNotifyWindow(0) ";
    return S_OK;
  }

  // Never called.
  HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Connect(IPin*, IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Render(IPin*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Abort() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE RenderFile(BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR, IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE StopWhenReady() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE WaitForCompletion(long, long*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CancelDefaultHandling(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetNotifyFlags(long) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNotifyFlags(long*) override { return E_NOTIMPL; }

  ULONG references = 1;
  bool withEvents = true;
  std::wstring log;
  OAFilterState reportedState = State_Stopped;
  HRESULT stateResult = S_OK;
  HRESULT transitionResult = S_OK;
  std::vector<Event> queued;

 private:
  HRESULT Transition(const wchar_t* name) {
    log += name;
    return transitionResult;
  }
};

TEST(FilterGraphState, AsksWithoutWaitingAndCallsOnlyWhatIsNeeded) {
  const struct {
    bool (FilterGraph::*call)();
    const wchar_t* transition;
    int32_t target;
    int stateLine, transitionLine;
  } operations[] = {{&FilterGraph::Run, L"Run ", State_Running, 429, 436},
                    {&FilterGraph::Pause, L"Pause ", State_Paused, 448, 455},
                    {&FilterGraph::Stop, L"Stop ", State_Stopped, 467, 474}};
  const struct {
    bool inTarget;  // what GetState reports
    HRESULT stateResult, transitionResult;
    bool succeeds, transitionCalled;
  } cases[] = {
      {true, S_OK, S_OK, true, false},
      {true, VFW_S_STATE_INTERMEDIATE, S_OK, true, false},
      {false, S_OK, S_OK, true, true},
      {false, VFW_S_STATE_INTERMEDIATE, S_FALSE, true, true},
      {false, E_UNEXPECTED, S_OK, false, false},
      {false, S_OK, E_FAIL, false, true},
  };
  for (const auto& operation : operations) {
    for (const auto& scripted : cases) {
      SCOPED_TRACE(testing::Message() << operation.target << ", case " << (&scripted - cases));
      ScriptedGraph fake;
      fake.withEvents = false;
      const int32_t elsewhere = operation.target == State_Paused ? State_Running : State_Paused;
      fake.reportedState = scripted.inTarget ? operation.target : elsewhere;
      fake.stateResult = scripted.stateResult;
      fake.transitionResult = scripted.transitionResult;
      TraceCapture trace;
      {
        OpenGraph graph(nullptr);
        graph.Replace(&fake);
        EXPECT_EQ(scripted.succeeds, (graph.*operation.call)());
        // A refused transition leaves the state that GetState found.
        const int32_t expected = scripted.succeeds                   ? operation.target
                                 : SUCCEEDED(scripted.stateResult) ? fake.reportedState
                                                                     : int32_t{State_Stopped};
        EXPECT_EQ(expected, graph.GetState());
      }
      EXPECT_EQ(std::wstring(L"GetState(0) ") + (scripted.transitionCalled ? operation.transition : L""), fake.log);
      const std::vector<int> lines = FAILED(scripted.stateResult)        ? std::vector<int>{operation.stateLine}
                                     : FAILED(scripted.transitionResult) ? std::vector<int>{operation.transitionLine}
                                                                         : std::vector<int>{};
      EXPECT_EQ(lines, trace.ComErrorLines());
      EXPECT_EQ(1u, fake.references);
    }
  }
}

TEST(FilterGraphEvents, ObserverComesBeforeEachFreeAndMayDeleteTheGraph) {
  ScriptedGraph fake;
  fake.queued = {{EC_USER, 1, 2}, {EC_USER + 1, 3, 4}};
  Recorder observer;
  observer.onEvent = [&] { fake.log += L"observer "; };
  {
    OpenGraph graph(&observer);
    graph.Replace(&fake);
    EXPECT_EQ(0, SendMessageW(graph.GetHandle(), FilterGraph::kGraphNotifyMessage, 0, 0));
  }
  EXPECT_EQ(L"GetEvent(0) observer Free(32768) GetEvent(0) observer Free(32769) GetEvent(0) SetNotifyWindow(0) ",
            fake.log);

  // Deleted by its observer, the object lets go of the graph; the loop frees the event's parameters
  // through its own reference and asks for nothing more.
  fake.log.clear();
  fake.queued = {{EC_USER, 1, 2}, {EC_USER + 1, 3, 4}};
  auto* graph = new OpenGraph(&observer);
  graph->Replace(&fake);
  observer.onEvent = [&] { delete graph; };
  EXPECT_EQ(0, SendMessageW(graph->GetHandle(), FilterGraph::kGraphNotifyMessage, 0, 0));
  EXPECT_EQ(L"GetEvent(0) SetNotifyWindow(0) Free(32768) ", fake.log);
  EXPECT_EQ(3u, observer.events.size());
  EXPECT_EQ(1u, fake.references);
}

}  // namespace
