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

// A saving tree over a fresh element; `root` stays readable while the node lives.
struct Saving {
  XmlElement* root = new XmlElement(nullptr, L"root");
  XmlData node{false, nullptr, root, true};
  std::wstring Text(const wchar_t* child) const {
    std::vector<XmlElement*> found;
    root->FindChildren(child, found);
    return found.size() == 1 ? found[0]->GetText() : L"<missing or repeated>";
  }
};

}  // namespace

TEST(IndexedName, ParseTable) {
  const struct {
    const wchar_t* text;
    const wchar_t* name;
    int index;
  } cases[] = {
      {L"item[12]", L"item", 12},   {L"item[007]", L"item", 7},
      {L"item[0]", L"item", 0},     {L"item[000]", L"item", 0},
      {L"item[]", L"item", 0},      {L"item[x]", L"item[x]", 0},
      {L"a[1]b", L"a[1]b", 0},      {L"x[1][2]", L"x[1]", 2},
      {L"item", L"item", 0},        {L"item[99999999999]", L"item[99999999999]", 0},
      {L"item[ 5]", L"item", 5},    {L"item[5x]", L"item", 5},
      {L"a]b[1]", L"a]b", 1},       {L"no]", L"no]", 0},
      {L"[3]", L"", 3},             {L"", L"", 0},
  };
  for (const auto& c : cases) {
    std::wstring name = L"stale";
    int index = -7;
    ParseIndexedName(c.text, name, index);
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
  }
  // The same string may serve as text and name.
  std::wstring both = L"file[4]";
  int index = 0;
  ParseIndexedName(both, both, index);
  EXPECT_EQ(both, L"file");
  EXPECT_EQ(index, 4);
}

TEST(IndexedName, MakeIsReadBackByParse) {
  EXPECT_EQ(MakeIndexedName(L"item", 0), L"item");
  EXPECT_EQ(MakeIndexedName(L"item", 3), L"item[3]");
  for (int index : {0, 1, 9, 10, 12345, 2147483647}) {
    std::wstring name;
    int read = -1;
    ParseIndexedName(MakeIndexedName(L"file", index), name, read);
    EXPECT_EQ(name, L"file");
    EXPECT_EQ(read, index);
  }
}

TEST(Hex, WritesPairsAndLinesAbove16Bytes) {
  std::wstring text = L"stale";
  EXPECT_TRUE(BytesToHex({}, text));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(BytesToHex({0x01, 0xAB}, text));
  EXPECT_EQ(text, L"01 AB ");

  std::vector<unsigned char> bytes(16);
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>(i * 17);
  BytesToHex(bytes, text);
  EXPECT_EQ(text, L"00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF ");

  bytes.push_back(0x5A);
  BytesToHex(bytes, text);
  EXPECT_EQ(text, L"\n    00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n    5A ");
  std::string narrow;
  BytesToHex(bytes, narrow);
  EXPECT_EQ(narrow, "\n    00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE FF \n    5A ");

  std::vector<unsigned char> back;
  EXPECT_TRUE(HexToBytes(text, back));
  EXPECT_EQ(back, bytes);
}

TEST(Hex, ReadsDigitPairsAndRefusesAnOddCount) {
  std::vector<unsigned char> bytes = {9};
  EXPECT_TRUE(HexToBytes(std::wstring(L"0a B-c"), bytes));
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0x0A, 0xBC}));
  EXPECT_FALSE(HexToBytes(std::wstring(L"abc"), bytes));
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0x0A, 0xBC}));
  EXPECT_FALSE(HexToBytes(std::string("f"), bytes));
  EXPECT_TRUE(HexToBytes(std::string("ghost, jump!"), bytes));
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(HexToBytes(std::string("FF\n    00"), bytes));
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0xFF, 0x00}));
}

TEST(TypedExchange, NarrowTypesAreCutToTheirWidthOnLoading) {
  auto node = Loading(
      L"<r><c>300</c><s>70000</s><uc>511</uc><us>65537</us><b>5</b><zero>0</zero><neg>-1</neg></r>");
  char c = 0;
  short s = 0;
  unsigned char uc = 0;
  unsigned short us = 0;
  bool b = false;
  bool zero = true;
  char negative = 0;
  EXPECT_TRUE(node->ExchangeChild(L"c", c));
  EXPECT_TRUE(node->ExchangeChild(L"s", s));
  EXPECT_TRUE(node->ExchangeChild(L"uc", uc));
  EXPECT_TRUE(node->ExchangeChild(L"us", us));
  EXPECT_TRUE(node->ExchangeChild(L"b", b));
  EXPECT_TRUE(node->ExchangeChild(L"zero", zero));
  EXPECT_TRUE(node->ExchangeChild(L"neg", negative));
  EXPECT_EQ(c, 44);
  EXPECT_EQ(s, 4464);
  EXPECT_EQ(uc, 255);
  EXPECT_EQ(us, 1);
  EXPECT_TRUE(b);
  EXPECT_FALSE(zero);
  EXPECT_EQ(negative, -1);
}

TEST(TypedExchange, SavingWidensAndWritesBoolsAsDigits) {
  Saving tree;
  char c = -2;
  unsigned char uc = 200;
  short s = -300;
  bool yes = true;
  bool no = false;
  EXPECT_TRUE(tree.node.ExchangeChild(L"c", c));
  EXPECT_TRUE(tree.node.ExchangeChild(L"uc", uc));
  EXPECT_TRUE(tree.node.ExchangeChild(L"s", s));
  EXPECT_TRUE(tree.node.ExchangeChild(L"yes", yes));
  EXPECT_TRUE(tree.node.ExchangeChild(L"no", no));
  EXPECT_EQ(tree.Text(L"c"), L"-2");
  EXPECT_EQ(tree.Text(L"uc"), L"200");
  EXPECT_EQ(tree.Text(L"s"), L"-300");
  EXPECT_EQ(tree.Text(L"yes"), L"1");
  EXPECT_EQ(tree.Text(L"no"), L"0");
}

