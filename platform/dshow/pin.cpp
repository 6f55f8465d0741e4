#include "platform/dshow/pin.h"

#include <cstring>
#include <cwchar>

#include "platform/dshow/filter.h"

namespace {

// Walks a pin's GetMediaType list; holds the pin (and so its filter) while it lives.
class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
 public:
  CEnumMediaTypes(CBasePin* pin, int position) : CUnknown(L"CEnumMediaTypes", nullptr), pin_(pin), position_(position) {}

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IEnumMediaTypes) return GetInterface(static_cast<IEnumMediaTypes*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(riid, object);
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types || (count != 1 && !fetched)) return E_POINTER;
    ULONG done = 0;
    HRESULT result = S_OK;
    while (done < count) {
      CMediaType type;
      if (pin_->GetMediaType(position_, &type) != S_OK) break;
      types[done] = CreateMediaType(&type);
      if (!types[done]) {
        result = E_OUTOFMEMORY;
        break;
      }
      ++done;
      ++position_;
    }
    if (fetched) *fetched = done;
    // Types already handed out belong to the caller, who frees them only on success: a later
    // failure ends the batch short instead of failing it.
    if (FAILED(result) && done == 0) return result;
    return done == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    for (; count > 0; --count, ++position_) {
      CMediaType type;
      if (pin_->GetMediaType(position_, &type) != S_OK) return S_FALSE;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override {
    if (!clone) return E_POINTER;
    auto* copy = new (std::nothrow) CEnumMediaTypes(pin_.Get(), position_);
    if (!copy) return E_OUTOFMEMORY;
    return GetInterface(static_cast<IEnumMediaTypes*>(copy), reinterpret_cast<void**>(clone));
  }

 private:
  ComPtr<CBasePin> pin_;
  int position_;
};

// A refusal that came as a success code still fails the connection.
HRESULT AsFailure(HRESULT result) { return FAILED(result) ? result : VFW_E_TYPE_NOT_ACCEPTED; }

}  // namespace

// ---- CBasePin ----

CBasePin::CBasePin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock, const wchar_t* pinName,
                   PIN_DIRECTION direction)
    : CUnknown(objectName, nullptr), filter_(filter), lock_(lock), name_(pinName), direction_(direction) {}

CBasePin::~CBasePin() = default;

HRESULT STDMETHODCALLTYPE CBasePin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IPin) return GetInterface(static_cast<IPin*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

ULONG STDMETHODCALLTYPE CBasePin::NonDelegatingAddRef() { return filter_->AddRef(); }

ULONG STDMETHODCALLTYPE CBasePin::NonDelegatingRelease() { return filter_->Release(); }

HRESULT STDMETHODCALLTYPE CBasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  ScopedLock lock(lock_);
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
  if (!type) return AgreeMediaType(receivePin, nullptr);
  const CMediaType partial(*type);
  return AgreeMediaType(receivePin, &partial);
}

HRESULT CBasePin::AgreeMediaType(IPin* receivePin, const CMediaType* partial) {
  if (partial && !partial->IsPartiallySpecified()) return AttemptConnection(receivePin, partial);
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  // The receiving pin's preferences first, then ours.
  for (IPin* source : {receivePin, static_cast<IPin*>(this)}) {
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(source->EnumMediaTypes(types.Clear())) || types.IsNull()) continue;
    const HRESULT result = TryMediaTypes(receivePin, partial, types.Get());
    if (result == S_OK) return S_OK;
    if (result != VFW_E_NO_ACCEPTABLE_TYPES) failure = result;
  }
  return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types) {
  HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
  for (;;) {
    AM_MEDIA_TYPE* next = nullptr;
    ULONG fetched = 0;
    if (types->Next(1, &next, &fetched) != S_OK || fetched != 1 || !next) {
      DeleteMediaType(next);
      return failure;
    }
    const CMediaType type(*next);
    DeleteMediaType(next);
    if (partial && !type.MatchesPartial(partial)) continue;
    const HRESULT result = AttemptConnection(receivePin, &type);
    if (result == S_OK) return S_OK;
    failure = result;
  }
}

