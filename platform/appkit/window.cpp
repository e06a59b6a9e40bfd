#include "platform/appkit/NSWindow.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/Presenter.h"
#include "raster/lice_bitmap.h"
#include "raster/lice_png.h"

#include <algorithm>
#include <cmath>


namespace {

NSInteger gNextWindowNumber = 1;
const CGFloat kMenuBarHeight = 20, kMenuBarPad = 8;

CGColorSpaceRef deviceRGB()
{
  static CGColorSpaceRef s = CGColorSpaceCreateDeviceRGB();
  return s;
}

NSPresenter* presenter() { return NSApplication::exists() ? NSApp->presenter() : nullptr; }

// A window's backing as the current drawing context for one drawing step; the
// context current before it is current again at the end of the step.
class BackingContextScope
{
public:
  explicit BackingContextScope(CGContextRef backing)
    : mPrevious(NSGraphicsContext::currentContext()), mContext(new NSGraphicsContext(backing))
  {
    NSGraphicsContext::setCurrentContext(mContext);
  }
  ~BackingContextScope()
  {
    NSGraphicsContext::setCurrentContext(mPrevious);
    mContext->release();
  }
  BackingContextScope(const BackingContextScope&) = delete;
  BackingContextScope& operator=(const BackingContextScope&) = delete;

private:
  NSGraphicsContext* mPrevious;
  NSGraphicsContext* mContext;
};

// The rectangle grown to whole pixels and cut to the content.
NSRect pixelAligned(NSRect r, NSSize size)
{
  const CGFloat x0 = std::max<CGFloat>(0, std::floor(NSMinX(r))), y0 = std::max<CGFloat>(0, std::floor(NSMinY(r)));
  const CGFloat x1 = std::min<CGFloat>(size.width, std::ceil(NSMaxX(r)));
  const CGFloat y1 = std::min<CGFloat>(size.height, std::ceil(NSMaxY(r)));
  if (x1 <= x0 || y1 <= y0) return NSMakeRect(0, 0, 0, 0);
  return NSMakeRect(x0, y0, x1 - x0, y1 - y0);
}

bool coveredByOpaque(NSView* v, NSRect r)
{
  if (!v || v->isHidden()) return false;
  if (v->isOpaque() && NSContainsRect(v->visibleBaseRect(), r)) return true;
  for (NSView* s : v->subviews())
    if (coveredByOpaque(s, r)) return true;
  return false;
}

}  // namespace

NSWindow::NSWindow(NSRect contentRect, NSUInteger styleMask, NSBackingStoreType, bool)
  : mNumber(gNextWindowNumber++), mFrame(contentRect), mStyleMask(styleMask)
{
  // Bytes X, R, G, B: the platform's window background grey.
  mBackground = 0xFFu | 0xECu << 8 | 0xECu << 16 | 0xECu << 24;
  NSApplication::sharedApplication()->registerWindow(this);
  resizeBacking();
  NSView* content = new NSView(NSMakeRect(0, 0, contentRect.size.width, contentRect.size.height));
  setContentView(content);
  content->release();
}

NSWindow::~NSWindow()
{
  // Out of the application's list first: what its content view's teardown asks of
  // every window (a main menu dropped relays their strips) must not reach this one,
  // whose parts are being let go.
  if (NSApplication::exists()) NSApp->unregisterWindow(this);
  if (!mClosed)
    if (NSPresenter* p = presenter()) p->windowClosed(this);
  for (NSWindow* c : mChildren)
  {
    c->mParent = nullptr;
    c->release();
  }
  mChildren.clear();
  AKRelease(mMouseDownView);
  AKRelease(mMouseOverView);
  AKRelease(mMenuBar);
  AKRelease(mShownBar);
  if (mContentView)
  {
    mContentView->setWindowForTree(nullptr);
    mContentView->setNextResponder(nullptr);
    AKRelease(mContentView);
  }
  if (mBackingContext) CGContextRelease(mBackingContext);
  delete mBacking;
}

NSWindow* NSWindow::windowWithWindowRef(WindowRef ref)
{
  if (!NSApplication::exists()) return nullptr;
  return AKRetain(NSApp->windowWithNumber((NSInteger)(uintptr_t)ref));
}

