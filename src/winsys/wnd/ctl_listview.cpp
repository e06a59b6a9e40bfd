// The list view control, its list box messages, and the ListView_* and Header_*
// functions.

#include "winsys/wnd/ctl_listview.h"

#include "winsys/wnd/ctl_listcells.h"
#include "winsys/wnd/ctl_treeview.h"

#include "platform/appkit/NSEvent.h"
#include "platform/appkit/NSWindow.h"
#include "winsys/gdi_image.h"
#include "winsys/kernel.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/msgloop/viewdc.h"
#include "winsys/wnd/hwnd_view.h"
#include "winsys/wnd/keyboard.h"
#include "winsys/wnd/wnd.h"
#include "winsys/wnd/wnd_views.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

long SWELL_ListView_Row::s_live = 0;

SWELL_ListView_Row::~SWELL_ListView_Row()
{
  m_texts.Empty(true, free);
  --s_live;
}

namespace {

// The nesting of ListView_SetItemState over every row, which tells no one.
int g_suppressItemChanged = 0;
// A notification of a selection change is under way.
bool g_inItemChanged = false;

Swell_vDavrel_64_listview* LV(HWND h) { return h ? dynamic_cast<Swell_vDavrel_64_listview*>(SWELL_Object(h)) : nullptr; }

const char* rowText(const SWELL_ListView_Row* row, int col)
{
  const char* t = row ? row->m_texts.Get(col) : nullptr;
  return t ? t : "";
}

// Where a text goes among rows kept in order by their first column; cmp(new, row).
template <class Cmp>
int sortedRow(const WDL_PtrList<SWELL_ListView_Row>& rows, const char* text, Cmp cmp)
{
  return ::sortedPosition(rows.GetSize(), [&](int i) { return cmp(text, rowText(rows.Get(i), 0)); });
}

// The owner window view of the list view: its target, else the nearest window view above it.
HWND ownerOf(Swell_vDavrel_64_listview* lv)
{
  if (lv->target()) return SWELL_HWND(lv->target());
  for (NSView* v = lv->superview(); v; v = v->superview())
    if (dynamic_cast<Swell_vDavrel_64_hwnd*>(v)) return SWELL_HWND(v);
  return nullptr;
}

// Whether the list view's style lets it hold several selected rows.
bool multipleSelection(const Swell_vDavrel_64_listview* lv)
{
  return lv->m_lbMode ? (lv->style & LBS_EXTENDEDSEL) != 0 : !(lv->style & LVS_SINGLESEL);
}

// Selects the row the way the list view's style says: alone, or added to the selection.
void selectRow(Swell_vDavrel_64_listview* lv, int row) { lv->selectRowIndexes({row}, multipleSelection(lv)); }

NSView* visibleArea(Swell_vDavrel_64_listview* lv)
{
  NSView* s = lv->superview();
  if (dynamic_cast<NSClipView*>(s) && dynamic_cast<NSScrollView*>(s->superview())) return s->superview();
  return lv;
}

NSRect documentVisible(NSView* v)
{
  if (NSScrollView* s = dynamic_cast<NSScrollView*>(v)) return s->documentVisibleRect();
  if (NSClipView* c = dynamic_cast<NSClipView*>(v)) return c->documentVisibleRect();
  return NSMakeRect(0, 0, 0, 0);
}

}  // namespace

// ---- the control ----

Swell_vDavrel_64_listview::Swell_vDavrel_64_listview(NSRect frame) : SWELL_Redrawn<NSTableView>(frame)
{
  setDataSource(this);
  setAllowsMultipleSelection(true);
}

Swell_vDavrel_64_listview::~Swell_vDavrel_64_listview()
{
  m_items.Empty(true);
  AKRelease(m_fgColor);
  for (NSColor*& c : m_selColors) AKRelease(c);
}

int Swell_vDavrel_64_listview::colIndex(const NSTableColumn* c) const
{
  auto it = std::find(m_cols.begin(), m_cols.end(), c);
  return it == m_cols.end() ? -1 : (int)(it - m_cols.begin());
}

int Swell_vDavrel_64_listview::getColumnPos(int idx) const
{
  NSTableColumn* c = colAt(idx);
  if (!c) return idx;
  return (int)indexOfTableColumn(c);
}

int Swell_vDavrel_64_listview::getColumnIdx(int pos) const
{
  if (pos < 0 || pos >= numberOfColumns()) return pos;
  return colIndex(tableColumns()[(size_t)pos]);
}

NSInteger Swell_vDavrel_64_listview::columnAtPoint(NSPoint p) const
{
  return getColumnIdx((int)NSTableView::columnAtPoint(p));
}

NSInteger Swell_vDavrel_64_listview::numberOfRowsInTableView(NSTableView*)
{
  return isOwnerData() ? ownermode_cnt : m_items.GetSize();
}

