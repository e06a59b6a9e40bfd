// The window tree, long values, properties, dialog items, geometry, visibility,
// focus, capture, the paint entry and the default procedure: the edge cases.

#include "wnd_test_util.h"

#include "platform/appkit/NSTextField.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_draw.h"
#include "winsys/kernel.h"
#include "winsys/msgloop/viewdc.h"
#include "winsys/wnd/controls.h"

#include <cstring>
#include <string>

namespace {

class Tree : public WndTest
{
};

LRESULT g_initAnswer = 0;
HWND g_initFocusCandidate = nullptr;
LRESULT InitDialogProc(HWND, UINT msg, WPARAM wp, LPARAM)
{
  if (msg != WM_INITDIALOG) return 0;
  g_initFocusCandidate = (HWND)wp;
  return g_initAnswer;
}

void AddField(HWND view, int) { AddControl(view, new NSTextField(NSMakeRect(5, 5, 60, 20)), 11); }

TEST_F(Tree, DialogFocusAtCreation)
{
  SWELL_DialogResourceIndex res{nullptr, nullptr, SWELL_DLG_FLIPPED | SWELL_DLG_OPAQUE, AddField, 120, 80, nullptr};
  struct Case
  {
    LRESULT answer;
    bool focusSelf;
  };
  for (const Case c : {Case{SWELL_INITDIALOG_FOCUS_SELF, true}, Case{1, false}, Case{0, false}})
  {
    NSWindow* w = new NSWindow(NSMakeRect(0, 0, 120, 80), NSTitledWindowMask, NSBackingStoreBuffered, false);
    windows.push_back(w);
    g_initAnswer = c.answer;
    const HWND dlg = SWELL_CreateWindowView(&res, SWELL_HWND(w), InitDialogProc, 0);
    const HWND field = GetDlgItem(dlg, 11);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(g_initFocusCandidate, field) << "the first view that takes the focus";
    EXPECT_EQ(SWELL_HWND(w->firstResponder()), c.focusSelf ? dlg : field) << c.answer;
  }
}

TEST_F(Tree, ViewDataEdges)
{
  const HWND h = Window(NSMakeRect(0, 0, 50, 50));
  Swell_vDavrel_64_hwnd* v = SWELL_WindowView(h);
  for (int slot = 0; slot < 32; ++slot) SetWindowLong(h, slot * 8, 1000 + slot);
  struct Extra
  {
    int index;
    LONG_PTR want;
  };
  for (const Extra e : {Extra{256, 0}, Extra{-8 * 2, 0}, Extra{255, 1031}, Extra{0, 1000}, Extra{7, 1000}})
    EXPECT_EQ(v->getSwellExtraData(e.index), e.want) << e.index;
  v->setSwellExtraData(256, 5);  // ignored
  EXPECT_EQ(v->getSwellExtraData(248), 1031);

  const std::string long2000(2000, 'x');
  SetDlgItemText(h, 0, long2000.c_str());
  EXPECT_EQ(strlen(v->onSwellGetText()), 1023u);

  // Atom 5 and the string "5" are different names; an empty list enumerates to -1.
  EXPECT_EQ(EnumPropsEx(h, [](HWND, const char*, void*, LPARAM) -> BOOL { return TRUE; }, 0), -1);
  SetProp(h, (const char*)5, (void*)1);
  SetProp(h, "5", (void*)2);
  SetProp(h, "5", (void*)3);
  EXPECT_EQ(GetProp(h, (const char*)5), (void*)1);
  EXPECT_EQ(GetProp(h, "5"), (void*)3);
  int calls = 0;
  EXPECT_EQ(EnumPropsEx(h, [](HWND, const char*, void*, LPARAM lp) -> BOOL { ++*(int*)lp; return FALSE; },
                        (LPARAM)&calls),
            0);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(RemoveProp(h, "5"), (void*)3);
  EXPECT_EQ(GetProp(h, "5"), nullptr);
  EXPECT_EQ(GetProp(h, (const char*)5), (void*)1);

  // Created without a resource: WM_CREATE with the parameter, never WM_INITDIALOG.
  EXPECT_TRUE(log.only(WM_INITDIALOG).empty());
}

TEST_F(Tree, WalkingTheTree)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  const HWND a = Child(top, NSMakeRect(0, 0, 10, 10));
  const HWND b = Child(top, NSMakeRect(10, 0, 10, 10));
  const HWND nested = Child(a, NSMakeRect(0, 0, 5, 5));
  SetWindowLong(nested, GWL_ID, 77);
  SetWindowLong(b, GWL_ID, 78);
  NSWindow* w = windows.back();
  struct Case
  {
    HWND got, want;
    const char* what;
  };
  const Case cases[] = {
      {GetWindow(a, 6), nullptr, "no command 6"},
      {GetWindow(top, GW_HWNDFIRST), top, "content view is its own first"},
      {GetWindow(top, GW_HWNDNEXT), nullptr, "and has no next"},
      {GetWindow(a, GW_HWNDNEXT), b, "next sibling"},
      {GetWindow(b, GW_HWNDPREV), a, "previous sibling"},
      {GetWindow(top, GW_CHILD), a, "first child"},
      {GetDlgItem(top, 0), top, "id 0 is the view"},
      {GetDlgItem(SWELL_HWND(w), 0), top, "a window stands for its content view"},
      {GetDlgItem(top, 77), nullptr, "two levels down is not found"},
      {GetDlgItem(top, 78), b, "a direct child is"},
      {GetParent(nested), a, "parent"},
      {GetParent(top), nullptr, "a content view without parent window"},
      {FindWindowEx(top, nullptr, "Button", nullptr), a, "class names other than Static are ignored"},
      {FindWindowEx(top, a, nullptr, nullptr), b, "after a child"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  EXPECT_TRUE(IsChild(top, nested));
  EXPECT_TRUE(IsChild(SWELL_HWND(w), nested));
  EXPECT_FALSE(IsChild(a, b));
  EXPECT_FALSE(IsChild(a, a));
  EXPECT_TRUE(IsWindow(nested));
  int seen = 0;
  EXPECT_EQ(EnumChildWindows(top, [](HWND, LPARAM lp) -> BOOL { return ++*(int*)lp < 2; }, (LPARAM)&seen), FALSE);
  EXPECT_EQ(seen, 2) << "a, then nested: depth first, stopped by the second answer";
  // Styles of views: a child, and the content view of a titled, resizable window.
  EXPECT_EQ(GetWindowLong(a, GWL_STYLE), WS_CHILD);
  EXPECT_EQ(GetWindowLong(top, GWL_STYLE), WS_CAPTION | WS_THICKFRAME);
  EXPECT_EQ(SetWindowLong(top, GWL_STYLE, 0), 0);
  EXPECT_EQ(SetWindowLong(a, GWL_ID, 5), 0);
  EXPECT_EQ(GetWindowLong(a, GWL_ID), 5);
  EXPECT_EQ(SetParent(nested, b), a);
  EXPECT_EQ(GetParent(nested), b);
  // A freed handle as the new parent changes nothing.
  const HWND gone = Child(top, NSMakeRect(0, 0, 1, 1));
  DestroyWindow(gone);
  EXPECT_EQ(SetParent(nested, gone), nullptr);
  EXPECT_EQ(GetParent(nested), b);
  EXPECT_TRUE(IsWindow(nested));

  // Out of the tree into a window of its own, which closing releases; and back.
  SetWindowText(b, "loose");
  EXPECT_EQ(SetParent(b, nullptr), nullptr);
  NSView* bv = dynamic_cast<NSView*>(SWELL_Object(b));
  ASSERT_NE(bv->window(), nullptr);
  EXPECT_EQ(bv->window()->contentView(), bv);
  EXPECT_EQ(bv->window()->title(), "loose");
  NSWindow* loose = bv->window();
  loose->retain();
  EXPECT_EQ(SetParent(b, top), top);
  EXPECT_EQ(GetParent(b), top);
  EXPECT_TRUE(loose->isClosed()) << "the window it left is destroyed";
  loose->release();
  EXPECT_TRUE(IsChild(top, nested));

  // A broadcast reaches every window's content view.
  log.msgs.clear();
  SWELL_BroadcastMessage(0x7FF0, 1, 2);
  EXPECT_EQ(log.only(0x7FF0), (std::vector<LoggedMsg>{{top, 0x7FF0, 1, 2}}));
}

TEST_F(Tree, DialogItemTextAndIntegers)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  NSTextField* editable = AddControl(top, new NSTextField(NSMakeRect(0, 0, 40, 20)), 3);
  AddControl(top, new NSTextField(NSMakeRect(0, 30, 40, 20)), 4)->setEditable(false);
  struct Int
  {
    const char* text;
    int isSigned;
    int want;
    BOOL translated;
  };
  for (const Int c : {Int{" 0", 1, 0, 1}, Int{"abc", 1, 0, 0}, Int{"-5", 0, 0, 0}, Int{"-5", 1, -5, 1},
                      Int{"\t42x", 0, 42, 1}})
  {
    SetDlgItemText(top, 4, c.text);
    BOOL tr = 9;
    EXPECT_EQ(GetDlgItemInt(top, 4, &tr, c.isSigned), c.want) << c.text;
    EXPECT_EQ(tr, c.translated) << c.text;
  }
  log.msgs.clear();
  SetDlgItemText(top, 4, "static");
  EXPECT_TRUE(log.only(WM_COMMAND).empty()) << "a label sends nothing";
  SetDlgItemText(top, 3, "typed");
  EXPECT_EQ(log.only(WM_COMMAND), (std::vector<LoggedMsg>{{top, WM_COMMAND, 0x3000003, (LPARAM)SWELL_HWND(editable)}}));
  char buf[8];
  EXPECT_TRUE(GetDlgItemText(top, 3, buf, sizeof buf));
  EXPECT_STREQ(buf, "typed");
  SetWindowText(top, "Title");
  EXPECT_EQ(windows.back()->title(), "Title") << "a content view's text is its window's title";
}

// Every kind of window keeps its text where the platform keeps it; only an edit
// field tells its parent of a new text (a multi-line text view does not, as on
// Win32), and only a text field counts as static text.
TEST_F(Tree, TextsOfEveryKind)
{
  const HWND top = Window(NSMakeRect(0, 0, 300, 200));
  AddControl(top, new Swell_vDavrel_64_button(NSMakeRect(0, 0, 50, 20)), 1);
  auto* text = AddControl(top, new Swell_vDavrel_64_textview(NSMakeRect(0, 20, 80, 40)), 2);
  auto* box = AddControl(top, new Swell_vDavrel_64_box(NSMakeRect(100, 0, 80, 80)), 3);
  auto* field = AddControl(top, new Swell_vDavrel_64_textfield(NSMakeRect(0, 70, 80, 20)), 4);
  AddControl(top, new Swell_vDavrel_64_textfield(NSMakeRect(0, 100, 80, 20)), 5)->setEditable(false);
  AddControl(top, new NSView(NSMakeRect(0, 130, 20, 20)), 6);
  SetWindowLong(SWELL_CreateWindowView(nullptr, top, RecordingProc, 0), GWL_ID, 7);
  struct Case
  {
    const char* what;
    int id;
    BOOL ok;
    bool notifies, isStatic;
  };
  const Case cases[] = {
      {"content view: the window's title", 0, TRUE, false, false},
      {"button", 1, TRUE, false, false},
      {"multi-line text view", 2, TRUE, false, false},
      {"group box", 3, TRUE, false, false},
      {"edit field", 4, TRUE, true, true},
      {"label", 5, TRUE, false, true},
      {"plain view", 6, FALSE, false, false},
      {"window view", 7, TRUE, false, false},
      {"no such item", 99, FALSE, false, false},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.what);
    log.msgs.clear();
    EXPECT_EQ(SetDlgItemText(top, c.id, "Bank 12"), c.ok);
    EXPECT_EQ(log.only(WM_COMMAND).size(), c.notifies ? 1u : 0u);
    char buf[16] = "stale";
    EXPECT_EQ(GetDlgItemText(top, c.id, buf, sizeof buf), c.ok);
    EXPECT_STREQ(buf, c.ok ? "Bank 12" : "");
    EXPECT_EQ(SWELL_IsStaticText(GetDlgItem(top, c.id)), c.isStatic);
  }
  EXPECT_EQ(box->title(), "Bank 12");
  EXPECT_EQ(windows.back()->title(), "Bank 12");
  EXPECT_EQ(text->stringValue(), "Bank 12");
  // The text view comes before the field, but is no static text.
  EXPECT_EQ(FindWindowEx(top, nullptr, "Static", nullptr), SWELL_HWND(field));
  EXPECT_EQ(FindWindowEx(top, nullptr, "STATIC", "Bank 12"), SWELL_HWND(field));
  EXPECT_EQ(FindWindowEx(top, nullptr, nullptr, "Bank 12"), GetDlgItem(top, 1));
}

