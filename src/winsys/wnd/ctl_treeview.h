#pragma once
// The tree view ("SysTreeView32"): an outline view whose data lives in the layer's
// item records, edited by the TreeView_* functions; clicks and selection changes
// reach the owner as WM_NOTIFY. Main thread only.
//
// Made with new (in a scroll view), given the control id as tag and its owner
// window view as target.

#include "base/ptrlist.h"
#include "platform/appkit/NSTableView.h"
#include "winsys/gdi.h"
#include "winsys/msgloop/sdh.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/messages.h"

struct HTREEITEM__
{
  HTREEITEM__();
  ~HTREEITEM__();
  HTREEITEM__(const HTREEITEM__&) = delete;
  HTREEITEM__& operator=(const HTREEITEM__&) = delete;
  // Depth first below this item: the parent record and the index of item there.
  bool FindItem(HTREEITEM__* item, HTREEITEM__** parOut, int* idxOut);

  Swell_vDavrel_64_sdh* m_dh;  // what the outline view sees as the item
  bool m_haschildren = false;
  char* m_value = nullptr;  // owned
  WDL_PtrList<HTREEITEM__> m_children;
  LPARAM m_param = 0;
};
typedef HTREEITEM__* HTREEITEM;

// Special handles of this layer (32-bit values, not sign-extended).
#define TVI_ROOT ((HTREEITEM)(uintptr_t)0xFFFF0000u)
#define TVI_FIRST ((HTREEITEM)(uintptr_t)0xFFFF0001u)
#define TVI_LAST ((HTREEITEM)(uintptr_t)0xFFFF0002u)
#define TVI_SORT ((HTREEITEM)(uintptr_t)0xFFFF0003u)

enum : UINT
{
  TVIF_TEXT = 0x1,
  TVIF_PARAM = 0x4,
  TVIF_HANDLE = 0x10,
  TVIF_CHILDREN = 0x40,
  TVIS_SELECTED = 0x2,
  TVIS_EXPANDED = 0x20,
  TVE_COLLAPSE = 1,
  TVE_EXPAND = 2,
  TVE_TOGGLE = 3,
  TVN_SELCHANGED = (UINT)-402
};

struct TVITEM
{
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  char* pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
};

struct TVINSERTSTRUCT
{
  HTREEITEM hParent;
  HTREEITEM hInsertAfter;
  TVITEM item;
};

struct TVHITTESTINFO
{
  POINT pt;
  UINT flags;
  HTREEITEM hItem;
};

struct NMTREEVIEW
{
  NMHDR hdr;
  UINT action;
  TVITEM itemOld;
  TVITEM itemNew;
  POINT ptDrag;
};

class Swell_vDavrel_64_treeview : public SWELL_Redrawn<NSOutlineView>, public NSOutlineViewDataSource
{
public:
  explicit Swell_vDavrel_64_treeview(NSRect frame);
  // Finds the item at any depth: its parent (null at the top level) and index.
  bool findItem(HTREEITEM item, HTREEITEM* parOut, int* idxOut);

  NSInteger outlineViewNumberOfChildren(NSOutlineView*, NSObject* item) override;
  NSObject* outlineViewChild(NSOutlineView*, NSInteger index, NSObject* item) override;
  bool outlineViewIsItemExpandable(NSOutlineView*, NSObject* item) override;
  std::string outlineViewObjectValue(NSOutlineView*, NSTableColumn*, NSObject* item) override;

  void mouseDown(NSEvent* e) override;
  void mouseUp(NSEvent* e) override;
  void rightMouseUp(NSEvent* e) override;
  void highlightSelectionInClipRect(NSRect clip) override;
  NSColor* textColorForRow(NSInteger row, bool selected) override;

  WDL_PtrList<HTREEITEM__> m_items;
  NSColor* m_fgColor = nullptr;
  std::vector<NSColor*> m_selColors;  // retained
  bool m_fakerightmouse = false;
  LONG style = 0;

protected:
  ~Swell_vDavrel_64_treeview() override;
};

HTREEITEM TreeView_InsertItem(HWND h, TVINSERTSTRUCT* ins);
void TreeView_DeleteItem(HWND h, HTREEITEM item);
HTREEITEM TreeView_GetSelection(HWND h);
void TreeView_SelectItem(HWND h, HTREEITEM item);
BOOL TreeView_GetItem(HWND h, TVITEM* item);
BOOL TreeView_SetItem(HWND h, TVITEM* item);
BOOL TreeView_Expand(HWND h, HTREEITEM item, UINT flag);
HTREEITEM TreeView_HitTest(HWND h, TVHITTESTINFO* hti);
HTREEITEM TreeView_GetRoot(HWND h);
HTREEITEM TreeView_GetChild(HWND h, HTREEITEM item);
HTREEITEM TreeView_GetNextSibling(HWND h, HTREEITEM item);
BOOL TreeView_SetIndent(HWND h, int indent);
void TreeView_SetBkColor(HWND h, COLORREF c);
void TreeView_SetTextColor(HWND h, COLORREF c);
