// Mouse, keyboard and gesture input of window views.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWorkspace.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/keyboard.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include <algorithm>
#include <cmath>

void SWELL_FinishDragDrop();

namespace {

bool s_nofwd = false;

void setArrowUnlessCurrent()
{
  if (SWELL_GetCursor() != NSCursor::arrowCursor()) NSCursor::arrowCursor()->set();
}

bool alive(Swell_vDavrel_64_hwnd* v) { return v && !v->swellHasBeenDestroyed() && v->getSwellWindowProc(); }

// The screen point a mouse message is hit-tested and placed at: where its event lies
// on its window as the window stands now, so a window moved since the event still
// has it where it was made on the window. The program's own position while the
// cursor is hidden.
LPARAM eventScreenPoint(NSEvent* e)
{
  if (!SWELL_IsCursorVisible() || !e || !e->window()) return (LPARAM)(int32_t)GetMessagePos();
  const POINT p = SWELL_ScreenPoint(e->window()->convertBaseToScreen(e->locationInWindow()));
  return SWELL_PackPoint(p.x, p.y);
}

}  // namespace

LRESULT SWELL_SendMouseMessage(HWND h, UINT msg, NSEvent* event)
{
  NSView* view = dynamic_cast<NSView*>(SWELL_Object(h));
  if (!view) return 0;
  view->retain();
  LRESULT result = -1;
  Swell_vDavrel_64_hwnd* v = dynamic_cast<Swell_vDavrel_64_hwnd*>(view);
  const HWND cap = GetCapture();
  NSView* capView = dynamic_cast<NSView*>(SWELL_Object(cap));
  if (capView && capView != view && capView->window() == view->window() && SWELL_WindowView(cap))
    result = SWELL_SendMouseMessage(cap, msg, event);
  else if (alive(v))
  {
    const CGPoint p = swellProcessMouseEvent((int)msg, view, event);
    const int x = (int)std::floor(p.x), y = (int)std::floor(p.y);
    const bool wheel = msg == WM_MOUSEWHEEL || msg == WM_MOUSEHWHEEL;
    LRESULT hit = HTCLIENT;
    bool done = false;
    const LPARAM screen = eventScreenPoint(event);
    if (!wheel && !GetCapture())
    {
      hit = v->onSwellMessage(WM_NCHITTEST, 0, screen);
      if (!alive(v)) done = true;
      else if (hit != HTCLIENT && msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK)
      {
        result = v->onSwellMessage(msg - (WM_MOUSEMOVE - WM_NCMOUSEMOVE), (WPARAM)hit, screen);
        done = true;
      }
    }
    if (!done && wheel)
    {
      const float delta = (float)(msg == WM_MOUSEWHEEL ? event->deltaY() : event->deltaX());
      result = v->onSwellMessage(msg, SWELL_HighWordParam((int)(delta * 60.0)), screen);
      done = true;
    }
    if (!done)
    {
      result = v->onSwellMessage(msg, 0, SWELL_PackPoint(x, y));
      if ((msg == WM_MOUSEMOVE || msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP) && !GetCapture())
      {
        const LRESULT set =
            alive(v) ? v->onSwellMessage(WM_SETCURSOR, (WPARAM)h, (LPARAM)(HTCLIENT | ((uint32_t)msg << 16))) : 0;
        if (!set || !alive(v)) setArrowUnlessCurrent();
      }
    }
  }
  view->release();
  return result;
}

// ---- the view's event methods ----

void Swell_vDavrel_64_hwnd::mouseDown(NSEvent* e)
{
  SWELL_FinishDragDrop();
  if (!m_enabled) return;
  if ((e->modifierFlags() & NSControlKeyMask) && IsRightClickEmulateEnabled())
  {
    rightMouseDown(e);
    if (e->clickCount() <= 1) m_isfakerightmouse = 1;
    return;
  }
  SWELL_SendMouseMessage(SWELL_HWND(this), e->clickCount() >= 2 ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, e);
}

void Swell_vDavrel_64_hwnd::mouseUp(NSEvent* e)
{
  if (!m_enabled) return;
  if (m_isfakerightmouse) rightMouseUp(e);
  else SWELL_SendMouseMessage(SWELL_HWND(this), WM_LBUTTONUP, e);
}

