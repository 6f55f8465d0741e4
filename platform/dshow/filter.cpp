#include "platform/dshow/filter.h"

#include <cwchar>

#include "platform/dshow/pin.h"

namespace {

// Walks the filter's pins by index; holds the filter while it lives.
class CEnumPins : public CUnknown, public IEnumPins {
 public:
  CEnumPins(CBaseFilter* filter, int position) : CUnknown(L"CEnumPins", nullptr), filter_(filter), position_(position) {}

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IEnumPins) return GetInterface(static_cast<IEnumPins*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins || (count != 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    while (done < count) {
      CBasePin* pin = filter_->GetPin(position_);
      if (!pin) break;
      pins[done] = pin;
      pin->AddRef();
      ++done;
      ++position_;
    }
    if (fetched) *fetched = done;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const int remaining = filter_->GetPinCount() - position_;
    if (remaining < 0 || count > static_cast<ULONG>(remaining)) {
      position_ = filter_->GetPinCount();
      return S_FALSE;
    }
    position_ += static_cast<int>(count);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override {
    if (!clone) return E_POINTER;
    auto* copy = new (std::nothrow) CEnumPins(filter_.Get(), position_);
    if (!copy) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumPins*>(copy), reinterpret_cast<void**>(clone));
  }

 private:
  ComPtr<CBaseFilter> filter_;
  int position_;
};

}  // namespace

CBaseFilter::CBaseFilter(const wchar_t* objectName, IUnknown* outer, CriticalSection* lock, REFCLSID classId)
    : CUnknown(objectName, outer), lock_(lock), classId_(classId) {}

CBaseFilter::~CBaseFilter() = default;

HRESULT STDMETHODCALLTYPE CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist)
    return GetInterface(static_cast<IBaseFilter*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetClassID(CLSID* classId) {
  if (!classId) return E_POINTER;
  *classId = classId_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Stop() {
  ScopedLock lock(lock_);
  HRESULT result = S_OK;
  if (state_ != State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT pinResult = pin->Inactive();
      if (FAILED(pinResult) && SUCCEEDED(result)) result = pinResult;
    }
  }
  state_ = State_Stopped;
  return result;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Pause() {
  ScopedLock lock(lock_);
  if (state_ == State_Stopped) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT result = pin->Active();
      if (FAILED(result)) return result;
    }
  }
  state_ = State_Paused;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::Run(REFERENCE_TIME start) {
  ScopedLock lock(lock_);
  if (state_ == State_Stopped) {
    // Pause is virtual: a derived filter's preparation runs on the way through.
    const HRESULT result = Pause();
    if (FAILED(result)) return result;
  }
  if (state_ != State_Running) {
    for (int i = 0; i < GetPinCount(); ++i) {
      CBasePin* pin = GetPin(i);
      if (!pin || !pin->IsConnected()) continue;
      const HRESULT result = pin->Run(start);
      if (FAILED(result)) return result;
    }
  }
  state_ = State_Running;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = state_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::SetSyncSource(IReferenceClock* clock) {
  ScopedLock lock(lock_);
  clock_ = clock;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  ScopedLock lock(lock_);
  *clock = clock_.Get();
  if (*clock) (*clock)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  auto* enumerator = new (std::nothrow) CEnumPins(this, 0);
  if (!enumerator) {
    *pins = nullptr;
    return E_OUTOFMEMORY;
  }
  return GetInterface(static_cast<IEnumPins*>(enumerator), reinterpret_cast<void**>(pins));
}

HRESULT STDMETHODCALLTYPE CBaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  ScopedLock lock(lock_);
  for (int i = 0; i < GetPinCount(); ++i) {
    CBasePin* candidate = GetPin(i);
    if (candidate && candidate->Name() == id) return GetInterface(static_cast<IPin*>(candidate), reinterpret_cast<void**>(pin));
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  ScopedLock lock(lock_);
  wcsncpy(info->achName, name_, MAX_FILTER_NAME - 1);
  info->achName[MAX_FILTER_NAME - 1] = L'\0';
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  ScopedLock lock(lock_);
  graph_ = graph;
  sink_ = nullptr;
  if (graph) {
    // Kept without a reference: the graph outlives its membership and holds the filter.
    ComPtr<IMediaEventSink> sink = ComPtr<IMediaEventSink>::QueryFrom(graph);
    sink_ = sink.Get();
  }
  name_[0] = L'\0';
  if (name) {
    wcsncpy(name_, name, MAX_FILTER_NAME - 1);
    name_[MAX_FILTER_NAME - 1] = L'\0';
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseFilter::QueryVendorInfo(LPWSTR*) { return E_NOTIMPL; }

HRESULT CBaseFilter::NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2) {
  IMediaEventSink* sink = sink_;
  if (!sink) return E_NOTIMPL;
  if (code == EC_COMPLETE) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink->Notify(code, param1, param2);
}
