// The AVX2 register type of the row loops of lice_fast_rows.h, and the AVX2
// bilinear row. This file alone is built for AVX2 (see CMakeLists.txt); it is
// called only where the processor has it.
#include "raster/lice_fast_rows.h"

#if LICE_X86_ROWS && !defined(LICE_NO_VECTOR_CLONES)

namespace {

struct AvxRow
{
  using V = __m256i;
  enum { kPixels = 8, kAllMask = -1 };
  static V load(const void* p) { return _mm256_loadu_si256((const V*)p); }
  static void store(void* p, V v) { _mm256_storeu_si256((V*)p, v); }
  static void storeAligned(void* p, V v) { _mm256_store_si256((V*)p, v); }
  static V set16(int v) { return _mm256_set1_epi16((short)v); }
  static V set32(int v) { return _mm256_set1_epi32(v); }
  static V zero() { return _mm256_setzero_si256(); }
  static V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static V or_(V a, V b) { return _mm256_or_si256(a, b); }
  static V andnot(V a, V b) { return _mm256_andnot_si256(a, b); }
  static V eq32(V a, V b) { return _mm256_cmpeq_epi32(a, b); }
  static int mask(V a) { return _mm256_movemask_epi8(a); }
  // Unpacking and packing both work within 128-bit halves, so the pair keeps the order.
  static V lo8(V a) { return _mm256_unpacklo_epi8(a, _mm256_setzero_si256()); }
  static V hi8(V a) { return _mm256_unpackhi_epi8(a, _mm256_setzero_si256()); }
  static V pack(V a, V b) { return _mm256_packus_epi16(a, b); }
  static V mul16(V a, V b) { return _mm256_mullo_epi16(a, b); }
  static V add16(V a, V b) { return _mm256_add_epi16(a, b); }
  static V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
  static V gt16(V a, V b) { return _mm256_cmpgt_epi16(a, b); }
  static V shr8(V a) { return _mm256_srli_epi16(a, 8); }
  static V addsat8(V a, V b) { return _mm256_adds_epu8(a, b); }
  static V alphaWords(V a) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(a, 0), 0); }
};

}  // namespace

int lice_sourceAlphaBlocksAvx2(uint32_t* dest, const uint32_t* src, int n, int w)
{
  return lice_rows::sourceAlphaBlocks<AvxRow>(dest, src, n, w);
}

// Four-tap bilinear samples of one row, the taps read straight from the two source
// rows: per channel (a x 65536 + fx (b - a) + fy (d - a) + w11 (a - b - d + e)) >> 16
// in 32-bit lanes, the sum lice_fast.cpp's bilinearFour takes, two pixels a register.
// Every pixel must have a right neighbour. Returns the pixels done, a multiple of 8.
// xf4 holds each pixel's fraction four times.
int lice_bilinearRowAvx2(uint32_t* out, const uint32_t* row, const uint32_t* below, const int* xi, const uint32_t* xf4,
                         uint32_t yf, int n)
{
  const __m256i fy = _mm256_set1_epi32((int)yf);
  // Two pixels: the pixel, its right neighbour, and the two below, as 32-bit channels.
  auto pair = [&](int i) {
    const __m128i r = _mm_unpacklo_epi32(_mm_loadl_epi64((const __m128i*)(row + xi[i])),
                                         _mm_loadl_epi64((const __m128i*)(row + xi[i + 1])));
    const __m128i q = _mm_unpacklo_epi32(_mm_loadl_epi64((const __m128i*)(below + xi[i])),
                                         _mm_loadl_epi64((const __m128i*)(below + xi[i + 1])));
    const __m256i a = _mm256_cvtepu8_epi32(r), b = _mm256_cvtepu8_epi32(_mm_srli_si128(r, 8));
    const __m256i d = _mm256_cvtepu8_epi32(q), e = _mm256_cvtepu8_epi32(_mm_srli_si128(q, 8));
    const __m256i fx = _mm256_loadu_si256((const __m256i*)(xf4 + 4 * i));
    // Both fractions are below 65536: the high half of the low words' product is
    // (fx x fy) >> 16, and the high words (0 x 0) give 0.
    const __m256i w11 = _mm256_mulhi_epu16(fx, fy);
    const __m256i ba = _mm256_sub_epi32(b, a), da = _mm256_sub_epi32(d, a);
    __m256i v = _mm256_slli_epi32(a, 16);
    v = _mm256_add_epi32(v, _mm256_mullo_epi32(fx, ba));
    v = _mm256_add_epi32(v, _mm256_mullo_epi32(fy, da));
    v = _mm256_add_epi32(v, _mm256_mullo_epi32(w11, _mm256_sub_epi32(_mm256_sub_epi32(e, d), ba)));
    return _mm256_srai_epi32(v, 16);
  };
  // Packing works within 128-bit halves: pixels come out as 0 2 4 6 | 1 3 5 7.
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i lo = _mm256_packus_epi32(pair(i), pair(i + 2));
    const __m256i hi = _mm256_packus_epi32(pair(i + 4), pair(i + 6));
    _mm256_storeu_si256((__m256i*)(out + i), _mm256_permutevar8x32_epi32(_mm256_packus_epi16(lo, hi), order));
  }
  return i;
}

int lice_fillBlocksAvx2(uint32_t* dest, int n, uint32_t color)
{
  return lice_rows::fillBlocks<AvxRow>(dest, n, color);
}

#endif
