// Timers of the window-system layer on the kit's run loop, driven by its virtual
// clock: a timer fires exactly when the test moves the clock.
#include "winsys/msgloop/timers.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/target.h"

#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Fire
{
  HWND hwnd;
  UINT msg;
  UINT_PTR id;
  std::thread::id thread;
};
std::vector<Fire> g_fires;
UINT_PTR g_killSelf = 0;

void record(HWND hwnd, UINT msg, UINT_PTR id, DWORD)
{
  g_fires.push_back(Fire{hwnd, msg, id, std::this_thread::get_id()});
}

void killSelf(HWND hwnd, UINT msg, UINT_PTR id, DWORD t)
{
  record(hwnd, msg, id, t);
  g_killSelf = KillTimer(hwnd, id) ? id : ~(UINT_PTR)0;
}

// A window view of the layer, as far as timers see one: it counts the WM_TIMER it
// is sent.
class TargetView : public NSView, public SWELL_WindowTarget
{
public:
  bool swellCanPostMessage() override { return true; }
  LRESULT onSwellMessage(UINT, WPARAM, LPARAM) override { return 0; }
  void SWELL_Timer(UINT_PTR id) override { record(SWELL_HandleOfObject(this), WM_TIMER, id, 0); }
};

HWND window(int n)
{
  static NSView* views[8] = {};
  if (!views[n]) views[n] = new TargetView;
  return SWELL_HandleOfObject(views[n]);
}

// A plain view of the kit, not a window view of the layer.
HWND plainView()
{
  static NSView* view = new NSView;
  return SWELL_HandleOfObject(view);
}

class Timers : public ::testing::Test
{
protected:
  void SetUp() override
  {
    NSApplication::sharedApplication();
    loop = NSRunLoop::currentRunLoop();
    loop->setVirtualClock(true);
    SWELL_Internal_PostMessage_Init();
    g_fires.clear();
    g_killSelf = 0;
  }
  void TearDown() override
  {
    KillTimer(window(1), SWELL_ALL_TIMERS);
    KillTimer(window(2), SWELL_ALL_TIMERS);
    loop->runOnce();
    loop->setVirtualClock(false);
  }
  int firesOf(UINT_PTR id)
  {
    int n = 0;
    for (const Fire& f : g_fires) n += f.id == id;
    return n;
  }
  NSRunLoop* loop = nullptr;
};

}  // namespace

TEST_F(Timers, WindowlessTimerFiresEveryIntervalWithItsOwnId)
{
  const UINT_PTR id = SetTimer(nullptr, 0, 100, record);
  ASSERT_NE(id, 0u);
  const UINT_PTR other = SetTimer(nullptr, 0, 100, record);
  EXPECT_NE(other, id) << "each window-less timer is new";
  EXPECT_TRUE(KillTimer(nullptr, other));
  loop->runFor(0.099);
  EXPECT_EQ(firesOf(id), 0);
  loop->runFor(0.002);
  EXPECT_EQ(firesOf(id), 1);
  loop->runFor(0.300);
  EXPECT_EQ(firesOf(id), 4);
  EXPECT_EQ(g_fires[0].msg, WM_TIMER);
  EXPECT_EQ(g_fires[0].hwnd, nullptr);
  EXPECT_TRUE(KillTimer(nullptr, id));
  EXPECT_FALSE(KillTimer(nullptr, id));
  loop->runFor(0.5);
  EXPECT_EQ(firesOf(id), 4);
}

TEST_F(Timers, ArgumentRulesReplacementAndKillingAll)
{
  struct Case
  {
    HWND hwnd;
    UINT_PTR id;
    TIMERPROC proc;
    UINT_PTR want;
  };
  const Case cases[] = {
      {nullptr, 0, nullptr, 0},      // neither window nor callback
      {window(1), 0, record, 0},     // a window needs an id
      {plainView(), 7, nullptr, 0},  // timers of a window need a window view...
      {plainView(), 7, record, 0},   // ...with a callback too
      {(HWND)(uintptr_t)0x7ff0, 7, record, 0},  // a handle of no window
      {window(1), 7, record, 7},
      {window(1), 7, record, 7},     // replaces, does not add
      {window(1), 8, record, 8},
      {window(2), 7, record, 7},
  };
  for (const Case& c : cases) EXPECT_EQ(SetTimer(c.hwnd, c.id, 50, c.proc), c.want);
  loop->runFor(0.051);
  ASSERT_EQ(g_fires.size(), 3u) << "window 1 has two timers, window 2 one";
  EXPECT_FALSE(KillTimer(nullptr, 0));
  EXPECT_FALSE(KillTimer(nullptr, SWELL_ALL_TIMERS));
  EXPECT_TRUE(KillTimer(window(1), SWELL_ALL_TIMERS));
  EXPECT_FALSE(KillTimer(window(1), 7));
  EXPECT_FALSE(KillTimer(window(1), SWELL_ALL_TIMERS));
  g_fires.clear();
  loop->runFor(0.05);
  ASSERT_EQ(g_fires.size(), 1u);
  EXPECT_EQ(g_fires[0].hwnd, window(2));
  EXPECT_TRUE(KillTimer(window(2), 7));
  EXPECT_FALSE(KillTimer(window(2), 7));
}

