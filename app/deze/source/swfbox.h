#pragma once
// SwfBoxEncoder: the lossless writer of uncompressed 32-bit RGB video. The first frame becomes one
// bitmap of the whole picture; every later frame becomes bitmaps of only the areas that changed,
// drawn as one shape (a bitmap-filled rectangle per area) placed on top of everything shown so far.
// Earlier shapes that one new rectangle covers completely leave the display list. A bitmap that
// reappears unchanged is sent once and referenced again by its character identifier.
//
// A player draws every rectangle on the display list in every frame, and on a real screen few
// shapes are ever covered by one rectangle: a frame that would leave more rectangles on the list
// than a bound is written as the whole picture instead, which covers, and so removes, them all.
//
// Tags of one frame: a DefineBitsLossless2 per rectangle whose bitmap is not cached, one
// DefineShape3, one PlaceObject2, then the RemoveObject2 tags. Identifiers and depths come from
// the movie's settings and are never given back, also when a frame fails.

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "app/deze/source/rects.h"
#include "app/deze/source/swfbitmap.h"
#include "app/deze/source/swfshape.h"
#include "app/deze/source/swfvid.h"
#include "common/zstream.h"

struct BitmapCacheEntry {
  int32_t characterId;
  int32_t width;
  int32_t height;
  int32_t compressedSize;
  // Adler-32 collides easily on small bitmaps; a hit must match this hash of the ARGB bytes too.
  uint64_t contentHash;
};

// The records that draw one rectangle of a shape: a move, then four edges.
struct RectangleRecords {
  CountedPtr<STYLECHANGERECORD<3>> move;
  CountedPtr<STRAIGHTEDGERECORD> edges[4];
};

// One rectangle's bitmap as the frame's plan has it, before anything of the frame is written: its
// compressed bytes in the frame's store, and the identifier it is drawn with, or how it gets one.
struct FrameBitmap {
  uint32_t key;  // Adler-32 of the ARGB bytes
  uint64_t contentHash;
  int32_t width;
  int32_t height;
  size_t compressedOffset;
  int32_t compressedSize;
  int32_t characterId;  // of a cached bitmap; -1 until a new one is defined
  int32_t sameAs;       // an earlier new bitmap of this frame with the same bytes, or -1
};

// A shape of this encoder on the display list; the rectangle bounds its areas, in pixels.
struct PlacedShape {
  int32_t depth;
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
  int32_t rectCount;  // the bitmap rectangles it draws
};

class SwfBoxEncoder : public SwfVideoEncoder {
 public:
  // The most bitmap rectangles this encoder's shapes keep on the display list: a player redraws
  // them all in every frame, so more would make a long recording play ever slower.
  static constexpr int32_t kMaxDisplayListRects = 12288;

  // The picture size is taken from the settings now and fixed for the encoder's life; the
  // settings, lent by the video input, outlive the encoder. Frames are rows of width × 4 bytes
  // (blue, green, red, and a fourth byte that is compared but carries no colour), bottom row
  // first when `bottomUp`. `maxListRects` (at least 1) bounds the rectangles on the display list.
  SwfBoxEncoder(MuxSettings* settings, bool bottomUp, int32_t maxListRects = kMaxDisplayListRects);

  // The frame must hold width × height × 4 bytes; the position is not used. After a failure the
  // next frame is compared with the last one written completely. A frame whose new bitmaps and
  // shape would need identifiers past 65535 writes nothing and makes the movie full.
  EncodeResult EncodeFrame(const uint8_t* data, int32_t size, int64_t position, MemOut& frame) override;
  // Nothing is left to complete at the end of the movie.
  bool Finish(BitStream&) override { return true; }

 private:
  // A shape's fill-style index has at most 15 bits: more rectangles than this become their
  // bounding rectangle.
  static constexpr size_t kMaxShapeRects = 32766;
  static constexpr int kZlibLevel = 6;

  // Marks the pixels that differ from the previous frame; false when none does.
  bool BuildChangeMap(const uint8_t* frame);
  // Finds, for every placed shape, the first of this frame's rectangles that covers it; returns
  // how many rectangles the display list holds once the frame is placed and those shapes are gone.
  int64_t PlanRemovals();
  // Compresses every rectangle's bitmap and finds those the movie holds already; the identifiers
  // the frame needs follow from the plan. False on a failure.
  bool PlanBitmaps(const uint8_t* frame);
  bool PlanBitmap(const ChangeRect& rect, const uint8_t* frame, size_t index);
  // The identifiers the planned frame takes: one per new bitmap and one for the shape.
  int32_t NeededIdentifiers() const;
  bool WriteRects(MemOut& out);
  bool WriteBitmap(FrameBitmap& bitmap, MemOut& out);
  // The frame's shape, its placement on a new depth and the removal of the shapes it covers.
  bool WriteShapes(MemOut& out);
  void BuildShape(int32_t shapeId, const ChangeRect& bounds, DefineShape<3>& shape);
  bool WriteShape(DefineShape<3>& shape, MemOut& out);
  // The next free depth, stepping over the control's.
  bool TakeDepth(int32_t& depth);
  bool WritePlacement(int32_t shapeId, int32_t depth, MemOut& out);
  bool RemoveCoveredShapes(MemOut& out);
  // Picture row 0 is the top row, whatever the row order of the buffers.
  size_t BufferRow(int32_t pictureRow) const {
    return static_cast<size_t>(bottomUp_ ? height_ - 1 - pictureRow : pictureRow);
  }

  MuxSettings* settings_;
  bool bottomUp_;
  int32_t width_;
  int32_t height_;
  std::vector<uint32_t> previousFrame_;  // as the last complete frame arrived, all zero at first
  std::vector<int32_t> changeMap_;       // top row first, 1 = changed
  std::map<uint32_t, BitmapCacheEntry> bitmapCache_;  // by Adler-32 of the ARGB bytes
  std::vector<PlacedShape> placedShapes_;             // in placement order
  int32_t maxListRects_;
  int32_t listRects_ = 0;  // the rectangles of placedShapes_


  // Scratch of one frame, reused.
  std::vector<ChangeRect> rects_;
  std::vector<FrameBitmap> bitmaps_;  // per rectangle
  std::vector<int32_t> bitmapIds_;    // per rectangle
  std::vector<int32_t> coveredBy_;    // per placed shape: the first rectangle covering it, or -1
  std::vector<size_t> removals_;      // placed shapes, in the order their removals are written
  std::vector<uint32_t> pixels_;      // its front: one rectangle as A, R, G, B bytes
  // Every rectangle's zlib stream, one after the other. Only grows: its used part is counted, where
  // shrinking would zero-fill the regrowth.
  std::vector<uint8_t> compressed_;
  size_t compressedUsed_ = 0;
  std::unordered_map<uint32_t, int32_t> frameKeys_;  // key -> the first new bitmap of this frame
  DefineBitsLossless2 bitmap_;
  std::vector<RectangleRecords> rectangleRecords_;  // by rectangle, shared into each frame's shape
  CountedPtr<ENDSHAPERECORD> endRecord_ = MakeCounted<ENDSHAPERECORD>();
  MemOut shapeBody_;
  std::vector<uint8_t> shapeBytes_;
  RectFinder finder_;
  ZlibDeflater deflater_{kZlibLevel};
};
