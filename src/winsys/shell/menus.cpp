#include "winsys/shell/menus.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSImage.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_image.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/wnd_views.h"

#include <cstring>
#include <vector>

const SEL kSwellCommand("onSwellCommand:");

SWELL_MenuResourceIndex* SWELL_curmodule_menuresource_head = nullptr;

NSMenu* SWELL_MenuOf(HMENU m) { return dynamic_cast<NSMenu*>(SWELL_ObjectOfHandle(reinterpret_cast<HWND>(m))); }

HMENU SWELL_HMENUOf(NSMenu* m) { return reinterpret_cast<HMENU>(SWELL_HandleOfObject(m)); }

namespace {

NSMenuItem* findByTag(NSMenu* menu, int tag)
{
  if (NSMenuItem* it = menu->itemWithTag(tag)) return it;
  for (NSMenuItem* it : menu->itemArray())
    if (it->hasSubmenu())
      if (NSMenuItem* found = findByTag(it->submenu(), tag)) return found;
  return nullptr;
}

// The item by position (byPos) or by command id, searching submenus for an id.
NSMenuItem* findItem(HMENU m, int item, bool byPos)
{
  NSMenu* menu = SWELL_MenuOf(m);
  if (!menu) return nullptr;
  return byPos ? menu->itemAtIndex(item) : findByTag(menu, item);
}

NSMenuItem* newItem(const std::string& title)
{
  NSMenuItem* it = new NSMenuItem(title, SEL(), "");
  return it;
}

}  // namespace

std::string SWELL_CleanMenuText(const char* text)
{
  std::string out;
  if (!text) return out;
  for (const char* p = text; *p && *p != '\t' && out.size() < 1023; ++p)
  {
    if (*p == '&')
    {
      ++p;
      if (!*p) break;
    }
    out.push_back(*p);
  }
  return out;
}

// ---- the receiver of TrackPopupMenu ----

bool Swell_vDavrel_64_trackpopupmenurecv::respondsToSelector(SEL action) const { return action == kSwellCommand; }

bool Swell_vDavrel_64_trackpopupmenurecv::performAction(SEL action, NSObject* sender)
{
  if (action != kSwellCommand) return false;
  if (NSMenuItem* item = dynamic_cast<NSMenuItem*>(sender))
    if (item->tag()) m_act = (int)item->tag();
  return true;
}

void Swell_vDavrel_64_trackpopupmenurecv::menuNeedsUpdate(NSMenu* menu)
{
  if (!cbwnd || !menu) return;
  SWELL_HookSendMessage(cbwnd, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)SWELL_HMENUOf(menu), 0);
  SWELL_SetMenuDestination(SWELL_HMENUOf(menu), this);
}

// ---- creation ----

HMENU CreatePopupMenu() { return SWELL_HMENUOf(new Swell_vDavrel_64_menu); }

HMENU CreatePopupMenuEx(const char* title)
{
  if (!title) return CreatePopupMenu();
  return SWELL_HMENUOf(new Swell_vDavrel_64_menu(SWELL_CleanMenuText(title)));
}

void DestroyMenu(HMENU m)
{
  NSMenu* menu = SWELL_MenuOf(m);
  if (!menu) return;
  SWELL_SetMenuDestination(m, nullptr);
  menu->release();
}

HMENU SWELL_DuplicateMenu(HMENU m)
{
  NSMenu* menu = SWELL_MenuOf(m);
  return menu ? SWELL_HMENUOf(menu->copy()) : nullptr;
}

int GetMenuItemCount(HMENU m)
{
  NSMenu* menu = SWELL_MenuOf(m);
  return menu ? (int)menu->numberOfItems() : 0;
}

HMENU GetSubMenu(HMENU m, int pos)
{
  NSMenuItem* it = findItem(m, pos, true);
  return it && it->hasSubmenu() ? SWELL_HMENUOf(it->submenu()) : nullptr;
}

int GetMenuItemID(HMENU m, int pos)
{
  NSMenuItem* it = findItem(m, pos, true);
  if (!it) return 0;
  return it->hasSubmenu() ? -1 : (int)it->tag();
}

// ---- item state ----

