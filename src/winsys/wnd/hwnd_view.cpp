#include "winsys/wnd/hwnd_view.h"

#include "winsys/wnd/controls.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSOpenGL.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSTextField.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/gdi_draw.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/shell/menus.h"
#include "winsys/msgloop/viewdc.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool isAtom(const char* name) { return (uintptr_t)name < 0x10000; }

bool sameName(const char* a, const char* b)
{
  if (isAtom(a) || isAtom(b)) return a == b;
  return strcmp(a, b) == 0;
}

}  // namespace

NSColor* SWELL_ColorOf(COLORREF c)
{
  return NSColor::colorWithCalibratedRed(((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                                         1.0);
}

// ---- creation ----

Swell_vDavrel_64_hwnd::Swell_vDavrel_64_hwnd(NSRect frame) : NSView(frame), m_wndproc(SwellDialogDefaultWindowProc) {}

void SWELL_DoDialogColorUpdates(HWND hwnd, DLGPROC proc, bool fallback);

Swell_vDavrel_64_hwnd* Swell_vDavrel_64_hwnd::initChild(const SWELL_DialogResourceIndex* resource, NSObject* parent,
                                                        DLGPROC proc, LPARAM param)
{
  const NSRect frame = resource ? NSMakeRect(0, 0, resource->width, resource->height) : NSMakeRect(0, 0, 300, 200);
  return initChildView(new Swell_vDavrel_64_hwnd(frame), resource, parent, proc, param);
}

Swell_vDavrel_64_hwnd* Swell_vDavrel_64_hwnd::initChildView(Swell_vDavrel_64_hwnd* v,
                                                            const SWELL_DialogResourceIndex* resource,
                                                            NSObject* parent, DLGPROC proc, LPARAM param)
{
  SWELL_InstallWindowHooks();
  if (resource)
  {
    v->m_isopaque = (resource->flags & SWELL_DLG_OPAQUE) != 0;
    v->m_flip = (resource->flags & SWELL_DLG_FLIPPED) != 0;
    v->m_supports_ddrop = (resource->flags & SWELL_DLG_ACCEPTFILES) != 0;
  }
  v->setHidden(true);
  NSWindow* parentWindow = dynamic_cast<NSWindow*>(parent);
  // A file panel shows the view below its own part at once.
  if (NSSavePanel* panel = dynamic_cast<NSSavePanel*>(parent))
  {
    panel->setAccessoryView(v);
    v->setHidden(false);
  }
  else if (parentWindow)
    parentWindow->setContentView(v);
  else if (NSView* pv = dynamic_cast<NSView*>(parent))
    pv->addSubview(v);

  const HWND h = SWELL_HWND(v);
  if (resource)
  {
    if (resource->createFunc) resource->createFunc(h, resource->flags);
    v->m_dlgproc = proc;
  }
  else
  {
    if (proc) v->m_wndproc = proc;
    v->m_wndproc(h, WM_CREATE, 0, param);
  }

  if (v->m_dlgproc)
  {
    NSView* candidate = nullptr;
    for (NSView* s : v->subviews())
    {
      // A list or tree takes the keys itself, not the scroll view around it.
      NSScrollView* scroll = dynamic_cast<NSScrollView*>(s);
      NSView* asked = scroll ? scroll->documentView() : s;
      if (asked && asked->acceptsFirstResponder())
      {
        candidate = asked;
        break;
      }
    }
    const LRESULT r = v->m_dlgproc(h, WM_INITDIALOG, (WPARAM)SWELL_HWND(candidate), param);
    NSWindow* w = v->window();
    if (r)
    {
      if (r == SWELL_INITDIALOG_FOCUS_SELF) candidate = v;
      if (candidate && w && w->firstResponder() != candidate) w->makeFirstResponder(candidate);
      // A dialog that asked for the focus becomes the key window when first shown.
      if (Swell_vDavrel_64_modelesswindow* m = dynamic_cast<Swell_vDavrel_64_modelesswindow*>(parentWindow))
        if (m->contentView() == v && !m->isVisible()) m->m_wantInitialKeyWindowOnShow = true;
    }
    else if (candidate && parentWindow && parentWindow->contentView() == v)
    {
      NSResponder* fr = parentWindow->firstResponder();
      if (!fr || fr == parentWindow || fr == v) parentWindow->makeFirstResponder(candidate);
    }
    SWELL_DoDialogColorUpdates(h, v->m_dlgproc, false);
  }
  return v;
}

Swell_vDavrel_64_hwnd::~Swell_vDavrel_64_hwnd()
{
  KillTimer(SWELL_HWND(this), SWELL_ALL_TIMERS);
  // Already destroyed views ignore it; one freed without DestroyWindow is told now.
  if (!m_hashaddestroy)
  {
    // The count is 0 here: one reference of our own keeps the message's own
    // retain and release from freeing the view a second time.
    retain();
    onSwellMessage(WM_DESTROY, 0, 0);
  }
  if (GetCapture() == SWELL_HWND(this)) ReleaseCapture();
  while (m_props)
  {
    WindowPropRec* r = m_props;
    m_props = r->next;
    if (!isAtom(r->name)) free(r->name);
    delete r;
  }
  AKRelease(m_menu);
  for (NSObject*& slot : m_access_cacheptrs) AKRelease(slot);
  // A context still current outlives the view: it must not show into it.
  if (NSOpenGLContext* gl = dynamic_cast<NSOpenGLContext*>(m_glctx))
  {
    gl->setView(nullptr);
    if (NSOpenGLContext::currentContext() == gl) NSOpenGLContext::clearCurrentContext();
  }
  AKRelease(m_glctx);
}

void Swell_vDavrel_64_hwnd::onSwellSetText(const char* text)
{
  if (!text) text = "";
  const size_t n = strnlen(text, sizeof m_titlestr - 1);
  memcpy(m_titlestr, text, n);
  m_titlestr[n] = 0;
}

LONG_PTR Swell_vDavrel_64_hwnd::getSwellExtraData(int index) const
{
  const int slot = index >> 3;
  return slot >= 0 && slot < kExtraDataSlots ? m_extradata[slot] : 0;
}

void Swell_vDavrel_64_hwnd::setSwellExtraData(int index, LONG_PTR value)
{
  const int slot = index >> 3;
  if (slot >= 0 && slot < kExtraDataSlots) m_extradata[slot] = value;
}

void Swell_vDavrel_64_hwnd::swellSetMenu(NSMenu* menu)
{
  // The old menu's items stop reaching this view; the new one's reach it.
  if (m_menu)
  {
    SWELL_SetMenuDestination(SWELL_HMENUOf(m_menu), nullptr);
    m_menu->release();
  }
  m_menu = menu;
  if (m_menu) SWELL_SetMenuDestination(SWELL_HMENUOf(m_menu), this);
  // A window's menu is shown as the bar of its window.
  if (NSWindow* w = window())
    if (w->contentView() == this) w->setMenuBar(m_menu);
}

bool Swell_vDavrel_64_hwnd::respondsToSelector(SEL action) const
{
  return action == SWELL_CONTROL_ACTION || action == SWELL_DOUBLE_ACTION;
}

// ---- messages ----

LRESULT Swell_vDavrel_64_hwnd::onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (m_hashaddestroy == 2) return 0;
  if (m_hashaddestroy == 1 && (msg == WM_DESTROY || msg == WM_CAPTURECHANGED)) return 0;
  const HWND h = SWELL_HWND(this);
  // The procedure may destroy the window, or its parent, which frees the view:
  // it lives until the message is done.
  retain();
  LRESULT result = 0;
  if (msg == WM_DESTROY)
  {
    m_hashaddestroy = 1;
    if (GetCapture() == h) ReleaseCapture();
    SWELL_MessageQueue_Clear(h);
    if (m_wndproc) result = m_wndproc(h, WM_DESTROY, wParam, lParam);
    // The windows a top-level window owns go while its content view is destroyed.
    if (NSWindow* w = window())
      if (w->contentView() == this)
        if (SWELL_OwnerWindow* o = dynamic_cast<SWELL_OwnerWindow*>(w)) o->swellDestroyAllOwnedWindows();
    if (GetCapture() == h) ReleaseCapture();
    SWELL_MessageQueue_Clear(h);
    if (m_menu)
    {
      if (NSApplication::exists() && NSApp->mainMenu() == m_menu && !SWELL_IsTerminating()) NSApp->setMainMenu(nullptr);
      SWELL_SetMenuDestination(SWELL_HMENUOf(m_menu), nullptr);
      if (NSWindow* w = window())
        if (w->contentView() == this && w->menuBar() == m_menu) w->setMenuBar(nullptr);
      AKRelease(m_menu);
    }
    // The handlers may add or remove subviews meanwhile: walk a retained copy.
    std::vector<NSView*> children(subviews());
    for (NSView* c : children) c->retain();
    for (NSView* c : children)
    {
      if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(c)) t->onSwellMessage(WM_DESTROY, 0, 0);
      c->release();
    }
    KillTimer(h, SWELL_ALL_TIMERS);
    m_hashaddestroy = 2;
  }
  else if (m_wndproc)
    result = m_wndproc(h, msg, wParam, lParam);
  release();
  return result;
}

