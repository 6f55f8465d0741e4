#include "common/error.h"

#include <windows.h>

#include <cstdarg>
#include <cwchar>

#include "common/format.h"
#include "common/prompt.h"
#include "common/sync.h"
#include "common/text.h"

namespace {

// Constructed before any other static object of the program, in this order, and destroyed in the
// reverse order after them: every static initialiser may already report.
__attribute__((init_priority(1000))) TextStream g_traceStream;
__attribute__((init_priority(1001))) CriticalSection g_traceLock;
__attribute__((init_priority(1002))) CountedPtr<ErrorHandler> g_currentHandler(new DefaultErrorHandler);
__attribute__((init_priority(1003))) CriticalSection g_errorLock;
int g_traceScopeDepth = 0;

// A message cut at kMaxMessageChars; returns the formatter's count (-1 when cut).
int FormatMessageText(wchar_t (&buffer)[kMaxMessageChars + 1], const wchar_t* format, va_list args) {
  return FormatV(buffer, kMaxMessageChars + 1, format, args);
}

enum class Delivery { kPush, kShow, kWarn };

// The whole call runs under the error lock, the box included: while a box is open every other
// reporting thread waits.
void Deliver(Delivery delivery, const wchar_t* format, va_list args) {
  ScopedLock lock(&g_errorLock);
  if (!g_currentHandler.IsValid()) return;
  wchar_t text[kMaxMessageChars + 1];
  const int length = FormatMessageText(text, format, args);
  if (delivery == Delivery::kPush) {
    g_currentHandler->Push(text);
    return;
  }
  // A text cut at the limit is not pushed; the stack (or the cut warning) is still shown.
  if (length > 0 && text[0]) g_currentHandler->Push(text);
  if (delivery == Delivery::kShow) {
    g_currentHandler->Show();
  } else {
    g_currentHandler->Warn(text);
  }
}

}  // namespace

void DefaultErrorHandler::Push(const wchar_t* text) {
  messages_.emplace_back(text ? text : L"");
  if (messages_.size() > kMaxMessages) messages_.pop_front();
  Trace(L"[ERROR] %s\n", text ? text : L"");
}

void DefaultErrorHandler::Show() {
  if (messages_.empty()) return;
  // The newest message first, then the older ones numbered down to [0], the oldest.
  std::wstring box = messages_.back() + L"\n\n";
  messages_.pop_back();
  int number = static_cast<int>(messages_.size()) - 1;
  wchar_t line[kMaxMessageChars + 1];
  while (!messages_.empty()) {
    FormatBuffer(line, sizeof(line) / sizeof(line[0]), L"[%d] %s\n", number, messages_.back().c_str());
    box += line;
    messages_.pop_back();
    --number;
  }
  Prompt(ActiveOwnerWindow(), box.c_str(), L"Error", MB_ICONWARNING);
  Trace(L"Error stack flushed\n");
}

bool DefaultErrorHandler::HasErrors() { return !messages_.empty(); }

void DefaultErrorHandler::Clear() {
  messages_.clear();
  Trace(L"Error stack cleared\n");
}

void DefaultErrorHandler::Warn(const wchar_t* text) {
  Clear();
  Prompt(ActiveOwnerWindow(), text ? text : L"", L"Warning", MB_ICONWARNING);
}

void SetTraceHandler(const CountedPtr<TextHandler>& handler) {
  ScopedLock lock(&g_traceLock);
  g_traceStream.SetHandler(handler);
}

void Trace(const wchar_t* format, ...) {
  ScopedLock lock(&g_traceLock);
  if (!g_traceStream.HasHandler()) return;
  wchar_t text[kMaxMessageChars + 1];
  va_list args;
  va_start(args, format);
  FormatMessageText(text, format, args);
  va_end(args);
  g_traceStream.Printf(L"%s", text);
}

void TraceIndent(int levels) {
  ScopedLock lock(&g_traceLock);
  if (g_traceStream.HasHandler()) g_traceStream.Indent(levels);
}

void SetErrorHandler(const CountedPtr<ErrorHandler>& handler) {
  ScopedLock lock(&g_errorLock);
  g_currentHandler = handler;
}

void ReportError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(Delivery::kPush, format, args);
  va_end(args);
}

void ShowError(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(Delivery::kShow, format, args);
  va_end(args);
}

bool HasErrors() {
  ScopedLock lock(&g_errorLock);
  return g_currentHandler.IsValid() && g_currentHandler->HasErrors();
}

void ClearErrors() {
  ScopedLock lock(&g_errorLock);
  if (g_currentHandler.IsValid()) g_currentHandler->Clear();
}

void ShowWarning(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(Delivery::kWarn, format, args);
  va_end(args);
}

std::wstring FlagsToString(uint32_t value, std::initializer_list<FlagName> names) {
  std::wstring text;
  bool named = false;
  uint32_t covered = 0;
  for (const FlagName& entry : names) {
    if (!entry.name) break;
    if ((value & entry.flag) == 0) continue;
    if (named) text += L" | ";
    text += entry.name;
    named = true;
    covered |= entry.flag;
  }
  const uint32_t rest = value & ~covered;
  if (rest) {
    if (named) text += L" | ";
    text += Format(L"0x%08x", rest);
  }
  return text;
}

TraceScope::TraceScope(const wchar_t* tag) : tag_(tag) {
  wprintf(L"%ls<%ls>\n", std::wstring(g_traceScopeDepth, L' ').c_str(), tag_);
  ++g_traceScopeDepth;
  // Another thread may be tracing: the indent text it is writing must not change under it.
  ScopedLock lock(&g_traceLock);
  g_traceStream.Indent(1);
}

TraceScope::~TraceScope() {
  {
    ScopedLock lock(&g_traceLock);
    g_traceStream.Indent(-1);
  }
  --g_traceScopeDepth;
  wprintf(L"%ls</%ls>\n", std::wstring(g_traceScopeDepth, L' ').c_str(), tag_);
}
