#pragma once
// The codec's two dialogs: the configuration of the deflate level and the About box. Their
// templates live in the codec library.

#include <windows.h>

#include "common/about.h"
#include "common/dialog.h"

// The module that holds the templates: the codec library once DllMain has run, else the program.
void SetCodecModule(HINSTANCE module);
HINSTANCE CodecModule();

class ConfigDialog : public Dialog {
 public:
  // The level is clamped to 1..9.
  explicit ConfigDialog(int level, HINSTANCE module = CodecModule());

  int Level() const { return level_; }

  INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, LPARAM lParam) override;
  void DataToControls(HWND dialog) override;
  void ControlsToData(HWND dialog) override;

 private:
  int level_;
  TrackBar trackBar_;
};

// The codec's About box: its template, ids and texts.
AboutBoxContent CodecAboutContent(HINSTANCE module = CodecModule());

// Runs the configuration dialog over the parent; the new level when it ended with OK, else the old.
int ConfigureLevel(HWND parent, int level);
void ShowAbout(HWND parent);
