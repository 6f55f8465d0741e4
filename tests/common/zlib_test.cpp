#include "common/zstream.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/fileutil.h"
#include "tests/support/capture.h"

namespace {

// Compressible but not trivial: runs and noise.
std::vector<uint8_t> SampleData(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = (i / 64) % 3 == 0 ? static_cast<uint8_t>(random()) : static_cast<uint8_t>(i / 97);
  return data;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data, int level = 6) {
  ZlibDeflater deflater(level);
  std::vector<uint8_t> out(data.size() + data.size() / 100 + 64);
  const int32_t length = deflater.Compress(data.data(), static_cast<int32_t>(data.size()), out.data(),
                                           static_cast<int32_t>(out.size()));
  out.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return out;
}

}  // namespace

TEST(Zlib, RoundTripsAtEveryLevelWithOneObject) {
  ZlibInflater inflater;
  for (int level : {0, 1, 6, 9}) {
    ZlibDeflater deflater(level);
    for (unsigned seed : {1u, 2u}) {
      const std::vector<uint8_t> data = SampleData(100000 + seed, seed);
      std::vector<uint8_t> packed(data.size() + 1024);
      const int32_t packedLength = deflater.Compress(data.data(), static_cast<int32_t>(data.size()), packed.data(),
                                                     static_cast<int32_t>(packed.size()));
      ASSERT_GT(packedLength, 0) << "level " << level;
      std::vector<uint8_t> unpacked(data.size());
      ASSERT_EQ(inflater.Decompress(packed.data(), packedLength, unpacked.data(), static_cast<int32_t>(unpacked.size())),
                static_cast<int32_t>(data.size()));
      EXPECT_EQ(unpacked, data);
    }
  }
}

TEST(Zlib, TooSmallThenSuccessAndDamagedInput) {
  const std::vector<uint8_t> data = SampleData(5000, 3);
  ZlibDeflater deflater(6);
  std::vector<uint8_t> packed(8000);
  EXPECT_EQ(deflater.Compress(data.data(), 5000, packed.data(), 10), -1);
  const int32_t length = deflater.Compress(data.data(), 5000, packed.data(), 8000);
  ASSERT_GT(length, 0);

  ZlibInflater inflater;
  std::vector<uint8_t> unpacked(5000);
  EXPECT_EQ(inflater.Decompress(packed.data(), length, unpacked.data(), 100), -1);
  EXPECT_EQ(inflater.Decompress(packed.data(), length - 3, unpacked.data(), 5000), -1);
  const uint8_t notZlib[] = "this is not zlib data";
  EXPECT_EQ(inflater.Decompress(notZlib, sizeof(notZlib), unpacked.data(), 5000), -1);
  EXPECT_EQ(inflater.Decompress(packed.data(), length, unpacked.data(), 5000), 5000);
  EXPECT_EQ(inflater.Decompress(nullptr, length, unpacked.data(), 5000), -1);
}

TEST(Zlib, InvalidLevelFailsCleanly) {
  ZlibDeflater deflater(42);
  uint8_t in[4] = {1, 2, 3, 4}, out[64];
  EXPECT_EQ(deflater.Compress(in, 4, out, 64), -1);
}

TEST(ZlibIStream, ReadsInOddChunks) {
  const std::vector<uint8_t> data = SampleData(200000, 4);
  std::vector<uint8_t> packed = Compress(data);
  BufferStream source(packed.data(), packed.size());
  ZlibIStream in(source);
  std::vector<uint8_t> read;
  uint8_t chunk[997];
  size_t sizes[] = {1, 7, 997, 300, 13};
  for (int i = 0; !in.AtEnd(); ++i) {
    const int32_t got = in.Transfer(chunk, static_cast<int32_t>(sizes[i % 5]));
    ASSERT_GE(got, 0);
    read.insert(read.end(), chunk, chunk + got);
  }
  EXPECT_EQ(read, data);
  EXPECT_EQ(in.GetPosition(), 200000);
  EXPECT_EQ(in.GetSize(), -1);
  EXPECT_EQ(in.Transfer(chunk, 1), -1);
}

