#include "platform/dshow/transip.h"

#include <algorithm>
#include <cstring>

// ---- CTransInPlaceInputPin ----

CTransInPlaceInputPin::CTransInPlaceInputPin(const wchar_t* objectName, CTransInPlaceFilter* filter)
    : CTransformInputPin(objectName, filter) {}

HRESULT STDMETHODCALLTYPE CTransInPlaceInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  ScopedLock lock(lock_);
  IMemInputPin* downstream = transform_->OutputPin()->ConnectedInput();
  if (downstream) return downstream->GetAllocator(allocator);
  return CTransformInputPin::GetAllocator(allocator);
}

HRESULT CTransInPlaceInputPin::GetMediaType(int position, CMediaType* type) {
  CTransformOutputPin* output = transform_->OutputPin();
  if (position != 0 || !output->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return type->Set(output->CurrentMediaType());
}

HRESULT CTransInPlaceInputPin::CheckMediaType(const CMediaType* type) {
  const HRESULT result = transform_->CheckInputType(type);
  if (result != S_OK) return result;
  // Reconnected while the output stays connected: the type downstream took is the only one.
  CTransformOutputPin* output = transform_->OutputPin();
  if (output->IsConnected() && *type != output->CurrentMediaType()) return S_FALSE;
  return S_OK;
}

// ---- CTransInPlaceOutputPin ----

CTransInPlaceOutputPin::CTransInPlaceOutputPin(const wchar_t* objectName, CTransInPlaceFilter* filter)
    : CTransformOutputPin(objectName, filter), inPlace_(filter) {}

HRESULT CTransInPlaceOutputPin::GetMediaType(int position, CMediaType* type) {
  CTransformInputPin* input = transform_->InputPin();
  if (position != 0 || !input->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return type->Set(input->CurrentMediaType());
}

HRESULT CTransInPlaceOutputPin::CheckMediaType(const CMediaType* type) {
  CTransformInputPin* input = transform_->InputPin();
  if (!input->IsConnected()) return VFW_E_NOT_CONNECTED;
  if (*type != input->CurrentMediaType()) return S_FALSE;
  return transform_->CheckTransform(&input->CurrentMediaType(), type);
}

HRESULT CTransInPlaceOutputPin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& allocator) {
  CTransformInputPin* input = transform_->InputPin();
  IMemAllocator* upstream = input->Allocator();
  // A filter that writes into read-only buffers copies them, so it needs buffers of its own.
  const bool mustCopy = inPlace_->ModifiesData() && input->IsReadOnly();
  if (upstream && !mustCopy && SUCCEEDED(pin->NotifyAllocator(upstream, input->IsReadOnly()))) {
    allocator = upstream;
    return S_OK;
  }
  return CTransformOutputPin::DecideAllocator(pin, allocator);
}

// ---- CTransInPlaceFilter ----

CTransInPlaceFilter::CTransInPlaceFilter(const wchar_t* objectName, IUnknown* outer, REFCLSID classId,
                                         bool modifiesData)
    : CTransformFilter(objectName, outer, classId, OwnPins{}), modifiesData_(modifiesData) {
  input_.reset(new CTransInPlaceInputPin(L"TransInPlace input pin", this));
  output_.reset(new CTransInPlaceOutputPin(L"TransInPlace output pin", this));
}

HRESULT CTransInPlaceFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  ALLOCATOR_PROPERTIES wanted = *request;
  ALLOCATOR_PROPERTIES upstream = {};
  if (input_->Allocator() && SUCCEEDED(input_->Allocator()->GetProperties(&upstream))) {
    wanted.cBuffers = std::max(wanted.cBuffers, upstream.cBuffers);
    wanted.cbBuffer = std::max(wanted.cbBuffer, upstream.cbBuffer);
    wanted.cbAlign = std::max(wanted.cbAlign, upstream.cbAlign);
    wanted.cbPrefix = std::max(wanted.cbPrefix, upstream.cbPrefix);
  }
  wanted.cBuffers = std::max(wanted.cBuffers, 1L);
  wanted.cbBuffer = std::max(wanted.cbBuffer, 1L);
  wanted.cbAlign = std::max(wanted.cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT result = allocator->SetProperties(&wanted, &actual);
  if (FAILED(result)) return result;
  return actual.cBuffers < 1 || actual.cbBuffer < wanted.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CTransInPlaceFilter::Receive(IMediaSample* sample) {
  ComPtr<IMediaSample> target(sample);
  if (UsingDifferentAllocators() || (modifiesData_ && input_->IsReadOnly())) {
    const HRESULT copied = Copy(sample, target);
    if (FAILED(copied)) return copied;
  }
  const HRESULT result = Transform(target.Get());
  if (result == S_OK) return output_->Deliver(target.Get());
  return result == S_FALSE ? S_OK : result;
}

HRESULT CTransInPlaceFilter::Copy(IMediaSample* source, ComPtr<IMediaSample>& copy) {
  BYTE* from = nullptr;
  HRESULT result = source->GetPointer(&from);
  if (FAILED(result)) return result;
  const long length = source->GetActualDataLength();
  if (length < 0 || (length > 0 && !from)) return E_FAIL;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  const HRESULT times = source->GetTime(&start, &stop);
  result = output_->GetDeliveryBuffer(copy.Clear(), SUCCEEDED(times) ? &start : nullptr,
                                      times == S_OK ? &stop : nullptr, 0);
  if (FAILED(result)) return result;
  BYTE* to = nullptr;
  result = copy->GetPointer(&to);
  if (FAILED(result)) return result;
  if (length > copy->GetSize()) return VFW_E_BUFFER_OVERFLOW;
  if (length > 0) std::memcpy(to, from, static_cast<size_t>(length));
  result = copy->SetActualDataLength(length);
  if (FAILED(result)) return result;
  CopySampleProperties(source, copy.Get(), true);
  return S_OK;
}
