#pragma once
// Helpers shared by the raster tests: small bitmaps filled from tables or seeds,
// channel access by name, and a bitmap stored bottom-up.

#include "raster/lice.h"

#include <cstdint>
#include <random>
#include <vector>

// A memory bitmap whose rows are stored bottom-up.
class FlippedBitmap : public LICE_MemBitmap
{
public:
  FlippedBitmap(int w, int h) : LICE_MemBitmap(w, h) {}
  bool isFlipped() override { return true; }
};

inline LICE_PixelValue grey(int v, int a = 255)
{
  return LICE_MakePixel(v, v, v, a);
}

// Every pixel of a w x h bitmap from a function of its position.
template <class F>
void fillWith(LICE_IBitmap* bmp, F f)
{
  for (int y = 0; y < bmp->getHeight(); ++y)
    for (int x = 0; x < bmp->getWidth(); ++x) LICE_PutPixel(bmp, x, y, f(x, y), 1.0f, LICE_MODE_COPY);
}

inline void fillRandom(LICE_IBitmap* bmp, std::mt19937& rng)
{
  fillWith(bmp, [&](int, int) { return (LICE_PixelValue)rng(); });
}

// The pixels row by row, top to bottom, whatever the storage.
inline std::vector<LICE_PixelValue> pixels(LICE_IBitmap* bmp)
{
  std::vector<LICE_PixelValue> out;
  for (int y = 0; y < bmp->getHeight(); ++y)
    for (int x = 0; x < bmp->getWidth(); ++x) out.push_back(LICE_GetPixel(bmp, x, y));
  return out;
}

// One channel of every pixel, row by row.
inline std::vector<int> channelOf(LICE_IBitmap* bmp, int (*ch)(LICE_PixelValue))
{
  std::vector<int> out;
  for (LICE_PixelValue p : pixels(bmp)) out.push_back(ch(p));
  return out;
}

#include "raster/lice_fast.h"

#include <gtest/gtest.h>

// Suites derived from this run once over the plain loops and once with the fast
// twins switched on.
class PlainAndFast : public ::testing::TestWithParam<bool>
{
protected:
  void SetUp() override { LICE_SetFastPaths(GetParam()); }
  void TearDown() override { LICE_SetFastPaths(true); }
};

#define DAVREL_PLAIN_AND_FAST(suite) \
  INSTANTIATE_TEST_SUITE_P(Loops, suite, ::testing::Values(false, true), \
                           [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "Fast" : "Plain"; })
