#include "common/dialog.h"

#include <gtest/gtest.h>

#include "tests/common/ui_test_ids.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/errors.h"

namespace {

class TestDialog : public Dialog {
 public:
  TestDialog() : Dialog(IDD_TEST, nullptr) {}

  INT_PTR OnInitDialog(HWND dialog, WPARAM, LPARAM) override {
    DataToControls(dialog);
    return TRUE;
  }
  void DataToControls(HWND dialog) override { SetItemText(dialog, IDC_NAME, name); }
  void ControlsToData(HWND dialog) override { name = GetItemText(dialog, IDC_NAME); }
  HWND Validate(HWND dialog) override { return refuse ? GetDlgItem(dialog, IDC_FILE) : nullptr; }

  std::wstring name = L"initial";
  bool refuse = false;
};

LRESULT Notify(HWND dialog, UINT code) {
  NMHDR header = {};
  header.hwndFrom = dialog;
  header.code = code;
  return SendMessageW(dialog, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header));
}

TEST(DialogFlow, InvalidOkKeepsTheDialogAndTheData) {
  TestDialog dialog;
  HWND window = dialog.Create(nullptr);
  ASSERT_TRUE(window);
  EXPECT_EQ(Dialog::GetItemText(window, IDC_NAME), L"initial");
  Dialog::SetItemText(window, IDC_NAME, L"changed");
  dialog.refuse = true;
  EXPECT_EQ(SendMessageW(window, WM_COMMAND, IDOK, 0), 1);
  EXPECT_EQ(GetWindowLongPtrW(window, DWLP_MSGRESULT), 1);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(dialog.name, L"initial");
  EXPECT_FALSE(dialog.WasApplied());

  // A modeless dialog applies on OK but only its parent ends it.
  dialog.refuse = false;
  SendMessageW(window, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(dialog.name, L"changed");
  EXPECT_TRUE(dialog.WasApplied());
  SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(IsWindow(window));
  DestroyWindow(window);
  EXPECT_EQ(dialog.GetHandle(), nullptr);
}

TEST(DialogFlow, PageLeaveAndApply) {
  TestDialog dialog;
  HWND window = dialog.Create(nullptr);
  dialog.refuse = true;
  EXPECT_EQ(Notify(window, PSN_KILLACTIVE), 1);
  EXPECT_FALSE(dialog.WasApplied());
  dialog.refuse = false;
  // No stale "stay" from the refusal before.
  EXPECT_EQ(Notify(window, PSN_KILLACTIVE), 0);
  Dialog::SetItemText(window, IDC_NAME, L"applied");
  Notify(window, PSN_APPLY);
  EXPECT_TRUE(dialog.WasApplied());
  EXPECT_EQ(dialog.name, L"applied");
  DestroyWindow(window);
}

TEST(DialogFlow, ModalOkAndCancel) {
  TestDialog accepted;
  DialogDriver ok(L"Test Dialog", [](HWND window) {
    SetDlgItemTextW(window, IDC_NAME, L"typed");
    ClickDialogButton(window, IDOK);
  });
  EXPECT_TRUE(accepted.DoModal(nullptr));
  ASSERT_TRUE(ok.Wait());
  EXPECT_EQ(accepted.name, L"typed");
  EXPECT_TRUE(accepted.WasApplied());

  // Refused OK stays open; Cancel after an Apply keeps the applied flag.
  TestDialog cancelled;
  cancelled.refuse = true;
  bool stayed = false;
  DialogDriver cancel(L"Test Dialog", [&](HWND window) {
    ClickDialogButton(window, IDOK);
    stayed = IsWindow(window);
    Notify(window, PSN_APPLY);
    ClickDialogButton(window, IDCANCEL);
  });
  EXPECT_FALSE(cancelled.DoModal(nullptr));
  ASSERT_TRUE(cancel.Wait());
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(cancelled.WasApplied());
}

TEST(DialogItems, TextsChecksAndCombos) {
  TestDialog dialog;
  HWND window = dialog.Create(nullptr);
  const std::wstring longText(2000, L'x');
  Dialog::SetItemText(window, IDC_NAME, longText + L"y");
  EXPECT_EQ(Dialog::GetItemText(window, IDC_NAME), longText + L"y");

  Dialog::CheckItem(window, IDC_CHECK, true);
  EXPECT_TRUE(Dialog::IsItemChecked(window, IDC_CHECK));
  CheckDlgButton(window, IDC_CHECK, BST_INDETERMINATE);
  EXPECT_FALSE(Dialog::IsItemChecked(window, IDC_CHECK));
  Dialog::CheckItem(window, IDC_CHECK, false);
  EXPECT_FALSE(Dialog::IsItemChecked(window, IDC_CHECK));

  const Dialog::ComboEntries entries = {{1, L"one"}, {2, L"two"}, {2, L"two again"}, {5, L"five"}};
  EXPECT_EQ(Dialog::FillCombo(window, IDC_COMBO, entries, 2), 4);
  EXPECT_EQ(SendDlgItemMessageW(window, IDC_COMBO, CB_GETCURSEL, 0, 0), 2);
  int selected = -7;
  EXPECT_TRUE(Dialog::GetComboSelection(window, IDC_COMBO, entries, selected));
  EXPECT_EQ(selected, 2);
  EXPECT_EQ(Dialog::FillCombo(window, IDC_COMBO, entries, 9), 4);
  EXPECT_EQ(SendDlgItemMessageW(window, IDC_COMBO, CB_GETCOUNT, 0, 0), 4);
  selected = -7;
  EXPECT_FALSE(Dialog::GetComboSelection(window, IDC_COMBO, entries, selected));
  EXPECT_EQ(selected, -7);
  SendDlgItemMessageW(window, IDC_COMBO, CB_SETCURSEL, 3, 0);
  EXPECT_TRUE(Dialog::GetComboSelection(window, IDC_COMBO, entries, selected));
  EXPECT_EQ(selected, 5);
  DestroyWindow(window);
}

std::wstring LastBoxMessage() {
  const std::vector<RecordedBox> boxes = RecordedErrors().Boxes();
  return boxes.empty() || boxes.back().messages.empty() ? L"" : boxes.back().messages.back();
}

TEST(DialogItems, FolderAndFileNameChecks) {
  TestDialog dialog;
  HWND window = dialog.Create(nullptr);
  const struct {
    const wchar_t* folder;
    bool valid;
    const wchar_t* message;
  } folders[] = {
      {L"C:\\Users\\Public\\Movies", true, L""},
      {L"C:\\Users/Public", false, L"Folder name can't contain any of the\nfollowing characters:\n*?<>|/"},
      {L"", false, L"Please specify a folder"},
  };
  for (const auto& c : folders) {
    RecordedErrors().Reset();
    Dialog::SetItemText(window, IDC_FOLDER, c.folder);
    EXPECT_EQ(Dialog::CheckFolderItem(window, IDC_FOLDER, false), c.valid) << c.folder;
    EXPECT_EQ(LastBoxMessage(), c.message) << c.folder;
  }
  // A disabled item passes whatever it holds.
  EnableWindow(GetDlgItem(window, IDC_FOLDER), FALSE);
  EXPECT_TRUE(Dialog::CheckFolderItem(window, IDC_FOLDER, false));
  EnableWindow(GetDlgItem(window, IDC_FOLDER), TRUE);

  // The last level is created; a missing parent is not.
  RemoveDirectoryW(L"made_by_check");
  Dialog::SetItemText(window, IDC_FOLDER, L"made_by_check");
  EXPECT_TRUE(Dialog::CheckFolderItem(window, IDC_FOLDER, true));
  EXPECT_NE(GetFileAttributesW(L"made_by_check"), INVALID_FILE_ATTRIBUTES);
  RecordedErrors().Reset();
  Dialog::SetItemText(window, IDC_FOLDER, L"no_such_parent\\child");
  EXPECT_FALSE(Dialog::CheckFolderItem(window, IDC_FOLDER, true));
  EXPECT_EQ(LastBoxMessage(), L"Can't create foler no_such_parent\\child\n");

  const struct {
    const wchar_t* name;
    bool valid;
  } names[] = {{L"movie.swf", true}, {L"c:movie", false}, {L"a\"b", false}, {L"", false}};
  for (const auto& c : names) {
    RecordedErrors().Reset();
    Dialog::SetItemText(window, IDC_FILE, c.name);
    EXPECT_EQ(Dialog::CheckFileNameItem(window, IDC_FILE), c.valid) << c.name;
    EXPECT_EQ(RecordedErrors().Boxes().size(), c.valid ? 0u : 1u) << c.name;
  }
  Dialog::SetItemText(window, IDC_FILE, L"a|b");
  Dialog::CheckFileNameItem(window, IDC_FILE);
  EXPECT_EQ(LastBoxMessage(), L"File name can't contain any of the\nfollowing characters:\n*?<>|/\\:\"");
  DestroyWindow(window);
}

}  // namespace
