// Top-level and owned windows: what their content views are told when the window
// moves, resizes, becomes key, is closed or asked for its size limits, and how
// owned windows follow their owner.

#include "../winsys_wnd/menu_test_util.h"
#include "../winsys_wnd/wnd_test_util.h"

#include "platform/appkit/ModalScript.h"
#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSMenu.h"
#include "raster/lice_bitmap.h"
#include "winsys/shell/menus.h"
#include "winsys/wnd/toplevel.h"

namespace {

class TopLevel : public WndTest
{
protected:
  void TearDown() override
  {
    for (HWND h : made)
      if (IsWindow(h)) DestroyWindow(h);
    NSApp->setKeyWindow(nullptr);
    SWELL_owned_windows_levelincrease = false;
    SWELL_SetDefaultWindowMenu(nullptr);
    SWELL_SetDefaultModalWindowMenu(nullptr);
    NSApp->setMainMenu(nullptr);
    WndTest::TearDown();
  }
  // A modeless window without a resource, its content view recording; the window
  // through out.
  HWND Modeless(Swell_vDavrel_64_modelesswindow** out = nullptr, NSObject* owner = nullptr, unsigned styles = 15)
  {
    HWND view = nullptr;
    Swell_vDavrel_64_modelesswindow* w =
        Swell_vDavrel_64_modelesswindow::initModeless(nullptr, owner, RecordingProc, 0, &view, styles);
    made.push_back(view);
    if (out) *out = w;
    return view;
  }
  std::vector<HWND> made;
};

TEST_F(TopLevel, MovesAndResizesSendTheirMessages)
{
  Swell_vDavrel_64_modelesswindow* w;
  HWND v = Modeless(&w);
  w->setFrame(NSMakeRect(100, 200, 300, 150), false);
  struct Step
  {
    NSRect frame;
    bool moved, sized;
  } steps[] = {
      {NSMakeRect(120, 200, 300, 150), true, false},           // only the origin
      {NSMakeRect(120, 200, 300.4, 150.7), false, false},      // integer parts unchanged
      {NSMakeRect(120, 200, 301, 150.7), false, true},         // width grows
      {NSMakeRect(-40, -7, 301, 150.7), true, false},          // left of and below the screen
      {NSMakeRect(-70000, 70000, 301, 150.7), true, false},    // beyond 16 bits
      {NSMakeRect(5, 6, 20, 30), true, true},
  };
  NSSize last = w->frame().size;
  for (const Step& s : steps)
  {
    log.msgs.clear();
    w->setFrame(s.frame, false);
    const auto moves = log.only(WM_MOVE);
    ASSERT_EQ(moves.size(), s.moved ? 1u : 0u) << s.frame.origin.x;
    // The content view reports its own resize (any change) besides the window's.
    const bool viewResized = s.frame.size.width != last.width || s.frame.size.height != last.height;
    last = s.frame.size;
    EXPECT_EQ(log.only(WM_SIZE).size(), (s.sized ? 1u : 0u) + (viewResized ? 1u : 0u)) << s.frame.size.width;
    if (!s.moved) continue;
    EXPECT_EQ(moves[0].hwnd, v);
    const int x = (int)s.frame.origin.x, y = (int)s.frame.origin.y;
    // The low 16 bits hold x, the rest y, as a sign-extended 32-bit value.
    const LPARAM lp = moves[0].lParam;
    EXPECT_EQ((int16_t)(lp & 0xFFFF), (int16_t)x);
    EXPECT_EQ((int32_t)lp >> 16, (int16_t)y);
    EXPECT_EQ(lp, (LPARAM)(int32_t)(((uint32_t)y << 16) | ((uint32_t)x & 0xFFFF)));
  }
  EXPECT_EQ(SWELL_PackPointParam(-1, -1), (LPARAM)-1);
  EXPECT_EQ(SWELL_PackPointParam(-2, 3), (LPARAM)0x3FFFE);
}

TEST_F(TopLevel, CloseBoxAsksTheProcedureAndNeverClosesByItself)
{
  for (bool handles : {true, false})
  {
    Swell_vDavrel_64_modelesswindow* w;
    HWND v = Modeless(&w);
    ShowWindow(v, SW_SHOW);
    log.msgs.clear();
    if (handles) log.handlers[{v, WM_CLOSE}] = [](HWND, WPARAM, LPARAM) { return (LRESULT)1; };
    w->performClose(nullptr);
    EXPECT_EQ(log.only(WM_CLOSE).size(), 1u);
    const auto cmds = log.only(WM_COMMAND);
    if (handles) EXPECT_TRUE(cmds.empty());
    else
    {
      ASSERT_EQ(cmds.size(), 1u);
      EXPECT_EQ(cmds[0].wParam, (WPARAM)IDCANCEL);
      EXPECT_EQ(cmds[0].lParam, 0);
    }
    EXPECT_FALSE(w->isClosed());
    EXPECT_TRUE(IsWindow(v));
  }
}

TEST_F(TopLevel, SizeLimitsComeFromTheProcedure)
{
  Swell_vDavrel_64_modelesswindow* w;
  HWND v = Modeless(&w);
  w->setMinSize(NSMakeSize(50.7, 40.2));
  w->setMaxSize(NSMakeSize(3e6, 800.9));
  struct Case
  {
    POINT setMax;  // -1: left as it came
    POINT setMin;
    NSSize wantMax, wantMin;
  } cases[] = {
      {{-1, -1}, {-1, -1}, NSMakeSize(3e6, 800), NSMakeSize(50, 40)},
      {{640, 1000000}, {100, 90}, NSMakeSize(640, 800.9), NSMakeSize(100, 90)},
      {{2000000, 480}, {-1, -1}, NSMakeSize(3e6, 480), NSMakeSize(50, 40)},
  };
  for (const Case& c : cases)
  {
    POINT seenMax{}, seenMin{};
    log.handlers[{v, WM_GETMINMAXINFO}] = [&](HWND, WPARAM, LPARAM lp) {
      MINMAXINFO* m = (MINMAXINFO*)lp;
      if (m->ptMaxTrackSize.x) seenMax = m->ptMaxTrackSize;
      if (m->ptMinTrackSize.x) seenMin = m->ptMinTrackSize;
      if (c.setMax.x >= 0 && m->ptMaxTrackSize.x) m->ptMaxTrackSize = c.setMax;
      if (c.setMin.x >= 0 && m->ptMinTrackSize.x) m->ptMinTrackSize = c.setMin;
      return (LRESULT)0;
    };
    const NSSize mx = w->maxSize(), mn = w->minSize();
    EXPECT_EQ(seenMax.x, 1000000);  // clamped before the procedure sees it
    EXPECT_EQ(seenMax.y, 800);
    EXPECT_EQ(seenMin.x, 50);
    EXPECT_DOUBLE_EQ(mx.width, c.wantMax.width);
    EXPECT_DOUBLE_EQ(mx.height, c.wantMax.height);
    EXPECT_DOUBLE_EQ(mn.width, c.wantMin.width);
    EXPECT_DOUBLE_EQ(mn.height, c.wantMin.height);
  }
}

TEST_F(TopLevel, OwnedWindowListAndLevels)
{
  Swell_vDavrel_64_modelesswindow *owner, *a, *b;
  Modeless(&owner);
  Modeless(&a);
  Modeless(&b);
  b->m_wantraiseamt = 2;
  owner->setLevel(3);
  auto count = [&] {
    int n = 0;
    for (OwnedWindowListRec* p = *owner->swellGetOwnerWindowHead(); p; p = p->_next) ++n;
    return n;
  };
  owner->swellAddOwnedWindow(a);
  owner->swellAddOwnedWindow(a);
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(a->swellGetOwner(), owner);
  owner->swellRemoveOwnedWindow(b);
  EXPECT_EQ(count(), 1);
  owner->swellAddOwnedWindow(b);
  // Levels stay while the switch is clear, even with the application active; with
  // it set they rise above the owner's by each window's amount, and while the
  // application is inactive every owned window sits at the owner's level.
  struct
  {
    bool increase, active;
    NSInteger a, b;
  } levels[] = {{false, true, 0, 0}, {true, true, 4, 6}, {true, false, 3, 3}};
  for (const auto& l : levels)
  {
    SWELL_owned_windows_levelincrease = l.increase;
    if (l.active) owner->makeKeyWindow();
    else NSApp->setKeyWindow(nullptr);
    owner->swellResetOwnedWindowLevels();
    EXPECT_EQ(a->level(), l.a) << l.increase << l.active;
    EXPECT_EQ(b->level(), l.b) << l.increase << l.active;
  }
  owner->swellRemoveOwnedWindow(a);
  EXPECT_EQ(count(), 1);
}

TEST_F(TopLevel, DestroyingTheOwnerDestroysOwnedWindowsLatestFirst)
{
  Swell_vDavrel_64_modelesswindow* owner;
  HWND ov = Modeless(&owner);
  HWND first = Modeless(nullptr, owner);
  HWND second = Modeless(nullptr, SWELL_Object(ov));  // a view's window takes it
  EXPECT_EQ(dynamic_cast<Swell_vDavrel_64_modelesswindow*>(SWELL_WindowView(second)->window())->swellGetOwner(),
            owner);
  log.msgs.clear();
  DestroyWindow(ov);
  const auto d = log.only(WM_DESTROY);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].hwnd, ov);
  EXPECT_EQ(d[1].hwnd, second);
  EXPECT_EQ(d[2].hwnd, first);
  EXPECT_FALSE(IsWindow(first));
  EXPECT_FALSE(IsWindow(second));
}

