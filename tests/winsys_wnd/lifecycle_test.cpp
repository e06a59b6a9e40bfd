// A window procedure sees creation, sizing, showing, painting, input and
// destruction in order; destruction from inside handlers is clean.

#include "wnd_test_util.h"
#include "menu_test_util.h"

#include <algorithm>

#include "platform/appkit/NSView.h"
#include "winsys/shell/menus.h"
#include "winsys/msgloop/timers.h"
#include "winsys/wnd/keyboard.h"

namespace {

class Lifecycle : public WndTest
{
protected:
  void SetUp() override
  {
    WndTest::SetUp();
    InstallPostDelegate();
  }
  // Records passed by address and paint contexts differ from run to run: a
  // non-null one compares as the marker.
  static constexpr LPARAM kRecord = 1;
  static constexpr WPARAM kContext = 1;
  static std::vector<LoggedMsg> Normalised(std::vector<LoggedMsg> msgs)
  {
    for (LoggedMsg& m : msgs)
    {
      if (m.msg == WM_NCCALCSIZE && m.lParam) m.lParam = kRecord;
      if (m.msg == WM_PAINT && m.wParam) m.wParam = kContext;
    }
    return msgs;
  }
};

TEST_F(Lifecycle, WindowProcedureSeesTheLifeOfAWindowInOrder)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(100, 300, 200, 150), 42, &w);
  const HWND child = Child(top, NSMakeRect(10, 20, 50, 40), 7);
  ShowWindow(top, SW_SHOW);
  w->displayIfNeeded();
  // A press at child point (5.7, 6.2) and its release; a key while the child has the focus.
  Send(Mouse(NSLeftMouseDown, child, NSMakePoint(5.7, 6.2)));
  Send(Mouse(NSLeftMouseUp, child, NSMakePoint(5.7, 6.2)));
  Send(NSEvent::keyEventWithType(NSKeyDown, NSMakePoint(0, 0), NSShiftKeyMask, 0, w, "K", "k", kVK_ANSI_K));
  DestroyWindow(top);

  const LPARAM at = SWELL_PackPoint(5, 6);
  const LPARAM screen = (LPARAM)(int32_t)GetMessagePos();
  const std::vector<LoggedMsg> want = {
      {top, WM_CREATE, 0, 42},
      {child, WM_CREATE, 0, 7},
      {child, WM_SIZE, 0, 0},
      {child, WM_SHOWWINDOW, 1, 0},
      {top, WM_SHOWWINDOW, 1, 0},
      // Painting: the content view, then the child over it.
      {top, WM_NCCALCSIZE, 0, kRecord},
      {top, WM_NCPAINT, 1, 0},
      {top, WM_PAINT, kContext, 0},
      {child, WM_NCCALCSIZE, 0, kRecord},
      {child, WM_NCPAINT, 1, 0},
      {child, WM_PAINT, kContext, 0},
      // The press makes the child the first responder, then arrives.
      {child, WM_MOUSEACTIVATE, 0, 0},
      {child, WM_NCHITTEST, 0, screen},
      {child, WM_NCCALCSIZE, 0, kRecord},  // the default hit test asks for the client area
      {child, WM_LBUTTONDOWN, 0, at},
      {child, WM_NCHITTEST, 0, screen},
      {child, WM_NCCALCSIZE, 0, kRecord},
      {child, WM_LBUTTONUP, 0, at},
      {child, WM_SETCURSOR, (WPARAM)child, (LPARAM)(HTCLIENT | WM_LBUTTONUP << 16)},
      // Translated: 'K' as a virtual key with shift; passed on (69) up the responders.
      {child, WM_KEYDOWN, 'K', FVIRTKEY | FSHIFT},
      {top, WM_KEYDOWN, 'K', FVIRTKEY | FSHIFT},
      // The parent's procedure first, then its child.
      {top, WM_DESTROY, 0, 0},
      {child, WM_DESTROY, 0, 0},
  };
  EXPECT_EQ(Normalised(log.msgs), want);
  EXPECT_TRUE(w->isClosed());
}

TEST_F(Lifecycle, DestroyStatesDeliverOneDestroyAndNothingAfter)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  const HWND a = Child(top, NSMakeRect(0, 0, 10, 10));
  Swell_vDavrel_64_hwnd* av = SWELL_WindowView(a);
  av->retain();
  log.msgs.clear();
  EXPECT_TRUE(PostMessage(a, 0x400, 1, 2));
  SendMessage(a, WM_DESTROY, 0, 0);
  SendMessage(a, WM_DESTROY, 0, 0);
  EXPECT_EQ(SendMessage(a, 0x401, 0, 0), 0);
  EXPECT_FALSE(PostMessage(a, 0x400, 1, 2)) << "a destroyed window takes no posts";
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0) << "destruction drops what was posted";
  EXPECT_EQ(log.msgs, (std::vector<LoggedMsg>{{a, WM_DESTROY, 0, 0}}));
  EXPECT_EQ(av->destroyState(), 2);
  av->release();
}

