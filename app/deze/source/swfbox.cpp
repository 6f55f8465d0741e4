#include "app/deze/source/swfbox.h"

#include <algorithm>
#include <cstring>

#include "app/deze/source/swfbitmap.h"
#include "app/deze/source/swfmux.h"
#include "app/deze/source/swfshape.h"

namespace {

constexpr int32_t kBitmapScale = 20 << 16;  // 16.16 fixed point: one pixel to 20 twips

constexpr uint8_t kPlaceHasCharacterAndMatrix = kPlaceFlagHasCharacter | kPlaceFlagHasMatrix;
constexpr uint8_t kIdentityMatrix = 0x00;  // no scale, no rotation, translations of 0 bits
constexpr int32_t kPlaceLength = 1 + 2 + 2 + 1;
constexpr int32_t kRemoveLength = 2;

uint32_t LoadWord(const uint8_t* bytes) {
  uint32_t word;
  memcpy(&word, bytes, sizeof(word));
  return word;
}

uint64_t Mix(uint64_t value) {
  value ^= value >> 31;
  value *= 0xBF58476D1CE4E5B9ull;
  value ^= value >> 29;
  return value;
}

// A 64-bit hash of the words, eight bytes per step.
uint64_t ContentHash(const uint32_t* words, size_t count) {
  uint64_t hash = Mix(0x9E3779B97F4A7C15ull + count);
  size_t i = 0;
  for (; i + 2 <= count; i += 2) {
    const uint64_t pair = words[i] | uint64_t{words[i + 1]} << 32;
    hash = (hash ^ Mix(pair * 0x94D049BB133111EBull)) * 0x9E3779B97F4A7C15ull;
  }
  if (i < count) hash = (hash ^ Mix(words[i] * 0x94D049BB133111EBull)) * 0x9E3779B97F4A7C15ull;
  return Mix(hash);
}

bool Contains(const ChangeRect& outer, const PlacedShape& inner) {
  return outer.x <= inner.x && outer.y <= inner.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

ChangeRect Bounds(const std::vector<ChangeRect>& rects) {
  int32_t minX = rects.front().x, minY = rects.front().y;
  int32_t maxX = minX + rects.front().width, maxY = minY + rects.front().height;
  for (const ChangeRect& rect : rects) {
    minX = std::min(minX, rect.x);
    minY = std::min(minY, rect.y);
    maxX = std::max(maxX, rect.x + rect.width);
    maxY = std::max(maxY, rect.y + rect.height);
  }
  return {minX, minY, maxX - minX, maxY - minY};
}

// A clockwise outline of the rectangle (y grows downwards), filled on its right with `fillIndex`:
// the move and the four edges, records of an earlier frame set anew.
void SetRectangle(const RectangleRecords& records, const ChangeRect& rect, uint32_t fillIndex, int32_t fillBits) {
  STYLECHANGERECORD<3>& move = *records.move;
  move.fillIndexBits = fillBits;
  move.StateFillStyle1 = UBX<1>(1);
  move.StateMoveTo = UBX<1>(1);
  move.MoveDeltaX.value = rect.x * kTwipsPerPixel;
  move.MoveDeltaY.value = rect.y * kTwipsPerPixel;
  move.FillStyle1 = UB(fillBits, fillIndex);
  const int32_t width = rect.width * kTwipsPerPixel;
  const int32_t height = rect.height * kTwipsPerPixel;
  const int32_t deltas[] = {width, height, -width, -height};
  for (size_t side = 0; side < std::size(deltas); ++side) {
    STRAIGHTEDGERECORD& edge = *records.edges[side];
    const bool vertical = side % 2 == 1;
    edge.VertLineFlag = UBX<1>(vertical ? 1 : 0);
    edge.DeltaX.value = vertical ? 0 : deltas[side];
    edge.DeltaY.value = vertical ? deltas[side] : 0;
  }
}

}  // namespace

SwfBoxEncoder::SwfBoxEncoder(MuxSettings* settings, bool bottomUp, int32_t maxListRects)
    : settings_(settings), bottomUp_(bottomUp), width_(std::max(settings->width, 0)),
      height_(std::max(settings->height, 0)),
      previousFrame_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0),
      changeMap_(previousFrame_.size(), 0), maxListRects_(std::max(maxListRects, 1)) {}

