#include "app/converter/source/tabs.h"

#include <mmsystem.h>

#include <algorithm>

#include "app/converter/source/choosers.h"
#include "app/converter/source/frame.h"
#include "app/converter/source/resource.h"
#include "app/converter/source/swfgen.h"
#include "common/duration.h"
#include "common/format.h"
#include "common/strutil.h"

namespace {

constexpr int kProgressMax = 100;
// The page sits 2 pixels left of the tab control's display area, flush with its border.
constexpr int kPageLeftShift = 2;
// Selected and not-selected tab icons, one pair per possible page.
constexpr int kTabIconPairs = 6;

const wchar_t kNoTimeLeft[] = L"00:00";

}  // namespace

const Dialog::ComboEntries& BitrateList() {
  static const Dialog::ComboEntries list = [] {
    Dialog::ComboEntries entries = {{0, L"Auto"}};
    for (int rate : {50, 100, 200, 300, 400, 500, 600, 700, 800, 1000}) {
      entries.emplace_back(rate, FormatInt(rate) + L" kbps");
    }
    return entries;
  }();
  return list;
}

std::wstring BitrateLabel(int bitrate) {
  for (const auto& [value, text] : BitrateList()) {
    if (value == bitrate) return text;
  }
  return FormatInt(bitrate) + L" kbps";
}

int ParseBitrate(const std::wstring& text) {
  const std::wstring token = FirstToken(text);
  for (const auto& [value, label] : BitrateList()) {
    if (label == token) return value;
  }
  return ToInt(token.substr(0, token.find(L"kbps")));
}

std::wstring FormatInt(int value, const wchar_t* format) { return Format(format, value); }

std::wstring TimeLeftText(uint32_t elapsedMs, int32_t percent) {
  if (percent <= 1) return kNoTimeLeft;
  // In 64 bits: hours of elapsed time times the remaining percent overflow 32.
  const uint64_t leftMs = static_cast<uint64_t>(elapsedMs) * static_cast<uint64_t>(100 - percent) /
                          static_cast<uint64_t>(percent);
  return Duration(static_cast<int64_t>(leftMs)).ToString(false, false);
}

TabDialog::TabDialog(WORD templateId, TabControl* owner, ProjectConfig* edited)
    : Dialog(templateId, nullptr), tabs(owner), project(edited) {}

void TabDialog::Refresh(int) {}

void TabDialog::Reload() {
  DataToControls(GetHandle());
  UpdateControls(GetHandle());
}

VideoDialog::VideoDialog(TabControl* owner, ProjectConfig* edited) : TabDialog(IDD_VIDEO, owner, edited) {
  GetFormatList(formats_);
}

INT_PTR VideoDialog::OnInitDialog(HWND dialog, WPARAM, LPARAM) {
  DataToControls(dialog);
  UpdateControls(dialog);
  return 1;
}

void VideoDialog::DataToControls(HWND dialog) {
  // Setting a control notifies the page, which stores what the control holds at that moment (an
  // emptied combo box included): work from a copy and put it back.
  const VideoConfig video = project->video_config;
  SetItemText(dialog, IDC_MOVIE_FILE, video.video_file);
  FillCombo(dialog, IDC_FORMAT, formats_, video.format);
  FillCombo(dialog, IDC_BITRATE, BitrateList(), video.bitrate);
  // A rate outside the list shows as text.
  SetItemText(dialog, IDC_BITRATE, BitrateLabel(video.bitrate));
  SetDlgItemInt(dialog, IDC_KEY_FRAME_INTERVAL, static_cast<UINT>(video.key_frame_interval), FALSE);
  TrackBar quality;
  quality.Attach(dialog, IDC_QUALITY);
  quality.SetRange(kQualityMin, kQualityMax, true);
  quality.SetPos(video.quality, true);
  project->video_config = video;
}

void VideoDialog::UpdateControls(HWND dialog) {
  const VideoConfig& video = project->video_config;
  const bool vp6 = video.format == kFormatVp6;
  EnableWindow(GetDlgItem(dialog, IDC_BITRATE), vp6);
  EnableWindow(GetDlgItem(dialog, IDC_KEY_FRAME_INTERVAL), vp6);
  EnableWindow(GetDlgItem(dialog, IDC_QUALITY), vp6 && video.bitrate == 0);
}