void NSWindow::resizeBacking()
{
  const int w = (int)std::ceil(mFrame.size.width), h = (int)std::ceil(mFrame.size.height);
  if (mBacking && mBacking->getWidth() == w && mBacking->getHeight() == h) return;
  if (mBackingContext) CGContextRelease(mBackingContext);
  mBackingContext = nullptr;
  if (!mBacking) mBacking = new LICE_SysBitmap(0, 0);
  mBacking->resize(w, h);
  if (mBacking->getBits() && w > 0 && h > 0)
  {
    LICE_PixelValue* bits = mBacking->getBits();
    fillBackground(NSMakeRect(0, 0, w, h));
    mBackingContext = CGBitmapContextCreate(bits, (size_t)w, (size_t)h, 8, (size_t)mBacking->getRowSpan() * 4,
                                            deviceRGB(), kCGImageAlphaNoneSkipFirst);
  }
}

void NSWindow::setContentView(NSView* view)
{
  if (view == mContentView) return;
  if (view) view->retain();
  if (mContentView)
  {
    mContentView->setWindowForTree(nullptr);
    mContentView->setNextResponder(nullptr);
    AKRelease(mContentView);
  }
  if (!view) return;
  if (view->superview()) view->removeFromSuperview();
  mContentView = view;
  view->setFrame(contentFrame());
  view->setNextResponder(this);
  view->setWindowForTree(this);
  invalidateBaseRect(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height));
}

void NSWindow::setFrame(NSRect frame, bool display)
{
  // Read at once: what the window's owner does at the change (WM_SIZE) is asked anew.
  const bool told = mScreenFrame;
  mScreenFrame = false;
  NSPresenter* p = presenter();
  if (!told && p && p->windowFrameAsked(this, frame)) return;
  const bool resized = frame.size.width != mFrame.size.width || frame.size.height != mFrame.size.height;
  const bool moved = frame.origin.x != mFrame.origin.x || frame.origin.y != mFrame.origin.y;
  if (!resized && !moved) return;
  mFrame = frame;
  if (resized)
  {
    resizeBacking();
    mDirty.clear();
    if (mContentView) mContentView->setFrame(contentFrame());
    invalidateBaseRect(NSMakeRect(0, 0, frame.size.width, frame.size.height));
  }
  if (display && resized) displayDirty();
}

NSRect NSWindow::frameAsked() const
{
  NSRect asked;
  NSPresenter* p = presenter();
  return p && p->askedFrame(this, &asked) ? asked : mFrame;
}

void NSWindow::takeScreenFrame(NSRect frame)
{
  mScreenFrame = true;
  setFrame(frame, true);
  mScreenFrame = false;  // an override that applied nothing
}

void NSWindow::center()
{
  const NSRect s = NSScreen::mainScreen()->frame();
  const NSSize size = frameAsked().size;
  setFrame(NSMakeRect(std::floor((s.size.width - size.width) / 2), std::floor((s.size.height - size.height) / 2),
                      size.width, size.height),
           true);
}

void NSWindow::setContentSize(NSSize size)
{
  // The menu bar's strip is the frame's, above the content.
  const CGFloat bar = mBarStrip ? kMenuBarHeight : 0;
  const NSPoint at = frameAsked().origin;
  setFrame(NSMakeRect(at.x, at.y, size.width, size.height + bar), true);
}

NSPoint NSWindow::convertBaseToScreen(NSPoint p) const
{
  return NSMakePoint(mFrame.origin.x + p.x, mFrame.origin.y + p.y);
}

NSPoint NSWindow::convertScreenToBase(NSPoint p) const
{
  return NSMakePoint(p.x - mFrame.origin.x, p.y - mFrame.origin.y);
}

NSRect NSWindow::constrainFrameRect(NSRect f, NSScreen* screen) const
{
  const NSRect s = (screen ? screen : NSScreen::mainScreen())->frame();
  if (f.origin.x + f.size.width > s.origin.x + s.size.width) f.origin.x = s.origin.x + s.size.width - f.size.width;
  if (f.origin.x < s.origin.x) f.origin.x = s.origin.x;
  if (f.origin.y < s.origin.y) f.origin.y = s.origin.y;
  if (f.origin.y + f.size.height > s.origin.y + s.size.height) f.origin.y = s.origin.y + s.size.height - f.size.height;
  return f;
}

NSScreen* NSWindow::screen() const { return NSScreen::mainScreen(); }

void NSWindow::setTitle(const std::string& title)
{
  mTitle = title;
  if (NSPresenter* p = presenter()) p->windowTitleChanged(this);
}

