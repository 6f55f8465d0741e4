// The graph window: event delivery through Wine's filter graph, and the exact calls of the event
// loop and of Run, Pause and Stop against a scripted graph.

#include "media/filtergraph.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
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

// Delivers whatever is posted in the next moments.
void PumpAWhile() {
  PumpUntil([] { return false; }, 100);
}

struct Event {
  long code;
  LONG_PTR param1;
  LONG_PTR param2;
  bool operator==(const Event& other) const {
    return code == other.code && param1 == other.param1 && param2 == other.param2;
  }
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

// The graph of a FilterGraph, reachable as from a derived class.
class OpenGraph : public FilterGraph {
 public:
  explicit OpenGraph(GraphObserver* observer) : FilterGraph(observer) {}
  IGraphBuilder* Graph() const { return graph_.Get(); }
  void Replace(IGraphBuilder* graph) { graph_ = graph; }
};

// Pointer-sized parameters, so a cut to 32 bits shows.
constexpr LONG_PTR kWide = static_cast<LONG_PTR>(sizeof(LONG_PTR) > 4 ? 0x7EDCBA9876543210LL : 0x76543210LL);

std::vector<Event> Notify(IGraphBuilder* graph, long firstCode, int count) {
  auto sink = ComPtr<IMediaEventSink>::QueryFrom(graph);
  std::vector<Event> sent;
  for (int i = 0; i < count; ++i) {
    const Event event = {firstCode + i, kWide - i, 100 + i};
    EXPECT_EQ(S_OK, sink->Notify(event.code, event.param1, event.param2));
    sent.push_back(event);
  }
  return sent;
}

TEST(FilterGraphEvents, ArriveOnceEachInQueueOrder) {
  RunWithDeadline(kDeadlineMs, [] {
    Recorder observer;
    OpenGraph graph(&observer);
    ASSERT_NE(nullptr, graph.GetHandle());
    ASSERT_NE(nullptr, graph.Graph());
    const std::vector<Event> sent = Notify(graph.Graph(), EC_USER + 1, 3);
    ASSERT_TRUE(PumpUntil([&] { return observer.events.size() >= 3; }, 5000));
    PumpAWhile();
    EXPECT_EQ(sent, observer.events);
  });
}

TEST(FilterGraphEvents, WithoutAnObserverStayQueued) {
  RunWithDeadline(kDeadlineMs, [] {
    OpenGraph graph(nullptr);
    const std::vector<Event> sent = Notify(graph.Graph(), EC_USER, 2);
    PumpAWhile();
    auto events = ComPtr<IMediaEventEx>::QueryFrom(graph.Graph());
    for (const Event& expected : sent) {
      Event event = {};
      ASSERT_EQ(S_OK, events->GetEvent(&event.code, &event.param1, &event.param2, 0));
      EXPECT_EQ(expected, event);
      events->FreeEventParams(event.code, event.param1, event.param2);
    }
  });
}

TEST(FilterGraphEvents, TwoGraphsEachSeeOnlyTheirOwn) {
  RunWithDeadline(kDeadlineMs, [] {
    Recorder firstObserver, secondObserver;
    OpenGraph first(&firstObserver), second(&secondObserver);
    const std::vector<Event> toFirst = Notify(first.Graph(), EC_USER + 10, 2);
    const std::vector<Event> toSecond = Notify(second.Graph(), EC_USER + 20, 1);
    ASSERT_TRUE(PumpUntil([&] { return firstObserver.events.size() >= 2 && !secondObserver.events.empty(); }, 5000));
    PumpAWhile();
    EXPECT_EQ(toFirst, firstObserver.events);
    EXPECT_EQ(toSecond, secondObserver.events);
  });
}

TEST(FilterGraphEvents, AnObserverMayDeleteTheGraph) {
  RunWithDeadline(kDeadlineMs, [] {
    Recorder observer;
    auto* graph = new OpenGraph(&observer);
    const HWND window = graph->GetHandle();
    observer.onEvent = [&] {
      delete graph;
      graph = nullptr;
    };
    Notify(graph->Graph(), EC_USER, 3);
    ASSERT_TRUE(PumpUntil([&] { return !observer.events.empty(); }, 5000));
    PumpAWhile();
    EXPECT_EQ(1u, observer.events.size());
    EXPECT_FALSE(IsWindow(window));
  });
}

TEST(FilterGraphState, FollowsRunPauseAndStopOfAnEmptyGraph) {
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
  });
}

TEST(FilterGraphState, WithoutAGraphEverythingFails) {
  OpenGraph graph(nullptr);
  graph.Replace(nullptr);
  EXPECT_FALSE(graph.Run());
  EXPECT_FALSE(graph.Pause());
  EXPECT_FALSE(graph.Stop());
  EXPECT_EQ(State_Stopped, graph.GetState());
}

