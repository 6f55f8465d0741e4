#include "platform/dshow/factory.h"

#include <new>

#include "common/comptr.h"
#include "common/handle.h"

namespace {

// "CLSID\\{...}" in a fixed buffer: nothing here may throw out of DllRegisterServer.
struct ClassKeyName {
  explicit ClassKeyName(REFCLSID classId) {
    wcscpy(text, L"CLSID\\");
    StringFromGUID2(classId, text + 6, 40);
  }
  const wchar_t* c_str() const { return text; }
  wchar_t text[48];
};

HRESULT SetKeyText(HKEY key, const wchar_t* valueName, const wchar_t* text) {
  const DWORD bytes = static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t));
  const LONG status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), bytes);
  return HRESULT_FROM_WIN32(status);
}

HRESULT RegisterServer(const CFactoryTemplate& entry, const wchar_t* modulePath) {
  HKEY classKey = nullptr;
  LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKeyName(*entry.m_ClsID).c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, &classKey, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  HandleGuard classGuard(RegCloseKey, classKey);
  HRESULT result = SetKeyText(classKey, nullptr, entry.m_Name);
  if (FAILED(result)) return result;
  HKEY serverKey = nullptr;
  status = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  HandleGuard serverGuard(RegCloseKey, serverKey);
  result = SetKeyText(serverKey, nullptr, modulePath);
  if (FAILED(result)) return result;
  return SetKeyText(serverKey, L"ThreadingModel", L"Both");
}

HRESULT UnregisterServer(const CFactoryTemplate& entry) {
  const LONG status = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKeyName(*entry.m_ClsID).c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

HRESULT RegisterFilter(IFilterMapper2* mapper, const CFactoryTemplate& entry) {
  const AMOVIESETUP_FILTER* setup = entry.m_pAMovieSetup_Filter;
  if (!setup) return S_OK;
  REGFILTER2 filter = {};
  filter.dwVersion = 1;
  filter.dwMerit = setup->dwMerit;
  filter.cPins = setup->nPins;
  filter.rgPins = setup->lpPin;
  return mapper->RegisterFilter(*entry.m_ClsID, entry.m_Name, nullptr, &CLSID_LegacyAmFilterCategory, nullptr,
                                &filter);
}

}  // namespace

CClassFactory::CClassFactory(const CFactoryTemplate* factoryTemplate)
    : CUnknown(L"CClassFactory", nullptr), template_(factoryTemplate) {}

HRESULT STDMETHODCALLTYPE CClassFactory::NonDelegatingQueryInterface(REFIID riid, void** object) {
  if (riid == IID_IClassFactory) return GetInterface(static_cast<IClassFactory*>(this), object);
  return CUnknown::NonDelegatingQueryInterface(riid, object);
}

HRESULT STDMETHODCALLTYPE CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  HRESULT result = S_OK;
  CUnknown* created = nullptr;
  try {
    created = template_->m_lpfnNew(outer, &result);
  } catch (...) {
    // Nothing may leave a COM method; a constructor that throws ran out of memory.
    created = nullptr;
    result = E_OUTOFMEMORY;
  }
  if (!created) return FAILED(result) ? result : E_OUTOFMEMORY;
  if (FAILED(result)) {
    delete created;
    return result;
  }
  // The object starts without a reference: hold one so that a failed query deletes it.
  created->NonDelegatingAddRef();
  result = created->NonDelegatingQueryInterface(riid, object);
  created->NonDelegatingRelease();
  return result;
}

HRESULT STDMETHODCALLTYPE CClassFactory::LockServer(BOOL lock) {
  CUnknown::LockModule(lock != FALSE);
  return S_OK;
}

HRESULT GetClassFactory(const CFactoryTemplate* templates, int count, REFCLSID classId, REFIID riid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  for (int i = 0; i < count; ++i) {
    if (!templates[i].IsClassID(classId)) continue;
    auto* factory = new (std::nothrow) CClassFactory(&templates[i]);
    if (!factory) return E_OUTOFMEMORY;
    factory->NonDelegatingAddRef();
    const HRESULT result = factory->NonDelegatingQueryInterface(riid, object);
    factory->NonDelegatingRelease();
    return result;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT RegisterTemplates(HMODULE module, const CFactoryTemplate* templates, int count, bool registering) {
  wchar_t modulePath[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, modulePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return E_FAIL;

  // The caller (regsvr32, for one) may not have started COM on this thread.
  const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HRESULT result = S_OK;
  {
    ComPtr<IFilterMapper2> mapper;
    result = mapper.CreateInstance(CLSID_FilterMapper2);
    for (int i = 0; i < count && SUCCEEDED(result); ++i) {
      const CFactoryTemplate& entry = templates[i];
      // A filter registered before is replaced, and one never registered is no failure to remove.
      mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *entry.m_ClsID);
      if (registering) {
        result = RegisterServer(entry, modulePath);
        if (SUCCEEDED(result)) result = RegisterFilter(mapper.Get(), entry);
      } else {
        result = UnregisterServer(entry);
      }
    }
  }
  if (SUCCEEDED(started)) CoUninitialize();
  return result;
}
