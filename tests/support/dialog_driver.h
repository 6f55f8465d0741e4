#pragma once
// For tests of modal dialogs: a thread that waits for a dialog box of this process with a given
// caption and then drives it (messages sent across threads reach it while the test's thread runs
// the modal loop). The action must end the dialog.

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

class DialogDriver {
 public:
  DialogDriver(std::wstring caption, std::function<void(HWND)> action, DWORD timeoutMs = 20000);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Waits for the thread; true when the dialog was found and driven.
  bool Wait();

 private:
  void Run(DWORD timeoutMs);

  std::wstring caption_;
  std::function<void(HWND)> action_;
  bool driven_ = false;
  std::thread thread_;
};

// Sends a button click (WM_COMMAND with BN_CLICKED) for a control of a dialog.
void ClickDialogButton(HWND dialog, int id);
