#include "raster/lice.h"
#include "raster/lice_fast.h"
#include "raster/lice_templates.h"

#include <climits>
#include <cmath>

namespace {

// Everything a scaler needs once the rectangles are clipped.
struct ScaleJob
{
  LICE_PixelValue* dest;
  const LICE_PixelValue* src;
  int w, h, x, y, dx, dy, right, bottom, srcStep, destStep, weight, filter;
  bool filterDown;
  int kernel[25];
  int firstTap, kernelSize;
};

template <class COMBFUNC>
void scaleWith(const ScaleJob& j)
{
  if (j.filterDown)
    _LICE_Template_Blit2<COMBFUNC>::scaleBlitFilterDown(j.dest, j.src, j.w, j.h, j.x, j.y, j.dx, j.dy, j.right,
                                                        j.bottom, j.srcStep, j.destStep, j.weight, j.kernel,
                                                        j.firstTap, j.kernelSize);
  else
    _LICE_Template_Blit2<COMBFUNC>::scaleBlit(j.dest, j.src, j.w, j.h, j.x, j.y, j.dx, j.dy, j.right, j.bottom,
                                              j.srcStep, j.destStep, j.weight, j.filter);
}

template <class COMBFUNC>
void scaleFAST(const ScaleJob& j, bool halfMix)
{
  if (LICE_FastPathsEnabled() && lice_fast::scaleNearestFAST(j.dest, j.src, j.w, j.h, j.x, j.y, j.dx, j.dy, j.right,
                                                             j.bottom, j.srcStep, j.destStep, halfMix))
    return;
  _LICE_Template_Blit0<COMBFUNC>::scaleBlitFAST(j.dest, j.src, j.w, j.h, j.x, j.y, j.dx, j.dy, j.right, j.bottom,
                                                j.srcStep, j.destStep);
}

// Bilinear sampling into an overwrite or a full-weight source-alpha copy has a fast twin.
bool bilinearFast(const ScaleJob& j, bool sourceAlpha)
{
  return !j.filterDown && j.filter == LICE_MODE_BILINEAR && LICE_FastPathsEnabled() &&
         lice_fast::scaleBilinear(j.dest, j.src, j.w, j.h, j.x, j.y, j.dx, j.dy, j.right, j.bottom, j.srcStep,
                                  j.destStep, sourceAlpha);
}

void runScaler(const ScaleJob& j, int mode)
{
  switch (mode & (LICE_MODE_SOURCEALPHA | LICE_MODE_MASK))
  {
    case LICE_MODE_COPY:
      if (j.weight == 256)
      {
        if (!bilinearFast(j, false)) scaleWith<_LICE_CombinePixelsClobberNoClamp>(j);
      }
      else if (j.weight >= 1)
        scaleWith<_LICE_CombinePixelsCopyNoClamp>(j);
      break;
    case LICE_MODE_ADD: scaleWith<_LICE_CombinePixelsAdd>(j); break;
    case LICE_MODE_COLORDODGE: scaleWith<_LICE_CombinePixelsColorDodge>(j); break;
    case LICE_MODE_MULTIPLY: scaleWith<_LICE_CombinePixelsMulNoClamp>(j); break;
    case LICE_MODE_OVERLAY: scaleWith<_LICE_CombinePixelsOverlay>(j); break;
    case LICE_MODE_HSVADJUST: scaleWith<_LICE_CombinePixelsHSVAdjust>(j); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_COPY:
      if (j.weight == 256)
      {
        if (!bilinearFast(j, true)) scaleWith<_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(j);
      }
      else
        scaleWith<_LICE_CombinePixelsCopySourceAlphaNoClamp>(j);
      break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_ADD: scaleWith<_LICE_CombinePixelsAddSourceAlpha>(j); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_COLORDODGE: scaleWith<_LICE_CombinePixelsColorDodgeSourceAlpha>(j); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_MULTIPLY: scaleWith<_LICE_CombinePixelsMulSourceAlphaNoClamp>(j); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_OVERLAY: scaleWith<_LICE_CombinePixelsOverlaySourceAlpha>(j); break;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_HSVADJUST: scaleWith<_LICE_CombinePixelsHSVAdjustSourceAlpha>(j); break;
  }
}

bool fitsInt(long long v)
{
  return v >= INT_MIN && v <= INT_MAX;
}

// A 16.16 position or step from a float, truncated; false when it does not fit.
bool toFixed(float v, long long* out)
{
  const double f = (double)v * 65536.0;
  if (!(f > -2147483648.0 && f < 2147483648.0)) return false;
  *out = (long long)f;
  return true;
}

// The exclusive source limit of one axis: trunc(start + max(size, 0) + 0.999999),
// at most the bitmap's size; 0 when nothing of the source is left.
int sourceLimit(float start, float size, int bitmapSize)
{
  const double edge = (double)start + (size > 0 ? size : 0) + 0.999999;
  if (!(edge >= 1)) return 0;
  return edge >= bitmapSize ? bitmapSize : (int)edge;
}

// With a positive step: drop leading destination pixels whose source position is
// negative, and trailing ones whose source position lies at or beyond the bitmap.
void trimAxis(long long step, int bitmapSize, long long* pos, long long* dst, long long* len)
{
  if (step <= 0) return;
  if (*pos < 0)
  {
    const long long n = (step - 1 - *pos) / step;
    *dst += n;
    *pos += n * step;
    *len -= n;
  }
  const long long limit = (long long)bitmapSize * 65536;
  if (*len > 0 && (*len - 1) * step + *pos >= limit)
  {
    const long long fit = *pos < limit ? (limit - 1 - *pos) / step + 1 : 0;
    if (fit < *len) *len = fit;
  }
}

}  // namespace

