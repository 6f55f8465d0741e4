#pragma once
// Whole files as byte strings, for tests that compare what was written byte for byte.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/fileutil.h"

// Empty when the file cannot be read.
inline std::string FileText(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  ReadFileBytes(path.c_str(), bytes);
  return std::string(bytes.begin(), bytes.end());
}

inline void PutFile(const std::wstring& path, const std::string& text) {
  ASSERT_TRUE(WriteFileBytes(path.c_str(), text.data(), static_cast<int64_t>(text.size())));
}
