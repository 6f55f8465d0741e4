#include "app/velto/source/coder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/error.h"
#include "tests/app/velto/frames.h"
#include "tests/app/velto/guarded.h"
#include "tests/support/capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const int kDepths[] = {8, 16, 24, 32};

TestFrame Row8(const Bytes& values) {
  TestFrame frame(static_cast<int>(values.size()), 1, 8);
  for (size_t i = 0; i < values.size(); ++i) frame.Set(static_cast<int>(i), 0, values[i]);
  return frame;
}

// Encodes into a buffer of exactly the worst-case size, so that any write past it faults.
Bytes Key(const TestFrame& frame) {
  GuardedBuffer out(static_cast<size_t>(MaxStreamSize(frame.width, frame.height, frame.bitCount)));
  const int32_t length = EncodeKeyFrame(frame.bytes.data(), out.data(), frame.width, frame.height, frame.bitCount);
  return length < 0 ? Bytes() : out.Bytes(static_cast<size_t>(length));
}

Bytes Delta(const TestFrame& previous, const TestFrame& frame) {
  GuardedBuffer out(static_cast<size_t>(MaxStreamSize(frame.width, frame.height, frame.bitCount)));
  const int32_t length = EncodeDeltaFrame(previous.bytes.data(), frame.bytes.data(), out.data(), frame.width,
                                          frame.height, frame.bitCount);
  return length < 0 ? Bytes() : out.Bytes(static_cast<size_t>(length));
}

