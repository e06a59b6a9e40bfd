// Quadratic and cubic Bezier curves as polylines of float lines, and cubic
// curves filled to a horizontal or vertical line.
#include <algorithm>
#include <cmath>
#include <utility>

#include "raster/draw_util.h"

using namespace lice_draw;

namespace {

// However small the tolerance or large the curve, a polyline needs no more
// segments than a few per pixel of the bitmap's width and height.
int segmentLimit(LICE_IBitmap* dest)
{
  return 4 * (std::max(dest->getWidth(), 0) + std::max(dest->getHeight(), 0)) + 64;
}

int segmentCount(double length, double trange, float tol, int limit)
{
  if (!(tol > 0)) tol = 1.0f;
  const double n = length * trange / tol;
  if (!(n >= 1)) return 1;
  return n > limit ? limit : (int)n;
}

struct Cubic {
  double a, b, c, d;

  Cubic(float p0, float p1, float p2, float p3)
  {
    c = 3.0 * (double)(p1 - p0);
    b = 3.0 * (double)(p2 - p1) - c;
    a = (double)(p3 - p0) - c - b;
    d = p0;
  }
  double at(double t) const { return ((a * t + b) * t + c) * t + d; }
};

float dist(float x1, float y1, float x2, float y2)
{
  const float dx = x2 - x1, dy = y2 - y1;
  return (float)std::sqrt((double)(dx * dx + dy * dy));
}

// The cubic put in order along one axis and clipped to the bitmap's columns.
struct CubicPrep {
  Cubic x{0, 0, 0, 0}, y{0, 0, 0, 0};
  float xstart = 0, ystart = 0, xend = 0, yend = 0;
  double tstart = 0, tend = 1;
  int n = 0;
};

int CBezPrep(LICE_IBitmap* dest, float xs, float ys, float xc1, float yc1, float xc2, float yc2,
             float xe, float ye, float tol, bool xbasis, CubicPrep* p)
{
  if (!dest) return 0;
  if (!allFinite(xs, ys, xc1, yc1) || !allFinite(xc2, yc2, xe, ye)) return 0;
  const int W = dest->getWidth();
  if (xbasis ? xs > xe : ys > ye) {
    std::swap(xs, xe);
    std::swap(ys, ye);
    std::swap(xc1, xc2);
    std::swap(yc1, yc2);
  }
  p->x = Cubic(xs, xc1, xc2, xe);
  p->y = Cubic(ys, yc1, yc2, ye);
  p->xstart = xs;
  p->ystart = ys;
  p->xend = xe;
  p->yend = ye;
  p->tstart = 0;
  p->tend = 1;
  if (p->xstart < 0) {
    p->ystart = LICE_CBezier_GetY<float>(xs, xc1, xc2, xe, ys, yc1, yc2, ye, 0.0f, nullptr,
                                         nullptr, nullptr, &p->tstart);
    p->xstart = 0;
  }
  if (p->xend > W) {
    p->yend = LICE_CBezier_GetY<float>(xs, xc1, xc2, xe, ys, yc1, yc2, ye, (float)W, nullptr,
                                       nullptr, &p->tend, nullptr);
    p->xend = (float)W;
  }
  if (xbasis ? p->xstart > p->xend : p->ystart > p->yend) return 0;
  const double L = (double)dist(xs, ys, xc1, yc1) + dist(xc1, yc1, xc2, yc2) +
                   dist(xc2, yc2, xe, ye);
  p->n = segmentCount(L, p->tend - p->tstart, tol, segmentLimit(dest));
  return p->n;
}

// Calls f(t) at the inner points of the prepared cubic's walk, in order.
template <class F>
void forInnerPoints(const CubicPrep& p, F&& f)
{
  if (p.n < 3) return;
  const double dt = (p.tend - p.tstart) / p.n;
  for (int k = 1; k <= p.n - 2; k++) f(p.tstart + k * dt);
}

void DoBezierFillSegment(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int yfill,
                         LICE_PixelValue color, float alpha, int mode)
{
  if (x2 < x1) return;
  auto e = [&](int y) { return yfill > y ? addClamped(yfill, 1) : yfill; };
  if (x2 == x1) {
    const int m = std::max(y2, yfill);
    LICE_Line(dest, x1, std::min(y1, yfill), x1, m == yfill ? m : m - 1, color, alpha, mode,
              false);
    return;
  }
  if ((y1 < yfill) == (y2 < yfill)) {
    const int xs[4] = {x1, x1, x2, x2}, ys[4] = {y1, e(y1), y2, e(y1)};
    LICE_FillConvexPolygon(dest, xs, ys, 4, color, alpha, mode);
    return;
  }
  const int xc = addClamped(
      x1, truncToInt(((double)x2 - x1) * ((double)yfill - y1) / ((double)y2 - y1)));
  LICE_FillTriangle(dest, x1, y1, x1, e(y1), xc, e(y1), color, alpha, mode);
  LICE_FillTriangle(dest, xc, e(y2), x2, e(y2), x2, y2, color, alpha, mode);
}

void DoBezierFillSegmentX(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int xfill,
                          LICE_PixelValue color, float alpha, int mode)
{
  if (y2 < y1) return;
  auto e = [&](int x) { return xfill > x ? addClamped(xfill, 1) : xfill; };
  if (y2 == y1) {
    const int m = std::max(x2, xfill);
    LICE_Line(dest, std::min(x1, xfill), y1, m == xfill ? m : m - 1, y1, color, alpha, mode,
              false);
    return;
  }
  if ((x1 < xfill) == (x2 < xfill)) {
    const int below = addClamped(y2, 1);
    const int xs[4] = {x1, e(x1), x2, e(x1)}, ys[4] = {y1, y1, below, below};
    LICE_FillConvexPolygon(dest, xs, ys, 4, color, alpha, mode);
    return;
  }
  const int yc = addClamped(
      y1, truncToInt(((double)y2 - y1) * ((double)xfill - x1) / ((double)x2 - x1)));
  LICE_FillTriangle(dest, x1, y1, e(x1), y1, e(x1), yc, color, alpha, mode);
  LICE_FillTriangle(dest, e(x2), yc, e(x2), y2, x2, y2, color, alpha, mode);
}

}  // namespace

