#include "common/strutil.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "common/format.h"
#include "common/handle.h"

namespace {

// Whole-text conversion through a converter that works like MultiByteToWideChar with a length of
// -1: called without a buffer it returns the length needed, terminator included.
template <class To, class From, class Converter>
bool ConvertText(const From* text, std::basic_string<To>& out, Converter convert) {
  if (!text) return false;
  if (!*text) {
    out.clear();
    return true;
  }
  const int length = convert(text, nullptr, 0);
  if (length <= 0) return false;
  std::basic_string<To> converted(static_cast<size_t>(length), To(0));
  if (convert(text, converted.data(), length) <= 0) return false;
  converted.resize(static_cast<size_t>(length - 1));
  out.swap(converted);
  return true;
}

template <class To, class From, class Converter>
bool ConvertIntoBuffer(const From* text, To* buffer, int length, Converter convert) {
  if (!text || !buffer || length <= 0) return false;
  if (convert(text, buffer, length) > 0) {
    buffer[length - 1] = 0;
    return true;
  }
  buffer[0] = 0;
  return false;
}

auto Widener(unsigned codePage) {
  return [codePage](const char* text, wchar_t* buffer, int length) {
    return MultiByteToWideChar(codePage, 0, text, -1, buffer, length);
  };
}

auto Narrower(unsigned codePage) {
  return [codePage](const wchar_t* text, char* buffer, int size) {
    return WideCharToMultiByte(codePage, 0, text, -1, buffer, size, nullptr, nullptr);
  };
}

}  // namespace

bool ToWide(const char* text, std::wstring& out, unsigned codePage) {
  return ConvertText(text, out, Widener(codePage));
}

bool ToWide(const std::string& text, std::wstring& out, unsigned codePage) {
  return ToWide(text.c_str(), out, codePage);
}

bool ToWideBuffer(const char* text, wchar_t* buffer, int length, unsigned codePage) {
  return ConvertIntoBuffer(text, buffer, length, Widener(codePage));
}

bool ToWideBuffer(const std::string& text, wchar_t* buffer, int length, unsigned codePage) {
  return ToWideBuffer(text.c_str(), buffer, length, codePage);
}

std::wstring ToWideString(const char* text, unsigned codePage) {
  std::wstring out;
  return ToWide(text, out, codePage) ? out : std::wstring();
}

std::wstring ToWideString(const std::string& text, unsigned codePage) {
  return ToWideString(text.c_str(), codePage);
}

bool ToNarrow(const wchar_t* text, std::string& out, unsigned codePage) {
  return ConvertText(text, out, Narrower(codePage));
}

bool ToNarrow(const std::wstring& text, std::string& out, unsigned codePage) {
  return ToNarrow(text.c_str(), out, codePage);
}

bool ToNarrowBuffer(const wchar_t* text, char* buffer, int size, unsigned codePage) {
  return ConvertIntoBuffer(text, buffer, size, Narrower(codePage));
}

bool ToNarrowBuffer(const std::wstring& text, char* buffer, int size, unsigned codePage) {
  return ToNarrowBuffer(text.c_str(), buffer, size, codePage);
}

std::string ToNarrowString(const wchar_t* text, unsigned codePage) {
  std::string out;
  return ToNarrow(text, out, codePage) ? out : std::string();
}

std::string ToNarrowString(const std::wstring& text, unsigned codePage) {
  return ToNarrowString(text.c_str(), codePage);
}

std::wstring DoubleToString(double value, const wchar_t* format) {
  return Format(format ? format : L"%f", value);
}

int ToInt(const std::wstring& text) { return _wtoi(text.c_str()); }

double ToDouble(const std::wstring& text) { return _wtof(text.c_str()); }

float ToFloat(const std::wstring& text) { return static_cast<float>(ToDouble(text)); }

wchar_t HexDigitChar(int value) {
  const int digit = value & 0xFF;
  if (digit < 10) return static_cast<wchar_t>(L'0' + digit);
  if (digit < 16) return static_cast<wchar_t>(L'A' + digit - 10);
  return L'F';
}

int HexDigitValue(wchar_t character) {
  if (character >= L'0' && character <= L'9') return character - L'0';
  if (character >= L'a' && character <= L'f') return character - L'a' + 10;
  if (character >= L'A' && character <= L'F') return character - L'A' + 10;
  return 0;
}

bool IsHexDigit(wchar_t character) {
  return (character >= L'0' && character <= L'9') || (character >= L'a' && character <= L'f') ||
         (character >= L'A' && character <= L'F');
}

std::wstring FirstToken(const std::wstring& text) {
  static const wchar_t kWhiteSpace[] = L" \t\r\n\f";
  const size_t start = text.find_first_not_of(kWhiteSpace);
  if (start == std::wstring::npos) return std::wstring();
  const size_t end = text.find_first_of(kWhiteSpace, start);
  return text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
}

std::vector<std::wstring> SplitTokens(const std::wstring& text, const std::wstring& delimiters) {
  std::vector<std::wstring> tokens;
  size_t position = 0;
  for (;;) {
    const size_t start = text.find_first_not_of(delimiters, position);
    if (start == std::wstring::npos) break;
    size_t end = text.find_first_of(delimiters, start);
    if (end == std::wstring::npos) end = text.size();
    tokens.push_back(text.substr(start, end - start));
    position = end;
    if (end == text.size()) break;
  }
  return tokens;
}

bool SplitCommandLine(const wchar_t* commandLine, std::vector<std::wstring>& arguments) {
  arguments.clear();
  if (!commandLine) return false;  // CommandLineToArgvW reads through a null text
  int count = 0;
  HandleGuard list(LocalFree, CommandLineToArgvW(commandLine, &count));
  if (!list.Get()) return false;
  for (int i = 0; i < count; ++i) arguments.emplace_back(list.Get()[i]);
  return true;
}

void TrimTrailing(std::wstring& text, wchar_t character) {
  const size_t last = text.find_last_not_of(character);
  text.erase(last == std::wstring::npos ? 0 : last + 1);
}

bool IsMacroNameChar(char character) {
  return (character >= '0' && character <= '9') || (character >= 'a' && character <= 'z') ||
         (character >= 'A' && character <= 'Z') || character == '_';
}

bool ExpandMacros(const std::map<std::string, std::string>& names, const std::string& text, std::string& out) {
  constexpr size_t kNone = std::string::npos;
  out.clear();
  size_t dollar = kNone;
  size_t paren = kNone;
  size_t copiedFrom = 0;
  for (size_t here = 0; here < text.size(); ++here) {
    const char character = text[here];
    if (character == '$') {
      dollar = here;
    } else if (character == '(') {
      paren = here;
    } else if (character == ')') {
      if (dollar != kNone && paren != kNone && paren == dollar + 1 && here > paren + 1) {
        const auto found = names.find(text.substr(paren + 1, here - paren - 1));
        if (found != names.end()) {
          out.append(text, copiedFrom, dollar - copiedFrom);
          out += found->second;
          copiedFrom = here + 1;
        }
      }
      dollar = paren = kNone;
    } else if (!IsMacroNameChar(character)) {
      dollar = paren = kNone;
    }
  }
  out.append(text, copiedFrom, kNone);
  return true;
}
