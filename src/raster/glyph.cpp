// Coverage glyphs, colour-key alpha, the seed fill, 2:1 reduction and bitmap
// comparison.
#include <cstring>

#include "raster/draw_util.h"

using namespace lice_draw;

namespace {

template <class C>
struct GlyphDrawImpl {
  // A coverage byte c weighs (c x weight) / 256, so full coverage at full
  // alpha weighs 255; uncovered pixels are never touched.
  static void DrawGlyph(const unsigned char* alphas, LICE_PixelValue* dest, int w, int h,
                        LICE_PixelValue color, int dest_span, int alpha_span, int weight)
  {
    const Rgba c(color);
    for (int y = 0; y < h; y++, alphas += alpha_span, dest += dest_span)
      for (int x = 0; x < w; x++)
        if (alphas[x]) combine<C>(dest + x, c, (alphas[x] * weight) / 256);
  }
};

// First memory row of a bitmap and the step to the row below it on screen.
LICE_PixelValue* topRow(LICE_IBitmap* bmp, int* step)
{
  LICE_PixelValue* bits = bmp->getBits();
  const int span = bmp->getRowSpan();
  if (bits && bmp->isFlipped()) {
    *step = -span;
    return bits + (long long)(bmp->getHeight() - 1) * span;
  }
  *step = span;
  return bits;
}

}  // namespace

void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_PixelValue color,
                      const unsigned char* alphas, int glyph_w, int glyph_span, int glyph_h,
                      float alpha, int mode)
{
  if (!dest || !alphas) return;
  if ((long long)x <= -(long long)glyph_w || (long long)y <= -(long long)glyph_h) return;
  if (x < 0) {
    alphas += -(long long)x;
    glyph_w += x;
    x = 0;
  }
  if (y < 0) {
    alphas += -(long long)y * glyph_span;
    glyph_h += y;
    y = 0;
  }
  const int W = dest->getWidth(), H = dest->getHeight();
  if (x >= W || y >= H) return;
  if (glyph_w > W - x) glyph_w = W - x;
  if (glyph_h > H - y) glyph_h = H - y;
  if (glyph_w <= 0 || glyph_h <= 0) return;
  int step;
  LICE_PixelValue* row = topRow(dest, &step);
  if (!row) return;
  LICE_PixelValue* p = row + (long long)y * step + x;

  const int w = LICE_WeightFromAlpha(alpha);
  if (w == 0) return;
  withCombiner(mode, w, false, [&](auto tag) {
    GlyphDrawImpl<typename decltype(tag)::type>::DrawGlyph(alphas, p, glyph_w, glyph_h, color,
                                                           step, glyph_span, w);
  });
}

void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_PixelValue color,
                    const unsigned char* alphas, int glyph_w, int glyph_h, float alpha, int mode)
{
  LICE_DrawGlyphEx(dest, x, y, color, alphas, glyph_w, glyph_w, glyph_h, alpha, mode);
}

void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_PixelValue color)
{
  if (!dest) return;
  LICE_PixelValue* bits = dest->getBits();
  const int w = dest->getWidth(), h = dest->getHeight(), span = dest->getRowSpan();
  if (!bits || w < 1 || h < 1 || span < 1) return;
  for (int y = 0; y < h; y++, bits += span)
    for (int x = 0; x < w; x++) {
      const LICE_PixelValue rgb = bits[x] & 0xFFFFFF00;
      bits[x] = rgb == color ? rgb : bits[x] | 0xFF;
    }
}

void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_PixelValue newcolor,
                     unsigned int comparemask, unsigned int keepmask)
{
  if (!dest) return;
  LICE_PixelValue* bits = dest->getBits();
  const int w = dest->getWidth(), h = dest->getHeight(), span = dest->getRowSpan();
  if (!bits || x < 0 || y < 0 || x >= w || y >= h) return;
  const unsigned int target = bits[(long long)y * span + x] & comparemask;
  auto matches = [&](LICE_PixelValue p) { return (p & comparemask) == target; };
  auto fill = [&](LICE_PixelValue* p) { *p = (*p & keepmask) | newcolor; };

  // Fills one row through column x and reports whether the seed column
  // matched there.
  auto fillRow = [&](int row) {
    LICE_PixelValue* r = bits + (long long)row * span;
    if (!matches(r[x])) return false;
    fill(r + x);
    for (int i = x + 1; i < w && matches(r[i]); i++) fill(r + i);
    for (int i = x - 1; i >= 0 && matches(r[i]); i--) fill(r + i);
    return true;
  };
  for (int row = y; row < h && fillRow(row); row++) {
  }
  for (int row = y - 1; row >= 0 && fillRow(row); row--) {
  }
}

