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
// rows, two pixels a register. Per channel the sum lice_fast.cpp's bilinearFour
// takes, a x 65536 + fx B + fy D + w11 E with B = b - a, D = d - a,
// E = a - b - d + e, is the same integer as
//   (fx - 32768) B + (fy - 32768) D + (w11 - 32768) E + 16384 x 2 (a + e)
// (B + D + E = e - a), whose four weights fit signed 16 bits: two word-pair
// multiply-adds give it exactly, where 32-bit multiplies cost three. Every pixel
// must have a right neighbour. Returns the pixels done, a multiple of 8. xf4 holds
// each pixel's fraction four times.
int lice_bilinearRowAvx2(uint32_t* out, const uint32_t* row, const uint32_t* below, const int* xi, const uint32_t* xf4,
                         uint32_t yf, int n)
{
  // Word pairs (fx, 0) and (yf, 0): the high word of fx x yf is w11.
  const __m256i fy = _mm256_set1_epi32((int)yf);
  // Flipping bit 15 subtracts 32768 from a fraction read as a signed word.
  const __m256i weightsBD = _mm256_set1_epi32((int)(0x8000u | ((yf ^ 0x8000u) << 16)));
  const __m256i weightsE = _mm256_set1_epi32(0x40008000);  // (w11 - 32768, 16384)
  const __m256i negateLow = _mm256_set1_epi32(0x0001FFFF);
  // Within each half the taps are bytes a 0-3, b 4-7, d 8-11, e 12-15; a mask makes
  // channel c's word pair (p + c, q + c) of them.
#define LICE_PAIR(p, q, c) p + c, -1, q + c, -1
#define LICE_WORDS(p, q)                                                                                             \
  _mm256_setr_epi8(LICE_PAIR(p, q, 0), LICE_PAIR(p, q, 1), LICE_PAIR(p, q, 2), LICE_PAIR(p, q, 3), LICE_PAIR(p, q, 0), \
                   LICE_PAIR(p, q, 1), LICE_PAIR(p, q, 2), LICE_PAIR(p, q, 3))
  const __m256i takeAA = LICE_WORDS(0, 0), takeBD = LICE_WORDS(4, 8), takeEE = LICE_WORDS(12, 12);
  const __m256i takeBA = LICE_WORDS(4, 0), takeDE = LICE_WORDS(8, 12);
#undef LICE_WORDS
#undef LICE_PAIR
  // A pixel and its right neighbour from two places, one pair a half: broadcast
  // loads and a blend, no shuffle.
  auto two = [](const uint32_t* p, const uint32_t* q) {
    return _mm256_blend_epi32(_mm256_broadcastq_epi64(_mm_loadl_epi64((const __m128i*)p)),
                              _mm256_broadcastq_epi64(_mm_loadl_epi64((const __m128i*)q)), 0xF0);
  };
  // Two pixels' channels as 32-bit sums shifted down.
  auto pair = [&](int i) {
    const __m256i taps =
      _mm256_blend_epi32(two(row + xi[i], row + xi[i + 1]), two(below + xi[i], below + xi[i + 1]), 0xCC);
    const __m256i aa = _mm256_shuffle_epi8(taps, takeAA);
    const __m256i bd = _mm256_sub_epi16(_mm256_shuffle_epi8(taps, takeBD), aa);  // (B, D)
    const __m256i ae = _mm256_add_epi16(aa, _mm256_shuffle_epi8(taps, takeEE));  // (a + e, a + e)
    const __m256i sums = _mm256_add_epi16(_mm256_shuffle_epi8(taps, takeBA), _mm256_shuffle_epi8(taps, takeDE));
    const __m256i e2 = _mm256_add_epi16(ae, _mm256_sign_epi16(sums, negateLow));  // (E, 2 (a + e))
    const __m256i fx = _mm256_loadu_si256((const __m256i*)(xf4 + 4 * i));
    const __m256i wBD = _mm256_xor_si256(fx, weightsBD);
    const __m256i wE = _mm256_xor_si256(_mm256_mulhi_epu16(fx, fy), weightsE);
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(bd, wBD), _mm256_madd_epi16(e2, wE)), 16);
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

