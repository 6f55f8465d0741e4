#pragma once
// Wine's filter graph manager for tests of filters, and the hard time-out every graph test runs
// under.

#include <dshow.h>

#include <functional>

#include "media/comptr.h"

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
