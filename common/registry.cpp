#include "common/registry.h"

bool ReadRegistryValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<unsigned char>& data) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  data.assign(size, 0);
  if (size == 0) return true;
  if (RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) return false;
  // The value may have shrunk between the two queries.
  data.resize(size);
  return true;
}
