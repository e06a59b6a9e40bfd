#pragma once
// The per-combiner drawing loops of the raster library, in their plain form: each
// walks its rectangle and hands every pixel to the combiner's doPix. Spans are in
// pixels and negative for bottom-up bitmaps.

#include "raster/lice_bitmap.h"
#include "raster/lice_combine.h"

#include <cstddef>
#include <cstdint>

// A bitmap's pixels as the loops see them: row y counted from the top whichever
// way the rows are stored, and the step from one row to the one below.
struct LICE_PixelView
{
  LICE_PixelValue* bits = nullptr;
  int width = 0, height = 0, span = 0;
  bool flipped = false;

  // False when the bitmap is null or has no pixels.
  bool init(LICE_IBitmap* bmp)
  {
    if (!bmp) return false;
    bits = bmp->getBits();
    width = bmp->getWidth();
    height = bmp->getHeight();
    span = bmp->getRowSpan();
    flipped = bmp->isFlipped();
    return bits && width > 0 && height > 0 && span >= width;
  }
  LICE_PixelValue* row(int y) const { return bits + (ptrdiff_t)(flipped ? height - 1 - y : y) * span; }
  LICE_PixelValue* at(int x, int y) const { return row(y) + x; }
  int step() const { return flipped ? -span : span; }
};

// Whole-word loops.
template <class COMBFUNC>
class _LICE_Template_Blit0
{
public:
  static void solidBlitFAST(LICE_PixelValue* dest, int w, int h, LICE_PixelValue c, int span)
  {
    for (; h > 0; --h, dest += span)
      for (int i = 0; i < w; ++i) COMBFUNC::doPix(dest + i, c);
  }

  // Nearest source pixel at 16.16 positions, taken whole.
  static void scaleBlitFAST(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx,
                            int dy, int right, int bottom, int src_span, int dest_span)
  {
    for (; h > 0; --h, y += dy, dest += dest_span)
    {
      if (y < -65535 || y / 65536 >= bottom) continue;
      const LICE_PixelValue* row = src + (ptrdiff_t)(y / 65536) * src_span;
      int px = x;
      for (int i = 0; i < w; ++i, px += dx)
        if (px >= -65535 && px / 65536 < right) COMBFUNC::doPix(dest + i, row[px / 65536]);
    }
  }
};

// Solid and gradient loops.
template <class COMBFUNC>
class _LICE_Template_Blit1
{
public:
  // The weight stands in for the source's alpha channel.
  static void solidBlit(LICE_PixelValue* dest, int w, int h, int r, int g, int b, int alpha, int span)
  {
    for (; h > 0; --h, dest += span)
      for (int i = 0; i < w; ++i) COMBFUNC::doPix((unsigned char*)(dest + i), r, g, b, alpha, alpha);
  }

  // Channel values and steps in 16.16; the alpha value is also the weight. Kept in
  // 64 bits so that no step can overflow over a row; what reaches the combiner is
  // limited to the range its arithmetic allows.
  static void gradBlit(LICE_PixelValue* dest, int w, int h, int64_t r, int64_t g, int64_t b, int64_t a,
                       int64_t drdx, int64_t dgdx, int64_t dbdx, int64_t dadx, int64_t drdy, int64_t dgdy,
                       int64_t dbdy, int64_t dady, int span)
  {
    for (; h > 0; --h, dest += span, r += drdy, g += dgdy, b += dbdy, a += dady)
    {
      int64_t pr = r, pg = g, pb = b, pa = a;
      for (int i = 0; i < w; ++i, pr += drdx, pg += dgdx, pb += dbdx, pa += dadx)
      {
        const int wgt = channel(pa, LICE_MAX_WEIGHT);
        COMBFUNC::doPix((unsigned char*)(dest + i), channel(pr, LICE_MAX_CHANNEL), channel(pg, LICE_MAX_CHANNEL),
                        channel(pb, LICE_MAX_CHANNEL), wgt, wgt);
      }
    }
  }

private:
  static int channel(int64_t v, int limit)
  {
    const int64_t c = v / 65536;
    return c < -limit ? -limit : c > limit ? limit : (int)c;
  }
};

// Loops over a source bitmap.
template <class COMBFUNC>
class _LICE_Template_Blit2
{
public:
  static void blit(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int src_span, int dest_span,
                   int alpha)
  {
    for (; h > 0; --h, src += src_span, dest += dest_span)
    {
      const unsigned char* s = (const unsigned char*)src;
      unsigned char* d = (unsigned char*)dest;
      for (int i = 0; i < w; ++i, s += 4, d += 4)
        COMBFUNC::doPix(d, s[LICE_PIXEL_R], s[LICE_PIXEL_G], s[LICE_PIXEL_B], s[LICE_PIXEL_A], alpha);
    }
  }

