#include "raster/lice_fast.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "raster/lice_fast_rows.h"

// The loops below are plain C++ that the compiler vectorises. On x86-64 it also
// builds an AVX2 copy of each, chosen at load time where the processor has it:
// their 32-bit multiplies have no single SSE2 instruction. Defining
// LICE_NO_VECTOR_CLONES keeps the baseline build only (for measuring it).
// The source-alpha rows, the opaque fill and the bilinear row are written with
// intrinsics instead (lice_fast_rows.h, lice_fast_avx2.cpp): 16-bit lanes and a
// register-wide block test that the compiler does not find on its own.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(LICE_NO_VECTOR_CLONES)
#define LICE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LICE_VECTOR_CLONES
#endif

namespace {

std::atomic<bool> g_fastPaths{true};

using lice_fast::blendWord;

inline uint32_t alphaSum(uint32_t d, uint32_t add)
{
  const uint32_t a = (d & 0xFF) + add;
  return a > 255 ? 255 : a;
}

// The full-weight source-alpha copy of one pixel: colours move toward the source
// by 255 - a, alpha adds a, and a = 0 keeps the pixel.
inline uint32_t sourceAlphaFull(uint32_t d, uint32_t s)
{
  const uint32_t a = s & 0xFF;
  const uint32_t out = (blendWord(d, s, 255 - a) & 0xFFFFFF00) | alphaSum(d, a);
  return a ? out : d;
}

// Columns of a scaled row: which destination pixels have a source sample (one run,
// since positions are monotonic), and the source column and fraction of each.
struct Columns
{
  int* xi = nullptr;
  uint32_t* xf = nullptr;
  int first = 0, last = 0;   // pixels first..last-1 sample the source
  int lastTwo = 0;           // pixels first..lastTwo-1 also have a right neighbour
  ~Columns()
  {
    delete[] xi;
    delete[] xf;
  }

  // False when memory is short or the run is not contiguous.
  bool build(int w, int x, int dx, int right)
  {
    xi = new (std::nothrow) int[w];
    xf = new (std::nothrow) uint32_t[w];
    if (!xi || !xf) return false;
    first = -1;
    last = -1;
    lastTwo = -1;
    int px = x;
    for (int i = 0; i < w; ++i, px += dx)
    {
      const bool valid = px >= -65535 && px / 65536 < right;
      if (valid && first < 0) first = i;
      if (valid && last >= 0) return false;
      if (!valid && first >= 0 && last < 0) last = i;
      xi[i] = px / 65536;
      xf[i] = (uint32_t)px & 0xFFFF;
    }
    if (first < 0) first = last = 0;
    if (last < 0) last = w;
    // The pixels that also have a right neighbour come first for rising positions
    // and last for falling ones; mixed runs take the plain path.
    int twoEnd = first;
    while (twoEnd < last && xi[twoEnd] < right - 1) ++twoEnd;
    for (int i = twoEnd; i < last; ++i)
      if (xi[i] < right - 1) return false;
    lastTwo = twoEnd;
    return true;
  }
};

inline uint32_t channel(uint32_t p, int c)
{
  return (p >> (8 * c)) & 0xFF;
}

}  // namespace

void LICE_SetFastPaths(bool enabled)
{
  g_fastPaths.store(enabled, std::memory_order_relaxed);
}

bool LICE_FastPathsEnabled()
{
  return g_fastPaths.load(std::memory_order_relaxed);
}

namespace lice_fast {

LICE_VECTOR_CLONES
void copyRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  const uint32_t k = (uint32_t)(256 - w);
  for (int i = 0; i < n; ++i) dest[i] = blendWord(dest[i], src[i], k);
}

LICE_VECTOR_CLONES
static void sourceAlphaRowPlain(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  for (int i = 0; i < n; ++i)
  {
    const uint32_t d = dest[i], s = src[i], a = s & 0xFF;
    const uint32_t wa = ((a + 1) * (uint32_t)w) >> 8;
    const uint32_t out = (blendWord(d, s, 256 - wa) & 0xFFFFFF00) | alphaSum(d, wa);
    dest[i] = a ? out : d;
  }
}

