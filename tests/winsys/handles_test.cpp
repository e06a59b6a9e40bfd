#include "winsys/kernel.h"
#include "winsys/kernel_handles.h"
#include "winsys_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace winsys_test;
using swell_kernel::liveHandleCount;

namespace {

struct EventMaker
{
  const char* name;
  HANDLE (*make)(void*, BOOL, BOOL, const char*);
};
const EventMaker kEventMakers[] = {{"event", CreateEvent}, {"socket event", CreateEventAsSocket}};

// Runs a script on a new event: S sets, R resets, W waits with ms 0 and notes
// '0' (signalled) or 'T' (time-out).
std::string runEventScript(const EventMaker& m, bool manual, bool initial, const char* script)
{
  HANDLE h = m.make(nullptr, manual, initial, nullptr);
  if (!h) return "no handle";
  std::string waits;
  for (const char* op = script; *op; ++op)
  {
    if (*op == 'S') { EXPECT_TRUE(SetEvent(h)); }
    if (*op == 'R') { EXPECT_TRUE(ResetEvent(h)); }
    if (*op == 'W')
    {
      const DWORD r = WaitForSingleObject(h, 0);
      waits += r == WAIT_OBJECT_0 ? '0' : r == WAIT_TIMEOUT ? 'T' : '?';
    }
  }
  EXPECT_TRUE(CloseHandle(h));
  return waits;
}

// A thread procedure that waits for a gate event before it returns.
DWORD gatedProc(LPVOID gate)
{
  WaitForSingleObject(static_cast<HANDLE>(gate), INFINITE);
  return 7;
}

}  // namespace

TEST(Events, SetResetAndWaitFollowTheResetMode)
{
  struct Case { bool manual, initial; const char* script; const char* waits; };
  const Case cases[] = {
    {false, false, "SWWW", "0TT"},  // auto reset: one set, one wait
    {false, false, "SSWW", "0T"},   // sets do not add up
    {false, true, "WW", "0T"},
    {false, false, "SWSW", "00"},
    {false, false, "SRW", "T"},
    {true, false, "SWWWRW", "000T"},  // manual reset: every wait until reset
    {true, true, "WWRWW", "00TT"},
    {true, false, "RW", "T"},
    {true, false, "SSRSW", "0"},
  };
  for (const EventMaker& m : kEventMakers)
    for (const Case& c : cases)
      EXPECT_EQ(runEventScript(m, c.manual, c.initial, c.script), c.waits)
          << m.name << " manual=" << c.manual << " initial=" << c.initial << " " << c.script;
}

TEST(Events, SetWakesAThreadWaitingWithoutLimit)
{
  for (const EventMaker& m : kEventMakers)
  {
    HANDLE h = m.make(nullptr, FALSE, FALSE, nullptr);
    std::atomic<DWORD> r{12345};
    std::thread waiter([&] { r = WaitForSingleObject(h, INFINITE); });
    EXPECT_TRUE(SetEvent(h));
    waiter.join();
    EXPECT_EQ(r.load(), WAIT_OBJECT_0) << m.name;
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT) << m.name;  // taken by the waiter
    CloseHandle(h);
  }
}

TEST(Events, AutoResetReleasesOneWaiterASet)
{
  for (const EventMaker& m : kEventMakers)
  {
    HANDLE h = m.make(nullptr, FALSE, FALSE, nullptr);
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
      waiters.emplace_back([&] {
        if (WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0) ++released;
      });
    for (int i = 1; i <= 4; ++i)
    {
      // Sets do not add up, so the next comes once this one was taken.
      EXPECT_TRUE(SetEvent(h));
      ASSERT_TRUE(pollUntil([&] { return released.load() >= i; })) << m.name << " set " << i;
      EXPECT_EQ(released.load(), i) << m.name;
    }
    for (std::thread& t : waiters) t.join();
    EXPECT_EQ(released.load(), 4);
    CloseHandle(h);
  }
}

