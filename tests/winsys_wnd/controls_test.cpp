// Buttons, combo boxes, pop-up buttons and track bars: their messages, the
// SWELL_CB_* and SWELL_TB_* operations, radio groups and clicks.

#include "wnd_test_util.h"

#include "platform/appkit/NSImage.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_image.h"
#include "winsys/wnd/controls.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

namespace {

class Controls : public WndTest
{
protected:
  static HWND H(NSObject* o) { return SWELL_HWND(o); }
};

TEST_F(Controls, ButtonMessages)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  Swell_vDavrel_64_button* b = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(5, 5, 80, 20)), 7);
  b->setButtonType(NSSwitchButton);
  struct
  {
    WPARAM set;
    NSInteger state;
    LRESULT get;
  } checks[] = {{1, NSOnState, BST_CHECKED}, {0, NSOffState, BST_UNCHECKED}, {3, NSMixedState, BST_INDETERMINATE},
                {2, NSMixedState, BST_INDETERMINATE}, {5, NSOnState, BST_CHECKED}, {4, NSOffState, BST_UNCHECKED}};
  for (const auto& c : checks)
  {
    EXPECT_EQ(SendMessage(H(b), BM_SETCHECK, c.set, 0), 0);
    EXPECT_EQ(b->state(), c.state) << c.set;
    EXPECT_EQ(SendMessage(H(b), BM_GETCHECK, 0, 0), c.get) << c.set;
  }

  // Images: only a bitmap object with an image shows; the previous object comes back.
  HGDIOBJ bmp = SWELL_MakeBitmapObject(SWELL_CreateImage(4, 3));
  HGDIOBJ font = CreateFont(12, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Sans");
  ASSERT_TRUE(bmp && font);
  EXPECT_EQ(SendMessage(H(b), BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bmp), 0);
  ASSERT_TRUE(b->image());
  EXPECT_EQ(b->image()->width(), 4);
  EXPECT_EQ(SendMessage(H(b), BM_GETIMAGE, IMAGE_ICON, 0), (LRESULT)bmp);
  EXPECT_EQ(SendMessage(H(b), BM_SETIMAGE, 2, 0), 0);  // neither bitmap nor icon: nothing changes
  EXPECT_EQ(SendMessage(H(b), BM_GETIMAGE, 2, 0), 0);
  EXPECT_TRUE(b->image());
  EXPECT_EQ(SendMessage(H(b), BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)font), (LRESULT)bmp);
  EXPECT_EQ(b->image(), nullptr);
  EXPECT_EQ(SendMessage(H(b), BM_GETIMAGE, IMAGE_BITMAP, 0), 0);
  // Handle values below 5 and deleted objects are no images (and are not read).
  HGDIOBJ gone = SWELL_MakeBitmapObject(SWELL_CreateImage(2, 2));
  DeleteObject(gone);
  for (LPARAM notImage : {(LPARAM)1, (LPARAM)SWELL_GDI_BITMAP, (LPARAM)gone})
  {
    SendMessage(H(b), BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)bmp);
    EXPECT_EQ(SendMessage(H(b), BM_SETIMAGE, IMAGE_ICON, notImage), (LRESULT)bmp) << notImage;
    EXPECT_EQ(b->image(), nullptr) << notImage;
    EXPECT_EQ(SendMessage(H(b), BM_GETIMAGE, IMAGE_BITMAP, 0), 0) << notImage;
  }
  DeleteObject(bmp);
  DeleteObject(font);
  // A bitmap stored bottom-up still shows its top row first.
  struct BottomUp : LICE_MemBitmap
  {
    BottomUp() : LICE_MemBitmap(1, 2, 1) {}
    bool isFlipped() override { return true; }
  };
  SWELL_Image* upside = SWELL_CreateImage(1, 1);
  ASSERT_TRUE(upside);
  delete upside->pixels;
  upside->pixels = new BottomUp;
  upside->pixels->getBits()[0] = 0xFF000011u;  // the bottom row in memory order
  upside->pixels->getBits()[upside->pixels->getRowSpan()] = 0xFF000022u;
  HGDIOBJ flippedBmp = SWELL_MakeBitmapObject(upside);
  SendMessage(H(b), BM_SETIMAGE, IMAGE_BITMAP, (LPARAM)flippedBmp);
  ASSERT_TRUE(b->image());
  EXPECT_EQ(b->image()->pixels(), (std::vector<uint32_t>{0xFF000022u, 0xFF000011u}));
  SendMessage(H(b), BM_SETIMAGE, IMAGE_BITMAP, 0);
  DeleteObject(flippedBmp);

  // Messages no control takes go to the window only from its content view.
  log.msgs.clear();
  EXPECT_EQ(SendMessage(H(b), WM_COMMAND, 1, 0), 0);
  EXPECT_TRUE(log.msgs.empty());
  // A plain text field takes no check message.
  NSTextField* f = AddControl(top, new NSTextField(NSMakeRect(5, 40, 80, 20)), 8);
  EXPECT_EQ(SendMessage(H(f), BM_GETCHECK, 0, 0), 0);
}