#if LICE_X86_ROWS
}  // namespace lice_fast

// The AVX2 blocks (lice_fast_avx2.cpp); each returns the pixels done.
int lice_sourceAlphaBlocksAvx2(uint32_t* dest, const uint32_t* src, int n, int w);
int lice_fillBlocksAvx2(uint32_t* dest, int n, uint32_t color);
int lice_fillBlendBlocksAvx2(uint32_t* dest, int n, uint32_t s, int w);
void lice_nearestGroupsAvx2(uint32_t* out, const uint32_t* row, const int* base, const int* idx, int groups);
int lice_bilinearRowAvx2(uint32_t* out, const uint32_t* row, const uint32_t* below, const int* xi, const uint32_t* xf4,
                         uint32_t yf, int n);
int lice_bilinearGroupsAvx2(uint32_t* out, const uint32_t* row, const uint32_t* below, const int* base,
                            const int* idx, const uint32_t* xg, uint32_t yf, int n);

namespace {

#if !defined(LICE_NO_VECTOR_CLONES)
bool hasAvx2()
{
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}
#endif

// Its loops are sensitive to where they fall: placed 16 bytes off a 64-byte line,
// the SSE2-only build's blended rows ran 5 % slower.
__attribute__((aligned(64))) void sourceAlphaX86(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  int done = 0;
#if !defined(LICE_NO_VECTOR_CLONES)
  if (hasAvx2()) done = lice_sourceAlphaBlocksAvx2(dest, src, n, w);
#endif
  done += lice_rows::sourceAlphaBlocks<lice_rows::SseRow>(dest + done, src + done, n - done, w);
  if (w == 256)
    for (int i = done; i < n; ++i) dest[i] = sourceAlphaFull(dest[i], src[i]);
  else
    lice_fast::sourceAlphaRowPlain(dest + done, src + done, n - done, w);
}

}  // namespace

namespace lice_fast {

void sourceAlphaRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  sourceAlphaX86(dest, src, n, w);
}

void sourceAlphaFullRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n)
{
  sourceAlphaX86(dest, src, n, 256);
}

// Runs past the second-level cache: 16-byte loads and aligned 16-byte stores, four
// a step. Here that copied a 4 MB surface in 0.85 to 0.94 of the time memcpy took
// (its string copy); 32-byte stores were no faster than memcpy and non-temporal
// ones took 1.6 times as long, the surface staying in the shared cache otherwise.
// Shorter runs keep memcpy.
const size_t kCopyLoopFrom = 65536;

void copyRun(LICE_PixelValue* dest, const LICE_PixelValue* src, size_t n)
{
  if (n < kCopyLoopFrom)
  {
    memcpy(dest, src, n * sizeof(*dest));
    return;
  }
  size_t i = 0;
  for (; i < n && ((uintptr_t)(dest + i) & 15); ++i) dest[i] = src[i];
  for (; i + 16 <= n; i += 16)
  {
    const __m128i a = _mm_loadu_si128((const __m128i*)(src + i)), b = _mm_loadu_si128((const __m128i*)(src + i + 4));
    const __m128i c = _mm_loadu_si128((const __m128i*)(src + i + 8)), d = _mm_loadu_si128((const __m128i*)(src + i + 12));
    _mm_store_si128((__m128i*)(dest + i), a);
    _mm_store_si128((__m128i*)(dest + i + 4), b);
    _mm_store_si128((__m128i*)(dest + i + 8), c);
    _mm_store_si128((__m128i*)(dest + i + 12), d);
  }
  for (; i < n; ++i) dest[i] = src[i];
}

// Long runs go to the string store: where the processor can, it writes whole cache
// lines without reading them first, which vector stores cannot avoid. On a surface
// larger than the core's cache that is what a fill costs; short runs stay with the
// registers, whose start costs less.
const int kStringStoreFrom = 1024;

