#include "app/velto/source/dialogs.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "app/velto/source/resource.h"
#include "common/window.h"
#include "tests/app/velto/codec.h"
#include "tests/support/dialog_driver.h"

namespace {

int TrackPos(HWND dialog) { return static_cast<int>(SendDlgItemMessageW(dialog, IDC_LEVEL, TBM_GETPOS, 0, 0)); }

TEST(ConfigDialog, DefaultThenCancelLeavesTheLevelAndOkStoresIt) {
  Codec codec;
  codec.SetLevel(4);
  int shown = 0;
  int afterDefault = 0;
  DialogDriver cancel(L"Configure", [&](HWND dialog) {
    shown = TrackPos(dialog);
    SendDlgItemMessageW(dialog, IDC_LEVEL, TBM_SETPOS, TRUE, 2);
    ClickDialogButton(dialog, IDC_DEFAULT);
    afterDefault = TrackPos(dialog);
    ClickDialogButton(dialog, IDCANCEL);
  });
  EXPECT_EQ(codec.Send(DRV_CONFIGURE), 1);
  ASSERT_TRUE(cancel.Wait());
  EXPECT_EQ(shown, 4);
  EXPECT_EQ(afterDefault, 6);
  EXPECT_EQ(codec.Level(), 4);

  DialogDriver ok(L"Configure", [](HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_LEVEL, TBM_SETPOS, TRUE, 8);
    ClickDialogButton(dialog, IDOK);
  });
  EXPECT_EQ(codec.Send(ICM_CONFIGURE), 1);
  ASSERT_TRUE(ok.Wait());
  EXPECT_EQ(codec.Level(), 8);

  EXPECT_EQ(ConfigDialog(0).Level(), 1);
  EXPECT_EQ(ConfigDialog(12).Level(), 9);
}

// Records the link instead of starting a browser.
class RecordingAbout : public AboutDialog {
 public:
  using AboutDialog::AboutDialog;
  std::wstring opened;

 protected:
  void OpenLink(const std::wstring& address) override { opened = address; }
};

TEST(AboutBox, FitsTheTextsAndGrowsOnly) {
  RecordingAbout about(CodecAboutContent());
  HWND window = about.Create(nullptr);
  ASSERT_TRUE(window);
  EXPECT_EQ(GetWindowTextString(GetDlgItem(window, IDC_ABOUT_PRODUCT)), L"Quillory Codec Version 1.0");
  EXPECT_EQ(GetWindowTextString(GetDlgItem(window, IDC_ABOUT_LINK)), L"http://www.tellovane.example/");
  const Rect link = GetWindowRectInParent(GetDlgItem(window, IDC_ABOUT_LINK));
  EXPECT_GT(link.width, 8);
  // The OK button is centred in the client area.
  const Rect ok = GetWindowRectInParent(GetDlgItem(window, IDOK));
  EXPECT_LE(std::abs(ok.left * 2 + ok.width - GetClientRectOf(window).width), 1);
  const int normalWidth = GetWindowRectOnScreen(window).width;
  DestroyWindow(window);

  AboutBoxContent wide = CodecAboutContent();
  wide.texts[1].text = std::wstring(120, L'W');
  RecordingAbout wider(wide);
  window = wider.Create(nullptr);
  ASSERT_TRUE(window);
  const Rect box = GetWindowRectOnScreen(window);
  const Rect line = GetWindowRectOnScreen(GetDlgItem(window, IDC_ABOUT_COPYRIGHT));
  const int frame = box.width - GetClientRectOf(window).width;
  EXPECT_GT(box.width, normalWidth);
  EXPECT_EQ(box.left + box.width, line.left + line.width + frame / 2 + 20);
  DestroyWindow(window);
}

TEST(AboutBox, LinkCursorColourAndClick) {
  RecordingAbout about(CodecAboutContent());
  HWND window = about.Create(nullptr);
  ASSERT_TRUE(window);
  HWND link = GetDlgItem(window, IDC_ABOUT_LINK);
  HWND product = GetDlgItem(window, IDC_ABOUT_PRODUCT);

  EXPECT_EQ(SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), HTCLIENT), 1);
  EXPECT_EQ(SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(product), HTCLIENT), 0);

  HDC dc = CreateCompatibleDC(nullptr);
  const LRESULT brush = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), P(link));
  EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  HGDIOBJ font = GetCurrentObject(dc, OBJ_FONT);
  LOGFONTW description = {};
  ASSERT_EQ(GetObjectW(font, sizeof(description), &description), static_cast<int>(sizeof(description)));
  EXPECT_TRUE(description.lfUnderline);
  // One link font per dialog, not one per paint.
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), P(link));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), font);
  // Other statics keep the system's colours.
  SetTextColor(dc, RGB(0, 0, 0));
  EXPECT_NE(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), P(product)), brush);
  EXPECT_NE(GetTextColor(dc), RGB(0, 0, 255));
  DeleteDC(dc);

  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_LINK, STN_DBLCLK), P(link));
  EXPECT_EQ(about.opened, L"");
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_LINK, STN_CLICKED), P(link));
  EXPECT_EQ(about.opened, L"http://www.tellovane.example/");
  DestroyWindow(window);
}

TEST(AboutBox, ShownByTheDriver) {
  Codec codec;
  std::wstring product;
  DialogDriver driver(L"About", [&](HWND dialog) {
    product = GetWindowTextString(GetDlgItem(dialog, IDC_ABOUT_PRODUCT));
    ClickDialogButton(dialog, IDOK);
  });
  EXPECT_EQ(codec.Send(ICM_ABOUT, 0, 0), ICERR_OK);
  ASSERT_TRUE(driver.Wait());
  EXPECT_EQ(product, L"Quillory Codec Version 1.0");
}

}  // namespace
