#include "raster/lice_fast.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

namespace {

std::atomic<bool> g_fastPaths{true};

// s + trunc((d - s) * k / 256) for all four bytes at once, k in 0..256: the copy
// combiner with k = 256 - weight. Even and odd bytes go through 16-bit lanes, where
// d * k + s * (256 - k) stays below 65536; truncating a negative difference toward
// zero is rounding the lane up, hence the 255 added where d < s.
inline uint32_t blendWord(uint32_t d, uint32_t s, uint32_t k)
{
  const uint32_t de = d & 0x00FF00FF, dodd = (d >> 8) & 0x00FF00FF;
  const uint32_t se = s & 0x00FF00FF, sodd = (s >> 8) & 0x00FF00FF;
  const uint32_t ce = ((~((de | 0x01000100) - se) >> 8) & 0x00010001) * 255;
  const uint32_t co = ((~((dodd | 0x01000100) - sodd) >> 8) & 0x00010001) * 255;
  const uint32_t te = de * k + se * (256 - k) + ce;
  const uint32_t to = dodd * k + sodd * (256 - k) + co;
  return ((te >> 8) & 0x00FF00FF) | (to & 0xFF00FF00);
}

inline uint32_t alphaSum(uint32_t d, uint32_t add)
{
  const uint32_t a = (d & 0xFF) + add;
  return a > 255 ? 255 : a;
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

void copyRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  const uint32_t k = (uint32_t)(256 - w);
  for (int i = 0; i < n; ++i) dest[i] = blendWord(dest[i], src[i], k);
}

void sourceAlphaRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w)
{
  for (int i = 0; i < n; ++i)
  {
    const uint32_t d = dest[i], s = src[i], a = s & 0xFF;
    const uint32_t wa = ((a + 1) * (uint32_t)w) >> 8;
    const uint32_t out = (blendWord(d, s, 256 - wa) & 0xFFFFFF00) | alphaSum(d, wa);
    dest[i] = a ? out : d;
  }
}

void sourceAlphaFullRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n)
{
  for (int i = 0; i < n; ++i)
  {
    const uint32_t d = dest[i], s = src[i], a = s & 0xFF;
    const uint32_t out = (blendWord(d, s, 255 - a) & 0xFFFFFF00) | alphaSum(d, a);
    dest[i] = a ? out : d;
  }
}

void fillCopyRow(LICE_PixelValue* dest, int n, LICE_PixelValue color, int w)
{
  const uint32_t s = (color & 0xFFFFFF00) | (uint32_t)w, k = (uint32_t)(256 - w);
  for (int i = 0; i < n; ++i) dest[i] = blendWord(dest[i], s, k);
}

bool scaleNearestFAST(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx, int dy,
                      int right, int bottom, int src_span, int dest_span, bool halfMix)
{
  Columns cols;
  if (!cols.build(w, x, dx, right)) return false;
  const int* xi = cols.xi;
  for (; h > 0; --h, y += dy, dest += dest_span)
  {
    if (y < -65535 || y / 65536 >= bottom) continue;
    const LICE_PixelValue* row = src + (ptrdiff_t)(y / 65536) * src_span;
    if (halfMix)
      for (int i = cols.first; i < cols.last; ++i)
        dest[i] = ((row[xi[i]] >> 1) & 0x7F7F7F7F) + ((dest[i] >> 1) & 0x7F7F7F7F);
    else
      for (int i = cols.first; i < cols.last; ++i) dest[i] = row[xi[i]];
  }
  return true;
}

bool scaleBilinear(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx, int dy,
                   int right, int bottom, int src_span, int dest_span, bool sourceAlpha)
{
  Columns cols;
  if (!cols.build(w, x, dx, right)) return false;
  LICE_PixelValue* sample = nullptr;
  if (sourceAlpha && !(sample = new (std::nothrow) LICE_PixelValue[w])) return false;
  const int* xi = cols.xi;
  const uint32_t* xf = cols.xf;
  const int a = cols.first, b = cols.lastTwo, e = cols.last;

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
      for (int i = a; i < b; ++i)
      {
        const uint32_t p00 = row[xi[i]], p01 = row[xi[i] + 1], p10 = below[xi[i]], p11 = below[xi[i] + 1];
        const uint32_t w11 = (xf[i] * yf) >> 16;
        const uint32_t wb = yf - w11, wr = xf[i] - w11, wo = 65536 - xf[i] - yf + w11;
        uint32_t px = 0;
        for (int c = 0; c < 4; ++c)
          px |= ((channel(p00, c) * wo + channel(p01, c) * wr + channel(p10, c) * wb + channel(p11, c) * w11) >> 16)
                << (8 * c);
        out[i] = px;
      }
      for (int i = b; i < e; ++i)
      {
        const uint32_t p = row[xi[i]], pb = below[xi[i]];
        uint32_t px = 0;
        for (int c = 0; c < 4; ++c)
          px |= ((channel(pb, c) * yf + channel(p, c) * (65536 - yf)) >> 16) << (8 * c);
        out[i] = px;
      }
    }
    else
    {
      for (int i = a; i < b; ++i)
      {
        const uint32_t p = row[xi[i]], pr = row[xi[i] + 1];
        uint32_t px = 0;
        for (int c = 0; c < 4; ++c)
          px |= ((channel(pr, c) * xf[i] + channel(p, c) * (65536 - xf[i])) >> 16) << (8 * c);
        out[i] = px;
      }
      for (int i = b; i < e; ++i) out[i] = row[xi[i]];
    }
    if (sourceAlpha) sourceAlphaFullRow(dest + a, sample + a, e - a);
  }
  delete[] sample;
  return true;
}

}  // namespace lice_fast
