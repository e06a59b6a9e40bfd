#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>

#include "draw_test_util.h"

using namespace draw_test;

namespace {

typedef std::set<std::pair<int, int>> PixelSet;

PixelSet setPixels(GuardedBitmap& b)
{
  PixelSet s;
  for (int y = 0; y < b.getHeight(); y++)
    for (int x = 0; x < b.getWidth(); x++)
      if (b.at(x, y)) s.insert({x, y});
  return s;
}

struct PlainLineCase {
  const char* name;
  int w, h, x1, y1, x2, y2;
  PixelSet expected;
};

TEST(Lines, PlainShapesCoverTheExpectedPixels)
{
  const PlainLineCase cases[] = {
      {"single point", 8, 8, 5, 3, 5, 3, {{5, 3}}},
      {"horizontal right to left", 8, 8, 6, 2, 3, 2, {{3, 2}, {4, 2}, {5, 2}, {6, 2}}},
      {"vertical bottom to top", 8, 8, 1, 5, 1, 3, {{1, 3}, {1, 4}, {1, 5}}},
      {"clipped at the left edge", 4, 8, -10, 5, 10, 5, {{0, 5}, {1, 5}, {2, 5}, {3, 5}}},
      {"diagonal", 8, 8, 3, 0, 0, 3, {{3, 0}, {2, 1}, {1, 2}, {0, 3}}},
      // Offsets round to nearest from either end: 0.3 per column.
      {"general", 12, 5, 0, 0, 10, 3,
       {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 2}, {9, 3}, {10, 3}}},
      {"general reversed", 12, 5, 10, 3, 0, 0,
       {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 2}, {7, 2}, {8, 2}, {9, 3}, {10, 3}}},
      {"wholly outside", 8, 8, -5, -1, -1, -9, {}},
  };
  for (const auto& c : cases) {
    GuardedBitmap b(c.w, c.h);
    LICE_Line(&b, c.x1, c.y1, c.x2, c.y2, kWhite, 1.0f, 0, false);
    EXPECT_EQ(setPixels(b), c.expected) << c.name;
    EXPECT_TRUE(b.guardsIntact()) << c.name;
  }
}

TEST(Lines, OpaqueLinesStoreTheColourExactly)
{
  for (bool aa : {false, true}) {
    GuardedBitmap b(16, 16);
    const LICE_PixelValue c = LICE_MakePixel(10, 200, 30, 255);
    LICE_Line(&b, 1, 1, 13, 6, c, 1.0f, 0, aa);
    EXPECT_EQ(b.at(1, 1), c);
    EXPECT_EQ(b.at(13, 6), c);
  }
}

TEST(Lines, AntiAliasedGeneralLineWeights)
{
  // Slope 0.25: the step at column 1 splits 191/64, the middle column 127/128.
  GuardedBitmap b(8, 4);
  LICE_Line(&b, 0, 0, 4, 1, kWhite, 1.0f, 0, true);
  EXPECT_EQ(b.at(0, 0), kWhite);
  EXPECT_EQ(b.at(4, 1), kWhite);
  EXPECT_EQ(b.at(1, 0), whiteAt(191));
  EXPECT_EQ(b.at(1, 1), whiteAt(64));
  EXPECT_EQ(b.at(3, 1), whiteAt(191));
  EXPECT_EQ(b.at(3, 0), whiteAt(64));
  EXPECT_EQ(b.at(2, 0), whiteAt(127));
  EXPECT_EQ(b.at(2, 1), whiteAt(128));
  EXPECT_EQ(countSet(b), 8);
}

TEST(Lines, AntiAliasedDiagonalIsThreeQuartersAndQuarters)
{
  GuardedBitmap b(6, 6);
  LICE_Line(&b, 0, 0, 3, 3, kWhite, 1.0f, 0, true);
  for (int k = 0; k <= 3; k++) EXPECT_EQ(b.at(k, k), grey(190)) << k;  // 127 + 63
  for (int k = 0; k < 3; k++) {
    EXPECT_EQ(b.at(k + 1, k), grey(63)) << k;
    EXPECT_EQ(b.at(k, k + 1), grey(63)) << k;
  }
  EXPECT_EQ(countSet(b), 10);
}