TEST_F(Timers, KillTimerInsideItsOwnCallbackStopsIt)
{
  const UINT_PTR id = SetTimer(nullptr, 0, 10, killSelf);
  loop->runFor(0.1);
  EXPECT_EQ(firesOf(id), 1);
  EXPECT_EQ(g_killSelf, id);
}

TEST_F(Timers, TimerSetFromAnotherThreadFiresOnTheMainRunLoop)
{
  UINT_PTR windowless = 0, withWindow = 0, killedEarly = 0;
  std::thread worker([&] {
    windowless = SetTimer(nullptr, 0, 20, record);
    withWindow = SetTimer(window(1), 5, 0xFFFFFFFF, record);
    // Re-setting the same window's timer updates the queued request in place.
    SetTimer(window(1), 5, 30, record);
    killedEarly = SetTimer(nullptr, 0, 20, record);
    EXPECT_TRUE(KillTimer(nullptr, killedEarly));
  });
  worker.join();
  EXPECT_NE(windowless, 0u);
  EXPECT_EQ(withWindow, 5u);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 3);
  EXPECT_TRUE(g_fires.empty()) << "nothing runs before the main thread turns";
  loop->runFor(0.061);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0);
  EXPECT_EQ(firesOf(windowless), 3);
  EXPECT_EQ(firesOf(5), 2);
  EXPECT_EQ(firesOf(killedEarly), 0);
  for (const Fire& f : g_fires) EXPECT_EQ(f.thread, std::this_thread::get_id());
  // Killing from another thread goes through the queue as well.
  std::thread killer([&] { EXPECT_TRUE(KillTimer(nullptr, windowless)); });
  killer.join();
  loop->runFor(0.1);
  EXPECT_EQ(firesOf(windowless), 3);
}

TEST_F(Timers, ClearingTheQueueDropsOnlyThatWindowsRequests)
{
  std::thread worker([&] {
    SetTimer(window(1), 1, 10, record);
    SetTimer(window(2), 2, 10, record);
    SetTimer(window(1), 3, 10, record);
  });
  worker.join();
  SWELL_Internal_PMQ_ClearAllMessages(window(1));
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 1);
  loop->runFor(0.011);
  EXPECT_EQ(firesOf(1) + firesOf(3), 0);
  EXPECT_EQ(firesOf(2), 1);
}

// A program that sets the switch itself lets only that window's timers fire; the
// others' turns are passed over until it is cleared.
TEST_F(Timers, OnlyTheChosenWindowsTimersFireWhileTheSwitchIsSet)
{
  ASSERT_EQ(SetTimer(window(1), 3, 50, record), 3u);
  ASSERT_EQ(SetTimer(window(2), 4, 50, record), 4u);
  g_swell_only_timerhwnd = window(2);
  loop->runFor(0.051);
  EXPECT_EQ(firesOf(3), 0);
  EXPECT_EQ(firesOf(4), 1);
  g_swell_only_timerhwnd = nullptr;
  loop->runFor(0.05);
  EXPECT_EQ(firesOf(3), 1);
  EXPECT_EQ(firesOf(4), 2);
  // The run-loop helper puts back what the program had set.
  g_swell_only_timerhwnd = window(1);
  SWELL_RunRunLoopEx(0, window(2));
  EXPECT_EQ(g_swell_only_timerhwnd, window(1));
  g_swell_only_timerhwnd = nullptr;
}