INT_PTR VideoDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_HSCROLL) return TabDialog::DialogProc(dialog, message, wParam, lParam);
  TrackBar quality;
  quality.Attach(dialog, IDC_QUALITY);
  project->video_config.quality = quality.GetPos();
  tabs->NotifyProjectChanged();
  return 1;
}

INT_PTR VideoDialog::OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  VideoConfig& video = project->video_config;
  const int notification = HIWORD(wParam);
  switch (LOWORD(wParam)) {
    case IDC_FORMAT:
      if (notification != CBN_SELCHANGE) return 0;
      GetComboSelection(dialog, IDC_FORMAT, formats_, video.format);
      UpdateControls(dialog);
      break;
    case IDC_MOVIE_FILE:
      if (notification != EN_CHANGE) return 0;
      video.video_file = GetItemText(dialog, IDC_MOVIE_FILE);
      break;
    case IDC_MOVIE_BROWSE:
      return ChooseMovieFile(dialog, wParam);
    case IDC_BITRATE:
      switch (notification) {
        case CBN_SELCHANGE:
          GetComboSelection(dialog, IDC_BITRATE, BitrateList(), video.bitrate);
          break;
        case CBN_EDITCHANGE:
          video.bitrate = ParseBitrate(GetItemText(dialog, IDC_BITRATE));
          break;
        case CBN_KILLFOCUS:
          SetItemText(dialog, IDC_BITRATE, BitrateLabel(video.bitrate));
          return 1;
        default:
          return 0;
      }
      UpdateControls(dialog);
      break;
    case IDC_KEY_FRAME_INTERVAL: {
      if (notification != EN_CHANGE) return 0;
      BOOL number = FALSE;
      const UINT interval = GetDlgItemInt(dialog, IDC_KEY_FRAME_INTERVAL, &number, FALSE);
      video.key_frame_interval = number ? static_cast<int>(interval) : 0;
      break;
    }
    default:
      return TabDialog::OnCommand(dialog, wParam, lParam);
  }
  tabs->NotifyProjectChanged();
  return 1;
}

AudioDialog::AudioDialog(TabControl* owner, ProjectConfig* edited) : TabDialog(IDD_AUDIO, owner, edited) {}

INT_PTR AudioDialog::OnInitDialog(HWND dialog, WPARAM, LPARAM) {
  DataToControls(dialog);
  UpdateControls(dialog);
  return 1;
}

void AudioDialog::DataToControls(HWND dialog) {
  const AudioConfig audio = project->audio_config;
  CheckItem(dialog, IDC_AUDIO_NONE, audio.audio_type == kAudioNone);
  CheckItem(dialog, IDC_AUDIO_MOVIE, audio.audio_type == kAudioFromMovie);
  CheckItem(dialog, IDC_AUDIO_SEPARATE, audio.audio_type == kAudioFromFile);
  SetItemText(dialog, IDC_AUDIO_FILE, audio.audio_file);
  project->audio_config = audio;
}

void AudioDialog::UpdateControls(HWND dialog) {
  const bool separate = project->audio_config.audio_type == kAudioFromFile;
  EnableWindow(GetDlgItem(dialog, IDC_AUDIO_FILE), separate);
  EnableWindow(GetDlgItem(dialog, IDC_AUDIO_BROWSE), separate);
}

INT_PTR AudioDialog::OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  AudioConfig& audio = project->audio_config;
  const int notification = HIWORD(wParam);
  switch (LOWORD(wParam)) {
    case IDC_AUDIO_FILE:
      if (notification != EN_CHANGE) return 0;
      audio.audio_file = GetItemText(dialog, IDC_AUDIO_FILE);
      break;
    case IDC_AUDIO_BROWSE:
      return ChooseAudioFile(dialog, wParam);
    case IDC_AUDIO_NONE:
    case IDC_AUDIO_MOVIE:
    case IDC_AUDIO_SEPARATE:
      if (notification != BN_CLICKED) return 0;
      if (IsItemChecked(dialog, IDC_AUDIO_NONE)) audio.audio_type = kAudioNone;
      if (IsItemChecked(dialog, IDC_AUDIO_MOVIE)) audio.audio_type = kAudioFromMovie;
      if (IsItemChecked(dialog, IDC_AUDIO_SEPARATE)) audio.audio_type = kAudioFromFile;
      UpdateControls(dialog);
      break;
    default:
      return TabDialog::OnCommand(dialog, wParam, lParam);
  }
  tabs->NotifyProjectChanged();
  return 1;
}

