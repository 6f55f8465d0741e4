#include "tests/support/capture.h"

std::wstring CapturingTextHandler::Text() const {
  std::wstring text;
  for (const std::wstring& piece : pieces) text += piece;
  return text;
}
