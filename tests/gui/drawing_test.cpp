#include "GuiTestUtil.h"

#include "raster/lice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

// A bitmap whose pixel (x, y) has red = y, or red = x when byColumn; opaque.
std::unique_ptr<LICE_MemBitmap> ramp(int w, int h, bool byColumn)
{
  std::unique_ptr<LICE_MemBitmap> b(new LICE_MemBitmap(w, h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b->getBits()[y * b->getRowSpan() + x] = LICE_MakePixel(byColumn ? x : y, 0, 0, 255);
  return b;
}

std::unique_ptr<LICE_MemBitmap> solid(int w, int h, LICE_PixelValue p)
{
  std::unique_ptr<LICE_MemBitmap> b(new LICE_MemBitmap(w, h));
  LICE_Clear(b.get(), p);
  return b;
}

// What the raster library makes of the bitmap blitted over white.
LICE_PixelValue blitOverWhite(LICE_IBitmap* src, float alpha, int mode)
{
  auto dest = solid(4, 4, LICE_MakePixel(255, 255, 255, 255));
  LICE_Blit(dest.get(), src, 0, 0, 0, 0, 4, 4, alpha, mode);
  return dest->getBits()[0];
}

class DrawingTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    pass = new FnControl;  // the background: runs the test's drawing inside the pass
    g.AttachControl(pass);
    g.PrepDraw();
    IRECT all(0, 0, 200, 100);
    g.FillIRect(&COLOR_WHITE, &all, &clobber);
  }

  // Runs fn inside a drawing pass over the area.
  void inPass(IRECT area, std::function<void(IGraphics*)> fn)
  {
    pass->fn = std::move(fn);
    g.Draw(&area);
    pass->fn = nullptr;
  }

  bool isWhite(int x, int y) { return g.GetPoint(x, y) == COLOR_WHITE; }

  HeadlessGraphics g{nullptr, 200, 100};
  FnControl* pass = nullptr;
  const IColor red{255, 255, 0, 0};
  const IChannelBlend clobber{IChannelBlend::kBlendClobber};
};

}  // namespace

TEST_F(DrawingTest, ColourComponentsMapToThePixelBytes)
{
  const IColor c(255, 1, 2, 3);
  IRECT r(0, 0, 4, 4);
  g.FillIRect(&c, &r, &clobber);
  const LICE_PixelValue raw = ((LICE_PixelValue*)g.GetBits())[0];
  EXPECT_EQ(raw, 255u | 1u << 8 | 2u << 16 | 3u << 24);
  EXPECT_EQ(g.GetPoint(0, 0), c);
  EXPECT_EQ(g.GetPoint(-1, 0), IColor(0, 0, 0, 0));  // outside reads 0
}

TEST_F(DrawingTest, FramesStartWhereTheirRoundedOffsetSays)
{
  auto column = ramp(10, 100, false);
  auto row = ramp(100, 10, true);
  IBitmap five(column.get(), 10, 100, 5, false);
  IBitmap three(column.get(), 10, 100, 3, false);
  IBitmap side(row.get(), 100, 10, 5, true);
  const struct
  {
    IBitmap* bitmap;
    int frame;
    int firstRed;
  } cases[] = {
    {&five, 1, 0}, {&five, 3, 40}, {&five, 5, 80}, {&three, 2, 33}, {&three, 3, 67}, {&side, 3, 40}, {&side, 0, 0},
  };
  for (const auto& c : cases)
  {
    inPass(IRECT(0, 0, 200, 100), [&](IGraphics* gr) {
      IRECT dest(20, 20, 30, 30);
      gr->DrawBitmap(c.bitmap, &dest, c.frame, &clobber);
    });
    EXPECT_EQ(g.GetPoint(20, 20).R, c.firstRed) << c.frame;
  }
  // The frame replaces the source point only along the frame axis.
  inPass(IRECT(0, 0, 200, 100), [&](IGraphics* gr) {
    IRECT dest(20, 20, 30, 30);
    gr->DrawBitmap(&five, &dest, 3, 0, 5, &clobber);
  });
  EXPECT_EQ(g.GetPoint(20, 20).R, 40);
}

