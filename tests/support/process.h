#pragma once
// Outside programs a test runs to completion, such as Wine's own regsvr32.

#include <windows.h>

#include <string>

#include "common/handle.h"

// The program's exit code; the error code when it does not start, WAIT_TIMEOUT when it has not
// ended within the time (it is ended then).
inline DWORD RunProgram(std::wstring command, DWORD timeoutMs = 60000) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return GetLastError();
  HandleGuard processGuard(CloseHandle, process.hProcess);
  HandleGuard threadGuard(CloseHandle, process.hThread);
  if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, WAIT_TIMEOUT);
    return WAIT_TIMEOUT;
  }
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  return code;
}

// regsvr32 without its message boxes.
inline DWORD RunRegsvr32(const std::wstring& arguments) { return RunProgram(L"regsvr32.exe /s " + arguments); }
