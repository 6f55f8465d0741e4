#pragma once
// Loaders: the store of one settings tree, an XML file or a registry key. Each Load and Save builds
// its own tree, lets the object exchange itself with the root node, and destroys the tree before
// it returns. Failures are pushed on the error stack, never shown.

#include <windows.h>

#include <string>

#include "common/datanode.h"

class DataLoader {
 public:
  virtual ~DataLoader() = default;
  // True when the store was read and the object was given the chance to load itself; a failed
  // load leaves the object untouched.
  virtual bool Load(Nodable& object) = 0;
  // True when the tree built from the object was written.
  virtual bool Save(Nodable& object) = 0;
};

class XmlLoader : public DataLoader {
 public:
  explicit XmlLoader(const std::wstring& path) : path_(path) {}
  // Any root element is accepted.
  bool Load(Nodable& object) override;
  // Under a root element "root"; the old file stays as it was when the save fails.
  bool Save(Nodable& object) override;

 private:
  std::wstring path_;
};

class RegLoader : public DataLoader {
 public:
  RegLoader(HKEY root, const std::wstring& subKey) : root_(root), subKey_(subKey) {}
  bool Load(Nodable& object) override;
  // Writes the new tree over the stored key, then removes what the object no longer writes; a
  // failed save removes nothing.
  bool Save(Nodable& object) override;

 private:
  HKEY root_;
  std::wstring subKey_;
};
