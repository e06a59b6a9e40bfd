// The focus rectangle: a translucent grey borderless window over another.

#include "platform/appkit/NSWindow.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"

#include <algorithm>

namespace {

class Swell_vDavrel_64_drawfocusrectwnd : public NSView
{
public:
  using NSView::NSView;
  bool isOpaque() const override { return true; }
  void drawRect(NSRect dirty) override
  {
    if (NSGraphicsContext* ctx = NSGraphicsContext::currentContext())
    {
      CGContextSetRGBFillColor(ctx->graphicsPort(), 0.5, 0.5, 0.5, 1.0);
      CGContextFillRect(ctx->graphicsPort(), dirty);
    }
  }
};

void removeOverlay(void** handle)
{
  NSWindow* w = (NSWindow*)*handle;
  if (NSWindow* p = w->parentWindow()) p->removeChildWindow(w);
  w->close();
  w->release();
  *handle = nullptr;
}

}  // namespace

void SWELL_DrawFocusRect(HWND hwndPar, RECT* rect, void** handle)
{
  if (!handle) return;
  if (!rect)
  {
    if (*handle) removeOverlay(handle);
    return;
  }
  // A parent that is gone has no place to show the rectangle over.
  if (hwndPar && !SWELL_Object(hwndPar)) return;
  POINT a{rect->left, rect->top}, b{rect->right, rect->bottom};
  if (hwndPar)
  {
    ClientToScreen(hwndPar, &a);
    ClientToScreen(hwndPar, &b);
  }
  const int y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
  NSWindow* parent = nullptr;
  if (NSObject* o = SWELL_Object(hwndPar))
  {
    if (NSWindow* w = dynamic_cast<NSWindow*>(o)) parent = w;
    else if (NSView* v = dynamic_cast<NSView*>(o)) parent = v->window();
    else return;
  }
  if (*handle && ((NSWindow*)*handle)->parentWindow() != parent) removeOverlay(handle);
  NSWindow* w = (NSWindow*)*handle;
  // A rectangle of negative width shows nothing rather than a window of negative size.
  const int width = std::max(0, b.x - a.x);
  if (!w)
  {
    w = new NSWindow(NSMakeRect(a.x, y0, width, y1 - y0), NSBorderlessWindowMask, NSBackingStoreBuffered, true);
    w->setOpaque(true);
    w->setAlphaValue(0.5);
    w->setIgnoresMouseEvents(true);
    Swell_vDavrel_64_drawfocusrectwnd* content =
        new Swell_vDavrel_64_drawfocusrectwnd(NSMakeRect(0, 0, width, y1 - y0));
    w->setContentView(content);
    content->release();
    *handle = w;
    if (parent) parent->addChildWindow(w, NSWindowAbove);
    else w->setLevel(NSPopUpMenuWindowLevel);
    w->orderFront(nullptr);
  }
  w->setFrame(NSMakeRect(a.x, y0, width, y1 - y0), true);
}
