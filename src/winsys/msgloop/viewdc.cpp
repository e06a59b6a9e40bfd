#include "winsys/msgloop/viewdc.h"

#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/target.h"

#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

#include <unordered_map>

namespace {

// Contexts GetDC handed out and ReleaseDC did not take back yet: how many times
// each (a paint's context may be handed out again and again), and whether GetDC
// made it. ReleaseDC restores only states GetDC saved and deletes only contexts
// GetDC made, whatever window it is told. Main thread only.
struct Handout
{
  int count;
  bool made;
};
std::unordered_map<HDC, Handout>& handouts()
{
  static std::unordered_map<HDC, Handout>* m = new std::unordered_map<HDC, Handout>;
  return *m;
}

NSView* viewOf(HWND hwnd)
{
  NSObject* obj = SWELL_ObjectOfHandle(hwnd);
  if (!obj) return nullptr;
  if (NSWindow* w = dynamic_cast<NSWindow*>(obj)) return w->contentView();
  return dynamic_cast<NSView*>(obj);
}

}  // namespace

HDC SWELL_CreateGfxContext(NSGraphicsContext* ctx)
{
  return ctx ? SWELL_WrapGfxPort(ctx->graphicsPort()) : nullptr;
}

namespace {
// The paint context of the window (or of its content view) while it paints.
HDC paintContextOf(HWND hwnd)
{
  NSObject* obj = SWELL_ObjectOfHandle(hwnd);
  if (!obj) return nullptr;
  if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(obj)) return t->swellPaintContext();
  if (NSWindow* w = dynamic_cast<NSWindow*>(obj))
    if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(w->contentView())) return t->swellPaintContext();
  return nullptr;
}
}  // namespace

HDC GetDC(HWND hwnd)
{
  if (HDC paint = paintContextOf(hwnd))
  {
    CGContextSaveGState(paint->ctx);
    Handout& h = handouts()[paint];
    if (h.made) h = Handout{0, false};  // left over from a record since reused
    ++h.count;
    return paint;
  }
  NSView* view = viewOf(hwnd);
  if (!view || !view->window() || view->isHiddenOrHasHiddenAncestor()) return nullptr;
  CGContextRef backing = view->window()->backingContext();
  if (!backing) return nullptr;
  // Focus on the view as the window does when it draws it, on a context of our own
  // over the backing's pixels, so the window's own state is never disturbed.
  static CGColorSpaceRef space = CGColorSpaceCreateDeviceRGB();
  const size_t h = CGBitmapContextGetHeight(backing);
  CGContextRef gc = CGBitmapContextCreate(CGBitmapContextGetData(backing), CGBitmapContextGetWidth(backing), h, 8,
                                          CGBitmapContextGetBytesPerRow(backing), space, kCGImageAlphaNoneSkipFirst);
  if (!gc) return nullptr;
  // The new context starts at the backing's base coordinates. The backing's own
  // transform is not them while the window draws: it is then focused on the view
  // being drawn, and building on it would add that view's offset to this one's.
  const NSRect br = view->baseRect();
  CGContextClipToRect(gc, view->visibleBaseRect());
  CGContextTranslateCTM(gc, br.origin.x, br.origin.y);
  if (view->isFlipped())
  {
    CGContextTranslateCTM(gc, 0, br.size.height);
    CGContextScaleCTM(gc, 1, -1);
  }
  HDC ctx = SWELL_WrapGfxPort(gc);
  if (!ctx)
  {
    CGContextRelease(gc);
    return nullptr;
  }
  CGContextSaveGState(gc);
  handouts()[ctx] = Handout{1, true};
  return ctx;
}

HDC GetWindowDC(HWND hwnd)
{
  HDC ctx = GetDC(hwnd);
  NSView* view = viewOf(hwnd);
  if (ctx && view)
  {
    const NSRect b = view->bounds();
    if (b.origin.x != 0 || b.origin.y != 0) CGContextTranslateCTM(ctx->ctx, b.origin.x, b.origin.y);
  }
  return ctx;
}

void ReleaseDC(HWND, HDC ctx)
{
  // A context GetDC did not hand out (a memory context, a paint's context asked
  // for through another window, one released twice) is left as it is.
  auto it = handouts().find(ctx);
  if (it == handouts().end()) return;
  const Handout h = it->second;
  if (h.count > 1)
    --it->second.count;
  else
    handouts().erase(it);
  if (!ctx->freed && ctx->ctx) CGContextRestoreGState(ctx->ctx);
  // The paint's own context stays with the paint.
  if (!h.made) return;
  CGContextRef gc = ctx->ctx;
  SWELL_DeleteGfxContext(ctx);
  CGContextRelease(gc);
}