HRESULT CBasePin::AttemptConnection(IPin* receivePin, const CMediaType* type) {
  HRESULT result = CheckConnect(receivePin);
  if (FAILED(result)) {
    BreakConnect();
    return result;
  }
  result = CheckMediaType(type);
  if (result != S_OK) {
    BreakConnect();
    return AsFailure(result);
  }
  connected_ = receivePin;
  result = SetMediaType(type);
  if (SUCCEEDED(result)) {
    result = receivePin->ReceiveConnection(this, type);
    if (SUCCEEDED(result)) {
      result = CompleteConnect(receivePin);
      if (SUCCEEDED(result)) return S_OK;
      receivePin->Disconnect();
    }
  }
  ClearConnection();
  BreakConnect();
  return AsFailure(result);
}

void CBasePin::ClearConnection() {
  connected_.Release();
  mediaType_ = CMediaType();
}

HRESULT STDMETHODCALLTYPE CBasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  ScopedLock lock(lock_);
  if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
  if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
  HRESULT result = CheckConnect(connector);
  if (FAILED(result)) {
    BreakConnect();
    return result;
  }
  const CMediaType offered(*type);
  result = CheckMediaType(&offered);
  if (result != S_OK) {
    BreakConnect();
    return AsFailure(result);
  }
  connected_ = connector;
  result = SetMediaType(&offered);
  if (SUCCEEDED(result)) result = CompleteConnect(connector);
  if (SUCCEEDED(result)) return S_OK;
  ClearConnection();
  BreakConnect();
  return AsFailure(result);
}

HRESULT STDMETHODCALLTYPE CBasePin::Disconnect() {
  ScopedLock lock(lock_);
  if (!filter_->IsStopped()) return VFW_E_NOT_STOPPED;
  if (!IsConnected()) return S_FALSE;
  const HRESULT result = BreakConnect();
  if (FAILED(result)) return result;
  ClearConnection();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  ScopedLock lock(lock_);
  *pin = connected_.Get();
  if (!*pin) return VFW_E_NOT_CONNECTED;
  (*pin)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  ScopedLock lock(lock_);
  if (!IsConnected()) {
    std::memset(type, 0, sizeof(AM_MEDIA_TYPE));
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(type, &mediaType_);
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  wcsncpy(info->achName, name_.c_str(), MAX_PIN_NAME - 1);
  info->achName[MAX_PIN_NAME - 1] = L'\0';
  info->dir = direction_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const size_t bytes = (name_.size() + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, name_.c_str(), bytes);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  const CMediaType offered(*type);
  return CheckMediaType(&offered) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  auto* enumerator = new (std::nothrow) CEnumMediaTypes(this, 0);
  if (!enumerator) {
    *types = nullptr;
    return E_OUTOFMEMORY;
  }
  return GetInterface(static_cast<IEnumMediaTypes*>(enumerator), reinterpret_cast<void**>(types));
}

HRESULT STDMETHODCALLTYPE CBasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CBasePin::EndOfStream() { return S_OK; }

HRESULT STDMETHODCALLTYPE CBasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  segmentStart_ = start;
  segmentStop_ = stop;
  segmentRate_ = rate;
  return S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*) { return E_UNEXPECTED; }

HRESULT CBasePin::SetMediaType(const CMediaType* type) { return mediaType_.Set(*type); }

HRESULT CBasePin::CheckConnect(IPin* pin) {
  PIN_DIRECTION peerDirection;
  const HRESULT result = pin->QueryDirection(&peerDirection);
  if (FAILED(result)) return result;
  return peerDirection == direction_ ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect() { return S_OK; }
HRESULT CBasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT CBasePin::Active() { return S_OK; }
HRESULT CBasePin::Inactive() { return S_OK; }
HRESULT CBasePin::Run(REFERENCE_TIME) { return S_OK; }

// ---- CBaseInputPin ----

CBaseInputPin::CBaseInputPin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock,
                             const wchar_t* pinName)
    : CBasePin(objectName, filter, lock, pinName, PINDIR_INPUT) {}