std::string Swell_vDavrel_64_listview::tableViewObjectValue(NSTableView*, NSTableColumn* column, NSInteger row)
{
  const int c = colIndex(column);
  if (isOwnerData())
  {
    char buf[1024];
    buf[0] = 0;
    NMLVDISPINFO nm{};
    nm.hdr = NMHDR{SWELL_HWND(this), (UINT_PTR)tag(), LVN_GETDISPINFO};
    nm.item.mask = LVIF_TEXT | (m_status_imagelist_type == LVSIL_SMALL ? (UINT)LVIF_IMAGE : 0u) |
                   (m_status_imagelist_type == LVSIL_STATE ? (UINT)LVIF_STATE : 0u);
    nm.item.iItem = (int)row;
    nm.item.iSubItem = c;
    nm.item.pszText = buf;
    nm.item.cchTextMax = (int)sizeof buf - 1;
    nm.item.iImage = -1;
    retain();
    SendMessage(ownerOf(this), WM_NOTIFY, (WPARAM)tag(), (LPARAM)&nm);
    release();
    // An owner that filled all it was offered left no terminator of its own.
    buf[sizeof buf - 1] = 0;
    const int image = m_status_imagelist_type == LVSIL_SMALL   ? nm.item.iImage + 1
                      : m_status_imagelist_type == LVSIL_STATE ? (int)((nm.item.state >> 16) & 0xFF)
                                                               : 0;
    // The owner may point the text at a string of its own.
    std::string text = nm.item.pszText ? std::string(nm.item.pszText) : std::string();
    prepareCell(column, (int)row, image);
    return text;
  }
  const SWELL_ListView_Row* r = m_items.Get((int)row);
  prepareCell(column, (int)row, r ? r->m_image : 0);
  return rowText(r, c);
}

void Swell_vDavrel_64_listview::prepareCell(NSTableColumn* column, int row, int image)
{
  // Asked for every cell drawn: the casts only where such a cell can be.
  NSCell* cell = column ? column->dataCell() : nullptr;
  if (m_lbMode)
  {
    auto* od = style & LBS_OWNERDRAWFIXED ? dynamic_cast<Swell_vDavrel_64_ODlistviewcell*>(cell) : nullptr;
    if (od) od->setItemIdx(row);
  }
  else if (auto* sc = m_status_imagelist ? dynamic_cast<Swell_vDavrel_64_statuscell*>(cell) : nullptr)
  {
    const bool shown = image >= 1 && image <= m_status_imagelist->GetSize();
    sc->setStatusImage(shown ? GetNSImageFromHICON(m_status_imagelist->Get(image - 1)) : nullptr);
  }
}

LRESULT Swell_vDavrel_64_listview::notifyTarget(NMLISTVIEW* nm)
{
  nm->hdr = NMHDR{SWELL_HWND(this), (UINT_PTR)tag(), nm->hdr.code};
  return SendMessage(ownerOf(this), WM_NOTIFY, (WPARAM)tag(), (LPARAM)nm);
}

void Swell_vDavrel_64_listview::sendClick(UINT code, NSPoint p, bool withParam)
{
  NMLISTVIEW nm{};
  nm.hdr.code = code;
  nm.iItem = (int)rowAtPoint(p);
  nm.iSubItem = (int)columnAtPoint(p);
  nm.ptAction = POINT{(int32_t)std::floor(p.x), (int32_t)std::floor(p.y)};
  if (withParam && !isOwnerData())
    if (SWELL_ListView_Row* r = m_items.Get(nm.iItem)) nm.lParam = r->m_lparam;
  notifyTarget(&nm);
}

void Swell_vDavrel_64_listview::mouseDown(NSEvent* e)
{
  if (!e) return;
  if ((e->modifierFlags() & NSControlKeyMask) && IsRightClickEmulateEnabled())
  {
    m_fakerightmouse = true;
    m_start_item = m_start_subitem = -1;
    return;
  }
  m_leftmousemovecnt = 0;
  m_fakerightmouse = false;
  const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
  m_start_item = (int)rowAtPoint(p);
  m_start_subitem = (int)columnAtPoint(p);
  m_start_item_clickmode = 0;
  if (m_start_item < 0) return;
  // A press beside every column has no column to look up in the mask.
  if (m_start_subitem >= 0 && (m_fastClickMask & (1u << (m_start_subitem & 31))))
  {
    sendClick(NM_CLICK, p, true);
    m_start_item_clickmode = 4;
  }
  else if (m_status_imagelist_type == LVSIL_STATE && p.x <= rowHeight())
    m_start_item_clickmode = 1;
  if (NSWindow* w = window()) w->makeFirstResponder(this);
}

void Swell_vDavrel_64_listview::mouseDragged(NSEvent*)
{
  const int before = m_leftmousemovecnt++;
  if (m_leftmousemovecnt == 4)
  {
    if (m_start_item >= 0 && !(m_start_item_clickmode & 3) && !m_lbMode)
    {
      if (!(m_start_item_clickmode & 4) && !isRowSelected(m_start_item))
      {
        // Control extends the selection of a list that may hold several rows.
        const bool extend = multipleSelection(this) && (GetAsyncKeyState(0x11 /* VK_CONTROL */) & 0x8000);
        selectRowIndexes({m_start_item}, extend);
        tellSelectionDidChange();
      }
      NMLISTVIEW nm{};
      nm.hdr.code = LVN_BEGINDRAG;
      nm.iItem = m_start_item;
      nm.iSubItem = m_start_subitem;
      notifyTarget(&nm);
      m_start_item_clickmode |= 2;
    }
  }
  else if (before >= 4 && !(m_start_item_clickmode & 1))
  {
    const HWND owner = ownerOf(this);
    POINT pt;
    GetCursorPos(&pt);
    ScreenToClient(owner, &pt);
    SendMessage(owner, WM_MOUSEMOVE, 0, SWELL_PackPoint(pt.x, pt.y));
  }
}

