#include "common/xml.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

// Files the writer produced go to written\, which the host check reads with xmllint and Python.
const std::wstring kWritten = L"written\\";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

bool NoTemporaryFilesIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"xml*.tmp").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  return search == INVALID_HANDLE_VALUE;
}

// What a failed save left, so that it fails only its own test.
void RemoveTemporaryFilesIn(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"xml*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    DeleteFileW((folder + found.cFileName).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// A disk that fills up halfway through the save.
class HalfFullDisk {
 public:
  HalfFullDisk() { SetXmlWriteFunction(WriteHalf); }
  ~HalfFullDisk() { SetXmlWriteFunction(nullptr); }

 private:
  static size_t WriteHalf(const void* buffer, size_t size, size_t count, FILE* file) {
    return fwrite(buffer, size, count / 2, file);
  }
};

std::unique_ptr<XmlElement> Parse(const std::wstring& text) {
  std::wistringstream stream(text);
  return ParseXmlStream(stream);
}

std::unique_ptr<XmlElement> LoadText(const std::string& fileText) {
  PutFile(L"input.txt", fileText);
  return LoadXmlFile(L"input.txt");
}

// Same names and order; leaves hold what was saved.
void ExpectSameTree(const XmlElement& expected, const XmlElement& actual) {
  ASSERT_EQ(actual.GetName(), expected.GetName());
  ASSERT_EQ(actual.GetChildren().size(), expected.GetChildren().size()) << "under " << actual.GetName();
  if (expected.GetChildren().empty()) {
    EXPECT_EQ(actual.GetText(), expected.GetText());
  }
  for (size_t i = 0; i < expected.GetChildren().size(); ++i) {
    ExpectSameTree(*expected.GetChildren()[i], *actual.GetChildren()[i]);
  }
}

class XmlFiles : public testing::Test {
 protected:
  void SetUp() override { CreateDirectoryW(kWritten.c_str(), nullptr); }
  void TearDown() override {
    RemoveTemporaryFilesIn(kWritten);
    RemoveTemporaryFilesIn(L".\\");
  }
};

}  // namespace

TEST_F(XmlFiles, WritesTheSevenLineForm) {
  XmlElement root(nullptr, L"root");
  XmlElement* video = root.AddChild(L"video_config");
  video->AddChild(L"format")->SetText(L"1");
  video->AddChild(L"bitrate")->SetText(L"700");
  ASSERT_TRUE(SaveXmlFile(kWritten + L"seven.xml", &root));
  EXPECT_EQ(FileText(kWritten + L"seven.xml"), kDeclaration +
                                                   "<root>\r\n  <video_config>\r\n    <format>1</format>\r\n"
                                                   "    <bitrate>700</bitrate>\r\n  </video_config>\r\n</root>\r\n");
  EXPECT_TRUE(NoTemporaryFilesIn(kWritten));

  // A parent's own text stands unindented after its start tag; a negative depth counts as 0.
  root.SetText(L"note");
  video->SetText(L"x");
  std::wostringstream out;
  root.Write(out, -3);
  EXPECT_EQ(out.str(), L"<root>\nnote\n  <video_config>\nx\n    <format>1</format>\n    <bitrate>700</bitrate>\n"
                       L"  </video_config>\n</root>\n");
}

