// The console's logger thread: lines handed over from many threads come out whole
// and in each thread's order; with standard output a full pipe nobody reads every
// hand-over returns, the lines beyond the queue are dropped and counted, and the
// log says so once.
#include "ConsoleCapture.h"
#include "PollUntil.h"
#include "StdoutNobodyReads.h"
#include "base/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

TEST(ConsoleLogger, LinesFromManyThreadsComeOutWholeInEachThreadsOrder)
{
  const int kThreads = 4, kLines = 400;
  CaptureConsole();
  const unsigned long long droppedBefore = ConsoleLogCounts().dropped;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int n = 0; n < kLines; ++n)
      {
        ConsoleLog("thread %d line %d of %d\n", t, n, kLines);
        // Paced: the queue is not what is tested here.
        if (n % 64 == 0) ConsoleLogWritten(10000, 10000);
      }
    });
  for (std::thread& t : threads) t.join();
  const std::string out = CapturedConsole();
  ASSERT_EQ(ConsoleLogCounts().dropped, droppedBefore) << "a capture to a file keeps up";
  std::vector<int> next(kThreads, 0);
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line))
  {
    int t = -1, n = -1, of = -1;
    ASSERT_EQ(sscanf(line.c_str(), "thread %d line %d of %d", &t, &n, &of), 3) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads && of == kLines) << line;
    ASSERT_EQ(n, next[(size_t)t]) << line;
    ++next[(size_t)t];
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[(size_t)t], kLines);
}

TEST(ConsoleLogger, AConsoleNobodyReadsStopsNoCallerAndTheDropsAreSaidOnce)
{
  CaptureConsole();
  const unsigned long long droppedBefore = ConsoleLogCounts().dropped;
  // Checked once the capture ends: gtest writes its failures to standard output.
  bool allReturned = true;
  unsigned long long dropped[2] = {0, 0};
  for (int round = 0; round < 2; ++round)
  {
    StdoutNobodyReads blocked;
    std::atomic<bool> done{false};
    std::thread caller([&] {
      for (int n = 0; n < 12000; ++n) ConsoleLog("round %d line %d\n", round, n);
      done.store(true);
    });
    const bool returned = pollUntil([&] { return done.load(); }, 20000);
    // Whatever waits in a write goes on before the thread is joined.
    blocked.Release();
    caller.join();
    // Out before the next round takes standard output again.
    ConsoleLogWritten(30000, 30000);
    allReturned = allReturned && returned;
    dropped[round] = ConsoleLogCounts().dropped - droppedBefore;
  }
  const std::string out = CapturedConsole();
  ASSERT_TRUE(allReturned) << "a hand-over waited for the console";
  // The queue holds 8,192 lines and the logger one write's worth more.
  EXPECT_GE(dropped[0], 12000u - 8192u - 300u);
  EXPECT_GE(dropped[1], 2 * (12000u - 8192u - 300u));
  const std::string said = "console: ";
  EXPECT_NE(out.find(said), std::string::npos) << "the drops are said";
  EXPECT_EQ(out.find(said), out.rfind(said)) << "and said once";
}
