#include "raster/lice.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

class ScaledBlit : public PlainAndFast
{
};
DAVREL_PLAIN_AND_FAST(ScaledBlit);

namespace {

// A bitmap whose every channel is v(x, y).
template <class F>
void greyPattern(LICE_IBitmap* b, F v)
{
  fillWith(b, [&](int x, int y) { return grey(v(x, y), v(x, y)); });
}

std::vector<int> values(LICE_IBitmap* b)
{
  return channelOf(b, LICE_PixelR);
}

const int kUnset = 7;

}  // namespace

TEST_P(ScaledBlit, FourByFourToThreeByThree)
{
  LICE_MemBitmap src(4, 4), dst(3, 3);
  greyPattern(&src, [](int x, int y) { return 16 * x + 64 * y; });
  const struct
  {
    int mode;
    std::vector<int> want;
  } cases[] = {
    // Steps of 87381 (4 / 3 in 16.16) sample columns and rows 0, 1, 2.
    {LICE_MODE_COPY, {0, 16, 32, 64, 80, 96, 128, 144, 160}},
    // Linear source: v(xi, yi) + (16 xf + 64 yf) >> 16 with fractions 0, 21845, 43690.
    {LICE_MODE_BILINEAR, {0, 21, 42, 85, 106, 127, 170, 191, 213}},
  };
  for (const auto& c : cases)
  {
    LICE_ScaledBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 4, 4, 1.0f, c.mode);
    EXPECT_EQ(values(&dst), c.want) << c.mode;
    EXPECT_EQ(channelOf(&dst, LICE_PixelA), c.want) << c.mode;
  }
}

TEST_P(ScaledBlit, TwoByTwoToFiveByFive)
{
  LICE_MemBitmap src(2, 2), dst(5, 5);
  const int v[2][2] = {{0, 100}, {200, 40}};  // [y][x]
  greyPattern(&src, [&](int x, int y) { return v[y][x]; });

  LICE_ScaledBlit(&dst, &src, 0, 0, 5, 5, 0, 0, 2, 2, 1.0f, LICE_MODE_COPY);
  EXPECT_EQ(values(&dst), (std::vector<int>{0, 0, 0, 100, 100, 0, 0, 0, 100, 100, 0, 0, 0, 100, 100,  //
                                            200, 200, 200, 40, 40, 200, 200, 200, 40, 40}));

  // Steps of 26214: the last column interpolates only down, the last row only
  // across, the corner is copied.
  LICE_ScaledBlit(&dst, &src, 0, 0, 5, 5, 0, 0, 2, 2, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst), (std::vector<int>{0, 39, 79, 100, 100,      //
                                            79, 78, 76, 76, 76,       //
                                            159, 116, 73, 52, 52,     //
                                            200, 136, 72, 40, 40,     //
                                            200, 136, 72, 40, 40}));

  // Cut at the left edge: the same columns, moved.
  LICE_Clear(&dst, grey(kUnset, kUnset));
  LICE_ScaledBlit(&dst, &src, -2, 0, 5, 1, 0, 0, 2, 2, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst)[0], 79);
  EXPECT_EQ(values(&dst)[1], 100);
  EXPECT_EQ(values(&dst)[2], 100);
  EXPECT_EQ(values(&dst)[3], kUnset);
}

TEST_P(ScaledBlit, BoxFilterForStrongReductions)
{
  LICE_MemBitmap src(4, 4), dst(2, 2);
  greyPattern(&src, [](int x, int y) { return 16 * x + 64 * y; });
  // Ratio 2: a 3 x 3 box centred on columns and rows 0 and 2, cut at the edges.
  LICE_ScaledBlit(&dst, &src, 0, 0, 2, 2, 0, 0, 4, 4, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst), (std::vector<int>{40, 64, 136, 160}));

  LICE_MemBitmap big(10, 10), out(3, 3);
  greyPattern(&big, [](int x, int y) { return 10 * y + x; });
  // Ratio 10/3: steps of 218453 > 0x30000 take the 5 x 5 box.
  LICE_ScaledBlit(&out, &big, 0, 0, 3, 3, 0, 0, 10, 10, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&out), (std::vector<int>{11, 13, 16, 31, 33, 36, 61, 63, 66}));

  // Exactly 0x30000 keeps the 3 x 3 box: the corner averages 0, 1, 10, 11.
  LICE_ScaledBlit(&out, &big, 0, 0, 3, 3, 0, 0, 9, 9, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&out)[0], 5);
  EXPECT_EQ(values(&out)[1], 8);
  // One step more (9.0001 / 3 = 196610) takes the 5 x 5 box.
  LICE_ScaledBlit(&out, &big, 0, 0, 3, 3, 0, 0, 9.0001f, 9.0001f, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&out)[0], 11);
}

