#include "app/drovel/source/msgbox.h"

#include <algorithm>
#include <utility>

#include "app/drovel/source/resource.h"
#include "common/bitmap.h"

namespace {

// Margins around the text and the button, in pixels.
constexpr int kTextTop = 12;
constexpr int kGapBelowText = 12;
constexpr int kSideMargins = 30;
constexpr int kVerticalMargins = 36;
constexpr int kBoxTop = 50;

// The size the text takes in the control's own font.
SIZE MeasureText(HWND control, const std::wstring& text) {
  RECT bounds = {};
  const WindowDC dc(control);
  if (dc.GetHandle()) {
    const ObjectSelector font(dc.GetHandle(), reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)), false);
    DrawTextW(dc.GetHandle(), text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_NOPREFIX);
  }
  return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

}  // namespace

MsgBox::MsgBox(std::wstring title, std::wstring text, HINSTANCE module)
    : Dialog(IDD_MESSAGE, module), title_(std::move(title)), text_(std::move(text)) {}

INT_PTR MsgBox::OnInitDialog(HWND dialog, WPARAM, LPARAM) {
  SetWindowTextW(dialog, L"drovel");
  HWND textControl = GetDlgItem(dialog, IDC_MESSAGE_TEXT);
  HWND button = GetDlgItem(dialog, IDOK);
  SetWindowTextW(textControl, text_.c_str());
  SetWindowLongPtrW(textControl, GWL_STYLE, GetWindowLongPtrW(textControl, GWL_STYLE) | SS_EDITCONTROL);

  const SIZE textSize = MeasureText(textControl, text_);
  const Rect buttonRect = GetWindowRectOnScreen(button);
  const Rect box = GetWindowRectOnScreen(dialog);
  const Rect client = GetClientRectOf(dialog);
  const int frameWidth = box.width - client.width;
  const int frameHeight = box.height - client.height;

  const int width = std::max<int>(textSize.cx, buttonRect.width) + frameWidth + kSideMargins;
  const int height = buttonRect.height + textSize.cy + frameHeight + kVerticalMargins;
  MoveWindow(dialog, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, kBoxTop, width, height, TRUE);

  const int clientWidth = GetClientRectOf(dialog).width;
  MoveWindow(textControl, (clientWidth - textSize.cx) / 2, kTextTop, textSize.cx, textSize.cy, TRUE);
  MoveWindow(button, (clientWidth - buttonRect.width) / 2, textSize.cy + kTextTop + kGapBelowText, buttonRect.width,
             buttonRect.height, TRUE);
  return TRUE;
}
