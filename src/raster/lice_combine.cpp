#include "raster/lice.h"
#include "raster/lice_combine.h"

#include <cstring>

namespace {

struct InvTab
{
  unsigned short v[256];
  constexpr InvTab() : v()
  {
    for (int i = 1; i < 256; ++i) v[i] = (unsigned short)(65536 / i - 1);
  }
};
constexpr InvTab kInvTab;

int min2(int a, int b)
{
  return a < b ? a : b;
}

}  // namespace

const unsigned short (&LICE_RGB2HSV_invtab)[256] = kInvTab.v;

namespace lice_detail {

// The hue runs on a circle of 384 steps, six sectors of 64.
void hsvAdjust(unsigned char* dest, int r, int g, int b, int a, int alpha)
{
  const unsigned short* T = LICE_RGB2HSV_invtab;
  const int R = dest[LICE_PIXEL_R], G = dest[LICE_PIXEL_G], B = dest[LICE_PIXEL_B];

  int maxc, base, n, delta;
  if (R < G && G > B)
  {
    maxc = G;
    base = 128;
    n = B - R;
    delta = G - min2(R, B);
  }
  else if ((R < G && G <= B) || (R >= G && B >= R))
  {
    // Ties go to blue: a grey pixel gets hue 256 and saturation 0.
    maxc = B;
    base = 256;
    n = R - G;
    delta = B - min2(R, G);
  }
  else
  {
    maxc = R;
    n = G - B;
    delta = R - min2(G, B);
    base = G >= B ? 0 : 383;
  }

  int hue = base + ((T[delta] + 1) * n) / 1024;
  int S = (delta * T[maxc]) / 256;
  int V = maxc;

  hue += ((r + r / 2 - 192) * alpha) / 256;
  // One wrap covers every shift of a weight up to 256; larger weights wrap further.
  hue %= 384;
  if (hue < 0) hue += 384;
  S = LICE_Clamp255(S + ((g - 128) * alpha) / 128);
  V = LICE_Clamp255(V + ((b - 128) * alpha) / 128);

  const int p = (unsigned char)(((256 - S) * V) / 256);
  auto q = [S, V](int k) { return (int)(unsigned char)(((16384 - k * S) * V) / 16384); };

  int outR, outG, outB;
  if (hue < 64)
  {
    outR = V;
    outG = q(64 - hue);
    outB = p;
  }
  else if (hue < 128)
  {
    outR = q(hue - 64);
    outG = V;
    outB = p;
  }
  else if (hue < 192)
  {
    outR = p;
    outG = V;
    outB = q(192 - hue);
  }
  else if (hue < 256)
  {
    outR = p;
    outG = q(hue - 192);
    outB = V;
  }
  else if (hue < 320)
  {
    outR = q(320 - hue);
    outG = p;
    outB = V;
  }
  else
  {
    outR = V;
    outG = p;
    outB = q(hue - 320);
  }

  unsigned char px[4];
  px[LICE_PIXEL_A] = (unsigned char)a;
  px[LICE_PIXEL_R] = (unsigned char)outR;
  px[LICE_PIXEL_G] = (unsigned char)outG;
  px[LICE_PIXEL_B] = (unsigned char)outB;
  memcpy(dest, px, 4);
}

}  // namespace lice_detail

namespace {

// The dispatch shared by the single-pixel combines: mode & 0x100FF picks the
// combiner; copy at full weight is a plain overwrite. False for an invalid mode.
template <bool CLAMP>
bool combine(unsigned char* d, int r, int g, int b, int a, int w, int mode)
{
  switch (mode & (LICE_MODE_SOURCEALPHA | LICE_MODE_MASK))
  {
    case LICE_MODE_COPY:
      if (w == 256)
        _LICE_CombinePixelsClobberT<CLAMP>::doPix(d, r, g, b, a, w);
      else if (w >= 1)
        _LICE_CombinePixelsCopyT<CLAMP>::doPix(d, r, g, b, a, w);
      return true;
    case LICE_MODE_ADD: _LICE_CombinePixelsAdd::doPix(d, r, g, b, a, w); return true;
    case LICE_MODE_COLORDODGE: _LICE_CombinePixelsColorDodge::doPix(d, r, g, b, a, w); return true;
    case LICE_MODE_MULTIPLY: _LICE_CombinePixelsMulT<CLAMP>::doPix(d, r, g, b, a, w); return true;
    case LICE_MODE_OVERLAY: _LICE_CombinePixelsOverlay::doPix(d, r, g, b, a, w); return true;
    case LICE_MODE_HSVADJUST: _LICE_CombinePixelsHSVAdjust::doPix(d, r, g, b, a, w); return true;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_COPY:
      if (w == 256)
        _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<CLAMP>::doPix(d, r, g, b, a, w);
      else
        _LICE_CombinePixelsCopySourceAlphaT<CLAMP>::doPix(d, r, g, b, a, w);
      return true;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_ADD: _LICE_CombinePixelsAddSourceAlpha::doPix(d, r, g, b, a, w); return true;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_COLORDODGE:
      _LICE_CombinePixelsColorDodgeSourceAlpha::doPix(d, r, g, b, a, w);
      return true;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_MULTIPLY:
      _LICE_CombinePixelsMulSourceAlphaT<CLAMP>::doPix(d, r, g, b, a, w);
      return true;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_OVERLAY:
      _LICE_CombinePixelsOverlaySourceAlpha::doPix(d, r, g, b, a, w);
      return true;
    case LICE_MODE_SOURCEALPHA | LICE_MODE_HSVADJUST:
      _LICE_CombinePixelsHSVAdjustSourceAlpha::doPix(d, r, g, b, a, w);
      return true;
  }
  return false;
}

}  // namespace

LICE_PixelValue LICE_CombinePixels(LICE_PixelValue dest, LICE_PixelValue src, float alpha, int mode)
{
  const int w = LICE_WeightFromAlpha(alpha);
  if (w == 0) return dest;
  const unsigned char* s = (const unsigned char*)&src;
  LICE_PixelValue out = dest;
  if (!combine<false>((unsigned char*)&out, s[LICE_PIXEL_R], s[LICE_PIXEL_G], s[LICE_PIXEL_B], s[LICE_PIXEL_A], w,
                      mode))
    return dest;
  return out;
}

void LICE_CombinePixels2(LICE_PixelValue* dest, int r, int g, int b, int a, int alpha, int mode)
{
  if (!dest || alpha == 0) return;
  combine<false>((unsigned char*)dest, LICE_LimitInt(r, LICE_MAX_CHANNEL), LICE_LimitInt(g, LICE_MAX_CHANNEL),
                 LICE_LimitInt(b, LICE_MAX_CHANNEL), LICE_LimitInt(a, LICE_MAX_CHANNEL),
                 LICE_LimitInt(alpha, LICE_MAX_WEIGHT), mode);
}

void LICE_CombinePixels2Clamp(LICE_PixelValue* dest, int r, int g, int b, int a, int alpha, int mode)
{
  if (!dest || alpha == 0) return;
  combine<true>((unsigned char*)dest, LICE_LimitInt(r, LICE_MAX_CHANNEL), LICE_LimitInt(g, LICE_MAX_CHANNEL),
                LICE_LimitInt(b, LICE_MAX_CHANNEL), LICE_LimitInt(a, LICE_MAX_CHANNEL),
                LICE_LimitInt(alpha, LICE_MAX_WEIGHT), mode);
}
