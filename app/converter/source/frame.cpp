#include "app/converter/source/frame.h"

#include <mmsystem.h>
#include <shlwapi.h>

#include <algorithm>

#include "app/converter/source/application.h"
#include "app/converter/source/choosers.h"
#include "app/converter/source/resource.h"
#include "app/converter/source/swfgen.h"
#include "app/converter/source/tabs.h"
#include "common/about.h"
#include "common/error.h"
#include "common/fileutil.h"
#include "common/format.h"
#include "common/loader.h"
#include "common/prompt.h"

namespace {

const wchar_t kClassName[] = L"Frame";
const wchar_t kProductName[] = L"Larkspan";
const wchar_t kUntitled[] = L"Untitled.xml";
const wchar_t kMovieExtension[] = L".swf";
const wchar_t kUnsafeFolderCharacters[] = L"*?<>|/";

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kTop = 100;
// Space between the window's client edge and the tab control.
constexpr int kTabMargin = 20;
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressIntervalMs = 1000;

// An input file the user named: shows why it cannot be used.
bool CheckInputFile(const std::wstring& path, const wchar_t* emptyMessage, const wchar_t* missingFormat) {
  if (path.empty()) {
    ShowError(emptyMessage);
    return false;
  }
  if (!PathFileExistsW(path.c_str())) {
    ShowError(missingFormat, path.c_str());
    return false;
  }
  return true;
}

const std::wstring& ProjectFilter() {
  static const std::wstring filter = MakeFilter({L"XML File(*.xml)", L"*.xml"});
  return filter;
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

void MoveToFront(std::vector<std::wstring>& recent, const std::wstring& path) {
  const std::wstring entry = path;  // the path may be one of the entries
  if (auto found = std::find(recent.begin(), recent.end(), entry); found != recent.end()) recent.erase(found);
  recent.insert(recent.begin(), entry);
  if (recent.size() > kMaxRecentProjects) recent.resize(kMaxRecentProjects);
}

Frame::Frame(Application* owner) : application(owner) {
  const HINSTANCE module = GetModuleHandleW(nullptr);
  // A second registration fails harmlessly.
  Window::RegisterClass(0, LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1),
                        kClassName, module, LoadIconW(module, MAKEINTRESOURCEW(IDI_LARKSPAN)),
                        MAKEINTRESOURCEW(IDR_MAIN_MENU));
  Create(0, kClassName, kProductName,
         WS_OVERLAPPED | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VISIBLE,
         (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2, kTop, kWidth, kHeight, nullptr, nullptr, module);
  UpdateTimer();
  if (tabs.IsValid()) tabs->RefreshPages(kRefreshState);
  UpdateTitle();
  UpdateRecentMenu();
}

Frame::~Frame() {
  if (GetHandle() && IsWindow(GetHandle())) DestroyWindow(GetHandle());
}

std::vector<std::wstring>& Frame::RecentProjects() { return application->GetConfig().recent_projects; }

LRESULT Frame::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_CLOSE:
      return OnClose(window);
    case WM_QUERYENDSESSION:
      // Logging off asks what closing asks; a critical shutdown asks nothing and cannot be refused.
      return (lParam & ENDSESSION_CRITICAL) || QueryClose() ? TRUE : FALSE;
    case WM_ENDSESSION:
      if (wParam) OnEndSession(lParam);
      return 0;
    case WM_COMMAND:
      return OnCommand(window, wParam, lParam);
    case WM_TIMER:
      if (conversion.builder.IsValid() && tabs.IsValid()) tabs->RefreshPages(kRefreshTick);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void Frame::OnCreate() {
  Rect area = GetClientRect();
  area.left += kTabMargin;
  area.top += kTabMargin;
  area.width -= 2 * kTabMargin;
  area.height -= 2 * kTabMargin;
  tabs = CountedPtr<TabControl>(new TabControl(this, area));

  // The window keeps its size where the pages fit; with a wider dialog font (Wine's Tahoma, a large
  // font on Windows) it grows with its tab control until the largest page shows whole.
  const SIZE needed = tabs->GetNeededSize();
  const int growWidth = std::max(0, static_cast<int>(needed.cx) - area.width);
  const int growHeight = std::max(0, static_cast<int>(needed.cy) - area.height);
  if (growWidth == 0 && growHeight == 0) return;
  const Rect window = GetWindowRectOnScreen(GetHandle());
  const int width = window.width + growWidth;
  SetWindowPos(GetHandle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2, kTop, width,
               window.height + growHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  area.width += growWidth;
  area.height += growHeight;
  tabs->Place(area);
}

LRESULT Frame::OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  switch (id) {
    case ID_HELP_ABOUT:
      OnAbout();
      return 0;
    case ID_FILE_EXIT:
      PostMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case ID_FILE_NEW:
      OnNew();
      return 0;
    case ID_FILE_OPEN:
      OpenProject(std::wstring());
      return 0;
    case ID_FILE_SAVE:
      SaveProject(project_path);
      return 0;
    case ID_FILE_SAVE_AS:
      SaveProject(std::wstring());
      return 0;
    default:
      if (id >= ID_RECENT_FIRST && id <= ID_RECENT_LAST) {
        OnRecentProject(id);
        return 0;
      }
      return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
  }
}

LRESULT Frame::OnClose(HWND window) { return QueryClose() ? DefWindowProcW(window, WM_CLOSE, 0, 0) : 0; }

void Frame::OnEndSession(LPARAM reason) {
  // The process may end once this returns, without its exit: the settings are written first, since
  // stopping the run can wait on the streaming thread; the run then stops as on Abort.
  application->SaveSettings();
  if (conversion.builder.IsValid()) StopConversion();
  // The restart manager closing the program to update it expects it gone; its WM_CLOSE would ask
  // again what the session's end asked.
  if (reason & ENDSESSION_CLOSEAPP) DestroyWindow(GetHandle());
}

void Frame::OnAbout() {
  AboutDialog about(ConverterAboutContent());
  about.DoModal(GetHandle());
}

void Frame::UpdateTitle() {
  std::wstring title = std::wstring(kProductName) + L" - " + (project_path.empty() ? kUntitled : project_path);
  if (!(project == saved_project)) title += L"*";
  SetWindowTextW(GetHandle(), title.c_str());
}

void Frame::UpdateRecentMenu() {
  HMENU file = GetSubMenu(GetMenu(GetHandle()), 0);
  if (!file) return;
  const int count = GetMenuItemCount(file);
  int lower = -1;
  int upper = -1;
  for (int position = count - 1; position >= 0; --position) {
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE;
    if (!GetMenuItemInfoW(file, static_cast<UINT>(position), TRUE, &item) || !(item.fType & MFT_SEPARATOR)) continue;
    if (lower < 0) {
      lower = position;
    } else {
      upper = position;
      break;
    }
  }
  if (upper < 0) return;
  for (int i = upper + 1; i < lower; ++i) DeleteMenu(file, static_cast<UINT>(upper + 1), MF_BYPOSITION);

  const std::vector<std::wstring>& recent = RecentProjects();
  for (size_t i = 0; i < recent.size(); ++i) {
    std::wstring text = Format(L"&%d - ", static_cast<int>(i)) + recent[i];
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE;
    item.wID = static_cast<UINT>(ID_RECENT_FIRST + i);
    item.fState = recent[i] == project_path ? MFS_CHECKED : MFS_UNCHECKED;
    item.dwTypeData = text.data();
    InsertMenuItemW(file, static_cast<UINT>(upper + 1 + static_cast<int>(i)), TRUE, &item);
  }
}

void Frame::OnNew() {
  project_path.clear();
  project.Assign(ProjectConfig());
  saved_project.Assign(project);
  UpdateTitle();
  if (tabs.IsValid()) tabs->ReloadPages();
  UpdateRecentMenu();
}

bool Frame::OpenProject(const std::wstring& requested) {
  std::wstring path = requested;
  if (path.empty() &&
      !ChooseFile(GetHandle(), ProjectFilter(), OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, L"xml", false, path)) {
    return false;
  }
  if (!PathFileExistsW(path.c_str())) {
    ShowError(L"Project file %s doesn't exist", path.c_str());
    return false;
  }
  // A file that does not load must not become the current project: the next Save would
  // overwrite it.
  ProjectConfig loaded;
  loaded.Assign(project);
  XmlLoader loader(path);
  if (!loader.Load(loaded)) {
    ShowError(L"");
    return false;
  }
  project.Assign(loaded);
  saved_project.Assign(project);
  project_path = path;
  MoveToFront(RecentProjects(), path);
  UpdateRecentMenu();
  UpdateTitle();
  if (tabs.IsValid()) tabs->ReloadPages();
  return true;
}

bool Frame::SaveProject(const std::wstring& requested) {
  std::wstring path = requested;
  if (path.empty() && !ChooseFile(GetHandle(), ProjectFilter(), OFN_OVERWRITEPROMPT, L"xml", true, path)) {
    return false;
  }
  XmlLoader loader(path);
  if (!loader.Save(project)) {
    ShowError(L"");
    return false;
  }
  saved_project.Assign(project);
  project_path = path;
  MoveToFront(RecentProjects(), path);
  UpdateRecentMenu();
  UpdateTitle();
  return true;
}

void Frame::OnRecentProject(int id) {
  const size_t index = static_cast<size_t>(id - ID_RECENT_FIRST);
  const std::vector<std::wstring>& recent = RecentProjects();
  // A copy: opening moves the entries.
  if (index < recent.size()) OpenProject(std::wstring(recent[index]));
}

bool Frame::QueryClose() {
  if (conversion.builder.IsValid()) {
    Prompt(GetHandle(), L"Conversion is in progress. Abort it first.", kProductName, MB_ICONINFORMATION);
    return false;
  }
  if (project == saved_project) return true;
  const std::wstring question = L"Save changes to " + (project_path.empty() ? kUntitled : project_path) + L"?";
  switch (Prompt(GetHandle(), question.c_str(), L"Project not saved", MB_ICONINFORMATION | MB_YESNOCANCEL)) {
    case IDYES:
      return SaveProject(project_path);
    case IDNO:
      return true;
    default:
      return false;
  }
}

bool Frame::ValidateProject(ProjectConfig& copy) {
  VideoConfig& video = copy.video_config;
  AudioConfig& audio = copy.audio_config;
  PublishConfig& publish = copy.publish_config;
  if (!CheckInputFile(video.video_file, L"Please specify a movie file", L"Movie file %s doesn't exist")) {
    return false;
  }
  std::vector<std::pair<int, std::wstring>> formats;
  GetFormatList(formats);
  if (std::none_of(formats.begin(), formats.end(), [&](const auto& entry) { return entry.first == video.format; })) {
    video.format = kFormatVp6;
  }
  video.bitrate = std::max(video.bitrate, 0);
  video.key_frame_interval = std::max(video.key_frame_interval, 1);
  video.quality = std::clamp(video.quality, kQualityMin, kQualityMax);
  if (audio.audio_type == kAudioFromFile &&
      !CheckInputFile(audio.audio_file, L"Please specify an audio file", L"Audio file %s doesn't exist")) {
    return false;
  }
  if (publish.save_dir.empty()) {
    ShowError(L"Please specify an output directory");
    return false;
  }
  if (!PathFileExistsW(publish.save_dir.c_str()) && !CreateDirectoryW(publish.save_dir.c_str(), nullptr)) {
    if (publish.save_dir.find_first_of(kUnsafeFolderCharacters) != std::wstring::npos) {
      ShowError(L"Directory name can't contain any of the\nfollowing characters:\n%s", kUnsafeFolderCharacters);
    } else {
      ShowError(L"Failed to create output directory %s", publish.save_dir.c_str());
    }
    return false;
  }
  // Full against the folder of the Start: the run writes and removes its files later, after a file
  // chooser may have moved the current folder. The output path adds the backslash.
  std::wstring fullFolder = GetFullPath(publish.save_dir.c_str());
  while (!fullFolder.empty() && fullFolder.back() == L'\\') fullFolder.pop_back();
  if (!fullFolder.empty()) publish.save_dir = fullFolder;
  if (publish.save_name.empty()) {
    ShowError(L"Please specify an output file name");
    return false;
  }
  if (!EndsWith(publish.save_name, kMovieExtension)) publish.save_name += kMovieExtension;
  const std::wstring output = GetOutputPaths(publish).movie;
  // The prompt below deletes the output: never what the run reads, nor the program's control movie
  // (whose page, named after the movie, would also replace the page template beside it).
  std::vector<std::wstring> needed = {video.video_file, GetModuleFolder(nullptr) + L"\\control.swf"};
  if (audio.audio_type == kAudioFromFile) needed.push_back(audio.audio_file);
  for (const std::wstring& file : needed) {
    if (IsSameFile(output.c_str(), file.c_str())) {
      ShowError(L"The movie can't be written to %s: the conversion or the program needs that file", output.c_str());
      return false;
    }
  }
  if (PathFileExistsW(output.c_str())) {
    const std::wstring question = L"File " + output + L" exists, overwrite?";
    if (Prompt(GetHandle(), question.c_str(), L"Warning", MB_OKCANCEL) != IDOK) return false;
    if (!DeleteMovie(output)) {
      ShowError(L"Failed to delete file %s", output.c_str());
      return false;
    }
  }
  return true;
}

void Frame::StartConversion() {
  if (conversion.builder.IsValid()) {
    ShowError(L"Not ready to start conversion");
    return;
  }
  ProjectConfig copy;
  copy.Assign(project);
  if (!ValidateProject(copy)) return;
  // A builder that fails to build or run goes with this pointer.
  CountedPtr<FlashBuilder> builder(new FlashBuilder(this, copy));
  if (builder->Build() != 0) {
    ShowError(L"Failed to convert media file to flash");
    return;
  }
  if (!builder->Run()) {
    ShowError(L"Failed to convert file to flash");
    return;
  }
  // A box above (the overwrite question, an error of the build) may have outlived the window: the
  // session's end destroys it. The run goes with the builder.
  if (!IsWindow(GetHandle())) return;
  conversion.builder = builder;
  conversion.start_time = timeGetTime();
  UpdateTimer();
  if (tabs.IsValid()) tabs->RefreshPages(kRefreshState);
}

void Frame::AbortConversion() {
  if (!conversion.builder.IsValid()) {
    ShowError(L"Not ready to abort conversion");
    return;
  }
  if (Prompt(GetHandle(), L"Abort generation?", L"Generation", MB_ICONINFORMATION | MB_YESNO) == IDYES) {
    StopConversion();
  }
}

void Frame::StopConversion() {
  if (conversion.builder.IsValid()) {
    conversion.builder->Stop();
    conversion.builder = CountedPtr<FlashBuilder>();
  }
  conversion.start_time = 0;
  UpdateTimer();
  if (tabs.IsValid()) tabs->RefreshPages(kRefreshState);
}

void Frame::UpdateTimer() {
  if (conversion.builder.IsValid()) {
    SetTimer(GetHandle(), kProgressTimer, kProgressIntervalMs, nullptr);
  } else {
    KillTimer(GetHandle(), kProgressTimer);
  }
}

void Frame::OnGraphEvent(long code, LONG_PTR, LONG_PTR) {
  const RunEvent event = ClassifyGraphEvent(code);
  if (event == RunEvent::kIgnore || !conversion.builder.IsValid()) return;
  const RunOutcome outcome = conversion.builder->EndRun(event);
  // This releases the builder inside its own event dispatch, which learns of it and stops; nothing
  // of the builder is touched after this line.
  StopConversion();
  if (outcome.succeeded) {
    // A movie cut at the limits is kept; the user learns where it ends.
    if (!outcome.note.empty()) ShowWarning(L"%s", outcome.note.c_str());
    // The session's end may have destroyed the window while the warning was up.
    if (IsWindow(GetHandle())) Prompt(GetHandle(), L"All tasks done!", kProductName, MB_OK);
  } else {
    if (!outcome.note.empty()) ReportError(L"%s", outcome.note.c_str());
    if (!outcome.kept.empty()) ReportError(L"%s", outcome.kept.c_str());
    ShowError(L"Failed to convert file to flash");
  }
}
