#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "draw_test_util.h"

using namespace draw_test;

namespace {

struct MaskCase {
  float r;
  bool aa;
  std::vector<int> rows;  // coverage bytes, row by row
};

// The twelve built-in outline masks as the text lists them.
const MaskCase kMasks[] = {
    {1.5f, true, {0x4F, 0xFF, 0xFF, 0x4F, 0xFF, 0x0F, 0x0F, 0xFF, 0xFF, 0x0F, 0x0F, 0xFF, 0x4F, 0xFF, 0xFF, 0x4F}},
    {1.5f, false, {0, 255, 255, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 255, 255, 0}},
    {2.0f, true, {0x0F, 0xBF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F, 0xD1, 0xBF, 0xFF, 0x4F, 0x00,
                  0x4F, 0xFF, 0xBF, 0xD1, 0x4F, 0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xBF, 0x0F}},
    {2.0f, false, {0, 0, 255, 0, 0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0}},
    {2.5f, true, {0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F, 0x4F, 0xD1, 0xBF,
                  0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF, 0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF,
                  0xBF, 0xD1, 0x4F, 0x4F, 0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F}},
    {2.5f, false, {0, 0, 255, 255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255,
                   255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 0, 0}},
    {3.0f, true, {0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00, 0x8F, 0xFF, 0x61, 0x40, 0x61, 0xFF,
                  0x8F, 0xFF, 0x70, 0x00, 0x00, 0x00, 0x70, 0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00,
                  0x30, 0xFF, 0xFF, 0x70, 0x00, 0x00, 0x00, 0x70, 0xFF, 0x8F, 0xFF, 0x61, 0x40,
                  0x61, 0xFF, 0x8F, 0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00}},
    {3.0f, false, {0, 0, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 0, 0,
                   0, 0, 0, 255, 255, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0,
                   255, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 0}},
    {3.5f, true, {0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00, 0x4F, 0xFF, 0xB0, 0x40, 0x40,
                  0xB0, 0xFF, 0x4F, 0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE, 0xFF, 0x40,
                  0x00, 0x00, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40,
                  0xFF, 0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE, 0x4F, 0xFF, 0xB0, 0x40,
                  0x40, 0xB0, 0xFF, 0x4F, 0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00}},
    {3.5f, false, {0, 0, 255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 0, 255, 255, 0,
                   255, 255, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 255,
                   255, 0, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 255,
                   0, 255, 255, 0, 0, 255, 255, 0, 0, 0, 255, 255, 255, 255, 0, 0}},
    {4.0f, true, {0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00, 0x1F, 0xF0, 0xD1, 0x4F, 0x40,
                  0x4F, 0xD1, 0xF0, 0x1F, 0xB0, 0xD1, 0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0, 0xFF,
                  0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00, 0x00,
                  0x00, 0x30, 0xFF, 0xFF, 0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF, 0xB0, 0xD1,
                  0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0, 0x1F, 0xF0, 0xD1, 0x4F, 0x40, 0x4F, 0xD1,
                  0xF0, 0x1F, 0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00}},
    {4.0f, false, {0, 0, 255, 255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 0, 0, 255, 255, 0,
                   255, 255, 0, 0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255,
                   255, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255,
                   255, 255, 0, 0, 0, 0, 0, 255, 255, 0, 255, 255, 0, 0, 0, 255, 255, 0,
                   0, 0, 255, 255, 255, 255, 255, 0, 0}},
};

TEST(Circles, SmallRadiiDrawTheirMasksPixelExactly)
{
  for (const auto& m : kMasks) {
    const int n = (int)(2 * m.r + 1);
    ASSERT_EQ((int)m.rows.size(), n * n);
    GuardedBitmap b(16, 16);
    LICE_Circle(&b, 7.7f, 6.2f, m.r, kWhite, 1.0f, 0, m.aa);
    const int x0 = (int)(7.7f - m.r), y0 = (int)(6.2f - m.r);
    for (int y = 0; y < 16; y++)
      for (int x = 0; x < 16; x++) {
        const bool in = x >= x0 && x < x0 + n && y >= y0 && y < y0 + n;
        const int c = in ? m.rows[(y - y0) * n + (x - x0)] : 0;
        // Full coverage at full alpha weighs 255, so 0xFF gives 255 + (-255 * 1) / 256.
        ASSERT_EQ(b.at(x, y), c ? whiteAt(c) : 0u) << "r " << m.r << " aa " << m.aa << " at " << x << "," << y;
      }
  }
}

TEST(Circles, OtherRadiusTakesTheWalk)
{
  GuardedBitmap mask(16, 16), walk(16, 16);
  LICE_Circle(&mask, 8, 8, 2.0f, kWhite, 1.0f, 0, false);
  LICE_Circle(&walk, 8, 8, 2.25f, kWhite, 1.0f, 0, false);
  // R = 2: the four axis points, then one step at (1, 2) mirrored.
  EXPECT_EQ(picture(walk)[6], ".......###......");
  EXPECT_EQ(picture(walk)[7], "......#...#.....");
  EXPECT_EQ(picture(walk)[8], "......#...#.....");
  EXPECT_EQ(countSet(walk), 12);
  EXPECT_NE(LICE_BitmapCmp(&mask, &walk, nullptr), 0);
}

TEST(Circles, RadiusBelowOneAndAHalfDrawsOnlyAxisPoints)
{
  GuardedBitmap one(9, 9), zero(9, 9);
  LICE_Circle(&one, 4, 4, 1.2f, kWhite, 1.0f, 0, false);
  EXPECT_EQ(countSet(one), 4);
  EXPECT_EQ(one.at(4, 3), kWhite);
  EXPECT_EQ(one.at(5, 4), kWhite);
  LICE_Circle(&zero, 4, 4, 0.3f, kWhite, 0.5f, 0, false);
  EXPECT_EQ(countSet(zero), 1);  // four half-mixes of the centre
}

struct CoverageCase {
  int x, y;
  std::vector<int> weights;  // every combine at this pixel, in order
};

void expectCoverage(float r, const std::vector<CoverageCase>& cases)
{
  GuardedBitmap b(41, 41);
  LICE_Circle(&b, 20, 20, r, kWhite, 1.0f, 0, true);
  for (const auto& c : cases) {
    int v = 0;
    for (int w : c.weights) v = copyBlend(v, 255, w);
    EXPECT_EQ(b.at(c.x, c.y), grey(v)) << "r " << r << " at " << c.x << "," << c.y;
  }
}

TEST(Circles, AntiAliasedCoverageMatchesTheDistances)
{
  // r = 5.5: R = 5, edge weight 0.5 x 256 = 128; q = 30.25.
  // i = 1: X = sqrt(29.25) = 5.408, f = 104; i = 3: X = 4.610, f = 156;
  // i = 4: X = 3.775, f = 198, and n = 4 = i, so its mirrored points are left out.
  expectCoverage(5.5f, {{20, 14, {128}},
                        {20, 15, {128}},
                        {26, 20, {128}},
                        {19, 14, {104}},
                        {19, 15, {152}},
                        {14, 21, {104}},  // (xc - Xi - 1, yc + i), i = 1
                        {15, 21, {152}},
                        {17, 16, {100, 58}},  // i = 3 (xc - i, yc - Xi), then i = 4 (xc - Xi, yc - i)
                        {16, 16, {198}},
                        {16, 17, {100}},
                        {20, 20, {}}});
  // r = 10.3: R = 10, edge weight 0.3 x 256 = 76; q = 106.09.
  // i = 1: X = 10.251, f = 64; i = 5: X = 9.005, f = 1.
  expectCoverage(10.3f, {{20, 9, {76}},
                         {20, 10, {180}},
                         {19, 9, {64}},
                         {19, 10, {192}},
                         {25, 11, {255}},
                         {30, 15, {1}},
                         {20, 20, {}}});
}

TEST(Circles, FilledCircleCoversItsInterior)
{
  GuardedBitmap b(21, 21);
  LICE_FillCircle(&b, 10, 10, 6, kWhite, 1.0f, 0, false);
  const auto p = picture(b);
  EXPECT_EQ(p[10], "....#############....");
  EXPECT_EQ(p[4], "........#####........");
  for (int y = 0; y < 21; y++)
    for (int x = 0; x < 21; x++) {
      const int dx = x - 10, dy = y - 10;
      if (dx * dx + dy * dy <= 25) {
        EXPECT_EQ(b.at(x, y), kWhite) << x << "," << y;
      }
      if (dx * dx + dy * dy > 49) {
        EXPECT_EQ(b.at(x, y), 0u) << x << "," << y;
      }
    }
}

TEST(Circles, NothingForNegativeRadiusZeroAlphaOrNonFiniteInput)
{
  GuardedBitmap b(16, 16);
  LICE_FillCircle(&b, 8, 8, -1, kWhite, 1.0f, 0, false);
  LICE_FillCircle(&b, 8, 8, 5, kWhite, 0.003f, 0, true);
  LICE_FillCircle(&b, NAN, 8, 5, kWhite, 1.0f, 0, true);
  LICE_Circle(&b, 8, INFINITY, 5, kWhite, 1.0f, 0, false);
  LICE_Circle(&b, 8, 8, NAN, kWhite, 1.0f, 0, false);
  LICE_Arc(&b, 8, 8, 5, NAN, 1, kWhite, 1.0f, 0, false);
  EXPECT_EQ(countSet(b), 0);
}

TEST(Circles, ClippedCircleEqualsTheCropOfAWholeOne)
{
  // Drawing partly off a small bitmap must give exactly the pixels a large
  // bitmap gets there, for the plain and anti-aliased walks, outline and fill.
  std::mt19937 rng(77);
  // Eighths of a pixel stay exact when moved, and centres stay positive, so
  // that the truncation of both drawings agrees.
  std::uniform_int_distribution<int> pos(0, 400), rad(8, 480);
  for (int i = 0; i < 300; i++) {
    const float cx = pos(rng) / 8.0f, cy = pos(rng) / 8.0f, r = rad(rng) / 8.0f;
    const bool aa = i & 1, filled = i & 2;
    GuardedBitmap small(20, 20), big(200, 200);
    auto draw = [&](LICE_IBitmap* b, float ox) {
      if (filled)
        LICE_FillCircle(b, cx + ox, cy + ox, r, kWhite, 0.6f, 0, aa);
      else
        LICE_Circle(b, cx + ox, cy + ox, r, kWhite, 0.6f, 0, aa);
    };
    draw(&small, 0);
    draw(&big, 80);
    for (int y = 0; y < 20; y++)
      for (int x = 0; x < 20; x++)
        ASSERT_EQ(small.at(x, y), big.at(x + 80, y + 80))
            << cx << "," << cy << " r " << r << " aa " << aa << " filled " << filled;
  }
}

TEST(Circles, HugeRadiusDrawsOnlyWhatCrossesTheBitmap)
{
  // The edge of a circle ten million pixels wide runs along row 5.
  GuardedBitmap b(32, 16);
  LICE_Circle(&b, 16, 5 + 1e7f, 1e7f, kWhite, 1.0f, 0, false);
  for (int x = 0; x < 32; x++) EXPECT_EQ(b.at(x, 5), kWhite) << x;
  EXPECT_EQ(countSet(b), 32);
  GuardedBitmap f(32, 16);
  LICE_FillCircle(&f, 16, 5 + 1e7f, 1e7f, kWhite, 1.0f, 0, true);
  // r x r is formed in single precision, which at this size blurs the edge
  // by a fraction of a pixel; well above and below it the answer is plain.
  EXPECT_EQ(f.at(3, 2), 0u);
  EXPECT_EQ(f.at(3, 15), kWhite);
  // Beyond 2^24 pixels a float no longer tells pixels apart: refused.
  GuardedBitmap g(32, 16);
  LICE_Circle(&g, 16, 5 + 1e9f, 1e9f, kWhite, 1.0f, 0, true);
  EXPECT_EQ(countSet(g), 0);
}

TEST(Arcs, QuartersAndFullTurns)
{
  GuardedBitmap full(32, 32), arc(32, 32), quarter(32, 32), upperRight(32, 32);
  LICE_Circle(&full, 16, 16, 9, kWhite, 1.0f, 0, false);
  LICE_Arc(&arc, 16, 16, 9, 0, 7, kWhite, 1.0f, 0, false);
  EXPECT_EQ(LICE_BitmapCmp(&full, &arc, nullptr), 0);

  LICE_Arc(&quarter, 16, 16, 9, 0, 1.5707963f, kWhite, 1.0f, 0, false);
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) {
      const bool ur = x >= 16 && y < 16;
      EXPECT_EQ(quarter.at(x, y), ur ? full.at(x, y) : 0u) << x << "," << y;
    }
  EXPECT_EQ(quarter.at(16, 7), kWhite);  // the top point
  EXPECT_EQ(quarter.at(25, 16), 0u);     // the centre row belongs to the next quarter