TEST_F(TopLevel, ActivationTellsBothWindowsAndInstallsTheMenu)
{
  NSMenu* windowMenu = new NSMenu("window");
  NSMenu* modalMenu = new NSMenu("modal");
  Swell_vDavrel_64_modelesswindow *m1, *m2;
  HWND v1 = Modeless(&m1), v2 = Modeless(&m2);
  m1->makeKeyWindow();
  log.msgs.clear();
  m2->makeKeyWindow();
  const std::vector<LoggedMsg> want{{v1, WM_ACTIVATE, WA_INACTIVE, 0},
                                    {v2, WM_ACTIVATE, WA_ACTIVE, (LPARAM)v1},
                                    {v2, WM_MOUSEACTIVATE, 0, 0}};
  EXPECT_EQ(log.msgs, want);

  static const SWELL_DialogResourceIndex res{(const char*)1, "Box", 0, nullptr, 40, 30, nullptr};
  struct Case
  {
    NSMenu *window, *modal;
    bool dialog;
    NSMenu* want;
  } cases[] = {
      {windowMenu, modalMenu, true, modalMenu},
      {windowMenu, nullptr, true, windowMenu},
      {windowMenu, modalMenu, false, windowMenu},
      {nullptr, modalMenu, false, nullptr},
  };
  for (const Case& c : cases)
  {
    NSApp->setKeyWindow(nullptr);
    NSApp->setMainMenu(nullptr);
    SWELL_SetDefaultWindowMenu(SWELL_HMENUOf(c.window));
    SWELL_SetDefaultModalWindowMenu(SWELL_HMENUOf(c.modal));
    NSWindow* w;
    if (c.dialog)
    {
      w = Swell_vDavrel_64_dialogbox::initDialogBox(&res, nullptr, RecordingProc, 0);
      windows.push_back(w);
    }
    else
      w = m1;
    w->makeKeyWindow();
    EXPECT_EQ(NSApp->mainMenu(), c.want) << c.dialog;
    EXPECT_EQ(w->shownMenuBar(), c.want) << c.dialog;  // the key window shows it as its bar
  }
  NSApp->setMainMenu(nullptr);
  windowMenu->release();
  modalMenu->release();
}

