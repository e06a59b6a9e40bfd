// Circle outlines and fills, arcs and rounded rectangles: one octant walked
// and mirrored eightfold, plain (midpoint) or anti-aliased.
#include <algorithm>
#include <cmath>

#include "raster/draw_util.h"

using namespace lice_draw;

namespace {

// Centres and radii beyond this many pixels are refused: a float can no longer
// tell neighbouring pixels apart there, and every product below stays exact
// in 64 bits.
const float kMaxCircleCoord = 16777216.0f;

struct Clip {
  int l, t, r, b;  // right and bottom exclusive
};

struct Target {
  LICE_PixelValue* bits;
  int span;
  Clip clip;
  bool doclip;
  Rgba c;
};

// Ranges of the octant walk's step that can touch the clip rectangle: every
// pixel a step i draws lies in column xc +- i or in row yc +- i.
struct StepRanges {
  long long lo[4], hi[4];
  int n = 0;

  StepRanges(const Target& t, int xc, int yc, long long first, long long last)
  {
    if (!t.doclip) {
      add(first, last);
      return;
    }
    add(std::max(first, (long long)t.clip.l - xc), std::min(last, (long long)t.clip.r - 1 - xc));
    add(std::max(first, (long long)xc - t.clip.r + 1), std::min(last, (long long)xc - t.clip.l));
    add(std::max(first, (long long)t.clip.t - yc), std::min(last, (long long)t.clip.b - 1 - yc));
    add(std::max(first, (long long)yc - t.clip.b + 1), std::min(last, (long long)yc - t.clip.t));
    // Sort and merge, so that every step is visited once and in order.
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++)
        if (lo[j] < lo[i]) {
          std::swap(lo[i], lo[j]);
          std::swap(hi[i], hi[j]);
        }
    int m = 0;
    for (int i = 0; i < n; i++) {
      if (m && lo[i] <= hi[m - 1] + 1) {
        hi[m - 1] = std::max(hi[m - 1], hi[i]);
      } else {
        lo[m] = lo[i];
        hi[m] = hi[i];
        m++;
      }
    }
    n = m;
  }

  void add(long long a, long long b)
  {
    if (a <= b) {
      lo[n] = a;
      hi[n] = b;
      n++;
    }
  }
};

template <class C>
struct _LICE_CircleDrawer {
  static void DrawClippedPt(const Target& t, int x, int y, int alpha)
  {
    if (t.doclip && (x < t.clip.l || x >= t.clip.r || y < t.clip.t || y >= t.clip.b)) return;
    combine<C>(t.bits + (long long)y * t.span + x, t.c, alpha);
  }

  static void DrawClippedVertLine(const Target& t, int x, int y1, int y2, int alpha)
  {
    if (t.doclip) {
      if (x < t.clip.l || x >= t.clip.r) return;
      if (y1 < t.clip.t) y1 = t.clip.t;
      if (y2 > t.clip.b - 1) y2 = t.clip.b - 1;
    }
    LICE_PixelValue* p = t.bits + (long long)y1 * t.span + x;
    for (int y = y1; y <= y2; y++, p += t.span) combine<C>(p, t.c, alpha);
  }

  static void DrawClippedHorzLine(const Target& t, int y, int x1, int x2, int alpha)
  {
    if (t.doclip) {
      if (y < t.clip.t || y >= t.clip.b) return;
      if (x1 < t.clip.l) x1 = t.clip.l;
      if (x2 > t.clip.r - 1) x2 = t.clip.r - 1;
    }
    LICE_PixelValue* p = t.bits + (long long)y * t.span;
    for (int x = x1; x <= x2; x++) combine<C>(p + x, t.c, alpha);
  }

