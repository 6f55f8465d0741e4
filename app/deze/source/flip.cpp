#include "app/deze/source/flip.h"

#include <cstdlib>
#include <cstring>

#include "common/dib.h"
#include "media/comx.h"
#include "platform/dshow/factory.h"

CUnknown* FlipFilter::CreateInstance(IUnknown* outer, HRESULT* result) {
  return CreateComObject<FlipFilter>(outer, result);
}

FlipFilter::FlipFilter(IUnknown* outer) : CTransInPlaceFilter(L"FlipFilter", outer, CLSID_FlipFilter, true) {}

HRESULT FlipFilter::CheckInputType(const CMediaType* type) {
  if (!type) return E_POINTER;
  const HRESULT result = CheckVideoInfoType(type);
  if (FAILED(result)) return result;
  const DWORD compression = reinterpret_cast<const VIDEOINFOHEADER*>(type->Format())->bmiHeader.biCompression;
  return compression == BI_RGB || compression == BI_BITFIELDS ? S_OK : S_FALSE;
}

HRESULT FlipFilter::Transform(IMediaSample* sample) {
  BYTE* data = nullptr;
  const HRESULT result = sample->GetPointer(&data);
  if (FAILED(result)) {
    OnComError(L"flip", 73, result);
    return result;
  }
  const long length = sample->GetActualDataLength();
  if (!data || length <= 0) return E_FAIL;

  const CMediaType& type = input_->CurrentMediaType();
  if (!type.Format() || type.FormatLength() < sizeof(VIDEOINFOHEADER)) return E_FAIL;
  const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type.Format())->bmiHeader;
  const int64_t stride = StrideOf(header);
  const int64_t height = std::llabs(int64_t{header.biHeight});
  if (stride <= 0 || stride * height > length) return E_FAIL;
  const size_t rowBytes = static_cast<size_t>(stride);
  try {
    if (row_.size() < rowBytes) row_.resize(rowBytes);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  for (int64_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
    BYTE* upper = data + top * stride;
    BYTE* lower = data + bottom * stride;
    std::memcpy(row_.data(), upper, rowBytes);
    std::memcpy(upper, lower, rowBytes);
    std::memcpy(lower, row_.data(), rowBytes);
  }
  return S_OK;
}