TEST_P(ScaledBlit, BoxFilterOnlyFromOnePointSevenInBothDirections)
{
  LICE_MemBitmap src(170, 170), dst(100, 100);
  greyPattern(&src, [](int x, int y) { return x == 1 && y == 1 ? 200 : 0; });
  LICE_ScaledBlit(&dst, &src, 0, 0, 100, 100, 0, 0, 170, 170, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst)[0], 50);  // box: (0 + 0 + 0 + 200) / 4
  LICE_ScaledBlit(&dst, &src, 0, 0, 100, 100, 0, 0, 169, 170, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst)[0], 0);  // 1.69 across: bilinear at (0, 0)
  LICE_ScaledBlit(&dst, &src, 0, 0, 100, 100, 0, 0, 170, 170, 1.0f, LICE_MODE_COPY | 0x10000);
  EXPECT_EQ(values(&dst)[0], 0);  // no filtering without the bilinear bit
}

TEST_P(ScaledBlit, EdgesOfTheBoxUseFewerTapsAndKeepTheirLevel)
{
  LICE_MemBitmap src(13, 11), dst(4, 3);
  LICE_Clear(&src, grey(99, 99));
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 3, 0, 0, 13, 11, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(pixels(&dst), std::vector<LICE_PixelValue>(12, grey(99, 99)));
}

TEST_P(ScaledBlit, BilinearNeverReadsAtOrBeyondTheLimits)
{
  LICE_MemBitmap src(6, 6), dst(7, 7);
  // A 3 x 3 source rectangle at (1, 1) inside a frame of 255.
  greyPattern(&src, [](int x, int y) { return x >= 1 && x < 4 && y >= 1 && y < 4 ? 20 * x + 60 * y : 255; });
  LICE_ScaledBlit(&dst, &src, 0, 0, 7, 7, 1, 1, 3, 3, 1.0f, LICE_MODE_BILINEAR);
  for (int v : values(&dst)) EXPECT_LE(v, 20 * 3 + 60 * 3);
  EXPECT_EQ(values(&dst)[48], 240);  // the corner is source pixel (3, 3)
}

TEST_P(ScaledBlit, MirroringReversesTheSameSourcePixels)
{
  LICE_MemBitmap src(4, 1), dst(4, 1);
  greyPattern(&src, [](int x, int) { return 10 * (x + 1); });
  LICE_ScaledBlit(&dst, &src, 4, 0, -4, 1, 0, 0, 4, 1, 1.0f, LICE_MODE_COPY);
  EXPECT_EQ(values(&dst), (std::vector<int>{40, 30, 20, 10}));
  LICE_Clear(&dst, 0);
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 1, 4, 0, -4, 1, 1.0f, LICE_MODE_COPY);  // source width negative
  EXPECT_EQ(values(&dst), (std::vector<int>{40, 30, 20, 10}));
  LICE_Clear(&dst, 0);
  LICE_ScaledBlit(&dst, &src, 4, 0, -4, 1, 0, 0, 2, 1, 1.0f, LICE_MODE_COPY);  // doubled
  EXPECT_EQ(values(&dst), (std::vector<int>{20, 20, 10, 10}));
  LICE_Clear(&dst, 0);
  LICE_ScaledBlit(&dst, &src, 4, 0, -4, 1, 0, 0, 4, 1, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst), (std::vector<int>{40, 30, 20, 10}));

  LICE_MemBitmap col(1, 3), out(1, 3);
  greyPattern(&col, [](int, int y) { return y + 1; });
  LICE_ScaledBlit(&out, &col, 0, 3, 1, -3, 0, 0, 1, 3, 1.0f, LICE_MODE_COPY);
  EXPECT_EQ(values(&out), (std::vector<int>{3, 2, 1}));

  // Same size with both signs negative is no mirror at all: drawn, not skipped.
  LICE_Clear(&dst, 0);
  LICE_ScaledBlit(&dst, &src, 4, 1, -4, -1, 4, 1, -4, -1, 1.0f, LICE_MODE_COPY);
  EXPECT_EQ(values(&dst), (std::vector<int>{10, 20, 30, 40}));
}

