#include "media/swfrecord.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/media/swftesting.h"

using Bytes = std::vector<uint8_t>;

TEST(RecordHeader, GoldenHeadersAndReadBack) {
  const struct {
    int32_t code;
    int32_t length;
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
    EXPECT_EQ(header.headerSize, 0);
    ASSERT_TRUE(header.Exchange(in));
    EXPECT_EQ(header.code, c.code);
    EXPECT_EQ(header.length, c.length);
    EXPECT_EQ(header.headerSize, static_cast<int32_t>(c.bytes.size()));
  }
}

TEST(RecordHeader, ReadingGoesByTheMarkerAlone) {
  const Bytes longFormOfFive = {0x3F, 0x03, 0x05, 0x00, 0x00, 0x00};
  BufferStream in(longFormOfFive.data(), longFormOfFive.size());
  RecordHeader header;
  ASSERT_TRUE(header.Exchange(in));
  EXPECT_EQ(header.length, 5);
  EXPECT_EQ(header.headerSize, 6);

  const Bytes truncated = {0x3F, 0x03, 0x05, 0x00};
  BufferStream shortIn(truncated.data(), truncated.size());
  EXPECT_FALSE(RecordHeader().Exchange(shortIn));

  const Bytes beyondTwoGiB = {0x3F, 0x03, 0x00, 0x00, 0x00, 0x80};
  BufferStream hugeIn(beyondTwoGiB.data(), beyondTwoGiB.size());
  EXPECT_FALSE(RecordHeader().Exchange(hugeIn));
}

TEST(RecordHeader, RefusesWhatTheFieldsCannotHold) {
  for (auto [code, length] : {std::pair{-1, 0}, std::pair{1024, 0}, std::pair{12, -1}, std::pair{36, -5}}) {
    RecordHeader header(code, length);
    EXPECT_TRUE(RefusedCleanly(header)) << code << "/" << length;
  }
  EXPECT_TRUE(IsAlwaysLongRecord(kTagDefineBitsLossless2));
  EXPECT_FALSE(IsAlwaysLongRecord(kTagDefineShape3));
}

TEST(BitFields, WidthsValuesAndSignExtension) {
  EXPECT_EQ(UBX<5>(37).value, 5u);
  EXPECT_EQ(UBX<1>(2).value, 0u);
  EXPECT_EQ(UBX<4>().bitCount, 4);

  const Bytes ones = {0xF0};
  BufferStream in(ones.data(), ones.size());
  SB signedField(4, 0);
  ASSERT_TRUE(signedField.Exchange(in));
  EXPECT_EQ(signedField.value, -1);
  in.Seek(0);
  in.AlignToByte();
  UB unsignedField(4, 0);
  ASSERT_TRUE(unsignedField.Exchange(in));
  EXPECT_EQ(unsignedField.value, 15u);

  EXPECT_EQ(SignExtend(0xFFFFFFFFu, 32), -1);
  EXPECT_EQ(SignExtend(0x80000000u, 32), INT32_MIN);
  EXPECT_EQ(SignExtend(0x7FFFFFFFu, 32), INT32_MAX);
  EXPECT_EQ(SignExtend(0x1u, 1), -1);
  EXPECT_EQ(SignExtend(0x3FFFFu, 18), -1);
  EXPECT_EQ(SignExtend(0x1FFFFu, 18), 0x1FFFF);

  // A 32-bit field reads back its most negative value.
  MemOut out;
  SB widest(32, INT32_MIN);
  ASSERT_TRUE(widest.Exchange(out));
  const Bytes bytes = Written(out);
  BufferStream back(bytes.data(), bytes.size());
  SB read(32, 0);
  ASSERT_TRUE(read.Exchange(back));
  EXPECT_EQ(read.value, INT32_MIN);

  MemOut none;
  EXPECT_FALSE(SB(0, 0).Exchange(none));
  EXPECT_FALSE(UB(33, 0).Exchange(none));
}

