#pragma once
// The list view ("SysListView32") and, in list box mode, the list box: one table
// view that is its own data source, with stored rows or, in owner-data mode, rows
// whose cells are asked from the owner as they are drawn. The ListView_* and
// Header_* functions work on it; the header is the list view itself. Main thread
// only.
//
// It lives in a scroll view: made with new, given the control id as tag, its
// owner window view as target, its style with setSwellStyle and its mode with
// setSwellNotificationMode, then set as the scroll view's document view.

#include "base/ptrlist.h"
#include "platform/appkit/NSTableView.h"
#include "winsys/gdi.h"
#include "winsys/msgloop/target.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/messages.h"

// Item state bits of this layer.
enum : UINT
{
  LVIS_SELECTED = 0x1,
  LVIS_FOCUSED = 0x2,
  LVIS_STATEIMAGEMASK = 0xFF0000
};
// Column alignments of LVCOLUMN.fmt.
enum
{
  LVCFMT_LEFT = 0,
  LVCFMT_RIGHT = 1,
  LVCFMT_CENTER = 2
};
enum : UINT
{
  LVIF_TEXT = 0x1,
  LVIF_IMAGE = 0x2,
  LVIF_PARAM = 0x4,
  LVIF_STATE = 0x8,
  LVCF_FMT = 0x1,
  LVCF_WIDTH = 0x2,
  LVCF_TEXT = 0x4,
  HDI_FORMAT = 0x4,
  HDF_SORTDOWN = 0x200,
  HDF_SORTUP = 0x400,
  LVNI_FOCUSED = 0x1,  // the first selected row after start
  LVNI_SELECTED = 0x2, // the table's selected row
  LVHT_NOWHERE = 0x1,
  LVHT_ONITEMLABEL = 0x4,
  LVHT_ONITEMSTATEICON = 0x8,
  LVHT_ABOVE = 0x10,
  LVHT_BELOW = 0x20,
  LVHT_TORIGHT = 0x40,
  LVHT_TOLEFT = 0x80,
  LVS_EX_GRIDLINES = 0x1,
  LVS_EX_HEADERDRAGDROP = 0x10,
  LVSIL_STATE = 1,
  LVSIL_SMALL = 2
};
enum : LONG
{
  LBS_SORT = 0x2,
  LBS_OWNERDRAWFIXED = 0x10,  // in list box mode: rows drawn by the owner
  LVS_SINGLESEL = 0x4,
  LVS_SORTASCENDING = 0x10,
  LVS_SORTDESCENDING = 0x20,
  LBS_EXTENDEDSEL = 0x800,
  LVS_OWNERDATA = 0x1000,
  LVS_NOCOLUMNHEADER = 0x4000,
  LVS_NOSORTHEADER = 0x8000
};
enum : UINT
{
  NM_CLICK = (UINT)-2,
  NM_RCLICK = (UINT)-5,
  LVN_ITEMCHANGED = (UINT)-101,
  LVN_BEGINDRAG = (UINT)-109,
  LVN_GETDISPINFO = (UINT)-150,
  LB_ADDSTRING = 0x180,
  LB_INSERTSTRING = 0x181,
  LB_DELETESTRING = 0x182,
  LB_GETTEXT = 0x183,
  LB_RESETCONTENT = 0x184,
  LB_SETSEL = 0x185,
  LB_SETCURSEL = 0x186,
  LB_GETSEL = 0x187,
  LB_GETCURSEL = 0x188,
  LB_GETTEXTLEN = 0x18A,
  LB_GETCOUNT = 0x18B,
  LB_GETSELCOUNT = 0x190,
  LB_GETITEMDATA = 0x199,
  LB_SETITEMDATA = 0x19A
};
// What the buffer of LB_GETTEXT is taken to hold, terminating zero included.
const int LB_GETTEXT_BUFSIZE = 4096;
const LRESULT LB_ERR = -1;

struct LVITEM
{
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  char* pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
};

