#include "winsys/kernel.h"
#include "winsys/kernel_handles.h"
#include "winsys_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <pthread.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using namespace winsys_test;

TEST(Sleep, SleepsAtLeastTheScaledTime)
{
  struct Case { double scale; int ms; double minRealMs; };
  const Case cases[] = {
    {1.0, 0, 0.1},  // a short yield, never zero
    {1.0, -5, 0.1},
    {1.0, 1, 1},
    {1.0, 20, 20},
    {2.0, 10, 20},
    {0.001, 10000, 10},
    {1e-6, 3000000, 3},    // ms * 1000 no longer fits an int
    {1e-6, 50000000, 50},  // ms * 1000000 no longer fits 32 bits
  };
  for (const Case& c : cases)
  {
    ScaleGuard scale(c.scale);
    const Clock::time_point t0 = Clock::now();
    Sleep(c.ms);
    const double ms = msSince(t0);
    EXPECT_GE(ms, c.minRealMs * 0.999) << c.scale << " " << c.ms;
    EXPECT_LT(ms, c.minRealMs + 5000) << c.scale << " " << c.ms;
  }
}

TEST(Sleep, SignalsDoNotShortenIt)
{
  struct sigaction sa = {}, old = {};
  sa.sa_handler = [](int) {};
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: every signal interrupts the sleep
  ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);

  std::atomic<bool> started{false}, finished{false};
  double sleptMs = 0;
  std::thread sleeper([&] {
    started = true;
    const Clock::time_point t0 = Clock::now();
    Sleep(200);
    sleptMs = msSince(t0);
    finished = true;
  });
  ASSERT_TRUE(pollUntil([&] { return started.load(); }));
  int sent = 0;
  const Clock::time_point t0 = Clock::now();
  while (!finished && msSince(t0) < 10000)
  {
    pthread_kill(sleeper.native_handle(), SIGUSR1);
    ++sent;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // paces the signals
  }
  sleeper.join();
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_GT(sent, 5);
  EXPECT_GE(sleptMs, 200 * 0.999);
}

TEST(GetTickCount, TwoCallsTenMillisecondsApartDifferByAtLeastTen)
{
  const DWORD t1 = GetTickCount();
  Sleep(10);
  const DWORD t2 = GetTickCount();
  EXPECT_GE(DWORD(t2 - t1), 10u);
  EXPECT_LT(DWORD(t2 - t1), 10000u);
}

TEST(GetTickCount, WrapsFromAllOnesToZero)
{
  ScaleGuard scale(0.01);  // 100 ticks a real millisecond
  SWELL_SetTickCount(0xFFFFFF00u);
  DWORD prev = GetTickCount();
  EXPECT_GE(prev, 0xFFFFFF00u);
  bool wrapped = false;
  const Clock::time_point t0 = Clock::now();
  while (!wrapped && msSince(t0) < 10000)
  {
    const DWORD t = GetTickCount();
    ASSERT_LT(DWORD(t - prev), 0x80000000u) << "went backwards from " << prev << " to " << t;
    if (t < prev)
    {
      wrapped = true;
      EXPECT_LT(t, 0x10000u);
    }
    prev = t;
  }
  EXPECT_TRUE(wrapped);
}

TEST(TimeScale, RefusesValuesOutsideItsRange)
{
  struct Case { double scale; bool accepted; };
  const Case cases[] = {
    {0.0, false},
    {-1.0, false},
    {std::numeric_limits<double>::quiet_NaN(), false},
    {std::numeric_limits<double>::infinity(), false},
    {1e-7, false},
    {2e6, false},
    {1e-6, true},
    {1e6, true},
    {0.5, true},
  };
  for (const Case& c : cases)
  {
    ASSERT_TRUE(SWELL_SetTimeScale(1.0));
    EXPECT_EQ(SWELL_SetTimeScale(c.scale), c.accepted) << c.scale;
    EXPECT_EQ(SWELL_GetTimeScale(), c.accepted ? c.scale : 1.0) << c.scale;
  }
  SWELL_SetTimeScale(1.0);
}

