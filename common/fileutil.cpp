#include "common/fileutil.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include "common/format.h"
#include "common/handle.h"
#include "common/stream.h"
#include "common/strutil.h"

bool ReadFileBytes(const wchar_t* path, std::vector<uint8_t>& out, OpenFailure failure) {
  out.clear();
  FileStream file(path, true, true, failure);
  if (!file.IsOpen()) return false;
  const int64_t size = file.GetSize();
  if (size < 0 || size > INT32_MAX) return false;
  if (size == 0) return true;
  out.resize(static_cast<size_t>(size));
  if (file.TransferExactly(out.data(), static_cast<int32_t>(size))) return true;
  out.clear();
  return false;
}

bool WriteFileBytes(const wchar_t* path, const void* buffer, int64_t length, OpenFailure failure) {
  if (!buffer || length < 0) return false;
  FileStream file(path, false, true, failure);
  if (!file.IsOpen()) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  while (length > 0) {
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(length, 0x40000000));
    if (!file.TransferExactly(const_cast<uint8_t*>(bytes), chunk)) return false;
    bytes += chunk;
    length -= chunk;
  }
  return true;
}

void DumpBufferToFile(const void* buffer, size_t length, const wchar_t* nameFormat, ...) {
  wchar_t name[2048];
  va_list args;
  va_start(args, nameFormat);
  FormatV(name, 2048, nameFormat, args);
  va_end(args);
  FILE* file = _wfopen(name, L"wb");
  if (!file) return;
  HandleGuard guard(fclose, file);
  if (buffer && length) fwrite(buffer, 1, length, file);
}

int64_t GetFileSize64(const wchar_t* path) {
  HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) return -1;
  HandleGuard guard(CloseHandle, handle);
  LARGE_INTEGER size;
  return GetFileSizeEx(handle, &size) ? size.QuadPart : -1;
}

std::wstring GetFullPath(const wchar_t* path) {
  return ReadGrowing(MAX_PATH, [path](wchar_t* buffer, int size) {
    return static_cast<int>(GetFullPathNameW(path, static_cast<DWORD>(size), buffer, nullptr));
  });
}

namespace {

// The full long name of an existing path without trailing separators; empty when it cannot be had.
std::wstring FullLongPath(const wchar_t* path) {
  const std::wstring full = GetFullPath(path);
  if (full.empty()) return full;
  std::wstring longPath = ReadGrowing(MAX_PATH, [&full](wchar_t* buffer, int size) {
    return static_cast<int>(GetLongPathNameW(full.c_str(), buffer, static_cast<DWORD>(size)));
  });
  while (!longPath.empty() && (longPath.back() == L'\\' || longPath.back() == L'/')) longPath.pop_back();
  return longPath;
}

// For paths that exist but cannot be identified (a folder, a file locked by another program): by
// name, and the same when even that cannot be told, since a caller may delete the one it thinks is
// another.
bool IsSameByName(const wchar_t* first, const wchar_t* second) {
  const std::wstring firstPath = FullLongPath(first);
  const std::wstring secondPath = FullLongPath(second);
  return firstPath.empty() || secondPath.empty() || StrCmpIW(firstPath.c_str(), secondPath.c_str()) == 0;
}

}  // namespace

bool IsSameFile(const wchar_t* first, const wchar_t* second) {
  const bool firstExists = PathFileExistsW(first);
  const bool secondExists = PathFileExistsW(second);
  if (!firstExists && !secondExists) return StrCmpIW(first, second) == 0;
  if (firstExists != secondExists) return false;
  // File ids are only unique among open files: both stay open while they are compared. Only a
  // handle that opened is given to a guard: INVALID_HANDLE_VALUE is also the pseudo-handle of the
  // current process.
  auto open = [](const wchar_t* path) {
    return CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                       nullptr);
  };
  const HANDLE fileA = open(first);
  if (fileA == INVALID_HANDLE_VALUE) return IsSameByName(first, second);
  HandleGuard guardA(CloseHandle, fileA);
  const HANDLE fileB = open(second);
  if (fileB == INVALID_HANDLE_VALUE) return IsSameByName(first, second);
  HandleGuard guardB(CloseHandle, fileB);
  BY_HANDLE_FILE_INFORMATION infoA, infoB;
  if (!GetFileInformationByHandle(fileA, &infoA) || !GetFileInformationByHandle(fileB, &infoB))
    return IsSameByName(first, second);
  return infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber && infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
         infoA.nFileIndexLow == infoB.nFileIndexLow;
}

std::wstring GetTempFolder() {
  return ReadGrowing(260, [](wchar_t* buffer, int size) {
    return static_cast<int>(GetTempPathW(static_cast<DWORD>(size), buffer));
  });
}

std::wstring LastPathPart(const std::wstring& path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash);
}
