#include "app/drovel/source/command.h"

#include <gtest/gtest.h>

#include "common/fileutil.h"
#include "common/strutil.h"
#include "common/window.h"
#include "tests/support/errors.h"

namespace {

// One run of the tool: its arguments, what the outside world answers, and what must happen.
struct Case {
  std::vector<std::wstring> arguments;
  int exitCode = 0;
  std::vector<std::wstring> errors = {};  // each in its own "Error" box, in order
  int postedId = 0;                       // 0: nothing posted
  int showCommand = -1;                   // -1: nothing launched
  std::wstring parameters = {};
  bool recorderRunning = true;
  bool postSucceeds = true;
  INT_PTR launchResult = 42;
};

// Answers as the case says and records what the tool asked for.
class FakeHost : public CommandHost {
 public:
  explicit FakeHost(const Case& test) : test_(test) {}

  INT_PTR Launch(const std::wstring& program, const std::wstring& parameters, const std::wstring& folder,
                 int showCommand) override {
    EXPECT_EQ(program, GetModuleFolder(nullptr) + L"\\recorder.exe");
    EXPECT_EQ(folder, GetModuleFolder(nullptr));
    ++launches;
    launchedShow = showCommand;
    launchedParameters = parameters;
    return test_.launchResult;
  }
  HWND FindMainWindow(const wchar_t* title) override {
    EXPECT_STREQ(title, L"Quillory");
    return test_.recorderRunning ? kRecorder : nullptr;
  }
  bool PostCommand(HWND window, int id) override {
    EXPECT_EQ(window, kRecorder);
    posted.push_back(id);
    return test_.postSucceeds;
  }
  void ShowMessage(const std::wstring& title, const std::wstring& text) override {
    messages.push_back(title + L"|" + text);
  }

  static inline const HWND kRecorder = reinterpret_cast<HWND>(0x1234);
  int launches = 0;
  int launchedShow = -1;
  std::wstring launchedParameters;
  std::vector<int> posted;
  std::vector<std::wstring> messages;