void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth, float srcx,
                     float srcy, float srcw, float srch, float alpha, int mode)
{
  if (!dest || !src || !dstw || !dsth || alpha == 0.0f) return;
  if (!std::isfinite(srcx) || !std::isfinite(srcy) || !std::isfinite(srcw) || !std::isfinite(srch) ||
      !std::isfinite(alpha))
    return;

  // Unscaled: a plain blit, for positive sizes only (a mirror's sizes differ in
  // sign, so it never gets here). Equal sizes both negative take the scaled path
  // and draw the unmirrored copy it draws for nearly equal sizes, where a plain
  // blit would draw nothing.
  if (dstw > 0 && dsth > 0 && std::fabs((double)srcw - dstw) < 0.001 && std::fabs((double)srch - dsth) < 0.001)
  {
    bool whole = true;
    if ((mode & 0xFF00) == LICE_MODE_BILINEAR)
      whole = std::fabs(srcx - std::floor(srcx + 0.5)) < 0.03 && std::fabs(srcy - std::floor(srcy + 0.5)) < 0.03;
    if (whole)
    {
      const double left = srcx + 0.5, top = srcy + 0.5;
      if (std::fabs(left) < 2e9 && std::fabs(top) < 2e9)
        LICE_Blit(dest, src, dstx, dsty, (int)left, (int)top, dstw, dsth, alpha, mode);
      return;
    }
  }

  long long dx = dstx, dy = dsty, dw = dstw, dh = dsth;
  if (dw < 0)
  {
    dw = -dw;
    dx -= dw;
    srcx += srcw;
    srcw = -srcw;
  }
  if (dh < 0)
  {
    dh = -dh;
    dy -= dh;
    srcy += srch;
    srch = -srch;
  }
  const float xstep = srcw / (float)dw, ystep = srch / (float)dh;

  if (dx < 0)
  {
    srcx += (float)-dx * xstep;
    dw += dx;
    dx = 0;
  }
  if (dy < 0)
  {
    srcy += (float)-dy * ystep;
    dh += dy;
    dy = 0;
  }
  LICE_PixelView dv, sv;
  if (!dv.init(dest) || !sv.init(src)) return;
  if (dx + dw > dv.width) dw = dv.width - dx;
  if (dy + dh > dv.height) dh = dv.height - dy;
  if (dw < 1 || dh < 1) return;

  const int right = sourceLimit(srcx, srcw, sv.width), bottom = sourceLimit(srcy, srch, sv.height);
  if (right < 1 || bottom < 1) return;

  // A mirrored axis walks from its far edge inward: its first sample lies one step
  // inside, so a mirror covers the same source pixels as the plain blit.
  const float startx = xstep < 0 ? srcx + xstep : srcx, starty = ystep < 0 ? srcy + ystep : srcy;
  long long x, y, xs, ys;
  if (!toFixed(startx, &x) || !toFixed(starty, &y) || !toFixed(xstep, &xs) || !toFixed(ystep, &ys)) return;
  trimAxis(xs, sv.width, &x, &dx, &dw);
  trimAxis(ys, sv.height, &y, &dy, &dh);
  if (dw < 1 || dh < 1) return;
  // Every position the walk reaches must be a 16.16 int.
  if (!fitsInt(x + dw * xs) || !fitsInt(y + dh * ys)) return;

  ScaleJob j;
  j.dest = dv.at((int)dx, (int)dy);
  j.src = sv.row(0);
  j.w = (int)dw;
  j.h = (int)dh;
  j.x = (int)x;
  j.y = (int)y;
  j.dx = (int)xs;
  j.dy = (int)ys;
  j.right = right;
  j.bottom = bottom;
  j.srcStep = sv.step();
  j.destStep = dv.step();
  j.weight = LICE_WeightFromAlpha(alpha);
  j.filter = mode & 0xFF00;
  j.filterDown = false;
  j.firstTap = j.kernelSize = 0;

  if ((mode & 0x1FFFF) == 0)
  {
    if (j.weight == 256)
    {
      scaleFAST<_LICE_CombinePixelsClobberFAST>(j, false);
      return;
    }
    if (j.weight == 128)
    {
      scaleFAST<_LICE_CombinePixelsHalfMixFAST>(j, true);
      return;
    }
  }
  if (j.weight == 0) return;

  if (j.filter == LICE_MODE_BILINEAR && xstep >= 1.7f && ystep >= 1.7f)
  {
    // A uniform box of 3 x 3 source pixels, 5 x 5 beyond three pixels a step.
    j.filterDown = true;
    j.kernelSize = (xs > ys ? xs : ys) > 0x30000 ? 5 : 3;
    j.firstTap = -(j.kernelSize / 2);
    for (int i = 0; i < j.kernelSize * j.kernelSize; ++i) j.kernel[i] = 65536;
  }
  runScaler(j, mode);
}
