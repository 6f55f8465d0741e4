#pragma once
// Reading registry values into standard containers.

#include <windows.h>

#include <vector>

// The type and data of a value of `key` (a null or empty name is the key's default value); false
// when the value cannot be read.
bool ReadRegistryValue(HKEY key, const wchar_t* name, DWORD& type, std::vector<unsigned char>& data);
