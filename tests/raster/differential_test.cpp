// The fast twins against the plain loops over seeded random operations, and one
// long seeded run hashed into a constant.
#include "raster/lice.h"
#include "raster/lice_fast.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

const int kModes[] = {0,       1,       2,       3,       4,       5,       0x10000, 0x10001,
                      0x10002, 0x10003, 0x10004, 0x10005, 0x100,   0x10100, 0xF1,    6};
const float kAlphas[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.3f, 1.0f / 256, 255.0f / 256, 0.999f, 0.0f, -0.25f, 1.5f};

struct Rng
{
  std::mt19937 g;
  explicit Rng(unsigned seed) : g(seed) {}
  int in(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); }
  float real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(g); }
  template <class T, size_t N>
  T pick(const T (&a)[N])
  {
    return a[in(0, (int)N - 1)];
  }
  // Pixels biased toward the edge values of every channel.
  LICE_PixelValue pixel()
  {
    static const int edges[] = {0, 1, 127, 128, 254, 255};
    LICE_PixelValue p = 0;
    for (int c = 0; c < 4; ++c) p |= (LICE_PixelValue)(in(0, 2) ? in(0, 255) : pick(edges)) << (8 * c);
    return p;
  }
};

void fill(LICE_IBitmap* b, Rng& r)
{
  LICE_PixelValue* bits = b->getBits();
  for (int y = 0; y < b->getHeight(); ++y)
    for (int x = 0; x < b->getWidth(); ++x) bits[y * b->getRowSpan() + x] = r.pixel();
}

// One random drawing operation on dest; the same seed draws the same operation.
void randomOperation(LICE_IBitmap* dest, LICE_IBitmap* src, Rng& r)
{
  const int mode = r.pick(kModes);
  const float alpha = r.in(0, 3) ? r.pick(kAlphas) : r.real(-0.2f, 1.2f);
  const int dw = dest->getWidth(), dh = dest->getHeight(), sw = src->getWidth(), sh = src->getHeight();
  switch (r.in(0, 3))
  {
    case 0:
      LICE_Blit(dest, src, r.in(-sw, dw), r.in(-sh, dh), r.in(-3, sw), r.in(-3, sh), r.in(-2, sw + 3),
                r.in(-2, sh + 3), alpha, mode);
      break;
    case 1:
      LICE_FillRect(dest, r.in(-5, dw), r.in(-5, dh), r.in(-2, dw + 5), r.in(-2, dh + 5), r.pixel(), alpha, mode);
      break;
    case 2:
    case 3:
    {
      int w = r.in(1, 2 * dw), h = r.in(1, 2 * dh);
      if (!r.in(0, 4)) w = -w;
      if (!r.in(0, 4)) h = -h;
      const float sx = r.real(-2.0f, (float)sw), sy = r.real(-2.0f, (float)sh);
      float swf = r.real(0.25f, (float)sw + 2), shf = r.real(0.25f, (float)sh + 2);
      if (!r.in(0, 6)) swf = -swf;
      if (!r.in(0, 3)) swf = (float)w;  // same size: the plain-blit shortcut
      if (!r.in(0, 3)) shf = (float)h;
      LICE_ScaledBlit(dest, src, r.in(-dw, dw), r.in(-dh, dh), w, h, r.in(0, 1) ? sx : (float)(int)sx,
                      r.in(0, 1) ? sy : (float)(int)sy, swf, shf, alpha, mode);
      break;
    }
  }
}

}  // namespace

TEST(FastPaths, GiveThePlainLoopsBytes)
{
  for (unsigned seed = 1; seed <= 3000; ++seed)
  {
    Rng r(seed);
    LICE_MemBitmap dplain(r.in(1, 40), r.in(1, 30)), src(r.in(1, 40), r.in(1, 30));
    fill(&dplain, r);
    fill(&src, r);
    LICE_MemBitmap dfast;
    LICE_Copy(&dfast, &dplain);

    const unsigned opSeed = (unsigned)r.in(0, 1 << 30);
    Rng a(opSeed), b(opSeed);
    LICE_SetFastPaths(false);
    randomOperation(&dplain, &src, a);
    LICE_SetFastPaths(true);
    randomOperation(&dfast, &src, b);
    ASSERT_EQ(pixels(&dfast), pixels(&dplain)) << "seed " << seed;
  }
}