EncodeResult SwfBoxEncoder::EncodeFrame(const uint8_t* data, int32_t size, int64_t, MemOut& frame) {
  const size_t frameBytes = previousFrame_.size() * 4;
  if (!data || size < 0 || static_cast<size_t>(size) < frameBytes) return EncodeResult::kFailed;
  rects_.clear();
  bitmapIds_.clear();
  if (settings_->frameCount == 0) {
    rects_.push_back({0, 0, width_, height_});
  } else {
    // An unchanged frame writes nothing and needs no search.
    if (!BuildChangeMap(data)) return EncodeResult::kWritten;
    if (!finder_.Find(width_, height_, changeMap_.data(), rects_)) return EncodeResult::kFailed;
    if (rects_.empty()) return EncodeResult::kWritten;
    if (rects_.size() > kMaxShapeRects) {
      const ChangeRect bounds = Bounds(rects_);
      rects_.assign(1, bounds);
    }
  }
  // A frame that would leave more rectangles on the display list than the bound is drawn as the
  // whole picture: only that covers every placed shape, whatever their bounds.
  if (rects_.size() > static_cast<size_t>(maxListRects_) || PlanRemovals() > maxListRects_) {
    rects_.assign(1, {0, 0, width_, height_});
    PlanRemovals();
  }
  if (!PlanBitmaps(data)) return EncodeResult::kFailed;
  // Identifiers are 16 bits: one more would redefine a character still in use. Whether the frame
  // fits is known before any of its tags is written.
  if (settings_->nextCharacterId > kMaxCharacterId + 1 - NeededIdentifiers()) return EncodeResult::kMovieFull;
  if (!WriteRects(frame)) return EncodeResult::kFailed;
  // Outside the rectangles the frame equals the previous one already.
  auto* previous = reinterpret_cast<uint8_t*>(previousFrame_.data());
  const size_t rowBytes = static_cast<size_t>(width_) * 4;
  for (const ChangeRect& rect : rects_) {
    for (int32_t y = rect.y; y < rect.y + rect.height; ++y) {
      const size_t offset = BufferRow(y) * rowBytes + static_cast<size_t>(rect.x) * 4;
      memcpy(previous + offset, data + offset, static_cast<size_t>(rect.width) * 4);
    }
  }
  return EncodeResult::kWritten;
}

bool SwfBoxEncoder::BuildChangeMap(const uint8_t* frame) {
  const size_t rowBytes = static_cast<size_t>(width_) * 4;
  int32_t changed = 0;
  for (int32_t y = 0; y < height_; ++y) {
    const size_t row = BufferRow(y);
    const uint8_t* current = frame + row * rowBytes;
    const uint32_t* previous = previousFrame_.data() + row * static_cast<size_t>(width_);
    int32_t* cells = changeMap_.data() + static_cast<size_t>(y) * width_;
    for (int32_t x = 0; x < width_; ++x) {
      // All four bytes count, the one without colour too.
      const int32_t cell = LoadWord(current + x * 4) != previous[x];
      cells[x] = cell;
      changed |= cell;
    }
  }
  return changed != 0;
}

int64_t SwfBoxEncoder::PlanRemovals() {
  coveredBy_.assign(placedShapes_.size(), -1);
  int64_t listRects = static_cast<int64_t>(listRects_) + static_cast<int64_t>(rects_.size());
  const ChangeRect bounds = Bounds(rects_);
  for (size_t shape = 0; shape < placedShapes_.size(); ++shape) {
    const PlacedShape& placed = placedShapes_[shape];
    // A shape outside the frame's bounds lies inside none of its rectangles.
    if (!Contains(bounds, placed)) continue;
    const auto covering = std::find_if(rects_.begin(), rects_.end(),
                                       [&placed](const ChangeRect& rect) { return Contains(rect, placed); });
    if (covering == rects_.end()) continue;
    coveredBy_[shape] = static_cast<int32_t>(covering - rects_.begin());
    listRects -= placed.rectCount;
  }
  return listRects;
}