// A null or freed handle makes every call of the tree, geometry and focus do
// nothing and answer its failure value.
TEST_F(Tree, NullAndFreedHandlesAnswerNothing)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  const HWND gone = Child(top, NSMakeRect(0, 0, 10, 10));
  DestroyWindow(gone);
  ASSERT_EQ(SWELL_Object(gone), nullptr);
  for (const HWND h : {(HWND) nullptr, gone})
  {
    SCOPED_TRACE(h ? "freed" : "null");
    for (int cmd = GW_HWNDFIRST; cmd <= GW_CHILD; ++cmd) EXPECT_EQ(GetWindow(h, cmd), nullptr) << cmd;
    RECT r{1, 2, 3, 4};
    POINT p{5, 6};
    char buf[8] = "x";
    BOOL translated = 9;
    const struct
    {
      const char* what;
      LONG_PTR got, want;
    } answers[] = {
        {"GetParent", (LONG_PTR)GetParent(h), 0},
        {"IsChild as parent", IsChild(h, top), 0},
        {"IsChild as child", IsChild(top, h), 0},
        {"SetParent", (LONG_PTR)SetParent(h, top), 0},
        {"FindWindowEx", (LONG_PTR)FindWindowEx(h, nullptr, nullptr, nullptr), 0},
        {"EnumChildWindows", EnumChildWindows(h, [](HWND, LPARAM) -> BOOL { return FALSE; }, 0), TRUE},
        {"GetDlgItem", (LONG_PTR)GetDlgItem(h, 0), 0},
        {"IsWindow", IsWindow(h), 0},
        {"SetWindowLong", SetWindowLong(h, GWL_USERDATA, 5), 0},
        {"SetCapture", (LONG_PTR)SetCapture(h), 0},
        {"the capture", (LONG_PTR)GetCapture(), 0},
        {"GetWindowLong", GetWindowLong(h, GWL_STYLE), 0},
        {"SetProp", SetProp(h, "p", (void*)1), FALSE},
        {"GetProp", (LONG_PTR)GetProp(h, "p"), 0},
        {"RemoveProp", (LONG_PTR)RemoveProp(h, "p"), 0},
        {"EnumPropsEx", EnumPropsEx(h, [](HWND, const char*, void*, LPARAM) -> BOOL { return TRUE; }, 0), -1},
        {"SetDlgItemText", SetDlgItemText(h, 0, "t"), FALSE},
        {"GetDlgItemText", GetDlgItemText(h, 0, buf, sizeof buf), FALSE},
        {"GetDlgItemText's buffer", buf[0], 0},
        {"GetDlgItemInt", GetDlgItemInt(h, 0, &translated, 1), 0},
        {"its translation", translated, 0},
        {"IsDlgButtonChecked", IsDlgButtonChecked(h, 0), BST_UNCHECKED},
        {"kinds", SWELL_IsGroupBox(h) || SWELL_IsButton(h) || SWELL_IsStaticText(h), 0},
        {"GetWindowRect", GetWindowRect(h, &r), 0},
        {"its rectangle", r.left | r.top | r.right | r.bottom, 0},
        {"IsWindowVisible", IsWindowVisible(h), 0},
        {"ScrollWindow", ScrollWindow(h, 1, 1, nullptr, nullptr), FALSE},
        {"SWELL_NavigateUpScrollClipViews", (LONG_PTR)SWELL_NavigateUpScrollClipViews(h), 0},
        {"SWELL_GetWindowWantRaiseAmt", SWELL_GetWindowWantRaiseAmt(h), 0},
        {"SWELL_SetWindowLevel", SWELL_SetWindowLevel(h, 3), 0},
        {"SWELL_GetDefaultButtonID", SWELL_GetDefaultButtonID(h, false), 0},
        {"SWELL_ModalWindowStart", (LONG_PTR)SWELL_ModalWindowStart(h), 0},
        {"DefWindowProc", DefWindowProc(h, WM_MOUSEWHEEL, 1, 2), 0},
    };
    for (const auto& a : answers) EXPECT_EQ(a.got, a.want) << a.what;
    r = RECT{1, 2, 3, 4};
    GetClientRect(h, &r);
    EXPECT_EQ(r.left | r.top | r.right | r.bottom, 0);
    ClientToScreen(h, &p);
    EXPECT_EQ(p.x * 10 + p.y, 56);
    PAINTSTRUCT ps;
    EXPECT_EQ(BeginPaint(h, &ps), nullptr);
    // The rest only must not act.
    SetWindowPos(h, HWND_TOP, 1, 1, 5, 5, 0);
    ShowWindow(h, SW_SHOW);
    EnableWindow(h, 0);
    InvalidateRect(h, nullptr, 0);
    UpdateWindow(h);
    CheckDlgButton(h, 0, BST_CHECKED);
    SetFocus(h);
    SWELL_CloseWindow(h);
    DestroyWindow(h);
  }
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_TRUE(IsWindow(top));
}

