#pragma once
// The simulated synthesizer in-process: what the host sends goes to the model, and
// the model's answers come back on a thread of their own, as the MIDI input thread
// would deliver them, after their (scaled) delays. An answer without a delay is
// there before the send returns: a job's scaled waits then never race a thread
// that a loaded machine has not run yet.

#include "FakeHost.h"
#include "SynthModel.h"

#include <chrono>
#include <deque>
#include <thread>

class SimWire
{
public:
  SimWire(FakeHost& host, SynthModel& model) : mHost(host), mModel(model)
  {
    mThread = std::thread([this] { Run(); });
    host.wire = [this](const Bytes& m) { Take(m); };
  }
  ~SimWire()
  {
    mHost.wire = nullptr;
    {
      std::lock_guard<std::mutex> l(mLock);
      mStop = true;
    }
    mCv.notify_all();
    mThread.join();
  }
  // The editor's teardown stops its input first: nothing more is delivered.
  void StopInput()
  {
    std::unique_lock<std::mutex> l(mLock);
    mInputStopped = true;
    mQueue.clear();
    mCv.wait(l, [&] { return !mDelivering; });
  }
  // A message from the synthesizer's front panel.
  void FromSynth(const Bytes& m)
  {
    std::lock_guard<std::mutex> l(mLock);
    mQueue.push_back({Clock::now(), m});
    mCv.notify_all();
  }

private:
  typedef std::chrono::steady_clock Clock;
  void Take(const Bytes& m)
  {
    std::vector<SimAnswer> answers = mModel.Handle(m);
    std::vector<Bytes> now;
    {
      std::lock_guard<std::mutex> l(mLock);
      if (mInputStopped) return;
      for (SimAnswer& a : answers)
      {
        // In order: behind one still queued, an answer waits its turn.
        if (a.delayMs <= 0 && mQueue.empty() && !mDelivering)
          now.push_back(a.bytes);
        else
          mQueue.push_back(
              {Clock::now() + std::chrono::microseconds((long long)(a.delayMs * 1000 * SWELL_GetTimeScale())), a.bytes});
      }
      mDelivering = mDelivering || !now.empty();
      mCv.notify_all();
    }
    if (now.empty()) return;
    for (const Bytes& b : now) mHost.FromHardware(b);
    std::lock_guard<std::mutex> l(mLock);
    mDelivering = false;
    mCv.notify_all();
  }
  void Run()
  {
    std::unique_lock<std::mutex> l(mLock);
    while (!mStop)
    {
      // A send's own delivery (Take) goes first.
      if (mQueue.empty() || mDelivering)
      {
        mCv.wait(l);
        continue;
      }
      if (mQueue.front().first > Clock::now())
      {
        mCv.wait_until(l, mQueue.front().first);
        continue;
      }
      Bytes m = mQueue.front().second;
      mQueue.pop_front();
      mDelivering = true;
      l.unlock();
      mHost.FromHardware(m);
      l.lock();
      mDelivering = false;
      mCv.notify_all();
    }
  }
  FakeHost& mHost;
  SynthModel& mModel;
  std::mutex mLock;
  std::condition_variable mCv;
  std::deque<std::pair<Clock::time_point, Bytes>> mQueue;
  bool mStop = false, mInputStopped = false, mDelivering = false;
  std::thread mThread;
};
