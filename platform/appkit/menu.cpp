#include "platform/appkit/NSMenu.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWindow.h"

#include <algorithm>

NSMenuItem::NSMenuItem(const std::string& title, SEL action, const std::string& keyEquivalent)
  : mTitle(title), mKeyEquivalent(keyEquivalent), mAction(action)
{
}

NSMenuItem::~NSMenuItem()
{
  AKRelease(mRepresented);
  AKRelease(mImage);
  if (mSubmenu) mSubmenu->mSupermenu = nullptr;
  AKRelease(mSubmenu);
}

NSMenuItem* NSMenuItem::separatorItem()
{
  NSMenuItem* item = new NSMenuItem("", SEL(), "");
  item->mSeparator = true;
  item->mEnabled = false;
  item->autorelease();
  return item;
}

void NSMenuItem::setImage(NSImage* image) { AKAssign(mImage, image); }

void NSMenuItem::setSubmenu(NSMenu* submenu)
{
  if (submenu == mSubmenu) return;
  if (mSubmenu) mSubmenu->mSupermenu = nullptr;
  AKAssign(mSubmenu, submenu);
  if (mSubmenu) mSubmenu->mSupermenu = mMenu;
}

NSMenu::NSMenu(const std::string& title) : mTitle(title) {}

NSMenu::~NSMenu() { removeAllItems(); }

NSMenuItem* NSMenu::addItemWithTitle(const std::string& title, SEL action, const std::string& keyEquivalent)
{
  NSMenuItem* item = new NSMenuItem(title, action, keyEquivalent);
  addItem(item);
  item->release();
  return item;
}

void NSMenu::addItem(NSMenuItem* item)
{
  if (!item || item->mMenu) return;
  item->retain();
  item->mMenu = this;
  if (item->mSubmenu) item->mSubmenu->mSupermenu = this;
  mItems.push_back(item);
}

void NSMenu::insertItem(NSMenuItem* item, NSInteger index)
{
  if (!item || item->mMenu) return;
  if (index < 0 || index > (NSInteger)mItems.size()) index = (NSInteger)mItems.size();
  item->retain();
  item->mMenu = this;
  if (item->mSubmenu) item->mSubmenu->mSupermenu = this;
  mItems.insert(mItems.begin() + index, item);
}

NSMenuItem* NSMenu::insertItemWithTitle(const std::string& title, SEL action, const std::string& keyEquivalent,
                                        NSInteger index)
{
  NSMenuItem* item = new NSMenuItem(title, action, keyEquivalent);
  insertItem(item, index < 0 ? 0 : index);
  item->release();
  return item;
}

void NSMenu::removeItemAtIndex(NSInteger index) { removeItem(itemAtIndex(index)); }

void NSMenu::removeItem(NSMenuItem* item)
{
  auto it = std::find(mItems.begin(), mItems.end(), item);
  if (it == mItems.end()) return;
  mItems.erase(it);
  item->mMenu = nullptr;
  item->release();
}

NSInteger NSMenu::indexOfItemWithTag(NSInteger tag) const
{
  for (size_t i = 0; i < mItems.size(); ++i)
    if (mItems[i]->tag() == tag) return (NSInteger)i;
  return -1;
}

NSMenuItem* NSMenu::itemWithTag(NSInteger tag) const { return itemAtIndex(indexOfItemWithTag(tag)); }

NSMenu* NSMenu::copy() const
{
  NSMenu* m = new NSMenu(mTitle);
  m->mAutoenables = mAutoenables;
  for (const NSMenuItem* it : mItems)
  {
    NSMenuItem* c = new NSMenuItem(it->mTitle, it->mAction, it->mKeyEquivalent);
    c->mSeparator = it->mSeparator;
    c->mTarget = it->mTarget;
    c->mKeyMask = it->mKeyMask;
    c->mIndentation = it->mIndentation;
    c->mState = it->mState;
    c->mTag = it->mTag;
    c->mEnabled = it->mEnabled;
    c->setRepresentedObject(it->mRepresented);
    c->setImage(it->mImage);
    if (it->mSubmenu)
    {
      NSMenu* sub = it->mSubmenu->copy();
      c->setSubmenu(sub);
      sub->release();
    }
    m->addItem(c);
    c->release();
  }
  return m;
}

