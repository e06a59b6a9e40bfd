// The window tree, long values, properties, dialog items and destruction.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSTableView.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include "platform/appkit/NSTableView.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

HWND GetParent(HWND h)
{
  NSObject* o = SWELL_Object(h);
  if (!o) return nullptr;
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (NSView* v = dynamic_cast<NSView*>(o))
  {
    // A control in a scroll view has the scroll view's parent for its own.
    NSView* f = frameViewOf(v);
    if (!isContentView(f)) return SWELL_HWND(f->superview());
    w = f->window();
  }
  if (!w) return nullptr;
  if (NSWindow* pw = w->parentWindow())
    if (pw->contentView()) return SWELL_HWND(pw->contentView());
  // An owned window's parent is its owner.
  if (SWELL_OwnerWindow* ow = dynamic_cast<SWELL_OwnerWindow*>(w))
    if (NSWindow* owner = ow->swellGetOwner())
      return owner->contentView() ? SWELL_HWND(owner->contentView()) : SWELL_HWND(owner);
  return nullptr;
}


HWND GetWindow(HWND h, int cmd)
{
  NSView* v = viewOrContent(h);
  if (!v) return nullptr;
  if (cmd == GW_OWNER)
  {
    NSView* f = frameViewOf(v);
    if (!isContentView(f)) return SWELL_HWND(f->superview());
    SWELL_OwnerWindow* ow = dynamic_cast<SWELL_OwnerWindow*>(f->window());
    return ow ? SWELL_HWND(ow->swellGetOwner()) : nullptr;
  }
  if (cmd == GW_CHILD) return v->subviews().empty() ? nullptr : SWELL_HWND(v->subviews().front());
  if (cmd > GW_CHILD || cmd < 0) return nullptr;
  // Siblings of a list in its scroll view are the scroll view's.
  NSView* f = frameViewOf(v);
  if (isContentView(f)) return cmd == GW_HWNDFIRST || cmd == GW_HWNDLAST ? SWELL_HWND(v) : nullptr;
  NSView* parent = f->superview();
  if (!parent || parent->subviews().empty()) return nullptr;
  const std::vector<NSView*>& list = parent->subviews();
  if (cmd == GW_HWNDFIRST) return SWELL_HWND(list.front());
  if (cmd == GW_HWNDLAST) return SWELL_HWND(list.back());
  auto it = std::find(list.begin(), list.end(), f);
  if (it == list.end()) return nullptr;
  if (cmd == GW_HWNDNEXT) return ++it == list.end() ? nullptr : SWELL_HWND(*it);
  return it == list.begin() ? nullptr : SWELL_HWND(*(it - 1));
}

bool IsChild(HWND parent, HWND child)
{
  if (!parent || !child || parent == child) return false;
  NSView* c = asView(child);
  if (!c) return false;
  if (NSWindow* w = asWindow(parent)) return c->window() == w;
  if (NSView* p = asView(parent)) return c->isDescendantOf(p);
  return false;
}

HWND SetParent(HWND h, HWND newParent)
{
  NSView* v = asView(h);
  if (!v) return nullptr;
  char text[2048];
  if (isContentView(v))
  {
    NSView* np = viewOrContent(newParent);
    if (!np) return nullptr;
    NSWindow* old = v->window();
    GetDlgItemText(h, 0, text, sizeof text);
    // The owner is remembered for when the view becomes a window again; a window
    // without one leaves no stale owner behind.
    if (Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(v))
    {
      SWELL_OwnerWindow* ow = dynamic_cast<SWELL_OwnerWindow*>(old);
      wv->setLastTopLevelOwner(ow ? ow->swellGetOwner() : nullptr);
    }
    v->retain();
    // The old window keeps an empty content view of its own until it goes.
    Swell_vDavrel_64_hwnd* fresh = Swell_vDavrel_64_hwnd::initChild(nullptr, old, nullptr, 0);
    fresh->release();
    np->addSubview(v);
    v->release();
    DestroyWindow(SWELL_HWND(old));
    if (text[0]) SetDlgItemText(h, 0, text);
    return SWELL_HWND(np);
  }
  if (!newParent)
  {
    // The child becomes a window of its own, released when it is closed.
    GetDlgItemText(h, 0, text, sizeof text);
    v->retain();
    v->removeFromSuperview();
    Swell_vDavrel_64_hwnd* wv = dynamic_cast<Swell_vDavrel_64_hwnd*>(v);
    const unsigned flags = wv && wv->swellCreateWindowFlags() ? wv->swellCreateWindowFlags() : 15;
    // Owned again by the window that owned it last, if that is still open.
    NSWindow* owner = nullptr;
    if (wv && wv->lastTopLevelOwner())
      for (NSWindow* c : NSApp->windows())
        if (c == wv->lastTopLevelOwner() || c->contentView() == wv->lastTopLevelOwner())
        {
          owner = c;
          break;
        }
    if (NSWindow* w = asWindow(SWELL_CreateModelessFrameForWindow(h, SWELL_HWND(owner), flags)))
    {
      w->setReleasedWhenClosed(true);
      w->display();
    }
    v->release();
    if (text[0]) SetDlgItemText(h, 0, text);
    return nullptr;
  }
  // A list in its scroll view moves with the scroll view. A new parent that is no
  // view (a freed handle) changes nothing: the child would be freed on the way.
  NSView* f = frameViewOf(v);
  NSView* old = f->superview();
  NSView* np = viewOrContent(newParent);
  if (!np) return nullptr;
  f->retain();
  if (old) f->removeFromSuperview();
  np->addSubview(f);
  f->release();
  return SWELL_HWND(old);
}

