// The dialog builder: mapping of dialog units, the controls each factory makes,
// custom creators, generation from a list, and the bank-name dialog it builds.

#include "../winsys_wnd/wnd_test_util.h"

#include "editor/savedlg/PatchSaveDialog.h"
#include "platform/appkit/ModalScript.h"
#include "platform/appkit/NSEvent.h"
#include "winsys/dlgbuild/builder.h"
#include "platform/appkit/NSTableView.h"
#include "winsys/wnd/controls.h"
#include "winsys/wnd/ctl_listview.h"
#include "winsys/wnd/dialog.h"

#include <cstring>

namespace {

class Builder : public WndTest
{
protected:
  void TearDown() override
  {
    g_swell_want_nice_style = 1;
    NSApp->setKeyWindow(nullptr);
    WndTest::TearDown();
  }
  // A window view of the given flip, 400 x 300, as the builder's parent.
  HWND Parent(bool flipped)
  {
    NSWindow* w = new NSWindow(NSMakeRect(0, 0, 400, 300), NSTitledWindowMask, NSBackingStoreBuffered, false);
    windows.push_back(w);
    static SWELL_DialogResourceIndex flip{nullptr, nullptr, SWELL_DLG_FLIPPED, nullptr, 400, 300, nullptr};
    static SWELL_DialogResourceIndex plain{nullptr, nullptr, 0, nullptr, 400, 300, nullptr};
    return SWELL_CreateWindowView(flipped ? &flip : &plain, SWELL_HWND(w), RecordingProc, 0);
  }
  static NSView* V(HWND h) { return dynamic_cast<NSView*>(SWELL_Object(h)); }
};

bool SameRect(NSRect a, NSRect b)
{
  return a.origin.x == b.origin.x && a.origin.y == b.origin.y && a.size.width == b.size.width &&
         a.size.height == b.size.height;
}

TEST_F(Builder, MappingOfDialogUnits)
{
  HWND flipped = Parent(true);
  struct Case
  {
    float scale;
    int x, y, w, h;
    bool ignoreV;
    NSRect want;
  } cases[] = {
      {1.7f, 10, 20, 50, 14, false, NSMakeRect(17, 34, 85, 24)},
      {1.7f, 5, 6, -80, -20, false, NSMakeRect(-5, -6, 80, 20)},  // unscaled points
      {1.8f, 100, 60, 50, 14, false, NSMakeRect(180, 108, 90, 25)},
      {1.8f, 10, 20, 200, 12, true, NSMakeRect(18, 36, 360, 12)},
      {1.0f, -3, -4, 7, 9, false, NSMakeRect(-2, -3, 7, 9)},  // + 0.5, then toward zero
  };
  for (const Case& c : cases)
  {
    SWELL_MakeSetCurParms(c.scale, c.scale, 0, 0, flipped, false, false);
    const NSRect r = MakeCoords(c.x, c.y, c.w, c.h, false, c.ignoreV);
    EXPECT_TRUE(SameRect(r, c.want)) << c.x << "," << c.y << " -> " << r.origin.x << "," << r.origin.y << ","
                                     << r.size.width << "," << r.size.height;
  }
}

// The same controls built into a flipped and an unflipped parent land on the same
// pixels of the window.
TEST_F(Builder, UnflippedParentPlacesControlsWhereAFlippedOneDoes)
{
  HWND parents[2] = {Parent(true), Parent(false)};
  NSRect placed[2][3];
  for (int i = 0; i < 2; ++i)
  {
    SWELL_MakeSetCurParms(1.8f, 1.8f, 2, 3, parents[i], false, false);
    HWND made[3] = {SWELL_MakeButton(0, "Go", 1, 10, 20, 50, 14, 0), SWELL_MakeEditField(2, 10, 40, 100, 12, 0),
                    SWELL_MakeLabel(-1, "Hi", 3, 0, 0, 30, 30, 0)};
    for (int k = 0; k < 3; ++k)
    {
      ASSERT_TRUE(made[k]);
      EXPECT_EQ(V(made[k])->superview(), V(parents[i]));
      placed[i][k] = V(made[k])->baseRect();
    }
  }
  for (int k = 0; k < 3; ++k)
    EXPECT_TRUE(SameRect(placed[0][k], placed[1][k]))
        << k << ": " << placed[0][k].origin.y << " vs " << placed[1][k].origin.y;
}

TEST_F(Builder, PushButtonHeightsAndTexts)
{
  HWND p = Parent(true);
  struct Case
  {
    int nice;
    int h;  // dialog units at scale 1
    int want;
  } cases[] = {{0, 20, 24}, {1, 20, 20}, {0, 24, 24}, {0, 18, 24}, {0, 17, 17}, {0, 23, 24}};
  for (const Case& c : cases)
  {
    g_swell_want_nice_style = c.nice;
    SWELL_MakeSetCurParms(1, 1, 0, 0, p, false, false);
    HWND b = SWELL_MakeButton(0, "x", 5, 0, 0, 40, c.h, 0);
    EXPECT_EQ(V(b)->frame().size.height, c.want) << c.nice << " " << c.h;
    EXPECT_EQ(dynamic_cast<NSButton*>(V(b))->bezelStyle(), c.nice == 1 ? 6 : 1);
  }
  struct Text
  {
    const char* in;
    std::string shown;
  } texts[] = {{"&OK", "OK"}, {"a&&b", "a&b"}, {"&OK    ", "OK    "}, {"plain", "plain"}, {"end&", "end"}};
  for (const Text& t : texts) EXPECT_EQ(SWELL_StripMnemonics(t.in), t.shown) << t.in;
  const std::string longText(1024, '&');
  EXPECT_EQ(SWELL_StripMnemonics(longText.c_str()), longText);
  // A resource number in place of a label.
  SWELL_MakeSetCurParms(1, 1, 0, 0, p, false, false);
  EXPECT_EQ(dynamic_cast<NSButton*>(V(SWELL_MakeButton(0, (const char*)5, 6, 0, 0, 9, 9, 0)))->title(), "ICONTEMP");
  // Hidden by bit 31; a default button becomes the window's.
  HWND hidden = SWELL_MakeButton(1, "&Hide", 7, 0, 0, 9, 9, SWELL_NOT_WS_VISIBLE);
  EXPECT_TRUE(V(hidden)->isHidden());
  EXPECT_EQ(V(p)->window()->defaultButtonCell(), V(hidden));
  EXPECT_EQ(GetDlgItem(p, 7), hidden);
}

HWND gCreated = nullptr;
int gAsked = 0;
HWND Creator(HWND parent, const char*, int id, const char* cls, int, int x, int y, int w, int h)
{
  ++gAsked;
  if (strcmp(cls, "Custom")) return nullptr;
  gCreated = SWELL_CreateWindowView(nullptr, parent, RecordingProc, 0);
  SetWindowPos(gCreated, nullptr, x, y, w, h, SWP_NOZORDER);
  SetWindowLong(gCreated, GWL_ID, id);
  return gCreated;
}

TEST_F(Builder, CustomCreatorsAndClassNames)
{
  HWND p = Parent(true);
  SWELL_MakeSetCurParms(2, 2, 0, 0, p, false, false);
  SWELL_RegisterCustomControlCreator(nullptr);
  SWELL_RegisterCustomControlCreator(Creator);
  SWELL_RegisterCustomControlCreator(Creator);
  SWELL_UnregisterCustomControlCreator(Creator);
  HWND c = SWELL_MakeControl("", 40, "Custom", 0, 1, 2, 3, 4, 0x10);
  ASSERT_EQ(c, gCreated);
  EXPECT_TRUE(SameRect(V(c)->frame(), NSMakeRect(2, 4, 6, 8)));
  EXPECT_EQ(GetWindowLong(c, GWL_EXSTYLE), 0x10);
  SWELL_UnregisterCustomControlCreator(Creator);
  SWELL_UnregisterCustomControlCreator(Creator);  // no longer there: nothing
  gAsked = 0;
  EXPECT_EQ(SWELL_MakeControl("", 41, "Custom", 0, 1, 2, 3, 4, 0), nullptr);
  EXPECT_EQ(gAsked, 0);

  struct Case
  {
    const char* cls;
    int style;
    bool made;
    NSButtonType type;  // for buttons
    bool mixed;
  } cases[] = {
      {"BUTTON", BS_AUTOCHECKBOX, true, NSSwitchButton, false},
      {"Button", BS_AUTO3STATE, true, NSSwitchButton, true},
      {"button", BS_AUTORADIOBUTTON, true, NSRadioButton, false},
      {"Button", BS_PUSHBUTTON_SWELL, true, NSMomentaryPushInButton, false},
      {"Edit", 0, true, NSMomentaryPushInButton, false},
      {"Edit", WS_VSCROLL, true, NSMomentaryPushInButton, false},
      {"Static", SS_CENTER, true, NSMomentaryPushInButton, false},
      {"msctls_trackbar32", 0, true, NSMomentaryPushInButton, false},
      {"SysTabControl32", 0, true, NSMomentaryPushInButton, false},
      {"msctls_progress32", 0, true, NSMomentaryPushInButton, false},
      {"SysListView32", 0, true, NSMomentaryPushInButton, false},
      {"SysTreeView32", 0, true, NSMomentaryPushInButton, false},
      {"NoSuchClass", 0, false, NSMomentaryPushInButton, false},
  };
  for (const Case& c : cases)
  {
    HWND h = SWELL_MakeControl("&Text", 50, c.cls, c.style, 0, 0, 20, 10, 0);
    EXPECT_EQ(h != nullptr, c.made) << c.cls;
    if (!h) continue;
    EXPECT_EQ(V(h)->tag(), 50);
    // Scroll bits ask for several lines.
    EXPECT_EQ(dynamic_cast<NSTextView*>(V(h)) != nullptr, !strcmp(c.cls, "Edit") && c.style == WS_VSCROLL);
    if (NSButton* b = dynamic_cast<NSButton*>(V(h)))
    {
      EXPECT_EQ(b->buttonType(), c.type) << c.cls << c.style;
      EXPECT_EQ(b->allowsMixedState(), c.mixed);
      EXPECT_EQ(b->title(), "Text");
    }
    DestroyWindow(h);
  }
  // Combo boxes: 18 (a drop-down list) or 22 points high whatever the height given.
  HWND list = SWELL_MakeCombo(70, 10, 10, 50, 100, CBS_DROPDOWNLIST);
  HWND edit = SWELL_MakeCombo(71, 10, 10, 50, 100, 0);
  ASSERT_TRUE(dynamic_cast<Swell_vDavrel_64_pub*>(V(list)));
  ASSERT_TRUE(dynamic_cast<Swell_vDavrel_64_cbox*>(V(edit)));
  EXPECT_TRUE(SameRect(V(list)->frame(), NSMakeRect(20, 20, 100, 18)));
  EXPECT_TRUE(SameRect(V(edit)->frame(), NSMakeRect(20, 18, 100, 22)));
  // A list box sits in a scroll view that bit 31 hides, found by its own id, with
  // one column across its width.
  HWND lb = SWELL_MakeListBox(72, 10, 10, 60, 40, SWELL_NOT_WS_VISIBLE);
  ASSERT_TRUE(lb);
  EXPECT_EQ(GetDlgItem(p, 72), lb);
  EXPECT_TRUE(V(lb)->isHiddenOrHasHiddenAncestor());
  EXPECT_EQ(dynamic_cast<NSTableView*>(V(lb))->numberOfColumns(), 1);
  EXPECT_EQ(ListView_GetColumnWidth(lb, 0), 120);
  HWND box = SWELL_MakeControl("Group", 60, "Button", BS_GROUPBOX_SWELL, 0, 0, 20, 10, 0);
  EXPECT_EQ(V(p)->subviews().front(), V(box));  // below its siblings
  HWND black = SWELL_MakeControl("", 61, "static", SS_BLACKRECT, 0, 0, 5, 5, 0);
  EXPECT_TRUE(V(black)->isHidden());
}

// BS_LEFTTEXT puts a check box's box after its text, at the right end of the
// control instead of the left.
TEST_F(Builder, LeftTextPutsTheBoxOnTheRight)
{
  HWND p = Parent(true);
  NSWindow* w = V(p)->window();
  SWELL_MakeSetCurParms(1, 1, 0, 0, p, false, false);
  struct
  {
    int style;
    int boxLeft, boxRight;  // the 12-point box's columns, in the window
  } cases[] = {{BS_AUTOCHECKBOX, 10 + 1, 10 + 1 + 12},
               {BS_AUTOCHECKBOX | BS_LEFTTEXT, 10 + 80 - 1 - 12, 10 + 80 - 1},
               {BS_AUTORADIOBUTTON | BS_LEFTTEXT, 10 + 80 - 1 - 12, 10 + 80 - 1}};
  ShowWindow(p, SW_SHOW);
  for (const auto& c : cases)
  {
    HWND b = SWELL_MakeControl("", 90, "Button", c.style, 10, 10, 80, 14, 0);
    SendMessage(b, BM_SETCHECK, BST_CHECKED, 0);
    w->display();
    const Box mark = DarkBox(100, 30, [&](int x, int y) {
      const LICE_PixelValue px = BackingRow(w, y)[x];
      return (uint32_t)LICE_PixelR(px) << 16 | LICE_PixelG(px) << 8 | LICE_PixelB(px);
    });
    EXPECT_EQ(std::make_pair(mark.left, mark.right), std::make_pair(c.boxLeft, c.boxRight)) << c.style;
    DestroyWindow(b);
  }
}

TEST_F(Builder, AutoRightPushesTheNeighbourOfAControlThatGrew)
{
  HWND p = Parent(true);
  SWELL_MakeSetCurParms(1, 1, 0, 0, p, true, true);
  // A check box sized to its (long) text grows past its given width of 20.
  HWND a = SWELL_MakeCheckBox("A rather long check box text", 1, 10, 10, 20, 12, 0);
  HWND b = SWELL_MakeLabel(-1, "x", 2, 40, 10, 30, 12, 0);
  const NSRect fa = V(a)->frame(), fb = V(b)->frame();
  EXPECT_GT(fa.size.width, 20);
  EXPECT_EQ(fb.origin.x, 40 + (fa.origin.x + fa.size.width - 30));
  // On another line nothing moves.
  HWND c = SWELL_MakeLabel(-1, "y", 3, 10, 80, 30, 12, 0);
  EXPECT_EQ(V(c)->frame().origin.x, 10);
}

// A multi-line edit without WS_VSCROLL stands alone and moves its own top line.
// With it, the edit is the document of a scroll view that takes its frame, bit 31,
// placement and showing, while the id, the text and the edit messages stay the
// edit's; it grows with its lines, and the scroll view scrolls it to the caret's
// line, to either end and by the wheel.
TEST_F(Builder, MultiLineEditsScrollTheirLinesAloneOrInAScrollView)
{
  const struct Case
  {
    int style;
    bool scrolls, hscroller;
  } cases[] = {
      {WS_HSCROLL, false, false},
      {WS_VSCROLL, true, false},
      {WS_VSCROLL | WS_HSCROLL | ES_READONLY, true, true},
      {WS_VSCROLL | SWELL_NOT_WS_VISIBLE, true, false},
  };
  const int kLines = 40;
  std::string text;
  for (int i = 0; i < kLines; ++i) text += "line " + std::to_string(i) + (i + 1 < kLines ? "\n" : "");
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.style);
    HWND p = Parent(true);
    NSWindow* w = V(p)->window();
    ShowWindow(p, SW_SHOW);
    w->makeKeyAndOrderFront(nullptr);
    SWELL_MakeSetCurParms(2, 2, 0, 0, p, false, false);
    HWND h = SWELL_MakeEditField(30, 10, 10, 60, 30, c.style);
    auto* tv = dynamic_cast<Swell_vDavrel_64_textview*>(V(h));
    ASSERT_TRUE(tv);
    NSScrollView* sv = dynamic_cast<NSScrollView*>(tv->superview() ? tv->superview()->superview() : nullptr);
    ASSERT_EQ(sv != nullptr, c.scrolls);
    NSView* holder = sv ? (NSView*)sv : tv;
    ASSERT_EQ(V(p)->subviews(), std::vector<NSView*>{holder});
    EXPECT_TRUE(SameRect(holder->frame(), NSMakeRect(20, 20, 120, 60)));
    EXPECT_EQ(holder->isHidden(), (c.style & SWELL_NOT_WS_VISIBLE) != 0);
    EXPECT_FALSE(sv && tv->isHidden());
    EXPECT_EQ(GetDlgItem(p, 30), h);
    EXPECT_EQ(GetParent(h), p);
    EXPECT_EQ(tv->isEditable(), !(c.style & ES_READONLY));
    if (sv)
    {
      EXPECT_TRUE(SameRect(tv->frame(), NSMakeRect(0, 0, sv->contentSize().width, sv->contentSize().height)));
    }

