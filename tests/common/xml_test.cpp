#include "common/xml.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "tests/common/xml_readback.h"
#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

// Files the writer produced go to written\, which the host check reads with xmllint and Python.
const std::wstring kWritten = L"written\\";

int CountTemporaryFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"xml*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int count = 1;
  while (FindNextFileW(search, &found)) ++count;
  FindClose(search);
  return count;
}

std::unique_ptr<XmlElement> Parse(const std::wstring& text) {
  std::wistringstream stream(text);
  return ParseXmlStream(stream);
}

std::unique_ptr<XmlElement> LoadText(const std::string& fileText) {
  PutFile(L"input.txt", fileText);
  return LoadXmlFile(L"input.txt");
}

// Same names, order and leaf texts; `expected` leaves hold what was saved.
void ExpectSameTree(const XmlElement& expected, const XmlElement& actual, bool sanitise) {
  ASSERT_EQ(actual.GetName(), expected.GetName());
  ASSERT_EQ(actual.GetChildren().size(), expected.GetChildren().size()) << "under " << actual.GetName();
  if (expected.GetChildren().empty()) {
    EXPECT_EQ(actual.GetText(), sanitise ? XmlReadBack(expected.GetText()) : expected.GetText());
  }
  for (size_t i = 0; i < expected.GetChildren().size(); ++i) {
    ExpectSameTree(*expected.GetChildren()[i], *actual.GetChildren()[i], sanitise);
  }
}

class XmlFiles : public testing::Test {
 protected:
  void SetUp() override { CreateDirectoryW(kWritten.c_str(), nullptr); }
};

}  // namespace

