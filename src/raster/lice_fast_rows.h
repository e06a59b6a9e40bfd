#pragma once
// Source-alpha rows in 16-bit lanes and the opaque fill, written once over a
// register type R: SseRow here (four pixels a step), AvxRow in lice_fast_avx2.cpp
// (eight), which is built for AVX2 alone. Everything here has internal linkage, so no AVX2 copy of it can
// stand in for the baseline one at link time; include nothing else that defines
// inline functions into the AVX2 file.
//
// Per colour byte, with c the colour weight (a + 1 at full weight, else
// ((a + 1) x w) >> 8): (d x (256 - c) + s x c + 255 if d < s) >> 8, which is
// blendWord's rule and stays below 65536. Alpha adds a (full) or c, saturated; a = 0
// keeps the pixel. At full weight a block of transparent pixels is skipped and a
// block of opaque ones copied, as the scalar loop does.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LICE_X86_ROWS 1
#include <cstdint>
#include <immintrin.h>

namespace {
namespace lice_rows {

struct SseRow
{
  using V = __m128i;
  enum { kPixels = 4, kAllMask = 0xFFFF };
  static V load(const void* p) { return _mm_loadu_si128((const V*)p); }
  static void store(void* p, V v) { _mm_storeu_si128((V*)p, v); }
  static void storeAligned(void* p, V v) { _mm_store_si128((V*)p, v); }
  static V set16(int v) { return _mm_set1_epi16((short)v); }
  static V set32(int v) { return _mm_set1_epi32(v); }
  static V zero() { return _mm_setzero_si128(); }
  static V and_(V a, V b) { return _mm_and_si128(a, b); }
  static V or_(V a, V b) { return _mm_or_si128(a, b); }
  static V andnot(V a, V b) { return _mm_andnot_si128(a, b); }
  static V eq32(V a, V b) { return _mm_cmpeq_epi32(a, b); }
  static int mask(V a) { return _mm_movemask_epi8(a); }
  static V lo8(V a) { return _mm_unpacklo_epi8(a, _mm_setzero_si128()); }
  static V hi8(V a) { return _mm_unpackhi_epi8(a, _mm_setzero_si128()); }
  static V pack(V a, V b) { return _mm_packus_epi16(a, b); }
  static V mul16(V a, V b) { return _mm_mullo_epi16(a, b); }
  static V add16(V a, V b) { return _mm_add_epi16(a, b); }
  static V sub16(V a, V b) { return _mm_sub_epi16(a, b); }
  static V gt16(V a, V b) { return _mm_cmpgt_epi16(a, b); }
  static V shr8(V a) { return _mm_srli_epi16(a, 8); }
  static V addsat8(V a, V b) { return _mm_adds_epu8(a, b); }
  // The alpha word of each pixel in all four of its words.
  static V alphaWords(V a) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, 0), 0); }
};

// Half a register of pixels unpacked to words: the blended colour words, and the
// colour weights in *weights.
template <class R>
inline typename R::V blendHalf(typename R::V d, typename R::V s, typename R::V w, bool full, typename R::V* weights)
{
  using V = typename R::V;
  const V a1 = R::add16(R::alphaWords(s), R::set16(1));
  const V c = full ? a1 : R::shr8(R::mul16(a1, w));
  *weights = c;
  const V t = R::add16(R::add16(R::mul16(d, R::sub16(R::set16(256), c)), R::mul16(s, c)),
                       R::and_(R::gt16(s, d), R::set16(0xFF)));
  return R::shr8(t);
}

template <class R>
inline typename R::V blendBlock(typename R::V d, typename R::V s, typename R::V w, typename R::V transparent, bool full)
{
  using V = typename R::V;
  V cLo, cHi;
  const V lo = blendHalf<R>(R::lo8(d), R::lo8(s), w, full, &cLo);
  const V hi = blendHalf<R>(R::hi8(d), R::hi8(s), w, full, &cHi);
  const V alphaByte = R::set32(0xFF);
  const V add = full ? s : R::pack(cLo, cHi);
  const V out = R::or_(R::andnot(alphaByte, R::pack(lo, hi)), R::and_(alphaByte, R::addsat8(d, add)));
  return R::or_(R::and_(transparent, d), R::andnot(transparent, out));
}

