// The tree view: item records, insertion places, expansion, selection notices
// and clicks.

#include "wnd_test_util.h"

#include "winsys/msgloop/runloop_misc.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"

#include <algorithm>
#include <cmath>

namespace {

class TreeView : public WndTest
{
protected:
  HWND Make(HWND top)
  {
    NSScrollView* s = new NSScrollView(NSMakeRect(10, 10, 200, 150));
    dynamic_cast<NSView*>(SWELL_Object(top))->addSubview(s);
    s->release();
    auto* tv = new Swell_vDavrel_64_treeview(NSMakeRect(0, 0, 200, 0));
    tv->setTag(80);
    tv->setTarget(SWELL_Object(top));
    NSTableColumn* c = new NSTableColumn;
    c->setWidth(180);
    tv->addTableColumn(c);
    c->release();
    tv->setHeaderView(nullptr);
    s->setDocumentView(tv);
    tv->release();
    return SWELL_HWND(tv);
  }
  static HTREEITEM Insert(HWND h, HTREEITEM parent, HTREEITEM after, const char* text, bool children = false)
  {
    TVINSERTSTRUCT ins{};
    ins.hParent = parent;
    ins.hInsertAfter = after;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    ins.item.pszText = const_cast<char*>(text);
    ins.item.lParam = (LPARAM)text[0];
    ins.item.cChildren = children;
    return TreeView_InsertItem(h, &ins);
  }
  static std::string Text(HWND h, HTREEITEM item)
  {
    char buf[32];
    TVITEM it{};
    it.mask = TVIF_HANDLE | TVIF_TEXT;
    it.hItem = item;
    it.pszText = buf;
    it.cchTextMax = sizeof buf;
    return TreeView_GetItem(h, &it) ? buf : "?";
  }
  static std::vector<std::string> Level(HWND h, HTREEITEM parent)
  {
    std::vector<std::string> r;
    HTREEITEM c = TreeView_GetChild(h, parent);
    if (!parent)
      for (int i = 0; i < dynamic_cast<Swell_vDavrel_64_treeview*>(SWELL_Object(h))->m_items.GetSize(); ++i)
        r.push_back(Text(h, dynamic_cast<Swell_vDavrel_64_treeview*>(SWELL_Object(h))->m_items.Get(i)));
    else
      for (; c; c = TreeView_GetNextSibling(h, c)) r.push_back(Text(h, c));
    return r;
  }
};

using V = std::vector<std::string>;

TEST_F(TreeView, InsertionPlacesAndLookups)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top);
  HTREEITEM a = Insert(h, TVI_ROOT, TVI_LAST, "A", true);
  HTREEITEM b = Insert(h, nullptr, nullptr, "B", true);
  Insert(h, TVI_ROOT, TVI_FIRST, "first");
  Insert(h, TVI_ROOT, a, "afterA");
  Insert(h, TVI_SORT, TVI_SORT, "z");  // no sorting is done
  Insert(h, TVI_ROOT, TVI_ROOT, "root");  // no item to follow: first
  EXPECT_EQ(Level(h, nullptr), (V{"root", "first", "A", "afterA", "B", "z"}));

  HTREEITEM a1 = Insert(h, a, TVI_LAST, "a1");
  Insert(h, a, TVI_LAST, "a2");
  Insert(h, a, a1, "a1b");
  Insert(h, a, b, "other");  // an item of another parent: first
  EXPECT_EQ(Level(h, a), (V{"other", "a1", "a1b", "a2"}));
  HTREEITEM deep = Insert(h, a1, TVI_LAST, "deep");
  EXPECT_EQ(Insert(h, (HTREEITEM)(void*)&h, TVI_LAST, "lost"), nullptr);  // a parent not in the tree
  EXPECT_EQ(Level(h, a), (V{"other", "a1", "a1b", "a2"}));
  EXPECT_EQ(TreeView_GetRoot(h), TreeView_GetChild(h, nullptr));
  EXPECT_EQ(Text(h, TreeView_GetRoot(h)), "root");
  EXPECT_EQ(TreeView_GetNextSibling(h, a), nullptr);  // top-level items are not chained
  EXPECT_EQ(TreeView_GetChild(h, a1), deep);
  EXPECT_EQ(TreeView_InsertItem(top, nullptr), nullptr);

  TVITEM it{};
  it.mask = TVIF_HANDLE | TVIF_TEXT;
  it.hItem = a1;
  char buf[4] = "xyz";
  it.pszText = buf;
  it.cchTextMax = 1;
  EXPECT_EQ(TreeView_GetItem(h, &it), 1);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 'y');
  EXPECT_EQ(it.lParam, 'a');
  it.mask = TVIF_TEXT;
  EXPECT_EQ(TreeView_GetItem(h, &it), 0);

  TreeView_DeleteItem(h, a1);  // with its child
  EXPECT_EQ(Level(h, a), (V{"other", "a1b", "a2"}));
  TreeView_DeleteItem(h, a1);  // no longer there: nothing
  EXPECT_EQ(Level(h, a), (V{"other", "a1b", "a2"}));
  // Items deleted, of another tree, or no item at all are not read.
  const HWND other = Make(top);
  HTREEITEM foreign = Insert(other, TVI_ROOT, TVI_LAST, "F");
  for (HTREEITEM gone : {a1, deep, foreign, (HTREEITEM)(void*)&h, (HTREEITEM)TVI_ROOT})
  {
    it.mask = TVIF_HANDLE | TVIF_TEXT;
    it.hItem = gone;
    it.cchTextMax = sizeof buf;
    it.lParam = 77;
    EXPECT_EQ(TreeView_GetItem(h, &it), 0);
    EXPECT_EQ(it.lParam, 77);
  }
  EXPECT_EQ(Text(other, foreign), "F");
}

