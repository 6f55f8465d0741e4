#include "tests/support/dialog_driver.h"

#include <vector>

namespace {

struct Search {
  const std::wstring* caption;
  DWORD processId;
  HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t className[16] = {};
  wchar_t caption[256] = {};
  if (process != search->processId || !IsWindowVisible(window)) return TRUE;
  if (!GetClassNameW(window, className, 16) || wcscmp(className, L"#32770") != 0) return TRUE;
  GetWindowTextW(window, caption, 256);
  if (*search->caption != caption) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

DialogDriver::DialogDriver(std::wstring caption, std::function<void(HWND)> action, DWORD timeoutMs,
                           DWORD processId)
    : caption_(std::move(caption)),
      processId_(processId),
      action_(std::move(action)),
      thread_([this, timeoutMs] { Run(timeoutMs); }) {}

DialogDriver::~DialogDriver() { Wait(); }

bool DialogDriver::Wait() {
  if (thread_.joinable()) thread_.join();
  return driven_;
}

void DialogDriver::Run(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    Search search{&caption_, processId_, nullptr};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      action_(search.found);
      driven_ = true;
      // An action that left the dialog open would block the test for good.
      for (int i = 0; i < 100 && IsWindow(search.found); ++i) Sleep(20);
      if (IsWindow(search.found)) {
        driven_ = false;
        PostMessageW(search.found, WM_COMMAND, IDCANCEL, 0);
      }
      return;
    }
    Sleep(20);
  }
}

void ClickDialogButton(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