void Swell_vDavrel_64_hwnd::SWELL_Timer(UINT_PTR id)
{
  if (!m_wndproc || m_hashaddestroy) return;
  onSwellMessage(WM_TIMER, id, 0);
}

bool Swell_vDavrel_64_hwnd::performAction(SEL action, NSObject* sender)
{
  if (action == SWELL_CONTROL_ACTION) onSwellCommand(sender);
  else if (action == SWELL_DOUBLE_ACTION) swellOnControlDoubleClick(sender);
  else return NSView::performAction(action, sender);
  return true;
}

void Swell_vDavrel_64_hwnd::sendCommand(NSInteger tag, UINT code, NSObject* control)
{
  onSwellMessage(WM_COMMAND, (WPARAM)(((uint32_t)tag & 0xFFFFu) | code << 16), (LPARAM)SWELL_HWND(control));
}

namespace {

NSInteger tagOf(NSObject* o)
{
  if (NSView* v = dynamic_cast<NSView*>(o)) return v->tag();
  if (NSMenuItem* m = dynamic_cast<NSMenuItem*>(o)) return m->tag();
  return 0;
}

// A notice of the list and tree controls: the header names the sender and its tag.
NMLISTVIEW listNote(NSObject* sender, UINT code)
{
  NMLISTVIEW nm{};
  nm.hdr = NMHDR{SWELL_HWND(sender), (UINT_PTR)tagOf(sender), code};
  return nm;
}

}  // namespace

