// The codec library's entry points: DllMain and DriverProc, exported undecorated through velto.def.

#include <windows.h>

#include "app/velto/source/dialogs.h"
#include "app/velto/source/driver.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  // The dialogs load their templates from this library.
  if (reason == DLL_PROCESS_ATTACH) SetCodecModule(module);
  return TRUE;
}

extern "C" LRESULT WINAPI DriverProc(DWORD_PTR driverId, HDRVR driver, UINT message, LPARAM param1, LPARAM param2) {
  return CodecDriverProc(driverId, driver, message, param1, param2);
}
