// The inputs' refusals that keep a movie sound: identifiers and depths beyond 16 bits.

#include <gtest/gtest.h>

#include "app/deze/source/swfvid.h"
#include "tests/app/deze/mux_harness.h"

namespace {

TEST(Vp6Writer, TakesOnlySixteenBitIdentifiersAndDepths) {
  const struct {
    int32_t characterId;
    int32_t depth;
    bool written;
  } cases[] = {
      {0xFFFF, 0xFFFE, true},
      {0x10000, 1, false},
      {1, 0xFFFF, false},
      {0x7FFFFFFF, 0x7FFFFFFF, false},
  };
  const std::vector<uint8_t> frame = VideoBytes(0);
  for (const auto& test : cases) {
    SCOPED_TRACE(test.characterId);
    MuxSettings settings;
    settings.width = 64;
    settings.height = 48;
    settings.nextCharacterId = test.characterId;
    settings.nextDepth = test.depth;
    SwfVp6Encoder encoder(&settings);
    MemOut out;
    EXPECT_EQ(test.written, encoder.EncodeFrame(frame.data(), static_cast<int32_t>(frame.size()), 0, out));
    EXPECT_EQ(test.characterId + (test.written ? 1 : 0), settings.nextCharacterId);
    EXPECT_EQ(test.depth + (test.written ? 1 : 0), settings.nextDepth);
  }
}

}  // namespace
