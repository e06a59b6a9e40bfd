#pragma once
// The X11 presenter's hold of the pointer, kept apart from its windows: the grabs of
// open menus (the innermost takes the pointer and the keyboard), the pointer held
// where it is while mouse and cursor are uncoupled (a window of ours grabs it, each
// motion is told with how far it went and the pointer is warped back, a motion the
// server stopped at the screen's edge counting by its raw motion, XInput 2), and the
// warps whose motions are not the mouse's. Internal to the kit.

#include "platform/appkit/Foundation.h"

#include <X11/Xlib.h>

#include <deque>
#include <utility>
#include <vector>

class NSWindow;

class AKX11Pointer
{
public:
  // What the pointer needs of the presenter.
  class Host
  {
  public:
    // The X window of a kit window the presenter has, 0 for none; the kit window of
    // an X window of ours, null for none.
    virtual Window xidOf(NSWindow* w) = 0;
    virtual NSWindow* windowOfX(Window xid) = 0;
    virtual NSSize screenSize() const = 0;
    virtual NSPoint mouseLocation() const = 0;

  protected:
    ~Host() = default;
  };

  // blank: the cursor shown while the cursor is hidden.
  AKX11Pointer(Display* d, Host* host, Cursor blank);

  // A menu shown: it takes the pointer and the keyboard until it goes.
  void menuShown(NSWindow* menu);
  // The window is hidden or goes: a menu lets the pointer go (to the menu under it), and
  // the window holding the held pointer gives it to another of ours.
  void ungrab(NSWindow* w);
  // The window is destroyed: the server ends a grab it held.
  void destroyed(Window xid);
  // True while the pointer is held and no window of ours could take it: the next one
  // viewable is given it (takePointer).
  bool waitsForAWindow() const { return mHolding && mGrabs.empty() && !mHoldGrab; }
  // Who holds the pointer now (see the definition).
  void takePointer();

  bool cursorHidden() const { return mCursorHidden; }
  void setCursorHidden(bool hidden);
  // Puts the pointer at a screen point (y up); while held, the held point goes there.
  void moveTo(NSPoint to);
  // Mouse and cursor coupled again (true) or uncoupled (false).
  void associate(bool connected);

  // While held: the window of ours that holds the pointer, and the held screen point
  // (y up), where every press and motion counts; null when not held.
  NSWindow* holder();
  NSPoint held() const { return mHeld; }
  // A press or release at a screen point (y up).
  void pressed(const XButtonEvent& b, bool released, NSPoint screen);
  // A motion to a screen point (y up): how far the mouse went since the last motion or
  // press (x right, y up); false when it goes no further (made before the hold, or by
  // our own warp back).
  bool moved(const XMotionEvent& m, NSPoint screen, NSPoint* d);
  // A raw motion told by XInput 2.
  void takeRawMotion(XGenericEventCookie& c);

private:
  Window windowOfOursAt(int x, int y);
  NSPoint parked(NSPoint p) const;
  void selectRawMotion(bool on);
  NSPoint wholeMotion(const XMotionEvent& m, NSPoint d) const;
  void warp(NSPoint to);
  void passWarps(unsigned long serial);

  Display* mDisplay;
  Host* mHost;
  Window mRoot;
  Cursor mBlankCursor;
  bool mCursorHidden = false;
  std::vector<NSWindow*> mGrabs;  // menus holding the pointer, innermost last
  NSPoint mLastMotion{0, 0};  // screen point of the last motion or press
  bool mHaveMotion = false;
  // While held (mouse and cursor uncoupled), the pointer's screen point, and the
  // serial of the request from which on motions count.
  bool mHolding = false;
  NSPoint mHeld{0, 0};
  unsigned long mHoldSerial = 0;
  Window mHoldGrab = 0;  // the window of ours holding the pointer for the hold (or the drag it outlived)
  int mXiOpcode = -1;    // XInput 2's, -1 without it
  bool mRawPending = false;
  NSPoint mRaw{0, 0};  // the last raw motion (x right, y down), not yet matched with its motion
  std::deque<std::pair<unsigned long, NSPoint>> mWarps;  // serial of each warp not yet passed, and its point
};