TEST(TimeScale, ParsesEnvironmentValues)
{
  struct Case { const char* text; double scale; };
  const Case cases[] = {
    {"0.001", 0.001}, {"1e-3", 0.001}, {"2", 2.0}, {"1000000", 1e6}, {"0.000001", 1e-6},
    {nullptr, 0}, {"", 0}, {"0", 0}, {"-1", 0}, {"abc", 0}, {"0.5x", 0}, {" ", 0},
    {"inf", 0}, {"nan", 0}, {"1e-7", 0}, {"1e300", 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(swell_kernel::parseTimeScale(c.text), c.scale) << (c.text ? c.text : "(null)");
}

TEST(TimeScale, SmallScaleShortensSleepsAndSpeedsTheTickCount)
{
  ScaleGuard scale(0.001);
  const Clock::time_point t0 = Clock::now();
  const DWORD t1 = GetTickCount();
  Sleep(5000);
  const DWORD t2 = GetTickCount();
  EXPECT_GE(DWORD(t2 - t1), 5000u);
  EXPECT_LT(msSince(t0), 4000);
}

TEST(TimeScale, ChangingTheScaleDoesNotMoveTheTickCount)
{
  SWELL_SetTickCount(5000);
  const DWORD t1 = GetTickCount();
  {
    ScaleGuard slow(1000);  // a tick a real second
    const DWORD t2 = GetTickCount();
    EXPECT_LT(DWORD(t2 - t1), 1000u);
    EXPECT_TRUE(SWELL_SetTimeScale(0.5));
    const DWORD t3 = GetTickCount();
    EXPECT_LT(DWORD(t3 - t2), 1000u);
  }
  EXPECT_LT(DWORD(GetTickCount() - t1), 1000u);
}

TEST(TimeScale, ReadersSeeMonotoneCountsWhileTheScaleChanges)
{
  std::atomic<bool> stop{false};
  std::atomic<int> backwards{0};
  std::atomic<long> reads{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i)
    readers.emplace_back([&] {
      DWORD prev = GetTickCount();
      while (!stop)
      {
        const DWORD t = GetTickCount();
        if (DWORD(t - prev) >= 0x80000000u) ++backwards;
        prev = t;
        ++reads;
      }
    });
  const double scales[] = {0.001, 1.0, 1000.0, 0.01, 3.0};
  const Clock::time_point t0 = Clock::now();
  for (int round = 0; round < 20000 || (reads < 300000 && msSince(t0) < 5000); ++round)
    SWELL_SetTimeScale(scales[round % 5]);
  stop = true;
  for (std::thread& t : readers) t.join();
  SWELL_SetTimeScale(1.0);
  EXPECT_EQ(backwards.load(), 0);
}

// Run in a child process by the test below, with the environment it sets.
TEST(TimeScaleChild, ReportsTheScaleSetAtStart)
{
  const char* want = getenv("WINSYS_EXPECT_SCALE");
  if (!want) GTEST_SKIP() << "runs as a child of TimeScale.EnvironmentSetsTheScaleAtStart";  // not listed in CTest
  EXPECT_EQ(SWELL_GetTimeScale(), strtod(want, nullptr));
}

TEST(TimeScale, EnvironmentSetsTheScaleAtStart)
{
  struct Case { const char* env; const char* expect; };
  const Case cases[] = {{"0.25", "0.25"}, {"1e-3", "0.001"}, {"fast", "1"}, {"0", "1"}};
  for (const Case& c : cases)
  {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
    {
      const std::string var(*e);
      if (var.rfind("DAVREL_TIME_SCALE=", 0) != 0 && var.rfind("GTEST_", 0) != 0) env.push_back(var);
    }
    env.push_back(std::string("DAVREL_TIME_SCALE=") + c.env);
    env.push_back(std::string("WINSYS_EXPECT_SCALE=") + c.expect);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(&s[0]);
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe", filter = "--gtest_filter=TimeScaleChild.*";
    char* argv[] = {&self[0], &filter[0], nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.env;
  }
}
