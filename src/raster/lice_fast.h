#pragma once
// Faster twins of the plain drawing loops, for the hot paths: each gives the same
// bytes as the plain loop beside it, which a seeded differential test checks.
// Written as loops over whole pixel words that the compiler can vectorise.

#include <cstddef>

#include "raster/lice_pixel.h"

// On by default. The differential tests switch them off to run the plain loops.
void LICE_SetFastPaths(bool enabled);
bool LICE_FastPathsEnabled();

namespace lice_fast {

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

// Rows of n pixels, combined as the named combiner does at weight w (0..256).
void copyRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w);        // copy
void sourceAlphaRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n, int w); // copy, source alpha
void sourceAlphaFullRow(LICE_PixelValue* dest, const LICE_PixelValue* src, int n);    // the same at 256
// Opaque copy of one run of n pixels; src and dest do not overlap.
void copyRun(LICE_PixelValue* dest, const LICE_PixelValue* src, size_t n);
// Opaque fill: whole registers with aligned stores.
void opaqueFillRow(LICE_PixelValue* dest, int n, LICE_PixelValue color);
// Copy of one colour at weight w (1..255); its alpha byte is replaced by w.
void fillCopyRow(LICE_PixelValue* dest, int n, LICE_PixelValue color, int w);

// The scalers' fast forms, same arguments as the plain templates; false when memory
// for the column tables is short. halfMix selects the whole-word half mix instead of
// the overwrite.
bool scaleNearestFAST(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx, int dy,
                      int right, int bottom, int src_span, int dest_span, bool halfMix);
// Bilinear sampling, then an overwrite (sourceAlpha false) or the full-weight
// source-alpha copy.
bool scaleBilinear(LICE_PixelValue* dest, const LICE_PixelValue* src, int w, int h, int x, int y, int dx, int dy,
                   int right, int bottom, int src_span, int dest_span, bool sourceAlpha);

}  // namespace lice_fast
