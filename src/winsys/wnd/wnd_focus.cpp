// Focus, capture, the paint bracket, the default window procedure and modal runs.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/kernel.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include <cmath>
#include <cstring>
#include <vector>

void SWELL_DoDialogColorUpdates(HWND hwnd, DLGPROC proc, bool fallback);

namespace {

HWND m_fakeCapture = nullptr;
bool m_capChangeNotify = false;

}  // namespace

HWND GetFocus()
{
  if (!NSApplication::exists() || !NSApp->keyWindow()) return nullptr;
  NSView* v = dynamic_cast<NSView*>(NSApp->keyWindow()->firstResponder());
  // A field's editing text view stands for the field.
  if (dynamic_cast<NSTextView*>(v) && v->superview() && isTextField(v->superview()->superview()))
    v = v->superview()->superview();
  return SWELL_HWND(v);
}

void SetFocus(HWND h)
{
  NSObject* o = SWELL_Object(h);
  if (NSWindow* w = dynamic_cast<NSWindow*>(o))
  {
    w->makeFirstResponder(w->contentView());
    if (w->isVisible()) w->makeKeyAndOrderFront(nullptr);
  }
  else if (NSView* v = dynamic_cast<NSView*>(o))
  {
    NSWindow* w = v->window();
    if (!w) return;
    w->makeFirstResponder(v);
    if (w->isVisible()) w->makeKeyAndOrderFront(nullptr);
  }
}

HWND GetForegroundWindow()
{
  if (!NSApplication::exists() || !NSApp->keyWindow()) return nullptr;
  NSWindow* w = NSApp->keyWindow();
  if (NSView* v = dynamic_cast<NSView*>(w->firstResponder())) return SWELL_HWND(v);
  return SWELL_HWND(w);
}

HWND GetCapture() { return m_fakeCapture; }

HWND SetCapture(HWND h)
{
  // A handle that names no live window (a destroyed one's included) captures
  // nothing, and the capture stays where it was.
  Swell_vDavrel_64_hwnd* v = h ? SWELL_WindowView(h) : nullptr;
  if (h && (!SWELL_Object(h) || (v && v->swellHasBeenDestroyed()))) return nullptr;
  const HWND previous = m_fakeCapture;
  const bool previousNotify = m_capChangeNotify;
  m_fakeCapture = h;
  m_capChangeNotify = v && v->swellCapChangeNotify();
  if (previous && previous != h && previousNotify) SendMessage(previous, WM_CAPTURECHANGED, 0, (LPARAM)h);
  return previous;
}

void ReleaseCapture()
{
  const HWND previous = m_fakeCapture;
  const bool notify = m_capChangeNotify;
  m_fakeCapture = nullptr;
  m_capChangeNotify = false;
  if (previous && notify) SendMessage(previous, WM_CAPTURECHANGED, 0, 0);
}

bool SWELL_HandleMouseEvent(NSEvent* e)
{
  if (m_fakeCapture || !e || e->type() < NSLeftMouseDown || e->type() > NSRightMouseDragged) return false;
  NSWindow* w = e->window();
  NSView* content = w ? w->contentView() : nullptr;
  if (!content) return false;
  NSView* hit = content->hitTest(e->locationInWindow());
  if (!hit) return false;
  const NSPoint sp = w->convertBaseToScreen(e->locationInWindow());
  const LPARAM lp = SWELL_PackPoint((int)std::floor(sp.x), (int)std::floor(sp.y));
  NSView* claimer = nullptr;
  for (NSView* v = hit; v; v = v == content ? nullptr : v->superview())
    if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(v))
      if (t->onSwellMessage(WM_NCHITTEST, 0, lp) > 1) claimer = v;
  if (!claimer) return false;
  claimer->retain();
  switch (e->type())
  {
    case NSLeftMouseDown: claimer->mouseDown(e); break;
    case NSLeftMouseUp: claimer->mouseUp(e); break;
    case NSRightMouseDown: claimer->rightMouseDown(e); break;
    case NSRightMouseUp: claimer->rightMouseUp(e); break;
    case NSMouseMoved: claimer->mouseMoved(e); break;
    case NSLeftMouseDragged: claimer->mouseDragged(e); break;
    default: claimer->rightMouseDragged(e); break;
  }
  claimer->release();
  return true;
}

HDC BeginPaint(HWND h, PAINTSTRUCT* ps)
{
  if (!ps) return nullptr;
  memset(ps, 0, sizeof *ps);
  Swell_vDavrel_64_hwnd* v = h ? SWELL_WindowView(h) : nullptr;
  if (v && v->getSwellPaintInfo(ps)) return ps->hdc;
  return nullptr;
}

BOOL EndPaint(HWND, PAINTSTRUCT*) { return TRUE; }

namespace {
// Passes the message up to the nearest window view, the content view being the
// last that can receive it.
LRESULT passUp(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  NSView* v = dynamic_cast<NSView*>(SWELL_Object(h));
  if (!v || isContentView(v)) return 0;
  for (NSView* a = v->superview(); a; a = a->superview())
  {
    if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(a)) return t->onSwellMessage(msg, wParam, lParam);
    if (isContentView(a)) break;
  }
  return 0;
}
}  // namespace

