// Geometry, visibility and invalidation of windows.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/wnd_views.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Left and top truncated; right and bottom = origin + size + 0.5, truncated.
RECT toRECT(NSRect r)
{
  return RECT{(int32_t)r.origin.x, (int32_t)r.origin.y, (int32_t)(r.origin.x + r.size.width + 0.5),
              (int32_t)(r.origin.y + r.size.height + 0.5)};
}

int roundCoord(CGFloat v) { return (int)(v + 0.5); }

}  // namespace

void ClientToScreen(HWND h, POINT* pt)
{
  NSView* v = viewOrContent(h);
  if (!v || !pt) return;
  NSPoint p = v->convertPointToView(NSMakePoint(pt->x, pt->y), nullptr);
  if (NSWindow* w = v->window()) p = w->convertBaseToScreen(p);
  pt->x = roundCoord(p.x);
  pt->y = roundCoord(p.y);
}

void ScreenToClient(HWND h, POINT* pt)
{
  NSView* v = viewOrContent(h);
  if (!v || !pt) return;
  NSPoint p = NSMakePoint(pt->x, pt->y);
  if (NSWindow* w = v->window()) p = w->convertScreenToBase(p);
  p = v->convertPoint(p, nullptr);
  pt->x = (int)std::floor(p.x + 0.5);
  pt->y = (int)std::floor(p.y + 0.5);
}

HWND SWELL_NavigateUpScrollClipViews(HWND h)
{
  if (NSWindow* w = asWindow(h)) return SWELL_HWND(w->contentView());
  NSView* v = asView(h);
  return v ? SWELL_HWND(frameViewOf(v)) : nullptr;
}

bool GetWindowRect(HWND h, RECT* r)
{
  if (!r) return false;
  *r = RECT{0, 0, 0, 0};
  NSObject* o = SWELL_Object(h);
  if (!o) return false;
  NSView* v = dynamic_cast<NSView*>(o);
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (v && isContentView(v)) w = v->window();
  if (w)
  {
    *r = toRECT(w->frame());
    return true;
  }
  if (!v) return false;
  // A list in its scroll view measures as the scroll view.
  NSView* f = frameViewOf(v);
  *r = toRECT(f->bounds());
  POINT a{r->left, r->top}, b{r->right, r->bottom};
  ClientToScreen(SWELL_HWND(f), &a);
  ClientToScreen(SWELL_HWND(f), &b);
  *r = RECT{a.x, a.y, b.x, b.y};
  return true;
}

void GetWindowContentViewRect(HWND h, RECT* r)
{
  if (!r) return;
  NSView* v = asView(h);
  NSWindow* w = asWindow(h);
  if (v && isContentView(v)) w = v->window();
  if (!w)
  {
    GetWindowRect(h, r);
    return;
  }
  NSView* c = w->contentView();
  *r = toRECT(c ? c->bounds() : NSMakeRect(0, 0, 0, 0));
  if (!c) return;
  POINT a{r->left, r->top}, b{r->right, r->bottom};
  ClientToScreen(SWELL_HWND(c), &a);
  ClientToScreen(SWELL_HWND(c), &b);
  *r = RECT{a.x, a.y, b.x, b.y};
}

void GetClientRect(HWND h, RECT* r)
{
  if (!r) return;
  *r = RECT{0, 0, 0, 0};
  NSView* v = viewOrContent(h);
  if (!v) return;
  *r = toRECT(frameViewOf(v)->bounds());
  NCCALCSIZE_PARAMS p{};
  p.rgrc[0] = *r;
  SendMessage(SWELL_HWND(v), WM_NCCALCSIZE, 0, (LPARAM)&p);
  r->right = r->left + (p.rgrc[0].right - p.rgrc[0].left);
  r->bottom = r->top + (p.rgrc[0].bottom - p.rgrc[0].top);
}