 private:
  const Case& test_;
};

void Check(const Case& test) {
  std::wstring shown;
  for (const std::wstring& argument : test.arguments) shown += L"[" + argument + L"]";
  SCOPED_TRACE(ToNarrowString(shown, kUtf8CodePage));
  RecordedErrors().Reset();
  FakeHost host(test);
  CommandTable table(host);
  table.Build();

  EXPECT_EQ(table.Run(test.arguments), test.exitCode);
  std::vector<std::wstring> errors;
  for (const RecordedBox& box : RecordedErrors().Boxes()) {
    EXPECT_EQ(box.caption, L"Error");
    for (const std::wstring& message : box.messages) errors.push_back(message);
    EXPECT_EQ(box.messages.size(), 1u);
  }
  EXPECT_EQ(errors, test.errors);
  EXPECT_EQ(host.posted, test.postedId ? std::vector<int>{test.postedId} : std::vector<int>{});
  EXPECT_EQ(host.launches, test.showCommand < 0 ? 0 : 1);
  EXPECT_EQ(host.launchedShow, test.showCommand);
  EXPECT_EQ(host.launchedParameters, test.parameters);
  EXPECT_TRUE(host.messages.empty());  // the usage box only without arguments
}

TEST(CommandTable, EachCommandWordPostsItsIdentifier) {
  const Case kCases[] = {
      {.arguments = {L"record"}, .postedId = 0x804F},
      {.arguments = {L"pause"}, .postedId = 0x8039},
      {.arguments = {L"record_pause"}, .postedId = 0x8052},
      {.arguments = {L"stop"}, .postedId = 0x803A},
      {.arguments = {L"delete"}, .postedId = 0x8043},
      {.arguments = {L"autopan"}, .postedId = 0x8042},
      {.arguments = {L"exit"}, .postedId = 0x803C},
      // Arguments after the word are ignored.
      {.arguments = {L"stop", L"-hide", L"record"}, .postedId = 0x803A},
  };
  for (const Case& test : kCases) Check(test);
}

TEST(CommandTable, FailuresAreShownAndEndWithMinusOne) {
  const Case kCases[] = {
      // Words are exact and case-sensitive.
      {.arguments = {L"Record"}, .exitCode = -1, .errors = {L"Unrecognized command: Record"}},
      {.arguments = {L"RECORD"}, .exitCode = -1, .errors = {L"Unrecognized command: RECORD"}},
      {.arguments = {L"Record/Pause"}, .exitCode = -1, .errors = {L"Unrecognized command: Record/Pause"}},
      {.arguments = {L"Launch"}, .exitCode = -1, .errors = {L"Unrecognized command: Launch"}},
      {.arguments = {L""}, .exitCode = -1, .errors = {L"Unrecognized command: "}},
      {.arguments = {L"record"},
       .exitCode = -1,
       .errors = {L"Failed to find Quillory main window"},
       .recorderRunning = false},
      {.arguments = {L"record_pause"},
       .exitCode = -1,
       .errors = {L"Failed to post record_pause to Quillory main window"},
       .postedId = 0x8052,
       .postSucceeds = false},
  };
  for (const Case& test : kCases) Check(test);
}

TEST(CommandTable, LaunchOptionsAndConfigFiles) {
  CreateDirectoryW(L"config dir", nullptr);
  ASSERT_TRUE(WriteFileBytes(L"a.xml", "<a/>", 4));
  ASSERT_TRUE(WriteFileBytes(L"config dir\\b.xml", "<b/>", 4));
  wchar_t fullB[MAX_PATH] = {};
  GetFullPathNameW(L"config dir\\b.xml", MAX_PATH, fullB, nullptr);
  const std::wstring whole = std::wstring(L"-config \"") + fullB + L"\"";
  const std::wstring program = GetModuleFolder(nullptr) + L"\\recorder.exe";

  const Case kCases[] = {
      {.arguments = {L"launch"}, .showCommand = SW_SHOWNORMAL},
      {.arguments = {L"launch", L"-hide"}, .showCommand = SW_HIDE},
      {.arguments = {L"launch", L"-HIDE", L"hide", L"record"}, .showCommand = SW_SHOWNORMAL},
      {.arguments = {L"launch", L"-config"}, .showCommand = SW_SHOWNORMAL},
      // The last "-config" wins; a relative name is made whole against the current folder.
      {.arguments = {L"launch", L"-config", L"a.xml", L"-hide", L"-config", L"config dir\\b.xml"},
       .showCommand = SW_HIDE,
       .parameters = whole},
      {.arguments = {L"launch", L"-config", fullB}, .showCommand = SW_SHOWNORMAL, .parameters = whole},
      {.arguments = {L"launch", L"-config", L"config dir\\b.xml", L"-config"},
       .showCommand = SW_SHOWNORMAL,
       .parameters = whole},
      // A missing file is shown as typed and the launch goes on without it; "-config" takes
      // whatever follows it.
      {.arguments = {L"launch", L"-hide", L"-config", L"nowhere\\x.xml"},
       .errors = {L"Config file nowhere\\x.xml doesn't exists"},
       .showCommand = SW_HIDE},
      {.arguments = {L"launch", L"-config", L"-hide"},
       .errors = {L"Config file -hide doesn't exists"},
       .showCommand = SW_SHOWNORMAL},
      // Shell results up to 32 are failures.
      {.arguments = {L"launch"},
       .exitCode = -1,
       .errors = {L"Failed to launch " + program},
       .showCommand = SW_SHOWNORMAL,
       .launchResult = 32},
      {.arguments = {L"launch"}, .showCommand = SW_SHOWNORMAL, .launchResult = 33},
      {.arguments = {L"launch", L"-config", L"gone.xml"},
       .exitCode = -1,
       .errors = {L"Config file gone.xml doesn't exists", L"Failed to launch " + program},
       .showCommand = SW_SHOWNORMAL,
       .launchResult = 2},
  };
  for (const Case& test : kCases) Check(test);
}

TEST(CommandTable, NoArgumentsShowTheUsageInPaddedColumns) {
  Case none;
  FakeHost host(none);
  CommandTable table(host);
  table.Build();
  EXPECT_EQ(table.Run({}), 0);
  EXPECT_EQ(host.messages, std::vector<std::wstring>{
                               L"Usage|Usage: drovel.exe command\n\nCommand List:\n"
                               L"launch [-hide] [-config <filename>] - Launch Quillory, -hide to hide the main window\n"
                               L"record                              - Start or resume recording task\n"
                               L"pause                               - Pause current recording task\n"
                               L"record_pause                        - <Record> or <Pause>\n"
                               L"stop                                - Stop current recording task\n"
                               L"delete                              - Delete current recording task\n"
                               L"autopan                             - Toggle AutoPan mode\n"
                               L"exit                                - Quit the program\n"});
  EXPECT_EQ(host.launches, 0);
  EXPECT_TRUE(host.posted.empty());
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

}  // namespace
