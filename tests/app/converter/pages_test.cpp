// The tab pages in-process: what the Video page enables, typing a bitrate, switching tabs, the
// choosers behind the "..." buttons, the tab icons and the About box.

#include <windows.h>
#include <commctrl.h>

#include "app/converter/source/choosers.h"
#include "common/about.h"
#include "common/imagelist.h"
#include "common/window.h"
#include "tests/app/converter/converter_window.h"
#include "tests/support/dialog_driver.h"
#include "tests/support/errors.h"

namespace {

using PagesTest = ConverterWindow;

TEST_F(PagesTest, VideoPageEnablesByFormatAndBitrate) {
  Open();
  const struct {
    int formatPosition;  // in the format list
    int bitratePosition;  // in the bitrate list; 0 is "Auto"
    bool bitrate, interval, quality;
  } cases[] = {
      {0, 0, false, false, false},
      {0, 3, false, false, false},
      {1, 0, true, true, true},
      {1, 5, true, true, false},
  };
  for (const auto& c : cases) {
    SendMessageW(Control(kVideoPage, IDC_FORMAT), CB_SETCURSEL, c.formatPosition, 0);
    Notify(kVideoPage, IDC_FORMAT, CBN_SELCHANGE);
    SendMessageW(Control(kVideoPage, IDC_BITRATE), CB_SETCURSEL, c.bitratePosition, 0);
    Notify(kVideoPage, IDC_BITRATE, CBN_SELCHANGE);
    EXPECT_EQ(Project().video_config.format, c.formatPosition);
    EXPECT_EQ(Project().video_config.bitrate, BitrateList()[c.bitratePosition].first);
    EXPECT_EQ(IsWindowEnabled(Control(kVideoPage, IDC_BITRATE)) != 0, c.bitrate);
    EXPECT_EQ(IsWindowEnabled(Control(kVideoPage, IDC_KEY_FRAME_INTERVAL)) != 0, c.interval);
    EXPECT_EQ(IsWindowEnabled(Control(kVideoPage, IDC_QUALITY)) != 0, c.quality);
  }
  // The format list in its order, no sorting.
  wchar_t text[64] = {};
  SendMessageW(Control(kVideoPage, IDC_FORMAT), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"Screen Video (Lossless)");
  SendMessageW(Control(kVideoPage, IDC_FORMAT), CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ(text, L"Flash 8 (VP6)");
}

TEST_F(PagesTest, TypedBitrateIsStoredAndShownAsLabelOnLeaving) {
  Open();
  HWND bitrate = Control(kVideoPage, IDC_BITRATE);
  EXPECT_EQ(GetWindowTextString(bitrate), L"700 kbps");
  const struct {
    const wchar_t* typed;
    int stored;
    bool quality;
    const wchar_t* shown;
  } cases[] = {
      {L"650", 650, false, L"650 kbps"},
      {L"Auto", 0, true, L"Auto"},
      {L"fast", 0, true, L"Auto"},
      {L"1000kbps", 1000, false, L"1000 kbps"},
  };
  for (const auto& c : cases) {
    SetWindowTextW(bitrate, c.typed);
    Notify(kVideoPage, IDC_BITRATE, CBN_EDITCHANGE);
    EXPECT_EQ(Project().video_config.bitrate, c.stored) << c.typed;
    EXPECT_EQ(IsWindowEnabled(Control(kVideoPage, IDC_QUALITY)) != 0, c.quality) << c.typed;
    Notify(kVideoPage, IDC_BITRATE, CBN_KILLFOCUS);
    EXPECT_EQ(GetWindowTextString(bitrate), c.shown);
  }
  EXPECT_EQ(Title(), L"Larkspan - Untitled.xml*");

  // An empty key frame interval stores 0; the quality follows the trackbar.
  Type(kVideoPage, IDC_KEY_FRAME_INTERVAL, L"");
  EXPECT_EQ(Project().video_config.key_frame_interval, 0);
  Type(kVideoPage, IDC_KEY_FRAME_INTERVAL, L"25");
  EXPECT_EQ(Project().video_config.key_frame_interval, 25);
  SendMessageW(Control(kVideoPage, IDC_QUALITY), TBM_SETPOS, TRUE, 3);
  SendMessageW(PageWindow(kVideoPage), WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
               reinterpret_cast<LPARAM>(Control(kVideoPage, IDC_QUALITY)));
  EXPECT_EQ(Project().video_config.quality, 3);
}

TEST_F(PagesTest, SwitchingTabsKeepsEveryValue) {
  Open();
  HWND tab = frame->GetTabs()->GetHandle();
  EXPECT_EQ(SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0), 3);
  Type(kVideoPage, IDC_MOVIE_FILE, L"kept.avi");
  Type(kPublishPage, IDC_SAVE_DIR, L"C:\\kept");
  const ProjectConfig before = Project();
  for (int page : {1, 2, 0, 2, 1, 0}) {
    SendMessageW(tab, TCM_SETCURFOCUS, page, 0);
    EXPECT_EQ(SendMessageW(tab, TCM_GETCURSEL, 0, 0), page);
    for (int other = 0; other < 3; ++other) {
      EXPECT_EQ(IsWindowVisible(PageWindow(static_cast<Page>(other))) != 0, other == page) << page << " " << other;
    }
  }
  EXPECT_TRUE(Project() == before);
  EXPECT_EQ(GetWindowTextString(Control(kVideoPage, IDC_MOVIE_FILE)), L"kept.avi");
  EXPECT_EQ(GetWindowTextString(Control(kPublishPage, IDC_SAVE_DIR)), L"C:\\kept");
}

TEST_F(PagesTest, AudioPageEnablesTheFileOnlyForASeparateFile) {
  Open();
  EXPECT_TRUE(IsDlgButtonChecked(PageWindow(kAudioPage), IDC_AUDIO_MOVIE));
  EXPECT_FALSE(IsWindowEnabled(Control(kAudioPage, IDC_AUDIO_FILE)));
  for (int id : {IDC_AUDIO_SEPARATE, IDC_AUDIO_NONE, IDC_AUDIO_MOVIE}) {
    for (int radio : {IDC_AUDIO_NONE, IDC_AUDIO_MOVIE, IDC_AUDIO_SEPARATE}) {
      CheckDlgButton(PageWindow(kAudioPage), radio, radio == id ? BST_CHECKED : BST_UNCHECKED);
    }
    Click(kAudioPage, id);
    EXPECT_EQ(Project().audio_config.audio_type, id - IDC_AUDIO_NONE);
    EXPECT_EQ(IsWindowEnabled(Control(kAudioPage, IDC_AUDIO_FILE)) != 0, id == IDC_AUDIO_SEPARATE);
    EXPECT_EQ(IsWindowEnabled(Control(kAudioPage, IDC_AUDIO_BROWSE)) != 0, id == IDC_AUDIO_SEPARATE);
  }
  Click(kPublishPage, IDC_ADD_CONTROL);  // the box did not change: still checked
  EXPECT_TRUE(Project().publish_config.add_control);
  CheckDlgButton(PageWindow(kPublishPage), IDC_CREATE_HTML, BST_UNCHECKED);
  Click(kPublishPage, IDC_CREATE_HTML);
  EXPECT_FALSE(Project().publish_config.create_html);
}

TEST_F(PagesTest, ChoosersFillTheEditBoxes) {
  Open();
  user.Choose(L"C:\\films\\picked.avi");
  Click(kVideoPage, IDC_MOVIE_BROWSE);
  EXPECT_EQ(Project().video_config.video_file, L"C:\\films\\picked.avi");
  EXPECT_EQ(user.LastFlags(), static_cast<DWORD>(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY));
  EXPECT_EQ(user.LastFilter(),
            L"Movie files|*.avi;*.qt;*.mov;*.mpeg;*.mpg;*.wmv;*.asf|AVI files (*.avi)|*.avi|"
            L"QuickTime files (*.qt,*mov)|*.qt;*.mov|MPEG files (*.mpeg,*.mpg)|*.mpeg;*.mpg|"
            L"Windows Media files (*.wmv,*.asf)|*.wmv;*.asf|All files (*.*)|*.*");
  Click(kVideoPage, IDC_MOVIE_BROWSE);  // cancelled
  EXPECT_EQ(Project().video_config.video_file, L"C:\\films\\picked.avi");

  user.Choose(L"D:\\voice.mp3");
  SendMessageW(PageWindow(kAudioPage), WM_COMMAND, MAKEWPARAM(IDC_AUDIO_BROWSE, BN_CLICKED), 0);
  EXPECT_EQ(Project().audio_config.audio_file, L"D:\\voice.mp3");
  EXPECT_EQ(user.LastFilter(),
            L"MP3 files (*.mp3)|*.mp3|WAV files (*.wav)|*.wav|WMA files (*.wma)|*.wma|All Files (*.*)|*.*");
  // Other notifications of the button open nothing.
  EXPECT_EQ(ChooseAudioFile(PageWindow(kAudioPage), MAKEWPARAM(IDC_AUDIO_BROWSE, BN_SETFOCUS)), 0);
  EXPECT_EQ(user.ChoosersShown(), 3);

  const std::wstring folder = WorkPath(L"");
  user.Choose(folder);
  Click(kPublishPage, IDC_SAVE_DIR_BROWSE);
  std::wstring stored = Project().publish_config.save_dir;
  while (!stored.empty() && stored.back() == L'\\') stored.pop_back();
  std::wstring expected = folder;
  while (!expected.empty() && expected.back() == L'\\') expected.pop_back();
  EXPECT_EQ(stored, expected);
  Click(kPublishPage, IDC_SAVE_DIR_BROWSE);  // cancelled
  EXPECT_EQ(Project().publish_config.save_dir.substr(0, stored.size()), stored);
}

TEST_F(PagesTest, TabIconsMakeOneListOfTwelveSmallImages) {
  Open();
  const ImageList& images = frame->GetTabs()->GetImages();
  ASSERT_NE(images.GetHandle(), nullptr);
  EXPECT_EQ(ImageList_GetImageCount(images.GetHandle()), 12);
  int width = 0, height = 0;
  ASSERT_TRUE(ImageList_GetIconSize(images.GetHandle(), &width, &height));
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 16);
  HWND tab = frame->GetTabs()->GetHandle();
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(tab, TCM_GETIMAGELIST, 0, 0)), images.GetHandle());
  // The selected tab shows its selected picture, the others their plain one.
  for (int page = 0; page < 3; ++page) {
    TCITEMW item = {};
    item.mask = TCIF_IMAGE;
    SendMessageW(tab, TCM_GETITEMW, page, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.iImage, page == 0 ? 0 : 2 * page + 1) << page;
  }
}