void opaqueFillRow(LICE_PixelValue* dest, int n, LICE_PixelValue color)
{
  int done = 0;
  if (n >= kStringStoreFrom)
  {
    for (; done < n && ((uintptr_t)(dest + done) & 63); ++done) dest[done] = color;
    uint32_t* p = dest + done;
    size_t count = (size_t)(n - done);
    asm volatile("rep stosl" : "+D"(p), "+c"(count) : "a"(color) : "memory");
    return;
  }
#if !defined(LICE_NO_VECTOR_CLONES)
  if (hasAvx2()) done = lice_fillBlocksAvx2(dest, n, color);
#endif
  done += lice_rows::fillBlocks<lice_rows::SseRow>(dest + done, n - done, color);
  for (int i = done; i < n; ++i) dest[i] = color;
}

#else

void sourceAlphaRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  sourceAlphaRowPlain(dest, src, n, w);
}

void copyRun(LICE_PixelValue* dest, const LICE_PixelValue* src, size_t n)
{
  memcpy(dest, src, n * sizeof(*dest));
}

LICE_VECTOR_CLONES
void opaqueFillRow(LICE_PixelValue* dest, int n, LICE_PixelValue color)
{
  for (int i = 0; i < n; ++i) dest[i] = color;
}

// Blocks of pixels that are all transparent are skipped and blocks that are all
// opaque copied: the rule gives exactly that (a = 255 writes the colour and 255,
// a = 0 keeps the destination), and sprites are mostly such blocks.
LICE_VECTOR_CLONES
void sourceAlphaFullRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n)
{
  const int kBlock = 8;
  int i = 0;
  for (; i + kBlock <= n; i += kBlock)
  {
    uint32_t any = 0, all = 0xFF;
    for (int j = 0; j < kBlock; ++j)
    {
      any |= src[i + j];
      all &= src[i + j];
    }
    if (!(any & 0xFF)) continue;
    if ((all & 0xFF) == 0xFF)
    {
      for (int j = 0; j < kBlock; ++j) dest[i + j] = src[i + j];
      continue;
    }
    for (int j = 0; j < kBlock; ++j) dest[i + j] = sourceAlphaFull(dest[i + j], src[i + j]);
  }
  for (; i < n; ++i) dest[i] = sourceAlphaFull(dest[i], src[i]);
}

#endif

// One colour, so each byte's blend is (d x k + s x (256 - k) + 255 if d < s) >> 8
// in 16-bit lanes, four pixels at a time so the colour pattern stays in registers.
LICE_VECTOR_CLONES
static void fillCopyRowPlain(LICE_PixelValue* dest, int n, uint32_t s, int w)
{
  const int16_t k = (int16_t)(256 - w);
  int16_t S[16], C[16];
  for (int j = 0; j < 16; ++j)
  {
    S[j] = (int16_t)((s >> (8 * (j & 3))) & 0xFF);
    C[j] = (int16_t)(S[j] * (256 - k));
  }
  int i = 0;
  for (unsigned char* d = (unsigned char*)dest; i + 4 <= n; i += 4, d += 16)
    for (int j = 0; j < 16; ++j)
    {
      const int16_t dv = d[j];
      const int16_t below = (int16_t)-(int16_t)(dv < S[j]);
      d[j] = (unsigned char)((uint16_t)(dv * k + C[j] + (below & 255)) >> 8);
    }
  for (; i < n; ++i) dest[i] = blendWord(dest[i], s, (uint32_t)k);
}

