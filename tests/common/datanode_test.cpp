#include "common/datanode.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "common/xml.h"

namespace {

// A loading tree over the elements of an XML text.
std::unique_ptr<XmlData> Loading(const wchar_t* xml) {
  std::wistringstream stream(xml);
  std::unique_ptr<XmlElement> root = ParseXmlStream(stream);
  EXPECT_TRUE(root) << xml;
  return std::make_unique<XmlData>(true, nullptr, root.release(), true);
}

std::wstring ChildText(const XmlElement& root, size_t index) {
  return index < root.GetChildren().size() ? root.GetChildren()[index]->GetText() : L"<missing>";
}

}  // namespace

TEST(IndexedName, ParseAndMake) {
  const struct {
    const wchar_t* text;
    const wchar_t* name;
    int index;
  } cases[] = {
      {L"item[12]", L"item", 12}, {L"item[007]", L"item", 7},  {L"item[0]", L"item", 0},
      {L"item[000]", L"item", 0}, {L"item[]", L"item", 0},     {L"item[x]", L"item[x]", 0},
      {L"a[1]b", L"a[1]b", 0},    {L"x[1][2]", L"x[1]", 2},    {L"item[99999999999]", L"item[99999999999]", 0},
      {L"item[ 5]", L"item", 5},  {L"item[5x]", L"item", 5},   {L"no]", L"no]", 0},
  };
  for (const auto& c : cases) {
    std::wstring name = L"stale";
    int index = -7;
    ParseIndexedName(c.text, name, index);
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
  }
  EXPECT_EQ(MakeIndexedName(L"item", 0), L"item");
  EXPECT_EQ(MakeIndexedName(L"item", 3), L"item[3]");
  std::wstring both = MakeIndexedName(L"file", 2147483647);
  int index = 0;
  ParseIndexedName(both, both, index);  // the same string as text and name
  EXPECT_EQ(both, L"file");
  EXPECT_EQ(index, 2147483647);
}

TEST(Hex, PairsLinesAndOddCounts) {
  std::wstring text = L"stale";
  BytesToHex({}, text);
  EXPECT_EQ(text, L"");
  std::vector<unsigned char> bytes(16);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(i * 17);
  BytesToHex(bytes, text);
  EXPECT_EQ(text, L"00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ");
  bytes.push_back(0x5A);
  std::string narrow;
  BytesToHex(bytes, narrow);
  EXPECT_EQ(narrow, "\n    00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n    5A ");

  std::vector<unsigned char> read = {9};
  EXPECT_TRUE(HexToBytes(narrow, read));
  EXPECT_EQ(read, bytes);
  EXPECT_TRUE(HexToBytes(std::wstring(L"0a B-c"), read));
  EXPECT_EQ(read, (std::vector<unsigned char>{0x0A, 0xBC}));
  EXPECT_FALSE(HexToBytes(std::wstring(L"abc"), read));
  EXPECT_EQ(read, (std::vector<unsigned char>{0x0A, 0xBC}));
  EXPECT_TRUE(HexToBytes(std::string("ghost, jump!"), read));
  EXPECT_TRUE(read.empty());
}

