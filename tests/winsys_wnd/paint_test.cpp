// The fast road of painting: a window's content view paints its tree with one
// context; only window views that are dirty or asked to be drawn get WM_PAINT, a
// forced repaint reaches every window view below, and controls that need display
// are displayed over the dialog's background or brush.

#include "wnd_test_util.h"

#include "raster/lice.h"
#include "raster/lice_pixel.h"
#include "winsys/gdi_draw.h"

#include <set>

namespace {

// A control of the kit that covers nothing of its area and counts its draws.
class CountingControl : public NSView
{
public:
  explicit CountingControl(NSRect frame) : NSView(frame) {}
  bool isFlipped() const override { return true; }
  void drawRect(NSRect) override { ++draws; }
  int draws = 0;
};

class Paint : public WndTest
{
protected:
  // Which windows got WM_PAINT since the log was cleared, and with how many contexts.
  std::vector<HWND> Painted() const
  {
    std::vector<HWND> out;
    for (const LoggedMsg& m : log.only(WM_PAINT)) out.push_back(m.hwnd);
    return out;
  }
  std::set<WPARAM> Contexts() const
  {
    std::set<WPARAM> out;
    for (const LoggedMsg& m : log.only(WM_PAINT)) out.insert(m.wParam);
    return out;
  }
  static LICE_PixelValue PixelAt(NSWindow* w, int x, int y) { return BackingRow(w, y)[x]; }
  // h's WM_PAINT begins and ends a paint, keeping what BeginPaint handed out.
  void KeepPaint(HWND h, PAINTSTRUCT* seen, HDC* got = nullptr)
  {
    log.handlers[{h, WM_PAINT}] = [=](HWND, WPARAM, LPARAM) {
      const HDC dc = BeginPaint(h, seen);
      if (got) *got = dc;
      EndPaint(h, seen);
      return (LRESULT)0;
    };
  }
};

TEST_F(Paint, OnlyWhatAsksIsPaintedAndForcedRepaintsReachEveryViewBelow)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  const HWND a = Child(top, NSMakeRect(10, 10, 100, 80));
  const HWND inner = Child(a, NSMakeRect(5, 5, 20, 20));
  const HWND b = Child(top, NSMakeRect(150, 10, 100, 80));
  CountingControl* control = AddControl(top, new CountingControl(NSMakeRect(10, 120, 60, 20)), 9);
  ShowWindow(top, SW_SHOW);

  // New views start dirty: all of them are painted on the first pass, with one context.
  log.msgs.clear();
  w->displayIfNeeded();
  EXPECT_EQ(Painted(), (std::vector<HWND>{top, a, inner, b}));
  EXPECT_EQ(Contexts().size(), 1u) << "one context for the whole window";
  EXPECT_EQ(control->draws, 1);
  for (HWND h : {top, a, inner, b}) EXPECT_EQ(SWELL_WindowView(h)->dirtyBits(), 0);

  // One view asks: only it is painted, not the content view under it nor its sibling.
  log.msgs.clear();
  InvalidateRect(b, nullptr, 0);
  w->displayIfNeeded();
  EXPECT_EQ(Painted(), (std::vector<HWND>{b}));
  EXPECT_EQ(control->draws, 1);

  // A forced repaint of a parent reaches every window view below it, though none
  // of them asked; the sibling outside stays as it is.
  log.msgs.clear();
  InvalidateRect(a, nullptr, 0);
  w->displayIfNeeded();
  EXPECT_EQ(Painted(), (std::vector<HWND>{a, inner}));

  // The forced-repaint bit alone paints a view inside the areas being drawn, and
  // only the part inside them: the control's area overlaps a's bottom edge.
  log.msgs.clear();
  control->setFrame(NSMakeRect(10, 80, 60, 20));
  w->displayIfNeeded();
  log.msgs.clear();
  // As the layer marks them: the view forced, its window-view ancestors with the
  // bit that says something below is dirty.
  SWELL_WindowView(inner)->setDirtyBits(1);
  SWELL_WindowView(a)->setDirtyBits(2);
  SWELL_WindowView(b)->setDirtyBits(1);  // outside the areas: nothing to paint
  control->setNeedsDisplay(true);
  PAINTSTRUCT seen{};
  KeepPaint(inner, &seen);
  w->displayIfNeeded();
  EXPECT_EQ(Painted(), std::vector<HWND>{}) << "inner lies above the control's area";
  EXPECT_EQ(control->draws, 3);
  SWELL_WindowView(inner)->setFrame(NSMakeRect(5, 60, 20, 20));  // now down to a's row 80
  w->displayIfNeeded();
  log.msgs.clear();
  SWELL_WindowView(inner)->setDirtyBits(1);
  SWELL_WindowView(a)->setDirtyBits(2);
  control->setNeedsDisplay(true);
  w->displayIfNeeded();
  EXPECT_EQ(Painted(), std::vector<HWND>{inner});
  // inner's rows 10 to 20 lie over the control's rows 80 to 90 of the window.
  EXPECT_EQ(seen.rcPaint.top, 10);
  EXPECT_EQ(seen.rcPaint.bottom, 20);
  log.handlers.clear();

