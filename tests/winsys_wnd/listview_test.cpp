// The list view and list box: rows, columns, selection, sorting, owner data, hit
// tests and the mouse protocol with its notifications.

#include "wnd_test_util.h"

#include "platform/appkit/NSTableView.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_draw.h"
#include "winsys/gdi_image.h"
#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/ctl_listcells.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"

#include <algorithm>
#include <random>

namespace {

class ListView : public WndTest
{
protected:
  // A list view of the given style in a scroll view of the window view top.
  HWND Make(HWND top, LONG style, int lbMode = 0, std::vector<int> widths = {80, 60},
            NSRect frame = NSMakeRect(10, 10, 200, 120))
  {
    NSScrollView* s = new NSScrollView(frame);
    dynamic_cast<NSView*>(SWELL_Object(top))->addSubview(s);
    s->release();
    Swell_vDavrel_64_listview* lv = new Swell_vDavrel_64_listview(NSMakeRect(0, 0, frame.size.width, 0));
    lv->setTag(70);
    lv->setTarget(SWELL_Object(top));
    lv->setDelegate(SWELL_WindowView(top));
    lv->setDoubleAction(SWELL_DOUBLE_ACTION);
    lv->setSwellStyle(style);
    lv->setSwellNotificationMode(lbMode);
    if (lbMode || (style & LVS_NOCOLUMNHEADER)) lv->setHeaderView(nullptr);
    s->setDocumentView(lv);
    lv->release();
    for (size_t i = 0; i < widths.size(); ++i)
    {
      std::string title = "Col " + std::to_string(i);
      LVCOLUMN c{0, 0, widths[i], &title[0], 0, 0};
      ListView_InsertColumn(SWELL_HWND(lv), (int)i, &c);
    }
    return SWELL_HWND(lv);
  }
  static int Add(HWND h, const char* text, int at = 1 << 30, LPARAM param = 0, UINT extraMask = 0, UINT state = 0)
  {
    LVITEM it{};
    it.mask = LVIF_TEXT | LVIF_PARAM | extraMask;
    it.iItem = at;
    it.pszText = const_cast<char*>(text);
    it.lParam = param;
    it.state = state;
    it.stateMask = state;
    return ListView_InsertItem(h, &it);
  }
  static std::vector<std::string> Texts(HWND h, int col = 0)
  {
    std::vector<std::string> r;
    char buf[64];
    for (int i = 0; i < ListView_GetItemCount(h); ++i)
    {
      ListView_GetItemText(h, i, col, buf, sizeof buf);
      r.push_back(buf);
    }
    return r;
  }
  static std::vector<int> Selected(HWND h)
  {
    std::vector<int> r;
    for (int i = ListView_GetNextItem(h, -1, LVNI_FOCUSED); i >= 0; i = ListView_GetNextItem(h, i, LVNI_FOCUSED))
      r.push_back(i);
    return r;
  }
  Swell_vDavrel_64_listview* Obj(HWND h) { return dynamic_cast<Swell_vDavrel_64_listview*>(SWELL_Object(h)); }
};

using V = std::vector<std::string>;

TEST_F(ListView, InsertionSortingAndFailures)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  struct
  {
    LONG style;
    int lbMode;
    V want;
  } orders[] = {{LVS_SORTASCENDING, 0, {"a", "b", "c"}},
                {LVS_SORTDESCENDING, 0, {"c", "b", "a"}},
                {0, 0, {"b", "a", "c"}},
                {LVS_SORTASCENDING, 1, {"b", "a", "c"}}};  // in a list box the bit means owner-drawn
  for (const auto& o : orders)
  {
    const HWND h = Make(top, o.style, o.lbMode);
    for (const char* s : {"b", "a", "c"}) Add(h, s);
    EXPECT_EQ(Texts(h), o.want) << o.style << " " << o.lbMode;
  }

  // A sorted list box sorts what is added; an index past the end (or -1) appends.
  const HWND lb = Make(top, LBS_SORT, 1, {150});
  for (const char* s : {"pear", "apple", "fig"}) SendMessage(lb, LB_ADDSTRING, 0, (LPARAM)s);
  EXPECT_EQ(SendMessage(lb, LB_INSERTSTRING, (WPARAM)-1, (LPARAM) "zz"), 3);
  EXPECT_EQ(SendMessage(lb, LB_INSERTSTRING, 1, (LPARAM) "kiwi"), 1);
  EXPECT_EQ(Texts(lb), (V{"apple", "kiwi", "fig", "pear", "zz"}));

  // Failure is -1, never a position.
  const HWND h = Make(top, 0);
  LVITEM sub{};
  sub.iSubItem = 1;
  EXPECT_EQ(ListView_InsertItem(h, nullptr), -1);
  EXPECT_EQ(ListView_InsertItem(h, &sub), -1);
  EXPECT_EQ(ListView_InsertItem(top, &sub), -1);
  EXPECT_EQ(ListView_InsertItem(Make(top, LVS_OWNERDATA), &sub), -1);
  EXPECT_EQ(Add(h, "first", 0), 0);
  EXPECT_EQ(Add(h, "before", -7), 0);
  EXPECT_EQ(ListView_GetItemCount(h), 2);
}

TEST_F(ListView, SelectionFollowsTheRowsAndTellsTheParent)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top, 0);
  for (const char* s : {"r0", "r1", "r2"}) Add(h, s);
  log.msgs.clear();
  EXPECT_TRUE(ListView_SetItemState(h, 0, LVIS_SELECTED, LVIS_SELECTED));
  ASSERT_EQ(log.only(WM_NOTIFY).size(), 1u);
  EXPECT_FALSE(ListView_SetItemState(h, 3, LVIS_SELECTED, LVIS_SELECTED));
  EXPECT_TRUE(ListView_SetItemState(h, 0, LVIS_SELECTED, LVIS_SELECTED));  // no change: no notice
  EXPECT_EQ(log.only(WM_NOTIFY).size(), 1u);

  Add(h, "new", 0);  // the selected row moves down with its text
  EXPECT_EQ(Selected(h), (std::vector<int>{1}));
  ListView_SetItemState(h, 3, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(Selected(h), (std::vector<int>{1, 3}));
  EXPECT_EQ(ListView_GetNextItem(h, -1, LVNI_FOCUSED), 1);
  EXPECT_EQ(ListView_GetNextItem(h, 1, LVNI_FOCUSED), 3);
  EXPECT_EQ(ListView_GetNextItem(h, -1, LVNI_SELECTED), 3);
  EXPECT_EQ(ListView_GetNextItem(h, -1, 4), -1);
  EXPECT_EQ(ListView_GetItemState(h, 3, LVIS_SELECTED | LVIS_FOCUSED), LVIS_SELECTED | LVIS_FOCUSED);
  ListView_DeleteItem(h, 0);
  EXPECT_EQ(Selected(h), (std::vector<int>{0, 2}));
  EXPECT_EQ(Texts(h), (V{"r0", "r1", "r2"}));

  log.msgs.clear();
  EXPECT_TRUE(ListView_SetItemState(h, -1, 0, LVIS_SELECTED));
  EXPECT_EQ(ListView_GetSelectedCount(h), 0);
  EXPECT_TRUE(log.only(WM_NOTIFY).empty());

  // Single selection replaces; a list box without extended selection too.
  const HWND single = Make(top, LVS_SINGLESEL);
  for (const char* s : {"a", "b"}) Add(single, s);
  ListView_SetItemState(single, 0, LVIS_SELECTED, LVIS_SELECTED);
  ListView_SetItemState(single, 1, LVIS_SELECTED, LVIS_SELECTED);
  EXPECT_EQ(Selected(single), (std::vector<int>{1}));
}

