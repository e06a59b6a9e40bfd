// Mouse, wheel, key and gesture events become the messages a window procedure
// expects, with their parameters bit for bit.

#include "wnd_test_util.h"

#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/keyboard.h"

namespace {

class Input : public WndTest
{
protected:
  void SetUp() override
  {
    WndTest::SetUp();
    // Hit tests and cursor updates of every press are not what these tests look at.
    log.ignored = {WM_NCHITTEST, WM_NCCALCSIZE, WM_SETCURSOR, WM_MOUSEACTIVATE, WM_PAINT, WM_NCPAINT};
    top = Window(NSMakeRect(100, 100, 200, 200), 0, &window);
    a = Child(top, NSMakeRect(10, 10, 80, 80));
    b = Child(top, NSMakeRect(100, 10, 80, 80));
    ShowWindow(top, SW_SHOW);
    log.msgs.clear();
  }
  void TearDown() override
  {
    SWELL_EnableRightClickEmulate(false);
    WndTest::TearDown();
  }
  // The focus rectangle over the whole of a (made on first use), and where a point of a
  // lies in it: events sent to it go on to a through the kit.
  NSWindow* Overlay()
  {
    RECT r{0, 0, 80, 80};
    if (!focus) SWELL_DrawFocusRect(a, &r, &focus);
    return (NSWindow*)focus;
  }
  NSPoint InOverlay(NSPoint p)
  {
    return Overlay()->convertScreenToBase(window->convertBaseToScreen(Mouse(NSMouseMoved, a, p)->locationInWindow()));
  }
  NSWindow* window = nullptr;
  HWND top = nullptr, a = nullptr, b = nullptr;
  void* focus = nullptr;
  // The mouse's screen position, packed.
  static constexpr LPARAM kPos = 1;
};

// A claimed hit turns each client mouse message into its non-client twin, the
// same distance below: the layer names every one of them.
static_assert(WM_MOUSEMOVE - WM_NCMOUSEMOVE == 0x160 && WM_LBUTTONDOWN - WM_NCLBUTTONDOWN == 0x160 &&
                  WM_MBUTTONDBLCLK - WM_NCMBUTTONDBLCLK == 0x160 && WM_NCLBUTTONDBLCLK == 0xA3 &&
                  WM_NCRBUTTONDBLCLK == 0xA6 && WM_NCMBUTTONDOWN == 0xA7 && WM_NCMBUTTONUP == 0xA8,
              "non-client mouse messages");
static_assert(SB_TOP == 6 && SB_BOTTOM == 7, "EM_SCROLL's ends");

TEST_F(Input, MouseMessagesAndTheirParameters)
{
  struct Case
  {
    const char* what;
    std::function<void()> act;
    std::vector<LoggedMsg> want;
  };
  const Case cases[] = {
      {"negative y packs as all ones, sign-extended",
       [&] {
         // The mouse is just above the view: its procedure claims the point as client area.
         log.handlers[{a, WM_NCHITTEST}] = [](HWND, WPARAM, LPARAM) { return HTCLIENT; };
         SWELL_SendMouseMessage(a, WM_LBUTTONDOWN, Mouse(NSLeftMouseDown, a, NSMakePoint(10.7, -0.2)));
         log.handlers.clear();
       },
       {{a, WM_LBUTTONDOWN, 0, -65526}}},
      {"a double click",
       [&] { Send(Mouse(NSLeftMouseDown, a, NSMakePoint(3, 4), 0, 2)); },
       {{a, WM_LBUTTONDBLCLK, 0, SWELL_PackPoint(3, 4)}}},
      {"wheel up one notch",
       [&] { Send(NSEvent::scrollEventWithDeltas(Mouse(NSMouseMoved, a, NSMakePoint(1, 1))->locationInWindow(), 0,
                                                  window, 0, 1.0)); },
       {{a, WM_MOUSEWHEEL, (WPARAM)60 << 16, kPos}, {top, WM_MOUSEWHEEL, (WPARAM)60 << 16, kPos}}},
      {"wheel down half a notch",
       [&] { Send(NSEvent::scrollEventWithDeltas(Mouse(NSMouseMoved, a, NSMakePoint(1, 1))->locationInWindow(), 0,
                                                  window, 0, -0.5)); },
       {{a, WM_MOUSEWHEEL, (WPARAM)(LPARAM)(-30 * 65536), kPos},
        {top, WM_MOUSEWHEEL, (WPARAM)(LPARAM)(-30 * 65536), kPos}}},
      {"both deltas: vertical then horizontal",
       [&] { Send(NSEvent::scrollEventWithDeltas(Mouse(NSMouseMoved, a, NSMakePoint(1, 1))->locationInWindow(), 0,
                                                  window, 2.0, 1.0)); },
       // Each goes up to the parent through the default procedure.
       {{a, WM_MOUSEWHEEL, (WPARAM)60 << 16, kPos},
        {top, WM_MOUSEWHEEL, (WPARAM)60 << 16, kPos},
        {a, WM_MOUSEHWHEEL, (WPARAM)120 << 16, kPos},
        {top, WM_MOUSEHWHEEL, (WPARAM)120 << 16, kPos}}},
      // Each field of an event sent to the focus rectangle reaches the view under it.
      {"the wheel's vertical delta through the focus rectangle",
       [&] { Send(NSEvent::scrollEventWithDeltas(InOverlay(NSMakePoint(1, 1)), 0, Overlay(), 0, 1.0)); },
       {{a, WM_MOUSEWHEEL, (WPARAM)60 << 16, kPos}, {top, WM_MOUSEWHEEL, (WPARAM)60 << 16, kPos}}},
      {"the wheel's horizontal delta through the focus rectangle",
       [&] { Send(NSEvent::scrollEventWithDeltas(InOverlay(NSMakePoint(1, 1)), 0, Overlay(), -2.0, 0)); },
       {{a, WM_MOUSEHWHEEL, (WPARAM)(LPARAM)(-120 * 65536), kPos},
        {top, WM_MOUSEHWHEEL, (WPARAM)(LPARAM)(-120 * 65536), kPos}}},
      {"a double click's count through the focus rectangle",
       [&] { Send(NSEvent::mouseEventWithType(NSLeftMouseDown, InOverlay(NSMakePoint(3, 4)), 0, 0, Overlay(), 2)); },
       {{a, WM_LBUTTONDBLCLK, 0, SWELL_PackPoint(3, 4)}}},
      {"a press's modifier keys through the focus rectangle (Control with emulation on)",
       [&] {
         SWELL_EnableRightClickEmulate(true);
         Send(NSEvent::mouseEventWithType(NSLeftMouseDown, InOverlay(NSMakePoint(3, 3)), NSControlKeyMask, 0, Overlay(),
                                          1));
         Send(NSEvent::mouseEventWithType(NSLeftMouseUp, InOverlay(NSMakePoint(3, 3)), 0, 0, Overlay(), 1));
         SWELL_EnableRightClickEmulate(false);
       },
       {{a, WM_RBUTTONDOWN, 0, SWELL_PackPoint(3, 3)},
        {a, WM_RBUTTONUP, 0, SWELL_PackPoint(3, 3)},
        {a, WM_CONTEXTMENU, (WPARAM)a, 0},
        {top, WM_CONTEXTMENU, (WPARAM)a, 0}}},
      {"right press and release",
       [&] {
         Send(Mouse(NSRightMouseDown, b, NSMakePoint(5, 6)));
         Send(Mouse(NSRightMouseUp, b, NSMakePoint(5, 6)));
       },
       // The release's default procedure asks for a context menu, which passes up.
       {{b, WM_RBUTTONDOWN, 0, SWELL_PackPoint(5, 6)},
        {b, WM_RBUTTONUP, 0, SWELL_PackPoint(5, 6)},
        {b, WM_CONTEXTMENU, (WPARAM)b, 0},
        {top, WM_CONTEXTMENU, (WPARAM)b, 0}}},
      {"a non-client answer turns the press into its non-client twin",
       [&] {
         log.handlers[{a, WM_NCHITTEST}] = [](HWND, WPARAM, LPARAM) { return (LRESULT)2; };
         Send(Mouse(NSLeftMouseDown, a, NSMakePoint(3, 3)));
         Send(Mouse(NSLeftMouseUp, a, NSMakePoint(3, 3)));
         log.handlers.clear();
       },
       {{a, WM_NCLBUTTONDOWN, 2, kPos}, {a, WM_NCLBUTTONUP, 2, kPos}}},
      {"while b holds the capture a press on a reaches b, in b's coordinates",
       [&] {
         SetCapture(b);
         Send(Mouse(NSLeftMouseDown, a, NSMakePoint(3, 3)));
         ReleaseCapture();
       },
       {{b, WM_LBUTTONDOWN, 0, SWELL_PackPoint(10 + 3 - 100, 3)}, {b, WM_CAPTURECHANGED, 0, 0}}},
      {"Control-press with emulation on is the right button, press and release",
       [&] {
         SWELL_EnableRightClickEmulate(true);
         Send(Mouse(NSLeftMouseDown, a, NSMakePoint(3, 3), NSControlKeyMask));
         Send(Mouse(NSLeftMouseUp, a, NSMakePoint(3, 3)));
         SWELL_EnableRightClickEmulate(false);
       },
       {{a, WM_RBUTTONDOWN, 0, SWELL_PackPoint(3, 3)},
        {a, WM_RBUTTONUP, 0, SWELL_PackPoint(3, 3)},
        {a, WM_CONTEXTMENU, (WPARAM)a, 0},
        {top, WM_CONTEXTMENU, (WPARAM)a, 0}}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    log.msgs.clear();
    c.act();
    std::vector<LoggedMsg> got = log.msgs;
    for (LoggedMsg& m : got)
    {
      if (m.msg == WM_CONTEXTMENU) m.lParam = 0;  // a screen point, checked elsewhere
      if (m.lParam == (LPARAM)(int32_t)GetMessagePos() &&
          (m.msg == WM_MOUSEWHEEL || m.msg == WM_MOUSEHWHEEL || m.msg == WM_NCLBUTTONDOWN || m.msg == WM_NCLBUTTONUP))
        m.lParam = kPos;
    }
    EXPECT_EQ(got, c.want);
  }
  SWELL_DrawFocusRect(a, nullptr, &focus);

  // A disabled view gets no left press; a destroyed one nothing at all.
  EnableWindow(a, 0);
  log.msgs.clear();
  Send(Mouse(NSLeftMouseDown, a, NSMakePoint(3, 3)));
  EXPECT_TRUE(log.msgs.empty());
  SWELL_WindowView(a)->retain();
  DestroyWindow(a);
  log.msgs.clear();
  EXPECT_EQ(SWELL_SendMouseMessage(a, WM_LBUTTONDOWN, Mouse(NSLeftMouseDown, top, NSMakePoint(3, 3))), -1);
  EXPECT_TRUE(log.msgs.empty());
  SWELL_WindowView(a)->release();
}

// A view that claims a non-client area gets the event before the kit routes it; the
// outermost claimer wins.
TEST_F(Input, NonClientClaimsBeforeRouting)
{
  const HWND inner = Child(a, NSMakeRect(5, 5, 20, 20));
  struct Case
  {
    bool parentClaims, childClaims;
    HWND want;
  };
  for (const Case c : {Case{true, true, a}, Case{false, true, inner}, Case{false, false, nullptr}})
  {
    log.handlers.clear();
    if (c.parentClaims) log.handlers[{a, WM_NCHITTEST}] = [](HWND, WPARAM, LPARAM) { return (LRESULT)2; };
    if (c.childClaims) log.handlers[{inner, WM_NCHITTEST}] = [](HWND, WPARAM, LPARAM) { return (LRESULT)2; };
    log.msgs.clear();
    NSEvent* e = Mouse(NSLeftMouseDown, inner, NSMakePoint(2, 2));
    EXPECT_EQ(SWELL_HandleMouseEvent(e), c.want != nullptr);
    const std::vector<LoggedMsg> down = log.only(WM_NCLBUTTONDOWN);
    if (c.want)
    {
      ASSERT_EQ(down.size(), 1u);
      EXPECT_EQ(down[0].hwnd, c.want);
    }
    else
      EXPECT_TRUE(down.empty());
  }
}

TEST_F(Input, KeysAreTranslatedAndPassedOnWhenAsked)
{
  SetFocus(a);
  struct Case
  {
    LRESULT answer;
    size_t parentSees;
  };
  for (const Case c : {Case{0, 0}, Case{SWELL_KEY_PASS_ON, 1}})
  {
    log.handlers[{a, WM_KEYDOWN}] = [c](HWND, WPARAM, LPARAM) { return c.answer; };
    log.msgs.clear();
    Send(NSEvent::keyEventWithType(NSKeyDown, NSMakePoint(0, 0), NSCommandKeyMask, 0, window, "c", "c", kVK_ANSI_C));
    ASSERT_FALSE(log.msgs.empty());
    EXPECT_EQ(log.msgs[0], (LoggedMsg{a, WM_KEYDOWN, 'C', FVIRTKEY | FCONTROL}));
    EXPECT_EQ(log.only(WM_KEYDOWN).size(), 1 + c.parentSees) << c.answer;
  }
}

// A move reported to one view goes to the window view really under the mouse: in
// the same window, or in another window the mouse is over.
TEST_F(Input, MovesGoToTheViewUnderTheMouse)
{
  NSWindow* other = nullptr;
  const HWND otherTop = Window(NSMakeRect(1000, 100, 100, 100), 0, &other);
  const HWND otherChild = Child(otherTop, NSMakeRect(10, 10, 50, 50));
  ShowWindow(otherTop, SW_SHOW);
  // A window shown over a's far corner without taking the keyboard.
  const NSPoint corner =
      window->convertBaseToScreen(dynamic_cast<NSView*>(SWELL_Object(a))->convertPointToView(NSMakePoint(60, 60), nullptr));
  const HWND coverTop = Window(NSMakeRect(corner.x - 10, corner.y - 10, 40, 40));
  const HWND cover = Child(coverTop, NSMakeRect(0, 0, 40, 40));
  ShowWindow(coverTop, SW_SHOWNA);
  struct Case
  {
    const char* what;
    std::function<NSEvent*()> event;  // made when it happens: it puts the mouse there
    HWND want;
  };
  // Over b, reported to a; over a, reported to a; over the other window's child.
  const Case cases[] = {
      {"a sibling", [&] { return Mouse(NSMouseMoved, b, NSMakePoint(5, 5)); }, b},
      {"itself", [&] { return Mouse(NSMouseMoved, a, NSMakePoint(5, 5)); }, a},
      {"another window",
       [&] {
         const NSPoint screen = other->convertBaseToScreen(NSMakePoint(20, 70));
         NSApp->presenter()->noteMouse(screen, 0);
         return NSEvent::mouseEventWithType(NSMouseMoved, window->convertScreenToBase(screen), 0, 0, window, 0);
       },
       otherChild},
      {"a window over the key one",
       [&] {
         window->makeKeyWindow();
         return Mouse(NSMouseMoved, a, NSMakePoint(60, 60));
       },
       cover},
  };
  for (const Case& c : cases)
  {
    log.msgs.clear();
    SWELL_WindowView(a)->mouseMoved(c.event());
    const std::vector<LoggedMsg> moves = log.only(WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u) << c.what;
    EXPECT_EQ(moves[0].hwnd, c.want) << c.what;
  }
  // While a holds the capture, another view takes no moves (the holder's come as drags).
  SetCapture(a);
  log.msgs.clear();
  SWELL_WindowView(a)->mouseMoved(Mouse(NSMouseMoved, b, NSMakePoint(5, 5)));
  SWELL_WindowView(b)->mouseMoved(Mouse(NSMouseMoved, b, NSMakePoint(5, 5)));
  EXPECT_TRUE(log.only(WM_MOUSEMOVE).empty());
  SWELL_WindowView(a)->mouseDragged(Mouse(NSLeftMouseDragged, b, NSMakePoint(5, 5)));
  ASSERT_EQ(log.only(WM_MOUSEMOVE).size(), 1u);
  EXPECT_EQ(log.only(WM_MOUSEMOVE)[0].hwnd, a);
  ReleaseCapture();
}

TEST_F(Input, AsyncKeyStateFollowsTheEventBeingSent)
{
  static short shift = 0, control = 0, lwin = 0;
  log.handlers[{a, WM_LBUTTONDOWN}] = [](HWND, WPARAM, LPARAM) {
    shift = GetAsyncKeyState(16);
    control = GetAsyncKeyState(17);
    lwin = GetAsyncKeyState(91);
    return (LRESULT)0;
  };
  Send(Mouse(NSLeftMouseDown, a, NSMakePoint(3, 3), NSShiftKeyMask | NSCommandKeyMask));
  EXPECT_EQ(shift, (short)0x8000);
  EXPECT_EQ(control, (short)0x8000);
  EXPECT_EQ(lwin, 0);
  EXPECT_EQ(GetAsyncKeyState(16), 0) << "no event being sent";
  // Keys held now, as the presenter last saw them, count outside an event too.
  NSApp->presenter()->noteModifiers(NSAlternateKeyMask | NSControlKeyMask);
  EXPECT_EQ(GetAsyncKeyState(18), (short)0x8000);
  EXPECT_EQ(GetAsyncKeyState(91), (short)0x8000);
  EXPECT_EQ(GetAsyncKeyState(16), 0);
  SWELL_EnableRightClickEmulate(true);
  EXPECT_EQ(GetAsyncKeyState(91), 0) << "control stands for the right button";
  SWELL_EnableRightClickEmulate(false);
  NSApp->presenter()->noteModifiers(0);
  EXPECT_EQ(GetAsyncKeyState(18), 0);
}

TEST_F(Input, GesturesBeginAndEnd)
{
  struct Seen
  {
    DWORD flags, id;
    uint64_t args;
    WPARAM wp;
    POINTS at;
  };
  static std::vector<Seen> seen;
  seen.clear();
  log.handlers[{a, WM_GESTURE}] = [](HWND, WPARAM wp, LPARAM lp) {
    GESTUREINFO gi;
    EXPECT_TRUE(SWELL_GetGestureInfo(lp, &gi));
    EXPECT_EQ(gi.cbSize, 56u);
    seen.push_back(Seen{gi.dwFlags, gi.dwID, gi.ullArguments, wp, gi.ptsLocation});
    return (LRESULT)1;
  };
  struct Case
  {
    NSEventType type;
    CGFloat dx, dy, dz, rot;
    DWORD id;
    uint64_t begin, end;
    int shiftX, shiftY;
  };
  const Case cases[] = {
      {NSEventTypeMagnify, 0, 0, 0.0001, 0, GID_ZOOM, 1024, 1025, 0, 0},
      {NSEventTypeMagnify, 0, 0, -0.9, 0, GID_ZOOM, 1024, 512, 0, 0},
      {NSEventTypeMagnify, 0, 0, 5.0, 0, GID_ZOOM, 1024, 2048, 0, 0},
      {NSEventTypeRotate, 0, 0, 0, 30, GID_ROTATE, 0, 32767 + 16383, 0, 0},
      {NSEventTypeRotate, 0, 0, 0, -0.0001, GID_ROTATE, 0, 32766, 0, 0},
      {NSEventTypeSwipe, -1, 0, 0, 0, GID_PAN, 0, 0, -80, 0},
      {NSEventTypeSwipe, 0, 1, 0, 0, GID_PAN, 0, 0, 0, -80},
  };
  // Also sent to the focus rectangle over a: each field goes on to a.
  for (const bool through : {false, true})
    for (const Case& c : cases)
    {
      SCOPED_TRACE(through ? "through the focus rectangle" : "to a's window");
      seen.clear();
      const NSPoint at =
          through ? InOverlay(NSMakePoint(4, 4)) : Mouse(NSMouseMoved, a, NSMakePoint(4, 4))->locationInWindow();
      Send(NSEvent::gestureEventWithType(c.type, at, through ? Overlay() : window, c.dx, c.dy, c.dz, c.rot));
      ASSERT_EQ(seen.size(), 2u);
      EXPECT_EQ(seen[0].flags, (DWORD)GF_BEGIN);
      EXPECT_EQ(seen[1].flags, (DWORD)GF_END);
      EXPECT_EQ(seen[0].id, c.id);
      EXPECT_EQ(seen[0].args, c.begin);
      EXPECT_EQ(seen[0].wp, 0u);
      EXPECT_EQ(seen[1].args, c.end) << c.dz << " " << c.rot;
      EXPECT_EQ(seen[1].wp, c.end);
      EXPECT_EQ(seen[1].at.x - seen[0].at.x, c.shiftX);
      EXPECT_EQ(seen[1].at.y - seen[0].at.y, c.shiftY);
    }
  SWELL_DrawFocusRect(a, nullptr, &focus);
}

}  // namespace