TEST_F(Tree, GeometryEdges)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(100, 200, 300, 200), 0, &w);
  const HWND a = Child(top, NSMakeRect(10, 20, 30, 40));
  const HWND b = Child(top, NSMakeRect(50, 20, 30, 40));
  const HWND c = Child(top, NSMakeRect(90, 20, 30, 40));
  RECT r;
  ASSERT_TRUE(GetWindowRect(a, &r));
  EXPECT_GT(r.top, r.bottom) << "a flipped child's screen rectangle";
  EXPECT_EQ(r.left, 110);
  EXPECT_EQ(r.top, 200 + 200 - 20);
  ASSERT_TRUE(GetWindowRect(top, &r));
  EXPECT_LT(r.top, r.bottom);
  GetClientRect(a, &r);
  EXPECT_EQ((std::vector<int>{r.left, r.top, r.right, r.bottom}), (std::vector<int>{0, 0, 30, 40}));

  auto order = [&] {
    std::vector<HWND> o;
    for (NSView* v : dynamic_cast<NSView*>(SWELL_Object(top))->subviews()) o.push_back(SWELL_HWND(v));
    return o;
  };
  struct Z
  {
    HWND h, after;
    std::vector<HWND> want;
  };
  const Z zs[] = {
      {c, HWND_BOTTOM, {c, a, b}},
      {c, HWND_TOP, {a, b, c}},
      {c, b, {a, b, c}},  // directly above b already: nothing moves
      {a, c, {b, c, a}},
      {b, HWND_TOPMOST, {b, c, a}},
  };
  for (const Z& z : zs)
  {
    SetWindowPos(z.h, z.after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_EQ(order(), z.want);
  }
  EXPECT_TRUE(NSEqualRects(dynamic_cast<NSView*>(SWELL_Object(a))->frame(), NSMakeRect(10, 20, 30, 40)));
  SetWindowPos(SWELL_HWND(w), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_TRUE(NSEqualRects(w->frame(), NSMakeRect(100, 200, 300, 200)));
  SetWindowPos(a, nullptr, 1, 2, 3, -4, SWP_NOZORDER);
  EXPECT_TRUE(NSEqualRects(dynamic_cast<NSView*>(SWELL_Object(a))->frame(), NSMakeRect(1, 2, 3, 4)));

  // Showing: commands a window does not know do nothing; hiding the focus moves it up.
  ShowWindow(top, SW_SHOW);
  ShowWindow(SWELL_HWND(w), 4);
  EXPECT_TRUE(w->isVisible());
  SetFocus(b);
  EXPECT_EQ(GetFocus(), b);
  ShowWindow(b, SW_HIDE);
  EXPECT_EQ(GetFocus(), top);
  EXPECT_FALSE(IsWindowVisible(b));

  EXPECT_FALSE(ScrollWindow(top, 0, 0, nullptr, nullptr));
  EXPECT_EQ(GetSystemMetrics(20), 16);
  EXPECT_EQ(GetSystemMetrics(22), 0);

  // An upside-down rectangle invalidates what the ordered one does.
  std::vector<AKPixelRect> drawn[2];
  const RECT rects[2] = {{5, 30, 25, 10}, {5, 10, 25, 30}};
  for (int i = 0; i < 2; ++i)
  {
    w->display();
    InvalidateRect(top, &rects[i], 0);
    w->displayIfNeeded();
    drawn[i] = w->lastDrawn();
  }
  ASSERT_EQ(drawn[0].size(), 1u);
  ASSERT_EQ(drawn[1].size(), 1u);
  EXPECT_EQ((std::vector<int>{drawn[0][0].left, drawn[0][0].top, drawn[0][0].right, drawn[0][0].bottom}),
            (std::vector<int>{drawn[1][0].left, drawn[1][0].top, drawn[1][0].right, drawn[1][0].bottom}));
  EXPECT_EQ(drawn[1][0].top, 10);
}

// Text in a scroll view takes the scroll view's size where it has no scroller,
// labels fade when disabled, UpdateWindow draws only for a view that needs it, and
// a field's editing text view answers as the field.
TEST_F(Tree, TextSizesFadesUpdatesAndEditors)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 300, 200), 0, &w);
  auto* scroll = AddControl(top, new NSScrollView(NSMakeRect(0, 0, 100, 60)), 1);
  auto* text = new Swell_vDavrel_64_textview(NSMakeRect(0, 0, 100, 300));
  scroll->setDocumentView(text);
  text->release();
  auto* other = AddControl(top, new NSScrollView(NSMakeRect(0, 100, 100, 60)), 2);
  NSView* plain = new NSView(NSMakeRect(0, 0, 100, 300));
  other->setDocumentView(plain);
  plain->release();
  auto size = [](NSView* v) { return std::vector<double>{v->frame().size.width, v->frame().size.height}; };
  SetWindowPos(SWELL_HWND(scroll), nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(size(text), (std::vector<double>{120, 90}));
  SetWindowPos(SWELL_HWND(text), nullptr, 5, 5, 200, 50, SWP_NOZORDER);  // the scroll view moves
  EXPECT_TRUE(NSEqualRects(scroll->frame(), NSMakeRect(5, 5, 200, 50)));
  EXPECT_EQ(size(text), (std::vector<double>{200, 50}));
  scroll->setHasVerticalScroller(true);  // the scroller shows the rest: the height stays
  SetWindowPos(SWELL_HWND(scroll), nullptr, 0, 0, 180, 70, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(size(text), (std::vector<double>{180, 50}));
  SetWindowPos(SWELL_HWND(other), nullptr, 0, 0, 120, 90, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(size(plain), (std::vector<double>{100, 300})) << "other documents keep their size";

  // Only a layer label (not editable, no border, no background) fades.
  auto* label = AddControl(top, new Swell_vDavrel_64_textfield(NSMakeRect(0, 0, 50, 20)), 3);
  label->setEditable(false);
  label->setBordered(false);
  label->setDrawsBackground(false);
  label->setTextColor(NSColor::colorWithCalibratedRed(0.2, 0.4, 0.6, 1));
  auto* boxed = AddControl(top, new Swell_vDavrel_64_textfield(NSMakeRect(0, 20, 50, 20)), 4);
  boxed->setEditable(false);
  auto* edit = AddControl(top, new Swell_vDavrel_64_textfield(NSMakeRect(0, 40, 50, 20)), 5);
  auto* foreign = AddControl(top, new NSTextField(NSMakeRect(0, 60, 50, 20)), 6);
  foreign->setEditable(false);
  foreign->setBordered(false);
  foreign->setDrawsBackground(false);
  struct Fade
  {
    NSTextField* f;
    double disabled;
  };
  for (const Fade c : {Fade{label, 0.5}, Fade{boxed, 1}, Fade{edit, 1}, Fade{foreign, 1}})
  {
    EnableWindow(SWELL_HWND(c.f), 0);
    EXPECT_EQ(c.f->textColor()->alphaComponent(), c.disabled) << c.f->tag();
    EnableWindow(SWELL_HWND(c.f), 1);
    EXPECT_EQ(c.f->textColor()->alphaComponent(), 1.0) << c.f->tag();
  }
  EXPECT_EQ(label->textColor()->blueComponent(), 0.6) << "the colour itself stays";

  const HWND a = Child(top, NSMakeRect(200, 0, 30, 30));
  ShowWindow(top, SW_SHOW);
  w->display();
  InvalidateRect(a, nullptr, 0);
  UpdateWindow(top);
  EXPECT_TRUE(w->needsDisplay()) << "the content view itself needs nothing";
  UpdateWindow(a);
  EXPECT_FALSE(w->needsDisplay());

  // The platform edits a field through a text view two levels inside it.
  NSView* inner = new NSView(NSMakeRect(0, 0, 50, 20));
  edit->addSubview(inner);
  inner->release();
  NSTextView* editor = new NSTextView(NSMakeRect(0, 0, 50, 20));
  inner->addSubview(editor);
  editor->release();
  ASSERT_TRUE(w->makeFirstResponder(editor));
  EXPECT_EQ(GetFocus(), SWELL_HWND(edit));
  ASSERT_TRUE(w->makeFirstResponder(text));
  EXPECT_EQ(GetFocus(), SWELL_HWND(text)) << "a text view of its own";
}

TEST_F(Tree, SendMessageFindsTheProcedure)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 100, 100), 0, &w);
  NSTextField* field = new NSTextField(NSMakeRect(0, 0, 40, 20));
  dynamic_cast<NSView*>(SWELL_Object(top))->addSubview(field);
  field->release();
  log.handlers[{top, 0x500}] = [](HWND, WPARAM wp, LPARAM lp) { return (LRESULT)(wp + lp); };
  struct Case
  {
    HWND to;
    UINT msg;
    LRESULT want;
  };
  const Case cases[] = {
      {nullptr, 0x500, 0},
      {top, 0x500, 5},
      {SWELL_HWND(w), 0x500, 5},           // a window's content view takes it
      {SWELL_HWND(field), WM_COMMAND, 0},  // a plain control that is no content view
      {SWELL_HWND(field), EM_SETPASSWORDCHAR, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SendMessage(c.to, c.msg, 2, 3), c.want) << std::hex << c.msg;
  EXPECT_EQ(Selection(SWELL_HWND(field)), Sel(0, 0)) << "not being edited";
  field->setStringValue("abcdef");
  w->makeFirstResponder(field);
  field->selectText(nullptr);
  EXPECT_EQ(Selection(SWELL_HWND(field)), Sel(0, 6));
  struct
  {
    long from, to;
    Sel want;
  } sels[] = {{-1, 4, {0, 0}}, {2, -1, {2, 6}}, {2, 4, {2, 4}}, {-5, 3, {6, 6}}, {9, 20, {6, 6}}, {4, 2, {4, 4}}};
  for (const auto& c : sels)
  {
    SendMessage(SWELL_HWND(field), EM_SETSEL, (WPARAM)c.from, (LPARAM)c.to);
    EXPECT_EQ(Selection(SWELL_HWND(field)), c.want) << c.from << "," << c.to;
  }

  // Controls report to the view: their action and their text changes.
  field->setTag(9);
  field->setDelegate(SWELL_WindowView(top));
  log.msgs.clear();
  SWELL_WindowView(top)->onSwellCommand(field);
  NSNotification* n = new NSNotification("NSControlTextDidChangeNotification", field);
  SWELL_WindowView(top)->controlTextDidChange(n);
  n->release();
  EXPECT_EQ(log.only(WM_COMMAND), (std::vector<LoggedMsg>{{top, WM_COMMAND, 9, (LPARAM)SWELL_HWND(field)},
                                                          {top, WM_COMMAND, 0x3000009, (LPARAM)SWELL_HWND(field)}}));
  field->setDelegate(nullptr);
}

