#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool sameRect(const RECT& a, const RECT& b)
{
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string str(const RECT& r)
{
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

}  // namespace

TEST(MulDiv, TruncatesTowardZeroAndRefusesZeroDivisorAndOverflow)
{
  struct Case { int a, b, c, want; };
  const Case cases[] = {
    {7, 3, 2, 10},  // 10.5 truncated, not rounded
    {1, 1, 0, 0},
    {-7, 3, 2, -10},
    {7, -3, 2, -10},
    {-7, -3, -2, -10},
    {100, 100, 3, 3333},
    {1000000, 1000000, 1000000, 1000000},  // no overflow in the middle
    {65536, 65536, 2, -1},                 // 2^31 does not fit
    {INT_MIN, 1, 1, INT_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
  EXPECT_EQ(_controlfp(0x1234, 0xFFFF), 0u);
}

TEST(Rects, PointInRect)
{
  const RECT r{10, 20, 30, 40};
  const RECT flipped{10, 40, 30, 20};  // top below bottom
  struct Case { const RECT* r; POINT p; BOOL want; };
  const Case cases[] = {
    {&r, {10, 20}, TRUE},    {&r, {29, 39}, TRUE},   {&r, {30, 25}, FALSE}, {&r, {15, 40}, FALSE},
    {&r, {9, 25}, FALSE},    {&r, {15, 19}, FALSE},  {&flipped, {15, 20}, TRUE}, {&flipped, {15, 39}, TRUE},
    {&flipped, {15, 40}, FALSE}, {nullptr, {15, 25}, FALSE},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SWELL_PtInRect(c.r, c.p), c.want) << (c.r ? str(*c.r) : "null") << " " << c.p.x << "," << c.p.y;
}

TEST(Rects, OffsetAndSet)
{
  RECT r{1, 2, 3, 4};
  EXPECT_TRUE(WinOffsetRect(&r, 10, -20));
  EXPECT_TRUE(sameRect(r, RECT{11, -18, 13, -16})) << str(r);
  EXPECT_TRUE(WinSetRect(&r, 5, 6, 7, 8));
  EXPECT_TRUE(sameRect(r, RECT{5, 6, 7, 8})) << str(r);
  EXPECT_FALSE(WinOffsetRect(nullptr, 1, 1));
  EXPECT_FALSE(WinSetRect(nullptr, 1, 1, 1, 1));
}

TEST(Rects, IntersectAndUnion)
{
  struct Case { RECT a, b; BOOL nonEmpty; RECT inter, uni; };
  const Case cases[] = {
    {{0, 0, 10, 10}, {5, 5, 15, 15}, TRUE, {5, 5, 10, 10}, {0, 0, 15, 15}},
    {{0, 0, 10, 10}, {10, 0, 20, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 20, 10}},  // touching
    {{0, 0, 10, 10}, {0, 10, 10, 20}, FALSE, {0, 0, 0, 0}, {0, 0, 10, 20}},
    {{0, 0, 10, 10}, {20, 20, 30, 30}, FALSE, {0, 0, 0, 0}, {0, 0, 30, 30}},
    {{0, 0, 10, 10}, {2, 3, 4, 5}, TRUE, {2, 3, 4, 5}, {0, 0, 10, 10}},
    {{5, 5, 5, 9}, {0, 0, 10, 10}, FALSE, {0, 0, 0, 0}, {0, 0, 10, 10}},  // empty a
    {{0, 0, 10, 10}, {8, 8, 2, 2}, FALSE, {0, 0, 0, 0}, {0, 0, 10, 10}},  // inverted b
    {{50, 50, 60, 60}, {8, 8, 2, 2}, FALSE, {0, 0, 0, 0}, {8, 8, 60, 60}},  // empty inputs count in unions
  };
  for (const Case& c : cases)
  {
    RECT dst{-1, -1, -1, -1};
    EXPECT_EQ(WinIntersectRect(&dst, &c.a, &c.b), c.nonEmpty) << str(c.a) << " " << str(c.b);
    EXPECT_TRUE(sameRect(dst, c.inter)) << str(c.a) << " " << str(c.b) << " -> " << str(dst);
    WinUnionRect(&dst, &c.a, &c.b);
    EXPECT_TRUE(sameRect(dst, c.uni)) << str(c.a) << " " << str(c.b) << " -> " << str(dst);
    // The destination may be one of the inputs.
    RECT self = c.a;
    EXPECT_EQ(WinIntersectRect(&self, &self, &c.b), c.nonEmpty);
    EXPECT_TRUE(sameRect(self, c.inter)) << "in place: " << str(self);
    self = c.b;
    WinUnionRect(&self, &c.a, &self);
    EXPECT_TRUE(sameRect(self, c.uni)) << "in place: " << str(self);
  }
  RECT dst{1, 1, 1, 1};
  const RECT a{0, 0, 10, 10};
  EXPECT_FALSE(WinIntersectRect(&dst, &a, nullptr));
  EXPECT_FALSE(WinIntersectRect(nullptr, &a, &a));
  WinUnionRect(nullptr, &a, &a);
  WinUnionRect(&dst, nullptr, &a);
}

TEST(Strings, LstrcpynBoundsTheCopy)
{
  struct Case { const char* src; int n; const char* want; };
  const Case cases[] = {
    {"abcdef", 4, "abc"}, {"abcdef", 1, ""}, {"abcdef", 0, "untouched"}, {"abcdef", -3, "untouched"},
    {"abcdef", 7, "abcdef"}, {"abcdef", 100, "abcdef"}, {"", 5, ""}, {nullptr, 5, ""},
  };
  for (const Case& c : cases)
  {
    char dst[16];
    strcpy(dst, "untouched");
    EXPECT_EQ(lstrcpyn(dst, c.src, c.n), dst);
    EXPECT_STREQ(dst, c.want) << (c.src ? c.src : "(null)") << " " << c.n;
  }
  char small[4] = {'x', 'x', 'x', 'x'};
  lstrcpyn(small, "abcdef", sizeof(small));
  EXPECT_EQ(memcmp(small, "abc", 4), 0);  // three bytes and the NUL, no byte beyond
  EXPECT_EQ(lstrcpyn(nullptr, "abc", 4), nullptr);
}

TEST(GlobalMemory, BlocksKeepTheirSizeAndLockCount)
{
  struct Case { int size; bool made; };
  const Case cases[] = {{0, true}, {1, true}, {100, true}, {65536, true}, {-1, false}, {INT_MIN, false}};
  for (const Case& c : cases)
  {
    HANDLE h = GlobalAlloc(0x42, c.size);
    EXPECT_EQ(h != nullptr, c.made) << c.size;
    if (!h) continue;
    EXPECT_EQ(GlobalSize(h), c.size);
    char* p = static_cast<char*>(GlobalLock(h));
    EXPECT_EQ(p, h);  // the handle is the data address
    if (c.size) memset(p, 0xAB, size_t(c.size));
    GlobalUnlock(h);
    GlobalUnlock(h);  // one unlock too many must not harm the block
    EXPECT_EQ(GlobalSize(h), c.size);
    GlobalFree(h);
  }
  EXPECT_EQ(GlobalSize(nullptr), 0);
  EXPECT_EQ(GlobalLock(nullptr), nullptr);
  GlobalUnlock(nullptr);
  GlobalFree(nullptr);
}

TEST(FileTimes, SecondsBecomeHundredNanosecondsSince1601)
{
  char path[] = "/tmp/winsys_filetime_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  // access 1,000,000,000 s and modification 0 s after 1970.
  const timespec times[2] = {{1000000000, 0}, {0, 0}};
  ASSERT_EQ(futimens(fd, times), 0);
  FILETIME creation{}, access{}, write{};
  EXPECT_TRUE(GetFileTime(fd, &creation, &access, &write));
  EXPECT_EQ(write.dwLowDateTime, 0xD53E8000u);  // 116444736000000000
  EXPECT_EQ(write.dwHighDateTime, 0x019DB1DEu);
  EXPECT_EQ(access.dwLowDateTime, 0x44FF8000u);  // 126444736000000000
  EXPECT_EQ(access.dwHighDateTime, 0x01C138D1u);
  EXPECT_GT(creation.dwHighDateTime, 0x01DA1747u);  // status changed just now, after 2023
  EXPECT_TRUE(GetFileTime(fd, nullptr, nullptr, &write));
  close(fd);
  unlink(path);
  EXPECT_FALSE(GetFileTime(fd, &creation, &access, &write));  // closed
  EXPECT_FALSE(GetFileTime(-1, &creation, &access, &write));
}

TEST(Guids, AreRandomVersion4)
{
  std::set<std::string> seen;
  for (int i = 0; i < 64; ++i)
  {
    unsigned char b[16];
    GUID g;
    SWELL_GenerateGUID(&g);
    memcpy(b, &g, 16);
    EXPECT_EQ(b[6] >> 4, 4);
    EXPECT_EQ(b[8] & 0xC0, 0x80);
    seen.insert(std::string(reinterpret_cast<char*>(b), 16));
  }
  EXPECT_EQ(seen.size(), 64u);
  SWELL_GenerateGUID(nullptr);
}
