// Blits whose source position moves by per-pixel and per-row deltas: the
// general delta blit, the rotated blit and the grid transform.
#include <cmath>
#include <initializer_list>

#include "raster/draw_util.h"

using namespace lice_draw;

namespace {

typedef void (*CombineFn)(unsigned char* dest, int r, int g, int b, int a, int alpha);

// Integer part (truncated toward zero) and low 16 bits of a 16.16 value.
inline int ipart(int v) { return v / 65536; }
inline int fpart(int v) { return v & 0xFFFF; }

struct _LICE_Template_Blit3 {
  static void deltaBlit(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int s,
                        int t, int dsdx, int dtdx, int dsdy, int dtdy, int dsdxdy, int dtdxdy,
                        int cl, int ct, int cr, int cb, int src_span, int dest_span, int weight,
                        int filter, CombineFn combine)
  {
    auto px = [&](int x, int y) {
      return reinterpret_cast<const unsigned char*>(src + (long long)y * src_span + x);
    };
    for (; h > 0; h--, dest += dest_span) {
      int cs = s, ct2 = t;
      for (int i = 0; i < w; i++, cs += dsdx, ct2 += dtdx) {
        const int xi = ipart(cs), yi = ipart(ct2);
        unsigned char* d = reinterpret_cast<unsigned char*>(dest + i);
        if (filter != LICE_MODE_BILINEAR) {
          if (xi >= cl && xi < cr && yi >= ct && yi < cb) {
            const unsigned char* p = px(xi, yi);
            combine(d, p[LICE_PIXEL_R], p[LICE_PIXEL_G], p[LICE_PIXEL_B], p[LICE_PIXEL_A], weight);
          }
          continue;
        }
        if (yi < ct || yi > cb - 1 || xi < cl || xi > cr - 1) continue;
        const int xf = fpart(cs), yf = fpart(ct2);
        int out[4];
        const unsigned char* p = px(xi, yi);
        if (yi < cb - 1) {
          const unsigned char* pb = px(xi, yi + 1);
          if (xi < cr - 1) {
            const int w11 = (int)(((long long)xf * yf) >> 16);
            const int wr = xf - w11, wb = yf - w11, wo = 65536 - xf - yf + w11;
            for (int c = 0; c < 4; c++)
              out[c] = (int)(((long long)p[c] * wo + (long long)p[c + 4] * wr +
                              (long long)pb[c] * wb + (long long)pb[c + 4] * w11) >>
                             16);
          } else {
            for (int c = 0; c < 4; c++)
              out[c] = (int)(((long long)pb[c] * yf + (long long)p[c] * (65536 - yf)) >> 16);
          }
        } else if (xi < cr - 1) {
          for (int c = 0; c < 4; c++)
            out[c] = (int)(((long long)p[c + 4] * xf + (long long)p[c] * (65536 - xf)) >> 16);
        } else {
          for (int c = 0; c < 4; c++) out[c] = p[c];
        }
        combine(d, out[LICE_PIXEL_R], out[LICE_PIXEL_G], out[LICE_PIXEL_B], out[LICE_PIXEL_A],
                weight);
      }
      s += dsdy;
      t += dtdy;
      dsdx += dsdxdy;
      dtdx += dtdxdy;
    }
  }
};

// The combine function of a mode at a weight, or null when nothing is drawn.
CombineFn combinerFor(int mode, int w)
{
  if (w == 0) return nullptr;
  switch (mode & 0x100FF) {
    case 0:
      if (w == 256) return &_LICE_CombinePixelsClobberNoClamp::doPix;
      return w >= 1 ? &_LICE_CombinePixelsCopyNoClamp::doPix : nullptr;
    case 1: return &_LICE_CombinePixelsAdd::doPix;
    case 2: return &_LICE_CombinePixelsColorDodge::doPix;
    case 3: return &_LICE_CombinePixelsMulNoClamp::doPix;
    case 4: return &_LICE_CombinePixelsOverlay::doPix;
    case 5: return &_LICE_CombinePixelsHSVAdjust::doPix;
    case 0x10000:
      if (w == 256) return &_LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix;
      return &_LICE_CombinePixelsCopySourceAlphaNoClamp::doPix;
    case 0x10001: return &_LICE_CombinePixelsAddSourceAlpha::doPix;
    case 0x10002: return &_LICE_CombinePixelsColorDodgeSourceAlpha::doPix;
    case 0x10003: return &_LICE_CombinePixelsMulSourceAlphaNoClamp::doPix;
    case 0x10004: return &_LICE_CombinePixelsOverlaySourceAlpha::doPix;
    case 0x10005: return &_LICE_CombinePixelsHSVAdjustSourceAlpha::doPix;
  }
  return nullptr;
}

inline bool fitsFixed(double v) { return v > -2147483648.0 && v < 2147483647.0; }

inline int clipCoord(double v) { return truncToInt(v); }

// The source clip rectangle of the arguments as passed.
void sourceClip(LICE_IBitmap* src, bool clip, double srcx, double srcy, double srcw, double srch,
                int* cl, int* ct, int* cr, int* cb)
{
  const int sw = src->getWidth(), sh = src->getHeight();
  if (!clip) {
    *cl = 0;
    *ct = 0;
    *cr = sw;
    *cb = sh;
    return;
  }
  *cl = clipCoord(srcx > 0 ? srcx : 0);
  *ct = clipCoord(srcy > 0 ? srcy : 0);
  *cr = clipCoord(srcx + srcw < sw ? srcx + srcw : sw);
  *cb = clipCoord(srcy + srch < sh ? srcy + srch : sh);
}

// Steps 4 to 8 of the delta blit, shared with the rotated blit: cut the
// destination rectangle, check that the whole 16.16 walk stays within 32 bits,
// and run the engine.
void finishDeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                     int dsth, float srcx, float srcy, double dsdx, double dtdx, double dsdy,
                     double dtdy, double dsdxdy, double dtdxdy, int cl, int ct, int cr, int cb,
                     float alpha, int mode)
{
  if (dstx < 0) {
    srcx -= dstx * dsdx;
    srcy -= dstx * dtdx;
    dstw = addClamped(dstw, dstx);
    dstx = 0;
  }
  if (dsty < 0) {
    srcx -= dsty * dsdy;
    srcy -= dsty * dtdy;
    dsth = addClamped(dsth, dsty);
    dsty = 0;
  }
  const int W = dest->getWidth(), H = dest->getHeight();
  if (dstw > W - dstx) dstw = W - dstx;
  if (dsth > H - dsty) dsth = H - dsty;
  if (dstw <= 0 || dsth <= 0) return;
  LICE_PixelValue* dbits = dest->getBits();
  const LICE_PixelValue* sbits = src->getBits();
  if (!dbits || !sbits) return;
  const CombineFn fn = combinerFor(mode, LICE_WeightFromAlpha(alpha));
  if (!fn) return;

  if (!allFinite(srcx, srcy)) return;
  const double v[8] = {srcx * 65536.0, srcy * 65536.0, dsdx * 65536.0,   dtdx * 65536.0,
                       dsdy * 65536.0, dtdy * 65536.0, dsdxdy * 65536.0, dtdxdy * 65536.0};
  for (double x : v)
    if (!fitsFixed(x)) return;
  const long long s = (long long)v[0], t = (long long)v[1], sx = (long long)v[2],
                  tx = (long long)v[3], sy = (long long)v[4], ty = (long long)v[5],
                  sxy = (long long)v[6], txy = (long long)v[7];
  // Every value the walk forms, to one step past its last pixel and row, lies
  // between its values at the corners (it is bilinear in column and row).
  for (long long y : {0LL, (long long)dsth})
    for (long long x : {0LL, (long long)dstw}) {
      const double ps = (double)s + y * (double)sy + x * ((double)sx + y * (double)sxy);
      const double pt = (double)t + y * (double)ty + x * ((double)tx + y * (double)txy);
      if (!fitsFixed(ps) || !fitsFixed(pt) || !fitsFixed((double)sx + y * (double)sxy) ||
          !fitsFixed((double)tx + y * (double)txy))
        return;
    }

  int dspan = dest->getRowSpan(), sspan = src->getRowSpan();
  if (dest->isFlipped()) {
    dbits += (long long)(H - 1 - dsty) * dspan + dstx;
    dspan = -dspan;
  } else {
    dbits += (long long)dsty * dspan + dstx;
  }
  if (src->isFlipped()) {
    sbits += (long long)(src->getHeight() - 1) * sspan;
    sspan = -sspan;
  }
  _LICE_Template_Blit3::deltaBlit(dbits, sbits, dstw, dsth, (int)s, (int)t, (int)sx, (int)tx,
                                  (int)sy, (int)ty, (int)sxy, (int)txy, cl, ct, cr, cb, sspan,
                                  dspan, LICE_WeightFromAlpha(alpha), mode & 0xFF00, fn);
}

