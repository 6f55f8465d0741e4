#include "app/velto/source/coder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/error.h"
#include "tests/app/velto/frames.h"
#include "tests/support/guarded.h"
#include "tests/support/capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const int kDepths[] = {8, 16, 24, 32};

TestFrame Row8(const Bytes& values, int height = 1) {
  TestFrame frame(static_cast<int>(values.size()), height, 8);
  for (int y = 0; y < height; ++y)
    for (size_t i = 0; i < values.size(); ++i) frame.Set(static_cast<int>(i), y, values[i]);
  return frame;
}

// Encodes into a buffer of exactly the worst-case size: a write past it faults.
Bytes Encode(const TestFrame* previous, const TestFrame& frame) {
  GuardedBuffer out(static_cast<size_t>(MaxStreamSize(frame.width, frame.height, frame.bitCount)));
  const int32_t length =
      previous ? EncodeDeltaFrame(previous->bytes.data(), frame.bytes.data(), out.data(), frame.width, frame.height,
                                  frame.bitCount)
               : EncodeKeyFrame(frame.bytes.data(), out.data(), frame.width, frame.height, frame.bitCount);
  return length < 0 ? Bytes() : out.Bytes(static_cast<size_t>(length));
}
Bytes Key(const TestFrame& frame) { return Encode(nullptr, frame); }
Bytes Delta(const TestFrame& previous, const TestFrame& frame) { return Encode(&previous, frame); }

// Decodes from a guarded stream onto a guarded copy of the frame.
bool Decode(const Bytes& stream, TestFrame& frame) {
  GuardedBuffer in(stream);
  GuardedBuffer target(frame.bytes);
  const bool complete = DecodeFrame(in.data(), static_cast<int32_t>(stream.size()), target.data(), frame.width,
                                    frame.height, frame.bitCount);
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
  Bytes different(255);
  for (int i = 0; i < 255; ++i) different[i] = static_cast<uint8_t>(i);
  Bytes longer = different;
  longer.push_back(0xFF);
  const struct {
    Bytes row;
    Bytes code;
  } cases[] = {
      {{A, B, C, C}, {1, A, 1, B, 2, C, 0, 0, 0, 1}},
      {{A, B, B, B}, {1, A, 3, B, 0, 0, 0, 1}},  // a run of one, not a 2-pixel literal
      {{A, B, C}, {0, 3, A, B, C, 0, 0, 0, 0, 1}},  // the pad byte of an odd 8-bit literal
      {Bytes(256, 7), {0xFF, 7, 1, 7, 0, 0, 0, 1}},
      {Bytes(300, 7), {0xFF, 7, 0x2D, 7, 0, 0, 0, 1}},
      {different, Concat({{0, 0xFF}, different, {0, 0, 0, 0, 1}})},
      {longer, Concat({{0, 0xFF}, different, {0, 1, 0xFF, 0, 0, 0, 1}})},
  };
  for (const auto& c : cases) EXPECT_EQ(Key(Row8(c.row)), c.code) << c.row.size();
  // One pixel wide: a run of one per row.
  EXPECT_EQ(Key(Row8({A}, 2)), (Bytes{1, A, 0, 0, 1, A, 0, 0, 0, 1}));
  // Wider pixels are never padded.
  TestFrame sixteen(3, 1, 16);
  for (int x = 0; x < 3; ++x) sixteen.Set(x, 0, 0x1111u * (x + 1));
  EXPECT_EQ(Key(sixteen), (Bytes{0, 3, 0x11, 0x11, 0x22, 0x22, 0x33, 0x33, 0, 0, 0, 1}));
}

