// A window of the window-system layer under a real X server: it shows what its
// procedures paint, and clicks and keys sent by another X client arrive as
// window messages at the right client coordinates.

#include "../winsys_wnd/menu_test_util.h"
#include "wnd_x11_fixture.h"

#include "PollUntil.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "platform/carbon/TextInputSources.h"
#include "platform/coregraphics/CGDisplay.h"
#include "raster/lice_bitmap.h"
#include "winsys/dlgbuild/builder.h"
#include "winsys/gdi_draw.h"
#include "winsys/shell/menus.h"
#include "winsys/text.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/keyboard.h"
#include "winsys/wnd/toplevel.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

namespace {


using WndX11 = WndX11Test;

LRESULT PaintGreen(HWND h, WPARAM wp, LPARAM)
{
  RECT r;
  GetClientRect(h, &r);
  Fill((HDC)wp, r, 0x00C000);
  return 0;
}

// Text a child view draws in its paint reaches the screen inside the child.
TEST_F(WndX11, TextOfAChildsPaintIsShownInsideTheChild)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(60, 300, 300, 200), 0, &w);
  const HWND child = Child(top, NSMakeRect(100, 40, 120, 40));
  auto white = [](HWND h, WPARAM wp, LPARAM) {
    RECT r;
    GetClientRect(h, &r);
    Fill((HDC)wp, r, 0xFFFFFF);
    return (LRESULT)0;
  };
  log.handlers[{top, WM_PAINT}] = white;
  log.handlers[{child, WM_PAINT}] = [white](HWND h, WPARAM wp, LPARAM lp) {
    white(h, wp, lp);
    SetTextColor((HDC)wp, 0);
    SetBkMode((HDC)wp, 0);
    RECT r{4, 4, 120, 40};
    SWELL_DrawText((HDC)wp, "Hg Hg Hg Hg Hg Hg Hg Hg", -1, &r, DT_NOCLIP);
    return (LRESULT)0;
  };
  ShowWindow(top, SW_SHOW);
  int width = 0, height = 0;
  std::vector<uint32_t> px;
  ASSERT_NE(Shown(w, &width, &height, &px), 0u);
  ASSERT_EQ(width, 300);
  const Box ink = DarkBox(width, height, [&](int x, int y) { return px[(size_t)y * width + x]; });
  ASSERT_FALSE(ink.empty()) << "no text on the screen";
  EXPECT_GE(ink.left, 104);
  EXPECT_LE(ink.left, 108);
  EXPECT_GE(ink.top, 44);
  EXPECT_LE(ink.right, 220) << "cut at the child's right edge";
  EXPECT_GT(ink.right, 210) << "the text is longer than the child";
  EXPECT_LE(ink.bottom, 80);
  log.handlers.clear();
}

TEST_F(WndX11, ClicksAndKeysReachTheChildsProcedure)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(60, 300, 200, 150), 0, &w);
  w->setTitle("window views");
  const HWND child = Child(top, NSMakeRect(30, 40, 80, 60));
  log.handlers[{child, WM_PAINT}] = PaintGreen;
  ShowWindow(top, SW_SHOW);

  // What the child painted is on the screen, where the child is.
  int width = 0, height = 0;
  std::vector<uint32_t> px;
  const unsigned long xid = Shown(w, &width, &height, &px);
  ASSERT_NE(xid, 0u);
  ASSERT_EQ(width, 200);
  EXPECT_EQ(px[(size_t)(40 + 30) * width + 30 + 40], 0x00C000u);
  EXPECT_NE(px[(size_t)10 * width + 10], 0x00C000u);

  // A sent click moves no pointer: it counts where it was sent, the pointer elsewhere.
  driver->movePointer(5, 5);
  log.msgs.clear();
  driver->click(xid, 30 + 12, 40 + 17);
  ASSERT_TRUE(until([&] { return !log.only(WM_LBUTTONUP).empty(); }));
  EXPECT_EQ(log.only(WM_LBUTTONDOWN), (std::vector<LoggedMsg>{{child, WM_LBUTTONDOWN, 0, SWELL_PackPoint(12, 17)}}));
  EXPECT_EQ(log.only(WM_LBUTTONUP), (std::vector<LoggedMsg>{{child, WM_LBUTTONUP, 0, SWELL_PackPoint(12, 17)}}));
  EXPECT_EQ(GetFocus(), child);

  log.handlers[{child, WM_KEYDOWN}] = [](HWND, WPARAM, LPARAM) { return (LRESULT)0; };
  driver->key(xid, "k", 1 /* ShiftMask */);
  driver->key(xid, "Left");
  ASSERT_TRUE(until([&] { return log.only(WM_KEYDOWN).size() >= 2; }));
  const std::vector<LoggedMsg> keys = log.only(WM_KEYDOWN);
  EXPECT_EQ(keys[0], (LoggedMsg{child, WM_KEYDOWN, 'K', FVIRTKEY | FSHIFT}));
  EXPECT_EQ(keys[1], (LoggedMsg{child, WM_KEYDOWN, 0x25, FVIRTKEY}));
  DestroyWindow(top);
}

bool AsTheLayerHasIt(AKX11Driver& d, HWND h, bool framed);

// Input counts where and when it was made, whatever came before the layer read it: a
// press and the wheel at their own place (GetMessagePos says where), two clicks on one
// spot of the screen within the double-click time by the server's clock as a double click.
TEST_F(WndX11, InputCountsWhereAndWhenItWasMade)
{
  HWND top = nullptr;
  const unsigned long xid = ShownTop(&top, false);
  int x0 = 0, y0 = 0, gx = 0, gy = 0, gw = 0, gh = 0, i = 0;
  std::vector<LPARAM> made;  // GetMessagePos while each press and the wheel are handled
  for (const UINT m : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_MOUSEWHEEL})
    log.handlers[{top, m}] = [&](HWND, WPARAM, LPARAM) { return made.push_back((int32_t)GetMessagePos()), 0; };
  const auto busy = [] { std::this_thread::sleep_for(std::chrono::milliseconds(500)); };  // past the double-click time
  log.handlers[{top, WM_SIZE}] = [&](HWND, WPARAM, LPARAM) { return busy(), (LRESULT)0; };
  const auto click = [&](int button) {  // done once let go: a manager may hold a press, then replay it
    driver->holdButton(button, true), driver->holdButton(button, false);
    EXPECT_TRUE(pollUntil([&] { return !driver->pointerGrabbed(); }, 10000));
  };
  // after: done once a spot is clicked, before the layer reads it and the next input there: the
  // wheel turned, or a second click (heard as a double click or as a click); then the server
  // has the window moved, or widened (its corner stays), when that is asked
  struct Row { const char* what; std::function<void()> after; UINT next; bool changes = true; };
  for (const Row& r : {Row{"the pointer gone out", [&] { driver->movePointer(5, 5); }, WM_MOUSEWHEEL, false},
                       Row{"the window moved away", [&] { driver->move(xid, x0 + 400, y0); }, WM_MOUSEWHEEL},
                       Row{"a resize answered in between",
                           [&] { SetWindowPos(top, nullptr, 0, 0, 260, 150, SWP_NOMOVE | SWP_NOZORDER); },
                           WM_LBUTTONDBLCLK},
                       Row{"the window moved in between", [&] { driver->move(xid, x0 + 30, y0); }, WM_LBUTTONDBLCLK},
                       Row{"further apart than the double-click time", busy, WM_LBUTTONDOWN, false}})
  {
    SCOPED_TRACE(r.what);
    ASSERT_TRUE(until([&] { return AsTheLayerHasIt(*driver, top, false); }));  // a resize starts from there
    ASSERT_TRUE(driver->geometry(xid, &x0, &y0, &gw, &gh));
    const int x = x0 + 20 + 30 * i, y = y0 + 20 + 20 * i++;  // far from the last row's
    driver->movePointer(x, y);
    log.msgs.clear(), made.clear();
    const auto start = std::chrono::steady_clock::now();
    click(1);
    if (r.next == WM_MOUSEWHEEL) click(4);
    r.after();
    const auto changed = [&] { return driver->geometry(xid, &gx, &gy, &gw, &gh) && (gx != x0 || gw == 260); };
    EXPECT_TRUE(!r.changes || pollUntil(changed, 10000));
    if (r.next != WM_MOUSEWHEEL) click(1);
    // A manager slow to answer may have had the server make the two clicks further apart.
    const bool slow =
        r.next == WM_LBUTTONDBLCLK && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(400);
    ASSERT_TRUE(until([&] { return log.only({WM_LBUTTONUP, WM_NCLBUTTONUP, WM_MOUSEWHEEL}).size() == 2; }));
    const size_t want = r.next == WM_LBUTTONDOWN ? 2 : 1;
    EXPECT_TRUE(slow || log.only(r.next).size() == want) << log.only(r.next).size();
    EXPECT_EQ(made, std::vector<LPARAM>(2, SWELL_PackPoint(x, (int)CGDisplayPixelsHigh(CGMainDisplayID()) - y)));
  }
  log.handlers.clear();
  DestroyWindow(top);
}

