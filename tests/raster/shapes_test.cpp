#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "draw_test_util.h"

using namespace draw_test;

namespace {

typedef std::vector<std::string> Picture;

TEST(RectOutlines, BoxAndBorderedBox)
{
  GuardedBitmap b(6, 4);
  LICE_DrawRect(&b, 0, 0, 3, 2, kWhite, 1.0f, 0);
  EXPECT_EQ(picture(b), (Picture{"####..", "#..#..", "####..", "......"}));

  // At half alpha every corner is combined twice: 127, then 63 + 127.
  GuardedBitmap h(6, 4);
  LICE_DrawRect(&h, 0, 0, 3, 2, kWhite, 0.5f, 0);
  EXPECT_EQ(h.at(1, 0), grey(127));
  for (auto c : {std::make_pair(0, 0), {3, 0}, {3, 2}, {0, 2}}) EXPECT_EQ(h.at(c.first, c.second), grey(190));

  GuardedBitmap r(6, 6);
  LICE_BorderedRect(&r, 0, 0, 4, 4, grey(100), kWhite, 1.0f, 0);
  for (int y = 0; y <= 4; y++)
    for (int x = 0; x <= 4; x++) {
      const bool border = x == 0 || y == 0 || x == 4 || y == 4;
      EXPECT_EQ(r.at(x, y), border ? kWhite : grey(100)) << x << "," << y;
    }
  EXPECT_EQ(r.at(5, 5), 0u);
}

struct TrapCase {
  const char* name;
  int x1a, x1b, y1, x2a, x2b, y2;
  int count;
};

TEST(Trapezoids, Cases)
{
  const TrapCase cases[] = {
      {"rectangle 11 x 6", 0, 10, 0, 0, 10, 5, 66},
      {"edges given right to left", 10, 0, 0, 10, 0, 5, 66},
      {"bottom edge first", 0, 10, 5, 0, 10, 0, 66},
      {"single row keeps its first edge", 2, 6, 3, 0, 15, 3, 5},
      {"wholly left", -9, -1, 0, -5, -2, 5, 0},
      {"wholly right", 20, 25, 0, 30, 31, 5, 0},
      {"wholly below", 0, 5, 20, 0, 5, 30, 0},
      {"crossing the left edge", -4, 2, 0, -4, 2, 0, 3},
  };
  for (const auto& c : cases) {
    GuardedBitmap b(20, 12);
    LICE_FillTrapezoid(&b, c.x1a, c.x1b, c.y1, c.x2a, c.x2b, c.y2, kWhite, 1.0f, 0);
    EXPECT_EQ(countSet(b), c.count) << c.name;
    EXPECT_TRUE(b.guardsIntact()) << c.name;
  }
}

TEST(Trapezoids, FarAboveTopIsClippedWithSixtyFourBitProducts)
{
  // Both edges move 131072 pixels over 2^31 rows (4/65536 a row), so the
  // clip at row 0 multiplies 4 by 2^31, beyond 32 bits. Row 0 spans 100..300.
  GuardedBitmap b(400, 3);
  LICE_FillTrapezoid(&b, 100 - 131072, 300 - 131072, INT_MIN, 100, 300, 0, kWhite, 1.0f, 0);
  for (int x = 0; x < 400; x++) EXPECT_EQ(b.at(x, 0), x >= 100 && x <= 300 ? kWhite : 0u) << x;
  EXPECT_EQ(countSet(b), 201);
}

TEST(Polygons, TriangleRowsRoundTowardTheTop)
{
  GuardedBitmap b(12, 12);
  LICE_FillTriangle(&b, 0, 0, 10, 0, 0, 10, kWhite, 1.0f, 0);
  const auto p = picture(b);
  EXPECT_EQ(p[0], "###########.");
  EXPECT_EQ(p[5], "######......");
  EXPECT_EQ(p[10], "#...........");
  EXPECT_EQ(countSet(b), 66);
}

TEST(Polygons, DegenerateAndRedundantPoints)
{
  {
    GuardedBitmap b(12, 4);
    const int x[] = {7, 2, 9, 4}, y[] = {1, 1, 1, 1};
    LICE_FillConvexPolygon(&b, x, y, 4, kWhite, 1.0f, 0);
    EXPECT_EQ(picture(b)[1], "..########..");
    EXPECT_EQ(countSet(b), 8);
  }
  // A duplicated vertex and a vertex in the middle of an edge change nothing.
  GuardedBitmap plain(24, 24), extra(24, 24);
  const int x4[] = {2, 18, 20, 4}, y4[] = {2, 4, 20, 22};
  const int xm[] = {2, 18, 18, 20, 4, 3}, ym[] = {2, 4, 4, 20, 22, 12};
  LICE_FillConvexPolygon(&plain, x4, y4, 4, kWhite, 1.0f, 0);
  LICE_FillConvexPolygon(&extra, xm, ym, 6, kWhite, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&plain, &extra, nullptr), 0);
}

TEST(Polygons, SixHundredPointsFillLikeFour)
{
  // A rectangle given by 150 points along each side.
  std::vector<int> x, y;
  for (int i = 0; i < 150; i++) x.push_back(2 + i * 20 / 150), y.push_back(3);
  for (int i = 0; i < 150; i++) x.push_back(22), y.push_back(3 + i * 12 / 150);
  for (int i = 0; i < 150; i++) x.push_back(22 - i * 20 / 150), y.push_back(15);
  for (int i = 0; i < 150; i++) x.push_back(2), y.push_back(15 - i * 12 / 150);
  GuardedBitmap many(30, 20), four(30, 20);
  LICE_FillConvexPolygon(&many, x.data(), y.data(), (int)x.size(), kWhite, 1.0f, 0);
  const int x4[] = {2, 22, 22, 2}, y4[] = {3, 3, 15, 15};
  LICE_FillConvexPolygon(&four, x4, y4, 4, kWhite, 1.0f, 0);
  EXPECT_EQ(LICE_BitmapCmp(&many, &four, nullptr), 0);
  EXPECT_EQ(countSet(four), 21 * 13);
}

}  // namespace