    // Showing, placing and measuring act on the scroll view.
    ShowWindow(h, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(h));
    SetWindowPos(h, nullptr, 4, 6, 150, 50, SWP_NOZORDER);
    EXPECT_TRUE(SameRect(holder->frame(), NSMakeRect(4, 6, 150, 50)));
    RECT r{};
    ASSERT_TRUE(GetWindowRect(h, &r));
    EXPECT_EQ(std::make_pair(r.right - r.left, std::abs(r.bottom - r.top)), std::make_pair(150, 50));
    // The text follows the width unless a horizontal scroller shows the rest.
    EXPECT_EQ(tv->frame().size.width, c.hscroller ? 120 : 150);
    EXPECT_EQ(tv->frame().size.height, 50);

    SetDlgItemText(p, 30, text.c_str());
    char back[1024] = {};
    GetDlgItemText(p, 30, back, sizeof back);
    EXPECT_EQ(back, text);
    const CGFloat tall = tv->frame().size.height;
    EXPECT_EQ(tall > 50, c.scrolls) << "only the scrolled edit grows with its lines";
    auto shown = [&] { return sv ? sv->documentVisibleRect() : NSMakeRect(0, 0, 0, 0); };

    // To either end; the caret's line when typing puts it below what is shown.
    SendMessage(h, EM_SCROLL, SB_BOTTOM, 0);
    if (sv)
    {
      EXPECT_EQ(shown().origin.y + 50, tall);
    }
    EXPECT_EQ(tv->topLine() > 0, !c.scrolls);
    SendMessage(h, EM_SCROLL, SB_TOP, 0);
    EXPECT_EQ(shown().origin.y, 0);
    EXPECT_EQ(tv->topLine(), 0);
    if (tv->isEditable())
    {
      SetFocus(h);
      SendMessage(h, EM_SETSEL, text.size(), text.size());
      for (const char16_t* key : {u"\r", u"x"})
        Send(NSEvent::keyEventWithType(NSKeyDown, 0, w, key, key, key[0] == u'\r' ? kVK_Return : kVK_ANSI_X));
      GetDlgItemText(p, 30, back, sizeof back);
      EXPECT_EQ(back, text + "\nx");
      EXPECT_EQ(Selection(h), Sel((int)text.size() + 2, (int)text.size() + 2));
      if (sv)
      {
        const CGFloat lh = tv->frame().size.height - tall;
        EXPECT_GT(lh, 8);
        EXPECT_EQ(tall, kLines * lh + 2);
        EXPECT_EQ(shown().origin.y + 50, tv->frame().size.height) << "the new last line is shown";
        // A line above what is shown comes in at the top, one below at the bottom.
        tv->scrollRangeToVisible(text.find("line 3\n"), 0);
        EXPECT_EQ(shown().origin.y, 3 * lh);
        tv->scrollRangeToVisible(text.find("line 20\n"), 0);
        EXPECT_EQ(shown().origin.y + 50, 21 * lh + 2);
      }
      else
        EXPECT_EQ(tv->topLine(), 0) << "typing alone does not scroll";
      SendMessage(h, EM_SCROLL, SB_TOP, 0);
    }

