#include "shell_test_util.h"

#include "platform/appkit/NSImage.h"
#include "winsys/gdi_image.h"
#include "winsys/shell/menus.h"

#include <cstring>

namespace {

class Menus : public ShellTest
{
protected:
  void SetUp() override
  {
    ShellTest::SetUp();
    live = NSObject::liveObjects();
  }
  void TearDown() override
  {
    ShellTest::TearDown();
    EXPECT_EQ(NSObject::liveObjects(), live) << "objects left alive";
  }
  long live = 0;
};

// The menu as text: titles, [id], (off) for disabled, * for checked, > for a submenu.
std::string shape(HMENU m)
{
  std::string s;
  NSMenu* menu = SWELL_MenuOf(m);
  for (NSMenuItem* it : menu->itemArray())
  {
    if (!s.empty()) s += " ";
    if (it->isSeparatorItem())
    {
      s += "-";
      continue;
    }
    s += it->title() + "[" + std::to_string(it->tag()) + "]";
    if (!it->isEnabled()) s += "(off)";
    if (it->state()) s += "*";
    if (it->hasSubmenu()) s += ">" + it->submenu()->title() + "{" + shape(SWELL_HMENUOf(it->submenu())) + "}";
  }
  return s;
}

HMENU sample()
{
  HMENU m = CreatePopupMenu();
  SWELL_Menu_AddMenuItem(m, "Open", 1001, 0);
  HMENU sub = CreatePopupMenuEx("More");
  SWELL_Menu_AddMenuItem(sub, "Deep", 1005, 0);
  SWELL_InsertMenu(m, 1, MF_BYPOSITION | MF_POPUP, (UINT_PTR)sub, "More");
  SWELL_Menu_AddMenuItem(m, nullptr, 0, 0);
  SWELL_Menu_AddMenuItem(m, "Close", 1002, 1);
  return m;
}

TEST_F(Menus, TextsLoseShortcutsAndMnemonics)
{
  struct Case
  {
    const char* text;
    std::string shown;
  };
  const std::string longText(2000, 'w');
  const Case cases[] = {
      {"&Open\tCtrl+O", "Open"}, {"Save && Exit", "Save & Exit"}, {"Trailing&", "Trailing"},
      {nullptr, ""},             {"\tonly a key", ""},            {"&&&x", "&x"},
      {longText.c_str(), std::string(1023, 'w')},
  };
  HMENU m = sample();
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(SWELL_CleanMenuText(c.text), c.shown);
    ASSERT_TRUE(SetMenuItemText(m, 1, MF_BYPOSITION, c.text));
    EXPECT_EQ(SWELL_MenuOf(m)->itemAtIndex(1)->title(), c.shown);
    EXPECT_EQ(SWELL_MenuOf(m)->itemAtIndex(1)->submenu()->title(), c.shown);  // the submenu follows
  }
  DestroyMenu(m);
}

