#include "common/regdata.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "common/loader.h"
#include "tests/support/errors.h"

namespace {

const std::wstring kTestRoot = L"Software\\LarkspanTests\\";

// Each test works below its own key; the registry is written and read back here through the plain
// API, apart from the code under test.
class Registry : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    path_ = kTestRoot + std::wstring(name.begin(), name.end());
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

  std::wstring Path(const std::wstring& key) const { return key.empty() ? path_ : path_ + L"\\" + key; }
  void Put(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, size_t size) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, Path(key).c_str(), name.c_str(), type, data, static_cast<DWORD>(size)),
              ERROR_SUCCESS);
  }
  void PutString(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    Put(key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  }
  std::wstring Stored(const std::wstring& key, const std::wstring& name) {
    wchar_t buffer[256];
    DWORD size = sizeof(buffer);
    return RegGetValueW(HKEY_CURRENT_USER, Path(key).c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size)
               ? L"<none>" : buffer;
  }
  bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Path(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
  }
  std::unique_ptr<RegData> Load() {
    std::unique_ptr<RegKey> key = LoadRegKey(HKEY_CURRENT_USER, path_);
    return key ? std::make_unique<RegData>(true, nullptr, key.release(), true) : nullptr;
  }

  std::wstring path_;
};

class Writer : public Nodable {
 public:
  explicit Writer(std::function<void(DataNode&)> write) : write_(std::move(write)) {}
  bool Serialize(DataNode& node) override {
    write_(node);
    return true;
  }

 private:
  std::function<void(DataNode&)> write_;
};

// The "stored_as" values of the nodes, in their order.
std::wstring StoredNames(const std::vector<DataNode*>& nodes) {
  std::wstring names;
  for (DataNode* node : nodes) {
    std::wstring name = L"?";
    node->ExchangeChild(L"stored_as", name);
    names += name + L";";
  }
  return names;
}

}  // namespace

TEST_F(Registry, ListsAreIndexedNamesGroupedByIndex) {
  Writer list([](DataNode& node) {
    for (std::wstring text : {L"first", L"second", L"third"}) node.AddChild(L"file")->ExchangeString(text);
  });
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, path_).Save(list));
  EXPECT_EQ(Stored(L"", L"file") + Stored(L"", L"file[1]") + Stored(L"", L"file[2]"), L"firstsecondthird");
  for (const wchar_t* name : {L"item[10]", L"item", L"item[2]", L"item[x]", L"item[0004]"}) {
    PutString(name, L"stored_as", name);
  }
  auto root = Load();
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetName(), path_);
  std::vector<DataNode*> nodes;
  root->GetChildrenByName(L"file", nodes);
  ASSERT_EQ(nodes.size(), 3u);
  std::wstring text;
  EXPECT_TRUE(nodes[2]->ExchangeString(text));
  EXPECT_EQ(text, L"third");
  EXPECT_EQ(nodes[2]->GetIndex(), 2);
  root->GetChildrenByName(L"item", nodes);
  EXPECT_EQ(StoredNames(nodes), L"item;item[2];item[0004];item[10];");
  EXPECT_EQ(nodes[3]->GetIndex(), 3);
  root->GetChildrenByName(L"item[x]", nodes);
  EXPECT_EQ(StoredNames(nodes), L"item[x];");
}

TEST_F(Registry, AddedNamesContinueAfterTheHighestIndex) {
  PutString(L"", L"item", L"0");
  PutString(L"", L"item[4]", L"4");
  std::unique_ptr<RegKey> key = LoadRegKey(HKEY_CURRENT_USER, path_);
  ASSERT_TRUE(key);
  RegKey* keyTree = key.get();
  RegData root(false, nullptr, key.release(), true);
  EXPECT_EQ(root.AddChild(L"item")->GetIndex(), 2);
  EXPECT_TRUE(keyTree->FindChild(L"item[5]"));
  // A name that looks indexed cannot take the place of a stored child of another group.
  EXPECT_EQ(root.AddChild(L"item[4]"), nullptr);
  EXPECT_TRUE(keyTree->FindChild(L"item[4]"));
}

