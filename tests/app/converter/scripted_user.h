#pragma once
// A scripted user for the converter's windows: the answers to its message boxes and the choices
// of its file and folder choosers, taken in order, and everything it was asked.

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <deque>
#include <string>
#include <vector>

struct AskedBox {
  std::wstring text;
  std::wstring caption;
};

class ScriptedUser {
 public:
  // Replaces Prompt and the choosers for its lifetime.
  ScriptedUser();
  ~ScriptedUser();
  ScriptedUser(const ScriptedUser&) = delete;
  ScriptedUser& operator=(const ScriptedUser&) = delete;

  // Box answers (IDOK, IDYES, ...); a box with no answer left is cancelled.
  void Answer(int button) { answers_.push_back(button); }
  void ForgetAnswers() { answers_.clear(); }
  // Chooser results, files and folders alike; an empty text cancels.
  void Choose(const std::wstring& path) { choices_.push_back(path); }

  const std::vector<AskedBox>& Boxes() const { return boxes_; }
  int ChoosersShown() const { return choosersShown_; }
  // The filter of the last file chooser, its pairs joined by '|'.
  const std::wstring& LastFilter() const { return lastFilter_; }
  DWORD LastFlags() const { return lastFlags_; }

 private:
  static int PromptBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);
  static BOOL WINAPI ChooseFile(OPENFILENAMEW* request);
  static PIDLIST_ABSOLUTE WINAPI ChooseFolder(BROWSEINFOW* request);
  bool NextChoice(std::wstring& path);

  std::deque<int> answers_;
  std::deque<std::wstring> choices_;
  std::vector<AskedBox> boxes_;
  int choosersShown_ = 0;
  std::wstring lastFilter_;
  DWORD lastFlags_ = 0;
};