// A handler that destroys its own window, and one that destroys its parent.
TEST_F(Lifecycle, DestroyingFromInsideHandlersIsClean)
{
  struct Case
  {
    const char* what;
    bool parent;
  };
  for (const Case c : {Case{"own window", false}, Case{"the parent", true}})
  {
    SCOPED_TRACE(c.what);
    NSWindow* w = nullptr;
    const HWND top = Window(NSMakeRect(0, 0, 100, 100), 0, &w);
    const HWND mid = Child(top, NSMakeRect(0, 0, 80, 80));
    const HWND leaf = Child(mid, NSMakeRect(0, 0, 20, 20));
    const HWND sibling = Child(mid, NSMakeRect(20, 0, 20, 20));
    const HWND victim = c.parent ? mid : leaf;
    log.handlers[{leaf, 0x0400}] = [victim](HWND h, WPARAM, LPARAM) {
      DestroyWindow(victim);
      // The view is still there for the rest of its handler.
      return (LRESULT)GetWindowLong(h, GWL_ID) + 5;
    };
    // A child told of the destruction removes its sibling and adds views to its parent.
    // The sibling is gone at once, and stays gone when the new views take its memory
    // (as they do outside the sanitizers): its handle is never given out again.
    bool siblingGone = false;
    log.handlers[{leaf, WM_DESTROY}] = [mid, sibling, &siblingGone](HWND, WPARAM, LPARAM) {
      DestroyWindow(sibling);
      siblingGone = !IsWindow(sibling);
      for (int i = 0; i < 4; ++i) SWELL_CreateWindowView(nullptr, mid, RecordingProc, 0);
      return (LRESULT)0;
    };
    log.msgs.clear();
    EXPECT_EQ(SendMessage(leaf, 0x0400, 0, 0), 5);
    const std::vector<LoggedMsg> destroyed = log.only(WM_DESTROY);
    EXPECT_EQ(destroyed[0].hwnd, victim);
    EXPECT_GE(destroyed.size(), 2u);
    EXPECT_FALSE(IsWindow(victim));
    EXPECT_TRUE(siblingGone);
    EXPECT_FALSE(IsWindow(sibling));
    EXPECT_TRUE(IsWindow(top));
    log.handlers.clear();
    DestroyWindow(top);
    EXPECT_TRUE(w->isClosed());
  }
}

// A handle kept past its window's destruction names nothing, even when new windows
// take the old windows' memory (as they do at once outside the sanitizers).
TEST_F(Lifecycle, HandlesThatOutliveTheirWindowNameNothing)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  std::vector<HWND> old;
  std::vector<const void*> oldAddresses;
  for (int i = 0; i < 8; ++i)
  {
    old.push_back(Child(top, NSMakeRect(i, 0, 10, 10), 100 + i));
    oldAddresses.push_back(SWELL_Object(old.back()));
  }
  for (HWND h : old) DestroyWindow(h);
  std::vector<HWND> fresh;
  int reused = 0;
  for (int i = 0; i < 8; ++i)
  {
    fresh.push_back(Child(top, NSMakeRect(i, 20, 10, 10), 200 + i));
    reused += (int)std::count(oldAddresses.begin(), oldAddresses.end(), (const void*)SWELL_Object(fresh.back()));
  }
  log.msgs.clear();
  for (HWND h : old)
  {
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(SWELL_Object(h), nullptr);
    EXPECT_EQ(SendMessage(h, 0x0400, 0, 0), 0);
    EXPECT_EQ(GetWindowLong(h, GWL_ID), 0);
    EXPECT_FALSE(PostMessage(h, 0x0400, 0, 0));
    EXPECT_EQ(std::count(fresh.begin(), fresh.end(), h), 0) << "a handle is never given out twice";
  }
  EXPECT_TRUE(log.msgs.empty());
  for (HWND h : fresh) EXPECT_TRUE(IsWindow(h));
  RecordProperty("reused_addresses", reused);
  DestroyWindow(top);
}

// A key window whose bar is the application's menu, let go without DestroyWindow (a
// host dropping its window): its view hears WM_DESTROY once and is freed once, though
// the menu's dropping relays every window's strip while the window is being let go
// (freed twice before: the address sanitizer's report, or the allocator's abort).
TEST_F(Lifecycle, AWindowLetGoWithTheMainMenuAsItsBarIsFreedOnce)
{
  const HMENU bar = BarWithSubmenu("Banks", {{"Load bank", 320}});
  HWND handle = nullptr;
  {
    NSAutoreleasePool pool;
    NSWindow* w = nullptr;
    const HWND top = handle = Window(NSMakeRect(0, 0, 200, 100), 0, &w);
    w->makeKeyWindow();
    ASSERT_TRUE(SetMenu(top, bar));
    ASSERT_EQ(SWELL_GetCurrentMenu(), bar);
    windows.erase(std::find(windows.begin(), windows.end(), w));
    log.msgs.clear();
    w->close();
    w->release();
  }
  EXPECT_EQ(log.only(WM_DESTROY).size(), 1u);
  EXPECT_EQ(SWELL_GetCurrentMenu(), nullptr);
  EXPECT_FALSE(IsWindow(handle));
  DestroyMenu(bar);
}

}  // namespace
