#pragma once
// The main run loop, its timers and clock, and the one posted queue by which other
// threads hand work to the main thread.
//
// A turn of the loop: posted work, due timers of the mode, events (the
// application's queue, then the presenter's), display of the windows that need
// it, then the turn's autorelease pool is drained. Nothing sleeps on a timer: a
// waiting loop asks the presenter to wait for the next event or the next due time.
//
// The clock is the monotonic clock, or a virtual clock that only moves when a test
// advances it (runFor), so a 40 ms timer fires exactly when the test says so.

#include "platform/appkit/Foundation.h"

#include <functional>
#include <vector>

typedef const char* NSRunLoopMode;
extern const NSRunLoopMode NSDefaultRunLoopMode;
extern const NSRunLoopMode NSEventTrackingRunLoopMode;
extern const NSRunLoopMode NSModalPanelRunLoopMode;
// Not a mode to run in: a timer added for it fires in each of the three above.
extern const NSRunLoopMode NSRunLoopCommonModes;
extern const NSRunLoopMode kCFRunLoopCommonModes;

class NSTimer : public NSObject
{
public:
  typedef std::function<void(NSTimer*)> Action;

  // A timer not yet in a run loop. The target is retained until the timer is
  // invalidated, as the platform does.
  template <class T>
  static NSTimer* timerWithTimeInterval(NSTimeInterval interval, T* target, void (T::*selector)(NSTimer*),
                                        NSObject* userInfo, bool repeats)
  {
    return make(interval, target, [target, selector](NSTimer* t) { (target->*selector)(t); }, userInfo, repeats);
  }
  // The same, added to the current run loop in the default mode.
  template <class T>
  static NSTimer* scheduledTimerWithTimeInterval(NSTimeInterval interval, T* target, void (T::*selector)(NSTimer*),
                                                 NSObject* userInfo, bool repeats);
  // With a plain action; target may be null.
  static NSTimer* timerWithAction(NSTimeInterval interval, NSObject* target, Action action, NSObject* userInfo,
                                  bool repeats);

  // Stops the timer for good: it leaves its run loop and releases its target.
  void invalidate();
  bool isValid() const { return mValid; }
  NSTimeInterval timeInterval() const { return mInterval; }
  NSTimeInterval fireDate() const { return mFireDate; }
  NSObject* userInfo() const { return mUserInfo; }
  // Fires it now (a repeating timer keeps its schedule).
  void fire();

protected:
  ~NSTimer() override;

private:
  friend class NSRunLoop;
  static NSTimer* make(NSTimeInterval interval, NSObject* target, Action action, NSObject* userInfo, bool repeats);
  NSTimer() = default;

  NSTimeInterval mInterval = 0;
  NSTimeInterval mFireDate = 0;
  bool mRepeats = false;
  bool mValid = true;
  Action mAction;
  NSObject* mTarget = nullptr;
  NSObject* mUserInfo = nullptr;
  unsigned mModes = 0;  // bit set of the modes it fires in, once added
};

class NSRunLoop : public NSObject
{
public:
  // The loop of the main thread (the only one there is).
  static NSRunLoop* currentRunLoop();
  static NSRunLoop* mainRunLoop() { return currentRunLoop(); }

  // Retains the timer; it first fires one interval after it was made.
  void addTimer(NSTimer* timer, NSRunLoopMode mode);

  // One turn in the mode; waits for something to happen until the date (the
  // clock's time) when nothing did. True when anything was handled.
  bool runMode(NSRunLoopMode mode, NSTimeInterval beforeDate);
  // Turns in the default mode until the date.
  void runUntilDate(NSTimeInterval date);
  // One turn without waiting.
  bool runOnce(NSRunLoopMode mode = NSDefaultRunLoopMode);
  // Turns until the predicate holds or the clock passes the date; true when it held.
  bool runUntil(const std::function<bool()>& done, NSTimeInterval date, NSRunLoopMode mode = NSDefaultRunLoopMode);
  NSRunLoopMode currentMode() const { return mCurrentMode; }

  // ---- the clock ----
  NSTimeInterval now() const;
  // The virtual clock starts at the current time and moves only by runFor.
  void setVirtualClock(bool on);
  bool usesVirtualClock() const { return mVirtual; }
  // Virtual clock: moves the time forward in steps to each timer due before
  // now + seconds, turning the loop at each, then to now + seconds. Real clock:
  // runs the loop for that long.
  void runFor(NSTimeInterval seconds, NSRunLoopMode mode = NSDefaultRunLoopMode);
  // The due time of the next timer firing in the mode, or a very large number.
  NSTimeInterval nextTimerDate(NSRunLoopMode mode = NSDefaultRunLoopMode) const;
  // Timers fired so far (all modes).
  long timersFired() const { return mTimersFired; }

  // ---- the posted queue ----
  // Any thread: the work runs on the main thread at the start of a turn.
  static void postToMainThread(std::function<void()> work);
  // Main thread: runs the work posted so far; true when there was any.
  bool drainPosted();

protected:
  ~NSRunLoop() override;

private:
  friend class NSTimer;
  NSRunLoop() = default;
  bool fireTimers(NSRunLoopMode mode);
  void dropInvalidTimers();

  std::vector<NSTimer*> mTimers;
  NSRunLoopMode mCurrentMode = NSDefaultRunLoopMode;
  bool mVirtual = false;
  NSTimeInterval mVirtualNow = 0;
  long mTimersFired = 0;
  int mDepth = 0;
};

template <class T>
NSTimer* NSTimer::scheduledTimerWithTimeInterval(NSTimeInterval interval, T* target, void (T::*selector)(NSTimer*),
                                                 NSObject* userInfo, bool repeats)
{
  NSTimer* t = timerWithTimeInterval(interval, target, selector, userInfo, repeats);
  NSRunLoop::currentRunLoop()->addTimer(t, NSDefaultRunLoopMode);
  t->autorelease();
  return t;
}

// performSelector:withObject:afterDelay: as a one-shot timer in the default mode
// that keeps the object alive until it fires.
void AKPerformAfterDelay(NSObject* object, std::function<void()> work, NSTimeInterval delay);
// The kit belongs to the thread that made the application: a call of the kit's
// main entries (running the loop, making windows, posting events) from another
// thread prints what did it and aborts, rather than racing.
void AKAssertMainThread(const char* what);
// True on the kit's main thread (the first thread that used the kit's main entries
// becomes it, as with AKAssertMainThread); any thread.
bool AKIsMainThread();
// The monotonic clock in seconds (clock_gettime(CLOCK_MONOTONIC)).
NSTimeInterval AKMonotonicSeconds();
