// Timers of the window-system layer on the kit's run loop, driven by its virtual
// clock: a timer fires exactly when the test moves the clock.
#include "winsys/msgloop/timers.h"
#include "winsys/msgloop/app_delegate.h"
#include "winsys/msgloop/hwnd_table.h"
#include "winsys/msgloop/target.h"

#include "platform/appkit/NSView.h"
#include "platform/appkit/NSWindow.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSRunLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
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
  // A posted message is recorded as its number and wParam.
  LRESULT onSwellMessage(UINT msg, WPARAM wParam, LPARAM) override
  {
    record(SWELL_HandleOfObject(this), msg, wParam, 0);
    return 0;
  }
  void SWELL_Timer(UINT_PTR id) override { record(SWELL_HandleOfObject(this), WM_TIMER, id, 0); }
};

// As a program that hosts the layer sets posting up.
void installPostDelegate()
{
  static SWELL_PostMessageDelegate* delegate = new SWELL_PostMessageDelegate;
  NSApp->setDelegate(delegate);
  SWELL_Internal_PostMessage_Init();
}

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
    installPostDelegate();
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
  // Runs the loop until the delegate's tick has emptied the queue. The tick lives
  // for the process: its next time may lie as far ahead as earlier tests moved the
  // virtual clock, which starts again at the real time in each test.
  void flushByTick()
  {
    EXPECT_TRUE(loop->runUntil([] { return SWELL_Internal_PMQ_QueuedCount() == 0; }, loop->now() + 60));
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
    // Killing every timer of a window is done at once; setting it is no request.
    EXPECT_FALSE(KillTimer(window(2), SWELL_ALL_TIMERS));
    EXPECT_EQ(SetTimer(window(2), SWELL_ALL_TIMERS, 20, record), 0u);
  });
  worker.join();
  EXPECT_NE(windowless, 0u);
  EXPECT_EQ(withWindow, 5u);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 3);
  loop->runOnce();
  EXPECT_TRUE(g_fires.empty()) << "nothing runs before the main thread turns";
  flushByTick();
  loop->runFor(0.061);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0);
  EXPECT_EQ(firesOf(windowless), 3);
  EXPECT_EQ(firesOf(5), 2);
  EXPECT_EQ(firesOf(killedEarly), 0);
  for (const Fire& f : g_fires) EXPECT_EQ(f.thread, std::this_thread::get_id());
  // Killing from another thread goes through the queue as well.
  std::thread killer([&] { EXPECT_TRUE(KillTimer(nullptr, windowless)); });
  killer.join();
  flushByTick();
  const int atKill = firesOf(windowless);
  loop->runFor(0.1);
  EXPECT_EQ(firesOf(windowless), atKill);
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
  flushByTick();
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
    // The poster may keep the queue from emptying: the bound ends the run then.
    if (i % 64 == 0) loop->runUntil([] { return SWELL_Internal_PMQ_QueuedCount() == 0; }, loop->now() + 0.1);
  }
  stop = true;
  poster.join();
  flushByTick();
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
  flushByTick();
  EXPECT_EQ(PostTarget::delivered, 0);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0);
  closed->release();
}

namespace {

// An application's delegate that answers only the calls it is told to, and
// records what it was asked.
class RecordingDelegate : public NSApplicationDelegate
{
public:
  bool respondsToSelector(SEL call) const override
  {
    for (const char* name : answers)
      if (call == SEL(name)) return true;
    return false;
  }
  bool swellPostMessage(HWND__* dest, unsigned msg, uintptr_t wp, intptr_t lp) override
  {
    posts.push_back(Fire{dest, msg, wp + (uintptr_t)lp, std::this_thread::get_id()});
    return answer;
  }
  void swellPostMessageClearQ(HWND__* h) override { cleared.push_back(h); }

  std::vector<const char*> answers;
  bool answer = false;
  std::vector<Fire> posts;
  std::vector<HWND> cleared;
};

}  // namespace