  // The midpoint circle. Steps that cannot reach the clip rectangle are
  // skipped; the walk's state at the first step of each range comes from its
  // closed form, y(x) = the largest y with x^2 + y(y - 1) <= R^2 and
  // d = x^2 + 2x + y^2 - y - R^2, which the step-by-step walk keeps.
  static void DrawClippedCircle(const Target& t, float cx, float cy, float r, int alpha,
                                bool filled)
  {
    const int xc = (int)(cx + 0.5), yc = (int)(cy + 0.5), R = (int)(r + 0.5);
    if (filled) {
      DrawClippedVertLine(t, xc, yc - R, yc - 1, alpha);
      DrawClippedVertLine(t, xc, yc + 1, yc + R, alpha);
      DrawClippedHorzLine(t, yc, xc - R, xc + R, alpha);
    } else {
      DrawClippedPt(t, xc, yc - R, alpha);
      DrawClippedPt(t, xc + R, yc, alpha);
      DrawClippedPt(t, xc, yc + R, alpha);
      DrawClippedPt(t, xc - R, yc, alpha);
    }
    if (R < 2) return;

    const long long RR = (long long)R * R;
    auto yAt = [&](long long x) {
      const long long k = RR - x * x;
      long long y = (long long)((1.0 + std::sqrt(1.0 + 4.0 * (double)k)) * 0.5);
      while (y > 0 && y * (y - 1) > k) y--;
      while ((y + 1) * y <= k) y++;
      return y;
    };
    // The last step is the first x with x + 1 >= y(x).
    long long lo = 1, hi = R;
    while (lo < hi) {
      const long long mid = (lo + hi) / 2;
      if (mid + 1 >= yAt(mid)) hi = mid;
      else lo = mid + 1;
    }
    const StepRanges ranges(t, xc, yc, 1, lo);
    for (int k = 0; k < ranges.n; k++) {
      long long x = ranges.lo[k] - 1, y = yAt(x);
      long long d = x * x + 2 * x + y * y - y - RR;
      for (; x < ranges.hi[k];) {
        if (d >= 0) {
          y--;
          d -= 2 * y;
        }
        x++;
        d += 2 * x + 1;
        step(t, xc, yc, (int)x, (int)y, alpha, filled);
      }
    }
  }

  // The filled interior reached at step x with the edge at y: in each octant the
  // run from the edge in to the diagonal. Kept out of line so that the outline
  // steps around it keep their point plots inline (a tenth faster smoothed).
  [[gnu::noinline]] static void fillSpans(const Target& t, int xc, int yc, int x, int y, int alpha)
  {
    DrawClippedVertLine(t, xc - x, yc - y, yc - x - 1, alpha);
    DrawClippedVertLine(t, xc - x, yc + x + 1, yc + y, alpha);
    DrawClippedVertLine(t, xc + x, yc - y, yc - x - 1, alpha);
    DrawClippedVertLine(t, xc + x, yc + x + 1, yc + y, alpha);
    DrawClippedHorzLine(t, yc - x, xc - y, xc - x, alpha);
    DrawClippedHorzLine(t, yc - x, xc + x, xc + y, alpha);
    DrawClippedHorzLine(t, yc + x, xc - y, xc - x, alpha);
    DrawClippedHorzLine(t, yc + x, xc + x, xc + y, alpha);
  }

  static void step(const Target& t, int xc, int yc, int x, int y, int alpha, bool filled)
  {
    if (filled) return fillSpans(t, xc, yc, x, y, alpha);
    DrawClippedPt(t, xc + x, yc + y, alpha);
    DrawClippedPt(t, xc - x, yc + y, alpha);
    DrawClippedPt(t, xc + x, yc - y, alpha);
    DrawClippedPt(t, xc - x, yc - y, alpha);
    if (x != y) {
      DrawClippedPt(t, xc + y, yc + x, alpha);
      DrawClippedPt(t, xc - y, yc + x, alpha);
      DrawClippedPt(t, xc + y, yc - x, alpha);
      DrawClippedPt(t, xc - y, yc - x, alpha);
    }
  }

