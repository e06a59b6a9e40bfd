// A window's menu as a bar across its top: drawn in the window, its titles open
// their submenus, and a chosen item reaches the window as its command. Key
// equivalents of the bar's items: a key press that is an enabled item's
// equivalent reaches the window as that item's command and goes no further; other
// keys go to the window as keys.

#include "menu_test_util.h"
#include "wnd_test_util.h"

#include "platform/appkit/ModalScript.h"
#include "raster/lice_bitmap.h"
#include "winsys/shell/menus.h"
#include "winsys/wnd/keyboard.h"

namespace {

class MenuKeys : public WndTest
{
};

TEST_F(MenuKeys, KeyEquivalentsSendTheirItemsCommand)
{
  NSAutoreleasePool pool;
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  HMENU file = nullptr;
  HMENU bar = BarWithSubmenu("File", {{"Save", 300}, {"Reload", 301}}, &file);
  SWELL_Menu_AddMenuItem(file, "Greyed", 302, 1);
  SetMenuItemModifier(file, 300, MF_BYCOMMAND, 'S', FVIRTKEY | FCONTROL);
  SetMenuItemModifier(file, 301, MF_BYCOMMAND, 116 /* F5 */, FVIRTKEY);
  SetMenuItemModifier(file, 302, MF_BYCOMMAND, 'G', FVIRTKEY | FCONTROL);
  ShowWindow(top, SW_SHOW);
  SetFocus(top);
  ASSERT_TRUE(SetMenu(top, bar));
  ASSERT_NE(NSApp->keyWindow(), nullptr);
  ASSERT_EQ(SWELL_GetCurrentMenu(), bar);

  struct Key
  {
    const char* what;
    unsigned short code;
    std::u16string chars;
    NSUInteger flags;
    std::vector<WPARAM> commands;
    size_t keys;  // WM_KEYDOWN the window saw
  };
  const Key keys[] = {
      {"Command-S", kVK_ANSI_S, u"s", NSCommandKeyMask, {300}, 0},
      {"Command-Shift-S is another key", kVK_ANSI_S, u"S", NSCommandKeyMask | NSShiftKeyMask, {}, 1},
      {"plain s", kVK_ANSI_S, u"s", 0, {}, 1},
      {"F5", kVK_F5, std::u16string(1, (char16_t)0xF708), 0, {301}, 0},
      {"a greyed item's key", kVK_ANSI_G, u"g", NSCommandKeyMask, {}, 1},
  };
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  for (const Key& k : keys)
  {
    SCOPED_TRACE(k.what);
    log.msgs.clear();
    NSModalScript::pressKey(k.code, k.chars, k.flags);
    loop->runUntil([&] { return NSApp->queuedEvents() == 0; }, loop->now() + 5);
    std::vector<WPARAM> commands;
    for (const LoggedMsg& m : log.only(WM_COMMAND)) commands.push_back(m.wParam);
    EXPECT_EQ(commands, k.commands);
    EXPECT_EQ(log.only(WM_KEYDOWN).size(), k.keys);
  }
  SetMenu(top, nullptr);
  DestroyWindow(top);
  DestroyMenu(bar);
}

TEST_F(MenuKeys, AWindowsMenuIsABarAcrossItsTop)
{
  NSAutoreleasePool pool;
  NSModalScript script;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 240, 120), 0, &w);
  ShowWindow(top, SW_SHOW);
  HMENU bar = BarWithSubmenu("File", {{"Open", 310}, {"Close", 311}});
  RECT before;
  GetClientRect(top, &before);
  ASSERT_TRUE(SetMenu(top, bar));
  EXPECT_EQ(w->menuBar(), SWELL_MenuOf(bar));
  RECT client;
  GetClientRect(top, &client);
  // The bar's strip is added at the top of the window; the client area keeps its size.
  EXPECT_EQ(client.bottom, before.bottom);
  EXPECT_TRUE(NSEqualRects(w->frame(), NSMakeRect(0, -20, 240, 140)));

  // The bar is in the window's pixels: its light ground, and the title's ink.
  w->display();
  auto row = [&](int y) { return BackingRow(w, y); };
  int ink = 0;
  for (int y = 2; y < 18; ++y)
    for (int x = 8; x < 40; ++x) ink += ((row(y)[x] >> 8) & 0xFF) < 0x60;
  EXPECT_GT(ink, 10);
  EXPECT_EQ((row(1)[200] >> 8) & 0xFF, (uint32_t)(0.93 * 255 + 0.5));

  // A press on the title opens the submenu; the chosen item is the window's command.
  script.chooseMenuItem({1});
  log.msgs.clear();
  NSApp->sendEvent(NSEvent::mouseEventWithType(NSLeftMouseDown, NSMakePoint(15, 130), 0, 0, w, 1));
  const std::vector<LoggedMsg> told = log.only({WM_INITMENUPOPUP, WM_COMMAND});
  ASSERT_EQ(told.size(), 2u);
  EXPECT_EQ(told[0], (LoggedMsg{top, WM_INITMENUPOPUP, (WPARAM)GetSubMenu(bar, 0), 0}));
  EXPECT_EQ(told[1].hwnd, top);
  EXPECT_EQ(told[1].wParam, (WPARAM)311);
  ASSERT_EQ(script.menusShown.size(), 1u);
  EXPECT_EQ(script.menusShown[0][0].title, "Open");
  EXPECT_TRUE(log.only(WM_LBUTTONDOWN).empty());  // the bar is not the window's client area

  SetMenu(top, nullptr);
  EXPECT_EQ(w->menuBar(), nullptr);
  GetClientRect(top, &client);
  EXPECT_EQ(client.bottom, before.bottom);
  EXPECT_TRUE(NSEqualRects(w->frame(), NSMakeRect(0, 0, 240, 120)));
  DestroyWindow(top);
  DestroyMenu(bar);
}

}  // namespace
