#pragma once
// CBaseFilter: IBaseFilter over a fixed set of pins that the derived filter owns. State changes
// go to the connected pins (Active on leaving Stopped, Run on running, Inactive on Stop); events go
// to the graph's event sink, which the filter keeps without a reference (the graph holds the
// filter, so a reference would be a cycle).

#include <dshow.h>

#include "common/comptr.h"
#include "common/sync.h"
#include "platform/dshow/unknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter {
 public:
  // The lock is the filter lock, shared with the pins; the filter does not own it.
  CBaseFilter(const wchar_t* objectName, IUnknown* outer, CriticalSection* lock, REFCLSID classId);
  ~CBaseFilter() override;

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IPersist
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* classId) override;
  // IMediaFilter
  HRESULT STDMETHODCALLTYPE Stop() override;
  HRESULT STDMETHODCALLTYPE Pause() override;
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
  HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* vendorInfo) override;

  virtual int GetPinCount() = 0;
  // Null for an index without a pin; the pin is not AddRef'd.
  virtual CBasePin* GetPin(int index) = 0;

  // Sends an event to the graph; EC_COMPLETE names this filter as its sender. E_NOTIMPL outside a graph.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

  bool IsStopped() const { return state_ == State_Stopped; }
  bool IsRunning() const { return state_ == State_Running; }
  CriticalSection* FilterLock() const { return lock_; }

 protected:
  CriticalSection* lock_;
  FILTER_STATE state_ = State_Stopped;

 private:
  CLSID classId_;
  ComPtr<IReferenceClock> clock_;
  IFilterGraph* graph_ = nullptr;      // not referenced
  IMediaEventSink* sink_ = nullptr;    // not referenced
  wchar_t name_[MAX_FILTER_NAME] = L"";
};
