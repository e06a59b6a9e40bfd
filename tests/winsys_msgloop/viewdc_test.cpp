// Contexts of views draw into their window's backing where the view lies.
#include "winsys/msgloop/viewdc.h"
#include "winsys/msgloop/hwnd_table.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "raster/lice.h"
#include "winsys/gdi_draw.h"
#include "winsys/gdi_image.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

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
    HDC dc = GetDC(SWELL_HandleOfObject(v));
    ASSERT_NE(dc, nullptr);
    HBRUSH red = CreateSolidBrush(0xFF0000);
    const RECT everything{-100, -100, 200, 200};
    SWELL_FillRect(dc, &everything, red);
    SWELL_SetPixel(dc, 0, 0, 0x00FF00);
    ReleaseDC(SWELL_HandleOfObject(v), dc);
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
  EXPECT_EQ(GetDC(SWELL_HandleOfObject(orphan)), nullptr) << "no window, nowhere to draw";
  orphan->release();
  w->close();
  w->release();
}

TEST(ViewDC, NamedImagesLoadFromFilesWithMagentaCleared)
{
  // A PNG written through a window's backing: magenta at (0, 0), blue elsewhere.
  NSApplication::sharedApplication();
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 3, 2), NSTitledWindowMask, NSBackingStoreBuffered, false);
  LICE_IBitmap* b = w->backing();
  LICE_FillRect(b, 0, 0, 3, 2, LICE_MakePixel(0, 0, 255, 255), 1, LICE_MODE_COPY);
  LICE_PutPixel(b, 0, 0, LICE_MakePixel(255, 0, 255, 255), 1, LICE_MODE_COPY);
  char dir[] = "/tmp/davrel-img-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/glyph.png";
  ASSERT_TRUE(w->writePNG(path));
  w->close();
  w->release();

  struct Case
  {
    const char* name;
    bool magenta;
    bool loads;
    LICE_PixelValue corner;
  };
  const Case cases[] = {
      {path.c_str(), true, true, 0},
      {path.c_str(), false, true, LICE_MakePixel(255, 0, 255, 255)},
      {"glyph.png", true, false, 0},  // no application-named images here
      {"/nonexistent/glyph.png", false, false, 0},
      {nullptr, false, false, 0},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.name ? c.name : "(null)");
    HGDIOBJ img = LoadNamedImage(c.name, c.magenta);
    EXPECT_EQ(img != nullptr, c.loads);
    if (!img) continue;
    LICE_IBitmap* px = GetNSImageFromHICON(img)->pixels;
    EXPECT_EQ(px->getBits()[0], c.corner);
    EXPECT_EQ(px->getBits()[1], LICE_MakePixel(0, 0, 255, 255));
    BITMAP bm;
    EXPECT_EQ(GetObject(img, sizeof(bm), &bm), 1);
    EXPECT_EQ(bm.bmWidth, 3);
    EXPECT_EQ(bm.bmHeight, 2);
    DeleteObject(img);
  }
  unlink(path.c_str());
  rmdir(dir);
}
