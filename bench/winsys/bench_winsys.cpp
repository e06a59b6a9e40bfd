// The kernel services on the MIDI senders' path: the tick count they stamp
// messages with, and an event handed between two threads.

#include "winsys/kernel.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

static void BM_GetTickCount(benchmark::State& state)
{
  for (auto _ : state) benchmark::DoNotOptimize(GetTickCount());
}
BENCHMARK(BM_GetTickCount)->ThreadRange(1, 4);

// One thread sets, the other waits: a full hand-over and back.
static void BM_EventPingPong(benchmark::State& state)
{
  HANDLE (*make)(void*, BOOL, BOOL, const char*) = state.range(0) ? CreateEventAsSocket : CreateEvent;
  HANDLE ping = make(nullptr, FALSE, FALSE, nullptr), pong = make(nullptr, FALSE, FALSE, nullptr);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    while (WaitForSingleObject(ping, INFINITE) == WAIT_OBJECT_0 && !stop) SetEvent(pong);
  });
  for (auto _ : state)
  {
    SetEvent(ping);
    WaitForSingleObject(pong, INFINITE);
  }
  stop = true;
  SetEvent(ping);
  echo.join();
  CloseHandle(ping);
  CloseHandle(pong);
  state.SetLabel(state.range(0) ? "socket event" : "event");
}
BENCHMARK(BM_EventPingPong)->Arg(0)->Arg(1)->UseRealTime();

BENCHMARK_MAIN();