// Decodes from a guarded copy of the stream onto a guarded copy of the frame.
bool Decode(const Bytes& stream, TestFrame& frame) {
  GuardedBuffer in(stream);
  GuardedBuffer target(frame.bytes);
  const bool complete =
      DecodeFrame(in.data(), static_cast<int32_t>(stream.size()), target.data(), frame.width, frame.height,
                  frame.bitCount);
  frame.bytes = target.Bytes(frame.bytes.size());
  return complete;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(KeyFrameCode, GroupsRunsAndLiterals) {
  const uint8_t A = 0xA1, B = 0xB2, C = 0xC3;
  EXPECT_EQ(Key(Row8({A, B, C, C})), (Bytes{1, A, 1, B, 2, C, 0, 0, 0, 1}));
  // Two different pixels then equal ones: a run of one, then the run of the rest.
  EXPECT_EQ(Key(Row8({A, B, B, B})), (Bytes{1, A, 3, B, 0, 0, 0, 1}));
  // A 3-pixel literal takes 6 bytes at 8 bits (with its pad byte) and 8 at 16 bits.
  EXPECT_EQ(Key(Row8({A, B, C})), (Bytes{0, 3, A, B, C, 0, 0, 0, 0, 1}));
  TestFrame sixteen(3, 1, 16);
  for (int x = 0; x < 3; ++x) sixteen.Set(x, 0, 0x1111u * (x + 1));
  EXPECT_EQ(Key(sixteen), (Bytes{0, 3, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0, 0, 0, 1}));
}

TEST(KeyFrameCode, SplitsLongRunsAndLiterals) {
  EXPECT_EQ(Key(Row8(Bytes(256, 7))), (Bytes{0xFF, 7, 1, 7, 0, 0, 0, 1}));
  EXPECT_EQ(Key(Row8(Bytes(255, 7))), (Bytes{0xFF, 7, 0, 0, 0, 1}));
  EXPECT_EQ(Key(Row8(Bytes(300, 7))), (Bytes{0xFF, 7, 0x2D, 7, 0, 0, 0, 1}));
  EXPECT_EQ(Key(Row8(Bytes(510, 7))), (Bytes{0xFF, 7, 0xFF, 7, 0, 0, 0, 1}));

  Bytes different(255);
  for (int i = 0; i < 255; ++i) different[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(Key(Row8(different)), Concat({{0, 0xFF}, different, {0}, {0, 0, 0, 1}}));
  // The 256th different pixel starts a new group.
  Bytes longer = different;
  longer.push_back(0xFF);
  EXPECT_EQ(Key(Row8(longer)), Concat({{0, 0xFF}, different, {0}, {1, 0xFF, 0, 0, 0, 1}}));
}

TEST(KeyFrameCode, OnePixelWideFrame) {
  TestFrame frame(1, 3, 32);
  for (int y = 0; y < 3; ++y) frame.Set(0, y, 0x01020300u + y);
  EXPECT_EQ(Key(frame), (Bytes{1, 0, 3, 2, 1, 0, 0, 1, 1, 3, 2, 1, 0, 0, 1, 2, 3, 2, 1, 0, 0, 0, 1}));
}

TEST(KeyFrameCode, RefusesBadArguments) {
  Bytes frame(64), out(256);
  EXPECT_EQ(EncodeKeyFrame(frame.data(), out.data(), 2, 2, 12), -1);
  EXPECT_EQ(EncodeKeyFrame(nullptr, out.data(), 2, 2, 8), -1);
  EXPECT_EQ(EncodeKeyFrame(frame.data(), nullptr, 2, 2, 8), -1);
  EXPECT_EQ(EncodeKeyFrame32(frame.data(), out.data(), 0, 2), -1);
  EXPECT_EQ(EncodeDeltaFrame16(frame.data(), frame.data(), out.data(), 2, 0), -1);
  EXPECT_EQ(EncodeDeltaFrame(frame.data(), frame.data(), out.data(), 2, 2, 4), -1);
  // A worst case beyond 32 bits is refused before anything is written.
  EXPECT_EQ(EncodeKeyFrame32(frame.data(), out.data(), 100000, 100000), -1);
}

TEST(DeltaFrameCode, UnchangedFrameIsEndOfImageOnly) {
  std::mt19937 random(1);
  for (int bits : kDepths) {
    TestFrame frame(37, 5, bits);
    FillScreenLike(frame, random);
    EXPECT_EQ(Delta(frame, frame), (Bytes{0, 1})) << bits;
  }
}

TEST(DeltaFrameCode, JumpsToTheLastPixel) {
  TestFrame previous(300, 300, 8);
  TestFrame current = previous;
  current.Set(299, 299, 0x5A);
  EXPECT_EQ(Delta(previous, current), (Bytes{0, 2, 0xFF, 0xFF, 0, 2, 0x2C, 0x2C, 1, 0x5A, 0, 0, 0, 1}));
}

TEST(DeltaFrameCode, JumpsWithinAndAcrossRows) {
  TestFrame previous(10, 4, 8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) previous.Set(x, y, static_cast<uint32_t>(10 * y + x));
  // Only pixel 5 of row 0 changes: a jump within the row, the changed literal, the rest pending.
  TestFrame current = previous;
  current.Set(5, 0, 0xEE);
  EXPECT_EQ(Delta(previous, current), (Bytes{0, 2, 5, 0, 1, 0xEE, 1, 6, 0, 1}));

  // The target lies left of the pending position two rows down: move down and right to the row
  // end, end the line, then jump right on the target row.
  current = previous;
  current.Set(0, 0, 0xE0);
  current.Set(1, 3, 0xE1);
  EXPECT_EQ(Delta(previous, current),
            (Bytes{1, 0xE0, 1, 1, 0, 2, 8, 2, 0, 0, 0, 2, 1, 0, 1, 0xE1, 1, 32, 0, 1}));

  // The very next row: only the end of line is needed.
  current = previous;
  current.Set(0, 0, 0xE0);
  current.Set(1, 1, 0xE1);
  EXPECT_EQ(Delta(previous, current), (Bytes{1, 0xE0, 1, 1, 0, 0, 0, 2, 1, 0, 1, 0xE1, 1, 12, 0, 1}));
}

TEST(DeltaFrameCode, UnchangedRunInsideChangedAreaIsWrittenAsRun) {
  TestFrame previous = Row8({0x10, 0x77, 0x77, 0x77, 0x20});
  TestFrame current = Row8({0x11, 0x77, 0x77, 0x77, 0x21});
  EXPECT_EQ(Delta(previous, current), (Bytes{1, 0x11, 3, 0x77, 1, 0x21, 0, 0, 0, 1}));
}

// Unchanged, unchanged, changed, unchanged with every neighbour different: four bytes of jump and
// four of runs for every four pixels, which at 8 bits is exactly the worst case the driver sizes.
TestFrame WorstCasePair(int width, int height, int bits, TestFrame& previous) {
  previous = TestFrame(width, height, bits);
  TestFrame current(width, height, bits);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t value = 0x01010101u * static_cast<uint32_t>((x + y) % 2 + 1);
      previous.Set(x, y, value);
      current.Set(x, y, x % 4 == 2 ? value + 0x40404040u * static_cast<uint32_t>(1 + y % 2) : value);
    }
  }
  return current;
}