TEST(Events, WaitTimesOutAfterTheScaledTimeAcrossTheTickWrap)
{
  for (const EventMaker& m : kEventMakers)
  {
    ScaleGuard scale(0.1);
    SWELL_SetTickCount(0xFFFFFFFFu - 50);
    HANDLE h = m.make(nullptr, TRUE, FALSE, nullptr);
    const Clock::time_point t0 = Clock::now();
    const DWORD tick0 = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(h, 300), WAIT_TIMEOUT) << m.name;
    EXPECT_GE(DWORD(GetTickCount() - tick0), 300u) << m.name;
    EXPECT_GE(msSince(t0), 30 * 0.999) << m.name;
    CloseHandle(h);
  }
}

// Wake-ups that find nothing signalled (here forced every half millisecond)
// must not restart the time-out.
TEST(Waits, WakeUpsWithoutASignalDoNotExtendTheDeadline)
{
  HANDLE gate = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  struct Target { const char* name; HANDLE h; pthread_mutex_t* mutex; pthread_cond_t* cond; };
  HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, gatedProc, gate, 0, nullptr);
  auto* ev = static_cast<swell_kernel::EventHandle*>(static_cast<swell_kernel::KernelHandle*>(event));
  auto* th = static_cast<swell_kernel::ThreadHandle*>(static_cast<swell_kernel::KernelHandle*>(thread));
  const Target targets[] = {{"event", event, &ev->mutex, &ev->cond}, {"thread", thread, &th->mutex, &th->cond}};
  for (const Target& t : targets)
  {
    std::atomic<bool> done{false};
    DWORD r = 0;
    std::thread waiter([&] {
      r = WaitForSingleObject(t.h, 100);
      done = true;
    });
    const Clock::time_point t0 = Clock::now();
    while (!done && msSince(t0) < 20000)
    {
      pthread_mutex_lock(t.mutex);
      pthread_cond_broadcast(t.cond);
      pthread_mutex_unlock(t.mutex);
      std::this_thread::sleep_for(std::chrono::microseconds(500));  // paces the wake-ups
    }
    EXPECT_TRUE(done.load()) << t.name << ": still waiting after 20 s";
    waiter.join();
    EXPECT_EQ(r, WAIT_TIMEOUT) << t.name;
  }
  SetEvent(gate);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  CloseHandle(event);
  CloseHandle(gate);
}

TEST(Threads, RunAndAreJoinedOnceHoweverOftenWaitedFor)
{
  struct Seen { std::atomic<DWORD> tid{0}; std::atomic<int> runs{0}; } seen;
  DWORD tid = 0;
  HANDLE h = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
    Seen* s = static_cast<Seen*>(p);
    s->tid = GetCurrentThreadId();
    ++s->runs;
    return 0;
  }, &seen, 0, &tid);
  ASSERT_NE(h, nullptr);
  std::vector<std::thread> waiters;
  std::atomic<int> ok{0};
  for (int i = 0; i < 4; ++i)
    waiters.emplace_back([&] {
      if (WaitForSingleObject(h, INFINITE) == WAIT_OBJECT_0) ++ok;
    });
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(ok.load(), 4);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(h, 50), WAIT_OBJECT_0);
  EXPECT_EQ(seen.runs.load(), 1);
  EXPECT_EQ(seen.tid.load(), tid);
  EXPECT_NE(tid, GetCurrentThreadId());
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
}

TEST(Threads, WaitOnARunningThreadTimesOut)
{
  HANDLE gate = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  HANDLE h = CreateThread(nullptr, 0, gatedProc, gate, 0, nullptr);
  Clock::time_point t0 = Clock::now();
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
  EXPECT_LT(msSince(t0), 1000);  // at once, not after a poll interval
  t0 = Clock::now();
  EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_TIMEOUT);
  EXPECT_GE(msSince(t0), 20 * 0.999);
  EXPECT_TRUE(SetThreadPriority(h, 0));
  EXPECT_TRUE(SetEvent(gate));
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  EXPECT_FALSE(SetThreadPriority(h, 0));  // finished
  EXPECT_TRUE(CloseHandle(h));
  CloseHandle(gate);
}

