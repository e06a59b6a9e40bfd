// Dialog views: the background their dialog procedure chooses, and the text colour
// of their labels.

#include "wnd_test_util.h"

#include "platform/appkit/NSButton.h"
#include "platform/appkit/NSTextField.h"
#include "raster/lice_bitmap.h"
#include "winsys/gdi_draw.h"

namespace {

struct DialogAnswers
{
  LRESULT erase = 0;
  LRESULT ctlColorDlg = 0;
  COLORREF labelColour = -1;  // -1: WM_CTLCOLORSTATIC sets none
  int staticAsks = 0;
  LPARAM staticAskedOf = 0;
};
DialogAnswers g_answers;

LRESULT DialogProc(HWND, UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg)
  {
    case WM_ERASEBKGND: return g_answers.erase;
    case WM_CTLCOLORDLG: return g_answers.ctlColorDlg;
    case WM_CTLCOLORSTATIC:
      ++g_answers.staticAsks;
      g_answers.staticAskedOf = lp;
      if (g_answers.labelColour != -1) SetTextColor((HDC)wp, g_answers.labelColour);
      return 0;
    default: return 0;
  }
}

// A group box first: it shares the labels' question and is the one asked.
void AddLabels(HWND view, int)
{
  AddControl(view, new NSBox(NSMakeRect(70, 5, 25, 20)), 22);
  for (int i = 0; i < 2; ++i)
    AddControl(view, new NSTextField(NSMakeRect(5, 5 + 25 * i, 60, 20)), 20 + i)->setEditable(false);
}

class Dialog : public WndTest
{
protected:
  HWND Open(NSWindow** out)
  {
    static SWELL_DialogResourceIndex res{nullptr, nullptr, SWELL_DLG_FLIPPED | SWELL_DLG_OPAQUE, AddLabels, 100, 80, nullptr};
    NSWindow* w = new NSWindow(NSMakeRect(0, 0, 100, 80), NSTitledWindowMask, NSBackingStoreBuffered, false);
    windows.push_back(w);
    *out = w;
    return SWELL_CreateWindowView(&res, SWELL_HWND(w), DialogProc, 0);
  }
  static uint32_t Rgb(NSWindow* w, int x, int y)
  {
    const LICE_PixelValue p = w->backing()->getBits()[y * w->backing()->getRowSpan() + x];
    return (uint32_t)LICE_PixelR(p) << 16 | (uint32_t)LICE_PixelG(p) << 8 | (uint32_t)LICE_PixelB(p);
  }
};

TEST_F(Dialog, BackgroundIsTheBrushOrTheDialogFace)
{
  HBRUSH teal = CreateSolidBrush(0x008080);
  struct Case
  {
    LRESULT erase, ctlColorDlg;
    uint32_t want;
  };
  const Case cases[] = {
      {0, (LRESULT)teal, 0x008080},  // a brush fills the paint rectangle
      {0, 0, 0xE8E8E8},              // 0 or 1: the dialog face
      {0, 1, 0xE8E8E8},
      {1, (LRESULT)teal, 0xECECEC},  // the procedure erased itself: the window's own grey shows
  };
  for (const Case& c : cases)
  {
    g_answers = DialogAnswers{};
    g_answers.erase = c.erase;
    g_answers.ctlColorDlg = c.ctlColorDlg;
    NSWindow* w = nullptr;
    const HWND dlg = Open(&w);
    // The view is opaque, so the window itself paints nothing under it.
    w->setBackgroundColor(0xEC / 255.0, 0xEC / 255.0, 0xEC / 255.0);
    ShowWindow(dlg, SW_SHOW);
    w->display();
    EXPECT_EQ(Rgb(w, 90, 70), c.want) << c.ctlColorDlg;
  }
  DeleteObject(teal);
}

TEST_F(Dialog, LabelsTakeTheColourTheProcedureSets)
{
  // Creation asks once for all labels and gives them the colour set.
  g_answers = DialogAnswers{};
  g_answers.labelColour = 0xFF8000;
  NSWindow* w = nullptr;
  HWND dlg = Open(&w);
  EXPECT_EQ(g_answers.staticAsks, 1) << "once per update, however many labels";
  NSBox* box = dynamic_cast<NSBox*>(SWELL_Object(GetDlgItem(dlg, 22)));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(g_answers.staticAskedOf, (LPARAM)GetDlgItem(dlg, 22));
  for (int id : {20, 21})
  {
    NSTextField* label = dynamic_cast<NSTextField*>(SWELL_Object(GetDlgItem(dlg, id)));
    ASSERT_NE(label, nullptr);
    EXPECT_DOUBLE_EQ(label->textColor()->redComponent(), 1.0);
    EXPECT_DOUBLE_EQ(label->textColor()->greenComponent(), 0x80 / 255.0);
  }
  ASSERT_NE(box->titleTextColor(), nullptr);
  EXPECT_DOUBLE_EQ(box->titleTextColor()->redComponent(), 1.0);
  EXPECT_DOUBLE_EQ(box->titleTextColor()->greenComponent(), 0x80 / 255.0);

  // Without a colour from the procedure creation leaves the labels alone; a display
  // change falls back to the system's text colour.
  g_answers = DialogAnswers{};
  dlg = Open(&w);
  NSTextField* label = dynamic_cast<NSTextField*>(SWELL_Object(GetDlgItem(dlg, 21)));
  label->setTextColor(NSColor::colorWithCalibratedRed(0.3, 0.3, 0.3, 1));
  DefWindowProc(dlg, WM_DISPLAYCHANGE, 0, 0);
  EXPECT_EQ(g_answers.staticAsks, 2);
  EXPECT_DOUBLE_EQ(label->textColor()->redComponent(), 0.0);
  NSBox* box2 = dynamic_cast<NSBox*>(SWELL_Object(GetDlgItem(dlg, 22)));
  ASSERT_NE(box2->titleTextColor(), nullptr);
  EXPECT_DOUBLE_EQ(box2->titleTextColor()->redComponent(), 0.0);
}

}  // namespace
