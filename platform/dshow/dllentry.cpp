// The exports of a filter module, over the module's own g_Templates. Kept apart from the factory so
// that only a module that exports them needs a table.

#include "platform/dshow/factory.h"

BOOL WINAPI DllEntryPoint(HINSTANCE, ULONG reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH && reason != DLL_PROCESS_DETACH) return TRUE;
  for (int i = 0; i < g_cTemplates; ++i) {
    if (g_Templates[i].m_lpfnInit) g_Templates[i].m_lpfnInit(reason == DLL_PROCESS_ATTACH, g_Templates[i].m_ClsID);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
  return GetClassFactory(g_Templates, g_cTemplates, classId, riid, object);
}

STDAPI DllCanUnloadNow() {
  return CUnknown::ObjectsActive() == 0 && CUnknown::ModuleLocks() == 0 ? S_OK : S_FALSE;
}

STDAPI AMovieDllRegisterServer2(BOOL registering) {
  // The module that holds this code, which is the one being registered.
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&g_cTemplates), &module))
    return HRESULT_FROM_WIN32(GetLastError());
  return RegisterTemplates(module, g_Templates, g_cTemplates, registering != FALSE);
}