template <class T>
T LICE_Bezier_GetY(T x1, T x2, T x3, T y1, T y2, T y3, T x, double* t)
{
  double tt;
  T y;
  if (x <= x1) {
    tt = 0;
    y = y1;
  } else if (x >= x3) {
    tt = 1;
    y = y3;
  } else {
    const double A = (double)x3 - 2.0 * x2 + x1;
    if (A == 0) {
      if (x1 == x3) {
        tt = 0;
        y = y1;
      } else {
        tt = ((double)x - x1) / ((double)x3 - x1);
        y = (T)(y1 + (y3 - y1) * tt);
      }
    } else {
      const double B = 2.0 * ((double)x2 - x1);
      tt = (std::sqrt(B * B - 4.0 * A * ((double)x1 - x)) - B) / (2.0 * A);
      y = (T)((1 - tt) * (1 - tt) * y1 + 2 * (1 - tt) * tt * y2 + tt * tt * y3);
    }
  }
  if (t) *t = tt;
  return y;
}

template <class T>
T LICE_CBezier_GetY(T x1, T x2, T x3, T x4, T y1, T y2, T y3, T y4, T x, T* nextx, T* dydx,
                    double* tlo, double* thi)
{
  if (x < x1 || x >= x4) {
    if (nextx) *nextx = x < x1 ? x1 : x4;
    if (dydx) *dydx = 0;
    return x < x1 ? y1 : y4;
  }
  const Cubic cx(x1, x2, x3, x4), cy(y1, y2, y3, y4);
  double tl = 0, th = 1, xl = 0, xh = 0;
  for (int i = 0; i < 8; i++) {
    const double tm = (tl + th) / 2, xm = cx.at(tm);
    if (xm < x) {
      tl = tm;
      xl = xm;
    } else if (xm > x) {
      th = tm;
      xh = xm;
    } else {
      tl = tm;
      xl = xm;
      th = std::min(1.0, tm + 0.00390625);
      xh = cx.at(th);
      break;
    }
  }
  if (tl == 0) xl = cx.at(0);
  if (th == 1) xh = cx.at(1);
  const double ylo = cy.at(tl);
  const double slope = xh != xl ? (cy.at(th) - ylo) / (xh - xl) : 0;
  if (nextx) *nextx = (T)xh;
  if (dydx) *dydx = (T)slope;
  if (tlo) *tlo = tl;
  if (thi) *thi = th;
  return (T)(ylo + (x - xl) * slope);
}

template float LICE_Bezier_GetY<float>(float, float, float, float, float, float, float, double*);
template double LICE_Bezier_GetY<double>(double, double, double, double, double, double, double,
                                         double*);
template float LICE_CBezier_GetY<float>(float, float, float, float, float, float, float, float,
                                        float, float*, float*, double*, double*);
template double LICE_CBezier_GetY<double>(double, double, double, double, double, double, double,
                                          double, double, double*, double*, double*, double*);