TEST_F(Tree, CaptureChangeNotification)
{
  const HWND top = Window(NSMakeRect(0, 0, 100, 100));
  const HWND a = Child(top, NSMakeRect(0, 0, 10, 10));
  const HWND b = Child(top, NSMakeRect(10, 0, 10, 10));
  log.msgs.clear();
  EXPECT_EQ(SetCapture(a), nullptr);
  EXPECT_EQ(SetCapture(a), a);
  EXPECT_TRUE(log.only(WM_CAPTURECHANGED).empty()) << "the same window twice";
  SetCapture(b);
  ReleaseCapture();
  EXPECT_EQ(log.only(WM_CAPTURECHANGED),
            (std::vector<LoggedMsg>{{a, WM_CAPTURECHANGED, 0, (LPARAM)b}, {b, WM_CAPTURECHANGED, 0, 0}}));
  // A plain view asks for no notification.
  NSView* plain = new NSView(NSMakeRect(0, 0, 5, 5));
  SetCapture(SWELL_HWND(plain));
  log.msgs.clear();
  SetCapture(a);
  ReleaseCapture();
  EXPECT_EQ(log.only(WM_CAPTURECHANGED), (std::vector<LoggedMsg>{{a, WM_CAPTURECHANGED, 0, 0}}));
  plain->release();
}

