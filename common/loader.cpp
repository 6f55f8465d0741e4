#include "common/loader.h"

#include <memory>

#include "common/error.h"
#include "common/regdata.h"
#include "common/xml.h"

bool XmlLoader::Load(Nodable& object) {
  std::unique_ptr<XmlElement> root = LoadXmlFile(path_);
  if (!root) {
    ReportError(L"Failed to load xml file %s", path_.c_str());
    return false;
  }
  XmlData node(true, nullptr, root.release(), true);
  node.ExchangeNodable(object);
  return true;
}

bool XmlLoader::Save(Nodable& object) {
  XmlElement* root = new XmlElement(nullptr, L"root");
  XmlData node(false, nullptr, root, true);
  node.ExchangeNodable(object);
  if (!SaveXmlFile(path_, root)) {
    ReportError(L"Failed to save xml file %s", path_.c_str());
    return false;
  }
  return true;
}

bool RegLoader::Load(Nodable& object) {
  std::unique_ptr<RegKey> key = LoadRegKey(root_, subKey_);
  if (!key) {
    ReportError(L"Failed to load registry %s", subKey_.c_str());
    return false;
  }
  RegData node(true, nullptr, key.release(), true);
  node.ExchangeNodable(object);
  return true;
}

bool RegLoader::Save(Nodable& object) {
  RegKey* key = new RegKey(nullptr, subKey_);
  RegData node(false, nullptr, key, true);
  node.ExchangeNodable(object);
  if (!SaveRegKey(root_, key) || !PruneRegKey(root_, key)) {
    ReportError(L"Failed to save registry %s", subKey_.c_str());
    return false;
  }
  return true;
}