void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl,
                      float xend, float yend, LICE_PixelValue color, float alpha, int mode, bool aa,
                      float tol)
{
  if (!dest || !allFinite(xstart, ystart, xctl, yctl) || !allFinite(xend, yend)) return;
  if (xstart > xend) {
    std::swap(xstart, xend);
    std::swap(ystart, yend);
  }
  const int W = dest->getWidth();
  double tstart = 0, tend = 1;
  float xs = xstart, ys = ystart, xe = xend, ye = yend;
  if (xs < 0) {
    ys = LICE_Bezier_GetY(xstart, xctl, xend, ystart, yctl, yend, 0.0f, &tstart);
    xs = 0;
  }
  if (xe >= W) {
    xe = (float)(W - 1);
    ye = LICE_Bezier_GetY(xstart, xctl, xend, ystart, yctl, yend, xe, &tend);
  }
  if (xs > xe) return;
  const double L = (double)dist(xstart, ystart, xctl, yctl) + dist(xctl, yctl, xend, yend);
  const int n = segmentCount(L, tend - tstart, tol, segmentLimit(dest));
  float px = xs, py = ys;
  if (n >= 2) {
    const double dt = (tend - tstart) / n;
    double t = tstart;
    for (int k = 1; k < n; k++) {
      t += dt;
      const double u = 1 - t;
      const float qx = (float)(u * u * xstart + 2 * u * t * xctl + t * t * xend);
      const float qy = (float)(u * u * ystart + 2 * u * t * yctl + t * t * yend);
      LICE_FLine(dest, px, py, qx, qy, color, alpha, mode, aa);
      px = qx;
      py = qy;
    }
  }
  LICE_FLine(dest, px, py, xe, ye, color, alpha, mode, aa);
}

void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, LICE_PixelValue color,
                      float alpha, int mode, bool aa, float tol)
{
  CubicPrep p;
  const int n =
      CBezPrep(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, tol, true, &p);
  if (!n) return;
  float px = p.xstart, py = p.ystart;
  forInnerPoints(p, [&](double t) {
    const float qx = (float)p.x.at(t), qy = (float)p.y.at(t);
    LICE_FLine(dest, px, py, qx, qy, color, alpha, mode, aa);
    px = qx;
    py = qy;
  });
  LICE_FLine(dest, px, py, p.xend, p.yend, color, alpha, mode, aa);
}

namespace {

// A cubic filled to a row (RowFill, walking along x) or to a column (walking
// along y). The walk is the same either way; only which coordinate leads and
// which segment filler takes the step differ.
template <bool RowFill>
void FillCBezierTo(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                   float xctl2, float yctl2, float xend, float yend, int fill,
                   LICE_PixelValue color, float alpha, int mode, float tol)
{
  CubicPrep p;
  const int n =
      CBezPrep(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, tol, RowFill, &p);
  if (!n) return;
  // Lead: the coordinate the walk advances along; side: the other one.
  const Cubic& lead = RowFill ? p.x : p.y;
  const Cubic& side = RowFill ? p.y : p.x;
  const float leadStart = RowFill ? p.xstart : p.ystart, sideStart = RowFill ? p.ystart : p.xstart;
  const float leadEnd = RowFill ? p.xend : p.yend, sideEnd = RowFill ? p.yend : p.xend;
  auto segment = [&](int lead1, int side1, int lead2, int side2) {
    if (RowFill)
      DoBezierFillSegment(dest, lead1, side1, lead2, side2, fill, color, alpha, mode);
    else
      DoBezierFillSegmentX(dest, side1, lead1, side2, lead2, fill, color, alpha, mode);
  };
  int cl = truncToInt(leadStart), cs = truncToInt(sideStart + 0.5);
  forInnerPoints(p, [&](double t) {
    const int l = truncToInt((float)lead.at(t));
    if (l < cl) return;
    const int s = truncToInt(side.at(t) + 0.5);
    segment(cl, cs, l, s);
    cl = addClamped(l, 1);
    cs = s;
  });
  const int le = truncToInt(leadEnd - 1);
  if (le >= cl) segment(cl, cs, le, truncToInt(sideEnd + 0.5));
}

}  // namespace

void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, int yfill,
                      LICE_PixelValue color, float alpha, int mode, float tol)
{
  FillCBezierTo<true>(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, yfill, color,
                      alpha, mode, tol);
}

void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                       float xctl2, float yctl2, float xend, float yend, int xfill,
                       LICE_PixelValue color, float alpha, int mode, float tol)
{
  FillCBezierTo<false>(dest, xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend, xfill, color,
                       alpha, mode, tol);
}