  // Coverage from the fractional part of the exact distance. Each step only
  // depends on i, so steps outside the clip rectangle are simply skipped.
  static void DrawClippedCircleAA(const Target& t, float cx, float cy, float r, int A,
                                  bool filled)
  {
    const int xc = (int)(cx + 0.5), yc = (int)(cy + 0.5), R = (int)r;
    const int w0 = (int)(((double)r - std::floor((double)r)) * A);
    DrawClippedPt(t, xc, yc - R - 1, w0);
    DrawClippedPt(t, xc, yc + R + 1, w0);
    DrawClippedPt(t, xc - R - 1, yc, w0);
    DrawClippedPt(t, xc + R + 1, yc, w0);
    if (filled) {
      DrawClippedVertLine(t, xc, yc - R, yc - 1, A);
      DrawClippedVertLine(t, xc, yc + 1, yc + R, A);
      DrawClippedHorzLine(t, yc, xc - R, xc + R, A);
    } else {
      DrawClippedPt(t, xc, yc - R, A - w0);
      DrawClippedPt(t, xc, yc + R, A - w0);
      DrawClippedPt(t, xc - R, yc, A - w0);
      DrawClippedPt(t, xc + R, yc, A - w0);
    }

    const float q = r * r;
    // n before step i: the rounded root at i; the walk goes on after step i
    // while i < n at i + 1, and a negative root ends it.
    auto nAt = [&](long long i) -> long long {
      const double s = (double)q - (double)i * i;
      return s < 0 ? -1 : (long long)(std::sqrt(s) + 0.5);
    };
    if (nAt(1) < 1) return;
    long long lo = 1, hi = (long long)r + 2;
    while (lo < hi) {
      const long long mid = (lo + hi) / 2;
      if (mid >= nAt(mid + 1)) hi = mid;
      else lo = mid + 1;
    }
    const StepRanges ranges(t, xc, yc, 1, lo);
    for (int k = 0; k < ranges.n; k++)
      for (long long i = ranges.lo[k]; i <= ranges.hi[k]; i++) {
        const double s = (double)q - (double)i * i;
        if (s < 0) return;
        const double X = std::sqrt(s);
        stepAA(t, xc, yc, (int)i, (int)X, (int)((X - std::floor(X)) * A), (int)nAt(i), A,
               filled);
      }
  }

  static void stepAA(const Target& t, int xc, int yc, int i, int Xi, int f, int n, int A,
                     bool filled)
  {
    DrawClippedPt(t, xc - i, yc - Xi - 1, f);
    DrawClippedPt(t, xc + i, yc - Xi - 1, f);
    DrawClippedPt(t, xc - i, yc + Xi + 1, f);
    DrawClippedPt(t, xc + i, yc + Xi + 1, f);
    if (i != n) {
      DrawClippedPt(t, xc - Xi - 1, yc - i, f);
      DrawClippedPt(t, xc - Xi - 1, yc + i, f);
      DrawClippedPt(t, xc + Xi + 1, yc - i, f);
      DrawClippedPt(t, xc + Xi + 1, yc + i, f);
    }
    if (filled) return fillSpans(t, xc, yc, i, Xi, A);
    DrawClippedPt(t, xc - Xi, yc - i, A - f);
    DrawClippedPt(t, xc + Xi, yc - i, A - f);
    DrawClippedPt(t, xc - i, yc + Xi, A - f);
    DrawClippedPt(t, xc + i, yc + Xi, A - f);
    if (i != n) {
      DrawClippedPt(t, xc - i, yc - Xi, A - f);
      DrawClippedPt(t, xc + i, yc - Xi, A - f);
      DrawClippedPt(t, xc - Xi, yc + i, A - f);
      DrawClippedPt(t, xc + Xi, yc + i, A - f);
    }
  }
};

template <class C>
void drawCircle(const Target& t, float cx, float cy, float r, int alpha, bool aa, bool filled)
{
  if (aa)
    _LICE_CircleDrawer<C>::DrawClippedCircleAA(t, cx, cy, r, alpha, filled);
  else
    _LICE_CircleDrawer<C>::DrawClippedCircle(t, cx, cy, r, alpha, filled);
}

bool circleArgsOk(float cx, float cy, float r)
{
  return allFinite(cx, cy) && std::isfinite(r) && std::fabs(cx) < kMaxCircleCoord &&
         std::fabs(cy) < kMaxCircleCoord && r >= 0 && r < kMaxCircleCoord;
}

void __DrawCircleClipped(LICE_IBitmap* dest, float cx, float cy, float r, LICE_PixelValue color,
                         int alpha, bool aa, bool filled, int mode, const Clip& clip, bool doclip)
{
  const int m = mode & 0xFF;
  if (alpha == 0 || m > 5) return;
  const Target t{dest->getBits(), dest->getRowSpan(), clip, doclip, Rgba(color)};
  withCombiner(m, alpha, !aa, [&](auto tag) {
    drawCircle<typename decltype(tag)::type>(t, cx, cy, r, alpha, aa, filled);
  });
}

