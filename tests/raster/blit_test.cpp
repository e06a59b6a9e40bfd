#include "raster/lice.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>

class Blit : public PlainAndFast
{
};
DAVREL_PLAIN_AND_FAST(Blit);

class GradRect : public PlainAndFast
{
};
DAVREL_PLAIN_AND_FAST(GradRect);

class Blur : public PlainAndFast
{
};
DAVREL_PLAIN_AND_FAST(Blur);

namespace {

LICE_PixelValue pat(int x, int y)
{
  return LICE_MakePixel(x * 10 + y, 100 + x, 200 - y, 50 + x + y);
}

}  // namespace

TEST_P(Blit, ClippingMovesTheSourceOrTheDestination)
{
  LICE_MemBitmap src(8, 1), dst(8, 1);
  fillWith(&src, [](int x, int) { return grey(x + 1); });
  auto row = [&]() { return channelOf(&dst, LICE_PixelR); };

  LICE_Clear(&dst, 0);
  LICE_Blit(&dst, &src, -5, 0, nullptr, 1.0f, 0);  // source column 5 lands at 0
  EXPECT_EQ(row(), (std::vector<int>{6, 7, 8, 0, 0, 0, 0, 0}));

  LICE_Clear(&dst, 0);
  const RECT r = {-5, 0, 3, 1};  // source column 0 lands at dstx + 5
  LICE_Blit(&dst, &src, 1, 0, &r, 1.0f, 0);
  EXPECT_EQ(row(), (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 2}));

  LICE_Clear(&dst, 0);
  LICE_Blit(&dst, &src, 6, 0, 1, 0, 5, 1, 1.0f, 0);  // cut at the right edge
  EXPECT_EQ(row(), (std::vector<int>{0, 0, 0, 0, 0, 0, 2, 3}));

  LICE_Clear(&dst, 0);
  LICE_Blit(&dst, &src, 8, 0, nullptr, 1.0f, 0);
  LICE_Blit(&dst, &src, 0, 1, nullptr, 1.0f, 0);
  LICE_Blit(&dst, &src, 0, 0, 4, 0, -2, 1, 1.0f, 0);  // right <= left
  LICE_Blit(&dst, &src, INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 1.0f, 0);
  LICE_Blit(&dst, &src, INT_MAX, 0, INT_MIN, 0, INT_MAX, 1, 1.0f, 0);
  LICE_Blit(&dst, &src, 0, 0, nullptr, 0.0f, 0);
  LICE_Blit(&dst, nullptr, 0, 0, nullptr, 1.0f, 0);
  LICE_Blit(nullptr, &src, 0, 0, nullptr, 1.0f, 0);
  EXPECT_EQ(row(), std::vector<int>(8, 0));
}

// Every mode and weight, the opaque copy and the whole-word half mix among them, on
// rows with padding (6 wide) and without (8 wide: the opaque copy is one run).
TEST_P(Blit, EveryModeUsesTheCombinerOfTheDispatchTable)
{
  for (int width : {6, 8})
  {
    LICE_MemBitmap src(width, 6), dst(width, 6), before(width, 6);
    std::mt19937 rng(7);
    fillRandom(&src, rng);
    fillRandom(&before, rng);
    const int modes[] = {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005, 6, 0xEF, 0x10006,
                         0x105, 0x20002};
    const float alphas[] = {1.0f, 0.5f, 0.25f, 1.0f / 256, 0.3f, 0.75f, 255.0f / 256, 1.001f, -0.5f};
    for (int mode : modes)
      for (float alpha : alphas)
      {
        LICE_Copy(&dst, &before);
        LICE_Blit(&dst, &src, 0, 0, nullptr, alpha, mode);
        for (int y = 0; y < 6; ++y)
          for (int x = 0; x < width; ++x)
          {
            LICE_PixelValue want = LICE_GetPixel(&before, x, y);
            const LICE_PixelValue s = LICE_GetPixel(&src, x, y);
            if ((mode & 0x100FF) == 0 && alpha == 0.5f)
              want = ((s >> 1) & 0x7F7F7F7F) + ((want >> 1) & 0x7F7F7F7F);
            else
              want = LICE_CombinePixels(want, s, alpha, mode);
            ASSERT_EQ(LICE_GetPixel(&dst, x, y), want) << std::hex << mode << " " << alpha << std::dec << " " << width;
          }
      }
  }
}

