// Contexts of views draw into their window's backing where the view lies.
#include "winsys/msgloop/viewdc.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "raster/lice.h"
#include "winsys/gdi_draw.h"

#include <gtest/gtest.h>

namespace {

class FlipView : public NSView
{
public:
  FlipView(NSRect frame, bool flipped) : NSView(frame), mFlipped(flipped) {}
  bool isFlipped() const override { return mFlipped; }

private:
  bool mFlipped;
};

}  // namespace

TEST(ViewDC, DrawsIntoTheViewsPartOfTheBackingCutByItsEdges)
{
  NSApplication::sharedApplication();
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 60, 50), NSTitledWindowMask, NSBackingStoreBuffered, false);
  struct Case
  {
    bool flipped;
    int px, py;  // backing pixel of the view's user point (0, 0) pixel
  };
  // The view's frame (10, 10, 20, 20) in the unflipped content: its top edge is
  // backing row 50 - 30 = 20, its bottom edge row 40.
  const Case cases[] = {{true, 10, 20}, {false, 10, 39}};
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.flipped);
    FlipView* v = new FlipView(NSMakeRect(10, 10, 20, 20), c.flipped);
    w->contentView()->addSubview(v);
    LICE_IBitmap* b = w->backing();
    LICE_FillRect(b, 0, 0, b->getWidth(), b->getHeight(), 0, 1, LICE_MODE_COPY);
    HDC dc = GetDC((HWND)v);
    ASSERT_NE(dc, nullptr);
    HBRUSH red = CreateSolidBrush(0xFF0000);
    const RECT everything{-100, -100, 200, 200};
    SWELL_FillRect(dc, &everything, red);
    SWELL_SetPixel(dc, 0, 0, 0x00FF00);
    ReleaseDC((HWND)v, dc);
    DeleteObject(red);
    int inside = 0, outside = 0;
    for (int y = 0; y < b->getHeight(); ++y)
      for (int x = 0; x < b->getWidth(); ++x)
      {
        const bool in = x >= 10 && x < 30 && y >= 20 && y < 40;
        const LICE_PixelValue p = b->getBits()[y * b->getRowSpan() + x];
        if (in && x == c.px && y == c.py)
          EXPECT_EQ(p, LICE_MakePixel(0, 255, 0, 255));
        else if (in)
          inside += p == LICE_MakePixel(255, 0, 0, 255);
        else
          outside += p != 0;
      }
    EXPECT_EQ(inside, 20 * 20 - 1);
    EXPECT_EQ(outside, 0);
    v->removeFromSuperview();
    v->release();
  }
  EXPECT_EQ(GetDC(nullptr), nullptr);
  FlipView* orphan = new FlipView(NSMakeRect(0, 0, 5, 5), true);
  EXPECT_EQ(GetDC((HWND)orphan), nullptr) << "no window, nowhere to draw";
  orphan->release();
  w->close();
  w->release();
}
