#pragma once
// Codec libraries beside the test program (the logging test codec, velto.dll, the VP6 stand-in)
// and what the codec tests share: the test codec's log, frames with a pattern, a pipeline sink.

#include <windows.h>
#include <vfw.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/deze/source/vcm.h"
#include "common/window.h"
#include "tests/support/testcodec.h"

using Bytes = std::vector<uint8_t>;

inline constexpr DWORD kWbvk = mmioFOURCC('w', 'b', 'v', 'k');
inline constexpr DWORD kVp62 = mmioFOURCC('V', 'P', '6', '2');
inline constexpr DWORD kTestFourCC = mmioFOURCC('t', 'c', 'd', 'c');

inline std::wstring Beside(const wchar_t* name) { return GetModuleFolder(nullptr) + L"\\" + name; }
inline std::wstring TestCodecPath() { return Beside(L"test_codec.dll"); }
inline std::wstring VeltoPath() { return Beside(L"velto.dll"); }

inline LPARAM P(const void* pointer) { return reinterpret_cast<LPARAM>(pointer); }

inline std::vector<TestCodecCall> CodecCalls() {
  std::vector<TestCodecCall> calls(static_cast<size_t>(TestCodecCallCount()));
  for (size_t i = 0; i < calls.size(); ++i) TestCodecGetCall(static_cast<int>(i), &calls[i]);
  return calls;
}

inline std::vector<UINT> CodecMessages() {
  std::vector<UINT> messages;
  for (const TestCodecCall& call : CodecCalls()) messages.push_back(call.message);
  return messages;
}

// Every test starts with a silent test codec and ends with it reset.
class WithTestCodec : public testing::Test {
 protected:
  void SetUp() override { TestCodecReset(); }
  void TearDown() override { TestCodecReset(); }
};

// A frame whose pixels change with the index: runs of colour with a moving block, like a screen.
// At 8 bits the indices are grey levels that even a run-length codec at its lowest quality (Wine's
// msrle32 at quality 0 merges colours of close intensity) keeps apart.
inline Bytes PatternFrame(int width, int height, int bits, int index) {
  static const uint8_t kLevels[] = {0, 16, 32, 48, 65, 113, 144, 241};
  const size_t stride = static_cast<size_t>((width * bits + 31) / 32 * 4);
  Bytes frame(stride * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width * bits / 8; ++x) {
      const bool block = x / 8 == index % 4 && y / 4 == index % 3;
      const int value = block ? 200 + index : (x / 12) * 40 + y / 5;
      frame[static_cast<size_t>(y) * stride + static_cast<size_t>(x)] =
          bits == 8 ? kLevels[value % 8] : static_cast<uint8_t>(value);
    }
  return frame;
}

// The last stage of a pipeline: keeps the format and every frame.
class FrameSink : public MediaIn {
 public:
  bool SetFormat(const DibBuffer& newFormat) override {
    format = newFormat;
    return true;
  }
  bool ProcessFrame(const FrameData& frame) override {
    frames.emplace_back(frame.data, frame.data + frame.size);
    keys.push_back(frame.key);
    return true;
  }

  DibBuffer format;
  std::vector<Bytes> frames;
  std::vector<bool> keys;
};