TEST_F(Tree, DefaultProcedure)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(100, 100, 200, 200), 0, &w);
  const HWND a = Child(top, NSMakeRect(10, 10, 50, 50));
  log.msgs.clear();
  struct Case
  {
    HWND h;
    UINT msg;
    LPARAM lp;
    LRESULT want;
    size_t passedUp;
  };
  RECT r;
  GetWindowRect(a, &r);  // top > bottom for the flipped child
  const LPARAM inside = SWELL_PackPoint(r.left + 5, r.bottom + 5);
  const LPARAM outside = SWELL_PackPoint(r.left - 5, r.bottom + 5);
  const Case cases[] = {
      {a, WM_KEYDOWN, 0, SWELL_KEY_PASS_ON, 0},
      {a, WM_KEYUP, 0, SWELL_KEY_PASS_ON, 0},
      {a, WM_PAINT, 0, 0, 0},
      {top, WM_MOUSEWHEEL, 0, 0, 0},  // a content view passes it nowhere
      {a, WM_MOUSEWHEEL, 0, 0, 1},    // a child passes it to its parent
      {a, WM_NCHITTEST, inside, HTCLIENT, 0},
      {a, WM_NCHITTEST, outside, HTNOWHERE, 0},
  };
  for (const Case& c : cases)
  {
    log.msgs.clear();
    EXPECT_EQ(DefWindowProc(c.h, c.msg, 0, c.lp), c.want) << std::hex << c.msg;
    EXPECT_EQ(log.only(c.msg).size(), c.passedUp) << std::hex << c.msg;
  }
  // A right release becomes a context menu at the screen point, which the child's
  // default procedure passes up to its parent.
  log.msgs.clear();
  EXPECT_EQ(DefWindowProc(a, WM_RBUTTONUP, 0, SWELL_PackPoint(2, 3)), 1);
  POINT sp{2, 3};
  ClientToScreen(a, &sp);
  const LPARAM packed = SWELL_PackPoint(sp.x, sp.y);
  EXPECT_EQ(log.only(WM_CONTEXTMENU), (std::vector<LoggedMsg>{{a, WM_CONTEXTMENU, (WPARAM)a, packed},
                                                               {top, WM_CONTEXTMENU, (WPARAM)a, packed}}));
}

