// A dialog made by the dialog builder under a real X server: its password field
// shows bullets, its group box centres its title when the style asks, its
// owner-drawn button is what the dialog procedure paints, Return presses the
// default button and Escape cancels.

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "winsys/dlgbuild/builder.h"
#include "winsys/gdi_draw.h"
#include "winsys/wnd/dialog.h"
#include "winsys/wnd/wnd.h"

#include <functional>
#include <vector>

#include "X11Session.h"

#include <gtest/gtest.h>

namespace {

enum
{
  IDC_SECRET = 300,
  IDC_PLAIN_BULLETS = 301,
  IDC_PLAIN_TEXT = 302,
  IDC_GROUP = 303,
  IDC_SWATCH = 304,
  IDC_GO = 305,
  IDC_FOCUS = 306
};
const int BS_GROUPBOX_CENTRED = 0x20000000 | 0x300;

// Three fields of one size on one column: the password field and two plain twins,
// one showing three bullets and one the password itself.
const SWELL_DlgResourceControlRec kControls[] = {
    {"__SWELL_EDIT", 0, "", IDC_FOCUS, 10, 90, 100, 16, 0},  // takes the focus, being first
    {"__SWELL_EDIT", 0, "", IDC_SECRET, 10, 10, 120, 16, ES_PASSWORD},
    {"__SWELL_EDIT", 0, "", IDC_PLAIN_BULLETS, 10, 30, 120, 16, 0},
    {"__SWELL_EDIT", 0, "", IDC_PLAIN_TEXT, 10, 50, 120, 16, 0},
    {"Volumes", IDC_GROUP, "Button", BS_GROUPBOX_CENTRED, 150, 10, 120, 60, 0},
    {"", IDC_SWATCH, "Button", BS_OWNERDRAW, 160, 30, 40, 20, 0},
    {"__SWELL_BUTTON", 1, "Go", IDC_GO, 200, 90, 70, 20, 0},
    {"__SWELL_BUTTON", 0, "Cancel", IDCANCEL, 120, 90, 70, 20, 0},
};

void CreateControls(HWND view, int)
{
  SWELL_MakeSetCurParms(1, 1, 0, 0, view, false, false);
  SWELL_GenerateDialogFromList(kControls, (int)(sizeof kControls / sizeof kControls[0]));
}

SWELL_DialogResourceIndex gResource{(const char*)(intptr_t)4242, "Built dialog", SWELL_DLG_FLIPPED, CreateControls,
                                    290, 120, nullptr};

struct Seen
{
  std::vector<DRAWITEMSTRUCT> drawn;
  std::vector<std::pair<WPARAM, LPARAM>> commands;
};
Seen* gSeen = nullptr;

LRESULT DialogProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
{
  switch (msg)
  {
    case WM_INITDIALOG:
      SetDlgItemText(h, IDC_SECRET, "abc");
      SetDlgItemText(h, IDC_PLAIN_BULLETS, "\xe2\x80\xa2\xe2\x80\xa2\xe2\x80\xa2");
      SetDlgItemText(h, IDC_PLAIN_TEXT, "abc");
      return 0;  // the first field takes the focus: the keys go past it to the window
    case WM_DRAWITEM:
    {
      const DRAWITEMSTRUCT* d = (const DRAWITEMSTRUCT*)lp;
      gSeen->drawn.push_back(*d);
      HBRUSH b = CreateSolidBrush(0x10A030);  // red in the high byte here;
      RECT r = d->rcItem;
      SWELL_FillRect(d->hDC, &r, b);
      DeleteObject(b);
      return 1;
    }
    case WM_COMMAND:
      if (wp >> 16 == EN_CHANGE) return 0;  // the texts set at the start
      gSeen->commands.push_back({wp, lp});
      if ((wp & 0xFFFF) == IDC_GO || (wp & 0xFFFF) == IDCANCEL) EndDialog(h, (int)(wp & 0xFFFF));
      return 0;
  }
  return 0;
}

class BuiltDialogX11 : public X11SessionTest<>
{
protected:
  // Runs the dialog; once it shows, look gets its pixels, then the key is sent.
  int Run(const std::string& key, const std::function<void(HWND, const std::vector<uint32_t>&, int)>& look)
  {
    NSRunLoop* loop = NSRunLoop::currentRunLoop();
    const NSTimeInterval deadline = loop->now() + 20;
    bool sent = false;
    NSTimer* t = NSTimer::timerWithAction(
        0.02, nullptr,
        [&](NSTimer*) {
          NSWindow* w = NSApp->modalWindow();
          if (!w || sent) return;
          const HWND dlg = SWELL_HWND(w->contentView());
          if (loop->now() > deadline)
          {
            EndDialog(dlg, -2);  // the test fails below rather than hanging
            return;
          }
          const unsigned long xid = driver->findWindow("Built dialog");
          if (!xid || !driver->viewable(xid) || !w->displayCount()) return;
          driver->sync();
          int width = 0, height = 0;
          std::vector<uint32_t> px;
          // Until the window's drawing has reached the server.
          if (!driver->read(xid, &width, &height, &px) || width != 290 || px[(size_t)5 * width + 5] == 0) return;
          look(dlg, px, width);
          driver->key(xid, key);
          driver->sync();
          sent = true;
        },
        nullptr, true);
    loop->addTimer(t, NSRunLoopCommonModes);
    const int r = SWELL_DialogBox(&gResource, gResource.resid, nullptr, DialogProc, 0);
    t->invalidate();
    t->release();
    return r;
  }

