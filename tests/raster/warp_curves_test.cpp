// Rotated, delta and transform blits; Bezier curves.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "draw_test_util.h"

using namespace draw_test;

namespace {

void pattern(GuardedBitmap& b)
{
  for (int y = 0; y < b.getHeight(); y++)
    for (int x = 0; x < b.getWidth(); x++)
      b.getBits()[y * b.getRowSpan() + x] = LICE_MakePixel(x * 20, y * 30, x * y, 255);
}

TEST(RotatedBlit, NoRotationReproducesTheSource)
{
  GuardedBitmap src(8, 6);
  pattern(src);
  for (int mode : {0, (int)LICE_MODE_BILINEAR}) {
    GuardedBitmap dst(12, 10);
    LICE_RotatedBlit(&dst, &src, 2, 3, 8, 6, 0, 0, 8, 6, 0.0f, false, 1.0f, mode, 0, 0);
    for (int y = 0; y < 6; y++)
      for (int x = 0; x < 8; x++) ASSERT_EQ(dst.at(x + 2, y + 3), src.at(x, y)) << mode << " " << x << "," << y;
    EXPECT_EQ(dst.at(1, 3), 0u);
    EXPECT_TRUE(dst.guardsIntact());
  }
}

TEST(RotatedBlit, NegativeWidthMirrors)
{
  // Positions fall on pixel corners: column x samples source x 4 - x, so the
  // first column would read just past the source and is left alone.
  GuardedBitmap src(4, 4);
  pattern(src);
  GuardedBitmap mirrored(4, 4);
  LICE_RotatedBlit(&mirrored, &src, 4, 0, -4, 4, 0, 0, 4, 4, 0.0f, false, 1.0f, 0, 0, 0);
  for (int y = 0; y < 4; y++) {
    EXPECT_EQ(mirrored.at(0, y), 0u);
    for (int x = 1; x < 4; x++) EXPECT_EQ(mirrored.at(x, y), src.at(4 - x, y)) << x << "," << y;
  }
}

TEST(DeltaBlit, ClipToSourceRectKeepsOutsidePixels)
{
  GuardedBitmap src(8, 8);
  pattern(src);
  GuardedBitmap clipped(8, 8), open(8, 8);
  clipped.clear(grey(7));
  open.clear(grey(7));
  // Source rectangle 2..5 drawn one to one over the whole destination.
  LICE_DeltaBlit(&clipped, &src, 0, 0, 8, 8, 2, 2, 4, 4, 1, 0, 0, 1, 0, 0, true, 1.0f, 0);
  LICE_DeltaBlit(&open, &src, 0, 0, 8, 8, 2, 2, 4, 4, 1, 0, 0, 1, 0, 0, false, 1.0f, 0);
  EXPECT_EQ(clipped.at(0, 0), src.at(2, 2));
  EXPECT_EQ(clipped.at(3, 3), src.at(5, 5));
  EXPECT_EQ(clipped.at(4, 4), grey(7));
  EXPECT_EQ(open.at(4, 4), src.at(6, 6));
  EXPECT_EQ(open.at(6, 6), grey(7));  // beyond the source bitmap
}

TEST(DeltaBlit, BilinearStaysInsideTheClipRectangle)
{
  // Half-pixel offsets: inner pixels average four taps, the last column two
  // taps down, the last row two across, the corner is copied.
  GuardedBitmap src(2, 2);
  src.getBits()[0] = grey(0);
  src.getBits()[1] = grey(100);
  src.getBits()[src.getRowSpan()] = grey(200);
  src.getBits()[src.getRowSpan() + 1] = grey(40);
  GuardedBitmap dst(2, 2);
  LICE_DeltaBlit(&dst, &src, 0, 0, 2, 2, 0.5f, 0.5f, 2, 2, 1, 0, 0, 1, 0, 0, false, 1.0f,
                 LICE_MODE_BILINEAR);
  EXPECT_EQ(dst.at(0, 0), grey(85));  // (0 + 100 + 200 + 40) / 4
  EXPECT_EQ(dst.at(1, 0), grey(70));  // (100 + 40) / 2
  EXPECT_EQ(dst.at(0, 1), grey(120));  // (200 + 40) / 2
  EXPECT_EQ(dst.at(1, 1), grey(40));
}

TEST(DeltaBlit, NothingForZeroAlphaOrUnrepresentableSteps)
{
  GuardedBitmap src(4, 4);
  pattern(src);
  GuardedBitmap dst(4, 4);
  LICE_DeltaBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1, 0, 0, 1, 0, 0, false, 0.0f, 0);
  LICE_DeltaBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1, 0, 0, 1, 0, 0, false, -1.0f, 0);
  LICE_DeltaBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1e6, 0, 0, 1, 0, 0, false, 1.0f, 0);
  LICE_DeltaBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, NAN, 0, 0, 1, 0, 0, false, 1.0f, 0);
  LICE_RotatedBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 4, 4, INFINITY, false, 1.0f, 0, 0, 0);
  EXPECT_EQ(countSet(dst), 0);
}

