// The shipped drovel.exe as a user runs it: placed in a folder beside the stand-in recorder,
// started as its own process, its boxes found, read and closed from here.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "app/drovel/source/command.h"
#include "app/drovel/source/resource.h"
#include "common/fileutil.h"
#include "common/prompt.h"
#include "common/strutil.h"
#include "common/window.h"
#include "tests/support/dialog_driver.h"

namespace {

constexpr DWORD kTimeoutMs = 20000;
// The exit code -1; a shell sees its low byte, 255.
constexpr DWORD kFailed = 0xFFFFFFFF;
constexpr int kMessageBoxText = 0xFFFF;

// A program started or found by the test. One still running when the object goes is ended, so no
// test leaves a process (or its modal box) behind.
class Process {
 public:
  Process(HANDLE process, DWORD id) : process_(process), id_(id) {}
  ~Process() {
    if (!process_) return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, kTimeoutMs);
    }
    CloseHandle(process_);
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  DWORD Id() const { return id_; }
  // The exit code once the program ended within the time-out.
  std::optional<DWORD> Exit() const {
    DWORD code = 0;
    if (WaitForSingleObject(process_, kTimeoutMs) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code)) {
      return std::nullopt;
    }
    return code;
  }

 private:
  HANDLE process_;
  DWORD id_;
};

std::unique_ptr<Process> Start(const std::wstring& program, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  // The caller's folder is the test's working folder, never the tool's.
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    return nullptr;
  }
  CloseHandle(started.hThread);
  return std::make_unique<Process>(started.hProcess, started.dwProcessId);
}

// The recorder once its main window is up.
std::unique_ptr<Process> WaitForRecorder() {
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
  while (GetTickCount64() < deadline) {
    if (HWND window = FindWindowW(nullptr, L"Quillory")) {
      DWORD id = 0;
      GetWindowThreadProcessId(window, &id);
      HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
      return process ? std::make_unique<Process>(process, id) : nullptr;
    }
    Sleep(20);
  }
  return nullptr;
}

std::wstring CurrentFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  return folder;
}

struct BoxSeen {
  std::optional<DWORD> exitCode;
  std::wstring text;  // of the box's text item, trailing line breaks cut
  bool recorderWhileOpen = false;
};

// What the recorder wrote: its start and the commands it received.
struct RecorderLog {
  std::vector<std::wstring> arguments;  // its command line, split
  std::wstring folder;
  int showCommand = -1;
  std::vector<int> commands;
};

class DrovelRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(FindWindowW(nullptr, L"Quillory"), nullptr) << "a recorder is already running";
    logPath_ = CurrentFolder() + L"\\recorder.log";
    DeleteFileW(logPath_.c_str());
    // The tool passes its environment on to the recorder.
    SetEnvironmentVariableW(L"RECORDER_LOG", logPath_.c_str());
    toolFolder_ = Place(L"tool folder", true);
  }
  void TearDown() override { SetEnvironmentVariableW(L"RECORDER_LOG", nullptr); }

  // A folder of the working folder holding a copy of the tool, and of the recorder when asked.
  static std::wstring Place(const wchar_t* name, bool withRecorder) {
    const std::wstring built = GetModuleFolder(nullptr);
    const std::wstring folder = CurrentFolder() + L"\\" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_TRUE(CopyFileW((built + L"\\drovel.exe").c_str(), (folder + L"\\drovel.exe").c_str(), FALSE));
    const std::wstring recorder = folder + L"\\recorder.exe";
    if (withRecorder) {
      EXPECT_TRUE(CopyFileW((built + L"\\recorder.exe").c_str(), recorder.c_str(), FALSE));
    } else {
      DeleteFileW(recorder.c_str());
    }
    return folder;
  }

  // Runs the tool to its end; a box it shows fails the run through the time-out.
  std::optional<DWORD> Run(const std::wstring& arguments) { return RunIn(toolFolder_, arguments); }
  static std::optional<DWORD> RunIn(const std::wstring& folder, const std::wstring& arguments) {
    std::unique_ptr<Process> tool = Start(folder + L"\\drovel.exe", arguments);
    if (!tool) return std::nullopt;
    return tool->Exit();
  }

  // Runs the tool while a box of the caption is expected: reads the box's text item, closes it.
  static BoxSeen RunThroughBox(const std::wstring& folder, const std::wstring& arguments, const wchar_t* caption,
                               int textId) {
    BoxSeen seen;
    std::unique_ptr<Process> tool = Start(folder + L"\\drovel.exe", arguments);
    if (!tool) return seen;
    DialogDriver driver(
        caption,
        [&](HWND box) {
          seen.text = GetWindowTextString(GetDlgItem(box, textId));
          TrimTrailing(seen.text, L'\n');
          seen.recorderWhileOpen = FindWindowW(nullptr, L"Quillory") != nullptr;
          ClickDialogButton(box, IDOK);
        },
        kTimeoutMs, tool->Id());
    seen.exitCode = tool->Exit();
    if (!driver.Wait()) seen.text = L"(no box)";
    return seen;
  }

  RecorderLog ReadLog() const {
    RecorderLog log;
    std::vector<uint8_t> bytes;
    if (!ReadFileBytes(logPath_.c_str(), bytes)) return log;
    const std::wstring text = ToWideString(std::string(bytes.begin(), bytes.end()), kUtf8CodePage);
    for (const std::wstring& line : SplitTokens(text, L"\r\n")) {
      const size_t space = line.find(L' ');
      const std::wstring key = line.substr(0, space);
      const std::wstring value = space == std::wstring::npos ? L"" : line.substr(space + 1);
      if (key == L"command_line") {
        SplitCommandLine(value.c_str(), log.arguments);
      } else if (key == L"folder") {
        log.folder = value;
      } else if (key == L"show") {
        log.showCommand = ToInt(value);
      } else if (key == L"command") {
        log.commands.push_back(ToInt(value));
      }
    }
    return log;
  }

  std::wstring logPath_;
  std::wstring toolFolder_;
};