// A run word counts at most 255: runs just below, at and just above that, at every depth. Delta
// frames write their runs with the same words.
TEST(KeyFrameCode, RunsAroundTheLongestWordAtEveryDepth) {
  const uint8_t kPixel[] = {0x8D, 0x7C, 0x6B, 0x5A};
  for (int bits : kDepths) {
    const Bytes value(kPixel, kPixel + bits / 8);
    const auto word = [&](uint8_t count) { return Concat({{count}, value}); };
    const struct {
      int width;
      Bytes runs;
    } cases[] = {{254, word(254)}, {255, word(255)}, {256, Concat({word(255), word(1)})}};
    for (const auto& c : cases) {
      TestFrame blank(c.width, 1, bits);
      TestFrame row = blank;
      for (int x = 0; x < c.width; ++x) row.Set(x, 0, 0x5A6B7C8Du);
      EXPECT_EQ(Key(row), Concat({c.runs, {0, 0, 0, 1}})) << bits << " bits, " << c.width;
      TestFrame decoded = blank;
      EXPECT_TRUE(Decode(Delta(blank, row), decoded) && decoded.SamePixels(row)) << bits << " bits, " << c.width;
    }
  }
}

TEST(KeyFrameCode, RefusesBadArguments) {
  Bytes frame(64), out(256);
  EXPECT_EQ(EncodeKeyFrame(frame.data(), out.data(), 2, 2, 12), -1);
  EXPECT_EQ(EncodeKeyFrame(nullptr, out.data(), 2, 2, 8), -1);
  EXPECT_EQ(EncodeKeyFrame32(frame.data(), out.data(), 0, 2), -1);
  EXPECT_EQ(EncodeDeltaFrame16(frame.data(), frame.data(), nullptr, 2, 2), -1);
  // A worst case beyond 32 bits is refused before anything is written.
  EXPECT_EQ(EncodeKeyFrame32(frame.data(), out.data(), 100000, 100000), -1);
}

TEST(DeltaFrameCode, JumpsOverWhatDidNotChange) {
  std::mt19937 random(1);
  for (int bits : kDepths) {
    TestFrame frame(37, 5, bits);
    FillScreenLike(frame, random);
    EXPECT_EQ(Delta(frame, frame), (Bytes{0, 1})) << bits;
  }
  TestFrame large(300, 300, 8);
  TestFrame last = large;
  last.Set(299, 299, 0x5A);
  EXPECT_EQ(Delta(large, last), (Bytes{0, 2, 0xFF, 0xFF, 0, 2, 0x2C, 0x2C, 1, 0x5A, 0, 0, 0, 1}));

  TestFrame previous(10, 4, 8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 10; ++x) previous.Set(x, y, static_cast<uint32_t>(10 * y + x));
  const struct {
    int x1, y1, x2, y2;
    Bytes code;
  } cases[] = {
      // Within a row; the unchanged rest of the frame is not coded.
      {5, 0, 5, 0, {0, 2, 5, 0, 1, 0xE0, 1, 6, 0, 1}},
      // Left of the pending position on the next row: only an end of line, then a jump right.
      {0, 0, 1, 1, {1, 0xE0, 1, 1, 0, 0, 0, 2, 1, 0, 1, 0xE1, 1, 12, 0, 1}},
      // Two rows down: down and right to the row end, end of line, then right.
      {0, 0, 1, 3, {1, 0xE0, 1, 1, 0, 2, 8, 2, 0, 0, 0, 2, 1, 0, 1, 0xE1, 1, 32, 0, 1}},
  };
  for (const auto& c : cases) {
    TestFrame current = previous;
    current.Set(c.x1, c.y1, 0xE0);
    if (c.y2 != c.y1) current.Set(c.x2, c.y2, 0xE1);
    EXPECT_EQ(Delta(previous, current), c.code) << c.x2 << "," << c.y2;
  }
  // Unchanged pixels inside a changed area are written as a run, not jumped over.
  EXPECT_EQ(Delta(Row8({0x10, 0x77, 0x77, 0x77, 0x20}), Row8({0x11, 0x77, 0x77, 0x77, 0x21})),
            (Bytes{1, 0x11, 3, 0x77, 1, 0x21, 0, 0, 0, 1}));
}