PublishDialog::PublishDialog(TabControl* owner, ProjectConfig* edited) : TabDialog(IDD_PUBLISH, owner, edited) {}

INT_PTR PublishDialog::OnInitDialog(HWND dialog, WPARAM, LPARAM) {
  DataToControls(dialog);
  UpdateControls(dialog);
  SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, kProgressMax));
  return 1;
}

void PublishDialog::DataToControls(HWND dialog) {
  const PublishConfig publish = project->publish_config;
  SetItemText(dialog, IDC_SAVE_DIR, publish.save_dir);
  SetItemText(dialog, IDC_SAVE_NAME, publish.save_name);
  CheckItem(dialog, IDC_ADD_CONTROL, publish.add_control);
  CheckItem(dialog, IDC_CREATE_HTML, publish.create_html);
  project->publish_config = publish;
}

INT_PTR PublishDialog::OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  PublishConfig& publish = project->publish_config;
  const int notification = HIWORD(wParam);
  switch (LOWORD(wParam)) {
    case IDC_SAVE_DIR:
      if (notification != EN_CHANGE) return 0;
      publish.save_dir = GetItemText(dialog, IDC_SAVE_DIR);
      break;
    case IDC_SAVE_NAME:
      if (notification != EN_CHANGE) return 0;
      publish.save_name = GetItemText(dialog, IDC_SAVE_NAME);
      break;
    case IDC_ADD_CONTROL:
      publish.add_control = IsItemChecked(dialog, IDC_ADD_CONTROL);
      break;
    case IDC_CREATE_HTML:
      publish.create_html = IsItemChecked(dialog, IDC_CREATE_HTML);
      break;
    case IDC_SAVE_DIR_BROWSE:
      return ChooseFolder(dialog, wParam);
    case IDC_START:
      tabs->GetFrame()->StartConversion();
      return 1;
    case IDC_ABORT:
      tabs->GetFrame()->AbortConversion();
      return 1;
    default:
      return TabDialog::OnCommand(dialog, wParam, lParam);
  }
  tabs->NotifyProjectChanged();
  return 1;
}

void PublishDialog::Refresh(int flags) {
  HWND dialog = GetHandle();
  const ConversionState& conversion = tabs->GetConversion();
  const bool running = conversion.builder.IsValid();
  if (flags & kRefreshState) {
    EnableWindow(GetDlgItem(dialog, IDC_START), !running);
    EnableWindow(GetDlgItem(dialog, IDC_ABORT), running);
    SetItemText(dialog, IDC_TIME_LEFT, running ? kNoTimeLeft : L"");
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
  }
  if (flags & kRefreshTick) {
    const int32_t percent = running ? conversion.builder->GetProgress() : 0;
    const std::wstring left =
        running ? TimeLeftText(timeGetTime() - conversion.start_time, percent) : std::wstring(kNoTimeLeft);
    SetItemText(dialog, IDC_TIME_LEFT, left);
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
  }
}

TabControl::TabControl(Frame* owner, const Rect& rect)
    : WindowHandler<TabControl>(this, &TabControl::HandleMessage), frame(owner) {
  // A program that never made a common control has not registered the tab control's class.
  InitCommonControlClasses();
  HWND parent = frame->GetHandle();
  HWND tab = Create(WS_EX_NOPARENTNOTIFY, WC_TABCONTROLW, L"",
                    WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_MULTILINE | TCS_HOTTRACK |
                        TCS_FOCUSONBUTTONDOWN,
                    rect.left, rect.top, rect.width, rect.height, parent, nullptr, nullptr);
  SetHandle(tab);
  subclass = std::make_unique<SubClass>(parent, static_cast<IWndProc*>(this));
  SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), TRUE);

  ProjectConfig* edited = frame->GetProject();
  // Made first so that the Frame can reach it, shown third.
  publish_page = CountedPtr<PublishDialog>(new PublishDialog(this, edited));
  AddPage(CountedPtr<TabDialog>(new VideoDialog(this, edited)), L"Video");
  AddPage(CountedPtr<TabDialog>(new AudioDialog(this, edited)), L"Audio");
  AddPage(CountedPtr<TabDialog>(publish_page), L"Publish");
  SendMessageW(tab, TCM_SETCURSEL, 0, 0);
  UpdatePages();
}

TabControl::~TabControl() {
  if (GetHandle() && IsWindow(GetHandle())) DestroyWindow(GetHandle());
  icons.clear();
  subclass.reset();
  pages.clear();
  publish_page = CountedPtr<PublishDialog>();
}

