// Integer, float and dashed lines and the line clippers.
#include <cmath>
#include <cstdlib>
#include <utility>

#include "raster/draw_util.h"

using namespace lice_draw;

namespace {

// Horizontal, vertical and 45-degree runs; one instance per combiner.
template <class C>
struct __LICE_LineClassSimple {
  static void LICE_HorizLine(LICE_PixelValue* px, int count, LICE_PixelValue color, int weight)
  {
    const Rgba c(color);
    for (int i = 0; i < count; i++, px++) combine<C>(px, c, weight);
  }

  static void LICE_VertLine(LICE_PixelValue* px, int span, int count, LICE_PixelValue color,
                            int weight)
  {
    const Rgba c(color);
    for (int i = 0; i < count; i++, px += span) combine<C>(px, c, weight);
  }

  static void LICE_DiagLine(LICE_PixelValue* px, int n, int xstep, int ystep,
                            LICE_PixelValue color, int weight)
  {
    const Rgba c(color);
    const int step = xstep + ystep;
    for (int i = 0; i <= n; i++, px += step) combine<C>(px, c, weight);
  }

  // Three quarters of the weight on the diagonal, a quarter on the two pixels
  // beside each step.
  static void LICE_DiagLineAA(LICE_PixelValue* px, int n, int xstep, int ystep,
                              LICE_PixelValue color, int weight)
  {
    const Rgba c(color);
    const int main = (weight * 3) / 4, side = weight / 4;
    combine<C>(px, c, main);
    for (int i = 0; i < n; i++) {
      combine<C>(px + xstep, c, side);
      combine<C>(px + ystep, c, side);
      px += xstep + ystep;
      combine<C>(px, c, main);
    }
  }
};

// Main and partner weights of an anti-aliased step; they sum to 255.
inline void splitWeight(int f, int weight, int* main, int* partner)
{
  if (weight == 256) {
    *main = 255 - f;
    *partner = f;
  } else {
    *main = ((255 - f) * weight) / 256;
    *partner = (f * weight) / 256;
  }
}

template <class C>
struct __LICE_LineClass {
  // The general line, walked from both ends at once in 16.16 fixed point.
  static void LICE_LineImpl(LICE_PixelValue* first, LICE_PixelValue* last, int slope,
                            int major_step, int major_length, int minor_step,
                            LICE_PixelValue color, int weight, bool aa)
  {
    const Rgba c(color);
    const int L = major_length, half = (L + 1) / 2;
    if (!aa) {
      int e = 0;
      for (int i = 0; i < half; i++) {
        combine<C>(first, c, weight);
        combine<C>(last, c, weight);
        e += slope;
        if (e >= 32768) {
          first += minor_step;
          last -= minor_step;
          e -= 65536;
        }
        first += major_step;
        last -= major_step;
      }
      if (!(L & 1)) combine<C>(first, c, weight);
      return;
    }

    combine<C>(first, c, weight);
    combine<C>(last, c, weight);
    first += major_step;
    last -= major_step;
    int e = slope, wm, wp;
    if (L >= 3) {
      for (int i = 1; i < half; i++) {
        splitWeight(e >> 8, weight, &wm, &wp);
        combine<C>(first, c, wm);
        combine<C>(first + minor_step, c, wp);
        combine<C>(last, c, wm);
        combine<C>(last - minor_step, c, wp);
        e += slope;
        if (e >= 65536) {
          e -= 65536;
          first += minor_step;
          last -= minor_step;
        }
        first += major_step;
        last -= major_step;
      }
    }
    if (!(L & 1)) {
      splitWeight(e >> 8, weight, &wm, &wp);
      combine<C>(first, c, wm);
      combine<C>(first + minor_step, c, wp);
    }
  }

