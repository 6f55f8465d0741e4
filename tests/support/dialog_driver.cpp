#include "tests/support/dialog_driver.h"

#include "common/window.h"

namespace {

struct Search {
  DWORD processId;
  const wchar_t* className;
  const wchar_t* caption;  // null: any
  HWND found;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->processId || !IsWindowVisible(window) ||
      GetWindowClassString(window) != search->className) {
    return TRUE;
  }
  if (search->caption && GetWindowTextString(window) != search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND WaitForWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    Search search{processId, className, caption, nullptr};
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
    if (search.found || GetTickCount64() >= deadline) return search.found;
    Sleep(20);
  }
}

HWND WaitForDialogBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs) {
  return WaitForWindow(processId, L"#32770", caption, timeoutMs);
}

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
  HWND found = WaitForDialogBox(processId_, caption_.c_str(), timeoutMs);
  if (!found) return;
  action_(found);
  driven_ = true;
  // An action that left the dialog open would block the test for good.
  for (int i = 0; i < 100 && IsWindow(found); ++i) Sleep(20);
  if (IsWindow(found)) {
    driven_ = false;
    PostMessageW(found, WM_COMMAND, IDCANCEL, 0);
  }
}

void ClickDialogButton(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}
