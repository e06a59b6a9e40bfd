// The tab control and the progress bar.

#include "wnd_test_util.h"

#include "winsys/wnd/ctl_tabs.h"

namespace {

class Tabs : public WndTest
{
protected:
  HWND MakeTabs(HWND top, std::initializer_list<const char*> labels)
  {
    auto* t = AddControl(top, new Swell_vDavrel_64_tabview(NSMakeRect(5, 5, 200, 120)), 60);
    t->setNotificationWindow(top);
    for (const char* l : labels)
    {
      TCITEM item{TCIF_TEXT, 0, 0, const_cast<char*>(l), 0, 0, 0};
      TabCtrl_InsertItem(SWELL_HWND(t), 1000, &item);
    }
    return SWELL_HWND(t);
  }
  static std::vector<std::string> Labels(HWND h)
  {
    std::vector<std::string> r;
    auto* t = dynamic_cast<NSTabView*>(SWELL_Object(h));
    for (int i = 0; i < t->numberOfTabViewItems(); ++i) r.push_back(t->tabViewItemAtIndex(i)->label());
    return r;
  }
};

TEST_F(Tabs, InsertSelectDeleteAndNotify)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  log.msgs.clear();
  const HWND h = MakeTabs(top, {"One", "Two"});
  EXPECT_TRUE(log.only(WM_NOTIFY).empty());  // inserting selects the first tab silently
  EXPECT_EQ(TabCtrl_GetCurSel(h), 0);

  struct
  {
    int index;
    UINT mask;
    const char* text;
    int result;
  } inserts[] = {{99, TCIF_TEXT, "End", 2}, {-4, TCIF_TEXT, "Start", 0}, {1, 0, "No mask", -1},
                 {1, TCIF_TEXT, nullptr, -1}, {1, TCIF_TEXT, "Mid", 1}};
  for (const auto& c : inserts)
  {
    TCITEM item{c.mask, 0, 0, const_cast<char*>(c.text), 0, 0, 0};
    EXPECT_EQ(TabCtrl_InsertItem(h, c.index, &item), c.result) << c.index;
  }
  EXPECT_EQ(Labels(h), (std::vector<std::string>{"Start", "Mid", "One", "Two", "End"}));
  EXPECT_EQ(TabCtrl_GetCurSel(h), 2);  // still "One"

  log.msgs.clear();
  EXPECT_EQ(TabCtrl_SetCurSel(h, 5), 2);  // out of range: nothing
  EXPECT_EQ(TabCtrl_SetCurSel(h, -1), 2);
  EXPECT_TRUE(log.only(WM_NOTIFY).empty());
  NMHDR seen{};
  log.handlers[{top, WM_NOTIFY}] = [&](HWND, WPARAM, LPARAM lp) {
    seen = *(NMHDR*)lp;
    return (LRESULT)0;
  };
  EXPECT_EQ(TabCtrl_SetCurSel(h, 4), 2);
  EXPECT_EQ(TabCtrl_GetCurSel(h), 4);
  ASSERT_EQ(log.only(WM_NOTIFY).size(), 1u);
  EXPECT_EQ(log.only(WM_NOTIFY)[0].wParam, 60u);
  EXPECT_EQ(seen.hwndFrom, h);
  EXPECT_EQ(seen.idFrom, 60u);
  EXPECT_EQ(seen.code, TCN_SELCHANGE);

  EXPECT_EQ(TabCtrl_DeleteItem(h, 5), 0);
  EXPECT_EQ(TabCtrl_DeleteItem(h, -1), 0);
  EXPECT_EQ(TabCtrl_DeleteItem(h, 0), 1);
  EXPECT_EQ(TabCtrl_GetItemCount(h), 4);
  while (TabCtrl_GetItemCount(h)) TabCtrl_DeleteItem(h, 0);
  EXPECT_EQ(TabCtrl_GetCurSel(h), 0);  // empty: 0, not -1

  // Anything but a tab control fails each call its own way.
  RECT r{0, 0, 100, 100};
  EXPECT_EQ(TabCtrl_GetItemCount(top), 0);
  EXPECT_EQ(TabCtrl_SetCurSel(top, 0), -1);
  EXPECT_EQ(TabCtrl_GetCurSel(nullptr), 0);
  EXPECT_EQ(TabCtrl_AdjustRect(top, 0, &r), 0);
  EXPECT_EQ(TabCtrl_AdjustRect(h, 0, nullptr), 0);
  TCITEM item{TCIF_TEXT, 0, 0, const_cast<char*>("x"), 0, 0, 0};
  EXPECT_EQ(TabCtrl_InsertItem(top, 0, &item), -1);

  EXPECT_EQ(TabCtrl_AdjustRect(h, 0, &r), 1);
  EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{7, 26, 93, 97}));
  r = RECT{0, 0, 100, 100};
  TabCtrl_AdjustRect(h, 1, &r);
  EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{-7, -26, 107, 103}));
}

TEST_F(Tabs, ClickingATabSelectsIt)
{
  NSAutoreleasePool pool;  // the events hold their window until drained
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  ShowWindow(top, SW_SHOW);
  const HWND h = MakeTabs(top, {"Alpha", "Beta"});
  auto* t = dynamic_cast<NSTabView*>(SWELL_Object(h));
  NSPoint p{};
  for (p.x = 0; p.x < 200 && t->tabViewItemAtPoint(NSMakePoint(p.x, 110)) != t->tabViewItemAtIndex(1); ++p.x)
  {
  }
  ASSERT_LT(p.x, 200);
  log.msgs.clear();
  Send(Mouse(NSLeftMouseDown, h, NSMakePoint(p.x, t->isFlipped() ? 10 : 110)));
  EXPECT_EQ(TabCtrl_GetCurSel(h), 1);
  EXPECT_EQ(log.only(WM_NOTIFY).size(), 1u);
}

TEST_F(Tabs, ProgressBarMessages)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  auto* p = AddControl(top, new Swell_vDavrel_64_progind(NSMakeRect(5, 5, 200, 16)), 61);
  const HWND h = GetDlgItem(top, 61);
  ASSERT_EQ(h, SWELL_HWND(p));
  p->startAnimation(nullptr);
  struct
  {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    double min, max, value;
  } steps[] = {
      {PBM_SETRANGE, 0, 100 << 16, 0, 100, 0},  {PBM_SETPOS, 40, 0, 0, 100, 40},
      {PBM_DELTAPOS, 5, 0, 0, 100, 45},         {PBM_SETRANGE, 0, (50 << 16) | 10, 10, 50, 45},
      {PBM_SETRANGE, 0, (LPARAM)0xFFFF0000, 0, 65535, 45}, {WM_COMMAND, 1, 1, 0, 65535, 45},
  };
  for (const auto& s : steps)
  {
    EXPECT_EQ(SendMessage(h, s.msg, s.wp, s.lp), 0);
    EXPECT_EQ(p->minValue(), s.min) << std::hex << s.msg;
    EXPECT_EQ(p->maxValue(), s.max) << std::hex << s.msg;
    EXPECT_EQ(p->doubleValue(), s.value) << std::hex << s.msg;
  }
  EXPECT_FALSE(p->isAnimating());
}

}  // namespace