bool finiteArgs(float a, float b, float c, float d) { return allFinite(a, b, c, d); }

template <class T>
struct LICE_TransformBlit_class {
  static void blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                   const T* pts, int div_w, int div_h, float alpha, int mode)
  {
    if (!dest || !src || !pts || dstw <= 0 || dsth <= 0 || div_w < 2 || div_h < 2) return;
    const float xstep = (float)dstw / (float)(div_w - 1);
    const float ystep = (float)dsth / (float)(div_h - 1);
    double ypos = dsty;
    int top = dsty;
    for (int row = 0; row < div_h - 1; row++) {
      ypos += ystep;
      const int bottom = truncToInt(ypos);
      const int ch = clampToInt((long long)bottom - top);
      if (ch > 0) {
        const T* tl = pts + (long long)row * 2 * div_w;
        const T* bl = tl + 2 * div_w;
        double xpos = dstx;
        int left = dstx;
        for (int col = 0; col < div_w - 1; col++, tl += 2, bl += 2) {
          xpos += xstep;
          const int right = truncToInt(xpos);
          const int cw = clampToInt((long long)right - left);
          if (cw > 0) {
            const double dsdx = ((double)tl[2] - tl[0]) / cw, dtdx = ((double)tl[3] - tl[1]) / cw;
            const double dsdy = ((double)bl[0] - tl[0]) / ch, dtdy = ((double)bl[1] - tl[1]) / ch;
            const double dsdxdy = (((double)bl[2] - bl[0]) / cw - dsdx) / ch;
            const double dtdxdy = (((double)bl[3] - bl[1]) / cw - dtdx) / ch;
            LICE_DeltaBlit(dest, src, left, top, cw, ch, (float)tl[0], (float)tl[1],
                           (float)(tl[2] - tl[0]), (float)(tl[3] - tl[1]), dsdx, dtdx, dsdy, dtdy,
                           dsdxdy, dtdxdy, false, alpha, mode);
          }
          left = right;
        }
      }
      top = bottom;
    }
  }
};

}  // namespace

