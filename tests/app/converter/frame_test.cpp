// The main window in-process: title and unsaved mark, the recent-project menu, Open and Save with
// their failures, closing, and the checks before a conversion starts.

#include <shlwapi.h>

#include "common/window.h"
#include "tests/app/converter/converter_window.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

using FrameTest = ConverterWindow;

const wchar_t kUntitledTitle[] = L"Larkspan - Untitled.xml";

struct MenuEntry {
  std::wstring text;
  UINT id;
  bool checked;
};

// The File menu's entries between its two separators.
std::vector<MenuEntry> RecentEntries(HWND frame) {
  HMENU file = GetSubMenu(GetMenu(frame), 0);
  std::vector<MenuEntry> entries;
  bool inside = false;
  for (int i = 0; i < GetMenuItemCount(file); ++i) {
    wchar_t text[512] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = 511;
    GetMenuItemInfoW(file, static_cast<UINT>(i), TRUE, &item);
    if (item.fType & MFT_SEPARATOR) {
      if (inside) break;
      inside = true;
      continue;
    }
    if (inside) entries.push_back({text, item.wID, (item.fState & MFS_CHECKED) != 0});
  }
  return entries;
}

TEST_F(FrameTest, TitleMarksUnsavedEditsThroughThePages) {
  Open();
  EXPECT_EQ(Title(), kUntitledTitle);
  Type(kVideoPage, IDC_MOVIE_FILE, L"C:\\movie.avi");
  EXPECT_EQ(Project().video_config.video_file, L"C:\\movie.avi");
  EXPECT_EQ(Title(), std::wstring(kUntitledTitle) + L"*");
  Type(kVideoPage, IDC_MOVIE_FILE, L"");
  EXPECT_EQ(Title(), kUntitledTitle);

  Type(kPublishPage, IDC_SAVE_NAME, L"out");
  EXPECT_EQ(Title(), std::wstring(kUntitledTitle) + L"*");
  Command(ID_FILE_NEW);  // asks nothing
  EXPECT_TRUE(user.Boxes().empty());
  EXPECT_EQ(Title(), kUntitledTitle);
  EXPECT_EQ(GetWindowTextString(Control(kPublishPage, IDC_SAVE_NAME)), L"");
}

TEST_F(FrameTest, RecentMenuShowsTheWholeListNumberedFromZero) {
  for (int i = 0; i < 22; ++i) {
    application.GetConfig().recent_projects.push_back(WorkPath(L"p" + std::to_wstring(i) + L".xml"));
  }
  Open();
  const auto entries = RecentEntries(FrameWindow());
  ASSERT_EQ(entries.size(), 22u);
  EXPECT_EQ(entries[0].text, L"&0 - " + WorkPath(L"p0.xml"));
  EXPECT_EQ(entries[0].id, static_cast<UINT>(ID_RECENT_FIRST));
  EXPECT_EQ(entries[21].text, L"&21 - " + WorkPath(L"p21.xml"));
  EXPECT_EQ(entries[21].id, static_cast<UINT>(ID_RECENT_FIRST + 21));
  EXPECT_FALSE(entries[0].checked);

  // Past the last recent command id nothing happens; the 20th entry opens (and is missing).
  Command(ID_RECENT_LAST + 1);
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  Command(ID_RECENT_LAST);
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"Project file " + WorkPath(L"p19.xml") + L" doesn't exist"});
  EXPECT_EQ(application.GetConfig().recent_projects.size(), 22u);
}

TEST_F(FrameTest, SaveAndOpenMoveTheProjectToTheFrontAndCheckIt) {
  for (int i = 0; i < 9; ++i) {
    application.GetConfig().recent_projects.push_back(L"C:\\old" + std::to_wstring(i) + L".xml");
  }
  Open();
  const std::wstring path = WorkPath(L"recent.xml");
  DeleteFileW(path.c_str());
  Type(kPublishPage, IDC_SAVE_NAME, L"movie");
  user.Choose(path);
  Command(ID_FILE_SAVE);  // unnamed: asks for a file
  EXPECT_EQ(user.ChoosersShown(), 1);
  EXPECT_EQ(user.LastFilter(), L"XML File(*.xml)|*.xml");
  EXPECT_EQ(Title(), L"Larkspan - " + path);
  auto& recent = application.GetConfig().recent_projects;
  ASSERT_EQ(recent.size(), 8u);
  EXPECT_EQ(recent[0], path);
  EXPECT_EQ(recent[7], L"C:\\old6.xml");
  auto entries = RecentEntries(FrameWindow());
  ASSERT_EQ(entries.size(), 8u);
  EXPECT_TRUE(entries[0].checked);
  EXPECT_FALSE(entries[1].checked);

  // Opened again from the menu: still one entry, at the front.
  Command(ID_FILE_NEW);
  Command(ID_RECENT_FIRST + 0);
  EXPECT_EQ(recent.size(), 8u);
  EXPECT_EQ(std::count(recent.begin(), recent.end(), path), 1);
  EXPECT_EQ(Project().publish_config.save_name, L"movie");
  EXPECT_EQ(GetWindowTextString(Control(kPublishPage, IDC_SAVE_NAME)), L"movie");
  EXPECT_EQ(Title(), L"Larkspan - " + path);
  EXPECT_TRUE(RecentEntries(FrameWindow())[0].checked);
}