TEST(Threads, HandleClosedBeforeTheThreadEndsIsFreedByTheThread)
{
  const size_t baseline = liveHandleCount();
  HANDLE gate = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> finished{false};
  struct Args { HANDLE gate; std::atomic<bool>* finished; } args{gate, &finished};
  HANDLE h = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
    Args* a = static_cast<Args*>(p);
    WaitForSingleObject(a->gate, INFINITE);
    *a->finished = true;
    return 0;
  }, &args, 0, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(finished.load());  // still held at the gate
  EXPECT_EQ(liveHandleCount(), baseline + 2);  // gate and the thread's own share
  SetEvent(gate);
  EXPECT_TRUE(pollUntil([&] { return finished && liveHandleCount() == baseline + 1; }));
  CloseHandle(gate);
  EXPECT_EQ(liveHandleCount(), baseline);
}

TEST(Threads, ThreadThatClosesItsOwnLastHandleDetaches)
{
  const size_t baseline = liveHandleCount();
  HANDLE gate = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  struct Args { HANDLE gate; HANDLE self; std::atomic<BOOL> closed{FALSE}; } args;
  args.gate = gate;
  HANDLE h = CreateThread(nullptr, 0, [](LPVOID p) -> DWORD {
    Args* a = static_cast<Args*>(p);
    WaitForSingleObject(a->gate, INFINITE);
    a->closed = CloseHandle(a->self);  // the creator handed its handle over
    return 0;
  }, &args, 0, nullptr);
  args.self = h;
  SetEvent(gate);
  EXPECT_TRUE(pollUntil([&] { return liveHandleCount() == baseline + 1; }));
  EXPECT_TRUE(args.closed.load());
  CloseHandle(gate);
}

TEST(Threads, CreateThreadRefusesANullProcedure)
{
  DWORD tid = 99;
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, &tid), nullptr);
  EXPECT_EQ(tid, 99u);
}

