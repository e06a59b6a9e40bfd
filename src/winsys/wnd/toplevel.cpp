#include "winsys/wnd/toplevel.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSMenu.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/shell/menus.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

bool SWELL_owned_windows_levelincrease = false;

namespace {

NSWindow* last_key_window = nullptr;  // not retained; cleared when it is destroyed
HMENU g_swell_defaultmenu = nullptr;
HMENU g_swell_defaultmenumodal = nullptr;

NSMenu* menuOf(HMENU m) { return SWELL_MenuOf(m); }

bool appIsActive() { return NSApplication::exists() && NSApp->isActive(); }

}  // namespace

LPARAM SWELL_PackPointParam(int x, int y)
{
  // Through unsigned arithmetic: shifting a negative y is undefined, the bits are not.
  const uint32_t packed = ((uint32_t)y << 16) | ((uint32_t)x & 0xFFFFu);
  return (LPARAM)(int32_t)packed;
}

HMENU SWELL_GetDefaultWindowMenu() { return g_swell_defaultmenu; }
void SWELL_SetDefaultWindowMenu(HMENU menu) { g_swell_defaultmenu = menu; }
HMENU SWELL_GetDefaultModalWindowMenu() { return g_swell_defaultmenumodal; }
void SWELL_SetDefaultModalWindowMenu(HMENU menu) { g_swell_defaultmenumodal = menu; }

// ---- shared behaviour ----

template <class Base>
SWELL_TopLevelWindow<Base>::SWELL_TopLevelWindow(NSRect contentRect, NSUInteger styleMask)
  : Base(contentRect, styleMask, NSBackingStoreBuffered, false)
{
}

template <class Base>
SWELL_TopLevelWindow<Base>::~SWELL_TopLevelWindow()
{
  // Nothing may retain the window now: it leaves the key status without being told.
  const bool wasKey = NSApplication::exists() && NSApp->keyWindow() == this;
  if (wasKey) NSApp->unregisterWindow(this);
  doDestroyStuff(wasKey);
}

void updateWindowCollection(NSWindow* w)
{
  // Managed by the desktop's workspaces and part of the window cycle (4 | 32).
  if (w && swellSystemVersion() >= 0x1060) w->setCollectionBehavior(36);
}

template <class Base>
void SWELL_TopLevelWindow<Base>::commonSetUp()
{
  this->setDelegate(this);
  this->setAcceptsMouseMovedEvents(true);
  // The desktop has no menu bar: the application's menu shows in its key window.
  this->setShowsMainMenu(true);
  updateWindowCollection(this);
}

template <class Base>
LRESULT SWELL_TopLevelWindow<Base>::sendToContent(UINT msg, WPARAM wParam, LPARAM lParam) const
{
  SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(this->contentView());
  return t ? t->onSwellMessage(msg, wParam, lParam) : 0;
}

template <class Base>
bool SWELL_TopLevelWindow<Base>::canBecomeKeyWindow() const
{
  return m_enabled && !SWELL_IsTerminating();
}

template <class Base>
void SWELL_TopLevelWindow<Base>::setFrame(NSRect frame, bool display)
{
  const NSRect old = this->frame();
  Base::setFrame(frame, display);
  const NSRect now = this->frame();
  if (now.origin.x != old.origin.x || now.origin.y != old.origin.y) windowDidMove();
  if ((int)now.size.width != (int)lastFrameSize.width || (int)now.size.height != (int)lastFrameSize.height)
  {
    sendToContent(WM_SIZE, 0, 0);
    NSView* c = this->contentView();
    if (c && c->isOpaque()) InvalidateRect(SWELL_HWND(c), nullptr, 0);
  }
  lastFrameSize = now.size;
}

template <class Base>
void SWELL_TopLevelWindow<Base>::windowDidMove()
{
  const NSRect f = this->frame();
  sendToContent(WM_MOVE, 0, SWELL_PackPointParam((int)f.origin.x, (int)f.origin.y));
}

template <class Base>
bool SWELL_TopLevelWindow<Base>::accessibilityIsIgnored() const
{
  NSView* c = this->contentView();
  return !(this->styleMask() & NSTitledWindowMask) && (!c || c->subviews().empty());
}

template <class Base>
void SWELL_TopLevelWindow<Base>::resignKeyWindow()
{
  if (SWELL_IsTerminating()) return;
  sendToContent(WM_ACTIVATE, WA_INACTIVE, 0);
  last_key_window = this;
}

