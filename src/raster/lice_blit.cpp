#include "raster/lice.h"
#include "raster/lice_fast.h"
#include "raster/lice_templates.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <new>

namespace {

struct BlitRows
{
  LICE_PixelValue* dest;
  const LICE_PixelValue* src;
  int w, h, destStep, srcStep;
};

template <class COMBFUNC>
void blitWith(const BlitRows& r, int weight)
{
  _LICE_Template_Blit2<COMBFUNC>::blit(r.dest, r.src, r.w, r.h, r.srcStep, r.destStep, weight);
}

template <class RowFunc>
void eachRow(const BlitRows& r, RowFunc f)
{
  LICE_PixelValue* d = r.dest;
  const LICE_PixelValue* s = r.src;
  for (int y = 0; y < r.h; ++y, d += r.destStep, s += r.srcStep) f(d, s);
}

// Rows without padding on both sides are one run: a single string copy instead of
// a start-up a row.
void copyRows(const BlitRows& r)
{
  if (r.destStep == r.w && r.srcStep == r.w)
  {
    if (LICE_FastPathsEnabled())
      lice_fast::copyRun(r.dest, r.src, (size_t)r.w * (size_t)r.h);
    else
      memcpy(r.dest, r.src, (size_t)r.w * (size_t)r.h * sizeof(*r.dest));
    return;
  }
  eachRow(r, [&](LICE_PixelValue* d, const LICE_PixelValue* s) { memcpy(d, s, (size_t)r.w * sizeof(*d)); });
}

// Blended rows read the destination only where the source is partly transparent,
// too sparsely for the processor to fetch ahead; asking for the next row while
// this one is blended hides most of the wait.
inline void prefetchNextRow(const LICE_PixelValue* d, const BlitRows& r)
{
  const char* next = (const char*)(d + r.destStep);
  const int bytes = r.w * (int)sizeof(*d);
  for (int i = 0; i < bytes; i += 64) __builtin_prefetch(next + i, 1);
}

// The combiners of the plain blit, chosen once per call by mode & 0x100FF.
void blitCombined(const BlitRows& r, int weight, int mode)
{
  const bool fast = LICE_FastPathsEnabled();
  switch (mode & (LICE_MODE_SOURCEALPHA | LICE_MODE_MASK))
  {
    case LICE_MODE_COPY:
      if (weight == 256)
        copyRows(r);
      else if (weight >= 1 && fast && weight < 256)
        eachRow(r, [&](LICE_PixelValue* d, const LICE_PixelValue* s) { lice_fast::copyRow(d, s, r.w, weight); });
      else if (weight >= 1)
        blitWith<_LICE_CombinePixelsCopyNoClamp>(r, weight);
      break;
    case LICE_MODE_ADD: blitWith<_LICE_CombinePixelsAdd>(r, weight); break;
    case LICE_MODE_COLORDODGE: blitWith<_LICE_CombinePixelsColorDodge>(r, weight); break;
    case LICE_MODE_MULTIPLY: blitWith<_LICE_CombinePixelsMulNoClamp>(r, weight); break;
    case LICE_MODE_OVERLAY: blitWith<_LICE_CombinePixelsOverlay>(r, weight); break;
    case LICE_MODE_HSVADJUST: blitWith<_LICE_CombinePixelsHSVAdjust>(r, weight); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_COPY:
      if (weight == 256 && fast)
        eachRow(r, [&](LICE_PixelValue* d, const LICE_PixelValue* s) {
          prefetchNextRow(d, r);
          lice_fast::sourceAlphaFullRow(d, s, r.w);
        });
      else if (weight == 256)
        blitWith<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(r, weight);
      else if (fast && weight > 0 && weight < 256)
        eachRow(r, [&](LICE_PixelValue* d, const LICE_PixelValue* s) {
          prefetchNextRow(d, r);
          lice_fast::sourceAlphaRow(d, s, r.w, weight);
        });
      else
        blitWith<_LICE_CombinePixelsCopySourceAlphaNoClamp>(r, weight);
      break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_ADD: blitWith<_LICE_CombinePixelsAddSourceAlpha>(r, weight); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_COLORDODGE:
      blitWith<_LICE_CombinePixelsColorDodgeSourceAlpha>(r, weight);
      break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_MULTIPLY: blitWith<_LICE_CombinePixelsMulSourceAlphaNoClamp>(r, weight); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_OVERLAY: blitWith<_LICE_CombinePixelsOverlaySourceAlpha>(r, weight); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_HSVADJUST:
      blitWith<_LICE_CombinePixelsHSVAdjustSourceAlpha>(r, weight);
      break;
  }
}

void channelCopy(const BlitRows& r, int mode)
{
  const int from = mode & 3, to = (mode >> 2) & 3;
  eachRow(r, [&](LICE_PixelValue* d, const LICE_PixelValue* s) {
    for (int i = 0; i < r.w; ++i) ((unsigned char*)(d + i))[to] = ((const unsigned char*)(s + i))[from];
  });
}

// Destination clipping shared by blits and blurs: a negative destination position
// moves the source's top-left instead, and the size is cut to the destination.
// False when nothing of at least minSize x minSize is left.
bool clipToDest(const LICE_PixelView& dv, long long* l, long long* t, long long r, long long b, long long* dx,
                long long* dy, long long* w, long long* h, long long minSize)
{
  if (*dx < 0)
  {
    *l -= *dx;
    *dx = 0;
  }
  if (*dy < 0)
  {
    *t -= *dy;
    *dy = 0;
  }
  *w = r - *l;
  *h = b - *t;
  if (*dx + *w > dv.width) *w = dv.width - *dx;
  if (*dy + *h > dv.height) *h = dv.height - *dy;
  return *w >= minSize && *h >= minSize;
}

bool overlaps(long long ax, long long ay, long long bx, long long by, long long w, long long h)
{
  return ax < bx + w && bx < ax + w && ay < by + h && by < ay + h;
}

int clampToInt(long long v)
{
  return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : (int)v;
}

}  // namespace

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect, float alpha, int mode)
{
  if (!dest || !src || alpha == 0.0f) return;
  LICE_PixelView dv, sv;
  if (!dv.init(dest) || !sv.init(src)) return;

  // 64-bit arithmetic: no position or size near the int limits can wrap.
  long long l = 0, t = 0, r = sv.width, b = sv.height, dx = dstx, dy = dsty;
  if (srcrect)
  {
    l = srcrect->left;
    t = srcrect->top;
    r = srcrect->right < sv.width ? srcrect->right : sv.width;
    b = srcrect->bottom < sv.height ? srcrect->bottom : sv.height;
    if (l < 0)
    {
      dx -= l;
      l = 0;
    }
    if (t < 0)
    {
      dy -= t;
      t = 0;
    }
  }
  long long w, h;
  if (!clipToDest(dv, &l, &t, r, b, &dx, &dy, &w, &h, 1)) return;

  BlitRows rows = {dv.at((int)dx, (int)dy), sv.at((int)l, (int)t), (int)w, (int)h, dv.step(), sv.step()};

  // A blit of a bitmap onto itself reads its source from a copy, so rows written
  // early are never read back.
  LICE_PixelValue* copy = nullptr;
  if (dv.bits == sv.bits && overlaps(l, t, dx, dy, w, h))
  {
    copy = new (std::nothrow) LICE_PixelValue[(size_t)(w * h)];
    if (!copy) return;
    const LICE_PixelValue* s = rows.src;
    for (long long y = 0; y < h; ++y, s += rows.srcStep) memcpy(copy + y * w, s, (size_t)w * sizeof(*copy));
    rows.src = copy;
    rows.srcStep = (int)w;
  }

  if ((mode & LICE_MODE_CHANNELCOPY) == LICE_MODE_CHANNELCOPY)
    channelCopy(rows, mode);
  else if ((mode & (LICE_MODE_SOURCEALPHA | LICE_MODE_MASK)) == LICE_MODE_COPY && alpha == 1.0f)
    copyRows(rows);
  else if ((mode & (LICE_MODE_SOURCEALPHA | LICE_MODE_MASK)) == LICE_MODE_COPY && alpha == 0.5f)
    eachRow(rows, [&](LICE_PixelValue* d, const LICE_PixelValue* s) {
      for (int i = 0; i < rows.w; ++i) _LICE_CombinePixelsHalfMixFAST::doPix(d + i, s[i]);
    });
  else
  {
    const int weight = LICE_WeightFromAlpha(alpha);
    if (weight != 0) blitCombined(rows, weight, mode);
  }
  delete[] copy;
}

