#include "app/converter/source/application.h"

#include <shlwapi.h>

#include "app/converter/source/frame.h"
#include "app/converter/source/resource.h"
#include "common/error.h"
#include "common/fileutil.h"
#include "common/strutil.h"
#include "common/window.h"

const wchar_t kSettingsKey[] = L"Software\\Tellovane\\Larkspan";

void ApplySettingsOption(const std::vector<std::wstring>& arguments, std::wstring& settingsPath) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == L"-c" && i + 1 < arguments.size()) settingsPath = arguments[++i];
  }
}

Application::Application() = default;

Application::~Application() {
  frame = CountedPtr<Frame>();
  config = Config();
  settings_path.clear();
  loader = CountedPtr<DataLoader>();
}

bool Application::ParseCommandLine(const wchar_t* commandLine) {
  std::vector<std::wstring> arguments;
  if (!SplitCommandLine(commandLine, arguments) || arguments.empty()) return false;
  arguments.erase(arguments.begin());
  ApplySettingsOption(arguments, settings_path);
  return true;
}

void Application::Init() { Init(GetCommandLineW()); }

void Application::Init(const wchar_t* commandLine) {
  ParseCommandLine(commandLine);
  if (settings_path.empty()) {
    settings_path = GetModuleFolder(nullptr) + L"\\" + GetModuleName(nullptr, true) + L".xml";
  } else if (const std::wstring full = GetFullPath(settings_path.c_str()); !full.empty()) {
    // A relative path means the folder the program started in: the file choosers move the
    // current folder before the settings are written at exit.
    settings_path = full;
  }
  if (PathFileExistsW(settings_path.c_str())) {
    loader = CountedPtr<DataLoader>(new XmlLoader(settings_path));
    // An empty file (or one that cannot be sized) keeps the defaults and is written at exit.
    if (GetFileSize64(settings_path.c_str()) > 0) loader->Load(config);
  } else {
    loader = CountedPtr<DataLoader>(new RegLoader(HKEY_CURRENT_USER, kSettingsKey));
    loader->Load(config);
  }
  // Settings that did not load leave the defaults; nobody needs to hear of it.
  ClearErrors();
  frame = CountedPtr<Frame>(new Frame(this));
}

int Application::Run() {
  HACCEL accelerators = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    HWND target = frame.IsValid() ? frame->GetHandle() : nullptr;
    if (target && accelerators && TranslateAcceleratorW(target, accelerators, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

void Application::SaveSettings() {
  if (settings_saved || !loader.IsValid()) return;
  loader->Save(config);
  settings_saved = true;
}

void Application::Shutdown() {
  frame = CountedPtr<Frame>();
  SaveSettings();
  loader = CountedPtr<DataLoader>();
}