TEST(FastPaths, ScaledBlitsWithFastTwins)
{
  // The modes and weights whose scalers have fast twins, stretched and shrunk in
  // both directions, mirrored, and cut at every edge.
  const int modes[] = {0, LICE_MODE_BILINEAR, LICE_MODE_BILINEAR | LICE_MODE_SOURCEALPHA, LICE_MODE_SOURCEALPHA};
  for (unsigned seed = 1; seed <= 3000; ++seed)
  {
    Rng r(seed);
    LICE_MemBitmap dplain(r.in(1, 30), r.in(1, 30)), src(r.in(1, 20), r.in(1, 20));
    fill(&dplain, r);
    fill(&src, r);
    LICE_MemBitmap dfast;
    LICE_Copy(&dfast, &dplain);
    const int mode = r.pick(modes);
    const float alpha = r.in(0, 3) ? 1.0f : 0.5f;
    int w = r.in(1, 40), h = r.in(1, 40);
    if (!r.in(0, 5)) w = -w;
    if (!r.in(0, 5)) h = -h;
    const int dx = r.in(-10, 30), dy = r.in(-10, 30);
    const float sx = r.in(0, 1) ? r.real(-3, 20) : (float)r.in(-2, 10), sy = r.real(-3, 20);
    const float sw = r.real(0.5f, 25), sh = r.real(0.5f, 25);
    LICE_SetFastPaths(false);
    LICE_ScaledBlit(&dplain, &src, dx, dy, w, h, sx, sy, sw, sh, alpha, mode);
    LICE_SetFastPaths(true);
    LICE_ScaledBlit(&dfast, &src, dx, dy, w, h, sx, sy, sw, sh, alpha, mode);
    ASSERT_EQ(pixels(&dfast), pixels(&dplain)) << "seed " << seed;
  }
}

// Nearest stretches repeat rows, which the fast scaler copies from the row it made
// before; onto its own bitmap, the source may have changed under it since, and the
// bytes must still be the plain loop's.
TEST(FastPaths, NearestStretchesOntoTheirOwnSource)
{
  for (unsigned seed = 1; seed <= 2000; ++seed)
  {
    Rng r(seed);
    LICE_MemBitmap plain(r.in(2, 40), r.in(2, 60));
    fill(&plain, r);
    LICE_MemBitmap fast;
    LICE_Copy(&fast, &plain);
    const int w = r.in(1, 50), h = r.in(1, 90), dx = r.in(-5, 20), dy = r.in(-5, 30);
    const float sx = r.real(-2, 10), sy = r.real(-2, 20), sw = r.real(1, 20), sh = r.real(1, 40);
    const float alpha = r.in(0, 4) ? 1.0f : 0.5f;
    LICE_SetFastPaths(false);
    LICE_ScaledBlit(&plain, &plain, dx, dy, w, h, sx, sy, sw, sh, alpha, 0);
    LICE_SetFastPaths(true);
    LICE_ScaledBlit(&fast, &fast, dx, dy, w, h, sx, sy, sw, sh, alpha, 0);
    ASSERT_EQ(pixels(&fast), pixels(&plain)) << "seed " << seed;
  }
}

TEST(FastPaths, ScaledRowsWideEnoughForGroupedTaps)
{
  // Rows wide enough for the vector rows: shrinks to a half and stretches,
  // where groups of four bilinear outputs take their taps from eight source
  // pixels and groups of eight nearest ones from sixteen, and deeper shrinks and
  // mirrors, where they cannot; odd starts and widths leave tails. Pixels from
  // the edge values, fractions everywhere.
  const int modes[] = {LICE_MODE_BILINEAR, LICE_MODE_BILINEAR, LICE_MODE_BILINEAR | LICE_MODE_SOURCEALPHA,
                       LICE_MODE_COPY, LICE_MODE_COPY};
  for (unsigned seed = 1; seed <= 800; ++seed)
  {
    Rng r(seed);
    const int sw = r.in(8, 90), sh = r.in(2, 12);
    LICE_MemBitmap src(sw, sh);
    fill(&src, r);
    const float scale = r.in(0, 5) ? r.real(0.45f, 2.5f) : r.real(0.2f, 0.45f);
    int w = (int)(sw * scale) + r.in(0, 3), h = r.in(1, 16);
    if (!r.in(0, 7)) w = -w;
    const float sx = r.in(0, 1) ? r.real(-1.5f, 3.0f) : 0.0f, sy = r.real(-1.0f, (float)sh);
    const float swf = r.in(0, 2) ? (float)sw - sx : r.real(1.0f, (float)sw);
    const int mode = r.pick(modes);
    LICE_MemBitmap dplain(std::abs(w) + 5, h + 2);
    fill(&dplain, r);
    LICE_MemBitmap dfast;
    LICE_Copy(&dfast, &dplain);
    const int dx = r.in(-3, 4);
    const float shf = r.real(0.5f, (float)sh);
    LICE_SetFastPaths(false);
    LICE_ScaledBlit(&dplain, &src, dx, 1, w, h, sx, sy, swf, shf, 1.0f, mode);
    LICE_SetFastPaths(true);
    LICE_ScaledBlit(&dfast, &src, dx, 1, w, h, sx, sy, swf, shf, 1.0f, mode);
    ASSERT_EQ(pixels(&dfast), pixels(&dplain)) << "seed " << seed;
  }
}

