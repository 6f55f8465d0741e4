#include "media/comx.h"

#include <errors.h>

#include "common/error.h"
#include "common/format.h"
#include "common/module.h"

namespace {

constexpr wchar_t kSource[] = L".\\source\\comx.cpp";
constexpr int kGetClassObjectLine = 45;
constexpr int kCreateInstanceLine = 47;

}  // namespace

void OnComError(const wchar_t* source, int line, HRESULT result) {
  wchar_t text[160] = L"";
  AMGetErrorTextW(result, text, 160);
  wchar_t message[1024];
  FormatBuffer(message, 1024, L"OnComError: File = %s, Line = %d, hr = 0x%x, ds_msg = %s", source, line,
               static_cast<unsigned>(result), text);
  Trace(L"%s\n", message);
}

std::wstring GuidToString(REFGUID guid) {
  wchar_t text[64] = L"";
  StringFromGUID2(guid, text, 63);
  return text;
}

HRESULT CreateObjectFromModule(const wchar_t* moduleName, REFCLSID classId, REFIID interfaceId, void** object) {
  if (!object) return E_FAIL;
  *object = nullptr;
  // Never freed: the objects made from the module live on after this call.
  HMODULE module = LoadLibraryW(moduleName);
  if (!module) {
    ReportError(L"Failed to load module %s", moduleName);
    return E_FAIL;
  }
  using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto getClassObject = GetProcedure<GetClassObjectFunction>(module, "DllGetClassObject");
  if (!getClassObject) return E_FAIL;

  ComPtr<IClassFactory> factory;
  HRESULT result = getClassObject(classId, IID_IClassFactory, reinterpret_cast<void**>(factory.Clear()));
  if (result != S_OK) {
    OnComError(kSource, kGetClassObjectLine, result);
    return result;
  }
  result = factory->CreateInstance(nullptr, interfaceId, object);
  if (result != S_OK) {
    OnComError(kSource, kCreateInstanceLine, result);
    // A success code other than S_OK may still have come with an object; nobody would release it.
    if (*object) static_cast<IUnknown*>(*object)->Release();
    *object = nullptr;
  }
  return result;
}
