#pragma once
// The main window's tab control with its three pages, Video, Audio and Publish. Each page is a
// modeless child dialog that edits the Frame's current project in place: every edit is stored at
// once and retitles the Frame. The Publish page also starts and aborts a conversion and shows its
// progress.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/converter/source/config.h"
#include "common/counted.h"
#include "common/dialog.h"
#include "common/imagelist.h"
#include "common/window.h"

class Frame;
class TabControl;
struct ConversionState;

// What TabDialog::Refresh is told.
constexpr int kRefreshState = 1;  // a conversion started or stopped
constexpr int kRefreshTick = 2;   // a timer tick while converting

class TabDialog : public Dialog {
 public:
  TabDialog(WORD templateId, TabControl* tabs, ProjectConfig* project);

  virtual void Refresh(int flags);
  // Shows the project again (after New or Open).
  virtual void Reload();

 protected:
  TabControl* tabs;
  ProjectConfig* project;
};

class VideoDialog : public TabDialog {
 public:
  VideoDialog(TabControl* tabs, ProjectConfig* project);

  INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  void DataToControls(HWND dialog) override;
  void UpdateControls(HWND dialog) override;

 private:
  Dialog::ComboEntries formats_;
};

class AudioDialog : public TabDialog {
 public:
  AudioDialog(TabControl* tabs, ProjectConfig* project);

  INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  void DataToControls(HWND dialog) override;
  void UpdateControls(HWND dialog) override;
};

class PublishDialog : public TabDialog {
 public:
  PublishDialog(TabControl* tabs, ProjectConfig* project);

  INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  void DataToControls(HWND dialog) override;
  void Refresh(int flags) override;
};

class TabControl : public Window, public WindowHandler<TabControl> {
 public:
  // The rectangle is in the Frame's client coordinates.
  TabControl(Frame* frame, const Rect& rect);
  ~TabControl() override;

  // Each returns or works on every page in tab order.
  int RefreshPages(int flags);
  void ReloadPages();

  void NotifyProjectChanged();
  Frame* GetFrame() const { return frame; }
  const ConversionState& GetConversion() const;

  // The tab control's size that shows its largest page whole: the pages' templates are in dialog
  // units, so a wider dialog font than the window was laid out for makes them outgrow it.
  SIZE GetNeededSize() const;
  // Moves the tab control (in the Frame's client coordinates) and fits its pages to it again.
  void Place(const Rect& rect);

  int GetPageCount() const { return static_cast<int>(pages.size()); }
  TabDialog* GetPage(int index) const { return pages[static_cast<size_t>(index)].Get(); }
  PublishDialog* GetPublishPage() const { return publish_page.Get(); }
  const ImageList& GetImages() const { return images; }

 private:
  void AddPage(const CountedPtr<TabDialog>& page, const wchar_t* title);
  // The page fills the display area, from 2 pixels left of it, flush with the border.
  void PlacePage(TabDialog& page);
  // The Frame's messages, before its own procedure sees them.
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnNotify(HWND window, WPARAM wParam, NMHDR* header);
  // Asks the current page whether it may be left; non-zero keeps it.
  LRESULT OnSelChanging();
  // The selected page on top and shown with its selected icon, the others hidden.
  void UpdatePages();

  Frame* frame;
  ImageList images;
  CountedPtr<PublishDialog> publish_page;
  std::vector<CountedPtr<TabDialog>> pages;
  std::unique_ptr<SubClass> subclass;
  std::vector<std::pair<int, int>> icons;  // (selected, not selected) image of each page
  SIZE largest_page = {0, 0};  // of the pages' sizes as their templates made them
};

// The Video page's bitrate choices: "Auto" (0), then 50 to 1000 kbps.
const Dialog::ComboEntries& BitrateList();
// The list's text of a value, else the value followed by " kbps".
std::wstring BitrateLabel(int bitrate);
// A list text gives its value ("Auto" gives 0); else the leading number of the first word, with
// or without "kbps" run together with it; 0 when there is none.
int ParseBitrate(const std::wstring& text);
std::wstring FormatInt(int value, const wchar_t* format = L"%d");
// The time a conversion still needs at `percent` done after `elapsedMs`, as "[h:]mm:ss"; "00:00"
// while the progress says nothing yet (1 % or less).
std::wstring TimeLeftText(uint32_t elapsedMs, int32_t percent);