bool SetMenuItemText(HMENU m, int item, int flag, const char* text)
{
  NSMenuItem* it = findItem(m, item, flag & MF_BYPOSITION);
  if (!it) return false;
  const std::string title = SWELL_CleanMenuText(text);
  it->setTitle(title);
  if (it->hasSubmenu()) it->submenu()->setTitle(title);
  return true;
}

bool EnableMenuItem(HMENU m, int item, int flag)
{
  NSMenuItem* it = findItem(m, item, flag & MF_BYPOSITION);
  if (!it) return false;
  it->setEnabled(!(flag & MF_GRAYED));
  return true;
}

bool CheckMenuItem(HMENU m, int item, int flag)
{
  NSMenuItem* it = findItem(m, item, flag & MF_BYPOSITION);
  if (!it) return false;
  it->setState((flag & MF_CHECKED) ? NSOnState : NSOffState);
  return true;
}

bool SetMenuItemModifier(HMENU m, int item, int flag, int code, unsigned int flags)
{
  NSMenuItem* it = findItem(m, item, flag & MF_BYPOSITION);
  if (!it) return false;
  const bool letter = code >= 'A' && code <= 'Z';
  char16_t key = 0;
  if (letter || (code >= '0' && code <= '9') ||
      (!(flags & FVIRTKEY) && code > 0 && code < 128 && strchr("!\"',./?[\\]|", code)))
  {
    key = (char16_t)(code & 0x7F);
    if (!(flags & FSHIFT) && key >= 'A' && key <= 'Z') key = (char16_t)(key + ('a' - 'A'));
  }
  else
  {
    static const struct
    {
      int code;
      char16_t key;
    } keys[] = {{8, 8},
                {33, NSPageUpFunctionKey},
                {34, NSPageDownFunctionKey},
                {35, NSEndFunctionKey},
                {36, NSHomeFunctionKey},
                {37, NSLeftArrowFunctionKey},
                {38, NSUpArrowFunctionKey},
                {39, NSRightArrowFunctionKey},
                {40, NSDownArrowFunctionKey},
                {45, 0xF727},  // insert
                {46, 127},
                {109, '-'}};
    if (code >= 112 && code <= 123) key = (char16_t)(NSF1FunctionKey + (code - 112));
    for (const auto& k : keys)
      if (k.code == code) key = k.key;
  }
  NSUInteger mask = 0;
  if (flags & FALT) mask |= NSAlternateKeyMask;
  if ((flags & FSHIFT) && !letter) mask |= NSShiftKeyMask;
  if (flags & FLWIN) mask |= NSControlKeyMask;
  if (flags & FCONTROL) mask |= NSCommandKeyMask;
  it->setKeyEquivalentModifierMask(mask);
  it->setKeyEquivalent(key ? AKUTF8(std::u16string(1, key)) : std::string());
  return true;
}

bool DeleteMenu(HMENU m, int item, int flag)
{
  NSMenuItem* it = findItem(m, item, flag & MF_BYPOSITION);
  if (!it) return false;
  if (it->hasSubmenu())
  {
    SWELL_SetMenuDestination(SWELL_HMENUOf(it->submenu()), nullptr);
    it->menu()->setSubmenu(nullptr, it);
  }
  it->menu()->removeItem(it);
  return true;
}

// ---- adding items ----

int AddMenuItem(HMENU m, int pos, const char* name, int tag)
{
  NSMenu* menu = SWELL_MenuOf(m);
  if (!menu) return -1;
  NSMenuItem* it = newItem(name ? name : "");
  it->setTag(tag);
  it->setEnabled(true);
  menu->insertItem(it, pos);
  it->release();
  return 0;
}

void SWELL_Menu_AddMenuItem(HMENU m, const char* name, int id, unsigned int flags)
{
  MENUITEMINFO mi{};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE;
  mi.fType = name ? MFT_STRING : MFT_SEPARATOR;
  mi.fState = flags ? MFS_GRAYED : 0;
  mi.wID = (UINT)id;
  mi.dwTypeData = const_cast<char*>(name);
  InsertMenuItem(m, GetMenuItemCount(m), TRUE, &mi);
}