TEST_F(Menus, ItemsAreFoundByPositionOrByIdInSubmenus)
{
  struct Case
  {
    const char* what;
    bool (*op)(HMENU);
    bool result;
    std::string shape;
  };
  const Case cases[] = {
      {"enable flag 0x2 leaves enabled", [](HMENU m) { return EnableMenuItem(m, 1001, MF_DISABLED); }, true,
       "Open[1001] More[0]>More{Deep[1005]} - Close[1002](off)"},
      {"grey by id", [](HMENU m) { return EnableMenuItem(m, 1001, MF_GRAYED); }, true,
       "Open[1001](off) More[0]>More{Deep[1005]} - Close[1002](off)"},
      {"enable by position", [](HMENU m) { return EnableMenuItem(m, 3, MF_BYPOSITION | MF_ENABLED); }, true,
       "Open[1001] More[0]>More{Deep[1005]} - Close[1002]"},
      {"check inside the submenu", [](HMENU m) { return CheckMenuItem(m, 1005, MF_CHECKED); }, true,
       "Open[1001] More[0]>More{Deep[1005]*} - Close[1002](off)"},
      {"check a missing id", [](HMENU m) { return CheckMenuItem(m, 4242, MF_CHECKED); }, false,
       "Open[1001] More[0]>More{Deep[1005]} - Close[1002](off)"},
      {"position out of range", [](HMENU m) { return EnableMenuItem(m, 4, MF_BYPOSITION); }, false,
       "Open[1001] More[0]>More{Deep[1005]} - Close[1002](off)"},
      {"delete inside the submenu", [](HMENU m) { return DeleteMenu(m, 1005, MF_BYCOMMAND); }, true,
       "Open[1001] More[0]>More{} - Close[1002](off)"},
      {"delete the submenu's item", [](HMENU m) { return DeleteMenu(m, 1, MF_BYPOSITION); }, true,
       "Open[1001] - Close[1002](off)"},
      {"delete past the end", [](HMENU m) { return DeleteMenu(m, -1, MF_BYPOSITION); }, false,
       "Open[1001] More[0]>More{Deep[1005]} - Close[1002](off)"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    HMENU m = sample();
    EXPECT_EQ(c.op(m), c.result);
    EXPECT_EQ(shape(m), c.shape);
    DestroyMenu(m);
  }
  EXPECT_FALSE(CheckMenuItem(nullptr, 1, MF_CHECKED));
  EXPECT_FALSE(EnableMenuItem(nullptr, 1, 0));

  HMENU m = sample();
  EXPECT_EQ(GetMenuItemCount(m), 4);
  EXPECT_EQ(GetMenuItemID(m, 0), 1001);
  EXPECT_EQ(GetMenuItemID(m, 1), -1);
  EXPECT_EQ(GetMenuItemID(m, 9), 0);
  EXPECT_EQ(GetSubMenu(m, 0), nullptr);
  EXPECT_EQ(shape(GetSubMenu(m, 1)), "Deep[1005]");
  EXPECT_EQ(GetSubMenu(m, 7), nullptr);
  DestroyMenu(m);
}

TEST_F(Menus, StaticListsBuildNestedMenus)
{
  const SWELL_MenuGen_Entry six[] = {
      {"A", 100}, {"/.BO^O:S&ub", 0}, {"B", 0x10000 + 101}, {"EN%%%^:", 0}, {nullptr, 0}, {"C", 102},
  };
  struct Case
  {
    const SWELL_MenuGen_Entry* list;
    int count;
    int consumed;
    std::string shape;
  };
  const Case cases[] = {
      {six, 6, 7, "A[100] Sub[0]>Sub{B[101](off)} - C[102]"},
      {six, 4, 5, "A[100] Sub[0]>Sub{B[101](off)}"},
      {six, 3, 4, "A[100] Sub[0]>Sub{B[101](off)}"},  // the submenu runs out of records
      {six + 3, 3, 1, ""},                                    // an end record alone
      {six, 0, 1, ""},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.shape);
    HMENU m = CreatePopupMenu();
    EXPECT_EQ(SWELL_GenerateMenuFromList(m, c.list, c.count), c.consumed);
    EXPECT_EQ(shape(m), c.shape);
    DestroyMenu(m);
  }
}

TEST_F(Menus, KeyEquivalents)
{
  struct Case
  {
    int code;
    unsigned flags;
    std::u16string key;
    NSUInteger mask;
  };
  const Case cases[] = {
      {'S', FCONTROL | FSHIFT | FVIRTKEY, u"S", NSCommandKeyMask},  // the capital carries the shift
      {'S', FCONTROL | FVIRTKEY, u"s", NSCommandKeyMask},
      {116, FVIRTKEY | FSHIFT, u"\xF708", NSShiftKeyMask},  // F5
      {112, FVIRTKEY, u"\xF704", 0},
      {123, FVIRTKEY | FALT, u"\xF70F", NSAlternateKeyMask},
      {'7', FSHIFT | FLWIN, u"7", NSShiftKeyMask | NSControlKeyMask},
      {'/', FCONTROL, u"/", NSCommandKeyMask},
      {'/', FVIRTKEY, u"", 0},  // a punctuation code read as a virtual key is none
      {46, FVIRTKEY, u"\x7F", 0},
      {8, FVIRTKEY, u"\x08", 0},
      {37, FVIRTKEY, u"\xF702", 0},
      {36, FVIRTKEY, u"\xF729", 0},
      {109, FVIRTKEY, u"-", 0},
      {200, FVIRTKEY, u"", 0},
  };
  HMENU m = sample();
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.code) + " " + std::to_string(c.flags));
    ASSERT_TRUE(SetMenuItemModifier(m, 1005, MF_BYCOMMAND, c.code, c.flags));
    NSMenuItem* it = SWELL_MenuOf(GetSubMenu(m, 1))->itemAtIndex(0);
    EXPECT_EQ(it->keyEquivalent(), AKUTF8(c.key));
    EXPECT_EQ(it->keyEquivalentModifierMask(), c.mask);
  }
  EXPECT_FALSE(SetMenuItemModifier(m, 77, MF_BYCOMMAND, 'A', 0));
  DestroyMenu(m);
}