void Swell_vDavrel_64_listview::mouseUp(NSEvent* e)
{
  if (!e) return;
  retain();
  if (m_fakerightmouse || (e->modifierFlags() & NSControlKeyMask))
    rightMouseUp(e);
  else if (!(m_start_item_clickmode & 1))
  {
    if (!(m_start_item_clickmode & 4) && m_leftmousemovecnt <= 3)
    {
      // The owner hears of a change against the selection the press began with.
      const NSIndexSet before = selectedRowIndexes();
      // The style, as it is now, says whether a click may add rows to the selection.
      setAllowsMultipleSelection(multipleSelection(this));
      if (m_lbMode && !allowsMultipleSelection()) deselectAll(nullptr);
      pressFrom(e, before);
      NSTableView::mouseUp(e);
    }
    else if (m_leftmousemovecnt >= 4)
    {
      const HWND owner = ownerOf(this);
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClient(owner, &pt);
      SendMessage(owner, WM_LBUTTONUP, 0, SWELL_PackPoint(pt.x, pt.y));
    }
  }
  if (!m_lbMode && !(m_start_item_clickmode & 6)) sendClick(NM_CLICK, convertPoint(e->locationInWindow(), nullptr), true);
  release();
}

void Swell_vDavrel_64_listview::rightMouseUp(NSEvent* e)
{
  if (!e) return;
  retain();
  const HWND owner = ownerOf(this);
  auto contextMenu = [&] {
    POINT pt;
    GetCursorPos(&pt);
    SendMessage(owner, WM_CONTEXTMENU, (WPARAM)SWELL_HWND(this), SWELL_PackPoint(pt.x, pt.y));
  };
  if (m_lbMode)
    contextMenu();
  else
  {
    const NSPoint p = convertPoint(e->locationInWindow(), nullptr);
    const NSInteger row = rowAtPoint(p);
    if (row >= 0 && !isRowSelected(row))
    {
      // The user's right click selects, and the owner hears of it as of any click.
      selectRowIndexes({row}, false);
      tellSelectionDidChange();
    }
    NMLISTVIEW nm{};
    nm.hdr.code = NM_RCLICK;
    nm.iItem = (int)row;
    nm.iSubItem = (int)columnAtPoint(p);
    nm.ptAction = POINT{(int32_t)std::floor(p.x), (int32_t)std::floor(p.y)};
    if (!notifyTarget(&nm)) contextMenu();
  }
  m_fakerightmouse = false;
  release();
}

void Swell_vDavrel_64_listview::keyDown(NSEvent* e)
{
  // The style, as it is now, says whether the selection may hold several rows.
  setAllowsMultipleSelection(multipleSelection(this));
  NSTableView::keyDown(e);
}

void Swell_vDavrel_64_listview::highlightSelectionInClipRect(NSRect clip)
{
  const size_t at = GetFocus() == SWELL_HWND(this) ? 0 : 2;
  if (at >= m_selColors.size())
  {
    NSTableView::highlightSelectionInClipRect(clip);
    return;
  }
  m_selColors[at]->setFill();
  for (NSInteger r = std::max<NSInteger>(0, rowAtPoint(NSMakePoint(0, clip.origin.y)));
       r < numberOfRows() && rectOfRow(r).origin.y < NSMaxY(clip); ++r)
    if (isRowSelected(r))
    {
      const NSRect i = NSIntersectionRect(rectOfRow(r), clip);
      if (!NSIsEmptyRect(i)) NSColor::fillRect(i);
    }
}

NSColor* Swell_vDavrel_64_listview::textColorForRow(NSInteger row, bool selected)
{
  const size_t at = GetFocus() == SWELL_HWND(this) ? 1 : 3;
  if (selected && at < m_selColors.size()) return m_selColors[at];
  return m_fgColor ? m_fgColor : NSTableView::textColorForRow(row, selected);
}

