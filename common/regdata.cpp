#include "common/regdata.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>

#include "common/format.h"
#include "common/handle.h"
#include "common/registry.h"

namespace {

struct KeyInfo {
  DWORD subKeys = 0;
  DWORD longestSubKeyChars = 0;
  DWORD values = 0;
  DWORD longestValueNameChars = 0;
  DWORD longestValueBytes = 0;
};

bool QueryKeyInfo(HKEY key, KeyInfo& info) {
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &info.subKeys, &info.longestSubKeyChars, nullptr,
                          &info.values, &info.longestValueNameChars, &info.longestValueBytes, nullptr,
                          nullptr) == ERROR_SUCCESS;
}

bool ReadSubKeyNames(HKEY key, const KeyInfo& info, std::vector<std::wstring>& names) {
  std::vector<wchar_t> name(info.longestSubKeyChars + 1);
  for (DWORD i = 0; i < info.subKeys; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    names.emplace_back(name.data(), length);
  }
  return true;
}

// Calls visit (name, type, data, size) for every value; with `withData` false the data is not read.
template <class Visit>
bool ReadValues(HKEY key, const KeyInfo& info, bool withData, Visit visit) {
  std::vector<wchar_t> name(info.longestValueNameChars + 1);
  std::vector<unsigned char> data(info.longestValueBytes + 1);
  for (DWORD i = 0; i < info.values; ++i) {
    DWORD length = static_cast<DWORD>(name.size());
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    if (RegEnumValueW(key, i, name.data(), &length, nullptr, &type, withData ? data.data() : nullptr,
                      withData ? &size : nullptr) != ERROR_SUCCESS) {
      return false;
    }
    visit(std::wstring(name.data(), length), type, data.data(), withData ? size : 0);
  }
  return true;
}

bool SameRegistryName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The child of `node` that a stored name stands for, when it is a key (or a value) as stored.
const RegKey* FindStoredChild(const RegKey* node, const std::wstring& name, bool isKey) {
  for (const auto& [childName, child] : node->GetChildren()) {
    if ((child->GetType() == REG_NONE) == isKey && SameRegistryName(childName, name)) return child.get();
  }
  return nullptr;
}

}  // namespace

RegKey::RegKey(RegKey* parent, const std::wstring& name) : parent_(parent), name_(name) {}

void RegKey::SetValue(DWORD type, const std::vector<unsigned char>& data) {
  type_ = type;
  data_ = data;
}

void RegKey::SetValue(DWORD type, const void* bytes, size_t size) {
  type_ = type;
  if (bytes && size) {
    const auto* first = static_cast<const unsigned char*>(bytes);
    data_.assign(first, first + size);
  } else {
    data_.clear();
  }
}

RegKey* RegKey::FindChild(const std::wstring& name) const {
  const auto found = children_.find(name);
  return found == children_.end() ? nullptr : found->second.get();
}

RegKey* RegKey::AttachChild(std::unique_ptr<RegKey> child) {
  child->parent_ = this;
  auto& slot = children_[child->name_];
  slot = std::move(child);
  return slot.get();
}

RegKey* RegKey::AddChild(const std::wstring& name) { return AttachChild(std::make_unique<RegKey>(this, name)); }

std::unique_ptr<RegKey> LoadRegKey(HKEY parent, const std::wstring& name) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    DWORD type = REG_NONE;
    std::vector<unsigned char> data;
    if (!ReadRegistryValue(parent, name.c_str(), type, data) || type == REG_NONE) return nullptr;
    auto value = std::make_unique<RegKey>(nullptr, name);
    value->SetValue(type, data);
    return value;
  }
  ScopedCloser closer(RegCloseKey, opened);
  KeyInfo info;
  if (!QueryKeyInfo(opened, info)) return nullptr;
  auto node = std::make_unique<RegKey>(nullptr, name);
  std::vector<std::wstring> subKeys;
  if (!ReadSubKeyNames(opened, info, subKeys)) return nullptr;
  for (const std::wstring& subKey : subKeys) {
    if (auto child = LoadRegKey(opened, subKey)) node->AttachChild(std::move(child));
  }
  // A value replaces a sub-key of the same name.
  const bool read = ReadValues(opened, info, true,
                               [&](const std::wstring& valueName, DWORD type, const unsigned char* data, DWORD size) {
                                 if (type == REG_NONE) return;
                                 auto value = std::make_unique<RegKey>(nullptr, valueName);
                                 value->SetValue(type, data, size);
                                 node->AttachChild(std::move(value));
                               });
  if (!read) return nullptr;
  return node;
}

