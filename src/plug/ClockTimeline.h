#pragma once
// The timing clock's ticks, taken period by period at the times they fall due:
// the JACK bridge's output callback asks for those of each period and writes each
// at its frame, so a tick keeps its time whatever thread of the host wakes late.
//
// The first tick goes at once and fixes the timeline (tick k falls due k intervals
// after it), so a late tick delays no later one. Ticks missed in a stall (of the
// server, or a period that could not take them) follow at half an interval, never
// two at once; one more than a quarter note late starts the timeline again from
// where it is placed. Plain arithmetic on nanoseconds: no wait, allocation or call.

#include <cstdint>

class ClockTimeline
{
public:
  // Tick 0 falls due at firstNs, then one every intervalNs (> 0).
  void Start(int64_t firstNs, int64_t intervalNs)
  {
    mAnchor = firstNs;
    mInterval = intervalNs > 0 ? intervalNs : 1;
    mK = 0;
    mFirst = true;
  }

  // The ticks due before endNs, in order, at most max of them, each as the time it
  // goes at: its due time, or beginNs (the period's start) for one already late,
  // and never less than half an interval after the one before. How many.
  int Take(int64_t beginNs, int64_t endNs, int64_t* at, int max)
  {
    int n = 0;
    while (n < max)
    {
      const int64_t due = mAnchor + mK * mInterval;
      int64_t t = due;
      if (!mFirst && t < mLast + mInterval / 2) t = mLast + mInterval / 2;
      if (t < beginNs) t = beginNs;
      if (t >= endNs) break;
      at[n++] = t;
      mLast = t;
      if (mFirst || t - due > 24 * mInterval)
      {
        mAnchor = t;
        mK = 0;
        mFirst = false;
      }
      ++mK;
    }
    return n;
  }

private:
  int64_t mAnchor = 0, mInterval = 1, mK = 0, mLast = 0;
  bool mFirst = true;
};
