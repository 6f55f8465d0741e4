#include "platform/dshow/mediatype.h"

#include <dvdmedia.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <span>

CMediaType::CMediaType() { Init(); }

CMediaType::CMediaType(const GUID& majorType) {
  Init();
  majortype = majorType;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& type) {
  Init();
  Set(type);
}

CMediaType::CMediaType(const CMediaType& type) : CMediaType(static_cast<const AM_MEDIA_TYPE&>(type)) {}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& type) {
  Set(type);
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& type) { return *this = static_cast<const AM_MEDIA_TYPE&>(type); }

void CMediaType::Init() {
  std::memset(static_cast<AM_MEDIA_TYPE*>(this), 0, sizeof(AM_MEDIA_TYPE));
  bFixedSizeSamples = TRUE;
  lSampleSize = 1;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& type) {
  if (&type == this) return S_OK;
  FreeMediaType(*this);
  return CopyMediaType(this, &type);
}

bool CMediaType::operator==(const CMediaType& other) const {
  return majortype == other.majortype && subtype == other.subtype && formattype == other.formattype &&
         cbFormat == other.cbFormat && (cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0);
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

void CMediaType::SetVariableSize() {
  bFixedSizeSamples = FALSE;
  lSampleSize = 0;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  ResetFormatBuffer();
  if (length == 0) return nullptr;
  pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!pbFormat) return nullptr;
  std::memset(pbFormat, 0, length);
  cbFormat = length;
  return pbFormat;
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
  if (length == 0) {
    ResetFormatBuffer();
    return true;
  }
  if (!AllocFormatBuffer(length)) return false;
  std::memcpy(pbFormat, format, length);
  return true;
}

void CMediaType::ResetFormatBuffer() {
  CoTaskMemFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}

bool CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL || formattype == GUID_NULL;
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
  if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
  if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
  if (partial->formattype == GUID_NULL) return true;
  if (partial->formattype != formattype) return false;
  return partial->cbFormat == 0 ||
         (partial->cbFormat == cbFormat && std::memcmp(partial->pbFormat, pbFormat, cbFormat) == 0);
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
  CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk) {
    type.pUnk->Release();
    type.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return nullptr;
  if (FAILED(CopyMediaType(type, source))) {
    DeleteMediaType(type);
    return nullptr;
  }
  return type;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  *target = *source;
  if (target->pUnk) target->pUnk->AddRef();
  if (source->cbFormat == 0 || !source->pbFormat) {
    target->cbFormat = 0;
    target->pbFormat = nullptr;
    return S_OK;
  }
  target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
  if (!target->pbFormat) {
    target->cbFormat = 0;
    return E_OUTOFMEMORY;
  }
  std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  return S_OK;
}

FOURCCMap::FOURCCMap(DWORD fourcc) : GUID{0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}} {
  Data1 = fourcc;
}

const VIDEOINFOHEADER* VideoInfo(const AM_MEDIA_TYPE& type) {
  if (type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat) return nullptr;
  return reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
}

const BITMAPINFOHEADER* PictureOf(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat) return nullptr;
  if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER))
    return &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  if (type.formattype == FORMAT_VideoInfo2 && type.cbFormat >= sizeof(VIDEOINFOHEADER2))
    return &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
  return nullptr;
}

namespace {

// What a picture's pixel values mean besides its header: the colour table of 8 bits or fewer (its
// effective length: biClrUsed 0 means every colour of the depth), the three masks of BI_BITFIELDS.
// Empty when the picture has neither; false when the format block does not hold it.
bool PixelMeaning(const AM_MEDIA_TYPE& type, const BITMAPINFOHEADER& header, std::span<const BYTE>& meaning) {
  meaning = {};
  const size_t headerOffset = reinterpret_cast<const BYTE*>(&header) - type.pbFormat;
  size_t start = headerOffset + header.biSize;
  size_t length = 0;
  if (header.biBitCount >= 1 && header.biBitCount <= 8) {
    const uint64_t colours = header.biClrUsed != 0 ? header.biClrUsed : uint64_t{1} << header.biBitCount;
    if (colours * sizeof(RGBQUAD) > type.cbFormat) return false;
    length = static_cast<size_t>(colours * sizeof(RGBQUAD));
  } else if (header.biCompression == BI_BITFIELDS) {
    // Right behind a plain header; a larger header holds them at the same place.
    start = headerOffset + sizeof(BITMAPINFOHEADER);
    length = 3 * sizeof(DWORD);
  }
  if (length == 0) return true;
  if (header.biSize < sizeof(BITMAPINFOHEADER) || start > type.cbFormat || length > type.cbFormat - start) return false;
  meaning = {type.pbFormat + start, length};
  return true;
}

const WAVEFORMATEX* WaveOf(const AM_MEDIA_TYPE& type) {
  if (!type.pbFormat || type.formattype != FORMAT_WaveFormatEx || type.cbFormat < sizeof(WAVEFORMAT) + 2)
    return nullptr;
  return reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
}

}  // namespace

