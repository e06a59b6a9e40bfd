// Rectangle outlines, trapezoid fills and convex polygons cut into trapezoids.
#include <cstdlib>
#include <new>
#include <utility>

#include "raster/draw_util.h"
#include "raster/lice.h"

using namespace lice_draw;

namespace {

// One edge of a trapezoid, walked in 16.16: whole x, step magnitude, fraction
// and direction. x is 64-bit so that far-off edges cannot overflow on the way.
struct Edge {
  long long x;
  int mag, acc, dir;

  void advance()
  {
    acc += mag;
    if (acc >= 65536) {
      x += (long long)dir * (acc >> 16);
      acc &= 0xFFFF;
    }
  }
};

struct FillRows {
  LICE_PixelValue* row;
  int width, span, rows;
  Edge l, r;  // r.x is the exclusive right end
};

// The rows of a clipped trapezoid for one combiner (the plain rows of the
// `_LICE_Fill` template) or one whole-word blend (those of `_LICE_FillFast`).
template <class Pix>
void FillClippedTrapezoid(FillRows f, const Pix& pix)
{
  for (int k = 0; k < f.rows; k++, f.row += f.span) {
    const long long lo = f.l.x < 0 ? 0 : f.l.x;
    const long long hi = f.r.x > f.width ? f.width : f.r.x;
    for (long long x = lo; x < hi; x++) pix(f.row + x);
    f.l.advance();
    f.r.advance();
  }
}

template <class C>
struct CombinerPix {
  Rgba c;
  int w;
  void operator()(LICE_PixelValue* p) const { combine<C>(p, c, w); }
};

template <class F>
struct WordPix {
  LICE_PixelValue c;
  void operator()(LICE_PixelValue* p) const { F::doPix(p, c); }
};

template <class F>
void FillClippedTrapezoidFAST(const FillRows& f, LICE_PixelValue color)
{
  FillClippedTrapezoid(f, WordPix<F>{F::prepare(color)});
}

template <class C>
void fillWith(const FillRows& f, LICE_PixelValue color, int w)
{
  FillClippedTrapezoid(f, CombinerPix<C>{Rgba(color), w});
}

Edge makeEdge(long long x, double step)
{
  if (step > 536870912.0) step = 536870912.0;
  if (step < -536870912.0) step = -536870912.0;
  const int s = (int)step;
  return Edge{x, std::abs(s), 0, s < 0 ? -1 : 1};
}

// Moves an edge down by rows whole rows; the product needs 64 bits, as a
// step of 8192 pixels a row times two billion rows is far beyond 32.
void skipRows(Edge* e, long long rows)
{
  const long long p = (long long)e->mag * rows;
  e->x += e->dir * (p >> 16);
  e->acc = (int)(p & 0xFFFF);
}

int _ysort(const void* a, const void* b)
{
  const int* p = static_cast<const int*>(a);
  const int* q = static_cast<const int*>(b);
  if (p[1] != q[1]) return p[1] < q[1] ? -1 : 1;
  if (p[0] != q[0]) return p[0] < q[0] ? -1 : 1;
  return 0;
}

int FindNextEdgeVertex(const int* xy, int wi, int n, int dir)
{
  int best = wi;
  float bestSlope = 0.0f;
  const int wx = xy[2 * wi], wy = xy[2 * wi + 1];
  for (int i = wi + 1; i < n; i++) {
    if (xy[2 * i + 1] == wy) continue;
    const float s = (float)((long long)xy[2 * i] - wx) / (float)((long long)xy[2 * i + 1] - wy);
    if (best == wi || s == bestSlope || (dir < 0 ? s < bestSlope : s > bestSlope)) {
      best = i;
      bestSlope = s;
    }
  }
  return best;
}

// x of the edge from vertex a to vertex b (a above b) at a row.
int edgeX(const int* xy, int a, int b, long long row)
{
  const int tx = xy[2 * a], ty = xy[2 * a + 1], bx = xy[2 * b], by = xy[2 * b + 1];
  if (row <= ty) return tx;
  if (row >= by) return bx;
  const float slope = (float)((long long)bx - tx) / (float)((long long)by - ty);
  return truncToInt((float)tx + (float)(row - ty) * slope);
}

}  // namespace

void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue color,
                   float alpha, int mode)
{
  const int x2 = addClamped(x, w), y2 = addClamped(y, h);
  LICE_Line(dest, x, y, x2, y, color, alpha, mode, false);
  LICE_Line(dest, x2, y, x2, y2, color, alpha, mode, false);
  LICE_Line(dest, x2, y2, x, y2, color, alpha, mode, false);
  LICE_Line(dest, x, y2, x, y, color, alpha, mode, false);
}

void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_PixelValue bgcolor,
                       LICE_PixelValue fgcolor, float alpha, int mode)
{
  LICE_FillRect(dest, addClamped(x, 1), addClamped(y, 1), addClamped(w, -1), addClamped(h, -1),
                bgcolor, alpha, mode);
  LICE_DrawRect(dest, x, y, w, h, fgcolor, alpha, mode);
}

