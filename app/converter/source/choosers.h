#pragma once
// The converter's About box and the standard choosers behind the "..." buttons of the tab pages
// and the File menu's Open and Save as.

#include <windows.h>

#include <initializer_list>
#include <string>

#include "common/about.h"

AboutBoxContent ConverterAboutContent();

// A chooser's filter: description and pattern pairs, each text ended by a null character (the
// string's own terminator ends the list).
std::wstring MakeFilter(std::initializer_list<const wchar_t*> texts);

// Asks for an existing file (or, with `save`, a file to write); `filter` comes from MakeFilter.
// False when the user cancelled.
bool ChooseFile(HWND owner, const std::wstring& filter, DWORD flags, const wchar_t* defaultExtension, bool save,
                std::wstring& path);

// The pages' "..." buttons: each acts on BN_CLICKED only and puts the choice into the page's edit
// box, whose change notification stores it. 1 when handled, 0 for other notifications.
INT_PTR ChooseMovieFile(HWND page, WPARAM wParam);
INT_PTR ChooseAudioFile(HWND page, WPARAM wParam);
INT_PTR ChooseFolder(HWND page, WPARAM wParam);