TEST(TransformBlit, IdentityGridCopiesWithoutGapsOrOverlap)
{
  GuardedBitmap src(9, 7);
  pattern(src);
  // A 4 x 3 grid over 9 x 7: cells of 3 and 2.33 pixels whose edges truncate.
  std::vector<double> pts;
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 4; i++) {
      pts.push_back(i * 3.0);
      pts.push_back(j * 3.5);
    }
  GuardedBitmap dst(9, 7);
  LICE_TransformBlit2(&dst, &src, 0, 0, 9, 7, pts.data(), 4, 3, 0.5f, 1);
  GuardedBitmap once(9, 7);
  LICE_Blit(&once, &src, 0, 0, nullptr, 0.5f, 1);
  EXPECT_EQ(LICE_BitmapCmp(&dst, &once, nullptr), 0);
}

TEST(Curves, DirectionAndClipping)
{
  GuardedBitmap fwd(40, 30), rev(40, 30);
  LICE_DrawQBezier(&fwd, 2, 25, 20, -10, 37, 20, kWhite, 1.0f, 0, true, 1.0f);
  LICE_DrawQBezier(&rev, 37, 20, 20, -10, 2, 25, kWhite, 1.0f, 0, true, 1.0f);
  EXPECT_EQ(LICE_BitmapCmp(&fwd, &rev, nullptr), 0);
  GuardedBitmap cf(40, 30), cr(40, 30);
  LICE_DrawCBezier(&cf, 1, 2, 10, 40, 30, -10, 38, 28, kWhite, 1.0f, 0, false, 1.0f);
  LICE_DrawCBezier(&cr, 38, 28, 30, -10, 10, 40, 1, 2, kWhite, 1.0f, 0, false, 1.0f);
  EXPECT_EQ(LICE_BitmapCmp(&cf, &cr, nullptr), 0);
  EXPECT_GT(countSet(cf), 30);

  GuardedBitmap none(40, 30);
  LICE_DrawQBezier(&none, -30, 5, -20, 9, -2, 5, kWhite, 1.0f, 0, false, 1.0f);
  LICE_DrawCBezier(&none, 41, 5, 50, 9, 60, 9, 70, 5, kWhite, 1.0f, 0, false, 1.0f);
  EXPECT_EQ(countSet(none), 0);
}

TEST(Curves, ToleranceAndSolving)
{
  GuardedBitmap zero(40, 30), one(40, 30), huge(40, 30), line(40, 30);
  LICE_DrawCBezier(&zero, 1, 2, 10, 40, 30, -10, 38, 28, kWhite, 1.0f, 0, false, 0.0f);
  LICE_DrawCBezier(&one, 1, 2, 10, 40, 30, -10, 38, 28, kWhite, 1.0f, 0, false, 1.0f);
  EXPECT_EQ(LICE_BitmapCmp(&zero, &one, nullptr), 0);
  LICE_DrawQBezier(&huge, 1, 2, 20, 40, 38, 28, kWhite, 1.0f, 0, false, 1e9f);
  LICE_FLine(&line, 1, 2, 38, 28, kWhite, 1.0f, 0, false);
  EXPECT_EQ(LICE_BitmapCmp(&huge, &line, nullptr), 0);

  // Control point midway in x: x(t) is linear, so t = (x - x1) / (x3 - x1).
  double t = -1;
  EXPECT_FLOAT_EQ(LICE_Bezier_GetY<float>(0, 5, 10, 3, 10, 7, 5, &t), 5.0f);
  EXPECT_DOUBLE_EQ(t, 0.5);
  EXPECT_FLOAT_EQ(LICE_Bezier_GetY<float>(0, 5, 10, 3, 10, 7, -1, &t), 3.0f);
  EXPECT_DOUBLE_EQ(t, 0.0);
}

TEST(Curves, FillPieces)
{
  // A straight "curve" along row 10 filled up to row 4: the area between,
  // up to column xend - 1.
  GuardedBitmap b(30, 20);
  LICE_FillCBezier(&b, 2, 10, 8, 10, 16, 10, 22, 10, 4, kWhite, 1.0f, 0, 1.0f);
  EXPECT_EQ(b.at(2, 4), kWhite);
  EXPECT_EQ(b.at(12, 5), kWhite);
  EXPECT_EQ(b.at(12, 3), 0u);
  EXPECT_EQ(b.at(12, 11), 0u);
  EXPECT_EQ(b.at(22, 7), 0u);
  EXPECT_TRUE(b.guardsIntact());
  GuardedBitmap x(30, 20);
  LICE_FillCBezierX(&x, 10, 2, 10, 8, 10, 12, 10, 18, 25, kWhite, 1.0f, 0, 1.0f);
  EXPECT_EQ(x.at(17, 9), kWhite);
  EXPECT_EQ(x.at(9, 9), 0u);
  EXPECT_TRUE(x.guardsIntact());
}

}  // namespace