// While the cursor is hidden the pointer is held where it was: each motion moves the
// program's own position by how far it went (screen y upward) and the pointer goes
// back, so a drag goes on past the screen's edge. A window of ours holds the pointer
// meanwhile, also one shown only once the cursor was held, one remade, and one after a
// menu had it, so motions ending outside the window count; so do ones the server stops
// at the screen's edge, also from a point on the edge. A focus rectangle in front at the
// held point lets the mouse through: the window under it holds the pointer; a window shown
// over it while held does not take it (a knob's drag keeps its window). A press, a right
// press and a turn of the wheel are the holder's at the held point too, wherever the
// pointer waits (over nothing of ours, or over another window). Shown again, the cursor
// follows the mouse and the pointer is free; a drag under way keeps it until let go.
TEST_F(WndX11, AHiddenCursorHoldsThePointerAndMovesByEachMotion)
{
  HWND top = nullptr;
  ASSERT_NE(ShownTop(&top, true), 0u);
  NSWindow* onEdge = nullptr;
  const HWND menu = Window(NSMakeRect(400, 300, 60, 80)), edge = Window(NSMakeRect(0, 500, 100, 100), 0, &onEdge);
  // A window moved to each edge in turn, and one over the middle half, where the held pointer waits.
  const HWND probe = Window(NSMakeRect(0, 0, 100, 100)), middle = Window(NSMakeRect(440, 220, 1040, 640));
  SWELL_SetWindowLevel(menu, NSPopUpMenuWindowLevel);
  onEdge->setAcceptsMouseMovedEvents(true);
  const int width = (int)CGDisplayPixelsWide(CGMainDisplayID()), height = (int)CGDisplayPixelsHigh(CGMainDisplayID());
  POINT over{50, 50};
  ClientToScreen(top, &over);
  const int hx = over.x, hy = height - over.y;  // on the server, y down
  // byMouse: one motion of the mouse, else the pointer put there; button: none, or pressed and let
  // go where the pointer waits (1 left, 3 right, 4 the wheel up a notch)
  struct Step { int dx, dy; bool byMouse = false; int button = 0; };
  const std::vector<Step> presses = {{0, 0, false, 1}, {0, 0, false, 3}, {0, 0, false, 4}};
  // Over the window (200 x 150, held at 50,50), then out of it or not, then stopped at the screen's edge.
  std::vector<Step> overTheWindow = {{12, 7}, {-22, -10}, {149, 0}, {150, 0}, {-45, 0}, {-55, 0}, {0, 101},
                                     {3000, 0, true}, {-2000, -1000, true}};
  overTheWindow.resize(overTheWindow.size() + 30, {100, 0});  // 3000 pixels right: past the screen's edge
  const std::vector<Step> out = {{150, 0}, {-55, 0}, {0, 101, true}};
  const auto show = [](HWND h, bool on) { ShowWindow(h, on ? SW_SHOW : SW_HIDE); };
  void* focus = nullptr;
  const auto focusOverTheEdge = [&] {  // from the screen's left edge into the window, at the held row
    RECT r{50 - over.x, 40, 40, 60};
    SWELL_DrawFocusRect(top, &r, &focus);
  };
  const auto showAt = [&](HWND h, int x, int y) {  // and wait until the server's place is the window's
    SetWindowPos(h, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    show(h, true);
    NSWindow* w = dynamic_cast<NSView*>(SWELL_Object(h))->window();
    EXPECT_TRUE(until([&] { return driver->viewable(AKX11WindowOf(w)); }));
    POINT p;
    GetCursorPos(&p);
    loop->runOnce();
  };
  const auto menuOpenedAndClosed = [&] {
    show(menu, true);
    EXPECT_TRUE(driver->pointerGrabbed());
    show(menu, false);
  };
  struct Row
  {
    const char* what;
    int x, y;  // where the pointer is held, on the server
    std::function<void()> before, held;  // done before the cursor is hidden, and once it is
    std::vector<Step> steps;
    bool drag = false;  // the left button pressed over the window (captured) first, let go at the end
    HWND heardBy = nullptr;  // the window at the held point, when not the first one
    POINT in{-1, -1};  // when given, the held point instead: in heardBy, once placed
  };
  const int right = width - 100, topEdge = height - 100;  // places of the probe on the layer's screen
  const Row rows[] = {
      {"over the window", hx, hy, {}, {}, overTheWindow},
      {"the window shown only once held", hx, hy, [&] { show(top, false); }, [&] { show(top, true); }, out},
      {"the window hidden and shown again", hx, hy, {}, [&] { show(top, false); show(top, true); }, out},
      {"the window remade transparent", hx, hy, {}, [&] { SetOpaque(top, false); SetTransparent(top); }, out},
      {"a menu opened and closed", hx, hy, {}, menuOpenedAndClosed, out},
      {"a menu opened and closed over a window on the left edge", 0, 0, [&] { showAt(edge, 0, 500); show(top, true); },
       menuOpenedAndClosed, {{-30, 0, true}, {40, 0, true}, {-5, 5, true}}, false, edge, {0, 50}},
      {"a drag", hx, hy, {}, {}, {{12, 7}, {150, 0}}, true},
      {"a drag on the left edge", 0, hy, {}, {}, {{-30, 0, true}, {-30, 5, true}}, true},
      {"a drag on the left edge under a focus rectangle", 0, hy, focusOverTheEdge, {},
       {{-30, 0, true}, {-30, 5, true}}, true},
      {"a drag on the top edge", hx, 0, {}, {}, {{0, -30, true}, {7, -30, true}}, true},
      {"a drag into the bottom-right corner", width - 1, height - 1, {}, {},
       {{30, 30, true}, {0, 30, true}, {30, 0, true}}, true},
      {"a drag, a window shown over the held point", hx, hy, {}, [&] { showAt(probe, over.x - 40, over.y - 50); },
       {{12, 7}, {-22, -10}}, true},
      {"presses near the left edge", hx, hy, {}, {}, presses},
      {"presses near the left edge, another window where the pointer waits", hx, hy,
       [&] { showAt(middle, 440, 220); }, {}, presses},
      {"presses near the right edge", 0, 0, [&] { showAt(probe, right, 500); }, {}, presses, false, probe, {50, 50}},
      {"presses near the right edge, another window where the pointer waits", 0, 0,
       [&] { showAt(probe, right, 500); showAt(middle, 440, 220); }, {}, presses, false, probe, {50, 50}},
      {"presses near the top edge", 0, 0, [&] { showAt(probe, 900, topEdge); }, {}, presses, false, probe, {50, 50}},
      {"presses near the top edge, another window where the pointer waits", 0, 0,
       [&] { showAt(probe, 900, topEdge); showAt(middle, 440, 220); }, {}, presses, false, probe, {50, 50}},
      {"presses near the bottom edge", 0, 0, [&] { showAt(probe, 900, 0); }, {}, presses, false, probe, {50, 20}},
      {"presses near the bottom edge, another window where the pointer waits", 0, 0,
       [&] { showAt(probe, 900, 0); showAt(middle, 440, 220); }, {}, presses, false, probe, {50, 20}},
  };
  for (const Row& r : rows)
    [&] {  // a failed row ends, and the next one runs
      SCOPED_TRACE(r.what);
      bool shown = true, pressed = false;  // a failed step frees the pointer for the rows after it
      const std::shared_ptr<void> letGo(nullptr, [&](void*) {
        if (!shown) SWELL_ShowCursor(true);
        if (pressed) driver->holdButton(1, false);
        ReleaseCapture();
        SWELL_DrawFocusRect(top, nullptr, &focus);
        show(probe, false);
        show(middle, false);
      });
      if (r.before) r.before();
      int heldX = r.x, heldY = r.y;
      if (r.in.x >= 0)
      {
        POINT p = r.in;
        ClientToScreen(r.heardBy, &p);
        heldX = p.x;
        heldY = height - p.y;
      }
      POINT want, now{};
      auto pointerAt = [&](int x, int y) {
        driver->movePointer(x, y);
        return until([&] {
          GetCursorPos(&want);
          return want.x == x && want.y == height - y;
        });
      };
      log.msgs.clear();
      if (r.drag)
      {
        ASSERT_TRUE(pointerAt(hx, hy));
        SetCapture(top);
        driver->holdButton(1, pressed = true);  // right after the last row's press: a second click
        ASSERT_TRUE(until([&] { return !log.only({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}).empty(); }));
      }
      ASSERT_TRUE(pointerAt(heldX, heldY));
      ASSERT_EQ(SWELL_ShowCursor(false), -1);
      shown = false;
      if (r.held) r.held();
      // A window manager maps a window shown only once it has framed it.
      EXPECT_TRUE(until([&] { return driver->pointerGrabbed(); }));
      // Put back where it was held, brought into the middle half of the screen.
      const int backX = std::clamp(heldX, width / 4, width - 1 - width / 4);
      const int backY = std::clamp(heldY, height / 4, height - 1 - height / 4);
      int px = 0, py = 0;
      const HWND at = r.heardBy ? r.heardBy : top;
      for (const auto& [dx, dy, byMouse, button] : r.steps)
      {
        if (button)
        {
          // Pressed where the pointer waits: the holder hears it, at the held point.
          POINT c = want;
          ScreenToClient(at, &c);
          const LPARAM client = SWELL_PackPoint(c.x, c.y), screen = SWELL_PackPoint(want.x, want.y);
          const std::vector<LoggedMsg> heard =
              button == 1   ? std::vector<LoggedMsg>{{at, WM_LBUTTONDOWN, 0, client}, {at, WM_LBUTTONUP, 0, client}}
              : button == 3 ? std::vector<LoggedMsg>{{at, WM_RBUTTONDOWN, 0, client},
                                                     {at, WM_RBUTTONUP, 0, client},
                                                     {at, WM_CONTEXTMENU, (WPARAM)at, screen}}
                            : std::vector<LoggedMsg>{{at, WM_MOUSEWHEEL, (WPARAM)60 << 16, screen}};
          const auto pressesHeard = [&] {
            // A press soon after the last row's may count as its second click.
            std::vector<LoggedMsg> got = log.only({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONUP, WM_RBUTTONDOWN,
                                                   WM_RBUTTONDBLCLK, WM_RBUTTONUP, WM_CONTEXTMENU, WM_MOUSEWHEEL});
            for (LoggedMsg& m : got)
              if (m.msg == WM_LBUTTONDBLCLK || m.msg == WM_RBUTTONDBLCLK) m.msg -= 2;
            return got;
          };
          log.msgs.clear();
          driver->holdButton(button, true);
          driver->holdButton(button, false);
          EXPECT_TRUE(until([&] { return pressesHeard().size() >= heard.size(); })) << "button " << button;
          EXPECT_EQ(pressesHeard(), heard) << "button " << button;
          continue;
        }
        want.x += dx;
        want.y -= dy;
        if (byMouse) driver->moveMouseBy(dx, dy);
        else driver->movePointer(backX + dx, backY + dy);
        ASSERT_TRUE(until([&] {
          GetCursorPos(&now);
          driver->pointer(&px, &py);
          return now.x == want.x && now.y == want.y && px == backX && py == backY;
        })) << dx << "," << dy << ": at " << now.x << "," << now.y << " not " << want.x << "," << want.y
            << "; pointer at " << px << "," << py;
        // Heard by the window at the program's own position, in its client area or captured.
        POINT client = want;
        ScreenToClient(at, &client);
        RECT area;
        GetClientRect(at, &area);
        const std::vector<LoggedMsg> moves = log.only(WM_MOUSEMOVE);
        const LoggedMsg heard{at, WM_MOUSEMOVE, 0, SWELL_PackPoint(client.x, client.y)};
        if (r.drag || (client.x >= 0 && client.x < area.right && client.y >= 0 && client.y < area.bottom))
        {
          EXPECT_TRUE(!moves.empty() && moves.back() == heard) << dx << "," << dy;
        }
      }
      shown = true;
      EXPECT_EQ(SWELL_ShowCursor(true), 0);
      GetCursorPos(&now);  // asks the server, so the pointer put back is there before the next move
      // A drag keeps the pointer and hears a motion out of the window, until let go.
      EXPECT_EQ(driver->pointerGrabbed(), r.drag);
      ASSERT_TRUE(pointerAt(hx + 230, hy + 20));
      if (r.drag)
      {
        POINT c{hx + 230, height - (hy + 20)};
        ScreenToClient(top, &c);  // where a window manager put it, when it showed it again
        const LoggedMsg dragged{top, WM_MOUSEMOVE, 0, SWELL_PackPoint(c.x, c.y)};
        EXPECT_TRUE(until([&] {
          const std::vector<LoggedMsg> moves = log.only(WM_MOUSEMOVE);
          return !moves.empty() && moves.back() == dragged;
        }));
        driver->holdButton(1, pressed = false);
        EXPECT_TRUE(until([&] { return !driver->pointerGrabbed(); }));
      }
      loop->runOnce();
      driver->pointer(&px, &py);
      EXPECT_EQ(px, hx + 230);
      EXPECT_EQ(py, hy + 20);
    }();
  DestroyWindow(middle);
  DestroyWindow(probe);
  DestroyWindow(edge);
  DestroyWindow(menu);
  DestroyWindow(top);
}

// With a German layout set on the server, a key without characters takes its
// character from that layout (by the key's place; a dead key gives its own before a
// space). With a Russian one, a letter outside Latin-1 carries its own character.
TEST_F(WndX11, KeysWithoutCharactersTakeTheKeyboardsOwnLayout)
{
  HWND top = nullptr;
  const unsigned long xid = ShownTop(&top, false);
  ASSERT_NE(xid, 0u);
  const std::string setLayout = "setxkbmap -display " + X11Session::server()->display() + " ";
  ASSERT_EQ(std::system((setLayout + "de").c_str()), 0);
  const std::unique_ptr<void, std::function<void(void*)>> restore(
      this, [&](void*) { EXPECT_EQ(std::system((setLayout + "us").c_str()), 0); });
  loop->runOnce();
  ASSERT_TRUE(NSApp->presenter()->hasKeyboardLayout());
  struct Row
  {
    unsigned short code;
    int want;
  };
  for (const Row r : {Row{kVK_ANSI_Y, 'z'}, Row{kVK_ANSI_Z, 'y'}, Row{kVK_ANSI_Semicolon, 0xF6},
                      Row{kVK_ANSI_Minus, 0xDF}, Row{kVK_ANSI_Grave, '^'}, Row{kVK_ANSI_Equal, '\''},
                      Row{0x3F, 0x3F + 1024}})
  {
    NSEvent* e = NSEvent::keyEventWithType(NSKeyDown, NSShiftKeyMask, nullptr, u"", u"", r.code);
    int flags = -1;
    EXPECT_EQ(SWELL_MacKeyToWindowsKeyEx(e, &flags, 1), r.want) << r.code;
    EXPECT_EQ(flags, r.want > 1024 ? FVIRTKEY | FSHIFT : 0) << r.code;
  }
  // Shifted, and a dead key's own character ahead of the next key's.
  TISInputSourceRef source = TISCopyCurrentKeyboardInputSource();
  const auto* layout = (const UCKeyboardLayout*)CFDataGetBytePtr(
      (CFDataRef)TISGetInputSourceProperty(source, kTISPropertyUnicodeKeyLayoutData));
  UInt32 dead = 0;
  UniChar c[4] = {};
  UniCharCount n = 9;
  EXPECT_EQ(UCKeyTranslate(layout, kVK_ANSI_2, kUCKeyActionDown, kUCShiftKeyState, 0, 0, &dead, 4, &n, c), noErr);
  EXPECT_EQ(std::u16string((const char16_t*)c, n), u"\"");
  EXPECT_EQ(UCKeyTranslate(layout, kVK_ANSI_Grave, kUCKeyActionDown, 0, 0, 0, &dead, 4, &n, c), noErr);
  EXPECT_EQ(n, 0u);
  EXPECT_NE(dead, 0u);
  EXPECT_EQ(UCKeyTranslate(layout, kVK_ANSI_E, kUCKeyActionDown, 0, 0, 0, &dead, 4, &n, c), noErr);
  EXPECT_EQ(std::u16string((const char16_t*)c, n), u"^e");
  EXPECT_EQ(dead, 0u);
  CFRelease(source);

  int viaLayout = 0;
  log.handlers[{top, WM_KEYDOWN}] = [&](HWND, WPARAM, LPARAM) {
    viaLayout = SWELL_MacKeyToWindowsKeyEx(nullptr, nullptr, 1);
    return (LRESULT)0;
  };
  SetFocus(top);
  ASSERT_EQ(std::system((setLayout + "ru").c_str()), 0);
  AKX11Driver typist(X11Session::server()->display());  // reads the keyboard as it is now
  typist.key(xid, "Cyrillic_ya");
  ASSERT_TRUE(until([&] { return !log.only(WM_KEYDOWN).empty(); }));
  EXPECT_EQ(log.only(WM_KEYDOWN)[0], (LoggedMsg{top, WM_KEYDOWN, 0x44F, 0}));  // no letter to the C locale
  EXPECT_EQ(viaLayout, 0x44F);
  log.handlers.clear();
  DestroyWindow(top);
}

// The window in front on the server's screen is the one the layer finds there, and a
// hand moving over it moves in it, whatever the windows' levels: after each show,
// raise and level change.
TEST_F(WndX11, TheWindowInFrontOnTheScreenIsTheOneTheLayerFinds)
{
  HWND a = nullptr, b = nullptr;
  const unsigned long xa = ShownTop(&a, true), xb = ShownTop(&b, true);
  ASSERT_TRUE(xa && xb);
  const int height = (int)CGDisplayPixelsHigh(CGMainDisplayID());
  struct Row { const char* what; std::function<void()> change; HWND front; };
  const Row rows[] = {
      {"b shown last", [] {}, b},
      {"a shown again", [&] { ShowWindow(a, SW_SHOW); }, a},
      {"b floating (level 3)", [&] { SWELL_SetWindowLevel(b, 3); }, b},
      {"a (level 0) shown again", [&] { ShowWindow(a, SW_SHOW); }, b},
      {"a above b's level", [&] { SWELL_SetWindowLevel(a, 4); }, a},
      {"b shown again below a's level", [&] { ShowWindow(b, SW_SHOW); }, a},
      {"a back to level 0", [&] { SWELL_SetWindowLevel(a, 0); }, b},
      {"b back to level 0, a shown again", [&] { SWELL_SetWindowLevel(b, 0); ShowWindow(a, SW_SHOW); }, a},
  };
  int x = 150;
  for (const Row& r : rows)
  {
    r.change();
    x += 3;  // a point the pointer is not at yet: moving there is a motion
    // A window manager restacks when it gets to the request.
    unsigned long front = 0;
    EXPECT_TRUE(until([&] { return (front = driver->windowAt(x, height - 375)) == (r.front == a ? xa : xb); }))
        << r.what << ": " << front;
    EXPECT_EQ(WindowFromPoint(POINT{x, 375}), r.front) << r.what;
    log.msgs.clear();
    driver->movePointer(x, height - 375);
    EXPECT_TRUE(until([&] { return !log.only(WM_MOUSEMOVE).empty(); })) << r.what;
    for (const LoggedMsg& m : log.only(WM_MOUSEMOVE)) EXPECT_EQ(m.hwnd, r.front) << r.what;
  }
  DestroyWindow(a);
  DestroyWindow(b);
}

// A window the layer shows, moves or resizes goes there on the server too, and what
// the server tells of it afterwards (also of a change asked before the last one, or of
// the size it had before) leaves it there: its frame takes the sizes the server gives
// it, the frames asked only, and the server shows the window where the layer finds it
// (through a focus rectangle, the window under it). Under a window manager as well,
// whose frame must not shift the window, and which may stop for a while and go on.
TEST_F(WndX11, AWindowMovedOrResizedGoesThereOnTheServer)
{
  NSAutoreleasePool pool;
  HWND top = nullptr;
  const unsigned long xid = ShownTop(&top, false);
  ASSERT_NE(xid, 0u);
  NSWindow* w = dynamic_cast<NSView*>(SWELL_Object(top))->window();
  const int screenHeight = (int)CGDisplayPixelsHigh(CGMainDisplayID());
  using Box = std::array<int, 4>;  // x, y (up), width, height on the layer's screen
  const auto box = [](NSRect f) {
    return Box{(int)f.origin.x, (int)f.origin.y, (int)f.size.width, (int)f.size.height};
  };
  // The window's size at each WM_SIZE: its place then is read from the server, which
  // may have gone on to the next one.
  using Size = std::array<int, 2>;
  std::vector<Size> sized;
  log.handlers[{top, WM_SIZE}] = [&](HWND, WPARAM, LPARAM) -> LRESULT {
    return sized.push_back({(int)w->frame().size.width, (int)w->frame().size.height}), 0;
  };
  const auto place = [&](int x, int y, int cx, int cy, int flags) {
    SetWindowPos(top, nullptr, x, y, cx, cy, flags | SWP_NOZORDER);
  };
  void* focus = nullptr;
  RECT first{10, 10, 50, 40}, second{120, 60, 190, 80};
  POINT a{second.left, second.top}, b{second.right, second.bottom};
  ClientToScreen(top, &a);
  ClientToScreen(top, &b);
  // One change after another, each answered by the server before the next.
  const auto answered = [&](int cx) {
    int gx, gy, gw = 0, gh;
    EXPECT_TRUE(until([&] { return driver->geometry(xid, &gx, &gy, &gw, &gh) && gw == cx; })) << gw;
  };
  HMENU bar = BarWithSubmenu("Banks", {{"Load bank", 320}});
  // A row another program took part in (a user's move) has hints and sizes in
  // between that are not the layer's: only its own first size is checked.
  struct Row { const char* what; std::function<void()> change; bool focus; Box want; std::vector<Size> sized;
               bool byUser = false; };
  const Row rows[] = {
      {"shown", [] {}, false, {60, 300, 200, 150}, {}},
      {"a focus rectangle drawn, then elsewhere",
       [&] { SWELL_DrawFocusRect(top, &first, &focus); SWELL_DrawFocusRect(top, &second, &focus); }, true,
       {a.x, b.y, b.x - a.x, a.y - b.y}, {}},
      {"moved", [&] { place(300, 420, 0, 0, SWP_NOSIZE); }, false, {300, 420, 200, 150}, {}},
      {"resized", [&] { place(0, 0, 260, 120, SWP_NOMOVE); }, false, {300, 420, 260, 120}, {{260, 120}}},
      {"moved and resized", [&] { place(700, 200, 180, 160, 0); }, false, {700, 200, 180, 160}, {{180, 160}}},
      {"moved and resized twice before the server answers",
       [&] {
         X11Session::server()->pauseManager(true);  // both asked before a manager gets to the first
         place(500, 600, 240, 100, 0);
         place(80, 250, 210, 140, 0);
         POINT p;
         GetCursorPos(&p);  // a round trip: the server has both
         X11Session::server()->pauseManager(false);
       },
       false, {80, 250, 210, 140}, {{240, 100}, {210, 140}}},
      {"resized five times across only",
       [&] { for (int cx = 220; cx <= 300; cx += 20) place(0, 0, cx, 140, SWP_NOMOVE), answered(cx); }, false,
       {80, 250, 300, 140}, {{220, 140}, {240, 140}, {260, 140}, {280, 140}, {300, 140}}},
      // The content view's size (the strip taken from the window the server has), then
      // the window's, once the server has it.
      {"a menu strip added below the top edge", [&] { SetMenu(top, bar); }, false, {80, 230, 300, 160},
       {{300, 140}, {300, 160}}},
      {"the strip taken off", [&] { SetMenu(top, nullptr); }, false, {80, 250, 300, 140}, {{300, 160}, {300, 140}}},
      {"put where the layer says it is",
       [&] { RECT r; GetWindowRect(top, &r); place(r.left, r.top, r.right - r.left, r.bottom - r.top, 0); }, false,
       {80, 250, 300, 140}, {}},
      // While a resize is on its way: a manager's report of the size before (at the
      // user's place), sent before it read the resize, is out of date; a size never
      // asked (the user's) is news, until the manager's answer; neither is the size the
      // server has. A bare server answers at once: there the reports come first.
      {"told its old size, then a size of the user's, while a resize is on its way",
       [&] {
         driver->move(xid, 150, 300);
         until([&] { return box(w->frame()) == Box{150, screenHeight - 440, 300, 140}; });
         const bool wm = !X11Session::server()->manager().empty();
         const auto tell = [&] {
           driver->tellPlace(xid, 150, 300, 300, 140);
           driver->tellPlace(xid, 150, 300, 360, 140);
         };
         if (!wm) tell();
         X11Session::server()->pauseManager(true);
         place(0, 0, 340, 140, SWP_NOMOVE);
         POINT p;
         GetCursorPos(&p);  // a round trip: the server has the resize
         if (wm) tell();
         X11Session::server()->pauseManager(false);
         until([&] { return !sized.empty(); });
       },
       false, {150, screenHeight - 440, 340, 140}, {{340, 140}}},
      // A manager stopped (a busy or hung one) while the window is shown and hidden: the
      // window is there when it goes on, where it was put last.
      {"shown and hidden again and again while the manager is stopped",
       [&] {
         // Stopped while idle: one stopped inside its grab of the server would hold us too.
         X11Session::server()->pauseManager(true);
         for (int i = 0; i < 5; ++i) ShowWindow(top, SW_HIDE), ShowWindow(top, SW_SHOW);
         ShowWindow(top, SW_HIDE);
         place(120, 300, 0, 0, SWP_NOSIZE);
         ShowWindow(top, SW_SHOW);
         POINT p;
         GetCursorPos(&p);
         X11Session::server()->pauseManager(false);
         until([&] { return driver->viewable(xid); });
       },
       false, {120, 300, 340, 140}, {}},
      {"moved by the user, then resized before the layer hears of it",
       [&] { driver->move(xid, 400, 500); place(0, 0, 320, 140, SWP_NOMOVE); }, false,
       {400, screenHeight - 500 - 140, 320, 140}, {{320, 140}}, true},
      // The title bar goes onto the screen at the first placement only.
      {"put with its frame off the screen's left and top, hidden and shown again",
       [&] {
         place(-100, screenHeight - 145, 0, 0, SWP_NOSIZE);
         ShowWindow(top, SW_HIDE);
         ShowWindow(top, SW_SHOW);
         until([&] { return driver->viewable(xid); });
         SetFocus(top);
         log.msgs.clear();  // a key sent after the map: the layer has read the map once it has the key
         driver->key(xid, "F1");
         until([&] { return !log.only(WM_KEYDOWN).empty(); });
       },
       false, {-100, screenHeight - 145, 320, 140}, {}},
  };
  for (const Row& r : rows)
  {
    SCOPED_TRACE(r.what);
    sized.clear();
    r.change();
    NSWindow* moved = r.focus ? (NSWindow*)focus : w;
    const auto [x, y, cx, cy] = r.want;
    int gx = 0, gy = 0, gw = 0, gh = 0;  // on the server, y down
    EXPECT_TRUE(until([&] {
      return driver->geometry(AKX11WindowOf(moved), &gx, &gy, &gw, &gh) && gx == x && gy == screenHeight - y - cy &&
             gw == cx && gh == cy;
    })) << "on the server at " << gx << "," << gy << ", " << gw << " x " << gh;
    // What a window manager is told: the place asked for and, for a window of a fixed
    // size, that size, both in the one property.
    int hx = 0, hy = 0, hw = 0, hh = 0;
    EXPECT_TRUE(driver->normalHints(AKX11WindowOf(moved), &hx, &hy, &hw, &hh));
    const bool fixed = !(moved->styleMask() & NSResizableWindowMask);
    if (!r.byUser)
    {
      EXPECT_EQ(std::vector<int>({hx, hy, hw, hh}), std::vector<int>({gx, gy, fixed ? cx : 0, fixed ? cy : 0}));
    }
    until([&] { return box(moved->frame()) == r.want; });  // a manager's own answer may follow its change
    EXPECT_EQ(box(moved->frame()), r.want);
    if (r.byUser) sized.resize(std::min<size_t>(sized.size(), 1));
    EXPECT_EQ(sized, r.sized);
    const POINT mid{x + cx / 2, y + cy / 2};
    EXPECT_EQ(WindowFromPoint(mid), top);
    // A manager may still be framing the window anew (it was shown again): the server
    // shows it there once the manager is done.
    unsigned long there = 0;
    EXPECT_TRUE(until([&] { return (there = driver->windowAt(mid.x, screenHeight - mid.y)) == xid; })) << there;
  }
  SWELL_DrawFocusRect(top, nullptr, &focus);
  log.handlers.clear();
  DestroyWindow(top);
  DestroyMenu(bar);
}

// At its first show a titled window whose frame would rise above the screen comes down
// just so far that the frame's top is the screen's: by the room the manager publishes
// above the window (its frame window may hold an invisible border above the title bar),
// or by the frame's own top where it publishes none. One lower is left where it is.
TEST_F(WndX11, TheTitleBarComesJustOntoTheScreenAtTheFirstShow)
{
  if (X11Session::server()->manager().empty()) GTEST_SKIP() << "no title bar";
  const int screenHeight = (int)CGDisplayPixelsHigh(CGMainDisplayID());
  for (const int below : {0, 60})
  {
    SCOPED_TRACE(below);
    NSWindow* w = nullptr;
    Window(NSMakeRect(300, screenHeight - below - 150, 200, 150), 0, &w);
    w->setTitle("title bar");
    w->orderFront(nullptr);
    const unsigned long xid = AKX11WindowOf(w);
    unsigned long top = 0;
    int fx, fy, gx, gy = -1, gw, gh, room = 0;
    bool told = false;
    EXPECT_TRUE(until([&] {
      if (!driver->viewable(xid) || !driver->frame(xid, &fx, &fy) || !driver->geometry(xid, &gx, &gy, &gw, &gh))
        return false;
      told = driver->cardinal(xid, "_NET_FRAME_EXTENTS", &top, 2);
      room = told ? (int)top : gy - fy;
      return gy == std::max(below, room);
    })) << gy << ", the frame's room above " << room << (told ? " as the manager tells it" : "");
    w->close();
  }
}

// A window hidden, moved and shown again at once, and hidden again as soon as shown,
// goes where it was put each time, as itself: a window manager still busy with the
// last show or hide must not frame it elsewhere, ask for its place or take it away.
TEST_F(WndX11, AWindowHiddenMovedAndShownAtOnceGoesThereEachTime)
{
  HWND top = nullptr;
  const unsigned long xid = ShownTop(&top, false);
  ASSERT_NE(xid, 0u);
  const int screenHeight = (int)CGDisplayPixelsHigh(CGMainDisplayID());
  for (int i = 0; i < 6; ++i)
  {
    SCOPED_TRACE(i);
    const int x = 100 + 97 * i, y = 200 + 41 * i;
    // Every other time by way of a place it is shown at only for the moment.
    for (const int step : {i % 2, 0})
    {
      ShowWindow(top, SW_HIDE);
      SetWindowPos(top, nullptr, x + 400 * step, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      ShowWindow(top, SW_SHOW);
    }
    int gx = 0, gy = 0, gw = 0, gh = 0;
    ASSERT_TRUE(until([&] { return driver->geometry(xid, &gx, &gy, &gw, &gh) && gx == x && gy == screenHeight - y - gh; }))
        << "on the server at " << gx << "," << gy;
    ASSERT_TRUE(until([&] { return driver->viewable(xid); }));
  }
  DestroyWindow(top);
}

// The server has the window as the layer has it: viewable when shown (then framed, when
// asked), and where the layer has it.
bool AsTheLayerHasIt(AKX11Driver& d, HWND h, bool framed)
{
  const NSRect f = dynamic_cast<NSView*>(SWELL_Object(h))->window()->frame();
  const unsigned long x = AKX11WindowOf(dynamic_cast<NSView*>(SWELL_Object(h))->window());
  const bool shown = IsWindowVisible(h);
  int fx, fy, gx = 0, gy = 0, gw = 0, gh = 0;
  return d.viewable(x) == shown && d.geometry(x, &gx, &gy, &gw, &gh) &&
         NSEqualRects(f, NSMakeRect(gx, CGDisplayPixelsHigh(CGMainDisplayID()) - gy - gh, gw, gh)) &&
         (!framed || !shown || (d.frame(x, &fx, &fy) && (fx != gx || fy != gy)));
}

// Windows shown and hidden in the same turn: once the manager has framed and let go of
// each, none is left on the screen (one manager maps a window again after its
// withdrawal went out and lets it go still mapped), and each is framed when shown again.
TEST_F(WndX11, AWindowShownAndHiddenAtOnceIsNotLeftOnTheScreen)
{
  const bool wm = !X11Session::server()->manager().empty();
  std::vector<HWND> tops;
  for (int i = 0; i < 20; ++i)
  {
    tops.push_back(Window(NSMakeRect(40 + 30 * i, 200 + 10 * i, 160, 100)));
    ShowWindow(tops.back(), SW_SHOW);
    driver->watchParent(AKX11WindowOf(dynamic_cast<NSView*>(SWELL_Object(tops.back()))->window()));
    ShowWindow(tops.back(), SW_HIDE);
  }
  const auto all = [&](auto is) { return std::all_of(tops.begin(), tops.end(), is); };
  const auto xid = [](HWND h) { return AKX11WindowOf(dynamic_cast<NSView*>(SWELL_Object(h))->window()); };
  EXPECT_TRUE(until([&] { return all([&](HWND h) { return !wm || driver->timesLetGo(xid(h)) > 0; }); }));
  EXPECT_TRUE(until([&] { return all([&](HWND h) { return AsTheLayerHasIt(*driver, h, wm); }); }));
  for (HWND h : tops) ShowWindow(h, SW_SHOW);
  EXPECT_TRUE(until([&] { return all([&](HWND h) { return AsTheLayerHasIt(*driver, h, wm); }); }));
  for (HWND h : tops) DestroyWindow(h);
}

// A window manager killed while stopped, and the same started again: what the layer
// asked meanwhile (shows, hides, places) the old one never answered, and the new one
// gets it; so does a window hidden while none ran. Each window ends on the server as
// the layer has it, and goes where it is put later.
TEST_F(WndX11, AManagerReplacedGetsWhatTheOldOneNeverAnswered)
{
  AKXvfb* server = X11Session::server();
  const std::string manager = server->manager();
  if (manager.empty()) GTEST_SKIP() << "no window manager";
  const auto show = [](HWND h) { ShowWindow(h, SW_SHOW); };
  const auto hide = [](HWND h) { ShowWindow(h, SW_HIDE); };
  const auto nothing = [](HWND) {};
  struct Row { const char* what; bool shownBefore, minimised; std::function<void(HWND)> stalled, gap, after; };
  const Row rows[] = {
      {"shown", false, false, show, nothing, nothing},
      {"hidden", true, false, hide, nothing, nothing},
      {"moved and resized", true, false, [](HWND h) { SetWindowPos(h, nullptr, 700, 300, 250, 120, SWP_NOZORDER); },
       nothing, nothing},
      {"hidden and shown again", true, false, [&](HWND h) { hide(h), show(h); }, nothing, nothing},
      {"minimised by the user, then hidden", true, true, hide, nothing, nothing},
      {"hidden while no manager ran, shown after", true, false, nothing, hide, show},
  };
  std::vector<HWND> tops;
  for (const Row& r : rows)
  {
    tops.push_back(Window(NSMakeRect(60 + 160 * (int)tops.size(), 300, 140, 100)));
    show(tops.back());
    const unsigned long xid = AKX11WindowOf(dynamic_cast<NSView*>(SWELL_Object(tops.back()))->window());
    ASSERT_TRUE(until([&] { return AsTheLayerHasIt(*driver, tops.back(), true); })) << r.what;
    if (r.minimised) driver->iconify(xid);
    if (!r.shownBefore) hide(tops.back());
    // Stopped once it has done all: stopped inside its grab of the server, it would hold us too.
    const auto done = [&] { return r.minimised ? !driver->viewable(xid) : AsTheLayerHasIt(*driver, tops.back(), true); };
    ASSERT_TRUE(until(done)) << r.what;
  }
  server->pauseManager(true);
  for (size_t i = 0; i < tops.size(); ++i) rows[i].stalled(tops[i]);
  std::string error;
  ASSERT_TRUE(server->replaceManager("", &error)) << error;
  ASSERT_TRUE(until([&] { return AsTheLayerHasIt(*driver, tops[0], false); }));  // the layer saw it go
  for (size_t i = 0; i < tops.size(); ++i) rows[i].gap(tops[i]);
  ASSERT_TRUE(until([&] { return AsTheLayerHasIt(*driver, tops.back(), false); }));
  ASSERT_TRUE(server->replaceManager(manager, &error)) << error;
  for (size_t i = 0; i < tops.size(); ++i) rows[i].after(tops[i]);
  for (int later = 0; later < 2; ++later)
    for (size_t i = 0; i < tops.size(); ++i)
    {
      SCOPED_TRACE(std::string(rows[i].what) + (later ? ", moved after" : ""));
      if (later) SetWindowPos(tops[i], nullptr, 100 + 150 * (int)i, 600, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      EXPECT_TRUE(until([&] { return AsTheLayerHasIt(*driver, tops[i], true); }));
    }
  for (HWND h : tops) DestroyWindow(h);
}

// A place the manager refuses (ICCCM 4.1.5: a manager that refuses every change, or
// openbox's maximised window) costs nothing seen, however long the manager waits: the
// layer lays the window out and places presses where the server has it. A button the
// window keeps 130 x 40 from its lower right corner is clicked by the server's own
// mouse right after the refusal, where the server shows it.
TEST_F(WndX11, APlaceTheManagerRefusesLeavesTheWindowWhereTheServerHasIt)
{
  AKXvfb* server = X11Session::server();
  const bool bare = server->manager().empty();
  if (!bare && server->manager() != "openbox") GTEST_SKIP() << "a manager that refuses none of these";
  std::string error;
  if (bare)
  {
    ASSERT_TRUE(server->replaceManager(AKXvfb::kRefusingManager, &error)) << error;
  }
  const std::unique_ptr<AKXvfb, void (*)(AKXvfb*)> back(bare ? server : nullptr,
                                                        [](AKXvfb* s) { s->replaceManager("", nullptr); });
  unsigned long xid = 0;
  int gx = 0, gy = 0, gw = 0, gh = 0;
  // Waits until the server has the window maximised and whole on the screen (openbox
  // sizes it first, then moves it there), or at its own size.
  const auto maximized = [&](bool on) {
    driver->maximize(xid, on);
    const int sw = (int)CGDisplayPixelsWide(CGMainDisplayID()), sh = (int)CGDisplayPixelsHigh(CGMainDisplayID());
    EXPECT_TRUE(until([&] {
      return driver->geometry(xid, &gx, &gy, &gw, &gh) && (gw > 1000) == on &&
             (!on || (gx >= 0 && gy >= 0 && gx + gw <= sw && gy + gh <= sh));
    })) << on;
  };
  const auto resize = [&](HWND h) { SetWindowPos(h, nullptr, 200, 150, 500, 350, SWP_NOZORDER); };
  struct Row { const char* what; bool bare; std::function<void(HWND)> refused; };
  const Row rows[] = {
      {"moved and resized", true, resize},
      {"resized while the user has it maximised", false, [&](HWND h) { maximized(true), resize(h); }},
      {"resized while maximised, then given back its size and maximised again",
       false, [&](HWND h) { maximized(true), resize(h), maximized(false), maximized(true); }},
  };
  for (const Row& r : rows)
  {
    if (r.bare != bare) continue;
    SCOPED_TRACE(r.what);
    NSWindow* w = nullptr;
    const HWND top = Window(NSMakeRect(60, 300, 400, 300), 0, &w);
    w->setTitle("refused");
    Swell_vDavrel_64_button* button = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(0, 0, 120, 24)), 1001);
    button->setTitle("Apply");
    log.handlers[{top, WM_SIZE}] = [&](HWND h, WPARAM, LPARAM) -> LRESULT {
      RECT c;
      GetClientRect(h, &c);
      SetWindowPos(SWELL_HWND(button), nullptr, c.right - 130, c.bottom - 40, 120, 24, SWP_NOZORDER);
      return 0;
    };
    SendMessage(top, WM_SIZE, 0, 0);
    ShowWindow(top, SW_SHOW);
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    xid = Shown(w, &width, &height, &px);
    ASSERT_NE(xid, 0u);
    r.refused(top);
    log.msgs.clear();
    ASSERT_TRUE(driver->geometry(xid, &gx, &gy, &gw, &gh));
    driver->movePointer(gx + gw - 130 + 60, gy + gh - 40 + 12);
    driver->holdButton(1, true);
    driver->holdButton(1, false);
    EXPECT_TRUE(until([&] { return !log.only(WM_COMMAND).empty(); })) << "clicked at " << gw - 70 << "," << gh - 28
                                                                       << " of " << gw << " x " << gh;
    EXPECT_EQ(log.only(WM_COMMAND),
              (std::vector<LoggedMsg>{{top, WM_COMMAND, 1001 | BN_CLICKED << 16, (LPARAM)SWELL_HWND(button)}}));
    EXPECT_TRUE(until([&] { return AsTheLayerHasIt(*driver, top, false); }));
    log.handlers.clear();
    DestroyWindow(top);
  }
}

// What the server is told of translucent windows: the focus rectangle's half alpha
// as its window's opacity; a transparent window's clear background as see-through
// pixels of a visual with alpha (premultiplied), its painted child opaque.
TEST_F(WndX11, TranslucentAndTransparentWindowsTellTheServer)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(60, 300, 200, 150), 0, &w);
  log.handlers[{Child(top, NSMakeRect(20, 20, 60, 40)), WM_PAINT}] = PaintGreen;
  ShowWindow(top, SW_SHOW);
  int width = 0, height = 0;
  std::vector<uint32_t> px;
  ASSERT_NE(Shown(w, &width, &height, &px), 0u);
  auto opacityIs = [&](unsigned long xid, unsigned long want) {  // changed with no event to us: polled
    unsigned long o = 0;
    return pollUntil([&] { return driver->cardinal(xid, "_NET_WM_WINDOW_OPACITY", &o) ? o == want : !want; }, 10000);
  };
  void* overlay = nullptr;
  RECT r{10, 10, 50, 40};
  SWELL_DrawFocusRect(top, &r, &overlay);
  EXPECT_TRUE(opacityIs(AKX11WindowOf((NSWindow*)overlay), 0x7FFFFFFFu));
  SWELL_DrawFocusRect(top, nullptr, &overlay);

  SetOpaque(top, false);  // the content view leaves the window's background showing
  SetTransparent(top);
  const unsigned long clear = Shown(w, &width, &height, &px);
  auto pixels = [&](uint32_t outside, uint32_t child) {
    loop->runOnce();  // draws and shows what changed
    return pollUntil([&] {
      return driver->read(clear, &width, &height, &px, true) && px[5 * 200 + 5] == outside &&
             px[40 * 200 + 40] == child;
    }, 10000);
  };
  EXPECT_TRUE(pixels(0, 0xFF00C000u)) << std::hex << px[5 * 200 + 5] << " " << px[40 * 200 + 40];
  w->setBackgroundColor(NSColor::colorWithCalibratedRed(1, 0.5, 0, 0.5));
  EXPECT_TRUE(pixels(0x80804000u, 0xFF00C000u)) << std::hex << px[5 * 200 + 5];
  w->setAlphaValue(0.25);
  EXPECT_TRUE(opacityIs(clear, 0x3FFFFFFFu));
  w->setAlphaValue(1);
  EXPECT_TRUE(opacityIs(clear, 0));  // none
  log.handlers.clear();
}

