#pragma once
// VcmEncoderFilter ("VcmEncoderFilter"): compresses uncompressed video frames with a
// Video-for-Windows codec that the host names by DLL path and FourCC (IVcmDriver::LoadDriver). The
// codec is loaded by VcmDll and called directly, without the system's codec registry. Settings go
// to the codec as driver messages through IVcmDriver or IAMVfwCompressDialogs.

#include <dshow.h>

#include <cstdint>
#include <vector>

#include "app/deze/source/swfmuxapi.h"
#include "app/deze/source/vcm.h"
#include "common/counted.h"
#include "common/sync.h"
#include "platform/dshow/transform.h"

// mingw-w64 declares this one without the identifier that __uuidof needs.
__CRT_UUID_DECL(IAMVfwCompressDialogs, 0xd8d715a3, 0x6e5e, 0x11d0, 0xb3, 0xf0, 0x00, 0xaa, 0x00, 0x37, 0x61, 0xc5)

class VcmEncoderFilter : public CTransformFilter, public IVcmDriver, public IAMVfwCompressDialogs {
 public:
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);
  explicit VcmEncoderFilter(IUnknown* outer);

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // IVcmDriver
  HRESULT STDMETHODCALLTYPE LoadDriver(const wchar_t* path, DWORD fourcc) override;
  LRESULT STDMETHODCALLTYPE DriverMessage(UINT message, LPARAM param1, LPARAM param2) override;

  // IAMVfwCompressDialogs: no dialogs and no state of the filter's own.
  HRESULT STDMETHODCALLTYPE ShowDialog(int, HWND) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetState(LPVOID, int*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetState(LPVOID, int) override { return E_NOTIMPL; }
  // The codec's answer, as DriverMessage.
  HRESULT STDMETHODCALLTYPE SendDriverMessage(int message, LONG param1, LONG param2) override;

  // CTransformFilter
  // Every frame goes to the codec as a key frame request; the sample is a sync point when the codec
  // says it made a key frame.
  HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
  // Uncompressed VIDEOINFOHEADER video that the codec accepts.
  HRESULT CheckInputType(const CMediaType* type) override;
  // The output must be what the codec makes of the input: compression, size and bit count.
  HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
  // One buffer of the codec's worst-case frame size.
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // One type: the codec's output format for the connected input.
  HRESULT GetMediaType(int position, CMediaType* type) override;
  HRESULT StartStreaming() override;
  HRESULT StopStreaming() override;

 private:
  CountedPtr<VcmDriver> Codec();

  CriticalSection codecLock_;  // guards the codec pointer only
  CountedPtr<VcmDriver> codec_;
  // The output header the codec compresses into: the codec rewrites its biSizeImage with every
  // frame, so the connection's own header stays untouched and is copied in before each frame.
  std::vector<uint8_t> outputHeader_;
};
