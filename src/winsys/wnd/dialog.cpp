#include "winsys/wnd/dialog.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSPanel.h"
#include "platform/appkit/NSRunLoop.h"
#include "winsys/wnd/toplevel.h"
#include "winsys/wnd/wnd.h"

SWELL_DialogResourceIndex* SWELL_curmodule_dialogresource_head = nullptr;

SWELL_DialogResourceIndex* SWELL_FindDialogResource(SWELL_DialogResourceIndex* head, const char* resid)
{
  for (SWELL_DialogResourceIndex* p = head; p; p = p->_next)
    if (p->resid == resid) return p;
  return nullptr;
}

namespace {

void sendDestroy(NSView* v)
{
  if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(v)) t->onSwellMessage(WM_DESTROY, 0, 0);
}

}  // namespace

int SWELL_DialogBox(SWELL_DialogResourceIndex* head, const char* resid, HWND parent, DLGPROC dlgproc, LPARAM param)
{
  SWELL_DialogResourceIndex* rec = SWELL_FindDialogResource(head, resid);
  if (!rec || (rec->flags & SWELL_DLG_CHILD)) return -1;
  Swell_vDavrel_64_dialogbox* box = Swell_vDavrel_64_dialogbox::initDialogBox(rec, SWELL_Object(parent), dlgproc, param);
  if (!box) return -1;
  if (box->swellHasModalRetVal())
  {
    // Ended while it was being set up: never shown.
    const int r = box->swellGetModalRetVal();
    sendDestroy(box->contentView());
    box->release();
    return r;
  }
  NSApplication* app = NSApplication::sharedApplication();
  // Its whole frame on the screen: a box made at the screen's corner, grown by a
  // menu strip, would have its bottom (its buttons) below it.
  box->setFrame(box->constrainFrameRect(box->frame(), nullptr), false);
  // Runs until EndDialog stops it, or, when EndDialog came while another box ran over
  // this one, until its own loop has control again. A box closed or destroyed some
  // other way ends it too, rather than leaving the caller in a loop nothing can stop.
  app->runModalForWindow(box, [box] { return box->swellHasModalRetVal(); });
  const int r = box->swellGetModalRetVal();
  if (!box->isClosed())
  {
    sendDestroy(box->contentView());
    box->close();
  }
  box->release();
  return r;
}

void EndDialog(HWND hwnd, int result)
{
  NSObject* o = SWELL_Object(hwnd);
  if (!o) return;
  NSWindow* w = nullptr;
  NSView* v = nullptr;
  if ((v = dynamic_cast<NSView*>(o))) w = v->window();
  else if ((w = dynamic_cast<NSWindow*>(o))) v = w->contentView();
  if (!w) return;
  if (Swell_vDavrel_64_dialogbox* box = dynamic_cast<Swell_vDavrel_64_dialogbox*>(w)) box->swellSetModalRetVal(result);
  if (!NSApplication::exists() || NSApp->modalWindow() != w) return;
  w->retain();
  sendDestroy(v);
  // The box's run ends at its next turn, whether this came from the box's own event,
  // a timer or another window's procedure; it answers the result recorded above.
  NSApp->stopModal();
  w->close();
  w->release();
}

HWND SWELL_CreateDialog(SWELL_DialogResourceIndex* head, const char* resid, HWND parent, DLGPROC dlgproc,
                        LPARAM param)
{
  unsigned forceStyles = 0;
  bool forbidChild = false;
  if (((uintptr_t)resid & ~(uintptr_t)0xF) == 0x400000)
  {
    const unsigned bits = (unsigned)((uintptr_t)resid & 0xF);
    if (bits)
    {
      forceStyles = NSTitledWindowMask | NSClosableWindowMask | NSMiniaturizableWindowMask;
      if (bits & 1) forceStyles |= NSResizableWindowMask;
      if (bits & 2) forceStyles &= ~(unsigned)NSMiniaturizableWindowMask;
      if (bits & 4) forceStyles &= ~(unsigned)NSClosableWindowMask;
      forbidChild = true;
    }
    resid = nullptr;
  }
  SWELL_DialogResourceIndex* rec = SWELL_FindDialogResource(head, resid);
  if (!rec && resid) return nullptr;

  NSObject* p = SWELL_Object(parent);
  NSObject* useParent = nullptr;
  if (dynamic_cast<NSView*>(p) || dynamic_cast<NSSavePanel*>(p)) useParent = p;
  else if (NSWindow* w = dynamic_cast<NSWindow*>(p)) useParent = w->contentView();

  const bool child = useParent && !forbidChild && (rec ? (rec->flags & SWELL_DLG_CHILD) != 0 : forceStyles == 0);
  if (child)
  {
    Swell_vDavrel_64_hwnd* v = Swell_vDavrel_64_hwnd::initChild(rec, useParent, dlgproc, param);
    v->setSwellCreateWindowFlags(15);
    // Its superview, or the file panel that shows it, holds it.
    v->release();
    return SWELL_HWND(v);
  }
  HWND view = nullptr;
  Swell_vDavrel_64_modelesswindow::initModeless(rec, p, dlgproc, param, &view, forceStyles);
  return view;
}