bool KeepsPreparedFormat(const AM_MEDIA_TYPE& prepared, const AM_MEDIA_TYPE& changed) {
  if (prepared.majortype != changed.majortype || prepared.subtype != changed.subtype ||
      prepared.formattype != changed.formattype) {
    return false;
  }
  const BITMAPINFOHEADER* before = PictureOf(prepared);
  const BITMAPINFOHEADER* after = PictureOf(changed);
  if (before || after) {
    if (!before || !after || before->biWidth != after->biWidth || before->biHeight != after->biHeight ||
        before->biBitCount != after->biBitCount || before->biCompression != after->biCompression) {
      return false;
    }
    // A new palette or new masks give the same values other colours.
    std::span<const BYTE> meaningBefore, meaningAfter;
    return PixelMeaning(prepared, *before, meaningBefore) && PixelMeaning(changed, *after, meaningAfter) &&
           std::ranges::equal(meaningBefore, meaningAfter);
  }
  const WAVEFORMATEX* waveBefore = WaveOf(prepared);
  const WAVEFORMATEX* waveAfter = WaveOf(changed);
  if (waveBefore || waveAfter) {
    return waveBefore && waveAfter && waveBefore->wFormatTag == waveAfter->wFormatTag &&
           waveBefore->nChannels == waveAfter->nChannels && waveBefore->nSamplesPerSec == waveAfter->nSamplesPerSec &&
           waveBefore->wBitsPerSample == waveAfter->wBitsPerSample && waveBefore->nBlockAlign == waveAfter->nBlockAlign;
  }
  return prepared.cbFormat == changed.cbFormat &&
         (prepared.cbFormat == 0 || std::memcmp(prepared.pbFormat, changed.pbFormat, prepared.cbFormat) == 0);
}

HRESULT CheckVideoInfoType(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  if (type->majortype != MEDIATYPE_Video || type->formattype != FORMAT_VideoInfo || !type->pbFormat ||
      type->cbFormat < sizeof(VIDEOINFOHEADER))
    return VFW_E_TYPE_NOT_ACCEPTED;
  const BITMAPINFOHEADER& header = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat)->bmiHeader;
  const ULONG room = type->cbFormat - offsetof(VIDEOINFOHEADER, bmiHeader);
  if (header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > room) return VFW_E_TYPE_NOT_ACCEPTED;
  if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == LONG_MIN) return VFW_E_TYPE_NOT_ACCEPTED;
  if (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS) return S_OK;
  switch (header.biBitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: return VFW_E_TYPE_NOT_ACCEPTED;
  }
  // An uncompressed frame must be addressable with 32-bit sizes.
  const int64_t stride = ((static_cast<int64_t>(header.biWidth) * header.biBitCount + 31) / 8) & ~int64_t{3};
  if (stride * std::llabs(header.biHeight) > INT32_MAX) return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT CreateAudioMediaType(const WAVEFORMATEX* format, AM_MEDIA_TYPE* type, BOOL setFormat) {
  if (!format || !type) return E_POINTER;
  std::memset(type, 0, sizeof(AM_MEDIA_TYPE));
  type->majortype = MEDIATYPE_Audio;
  const ULONG extraBytes = format->wFormatTag == WAVE_FORMAT_PCM ? 0 : format->cbSize;
  if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
      extraBytes >= sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX))
    type->subtype = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->SubFormat;
  else
    type->subtype = FOURCCMap(format->wFormatTag);
  type->formattype = FORMAT_WaveFormatEx;
  type->bFixedSizeSamples = TRUE;
  type->bTemporalCompression = FALSE;
  type->lSampleSize = format->nBlockAlign;
  if (!setFormat) return S_OK;
  const ULONG length = sizeof(WAVEFORMATEX) + extraBytes;
  type->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!type->pbFormat) return E_OUTOFMEMORY;
  std::memcpy(type->pbFormat, format, length);
  type->cbFormat = length;
  return S_OK;
}