TEST_P(Blit, ChannelCopyMovesOneByte)
{
  LICE_MemBitmap src(2, 1), dst(2, 1);
  LICE_PutPixel(&src, 0, 0, LICE_MakePixel(11, 22, 33, 44), 1.0f, 0);
  LICE_PutPixel(&src, 1, 0, LICE_MakePixel(55, 66, 77, 88), 1.0f, 0);
  LICE_Clear(&dst, LICE_MakePixel(1, 2, 3, 4));
  LICE_Blit(&dst, &src, 0, 0, nullptr, 0.1f, 0xF1);  // red (byte 1) into alpha (byte 0)
  EXPECT_EQ(LICE_GetPixel(&dst, 0, 0), LICE_MakePixel(1, 2, 3, 11));
  EXPECT_EQ(LICE_GetPixel(&dst, 1, 0), LICE_MakePixel(1, 2, 3, 55));
  LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, 0xFB);  // blue (byte 3) into green (byte 2)
  EXPECT_EQ(LICE_GetPixel(&dst, 0, 0), LICE_MakePixel(1, 33, 3, 11));
}

TEST_P(Blit, CopyTakesTheSourceSize)
{
  LICE_MemBitmap src(3, 2), dst(10, 10);
  fillWith(&src, pat);
  LICE_Copy(&dst, &src);
  EXPECT_EQ(dst.getWidth(), 3);
  EXPECT_EQ(dst.getHeight(), 2);
  EXPECT_EQ(pixels(&dst), pixels(&src));
  LICE_Copy(&dst, nullptr);
  LICE_Copy(nullptr, &src);
  LICE_Copy(&dst, &dst);
  EXPECT_EQ(pixels(&dst), pixels(&src));
}

TEST_P(Blit, OntoItselfReadsTheUnchangedSource)
{
  LICE_MemBitmap b(6, 4), want(6, 4);
  fillWith(&b, pat);
  LICE_Copy(&want, &b);
  LICE_Blit(&want, &b, 1, 1, 0, 0, 5, 3, 1.0f, 0);  // from a separate copy
  LICE_Blit(&b, &b, 1, 1, 0, 0, 5, 3, 1.0f, 0);
  EXPECT_EQ(pixels(&b), pixels(&want));

  fillWith(&b, pat);
  LICE_Copy(&want, &b);
  LICE_MemBitmap copy;
  LICE_Copy(&copy, &b);
  LICE_Blit(&want, &copy, 0, 0, 1, 1, 5, 3, 0.3f, LICE_MODE_ADD);
  LICE_Blit(&b, &b, 0, 0, 1, 1, 5, 3, 0.3f, LICE_MODE_ADD);
  EXPECT_EQ(pixels(&b), pixels(&want));
}

TEST_P(Blit, FlippedBitmapsAreAddressedFromTheirLastStoredRow)
{
  FlippedBitmap src(2, 2);
  LICE_MemBitmap dst(2, 2);
  fillWith(&src, pat);
  EXPECT_EQ(src.getBits()[0], pat(0, 1));  // row 1 is stored first
  LICE_Blit(&dst, &src, 0, 0, nullptr, 1.0f, 0);
  EXPECT_EQ(pixels(&dst), pixels(&src));
  LICE_Blit(&src, &dst, 0, 0, nullptr, 0.75f, LICE_MODE_MULTIPLY);
  EXPECT_EQ(LICE_GetPixel(&src, 1, 0), LICE_CombinePixels(pat(1, 0), pat(1, 0), 0.75f, LICE_MODE_MULTIPLY));
}

TEST_P(GradRect, OpaqueCopyWritesClampedColoursWithFullAlpha)
{
  LICE_MemBitmap b(4, 5);
  LICE_Clear(&b, LICE_MakePixel(9, 9, 9, 9));
  // red 0 + 127.5 a column; green 255 - 63.75 a row; blue 0.5 x 255 = 127.5 everywhere.
  LICE_GradRect(&b, 0, 0, 4, 5, 0, 1, 0.5f, 1, 0.5f, 0, 0, 0, 0, -0.25f, 0, 0, LICE_MODE_COPY);
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{0, 127, 255, 255, 0, 127, 255, 255, 0, 127, 255, 255, 0,
                                                          127, 255, 255, 0, 127, 255, 255}));
  const int greens[] = {255, 191, 127, 63, 0};
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 4; ++x)
    {
      EXPECT_EQ(LICE_PixelG(LICE_GetPixel(&b, x, y)), greens[y]);
      EXPECT_EQ(LICE_PixelB(LICE_GetPixel(&b, x, y)), 127);
      EXPECT_EQ(LICE_PixelA(LICE_GetPixel(&b, x, y)), 255);
    }
}

