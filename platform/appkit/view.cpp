#include "platform/appkit/NSView.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"

#include <algorithm>
#include <cmath>

// ---- NSResponder ----

#define AK_PASS_ON(name) \
  void NSResponder::name(NSEvent* e) \
  { \
    if (mNextResponder) mNextResponder->name(e); \
  }
AK_PASS_ON(mouseDown)
AK_PASS_ON(mouseUp)
AK_PASS_ON(mouseDragged)
AK_PASS_ON(mouseMoved)
AK_PASS_ON(mouseEntered)
AK_PASS_ON(mouseExited)
AK_PASS_ON(rightMouseDown)
AK_PASS_ON(rightMouseUp)
AK_PASS_ON(rightMouseDragged)
AK_PASS_ON(scrollWheel)
AK_PASS_ON(otherMouseDown)
AK_PASS_ON(otherMouseUp)
AK_PASS_ON(otherMouseDragged)
AK_PASS_ON(magnifyWithEvent)
AK_PASS_ON(rotateWithEvent)
AK_PASS_ON(swipeWithEvent)
AK_PASS_ON(keyDown)
AK_PASS_ON(keyUp)
#undef AK_PASS_ON

bool NSResponder::performAction(SEL, NSObject*) { return false; }

bool NSResponder::tryToPerform(SEL action, NSObject* sender)
{
  for (NSResponder* r = this; r; r = r->nextResponder())
    if (r->performAction(action, sender)) return true;
  return false;
}

// ---- drawing context, colours, fonts ----

namespace {
NSGraphicsContext* gCurrentContext = nullptr;
}

NSGraphicsContext* NSGraphicsContext::currentContext() { return gCurrentContext; }

void NSGraphicsContext::setCurrentContext(NSGraphicsContext* context) { gCurrentContext = context; }

NSColor* NSColor::colorWithCalibratedRed(CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
  NSColor* c = new NSColor;
  c->mC[0] = r;
  c->mC[1] = g;
  c->mC[2] = b;
  c->mC[3] = a;
  c->autorelease();
  return c;
}

NSColor* NSColor::clearColor() { return colorWithCalibratedRed(0, 0, 0, 0); }

void NSColor::setFill() const
{
  if (NSGraphicsContext* ctx = NSGraphicsContext::currentContext())
    CGContextSetRGBFillColor(ctx->graphicsPort(), mC[0], mC[1], mC[2], mC[3]);
}

void NSColor::fillRect(NSRect r)
{
  if (NSGraphicsContext* ctx = NSGraphicsContext::currentContext()) CGContextFillRect(ctx->graphicsPort(), r);
}

NSColor* AKGray(CGFloat v) { return NSColor::colorWithCalibratedRed(v, v, v, 1); }

void AKFrameRect(NSRect r, const NSColor* c)
{
  c->setFill();
  NSColor::fillRect(NSMakeRect(r.origin.x, r.origin.y, r.size.width, 1));
  NSColor::fillRect(NSMakeRect(r.origin.x, NSMaxY(r) - 1, r.size.width, 1));
  NSColor::fillRect(NSMakeRect(r.origin.x, r.origin.y, 1, r.size.height));
  NSColor::fillRect(NSMakeRect(NSMaxX(r) - 1, r.origin.y, 1, r.size.height));
}

NSFont* NSFont::fontWithName(const std::string& name, CGFloat size)
{
  CTFontRef f = CTFontCreateWithName(name.c_str(), size);
  if (!f) return nullptr;
  NSFont* font = new NSFont;
  font->mName = name;
  font->mSize = size;
  font->mFont = f;
  font->autorelease();
  return font;
}

NSFont* NSFont::systemFontOfSize(CGFloat size)
{
  CTFontRef f = CTFontCreateUIFontForLanguage(kCTFontUIFontLabel, size, nullptr);
  if (!f) return nullptr;
  NSFont* font = new NSFont;
  font->mName = "System";
  font->mSize = size;
  font->mFont = f;
  font->autorelease();
  return font;
}

