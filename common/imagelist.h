#pragma once
// Small pictures for controls and a console for diagnostics. ImageList builds one image list from
// the program's bitmap or icon resources and remembers which resource became which image; every
// image has the size of the first one added. Console points the standard streams of a windowed
// program at a console of its own.

#include <windows.h>
#include <commctrl.h>

#include <map>

class ImageList {
 public:
  ImageList() = default;
  ~ImageList();
  ImageList(const ImageList&) = delete;
  ImageList& operator=(const ImageList&) = delete;

  // Null before the first image is added.
  HIMAGELIST GetHandle() const { return list_; }
  // The image index of a bitmap or icon resource of the program, loaded on first use; -1 when
  // there is no such resource or the list refused it (nothing is remembered then).
  int Add(int resourceId);

 private:
  // Makes the list on the first image, at that image's size.
  bool EnsureList(int width, int height);
  int AddBitmap(HBITMAP bitmap);
  int AddIcon(HICON icon);

  HIMAGELIST list_ = nullptr;
  std::map<int, int> cache_;
};

class Console {
 public:
  static Console& Instance();

  // Opens the console once and points stdin, stdout and stderr at it.
  void Open();
  void Close();
  bool IsOpen() const { return open_; }

 private:
  Console() = default;
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  bool open_ = false;
};