// A top-level window and its content view are one window: timers set through either
// handle belong to the content view (a callback is handed its handle) and are
// killed through either.
TEST_F(Timers, AWindowAndItsContentViewShareTheirTimers)
{
  NSWindow* w = new NSWindow(NSMakeRect(0, 0, 20, 20), NSTitledWindowMask, NSBackingStoreBuffered, false);
  TargetView* content = new TargetView;
  w->setContentView(content);
  content->release();
  const HWND top = SWELL_HandleOfObject(w), view = SWELL_HandleOfObject(content);
  ASSERT_EQ(SetTimer(top, 1, 10, record), 1u);
  ASSERT_EQ(SetTimer(top, 2, 10, nullptr), 2u);
  ASSERT_EQ(SetTimer(view, 3, 10, record), 3u);
  ASSERT_EQ(SetTimer(view, 1, 10, record), 1u) << "the same timer, set again through the view";
  loop->runFor(0.011);
  ASSERT_EQ(g_fires.size(), 3u) << "three timers, not four";
  for (const Fire& f : g_fires) EXPECT_EQ(f.hwnd, view);

  struct Step
  {
    HWND hwnd;
    UINT_PTR id;
    bool removed;
  };
  const Step steps[] = {
      {top, 3, true},    // set through the view, killed through the window
      {top, 3, false},
      {view, 2, true},   // and the other way round
      {top, 2, false},
      {top, SWELL_ALL_TIMERS, true},  // timer 1
      {view, SWELL_ALL_TIMERS, false},
  };
  for (const Step& s : steps) EXPECT_EQ(KillTimer(s.hwnd, s.id), s.removed) << s.id;
  g_fires.clear();
  loop->runFor(0.05);
  EXPECT_TRUE(g_fires.empty());

  // The run-loop switch names the window by either handle.
  ASSERT_EQ(SetTimer(top, 4, 10, record), 4u);
  ASSERT_EQ(SetTimer(window(1), 5, 10, record), 5u);
  g_swell_only_timerhwnd = top;
  loop->runFor(0.011);
  g_swell_only_timerhwnd = nullptr;
  EXPECT_EQ(firesOf(4), 1);
  EXPECT_EQ(firesOf(5), 0);
  EXPECT_TRUE(KillTimer(view, 4));
  w->close();
  w->release();
}

namespace {

// A window view whose answer to posting is read from its own memory, as a window
// view's destroy state is.
class PostTarget : public NSView, public SWELL_WindowTarget
{
public:
  bool swellCanPostMessage() override { return open; }
  LRESULT onSwellMessage(UINT msg, WPARAM, LPARAM) override
  {
    if (msg == 0x400) ++delivered;
    return 0;
  }
  void SWELL_Timer(UINT_PTR) override {}
  bool open = true;
  static int delivered;
};
int PostTarget::delivered = 0;

}  // namespace

// A worker posts to windows the main thread closes and frees meanwhile: the post
// never touches a window it may be freed under (the sanitizer build catches any
// such read), and only open windows get messages.
TEST_F(Timers, PostsFromAnotherThreadRaceWindowsBeingFreed)
{
  PostTarget::delivered = 0;
  std::atomic<uintptr_t> current{0};
  std::atomic<bool> stop{false};
  std::atomic<int> accepted{0};
  std::thread poster([&] {
    while (!stop)
      if (const uintptr_t h = current.load())
        accepted += PostMessage((HWND)h, 0x400, 0, 0);
  });
  int closedAccepted = 0;
  for (int i = 0; i < 2000; ++i)
  {
    PostTarget* v = new PostTarget;
    const HWND h = SWELL_HandleOfObject(v);
    current = (uintptr_t)h;
    for (int k = 0; k < 50 && accepted.load() == 0; ++k) std::this_thread::yield();
    if (i % 2)
    {
      // Closed as a destroyed window is: what it was sent goes, and it takes no more.
      v->open = false;
      SWELL_Internal_PMQ_ClearAllMessages(h);
      closedAccepted += PostMessage(h, 0x400, 0, 0);
    }
    v->release();
    if (i % 64 == 0) loop->runOnce();
  }
  stop = true;
  poster.join();
  loop->runOnce();
  EXPECT_EQ(closedAccepted, 0);
  EXPECT_GT(accepted.load(), 0);
  EXPECT_LE(PostTarget::delivered, accepted.load());
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0);

  // What another thread posted to a window that takes no posts, or to an object
  // that is no window view, is dropped on the main thread.
  PostTarget* closed = new PostTarget;
  closed->open = false;
  PostTarget::delivered = 0;
  const HWND targets[] = {SWELL_HandleOfObject(closed), plainView(), window(1)};
  std::thread([&] {
    for (HWND h : targets) PostMessage(h, 0x400, 0, 0);
    EXPECT_FALSE(PostMessage((HWND)(uintptr_t)0x7ff0, 0x400, 0, 0)) << "a handle of no window";
  }).join();
  loop->runOnce();
  EXPECT_EQ(PostTarget::delivered, 0);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0);
  closed->release();
}