void SetWindowPos(HWND h, HWND after, int x, int y, int cx, int cy, int flags)
{
  NSObject* o = SWELL_Object(h);
  if (!o) return;
  NSView* v = dynamic_cast<NSView*>(o);
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (v && isContentView(v))
  {
    w = v->window();
    v = nullptr;
  }
  if (!v && !w) return;
  if (v) v = frameViewOf(v);
  if (v && !(flags & SWP_NOZORDER) && v->superview())
  {
    NSView* parent = v->superview();
    const std::vector<NSView*>& list = parent->subviews();
    const long n = (long)list.size();
    const long i = std::find(list.begin(), list.end(), v) - list.begin();
    NSView* anchor = nullptr;
    int place = 0;
    if (after != h && n >= 2 && after != HWND_TOPMOST && after != HWND_NOTOPMOST)
    {
      if (after == HWND_BOTTOM)
      {
        if (i > 0) anchor = list.front(), place = -1;
      }
      else if (after == HWND_TOP)
      {
        if (i < n - 1) anchor = list.back(), place = 1;
      }
      else
      {
        auto it = std::find(list.begin(), list.end(), (NSView*)SWELL_Object(after));
        if (it != list.end() && (it - list.begin()) != i - 1) anchor = *it, place = 1;
      }
    }
    // A capture inside the view keeps its branch where it is while the mouse is down.
    NSView* cap = dynamic_cast<NSView*>(SWELL_Object(GetCapture()));
    if (anchor && !(cap && cap->isDescendantOf(v)))
    {
      NSWindow* win = v->window();
      NSView* fr = win ? dynamic_cast<NSView*>(win->firstResponder()) : nullptr;
      if (fr && !fr->isDescendantOf(v)) fr = nullptr;
      v->retain();
      v->removeFromSuperviewWithoutNeedingDisplay();
      parent->addSubview(v, place, anchor);
      v->release();
      if (fr && win) win->makeFirstResponder(fr);
    }
  }
  // A window's place asked and not yet taken by the screen is the one to change.
  NSRect f = v ? v->frame() : w->frameAsked();
  if (!(flags & SWP_NOMOVE)) f.origin = NSMakePoint((float)x, (float)y);
  if (!(flags & SWP_NOSIZE)) f.size = NSMakeSize((float)cx, (float)std::abs(cy));
  if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) == (SWP_NOMOVE | SWP_NOSIZE)) return;
  if (v)
  {
    v->setFrame(f);
    // Text in a scroll view follows the content size wherever no scroller shows
    // more of it.
    if (NSScrollView* sv = dynamic_cast<NSScrollView*>(v))
      if (NSTextView* tv = dynamic_cast<NSTextView*>(sv->documentView()))
      {
        NSSize s = tv->frame().size;
        if (!sv->hasHorizontalScroller()) s.width = sv->contentSize().width;
        if (!sv->hasVerticalScroller()) s.height = sv->contentSize().height;
        tv->setFrameSize(s);
      }
    return;
  }
  const NSSize mn = w->minSize(), mx = w->maxSize();
  f.size.width = f.size.width < mn.width ? mn.width : std::min(f.size.width, mx.width);
  f.size.height = f.size.height < mn.height ? mn.height : std::min(f.size.height, mx.height);
  w->setFrame(f, false);
  w->display();
}

namespace {
void showTopLevel(NSWindow* w, int cmd)
{
  switch (cmd)
  {
    case SW_HIDE:
      w->orderOut(nullptr);
      break;
    case SW_SHOWNA:
      // A dialog that asked for the keyboard when it was made gets it when first shown.
      if (Swell_vDavrel_64_modelesswindow* m = dynamic_cast<Swell_vDavrel_64_modelesswindow*>(w))
        if (m->m_wantInitialKeyWindowOnShow)
        {
          m->m_wantInitialKeyWindowOnShow = false;
          w->makeKeyAndOrderFront(nullptr);
          break;
        }
      w->orderFront(nullptr);
      break;
    case SW_SHOW:
      w->makeKeyAndOrderFront(nullptr);
      break;
    case SW_SHOWMINIMIZED:
      w->miniaturize(nullptr);
      break;
    default:
      break;
  }
}
}  // namespace

void ShowWindow(HWND h, int cmd)
{
  NSObject* o = SWELL_Object(h);
  if (NSWindow* w = dynamic_cast<NSWindow*>(o))
  {
    showTopLevel(w, cmd);
    return;
  }
  NSView* f = dynamic_cast<NSView*>(o);
  if (!f) return;
  f = frameViewOf(f);
  f->retain();
  if (cmd == SW_SHOWNA || cmd == SW_SHOW) f->setHidden(false);
  else if (cmd == SW_HIDE)
  {
    NSWindow* w = f->window();
    if (w && w->isKeyWindow())
      if (NSView* fr = dynamic_cast<NSView*>(w->firstResponder()))
        if (fr->isDescendantOf(f)) SetFocus(GetParent(SWELL_HWND(f)));
    if (!f->isHidden())
    {
      if (!isContentView(f) && f->superview())
      {
        RECT r;
        GetWindowRect(SWELL_HWND(f), &r);
        POINT a{r.left, r.top}, b{r.right, r.bottom};
        const HWND sh = SWELL_HWND(f->superview());
        ScreenToClient(sh, &a);
        ScreenToClient(sh, &b);
        const RECT inParent{a.x, a.y, b.x, b.y};
        InvalidateRect(sh, &inParent, 0);
      }
      f->setHidden(true);
    }
  }
  if (isContentView(f)) showTopLevel(f->window(), cmd);
  f->release();
}