// The application's menu is the bar of the key window of the layer that has no
// menu of its own; its other windows keep an empty strip, so nothing changes with
// the key window. The strip is added to each frame, the content keeps its size.
// Windows not the layer's show no strip.
TEST_F(TopLevel, TheMainMenuIsTheBarOfTheKeyWindow)
{
  NSModalScript script;
  HMENU file = nullptr;
  HMENU bar = BarWithSubmenu("File", {{"Open", 310}, {"Close", 311}}, &file);
  SWELL_Menu_AddMenuItem(bar, "Help", 312, 0);
  SWELL_SetDefaultWindowMenu(bar);
  Swell_vDavrel_64_modelesswindow *m1, *m2;
  const HWND v1 = Modeless(&m1), v2 = Modeless(&m2);
  NSWindow* plain = nullptr;
  Window(NSMakeRect(0, 0, 240, 120), 0, &plain);  // not a window of the layer
  for (NSWindow* w : {(NSWindow*)m1, (NSWindow*)m2}) w->setFrame(NSMakeRect(0, 0, 240, 120), false);
  auto clientHeight = [](HWND v) {
    RECT r;
    GetClientRect(v, &r);
    return r.bottom - r.top;
  };
  m1->makeKeyWindow();
  ASSERT_EQ(NSApp->mainMenu(), SWELL_MenuOf(bar));
  EXPECT_EQ(m1->shownMenuBar(), SWELL_MenuOf(bar));
  EXPECT_EQ(m1->menuBar(), nullptr);  // shown, not its own
  EXPECT_EQ(m2->shownMenuBar(), nullptr);
  for (NSWindow* w : {(NSWindow*)m1, (NSWindow*)m2}) EXPECT_TRUE(NSEqualRects(w->frame(), NSMakeRect(0, -20, 240, 140)));
  EXPECT_EQ(clientHeight(v1), 120);
  EXPECT_EQ(clientHeight(v2), 120);
  EXPECT_TRUE(NSEqualRects(plain->frame(), NSMakeRect(0, 0, 240, 120)));
  EXPECT_EQ(plain->contentView()->frame().size.height, 120);
  // Both strips are the bar's grey; only the key window's has titles.
  auto barInk = [](NSWindow* w) {
    w->display();
    int ink = (BackingRow(w, 1)[200] >> 8 & 0xFF) != (uint32_t)(0.93 * 255 + 0.5) ? -1 : 0;
    for (int y = 2; y < 18; ++y)
      for (int x = 8; x < 50; ++x) ink += (BackingRow(w, y)[x] >> 8 & 0xFF) < 0x60;
    return ink;
  };
  EXPECT_GT(barInk(m1), 10);
  EXPECT_EQ(barInk(m2), 0);

  // A submenu's title: WM_INITMENUPOPUP, then the chosen item's command, to the
  // window; a plain title is its command. The menu keeps no destination.
  script.chooseMenuItem({1});
  log.msgs.clear();
  NSApp->sendEvent(NSEvent::mouseEventWithType(NSLeftMouseDown, NSMakePoint(15, 130), 0, 0, m1, 1));
  NSApp->sendEvent(NSEvent::mouseEventWithType(NSLeftMouseDown, NSMakePoint(60, 130), 0, 0, m1, 1));
  EXPECT_EQ(log.only({WM_INITMENUPOPUP, WM_COMMAND, WM_LBUTTONDOWN}),
            (std::vector<LoggedMsg>{
                {v1, WM_INITMENUPOPUP, (WPARAM)file, 0}, {v1, WM_COMMAND, 311, 0}, {v1, WM_COMMAND, 312, 0}}));
  EXPECT_EQ(script.pending(), 0u);
  EXPECT_EQ(SWELL_MenuOf(file)->delegate(), nullptr);

  // The bar follows the key window and the menu, resizing nothing; without a menu,
  // the frame is the content's again.
  log.msgs.clear();
  m2->makeKeyWindow();
  EXPECT_EQ(m1->shownMenuBar(), nullptr);
  EXPECT_EQ(m2->shownMenuBar(), SWELL_MenuOf(bar));
  EXPECT_EQ(clientHeight(v1), 120);
  EXPECT_EQ(clientHeight(v2), 120);
  EXPECT_TRUE(log.only({WM_SIZE, WM_MOVE}).empty());
  HMENU other = CreatePopupMenu();
  SWELL_SetCurrentMenu(other);
  EXPECT_EQ(m2->shownMenuBar(), SWELL_MenuOf(other));
  plain->makeKeyWindow();
  EXPECT_EQ(plain->shownMenuBar(), nullptr);
  EXPECT_EQ(m2->shownMenuBar(), nullptr);
  m2->makeKeyWindow();
  NSApp->setMainMenu(nullptr);
  EXPECT_EQ(clientHeight(v1), 120);
  EXPECT_EQ(clientHeight(v2), 120);
  for (NSWindow* w : {(NSWindow*)m1, (NSWindow*)m2}) EXPECT_TRUE(NSEqualRects(w->frame(), NSMakeRect(0, 0, 240, 120)));
  SWELL_SetDefaultWindowMenu(nullptr);
  DestroyMenu(other);
  DestroyMenu(bar);
}

