#pragma once
// Menus: items with a title, an action, a state, indentation and an optional
// submenu, shown as a context menu. Showing asks the application's modal answer
// source (the presenter, or a test's script) which item was chosen; the chosen
// item's action then goes to its target, or up the responder chain from the view.

#include "platform/appkit/NSView.h"

#include <vector>

class NSEvent;
class NSMenu;
class NSImage;

enum : NSInteger
{
  NSMixedState = -1,
  NSOffState = 0,
  NSOnState = 1
};

// What a menu's delegate is told.
class NSMenuDelegate
{
public:
  virtual ~NSMenuDelegate() = default;
  // Before the menu opens as a submenu; it may change the menu's items.
  virtual void menuNeedsUpdate(NSMenu*) {}
};

class NSMenuItem : public NSObject
{
public:
  NSMenuItem(const std::string& title, SEL action, const std::string& keyEquivalent);
  // A separator line, autoreleased.
  static NSMenuItem* separatorItem();

  const std::string& title() const { return mTitle; }
  void setTitle(const std::string& title) { mTitle = title; }
  SEL action() const { return mAction; }
  void setAction(SEL action) { mAction = action; }
  NSObject* target() const { return mTarget; }
  void setTarget(NSObject* target) { mTarget = target; }  // not retained
  const std::string& keyEquivalent() const { return mKeyEquivalent; }
  void setKeyEquivalent(const std::string& key) { mKeyEquivalent = key; }
  // NSShiftKeyMask, NSControlKeyMask, NSAlternateKeyMask, NSCommandKeyMask.
  NSUInteger keyEquivalentModifierMask() const { return mKeyMask; }
  void setKeyEquivalentModifierMask(NSUInteger mask) { mKeyMask = mask; }
  // Any object the item carries for its owner (retained).
  NSObject* representedObject() const { return mRepresented; }
  void setRepresentedObject(NSObject* o) { AKAssign(mRepresented, o); }
  bool isSeparatorItem() const { return mSeparator; }
  NSInteger indentationLevel() const { return mIndentation; }
  void setIndentationLevel(NSInteger level) { mIndentation = level < 0 ? 0 : (level > 15 ? 15 : level); }
  NSInteger state() const { return mState; }
  void setState(NSInteger state) { mState = state; }
  bool isEnabled() const { return mEnabled; }
  void setEnabled(bool on) { mEnabled = on; }
  NSInteger tag() const { return mTag; }
  void setTag(NSInteger tag) { mTag = tag; }
  bool hasSubmenu() const { return mSubmenu != nullptr; }
  NSMenu* submenu() const { return mSubmenu; }
  void setSubmenu(NSMenu* submenu);  // retained
  // Shown before the title; retained, null for none.
  NSImage* image() const { return mImage; }
  void setImage(NSImage* image);
  // The menu the item is in.
  NSMenu* menu() const { return mMenu; }

protected:
  ~NSMenuItem() override;

private:
  friend class NSMenu;
  std::string mTitle, mKeyEquivalent;
  SEL mAction;
  NSObject* mTarget = nullptr;
  NSObject* mRepresented = nullptr;
  NSUInteger mKeyMask = 1u << 20;  // the platform's default: Command
  NSMenu* mMenu = nullptr;
  NSMenu* mSubmenu = nullptr;
  NSImage* mImage = nullptr;
  NSInteger mIndentation = 0, mState = NSOffState, mTag = 0;
  bool mEnabled = true, mSeparator = false;
};

class NSMenu : public NSObject
{
public:
  explicit NSMenu(const std::string& title = "");

  const std::string& title() const { return mTitle; }
  void setTitle(const std::string& title) { mTitle = title; }
  // Told before the menu opens (not retained).
  NSObject* delegate() const { return mDelegate; }
  void setDelegate(NSObject* d) { mDelegate = d; }
  // A new menu with copies of the items and, deeply, of their submenus (the
  // platform's copy): titles, tags, states, actions, targets, key equivalents and
  // represented objects; the delegate is not copied.
  NSMenu* copy() const;
  void setAutoenablesItems(bool on) { mAutoenables = on; }
  bool autoenablesItems() const { return mAutoenables; }

  // The new item, which the menu holds.
  NSMenuItem* addItemWithTitle(const std::string& title, SEL action, const std::string& keyEquivalent);
  void addItem(NSMenuItem* item);  // retained
  void insertItem(NSMenuItem* item, NSInteger index);  // retained; out of range appends
  void removeItem(NSMenuItem* item);
  NSInteger indexOfItemWithTag(NSInteger tag) const;  // -1 when none
  NSMenuItem* itemWithTag(NSInteger tag) const;
  void removeAllItems();
  // At the end when index is past it, at the start when it is negative.
  NSMenuItem* insertItemWithTitle(const std::string& title, SEL action, const std::string& keyEquivalent,
                                  NSInteger index);
  // Nothing for an index outside the menu.
  void removeItemAtIndex(NSInteger index);
  // The item's submenu becomes the menu (retained).
  void setSubmenu(NSMenu* menu, NSMenuItem* item);
  NSInteger indexOfItem(NSMenuItem* item) const;  // -1 when not in the menu
  NSInteger numberOfItems() const { return (NSInteger)mItems.size(); }
  NSMenuItem* itemAtIndex(NSInteger index) const;
  const std::vector<NSMenuItem*>& itemArray() const { return mItems; }
  NSMenu* supermenu() const { return mSupermenu; }

  // Shows the menu at the event's location in its window and returns when it
  // closes; the chosen item's action is sent (to its target, else to the view and
  // up its responder chain). The run loop runs in the event-tracking mode meanwhile.
  static void popUpContextMenu(NSMenu* menu, NSEvent* event, NSView* view);
  // A key press that is an enabled item's key equivalent (in this menu or its
  // submenus) sends that item's action, to its target or else up the key
  // window's responder chain; false when no item takes the key.
  bool performKeyEquivalent(NSEvent* event);
  // Internal to the kit: the menu is about to open as a submenu; its delegate,
  // when it is an NSMenuDelegate, may update it.
  static void submenuWillOpen(NSMenu* menu);

protected:
  ~NSMenu() override;

private:
  friend class NSMenuItem;
  std::string mTitle;
  std::vector<NSMenuItem*> mItems;  // retained
  NSMenu* mSupermenu = nullptr;
  NSObject* mDelegate = nullptr;
  bool mAutoenables = true;
};
