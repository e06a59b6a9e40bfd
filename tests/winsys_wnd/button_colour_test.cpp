// Button titles in the colour a dialog procedure gives with WM_CTLCOLORBTN: check
// boxes and radio buttons take it (asked once for all), push buttons keep theirs,
// and the title's pixels show it.

#include "wnd_test_util.h"

#include "platform/appkit/NSButton.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_draw.h"

namespace {

COLORREF g_buttonColour = -1;  // -1: WM_CTLCOLORBTN sets none
int g_buttonAsks = 0;
LPARAM g_askedFor = 0;

LRESULT ButtonColourProc(HWND, UINT msg, WPARAM wp, LPARAM lp)
{
  if (msg != WM_CTLCOLORBTN) return 0;
  ++g_buttonAsks;
  g_askedFor = lp;
  if (g_buttonColour != -1) SetTextColor((HDC)wp, g_buttonColour);
  return 0;
}

void AddButtons(HWND view, int)
{
  const struct
  {
    NSButtonType type;
    const char* title;
  } buttons[] = {{NSMomentaryPushInButton, "MMMM"}, {NSSwitchButton, "MMMM"}, {NSRadioButton, "MMMM"}};
  for (int i = 0; i < 3; ++i)
  {
    NSButton* b = AddControl(view, new NSButton(NSMakeRect(5, 5 + 30 * i, 110, 24)), 30 + i);
    b->setButtonType(buttons[i].type);
    b->setTitle(buttons[i].title);
  }
}

class ButtonColour : public WndTest
{
protected:
  HWND Open(NSWindow** out)
  {
    static SWELL_DialogResourceIndex res{nullptr, nullptr, SWELL_DLG_FLIPPED | SWELL_DLG_OPAQUE, AddButtons, 120, 100,
                                         nullptr};
    NSWindow* w = new NSWindow(NSMakeRect(0, 0, 120, 100), NSTitledWindowMask, NSBackingStoreBuffered, false);
    windows.push_back(w);
    *out = w;
    return SWELL_CreateWindowView(&res, SWELL_HWND(w), ButtonColourProc, 0);
  }
  NSButton* Button(HWND dlg, int id) { return dynamic_cast<NSButton*>(SWELL_Object(GetDlgItem(dlg, id))); }
  // Pixels of the button's area whose colour is near the one given.
  static int Near(NSWindow* w, NSButton* b, uint32_t rgb)
  {
    const NSRect f = b->convertRectToView(b->bounds(), nullptr);
    LICE_IBitmap* bm = w->backing();
    int n = 0;
    const int top = (int)(bm->getHeight() - f.origin.y - f.size.height);
    for (int y = std::max(0, top); y < std::min(bm->getHeight(), top + (int)f.size.height); ++y)
      for (int x = (int)f.origin.x; x < (int)(f.origin.x + f.size.width); ++x)
      {
        const LICE_PixelValue p = bm->getBits()[y * bm->getRowSpan() + x];
        const int dr = (int)LICE_PixelR(p) - (int)(rgb >> 16 & 0xFF), dg = (int)LICE_PixelG(p) - (int)(rgb >> 8 & 0xFF),
                  db = (int)LICE_PixelB(p) - (int)(rgb & 0xFF);
        n += dr * dr + dg * dg + db * db < 40 * 40;
      }
    return n;
  }
};

TEST_F(ButtonColour, CheckAndRadioTitlesTakeTheProcedureColour)
{
  g_buttonColour = 0xE00000;  // red
  g_buttonAsks = 0;
  NSWindow* w = nullptr;
  const HWND dlg = Open(&w);
  EXPECT_EQ(g_buttonAsks, 1) << "once per update, however many buttons";
  EXPECT_EQ(g_askedFor, (LPARAM)SWELL_HWND(Button(dlg, 31))) << "the first button with a box";
  NSButton *push = Button(dlg, 30), *check = Button(dlg, 31), *radio = Button(dlg, 32);
  ASSERT_TRUE(push && check && radio);
  for (NSButton* b : {check, radio})
  {
    EXPECT_NEAR(b->textColor()->redComponent(), 0xE0 / 255.0, 1e-6);
    EXPECT_EQ(b->textColor()->greenComponent(), 0.0);
  }
  EXPECT_EQ(push->textColor()->redComponent(), 0.0) << "a push button keeps the controls' colour";

  ShowWindow(dlg, SW_SHOW);
  w->display();
  EXPECT_GT(Near(w, check, 0xE00000), 5);
  EXPECT_GT(Near(w, radio, 0xE00000), 5);
  EXPECT_EQ(Near(w, push, 0xE00000), 0);
  EXPECT_GT(Near(w, push, 0x000000), 5);

  // A display change without a colour from the procedure falls back to the
  // controls' text colour, which the pixels show again.
  g_buttonColour = -1;
  DefWindowProc(dlg, WM_DISPLAYCHANGE, 0, 0);
  EXPECT_EQ(g_buttonAsks, 2);
  EXPECT_EQ(check->textColor()->redComponent(), 0.0);
  w->display();
  EXPECT_EQ(Near(w, check, 0xE00000), 0);
  EXPECT_GT(Near(w, check, 0x000000), 5);
}

}  // namespace