TEST_F(ListView, TextsDataAndListBoxBuffers)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top, 0);
  Add(h, "one", 0, 11);
  ListView_SetItemText(h, 0, 3, "three");
  ListView_SetItemText(h, 0, 32, "ignored");
  EXPECT_EQ(Obj(h)->m_items.Get(0)->m_texts.GetSize(), 4);
  char buf[8];
  const char* want[] = {"one", "", "", "three", ""};
  for (int c = 0; c < 5; ++c)
  {
    ListView_GetItemText(h, 0, c, buf, sizeof buf);
    EXPECT_STREQ(buf, want[c]) << c;
  }
  ListView_GetItemText(h, 0, 3, buf, 3);
  EXPECT_STREQ(buf, "th");
  LVITEM it{};
  it.mask = LVIF_PARAM;
  EXPECT_TRUE(ListView_GetItem(h, &it));
  EXPECT_EQ(it.lParam, 11);
  it.iItem = 1;
  EXPECT_FALSE(ListView_GetItem(h, &it));

  // The list box's text fills a buffer of LB_GETTEXT_BUFSIZE bytes, no more, and
  // cuts before a character it would split; the length message tells the whole.
  const HWND lb = Make(top, 0, 1, {150});
  const std::string longText = std::string(4094, 'w') + "\xE2\x82\xAC" + std::string(1903, 'v');
  SendMessage(lb, LB_ADDSTRING, 0, (LPARAM)longText.c_str());
  SendMessage(lb, LB_SETITEMDATA, 0, 99);
  EXPECT_EQ(SendMessage(lb, LB_GETITEMDATA, 0, 0), 99);
  EXPECT_EQ(SendMessage(lb, LB_GETITEMDATA, 5, 0), 0);
  EXPECT_EQ(SendMessage(lb, LB_GETTEXTLEN, 1, 0), LB_ERR);
  const LRESULT len = SendMessage(lb, LB_GETTEXTLEN, 0, 0);
  ASSERT_EQ(len, 6000);
  ASSERT_EQ(LB_GETTEXT_BUFSIZE, 4096);
  std::vector<char> out(LB_GETTEXT_BUFSIZE, 'x');
  SendMessage(lb, LB_GETTEXT, 0, (LPARAM)out.data());
  EXPECT_EQ(std::string(out.data()), std::string(4094, 'w'));
  // A row that is not there, or has no stored text, reads as empty.
  const HWND owned = Make(top, LVS_OWNERDATA);
  ListView_SetItemCount(owned, 3);
  for (auto [list, row] : {std::pair<HWND, WPARAM>{lb, 1}, {lb, (WPARAM)-1}, {owned, 0}})
  {
    std::fill(out.begin(), out.end(), 'x');
    EXPECT_EQ(SendMessage(list, LB_GETTEXT, row, (LPARAM)out.data()), 0);
    EXPECT_EQ(out[0], 0) << (long)row;
  }
  SendMessage(lb, LB_SETCURSEL, 0, 0);
  EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), 0);
  SendMessage(lb, LB_SETCURSEL, (WPARAM)-1, 0);
  EXPECT_EQ(SendMessage(lb, LB_GETCURSEL, 0, 0), -1);
  SendMessage(lb, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(lb, LB_GETCOUNT, 0, 0), 0);
}

int ByParam(LPARAM a, LPARAM b, LPARAM dir) { return a < b ? (int)-dir : (a > b ? (int)dir : 0); }
int AllEqual(LPARAM, LPARAM, LPARAM) { return 0; }

TEST_F(ListView, SortIsStableAndKeepsTheSelection)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top, 0);
  std::mt19937 rng(11);
  std::vector<std::pair<LPARAM, std::string>> twin;
  for (int i = 0; i < 257; ++i)
  {
    const LPARAM key = (LPARAM)(rng() % 20);
    const std::string name = "row" + std::to_string(i);
    Add(h, name.c_str(), i, key);
    twin.emplace_back(key, name);
    if (i % 7 == 0) ListView_SetItemState(h, i, LVIS_SELECTED, LVIS_SELECTED);
  }
  std::vector<std::string> selectedBefore;
  for (int i : Selected(h)) selectedBefore.push_back(Texts(h)[(size_t)i]);

  ListView_SortItems(h, AllEqual, 0);
  V names;
  for (const auto& t : twin) names.push_back(t.second);
  EXPECT_EQ(Texts(h), names);

  ListView_SortItems(h, ByParam, -1);  // descending keys, ties in their old order
  std::stable_sort(twin.begin(), twin.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  names.clear();
  for (const auto& t : twin) names.push_back(t.second);
  EXPECT_EQ(Texts(h), names);
  std::vector<std::string> selectedAfter;
  for (int i : Selected(h)) selectedAfter.push_back(Texts(h)[(size_t)i]);
  std::sort(selectedBefore.begin(), selectedBefore.end());
  std::sort(selectedAfter.begin(), selectedAfter.end());
  EXPECT_EQ(selectedAfter, selectedBefore);
}

