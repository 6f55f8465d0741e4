#pragma once
// The process-wide error reporter and trace channel. Failures are pushed silently with ReportError;
// the code that talks to the user decides when the whole stack is shown (ShowError).

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>

#include "common/counted.h"

class TextHandler;

// Longest message text; longer ones are cut.
constexpr int kMaxMessageChars = 1023;

class ErrorHandler {
 public:
  virtual ~ErrorHandler() = default;
  virtual void Push(const wchar_t* text) = 0;
  // Shows all held messages and empties the handler.
  virtual void Show() = 0;
  virtual bool HasErrors() = 0;
  virtual void Clear() = 0;
  // Drops the held messages and shows one warning.
  virtual void Warn(const wchar_t* text) = 0;
};

// Keeps the ten newest messages and shows them in one box, newest first.
class DefaultErrorHandler : public ErrorHandler {
 public:
  static constexpr size_t kMaxMessages = 10;

  void Push(const wchar_t* text) override;
  void Show() override;
  bool HasErrors() override;
  void Clear() override;
  void Warn(const wchar_t* text) override;

 private:
  std::deque<std::wstring> messages_;  // oldest first
};

// The trace channel prints nothing until a handler is attached.
void SetTraceHandler(const CountedPtr<TextHandler>& handler);
void Trace(const wchar_t* format, ...);
void TraceIndent(int levels);

// An empty pointer drops every later report silently.
void SetErrorHandler(const CountedPtr<ErrorHandler>& handler);
void ReportError(const wchar_t* format, ...);
// Pushes the message (when there is one) and shows the whole stack; an empty format shows what is
// already held.
void ShowError(const wchar_t* format, ...);
bool HasErrors();
void ClearErrors();
void ShowWarning(const wchar_t* format, ...);

struct FlagName {
  uint32_t flag;
  const wchar_t* name;
};

// "A | B | 0x00000010": the names of the flags set in value, then the bits no name covers.
std::wstring FlagsToString(uint32_t value, std::initializer_list<FlagName> names);

// Prints an opening and a closing tag around a block on the standard output and indents the trace
// channel inside it. For one thread only.
class TraceScope {
 public:
  explicit TraceScope(const wchar_t* tag);
  ~TraceScope();
  TraceScope(const TraceScope&) = delete;
  TraceScope& operator=(const TraceScope&) = delete;

 private:
  const wchar_t* tag_;
};