HWND FindWindowEx(HWND parent, HWND after, const char* className, const char* windowName)
{
  if (!parent)
  {
    if (!windowName || !NSApplication::exists()) return nullptr;
    const std::vector<NSWindow*> windows(NSApp->windows());
    size_t i = 0;
    if (after)
    {
      for (; i < windows.size(); ++i)
        if (SWELL_HWND(windows[i]) == after || SWELL_HWND(windows[i]->contentView()) == after) break;
      ++i;
    }
    for (; i < windows.size(); ++i)
      if (windows[i]->title() == windowName) return SWELL_HWND(windows[i]->contentView());
    return nullptr;
  }
  HWND c;
  if (after) c = GetWindow(after, GW_HWNDNEXT);
  else
  {
    NSView* p = viewOrContent(parent);
    if (!p) return nullptr;
    c = p->subviews().empty() ? nullptr : SWELL_HWND(p->subviews().front());
  }
  const bool staticOnly = className && !strcasecmp(className, "Static");
  for (; c; c = GetWindow(c, GW_HWNDNEXT))
  {
    if (staticOnly && !isTextField(SWELL_Object(c))) continue;
    if (!windowName) return c;
    char buf[512];
    GetDlgItemText(c, 0, buf, sizeof buf);
    if (!strcmp(buf, windowName)) return c;
  }
  return nullptr;
}

namespace {
BOOL enumChildren(NSView* v, BOOL (*proc)(HWND, LPARAM), LPARAM lp)
{
  std::vector<NSView*> list(v->subviews());
  for (NSView* c : list) c->retain();
  BOOL result = TRUE;
  for (NSView* c : list)
    if (result && (!proc(SWELL_HWND(c), lp) || !enumChildren(c, proc, lp))) result = FALSE;
  for (NSView* c : list) c->release();
  return result;
}
}  // namespace

BOOL EnumChildWindows(HWND h, BOOL (*proc)(HWND, LPARAM), LPARAM lp)
{
  NSView* v = asView(h);
  if (!v || !proc) return TRUE;
  return enumChildren(v, proc, lp);
}

HWND GetDlgItem(HWND h, int id)
{
  NSView* v = viewOrContent(h);
  if (!v) return nullptr;
  if (id == 0) return SWELL_HWND(v);
  for (NSView* c : v->subviews())
  {
    // A control in a scroll or clip view (a list view) is found by its own id, and
    // the scroll or clip view by none.
    NSView* candidate = c;
    if (NSScrollView* s = dynamic_cast<NSScrollView*>(c)) candidate = s->documentView();
    else if (NSClipView* cv = dynamic_cast<NSClipView*>(c)) candidate = cv->documentView();
    if (candidate && candidate->tag() == id) return SWELL_HWND(candidate);
  }
  return nullptr;
}

namespace {
bool treeHolds(NSView* v, NSObject* target)
{
  for (NSView* c : v->subviews())
    if ((NSObject*)c == target) return true;
  for (NSView* c : v->subviews())
    if (treeHolds(c, target)) return true;
  return false;
}
}  // namespace

bool IsWindow(HWND h)
{
  NSObject* o = SWELL_Object(h);
  if (!o || !NSApplication::exists()) return false;
  const std::vector<NSWindow*> windows(NSApp->windows());
  for (NSWindow* w : windows)
    if ((NSObject*)w == o || (NSObject*)w->contentView() == o) return true;
  for (NSWindow* w : windows)
    if (w->contentView() && treeHolds(w->contentView(), o)) return true;
  return false;
}