TEST_F(Tree, PaintEntry)
{
  PAINTSTRUCT ps;
  memset(&ps, 0xAB, sizeof ps);
  NSView* plain = new NSView(NSMakeRect(0, 0, 5, 5));
  EXPECT_EQ(BeginPaint(SWELL_HWND(plain), &ps), nullptr);
  EXPECT_EQ(ps.hdc, nullptr);
  EXPECT_EQ(ps.rcPaint.right, 0);
  plain->release();

  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 40, 40), 0, &w);
  const HWND a = Child(top, NSMakeRect(0, 0, 20, 20));
  RECT seen{};
  HDC viaGetDC = nullptr, viaPaint = nullptr;
  log.handlers[{a, WM_PAINT}] = [&](HWND h, WPARAM, LPARAM) {
    PAINTSTRUCT p;
    viaPaint = BeginPaint(h, &p);
    seen = p.rcPaint;
    viaGetDC = GetDC(h);
    ReleaseDC(h, viaGetDC);
    EndPaint(h, &p);
    return (LRESULT)0;
  };
  HDC hdc = SWELL_CreateMemContext(nullptr, 20, 20);
  DrawSwellViewRectImpl(SWELL_WindowView(a), NSMakeRect(0.5, 0.5, 10.2, 10.2), hdc);
  EXPECT_EQ((std::vector<int>{seen.left, seen.top, seen.right, seen.bottom}), (std::vector<int>{0, 0, 11, 11}));
  EXPECT_EQ(viaPaint, hdc);
  EXPECT_EQ(viaGetDC, hdc) << "GetDC during a paint is the paint's context";
  EXPECT_FALSE(hdc->freed) << "ReleaseDC leaves it to the paint";
  SWELL_DeleteGfxContext(hdc);

  // Removing a subview marks every window-view ancestor for a full repaint.
  const HWND inner = Child(a, NSMakeRect(0, 0, 5, 5));
  SWELL_WindowView(a)->setDirtyBits(0);
  SWELL_WindowView(top)->setDirtyBits(0);
  DestroyWindow(inner);
  EXPECT_EQ(SWELL_WindowView(a)->dirtyBits(), 3);
  EXPECT_EQ(SWELL_WindowView(top)->dirtyBits(), 3);
  EXPECT_TRUE(dynamic_cast<NSView*>(SWELL_Object(top))->needsDisplay());
}