template <class Base>
void SWELL_TopLevelWindow<Base>::becomeKeyWindow()
{
  if (SWELL_IsTerminating()) return;
  NSView* previous = nullptr;
  if (last_key_window && IsWindow(SWELL_HWND(last_key_window)))
  {
    NSView* c = last_key_window->contentView();
    Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(c);
    if (!wv || !wv->swellHasBeenDestroyed()) previous = c;
  }
  Swell_vDavrel_64_hwnd* own = dynamic_cast<Swell_vDavrel_64_hwnd*>(this->contentView());
  if (own && own->swellHasBeenDestroyed()) return;
  NSMenu* menu = own ? own->swellGetMenu() : nullptr;
  if (!menu) menu = menuOf(defaultMenu());
  if (menu && NSApp->mainMenu() != menu) NSApp->setMainMenu(menu);
  sendToContent(WM_ACTIVATE, WA_ACTIVE, (LPARAM)SWELL_HWND(previous));
  sendToContent(WM_MOUSEACTIVATE, 0, 0);
}

template <class Base>
bool SWELL_TopLevelWindow<Base>::windowShouldClose(NSWindow*)
{
  // The procedure decides: the kit never closes the window by itself.
  this->retain();
  if (!sendToContent(WM_CLOSE, 0, 0)) sendToContent(WM_COMMAND, IDCANCEL, 0);
  this->release();
  return false;
}

template <class Base>
void SWELL_TopLevelWindow<Base>::cancelOperation(NSObject*)
{
  Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(this->contentView());
  if (!v || !v->getSwellDialogProc()) return;
  this->retain();
  sendToContent(WM_COMMAND, IDCANCEL, 0);
  this->release();
}

template <class Base>
void SWELL_TopLevelWindow<Base>::openMenuBarItem(NSMenuItem* item, NSPoint at, NSEvent* press)
{
  // The window's own menu, and a main menu that has a destination, route their
  // items already.
  NSView* content = this->contentView();
  NSMenu* sub = item->submenu();
  if (this->menuBar() || !dynamic_cast<SWELL_WindowTarget*>(content) || (sub ? sub->delegate() : item->target()))
  {
    Base::openMenuBarItem(item, at, press);
    return;
  }
  this->retain();
  if (!sub)
  {
    if (item->tag()) sendToContent(WM_COMMAND, (WPARAM)item->tag(), 0);
  }
  else
  {
    // Under its title: the pop-up opens 4 points below the point it is given.
    const NSPoint screen = this->convertBaseToScreen(NSMakePoint(at.x, at.y + 4));
    TrackPopupMenu(SWELL_HMENUOf(sub), 0, (int)std::lround(screen.x), (int)std::lround(screen.y), 0,
                   SWELL_HWND(content), nullptr);
  }
  this->release();
}

