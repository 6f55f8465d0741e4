#include "common/stream.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/fileutil.h"
#include "tests/support/errors.h"

namespace {

std::vector<uint8_t> Written(const MemOut& out) {
  return std::vector<uint8_t>(out.GetData(), out.GetData() + out.GetDataSize());
}

}  // namespace

TEST(BitStream, KnownBitPatterns) {
  MemOut out;
  uint32_t five = 5;
  EXPECT_FALSE(out.TransferBits(five, 0));
  EXPECT_FALSE(out.TransferBits(five, 33));
  EXPECT_EQ(out.GetDataSize(), 0);
  ASSERT_TRUE(out.TransferBits(five, 3));
  EXPECT_EQ(out.GetDataSize(), 0);
  ASSERT_TRUE(out.AlignToByte());
  EXPECT_EQ(Written(out), std::vector<uint8_t>({0xA0}));

  // 3 bits then 8 bits: the first byte is complete at once, the second only when aligned.
  MemOut two;
  uint32_t ones = 0xFF;
  two.TransferBits(five, 3);
  two.TransferBits(ones, 8);
  EXPECT_EQ(two.GetDataSize(), 1);
  two.AlignToByte();
  EXPECT_EQ(Written(two), std::vector<uint8_t>({0xBF, 0xE0}));
}

