#include "plug/JackClientSettle.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

// Far more than a notification thread needs to take in one arrival or departure,
// even on a loaded machine or under a thread checker's slow-down.
const std::chrono::milliseconds kSettle(30);

std::atomic<long long>& lastChangeNs()
{
  static std::atomic<long long> at{0};
  return at;
}

long long steadyNs()
{
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

void NoteJackClientChange() { lastChangeNs().store(steadyNs()); }

void CloseJackClientApart(const std::function<void()>& close)
{
  static std::mutex closing;
  std::lock_guard<std::mutex> lock(closing);
  const long long due = lastChangeNs().load() + std::chrono::nanoseconds(kSettle).count();
  const long long now = steadyNs();
  if (now < due) std::this_thread::sleep_for(std::chrono::nanoseconds(due - now));
  close();
  NoteJackClientChange();
}
