#include "platform/dshow/transform.h"

// ---- CTransformInputPin ----

CTransformInputPin::CTransformInputPin(const wchar_t* objectName, CTransformFilter* filter, const wchar_t* pinName)
    : CBaseInputPin(objectName, filter, filter->FilterLock(), pinName), transform_(filter) {}

HRESULT CTransformInputPin::CheckConnect(IPin* pin) {
  const HRESULT result = transform_->CheckConnect(PINDIR_INPUT, pin);
  return FAILED(result) ? result : CBaseInputPin::CheckConnect(pin);
}

HRESULT CTransformInputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_INPUT);
  return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT result = transform_->CompleteConnect(PINDIR_INPUT, receivePin);
  return FAILED(result) ? result : CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* type) {
  const HRESULT result = transform_->CheckInputType(type);
  if (result != S_OK) return result;
  CTransformOutputPin* output = transform_->OutputPin();
  if (output->IsConnected()) return transform_->CheckTransform(type, &output->CurrentMediaType());
  return S_OK;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* type) {
  const HRESULT result = CBaseInputPin::SetMediaType(type);
  return FAILED(result) ? result : transform_->SetMediaType(PINDIR_INPUT, type);
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::Receive(IMediaSample* sample) {
  ScopedLock lock(transform_->ReceiveLock());
  const HRESULT result = CBaseInputPin::Receive(sample);
  return result == S_OK ? transform_->Receive(sample) : result;
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndOfStream() {
  ScopedLock lock(transform_->ReceiveLock());
  const HRESULT result = CheckStreaming();
  return result == S_OK ? transform_->EndOfStream() : result;
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::BeginFlush() {
  ScopedLock lock(lock_);
  if (!IsConnected() || !transform_->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  const HRESULT result = CBaseInputPin::BeginFlush();
  return FAILED(result) ? result : transform_->BeginFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::EndFlush() {
  ScopedLock lock(lock_);
  if (!IsConnected() || !transform_->OutputPin()->IsConnected()) return VFW_E_NOT_CONNECTED;
  const HRESULT result = CBaseInputPin::EndFlush();
  return FAILED(result) ? result : transform_->EndFlush();
}

HRESULT STDMETHODCALLTYPE CTransformInputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  CBaseInputPin::NewSegment(start, stop, rate);
  return transform_->NewSegment(start, stop, rate);
}

// ---- CTransformOutputPin ----

CTransformOutputPin::CTransformOutputPin(const wchar_t* objectName, CTransformFilter* filter, const wchar_t* pinName)
    : CBaseOutputPin(objectName, filter, filter->FilterLock(), pinName),
      transform_(filter),
      position_(L"CPosPassThru", GetOwner(), filter->InputPin()) {}

HRESULT STDMETHODCALLTYPE CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition)
    return position_.NonDelegatingQueryInterface(riid, object);
  return CBaseOutputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pin) {
  if (!transform_->InputPin()->IsConnected()) return E_UNEXPECTED;
  const HRESULT result = transform_->CheckConnect(PINDIR_OUTPUT, pin);
  return FAILED(result) ? result : CBaseOutputPin::CheckConnect(pin);
}

HRESULT CTransformOutputPin::BreakConnect() {
  transform_->BreakConnect(PINDIR_OUTPUT);
  return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* receivePin) {
  const HRESULT result = transform_->CompleteConnect(PINDIR_OUTPUT, receivePin);
  return FAILED(result) ? result : CBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* type) {
  CTransformInputPin* input = transform_->InputPin();
  if (!input->IsConnected()) return E_UNEXPECTED;
  return transform_->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* type) {
  const HRESULT result = CBaseOutputPin::SetMediaType(type);
  return FAILED(result) ? result : transform_->SetMediaType(PINDIR_OUTPUT, type);
}

HRESULT CTransformOutputPin::GetMediaType(int position, CMediaType* type) {
  if (!transform_->InputPin()->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return transform_->GetMediaType(position, type);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  return transform_->DecideBufferSize(allocator, request);
}

// ---- CTransformFilter ----

CTransformFilter::CTransformFilter(const wchar_t* objectName, IUnknown* outer, REFCLSID classId)
    : CTransformFilter(objectName, outer, classId, OwnPins{}) {
  input_.reset(new CTransformInputPin(L"Transform input pin", this));
  output_.reset(new CTransformOutputPin(L"Transform output pin", this));
}

CTransformFilter::CTransformFilter(const wchar_t* objectName, IUnknown* outer, REFCLSID classId, OwnPins)
    : CBaseFilter(objectName, outer, &filterLock_, classId) {}

CTransformFilter::~CTransformFilter() {
  // The output pin's seeking part refers to the input pin.
  output_.reset();
  input_.reset();
}

CBasePin* CTransformFilter::GetPin(int index) {
  if (index == 0) return input_.get();
  if (index == 1) return output_.get();
  return nullptr;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Stop() {
  ScopedLock lock(&filterLock_);
  if (state_ == State_Stopped) return S_OK;
  // Refuse new samples and free an upstream thread waiting for a buffer, then wait for the sample
  // in progress.
  if (input_->IsConnected()) input_->Inactive();
  ScopedLock receive(&receiveLock_);
  HRESULT result = CBaseFilter::Stop();
  if (streaming_) {
    streaming_ = false;
    const HRESULT stopped = StopStreaming();
    if (SUCCEEDED(result)) result = stopped;
  }
  eosDelivered_ = false;
  return result;
}

HRESULT STDMETHODCALLTYPE CTransformFilter::Pause() {
  ScopedLock lock(&filterLock_);
  HRESULT result = S_OK;
  if (!input_->IsConnected()) {
    // Nothing will ever arrive: let the rest of the graph complete.
    if (output_->IsConnected() && !eosDelivered_) {
      output_->DeliverEndOfStream();
      eosDelivered_ = true;
    }
  } else if (state_ == State_Stopped) {
    ScopedLock receive(&receiveLock_);
    result = StartStreaming();
    if (SUCCEEDED(result)) streaming_ = true;
  }
  if (FAILED(result)) return result;
  result = CBaseFilter::Pause();
  if (FAILED(result) && state_ == State_Stopped && streaming_) {
    streaming_ = false;
    StopStreaming();
  }
  return result;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*) { return E_UNEXPECTED; }
HRESULT CTransformFilter::StartStreaming() { return S_OK; }
HRESULT CTransformFilter::StopStreaming() { return S_OK; }
HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION) { return S_OK; }
HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }
HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }

HRESULT CTransformFilter::Receive(IMediaSample* sample) {
  ComPtr<IMediaSample> out;
  HRESULT result = InitializeOutputSample(sample, out);
  if (FAILED(result)) return result;
  result = Transform(sample, out.Get());
  if (result == S_OK) return output_->Deliver(out.Get());
  // S_FALSE drops the sample without failing the stream.
  return result == S_FALSE ? S_OK : result;
}

HRESULT CTransformFilter::EndOfStream() { return output_->DeliverEndOfStream(); }
HRESULT CTransformFilter::BeginFlush() { return output_->DeliverBeginFlush(); }
HRESULT CTransformFilter::EndFlush() { return output_->DeliverEndFlush(); }

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  return output_->DeliverNewSegment(start, stop, rate);
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* in, ComPtr<IMediaSample>& out) {
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT times = in->GetTime(&start, &stop);
  const HRESULT result = output_->GetDeliveryBuffer(out.Clear(), SUCCEEDED(times) ? &start : nullptr,
                                                    times == S_OK ? &stop : nullptr, 0);
  if (FAILED(result)) return result;
  CopySampleProperties(in, out.Get(), false);
  return S_OK;
}

void CTransformFilter::CopySampleProperties(IMediaSample* from, IMediaSample* to, bool withMediaType) {
  // Buffers come back from the allocator with the last user's flags: set every one.
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT times = from->GetTime(&start, &stop);
  if (times == S_OK)
    to->SetTime(&start, &stop);
  else if (times == VFW_S_NO_STOP_TIME)
    to->SetTime(&start, nullptr);
  else
    to->SetTime(nullptr, nullptr);
  LONGLONG mediaStart = 0;
  LONGLONG mediaStop = 0;
  if (from->GetMediaTime(&mediaStart, &mediaStop) == S_OK)
    to->SetMediaTime(&mediaStart, &mediaStop);
  else
    to->SetMediaTime(nullptr, nullptr);
  to->SetSyncPoint(from->IsSyncPoint() == S_OK);
  to->SetPreroll(from->IsPreroll() == S_OK);
  to->SetDiscontinuity(from->IsDiscontinuity() == S_OK);
  if (!withMediaType) return;
  AM_MEDIA_TYPE* type = nullptr;
  if (from->GetMediaType(&type) == S_OK && type) {
    to->SetMediaType(type);
    DeleteMediaType(type);
  }
}
