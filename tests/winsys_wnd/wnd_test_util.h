#pragma once
// Window views under test: a recording window procedure, a headless window to hold
// them, and synthetic events sent through the kit as the presenter sends them.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/Presenter.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_draw.h"
#include "winsys/msgloop/app_delegate.h"
#include "winsys/msgloop/timers.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/wnd.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "LoggedMsg.h"

// Every message a window procedure of these tests sees, and what some of them answer.
struct WndLog
{
  std::vector<LoggedMsg> msgs;
  // Messages of these numbers are not recorded (painting noise in input tests).
  std::vector<UINT> ignored;
  // Per window and message: the answer, or an action run before DefWindowProc.
  std::map<std::pair<HWND, UINT>, std::function<LRESULT(HWND, WPARAM, LPARAM)>> handlers;

  // The messages of these numbers, in the order they came.
  std::vector<LoggedMsg> only(std::initializer_list<UINT> wanted) const
  {
    std::vector<LoggedMsg> r;
    for (const LoggedMsg& m : msgs)
      if (std::find(wanted.begin(), wanted.end(), m.msg) != wanted.end()) r.push_back(m);
    return r;
  }
  std::vector<LoggedMsg> only(UINT msg) const { return only({msg}); }
};

inline WndLog* g_wndLog = nullptr;

// Posting set up as a program that hosts the layer sets it up: the layer's
// application delegate takes the posts and its tick (every 0.05 s) flushes them.
inline void InstallPostDelegate()
{
  static SWELL_PostMessageDelegate* delegate = new SWELL_PostMessageDelegate;
  NSApp->setDelegate(delegate);
  SWELL_Internal_PostMessage_Init();
}

inline LRESULT RecordingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
  if (g_wndLog)
  {
    bool skip = false;
    for (UINT i : g_wndLog->ignored) skip |= i == msg;
    if (!skip) g_wndLog->msgs.push_back(LoggedMsg{h, msg, wp, lp});
    auto it = g_wndLog->handlers.find({h, msg});
    if (it != g_wndLog->handlers.end()) return it->second(h, wp, lp);
  }
  return DefWindowProc(h, msg, wp, lp);
}

class WndTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    // Headless unless a fixture over a private X server made the application first:
    // a DISPLAY in the environment does not choose the presenter for these tests.
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    NSApplication::sharedApplication();
    g_wndLog = &log;
  }
  void TearDown() override
  {
    g_wndLog = nullptr;
    for (NSWindow* w : windows)
    {
      if (!w->isClosed()) w->close();
      w->release();
    }
    ReleaseCapture();
  }
  // A titled window at (x, y) of the screen with a window view as its content.
  HWND Window(NSRect frame, LPARAM param = 0, NSWindow** out = nullptr)
  {
    NSWindow* w = new NSWindow(frame, NSTitledWindowMask | NSResizableWindowMask, NSBackingStoreBuffered, false);
    windows.push_back(w);
    if (out) *out = w;
    return SWELL_CreateWindowView(nullptr, SWELL_HWND(w), RecordingProc, param);
  }
  HWND Child(HWND parent, NSRect frame, LPARAM param = 0)
  {
    HWND c = SWELL_CreateWindowView(nullptr, parent, RecordingProc, param);
    SetWindowPos(c, nullptr, (int)frame.origin.x, (int)frame.origin.y, (int)frame.size.width,
                 (int)frame.size.height, SWP_NOZORDER);
    ShowWindow(c, SW_SHOW);
    return c;
  }
  // A mouse event at the point of a view (its own coordinates), with the
  // presenter's mouse where the event is.
  NSEvent* Mouse(NSEventType type, HWND view, NSPoint p, NSUInteger flags = 0, NSInteger clicks = 1)
  {
    NSView* v = dynamic_cast<NSView*>(SWELL_Object(view));
    const NSPoint base = v->convertPointToView(p, nullptr);
    NSApp->presenter()->noteMouse(v->window()->convertBaseToScreen(base), 0);
    return NSEvent::mouseEventWithType(type, base, flags, 0, v->window(), clicks);
  }
  void Send(NSEvent* e) { NSApp->sendEvent(e); }
  // A press of a key without a printable character (NSUpArrowFunctionKey...) in the window.
  void Key(NSWindow* w, char16_t c, NSUInteger flags = 0)
  {
    Send(NSEvent::keyEventWithType(NSKeyDown, flags, w, std::u16string(1, c), std::u16string(1, c), 0xFFFF));
  }

  WndLog log;
  std::vector<NSWindow*> windows;
};

// Adds a control made with new to a window view (or a window's content view) under
// the id tag; the parent holds it from then on.
template <class T>
T* AddControl(HWND parent, T* control, int tag)
{
  control->setTag(tag);
  dynamic_cast<NSView*>(SWELL_Object(parent))->addSubview(control);
  control->release();
  return control;
}

// A row of a window's backing counted from the window's top, in the backing's own
// pixel layout (the backing may be stored bottom row first).
inline LICE_PixelValue* BackingRow(NSWindow* w, int y)
{
  LICE_IBitmap* b = w->backing();
  return b->getBits() + (size_t)(b->isFlipped() ? b->getHeight() - 1 - y : y) * b->getRowSpan();
}

// The box around the dark pixels (red, green and blue each under 100) of a width by
// height picture, rgb(x, y) giving 0xRRGGBB with rows top-down; right and bottom
// exclusive, empty when nothing is dark.
struct Box
{
  int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};
template <class Rgb>
Box DarkBox(int width, int height, Rgb rgb)
{
  Box box;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
    {
      const uint32_t p = rgb(x, y);
      if (((p >> 16) & 0xFF) < 100 && ((p >> 8) & 0xFF) < 100 && (p & 0xFF) < 100)
      {
        box.left = std::min(box.left, x);
        box.top = std::min(box.top, y);
        box.right = std::max(box.right, x + 1);
        box.bottom = std::max(box.bottom, y + 1);
      }
    }
  return box;
}

// Fills r of dc with a colour (0xBBGGRR, as brushes take it).
inline void Fill(HDC dc, RECT r, int colour)
{
  HBRUSH b = CreateSolidBrush(colour);
  SWELL_FillRect(dc, &r, b);
  DeleteObject(b);
}

// A text control's selection as EM_GETSEL reports it: start and end.
using Sel = std::pair<int32_t, int32_t>;
inline Sel Selection(HWND h)
{
  int32_t start = -9, end = -9;
  SendMessage(h, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
  return {start, end};
}

// Queues a click in the middle of the dialog's item for the next turn of the loop
// (a modal run's own loop when one is about to start).
inline void PostClick(HWND dialog, int id)
{
  NSView* b = dynamic_cast<NSView*>(SWELL_Object(GetDlgItem(dialog, id)));
  ASSERT_TRUE(b) << id;
  const NSRect f = b->bounds();
  const NSPoint base = b->convertPointToView(NSMakePoint(f.size.width / 2, f.size.height / 2), nullptr);
  NSApp->presenter()->noteMouse(b->window()->convertBaseToScreen(base), 0);
  for (NSEventType t : {NSLeftMouseDown, NSLeftMouseUp})
    NSApp->postEvent(NSEvent::mouseEventWithType(t, base, 0, 0, b->window(), 1), false);
}
