#include "app/deze/source/swfout.h"

#include "media/comx.h"

namespace {

constexpr wchar_t kSource[] = L"swfout";
constexpr long kBufferSize = 0x10000;
constexpr long kPreferredSampleSize = 16384;

HRESULT SeekStream(IStream* stream, int64_t offset, DWORD origin, int64_t* reached) {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER position = {};
  const HRESULT result = stream->Seek(move, origin, &position);
  if (reached) *reached = static_cast<int64_t>(position.QuadPart);
  return result;
}

}  // namespace

// ---- MuxOutStream ----

void MuxOutStream::Attach(IStream* stream) {
  stream_ = stream;
  position_ = 0;
  size_ = 0;
  if (!stream_) return;
  int64_t current = 0;
  int64_t end = 0;
  if (FAILED(SeekStream(stream_, 0, STREAM_SEEK_CUR, &current)) ||
      FAILED(SeekStream(stream_, 0, STREAM_SEEK_END, &end)) ||
      FAILED(SeekStream(stream_, current, STREAM_SEEK_SET, nullptr))) {
    return;
  }
  position_ = current;
  size_ = end;
}

bool MuxOutStream::Seek(int64_t position) {
  if (!stream_ || position < 0 || position > size_) return false;
  if (FAILED(SeekStream(stream_, position, STREAM_SEEK_SET, nullptr))) return false;
  position_ = position;
  return true;
}

int32_t MuxOutStream::Transfer(void* buffer, int32_t count) {
  if (!buffer || count <= 0 || !stream_) return -1;
  ULONG written = 0;
  if (FAILED(stream_->Write(buffer, static_cast<ULONG>(count), &written)) || written > static_cast<ULONG>(count)) {
    return -1;
  }
  position_ += written;
  if (position_ > size_) size_ = position_;
  return static_cast<int32_t>(written);
}

bool MuxOutStream::CutHere() {
  if (!stream_) return false;
  ULARGE_INTEGER size;
  size.QuadPart = static_cast<ULONGLONG>(position_);
  if (FAILED(stream_->SetSize(size))) return false;
  size_ = position_;
  return true;
}

// ---- SwfMuxOut ----

SwfMuxOut::SwfMuxOut(CBaseFilter* filter, CriticalSection* filterLock)
    : CBaseOutputPin(L"SwfMuxOut", filter, filterLock, L"Output") {}

SwfMuxOut::~SwfMuxOut() { Attach(nullptr); }

HRESULT SwfMuxOut::CheckMediaType(const CMediaType* type) {
  if (!type) return E_POINTER;
  return *type->Type() == MEDIATYPE_Stream ? S_OK : S_FALSE;
}

HRESULT SwfMuxOut::GetMediaType(int position, CMediaType* type) {
  if (position < 0 || !type) return E_FAIL;
  if (position > 0) return VFW_S_NO_MORE_ITEMS;
  *type = CMediaType(MEDIATYPE_Stream);
  type->SetSubtype(&MEDIASUBTYPE_None);
  type->SetFormatType(&FORMAT_None);
  type->SetSampleSize(kPreferredSampleSize);
  return S_OK;
}

HRESULT SwfMuxOut::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request) return E_POINTER;
  request->cBuffers = 1;
  request->cbBuffer = kBufferSize;
  request->cbAlign = 1;
  request->cbPrefix = 0;
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT result = allocator->SetProperties(request, &actual);
  if (FAILED(result)) {
    OnComError(kSource, 159, result);
    return result;
  }
  return actual.cbBuffer < kBufferSize ? E_FAIL : S_OK;
}

HRESULT SwfMuxOut::CheckConnect(IPin* pin) {
  if (!pin) return E_POINTER;
  HRESULT result = CBaseOutputPin::CheckConnect(pin);
  if (FAILED(result)) {
    OnComError(kSource, 109, result);
    return result;
  }
  Attach(nullptr);
  sinkStream_.Release();
  result = pin->QueryInterface(IID_IStream, reinterpret_cast<void**>(sinkStream_.Clear()));
  if (FAILED(result) || sinkStream_.IsNull()) {
    sinkStream_.Release();
    if (SUCCEEDED(result)) result = E_NOINTERFACE;
    OnComError(kSource, 110, result);
    return result;
  }
  Attach(sinkStream_.Get());
  return S_OK;
}

HRESULT SwfMuxOut::BreakConnect() {
  Attach(nullptr);
  sinkStream_.Release();
  return CBaseOutputPin::BreakConnect();
}