TEST_F(ListView, ColumnsOrderRectsAndHitTests)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top, 0, 0, {50, 60, 70});
  for (const char* s : {"a", "b", "c"}) Add(h, s);
  int order[3];
  ASSERT_TRUE(ListView_GetColumnOrderArray(h, 3, order));
  EXPECT_EQ(std::vector<int>(order, order + 3), (std::vector<int>{0, 1, 2}));
  struct
  {
    int n;
    std::vector<int> order;
    bool ok;
    std::vector<int> after;
  } orders[] = {
      {2, {1, 0}, false, {0, 1, 2}},       {3, {0, 0, 1}, false, {0, 1, 2}}, {3, {0, 1, 3}, false, {0, 1, 2}},
      {3, {-1, 0, 1}, false, {0, 1, 2}},   {3, {2, 0, 1}, true, {2, 0, 1}},  {3, {0, 1, 2}, true, {0, 1, 2}},
      {3, {1, 2, 0}, true, {1, 2, 0}},
  };
  for (const auto& o : orders)
  {
    EXPECT_EQ(ListView_SetColumnOrderArray(h, o.n, o.order.data()), o.ok) << o.order[0] << o.order[1];
    ListView_GetColumnOrderArray(h, 3, order);
    EXPECT_EQ(std::vector<int>(order, order + 3), o.after) << o.order[0] << o.order[1];
  }
  // Column 2 is shown first now: its cell starts the row.
  RECT r;
  ASSERT_TRUE(ListView_GetSubItemRect(h, 1, 2, 0, &r));
  EXPECT_EQ(r.left, 1);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 73);
  EXPECT_EQ(r.bottom - r.top, 19);
  ASSERT_TRUE(ListView_GetItemRect(h, 2, &r, 0));
  EXPECT_EQ(r.top, 38);
  EXPECT_FALSE(ListView_GetItemRect(h, 3, &r, 0));  // one past the rows names no item
  EXPECT_FALSE(ListView_GetItemRect(h, -1, &r, 0));
  EXPECT_FALSE(ListView_GetSubItemRect(h, 0, 3, 0, &r));

  struct
  {
    POINT pt;
    int item;
    UINT flags;
    int sub;
  } hits[] = {{{-3, 5}, -1, LVHT_TOLEFT, -1},   {{5, -2}, -1, LVHT_ABOVE, 2}, {{500, 5}, -1, LVHT_TORIGHT, -1},
              {{10, 25}, 1, LVHT_ONITEMLABEL, 2}, {{100, 5}, 0, LVHT_ONITEMLABEL, 0},
              {{10, 90}, -1, LVHT_NOWHERE, 2}};
  for (const auto& t : hits)
  {
    LVHITTESTINFO info{t.pt, 0, 0, 0};
    EXPECT_EQ(ListView_SubItemHitTest(h, &info), t.item) << t.pt.x << "," << t.pt.y;
    EXPECT_EQ(info.flags, t.flags) << t.pt.x << "," << t.pt.y;
    EXPECT_EQ(info.iSubItem, t.sub) << t.pt.x << "," << t.pt.y;
  }
  EXPECT_EQ(ListView_HitTest(h, nullptr), -1);

  // The header.
  EXPECT_EQ(ListView_GetHeader(h), h);
  EXPECT_EQ(Header_GetItemCount(h), 3);
  HDITEM hi{};
  hi.mask = HDI_FORMAT;
  hi.fmt = HDF_SORTDOWN;
  EXPECT_TRUE(Header_SetItem(h, 2, &hi));
  hi.fmt = 0;
  EXPECT_TRUE(Header_GetItem(h, 2, &hi));
  EXPECT_EQ(hi.fmt, (int)HDF_SORTDOWN);
  EXPECT_FALSE(Header_GetItem(h, 3, &hi));
  EXPECT_EQ(SWELL_GetListViewHeaderHeight(h), 17);
  EXPECT_EQ(SWELL_GetListViewHeaderHeight(Make(top, LVS_NOCOLUMNHEADER)), 0);
  EXPECT_TRUE(ListView_DeleteColumn(h, 0));
  EXPECT_FALSE(ListView_DeleteColumn(h, 2));
  EXPECT_EQ(Header_GetItemCount(h), 2);
  EXPECT_EQ(GetDlgItem(top, 70), h);
  EXPECT_EQ(GetParent(h), top);
}

// Ten thousand owner-data rows: scrolling and selecting ask only for the cells
// drawn and make no row records.
TEST_F(ListView, OwnerDataAsksOnlyForTheCellsShown)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  const HWND h = Make(top, LVS_OWNERDATA);
  ShowWindow(top, SW_SHOW);
  const long rowsBefore = SWELL_ListView_Row::liveRows();
  std::vector<std::pair<int, int>> asked;
  log.ignored = {WM_PAINT, WM_NCCALCSIZE, WM_NCPAINT, WM_CTLCOLORDLG, WM_ERASEBKGND};
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
    NMLVDISPINFO* d = (NMLVDISPINFO*)lp;
    if (d->hdr.code == LVN_GETDISPINFO)
    {
      asked.emplace_back(d->item.iItem, d->item.iSubItem);
      snprintf(d->item.pszText, (size_t)d->item.cchTextMax, "%d/%d", d->item.iItem, d->item.iSubItem);
    }
    return (LRESULT)0;
  };
  ListView_SetItemCount(h, 10000);
  Obj(h)->reloadData();
  EXPECT_EQ(ListView_GetItemCount(h), 10000);
  EXPECT_EQ(SendMessage(h, LB_GETCOUNT, 0, 0), 10000);
  // The two columns are shown the other way round; the owner still hears logical ones.
  const int swapped[] = {1, 0};
  ASSERT_TRUE(ListView_SetColumnOrderArray(h, 2, swapped));
  w->display();
  const int perPage = ListView_GetCountPerPage(h);
  EXPECT_EQ(perPage, (120 - 17) / 17);
  ASSERT_FALSE(asked.empty());
  EXPECT_LE(asked.size(), (size_t)(perPage + 2) * 2);
  for (const auto& a : asked) EXPECT_TRUE(a.first >= 0 && a.first <= perPage + 1 && (a.second == 0 || a.second == 1));
  EXPECT_TRUE(std::count(asked.begin(), asked.end(), std::make_pair(0, 1)) == 1);

  asked.clear();
  ListView_EnsureVisible(h, 9999, 0);
  ListView_SetItemState(h, 9999, LVIS_SELECTED, LVIS_SELECTED);
  ListView_SetItemState(h, 5000, LVIS_SELECTED, LVIS_SELECTED);
  w->display();
  EXPECT_EQ(ListView_GetSelectedCount(h), 2);
  EXPECT_EQ(ListView_GetTopIndex(h), 10000 - (int)std::ceil((120.0 - 17) / 19));
  ASSERT_FALSE(asked.empty());
  EXPECT_LE(asked.size(), (size_t)(perPage + 2) * 2);
  for (const auto& a : asked) EXPECT_GE(a.first, 9990);
  ASSERT_TRUE(ListView_Scroll(h, 0, -19 * 100));
  POINT p;
  ASSERT_TRUE(ListView_GetScroll(h, &p));
  // From the top row (9994) back by whole cells of 17 points: 111 rows.
  EXPECT_EQ(p.y, (9994 - 111) * 19);
  // Any view in the scroll view answers the same; one in none answers the origin.
  NSView* inner = new NSView(NSMakeRect(0, 0, 1, 1));
  Obj(h)->addSubview(inner);
  POINT q{1, 1};
  EXPECT_TRUE(ListView_GetScroll(SWELL_HWND(inner), &q) && q.x == p.x && q.y == p.y);
  EXPECT_FALSE(ListView_GetScroll(top, &q) || q.x || q.y);
  inner->removeFromSuperview();
  inner->release();
  LVITEM it{};
  it.iItem = 9999;
  EXPECT_TRUE(ListView_GetItem(h, &it));
  it.iItem = 10000;
  EXPECT_FALSE(ListView_GetItem(h, &it));
  EXPECT_EQ(SWELL_ListView_Row::liveRows(), rowsBefore);
}

