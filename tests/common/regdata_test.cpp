#include "common/regdata.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "common/handle.h"
#include "common/loader.h"
#include "tests/support/errors.h"

namespace {

const std::wstring kTestRoot = L"Software\\LarkspanTests\\";

// Writes values and sub-keys straight through the registry API, apart from the code under test.
class RegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    path_ = kTestRoot + std::wstring(name.begin(), name.end());
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

  void PutValue(const std::wstring& key, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Path(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(handle);
  }
  void PutString(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    PutValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void PutKey(const std::wstring& key) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Path(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &handle,
                              nullptr),
              ERROR_SUCCESS);
    RegCloseKey(handle);
  }
  // The stored data of a value, or "<none>".
  std::wstring StoredString(const std::wstring& key, const std::wstring& name) {
    wchar_t buffer[512];
    DWORD size = sizeof(buffer);
    if (RegGetValueW(HKEY_CURRENT_USER, Path(key).c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS) {
      return L"<none>";
    }
    return buffer;
  }
  bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Path(key).c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
  }
  std::wstring Path(const std::wstring& key) const { return key.empty() ? path_ : path_ + L"\\" + key; }

  std::unique_ptr<RegData> Load() {
    std::unique_ptr<RegKey> key = LoadRegKey(HKEY_CURRENT_USER, path_);
    EXPECT_TRUE(key);
    return key ? std::make_unique<RegData>(true, nullptr, key.release(), true) : nullptr;
  }

  std::wstring path_;
};

// Saves whatever the test function adds.
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

TEST_F(RegistryTest, ListsAreStoredUnderIndexedNames) {
  Writer list([](DataNode& node) {
    for (std::wstring text : {L"first", L"second", L"third"}) node.AddChild(L"file")->ExchangeString(text);
  });
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, path_).Save(list));
  EXPECT_EQ(StoredString(L"", L"file"), L"first");
  EXPECT_EQ(StoredString(L"", L"file[1]"), L"second");
  EXPECT_EQ(StoredString(L"", L"file[2]"), L"third");

  auto root = Load();
  ASSERT_TRUE(root);
  std::vector<DataNode*> files;
  root->GetChildrenByName(L"file", files);
  ASSERT_EQ(files.size(), 3u);
  std::wstring text;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(files[i]->GetIndex(), i);
    EXPECT_EQ(files[i]->GetName(), L"file");
  }
  files[2]->ExchangeString(text);
  EXPECT_EQ(text, L"third");
  EXPECT_EQ(root->GetName(), path_);
}

TEST_F(RegistryTest, GroupsFollowTheIndexNotTheName) {
  for (const wchar_t* name : {L"item[10]", L"item", L"item[2]", L"item[x]", L"item[0004]"}) {
    PutString(name, L"stored_as", name);
  }
  auto root = Load();
  ASSERT_TRUE(root);
  std::vector<DataNode*> nodes;
  root->GetChildrenByName(L"item", nodes);
  EXPECT_EQ(StoredNames(nodes), L"item;item[2];item[0004];item[10];");
  root->GetChildrenByName(L"item[x]", nodes);
  EXPECT_EQ(StoredNames(nodes), L"item[x];");
  root->GetChildren(nodes);
  EXPECT_EQ(StoredNames(nodes), L"item;item[2];item[0004];item[10];item[x];");

  DataNode* added = root->AddChild(L"item");
  ASSERT_TRUE(added);
  EXPECT_EQ(added->GetIndex(), 4);
  DataNode* fresh = root->AddChild(L"fresh");
  DataNode* again = root->AddChild(L"fresh");
  EXPECT_EQ(fresh->GetIndex(), 0);
  EXPECT_EQ(again->GetIndex(), 1);
  root->GetChildrenByName(L"item", nodes);
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes[4], added);
}

TEST_F(RegistryTest, AddedNamesContinueAfterTheHighestIndex) {
  PutString(L"", L"item", L"0");
  PutString(L"", L"item[4]", L"4");
  std::unique_ptr<RegKey> key = LoadRegKey(HKEY_CURRENT_USER, path_);
  ASSERT_TRUE(key);
  RegKey* keyTree = key.get();
  RegData root(false, nullptr, key.release(), true);
  ASSERT_TRUE(root.AddChild(L"item"));
  EXPECT_TRUE(keyTree->FindChild(L"item[5]"));
  // A name that looks indexed cannot take the place of a stored child of another group.
  EXPECT_EQ(root.AddChild(L"item[4]"), nullptr);
  EXPECT_TRUE(keyTree->FindChild(L"item[4]"));
}