// Unchanged, unchanged, changed, unchanged with every neighbour different: a 4-byte jump and two
// runs of one per four pixels, exactly the worst case the driver sizes at 8 bits.
TEST(DeltaFrameCode, WorstCaseFitsTheBoundAtEveryDepth) {
  for (int bits : kDepths) {
    for (int width : {4, 12, 64}) {
      TestFrame previous(width, 7, bits);
      TestFrame current = previous;
      for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < width; ++x) {
          const uint32_t value = 0x01010101u * static_cast<uint32_t>((x + y) % 2 + 1);
          previous.Set(x, y, value);
          current.Set(x, y, x % 4 == 2 ? value + 0x40404040u * static_cast<uint32_t>(1 + y % 2) : value);
        }
      }
      const Bytes stream = Delta(previous, current);
      const int64_t bound = MaxStreamSize(width, 7, bits);
      ASSERT_FALSE(stream.empty());
      EXPECT_TRUE(bits == 8 ? static_cast<int64_t>(stream.size()) == bound
                            : static_cast<int64_t>(stream.size()) < bound)
          << bits << " " << width << ": " << stream.size() << " of " << bound;
      EXPECT_TRUE(Decode(stream, previous));
      EXPECT_TRUE(previous.SamePixels(current));
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
        TestFrame fromKey(width, height, bits);
        TestFrame fromDelta = previous;
        ASSERT_TRUE(Decode(Key(current), fromKey) && Decode(Delta(previous, current), fromDelta));
        ASSERT_TRUE(fromKey.SamePixels(current) && fromDelta.SamePixels(current))
            << bits << " " << width << "x" << height;
      }
    }
  }
}

TEST(Decoder, EndsAndFailsAsTheFormatSays) {
  TraceCapture trace;
  TestFrame frame(4, 2, 8);
  // End of line on the last row only when the end of image follows.
  EXPECT_TRUE(Decode({4, 1, 0, 0, 4, 2, 0, 0, 0, 1}, frame));
  EXPECT_EQ(frame.Get(3, 1), 2u);
  EXPECT_FALSE(Decode({4, 1, 0, 0, 4, 2, 0, 0, 4, 3}, frame));
  EXPECT_TRUE(trace.Saw(L"Error: next y is out of image.\n"));
  EXPECT_FALSE(Decode({0, 2, 0, 2, 0, 1}, frame));
  EXPECT_TRUE(trace.Saw(L"Error: jump out of image bounds.\n"));
  EXPECT_FALSE(Decode({4, 1, 0, 0}, frame));
  EXPECT_TRUE(trace.Saw(L"Warning: no end-of-image code found\n"));
  EXPECT_FALSE(DecodeFrame(frame.bytes.data(), 0, frame.bytes.data(), 4, 2, 8));
  EXPECT_FALSE(DecodeFrame(frame.bytes.data(), 2, frame.bytes.data(), 4, 2, 15));

  // Words cut short by the end of the stream, at every depth; at 8 bits the pad byte counts.
  for (int bits : kDepths) {
    TestFrame target(4, 2, bits);
    for (const Bytes& cut : {Bytes{3}, Bytes{0}, Bytes{0, 2, 1}, Bytes{0, 3, 1, 2}, Bytes{0, 3, 1, 2, 3}})
      EXPECT_FALSE(Decode(cut, target)) << bits << " " << cut.size();
  }
  EXPECT_TRUE(trace.Saw(L"cut short"));
}