struct LVCOLUMN
{
  UINT mask;
  int fmt;
  int cx;
  char* pszText;
  int cchTextMax;
  int iSubItem;
};

struct HDITEM
{
  UINT mask;
  int cxy;
  char* pszText;
  HGDIOBJ hbm;
  int cchTextMax;
  int fmt;
  LPARAM lParam;
};

struct LVHITTESTINFO
{
  POINT pt;
  UINT flags;
  int iItem;
  int iSubItem;
};

struct NMLVDISPINFO
{
  NMHDR hdr;
  LVITEM item;
};

// One stored row: a text per logical column, the item's parameter and its image.
class SWELL_ListView_Row
{
public:
  SWELL_ListView_Row() { ++s_live; }
  ~SWELL_ListView_Row();
  SWELL_ListView_Row(const SWELL_ListView_Row&) = delete;
  SWELL_ListView_Row& operator=(const SWELL_ListView_Row&) = delete;
  // Rows alive in the process, so tests can tell none were made.
  static long liveRows() { return s_live; }

  WDL_PtrList<char> m_texts;
  LPARAM m_lparam = 0;
  int m_image = 0;  // 1-based index into the image list, 0 for none
  bool m_sortSelected = false;

private:
  static long s_live;
};

class Swell_vDavrel_64_listview : public SWELL_Redrawn<NSTableView>, public NSTableViewDataSource, public SWELL_WindowTarget
{
public:
  explicit Swell_vDavrel_64_listview(NSRect frame);

  LONG getSwellStyle() const { return style; }
  void setSwellStyle(LONG s) { style = s; }
  int getSwellNotificationMode() const { return m_lbMode; }
  void setSwellNotificationMode(int mode) { m_lbMode = mode; }
  bool isOwnerData() const { return !m_lbMode && (style & LVS_OWNERDATA); }
  // Logical index (insertion order) to display position and back; indices
  // outside the columns come back unchanged.
  int getColumnPos(int idx) const;
  int getColumnIdx(int pos) const;
  NSInteger columnAtPoint(NSPoint p) const override;  // logical

  // ---- data source ----
  NSInteger numberOfRowsInTableView(NSTableView*) override;
  std::string tableViewObjectValue(NSTableView*, NSTableColumn* column, NSInteger row) override;

  // ---- messages ----
  LRESULT onSwellMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool swellCanPostMessage() override { return true; }
  void SWELL_Timer(UINT_PTR) override {}

  // ---- mouse ----
  void mouseDown(NSEvent* e) override;
  void mouseDragged(NSEvent* e) override;
  void mouseUp(NSEvent* e) override;
  void rightMouseUp(NSEvent* e) override;
  // The table's keys, Shift extending the selection where the style lets it.
  void keyDown(NSEvent* e) override;
  void highlightSelectionInClipRect(NSRect clip) override;
  NSColor* textColorForRow(NSInteger row, bool selected) override;

  int m_leftmousemovecnt = 0;
  bool m_fakerightmouse = false;
  LONG style = 0;
  int ownermode_cnt = 0;
  int m_start_item = -1, m_start_subitem = -1;
  int m_start_item_clickmode = 0;
  int m_lbMode = 0;
  WDL_PtrList<SWELL_ListView_Row> m_items;
  // Columns in insertion order: the position here is the logical column index.
  std::vector<NSTableColumn*> m_cols;
  NSTableColumn* colAt(int idx) const { return idx >= 0 && idx < (int)m_cols.size() ? m_cols[(size_t)idx] : nullptr; }
  int colIndex(const NSTableColumn* c) const;
  WDL_PtrList<HGDIOBJ__>* m_status_imagelist = nullptr;
  int m_status_imagelist_type = -1;
  uint32_t m_fastClickMask = 0;
  NSColor* m_fgColor = nullptr;
  std::vector<NSColor*> m_selColors;  // retained

protected:
  ~Swell_vDavrel_64_listview() override;

private:
  // Tells the column's cell about the row it draws next: its index (owner-drawn
  // list box) or its image (1-based index into the image list, 0 for none).
  void prepareCell(NSTableColumn* column, int row, int image);
  void sendClick(UINT code, NSPoint p, bool withParam);
  LRESULT notifyTarget(NMLISTVIEW* nm);
};