TEST_F(XmlFiles, LeafValuesReadBackAsWritten) {
  // The same texts are checked by the host check in values.xml.
  const std::wstring values[] = {
      L"&",        L"<",         L">",     L"]]>",       L"  blanks at both ends  ",
      L"a\nb",     L"a\r\nb",    L"\r",    L"tab\there", L"\xE9t\xE9",
      L"\x6F22\x5B57", L"\xD83D\xDE00 pair", L"", L"&amp; <![CDATA[x]]> &#13;", L"\"quotes' and = signs\"",
  };
  XmlElement root(nullptr, L"root");
  for (const std::wstring& value : values) root.AddChild(L"value")->SetText(value);
  ASSERT_TRUE(SaveXmlFile(kWritten + L"values.xml", &root));
  EXPECT_NE(FileText(kWritten + L"values.xml").find("<value>a\r\nb</value>"), std::string::npos);
  std::unique_ptr<XmlElement> loaded = LoadXmlFile(kWritten + L"values.xml");
  ASSERT_TRUE(loaded);
  ExpectSameTree(root, *loaded);

  // Only code units XML cannot carry change, to U+FFFD.
  XmlElement odd(nullptr, L"root");
  odd.AddChild(L"v")->SetText(std::wstring(L"a\x01" L"b\x1F\0", 5) + L"x\xD800y\xDC00\xFFFE\xFFFF");
  ASSERT_TRUE(SaveXmlFile(kWritten + L"replaced.xml", &odd));
  loaded = LoadXmlFile(kWritten + L"replaced.xml");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->GetChildren()[0]->GetText(), L"a\xFFFD" L"b\xFFFD\xFFFDx\xFFFDy\xFFFD\xFFFD\xFFFD");
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST_F(XmlFiles, RepeatedNamesKeepOrderAndGroupsSortByName) {
  std::unique_ptr<XmlElement> root = Parse(L"<r><c>0</c><b/><c>1</c><a/><c>2</c></r>");
  ASSERT_TRUE(root);
  std::vector<XmlElement*> found;
  EXPECT_EQ(root->FindChildren(L"c", found), 5);
  EXPECT_EQ(found.size(), 3u);
  XmlData node(true, nullptr, root.release(), true);
  std::vector<DataNode*> children;
  node.GetChildrenByName(L"c", children);
  ASSERT_EQ(children.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    int value = -1;
    EXPECT_TRUE(children[i]->ExchangeInt(value));
    EXPECT_EQ(value, i);
    EXPECT_EQ(children[i]->GetIndex(), i);
    EXPECT_EQ(children[i]->GetParent(), &node);
  }
  node.GetChildren(children);
  std::wstring order;
  for (DataNode* child : children) order += child->GetName();
  EXPECT_EQ(order, L"abccc");
  DataNode* added = node.AddChild(L"c");
  EXPECT_EQ(added->GetIndex(), 3);
  EXPECT_TRUE(added->IsLoading());
}

TEST_F(XmlFiles, WhatTheReaderTakesAndWhatItRefuses) {
  const struct {
    const char* file;
    const wchar_t* text;  // the root's text, or the message when refused
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>\xC3\xA9</r>", L"\xE9"},
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>b</r>\r\n", L"b"},
      {"<r a=\"1\">t<x b='2'/></r>", L"t"},
      // "UTF-8" in the document itself is content, whatever line it stands on.
      {"<r>UTF-8 and utf-8</r>", L"UTF-8 and utf-8"},
      {"<?xml version=\"1.0\" encoding=\"utf-8\"?><r>UTF-8</r>", L"UTF-8"},
      {"<?xml version=\"1.0\"?>\n<r>1</r>", L"XML or text declaration not at start of entity at line 1, column 1"},
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>1</r>",
       L"XML or text declaration not at start of entity at line 1, column 1"},
      {"<r>\n  <x>t</y>\n</r>", L"mismatched tag at line 2, column 8"},
      {"<r>1</r><second/>", L"junk after document element at line 1, column 9"},
      // A document type without declarations is harmless; entity declarations are refused.
      {"<!DOCTYPE r>\n<r>d</r>", L"d"},
      {"<!DOCTYPE r [\n<!ENTITY a \"xx\">\n]>\n<r>&a;</r>", L"parsing aborted at line 2, column 11"},
      {"", L"Empty xml file input.txt"},
  };
  for (const auto& c : cases) {
    RecordedErrors().Reset();
    std::unique_ptr<XmlElement> root = LoadText(c.file);
    const std::vector<std::wstring> pushed = RecordedErrors().Pushed();
    EXPECT_EQ(root ? root->GetText() : pushed.size() == 1 ? pushed[0] : L"<no single message>", c.text) << c.file;
    EXPECT_TRUE(!root || pushed.empty()) << c.file;
  }
  RecordedErrors().Reset();
  EXPECT_FALSE(LoadXmlFile(L"no-such-file.xml"));
  std::wistringstream failed(L"<r/>");
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(ParseXmlStream(failed));
  EXPECT_EQ(RecordedErrors().Pushed(),
            (std::vector<std::wstring>{L"Failed to open file no-such-file.xml\n", L"Error at .\\source\\xml 129"}));
}