TEST_P(GradRect, NegativePositionsStartFurtherAlongAndAlphaIsThePixelsWeight)
{
  LICE_MemBitmap b(3, 1);
  LICE_Clear(&b, 0);
  LICE_GradRect(&b, -2, 0, 5, 1, 0, 0, 0, 1, 0.25f, 0, 0, 0, 0, 0, 0, 0, LICE_MODE_COPY);
  // Columns 2, 3, 4 of the gradient: 127.5, 191.25, 255.
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{127, 191, 255}));

  // Add with an alpha ramp: weight 0, 64, 128 a column, alpha channel the same.
  LICE_Clear(&b, LICE_MakePixel(10, 10, 10, 10));
  LICE_GradRect(&b, 0, 0, 3, 1, 1, 1, 1, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, LICE_MODE_ADD);
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{10, 10 + 63, 10 + 127}));
  EXPECT_EQ(channelOf(&b, LICE_PixelA), (std::vector<int>{10, 10 + 16, 10 + 64}));

  // Copy with partial alpha blends toward the colour, clamping.
  LICE_Clear(&b, 0);
  LICE_GradRect(&b, 0, 0, 3, 1, 2, 0, 0, 0.5f, 0, 0, 0, 0, 0, 0, 0, 0, LICE_MODE_COPY);
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{255, 255, 255}));  // 510 + (0 - 510) / 2 = 255
  EXPECT_EQ(channelOf(&b, LICE_PixelA), (std::vector<int>{64, 64, 64}));

  // Absurd and non-finite values never overflow.
  LICE_GradRect(&b, 0, 0, 3, 1, 1e30f, -1e30f, 1, 1e30f, 1e30f, 1e30f, 0, 1e30f, 0, 0, 0, 0, LICE_MODE_MULTIPLY);
  LICE_GradRect(&b, 0, 0, 3, 1, NAN, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, LICE_MODE_COPY);
  LICE_GradRect(&b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, LICE_MODE_OVERLAY);
}

TEST_P(Blur, UniformAreaLosesOnlyTheShiftedBits)
{
  LICE_MemBitmap b(4, 3);
  LICE_Clear(&b, 0xFFFFFFFF);
  LICE_MemBitmap out(4, 3);
  LICE_Blur(&out, &b, 0, 0, 0, 0, 4, 3);
  EXPECT_EQ(channelOf(&out, LICE_PixelR), (std::vector<int>{253, 252, 252, 253, 252, 251, 251, 252, 253, 252, 252, 253}));
  EXPECT_EQ(pixels(&out)[5], 0xFBFBFBFBu);  // alpha is blurred like the colours

  LICE_MemBitmap narrow(1, 5);
  LICE_Clear(&narrow, 0x12345678);
  LICE_Blur(&narrow, &narrow, 0, 0, 0, 0, 1, 5);
  EXPECT_EQ(pixels(&narrow), std::vector<LICE_PixelValue>(5, 0x12345678));
}

TEST_P(Blur, OnePointSpreadsToItsNeighbours)
{
  LICE_MemBitmap b(3, 3), out(3, 3);
  LICE_Clear(&b, 0);
  LICE_PutPixel(&b, 1, 1, 0xFFFFFFFF, 1.0f, 0);
  LICE_Blur(&out, &b, 0, 0, 0, 0, 3, 3);
  // Centre: half of itself. Edge middles: a quarter (the only neighbour across).
  EXPECT_EQ(channelOf(&out, LICE_PixelG), (std::vector<int>{0, 63, 0, 63, 127, 63, 0, 63, 0}));
}

TEST_P(Blur, OntoItselfMatchesASeparateDestinationWhateverTheOffsets)
{
  std::mt19937 rng(11);
  struct Offsets
  {
    int dx, dy, sx, sy, w, h;
  };
  const Offsets cases[] = {{0, 0, 0, 0, 9, 7}, {2, 1, 0, 0, 7, 6}, {0, 0, 2, 1, 7, 6}, {1, 3, 3, 1, 5, 4},
                           {-1, -2, 0, 0, 9, 7}, {0, 0, -3, -1, 9, 7}};
  for (const Offsets& o : cases)
  {
    LICE_MemBitmap b(9, 7), src(9, 7), want(9, 7);
    fillRandom(&b, rng);
    LICE_Copy(&src, &b);
    LICE_Copy(&want, &b);
    LICE_Blur(&want, &src, o.dx, o.dy, o.sx, o.sy, o.w, o.h);
    LICE_Blur(&b, &b, o.dx, o.dy, o.sx, o.sy, o.w, o.h);
    EXPECT_EQ(pixels(&b), pixels(&want)) << o.dx << " " << o.dy << " " << o.sx << " " << o.sy;
  }
}
