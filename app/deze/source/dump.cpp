#include "app/deze/source/dump.h"

#include <cstring>
#include <new>

#include "media/comx.h"
#include "platform/dshow/factory.h"

namespace {

constexpr wchar_t kSource[] = L"dump";
const HRESULT kNoFile = HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);

HRESULT LastError() { return HRESULT_FROM_WIN32(GetLastError()); }

}  // namespace

// ---- CFileStream ----

CFileStream::CFileStream(IUnknown* owner) : CUnknown(L"CFileStream", owner) {}

CFileStream::~CFileStream() { Close(); }

HRESULT STDMETHODCALLTYPE CFileStream::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IStream || riid == IID_ISequentialStream) return GetInterface(static_cast<IStream*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT CFileStream::Open(const wchar_t* name, bool reading) {
  Close();
  file_ = CreateFileW(name, reading ? GENERIC_READ : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                      reading ? OPEN_EXISTING : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ == INVALID_HANDLE_VALUE ? LastError() : S_OK;
}

void CFileStream::Close() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

HRESULT STDMETHODCALLTYPE CFileStream::Read(void* buffer, ULONG count, ULONG* read) {
  if (read) *read = 0;
  if (!buffer) return STG_E_INVALIDPOINTER;
  if (file_ == INVALID_HANDLE_VALUE) return kNoFile;
  DWORD done = 0;
  if (!ReadFile(file_, buffer, count, &done, nullptr)) return LastError();
  if (read) *read = done;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CFileStream::Write(const void* buffer, ULONG count, ULONG* written) {
  if (written) *written = 0;
  if (!buffer) return STG_E_INVALIDPOINTER;
  if (file_ == INVALID_HANDLE_VALUE) return kNoFile;
  // WriteFile needs a count of its own even when the caller does not want it.
  DWORD done = 0;
  if (!WriteFile(file_, buffer, count, &done, nullptr)) return LastError();
  if (written) *written = done;
  return done == count ? S_OK : STG_E_MEDIUMFULL;
}

HRESULT STDMETHODCALLTYPE CFileStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) {
  DWORD method;
  switch (origin) {
    case STREAM_SEEK_SET: method = FILE_BEGIN; break;
    case STREAM_SEEK_CUR: method = FILE_CURRENT; break;
    case STREAM_SEEK_END: method = FILE_END; break;
    default: return STG_E_INVALIDFUNCTION;
  }
  if (file_ == INVALID_HANDLE_VALUE) return kNoFile;
  LARGE_INTEGER reached;
  if (!SetFilePointerEx(file_, move, &reached, method)) return LastError();
  if (position) position->QuadPart = static_cast<ULONGLONG>(reached.QuadPart);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CFileStream::SetSize(ULARGE_INTEGER size) {
  if (file_ == INVALID_HANDLE_VALUE) return kNoFile;
  LARGE_INTEGER zero = {};
  LARGE_INTEGER position;
  if (!SetFilePointerEx(file_, zero, &position, FILE_CURRENT)) return LastError();
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size.QuadPart);
  if (!SetFilePointerEx(file_, end, nullptr, FILE_BEGIN)) return LastError();
  const HRESULT result = SetEndOfFile(file_) ? S_OK : LastError();
  if (!SetFilePointerEx(file_, position, nullptr, FILE_BEGIN)) return LastError();
  return result;
}

HRESULT STDMETHODCALLTYPE CFileStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE CFileStream::Commit(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CFileStream::Revert() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CFileStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CFileStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CFileStream::Clone(IStream**) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CFileStream::Stat(STATSTG* stat, DWORD) {
  if (!stat) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof(STATSTG));
  if (file_ == INVALID_HANDLE_VALUE) return kNoFile;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file_, &size)) return LastError();
  stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
  return S_OK;
}

// ---- FileDumpPin ----

FileDumpPin::FileDumpPin(FileDump* filter, CriticalSection* filterLock)
    : CRenderedInputPin(L"FileDumpPin", filter, filterLock, L"Input"), stream_(GetOwner()) {}

HRESULT STDMETHODCALLTYPE FileDumpPin::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IStream || riid == IID_ISequentialStream) return stream_.NonDelegatingQueryInterface(riid, object);
  return CRenderedInputPin::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE FileDumpPin::Receive(IMediaSample* sample) {
  ScopedLock lock(&pinLock_);
  HRESULT result = CRenderedInputPin::Receive(sample);
  if (FAILED(result)) {
    OnComError(kSource, 44, result);
    return result;
  }
  // Flushing: the sample is dropped.
  if (result != S_OK) return result;
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  result = sample->GetTime(&start, &stop);
  if (FAILED(result)) {
    OnComError(kSource, 48, result);
    return result;
  }
  BYTE* data = nullptr;
  result = sample->GetPointer(&data);
  if (FAILED(result)) {
    OnComError(kSource, 51, result);
    return result;
  }
  const long length = sample->GetActualDataLength();
  if (length > 0) {
    // The start time is the byte offset in the file.
    LARGE_INTEGER offset;
    offset.QuadPart = start;
    result = stream_.Seek(offset, STREAM_SEEK_SET, nullptr);
    if (FAILED(result)) {
      OnComError(kSource, 58, result);
      return result;
    }
    result = stream_.Write(data, static_cast<ULONG>(length), nullptr);
    if (FAILED(result)) {
      OnComError(kSource, 59, result);
      return result;
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE FileDumpPin::EndOfStream() {
  ScopedLock lock(&pinLock_);
  stream_.Close();
  fileName_.clear();
  return CRenderedInputPin::EndOfStream();
}

HRESULT FileDumpPin::SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE*) {
  ScopedLock lock(&pinLock_);
  if (!name) return E_POINTER;
  try {
    fileName_ = name;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return stream_.Open(name, false);
}

HRESULT FileDumpPin::GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) {
  ScopedLock lock(&pinLock_);
  if (!name) return E_POINTER;
  *name = nullptr;
  if (!fileName_.empty()) {
    const size_t bytes = (fileName_.size() + 1) * sizeof(wchar_t);
    *name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*name) return E_OUTOFMEMORY;
    std::memcpy(*name, fileName_.c_str(), bytes);
  }
  if (type) std::memset(type, 0, sizeof(AM_MEDIA_TYPE));
  return S_OK;
}

// ---- FileDump ----

CUnknown* FileDump::CreateInstance(IUnknown* outer, HRESULT* result) {
  return CreateComObject<FileDump>(outer, result);
}

FileDump::FileDump(IUnknown* outer)
    : CBaseFilter(L"FileDump", outer, &filterLock_, CLSID_FileDump),
      pin_(this, &filterLock_),
      position_(L"FileDump position", GetOwner(), &pin_) {}

HRESULT STDMETHODCALLTYPE FileDump::NonDelegatingQueryInterface(REFIID riid, void** object) {
  ScopedLock lock(&filterLock_);
  if (riid == IID_IFileSinkFilter) return GetInterface(static_cast<IFileSinkFilter*>(this), object);
  if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) return position_.NonDelegatingQueryInterface(riid, object);
  return CBaseFilter::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE FileDump::SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* type) {
  return pin_.SetFileName(name, type);
}

HRESULT STDMETHODCALLTYPE FileDump::GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) { return pin_.GetCurFile(name, type); }