TEST(DeltaFrameCode, WorstCaseFitsTheBoundAtEveryDepth) {
  for (int bits : kDepths) {
    for (int width : {4, 8, 12, 64}) {
      TestFrame previous(1, 1, 8);
      const TestFrame current = WorstCasePair(width, 7, bits, previous);
      const Bytes stream = Delta(previous, current);
      const int64_t bound = MaxStreamSize(width, 7, bits);
      ASSERT_FALSE(stream.empty());
      EXPECT_LE(static_cast<int64_t>(stream.size()), bound) << bits << " " << width;
      if (bits == 8) {
        EXPECT_EQ(static_cast<int64_t>(stream.size()), bound) << width;
      }
      TestFrame decoded = previous;
      EXPECT_TRUE(Decode(stream, decoded));
      EXPECT_TRUE(decoded.SamePixels(current));
    }
  }
}

TEST(CoderRoundTrip, KeyAndDeltaAtEveryDepthAndSize) {
  std::mt19937 random(2024);
  for (int bits : kDepths) {
    for (int width : {1, 2, 3, 5, 254, 255, 256, 257, 511}) {
      for (int height : {1, 2, 255, 256}) {
        if (width * height > 70000) continue;
        TestFrame previous(width, height, bits);
        FillScreenLike(previous, random);
        TestFrame current = previous;
        ChangeSome(current, random);

        TestFrame decoded(width, height, bits);
        ASSERT_TRUE(Decode(Key(current), decoded)) << bits << " " << width << "x" << height;
        ASSERT_TRUE(decoded.SamePixels(current)) << bits << " " << width << "x" << height;

        decoded = previous;
        ASSERT_TRUE(Decode(Delta(previous, current), decoded)) << bits << " " << width << "x" << height;
        ASSERT_TRUE(decoded.SamePixels(current)) << bits << " " << width << "x" << height;
      }
    }
  }
}

class TraceCapture {
 public:
  TraceCapture() : handler_(new CapturingTextHandler) { SetTraceHandler(CountedPtr<TextHandler>(handler_)); }
  ~TraceCapture() { SetTraceHandler(CountedPtr<TextHandler>()); }
  std::wstring Text() const { return handler_->Text(); }

 private:
  CountedPtr<CapturingTextHandler> handler_;
};

TEST(Decoder, EndsAndFailsAsTheFormatSays) {
  TraceCapture trace;
  TestFrame frame(4, 2, 8);
  // End of line on the last row only when the end of image follows.
  EXPECT_TRUE(Decode({4, 1, 0, 0, 4, 2, 0, 0, 0, 1}, frame));
  EXPECT_EQ(frame.Get(3, 1), 2u);
  EXPECT_FALSE(Decode({4, 1, 0, 0, 4, 2, 0, 0, 4, 3}, frame));
  EXPECT_NE(trace.Text().find(L"Error: next y is out of image.\n"), std::wstring::npos);
  EXPECT_FALSE(Decode({0, 2, 0, 2, 0, 1}, frame));
  EXPECT_NE(trace.Text().find(L"Error: jump out of image bounds.\n"), std::wstring::npos);
  EXPECT_FALSE(Decode({4, 1, 0, 0}, frame));
  EXPECT_NE(trace.Text().find(L"Warning: no end-of-image code found\n"), std::wstring::npos);

  // Arguments outside the format are refused without a word.
  const Bytes stream = {0, 1};
  EXPECT_FALSE(DecodeFrame(stream.data(), 0, frame.bytes.data(), 4, 2, 8));
  EXPECT_FALSE(DecodeFrame(stream.data(), 2, frame.bytes.data(), 4, 2, 15));
  EXPECT_FALSE(DecodeFrame(stream.data(), 2, nullptr, 4, 2, 8));
  EXPECT_FALSE(DecodeFrame(stream.data(), 2, frame.bytes.data(), -4, 2, 8));
}