// The same table runs on a combo box and a pop-up button.
class ComboKinds : public Controls, public ::testing::WithParamInterface<bool>
{
protected:
  HWND Make(HWND top, LONG style = 0)
  {
    if (GetParam())
    {
      auto* c = AddControl(top, new Swell_vDavrel_64_cbox(NSMakeRect(5, 5, 100, 22)), 20);
      c->setSwellStyle(style);
      return H(c);
    }
    auto* p = AddControl(top, new Swell_vDavrel_64_pub(NSMakeRect(5, 5, 100, 22)), 20);
    p->setSwellStyle(style);
    return H(p);
  }
  static std::vector<std::string> Texts(HWND h)
  {
    std::vector<std::string> r;
    char buf[256];
    for (int i = 0; i < SWELL_CB_GetNumItems(h, 0); ++i)
    {
      SWELL_CB_GetItemText(h, 0, i, buf, sizeof buf);
      r.push_back(buf);
    }
    return r;
  }
};

TEST_P(ComboKinds, InsertionSortingAndPositions)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  const HWND sorted = Make(top, CBS_SORT);
  using V = std::vector<std::string>;
  EXPECT_EQ(SWELL_CB_AddString(sorted, 0, "c"), 0);  // an empty sorted list
  EXPECT_EQ(SWELL_CB_AddString(sorted, 0, "a"), 0);
  EXPECT_EQ(SWELL_CB_AddString(sorted, 0, "b"), 1);
  EXPECT_EQ(SWELL_CB_AddString(sorted, 0, "a"), 0);  // before the equal one
  EXPECT_EQ(Texts(sorted), (V{"a", "a", "b", "c"}));
  // Positions given are kept even when sorted; the message clamps as the call does.
  EXPECT_EQ(SWELL_CB_InsertString(sorted, 0, -5, "z"), 0);
  EXPECT_EQ(SWELL_CB_InsertString(sorted, 0, 99, "0"), 5);
  EXPECT_EQ(SendMessage(sorted, CB_INSERTSTRING, (WPARAM)-3, (LPARAM) "m"), 0);
  EXPECT_EQ(SendMessage(sorted, CB_INSERTSTRING, (WPARAM)0x80000001u, (LPARAM) "9"), 7);
  EXPECT_EQ(Texts(sorted), (V{"m", "z", "a", "a", "b", "c", "0", "9"}));
  SendMessage(sorted, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(sorted, CB_GETCOUNT, 0, 0), 0);

  // A long seeded run of appends keeps a sorted list in byte order.
  std::mt19937 rng(7);
  V all;
  for (int i = 0; i < 300; ++i)
  {
    std::string s;
    for (int k = (int)(rng() % 4); k >= 0; --k) s += "aBb_"[rng() % 4];
    all.push_back(s);
    SendMessage(sorted, CB_ADDSTRING, 0, (LPARAM)s.c_str());
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(Texts(sorted), all);

  // An unsorted list appends.
  const HWND plain = Make(top);
  for (const char* s : {"b", "a", "c"}) SendMessage(plain, CB_ADDSTRING, 0, (LPARAM)s);
  EXPECT_EQ(Texts(plain), (V{"b", "a", "c"}));
  EXPECT_EQ(SWELL_CB_InsertString(plain, 0, 99, "d"), 3);
}

