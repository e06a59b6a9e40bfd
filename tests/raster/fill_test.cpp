#include "raster/lice.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>

class FillRect : public PlainAndFast
{
};
DAVREL_PLAIN_AND_FAST(FillRect);

class PixelAccess : public PlainAndFast
{
};
DAVREL_PLAIN_AND_FAST(PixelAccess);

TEST_P(FillRect, ClipsAtTheEdges)
{
  LICE_MemBitmap b(5, 1);
  LICE_Clear(&b, 0);
  LICE_FillRect(&b, -2, 0, 5, 1, grey(9), 1.0f, 0);
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{9, 9, 9, 0, 0}));
  LICE_FillRect(&b, 4, -3, 100, 100, grey(7), 1.0f, 0);
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{9, 9, 9, 0, 7}));
  LICE_FillRect(&b, INT_MIN, INT_MIN, INT_MAX, INT_MAX, grey(1), 1.0f, 0);
  LICE_FillRect(&b, INT_MAX, 0, INT_MAX, 1, grey(1), 1.0f, 0);
  LICE_FillRect(&b, 0, 0, 0, 1, grey(1), 1.0f, 0);
  LICE_FillRect(nullptr, 0, 0, 1, 1, grey(1), 1.0f, 0);
  EXPECT_EQ(channelOf(&b, LICE_PixelR), (std::vector<int>{9, 9, 9, 0, 7}));
}

TEST_P(FillRect, CopyAtTheWholeShiftWeights)
{
  struct Case
  {
    float alpha;
    int d, c, want;
  };
  const Case cases[] = {
    {1.0f, 7, 200, 200},
    {0.5f, 255, 1, 127},     // (d >> 1) + (c >> 1)
    {0.5f, 3, 3, 2},
    {0.25f, 255, 255, 253},  // 63 + 127 + 63
    {0.25f, 1, 255, 63},
    {0.75f, 255, 1, 63},     // 63 + 0 + 0
    {0.75f, 3, 255, 190},    // 0 + 127 + 63
    {0.001f, 8, 200, 8},     // weight 0
  };
  for (const Case& c : cases)
  {
    LICE_MemBitmap b(2, 2);
    LICE_Clear(&b, grey(c.d, c.d));
    LICE_FillRect(&b, 0, 0, 2, 2, grey(c.c, c.c), c.alpha, LICE_MODE_COPY);
    EXPECT_EQ(pixels(&b), std::vector<LICE_PixelValue>(4, grey(c.want, c.want))) << c.alpha << " " << c.d;
  }
}

TEST_P(FillRect, OtherWeightsBlendTheAlphaByteTowardTheWeight)
{
  // 0.3 gives weight 76: 255 + (0 - 255) x 180 / 256 = 76 for the colour; the alpha
  // byte moves toward 76 whatever the colour's own alpha.
  LICE_MemBitmap b(1, 2);
  LICE_PutPixel(&b, 0, 0, LICE_MakePixel(0, 0, 0, 0), 1.0f, 0);
  LICE_PutPixel(&b, 0, 1, LICE_MakePixel(0, 0, 0, 255), 1.0f, 0);
  LICE_FillRect(&b, 0, 0, 1, 2, LICE_MakePixel(255, 255, 255, 3), 0.3f, LICE_MODE_COPY);
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(76, 76, 76, 23));   // 76 - 13680 / 256
  EXPECT_EQ(LICE_GetPixel(&b, 0, 1), LICE_MakePixel(76, 76, 76, 201));  // 76 + 32220 / 256
}

TEST_P(FillRect, SourceAlphaBitScalesTheAlphaByTheColoursAlpha)
{
  LICE_MemBitmap b(1, 1);
  LICE_Clear(&b, grey(50, 50));
  LICE_FillRect(&b, 0, 0, 1, 1, LICE_MakePixel(200, 200, 200, 0), 1.0f, LICE_MODE_SOURCEALPHA);
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), grey(50, 50));
  LICE_FillRect(&b, 0, 0, 1, 1, LICE_MakePixel(200, 100, 0, 255), 1.0f, LICE_MODE_SOURCEALPHA);
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(200, 100, 0, 255));
  LICE_Clear(&b, grey(0, 0));
  LICE_FillRect(&b, 0, 0, 1, 1, LICE_MakePixel(255, 255, 255, 128), 1.0f, LICE_MODE_SOURCEALPHA);  // weight 128
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(127, 127, 127, 64));
}

TEST_P(FillRect, EveryModeUsesTheWeightAsTheSourceAlpha)
{
  std::mt19937 rng(3);
  LICE_MemBitmap before(4, 4), b(4, 4);
  fillRandom(&before, rng);
  const int modes[] = {0, 1, 2, 3, 4, 5, 6, 0xF0, 0x101, 0x10003};
  const float alphas[] = {1.0f, 0.3f, 0.9f, 1.0f / 256, 2.0f, -0.5f};
  for (int mode : modes)
    for (float alpha : alphas)
    {
      const LICE_PixelValue color = LICE_MakePixel(200, 40, 130, 255);
      LICE_Copy(&b, &before);
      LICE_FillRect(&b, 0, 0, 4, 4, color, alpha, mode);
      const int w = (int)(alpha * 256);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
        {
          LICE_PixelValue want = LICE_GetPixel(&before, x, y);
          if ((mode & 0xFF) == 0 && w == 256)
            want = color;
          else if ((mode & 0xFF) <= 5)
            LICE_CombinePixels2(&want, 200, 40, 130, w, w, mode & 0xFF);
          ASSERT_EQ(LICE_GetPixel(&b, x, y), want) << mode << " " << alpha;
        }
    }
  // HSV adjust at full weight leaves an alpha byte of 0 (256 in a byte).
  LICE_FillRect(&b, 0, 0, 1, 1, grey(128), 1.0f, LICE_MODE_HSVADJUST);
  EXPECT_EQ(LICE_PixelA(LICE_GetPixel(&b, 0, 0)), 0);
}

