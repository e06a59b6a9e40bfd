// Styles and data of every kind of window, owners across re-parenting, frames
// rebuilt for a new style, check states, the frame-view rule of lists in their
// scroll views and the window settings that have no picture of their own.

#include "wnd_test_util.h"

#include "winsys/wnd/controls.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/toplevel.h"

#include <string>

namespace {

class Styles : public WndTest
{
protected:
  static HWND H(NSObject* o) { return SWELL_HWND(o); }
  // A window view in a modeless frame of its own, owned by owner (or by nobody);
  // the frame holds the view.
  HWND Framed(HWND owner = nullptr, NSWindow** frame = nullptr)
  {
    const HWND content = SWELL_CreateWindowView(nullptr, nullptr, RecordingProc, 0);
    NSWindow* w = dynamic_cast<NSWindow*>(SWELL_Object(SWELL_CreateModelessFrameForWindow(content, owner, 15)));
    SWELL_WindowView(content)->release();
    if (frame) *frame = w;
    return content;
  }
};

TEST_F(Styles, LongValuesOfEachKindOfWindow)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  auto* check = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(0, 0, 50, 20)), 1);
  check->setButtonType(NSSwitchButton);
  auto* three = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(0, 20, 50, 20)), 2);
  three->setButtonType(NSSwitchButton);
  three->setAllowsMixedState(true);
  auto* radio = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(0, 40, 50, 20)), 3);
  radio->setButtonType(NSRadioButton);
  radio->swellSetRadioFlags(SWELL_RADIO_AUTO | SWELL_RADIO_GROUPSTART);
  auto* combo = AddControl(top, new Swell_vDavrel_64_cbox(NSMakeRect(60, 0, 80, 20)), 4);
  combo->setSwellStyle(CBS_SORT);
  auto* text = AddControl(top, new Swell_vDavrel_64_textview(NSMakeRect(60, 40, 80, 40)), 5);
  auto* label = AddControl(top, new Swell_vDavrel_64_textfield(NSMakeRect(60, 90, 80, 20)), 6);
  auto* box = AddControl(top, new Swell_vDavrel_64_box(NSMakeRect(150, 0, 80, 80)), 7);
  const HWND child = SWELL_CreateWindowView(nullptr, top, RecordingProc, 0);

  struct Case
  {
    const char* what;
    HWND h;
    int index;
    LONG_PTR before, set, after;
  };
  const LONG_PTR marker = (LONG_PTR)0xDEADF00B;
  const Case cases[] = {
      {"check box style", H(check), GWL_STYLE, BS_AUTOCHECKBOX | WS_CHILD, 0, BS_AUTOCHECKBOX | WS_CHILD},
      {"three-state style", H(three), GWL_STYLE, BS_AUTO3STATE | WS_CHILD, 0, BS_AUTO3STATE | WS_CHILD},
      {"radio style", H(radio), GWL_STYLE, BS_AUTORADIOBUTTON | WS_GROUP | WS_CHILD, 0,
       BS_AUTORADIOBUTTON | WS_GROUP | WS_CHILD},
      // A check box made a radio button of a group, and a radio button a check box.
      {"check box to radio", H(check), GWL_STYLE, BS_AUTOCHECKBOX | WS_CHILD, BS_AUTORADIOBUTTON | WS_GROUP,
       BS_AUTORADIOBUTTON | WS_GROUP | WS_CHILD},
      {"radio to three-state", H(radio), GWL_STYLE, BS_AUTORADIOBUTTON | WS_GROUP | WS_CHILD, BS_AUTO3STATE,
       BS_AUTO3STATE | WS_CHILD},
      {"stored style", H(combo), GWL_STYLE, CBS_SORT, 0x42, 0x42},
      {"button user data", H(check), GWL_USERDATA, 0, 77, 77},
      {"text view marker", H(text), GWL_USERDATA, marker, 0, marker},
      {"label user data", H(label), GWL_USERDATA, 0, 0, 0},
      {"box id", H(box), GWL_ID, 7, 70, 70},
      {"window view extra", child, 16, 0, 99, 99},
      {"window view user data", child, GWL_USERDATA, 0, 55, 55},
      {"button extra", H(check), 16, 0, 5, 5},
      {"label user data, kept as extra data", H(label), GWL_USERDATA, 0, 66, 66},
      {"text view user data", H(text), GWL_USERDATA, marker, 44, 44},
      {"extra data past the slots", H(box), 256, 0, 5, 0},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GetWindowLong(c.h, c.index), c.before);
    if (c.set)
    {
      // The previous value comes back, or 0 where nothing is kept.
      const LONG_PTR old = SetWindowLong(c.h, c.index, c.set);
      EXPECT_EQ(old, c.index == GWL_STYLE || c.index == GWL_USERDATA || c.index == GWL_ID || c.after ? c.before : 0);
    }
    EXPECT_EQ(GetWindowLong(c.h, c.index), c.after);
  }
  EXPECT_EQ(check->buttonType(), NSRadioButton);
  EXPECT_EQ(check->swellGetRadioFlags(), SWELL_RADIO_AUTO | SWELL_RADIO_GROUPSTART);
  EXPECT_EQ(radio->swellGetRadioFlags(), 0);
  EXPECT_TRUE(radio->allowsMixedState());

  // Check states, and the kind tests.
  struct Check
  {
    int id, set, want;
  };
  for (const Check c : {Check{2, BST_CHECKED, BST_CHECKED}, Check{2, BST_INDETERMINATE, BST_INDETERMINATE},
                        Check{2, 3, BST_INDETERMINATE}, Check{2, BST_UNCHECKED, BST_UNCHECKED},
                        Check{6, BST_CHECKED, BST_UNCHECKED}, Check{99, BST_CHECKED, BST_UNCHECKED}})
  {
    CheckDlgButton(top, c.id, c.set);
    EXPECT_EQ(IsDlgButtonChecked(top, c.id), c.want) << c.id << " " << c.set;
  }
  const HWND kinds[] = {H(check), H(box), H(label), H(text), child, nullptr};
  const bool want[][3] = {{false, true, false}, {true, false, false}, {false, false, true},
                          {false, false, false}, {false, false, false}, {false, false, false}};
  for (size_t i = 0; i < 6; ++i)
  {
    EXPECT_EQ(SWELL_IsGroupBox(kinds[i]), want[i][0]) << i;
    EXPECT_EQ(SWELL_IsButton(kinds[i]), want[i][1]) << i;
    EXPECT_EQ(SWELL_IsStaticText(kinds[i]), want[i][2]) << i;
  }
  EXPECT_TRUE(IsEquivalentTextView(H(text), H(text)));
  EXPECT_FALSE(IsEquivalentTextView(H(text), H(label)));  // not the label's editor
  EXPECT_FALSE(IsEquivalentTextView(nullptr, H(label)));
}

