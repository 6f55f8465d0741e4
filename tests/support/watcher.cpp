#include "tests/support/watcher.h"

#include <vector>

namespace {

BOOL CALLBACK FindOwnDialog(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t className[16] = {};
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && GetClassNameW(window, className, 16) &&
      wcscmp(className, L"#32770") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

std::wstring WindowText(HWND window) {
  std::vector<wchar_t> buffer(1024);
  for (;;) {
    const int length = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    if (length < static_cast<int>(buffer.size()) - 1) return std::wstring(buffer.data(), static_cast<size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

BoxWatcher::BoxWatcher(DWORD timeoutMs) : thread_([this, timeoutMs] { Watch(timeoutMs); }) {}

BoxWatcher::~BoxWatcher() { Wait(); }

bool BoxWatcher::Wait() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

void BoxWatcher::Watch(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    HWND box = nullptr;
    EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&box));
    if (box) {
      caption_ = WindowText(box);
      // The message text of a message box is the static control 0xFFFF.
      HWND text = GetDlgItem(box, 0xFFFF);
      if (text) text_ = WindowText(text);
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      seen_ = true;
      return;
    }
    Sleep(20);
  }
}
