#pragma once
// Bounded polling for what another thread does: true once done() holds, false when
// boundMs of real time pass first.

#include <chrono>
#include <functional>
#include <thread>

inline bool pollUntil(const std::function<bool()>& done, int boundMs)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
  while (!done())
  {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