// An owned window answers its owner as parent; re-parented into another window
// and out again, it is owned by the same window once more.
TEST_F(Styles, OwnersSurviveReparenting)
{
  const HWND owner = Framed();
  const HWND host = Window(NSMakeRect(300, 0, 200, 200));
  NSWindow* frame = nullptr;
  const HWND content = Framed(owner, &frame);
  ASSERT_NE(frame, nullptr);
  const HWND frameHandle = SWELL_HWND(frame);
  EXPECT_EQ(GetParent(content), owner);
  EXPECT_EQ(GetWindow(content, GW_OWNER), SWELL_HWND(SWELL_WindowView(owner)->window()));

  EXPECT_EQ(SetParent(content, host), host);
  EXPECT_EQ(GetParent(content), host);
  EXPECT_EQ(SetParent(content, nullptr), nullptr);
  // A new frame (the old one is gone; its memory may be taken again, its handle not).
  NSWindow* again = SWELL_WindowView(content)->window();
  ASSERT_NE(again, nullptr);
  EXPECT_NE(SWELL_HWND(again), frameHandle);
  EXPECT_EQ(again->contentView(), SWELL_WindowView(content));
  EXPECT_EQ(GetParent(content), owner);

  // A window that keeps no owner leaves none behind to be owned by later.
  const HWND loose = Window(NSMakeRect(0, 300, 100, 100));
  SWELL_WindowView(loose)->setLastTopLevelOwner(SWELL_Object(owner));
  EXPECT_EQ(SetParent(loose, host), host);
  EXPECT_EQ(SetParent(loose, nullptr), nullptr);
  EXPECT_EQ(GetParent(loose), nullptr);
  DestroyWindow(loose);
  DestroyWindow(content);
  DestroyWindow(owner);
}