TEST(FastPaths, RowLoopsOnTheWholeEdgeGrid)
{
  // Every destination and source pixel from the edge values, at every weight.
  std::vector<LICE_PixelValue> d, s;
  const int edges[] = {0, 1, 127, 128, 254, 255};
  for (int a : edges)
    for (int b : edges)
      for (int c : edges)
      {
        d.push_back(LICE_MakePixel(a, b, c, b));
        s.push_back(LICE_MakePixel(c, a, b, a));
      }
  const int n = (int)d.size();
  LICE_MemBitmap dst(n, 1), src(n, 1), want(n, 1);
  memcpy(src.getBits(), s.data(), n * 4);
  for (int w = 0; w <= 256; ++w)
    for (int mode : {0, 0x10000})
    {
      memcpy(want.getBits(), d.data(), n * 4);
      LICE_SetFastPaths(false);
      LICE_Blit(&want, &src, 0, 0, nullptr, w / 256.0f, mode);
      LICE_FillRect(&want, 0, 0, n, 1, s[w % n], w / 256.0f, mode);
      LICE_SetFastPaths(true);
      memcpy(dst.getBits(), d.data(), n * 4);
      LICE_Blit(&dst, &src, 0, 0, nullptr, w / 256.0f, mode);
      LICE_FillRect(&dst, 0, 0, n, 1, s[w % n], w / 256.0f, mode);
      ASSERT_EQ(pixels(&dst), pixels(&want)) << w << " " << mode;
    }
}

TEST(FastPaths, OpaqueCopiesOfUnpaddedSurfaces)
{
  // A copy whose rows both lie back to back is one run (past 65,536 pixels a
  // register loop, with a head to the store boundary and a tail); padded,
  // clipped, offset, flipped and self-overlapping copies keep going row by row. Each against a
  // pixel loop over the same rectangle.
  struct Case
  {
    int w, h, srcAlign, destAlign, x, y;
    bool flipped, self;
  } cases[] = {
    {40, 30, 4, 4, 0, 0, false, false},  {33, 7, 4, 4, 0, 0, false, false},  {33, 7, 16, 4, 0, 0, false, false},
    {33, 7, 4, 16, 0, 0, false, false},  {40, 30, 4, 4, 3, 2, false, false},  {40, 30, 4, 4, -2, -5, false, false},
    {40, 30, 4, 4, 0, 0, true, false},   {40, 30, 4, 4, 0, 3, false, true},   {40, 30, 4, 4, 0, -3, false, true},
    {1500, 3, 4, 4, 0, 0, false, false}, {700, 97, 4, 4, 0, 0, false, false}, {700, 97, 4, 4, 0, 3, false, false},
    {700, 97, 4, 4, 0, -2, false, false},
  };
  for (const Case& c : cases)
  {
    Rng r((unsigned)(c.w * 7 + c.h + c.x * 3 + c.y));
    LICE_MemBitmap src(c.w, c.h, c.srcAlign);
    std::unique_ptr<LICE_MemBitmap> dest(c.flipped ? new FlippedBitmap(c.w, c.h)
                                                   : new LICE_MemBitmap(c.w, c.h, c.destAlign));
    fill(&src, r);
    fill(dest.get(), r);
    LICE_IBitmap* from = c.self ? dest.get() : &src;
    LICE_MemBitmap before;
    LICE_Copy(&before, from);
    std::vector<LICE_PixelValue> want = pixels(dest.get());
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        if (x + c.x >= 0 && x + c.x < c.w && y + c.y >= 0 && y + c.y < c.h)
          want[(size_t)((y + c.y) * c.w + x + c.x)] = LICE_GetPixel(&before, x, y);
    LICE_Blit(dest.get(), from, c.x, c.y, nullptr, 1.0f, LICE_MODE_COPY);
    ASSERT_EQ(pixels(dest.get()), want) << c.w << "x" << c.h << " at " << c.x << "," << c.y;
  }
}

