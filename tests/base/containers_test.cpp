#include "base/heapbuf.h"
#include "base/mutex.h"
#include "base/ptrlist.h"
#include "base/wdlstring.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(HeapBuf, GrowthFollowsGranularity)
{
  struct Case { int granul, newSize, alloc; };
  // Small granularity: size plus max(size / 2, granularity).
  // Large granularity: rounded to 4096 pages less 96 bytes of allocator overhead.
  const Case cases[] = {
    {128, 10, 10 + 128},
    {128, 1000, 1000 + 500},
    {4096, 10, ((10 + 4096 + 96) & ~4095) - 96},
    {4096, 20000, ((20000 + 8192 + 96) & ~4095) - 96},
    {65536, 100, ((100 + 65536 + 96) & ~4095) - 96},
    {4096, 20000000, ((20000000 + 4194304 + 96) & ~4095) - 96},
  };
  for (const Case& c : cases)
  {
    WDL_HeapBuf hb(c.granul);
    ASSERT_NE(hb.Resize(c.newSize), nullptr);
    EXPECT_EQ(hb.GetSize(), c.newSize);
    EXPECT_EQ(hb.GetAllocated(), c.alloc) << c.granul << " " << c.newSize;
  }
}

TEST(HeapBuf, ShrinkOnlyWhenFarBelowAllocation)
{
  WDL_HeapBuf hb(128);
  hb.Resize(10000);
  const int alloc = hb.GetAllocated();
  memset(hb.Get(), 0x5a, 10000);
  hb.Resize(8000, true);  // above half the allocation (15000): kept
  EXPECT_EQ(hb.GetAllocated(), alloc);
  hb.Resize(100, false);  // no shrinking asked for
  EXPECT_EQ(hb.GetAllocated(), alloc);
  hb.Resize(200, true);  // growing within the allocation
  EXPECT_EQ(hb.GetAllocated(), alloc);
  hb.Resize(50, true);
  EXPECT_LT(hb.GetAllocated(), alloc);
  EXPECT_EQ(((unsigned char*)hb.Get())[49], 0x5a);
  EXPECT_EQ(hb.Resize(0), nullptr);
  EXPECT_EQ(hb.GetSize(), 0);
}

TEST(TypedBuf, AddInsertDeleteAndOversize)
{
  WDL_TypedBuf<int> b(16);
  for (int i = 0; i < 5; ++i) b.Add(i);
  b.Insert(99, 2);
  b.Delete(0);
  const std::vector<int> want = {1, 99, 2, 3, 4};
  ASSERT_EQ(b.GetSize(), 5);
  EXPECT_EQ(std::vector<int>(b.Get(), b.Get() + 5), want);
  b.Delete(17);  // out of range: nothing
  EXPECT_EQ(b.GetSize(), 5);
  EXPECT_FALSE(b.ResizeOK(0x7fffffff));  // byte count would not fit an int
  EXPECT_EQ(b.GetSize(), 5);
}

struct Counted
{
  static std::vector<int> order;
  int id;
  explicit Counted(int i) : id(i) {}
  ~Counted() { order.push_back(id); }
};
std::vector<int> Counted::order;

TEST(PtrList, EmptyDeletesLastToFirst)
{
  WDL_PtrList<Counted> l;
  for (int i = 0; i < 4; ++i) l.Add(new Counted(i));
  l.Insert(1, new Counted(7));
  EXPECT_EQ(l.Get(1)->id, 7);
  EXPECT_EQ(l.Get(5), nullptr);
  EXPECT_EQ(l.Get(-1), nullptr);
  Counted::order.clear();
  l.Empty(true);
  EXPECT_EQ(Counted::order, (std::vector<int>{3, 2, 1, 7, 0}));
  EXPECT_EQ(l.GetSize(), 0);
}

TEST(PtrList, FindDeleteInsertBounds)
{
  int a, b, c;
  WDL_PtrList<int> l;
  l.Add(&a);
  l.Add(&b);
  l.Insert(99, &c);  // past the end appends
  l.Insert(-3, &c);  // before the start prepends
  EXPECT_EQ(l.GetSize(), 4);
  EXPECT_EQ(l.Find(&c), 0);
  EXPECT_TRUE(l.DeletePtr(&c));
  EXPECT_EQ(l.Find(&c), 2);
  l.Delete(10);
  EXPECT_EQ(l.GetSize(), 3);
}

TEST(WdlString, SetAppendInsertDelete)
{
  WDL_String s;
  EXPECT_STREQ(s.Get(), "");
  s.Set("hello world", 5);
  EXPECT_STREQ(s.Get(), "hello");
  s.Append(s.Get());  // appending itself survives the reallocation
  EXPECT_STREQ(s.Get(), "hellohello");
  s.Insert("--", 5);
  EXPECT_STREQ(s.Get(), "hello--hello");
  s.Insert("<", 100);
  EXPECT_STREQ(s.Get(), "hello--hello<");
  s.DeleteSub(5, 2);
  EXPECT_STREQ(s.Get(), "hellohello<");
  s.DeleteSub(8, 100);
  EXPECT_STREQ(s.Get(), "hellohel");
  s.SetLen(4);
  EXPECT_STREQ(s.Get(), "hell");
  s.SetFormatted(6, "%d-%s", 12345, "abc");
  EXPECT_STREQ(s.Get(), "12345-");
  s.AppendFormatted(32, "%02x", 10);
  EXPECT_STREQ(s.Get(), "12345-0a");
  s.Set(nullptr);
  EXPECT_EQ(s.GetLength(), 0);
  WDL_String t(s);
  EXPECT_STREQ(t.Get(), "");
}

TEST(Mutex, RecursiveEntryAndExclusion)
{
  WDL_Mutex m;
  m.Enter();
  m.Enter();
  EXPECT_EQ(m.GetRecursionDepth(), 2);
  EXPECT_EQ(m.GetEnterCount(), 2);
  std::atomic<bool> got{false};
  std::thread t([&] { got = m.TryEnter(); if (got) m.Leave(); });
  t.join();
  EXPECT_FALSE(got);  // held by this thread, even after one Leave
  m.Leave();
  std::thread t2([&] { got = m.TryEnter(); if (got) m.Leave(); });
  t2.join();
  EXPECT_FALSE(got);
  m.Leave();
  EXPECT_EQ(m.GetEnterCount(), 0);
  std::thread t3([&] { got = m.TryEnter(); if (got) m.Leave(); });
  t3.join();
  EXPECT_TRUE(got);
}

TEST(Mutex, CountersStayConsistentUnderContention)
{
  WDL_Mutex m;
  long counter = 0;
  std::vector<std::thread> ts;
  for (int t = 0; t < 4; ++t)
    ts.emplace_back([&] {
      for (int i = 0; i < 20000; ++i)
      {
        WDL_MutexLock outer(&m);
        WDL_MutexLock inner(&m);
        ++counter;
      }
    });
  for (auto& t : ts) t.join();
  EXPECT_EQ(counter, 80000);
  EXPECT_EQ(m.GetEnterCount(), 0);
}
