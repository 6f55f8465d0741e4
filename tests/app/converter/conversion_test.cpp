// The main window running real conversions in the media prefix, with deze.dll and the stand-ins
// of the outside codecs beside the test program: the end of a run, an error-abort event and an
// Abort right after Start. The movies stay in the working folder for the host check.

#include <shlwapi.h>

#include <functional>

#include "app/converter/source/swfgen.h"
#include "common/fileutil.h"
#include "common/prompt.h"
#include "common/window.h"
#include "tests/app/converter/converter_window.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

constexpr DWORD kRunTimeoutMs = 60000;
constexpr wchar_t kRelativeOutput[] = L"relative_out";

// The overwrite question, during which the restart manager ends the session to update the program;
// the code after the box then goes on as after OK.
int EndSessionThenAgree(HWND owner, const wchar_t*, const wchar_t*, UINT) {
  SendMessageW(owner, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP | ENDSESSION_CRITICAL);
  return IDOK;
}

class ConversionTest : public ConverterWindow {
 protected:
  // The project of a lossless run of the test movie into `name` in the working folder, with the web
  // page or without.
  void Prepare(const std::wstring& name, const std::wstring& movie = L"video10.avi", bool page = false) {
    Open();
    DeleteFileW(WorkPath(name).c_str());
    DeleteFileW(WorkPath(HtmlPageName(name)).c_str());
    Type(kVideoPage, IDC_MOVIE_FILE, WorkPath(movie));
    SendMessageW(Control(kVideoPage, IDC_FORMAT), CB_SETCURSEL, kFormatLossless, 0);
    Notify(kVideoPage, IDC_FORMAT, CBN_SELCHANGE);
    Type(kPublishPage, IDC_SAVE_DIR, WorkPath(L""));
    Type(kPublishPage, IDC_SAVE_NAME, name);
    CheckDlgButton(PageWindow(kPublishPage), IDC_CREATE_HTML, page ? BST_CHECKED : BST_UNCHECKED);
    Click(kPublishPage, IDC_CREATE_HTML);
    ASSERT_EQ(page, Project().publish_config.create_html);
    ASSERT_TRUE(PathFileExistsW(WorkPath(movie).c_str())) << "the host fixture makes the movie";
  }

  // Prepare with the output folder typed relative to the working folder, which is `first`; `moved`
  // holds a folder of that name too, `second`: the current folder goes to `moved` during the run,
  // as a file chooser takes it.
  void PrepareRelative(const std::wstring& name, const std::wstring& movie, bool page) {
    Prepare(name, movie, page);
    first = WorkPath(kRelativeOutput);
    moved = WorkPath(L"moved");
    second = moved + L"\\" + kRelativeOutput;
    for (const std::wstring& folder : {first, moved, second}) CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& folder : {first, second}) {
      DeleteFileW((folder + L"\\" + name).c_str());
      DeleteFileW((folder + L"\\" + HtmlPageName(name)).c_str());
    }
    Type(kPublishPage, IDC_SAVE_DIR, kRelativeOutput);
  }

  bool Running() const { return frame->GetConversion().builder.IsValid(); }

  // Runs the message loop until the condition holds or the time is up.
  static bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
      if (GetTickCount64() >= deadline) return false;
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
      Sleep(10);
    }
    return true;
  }

  bool SawAllDone() const {
    for (const AskedBox& box : user.Boxes()) {
      if (box.text == L"All tasks done!" && box.caption == L"Larkspan") return true;
    }
    return false;
  }

  std::wstring first;
  std::wstring moved;
  std::wstring second;
};

TEST_F(ConversionTest, RunEndsWithAllTasksDoneAndAnIdleWindow) {
  Prepare(L"window_run.swf");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(RecordedErrors().Boxes().empty());
  ASSERT_TRUE(Running());
  EXPECT_FALSE(IsWindowEnabled(Control(kPublishPage, IDC_START)));
  EXPECT_TRUE(IsWindowEnabled(Control(kPublishPage, IDC_ABORT)));

  // Start while converting is refused; so is closing.
  Click(kPublishPage, IDC_START);
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"Not ready to start conversion"});
  SendMessageW(FrameWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(FrameWindow()));

  ASSERT_TRUE(PumpUntil([&] { return !Running(); }, kRunTimeoutMs));
  EXPECT_TRUE(SawAllDone());
  EXPECT_EQ(RecordedErrors().Boxes().size(), 1u);
  EXPECT_TRUE(IsWindowEnabled(Control(kPublishPage, IDC_START)));
  EXPECT_FALSE(IsWindowEnabled(Control(kPublishPage, IDC_ABORT)));
  EXPECT_GT(GetFileSize64(WorkPath(L"window_run.swf").c_str()), 0);
}