TEST(TypedExchange, LoadingCutsToWidthAndFailuresKeepTheValue) {
  auto node = Loading(
      L"<r><c>300</c><s>70000</s><uc>511</uc><b>5</b><n> 7 </n><m>7x</m><d>2.5x</d>"
      L"<word>x</word><empty></empty><big>-2147483649</big><odd>abc</odd></r>");
  char c = 0;
  short s = 0;
  unsigned char uc = 0;
  bool b = false;
  int n = 0, m = 0;
  double d = 0;
  EXPECT_TRUE(node->ExchangeChild(L"c", c) && node->ExchangeChild(L"s", s) && node->ExchangeChild(L"uc", uc) &&
              node->ExchangeChild(L"b", b) && node->ExchangeChild(L"n", n) && node->ExchangeChild(L"m", m) &&
              node->ExchangeChild(L"d", d));
  EXPECT_EQ(c, 44);
  EXPECT_EQ(s, 4464);
  EXPECT_EQ(uc, 255);
  EXPECT_TRUE(b);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(m, 7);
  EXPECT_EQ(d, 2.5);

  int number = 5;
  double real = 1.25;
  std::vector<unsigned char> bytes = {1};
  for (const wchar_t* name : {L"missing", L"word", L"empty", L"big"}) EXPECT_FALSE(node->ExchangeChild(name, number));
  for (const wchar_t* name : {L"word", L"empty"}) EXPECT_FALSE(node->ExchangeChild(name, real));
  EXPECT_FALSE(node->ExchangeChild(L"odd", bytes));
  EXPECT_EQ(number, 5);
  EXPECT_EQ(real, 1.25);
  EXPECT_EQ(bytes, std::vector<unsigned char>{1});
}

TEST(TypedExchange, SavingWritesDecimalDigitsAndHex) {
  auto* root = new XmlElement(nullptr, L"root");
  XmlData node(false, nullptr, root, true);
  char c = -2;
  unsigned char uc = 200;
  bool yes = true, no = false;
  double real = -1.5;
  int64_t big = -9000000000LL;
  std::vector<unsigned char> bytes = {0x01, 0xAB};
  std::string narrow = "plain";
  EXPECT_TRUE(node.ExchangeChild(L"c", c) && node.ExchangeChild(L"uc", uc) && node.ExchangeChild(L"yes", yes) &&
              node.ExchangeChild(L"no", no) && node.ExchangeChild(L"real", real) && node.ExchangeChild(L"big", big) &&
              node.ExchangeChild(L"bytes", bytes) && node.ExchangeChild(L"narrow", narrow));
  const wchar_t* expected[] = {L"-2", L"200", L"1", L"0", L"-1.500000", L"-9000000000", L"01 AB ", L"plain"};
  for (size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(ChildText(*root, i), expected[i]);
}

TEST(Rect, PartialNodeLoadsWhatItHolds) {
  auto node = Loading(L"<r><left>-3</left><top>4</top></r>");
  Rect rect(RECT{9, 9, 109, 209});
  EXPECT_EQ(rect, Rect(9, 9, 100, 200));
  ExchangeRect(*node, rect);
  EXPECT_EQ(rect, Rect(-3, 4, 100, 200));
}

TEST(BufferString, CapacityCountsTheTerminator) {
  wchar_t face[32] = L"old";
  BufferString view{face, 32};
  FilterPair<BufferString> pair = MakeFilterPair(&view, &BufferString::Convert);
  NodableByFilter<BufferString> nodable(&pair);
  const std::wstring name32(32, L'W');
  const std::wstring name31(31, L'V');
  auto node = Loading((L"<r><a>" + name32 + L"</a><b>" + name31 + L"</b></r>").c_str());
  node->ExchangeChild(L"a", nodable);
  EXPECT_STREQ(face, L"old");
  node->ExchangeChild(L"b", nodable);
  EXPECT_EQ(std::wstring(face), name31);

  // Saving reads a buffer filled to its end without a terminator up to its end and no further.
  wchar_t storage[40];
  std::fill(std::begin(storage), std::end(storage), L'A');
  BufferString full{storage, 32};
  FilterPair<BufferString> fullPair = MakeFilterPair(&full, &BufferString::Convert);
  NodableByFilter<BufferString> fullNodable(&fullPair);
  auto* root = new XmlElement(nullptr, L"root");
  XmlData saving(false, nullptr, root, true);
  EXPECT_TRUE(saving.ExchangeChild(L"FaceName", fullNodable));
  EXPECT_EQ(ChildText(*root, 0), std::wstring(32, L'A'));

  std::wstring text;
  EXPECT_FALSE(BufferString::Convert(BufferString{nullptr, 32}, text, true));
  EXPECT_FALSE(BufferString::Convert(BufferString{face, 0}, text, false));
}
