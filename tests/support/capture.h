#pragma once
// Test doubles for output: a text handler that keeps every piece written to it, and a stream that
// moves at most a few bytes per call.

#include <string>
#include <vector>

#include "common/stream.h"
#include "common/text.h"

class CapturingTextHandler : public TextHandler {
 public:
  void Write(const wchar_t* text) override { pieces.emplace_back(text); }
  std::wstring Text() const;

  std::vector<std::wstring> pieces;
};

// A text stream whose every piece the test can read back.
struct CapturedStream {
  CapturedStream() : handler(new CapturingTextHandler), stream(CountedPtr<TextHandler>(handler)) {}
  CapturingTextHandler* handler;  // owned by the stream
  TextStream stream;
};

// Captures the process's trace channel for its lifetime.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  std::wstring Text() const { return handler_->Text(); }
  bool Saw(const wchar_t* text) const { return Text().find(text) != std::wstring::npos; }
  const std::vector<std::wstring>& Pieces() const { return handler_->pieces; }
  // The line numbers of the OnComError reports traced so far, in order.
  std::vector<int> ComErrorLines() const;

 private:
  CountedPtr<CapturingTextHandler> handler_;
};

// Wraps another stream (not owned) and moves at most `maxPerCall` bytes per Transfer, like a pipe or
// a network source would.
class ShortTransferStream : public DataStream {
 public:
  ShortTransferStream(BitStream& inner, int32_t maxPerCall) : inner_(inner), maxPerCall_(maxPerCall) {}

  bool IsReading() const override { return inner_.IsReading(); }
  bool AtEnd() const override { return inner_.AtEnd(); }
  int64_t GetPosition() const override { return inner_.GetPosition(); }
  bool Seek(int64_t position) override { return inner_.Seek(position); }
  int64_t GetSize() const override { return inner_.GetSize(); }
  int32_t Transfer(void* buffer, int32_t count) override {
    return inner_.Transfer(buffer, count < maxPerCall_ ? count : maxPerCall_);
  }

 private:
  BitStream& inner_;
  int32_t maxPerCall_;
};
