#include "tests/support/capture.h"

#include <cstdlib>
#include <cwchar>

#include "common/error.h"

std::wstring CapturingTextHandler::Text() const {
  std::wstring text;
  for (const std::wstring& piece : pieces) text += piece;
  return text;
}

TraceCapture::TraceCapture() : handler_(MakeCounted<CapturingTextHandler>()) { SetTraceHandler(handler_); }

TraceCapture::~TraceCapture() { SetTraceHandler(CountedPtr<TextHandler>()); }

std::vector<int> TraceCapture::ComErrorLines() const {
  constexpr wchar_t kLineLabel[] = L", Line = ";
  const std::wstring text = Text();
  std::vector<int> lines;
  for (size_t at = text.find(L"OnComError:"); at != std::wstring::npos; at = text.find(L"OnComError:", at + 1)) {
    const size_t label = text.find(kLineLabel, at);
    if (label != std::wstring::npos) lines.push_back(_wtoi(text.c_str() + label + wcslen(kLineLabel)));
  }
  return lines;
}