  // The centre row and column belong to the neighbouring quarters.
  GuardedBitmap tl(32, 32);
  LICE_Arc(&tl, 16, 16, 9, -1.5707963f, 0, kWhite, 1.0f, 0, false);
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++)
      EXPECT_EQ(tl.at(x, y), x < 16 && y < 16 ? full.at(x, y) : 0u) << x << "," << y;
}

TEST(RoundRects, SmallCornersArePlainRectangles)
{
  for (int corner : {0, 1}) {
    GuardedBitmap r(16, 16), p(16, 16);
    LICE_RoundRect(&r, 2, 2, 10, 8, corner, kWhite, 1.0f, 0, false);
    LICE_DrawRect(&p, 2, 2, 10, 8, kWhite, 1.0f, 0);
    EXPECT_EQ(LICE_BitmapCmp(&r, &p, nullptr), 0) << corner;
  }
  GuardedBitmap r(16, 16), p(16, 16);
  LICE_RoundRect(&r, 2, 2, 3, 10, 5, kWhite, 1.0f, 0, false);
  LICE_DrawRect(&p, 2, 2, 3, 10, kWhite, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&r, &p, nullptr), 0);
}

TEST(RoundRects, CornersAreCut)
{
  GuardedBitmap r(24, 24);
  LICE_RoundRect(&r, 2, 2, 16, 12, 4, kWhite, 1.0f, 0, false);
  EXPECT_EQ(r.at(2, 2), 0u);
  EXPECT_EQ(r.at(10, 2), kWhite);
  EXPECT_EQ(r.at(2, 8), kWhite);
  EXPECT_EQ(r.at(18, 14), 0u);
  EXPECT_TRUE(r.guardsIntact());
}

}  // namespace