  // The anti-aliased float walk: n + 1 steps, each spread over the pixel and
  // its neighbour one minor step further. The checked form tests every pixel
  // against the bitmap; it runs only when float rounding left the walk's ends
  // in doubt.
  template <bool Checked>
  static void FLineWalk(LICE_PixelValue* bits, int span, int w, int h, int px, int py, int n,
                        int error, int slope, int mjx, int mjy, int mnx, int mny,
                        LICE_PixelValue color, int weight)
  {
    const Rgba c(color);
    int wm, wp;
    for (int i = 0; i <= n; i++) {
      splitWeight(error >> 8, weight, &wm, &wp);
      if (!Checked || (px >= 0 && px < w && py >= 0 && py < h))
        combine<C>(bits + (long long)py * span + px, c, wm);
      const int qx = px + mnx, qy = py + mny;
      if (!Checked || (qx >= 0 && qx < w && qy >= 0 && qy < h))
        combine<C>(bits + (long long)qy * span + qx, c, wp);
      error += slope;
      if (error >= 65536) {
        error -= 65536;
        px += mnx;
        py += mny;
      }
      px += mjx;
      py += mjy;
    }
  }

  static void LICE_FLineImpl(LICE_PixelValue* bits, int span, int w, int h, int px, int py, int n,
                             int error, int slope, int mjx, int mjy, int mnx, int mny,
                             LICE_PixelValue color, int weight)
  {
    if (n < 0) return;
    // The walk is monotone, so its first and last steps bound every pixel it
    // touches.
    const long long moves = ((long long)error + (long long)n * slope) >> 16;
    const long long ex = px + (long long)mjx * n + mnx * moves;
    const long long ey = py + (long long)mjy * n + mny * moves;
    auto inside = [&](long long x, long long y) { return x >= 0 && x < w && y >= 0 && y < h; };
    if (inside(px, py) && inside(px + mnx, py + mny) && inside(ex, ey) &&
        inside(ex + mnx, ey + mny))
      FLineWalk<false>(bits, span, w, h, px, py, n, error, slope, mjx, mjy, mnx, mny, color,
                       weight);
    else
      FLineWalk<true>(bits, span, w, h, px, py, n, error, slope, mjx, mjy, mnx, mny, color,
                      weight);
  }

