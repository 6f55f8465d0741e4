#pragma once
// Whole-file reading and writing, file identity and size, the temporary folder.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/stream.h"

// Leaves out empty on any failure; an open failure is shown unless `failure` says kQuiet.
bool ReadFileBytes(const wchar_t* path, std::vector<uint8_t>& out, OpenFailure failure = OpenFailure::kShow);
// Creates or empties the file and writes the buffer.
bool WriteFileBytes(const wchar_t* path, const void* buffer, int64_t length,
                    OpenFailure failure = OpenFailure::kShow);
// Writes a buffer to a file whose name is formatted printf-style; reports nothing.
void DumpBufferToFile(const void* buffer, size_t length, const wchar_t* nameFormat, ...);
// -1 when the file cannot be opened or sized.
int64_t GetFileSize64(const wchar_t* path);
// The path made full against the current folder (the file need not exist); empty on failure.
std::wstring GetFullPath(const wchar_t* path);
// Two missing paths are the same file when they are equal ignoring case; two existing ones that
// cannot be identified when their full long names are, or when even those cannot be had.
bool IsSameFile(const wchar_t* first, const wchar_t* second);
// With its trailing backslash; empty on failure.
std::wstring GetTempFolder();
// From the last backslash on, the backslash included; the whole text when there is none.
std::wstring LastPathPart(const std::wstring& path);