bool SaveRegKey(HKEY parent, const RegKey* node) {
  if (node->GetType() != REG_NONE) {
    const std::vector<unsigned char>& data = node->GetData();
    return RegSetValueExW(parent, node->GetName().c_str(), 0, node->GetType(), data.empty() ? nullptr : data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }
  HKEY created = nullptr;
  if (RegCreateKeyExW(parent, node->GetName().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  ScopedCloser closer(RegCloseKey, created);
  for (const auto& child : node->GetChildren()) {
    if (!SaveRegKey(created, child.second.get())) return false;
  }
  return true;
}

bool PruneRegKey(HKEY parent, const RegKey* node) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(parent, node->GetName().c_str(), 0, KEY_ALL_ACCESS, &opened) != ERROR_SUCCESS) return false;
  ScopedCloser closer(RegCloseKey, opened);
  KeyInfo info;
  std::vector<std::wstring> subKeys;
  std::vector<std::wstring> values;
  if (!QueryKeyInfo(opened, info) || !ReadSubKeyNames(opened, info, subKeys) ||
      !ReadValues(opened, info, false, [&](const std::wstring& name, DWORD, const unsigned char*, DWORD) {
        values.push_back(name);
      })) {
    return false;
  }
  // Names are gathered first: deleting while enumerating would shift the indexes.
  for (const std::wstring& subKey : subKeys) {
    const RegKey* kept = FindStoredChild(node, subKey, true);
    const bool done = kept ? PruneRegKey(opened, kept) : RegDeleteTreeW(opened, subKey.c_str()) == ERROR_SUCCESS;
    if (!done) return false;
  }
  for (const std::wstring& value : values) {
    if (!FindStoredChild(node, value, false) && RegDeleteValueW(opened, value.c_str()) != ERROR_SUCCESS) return false;
  }
  return true;
}

RegData::RegData(bool loading, RegData* parent, RegKey* key, bool ownsKey)
    : loading_(loading), parent_(parent), key_(key), ownsKey_(ownsKey) {
  // Of two children with the same base name and index the later in name order stays.
  std::map<std::wstring, std::map<int, std::unique_ptr<RegData>>> indexed;
  for (const auto& [name, child] : key_->GetChildren()) {
    std::wstring base;
    int index = 0;
    ParseIndexedName(name, base, index);
    indexed[base][index] = std::make_unique<RegData>(loading, this, child.get(), false);
    const auto last = lastIndex_.find(base);
    if (last == lastIndex_.end() || index > last->second) lastIndex_[base] = index;
  }
  for (auto& [base, nodes] : indexed) {
    for (auto& node : nodes) children_.Append(base, std::move(node.second));
  }
}

RegData::~RegData() {
  children_.Clear();
  if (ownsKey_) delete key_;
}

bool RegData::ExchangeString(std::wstring& value) {
  if (!loading_) {
    key_->SetValue(REG_SZ, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
    return true;
  }
  if (key_->GetType() != REG_SZ) return false;
  const std::vector<unsigned char>& data = key_->GetData();
  size_t units = data.size() / sizeof(wchar_t);
  std::wstring text(units, L'\0');
  if (units) memcpy(text.data(), data.data(), units * sizeof(wchar_t));
  // Another writer may have left the terminator off; then the last character is text.
  if (!text.empty() && text.back() == L'\0') text.pop_back();
  value.swap(text);
  return true;
}

bool RegData::ExchangeInt64(int64_t& value) {
  std::wstring text;
  if (!loading_) {
    text = Format(L"%I64d", value);
    return ExchangeString(text);
  }
  if (!ExchangeString(text)) return false;
  wchar_t* end = nullptr;
  errno = 0;
  const long long read = wcstoll(text.c_str(), &end, 10);
  if (end == text.c_str() || errno == ERANGE) return false;
  value = read;
  return true;
}

template <class T>
bool RegData::ExchangeDword(T& value) {
  static_assert(sizeof(T) == sizeof(DWORD), "registry numbers are 32-bit");
  if (!loading_) {
    key_->SetValue(REG_DWORD, &value, sizeof(value));
    return true;
  }
  const std::vector<unsigned char>& data = key_->GetData();
  if (key_->GetType() != REG_DWORD || data.size() != sizeof(T)) return false;
  memcpy(&value, data.data(), sizeof(T));
  return true;
}

bool RegData::ExchangeULong(unsigned long& value) { return ExchangeDword(value); }
bool RegData::ExchangeLong(long& value) { return ExchangeDword(value); }
bool RegData::ExchangeUInt(unsigned int& value) { return ExchangeDword(value); }
bool RegData::ExchangeInt(int& value) { return ExchangeDword(value); }

std::wstring RegData::GetName() const {
  std::wstring base;
  int index = 0;
  ParseIndexedName(key_->GetName(), base, index);
  return base;
}

int RegData::GetIndex() const { return parent_ ? parent_->children_.IndexOf(GetName(), this) : 0; }

DataNode* RegData::FindChild(const std::wstring& name) { return children_.First(name); }

void RegData::GetChildrenByName(const std::wstring& name, std::vector<DataNode*>& children) {
  children_.Get(name, children);
}

void RegData::GetChildren(std::vector<DataNode*>& children) { children_.GetAll(children); }

DataNode* RegData::AddChild(const std::wstring& name) {
  const auto last = lastIndex_.find(name);
  if (last != lastIndex_.end() && last->second == INT_MAX) return nullptr;
  const int index = last == lastIndex_.end() ? 0 : last->second + 1;
  const std::wstring indexedName = MakeIndexedName(name, index);
  // A name that itself looks indexed ("a[3]") can meet a stored child that another group holds;
  // replacing it would pull the key from under that group's node.
  if (key_->FindChild(indexedName)) return nullptr;
  RegKey* child = key_->AddChild(indexedName);
  lastIndex_[name] = index;
  return children_.Append(name, std::make_unique<RegData>(loading_, this, child, false));
}