// The owner gets 1023 bytes offered in a buffer of 1024; one that fills the whole
// buffer and leaves no terminator still gives a text that ends inside it.
TEST_F(ListView, AnOwnerThatFillsTheWholeBufferGetsItsTextCutThere)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top, LVS_OWNERDATA);
  int offered = 0;
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
    NMLVDISPINFO* d = (NMLVDISPINFO*)lp;
    if (d->hdr.code != LVN_GETDISPINFO) return (LRESULT)0;
    offered = d->item.cchTextMax;
    memset(d->item.pszText, 'x', (size_t)offered + 1);
    return (LRESULT)0;
  };
  ListView_SetItemCount(h, 1);
  Swell_vDavrel_64_listview* v = Obj(h);
  const std::string text = v->tableViewObjectValue(v, v->tableColumns()[0], 0);
  EXPECT_EQ(offered, 1023);
  EXPECT_EQ(text, std::string((size_t)offered, 'x'));
}

// An owner may change the columns while it answers for a cell: the column asked
// about stays alive for the drawing of that cell, and the pass draws no column that
// was not there when it began.
TEST_F(ListView, AnOwnerThatChangesTheColumnsWhileAnsweringIsDrawnSafely)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  const HWND h = Make(top, LVS_OWNERDATA);
  ShowWindow(top, SW_SHOW);
  for (const bool drop : {true, false})
  {
    SCOPED_TRACE(drop ? "a column dropped" : "a column added");
    bool changed = false;
    log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
      NMLVDISPINFO* d = (NMLVDISPINFO*)lp;
      if (d->hdr.code != LVN_GETDISPINFO) return (LRESULT)0;
      snprintf(d->item.pszText, (size_t)d->item.cchTextMax, "r%d", d->item.iItem);
      if (!changed && d->item.iSubItem == (drop ? 1 : 0))
      {
        changed = true;
        std::string title = "Late";
        LVCOLUMN c{0, 0, 40, &title[0], 0, 0};
        if (drop) ListView_DeleteColumn(h, 1);
        else ListView_InsertColumn(h, 1, &c);
      }
      return (LRESULT)0;
    };
    ListView_SetItemCount(h, 4);
    w->display();
    EXPECT_TRUE(changed);
    EXPECT_EQ(Obj(h)->numberOfColumns(), drop ? 1 : 2);
  }
}

TEST_F(ListView, MouseProtocol)
{
  NSAutoreleasePool pool;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  ShowWindow(top, SW_SHOW);
  const HWND h = Make(top, 0, 0, {80, 60});
  for (int i = 0; i < 4; ++i) Add(h, ("row" + std::to_string(i)).c_str(), i, 100 + i);
  std::vector<NMLISTVIEW> notes;
  LRESULT rclickAnswer = 0;
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
    notes.push_back(*(NMLISTVIEW*)lp);
    return notes.back().hdr.code == NM_RCLICK ? rclickAnswer : (LRESULT)0;
  };
  auto codes = [&] {
    std::vector<int> r;
    for (const auto& n : notes) r.push_back((int)n.hdr.code);
    return r;
  };
  auto at = [&](NSEventType t, NSPoint p, NSUInteger flags = 0) { Send(Mouse(t, h, p, flags)); };

  // A plain click selects on release, tells the owner the selection changed, then
  // reports NM_CLICK with the row's value.
  at(NSLeftMouseDown, NSMakePoint(20, 25));
  EXPECT_EQ(ListView_GetSelectedCount(h), 0);
  at(NSLeftMouseUp, NSMakePoint(20, 25));
  EXPECT_EQ(Selected(h), (std::vector<int>{1}));
  ASSERT_EQ(codes(), (std::vector<int>{(int)LVN_ITEMCHANGED, (int)NM_CLICK}));
  EXPECT_EQ(notes[0].iItem, 1);
  EXPECT_EQ(notes[0].lParam, 0);
  EXPECT_EQ(notes[1].iItem, 1);
  EXPECT_EQ(notes[1].iSubItem, 0);
  EXPECT_EQ(notes[1].lParam, 101);
  EXPECT_EQ(notes[1].ptAction.x, 20);
  // Clicking the selected row again changes nothing: NM_CLICK alone.
  notes.clear();
  at(NSLeftMouseDown, NSMakePoint(20, 25));
  at(NSLeftMouseUp, NSMakePoint(20, 25));
  EXPECT_EQ(codes(), (std::vector<int>{(int)NM_CLICK}));

  // A drag: the fourth move begins it once, later moves and the release go to the owner.
  notes.clear();
  log.msgs.clear();
  at(NSLeftMouseDown, NSMakePoint(100, 45));
  for (int i = 0; i < 6; ++i) at(NSLeftMouseDragged, NSMakePoint(100, 45 + i));
  at(NSLeftMouseUp, NSMakePoint(100, 60));
  ASSERT_EQ(codes(), (std::vector<int>{(int)LVN_ITEMCHANGED, (int)LVN_BEGINDRAG}));
  EXPECT_EQ(notes[1].iItem, 2);
  EXPECT_EQ(notes[1].iSubItem, 1);
  EXPECT_EQ(Selected(h), (std::vector<int>{2}));  // the dragged row is selected first
  EXPECT_EQ(log.only(WM_MOUSEMOVE).size(), 2u);
  EXPECT_EQ(log.only(WM_LBUTTONUP).size(), 1u);

  // A press beside every column with every fast-click bit set is no fast click.
  notes.clear();
  SWELL_SetListViewFastClickMask(h, -1);
  at(NSLeftMouseDown, NSMakePoint(170, 5));
  EXPECT_TRUE(notes.empty());
  at(NSLeftMouseUp, NSMakePoint(170, 5));
  ASSERT_EQ(codes(), (std::vector<int>{(int)LVN_ITEMCHANGED, (int)NM_CLICK}));
  EXPECT_EQ(notes[1].iSubItem, -1);
  // In a column the press reports at once, and the release adds nothing.
  notes.clear();
  at(NSLeftMouseDown, NSMakePoint(20, 5));
  EXPECT_EQ(codes(), (std::vector<int>{(int)NM_CLICK}));
  at(NSLeftMouseUp, NSMakePoint(20, 5));
  EXPECT_EQ(notes.size(), 1u);
  SWELL_SetListViewFastClickMask(h, 0);

  // A right click selects its row on release and reports NM_RCLICK; unless the owner
  // answers it, a context menu follows. A Control-press with emulation on is one.
  struct
  {
    NSEventType down, up;
    NSUInteger flags;
    LRESULT answer;
    size_t menus;
  } rights[] = {{NSLeftMouseDown, NSLeftMouseUp, NSControlKeyMask, 0, 1},
                {NSRightMouseDown, NSRightMouseUp, 0, 0, 1},
                {NSRightMouseDown, NSRightMouseUp, 0, 1, 0}};
  for (const auto& r : rights)
  {
    SCOPED_TRACE(testing::Message() << r.flags << " " << r.answer);
    rclickAnswer = r.answer;
    SWELL_EnableRightClickEmulate(r.flags != 0);
    ListView_SetItemState(h, -1, 0, LVIS_SELECTED);
    notes.clear();
    log.msgs.clear();
    at(r.down, NSMakePoint(20, 65), r.flags);
    EXPECT_EQ(ListView_GetSelectedCount(h), 0);
    at(r.up, NSMakePoint(20, 65), r.flags);
    SWELL_EnableRightClickEmulate(0);
    EXPECT_EQ(Selected(h), (std::vector<int>{3}));
    EXPECT_EQ(codes(), (std::vector<int>{(int)LVN_ITEMCHANGED, (int)NM_RCLICK}));
    EXPECT_EQ(log.only(WM_CONTEXTMENU).size(), r.menus);
  }

  // A press on the state image begins no drag and still reports the click.
  HIMAGELIST images = ImageList_CreateEx();
  ListView_SetImageList(h, images, LVSIL_STATE);
  notes.clear();
  log.msgs.clear();
  at(NSLeftMouseDown, NSMakePoint(5, 5));
  for (int i = 0; i < 6; ++i) at(NSLeftMouseDragged, NSMakePoint(5, 5 + i));
  at(NSLeftMouseUp, NSMakePoint(5, 10));
  EXPECT_EQ(codes(), (std::vector<int>{(int)NM_CLICK}));
  EXPECT_TRUE(log.only(WM_MOUSEMOVE).empty());
  DestroyWindow(top);
  ImageList_Destroy(images);
}