TEST_F(XmlFiles, WritesTheSevenLineFormByteForByte) {
  XmlElement root(nullptr, L"root");
  XmlElement* video = root.AddChild(L"video_config");
  video->AddChild(L"format")->SetText(L"1");
  video->AddChild(L"bitrate")->SetText(L"700");
  ASSERT_TRUE(SaveXmlFile(kWritten + L"seven.xml", &root));
  EXPECT_EQ(FileText(kWritten + L"seven.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<root>\r\n"
            "  <video_config>\r\n"
            "    <format>1</format>\r\n"
            "    <bitrate>700</bitrate>\r\n"
            "  </video_config>\r\n"
            "</root>\r\n");
  EXPECT_EQ(CountTemporaryFiles(kWritten), 0);
}

TEST_F(XmlFiles, WritesParentTextAndEmptyLeavesAndIndentsFromDepth) {
  XmlElement root(nullptr, L"r");
  root.SetText(L"note");
  root.AddChild(L"empty");
  std::wostringstream out;
  root.Write(out, -3);
  EXPECT_EQ(out.str(), L"<r>\nnote\n  <empty></empty>\n</r>\n");
  out.str(L"");
  root.Write(out, 1);
  EXPECT_EQ(out.str(), L"  <r>\nnote\n    <empty></empty>\n  </r>\n");
}

TEST_F(XmlFiles, LeafValuesReadBackAsWritten) {
  const std::wstring values[] = {
      L"&",       L"<",          L">",          L"]]>",         L"  blanks at both ends  ",
      L"a\nb",    L"a\r\nb",     L"\r",         L"tab\there",   L"\xE9t\xE9",
      L"\x6F22\x5B57", L"\xD83D\xDE00 pair", L"", L"&amp; <![CDATA[x]]> &#13;", L"\"quotes' and = signs\"",
  };
  XmlElement root(nullptr, L"root");
  for (const std::wstring& value : values) root.AddChild(L"value")->SetText(value);
  ASSERT_TRUE(SaveXmlFile(kWritten + L"values.xml", &root));
  const std::string bytes = FileText(kWritten + L"values.xml");
  EXPECT_NE(bytes.find("<value>a\r\nb</value>"), std::string::npos);
  EXPECT_NE(bytes.find("<value>]]&gt;</value>"), std::string::npos);
  EXPECT_NE(bytes.find("<value>\xC3\xA9t\xC3\xA9</value>"), std::string::npos);

  std::unique_ptr<XmlElement> loaded = LoadXmlFile(kWritten + L"values.xml");
  ASSERT_TRUE(loaded);
  ExpectSameTree(root, *loaded, false);
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST_F(XmlFiles, CharactersXmlCannotCarryBecomeReplacementCharacters) {
  XmlElement root(nullptr, L"root");
  root.AddChild(L"control")->SetText(std::wstring(L"a\x01" L"b\x1F", 4));
  root.AddChild(L"lone")->SetText(L"x\xD800y\xDC00");
  root.AddChild(L"nonchar")->SetText(L"\xFFFE\xFFFF\xFFFD");
  ASSERT_TRUE(SaveXmlFile(kWritten + L"replaced.xml", &root));
  std::unique_ptr<XmlElement> loaded = LoadXmlFile(kWritten + L"replaced.xml");
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->GetChildren().size(), 3u);
  EXPECT_EQ(loaded->GetChildren()[0]->GetText(), L"a\xFFFD" L"b\xFFFD");
  EXPECT_EQ(loaded->GetChildren()[1]->GetText(), L"x\xFFFDy\xFFFD");
  EXPECT_EQ(loaded->GetChildren()[2]->GetText(), L"\xFFFD\xFFFD\xFFFD");
}

TEST_F(XmlFiles, RepeatedNamesKeepOrderAndGroupsSortByName) {
  std::unique_ptr<XmlElement> root = Parse(L"<r><c>1</c><b>2</b><c>3</c><a>4</a><c>5</c></r>");
  ASSERT_TRUE(root);
  std::vector<XmlElement*> found;
  EXPECT_EQ(root->FindChildren(L"c", found), 5);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[2]->GetText(), L"5");

  XmlData node(true, nullptr, root.release(), true);
  std::vector<DataNode*> children;
  node.GetChildrenByName(L"c", children);
  ASSERT_EQ(children.size(), 3u);
  std::wstring text;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(children[i]->GetIndex(), i);
    EXPECT_EQ(children[i]->GetParent(), &node);
    children[i]->ExchangeString(text);
    EXPECT_EQ(text, std::to_wstring(1 + 2 * i));
  }
  node.GetChildren(children);
  std::wstring order;
  for (DataNode* child : children) order += child->GetName();
  EXPECT_EQ(order, L"abccc");
  node.GetChildrenByName(L"none", children);
  EXPECT_TRUE(children.empty());
  EXPECT_EQ(node.GetIndex(), 0);
  EXPECT_EQ(node.GetParent(), nullptr);
  EXPECT_EQ(node.FindChild(L"none"), nullptr);

  // A child added to a loaded tree joins its group behind the others.
  DataNode* added = node.AddChild(L"c");
  ASSERT_TRUE(added);
  EXPECT_EQ(added->GetIndex(), 3);
  EXPECT_TRUE(added->IsLoading());
}

TEST_F(XmlFiles, NumbersReadFromTheStartOfTheText) {
  std::unique_ptr<XmlElement> root = Parse(
      L"<r><a> 7 </a><b>7x</b><c></c><d>x</d><e>-2147483649</e><f>4294967295</f><g>-9223372036854775808</g></r>");
  ASSERT_TRUE(root);
  XmlData node(true, nullptr, root.release(), true);
  int value = 1;
  EXPECT_TRUE(node.ExchangeChild(L"a", value));
  EXPECT_EQ(value, 7);
  value = 1;
  EXPECT_TRUE(node.ExchangeChild(L"b", value));
  EXPECT_EQ(value, 7);
  value = 1;
  EXPECT_FALSE(node.ExchangeChild(L"c", value));
  EXPECT_FALSE(node.ExchangeChild(L"d", value));
  EXPECT_FALSE(node.ExchangeChild(L"e", value));
  EXPECT_EQ(value, 1);
  unsigned long big = 0;
  EXPECT_TRUE(node.ExchangeChild(L"f", big));
  EXPECT_EQ(big, 4294967295UL);
  int64_t lowest = 0;
  EXPECT_TRUE(node.ExchangeChild(L"g", lowest));
  EXPECT_EQ(lowest, INT64_MIN);
}