TEST(Lines, HalfAlphaShiftBlendDiffersFromHalfMixOnOddBytes)
{
  const LICE_PixelValue d = grey(1), c = grey(3);
  GuardedBitmap shift(4, 1), mix(4, 1);
  shift.clear(d);
  mix.clear(d);
  LICE_Line(&shift, 0, 0, 3, 0, c, 0.5f, 0, false);
  LICE_Line(&mix, 0, 0, 3, 0, c, 0.502f, 0, false);
  EXPECT_EQ(shift.at(2, 0), grey(1));  // (1 >> 1) + (3 >> 1)
  EXPECT_EQ(mix.at(2, 0), grey(2));    // (1 + 3) >> 1
}

TEST(Lines, RowAndColumnRunsCombineEachPixelAsPutPixelDoes)
{
  struct Case {
    int x1, y1, x2, y2;
  } cases[] = {{1, 2, 6, 2}, {6, 3, 0, 3}, {4, 4, 4, 4}, {2, 0, 2, 5}, {5, 6, 5, 1}};
  for (int mode : {LICE_MODE_COPY, LICE_MODE_ADD, LICE_MODE_MULTIPLY, LICE_MODE_OVERLAY})
    for (float alpha : {0.3f, 0.5f, 1.0f})
      for (const Case& c : cases) {
        GuardedBitmap line(8, 8), twin(8, 8);
        line.clear(LICE_MakePixel(40, 90, 160, 200));
        twin.clear(LICE_MakePixel(40, 90, 160, 200));
        const LICE_PixelValue color = LICE_MakePixel(200, 30, 120, 255);
        LICE_Line(&line, c.x1, c.y1, c.x2, c.y2, color, alpha, mode, false);
        for (int y = std::min(c.y1, c.y2); y <= std::max(c.y1, c.y2); y++)
          for (int x = std::min(c.x1, c.x2); x <= std::max(c.x1, c.x2); x++)
            LICE_PutPixel(&twin, x, y, color, alpha, mode);
        int differ = 0;
        for (int y = 0; y < 8; y++)
          for (int x = 0; x < 8; x++) differ += line.at(x, y) != twin.at(x, y);
        EXPECT_EQ(differ, 0) << mode << " " << alpha << " " << c.x1 << "," << c.y1;
        EXPECT_TRUE(line.guardsIntact());
      }
}

TEST(Lines, ModesOutsideTheTableDrawNothingAndSourceAlphaIsIgnored)
{
  for (int mode : {6, 0xF0, 0xFF}) {
    GuardedBitmap b(8, 8);
    LICE_Line(&b, 0, 0, 7, 3, kWhite, 1.0f, mode, false);
    LICE_Line(&b, 0, 0, 7, 0, kWhite, 0.3f, mode, true);
    EXPECT_EQ(countSet(b), 0) << mode;
  }
  GuardedBitmap a(8, 8), s(8, 8);
  LICE_Line(&a, 0, 0, 7, 3, kWhite, 0.3f, 0, true);
  LICE_Line(&s, 0, 0, 7, 3, kWhite, 0.3f, 0x10000, true);
  EXPECT_EQ(LICE_BitmapCmp(&a, &s, nullptr), 0);
}

TEST(Lines, FlippedBitmapDrawsRowZeroLast)
{
  GuardedBitmap b(4, 4, 8, true);
  LICE_Line(&b, 0, 0, 3, 0, kWhite, 1.0f, 0, false);
  EXPECT_EQ(b.at(0, 3), kWhite);
  EXPECT_EQ(b.at(0, 0), 0u);
}

