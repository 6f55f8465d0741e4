// Stand-in for the outside screen recorder, for tests only: a main window with the recorder's
// title that logs how it was started and every command it receives, and quits on the exit command.
// The log file is named by the RECORDER_LOG environment variable; each line is appended and the
// file closed again, so a test may read it while the program runs.

#include <windows.h>

#include <string>

#include "common/handle.h"
#include "common/format.h"
#include "common/strutil.h"
#include "common/window.h"

namespace {

constexpr wchar_t kClassName[] = L"RecorderStandIn";
constexpr wchar_t kTitle[] = L"Quillory";
constexpr WORD kExitCommand = 0x803C;

void Log(const std::wstring& line) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"RECORDER_LOG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::string text = ToNarrowString(line + L"\r\n", kUtf8CodePage);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  HandleGuard guard(CloseHandle, file);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

class RecorderWindow : public Window {
 public:
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case WM_COMMAND:
        Log(Format(L"command %u", static_cast<unsigned>(LOWORD(wParam))));
        if (LOWORD(wParam) == kExitCommand) DestroyWindow(window);
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
  }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int showCommand) {
  Log(L"command_line " + std::wstring(GetCommandLineW()));
  wchar_t folder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, folder);
  Log(L"folder " + std::wstring(folder));
  Log(Format(L"show %d", showCommand));

  Window::RegisterClass(0, LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), kClassName,
                        nullptr);
  RecorderWindow recorder;
  if (!recorder.Create(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr,
                       nullptr, nullptr)) {
    return 1;
  }
  ShowWindow(recorder.GetHandle(), showCommand);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
