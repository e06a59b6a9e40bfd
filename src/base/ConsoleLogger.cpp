#include "base/ConsoleLogger.h"

#include "base/KeepLoaded.h"
#include "base/log.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <semaphore.h>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

// A bounded queue of lines, many threads handing over, the logger thread alone
// taking: each slot's sequence number says whose turn it is (free for the hand-over
// of position p when it equals p, taken when it equals p + 1), so no thread waits
// for another's lock.
class LineQueue
{
public:
  // A program transfer logs a few lines for each changed byte: bursts of thousands.
  static const size_t kSlots = 8192;
  // A line this long or shorter is copied into its slot: no allocation on the
  // caller's thread (the host's audio thread logs what it sends).
  static const size_t kInline = 104;

  LineQueue()
  {
    for (size_t i = 0; i < kSlots; ++i) mSlots[i].seq.store(i, std::memory_order_relaxed);
  }

  // Copies the line in; false when the queue is full. A long line whose copy
  // cannot be made takes its slot empty.
  bool Push(const char* text, size_t size)
  {
    size_t pos = mTail.load(std::memory_order_relaxed);
    for (;;)
    {
      Slot& s = mSlots[pos % kSlots];
      const size_t seq = s.seq.load(std::memory_order_acquire);
      const long long dif = (long long)seq - (long long)pos;
      if (dif == 0)
      {
        if (mTail.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) break;
      }
      else if (dif < 0)
        return false;
      else
        pos = mTail.load(std::memory_order_relaxed);
    }
    Slot& s = mSlots[pos % kSlots];
    s.size = size;
    s.heap = nullptr;
    if (size <= kInline)
      memcpy(s.text, text, size);
    else if ((s.heap = (char*)malloc(size)))
      memcpy(s.heap, text, size);
    else
      s.size = 0;
    s.seq.store(pos + 1, std::memory_order_release);
    return true;
  }

  // The logger thread: appends the next line in order to out, if its hand-over
  // has finished.
  bool PopInto(std::string* out)
  {
    Slot& s = mSlots[mHead % kSlots];
    if (s.seq.load(std::memory_order_acquire) != mHead + 1) return false;
    out->append(s.heap ? s.heap : s.text, s.size);
    free(s.heap);
    s.seq.store(mHead + kSlots, std::memory_order_release);
    ++mHead;
    return true;
  }

  // The logger thread: the size of the next line if its hand-over has finished, else 0.
  size_t NextSize() const
  {
    const Slot& s = mSlots[mHead % kSlots];
    return s.seq.load(std::memory_order_acquire) == mHead + 1 ? s.size : 0;
  }

  // Positions claimed so far: every line handed over before a call is below it.
  size_t Claimed() const { return mTail.load(std::memory_order_acquire); }

private:
  struct Slot
  {
    std::atomic<size_t> seq{0};
    size_t size = 0;
    char* heap = nullptr;
    char text[kInline];
  };
  Slot mSlots[kSlots];
  alignas(64) std::atomic<size_t> mTail{0};
  alignas(64) size_t mHead = 0;
};

struct Logger
{
  LineQueue queue;
  sem_t ready;  // posted once a line was handed over: the logger's wake-up
  std::atomic<int> state{0};  // 0 no thread yet, 1 starting, 2 running
  std::atomic<size_t> done{0};  // positions written or dropped by the logger
  // Lines that found the queue full: their positions are never claimed.
  std::atomic<unsigned long long> dropped{0}, written{0};
  bool droppedSaid = false;  // the logger thread's

  Logger() { sem_init(&ready, 0, 0); }
};

// Made at the first line, never destroyed: threads may hand lines over while the
// process ends, and the logger thread may still be writing then.
Logger& TheLogger()
{
  static Logger* logger = new Logger;
  return *logger;
}