void SWELL_InsertMenu(HMENU m, int pos, unsigned int flag, UINT_PTR idOrSub, const char* str)
{
  MENUITEMINFO mi{};
  mi.cbSize = sizeof(mi);
  mi.fMask = MIIM_ID | MIIM_STATE | MIIM_TYPE;
  mi.fType = MFT_STRING;
  mi.fState = flag & ~MF_BYPOSITION;
  mi.wID = (UINT)idOrSub;
  mi.dwTypeData = const_cast<char*>(str);
  if (flag & MF_POPUP)
  {
    mi.hSubMenu = reinterpret_cast<HMENU>(idOrSub);
    mi.wID = 0;
    mi.fMask |= MIIM_SUBMENU;
    mi.fState &= ~0x410u;
  }
  if (flag & MF_SEPARATOR)
  {
    mi.fMask = MIIM_TYPE;
    mi.fType = MFT_SEPARATOR;
    mi.fState &= ~0xC00u;
  }
  if (flag & MF_BITMAP)
  {
    mi.fType = MFT_BITMAP;
    mi.fState &= ~(UINT)MF_BITMAP;
  }
  InsertMenuItem(m, pos, (flag & MF_BYPOSITION) ? TRUE : FALSE, &mi);
}

namespace {
// The kit image of an icon's pixels (rows top-down), or null.
NSImage* imageOfIcon(HGDIOBJ icon)
{
  SWELL_Image* si = GetNSImageFromHICON(icon);
  LICE_IBitmap* b = si ? si->pixels : nullptr;
  if (!b || b->getWidth() < 1 || b->getHeight() < 1) return nullptr;
  return swellImageOfBitmap(b);
}
}  // namespace

void InsertMenuItem(HMENU m, int pos, BOOL byPos, const MENUITEMINFO* mii)
{
  NSMenu* menu = SWELL_MenuOf(m);
  // A submenu handle that names no menu refuses the whole item.
  NSMenu* sub = mii && (mii->fMask & MIIM_SUBMENU) && mii->hSubMenu ? SWELL_MenuOf(mii->hSubMenu) : nullptr;
  if (!menu || !mii || (!sub && (mii->fMask & MIIM_SUBMENU) && mii->hSubMenu)) return;
  const NSInteger count = menu->numberOfItems();
  if (!byPos) pos = (int)menu->indexOfItemWithTag(pos);
  if (pos < 0 || pos > count) pos = (int)count;

  NSMenuItem* it;
  if (mii->fType == MFT_BITMAP)
  {
    it = newItem("(no image)");
    // An icon that has an image shows it in place of the placeholder title.
    if (NSImage* image = imageOfIcon((HGDIOBJ)mii->dwTypeData))
    {
      it->setImage(image);
      it->setTitle("");
      image->release();
    }
  }
  else if (mii->fType)
  {
    NSAutoreleasePool pool;
    it = NSMenuItem::separatorItem();
    it->retain();
  }
  else
    it = newItem(mii->dwTypeData ? SWELL_CleanMenuText(mii->dwTypeData) : std::string("(null)"));

  if (sub)
  {
    if (!mii->fType) sub->setTitle(it->title());
    it->setSubmenu(sub);
    sub->release();  // the item owns it now
  }
  if (!count) menu->setAutoenablesItems(false);
  it->setEnabled(true);
  if (mii->fMask & MIIM_STATE)
  {
    if (mii->fState & MFS_GRAYED) it->setEnabled(false);
    if (mii->fState & MFS_CHECKED) it->setState(NSOnState);
  }
  if (mii->fMask & MIIM_DATA)
  {
    Swell_vDavrel_64_sdh* holder = new Swell_vDavrel_64_sdh((intptr_t)mii->dwItemData);
    it->setRepresentedObject(holder);
    holder->release();
  }
  else
    it->setRepresentedObject(nullptr);
  if (mii->fMask & MIIM_ID) it->setTag((NSInteger)(int)mii->wID);

  // A menu that already routes its items routes the new one the same way.
  if (NSMenuItem* first = menu->itemAtIndex(0))
    if (first != it)
    {
      if (first->action()) it->setAction(first->action());
      if (first->target()) it->setTarget(first->target());
    }
  menu->insertItem(it, pos);
  it->release();
}