TEST(BitFields, Dumps) {
  EXPECT_EQ(DumpText(SB(5, -3)), L"SB5       -3 [11101]");
  EXPECT_EQ(DumpText(UBX<4>(9)), L"UB4        9 [1001]");
  EXPECT_EQ(DumpText(SB(32, -1)), L"SB32       -1 [11111111111111111111111111111111]");
}

TEST(FRECT, GoldenBytes) {
  FRECT stage(0, 11000, 0, 8000);
  EXPECT_EQ(WriteBytes(stage), Bytes({0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}));
  EXPECT_EQ(stage.Xmax.bitCount, 15);
  FRECT zero;
  EXPECT_EQ(WriteBytes(zero), Bytes({0x10, 0x00}));
}

TEST(FRECT, AlignsBeforeAndAfterItself) {
  MemOut out;
  uint32_t three = 0x7;
  ASSERT_TRUE(out.TransferBits(three, 3));
  FRECT zero;
  ASSERT_TRUE(zero.Exchange(out));
  uint8_t next = 0xAB;
  ASSERT_TRUE(ExchangeUI8(out, next));
  EXPECT_EQ(Written(out), Bytes({0xE0, 0x10, 0x00, 0xAB}));
}

TEST(FRECT, RefusesValuesBeyondThirtyOneBitsAndZeroWidths) {
  FRECT tooWide(0, 1 << 30, 0, 0);
  EXPECT_TRUE(RefusedCleanly(tooWide));
  FRECT tooNegative(INT32_MIN, 0, 0, 0);
  EXPECT_TRUE(RefusedCleanly(tooNegative));
  // With a partial byte pending, a refusal does not flush it either.
  MemOut out;
  uint32_t pending = 1;
  out.TransferBits(pending, 1);
  EXPECT_FALSE(tooWide.Exchange(out));
  EXPECT_EQ(out.GetDataSize(), 0);
  FRECT widest((1 << 30) - 1, -(1 << 30), 0, 0);
  EXPECT_TRUE(widest.Exchange(out));
  EXPECT_EQ(widest.Xmin.bitCount, 31);

  const Bytes zeroCount = {0x00, 0x00};
  BufferStream in(zeroCount.data(), zeroCount.size());
  EXPECT_FALSE(FRECT().Exchange(in));
}

TEST(FMATRIX, GoldenBytes) {
  FMATRIX identity;
  EXPECT_EQ(WriteBytes(identity), Bytes({0x04, 0x00}));

  FMATRIX doubled;
  doubled.ScaleX.value = doubled.ScaleY.value = 0x20000;
  EXPECT_EQ(WriteBytes(doubled), Bytes({0xCD, 0x00, 0x00, 0x20, 0x00, 0x00, 0x80}));
  EXPECT_EQ(doubled.ScaleX.bitCount, 19);

  // One non-zero skew writes HasRotate and both skews: 0 1 00010 01 00 00010 00 00.
  FMATRIX skewed;
  skewed.RotateSkew0.value = 1;
  EXPECT_EQ(WriteBytes(skewed), Bytes({0x44, 0x82, 0x00}));
}

TEST(FMATRIX, ReadingFillsAbsentPartsWithTheIdentity) {
  FMATRIX matrix;
  matrix.ScaleX = SB(7, 3);
  matrix.RotateSkew1 = SB(9, -4);
  const Bytes identity = {0x04, 0x00};
  BufferStream in(identity.data(), identity.size());
  ASSERT_TRUE(matrix.Exchange(in));
  EXPECT_EQ(matrix.ScaleX.bitCount, 18);
  EXPECT_EQ(matrix.ScaleX.value, 0x10000);
  EXPECT_EQ(matrix.ScaleY.value, 0x10000);
  EXPECT_EQ(matrix.RotateSkew1.value, 0);
  EXPECT_EQ(matrix.RotateSkew1.bitCount, 2);
  EXPECT_TRUE(in.AtEnd());

  // No scale, no rotation, NTranslateBits 0: the zero-width translation fails.
  const Bytes zeroBits = {0x00};
  BufferStream zeroIn(zeroBits.data(), zeroBits.size());
  EXPECT_FALSE(FMATRIX().Exchange(zeroIn));
}

