#include "app/velto/source/dialogs.h"

#include <algorithm>

#include "app/velto/source/driver.h"
#include "app/velto/source/resource.h"

namespace {

HINSTANCE g_module = nullptr;

constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 9;

}  // namespace

void SetCodecModule(HINSTANCE module) { g_module = module; }

HINSTANCE CodecModule() { return g_module ? g_module : GetModuleHandleW(nullptr); }

ConfigDialog::ConfigDialog(int level, HINSTANCE module)
    : Dialog(IDD_CONFIGURE, module), level_(std::clamp(level, kMinLevel, kMaxLevel)) {}

INT_PTR ConfigDialog::OnInitDialog(HWND dialog, WPARAM, LPARAM) {
  trackBar_.Attach(dialog, IDC_LEVEL);
  trackBar_.SetRange(kMinLevel, kMaxLevel, false);
  DataToControls(dialog);
  return TRUE;
}

void ConfigDialog::DataToControls(HWND) { trackBar_.SetPos(level_, true); }

void ConfigDialog::ControlsToData(HWND) { level_ = std::clamp(trackBar_.GetPos(), kMinLevel, kMaxLevel); }

INT_PTR ConfigDialog::OnCommand(HWND dialog, WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != IDC_DEFAULT) return Dialog::OnCommand(dialog, wParam, lParam);
  level_ = kDefaultLevel;
  DataToControls(dialog);
  return 1;
}

AboutBoxContent CodecAboutContent(HINSTANCE module) {
  AboutBoxContent content;
  content.templateId = IDD_ABOUT;
  content.module = module;
  content.linkId = IDC_ABOUT_LINK;
  content.linkAddress = L"http://www.tellovane.example/";
  content.texts = {{IDC_ABOUT_PRODUCT, L"Quillory Codec Version 1.0"},
                   {IDC_ABOUT_COPYRIGHT, L"Copyright (C) Tellovane"},
                   {IDC_ABOUT_RIGHTS, L"All rights reserved."},
                   {IDC_ABOUT_LINK, content.linkAddress}};
  return content;
}

int ConfigureLevel(HWND parent, int level) {
  ConfigDialog dialog(level);
  return dialog.DoModal(parent) ? dialog.Level() : level;
}

void ShowAbout(HWND parent) {
  AboutDialog dialog(CodecAboutContent());
  dialog.DoModal(parent);
}
