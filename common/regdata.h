#pragma once
// The settings tree under a registry key: RegKey, an in-memory copy of a key with its sub-keys and
// values that is read and written in one piece, and RegData, the DataNode over it. A node that
// received a value is a value of its parent's key (strings and 64-bit numbers as REG_SZ, 32-bit
// numbers as REG_DWORD); any other node is a sub-key. Repeated children of one name are stored as
// name, name[1], name[2], ...

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/datanode.h"
#include "common/nodegroups.h"

class RegKey {
 public:
  // A key (type 0) without data and children. The root's name is the whole sub-key path.
  RegKey(RegKey* parent, const std::wstring& name);
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  RegKey* GetParent() const { return parent_; }
  const std::wstring& GetName() const { return name_; }
  // 0 for a key, else the registry type of the value.
  DWORD GetType() const { return type_; }
  const std::vector<unsigned char>& GetData() const { return data_; }
  // By name in code-unit order; one child per name.
  const std::map<std::wstring, std::unique_ptr<RegKey>>& GetChildren() const { return children_; }

  void SetValue(DWORD type, const std::vector<unsigned char>& data);
  void SetValue(DWORD type, const void* bytes, size_t size);
  RegKey* FindChild(const std::wstring& name) const;
  // Stores the node under its own name in place of any child of that name.
  RegKey* AttachChild(std::unique_ptr<RegKey> child);
  // A new key child in place of any child of that name.
  RegKey* AddChild(const std::wstring& name);

 private:
  RegKey* parent_;
  std::wstring name_;
  DWORD type_ = REG_NONE;
  std::vector<unsigned char> data_;
  std::map<std::wstring, std::unique_ptr<RegKey>> children_;
};

// The key `name` under `parent` with everything below it, or the value of that name when no such
// key opens; null when neither can be read. Reports nothing.
std::unique_ptr<RegKey> LoadRegKey(HKEY parent, const std::wstring& name);
// Writes the tree over what is stored (creating every missing key along the root's path) and
// leaves everything else in place; stops at the first failure. Reports nothing.
bool SaveRegKey(HKEY parent, const RegKey* node);
// Removes the sub-keys and values below the stored key that the tree does not hold (names compare
// as the registry does, ignoring case; a key where the tree has a value, or the other way round,
// goes too). Run after a successful SaveRegKey. Reports nothing.
bool PruneRegKey(HKEY parent, const RegKey* node);

class RegData : public DataNode {
 public:
  // Builds the node tree below `key` at once, children grouped by the base name of their indexed
  // names and ordered by index. The root node made by a loader owns the key tree.
  RegData(bool loading, RegData* parent, RegKey* key, bool ownsKey);
  ~RegData() override;
  RegData(const RegData&) = delete;
  RegData& operator=(const RegData&) = delete;

  // REG_SZ only.
  bool ExchangeString(std::wstring& value) override;
  // As decimal text in a REG_SZ.
  bool ExchangeInt64(int64_t& value) override;
  // REG_DWORD of exactly 4 bytes only.
  bool ExchangeULong(unsigned long& value) override;
  bool ExchangeLong(long& value) override;
  bool ExchangeUInt(unsigned int& value) override;
  bool ExchangeInt(int& value) override;
  bool IsLoading() const override { return loading_; }
  std::wstring GetName() const override;
  int GetIndex() const override;
  DataNode* GetParent() const override { return parent_; }
  DataNode* FindChild(const std::wstring& name) override;
  void GetChildrenByName(const std::wstring& name, std::vector<DataNode*>& children) override;
  void GetChildren(std::vector<DataNode*>& children) override;
  // Named by the next index of the name: after item[4] comes item[5].
  DataNode* AddChild(const std::wstring& name) override;

 private:
  template <class T>
  bool ExchangeDword(T& value);

  bool loading_;
  RegData* parent_;
  RegKey* key_;
  bool ownsKey_;
  NodeGroups<RegData> children_;  // by base name
  // The highest index given to each base name so far.
  std::map<std::wstring, int> lastIndex_;
};