NSFont::~NSFont()
{
  if (mFont) CTFontRelease(mFont);
}

CGFloat AKMeasureText(const std::string& text, NSFont* font)
{
  if (!font || text.empty()) return 0;
  CTLineRef line = CTLineCreateWithUTF8(font->ctFont(), text.data(), (int)text.size());
  const double w = CTLineGetTypographicBounds(line, nullptr, nullptr, nullptr);
  CTLineRelease(line);
  return w;
}

CGFloat AKCentredBaseline(NSFont* font, CGFloat h)
{
  if (!font) return 0;
  const CGFloat a = CTFontGetAscent(font->ctFont()), d = CTFontGetDescent(font->ctFont());
  return std::floor((h - (a + d)) / 2 + d);
}

CGFloat AKDrawTextLine(const std::string& text, NSFont* font, NSPoint baseline, const NSColor* color)
{
  NSGraphicsContext* ctx = NSGraphicsContext::currentContext();
  if (!ctx || !font || text.empty()) return 0;
  CGContextRef gc = ctx->graphicsPort();
  CTPixelTarget target;
  target.pixels = CGBitmapContextGetData(gc);
  target.width = (int)CGBitmapContextGetWidth(gc);
  target.height = (int)CGBitmapContextGetHeight(gc);
  target.rowBytes = (int)CGBitmapContextGetBytesPerRow(gc);
  DVCGContextGetPixelClip(gc, &target.clipLeft, &target.clipTop, &target.clipRight, &target.clipBottom);
  CGFloat px = 0, py = 0;
  DVCGContextUserToPixel(gc, baseline.x, baseline.y, &px, &py);
  CTLineRef line = CTLineCreateWithUTF8(font->ctFont(), text.data(), (int)text.size());
  const double w = CTLineGetTypographicBounds(line, nullptr, nullptr, nullptr);
  const int r = color ? (int)std::lround(color->redComponent() * 255) : 0;
  const int g = color ? (int)std::lround(color->greenComponent() * 255) : 0;
  const int b = color ? (int)std::lround(color->blueComponent() * 255) : 0;
  const DVCGClipGuard keep(gc);
  if (target.pixels) CTLineDraw(line, &target, (int)std::lround(px), (int)std::lround(py), r, g, b, true);
  CTLineRelease(line);
  return w;
}

// ---- NSView ----

NSView::NSView(NSRect frame) : mFrame(frame) {}

NSView::~NSView()
{
  for (NSView* v : mSubviews)
  {
    v->mSuperview = nullptr;
    v->setNextResponder(nullptr);
    v->setWindowForTree(nullptr);
    v->release();
  }
  mSubviews.clear();
}

void NSView::setFrame(NSRect frame)
{
  if (NSEqualRects(frame, mFrame)) return;
  if (mWindow) mWindow->invalidateBaseRect(visibleBaseRect());
  mFrame = frame;
  setNeedsDisplay(true);
}

void NSView::setFrameSize(NSSize size) { setFrame(NSMakeRect(mFrame.origin.x, mFrame.origin.y, size.width, size.height)); }

void NSView::setFrameOrigin(NSPoint origin)
{
  setFrame(NSMakeRect(origin.x, origin.y, mFrame.size.width, mFrame.size.height));
}

NSRect NSView::baseRect() const
{
  if (!mSuperview) return mFrame;
  const NSRect pr = mSuperview->baseRect();
  const CGFloat y = mSuperview->isFlipped() ? pr.origin.y + pr.size.height - (mFrame.origin.y + mFrame.size.height)
                                            : pr.origin.y + mFrame.origin.y;
  return NSMakeRect(pr.origin.x + mFrame.origin.x, y, mFrame.size.width, mFrame.size.height);
}

NSRect NSView::visibleBaseRect() const
{
  NSRect r = baseRect();
  for (const NSView* s = mSuperview; s; s = s->mSuperview) r = NSIntersectionRect(r, s->baseRect());
  return r;
}