  Seen seen;
  void SetUp() override
  {
    X11SessionTest::SetUp();
    gSeen = &seen;
  }
  void TearDown() override { gSeen = nullptr; }
};

// The pixels of a rectangle of the window, row by row.
std::vector<uint32_t> Cut(const std::vector<uint32_t>& px, int width, int x, int y, int w, int h)
{
  std::vector<uint32_t> out;
  for (int r = y; r < y + h; ++r)
    out.insert(out.end(), px.begin() + (long)r * width + x, px.begin() + (long)r * width + x + w);
  return out;
}

TEST_F(BuiltDialogX11, ShowsBulletsACentredTitleAndTheOwnersDrawingAndReturnPressesTheDefault)
{
  bool looked = false;
  HWND go = nullptr;
  const int r = Run("Return", [&](HWND dlg, const std::vector<uint32_t>& px, int width) {
    looked = true;
    go = GetDlgItem(dlg, IDC_GO);
    char buf[64];
    GetDlgItemText(dlg, IDC_SECRET, buf, sizeof buf);
    EXPECT_STREQ(buf, "abc");  // the program reads what was typed
    // The password field looks like its twin showing three bullets, not like
    // the one showing the text.
    const auto secret = Cut(px, width, 10, 10, 120, 16);
    EXPECT_EQ(secret, Cut(px, width, 10, 30, 120, 16));
    EXPECT_NE(secret, Cut(px, width, 10, 50, 120, 16));

    // The title's ink sits in the middle of the box's top edge.
    int left = width, right = -1;
    for (int y = 9; y < 9 + 14; ++y)
      for (int x = 152; x < 268; ++x)
        if ((px[(size_t)y * width + x] & 0xFF) < 0x60)
        {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    ASSERT_GE(right, left);
    EXPECT_NEAR((left + right) / 2.0, 150 + 60, 3);
    EXPECT_GT(left, 150 + 20);

    // The owner-drawn button is what the procedure painted, corner to corner.
    for (int y : {30, 49})
      for (int x : {160, 199}) EXPECT_EQ(px[(size_t)y * width + x], 0x10A030u) << x << "," << y;
    EXPECT_NE(px[(size_t)29 * width + 160], 0x10A030u);
  });
  EXPECT_TRUE(looked);
  EXPECT_EQ(r, IDC_GO);
  ASSERT_FALSE(seen.drawn.empty());
  // Kind, id, state, left, right and height of the button drawn.
  const DRAWITEMSTRUCT& d = seen.drawn.back();
  EXPECT_EQ((std::vector<long>{(long)d.CtlType, (long)d.CtlID, (long)d.itemState, d.rcItem.left, d.rcItem.right,
                               d.rcItem.bottom - d.rcItem.top}),
            (std::vector<long>{ODT_BUTTON, IDC_SWATCH, 0, 0, 40, 20}));
  EXPECT_EQ(seen.commands, (std::vector<std::pair<WPARAM, LPARAM>>{{IDC_GO, (LPARAM)go}}));
}

TEST_F(BuiltDialogX11, EscapeCancels)
{
  EXPECT_EQ(Run("Escape", [](HWND, const std::vector<uint32_t>&, int) {}), IDCANCEL);
  EXPECT_EQ(seen.commands, (std::vector<std::pair<WPARAM, LPARAM>>{{IDCANCEL, 0}}));
}

}  // namespace