TEST_P(ComboKinds, SelectionSearchTextAndData)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  const HWND h = Make(top);
  for (const char* s : {"Alpha", "beta", "alphabet"}) SWELL_CB_AddString(h, 0, s);
  // Through the parent and the id as well as through the control itself.
  EXPECT_EQ(SWELL_CB_GetNumItems(top, 20), 3);
  EXPECT_EQ(SWELL_CB_GetNumItems(top, 21), 0);
  EXPECT_EQ(SWELL_CB_GetCurSel(top, 21), -1);

  SendMessage(h, CB_SETCURSEL, 1, 0);
  for (WPARAM bad : {(WPARAM)-1, (WPARAM)3, (WPARAM)99})
  {
    EXPECT_EQ(SendMessage(h, CB_SETCURSEL, bad, 0), 0);
    EXPECT_EQ(SendMessage(h, CB_GETCURSEL, 0, 0), 1) << (long)bad;
  }

  struct
  {
    UINT msg;
    WPARAM after;
    const char* text;
    LRESULT found;
  } finds[] = {
      {CB_FINDSTRING, (WPARAM)-1, "alpha", 0},   {CB_FINDSTRING, 0, "ALPHA", 2},
      {CB_FINDSTRING, 2, "alpha", -1},           // from the last item: no wrap
      {CB_FINDSTRINGEXACT, (WPARAM)-1, "ALPHABET", 2}, {CB_FINDSTRINGEXACT, (WPARAM)-1, "alphab", -1},
      {CB_FINDSTRING, (WPARAM)-1, nullptr, -1},  {CB_FINDSTRING, 5, "beta", -1},
  };
  for (const auto& f : finds)
    EXPECT_EQ(SendMessage(h, f.msg, f.after, (LPARAM)f.text), f.found) << (f.text ? f.text : "null") << f.after;

  // Text: an index out of range leaves an empty buffer.
  char buf[16];
  memset(buf, 'x', sizeof buf);
  EXPECT_EQ(SWELL_CB_GetItemText(h, 0, 3, buf, sizeof buf), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(SWELL_CB_GetItemText(h, 0, 2, buf, 6), 1);
  EXPECT_STREQ(buf, "alpha");

  // Data follows its item when an earlier one goes.
  for (int i = 0; i < 3; ++i) SendMessage(h, CB_SETITEMDATA, i, 100 + i);
  EXPECT_EQ(SendMessage(h, CB_GETITEMDATA, 7, 0), 0);
  EXPECT_EQ(SendMessage(h, CB_DELETESTRING, 1, 0), 1);
  EXPECT_EQ(SendMessage(h, CB_DELETESTRING, 9, 0), 1);
  EXPECT_EQ(SWELL_CB_GetNumItems(h, 0), 2);
  EXPECT_EQ(SWELL_CB_GetItemData(h, 0, 1), 102);
  EXPECT_EQ(SWELL_CB_GetItemData(h, 0, 0), 100);
  // Numbers of the range the controls do not take answer 0.
  EXPECT_EQ(SendMessage(h, CB_SHOWDROPDOWN, 1, 0), 0);
  EXPECT_EQ(SendMessage(h, 0x0155, 1, 0), 0);
}

// The text message fills a buffer of CB_GETLBTEXT_BUFSIZE bytes and not a byte
// more, whatever the item's length (the sanitizer sees any overrun of the exact
// buffer); the length message tells the whole length.
TEST_P(ComboKinds, TextLengthIsTheBufferContract)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  const HWND h = Make(top);
  // é would take the last byte before the terminating zero and one more.
  const std::string longText = std::string(1022, 'q') + "\xC3\xA9" + std::string(2000, 'r');
  SWELL_CB_AddString(h, 0, "short");
  SWELL_CB_AddString(h, 0, longText.c_str());
  EXPECT_EQ(SendMessage(h, CB_GETLBTEXTLEN, 0, 0), 5);
  EXPECT_EQ(SendMessage(h, CB_GETLBTEXTLEN, 2, 0), CB_ERR);
  const LRESULT len = SendMessage(h, CB_GETLBTEXTLEN, 1, 0);
  ASSERT_EQ(len, (LRESULT)longText.size());
  std::vector<char> buf(CB_GETLBTEXT_BUFSIZE, 'x');
  ASSERT_EQ(CB_GETLBTEXT_BUFSIZE, 1024);
  EXPECT_EQ(SendMessage(h, CB_GETLBTEXT, 1, (LPARAM)buf.data()), 1);
  EXPECT_EQ(std::string(buf.data()), std::string(1022, 'q'));
  EXPECT_EQ(SendMessage(h, CB_GETLBTEXT, 0, (LPARAM)buf.data()), 1);
  EXPECT_EQ(std::string(buf.data()), "short");
  EXPECT_EQ(SendMessage(h, CB_GETLBTEXT, 2, (LPARAM)buf.data()), 0);
  EXPECT_EQ(SendMessage(h, CB_GETLBTEXT, 0, 0), 0);
  // A cut ends before a character it would split.
  char room[1025];
  EXPECT_EQ(SWELL_CB_GetItemText(h, 0, 1, room, sizeof room), 1);
  EXPECT_EQ(strlen(room), 1024u);
}

