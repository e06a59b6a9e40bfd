#include "winsys/msgloop/viewdc.h"

#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/target.h"

#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

namespace {

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

void ReleaseDC(HWND hwnd, HDC ctx)
{
  if (!ctx || ctx->freed || !ctx->ctx || ctx->ownedBuffer) return;
  CGContextRef gc = ctx->ctx;
  CGContextRestoreGState(gc);
  // The paint's own context stays with the paint.
  if (ctx == paintContextOf(hwnd)) return;
  SWELL_DeleteGfxContext(ctx);
  CGContextRelease(gc);
}
