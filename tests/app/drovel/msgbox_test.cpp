#include "app/drovel/source/msgbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "app/drovel/source/command.h"
#include "app/drovel/source/resource.h"
#include "common/strutil.h"
#include "common/window.h"

namespace {

bool Centred(const Rect& inner, int outerWidth) { return std::abs(inner.left * 2 + inner.width - outerWidth) <= 1; }

// Modeless, so that no box can outlive a failed check; the tool's modal run is driven end to end.
void CheckLayout(const std::wstring& text, int lines) {
  MsgBox box(L"Usage", text);
  HWND dialog = box.Create(nullptr);
  ASSERT_TRUE(dialog);
  EXPECT_EQ(GetWindowTextString(dialog), L"drovel");
  HWND control = GetDlgItem(dialog, IDC_MESSAGE_TEXT);
  EXPECT_EQ(GetWindowTextString(control), text);
  EXPECT_TRUE(GetWindowLongPtrW(control, GWL_STYLE) & SS_EDITCONTROL);

  // Every line fits unwrapped in the control's own font.
  HDC dc = GetDC(control);
  HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
  TEXTMETRICW font = {};
  GetTextMetricsW(dc, &font);
  LONG longest = 0;
  for (const std::wstring& line : SplitTokens(text, L"\n")) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, line.c_str(), static_cast<int>(line.size()), &size);
    longest = std::max(longest, size.cx);
  }
  SelectObject(dc, previous);
  ReleaseDC(control, dc);
  const Rect textRect = GetWindowRectInParent(control);
  EXPECT_GE(textRect.width, longest);
  EXPECT_EQ(textRect.height, lines * font.tmHeight);

  const Rect frame = GetWindowRectOnScreen(dialog);
  const Rect client = GetClientRectOf(dialog);
  const Rect button = GetWindowRectInParent(GetDlgItem(dialog, IDOK));
  EXPECT_EQ(textRect.top, 12);
  EXPECT_EQ(button.top, textRect.height + 24);
  EXPECT_EQ(client.width, std::max(textRect.width, button.width) + 30);
  EXPECT_EQ(client.height, button.height + textRect.height + 36);
  EXPECT_TRUE(Centred(textRect, client.width));
  EXPECT_TRUE(Centred(button, client.width));
  EXPECT_EQ(frame.top, 50);
  EXPECT_TRUE(Centred(frame, GetSystemMetrics(SM_CXSCREEN)));
  DestroyWindow(dialog);
}

TEST(MsgBox, FitsItsTextAndCentresItsParts) {
  CommandTable table;
  table.Build();
  // The blank line counts; the caption is the tool's name whatever the title.
  CheckLayout(table.UsageText(), 11);
  // A text narrower than the button.
  CheckLayout(L"x", 1);
}

}  // namespace
