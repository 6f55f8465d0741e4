#include "tests/support/errors.h"

namespace {

RecordingErrorHandler* g_recorder = nullptr;
CountedPtr<ErrorHandler> g_installed;

}  // namespace

void RecordingErrorHandler::Push(const wchar_t* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.emplace_back(text);
  pushed_.emplace_back(text);
}

void RecordingErrorHandler::Show() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (held_.empty()) return;
  boxes_.push_back({L"Error", held_});
  held_.clear();
}

bool RecordingErrorHandler::HasErrors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return !held_.empty();
}

void RecordingErrorHandler::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.clear();
}

void RecordingErrorHandler::Warn(const wchar_t* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.clear();
  boxes_.push_back({L"Warning", {text}});
}

std::vector<std::wstring> RecordingErrorHandler::Pushed() {
  std::lock_guard<std::mutex> lock(mutex_);
  return pushed_;
}

std::vector<RecordedBox> RecordingErrorHandler::Boxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

void RecordingErrorHandler::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_.clear();
  pushed_.clear();
  boxes_.clear();
}

RecordingErrorHandler& RecordedErrors() {
  if (!g_recorder) {
    g_recorder = new RecordingErrorHandler;
    g_installed = CountedPtr<ErrorHandler>(g_recorder);
  }
  return *g_recorder;
}

void InstallRecordingErrorHandler() {
  RecordedErrors();
  SetErrorHandler(g_installed);
}
