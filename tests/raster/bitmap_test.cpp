#include "raster/lice.h"
#include "raster_test_util.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

// Reads the fields the bitmap classes keep to themselves.
class MemProbe : public LICE_MemBitmap
{
public:
  using LICE_MemBitmap::LICE_MemBitmap;
  int capacity() const { return m_allocsize; }
  void* buffer() const { return m_fb; }
};

bool aligned64(const void* p)
{
  return ((uintptr_t)p & 63) == 0;
}

}  // namespace

TEST(MemBitmap, EmptyAllocatesNothing)
{
  MemProbe b(0, 0);
  EXPECT_EQ(b.getWidth(), 0);
  EXPECT_EQ(b.getHeight(), 0);
  EXPECT_EQ(b.getRowSpan(), 0);
  EXPECT_EQ(b.getBits(), nullptr);
  EXPECT_EQ(b.buffer(), nullptr);
  EXPECT_FALSE(b.isFlipped());
  EXPECT_EQ(b.getDC(), nullptr);
  EXPECT_EQ(b.Extended(1, nullptr), 0);
}

TEST(MemBitmap, RowsAreRoundedAndTheFirstPixelAligned)
{
  MemProbe b(5, 2);
  EXPECT_EQ(b.getRowSpan(), 8);
  EXPECT_EQ(b.capacity(), 8 * 2 * 4);
  EXPECT_TRUE(aligned64(b.getBits()));
  EXPECT_GE((char*)b.getBits(), (char*)b.buffer());
  EXPECT_LT((char*)b.getBits(), (char*)b.buffer() + 64);

  struct Align
  {
    unsigned int linealign;
    int span;  // for a width of 5
  };
  // The mask is the lowest set bit of linealign less one, at most 16.
  const Align aligns[] = {{0, 5}, {1, 5}, {2, 6}, {4, 8}, {6, 6}, {8, 8}, {16, 16}, {32, 5}, {64, 5}};
  for (const Align& a : aligns) EXPECT_EQ(MemProbe(5, 1, a.linealign).getRowSpan(), a.span) << a.linealign;
  EXPECT_EQ(MemProbe(17, 1, 32).getRowSpan(), 33);
}

TEST(MemBitmap, ResizeKeepsGrowsAndFrees)
{
  MemProbe b(100, 100);
  void* first = b.buffer();
  EXPECT_EQ(b.capacity(), 40000);
  EXPECT_FALSE(b.resize(100, 100));
  EXPECT_TRUE(b.resize(50, 50));
  EXPECT_EQ(b.buffer(), first);
  EXPECT_EQ(b.capacity(), 40000);
  EXPECT_TRUE(b.resize(100, 100));
  EXPECT_EQ(b.buffer(), first);
  EXPECT_TRUE(b.resize(200, 200));
  EXPECT_EQ(b.capacity(), 200 * 200 * 4 + 200 * 200 * 4 / 4);
  EXPECT_TRUE(aligned64(b.getBits()));
  b.getBits()[200 * 200 - 1] = 7;  // the whole picture is addressable

  EXPECT_TRUE(b.resize(0, 10));
  EXPECT_EQ(b.getWidth(), 0);
  EXPECT_EQ(b.getHeight(), 0);
  EXPECT_EQ(b.getBits(), nullptr);
  EXPECT_EQ(b.capacity(), 0);
}

TEST(MemBitmap, NegativeAndAbsurdSizesAreEmpty)
{
  // Two negative sizes must not multiply into a buffer.
  MemProbe neg(-5, -5);
  EXPECT_EQ(neg.getWidth(), 0);
  EXPECT_EQ(neg.getHeight(), 0);
  EXPECT_EQ(neg.getBits(), nullptr);

  // 65536 x 65537 x 4 wraps in 32 bits; the size is refused instead.
  MemProbe big(65536, 65537);
  EXPECT_EQ(big.getWidth(), 0);
  EXPECT_EQ(big.getBits(), nullptr);
  MemProbe huge(10, 10);
  EXPECT_TRUE(huge.resize(INT_MAX, INT_MAX));
  EXPECT_EQ(huge.getWidth(), 0);
  EXPECT_EQ(huge.getBits(), nullptr);
  MemProbe edge(8192, 8192);  // exactly 256 MiB is allowed
  EXPECT_NE(edge.getBits(), nullptr);
  EXPECT_TRUE(edge.resize(8192, 8193));
  EXPECT_EQ(edge.getBits(), nullptr);

  // Drawing on any of them does nothing.
  LICE_FillRect(&big, 0, 0, 10, 10, 0xFFFFFFFF, 1.0f, 0);
  EXPECT_EQ(LICE_GetPixel(&big, 0, 0), 0u);
}

TEST(SysBitmap, KeepsItsContextForSmallerSizes)
{
  LICE_SysBitmap b(10, 10);
  EXPECT_EQ(b.getRowSpan(), 12);
  ASSERT_NE(b.getDC(), nullptr);
  EXPECT_EQ((void*)b.getBits(), SWELL_GetCtxFrameBuffer(b.getDC()));
  EXPECT_TRUE(aligned64(b.getBits()));
  for (int i = 0; i < 12 * 10; ++i) EXPECT_EQ(b.getBits()[i], 0u);  // zero-filled

  HDC dc = b.getDC();
  EXPECT_TRUE(b.resize(8, 8));
  EXPECT_EQ(b.getDC(), dc);
  EXPECT_EQ(b.getRowSpan(), 12);
  EXPECT_EQ(b.getWidth(), 8);

  EXPECT_TRUE(b.resize(13, 8));
  EXPECT_EQ(b.getRowSpan(), 16);
  ASSERT_NE(b.getDC(), nullptr);
  EXPECT_EQ(CGBitmapContextGetWidth(SWELL_GetCtxGC(b.getDC())), 16u);
  EXPECT_EQ(CGBitmapContextGetHeight(SWELL_GetCtxGC(b.getDC())), 8u);
  EXPECT_FALSE(b.resize(13, 8));
}

TEST(SysBitmap, ResizeToNothingDeletesTheContextAndAllocatesNothing)
{
  LICE_SysBitmap b(10, 10);
  EXPECT_FALSE(b.resize(0, 0));  // the size changed, but nothing was allocated
  EXPECT_EQ(b.getDC(), nullptr);
  EXPECT_EQ(b.getBits(), nullptr);
  EXPECT_FALSE(b.resize(0, 0));

  LICE_SysBitmap n(-3, 4);  // negative sizes are empty
  EXPECT_EQ(n.getWidth(), 0);
  EXPECT_EQ(n.getBits(), nullptr);
  LICE_SysBitmap big(65536, 65537);
  EXPECT_EQ(big.getWidth(), 0);
  EXPECT_EQ(big.getDC(), nullptr);
}

TEST(SysBitmap, PixelsAreTheContextsFrameBuffer)
{
  LICE_SysBitmap b(3, 2);
  LICE_FillRect(&b, 0, 0, 1, 1, LICE_MakePixel(1, 2, 3, 4), 1.0f, 0);
  const unsigned char* fb = (const unsigned char*)SWELL_GetCtxFrameBuffer(b.getDC());
  EXPECT_EQ(fb[0], 4);  // the byte the display ignores
  EXPECT_EQ(fb[1], 1);
  EXPECT_EQ(fb[2], 2);
  EXPECT_EQ(fb[3], 3);
  LICE_PutPixel(&b, 0, 1, 0xFFFFFFFF, 1.0f, 0);
  EXPECT_EQ(fb[4 * 4], 0xFF);  // row 1 starts one span (4 pixels) later
}