// The focus rectangle lets the mouse through on the server as in the layer: in
// front of a list's row, the window found there is the list's, and a press of the
// server's own mouse inside it selects the row under it. No window manager frames it.
TEST_F(WndX11, APressInsideTheFocusRectangleReachesTheRowUnderIt)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(60, 300, 240, 180), 0, &w);
  SWELL_MakeSetCurParms(1, 1, 0, 0, top, false, false);
  const HWND list = SWELL_MakeListBox(20, 10, 10, 200, 150, 0);
  for (const char* row : {"one", "two", "three", "four"}) SendMessage(list, LB_ADDSTRING, 0, (LPARAM)row);
  NSTableView* table = dynamic_cast<NSTableView*>(SWELL_Object(list));
  const int pitch = (int)(table->rowHeight() + table->intercellSpacing().height);
  ShowWindow(top, SW_SHOW);
  int width = 0, height = 0;
  std::vector<uint32_t> px;
  const unsigned long xid = Shown(w, &width, &height, &px);
  ASSERT_NE(xid, 0u);

  POINT at{40, 2 * pitch + pitch / 2};
  ClientToScreen(list, &at);
  void* handle = nullptr;
  RECT r{5, 2 * pitch + 2, 120, 3 * pitch - 2};
  SWELL_DrawFocusRect(list, &r, &handle);
  NSWindow* overlay = (NSWindow*)handle;
  const unsigned long overlayXid = AKX11WindowOf(overlay);
  ASSERT_TRUE(until([&] { return overlayXid && driver->viewable(overlayXid); }));
  const int x = at.x, y = (int)CGDisplayPixelsHigh(CGMainDisplayID()) - at.y;
  // No window manager's: no frame or title over the list, exactly where it was asked.
  POINT tl{r.left, r.top}, br{r.right, r.bottom};
  ClientToScreen(list, &tl);
  ClientToScreen(list, &br);
  int gx = 0, gy = 0, gw = 0, gh = 0;
  EXPECT_TRUE(driver->geometry(overlayXid, &gx, &gy, &gw, &gh));
  EXPECT_EQ(std::vector<int>({gx, gy, gw, gh}),
            std::vector<int>({tl.x, (int)CGDisplayPixelsHigh(CGMainDisplayID()) - tl.y, br.x - tl.x, tl.y - br.y}));
  // In front there on the server: a window that took the mouse would be found.
  overlay->setIgnoresMouseEvents(false);
  EXPECT_TRUE(pollUntil([&] { return driver->windowAt(x, y) == overlayXid; }, 10000));
  overlay->setIgnoresMouseEvents(true);
  EXPECT_TRUE(pollUntil([&] { return driver->windowAt(x, y) == xid; }, 10000));
  EXPECT_EQ(WindowFromPoint(at), list);

  driver->movePointer(x, y);
  driver->holdButton(1, true);
  driver->holdButton(1, false);
  EXPECT_TRUE(until([&] { return SendMessage(list, LB_GETCURSEL, 0, 0) == 2; }));
  SWELL_DrawFocusRect(list, nullptr, &handle);
  // One with no parent stands at the menus' level, yet takes no pointer from others.
  RECT onScreen{at.x - 20, at.y - 5, at.x + 20, at.y + 5};
  SWELL_DrawFocusRect(nullptr, &onScreen, &handle);
  ASSERT_TRUE(until([&] { return driver->viewable(AKX11WindowOf((NSWindow*)handle)); }));
  EXPECT_FALSE(driver->pointerGrabbed());
  SWELL_DrawFocusRect(nullptr, nullptr, &handle);
  DestroyWindow(top);
}