  // Dashes along a row (step 1) or a column (step span) from p, covering
  // length pixels; the far end is never drawn.
  static void DashedLine(LICE_PixelValue* p, int step, int length, int pxon, int pxoff,
                         LICE_PixelValue color, int weight)
  {
    const Rgba c(color);
    const long long on = pxon, period = (long long)pxon + pxoff;
    auto run = [&](long long from, long long count) {
      LICE_PixelValue* q = p + from * step;
      for (long long i = 0; i < count; i++, q += step) combine<C>(q, c, weight);
    };
    if (period < 1) {
      // Nothing would ever advance: a positive on length makes a solid line.
      if (on > 0) run(0, length);
      return;
    }
    long long x = 0;
    while (x < length - on) {
      if (on > 0) run(x, on);
      x += period;
    }
    const long long rest = std::min<long long>(length - x, on);
    if (rest >= 1) run(x, rest);
  }
};

// Plain stores and whole-word blends need no combiner instance.
template <class F>
void wordRun(LICE_PixelValue* px, int step, int count, LICE_PixelValue color)
{
  const LICE_PixelValue c = F::prepare(color);
  for (int i = 0; i < count; i++, px += step) F::doPix(px, c);
}

// Runs along a row or column: the shift-and-mask paths of mode 0, then the
// combiner chosen by the low byte of the mode.
void drawRun(LICE_PixelValue* px, int step, int count, LICE_PixelValue color, float alpha,
             int mode)
{
  const int m = mode & 0xFF;
  if (m == 0) {
    if (alpha == 1.0f) return wordRun<_LICE_CombinePixelsClobberFAST>(px, step, count, color);
    if (alpha == 0.5f) return wordRun<_LICE_CombinePixelsHalfMix2FAST>(px, step, count, color);
    if (alpha == 0.25f) return wordRun<_LICE_CombinePixelsQuarterMix2FAST>(px, step, count, color);
    if (alpha == 0.75f) return wordRun<_LICE_CombinePixelsThreeQuarterMix2FAST>(px, step, count, color);
  }
  const int w = LICE_WeightFromAlpha(alpha);
  if (w == 0 || m > 5) return;
  // A full-weight copy stores whole words.
  if (m == 0 && w == 256) return wordRun<_LICE_CombinePixelsClobberFAST>(px, step, count, color);
  withCombiner(m, w, true, [&](auto tag) {
    using C = typename decltype(tag)::type;
    if (step == 1)
      __LICE_LineClassSimple<C>::LICE_HorizLine(px, count, color, w);
    else
      __LICE_LineClassSimple<C>::LICE_VertLine(px, step, count, color, w);
  });
}

template <class C>
void diag(LICE_PixelValue* px, int n, int xs, int ys, LICE_PixelValue color, int w,
          bool aa)
{
  if (aa)
    __LICE_LineClassSimple<C>::LICE_DiagLineAA(px, n, xs, ys, color, w);
  else
    __LICE_LineClassSimple<C>::LICE_DiagLine(px, n, xs, ys, color, w);
}

void drawDiagonal(LICE_PixelValue* px, int n, int xs, int ys, LICE_PixelValue color,
                  float alpha, int mode, bool aa)
{
  const int m = mode & 0xFF;
  if (m == 0 && alpha == 1.0f) {
    const int step = xs + ys;
    if (!aa) {
      for (int i = 0; i <= n; i++, px += step) *px = color;
      return;
    }
    typedef _LICE_CombinePixelsThreeQuarterMix2FAST Main;
    typedef _LICE_CombinePixelsQuarterMix2FAST Side;
    const LICE_PixelValue cm = Main::prepare(color), cs = Side::prepare(color);
    Main::doPix(px, cm);
    for (int i = 0; i < n; i++) {
      Side::doPix(px + xs, cs);
      Side::doPix(px + ys, cs);
      px += step;
      Main::doPix(px, cm);
    }
    return;
  }
  const int w = LICE_WeightFromAlpha(alpha);
  if (w == 0 || m > 5) return;
  // A full-weight copy without smoothing is a plain store.
  if (m == 0 && !aa && w == 256) {
    for (int i = 0; i <= n; i++, px += xs + ys) *px = color;
    return;
  }
  withCombiner(m, w, !aa, [&](auto tag) {
    diag<typename decltype(tag)::type>(px, n, xs, ys, color, w, aa);
  });
}

void drawGeneral(LICE_PixelValue* first, LICE_PixelValue* last, int slope, int major_step,
                 int len, int minor_step, LICE_PixelValue color, float alpha, int mode, bool aa)
{
  const int w = LICE_WeightFromAlpha(alpha);
  const int m = mode & 0xFF;
  if (w == 0 || m > 5) return;
  withCombiner(m, w, !aa, [&](auto tag) {
    using C = typename decltype(tag)::type;
    __LICE_LineClass<C>::LICE_LineImpl(first, last, slope, major_step, len, minor_step, color, w,
                                       aa);
  });
}

// Which sides of [0, xmax) x [0, ymax) a point lies beyond: 1 left, 2 right,
// 4 top, 8 bottom.
template <class T>
inline int outcode(T x, T y, T xmax, T ymax)
{
  int c = 0;
  if (x < 0) c |= 1;
  else if (x >= xmax) c |= 2;
  if (y < 0) c |= 4;
  else if (y >= ymax) c |= 8;
  return c;
}

// Cohen-Sutherland on 64-bit integers, so that the callers' offsets cannot
// overflow. Intersections are taken with the exclusive bound and the clipped
// coordinate then set to the last row or column.
bool clipLine64(long long* x1, long long* y1, long long* x2, long long* y2, long long w,
                long long h)
{
  int c1 = outcode(*x1, *y1, w, h), c2 = outcode(*x2, *y2, w, h);
  // Each move clears one side of one end point for good; a few more rounds
  // than sides guard against a degenerate bitmap.
  for (int round = 0; (c1 | c2) && round < 16; round++) {
    if (c1 & c2) return false;
    const double X1 = (double)*x1, Y1 = (double)*y1, X2 = (double)*x2, Y2 = (double)*y2;
    const int c = c1 ? c1 : c2;
    long long nx, ny;
    if (c & 8) {
      nx = *x1 + (long long)(((double)h - Y1) * (X2 - X1) / (Y2 - Y1));
      ny = h - 1;
    } else if (c & 4) {
      nx = *x1 + (long long)((0.0 - Y1) * (X2 - X1) / (Y2 - Y1));
      ny = 0;
    } else if (c & 2) {
      ny = *y1 + (long long)((Y2 - Y1) * ((double)w - X1) / (X2 - X1));
      nx = w - 1;
    } else {
      ny = *y1 + (long long)((Y2 - Y1) * (0.0 - X1) / (X2 - X1));
      nx = 0;
    }
    if (c1) {
      *x1 = nx;
      *y1 = ny;
      c1 = outcode(nx, ny, w, h);
    } else {
      *x2 = nx;
      *y2 = ny;
      c2 = outcode(nx, ny, w, h);
    }
  }
  return !(c1 | c2);
}

// Float Cohen-Sutherland, one pixel narrower on the right and bottom than the
// integer clip so that the anti-aliased walk's partner pixel stays inside.
bool ClipFLine(float* x1, float* y1, float* x2, float* y2, int w, int h)
{
  const float xmax = (float)((long long)w - 1), ymax = (float)((long long)h - 1);
  float X1 = *x1, Y1 = *y1, X2 = *x2, Y2 = *y2;
  int c1 = outcode(X1, Y1, xmax, ymax), c2 = outcode(X2, Y2, xmax, ymax);
  bool ok = false;
  for (int round = 0; round < 16; round++) {
    if (!(c1 | c2)) {
      ok = true;
      break;
    }
    if (c1 & c2) break;
    const int c = c1 ? c1 : c2;
    float nx, ny;
    if (c & 8) {
      nx = (ymax - Y1) * (X2 - X1) / (Y2 - Y1) + X1;
      ny = ymax - 1;
    } else if (c & 4) {
      nx = (X2 - X1) * Y1 / (Y1 - Y2) + X1;
      ny = 0;
    } else if (c & 2) {
      ny = (Y2 - Y1) * (xmax - X1) / (X2 - X1) + Y1;
      nx = xmax - 1;
    } else {
      ny = (Y2 - Y1) * X1 / (X1 - X2) + Y1;
      nx = 0;
    }
    if (c1) {
      X1 = nx;
      Y1 = ny;
      c1 = outcode(nx, ny, xmax, ymax);
    } else {
      X2 = nx;
      Y2 = ny;
      c2 = outcode(nx, ny, xmax, ymax);
    }
  }
  *x1 = X1;
  *y1 = Y1;
  *x2 = X2;
  *y2 = Y2;
  return ok;
}

template <class C>
void dashed(LICE_PixelValue* p, int step, int length, int pxon, int pxoff, LICE_PixelValue color,
            int w)
{
  __LICE_LineClass<C>::DashedLine(p, step, length, pxon, pxoff, color, w);
}

template <class C>
void fline(LICE_PixelValue* bits, int span, int w, int h, int px, int py, int n, int error,
           int slope, int mjx, int mjy, int mnx, int mny, LICE_PixelValue color, int weight)
{
  __LICE_LineClass<C>::LICE_FLineImpl(bits, span, w, h, px, py, n, error, slope, mjx, mjy, mnx,
                                      mny, color, weight);
}

// Cuts a segment to the box of +-2^30 when any coordinate lies beyond the int
// range (Liang-Barsky in doubles); segments within the range are untouched.
bool clipToIntBox(double* x1, double* y1, double* x2, double* y2)
{
  const double lim = 2147483647.0;
  if (std::fabs(*x1) < lim && std::fabs(*y1) < lim && std::fabs(*x2) < lim && std::fabs(*y2) < lim)
    return true;
  const double box = 1073741824.0, dx = *x2 - *x1, dy = *y2 - *y1;
  double t0 = 0.0, t1 = 1.0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {*x1 + box, box - *x1, *y1 + box, box - *y1};
  for (int i = 0; i < 4; i++) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      if (t > t1) return false;
      if (t > t0) t0 = t;
    } else {
      if (t < t0) return false;
      if (t < t1) t1 = t;
    }
  }
  // Each cut end is measured from its own original end, so that an end that
  // stays keeps its exact value.
  if (t0 > 0.0) {
    *x1 += t0 * dx;
    *y1 += t0 * dy;
  }
  if (t1 < 1.0) {
    *x2 -= (1.0 - t1) * dx;
    *y2 -= (1.0 - t1) * dy;
  }
  // Rounding may leave the ends some way off the box, which is why the box
  // lies well inside the int range.
  return std::fabs(*x1) < lim && std::fabs(*y1) < lim && std::fabs(*x2) < lim && std::fabs(*y2) < lim;
}