// The same sums for groups of four outputs whose taps lie within eight source
// pixels of each row (shrinking to a half or any stretch): one load and one
// permute a row give the four outputs' left and right taps, where the row above
// takes two loads and a blend for each output. With B' = e - d, E = B' - B, so the
// sum is also 65536 a + (fx - w11) B + w11 B' + fy D, and with each weight less
// 32768 (signed 16 bits; w11 <= fx) it is
//   (fx - w11 - 32768) B + (w11 - 32768) B' + (fy - 32768) D + 16384 x 2 (b + e)
// (B + B' + D = b + e - 2a). Bytes are paired per channel with signed byte
// weights: (b - a, e - d) and (d - a, 2 (b + e)), one shuffle and one multiply-add
// each; the second pair's weights are the row's. base holds each group's first
// source column, idx its eight offsets (a0 b0 a1 b1 a2 b2 a3 b3); xg, 32 words a
// group, its fractions as (fx, fx) four times in the order 0 2 1 3, then as
// (fx - 32768, -32768) in the same order. n is a multiple of 8.
int lice_bilinearGroupsAvx2(uint32_t* out, const uint32_t* row, const uint32_t* below, const int* base,
                            const int* idx, const uint32_t* xg, uint32_t yf, int n)
{
  const __m256i fy = _mm256_set1_epi32((int)(yf | (yf << 16)));
  const __m256i weightsD = _mm256_set1_epi32((int)((yf ^ 0x8000u) | 0x40000000u));  // (fy - 32768, 16384)
  const __m256i negateLow = _mm256_set1_epi32(0x0001FFFF);
#define LICE_QUAD(p, q, r, s, c) p + c, q + c, r + c, s + c
#define LICE_BYTES(p, q, r, s)                                                                           \
  _mm256_setr_epi8(LICE_QUAD(p, q, r, s, 0), LICE_QUAD(p, q, r, s, 1), LICE_QUAD(p, q, r, s, 2),          \
                   LICE_QUAD(p, q, r, s, 3), LICE_QUAD(p, q, r, s, 0), LICE_QUAD(p, q, r, s, 1),          \
                   LICE_QUAD(p, q, r, s, 2), LICE_QUAD(p, q, r, s, 3))
  // Taps a 0-3, b 4-7, d 8-11, e 12-15 within each half.
  const __m256i takeBAED = LICE_BYTES(4, 0, 12, 8), takeDABE = LICE_BYTES(8, 0, 4, 12);
#undef LICE_BYTES
#undef LICE_QUAD
  const __m256i plusMinus = _mm256_set1_epi32((int)0xFF01FF01u);  // (1, -1, 1, -1)
  const __m256i plusMinusTwo = _mm256_set1_epi32(0x0202FF01);     // (1, -1, 2, 2)
  auto sums = [&](__m256i taps, const uint32_t* f) {
    const __m256i bb = _mm256_maddubs_epi16(_mm256_shuffle_epi8(taps, takeBAED), plusMinus);     // (B, B')
    const __m256i dbe = _mm256_maddubs_epi16(_mm256_shuffle_epi8(taps, takeDABE), plusMinusTwo);  // (D, 2 (b + e))
    // (w11, w11) made (-w11, w11), added to (fx - 32768, -32768).
    const __m256i w11 = _mm256_mulhi_epu16(_mm256_loadu_si256((const __m256i*)f), fy);
    const __m256i wB = _mm256_add_epi16(_mm256_loadu_si256((const __m256i*)(f + 16)), _mm256_sign_epi16(w11, negateLow));
    return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(bb, wB), _mm256_madd_epi16(dbe, weightsD)), 16);
  };
  // Outputs 0 and 2 of a group, then 1 and 3: one output a half.
  auto group = [&](int g, __m256i* s02, __m256i* s13) {
    const __m256i at = _mm256_loadu_si256((const __m256i*)(idx + 8 * g));
    const __m256i r = _mm256_permutevar8x32_epi32(_mm256_loadu_si256((const __m256i*)(row + base[g])), at);
    const __m256i s = _mm256_permutevar8x32_epi32(_mm256_loadu_si256((const __m256i*)(below + base[g])), at);
    *s02 = sums(_mm256_unpacklo_epi64(r, s), xg + 32 * g);
    *s13 = sums(_mm256_unpackhi_epi64(r, s), xg + 32 * g + 8);
  };
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    __m256i s02, s13, s46, s57;
    group(i / 4, &s02, &s13);
    group(i / 4 + 1, &s46, &s57);
    // Halves: 0 1 | 2 3 and 4 5 | 6 7, then bytes 0 1 4 5 | 2 3 6 7.
    const __m256i px = _mm256_packus_epi16(_mm256_packus_epi32(s02, s13), _mm256_packus_epi32(s46, s57));
    _mm256_storeu_si256((__m256i*)(out + i), _mm256_permute4x64_epi64(px, 0xD8));
  }
  return i;
}

int lice_fillBlendBlocksAvx2(uint32_t* dest, int n, uint32_t s, int w)
{
  return lice_rows::fillBlendBlocks<AvxRow>(dest, n, s, w);
}

// Nearest samples, eight outputs a step whose sources lie within sixteen pixels
// of the row from base[g]: two loads, each permuted into place, and a blend by
// the sign bit of the offset, which is set where it reaches the second eight
// (the permute reads only the low three bits). idx holds eight offsets a group.
void lice_nearestGroupsAvx2(uint32_t* out, const uint32_t* row, const int* base, const int* idx, int groups)
{
  for (int g = 0; g < groups; ++g, out += 8)
  {
    const uint32_t* p = row + base[g];
    const __m256i at = _mm256_loadu_si256((const __m256i*)(idx + 8 * g));
    const __m256i lo = _mm256_permutevar8x32_epi32(_mm256_loadu_si256((const __m256i*)p), at);
    const __m256i hi = _mm256_permutevar8x32_epi32(_mm256_loadu_si256((const __m256i*)(p + 8)), at);
    const __m256 px = _mm256_blendv_ps(_mm256_castsi256_ps(lo), _mm256_castsi256_ps(hi), _mm256_castsi256_ps(at));
    _mm256_storeu_si256((__m256i*)out, _mm256_castps_si256(px));
  }
}

int lice_fillBlocksAvx2(uint32_t* dest, int n, uint32_t color)
{
  return lice_rows::fillBlocks<AvxRow>(dest, n, color);
}

#endif