TEST_F(FrameTest, CorruptProjectIsShownAndChangesNothing) {
  Open();
  const std::wstring good = WorkPath(L"good.xml");
  const std::wstring corrupt = WorkPath(L"corrupt.xml");
  PutFile(corrupt, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root><video_config>");
  user.Choose(good);
  Command(ID_FILE_SAVE_AS);
  Type(kVideoPage, IDC_MOVIE_FILE, L"edited.avi");

  user.Choose(corrupt);
  Command(ID_FILE_OPEN);
  const auto boxes = ErrorBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(L"Failed to load xml file"), std::wstring::npos) << boxes[0];
  EXPECT_EQ(frame->GetProjectPath(), good);
  EXPECT_EQ(Title(), L"Larkspan - " + good + L"*");
  EXPECT_EQ(Project().video_config.video_file, L"edited.avi");
  EXPECT_EQ(application.GetConfig().recent_projects, std::vector<std::wstring>{good});

  RecordedErrors().Reset();
  Command(ID_FILE_SAVE);  // still the good file
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_NE(FileText(good).find("edited.avi"), std::string::npos);
  EXPECT_EQ(FileText(corrupt), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root><video_config>");
}

TEST_F(FrameTest, FailedSaveKeepsTheMarkAndTheWindow) {
  Open();
  const std::wstring unwritable = WorkPath(L"no such folder\\project.xml");
  Type(kVideoPage, IDC_MOVIE_FILE, L"edited.avi");
  user.Choose(unwritable);
  Command(ID_FILE_SAVE);
  ASSERT_EQ(ErrorBoxes().size(), 1u);
  EXPECT_EQ(Title(), std::wstring(kUntitledTitle) + L"*");
  EXPECT_TRUE(frame->GetProjectPath().empty());
  EXPECT_TRUE(application.GetConfig().recent_projects.empty());

  // Closing asks; Yes saves, the save dialog is cancelled, and the window stays.
  user.Answer(IDYES);
  SendMessageW(FrameWindow(), WM_CLOSE, 0, 0);
  ASSERT_EQ(user.Boxes().size(), 1u);
  EXPECT_EQ(user.Boxes()[0].text, L"Save changes to Untitled.xml?");
  EXPECT_EQ(user.Boxes()[0].caption, L"Project not saved");
  EXPECT_TRUE(IsWindow(FrameWindow()));

  // Yes again, and the save fails: the window stays and the next close asks again.
  user.Answer(IDYES);
  user.Choose(unwritable);
  SendMessageW(FrameWindow(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindow(FrameWindow()));
  EXPECT_EQ(ErrorBoxes().size(), 2u);
  user.Answer(IDCANCEL);
  SendMessageW(FrameWindow(), WM_CLOSE, 0, 0);
  EXPECT_EQ(user.Boxes().size(), 3u);
  EXPECT_TRUE(IsWindow(FrameWindow()));

  // No closes without saving.
  user.Answer(IDNO);
  SendMessageW(FrameWindow(), WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(FrameWindow()));
}

TEST_F(FrameTest, CloseWithYesSavesTheNamedProject) {
  Open();
  const std::wstring path = WorkPath(L"closing.xml");
  user.Choose(path);
  Command(ID_FILE_SAVE_AS);
  Type(kAudioPage, IDC_AUDIO_FILE, L"voice.mp3");
  user.Answer(IDYES);
  SendMessageW(FrameWindow(), WM_CLOSE, 0, 0);
  ASSERT_EQ(user.Boxes().size(), 1u);
  EXPECT_EQ(user.Boxes()[0].text, L"Save changes to " + path + L"?");
  EXPECT_FALSE(IsWindow(FrameWindow()));
  EXPECT_NE(FileText(path).find("<audio_file>voice.mp3</audio_file>"), std::string::npos);
}

TEST_F(FrameTest, StartShowsTheFirstProblemInOrder) {
  Open();
  const std::wstring movie = WorkPath(L"start movie.avi");
  const std::wstring sound = WorkPath(L"start sound.wav");
  PutFile(movie, "not really a movie");
  PutFile(sound, "not really a sound");
  const std::wstring outFolder = WorkPath(L"start out");
  RemoveDirectoryW(outFolder.c_str());

  struct Step {
    std::function<void()> edit;
    std::wstring message;
  };
  const std::vector<Step> steps = {
      {[] {}, L"Please specify a movie file"},
      {[&] { Type(kVideoPage, IDC_MOVIE_FILE, WorkPath(L"missing.avi")); },
       L"Movie file " + WorkPath(L"missing.avi") + L" doesn't exist"},
      {[&] {
         Type(kVideoPage, IDC_MOVIE_FILE, movie);
         CheckDlgButton(PageWindow(kAudioPage), IDC_AUDIO_MOVIE, BST_UNCHECKED);
         CheckDlgButton(PageWindow(kAudioPage), IDC_AUDIO_SEPARATE, BST_CHECKED);
         Click(kAudioPage, IDC_AUDIO_SEPARATE);
       },
       L"Please specify an audio file"},
      {[&] { Type(kAudioPage, IDC_AUDIO_FILE, WorkPath(L"missing.wav")); },
       L"Audio file " + WorkPath(L"missing.wav") + L" doesn't exist"},
      {[&] { Type(kAudioPage, IDC_AUDIO_FILE, sound); }, L"Please specify an output directory"},
      {[&] { Type(kPublishPage, IDC_SAVE_DIR, WorkPath(L"what?")); },
       L"Directory name can't contain any of the\nfollowing characters:\n*?<>|/"},
      {[&] { Type(kPublishPage, IDC_SAVE_DIR, WorkPath(L"no parent\\child")); },
       L"Failed to create output directory " + WorkPath(L"no parent\\child")},
      {[&] { Type(kPublishPage, IDC_SAVE_DIR, outFolder); }, L"Please specify an output file name"},
  };
  for (const Step& step : steps) {
    RecordedErrors().Reset();
    step.edit();
    Click(kPublishPage, IDC_START);
    EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{step.message});
    EXPECT_FALSE(frame->GetConversion().builder.IsValid());
  }
  // The folder was made by the last step.
  EXPECT_TRUE(PathIsDirectoryW(outFolder.c_str()));

  // An existing movie: Cancel leaves it and starts nothing, without a message.
  const std::wstring existing = outFolder + L"\\kept.swf";
  PutFile(existing, "old movie");
  Type(kPublishPage, IDC_SAVE_NAME, L"kept");
  RecordedErrors().Reset();
  user.Answer(IDCANCEL);
  Click(kPublishPage, IDC_START);
  ASSERT_EQ(user.Boxes().size(), 1u);
  EXPECT_EQ(user.Boxes()[0].text, L"File " + existing + L" exists, overwrite?");
  EXPECT_EQ(user.Boxes()[0].caption, L"Warning");
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  EXPECT_EQ(FileText(existing), "old movie");
  EXPECT_FALSE(frame->GetConversion().builder.IsValid());
  EXPECT_EQ(Project().publish_config.save_name, L"kept");

  // OK on a movie that cannot be deleted (read-only): the message, the file stays, nothing starts.
  SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_READONLY);
  RecordedErrors().Reset();
  user.Answer(IDOK);
  Click(kPublishPage, IDC_START);
  SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"Failed to delete file " + existing});
  EXPECT_EQ(FileText(existing), "old movie");
  EXPECT_FALSE(frame->GetConversion().builder.IsValid());
}

