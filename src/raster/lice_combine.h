#pragma once
// Per-pixel arithmetic of every drawing operation. Each combiner is a stateless
// class with one static doPix(dest, r, g, b, a, alpha): dest points at the four
// bytes of one destination pixel, r, g, b, a are the source channels and alpha is
// the integer weight (256 opaque). Drawing loops are instantiated per combiner, so
// the mode is resolved once per operation, never per pixel.
//
// Divisions by powers of two are signed divisions truncating toward zero wherever
// a product can be negative; results depend on it. "NoClamp" results keep their low
// 8 bits, which for channels 0..255 and weights 0..256 are always in range.

#include "raster/lice_pixel.h"

// Callers keep weights and channel values within these limits so that no combiner's
// integer arithmetic can overflow.
const int LICE_MAX_WEIGHT = 1024;
const int LICE_MAX_CHANNEL = 1024;

inline int LICE_LimitInt(int v, int limit)
{
  return v < -limit ? -limit : v > limit ? limit : v;
}

// The integer weight of a float alpha: alpha x 256 truncated toward zero (exact in
// single and double precision alike), limited to +-LICE_MAX_WEIGHT; NaN gives 0.
inline int LICE_WeightFromAlpha(float alpha)
{
  if (!(alpha == alpha)) return 0;
  const float w = alpha * 256.0f;
  if (w >= (float)LICE_MAX_WEIGHT) return LICE_MAX_WEIGHT;
  if (w <= (float)-LICE_MAX_WEIGHT) return -LICE_MAX_WEIGHT;
  return (int)w;
}

inline int LICE_Clamp255(int v)
{
  return v < 0 ? 0 : v > 255 ? 255 : v;
}

// T[0] = 0, T[i] = 65536 / i - 1: the reciprocals of the HSV conversion.
extern const unsigned short (&LICE_RGB2HSV_invtab)[256];

namespace lice_detail {

inline unsigned char store(int v, bool clamp)
{
  return (unsigned char)(clamp ? LICE_Clamp255(v) : v);
}

inline int clobberChannel(int, int s, int)
{
  return s;
}

inline int halfMixChannel(int d, int s, int)
{
  return (d + s) / 2;
}

inline int addChannel(int d, int s, int w)
{
  return LICE_Clamp255(d + (s * w) / 256);
}

inline int copyChannel(int d, int s, int w)
{
  return s + ((d - s) * (256 - w)) / 256;
}

inline int dodgeChannel(int d, int s, int w)
{
  const int k = 256 - (s * w) / 256;
  unsigned int t = (unsigned int)(d * 256);
  if (k >= 2) t /= (unsigned int)k;
  return t > 255 ? 255 : (int)t;
}

inline int mulChannel(int d, int s, int w)
{
  return ((s * w + (256 - w) * 256) * d) / 65536;
}

inline int overlayChannel(int d, int s, int w)
{
  const int m = s * w + (256 - w) * 128;
  return LICE_Clamp255((((32768 - m) * d) / 256 + m) * d / 32768);
}

inline int sourceAlphaWeight(int a, int w)
{
  return ((a + 1) * w) / 256;
}

void hsvAdjust(unsigned char* dest, int r, int g, int b, int a, int alpha);

}  // namespace lice_detail

// A combiner that applies one rule to each of the four channels alike.
template <int (*RULE)(int d, int s, int w), bool CLAMP>
class _LICE_CombinePixelsEachChannel
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    using lice_detail::store;
    dest[LICE_PIXEL_R] = store(RULE(dest[LICE_PIXEL_R], r, alpha), CLAMP);
    dest[LICE_PIXEL_G] = store(RULE(dest[LICE_PIXEL_G], g, alpha), CLAMP);
    dest[LICE_PIXEL_B] = store(RULE(dest[LICE_PIXEL_B], b, alpha), CLAMP);
    dest[LICE_PIXEL_A] = store(RULE(dest[LICE_PIXEL_A], a, alpha), CLAMP);
  }
};

