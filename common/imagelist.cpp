#include "common/imagelist.h"

#include <cstdio>

#include "common/bitmap.h"

namespace {

constexpr int kGrowBy = 64;
constexpr SHORT kConsoleColumns = 300;
constexpr SHORT kConsoleLines = 3000;

}  // namespace

ImageList::~ImageList() {
  if (list_) ImageList_Destroy(list_);
}

bool ImageList::EnsureList(int width, int height) {
  if (list_) return true;
  if (width <= 0 || height <= 0) return false;
  list_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, 0, kGrowBy);
  return list_ != nullptr;
}

int ImageList::Add(int resourceId) {
  if (const auto found = cache_.find(resourceId); found != cache_.end()) return found->second;
  const HINSTANCE module = GetModuleHandleW(nullptr);
  int index = -1;
  if (HBITMAP bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(resourceId))) {
    index = AddBitmap(bitmap);
  } else if (HICON icon = static_cast<HICON>(
                 LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_ICON, 0, 0, LR_CREATEDIBSECTION))) {
    index = AddIcon(icon);
    DestroyIcon(icon);
  }
  if (index >= 0) cache_[resourceId] = index;
  return index;
}

int ImageList::AddBitmap(HBITMAP handle) {
  Bmp bitmap(handle);
  COLORREF transparent = CLR_NONE;
  {
    MemoryDC dc;
    ObjectSelector selected(dc.GetHandle(), bitmap.GetHandle(), false);
    transparent = GetPixel(dc.GetHandle(), 0, 0);
  }
  // Bmp read the description with GetObjectW; a short read leaves it zero.
  if (!EnsureList(bitmap.GetBitmap().bmWidth, bitmap.GetBitmap().bmHeight)) return -1;
  return ImageList_AddMasked(list_, bitmap.GetHandle(), transparent);
}

int ImageList::AddIcon(HICON icon) {
  ICONINFO info = {};
  if (!GetIconInfo(icon, &info)) return -1;
  Bmp colour(info.hbmColor);
  Bmp mask(info.hbmMask);
  if (colour.GetHandle()) {
    if (!EnsureList(colour.GetBitmap().bmWidth, colour.GetBitmap().bmHeight)) return -1;
  } else {
    // A monochrome icon's mask holds the AND and the XOR picture one above the other.
    if (!EnsureList(mask.GetBitmap().bmWidth, mask.GetBitmap().bmHeight / 2)) return -1;
  }
  return ImageList_ReplaceIcon(list_, -1, icon);
}

Console& Console::Instance() {
  static Console console;
  return console;
}

Console::~Console() {
  if (open_) Close();
}

void Console::Open() {
  if (open_) return;
  AllocConsole();
  // The console's own devices: a windowed program's standard streams lead nowhere.
  FILE* stream = nullptr;
  _wfreopen_s(&stream, L"CONIN$", L"r", stdin);
  setvbuf(stdin, nullptr, _IONBF, 0);
  const COORD size = {kConsoleColumns, kConsoleLines};
  SetConsoleScreenBufferSize(GetStdHandle(STD_OUTPUT_HANDLE), size);
  _wfreopen_s(&stream, L"CONOUT$", L"w", stdout);
  setvbuf(stdout, nullptr, _IONBF, 0);
  _wfreopen_s(&stream, L"CONOUT$", L"w", stderr);
  setvbuf(stderr, nullptr, _IONBF, 0);
  open_ = true;
}

void Console::Close() {
  FreeConsole();
  open_ = false;
}