LRESULT Swell_vDavrel_64_listview::onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
  const HWND h = SWELL_HWND(this);
  switch (msg)
  {
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    {
      int at = ListView_GetItemCount(h);
      if (msg == LB_INSERTSTRING && wParam < (WPARAM)at) at = (int)wParam;
      else if (msg == LB_ADDSTRING && m_lbMode && (style & LBS_SORT))
        at = sortedRow(m_items, lParam ? (const char*)lParam : "", strcmp);
      LVITEM item{};
      item.mask = LVIF_TEXT;
      item.iItem = at;
      item.pszText = (char*)lParam;
      // A list box keeps its place: the list view's sort styles are other bits here.
      const LONG saved = style;
      if (m_lbMode) style &= ~(LVS_SORTASCENDING | LVS_SORTDESCENDING);
      const int r = ListView_InsertItem(h, &item);
      style = saved;
      return r;
    }
    case LB_DELETESTRING:
      ListView_DeleteItem(h, (int)wParam);
      return 0;
    case LB_GETTEXTLEN:
    {
      if (isOwnerData() || wParam >= (WPARAM)m_items.GetSize()) return LB_ERR;
      return (LRESULT)strlen(rowText(m_items.Get((int)wParam), 0));
    }
    case LB_GETTEXT:
    {
      // The caller's buffer is taken to hold LB_GETTEXT_BUFSIZE bytes; a longer row
      // is cut, never inside a character (LB_GETTEXTLEN tells its whole length).
      // A row with no text of its own (none there, or owner data) reads as empty.
      if (lParam) *(char*)lParam = 0;
      if (lParam && !isOwnerData() && wParam < (WPARAM)m_items.GetSize())
      {
        const char* t = rowText(m_items.Get((int)wParam), 0);
        const size_t len = strlen(t);
        size_t n = std::min(len, (size_t)LB_GETTEXT_BUFSIZE - 1);
        while (n < len && n > 0 && ((unsigned char)t[n] & 0xC0) == 0x80) --n;
        memcpy((char*)lParam, t, n);
        ((char*)lParam)[n] = 0;
      }
      return 0;
    }
    case LB_RESETCONTENT:
      ownermode_cnt = 0;
      m_items.Empty(true);
      reloadData();
      return 0;
    case LB_SETSEL:
      ListView_SetItemState(h, (int)lParam, wParam ? (UINT)LVIS_SELECTED : 0u, LVIS_SELECTED);
      return 0;
    case LB_SETCURSEL:
      if (wParam < (WPARAM)numberOfRows()) selectRowIndexes({(NSInteger)wParam}, false);
      else deselectAll(nullptr);
      return 0;
    case LB_GETSEL:
      return ListView_GetItemState(h, (int)wParam, LVIS_SELECTED) & LVIS_SELECTED;
    case LB_GETCURSEL:
      return selectedRow();
    case LB_GETCOUNT:
      return numberOfRows();
    case LB_GETSELCOUNT:
      return numberOfSelectedRows();
    case LB_GETITEMDATA:
    {
      SWELL_ListView_Row* r = isOwnerData() ? nullptr : m_items.Get((int)std::min<WPARAM>(wParam, 0x7FFFFFFF));
      return r ? r->m_lparam : 0;
    }
    case LB_SETITEMDATA:
      if (SWELL_ListView_Row* r = isOwnerData() ? nullptr : m_items.Get((int)std::min<WPARAM>(wParam, 0x7FFFFFFF)))
        r->m_lparam = lParam;
      return 0;
    default:
      return 0;
  }
}

// ---- items ----

int ListView_GetItemCount(HWND h)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  return lv ? (int)lv->numberOfRows() : 0;
}

void ListView_SetItemCount(HWND h, int n)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (lv && lv->isOwnerData()) lv->ownermode_cnt = std::max(0, n);
}

int ListView_InsertItem(HWND h, const LVITEM* item)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !item || item->iSubItem || lv->isOwnerData()) return -1;
  const int count = lv->m_items.GetSize();
  int pos = std::max(0, std::min(item->iItem, count));
  const char* text = (item->mask & LVIF_TEXT) && item->pszText ? item->pszText : "";
  if ((item->mask & LVIF_TEXT) && !lv->m_lbMode)
  {
    if (lv->style & LVS_SORTASCENDING) pos = sortedRow(lv->m_items, text, strcmp);
    else if (lv->style & LVS_SORTDESCENDING)
      pos = sortedRow(lv->m_items, text, [](const char* a, const char* b) { return strcmp(b, a); });
  }
  SWELL_ListView_Row* row = new SWELL_ListView_Row;
  row->m_texts.Add(strdup(text));
  if (item->mask & LVIF_PARAM) row->m_lparam = item->lParam;
  if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_STATEIMAGEMASK))
    row->m_image = (int)((item->state >> 16) & 0xFF);
  lv->m_items.Insert(pos, row);
  NSIndexSet moved;
  if (pos < count)
    for (NSInteger r : lv->selectedRowIndexes()) moved.insert(r >= pos ? r + 1 : r);
  lv->reloadData();
  if (pos < count) lv->selectRowIndexes(moved, false);
  if ((item->mask & LVIF_STATE) && (item->stateMask & item->state & LVIS_SELECTED)) selectRow(lv, pos);
  return pos;
}

void ListView_DeleteItem(HWND h, int item)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || lv->isOwnerData() || item < 0 || item >= lv->m_items.GetSize()) return;
  NSIndexSet moved;
  for (NSInteger r : lv->selectedRowIndexes())
    if (r != item) moved.insert(r > item ? r - 1 : r);
  lv->m_items.Delete(item, true);
  lv->selectRowIndexes(moved, false);
  lv->reloadData();
}

void ListView_DeleteAllItems(HWND h)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv) return;
  lv->ownermode_cnt = 0;
  lv->m_items.Empty(true);
  lv->reloadData();
}

bool ListView_GetItem(HWND h, LVITEM* item)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !item) return false;
  if ((item->mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) item->pszText[0] = 0;
  item->state = 0;
  if (lv->isOwnerData())
    return item->iItem >= 0 && item->iItem < lv->ownermode_cnt;
  SWELL_ListView_Row* row = lv->m_items.Get(item->iItem);
  if (!row) return false;
  if (item->mask & LVIF_PARAM) item->lParam = row->m_lparam;
  if (item->mask & LVIF_TEXT) lstrcpyn(item->pszText, rowText(row, item->iSubItem), item->cchTextMax);
  if (item->mask & LVIF_STATE)
  {
    if (item->stateMask & LVIS_STATEIMAGEMASK) item->state = (UINT)row->m_image << 16;
    if ((item->stateMask & LVIS_SELECTED) && lv->isRowSelected(item->iItem)) item->state |= LVIS_SELECTED;
    if ((item->stateMask & LVIS_FOCUSED) && lv->selectedRow() == item->iItem) item->state |= LVIS_FOCUSED;
  }
  return true;
}

