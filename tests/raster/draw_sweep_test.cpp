// A seeded sweep of random calls of every drawing operation with random
// coordinates, including negative, huge and non-finite ones, over bitmaps with
// guard bands: nothing may be written outside the bitmap.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "draw_test_util.h"

using namespace draw_test;

namespace {

class Sweep {
 public:
  explicit Sweep(unsigned seed) : rng_(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  int coord(int extent)
  {
    switch (pick(14)) {
      case 0: return std::numeric_limits<int>::min() + pick(3);
      case 1: return std::numeric_limits<int>::max() - pick(3);
      case 2: return std::uniform_int_distribution<int>(-2000000000, 2000000000)(rng_);
      case 3: return std::uniform_int_distribution<int>(-100000, 100000)(rng_);
      default: return std::uniform_int_distribution<int>(-8, extent + 8)(rng_);
    }
  }

  float fcoord(int extent)
  {
    switch (pick(20)) {
      case 0: return NAN;
      case 1: return pick(2) ? INFINITY : -INFINITY;
      case 2: return (pick(2) ? 1 : -1) * std::numeric_limits<float>::max();
      case 3: return std::uniform_real_distribution<float>(-1e30f, 1e30f)(rng_);
      case 4: return std::uniform_real_distribution<float>(-3e9f, 3e9f)(rng_);
      case 5: return std::uniform_real_distribution<float>(-1e5f, 1e5f)(rng_);
      default: return std::uniform_real_distribution<float>(-8.0f, extent + 8.0f)(rng_);
    }
  }

  float radius()
  {
    switch (pick(8)) {
      case 0: return fcoord(40);
      case 1: return std::uniform_real_distribution<float>(0, 1e8f)(rng_);
      case 2: {
        const float masks[] = {1.5f, 2, 2.5f, 3, 3.5f, 4};
        return masks[pick(6)];
      }
      default: return std::uniform_real_distribution<float>(-1.0f, 40.0f)(rng_);
    }
  }

  float alpha()
  {
    const float a[] = {1.0f, 0.5f, 0.25f, 0.75f, 0.0f, -0.5f, 2.0f, 1e9f, NAN, 0.3f, 0.502f};
    return pick(3) ? a[pick(11)] : std::uniform_real_distribution<float>(0.0f, 1.0f)(rng_);
  }

  int mode()
  {
    const int m[] = {0, 1, 2, 3, 4, 5, 6, 0xF0, 0x10000, 0x10003, 0x100, 0x101, 0x10105};
    return m[pick(13)];
  }

  LICE_PixelValue color() { return (LICE_PixelValue)rng_(); }
  double delta() { return pick(6) ? std::uniform_real_distribution<double>(-3, 3)(rng_) : fcoord(1) * 1e3; }

 private:
  std::mt19937 rng_;
};

uint64_t checksum(GuardedBitmap& b)
{
  uint64_t h = 1469598103934665603ull;
  for (int y = 0; y < b.getHeight(); y++)
    for (int x = 0; x < b.getWidth(); x++) h = (h ^ b.at(x, y)) * 1099511628211ull;
  return h;
}

void randomCall(Sweep& s, GuardedBitmap& b, GuardedBitmap& src)
{
  const int W = b.getWidth(), H = b.getHeight();
  const LICE_PixelValue c = s.color();
  const float a = s.alpha();
  const int m = s.mode();
  const bool aa = s.pick(2);
  switch (s.pick(22)) {
    case 0:
      LICE_Line(&b, s.coord(W), s.coord(H), s.coord(W), s.coord(H), c, a, m, aa);
      break;
    case 1:
      LICE_FLine(&b, s.fcoord(W), s.fcoord(H), s.fcoord(W), s.fcoord(H), c, a, m, aa);
      break;
    case 2:
      LICE_DashedLine(&b, s.coord(W), s.coord(H), s.coord(W), s.coord(H), s.coord(6), s.coord(6),
                      c, a, m, aa);
      break;
    case 3: LICE_DrawRect(&b, s.coord(W), s.coord(H), s.coord(W), s.coord(H), c, a, m); break;
    case 4:
      LICE_BorderedRect(&b, s.coord(W), s.coord(H), s.coord(W), s.coord(H), c, s.color(), a, m);
      break;
    case 5:
      LICE_FillTrapezoid(&b, s.coord(W), s.coord(W), s.coord(H), s.coord(W), s.coord(W),
                         s.coord(H), c, a, m);
      break;
    case 6: {
      const int n = s.pick(3) ? 3 + s.pick(6) : s.pick(700);
      std::vector<int> x(n + 1), y(n + 1);
      for (int i = 0; i < n; i++) {
        x[i] = s.pick(2) ? s.coord(W) : s.pick(W + 10) - 5;
        y[i] = s.pick(2) ? s.coord(H) : s.pick(H + 10) - 5;
      }
      LICE_FillConvexPolygon(&b, x.data(), y.data(), n, c, a, m);
      break;
    }
    case 7:
      LICE_FillTriangle(&b, s.coord(W), s.coord(H), s.coord(W), s.coord(H), s.coord(W),
                        s.coord(H), c, a, m);
      break;
    case 8: LICE_Circle(&b, s.fcoord(W), s.fcoord(H), s.radius(), c, a, m, aa); break;
    case 9: LICE_FillCircle(&b, s.fcoord(W), s.fcoord(H), s.radius(), c, a, m, aa); break;
    case 10:
      LICE_Arc(&b, s.fcoord(W), s.fcoord(H), s.radius(), s.fcoord(7) - 4, s.fcoord(7) - 4, c, a, m,
               aa);
      break;
    case 11:
      LICE_RoundRect(&b, s.fcoord(W), s.fcoord(H), s.fcoord(W), s.fcoord(H), s.coord(12), c, a, m,
                     aa);
      break;
    case 12:
      LICE_DrawQBezier(&b, s.fcoord(W), s.fcoord(H), s.fcoord(W), s.fcoord(H), s.fcoord(W),
                       s.fcoord(H), c, a, m, aa, s.pick(2) ? 1e-6f : s.fcoord(3));
      break;
    case 13:
      LICE_DrawCBezier(&b, s.fcoord(W), s.fcoord(H), s.fcoord(W), s.fcoord(H), s.fcoord(W),
                       s.fcoord(H), s.fcoord(W), s.fcoord(H), c, a, m, aa,
                       s.pick(2) ? 1e-6f : s.fcoord(3));
      break;
    case 14:
      LICE_FillCBezier(&b, s.fcoord(W), s.fcoord(H), s.fcoord(W), s.fcoord(H), s.fcoord(W),
                       s.fcoord(H), s.fcoord(W), s.fcoord(H), s.coord(H), c, a, m, s.fcoord(3));
      break;
    case 15:
      LICE_FillCBezierX(&b, s.fcoord(W), s.fcoord(H), s.fcoord(W), s.fcoord(H), s.fcoord(W),
                        s.fcoord(H), s.fcoord(W), s.fcoord(H), s.coord(W), c, a, m, s.fcoord(3));
      break;
    case 16:
      LICE_DeltaBlit(&b, &src, s.coord(W), s.coord(H), s.coord(W), s.coord(H), s.fcoord(20),
                     s.fcoord(20), s.fcoord(20), s.fcoord(20), s.delta(), s.delta(), s.delta(),
                     s.delta(), s.delta() / 10, s.delta() / 10, s.pick(2), a, m);
      break;
    case 17:
      LICE_RotatedBlit(&b, &src, s.coord(W), s.coord(H), s.coord(W), s.coord(H), s.fcoord(20),
                       s.fcoord(20), s.fcoord(20), s.fcoord(20), s.fcoord(7), s.pick(2), a, m,
                       s.fcoord(5), s.fcoord(5));
      break;
    case 18: {
      const int dw = 2 + s.pick(4), dh = 2 + s.pick(4);
      std::vector<float> pts(2 * dw * dh);
      for (float& p : pts) p = s.pick(8) ? s.fcoord(20) : s.fcoord(1e6);
      LICE_TransformBlit(&b, &src, s.coord(W), s.coord(H), s.coord(W), s.coord(H), pts.data(), dw,
                         dh, a, m);
      break;
    }
    case 19: {
      const int gw = s.pick(12), gh = s.pick(12);
      std::vector<unsigned char> mask(gw * gh + 1);
      for (auto& v : mask) v = (unsigned char)s.pick(256);
      LICE_DrawGlyph(&b, s.coord(W), s.coord(H), c, mask.data(), gw, gh, a, m);
      break;
    }
    case 20:
      LICE_SimpleFill(&b, s.coord(W), s.coord(H), c, s.pick(2) ? 0xFFFFFFFF : s.color(),
                      s.color());
      break;
    case 21:
      if (s.pick(2))
        LICE_HalveBlitAA(&b, &src);
      else
        LICE_SetAlphaFromColorMask(&b, c & 0xFFFFFF00);
      break;
  }
}

TEST(DrawSweep, HundredThousandRandomCallsStayInsideTheBitmap)
{
  Sweep s(20261207);
  GuardedBitmap src(23, 17);
  for (int y = 0; y < 17; y++)
    for (int x = 0; x < 23; x++) src.getBits()[y * src.getRowSpan() + x] = 0x01020304u * (x + 7 * y);
  const int sizes[][2] = {{37, 23}, {1, 1}, {2, 9}, {64, 3}};
  for (int round = 0; round < 4; round++) {
    GuardedBitmap b(sizes[round][0], sizes[round][1]);
    const int calls = round == 0 ? 85000 : 5000;
    int changed = 0;
    for (int i = 0; i < calls; i++) {
      const uint64_t before = checksum(b);
      randomCall(s, b, src);
      ASSERT_TRUE(b.guardsIntact()) << "round " << round << " call " << i;
      changed += checksum(b) != before;
    }
    // The sweep is only worth its time if many calls reach the pixels.
    if (round == 0) {
      EXPECT_GT(changed, calls / 5);
    }
  }
  EXPECT_TRUE(src.guardsIntact());
}

TEST(DrawSweep, EmptyAndNullBitmapsDrawNothing)
{
  GuardedBitmap empty(0, 0);
  GuardedBitmap src(4, 4);
  Sweep s(99);
  for (int i = 0; i < 2000; i++) randomCall(s, empty, src);
  EXPECT_TRUE(empty.guardsIntact());
  LICE_Line(nullptr, 0, 0, 5, 5, kWhite, 1, 0, true);
  LICE_FillCircle(nullptr, 3, 3, 2, kWhite, 1, 0, true);
  LICE_DrawCBezier(nullptr, 0, 0, 1, 1, 2, 2, 3, 3, kWhite, 1, 0, true, 1);
  LICE_RotatedBlit(nullptr, &src, 0, 0, 4, 4, 0, 0, 4, 4, 0, false, 1, 0, 0, 0);
  EXPECT_EQ(LICE_BitmapCmp(nullptr, nullptr, nullptr), 0);
}

}  // namespace