    // What is drawn: only the last line has ink, so the edit's area is blank at
    // the top and shows it at the bottom.
    SetDlgItemText(p, 30, (std::string(kLines - 1, '\n') + "end").c_str());
    const NSRect area = holder->frame();
    auto ink = [&] {
      w->display();
      return DarkBox((int)area.size.width, (int)area.size.height, [&](int x, int y) {
        const LICE_PixelValue px = BackingRow(w, (int)area.origin.y + y)[(int)area.origin.x + x];
        return (uint32_t)LICE_PixelR(px) << 16 | LICE_PixelG(px) << 8 | LICE_PixelB(px);
      });
    };
    SendMessage(h, EM_SCROLL, SB_TOP, 0);
    EXPECT_TRUE(ink().empty());
    SendMessage(h, EM_SCROLL, SB_BOTTOM, 0);
    const Box end = ink();
    EXPECT_FALSE(end.empty());
    EXPECT_GT(end.top, sv ? 30 : 10) << "the last line is the lowest one shown";
    SendMessage(h, EM_SCROLL, SB_TOP, 0);

    // The wheel over the text scrolls the scroll view; a lone edit leaves it to
    // the dialog.
    log.msgs.clear();
    Send(NSEvent::scrollEventWithDeltas(Mouse(NSMouseMoved, h, NSMakePoint(20, 20))->locationInWindow(), 0, w, 0,
                                        -2));
    EXPECT_EQ(shown().origin.y, sv ? 20 : 0);
    EXPECT_EQ(tv->topLine(), 0);
    EXPECT_EQ(log.only(WM_MOUSEWHEEL).empty(), c.scrolls);
    ShowWindow(h, SW_HIDE);
    EXPECT_TRUE(holder->isHidden());
    EXPECT_FALSE(IsWindowVisible(h));
    DestroyWindow(p);
  }
}