void NSWindow::setBackgroundColor(CGFloat r, CGFloat g, CGFloat b, CGFloat a)
{
  auto c = [](CGFloat v) { return (uint32_t)std::lround(std::min(1.0, std::max(0.0, v)) * 255); };
  // Premultiplied, as drawing over a clear background leaves its pixels.
  a = std::min<CGFloat>(1, std::max<CGFloat>(0, a));
  mBackground = c(a) | c(r * a) << 8 | c(g * a) << 16 | c(b * a) << 24;
  invalidateBaseRect(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height));
}

void NSWindow::setBackgroundColor(NSColor* c)
{
  if (c) setBackgroundColor(c->redComponent(), c->greenComponent(), c->blueComponent(), c->alphaComponent());
}

void NSWindow::setAlphaValue(CGFloat a)
{
  a = std::min<CGFloat>(1, std::max<CGFloat>(0, a));
  if (a == mAlpha) return;
  mAlpha = a;
  if (NSPresenter* p = presenter()) p->windowAppearanceChanged(this);
}

void NSWindow::setIgnoresMouseEvents(bool on)
{
  if (on == mIgnoresMouse) return;
  mIgnoresMouse = on;
  if (NSPresenter* p = presenter()) p->windowAppearanceChanged(this);
}

void NSWindow::setOpaque(bool on)
{
  if (on == mOpaque) return;
  mOpaque = on;
  if (NSPresenter* p = presenter()) p->windowAppearanceChanged(this);
}

// ---- ordering ----

void NSWindow::setLevel(NSInteger level)
{
  if (level == mLevel) return;
  mLevel = level;
  if (mVisible)
    if (NSPresenter* p = presenter()) p->windowLevelChanged(this);
}

void NSWindow::orderFront(NSObject*)
{
  if (NSApplication::exists()) NSApp->windowOrderedFront(this);
  if (mVisible)
  {
    if (NSPresenter* p = presenter()) p->windowRaised(this);
    return;
  }
  mVisible = true;
  mClosed = false;
  mHiddenWithOwner = false;
  if (NSPresenter* p = presenter()) p->windowOrderedIn(this);
  invalidateBaseRect(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height));
  // Each lives until it was shown: what it is told may close another.
  const std::vector<NSWindow*> owned = ownedWindows();
  for (NSWindow* w : owned) w->retain();
  for (NSWindow* w : owned)
    if (w->mHiddenWithOwner) w->orderFront(nullptr);
  for (NSWindow* w : owned) w->release();
}

void NSWindow::makeKeyAndOrderFront(NSObject* sender)
{
  orderFront(sender);
  makeKeyWindow();
}

void NSWindow::orderOut(NSObject*)
{
  mHiddenWithOwner = false;  // hidden by itself: it stays so when its owner comes back
  if (!mVisible) return;
  mVisible = false;  // first: an owner chain that loops back here ends here
  // What belongs to the window goes out of sight with it and comes back with it: a
  // dialog over a miniaturized window is still open, its answer still to come.
  const std::vector<NSWindow*> owned = ownedWindows();
  for (NSWindow* w : owned) w->retain();
  for (NSWindow* w : owned)
    if (w->mVisible)
    {
      w->orderOut(nullptr);
      w->mHiddenWithOwner = true;
    }
  for (NSWindow* w : owned) w->release();
  if (NSPresenter* p = presenter()) p->windowOrderedOut(this);
  if (NSApplication::exists() && NSApp->keyWindow() == this) NSApp->setKeyWindow(nullptr);
}

void NSWindow::makeKeyWindow()
{
  if (NSApplication::exists()) NSApp->setKeyWindow(this);
}

NSWindow* NSWindow::ownerWindow() const
{
  if (mParent) return mParent;
  return mOwnerNumber && NSApplication::exists() ? NSApp->windowWithNumber(mOwnerNumber) : nullptr;
}

std::vector<NSWindow*> NSWindow::ownedWindows() const
{
  std::vector<NSWindow*> owned;
  if (NSApplication::exists())
    for (NSWindow* w : NSApp->windows())
      if (w != this && w->ownerWindow() == this) owned.push_back(w);
  return owned;
}

bool NSWindow::isKeyWindow() const { return NSApplication::exists() && NSApp->keyWindow() == this; }

void NSWindow::performClose(NSObject*)
{
  if (mDelegate && !mDelegate->windowShouldClose(this)) return;
  close();
}

