#pragma once
// Window objects and sub-classing. A Window owns the handle of one window and is found again from
// the handle through the window's user data; one static procedure routes every message to the
// object. A SubClass link lets several handler objects see the messages of an existing window
// before its own procedure does.

#include <windows.h>

#include <string>
#include <vector>

#include "common/rect.h"

class Window {
 public:
  Window() = default;
  // Destroying the object leaves its window alive, but the window forgets the object: later
  // messages go to DefWindowProcW.
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND GetHandle() const { return handle_; }
  Window& SetHandle(HWND handle);

  Rect GetRectInParent() const;
  Rect GetClientRect() const;
  void Move(const Rect& rect);

  // A class whose procedure is WindowProcThunk. A null module means the program's own; the icon
  // and the menu resource are optional.
  static ATOM RegisterClass(UINT style, HCURSOR cursor, HBRUSH background, const wchar_t* className,
                            HINSTANCE module, HICON icon = nullptr, const wchar_t* menuName = nullptr);
  // CreateWindowExW with this object as the creation parameter.
  HWND Create(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x, int y,
              int width, int height, HWND parent, HMENU menu, HINSTANCE module);

  // The object stored in a window's user data, or null.
  static Window* FromHandle(HWND window);
  static LRESULT CALLBACK WindowProcThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Every message of a window made through Create, WM_NCCREATE included.
  virtual LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // Stores the object in the window's user data and keeps the handle (WM_NCCREATE, WM_INITDIALOG).
  static void Bind(HWND window, Window* object);
  // Forgets the window once it is gone (WM_NCDESTROY), so the object never holds a stale handle.
  static void Unbind(HWND window);

 private:
  HWND handle_ = nullptr;
};

// The handler of a sub-classing link.
class IWndProc {
 public:
  virtual ~IWndProc() = default;
  virtual LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// An IWndProc that forwards to a member function of its owner; DefWindowProcW while unset.
template <class Owner>
class WindowHandler : public IWndProc {
 public:
  using Handler = LRESULT (Owner::*)(HWND, UINT, WPARAM, LPARAM);

  WindowHandler() = default;
  WindowHandler(Owner* owner, Handler handler) : owner_(owner), handler_(handler) {}
  void SetHandler(Owner* owner, Handler handler) {
    owner_ = owner;
    handler_ = handler;
  }

  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (owner_ && handler_) return (owner_->*handler_)(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
  }

 private:
  Owner* owner_ = nullptr;
  Handler handler_ = nullptr;
};

// The window property that names the newest link of a window's chain.
extern const wchar_t SubClassPropertyName[];

// One link of a window's sub-classing chain. The newest link sees a message first; each handler
// passes it on with CallNext, down to the window's own procedure. A link must not move while linked.
class SubClass {
 public:
  // Links the handler in front of the window's chain; stays inert (and Detach does nothing) for a
  // dead window, a null handler or a chain that something else has broken.
  SubClass(HWND window, IWndProc* handler);
  // Detaches a linked record.
  ~SubClass();
  SubClass(const SubClass&) = delete;
  SubClass& operator=(const SubClass&) = delete;

  // Unlinks the record; it is inert afterwards, so a second Detach does nothing.
  void Detach();
  bool IsLinked() const { return window_ != nullptr; }

  // Passes a message to the next older link, or to the window's own procedure from the oldest.
  LRESULT CallNext(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  static LRESULT CALLBACK SubClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HWND window_ = nullptr;
  IWndProc* handler_ = nullptr;
  WNDPROC oldProc_ = nullptr;  // only in the oldest link
  SubClass* newer_ = nullptr;
  SubClass* older_ = nullptr;
};

// Text results are empty on failure.
std::wstring GetModulePath(HMODULE module);
// Without the trailing backslash.
std::wstring GetModuleFolder(HMODULE module);
std::wstring GetModuleName(HMODULE module, bool withoutExtension);
std::wstring GetWindowTextString(HWND window);
std::wstring GetWindowClassString(HWND window);
// The direct children only.
void GetChildWindows(HWND parent, std::vector<HWND>& children);
BOOL CALLBACK GetChildWindowsCallback(HWND window, LPARAM context);
Rect GetWindowRectOnScreen(HWND window);
// In the parent's client coordinates; screen coordinates for a top-level window.
Rect GetWindowRectInParent(HWND window);
Rect GetClientRectOf(HWND window);