void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, double dsdx, double dtdx,
                    double dsdy, double dtdy, double dsdxdy, double dtdxdy, bool cliptosourcerect,
                    float alpha, int mode)
{
  if (!dest || !src || dstw == 0 || dsth == 0) return;
  if (!finiteArgs(srcx, srcy, srcw, srch)) return;
  int cl, ct, cr, cb;
  sourceClip(src, cliptosourcerect, srcx, srcy, srcw, srch, &cl, &ct, &cr, &cb);
  if (dstw < 0) {
    dstx = addClamped(dstx, dstw);
    dstw = dstw == INT_MIN ? INT_MAX : -dstw;
    srcx += srcw;
  }
  if (dsth < 0) {
    dsty = addClamped(dsty, dsth);
    dsth = dsth == INT_MIN ? INT_MAX : -dsth;
    srcy += srch;
  }
  finishDeltaBlit(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, dsdx, dtdx, dsdy, dtdy, dsdxdy,
                  dtdxdy, cl, ct, cr, cb, alpha, mode);
}

void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                      int dsth, float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent,
                      float rotycent)
{
  if (!dest || !src || dstw == 0 || dsth == 0) return;
  if (!finiteArgs(srcx, srcy, srcw, srch) || !finiteArgs(angle, rotxcent, rotycent, 0.0f)) return;
  int cl, ct, cr, cb;
  sourceClip(src, cliptosourcerect, srcx, srcy, srcw, srch, &cl, &ct, &cr, &cb);
  if (dstw < 0) {
    dstx = addClamped(dstx, dstw);
    srcx += srcw;
    srcw = -srcw;
    dstw = dstw == INT_MIN ? INT_MAX : -dstw;
  }
  if (dsth < 0) {
    dsty = addClamped(dsty, dsth);
    srcy += srch;
    srch = -srch;
    dsth = dsth == INT_MIN ? INT_MAX : -dsth;
  }
  const double c = std::cos((double)angle), s = std::sin((double)angle);
  const float xsc = srcw / (float)dstw, ysc = srch / (float)dsth;
  const double dsdx = xsc * c, dsdy = xsc * s, dtdx = -(ysc * s), dtdy = ysc * c;
  srcx -= ((dstw * dsdx + dsth * dsdy) - srcw) * 0.5 - rotxcent;
  srcy -= ((dsth * dtdy + dstw * dtdx) - srch) * 0.5 - rotycent;
  finishDeltaBlit(dest, src, dstx, dsty, dstw, dsth, srcx, srcy, dsdx, dtdx, dsdy, dtdy, 0, 0, cl, ct,
                  cr, cb, alpha, mode);
}

void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode)
{
  LICE_TransformBlit_class<float>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w, div_h,
                                        alpha, mode);
}

void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode)
{
  LICE_TransformBlit_class<double>::blit(dest, src, dstx, dsty, dstw, dsth, srcpoints, div_w,
                                         div_h, alpha, mode);
}