TEST_F(DrawingTest, BitmapsAreDrawnOnlyInsideTheDrawingPassArea)
{
  auto green = solid(20, 20, LICE_MakePixel(0, 255, 0, 255));
  IBitmap b(green.get(), 20, 20);
  inPass(IRECT(0, 0, 25, 25), [&](IGraphics* gr) {
    IRECT inside(10, 10, 30, 30);
    IRECT outside(150, 50, 170, 70);
    gr->DrawBitmap(&b, &inside, 1, &clobber);
    gr->DrawBitmap(&b, &outside, 1, &clobber);
  });
  EXPECT_EQ(g.GetPoint(24, 24), COLOR_GREEN);
  EXPECT_TRUE(isWhite(25, 25));
  EXPECT_TRUE(isWhite(155, 55));
  // An empty bitmap draws nothing.
  IBitmap none;
  inPass(IRECT(0, 0, 200, 100), [&](IGraphics* gr) {
    IRECT dest(0, 0, 50, 50);
    gr->DrawBitmap(&none, &dest, 1, &clobber);
  });
  EXPECT_TRUE(isWhite(40, 40));
}

TEST_F(DrawingTest, BlendMethodsMapToCombineModes)
{
  auto clear = solid(4, 4, LICE_MakePixel(255, 0, 0, 0));  // red, alpha 0
  auto opaque = solid(4, 4, LICE_MakePixel(255, 0, 0, 255));
  IBitmap transparentRed(clear.get(), 4, 4), opaqueRed(opaque.get(), 4, 4);
  const IChannelBlend half(IChannelBlend::kBlendClobber, 0.5f), add(IChannelBlend::kBlendAdd);
  const LICE_PixelValue white = LICE_MakePixel(255, 255, 255, 255);
  const struct
  {
    IBitmap* bitmap;
    const IChannelBlend* blend;
    LICE_PixelValue expected;
  } cases[] = {
    {&transparentRed, nullptr, white},  // copy weighted by the source's own alpha
    {&transparentRed, &clobber, LICE_MakePixel(255, 0, 0, 0)},
    {&opaqueRed, nullptr, LICE_MakePixel(255, 0, 0, 255)},
    {&opaqueRed, &half, blitOverWhite(opaque.get(), 0.5f, LICE_MODE_COPY)},
    {&opaqueRed, &add, blitOverWhite(opaque.get(), 1.0f, LICE_MODE_ADD | LICE_MODE_SOURCEALPHA)},
  };
  int x = 0;
  for (const auto& c : cases)
  {
    inPass(IRECT(0, 0, 200, 100), [&](IGraphics* gr) {
      IRECT dest(x, 0, x + 4, 4);
      gr->DrawBitmap(c.bitmap, &dest, 1, c.blend);
    });
    EXPECT_EQ(((LICE_PixelValue*)g.GetBits())[x], c.expected) << x;
    x += 10;
  }
}

TEST_F(DrawingTest, LinesByFraction)
{
  IRECT box(10, 10, 50, 30);
  g.DrawHorizontalLine(&red, &box, 1.5f);  // clamped to 1: the top
  EXPECT_EQ(g.GetPoint(20, 10), red);
  g.DrawHorizontalLine(&red, &box, -1.0f);  // clamped to 0: the bottom
  EXPECT_EQ(g.GetPoint(20, 30), red);
  EXPECT_TRUE(isWhite(20, 20));
  g.DrawVerticalLine(&red, &box, 0.5f);
  EXPECT_EQ(g.GetPoint(30, 20), red);
  EXPECT_TRUE(isWhite(29, 20));
}

TEST_F(DrawingTest, RectOutlineIncludesTheRightAndBottomEdges)
{
  IRECT r(10, 10, 20, 20);
  g.DrawRect(&red, &r);
  for (int i = 10; i <= 20; ++i)
  {
    EXPECT_EQ(g.GetPoint(i, 10), red) << i;
    EXPECT_EQ(g.GetPoint(i, 20), red) << i;
    EXPECT_EQ(g.GetPoint(10, i), red) << i;
    EXPECT_EQ(g.GetPoint(20, i), red) << i;
  }
  EXPECT_TRUE(isWhite(15, 15));
  EXPECT_TRUE(isWhite(21, 15));
}

TEST_F(DrawingTest, RadialLinePointsUpAtZero)
{
  g.DrawRadialLine(&red, 50.0f, 50.0f, 0.0f, 5.0f, 20.0f);
  EXPECT_EQ(g.GetPoint(50, 35), red);
  EXPECT_EQ(g.GetPoint(50, 44), red);
  EXPECT_TRUE(isWhite(50, 47));
  EXPECT_TRUE(isWhite(50, 60));
  g.DrawRadialLine(&red, 100.0f, 50.0f, (float)(M_PI / 2.0), 0.0f, 10.0f);  // a quarter turn: right
  EXPECT_EQ(g.GetPoint(108, 50), red);
  EXPECT_TRUE(isWhite(92, 50));
}