bool SetMenuItemInfo(HMENU m, int item, BOOL byPos, const MENUITEMINFO* mii)
{
  NSMenuItem* it = findItem(m, item, byPos);
  if (!it || !mii) return false;
  if ((mii->fMask & MIIM_SUBMENU) && mii->hSubMenu)
  {
    NSMenu* sub = SWELL_MenuOf(mii->hSubMenu);
    if (!sub) return false;
    it->menu()->setSubmenu(sub, it);
    sub->release();  // the item owns it now
  }
  if ((mii->fMask & MIIM_TYPE) && mii->fType == MFT_STRING && mii->dwTypeData)
  {
    const std::string title = SWELL_CleanMenuText(mii->dwTypeData);
    it->setTitle(title);
    if (it->hasSubmenu()) it->submenu()->setTitle(title);
  }
  if (mii->fMask & MIIM_STATE)
  {
    it->setState((mii->fState & MFS_CHECKED) ? NSOnState : NSOffState);
    it->setEnabled(!(mii->fState & MFS_GRAYED));
  }
  if (mii->fMask & MIIM_ID) it->setTag((NSInteger)(int)mii->wID);
  if (mii->fMask & MIIM_DATA)
  {
    Swell_vDavrel_64_sdh* holder = new Swell_vDavrel_64_sdh((intptr_t)mii->dwItemData);
    it->setRepresentedObject(holder);
    holder->release();
  }
  return true;
}

bool GetMenuItemInfo(HMENU m, int item, BOOL byPos, MENUITEMINFO* mii)
{
  NSMenuItem* it = findItem(m, item, byPos);
  if (!it || !mii) return false;
  if (mii->fMask & MIIM_TYPE)
  {
    if (it->isSeparatorItem())
      mii->fType = MFT_SEPARATOR;
    else
    {
      mii->fType = MFT_STRING;
      if (mii->dwTypeData && mii->cch)
        SWELL_CStringThroughCFString(it->title().c_str(), mii->dwTypeData, (int)mii->cch);
    }
  }
  if (mii->fMask & MIIM_DATA)
  {
    Swell_vDavrel_64_sdh* holder = dynamic_cast<Swell_vDavrel_64_sdh*>(it->representedObject());
    mii->dwItemData = holder ? (uintptr_t)holder->getValue() : 0;
  }
  if (mii->fMask & MIIM_STATE)
    mii->fState = (it->state() ? MFS_CHECKED : 0) | (it->isEnabled() ? 0 : MFS_GRAYED);
  if (mii->fMask & MIIM_ID) mii->wID = (UINT)it->tag();
  if ((mii->fMask & MIIM_SUBMENU) && it->hasSubmenu()) mii->hSubMenu = SWELL_HMENUOf(it->submenu());
  return true;
}

// ---- destinations and showing ----

void SWELL_SetMenuDestination(HMENU m, NSObject* dest)
{
  NSMenu* menu = SWELL_MenuOf(m);
  if (!menu) return;
  if (dest)
  {
    NSResponder* r = dynamic_cast<NSResponder*>(dest);
    if (!r || !r->respondsToSelector(kSwellCommand)) return;
  }
  menu->setDelegate(dest);
  for (NSMenuItem* it : menu->itemArray())
  {
    if (it->hasSubmenu())
      SWELL_SetMenuDestination(SWELL_HMENUOf(it->submenu()), dest);
    else if (it->tag())
    {
      it->setTarget(dest);
      if (dest) it->setAction(kSwellCommand);
    }
  }
}

int TrackPopupMenu(HMENU m, int flags, int x, int y, int, HWND hwnd, const RECT*)
{
  NSMenu* menu = SWELL_MenuOf(m);
  if (!menu) return 0;
  NSObject* target = SWELL_ObjectOfHWND(hwnd);
  // A window that is gone gets no menu, and no command from one.
  if (hwnd && !target) return 0;
  NSView* view = nullptr;
  if (NSWindow* w = dynamic_cast<NSWindow*>(target)) view = w->contentView();
  else view = dynamic_cast<NSView*>(target);
  if (!view && NSApplication::exists() && NSApp->mainWindow()) view = NSApp->mainWindow()->contentView();
  if (!view || !view->window()) return 0;

  NSAutoreleasePool pool;
  NSWindow* window = view->window();
  NSPoint p = window->convertScreenToBase(NSMakePoint(x, y));
  p.y -= 4;
  NSEvent* event = NSEvent::otherEventWithType(NSApplicationDefined, p, 0, 0, window->windowNumber(), nullptr, 0, 0, 0);

  Swell_vDavrel_64_trackpopupmenurecv* recv =
      new Swell_vDavrel_64_trackpopupmenurecv((flags & TPM_NONOTIFY) ? nullptr : hwnd);
  SWELL_SetMenuDestination(m, recv);
  if (!(flags & TPM_NONOTIFY) && hwnd)
  {
    SWELL_HookSendMessage(hwnd, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)m, 0);
    SWELL_SetMenuDestination(m, recv);
  }
  NSMenu::popUpContextMenu(menu, event, view);
  const int cmd = recv->isCommand();
  SWELL_SetMenuDestination(m, nullptr);
  recv->release();

  if (cmd <= 0) return 0;
  if (flags & TPM_RETURNCMD) return cmd;
  if (hwnd) SWELL_HookSendMessage(hwnd, WM_COMMAND, (WPARAM)cmd, 0);
  return 1;
}

