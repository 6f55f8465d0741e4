#include "common/error.h"

#include <io.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "common/format.h"
#include "common/prompt.h"
#include "common/sync.h"
#include "common/text.h"
#include "tests/support/capture.h"
#include "tests/support/errors.h"
#include "tests/support/watcher.h"

namespace {

struct PromptCall {
  std::wstring text;
  std::wstring caption;
  UINT flags;
};

std::vector<PromptCall> g_prompts;

int RecordPrompt(HWND, const wchar_t* text, const wchar_t* caption, UINT flags) {
  g_prompts.push_back({text, caption, flags});
  return IDOK;
}

// Runs each test on a fresh default error stack with boxes recorded and the trace captured.
class DefaultErrorStack : public testing::Test {
 protected:
  void SetUp() override {
    g_prompts.clear();
    previousPrompt_ = SetPromptFunction(RecordPrompt);
    SetErrorHandler(CountedPtr<ErrorHandler>(new DefaultErrorHandler));
  }
  void TearDown() override {
    SetPromptFunction(previousPrompt_);
    InstallRecordingErrorHandler();
  }

  TraceCapture trace_;
  PromptFunction previousPrompt_ = nullptr;
};

}  // namespace

TEST_F(DefaultErrorStack, ShowsTheTenNewestNewestFirst) {
  for (int i = 1; i <= 11; ++i) ReportError(L"message %d", i);
  ShowError(L"");
  ASSERT_EQ(g_prompts.size(), 1u);
  std::wstring expected = L"message 11\n\n";
  for (int i = 10, number = 8; i >= 2; --i, --number) expected += Format(L"[%d] message %d\n", number, i);
  EXPECT_EQ(g_prompts[0].text, expected);
  EXPECT_EQ(g_prompts[0].caption, L"Error");
  EXPECT_EQ(g_prompts[0].flags, static_cast<UINT>(MB_ICONWARNING));
  EXPECT_FALSE(HasErrors());
  EXPECT_NE(trace_.Text().find(L"Error stack flushed\n"), std::wstring::npos);
}

TEST_F(DefaultErrorStack, EmptyShowShowsAndTracesNothing) {
  ShowError(L"");
  EXPECT_TRUE(g_prompts.empty());
  EXPECT_TRUE(trace_.Pieces().empty());
}

TEST_F(DefaultErrorStack, SingleMessageBox) {
  ShowError(L"x");
  ASSERT_EQ(g_prompts.size(), 1u);
  EXPECT_EQ(g_prompts[0].text, L"x\n\n");
  EXPECT_EQ(trace_.Text(), L"[ERROR] x\nError stack flushed\n");
}

TEST_F(DefaultErrorStack, ClearOnEmptyStackStillTraces) {
  ClearErrors();
  EXPECT_EQ(trace_.Text(), L"Error stack cleared\n");
}

TEST_F(DefaultErrorStack, WarningDropsWaitingErrors) {
  ReportError(L"e");
  ShowWarning(L"w");
  ASSERT_EQ(g_prompts.size(), 1u);
  EXPECT_EQ(g_prompts[0].text, L"w");
  EXPECT_EQ(g_prompts[0].caption, L"Warning");
  EXPECT_FALSE(HasErrors());
  EXPECT_EQ(trace_.Text(), L"[ERROR] e\n[ERROR] w\nError stack cleared\n");
}

TEST_F(DefaultErrorStack, LongMessagesAreCut) {
  const std::wstring longText(2000, L'a');
  ReportError(L"%s", longText.c_str());
  EXPECT_TRUE(HasErrors());
  ShowError(L"%s", longText.c_str());  // overflowed: not pushed, the stack is still shown
  ASSERT_EQ(g_prompts.size(), 1u);
  EXPECT_EQ(g_prompts[0].text, std::wstring(kMaxMessageChars, L'a') + L"\n\n");
}

TEST_F(DefaultErrorStack, NoHandlerDropsEverything) {
  SetErrorHandler(CountedPtr<ErrorHandler>());
  ReportError(L"lost");
  ShowError(L"lost too");
  EXPECT_FALSE(HasErrors());
  EXPECT_TRUE(g_prompts.empty());
}

// The one test that shows the real box: the owner lookup and MessageBoxW must work headless.
TEST(ErrorBox, RealBoxShowsTheStack) {
  SetErrorHandler(CountedPtr<ErrorHandler>(new DefaultErrorHandler));
  ReportError(L"a");
  ReportError(L"b");
  BoxWatcher watcher;
  ShowError(L"c");
  ASSERT_TRUE(watcher.Wait());
  EXPECT_EQ(watcher.Caption(), L"Error");
  EXPECT_EQ(watcher.Text().substr(0, 14), L"c\n\n[1] b\n[0] a");
  EXPECT_FALSE(HasErrors());
}

namespace {

class CountingHandler : public ErrorHandler {
 public:
  void Push(const wchar_t*) override { ++pushes; }
  void Show() override {}
  bool HasErrors() override { return pushes > 0; }
  void Clear() override {}
  void Warn(const wchar_t*) override {}
  int pushes = 0;  // guarded by the error lock
};

}  // namespace

