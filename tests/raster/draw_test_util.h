// Bitmaps and helpers for the drawing tests: a bitmap with guard bands round
// it, and the copy blend worked out by hand.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "raster/lice.h"
#include "raster/lice_draw.h"

namespace draw_test {

const LICE_PixelValue kGuard = 0xA5C3E17Bu;

// Pixels surrounded by a band of guard pixels on every side, inside one
// allocation: a write past any edge lands in the band (or, past the band, in
// memory the address sanitizer watches).
class GuardedBitmap : public LICE_IBitmap {
 public:
  GuardedBitmap(int w, int h, int guard = 8, bool flipped = false)
      : w_(w), h_(h), g_(guard), span_(w + 2 * guard), flipped_(flipped),
        buf_((size_t)(w + 2 * guard) * (h + 2 * guard), kGuard)
  {
    clear(0);
  }
  LICE_PixelValue* getBits() override { return buf_.data() + (size_t)g_ * span_ + g_; }
  int getWidth() override { return w_; }
  int getHeight() override { return h_; }
  int getRowSpan() override { return span_; }
  bool isFlipped() override { return flipped_; }
  bool resize(int, int) override { return false; }

  void clear(LICE_PixelValue v)
  {
    for (int y = 0; y < h_; y++)
      for (int x = 0; x < w_; x++) getBits()[(size_t)y * span_ + x] = v;
  }
  // Pixel (x, y) as stored, row 0 first in memory.
  LICE_PixelValue at(int x, int y) { return getBits()[(size_t)y * span_ + x]; }
  bool guardsIntact() const
  {
    for (int y = 0; y < h_ + 2 * g_; y++)
      for (int x = 0; x < span_; x++) {
        const bool inside = y >= g_ && y < g_ + h_ && x >= g_ && x < g_ + w_;
        if (!inside && buf_[(size_t)y * span_ + x] != kGuard) return false;
      }
    return true;
  }

 private:
  int w_, h_, g_, span_;
  bool flipped_;
  std::vector<LICE_PixelValue> buf_;
};

inline LICE_PixelValue grey(int v) { return LICE_MakePixel(v, v, v, v); }
const LICE_PixelValue kWhite = 0xFFFFFFFFu;

// One channel after the copy combiner at weight w: s + ((d - s)(256 - w)) / 256,
// the division truncating toward zero.
inline int copyBlend(int d, int s, int w) { return s + ((d - s) * (256 - w)) / 256; }

// White copied onto black at weight w, as a whole pixel.
inline LICE_PixelValue whiteAt(int w) { return grey(copyBlend(0, 255, w)); }

// The bitmap as rows of characters: '.' for value 0, '#' for anything else.
inline std::vector<std::string> picture(GuardedBitmap& b)
{
  std::vector<std::string> rows;
  for (int y = 0; y < b.getHeight(); y++) {
    std::string r;
    for (int x = 0; x < b.getWidth(); x++) r += b.at(x, y) ? '#' : '.';
    rows.push_back(r);
  }
  return rows;
}

inline int countSet(GuardedBitmap& b)
{
  int n = 0;
  for (int y = 0; y < b.getHeight(); y++)
    for (int x = 0; x < b.getWidth(); x++) n += b.at(x, y) != 0;
  return n;
}

}  // namespace draw_test