// Clicks with Command or Shift, and a drag with Command held, add rows to the
// selection only where the style lets the list hold several: a list view without
// LVS_SINGLESEL, a list box with LBS_EXTENDEDSEL. The style is read as it is now.
TEST_F(ListView, ModifiedClicksSelectAsTheStyleAllows)
{
  NSAutoreleasePool pool;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  ShowWindow(top, SW_SHOW);
  using Rows = std::vector<int>;
  struct
  {
    LONG style;
    int lbMode;
    LONG styleLater;  // set with SetWindowLong before the clicks; -1 keeps it
    NSUInteger flags;
    bool drag;  // the second row is dragged instead of clicked
    Rows want;
  } cases[] = {
      {0, 0, -1, 0, false, {2}},
      {0, 0, -1, NSCommandKeyMask, false, {0, 2}},
      {0, 0, -1, NSShiftKeyMask, false, {0, 1, 2}},
      {0, 0, -1, NSCommandKeyMask, true, {0, 2}},
      {LVS_SINGLESEL, 0, -1, NSCommandKeyMask, false, {2}},
      {LVS_SINGLESEL, 0, -1, NSShiftKeyMask, false, {2}},
      {LVS_SINGLESEL, 0, -1, NSCommandKeyMask, true, {2}},
      {0, 0, LVS_SINGLESEL, NSCommandKeyMask, false, {2}},
      {LVS_SINGLESEL, 0, 0, NSCommandKeyMask, false, {0, 2}},
      {0, 1, -1, NSCommandKeyMask, false, {2}},
      {0, 1, -1, NSShiftKeyMask, false, {2}},
      {LBS_EXTENDEDSEL, 1, -1, NSCommandKeyMask, false, {0, 2}},
      {LBS_EXTENDEDSEL, 1, -1, NSShiftKeyMask, false, {0, 1, 2}},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.style) + (c.lbMode ? " list box" : " list view") + " later " +
                 std::to_string(c.styleLater) + " flags " + std::to_string(c.flags) + (c.drag ? " drag" : ""));
    const HWND h = Make(top, c.style, c.lbMode, {150});
    for (int i = 0; i < 4; ++i) Add(h, "row", i);
    if (c.styleLater >= 0) SetWindowLong(h, GWL_STYLE, c.styleLater);
    // Rows are 19 points apart in the list's own coordinates.
    Send(Mouse(NSLeftMouseDown, h, NSMakePoint(20, 5)));
    Send(Mouse(NSLeftMouseUp, h, NSMakePoint(20, 5)));
    ASSERT_EQ(Selected(h), (Rows{0}));
    Send(Mouse(NSLeftMouseDown, h, NSMakePoint(20, 2 * 19 + 5), c.flags));
    if (c.drag)
      for (int i = 0; i < 4; ++i) Send(Mouse(NSLeftMouseDragged, h, NSMakePoint(20, 2 * 19 + 5 + i), c.flags));
    Send(Mouse(NSLeftMouseUp, h, NSMakePoint(20, 2 * 19 + 5), c.flags));
    EXPECT_EQ(Selected(h), c.want);
    DestroyWindow(h);
  }
}

// Keys move the selection from the row reached last, tell the owner as a click
// does and bring the row into view; Shift spans from where the span began where
// the style lets the list hold several rows. Keys the list leaves reach the owner.
TEST_F(ListView, KeysMoveTheSelection)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  ShowWindow(top, SW_SHOW);
  const char16_t up = NSUpArrowFunctionKey, down = NSDownArrowFunctionKey, pgUp = NSPageUpFunctionKey;
  const char16_t end = NSEndFunctionKey, home = NSHomeFunctionKey;
  const NSUInteger sh = NSShiftKeyMask;
  // Key, modifiers, first and last row selected after it (-1: the key goes on to
  // the owner). Thirty rows, five to a page.
  using Steps = std::vector<std::tuple<char16_t, NSUInteger, int, int>>;
  const Steps multi = {{down, 0, 0, 0}, {down, 0, 1, 1}, {down, sh, 1, 2}, {down, sh, 1, 3}, {up, sh, 1, 2},
                       {up, sh, 1, 1}, {up, sh, 0, 1}, {up, 0, 0, 0}, {up, 0, 0, 0}, {NSPageDownFunctionKey, 0, 5, 5},
                       {end, 0, 29, 29}, {pgUp, 0, 24, 24}, {pgUp, sh, 19, 24}, {home, 0, 0, 0}, {end, sh, 0, 29},
                       {NSLeftArrowFunctionKey, 0, -1, -1}, {down, NSCommandKeyMask, -1, -1}};
  const Steps single = {{up, 0, 29, 29}, {up, sh, 28, 28}, {home, sh, 0, 0}};
  const std::tuple<LONG, int, const Steps*> lists[] = {
      {0, 0, &multi}, {LBS_EXTENDEDSEL, 1, &multi}, {LVS_SINGLESEL, 0, &single}, {0, 1, &single}};
  for (const auto& [style, lbMode, steps] : lists)
  {
    SCOPED_TRACE(testing::Message() << "style " << style << " lbMode " << lbMode);
    // A list box has no header: its frame is as high as the rows shown.
    const HWND h = Make(top, style, lbMode, {150}, NSMakeRect(10, 10, 200, lbMode ? 103 : 120));
    for (int i = 0; i < 30; ++i) Add(h, "row", i);
    Swell_vDavrel_64_listview* lv = Obj(h);
    w->makeFirstResponder(lv);
    std::vector<int> before;
    for (const auto& [key, flags, first, last] : *steps)
    {
      SCOPED_TRACE(testing::Message() << "to " << first << ".." << last);
      log.msgs.clear();
      Key(w, key, flags);
      std::vector<int> want = first < 0 ? before : std::vector<int>();
      for (int r = first; r >= 0 && r <= last; ++r) want.push_back(r);
      EXPECT_EQ(Selected(h), want);
      EXPECT_EQ(log.only(WM_KEYDOWN).size(), first < 0 ? 1u : 0u);
      EXPECT_EQ(log.only({WM_NOTIFY, WM_COMMAND}).size(), want == before ? 0u : 1u);
      const NSRect shown = lv->enclosingScrollView()->documentVisibleRect(), row = lv->rectOfRow(lv->selectedRow());
      EXPECT_TRUE(row.origin.y >= shown.origin.y && NSMaxY(row) <= NSMaxY(shown));
      before = want;
    }
    DestroyWindow(h);
  }
}