template <class Base>
NSSize SWELL_TopLevelWindow<Base>::minSize() const
{
  const NSSize own = Base::minSize();
  MINMAXINFO mmi{};
  mmi.ptMinTrackSize.x = (int32_t)own.width;
  mmi.ptMinTrackSize.y = (int32_t)own.height;
  sendToContent(WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
  return NSMakeSize(mmi.ptMinTrackSize.x, mmi.ptMinTrackSize.y);
}

template <class Base>
NSSize SWELL_TopLevelWindow<Base>::maxSize() const
{
  const NSSize own = Base::maxSize();
  auto clamp = [](CGFloat v) { return (int32_t)std::min<CGFloat>(1000000, std::max<CGFloat>(1, v)); };
  MINMAXINFO mmi{};
  mmi.ptMaxTrackSize.x = clamp(own.width);
  mmi.ptMaxTrackSize.y = clamp(own.height);
  sendToContent(WM_GETMINMAXINFO, 0, (LPARAM)&mmi);
  return NSMakeSize(mmi.ptMaxTrackSize.x < 1000000 ? mmi.ptMaxTrackSize.x : own.width,
                    mmi.ptMaxTrackSize.y < 1000000 ? mmi.ptMaxTrackSize.y : own.height);
}

template <class Base>
void SWELL_TopLevelWindow<Base>::swellAddOwnedWindow(NSWindow* w)
{
  for (OwnedWindowListRec* p = m_ownedwnds; p; p = p->_next)
    if (p->hwnd == w) return;
  OwnedWindowListRec* p = (OwnedWindowListRec*)malloc(sizeof(OwnedWindowListRec));
  if (!p) return;
  p->hwnd = w;
  p->_next = m_ownedwnds;
  m_ownedwnds = p;
  if (SWELL_OwnerWindow* o = dynamic_cast<SWELL_OwnerWindow*>(w)) o->swellSetOwner(this);
  if (SWELL_owned_windows_levelincrease && w)
  {
    int amount = 1;
    if (Swell_vDavrel_64_modelesswindow* m = dynamic_cast<Swell_vDavrel_64_modelesswindow*>(w))
      amount += m->m_wantraiseamt;
    if (appIsActive()) w->setLevel(this->level() + amount);
  }
}

template <class Base>
void SWELL_TopLevelWindow<Base>::swellRemoveOwnedWindow(NSWindow* w)
{
  for (OwnedWindowListRec** pp = &m_ownedwnds; *pp; pp = &(*pp)->_next)
    if ((*pp)->hwnd == w)
    {
      OwnedWindowListRec* p = *pp;
      *pp = p->_next;
      free(p);
      // A window no longer in the list must not point back at an owner that may go.
      if (SWELL_OwnerWindow* o = dynamic_cast<SWELL_OwnerWindow*>(w))
        if (o->swellGetOwner() == this) o->swellSetOwner(nullptr);
      return;
    }
}

template <class Base>
void SWELL_TopLevelWindow<Base>::swellResetOwnedWindowLevels()
{
  if (!SWELL_owned_windows_levelincrease || !m_ownedwnds) return;
  const bool active = appIsActive();
  const NSInteger base = this->level() + (active ? 1 : 0);
  for (OwnedWindowListRec* p = m_ownedwnds; p; p = p->_next)
  {
    NSInteger level = base;
    if (active)
      if (Swell_vDavrel_64_modelesswindow* m = dynamic_cast<Swell_vDavrel_64_modelesswindow*>(p->hwnd))
        level += m->m_wantraiseamt;
    p->hwnd->setLevel(level);
    if (SWELL_OwnerWindow* o = dynamic_cast<SWELL_OwnerWindow*>(p->hwnd)) o->swellResetOwnedWindowLevels();
  }
}

template <class Base>
void SWELL_TopLevelWindow<Base>::swellDestroyAllOwnedWindows()
{
  OwnedWindowListRec* p = m_ownedwnds;
  m_ownedwnds = nullptr;
  while (p)
  {
    OwnedWindowListRec* next = p->_next;
    DestroyWindow(SWELL_HWND(p->hwnd));
    free(p);
    p = next;
  }
}

template <class Base>
void SWELL_TopLevelWindow<Base>::swellDoDestroyStuff()
{
  doDestroyStuff(NSApplication::exists() && NSApp->keyWindow() == this);
}

template <class Base>
void SWELL_TopLevelWindow<Base>::doDestroyStuff(bool wasKey)
{
  if (last_key_window == this) last_key_window = nullptr;
  swellDestroyAllOwnedWindows();
  if (last_key_window == this) last_key_window = nullptr;
  if (m_owner)
  {
    NSWindow* owner = m_owner;
    m_owner = nullptr;
    if (SWELL_OwnerWindow* o = dynamic_cast<SWELL_OwnerWindow*>(owner)) o->swellRemoveOwnedWindow(this);
    if (wasKey) owner->makeKeyWindow();
  }
}

template class SWELL_TopLevelWindow<NSWindow>;
template class SWELL_TopLevelWindow<NSPanel>;

// ---- registration with an owner ----

namespace {

void registerWithOwner(NSObject* owner, NSWindow* w)
{
  if (!owner) return;
  SWELL_OwnerWindow* o = dynamic_cast<SWELL_OwnerWindow*>(owner);
  if (!o)
    if (NSView* v = dynamic_cast<NSView*>(owner)) o = dynamic_cast<SWELL_OwnerWindow*>(v->window());
  if (!o) return;
  o->swellAddOwnedWindow(w);
  // The desktop keeps an owned window with its owner (above it, out of the task list).
  if (NSWindow* ownerWindow = dynamic_cast<NSWindow*>(o)) w->setOwnerWindow(ownerWindow);
}

// The content rectangle 50 points right of the reference's left edge, its upper
// edge 100 points below the reference's upper edge (screen y grows upward).
NSRect placeBelow(NSObject* reference, NSSize size)
{
  RECT r{0, 0, 0, 0};
  if (reference) GetWindowRect(SWELL_HWND(reference), &r);
  else SWELL_GetViewPort(&r, nullptr, false);
  return NSMakeRect(r.left + 50, r.bottom - 100 - size.height, size.width, size.height);
}

}  // namespace

// ---- modeless windows ----

Swell_vDavrel_64_modelesswindow* Swell_vDavrel_64_modelesswindow::initModelessForChild(NSView* child,
                                                                                       NSObject* owner,
                                                                                       unsigned styleMask)
{
  const NSSize size = child ? child->bounds().size : NSMakeSize(0, 0);
  Swell_vDavrel_64_modelesswindow* w = new Swell_vDavrel_64_modelesswindow(placeBelow(owner, size), styleMask);
  w->commonSetUp();
  w->setReleasedWhenClosed(true);
  if (child) w->setContentView(child);
  // A window view that has a menu shows it in its new frame.
  if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(child)) w->setMenuBar(v->swellGetMenu());
  registerWithOwner(owner, w);
  w->display();
  return w;
}

