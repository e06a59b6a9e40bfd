// What the owner of each kind of control hears when a person uses the control:
// clicks, double clicks, header clicks, picks from a list and typing, sent by
// another X client, reach the owner's window procedure as one exact sequence of
// WM_COMMAND, WM_NOTIFY and WM_HSCROLL messages per action.

#include "wnd_x11_fixture.h"

#include "platform/appkit/ModalScript.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "winsys/dlgbuild/builder.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/ctl_treeview.h"
#include "winsys/wnd/keyboard.h"

#include <functional>
#include <ostream>

namespace {

// One message the owner was told, decoded while its record was alive.
struct Told
{
  UINT msg;
  WPARAM wp;
  HWND from;  // the command's control, or the notice's hwndFrom
  UINT code = 0;
  int item = 0, sub = 0;
  LPARAM param = 0;
  bool operator==(const Told& o) const
  {
    return msg == o.msg && wp == o.wp && from == o.from && code == o.code && item == o.item && sub == o.sub &&
           param == o.param;
  }
};
std::ostream& operator<<(std::ostream& os, const Told& t)
{
  return os << "{msg " << t.msg << " wp " << std::hex << t.wp << std::dec << " from " << t.from << " code "
            << (int)t.code << " item " << t.item << " sub " << t.sub << " param " << t.param << "}";
}

Told Command(HWND c, int id, UINT code) { return Told{WM_COMMAND, (WPARAM)(id | code << 16), c}; }
Told Notice(HWND c, int id, UINT code, int item = 0, int sub = 0, LPARAM param = 0)
{
  return Told{WM_NOTIFY, (WPARAM)id, c, code, item, sub, param};
}

class NotifyX11 : public WndX11Test
{
protected:
  // Where a point of a view is in the X window, with the pointer put there first
  // (the hit test asks where the pointer is, as a person's hand would have moved it).
  std::pair<int, int> At(NSObject* view, int x, int y)
  {
    NSView* v = dynamic_cast<NSView*>(view);
    const NSPoint base = v->convertPointToView(NSMakePoint(x, y), nullptr);
    const NSPoint screen = v->window()->convertBaseToScreen(base);
    SWELL_SetCursorPos((int)screen.x, (int)screen.y);
    return {(int)base.x, (int)(v->window()->frame().size.height - base.y)};
  }
  void Click(NSObject* view, int x, int y, int clicks = 1)
  {
    const auto p = At(view, x, y);
    for (int i = 0; i < clicks; ++i) driver->click(xid, p.first, p.second);
    driver->sync();
  }

