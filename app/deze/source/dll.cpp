// deze.dll: a COM in-process server of four filter classes, made through the base classes' class
// factory and registration code over the template table below. The converter does not rely on
// registration: it loads the library by name and asks DllGetClassObject directly.

#include <dshow.h>

#include <iterator>

#include "app/deze/source/dump.h"
#include "app/deze/source/flip.h"
#include "app/deze/source/swfmux.h"
#include "app/deze/source/vcmds.h"
#include "platform/dshow/factory.h"

namespace {

// Never picked by intelligent connection: hosts add these filters themselves.
constexpr DWORD kMerit = MERIT_DO_NOT_USE;

const AMOVIESETUP_MEDIATYPE kVideo = {&MEDIATYPE_Video, &MEDIASUBTYPE_None};
const AMOVIESETUP_MEDIATYPE kAudio = {&MEDIATYPE_Audio, &MEDIASUBTYPE_None};
const AMOVIESETUP_MEDIATYPE kStream = {&MEDIATYPE_Stream, &MEDIASUBTYPE_None};
const AMOVIESETUP_MEDIATYPE kAnyType = {&GUID_NULL, &MEDIASUBTYPE_None};

// The pin table wants writable names.
wchar_t kIn[] = L"In";
wchar_t kOut[] = L"Out";
wchar_t kVideoIn[] = L"Video In";
wchar_t kAudioIn[] = L"Audio In";

// Not rendered, not zero, not many, one media type, no connects-to filter or pin.
constexpr AMOVIESETUP_PIN Pin(wchar_t* name, bool output, const AMOVIESETUP_MEDIATYPE* type) {
  return {name, FALSE, output ? TRUE : FALSE, FALSE, FALSE, nullptr, nullptr, 1, type};
}

const AMOVIESETUP_PIN kVideoTransformPins[] = {Pin(kIn, false, &kVideo), Pin(kOut, true, &kVideo)};
const AMOVIESETUP_PIN kMuxerPins[] = {Pin(kVideoIn, false, &kVideo), Pin(kAudioIn, false, &kAudio),
                                      Pin(kOut, true, &kStream)};
const AMOVIESETUP_PIN kDumpPins[] = {Pin(kIn, false, &kAnyType)};

const AMOVIESETUP_FILTER kFlipSetup = {&CLSID_FlipFilter, L"Frame Flip", kMerit, 2, kVideoTransformPins};
const AMOVIESETUP_FILTER kMuxerSetup = {&CLSID_SwfMuxer, L"SwfMuxer", kMerit, 3, kMuxerPins};
const AMOVIESETUP_FILTER kDumpSetup = {&CLSID_FileDump, L"File Dump", kMerit, 1, kDumpPins};
const AMOVIESETUP_FILTER kEncoderSetup = {&CLSID_VcmEncoderFilter, L"VcmEncoderFilter", kMerit, 2,
                                          kVideoTransformPins};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {L"Frame Flip", &CLSID_FlipFilter, FlipFilter::CreateInstance, nullptr, &kFlipSetup},
    {L"SwfMuxer", &CLSID_SwfMuxer, SwfMuxer::CreateInstance, nullptr, &kMuxerSetup},
    {L"File Dump", &CLSID_FileDump, FileDump::CreateInstance, nullptr, &kDumpSetup},
    {L"VcmEncoderFilter", &CLSID_VcmEncoderFilter, VcmEncoderFilter::CreateInstance, nullptr, &kEncoderSetup},
};
int g_cTemplates = static_cast<int>(std::size(g_Templates));

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllEntryPoint(instance, reason, reserved);
}

STDAPI DllRegisterServer() {
  try {
    return AMovieDllRegisterServer2(TRUE);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return AMovieDllRegisterServer2(FALSE);
  } catch (...) {
    return E_UNEXPECTED;
  }
}