INSTANTIATE_TEST_SUITE_P(ComboAndPopUp, ComboKinds, ::testing::Bool());

TEST_F(Controls, TrackBars)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  NSSlider* s = AddControl(top, new NSSlider(NSMakeRect(5, 5, 100, 20)), 30);
  EXPECT_EQ(SendMessage(H(s), TBM_SETRANGE, 1, (LPARAM)(100 << 16)), 1);
  EXPECT_EQ(s->minValue(), 0);
  EXPECT_EQ(s->maxValue(), 100);
  struct
  {
    double value;
    LRESULT pos;
  } positions[] = {{4.5, 5}, {4.4, 4}, {0, 0}, {99.5, 100}, {250, 100}};
  for (const auto& p : positions)
  {
    s->setDoubleValue(p.value);
    EXPECT_EQ(SendMessage(H(s), TBM_GETPOS, 0, 0), p.pos) << p.value;
    EXPECT_EQ(SWELL_TB_GetPos(top, 30), (int)p.pos);
  }
  EXPECT_EQ(SendMessage(H(s), TBM_SETPOS, 1, (LPARAM)0x100000028), 1);  // taken as a 32-bit int
  EXPECT_EQ(SWELL_TB_GetPos(H(s), 0), 40);
  EXPECT_EQ(SendMessage(H(s), TBM_SETTIC, 0, 5), 1);
  EXPECT_EQ(SendMessage(H(s), TBM_GETRANGEMAX, 0, 0), 0);
  SWELL_TB_SetRange(top, 30, 10, 20);
  EXPECT_EQ(s->minValue(), 10);
  EXPECT_EQ(s->maxValue(), 20);

  // A custom control gets the messages, the low word of the range masked.
  const HWND custom = Child(top, NSMakeRect(5, 40, 100, 20));
  SetWindowLong(custom, GWL_ID, 31);
  log.handlers[{custom, TBM_GETPOS}] = [](HWND, WPARAM, LPARAM) { return (LRESULT)77; };
  log.msgs.clear();
  SWELL_TB_SetRange(top, 31, 10, 20);
  SWELL_TB_SetRange(top, 31, -5, 20);
  SWELL_TB_SetPos(top, 31, -3);
  SWELL_TB_SetTic(top, 31, 12);
  EXPECT_EQ(SWELL_TB_GetPos(top, 31), 77);
  SWELL_TB_SetTic(top, 30, 12);  // a plain slider has no tics: nothing
  const std::vector<LoggedMsg> want = {
      {custom, TBM_SETRANGE, 1, (20 << 16) | 10}, {custom, TBM_SETRANGE, 1, (20 << 16) | 0xFFFB},
      {custom, TBM_SETPOS, 1, -3},                {custom, TBM_SETTIC, 0, 12},
      {custom, TBM_GETPOS, 0, 0}};
  EXPECT_EQ(log.msgs, want);
}

// A track bar taller than wide runs from its bottom (the minimum) up, is drawn so,
// and still tells its owner with WM_HSCROLL.
TEST_F(Controls, TallTrackBarsRunUpward)
{
  NSAutoreleasePool pool;
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 200, 200), 0, &w);
  ShowWindow(top, SW_SHOW);
  NSSlider* s = AddControl(top, new NSSlider(NSMakeRect(20, 20, 20, 112)), 30);  // a track of 100 points
  s->setTarget(SWELL_Object(top));
  s->setAction("onSwellCommand:");
  s->setMaxValue(100);
  for (const NSPoint& p : {NSMakePoint(10, 6), NSMakePoint(3, 31), NSMakePoint(10, 110), NSMakePoint(10, 56)})
  {
    log.msgs.clear();
    Send(Mouse(NSLeftMouseDown, H(s), p));
    EXPECT_EQ(s->doubleValue(), std::min(100.0, p.y - 6)) << p.y;
    EXPECT_EQ(log.only({WM_HSCROLL, WM_VSCROLL}), (std::vector<LoggedMsg>{{top, WM_HSCROLL, 0, (LPARAM)H(s)}}));
  }
  // The knob sits at the value's height on a track along the middle.
  w->display();
  auto grey = [&](CGFloat x, CGFloat y) {
    const NSPoint b = s->convertPointToView(NSMakePoint(x, y), nullptr);
    return (int)((BackingRow(w, (int)(w->frame().size.height - b.y))[(int)b.x] >> 8) & 0xFF);
  };
  EXPECT_EQ(grey(14.5, 56.5), 247);  // the knob at 50
  EXPECT_EQ(grey(10.5, 90.5), 153);  // the track above it
  EXPECT_EQ(grey(10.5, 30.5), 153);  // and below it
}

