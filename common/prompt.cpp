#include "common/prompt.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<PromptFunction> g_prompt{nullptr};

std::mutex g_choosersLock;
ChooserFunctions g_choosers;

ChooserFunctions CurrentChoosers() {
  std::lock_guard<std::mutex> lock(g_choosersLock);
  return g_choosers;
}

}  // namespace

int Prompt(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  const PromptFunction function = g_prompt.load();
  return function ? function(owner, text, caption, flags) : MessageBoxW(owner, text, caption, flags);
}

PromptFunction SetPromptFunction(PromptFunction function) { return g_prompt.exchange(function); }

HWND ActiveOwnerWindow() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(0, &info) || !info.hwndActive) return nullptr;
  // The foreground may be another program's: a box it owned would close, unread, with it.
  DWORD process = 0;
  GetWindowThreadProcessId(info.hwndActive, &process);
  return process == GetCurrentProcessId() ? info.hwndActive : nullptr;
}

BOOL PromptOpenFile(OPENFILENAMEW* request) {
  const auto function = CurrentChoosers().openFile;
  return function ? function(request) : GetOpenFileNameW(request);
}

BOOL PromptSaveFile(OPENFILENAMEW* request) {
  const auto function = CurrentChoosers().saveFile;
  return function ? function(request) : GetSaveFileNameW(request);
}

PIDLIST_ABSOLUTE PromptFolder(BROWSEINFOW* request) {
  const auto function = CurrentChoosers().browseFolder;
  return function ? function(request) : SHBrowseForFolderW(request);
}

ChooserFunctions SetChooserFunctions(const ChooserFunctions& functions) {
  std::lock_guard<std::mutex> lock(g_choosersLock);
  const ChooserFunctions previous = g_choosers;
  g_choosers = functions;
  return previous;
}
