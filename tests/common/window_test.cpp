#include "common/window.h"

#include <gtest/gtest.h>

#include <new>
#include <vector>

namespace {

constexpr UINT kPing = WM_APP + 1;
constexpr wchar_t kClassName[] = L"WindowTestClass";

// Records the messages its window receives; kPing answers with a tag.
class TestWindow : public Window {
 public:
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(message);
    if (message == kPing) return 100;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  HWND Make(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW, int x = 0, int y = 0) {
    Window::RegisterClass(0, nullptr, nullptr, kClassName, nullptr);
    return Create(0, kClassName, L"title", style, x, y, 200, 100, parent, nullptr, nullptr);
  }
  std::vector<UINT> messages;
};

bool Received(const TestWindow& window, UINT message) {
  for (UINT m : window.messages)
    if (m == message) return true;
  return false;
}

TEST(WindowThunk, RoutesMessagesToTheObject) {
  TestWindow object;
  HWND window = object.Make();
  ASSERT_TRUE(window);
  EXPECT_EQ(object.GetHandle(), window);
  EXPECT_EQ(Window::FromHandle(window), &object);
  EXPECT_TRUE(Received(object, WM_NCCREATE));
  EXPECT_EQ(SendMessageW(window, kPing, 0, 0), 100);
  DestroyWindow(window);
  // The object forgets a window that is gone.
  EXPECT_EQ(object.GetHandle(), nullptr);

  // A window that outlives its object reaches DefWindowProcW, not freed memory.
  auto* early = new TestWindow;
  window = early->Make();
  delete early;
  EXPECT_EQ(Window::FromHandle(window), nullptr);
  EXPECT_EQ(SendMessageW(window, kPing, 0, 0), 0);
  DestroyWindow(window);
}

// A pointer cut to 32 bits anywhere on the way (user data, creation parameter) loses the object.
#ifdef _WIN64
TEST(WindowThunk, ObjectAboveFourGigabytes) {
  void* memory = nullptr;
  for (uint64_t base = 0x100000000ull; !memory && base < 0x4000000000ull; base += 0x100000000ull)
    memory = VirtualAlloc(reinterpret_cast<void*>(base), sizeof(TestWindow), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  ASSERT_TRUE(memory);
  ASSERT_GT(reinterpret_cast<uintptr_t>(memory), 0xFFFFFFFFull);
  TestWindow* object = new (memory) TestWindow;
  HWND window = object->Make();
  ASSERT_TRUE(window);
  EXPECT_EQ(SendMessageW(window, kPing, 0, 0), 100);
  EXPECT_TRUE(Received(*object, kPing));
  DestroyWindow(window);
  object->~TestWindow();
  VirtualFree(memory, 0, MEM_RELEASE);
}
#endif

// A sub-classing handler that logs its tag and passes every message on.
class Logger : public IWndProc {
 public:
  Logger(int tag, std::vector<int>& log) : tag_(tag), log_(log) {}
  LRESULT WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kPing) log_.push_back(tag_);
    return link->CallNext(window, message, wParam, lParam);
  }
  SubClass* link = nullptr;

 private:
  int tag_;
  std::vector<int>& log_;
};

struct Chain {
  Chain() : older(1, log), newer(2, log) { window = own.Make(); }
  ~Chain() { DestroyWindow(window); }
  std::vector<int> Ping() {
    log.clear();
    own.messages.clear();
    const LRESULT result = SendMessageW(window, kPing, 0, 0);
    std::vector<int> seen = log;
    if (Received(own, kPing) && result == 100) seen.push_back(0);
    return seen;
  }
  WNDPROC Procedure() const { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC)); }

  TestWindow own;
  HWND window;
  std::vector<int> log;
  Logger older;
  Logger newer;
};

TEST(SubClassChain, DetachNewerFirst) {
  Chain chain;
  SubClass olderLink(chain.window, &chain.older);
  chain.older.link = &olderLink;
  SubClass newerLink(chain.window, &chain.newer);
  chain.newer.link = &newerLink;
  EXPECT_EQ(chain.Procedure(), &SubClass::SubClassProc);
  EXPECT_EQ(GetPropW(chain.window, SubClassPropertyName), &newerLink);
  EXPECT_EQ(chain.Ping(), (std::vector<int>{2, 1, 0}));

  newerLink.Detach();
  EXPECT_EQ(chain.Ping(), (std::vector<int>{1, 0}));
  newerLink.Detach();  // inert now
  EXPECT_EQ(chain.Ping(), (std::vector<int>{1, 0}));

  olderLink.Detach();
  EXPECT_EQ(chain.Procedure(), &Window::WindowProcThunk);
  EXPECT_EQ(GetPropW(chain.window, SubClassPropertyName), nullptr);
  EXPECT_EQ(chain.Ping(), (std::vector<int>{0}));
}