  // Nearest or, with filter exactly LICE_MODE_BILINEAR, bilinear sampling at 16.16
  // positions. Samples never read at or beyond the right and bottom limits.
  static void scaleBlit(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx,
                        int dy, int right, int bottom, int src_span, int dest_span, int alpha, int filter)
  {
    for (; h > 0; --h, y += dy, dest += dest_span)
    {
      if (y < -65535) continue;
      const int yi = y / 65536;
      if (yi >= bottom) continue;
      const unsigned char* row = (const unsigned char*)(src + (ptrdiff_t)yi * src_span);
      int px = x;
      if (filter != LICE_MODE_BILINEAR)
      {
        for (int i = 0; i < w; ++i, px += dx)
        {
          if (px < -65535 || px / 65536 >= right) continue;
          const unsigned char* p = row + (px / 65536) * 4;
          COMBFUNC::doPix((unsigned char*)(dest + i), p[LICE_PIXEL_R], p[LICE_PIXEL_G], p[LICE_PIXEL_B],
                          p[LICE_PIXEL_A], alpha);
        }
        continue;
      }

      const unsigned int yf = (unsigned int)y & 0xFFFF;
      const unsigned char* below = yi < bottom - 1 ? row + (ptrdiff_t)src_span * 4 : row;
      for (int i = 0; i < w; ++i, px += dx)
      {
        if (px < -65535) continue;
        const int xi = px / 65536;
        const unsigned int xf = (unsigned int)px & 0xFFFF;
        const unsigned char* p = row + xi * 4;
        int out[4];
        if (yi < bottom - 1)
        {
          const unsigned char* pb = below + xi * 4;
          if (xi < right - 1)
          {
            const int w11 = (int)((xf * yf) >> 16);
            const int wb = (int)yf - w11, wr = (int)xf - w11, wo = 65536 - (int)xf - (int)yf + w11;
            for (int c = 0; c < 4; ++c) out[c] = (p[c] * wo + p[c + 4] * wr + pb[c] * wb + pb[c + 4] * w11) >> 16;
          }
          else if (xi == right - 1)
          {
            for (int c = 0; c < 4; ++c) out[c] = (int)((pb[c] * yf + p[c] * (65536 - yf)) >> 16);
          }
          else
            continue;
        }
        else
        {
          if (xi < right - 1)
            for (int c = 0; c < 4; ++c) out[c] = (int)((p[c + 4] * xf + p[c] * (65536 - xf)) >> 16);
          else if (xi == right - 1)
            for (int c = 0; c < 4; ++c) out[c] = p[c];
          else
            continue;
        }
        COMBFUNC::doPix((unsigned char*)(dest + i), out[LICE_PIXEL_R], out[LICE_PIXEL_G], out[LICE_PIXEL_B],
                        out[LICE_PIXEL_A], alpha);
      }
    }
  }

  // Box-filtered sampling for reductions: the kernel (size x size taps in 16.16,
  // first tap at offset first_tap) is centred on the sampled source pixel; taps
  // outside the source are left out and the rest divided by their own total.
  static void scaleBlitFilterDown(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y,
                                  int dx, int dy, int right, int bottom, int src_span, int dest_span, int alpha,
                                  const int* kernel, int first_tap, int size)
  {
    for (; h > 0; --h, y += dy, dest += dest_span)
    {
      if (y < -65535) continue;
      const int yi = y / 65536;
      if (yi >= bottom) continue;
      int px = x;
      for (int i = 0; i < w; ++i, px += dx)
      {
        if (px < -65535) continue;
        const int xi = px / 65536;
        if (xi >= right) continue;

        int sum[4] = {0, 0, 0, 0};
        int total = 0;
        for (int r = 0; r < size; ++r)
        {
          const int sy = yi + first_tap + r;
          if (sy >= bottom) break;
          if (sy < 0) continue;
          const unsigned char* row = (const unsigned char*)(src + (ptrdiff_t)sy * src_span);
          for (int c = 0; c < size; ++c)
          {
            const int sx = xi + first_tap + c;
            if (sx < 0 || sx >= right) continue;
            const int k = kernel[r * size + c];
            for (int ch = 0; ch < 4; ++ch) sum[ch] += row[sx * 4 + ch] * k;
            total += k;
          }
        }
        if (total <= 0) continue;
        COMBFUNC::doPix((unsigned char*)(dest + i), sum[LICE_PIXEL_R] / total, sum[LICE_PIXEL_G] / total,
                        sum[LICE_PIXEL_B] / total, sum[LICE_PIXEL_A] / total, alpha);
      }
    }
  }
};
