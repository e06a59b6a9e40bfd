#include "platform/appkit/X11Pointer.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSWindow.h"

#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <cmath>

AKX11Pointer::AKX11Pointer(Display* d, Host* host, Cursor blank)
    : mDisplay(d), mHost(host), mRoot(DefaultRootWindow(d)), mBlankCursor(blank)
{
  // XInput 2 tells how far the mouse went before the server stopped the pointer at
  // the screen's edge (raw motion). From 2.1 on it does so during a grab too.
  int xiEvent, xiError, xiMajor = 2, xiMinor = 2;
  if (!XQueryExtension(d, "XInputExtension", &mXiOpcode, &xiEvent, &xiError) ||
      XIQueryVersion(d, &xiMajor, &xiMinor) != Success || xiMajor < 2)
    mXiOpcode = -1;
}

void AKX11Pointer::menuShown(NSWindow* menu)
{
  mGrabs.push_back(menu);
  takePointer();
}

void AKX11Pointer::ungrab(NSWindow* w)
{
  auto it = std::find(mGrabs.begin(), mGrabs.end(), w);
  if (it != mGrabs.end())
  {
    mGrabs.erase(it);
    if (mGrabs.empty())
    {
      XUngrabPointer(mDisplay, CurrentTime);
      XUngrabKeyboard(mDisplay, CurrentTime);
    }
    takePointer();  // a submenu closing gives the pointer back to the menu under it
    return;
  }
  // The window holding the hidden cursor's pointer goes: another of ours takes it.
  const Window xid = mHost->xidOf(w);
  if (mHolding && xid && xid == mHoldGrab) takePointer();
}

void AKX11Pointer::destroyed(Window xid)
{
  if (xid == mHoldGrab) mHoldGrab = 0;  // the server ends the grab with the window
}