TEST(Decoder, WordsCutShortEndDecoding) {
  TraceCapture trace;
  for (int bits : kDepths) {
    TestFrame frame(4, 2, bits);
    const Bytes cut[] = {{3}, {3, 1}, {0}, {0, 2}, {0, 2, 1}, {0, 3, 1, 2}, {0, 5, 1, 2, 3, 4, 5, 6, 7, 8, 9}};
    for (const Bytes& stream : cut) {
      EXPECT_FALSE(Decode(stream, frame)) << bits << " " << stream.size();
    }
  }
  // At 8 bits an odd literal's pad byte belongs to the word.
  TestFrame frame(4, 2, 8);
  EXPECT_FALSE(Decode({0, 3, 1, 2, 3}, frame));
  EXPECT_TRUE(Decode({0, 3, 1, 2, 3, 0, 0, 1}, frame));
  EXPECT_NE(trace.Text().find(L"cut short"), std::wstring::npos);
}

TEST(Decoder, SkipsWordsPastTheImageEndWithTheirBytes) {
  TestFrame frame(4, 1, 8);
  frame.bytes = {9, 9, 9, 9};
  // The run of 5 and the literal of 5 do not fit: skipped, values consumed, position kept.
  EXPECT_TRUE(Decode({5, 0xAA, 0, 5, 1, 2, 3, 4, 5, 0, 2, 0xBB, 0, 1}, frame));
  EXPECT_EQ(frame.bytes, (Bytes{0xBB, 0xBB, 9, 9}));
}

TEST(Decoder, JumpsPastTheRowEndContinueIntoLaterRows) {
  TestFrame frame(2, 2, 8);  // stride 4
  EXPECT_TRUE(Decode({0, 2, 5, 0, 1, 0xCC, 0, 1}, frame));
  EXPECT_EQ(frame.bytes[5], 0xCC);
  // Many jumps along one row never wrap the position back into the frame.
  Bytes stream;
  for (int i = 0; i < 20000; ++i) stream.insert(stream.end(), {0, 2, 0xFF, 0});
  stream.insert(stream.end(), {1, 0xDD, 0, 1});
  frame.bytes.assign(frame.bytes.size(), 0);
  EXPECT_TRUE(Decode(stream, frame));
  EXPECT_EQ(frame.bytes, Bytes(8, 0));
}

// Bounded mutation run: valid streams with bytes flipped, cut, duplicated and replaced by noise,
// decoded from guarded streams into guarded frames. A fault would end the program.
TEST(Decoder, SurvivesMutatedStreams) {
  std::mt19937 random(77);
  int complete = 0;
  int incomplete = 0;
  for (int round = 0; round < 400; ++round) {
    const int bits = kDepths[round % 4];
    const int width = 1 + static_cast<int>(random() % 70);
    const int height = 1 + static_cast<int>(random() % 20);
    TestFrame previous(width, height, bits);
    FillScreenLike(previous, random);
    TestFrame current = previous;
    ChangeSome(current, random);
    const Bytes valid = round % 2 ? Delta(previous, current) : Key(current);
    for (int mutation = 0; mutation < 25; ++mutation) {
      Bytes stream = valid;
      const int edits = 1 + static_cast<int>(random() % 4);
      for (int e = 0; e < edits && !stream.empty(); ++e) {
        const size_t at = random() % stream.size();
        switch (random() % 5) {
          case 0: stream[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
          case 1: stream[at] = static_cast<uint8_t>(random()); break;
          case 2: stream.resize(at + 1); break;
          case 3: stream.insert(stream.begin() + static_cast<ptrdiff_t>(at), stream[at]); break;
          default: stream[at] = static_cast<uint8_t>(random() % 3); break;
        }
      }
      TestFrame target = previous;
      (Decode(stream, target) ? complete : incomplete) += 1;
    }
  }
  // Both outcomes occur, so the run explored more than one path.
  EXPECT_GT(complete, 0);
  EXPECT_GT(incomplete, 0);
}

}  // namespace
