#pragma once
// What the audio stand-in filters share: the PCM input test, the output buffers and the delivery
// of a filled buffer. A format block of PCMWAVEFORMAT's 16 bytes is taken: wave parsers pass a
// file's "fmt " chunk on as it is, and the extra-bytes count of a PCM format means nothing.

#include <dshow.h>
#include <mmreg.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/dshow/mediatype.h"
#include "platform/dshow/pin.h"

// The wave format of a consistent PCM audio type, or null.
inline const WAVEFORMATEX* PcmFormatOf(const CMediaType* type) {
  if (!type || *type->Type() != MEDIATYPE_Audio || *type->Subtype() != MEDIASUBTYPE_PCM ||
      *type->FormatType() != FORMAT_WaveFormatEx || !type->Format() || type->FormatLength() < sizeof(PCMWAVEFORMAT))
    return nullptr;
  const auto* format = reinterpret_cast<const WAVEFORMATEX*>(type->Format());
  const bool consistent = format->wFormatTag == WAVE_FORMAT_PCM && format->nChannels != 0 &&
                          format->nSamplesPerSec != 0 && format->wBitsPerSample % 8 == 0 &&
                          format->nBlockAlign == format->nChannels * format->wBitsPerSample / 8;
  return consistent ? format : nullptr;
}

// At least two buffers of `bytes`; fails when the allocator grants less than `minimum` bytes.
inline HRESULT SetAudioBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, long bytes, long minimum) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = std::max(request->cBuffers, 2L);
  request->cbBuffer = std::max(request->cbBuffer, bytes);
  request->cbAlign = std::max(request->cbAlign, 1L);
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT result = allocator->SetProperties(request, &actual);
  if (FAILED(result)) return result;
  return actual.cbBuffer < minimum ? E_FAIL : S_OK;
}

// Appends the sample's bytes to what an earlier sample left: a sample may end inside a block of
// channel samples.
inline HRESULT AppendSampleBytes(IMediaSample* sample, std::vector<uint8_t>& pending) {
  BYTE* data = nullptr;
  const HRESULT result = sample->GetPointer(&data);
  if (FAILED(result)) return result;
  const long length = sample->GetActualDataLength();
  if (length < 0) return E_UNEXPECTED;
  pending.insert(pending.end(), data, data + length);
  return S_OK;
}

// Sends `bytes` of a delivery buffer on as one whole, timed sample.
inline HRESULT DeliverFilled(CBaseOutputPin* pin, IMediaSample* sample, long bytes, REFERENCE_TIME start,
                             REFERENCE_TIME stop) {
  HRESULT result = sample->SetActualDataLength(bytes);
  if (FAILED(result)) return result;
  sample->SetTime(&start, &stop);
  sample->SetMediaTime(nullptr, nullptr);
  sample->SetSyncPoint(TRUE);
  sample->SetPreroll(FALSE);
  sample->SetDiscontinuity(FALSE);
  return pin->Deliver(sample);
}
