#pragma once
// FileDump ("File Dump"): a renderer with one input pin that writes every sample into a file at
// the byte offset given by its start time. The pin also lends the file to the upstream pin as an
// IStream, so that a writer upstream can write and patch the file directly.

#include <string>

#include "app/deze/source/swfmuxapi.h"
#include "common/sync.h"
#include "platform/dshow/filter.h"
#include "platform/dshow/pin.h"
#include "platform/dshow/pospass.h"

// IStream over one Win32 file. Its references are its owner's: it is part of the pin and lives
// as long as the pin, whoever still holds the interface.
class CFileStream : public CUnknown, public IStream {
 public:
  explicit CFileStream(IUnknown* owner);
  ~CFileStream() override;

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // Closes any open file first. Reading opens an existing file; writing creates or empties one.
  HRESULT Open(const wchar_t* name, bool reading);
  void Close();

  // ISequentialStream
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
  // Fewer bytes written than asked (a full disk) is STG_E_MEDIUMFULL.
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
  // IStream
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  // Only the size is filled in; everything else is zero.
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override;

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

class FileDump;

class FileDumpPin : public CRenderedInputPin {
 public:
  FileDumpPin(FileDump* filter, CriticalSection* filterLock);

  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
  // Bytes land where their times say, whatever they are: any type is taken mid-stream.
  bool KeepsPrepared(const CMediaType&) override { return true; }
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
  // Closes the file and forgets its name, then completes the stream.
  HRESULT STDMETHODCALLTYPE EndOfStream() override;

  // Opens the file for writing; the media type is not used.
  HRESULT SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* type);
  HRESULT GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type);

 private:
  CriticalSection pinLock_;
  std::wstring fileName_;
  CFileStream stream_;
};

class FileDump : public CBaseFilter, public IFileSinkFilter {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);
  explicit FileDump(IUnknown* outer);

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  int GetPinCount() override { return 1; }
  CBasePin* GetPin(int index) override { return index == 0 ? &pin_ : nullptr; }

  // IFileSinkFilter
  HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR name, const AM_MEDIA_TYPE* type) override;
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* type) override;

 private:
  CriticalSection filterLock_;
  FileDumpPin pin_;
  // Makes the filter a renderer in the graph's eyes, so its EC_COMPLETE counts.
  CPosPassThru position_;
};