TEST_F(RegistryTest, ValuesOfTheWrongTypeOrFormAreRefused) {
  const wchar_t expand[] = L"%PATH%";
  PutValue(L"", L"expand", REG_EXPAND_SZ, expand, sizeof(expand));
  const unsigned char three[] = {1, 2, 3};
  PutValue(L"", L"short", REG_DWORD, three, 3);
  const uint64_t quad = 7;
  PutValue(L"", L"quad", REG_QWORD, &quad, sizeof(quad));
  PutValue(L"", L"unterminated", REG_SZ, L"ab", 4);
  PutValue(L"", L"odd", REG_SZ, L"ab", 5);
  PutValue(L"", L"empty", REG_SZ, nullptr, 0);
  PutValue(L"", L"byte", REG_SZ, "a", 1);
  PutString(L"", L"number", L"7x");
  PutString(L"", L"word", L"x");
  PutString(L"", L"huge", L"99999999999999999999");
  const DWORD three32 = 3;
  PutValue(L"", L"dword", REG_DWORD, &three32, 4);
  auto root = Load();
  ASSERT_TRUE(root);

  std::wstring text = L"kept";
  EXPECT_FALSE(root->FindChild(L"expand")->ExchangeString(text));
  EXPECT_FALSE(root->FindChild(L"dword")->ExchangeString(text));
  EXPECT_EQ(text, L"kept");
  int number = 9;
  EXPECT_FALSE(root->FindChild(L"short")->ExchangeInt(number));
  EXPECT_FALSE(root->FindChild(L"quad")->ExchangeInt(number));
  EXPECT_FALSE(root->FindChild(L"number")->ExchangeInt(number));
  EXPECT_EQ(number, 9);
  EXPECT_TRUE(root->FindChild(L"dword")->ExchangeInt(number));
  EXPECT_EQ(number, 3);

  EXPECT_TRUE(root->FindChild(L"unterminated")->ExchangeString(text));
  EXPECT_EQ(text, L"ab");
  EXPECT_TRUE(root->FindChild(L"odd")->ExchangeString(text));
  EXPECT_EQ(text, L"ab");
  EXPECT_TRUE(root->FindChild(L"empty")->ExchangeString(text));
  EXPECT_EQ(text, L"");
  text = L"x";
  EXPECT_TRUE(root->FindChild(L"byte")->ExchangeString(text));
  EXPECT_EQ(text, L"");

  int64_t big = 11;
  EXPECT_TRUE(root->FindChild(L"number")->ExchangeInt64(big));
  EXPECT_EQ(big, 7);
  EXPECT_FALSE(root->FindChild(L"word")->ExchangeInt64(big));
  EXPECT_FALSE(root->FindChild(L"huge")->ExchangeInt64(big));
  EXPECT_FALSE(root->FindChild(L"dword")->ExchangeInt64(big));
  EXPECT_EQ(big, 7);
}

TEST_F(RegistryTest, EveryTypeReadsBackAsWritten) {
  std::wstring text = std::wstring(L"zero\0inside \xD800 lone", 18);
  std::wstring trailingZero(L"end\0", 4);
  std::wstring empty;
  int negative = -7;
  unsigned int top = 0xFFFFFFFFu;
  long lowest = LONG_MIN;
  unsigned long high = 0x80000000UL;
  int64_t minus5 = -5;
  int64_t extreme = INT64_MIN;
  bool flag = true;
  double real = 0.25;
  std::vector<unsigned char> bytes(40, 0xA5);
  Writer all([&](DataNode& node) {
    node.ExchangeChild(L"text", text);
    node.ExchangeChild(L"trailing", trailingZero);
    node.ExchangeChild(L"empty", empty);
    node.ExchangeChild(L"negative", negative);
    node.ExchangeChild(L"top", top);
    node.ExchangeChild(L"lowest", lowest);
    node.ExchangeChild(L"high", high);
    node.ExchangeChild(L"minus5", minus5);
    node.ExchangeChild(L"extreme", extreme);
    node.ExchangeChild(L"flag", flag);
    node.ExchangeChild(L"real", real);
    node.ExchangeChild(L"bytes", bytes);
    DataNode* group = node.AddChild(L"group");
    group->AddChild(L"inner")->ExchangeInt(negative);
    node.AddChild(L"empty_key");
  });
  ASSERT_TRUE(RegLoader(HKEY_CURRENT_USER, path_).Save(all));
  EXPECT_EQ(StoredString(L"", L"minus5"), L"-5");
  EXPECT_TRUE(KeyExists(L"empty_key"));
  DWORD stored = 0;
  DWORD size = sizeof(stored);
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, Path(L"group").c_str(), L"inner", RRF_RT_REG_DWORD, nullptr, &stored, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(static_cast<int>(stored), -7);

  auto root = Load();
  ASSERT_TRUE(root);
  std::wstring textBack, trailingBack, emptyBack = L"x";
  int negativeBack = 0, innerBack = 0;
  unsigned int topBack = 0;
  long lowestBack = 0;
  unsigned long highBack = 0;
  int64_t minus5Back = 0, extremeBack = 0;
  bool flagBack = false;
  double realBack = 0;
  std::vector<unsigned char> bytesBack;
  EXPECT_TRUE(root->ExchangeChild(L"text", textBack));
  EXPECT_TRUE(root->ExchangeChild(L"trailing", trailingBack));
  EXPECT_TRUE(root->ExchangeChild(L"empty", emptyBack));
  EXPECT_TRUE(root->ExchangeChild(L"negative", negativeBack));
  EXPECT_TRUE(root->ExchangeChild(L"top", topBack));
  EXPECT_TRUE(root->ExchangeChild(L"lowest", lowestBack));
  EXPECT_TRUE(root->ExchangeChild(L"high", highBack));
  EXPECT_TRUE(root->ExchangeChild(L"minus5", minus5Back));
  EXPECT_TRUE(root->ExchangeChild(L"extreme", extremeBack));
  EXPECT_TRUE(root->ExchangeChild(L"flag", flagBack));
  EXPECT_TRUE(root->ExchangeChild(L"real", realBack));
  EXPECT_TRUE(root->ExchangeChild(L"bytes", bytesBack));
  ASSERT_TRUE(root->FindChild(L"group"));
  EXPECT_TRUE(root->FindChild(L"group")->ExchangeChild(L"inner", innerBack));
  EXPECT_EQ(textBack, text);
  EXPECT_EQ(trailingBack, trailingZero);
  EXPECT_EQ(emptyBack, L"");
  EXPECT_EQ(negativeBack, negative);
  EXPECT_EQ(topBack, top);
  EXPECT_EQ(lowestBack, lowest);
  EXPECT_EQ(highBack, high);
  EXPECT_EQ(minus5Back, -5);
  EXPECT_EQ(extremeBack, INT64_MIN);
  EXPECT_TRUE(flagBack);
  EXPECT_EQ(realBack, 0.25);
  EXPECT_EQ(bytesBack, bytes);
  EXPECT_EQ(innerBack, -7);
  std::vector<DataNode*> children;
  root->FindChild(L"empty_key")->GetChildren(children);
  EXPECT_TRUE(children.empty());
}