// Every control of every page lies inside the tab control's display area, whatever the dialog
// font makes of the templates; the window is never smaller than 640 x 480 and keeps its margins.
TEST_F(PagesTest, EveryPageFitsTheTabControl) {
  Open();
  HWND tab = frame->GetTabs()->GetHandle();
  const Rect tabRect = GetWindowRectOnScreen(tab);
  RECT display = {tabRect.left, tabRect.top, tabRect.left + tabRect.width, tabRect.top + tabRect.height};
  SendMessageW(tab, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  for (Page page : {kVideoPage, kAudioPage, kPublishPage}) {
    std::vector<HWND> controls;
    GetChildWindows(PageWindow(page), controls);
    ASSERT_FALSE(controls.empty());
    for (HWND control : controls) {
      const Rect place = GetWindowRectOnScreen(control);
      EXPECT_TRUE(place.left >= display.left && place.top >= display.top &&
                  place.left + place.width <= display.right && place.top + place.height <= display.bottom)
          << "page " << page << ", control " << GetDlgCtrlID(control) << " at " << place.left << "," << place.top
          << " " << place.width << "x" << place.height << " outside " << display.left << "," << display.top << "-"
          << display.right << "," << display.bottom;
    }
  }
  const Rect window = GetWindowRectOnScreen(FrameWindow());
  EXPECT_GE(window.width, 640);
  EXPECT_GE(window.height, 480);
  const Rect client = frame->GetClientRect();
  const Rect inFrame = GetWindowRectInParent(tab);
  EXPECT_EQ(inFrame.left, 20);
  EXPECT_EQ(inFrame.top, 20);
  EXPECT_EQ(client.width - inFrame.width, 40);
  EXPECT_EQ(client.height - inFrame.height, 40);
}

TEST(ImageListTest, LoadsEachResourceOnceAndSizesFromTheFirst) {
  ImageList images;
  EXPECT_EQ(images.Add(12345), -1);
  EXPECT_EQ(images.GetHandle(), nullptr);
  // The program icon first: the list takes the size its icon loads at.
  HICON first = static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_LARKSPAN), IMAGE_ICON, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(first, nullptr);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(first, &info));
  BITMAP colour = {};
  GetObjectW(info.hbmColor, sizeof(colour), &colour);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  DestroyIcon(first);

  EXPECT_EQ(images.Add(IDI_LARKSPAN), 0);
  EXPECT_EQ(images.Add(IDI_TAB_VIDEO), 1);
  EXPECT_EQ(images.Add(IDI_LARKSPAN), 0);
  EXPECT_EQ(images.Add(IDI_TAB_VIDEO_OFF), 2);
  EXPECT_EQ(ImageList_GetImageCount(images.GetHandle()), 3);
  int width = 0, height = 0;
  ImageList_GetIconSize(images.GetHandle(), &width, &height);
  EXPECT_EQ(width, colour.bmWidth);
  EXPECT_EQ(height, colour.bmHeight);
}

TEST_F(PagesTest, AboutBoxShowsTheProductAndSitsOverTheWindow) {
  Open();
  std::wstring product, link;
  Rect box{}, owner = GetWindowRectOnScreen(FrameWindow());
  DialogDriver driver(L"About", [&](HWND dialog) {
    product = GetWindowTextString(GetDlgItem(dialog, IDC_ABOUT_PRODUCT));
    link = GetWindowTextString(GetDlgItem(dialog, IDC_ABOUT_LINK));
    box = GetWindowRectOnScreen(dialog);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  Command(ID_HELP_ABOUT);
  ASSERT_TRUE(driver.Wait());
  EXPECT_EQ(product, L"Larkspan Version 2.6");
  EXPECT_EQ(link, ConverterAboutContent().linkAddress);
  EXPECT_NEAR(box.left + box.width / 2, owner.left + owner.width / 2, 1);
  EXPECT_NEAR(box.top + box.height / 2, owner.top + owner.height / 2, 1);
}

}  // namespace
