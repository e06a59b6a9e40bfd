#include <gtest/gtest.h>

#include <vector>

#include "draw_test_util.h"

using namespace draw_test;

namespace {

TEST(Glyphs, PartlyOffEveryEdgeDrawsTheVisiblePart)
{
  // A 3 x 3 mask whose bytes tell their own position: 20 x (row * 3 + column + 1).
  const unsigned char mask[] = {20, 40, 60, 80, 100, 120, 140, 160, 180};
  struct Case {
    int x, y;
    int firstMaskIndex, visible;
  } cases[] = {{-1, -1, 4, 4}, {3, -2, 6, 1}, {-2, 3, 2, 1}, {3, 3, 0, 1}, {-3, 0, 0, 0}};
  for (const auto& c : cases) {
    GuardedBitmap b(4, 4);
    // Add at full alpha: each channel becomes (255 x coverage) / 256.
    LICE_DrawGlyph(&b, c.x, c.y, kWhite, mask, 3, 3, 1.0f, 1);
    EXPECT_EQ(countSet(b), c.visible) << c.x << "," << c.y;
    if (c.visible) {
      EXPECT_EQ(b.at(c.x < 0 ? 0 : c.x, c.y < 0 ? 0 : c.y), grey(255 * mask[c.firstMaskIndex] / 256));
    }
    EXPECT_TRUE(b.guardsIntact());
  }
}

TEST(Glyphs, ZeroCoverageNeverTouchesThePixel)
{
  // HSV adjust would re-encode the pixel and set its alpha even at weight 0.
  const unsigned char mask[] = {0, 0, 0, 0};
  GuardedBitmap b(2, 2);
  b.clear(LICE_MakePixel(201, 17, 90, 33));
  LICE_DrawGlyph(&b, 0, 0, LICE_MakePixel(128, 128, 128, 7), mask, 2, 2, 1.0f, 5);
  EXPECT_EQ(b.at(1, 1), LICE_MakePixel(201, 17, 90, 33));
}

TEST(ColorMask, KeyBecomesTransparentAndTheRestOpaque)
{
  GuardedBitmap b(2, 1);
  b.getBits()[0] = LICE_MakePixel(10, 20, 30, 99);
  b.getBits()[1] = LICE_MakePixel(11, 20, 30, 0);
  LICE_SetAlphaFromColorMask(&b, LICE_MakePixel(10, 20, 30, 0));
  EXPECT_EQ(b.at(0, 0), LICE_MakePixel(10, 20, 30, 0));
  EXPECT_EQ(b.at(1, 0), LICE_MakePixel(11, 20, 30, 255));
  // A key with a non-zero alpha byte matches nothing.
  LICE_SetAlphaFromColorMask(&b, LICE_MakePixel(10, 20, 30, 1));
  EXPECT_EQ(b.at(0, 0), LICE_MakePixel(10, 20, 30, 255));
}

TEST(SimpleFill, SpreadsOnlyThroughTheSeedColumn)
{
  // A U-shaped hollow: the seed at the bottom reaches both arms' rows only
  // through its own column.
  GuardedBitmap b(7, 5);
  const char* rows[] = {"#.#.#.#", "#.#.#.#", "#.....#", "#######", "......."};
  for (int y = 0; y < 5; y++)
    for (int x = 0; x < 7; x++) b.getBits()[y * b.getRowSpan() + x] = rows[y][x] == '#' ? kWhite : 0;
  LICE_SimpleFill(&b, 3, 2, grey(9), 0xFFFFFFFF, 0);
  EXPECT_EQ(b.at(1, 2), grey(9));
  EXPECT_EQ(b.at(5, 2), grey(9));
  EXPECT_EQ(b.at(3, 0), grey(9));
  EXPECT_EQ(b.at(1, 0), 0u);  // an arm not in the seed column
  EXPECT_EQ(b.at(5, 1), 0u);
  EXPECT_EQ(b.at(3, 4), 0u);  // below the wall
  GuardedBitmap c(3, 3);
  LICE_SimpleFill(&c, 3, 0, kWhite, 0xFFFFFFFF, 0);
  LICE_SimpleFill(&c, -1, 0, kWhite, 0xFFFFFFFF, 0);
  EXPECT_EQ(countSet(c), 0);
}

TEST(HalveBlit, AveragesBlocksPerChannel)
{
  GuardedBitmap src(5, 4), dst(4, 4);
  src.clear(kWhite);
  LICE_HalveBlitAA(&dst, &src);
  EXPECT_EQ(dst.at(0, 0), grey(252));
  EXPECT_EQ(dst.at(1, 1), grey(252));
  EXPECT_EQ(dst.at(2, 0), 0u);  // the fifth source column is not used
  EXPECT_EQ(dst.at(0, 2), 0u);
}

TEST(BitmapCompare, SizesAndDifferences)
{
  GuardedBitmap a(5, 4), b(5, 4), wide(7, 4), tall(5, 6);
  EXPECT_EQ(LICE_BitmapCmp(&a, &wide, nullptr), 2);
  EXPECT_EQ(LICE_BitmapCmp(&a, &tall, nullptr), 2);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, &a, nullptr), -1);
  EXPECT_EQ(LICE_BitmapCmp(&a, nullptr, nullptr), 1);
  int r[4] = {9, 9, 9, 9};
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, r), 0);
  EXPECT_EQ(std::vector<int>(r, r + 4), (std::vector<int>{0, 0, 0, 0}));
  b.getBits()[2 * b.getRowSpan() + 3] = 1;
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, r), 1);
  EXPECT_EQ(std::vector<int>(r, r + 4), (std::vector<int>{3, 2, 1, 1}));
  EXPECT_LT(LICE_BitmapCmp(&a, &b, nullptr), 0);
  b.getBits()[0 * b.getRowSpan() + 1] = 1;
  b.getBits()[3 * b.getRowSpan() + 4] = 1;
  b.getBits()[1 * b.getRowSpan() + 0] = 1;
  EXPECT_EQ(LICE_BitmapCmp(&a, &b, r), 1);
  EXPECT_EQ(std::vector<int>(r, r + 4), (std::vector<int>{0, 0, 5, 4}));
}

}  // namespace
