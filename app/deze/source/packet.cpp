#include "app/deze/source/packet.h"

#include "app/deze/source/swfmux.h"
#include "media/comx.h"

namespace {

constexpr wchar_t kSource[] = L"packet";

}  // namespace

// ---- MediaPacket ----

void MediaPacket::Reset() {
  hasStart = hasStop = false;
  start = stop = 0;
  syncPoint = false;
  data.clear();
}

HRESULT MediaPacket::CopyFrom(IMediaSample* sample) {
  REFERENCE_TIME sampleStart = 0;
  REFERENCE_TIME sampleStop = 0;
  const HRESULT times = sample->GetTime(&sampleStart, &sampleStop);
  hasStart = times == S_OK || times == VFW_S_NO_STOP_TIME;
  hasStop = times == S_OK;
  start = hasStart ? sampleStart : 0;
  stop = hasStop ? sampleStop : 0;
  syncPoint = sample->IsSyncPoint() == S_OK;

  data.clear();
  BYTE* bytes = nullptr;
  const HRESULT result = sample->GetPointer(&bytes);
  if (FAILED(result)) {
    OnComError(kSource, 96, result);
    return result;
  }
  const long length = sample->GetActualDataLength();
  if (bytes && length > 0) data.assign(bytes, bytes + length);
  return S_OK;
}

// ---- SwfMuxIn ----

SwfMuxIn::SwfMuxIn(SwfMuxer* muxer, CriticalSection* filterLock, CriticalSection* receiveLock, const wchar_t* name,
                   MuxSettings* settings)
    : CBaseInputPin(L"SwfMuxIn", muxer, filterLock, name),
      muxer_(muxer),
      receiveLock_(receiveLock),
      settings_(settings) {}

HRESULT STDMETHODCALLTYPE SwfMuxIn::Receive(IMediaSample* sample) {
  HRESULT result = CheckStreaming();
  if (result != S_OK) return result;
  // No lock is held while waiting: the other input's thread needs the receive lock to write the
  // frames that drain this queue.
  flowControl_.Wait(INFINITE);
  ScopedLock lock(receiveLock_);
  result = CBaseInputPin::Receive(sample);
  if (result == VFW_E_INVALIDMEDIATYPE) return muxer_->OnRefusedSample(this, result);
  if (result != S_OK) return result;
  if (endOfStream_) return S_FALSE;
  return muxer_->OnReceive(this, sample);
}

HRESULT STDMETHODCALLTYPE SwfMuxIn::EndOfStream() {
  ScopedLock lock(receiveLock_);
  if (endOfStream_) return S_OK;
  endOfStream_ = true;
  flowControl_.Set();
  return muxer_->OnEndOfStream(this);
}

HRESULT STDMETHODCALLTYPE SwfMuxIn::BeginFlush() {
  const HRESULT result = CBaseInputPin::BeginFlush();
  flowControl_.Set();
  return result;
}

int64_t SwfMuxIn::GetUpstreamDuration() {
  IPin* peer = GetConnected();
  if (!peer) return 0;
  ComPtr<IMediaSeeking> seeking = ComPtr<IMediaSeeking>::QueryFrom(peer);
  if (seeking.IsNull()) return 0;
  LONGLONG current = 0;
  LONGLONG stop = 0;
  if (FAILED(seeking->GetPositions(&current, &stop))) return 0;
  return stop - current;
}

HRESULT SwfMuxIn::OnPrepare(MuxSettings* settings) {
  flowControl_.Set();
  endOfStream_ = false;
  const int64_t upstream = GetUpstreamDuration();
  if (upstream > settings->duration.load()) settings->duration.store(upstream);
  return S_OK;
}

HRESULT SwfMuxIn::OnHeaderWritten(MuxSettings*, BitStream*) { return S_OK; }

HRESULT SwfMuxIn::OnFinish(MuxSettings*, BitStream*) {
  flowControl_.Set();
  return S_OK;
}

HRESULT SwfMuxIn::OfferMajorType(const GUID& majorType, int position, CMediaType* type) {
  if (position < 0 || !type) return E_INVALIDARG;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = CMediaType(majorType);
  type->SetSubtype(&MEDIASUBTYPE_None);
  type->SetFormatType(&FORMAT_None);
  return S_OK;
}

void SwfMuxIn::HoldWhenFull(size_t queued, size_t limit) {
  if (queued >= limit && !endOfStream_) flowControl_.Reset();
}

void SwfMuxIn::ReleaseWhenBelow(size_t queued, size_t limit) {
  if (queued < limit) flowControl_.Set();
}