void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2,
                        LICE_PixelValue color, float alpha, int mode)
{
  if (!dest) return;
  if (y2 < y1) {
    std::swap(x1a, x2a);
    std::swap(x1b, x2b);
    std::swap(y1, y2);
  }
  if (x1a > x1b) std::swap(x1a, x1b);
  if (x2a > x2b) std::swap(x2a, x2b);
  const int tl = x1a, tr = x1b, bl = x2a, br = x2b;
  const int W = dest->getWidth(), H = dest->getHeight();
  if (tr < 0 && br < 0) return;
  if (tl >= W && bl >= W) return;
  const bool pinL = tl <= 0 && bl <= 0;
  const bool pinR = tr >= W - 1 && br >= W - 1;
  if (y2 < 0 || y1 >= H) return;

  const double d = y2 != y1 ? 65536.0 / ((double)y2 - y1) : 0.0;
  Edge l = makeEdge(pinL ? 0 : tl, pinL ? 0.0 : ((double)bl - tl) * d);
  Edge r = makeEdge(pinR ? W - 1 : tr, pinR ? 0.0 : ((double)br - tr) * d);
  long long top = y1;
  if (y1 < 0) {
    skipRows(&l, -(long long)y1);
    skipRows(&r, -(long long)y1);
    top = 0;
  }
  const long long lastRow = y2 < H - 1 ? y2 : H - 1;
  const int rows = (int)(lastRow - top + 1);
  r.x += 1;
  if (l.mag == 0 && r.mag == 0) {
    if (l.x < 0) l.x = 0;
    if (r.x > W) r.x = W;
    if (l.x >= r.x) return;
  }
  LICE_PixelValue* bits = dest->getBits();
  if (!bits || rows < 1) return;
  const FillRows f{bits + top * dest->getRowSpan(), W, dest->getRowSpan(), rows, l, r};

  const int w8 = LICE_WeightFromAlpha(alpha);
  const int m = mode & 0xFF;
  if (m == 0) {
    switch (w8) {
      case 256: return FillClippedTrapezoidFAST<_LICE_CombinePixelsClobberFAST>(f, color);
      case 128: return FillClippedTrapezoidFAST<_LICE_CombinePixelsHalfMix2FAST>(f, color);
      case 64: return FillClippedTrapezoidFAST<_LICE_CombinePixelsQuarterMix2FAST>(f, color);
      case 192: return FillClippedTrapezoidFAST<_LICE_CombinePixelsThreeQuarterMix2FAST>(f, color);
    }
  }
  if (w8 == 0 || m > 5) return;
  switch (m) {
    case 0:
      if (w8 > 0) fillWith<_LICE_CombinePixelsCopyNoClamp>(f, color, w8);
      break;
    case 1: fillWith<_LICE_CombinePixelsAdd>(f, color, w8); break;
    case 2: fillWith<_LICE_CombinePixelsColorDodge>(f, color, w8); break;
    case 3: fillWith<_LICE_CombinePixelsMulNoClamp>(f, color, w8); break;
    case 4: fillWith<_LICE_CombinePixelsOverlay>(f, color, w8); break;
    case 5: fillWith<_LICE_CombinePixelsHSVAdjust>(f, color, w8); break;
  }
}

void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints,
                            LICE_PixelValue color, float alpha, int mode)
{
  if (!dest || !x || !y || npoints < 3) return;
  const int W = dest->getWidth(), H = dest->getHeight();
  const bool flipped = dest->isFlipped();

  int local[2 * 512];
  int* xy = npoints <= 512 ? local : new (std::nothrow) int[2 * (size_t)npoints];
  if (!xy) return;
  int minX = W, maxX = 0;
  for (int i = 0; i < npoints; i++) {
    xy[2 * i] = x[i];
    xy[2 * i + 1] = flipped ? flipRow(H, y[i]) : y[i];
    if (x[i] < minX) minX = x[i];
    if (x[i] > maxX) maxX = x[i];
  }
  qsort(xy, npoints, 2 * sizeof(int), _ysort);

  const int topY = xy[1];
  if (topY == xy[2 * npoints - 1]) {
    if (topY >= 0 && topY < H && minX <= maxX)
      LICE_FillTrapezoid(dest, minX, maxX, topY, minX, maxX, topY, color, alpha, mode);
  } else {
    int a = 0;
    while (a + 1 < npoints && xy[2 * (a + 1)] == xy[0] && xy[2 * (a + 1) + 1] == topY) a++;
    int b = a;
    while (b + 1 < npoints && xy[2 * (b + 1) + 1] == topY) b++;
    int nl = FindNextEdgeVertex(xy, a, npoints, -1);
    int nr = FindNextEdgeVertex(xy, b, npoints, 1);
    long long row = topY;
    while (b != nr || a != nl) {
      const int ybot = xy[2 * nl + 1] < xy[2 * nr + 1] ? xy[2 * nl + 1] : xy[2 * nr + 1];
      // A chain can only move down; a bottom above the current row would mean
      // the loop is no longer making progress.
      if (ybot < row) break;
      LICE_FillTrapezoid(dest, edgeX(xy, a, nl, row), edgeX(xy, b, nr, row), (int)row,
                         edgeX(xy, a, nl, ybot), edgeX(xy, b, nr, ybot), ybot, color, alpha, mode);
      if (xy[2 * nl + 1] == ybot) {
        a = nl;
        nl = FindNextEdgeVertex(xy, a, npoints, -1);
      }
      if (xy[2 * nr + 1] == ybot) {
        b = nr;
        nr = FindNextEdgeVertex(xy, b, npoints, 1);
      }
      row = (long long)ybot + 1;
    }
  }
  if (xy != local) delete[] xy;
}

void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                       LICE_PixelValue color, float alpha, int mode)
{
  const int x[3] = {x1, x2, x3}, y[3] = {y1, y2, y3};
  LICE_FillConvexPolygon(dest, x, y, 3, color, alpha, mode);
}