TEST(ZlibIStream, ShortReadAtTheEndThenError) {
  const std::vector<uint8_t> data = SampleData(100, 5);
  std::vector<uint8_t> packed = Compress(data);
  BufferStream source(packed.data(), packed.size());
  ZlibIStream in(source);
  uint8_t buffer[150];
  EXPECT_EQ(in.Transfer(buffer, 150), 100);
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(in.Transfer(buffer, 150), -1);
}

TEST(ZlibIStream, ForwardSeekOnly) {
  const std::vector<uint8_t> data = SampleData(3000, 6);
  std::vector<uint8_t> packed = Compress(data);
  BufferStream source(packed.data(), packed.size());
  ZlibIStream in(source);
  ASSERT_TRUE(in.Seek(1000));
  EXPECT_EQ(in.GetPosition(), 1000);
  EXPECT_FALSE(in.Seek(0));
  EXPECT_EQ(in.GetPosition(), 1000);
  uint8_t byte = 0;
  ASSERT_EQ(in.Transfer(&byte, 1), 1);
  EXPECT_EQ(byte, data[1000]);
  EXPECT_FALSE(in.Seek(5000));  // past the end
}

TEST(ZlibIStream, RefusesAnOutputSource) {
  MemOut out;
  ZlibIStream in(out);
  uint8_t byte = 0;
  EXPECT_EQ(in.Transfer(&byte, 1), -1);
  EXPECT_FALSE(in.Seek(0));
  EXPECT_FALSE(in.AtEnd());
}

TEST(ZlibIStream, TruncatedInputFailsForGood) {
  const std::vector<uint8_t> data = SampleData(300000, 7);
  std::vector<uint8_t> packed = Compress(data);
  BufferStream source(packed.data(), packed.size() / 2);
  ZlibIStream in(source);
  std::vector<uint8_t> buffer(400000);
  EXPECT_EQ(in.Transfer(buffer.data(), 400000), -1);
  EXPECT_EQ(in.Transfer(buffer.data(), 1), -1);
  EXPECT_FALSE(in.Seek(in.GetPosition() + 1));
}

// Copies whose inflated size is a whole number of inflation chunks, through a source that gives one
// byte per call: the inflater learns of the end only from an empty last step.
TEST(ZlibIStream, CopyFromExactChunkMultiples) {
  for (size_t size : {size_t(65536), size_t(131072)}) {
    const std::vector<uint8_t> data = SampleData(size, static_cast<unsigned>(size));
    std::vector<uint8_t> packed = Compress(data);
    BufferStream buffer(packed.data(), packed.size());
    ShortTransferStream trickle(buffer, 1);
    ZlibIStream in(trickle);
    MemOut out;
    ASSERT_TRUE(out.CopyFrom(in)) << size;
    ASSERT_EQ(static_cast<size_t>(out.GetDataSize()), size);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.GetData()));
  }
}

// Leaves a sample and its level-6 deflate output for the host check against Python's zlib.
TEST(Zlib, WritesSampleForHostComparison) {
  const std::vector<uint8_t> data = SampleData(70000, 8);
  const std::vector<uint8_t> packed = Compress(data, 6);
  ASSERT_FALSE(packed.empty());
  ASSERT_TRUE(WriteFileBytes(L"zlib_input.bin", data.data(), static_cast<int64_t>(data.size())));
  ASSERT_TRUE(WriteFileBytes(L"zlib_level6.bin", packed.data(), static_cast<int64_t>(packed.size())));
  const std::string version = zlibVersion();
  ASSERT_TRUE(WriteFileBytes(L"zlib_version.txt", version.data(), static_cast<int64_t>(version.size())));
}