// A style without caption on a titled window rebuilds its frame untitled, keeping
// title, place and owned windows; the same kind again changes nothing.
TEST_F(Styles, AStyleOfAnotherKindRebuildsTheFrame)
{
  NSWindow* first = nullptr;
  const HWND content = Framed(nullptr, &first);
  ASSERT_NE(first, nullptr);
  const HWND firstHandle = SWELL_HWND(first);
  SetDlgItemText(content, 0, "Levels");
  SetWindowPos(content, nullptr, 40, 50, 220, 130, SWP_NOZORDER);
  const HWND ownedContent = Framed(content);
  const NSRect was = first->frame();
  EXPECT_EQ(GetWindowLong(content, GWL_STYLE), WS_CAPTION | WS_THICKFRAME);

  EXPECT_EQ(SetWindowLong(content, GWL_STYLE, WS_CAPTION | WS_THICKFRAME), 0);
  EXPECT_EQ(SWELL_WindowView(content)->window(), first);  // the same kind: nothing happens
  log.msgs.clear();
  EXPECT_EQ(SetWindowLong(content, GWL_STYLE, 0), 0);
  NSWindow* now = SWELL_WindowView(content)->window();
  ASSERT_NE(now, nullptr);
  EXPECT_NE(SWELL_HWND(now), firstHandle);
  EXPECT_EQ(GetWindowLong(content, GWL_STYLE), 0);  // a frame of the new kind
  EXPECT_FALSE(now->styleMask() & NSTitledWindowMask);
  EXPECT_EQ(now->frame().origin.x, was.origin.x);
  EXPECT_EQ(now->frame().size.width, was.size.width);
  char title[64];
  GetDlgItemText(content, 0, title, sizeof title);
  EXPECT_STREQ(title, "Levels");
  EXPECT_EQ(GetParent(ownedContent), content);  // the owned window moved along
  EXPECT_TRUE(log.only(WM_DESTROY).empty());    // the content view lives on
  DestroyWindow(ownedContent);
  DestroyWindow(content);
}

TEST_F(Styles, ListsInScrollViewsStandAsTheirScrollViews)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  ShowWindow(top, SW_SHOW);
  const HWND before = SWELL_CreateWindowView(nullptr, top, RecordingProc, 0);
  NSScrollView* s = new NSScrollView(NSMakeRect(10, 20, 150, 100));
  SWELL_WindowView(top)->addSubview(s);
  s->release();
  Swell_vDavrel_64_listview* lv = new Swell_vDavrel_64_listview(NSMakeRect(0, 0, 150, 0));
  s->setDocumentView(lv);
  lv->release();
  const HWND after = SWELL_CreateWindowView(nullptr, top, RecordingProc, 0);
  // A document straight in a clip view is found by its id too.
  NSClipView* clip = AddControl(top, new NSClipView(NSMakeRect(200, 0, 50, 50)), 0);
  NSView* clipped = AddControl(SWELL_HWND(clip), new NSView(NSMakeRect(0, 0, 50, 80)), 6);
  const HWND h = SWELL_HWND(lv);
  lv->setTag(5);
  s->setTag(9);
  struct Walk
  {
    const char* what;
    HWND got, want;
  };
  const Walk walks[] = {
      {"previous sibling of the scroll view", GetWindow(h, GW_HWNDPREV), before},
      {"next sibling of the scroll view", GetWindow(h, GW_HWNDNEXT), after},
      {"first of the scroll view's siblings", GetWindow(h, GW_HWNDFIRST), before},
      {"the list by its id", GetDlgItem(top, 5), h},
      {"not the scroll view by its own", GetDlgItem(top, 9), nullptr},
      {"a clip view's document", GetDlgItem(top, 6), SWELL_HWND(clipped)},
      {"parent", GetParent(h), top},
  };
  for (const Walk& c : walks) EXPECT_EQ(c.got, c.want) << c.what;

  // A scroll view that is a window's content view: the list is its window's.
  NSWindow* inner = new NSWindow(NSMakeRect(20, 20, 100, 80), 0, NSBackingStoreBuffered, false);
  windows.push_back(inner);
  NSScrollView* s2 = new NSScrollView(NSMakeRect(0, 0, 100, 80));
  inner->setContentView(s2);
  s2->release();
  Swell_vDavrel_64_listview* lv2 = new Swell_vDavrel_64_listview(NSMakeRect(0, 0, 100, 0));
  s2->setDocumentView(lv2);
  lv2->release();
  SWELL_WindowView(top)->window()->addChildWindow(inner, NSWindowAbove);
  EXPECT_EQ(GetParent(SWELL_HWND(lv2)), top) << "the parent window's content view";
  EXPECT_EQ(GetWindow(SWELL_HWND(lv2), GW_HWNDLAST), SWELL_HWND(lv2));
  EXPECT_EQ(GetWindow(SWELL_HWND(lv2), GW_HWNDNEXT), nullptr);
  SWELL_WindowView(top)->window()->removeChildWindow(inner);

  EXPECT_EQ(SWELL_NavigateUpScrollClipViews(h), SWELL_HWND(s));
  RECT r, sr;
  GetWindowRect(h, &r);
  GetWindowRect(SWELL_HWND(s), &sr);
  EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom}),
            std::vector<int>({sr.left, sr.top, sr.right, sr.bottom}));
  GetClientRect(h, &r);
  EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom}), std::vector<int>({0, 0, 150, 100}));
  ShowWindow(h, SW_HIDE);
  EXPECT_TRUE(s->isHidden());
  EXPECT_FALSE(IsWindowVisible(h));
  ShowWindow(h, SW_SHOWNA);
  EXPECT_FALSE(s->isHidden());
  SetWindowPos(h, nullptr, 30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(s->frame().origin.x, 30);
  EXPECT_EQ(lv->frame().origin.x, 0);
}