TEST_P(ScaledBlit, MirroredReductionsAreNeverBoxFiltered)
{
  LICE_MemBitmap src(8, 8), dst(4, 4);
  greyPattern(&src, [](int x, int y) { return 3 * x + 20 * y; });
  LICE_ScaledBlit(&dst, &src, 4, 4, -4, -4, 0, 0, 8, 8, 1.0f, LICE_MODE_BILINEAR);
  // Positions 6, 4, 2, 0 with no fraction: the pixels themselves.
  EXPECT_EQ(values(&dst), (std::vector<int>{138, 132, 126, 120, 98, 92, 86, 80, 58, 52, 46, 40, 18, 12, 6, 0}));
}

TEST_P(ScaledBlit, NegativeSourcePositions)
{
  LICE_MemBitmap src(2, 1), dst(6, 1);
  greyPattern(&src, [](int x, int) { return 200 * x; });
  // Positive step from -1: the two columns left of the source are skipped.
  LICE_Clear(&dst, grey(kUnset));
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 1, -1, 0, 2, 1, 1.0f, LICE_MODE_COPY);
  EXPECT_EQ(values(&dst), (std::vector<int>{kUnset, kUnset, 0, 0, kUnset, kUnset}));

  // Falling positions 1.0 .. -0.25 by -0.25: -0.25 is pixel 0 with the fraction
  // 49152 (the low 16 bits), interpolated toward pixel 1.
  LICE_ScaledBlit(&dst, &src, 0, 0, 6, 1, 1.25f, 0, -1.5f, 1, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(values(&dst), (std::vector<int>{200, 150, 100, 50, 0, 150}));
}

TEST_P(ScaledBlit, HalfAlphaAndTheModeTable)
{
  LICE_MemBitmap src(2, 2), dst(4, 4);
  LICE_Clear(&src, 0x01010101);
  LICE_Clear(&dst, 0x01FF0301);
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, 0.5f, LICE_MODE_COPY);
  EXPECT_EQ(pixels(&dst), std::vector<LICE_PixelValue>(16, 0x007F0100));  // lowest bits dropped first

  LICE_Clear(&src, grey(200, 255));
  for (int mode : {0xF0, 6, 0x7F, 0xEF, 0x10006})
    for (float alpha : {1.0f, 0.5f, 0.3f})
    {
      LICE_Clear(&dst, grey(kUnset));
      LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, alpha, mode);
      EXPECT_EQ(pixels(&dst), std::vector<LICE_PixelValue>(16, grey(kUnset))) << mode;
    }
  for (int mode : {0, 1, 2, 3, 4, 5, 0x10000, 0x10003, 0x100})
  {
    LICE_Clear(&dst, grey(kUnset));
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, 0.0f, mode);
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, 0.001f, mode);
    EXPECT_EQ(pixels(&dst), std::vector<LICE_PixelValue>(16, grey(kUnset))) << mode;
  }
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, 2, -0.5f, LICE_MODE_COPY);
  EXPECT_EQ(pixels(&dst), std::vector<LICE_PixelValue>(16, grey(kUnset)));

  // Every other valid mode: each pixel is the combiner applied to its nearest sample.
  for (int mode : {1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005})
  {
    LICE_MemBitmap s2(2, 2);
    std::mt19937 rng(mode);
    fillRandom(&s2, rng);
    LICE_Clear(&dst, LICE_MakePixel(90, 30, 180, 60));
    LICE_ScaledBlit(&dst, &s2, 0, 0, 4, 4, 0, 0, 2, 2, 0.6f, mode);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(LICE_GetPixel(&dst, x, y),
                  LICE_CombinePixels(LICE_MakePixel(90, 30, 180, 60), LICE_GetPixel(&s2, x / 2, y / 2), 0.6f, mode))
          << mode;
  }
}