TEST_F(Controls, ClicksReportAndRadioGroupsClear)
{
  NSAutoreleasePool pool;  // the events hold their window until drained
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  ShowWindow(top, SW_SHOW);
  Swell_vDavrel_64_button* check = AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(5, 5, 80, 20)), 40);
  check->setButtonType(NSSwitchButton);
  // Two groups of radio buttons with a push button between them.
  std::vector<Swell_vDavrel_64_button*> r;
  const int flags[] = {3, 1, 1, 0, 3, 1};
  for (int i = 0; i < 6; ++i)
  {
    r.push_back(AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(100, 5 + 25 * i, 80, 20)), 50 + i));
    r.back()->setButtonType(flags[i] ? NSRadioButton : NSMomentaryPushInButton);
    r.back()->swellSetRadioFlags(flags[i]);
    r.back()->setState(NSOnState);
  }

  log.msgs.clear();
  Send(Mouse(NSLeftMouseDown, H(check), NSMakePoint(5, 10)));
  EXPECT_EQ(check->state(), NSOnState);
  Send(Mouse(NSLeftMouseDown, H(check), NSMakePoint(5, 10)));
  EXPECT_EQ(check->state(), NSOffState);
  Send(Mouse(NSLeftMouseDown, H(r[1]), NSMakePoint(5, 10)));
  Send(Mouse(NSLeftMouseDown, H(r[4]), NSMakePoint(5, 10), 0, 2));
  std::vector<NSInteger> states;
  for (auto* b : r) states.push_back(b->state());
  // The first group keeps only the clicked one; the push button is no radio
  // button; the second group is cleared when its own member is clicked. A
  // button's second click is a click like the first.
  EXPECT_EQ(states, (std::vector<NSInteger>{0, 1, 0, 1, 1, 0}));
  const std::vector<LoggedMsg> want = {{top, WM_COMMAND, 40 | BN_CLICKED << 16, (LPARAM)SWELL_HWND(check)},
                                       {top, WM_COMMAND, 40, (LPARAM)SWELL_HWND(check)},
                                       {top, WM_COMMAND, 51, (LPARAM)SWELL_HWND(r[1])},
                                       {top, WM_COMMAND, 54 | BN_CLICKED << 16, (LPARAM)SWELL_HWND(r[4])}};
  EXPECT_EQ(log.only(WM_COMMAND), want);

  // A disabled button neither changes nor reports.
  check->setEnabled(false);
  log.msgs.clear();
  Send(Mouse(NSLeftMouseDown, H(check), NSMakePoint(5, 10)));
  EXPECT_EQ(check->state(), NSOffState);
  EXPECT_TRUE(log.only(WM_COMMAND).empty());
}

// Which radio buttons a click clears: a group runs back to the button that starts
// it and on to the next one, and any view that is no button of the layer ends it.
TEST_F(Controls, RadioGroupsEndAtGroupStartsAndAtViewsThatAreNoButtons)
{
  NSAutoreleasePool pool;
  // G: auto radio button starting a group, r: auto radio button, p: push button of
  // the layer, L: label. Every button starts checked; '-' marks the label.
  struct Case
  {
    const char* layout;
    int clicked;
    const char* after;
  } cases[] = {
      {"GrrLrr", 4, "111-10"}, {"GrrGrr", 1, "010111"}, {"rrGr", 0, "1011"},
      {"Grpr", 3, "0011"},     {"GrLr", 0, "10-1"},     {"rLGr", 3, "1-01"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::string(c.layout) + " click " + std::to_string(c.clicked));
    const HWND top = Window(NSMakeRect(0, 0, 200, 220));
    ShowWindow(top, SW_SHOW);
    std::vector<NSView*> views;
    for (int i = 0; c.layout[i]; ++i)
    {
      const NSRect f = NSMakeRect(10, 5 + 25 * i, 80, 20);
      if (c.layout[i] == 'L')
      {
        views.push_back(AddControl(top, new NSTextField(f), 60 + i));
        continue;
      }
      Swell_vDavrel_64_button* b = AddControl(top, new Swell_vDavrel_64_button(f), 60 + i);
      b->setButtonType(c.layout[i] == 'p' ? NSMomentaryPushInButton : NSRadioButton);
      b->swellSetRadioFlags(c.layout[i] == 'G' ? 3 : c.layout[i] == 'r' ? 1 : 0);
      b->setState(NSOnState);
      views.push_back(b);
    }
    Send(Mouse(NSLeftMouseDown, H(views[c.clicked]), NSMakePoint(5, 10)));
    std::string after;
    for (NSView* v : views)
    {
      NSButton* b = dynamic_cast<NSButton*>(v);
      after += b ? (b->state() == NSOnState ? '1' : '0') : '-';
    }
    EXPECT_EQ(after, c.after);
  }
}