void Swell_vDavrel_64_hwnd::onSwellCommand(NSObject* sender)
{
  if (!canNotify() || !sender) return;
  if (dynamic_cast<NSSlider*>(sender))
  {
    onSwellMessage(WM_HSCROLL, 0, (LPARAM)SWELL_HWND(sender));
    return;
  }
  // Tables tell through their delegate; combo boxes through their notifications.
  if (dynamic_cast<NSTableView*>(sender) || dynamic_cast<NSComboBox*>(sender)) return;
  if (NSPopUpButton* p = dynamic_cast<NSPopUpButton*>(sender))
  {
    sendCommand(p->tag(), CBN_SELCHANGE, sender);
    return;
  }
  if (Swell_vDavrel_64_button* b = dynamic_cast<Swell_vDavrel_64_button*>(sender))
  {
    SWELL_ClearRadioGroup(b);
    sendCommand(b->tag(), BN_CLICKED, sender);
    return;
  }
  UINT code = 0;
  if (dynamic_cast<NSControl*>(sender))
  {
    // A double click on a control is reported as such.
    NSEvent* e = NSApplication::exists() ? NSApp->currentEvent() : nullptr;
    if (e && (e->type() == NSLeftMouseDown || e->type() == NSLeftMouseUp) && e->clickCount() >= 2) code = 1;
  }
  sendCommand(tagOf(sender), code, sender);
}

