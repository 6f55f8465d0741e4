#pragma once
// Message boxes and choosers for the user. Every box and every file or folder chooser of the
// system goes through these, so a test can replace the functions and no modal window ever blocks it.

#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

using PromptFunction = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// MessageBoxW unless a replacement was set.
int Prompt(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// Returns the previous function; null restores MessageBoxW.
PromptFunction SetPromptFunction(PromptFunction function);

// The active window of the foreground thread, the owner of the system's boxes; null when unknown
// or when it belongs to another process.
HWND ActiveOwnerWindow();

// The system's file and folder choosers, replaceable like Prompt. A null member restores the
// system's call.
struct ChooserFunctions {
  BOOL(WINAPI* openFile)(OPENFILENAMEW* request) = nullptr;
  BOOL(WINAPI* saveFile)(OPENFILENAMEW* request) = nullptr;
  PIDLIST_ABSOLUTE(WINAPI* browseFolder)(BROWSEINFOW* request) = nullptr;
};

// GetOpenFileNameW, GetSaveFileNameW and SHBrowseForFolderW unless replaced.
BOOL PromptOpenFile(OPENFILENAMEW* request);
BOOL PromptSaveFile(OPENFILENAMEW* request);
PIDLIST_ABSOLUTE PromptFolder(BROWSEINFOW* request);

// Returns the previous set.
ChooserFunctions SetChooserFunctions(const ChooserFunctions& functions);