TEST_F(Styles, WindowSettings)
{
  NSWindow* w = nullptr;
  const HWND content = Framed(nullptr, &w);
  ASSERT_NE(w, nullptr);
  auto* ok = AddControl(content, new Swell_vDavrel_64_button(NSMakeRect(0, 0, 10, 20)), 12);
  ok->setTitle("Keep these settings");

  // Raise amounts move the level by the difference.
  const NSInteger level = w->level();
  SWELL_SetWindowWantRaiseAmt(content, 3);
  EXPECT_EQ(SWELL_GetWindowWantRaiseAmt(content), 3);
  SWELL_SetWindowWantRaiseAmt(SWELL_HWND(w), 1);
  EXPECT_EQ(w->level(), level + 1);
  EXPECT_EQ(SWELL_GetWindowWantRaiseAmt(H(ok)), 1);
  EXPECT_EQ(SWELL_GetWindowWantRaiseAmt(nullptr), 0);

  SWELL_SetWindowRepre(content, "/banks/a.syx", true);
  EXPECT_EQ(w->representedFilename(), "/banks/a.syx");
  EXPECT_TRUE(w->isDocumentEdited());
  SWELL_SetWindowRepre(H(ok), nullptr, false);
  EXPECT_EQ(w->representedFilename(), "");
  SetProp(content, "SWELL_DisableWindowRepre", (void*)1);
  SWELL_SetWindowRepre(content, "/banks/b.syx", true);
  EXPECT_EQ(w->representedFilename(), "");

  EXPECT_EQ(SWELL_GetDefaultButtonID(content, false), 0);
  w->setDefaultButtonCell(ok);
  EXPECT_EQ(SWELL_GetDefaultButtonID(H(ok), true), 12);
  ok->setEnabled(false);
  EXPECT_EQ(SWELL_GetDefaultButtonID(content, true), 0);
  EXPECT_EQ(SWELL_GetDefaultButtonID(content, false), 12);

  RECT want{};
  SWELL_GetDesiredControlSize(H(ok), &want);
  EXPECT_GT(want.right, 60);  // the title's width, not the frame's 10
  EXPECT_EQ(want.bottom, 20);
  EXPECT_EQ(ok->frame().size.width, 10);  // the control is left as it was

  // A default button destroyed is no longer the default (the window does not hold
  // it, and pressing Return then must not reach freed memory).
  DestroyWindow(H(ok));
  EXPECT_EQ(w->defaultButtonCell(), nullptr);
  EXPECT_EQ(SWELL_GetDefaultButtonID(content, false), 0);
  log.msgs.clear();
  ShowWindow(content, SW_SHOW);
  NSApp->sendEvent(NSEvent::keyEventWithType(NSKeyDown, 0, w, u"\r", u"\r", kVK_Return));
  EXPECT_TRUE(log.only(WM_COMMAND).empty());

  EXPECT_EQ(GetSystemMetrics(SM_CXHSCROLL), 16);
  EXPECT_EQ(GetSystemMetrics(22), 0);
  ASSERT_TRUE(w->isVisible());
  SWELL_HideApp();
  EXPECT_FALSE(w->isVisible());
  NSApp->unhide(nullptr);
  EXPECT_TRUE(w->isVisible());
  DestroyWindow(content);
}

}  // namespace
