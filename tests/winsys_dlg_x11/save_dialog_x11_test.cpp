// The bank-name dialog under a real X server: it opens as a window of its own,
// keys sent by another X client reach its name field, and a click on OK ends the
// modal run with the typed name.

#include "editor/savedlg/PatchSaveDialog.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "winsys/wnd/dialog.h"
#include "winsys/wnd/wnd.h"

#include <memory>

#include "X11Session.h"

#include <gtest/gtest.h>

namespace {


using SaveDialogX11 = X11SessionTest<>;

TEST_F(SaveDialogX11, TypedNameReachesTheFieldAndOkReturnsIt)
{
  const std::string typed = "dawn pads";
  enum
  {
    kWaitForWindow,
    kTyped,
    kClicked
  } step = kWaitForWindow;
  std::string fieldSeen;
  bool sawViewable = false;
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  const NSTimeInterval deadline = loop->now() + 20;
  unsigned long xid = 0;
  // Drives the dialog from inside its modal run, a step per tick.
  NSTimer* t = NSTimer::timerWithAction(
      0.02, nullptr,
      [&](NSTimer*) {
        NSWindow* w = NSApp->modalWindow();
        if (!w) return;
        const HWND dlg = SWELL_HWND(w->contentView());
        if (loop->now() > deadline)
        {
          EndDialog(dlg, IDCANCEL);  // the test fails below rather than hanging
          return;
        }
        if (step == kWaitForWindow)
        {
          xid = driver->findWindow("Enter Bank Name");
          if (!xid || !driver->viewable(xid) || !w->displayCount()) return;
          sawViewable = true;
          for (char c : typed) driver->key(xid, c == ' ' ? "space" : std::string(1, c));
          driver->sync();
          step = kTyped;
        }
        else if (step == kTyped)
        {
          char buf[256];
          GetDlgItemText(dlg, IDC_BANKNAME, buf, sizeof buf);
          fieldSeen = buf;
          if (fieldSeen != typed) return;
          // The OK button at (180, 108, 90, 25) of the dialog's flipped view.
          driver->click(xid, 180 + 45, 108 + 12);
          driver->sync();
          step = kClicked;
        }
      },
      nullptr, true);
  loop->addTimer(t, NSRunLoopCommonModes);
  const std::string name = PromptForBankName(nullptr, "");
  t->invalidate();
  t->release();
  EXPECT_TRUE(sawViewable);
  EXPECT_EQ(fieldSeen, typed);
  EXPECT_EQ(name, typed);
  EXPECT_EQ(NSApp->modalWindow(), nullptr);
  loop->runOnce();
  EXPECT_EQ(driver->findWindow("Enter Bank Name"), 0u);
}

}  // namespace
