#include "app/deze/source/rects.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

void PrintTo(const ChangeRect& r, std::ostream* os) {
  *os << "{" << r.x << "," << r.y << "," << r.width << "," << r.height << "}";
}

namespace {

using Rects = std::vector<ChangeRect>;

struct Map {
  Map(int32_t w, int32_t h) : width(w), height(h), cells(static_cast<size_t>(w) * h, 0) {}
  void Set(int32_t x, int32_t y, int32_t value = 1) { cells[static_cast<size_t>(y) * width + x] = value; }
  void Rows(int32_t first, int32_t count) {
    for (int32_t y = first; y < first + count; ++y)
      for (int32_t x = 0; x < width; ++x) Set(x, y);
  }
  int32_t At(int32_t x, int32_t y) const { return cells[static_cast<size_t>(y) * width + x]; }
  Rects Find() const {
    Rects rects;
    EXPECT_TRUE(RectFinder().Find(width, height, cells.data(), rects));
    return rects;
  }

  int32_t width;
  int32_t height;
  std::vector<int32_t> cells;
};

// Every changed cell in exactly one rectangle, none outside the frame, each the bounding box of
// the changes inside it.
void ExpectSoundCover(const Map& map, const Rects& rects) {
  std::vector<int> cover(map.cells.size(), 0);
  for (const ChangeRect& r : rects) {
    ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.width > 0 && r.height > 0 && r.x + r.width <= map.width &&
                r.y + r.height <= map.height);
    int32_t minX = INT32_MAX, minY = INT32_MAX, maxX = -1, maxY = -1;
    for (int32_t y = r.y; y < r.y + r.height; ++y) {
      for (int32_t x = r.x; x < r.x + r.width; ++x) {
        ++cover[static_cast<size_t>(y) * map.width + x];
        if (!map.At(x, y)) continue;
        minX = std::min(minX, x), minY = std::min(minY, y), maxX = std::max(maxX, x), maxY = std::max(maxY, y);
      }
    }
    ASSERT_EQ((ChangeRect{minX, minY, maxX - minX + 1, maxY - minY + 1}), r) << "not tight";
  }
  for (size_t i = 0; i < cover.size(); ++i) {
    ASSERT_LE(cover[i], 1) << "overlap at cell " << i;
    if (map.cells[i]) {
      ASSERT_EQ(cover[i], 1) << "changed cell " << i << " not covered";
    }
  }
}

}  // namespace

TEST(RectFinder, CasesOfTheCut) {
  Map none(30, 20);
  EXPECT_EQ(none.Find(), Rects());

  Map single(30, 20);
  single.Set(5, 7, -3);  // any non-zero value is a change
  EXPECT_EQ(single.Find(), Rects({{5, 7, 1, 1}}));

  Map full(13, 9);
  full.Rows(0, 9);
  EXPECT_EQ(full.Find(), Rects({{0, 0, 13, 9}}));

  Map bands(100, 100);
  bands.Rows(0, 10);
  bands.Rows(50, 10);
  EXPECT_EQ(bands.Find(), Rects({{0, 0, 100, 10}, {0, 50, 100, 10}}));

  // One row band: columns are not tried.
  Map ends(100, 100);
  ends.Set(0, 0);
  ends.Set(99, 0);
  EXPECT_EQ(ends.Find(), Rects({{0, 0, 100, 1}}));

  Map column(100, 100);
  column.Set(0, 0);
  column.Set(0, 99);
  EXPECT_EQ(column.Find(), Rects({{0, 0, 1, 1}, {0, 99, 1, 1}}));

  // In a piece 8 wide, 8 empty rows (area 64) cut and 7 do not.
  for (const auto& [gap, expected] : {std::pair{8, Rects({{2, 0, 8, 1}, {2, 9, 8, 1}})},
                                      std::pair{7, Rects({{2, 0, 8, 9}})}}) {
    Map map(12, 12);
    for (int32_t x = 2; x < 10; ++x) map.Set(x, 0), map.Set(x, gap + 1);
    EXPECT_EQ(map.Find(), expected) << "gap " << gap;
  }

  // Nested: two row bands, the first cut into two column bands.
  Map nested(40, 40);
  nested.Set(1, 1);
  nested.Set(30, 3);  // a gap of 28 columns × 3 rows cuts (× 2 would not)
  nested.Set(20, 30);
  EXPECT_EQ(nested.Find(), Rects({{1, 1, 1, 1}, {30, 3, 1, 1}, {20, 30, 1, 1}}));

  Rects kept = {{1, 2, 3, 4}};
  RectFinder finder;
  EXPECT_FALSE(finder.Find(0, 5, full.cells.data(), kept));
  EXPECT_FALSE(finder.Find(5, 0, full.cells.data(), kept));
  EXPECT_FALSE(finder.Find(5, 5, nullptr, kept));
  EXPECT_EQ(kept, Rects({{1, 2, 3, 4}}));
}

TEST(RectFinder, RandomMapsAreCoveredSoundly) {
  std::mt19937 random(20240611);
  RectFinder finder;  // one finder for all maps, as the encoder keeps it
  for (int round = 0; round < 400; ++round) {
    Map map(1 + static_cast<int32_t>(random() % 200), 1 + static_cast<int32_t>(random() % 150));
    if (round % 2) {
      // Sparse pixels.
      const int count = static_cast<int>(random() % 60);
      for (int i = 0; i < count; ++i) map.Set(random() % map.width, random() % map.height);
    } else {
      // Clustered blobs with holes.
      const int blobs = static_cast<int>(random() % 8);
      for (int b = 0; b < blobs; ++b) {
        const int32_t x0 = random() % map.width, y0 = random() % map.height;
        const int32_t w = 1 + random() % 40, h = 1 + random() % 30;
        for (int32_t y = y0; y < std::min(map.height, y0 + h); ++y)
          for (int32_t x = x0; x < std::min(map.width, x0 + w); ++x)
            if (random() % 7) map.Set(x, y);
      }
    }
    Rects rects = {{9, 9, 9, 9}};
    ASSERT_TRUE(finder.Find(map.width, map.height, map.cells.data(), rects));
    SCOPED_TRACE(testing::Message() << "round " << round << ", " << map.width << "x" << map.height);
    ExpectSoundCover(map, rects);
  }
}

TEST(RectFinder, DeepSpiralDoesNotExhaustTheStack) {
  // A square spiral of one-pixel lines with one-pixel gaps: each cut peels one side off (top row,
  // right column, bottom row, left column, then the next turn inside), so the cut nests about as
  // deep as the spiral has sides.
  Map map(3000, 3000);
  for (int32_t l = 0, t = 0, r = map.width - 1, b = map.height - 1; l + 2 < r && t + 2 < b; l += 2, t += 2, r -= 2, b -= 2) {
    for (int32_t x = l; x <= r; ++x) map.Set(x, t);
    for (int32_t y = t + 2; y <= b; ++y) map.Set(r, y);
    for (int32_t x = l; x <= r - 2; ++x) map.Set(x, b);
    for (int32_t y = t + 2; y <= b - 2; ++y) map.Set(l, y);
  }
  const Rects rects = map.Find();
  EXPECT_GT(rects.size(), 2000u);
  ExpectSoundCover(map, rects);
}