void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch,
               float alpha, int mode)
{
  const RECT r = {srcx, srcy, clampToInt((long long)srcx + srcw), clampToInt((long long)srcy + srch)};
  LICE_Blit(dest, src, dstx, dsty, &r, alpha, mode);
}

void LICE_Copy(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!dest || !src || dest == src) return;
  dest->resize(src->getWidth(), src->getHeight());
  LICE_Blit(dest, src, 0, 0, nullptr, 1.0f, LICE_MODE_COPY);
}

namespace {

// A float start or step as 16.16, truncated; saturated where it would not fit.
int64_t fixed16(float v)
{
  const double f = (double)v * 65536.0;
  if (f >= 2147483647.0) return INT_MAX;
  if (f <= -2147483648.0) return INT_MIN;
  return (int64_t)f;
}

template <class COMBFUNC>
void gradWith(LICE_PixelValue* d, int w, int h, const int64_t* v, int step)
{
  _LICE_Template_Blit1<COMBFUNC>::gradBlit(d, w, h, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9],
                                           v[10], v[11], step);
}

}  // namespace

void LICE_GradRect(LICE_IBitmap* dest, int dstx, int dsty, int dstw, int dsth, float ir, float ig, float ib,
                   float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy, float dbdy,
                   float dady, int mode)
{
  if (!dest) return;
  // Start, x step and y step of red, green, blue and alpha; alpha is scaled to a weight.
  float start[4] = {ir * 255, ig * 255, ib * 255, ia * 256};
  const float sx[4] = {drdx * 255, dgdx * 255, dbdx * 255, dadx * 256};
  const float sy[4] = {drdy * 255, dgdy * 255, dbdy * 255, dady * 256};
  for (int c = 0; c < 4; ++c)
    if (!std::isfinite(start[c]) || !std::isfinite(sx[c]) || !std::isfinite(sy[c])) return;

  LICE_PixelView dv;
  long long x = dstx, y = dsty, w = dstw, h = dsth;
  if (x < 0)
  {
    for (int c = 0; c < 4; ++c) start[c] -= (float)x * sx[c];
    w += x;
    x = 0;
  }
  if (y < 0)
  {
    for (int c = 0; c < 4; ++c) start[c] -= (float)y * sy[c];
    h += y;
    y = 0;
  }
  if (!dv.init(dest)) return;
  if (x + w > dv.width) w = dv.width - x;
  if (y + h > dv.height) h = dv.height - y;
  if (w <= 0 || h <= 0) return;

  int64_t v[12];
  for (int c = 0; c < 4; ++c)
  {
    v[c] = fixed16(start[c]);
    v[4 + c] = fixed16(sx[c]);
    v[8 + c] = fixed16(sy[c]);
  }
  LICE_PixelValue* d = dv.at((int)x, (int)y);
  const int step = dv.step();
  const int iw = (int)w, ih = (int)h;

  if ((mode & LICE_MODE_MASK) == LICE_MODE_COPY && dadx == 0.0f && dady == 0.0f && ia == 1.0f)
  {
    gradWith<_LICE_CombinePixelsClobberClamp>(d, iw, ih, v, step);
    return;
  }
  switch (mode & LICE_MODE_MASK)
  {
    case LICE_MODE_COPY: gradWith<_LICE_CombinePixelsCopyClamp>(d, iw, ih, v, step); break;
    case LICE_MODE_ADD: gradWith<_LICE_CombinePixelsAdd>(d, iw, ih, v, step); break;
    case LICE_MODE_COLORDODGE: gradWith<_LICE_CombinePixelsColorDodge>(d, iw, ih, v, step); break;
    case LICE_MODE_MULTIPLY: gradWith<_LICE_CombinePixelsMulClamp>(d, iw, ih, v, step); break;
    case LICE_MODE_OVERLAY: gradWith<_LICE_CombinePixelsOverlay>(d, iw, ih, v, step); break;
    case LICE_MODE_HSVADJUST: gradWith<_LICE_CombinePixelsHSVAdjust>(d, iw, ih, v, step); break;
  }
}

