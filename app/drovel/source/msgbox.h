#pragma once
// The tool's message dialog: one text in a fixed-pitch font, the box fitted around it and centred
// across the screen near its top.

#include <windows.h>

#include <string>

#include "common/dialog.h"

class MsgBox : public Dialog {
 public:
  // The caption is always the tool's name; the title names the message for the caller only.
  MsgBox(std::wstring title, std::wstring text, HINSTANCE module = nullptr);

  const std::wstring& Title() const { return title_; }
  const std::wstring& Text() const { return text_; }

  INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) override;

 private:
  std::wstring title_;
  std::wstring text_;
};