// An output that is the run's own movie or sound file, or the program's control movie (whose page
// would also replace control.htm), is refused before the overwrite prompt could delete it.
TEST_F(FrameTest, StartRefusesAnOutputThatIsAnInput) {
  Open();
  const std::wstring folder = WorkPath(L"clash");
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring movie = folder + L"\\movie.swf";
  const std::wstring sound = folder + L"\\Sound.swf";
  PutFile(movie, "the movie");
  PutFile(sound, "the sound");
  Type(kVideoPage, IDC_MOVIE_FILE, movie);
  CheckDlgButton(PageWindow(kAudioPage), IDC_AUDIO_MOVIE, BST_UNCHECKED);
  CheckDlgButton(PageWindow(kAudioPage), IDC_AUDIO_SEPARATE, BST_CHECKED);
  Click(kAudioPage, IDC_AUDIO_SEPARATE);
  Type(kAudioPage, IDC_AUDIO_FILE, sound);
  const struct {
    std::wstring folder, name, output;
    bool agrees;  // answers the overwrite prompt with OK; never for the program's own file
  } cases[] = {
      {folder, L"movie", movie, true},
      {folder, L"SOUND", folder + L"\\SOUND.swf", true},
      {GetModuleFolder(nullptr), L"control", GetModuleFolder(nullptr) + L"\\control.swf", false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    RecordedErrors().Reset();
    user.ForgetAnswers();
    const size_t asked = user.Boxes().size();
    if (test.agrees) user.Answer(IDOK);
    Type(kPublishPage, IDC_SAVE_DIR, test.folder);
    Type(kPublishPage, IDC_SAVE_NAME, test.name);
    Click(kPublishPage, IDC_START);
    EXPECT_EQ(user.Boxes().size(), asked);
    EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"The movie can't be written to " + test.output +
                                                      L": the conversion or the program needs that file"});
    EXPECT_FALSE(frame->GetConversion().builder.IsValid());
  }
  EXPECT_EQ(FileText(movie), "the movie");
  EXPECT_EQ(FileText(sound), "the sound");
}

