// Contexts of views draw into their window's backing where the view lies.
#include "winsys/msgloop/viewdc.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/target.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"
#include "raster/lice.h"
#include "winsys/gdi_draw.h"
#include "winsys/gdi_image.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
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

// A window view in the middle of a paint when paint is set.
class PaintingView : public NSView, public SWELL_WindowTarget
{
public:
  explicit PaintingView(NSRect frame) : NSView(frame) {}
  bool swellCanPostMessage() override { return true; }
  LRESULT onSwellMessage(UINT, WPARAM, LPARAM) override { return 0; }
  void SWELL_Timer(UINT_PTR) override {}
  HDC swellPaintContext() override { return paint; }
  HDC paint = nullptr;
};

// Fills the whole 8 x 8 context and tells whether its far corner took the fill,
// which a clip left set would keep out.
bool fillReachesTheCorner(HDC dc, uint32_t* pixels)
{
  HBRUSH brush = CreateSolidBrush(0x123456);
  const RECT all{0, 0, 8, 8};
  SWELL_FillRect(dc, &all, brush);
  DeleteObject(brush);
  // Bytes X, R, G, B in memory.
  auto filled = [](const uint32_t& px) {
    const unsigned char* b = (const unsigned char*)&px;
    return b[1] == 0x12 && b[2] == 0x34 && b[3] == 0x56;
  };
  const bool reached = filled(pixels[0]) && filled(pixels[63]);
  memset(pixels, 0, 64 * 4);
  return reached;
}

}  // namespace

// ReleaseDC takes back what GetDC handed out, whichever window it is told: it
// restores the state GetDC saved, deletes only the contexts GetDC made, and leaves
// every other context alone.
TEST(ViewDC, ReleaseDCTakesBackOnlyWhatGetDCHandedOut)
{
  NSApplication::sharedApplication();
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 20, 20), NSTitledWindowMask, NSBackingStoreBuffered, false);
  PaintingView* v = new PaintingView(NSMakeRect(0, 0, 8, 8));
  w->contentView()->addSubview(v);
  const HWND h = SWELL_HandleOfObject(v), other = SWELL_HandleOfObject(w->contentView());
  // The paint draws through a context over pixels it owns, or into a memory context.
  for (bool memory : {false, true})
  {
    SCOPED_TRACE(memory);
    uint32_t own[64] = {};
    CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
    CGContextRef port = memory ? nullptr : CGBitmapContextCreate(own, 8, 8, 8, 32, space, kCGImageAlphaNoneSkipFirst);
    HDC paint = memory ? SWELL_CreateMemContext(nullptr, 8, 8) : SWELL_WrapGfxPort(port);
    uint32_t* pixels = memory ? (uint32_t*)SWELL_GetCtxFrameBuffer(paint) : own;
    v->paint = paint;
    const RECT corner{0, 0, 1, 1};

    HDC a = GetDC(h);
    SWELL_SetClipRegion(a, &corner);
    HDC b = GetDC(h);
    EXPECT_EQ(a, paint);
    EXPECT_EQ(b, paint);
    ReleaseDC(h, b);
    EXPECT_FALSE(fillReachesTheCorner(paint, pixels)) << "the clip was set before the second GetDC";
    ReleaseDC(h, a);
    EXPECT_TRUE(fillReachesTheCorner(paint, pixels)) << "the clip set through GetDC's context is gone";

    HDC c = GetDC(h);
    ReleaseDC(other, c);  // told another window
    ReleaseDC(h, c);      // and again
    EXPECT_FALSE(paint->freed);
    EXPECT_TRUE(fillReachesTheCorner(paint, pixels));
    // The painter's context given without GetDC: not restored, not deleted.
    SWELL_PushClipRegion(paint);
    SWELL_SetClipRegion(paint, &corner);
    ReleaseDC(h, paint);
    EXPECT_FALSE(paint->freed);
    EXPECT_FALSE(fillReachesTheCorner(paint, pixels));
    SWELL_PopClipRegion(paint);
    v->paint = nullptr;
    SWELL_DeleteGfxContext(paint);
    CGContextRelease(port);
    CGColorSpaceRelease(space);
  }

  // No paint under way: GetDC makes a context, which ReleaseDC deletes once.
  HDC made = GetDC(h);
  ASSERT_NE(made, nullptr);
  ReleaseDC(other, made);
  EXPECT_TRUE(made->freed);
  ReleaseDC(h, made);
  v->removeFromSuperview();
  v->release();
  w->close();
  w->release();
}

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
  // The same image as one of the application's own, in the resources folder of
  // the bundle holding the code (here the test program's folder).
  const std::string res = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "resources",
                    bare = "davrel-glyph-" + std::to_string(getpid()), named = bare + ".png",
                    escaping = "nowhere/../" + named;
  std::filesystem::create_directories(res);
  std::filesystem::copy_file(path, res + "/" + named);

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
      {named.c_str(), true, true, 0},
      {bare.c_str(), false, true, LICE_MakePixel(255, 0, 255, 255)},
      {escaping.c_str(), false, false, 0},
      {"glyph.png", true, false, 0},
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
  unlink((res + "/" + named).c_str());
}
