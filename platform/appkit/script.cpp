#include "platform/appkit/ModalScript.h"

#include "platform/appkit/NSRunLoop.h"

#include <cstdio>
#include <cstdlib>

NSModalScript::NSModalScript()
{
  NSApplication* app = NSApplication::sharedApplication();
  mPrevious = app->scriptedAnswers();
  app->setModalAnswers(this);
}

NSModalScript::~NSModalScript()
{
  if (NSApplication::exists() && NSApp->modalAnswers() == this) NSApp->setModalAnswers(mPrevious);
}

void NSModalScript::unscripted(const std::string& what)
{
  if (onUnscripted)
  {
    onUnscripted(what);
    return;
  }
  fprintf(stderr, "appkit: %s with no scripted answer\n", what.c_str());
  abort();
}

std::vector<NSModalScript::ShownItem> NSModalScript::describe(NSMenu* menu)
{
  std::vector<ShownItem> items;
  if (!menu) return items;
  for (NSMenuItem* it : menu->itemArray())
  {
    ShownItem s;
    s.title = it->title();
    s.separator = it->isSeparatorItem();
    s.enabled = it->isEnabled();
    s.state = it->state();
    s.hasImage = it->image() != nullptr;
    s.indentation = it->indentationLevel();
    s.hasSubmenu = it->hasSubmenu();
    if (s.hasSubmenu) s.submenu = describe(it->submenu());
    items.push_back(s);
  }
  return items;
}

void NSModalScript::chooseMenuItem(std::vector<int> path)
{
  mMenus.push_back([path](NSMenu* menu) -> NSMenuItem* {
    NSMenuItem* item = nullptr;
    for (int index : path)
    {
      if (!menu) return nullptr;
      if (item) NSMenu::submenuWillOpen(menu);  // as a person opening it would
      item = menu->itemAtIndex(index);
      if (!item) return nullptr;
      menu = item->submenu();
    }
    return item;
  });
}

void NSModalScript::cancelMenu()
{
  mMenus.push_back([](NSMenu*) -> NSMenuItem* { return nullptr; });
}

void NSModalScript::answerMenu(std::function<NSMenuItem*(NSMenu*)> answer) { mMenus.push_back(std::move(answer)); }

void NSModalScript::answerPanel(const std::string& path)
{
  mPanels.emplace_back(true, std::vector<std::string>{path});
}

void NSModalScript::answerPanelWithPaths(const std::vector<std::string>& paths) { mPanels.emplace_back(true, paths); }

void NSModalScript::cancelPanel() { mPanels.emplace_back(false, std::vector<std::string>()); }

void NSModalScript::pressAlertButton(int index) { mAlerts.push_back(index); }

NSMenuItem* NSModalScript::menuChoice(NSMenu* menu, NSPoint location, NSView*)
{
  menusShown.push_back(describe(menu));
  menuLocations.push_back(location);
  if (mMenus.empty())
  {
    unscripted("a menu");
    return nullptr;
  }
  auto answer = std::move(mMenus.front());
  mMenus.pop_front();
  // The answer runs while the menu tracks: it may turn the loop in the tracking mode.
  return answer(menu);
}

NSInteger NSModalScript::panelAnswer(NSSavePanel* panel, std::string* path)
{
  std::vector<std::string> paths;
  const NSInteger answer = panelAnswers(panel, &paths);
  if (answer == NSOKButton && path) *path = paths.empty() ? std::string() : paths.front();
  return answer;
}

NSInteger NSModalScript::panelAnswers(NSSavePanel* panel, std::vector<std::string>* paths)
{
  ShownPanel shown;
  shown.open = panel->isOpenPanel();
  shown.directory = panel->directory();
  shown.file = panel->suggestedFile();
  shown.types = panel->allowedFileTypes();
  shown.allowsOther = panel->allowsOtherFileTypes();
  shown.title = panel->title();
  shown.hasAccessory = panel->accessoryView() != nullptr;
  if (const NSOpenPanel* open = dynamic_cast<const NSOpenPanel*>(panel))
  {
    shown.canChooseFiles = open->canChooseFiles();
    shown.canChooseDirectories = open->canChooseDirectories();
    shown.allowsMultiple = open->allowsMultipleSelection();
    shown.canCreateDirectories = open->canCreateDirectories();
  }
  panelsShown.push_back(shown);
  if (mPanels.empty())
  {
    unscripted("a file panel");
    return NSCancelButton;
  }
  const auto answer = mPanels.front();
  mPanels.pop_front();
  if (!answer.first) return NSCancelButton;
  if (paths) *paths = answer.second;
  return NSOKButton;
}

NSInteger NSModalScript::alertAnswer(NSAlert* alert)
{
  alertsShown.push_back(ShownAlert{alert->messageText(), alert->informativeText(), alert->buttonTitles()});
  if (mAlerts.empty())
  {
    unscripted("an alert");
    return NSAlertFirstButtonReturn;
  }
  const int index = mAlerts.front();
  mAlerts.pop_front();
  return NSAlertFirstButtonReturn + index;
}

void NSModalScript::pressKey(unsigned short keyCode, const std::u16string& characters, NSUInteger modifiers)
{
  NSApplication* app = NSApplication::sharedApplication();
  NSEvent* e = NSEvent::keyEventWithType(NSKeyDown, modifiers, app->keyWindow(), characters, characters, keyCode);
  app->postEvent(e, false);
}

void NSModalScript::type(const std::string& text)
{
  for (char16_t c : AKUTF16(text))
  {
    switch (c)
    {
      case u'\n': pressKey(kVK_Return, u"\r"); break;
      case u'\t': pressKey(kVK_Tab, u"\t"); break;
      case u'\b': pressKey(kVK_Delete, std::u16string(1, (char16_t)0x7F)); break;
      case 0x1B: pressKey(kVK_Escape, std::u16string(1, (char16_t)0x1B)); break;
      default:
        pressKey(AKKeyCodeForCharacter(c), std::u16string(1, c), (c >= u'A' && c <= u'Z') ? (NSUInteger)NSShiftKeyMask : (NSUInteger)0);
        break;
    }
  }
}
