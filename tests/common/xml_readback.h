#pragma once
// What the XML back end gives back for a saved text: code units XML 1.0 cannot carry (controls
// other than tab, LF and CR, U+FFFE, U+FFFF, unpaired surrogates) read back as U+FFFD.

#include <windows.h>

#include <string>

inline std::wstring XmlReadBack(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
      out += c;
      out += text[++i];
    } else if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c >= 0xFFFE || IS_HIGH_SURROGATE(c) ||
               IS_LOW_SURROGATE(c)) {
      out += wchar_t(0xFFFD);
    } else {
      out += c;
    }
  }
  return out;
}