void NSWindow::close()
{
  if (mClosed) return;
  retain();
  if (mDelegate) mDelegate->windowWillClose(this);
  orderOut(nullptr);
  mClosed = true;
  if (mParent) mParent->removeChildWindow(this);
  if (NSPresenter* p = presenter()) p->windowClosed(this);
  if (mReleasedWhenClosed) release();
  release();
}

void NSWindow::addChildWindow(NSWindow* child, NSWindowOrderingMode)
{
  if (!child || child == this || child->mParent == this) return;
  if (child->mParent) child->mParent->removeChildWindow(child);
  child->retain();
  child->mParent = this;
  mChildren.push_back(child);
}

void NSWindow::removeChildWindow(NSWindow* child)
{
  auto it = std::find(mChildren.begin(), mChildren.end(), child);
  if (it == mChildren.end()) return;
  mChildren.erase(it);
  child->mParent = nullptr;
  child->release();
}

// ---- responders and events ----

bool NSWindow::makeFirstResponder(NSResponder* responder)
{
  if (!responder) responder = this;
  if (responder == mFirstResponder) return true;
  if (mFirstResponder && mFirstResponder != this && !mFirstResponder->resignFirstResponder()) return false;
  mFirstResponder = this;
  if (responder != this && !responder->becomeFirstResponder()) return false;
  mFirstResponder = responder;
  return true;
}

void NSWindow::viewLeaving(NSView* view)
{
  if (mFirstResponder && mFirstResponder != this)
    if (NSView* v = dynamic_cast<NSView*>(mFirstResponder))
      if (v->isDescendantOf(view)) mFirstResponder = this;
  if (mMouseDownView && mMouseDownView->isDescendantOf(view)) AKRelease(mMouseDownView);
  if (mMouseOverView && mMouseOverView->isDescendantOf(view)) AKRelease(mMouseOverView);
}

void NSWindow::trackMouse(NSEvent* e, NSView* hit)
{
  if (hit == mMouseOverView) return;
  NSView* old = mMouseOverView;
  mMouseOverView = AKRetain(hit);
  if (old)
  {
    old->mouseExited(e);
    old->release();
  }
  if (hit) hit->mouseEntered(e);
}

// ---- the menu bar ----

namespace {
NSFont* menuBarFont() { return NSFont::systemFontOfSize(13); }
}  // namespace

NSRect NSWindow::menuBarRect() const
{
  if (!mBarStrip) return NSMakeRect(0, 0, 0, 0);
  const CGFloat h = std::min(kMenuBarHeight, mFrame.size.height);
  return NSMakeRect(0, mFrame.size.height - h, mFrame.size.width, h);
}

NSRect NSWindow::contentFrame() const
{
  return NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height - menuBarRect().size.height);
}

void NSWindow::setMenuBar(NSMenu* menu)
{
  if (menu == mMenuBar) return;
  AKAssign(mMenuBar, menu);
  updateMenuBar();
}

void NSWindow::setShowsMainMenu(bool on)
{
  mShowsMainMenu = on;
  updateMenuBar();
}

void NSWindow::updateMenuBar()
{
  NSMenu* mainMenu = NSApplication::exists() ? NSApp->mainMenu() : nullptr;
  NSMenu* shown = mMenuBar;
  if (!shown && mShowsMainMenu && isKeyWindow()) shown = mainMenu;
  // The strip stays while the window is not key, so that its content keeps its size
  // when the window becomes or stops being the key window.
  const bool strip = mMenuBar || (mShowsMainMenu && mainMenu);
  if (shown == mShownBar && strip == mBarStrip) return;
  AKAssign(mShownBar, shown);
  if (strip == mBarStrip)
  {
    invalidateBaseRect(menuBarRect());
    return;
  }
  // The strip is added to the frame, below its top edge, and taken off it again: the
  // content keeps the size it was given (a dialog's controls stay inside it).
  const CGFloat grow = strip ? kMenuBarHeight : -menuBarRect().size.height;
  mBarStrip = strip;
  retain();  // the resize is told to the window's owner, which may close it
  const NSRect from = frameAsked();
  NSRect grown = NSMakeRect(from.origin.x, from.origin.y - grow, from.size.width, from.size.height + grow);
  // A dialog that was on the screen stays on it: a strip that would push its bottom
  // (its buttons) off the screen moves it up instead.
  const NSRect screenFrame = NSScreen::mainScreen()->frame();
  if (mDialog && grow > 0 && from.origin.y >= screenFrame.origin.y && grown.origin.y < screenFrame.origin.y)
    grown.origin.y = screenFrame.origin.y;
  setFrame(grown, false);
  if (mContentView) mContentView->setFrame(contentFrame());
  invalidateBaseRect(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height));
  release();
}

