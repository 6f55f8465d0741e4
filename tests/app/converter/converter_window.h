#pragma once
// The converter's main window in a test: an Application that was never started, a Frame made
// for it, the scripted user, and ways to reach the pages' controls.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/converter/source/application.h"
#include "app/converter/source/frame.h"
#include "app/converter/source/resource.h"
#include "app/converter/source/tabs.h"
#include "tests/app/converter/scripted_user.h"

enum Page { kVideoPage = 0, kAudioPage = 1, kPublishPage = 2 };

class ConverterWindow : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Makes the Frame; a test may fill the settings first.
  void Open();

  HWND FrameWindow() const { return frame->GetHandle(); }
  HWND PageWindow(Page page) const { return frame->GetTabs()->GetPage(page)->GetHandle(); }
  HWND Control(Page page, int id) const { return GetDlgItem(PageWindow(page), id); }
  std::wstring Title() const;
  ProjectConfig& Project() { return *frame->GetProject(); }
  // Sets an edit box's text; the control notifies its page as when the user types.
  void Type(Page page, int id, const std::wstring& text);
  // A notification from a control to its page, as the control sends it.
  void Notify(Page page, int id, int code);
  void Click(Page page, int id) { Notify(page, id, BN_CLICKED); }
  void Command(int id);
  static std::wstring CurrentFolder();
  // The full path of a file in the current folder, the test's working folder unless a test moved it.
  static std::wstring WorkPath(const std::wstring& name);
  // The texts of the boxes the error stack showed, each box's lines joined by '\n'.
  static std::vector<std::wstring> ErrorBoxes();

  Application application;
  CountedPtr<Frame> frame;
  ScriptedUser user;

 private:
  // A test may move the current folder, as the file choosers do; the next one starts here again.
  std::wstring startFolder;
};
