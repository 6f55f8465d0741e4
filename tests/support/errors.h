#pragma once
// Test harness: the recording error handler that the test main installs, so that no error or
// warning box ever blocks a test.

#include <mutex>
#include <string>
#include <vector>

#include "common/error.h"

struct RecordedBox {
  std::wstring caption;                // "Error" or "Warning"
  std::vector<std::wstring> messages;  // oldest first
};

class RecordingErrorHandler : public ErrorHandler {
 public:
  void Push(const wchar_t* text) override;
  void Show() override;
  bool HasErrors() override;
  void Clear() override;
  void Warn(const wchar_t* text) override;

  // Every message pushed since the last Reset, oldest first.
  std::vector<std::wstring> Pushed();
  // Every box that would have been shown since the last Reset.
  std::vector<RecordedBox> Boxes();
  void Reset();

 private:
  std::mutex mutex_;
  std::vector<std::wstring> held_;
  std::vector<std::wstring> pushed_;
  std::vector<RecordedBox> boxes_;
};

// The handler installed by the test main; reset before every test.
RecordingErrorHandler& RecordedErrors();
// Puts the recording handler back after a test replaced it.
void InstallRecordingErrorHandler();
