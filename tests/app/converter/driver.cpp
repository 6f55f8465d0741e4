// Drives the shipped converter.exe as a user would: opens a project through File > Open and the
// system's "Open" dialog, selects the Publish tab, clicks Start, reads the box that ends the
// conversion (answering a warning before it), and closes box and window.
//
//   converter_driver <converter.exe> <project.xml> [--hold <file>] [-- <converter arguments>]
//
// With --hold the final box stays open until <file> exists (a screenshot is taken meanwhile); the
// driver prints "frame x y width height" of the main window, "box x y width height" of the box and
// "caption r g b", the colour of an active title bar. Prints "box <caption>: <text>" of each box
// and exits 0 when the last was "Larkspan" / "All tasks done!" and the program ended by itself.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/converter/source/resource.h"
#include "common/strutil.h"
#include "common/window.h"
#include "tests/support/dialog_driver.h"

namespace {

constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kConversionTimeoutMs = 240000;
constexpr DWORD kHoldTimeoutMs = 120000;

// The window that has the keyboard focus in the thread that owns the given window.
HWND FocusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  const DWORD thread = GetWindowThreadProcessId(window, nullptr);
  return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

bool WaitForTitle(HWND frame, const std::wstring& title, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline) {
    if (GetWindowTextString(frame) == title) return true;
    Sleep(50);
  }
  return false;
}

struct ChildSearch {
  int id;
  HWND found;
};

BOOL CALLBACK FindChildById(HWND window, LPARAM context) {
  ChildSearch* search = reinterpret_cast<ChildSearch*>(context);
  if (GetDlgCtrlID(window) != search->id || GetWindowClassString(window) != L"Button") return TRUE;
  search->found = window;
  return FALSE;
}

int Fail(const char* what) {
  std::printf("driver: %s\n", what);
  std::fflush(stdout);
  return 1;
}

}  // namespace

int main() {
  std::vector<std::wstring> arguments;
  if (!SplitCommandLine(GetCommandLineW(), arguments)) return Fail("cannot read the command line");
  if (arguments.size() < 3) {
    return Fail("usage: converter_driver <converter.exe> <project.xml> [--hold <file>] [-- args]");
  }
  const std::wstring program = arguments[1];
  const std::wstring project = arguments[2];
  std::wstring holdFile;
  std::wstring commandLine = L"\"" + program + L"\"";
  for (size_t i = 3; i < arguments.size(); ++i) {
    if (arguments[i] == L"--hold" && i + 1 < arguments.size()) {
      holdFile = arguments[++i];
    } else if (arguments[i] == L"--") {
      for (++i; i < arguments.size(); ++i) commandLine += L" \"" + arguments[i] + L"\"";
    }
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return Fail("cannot start the converter");
  }
  CloseHandle(process.hThread);
  const DWORD id = process.dwProcessId;
  auto stop = [&](const char* what) {
    TerminateProcess(process.hProcess, 2);
    CloseHandle(process.hProcess);
    return Fail(what);
  };

  HWND frame = WaitForWindow(id, L"Frame", nullptr, kStartTimeoutMs);
  if (!frame) return stop("no main window");

  // File > Open; the dialog is modal, so the command is posted.
  PostMessageW(frame, WM_COMMAND, MAKEWPARAM(ID_FILE_OPEN, 0), 0);
  HWND open = WaitForDialogBox(id, L"Open", kStartTimeoutMs);
  if (!open) return stop("no Open dialog");
  HWND focus = nullptr;
  for (int i = 0; i < 100 && !(focus = FocusOf(open)); ++i) Sleep(50);
  if (!focus) return stop("nothing focused in the Open dialog");
  SendMessageW(focus, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(project.c_str()));
  PostMessageW(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  if (!WaitForTitle(frame, L"Larkspan - " + project, kStartTimeoutMs)) return stop("the project did not open");

  // The Publish tab; Wine sends the tab control's notifications for TCM_SETCURFOCUS.
  HWND tab = FindWindowExW(frame, nullptr, WC_TABCONTROLW, nullptr);
  if (!tab) return stop("no tab control");
  SendMessageW(tab, TCM_SETCURFOCUS, 2, 0);
  ChildSearch start{IDC_START, nullptr};
  EnumChildWindows(tab, FindChildById, reinterpret_cast<LPARAM>(&start));
  if (!start.found || !IsWindowVisible(start.found)) return stop("no Start button on a shown Publish page");
  PostMessageW(GetParent(start.found), WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
               reinterpret_cast<LPARAM>(start.found));

  // The run ends with "All tasks done!", after a warning of where a cut movie ends, or with the
  // error box; either final box is held for the screenshot.
  HWND box = nullptr;
  std::wstring caption;
  const ULONGLONG deadline = GetTickCount64() + kConversionTimeoutMs;
  while (!box && GetTickCount64() < deadline) {
    box = WaitForDialogBox(id, nullptr, static_cast<DWORD>(deadline - GetTickCount64()));
    caption = box ? GetWindowTextString(box) : std::wstring();
    if (caption != L"Warning") continue;
    std::printf("box Warning: %ls\n", GetWindowTextString(GetDlgItem(box, 0xFFFF)).c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    box = nullptr;
  }
  if (!box) return stop("no box ended the conversion");
  const std::wstring text = GetWindowTextString(GetDlgItem(box, 0xFFFF));
  std::printf("box %ls: %ls\n", caption.c_str(), text.c_str());
  std::fflush(stdout);
  if (!holdFile.empty()) {
    const Rect place = GetWindowRectOnScreen(frame);
    const Rect boxPlace = GetWindowRectOnScreen(box);
    const COLORREF caption = GetSysColor(COLOR_ACTIVECAPTION);
    std::printf("box %d %d %d %d\ncaption %d %d %d\n", boxPlace.left, boxPlace.top, boxPlace.width, boxPlace.height,
                GetRValue(caption), GetGValue(caption), GetBValue(caption));
    // Last: the demo waits for this line.
    std::printf("frame %d %d %d %d\n", place.left, place.top, place.width, place.height);
    std::fflush(stdout);
    const ULONGLONG deadline = GetTickCount64() + kHoldTimeoutMs;
    while (GetFileAttributesW(holdFile.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < deadline) Sleep(100);
  }
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
  PostMessageW(frame, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, kStartTimeoutMs) != WAIT_OBJECT_0) {
    return stop("the converter did not exit");
  }
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hProcess);
  if (exitCode != 0) return Fail("the converter exited with an error");
  return caption == L"Larkspan" && text == L"All tasks done!" ? 0 : Fail("the conversion did not finish");
}
