#include "app/deze/source/vcmds.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "common/dib.h"
#include "media/comx.h"
#include "media/dsutil.h"
#include "platform/dshow/factory.h"

namespace {

// Where OnComError reports each failing call.
constexpr wchar_t kSource[] = L"vcmds";
constexpr int kSetPropertiesLine = 205;
constexpr int kInputPointerLine = 246;
constexpr int kOutputPointerLine = 248;

// The output block of GetMediaType: at least this large, and large enough for the codec's format
// behind the VIDEOINFOHEADER's fields.
constexpr size_t kMinFormatBlock = 1128;
constexpr LRESULT kMaxCodecFormat = 0x10000;
constexpr size_t kHeaderOffset = offsetof(VIDEOINFOHEADER, bmiHeader);

LPARAM HeaderParam(const AM_MEDIA_TYPE& type) { return reinterpret_cast<LPARAM>(&VideoInfo(type)->bmiHeader); }

}  // namespace

CUnknown* VcmEncoderFilter::CreateInstance(IUnknown* outer, HRESULT* result) {
  return CreateComObject<VcmEncoderFilter>(outer, result);
}

VcmEncoderFilter::VcmEncoderFilter(IUnknown* outer)
    : CTransformFilter(L"VcmEncoderFilter", outer, CLSID_VcmEncoderFilter) {}

HRESULT STDMETHODCALLTYPE VcmEncoderFilter::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IVcmDriver) return GetInterface(static_cast<IVcmDriver*>(this), object);
  if (riid == IID_IAMVfwCompressDialogs) return GetInterface(static_cast<IAMVfwCompressDialogs*>(this), object);
  return CTransformFilter::NonDelegatingQueryInterface(riid, object);
}

CountedPtr<VcmDriver> VcmEncoderFilter::Codec() {
  ScopedLock lock(&codecLock_);
  return codec_;
}

HRESULT STDMETHODCALLTYPE VcmEncoderFilter::LoadDriver(const wchar_t* path, DWORD fourcc) {
  if (!path) return E_POINTER;
  ScopedLock lock(&filterLock_);
  // A streaming thread may be inside the codec.
  if (!IsStopped()) return VFW_E_NOT_STOPPED;
  CountedPtr<VcmDriver> codec;
  try {
    codec = CountedPtr<VcmDriver>(new VcmDll(path, fourcc, true));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  CountedPtr<VcmDriver> old;
  {
    ScopedLock codecLock(&codecLock_);
    old = codec_;
    codec_ = codec;
  }
  return codec->IsOpen() ? S_OK : E_FAIL;
}

LRESULT STDMETHODCALLTYPE VcmEncoderFilter::DriverMessage(UINT message, LPARAM param1, LPARAM param2) {
  const CountedPtr<VcmDriver> codec = Codec();
  if (!codec.IsValid() || !codec->IsOpen()) return kDriverNotOpen;
  return codec->DriverMessage(message, param1, param2);
}

HRESULT STDMETHODCALLTYPE VcmEncoderFilter::SendDriverMessage(int message, LONG param1, LONG param2) {
  return static_cast<HRESULT>(DriverMessage(static_cast<UINT>(message), param1, param2));
}

HRESULT VcmEncoderFilter::CheckInputType(const CMediaType* type) {
  if (!type) return E_POINTER;
  const HRESULT result = CheckVideoInfoType(type);
  if (FAILED(result)) return result;
  if (VideoInfo(*type)->bmiHeader.biCompression != BI_RGB) return S_FALSE;
  return DriverMessage(ICM_COMPRESS_QUERY, HeaderParam(*type), 0) == ICERR_OK ? S_OK : S_FALSE;
}

HRESULT VcmEncoderFilter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  HRESULT result = CheckVideoInfoType(in);
  if (FAILED(result)) return result;
  result = CheckVideoInfoType(out);
  if (FAILED(result)) return result;
  // The codec writes its format into a block of its own size, never into the proposed type.
  const LRESULT size = DriverMessage(ICM_COMPRESS_GET_FORMAT, HeaderParam(*in), 0);
  if (size < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) || size > kMaxCodecFormat) return E_FAIL;
  try {
    std::vector<uint8_t> format(static_cast<size_t>(size));
    if (DriverMessage(ICM_COMPRESS_GET_FORMAT, HeaderParam(*in), reinterpret_cast<LPARAM>(format.data())) !=
        ICERR_OK)
      return E_FAIL;
    const auto* wanted = reinterpret_cast<const BITMAPINFOHEADER*>(format.data());
    const BITMAPINFOHEADER& offered = VideoInfo(*out)->bmiHeader;
    const bool same = wanted->biCompression == offered.biCompression && wanted->biWidth == offered.biWidth &&
                      wanted->biHeight == offered.biHeight && wanted->biBitCount == offered.biBitCount;
    return same ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT VcmEncoderFilter::GetMediaType(int position, CMediaType* type) {
  if (position < 0 || !type) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  const CountedPtr<VcmDriver> codec = Codec();
  if (!codec.IsValid() || !codec->IsOpen()) return S_FALSE;
  if (!input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;

  const CMediaType& inType = input_->CurrentMediaType();
  const VIDEOINFOHEADER* inInfo = VideoInfo(inType);
  const LRESULT formatSize = DriverMessage(ICM_COMPRESS_GET_FORMAT, HeaderParam(inType), 0);
  if (formatSize < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER)) || formatSize > kMaxCodecFormat) return E_FAIL;
  const size_t blockSize = std::max(kMinFormatBlock, kHeaderOffset + static_cast<size_t>(formatSize));

  type->SetType(&MEDIATYPE_Video);
  const FOURCCMap subtype(codec->GetFourCC());
  type->SetSubtype(&subtype);
  type->bFixedSizeSamples = FALSE;
  type->SetTemporalCompression(true);
  type->lSampleSize = inInfo->bmiHeader.biSizeImage;
  type->SetFormatType(&FORMAT_VideoInfo);
  BYTE* block = type->AllocFormatBuffer(static_cast<ULONG>(blockSize));
  if (!block) return E_OUTOFMEMORY;
  std::memcpy(block, inInfo, sizeof(VIDEOINFOHEADER));
  auto* outInfo = reinterpret_cast<VIDEOINFOHEADER*>(block);
  if (DriverMessage(ICM_COMPRESS_GET_FORMAT, HeaderParam(inType), reinterpret_cast<LPARAM>(&outInfo->bmiHeader)) !=
      ICERR_OK)
    return E_FAIL;
  if (outInfo->AvgTimePerFrame <= 0) return E_FAIL;
  // Bytes per frame in bits per second.
  const auto bits = static_cast<int64_t>(uint64_t{outInfo->bmiHeader.biSizeImage} * 8 * kUnitsPerSecond);
  outInfo->dwBitRate = static_cast<DWORD>(bits / outInfo->AvgTimePerFrame);
  return S_OK;
}

