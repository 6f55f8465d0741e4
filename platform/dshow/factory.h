#pragma once
// The COM server side of a filter module: a table of CFactoryTemplate entries (g_Templates, with
// g_cTemplates entries, defined by the module), the class factory made from an entry, and the
// registration of each entry as an in-process server and as a filter through IFilterMapper2.
// The module's exports come from here: DllGetClassObject, DllCanUnloadNow, and DllEntryPoint and
// AMovieDllRegisterServer2 for its DllMain and DllRegisterServer.

#include <dshow.h>

#include <new>

#include "platform/dshow/unknown.h"

// Makes a new object with the given outer IUnknown; null when memory runs out.
using LPFNNewCOMObject = CUnknown* (*)(IUnknown* outer, HRESULT* result);
// Called at process attach (true) and detach (false).
using LPFNInitRoutine = void (*)(BOOL loading, const CLSID* classId);

// The creation function of an object made from its outer IUnknown. Nothing is thrown: when memory
// runs out, for the object or inside its constructor, the answer is null and E_OUTOFMEMORY.
template <class Object>
CUnknown* CreateComObject(IUnknown* outer, HRESULT* result) {
  CUnknown* object = nullptr;
  try {
    object = new (std::nothrow) Object(outer);
  } catch (const std::bad_alloc&) {
    object = nullptr;
  }
  if (!object && result) *result = E_OUTOFMEMORY;
  return object;
}

using AMOVIESETUP_MEDIATYPE = REGPINTYPES;
using AMOVIESETUP_PIN = REGFILTERPINS;
struct AMOVIESETUP_FILTER {
  const CLSID* clsID;
  const WCHAR* strName;
  DWORD dwMerit;
  UINT nPins;
  const AMOVIESETUP_PIN* lpPin;
};

struct CFactoryTemplate {
  const WCHAR* m_Name;
  const CLSID* m_ClsID;
  LPFNNewCOMObject m_lpfnNew;
  LPFNInitRoutine m_lpfnInit;
  const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

  bool IsClassID(REFCLSID classId) const { return *m_ClsID == classId; }
};

class CClassFactory : public CUnknown, public IClassFactory {
 public:
  explicit CClassFactory(const CFactoryTemplate* factoryTemplate);

  DECLARE_IUNKNOWN
  HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** object) override;

  // With an outer object only IUnknown may be asked for (CLASS_E_NOAGGREGATION otherwise).
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  const CFactoryTemplate* template_;
};

// A class factory for the table entry of the class; CLASS_E_CLASSNOTAVAILABLE when there is none.
HRESULT GetClassFactory(const CFactoryTemplate* templates, int count, REFCLSID classId, REFIID riid, void** object);
// Registers (or removes) each entry in table order: the class under HKCR\CLSID with the module's
// path and ThreadingModel "Both", and its setup data in the DirectShow filter category.
HRESULT RegisterTemplates(HMODULE module, const CFactoryTemplate* templates, int count, bool registering);

// Defined by the filter module.
extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;

BOOL WINAPI DllEntryPoint(HINSTANCE instance, ULONG reason, LPVOID reserved);
STDAPI AMovieDllRegisterServer2(BOOL registering);