void NSMenu::removeAllItems()
{
  for (NSMenuItem* item : mItems)
  {
    item->mMenu = nullptr;
    item->release();
  }
  mItems.clear();
}

void NSMenu::setSubmenu(NSMenu* menu, NSMenuItem* item)
{
  if (item) item->setSubmenu(menu);
}

NSInteger NSMenu::indexOfItem(NSMenuItem* item) const
{
  auto it = std::find(mItems.begin(), mItems.end(), item);
  return it == mItems.end() ? -1 : (NSInteger)(it - mItems.begin());
}

NSMenuItem* NSMenu::itemAtIndex(NSInteger index) const
{
  return index >= 0 && index < (NSInteger)mItems.size() ? mItems[(size_t)index] : nullptr;
}

void NSMenu::submenuWillOpen(NSMenu* menu)
{
  if (!menu) return;
  if (NSMenuDelegate* d = dynamic_cast<NSMenuDelegate*>(menu->delegate())) d->menuNeedsUpdate(menu);
}

void NSMenu::popUpContextMenu(NSMenu* menu, NSEvent* event, NSView* view)
{
  if (!menu) return;
  NSApplication* app = NSApplication::sharedApplication();
  menu->retain();
  if (view) view->retain();
  NSWindow* w = event ? event->window() : nullptr;
  if (!w && view) w = view->window();
  const NSPoint base = event ? event->locationInWindow() : NSMakePoint(0, 0);
  const NSPoint screen = w ? w->convertBaseToScreen(base) : base;
  NSMenuItem* chosen = AKRetain(app->modalAnswers()->menuChoice(menu, screen, view));
  // Only an enabled item of this menu tree with an action is performed.
  if (chosen && chosen->isEnabled() && !chosen->isSeparatorItem() && chosen->action())
  {
    if (NSResponder* target = dynamic_cast<NSResponder*>(chosen->target()))
      target->tryToPerform(chosen->action(), chosen);
    else if (view)
      view->tryToPerform(chosen->action(), chosen);
  }
  AKRelease(chosen);
  if (view) view->release();
  menu->release();
}

namespace {

char16_t lowerOf(char16_t c) { return c >= u'A' && c <= u'Z' ? (char16_t)(c - u'A' + u'a') : c; }

bool isKeyEquivalent(const NSMenuItem* item, NSEvent* e)
{
  const std::u16string key = AKUTF16(item->keyEquivalent());
  const std::u16string& typed = e->charactersIgnoringModifiers();
  if (key.size() != 1 || typed.size() != 1) return false;
  const NSUInteger kinds = NSShiftKeyMask | NSControlKeyMask | NSAlternateKeyMask | NSCommandKeyMask;
  NSUInteger want = item->keyEquivalentModifierMask() & kinds;
  // A capital letter carries the Shift key in itself.
  if (key[0] >= u'A' && key[0] <= u'Z') want |= NSShiftKeyMask;
  return want == (e->modifierFlags() & kinds) && lowerOf(key[0]) == lowerOf(typed[0]);
}

}  // namespace

bool NSMenu::performKeyEquivalent(NSEvent* e)
{
  if (!e || e->type() != NSKeyDown) return false;
  // The items may change while the action runs.
  const std::vector<NSMenuItem*> items(mItems);
  for (NSMenuItem* it : items)
  {
    if (it->hasSubmenu())
    {
      if (it->submenu()->performKeyEquivalent(e)) return true;
      continue;
    }
    if (it->isSeparatorItem() || !it->isEnabled() || !it->action() || !isKeyEquivalent(it, e)) continue;
    it->retain();
    bool done = false;
    if (NSResponder* target = dynamic_cast<NSResponder*>(it->target())) done = target->tryToPerform(it->action(), it);
    else if (NSWindow* w = NSApplication::exists() ? NSApp->keyWindow() : nullptr)
    {
      NSResponder* r = w->firstResponder() ? w->firstResponder() : w->contentView();
      done = r && r->tryToPerform(it->action(), it);
    }
    it->release();
    if (done) return true;
  }
  return false;
}
