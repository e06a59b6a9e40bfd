// The console's logger thread: lines handed over from many threads come out whole
// and in each thread's order; with standard output a full pipe nobody reads every
// hand-over returns, the lines beyond the queue are dropped and counted, and the
// log says so once. Lines of every length come out whole, each write a run of
// whole lines a pipe takes at once; and the last lines of a process that ends are
// out before it has.
#include "ConsoleCapture.h"
#include "PollUntil.h"
#include "StdoutNobodyReads.h"
#include "base/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

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
// a pipe's atomic write, mixed, come out whole and in order; a write holds only
// whole lines and, unless it is one line longer than that, no more than a pipe
// takes at once (a line of another writer never lands inside one of ours).
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
  std::string want;
  // Past the queue's 8,192 slots, each taken again: the copies of the long lines
  // are let go of (the leak checker watches). Each round written before the next:
  // the queue's drops are not what is tested here.
  bool written = true;
  for (int k = 0; k < 480; ++k)
  {
    for (const size_t length : lengths)
    {
      const std::string line = NumberedLine(length, k);
      want += line;
      if (line.size() == 1)
        ConsoleLog("\n");
      else
        ConsoleLog("%s", line.c_str());
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
  size_t tooLong = 0, cut = 0;
  for (const std::string& w : writes)
  {
    got += w;
    if (w.empty() || w.back() != '\n') ++cut;
    if (w.size() > PIPE_BUF && w.find('\n') != w.size() - 1) ++tooLong;
  }
  EXPECT_EQ(cut, 0u) << "writes that end inside a line";
  EXPECT_EQ(tooLong, 0u) << "writes of several lines longer than a pipe takes at once";
  ASSERT_EQ(got.size(), want.size());
  size_t first = 0;
  while (first < got.size() && got[first] == want[first]) ++first;
  EXPECT_EQ(first, want.size()) << "the first byte that differs, in: " << want.substr(want.rfind('\n', first) + 1, 40);
}

// Run as a child by the test below: lines handed over right before the process
// ends.
TEST(ConsoleLogger, AProcessThatLogsAndEnds)
{
  if (!getenv("DAVREL_TEST_LOG_AND_END")) GTEST_SKIP() << "run by ConsoleLogger.TheLastLinesAreOutBeforeTheProcessEnds";
  fflush(stdout);
  // 2.4 MB: far more than a pipe holds, so the logger is still writing as the
  // process ends.
  for (int k = 0; k < 8000; ++k) ConsoleLog("%s", NumberedLine(300, k).c_str());
  // At once, as a host that quits does: what waits for the logger is the exit's.
  std::exit(0);
}

TEST(ConsoleLogger, TheLastLinesAreOutBeforeTheProcessEnds)
{
  int out[2];
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  // No leak check at its exit: it would give the logger thread time it does not
  // have in a host.
  std::vector<char*> envp;
  std::string flag = "DAVREL_TEST_LOG_AND_END=1", asan = "ASAN_OPTIONS=detect_leaks=0";
  envp.push_back(&flag[0]);
  envp.push_back(&asan[0]);
  for (char** e = environ; *e; ++e)
    if (strncmp(*e, "ASAN_OPTIONS=", 13) != 0) envp.push_back(*e);
  envp.push_back(nullptr);
  char self[] = "/proc/self/exe";
  char filter[] = "--gtest_filter=ConsoleLogger.AProcessThatLogsAndEnds";
  char* argv[] = {self, filter, nullptr};
  pid_t child = -1;
  ASSERT_EQ(posix_spawn(&child, self, &actions, nullptr, argv, envp.data()), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  // Read to the end, within a generous bound.
  std::string text;
  char buf[65536];
  bool ended = false;
  for (int idle = 0; idle < 300;)
  {
    pollfd p = {out[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0)
    {
      ++idle;
      continue;
    }
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0)
    {
      ended = true;
      break;
    }
    text.append(buf, (size_t)n);
  }
  close(out[0]);
  if (!ended) kill(child, SIGKILL);
  int status = -1;
  waitpid(child, &status, 0);
  ASSERT_TRUE(ended) << "the child's standard output stayed open";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
  int next = 0;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
  {
    int k = -1;
    if (sscanf(line.c_str(), "len 300 n %d ", &k) != 1) continue;
    ASSERT_EQ(line + "\n", NumberedLine(300, next)) << line;
    ++next;
  }
  EXPECT_EQ(next, 8000) << "lines of the child's that came out";
}
