#pragma once
// A test's script of modal answers and typing. Installed as the application's
// answer source for its lifetime; each modal interaction takes the next answer of
// its kind. An interaction with no answer left calls onUnscripted (by default the
// process aborts with a message) and is then dismissed, so a test fails instead
// of waiting for a person.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSMenu.h"
#include "platform/appkit/NSPanel.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

class NSModalScript : public NSModalAnswers
{
public:
  NSModalScript();
  ~NSModalScript() override;
  NSModalScript(const NSModalScript&) = delete;
  NSModalScript& operator=(const NSModalScript&) = delete;

  // ---- menus ----
  // The item at the index path: the top menu's index, then one index per submenu.
  void chooseMenuItem(std::vector<int> path);
  void cancelMenu();
  // Any answer: the function gets the menu and returns the chosen item or null. It
  // runs while the menu is tracking (the run loop is in the event-tracking mode).
  void answerMenu(std::function<NSMenuItem*(NSMenu*)> answer);

  // ---- panels and alerts ----
  void answerPanel(const std::string& path);
  // Several paths chosen at once (an open panel that allows it keeps them all).
  void answerPanelWithPaths(const std::vector<std::string>& paths);
  void cancelPanel();
  void pressAlertButton(int index);

  // ---- typing ----
  // Posts key events for the UTF-8 text to the key window: "\n" is Return, "\t"
  // Tab, "\b" Delete (backspace), "\x1b" Escape. Run the loop to deliver them.
  static void type(const std::string& text);
  static void pressKey(unsigned short keyCode, const std::u16string& characters, NSUInteger modifiers = 0);

  // ---- what was shown ----
  struct ShownItem
  {
    std::string title;
    bool separator = false, enabled = true;
    NSInteger state = 0, indentation = 0;
    bool hasSubmenu = false, hasImage = false;
    std::vector<ShownItem> submenu;
  };
  struct ShownPanel
  {
    bool open = false;
    std::string directory, file;
    std::vector<std::string> types;
    bool allowsOther = true, canChooseFiles = true, canChooseDirectories = false;
    std::string title;
    bool allowsMultiple = false, canCreateDirectories = false, hasAccessory = false;
  };
  struct ShownAlert
  {
    std::string message, informative;
    std::vector<std::string> buttons;
  };
  std::vector<std::vector<ShownItem>> menusShown;
  std::vector<NSPoint> menuLocations;
  std::vector<ShownPanel> panelsShown;
  std::vector<ShownAlert> alertsShown;
  // Answers not yet used.
  size_t pending() const { return mMenus.size() + mPanels.size() + mAlerts.size(); }

  std::function<void(const std::string& what)> onUnscripted;

  NSMenuItem* menuChoice(NSMenu* menu, NSPoint location, NSView* view) override;
  NSInteger panelAnswer(NSSavePanel* panel, std::string* path) override;
  NSInteger panelAnswers(NSSavePanel* panel, std::vector<std::string>* paths) override;
  NSInteger alertAnswer(NSAlert* alert) override;

  static std::vector<ShownItem> describe(NSMenu* menu);

private:
  void unscripted(const std::string& what);

  std::deque<std::function<NSMenuItem*(NSMenu*)>> mMenus;
  std::deque<std::pair<bool, std::vector<std::string>>> mPanels;
  std::deque<int> mAlerts;
  NSModalAnswers* mPrevious;
};