TEST_F(DrawingTest, PointsAndForcedPixels)
{
  g.DrawPoint(&red, 2.6f, 3.4f);
  EXPECT_EQ(g.GetPoint(3, 3), red);
  const IColor translucent(10, 20, 30, 40);
  g.ForcePixel(&translucent, 5, 6);
  EXPECT_EQ(g.GetPoint(5, 6), translucent);  // written as it is, no blending
  g.ForcePixel(&translucent, -1, 0);
  g.ForcePixel(&translucent, 200, 0);
  g.ForcePixel(&translucent, 0, 100);
  EXPECT_TRUE(isWhite(0, 0));
}

TEST_F(DrawingTest, FillsAndOutlines)
{
  IRECT rounded(10, 10, 50, 40);
  g.FillRoundRect(&red, &rounded, nullptr, 5, false);
  EXPECT_EQ(g.GetPoint(30, 25), red);
  EXPECT_EQ(g.GetPoint(11, 25), red);
  EXPECT_EQ(g.GetPoint(30, 10), red);
  EXPECT_TRUE(isWhite(10, 10));  // the corner is cut
  EXPECT_TRUE(isWhite(50, 25));

  g.FillTriangle(&red, 100, 10, 140, 10, 100, 50);
  EXPECT_EQ(g.GetPoint(105, 15), red);
  EXPECT_TRUE(isWhite(138, 48));
  int xs[] = {150, 190, 190, 150}, ys[] = {60, 60, 90, 90};
  g.FillIConvexPolygon(&red, xs, ys, 4);
  EXPECT_EQ(g.GetPoint(170, 75), red);

  g.FillCircle(&red, 70, 70, 8.0f);
  EXPECT_EQ(g.GetPoint(70, 70), red);
  EXPECT_TRUE(isWhite(70, 80));

  g.DrawCircle(&red, 30.0f, 70.0f, 10.0f);
  EXPECT_EQ(g.GetPoint(30, 60), red);
  EXPECT_TRUE(isWhite(30, 70));

  IChannelBlend none(IChannelBlend::kBlendNone, 0.0f);
  IRECT nothing(0, 90, 10, 100);
  g.FillIRect(&red, &nothing, &none);  // weight 0 draws nothing
  EXPECT_TRUE(isWhite(5, 95));
}

TEST_F(DrawingTest, ScaledAndCroppedCopiesAreNewBitmaps)
{
  auto column = ramp(10, 100, false);
  IBitmap five(column.get(), 10, 100, 5, true);
  IBitmap half = g.ScaleBitmap(&five, 5, 50);
  ASSERT_NE(half.mData, nullptr);
  EXPECT_EQ(half.W, 5);
  EXPECT_EQ(half.H, 50);
  EXPECT_EQ(half.N, 5);
  EXPECT_FALSE(half.mFramesAreHorizontal);
  EXPECT_EQ(half.mData->getWidth(), 5);

  IRECT third(0, 40, 10, 60);
  IBitmap cropped = g.CropBitmap(&five, &third);
  ASSERT_NE(cropped.mData, nullptr);
  EXPECT_EQ(cropped.W, 10);
  EXPECT_EQ(cropped.H, 20);
  EXPECT_EQ(LICE_PixelR(LICE_GetPixel(cropped.mData, 0, 0)), 40);
  EXPECT_EQ(LICE_PixelR(LICE_GetPixel(cropped.mData, 0, 19)), 59);
  // Both belong to the store now, which frees them on release.
  g.ReleaseBitmap(&half);
  g.ReleaseBitmap(&cropped);
}

TEST_F(DrawingTest, RotatedBitmapsAndMasks)
{
  auto green = solid(10, 10, LICE_MakePixel(0, 255, 0, 255));
  IBitmap b(green.get(), 10, 10);
  g.DrawRotatedBitmap(&b, 50, 50, 0.0, 0, &clobber);
  EXPECT_EQ(g.GetPoint(50, 50), COLOR_GREEN);
  EXPECT_TRUE(isWhite(60, 50));

  auto base = solid(10, 10, LICE_MakePixel(0, 0, 255, 255));
  auto mask = solid(10, 10, LICE_MakePixel(0, 0, 0, 255));
  auto top = solid(10, 10, LICE_MakePixel(0, 0, 0, 0));
  IBitmap baseB(base.get(), 10, 10), maskB(mask.get(), 10, 10), topB(top.get(), 10, 10);
  inPass(IRECT(0, 0, 125, 100), [&](IGraphics* gr) { gr->DrawRotatedMask(&baseB, &maskB, &topB, 120, 20, 0.0, &clobber); });
  const IColor p = g.GetPoint(122, 25);
  EXPECT_EQ(p.R, 0);
  EXPECT_EQ(p.G, 0);
  EXPECT_EQ(p.B, 255);
  EXPECT_TRUE(isWhite(126, 25));  // outside the pass's area
}