void DestroyWindow(HWND h)
{
  NSObject* o = SWELL_Object(h);
  if (!o) return;
  o->retain();
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (NSView* v = dynamic_cast<NSView*>(o))
  {
    KillTimer(h, SWELL_ALL_TIMERS);
    if (dynamic_cast<SWELL_WindowTarget*>(v)) SendMessage(h, WM_DESTROY, 0, 0);
    NSWindow* vw = v->window();
    if (!vw) v->removeFromSuperview();
    else if (vw->contentView() == v) w = vw;
    else
    {
      if (vw->isKeyWindow())
        if (NSView* fr = dynamic_cast<NSView*>(vw->firstResponder()))
          if (fr->isDescendantOf(v)) SetFocus(GetParent(h));
      v->removeFromSuperview();
    }
  }
  if (w)
  {
    w->retain();
    KillTimer(SWELL_HWND(w), SWELL_ALL_TIMERS);
    if (NSView* c = w->contentView()) SendMessage(SWELL_HWND(c), WM_DESTROY, 0, 0);
    if (dynamic_cast<SWELL_WindowTarget*>(w)) SendMessage(SWELL_HWND(w), WM_DESTROY, 0, 0);
    if (SWELL_OwnerWindow* ow = dynamic_cast<SWELL_OwnerWindow*>(w)) ow->swellDoDestroyStuff();
    if (NSWindow* p = w->parentWindow()) p->removeChildWindow(w);
    w->close();
    w->release();
  }
  o->release();
}

// ---- long values ----

