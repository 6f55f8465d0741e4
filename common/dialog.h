#pragma once
// Dialog boxes and tab pages made from templates. One static dialog procedure routes the messages
// to the object; a derived dialog moves its data into the controls and back, validates them and
// enables them, while the base supplies the OK, Cancel, page-leave and page-apply flow.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <utility>
#include <vector>

#include "common/window.h"

class Dialog : public Window {
 public:
  // A null module means the program's own.
  Dialog(WORD templateId, HINSTANCE module);
  ~Dialog() override = default;

  WORD GetTemplateId() const { return templateId_; }
  bool WasApplied() const { return applied_; }

  // Modal; true when the dialog ended with IDOK.
  bool DoModal(HWND parent);
  // Modeless (a tab page); lives until its parent destroys it.
  HWND Create(HWND parent);

  static INT_PTR CALLBACK DialogProcThunk(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

  virtual INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  virtual INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam);
  virtual INT_PTR OnNotify(HWND dialog, WPARAM wParam, NMHDR* header);
  virtual INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) = 0;
  // Validates, then reads the controls into the data; only a modal dialog closes.
  virtual INT_PTR OnOK(HWND dialog, WPARAM wParam, LPARAM lParam);
  // Closes a modal dialog without touching the data.
  virtual INT_PTR OnCancel(HWND dialog, WPARAM wParam, LPARAM lParam);
  // A page is being left: an invalid control keeps it.
  virtual INT_PTR OnKillActive(HWND dialog, WPARAM wParam, NMHDR* header);
  // The page was validated when it was left.
  virtual INT_PTR OnApply(HWND dialog, WPARAM wParam, NMHDR* header);
  virtual void DataToControls(HWND dialog);
  virtual void ControlsToData(HWND dialog);
  // The first control whose value is invalid, or null.
  virtual HWND Validate(HWND dialog);
  virtual void UpdateControls(HWND dialog);

  // Dialog items.
  static std::wstring GetItemText(HWND dialog, int id);
  static void SetItemText(HWND dialog, int id, const std::wstring& text);
  // An indeterminate button counts as unchecked.
  static bool IsItemChecked(HWND dialog, int id);
  static void CheckItem(HWND dialog, int id, bool checked);

  // (identifier, text) in the combo box's order: it must not sort its items.
  using ComboEntries = std::vector<std::pair<int, std::wstring>>;
  // Selects the (last) entry whose identifier is selectedId; returns the entry count.
  static int FillCombo(HWND dialog, int id, const ComboEntries& entries, int selectedId);
  // False (selectedId untouched) when nothing valid is selected.
  static bool GetComboSelection(HWND dialog, int id, const ComboEntries& entries, int& selectedId);

  // A typed folder: not empty, no wildcard or forward slash, and created when asked and missing.
  // Disabled items pass; failures are shown at once.
  static bool CheckFolderItem(HWND dialog, int id, bool create);
  // A bare file name: not empty and none of the characters that separate or quote paths.
  static bool CheckFileNameItem(HWND dialog, int id);

 protected:
  // Sets the message result a dialog procedure returns through DWLP_MSGRESULT.
  static void SetMessageResult(HWND dialog, LONG_PTR result);
  // Gives an invalid control the focus and tells the system to stay.
  static void RefuseAt(HWND dialog, HWND control);

 private:
  HINSTANCE module_;
  WORD templateId_;
  bool applied_ = false;
  bool modal_ = false;
};

// A trackbar control of a dialog.
class TrackBar {
 public:
  HWND Attach(HWND dialog, int id);
  HWND GetHandle() const { return handle_; }
  void SetRange(int minimum, int maximum, bool redraw);
  void SetPos(int position, bool redraw);
  int GetPos() const;

 private:
  HWND handle_ = nullptr;
};

// Registers the common control classes a template may name (trackbar, progress bar, tabs); a host
// that loads a library with such dialogs may never have done so.
void InitCommonControlClasses();