void fillCopyRow(LICE_PixelValue* dest, int n, LICE_PixelValue color, int w)
{
  const uint32_t s = (color & 0xFFFFFF00) | (uint32_t)w;
#if LICE_X86_ROWS
  // A scalar head brings the stores to a 32-byte boundary, for either register.
  int done = 0;
  for (; done < n && ((uintptr_t)(dest + done) & 31); ++done) dest[done] = blendWord(dest[done], s, (uint32_t)(256 - w));
#if !defined(LICE_NO_VECTOR_CLONES)
  if (hasAvx2()) done += lice_fillBlendBlocksAvx2(dest + done, n - done, s, w);
#endif
  done += lice_rows::fillBlendBlocks<lice_rows::SseRow>(dest + done, n - done, s, w);
  fillCopyRowPlain(dest + done, n - done, s, w);
#else
  fillCopyRowPlain(dest, n, s, w);
#endif
}

// Its row loop is six instructions: at GCC's 16-byte loop alignment, code added
// earlier in this file once moved it across a 32-byte boundary and made it half as
// fast again. Aligning all loops of the file to 32 slowed the SSE2-only
// source-alpha rows instead, so only this one is aligned.
#if defined(__GNUC__) && !defined(__clang__) && (defined(__x86_64__) || defined(__i386__))
__attribute__((optimize("align-loops=32")))
#endif
bool scaleNearestFAST(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx, int dy,
                      int right, int bottom, int src_span, int dest_span, bool halfMix)
{
  Columns cols;
  if (!cols.build(w, x, dx, right)) return false;
  const int* xi = cols.xi;
  bool sampleEveryRow = halfMix;
  // A copy takes the same source row's pixels again from the output row made of it
  // just before (a stretch repeats rows), which is still in the cache; the half mix
  // depends on what each row held, and a blit onto its own source may have changed
  // the row since, so those sample every row.
  const LICE_PixelValue* lastRow = nullptr;
  const LICE_PixelValue* lastOut = nullptr;
  if (h > 0 && bottom > 0)
  {
    const intptr_t s0 = (intptr_t)src, s1 = s0 + (intptr_t)(bottom - 1) * src_span * 4;
    const intptr_t d0 = (intptr_t)dest, d1 = d0 + (intptr_t)(h - 1) * dest_span * 4;
    const intptr_t srcLo = s0 < s1 ? s0 : s1, srcHi = (s0 < s1 ? s1 : s0) + (intptr_t)right * 4;
    const intptr_t destLo = d0 < d1 ? d0 : d1, destHi = (d0 < d1 ? d1 : d0) + (intptr_t)cols.last * 4;
    if (destHi > srcLo && srcHi > destLo) sampleEveryRow = true;
  }
  // Groups of eight outputs from the first on whose sources lie within sixteen
  // pixels (shrinks to a half, stretches, mirrored runs): two loads and two
  // permutes a group instead of eight loads. Copies only, and not onto the source
  // itself, where the plain loop reads pixels the same row has just written.
  int groups = 0;
  int* groupBase = nullptr;
  int* groupIdx = nullptr;
#if LICE_X86_ROWS && !defined(LICE_NO_VECTOR_CLONES)
  if (!sampleEveryRow && hasAvx2())
  {
    auto lowest = [&](int i) {
      int m = xi[i];
      for (int k = 1; k < 8; ++k) m = xi[i + k] < m ? xi[i + k] : m;
      return m;
    };
    auto fits = [&](int i) {
      const int m = lowest(i);
      if (m < 0 || m + 16 > right) return false;
      for (int k = 0; k < 8; ++k)
        if (xi[i + k] - m > 15) return false;
      return true;
    };
    while (cols.first + 8 * (groups + 1) <= cols.last && fits(cols.first + 8 * groups)) ++groups;
    if (groups)
    {
      groupBase = new (std::nothrow) int[(size_t)groups];
      groupIdx = new (std::nothrow) int[8 * (size_t)groups];
      if (!groupBase || !groupIdx) groups = 0;
      for (int g = 0; g < groups; ++g)
      {
        const int i = cols.first + 8 * g, m = lowest(i);
        groupBase[g] = m;
        for (int k = 0; k < 8; ++k)
        {
          const int o = xi[i + k] - m;
          groupIdx[8 * g + k] = (int)((uint32_t)o | (o > 7 ? 0x80000000u : 0));
        }
      }
    }
  }
#endif
  const int grouped = cols.first + 8 * groups;
  for (; h > 0; --h, y += dy, dest += dest_span)
  {
    if (y < -65535 || y / 65536 >= bottom) continue;
    const LICE_PixelValue* row = src + (ptrdiff_t)(y / 65536) * src_span;
    if (halfMix)
      for (int i = cols.first; i < cols.last; ++i)
        dest[i] = ((row[xi[i]] >> 1) & 0x7F7F7F7F) + ((dest[i] >> 1) & 0x7F7F7F7F);
    else if (row == lastRow && !sampleEveryRow)
      memcpy(dest + cols.first, lastOut + cols.first, (size_t)(cols.last - cols.first) * sizeof(*dest));
    else
    {
#if LICE_X86_ROWS && !defined(LICE_NO_VECTOR_CLONES)
      if (groups) lice_nearestGroupsAvx2(dest + cols.first, row, groupBase, groupIdx, groups);
#endif
      for (int i = grouped; i < cols.last; ++i) dest[i] = row[xi[i]];
      lastRow = row;
      lastOut = dest;
    }
  }
  delete[] groupBase;
  delete[] groupIdx;
  return true;
}