TEST_F(FrameTest, ValidationCorrectsTheCopyOnly) {
  Open();
  const std::wstring movie = WorkPath(L"valid movie.avi");
  PutFile(movie, "x");
  ProjectConfig copy;
  copy.video_config.video_file = movie;
  copy.audio_config.audio_type = kAudioNone;
  copy.publish_config.save_dir = WorkPath(L"valid out");
  const struct {
    int format, bitrate, interval, quality;
    const wchar_t* name;
    int wantFormat, wantBitrate, wantInterval, wantQuality;
    const wchar_t* wantName;
  } cases[] = {
      {5, -3, 0, 11, L"a", 1, 0, 1, 10, L"a.swf"},
      {0, 650, -7, -1, L"b.SWF", 0, 650, 1, 0, L"b.SWF.swf"},
      {-1, 0, 25, 4, L"c.swf", 1, 0, 25, 4, L"c.swf"},
  };
  for (const auto& c : cases) {
    ProjectConfig tried;
    tried.Assign(copy);
    tried.video_config.format = c.format;
    tried.video_config.bitrate = c.bitrate;
    tried.video_config.key_frame_interval = c.interval;
    tried.video_config.quality = c.quality;
    tried.publish_config.save_name = c.name;
    ASSERT_TRUE(frame->ValidateProject(tried)) << c.name;
    EXPECT_EQ(tried.video_config.format, c.wantFormat);
    EXPECT_EQ(tried.video_config.bitrate, c.wantBitrate);
    EXPECT_EQ(tried.video_config.key_frame_interval, c.wantInterval);
    EXPECT_EQ(tried.video_config.quality, c.wantQuality);
    EXPECT_EQ(tried.publish_config.save_name, c.wantName);
  }
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

// The run's output folder is full, as the current folder was at Start, and ends without a
// backslash; the project keeps the folder as typed.
TEST_F(FrameTest, ValidationMakesTheOutputFolderFull) {
  Open();
  const std::wstring movie = WorkPath(L"full movie.avi");
  PutFile(movie, "x");
  Type(kVideoPage, IDC_MOVIE_FILE, movie);
  Type(kPublishPage, IDC_SAVE_DIR, L"full out\\");
  Type(kPublishPage, IDC_SAVE_NAME, L"m");
  ProjectConfig copy;
  copy.Assign(Project());
  ASSERT_TRUE(frame->ValidateProject(copy));
  EXPECT_EQ(copy.publish_config.save_dir, WorkPath(L"full out"));
  EXPECT_EQ(GetOutputPaths(copy.publish_config).movie, WorkPath(L"full out\\m.swf"));
  EXPECT_EQ(Project().publish_config.save_dir, L"full out\\");
  EXPECT_TRUE(PathIsDirectoryW(WorkPath(L"full out").c_str()));
}

TEST_F(FrameTest, AbortWhileIdleAndTheIdlePublishPage) {
  Open();
  Click(kPublishPage, IDC_ABORT);
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"Not ready to abort conversion"});
  EXPECT_TRUE(IsWindowEnabled(Control(kPublishPage, IDC_START)));
  EXPECT_FALSE(IsWindowEnabled(Control(kPublishPage, IDC_ABORT)));
  EXPECT_EQ(GetWindowTextString(Control(kPublishPage, IDC_TIME_LEFT)), L"");
  // A stray graph event while idle does nothing.
  frame->OnGraphEvent(EC_COMPLETE, 0, 0);
  frame->OnGraphEvent(EC_ERRORABORT, 0, 0);
  EXPECT_EQ(RecordedErrors().Boxes().size(), 1u);
  EXPECT_TRUE(user.Boxes().empty());
}

TEST_F(FrameTest, OpenOfAMissingFileAndACancelledChooser) {
  Open();
  Command(ID_FILE_OPEN);  // no choice scripted: cancelled
  EXPECT_EQ(user.ChoosersShown(), 1);
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
  user.Choose(WorkPath(L"absent.xml"));
  Command(ID_FILE_OPEN);
  EXPECT_EQ(ErrorBoxes(), std::vector<std::wstring>{L"Project file " + WorkPath(L"absent.xml") + L" doesn't exist"});
  EXPECT_EQ(Title(), kUntitledTitle);
}

}  // namespace