TEST_F(XmlFiles, ChunkBoundariesAndNesting) {
  // A surrogate pair split between the first two chunks of 4096 characters.
  const std::wstring pad(4096 - 4, L'p');
  auto split = Parse(L"<r>" + pad + L"\xD83D\xDE00</r>");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->GetText(), pad + L"\xD83D\xDE00");
  // A document cut short exactly at a chunk boundary is refused; a complete one of two chunks loads.
  EXPECT_FALSE(Parse(L"<r>" + std::wstring(4096 - 3, L'a')));
  EXPECT_TRUE(Parse(L"<r>" + std::wstring(8192 - 7, L'a') + L"</r>"));

  auto nested = [](int depth) {
    std::wstring open, close;
    for (int i = 0; i < depth; ++i) open += L"<e>", close += L"</e>";
    return open + close;
  };
  EXPECT_TRUE(Parse(nested(kMaxXmlDepth)));
  RecordedErrors().Reset();
  EXPECT_FALSE(Parse(nested(kMaxXmlDepth + 1)));
  EXPECT_FALSE(Parse(nested(200000)));
  EXPECT_EQ(RecordedErrors().Pushed().front(), L"parsing aborted at line 1, column 771");

  // The writer refuses what the reader would; the file that was there stays.
  PutFile(kWritten + L"deep.xml", kDeclaration + "<root></root>\r\n");
  XmlElement root(nullptr, L"root");
  XmlElement* element = &root;
  for (int i = 0; i < kMaxXmlDepth; ++i) element = element->AddChild(L"e");
  EXPECT_FALSE(SaveXmlFile(kWritten + L"deep.xml", &root));
  EXPECT_EQ(FileText(kWritten + L"deep.xml"), kDeclaration + "<root></root>\r\n");
  // Deep trees are freed without recursion.
  for (int i = 0; i < 1000000; ++i) element = element->AddChild(L"e");
}

TEST_F(XmlFiles, FailedSavesLeaveTheTargetAlone) {
  const std::string old = kDeclaration + "<root>\r\n  <kept>yes</kept>\r\n</root>\r\n";
  const std::wstring readOnly = kWritten + L"readonly.xml";
  CreateDirectoryW(L"folder.xml", nullptr);
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  PutFile(kWritten + L"keep.xml", old);
  PutFile(readOnly, old);
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);

  XmlElement badName(nullptr, L"root");
  badName.AddChild(L"item[1]");
  EXPECT_FALSE(SaveXmlFile(kWritten + L"keep.xml", &badName));
  RecordedErrors().Reset();
  XmlElement good(nullptr, L"root");
  good.AddChild(L"new")->SetText(L"value");
  for (const std::wstring& target : {readOnly, std::wstring(L"folder.xml"), std::wstring(L"missing\\settings.xml")}) {
    EXPECT_FALSE(SaveXmlFile(target, &good));
    EXPECT_EQ(RecordedErrors().Pushed().back(), L"Failed to open file " + target + L"\n");
  }
  {
    HalfFullDisk full;
    EXPECT_FALSE(SaveXmlFile(kWritten + L"keep.xml", &good));
  }
  SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(FileText(kWritten + L"keep.xml"), old);
  EXPECT_EQ(FileText(readOnly), old);
  EXPECT_TRUE(NoTemporaryFilesIn(kWritten) && NoTemporaryFilesIn(L".\\"));
  ASSERT_TRUE(SaveXmlFile(kWritten + L"keep.xml", &good));
  EXPECT_EQ(FileText(kWritten + L"keep.xml"), kDeclaration + "<root>\r\n  <new>value</new>\r\n</root>\r\n");
}

TEST_F(XmlFiles, DamagedFilesFailWithOneMessage) {
  XmlElement root(nullptr, L"root");
  for (int i = 0; i < 20; ++i) root.AddChild(L"entry")->AddChild(L"value")->SetText(L"\xE9 & <" + std::to_wstring(i));
  ASSERT_TRUE(SaveXmlFile(kWritten + L"source.xml", &root));
  const std::string original = FileText(kWritten + L"source.xml");
  std::mt19937 random(7);
  size_t refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string damaged = original;
    for (int i = 1 + static_cast<int>(random() % 4); i > 0 && !damaged.empty(); --i) {
      const size_t at = random() % damaged.size();
      if (random() % 2) damaged[at] = static_cast<char>(random());
      else damaged.erase(at, 1 + random() % 8);
    }
    if (!LoadText(damaged)) ++refused;
  }
  EXPECT_GT(refused, 100u);
  EXPECT_EQ(RecordedErrors().Pushed().size(), refused);
}