HRESULT STDMETHODCALLTYPE CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IMemInputPin) return GetInterface(static_cast<IMemInputPin*>(this), object);
  return CBasePin::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  ScopedLock lock(lock_);
  if (allocator_.IsNull()) {
    const HRESULT result = allocator_.CreateInstance(CLSID_MemoryAllocator);
    if (result != S_OK) {
      *allocator = nullptr;
      return FAILED(result) ? result : E_FAIL;
    }
  }
  *allocator = allocator_.Get();
  (*allocator)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  ScopedLock lock(lock_);
  allocator_ = allocator;
  readOnly_ = readOnly;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CBaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  const HRESULT result = CheckStreaming();
  if (result != S_OK) return result;
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) == S_OK && changed) {
    const CMediaType type(*changed);
    DeleteMediaType(changed);
    // The filters here set themselves up for the connected type; a sample of a type that changes
    // that is refused rather than read as if it were of that type.
    if (!TakesType(type)) {
      runTimeError_ = true;
      filter_->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
      return VFW_E_INVALIDMEDIATYPE;
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed) {
  if (!samples || !processed) return E_POINTER;
  *processed = 0;
  HRESULT result = S_OK;
  for (long i = 0; i < count; ++i) {
    result = Receive(samples[i]);
    if (result != S_OK) break;
    ++*processed;
  }
  return result;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::ReceiveCanBlock() {
  // A renderer may block; a filter that passes samples on blocks when a downstream pin does.
  int outputs = 0;
  for (int i = 0; i < filter_->GetPinCount(); ++i) {
    CBasePin* pin = filter_->GetPin(i);
    if (!pin || pin->Direction() != PINDIR_OUTPUT) continue;
    ++outputs;
    ComPtr<IMemInputPin> peer = ComPtr<IMemInputPin>::QueryFrom(pin->GetConnected());
    if (peer.IsValid() && peer->ReceiveCanBlock() == S_OK) return S_OK;
  }
  return outputs == 0 ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::BeginFlush() {
  ScopedLock lock(lock_);
  flushing_ = true;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::EndFlush() {
  ScopedLock lock(lock_);
  flushing_ = false;
  runTimeError_ = false;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CBaseInputPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type || !IsConnected()) return CBasePin::QueryAccept(type);
  return TakesType(CMediaType(*type)) ? S_OK : S_FALSE;
}

bool CBaseInputPin::TakesType(const CMediaType& type) { return CheckMediaType(&type) == S_OK && KeepsPrepared(type); }

bool CBaseInputPin::KeepsPrepared(const CMediaType& type) { return KeepsPreparedFormat(CurrentMediaType(), type); }

HRESULT CBaseInputPin::CheckStreaming() {
  if (!IsConnected()) return VFW_E_NOT_CONNECTED;
  if (filter_->IsStopped()) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  if (runTimeError_) return VFW_E_RUNTIME_ERROR;
  return S_OK;
}

HRESULT CBaseInputPin::Inactive() {
  runTimeError_ = false;
  flushing_ = false;
  // Decommitting releases an upstream thread that waits for a buffer.
  if (allocator_.IsValid()) allocator_->Decommit();
  return S_OK;
}

HRESULT CBaseInputPin::BreakConnect() {
  allocator_.Release();
  readOnly_ = false;
  return CBasePin::BreakConnect();
}

// ---- CBaseOutputPin ----

CBaseOutputPin::CBaseOutputPin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock,
                               const wchar_t* pinName)
    : CBasePin(objectName, filter, lock, pinName, PINDIR_OUTPUT) {}

HRESULT CBaseOutputPin::CheckConnect(IPin* pin) {
  const HRESULT result = CBasePin::CheckConnect(pin);
  if (FAILED(result)) return result;
  inputPin_ = ComPtr<IMemInputPin>::QueryFrom(pin);
  return inputPin_.IsValid() ? S_OK : E_NOINTERFACE;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*) { return DecideAllocator(inputPin_.Get(), allocator_); }

HRESULT CBaseOutputPin::BreakConnect() {
  if (allocator_.IsValid()) allocator_->Decommit();
  allocator_.Release();
  inputPin_.Release();
  return CBasePin::BreakConnect();
}

HRESULT CBaseOutputPin::Active() {
  return allocator_.IsValid() ? allocator_->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::Inactive() {
  return allocator_.IsValid() ? allocator_->Decommit() : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& allocator) {
  allocator.Release();
  ALLOCATOR_PROPERTIES wishes = {};
  if (FAILED(pin->GetAllocatorRequirements(&wishes))) wishes = {};
  if (wishes.cbAlign == 0) wishes.cbAlign = 1;

  HRESULT result = pin->GetAllocator(allocator.Clear());
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) result = InitAllocator(allocator);
    if (SUCCEEDED(result) && allocator.IsValid()) {
      ALLOCATOR_PROPERTIES request = wishes;
      result = DecideBufferSize(allocator.Get(), &request);
      if (SUCCEEDED(result)) result = pin->NotifyAllocator(allocator.Get(), FALSE);
      if (SUCCEEDED(result)) return S_OK;
    }
    allocator.Release();
  }
  return FAILED(result) ? result : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::InitAllocator(ComPtr<IMemAllocator>& allocator) {
  const HRESULT result = allocator.CreateInstance(CLSID_MemoryAllocator);
  return result == S_OK ? S_OK : (FAILED(result) ? result : E_FAIL);
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                          DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  if (allocator_.IsNull()) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, stop, flags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* sample) {
  return inputPin_.IsValid() ? inputPin_->Receive(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndOfStream() {
  IPin* peer = GetConnected();
  return peer ? peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverBeginFlush() {
  IPin* peer = GetConnected();
  return peer ? peer->BeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverEndFlush() {
  IPin* peer = GetConnected();
  return peer ? peer->EndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  IPin* peer = GetConnected();
  return peer ? peer->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE CBaseOutputPin::EndOfStream() { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE CBaseOutputPin::BeginFlush() { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE CBaseOutputPin::EndFlush() { return E_UNEXPECTED; }

// ---- CRenderedInputPin ----

CRenderedInputPin::CRenderedInputPin(const wchar_t* objectName, CBaseFilter* filter, CriticalSection* lock,
                                     const wchar_t* pinName)
    : CBaseInputPin(objectName, filter, lock, pinName) {}

HRESULT STDMETHODCALLTYPE CRenderedInputPin::EndOfStream() {
  ScopedLock lock(lock_);
  const HRESULT result = CheckStreaming();
  if (result != S_OK) return result;
  if (!atEndOfStream_) {
    atEndOfStream_ = true;
    if (filter_->IsRunning()) DoCompleteHandling();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CRenderedInputPin::EndFlush() {
  ScopedLock lock(lock_);
  atEndOfStream_ = false;
  completeNotified_ = false;
  return CBaseInputPin::EndFlush();
}

HRESULT CRenderedInputPin::Active() {
  atEndOfStream_ = false;
  completeNotified_ = false;
  return CBaseInputPin::Active();
}

HRESULT CRenderedInputPin::Run(REFERENCE_TIME start) {
  if (atEndOfStream_) DoCompleteHandling();
  return CBaseInputPin::Run(start);
}

void CRenderedInputPin::DoCompleteHandling() {
  if (completeNotified_) return;
  completeNotified_ = true;
  filter_->NotifyEvent(EC_COMPLETE, S_OK, 0);
}
