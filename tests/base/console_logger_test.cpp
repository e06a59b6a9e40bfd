// The console's logger thread: lines handed over from many threads come out whole
// and in each thread's order; with standard output a full pipe nobody reads every
// hand-over returns, the lines beyond the queue are dropped and counted, and the
// log says so once. Lines of every length come out whole, a pipe's atomic write at
// most each write; a process's last lines are out before it ends.
#include "ConsoleCapture.h"
#include "PollUntil.h"
#include "StdoutNobodyReads.h"
#include "base/log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Line k of the given length, its newline included: its length and number first.
std::string NumberedLine(size_t length, int k)
{
  std::string line = "len " + std::to_string(length) + " n " + std::to_string(k) + " ";
  for (size_t i = 0; line.size() + 1 < length; ++i) line += (char)('a' + (k + i) % 26);
  line.resize(length - 1);
  return line + "\n";
}

} // namespace

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

// Standard output a packet socket, so that each of the logger's writes is seen as
// one: lines of every length about its own copy's size, the formatting's buffer and
// a pipe's atomic write come out whole and in order; a write holds only whole lines
// and, unless it is one longer line, no more than a pipe takes at once.
TEST(ConsoleLogger, LinesOfEveryLengthComeOutWholeEachWriteWholeLinesAPipeTakesAtOnce)
{
  const size_t lengths[] = {1, 2, 50, 103, 104, 105, 106, 120, 200, 511, 512, 513, 600, 4000, 4095, 4096, 4097, 9000};
  ConsoleLogWritten(30000, 30000);
  fflush(stdout);
  int sv[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv), 0);
  std::vector<std::string> writes;
  std::thread reader([&] {
    std::vector<char> buf(1 << 16);
    for (ssize_t n; (n = recv(sv[1], buf.data(), buf.size(), 0)) > 0;) writes.emplace_back(buf.data(), (size_t)n);
  });
  const int saved = dup(STDOUT_FILENO);
  dup2(sv[0], STDOUT_FILENO);
  // Past the queue's 8,192 slots, so the long lines' copies are let go of (the leak
  // checker watches); each round written before the next, as drops are not tested.
  std::string want;
  bool written = true;
  for (int k = 0; k < 480; ++k)
  {
    for (const size_t length : lengths)
    {
      want += NumberedLine(length, k);
      ConsoleLog("%s", NumberedLine(length, k).c_str());
    }
    written = ConsoleLogWritten(30000, 30000) && written;
  }
  dup2(saved, STDOUT_FILENO);
  close(saved);
  close(sv[0]);
  reader.join();
  close(sv[1]);
  ASSERT_TRUE(written);
  std::string got;
  size_t bad = 0;  // writes that end inside a line, or of several lines past a pipe's atomic write
  for (const std::string& w : writes)
  {
    got += w;
    bad += w.empty() || w.back() != '\n' || (w.size() > PIPE_BUF && w.find('\n') != w.size() - 1);
  }
  EXPECT_EQ(bad, 0u);
  const auto diff = std::mismatch(want.begin(), want.end(), got.begin(), got.end());
  EXPECT_TRUE(diff.first == want.end() && diff.second == got.end()) << "differs at byte " << diff.first - want.begin();
}

// Run as a child by the test below: 2.4 MB logged, far more than a pipe holds, and
// the process ended at once, as a host that quits does, so its logger is still
// writing as it ends. The exit promises every line handed over while the console
// takes them, through pauses of its reader shorter than 1 s.
TEST(ConsoleLogger, AProcessThatLogsAndEnds)
{
  if (!getenv("DAVREL_TEST_LOG_AND_END")) GTEST_SKIP() << "run by ConsoleLogger.TheLastLinesAreOutBeforeTheProcessEnds";
  // Made first, so that they are handed over faster than a pipe takes them.
  std::vector<std::string> lines;
  for (int k = 0; k < 8000; ++k) lines.push_back(NumberedLine(300, k));
  fflush(stdout);
  for (const std::string& line : lines) ConsoleLog("%s", line.c_str());
  std::exit(0);
}

TEST(ConsoleLogger, TheLastLinesAreOutBeforeTheProcessEnds)
{
  char self[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
  // No leak check at the child's exit: it would give the logger time it does not
  // have in a host. The bound ends a child that hangs.
  const std::string command = "DAVREL_TEST_LOG_AND_END=1 ASAN_OPTIONS=detect_leaks=0 timeout 120 '" + std::string(self) +
                              "' --gtest_filter=ConsoleLogger.AProcessThatLogsAndEnds";
  FILE* child = popen(command.c_str(), "r");
  ASSERT_NE(child, nullptr);
  std::string text, want;
  char buf[65536];
  // The reader pauses once, as a loaded machine's does, well inside the exit's
  // bound for a console that stands still (1 s): every line still comes out.
  bool paused = false;
  for (size_t n; (n = fread(buf, 1, sizeof buf, child)) > 0;)
  {
    text.append(buf, n);
    if (!paused && text.size() > 1000000)
    {
      paused = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }
  const int status = pclose(child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  for (int k = 0; k < 8000; ++k) want += NumberedLine(300, k);
  const size_t at = text.find(want.substr(0, 300));
  ASSERT_NE(at, std::string::npos) << text.substr(0, 2000);
  EXPECT_EQ(text.compare(at, std::string::npos, want), 0) << text.size() - at << " bytes of " << want.size() << " came out";
}