bool ListView_SetItem(HWND h, LVITEM* item)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !item) return false;
  if (!lv->isOwnerData())
  {
    SWELL_ListView_Row* row = lv->m_items.Get(item->iItem);
    if (!row) return false;
    if (item->mask & LVIF_PARAM) row->m_lparam = item->lParam;
    if ((item->mask & LVIF_TEXT) && item->pszText) ListView_SetItemText(h, item->iItem, item->iSubItem, item->pszText);
    if ((item->mask & LVIF_IMAGE) && item->iImage >= 0)
    {
      row->m_image = item->iImage + 1;
      lv->reloadData();
    }
  }
  if ((item->mask & LVIF_STATE) && item->stateMask) ListView_SetItemState(h, item->iItem, item->state, item->stateMask);
  return true;
}

void ListView_GetItemText(HWND h, int item, int sub, char* buf, int size)
{
  LVITEM it{};
  it.mask = LVIF_TEXT;
  it.iItem = item;
  it.iSubItem = sub;
  it.pszText = buf;
  it.cchTextMax = size;
  ListView_GetItem(h, &it);
}

void ListView_SetItemText(HWND h, int item, int sub, const char* text)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || (unsigned)sub > 31 || lv->isOwnerData() || !text) return;
  SWELL_ListView_Row* row = lv->m_items.Get(item);
  if (!row) return;
  while (row->m_texts.GetSize() < sub) row->m_texts.Add(strdup(""));
  if (sub < row->m_texts.GetSize())
  {
    free(row->m_texts.Get(sub));
    row->m_texts.Set(sub, strdup(text));
  }
  else
    row->m_texts.Add(strdup(text));
  lv->reloadData();
}

UINT ListView_GetItemState(HWND h, int item, UINT mask)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || item < 0 || item >= lv->numberOfRows()) return 0;
  UINT state = 0;
  if (!lv->isOwnerData() && (mask & LVIS_STATEIMAGEMASK))
    if (SWELL_ListView_Row* row = lv->m_items.Get(item)) state = (UINT)row->m_image << 16;
  if ((mask & LVIS_SELECTED) && lv->isRowSelected(item)) state |= LVIS_SELECTED;
  if ((mask & LVIS_FOCUSED) && lv->selectedRow() == item) state |= LVIS_FOCUSED;
  return state;
}

bool ListView_SetItemState(HWND h, int item, UINT state, UINT mask)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv) return false;
  if (item == -1)
  {
    ++g_suppressItemChanged;
    for (int i = 0, n = (int)lv->numberOfRows(); i < n; ++i) ListView_SetItemState(h, i, state, mask);
    --g_suppressItemChanged;
    lv->reloadData();
    return true;
  }
  if (item < 0 || item >= lv->numberOfRows()) return false;
  bool imageChanged = false, selChanged = false;
  if (!lv->isOwnerData())
  {
    SWELL_ListView_Row* row = lv->m_items.Get(item);
    if (!row) return false;
    if (mask & LVIS_STATEIMAGEMASK)
    {
      const int image = (int)((state >> 16) & 0xFF);
      imageChanged = image != row->m_image;
      row->m_image = image;
    }
  }
  if (mask & LVIS_SELECTED)
  {
    const bool was = lv->isRowSelected(item);
    if ((state & LVIS_SELECTED) && !was) selectRow(lv, item);
    else if (!(state & LVIS_SELECTED) && was) lv->deselectRow(item);
    selChanged = was != lv->isRowSelected(item);
  }
  if (selChanged && !g_suppressItemChanged && !g_inItemChanged)
  {
    g_inItemChanged = true;
    NMLISTVIEW nm{};
    nm.hdr = NMHDR{h, (UINT_PTR)lv->tag(), LVN_ITEMCHANGED};
    nm.iItem = item;
    nm.uNewState = state;
    SendMessage(GetParent(h), WM_NOTIFY, (WPARAM)lv->tag(), (LPARAM)&nm);
    g_inItemChanged = false;
  }
  if (imageChanged) lv->reloadData();
  return true;
}

int ListView_GetNextItem(HWND h, int start, int flags)
{
  if (flags != LVNI_FOCUSED && flags != LVNI_SELECTED) return -1;
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv) return -1;
  if (flags == LVNI_SELECTED) return (int)lv->selectedRow();
  const NSIndexSet& s = lv->selectedRowIndexes();
  auto it = s.lower_bound(start < 0 ? 0 : (NSInteger)start + 1);
  return it == s.end() ? -1 : (int)*it;
}

int ListView_GetSelectedCount(HWND h)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  return lv ? (int)lv->numberOfSelectedRows() : 0;
}

int ListView_GetSelectionMark(HWND h)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  return lv ? (int)lv->selectedRow() : 0;
}

void ListView_RedrawItems(HWND h, int, int)
{
  if (Swell_vDavrel_64_listview* lv = LV(h)) lv->reloadData();
}

void ListView_EnsureVisible(HWND h, int item, BOOL)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv) return;
  item = std::min(item, (int)lv->numberOfRows() - 1);
  if (item < 0) item = lv->numberOfRows() > 0 ? 0 : -1;
  if (item >= 0) lv->scrollRowToVisible(item);
}