// A procedure that takes a border for itself gets WM_PAINT clipped to what is left.
TEST_F(Tree, NonClientBorderClipsThePaint)
{
  NSWindow* w = nullptr;
  const HWND top = Window(NSMakeRect(0, 0, 40, 40), 0, &w);
  const HWND a = Child(top, NSMakeRect(10, 10, 20, 20));
  log.handlers[{a, WM_NCCALCSIZE}] = [](HWND, WPARAM, LPARAM lp) {
    RECT& r = ((NCCALCSIZE_PARAMS*)lp)->rgrc[0];
    r.left += 4;
    r.top += 4;
    r.right -= 4;
    r.bottom -= 4;
    return (LRESULT)0;
  };
  log.handlers[{a, WM_PAINT}] = [](HWND, WPARAM wp, LPARAM) {
    Fill((HDC)wp, RECT{-50, -50, 50, 50}, 0xFF0000);
    return (LRESULT)0;
  };
  ShowWindow(top, SW_SHOW);
  w->display();
  LICE_IBitmap* b = w->backing();
  auto red = [&](int x, int y) { return (b->getBits()[y * b->getRowSpan() + x] & 0xFFFFFF00u) == 0x0000FF00u; };
  int count = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) count += red(x, y);
  EXPECT_EQ(count, 12 * 12) << "the 20 x 20 view less a 4-pixel border";
}

