#pragma once
// A menu bar for the menu tests: one titled submenu of plain items.

#include "winsys/shell/menus.h"

#include <initializer_list>
#include <utility>

// The bar and, in *submenu when asked, its one submenu: title over items
// (text, command id), all enabled.
inline HMENU BarWithSubmenu(const char* title, std::initializer_list<std::pair<const char*, int>> items,
                            HMENU* submenu = nullptr)
{
  HMENU bar = CreatePopupMenu(), sub = CreatePopupMenu();
  for (const auto& i : items) SWELL_Menu_AddMenuItem(sub, i.first, i.second, 0);
  MENUITEMINFO info{};
  info.fMask = MIIM_SUBMENU | MIIM_TYPE;
  info.hSubMenu = sub;
  info.dwTypeData = const_cast<char*>(title);
  InsertMenuItem(bar, 0, TRUE, &info);
  if (submenu) *submenu = sub;
  return bar;
}