TEST_F(Builder, BankNameDialogControls)
{
  ASSERT_EQ(SWELL_FindDialogResource(SWELL_curmodule_dialogresource_head, (const char*)IDD_PATCH_SAVE),
            &__swell_dlg_helper_IDD_PATCH_SAVE);
  HWND v = SWELL_CreateDialog(SWELL_curmodule_dialogresource_head, (const char*)IDD_PATCH_SAVE, nullptr,
                              [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, 0);
  ASSERT_TRUE(v);
  EXPECT_EQ(V(v)->window()->title(), "Enter Bank Name");
  EXPECT_EQ(V(v)->frame().size.width, 396);
  EXPECT_EQ(V(v)->frame().size.height, 144);
  struct Want
  {
    int id;
    std::string text;
    NSRect frame;
    bool editable;
  } wants[] = {
      {IDC_BANKNAME, "", NSMakeRect(18, 36, 360, 22), true},
      {IDCANCEL, "Cancel", NSMakeRect(288, 108, 90, 25), false},
      {IDC_BANKNAME_OK, "OK    ", NSMakeRect(180, 108, 90, 25), false},
  };
  ASSERT_EQ(V(v)->subviews().size(), 4u);
  NSTextField* label = dynamic_cast<NSTextField*>(V(v)->subviews()[0]);
  ASSERT_TRUE(label);
  EXPECT_EQ(label->stringValue(), "Bank Name");
  EXPECT_FALSE(label->isEditable());
  EXPECT_TRUE(SameRect(label->frame(), NSMakeRect(18, 18, 360, 14)));
  for (const Want& w : wants)
  {
    NSControl* c = dynamic_cast<NSControl*>(V(GetDlgItem(v, w.id)));
    ASSERT_TRUE(c) << w.id;
    EXPECT_EQ(c->stringValue(), w.text) << w.id;
    EXPECT_TRUE(SameRect(c->frame(), w.frame)) << w.id << ": " << c->frame().origin.x << "," << c->frame().origin.y
                                               << "," << c->frame().size.width << "," << c->frame().size.height;
    EXPECT_EQ(c->font()->pointSize(), 10);
    NSTextField* f = dynamic_cast<NSTextField*>(c);
    EXPECT_EQ(f && f->isEditable(), w.editable);
  }
  DestroyWindow(v);
}

// Queued for the modal run about to start: type into the key window's focus, then
// click its button id.
void TypeAndClick(const std::string& typed, int id)
{
  NSRunLoop::postToMainThread([typed, id] {
    NSModalScript::type(typed);
    NSRunLoop::postToMainThread([id] { PostClick(SWELL_HWND(NSApp->keyWindow()), id); });
  });
}

TEST_F(Builder, BankNamePromptRunsModally)
{
  struct Case
  {
    std::string suggested, typed;
    int press;
    std::string want;
  } cases[] = {
      {"", "Warm Keys", IDC_BANKNAME_OK, "Warm Keys"},
      {"Old", "Lost", IDCANCEL, ""},
      {"", "", IDC_BANKNAME_OK, ""},
  };
  for (const Case& c : cases)
  {
    TypeAndClick(c.typed, c.press);
    EXPECT_EQ(PromptForBankName(nullptr, c.suggested), c.want) << c.typed;
  }
  // The save-as path: the folder, the name made safe, the extension once.
  struct PathCase
  {
    std::string typed, folder;
    const char* ext;
    std::string want;
  } paths[] = {
      {"Pads", "/banks", "dvl", "/banks/Pads.dvl"},
      {"Pads.dvl", "/banks/", "dvl", "/banks/Pads.dvl"},
      {"../up", "/banks", "mid", "/banks/..-up.mid"},
      {"..", "/banks", "dvl", ""},
  };
  for (const PathCase& pc : paths)
  {
    TypeAndClick(pc.typed, IDC_BANKNAME_OK);
    EXPECT_EQ(PromptForBankSavePath(nullptr, "", pc.folder, pc.ext), pc.want) << pc.typed;
  }
}

}  // namespace