TEST(Lines, RandomSegmentsAreDirectionIndependent)
{
  std::mt19937 rng(4711);
  std::uniform_int_distribution<int> coord(0, 39), mode(0, 5), pick(0, 4);
  const float alphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.37f};
  for (int i = 0; i < 2000; i++) {
    const int x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
    const int m = mode(rng);
    const float a = alphas[pick(rng)];
    const bool aa = i & 1;
    GuardedBitmap f(40, 40), r(40, 40);
    f.clear(0x40608020);
    r.clear(0x40608020);
    LICE_Line(&f, x1, y1, x2, y2, 0xC0A0FF30, a, m, aa);
    LICE_Line(&r, x2, y2, x1, y1, 0xC0A0FF30, a, m, aa);
    ASSERT_EQ(LICE_BitmapCmp(&f, &r, nullptr), 0)
        << x1 << "," << y1 << " " << x2 << "," << y2 << " mode " << m << " aa " << aa;
  }
}

TEST(FloatLines, AntiAliasedHalfRowSplitsBetweenRows)
{
  GuardedBitmap b(16, 16);
  LICE_FLine(&b, 2.0f, 5.5f, 9.0f, 5.5f, kWhite, 1.0f, 0, true);
  for (int x = 2; x <= 9; x++) {
    EXPECT_EQ(b.at(x, 5), whiteAt(127)) << x;
    EXPECT_EQ(b.at(x, 6), whiteAt(128)) << x;
  }
  EXPECT_EQ(countSet(b), 16);
}

TEST(FloatLines, EdgeCases)
{
  GuardedBitmap b(16, 16);
  LICE_FLine(&b, 2.2f, 1.0f, 2.8f, 1.0f, kWhite, 1.0f, 0, true);
  EXPECT_EQ(countSet(b), 0);

  GuardedBitmap f(16, 16), i(16, 16);
  LICE_FLine(&f, 1.9f, 1.9f, 4.9f, 1.9f, kWhite, 0.6f, 0, false);
  LICE_Line(&i, 1, 1, 4, 1, kWhite, 0.6f, 0, false);
  EXPECT_EQ(LICE_BitmapCmp(&f, &i, nullptr), 0);
}

TEST(FloatLines, NonFiniteCoordinatesAreRefused)
{
  const float bad[] = {NAN, INFINITY, -INFINITY};
  for (float v : bad)
    for (bool aa : {false, true}) {
      GuardedBitmap b(16, 16);
      LICE_FLine(&b, v, 2, 10, 10, kWhite, 1.0f, 0, aa);
      LICE_FLine(&b, 2, v, 10, 10, kWhite, 1.0f, 0, aa);
      LICE_FLine(&b, 2, 2, v, 10, kWhite, 1.0f, 0, aa);
      LICE_FLine(&b, 2, 2, 10, v, kWhite, 1.0f, 0, aa);
      EXPECT_EQ(countSet(b), 0);
      EXPECT_TRUE(b.guardsIntact());
    }
}

TEST(FloatLines, HugeCoordinatesKeepTheirDirection)
{
  // From far above the bitmap straight down column 3, beyond the int range.
  GuardedBitmap b(8, 8);
  LICE_FLine(&b, 3.0f, -1e20f, 3.0f, 5.0f, kWhite, 1.0f, 0, false);
  EXPECT_EQ(setPixels(b), (PixelSet{{3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}, {3, 5}}));
  GuardedBitmap a(8, 8);
  LICE_FLine(&a, 3.5f, -1e30f, 3.5f, 1e30f, kWhite, 1.0f, 0, true);
  EXPECT_TRUE(a.guardsIntact());
}

struct DashCase {
  const char* name;
  int x1, y1, x2, y2, on, off;
  float alpha;
  PixelSet expected;
};