TEST(ErrorStack, ReportsFromManyThreadsAllArrive) {
  auto* counter = new CountingHandler;
  SetErrorHandler(CountedPtr<ErrorHandler>(counter));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) ReportError(L"thread %d report %d", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter->pushes, 8 * 500);
}

TEST(FlagsToString, NamesThenUncoveredBits) {
  const std::initializer_list<FlagName> names = {{1, L"A"}, {2, L"B"}, {4, L"C"}};
  EXPECT_EQ(FlagsToString(0, names), L"");
  EXPECT_EQ(FlagsToString(0x13, names), L"A | B | 0x00000010");
  EXPECT_EQ(FlagsToString(0x10, names), L"0x00000010");
  EXPECT_EQ(FlagsToString(0x2, {{0x6, L"BC"}, {0, L"NEVER"}}), L"BC");
  EXPECT_EQ(FlagsToString(0x3, {{1, L"A"}, {2, nullptr}, {2, L"B"}}), L"A | 0x00000002");
}

namespace {

// Set by a test: the next allocation of this thread fails.
thread_local bool t_failNextAllocation = false;

}  // namespace

void* operator new(std::size_t size) {
  if (t_failNextAllocation) {
    t_failNextAllocation = false;
    throw std::bad_alloc();
  }
  if (void* memory = HeapAlloc(GetProcessHeap(), 0, size ? size : 1)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  if (memory) HeapFree(GetProcessHeap(), 0, memory);
}
void operator delete(void* memory, std::size_t) noexcept { operator delete(memory); }

namespace {

struct Tracked {
  explicit Tracked(int* deletions) : deletions(deletions) {}
  virtual ~Tracked() { ++*deletions; }
  int* deletions;
};

struct Derived : Tracked {
  using Tracked::Tracked;
};

}  // namespace

TEST(CountedPtr, SharesAndDeletesOnce) {
  int deletions = 0;
  {
    CountedPtr<Derived> first(new Derived(&deletions));
    CountedPtr<Derived> same = first;
    same = first;   // the same pointer: nothing changes
    first = first;  // itself: nothing changes
    EXPECT_EQ(first.UseCount(), 2);
    CountedPtr<Tracked> base = first;  // a base pointer shares the count
    EXPECT_EQ(first.UseCount(), 3);
    CountedPtr<Tracked> other(new Tracked(&deletions));
    other = base;
    EXPECT_EQ(deletions, 1);
    EXPECT_EQ(first.UseCount(), 4);
  }
  EXPECT_EQ(deletions, 2);
  CountedPtr<Tracked> empty;
  CountedPtr<Tracked> alsoEmpty;
  empty = alsoEmpty;
  EXPECT_FALSE(empty.IsValid());
}

TEST(CountedPtr, DeletesTheObjectWhenItsCountCannotBeMade) {
  int deletions = 0;
  auto* object = new Tracked(&deletions);
  t_failNextAllocation = true;
  EXPECT_THROW(CountedPtr<Tracked>{object}, std::bad_alloc);
  EXPECT_EQ(deletions, 1);
}

namespace {

// Holds the first piece of a trace until the test has opened a scope (or half a second passed).
class StallingTextHandler : public TextHandler {
 public:
  void Write(const wchar_t* text) override {
    pieces.emplace_back(text);
    if (pieces.size() > 1) return;
    entered.Set();
    scopeOpened.Wait(500);
  }

  std::vector<std::wstring> pieces;
  Event entered{true, false};
  Event scopeOpened{true, false};
};

}  // namespace

TEST(TraceScope, WaitsForATraceInProgress) {
  auto* handler = new StallingTextHandler;
  SetTraceHandler(CountedPtr<TextHandler>(handler));
  std::thread tracer([] { Trace(L"a\nb\n"); });
  ASSERT_TRUE(handler->entered.Wait(5000));
  {
    TraceScope scope(L"scope");
    handler->scopeOpened.Set();
  }
  tracer.join();
  // Indent, text, line feed for each line: both lines of the one trace carry the indent it started
  // with.
  const std::vector<std::wstring> pieces = handler->pieces;
  SetTraceHandler(CountedPtr<TextHandler>());
  ASSERT_EQ(pieces.size(), 6u);
  EXPECT_EQ(pieces[4], L"b");
  EXPECT_EQ(pieces[0], pieces[3]);
}

TEST(TraceScope, NestedTagsOnStandardOutput) {
  wchar_t path[MAX_PATH];
  GetTempPathW(MAX_PATH, path);
  wcscat(path, L"tracescope.txt");
  fflush(stdout);
  const int saved = _dup(_fileno(stdout));
  FILE* redirected = _wfreopen(path, L"w", stdout);
  ASSERT_NE(redirected, nullptr);
  {
    TraceScope a(L"a");
    TraceScope b(L"b");
  }
  fflush(stdout);
  _dup2(saved, _fileno(stdout));
  _close(saved);
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "<a>\n <b>\n </b>\n</a>\n");
  DeleteFileW(path);
}
