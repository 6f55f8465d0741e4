#include "common/prompt.h"

#include <atomic>

namespace {

std::atomic<PromptFunction> g_prompt{nullptr};

}  // namespace

int Prompt(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags) {
  const PromptFunction function = g_prompt.load();
  return function ? function(owner, text, caption, flags) : MessageBoxW(owner, text, caption, flags);
}

PromptFunction SetPromptFunction(PromptFunction function) { return g_prompt.exchange(function); }

HWND ActiveOwnerWindow() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(0, &info) ? info.hwndActive : nullptr;
}