void WriteAll(const char* p, size_t n)
{
  while (n > 0)
  {
    const ssize_t w = write(STDOUT_FILENO, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return;  // nobody takes standard output: the lines are gone
    p += w;
    n -= (size_t)w;
  }
}

void RunLogger(Logger* l)
{
  pthread_setname_np(pthread_self(), "davrel logger");
  std::string batch;
  for (;;)
  {
    while (sem_wait(&l->ready) != 0 && errno == EINTR)
    {
    }
    batch.clear();
    // Posted after its hand-over finished, but a later position may finish first.
    while (!l->queue.PopInto(&batch)) std::this_thread::yield();
    size_t lines = 1;
    // What else is there goes out in the same write, kept short enough that a
    // pipe takes it whole: a line of another writer never lands inside one of ours.
    for (;;)
    {
      const size_t next = l->queue.NextSize();
      if (next == 0 || batch.size() + next > PIPE_BUF || sem_trywait(&l->ready) != 0) break;
      while (!l->queue.PopInto(&batch)) std::this_thread::yield();
      ++lines;
    }
    WriteAll(batch.data(), batch.size());
    l->written.fetch_add(lines);
    l->done.fetch_add(lines, std::memory_order_release);
    const unsigned long long dropped = l->dropped.load();
    if (dropped > 0 && !l->droppedSaid)
    {
      l->droppedSaid = true;
      char line[200];
      const int n = snprintf(line, sizeof line,
                             "console: %llu lines dropped: standard output took them slower than they came (later "
                             "drops are only counted)\n",
                             dropped);
      WriteAll(line, (size_t)n);
    }
  }
}

void StartLogger(Logger& l)
{
  int expected = 0;
  if (l.state.load(std::memory_order_acquire) != 0 || !l.state.compare_exchange_strong(expected, 1)) return;
  // The thread runs this library's code for as long as the process lives.
  KeepOwnCodeLoaded();
  std::thread(RunLogger, &l).detach();
  l.state.store(2, std::memory_order_release);
}

// At exit every line handed over is written while the console takes them: a
// reader that pauses (a loaded machine) is waited for through pauses shorter than
// kExitStall, a console that takes nothing for that long is left, and 10 s is the
// most the end of a process waits for its lines.
const int kExitStallMs = 1000, kExitBoundMs = 10000;
struct LastLines
{
  ~LastLines()
  {
    if (TheLogger().state.load() == 2) ConsoleLogWritten(kExitBoundMs, kExitStallMs);
  }
} gLastLines;

}  // namespace

void ConsoleLogText(const char* text, size_t size)
{
  if (!text || size == 0) return;
  Logger& l = TheLogger();
  StartLogger(l);
  if (l.queue.Push(text, size))
    sem_post(&l.ready);
  else
    l.dropped.fetch_add(1);
}

void ConsoleLogFormat(const char* format, va_list ap)
{
  char small[512];
  va_list again;
  va_copy(again, ap);
  const int n = vsnprintf(small, sizeof small, format, ap);
  if (n < 0)
  {
    va_end(again);
    return;
  }
  if ((size_t)n < sizeof small)
    ConsoleLogText(small, (size_t)n);
  else
  {
    std::string big((size_t)n + 1, '\0');
    vsnprintf(&big[0], big.size(), format, again);
    ConsoleLogText(big.data(), (size_t)n);
  }
  va_end(again);
}

void ConsoleLog(const char* format, ...)
{
  va_list ap;
  va_start(ap, format);
  ConsoleLogFormat(format, ap);
  va_end(ap);
}

bool ConsoleLogWritten(int timeoutMs, int stallMs)
{
  Logger& l = TheLogger();
  // Positions claimed by lines that were then dropped are never written: only
  // handed-over lines are claimed (Push claims only a free slot), so the target holds.
  const size_t target = l.queue.Claimed();
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto lastMove = start;
  size_t seen = l.done.load(std::memory_order_acquire);
  while (seen < target)
  {
    const auto now = Clock::now();
    if (now - start > std::chrono::milliseconds(timeoutMs) || now - lastMove > std::chrono::milliseconds(stallMs))
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const size_t d = l.done.load(std::memory_order_acquire);
    if (d != seen)
    {
      seen = d;
      lastMove = Clock::now();
    }
  }
  return true;
}

ConsoleLogTally ConsoleLogCounts()
{
  Logger& l = TheLogger();
  ConsoleLogTally t;
  t.written = l.written.load();
  t.dropped = l.dropped.load();
  return t;
}