// Four-tap samples of n pixels whose taps are gathered already: p00 the pixel, p01
// its right neighbour, p10 the one below, p11 below-right. The sum
// p00 x own + p01 x right + p10 x below + p11 x w11 is the same integer as
// 65536 p00 + xf (p01 - p00) + yf (p10 - p00) + w11 (p00 - p01 - p10 + p11),
// which needs one multiply fewer a channel and vectorises across pixels.
LICE_VECTOR_CLONES
void bilinearFour(LICE_PixelValue* out, const uint32_t* p00, const uint32_t* p01, const uint32_t* p10,
                  const uint32_t* p11, const uint32_t* xf, uint32_t yf, int n)
{
  for (int i = 0; i < n; ++i)
  {
    const int fx = (int)xf[i], fy = (int)yf, w11 = (int)((xf[i] * yf) >> 16);
    uint32_t px = 0;
    for (int c = 0; c < 4; ++c)
    {
      const int a = (int)channel(p00[i], c), b = (int)channel(p01[i], c);
      const int d = (int)channel(p10[i], c), e = (int)channel(p11[i], c);
      px |= (uint32_t)((a * 65536 + fx * (b - a) + fy * (d - a) + w11 * (a - b - d + e)) >> 16) << (8 * c);
    }
    out[i] = px;
  }
}

// Two taps, p toward q by the fraction f: (q x f + p x (65536 - f)) >> 16.
uint32_t twoTaps(uint32_t p, uint32_t q, uint32_t f)
{
  uint32_t px = 0;
  for (int c = 0; c < 4; ++c) px |= ((channel(q, c) * f + channel(p, c) * (65536 - f)) >> 16) << (8 * c);
  return px;
}

