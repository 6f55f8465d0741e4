#pragma once
// Message boxes for the user. Every box of the system goes through Prompt, so a test can replace
// the function and no modal box ever blocks it.

#include <windows.h>

using PromptFunction = int (*)(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// MessageBoxW unless a replacement was set.
int Prompt(HWND owner, const wchar_t* text, const wchar_t* caption, UINT flags);

// Returns the previous function; null restores MessageBoxW.
PromptFunction SetPromptFunction(PromptFunction function);

// The active window of the foreground thread, the owner of the system's boxes; null when unknown.
HWND ActiveOwnerWindow();