TEST(FastPaths, OpaqueFillsOfLongRuns)
{
  // Rows without padding are filled as one run, and long runs by the string store:
  // runs around its threshold, unaligned starts, padded and bottom-up bitmaps.
  struct Case
  {
    int w, h, align, x, y, fw, fh;
    bool flipped;
  } cases[] = {
    {40, 30, 4, 0, 0, 40, 30, false},    {40, 30, 4, 0, 3, 40, 20, false},  {32, 32, 4, 0, 0, 32, 32, false},
    {33, 31, 4, 0, 0, 33, 31, false},    {33, 40, 16, 0, 0, 33, 40, false}, {1100, 3, 4, 0, 0, 1100, 3, false},
    {1100, 3, 16, 3, 1, 1030, 2, false}, {1024, 2, 4, 1, 0, 1023, 2, false}, {1023, 2, 4, 0, 0, 1023, 1, false},
    {40, 30, 4, 0, 0, 40, 30, true},
  };
  for (const Case& c : cases)
  {
    std::unique_ptr<LICE_MemBitmap> plain(c.flipped ? new FlippedBitmap(c.w, c.h)
                                                    : new LICE_MemBitmap(c.w, c.h, c.align));
    std::unique_ptr<LICE_MemBitmap> fast(c.flipped ? new FlippedBitmap(c.w, c.h)
                                                   : new LICE_MemBitmap(c.w, c.h, c.align));
    Rng r((unsigned)(c.w * 31 + c.fw));
    fill(plain.get(), r);
    LICE_Copy(fast.get(), plain.get());
    LICE_SetFastPaths(false);
    LICE_FillRect(plain.get(), c.x, c.y, c.fw, c.fh, 0x80C0FFEEu, 1.0f, LICE_MODE_COPY);
    LICE_SetFastPaths(true);
    LICE_FillRect(fast.get(), c.x, c.y, c.fw, c.fh, 0x80C0FFEEu, 1.0f, LICE_MODE_COPY);
    ASSERT_EQ(pixels(fast.get()), pixels(plain.get())) << c.w << "x" << c.h << " fill " << c.fw << "x" << c.fh;
  }
}

TEST(FastPaths, WeightedFillsOfWideRows)
{
  // The weighted copy fill in whole registers: every weight, rows wide enough for
  // several steps, starts at every offset from the register boundary, clipped
  // rectangles, padded and bottom-up bitmaps; colours and pixels from the edges.
  for (unsigned seed = 1; seed <= 1200; ++seed)
  {
    Rng r(seed);
    const int w = r.in(1, 120), h = r.in(1, 5);
    const bool flipped = !r.in(0, 7);
    static const int kAligns[] = {4, 16, 64};
    const int align = r.pick(kAligns);
    std::unique_ptr<LICE_MemBitmap> plain(flipped ? new FlippedBitmap(w, h) : new LICE_MemBitmap(w, h, align));
    std::unique_ptr<LICE_MemBitmap> fast(flipped ? new FlippedBitmap(w, h) : new LICE_MemBitmap(w, h, align));
    fill(plain.get(), r);
    LICE_Copy(fast.get(), plain.get());
    const int weight = seed <= 255 ? (int)seed : r.in(1, 255);
    const int x = r.in(-3, w - 1), y = r.in(-1, h - 1), fw = r.in(1, w + 4), fh = r.in(1, h + 1);
    const LICE_PixelValue color = r.pixel();
    LICE_SetFastPaths(false);
    LICE_FillRect(plain.get(), x, y, fw, fh, color, weight / 256.0f, LICE_MODE_COPY);
    LICE_SetFastPaths(true);
    LICE_FillRect(fast.get(), x, y, fw, fh, color, weight / 256.0f, LICE_MODE_COPY);
    ASSERT_EQ(pixels(fast.get()), pixels(plain.get())) << "seed " << seed;
  }
}

TEST(FastPaths, LongSeededRunHashesToItsConstant)
{
  // FNV-1a over every picture of a long random run. A change here means some
  // operation now draws different bytes: find which before updating the constant.
  uint64_t hash = 1469598103934665603ULL;
  Rng r(20240601);
  LICE_MemBitmap dest(64, 48), src(37, 29);
  fill(&dest, r);
  fill(&src, r);
  for (int i = 0; i < 4000; ++i)
  {
    randomOperation(&dest, &src, r);
    if (i % 50 == 49)
    {
      LICE_Blur(&dest, &dest, r.in(-3, 3), r.in(-3, 3), 0, 0, 64, 48);
      fill(&src, r);
    }
    for (LICE_PixelValue p : pixels(&dest))
      for (int c = 0; c < 4; ++c) hash = (hash ^ ((p >> (8 * c)) & 0xFF)) * 1099511628211ULL;
  }
  EXPECT_EQ(hash, 0x5e11ab8e07ceba0eULL) << std::hex << hash;
}
