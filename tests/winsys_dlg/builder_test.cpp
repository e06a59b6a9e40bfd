// The dialog builder: mapping of dialog units, the controls each factory makes,
// custom creators, generation from a list, and the bank-name dialog it builds.

#include "../winsys_wnd/wnd_test_util.h"

#include "editor/savedlg/PatchSaveDialog.h"
#include "platform/appkit/ModalScript.h"
#include "winsys/dlgbuild/builder.h"
#include "platform/appkit/NSTableView.h"
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