TEST_F(Menus, ItemInfoRoundTrips)
{
  HMENU m = CreatePopupMenu();
  char title[] = "&Program\tCtrl+P";
  MENUITEMINFO in{};
  in.cbSize = sizeof(in);
  in.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE | MIIM_DATA;
  in.fState = MFS_CHECKED | MFS_GRAYED;
  in.wID = 77;
  in.dwItemData = (uintptr_t)0xFEEDBEEFCAFEull;
  in.dwTypeData = title;
  InsertMenuItem(m, 0, TRUE, &in);
  in.fMask = MIIM_TYPE | MIIM_ID;
  in.fType = MFT_SEPARATOR;
  in.wID = 78;
  InsertMenuItem(m, 77, FALSE, &in);  // before the item with id 77
  // A bitmap item: without an icon it keeps a placeholder; with one it shows the
  // icon's image and no title.
  in.fType = MFT_BITMAP;
  in.wID = 79;
  in.dwTypeData = nullptr;
  InsertMenuItem(m, -5, TRUE, &in);  // out of range appends
  EXPECT_EQ(shape(m), "- Program[77](off)* (no image)[79]");
  SWELL_Image* pixels = SWELL_CreateImage(16, 12);
  HGDIOBJ icon = SWELL_MakeBitmapObject(pixels);
  in.dwTypeData = (char*)icon;
  in.wID = 81;
  InsertMenuItem(m, -1, TRUE, &in);
  NSMenuItem* iconItem = SWELL_MenuOf(m)->itemWithTag(81);
  ASSERT_NE(iconItem->image(), nullptr);
  EXPECT_EQ(iconItem->image()->width(), 16);
  EXPECT_EQ(iconItem->image()->height(), 12);
  EXPECT_EQ(iconItem->title(), "");
  DeleteObject(icon);
  DeleteMenu(m, 81, MF_BYCOMMAND);
  EXPECT_EQ(sizeof(MENUITEMINFO), 72u);

  char buf[5];
  MENUITEMINFO out{};
  out.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE | MIIM_DATA | MIIM_SUBMENU;
  out.dwTypeData = buf;
  out.cch = sizeof(buf);
  out.hSubMenu = (HMENU)0x1;  // left alone when the item has none
  ASSERT_TRUE(GetMenuItemInfo(m, 77, FALSE, &out));
  EXPECT_EQ(out.wID, 77u);
  EXPECT_EQ(out.fState, MFS_CHECKED | MFS_GRAYED);
  EXPECT_EQ(out.fType, MFT_STRING);
  EXPECT_STREQ(buf, "Prog");
  EXPECT_EQ(out.dwItemData, (uintptr_t)0xFEEDBEEFCAFEull);
  EXPECT_EQ(out.hSubMenu, (HMENU)0x1);
  ASSERT_TRUE(GetMenuItemInfo(m, 0, TRUE, &out));
  EXPECT_EQ(out.fType, MFT_SEPARATOR);
  EXPECT_EQ(out.dwItemData, 0u);
  EXPECT_FALSE(GetMenuItemInfo(m, 3, TRUE, &out));

  // A submenu attached and the item retitled, enabled and renumbered.
  HMENU sub = CreatePopupMenu();
  SWELL_Menu_AddMenuItem(sub, "Inner", 5, 0);
  MENUITEMINFO set{};
  set.fMask = MIIM_SUBMENU | MIIM_TYPE | MIIM_STATE | MIIM_ID | MIIM_DATA;
  set.hSubMenu = sub;
  set.dwTypeData = const_cast<char*>("&Banks");
  set.fState = 0;
  set.wID = 80;
  set.dwItemData = 3;
  ASSERT_TRUE(SetMenuItemInfo(m, 1, TRUE, &set));
  EXPECT_EQ(shape(m), "- Banks[80]>Banks{Inner[5]} (no image)[79]");
  out.fMask = MIIM_SUBMENU | MIIM_DATA;
  ASSERT_TRUE(GetMenuItemInfo(m, 80, FALSE, &out));
  EXPECT_EQ(out.hSubMenu, sub);
  EXPECT_EQ(out.dwItemData, 3u);
  EXPECT_FALSE(SetMenuItemInfo(m, 99, FALSE, &set));
  DestroyMenu(m);  // the submenu went with it: the leak check says so
}