// PostMessage and the queue's clear are the delegate's: its answer, or false and
// nothing when there is none or it does not answer the call.
TEST_F(Timers, PostMessageAndClearGoThroughTheApplicationsDelegate)
{
  const HWND h = window(1);
  // Something waits in the layer's queue, which only the layer's delegate clears.
  ASSERT_TRUE(PostMessage(h, 0x401, 1, 0));
  struct Case
  {
    std::vector<const char*> answers;  // empty with noDelegate: none installed
    bool noDelegate;
    bool answer;
    bool wantPost, wantRecorded, wantCleared;
  };
  const Case cases[] = {
      {{}, true, true, false, false, false},
      {{}, false, true, false, false, false},
      {{"swellPostMessageTick:"}, false, true, false, false, false},
      {{"swellPostMessage:msg:wp:lp:"}, false, false, false, true, false},
      {{"swellPostMessage:msg:wp:lp:"}, false, true, true, true, false},
      {{"swellPostMessageClearQ:"}, false, true, false, false, true},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(c.answers.empty() ? (c.noDelegate ? "none" : "answers nothing") : c.answers[0]);
    RecordingDelegate* d = new RecordingDelegate;
    d->answers = c.answers;
    d->answer = c.answer;
    NSApp->setDelegate(c.noDelegate ? nullptr : d);
    bool posted = false;
    // Asked on the thread that posts.
    std::thread([&] { posted = PostMessage(h, 0x400, 3, 4); }).join();
    SWELL_MessageQueue_Clear(h);
    EXPECT_EQ(posted, c.wantPost);
    ASSERT_EQ(d->posts.size(), c.wantRecorded ? 1u : 0u);
    if (c.wantRecorded)
    {
      EXPECT_EQ(d->posts[0].hwnd, h);
      EXPECT_EQ(d->posts[0].msg, 0x400u);
      EXPECT_EQ(d->posts[0].id, 7u);
      EXPECT_NE(d->posts[0].thread, std::this_thread::get_id());
    }
    EXPECT_EQ(d->cleared, c.wantCleared ? std::vector<HWND>{h} : std::vector<HWND>{});
    EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 1) << "the layer's queue is not touched";
    installPostDelegate();
    d->release();
  }
  // The layer's own delegate: the clear empties the queue, and a post from another
  // thread is delivered on the main thread at the next tick.
  SWELL_MessageQueue_Clear(h);
  EXPECT_EQ(SWELL_Internal_PMQ_QueuedCount(), 0);
  std::thread([&] { EXPECT_TRUE(PostMessage(h, 0x402, 9, 0)); }).join();
  flushByTick();
  ASSERT_EQ(g_fires.size(), 1u);
  EXPECT_EQ(g_fires[0].hwnd, h);
  EXPECT_EQ(g_fires[0].msg, 0x402u);
  EXPECT_EQ(g_fires[0].id, 9u);
  EXPECT_EQ(g_fires[0].thread, std::this_thread::get_id());
}

namespace {
// What is wrong without the queue: 0 when nothing is.
int wrongWithoutTheQueue()
{
  NSApplication::sharedApplication();
  SWELL_Internal_PostMessage_Init();
  const HWND h = window(1);
  int wrong = 0;
  wrong += PostMessage(h, 0x400, 0, 0);
  // A delegate without the tick sets up no queue either.
  RecordingDelegate* noTick = new RecordingDelegate;
  noTick->answers = {"swellPostMessage:msg:wp:lp:", "swellPostMessageClearQ:"};
  NSApp->setDelegate(noTick);
  SWELL_Internal_PostMessage_Init();
  wrong += SWELL_Internal_PostMessage(h, 0x400, 0, 0);
  std::thread([&] {
    wrong += SetTimer(h, 5, 10, record) != 0;
    wrong += SetTimer(nullptr, 0, 10, record) != 0;
    wrong += KillTimer(h, 5);
    wrong += SWELL_Internal_PostMessage(h, 0x400, 0, 0);
  }).join();
  wrong += SWELL_Internal_PMQ_QueuedCount() != 0;
  wrong += SetTimer(h, 5, 10, record) != 5;
  NSRunLoop::currentRunLoop()->setVirtualClock(true);
  NSRunLoop::currentRunLoop()->runFor(0.011);
  wrong += g_fires.size() != 1;
  // Another thread kills it at once (once); the kit's stop comes later, unfired.
  std::thread([&] { wrong += !(KillTimer(h, 5) && !KillTimer(h, 5)); }).join();
  NSRunLoop::currentRunLoop()->runFor(0.05);
  wrong += g_fires.size() != 1;
  // A kill while its callback runs answers only once the callback has ended.
  static std::atomic<int> phase{0};
  const UINT_PTR slow = SetTimer(nullptr, 0, 10, [](HWND, UINT, UINT_PTR, DWORD) {
    for (phase = 1; phase == 1;) std::this_thread::yield();
    for (int i = 0; i < 20000; ++i) std::this_thread::yield();
    phase = 3;
  });
  std::thread killer([&] {
    while (phase != 1) std::this_thread::yield();
    phase = 2;
    wrong += !(KillTimer(nullptr, slow) && phase == 3);
  });
  NSRunLoop::currentRunLoop()->runFor(0.011);
  killer.join();
  // Two timers due in one turn: the first to fire has another thread kill the other,
  // which then never fires, not even in the turn that already found it due.
  static UINT_PTR pair[2];
  static int pairFired[2];
  const TIMERPROC killTheOther = [](HWND, UINT, UINT_PTR id, DWORD) {
    const int me = id == pair[1];
    if (pairFired[0] + pairFired[1] == 0) std::thread([me] { KillTimer(nullptr, pair[1 - me]); }).join();
    ++pairFired[me];
  };
  pair[0] = SetTimer(nullptr, 0, 10, killTheOther);
  pair[1] = SetTimer(nullptr, 0, 10, killTheOther);
  NSRunLoop::currentRunLoop()->runFor(0.055);
  wrong += pairFired[0] && pairFired[1];
  wrong += pairFired[0] + pairFired[1] != 5;
  return wrong;
}
}  // namespace

// A plug-in's host installs no delegate: the queue never starts, so posts and
// SetTimer from other threads fail (nothing would make the request on the main
// thread), while KillTimer from another thread removes the timer at once; the main
// thread's timers work as ever. In a fresh process, as the queue is set up once per
// process.
TEST(TimersWithoutDelegate, OtherThreadsCannotSetTimersWithoutTheQueueButKillThemAtOnce)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(wrongWithoutTheQueue()), ::testing::ExitedWithCode(0), "");
}