namespace {

// What the layer's classes answer of the long values; each getter is null for a
// class that does not answer it.
LONG_PTR* userDataOf(NSObject* o)
{
  if (Swell_vDavrel_64_button* b = dynamic_cast<Swell_vDavrel_64_button*>(o)) return b->swellUserDataSlot();
  return nullptr;
}

// Extra data slots of a window (8 bytes of index each), as many as a window view has.
const int kExtraSlots = Swell_vDavrel_64_hwnd::kExtraDataSlots;

// The style a control keeps itself, or null.
LONG* storedStyleOf(NSObject* o)
{
  if (Swell_vDavrel_64_cbox* c = dynamic_cast<Swell_vDavrel_64_cbox*>(o)) return c->swellStyleSlot();
  if (Swell_vDavrel_64_pub* p = dynamic_cast<Swell_vDavrel_64_pub*>(o)) return p->swellStyleSlot();
  if (Swell_vDavrel_64_listview* l = dynamic_cast<Swell_vDavrel_64_listview*>(o)) return &l->style;
  if (Swell_vDavrel_64_treeview* t = dynamic_cast<Swell_vDavrel_64_treeview*>(o)) return &t->style;
  return nullptr;
}

// The button kind a check box, three-state box or radio button answers as its style.
LONG buttonStyleOf(NSButton* b)
{
  if (b->allowsMixedState()) return BS_AUTO3STATE;
  Swell_vDavrel_64_button* sb = dynamic_cast<Swell_vDavrel_64_button*>(b);
  if (sb && sb->swellGetRadioFlags())
    return BS_AUTORADIOBUTTON | ((sb->swellGetRadioFlags() & SWELL_RADIO_GROUPSTART) ? WS_GROUP : 0);
  return BS_AUTOCHECKBOX;
}

void setButtonStyle(NSButton* b, LONG style)
{
  Swell_vDavrel_64_button* sb = dynamic_cast<Swell_vDavrel_64_button*>(b);
  switch (style & 0xF)
  {
    case BS_AUTOCHECKBOX:
    case BS_AUTO3STATE:
      b->setButtonType(NSSwitchButton);
      b->setAllowsMixedState((style & 0xF) == BS_AUTO3STATE);
      if (sb) sb->swellSetRadioFlags(0);
      break;
    case BS_AUTORADIOBUTTON:
      b->setButtonType(NSRadioButton);
      if (sb) sb->swellSetRadioFlags(SWELL_RADIO_AUTO | ((style & WS_GROUP) ? SWELL_RADIO_GROUPSTART : 0));
      break;
    default:
      break;
  }
}

LONG frameKindOf(NSWindow* w)
{
  if (!(w->styleMask() & NSTitledWindowMask)) return 0;
  return WS_CAPTION | ((w->styleMask() & NSResizableWindowMask) ? WS_THICKFRAME : 0);
}

// A content view whose caption or resize kind changes moves to a new frame of
// that kind, taking the old one's owner, owned windows, child windows, place,
// level, title and visibility; the old frame goes.
void rebuildFrame(NSView* v, LONG style)
{
  NSWindow* old = v->window();
  if (frameKindOf(old) == (style & (WS_CAPTION | WS_THICKFRAME))) return;
  const HWND h = SWELL_HWND(v);
  const bool visible = old->isVisible();
  NSWindow* parent = old->parentWindow();
  char text[2048];
  GetDlgItemText(h, 0, text, sizeof text);
  const NSRect frame = old->frame();
  SWELL_OwnerWindow* oldOwned = dynamic_cast<SWELL_OwnerWindow*>(old);
  NSWindow* owner = oldOwned ? oldOwned->swellGetOwner() : nullptr;
  const NSInteger level = old->level();
  old->retain();
  v->retain();
  Swell_vDavrel_64_hwnd* fresh = Swell_vDavrel_64_hwnd::initChild(nullptr, old, nullptr, 0);
  fresh->release();
  const unsigned flags = !(style & WS_CAPTION) ? 0 : (style & WS_THICKFRAME) ? 15 : 1;
  NSWindow* nw = asWindow(SWELL_CreateModelessFrameForWindow(h, SWELL_HWND(owner), flags));
  if (!nw)
  {
    old->setContentView(v);
    v->release();
    old->release();
    return;
  }
  nw->setReleasedWhenClosed(true);
  if (SWELL_OwnerWindow* no = dynamic_cast<SWELL_OwnerWindow*>(nw))
    if (oldOwned)
    {
      OwnedWindowListRec** from = oldOwned->swellGetOwnerWindowHead();
      for (OwnedWindowListRec* r = *from; r; r = r->_next)
        if (SWELL_OwnerWindow* ow = dynamic_cast<SWELL_OwnerWindow*>(r->hwnd)) ow->swellSetOwner(nw);
      OwnedWindowListRec** to = no->swellGetOwnerWindowHead();
      OwnedWindowListRec** tail = to;
      while (*tail) tail = &(*tail)->_next;
      *tail = *from;
      *from = nullptr;
    }
  const std::vector<NSWindow*> children(old->childWindows());
  for (NSWindow* c : children)
  {
    old->removeChildWindow(c);
    nw->addChildWindow(c, NSWindowAbove);
  }
  if (parent) parent->addChildWindow(nw, NSWindowAbove);
  if (text[0]) SetDlgItemText(h, 0, text);
  nw->setFrame(frame, visible);
  nw->setLevel(level);
  if (visible) ShowWindow(h, SW_SHOW);
  v->release();
  DestroyWindow(SWELL_HWND(old));
  old->release();
}

}  // namespace

LONG_PTR SetWindowLong(HWND h, int index, LONG_PTR value)
{
  NSObject* o = SWELL_Object(h);
  if (!o) return 0;
  Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(o);
  NSView* pv = dynamic_cast<NSView*>(o);
  LONG_PTR old;
  switch (index)
  {
    case GWL_USERDATA:
      if (v)
      {
        old = v->getSwellUserData();
        v->setSwellUserData(value);
        return old;
      }
      if (LONG_PTR* slot = userDataOf(o))
      {
        old = *slot;
        *slot = value;
        return old;
      }
      // A window without user data of its own keeps it with its extra data.
      old = GetWindowLong(h, GWL_USERDATA);
      SWELL_SetHandleValue(h, GWL_USERDATA, value, &value);
      return old;
    case GWL_EXSTYLE:
      if (!v) break;
      old = v->swellGetExtendedStyle();
      v->swellSetExtendedStyle((LONG)value);
      return old;
    case GWL_ID:
      if (!pv) break;
      old = pv->tag();
      pv->setTag((int)value);
      return old;
    case DWL_DLGPROC:
      if (!v) break;
      old = (LONG_PTR)v->getSwellDialogProc();
      v->setSwellDialogProc((DLGPROC)value);
      return old;
    case GWL_WNDPROC:
      if (!v) break;
      old = (LONG_PTR)v->getSwellWindowProc();
      v->setSwellWindowProc((WNDPROC)value);
      return old;
    case GWL_STYLE:
      if (LONG* slot = storedStyleOf(o))
      {
        old = *slot;
        *slot = (LONG)value;
        return old;
      }
      if (NSButton* b = dynamic_cast<NSButton*>(o))
      {
        old = GetWindowLong(h, GWL_STYLE);
        setButtonStyle(b, (LONG)value);
        return old;
      }
      if (isContentView(pv) && dynamic_cast<SWELL_OwnerWindow*>(pv->window())) rebuildFrame(pv, (LONG)value);
      return 0;
    default:
      break;
  }
  if (!v)
  {
    // Every other window keeps extra data in the slots a window view has.
    if (index < 0 || index >= kExtraSlots * 8) return 0;
    SWELL_SetHandleValue(h, index >> 3, value, &old);
    return old;
  }
  old = v->getSwellExtraData(index);
  v->setSwellExtraData(index, value);
  return old;
}