// A header's column edge dragged resizes that column; with LVS_EX_HEADERDRAGDROP a
// title dragged past a neighbour's middle takes its place. A click is only a press
// released on its column with nothing moved.
TEST_F(ListView, HeaderDragsReorderAndResizeColumns)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  ShowWindow(top, SW_SHOW);
  int clicked = -1;
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
    NMLVDISPINFO* d = (NMLVDISPINFO*)lp;
    if (d->hdr.code == LVN_COLUMNCLICK) clicked = ((NMLISTVIEW*)lp)->iSubItem;
    if (d->hdr.code == LVN_GETDISPINFO)
      snprintf(d->item.pszText, (size_t)d->item.cchTextMax, "%d/%d", d->item.iItem, d->item.iSubItem);
    return (LRESULT)0;
  };
  // Press at the first x, drag through the rest, release at the last.
  auto drag = [&](HWND h, const std::vector<int>& xs) {
    for (size_t i = 0; i < xs.size(); ++i)
    {
      const NSEventType t = i == 0 ? NSLeftMouseDown : i + 1 == xs.size() ? NSLeftMouseUp : NSLeftMouseDragged;
      const NSPoint at = Obj(h)->headerView()->convertPointToView(NSMakePoint(xs[i], 8), nullptr);
      Send(NSEvent::mouseEventWithType(t, at, 0, 0, w, 1));
    }
  };
  using Ints = std::vector<int>;
  const Ints same = {50, 60, 70};
  // Columns shown at 0..53, 53..116 and 116..189.
  const std::tuple<bool, Ints, Ints, Ints, int> drags[] = {
      {true, {80, 80}, {0, 1, 2}, same, 1},          {true, {20, 25, 60, 90, 90}, {1, 0, 2}, same, -1},
      {true, {20, 60, 80, 20}, {0, 1, 2}, same, -1}, {false, {20, 60, 90, 90}, {0, 1, 2}, same, -1},
      {false, {20, 25, 20}, {0, 1, 2}, same, 0},     {true, {150, 100, -50, -50}, {1, 2, 0}, same, -1},
      {true, {150, 400, 400}, {0, 1, 2}, same, -1},  {true, {52, 60, 82, 82}, {0, 1, 2}, {80, 60, 70}, -1},
      {false, {114, -100, -100}, {0, 1, 2}, {50, 10, 70}, -1}, {true, {52, 52}, {0, 1, 2}, same, -1},
  };
  for (const auto& [reorder, path, wantOrder, wantWidths, wantClicked] : drags)
  {
    SCOPED_TRACE(testing::Message() << "reorder " << reorder << " from " << path[0] << " to " << path.back());
    const HWND h = Make(top, 0, 0, same);
    ListView_SetExtendedListViewStyleEx(h, LVS_EX_HEADERDRAGDROP, reorder ? (int)LVS_EX_HEADERDRAGDROP : 0);
    clicked = -1;
    drag(h, path);
    Ints order(3), widths;
    ASSERT_TRUE(ListView_GetColumnOrderArray(h, 3, order.data()));
    for (int c = 0; c < 3; ++c) widths.push_back(ListView_GetColumnWidth(h, c));
    EXPECT_EQ(std::tie(order, widths, clicked), std::tie(wantOrder, wantWidths, wantClicked));
    DestroyWindow(h);
  }
  // Owner data cells are asked by logical column: after the drag the column shown
  // first holds what the owner gave for column 1.
  const HWND h = Make(top, LVS_OWNERDATA | LVS_NOSORTHEADER, 0, {50, 60});
  ListView_SetExtendedListViewStyleEx(h, LVS_EX_HEADERDRAGDROP, LVS_EX_HEADERDRAGDROP);
  ListView_SetItemCount(h, 3);
  drag(h, {80, 20, 20});
  w->display();
  EXPECT_EQ(Obj(h)->tableColumns()[0]->dataCell()->stringValue(), "2/1");
  EXPECT_EQ(Obj(h)->tableColumns()[1]->dataCell()->stringValue(), "2/0");
  DestroyWindow(top);
}

// The window's pixel at (x, y) from its top left, as 0xRRGGBB rounded to 4 bits a
// component (the backing keeps its bytes as X, R, G, B; fills may round by one).
uint32_t PixelAt(NSWindow* w, int x, int y)
{
  const uint32_t v = BackingRow(w, y)[x];
  const uint32_t r = (v >> 8) & 0xFF, g = (v >> 16) & 0xFF, bl = v >> 24;
  auto q = [](uint32_t c) { return std::min<uint32_t>(15, (c + 8) / 16); };
  return q(r) << 20 | q(g) << 12 | q(bl) << 4;
}

LRESULT PaintItemGreen(HWND, WPARAM, LPARAM lp)
{
  const DRAWITEMSTRUCT* d = (const DRAWITEMSTRUCT*)lp;
  Fill(d->hDC, d->rcItem, 0x10A030);
  return 1;
}

