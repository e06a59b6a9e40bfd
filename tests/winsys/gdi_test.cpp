#include "winsys/gdi.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <atomic>
#include <thread>
#include <vector>

namespace {

HGDIOBJ kind(int k)
{
  return (HGDIOBJ)(uintptr_t)k;
}

COLORREF rgb(int r, int g, int b)
{
  return r << 16 | g << 8 | b;
}

}  // namespace

TEST(MemContext, PixelsAreAlignedZeroedAndTopDown)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 5, 3);
  ASSERT_NE(dc, nullptr);
  unsigned char* fb = (unsigned char*)SWELL_GetCtxFrameBuffer(dc);
  ASSERT_NE(fb, nullptr);
  EXPECT_EQ((uintptr_t)fb % 64, 0u);
  EXPECT_GE(fb, (unsigned char*)dc->ownedBuffer);
  EXPECT_LT(fb, (unsigned char*)dc->ownedBuffer + 64);
  for (int i = 0; i < 5 * 3 * 4; ++i) EXPECT_EQ(fb[i], 0) << i;

  CGContextRef gc = SWELL_GetCtxGC(dc);
  ASSERT_NE(gc, nullptr);
  EXPECT_EQ(CGBitmapContextGetData(gc), (void*)fb);
  EXPECT_EQ(CGBitmapContextGetWidth(gc), 5u);
  EXPECT_EQ(CGBitmapContextGetHeight(gc), 3u);
  EXPECT_EQ(CGBitmapContextGetBytesPerRow(gc), 20u);  // exactly w pixels a row
  EXPECT_EQ(CGBitmapContextGetBitmapInfo(gc), (uint32_t)kCGImageAlphaNoneSkipFirst);
  // y grows downward: the transform maps (x, y) to (x, h - y) and back.
  const CGAffineTransform m = CGContextGetCTM(gc);
  EXPECT_EQ(m.a, 1);
  EXPECT_EQ(m.d, -1);
  EXPECT_EQ(m.ty, 3);

  EXPECT_EQ(GetTextColor(dc), 0);
  EXPECT_EQ(dc->curbkmode, 0);
  EXPECT_EQ(dc->curpen, nullptr);
  EXPECT_EQ(dc->curbrush, nullptr);
  EXPECT_EQ(dc->curfont, nullptr);
  const CGFloat* black = CGColorGetComponents(dc->curtextcolor);
  ASSERT_NE(black, nullptr);
  EXPECT_EQ(black[0] + black[1] + black[2], 0);
  EXPECT_EQ(black[3], 1);
  SWELL_DeleteGfxContext(dc);
}

TEST(MemContext, BadSizesGiveNull)
{
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, -1, 10), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 10, -1), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, -65536, -65536), nullptr);  // positive product
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 0, 10), nullptr);
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, 65536, 65537), nullptr);     // wraps in 32 bits
  EXPECT_EQ(SWELL_CreateMemContext(nullptr, INT_MAX, INT_MAX), nullptr);
}

TEST(MemContext, DeletedContextsAreIgnored)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
  ASSERT_NE(dc, nullptr);
  SWELL_DeleteGfxContext(dc);
  EXPECT_TRUE(dc->freed);  // the record stays readable in its pool
  SetTextColor(dc, rgb(1, 2, 3));
  SetBkColor(dc, 5);
  SetBkMode(dc, 1);
  EXPECT_EQ(GetTextColor(dc), -1);
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(dc), nullptr);
  EXPECT_EQ(SWELL_GetCtxGC(dc), nullptr);
  EXPECT_EQ(SelectObject(dc, GetStockObject(1)), nullptr);
  // The record itself saw none of those writes.
  EXPECT_EQ(dc->curtextcol, 0);
  EXPECT_EQ(dc->curbkcol, 0);
  EXPECT_EQ(dc->curbkmode, 0);
  EXPECT_EQ(dc->curpen, nullptr);
  EXPECT_EQ(dc->curtextcolor, nullptr);
  SWELL_DeleteGfxContext(dc);  // twice: ignored
  EXPECT_TRUE(dc->freed);
  SWELL_DeleteGfxContext(nullptr);
  EXPECT_EQ(GetTextColor(nullptr), -1);
  EXPECT_EQ(SWELL_GetCtxFrameBuffer(nullptr), nullptr);
}

TEST(MemContext, ColoursAreStored)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 1, 1);
  SetTextColor(dc, rgb(255, 128, 0));
  EXPECT_EQ(GetTextColor(dc), rgb(255, 128, 0));
  const CGFloat* c = CGColorGetComponents(dc->curtextcolor);
  EXPECT_EQ(c[0], 1.0);
  EXPECT_EQ(c[1], 128 / 255.0);
  EXPECT_EQ(c[2], 0.0);
  EXPECT_EQ(c[3], 1.0);
  SetBkColor(dc, rgb(1, 2, 3));
  SetBkMode(dc, 1);
  EXPECT_EQ(dc->curbkcol, rgb(1, 2, 3));
  EXPECT_EQ(dc->curbkmode, 1);
  SWELL_DeleteGfxContext(dc);
}

