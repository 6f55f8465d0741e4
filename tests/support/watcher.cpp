#include "tests/support/watcher.h"

#include "common/window.h"
#include "tests/support/dialog_driver.h"

BoxWatcher::BoxWatcher(DWORD timeoutMs) : thread_([this, timeoutMs] { Watch(timeoutMs); }) {}

BoxWatcher::~BoxWatcher() { Wait(); }

bool BoxWatcher::Wait() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

void BoxWatcher::Watch(DWORD timeoutMs) {
  HWND box = WaitForDialogBox(GetCurrentProcessId(), nullptr, timeoutMs);
  if (!box) return;
  caption_ = GetWindowTextString(box);
  // The message text of a message box is the static control 0xFFFF.
  if (HWND text = GetDlgItem(box, 0xFFFF)) text_ = GetWindowTextString(text);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  seen_ = true;
}