bool scaleBilinear(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx, int dy,
                   int right, int bottom, int src_span, int dest_span, bool sourceAlpha)
{
  Columns cols;
  if (!cols.build(w, x, dx, right)) return false;
  // Gathered taps and the sampled row.
  uint32_t* taps = new (std::nothrow) uint32_t[5 * (size_t)w];
  if (!taps) return false;
  uint32_t *p00 = taps, *p01 = taps + w, *p10 = taps + 2 * w, *p11 = taps + 3 * w;
  LICE_PixelValue* sample = taps + 4 * w;
  const int* xi = cols.xi;
  const uint32_t* xf = cols.xf;
  const int a = cols.first, b = cols.lastTwo, e = cols.last;
#if LICE_X86_ROWS && !defined(LICE_NO_VECTOR_CLONES)
  // Each fraction four times, one for each channel of the AVX2 row.
  uint32_t* xf4 = hasAvx2() ? new (std::nothrow) uint32_t[4 * (size_t)w] : nullptr;
  if (xf4)
    for (int i = 0; i < 4 * w; ++i) xf4[i] = xf[i / 4];
  // Blocks of eight outputs from a on whose two groups of four read their taps
  // from eight source pixels each, rising and left of the limit.
  int grouped = 0;
  int* groupBase = nullptr;
  int* groupIdx = nullptr;
  uint32_t* groupXf = nullptr;
  if (xf4)
  {
    auto fits = [&](int i) {
      if (xi[i] < 0 || xi[i] + 8 > right) return false;
      for (int k = 1; k < 4; ++k)
        if (xi[i + k] < xi[i + k - 1] || xi[i + k] + 1 - xi[i] > 7) return false;
      return true;
    };
    while (a + grouped + 8 <= b && fits(a + grouped) && fits(a + grouped + 4)) grouped += 8;
    if (grouped)
    {
      groupBase = new (std::nothrow) int[(size_t)grouped / 4];
      groupIdx = new (std::nothrow) int[2 * (size_t)grouped];
      groupXf = new (std::nothrow) uint32_t[8 * (size_t)grouped];
      if (!groupBase || !groupIdx || !groupXf) grouped = 0;
      static const int kOrder[4] = {0, 2, 1, 3};
      for (int g = 0; g < grouped / 4; ++g)
      {
        const int i = a + 4 * g;
        groupBase[g] = xi[i];
        for (int k = 0; k < 4; ++k)
        {
          groupIdx[8 * g + 2 * k] = xi[i + k] - xi[i];
          groupIdx[8 * g + 2 * k + 1] = xi[i + k] + 1 - xi[i];
          const uint32_t f = xf[i + kOrder[k]];
          for (int c = 0; c < 4; ++c)
          {
            groupXf[32 * g + 4 * k + c] = f | f << 16;
            groupXf[32 * g + 16 + 4 * k + c] = (f ^ 0x8000u) | 0x80000000u;
          }
        }
      }
    }
  }
#endif

  for (; h > 0; --h, y += dy, dest += dest_span)
  {
    if (y < -65535) continue;
    const int yi = y / 65536;
    if (yi >= bottom) continue;
    const uint32_t yf = (uint32_t)y & 0xFFFF;
    const LICE_PixelValue* row = src + (ptrdiff_t)yi * src_span;
    LICE_PixelValue* out = sourceAlpha ? sample : dest;

    if (yi < bottom - 1)
    {
      const LICE_PixelValue* below = row + src_span;
      int done = a;
#if LICE_X86_ROWS && !defined(LICE_NO_VECTOR_CLONES)
      if (grouped) done += lice_bilinearGroupsAvx2(out + a, row, below, groupBase, groupIdx, groupXf, yf, grouped);
      if (xf4) done += lice_bilinearRowAvx2(out + done, row, below, xi + done, xf4 + 4 * done, yf, b - done);
#endif
      for (int i = done; i < b; ++i)
      {
        p00[i] = row[xi[i]];
        p01[i] = row[xi[i] + 1];
        p10[i] = below[xi[i]];
        p11[i] = below[xi[i] + 1];
      }
      bilinearFour(out + done, p00 + done, p01 + done, p10 + done, p11 + done, xf + done, yf, b - done);
      for (int i = b; i < e; ++i) out[i] = twoTaps(row[xi[i]], below[xi[i]], yf);
    }
    else
    {
      for (int i = a; i < b; ++i) out[i] = twoTaps(row[xi[i]], row[xi[i] + 1], xf[i]);
      for (int i = b; i < e; ++i) out[i] = row[xi[i]];
    }
    if (sourceAlpha) sourceAlphaFullRow(dest + a, sample + a, e - a);
  }
  delete[] taps;
#if LICE_X86_ROWS && !defined(LICE_NO_VECTOR_CLONES)
  delete[] xf4;
  delete[] groupBase;
  delete[] groupIdx;
  delete[] groupXf;
#endif
  return true;
}

}  // namespace lice_fast