HRESULT VcmEncoderFilter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  if (!input_->IsConnected() || !output_->IsConnected()) return E_FAIL;
  const LRESULT size = DriverMessage(ICM_COMPRESS_GET_SIZE, HeaderParam(input_->CurrentMediaType()),
                                     HeaderParam(output_->CurrentMediaType()));
  if (size <= 0 || size > LONG_MAX) return E_FAIL;
  request->cBuffers = 1;
  request->cbBuffer = static_cast<long>(size);
  request->cbAlign = 1;
  request->cbPrefix = 0;
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT result = allocator->SetProperties(request, &actual);
  if (FAILED(result)) {
    OnComError(kSource, kSetPropertiesLine, result);
    return result;
  }
  return actual.cbBuffer < size ? E_FAIL : S_OK;
}

HRESULT VcmEncoderFilter::StartStreaming() {
  if (!output_->IsConnected()) return VFW_E_NOT_CONNECTED;
  const CMediaType& outType = output_->CurrentMediaType();
  try {
    outputHeader_.assign(outType.Format() + kHeaderOffset, outType.Format() + outType.FormatLength());
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const LRESULT result = DriverMessage(ICM_COMPRESS_BEGIN, HeaderParam(input_->CurrentMediaType()),
                                       reinterpret_cast<LPARAM>(outputHeader_.data()));
  return result == ICERR_OK ? S_OK : E_FAIL;
}

HRESULT VcmEncoderFilter::StopStreaming() {
  DriverMessage(ICM_COMPRESS_END, 0, 0);
  return S_OK;
}

HRESULT VcmEncoderFilter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* inData = nullptr;
  HRESULT result = in->GetPointer(&inData);
  if (FAILED(result)) {
    OnComError(kSource, kInputPointerLine, result);
    return result;
  }
  BYTE* outData = nullptr;
  result = out->GetPointer(&outData);
  if (FAILED(result)) {
    OnComError(kSource, kOutputPointerLine, result);
    return result;
  }

  const CMediaType& inType = input_->CurrentMediaType();
  const CMediaType& outType = output_->CurrentMediaType();
  if (!outType.Format() || outputHeader_.size() + kHeaderOffset != outType.FormatLength()) return E_FAIL;
  // A short frame would let the codec read past the sample.
  if (in->GetActualDataLength() < ImageSizeOf(VideoInfo(inType)->bmiHeader)) return E_FAIL;
  std::memcpy(outputHeader_.data(), outType.Format() + kHeaderOffset, outputHeader_.size());
  auto* outHeader = reinterpret_cast<BITMAPINFOHEADER*>(outputHeader_.data());

  DWORD flags = 0;
  ICCOMPRESS compress = {};
  compress.dwFlags = ICCOMPRESS_KEYFRAME;
  compress.lpbiOutput = outHeader;
  compress.lpOutput = outData;
  compress.lpbiInput = const_cast<BITMAPINFOHEADER*>(&VideoInfo(inType)->bmiHeader);
  compress.lpInput = inData;
  compress.lpdwFlags = &flags;
  compress.lFrameNum = 1;
  if (DriverMessage(ICM_COMPRESS, reinterpret_cast<LPARAM>(&compress), sizeof(compress)) != ICERR_OK) return E_FAIL;
  const DWORD compressedSize = outHeader->biSizeImage;
  if (compressedSize > static_cast<DWORD>(std::max(out->GetSize(), 0L))) return E_FAIL;
  out->SetSyncPoint((flags & AVIIF_KEYFRAME) != 0);
  return out->SetActualDataLength(static_cast<long>(compressedSize));
}
