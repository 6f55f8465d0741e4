#include "app/converter/source/choosers.h"

#include <objbase.h>

#include <vector>

#include "app/converter/source/resource.h"
#include "common/prompt.h"

namespace {

const wchar_t kMakerAddress[] = L"http://www.tellovane.example/";

// An existing file into a page's edit box, on BN_CLICKED only.
INT_PTR ChooseFileIntoItem(HWND page, WPARAM wParam, const std::wstring& filter, int itemId) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  std::wstring path;
  if (ChooseFile(page, filter, OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, nullptr, false, path)) {
    SetDlgItemTextW(page, itemId, path.c_str());
  }
  return 1;
}

}  // namespace

std::wstring MakeFilter(std::initializer_list<const wchar_t*> texts) {
  std::wstring filter;
  for (const wchar_t* text : texts) {
    filter += text;
    filter.push_back(L'\0');
  }
  return filter;
}

AboutBoxContent ConverterAboutContent() {
  AboutBoxContent content;
  content.templateId = IDD_ABOUT;
  content.linkId = IDC_ABOUT_LINK;
  content.linkAddress = kMakerAddress;
  content.texts = {{IDC_ABOUT_PRODUCT, L"Larkspan Version 2.6"},
                   {IDC_ABOUT_COPYRIGHT, L"Copyright (C) Tellovane"},
                   {IDC_ABOUT_RIGHTS, L"All rights reserved."},
                   {IDC_ABOUT_LINK, kMakerAddress}};
  content.centreOverOwner = true;
  return content;
}

bool ChooseFile(HWND owner, const std::wstring& filter, DWORD flags, const wchar_t* defaultExtension, bool save,
                std::wstring& path) {
  std::vector<wchar_t> file(MAX_PATH, L'\0');
  std::vector<wchar_t> title(MAX_PATH, L'\0');
  OPENFILENAMEW request = {};
  request.lStructSize = sizeof(request);
  request.hwndOwner = owner;
  request.lpstrFilter = filter.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = file.data();
  request.nMaxFile = static_cast<DWORD>(file.size());
  request.lpstrFileTitle = title.data();
  request.nMaxFileTitle = static_cast<DWORD>(title.size());
  request.lpstrDefExt = defaultExtension;
  request.Flags = flags;
  if (!(save ? PromptSaveFile(&request) : PromptOpenFile(&request))) return false;
  file.back() = L'\0';
  path = file.data();
  return !path.empty();
}

INT_PTR ChooseMovieFile(HWND page, WPARAM wParam) {
  static const std::wstring filter = MakeFilter({
      L"Movie files", L"*.avi;*.qt;*.mov;*.mpeg;*.mpg;*.wmv;*.asf",
      L"AVI files (*.avi)", L"*.avi",
      L"QuickTime files (*.qt,*mov)", L"*.qt;*.mov",
      L"MPEG files (*.mpeg,*.mpg)", L"*.mpeg;*.mpg",
      L"Windows Media files (*.wmv,*.asf)", L"*.wmv;*.asf",
      L"All files (*.*)", L"*.*",
  });
  return ChooseFileIntoItem(page, wParam, filter, IDC_MOVIE_FILE);
}

INT_PTR ChooseAudioFile(HWND page, WPARAM wParam) {
  static const std::wstring filter = MakeFilter({
      L"MP3 files (*.mp3)", L"*.mp3",
      L"WAV files (*.wav)", L"*.wav",
      L"WMA files (*.wma)", L"*.wma",
      L"All Files (*.*)", L"*.*",
  });
  return ChooseFileIntoItem(page, wParam, filter, IDC_AUDIO_FILE);
}

INT_PTR ChooseFolder(HWND page, WPARAM wParam) {
  if (HIWORD(wParam) != BN_CLICKED) return 0;
  wchar_t displayName[MAX_PATH] = {};
  BROWSEINFOW request = {};
  request.hwndOwner = page;
  request.pszDisplayName = displayName;
  request.lpszTitle = L"Select a folder ";
  request.ulFlags = BIF_RETURNONLYFSDIRS;
  if (PIDLIST_ABSOLUTE chosen = PromptFolder(&request)) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetPathFromIDListW(chosen, path)) SetDlgItemTextW(page, IDC_SAVE_DIR, path);
    CoTaskMemFree(chosen);
  }
  return 1;
}