Swell_vDavrel_64_modelesswindow* Swell_vDavrel_64_modelesswindow::initModeless(
    const SWELL_DialogResourceIndex* resource, NSObject* parent, DLGPROC proc, LPARAM param, HWND* outputHwnd,
    unsigned forceStyles)
{
  const NSSize size = resource ? NSMakeSize(resource->width, resource->height) : NSMakeSize(10, 10);
  unsigned style = forceStyles;
  if (resource)
  {
    style = forceStyles | NSTitledWindowMask | NSClosableWindowMask | NSMiniaturizableWindowMask;
    if (resource->flags & SWELL_DLG_RESIZABLE) style |= NSResizableWindowMask;
  }
  Swell_vDavrel_64_modelesswindow* w = new Swell_vDavrel_64_modelesswindow(placeBelow(parent, size), style);
  w->setIsDialog(resource != nullptr);
  w->commonSetUp();
  // Destroying the window frees it; a dialog box is freed by its modal run instead.
  w->setReleasedWhenClosed(true);
  if (resource && resource->title) SetDlgItemText(SWELL_HWND(w), 0, resource->title);
  registerWithOwner(parent, w);
  w->retain();
  Swell_vDavrel_64_hwnd* v = Swell_vDavrel_64_hwnd::initChild(resource, w, proc, param);
  v->setSwellCreateWindowFlags(style);
  if (outputHwnd) *outputHwnd = SWELL_HWND(v);
  v->release();
  w->display();
  w->release();
  return w;
}

HMENU Swell_vDavrel_64_modelesswindow::defaultMenu() const { return g_swell_defaultmenu; }

HWND SWELL_CreateModelessFrameForWindow(HWND child, HWND owner, unsigned int styleMask)
{
  return SWELL_HWND(Swell_vDavrel_64_modelesswindow::initModelessForChild(
      dynamic_cast<NSView*>(SWELL_Object(child)), SWELL_Object(owner), styleMask));
}

// ---- dialog boxes ----

Swell_vDavrel_64_dialogbox* Swell_vDavrel_64_dialogbox::initDialogBox(const SWELL_DialogResourceIndex* resource,
                                                                      NSObject* parent, DLGPROC proc, LPARAM param)
{
  if (!resource) return nullptr;
  unsigned style = NSTitledWindowMask | NSClosableWindowMask;
  if (resource->flags & SWELL_DLG_RESIZABLE) style |= NSResizableWindowMask;
  Swell_vDavrel_64_dialogbox* w =
      new Swell_vDavrel_64_dialogbox(NSMakeRect(0, 0, resource->width, resource->height), style);
  w->setIsDialog(true);  // before the set-up, whose menu strip keeps a dialog on the screen
  w->commonSetUp();
  registerWithOwner(parent, w);
  if (resource->title) SetDlgItemText(SWELL_HWND(w), 0, resource->title);
  Swell_vDavrel_64_hwnd* v = Swell_vDavrel_64_hwnd::initChild(resource, w, proc, param);
  v->setSwellCreateWindowFlags(style);
  v->setHidden(false);
  v->release();
  w->setHidesOnDeactivate(false);
  w->display();
  return w;
}

HMENU Swell_vDavrel_64_dialogbox::defaultMenu() const
{
  return g_swell_defaultmenumodal ? g_swell_defaultmenumodal : g_swell_defaultmenu;
}