// Outline or fill over the whole bitmap; clipping tests are skipped when the
// circle and a 2-pixel margin lie inside.
void drawWhole(LICE_IBitmap* dest, float cx, float cy, float r, LICE_PixelValue color, float alpha,
               int mode, bool aa, bool filled)
{
  const int A = LICE_WeightFromAlpha(alpha);
  if (A == 0 || !circleArgsOk(cx, cy, r) || !dest->getBits()) return;
  const int W = dest->getWidth(), H = dest->getHeight();
  const bool doclip = !(cx - r - 2 >= 0 && cy - r - 2 >= 0 && cx + r + 2 < W && cy + r + 2 < H);
  __DrawCircleClipped(dest, cx, cy, r, color, A, aa, filled, mode, Clip{0, 0, W, H}, doclip);
}

// Built-in masks of the smallest outline circles, rows from the top.
struct CircleMask {
  float r;
  const unsigned char* aa;
  const unsigned char* plain;
};

const unsigned char kMask15aa[] = {0x4F, 0xFF, 0xFF, 0x4F, 0xFF, 0x0F, 0x0F, 0xFF,
                                   0xFF, 0x0F, 0x0F, 0xFF, 0x4F, 0xFF, 0xFF, 0x4F};
const unsigned char kMask15[] = {0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0xFF,
                                 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0x00};
const unsigned char kMask2aa[] = {0x0F, 0xBF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F, 0xD1,
                                  0xBF, 0xFF, 0x4F, 0x00, 0x4F, 0xFF, 0xBF, 0xD1, 0x4F,
                                  0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xBF, 0x0F};
const unsigned char kMask2[] = {0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF,
                                0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                                0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};
const unsigned char kMask25aa[] = {
    0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F, 0x4F, 0xD1, 0xBF,
    0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF, 0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF,
    0xBF, 0xD1, 0x4F, 0x4F, 0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F};
const unsigned char kMask25[] = {
    0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00,
    0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF,
    0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00};
const unsigned char kMask3aa[] = {
    0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00, 0x8F, 0xFF, 0x61, 0x40, 0x61, 0xFF,
    0x8F, 0xFF, 0x70, 0x00, 0x00, 0x00, 0x70, 0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00,
    0x30, 0xFF, 0xFF, 0x70, 0x00, 0x00, 0x00, 0x70, 0xFF, 0x8F, 0xFF, 0x61, 0x40,
    0x61, 0xFF, 0x8F, 0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00};
const unsigned char kMask3[] = {
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF,
    0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00,
    0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
const unsigned char kMask35aa[] = {
    0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00, 0x4F, 0xFF, 0xB0, 0x40, 0x40,
    0xB0, 0xFF, 0x4F, 0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE, 0xFF, 0x40,
    0x00, 0x00, 0x00, 0x00, 0x40, 0xFF, 0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40,
    0xFF, 0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE, 0x4F, 0xFF, 0xB0, 0x40,
    0x40, 0xB0, 0xFF, 0x4F, 0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00};
const unsigned char kMask35[] = {
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00,
    0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
const unsigned char kMask4aa[] = {
    0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00, 0x1F, 0xF0, 0xD1, 0x4F, 0x40,
    0x4F, 0xD1, 0xF0, 0x1F, 0xB0, 0xD1, 0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0, 0xFF,
    0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x30, 0xFF, 0xFF, 0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF, 0xB0, 0xD1,
    0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0, 0x1F, 0xF0, 0xD1, 0x4F, 0x40, 0x4F, 0xD1,
    0xF0, 0x1F, 0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00};
const unsigned char kMask4[] = {
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};

const CircleMask kCircleMasks[] = {
    {1.5f, kMask15aa, kMask15}, {2.0f, kMask2aa, kMask2}, {2.5f, kMask25aa, kMask25},
    {3.0f, kMask3aa, kMask3},   {3.5f, kMask35aa, kMask35}, {4.0f, kMask4aa, kMask4}};

const double kPi = 3.141592653589793;
const double kTwoPi = 6.283185307179586;
const double kHalfPi = 1.5707963267948966;

}  // namespace

void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_PixelValue color,
                 float alpha, int mode, bool aa)
{
  if (!dest) return;
  for (const CircleMask& m : kCircleMasks)
    if (r == m.r) {
      const int n = (int)(2 * r + 1);
      if (!allFinite(cx, cy)) return;
      LICE_DrawGlyph(dest, truncToInt(cx - r), truncToInt(cy - r), color, aa ? m.aa : m.plain, n,
                     n, alpha, mode);
      return;
    }
  if (dest->isFlipped()) cy = (float)(dest->getHeight() - 1) - cy;
  drawWhole(dest, cx, cy, r, color, alpha, mode, aa, false);
}