namespace {
typedef int (*SortCompare)(LPARAM, LPARAM, LPARAM);

void mergeSort(SWELL_ListView_Row** a, int n, SortCompare cmp, LPARAM lp, SWELL_ListView_Row** scratch)
{
  if (n < 2) return;
  const int l = n / 2, r = n - l;
  if (n > 2)
  {
    mergeSort(a, l, cmp, lp, scratch);
    mergeSort(a + l, r, cmp, lp, scratch);
  }
  int i = 0, j = 0, k = 0;
  while (i < l && j < r)
  {
    if (cmp(a[i]->m_lparam, a[l + j]->m_lparam, lp) <= 0) scratch[k++] = a[i++];
    else scratch[k++] = a[l + j++];
  }
  // What is left of the left half goes after the merged entries; what is left of
  // the right half already sits at the end.
  while (i < l) scratch[k++] = a[i++];
  memcpy(a, scratch, (size_t)k * sizeof *a);
}
}  // namespace

void ListView_SortItems(HWND h, int (*compare)(LPARAM, LPARAM, LPARAM), LPARAM lParam)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !compare || lv->isOwnerData() || lv->m_lbMode) return;
  const int n = lv->m_items.GetSize();
  for (int i = 0; i < n; ++i) lv->m_items.Get(i)->m_sortSelected = lv->isRowSelected(i);
  std::vector<SWELL_ListView_Row*> scratch((size_t)n);
  mergeSort(lv->m_items.GetList(), n, compare, lParam, scratch.data());
  if (n > 0)
  {
    NSIndexSet sel;
    for (int i = 0; i < n; ++i)
      if (lv->m_items.Get(i)->m_sortSelected) sel.insert(i);
    lv->selectRowIndexes(sel, false);
  }
  lv->reloadData();
}

// ---- columns and header ----

namespace {
NSTextAlignment alignmentOf(int fmt)
{
  if (fmt == LVCFMT_RIGHT) return NSRightTextAlignment;
  return fmt == LVCFMT_CENTER ? NSCenterTextAlignment : NSLeftTextAlignment;
}
}  // namespace

void ListView_InsertColumn(HWND h, int, const LVCOLUMN* col)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !col) return;
  NSTableColumn* c = new NSTableColumn;
  NSCell* cell;
  if (lv->m_cols.empty() && lv->m_status_imagelist && !lv->m_lbMode)
    cell = Swell_vDavrel_64_statuscell::initNewCell();
  else if (lv->m_lbMode && (lv->style & LBS_OWNERDRAWFIXED))
  {
    auto* od = new Swell_vDavrel_64_ODlistviewcell;
    od->setOwnerControl(lv);
    cell = od;
  }
  else
    cell = new Swell_vDavrel_64_listviewcell;
  c->setDataCell(cell);
  cell->release();
  if (col->cx == 0) c->setHidden(true);
  else c->setWidth(col->cx);
  if (col->fmt == 1 || col->fmt == 2) c->setHeaderAlignment(alignmentOf(col->fmt));
  if (!lv->m_lbMode && !(lv->style & LVS_NOCOLUMNHEADER) && col->pszText) c->setHeaderTitle(col->pszText);
  lv->addTableColumn(c);
  lv->m_cols.push_back(c);
  c->release();
}

void ListView_SetColumn(HWND h, int col, const LVCOLUMN* lvc)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  NSTableColumn* c = lv && lvc ? lv->colAt(col) : nullptr;
  if (!c) return;
  if ((lvc->mask & LVCF_FMT) && lvc->fmt >= 0 && lvc->fmt <= 2) c->setHeaderAlignment(alignmentOf(lvc->fmt));
  if (lvc->mask & LVCF_WIDTH) ListView_SetColumnWidth(h, col, lvc->cx);
  if ((lvc->mask & LVCF_TEXT) && lvc->pszText && !lv->m_lbMode && !(lv->style & LVS_NOCOLUMNHEADER))
    c->setHeaderTitle(lvc->pszText);
  lv->reloadData();
}

bool ListView_DeleteColumn(HWND h, int col)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  NSTableColumn* c = lv ? lv->colAt(col) : nullptr;
  if (!c) return false;
  c->retain();
  lv->m_cols.erase(lv->m_cols.begin() + col);
  lv->removeTableColumn(c);
  c->release();
  return true;
}

int ListView_GetColumnWidth(HWND h, int col)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  NSTableColumn* c = lv ? lv->colAt(col) : nullptr;
  if (!c || c->isHidden()) return 0;
  return (int)std::floor(c->width() + 0.5);
}

void ListView_SetColumnWidth(HWND h, int col, int width)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  NSTableColumn* c = lv ? lv->colAt(col) : nullptr;
  if (!c) return;
  c->setHidden(width == 0);
  if (width) c->setWidth(width);
  lv->reloadData();
}

bool ListView_GetColumnOrderArray(HWND h, int n, int* order)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !order || n != (int)lv->m_cols.size()) return false;
  for (int i = 0; i < n; ++i) order[i] = lv->getColumnPos(i);
  return true;
}

