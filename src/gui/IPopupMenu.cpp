#include "gui/IPopupMenu.h"

#include <cstdio>

IPopupMenuItem::IPopupMenuItem(const char* text, int flags, IPopupMenu* submenu, bool ownsSubmenu)
  : mText(text ? text : ""), mSubmenu(submenu), mFlags(flags), mOwnsSubmenu(ownsSubmenu)
{
}

IPopupMenuItem::~IPopupMenuItem()
{
  if (mOwnsSubmenu) delete mSubmenu;
}

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* item, int index)
{
  if (!item) return nullptr;
  // The list puts a negative index first and an index past the end last.
  return index == -1 ? mMenuItems.Add(item) : mMenuItems.Insert(index, item);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, int flags)
{
  IPopupMenuItem* item = new IPopupMenuItem(text, flags);
  if (AddItem(item, index)) return item;
  delete item;
  return nullptr;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* submenu)
{
  IPopupMenuItem* item = new IPopupMenuItem(text, IPopupMenuItem::kNoFlags, submenu);
  if (AddItem(item, index)) return item;
  delete item;
  return nullptr;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, IPopupMenu* submenu) { return AddItem(text, -1, submenu); }

IPopupMenuItem* IPopupMenu::AddItemBorrowing(const char* text, IPopupMenu* submenu)
{
  IPopupMenuItem* item = new IPopupMenuItem(text, IPopupMenuItem::kNoFlags, submenu, false);
  if (AddItem(item, -1)) return item;
  delete item;
  return nullptr;
}

IPopupMenuItem* IPopupMenu::AddSeparator(int index) { return AddItem("", index, IPopupMenuItem::kSeparator); }

const char* IPopupMenu::GetItemText(int index) const
{
  const IPopupMenuItem* item = GetItem(index);
  return item ? item->GetText() : "";
}

void IPopupMenu::SetPrefix(int prefix)
{
  if (prefix >= kPrefixNone && prefix <= kPrefix3) mPrefix = prefix;
}

void IPopupMenu::GetDisplayText(int index, WDL_String* out) const
{
  if (!out) return;
  static const char* const kFormats[] = {"", "%1d: ", "%02d: ", "%03d: "};
  char prefix[32] = "";
  if (mPrefix != kPrefixNone) snprintf(prefix, sizeof(prefix), kFormats[mPrefix], index + 1);
  out->Set(prefix);
  out->Append(GetItemText(index));
}

bool IPopupMenu::CheckItem(int index, bool checked)
{
  IPopupMenuItem* item = GetItem(index);
  if (!item) return false;
  item->SetChecked(checked);
  return true;
}

bool IPopupMenu::IsItemChecked(int index) const
{
  const IPopupMenuItem* item = GetItem(index);
  return item && item->GetChecked();
}

void IPopupMenu::CheckItemAlone(int index)
{
  for (int i = 0; i < GetNItems(); ++i) CheckItem(i, i == index);
}