TEST_F(DrovelRun, LaunchesTheRecorderHiddenWithItsConfigAndDrivesIt) {
  CreateDirectoryW(L"my configs", nullptr);
  ASSERT_TRUE(WriteFileBytes(L"my configs\\settings.xml", "<root/>", 7));
  // Relative to the caller's folder, while the recorder starts in the tool's.
  ASSERT_EQ(Run(L"launch -hide -config \"my configs\\settings.xml\""), 0u);
  std::unique_ptr<Process> recorder = WaitForRecorder();
  ASSERT_TRUE(recorder);

  const std::pair<const wchar_t*, int> kCommands[] = {
      {L"record", 0x804F}, {L"pause", 0x8039},  {L"record_pause", 0x8052}, {L"stop", 0x803A},
      {L"delete", 0x8043}, {L"autopan", 0x8042}, {L"exit", 0x803C},
  };
  std::vector<int> expected;
  for (const auto& [word, id] : kCommands) {
    EXPECT_EQ(Run(word), 0u) << ToNarrowString(word, kUtf8CodePage);
    expected.push_back(id);
  }
  // The recorder quits on the exit command.
  EXPECT_EQ(recorder->Exit(), 0u);

  const RecorderLog log = ReadLog();
  const std::vector<std::wstring> arguments = {toolFolder_ + L"\\recorder.exe", L"-config",
                                               CurrentFolder() + L"\\my configs\\settings.xml"};
  EXPECT_EQ(log.arguments, arguments);
  EXPECT_EQ(log.folder, toolFolder_);
  EXPECT_EQ(log.showCommand, SW_HIDE);
  EXPECT_EQ(log.commands, expected);
}

TEST_F(DrovelRun, AMissingConfigIsShownFirstThenTheRecorderStartsPlain) {
  const BoxSeen seen = RunThroughBox(toolFolder_, L"launch -config missing.xml", L"Error", kMessageBoxText);
  EXPECT_EQ(seen.text, L"Config file missing.xml doesn't exists");
  EXPECT_FALSE(seen.recorderWhileOpen);
  EXPECT_EQ(seen.exitCode, 0u);
  std::unique_ptr<Process> recorder = WaitForRecorder();
  ASSERT_TRUE(recorder);
  EXPECT_EQ(Run(L"exit"), 0u);
  EXPECT_EQ(recorder->Exit(), 0u);

  const RecorderLog log = ReadLog();
  EXPECT_EQ(log.arguments, std::vector<std::wstring>{toolFolder_ + L"\\recorder.exe"});
  EXPECT_EQ(log.showCommand, SW_SHOWNORMAL);
  EXPECT_EQ(log.commands, std::vector<int>{0x803C});
}

TEST_F(DrovelRun, FailuresShowAnErrorBoxAndEndWithMinusOne) {
  const std::wstring alone = Place(L"alone", false);
  struct Case {
    std::wstring folder;
    const wchar_t* arguments;
    std::wstring text;
  };
  const Case kCases[] = {
      {toolFolder_, L"record", L"Failed to find Quillory main window"},
      {toolFolder_, L"Record", L"Unrecognized command: Record"},
      {alone, L"launch -hide", L"Failed to launch " + alone + L"\\recorder.exe"},
  };
  for (const Case& test : kCases) {
    SCOPED_TRACE(testing::Message() << ToNarrowString(test.arguments, kUtf8CodePage));
    const BoxSeen seen = RunThroughBox(test.folder, test.arguments, L"Error", kMessageBoxText);
    EXPECT_EQ(seen.text, test.text);
    EXPECT_EQ(seen.exitCode, kFailed);
  }
  EXPECT_EQ(FindWindowW(nullptr, L"Quillory"), nullptr);
}

// With another program in front, a box of ours must not be owned by its window: the box would
// close, unread, with that window.
TEST_F(DrovelRun, AnotherProgramsWindowInFrontOwnsNoBoxOfOurs) {
  ASSERT_EQ(Run(L"launch"), 0u);
  std::unique_ptr<Process> recorder = WaitForRecorder();
  ASSERT_TRUE(recorder);
  HWND window = FindWindowW(nullptr, L"Quillory");
  // Other programs of a parallel test run may take the foreground too: ask until it is ours.
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  for (const ULONGLONG deadline = GetTickCount64() + kTimeoutMs; GetTickCount64() < deadline; Sleep(20)) {
    SetForegroundWindow(window);
    if (GetGUIThreadInfo(0, &info) && info.hwndActive == window) break;
  }
  ASSERT_EQ(info.hwndActive, window);
  EXPECT_EQ(ActiveOwnerWindow(), nullptr);
  EXPECT_EQ(Run(L"exit"), 0u);
  EXPECT_EQ(recorder->Exit(), 0u);
}

TEST_F(DrovelRun, NoArgumentsShowTheUsageBox) {
  CommandTable table;
  table.Build();
  const BoxSeen seen = RunThroughBox(toolFolder_, L"", L"drovel", IDC_MESSAGE_TEXT);
  EXPECT_EQ(seen.text + L"\n", table.UsageText());
  EXPECT_EQ(seen.exitCode, 0u);
}

}  // namespace