TEST_F(Menus, DuplicatesAndResourcesAreIndependentMenus)
{
  HMENU m = sample();
  CheckMenuItem(m, 1005, MF_CHECKED);
  SetMenuItemModifier(m, 1001, 0, 'O', FCONTROL | FVIRTKEY);
  HMENU copy = SWELL_DuplicateMenu(m);
  EXPECT_EQ(shape(copy), shape(m));
  EXPECT_EQ(SWELL_MenuOf(copy)->itemAtIndex(0)->keyEquivalent(), "o");
  DeleteMenu(m, 1, MF_BYPOSITION);
  EXPECT_EQ(shape(copy), "Open[1001] More[0]>More{Deep[1005]*} - Close[1002](off)");
  EXPECT_EQ(SWELL_DuplicateMenu(nullptr), nullptr);
  DestroyMenu(copy);
  DestroyMenu(m);

  static SWELL_MenuResourceIndex second{(const void*)(intptr_t)102, [](HMENU h) { SWELL_Menu_AddMenuItem(h, "Two", 2, 0); },
                                        nullptr};
  static SWELL_MenuResourceIndex first{(const void*)(intptr_t)101, [](HMENU h) { SWELL_Menu_AddMenuItem(h, "One", 1, 0); },
                                       &second};
  HMENU two = SWELL_LoadMenu(&first, (const void*)(intptr_t)102);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(shape(two), "Two[2]");
  DestroyMenu(two);
  EXPECT_EQ(SWELL_LoadMenu(&first, (const void*)(intptr_t)103), nullptr);
  EXPECT_EQ(AddMenuItem(nullptr, 0, "x", 1), -1);
}

// A destination that counts the commands it gets.
class Counter : public NSResponder
{
public:
  bool respondsToSelector(SEL s) const override { return s == kSwellCommand; }
  bool performAction(SEL s, NSObject* sender) override
  {
    if (s != kSwellCommand) return false;
    got.push_back((int)static_cast<NSMenuItem*>(sender)->tag());
    return true;
  }
  std::vector<int> got;
};

TEST_F(Menus, DestinationsRouteTaggedItemsAndNewOnes)
{
  HMENU m = sample();
  Counter* dest = new Counter;
  NSObject* plain = new NSObject;
  SWELL_SetMenuDestination(m, plain);  // cannot take commands: refused
  EXPECT_EQ(SWELL_MenuOf(m)->delegate(), nullptr);
  SWELL_SetMenuDestination(m, dest);
  EXPECT_EQ(SWELL_MenuOf(m)->delegate(), dest);
  EXPECT_EQ(SWELL_MenuOf(GetSubMenu(m, 1))->delegate(), dest);
  EXPECT_EQ(SWELL_MenuOf(m)->itemAtIndex(2)->target(), nullptr);  // the separator has no command
  // An item added later follows item 0.
  AddMenuItem(m, 0, "Zero", 0);
  SWELL_Menu_AddMenuItem(m, "Late", 1003, 0);
  NSMenuItem* late = SWELL_MenuOf(m)->itemAtIndex(5);
  EXPECT_EQ(late->target(), nullptr);  // item 0 (added without a destination) has none to give
  DeleteMenu(m, 0, MF_BYPOSITION);
  SWELL_Menu_AddMenuItem(m, "Later", 1004, 0);
  NSMenuItem* later = SWELL_MenuOf(m)->itemAtIndex(5);
  EXPECT_EQ(later->target(), dest);
  EXPECT_EQ(later->action(), kSwellCommand);

  NSWindow* w = makeWindow();
  script->chooseMenuItem({5});
  script->chooseMenuItem({1, 0});
  NSMenu::popUpContextMenu(SWELL_MenuOf(m), nullptr, w->contentView());
  NSMenu::popUpContextMenu(SWELL_MenuOf(m), nullptr, w->contentView());
  EXPECT_EQ(dest->got, (std::vector<int>{1004, 1005}));
  SWELL_SetMenuDestination(m, nullptr);
  EXPECT_EQ(later->target(), nullptr);
  DestroyMenu(m);
  dest->release();
  plain->release();
  w->close();
}

