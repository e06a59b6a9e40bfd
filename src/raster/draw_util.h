// Small helpers shared by the line, shape, circle, curve and warp drawers.
// Internal to src/raster: nothing outside the raster library includes it.
#pragma once

#include <climits>
#include <cmath>

#include "raster/lice_combine.h"
#include "raster/lice_draw.h"

namespace lice_draw {

// Truncation toward zero that cannot overflow: values beyond the int range are
// held at its ends, NaN becomes 0.
inline int truncToInt(double v)
{
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return (int)v;
}

inline int clampToInt(long long v)
{
  return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
}

// a + b held in int range, for callers that add an extent to a position.
inline int addClamped(int a, int b) { return clampToInt((long long)a + b); }

// Row y of a bitmap stored bottom-up, held in int range.
inline int flipRow(int h, int y) { return clampToInt((long long)h - 1 - y); }

inline bool allFinite(float a, float b) { return std::isfinite(a) && std::isfinite(b); }
inline bool allFinite(float a, float b, float c, float d) { return allFinite(a, b) && allFinite(c, d); }

// Channels of a colour as the combiners take them.
struct Rgba {
  int r, g, b, a;
  explicit Rgba(LICE_PixelValue c)
      : r(LICE_PixelR(c)), g(LICE_PixelG(c)), b(LICE_PixelB(c)), a(LICE_PixelA(c)) {}
};

template <class C>
inline void combine(LICE_PixelValue* p, const Rgba& c, int weight)
{
  C::doPix(reinterpret_cast<unsigned char*>(p), c.r, c.g, c.b, c.a, weight);
}

}  // namespace lice_draw
