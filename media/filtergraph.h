#pragma once
// FilterGraph owns one DirectShow filter graph and turns its events into calls on the thread that
// created it: the graph posts a private message to a hidden message-only window, whose procedure
// drains the event queue into a GraphObserver. That thread must pump messages. FilterGraph also
// runs, pauses and stops the graph and remembers the last state it put the graph into.

#include <dshow.h>

#include <cstdint>

#include "common/comptr.h"
#include "common/window.h"

class GraphObserver {
 public:
  virtual ~GraphObserver() = default;
  // The parameters are freed after the call returns: keep nothing they point to. The observer may
  // delete the FilterGraph that calls it; no further event is delivered then.
  virtual void OnGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) = 0;
};

class FilterGraph : public Window {
 public:
  // The observer is not owned, may be null and must outlive the object. A graph that could not be
  // created makes Run, Pause and Stop fail; a missing window only means no events.
  explicit FilterGraph(GraphObserver* observer);
  // Events still queued are discarded with the graph.
  ~FilterGraph() override;

  // The last state that Run, Pause or Stop reached or found (State_Stopped, State_Paused,
  // State_Running). Graph events never change it: a graph that stopped by itself still reads running.
  int32_t GetState() const { return state_; }
  // True when the graph is in that state or the transition was started; a transition still under
  // way counts as done.
  bool Run();
  bool Pause();
  bool Stop();

  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

  // What the graph posts to the window when events are queued.
  static constexpr UINT kGraphNotifyMessage = WM_APP + 100;

 protected:
  // Lets the graph go now, and with it every filter it alone holds; the object then has none.
  void ReleaseGraph();

  ComPtr<IGraphBuilder> graph_;

 private:
  // One per event loop in progress, so that a loop learns when the observer deleted the object.
  struct Dispatch {
    bool objectGone;
    Dispatch* outer;
  };

  bool ChangeState(int32_t target, HRESULT (STDMETHODCALLTYPE IMediaControl::*transition)(), int stateLine,
                   int transitionLine);
  void DrainEvents();

  GraphObserver* observer_;
  int32_t state_ = State_Stopped;
  Dispatch* dispatch_ = nullptr;
};
