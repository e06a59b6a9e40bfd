// Text drawn in a child view's paint or through its GetDC (after the paint, or
// while the parent paints) lands inside the view, at the view's own coordinates
// and cut by its edges, in the window's pixels.

#include "wnd_test_util.h"

#include "raster/lice.h"
#include "raster/lice_pixel.h"
#include "winsys/gdi_draw.h"
#include "winsys/msgloop/viewdc.h"
#include "winsys/text.h"

#include <algorithm>
#include <cstring>

namespace {

uint32_t Rgb(LICE_PixelValue p) { return (uint32_t)LICE_PixelR(p) << 16 | LICE_PixelG(p) << 8 | LICE_PixelB(p); }

// The box around the dark pixels of a window's backing (rows top-down, as the
// flipped content view counts them).
Box DarkPixels(NSWindow* w)
{
  LICE_IBitmap* b = w->backing();
  return DarkBox(b->getWidth(), b->getHeight(), [&](int x, int y) { return Rgb(BackingRow(w, y)[x]); });
}

// Black text in the rectangle (the view's coordinates), with the flags.
void Text(HDC dc, const char* text, RECT r, int flags)
{
  SetTextColor(dc, 0x000000);
  SetBkMode(dc, 0);
  SWELL_DrawText(dc, text, -1, &r, flags);
}

using ViewText = WndTest;

TEST_F(ViewText, LandsInsideTheViewCutByItsEdges)
{
  // The child view at (100, 40), 120 by 40, in a window of 300 by 200.
  const RECT view{100, 40, 220, 80};
  struct Case
  {
    const char* what;
    enum Via
    {
      ChildPaint,
      GetDCAfter,
      GetDCInParentPaint  // the parent's drawing state must not carry into the child's context
    } via;
    const char* text;
    int flags;
    int wantLeft, wantTop;  // the ink starts within a few pixels of these (window pixels)
    bool reachesRightEdge;  // text longer than the view: cut at its right edge
  };
  const std::string longText(60, 'W');
  const Case cases[] = {
      {"paint, top left", Case::ChildPaint, "Hg", 0, 100, 40, false},
      {"paint, offset in the view", Case::ChildPaint, "Hg", 0, 130, 50, false},
      {"paint, too long without clip", Case::ChildPaint, longText.c_str(), DT_NOCLIP, 100, 40, true},
      {"GetDC, top left", Case::GetDCAfter, "Hg", 0, 100, 40, false},
      {"GetDC, too long", Case::GetDCAfter, longText.c_str(), DT_SINGLELINE, 100, 40, true},
      {"GetDC in the parent's paint", Case::GetDCInParentPaint, "Hg", 0, 130, 50, false},
      {"GetDC in the parent's paint, too long", Case::GetDCInParentPaint, longText.c_str(), DT_SINGLELINE, 100, 40,
       true},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    NSWindow* w = nullptr;
    const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
    const HWND child = Child(top, NSMakeRect(view.left, view.top, view.right - view.left, view.bottom - view.top));
    // In the view's own coordinates: the case's start relative to the view.
    const RECT where{c.wantLeft - view.left, c.wantTop - view.top, 400, 100};
    bool drawnInParent = false;
    log.handlers[{top, WM_PAINT}] = [&](HWND, WPARAM wp, LPARAM) {
      Fill((HDC)wp, RECT{-10, -10, 400, 400}, 0xFFFFFF);
      if (c.via == Case::GetDCInParentPaint)
      {
        if (HDC dc = GetDC(child))
        {
          Text(dc, c.text, where, c.flags);
          ReleaseDC(child, dc);
          drawnInParent = true;
        }
      }
      return (LRESULT)0;
    };
    log.handlers[{child, WM_PAINT}] = [&](HWND, WPARAM wp, LPARAM) {
      // Painted after its parent: keeps what the parent drew into it.
      if (c.via == Case::GetDCInParentPaint) return (LRESULT)0;
      Fill((HDC)wp, RECT{-10, -10, 400, 400}, 0xFFFFFF);
      if (c.via == Case::ChildPaint) Text((HDC)wp, c.text, where, c.flags);
      return (LRESULT)0;
    };
    ShowWindow(top, SW_SHOW);
    w->displayIfNeeded();
    if (c.via == Case::GetDCInParentPaint)
    {
      EXPECT_TRUE(drawnInParent);
    }
    if (c.via == Case::GetDCAfter)
    {
      HDC dc = GetDC(child);
      ASSERT_NE(dc, nullptr);
      Text(dc, c.text, where, c.flags);
      ReleaseDC(child, dc);
    }
    const Box ink = DarkPixels(w);
    ASSERT_FALSE(ink.empty()) << "some text was drawn";
    EXPECT_GE(ink.left, view.left);
    EXPECT_GE(ink.top, view.top);
    EXPECT_LE(ink.right, view.right);
    EXPECT_LE(ink.bottom, view.bottom);
    EXPECT_LE(ink.left - c.wantLeft, 4) << ink.left;
    EXPECT_LE(ink.top - c.wantTop, 14) << ink.top;
    if (c.reachesRightEdge)
    {
      EXPECT_GE(ink.right, view.right - 3) << ink.right;
    }
    log.handlers.clear();
    DestroyWindow(top);
  }
}

// A memory context keeps drawing at its own pixels, as before.
TEST_F(ViewText, MemoryContextsDrawAtTheirOwnPixels)
{
  HDC mem = SWELL_CreateMemContext(nullptr, 200, 60);
  ASSERT_NE(mem, nullptr);
  Fill(mem, RECT{0, 0, 200, 60}, 0xFFFFFF);
  Text(mem, "Hg", RECT{30, 10, 200, 60}, 0);
  const LICE_PixelValue* px = (const LICE_PixelValue*)SWELL_GetCtxFrameBuffer(mem);
  const Box ink = DarkBox(200, 60, [&](int x, int y) { return Rgb(px[y * 200 + x]); });
  ASSERT_FALSE(ink.empty());
  EXPECT_GE(ink.left, 30);
  EXPECT_LE(ink.left, 34);
  EXPECT_GE(ink.top, 10);
  EXPECT_LE(ink.top, 24);
  SWELL_DeleteGfxContext(mem);
}

}  // namespace
