// The menu and shell functions reach this layer's windows: the hooks are in place
// once a window view exists.

#include "platform/appkit/ModalScript.h"
#include "winsys/shell/menus.h"
#include "winsys/wnd/toplevel.h"
#include "wnd_test_util.h"

namespace {

class WindowHooks : public WndTest
{
protected:
  void SetUp() override
  {
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    WndTest::SetUp();
    script = std::make_unique<NSModalScript>();
    script->onUnscripted = [](const std::string& what) { ADD_FAILURE() << what << " was not scripted"; };
  }
  void TearDown() override
  {
    EXPECT_EQ(script->pending(), 0u) << "answers left unused";
    script.reset();
    NSApp->setMainMenu(nullptr);
    WndTest::TearDown();
  }
  std::unique_ptr<NSModalScript> script;
};

TEST_F(WindowHooks, TrackedPopupSendsTheChosenCommandToTheWindowProcedure)
{
  NSWindow* w = nullptr;
  const HWND h = Window(NSMakeRect(100, 200, 300, 200), 0, &w);
  w->makeKeyAndOrderFront(nullptr);
  HMENU m = CreatePopupMenu();
  SWELL_Menu_AddMenuItem(m, "One", 1001, 0);
  SWELL_Menu_AddMenuItem(m, "Two", 1002, 0);
  struct Case
  {
    const char* what;
    int flags;
    int item;  // -1: dismissed
    int result;
    std::vector<LoggedMsg> commands;
  };
  const Case cases[] = {
      {"sent to the owner", 0, 1, 1, {{h, WM_COMMAND, 1002, 0}}},
      {"the first item", 0, 0, 1, {{h, WM_COMMAND, 1001, 0}}},
      {"returned, not sent", TPM_RETURNCMD, 1, 1002, {}},
      {"dismissed, nothing sent", 0, -1, 0, {}},
      {"no notification still sends the command", TPM_NONOTIFY, 0, 1, {{h, WM_COMMAND, 1001, 0}}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    log.msgs.clear();
    if (c.item < 0) script->cancelMenu();
    else script->chooseMenuItem({c.item});
    EXPECT_EQ(TrackPopupMenu(m, c.flags, 150, 350, 0, h, nullptr), c.result);
    EXPECT_EQ(log.only(WM_COMMAND), c.commands);
    // The procedure is told the menu opens unless asked not to.
    EXPECT_EQ(log.only(WM_INITMENUPOPUP).size(), (c.flags & TPM_NONOTIFY) ? 0u : 1u);
  }
  DestroyMenu(m);
}

TEST_F(WindowHooks, MenusOfWindowsAndTheModalMenuComeFromTheLayer)
{
  NSWindow* w = nullptr;
  const HWND content = Window(NSMakeRect(0, 0, 100, 100), 0, &w);
  const HWND child = Child(content, NSMakeRect(0, 0, 10, 10));
  const HWND window = SWELL_HWND(w);
  HMENU a = CreatePopupMenu();
  HMENU b = CreatePopupMenu();

  EXPECT_EQ(GetMenu(content), nullptr);
  EXPECT_TRUE(SetMenu(content, a));
  EXPECT_EQ(GetMenu(content), a);
  EXPECT_EQ(GetMenu(window), a);  // the window stands for its content view
  EXPECT_EQ(GetMenu(child), nullptr);
  EXPECT_TRUE(SetMenu(window, b));
  EXPECT_EQ(GetMenu(content), b);
  EXPECT_TRUE(SetMenu(child, a));
  EXPECT_EQ(GetMenu(child), a);
  // A plain view keeps no menu.
  NSView* plain = new NSView(NSMakeRect(0, 0, 5, 5));
  EXPECT_FALSE(SetMenu(SWELL_HWND(plain), a));
  EXPECT_EQ(GetMenu(SWELL_HWND(plain)), nullptr);
  plain->release();
  // The windows hold their own references: the menus outlive being replaced and
  // given up by their creator.
  EXPECT_TRUE(SetMenu(content, nullptr));
  EXPECT_EQ(GetMenu(window), nullptr);
  DestroyMenu(b);
  DestroyMenu(a);
  EXPECT_EQ(GetMenuItemCount(GetMenu(child)), 0);

  HMENU modal = CreatePopupMenu();
  SWELL_SetDefaultModalWindowMenu(modal);
  const SWELL_WindowHooks& hooks = SWELL_GetWindowHooks();
  ASSERT_NE(hooks.defaultModalWindowMenu, nullptr);
  EXPECT_EQ(hooks.defaultModalWindowMenu(), modal);
  SWELL_SetDefaultModalWindowMenu(nullptr);
  EXPECT_EQ(hooks.defaultModalWindowMenu(), nullptr);
  DestroyMenu(modal);

  // Focus as the layer sees it.
  w->makeKeyAndOrderFront(nullptr);
  SetFocus(child);
  EXPECT_EQ(SWELL_HookGetFocus(), GetFocus());
  EXPECT_EQ(SWELL_HookGetFocus(), child);
}

}  // namespace
