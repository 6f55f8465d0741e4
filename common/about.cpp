#include "common/about.h"

#include <shellapi.h>

#include <algorithm>
#include <climits>

#include "common/bitmap.h"

namespace {

// Space kept right of the longest text, besides half the frame.
constexpr int kRightMargin = 20;

}  // namespace

AboutDialog::AboutDialog(AboutBoxContent content)
    : Dialog(content.templateId, content.module), content_(std::move(content)) {}

INT_PTR AboutDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(wParam) != GetDlgItem(dialog, content_.linkId)) return 0;
      SetCursor(LoadCursorW(nullptr, IDC_HAND));
      SetMessageResult(dialog, 1);
      return 1;
    case WM_CTLCOLORSTATIC:
      return LinkColor(dialog, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DESTROY:
      linkFont_.Reset(nullptr);
      return 0;
    default:
      return Dialog::DialogProc(dialog, message, wParam, lParam);
  }
}

INT_PTR AboutDialog::OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != content_.linkId) return Dialog::OnCommand(dialog, wParam, lParam);
  if (HIWORD(wParam) == STN_CLICKED) OpenLink(content_.linkAddress);
  return 1;
}

void AboutDialog::OpenLink(const std::wstring& address) {
  ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}

INT_PTR AboutDialog::LinkColor(HWND dialog, HDC dc, HWND control) {
  if (!control || control != GetDlgItem(dialog, content_.linkId)) return 0;
  if (!linkFont_.Get()) {
    HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0));
    if (!font) font = GetCurrentObject(dc, OBJ_FONT);
    LOGFONTW description = {};
    if (GetObjectW(font, sizeof(description), &description) == sizeof(description)) {
      description.lfUnderline = TRUE;
      linkFont_.Reset(CreateFontIndirectW(&description));
    }
  }
  if (linkFont_.Get()) SelectObject(dc, linkFont_.Get());
  SetTextColor(dc, RGB(0, 0, 255));
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
}

INT_PTR AboutDialog::OnInitDialog(HWND dialog, WPARAM, LPARAM) {
  int rightmost = INT_MIN;
  {
    WindowDC dc(dialog);
    for (const AboutText& item : content_.texts) {
      HWND control = GetDlgItem(dialog, item.id);
      if (!control) continue;
      SIZE size = {};
      {
        const ObjectSelector font(dc.GetHandle(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)),
                                  false);
        GetTextExtentPoint32W(dc.GetHandle(), item.text.c_str(), static_cast<int>(item.text.size()), &size);
      }
      rightmost = std::max(rightmost, static_cast<int>(GetWindowRectOnScreen(control).left + size.cx));
      const Rect place = GetWindowRectInParent(control);
      MoveWindow(control, place.left, place.top, size.cx, size.cy, FALSE);
      SetWindowTextW(control, item.text.c_str());
    }
  }
  const Rect box = GetWindowRectOnScreen(dialog);
  const int frame = box.width - GetClientRectOf(dialog).width;
  const int wantedRight = rightmost == INT_MIN ? INT_MIN : rightmost + frame / 2 + kRightMargin;
  // The box only ever grows.
  if (box.left + box.width < wantedRight) MoveWindow(dialog, box.left, box.top, wantedRight - box.left, box.height, TRUE);

  if (HWND ok = GetDlgItem(dialog, IDOK)) {
    const Rect button = GetWindowRectInParent(ok);
    const int left = (GetClientRectOf(dialog).width - button.width) / 2;
    MoveWindow(ok, left, button.top, button.width, button.height, TRUE);
  }

  if (HWND owner = GetParent(dialog); content_.centreOverOwner && owner) {
    const Rect over = GetWindowRectInParent(owner);
    const Rect self = GetWindowRectInParent(dialog);
    MoveWindow(dialog, over.left + (over.width - self.width) / 2, over.top + (over.height - self.height) / 2,
               self.width, self.height, TRUE);
  }
  return TRUE;
}