LONG_PTR GetWindowLong(HWND h, int index)
{
  NSObject* o = SWELL_Object(h);
  if (!o) return 0;
  Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(o);
  NSView* pv = dynamic_cast<NSView*>(o);
  switch (index)
  {
    case GWL_USERDATA:
      if (v) return v->getSwellUserData();
      if (LONG_PTR* slot = userDataOf(o)) return *slot;
      {
        LONG_PTR kept;
        if (SWELL_GetHandleValue(h, GWL_USERDATA, &kept)) return kept;
      }
      // A text view given no user data answers the marker.
      if (dynamic_cast<NSTextView*>(o)) return (LONG_PTR)0xDEADF00B;
      return 0;
    case GWL_EXSTYLE:
      if (v) return (LONG_PTR)(LONG)v->swellGetExtendedStyle();
      break;
    case GWL_ID:
      if (pv) return pv->tag();
      break;
    case DWL_DLGPROC:
      if (v) return (LONG_PTR)v->getSwellDialogProc();
      break;
    case GWL_WNDPROC:
      if (v) return (LONG_PTR)v->getSwellWindowProc();
      break;
    case GWL_STYLE:
    {
      if (LONG* slot = storedStyleOf(o)) return (LONG_PTR)*slot;
      LONG style = 0;
      if (NSButton* b = dynamic_cast<NSButton*>(o)) style = buttonStyleOf(b);
      if (pv && !isContentView(pv)) style |= WS_CHILD;
      if (isContentView(pv) && (pv->window()->styleMask() & NSTitledWindowMask))
      {
        style |= WS_CAPTION;
        if (pv->window()->styleMask() & NSResizableWindowMask) style |= WS_THICKFRAME;
      }
      return style;
    }
    default:
      break;
  }
  if (v) return v->getSwellExtraData(index);
  LONG_PTR kept = 0;
  if (index >= 0 && index < kExtraSlots * 8) SWELL_GetHandleValue(h, index >> 3, &kept);
  return kept;
}

// ---- dialog buttons and kinds ----

void CheckDlgButton(HWND h, int id, int check)
{
  if (NSButton* b = dynamic_cast<NSButton*>(SWELL_Object(GetDlgItem(h, id))))
    b->setState((check & BST_INDETERMINATE) ? NSMixedState : (check & BST_CHECKED) ? NSOnState : NSOffState);
}

int IsDlgButtonChecked(HWND h, int id)
{
  NSButton* b = dynamic_cast<NSButton*>(SWELL_Object(GetDlgItem(h, id)));
  if (!b || b->state() == NSOffState) return BST_UNCHECKED;
  return b->state() == NSMixedState ? BST_INDETERMINATE : BST_CHECKED;
}

bool SWELL_IsGroupBox(HWND h) { return h && dynamic_cast<Swell_vDavrel_64_box*>(SWELL_Object(h)); }
bool SWELL_IsButton(HWND h) { return h && dynamic_cast<Swell_vDavrel_64_button*>(SWELL_Object(h)); }
bool SWELL_IsStaticText(HWND h) { return h && isTextField(SWELL_Object(h)); }

bool IsEquivalentTextView(HWND a, HWND b)
{
  if (!a || !b) return false;
  if (a == b) return true;
  NSObject* oa = SWELL_Object(a);
  NSObject* ob = SWELL_Object(b);
  NSTextView* tv = dynamic_cast<NSTextView*>(oa);
  NSObject* other = ob;
  if (!tv)
  {
    tv = dynamic_cast<NSTextView*>(ob);
    other = oa;
  }
  NSTextField* field = dynamic_cast<NSTextField*>(other);
  if (!tv || !field || dynamic_cast<NSTextView*>(other)) return false;
  // A field's editing text view stands for the field.
  NSView* up = tv->superview();
  for (int i = 0; i < 2 && up; ++i) up = up->superview();
  return up == field;
}