LRESULT DefWindowProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
  switch (msg)
  {
    case WM_CONTEXTMENU:
    case WM_GESTURE:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      return passUp(h, msg, wParam, lParam);
    case WM_NCHITTEST:
    {
      RECT r;
      GetWindowRect(h, &r);
      int y = (int16_t)(lParam >> 16);
      const int x = (int16_t)(lParam & 0xFFFF);
      if (r.top > r.bottom)
      {
        y = r.top + r.bottom - y;
        std::swap(r.top, r.bottom);
      }
      NCCALCSIZE_PARAMS p{};
      p.rgrc[0] = r;
      SendMessage(h, WM_NCCALCSIZE, 0, (LPARAM)&p);
      return SWELL_PtInRect(&p.rgrc[0], POINT{x, y}) ? HTCLIENT : HTNOWHERE;
    }
    case WM_RBUTTONUP:
    {
      POINT p{(int16_t)(lParam & 0xFFFF), (int16_t)(lParam >> 16)};
      ClientToScreen(h, &p);
      HWND target = WindowFromPoint(p);
      NSView* tv = dynamic_cast<NSView*>(SWELL_Object(target));
      NSObject* ho = SWELL_Object(h);
      bool inside = false;
      if (tv)
      {
        if (NSWindow* w = dynamic_cast<NSWindow*>(ho)) inside = tv->window() == w;
        else if (NSView* hv = dynamic_cast<NSView*>(ho)) inside = tv->isDescendantOf(hv);
      }
      SendMessage(h, WM_CONTEXTMENU, (WPARAM)(inside ? target : h), SWELL_PackPoint(p.x, p.y));
      return 1;
    }
    case WM_NCRBUTTONUP:
      SendMessage(h, WM_CONTEXTMENU, (WPARAM)h, lParam);
      return 1;
    case WM_KEYDOWN:
    case WM_KEYUP:
      return SWELL_KEY_PASS_ON;
    case WM_DISPLAYCHANGE:
      if (NSView* v = dynamic_cast<NSView*>(SWELL_Object(h)))
      {
        const std::vector<NSView*> list(v->subviews());
        for (NSView* c : list) c->retain();
        for (NSView* c : list)
        {
          if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(c)) t->onSwellMessage(msg, wParam, lParam);
          c->release();
        }
        if (!list.empty())
          if (DLGPROC d = (DLGPROC)GetWindowLong(h, DWL_DLGPROC)) SWELL_DoDialogColorUpdates(h, d, true);
      }
      return 0;
    default:
      return 0;
  }
}

void SWELL_BroadcastMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
  if (!NSApplication::exists()) return;
  const std::vector<NSWindow*> windows(NSApp->orderedWindows());
  for (NSWindow* w : windows) w->retain();
  for (NSWindow* w : windows)
  {
    if (NSView* c = w->contentView())
      if (SWELL_WindowTarget* t = dynamic_cast<SWELL_WindowTarget*>(c))
      {
        t->onSwellMessage(msg, wParam, lParam);
        if (msg == WM_DISPLAYCHANGE) InvalidateRect(SWELL_HWND(c), nullptr, 0);
      }
    w->release();
  }
}

// ---- modal runs ----

void* SWELL_ModalWindowStart(HWND h)
{
  NSObject* o = SWELL_Object(h);
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (NSView* v = dynamic_cast<NSView*>(o)) w = v->window();
  if (!w) return nullptr;
  return NSApplication::sharedApplication()->beginModalSessionForWindow(w);
}

bool SWELL_ModalWindowRun(void* handle, int* result)
{
  if (!handle) return false;
  const NSInteger r = NSApp->runModalSession((NSModalSession)handle);
  if (r == NSModalResponseContinue) return true;
  if (result) *result = (int)r;
  return false;
}

void SWELL_ModalWindowEnd(void* handle)
{
  if (!handle) return;
  NSModalSession s = (NSModalSession)handle;
  if (NSApp->runModalSession(s) == NSModalResponseContinue)
  {
    NSApp->stopModal();
    // The stop reaches only the innermost run: an outer one may never see it, so
    // the wait is bounded and the session ends regardless.
    for (int i = 0; i < SWELL_MODAL_END_STEPS && NSApp->runModalSession(s) == NSModalResponseContinue; ++i) Sleep(10);
  }
  NSApp->endModalSession(s);
}

void SWELL_CloseWindow(HWND h)
{
  NSObject* o = SWELL_Object(h);
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (NSView* v = dynamic_cast<NSView*>(o)) w = v->window();
  if (w) w->close();
}

bool SWELL_GetGestureInfo(LPARAM lParam, GESTUREINFO* info)
{
  if (!lParam || !info) return false;
  memcpy(info, (const void*)lParam, sizeof *info);
  return true;
}