// A control marked for drawing tells the window views above it, up to the first
// that knows already.
TEST_F(Controls, RedrawReachesTheWindowViewsAbove)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  const HWND mid = Child(top, NSMakeRect(0, 0, 150, 80));
  auto* b = AddControl(mid, new Swell_vDavrel_64_button(NSMakeRect(5, 5, 80, 20)), 9);
  Swell_vDavrel_64_hwnd* tv = SWELL_WindowView(top);
  Swell_vDavrel_64_hwnd* mv = SWELL_WindowView(mid);
  struct
  {
    unsigned char topBefore, midBefore, topAfter, midAfter;
  } cases[] = {{0, 0, 2, 2}, {1, 0, 3, 2}, {0, 2, 0, 2}, {0, 1, 2, 3}};
  for (const auto& c : cases)
  {
    tv->setDirtyBits(c.topBefore);
    mv->setDirtyBits(c.midBefore);
    b->setState(NSOnState);
    EXPECT_EQ(tv->dirtyBits(), c.topAfter) << (int)c.topBefore << (int)c.midBefore;
    EXPECT_EQ(mv->dirtyBits(), c.midAfter) << (int)c.topBefore << (int)c.midBefore;
  }
}

TEST_F(Controls, MultiLineTextViewMessages)
{
  const HWND top = Window(NSMakeRect(0, 0, 200, 100));
  auto* t = AddControl(top, new Swell_vDavrel_64_textview(NSMakeRect(5, 5, 150, 40)), 12);
  const HWND h = SWELL_HWND(t);
  t->setStringValue("one\ntwo\nthree\nfour\nfive\nsix");
  struct
  {
    WPARAM start;
    LPARAM end;
    Sel want;
  } sels[] = {{2, 6, {2, 6}},           {(WPARAM)-1, 4, {0, 0}}, {3, -1, {3, 27}},
              {(WPARAM)-5, 2, {27, 27}}, {5, 2, {5, 5}},          {1, 99, {1, 27}}};
  for (const auto& c : sels)
  {
    EXPECT_EQ(SendMessage(h, EM_SETSEL, c.start, c.end), 0);  // not being edited: still applied
    EXPECT_EQ(Selection(h), c.want) << (long)c.start << "," << c.end;
  }
  EXPECT_EQ(SendMessage(h, EM_GETSEL, 0, 0), 0);  // no places to write: nothing written
  SendMessage(h, EM_SCROLL, 7, 0);
  EXPECT_GT(t->topLine(), 0);
  SendMessage(h, EM_SCROLL, 3, 0);
  EXPECT_GT(t->topLine(), 0);
  SendMessage(h, EM_SCROLL, 6, 0);
  EXPECT_EQ(t->topLine(), 0);
  HGDIOBJ font = CreateFont(20, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Sans");
  EXPECT_EQ(SendMessage(h, WM_SETFONT, (WPARAM)font, 0), 0);
  ASSERT_TRUE(t->font());
  EXPECT_NE(t->font()->pointSize(), 13);
  HBRUSH brush = CreateSolidBrush(0);
  NSFont* before = t->font();
  SendMessage(h, WM_SETFONT, (WPARAM)brush, 0);
  EXPECT_EQ(t->font(), before);
  SendMessage(h, WM_SETFONT, (WPARAM)SWELL_GDI_FONT, 0);  // a kind, not an object
  EXPECT_EQ(t->font(), before);
  DeleteObject(brush);
  DeleteObject(font);
}

}  // namespace