// GetAsyncKeyState answers the keys and buttons held on the whole display, as the
// server has them: while the pointer and the keyboard are with no window of the
// layer's, which hears of none of it, and while an older event is handled that
// says a key was held which has been let go since.
TEST_F(WndX11, HeldKeysAndButtonsAreTheDisplaysOwn)
{
  HWND top = nullptr;
  ASSERT_NE(ShownTop(&top, true), 0u);
  // Over another program's window that keeps what it hears: a window manager would
  // open its menus for presses on the root, and take the clicks of the tests after.
  const unsigned long other = driver->shield(1700, 0, 220, 200);
  const std::shared_ptr<void> gone(nullptr, [&](void*) { driver->unshield(other); });
  driver->movePointer(1800, 100);
  driver->focus(1 /* PointerRoot: the window under the pointer, the root */);
  loop->runOnce();
  log.msgs.clear();
  auto hold = [&](const std::string& k) {  // "+name" holds a key or button (a digit), "-name" lets it go
    if (isdigit(k[1])) driver->holdButton(k[1] - '0', k[0] == '+');
    else driver->holdKey(k.c_str() + 1, k[0] == '+');
  };
  const std::shared_ptr<void> letGo(nullptr, [&](void*) {
    for (const char* k : {"-Shift_L", "-Super_L", "-Control_L", "-Alt_L", "-1", "-2", "-3"}) hold(k);
  });
  struct Step { std::vector<const char*> change; std::vector<int> down; };
  const Step steps[] = {
      {{"+Shift_L"}, {VK_SHIFT}},
      {{"+Super_L"}, {VK_SHIFT, VK_CONTROL}},  // the command key
      {{"-Shift_L", "-Super_L", "+Control_L"}, {VK_LWIN}},
      {{"-Control_L", "+Alt_L"}, {VK_MENU}},  // option
      {{"+1"}, {VK_MENU, VK_LBUTTON}},
      {{"+3", "-Alt_L"}, {VK_LBUTTON, VK_RBUTTON}},
      {{"+2", "-1", "-3"}, {VK_MBUTTON}},
      {{"-2"}, {}},
  };
  for (const Step& s : steps)
  {
    for (const char* k : s.change) hold(k);
    for (const int vk : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_SHIFT, VK_CONTROL, VK_MENU, VK_LWIN})
      EXPECT_EQ(GetAsyncKeyState(vk), std::count(s.down.begin(), s.down.end(), vk) ? (short)0x8000 : 0)
          << "step " << &s - steps << ": key " << vk;
  }
  loop->runOnce();
  EXPECT_TRUE(log.only({WM_KEYDOWN, WM_KEYUP, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_MOUSEMOVE}).empty());

  // A click made with shift held, still queued when shift is let go.
  static NSUInteger carried = 0;
  static short shift = -1;
  log.handlers[{top, WM_LBUTTONDOWN}] = [](HWND, WPARAM, LPARAM) {
    carried = NSApp->currentEvent() ? NSApp->currentEvent()->modifierFlags() : 0;
    shift = GetAsyncKeyState(VK_SHIFT);
    return (LRESULT)0;
  };
  POINT at{20, 20};
  ClientToScreen(top, &at);
  driver->movePointer(at.x, (int)CGDisplayPixelsHigh(CGMainDisplayID()) - at.y);
  for (const char* k : {"+Shift_L", "+1", "-1", "-Shift_L"}) hold(k);
  ASSERT_TRUE(until([&] { return !log.only(WM_LBUTTONUP).empty(); }));
  EXPECT_TRUE(carried & NSShiftKeyMask) << "the click says shift was held";
  EXPECT_EQ(shift, 0) << "shift is not held now";
  log.handlers.clear();
  DestroyWindow(top);
}

