#include "tests/app/converter/converter_window.h"

#include "common/window.h"
#include "tests/support/errors.h"

void ConverterWindow::SetUp() { startFolder = CurrentFolder(); }

void ConverterWindow::Open() {
  frame = CountedPtr<Frame>(new Frame(&application));
  ASSERT_TRUE(IsWindow(FrameWindow()));
  ASSERT_NE(frame->GetTabs(), nullptr);
}

void ConverterWindow::TearDown() {
  frame = CountedPtr<Frame>();
  // The destroyed Frame posted the quit message that would end a message loop.
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  SetCurrentDirectoryW(startFolder.c_str());
}

std::wstring ConverterWindow::Title() const { return GetWindowTextString(FrameWindow()); }

void ConverterWindow::Type(Page page, int id, const std::wstring& text) {
  ASSERT_TRUE(SetDlgItemTextW(PageWindow(page), id, text.c_str()));
}

void ConverterWindow::Notify(Page page, int id, int code) {
  SendMessageW(PageWindow(page), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Control(page, id)));
}

void ConverterWindow::Command(int id) { SendMessageW(FrameWindow(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

std::wstring ConverterWindow::CurrentFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

std::wstring ConverterWindow::WorkPath(const std::wstring& name) { return CurrentFolder() + L"\\" + name; }

std::vector<std::wstring> ConverterWindow::ErrorBoxes() {
  std::vector<std::wstring> texts;
  for (const RecordedBox& box : RecordedErrors().Boxes()) {
    std::wstring text;
    for (const std::wstring& line : box.messages) text += (text.empty() ? L"" : L"\n") + line;
    texts.push_back(text);
  }
  return texts;
}
