#include "common/loader.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tests/support/errors.h"
#include "tests/support/files.h"

namespace {

const std::wstring kKey = L"Software\\LarkspanTests\\Loader";

// A settings tree described as data: the object saves it, and a loaded tree is compared with it.
struct Spec {
  enum Kind { kKey, kText, kNumber };
  std::wstring name;
  Kind kind = kKey;
  std::wstring text;
  int number = 0;
  std::vector<Spec> children;
};

Spec Leaf(const std::wstring& name, const std::wstring& text) {
  Spec spec;
  spec.name = name;
  spec.kind = Spec::kText;
  spec.text = text;
  return spec;
}

class SpecWriter : public Nodable {
 public:
  explicit SpecWriter(const Spec& spec) : spec_(spec) {}
  bool Serialize(DataNode& node) override {
    for (const Spec& child : spec_.children) {
      DataNode* added = node.AddChild(child.name);
      if (!added) return false;
      std::wstring text = child.text;
      int number = child.number;
      if (child.kind == Spec::kText) added->ExchangeString(text);
      if (child.kind == Spec::kNumber) added->ExchangeInt(number);
      if (child.kind == Spec::kKey) SpecWriter(child).Serialize(*added);
    }
    return true;
  }

 private:
  const Spec& spec_;
};

// What XML gives back for a saved text: code units XML 1.0 cannot carry read back as U+FFFD.
std::wstring XmlReadBack(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (IS_HIGH_SURROGATE(c) && i + 1 < text.size() && IS_LOW_SURROGATE(text[i + 1])) {
      out += c;
      out += text[++i];
    } else if ((c < 0x20 && c != L'\t' && c != L'\n' && c != L'\r') || c >= 0xFFFE || IS_HIGH_SURROGATE(c) ||
               IS_LOW_SURROGATE(c)) {
      out += wchar_t(0xFFFD);
    } else {
      out += c;
    }
  }
  return out;
}

void ExpectLoaded(const Spec& spec, DataNode& node, bool xml) {
  std::map<std::wstring, std::vector<const Spec*>> groups;
  for (const Spec& child : spec.children) groups[child.name].push_back(&child);
  std::vector<DataNode*> nodes;
  node.GetChildren(nodes);
  ASSERT_EQ(nodes.size(), spec.children.size()) << "under " << node.GetName();
  for (const auto& [name, specs] : groups) {
    node.GetChildrenByName(name, nodes);
    ASSERT_EQ(nodes.size(), specs.size()) << name;
    for (size_t i = 0; i < specs.size(); ++i) {
      EXPECT_EQ(nodes[i]->GetIndex(), static_cast<int>(i));
      EXPECT_EQ(nodes[i]->GetName(), name);
      std::wstring text = L"<unread>";
      int number = -1;
      switch (specs[i]->kind) {
        case Spec::kText:
          EXPECT_TRUE(nodes[i]->ExchangeString(text));
          EXPECT_EQ(text, xml ? XmlReadBack(specs[i]->text) : specs[i]->text) << name << " " << i;
          break;
        case Spec::kNumber:
          EXPECT_TRUE(nodes[i]->ExchangeInt(number));
          EXPECT_EQ(number, specs[i]->number) << name << " " << i;
          break;
        case Spec::kKey:
          ExpectLoaded(*specs[i], *nodes[i], xml);
          break;
      }
    }
  }
}

// Runs a check on the root node of what the loader reads.
class Checker : public Nodable {
 public:
  Checker(const Spec& spec, bool xml) : spec_(spec), xml_(xml) {}
  bool Serialize(DataNode& node) override {
    ran = true;
    EXPECT_TRUE(node.IsLoading());
    ExpectLoaded(spec_, node, xml_);
    return true;
  }
  bool ran = false;

 private:
  const Spec& spec_;
  bool xml_;
};

Spec RandomSpec(std::mt19937& random, int depth) {
  static const std::wstring names[] = {L"file", L"item", L"video_config", L"a", L"b.c", L"n-1", L"\xE9t\xE9"};
  static const wchar_t alphabet[] = {L'a', L'Z', L'7', L' ', L'\n', L'\r', L'\t', L'&', L'<', L'>', L']', L'\\',
                                     L'[', 0,    1,    0xE9, 0x6F22, 0xD83D, 0xDE00, 0xFFFF, L'%', L'"'};
  Spec spec;
  const int children = static_cast<int>(random() % (depth < 3 ? 6 : 1));
  for (int i = 0; i < children; ++i) {
    Spec child;
    const unsigned kind = random() % 3;
    if (kind == 0) {
      child = RandomSpec(random, depth + 1);
    } else if (kind == 1) {
      child.kind = Spec::kText;
      child.text.resize(random() % 10);
      for (wchar_t& c : child.text) c = alphabet[random() % std::size(alphabet)];
    } else {
      child.kind = Spec::kNumber;
      child.number = static_cast<int>(random());
    }
    child.name = names[random() % std::size(names)];
    spec.children.push_back(std::move(child));
  }
  return spec;
}

class Loaders : public testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kKey.c_str()); }
};

}  // namespace

TEST_F(Loaders, XmlFailuresNameTheFileAfterTheCause) {
  Spec spec;
  spec.children.push_back(Leaf(L"file", L"x"));
  Checker checker(spec, true);
  PutFile(L"zero.xml", "");
  PutFile(L"broken.xml", "<root>");
  for (const wchar_t* path : {L"missing.xml", L"zero.xml", L"broken.xml"}) EXPECT_FALSE(XmlLoader(path).Load(checker));
  EXPECT_FALSE(checker.ran);
  SpecWriter writer(spec);
  EXPECT_FALSE(XmlLoader(L"missing\\settings.xml").Save(writer));
  EXPECT_EQ(RecordedErrors().Pushed(), (std::vector<std::wstring>{
                                           L"Failed to open file missing.xml\n",
                                           L"Failed to load xml file missing.xml",
                                           L"Empty xml file zero.xml",
                                           L"Failed to load xml file zero.xml",
                                           L"no element found at line 1, column 7",
                                           L"Failed to load xml file broken.xml",
                                           L"Failed to open file missing\\settings.xml\n",
                                           L"Failed to save xml file missing\\settings.xml",
                                       }));
  EXPECT_TRUE(RecordedErrors().Boxes().empty());

  // Any root element loads.
  PutFile(L"other-root.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<project><file>x</file></project>\n");
  EXPECT_TRUE(XmlLoader(L"other-root.xml").Load(checker));
  EXPECT_TRUE(checker.ran);
}

TEST_F(Loaders, RandomTreesRoundTripThroughBothStores) {
  std::mt19937 random(31337);
  XmlLoader xml(L"random-settings.xml");
  RegLoader registry(HKEY_CURRENT_USER, kKey);
  // Each save goes over what the one before left, so the registry must also drop what is gone.
  for (int round = 0; round < 60; ++round) {
    const Spec spec = RandomSpec(random, 0);
    SpecWriter writer(spec);
    ASSERT_TRUE(xml.Save(writer)) << "round " << round;
    ASSERT_TRUE(registry.Save(writer)) << "round " << round;
    Checker fromXml(spec, true);
    Checker fromRegistry(spec, false);
    ASSERT_TRUE(xml.Load(fromXml)) << "round " << round;
    ASSERT_TRUE(registry.Load(fromRegistry)) << "round " << round;
    EXPECT_TRUE(fromXml.ran && fromRegistry.ran);
    if (HasFailure()) {
      ADD_FAILURE() << "round " << round;
      break;
    }
  }
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}
