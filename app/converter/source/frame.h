#pragma once
// The converter's main window: the current project and its copy as last loaded or saved, the File
// and Help menus with the recent projects, the tab pages, and one conversion at a time, whose
// graph events arrive here.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/converter/source/config.h"
#include "common/counted.h"
#include "common/window.h"
#include "media/filtergraph.h"

class Application;
class FlashBuilder;
class TabControl;

// A conversion runs exactly while a builder is held.
struct ConversionState {
  CountedPtr<FlashBuilder> builder;
  uint32_t start_time = 0;  // timeGetTime at the start, 0 when idle
};

// The recent-project list keeps at most this many entries when a project is opened or saved.
constexpr size_t kMaxRecentProjects = 8;

// Moves the path to the front of the list (exact comparison) and cuts the list to its limit.
void MoveToFront(std::vector<std::wstring>& recent, const std::wstring& path);

class Frame : public Window, public GraphObserver {
 public:
  // Creates and shows the window.
  explicit Frame(Application* owner);
  ~Frame() override;

  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnGraphEvent(long code, LONG_PTR param1, LONG_PTR param2) override;

  // An empty path asks for a file. Failures are shown and change nothing.
  bool OpenProject(const std::wstring& path);
  bool SaveProject(const std::wstring& path);
  void OnNew();
  void OnRecentProject(int id);
  // True when the window may close: no conversion runs and the user saved or dropped the changes.
  bool QueryClose();

  void UpdateTitle();
  // A page changed the project.
  void RefreshTitle() { UpdateTitle(); }
  void UpdateRecentMenu();

  // Validates a copy of the project and runs a FlashBuilder on it.
  void StartConversion();
  // Asks, then stops the running conversion.
  void AbortConversion();
  void StopConversion();
  // Checks and corrects a copy of the project before a conversion; shows what is wrong.
  bool ValidateProject(ProjectConfig& copy);

  const ConversionState& GetConversion() const { return conversion; }
  ProjectConfig* GetProject() { return &project; }
  const std::wstring& GetProjectPath() const { return project_path; }
  TabControl* GetTabs() const { return tabs.Get(); }

 private:
  void OnCreate();
  LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam);
  LRESULT OnClose(HWND window);
  // The session ends (WM_ENDSESSION with TRUE); the ENDSESSION_ flags of its lParam.
  void OnEndSession(LPARAM reason);
  void OnAbout();
  // The timer ticks while a builder is held.
  void UpdateTimer();
  std::vector<std::wstring>& RecentProjects();

  Application* application;
  ConversionState conversion;
  CountedPtr<TabControl> tabs;
  std::wstring project_path;
  ProjectConfig project;
  ProjectConfig saved_project;
};
