#pragma once
// A headless application for the layer's dialog, menu and clipboard tests, and
// window hooks that record what the layer sends.

#include "platform/appkit/ModalScript.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/Presenter.h"
#include "winsys/shell/window_hooks.h"

#include <gtest/gtest.h>

#include "LoggedMsg.h"

#include <vector>

// Every test gets a headless application, a fresh script and hooks that record.
class ShellTest : public ::testing::Test
{
protected:
  static inline std::vector<LoggedMsg>* sSent = nullptr;
  static inline std::function<void(const LoggedMsg&)>* sOnMessage = nullptr;

  void SetUp() override
  {
    if (!NSApplication::exists()) NSApplication::setPresenter(AKMakeHeadlessPresenter());
    NSApplication::sharedApplication();
    script = std::make_unique<NSModalScript>();
    script->onUnscripted = [](const std::string& what) { ADD_FAILURE() << what << " was not scripted"; };
    sent.clear();
    sSent = &sent;
    onMessage = nullptr;
    sOnMessage = &onMessage;
    SWELL_WindowHooks hooks;
    hooks.sendMessage = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
      const LoggedMsg s{h, m, w, l};
      sSent->push_back(s);
      if (*sOnMessage) (*sOnMessage)(s);
      return 0;
    };
    SWELL_SetWindowHooks(&hooks);
  }

  void TearDown() override
  {
    SWELL_SetWindowHooks(nullptr);
    EXPECT_EQ(script->pending(), 0u) << "answers left unused";
    script.reset();
    NSApp->setMainMenu(nullptr);
  }

  // A shown window for menus to open over.
  NSWindow* makeWindow()
  {
    NSWindow* w = new NSWindow(NSMakeRect(100, 200, 300, 200), NSTitledWindowMask, NSBackingStoreBuffered, false);
    w->setReleasedWhenClosed(true);
    w->makeKeyAndOrderFront(nullptr);
    return w;
  }

  std::unique_ptr<NSModalScript> script;
  std::vector<LoggedMsg> sent;
  std::function<void(const LoggedMsg&)> onMessage;
};