// Who holds the pointer: the innermost open menu; else, while the cursor is held,
// a shown window of ours that takes the mouse (the one under the held point, else
// the front one), so that a motion that ends outside our windows still comes to us;
// else nobody. A drag under way when the hold ends keeps the pointer until its
// button is let go, as the server's own grab of a press would have.
void AKX11Pointer::takePointer()
{
  const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
  if (!mGrabs.empty())
  {
    mHoldGrab = 0;
    if (const Window under = mHost->xidOf(mGrabs.back()))
    {
      XGrabPointer(mDisplay, under, True, mask, GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
      XGrabKeyboard(mDisplay, under, True, GrabModeAsync, GrabModeAsync, CurrentTime);
    }
    return;
  }
  if (!mHolding && !mHoldGrab)
  {
    XFlush(mDisplay);  // a menu's grab may just have ended: nothing to ask the server
    return;
  }
  Window root, child = 0, to = 0;
  int rx, ry, wx, wy;
  unsigned state = 0;
  XQueryPointer(mDisplay, mRoot, &root, &child, &rx, &ry, &wx, &wy, &state);
  if (mHolding && NSApplication::exists())
  {
    // The window at the held point: the pointer itself may wait elsewhere (parked).
    child = windowOfOursAt((int)mHeld.x, (int)(mHost->screenSize().height - mHeld.y));
    // A window the mouse goes through (a focus rectangle) never holds it: what came
    // to it would go on to whatever lies under the held point, which may be nothing.
    const auto takes = [](NSWindow* w) { return w->isVisible() && !w->ignoresMouseEvents(); };
    NSWindow* under = child ? mHost->windowOfX(child) : nullptr;
    if (under && takes(under)) to = child;
    for (NSWindow* w : NSApp->orderedWindows())
      if (const Window xid = !to && takes(w) ? mHost->xidOf(w) : 0) to = xid;
    // Refused while another program holds the pointer (a window manager's move). No
    // window of ours, or refused: nobody holds it, and the next window shown takes it.
    mHoldGrab = to && XGrabPointer(mDisplay, to, True, mask, GrabModeAsync, GrabModeAsync, None,
                                   mCursorHidden ? mBlankCursor : None, CurrentTime) == GrabSuccess
                    ? to
                    : 0;
  }
  else if (mHoldGrab && (state & (Button1Mask | Button2Mask | Button3Mask)))
    XChangeActivePointerGrab(mDisplay, mask, None, CurrentTime);  // let go at the button's release
  else if (mHoldGrab)
  {
    XUngrabPointer(mDisplay, CurrentTime);
    mHoldGrab = 0;
  }
  XFlush(mDisplay);
}

// The front window of ours shown at a point of the screen (pixels, y down), also
// inside a window manager's frame; 0 when none is there.
Window AKX11Pointer::windowOfOursAt(int x, int y)
{
  Window from = mRoot, child = 0;
  int wx, wy;
  for (int depth = 0; depth < 8 && XTranslateCoordinates(mDisplay, mRoot, from, x, y, &wx, &wy, &child) && child;
       ++depth)
  {
    if (mHost->windowOfX(child)) return child;
    from = child;
  }
  return 0;
}

void AKX11Pointer::setCursorHidden(bool hidden)
{
  mCursorHidden = hidden;
  if (mHoldGrab)
    XChangeActivePointerGrab(mDisplay, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                             hidden ? mBlankCursor : None, CurrentTime);
}

void AKX11Pointer::moveTo(NSPoint to)
{
  if (mHolding) mHeld = to;
  warp(mHolding ? parked(to) : to);
}

// Uncoupled, the pointer is held where it is: each motion is delivered with how far
// it went and the pointer put back, so a drag never stops at the screen's edge. The
// pointer is ours meanwhile (takePointer), with or without a button held, and a
// motion the server stopped at the screen's edge counts whole (XInput 2 raw motion).
void AKX11Pointer::associate(bool connected)
{
  if (connected || mHolding)
  {
    if (connected && mHolding)
    {
      mHolding = false;
      selectRawMotion(false);
      takePointer();
    }
    return;
  }
  // Motions the server made before this query are in the position already.
  mHoldSerial = NextRequest(mDisplay);
  mHeld = mHost->mouseLocation();
  mWarps.emplace_back(mHoldSerial, mHeld);
  mHolding = true;
  selectRawMotion(true);
  takePointer();
  if (!NSEqualPoints(parked(mHeld), mHeld)) warp(parked(mHeld));
}

// Where the held pointer waits: the held point, brought into the middle half of the
// screen. On the edge a motion toward it would move nothing and the server would tell
// of none; here the motions that come before we put the pointer back still move it,
// and one the edge stops counts by its raw motion. The cursor is hidden while held,
// and put where the program has it when shown again.
NSPoint AKX11Pointer::parked(NSPoint p) const
{
  const NSSize size = mHost->screenSize();  // y up: the server's row r is height - r
  const CGFloat x = std::floor(size.width / 4), y = std::floor(size.height / 4);
  return NSMakePoint(std::clamp(p.x, x, size.width - 1 - x), std::clamp(p.y, y + 1, size.height - y));
}

// Raw motions of the master pointer, told on the root window.
void AKX11Pointer::selectRawMotion(bool on)
{
  mRawPending = false;
  if (mXiOpcode < 0) return;
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {0};
  if (on) XISetMask(bits, XI_RawMotion);
  XIEventMask m{XIAllMasterDevices, (int)sizeof(bits), bits};
  XISelectEvents(mDisplay, mRoot, &m, 1);
}

NSWindow* AKX11Pointer::holder() { return mHolding ? mHost->windowOfX(mHoldGrab) : nullptr; }

void AKX11Pointer::pressed(const XButtonEvent& b, bool released, NSPoint screen)
{
  if (released && mHoldGrab && !mHolding && mGrabs.empty() &&
      !(b.state & ~(Button1Mask << (b.button - 1)) & (Button1Mask | Button2Mask | Button3Mask)))
  {
    XUngrabPointer(mDisplay, CurrentTime);  // the drag that outlived the hold ends
    mHoldGrab = 0;
  }
  passWarps(b.serial);
  mLastMotion = screen;
  mHaveMotion = true;
}

bool AKX11Pointer::moved(const XMotionEvent& m, NSPoint screen, NSPoint* d)
{
  // How far the mouse went since the last motion or press: a hidden cursor moves the
  // program's own position by it.
  passWarps(m.serial);
  *d = mHaveMotion ? NSMakePoint(screen.x - mLastMotion.x, mLastMotion.y - screen.y) : NSMakePoint(0, 0);
  mLastMotion = screen;
  mHaveMotion = true;
  const bool raw = mRawPending;
  mRawPending = false;
  if (!mHolding) return true;
  // Moved before the pointer was held, or by our own warp back: nothing to add.
  if ((long)(m.serial - mHoldSerial) < 0 || (d->x == 0 && d->y == 0)) return false;
  if (raw && !m.send_event) *d = wholeMotion(m, *d);
  if (!NSEqualPoints(screen, parked(mHeld))) warp(parked(mHeld));
  return true;
}

// A raw motion of the pointer while it is held: how far the mouse went, before the
// server stopped the pointer at the screen's edge. The server tells it just before
// the motion it makes of it (twice during our grab: the same values).
void AKX11Pointer::takeRawMotion(XGenericEventCookie& c)
{
  if (c.extension != mXiOpcode || c.evtype != XI_RawMotion || !XGetEventData(mDisplay, &c)) return;
  const XIRawEvent* r = (const XIRawEvent*)c.data;
  const double* v = r->valuators.values;
  mRaw = NSMakePoint(0, 0);
  for (int axis = 0; axis < 2 && axis < r->valuators.mask_len * 8; ++axis)
    if (XIMaskIsSet(r->valuators.mask, axis))
    {
      if (axis == 0) mRaw.x = *v;
      else mRaw.y = *v;
      ++v;
    }
  mRawPending = mHolding;
  XFreeEventData(mDisplay, &c);
}

// A held motion's distance (x right, y down): along an axis where the server stopped
// the pointer at the screen's edge, the raw motion's, which went farther.
NSPoint AKX11Pointer::wholeMotion(const XMotionEvent& m, NSPoint d) const
{
  // A device that gives positions (a tablet) has its raw values where it went.
  if (mRaw.x == m.x_root && mRaw.y == m.y_root) return d;
  const NSSize size = mHost->screenSize();
  const CGFloat rx = std::round(mRaw.x), ry = std::round(mRaw.y);
  if ((m.x_root <= 0 && rx < d.x) || (m.x_root >= size.width - 1 && rx > d.x)) d.x = rx;
  if ((m.y_root <= 0 && ry < d.y) || (m.y_root >= size.height - 1 && ry > d.y)) d.y = ry;
  return d;
}

// Moves the pointer (screen point, y up). The motion this makes is not the mouse's:
// events the server made from then on (their serial at or past the warp's) count
// from where the warp put the pointer.
void AKX11Pointer::warp(NSPoint to)
{
  if (mWarps.size() >= 64) mWarps.pop_front();  // no event came for long: the oldest no longer matter
  const NSSize size = mHost->screenSize();
  const int x = (int)std::clamp(to.x, (CGFloat)0, size.width - 1);
  const int y = (int)std::clamp(size.height - to.y, (CGFloat)0, size.height - 1);  // the server stops it there too
  mWarps.emplace_back(NextRequest(mDisplay), NSMakePoint(x, size.height - y));
  XWarpPointer(mDisplay, None, mRoot, 0, 0, 0, 0, x, y);
  XFlush(mDisplay);
}

void AKX11Pointer::passWarps(unsigned long serial)
{
  while (!mWarps.empty() && (long)(serial - mWarps.front().first) >= 0)
  {
    mLastMotion = mWarps.front().second;
    mHaveMotion = true;
    mWarps.pop_front();
  }
}