TEST_F(TopLevel, CreationWithoutAResourceAndFramesAroundAView)
{
  Swell_vDavrel_64_modelesswindow* w;
  HWND v = Modeless(&w, nullptr, NSClosableWindowMask);
  EXPECT_EQ(w->styleMask(), (NSUInteger)NSClosableWindowMask);
  EXPECT_EQ(w->frame().size.width, 10);
  EXPECT_EQ(w->frame().size.height, 10);
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(log.only(WM_CREATE).size(), 1u);
  // Placed 50 right of the screen's left edge, its top 100 below the screen's top.
  RECT screen;
  SWELL_GetViewPort(&screen, nullptr, false);
  EXPECT_EQ(w->frame().origin.x, screen.left + 50);
  EXPECT_EQ(w->frame().origin.y + 10, screen.bottom - 100);
  // Kept on the screen from each side; one larger than the screen keeps its left and top edges on it.
  const CGFloat r = NSMaxX(NSScreen::mainScreen()->frame()), t = NSMaxY(NSScreen::mainScreen()->frame());
  const NSRect rows[][2] = {{{{-9, 5}, {40, 30}}, {{0, 5}, {40, 30}}},
                            {{{5, -9}, {40, 30}}, {{5, 0}, {40, 30}}},
                            {{{r - 9, 5}, {40, 30}}, {{r - 40, 5}, {40, 30}}},
                            {{{5, t - 9}, {40, 30}}, {{5, t - 30}, {40, 30}}},
                            {{{-5, -5}, {r + 99, t + 99}}, {{0, -99}, {r + 99, t + 99}}}};
  for (const auto& row : rows)
    EXPECT_TRUE(NSEqualRects(w->constrainFrameRect(row[0], nullptr), row[1])) << row[0].origin.x << row[0].origin.y;

  // A resource gives its size and title, and the three buttons; 0x2 adds resizing.
  static const SWELL_DialogResourceIndex res{(const char*)7, "Named", SWELL_DLG_RESIZABLE, nullptr, 120, 60,
                                             nullptr};
  HWND rv = nullptr;
  Swell_vDavrel_64_modelesswindow* rw =
      Swell_vDavrel_64_modelesswindow::initModeless(&res, w, RecordingProc, 0, &rv, 0);
  made.push_back(rv);
  EXPECT_EQ(rw->styleMask(), 15u);
  EXPECT_EQ(rw->title(), "Named");
  EXPECT_EQ(rw->swellGetOwner(), w);
  EXPECT_EQ(rw->ownerWindow(), w);  // and the desktop keeps it with w
  EXPECT_TRUE(rw->isDialog() && !w->isDialog());
  RECT owner;
  GetWindowRect(v, &owner);
  EXPECT_EQ(rw->frame().origin.x, owner.left + 50);
  EXPECT_EQ(rw->frame().origin.y + 60, owner.bottom - 100);

  // A child that leaves its parent gets a frame of its own around it.
  HWND parent = Window(NSMakeRect(0, 0, 200, 200));
  HWND c = Child(parent, NSMakeRect(5, 5, 70, 40));
  SetParent(c, nullptr);
  NSWindow* frame = SWELL_WindowView(c)->window();
  ASSERT_TRUE(dynamic_cast<Swell_vDavrel_64_modelesswindow*>(frame));
  EXPECT_EQ(frame->contentView(), (NSView*)SWELL_WindowView(c));
  EXPECT_EQ(frame->frame().size.width, 70);
  made.push_back(c);
}