bool IsWindowVisible(HWND h)
{
  NSObject* o = SWELL_Object(h);
  if (!o) return false;
  if (NSView* v = dynamic_cast<NSView*>(o))
  {
    if (v->window() && !v->window()->isVisible()) return false;
    return !v->isHiddenOrHasHiddenAncestor();
  }
  if (NSWindow* w = dynamic_cast<NSWindow*>(o)) return w->isVisible();
  return true;
}

void EnableWindow(HWND h, int enable)
{
  NSView* v = viewOrContent(h);
  if (Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(v)) wv->setEnabled(enable != 0);
  else if (NSControl* c = dynamic_cast<NSControl*>(v))
  {
    c->setEnabled(enable != 0);
    // A label shows that it is disabled by fading its text to half.
    Swell_vDavrel_64_textfield* f = dynamic_cast<Swell_vDavrel_64_textfield*>(c);
    if (f && !f->isEditable() && !f->isBordered() && !f->drawsBackground())
    {
      const NSColor* t = f->textColor();
      f->setTextColor(NSColor::colorWithCalibratedRed(t ? t->redComponent() : 0, t ? t->greenComponent() : 0,
                                                      t ? t->blueComponent() : 0, enable ? 1.0 : 0.5));
    }
  }
}

void CenterWindow(HWND h)
{
  NSObject* o = SWELL_Object(h);
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (NSView* v = dynamic_cast<NSView*>(o)) w = v->window();
  if (w) w->center();
}

void InvalidateRect(HWND h, const RECT* r, int)
{
  NSView* v = viewOrContent(h);
  if (!v) return;
  Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(v);
  if (!wv || !(wv->dirtyBits() & 1))
  {
    if (wv) wv->setDirtyBits(wv->dirtyBits() | 1);
    for (NSView* a = v->superview(); a; a = a->superview())
      if (Swell_vDavrel_64_hwnd* av = dynamic_cast<Swell_vDavrel_64_hwnd*>(a))
      {
        if (av->dirtyBits() & 2) break;
        av->setDirtyBits(av->dirtyBits() | 2);
      }
  }
  if (!r) v->setNeedsDisplay(true);
  else
    v->setNeedsDisplayInRect(NSMakeRect(r->left, std::min(r->top, r->bottom), (CGFloat)r->right - r->left,
                                        std::abs((CGFloat)r->bottom - r->top)));
}

void UpdateWindow(HWND h)
{
  NSView* v = viewOrContent(h);
  if (v && v->needsDisplay() && v->window()) v->window()->displayIfNeeded();
}

BOOL ScrollWindow(HWND h, int dx, int dy, const RECT*, const RECT*)
{
  NSView* v = viewOrContent(h);
  if (!v || (!dx && !dy)) return FALSE;
  const std::vector<NSView*> list(v->subviews());
  for (NSView* c : list)
  {
    NSRect f = c->frame();
    f.origin.x += dx;
    f.origin.y += dy;
    c->setFrame(f);
  }
  v->setNeedsDisplay(true);
  return TRUE;
}

int GetSystemMetrics(int index)
{
  switch (index)
  {
    case 0:
      return (int)NSScreen::mainScreen()->frame().size.width;
    case 1:
      return (int)NSScreen::mainScreen()->frame().size.height;
    case 2:
    case 3:
    case 20:
    case 21:
      return 16;
    default:
      return 0;
  }
}

HWND WindowFromPoint(POINT pt)
{
  if (!NSApplication::exists()) return nullptr;
  const NSPoint p = NSMakePoint(pt.x, pt.y);
  NSWindow* w = NSApp->windowAtPoint(p);
  if (!w) return nullptr;
  NSView* c = w->contentView();
  if (!c) return SWELL_HWND(w);
  NSView* hit = c->hitTest(c->superview() ? p : w->convertScreenToBase(p));
  return SWELL_HWND(hit ? hit : c);
}

void SetOpaque(HWND h, bool opaque)
{
  if (Swell_vDavrel_64_hwnd* v = SWELL_Object(h) ? SWELL_WindowView(h) : nullptr) v->setOpaque(opaque);
}