TEST(TypedExchange, FailuresLeaveTheVariable) {
  auto node = Loading(L"<r><word>x</word><empty></empty><odd>abc</odd><num>7x</num><pad>  2.5 </pad></r>");
  int number = 5;
  EXPECT_FALSE(node->ExchangeChild(L"missing", number));
  EXPECT_FALSE(node->ExchangeChild(L"word", number));
  EXPECT_FALSE(node->ExchangeChild(L"empty", number));
  EXPECT_EQ(number, 5);
  double real = 1.25;
  EXPECT_FALSE(node->ExchangeChild(L"word", real));
  EXPECT_FALSE(node->ExchangeChild(L"empty", real));
  EXPECT_EQ(real, 1.25);
  EXPECT_TRUE(node->ExchangeChild(L"num", real));
  EXPECT_EQ(real, 7.0);
  EXPECT_TRUE(node->ExchangeChild(L"pad", real));
  EXPECT_EQ(real, 2.5);
  std::vector<unsigned char> bytes = {1};
  EXPECT_FALSE(node->ExchangeChild(L"odd", bytes));
  EXPECT_EQ(bytes, std::vector<unsigned char>{1});
}

TEST(TypedExchange, DoublesBytesAndNarrowTextRoundTrip) {
  Saving tree;
  double real = -1.5;
  std::vector<unsigned char> bytes = {0x00, 0x7F, 0xFF};
  std::string narrow = "plain text";
  int64_t big = -9000000000LL;
  EXPECT_TRUE(tree.node.ExchangeChild(L"real", real));
  EXPECT_TRUE(tree.node.ExchangeChild(L"bytes", bytes));
  EXPECT_TRUE(tree.node.ExchangeChild(L"narrow", narrow));
  EXPECT_TRUE(tree.node.ExchangeChild(L"big", big));
  EXPECT_EQ(tree.Text(L"real"), L"-1.500000");
  EXPECT_EQ(tree.Text(L"bytes"), L"00 7F FF ");
  EXPECT_EQ(tree.Text(L"big"), L"-9000000000");

  XmlData loading(true, nullptr, tree.root, false);
  double realBack = 0;
  std::vector<unsigned char> bytesBack;
  std::string narrowBack;
  int64_t bigBack = 0;
  EXPECT_TRUE(loading.ExchangeChild(L"real", realBack));
  EXPECT_TRUE(loading.ExchangeChild(L"bytes", bytesBack));
  EXPECT_TRUE(loading.ExchangeChild(L"narrow", narrowBack));
  EXPECT_TRUE(loading.ExchangeChild(L"big", bigBack));
  EXPECT_EQ(realBack, real);
  EXPECT_EQ(bytesBack, bytes);
  EXPECT_EQ(narrowBack, narrow);
  EXPECT_EQ(bigBack, big);
}

TEST(Rect, PartialNodeLoadsOnlyWhatItHolds) {
  auto node = Loading(L"<r><left>-3</left><top>4</top></r>");
  Rect rect(9, 9, 100, 200);
  ExchangeRect(*node, rect);
  EXPECT_EQ(rect, Rect(-3, 4, 100, 200));

  Saving tree;
  Rect saved(RECT{10, 20, 110, 70});
  EXPECT_EQ(saved, Rect(10, 20, 100, 50));
  ExchangeRect(tree.node, saved);
  std::vector<DataNode*> children;
  tree.node.GetChildren(children);
  ASSERT_EQ(children.size(), 4u);
  EXPECT_EQ(tree.root->GetChildren()[2]->GetName(), L"width");
  EXPECT_EQ(tree.Text(L"height"), L"50");
}

TEST(BufferString, CapacityCountsTheTerminator) {
  wchar_t face[32] = L"old";
  BufferString view{face, 32};
  std::wstring text(32, L'W');
  EXPECT_FALSE(BufferString::Convert(view, text, false));
  EXPECT_STREQ(face, L"old");
  text.resize(31);
  EXPECT_TRUE(BufferString::Convert(view, text, false));
  EXPECT_EQ(std::wstring(face), text);

  // A buffer filled to its end without a terminator is read up to its end and no further.
  wchar_t storage[40];
  std::fill(std::begin(storage), std::end(storage), L'A');
  std::wstring read;
  EXPECT_TRUE(BufferString::Convert(BufferString{storage, 32}, read, true));
  EXPECT_EQ(read, std::wstring(32, L'A'));

  EXPECT_FALSE(BufferString::Convert(BufferString{nullptr, 32}, read, true));
  EXPECT_FALSE(BufferString::Convert(BufferString{face, 0}, read, false));
}

TEST(BufferString, FilteredChildRoundTripsAFixedArray) {
  wchar_t face[8] = L"Arial";
  BufferString view{face, 8};
  FilterPair<BufferString> pair = MakeFilterPair(&view, &BufferString::Convert);
  NodableByFilter<BufferString> nodable(&pair);
  Saving tree;
  EXPECT_TRUE(tree.node.ExchangeChild(L"FaceName", nodable));
  EXPECT_EQ(tree.Text(L"FaceName"), L"Arial");

  auto node = Loading(L"<r><FaceName>Tahoma</FaceName><Long>Courier New</Long></r>");
  node->ExchangeChild(L"FaceName", nodable);
  EXPECT_STREQ(face, L"Tahoma");
  node->ExchangeChild(L"Long", nodable);  // 11 characters do not fit in 8
  EXPECT_STREQ(face, L"Tahoma");
}