bool ListView_SetColumnOrderArray(HWND h, int n, const int* order)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !order || n != (int)lv->m_cols.size() || n != lv->numberOfColumns()) return false;
  // Every position once, or the order is refused whole.
  std::vector<bool> seen((size_t)n, false);
  for (int i = 0; i < n; ++i)
  {
    if (order[i] < 0 || order[i] >= n || seen[(size_t)order[i]]) return false;
    seen[(size_t)order[i]] = true;
  }
  for (int i = 0; i < n; ++i) lv->moveColumn(lv->getColumnPos(i), order[i]);
  return true;
}

HWND ListView_GetHeader(HWND h) { return LV(h) ? h : nullptr; }

int Header_GetItemCount(HWND h)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  return lv ? (int)lv->m_cols.size() : 0;
}

bool Header_GetItem(HWND h, int col, HDITEM* hi)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  NSTableColumn* c = lv && hi ? lv->colAt(col) : nullptr;
  if (!c) return false;
  if (hi->mask & HDI_FORMAT)
  {
    hi->fmt = 0;
    if (c->indicatorImageName() == "NSAscendingSortIndicator") hi->fmt = HDF_SORTUP;
    else if (c->indicatorImageName() == "NSDescendingSortIndicator") hi->fmt = HDF_SORTDOWN;
  }
  return true;
}

bool Header_SetItem(HWND h, int col, const HDITEM* hi)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  NSTableColumn* c = lv && hi ? lv->colAt(col) : nullptr;
  if (!c) return false;
  if (hi->mask & HDI_FORMAT)
  {
    c->setIndicatorImageName((hi->fmt & HDF_SORTUP)     ? "NSAscendingSortIndicator"
                             : (hi->fmt & HDF_SORTDOWN) ? "NSDescendingSortIndicator"
                                                        : "");
    if (lv->headerView()) lv->headerView()->setNeedsDisplay(true);
  }
  return true;
}

int SWELL_GetListViewHeaderHeight(HWND h)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  return lv && lv->headerView() ? (int)(lv->headerView()->bounds().size.height + 0.5) : 0;
}

void ListView_SetExtendedListViewStyleEx(HWND h, int mask, int style)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv) return;
  if (mask & LVS_EX_GRIDLINES) lv->setGridStyleMask((style & LVS_EX_GRIDLINES) ? 3 : 0);
  if (mask & LVS_EX_HEADERDRAGDROP) lv->setAllowsColumnReordering((style & LVS_EX_HEADERDRAGDROP) != 0);
  lv->setNeedsDisplay(true);
}

void SWELL_SetListViewFastClickMask(HWND h, int mask)
{
  if (Swell_vDavrel_64_listview* lv = LV(h)) lv->m_fastClickMask = (uint32_t)mask;
}

void ListView_SetImageList(HWND h, WDL_PtrList<HGDIOBJ__>* list, int which)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  // A null list takes the images away again.
  if (!lv) return;
  lv->m_status_imagelist_type = which;
  lv->m_status_imagelist = list;
  // Column 0 of a list view shows the images: a square before the text, kept
  // only while there is a list. List boxes show text alone.
  if (NSTableColumn* c = lv->m_lbMode ? nullptr : lv->colAt(0))
  {
    const bool status = dynamic_cast<Swell_vDavrel_64_statuscell*>(c->dataCell()) != nullptr;
    NSCell* cell = nullptr;
    if (list && !status) cell = Swell_vDavrel_64_statuscell::initNewCell();
    else if (!list && status) cell = new Swell_vDavrel_64_listviewcell;
    if (cell)
    {
      c->setDataCell(cell);
      cell->release();
    }
  }
  lv->reloadData();
}

// ---- geometry and scrolling ----

int ListView_HitTest(HWND h, LVHITTESTINFO* info)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  if (!lv || !info) return -1;
  info->flags = 0;
  info->iItem = -1;
  const NSRect v = documentVisible(visibleArea(lv));
  const int dx = (int)(info->pt.x - v.origin.x), dy = (int)(info->pt.y - v.origin.y);
  if (dx < 0) info->flags |= LVHT_TOLEFT;
  if (dx >= (int)v.size.width) info->flags |= LVHT_TORIGHT;
  if (dy < 0) info->flags |= LVHT_ABOVE;
  if (dy >= (int)v.size.height) info->flags |= LVHT_BELOW;
  if (!info->flags)
  {
    info->iItem = (int)lv->rowAtPoint(NSMakePoint(info->pt.x, info->pt.y));
    if (info->iItem < 0) info->flags = LVHT_NOWHERE;
    else if (lv->m_status_imagelist && info->pt.x <= lv->rowHeight()) info->flags = LVHT_ONITEMSTATEICON;
    else info->flags = LVHT_ONITEMLABEL;
  }
  return info->iItem;
}

int ListView_SubItemHitTest(HWND h, LVHITTESTINFO* info)
{
  const int r = ListView_HitTest(h, info);
  if (Swell_vDavrel_64_listview* lv = info ? LV(h) : nullptr)
    info->iSubItem =
        (int)lv->columnAtPoint(NSMakePoint(info->pt.x, r < 0 && info->pt.y < 0 ? 0 : info->pt.y));
  return r;
}