  // A clean window whose content view does not need display draws nothing.
  log.msgs.clear();
  const int draws = control->draws;
  w->invalidateBaseRect(NSMakeRect(0, 0, 300, 200), true);
  w->displayIfNeeded();
  EXPECT_TRUE(log.msgs.empty());
  EXPECT_EQ(control->draws, draws);

  // An area no view was told of (the whole window shown again) is drawn whole.
  log.msgs.clear();
  w->display();
  EXPECT_EQ(Painted(), (std::vector<HWND>{top, a, inner, b}));
  DestroyWindow(top);
}

// A control that does not cover its area shows the dialog's brush behind it when
// the dialog answers one, else the dialog background; the dialog is not painted.
TEST_F(Paint, BehindAControlTheDialogsBrushOrBackground)
{
  for (const bool brushed : {true, false})
  {
    SCOPED_TRACE(brushed);
    NSWindow* w = nullptr;
    const HWND top = Window(NSMakeRect(0, 0, 200, 100), 0, &w);
    CountingControl* control = AddControl(top, new CountingControl(NSMakeRect(20, 30, 40, 20)), 9);
    HBRUSH green = CreateSolidBrush(0x00FF00);
    log.handlers[{top, WM_PAINT}] = [](HWND, WPARAM wp, LPARAM) {
      Fill((HDC)wp, RECT{0, 0, 200, 100}, 0);
      return (LRESULT)0;
    };
    log.handlers[{top, WM_CTLCOLORDLG}] = [&](HWND, WPARAM, LPARAM) { return brushed ? (LRESULT)green : 0; };
    ShowWindow(top, SW_SHOW);
    w->displayIfNeeded();
    const LICE_PixelValue before = PixelAt(w, 30, 40);
    ASSERT_EQ(LICE_PixelR(before) + LICE_PixelG(before) + LICE_PixelB(before), 0) << "the dialog painted black";
    log.msgs.clear();
    control->setNeedsDisplay(true);
    w->displayIfNeeded();
    EXPECT_TRUE(Painted().empty());
    EXPECT_EQ(log.only(WM_CTLCOLORDLG).size(), 1u);
    const LICE_PixelValue p = PixelAt(w, 30, 40);
    if (brushed)
    {
      EXPECT_EQ(LICE_PixelG(p), 255);
      EXPECT_EQ(LICE_PixelR(p), 0);
    }
    else
    {
      EXPECT_GT(LICE_PixelR(p), 100) << "the dialog background, not the black paint";
    }
    EXPECT_EQ(LICE_PixelR(PixelAt(w, 100, 80)), 0) << "outside the control the paint stays";
    log.handlers.clear();
    DeleteObject(green);
    DestroyWindow(top);
  }
}

// The paint rectangle BeginPaint hands out covers every pixel the area touches;
// outside a paint BeginPaint has nothing.
TEST_F(Paint, PaintRectangleCoversEveryTouchedPixel)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  PAINTSTRUCT seen{};
  HDC got = nullptr;
  KeepPaint(top, &seen, &got);
  HDC mem = SWELL_CreateMemContext(nullptr, 100, 100);
  DrawSwellViewRectImpl(SWELL_WindowView(top), NSMakeRect(0.5, 0.5, 10.2, 10.2), mem);
  EXPECT_EQ(got, mem);
  EXPECT_EQ((std::vector<int>{seen.rcPaint.left, seen.rcPaint.top, seen.rcPaint.right, seen.rcPaint.bottom}),
            (std::vector<int>{0, 0, 11, 11}));
  PAINTSTRUCT outside{};
  EXPECT_EQ(BeginPaint(top, &outside), nullptr);
  SWELL_DeleteGfxContext(mem);
  log.handlers.clear();
}

}  // namespace
