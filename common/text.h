#pragma once
// Formatted wide-text output with indentation: the trace channel and every text dump. A stream
// without a handler accepts every call and prints nothing.

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/counted.h"

// The sink of a TextStream.
class TextHandler {
 public:
  virtual ~TextHandler() = default;
  virtual void Write(const wchar_t* text) = 0;
};

// A C runtime file. The mode string decides text or binary mode; nothing else is converted.
class TextFile : public TextHandler {
 public:
  // Reports "Failed to open file %s" and then swallows all text when the file does not open.
  TextFile(const wchar_t* path, const wchar_t* mode);
  TextFile(FILE* file, bool owns);
  ~TextFile() override;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  void Write(const wchar_t* text) override;

 private:
  FILE* file_ = nullptr;
  bool owns_ = false;
};

class TextStream {
 public:
  TextStream() = default;
  explicit TextStream(const CountedPtr<TextHandler>& handler) : handler_(handler) {}
  TextStream(const wchar_t* path, const wchar_t* mode);
  TextStream(FILE* file, bool owns);
  virtual ~TextStream() = default;

  bool HasHandler() const { return handler_.IsValid(); }
  void SetHandler(const CountedPtr<TextHandler>& handler) { handler_ = handler; }

  // Two spaces per level; the level never falls below 0.
  void Indent(int levels);
  int IndentLevel() const { return level_; }

  // Every line starts with the indent text; a text without a final line feed leaves the stream in
  // the middle of a line, and the next call continues it without indent.
  void Printf(const wchar_t* format, ...);
  // Formats narrow text and converts it from the ANSI code page.
  void PrintfNarrow(const char* format, ...);

  // One value, printed by its type (the specialisations below and in the headers of other types).
  template <class T>
  void Print(T value);

  // The label (which carries its own separator), the value and a line feed.
  template <class T>
  void PrintField(const wchar_t* label, T value);

  // The label, "%d" of the value and a line feed.
  void PrintLabelled(const wchar_t* label, int32_t value);

 private:
  void WriteLines(wchar_t* text);

  CountedPtr<TextHandler> handler_;
  int level_ = 0;
  std::wstring indent_;
  bool midLine_ = false;
};

template <> void TextStream::Print<bool>(bool value);
template <> void TextStream::Print<char>(char value);
template <> void TextStream::Print<short>(short value);
template <> void TextStream::Print<unsigned char>(unsigned char value);
template <> void TextStream::Print<unsigned short>(unsigned short value);
template <> void TextStream::Print<int>(int value);
template <> void TextStream::Print<unsigned int>(unsigned int value);
template <> void TextStream::Print<long>(long value);
template <> void TextStream::Print<unsigned long>(unsigned long value);
template <> void TextStream::Print<long long>(long long value);
template <> void TextStream::Print<float>(float value);
template <> void TextStream::Print<double>(double value);
template <> void TextStream::Print<const char*>(const char* value);
template <> void TextStream::Print<const wchar_t*>(const wchar_t* value);
template <> void TextStream::Print<std::string>(std::string value);
template <> void TextStream::Print<std::wstring>(std::wstring value);
template <> void TextStream::Print<void*>(void* value);

template <> void TextStream::PrintField<unsigned long>(const wchar_t* label, unsigned long value);
template <> void TextStream::PrintField<long>(const wchar_t* label, long value);
template <> void TextStream::PrintField<unsigned short>(const wchar_t* label, unsigned short value);
template <> void TextStream::PrintField<long long>(const wchar_t* label, long long value);
template <> void TextStream::PrintField<void*>(const wchar_t* label, void* value);

// Raises a stream's indent by one level for the life of a nested dump.
class IndentGuard {
 public:
  explicit IndentGuard(TextStream& stream) : stream_(stream) { stream_.Indent(1); }
  ~IndentGuard() { stream_.Indent(-1); }
  IndentGuard(const IndentGuard&) = delete;
  IndentGuard& operator=(const IndentGuard&) = delete;

 private:
  TextStream& stream_;
};