TEST_F(Registry, TypesAndFormsThatDoNotFitAreRefused) {
  const unsigned char three[] = {1, 2, 3};
  const uint64_t quad = 7;
  const DWORD dword = 3;
  Put(L"", L"expand", REG_EXPAND_SZ, L"%PATH%", 14);
  Put(L"", L"short", REG_DWORD, three, 3);
  Put(L"", L"quad", REG_QWORD, &quad, 8);
  Put(L"", L"dword", REG_DWORD, &dword, 4);
  Put(L"", L"unterminated", REG_SZ, L"ab", 4);
  Put(L"", L"odd", REG_SZ, L"ab", 5);
  Put(L"", L"byte", REG_SZ, "a", 1);
  for (const wchar_t* text : {L"7x", L"x", L"99999999999999999999"}) PutString(L"", text, text);
  auto root = Load();
  ASSERT_TRUE(root);

  std::wstring text = L"kept";
  int number = 9;
  int64_t big = 11;
  EXPECT_FALSE(root->FindChild(L"expand")->ExchangeString(text) || root->FindChild(L"dword")->ExchangeString(text));
  EXPECT_FALSE(root->FindChild(L"short")->ExchangeInt(number) || root->FindChild(L"quad")->ExchangeInt(number) ||
               root->FindChild(L"7x")->ExchangeInt(number));
  EXPECT_FALSE(root->FindChild(L"x")->ExchangeInt64(big) ||
               root->FindChild(L"99999999999999999999")->ExchangeInt64(big) ||
               root->FindChild(L"dword")->ExchangeInt64(big));
  EXPECT_EQ(text, L"kept");
  EXPECT_EQ(number, 9);
  EXPECT_EQ(big, 11);
  EXPECT_TRUE(root->FindChild(L"dword")->ExchangeInt(number));
  EXPECT_EQ(number, 3);
  EXPECT_TRUE(root->FindChild(L"7x")->ExchangeInt64(big));
  EXPECT_EQ(big, 7);
  // Data without a terminator keeps its last character.
  for (const wchar_t* name : {L"unterminated", L"odd"}) {
    EXPECT_TRUE(root->FindChild(name)->ExchangeString(text));
    EXPECT_EQ(text, L"ab");
  }
  EXPECT_TRUE(root->FindChild(L"byte")->ExchangeString(text));
  EXPECT_EQ(text, L"");
}

TEST_F(Registry, ResaveRemovesWhatTheObjectNoLongerWrites) {
  std::vector<std::wstring> files = {L"a", L"b", L"c", L"d"};
  bool first = true;
  Writer writer([&](DataNode& node) {
    for (std::wstring& file : files) node.AddChild(L"file")->ExchangeString(file);
    std::wstring text = L"value";
    if (first) {
      node.ExchangeChild(L"extra", text);
      node.AddChild(L"old_group")->ExchangeChild(L"inside", text);
      node.AddChild(L"shape");  // a key now, a value next time
    } else {
      node.ExchangeChild(L"shape", text);
      node.ExchangeChild(L"kept", text);
    }
  });
  PutString(L"", L"KEPT", L"stored before");
  RegLoader loader(HKEY_CURRENT_USER, path_);
  ASSERT_TRUE(loader.Save(writer));
  EXPECT_TRUE(KeyExists(L"old_group") && KeyExists(L"shape"));
  files.resize(2);
  first = false;
  ASSERT_TRUE(loader.Save(writer));
  EXPECT_EQ(Stored(L"", L"file[1]"), L"b");
  EXPECT_EQ(Stored(L"", L"file[2]") + Stored(L"", L"file[3]") + Stored(L"", L"extra"), L"<none><none><none>");
  EXPECT_FALSE(KeyExists(L"old_group") || KeyExists(L"shape"));
  EXPECT_EQ(Stored(L"", L"shape"), L"value");
  // The registry ignores case: "kept" is the value stored as "KEPT", and it stays.
  EXPECT_EQ(Stored(L"", L"kept"), L"value");
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST_F(Registry, FailedSaveReportsAndRemovesNothing) {
  PutString(L"", L"stale", L"from an earlier save");
  Writer broken([](DataNode& node) {
    std::wstring text = L"new";
    // Windows refuses key names of 256 characters and more, Wine from 257.
    node.AddChild(std::wstring(300, L'k'))->ExchangeChild(L"inside", text);
  });
  EXPECT_FALSE(RegLoader(HKEY_CURRENT_USER, path_).Save(broken));
  EXPECT_EQ(Stored(L"", L"stale"), L"from an earlier save");

  RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  bool serialized = false;
  Writer reader([&](DataNode&) { serialized = true; });
  EXPECT_FALSE(RegLoader(HKEY_CURRENT_USER, path_).Load(reader));
  EXPECT_FALSE(serialized);
  EXPECT_EQ(RecordedErrors().Pushed(),
            (std::vector<std::wstring>{L"Failed to save registry " + path_, L"Failed to load registry " + path_}));
}

// Left in place for the host check, which reads it with Wine's regedit and then removes it.
TEST(RegistryPeer, WritesTheKeyTheHostReads) {
  const std::wstring path = kTestRoot + L"Peer";
  RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  Writer peer([](DataNode& node) {
    for (std::wstring file : {L"C:\\movies\\one.avi", L"D:\\two & three.avi", L"th\xEFrd \x6F22 \xD83D\xDE00"}) {
      node.AddChild(L"file")->ExchangeString(file);
    }
    int bitrate = 700;
    int negative = -2;
    int64_t big = -5;
    std::wstring empty;
    node.ExchangeChild(L"bitrate", bitrate);
    node.ExchangeChild(L"negative", negative);
    node.ExchangeChild(L"big", big);
    node.AddChild(L"group")->ExchangeChild(L"empty", empty);
  });
  EXPECT_TRUE(RegLoader(HKEY_CURRENT_USER, path).Save(peer));
}
