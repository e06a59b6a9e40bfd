#pragma once
// Helpers shared by the window-system layer's kernel tests.

#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace winsys_test {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point t0)
{
  return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Sets the time scale for one test and puts it back to 1.
class ScaleGuard
{
public:
  explicit ScaleGuard(double scale) { EXPECT_TRUE(SWELL_SetTimeScale(scale)); }
  ~ScaleGuard() { SWELL_SetTimeScale(1.0); }
  ScaleGuard(const ScaleGuard&) = delete;
  ScaleGuard& operator=(const ScaleGuard&) = delete;
};

// Polls until pred holds, for at most boundMs real milliseconds.
inline bool pollUntil(const std::function<bool()>& pred, double boundMs = 10000)
{
  const Clock::time_point t0 = Clock::now();
  while (!pred())
  {
    if (msSince(t0) > boundMs) return false;
    std::this_thread::yield();
  }
  return true;
}

}  // namespace winsys_test