template <bool CLAMP>
using _LICE_CombinePixelsClobberT = _LICE_CombinePixelsEachChannel<lice_detail::clobberChannel, CLAMP>;
typedef _LICE_CombinePixelsClobberT<false> _LICE_CombinePixelsClobberNoClamp;
typedef _LICE_CombinePixelsClobberT<true> _LICE_CombinePixelsClobberClamp;

template <bool CLAMP>
using _LICE_CombinePixelsCopyT = _LICE_CombinePixelsEachChannel<lice_detail::copyChannel, CLAMP>;
typedef _LICE_CombinePixelsCopyT<false> _LICE_CombinePixelsCopyNoClamp;
typedef _LICE_CombinePixelsCopyT<true> _LICE_CombinePixelsCopyClamp;

typedef _LICE_CombinePixelsEachChannel<lice_detail::halfMixChannel, false> _LICE_CombinePixelsHalfMixNoClamp;
typedef _LICE_CombinePixelsEachChannel<lice_detail::addChannel, false> _LICE_CombinePixelsAdd;
typedef _LICE_CombinePixelsEachChannel<lice_detail::dodgeChannel, false> _LICE_CombinePixelsColorDodge;

template <bool CLAMP>
using _LICE_CombinePixelsMulT = _LICE_CombinePixelsEachChannel<lice_detail::mulChannel, CLAMP>;
typedef _LICE_CombinePixelsMulT<false> _LICE_CombinePixelsMulNoClamp;
typedef _LICE_CombinePixelsMulT<true> _LICE_CombinePixelsMulClamp;

typedef _LICE_CombinePixelsEachChannel<lice_detail::overlayChannel, false> _LICE_CombinePixelsOverlay;

// The source channels are offsets from 128: r turns the hue, g the saturation and
// b the value of the destination; the destination's alpha becomes a.
class _LICE_CombinePixelsHSVAdjust
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    lice_detail::hsvAdjust(dest, r, g, b, a, alpha);
  }
};

// Source-alpha combiners: the source's own alpha scales the weight.

template <bool CLAMP>
class _LICE_CombinePixelsCopySourceAlphaT
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    using lice_detail::copyChannel;
    using lice_detail::store;
    if (a == 0) return;
    const int w = lice_detail::sourceAlphaWeight(a, alpha);
    dest[LICE_PIXEL_R] = store(copyChannel(dest[LICE_PIXEL_R], r, w), CLAMP);
    dest[LICE_PIXEL_G] = store(copyChannel(dest[LICE_PIXEL_G], g, w), CLAMP);
    dest[LICE_PIXEL_B] = store(copyChannel(dest[LICE_PIXEL_B], b, w), CLAMP);
    const int da = dest[LICE_PIXEL_A] + w;
    dest[LICE_PIXEL_A] = store(da > 255 ? 255 : da, CLAMP);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaT<false> _LICE_CombinePixelsCopySourceAlphaNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaT<true> _LICE_CombinePixelsCopySourceAlphaClamp;

// Weight 256 only: the source alpha alone decides, 255 - a keeping the destination.
template <bool CLAMP>
class _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int)
  {
    using lice_detail::store;
    if (a == 0) return;
    if (a == 255)
    {
      dest[LICE_PIXEL_R] = store(r, CLAMP);
      dest[LICE_PIXEL_G] = store(g, CLAMP);
      dest[LICE_PIXEL_B] = store(b, CLAMP);
      dest[LICE_PIXEL_A] = 255;
      return;
    }
    const int keep = 255 - a;
    dest[LICE_PIXEL_R] = store(r + ((dest[LICE_PIXEL_R] - r) * keep) / 256, CLAMP);
    dest[LICE_PIXEL_G] = store(g + ((dest[LICE_PIXEL_G] - g) * keep) / 256, CLAMP);
    dest[LICE_PIXEL_B] = store(b + ((dest[LICE_PIXEL_B] - b) * keep) / 256, CLAMP);
    const int da = dest[LICE_PIXEL_A] + a;
    dest[LICE_PIXEL_A] = store(da > 255 ? 255 : da, CLAMP);
  }
};
typedef _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<false>
  _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp;
typedef _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmT<true> _LICE_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp;