void Swell_vDavrel_64_hwnd::mouseDragged(NSEvent* e)
{
  if (!m_enabled) return;
  retain();
  SWELL_SendMouseMessage(SWELL_HWND(this), WM_MOUSEMOVE, e);
  if (HCURSOR c = SWELL_GetLastSetCursor())
    if (c != SWELL_GetCursor()) SWELL_SetCursor(c);
  release();
}

void Swell_vDavrel_64_hwnd::rightMouseDragged(NSEvent* e) { mouseDragged(e); }
void Swell_vDavrel_64_hwnd::otherMouseDragged(NSEvent* e) { mouseDragged(e); }

void Swell_vDavrel_64_hwnd::rightMouseDown(NSEvent* e)
{
  m_isfakerightmouse = 0;
  if (window() && NSApplication::exists() && NSApp->keyWindow() != window()) SetFocus(SWELL_HWND(window()));
  SWELL_SendMouseMessage(SWELL_HWND(this), e->clickCount() >= 2 ? WM_RBUTTONDBLCLK : WM_RBUTTONDOWN, e);
}

void Swell_vDavrel_64_hwnd::rightMouseUp(NSEvent* e)
{
  if (!m_enabled) return;
  m_isfakerightmouse = 0;
  SWELL_SendMouseMessage(SWELL_HWND(this), WM_RBUTTONUP, e);
}

void Swell_vDavrel_64_hwnd::otherMouseDown(NSEvent* e)
{
  if (window() && NSApplication::exists() && NSApp->keyWindow() != window()) SetFocus(SWELL_HWND(window()));
  SWELL_SendMouseMessage(SWELL_HWND(this), e->clickCount() >= 2 ? WM_MBUTTONDBLCLK : WM_MBUTTONDOWN, e);
}

void Swell_vDavrel_64_hwnd::otherMouseUp(NSEvent* e)
{
  if (m_enabled) SWELL_SendMouseMessage(SWELL_HWND(this), WM_MBUTTONUP, e);
}

void Swell_vDavrel_64_hwnd::scrollWheel(NSEvent* e)
{
  if (!m_enabled) return;
  retain();
  if (e->deltaY() != 0) SWELL_SendMouseMessage(SWELL_HWND(this), WM_MOUSEWHEEL, e);
  if (e->deltaX() != 0) SWELL_SendMouseMessage(SWELL_HWND(this), WM_MOUSEHWHEEL, e);
  release();
}

namespace {

// Hands a move to the window view really under the pointer when another view or
// window of the program would swallow it; true when it was handed on.
bool DelegateMouseMove(NSView* self, NSEvent* e)
{
  // A forwarded move is not forwarded again: the view it reached takes it.
  NSWindow* own = s_nofwd ? nullptr : e->window();
  if (!own) return false;
  if (!GetCapture() && NSApplication::exists())
  {
    const NSPoint sp = own->convertBaseToScreen(e->locationInWindow());
    NSWindow* w = NSApp->windowAtPoint(sp);
    if (w && w != own && !NSApp->modalWindow())
    {
      NSView* content = w->contentView();
      NSView* hit = dynamic_cast<Swell_vDavrel_64_hwnd*>(content) ? content->hitTest(w->convertScreenToBase(sp))
                                                                  : nullptr;
      if (!hit)
      {
        setArrowUnlessCurrent();
        return true;
      }
      NSEvent* fe = NSEvent::mouseEventWithType(e->type(), w->convertScreenToBase(sp), e->modifierFlags(),
                                                e->timestamp(), w, e->clickCount());
      s_nofwd = true;
      hit->mouseMoved(fe);
      s_nofwd = false;
      return true;
    }
  }
  NSView* hit = own->contentView() ? own->contentView()->hitTest(e->locationInWindow()) : nullptr;
  if (!hit || hit == self) return false;
  s_nofwd = true;
  hit->mouseMoved(e);
  s_nofwd = false;
  return true;
}

}  // namespace

void Swell_vDavrel_64_hwnd::mouseMoved(NSEvent* e)
{
  retain();
  if (!DelegateMouseMove(this, e))
  {
    const HWND cap = GetCapture();
    if (m_enabled && (!cap || cap == SWELL_HWND(this))) SWELL_SendMouseMessage(SWELL_HWND(this), WM_MOUSEMOVE, e);
  }
  release();
}

