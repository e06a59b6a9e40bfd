#include "platform/appkit/NSRunLoop.h"

#include "platform/appkit/Presenter.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#include <deque>
#include <mutex>

const NSRunLoopMode NSDefaultRunLoopMode = "kCFRunLoopDefaultMode";
const NSRunLoopMode NSEventTrackingRunLoopMode = "NSEventTrackingRunLoopMode";
const NSRunLoopMode NSModalPanelRunLoopMode = "NSModalPanelRunLoopMode";
const NSRunLoopMode NSRunLoopCommonModes = "kCFRunLoopCommonModes";
const NSRunLoopMode kCFRunLoopCommonModes = NSRunLoopCommonModes;

void AKDrainStrayAutoreleased();

namespace {

unsigned modeBits(NSRunLoopMode mode)
{
  if (!mode) return 0;
  if (strcmp(mode, NSRunLoopCommonModes) == 0) return 7;
  if (strcmp(mode, NSDefaultRunLoopMode) == 0) return 1;
  if (strcmp(mode, NSEventTrackingRunLoopMode) == 0) return 2;
  if (strcmp(mode, NSModalPanelRunLoopMode) == 0) return 4;
  return 0;
}

std::mutex& postedLock()
{
  static std::mutex* m = new std::mutex;
  return *m;
}

std::deque<std::function<void()>>& postedQueue()
{
  static std::deque<std::function<void()>>* q = new std::deque<std::function<void()>>;
  return *q;
}

NSRunLoop* gMainLoop = nullptr;

}  // namespace

namespace {
std::atomic<bool> gHasMain{false};
std::thread::id gMainThread;
}  // namespace

void AKAssertMainThread(const char* what)
{
  if (!gHasMain.load(std::memory_order_acquire))
  {
    gMainThread = std::this_thread::get_id();
    gHasMain.store(true, std::memory_order_release);
    return;
  }
  if (std::this_thread::get_id() == gMainThread) return;
  fprintf(stderr, "appkit: %s called off the main thread\n", what);
  abort();
}

bool AKIsMainThread()
{
  if (!gHasMain.load(std::memory_order_acquire)) AKAssertMainThread("AKIsMainThread");
  return std::this_thread::get_id() == gMainThread;
}

NSTimeInterval AKMonotonicSeconds()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// ---- NSTimer ----

NSTimer* NSTimer::make(NSTimeInterval interval, NSObject* target, Action action, NSObject* userInfo, bool repeats)
{
  NSTimer* t = new NSTimer;
  // The platform's least interval.
  t->mInterval = interval > 0.0001 ? interval : 0.0001;
  t->mFireDate = NSRunLoop::currentRunLoop()->now() + t->mInterval;
  t->mRepeats = repeats;
  t->mAction = std::move(action);
  t->mTarget = AKRetain(target);
  t->mUserInfo = AKRetain(userInfo);
  return t;
}

NSTimer* NSTimer::timerWithAction(NSTimeInterval interval, NSObject* target, Action action, NSObject* userInfo,
                                  bool repeats)
{
  return make(interval, target, std::move(action), userInfo, repeats);
}

NSTimer::~NSTimer()
{
  AKRelease(mTarget);
  AKRelease(mUserInfo);
}

void NSTimer::invalidate()
{
  if (!mValid) return;
  mValid = false;
  retain();
  mAction = nullptr;
  AKRelease(mTarget);
  AKRelease(mUserInfo);
  if (mModes && gMainLoop) gMainLoop->dropInvalidTimers();
  release();
}

void NSTimer::fire()
{
  if (!mValid || !mAction) return;
  retain();
  Action action = mAction;  // the action may invalidate the timer
  action(this);
  if (!mRepeats) invalidate();
  release();
}

// ---- NSRunLoop ----

NSRunLoop* NSRunLoop::currentRunLoop()
{
  // Made once and kept for the process.
  if (!gMainLoop) gMainLoop = new NSRunLoop;
  return gMainLoop;
}

NSRunLoop::~NSRunLoop()
{
  for (NSTimer* t : mTimers) t->release();
}

NSTimeInterval NSRunLoop::now() const { return mVirtual ? mVirtualNow : AKMonotonicSeconds(); }

void NSRunLoop::setVirtualClock(bool on)
{
  if (on && !mVirtual) mVirtualNow = AKMonotonicSeconds();
  mVirtual = on;
}

void NSRunLoop::addTimer(NSTimer* timer, NSRunLoopMode mode)
{
  if (!timer || !timer->mValid) return;
  const unsigned bits = modeBits(mode);
  if (!bits) return;
  if (!timer->mModes)
  {
    timer->retain();
    mTimers.push_back(timer);
  }
  timer->mModes |= bits;
}

void NSRunLoop::dropInvalidTimers()
{
  std::vector<NSTimer*> dropped;
  auto it = std::remove_if(mTimers.begin(), mTimers.end(), [&](NSTimer* t) {
    if (t->mValid) return false;
    dropped.push_back(t);
    return true;
  });
  mTimers.erase(it, mTimers.end());
  for (NSTimer* t : dropped) t->release();
}