  NSWindow* w = nullptr;
  unsigned long xid = 0;
};

TEST_F(NotifyX11, EachControlTellsItsOwnerWhatTheUserDid)
{
  NSAutoreleasePool pool;
  const HWND top = Window(NSMakeRect(40, 200, 520, 300), 0, &w);
  w->setTitle("notifications");
  std::vector<Told> told;
  auto keep = [&](UINT msg) {
    log.handlers[{top, msg}] = [&, msg](HWND, WPARAM wp, LPARAM lp) {
      if (msg != WM_NOTIFY)
      {
        told.push_back(Told{msg, wp, (HWND)lp});
        return (LRESULT)0;
      }
      const NMHDR* h = (const NMHDR*)lp;
      Told t{msg, wp, h->hwndFrom, h->code};
      // Only a list view's notices carry the list fields; a tree's are shorter.
      if (dynamic_cast<Swell_vDavrel_64_listview*>(SWELL_Object(h->hwndFrom)))
      {
        const NMLISTVIEW* n = (const NMLISTVIEW*)lp;
        t.item = n->iItem;
        t.sub = n->iSubItem;
        t.param = n->lParam;
      }
      told.push_back(t);
      return (LRESULT)0;
    };
  };
  keep(WM_COMMAND);
  keep(WM_NOTIFY);
  keep(WM_HSCROLL);

  // The controls as a dialog's creation function makes them, in points.
  SWELL_MakeSetCurParms(1, 1, 0, 0, top, false, false);
  const HWND slider = SWELL_MakeControl("", 10, "msctls_trackbar32", 0, 10, 10, 150, 20, 0);
  const HWND popup = SWELL_MakeCombo(11, 10, 40, 150, 20, CBS_DROPDOWNLIST);
  const HWND combo = SWELL_MakeCombo(12, 10, 70, 150, 20, 0);
  const HWND edit = SWELL_MakeEditField(13, 10, 100, 150, 20, 0);
  const HWND button = SWELL_MakeButton(0, "Press", 14, 10, 130, 80, 20, 0);
  const HWND field = SWELL_MakeControl("", 15, "static", 0, 10, 160, 80, 20, 0);  // a label takes no action
  const HWND listbox = SWELL_MakeListBox(20, 180, 10, 150, 100, 0);
  const HWND listview = SWELL_MakeControl("", 21, "SysListView32", 0, 180, 130, 150, 120, 0);
  const HWND tree = SWELL_MakeControl("", 22, "SysTreeView32", 0, 350, 10, 150, 120, 0);
  (void)field;
  for (const char* s : {"one", "two", "three"})
  {
    SWELL_CB_AddString(top, 11, s);
    SWELL_CB_AddString(top, 12, s);
    SendMessage(listbox, LB_ADDSTRING, 0, (LPARAM)s);
  }
  for (int c = 0; c < 2; ++c)
  {
    char title[] = "Col";
    LVCOLUMN col{0, 0, 60, title, 0, 0};
    ListView_InsertColumn(listview, c, &col);
  }
  for (int i = 0; i < 3; ++i)
  {
    char text[] = "row";
    LVITEM it{};
    it.mask = LVIF_TEXT | LVIF_PARAM;
    it.iItem = i;
    it.pszText = text;
    it.lParam = 500 + i;
    ListView_InsertItem(listview, &it);
  }
  for (int i = 0; i < 3; ++i)
  {
    char text[] = "leaf";
    TVINSERTSTRUCT ins{};
    ins.hParent = TVI_ROOT;
    ins.hInsertAfter = TVI_LAST;
    ins.item.mask = TVIF_TEXT;
    ins.item.pszText = text;
    TreeView_InsertItem(tree, &ins);
  }
  NSTableView* lvTable = dynamic_cast<NSTableView*>(SWELL_Object(listview));
  const int pitch = (int)(lvTable->rowHeight() + lvTable->intercellSpacing().height);

  ShowWindow(top, SW_SHOW);
  xid = AKX11WindowOf(w);
  ASSERT_NE(xid, 0u);
  ASSERT_TRUE(until([&] { return driver->viewable(xid) && w->displayCount() > 0; }));

  NSModalScript script;
  const std::string setLayout = "setxkbmap -display " + X11Session::server()->display() + " ";
  struct Action
  {
    const char* what;
    std::function<void()> act;
    std::vector<Told> want;
  };
  const Action actions[] = {
      {"slider click", [&] { Click(SWELL_Object(slider), 100, 10); }, {{WM_HSCROLL, 0, slider}}},
      {"pop-up pick",
       [&] {
         script.chooseMenuItem({2});
         Click(SWELL_Object(popup), 20, 10);
       },
       {Command(popup, 11, CBN_SELCHANGE)}},
      {"combo box pick",
       [&] {
         script.chooseMenuItem({1});
         Click(SWELL_Object(combo), 145, 10);
       },
       {Command(combo, 12, CBN_DROPDOWN), Command(combo, 12, CBN_SELCHANGE)}},
      {"combo box typing",
       [&] {
         Click(SWELL_Object(combo), 20, 10);
         driver->key(xid, "x");
       },
       {Command(combo, 12, CBN_EDITCHANGE)}},
      {"edit typing",
       [&] {
         Click(SWELL_Object(edit), 20, 10);
         driver->key(xid, "y");
       },
       // Leaving the combo box's edit tells nothing; typing here is a change.
       {Command(edit, 13, EN_CHANGE)}},
      // The button takes the focus: the edit field left tells its edit ended first.
      {"button click",
       [&] { Click(SWELL_Object(button), 20, 10); },
       {Command(edit, 13, EN_CHANGE), Command(button, 14, BN_CLICKED)}},
      {"list box click", [&] { Click(SWELL_Object(listbox), 20, pitch + 5); }, {Command(listbox, 20, LBN_SELCHANGE)}},
      {"list box double click on the selected row",
       [&] { Click(SWELL_Object(listbox), 20, pitch + 5, 2); },
       {Command(listbox, 20, LBN_DBLCLK)}},
      {"list view click",
       [&] { Click(SWELL_Object(listview), 70, pitch + 5); },
       {Notice(listview, 21, LVN_ITEMCHANGED, 1), Notice(listview, 21, NM_CLICK, 1, 1, 501)}},
      {"list view double click",
       [&] { Click(SWELL_Object(listview), 10, 2 * pitch + 5, 2); },
       {Notice(listview, 21, LVN_ITEMCHANGED, 2), Notice(listview, 21, NM_CLICK, 2, 0, 502),
        Notice(listview, 21, NM_DBLCLK, 2, 0, 502), Notice(listview, 21, NM_CLICK, 2, 0, 502)}},
      {"list view header click",
       [&] { Click(lvTable->headerView(), 70, 5); },
       {Notice(listview, 21, LVN_COLUMNCLICK, -1, 1)}},
      {"tree click",
       [&] { Click(SWELL_Object(tree), 30, pitch + 5); },
       {Notice(tree, 22, NM_CLICK), Notice(tree, 22, TVN_SELCHANGED)}},
      {"tree double click",
       [&] { Click(SWELL_Object(tree), 30, 2 * pitch + 5, 2); },
       {Notice(tree, 22, NM_CLICK), Notice(tree, 22, TVN_SELCHANGED), Notice(tree, 22, NM_CLICK),
        Notice(tree, 22, NM_DBLCLK)}},
      {"edit typing a Cyrillic letter, sent on a Russian layout",
       [&] {
         Click(SWELL_Object(edit), 20, 10);
         ASSERT_EQ(std::system((setLayout + "ru").c_str()), 0);
         AKX11Driver(X11Session::server()->display()).key(xid, "Cyrillic_ya");  // reads the layout now
       },
       {Command(edit, 13, EN_CHANGE)}},
  };
  for (const Action& a : actions)
  {
    SCOPED_TRACE(a.what);
    // A press on the window's own background first, far from the control, so no
    // two actions count as one double click.
    Click(SWELL_Object(top), 515, 295);
    ASSERT_TRUE(until([&] { return !log.only(WM_LBUTTONUP).empty(); }));
    log.msgs.clear();
    told.clear();
    a.act();
    // Each action ends with a release the owner's view does not see; the last
    // message told is the last of the sequence, so wait for as many as wanted.
    until([&] { return told.size() >= a.want.size(); });
    loop->runOnce();
    EXPECT_EQ(told, a.want);
    EXPECT_EQ(script.pending(), 0u);
  }
  char typed[8] = {};
  EXPECT_TRUE(GetWindowText(edit, typed, sizeof typed) && std::string(typed) == "y\xd1\x8f") << typed;
  EXPECT_EQ(std::system((setLayout + "us").c_str()), 0);
  DestroyWindow(top);
}

}  // namespace
