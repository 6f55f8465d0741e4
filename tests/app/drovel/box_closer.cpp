// Closes the "Error" box of a running drovel.exe and prints its text, so that a host check can run
// the tool straight from the shell and read its exit status. Exit code 1 when no box came.

#include <windows.h>

#include <cstdio>
#include <string>

#include "common/handle.h"
#include "common/strutil.h"
#include "common/window.h"

namespace {

bool IsDrovelProcess(DWORD id) {
  HandleGuard process(CloseHandle, OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  wchar_t path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  if (!process.Get() || !QueryFullProcessImageNameW(process.Get(), 0, path, &length)) return false;
  const std::wstring name = L"\\drovel.exe";
  return length >= name.size() && _wcsicmp(path + length - name.size(), name.c_str()) == 0;
}

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (!IsWindowVisible(window) || GetWindowClassString(window) != L"#32770" ||
      GetWindowTextString(window) != L"Error" || !IsDrovelProcess(process)) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

int main() {
  const ULONGLONG deadline = GetTickCount64() + 20000;
  while (GetTickCount64() < deadline) {
    HWND box = nullptr;
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
    if (box) {
      std::printf("%s\n", ToNarrowString(GetWindowTextString(GetDlgItem(box, 0xFFFF)), kUtf8CodePage).c_str());
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(20);
  }
  return 1;
}
