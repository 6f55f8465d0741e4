#include "common/format.h"

#include <stdio.h>
#include <wchar.h>

#include <vector>

namespace {

int RuntimeFormat(wchar_t* buffer, size_t count, const wchar_t* format, va_list args) {
  return _vsnwprintf(buffer, count, format, args);
}

int RuntimeFormat(char* buffer, size_t count, const char* format, va_list args) {
  return _vsnprintf(buffer, count, format, args);
}

template <class Char>
int FormatInto(Char* buffer, size_t capacity, const Char* format, va_list args) {
  if (!buffer || capacity == 0) return -1;
  buffer[capacity - 1] = 0;
  if (!format) {
    buffer[0] = 0;
    return 0;
  }
  va_list copy;
  va_copy(copy, args);
  const int length = RuntimeFormat(buffer, capacity - 1, format, copy);
  va_end(copy);
  if (length >= 0 && static_cast<size_t>(length) < capacity) buffer[length] = 0;
  return length;
}

template <class Char>
std::basic_string<Char> FormatGrowing(size_t capacity, const Char* format, va_list args) {
  std::vector<Char> buffer;
  for (;;) {
    buffer.assign(capacity, Char(0));
    const int length = FormatInto(buffer.data(), capacity, format, args);
    if (length >= 0) return std::basic_string<Char>(buffer.data(), static_cast<size_t>(length));
    if (capacity > kMaxFormatCapacity / 2) return std::basic_string<Char>(buffer.data());
    capacity *= 2;
  }
}

}  // namespace

int FormatV(wchar_t* buffer, size_t capacity, const wchar_t* format, va_list args) {
  return FormatInto(buffer, capacity, format, args);
}

int FormatV(char* buffer, size_t capacity, const char* format, va_list args) {
  return FormatInto(buffer, capacity, format, args);
}

int FormatBuffer(wchar_t* buffer, size_t capacity, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  const int length = FormatInto(buffer, capacity, format, args);
  va_end(args);
  return length;
}

std::wstring FormatGrowingV(size_t initialCapacity, const wchar_t* format, va_list args) {
  return FormatGrowing(initialCapacity ? initialCapacity : 1, format, args);
}

std::string FormatGrowingV(size_t initialCapacity, const char* format, va_list args) {
  return FormatGrowing(initialCapacity ? initialCapacity : 1, format, args);
}

std::wstring Format(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = FormatGrowingV(256, format, args);
  va_end(args);
  return text;
}

std::string FormatNarrow(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatGrowingV(256, format, args);
  va_end(args);
  return text;
}