void Swell_vDavrel_64_hwnd::swellOnControlDoubleClick(NSObject* sender)
{
  if (!canNotify() || !sender) return;
  Swell_vDavrel_64_listview* lv = dynamic_cast<Swell_vDavrel_64_listview*>(sender);
  if (lv && lv->getSwellNotificationMode())
  {
    sendCommand(lv->tag(), LBN_DBLCLK, sender);
    return;
  }
  NMLISTVIEW nm = listNote(sender, NM_DBLCLK);
  if (lv)
  {
    nm.iItem = (int)lv->clickedRow();
    nm.iSubItem = (int)lv->clickedColumn();
    if (!lv->isOwnerData())
      if (SWELL_ListView_Row* r = lv->m_items.Get(nm.iItem)) nm.lParam = r->m_lparam;
  }
  onSwellMessage(WM_NOTIFY, (WPARAM)nm.hdr.idFrom, (LPARAM)&nm);
}

void Swell_vDavrel_64_hwnd::controlTextDidChange(NSNotification* n)
{
  NSControl* c = n ? dynamic_cast<NSControl*>(n->object()) : nullptr;
  if (!c || !canNotify()) return;
  sendCommand(c->tag(), dynamic_cast<NSComboBox*>(c) ? CBN_EDITCHANGE : EN_CHANGE, c);
}

void Swell_vDavrel_64_hwnd::controlTextDidEndEditing(NSNotification* n)
{
  NSControl* c = n ? dynamic_cast<NSControl*>(n->object()) : nullptr;
  if (!c || !canNotify() || dynamic_cast<NSComboBox*>(c)) return;
  sendCommand(c->tag(), EN_CHANGE, c);
}

void Swell_vDavrel_64_hwnd::comboBoxWillPopUp(NSNotification* n)
{
  NSControl* c = n ? dynamic_cast<NSControl*>(n->object()) : nullptr;
  if (c && canNotify()) sendCommand(c->tag(), CBN_DROPDOWN, c);
}

void Swell_vDavrel_64_hwnd::comboBoxSelectionDidChange(NSNotification* n)
{
  NSControl* c = n ? dynamic_cast<NSControl*>(n->object()) : nullptr;
  if (c && canNotify()) sendCommand(c->tag(), CBN_SELCHANGE, c);
}

void Swell_vDavrel_64_hwnd::tableViewSelectionDidChange(NSNotification* n)
{
  NSTableView* t = n ? dynamic_cast<NSTableView*>(n->object()) : nullptr;
  if (!t || !canNotify()) return;
  Swell_vDavrel_64_listview* lv = dynamic_cast<Swell_vDavrel_64_listview*>(t);
  if (lv && lv->getSwellNotificationMode())
  {
    sendCommand(t->tag(), LBN_SELCHANGE, t);
    return;
  }
  NMLISTVIEW nm = listNote(t, LVN_ITEMCHANGED);
  nm.iItem = (int)t->selectedRow();
  onSwellMessage(WM_NOTIFY, (WPARAM)nm.hdr.idFrom, (LPARAM)&nm);
}

void Swell_vDavrel_64_hwnd::outlineViewSelectionDidChange(NSNotification* n)
{
  NSObject* t = n ? n->object() : nullptr;
  if (!t || !canNotify()) return;
  NMTREEVIEW nm{};
  nm.hdr = NMHDR{SWELL_HWND(t), (UINT_PTR)tagOf(t), TVN_SELCHANGED};
  onSwellMessage(WM_NOTIFY, (WPARAM)nm.hdr.idFrom, (LPARAM)&nm);
}

void Swell_vDavrel_64_hwnd::menuNeedsUpdate(NSMenu* menu)
{
  if (menu && canNotify()) onSwellMessage(WM_INITMENUPOPUP, (WPARAM)SWELL_HMENUOf(menu), 0);
}

void Swell_vDavrel_64_hwnd::tableViewDidClickTableColumn(NSTableView* table, NSTableColumn* column)
{
  Swell_vDavrel_64_listview* lv = dynamic_cast<Swell_vDavrel_64_listview*>(table);
  // Only a list view with columns of its own whose style lets its header sort.
  if (!lv || !canNotify() || lv->m_cols.empty() || lv->getSwellNotificationMode() ||
      (lv->getSwellStyle() & LVS_NOSORTHEADER))
    return;
  NMLISTVIEW nm = listNote(lv, LVN_COLUMNCLICK);
  nm.iItem = -1;
  nm.iSubItem = lv->colIndex(column);
  onSwellMessage(WM_NOTIFY, (WPARAM)nm.hdr.idFrom, (LPARAM)&nm);
}

