#include "tests/app/converter/scripted_user.h"

#include <shlobj.h>

#include "common/prompt.h"

namespace {

ScriptedUser* g_user = nullptr;

}  // namespace

ScriptedUser::ScriptedUser() {
  g_user = this;
  SetPromptFunction(PromptBox);
  ChooserFunctions choosers;
  choosers.openFile = ChooseFile;
  choosers.saveFile = ChooseFile;
  choosers.browseFolder = ChooseFolder;
  SetChooserFunctions(choosers);
}

ScriptedUser::~ScriptedUser() {
  SetPromptFunction(nullptr);
  SetChooserFunctions(ChooserFunctions());
  g_user = nullptr;
}

int ScriptedUser::PromptBox(HWND, const wchar_t* text, const wchar_t* caption, UINT) {
  g_user->boxes_.push_back({text, caption});
  if (g_user->answers_.empty()) return IDCANCEL;
  const int answer = g_user->answers_.front();
  g_user->answers_.pop_front();
  return answer;
}

bool ScriptedUser::NextChoice(std::wstring& path) {
  ++choosersShown_;
  if (choices_.empty()) return false;
  path = choices_.front();
  choices_.pop_front();
  return !path.empty();
}

BOOL WINAPI ScriptedUser::ChooseFile(OPENFILENAMEW* request) {
  g_user->lastFlags_ = request->Flags;
  g_user->lastFilter_.clear();
  for (const wchar_t* text = request->lpstrFilter; text && *text; text += wcslen(text) + 1) {
    if (!g_user->lastFilter_.empty()) g_user->lastFilter_ += L"|";
    g_user->lastFilter_ += text;
  }
  std::wstring path;
  if (!g_user->NextChoice(path) || path.size() >= request->nMaxFile) return FALSE;
  wcscpy(request->lpstrFile, path.c_str());
  return TRUE;
}

PIDLIST_ABSOLUTE WINAPI ScriptedUser::ChooseFolder(BROWSEINFOW*) {
  std::wstring path;
  if (!g_user->NextChoice(path)) return nullptr;
  return ILCreateFromPathW(path.c_str());
}