TEST_F(RegistryTest, ResaveRemovesWhatTheObjectNoLongerWrites) {
  std::vector<std::wstring> files = {L"a", L"b", L"c", L"d"};
  bool withExtras = true;
  Writer writer([&](DataNode& node) {
    for (std::wstring& file : files) node.AddChild(L"file")->ExchangeString(file);
    std::wstring text = L"value";
    if (withExtras) {
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
  EXPECT_TRUE(KeyExists(L"old_group"));
  EXPECT_TRUE(KeyExists(L"shape"));

  files.resize(2);
  withExtras = false;
  ASSERT_TRUE(loader.Save(writer));
  EXPECT_EQ(StoredString(L"", L"file[1]"), L"b");
  EXPECT_EQ(StoredString(L"", L"file[2]"), L"<none>");
  EXPECT_EQ(StoredString(L"", L"file[3]"), L"<none>");
  EXPECT_EQ(StoredString(L"", L"extra"), L"<none>");
  EXPECT_FALSE(KeyExists(L"old_group"));
  EXPECT_FALSE(KeyExists(L"shape"));
  EXPECT_EQ(StoredString(L"", L"shape"), L"value");
  // The registry ignores case: "kept" is the value stored as "KEPT", and it stays.
  EXPECT_EQ(StoredString(L"", L"kept"), L"value");
  EXPECT_TRUE(RecordedErrors().Pushed().empty());
}

TEST_F(RegistryTest, FailedSaveReportsAndRemovesNothing) {
  PutString(L"", L"stale", L"from an earlier save");
  PutString(L"", L"name", L"old");
  Writer broken([](DataNode& node) {
    std::wstring text = L"new";
    node.ExchangeChild(L"name", text);
    // Windows refuses key names of 256 characters and more, Wine from 257.
    node.AddChild(std::wstring(300, L'k'))->ExchangeChild(L"inside", text);
  });
  EXPECT_FALSE(RegLoader(HKEY_CURRENT_USER, path_).Save(broken));
  EXPECT_EQ(RecordedErrors().Pushed(), std::vector<std::wstring>{L"Failed to save registry " + path_});
  EXPECT_EQ(StoredString(L"", L"stale"), L"from an earlier save");
}

TEST_F(RegistryTest, MissingKeyFailsToLoad) {
  bool serialized = false;
  Writer reader([&](DataNode&) { serialized = true; });
  EXPECT_FALSE(RegLoader(HKEY_CURRENT_USER, path_).Load(reader));
  EXPECT_FALSE(serialized);
  EXPECT_EQ(RecordedErrors().Pushed(), std::vector<std::wstring>{L"Failed to load registry " + path_});
  EXPECT_EQ(LoadRegKey(HKEY_CURRENT_USER, path_), nullptr);

  // A value at the path loads as a single value node.
  PutString(L"", L"leaf", L"text");
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &parent), ERROR_SUCCESS);
  ScopedCloser closer(RegCloseKey, parent);
  std::unique_ptr<RegKey> value = LoadRegKey(parent, L"leaf");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->GetType(), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(value->GetData().size(), 10u);
}

// Left in place for the host check, which reads it with Wine's own reg.exe and then removes it.
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
    node.ExchangeChild(L"bitrate", bitrate);
    node.ExchangeChild(L"negative", negative);
    node.ExchangeChild(L"big", big);
    std::wstring empty;
    node.AddChild(L"group")->ExchangeChild(L"empty", empty);
  });
  EXPECT_TRUE(RegLoader(HKEY_CURRENT_USER, path).Save(peer));
}