TEST(SelectObject, ReturnsThePreviousObjectOrItsKind)
{
  HDC dc = SWELL_CreateMemContext(nullptr, 1, 1);
  HFONT font = CreateFont(-12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Mono");
  HFONT font2 = CreateFont(-14, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Mono");
  HPEN pen = CreatePen(0, 2, rgb(1, 2, 3));
  HBRUSH brush = CreateSolidBrush(rgb(4, 5, 6));

  EXPECT_EQ(SelectObject(dc, font), kind(SWELL_GDI_FONT));  // nothing selected before
  EXPECT_EQ(SelectObject(dc, font2), font);
  EXPECT_EQ(SelectObject(dc, font2), font2);  // already selected
  EXPECT_EQ(SelectObject(dc, kind(SWELL_GDI_FONT)), font2);
  EXPECT_EQ(dc->curfont, nullptr);
  EXPECT_EQ(SelectObject(dc, kind(SWELL_GDI_FONT)), kind(SWELL_GDI_FONT));  // nothing to give back

  EXPECT_EQ(SelectObject(dc, pen), kind(SWELL_GDI_PEN));
  EXPECT_EQ(SelectObject(dc, pen), pen);
  EXPECT_EQ(SelectObject(dc, brush), kind(SWELL_GDI_BRUSH));
  EXPECT_EQ(dc->curpen, pen);
  EXPECT_EQ(dc->curbrush, brush);
  // The null pen may be selected, but is not handed back as an object.
  EXPECT_EQ(SelectObject(dc, GetStockObject(1)), pen);
  EXPECT_EQ(SelectObject(dc, pen), kind(SWELL_GDI_PEN));

  // Deleting a selected object leaves a freed record in the slot; it is no object.
  DeleteObject(brush);
  EXPECT_EQ(SelectObject(dc, kind(SWELL_GDI_BRUSH)), kind(SWELL_GDI_BRUSH));

  EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
  EXPECT_EQ(SelectObject(dc, kind(4)), nullptr);
  EXPECT_EQ(SelectObject(dc, brush), nullptr);  // freed
  EXPECT_EQ(SelectObject(nullptr, pen), nullptr);

  DeleteObject(font);
  DeleteObject(font2);
  DeleteObject(pen);
  SWELL_DeleteGfxContext(dc);
}

TEST(GdiObjects, PensBrushesAndTheirColours)
{
  HPEN pen = CreatePenAlpha(7, -3, rgb(255, 0, 51), 0.25f);
  EXPECT_EQ(pen->type, SWELL_GDI_PEN);
  EXPECT_EQ(pen->wid, 0);  // negative widths are stored as 0
  const CGFloat* c = CGColorGetComponents(pen->color);
  EXPECT_EQ(c[0], 1.0);
  EXPECT_EQ(c[1], 0.0);
  EXPECT_EQ(c[2], 51 / 255.0);
  EXPECT_EQ(c[3], 0.25);
  HBRUSH brush = CreateSolidBrushAlpha(0x7F000000 | rgb(0, 255, 0), 0.5f);  // the top byte is ignored
  EXPECT_EQ(brush->type, SWELL_GDI_BRUSH);
  EXPECT_EQ(brush->wid, 0);
  c = CGColorGetComponents(brush->color);
  EXPECT_EQ(c[0], 0.0);
  EXPECT_EQ(c[1], 1.0);
  EXPECT_EQ(c[3], 0.5);
  HPEN wide = CreatePen(0, 5, 0);
  EXPECT_EQ(wide->wid, 5);
  DeleteObject(wide);
  DeleteObject(pen);
  DeleteObject(brush);
}

TEST(GdiObjects, ClonesCountReferences)
{
  HBRUSH b = CreateSolidBrush(rgb(1, 1, 1));
  EXPECT_EQ(SWELL_CloneGDIObject(b), b);
  DeleteObject(b);  // drops the extra reference only
  EXPECT_FALSE(b->freed);
  DeleteObject(b);
  EXPECT_TRUE(b->freed);
  DeleteObject(b);  // a third time: nothing
  EXPECT_TRUE(b->freed);
  EXPECT_EQ(SWELL_CloneGDIObject(b), nullptr);
  EXPECT_EQ(SWELL_CloneGDIObject(kind(3)), nullptr);
  DeleteObject(nullptr);
  DeleteObject(kind(2));
}

TEST(GdiObjects, StockObjectsAreNeverFreed)
{
  HGDIOBJ nullPen = GetStockObject(1), nullBrush = GetStockObject(2);
  ASSERT_NE(nullPen, nullptr);
  EXPECT_EQ(nullPen->type, SWELL_GDI_PEN);
  EXPECT_EQ(nullPen->wid, -1);
  EXPECT_EQ(nullBrush->type, SWELL_GDI_BRUSH);
  EXPECT_EQ(nullBrush->wid, -1);
  DeleteObject(nullPen);
  EXPECT_FALSE(nullPen->freed);
  EXPECT_EQ(GetStockObject(1), nullPen);
  EXPECT_EQ(GetStockObject(0), nullptr);
  EXPECT_EQ(GetStockObject(3), nullptr);
  EXPECT_EQ(GetStockObject(-1), nullptr);
}

TEST(GdiObjects, FontHandlesKeepTheirRequest)
{
  struct Case
  {
    int height, width;
    float size;
  };
  const Case sizes[] = {{-12, 0, 12}, {0, 0, 10}, {1, 0, 10}, {9000, 0, 10}, {8192, 0, 8192}, {0, -20, 20},
                        {INT_MIN, 0, 10}};
  for (const Case& c : sizes)
  {
    HFONT f = CreateFont(c.height, c.width, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Face");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->type, SWELL_GDI_FONT);
    EXPECT_EQ(f->fontSize, c.size) << c.height;
    DeleteObject(f);
  }
  HFONT f = CreateFont(10, 0, 0, 450, 700, 1, 0, 0, 0, 0, 0, 5, 0, "Mono");
  EXPECT_STREQ(f->faceName, "Mono Bold Italic");
  EXPECT_EQ(f->rotation, 45.0f);
  EXPECT_EQ(f->quality, 0);  // only 3 and 4 are kept
  DeleteObject(f);
  f = CreateFont(10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 4, 0, "");
  EXPECT_STREQ(f->faceName, "");
  EXPECT_EQ(f->quality, 4);
  DeleteObject(f);
  f = CreateFont(10, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 3, 0, nullptr);
  EXPECT_STREQ(f->faceName, "");
  EXPECT_EQ(f->quality, 3);
  DeleteObject(f);
  const std::string longName(2000, 'x');
  f = CreateFont(10, 0, 0, 0, 700, 0, 0, 0, 0, 0, 0, 0, 0, longName.c_str());
  EXPECT_EQ(strlen(f->faceName), 899u + strlen(" Bold"));
  DeleteObject(f);
}

TEST(GdiObjects, DeletedRecordsAreReusedOnlyAfterManyMore)
{
  // Bring the object pool to a known size, whatever earlier tests left there:
  // above the rule, creation takes records back.
  std::vector<HBRUSH> held;
  while (SWELL_GdiFreeRecordCount(false) > 8192) held.push_back(CreateSolidBrush(0));
  const int start = SWELL_GdiFreeRecordCount(false);
  // At or below 8192 waiting records every creation is a fresh record.
  std::vector<HBRUSH> batch;
  for (int i = start; i < 8193; ++i) batch.push_back(CreateSolidBrush(i));
  ASSERT_EQ(SWELL_GdiFreeRecordCount(false), start);
  for (HBRUSH b : batch) DeleteObject(b);
  ASSERT_EQ(SWELL_GdiFreeRecordCount(false), 8193);
  // 8193 waiting: the next creation reuses the oldest, which leaves 8192.
  HBRUSH reused = CreateSolidBrush(1);
  EXPECT_EQ(SWELL_GdiFreeRecordCount(false), 8192);
  EXPECT_FALSE(reused->freed);
  if (start == 0)
  {
    EXPECT_EQ(reused, batch.front());
  }
  HBRUSH fresh = CreateSolidBrush(2);
  EXPECT_EQ(SWELL_GdiFreeRecordCount(false), 8192);
  EXPECT_NE(fresh, batch.back());  // the newest deletion is not handed out
  EXPECT_TRUE(batch.back()->freed);
  DeleteObject(reused);
  DeleteObject(fresh);
  for (HBRUSH b : held) DeleteObject(b);
}

TEST(GdiObjects, PoolsServeManyThreads)
{
  // Records are reused from shared pools: a record handed to two threads at once
  // would show up as a context that already has a pen selected.
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&failures] {
      for (int i = 0; i < 3000; ++i)
      {
        HPEN p = CreatePen(0, 1, i);
        HDC dc = SWELL_CreateMemContext(nullptr, 2, 2);
        if (!p || !dc || SelectObject(dc, p) != kind(SWELL_GDI_PEN) || SelectObject(dc, p) != p) ++failures;
        // The stock objects are shared by every thread (a race here shows under
        // ThreadSanitizer).
        if (SelectObject(dc, GetStockObject(1 + i % 2)) != (i % 2 ? kind(SWELL_GDI_BRUSH) : p)) ++failures;
        SWELL_DeleteGfxContext(dc);
        DeleteObject(p);
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(GdiObjects, SystemColours)
{
  const COLORREF want[] = {rgb(96, 96, 96),   rgb(224, 224, 224), rgb(192, 192, 192), 0,
                           rgb(192, 192, 192), rgb(32, 32, 32),   rgb(48, 48, 48),    rgb(192, 192, 192),
                           rgb(255, 240, 200), 0};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(GetSysColor(i), want[i]) << i;
  EXPECT_EQ(GetSysColor(10), 0);
  EXPECT_EQ(GetSysColor(-1), 0);
}