void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src)
{
  if (!dest || !src) return;
  int w = src->getWidth() / 2, h = src->getHeight() / 2;
  if (dest->getWidth() < w) w = dest->getWidth();
  if (dest->getHeight() < h) h = dest->getHeight();
  LICE_PixelValue* d = dest->getBits();
  const LICE_PixelValue* s = src->getBits();
  if (h <= 0 || w <= 0 || !d || !s) return;
  const int dspan = dest->getRowSpan(), sspan = src->getRowSpan();
  auto q = [](LICE_PixelValue p) { return (p >> 2) & 0x3F3F3F3F; };
  for (int j = 0; j < h; j++, d += dspan, s += 2 * (long long)sspan) {
    const LICE_PixelValue* s2 = s + sspan;
    int i = 0;
    for (; i + 1 < w; i += 2) {
      d[i] = q(s[2 * i]) + q(s[2 * i + 1]) + q(s2[2 * i]) + q(s2[2 * i + 1]);
      d[i + 1] = q(s[2 * i + 2]) + q(s[2 * i + 3]) + q(s2[2 * i + 2]) + q(s2[2 * i + 3]);
    }
    if (i < w) d[i] = q(s[2 * i]) + q(s[2 * i + 1]) + q(s2[2 * i]) + q(s2[2 * i + 1]);
  }
}

int LICE_BitmapCmp(LICE_IBitmap* a, LICE_IBitmap* b, int* coordsOut)
{
  if (!a) return b ? -1 : 0;
  if (!b) return 1;
  const int w = a->getWidth(), h = a->getHeight();
  if (b->getWidth() != w) return b->getWidth() - w;
  if (b->getHeight() != h) return b->getHeight() - h;
  int sa, sb;
  const LICE_PixelValue* pa = topRow(a, &sa);
  const LICE_PixelValue* pb = topRow(b, &sb);
  if (coordsOut) coordsOut[0] = coordsOut[1] = coordsOut[2] = coordsOut[3] = 0;
  if (!pa || !pb || w <= 0 || h <= 0) return 0;
  auto ra = [&](int y) { return pa + (long long)y * sa; };
  auto rb = [&](int y) { return pb + (long long)y * sb; };
  const size_t rowBytes = (size_t)w * sizeof(LICE_PixelValue);

  if (!coordsOut) {
    for (int y = 0; y < h; y++) {
      const int c = memcmp(ra(y), rb(y), rowBytes);
      if (c) return c;
    }
    return 0;
  }

  int y0 = 0;
  while (y0 < h && !memcmp(ra(y0), rb(y0), rowBytes)) y0++;
  if (y0 == h) return 0;
  int y1 = h - 1;
  while (y1 > y0 && !memcmp(ra(y1), rb(y1), rowBytes)) y1--;

  int x0 = 0, x1 = w - 1;
  const LICE_PixelValue *r = ra(y0), *s = rb(y0);
  while (r[x0] == s[x0]) x0++;
  while (r[x1] == s[x1]) x1--;
  // The last differing row, then the rows between, can only widen the box.
  auto widen = [&](int y) {
    const LICE_PixelValue *u = ra(y), *v = rb(y);
    for (int x = 0; x < x0; x++)
      if (u[x] != v[x]) {
        x0 = x;
        break;
      }
    for (int x = w - 1; x > x1; x--)
      if (u[x] != v[x]) {
        x1 = x;
        break;
      }
  };
  if (y1 > y0) widen(y1);
  for (int y = y0 + 1; y < y1 && (x0 > 0 || x1 < w - 1); y++) widen(y);
  coordsOut[0] = x0;
  coordsOut[1] = y0;
  coordsOut[2] = x1 - x0 + 1;
  coordsOut[3] = y1 - y0 + 1;
  return 1;
}