namespace {

inline LICE_PixelValue half(LICE_PixelValue p)
{
  return (p >> 1) & 0x7F7F7F7F;
}
inline LICE_PixelValue quarter(LICE_PixelValue p)
{
  return (p >> 2) & 0x3F3F3F3F;
}
inline LICE_PixelValue eighth(LICE_PixelValue p)
{
  return (p >> 3) & 0x1F1F1F1F;
}

}  // namespace

void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy, int srcw, int srch)
{
  if (!dest || !src) return;
  LICE_PixelView dv, sv;
  if (!dv.init(dest) || !sv.init(src)) return;

  // The source rectangle is cut to the source without moving the destination.
  long long l = srcx > 0 ? srcx : 0, t = srcy > 0 ? srcy : 0;
  long long r = (long long)srcx + srcw, b = (long long)srcy + srch;
  if (r > sv.width) r = sv.width;
  if (b > sv.height) b = sv.height;
  long long dx = dstx, dy = dsty, w, h;
  if (!clipToDest(dv, &l, &t, r, b, &dx, &dy, &w, &h, 2)) return;

  // Blurring a bitmap onto itself reads an unblurred copy of the area, whatever
  // the offsets; without memory for it nothing is drawn.
  const LICE_PixelValue* in = sv.at((int)l, (int)t);
  int inStep = sv.step();
  LICE_PixelValue* copy = nullptr;
  if (dv.bits == sv.bits)
  {
    copy = new (std::nothrow) LICE_PixelValue[(size_t)(w * h)];
    if (!copy) return;
    for (long long y = 0; y < h; ++y) memcpy(copy + y * w, in + y * inStep, (size_t)w * sizeof(*copy));
    in = copy;
    inStep = (int)w;
  }

  const int iw = (int)w, ih = (int)h;
  LICE_PixelValue* out = dv.at((int)dx, (int)dy);
  for (int y = 0; y < ih; ++y, out += dv.step())
  {
    const LICE_PixelValue* c = in + (ptrdiff_t)y * inStep;
    const LICE_PixelValue* up = y > 0 ? c - inStep : nullptr;
    const LICE_PixelValue* down = y < ih - 1 ? c + inStep : nullptr;
    for (int x = 0; x < iw; ++x)
    {
      LICE_PixelValue across, vertical;
      if (x > 0 && x < iw - 1)
        across = eighth(c[x - 1]) + eighth(c[x + 1]);
      else
        across = quarter(x > 0 ? c[x - 1] : c[x + 1]);
      if (up && down)
        vertical = eighth(up[x]) + eighth(down[x]);
      else
        vertical = quarter(up ? up[x] : down[x]);
      out[x] = half(c[x]) + across + vertical;
    }
  }
  delete[] copy;
}
