#pragma once
// The fixture of the window tests on the private X server: window views with a
// message log (WndTest), a driver to send input and read the screen, and the
// run loop that answers them.

#include "../winsys_wnd/wnd_test_util.h"
#include "X11Session.h"

#include "platform/appkit/X11TestDriver.h"

#include <cstdint>
#include <functional>
#include <vector>

class WndX11Test : public X11SessionTest<WndTest>
{
protected:
  void SetUp() override
  {
    X11SessionTest::SetUp();
    loop = NSRunLoop::currentRunLoop();
  }
  void TearDown() override
  {
    WndTest::TearDown();
    loop->runOnce();
  }
  bool until(const std::function<bool()>& done) { return loop->runUntil(done, loop->now() + 10.0); }

  // Waits until the window is on the screen and has drawn, then reads its pixels
  // (0xRRGGBB, row by row); 0 when it never showed or could not be read.
  unsigned long Shown(NSWindow* w, int* width, int* height, std::vector<uint32_t>* px)
  {
    const unsigned long xid = AKX11WindowOf(w);
    if (!xid || !until([&] { return driver->viewable(xid) && w->displayCount() > 0; })) return 0;
    loop->runOnce();
    driver->sync();
    return driver->read(xid, width, height, px) ? xid : 0;
  }

  // A 200x150 top-level window shown on the server: its X window, or 0.
  unsigned long ShownTop(HWND* top, bool mouseMoves)
  {
    NSWindow* w = nullptr;
    *top = Window(NSMakeRect(60, 300, 200, 150), 0, &w);
    w->setAcceptsMouseMovedEvents(mouseMoves);
    ShowWindow(*top, SW_SHOW);
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    return Shown(w, &width, &height, &px);
  }

  NSRunLoop* loop = nullptr;
};