TEST_F(WndX11, ClickingACheckBoxTogglesItAndTellsTheParent)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(80, 280, 220, 120), 0, &w);
  w->setTitle("check box");
  Swell_vDavrel_64_button* box = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(20, 30, 120, 20)), 1001);
  box->setButtonType(NSSwitchButton);
  box->setTitle("Send clock");
  ShowWindow(top, SW_SHOW);
  const unsigned long xid = AKX11WindowOf(w);
  ASSERT_NE(xid, 0u);

  // The box's inside, at 4..9 across and down from its corner: blank, then marked.
  auto marked = [&] {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    if (!Shown(w, &width, &height, &px) || width != 220) return -1;
    int dark = 0;
    for (int y = 34 + 4; y < 34 + 9; ++y)
      for (int x = 21 + 4; x < 21 + 9; ++x) dark += (px[(size_t)y * width + x] & 0xFF) < 0x40;
    return dark;
  };
  EXPECT_EQ(marked(), 0);

  POINT at{26, 40};
  ClientToScreen(top, &at);
  ASSERT_TRUE(SWELL_SetCursorPos(at.x, at.y));
  log.msgs.clear();
  driver->click(xid, 26, 40);
  ASSERT_TRUE(until([&] { return !log.only(WM_COMMAND).empty(); }));
  EXPECT_EQ(SendMessage(SWELL_HWND(box), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(log.only(WM_COMMAND),
            (std::vector<LoggedMsg>{{top, WM_COMMAND, 1001 | BN_CLICKED << 16, (LPARAM)SWELL_HWND(box)}}));
  EXPECT_TRUE(until([&] { return marked() > 10; }));

  log.msgs.clear();
  driver->click(xid, 26, 40);
  ASSERT_TRUE(until([&] { return !log.only(WM_COMMAND).empty(); }));
  EXPECT_EQ(SendMessage(SWELL_HWND(box), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(until([&] { return marked() == 0; }));
  DestroyWindow(top);
}

// A window's menu is a bar across the top of its X window; a click on a title
// opens the submenu and the chosen item reaches the window as its command. The bar
// comes to a shown window and is clicked at once: its strip's resize done after the
// press, the press is read with it, and is placed where it was made.
TEST_F(WndX11, AWindowsMenuShowsAsABarAndTakesClicks)
{
  NSAutoreleasePool pool;
  NSModalScript script;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(100, 260, 220, 120), 0, &w);
  w->setTitle("menu bar");
  HMENU file = nullptr;
  HMENU bar = BarWithSubmenu("Banks", {{"Load bank", 320}}, &file);
  ShowWindow(top, SW_SHOW);
  const unsigned long xid = AKX11WindowOf(w);
  ASSERT_TRUE(until([&] { return AsTheLayerHasIt(*driver, top, !X11Session::server()->manager().empty()); }));
  script.chooseMenuItem({0});
  driver->grabServer(true);  // the resize waits behind the press
  ASSERT_TRUE(SetMenu(top, bar));
  log.msgs.clear();
  driver->click(xid, 20, 10);
  driver->grabServer(false);
  int gx = 0, gy = 0, gw = 0, gh = 0;  // the server has the resize, the layer has read neither
  EXPECT_TRUE(pollUntil([&] { return driver->geometry(xid, &gx, &gy, &gw, &gh) && gh == 140; }, 10000));
  ASSERT_TRUE(until([&] { return !log.only(WM_COMMAND).empty(); }));
  EXPECT_EQ(log.only(WM_COMMAND)[0].wParam, (WPARAM)320);
  EXPECT_EQ(script.pending(), 0u);
  // The X window shows the bar: its light ground, and the title's ink.
  auto showsBar = [&](NSWindow* win) {
    int width = 0, height = 0, ink = 0;
    std::vector<uint32_t> px;
    return until([&] {
      if (!Shown(win, &width, &height, &px) || width != 220) return false;
      ink = 0;
      for (int y = 2; y < 18; ++y)
        for (int x = 8; x < 50; ++x) ink += (px[(size_t)y * width + x] & 0xFF) < 0x60;
      return px[(size_t)1 * width + 200] == 0xEDEDEDu && ink > 10;
    });
  };
  EXPECT_TRUE(showsBar(w));
  SetMenu(top, nullptr);
  DestroyWindow(top);

  // The application's menu, with no destination of its own, is the bar of a key
  // window of the layer that has no menu: a click opens the title's submenu for
  // that window, as its pop-up menu would; also when the window loses the keyboard
  // right after the click, both read at once.
  HWND view = nullptr;
  Swell_vDavrel_64_modelesswindow* mw =
      Swell_vDavrel_64_modelesswindow::initModeless(nullptr, nullptr, RecordingProc, 0, &view, 15);
  mw->setFrame(NSMakeRect(100, 260, 220, 120), false);
  SWELL_SetCurrentMenu(bar);
  ShowWindow(view, SW_SHOW);
  mw->makeKeyWindow();
  driver->focus(AKX11WindowOf(mw));
  ASSERT_EQ(mw->shownMenuBar(), SWELL_MenuOf(bar));
  ASSERT_TRUE(showsBar(mw));
  script.chooseMenuItem({0});
  log.msgs.clear();
  driver->click(AKX11WindowOf(mw), 20, 10);
  driver->focus(0);
  ASSERT_TRUE(until([&] { return !log.only(WM_COMMAND).empty(); }));
  EXPECT_EQ(log.only({WM_INITMENUPOPUP, WM_COMMAND}),
            (std::vector<LoggedMsg>{{view, WM_INITMENUPOPUP, (WPARAM)file, 0}, {view, WM_COMMAND, 320, 0}}));
  EXPECT_EQ(script.pending(), 0u);
  DestroyWindow(view);
  NSApp->setMainMenu(nullptr);
  DestroyMenu(bar);
}

}  // namespace
