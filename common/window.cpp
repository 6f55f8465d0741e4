#include "common/window.h"

#include <shlwapi.h>

#include "common/module.h"
#include "common/strutil.h"

const wchar_t SubClassPropertyName[] = L"SubClass";

namespace {

struct ChildSearch {
  HWND parent;
  std::vector<HWND>* children;
};

}  // namespace

Window::~Window() {
  // A window that outlives its object must not route messages into freed memory.
  if (handle_ && FromHandle(handle_) == this) SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
}

Window& Window::SetHandle(HWND handle) {
  handle_ = handle;
  return *this;
}

Rect Window::GetRectInParent() const { return GetWindowRectInParent(handle_); }

Rect Window::GetClientRect() const { return GetClientRectOf(handle_); }

void Window::Move(const Rect& rect) { MoveWindow(handle_, rect.left, rect.top, rect.width, rect.height, TRUE); }

ATOM Window::RegisterClass(UINT style, HCURSOR cursor, HBRUSH background, const wchar_t* className,
                           HINSTANCE module, HICON icon, const wchar_t* menuName) {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = style;
  windowClass.lpfnWndProc = WindowProcThunk;
  windowClass.hInstance = OrProgram(module);
  windowClass.hIcon = icon;
  windowClass.hCursor = cursor;
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = className;
  windowClass.lpszMenuName = menuName;
  return RegisterClassExW(&windowClass);
}

HWND Window::Create(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x, int y,
                    int width, int height, HWND parent, HMENU menu, HINSTANCE module) {
  return CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent, menu,
                         OrProgram(module), this);
}

Window* Window::FromHandle(HWND window) {
  return window ? reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA)) : nullptr;
}

void Window::Bind(HWND window, Window* object) {
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
  if (object) object->SetHandle(window);
}

void Window::Unbind(HWND window) {
  Window* object = FromHandle(window);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  if (object && object->handle_ == window) object->handle_ = nullptr;
}

LRESULT CALLBACK Window::WindowProcThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    Bind(window, static_cast<Window*>(create->lpCreateParams));
  }
  Window* object = FromHandle(window);
  if (!object) return DefWindowProcW(window, message, wParam, lParam);
  const LRESULT result = object->WndProc(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) Unbind(window);
  return result;
}

LRESULT Window::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

SubClass::SubClass(HWND window, IWndProc* handler) {
  if (!window || !IsWindow(window) || !handler) return;
  SubClass* newest = static_cast<SubClass*>(GetPropW(window, SubClassPropertyName));
  const bool chained = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)) == SubClassProc;
  // Someone else replaced the procedure or removed the property: joining would lose messages.
  if (chained != (newest != nullptr)) return;
  if (!SetPropW(window, SubClassPropertyName, this)) return;
  window_ = window;
  handler_ = handler;
  if (newest) {
    older_ = newest;
    newest->newer_ = this;
  } else {
    oldProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubClassProc)));
  }
}

SubClass::~SubClass() { Detach(); }

void SubClass::Detach() {
  if (!window_ || !handler_) return;
  // Exactly one of the two marks where the link sits: the oldest keeps the procedure.
  if ((oldProc_ != nullptr) == (older_ != nullptr)) return;
  if (IsWindow(window_)) {
    if (!newer_ && !older_) {
      SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(oldProc_));
      RemovePropW(window_, SubClassPropertyName);
    } else if (!newer_) {
      SetPropW(window_, SubClassPropertyName, older_);
    }
  }
  if (newer_) {
    newer_->older_ = older_;
    if (!older_) newer_->oldProc_ = oldProc_;
  }
  if (older_) older_->newer_ = newer_;
  window_ = nullptr;
  handler_ = nullptr;
  oldProc_ = nullptr;
  newer_ = nullptr;
  older_ = nullptr;
}

LRESULT SubClass::CallNext(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (oldProc_) return CallWindowProcW(oldProc_, window, message, wParam, lParam);
  if (older_ && older_->handler_) return older_->handler_->WndProc(window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK SubClass::SubClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SubClass* newest = static_cast<SubClass*>(GetPropW(window, SubClassPropertyName));
  if (newest && newest->handler_) return newest->handler_->WndProc(window, message, wParam, lParam);
  return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring GetModulePath(HMODULE module) {
  return ReadGrowing(MAX_PATH, [module](wchar_t* buffer, int size) {
    return static_cast<int>(GetModuleFileNameW(module, buffer, static_cast<DWORD>(size)));
  });
}

std::wstring GetModuleFolder(HMODULE module) {
  std::wstring path = GetModulePath(module);
  if (path.empty()) return path;
  PathRemoveFileSpecW(path.data());
  PathRemoveBackslashW(path.data());
  path.resize(wcslen(path.c_str()));
  return path;
}

std::wstring GetModuleName(HMODULE module, bool withoutExtension) {
  const std::wstring path = GetModulePath(module);
  if (path.empty()) return path;
  std::wstring name = PathFindFileNameW(path.c_str());
  if (withoutExtension) {
    PathRemoveExtensionW(name.data());
    name.resize(wcslen(name.c_str()));
  }
  return name;
}

std::wstring GetWindowTextString(HWND window) {
  return ReadGrowing(256, [window](wchar_t* buffer, int size) { return GetWindowTextW(window, buffer, size); });
}

std::wstring GetWindowClassString(HWND window) {
  return ReadGrowing(256, [window](wchar_t* buffer, int size) { return GetClassNameW(window, buffer, size); });
}

BOOL CALLBACK GetChildWindowsCallback(HWND window, LPARAM context) {
  ChildSearch* search = reinterpret_cast<ChildSearch*>(context);
  if (GetParent(window) == search->parent) search->children->push_back(window);
  return TRUE;
}

void GetChildWindows(HWND parent, std::vector<HWND>& children) {
  children.clear();
  ChildSearch search{parent, &children};
  EnumChildWindows(parent, GetChildWindowsCallback, reinterpret_cast<LPARAM>(&search));
}

Rect GetWindowRectOnScreen(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return Rect(rect);
}

Rect GetWindowRectInParent(HWND window) {
  Rect rect = GetWindowRectOnScreen(window);
  if (HWND parent = GetAncestor(window, GA_PARENT); parent && parent != GetDesktopWindow()) {
    POINT corner = {rect.left, rect.top};
    ScreenToClient(parent, &corner);
    rect.left = corner.x;
    rect.top = corner.y;
  }
  return rect;
}

Rect GetClientRectOf(HWND window) {
  RECT rect = {};
  ::GetClientRect(window, &rect);
  return Rect(rect);
}