TEST(Decoder, StaysInsideTheFrame) {
  TestFrame frame(4, 1, 8);
  frame.bytes = {9, 9, 9, 9};
  // A run and a literal of 5 do not fit: nothing is written and the bytes after their counts are
  // read as code words (a run of 170, skipped too; runs 01 02 and 03 04; a run of 5; a jump).
  EXPECT_TRUE(Decode({5, 0xAA, 0, 5, 1, 2, 3, 4, 5, 0, 2, 0xBB, 0, 0, 1}, frame));
  EXPECT_EQ(frame.bytes, (Bytes{2, 4, 4, 4}));

  // A jump past the row end continues into the next row (stride 4).
  TestFrame two(2, 2, 8);
  EXPECT_TRUE(Decode({0, 2, 5, 0, 1, 0xCC, 0, 1}, two));
  EXPECT_EQ(two.bytes[5], 0xCC);
  // Many jumps along one row never wrap the position back into the frame.
  Bytes stream;
  for (int i = 0; i < 20000; ++i) stream.insert(stream.end(), {0, 2, 0xFF, 0});
  stream.insert(stream.end(), {1, 0xDD, 0, 1});
  two.bytes.assign(8, 0);
  EXPECT_TRUE(Decode(stream, two));
  EXPECT_EQ(two.bytes, Bytes(8, 0));
  // Nor at 2^30 columns of 4 bytes, where a 32-bit byte position would come round to 0.
  stream.clear();
  constexpr int kColumns = 1 << 30;
  for (int i = 0; i < kColumns / 255; ++i) stream.insert(stream.end(), {0, 2, 0xFF, 0});
  stream.insert(stream.end(), {0, 2, static_cast<uint8_t>(kColumns % 255), 0, 1, 1, 2, 3, 4, 0, 1});
  TestFrame wide(2, 2, 32);
  EXPECT_TRUE(Decode(stream, wide));
  EXPECT_EQ(wide.bytes, Bytes(16, 0));
}

// A run or a literal that would pass the image end is not written, and reading goes on with the
// byte after its count, at every depth: a host reads a damaged stream as every other host does.
TEST(Decoder, ReadsOnAfterTheCountOfAWordPastTheImageEnd) {
  for (const Bytes& stream : {Bytes{5, 0, 1}, Bytes{0, 5, 0, 1}}) {
    TestFrame one(1, 1, 8);
    one.bytes = {7, 7, 7, 7};
    EXPECT_TRUE(Decode(stream, one)) << stream.size();
    EXPECT_EQ(one.bytes, (Bytes{7, 7, 7, 7})) << stream.size();
  }

  TestFrame row(4, 1, 8);
  row.bytes = {9, 9, 9, 9};
  EXPECT_TRUE(Decode({5, 0, 5, 2, 0xBB, 0, 1}, row));
  EXPECT_EQ(row.bytes, (Bytes{0xBB, 0xBB, 9, 9}));

  // Two pixels of 4 bytes: a run and a literal of 3 pass the end; the run of one after them counts.
  TestFrame wide(2, 1, 32);
  wide.bytes = Bytes(8, 9);
  EXPECT_TRUE(Decode({3, 0, 3, 1, 0xAA, 0xBB, 0xCC, 0xDD, 0, 1}, wide));
  EXPECT_EQ(wide.bytes, (Bytes{0xAA, 0xBB, 0xCC, 0xDD, 9, 9, 9, 9}));
}

// Valid streams with bytes flipped, replaced, cut and repeated, decoded from guarded streams into
// guarded frames: a stray access ends the program.
TEST(Decoder, SurvivesMutatedStreams) {
  std::mt19937 random(77);
  int complete = 0;
  int incomplete = 0;
  for (int round = 0; round < 400; ++round) {
    const int bits = kDepths[round % 4];
    TestFrame previous(1 + static_cast<int>(random() % 70), 1 + static_cast<int>(random() % 20), bits);
    FillScreenLike(previous, random);
    TestFrame current = previous;
    ChangeSome(current, random);
    const Bytes valid = round % 2 ? Delta(previous, current) : Key(current);
    for (int mutation = 0; mutation < 25; ++mutation) {
      Bytes stream = valid;
      for (int edits = 1 + static_cast<int>(random() % 4); edits > 0 && !stream.empty(); --edits) {
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
  EXPECT_GT(complete, 0);
  EXPECT_GT(incomplete, 0);
}

}  // namespace
