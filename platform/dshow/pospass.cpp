#include "platform/dshow/pospass.h"

CPosPassThru::CPosPassThru(const wchar_t* objectName, IUnknown* outer, IPin* inputPin)
    : CUnknown(objectName, outer), inputPin_(inputPin) {}

HRESULT STDMETHODCALLTYPE CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking*>(this), object);
  if (riid == IID_IMediaPosition) return GetInterface(static_cast<IMediaPosition*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

template <class Interface, class Call>
HRESULT CPosPassThru::Forward(Call call) {
  ComPtr<IPin> peer;
  if (FAILED(inputPin_->ConnectedTo(peer.Clear()))) return E_NOTIMPL;
  ComPtr<Interface> upstream = ComPtr<Interface>::QueryFrom(peer.Get());
  if (upstream.IsNull()) return E_NOTIMPL;
  return call(upstream.Get());
}

#define FORWARD_SEEKING(call) Forward<IMediaSeeking>([&](IMediaSeeking* upstream) { return upstream->call; })
#define FORWARD_POSITION(call) Forward<IMediaPosition>([&](IMediaPosition* upstream) { return upstream->call; })

HRESULT STDMETHODCALLTYPE CPosPassThru::GetCapabilities(DWORD* capabilities) {
  return FORWARD_SEEKING(GetCapabilities(capabilities));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::CheckCapabilities(DWORD* capabilities) {
  return FORWARD_SEEKING(CheckCapabilities(capabilities));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::IsFormatSupported(const GUID* format) {
  return FORWARD_SEEKING(IsFormatSupported(format));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::QueryPreferredFormat(GUID* format) {
  return FORWARD_SEEKING(QueryPreferredFormat(format));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::GetTimeFormat(GUID* format) { return FORWARD_SEEKING(GetTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::IsUsingTimeFormat(const GUID* format) {
  return FORWARD_SEEKING(IsUsingTimeFormat(format));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::SetTimeFormat(const GUID* format) { return FORWARD_SEEKING(SetTimeFormat(format)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::GetDuration(LONGLONG* duration) { return FORWARD_SEEKING(GetDuration(duration)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::GetStopPosition(LONGLONG* stop) { return FORWARD_SEEKING(GetStopPosition(stop)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::GetCurrentPosition(LONGLONG* current) {
  return FORWARD_SEEKING(GetCurrentPosition(current));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                          const GUID* sourceFormat) {
  return FORWARD_SEEKING(ConvertTimeFormat(target, targetFormat, source, sourceFormat));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                                     DWORD stopFlags) {
  return FORWARD_SEEKING(SetPositions(current, currentFlags, stop, stopFlags));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::GetPositions(LONGLONG* current, LONGLONG* stop) {
  return FORWARD_SEEKING(GetPositions(current, stop));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::GetAvailable(LONGLONG* earliest, LONGLONG* latest) {
  return FORWARD_SEEKING(GetAvailable(earliest, latest));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::SetRate(double rate) { return FORWARD_SEEKING(SetRate(rate)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::GetRate(double* rate) { return FORWARD_SEEKING(GetRate(rate)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::GetPreroll(LONGLONG* preroll) { return FORWARD_SEEKING(GetPreroll(preroll)); }

HRESULT STDMETHODCALLTYPE CPosPassThru::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CPosPassThru::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CPosPassThru::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE CPosPassThru::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CPosPassThru::get_Duration(REFTIME* length) { return FORWARD_POSITION(get_Duration(length)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::put_CurrentPosition(REFTIME time) {
  return FORWARD_POSITION(put_CurrentPosition(time));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::get_CurrentPosition(REFTIME* time) {
  return FORWARD_POSITION(get_CurrentPosition(time));
}
HRESULT STDMETHODCALLTYPE CPosPassThru::get_StopTime(REFTIME* time) { return FORWARD_POSITION(get_StopTime(time)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::put_StopTime(REFTIME time) { return FORWARD_POSITION(put_StopTime(time)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::get_PrerollTime(REFTIME* time) { return FORWARD_POSITION(get_PrerollTime(time)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::put_PrerollTime(REFTIME time) { return FORWARD_POSITION(put_PrerollTime(time)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::put_Rate(double rate) { return FORWARD_POSITION(put_Rate(rate)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::get_Rate(double* rate) { return FORWARD_POSITION(get_Rate(rate)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::CanSeekForward(LONG* canSeek) { return FORWARD_POSITION(CanSeekForward(canSeek)); }
HRESULT STDMETHODCALLTYPE CPosPassThru::CanSeekBackward(LONG* canSeek) {
  return FORWARD_POSITION(CanSeekBackward(canSeek));
}