TEST(DashedLines, Runs)
{
  const PixelSet dashes{{0, 4}, {1, 4}, {2, 4}, {4, 4}, {5, 4}, {6, 4}, {8, 4}, {9, 4}};
  const DashCase cases[] = {
      {"3 on 1 off", 0, 4, 10, 4, 3, 1, 1.0f, dashes},
      {"clipped start begins a dash", -1, 4, 10, 4, 3, 1, 1.0f, dashes},
      {"reversed", 10, 4, 0, 4, 3, 1, 1.0f, dashes},
      {"dotted column, shortcut", 2, 0, 2, 3, 1, 1, 1.0f, {{2, 0}, {2, 2}}},
      {"dotted column, general", 2, 0, 2, 3, 1, 1, 0.9f, {{2, 0}, {2, 2}}},
      {"slanted", 0, 0, 5, 5, 1, 1, 1.0f, {}},
      {"one point", 3, 3, 3, 3, 2, 2, 1.0f, {}},
      // A period below one pixel would never advance: solid, far end excluded.
      {"on 1 off -1 is solid", 0, 2, 4, 2, 1, -1, 1.0f, {{0, 2}, {1, 2}, {2, 2}, {3, 2}}},
      {"on 2 off -5 is solid", 1, 0, 1, 3, 2, -5, 0.7f, {{1, 0}, {1, 1}, {1, 2}}},
      {"on 0 off 0 draws nothing", 0, 2, 4, 2, 0, 0, 1.0f, {}},
      {"on -3 off 2 draws nothing", 0, 2, 4, 2, -3, 2, 1.0f, {}},
      {"huge lengths", 0, 2, 4, 2, 0x7FFFFFFF, 0x7FFFFFFF, 1.0f, {{0, 2}, {1, 2}, {2, 2}, {3, 2}}},
  };
  for (const auto& c : cases) {
    GuardedBitmap b(16, 16);
    LICE_DashedLine(&b, c.x1, c.y1, c.x2, c.y2, c.on, c.off, kWhite, c.alpha, 0, false);
    EXPECT_EQ(setPixels(b), c.expected) << c.name;
    EXPECT_TRUE(b.guardsIntact()) << c.name;
  }
}

struct ClipCase {
  const char* name;
  int x1, y1, x2, y2;
  bool kept;
  int cx1, cy1, cx2, cy2;
};

TEST(LineClipping, ToAnyRectangle)
{
  const ClipCase cases[] = {
      {"across", 0, 15, 30, 15, true, 10, 15, 19, 15},
      {"outside", 0, 0, 5, 5, false, 0, 0, 5, 5},
      {"inside", 12, 12, 18, 13, true, 12, 12, 18, 13},
      {"down the middle", 15, -100, 15, 100, true, 15, 10, 15, 19},
  };
  for (const auto& c : cases) {
    int x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
    EXPECT_EQ(LICE_ClipLine(&x1, &y1, &x2, &y2, 10, 10, 20, 20), c.kept) << c.name;
    if (c.kept) {
      EXPECT_EQ(x1, c.cx1) << c.name;
      EXPECT_EQ(y1, c.cy1) << c.name;
      EXPECT_EQ(x2, c.cx2) << c.name;
      EXPECT_EQ(y2, c.cy2) << c.name;
    }
  }
  int x1 = INT_MIN, y1 = INT_MIN, x2 = INT_MAX, y2 = INT_MAX;
  EXPECT_TRUE(LICE_ClipLine(&x1, &y1, &x2, &y2, INT_MIN, INT_MIN, INT_MAX, INT_MAX));
}

TEST(LineClipping, FloatClipKeepsOnePixelLessOnTheFarSides)
{
  float x1 = 0, y1 = 15, x2 = 30, y2 = 15;
  EXPECT_TRUE(LICE_ClipFLine(&x1, &y1, &x2, &y2, 10, 10, 20, 20));
  EXPECT_FLOAT_EQ(x1, 10.0f);
  EXPECT_FLOAT_EQ(x2, 18.0f);  // the last column 19 is outside, the clip edge one short of it
  float a = NAN, b = 1, c = 2, d = 3;
  EXPECT_FALSE(LICE_ClipFLine(&a, &b, &c, &d, 0, 0, 10, 10));
}

}  // namespace
