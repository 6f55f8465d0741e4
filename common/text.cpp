#include "common/text.h"

#include <cstdarg>
#include <cwchar>

#include "common/error.h"
#include "common/format.h"
#include "common/strutil.h"

TextFile::TextFile(const wchar_t* path, const wchar_t* mode) : file_(_wfopen(path, mode)), owns_(true) {
  if (!file_) ReportError(L"Failed to open file %s", path ? path : L"");
}

TextFile::TextFile(FILE* file, bool owns) : file_(file), owns_(owns) {}

TextFile::~TextFile() {
  if (file_ && owns_) fclose(file_);
}

void TextFile::Write(const wchar_t* text) {
  if (file_ && text) fputws(text, file_);
}

TextStream::TextStream(const wchar_t* path, const wchar_t* mode) : handler_(new TextFile(path, mode)) {}

TextStream::TextStream(FILE* file, bool owns) : handler_(new TextFile(file, owns)) {}

void TextStream::Indent(int levels) {
  level_ += levels;
  if (level_ < 0) level_ = 0;
  indent_.assign(static_cast<size_t>(level_) * 2, L' ');
}

void TextStream::Printf(const wchar_t* format, ...) {
  if (!handler_.IsValid()) return;
  va_list args;
  va_start(args, format);
  wchar_t first[1024];
  if (FormatV(first, 1024, format, args) >= 0) {
    WriteLines(first);
  } else {
    std::wstring text = FormatGrowingV(2048, format, args);
    WriteLines(text.data());
  }
  va_end(args);
}

void TextStream::PrintfNarrow(const char* format, ...) {
  if (!handler_.IsValid()) return;
  va_list args;
  va_start(args, format);
  const std::string text = FormatGrowingV(1024, format, args);
  va_end(args);
  Print<const wchar_t*>(ToWideString(text, 0).c_str());
}

// Splits the text at line feeds (in place) and writes each line with the indent text before it,
// unless an earlier call left the stream in the middle of that line.
void TextStream::WriteLines(wchar_t* text) {
  while (*text) {
    wchar_t* lineFeed = wcschr(text, L'\n');
    if (!lineFeed) {
      if (!midLine_) handler_->Write(indent_.c_str());
      handler_->Write(text);
      midLine_ = true;
      return;
    }
    *lineFeed = 0;
    if (!midLine_) handler_->Write(indent_.c_str());
    handler_->Write(text);
    handler_->Write(L"\n");
    midLine_ = false;
    text = lineFeed + 1;
  }
}

void TextStream::PrintLabelled(const wchar_t* label, int32_t value) {
  Print<const wchar_t*>(label);
  Printf(L"%d\n", value);
}

template <> void TextStream::Print<bool>(bool value) { Printf(L"%1d", value ? 1 : 0); }
template <> void TextStream::Print<char>(char value) { Printf(L"%d", static_cast<int>(static_cast<signed char>(value))); }
template <> void TextStream::Print<short>(short value) { Printf(L"%d", static_cast<int>(value)); }
template <> void TextStream::Print<unsigned char>(unsigned char value) { Printf(L"%d", static_cast<int>(value)); }
template <> void TextStream::Print<unsigned short>(unsigned short value) { Printf(L"%d", static_cast<int>(value)); }
template <> void TextStream::Print<int>(int value) { Printf(L"%d", value); }
template <> void TextStream::Print<unsigned int>(unsigned int value) { Printf(L"%d", value); }
template <> void TextStream::Print<long>(long value) { Printf(L"%d", static_cast<int>(value)); }
template <> void TextStream::Print<unsigned long>(unsigned long value) { Printf(L"%d", static_cast<int>(value)); }
template <> void TextStream::Print<long long>(long long value) { Printf(L"%I64d", value); }
template <> void TextStream::Print<float>(float value) { Printf(L"%f", static_cast<double>(value)); }
template <> void TextStream::Print<double>(double value) { Printf(L"%f", value); }
template <> void TextStream::Print<const char*>(const char* value) { PrintfNarrow("%s", value); }
template <> void TextStream::Print<const wchar_t*>(const wchar_t* value) { Printf(L"%s", value); }
template <> void TextStream::Print<std::string>(std::string value) { PrintfNarrow("%s", value.c_str()); }
template <> void TextStream::Print<std::wstring>(std::wstring value) { Printf(L"%s", value.c_str()); }
template <> void TextStream::Print<void*>(void* value) { Printf(L"%p", value); }

template <> void TextStream::PrintField<unsigned long>(const wchar_t* label, unsigned long value) {
  PrintLabelled(label, static_cast<int32_t>(value));
}

template <> void TextStream::PrintField<long>(const wchar_t* label, long value) {
  PrintLabelled(label, static_cast<int32_t>(value));
}

template <> void TextStream::PrintField<unsigned short>(const wchar_t* label, unsigned short value) {
  PrintLabelled(label, static_cast<int32_t>(value));
}

template <> void TextStream::PrintField<long long>(const wchar_t* label, long long value) {
  Print<const wchar_t*>(label);
  Printf(L"%I64d\n", value);
}

template <> void TextStream::PrintField<void*>(const wchar_t* label, void* value) {
  Print<const wchar_t*>(label);
  Printf(L"%p\n", value);
}