// An owner-drawn list box has its owner draw every row shown, each with the row's
// value; a list with an image list shows each row's image before its text.
TEST_F(ListView, OwnerDrawnRowsAndRowImages)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  ShowWindow(top, SW_SHOW);
  const HWND lb = Make(top, LBS_OWNERDRAWFIXED, 1, {150}, NSMakeRect(10, 10, 150, 80));
  for (int i = 0; i < 3; ++i) Add(lb, "row", i, 900 + i);
  std::vector<DRAWITEMSTRUCT> drawn;
  log.handlers[{top, WM_DRAWITEM}] = [&](HWND h, WPARAM wp, LPARAM lp) {
    drawn.push_back(*(const DRAWITEMSTRUCT*)lp);
    return PaintItemGreen(h, wp, lp);
  };
  w->display();
  ASSERT_EQ(drawn.size(), 3u);
  const int pitch = (int)(Obj(lb)->rowHeight() + Obj(lb)->intercellSpacing().height);
  for (int i = 0; i < 3; ++i)
  {
    SCOPED_TRACE(i);
    // Kind, id, row, control, row value and top of the cell within its row.
    const DRAWITEMSTRUCT& d = drawn[(size_t)i];
    EXPECT_EQ((std::vector<intptr_t>{d.CtlType, d.CtlID, d.itemID, (intptr_t)d.hwndItem, (intptr_t)d.itemData,
                                     d.rcItem.top}),
              (std::vector<intptr_t>{ODT_LISTBOX, 70, i, (intptr_t)lb, 900 + i, i * pitch + 1}));
    EXPECT_EQ(PixelAt(w, 10 + 20, 10 + i * pitch + 5), 0x10A030u);  // rounded alike
  }

  // Images: row 1 has image 1, row 0 none.
  const HWND lv = Make(top, 0, 0, {100}, NSMakeRect(170, 10, 120, 80));
  HIMAGELIST images = ImageList_CreateEx();
  SWELL_Image* pixels = SWELL_CreateImage(8, 8);
  for (int i = 0; i < 64; ++i) pixels->pixels->getBits()[i] = 0xFF2040E0u;
  HGDIOBJ icon = SWELL_MakeBitmapObject(pixels);
  ImageList_ReplaceIcon(images, -1, icon);
  DeleteObject(icon);  // the list keeps an object of its own
  ListView_SetImageList(lv, images, LVSIL_SMALL);
  Add(lv, "none", 0, 0);
  LVITEM it{};
  it.mask = LVIF_TEXT | LVIF_IMAGE;
  it.iItem = 1;
  it.pszText = const_cast<char*>("blue");
  ListView_InsertItem(lv, &it);
  it.mask = LVIF_IMAGE;
  it.iImage = 0;  // the list's first image
  ListView_SetItem(lv, &it);
  w->display();
  const int header = SWELL_GetListViewHeaderHeight(lv);
  // The image's square is drawn on the row that has one; the other stays blank.
  EXPECT_NE(PixelAt(w, 170 + 5, 10 + header + pitch + 5), PixelAt(w, 170 + 5, 10 + header + 5));
  EXPECT_EQ(PixelAt(w, 170 + 5, 10 + header + 5), 0xF0F0F0u);
  // In the list's own coordinates, which start below the header.
  LVHITTESTINFO hit{{5, pitch + 5}, 0, 0, 0};
  ListView_HitTest(lv, &hit);
  EXPECT_EQ(hit.flags, (UINT)LVHT_ONITEMSTATEICON);
  // A null list takes the images away: the row draws as the blank one, and its
  // left end is label again.
  const uint32_t imageColour = PixelAt(w, 170 + 5, 10 + header + pitch + 5);
  ListView_SetImageList(lv, nullptr, LVSIL_SMALL);
  Obj(lv)->setNeedsDisplay(true);
  w->display();
  int imagePixels = 0;
  for (int y = 0; y < pitch; ++y)
    for (int x = 0; x < pitch; ++x) imagePixels += PixelAt(w, 170 + x, 10 + header + pitch + y) == imageColour;
  EXPECT_EQ(imagePixels, 0);
  ListView_HitTest(lv, &hit);
  EXPECT_EQ(hit.flags, (UINT)LVHT_ONITEMLABEL);
  DestroyWindow(top);
  ImageList_Remove(images, -1);
  ImageList_Destroy(images);
}

// The rows are drawn by the columns' cells, each checked against a plain twin: a
// list with images draws each row's image in a square of the row's height and
// then exactly what a plain list draws, moved right by the square and 2 points;
// an owner-drawn cell with no owner draws as plain text; an owner-drawn list box
// hands every row to its owner with the row's number, value and cell rectangle.
TEST_F(ListView, CellsDrawAsTheirPlainTwin)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 460, 240), 0, &w);
  ShowWindow(top, SW_SHOW);
  auto raw = [&](int x, int y) { return BackingRow(w, y)[x]; };
  HIMAGELIST images = ImageList_CreateEx();
  SWELL_Image* pixels = SWELL_CreateImage(8, 8);
  for (int i = 0; i < 64; ++i) pixels->pixels->getBits()[i] = 0xFF2040E0u;
  HGDIOBJ icon = SWELL_MakeBitmapObject(pixels);
  ImageList_ReplaceIcon(images, -1, icon);
  DeleteObject(icon);

  // Owner data: row r shows image r - 1 of the list, so row 0 none, row 1 the
  // list's one image and row 2 an index past the list (none either).
  log.handlers[{top, WM_NOTIFY}] = [](HWND, WPARAM, LPARAM lp) -> LRESULT {
    NMLVDISPINFO* nm = (NMLVDISPINFO*)lp;
    if (nm->hdr.code != LVN_GETDISPINFO) return 0;
    snprintf(nm->item.pszText, (size_t)nm->item.cchTextMax, "Wg%d", nm->item.iItem);
    nm->item.iImage = nm->item.iItem - 1;
    return 0;
  };
  const NSRect frames[] = {NSMakeRect(10, 10, 200, 100), NSMakeRect(240, 10, 200, 100)};
  const HWND images_lv = Make(top, LVS_OWNERDATA, 0, {120}, frames[0]);
  const HWND plain_lv = Make(top, LVS_OWNERDATA, 0, {120 - 19}, frames[1]);
  ListView_SetImageList(images_lv, images, LVSIL_SMALL);
  for (HWND h : {images_lv, plain_lv}) ListView_SetItemCount(h, 3);
  w->display();
  Swell_vDavrel_64_listview* lv = Obj(images_lv);
  const int header = SWELL_GetListViewHeaderHeight(images_lv);
  for (int row = 0; row < 3; ++row)
  {
    SCOPED_TRACE(row);
    const NSRect f = lv->frameOfCellAtColumn(0, row);
    const int side = (int)f.size.height, x0 = 10 + (int)f.origin.x, y0 = 10 + header + (int)f.origin.y;
    const int twin = 240 + (int)f.origin.x - (side + 2);
    // The square holds one colour: the image's over the background, or the background.
    const uint32_t fill = PixelAt(w, x0, y0);
    EXPECT_EQ(fill == 0xF0F0F0u, row != 1);
    int odd = 0, square = 0;
    for (int y = y0; y < y0 + side; ++y)
      for (int x = x0; x < x0 + (int)f.size.width; ++x)
      {
        if (x < x0 + side) square += PixelAt(w, x, y) == fill;
        else if (x < x0 + side + 2) odd += PixelAt(w, x, y) != 0xF0F0F0u;
        else odd += raw(x, y) != raw(twin + (x - x0), y);
      }
    EXPECT_EQ(odd, 0);
    EXPECT_EQ(square, side * side);
  }

  // An owner-drawn cell without an owner, given to a plain list's column, draws
  // its text as the plain cell does.
  auto* loose = new Swell_vDavrel_64_ODlistviewcell;
  lv->m_cols[0]->setDataCell(loose);
  loose->release();
  lv->setNeedsDisplay(true);
  Obj(plain_lv)->m_cols[0]->setWidth(120);
  Obj(plain_lv)->setNeedsDisplay(true);
  w->display();
  int odd = 0;
  for (int y = 10 + header; y < 10 + header + 3 * 19; ++y)
    for (int x = 0; x < 200; ++x) odd += raw(10 + x, y) != raw(240 + x, y);
  EXPECT_EQ(odd, 0);

  // An owner-drawn list box: every row shown goes to the owner with all its
  // fields, also after rows moved; the owner's drawing is what shows.
  DestroyWindow(top);
  const HWND top2 = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  ShowWindow(top2, SW_SHOW);
  const HWND lb = Make(top2, LBS_OWNERDRAWFIXED, 1, {150}, NSMakeRect(10, 10, 150, 100));
  for (int i = 0; i < 4; ++i) Add(lb, "row", i, 500 + i);
  ListView_DeleteItem(lb, 1);
  std::vector<DRAWITEMSTRUCT> drawn;
  log.handlers[{top2, WM_DRAWITEM}] = [&](HWND h, WPARAM wp, LPARAM lp) {
    EXPECT_EQ(wp, 70u);
    drawn.push_back(*(const DRAWITEMSTRUCT*)lp);
    return PaintItemGreen(h, wp, lp);
  };
  w->display();
  ASSERT_EQ(drawn.size(), 3u);
  for (int i = 0; i < 3; ++i)
  {
    SCOPED_TRACE(i);
    const DRAWITEMSTRUCT& d = drawn[(size_t)i];
    const NSRect f = Obj(lb)->frameOfCellAtColumn(0, i);
    EXPECT_NE(d.hDC, nullptr);
    EXPECT_EQ((std::vector<intptr_t>{d.CtlType, d.CtlID, d.itemID, d.itemAction, d.itemState, (intptr_t)d.hwndItem,
                                     (intptr_t)d.itemData, d.rcItem.left, d.rcItem.top, d.rcItem.right,
                                     d.rcItem.bottom}),
              (std::vector<intptr_t>{ODT_LISTBOX, 70, i, 0, 0, (intptr_t)lb, i ? 501 + i : 500, (int)f.origin.x,
                                     (int)f.origin.y, (int)NSMaxX(f), (int)NSMaxY(f)}));
    EXPECT_EQ(PixelAt(w, 10 + (int)f.origin.x + 1, 10 + (int)f.origin.y + 1), 0x10A030u);
  }
  DestroyWindow(top2);
  ImageList_Remove(images, -1);
  ImageList_Destroy(images);
}