TEST_P(PixelAccess, OutsideReadsZeroAndWritesNothing)
{
  LICE_MemBitmap b(3, 2);
  LICE_Clear(&b, grey(5));
  LICE_PutPixel(&b, 3, 0, grey(9), 1.0f, 0);
  LICE_PutPixel(&b, -1, 0, grey(9), 1.0f, 0);
  LICE_PutPixel(&b, 0, 2, grey(9), 1.0f, 0);
  EXPECT_EQ(pixels(&b), std::vector<LICE_PixelValue>(6, grey(5)));
  EXPECT_EQ(LICE_GetPixel(&b, 3, 0), 0u);
  EXPECT_EQ(LICE_GetPixel(&b, -1, 0), 0u);
  EXPECT_EQ(LICE_GetPixel(&b, 0, INT_MAX), 0u);
  EXPECT_EQ(LICE_GetPixel(nullptr, 0, 0), 0u);
  LICE_MemBitmap empty;
  EXPECT_EQ(LICE_GetPixel(&empty, 0, 0), 0u);
}

TEST_P(PixelAccess, PutPixelUsesTheColoursOwnAlphaAndIgnoresTheSourceAlphaBit)
{
  LICE_MemBitmap b(1, 1);
  LICE_Clear(&b, grey(200, 100));
  LICE_PutPixel(&b, 0, 0, LICE_MakePixel(100, 100, 100, 50), 1.0f, 0x10001);  // as mode 1
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(255, 255, 255, 150));
  LICE_Clear(&b, grey(0, 0));
  LICE_PutPixel(&b, 0, 0, LICE_MakePixel(255, 255, 255, 255), 0.5f, 0);  // whole-word half
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), grey(127, 127));
  LICE_PutPixel(&b, 0, 0, LICE_MakePixel(0, 0, 0, 0), 0.3f, 0);  // 0 + 127 x 180 / 256 = 89
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), grey(89, 89));
  LICE_PutPixel(&b, 0, 0, grey(1), 1.0f, 6);
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), grey(89, 89));

  FlippedBitmap f(1, 2);
  LICE_PutPixel(&f, 0, 0, grey(1), 1.0f, 0);
  EXPECT_EQ(f.getBits()[f.getRowSpan()], grey(1));  // row 0 is stored last
  EXPECT_EQ(LICE_GetPixel(&f, 0, 0), grey(1));
}

TEST(ClearRect, MaskAndOrBits)
{
  LICE_MemBitmap b(2, 1);
  LICE_PutPixel(&b, 0, 0, LICE_MakePixel(1, 2, 3, 4), 1.0f, 0);
  LICE_PutPixel(&b, 1, 0, LICE_MakePixel(5, 6, 7, 8), 1.0f, 0);
  LICE_ClearRect(&b, 0, 0, 2, 1, 0xFFFFFF00, 0xFF);
  EXPECT_EQ(pixels(&b), (std::vector<LICE_PixelValue>{LICE_MakePixel(1, 2, 3, 255), LICE_MakePixel(5, 6, 7, 255)}));
  LICE_Clear(&b, 0x12345678);
  EXPECT_EQ(pixels(&b), std::vector<LICE_PixelValue>(2, 0x12345678));
}

TEST(MultiplyAddRect, ScalesAndOffsetsEachChannel)
{
  LICE_MemBitmap b(1, 1);
  const LICE_PixelValue p = LICE_MakePixel(101, 254, 0, 9);
  LICE_Clear(&b, p);
  LICE_MultiplyAddRect(&b, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0);
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), p);
  LICE_MultiplyAddRect(&b, 0, 0, 1, 1, 1, 1, 1, 1, 2, 2, -1, 0);  // +2 clamps at 255, -1 at 0
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(103, 255, 0, 9));
  LICE_MultiplyAddRect(&b, 0, 0, 1, 1, 0.5f, 1, 1, 0.5f, 0, 0, 0, 0);  // halves, rounding down
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(51, 255, 0, 4));
  LICE_MultiplyAddRect(&b, 0, 0, 1, 1, 1, 1, 1, 1, -0.01f, 0, 0, 0);  // (51 x 256 - 2) >> 8 = 50
  EXPECT_EQ(LICE_PixelR(LICE_GetPixel(&b, 0, 0)), 50);
  LICE_MultiplyAddRect(&b, 0, 0, 1, 1, 1e30f, NAN, -1e30f, 1, 1e30f, 0, 0, 0);  // no overflow
  EXPECT_EQ(LICE_GetPixel(&b, 0, 0), LICE_MakePixel(255, 0, 0, 4));
}

TEST(ProcessRect, VisitsEachClippedPixelInOrder)
{
  LICE_MemBitmap b(3, 3);
  LICE_Clear(&b, 0);
  int counter = 0;
  LICE_ProcessRect(&b, 1, -1, 5, 3,
                   [](LICE_PixelValue* px, void* parm) { *px = (LICE_PixelValue)++*(int*)parm; }, &counter);
  EXPECT_EQ(pixels(&b), (std::vector<LICE_PixelValue>{0, 1, 2, 0, 3, 4, 0, 0, 0}));
  LICE_ProcessRect(&b, 0, 0, 3, 3, nullptr, nullptr);
  EXPECT_EQ(counter, 4);
}