void TabControl::AddPage(const CountedPtr<TabDialog>& page, const wchar_t* title) {
  HWND tab = GetHandle();
  if (icons.empty()) {
    for (int i = 0; i < kTabIconPairs; ++i) {
      const int selected = images.Add(IDI_TAB_SELECTED + i);
      icons.emplace_back(selected, images.Add(IDI_TAB_NORMAL + i));
    }
  }
  if (pages.empty() && !SendMessageW(tab, TCM_GETIMAGELIST, 0, 0)) {
    SendMessageW(tab, TCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.GetHandle()));
  }
  const size_t index = pages.size();
  TCITEMW item = {};
  item.mask = TCIF_TEXT | TCIF_IMAGE;
  item.pszText = const_cast<wchar_t*>(title);
  item.iImage = index < icons.size() ? icons[index].second : -1;
  SendMessageW(tab, TCM_INSERTITEMW, index, reinterpret_cast<LPARAM>(&item));

  pages.push_back(page);
  page->Create(tab);
  const Rect natural = GetWindowRectInParent(page->GetHandle());
  largest_page.cx = std::max<LONG>(largest_page.cx, natural.width);
  largest_page.cy = std::max<LONG>(largest_page.cy, natural.height);
  PlacePage(*page);
}

void TabControl::PlacePage(TabDialog& page) {
  const Rect area = GetRectInParent();
  RECT offsets = {};
  SendMessageW(GetHandle(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&offsets));
  page.Move(Rect{offsets.left - kPageLeftShift, offsets.top, area.width - offsets.left + kPageLeftShift,
                 area.height - offsets.top});
}

SIZE TabControl::GetNeededSize() const {
  RECT needed = {0, 0, largest_page.cx, largest_page.cy};
  SendMessageW(GetHandle(), TCM_ADJUSTRECT, TRUE, reinterpret_cast<LPARAM>(&needed));
  return SIZE{needed.right - needed.left, needed.bottom - needed.top};
}

void TabControl::Place(const Rect& rect) {
  Move(rect);
  for (const auto& page : pages) PlacePage(*page);
}

int TabControl::RefreshPages(int flags) {
  for (const auto& page : pages) page->Refresh(flags);
  return static_cast<int>(pages.size());
}

void TabControl::ReloadPages() {
  for (const auto& page : pages) page->Reload();
}

void TabControl::NotifyProjectChanged() { frame->RefreshTitle(); }

const ConversionState& TabControl::GetConversion() const { return frame->GetConversion(); }

LRESULT TabControl::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY) {
    NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
    if (header && header->hwndFrom == GetHandle()) return OnNotify(window, wParam, header);
  }
  return subclass->CallNext(window, message, wParam, lParam);
}

LRESULT TabControl::OnNotify(HWND window, WPARAM wParam, NMHDR* header) {
  switch (header->code) {
    case TCN_SELCHANGING:
      return OnSelChanging();
    case TCN_SELCHANGE:
      UpdatePages();
      return 0;
    default:
      return subclass->CallNext(window, WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(header));
  }
}

LRESULT TabControl::OnSelChanging() {
  const LRESULT current = SendMessageW(GetHandle(), TCM_GETCURSEL, 0, 0);
  if (current < 0 || current >= static_cast<LRESULT>(pages.size())) return 0;
  NMHDR header = {};
  header.hwndFrom = GetHandle();
  header.idFrom = static_cast<UINT_PTR>(GetWindowLongPtrW(GetHandle(), GWLP_ID));
  header.code = PSN_KILLACTIVE;
  return SendMessageW(pages[static_cast<size_t>(current)]->GetHandle(), WM_NOTIFY, header.idFrom,
                      reinterpret_cast<LPARAM>(&header));
}

void TabControl::UpdatePages() {
  const LRESULT selected = SendMessageW(GetHandle(), TCM_GETCURSEL, 0, 0);
  for (size_t i = 0; i < pages.size(); ++i) {
    const bool current = static_cast<LRESULT>(i) == selected;
    TCITEMW item = {};
    item.mask = TCIF_IMAGE;
    item.iImage = i < icons.size() ? (current ? icons[i].first : icons[i].second) : -1;
    SendMessageW(GetHandle(), TCM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    SetWindowPos(pages[i]->GetHandle(), current ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | (current ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
  }
}
