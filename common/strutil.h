#pragma once
// Text conversions, numbers, tokens and macro expansion. Code page 0 is the ANSI code page, 65001
// UTF-8. Nothing here reports; failures are false, empty texts or 0.

#include <map>
#include <string>
#include <vector>

constexpr unsigned kAnsiCodePage = 0;
constexpr unsigned kUtf8CodePage = 65001;

// Reads a text through a Win32 call, `read(buffer, size)` answering the length it wrote or, for the
// calls that report what they need, the size needed: the buffer doubles from `initial` until the
// text fits with room to spare, since a truncating call cannot tell a full buffer from an exact
// fit. Empty when the call fails or the text grows beyond a million characters.
template <class Read>
std::wstring ReadGrowing(size_t initial, Read read) {
  std::wstring buffer(initial, L'\0');
  for (;;) {
    const int length = read(buffer.data(), static_cast<int>(buffer.size()));
    if (length <= 0) return std::wstring();
    if (static_cast<size_t>(length) < buffer.size() - 1) {
      buffer.resize(static_cast<size_t>(length));
      return buffer;
    }
    if (buffer.size() >= 0x100000) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

// Conversions stop at the first zero character of the input.
bool ToWide(const char* text, std::wstring& out, unsigned codePage);
bool ToWide(const std::string& text, std::wstring& out, unsigned codePage);
// Fails whole (and leaves the buffer empty) when the text does not fit; the buffer always ends
// with a terminator.
bool ToWideBuffer(const char* text, wchar_t* buffer, int length, unsigned codePage);
bool ToWideBuffer(const std::string& text, wchar_t* buffer, int length, unsigned codePage);
std::wstring ToWideString(const char* text, unsigned codePage);
std::wstring ToWideString(const std::string& text, unsigned codePage);

bool ToNarrow(const wchar_t* text, std::string& out, unsigned codePage);
bool ToNarrow(const std::wstring& text, std::string& out, unsigned codePage);
bool ToNarrowBuffer(const wchar_t* text, char* buffer, int size, unsigned codePage);
bool ToNarrowBuffer(const std::wstring& text, char* buffer, int size, unsigned codePage);
std::string ToNarrowString(const wchar_t* text, unsigned codePage);
std::string ToNarrowString(const std::wstring& text, unsigned codePage);

// A double printed with a printf format (null means "%f").
std::wstring DoubleToString(double value, const wchar_t* format = nullptr);
// The leading number of the text; 0 when there is none.
int ToInt(const std::wstring& text);
double ToDouble(const std::wstring& text);
float ToFloat(const std::wstring& text);
// 0-15 to '0'-'9', 'A'-'F'; only the low 8 bits count and larger values give 'F'.
wchar_t HexDigitChar(int value);
// '0'-'9', 'a'-'f', 'A'-'F' to 0-15; anything else gives 0.
int HexDigitValue(wchar_t character);
bool IsHexDigit(wchar_t character);

// The first run of characters that are not white space.
std::wstring FirstToken(const std::wstring& text);
// All maximal runs of characters not in the delimiter set, in order.
std::vector<std::wstring> SplitTokens(const std::wstring& text, const std::wstring& delimiters);
// A command line split as Windows splits the program's own (CommandLineToArgvW), the program's
// name first. False, with the list empty, when it cannot be split.
bool SplitCommandLine(const wchar_t* commandLine, std::vector<std::wstring>& arguments);
void TrimTrailing(std::wstring& text, wchar_t character);

// Replaces each $(NAME) whose name the map holds by its value; unknown names and broken references
// stay as written. Always true.
bool ExpandMacros(const std::map<std::string, std::string>& names, const std::string& text, std::string& out);
bool IsMacroNameChar(char character);