TEST(SubClassChain, DetachOlderFirst) {
  Chain chain;
  SubClass olderLink(chain.window, &chain.older);
  chain.older.link = &olderLink;
  {
    SubClass newerLink(chain.window, &chain.newer);
    chain.newer.link = &newerLink;
    olderLink.Detach();
    // The newer link took over the window's own procedure.
    EXPECT_EQ(chain.Ping(), (std::vector<int>{2, 0}));
  }
  // Its destructor detached it.
  EXPECT_EQ(chain.Procedure(), &Window::WindowProcThunk);
  EXPECT_EQ(GetPropW(chain.window, SubClassPropertyName), nullptr);
  EXPECT_EQ(chain.Ping(), (std::vector<int>{0}));
}

TEST(SubClassChain, RefusedAttachStaysInert) {
  Chain chain;
  SubClass noHandler(chain.window, nullptr);
  EXPECT_FALSE(noHandler.IsLinked());
  SubClass noWindow(nullptr, &chain.older);
  EXPECT_FALSE(noWindow.IsLinked());

  // Someone else put SubClassProc in place without the property.
  const LONG_PTR own = SetWindowLongPtrW(chain.window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubClass::SubClassProc));
  SubClass broken(chain.window, &chain.older);
  EXPECT_FALSE(broken.IsLinked());
  broken.Detach();
  EXPECT_EQ(chain.Procedure(), &SubClass::SubClassProc);
  SetWindowLongPtrW(chain.window, GWLP_WNDPROC, own);
  EXPECT_EQ(chain.Ping(), (std::vector<int>{0}));
}

class Owner {
 public:
  LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kPing) return 7;
    return link->CallNext(window, message, wParam, lParam);
  }
  SubClass* link = nullptr;
};

TEST(SubClassChain, WindowHandlerForwardsToAMember) {
  Chain chain;
  Owner owner;
  WindowHandler<Owner> handler(&owner, &Owner::Handle);
  SubClass link(chain.window, &handler);
  owner.link = &link;
  EXPECT_EQ(SendMessageW(chain.window, kPing, 0, 0), 7);
  EXPECT_EQ(SendMessageW(chain.window, WM_GETTEXTLENGTH, 0, 0), 5);  // "title" from the own procedure

  WindowHandler<Owner> unset;
  EXPECT_EQ(unset.WndProc(chain.window, kPing, 0, 0), 0);
}

TEST(WindowUtilities, TextsAndRectangles) {
  TestWindow parent;
  HWND top = parent.Make(nullptr, WS_OVERLAPPEDWINDOW, 30, 40);
  const std::wstring longText(300, L'a');
  SetWindowTextW(top, longText.c_str());
  EXPECT_EQ(GetWindowTextString(top), longText);
  EXPECT_EQ(GetWindowClassString(top), kClassName);

  TestWindow child;
  HWND inner = child.Make(top, WS_CHILD | WS_VISIBLE, 5, 7);
  TestWindow grandchild;
  grandchild.Make(inner, WS_CHILD | WS_VISIBLE, 1, 1);
  std::vector<HWND> children = {top};
  GetChildWindows(top, children);
  EXPECT_EQ(children, std::vector<HWND>{inner});

  const Rect inParent = GetWindowRectInParent(inner);
  EXPECT_EQ(inParent.left, 5);
  EXPECT_EQ(inParent.top, 7);
  EXPECT_EQ(inParent.width, 200);
  EXPECT_EQ(child.GetRectInParent(), inParent);
  // A top-level window's rectangle is on the screen.
  EXPECT_EQ(GetWindowRectInParent(top), GetWindowRectOnScreen(top));
  child.Move(Rect(10, 11, 50, 60));
  EXPECT_EQ(GetWindowRectInParent(inner), Rect(10, 11, 50, 60));
  EXPECT_EQ(child.GetClientRect(), Rect(0, 0, 50, 60));
  DestroyWindow(top);
}

TEST(WindowUtilities, ModuleNames) {
  const std::wstring path = GetModulePath(nullptr);
  const std::wstring folder = GetModuleFolder(nullptr);
  const std::wstring name = GetModuleName(nullptr, false);
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), L'\\');
  EXPECT_EQ(path, folder + L"\\" + name);
  EXPECT_EQ(name, L"common_ui_tests.exe");
  EXPECT_EQ(GetModuleName(nullptr, true), L"common_ui_tests");
  EXPECT_EQ(_wcsicmp(GetModuleName(GetModuleHandleW(L"kernel32.dll"), true).c_str(), L"kernel32"), 0);
}

}  // namespace