TEST_F(Menus, TrackPopupMenuReturnsOrSendsTheChoice)
{
  NSWindow* w = makeWindow();
  const HWND hwnd = SWELL_HWNDOfObject(w);
  struct Case
  {
    const char* what;
    int flags;
    std::vector<int> path;  // empty: dismissed
    int result;
    std::vector<UINT> messages;
  };
  const Case cases[] = {
      {"return the command", TPM_RETURNCMD, {0}, 1001, {WM_INITMENUPOPUP}},
      {"send the command", 0, {0}, 1, {WM_INITMENUPOPUP, WM_COMMAND}},
      {"from the submenu, told as it opens", TPM_RETURNCMD, {1, 0}, 1005, {WM_INITMENUPOPUP, WM_INITMENUPOPUP}},
      {"from the submenu, untold", TPM_RETURNCMD | TPM_NONOTIFY, {1, 0}, 1005, {}},
      {"dismissed", TPM_RETURNCMD, {}, 0, {WM_INITMENUPOPUP}},
      {"dismissed, no command sent", 0, {}, 0, {WM_INITMENUPOPUP}},
      {"a disabled item does nothing", 0, {3}, 0, {WM_INITMENUPOPUP}},
      {"no notification", TPM_NONOTIFY | TPM_RETURNCMD, {0}, 1001, {}},
      {"no notification, no command sent", TPM_NONOTIFY, {0}, 1, {WM_COMMAND}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    HMENU m = sample();
    sent.clear();
    if (c.path.empty()) script->cancelMenu();
    else script->chooseMenuItem(c.path);
    EXPECT_EQ(TrackPopupMenu(m, c.flags, 150, 350, 0, hwnd, nullptr), c.result);
    std::vector<UINT> kinds;
    for (const LoggedMsg& s : sent)
    {
      EXPECT_EQ(s.hwnd, hwnd);
      if (s.msg == WM_INITMENUPOPUP) {
        EXPECT_EQ(s.wParam, (WPARAM)(uintptr_t)(kinds.empty() ? m : GetSubMenu(m, 1)));
      }
      kinds.push_back(s.msg);
      if (s.msg == WM_COMMAND) { EXPECT_EQ(s.wParam, 1001u); }
    }
    EXPECT_EQ(kinds, c.messages);
    EXPECT_EQ(script->menuLocations.back().x, 150);
    EXPECT_EQ(script->menuLocations.back().y, 346);
    EXPECT_EQ(SWELL_MenuOf(m)->itemAtIndex(0)->target(), nullptr);  // the receiver is gone
    DestroyMenu(m);
  }
  EXPECT_EQ(TrackPopupMenu(nullptr, TPM_RETURNCMD, 0, 0, 0, hwnd, nullptr), 0);

  // Items the window adds while the menu opens are routed too.
  HMENU m = sample();
  onMessage = [m](const LoggedMsg& s) {
    if (s.msg == WM_INITMENUPOPUP) SWELL_Menu_AddMenuItem(m, "Added", 1099, 0);
  };
  script->chooseMenuItem({4});
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, hwnd, nullptr), 1099);
  onMessage = nullptr;
  // Without a window: over the key window's content.
  script->chooseMenuItem({0});
  EXPECT_EQ(TrackPopupMenu(m, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr), 1001);
  // For a window that is gone no menu is shown (none is scripted) and nothing is sent.
  NSWindow* gone = makeWindow();
  const HWND goneHwnd = SWELL_HWNDOfObject(gone);
  {
    NSAutoreleasePool pool;
    gone->close();
  }
  ASSERT_EQ(SWELL_ObjectOfHWND(goneHwnd), nullptr);
  w->makeKeyAndOrderFront(nullptr);  // a main window the menu could fall back on
  ASSERT_EQ(NSApp->mainWindow(), w);
  sent.clear();
  for (int flags : {0, (int)TPM_RETURNCMD}) EXPECT_EQ(TrackPopupMenu(m, flags, 0, 0, 0, goneHwnd, nullptr), 0);
  EXPECT_TRUE(sent.empty());
  DestroyMenu(m);
  w->close();
}