// The SWF stage rectangle (0, 11000, 0, 8000) in twips, with a 5-bit field width.
TEST(BitStream, SwfRectangleFieldByField) {
  MemOut out;
  uint32_t bits = 15;
  out.TransferBits(bits, 5);
  for (uint32_t value : {0u, 11000u, 0u, 8000u}) out.TransferBits(value, 15);
  out.AlignToByte();
  EXPECT_EQ(Written(out), std::vector<uint8_t>({0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));
}

TEST(BitStream, ReadingSplitsAndAligns) {
  const uint8_t bytes[] = {0xA5, 0x3C};
  BufferStream in(bytes, sizeof(bytes));
  uint32_t value = 0;
  ASSERT_TRUE(in.TransferBits(value, 4));
  EXPECT_EQ(value, 0xAu);
  ASSERT_TRUE(in.TransferBits(value, 4));
  EXPECT_EQ(value, 0x5u);
  in.Seek(0);
  in.TransferBits(value, 3);
  in.AlignToByte();
  ASSERT_TRUE(in.TransferBits(value, 8));
  EXPECT_EQ(value, 0x3Cu);
  EXPECT_FALSE(in.TransferBits(value, 1));
}

TEST(BitStream, RandomFieldsRoundTrip) {
  std::mt19937 random(1234);
  struct Field {
    int bits;
    uint32_t value;
    bool alignAfter;
  };
  std::vector<Field> fields;
  MemOut out;
  for (int i = 0; i < 5000; ++i) {
    Field field{static_cast<int>(random() % 32) + 1, static_cast<uint32_t>(random()), random() % 7 == 0};
    field.value &= LowBitMask(field.bits);
    uint32_t value = field.value;
    ASSERT_TRUE(out.TransferBits(value, field.bits));
    if (field.alignAfter) {
      ASSERT_TRUE(out.AlignToByte());
    }
    fields.push_back(field);
  }
  out.AlignToByte();
  std::vector<uint8_t> bytes = Written(out);
  BufferStream in(bytes.data(), bytes.size());
  for (const Field& field : fields) {
    uint32_t value = 0;
    ASSERT_TRUE(in.TransferBits(value, field.bits));
    ASSERT_EQ(value, field.value);
    if (field.alignAfter) in.AlignToByte();
  }
}

TEST(BitStream, FieldWidths) {
  EXPECT_EQ(BitsForUnsigned(0), 1);
  EXPECT_EQ(BitsForUnsigned(1), 1);
  EXPECT_EQ(BitsForUnsigned(3), 2);
  EXPECT_EQ(BitsForUnsigned(255), 8);
  EXPECT_EQ(BitsForUnsigned(256), 9);
  EXPECT_EQ(BitsForUnsigned(0x80000000u), 32);
  EXPECT_EQ(BitsForSigned(0), 2);
  EXPECT_EQ(BitsForSigned(-1), 2);
  EXPECT_EQ(BitsForSigned(-2), 2);
  EXPECT_EQ(BitsForSigned(2), 3);
  EXPECT_EQ(BitsForSigned(-3), 3);
  EXPECT_EQ(BitsForSigned(127), 8);
  EXPECT_EQ(BitsForSigned(-128), 8);
  EXPECT_EQ(BitsForSigned(INT32_MIN), 32);
  EXPECT_EQ(LowBitMask(1), 1u);
  EXPECT_EQ(LowBitMask(32), 0xFFFFFFFFu);
}

TEST(MemOut, GrowthSeekAndTake) {
  MemOut out;
  EXPECT_EQ(out.GetData(), nullptr);
  EXPECT_EQ(out.GetSize(), 0);
  uint8_t byte = 1;
  ASSERT_EQ(out.Transfer(&byte, 1), 1);
  EXPECT_EQ(out.GetDataSize(), 1);
  ASSERT_TRUE(out.Seek(0));
  byte = 2;
  out.Transfer(&byte, 1);
  EXPECT_EQ(out.GetDataSize(), 1);
  EXPECT_FALSE(out.Seek(2));
  EXPECT_EQ(out.Transfer(nullptr, 1), -1);
  EXPECT_EQ(out.Transfer(&byte, 0), -1);

  const uint8_t ten[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  MemOut full;
  full.Transfer(const_cast<uint8_t*>(ten), 10);
  full.Seek(4);
  std::vector<uint8_t> taken;
  full.TakeBuffer(taken);
  EXPECT_EQ(taken, std::vector<uint8_t>(ten, ten + 10));
  EXPECT_EQ(full.GetPosition(), 0);
  EXPECT_EQ(full.GetSize(), 0);
  full.Transfer(&byte, 1);
  EXPECT_EQ(Written(full), std::vector<uint8_t>({2}));

  // A write from inside the written bytes past their end overwrites, then extends.
  MemOut straddled;
  straddled.Transfer(const_cast<uint8_t*>(ten), 10);
  ASSERT_TRUE(straddled.Seek(8));
  EXPECT_EQ(straddled.Transfer(const_cast<uint8_t*>(ten), 4), 4);
  EXPECT_EQ(Written(straddled), std::vector<uint8_t>({0, 1, 2, 3, 4, 5, 6, 7, 0, 1, 2, 3}));
  EXPECT_EQ(straddled.GetPosition(), 12);
}

TEST(MemOut, RefusesToPassTwoGigabytes) {
  MemOut out;
  std::vector<uint8_t> chunk(16, 7);
  out.Transfer(chunk.data(), 16);
  // A write whose end passes INT32_MAX fails and changes nothing; the buffer is never touched.
  EXPECT_EQ(out.Transfer(chunk.data(), INT32_MAX - 8), -1);
  EXPECT_EQ(out.GetPosition(), 16);
  EXPECT_EQ(out.GetDataSize(), 16);
}

TEST(BufferStream, ShortCountsAndBounds) {
  uint8_t memory[4] = {};
  BufferStream out(false, memory, sizeof(memory));
  const uint8_t ten[10] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
  EXPECT_EQ(out.Transfer(const_cast<uint8_t*>(ten), 10), 4);
  EXPECT_EQ(out.Transfer(const_cast<uint8_t*>(ten), 10), 0);
  EXPECT_EQ(memory[3], 6);
  EXPECT_TRUE(out.Seek(4));
  EXPECT_FALSE(out.Seek(5));
  EXPECT_FALSE(out.Seek(-1));
  EXPECT_FALSE(out.TransferExactly(const_cast<uint8_t*>(ten), 1));
  EXPECT_TRUE(out.TransferExactly(nullptr, 0));
}

TEST(DataStream, CopyFromRulesOfDirection) {
  const uint8_t bytes[3] = {1, 2, 3};
  BufferStream atEnd(bytes, 3);
  atEnd.Seek(3);
  MemOut out;
  EXPECT_TRUE(out.CopyFrom(atEnd));
  EXPECT_EQ(out.GetDataSize(), 0);

  BufferStream source(bytes, 3);
  MemOut wrongWay;
  EXPECT_FALSE(source.CopyFrom(wrongWay));
  EXPECT_TRUE(out.CopyFrom(source));
  EXPECT_EQ(Written(out), std::vector<uint8_t>({1, 2, 3}));
}

TEST(FileStream, RealFiles) {
  const uint8_t data[5] = {10, 20, 30, 40, 50};
  {
    FileStream out(L"stream.bin", false);
    ASSERT_TRUE(out.IsOpen());
    EXPECT_FALSE(out.IsReading());
    ASSERT_TRUE(out.TransferExactly(const_cast<uint8_t*>(data), 5));
    EXPECT_EQ(out.GetSize(), 5);
    // Written without sharing: a reader is refused while it is open.
    FileStream blocked(L"stream.bin", true);
    EXPECT_FALSE(blocked.IsOpen());
  }
  ASSERT_EQ(RecordedErrors().Boxes().size(), 1u);
  EXPECT_EQ(RecordedErrors().Boxes()[0].messages.back(), L"Failed to open file stream.bin");

  FileStream in(L"stream.bin", true);
  ASSERT_TRUE(in.IsOpen());
  EXPECT_EQ(in.GetSize(), 5);
  EXPECT_TRUE(in.Seek(5));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_FALSE(in.Seek(6));
  EXPECT_EQ(in.GetPosition(), 5);
  ASSERT_TRUE(in.Seek(2));
  uint8_t read[8] = {};
  EXPECT_EQ(in.Transfer(read, 8), 3);
  EXPECT_EQ(read[0], 30);
  EXPECT_EQ(in.Transfer(read, 8), 0);
}

TEST(FileStream, MissingFileIsShownWithItsPath) {
  FileStream missing(L"missing\\nothing.bin", true);
  EXPECT_FALSE(missing.IsOpen());
  uint8_t byte = 0;
  EXPECT_EQ(missing.Transfer(&byte, 1), -1);
  EXPECT_FALSE(missing.Seek(0));
  ASSERT_EQ(RecordedErrors().Boxes().size(), 1u);
  EXPECT_EQ(RecordedErrors().Boxes()[0].messages, std::vector<std::wstring>({L"Failed to open file missing\\nothing.bin"}));
}
