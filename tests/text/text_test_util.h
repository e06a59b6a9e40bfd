#pragma once
// Helpers of the text tests: fonts by request, bitmaps compared and searched for ink,
// and PNG files written for the golden images (test code only; the library reads).

#include "raster/cachedfont.h"
#include "raster/lice.h"
#include "raster/lice_fast.h"
#include "raster/lice_png.h"
#include "winsys/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace texttest {

const char* const kFace = "NK57 Monospace";

inline HFONT makeFont(int height, int quality = 0, const char* face = kFace, int weight = 400, char italic = 0)
{
  return CreateFont(height, 0, 0, 0, weight, italic, 0, 0, 0, 0, 0, (char)quality, 0, face);
}

// The smallest rectangle holding every pixel that differs from `background`;
// empty (all zero) when there is none.
inline RECT inkBox(LICE_IBitmap* bm, LICE_PixelValue background)
{
  RECT r = {0, 0, 0, 0};
  bool any = false;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
      if (LICE_GetPixel(bm, x, y) != background)
      {
        if (!any)
        {
          r = RECT{x, y, x + 1, y + 1};
          any = true;
        }
        if (x < r.left) r.left = x;
        if (x + 1 > r.right) r.right = x + 1;
        if (y < r.top) r.top = y;
        if (y + 1 > r.bottom) r.bottom = y + 1;
      }
  return r;
}

// Red channel of every pixel, row by row.
inline std::string redPlane(LICE_IBitmap* bm)
{
  std::string s;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x) s.push_back((char)LICE_PixelR(LICE_GetPixel(bm, x, y)));
  return s;
}

// True when both bitmaps have the same size and every pixel word is equal.
inline bool samePixels(LICE_IBitmap* a, LICE_IBitmap* b)
{
  if (a->getWidth() != b->getWidth() || a->getHeight() != b->getHeight()) return false;
  for (int y = 0; y < a->getHeight(); ++y)
    for (int x = 0; x < a->getWidth(); ++x)
      if (LICE_GetPixel(a, x, y) != LICE_GetPixel(b, x, y)) return false;
  return true;
}

// Counts the pixels that differ from `background`, expecting each to be `ink`.
inline int countInk(LICE_IBitmap* bm, LICE_PixelValue background, LICE_PixelValue ink)
{
  int n = 0;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      const LICE_PixelValue p = LICE_GetPixel(bm, x, y);
      if (p == background) continue;
      EXPECT_EQ(ink, p) << x << "," << y;
      ++n;
    }
  return n;
}

// Counts the pixels with some red, expecting each to have exactly `red`.
inline int countRedInk(LICE_IBitmap* bm, int red)
{
  int n = 0;
  for (char c : redPlane(bm))
    if (c)
    {
      EXPECT_EQ(red, (unsigned char)c);
      ++n;
    }
  return n;
}

// Pixels whose red is neither 0 nor 255: partly covered ones, on black with white ink.
inline int partlyCovered(LICE_IBitmap* bm)
{
  int n = 0;
  for (char c : redPlane(bm)) n += c && (unsigned char)c != 255;
  return n;
}

}  // namespace texttest
