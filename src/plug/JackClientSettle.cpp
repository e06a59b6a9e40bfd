#include "plug/JackClientSettle.h"

#include "plug/JackServerEpoch.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Far more than a notification thread needs to take in one arrival or departure,
// even on a loaded machine or under a thread checker's slow-down.
const std::chrono::milliseconds kSettle(30);

long long steadyNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Constant-initialised and never destroyed: usable by objects that end after the
// closer below (a static of a test program, say).
std::atomic<long long> gLastChangeNs{0};
// Held by a closing while it runs and by an opening.
std::mutex gChanging;
// Set once the closer has ended: closings then run on their caller's thread.
std::atomic<bool> gCloserEnded{false};

// Runs close once the last change is kSettle past, holding gChanging while it runs.
void SettleAndClose(const std::function<void()>& close)
{
  for (;;)
  {
    std::unique_lock<std::mutex> changing(gChanging);
    const long long due = gLastChangeNs.load() + std::chrono::nanoseconds(kSettle).count();
    const long long now = steadyNs();
    if (now >= due)
    {
      close();
      gLastChangeNs.store(steadyNs());
      return;
    }
    // An opening may come meanwhile: it moves the due time.
    changing.unlock();
    std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
  }
}

class Closer
{
public:
  ~Closer()
  {
    std::thread thread;
    {
      std::lock_guard<std::mutex> l(mLock);
      mQuit = true;
      std::swap(thread, mThread);
    }
    mWake.notify_all();
    // What is still queued is closed before the thread ends: a client left open
    // at exit is one the server keeps for a while, and its threads would run on.
    if (thread.joinable()) thread.join();
    gCloserEnded.store(true);
  }

  void Hand(std::function<void()> close)
  {
    std::unique_lock<std::mutex> l(mLock);
    if (mQuit)
    {
      // The process is ending: the thread may have drained its queue already.
      l.unlock();
      SettleAndClose(close);
      return;
    }
    mQueue.push_back(std::move(close));
    ++mHanded;
    if (!mThread.joinable()) mThread = std::thread([this] { Run(); });
    mWake.notify_all();
  }

  void WaitForAll()
  {
    std::unique_lock<std::mutex> l(mLock);
    if (mThread.get_id() == std::this_thread::get_id()) return;
    const unsigned long long target = mHanded;
    mDoneWake.wait(l, [&] { return mDone >= target; });
  }

private:
  void Run()
  {
    std::unique_lock<std::mutex> l(mLock);
    for (;;)
    {
      mWake.wait(l, [this] { return mQuit || !mQueue.empty(); });
      if (mQueue.empty()) return;
      std::function<void()> close = std::move(mQueue.front());
      mQueue.pop_front();
      l.unlock();
      SettleAndClose(close);
      close = nullptr;
      l.lock();
      ++mDone;
      mDoneWake.notify_all();
    }
  }

  std::mutex mLock;
  std::condition_variable mWake, mDoneWake;
  std::deque<std::function<void()>> mQueue;
  unsigned long long mHanded = 0, mDone = 0;
  bool mQuit = false;
  std::thread mThread;
};

// Made at the first closing; destroyed (and joined) at exit or when the library
// is unloaded.
Closer& TheCloser()
{
  static Closer closer;
  return closer;
}

} // namespace

void NoteJackClientChange() { gLastChangeNs.store(steadyNs()); }

JackClientOpening::JackClientOpening()
{
  // No call into an open client runs while the library may free it (JackServerEpoch.h).
  BeginJackClientOpening();
  gChanging.lock();
}

JackClientOpening::~JackClientOpening()
{
  gLastChangeNs.store(steadyNs());
  gChanging.unlock();
  EndJackClientOpening();
}

void CloseJackClientApart(std::function<void()> close)
{
  if (!close) return;
  if (gCloserEnded.load())
  {
    SettleAndClose(close);
    return;
  }
  TheCloser().Hand(std::move(close));
}

void WaitForJackClientClosings()
{
  if (gCloserEnded.load()) return;
  TheCloser().WaitForAll();
}