namespace {

// True when the key goes on to the kit: the view has no procedure left, or its
// procedure passed the key on. The caller holds the view across this and its pass-on.
bool keyPassesOn(Swell_vDavrel_64_hwnd* v, NSEvent* e, UINT msg)
{
  int flags = 0;
  const int code = SWELL_MacKeyToWindowsKey(e, &flags);
  if (!alive(v)) return true;
  return v->onSwellMessage(msg, (WPARAM)(LPARAM)code, (LPARAM)flags) == SWELL_KEY_PASS_ON;
}

}  // namespace

void Swell_vDavrel_64_hwnd::keyDown(NSEvent* e)
{
  retain();
  if (keyPassesOn(this, e, WM_KEYDOWN)) NSView::keyDown(e);
  release();
}

void Swell_vDavrel_64_hwnd::keyUp(NSEvent* e)
{
  retain();
  if (keyPassesOn(this, e, WM_KEYUP)) NSView::keyUp(e);
  release();
}

bool Swell_vDavrel_64_hwnd::acceptsFirstMouse(NSEvent*)
{
  if (!m_enabled) return false;
  SendMessage(SWELL_HWND(this), WM_MOUSEACTIVATE, 0, 0);
  if (superview()) SendMessage(SWELL_HWND(superview()), WM_MOUSEACTIVATE, 0, 0);
  return true;
}

bool Swell_vDavrel_64_hwnd::acceptsFirstResponder()
{
  if (!m_enabled) return false;
  if (GetFocus() != SWELL_HWND(this)) SendMessage(SWELL_HWND(this), WM_MOUSEACTIVATE, 0, 0);
  return true;
}

// ---- gestures ----

namespace {

void sendGesture(Swell_vDavrel_64_hwnd* v, NSEvent* e, DWORD id, uint64_t beginArg, uint64_t endArg,
                 POINTS endShift)
{
  GESTUREINFO gi{};
  gi.cbSize = sizeof gi;
  gi.dwID = id;
  gi.hwndTarget = SWELL_HWND(v);
  NSPoint sp = e->locationInWindow();
  if (e->window()) sp = e->window()->convertBaseToScreen(sp);
  gi.ptsLocation = POINTS{(int16_t)(int)sp.x, (int16_t)(int)sp.y};
  gi.dwFlags = GF_BEGIN;
  gi.ullArguments = beginArg;
  v->retain();
  SendMessage(SWELL_HWND(v), WM_GESTURE, 0, (LPARAM)&gi);
  gi.dwFlags = GF_END;
  gi.ullArguments = endArg;
  gi.ptsLocation.x = (int16_t)(uint16_t)((uint16_t)gi.ptsLocation.x + (uint16_t)endShift.x);
  gi.ptsLocation.y = (int16_t)(uint16_t)((uint16_t)gi.ptsLocation.y + (uint16_t)endShift.y);
  SendMessage(SWELL_HWND(v), WM_GESTURE, (WPARAM)endArg, (LPARAM)&gi);
  v->release();
}

int nonZero(int v, double delta) { return v ? v : (delta < 0 ? -1 : 1); }

}  // namespace

void Swell_vDavrel_64_hwnd::magnifyWithEvent(NSEvent* e)
{
  const float dz = (float)e->deltaZ();
  const int v = nonZero((int)(dz * 1024 + 0.5), dz);
  sendGesture(this, e, GID_ZOOM, 1024, (uint64_t)std::min(2048, std::max(512, v + 1024)), POINTS{0, 0});
}

void Swell_vDavrel_64_hwnd::rotateWithEvent(NSEvent* e)
{
  const float r = (float)e->rotation();
  const int v = nonZero((int)(r * 32767 / 60), r);
  sendGesture(this, e, GID_ROTATE, 0, (uint64_t)std::min(65535, std::max(0, v + 32767)), POINTS{0, 0});
}

void Swell_vDavrel_64_hwnd::swipeWithEvent(NSEvent* e)
{
  const NSRect b = bounds();
  int dx = 0, dy = 0;
  if (e->deltaX() < 0) dx = -(int)b.size.width;
  else if (e->deltaX() > 0) dx = (int)b.size.width;
  else if (e->deltaY() < 0) dy = (int)b.size.height;
  else if (e->deltaY() > 0) dy = -(int)b.size.height;
  sendGesture(this, e, GID_PAN, 0, 0, POINTS{(int16_t)(uint16_t)dx, (int16_t)(uint16_t)dy});
}