namespace {

NSPoint toBase(const NSView* v, NSPoint p)
{
  const NSRect br = v->baseRect();
  return v->isFlipped() ? NSMakePoint(br.origin.x + p.x, br.origin.y + br.size.height - p.y)
                        : NSMakePoint(br.origin.x + p.x, br.origin.y + p.y);
}

NSPoint fromBase(const NSView* v, NSPoint b)
{
  const NSRect br = v->baseRect();
  return v->isFlipped() ? NSMakePoint(b.x - br.origin.x, br.origin.y + br.size.height - b.y)
                        : NSMakePoint(b.x - br.origin.x, b.y - br.origin.y);
}

NSRect rectOf(NSPoint a, NSPoint b)
{
  return NSMakeRect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(a.x - b.x), std::fabs(a.y - b.y));
}

}  // namespace

NSPoint NSView::convertPoint(NSPoint p, NSView* fromView) const
{
  return fromBase(this, fromView ? toBase(fromView, p) : p);
}

NSPoint NSView::convertPointToView(NSPoint p, NSView* toView) const
{
  const NSPoint b = toBase(this, p);
  return toView ? fromBase(toView, b) : b;
}

NSRect NSView::convertRect(NSRect r, NSView* fromView) const
{
  return rectOf(convertPoint(r.origin, fromView), convertPoint(NSMakePoint(NSMaxX(r), NSMaxY(r)), fromView));
}

NSRect NSView::convertRectToView(NSRect r, NSView* toView) const
{
  return rectOf(convertPointToView(r.origin, toView), convertPointToView(NSMakePoint(NSMaxX(r), NSMaxY(r)), toView));
}

void NSView::addSubview(NSView* view)
{
  if (!view || view == this) return;
  view->retain();
  if (view->superview()) view->removeFromSuperview();
  mSubviews.push_back(view);
  view->mSuperview = this;
  view->setNextResponder(this);
  view->setWindowForTree(mWindow);
  view->setNeedsDisplay(true);
  didAddSubview(view);
}

void NSView::addSubview(NSView* view, int place, NSView* relativeTo)
{
  if (!view || view == this) return;
  addSubview(view);
  auto self = std::find(mSubviews.begin(), mSubviews.end(), view);
  if (self == mSubviews.end()) return;  // moved away from inside didAddSubview
  mSubviews.erase(self);
  auto at = std::find(mSubviews.begin(), mSubviews.end(), relativeTo);
  if (at == mSubviews.end()) at = place < 0 ? mSubviews.begin() : mSubviews.end();
  else if (place >= 0) ++at;
  mSubviews.insert(at, view);
  view->setNeedsDisplay(true);
}

void NSView::removeFromSuperview()
{
  NSView* parent = mSuperview;
  if (!parent) return;
  retain();
  parent->willRemoveSubview(this);
  if (mSuperview != parent)
  {
    release();
    return;
  }
  if (mWindow) mWindow->invalidateBaseRect(visibleBaseRect());
  setWindowForTree(nullptr);
  // A view removed again from inside its own removal is already gone.
  auto it = std::find(parent->mSubviews.begin(), parent->mSubviews.end(), this);
  if (mSuperview != parent || it == parent->mSubviews.end())
  {
    release();
    return;
  }
  parent->mSubviews.erase(it);
  mSuperview = nullptr;
  setNextResponder(nullptr);
  release();  // the superview's reference
  release();  // ours; may delete this
}

bool NSView::isDescendantOf(const NSView* view) const
{
  for (const NSView* v = this; v; v = v->mSuperview)
    if (v == view) return true;
  return false;
}

void NSView::setWindowForTree(NSWindow* window)
{
  if (mWindow == window) return;
  retain();
  viewWillMoveToWindow(window);
  NSWindow* old = mWindow;
  // The old window forgets every reference into the tree first.
  if (old) old->viewLeaving(this);
  mWindow = window;
  for (NSView* v : std::vector<NSView*>(mSubviews)) v->setWindowForTree(window);
  viewDidMoveToWindow();
  if (window && mNeedsDisplay) window->invalidateBaseRect(visibleBaseRect());
  release();
}

