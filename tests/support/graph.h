#pragma once
// Wine's filter graph manager for tests of filters, and the hard time-out every graph test runs
// under.

#include <dshow.h>

#include <functional>

#include "common/comptr.h"
#include "tests/support/filters.h"

// Runs the body on a thread of its own (COM initialised, multithreaded). A body that has not ended
// within the time ends the test program at once: a deadlocked graph cannot be torn down.
void RunWithDeadline(DWORD timeoutMs, const std::function<void()>& body);

class TestGraph {
 public:
  TestGraph();

  bool IsValid() const { return graph_.IsValid() && control_.IsValid() && events_.IsValid(); }
  IGraphBuilder* Get() const { return graph_.Get(); }

  HRESULT Add(IBaseFilter* filter, const wchar_t* name) { return graph_->AddFilter(filter, name); }
  // A direct connection, the media type left to the pins.
  HRESULT Connect(IPin* output, IPin* input) { return graph_->ConnectDirect(output, input, nullptr); }

  // Each waits until the graph reached the state.
  HRESULT Pause();
  HRESULT Run();
  HRESULT Stop();

  // Waits for the next event of that code, dropping others; false when none came in time.
  bool WaitForEvent(long code, DWORD timeoutMs, LONG_PTR* param1 = nullptr, LONG_PTR* param2 = nullptr);

 private:
  HRESULT WaitForState(HRESULT result);

  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<IMediaEvent> events_;
};

// A test source (one pin of the given type), a transform and a test sink, added to one graph;
// the test connects them.
template <class Transform>
struct TransformChain {
  TransformChain(const CMediaType& type, Transform* transform)
      : source(new TestSource({type})), middle(transform), sink(new TestSink),
        sourceRef(source), middleRef(middle), sinkRef(sink) {
    graph.Add(source, L"source");
    graph.Add(middle, L"transform");
    graph.Add(sink, L"sink");
  }
  HRESULT ConnectInput() { return graph.Connect(source->Pin(0), middle->InputPin()); }
  HRESULT ConnectOutput() { return graph.Connect(middle->OutputPin(), sink->Pin()); }
  HRESULT Connect() {
    const HRESULT result = ConnectInput();
    return FAILED(result) ? result : ConnectOutput();
  }

  TestGraph graph;
  TestSource* source;
  Transform* middle;
  TestSink* sink;
  ComPtr<IBaseFilter> sourceRef, middleRef, sinkRef;
};