bool ClipLine(int* x1, int* y1, int* x2, int* y2, int w, int h)
{
  long long X1 = *x1, Y1 = *y1, X2 = *x2, Y2 = *y2;
  const bool ok = clipLine64(&X1, &Y1, &X2, &Y2, w, h);
  *x1 = clampToInt(X1);
  *y1 = clampToInt(Y1);
  *x2 = clampToInt(X2);
  *y2 = clampToInt(Y2);
  return ok;
}

}  // namespace

void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_PixelValue color,
               float alpha, int mode, bool aa)
{
  if (!dest) return;
  const int w = dest->getWidth(), h = dest->getHeight();
  if (dest->isFlipped()) {
    y1 = flipRow(h, y1);
    y2 = flipRow(h, y2);
  }
  if (!ClipLine(&x1, &y1, &x2, &y2, w, h)) return;
  const int span = dest->getRowSpan();
  LICE_PixelValue* bits = dest->getBits();
  if (!bits) return;

  if (y1 == y2) {
    if (x1 > x2) std::swap(x1, x2);
    drawRun(bits + (long long)y1 * span + x1, 1, x2 - x1 + 1, color, alpha, mode);
    return;
  }
  if (x1 == x2) {
    if (y1 > y2) std::swap(y1, y2);
    drawRun(bits + (long long)y1 * span + x1, span, y2 - y1 + 1, color, alpha, mode);
    return;
  }
  const int dx = x2 - x1, dy = y2 - y1;
  if (std::abs(dx) == std::abs(dy)) {
    drawDiagonal(bits + (long long)y1 * span + x1, std::abs(dx), dx > 0 ? 1 : -1,
                 dy > 0 ? span : -span, color, alpha, mode, aa);
    return;
  }

  const bool xmajor = std::abs(dx) > std::abs(dy);
  int majd = xmajor ? dx : dy, mind = xmajor ? dy : dx;
  LICE_PixelValue* first = bits + (long long)y1 * span + x1;
  LICE_PixelValue* last = bits + (long long)y2 * span + x2;
  if (majd < 0) {
    std::swap(first, last);
    majd = -majd;
    mind = -mind;
  }
  const int major_step = xmajor ? 1 : span;
  const int minor_unit = xmajor ? span : 1;
  const int minor_step = mind < 0 ? -minor_unit : minor_unit;
  const int slope = (int)((double)std::abs(mind) / (double)majd * 65536.0);
  drawGeneral(first, last, slope, major_step, majd, minor_step, color, alpha, mode, aa);
}