// A graph that logs the calls made on it and answers as the test scripts.
class ScriptedGraph : public IGraphBuilder, public IMediaControl, public IMediaEventEx {
 public:
  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder) {
      *object = static_cast<IGraphBuilder*>(this);
    } else if (riid == IID_IMediaControl) {
      *object = static_cast<IMediaControl*>(this);
    } else if (riid == IID_IMediaEventEx && withEvents) {
      *object = static_cast<IMediaEventEx*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }

  // IMediaControl
  HRESULT STDMETHODCALLTYPE Run() override { return Transition(L"Run"); }
  HRESULT STDMETHODCALLTYPE Pause() override { return Transition(L"Pause"); }
  HRESULT STDMETHODCALLTYPE Stop() override { return Transition(L"Stop"); }
  HRESULT STDMETHODCALLTYPE GetState(LONG timeoutMs, OAFilterState* state) override {
    log += Format(L"GetState(%d) ", timeoutMs);
    *state = reportedState;
    return stateResult;
  }

  // IMediaEventEx
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
  HRESULT STDMETHODCALLTYPE SetNotifyWindow(OAHWND window, long message, LONG_PTR) override {
    log += Format(L"SetNotifyWindow(%d, 0x%x) ", window ? 1 : 0, message);
    return S_OK;
  }

  // The rest is not called.
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
    log += L" ";
    return transitionResult;
  }
};

TEST(FilterGraphState, QueriesWithoutWaitingAndCallsOnlyWhatIsNeeded) {
  const struct {
    bool (FilterGraph::*call)();
    const wchar_t* name;
    int32_t target;
    int stateLine;
    int transitionLine;
  } operations[] = {{&FilterGraph::Run, L"Run", State_Running, 429, 436},
                    {&FilterGraph::Pause, L"Pause", State_Paused, 448, 455},
                    {&FilterGraph::Stop, L"Stop", State_Stopped, 467, 474}};
  const struct {
    const char* what;
    bool inTarget;  // GetState reports the target state
    HRESULT stateResult;
    HRESULT transitionResult;
    bool succeeds;
    bool transitionCalled;
  } cases[] = {
      {"already there", true, S_OK, S_OK, true, false},
      {"still on its way there", true, VFW_S_STATE_INTERMEDIATE, S_OK, true, false},
      {"elsewhere", false, S_OK, S_OK, true, true},
      {"elsewhere, intermediate", false, VFW_S_STATE_INTERMEDIATE, S_FALSE, true, true},
      {"state unknown", false, E_UNEXPECTED, S_OK, false, false},
      {"transition refused", false, S_OK, E_FAIL, false, true},
  };
  for (const auto& operation : operations) {
    for (const auto& scripted : cases) {
      SCOPED_TRACE(testing::Message() << scripted.what << " / " << static_cast<int>(operation.target));
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
        const int32_t expectedState = FAILED(scripted.stateResult) ? int32_t{State_Stopped}
                                      : scripted.succeeds          ? operation.target
                                                                   : fake.reportedState;
        EXPECT_EQ(expectedState, graph.GetState());
      }
      EXPECT_EQ(scripted.transitionCalled ? std::wstring(L"GetState(0) ") + operation.name + L" " : L"GetState(0) ",
                fake.log);
      std::vector<int> lines;
      if (FAILED(scripted.stateResult)) lines = {operation.stateLine};
      if (FAILED(scripted.transitionResult)) lines = {operation.transitionLine};
      EXPECT_EQ(lines, trace.ComErrorLines());
      EXPECT_EQ(1u, fake.references);
    }
  }
}

TEST(FilterGraphEventLoop, ObserverRunsBeforeEachFreeAndNothingDrainsWithoutOne) {
  ScriptedGraph fake;
  fake.queued = {{EC_USER, 1, 2}, {EC_USER + 1, 3, 4}};
  Recorder observer;
  observer.onEvent = [&] { fake.log += L"observer "; };
  {
    OpenGraph graph(&observer);
    graph.Replace(&fake);
    EXPECT_EQ(0, SendMessageW(graph.GetHandle(), FilterGraph::kGraphNotifyMessage, 0, 0));
  }
  EXPECT_EQ(L"GetEvent(0) observer Free(32768) GetEvent(0) observer Free(32769) GetEvent(0) SetNotifyWindow(0, 0x0) ",
            fake.log);
  EXPECT_EQ((std::vector<Event>{{EC_USER, 1, 2}, {EC_USER + 1, 3, 4}}), observer.events);

  fake.log.clear();
  fake.queued = {{EC_USER, 1, 2}};
  {
    OpenGraph graph(nullptr);
    graph.Replace(&fake);
    EXPECT_EQ(0, SendMessageW(graph.GetHandle(), FilterGraph::kGraphNotifyMessage, 0, 0));
  }
  EXPECT_EQ(L"SetNotifyWindow(0, 0x0) ", fake.log);
  EXPECT_EQ(1u, fake.queued.size());
  EXPECT_EQ(1u, fake.references);
}

TEST(FilterGraphEventLoop, StopsWhenTheObserverDeletesTheGraph) {
  ScriptedGraph fake;
  fake.queued = {{EC_USER, 1, 2}, {EC_USER + 1, 3, 4}};
  Recorder observer;
  auto* graph = new OpenGraph(&observer);
  graph->Replace(&fake);
  const HWND window = graph->GetHandle();
  observer.onEvent = [&] {
    fake.log += L"delete ";
    delete graph;
  };
  EXPECT_EQ(0, SendMessageW(window, FilterGraph::kGraphNotifyMessage, 0, 0));
  // The parameters are freed through the loop's own reference, after the graph let go of its own.
  EXPECT_EQ(L"GetEvent(0) delete SetNotifyWindow(0, 0x0) Free(32768) ", fake.log);
  EXPECT_EQ(1u, observer.events.size());
  EXPECT_EQ(1u, fake.references);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
