#pragma once
// Module helpers: the one place that turns a GetProcAddress result into a function type (the cast
// goes through void (*)(), which the compiler accepts for any function type), and the program's
// own module standing in for a null one.

#include <windows.h>

inline HINSTANCE OrProgram(HINSTANCE module) { return module ? module : GetModuleHandleW(nullptr); }

template <class Function>
Function GetProcedure(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
