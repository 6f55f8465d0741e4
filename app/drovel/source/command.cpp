#include "app/drovel/source/command.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "app/drovel/source/msgbox.h"
#include "common/error.h"
#include "common/strutil.h"
#include "common/window.h"

const wchar_t kRecorderTitle[] = L"Quillory";

namespace {

constexpr wchar_t kToolFileName[] = L"drovel.exe";
constexpr wchar_t kRecorderFileName[] = L"recorder.exe";
constexpr wchar_t kLaunchWord[] = L"launch";
constexpr wchar_t kLaunchSyntax[] = L"launch [-hide] [-config <filename>]";
constexpr wchar_t kLaunchHelp[] = L"Launch Quillory, -hide to hide the main window";

class SystemHost : public CommandHost {
 public:
  INT_PTR Launch(const std::wstring& program, const std::wstring& parameters, const std::wstring& folder,
                 int showCommand) override {
    HINSTANCE result = ShellExecuteW(nullptr, L"open", program.c_str(), parameters.c_str(), folder.c_str(),
                                     showCommand);
    return reinterpret_cast<INT_PTR>(result);
  }

  HWND FindMainWindow(const wchar_t* title) override { return FindWindowW(nullptr, title); }

  bool PostCommand(HWND window, int id) override {
    return PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(id), 0) != FALSE;
  }

  void ShowMessage(const std::wstring& title, const std::wstring& text) override {
    MsgBox(title, text).DoModal(nullptr);
  }
};

// The recorder starts in the tool's folder, so a relative name must be made whole against the
// caller's current folder first. The name stays as typed when that fails.
std::wstring FullPath(const std::wstring& path) {
  const std::wstring full = ReadGrowing(MAX_PATH, [&path](wchar_t* buffer, int size) {
    return static_cast<int>(GetFullPathNameW(path.c_str(), static_cast<DWORD>(size), buffer, nullptr));
  });
  return full.empty() ? path : full;
}

}  // namespace

CommandHost& SystemCommandHost() {
  static SystemHost host;
  return host;
}

void CommandTable::Build() {
  entries_ = {
      {0x804F, L"Record", L"Start or resume recording task"},
      {0x8039, L"Pause", L"Pause current recording task"},
      {0x8052, L"Record/Pause", L"<Record> or <Pause>"},
      {0x803A, L"Stop", L"Stop current recording task"},
      {0x8043, L"Delete", L"Delete current recording task"},
      {0x8042, L"Autopan", L"Toggle AutoPan mode"},
      {0x803C, L"Exit", L"Quit the program"},
  };
  for (CommandEntry& entry : entries_) entry.name = NormalizeName(entry.name);
}

std::wstring CommandTable::NormalizeName(const std::wstring& name) {
  std::wstring word = name;
  for (wchar_t& character : word) {
    if (character >= L'A' && character <= L'Z') character = static_cast<wchar_t>(character - L'A' + L'a');
    const bool letter = character >= L'a' && character <= L'z';
    const bool digit = character >= L'0' && character <= L'9';
    if (!letter && !digit) character = L'_';
  }
  return word;
}

std::vector<std::wstring> CommandTable::GetArguments() {
  std::vector<std::wstring> arguments;
  if (SplitCommandLine(GetCommandLineW(), arguments) && !arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

LaunchOptions CommandTable::ParseLaunchOptions(const std::vector<std::wstring>& arguments) {
  LaunchOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == L"-hide") {
      options.hide = true;
    } else if (arguments[i] == L"-config" && i + 1 < arguments.size()) {
      options.configFile = arguments[++i];
    }
  }
  return options;
}

int CommandTable::Run() { return Run(GetArguments()); }

int CommandTable::Run(const std::vector<std::wstring>& arguments) {
  if (arguments.empty()) {
    ShowUsage();
    return 0;
  }
  if (arguments[0] == kLaunchWord) {
    return Launch(std::vector<std::wstring>(arguments.begin() + 1, arguments.end()), GetModuleFolder(nullptr));
  }
  return Post(arguments[0]);
}

int CommandTable::Launch(const std::vector<std::wstring>& arguments, const std::wstring& folder) {
  const LaunchOptions options = ParseLaunchOptions(arguments);
  const std::wstring program = folder + L"\\" + kRecorderFileName;
  std::wstring parameters;
  if (!options.configFile.empty()) {
    const std::wstring config = FullPath(options.configFile);
    if (PathFileExistsW(config.c_str())) {
      parameters = L"-config \"" + config + L"\"";
    } else {
      ShowError(L"Config file %s doesn't exists", options.configFile.c_str());
    }
  }
  const INT_PTR result = host_.Launch(program, parameters, folder, options.hide ? SW_HIDE : SW_SHOWNORMAL);
  if (result <= 32) {
    ShowError(L"Failed to launch %s", program.c_str());
    return -1;
  }
  return 0;
}

int CommandTable::Post(const std::wstring& word) {
  const auto entry = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const CommandEntry& candidate) { return candidate.name == word; });
  if (entry == entries_.end()) {
    ShowError(L"Unrecognized command: %s", word.c_str());
    return -1;
  }
  HWND recorder = host_.FindMainWindow(kRecorderTitle);
  if (!recorder) {
    ShowError(L"Failed to find %s main window", kRecorderTitle);
    return -1;
  }
  if (!host_.PostCommand(recorder, entry->id)) {
    ShowError(L"Failed to post %s to %s main window", word.c_str(), kRecorderTitle);
    return -1;
  }
  return 0;
}

std::wstring CommandTable::UsageText() const {
  std::vector<std::pair<std::wstring, std::wstring>> lines = {{kLaunchSyntax, kLaunchHelp}};
  for (const CommandEntry& entry : entries_) lines.emplace_back(entry.name, entry.help);
  size_t width = 0;
  for (const auto& line : lines) width = std::max(width, line.first.size());

  std::wstring text = std::wstring(L"Usage: ") + kToolFileName + L" command\n\nCommand List:\n";
  for (const auto& [name, help] : lines) {
    std::wstring column = name.substr(0, width);
    column.resize(width, L' ');
    text += column + L" - " + help + L"\n";
  }
  return text;
}

void CommandTable::ShowUsage() { host_.ShowMessage(L"Usage", UsageText()); }