void Swell_vDavrel_64_hwnd::sendShow(WPARAM shown)
{
  SendMessage(SWELL_HWND(this), WM_SHOWWINDOW, shown, 0);
}

void Swell_vDavrel_64_hwnd::viewDidHide() { sendShow(0); }
void Swell_vDavrel_64_hwnd::viewDidUnhide() { sendShow(1); }

void Swell_vDavrel_64_hwnd::setFrame(NSRect frame)
{
  NSView::setFrame(frame);
  if (m_wndproc && !m_hashaddestroy) onSwellMessage(WM_SIZE, 0, 0);
  InvalidateRect(GetParent(SWELL_HWND(this)), nullptr, 0);
}

// ---- properties ----

int Swell_vDavrel_64_hwnd::swellSetProp(const char* name, void* data)
{
  for (WindowPropRec* r = m_props; r; r = r->next)
    if (sameName(r->name, name))
    {
      r->data = data;
      return 1;
    }
  WindowPropRec* r = new WindowPropRec{isAtom(name) ? (char*)name : strdup(name), data, m_props};
  m_props = r;
  return 1;
}

void* Swell_vDavrel_64_hwnd::swellGetProp(const char* name, bool wantRemove)
{
  for (WindowPropRec** pp = &m_props; *pp; pp = &(*pp)->next)
  {
    WindowPropRec* r = *pp;
    if (!sameName(r->name, name)) continue;
    void* data = r->data;
    if (wantRemove)
    {
      *pp = r->next;
      if (!isAtom(r->name)) free(r->name);
      delete r;
    }
    return data;
  }
  return nullptr;
}

int Swell_vDavrel_64_hwnd::swellEnumProps(BOOL (*proc)(HWND, const char*, void*, LPARAM), LPARAM lp)
{
  if (!m_props) return -1;
  for (WindowPropRec* r = m_props; r;)
  {
    WindowPropRec* next = r->next;
    if (!proc(SWELL_HWND(this), r->name, r->data, lp)) return 0;
    r = next;
  }
  return 1;
}

// ---- dialog colours ----

namespace
{
// The text colour a dialog procedure sets for one child, or `otherwise` when it
// sets none. A colour word with its top byte set is one no procedure sets.
NSColor* askedTextColour(HWND hwnd, DLGPROC proc, UINT msg, NSView* child, NSColor* otherwise)
{
  HDC ctx = SWELL_CreateMemContext(nullptr, 1, 1);
  if (!ctx) return nullptr;
  ctx->curtextcol = -1;
  proc(hwnd, msg, (WPARAM)ctx, (LPARAM)SWELL_HWND(child));
  NSColor* colour = ctx->curtextcol != -1 ? SWELL_ColorOf(ctx->curtextcol) : otherwise;
  SWELL_DeleteGfxContext(ctx);
  return colour;
}
}  // namespace

void SWELL_DoDialogColorUpdates(HWND hwnd, DLGPROC proc, bool fallback)
{
  NSView* v = dynamic_cast<NSView*>(SWELL_Object(hwnd));
  if (!proc || !v || v->subviews().empty()) return;
  // Buttons drawn with an image (on the platform: check boxes and radio buttons,
  // whose box is one) ask WM_CTLCOLORBTN once and all take its text colour.
  bool askedButton = false;
  NSColor* buttonColour = nullptr;
  const std::vector<NSView*> children(v->subviews());
  for (NSView* c : children)
  {
    NSButton* b = dynamic_cast<NSButton*>(c);
    if (!b || !(b->image() || b->buttonType() == NSSwitchButton || b->buttonType() == NSRadioButton)) continue;
    if (!askedButton)
    {
      askedButton = true;
      buttonColour = askedTextColour(hwnd, proc, WM_CTLCOLORBTN, b, fallback ? NSColor::controlTextColor() : nullptr);
    }
    if (buttonColour) b->setTextColor(buttonColour);
  }
  // Labels and group boxes share one WM_CTLCOLORSTATIC, asked of the first met.
  bool asked = false;
  NSColor* colour = nullptr;
  for (NSView* c : children)
  {
    NSTextField* field = dynamic_cast<NSTextField*>(c);
    NSBox* box = dynamic_cast<NSBox*>(c);
    if (!(field && !field->isEditable()) && !box) continue;
    if (!asked)
    {
      asked = true;
      colour = askedTextColour(hwnd, proc, WM_CTLCOLORSTATIC, c,
                               fallback ? NSColor::colorWithCalibratedRed(0, 0, 0, 1) : nullptr);
    }
    if (!colour) continue;
    if (field) field->setTextColor(colour);
    else box->setTitleTextColor(colour);
  }
}