// Selection colours: the selected row is filled with entry 0 while the list (or
// tree) has the focus and entry 2 while not; a list without that entry, or without
// colours, leaves the platform's highlight. Other handles keep nothing.
TEST_F(ListView, SelectionColoursFollowTheFocus)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  ShowWindow(top, SW_SHOW);
  w->makeKeyAndOrderFront(nullptr);
  const HWND lv = Make(top, 0, 0, {150}, NSMakeRect(10, 10, 150, 80));
  for (int i = 0; i < 2; ++i) Add(lv, "", i);
  ListView_SetItemState(lv, 1, LVIS_SELECTED, LVIS_SELECTED);
  // A tree view beside it, its second item selected.
  NSScrollView* s = new NSScrollView(NSMakeRect(170, 10, 120, 80));
  dynamic_cast<NSView*>(SWELL_Object(top))->addSubview(s);
  s->release();
  auto* tree = new Swell_vDavrel_64_treeview(NSMakeRect(0, 0, 120, 0));
  NSTableColumn* c = new NSTableColumn;
  c->setWidth(110);
  tree->addTableColumn(c);
  c->release();
  tree->setHeaderView(nullptr);
  s->setDocumentView(tree);
  tree->release();
  const HWND tv = SWELL_HWND(tree);
  TVINSERTSTRUCT ins{};
  ins.hInsertAfter = TVI_LAST;
  TreeView_InsertItem(tv, &ins);
  TreeView_SelectItem(tv, TreeView_InsertItem(tv, &ins));

  w->display();
  const uint32_t platform = PixelAt(w, 10 + 140, 10 + 17 + 19 + 8);  // as drawn before any colours
  ASSERT_NE(platform, 0xF0F0F0u);
  const int four[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
  struct
  {
    const int* colours;
    int n;
    bool focused;
    int64_t want;  // -1: the platform's highlight
  } cases[] = {{four, 4, true, 0x0000F0},  {four, 4, false, 0xF00000}, {four, 2, true, 0x0000F0},
               {four, 2, false, -1},        {four, 0, true, -1},        {nullptr, 3, false, 0x000000},
               {nullptr, 3, true, 0x000000}, {four, 1, false, -1}};
  for (const auto& t : cases)
  {
    for (HWND h : {lv, tv})
    {
      SCOPED_TRACE(std::to_string(t.n) + (t.colours ? " colours" : " blacks") + (t.focused ? ", focused" : "") +
                   (h == tv ? ", tree" : ", list"));
      ListView_SetSelColors(h, t.colours, t.n);
      SetFocus(t.focused ? h : top);
      ASSERT_EQ(GetFocus() == h, t.focused);
      w->display();
      // Inside the second row, right of any text.
      const int x = h == tv ? 170 + 100 : 10 + 140;
      const int y = h == tv ? 10 + 19 + 8 : 10 + 17 + 19 + 8;
      EXPECT_EQ(PixelAt(w, x, y), t.want < 0 ? platform : (uint32_t)t.want);
      EXPECT_EQ(PixelAt(w, x, y - 19), 0xF0F0F0u);  // the unselected row keeps the background
    }
  }
  // Any other handle keeps nothing (and is not harmed).
  Swell_vDavrel_64_button* b = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(5, 150, 40, 20)), 9);
  ListView_SetSelColors(SWELL_HWND(b), four, 4);
  ListView_SetSelColors(nullptr, four, 4);
  DestroyWindow(top);
}

// The focus rectangle lets the mouse through: in front of a list's row, the window
// found there is the list's, and a press and release sent to the rectangle's window
// select the row under it.
TEST_F(ListView, APressInsideTheFocusRectangleReachesTheRowUnderIt)
{
  NSAutoreleasePool pool;
  const HWND top = Window(NSMakeRect(100, 100, 300, 200));
  ShowWindow(top, SW_SHOW);
  const HWND h = Make(top, 0, 0, {150});
  for (int i = 0; i < 4; ++i) Add(h, "row", i);
  POINT at{40, 2 * 19 + 9};  // row 2; rows are 19 points apart
  ClientToScreen(h, &at);
  void* handle = nullptr;
  RECT r{5, 2 * 19 + 2, 120, 3 * 19 - 2};
  SWELL_DrawFocusRect(h, &r, &handle);
  NSWindow* overlay = (NSWindow*)handle;
  ASSERT_NE(overlay, nullptr);
  const NSPoint screen = NSMakePoint(at.x, at.y);
  // In front there: a window that took the mouse would be found.
  overlay->setIgnoresMouseEvents(false);
  EXPECT_EQ(WindowFromPoint(at), SWELL_HWND(overlay->contentView()));
  overlay->setIgnoresMouseEvents(true);
  EXPECT_EQ(WindowFromPoint(at), h);
  EXPECT_EQ(NSApp->windowAtPoint(screen), SWELL_WindowView(top)->window());
  for (NSEventType t : {NSMouseEntered, NSLeftMouseDown, NSLeftMouseUp, NSMouseExited})
    Send(NSEvent::mouseEventWithType(t, overlay->convertScreenToBase(screen), 0, 0, overlay, 1));
  EXPECT_EQ(Selected(h), (std::vector<int>{2}));
  SWELL_DrawFocusRect(h, nullptr, &handle);
  DestroyWindow(top);
}

}  // namespace