TEST_F(XmlFiles, ReaderFailuresPushOneMessageEach) {
  EXPECT_FALSE(LoadXmlFile(L"no-such-file.xml"));
  PutFile(L"zero.xml", "");
  EXPECT_FALSE(LoadXmlFile(L"zero.xml"));
  std::wistringstream failed(L"<r/>");
  failed.setstate(std::ios::failbit);
  EXPECT_FALSE(ParseXmlStream(failed));
  EXPECT_EQ(RecordedErrors().Pushed(), (std::vector<std::wstring>{L"Failed to open file no-such-file.xml\n",
                                                                   L"Empty xml file zero.xml",
                                                                   L"Error at .\\source\\xml 129"}));
  EXPECT_TRUE(RecordedErrors().Boxes().empty());
}

TEST_F(XmlFiles, DeclarationsAndByteOrderMark) {
  auto lower = LoadText("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<r>\xC3\xA9</r>");
  ASSERT_TRUE(lower);
  EXPECT_EQ(lower->GetText(), L"\xE9");
  auto bare = LoadText("<r><x>1</x></r>");
  ASSERT_TRUE(bare);
  EXPECT_EQ(bare->GetChildren().size(), 1u);
  auto marked = LoadText("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r>b</r>\r\n");
  ASSERT_TRUE(marked);
  EXPECT_EQ(marked->GetText(), L"b");
  // "UTF-8" in the document itself is content, whatever line it stands on.
  auto content = LoadText("<r>UTF-8 and utf-8</r>");
  ASSERT_TRUE(content);
  EXPECT_EQ(content->GetText(), L"UTF-8 and utf-8");
  auto afterDeclaration = LoadText("<?xml version=\"1.0\" encoding=\"utf-8\"?><r>UTF-8</r>");
  ASSERT_TRUE(afterDeclaration);
  EXPECT_EQ(afterDeclaration->GetText(), L"UTF-8");
  EXPECT_TRUE(RecordedErrors().Pushed().empty());

  EXPECT_FALSE(LoadText("<?xml version=\"1.0\"?>\n<r>1</r>"));
  EXPECT_FALSE(LoadText("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<r>1</r>"));
  const std::vector<std::wstring> pushed = RecordedErrors().Pushed();
  ASSERT_EQ(pushed.size(), 2u);
  EXPECT_EQ(pushed[0], L"XML or text declaration not at start of entity at line 1, column 1");
  EXPECT_EQ(pushed[1], L"XML or text declaration not at start of entity at line 1, column 1");
}

TEST_F(XmlFiles, AttributesAreDroppedAndErrorsNameTheirPlace) {
  auto root = LoadText("<r a=\"1\">\n  <x b='2' c=\"3\">t</x>\n</r>");
  ASSERT_TRUE(root);
  ASSERT_EQ(root->GetChildren().size(), 1u);
  EXPECT_EQ(root->GetChildren()[0]->GetText(), L"t");

  EXPECT_FALSE(LoadText("<r>\n  <x>t</y>\n</r>"));
  EXPECT_FALSE(LoadText("<r>1</r><second/>"));
  EXPECT_EQ(RecordedErrors().Pushed(), (std::vector<std::wstring>{L"mismatched tag at line 2, column 8",
                                                                   L"junk after document element at line 1, column 9"}));
}