// ---- menus from lists and resources ----

int SWELL_GenerateMenuFromList(HMENU m, const void* listp, int count)
{
  const SWELL_MenuGen_Entry* list = static_cast<const SWELL_MenuGen_Entry*>(listp);
  int x = 0;
  while (x < count)
  {
    const SWELL_MenuGen_Entry& e = list[x];
    if (e.name && !strcmp(e.name, "EN%%%^:")) return x + 1;
    MENUITEMINFO mi{};
    mi.cbSize = sizeof(mi);
    if (e.name && !strncmp(e.name, "/.BO^O:", 7))
    {
      HMENU sub = CreatePopupMenuEx(e.name + 7);
      const int used = SWELL_GenerateMenuFromList(sub, list + x + 1, count - x - 1);
      mi.fMask = MIIM_STATE | MIIM_TYPE | MIIM_SUBMENU;
      mi.fType = MFT_STRING;
      mi.hSubMenu = sub;
      mi.dwTypeData = const_cast<char*>(e.name + 7);
      InsertMenuItem(m, GetMenuItemCount(m), TRUE, &mi);
      x += 1 + used;
      continue;
    }
    mi.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
    if (!e.name)
    {
      mi.fType = MFT_SEPARATOR;
      mi.wID = (UINT)-1;
    }
    else
    {
      mi.fType = MFT_STRING;
      mi.wID = (UINT)(e.id & 0xFFFF);
      mi.fState = e.id >= 0x10000 ? MFS_GRAYED : 0;
      mi.dwTypeData = const_cast<char*>(e.name);
    }
    InsertMenuItem(m, GetMenuItemCount(m), TRUE, &mi);
    ++x;
  }
  return count + 1;
}

HMENU SWELL_LoadMenu(SWELL_MenuResourceIndex* head, const void* resid)
{
  for (; head; head = head->_next)
    if (head->resid == resid)
    {
      HMENU m = CreatePopupMenu();
      if (head->createFunc) head->createFunc(m);
      return m;
    }
  return nullptr;
}

// ---- the menu bar ----

bool SetMenu(HWND hwnd, HMENU m)
{
  const SWELL_WindowHooks& hooks = SWELL_GetWindowHooks();
  if (!hwnd || !hooks.setMenu || SWELL_IsTerminating()) return false;
  if (!hooks.setMenu(hwnd, m)) return false;
  NSObject* o = SWELL_ObjectOfHWND(hwnd);
  NSWindow* w = dynamic_cast<NSWindow*>(o);
  if (!w)
    if (NSView* v = dynamic_cast<NSView*>(o))
      if (v->window() && v->window()->contentView() == v) w = v->window();
  if (w && NSApplication::exists() && NSApp->keyWindow() == w && NSApp->mainMenu() != SWELL_MenuOf(m))
  {
    NSApp->setMainMenu(SWELL_MenuOf(m));
    if (m) SWELL_HookSendMessage(hwnd, WM_INITMENUPOPUP, (WPARAM)(uintptr_t)m, 0);
  }
  return true;
}

void DrawMenuBar(HWND) {}

HMENU SWELL_GetCurrentMenu() { return NSApplication::exists() ? SWELL_HMENUOf(NSApp->mainMenu()) : nullptr; }

void SWELL_SetCurrentMenu(HMENU m)
{
  NSMenu* menu = SWELL_MenuOf(m);
  if (menu && !SWELL_IsTerminating()) NSApplication::sharedApplication()->setMainMenu(menu);
}
