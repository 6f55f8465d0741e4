#pragma once
// The rectangle finder of the lossless encoder: turns a frame's change map into a short list of
// rectangles that cover every changed pixel exactly once. It cuts the changed area along empty
// bands, alternating between rows and columns: the frame shrinks to the bounding box of its
// changes, is cut into row bands at gaps of unchanged rows, each band shrinks to its changed
// columns and is cut into column bands, and so on. A piece that has no gap to cut at, or whose
// area is below 64 pixels, becomes one rectangle. Gaps smaller than 64 pixels do not cut.

#include <cstdint>
#include <vector>

// Pixels; y counts from the top of the picture.
struct ChangeRect {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;

  bool operator==(const ChangeRect&) const = default;
};

class RectFinder {
 public:
  // The smallest area that may be cut and the smallest gap that cuts.
  static constexpr int32_t kMinArea = 64;

  // `map` holds width × height cells, top row first; non-zero marks a changed pixel. Fills `rects`
  // depth first (row bands top to bottom, column bands left to right, nested). False, with
  // `rects` untouched, for a size below 1 or a null map.
  bool Find(int32_t width, int32_t height, const int32_t* map, std::vector<ChangeRect>& rects);

 private:
  enum class Cut { kRows, kColumns };
  struct Piece {
    ChangeRect rect;
    Cut cut;
  };

  // Shrinks the piece to its first and last non-empty line in the cut direction; an empty piece
  // ends with extent 0 behind its start.
  void Trim(Piece& piece);
  // Cuts a trimmed piece into bands; false when it is one band from start to end.
  bool Split(const Piece& piece);
  bool IsLineEmpty(const Piece& piece, int32_t line) const;
  // Marks the columns of the piece that hold a change over its rows.
  void BuildColumnProfile(const ChangeRect& rect);

  std::vector<const int32_t*> rows_;
  std::vector<int32_t> columnChanged_;  // per column of the map, for the piece being cut
  // Pieces still to cut, last one next: the depth-first order of a recursive cut without its
  // stack depth (a spiral of changes nests as deep as width + height).
  std::vector<Piece> pending_;
  std::vector<Piece> bands_;
};