void NSWindow::drawMenuBar(NSRect area)
{
  const NSRect bar = menuBarRect();
  if (NSIsEmptyRect(NSIntersectionRect(bar, area))) return;
  CGContextSaveGState(mBackingContext);
  CGContextClipToRect(mBackingContext, NSIntersectionRect(bar, area));
  AKGray(0.93)->setFill();
  NSColor::fillRect(bar);
  AKGray(0.7)->setFill();
  NSColor::fillRect(NSMakeRect(0, bar.origin.y, bar.size.width, 1));
  NSFont* font = menuBarFont();
  CGFloat x = kMenuBarPad;
  for (NSMenuItem* it : mShownBar ? mShownBar->itemArray() : std::vector<NSMenuItem*>())
  {
    if (it->isSeparatorItem()) continue;
    AKDrawTextLine(it->title(), font, NSMakePoint(x, bar.origin.y + 6), it->isEnabled() ? AKGray(0.1) : AKGray(0.6));
    x += std::ceil(AKMeasureText(it->title(), font)) + 2 * kMenuBarPad;
  }
  CGContextRestoreGState(mBackingContext);
}

bool NSWindow::pressMenuBar(NSEvent* e)
{
  const NSPoint p = e->locationInWindow();
  const NSRect bar = menuBarRect();
  if (!mShownBar || NSIsEmptyRect(bar) || !NSPointInRect(p, bar)) return false;
  NSFont* font = menuBarFont();
  CGFloat x = kMenuBarPad / 2;
  // The bar may change while a menu of it is open.
  NSMenu* menu = AKRetain(mShownBar);
  const std::vector<NSMenuItem*> items(menu->itemArray());
  for (NSMenuItem* it : items)
  {
    if (it->isSeparatorItem()) continue;
    const CGFloat w = std::ceil(AKMeasureText(it->title(), font)) + 2 * kMenuBarPad;
    if (p.x >= x && p.x < x + w)
    {
      if (!it->isEnabled()) break;
      it->retain();
      // The submenu opens under its title.
      openMenuBarItem(it, NSMakePoint(x, bar.origin.y), e);
      it->release();
      break;
    }
    x += w;
  }
  menu->release();
  return true;
}

void NSWindow::openMenuBarItem(NSMenuItem* it, NSPoint at, NSEvent* press)
{
  if (NSMenu* sub = it->submenu())
  {
    NSMenu::submenuWillOpen(sub);
    NSEvent* e = NSEvent::mouseEventWithType(NSLeftMouseDown, at, 0, press ? press->timestamp() : 0, this, 1);
    NSMenu::popUpContextMenu(sub, e, mContentView);
  }
  else if (it->action())
  {
    if (NSResponder* t = dynamic_cast<NSResponder*>(it->target())) t->tryToPerform(it->action(), it);
    else if (mContentView) mContentView->tryToPerform(it->action(), it);
  }
}

namespace {
bool holds(const NSView* v, const NSView* wanted)
{
  if (v == wanted) return true;
  for (const NSView* c : v->subviews())
    if (holds(c, wanted)) return true;
  return false;
}
}  // namespace

NSView* NSWindow::defaultButtonCell() const
{
  // Compared as an address only: a button that left the window may be gone.
  return mDefaultButton && mContentView && holds(mContentView, mDefaultButton) ? mDefaultButton : nullptr;
}

bool NSWindow::pressDefaultButton(NSEvent* e)
{
  const unsigned short k = e->keyCode();
  if ((k != kVK_Return && k != kVK_ANSI_KeypadEnter) ||
      (e->modifierFlags() & (NSCommandKeyMask | NSControlKeyMask | NSAlternateKeyMask)))
    return false;
  NSButton* b = dynamic_cast<NSButton*>(defaultButtonCell());
  if (!b || !b->isEnabled() || b->isHiddenOrHasHiddenAncestor() || dynamic_cast<NSTextView*>(mFirstResponder))
    return false;
  b->performClick(this);
  return true;
}

void NSWindow::keyDown(NSEvent* e)
{
  if (e && e->keyCode() == kVK_Escape) cancelOperation(this);
}

