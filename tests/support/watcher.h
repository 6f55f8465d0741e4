#pragma once
// For the few tests that must see a real message box: a thread that finds the next dialog box of
// this process, reads its caption and text, and closes it.

#include <windows.h>

#include <string>
#include <thread>

class BoxWatcher {
 public:
  explicit BoxWatcher(DWORD timeoutMs = 20000);
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  // Waits for the watcher to finish; true when a box was seen and closed.
  bool Wait();
  const std::wstring& Caption() const { return caption_; }
  const std::wstring& Text() const { return text_; }

 private:
  void Watch(DWORD timeoutMs);

  std::thread thread_;
  bool seen_ = false;
  std::wstring caption_;
  std::wstring text_;
};
