#include "media/swfrecord.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/zstream.h"
#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

TEST(RecordHeader, GoldenHeadersReadBack) {
  const struct {
    int32_t code, length;
    Bytes bytes;
  } cases[] = {
      {1, 0, {0x40, 0x00}},
      {26, 6, {0x86, 0x06}},
      {12, 62, {0x3E, 0x03}},
      {12, 63, {0x3F, 0x03, 0x3F, 0x00, 0x00, 0x00}},
      {36, 5, {0x3F, 0x09, 0x05, 0x00, 0x00, 0x00}},
      {1023, 70000, {0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
  };
  for (const auto& c : cases) {
    MemOut out;
    ASSERT_TRUE(WriteRecordHeader(out, c.code, c.length)) << c.code;
    EXPECT_EQ(Written(out), c.bytes) << c.code << "/" << c.length;
    BufferStream in(c.bytes.data(), c.bytes.size());
    RecordHeader header;
    ASSERT_TRUE(header.Exchange(in));
    EXPECT_EQ(header.code, c.code);
    EXPECT_EQ(header.length, c.length);
    EXPECT_EQ(header.headerSize, static_cast<int32_t>(c.bytes.size()));
  }
}

TEST(RecordHeader, RefusalsAndTheLongMarker) {
  for (auto [code, length] : {std::pair{-1, 0}, std::pair{1024, 0}, std::pair{12, -1}, std::pair{36, -5}}) {
    RecordHeader header(code, length);
    EXPECT_TRUE(RefusedCleanly(header)) << code << "/" << length;
  }
  // Reading goes by the 63 marker alone, even for a long length below 63; lengths above 2 GiB and
  // short data fail.
  const Bytes longFive = {0x3F, 0x03, 0x05, 0x00, 0x00, 0x00}, huge = {0x3F, 0x03, 0x00, 0x00, 0x00, 0x80};
  BufferStream in(longFive.data(), longFive.size()), hugeIn(huge.data(), huge.size()), cut(longFive.data(), 4);
  RecordHeader header;
  ASSERT_TRUE(header.Exchange(in));
  EXPECT_EQ(header.length, 5);
  EXPECT_EQ(header.headerSize, 6);
  EXPECT_FALSE(RecordHeader().Exchange(hugeIn));
  EXPECT_FALSE(RecordHeader().Exchange(cut));
}

TEST(BitFields, WidthsSignsAndDumps) {
  EXPECT_EQ(UBX<5>(37).value, 5u);
  EXPECT_EQ(UBX<1>(2).value, 0u);
  const Bytes ones = {0xFF};
  BufferStream in(ones.data(), 1);
  SB fourSigned(4, 0);
  UB fourUnsigned(4, 0);
  ASSERT_TRUE(fourSigned.Exchange(in) && fourUnsigned.Exchange(in));
  EXPECT_EQ(fourSigned.value, -1);
  EXPECT_EQ(fourUnsigned.value, 15u);
  EXPECT_EQ(SignExtend(0xFFFFFFFFu, 32), -1);
  EXPECT_EQ(SignExtend(0x80000000u, 32), INT32_MIN);
  EXPECT_EQ(SignExtend(0x1FFFFu, 18), 0x1FFFF);
  MemOut none;
  EXPECT_FALSE(SB(0, 0).Exchange(none));
  EXPECT_FALSE(UB(33, 0).Exchange(none));

  EXPECT_EQ(DumpText(SB(5, -3)), L"SB5       -3 [11101]");
  EXPECT_EQ(DumpText(UBX<4>(9)), L"UB4        9 [1001]");
}

TEST(RectAndMatrix, GoldenBytes) {
  FRECT stage(0, 11000, 0, 8000), zero;
  FMATRIX identity, doubled, skewed;
  doubled.ScaleX.value = doubled.ScaleY.value = 0x20000;
  skewed.RotateSkew0.value = 1;
  EXPECT_EQ(WriteBytes(stage), Bytes({0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));
  EXPECT_EQ(WriteBytes(zero), Bytes({0x10, 0x00}));
  EXPECT_EQ(WriteBytes(identity), Bytes({0x04, 0x00}));
  EXPECT_EQ(WriteBytes(doubled), Bytes({0xCD, 0x00, 0x00, 0x20, 0x00, 0x00, 0x80}));
  EXPECT_EQ(doubled.ScaleX.bitCount, 19);
  // One non-zero skew writes both: 0 1 00010 01 00 00010 00 00.
  EXPECT_EQ(WriteBytes(skewed), Bytes({0x44, 0x82, 0x00}));

  // Both align before and after themselves.
  MemOut out;
  uint32_t three = 0x7;
  out.TransferBits(three, 3);
  uint8_t next = 0xAB;
  ASSERT_TRUE(zero.Exchange(out) && ExchangeUI8(out, next));
  EXPECT_EQ(Written(out), Bytes({0xE0, 0x10, 0x00, 0xAB}));
}

TEST(RectAndMatrix, RefusalsAndZeroWidths) {
  FRECT tooWide(0, 1 << 30, 0, 0), tooNegative(INT32_MIN, 0, 0, 0), widest((1 << 30) - 1, -(1 << 30), 0, 0);
  EXPECT_TRUE(RefusedCleanly(tooWide));
  EXPECT_TRUE(RefusedCleanly(tooNegative));
  // A refused record keeps the bit counts it had.
  for (const SB* field : {&tooWide.Xmin, &tooWide.Xmax, &tooWide.Ymin, &tooWide.Ymax}) EXPECT_EQ(field->bitCount, 0);
  EXPECT_NE(WriteBytes(widest), Bytes({0xEE}));
  EXPECT_EQ(widest.Xmin.bitCount, 31);
  SB FMATRIX::*const matrixFields[] = {&FMATRIX::ScaleX,      &FMATRIX::ScaleY,     &FMATRIX::RotateSkew0,
                                       &FMATRIX::RotateSkew1, &FMATRIX::TranslateX, &FMATRIX::TranslateY};
  for (SB FMATRIX::*field : {&FMATRIX::ScaleY, &FMATRIX::RotateSkew0, &FMATRIX::TranslateX}) {
    FMATRIX matrix;
    for (SB FMATRIX::*each : matrixFields) (matrix.*each).bitCount = 5;
    (matrix.*field).value = -(1 << 30) - 1;
    EXPECT_TRUE(RefusedCleanly(matrix));
    for (SB FMATRIX::*each : matrixFields) EXPECT_EQ((matrix.*each).bitCount, 5);
  }
  // With a partial byte pending, a refusal does not flush it either.
  MemOut out;
  uint32_t pending = 1;
  out.TransferBits(pending, 1);
  EXPECT_FALSE(tooWide.Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 0);

  // Zero bit counts fail on reading; a matrix without scale or rotation reads back the identity.
  const Bytes zeros = {0x00, 0x00}, identity = {0x04, 0x00};
  BufferStream zeroRect(zeros.data(), 2), zeroMatrix(zeros.data(), 2), in(identity.data(), 2);
  EXPECT_FALSE(FRECT().Exchange(zeroRect));
  EXPECT_FALSE(FMATRIX().Exchange(zeroMatrix));
  FMATRIX matrix;
  matrix.ScaleX = SB(7, 3);
  matrix.RotateSkew1 = SB(9, -4);
  ASSERT_TRUE(matrix.Exchange(in));
  EXPECT_EQ(matrix.ScaleX.bitCount, 18);
  EXPECT_EQ(matrix.ScaleX.value, 0x10000);
  EXPECT_EQ(matrix.RotateSkew1.value, 0);
}

TEST(RectAndMatrix, SeededRandomRoundTrips) {
  std::mt19937 random(20240611);
  // Values of every width up to 31 bits.
  auto value = [&random]() { return SignExtend(static_cast<uint32_t>(random()), static_cast<int>(random() % 31) + 1); };
  for (int i = 0; i < 2000; ++i) {
    MemOut out;
    uint32_t lead = random() & 0x7F;
    const int leadBits = static_cast<int>(random() % 7) + 1;
    out.TransferBits(lead, leadBits);
    FRECT rect(value(), value(), value(), value());
    FMATRIX matrix;
    for (SB* field : {&matrix.ScaleX, &matrix.RotateSkew1, &matrix.TranslateX, &matrix.TranslateY}) {
      field->value = value();
    }
    matrix.ScaleY.value = random() % 4 ? value() : FMATRIX::kUnitScale;
    matrix.RotateSkew0.value = random() % 3 ? value() : 0;
    ASSERT_TRUE(rect.Exchange(out) && matrix.Exchange(out));

    const Bytes bytes = Written(out);
    BufferStream in(bytes.data(), bytes.size());
    in.TransferBits(lead, leadBits);
    FRECT rectBack;
    FMATRIX matrixBack;
    ASSERT_TRUE(rectBack.Exchange(in) && matrixBack.Exchange(in));
    EXPECT_TRUE(in.AtEnd());
    for (SB FRECT::*f : {&FRECT::Xmin, &FRECT::Xmax, &FRECT::Ymin, &FRECT::Ymax}) {
      ASSERT_EQ((rectBack.*f).value, (rect.*f).value) << i;
    }
    for (SB FMATRIX::*f : {&FMATRIX::ScaleX, &FMATRIX::ScaleY, &FMATRIX::RotateSkew0, &FMATRIX::RotateSkew1,
                           &FMATRIX::TranslateX, &FMATRIX::TranslateY}) {
      ASSERT_EQ((matrixBack.*f).value, (matrix.*f).value) << i;
    }
  }
}

TEST(Numbers, ByteOrderAndAlignment) {
  uint16_t word = 0x1234;
  uint32_t dword = 0x89ABCDEF;
  SI24 negative(-2);
  UI24 positive(0x123456);
  MemOut little, bigTarget;
  ForwardingStream big(bigTarget, false, true);
  for (BitStream* out : {static_cast<BitStream*>(&little), static_cast<BitStream*>(&big)}) {
    ASSERT_TRUE(ExchangeUI16(*out, word) && ExchangeUI32(*out, dword) && negative.Exchange(*out) &&
                positive.Exchange(*out));
  }
  EXPECT_EQ(Written(little), Bytes({0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0xFE, 0xFF, 0xFF, 0x56, 0x34, 0x12}));
  const Bytes bigBytes = Written(bigTarget);
  EXPECT_EQ(bigBytes, Bytes({0x12, 0x34, 0x89, 0xAB, 0xCD, 0xEF, 0xFF, 0xFF, 0xFE, 0x12, 0x34, 0x56}));

  BufferStream bigSource(bigBytes.data(), bigBytes.size());
  ForwardingStream bigIn(bigSource, false, true);
  uint16_t wordBack = 0;
  uint32_t dwordBack = 0;
  SI24 negativeBack;
  UI24 positiveBack;
  ASSERT_TRUE(ExchangeUI16(bigIn, wordBack) && ExchangeUI32(bigIn, dwordBack) && negativeBack.Exchange(bigIn) &&
              positiveBack.Exchange(bigIn));
  EXPECT_EQ(wordBack, 0x1234);
  EXPECT_EQ(dwordBack, 0x89ABCDEFu);
  EXPECT_EQ(negativeBack.value, -2);
  EXPECT_EQ(positiveBack.value, 0x123456);

  const Bytes allOnes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  BufferStream ones(allOnes.data(), allOnes.size());
  ASSERT_TRUE(negativeBack.Exchange(ones) && positiveBack.Exchange(ones));
  EXPECT_EQ(negativeBack.value, -1);
  EXPECT_EQ(positiveBack.value, 16777215);

  // A byte field closes a pending partial byte first, on both sides.
  MemOut mixed;
  uint32_t bit = 1;
  uint8_t byte = 0x5A;
  mixed.TransferBits(bit, 1);
  ASSERT_TRUE(ExchangeUI8(mixed, byte));
  EXPECT_EQ(Written(mixed), Bytes({0x80, 0x5A}));
  BufferStream mixedIn(mixed.GetData(), 2);
  mixedIn.TransferBits(bit, 1);
  ASSERT_TRUE(ExchangeUI8(mixedIn, byte));
  EXPECT_EQ(byte, 0x5A);
}

// Tag bodies from a stream that cannot tell its size (an inflater) come in pieces; a length the
// data does not hold fails with nothing kept, and a sized stream refuses it before reading.
TEST(TagBodies, PiecewiseFromUnsizedStreams) {
  Bytes body(3 * 1024 * 1024 + 17);
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  Bytes packed(body.size() + body.size() / 100 + 64);
  const int32_t packedLength = ZlibDeflater(6).Compress(body.data(), static_cast<int32_t>(body.size()),
                                                        packed.data(), static_cast<int32_t>(packed.size()));
  ASSERT_GT(packedLength, 0);

  BufferStream source(packed.data(), static_cast<size_t>(packedLength));
  ZlibIStream whole(source);
  Bytes read;
  ASSERT_TRUE(ReadBodyBytes(whole, static_cast<int32_t>(body.size()), read));
  EXPECT_EQ(read, body);

  BufferStream again(packed.data(), static_cast<size_t>(packedLength));
  ZlibIStream overlong(again);
  EXPECT_FALSE(ReadBodyBytes(overlong, 0x7FFFFFF0, read));
  EXPECT_TRUE(read.empty());

  BufferStream sized(body.data(), 100);
  EXPECT_FALSE(ReadBodyBytes(sized, 101, read));
  EXPECT_EQ(sized.GetPosition(), 0);
  EXPECT_TRUE(ReadBodyBytes(sized, 100, read));
  EXPECT_EQ(read.size(), 100u);
}

TEST(Colours, ConversionsAndByteOrder) {
  FARGB argb(FRGBA(1, 2, 3, 4));
  EXPECT_EQ(DumpText(argb), L"ARGB(4, 1, 2, 3)");
  EXPECT_EQ(DumpText(FRGBA(argb)), L"RGBA(1, 2, 3, 4)");
  EXPECT_EQ(DumpText(FRGB(argb)), L"RGB(1, 2, 3)");
  EXPECT_EQ(DumpText(FRGBA(FRGB(9, 8, 7))), L"RGBA(9, 8, 7, 255)");
  EXPECT_EQ(DumpText(FARGB(FRGB(9, 8, 7))), L"ARGB(255, 9, 8, 7)");
  EXPECT_EQ(WriteBytes(argb), Bytes({4, 1, 2, 3}));
}

TEST(SwfFileHeader, BytesReadBackAndDump) {
  SwfFileHeader header;
  header.Version = 8;
  header.FileLength = 0x1234;
  header.FrameSize = FRECT(0, 11000, 0, 8000);
  header.FrameRate = 0x0C80;  // 12.5 frames per second
  header.FrameCount = 3;
  const Bytes bytes = WriteBytes(header);
  EXPECT_EQ(bytes, Bytes({'F', 'W', 'S', 8, 0x34, 0x12, 0, 0, 0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0,
                          0x00, 0x80, 0x0C, 0x03, 0x00}));
  BufferStream in(bytes.data(), bytes.size());
  SwfFileHeader back;
  back.Signature0 = 0;
  ASSERT_TRUE(back.Exchange(in));
  EXPECT_TRUE(in.AtEnd());
  EXPECT_EQ(DumpText(back),
            L"  Signature0: F\n"
            L"  Signature1: W\n"
            L"  Signature2: S\n"
            L"  Version: 8\n"
            L"  FileLength: 4660\n"
            L"  FrameSize:\n"
            L"    Xmin: SB15        0 [000000000000000]     0.00\n"
            L"    Xmax: SB15    11000 [010101011111000]   550.00\n"
            L"    Ymin: SB15        0 [000000000000000]     0.00\n"
            L"    Ymax: SB15     8000 [001111101000000]   400.00\n"
            L"  FrameRate: 12.5\n"
            L"  FrameCount: 3\n");
  EXPECT_EQ(DumpText(RecordHeader(26, 6)), L"  tag: 26\n  len: 6\n");
}