TEST_F(XmlFiles, ChunkBoundariesAndTruncation) {
  // A surrogate pair split between the first and second chunk of 4096 characters.
  const std::wstring pad(4096 - 4, L'p');
  auto split = Parse(L"<r>" + pad + L"\xD83D\xDE00</r>");
  ASSERT_TRUE(split);
  EXPECT_EQ(split->GetText(), pad + L"\xD83D\xDE00");

  // A document that ends exactly at a chunk boundary is complete only with its end tag.
  const std::wstring cut = L"<r>" + std::wstring(4096 - 3, L'a');
  ASSERT_EQ(cut.size(), 4096u);
  EXPECT_FALSE(Parse(cut));
  const std::wstring whole = L"<r>" + std::wstring(8192 - 7, L'a') + L"</r>";
  ASSERT_EQ(whole.size(), 8192u);
  EXPECT_TRUE(Parse(whole));
  EXPECT_FALSE(Parse(L""));
  EXPECT_EQ(RecordedErrors().Pushed().size(), 2u);
}

TEST_F(XmlFiles, NestingIsCappedOnReadAndWrite) {
  auto nested = [](int depth) {
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += L"<e>";
    for (int i = 0; i < depth; ++i) text += L"</e>";
    return text;
  };
  EXPECT_TRUE(Parse(nested(kMaxXmlDepth)));
  EXPECT_FALSE(Parse(nested(kMaxXmlDepth + 1)));
  EXPECT_FALSE(Parse(nested(200000)));
  std::wstring deepEmpty;
  for (int i = 0; i < 300; ++i) deepEmpty += L"<e>";
  deepEmpty += L"<leaf/>";
  EXPECT_FALSE(Parse(deepEmpty));
  const std::vector<std::wstring> pushed = RecordedErrors().Pushed();
  ASSERT_EQ(pushed.size(), 3u);
  EXPECT_EQ(pushed[0], L"parsing aborted at line 1, column 771");

  // A tree deeper than the reader takes is refused whole; the file that was there stays.
  PutFile(kWritten + L"deep.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root></root>\r\n");
  XmlElement root(nullptr, L"root");
  XmlElement* element = &root;
  for (int i = 0; i < kMaxXmlDepth; ++i) element = element->AddChild(L"e");
  EXPECT_FALSE(SaveXmlFile(kWritten + L"deep.xml", &root));
  EXPECT_EQ(FileText(kWritten + L"deep.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root></root>\r\n");

  // Deep trees are freed without recursion.
  auto* deep = new XmlElement(nullptr, L"e");
  element = deep;
  for (int i = 0; i < 1000000; ++i) element = element->AddChild(L"e");
  delete deep;
}

TEST_F(XmlFiles, FailedSavesLeaveTheTargetAlone) {
  const std::string old = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n  <kept>yes</kept>\r\n</root>\r\n";
  PutFile(kWritten + L"keep.xml", old);
  XmlElement bad(nullptr, L"root");
  bad.AddChild(L"no spaces in names")->SetText(L"x");
  EXPECT_FALSE(SaveXmlFile(kWritten + L"keep.xml", &bad));
  XmlElement indexed(nullptr, L"root");
  indexed.AddChild(L"item[1]");
  EXPECT_FALSE(SaveXmlFile(kWritten + L"keep.xml", &indexed));
  EXPECT_EQ(FileText(kWritten + L"keep.xml"), old);

  // A target that cannot be replaced: a read-only file, a folder, a folder that does not exist.
  RecordedErrors().Reset();
  CreateDirectoryW(L"folder.xml", nullptr);
  SetFileAttributesW((kWritten + L"readonly.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
  PutFile(kWritten + L"readonly.xml", old);
  SetFileAttributesW((kWritten + L"readonly.xml").c_str(), FILE_ATTRIBUTE_READONLY);
  XmlElement good(nullptr, L"root");
  good.AddChild(L"new")->SetText(L"value");
  EXPECT_FALSE(SaveXmlFile(kWritten + L"readonly.xml", &good));
  EXPECT_FALSE(SaveXmlFile(L"folder.xml", &good));
  SetFileAttributesW((kWritten + L"readonly.xml").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(FileText(kWritten + L"readonly.xml"), old);
  EXPECT_EQ(GetFileAttributesW(L"folder.xml") & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(CountTemporaryFiles(kWritten), 0);
  EXPECT_EQ(CountTemporaryFiles(L".\\"), 0);

  EXPECT_FALSE(SaveXmlFile(L"no-such-folder\\settings.xml", &good));
  EXPECT_EQ(RecordedErrors().Pushed(), (std::vector<std::wstring>{L"Failed to open file written\\readonly.xml\n",
                                                                   L"Failed to open file folder.xml\n",
                                                                   L"Failed to open file no-such-folder\\settings.xml\n"}));

  // The same tree saves over the old file once nothing stands in the way.
  ASSERT_TRUE(SaveXmlFile(kWritten + L"keep.xml", &good));
  auto loaded = LoadXmlFile(kWritten + L"keep.xml");
  ASSERT_TRUE(loaded);
  ExpectSameTree(good, *loaded, false);
}

TEST_F(XmlFiles, RandomTreesRoundTrip) {
  std::mt19937 random(20240611);
  const std::wstring names[] = {L"a", L"item", L"file", L"key_frame", L"x.y-z", L"_u", L"gr\xF6\xDF" L"e", L"n1"};
  const wchar_t alphabet[] = {L'a',    L'Z',    L'0',    L' ',    L'\t',   L'\n',   L'\r',   L'&',    L'<',
                              L'>',    L']',    L'"',    L'\'',   L';',    L'#',    0x01,    0x1F,    0xE9,
                              0x6F22,  0xD83D,  0xDE00,  0xFFFD,  0xFFFE,  0xFFFF,  0x7F,    0x85,    0x2028};
  auto randomText = [&] {
    std::wstring text(random() % 12, L' ');
    for (wchar_t& c : text) c = alphabet[random() % std::size(alphabet)];
    return text;
  };
  for (int round = 0; round < 150; ++round) {
    XmlElement root(nullptr, L"root");
    std::vector<std::pair<XmlElement*, int>> open = {{&root, 0}};
    while (!open.empty()) {
      auto [element, depth] = open.back();
      open.pop_back();
      const int children = depth < 5 ? static_cast<int>(random() % 5) : 0;
      if (children == 0) element->SetText(randomText());
      for (int i = 0; i < children; ++i) {
        open.push_back({element->AddChild(names[random() % std::size(names)]), depth + 1});
      }
    }
    const std::wstring path = kWritten + L"random.xml";
    ASSERT_TRUE(SaveXmlFile(path, &root)) << "round " << round;
    auto loaded = LoadXmlFile(path);
    ASSERT_TRUE(loaded) << "round " << round;
    ExpectSameTree(root, *loaded, true);
    if (HasFailure()) break;
  }
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST_F(XmlFiles, DamagedFilesFailCleanly) {
  XmlElement root(nullptr, L"root");
  for (int i = 0; i < 20; ++i) root.AddChild(L"entry")->AddChild(L"value")->SetText(L"text \xE9 & <" + std::to_wstring(i));
  ASSERT_TRUE(SaveXmlFile(kWritten + L"source.xml", &root));
  const std::string original = FileText(kWritten + L"source.xml");
  std::mt19937 random(7);
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    std::string damaged = original;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes && !damaged.empty(); ++i) {
      const size_t at = random() % damaged.size();
      switch (random() % 3) {
        case 0: damaged[at] = static_cast<char>(random()); break;
        case 1: damaged.erase(at, 1 + random() % 8); break;
        default: damaged.resize(at); break;
      }
    }
    if (damaged.empty()) damaged = "<";
    if (!LoadText(damaged)) ++refused;
  }
  // Most damage breaks the document; each refusal left exactly one message.
  EXPECT_GT(refused, 100);
  EXPECT_EQ(RecordedErrors().Pushed().size(), static_cast<size_t>(refused));
}