NSTimeInterval NSRunLoop::nextTimerDate(NSRunLoopMode mode) const
{
  const unsigned bits = modeBits(mode);
  NSTimeInterval next = 1e300;
  for (NSTimer* t : mTimers)
    if (t->mValid && (t->mModes & bits) && t->mFireDate < next) next = t->mFireDate;
  return next;
}

bool NSRunLoop::fireTimers(NSRunLoopMode mode)
{
  const unsigned bits = modeBits(mode);
  const NSTimeInterval t0 = now();
  std::vector<NSTimer*> due;
  for (NSTimer* t : mTimers)
    if (t->mValid && (t->mModes & bits) && t->mFireDate <= t0) due.push_back(AKRetain(t));
  std::stable_sort(due.begin(), due.end(), [](NSTimer* a, NSTimer* b) { return a->mFireDate < b->mFireDate; });
  for (NSTimer* t : due)
  {
    if (t->mValid)
    {
      if (t->mRepeats)
      {
        // A late timer fires once and keeps its schedule.
        while (t->mFireDate <= t0) t->mFireDate += t->mInterval;
      }
      ++mTimersFired;
      t->fire();
    }
    t->release();
  }
  return !due.empty();
}

bool NSRunLoop::drainPosted()
{
  std::deque<std::function<void()>> work;
  {
    std::lock_guard<std::mutex> lock(postedLock());
    work.swap(postedQueue());
  }
  for (auto& w : work) w();
  return !work.empty();
}

void NSRunLoop::postToMainThread(std::function<void()> work)
{
  {
    std::lock_guard<std::mutex> lock(postedLock());
    postedQueue().push_back(std::move(work));
  }
  // The presenter's wake is safe from any thread.
  if (NSApplication::exists())
    if (NSPresenter* p = NSApp->presenter()) p->wake();
}

bool NSRunLoop::runOnce(NSRunLoopMode mode) { return runMode(mode, 0); }

bool NSRunLoop::runMode(NSRunLoopMode mode, NSTimeInterval beforeDate)
{
  AKAssertMainThread("NSRunLoop::runMode");
  AKDrainStrayAutoreleased();
  NSAutoreleasePool pool;
  const NSRunLoopMode previous = mCurrentMode;
  mCurrentMode = mode;
  ++mDepth;

  auto turn = [&]() {
    bool did = drainPosted();
    did |= fireTimers(mode);
    if (NSApplication::exists())
    {
      if (NSPresenter* p = NSApp->presenter()) did |= p->pollEvents();
      did |= NSApp->dispatchQueuedEvents();
      // Display whatever the turn made dirty.
      std::vector<NSWindow*> windows = NSApp->windows();
      for (NSWindow* w : windows) w->retain();
      for (NSWindow* w : windows)
      {
        if (w->needsDisplay() && w->isVisible()) w->displayIfNeeded();
        w->release();
      }
    }
    return did;
  };

  bool did = turn();
  if (!did && !mVirtual && NSApplication::exists())
  {
    const NSTimeInterval wakeAt = std::min(beforeDate, nextTimerDate(mode));
    const NSTimeInterval wait = wakeAt - now();
    if (wait > 0)
    {
      if (NSPresenter* p = NSApp->presenter()) p->waitForEvents(wait);
      did = turn();
    }
  }
  --mDepth;
  mCurrentMode = previous;
  return did;
}

void NSRunLoop::runUntilDate(NSTimeInterval date)
{
  if (mVirtual)
  {
    runFor(date - now());
    return;
  }
  while (now() < date) runMode(NSDefaultRunLoopMode, date);
}

bool NSRunLoop::runUntil(const std::function<bool()>& done, NSTimeInterval date, NSRunLoopMode mode)
{
  while (!done())
  {
    if (now() >= date) return done();
    if (mVirtual)
    {
      const NSTimeInterval next = std::min(nextTimerDate(mode), date);
      if (!runOnce(mode)) mVirtualNow = std::max(mVirtualNow, next);
    }
    else
      runMode(mode, date);
  }
  return true;
}

void NSRunLoop::runFor(NSTimeInterval seconds, NSRunLoopMode mode)
{
  if (!mVirtual)
  {
    const NSTimeInterval end = now() + seconds;
    while (now() < end) runMode(mode, end);
    return;
  }
  const NSTimeInterval end = mVirtualNow + (seconds > 0 ? seconds : 0);
  runOnce(mode);
  for (;;)
  {
    const NSTimeInterval next = nextTimerDate(mode);
    if (next > end) break;
    if (next > mVirtualNow) mVirtualNow = next;
    runOnce(mode);
  }
  mVirtualNow = end;
  runOnce(mode);
}

void AKPerformAfterDelay(NSObject* object, std::function<void()> work, NSTimeInterval delay)
{
  NSTimer* t = NSTimer::timerWithAction(delay, object, [work](NSTimer*) { work(); }, nullptr, false);
  // The interval of a delayed perform may be 0: it runs on the next turn.
  NSRunLoop::currentRunLoop()->addTimer(t, NSDefaultRunLoopMode);
  t->release();
}