bool SwfBoxEncoder::PlanBitmaps(const uint8_t* frame) {
  bitmaps_.resize(rects_.size());
  compressedUsed_ = 0;
  frameKeys_.clear();
  for (size_t i = 0; i < rects_.size(); ++i) {
    if (!PlanBitmap(rects_[i], frame, i)) return false;
  }
  return true;
}

bool SwfBoxEncoder::PlanBitmap(const ChangeRect& rect, const uint8_t* frame, size_t index) {
  if (rect.width <= 0 || rect.height <= 0 || rect.x < 0 || rect.y < 0 || rect.x + rect.width > width_ ||
      rect.y + rect.height > height_) {
    return false;
  }
  // A, R, G, B from B, G, R, X: the bytes reversed, alpha in place of X.
  // The scratch buffers only grow: a smaller rectangle uses their front.
  const size_t pixelCount = static_cast<size_t>(rect.width) * static_cast<size_t>(rect.height);
  if (pixels_.size() < pixelCount) pixels_.resize(pixelCount);
  const size_t rowBytes = static_cast<size_t>(width_) * 4;
  for (int32_t y = 0; y < rect.height; ++y) {
    const uint8_t* source = frame + BufferRow(rect.y + y) * rowBytes + static_cast<size_t>(rect.x) * 4;
    uint32_t* target = pixels_.data() + static_cast<size_t>(y) * rect.width;
    for (int32_t x = 0; x < rect.width; ++x) target[x] = (__builtin_bswap32(LoadWord(source + x * 4)) & ~0xFFu) | 0xFFu;
  }

  const int32_t rawBytes = static_cast<int32_t>(pixelCount * 4);
  // Above zlib's worst case for incompressible data.
  const int32_t capacity = rawBytes + rawBytes / 8 + 128;
  const size_t offset = compressedUsed_;
  if (compressed_.size() < offset + static_cast<size_t>(capacity)) compressed_.resize(offset + capacity);
  uint8_t* stream = compressed_.data() + offset;
  const int32_t compressedSize = deflater_.Compress(pixels_.data(), rawBytes, stream, capacity);
  if (compressedSize <= 4) return false;
  compressedUsed_ += static_cast<size_t>(compressedSize);
  // A zlib stream ends with the Adler-32 of its data, most significant byte first.
  const uint8_t* adler = stream + compressedSize - 4;
  const uint32_t key = uint32_t{adler[0]} << 24 | uint32_t{adler[1]} << 16 | uint32_t{adler[2]} << 8 | adler[3];
  FrameBitmap& bitmap = bitmaps_[index];
  bitmap = {key, ContentHash(pixels_.data(), pixelCount), rect.width, rect.height, offset, compressedSize, -1, -1};
  const auto same = [&bitmap](int32_t width, int32_t height, int32_t size, uint64_t hash) {
    return width == bitmap.width && height == bitmap.height && size == bitmap.compressedSize &&
           hash == bitmap.contentHash;
  };
  if (const auto cached = bitmapCache_.find(key); cached != bitmapCache_.end()) {
    const BitmapCacheEntry& entry = cached->second;
    if (same(entry.width, entry.height, entry.compressedSize, entry.contentHash)) {
      bitmap.characterId = entry.characterId;
      return true;
    }
  }
  // A bitmap repeated within the frame is defined once.
  const auto [first, added] = frameKeys_.try_emplace(key, static_cast<int32_t>(index));
  if (!added) {
    const FrameBitmap& earlier = bitmaps_[static_cast<size_t>(first->second)];
    if (same(earlier.width, earlier.height, earlier.compressedSize, earlier.contentHash)) bitmap.sameAs = first->second;
  }
  return true;
}