namespace {
NSWindow* windowOf(HWND h)
{
  NSObject* o = SWELL_Object(h);
  if (NSWindow* w = dynamic_cast<NSWindow*>(o)) return w;
  if (NSView* v = dynamic_cast<NSView*>(o)) return v->window();
  return nullptr;
}
}  // namespace

void SWELL_GetViewPort(RECT* out, const RECT* source, bool)
{
  if (!out) return;
  // The kit has one screen, the main one; its work area is the whole of it.
  const NSRect f = NSScreen::mainScreen()->frame();
  *out = RECT{(int32_t)f.origin.x, (int32_t)f.origin.y, (int32_t)(f.origin.x + f.size.width),
              (int32_t)(f.origin.y + f.size.height)};
  (void)source;
}

int SWELL_SetWindowLevel(HWND h, int level)
{
  NSWindow* w = windowOf(h);
  if (!w) return 0;
  const int old = (int)w->level();
  w->setLevel(level);
  return old;
}

void SetTransparent(HWND h)
{
  if (NSWindow* w = windowOf(h))
  {
    w->setBackgroundColor(NSColor::clearColor());
    w->setOpaque(false);
  }
}

void SWELL_SetWindowShadow(HWND h, bool shadow)
{
  if (NSWindow* w = windowOf(h)) w->setHasShadow(shadow);
}

void SWELL_FlushWindow(HWND h)
{
  NSObject* o = SWELL_Object(h);
  NSView* v = dynamic_cast<NSView*>(o);
  if (v && v->needsDisplay()) return;
  // Drawn areas are shown as they are drawn; a window with nothing pending is shown again.
  if (NSWindow* w = windowOf(h)) w->flushWindow();
}

// ---- raise amount, represented file, default button, fitted size, the application ----

namespace {
Swell_vDavrel_64_modelesswindow* modelessOf(HWND h)
{
  return dynamic_cast<Swell_vDavrel_64_modelesswindow*>(windowOf(h));
}
}  // namespace

int SWELL_GetWindowWantRaiseAmt(HWND h)
{
  Swell_vDavrel_64_modelesswindow* m = modelessOf(h);
  return m ? m->m_wantraiseamt : 0;
}

void SWELL_SetWindowWantRaiseAmt(HWND h, int amount)
{
  Swell_vDavrel_64_modelesswindow* m = modelessOf(h);
  if (!m) return;
  const int diff = amount - m->m_wantraiseamt;
  m->m_wantraiseamt = amount;
  // The kit's application is always the active one.
  if (diff) m->setLevel(m->level() + diff);
}

void SWELL_SetWindowRepre(HWND h, const char* filename, bool edited)
{
  NSWindow* w = windowOf(h);
  if (!w) return;
  if (w->contentView() && GetProp(SWELL_HWND(w->contentView()), "SWELL_DisableWindowRepre")) return;
  w->setDocumentEdited(edited);
  w->setRepresentedFilename(filename ? filename : "");
}

int SWELL_GetDefaultButtonID(HWND h, bool onlyEnabled)
{
  NSView* v = asView(h);
  NSWindow* w = v ? v->window() : nullptr;
  NSView* b = w ? w->defaultButtonCell() : nullptr;
  if (!b) return 0;
  NSControl* c = dynamic_cast<NSControl*>(b);
  if (onlyEnabled && c && !c->isEnabled()) return 0;
  return (int)b->tag();
}

void SWELL_GetDesiredControlSize(HWND h, RECT* r)
{
  NSControl* c = dynamic_cast<NSControl*>(SWELL_Object(h));
  if (!c || !r) return;
  const NSRect noted = c->frame();
  c->sizeToFit();
  const NSRect fitted = c->frame();
  c->setFrame(noted);
  *r = RECT{0, 0, (int32_t)fitted.size.width, (int32_t)fitted.size.height};
}

bool SWELL_SetAppAutoHideMenuAndDock(int ah)
{
  if (!NSApplication::exists()) return false;
  if (swellSystemVersion() < 0x1060) return false;
  static const NSUInteger defaults = NSApp->presentationOptions();
  // Auto-hide dock and menu bar (1 | 4), or hidden dock and auto-hidden menu bar (2 | 4).
  NSApp->setPresentationOptions(ah <= 0 ? defaults : ah == 1 ? 5 : 6);
  return true;
}

void SWELL_HideApp()
{
  if (NSApplication::exists()) NSApp->hide(nullptr);
}
