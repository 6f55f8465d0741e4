#pragma once
// The one place that turns a GetProcAddress result into a function type. The cast goes through
// void (*)(), which the compiler accepts for any function type.

#include <windows.h>

template <class Function>
Function GetProcedure(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