// ---- properties ----

void* GetProp(HWND h, const char* name)
{
  Swell_vDavrel_64_hwnd* v = h ? SWELL_WindowView(h) : nullptr;
  return v ? v->swellGetProp(name, false) : nullptr;
}

BOOL SetProp(HWND h, const char* name, void* data)
{
  Swell_vDavrel_64_hwnd* v = h ? SWELL_WindowView(h) : nullptr;
  return v && v->swellSetProp(name, data) ? TRUE : FALSE;
}

void* RemoveProp(HWND h, const char* name)
{
  Swell_vDavrel_64_hwnd* v = h ? SWELL_WindowView(h) : nullptr;
  return v ? v->swellGetProp(name, true) : nullptr;
}

int EnumPropsEx(HWND h, BOOL (*proc)(HWND, const char*, void*, LPARAM), LPARAM lp)
{
  Swell_vDavrel_64_hwnd* v = h ? SWELL_WindowView(h) : nullptr;
  return v && proc ? v->swellEnumProps(proc, lp) : -1;
}

// ---- dialog items ----

namespace {
void copyText(const std::string& s, char* buf, int size)
{
  const size_t n = std::min(s.size(), (size_t)size - 1);
  memcpy(buf, s.data(), n);
  buf[n] = 0;
}
}  // namespace

BOOL GetDlgItemText(HWND h, int id, char* buf, int bufsize)
{
  if (!buf || bufsize <= 0) return FALSE;
  buf[0] = 0;
  if (id) h = GetDlgItem(h, id);
  if (!h) return FALSE;
  NSObject* o = SWELL_Object(h);
  if (NSView* v = dynamic_cast<NSView*>(o))
    if (isContentView(v)) o = v->window();
  if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(o))
  {
    copyText(v->onSwellGetText(), buf, bufsize);
    return TRUE;
  }
  if (NSWindow* w = dynamic_cast<NSWindow*>(o))
  {
    copyText(w->title(), buf, bufsize);
    return TRUE;
  }
  if (NSControl* c = dynamic_cast<NSControl*>(o))
  {
    copyText(c->stringValue(), buf, bufsize);
    return TRUE;
  }
  if (NSBox* b = dynamic_cast<NSBox*>(o))
  {
    copyText(b->title(), buf, bufsize);
    return TRUE;
  }
  return FALSE;
}

BOOL SetDlgItemText(HWND h, int id, const char* text)
{
  if (id) h = GetDlgItem(h, id);
  if (!h) return FALSE;
  if (!text) text = "";
  NSObject* o = SWELL_Object(h);
  if (NSView* v = dynamic_cast<NSView*>(o))
    if (isContentView(v)) v->window()->setTitle(text);
  if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(o))
  {
    v->onSwellSetText(text);
    return TRUE;
  }
  if (NSWindow* w = dynamic_cast<NSWindow*>(o))
  {
    w->setTitle(text);
    return TRUE;
  }
  if (NSControl* c = dynamic_cast<NSControl*>(o))
  {
    c->setStringValue(text);
    // An edit field tells its parent, as Win32 does; a multi-line text view does not.
    NSTextField* f = dynamic_cast<NSTextField*>(c);
    if (f && isTextField(f) && f->isEditable())
      SendMessage(GetParent(h), WM_COMMAND, (WPARAM)((uint32_t)f->tag() | 0x3000000u), (LPARAM)h);
    return TRUE;
  }
  if (NSBox* b = dynamic_cast<NSBox*>(o))
  {
    b->setTitle(text);
    return TRUE;
  }
  return FALSE;
}

BOOL SetDlgItemInt(HWND h, int id, int value, int isSigned)
{
  char buf[32];
  if (isSigned) snprintf(buf, sizeof buf, "%d", value);
  else snprintf(buf, sizeof buf, "%u", (unsigned)value);
  return SetDlgItemText(h, id, buf);
}

int GetDlgItemInt(HWND h, int id, BOOL* translated, int isSigned)
{
  char buf[128];
  if (!GetDlgItemText(h, id, buf, sizeof buf))
  {
    if (translated) *translated = 0;
    return 0;
  }
  const char* p = buf;
  while (*p == ' ' || *p == '\t') ++p;
  const int value = atoi(p);
  const bool ok = (isSigned || value >= 0) && (value != 0 || *p == '0');
  if (translated) *translated = ok ? 1 : 0;
  return ok ? value : 0;
}
