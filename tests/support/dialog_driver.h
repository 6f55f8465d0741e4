#pragma once
// For tests of modal dialogs: a thread that waits for a dialog box with a given caption, of this
// process or of a program the test started, and then drives it (messages sent across threads reach
// it while the test's thread runs the modal loop). The action must end the dialog.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

class DialogDriver {
 public:
  DialogDriver(std::wstring caption, std::function<void(HWND)> action, DWORD timeoutMs = 20000,
               DWORD processId = GetCurrentProcessId());
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Waits for the thread; true when the dialog was found and driven.
  bool Wait();

 private:
  void Run(DWORD timeoutMs);

  std::wstring caption_;
  DWORD processId_;
  std::function<void(HWND)> action_;
  bool driven_ = false;
  std::thread thread_;
};

// Polls for a visible top-level window of the process with that class and caption (any caption
// when it is null); null when none appeared within the time.
HWND WaitForWindow(DWORD processId, const wchar_t* className, const wchar_t* caption, DWORD timeoutMs);

// Polls for a visible dialog box (class #32770) of the process with that caption, or with any
// caption when it is null; null when none appeared within the time.
HWND WaitForDialogBox(DWORD processId, const wchar_t* caption, DWORD timeoutMs);

// Sends a button click (WM_COMMAND with BN_CLICKED) for a control of a dialog.
void ClickDialogButton(HWND dialog, int id);