HMENU gWindowMenu = nullptr;
HWND gMenuWindow = nullptr;

TEST_F(Menus, SetMenuGoesThroughTheWindowAndShowsOnTheKeyWindow)
{
  NSWindow* key = makeWindow();
  NSWindow* other = new NSWindow(NSMakeRect(0, 0, 10, 10), NSTitledWindowMask, NSBackingStoreBuffered, false);
  other->setReleasedWhenClosed(true);
  HMENU m = sample();
  EXPECT_FALSE(SetMenu(SWELL_HWNDOfObject(key), m));  // no window layer yet

  SWELL_WindowHooks hooks = SWELL_GetWindowHooks();
  hooks.setMenu = [](HWND h, HMENU menu) {
    if (h == (HWND)0x99) return false;  // no window that keeps a menu
    gMenuWindow = h;
    gWindowMenu = menu;
    return true;
  };
  hooks.getMenu = [](HWND h) { return h == gMenuWindow ? gWindowMenu : nullptr; };
  SWELL_SetWindowHooks(&hooks);
  EXPECT_FALSE(SetMenu((HWND)0x99, m));
  EXPECT_FALSE(SetMenu(nullptr, m));

  EXPECT_TRUE(SetMenu(SWELL_HWNDOfObject(other), m));
  EXPECT_EQ(GetMenu(SWELL_HWNDOfObject(other)), m);
  EXPECT_EQ(SWELL_GetCurrentMenu(), nullptr);  // not the key window
  EXPECT_TRUE(sent.empty());

  EXPECT_TRUE(SetMenu(SWELL_HWNDOfObject(key->contentView()), m));  // the content view stands for the window
  EXPECT_EQ(SWELL_GetCurrentMenu(), m);
  EXPECT_EQ(sent, (std::vector<LoggedMsg>{{SWELL_HWNDOfObject(key->contentView()), WM_INITMENUPOPUP,
                                             (WPARAM)(uintptr_t)m, 0}}));
  EXPECT_TRUE(SetMenu(SWELL_HWNDOfObject(key), m));  // already shown: nothing sent again
  EXPECT_EQ(sent.size(), 1u);
  SWELL_SetCurrentMenu(nullptr);  // not a menu: ignored
  EXPECT_EQ(SWELL_GetCurrentMenu(), m);
  NSApp->setMainMenu(nullptr);
  DestroyMenu(m);
  other->close();
  key->close();
}

// A destroyed menu's handle names nothing: every call answers as for a bad handle
// (the sanitizers see no read of the freed menu), and no later menu takes it.
TEST_F(Menus, ADestroyedMenusHandleAnswersAsABadOne)
{
  HMENU m = sample(), sub = GetSubMenu(m, 1);
  DestroyMenu(m);
  HMENU fresh = CreatePopupMenu();
  MENUITEMINFO mii{sizeof(MENUITEMINFO), MIIM_SUBMENU, 0, 0, 7, sub, nullptr, nullptr, 0, nullptr, 0};
  InsertMenuItem(fresh, 0, TRUE, &mii);  // a dead submenu refuses the item
  AddMenuItem(fresh, 0, "Kept", 3);
  EXPECT_FALSE(fresh == m || fresh == sub || GetMenuItemCount(m) || GetMenuItemCount(sub) ||
               EnableMenuItem(m, 1001, MF_GRAYED) || AddMenuItem(m, 0, "x", 1) != -1 || SWELL_DuplicateMenu(m) ||
               SetMenuItemInfo(fresh, 0, TRUE, &mii) || GetMenuItemCount(fresh) != 1);
  DestroyMenu(m);
  DestroyMenu(fresh);
}

}  // namespace