TEST_P(ScaledBlit, SameSizeIsAPlainBlitFromTheRoundedPosition)
{
  LICE_MemBitmap src(8, 2), a(4, 2), b(4, 2);
  fillWith(&src, [](int x, int y) { return LICE_MakePixel(x * 20, y * 50, 7, 200); });
  LICE_ScaledBlit(&a, &src, 0, 0, 4, 2, 2.4f, 0, 4.0005f, 2, 1.0f, LICE_MODE_COPY);
  LICE_Blit(&b, &src, 0, 0, 2, 0, 4, 2, 1.0f, LICE_MODE_COPY);
  EXPECT_EQ(pixels(&a), pixels(&b));
  // Channel copy goes through the plain blit too.
  LICE_ScaledBlit(&a, &src, 0, 0, 4, 2, 0, 0, 4, 2, 1.0f, 0xF1);
  EXPECT_EQ(LICE_PixelA(LICE_GetPixel(&a, 1, 0)), 20);
  // With the bilinear bit only near whole positions: 2.4 is scaled instead.
  LICE_ScaledBlit(&a, &src, 0, 0, 4, 2, 2.4f, 0, 4, 2, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(LICE_PixelR(LICE_GetPixel(&a, 0, 0)), 47);  // 40 + 20 x 26214 / 65536
  LICE_ScaledBlit(&a, &src, 0, 0, 4, 2, 2.02f, 0, 4, 2, 1.0f, LICE_MODE_BILINEAR);
  EXPECT_EQ(LICE_PixelR(LICE_GetPixel(&a, 0, 0)), 40);
}

TEST_P(ScaledBlit, AbsurdArgumentsDrawNothing)
{
  LICE_MemBitmap src(4, 4), dst(4, 4);
  LICE_Clear(&src, grey(200));
  LICE_Clear(&dst, grey(kUnset));
  // Positions and sizes beyond what 16.16 can hold, and non-finite values.
  const float bad[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 3e4f * 65536};
  for (float f : bad)
  {
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, f, 0, 2, 2, 1.0f, LICE_MODE_BILINEAR);
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, f, 2, 2, 1.0f, 0);
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, f, 2, 1.0f, 0);
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 2, f, 1.0f, 0x10000);
    LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, f, f, 4, 4, 1.0f, 0);
  }
  for (float alpha : {NAN, INFINITY}) LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 1, 1, 2, 2, alpha, 0x100);
  EXPECT_EQ(pixels(&dst), std::vector<LICE_PixelValue>(16, grey(kUnset)));
  LICE_ScaledBlit(&dst, &src, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 4, 4, 1.0f, LICE_MODE_BILINEAR);
  LICE_ScaledBlit(&dst, &src, INT_MAX, 0, INT_MIN, 4, 0, 0, 4, 4, 1.0f, 0);
  LICE_ScaledBlit(&dst, &src, 0, 0, INT_MIN, INT_MIN, 0, 0, 4, 4, 1.0f, 0);
  LICE_ScaledBlit(&dst, &src, 0, 0, 4, 4, 0, 0, 1e-20f, 1e-20f, 1.0f, LICE_MODE_BILINEAR);
  LICE_ScaledBlit(nullptr, &src, 0, 0, 4, 4, 0, 0, 4, 4, 1.0f, 0);
  LICE_ScaledBlit(&dst, nullptr, 0, 0, 4, 4, 0, 0, 4, 4, 1.0f, 0);
}