NSView* NSView::hitTest(NSPoint p)
{
  if (mHidden) return nullptr;
  const NSPoint local = convertPoint(p, mSuperview);
  // As the platform's NSMouseInRect: an unflipped view holds its top edge and not
  // its bottom one, so the point (0, height) is its top-left pixel.
  const NSRect b = bounds();
  const bool inside = local.x >= 0 && local.x < b.size.width &&
                      (isFlipped() ? local.y >= 0 && local.y < b.size.height
                                   : local.y > 0 && local.y <= b.size.height);
  if (!inside) return nullptr;
  for (auto it = mSubviews.rbegin(); it != mSubviews.rend(); ++it)
    if (NSView* hit = (*it)->hitTest(local)) return hit;
  return this;
}

void NSView::setHidden(bool hidden)
{
  if (hidden == mHidden) return;
  if (mWindow) mWindow->invalidateBaseRect(visibleBaseRect());
  mHidden = hidden;
  if (hidden && mWindow) mWindow->viewLeaving(this);
  retain();
  if (hidden) viewDidHide();
  else viewDidUnhide();
  release();
}

bool NSView::isHiddenOrHasHiddenAncestor() const
{
  for (const NSView* v = this; v; v = v->mSuperview)
    if (v->mHidden) return true;
  return false;
}

NSView* NSView::viewWithTag(NSInteger tag)
{
  if (mTag == tag) return this;
  for (NSView* v : mSubviews)
    if (NSView* found = v->viewWithTag(tag)) return found;
  return nullptr;
}

void NSView::drawRect(NSRect) {}

void NSView::setNeedsDisplay(bool flag)
{
  if (flag) setNeedsDisplayInRect(bounds());
  else mNeedsDisplay = false;
}

void NSView::setNeedsDisplayInRect(NSRect rect)
{
  mNeedsDisplay = true;
  didSetNeedsDisplay();
  if (!mWindow) return;
  const NSRect r = NSIntersectionRect(convertRectToView(rect, nullptr), visibleBaseRect());
  if (!NSIsEmptyRect(r)) mWindow->invalidateBaseRect(r, true);
}

bool NSView::_recursiveDisplayRectIfNeededIgnoringOpacity() { return false; }

std::vector<NSRect> NSView::getRectsBeingDrawn() const
{
  std::vector<NSRect> out;
  if (!mWindow) return out;
  const NSRect visible = visibleBaseRect();
  for (const NSRect& r : mWindow->rectsBeingDrawn())
  {
    const NSRect i = NSIntersectionRect(r, visible);
    if (!NSIsEmptyRect(i)) out.push_back(convertRect(i, nullptr));
  }
  return out;
}

void NSView::displayRectIgnoringOpacity(NSRect rect)
{
  if (mWindow) mWindow->drawViewTree(this, convertRectToView(rect, nullptr));
}

bool NSView::lockFocus()
{
  NSGraphicsContext* ctx = NSGraphicsContext::currentContext();
  CGContextRef gc = ctx ? ctx->graphicsPort() : nullptr;
  if (!mWindow || !gc) return false;
  AKFocusView(gc, this, visibleBaseRect());
  return true;
}

void AKFocusView(CGContextRef gc, const NSView* view, NSRect baseClip)
{
  const NSRect br = view->baseRect();
  CGContextSaveGState(gc);
  CGContextClipToRect(gc, baseClip);
  CGContextTranslateCTM(gc, br.origin.x, br.origin.y);
  if (view->isFlipped())
  {
    CGContextTranslateCTM(gc, 0, br.size.height);
    CGContextScaleCTM(gc, 1, -1);
  }
}

void NSView::unlockFocus()
{
  if (NSGraphicsContext* ctx = NSGraphicsContext::currentContext())
    if (CGContextRef gc = ctx->graphicsPort()) CGContextRestoreGState(gc);
}

void NSView::display()
{
  if (!mWindow) return;
  mWindow->invalidateBaseRect(visibleBaseRect());
  mWindow->displayDirty();
}