// ---- default procedures ----

LRESULT SwellDialogDefaultWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  const DLGPROC d = (DLGPROC)GetWindowLong(hwnd, DWL_DLGPROC);
  if (!d) return DefWindowProc(hwnd, msg, wParam, lParam);
  if (msg == WM_PAINT && d(hwnd, WM_ERASEBKGND, 0, 0) == 0)
  {
    Swell_vDavrel_64_hwnd* v = SWELL_WindowView(hwnd);
    if (v)
    {
      bool opaque = v->isOpaque();
      NSWindow* w = v->window();
      if (!opaque && swellSystemVersion() >= 0x1050 && w && w->contentView()) opaque = w->contentView()->isOpaque();
      PAINTSTRUCT ps;
      if ((w && w->contentView() == v) || opaque)
        if (BeginPaint(hwnd, &ps))
        {
          const RECT& r = ps.rcPaint;
          if (r.right > r.left && r.bottom > r.top)
          {
            const LRESULT brush = d(hwnd, WM_CTLCOLORDLG, (WPARAM)ps.hdc, (LPARAM)hwnd);
            if (brush != 0 && brush != 1) SWELL_FillRect(ps.hdc, &r, (HBRUSH)brush);
            else if (opaque) SWELL_FillDialogBackground(ps.hdc, &r, 3);
          }
          EndPaint(hwnd, &ps);
        }
    }
  }
  const LRESULT r = d(hwnd, msg, wParam, lParam);
  return r ? r : DefWindowProc(hwnd, msg, wParam, lParam);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
  NSObject* o = SWELL_Object(hwnd);
  if (!o) return 0;
  if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(o)) return t->onSwellMessage(msg, wParam, lParam);
  LRESULT controlResult = 0;
  if (SWELL_ControlMessage(o, msg, wParam, lParam, &controlResult)) return controlResult;
  if (NSTextField* f = dynamic_cast<NSTextField*>(o))
  {
    if (msg == EM_SETPASSWORDCHAR) return 0;
    if (msg == EM_GETSEL)
    {
      // The field is its own editor here: it is the first responder while edited.
      const bool editing = f->isEditing() && f->window() && f->window()->firstResponder() == f;
      const int32_t start = editing ? (int32_t)f->selectionStart() : 0;
      const int32_t end = editing ? start + (int32_t)f->selectionLength() : 0;
      if (wParam) *(int32_t*)wParam = start;
      if (lParam) *(int32_t*)lParam = end;
      return 0;
    }
    if (msg == EM_SETSEL)
    {
      if (!(f->isEditing() && f->window() && f->window()->firstResponder() == f)) return 0;
      const long len = (long)AKUTF16(f->stringValue()).size();
      long start = (long)(int32_t)wParam, end = (long)(int32_t)lParam;
      if (start == -1) start = end = 0;
      else if (end == -1) end = len;
      if (start < 0 || start > len) start = len;  // a negative start counts as beyond the text
      end = std::min(end, len);
      // An end before the start selects nothing, at the start.
      f->setSelectedRange((NSUInteger)start, (NSUInteger)std::max(0L, end - start));
      return 0;
    }
  }
  if (NSView* v = dynamic_cast<NSView*>(o))
  {
    NSWindow* w = v->window();
    if (w && w->contentView() == v)
      if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(w)) return t->onSwellMessage(msg, wParam, lParam);
    return 0;
  }
  if (NSWindow* w = dynamic_cast<NSWindow*>(o))
    if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(w->contentView()))
      return t->onSwellMessage(msg, wParam, lParam);
  return 0;
}

