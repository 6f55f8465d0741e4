#include "common/bitmap.h"

BkModeSaver::BkModeSaver(HDC dc, int mode, COLORREF colour)
    : dc_(dc), previousMode_(SetBkMode(dc, mode)), previousColour_(SetBkColor(dc, colour)) {}

BkModeSaver::~BkModeSaver() {
  SetBkColor(dc_, previousColour_);
  SetBkMode(dc_, previousMode_);
}

ObjectSelector::ObjectSelector(HDC dc, HGDIOBJ object, bool owns) : dc_(dc), object_(object), owns_(owns) {
  if (dc_ && object_) previous_ = SelectObject(dc_, object_);
  if (previous_ == HGDI_ERROR) previous_ = nullptr;
}

ObjectSelector::~ObjectSelector() {
  if (dc_ && previous_) SelectObject(dc_, previous_);
  if (object_ && owns_) DeleteObject(object_);
}

