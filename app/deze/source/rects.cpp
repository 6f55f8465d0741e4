#include "app/deze/source/rects.h"

#include <algorithm>

namespace {

// Whole words, eight at a time, so the compiler can widen the loop; the test per chunk ends early.
bool AnyChanged(const int32_t* cells, int32_t count) {
  int32_t i = 0;
  for (; i + 8 <= count; i += 8) {
    int32_t any = 0;
    for (int32_t k = 0; k < 8; ++k) any |= cells[i + k];
    if (any) return true;
  }
  for (; i < count; ++i)
    if (cells[i]) return true;
  return false;
}

}  // namespace

bool RectFinder::Find(int32_t width, int32_t height, const int32_t* map, std::vector<ChangeRect>& rects) {
  if (width < 1 || height < 1 || !map) return false;
  rects.clear();
  rows_.resize(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) rows_[static_cast<size_t>(y)] = map + static_cast<size_t>(y) * width;
  columnChanged_.resize(static_cast<size_t>(width));

  // The whole frame shrinks to its changed columns, then is cut into row bands.
  Piece root{{0, 0, width, height}, Cut::kColumns};
  Trim(root);
  root.cut = Cut::kRows;
  pending_.clear();
  pending_.push_back(root);
  while (!pending_.empty()) {
    Piece piece = pending_.back();
    pending_.pop_back();
    Trim(piece);
    const ChangeRect& rect = piece.rect;
    if (int64_t{rect.width} * rect.height >= kMinArea && Split(piece)) continue;
    if (rect.width > 0 && rect.height > 0) rects.push_back(rect);
  }
  return true;
}

void RectFinder::Trim(Piece& piece) {
  ChangeRect& rect = piece.rect;
  if (rect.width < 1 || rect.height < 1) return;
  if (piece.cut == Cut::kColumns) BuildColumnProfile(rect);
  const bool rows = piece.cut == Cut::kRows;
  int32_t& start = rows ? rect.y : rect.x;
  int32_t& extent = rows ? rect.height : rect.width;
  const int32_t end = start + extent;
  int32_t first = start;
  while (first < end && IsLineEmpty(piece, first)) ++first;
  if (first == end) {
    start = end;
    extent = 0;
    return;
  }
  int32_t last = end - 1;
  while (IsLineEmpty(piece, last)) --last;
  start = first;
  extent = last - first + 1;
}

bool RectFinder::Split(const Piece& piece) {
  const ChangeRect& rect = piece.rect;
  const bool rows = piece.cut == Cut::kRows;
  const int32_t lo = rows ? rect.y : rect.x;
  const int32_t hi = lo + (rows ? rect.height : rect.width);
  const int64_t span = rows ? rect.width : rect.height;

  bands_.clear();
  int32_t start = lo;
  while (start < hi) {
    // The line `start` is known to hold a change; the band runs to the first gap that cuts.
    int32_t bandEnd = hi;
    int32_t next = hi;
    int32_t probe = start + 1;
    while (probe < hi) {
      int32_t empty = probe;
      while (empty < hi && !IsLineEmpty(piece, empty)) ++empty;
      if (empty == hi) break;
      int32_t changed = empty + 1;
      while (changed < hi && IsLineEmpty(piece, changed)) ++changed;
      if (changed == hi || (changed - empty) * span >= kMinArea) {
        // A trailing gap ends the band whatever its size.
        bandEnd = empty;
        next = changed;
        break;
      }
      probe = changed + 1;
    }
    if (start == lo && bandEnd == hi) return false;
    const int32_t size = bandEnd - start;
    const ChangeRect band = rows ? ChangeRect{rect.x, start, rect.width, size} : ChangeRect{start, rect.y, size, rect.height};
    bands_.push_back({band, rows ? Cut::kColumns : Cut::kRows});
    start = next;
  }
  // The first band is cut next, and all of it before the second.
  pending_.insert(pending_.end(), bands_.rbegin(), bands_.rend());
  return true;
}

bool RectFinder::IsLineEmpty(const Piece& piece, int32_t line) const {
  if (piece.cut == Cut::kColumns) return !columnChanged_[static_cast<size_t>(line)];
  return !AnyChanged(rows_[static_cast<size_t>(line)] + piece.rect.x, piece.rect.width);
}

void RectFinder::BuildColumnProfile(const ChangeRect& rect) {
  // Row by row rather than down each column: the map is read in memory order.
  int32_t* changed = columnChanged_.data() + rect.x;
  std::fill_n(changed, rect.width, 0);
  for (int32_t y = rect.y; y < rect.y + rect.height; ++y) {
    const int32_t* row = rows_[static_cast<size_t>(y)] + rect.x;
    for (int32_t i = 0; i < rect.width; ++i) changed[i] |= row[i];
  }
}