void NSWindow::sendEvent(NSEvent* e)
{
  if (!e) return;
  retain();
  const NSPoint loc = e->locationInWindow();
  auto hitView = [&]() -> NSView* {
    return mContentView ? AKRetain(mContentView->hitTest(loc)) : nullptr;
  };
  NSView* v = nullptr;
  switch (e->type())
  {
    case NSLeftMouseDown:
    case NSRightMouseDown:
      // Key first: a window that shows the application's menu while key shows it under
      // the press (the manager may have taken the keyboard away for a moment).
      if (!isKeyWindow() && canBecomeKeyWindow()) makeKeyWindow();
      if (e->type() == NSLeftMouseDown && pressMenuBar(e)) break;
      v = hitView();
      if (v && v != mFirstResponder && v->acceptsFirstResponder()) makeFirstResponder(v);
      AKAssign(mMouseDownView, v);
      if (v)
      {
        if (e->type() == NSLeftMouseDown) v->mouseDown(e);
        else v->rightMouseDown(e);
      }
      break;
    case NSLeftMouseDragged:
    case NSRightMouseDragged:
      v = mMouseDownView ? AKRetain(mMouseDownView) : hitView();
      if (v)
      {
        if (e->type() == NSLeftMouseDragged) v->mouseDragged(e);
        else v->rightMouseDragged(e);
      }
      break;
    case NSLeftMouseUp:
    case NSRightMouseUp:
      v = mMouseDownView ? AKRetain(mMouseDownView) : hitView();
      AKRelease(mMouseDownView);
      if (v)
      {
        if (e->type() == NSLeftMouseUp) v->mouseUp(e);
        else v->rightMouseUp(e);
      }
      break;
    case NSMouseMoved:
      v = hitView();
      trackMouse(e, v);
      if (v && mAcceptsMouseMoved) v->mouseMoved(e);
      break;
    case NSMouseEntered:
      v = hitView();
      trackMouse(e, v);
      break;
    case NSMouseExited:
      trackMouse(e, nullptr);
      break;
    case NSScrollWheel:
      v = hitView();
      if (v) v->scrollWheel(e);
      break;
    case NSOtherMouseDown:
      v = hitView();
      AKAssign(mMouseDownView, v);
      if (v) v->otherMouseDown(e);
      break;
    case NSOtherMouseDragged:
      v = mMouseDownView ? AKRetain(mMouseDownView) : hitView();
      if (v) v->otherMouseDragged(e);
      break;
    case NSOtherMouseUp:
      v = mMouseDownView ? AKRetain(mMouseDownView) : hitView();
      AKRelease(mMouseDownView);
      if (v) v->otherMouseUp(e);
      break;
    case NSEventTypeMagnify:
    case NSEventTypeRotate:
    case NSEventTypeSwipe:
      v = hitView();
      if (v && e->type() == NSEventTypeMagnify) v->magnifyWithEvent(e);
      else if (v && e->type() == NSEventTypeRotate) v->rotateWithEvent(e);
      else if (v) v->swipeWithEvent(e);
      break;
    case NSKeyDown:
      if (!pressDefaultButton(e)) (mFirstResponder ? mFirstResponder : this)->keyDown(e);
      break;
    case NSKeyUp:
      (mFirstResponder ? mFirstResponder : this)->keyUp(e);
      break;
    default:
      break;
  }
  if (v) v->release();
  release();
}

// ---- drawing ----

void NSWindow::invalidateBaseRect(NSRect rect, bool byView)
{
  NSRect r = pixelAligned(rect, mFrame.size);
  if (NSIsEmptyRect(r)) return;
  if (!byView) mDirtyByKit = true;
  // Overlapping areas merge; past a handful the whole union is drawn once.
  for (size_t i = 0; i < mDirty.size();)
  {
    if (!NSIsEmptyRect(NSIntersectionRect(mDirty[i], r)))
    {
      r = NSUnionRect(r, mDirty[i]);
      mDirty.erase(mDirty.begin() + (long)i);
      i = 0;
      continue;
    }
    ++i;
  }
  mDirty.push_back(r);
  if (mDirty.size() > 8)
  {
    NSRect all = mDirty[0];
    for (const NSRect& d : mDirty) all = NSUnionRect(all, d);
    mDirty.assign(1, all);
  }
}

void NSWindow::displayIfNeeded()
{
  if (mVisible) displayDirty();
}