TEST_F(TreeView, ExpansionSelectionAndNotices)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top);
  auto* tv = dynamic_cast<Swell_vDavrel_64_treeview*>(SWELL_Object(h));
  HTREEITEM a = Insert(h, TVI_ROOT, TVI_LAST, "A", true);
  HTREEITEM a1 = Insert(h, a, TVI_LAST, "a1");
  HTREEITEM b = Insert(h, TVI_ROOT, TVI_LAST, "B");
  EXPECT_EQ(tv->numberOfRows(), 2);
  struct
  {
    UINT flag;
    BOOL result;
    NSInteger rows;
  } steps[] = {{TVE_EXPAND, 1, 3}, {TVE_EXPAND, 0, 3}, {TVE_TOGGLE, 1, 2}, {TVE_COLLAPSE, 0, 2},
               {TVE_TOGGLE, 1, 3}, {7, 0, 3}};
  for (const auto& s : steps)
  {
    EXPECT_EQ(TreeView_Expand(h, a, s.flag), s.result) << s.flag;
    EXPECT_EQ(tv->numberOfRows(), s.rows) << s.flag;
  }

  // A handler that selects again gets no second notice.
  int notices = 0;
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM wp, LPARAM lp) {
    const NMHDR* hdr = (const NMHDR*)lp;
    if (hdr->code == TVN_SELCHANGED)
    {
      ++notices;
      EXPECT_EQ(wp, 80u);
      EXPECT_EQ(hdr->hwndFrom, h);
      TreeView_SelectItem(h, b);
    }
    return (LRESULT)0;
  };
  TreeView_SelectItem(h, a1);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(TreeView_GetSelection(h), b);
  TVITEM it{};
  it.mask = TVIF_HANDLE;
  it.hItem = a1;
  it.state = it.stateMask = TVIS_SELECTED;
  EXPECT_EQ(TreeView_SetItem(h, &it), 1);
  // Each function guards only itself: the handler's select is told once more.
  EXPECT_EQ(notices, 3);
  it.stateMask = TVIS_EXPANDED;
  it.state = 0;
  it.hItem = a;
  EXPECT_EQ(TreeView_SetItem(h, &it), 1);
  EXPECT_EQ(tv->numberOfRows(), 2);
  it.hItem = nullptr;
  EXPECT_EQ(TreeView_SetItem(h, &it), 0);
  it.hItem = a;
  it.mask = TVIF_HANDLE | TVIF_TEXT;
  it.pszText = const_cast<char*>("Renamed");
  TreeView_SetItem(h, &it);
  EXPECT_EQ(Text(h, a), "Renamed");

  TVHITTESTINFO hti{{5, 20}, 0, nullptr};
  EXPECT_EQ(TreeView_HitTest(h, &hti), b);
  hti.pt = POINT{5, 38};
  EXPECT_EQ(TreeView_HitTest(h, &hti), nullptr);
}

