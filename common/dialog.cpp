#include "common/dialog.h"

#include <shlwapi.h>

#include "common/error.h"
#include "common/module.h"

void InitCommonControlClasses() {
  INITCOMMONCONTROLSEX classes = {};
  classes.dwSize = sizeof(classes);
  classes.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES;
  InitCommonControlsEx(&classes);
}

Dialog::Dialog(WORD templateId, HINSTANCE module) : module_(OrProgram(module)), templateId_(templateId) {}

bool Dialog::DoModal(HWND parent) {
  InitCommonControlClasses();
  modal_ = true;
  const INT_PTR result = DialogBoxParamW(module_, MAKEINTRESOURCEW(templateId_), parent, DialogProcThunk,
                                         reinterpret_cast<LPARAM>(this));
  modal_ = false;
  return result == IDOK;
}

HWND Dialog::Create(HWND parent) {
  InitCommonControlClasses();
  modal_ = false;
  return CreateDialogParamW(module_, MAKEINTRESOURCEW(templateId_), parent, DialogProcThunk,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Dialog::DialogProcThunk(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) Bind(dialog, reinterpret_cast<Dialog*>(lParam));
  // Messages before WM_INITDIALOG are left to the system.
  Dialog* object = static_cast<Dialog*>(FromHandle(dialog));
  if (!object) return 0;
  const INT_PTR result = object->DialogProc(dialog, message, wParam, lParam);
  if (message == WM_NCDESTROY) Unbind(dialog);
  return result;
}

INT_PTR Dialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND: return OnCommand(dialog, wParam, lParam);
    case WM_NOTIFY: return OnNotify(dialog, wParam, reinterpret_cast<NMHDR*>(lParam));
    case WM_INITDIALOG: return OnInitDialog(dialog, wParam, lParam);
    default: return 0;
  }
}

INT_PTR Dialog::OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDOK: return OnOK(dialog, wParam, lParam);
    case IDCANCEL: return OnCancel(dialog, wParam, lParam);
    default: return 0;
  }
}

INT_PTR Dialog::OnNotify(HWND dialog, WPARAM wParam, NMHDR* header) {
  if (!header) return 0;
  switch (header->code) {
    case PSN_APPLY: return OnApply(dialog, wParam, header);
    case PSN_KILLACTIVE: return OnKillActive(dialog, wParam, header);
    default: return 0;
  }
}

INT_PTR Dialog::OnOK(HWND dialog, WPARAM, LPARAM) {
  if (HWND invalid = Validate(dialog)) {
    RefuseAt(dialog, invalid);
    return 1;
  }
  ControlsToData(dialog);
  applied_ = true;
  if (modal_) EndDialog(dialog, IDOK);
  return 1;
}

INT_PTR Dialog::OnCancel(HWND dialog, WPARAM, LPARAM) {
  if (modal_) EndDialog(dialog, IDCANCEL);
  return 1;
}

INT_PTR Dialog::OnKillActive(HWND dialog, WPARAM, NMHDR*) {
  if (HWND invalid = Validate(dialog))
    RefuseAt(dialog, invalid);
  else
    SetMessageResult(dialog, 0);  // no stale "stay" from an earlier message
  return 1;
}

INT_PTR Dialog::OnApply(HWND dialog, WPARAM, NMHDR*) {
  ControlsToData(dialog);
  applied_ = true;
  SetMessageResult(dialog, PSNRET_NOERROR);
  return 1;
}

void Dialog::DataToControls(HWND) {}
void Dialog::ControlsToData(HWND) {}
HWND Dialog::Validate(HWND) { return nullptr; }
void Dialog::UpdateControls(HWND) {}

void Dialog::SetMessageResult(HWND dialog, LONG_PTR result) { SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result); }

void Dialog::RefuseAt(HWND dialog, HWND control) {
  SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
  SetMessageResult(dialog, 1);
}

std::wstring Dialog::GetItemText(HWND dialog, int id) { return GetWindowTextString(GetDlgItem(dialog, id)); }

void Dialog::SetItemText(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }

bool Dialog::IsItemChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void Dialog::CheckItem(HWND dialog, int id, bool checked) {
  CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

int Dialog::FillCombo(HWND dialog, int id, const ComboEntries& entries, int selectedId) {
  SendDlgItemMessageW(dialog, id, CB_RESETCONTENT, 0, 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i].second.c_str()));
    if (entries[i].first == selectedId) SendDlgItemMessageW(dialog, id, CB_SETCURSEL, i, 0);
  }
  return static_cast<int>(entries.size());
}

bool Dialog::GetComboSelection(HWND dialog, int id, const ComboEntries& entries, int& selectedId) {
  // CB_ERR (no selection) is out of range as an unsigned position.
  const size_t position = static_cast<size_t>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0));
  if (position >= entries.size()) return false;
  selectedId = entries[position].first;
  return true;
}

bool Dialog::CheckFolderItem(HWND dialog, int id, bool create) {
  if (!IsWindowEnabled(GetDlgItem(dialog, id))) return true;
  const std::wstring folder = GetItemText(dialog, id);
  if (folder.empty()) {
    ShowError(L"Please specify a folder");
    return false;
  }
  // Backslash and colon separate the parts of a path.
  const wchar_t* const kForbidden = L"*?<>|/";
  if (folder.find_first_of(kForbidden) != std::wstring::npos) {
    ShowError(L"Folder name can't contain any of the\nfollowing characters:\n%s", kForbidden);
    return false;
  }
  if (create && !PathFileExistsW(folder.c_str()) && !CreateDirectoryW(folder.c_str(), nullptr)) {
    ShowError(L"Can't create foler %s\n", folder.c_str());
    return false;
  }
  return true;
}

bool Dialog::CheckFileNameItem(HWND dialog, int id) {
  if (!IsWindowEnabled(GetDlgItem(dialog, id))) return true;
  const std::wstring name = GetItemText(dialog, id);
  if (name.empty()) {
    ShowError(L"Please specify a file name");
    return false;
  }
  const wchar_t* const kForbidden = L"*?<>|/\\:\"";
  if (name.find_first_of(kForbidden) != std::wstring::npos) {
    ShowError(L"File name can't contain any of the\nfollowing characters:\n%s", kForbidden);
    return false;
  }
  return true;
}

HWND TrackBar::Attach(HWND dialog, int id) {
  handle_ = GetDlgItem(dialog, id);
  return handle_;
}

void TrackBar::SetRange(int minimum, int maximum, bool redraw) {
  SendMessageW(handle_, TBM_SETRANGE, redraw, MAKELPARAM(minimum, maximum));
}

void TrackBar::SetPos(int position, bool redraw) { SendMessageW(handle_, TBM_SETPOS, redraw, position); }

int TrackBar::GetPos() const { return static_cast<int>(SendMessageW(handle_, TBM_GETPOS, 0, 0)); }