TEST(Handles, NullClosedAndWrongKindsFail)
{
  HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  HANDLE closed = CreateEvent(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(closed);
  HANDLE thread = CreateThread(nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
  WaitForSingleObject(thread, INFINITE);
  char buf[4];
  DWORD done = 77, high = 0;
  LONG lhigh = 0;
  struct Case { const char* what; int64_t got, want; };
  const Case cases[] = {
    {"SetEvent(null)", SetEvent(nullptr), FALSE},
    {"SetEvent(closed)", SetEvent(closed), FALSE},
    {"SetEvent(thread)", SetEvent(thread), FALSE},
    {"ResetEvent(thread)", ResetEvent(thread), FALSE},
    {"ResetEvent(closed)", ResetEvent(closed), FALSE},
    {"Wait(null)", WaitForSingleObject(nullptr, 0), WAIT_FAILED},
    {"Wait(closed)", WaitForSingleObject(closed, INFINITE), WAIT_FAILED},
    {"Wait(stack address)", WaitForSingleObject(buf, 0), WAIT_FAILED},
    {"CloseHandle(null)", CloseHandle(nullptr), FALSE},
    {"CloseHandle(closed)", CloseHandle(closed), FALSE},
    {"SetThreadPriority(event)", SetThreadPriority(event, 0), FALSE},
    {"SetThreadPriority(null)", SetThreadPriority(nullptr, 0), FALSE},
    {"ReadFile(event)", ReadFile(event, buf, 4, &done), FALSE},
    {"done after ReadFile(event)", done, 0},
    {"WriteFile(thread)", WriteFile(thread, buf, 4, nullptr), FALSE},
    {"SetFilePointer(event)", SetFilePointer(event, 0, &lhigh), 0xFFFFFFFFu},
    {"high after SetFilePointer(event)", lhigh, -1},
    {"GetFilePointer(event)", GetFilePointer(event, &high), 0xFFFFFFFFu},
    {"GetFileSize(null)", GetFileSize(nullptr, nullptr), 0xFFFFFFFFu},
    {"WaitForAnySocketObject(event)", WaitForAnySocketObject(1, &event, 0), WAIT_TIMEOUT},
    {"WaitForAnySocketObject(0)", WaitForAnySocketObject(0, &event, 0), WAIT_TIMEOUT},
    {"WaitForAnySocketObject(null)", WaitForAnySocketObject(2, nullptr, 0), WAIT_TIMEOUT},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
  CloseHandle(thread);
  CloseHandle(event);
}

TEST(Handles, CloseWhileAnotherThreadWaitsFreesAfterTheWait)
{
  for (const EventMaker& m : kEventMakers)
  {
    const size_t baseline = liveHandleCount();
    HANDLE h = m.make(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> waiting{false};
    DWORD r = 0;
    std::thread waiter([&] {
      waiting = true;
      r = WaitForSingleObject(h, 200);
    });
    ASSERT_TRUE(pollUntil([&] { return waiting.load(); }));
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(liveHandleCount(), baseline);
    waiter.join();
    EXPECT_TRUE(r == WAIT_TIMEOUT || r == WAIT_FAILED) << m.name << " " << r;
  }
}

TEST(Files, ReadWriteSeekAndSize)
{
  EXPECT_EQ(CreateFile("/tmp/x", 0, 0, nullptr, 0, 0, nullptr), nullptr);
  FILE* fp = tmpfile();
  ASSERT_NE(fp, nullptr);
  HANDLE f = swell_kernel::registerHandle(new swell_kernel::FileHandle(fp));
  DWORD done = 0, high = 99;
  char buf[16] = {};
  EXPECT_TRUE(WriteFile(f, "hello world", 11, &done));
  EXPECT_EQ(done, 11u);
  EXPECT_EQ(GetFilePointer(f, &high), 11u);
  EXPECT_EQ(high, 0u);
  high = 99;
  EXPECT_EQ(GetFileSize(f, &high), 11u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(f, 6, nullptr), 6u);
  EXPECT_TRUE(ReadFile(f, buf, sizeof(buf), &done));
  EXPECT_EQ(done, 5u);
  EXPECT_STREQ(buf, "world");
  EXPECT_FALSE(ReadFile(f, buf, sizeof(buf), &done));  // at the end
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(ReadFile(f, buf, 0, &done));
  EXPECT_FALSE(ReadFile(f, nullptr, 4, &done));
  EXPECT_FALSE(WriteFile(f, nullptr, 4, nullptr));

  struct SeekCase { LONG pos; bool withHigh; LONG high; DWORD result; LONG highAfter; };
  const SeekCase seeks[] = {
    {3, true, 0, 3, 0},
    {0, true, 1, 0xFFFFFFFFu, -1},  // 64-bit positions are refused
    {0, true, -1, 0xFFFFFFFFu, -1},
    {-1, false, 0, 0xFFFFFFFFu, 0},  // negative without a high part
    {0, false, 0, 0, 0},
  };
  for (const SeekCase& s : seeks)
  {
    LONG h = s.high;
    EXPECT_EQ(SetFilePointer(f, s.pos, s.withHigh ? &h : nullptr), s.result) << s.pos << " " << s.high;
    if (s.withHigh) { EXPECT_EQ(h, s.highAfter) << s.pos << " " << s.high; }
  }
  EXPECT_TRUE(ReadFile(f, buf, 5, nullptr));
  EXPECT_EQ(memcmp(buf, "hello", 5), 0);
  EXPECT_TRUE(CloseHandle(f));
  EXPECT_FALSE(CloseHandle(f));
}

TEST(Files, SizeAndPositionBeyondFourGigabytesReportTheHighPart)
{
  FILE* fp = tmpfile();
  ASSERT_NE(fp, nullptr);
  const off_t big = 0x140000010LL;  // 5 GiB + 16, sparse
  if (ftruncate(fileno(fp), big) != 0) GTEST_SKIP() << "no large sparse files here";
  HANDLE f = swell_kernel::registerHandle(new swell_kernel::FileHandle(fp));
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(f, &high), 0x40000010u);
  EXPECT_EQ(high, 1u);
  ASSERT_EQ(fseeko(fp, 0x100000005LL, SEEK_SET), 0);
  EXPECT_EQ(GetFilePointer(f, &high), 5u);
  EXPECT_EQ(high, 1u);
  CloseHandle(f);
}

TEST(SocketWaits, WaitForAnyReturnsTheFirstReadyHandle)
{
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
  auto* ext = new swell_kernel::ExternalSocketHandle(pair[0]);
  HANDLE external = swell_kernel::registerHandle(ext);
  HANDLE plain = CreateEvent(nullptr, TRUE, TRUE, nullptr);  // never a socket: ignored
  HANDLE autoEv = CreateEventAsSocket(nullptr, FALSE, FALSE, nullptr);
  HANDLE manualEv = CreateEventAsSocket(nullptr, TRUE, FALSE, nullptr);
  HANDLE list[] = {plain, autoEv, manualEv, external};

  struct Case { const char* ops; DWORD want; };
  // a/m: set the auto/manual socket event, r: reset the manual one,
  // x: write to the external socket, y: drain it.
  const Case cases[] = {
    {"", WAIT_TIMEOUT}, {"m", 2}, {"", 2}, {"a", 1}, {"", 2}, {"r", WAIT_TIMEOUT},
    {"x", 3}, {"", 3}, {"ax", 1}, {"", 3}, {"y", WAIT_TIMEOUT}, {"am", 1}, {"r", WAIT_TIMEOUT},
  };
  for (const Case& c : cases)
  {
    for (const char* op = c.ops; *op; ++op)
    {
      if (*op == 'a') SetEvent(autoEv);
      if (*op == 'm') SetEvent(manualEv);
      if (*op == 'r') ResetEvent(manualEv);
      if (*op == 'x') { EXPECT_EQ(write(pair[1], "x", 1), 1); }
      if (*op == 'y')
      {
        char b[8];
        EXPECT_GT(read(pair[0], b, sizeof(b)), 0);
      }
    }
    EXPECT_EQ(WaitForAnySocketObject(4, list, 0), c.want) << "after '" << c.ops << "'";
  }

  const Clock::time_point t0 = Clock::now();
  EXPECT_EQ(WaitForAnySocketObject(4, list, 20), WAIT_TIMEOUT);
  EXPECT_GE(msSince(t0), 20 * 0.999);
  std::atomic<DWORD> r{0};
  std::thread waiter([&] { r = WaitForAnySocketObject(4, list, INFINITE); });
  SetEvent(manualEv);
  waiter.join();
  EXPECT_EQ(r.load(), 2u);

  EXPECT_FALSE(CloseHandle(external));  // not ours to free
  EXPECT_EQ(WaitForSingleObject(external, 0), WAIT_TIMEOUT);
  EXPECT_TRUE(swell_kernel::unregisterHandle(ext));
  delete ext;
  close(pair[0]);
  close(pair[1]);
  for (HANDLE h : {plain, autoEv, manualEv}) EXPECT_TRUE(CloseHandle(h));
}

TEST(SocketWaits, ExternalSocketWithoutADescriptorFailsAfterTheWait)
{
  auto* ext = new swell_kernel::ExternalSocketHandle(-1);
  HANDLE h = swell_kernel::registerHandle(ext);
  const Clock::time_point t0 = Clock::now();
  EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_FAILED);
  EXPECT_GE(msSince(t0), 20 * 0.999);  // paces a caller that loops
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForAnySocketObject(1, &h, 0), WAIT_TIMEOUT);
  swell_kernel::unregisterHandle(ext);
  delete ext;
}

TEST(SocketWaits, AutoResetSocketEventReleasesOneOfTwoWaiters)
{
  HANDLE h = CreateEventAsSocket(nullptr, FALSE, FALSE, nullptr);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i)
    waiters.emplace_back([&] {
      if (WaitForAnySocketObject(1, &h, INFINITE) == 0) ++released;
    });
  for (int i = 1; i <= 2; ++i)
  {
    EXPECT_TRUE(SetEvent(h));
    ASSERT_TRUE(pollUntil([&] { return released.load() >= i; }));
    EXPECT_EQ(released.load(), i);
  }
  for (std::thread& t : waiters) t.join();
  CloseHandle(h);
}