int32_t SwfBoxEncoder::NeededIdentifiers() const {
  const auto isNew = [](const FrameBitmap& bitmap) { return bitmap.characterId < 0 && bitmap.sameAs < 0; };
  return static_cast<int32_t>(std::count_if(bitmaps_.begin(), bitmaps_.end(), isNew)) + 1;
}

bool SwfBoxEncoder::WriteRects(MemOut& out) {
  for (FrameBitmap& bitmap : bitmaps_) {
    if (bitmap.sameAs >= 0) bitmap.characterId = bitmaps_[static_cast<size_t>(bitmap.sameAs)].characterId;
    if (bitmap.characterId < 0 && !WriteBitmap(bitmap, out)) return false;
    bitmapIds_.push_back(bitmap.characterId);
  }
  return WriteShapes(out);
}

bool SwfBoxEncoder::WriteBitmap(FrameBitmap& bitmap, MemOut& out) {
  if (settings_->nextCharacterId > kMaxCharacterId) return false;
  const int32_t characterId = settings_->nextCharacterId++;
  bitmap_.CharacterID = static_cast<uint16_t>(characterId);
  bitmap_.BitmapFormat = DefineBitsLossless2::kFormatArgb;
  bitmap_.BitmapWidth = static_cast<uint16_t>(bitmap.width);
  bitmap_.BitmapHeight = static_cast<uint16_t>(bitmap.height);
  const uint8_t* stream = compressed_.data() + bitmap.compressedOffset;
  bitmap_.ZlibBitmapData.assign(stream, stream + bitmap.compressedSize);
  // The identifier stays taken when the writing fails, and the cache is not touched.
  if (!WriteRecordHeader(out, kTagDefineBitsLossless2, bitmap_.GetBodyLength()) || !bitmap_.Exchange(out)) {
    return false;
  }
  bitmap.characterId = characterId;
  bitmapCache_[bitmap.key] = {characterId, bitmap.width, bitmap.height, bitmap.compressedSize, bitmap.contentHash};
  return true;
}

bool SwfBoxEncoder::WriteShapes(MemOut& out) {
  if (rects_.empty() || bitmapIds_.size() != rects_.size()) return false;
  if (settings_->nextCharacterId > kMaxCharacterId) return false;
  const int32_t shapeId = settings_->nextCharacterId++;
  const ChangeRect bounds = Bounds(rects_);
  DefineShape<3> shape;
  BuildShape(shapeId, bounds, shape);
  int32_t depth = 0;
  if (!WriteShape(shape, out) || !TakeDepth(depth) || !WritePlacement(shapeId, depth, out) ||
      !RemoveCoveredShapes(out)) {
    return false;
  }
  const int32_t rectCount = static_cast<int32_t>(rects_.size());
  placedShapes_.push_back({depth, bounds.x, bounds.y, bounds.width, bounds.height, rectCount});
  listRects_ += rectCount;
  return true;
}

