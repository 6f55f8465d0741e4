#pragma once
// printf-style formatting with the Windows runtime's rules: in a wide format "%s" takes wide text,
// and a text that does not fit makes the formatter return -1. mingw's C99 printf family behaves
// otherwise (narrow "%s", no -1), so all of the system's formatting goes through these.

#include <cstdarg>
#include <cstddef>
#include <string>

// The growing formatters stop after the attempt at this capacity; longer texts are cut.
constexpr size_t kMaxFormatCapacity = 0x200000;

// Writes at most capacity - 1 characters and always terminates the buffer. Returns the length, or
// -1 when the text was cut. `args` is copied, so the caller may use it again.
int FormatV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args);
int FormatV(char* buffer, size_t capacity, const char* format, va_list args);
int FormatBuffer(wchar_t* buffer, size_t capacity, const wchar_t* format, ...);

// Formats into a buffer that starts at `initialCapacity` and doubles until the text fits or the
// capacity passes kMaxFormatCapacity / 2.
std::wstring FormatGrowingV(size_t initialCapacity, const wchar_t* format, va_list args);
std::string FormatGrowingV(size_t initialCapacity, const char* format, va_list args);

std::wstring Format(const wchar_t* format, ...);
std::string FormatNarrow(const char* format, ...);