TEST_F(Tree, ModalRunsEndEvenWhenTheirStopIsTakenByAnother)
{
  int result = 77;
  EXPECT_FALSE(SWELL_ModalWindowRun(nullptr, &result));
  EXPECT_EQ(result, 77);
  NSWindow* w1 = nullptr;
  NSWindow* w2 = nullptr;
  const HWND outer = Window(NSMakeRect(0, 0, 40, 40), 0, &w1);
  const HWND inner = Window(NSMakeRect(50, 0, 40, 40), 0, &w2);
  void* a = SWELL_ModalWindowStart(outer);
  void* b = SWELL_ModalWindowStart(inner);
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(SWELL_ModalWindowRun(a, &result));
  // Ending the outer run first: its stop reaches the inner run, so the outer one
  // keeps answering "continue". The end gives up after its bounded wait.
  const double scale = SWELL_GetTimeScale();
  SWELL_SetTimeScale(0.01);
  SWELL_ModalWindowEnd(a);
  SWELL_SetTimeScale(scale);
  EXPECT_EQ(NSApp->modalWindow(), w2);
  EXPECT_FALSE(SWELL_ModalWindowRun(b, &result));
  EXPECT_EQ(result, NSModalResponseStop);
  SWELL_ModalWindowEnd(b);
  EXPECT_EQ(NSApp->modalWindow(), nullptr);
}

}  // namespace
