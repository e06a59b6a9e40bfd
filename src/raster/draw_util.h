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

// Names a combiner type to a generic lambda: draw(CombinerTag<C>()) lets the
// lambda take C as typename decltype(tag)::type.
template <class C>
struct CombinerTag {
  using type = C;
};

// Calls draw with the combiner for the low byte of mode at the given weight;
// unknown modes draw nothing. Mode 0 copies, and only at positive weights; with
// shortcuts it takes the exact half mix at 128 and a plain store at 256.
// Always inlined into the caller, so each drawing loop stays its own function.
template <class F>
[[gnu::always_inline]] inline void withCombiner(int mode, int weight, bool shortcuts, F&& draw)
{
  switch (mode & 0xFF) {
    case 0:
      if (shortcuts && weight == 128)
        draw(CombinerTag<_LICE_CombinePixelsHalfMixNoClamp>());
      else if (shortcuts && weight == 256)
        draw(CombinerTag<_LICE_CombinePixelsClobberNoClamp>());
      else if (weight >= 1)
        draw(CombinerTag<_LICE_CombinePixelsCopyNoClamp>());
      break;
    case 1: draw(CombinerTag<_LICE_CombinePixelsAdd>()); break;
    case 2: draw(CombinerTag<_LICE_CombinePixelsColorDodge>()); break;
    case 3: draw(CombinerTag<_LICE_CombinePixelsMulNoClamp>()); break;
    case 4: draw(CombinerTag<_LICE_CombinePixelsOverlay>()); break;
    case 5: draw(CombinerTag<_LICE_CombinePixelsHSVAdjust>()); break;
  }
}

}  // namespace lice_draw