TEST(FMATRIX, RefusesValuesBeyondThirtyOneBits) {
  for (int field = 0; field < 3; ++field) {
    FMATRIX matrix;
    SB& target = field == 0 ? matrix.ScaleY : field == 1 ? matrix.RotateSkew0 : matrix.TranslateX;
    target.value = -(1 << 30) - 1;
    EXPECT_TRUE(RefusedCleanly(matrix)) << field;
  }
}

TEST(SwfRecords, SeededRandomRoundTrips) {
  std::mt19937 random(20240611);
  // Values spread over every width up to 31 bits.
  auto value = [&random]() {
    const int bits = static_cast<int>(random() % 31) + 1;
    return SignExtend(static_cast<uint32_t>(random()), bits);
  };
  for (int i = 0; i < 2000; ++i) {
    MemOut out;
    uint32_t lead = random() & 0x7F;
    const int leadBits = static_cast<int>(random() % 7) + 1;
    ASSERT_TRUE(out.TransferBits(lead, leadBits));
    FRECT rect(value(), value(), value(), value());
    FMATRIX matrix;
    matrix.ScaleX.value = value();
    matrix.ScaleY.value = random() % 4 ? value() : FMATRIX::kUnitScale;
    matrix.RotateSkew0.value = random() % 3 ? value() : 0;
    matrix.RotateSkew1.value = value();
    matrix.TranslateX.value = value();
    matrix.TranslateY.value = value();
    ASSERT_TRUE(rect.Exchange(out));
    ASSERT_TRUE(matrix.Exchange(out));

    const Bytes bytes = Written(out);
    BufferStream in(bytes.data(), bytes.size());
    ASSERT_TRUE(in.TransferBits(lead, leadBits));
    FRECT rectBack;
    FMATRIX matrixBack;
    ASSERT_TRUE(rectBack.Exchange(in));
    ASSERT_TRUE(matrixBack.Exchange(in));
    EXPECT_TRUE(in.AtEnd());
    const SB* expected[] = {&rect.Xmin, &rect.Xmax, &rect.Ymin, &rect.Ymax, &matrix.ScaleX, &matrix.ScaleY,
                            &matrix.RotateSkew0, &matrix.RotateSkew1, &matrix.TranslateX, &matrix.TranslateY};
    const SB* actual[] = {&rectBack.Xmin, &rectBack.Xmax, &rectBack.Ymin, &rectBack.Ymax,
                          &matrixBack.ScaleX, &matrixBack.ScaleY, &matrixBack.RotateSkew0,
                          &matrixBack.RotateSkew1, &matrixBack.TranslateX, &matrixBack.TranslateY};
    for (int f = 0; f < 10; ++f) ASSERT_EQ(actual[f]->value, expected[f]->value) << "case " << i << " field " << f;
  }
}

