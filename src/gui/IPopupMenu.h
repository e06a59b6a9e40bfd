#pragma once
// The platform-neutral description of a popup menu: items with a text, flags and an
// optional submenu, a numbering prefix, and the index the user chose. The platform
// shows it (IGraphics::CreateIPopupMenu). Main thread only.

#include "base/ptrlist.h"
#include "base/wdlstring.h"

class IPopupMenu;

class IPopupMenuItem
{
public:
  enum Flags
  {
    kNoFlags = 0,
    kDisabled = 1,
    kIndented = 2,
    kChecked = 4,
    kSeparator = 8
  };

  // An item owns its submenu unless told otherwise (a submenu held by value elsewhere).
  IPopupMenuItem(const char* text, int flags = kNoFlags, IPopupMenu* submenu = nullptr, bool ownsSubmenu = true);
  ~IPopupMenuItem();
  IPopupMenuItem(const IPopupMenuItem&) = delete;
  IPopupMenuItem& operator=(const IPopupMenuItem&) = delete;

  const char* GetText() const { return mText.Get(); }
  int GetFlags() const { return mFlags; }
  IPopupMenu* GetSubmenu() const { return mSubmenu; }
  bool GetEnabled() const { return !(mFlags & kDisabled); }
  bool GetChecked() const { return (mFlags & kChecked) != 0; }
  bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }

  void SetChecked(bool checked) { mFlags = checked ? (mFlags | kChecked) : (mFlags & ~kChecked); }

private:
  WDL_String mText;
  IPopupMenu* mSubmenu;
  int mFlags;
  bool mOwnsSubmenu;
};

class IPopupMenu
{
public:
  enum EPrefix
  {
    kPrefixNone = 0,
    kPrefix1 = 1,  // "%1d: "
    kPrefix2 = 2,  // "%02d: "
    kPrefix3 = 3   // "%03d: "
  };

  IPopupMenu() : mMenuItems(16 * (int)sizeof(void*)) {}
  // Virtual: menus of derived kinds are deleted by the items that open them.
  virtual ~IPopupMenu() { mMenuItems.Empty(true); }
  IPopupMenu(const IPopupMenu&) = delete;
  IPopupMenu& operator=(const IPopupMenu&) = delete;

  // Index -1 appends, any other negative index puts the item first, an index past
  // the end appends, otherwise the item goes before the one at the index. Each
  // returns the item inserted (null when the list could not grow).
  IPopupMenuItem* AddItem(IPopupMenuItem* item, int index = -1);
  IPopupMenuItem* AddItem(const char* text, int index = -1, int flags = IPopupMenuItem::kNoFlags);
  IPopupMenuItem* AddItem(const char* text, int index, IPopupMenu* submenu);
  IPopupMenuItem* AddItem(const char* text, IPopupMenu* submenu);
  IPopupMenuItem* AddSeparator(int index = -1);
  // Appends an item opening a submenu the caller keeps (it outlives the item).
  IPopupMenuItem* AddItemBorrowing(const char* text, IPopupMenu* submenu);
  // Deletes every item, from the last to the first.
  void Empty() { mMenuItems.Empty(true); }

  int GetNItems() const { return mMenuItems.GetSize(); }
  // Null out of range.
  IPopupMenuItem* GetItem(int index) const { return mMenuItems.Get(index); }
  // "" out of range.
  const char* GetItemText(int index) const;

  // 0 to 3; other values are ignored.
  void SetPrefix(int prefix);
  int GetPrefix() const { return mPrefix; }
  // The text shown for an item: its 1-based position (separators counted) in the
  // prefix format, then the item's text.
  void GetDisplayText(int index, WDL_String* out) const;

  int GetChosenItemIdx() const { return mChosenItemIdx; }
  void SetChosenItemIdx(int index) { mChosenItemIdx = index; }

  // False when the index is out of range or its slot is empty.
  bool CheckItem(int index, bool checked);
  bool IsItemChecked(int index) const;
  // Checks the item at the index and unchecks every other; an index out of range
  // unchecks all.
  void CheckItemAlone(int index);

private:
  WDL_PtrList<IPopupMenuItem> mMenuItems;
  int mPrefix = kPrefixNone;
  int mChosenItemIdx = -1;
};
