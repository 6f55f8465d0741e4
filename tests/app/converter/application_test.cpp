// The application started as the program starts it, from a command line: the settings file that
// "-c" names, and the end of a Windows session.

#include <shlwapi.h>

#include "common/prompt.h"
#include "common/strutil.h"
#include "tests/app/converter/converter_window.h"
#include "tests/support/files.h"

namespace {

// The system's file chooser without OFN_NOCHANGEDIR moves the current folder to where the user
// browsed; this stand-in does the same and answers one path.
std::wstring browsedFolder;
std::wstring chosenPath;

BOOL WINAPI BrowsingChooser(OPENFILENAMEW* request) {
  SetCurrentDirectoryW(browsedFolder.c_str());
  if (chosenPath.size() >= request->nMaxFile) return FALSE;
  chosenPath.copy(request->lpstrFile, chosenPath.size());
  request->lpstrFile[chosenPath.size()] = L'\0';
  return TRUE;
}

class ApplicationTest : public ConverterWindow {
 protected:
  void SetUp() override {
    ConverterWindow::SetUp();
    started = WorkPath(L"started here");
    browsed = WorkPath(L"browsed");
    CreateDirectoryW(started.c_str(), nullptr);
    CreateDirectoryW(browsed.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryW(started.c_str()));
  }

  HWND MainWindow() const { return application.GetFrame()->GetHandle(); }
  void SaveAs(const std::wstring& path) {
    browsedFolder = browsed;
    chosenPath = path;
    ChooserFunctions choosers;
    choosers.saveFile = BrowsingChooser;
    const ChooserFunctions previous = SetChooserFunctions(choosers);
    SendMessageW(MainWindow(), WM_COMMAND, MAKEWPARAM(ID_FILE_SAVE_AS, 0), 0);
    SetChooserFunctions(previous);
  }
  // Started with "-c <settingsName>", an empty file in `started`, then a project saved in `browsed`.
  void StartWithProject(const std::wstring& settingsName, const std::wstring& projectName) {
    settings = started + L"\\" + settingsName;
    PutFile(settings, "");
    application.Init((L"converter.exe -c " + settingsName).c_str());
    project = browsed + L"\\" + projectName;
    SaveAs(project);
  }
  // Once the session's end wrote the settings, the exit that may still follow writes nothing again.
  void ExpectTheExitWritesNothing() {
    ASSERT_TRUE(DeleteFileW(settings.c_str()));
    application.Shutdown();
    EXPECT_FALSE(PathFileExistsW(settings.c_str()));
  }

  std::wstring started;
  std::wstring browsed;
  std::wstring settings;
  std::wstring project;
};

TEST_F(ApplicationTest, ARelativeSettingsPathStaysInTheFolderTheProgramStartedIn) {
  StartWithProject(L"rel.xml", L"p.xml");
  EXPECT_EQ(application.GetSettingsPath(), settings);
  ASSERT_EQ(CurrentFolder(), browsed) << "the chooser stand-in did not move the folder";
  ASSERT_EQ(application.GetConfig().recent_projects, std::vector<std::wstring>{project});
  application.Shutdown();

  EXPECT_NE(FileText(settings).find("<file>" + ToNarrowString(project, CP_UTF8) + "</file>"), std::string::npos)
      << FileText(settings);
  EXPECT_FALSE(PathFileExistsW((browsed + L"\\rel.xml").c_str()));
}

TEST_F(ApplicationTest, EndingTheSessionAsksAsClosingDoes) {
  Open();
  Type(kVideoPage, IDC_MOVIE_FILE, L"edited.avi");
  user.Answer(IDCANCEL);
  EXPECT_EQ(FALSE, SendMessageW(FrameWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
  ASSERT_EQ(user.Boxes().size(), 1u);
  EXPECT_EQ(user.Boxes()[0].text, L"Save changes to Untitled.xml?");
  EXPECT_EQ(user.Boxes()[0].caption, L"Project not saved");

  // A critical shutdown cannot wait for an answer.
  EXPECT_EQ(TRUE, SendMessageW(FrameWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_CRITICAL));
  EXPECT_EQ(user.Boxes().size(), 1u);

  // Yes with a cancelled save dialog refuses like closing; No agrees.
  user.Answer(IDYES);
  user.Choose(L"");
  EXPECT_EQ(FALSE, SendMessageW(FrameWindow(), WM_QUERYENDSESSION, 0, 0));
  user.Answer(IDNO);
  EXPECT_EQ(TRUE, SendMessageW(FrameWindow(), WM_QUERYENDSESSION, 0, 0));
  EXPECT_EQ(user.Boxes().size(), 3u);
  EXPECT_TRUE(IsWindow(FrameWindow())) << "the question alone closes nothing";
}

TEST_F(ApplicationTest, TheEndOfTheSessionWritesTheSettingsOnce) {
  StartWithProject(L"end.xml", L"ending.xml");
  // An end that did not come changes nothing.
  SendMessageW(MainWindow(), WM_ENDSESSION, FALSE, 0);
  EXPECT_EQ(FileText(settings), "");
  SendMessageW(MainWindow(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_NE(FileText(settings).find(ToNarrowString(project, CP_UTF8)), std::string::npos) << FileText(settings);
  ExpectTheExitWritesNothing();
}

// The restart manager closes the program to update it: it is to close at the end of the session,
// which it asked about already, so the close that follows asks nothing again.
TEST_F(ApplicationTest, ClosingForAnUpdateEndsTheProgramAtTheEndOfTheSession) {
  StartWithProject(L"update.xml", L"updated.xml");
  application.GetFrame()->GetProject()->video_config.video_file = L"edited.avi";

  const HWND window = MainWindow();
  user.Answer(IDNO);
  EXPECT_EQ(TRUE, SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP));
  ASSERT_EQ(user.Boxes().size(), 1u);
  EXPECT_EQ(user.Boxes()[0].text, L"Save changes to " + project + L"?");
  SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
  EXPECT_FALSE(IsWindow(window));
  SendMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(user.Boxes().size(), 1u);
  EXPECT_NE(FileText(settings).find("<file>" + ToNarrowString(project, CP_UTF8) + "</file>"), std::string::npos)
      << FileText(settings);
  ExpectTheExitWritesNothing();
}

}  // namespace
