#include "winsys/wnd/ctl_treeview.h"

#include "platform/appkit/NSEvent.h"
#include "winsys/kernel.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/keyboard.h"
#include "winsys/wnd/wnd.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

HTREEITEM__::HTREEITEM__() : m_dh(new Swell_vDavrel_64_sdh((LONG_PTR)this)) {}

HTREEITEM__::~HTREEITEM__()
{
  free(m_value);
  m_children.Empty(true);
  AKRelease(m_dh);
}

namespace {

// Whether item is in list (the children of parent, null for the top level) or below
// it; its parent and index there go to the outputs given.
bool findIn(const WDL_PtrList<HTREEITEM__>& list, HTREEITEM__* parent, HTREEITEM__* item, HTREEITEM__** parOut,
            int* idxOut)
{
  const int i = list.Find(item);
  if (i >= 0)
  {
    if (parOut) *parOut = parent;
    if (idxOut) *idxOut = i;
    return true;
  }
  for (int c = 0; c < list.GetSize(); ++c)
    if (list.Get(c)->FindItem(item, parOut, idxOut)) return true;
  return false;
}

}  // namespace

bool HTREEITEM__::FindItem(HTREEITEM__* item, HTREEITEM__** parOut, int* idxOut)
{
  return findIn(m_children, this, item, parOut, idxOut);
}

namespace {

Swell_vDavrel_64_treeview* TV(HWND h) { return h ? dynamic_cast<Swell_vDavrel_64_treeview*>(SWELL_Object(h)) : nullptr; }

HTREEITEM recordOf(NSObject* o)
{
  Swell_vDavrel_64_sdh* dh = dynamic_cast<Swell_vDavrel_64_sdh*>(o);
  return dh ? (HTREEITEM)dh->getValue() : nullptr;
}

bool isSpecial(HTREEITEM h) { return h == TVI_ROOT || h == TVI_FIRST || h == TVI_LAST || h == TVI_SORT; }

void sendSelChanged(Swell_vDavrel_64_treeview* tv)
{
  NMTREEVIEW nm{};
  nm.hdr = NMHDR{SWELL_HWND(tv), (UINT_PTR)tv->tag(), TVN_SELCHANGED};
  SendMessage(GetParent(SWELL_HWND(tv)), WM_NOTIFY, (WPARAM)tv->tag(), (LPARAM)&nm);
}

// A header and 28 zero bytes, as the click notices carry.
struct ClickNote
{
  NMHDR hdr;
  char rest[28];
};

LRESULT sendClick(Swell_vDavrel_64_treeview* tv, UINT code)
{
  ClickNote n{};
  n.hdr = NMHDR{SWELL_HWND(tv), (UINT_PTR)tv->tag(), code};
  return SendMessage(SWELL_HWND(tv->target()), WM_NOTIFY, (WPARAM)tv->tag(), (LPARAM)&n);
}

}  // namespace

Swell_vDavrel_64_treeview::Swell_vDavrel_64_treeview(NSRect frame) : SWELL_Redrawn<NSOutlineView>(frame)
{
  setOutlineDataSource(this);
}

Swell_vDavrel_64_treeview::~Swell_vDavrel_64_treeview()
{
  m_items.Empty(true);
  AKRelease(m_fgColor);
  for (NSColor*& c : m_selColors) AKRelease(c);
}

bool Swell_vDavrel_64_treeview::findItem(HTREEITEM item, HTREEITEM* parOut, int* idxOut)
{
  return item && findIn(m_items, nullptr, item, parOut, idxOut);
}

NSInteger Swell_vDavrel_64_treeview::outlineViewNumberOfChildren(NSOutlineView*, NSObject* item)
{
  HTREEITEM r = recordOf(item);
  return item ? (r ? r->m_children.GetSize() : 0) : m_items.GetSize();
}

NSObject* Swell_vDavrel_64_treeview::outlineViewChild(NSOutlineView*, NSInteger index, NSObject* item)
{
  HTREEITEM r = recordOf(item);
  HTREEITEM c = item ? (r ? r->m_children.Get((int)index) : nullptr) : m_items.Get((int)index);
  return c ? c->m_dh : nullptr;
}

bool Swell_vDavrel_64_treeview::outlineViewIsItemExpandable(NSOutlineView*, NSObject* item)
{
  HTREEITEM r = recordOf(item);
  return !item || (r && r->m_haschildren);
}

std::string Swell_vDavrel_64_treeview::outlineViewObjectValue(NSOutlineView*, NSTableColumn*, NSObject* item)
{
  HTREEITEM r = recordOf(item);
  return r && r->m_value ? r->m_value : "";
}

