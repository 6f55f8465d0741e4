#pragma once
// VcmEncoderFilter ("VcmEncoderFilter"): compresses uncompressed video frames with a
// Video-for-Windows codec that the host names by DLL path and FourCC (IVcmDriver::LoadDriver). The
// codec is loaded by VcmDll and called directly, without the system's codec registry. Settings go
// to the codec as driver messages through IVcmDriver or IAMVfwCompressDialogs.

#include <dshow.h>

#include <cstdint>
#include <vector>

#include "app/deze/source/vcm.h"
#include "common/counted.h"
#include "common/sync.h"
#include "platform/dshow/transform.h"

inline constexpr CLSID CLSID_VcmEncoderFilter = {
    0x4da6bf3b, 0x254e, 0x4cc0, {0x93, 0xf6, 0xc6, 0xcb, 0xd0, 0x3e, 0x6b, 0xf9}};
inline constexpr IID IID_IVcmDriver = {0xc7bc673d, 0x1247, 0x43ab, {0xb0, 0x62, 0x59, 0xaf, 0x2d, 0xc9, 0x3f, 0x45}};

struct IVcmDriver : public IUnknown {
  // Replaces the codec with the library's, opened as a compressor for the FourCC: S_OK when it is
  // open, E_FAIL when not (it replaces the old one all the same), E_POINTER for a null path,
  // VFW_E_NOT_STOPPED while the filter runs.
  virtual HRESULT STDMETHODCALLTYPE LoadDriver(const wchar_t* path, DWORD fourcc) = 0;
  // The codec's answer; -100 without an open codec. Pointers pass whole, unlike through
  // IAMVfwCompressDialogs::SendDriverMessage, whose parameters are 32 bits wide.
  virtual LRESULT STDMETHODCALLTYPE DriverMessage(UINT message, LPARAM param1, LPARAM param2) = 0;
};
__CRT_UUID_DECL(IVcmDriver, 0xc7bc673d, 0x1247, 0x43ab, 0xb0, 0x62, 0x59, 0xaf, 0x2d, 0xc9, 0x3f, 0x45)
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