TEST(Numbers, ByteOrderAndAlignment) {
  MemOut little;
  uint16_t word = 0x1234;
  uint32_t dword = 0x89ABCDEF;
  SI24 negative(-2);
  UI24 positive(0x123456);
  ASSERT_TRUE(ExchangeUI16(little, word) && ExchangeUI32(little, dword) && negative.Exchange(little) &&
              positive.Exchange(little));
  EXPECT_EQ(Written(little), Bytes({0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 0xFE, 0xFF, 0xFF, 0x56, 0x34, 0x12}));

  MemOut bigTarget;
  ForwardingStream big(bigTarget, false, true);
  ASSERT_TRUE(ExchangeUI16(big, word) && ExchangeUI32(big, dword) && negative.Exchange(big) &&
              positive.Exchange(big));
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

  const Bytes allOnes = {0xFF, 0xFF, 0xFF};
  BufferStream ones(allOnes.data(), allOnes.size());
  SI24 minusOne;
  ASSERT_TRUE(minusOne.Exchange(ones));
  EXPECT_EQ(minusOne.value, -1);
  ones.Seek(0);
  UI24 full;
  ASSERT_TRUE(full.Exchange(ones));
  EXPECT_EQ(full.value, 16777215);

  // Byte fields close a pending partial byte first, on both sides.
  MemOut mixed;
  uint32_t bit = 1;
  mixed.TransferBits(bit, 1);
  uint8_t byte = 0x5A;
  ASSERT_TRUE(ExchangeUI8(mixed, byte));
  EXPECT_EQ(Written(mixed), Bytes({0x80, 0x5A}));
  const Bytes mixedBytes = Written(mixed);
  BufferStream mixedIn(mixedBytes.data(), mixedBytes.size());
  mixedIn.TransferBits(bit, 1);
  uint8_t byteBack = 0;
  ASSERT_TRUE(ExchangeUI8(mixedIn, byteBack));
  EXPECT_EQ(byteBack, 0x5A);

  uint8_t odd[] = {1, 2, 3, 4, 5};
  EXPECT_TRUE(ReverseBytes(odd, 5));
  EXPECT_EQ(Bytes(odd, odd + 5), Bytes({5, 4, 3, 2, 1}));
}

TEST(Colours, ConversionsOrderAndDumps) {
  const FRGBA rgba(1, 2, 3, 4);
  const FARGB argb(rgba);
  EXPECT_EQ(DumpText(argb), L"ARGB(4, 1, 2, 3)");
  EXPECT_EQ(DumpText(FRGBA(argb)), L"RGBA(1, 2, 3, 4)");
  EXPECT_EQ(DumpText(FRGB(argb)), L"RGB(1, 2, 3)");
  EXPECT_EQ(DumpText(FRGBA(FRGB(9, 8, 7))), L"RGBA(9, 8, 7, 255)");
  EXPECT_EQ(DumpText(FARGB(FRGB(9, 8, 7))), L"ARGB(255, 9, 8, 7)");

  FARGB argbCopy = argb;
  FRGBA rgbaCopy = rgba;
  FRGB rgb(7, 8, 9);
  EXPECT_EQ(WriteBytes(argbCopy), Bytes({4, 1, 2, 3}));
  EXPECT_EQ(WriteBytes(rgbaCopy), Bytes({1, 2, 3, 4}));
  EXPECT_EQ(WriteBytes(rgb), Bytes({7, 8, 9}));
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
  EXPECT_EQ(back.Signature0, 'F');
  EXPECT_EQ(back.FileLength, 0x1234u);
  EXPECT_EQ(back.FrameSize.Ymax.value, 8000);
  EXPECT_EQ(back.FrameRate, 0x0C80);
  EXPECT_EQ(back.FrameCount, 3);

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
}

TEST(Dumps, MatrixHeaderAndNamedBlocks) {
  FMATRIX matrix;
  matrix.TranslateX = SB(4, -5);
  EXPECT_EQ(DumpText(matrix),
            L"  ScaleX: SB18    65536 [010000000000000000]\n"
            L"  ScaleY: SB18    65536 [010000000000000000]\n"
            L"  RotateSkew0: SB2        0 [00]\n"
            L"  RotateSkew1: SB2        0 [00]\n"
            L"  TranslateX: SB4       -5 [1011]\n"
            L"  TranslateY: SB2        0 [00]\n");
  EXPECT_EQ(DumpText(RecordHeader(26, 6)), L"  tag: 26\n  len: 6\n");

  CapturingTextHandler* handler = new CapturingTextHandler;
  TextStream stream{CountedPtr<TextHandler>(handler)};
  DumpNamedBlock(DumpBlock(stream, SI24(-7)), L" and ", UI24(7));
  EXPECT_EQ(handler->Text(), L"-7 and 7\n");
}