void Swell_vDavrel_64_treeview::mouseDown(NSEvent* e)
{
  if (e && (e->modifierFlags() & NSControlKeyMask) && IsRightClickEmulateEnabled())
  {
    m_fakerightmouse = true;
    return;
  }
  retain();
  sendClick(this, (UINT)-2 /* NM_CLICK */);
  m_fakerightmouse = false;
  NSOutlineView::mouseDown(e);
  release();
}

void Swell_vDavrel_64_treeview::mouseUp(NSEvent* e)
{
  if (m_fakerightmouse || (e && (e->modifierFlags() & NSControlKeyMask))) rightMouseUp(e);
  else NSOutlineView::mouseUp(e);
}

void Swell_vDavrel_64_treeview::rightMouseUp(NSEvent*)
{
  retain();
  if (!sendClick(this, (UINT)-5 /* NM_RCLICK */))
  {
    POINT p;
    GetCursorPos(&p);
    SendMessage(SWELL_HWND(target()), WM_CONTEXTMENU, (WPARAM)SWELL_HWND(this), SWELL_PackPoint(p.x, p.y));
  }
  m_fakerightmouse = false;
  release();
}

void Swell_vDavrel_64_treeview::highlightSelectionInClipRect(NSRect clip)
{
  const size_t at = GetFocus() == SWELL_HWND(this) ? 0 : 2;
  if (at >= m_selColors.size())
  {
    NSOutlineView::highlightSelectionInClipRect(clip);
    return;
  }
  const NSInteger row = selectedRow();
  if (row < 0) return;
  const NSRect i = NSIntersectionRect(rectOfRow(row), clip);
  if (i.size.width > 0 && i.size.height > 0)
  {
    m_selColors[at]->setFill();
    NSColor::fillRect(i);
  }
}

NSColor* Swell_vDavrel_64_treeview::textColorForRow(NSInteger row, bool selected)
{
  const size_t at = GetFocus() == SWELL_HWND(this) ? 1 : 3;
  if (selected && at < m_selColors.size()) return m_selColors[at];
  return m_fgColor ? m_fgColor : NSOutlineView::textColorForRow(row, selected);
}

// ---- functions ----

HTREEITEM TreeView_InsertItem(HWND h, TVINSERTSTRUCT* ins)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv || !ins) return nullptr;
  HTREEITEM parent = ins->hParent;
  if (isSpecial(parent)) parent = nullptr;
  if (parent && !tv->findItem(parent, nullptr, nullptr)) return nullptr;
  WDL_PtrList<HTREEITEM__>& list = parent ? parent->m_children : tv->m_items;
  const HTREEITEM after = ins->hInsertAfter;
  int pos = list.GetSize();
  if (after == TVI_FIRST) pos = 0;
  else if (after && after != TVI_LAST && after != TVI_SORT)
  {
    const int i = list.Find(after);
    pos = i >= 0 ? i + 1 : 0;  // an item of another parent (or the root) puts the new one first
  }
  HTREEITEM item = new HTREEITEM__;
  if (ins->item.mask & TVIF_CHILDREN) item->m_haschildren = ins->item.cChildren != 0;
  if (ins->item.mask & TVIF_PARAM) item->m_param = ins->item.lParam;
  if ((ins->item.mask & TVIF_TEXT) && ins->item.pszText) item->m_value = strdup(ins->item.pszText);
  list.Insert(pos, item);
  tv->reloadData();
  return item;
}

void TreeView_DeleteItem(HWND h, HTREEITEM item)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  HTREEITEM parent = nullptr;
  int idx = -1;
  if (!tv || !tv->findItem(item, &parent, &idx)) return;
  (parent ? parent->m_children : tv->m_items).Delete(idx, true);
  tv->reloadData();
}

HTREEITEM TreeView_GetSelection(HWND h)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  return tv ? recordOf(tv->itemAtRow(tv->selectedRow())) : nullptr;
}

void TreeView_SelectItem(HWND h, HTREEITEM item)
{
  static bool sending = false;
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv) return;
  const NSInteger row = item && tv->findItem(item, nullptr, nullptr) ? tv->rowForItem(item->m_dh) : -1;
  if (row >= 0) tv->selectRowIndexes({row}, false);
  if (sending) return;
  sending = true;
  sendSelChanged(tv);
  sending = false;
}

BOOL TreeView_GetItem(HWND h, TVITEM* it)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  // Only an item of this tree is read: a deleted one is freed memory.
  if (!tv || !it || !(it->mask & TVIF_HANDLE) || !tv->findItem(it->hItem, nullptr, nullptr)) return 0;
  HTREEITEM item = it->hItem;
  it->cChildren = item->m_haschildren ? 1 : 0;
  it->lParam = item->m_param;
  if (it->mask & TVIF_TEXT) lstrcpyn(it->pszText, item->m_value, it->cchTextMax);
  const NSInteger row = tv->rowForItem(item->m_dh);
  it->state = (row >= 0 && tv->isRowSelected(row) ? (UINT)TVIS_SELECTED : 0u) |
              (tv->isItemExpanded(item->m_dh) ? (UINT)TVIS_EXPANDED : 0u);
  return 1;
}

