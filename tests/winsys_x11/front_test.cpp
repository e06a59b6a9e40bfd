// Bringing another program's window to the front: a child process shows a window
// on the test's X server, and SWELL_MakeProcessFront on its process handle gives
// that window the keyboard focus.

#include "PollUntil.h"
#include "X11Session.h"

#include "platform/appkit/NSRunLoop.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/Presenter.h"
#include "platform/appkit/testing/X11TestDriver.h"
#include "winsys/kernel.h"
#include "winsys/msgloop/runloop_misc.h"

#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

const char* const kHelperTitle = "front helper";

// Run in a child process by the test below: shows a window on the display it is
// given until the window is closed (at most 30 s).
TEST(FrontHelper, ShowsAWindowUntilItIsClosed)
{
  const char* display = getenv("WINSYS_FRONT_DISPLAY");
  if (!display) GTEST_SKIP() << "runs as a child of MakeProcessFront.FocusesTheWindowOfTheProcess";  // not listed in CTest
  std::string problem;
  std::unique_ptr<NSPresenter> x = AKMakeX11Presenter(display, &problem);
  ASSERT_TRUE(x) << problem;
  NSApplication::setPresenter(std::move(x));
  NSApplication::sharedApplication();
  NSWindow* w = new NSWindow(NSMakeRect(400, 300, 120, 80), NSTitledWindowMask, NSBackingStoreBuffered, false);
  w->setTitle(kHelperTitle);
  w->makeKeyAndOrderFront(nullptr);
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  loop->runUntil([&] { return w->isClosed(); }, loop->now() + 30.0);
  EXPECT_TRUE(w->isClosed());
  if (!w->isClosed()) w->close();
  w->release();
  NSApplication::shutdown();
}

class MakeProcessFront : public X11SessionTest<>
{
};

TEST_F(MakeProcessFront, FocusesTheWindowOfTheProcess)
{
  setenv("WINSYS_FRONT_DISPLAY", X11Session::server()->display().c_str(), 1);
  const char* argv[] = {"--gtest_filter=FrontHelper.*"};
  HANDLE child = SWELL_CreateProcess("/proc/self/exe", 1, argv);
  unsetenv("WINSYS_FRONT_DISPLAY");
  ASSERT_NE(child, nullptr);
  NSRunLoop* loop = NSRunLoop::currentRunLoop();
  unsigned long xid = 0;
  EXPECT_TRUE(pollUntil([&] { return (xid = driver->findWindow(kHelperTitle)) && driver->viewable(xid); }, 20000));
  if (xid)
  {
    // The window of our own process has the focus first.
    NSWindow* mine = new NSWindow(NSMakeRect(60, 300, 100, 80), NSTitledWindowMask, NSBackingStoreBuffered, false);
    mine->setTitle("front test");
    mine->makeKeyAndOrderFront(nullptr);
    const unsigned long myXid = AKX11WindowOf(mine);
    EXPECT_TRUE(loop->runUntil([&] { return driver->viewable(myXid); }, loop->now() + 10.0));
    ASSERT_TRUE(SWELL_DisableAppNap(1));  // held off while the front is asked for
    driver->focus(myXid);
    ASSERT_EQ(driver->inputFocus(), myXid);

    SWELL_MakeProcessFront(child);
    // A window manager is asked, and gives it when it gets to it.
    EXPECT_TRUE(pollUntil([&] { return driver->inputFocus() == xid; }, 10000)) << driver->inputFocus();
    // Handles of other kinds and null are passed over.
    SWELL_MakeProcessFront(nullptr);
    mine->close();
    mine->release();
    EXPECT_FALSE(SWELL_DisableAppNap(-1));
    driver->requestClose(xid);
  }
  EXPECT_EQ(WaitForSingleObject(child, 20000), 0u) << "the helper ends when its window is closed";
  CloseHandle(child);
}

}  // namespace