// Another filter fails the graph part-way: the failure box, which names the movie kept with the
// frames written so far, and no page beside it.
TEST_F(ConversionTest, ErrorAbortEventEndsTheRunWithTheFailureBox) {
  Prepare(L"window_failed.swf", L"video300.avi", true);
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(PumpUntil([&] { return frame->GetConversion().builder->GetProgress() > 0; }, kRunTimeoutMs));
  frame->OnGraphEvent(EC_ERRORABORT, E_FAIL, 0);
  EXPECT_FALSE(Running());
  const std::vector<std::wstring> boxes = ErrorBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::wstring kept = L"The movie written so far is kept in " + WorkPath(L"window_failed.swf") + L": ";
  EXPECT_EQ(boxes[0].rfind(kept, 0), 0u) << boxes[0];
  EXPECT_NE(boxes[0].find(L" frames, 00:"), std::wstring::npos) << boxes[0];
  EXPECT_NE(boxes[0].find(L".\nFailed to convert file to flash"), std::wstring::npos) << boxes[0];
  EXPECT_FALSE(SawAllDone());
  EXPECT_GT(GetFileSize64(WorkPath(L"window_failed.swf").c_str()), 0);
  EXPECT_FALSE(PathFileExistsW(WorkPath(L"window_failed.htm").c_str()));
  // Nothing of the stopped run arrives later.
  PumpUntil([] { return false; }, 1000);
  EXPECT_FALSE(SawAllDone());
  EXPECT_EQ(RecordedErrors().Boxes().size(), 1u);
}

// The streaming thread finished the movie and wrote its page before the window heard of the
// failure: the page goes, and the box gives the kept movie's figures from its finish.
TEST_F(ConversionTest, AFailureHeardAfterThePageWasWrittenRemovesIt) {
  Prepare(L"window_failed_late.swf", L"video300.avi", true);
  const std::wstring page = WorkPath(L"window_failed_late.htm");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  // No messages: the run's own end stays queued.
  const ULONGLONG deadline = GetTickCount64() + kRunTimeoutMs;
  while (!PathFileExistsW(page.c_str()) && GetTickCount64() < deadline) Sleep(5);
  ASSERT_TRUE(PathFileExistsW(page.c_str()));
  frame->OnGraphEvent(EC_ERRORABORT, E_FAIL, 0);
  EXPECT_FALSE(Running());
  EXPECT_FALSE(PathFileExistsW(page.c_str()));
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"The movie written so far is kept in " +
                                                    WorkPath(L"window_failed_late.swf") +
                                                    L": 300 frames, 00:30.\nFailed to convert file to flash"});
  PumpUntil([] { return false; }, 1000);
  EXPECT_FALSE(SawAllDone());
  EXPECT_EQ(RecordedErrors().Boxes().size(), 1u);
}

