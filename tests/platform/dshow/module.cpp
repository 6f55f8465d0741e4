// A filter module made of the test filters, built like a filter library on the base classes: its
// exports serve the tests of the class factory, DllCanUnloadNow and the registration.

#include <new>

#include "platform/dshow/factory.h"
#include "tests/platform/dshow/module.h"
#include "tests/support/filters.h"

namespace {

CUnknown* CreateSink(IUnknown* outer, HRESULT* result) {
  if (outer) {
    *result = CLASS_E_NOAGGREGATION;
    return nullptr;
  }
  CUnknown* sink = new (std::nothrow) TestSink;
  if (!sink) *result = E_OUTOFMEMORY;
  return sink;
}

const AMOVIESETUP_MEDIATYPE kStream = {&MEDIATYPE_Stream, &MEDIASUBTYPE_None};
wchar_t kIn[] = L"In";
wchar_t kOut[] = L"Out";
const AMOVIESETUP_PIN kSinkPins[] = {{kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, &kStream}};
const AMOVIESETUP_PIN kPassThroughPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, &kStream},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, &kStream},
};
const AMOVIESETUP_FILTER kSinkSetup = {&CLSID_ModuleSink, L"Module Sink", MERIT_DO_NOT_USE, 1, kSinkPins};
const AMOVIESETUP_FILTER kPassThroughSetup = {&CLSID_ModulePassThrough, L"Module Pass Through", MERIT_DO_NOT_USE, 2,
                                              kPassThroughPins};

}  // namespace

CFactoryTemplate g_Templates[] = {
    {L"Module Sink", &CLSID_ModuleSink, CreateSink, nullptr, &kSinkSetup},
    {L"Module Pass Through", &CLSID_ModulePassThrough, CreateComObject<TestPassThrough>, nullptr, &kPassThroughSetup},
};
int g_cTemplates = 2;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllEntryPoint(instance, reason, reserved);
}

STDAPI DllRegisterServer() { return AMovieDllRegisterServer2(TRUE); }
STDAPI DllUnregisterServer() { return AMovieDllRegisterServer2(FALSE); }
