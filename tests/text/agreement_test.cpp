// The two ways a string reaches the screen must agree: opaque text drawn natively and
// translucent text drawn from the glyph cache land on the same pixels, and native text
// drawn through the temporary bitmap equals native text drawn on a bitmap's own context.

#include "text_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace texttest;

namespace {

const char* const kStrings[] = {
  "NK57 Monospace", "PROGRAM 127 !", "Init Program", "\xC3\x89t\xC3\xA9 \xE2\x82\xAC 5", "wide WWW|||", "j,g;q_",
};

struct Difference
{
  int dx, dy;  // offset of the cached picture against the native one
  int maxDelta;
};

// The offset in -1..1 that makes the two pictures closest, and the largest channel
// difference at that offset.
Difference compare(LICE_IBitmap* native, LICE_IBitmap* cached)
{
  Difference best = {0, 0, 1 << 30};
  long bestSum = -1;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
    {
      long sum = 0;
      int maxDelta = 0;
      for (int y = 1; y < native->getHeight() - 1; ++y)
        for (int x = 1; x < native->getWidth() - 1; ++x)
        {
          const LICE_PixelValue a = LICE_GetPixel(native, x, y), b = LICE_GetPixel(cached, x + dx, y + dy);
          const int d[3] = {abs(LICE_PixelR(a) - LICE_PixelR(b)), abs(LICE_PixelG(a) - LICE_PixelG(b)),
                            abs(LICE_PixelB(a) - LICE_PixelB(b))};
          for (int v : d)
          {
            sum += v;
            if (v > maxDelta) maxDelta = v;
          }
        }
      if (bestSum < 0 || sum < bestSum)
      {
        bestSum = sum;
        best = Difference{dx, dy, maxDelta};
      }
    }
  return best;
}

// The editor's font: bound with "owns the font, draw natively"; the translucent route
// is taken by the colour-alpha flag, here with an opaque colour so both routes draw the
// same picture. Both place glyphs at whole pixels from the same baseline, so the offset
// is zero. Without antialiasing the pixels are equal; with it the cache's weight of
// coverage + 1 may lift a partly covered pixel by a step, a few where glyphs overlap.
// Both clip at the rectangle's top, above which a cached glyph keeps no ink (the accent
// of a capital reaching above the ascent).
TEST(Agreement, NativeAndCachedTextLandOnTheSamePixels)
{
  const LICE_PixelValue colours[] = {LICE_MakePixel(255, 255, 255, 255), LICE_MakePixel(200, 180, 40, 255)};
  for (int quality : {3, 4})
    for (int size : {10, 12, 13, 16, 21})
      for (const char* text : kStrings)
        for (LICE_PixelValue colour : colours)
        {
          LICE_SysBitmap native(260, 40), cached(260, 40);
          LICE_Clear(&native, LICE_MakePixel(0, 0, 0, 255));
          LICE_Clear(&cached, LICE_MakePixel(0, 0, 0, 255));
          LICE_CachedFont font;
          font.SetFromHFont(makeFont(size, quality), LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
          font.SetTextColor(colour);
          RECT r = {4, 3, 256, 38};
          font.DrawText(&native, text, -1, &r, 0);
          font.DrawText(&cached, text, -1, &r, LICE_TEXT_COLORALPHA);
          const Difference d = compare(&native, &cached);
          EXPECT_EQ(0, d.dx) << text << " " << size << " " << quality;
          EXPECT_EQ(0, d.dy) << text << " " << size << " " << quality;
          EXPECT_LE(d.maxDelta, quality == 3 ? 0 : 3) << text << " " << size << " " << quality;
        }
}

// Centred, right and bottom alignment: the cache's box is placed by the native measure.
TEST(Agreement, AlignedTextAgreesToo)
{
  for (unsigned align : {(unsigned)DT_CENTER, (unsigned)(DT_RIGHT | DT_BOTTOM), (unsigned)(DT_CENTER | DT_VCENTER)})
  {
    LICE_SysBitmap native(200, 50), cached(200, 50);
    LICE_Clear(&native, 0);
    LICE_Clear(&cached, 0);
    LICE_CachedFont font;
    font.SetFromHFont(makeFont(14, 3), LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
    font.SetTextColor(LICE_MakePixel(255, 255, 255, 255));
    RECT r = {10, 5, 190, 45};
    font.DrawText(&native, "PROGRAM 001", -1, &r, align);
    font.DrawText(&cached, "PROGRAM 001", -1, &r, align | LICE_TEXT_COLORALPHA);
    const Difference d = compare(&native, &cached);
    EXPECT_EQ(0, d.dx) << align;
    EXPECT_EQ(0, d.dy) << align;
    EXPECT_EQ(0, d.maxDelta) << align;
  }
}

// A bitmap without a drawing context gets native text through the temporary bitmap:
// copied in, drawn, copied back. The result equals drawing on a context directly.
TEST(Agreement, NativeTextWithoutAContextEqualsTextWithOne)
{
  struct Case
  {
    RECT r;
    unsigned format;
    int bkmode;
  } cases[] = {
    {{4, 3, 150, 40}, 0, 0},
    {{4, 3, 150, 40}, DT_CENTER | DT_VCENTER, 1},
    {{4, 3, 150, 40}, DT_RIGHT | DT_BOTTOM, 0},
    {{-20, -6, 60, 12}, 0, 1},          // cut at the top left: drawn at a negative offset
    {{100, 30, 300, 90}, 0, 0},         // running off the bitmap
    {{30, 10, 50, 20}, 0, 1},           // clipped to a small rectangle
    {{30, 10, 50, 20}, DT_NOCLIP, 0},
    {{-10, -10, 0, 0}, DT_NOCLIP, 0},
  };
  for (const Case& c : cases)
  {
    LICE_SysBitmap withContext(160, 50);
    LICE_MemBitmap withoutContext(160, 50);
    for (LICE_IBitmap* bm : {(LICE_IBitmap*)&withContext, (LICE_IBitmap*)&withoutContext})
    {
      LICE_Clear(bm, LICE_MakePixel(10, 20, 30, 255));
      LICE_CachedFont font;
      font.SetFromHFont(makeFont(16, 4), LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
      font.SetTextColor(LICE_MakePixel(250, 240, 100, 255));
      font.SetBkMode(c.bkmode);
      font.SetBkColor(LICE_MakePixel(90, 0, 0, 255));
      RECT r = c.r;
      font.DrawText(bm, "NK57 Monospace", -1, &r, c.format);
    }
    EXPECT_TRUE(samePixels(&withContext, &withoutContext)) << c.r.left << " " << c.format;
  }
}

TEST(Agreement, TemporaryBitmapRouteAppliesTheFontsAlpha)
{
  LICE_MemBitmap bm(100, 30);
  LICE_Clear(&bm, LICE_MakePixel(0, 0, 0, 255));
  LICE_CachedFont font;
  font.SetFromHFont(makeFont(16, 3), LICE_FONT_OWNSFONT | LICE_FONT_NATIVE);
  font.SetTextColor(LICE_MakePixel(255, 255, 255, 255));
  font.SetCombineMode(LICE_MODE_COPY, 0.5f);
  RECT r = {2, 2, 100, 30};
  EXPECT_EQ(21, font.DrawText(&bm, "#", -1, &r, 0));  // floor(14.85 + 3.77 + 1.5) + 1
  EXPECT_GT(countRedInk(&bm, 127), 10);  // copied back at alpha 0.5, a half mix: 255 / 2 + 0 / 2
}

}  // namespace
