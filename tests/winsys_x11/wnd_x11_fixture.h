#pragma once
// The fixture of the window tests on the private X server: window views with a
// message log (WndTest), a driver to send input and read the screen, and the
// run loop that answers them.

#include "../winsys_wnd/wnd_test_util.h"
#include "X11Session.h"

#include "platform/appkit/testing/X11TestDriver.h"
#include "raster/lice_bitmap.h"

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

  // Waits until the window is on the screen and shows what it drew, then reads its
  // pixels (0xRRGGBB, row by row); 0 when it never showed or could not be read. Under
  // a window manager the window is mapped when the manager gets to it, and shows its
  // drawing again only once the exposure is answered: an opaque window is read until
  // the server has its backing's pixels.
  unsigned long Shown(NSWindow* w, int* width, int* height, std::vector<uint32_t>* px)
  {
    const unsigned long xid = AKX11WindowOf(w);
    const auto drawn = [&] {
      LICE_SysBitmap* b = w->backing();
      if (!w->isOpaque() || !b || b->getWidth() != *width || b->getHeight() != *height) return true;
      for (int y = 0; y < *height; ++y)
        for (int x = 0; x < *width; ++x)
          if ((__builtin_bswap32(b->getBits()[y * b->getRowSpan() + x]) & 0xFFFFFFu) != (*px)[(size_t)y * *width + x])
            return false;
      return true;
    };
    const bool shown = xid && until([&] {
      if (!driver->viewable(xid) || w->displayCount() == 0) return false;
      driver->sync();
      return driver->read(xid, width, height, px) && drawn();
    });
    return shown ? xid : 0;
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
