#pragma once
// The About box of the suite's programs: a few static texts that the box fits to their measured
// size, widening itself when a text needs it, and one of them a link that shows the hand cursor,
// is drawn blue and underlined, and opens its address when clicked. Each program supplies its
// template, control ids and texts.

#include <windows.h>

#include <string>
#include <vector>

#include "common/dialog.h"
#include "common/handle.h"

struct AboutText {
  int id;
  std::wstring text;
};

struct AboutBoxContent {
  WORD templateId = 0;
  HINSTANCE module = nullptr;
  // Fitted and set in this order; the link is one of them.
  std::vector<AboutText> texts;
  int linkId = 0;
  std::wstring linkAddress;
  // The converter's box sits centred over its owner; the codec's stays where the system puts it.
  bool centreOverOwner = false;
};

class AboutDialog : public Dialog {
 public:
  explicit AboutDialog(AboutBoxContent content);

  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) override;

  const AboutBoxContent& Content() const { return content_; }

 protected:
  // Opens the address maximised in the user's browser.
  virtual void OpenLink(const std::wstring& address);

 private:
  // Blue, underlined, transparent: the colours of the link control.
  INT_PTR LinkColor(HWND dialog, HDC dc, HWND control);

  AboutBoxContent content_;
  // Made from the link's font once per dialog and freed with it.
  HandleGuard<HGDIOBJ, decltype(&DeleteObject)> linkFont_{DeleteObject, nullptr};
};