void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_PixelValue color,
                float alpha, int mode, bool aa)
{
  if (!dest || !allFinite(x1, y1, x2, y2)) return;
  if (!aa) {
    // Coordinates beyond the int range are first cut, in double precision,
    // to a box far outside any bitmap, so that the truncation stays defined
    // and the line keeps its direction.
    double X1 = x1, Y1 = y1, X2 = x2, Y2 = y2;
    if (!clipToIntBox(&X1, &Y1, &X2, &Y2)) return;
    LICE_Line(dest, (int)X1, (int)Y1, (int)X2, (int)Y2, color, alpha, mode, false);
    return;
  }

  const int w = dest->getWidth(), h = dest->getHeight();
  if (dest->isFlipped()) {
    y1 = (float)(h - 1) - y1;
    y2 = (float)(h - 1) - y2;
  }
  if (!ClipFLine(&x1, &y1, &x2, &y2, w, h)) return;
  // Overflowing intermediate products can leave NaN behind; such a line has
  // no pixels to give.
  if (!allFinite(x1, y1, x2, y2)) return;
  if (x1 == x2 && y1 == y2) return;
  const int span = dest->getRowSpan();
  LICE_PixelValue* bits = dest->getBits();
  if (!bits) return;

  float dx = x2 - x1, dy = y2 - y1;
  const bool xmajor = std::fabs(dx) > std::fabs(dy);
  float a0 = xmajor ? x1 : y1, a1 = xmajor ? x2 : y2, b0 = xmajor ? y1 : x1;
  float majd = xmajor ? dx : dy, mind = xmajor ? dy : dx;
  if (majd < 0) {
    a0 = xmajor ? x2 : y2;
    a1 = xmajor ? x1 : y1;
    b0 = xmajor ? y2 : x2;
    majd = -majd;
    mind = -mind;
  }
  const float slope = mind / majd;
  const float b = (std::ceil(a0) - a0) * slope + b0;
  const int frac = (int)((b - std::floor(b)) * 65536);
  const int majpos = (int)std::ceil(a0);
  int minpos = (int)b, error = frac, mdir = 1;
  if (mind < 0) {
    mdir = -1;
    minpos += 1;
    error = 65535 - frac;
  }

  const int wt = LICE_WeightFromAlpha(alpha);
  const int m = mode & 0xFF;
  if (wt == 0 || m > 5) return;
  const int n = (int)(std::floor((double)a1) - std::ceil((double)a0));
  const int fslope = (int)(std::fabs((double)slope) * 65536.0);
  const int px = xmajor ? majpos : minpos, py = xmajor ? minpos : majpos;
  const int mjx = xmajor ? 1 : 0, mjy = xmajor ? 0 : 1;
  const int mnx = xmajor ? 0 : mdir, mny = xmajor ? mdir : 0;
  withCombiner(m, wt, false, [&](auto tag) {
    fline<typename decltype(tag)::type>(bits, span, w, h, px, py, n, error, fslope, mjx, mjy, mnx,
                                        mny, color, wt);
  });
}