// Whole registers of a row at weight w (1..256); returns the pixels done.
template <class R>
inline int sourceAlphaBlocks(uint32_t* dest, const uint32_t* src, int n, int w)
{
  using V = typename R::V;
  const bool full = w == 256;
  const V alphaByte = R::set32(0xFF), zero = R::zero(), weight = R::set16(w);
  int i = 0;
  for (; i + R::kPixels <= n; i += R::kPixels)
  {
    const V s = R::load(src + i);
    const V a = R::and_(s, alphaByte);
    const V transparent = R::eq32(a, zero);
    if (R::mask(transparent) == R::kAllMask) continue;
    if (full && R::mask(R::eq32(a, alphaByte)) == R::kAllMask)
    {
      R::store(dest + i, s);
      continue;
    }
    R::store(dest + i, blendBlock<R>(R::load(dest + i), s, weight, transparent, full));
  }
  return i;
}

// Opaque fill: the scalar head brings the stores to a register boundary; returns
// the pixels done (the caller writes the rest).
template <class R>
inline int fillBlocks(uint32_t* dest, int n, uint32_t color)
{
  int i = 0;
  for (; i < n && ((uintptr_t)(dest + i) & (sizeof(typename R::V) - 1)); ++i) dest[i] = color;
  const typename R::V c = R::set32((int)color);
  for (; i + 4 * R::kPixels <= n; i += 4 * R::kPixels)
  {
    R::storeAligned(dest + i, c);
    R::storeAligned(dest + i + R::kPixels, c);
    R::storeAligned(dest + i + 2 * R::kPixels, c);
    R::storeAligned(dest + i + 3 * R::kPixels, c);
  }
  return i;
}

// Copy of one colour at weight w (1..255) over the whole registers of a row:
// blendWord's rule with s fixed, so s x w per byte is a constant and each byte
// costs one multiply, d x (256 - w), plus that constant and 255 where d < s. Even
// and odd bytes stay in place as 16-bit lanes (a mask and a shift, no shuffle),
// two registers a step. dest is aligned to a register. Returns the pixels done;
// the caller blends the rest.
template <class R>
inline int fillBlendBlocks(uint32_t* dest, int n, uint32_t s, int w)
{
  using V = typename R::V;
  const uint32_t k = (uint32_t)(256 - w);
  int i = 0;
  auto lanes = [&](int b0, int b1, uint32_t scale) {
    return R::set32((int)((((s >> (8 * b0)) & 0xFF) * scale) | ((((s >> (8 * b1)) & 0xFF) * scale) << 16)));
  };
  const V kk = R::set16((int)k), low = R::set16(0xFF), high = R::set16(0xFF00);
  const V se = lanes(0, 2, 1), so = lanes(1, 3, 1);
  const V ce = lanes(0, 2, (uint32_t)w), co = lanes(1, 3, (uint32_t)w);
  auto blend = [&](V d) {
    const V de = R::and_(d, low), dodd = R::shr8(d);
    const V te = R::add16(R::add16(R::mul16(de, kk), ce), R::and_(R::gt16(se, de), low));
    const V to = R::add16(R::add16(R::mul16(dodd, kk), co), R::and_(R::gt16(so, dodd), low));
    return R::or_(R::shr8(te), R::and_(to, high));
  };
  for (; i + 2 * R::kPixels <= n; i += 2 * R::kPixels)
  {
    const V d0 = R::load(dest + i), d1 = R::load(dest + i + R::kPixels);
    R::storeAligned(dest + i, blend(d0));
    R::storeAligned(dest + i + R::kPixels, blend(d1));
  }
  return i;
}

}  // namespace lice_rows
}  // namespace

#endif