HWND SWELL_CreateWindowView(const SWELL_DialogResourceIndex* resource, HWND parent, DLGPROC proc, LPARAM param)
{
  AKAssertMainThread("SWELL_CreateWindowView");
  Swell_vDavrel_64_hwnd* v = Swell_vDavrel_64_hwnd::initChild(resource, SWELL_Object(parent), proc, param);
  // A parent holds its view; without one the creation's reference is the caller's.
  if (v && v->superview()) v->release();
  else if (v && v->window() && v->window()->contentView() == v) v->release();
  return SWELL_HWND(v);
}

// ---- painting ----

void DrawSwellViewRectImpl(Swell_vDavrel_64_hwnd* view, NSRect rect, HDC hdc)
{
  if (!view || view->m_hashaddestroy) return;
  const HWND h = SWELL_HWND(view);
  view->retain();
  view->m_paintctx_hdc = hdc;
  // The view's GL context draws into the view while it paints.
  NSOpenGLContext* gl = hdc ? dynamic_cast<NSOpenGLContext*>(view->m_glctx) : nullptr;
  if (gl)
  {
    hdc->GLgfxctx = gl;
    gl->setView(view);
    gl->makeCurrentContext();
    gl->update();
  }
  view->m_paintctx_rect = rect;
  view->m_paintctx_used = false;
  const WNDPROC proc = view->m_wndproc;
  RECT w;
  GetWindowRect(h, &w);
  if (w.top > w.bottom) std::swap(w.top, w.bottom);
  NCCALCSIZE_PARAMS p{};
  p.rgrc[0] = w;
  if (proc) proc(h, WM_NCCALCSIZE, 0, (LPARAM)&p);
  if (proc) proc(h, WM_NCPAINT, 1, 0);
  const RECT& c = p.rgrc[0];
  view->m_paintctx_rect.origin.x += c.left - w.left;
  view->m_paintctx_rect.origin.y += c.top - w.top;
  const NSRect& pr = view->m_paintctx_rect;
  if (proc && pr.size.width >= 1 && pr.size.height >= 1)
  {
    if (memcmp(&c, &w, sizeof c) != 0)
    {
      SWELL_PushClipRegion(hdc);
      RECT client;
      GetClientRect(h, &client);
      SWELL_SetClipRegion(hdc, &client);
      proc(h, WM_PAINT, (WPARAM)hdc, 0);
      SWELL_PopClipRegion(hdc);
    }
    else
      proc(h, WM_PAINT, (WPARAM)hdc, 0);
  }
  if (gl && NSOpenGLContext::currentContext() == gl) NSOpenGLContext::clearCurrentContext();
  view->m_paintctx_hdc = nullptr;
  view->release();
}

void Swell_vDavrel_64_hwnd::drawRect(NSRect dirtyRect)
{
  HDC hdc = SWELL_CreateGfxContext(NSGraphicsContext::currentContext());
  if (!hdc) return;
  DrawSwellViewRectImpl(this, dirtyRect, hdc);
  SWELL_DeleteGfxContext(hdc);
  m_isdirty = 0;
}

bool Swell_vDavrel_64_hwnd::getSwellPaintInfo(PAINTSTRUCT* ps)
{
  if (!m_paintctx_hdc || !ps) return false;
  m_paintctx_used = true;
  ps->hdc = m_paintctx_hdc;
  ps->fErase = 0;
  const NSRect& r = m_paintctx_rect;
  ps->rcPaint = RECT{(int32_t)r.origin.x, (int32_t)r.origin.y, (int32_t)std::ceil(r.origin.x + r.size.width),
                     (int32_t)std::ceil(r.origin.y + r.size.height)};
  return true;
}

void Swell_vDavrel_64_hwnd::didAddSubview(NSView*)
{
  m_isdirty |= 2;
  for (NSView* a = superview(); a; a = a->superview())
    if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(a))
    {
      if (v->m_isdirty & 2) break;
      v->m_isdirty |= 2;
    }
}

void Swell_vDavrel_64_hwnd::willRemoveSubview(NSView*)
{
  m_isdirty |= 3;
  setNeedsDisplay(true);
  for (NSView* a = superview(); a; a = a->superview())
  {
    if (Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(a))
    {
      if ((v->m_isdirty & 3) == 3) break;
      v->m_isdirty |= 3;
    }
    a->setNeedsDisplay(true);
  }
}