void SwfBoxEncoder::BuildShape(int32_t shapeId, const ChangeRect& bounds, DefineShape<3>& shape) {
  shape.ShapeId = static_cast<uint16_t>(shapeId);
  shape.ShapeBounds = FRECT(bounds.x * kTwipsPerPixel, (bounds.x + bounds.width) * kTwipsPerPixel,
                            bounds.y * kTwipsPerPixel, (bounds.y + bounds.height) * kTwipsPerPixel);
  SHAPEWITHSTYLE<3>& styles = shape.Shapes;
  const int32_t fillBits = BitsForUnsigned(static_cast<uint32_t>(rects_.size() + 1));
  styles.NumFillBits = UBX<4>(static_cast<uint32_t>(fillBits));
  styles.FillStyles.Styles.resize(rects_.size());
  styles.ShapeRecords.reserve(rects_.size() * 5 + 1);
  while (rectangleRecords_.size() < rects_.size()) {
    RectangleRecords records{MakeCounted<STYLECHANGERECORD<3>>(fillBits, 0), {}};
    for (auto& edge : records.edges) edge = MakeCounted<STRAIGHTEDGERECORD>();
    rectangleRecords_.push_back(std::move(records));
  }
  for (size_t i = 0; i < rects_.size(); ++i) {
    const ChangeRect& rect = rects_[i];
    FILLSTYLE<3>& fill = styles.FillStyles.Styles[i];
    fill.FillStyleType = kFillClippedBitmap;
    fill.BitmapId = static_cast<uint16_t>(bitmapIds_[i]);
    fill.BitmapMatrix.ScaleX.value = kBitmapScale;
    fill.BitmapMatrix.ScaleY.value = kBitmapScale;
    fill.BitmapMatrix.TranslateX.value = rect.x * kTwipsPerPixel;
    fill.BitmapMatrix.TranslateY.value = rect.y * kTwipsPerPixel;
    const RectangleRecords& records = rectangleRecords_[i];
    SetRectangle(records, rect, static_cast<uint32_t>(i + 1), fillBits);
    styles.ShapeRecords.push_back(records.move);
    styles.ShapeRecords.insert(styles.ShapeRecords.end(), std::begin(records.edges), std::end(records.edges));
  }
  styles.ShapeRecords.push_back(endRecord_);
}

bool SwfBoxEncoder::WriteShape(DefineShape<3>& shape, MemOut& out) {
  const bool serialised = shape.Exchange(shapeBody_);
  shapeBody_.TakeBuffer(shapeBytes_);
  if (!serialised) return false;
  const int32_t bodyLength = static_cast<int32_t>(shapeBytes_.size());
  return WriteRecordHeader(out, kTagDefineShape3, bodyLength) && out.TransferExactly(shapeBytes_.data(), bodyLength);
}

bool SwfBoxEncoder::TakeDepth(int32_t& depth) {
  if (settings_->nextDepth == kMovieControlDepth) ++settings_->nextDepth;
  if (settings_->nextDepth >= kDepthLimit) return false;
  depth = settings_->nextDepth++;
  return true;
}

bool SwfBoxEncoder::WritePlacement(int32_t shapeId, int32_t depth, MemOut& out) {
  uint8_t flags = kPlaceHasCharacterAndMatrix;
  uint16_t placeDepth = static_cast<uint16_t>(depth);
  uint16_t character = static_cast<uint16_t>(shapeId);
  uint8_t matrix = kIdentityMatrix;
  return WriteRecordHeader(out, kTagPlaceObject2, kPlaceLength) && ExchangeUI8(out, flags) &&
         ExchangeUI16(out, placeDepth) && ExchangeUI16(out, character) && ExchangeUI8(out, matrix);
}

bool SwfBoxEncoder::RemoveCoveredShapes(MemOut& out) {
  // Only a shape that one single new rectangle covers goes; one that only their union covers stays.
  // Removals follow the first rectangle covering each shape, then placement order.
  removals_.clear();
  for (size_t shape = 0; shape < placedShapes_.size(); ++shape) {
    if (coveredBy_[shape] >= 0) removals_.push_back(shape);
  }
  std::stable_sort(removals_.begin(), removals_.end(),
                   [this](size_t a, size_t b) { return coveredBy_[a] < coveredBy_[b]; });
  // A shape whose removal was written leaves the list, also when a later one fails.
  constexpr int32_t kRemoved = -2;
  bool written = true;
  for (size_t shape : removals_) {
    uint16_t depth = static_cast<uint16_t>(placedShapes_[shape].depth);
    written = WriteRecordHeader(out, kTagRemoveObject2, kRemoveLength) && ExchangeUI16(out, depth);
    if (!written) break;
    coveredBy_[shape] = kRemoved;
    listRects_ -= placedShapes_[shape].rectCount;
  }
  size_t kept = 0;
  for (size_t shape = 0; shape < placedShapes_.size(); ++shape) {
    if (coveredBy_[shape] != kRemoved) placedShapes_[kept++] = placedShapes_[shape];
  }
  placedShapes_.resize(kept);
  return written;
}