// ---- items ----
int ListView_GetItemCount(HWND h);
void ListView_SetItemCount(HWND h, int n);
// The position of the new row; -1 when no row was made (a null item, a sub-item,
// owner data or no list view).
int ListView_InsertItem(HWND h, const LVITEM* item);
void ListView_DeleteItem(HWND h, int item);
void ListView_DeleteAllItems(HWND h);
bool ListView_GetItem(HWND h, LVITEM* item);
bool ListView_SetItem(HWND h, LVITEM* item);
void ListView_GetItemText(HWND h, int item, int sub, char* buf, int size);
void ListView_SetItemText(HWND h, int item, int sub, const char* text);
UINT ListView_GetItemState(HWND h, int item, UINT mask);
bool ListView_SetItemState(HWND h, int item, UINT state, UINT mask);
int ListView_GetNextItem(HWND h, int start, int flags);
int ListView_GetSelectedCount(HWND h);
int ListView_GetSelectionMark(HWND h);
void ListView_RedrawItems(HWND h, int first, int last);
void ListView_EnsureVisible(HWND h, int item, BOOL partial);
// Stable; compare gets the rows' parameters and lParam.
void ListView_SortItems(HWND h, int (*compare)(LPARAM, LPARAM, LPARAM), LPARAM lParam);

// ---- columns and header ----
// Appends the column whatever pos says; only fmt, cx and pszText are read.
void ListView_InsertColumn(HWND h, int pos, const LVCOLUMN* col);
void ListView_SetColumn(HWND h, int col, const LVCOLUMN* lvc);
bool ListView_DeleteColumn(HWND h, int col);
int ListView_GetColumnWidth(HWND h, int col);
void ListView_SetColumnWidth(HWND h, int col, int width);
bool ListView_GetColumnOrderArray(HWND h, int n, int* order);
// order must hold each display position once; otherwise nothing changes.
bool ListView_SetColumnOrderArray(HWND h, int n, const int* order);
HWND ListView_GetHeader(HWND h);
int Header_GetItemCount(HWND h);
bool Header_GetItem(HWND h, int col, HDITEM* hi);
bool Header_SetItem(HWND h, int col, const HDITEM* hi);
int SWELL_GetListViewHeaderHeight(HWND h);
void ListView_SetExtendedListViewStyleEx(HWND h, int mask, int style);
void SWELL_SetListViewFastClickMask(HWND h, int mask);
void ListView_SetImageList(HWND h, WDL_PtrList<HGDIOBJ__>* list, int which);

// ---- geometry and scrolling ----
int ListView_HitTest(HWND h, LVHITTESTINFO* info);
int ListView_SubItemHitTest(HWND h, LVHITTESTINFO* info);
// The rectangle of a row (sub < 0) or of one of its cells, in the list's own
// coordinates; false for an item outside 0..count or a column outside the columns.
bool ListViewGetRectImpl(HWND h, int item, int sub, RECT* out);
// Rows 0..count-1 only.
bool ListView_GetItemRect(HWND h, int item, RECT* r, int code);
bool ListView_GetSubItemRect(HWND h, int item, int sub, int code, RECT* r);
int ListView_GetTopIndex(HWND h);
int ListView_GetCountPerPage(HWND h);
bool ListView_Scroll(HWND h, int dx, int dy);
bool ListView_GetScroll(HWND h, POINT* p);

// ---- colours ----
void ListView_SetBkColor(HWND h, COLORREF c);
void ListView_SetGridColor(HWND h, COLORREF c);
void ListView_SetTextColor(HWND h, COLORREF c);
void ListView_SetTextBkColor(HWND h, COLORREF c);
void ListView_SetSelColors(HWND h, const int* colors, int n);