void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_PixelValue color,
                     float alpha, int mode, bool aa)
{
  if (!dest) return;
  if (dest->isFlipped()) cy = (float)(dest->getHeight() - 1) - cy;
  drawWhole(dest, cx, cy, r, color, alpha, mode, aa, true);
}

void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
              LICE_PixelValue color, float alpha, int mode, bool aa)
{
  if (!dest || !allFinite(minAngle, maxAngle)) return;
  double hi = std::max(minAngle, maxAngle), lo = std::min(minAngle, maxAngle);
  if ((float)(hi - lo) >= (float)kTwoPi) {
    LICE_Circle(dest, cx, cy, r, color, alpha, mode, aa);
    return;
  }
  if (!circleArgsOk(cx, cy, r) || !dest->getBits()) return;
  if (dest->isFlipped()) {
    cy = (float)(dest->getHeight() - 1) - cy;
    const double h0 = hi;
    hi = kPi - lo;
    lo = kPi - h0;
  }
  if (hi >= kTwoPi) {
    const double m = std::fmod(hi, kTwoPi);
    lo -= hi - m;
    hi = m;
  } else if (lo <= -kTwoPi) {
    const double m = std::fmod(lo, kTwoPi);
    hi -= lo - m;
    lo = m;
  }
  const int A = LICE_WeightFromAlpha(alpha);
  if (A == 0) return;
  double a = lo + kTwoPi;
  const double b = hi + kTwoPi;
  if (b <= a) return;

  const int W = dest->getWidth(), H = dest->getHeight();
  int px = (int)(cx + std::sin(a) * r + 0.5), py = (int)(cy - std::cos(a) * r + 0.5);
  // Less than a full turn is at most five quadrant pieces, each perhaps
  // preceded by a sliver where rounding left the angle just short of a quadrant.
  for (int piece = 0; piece < 16 && b > a; piece++) {
    const double t = std::min(b, a - std::fmod(a, kHalfPi) + kHalfPi);
    const int qx = (int)(cx + std::sin(t) * r + 0.5), qy = (int)(cy - std::cos(t) * r + 0.5);
    const int mx = std::max(px, qx), my = std::max(py, qy);
    Clip clip;
    clip.l = std::max(std::min(px, qx), 0);
    clip.t = std::max(std::min(py, qy), 0);
    clip.r = std::min((float)mx == cx ? mx : mx + 1, W);
    clip.b = std::min((float)my == cy ? my : my + 1, H);
    if (clip.l < clip.r && clip.t < clip.b)
      __DrawCircleClipped(dest, cx, cy, r, color, A, aa, false, mode, clip, true);
    a = t;
    px = qx;
    py = qy;
  }
}

void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius,
                    LICE_PixelValue color, float alpha, int mode, bool aa)
{
  if (!dest || !allFinite(x, y, w, h)) return;
  float c = (float)cornerradius;
  if (cornerradius > 0) {
    c = std::min(c, w / 2);
    c = std::floor(std::min(c, h / 2));
  }
  if (cornerradius <= 0 || c < 2) {
    LICE_DrawRect(dest, truncToInt(x), truncToInt(y), truncToInt(w), truncToInt(h), color, alpha,
                  mode);
    return;
  }
  auto line = [&](float x1, float y1, float x2, float y2) {
    LICE_Line(dest, truncToInt(x1), truncToInt(y1), truncToInt(x2), truncToInt(y2), color, alpha,
              mode, aa);
  };
  line(x + c, y, x + w - c, y);
  line(x + c - 1, y + h, x + w - c, y + h);
  line(x + w, y + c, x + w, y + h - c);
  line(x, y + c - 1, x, y + h - c);
  const float pi = (float)kPi;
  LICE_Arc(dest, x + c, y + c, c, -pi / 2, 0, color, alpha, mode, aa);
  LICE_Arc(dest, x + w - c, y + c, c, 0, pi / 2, color, alpha, mode, aa);
  LICE_Arc(dest, x + w - c, y + h - c, c, pi / 2, pi, color, alpha, mode, aa);
  LICE_Arc(dest, x + c, y + h - c, c, pi, 3 * pi / 2, color, alpha, mode, aa);
}