void NSWindow::flushWindow()
{
  if (mVisible && !needsDisplay() && NSApplication::exists() && NSApp->presenter())
    NSApp->presenter()->present(this, mLastDrawn);
}

void NSWindow::display()
{
  invalidateBaseRect(NSMakeRect(0, 0, mFrame.size.width, mFrame.size.height));
  displayDirty();
}

void NSWindow::displayDirty()
{
  if (mDirty.empty() || !mBackingContext) return;
  retain();
  std::vector<NSRect> dirty;
  dirty.swap(mDirty);
  mLastDrawn.clear();
  const int h = (int)std::ceil(mFrame.size.height);
  // The content view may draw its whole tree for all the areas at once.
  std::vector<NSRect> outer;
  outer.swap(mBeingDrawn);
  const bool outerByKit = mBeingDrawnByKit;
  mBeingDrawn = dirty;
  mBeingDrawnByKit = mDirtyByKit;
  mDirtyByKit = false;
  bool drawn = false;
  if (mContentView && !mContentView->isHidden())
  {
    BackingContextScope scope(mBackingContext);
    drawn = mContentView->_recursiveDisplayRectIfNeededIgnoringOpacity();
    // That pass draws the content view's tree only; the menu bar above it is the window's.
    if (drawn && mBarStrip)
      for (const NSRect& r : dirty) drawMenuBar(r);
  }
  for (const NSRect& r : dirty)
  {
    if (!drawn) drawBaseRect(r);
    mLastDrawn.push_back(AKPixelRect{(int)NSMinX(r), h - (int)NSMaxY(r), (int)NSMaxX(r), h - (int)NSMinY(r)});
  }
  mBeingDrawn.swap(outer);
  mBeingDrawnByKit = outerByKit;
  ++mDisplayCount;
  if (mVisible)
    if (NSPresenter* p = presenter()) p->present(this, mLastDrawn);
  release();
}

void NSWindow::drawBaseRect(NSRect r)
{
  BackingContextScope scope(mBackingContext);
  if (!coveredByOpaque(mContentView, r)) fillBackground(r);
  if (mContentView) drawView(mContentView, r);
  if (mBarStrip) drawMenuBar(r);
}

// Sets the pixels of the area (base coordinates) to the background, its alpha
// byte included: a clear background is see-through, not painted over.
void NSWindow::fillBackground(NSRect r)
{
  const NSRect p = pixelAligned(r, NSMakeSize(mBacking->getWidth(), mBacking->getHeight()));
  const int top = mBacking->getHeight() - (int)NSMaxY(p), bottom = mBacking->getHeight() - (int)NSMinY(p);
  for (int y = top; y < bottom; ++y)
  {
    LICE_PixelValue* row = mBacking->getBits() + (size_t)y * mBacking->getRowSpan();
    std::fill(row + (int)NSMinX(p), row + (int)NSMaxX(p), mBackground);
  }
}

void NSWindow::drawViewTree(NSView* view, NSRect baseArea)
{
  if (!view || view->window() != this || !mBackingContext) return;
  BackingContextScope scope(mBackingContext);
  drawView(view, baseArea);
}

void NSWindow::drawView(NSView* view, NSRect baseArea)
{
  if (view->isHidden()) return;
  const NSRect area = NSIntersectionRect(view->visibleBaseRect(), baseArea);
  if (NSIsEmptyRect(area)) return;
  view->retain();
  AKFocusView(mBackingContext, view, area);
  view->setNeedsDisplay(false);
  view->drawRect(view->convertRect(area, nullptr));
  CGContextRestoreGState(mBackingContext);
  std::vector<NSView*> subviews = view->subviews();
  for (NSView* s : subviews) s->retain();
  for (NSView* s : subviews)
  {
    if (s->superview() == view) drawView(s, area);
    s->release();
  }
  view->release();
}

bool NSWindow::writePNG(const std::string& path) const
{
  if (!mBacking || !mBacking->getBits()) return false;
  // The first byte of each pixel is not alpha in a window's backing, so none is written.
  return LICE_WritePNG(path.c_str(), mBacking, false);
}

// ---- NSScreen ----

NSScreen* NSScreen::mainScreen()
{
  static NSScreen* s = new NSScreen;
  return s;
}

NSRect NSScreen::frame() const
{
  const NSSize size = presenter() ? presenter()->screenSize() : NSMakeSize(1920, 1080);
  return NSMakeRect(0, 0, size.width, size.height);
}