// A dialog from a 200 x 100 resource keeps that client area whether the main menu
// is set before it is made or while it is open, and whether it is key or not: the
// bar's strip is added to its frame below the frame's top edge, and the button at
// the resource's bottom stays inside.
void MakeBottomButton(HWND view, int) { AddControl(view, new NSButton(NSMakeRect(10, 76, 80, 24)), 1); }

TEST_F(TopLevel, ADialogKeepsItsResourcesClientAreaUnderTheMainMenu)
{
  static const SWELL_DialogResourceIndex res{(const char*)8, "Sized", SWELL_DLG_FLIPPED, MakeBottomButton, 200, 100,
                                             nullptr};
  NSMenu* menu = new NSMenu("main");
  for (int row = 0; row < 8; ++row)
  {
    // Rows 4-7 at a place well above the screen's bottom: the strip grows the frame
    // down and its top stays; rows 0-3 at the screen's corner, where the strip
    // would push the bottom off the screen, so the frame moves up instead.
    const bool modal = row & 1, menuFirst = row & 2, high = row & 4;
    SCOPED_TRACE(row);
    NSApp->setMainMenu(menuFirst ? menu : nullptr);
    HWND v = nullptr;
    NSWindow* w = modal ? (NSWindow*)Swell_vDavrel_64_dialogbox::initDialogBox(&res, nullptr, RecordingProc, 0)
                        : Swell_vDavrel_64_modelesswindow::initModeless(&res, nullptr, RecordingProc, 0, &v, 0);
    if (modal) windows.push_back(w);
    v = SWELL_HWND(w->contentView());
    auto expect = [&](const char* when, CGFloat frameHeight) {
      RECT r;
      GetClientRect(v, &r);
      EXPECT_EQ(r.right * 1000 + r.bottom, 200 * 1000 + 100) << when;
      EXPECT_TRUE(NSContainsRect(SWELL_WindowView(v)->bounds(), SWELL_WindowView(v)->viewWithTag(1)->frame()))
          << when;
      EXPECT_EQ(w->frame().size.width, 200) << when;
      EXPECT_EQ(w->frame().size.height, frameHeight) << when;
      EXPECT_GE(w->frame().origin.y, 0) << when << ": below the screen";
    };
    if (high)
    {
      NSRect f = w->frame();
      f.origin.y += 500;
      w->setFrame(f, false);
    }
    const CGFloat top = NSMaxY(w->frame());
    expect("made", menuFirst ? 120 : 100);
    NSApp->setMainMenu(menu);
    expect("menu set", 120);
    w->makeKeyWindow();
    EXPECT_EQ(w->shownMenuBar(), menu);
    expect("key", 120);
    NSApp->setKeyWindow(nullptr);
    expect("not key", 120);
    NSApp->setMainMenu(nullptr);
    expect("menu gone", 100);
    if (high)
    {
      EXPECT_EQ(NSMaxY(w->frame()), top);
    }
    DestroyWindow(v);
  }
  menu->release();
}

}  // namespace