class _LICE_CombinePixelsAddSourceAlpha
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    if (a == 0) return;
    const int w = lice_detail::sourceAlphaWeight(a, alpha);
    dest[LICE_PIXEL_R] = (unsigned char)LICE_Clamp255(dest[LICE_PIXEL_R] + (r * w) / 256);
    dest[LICE_PIXEL_G] = (unsigned char)LICE_Clamp255(dest[LICE_PIXEL_G] + (g * w) / 256);
    dest[LICE_PIXEL_B] = (unsigned char)LICE_Clamp255(dest[LICE_PIXEL_B] + (b * w) / 256);
    dest[LICE_PIXEL_A] = (unsigned char)LICE_Clamp255(dest[LICE_PIXEL_A] + (w * a) / 256);
  }
};

class _LICE_CombinePixelsColorDodgeSourceAlpha
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_CombinePixelsColorDodge::doPix(dest, r, g, b, a, lice_detail::sourceAlphaWeight(a, alpha));
  }
};

template <bool CLAMP>
class _LICE_CombinePixelsMulSourceAlphaT
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    if (a == 0) return;
    _LICE_CombinePixelsMulT<CLAMP>::doPix(dest, r, g, b, a, lice_detail::sourceAlphaWeight(a, alpha));
  }
};
typedef _LICE_CombinePixelsMulSourceAlphaT<false> _LICE_CombinePixelsMulSourceAlphaNoClamp;
typedef _LICE_CombinePixelsMulSourceAlphaT<true> _LICE_CombinePixelsMulSourceAlphaClamp;

class _LICE_CombinePixelsOverlaySourceAlpha
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    _LICE_CombinePixelsOverlay::doPix(dest, r, g, b, a, lice_detail::sourceAlphaWeight(a, alpha));
  }
};

class _LICE_CombinePixelsHSVAdjustSourceAlpha
{
public:
  static inline void doPix(unsigned char* dest, int r, int g, int b, int a, int alpha)
  {
    lice_detail::hsvAdjust(dest, r, g, b, a, lice_detail::sourceAlphaWeight(a, alpha));
  }
};

// Whole-word combiners: each channel is halved or quartered by a shift and a mask,
// so it truncates on its own and no carry crosses channels. Alpha is treated like
// the colours. doPix takes the colour term c prepared once by prepare().

class _LICE_CombinePixelsClobberFAST
{
public:
  static inline LICE_PixelValue prepare(LICE_PixelValue v) { return v; }
  static inline void doPix(LICE_PixelValue* dest, LICE_PixelValue c) { *dest = c; }
};

// The nearest-pixel scaler's half mix: c is the source pixel itself.
class _LICE_CombinePixelsHalfMixFAST
{
public:
  static inline LICE_PixelValue prepare(LICE_PixelValue v) { return v; }
  static inline void doPix(LICE_PixelValue* dest, LICE_PixelValue c)
  {
    *dest = ((c >> 1) & 0x7F7F7F7F) + ((*dest >> 1) & 0x7F7F7F7F);
  }
};

class _LICE_CombinePixelsHalfMix2FAST
{
public:
  static inline LICE_PixelValue prepare(LICE_PixelValue v) { return (v >> 1) & 0x7F7F7F7F; }
  static inline void doPix(LICE_PixelValue* dest, LICE_PixelValue c) { *dest = ((*dest >> 1) & 0x7F7F7F7F) + c; }
};

class _LICE_CombinePixelsQuarterMix2FAST
{
public:
  static inline LICE_PixelValue prepare(LICE_PixelValue v) { return (v >> 2) & 0x3F3F3F3F; }
  static inline void doPix(LICE_PixelValue* dest, LICE_PixelValue c)
  {
    const LICE_PixelValue d = *dest;
    *dest = ((d >> 2) & 0x3F3F3F3F) + ((d >> 1) & 0x7F7F7F7F) + c;
  }
};

class _LICE_CombinePixelsThreeQuarterMix2FAST
{
public:
  static inline LICE_PixelValue prepare(LICE_PixelValue v) { return ((v >> 1) & 0x7F7F7F7F) + ((v >> 2) & 0x3F3F3F3F); }
  static inline void doPix(LICE_PixelValue* dest, LICE_PixelValue c) { *dest = ((*dest >> 2) & 0x3F3F3F3F) + c; }
};
