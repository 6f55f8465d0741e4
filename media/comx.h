#pragma once
// COM helpers of the DirectShow code: the failure hook, GUID text, a VARIANT holder and the loader
// that creates objects straight from a module file, without registration.

#include <objbase.h>
#include <oleauto.h>

#include <string>

#include "common/comptr.h"

// Every failing COM call of the filters and the conversion engine passes through here with its
// source name and line. The formatted line goes to the trace channel only.
void OnComError(const wchar_t* source, int line, HRESULT result);

// The registry form with braces, "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}".
std::wstring GuidToString(REFGUID guid);

// Loads the module (it stays loaded for the life of the process) and asks its DllGetClassObject
// for the object. A module that does not load is reported ("Failed to load module %s"); a module
// without DllGetClassObject fails silently with E_FAIL.
HRESULT CreateObjectFromModule(const wchar_t* moduleName, REFCLSID classId, REFIID interfaceId, void** object);

class ComVariant {
 public:
  explicit ComVariant(VARTYPE type) {
    VariantInit(&variant_);
    variant_.vt = type;
  }
  ~ComVariant() { VariantClear(&variant_); }
  ComVariant(const ComVariant&) = delete;
  ComVariant& operator=(const ComVariant&) = delete;

  VARIANT* Get() { return &variant_; }

 private:
  VARIANT variant_;
};
