#pragma once
// CTransInPlaceFilter: a transform that changes samples where they lie. Both pins carry the same
// media type, and the output pin offers the upstream allocator downstream so that one buffer
// travels through. When the two sides end up with different allocators (or upstream lends
// read-only buffers to a filter that writes), each sample is copied into an output buffer first.

#include "platform/dshow/transform.h"

class CTransInPlaceFilter;

class CTransInPlaceInputPin : public CTransformInputPin {
 public:
  CTransInPlaceInputPin(const wchar_t* objectName, CTransInPlaceFilter* filter);

  // Downstream's allocator once the output is connected, so that buffers pass straight through.
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** allocator) override;
  // The output's type once it is connected; nothing before.
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
};

class CTransInPlaceOutputPin : public CTransformOutputPin {
 public:
  CTransInPlaceOutputPin(const wchar_t* objectName, CTransInPlaceFilter* filter);

  // The input's type, and nothing else.
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT CheckMediaType(const CMediaType* type) override;
  HRESULT DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& allocator) override;

 private:
  CTransInPlaceFilter* inPlace_;
};

class CTransInPlaceFilter : public CTransformFilter {
 public:
  CTransInPlaceFilter(const wchar_t* objectName, IUnknown* outer, REFCLSID classId, bool modifiesData);

  using CTransformFilter::Transform;
  // Works on the sample that goes downstream; S_FALSE drops it.
  virtual HRESULT Transform(IMediaSample* sample) = 0;

  HRESULT CheckTransform(const CMediaType*, const CMediaType*) override { return S_OK; }
  HRESULT GetMediaType(int, CMediaType*) override { return E_UNEXPECTED; }
  // At least the upstream allocator's buffers, which may have to be copied into ours.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  HRESULT Receive(IMediaSample* sample) override;

  bool ModifiesData() const { return modifiesData_; }
  bool UsingDifferentAllocators() const { return input_->Allocator() != output_->Allocator(); }

 private:
  HRESULT Copy(IMediaSample* source, ComPtr<IMediaSample>& copy);

  bool modifiesData_;
};