void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                     LICE_PixelValue color, float alpha, int mode, bool aa)
{
  (void)aa;
  if (!dest) return;
  if (!ClipLine(&x1, &y1, &x2, &y2, dest->getWidth(), dest->getHeight())) return;
  if (y1 > y2) std::swap(y1, y2);
  const int span = dest->getRowSpan();
  LICE_PixelValue* bits = dest->getBits();
  if (!bits) return;

  const int m = mode & 0xFF;
  if (pxon == 1 && pxoff == 1 && x1 == x2 && alpha == 1.0f && m == 0) {
    // Dotted vertical line: a plain store every other row.
    const int length = y2 - y1 + 1;
    if (length < 2) return;
    LICE_PixelValue* p = bits + (long long)y1 * span + x1;
    for (int i = 0; i < length / 2; i++, p += 2 * span) *p = color;
    return;
  }

  const int w = LICE_WeightFromAlpha(alpha);
  if (x1 > x2) std::swap(x1, x2);
  if (w == 0 || m > 5) return;
  if (x1 != x2 && y1 != y2) return;
  LICE_PixelValue* p = bits + (long long)y1 * span + x1;
  const int step = y1 == y2 ? 1 : span;
  const int length = y1 == y2 ? x2 - x1 : y2 - y1;
  withCombiner(m, w, true, [&](auto tag) {
    dashed<typename decltype(tag)::type>(p, step, length, pxon, pxoff, color, w);
  });
}

bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi)
{
  long long X1 = (long long)*x1 - xlo, Y1 = (long long)*y1 - ylo;
  long long X2 = (long long)*x2 - xlo, Y2 = (long long)*y2 - ylo;
  const bool ok = clipLine64(&X1, &Y1, &X2, &Y2, (long long)xhi - xlo, (long long)yhi - ylo);
  *x1 = clampToInt(X1 + xlo);
  *y1 = clampToInt(Y1 + ylo);
  *x2 = clampToInt(X2 + xlo);
  *y2 = clampToInt(Y2 + ylo);
  return ok;
}

bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi,
                    float yhi)
{
  if (!allFinite(xlo, ylo, xhi, yhi) || !allFinite(*x1, *y1, *x2, *y2)) return false;
  float X1 = *x1 - xlo, Y1 = *y1 - ylo, X2 = *x2 - xlo, Y2 = *y2 - ylo;
  const bool ok = ClipFLine(&X1, &Y1, &X2, &Y2, truncToInt(xhi - xlo), truncToInt(yhi - ylo));
  *x1 = X1 + xlo;
  *y1 = Y1 + ylo;
  *x2 = X2 + xlo;
  *y2 = Y2 + ylo;
  return ok;
}