BOOL TreeView_SetItem(HWND h, TVITEM* it)
{
  static bool sending = false;
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv || !it || !(it->mask & TVIF_HANDLE) || !tv->findItem(it->hItem, nullptr, nullptr)) return 0;
  HTREEITEM item = it->hItem;
  if (it->mask & TVIF_CHILDREN) item->m_haschildren = it->cChildren != 0;
  if (it->mask & TVIF_PARAM) item->m_param = it->lParam;
  if ((it->mask & TVIF_TEXT) && it->pszText)
  {
    free(item->m_value);
    item->m_value = strdup(it->pszText);
    InvalidateRect(h, nullptr, 0);
  }
  if ((it->stateMask & TVIS_SELECTED) && (it->state & TVIS_SELECTED))
  {
    const NSInteger row = tv->rowForItem(item->m_dh);
    if (row >= 0)
    {
      tv->selectRowIndexes({row}, false);
      if (!sending)
      {
        sending = true;
        sendSelChanged(tv);
        sending = false;
      }
    }
  }
  if (it->stateMask & TVIS_EXPANDED)
  {
    if ((it->state & TVIS_EXPANDED) && !tv->isItemExpanded(item->m_dh)) tv->expandItem(item->m_dh);
    else if (!(it->state & TVIS_EXPANDED) && tv->isItemExpanded(item->m_dh)) tv->collapseItem(item->m_dh);
  }
  return 1;
}

BOOL TreeView_Expand(HWND h, HTREEITEM item, UINT flag)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv || !item || !tv->findItem(item, nullptr, nullptr)) return 0;
  const bool open = tv->isItemExpanded(item->m_dh);
  if (flag == TVE_TOGGLE) flag = open ? TVE_COLLAPSE : TVE_EXPAND;
  if (flag == TVE_EXPAND && !open) tv->expandItem(item->m_dh);
  else if (flag == TVE_COLLAPSE && open) tv->collapseItem(item->m_dh);
  else return 0;
  return 1;
}

HTREEITEM TreeView_HitTest(HWND h, TVHITTESTINFO* hti)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv || !hti) return nullptr;
  const NSPoint p = NSMakePoint(hti->pt.x, hti->pt.y);
  const NSInteger rows = tv->numberOfRows();
  // Rows of no height hold no point (and the row at a point is not defined then).
  if (!rows || !(tv->rectOfRow(0).size.height > 0)) return nullptr;
  // The outline view's row at the point, or the last row past the end; rounding may
  // put a point on an edge into a neighbour's rectangle, so the rectangles around
  // it decide, the upper first.
  const NSInteger at = tv->rowAtPoint(p);
  const NSInteger from = at < 0 ? rows - 1 : std::max<NSInteger>(0, at - 1);
  const NSInteger to = at < 0 ? rows - 1 : std::min(rows - 1, at + 1);
  for (NSInteger r = from; r <= to; ++r)
    if (NSPointInRect(p, tv->rectOfRow(r))) return recordOf(tv->itemAtRow(r));
  return nullptr;
}

HTREEITEM TreeView_GetRoot(HWND h)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  return tv ? tv->m_items.Get(0) : nullptr;
}

HTREEITEM TreeView_GetChild(HWND h, HTREEITEM item)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv) return nullptr;
  if (!item || isSpecial(item)) return tv->m_items.Get(0);
  return tv->findItem(item, nullptr, nullptr) ? item->m_children.Get(0) : nullptr;
}

HTREEITEM TreeView_GetNextSibling(HWND h, HTREEITEM item)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv) return nullptr;
  if (!item) return tv->m_items.Get(0);
  HTREEITEM parent = nullptr;
  int idx = -1;
  // Top-level items are not chained: only a parent's child list is looked in.
  if (!tv->findItem(item, &parent, &idx) || !parent) return nullptr;
  return parent->m_children.Get(idx + 1);
}

BOOL TreeView_SetIndent(HWND h, int indent)
{
  Swell_vDavrel_64_treeview* tv = TV(h);
  if (!tv) return 0;
  tv->setIndentationPerLevel(indent);
  return 1;
}

void TreeView_SetBkColor(HWND h, COLORREF c)
{
  if (Swell_vDavrel_64_treeview* tv = TV(h)) tv->setBackgroundColor(SWELL_ColorOf(c));
}

void TreeView_SetTextColor(HWND h, COLORREF c)
{
  if (Swell_vDavrel_64_treeview* tv = TV(h)) AKAssign(tv->m_fgColor, SWELL_ColorOf(c));
}