// The hit test asks the outline view for the row at the point and lets the row
// rectangles decide near it: every whole point on and around the edges lands where
// a walk over all the rectangles puts it, also with pitches that do not divide evenly
// (1.1 puts points into the row above, the row below and past the end) or that
// leave a gap between rows, and none with rows of no or negative height.
TEST_F(TreeView, HitTestLandsWhereTheRowRectanglesSay)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  const HWND h = Make(top);
  auto* tv = dynamic_cast<Swell_vDavrel_64_treeview*>(SWELL_Object(h));
  std::vector<HTREEITEM> items;
  static const char kNames[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN";
  for (int i = 0; i < 40; ++i) items.push_back(Insert(h, TVI_ROOT, TVI_LAST, std::string(1, kNames[i]).c_str()));
  ASSERT_EQ(tv->numberOfRows(), 40);
  const struct
  {
    CGFloat height, spacing;
  } pitches[] = {{17, 2}, {1, 0.1}, {1.5, 0.7}, {1, -0.7}, {1, -1}, {1, -2}};
  const int w = (int)tv->frame().size.width;
  for (const auto& pitch : pitches)
  {
    tv->setRowHeight(pitch.height);
    tv->setIntercellSpacing(NSMakeSize(3, pitch.spacing));
    const int bottom = (int)std::ceil(40 * std::max<CGFloat>(0, pitch.height + pitch.spacing)) + 2;
    int hits = 0;
    for (int x : {-1, 0, w - 1, w})
      for (int y = -2; y <= bottom; ++y)
      {
        HTREEITEM want = nullptr;
        for (NSInteger r = 0; r < tv->numberOfRows() && !want; ++r)
          if (NSPointInRect(NSMakePoint(x, y), tv->rectOfRow(r))) want = items[(size_t)r];
        TVHITTESTINFO hti{{x, y}, 0, nullptr};
        ASSERT_EQ(TreeView_HitTest(h, &hti), want) << pitch.height << "+" << pitch.spacing << " at " << x << "," << y;
        hits += want != nullptr;
      }
    EXPECT_EQ(hits > 0, pitch.height + pitch.spacing > 0) << pitch.height << "+" << pitch.spacing;
  }
}

TEST_F(TreeView, ClicksAndContextMenus)
{
  NSAutoreleasePool pool;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  ShowWindow(top, SW_SHOW);
  const HWND h = Make(top);
  HTREEITEM a = Insert(h, TVI_ROOT, TVI_LAST, "A", true), a1 = Insert(h, a, TVI_LAST, "a1");
  HTREEITEM b = Insert(h, TVI_ROOT, TVI_LAST, "B");
  std::vector<int> codes;
  LRESULT answer = 0;
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
    codes.push_back((int)((const NMHDR*)lp)->code);
    return answer;
  };
  Send(Mouse(NSLeftMouseDown, h, NSMakePoint(30, 5)));
  Send(Mouse(NSLeftMouseUp, h, NSMakePoint(30, 5)));
  EXPECT_EQ(codes, (std::vector<int>{-2}));
  EXPECT_EQ(TreeView_GetSelection(h), a);

  // A right click reports NM_RCLICK; unless the owner answers it, a context menu
  // follows. A Control-press with emulation on is a right click.
  struct
  {
    NSEventType down, up;
    NSUInteger flags;
    LRESULT answer;
    size_t menus;
  } rights[] = {{NSRightMouseDown, NSRightMouseUp, 0, 0, 1},
                {NSRightMouseDown, NSRightMouseUp, 0, 1, 0},
                {NSLeftMouseDown, NSLeftMouseUp, NSControlKeyMask, 0, 1}};
  for (const auto& r : rights)
  {
    SCOPED_TRACE(testing::Message() << r.flags << " " << r.answer);
    answer = r.answer;
    codes.clear();
    log.msgs.clear();
    SWELL_EnableRightClickEmulate(r.flags != 0);
    Send(Mouse(r.down, h, NSMakePoint(30, 25), r.flags));
    Send(Mouse(r.up, h, NSMakePoint(30, 25), r.flags));
    SWELL_EnableRightClickEmulate(0);
    EXPECT_EQ(codes, (std::vector<int>{-5}));
    EXPECT_EQ(log.only(WM_CONTEXTMENU).size(), r.menus);
  }

  // From A, selected by the click: keys move the selection as in a list and tell
  // the owner; Right opens the selected item and Left closes it, telling nothing.
  dynamic_cast<NSTableView*>(SWELL_Object(h))->setDelegate(SWELL_WindowView(top));
  const char16_t left = NSLeftArrowFunctionKey, right = NSRightArrowFunctionKey, down = NSDownArrowFunctionKey;
  const std::tuple<char16_t, HTREEITEM, NSInteger, size_t> keys[] = {
      {right, a, 3, 0}, {right, a, 3, 0}, {down, a1, 3, 1},         {left, a1, 3, 0},  {NSUpArrowFunctionKey, a, 3, 1},
      {left, a, 2, 0},  {down, b, 2, 1},  {NSEndFunctionKey, b, 2, 0}, {right, b, 2, 0}, {NSHomeFunctionKey, a, 2, 1}};
  for (const auto& [key, selected, rows, notices] : keys)
  {
    SCOPED_TRACE(testing::Message() << "key " << (int)key << " to " << Text(h, selected));
    codes.clear();
    Key(dynamic_cast<NSView*>(SWELL_Object(h))->window(), key);
    EXPECT_EQ(TreeView_GetSelection(h), selected);
    EXPECT_EQ(dynamic_cast<NSTableView*>(SWELL_Object(h))->numberOfRows(), rows);
    EXPECT_EQ(codes.size(), notices);
  }
}

}  // namespace