// Logging off during a run: the question is the close's notice and a refusal; once the session
// ends anyway, the run stops as on Abort and keeps its movie, and nothing is asked.
TEST_F(ConversionTest, TheEndOfASessionStopsTheRunAsAbortDoes) {
  Prepare(L"window_session.swf", L"video300.avi");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(PumpUntil([&] { return frame->GetConversion().builder->GetProgress() > 0; }, kRunTimeoutMs));
  EXPECT_EQ(FALSE, SendMessageW(FrameWindow(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
  ASSERT_EQ(user.Boxes().size(), 1u);
  EXPECT_EQ(user.Boxes()[0].text, L"Conversion is in progress. Abort it first.");
  EXPECT_TRUE(Running());
  SendMessageW(FrameWindow(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(Running());
  EXPECT_EQ(user.Boxes().size(), 1u);
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_GT(GetFileSize64(WorkPath(L"window_session.swf").c_str()), 0);
}

// One frame more than a movie holds: the movie is kept, and a warning says where it ends before
// the usual box.
TEST_F(ConversionTest, ACutMovieIsKeptWithAWarningWhereItEnds) {
  Prepare(L"window_cut.swf", L"long16001.avi");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(PumpUntil([&] { return !Running(); }, kRunTimeoutMs));
  const std::vector<RecordedBox> boxes = RecordedErrors().Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, L"Warning");
  EXPECT_EQ(boxes[0].messages, std::vector<std::wstring>{L"The movie was cut at 08:53, after 16000 frames: a Flash "
                                                          L"movie holds at most 16000 frames."});
  EXPECT_TRUE(SawAllDone());
  EXPECT_GT(GetFileSize64(WorkPath(L"window_cut.swf").c_str()), 0);
}

// A movie file that gives no whole frame: the failure box says why, and no movie stays.
TEST_F(ConversionTest, AMovieWithoutAFrameFailsAndLeavesNoFile) {
  Prepare(L"window_no_frame.swf", L"headers_only.avi");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(PumpUntil([&] { return !Running(); }, kRunTimeoutMs));
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"No video frame could be read from " +
                                                    WorkPath(L"headers_only.avi") +
                                                    L"\nFailed to convert file to flash"});
  EXPECT_FALSE(SawAllDone());
  EXPECT_FALSE(PathFileExistsW(WorkPath(L"window_no_frame.swf").c_str()));
}

// The output folder typed relative is the one of the current folder at Start: a file chooser that
// moves the current folder during the run sends neither the movie nor its page elsewhere.
TEST_F(ConversionTest, ARelativeOutputFolderStaysTheOneOfTheStart) {
  PrepareRelative(L"window_relative.swf", L"video300.avi", true);
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  // The page comes with the finish, on the streaming thread.
  ASSERT_FALSE(PathFileExistsW((first + L"\\window_relative.htm").c_str()));
  ASSERT_TRUE(SetCurrentDirectoryW(moved.c_str()));
  ASSERT_TRUE(PumpUntil([&] { return !Running(); }, kRunTimeoutMs));
  EXPECT_TRUE(SawAllDone());
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_GT(GetFileSize64((first + L"\\window_relative.swf").c_str()), 0);
  EXPECT_GT(GetFileSize64((first + L"\\window_relative.htm").c_str()), 0);
  EXPECT_FALSE(PathFileExistsW((second + L"\\window_relative.swf").c_str()));
  EXPECT_FALSE(PathFileExistsW((second + L"\\window_relative.htm").c_str()));
  EXPECT_EQ(Project().publish_config.save_dir, kRelativeOutput);
}

// A run that fails before its first frame removes the movie it began, not a file of that name in
// the folder the current folder moved to.
TEST_F(ConversionTest, AFailedRunRemovesOnlyTheMovieItBegan) {
  PrepareRelative(L"window_relative_no_frame.swf", L"headers_only.avi", false);
  const std::wstring other = second + L"\\window_relative_no_frame.swf";
  PutFile(other, "another movie");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(SetCurrentDirectoryW(moved.c_str()));
  ASSERT_TRUE(PumpUntil([&] { return !Running(); }, kRunTimeoutMs));
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  EXPECT_EQ(FileText(other), "another movie");
  EXPECT_FALSE(PathFileExistsW((first + L"\\window_relative_no_frame.swf").c_str()));
}

// The failure box names the kept movie where it was written.
TEST_F(ConversionTest, TheFailureBoxNamesTheMovieInTheFolderOfTheStart) {
  PrepareRelative(L"window_relative_failed.swf", L"video300.avi", true);
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(SetCurrentDirectoryW(moved.c_str()));
  ASSERT_TRUE(PumpUntil([&] { return frame->GetConversion().builder->GetProgress() > 0; }, kRunTimeoutMs));
  frame->OnGraphEvent(EC_ERRORABORT, E_FAIL, 0);
  EXPECT_FALSE(Running());
  const std::vector<std::wstring> boxes = ErrorBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  const std::wstring kept = L"The movie written so far is kept in " + first + L"\\window_relative_failed.swf: ";
  EXPECT_EQ(boxes[0].rfind(kept, 0), 0u) << boxes[0];
  EXPECT_GT(GetFileSize64((first + L"\\window_relative_failed.swf").c_str()), 0);
  EXPECT_FALSE(PathFileExistsW((second + L"\\window_relative_failed.swf").c_str()));
}

// The session ends and the window goes while Start waits on a box: the run it then starts is not
// kept by a window that is no more.
TEST_F(ConversionTest, NoRunIsKeptByAWindowDestroyedDuringStart) {
  Prepare(L"window_closed_at_start.swf", L"video300.avi");
  PutFile(WorkPath(L"window_closed_at_start.swf"), "an older movie");
  const HWND window = FrameWindow();
  const PromptFunction previous = SetPromptFunction(EndSessionThenAgree);
  Click(kPublishPage, IDC_START);
  SetPromptFunction(previous);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(Running());
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

TEST_F(ConversionTest, AbortRightAfterStartLeavesAReadableMovie) {
  // A long movie, aborted as soon as the second frame is written: a movie without any frame holds
  // no stream an outside reader could show.
  Prepare(L"window_aborted.swf", L"video300.avi");
  Click(kPublishPage, IDC_START);
  ASSERT_TRUE(Running());
  ASSERT_TRUE(PumpUntil([&] { return frame->GetConversion().builder->GetProgress() > 0; }, kRunTimeoutMs));
  user.Answer(IDYES);
  Click(kPublishPage, IDC_ABORT);
  ASSERT_FALSE(user.Boxes().empty());
  EXPECT_EQ(user.Boxes().back().text, L"Abort generation?");
  EXPECT_EQ(user.Boxes().back().caption, L"Generation");
  EXPECT_FALSE(Running());
  PumpUntil([] { return false; }, 2000);
  EXPECT_FALSE(SawAllDone());
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_EQ(GetWindowTextString(Control(kPublishPage, IDC_TIME_LEFT)), L"");
  EXPECT_GT(GetFileSize64(WorkPath(L"window_aborted.swf").c_str()), 0);
}

}  // namespace