bool ListViewGetRectImpl(HWND h, int item, int sub, RECT* out)
{
  Swell_vDavrel_64_listview* lv = LV(h);
  // Only an existing row has a rectangle.
  if (!lv || !out || item < 0 || item >= lv->numberOfRows()) return false;
  if (sub >= 0 && sub >= (int)lv->m_cols.size()) return false;
  const int pos = sub < 0 ? -1 : lv->getColumnPos(sub);
  const NSRect r = pos < 0 ? lv->rectOfRow(item) : lv->frameOfCellAtColumn(pos, item);
  const NSSize s = lv->intercellSpacing();
  *out = RECT{(int32_t)r.origin.x, (int32_t)r.origin.y, (int32_t)(r.origin.x + r.size.width + s.width),
              (int32_t)(r.origin.y + r.size.height + s.height)};
  return true;
}

bool ListView_GetItemRect(HWND h, int item, RECT* r, int) { return ListViewGetRectImpl(h, item, -1, r); }

bool ListView_GetSubItemRect(HWND h, int item, int sub, int, RECT* r) { return ListViewGetRectImpl(h, item, sub, r); }

int ListView_GetTopIndex(HWND h)
{
  NSTableView* t = h ? dynamic_cast<NSTableView*>(SWELL_Object(h)) : nullptr;
  NSScrollView* s = t ? t->enclosingScrollView() : nullptr;
  if (!s) return -1;
  return (int)t->rowAtPoint(NSMakePoint(0, s->documentVisibleRect().origin.y));
}

int ListView_GetCountPerPage(HWND h)
{
  NSTableView* t = h ? dynamic_cast<NSTableView*>(SWELL_Object(h)) : nullptr;
  NSScrollView* s = t ? t->enclosingScrollView() : nullptr;
  if (!s) return 0;
  return (int)s->documentVisibleRect().size.height / (int)t->rowHeight();
}

bool ListView_Scroll(HWND h, int dx, int dy)
{
  NSTableView* t = h ? dynamic_cast<NSTableView*>(SWELL_Object(h)) : nullptr;
  NSScrollView* s = t ? t->enclosingScrollView() : nullptr;
  if (!s) return false;
  const NSRect v = s->documentVisibleRect();
  const NSPoint ref = NSMakePoint(dx > 0 ? v.origin.x + v.size.width - 1 : v.origin.x,
                                  dy > 0 ? v.origin.y + v.size.height - 1 : v.origin.y);
  const NSInteger lastRow = t->numberOfRows() - 1, lastCol = t->numberOfColumns() - 1;
  auto clampIdx = [](NSInteger v, NSInteger last) { return std::max<NSInteger>(0, std::min(v, last)); };
  NSInteger row = t->rowAtPoint(ref), col = t->NSTableView::columnAtPoint(ref);
  row = row < 0 ? 0 : clampIdx(row, lastRow);
  col = col < 0 ? 0 : clampIdx(col, lastCol);
  const NSRect cell = t->frameOfCellAtColumn(col, row);
  const NSInteger cols = cell.size.width > 0 ? (NSInteger)(dx / cell.size.width) : 0;
  const NSInteger rows = cell.size.height > 0 ? (NSInteger)(dy / cell.size.height) : 0;
  t->scrollRowToVisible(clampIdx(row + rows, lastRow));
  t->scrollColumnToVisible(clampIdx(col + cols, lastCol));
  return true;
}

bool ListView_GetScroll(HWND h, POINT* p)
{
  // Any view inside a scroll view answers, not only a list.
  NSView* v = h ? dynamic_cast<NSView*>(SWELL_Object(h)) : nullptr;
  NSScrollView* s = v ? v->enclosingScrollView() : nullptr;
  if (p) *p = POINT{0, 0};
  if (!s) return false;
  if (p) *p = POINT{(int32_t)s->documentVisibleRect().origin.x, (int32_t)s->documentVisibleRect().origin.y};
  return true;
}

// ---- colours ----

void ListView_SetBkColor(HWND h, COLORREF c)
{
  if (Swell_vDavrel_64_listview* lv = LV(h)) lv->setBackgroundColor(SWELL_ColorOf(c));
}

void ListView_SetGridColor(HWND h, COLORREF c)
{
  if (Swell_vDavrel_64_listview* lv = LV(h)) lv->setGridColor(SWELL_ColorOf(c));
}

void ListView_SetTextColor(HWND h, COLORREF c)
{
  if (Swell_vDavrel_64_listview* lv = LV(h)) AKAssign(lv->m_fgColor, SWELL_ColorOf(c));
}

void ListView_SetTextBkColor(HWND, COLORREF) {}

// Stored on a list view or a tree view; other handles keep nothing.
void ListView_SetSelColors(HWND h, const int* colors, int n)
{
  NSObject* o = h ? SWELL_Object(h) : nullptr;
  Swell_vDavrel_64_listview* lv = dynamic_cast<Swell_vDavrel_64_listview*>(o);
  Swell_vDavrel_64_treeview* tv = dynamic_cast<Swell_vDavrel_64_treeview*>(o);
  std::vector<NSColor*>* list = lv ? &lv->m_selColors : (tv ? &tv->m_selColors : nullptr);
  if (!list) return;
  for (NSColor*& c : *list) AKRelease(c);
  list->clear();
  for (int i = 0; i < n; ++i) list->push_back(AKRetain(SWELL_ColorOf(colors ? colors[i] : 0)));
  static_cast<NSView*>(lv ? (NSView*)lv : (NSView*)tv)->setNeedsDisplay(true);
}
