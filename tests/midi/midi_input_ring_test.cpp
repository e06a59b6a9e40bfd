// The hand-over from the port callback to the input thread: a seeded stream of
// messages of every size, from one byte to longer than the ring, goes through a
// small ring between two threads while the consumer is slowed at random; what
// comes out is what the producer saw kept, whole and in order, and the drops the
// producer saw refused are the ring's counts. The send queue the same way, with
// several producers at once. And the callback's path allocates nothing once warm.
#include "ConsoleCapture.h"
#include "TestPlug.h"

#include "plug/MidiInputRing.h"
#include "plug/MidiSendQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <numeric>
#include <new>
#include <random>
#include <thread>
#include <vector>

// A counting seam over the global allocation functions: allocations made on a
// thread while it is armed are counted.
namespace {
thread_local bool tArmed = false;
thread_local long tAllocations = 0;
void* CountedAlloc(size_t n)
{
  if (tArmed) ++tAllocations;
  void* p = malloc(n ? n : 1);
  if (!p) throw std::bad_alloc();
  return p;
}
}  // namespace

void* operator new(size_t n) { return CountedAlloc(n); }
void* operator new[](size_t n) { return CountedAlloc(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept
{
  if (tArmed) ++tAllocations;
  return malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept
{
  if (tArmed) ++tAllocations;
  return malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }

namespace {

uint64_t Fnv(const unsigned char* b, int n)
{
  uint64_t h = 1469598103934665603ull;
  for (int i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  return h ^ (uint64_t)n;
}

struct Seen
{
  int size;
  uint64_t hash;
  bool operator==(const Seen& o) const { return size == o.size && hash == o.hash; }
};

TEST(MidiInputRing, SeededStreamArrivesWholeInOrderAndEveryDropIsCounted)
{
  for (const unsigned seed : {1u, 2u, 3u})
  {
    SCOPED_TRACE(seed);
    MidiInputRing ring(4096);
    const int maxSize = ring.MaxMessageSize();
    std::atomic<bool> done{false};
    std::vector<Seen> kept, got;
    long long refusedLong = 0, refusedFull = 0, refusedBytes = 0;

    std::thread consumer([&] {
      std::mt19937 rng(seed * 7919u);
      std::vector<unsigned char> buf((size_t)maxSize);
      for (;;)
      {
        const int size = ring.NextSize();
        if (size == 0)
        {
          // Anything pushed before the end was flagged is visible now.
          if (done.load() && ring.NextSize() == 0) return;
          ring.Wait();
          continue;
        }
        ring.Read(buf.data());
        got.push_back({size, Fnv(buf.data(), size)});
        // Slowed at random, as by a drawing pass holding the plug-in's mutex.
        if (rng() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
      }
    });

    std::mt19937 rng(seed);
    std::vector<unsigned char> msg;
    for (int i = 0; i < 20000; ++i)
    {
      // Mostly short messages and program-sized dumps, some near the ring's
      // size, exactly at its limit and one past it, and longer than the ring.
      int size;
      switch (rng() % 10)
      {
      case 0: size = maxSize - 4 + (int)(rng() % 9); break;
      case 1: size = 1 + (int)(rng() % (2 * maxSize)); break;
      case 2: case 3: case 4: size = 1 + (int)(rng() % 3); break;
      default: size = 4 + (int)(rng() % 400); break;
      }
      msg.resize((size_t)size);
      for (unsigned char& b : msg) b = (unsigned char)rng();
      if (ring.Push(msg.data(), size))
        kept.push_back({size, Fnv(msg.data(), size)});
      else if (size > maxSize)
        ++refusedLong, refusedBytes += size;
      else
        ++refusedFull, refusedBytes += size;
      if (rng() % 64 == 0) std::this_thread::yield();
    }
    done.store(true);
    ring.Wake();
    consumer.join();

    EXPECT_TRUE(got == kept) << got.size() << " came out, " << kept.size() << " went in";
    EXPECT_EQ(ring.DroppedTooLong(), refusedLong);
    EXPECT_EQ(ring.DroppedFull(), refusedFull);
    EXPECT_EQ(ring.DroppedBytes(), refusedBytes);
    // The stream's sizes went past the limit (how often the ring was full, and
    // whether a message at the limit found room, depend on the consumer's lag).
    EXPECT_GT(refusedLong, 0);
    ASSERT_EQ(ring.NextSize(), 0);
    // What the ring promises, wherever its positions stand: a message of exactly the
    // limit goes into the empty ring and fills it, comes out whole; one past the
    // limit never goes in.
    msg.resize((size_t)maxSize + 1);
    for (unsigned char& b : msg) b = (unsigned char)rng();
    EXPECT_TRUE(ring.Push(msg.data(), maxSize));
    EXPECT_FALSE(ring.Push(msg.data(), 1));
    EXPECT_EQ(ring.DroppedFull(), refusedFull + 1);
    ASSERT_EQ(ring.NextSize(), maxSize);
    std::vector<unsigned char> out((size_t)maxSize);
    ring.Read(out.data());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), msg.begin()));
    EXPECT_FALSE(ring.Push(msg.data(), maxSize + 1));
    EXPECT_EQ(ring.DroppedTooLong(), refusedLong + 1);
    EXPECT_EQ(ring.NextSize(), 0);
  }
}

// Clear drops what waits, whatever wrapped round the end, and the ring goes on.
TEST(MidiInputRing, ClearEmptiesAWrappedRing)
{
  MidiInputRing ring(64);
  unsigned char bytes[40];
  for (int i = 0; i < 40; ++i) bytes[i] = (unsigned char)i;
  unsigned char out[60];
  ASSERT_TRUE(ring.Push(bytes, 40));
  ring.Read(out);
  ASSERT_TRUE(ring.Push(bytes, 10));   // wraps round the end
  ASSERT_TRUE(ring.Push(bytes, 3));
  EXPECT_FALSE(ring.Push(bytes, 40));  // no room
  EXPECT_EQ(ring.Clear(), 2);
  EXPECT_EQ(ring.NextSize(), 0);
  ASSERT_TRUE(ring.Push(bytes + 1, 39));
  ASSERT_EQ(ring.NextSize(), 39);
  ring.Read(out);
  EXPECT_EQ(memcmp(out, bytes + 1, 39), 0);
  EXPECT_EQ(ring.DroppedFull(), 1);
  EXPECT_EQ(ring.DroppedBytes(), 40);
}

// The sends of three threads through a small queue while its one consumer reads
// as soon as a length shows (slowed now and then): every message accepted comes out
// whole and in its thread's order, round the end many times, and each refusal is
// counted as too long or full. Clear drops and counts what waits.
TEST(MidiSendQueue, SendsOfThreeThreadsArriveWholeInEachThreadsOrderAndEveryRefusalIsCounted)
{
  const int kThreads = 3;
  MidiSendQueue queue(4096);
  const int maxSize = queue.MaxMessageSize();
  std::vector<std::vector<Seen>> kept(kThreads), got(kThreads);
  std::vector<long long> tooLong(kThreads, 0), full(kThreads, 0);
  std::atomic<int> producing{kThreads};
  std::vector<std::thread> producers;
  for (int t = 0; t < kThreads; ++t)
    producers.emplace_back([&, t] {
      std::mt19937 rng((unsigned)t + 1);
      std::vector<unsigned char> m;
      for (int n = 0; n < 6000; ++n)
      {
        const unsigned kind = rng() % 8;  // about the limit, up to 1,500 bytes, or short
        m.resize(kind == 0 ? maxSize - 2 + rng() % 5 : 1 + rng() % (kind == 1 ? 1500 : 40));
        for (unsigned char& b : m) b = (unsigned char)rng();
        m[0] = (unsigned char)t;  // its thread first
        if (queue.Push(m.data(), (int)m.size())) kept[(size_t)t].push_back({(int)m.size(), Fnv(m.data(), (int)m.size())});
        else ++((int)m.size() > maxSize ? tooLong : full)[(size_t)t];
        if (rng() % 32 == 0) std::this_thread::yield();
      }
      producing.fetch_sub(1);
    });
  std::mt19937 rng(99);
  std::vector<unsigned char> m((size_t)maxSize);
  for (int size; (size = queue.NextSize()) != 0 || producing.load() != 0 || queue.NextSize() != 0;)
  {
    if (size == 0) { std::this_thread::yield(); continue; }
    if (size > maxSize) break;
    queue.Read(m.data());
    if (m[0] >= kThreads) break;
    got[m[0]].push_back({size, Fnv(m.data(), size)});
    if (rng() % 64 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 200));
  }
  for (std::thread& p : producers) p.join();
  for (int t = 0; t < kThreads; ++t)
    EXPECT_TRUE(got[(size_t)t] == kept[(size_t)t]) << t << ": " << got[(size_t)t].size() << " of " << kept[(size_t)t].size();
  EXPECT_EQ(queue.DroppedTooLong(), std::accumulate(tooLong.begin(), tooLong.end(), 0LL));
  EXPECT_EQ(queue.DroppedFull(), std::accumulate(full.begin(), full.end(), 0LL));
  EXPECT_GT(queue.DroppedTooLong(), 0);
  EXPECT_GT(queue.DroppedFull(), 0) << "the queue was never full: the consumer's lag is not what it was meant to be";
  // A message of exactly the limit fills the empty queue, and after Clear comes out whole.
  ASSERT_TRUE(queue.Push(m.data(), maxSize));
  EXPECT_FALSE(queue.Push(m.data(), 6));
  EXPECT_EQ(queue.Clear(), 1);
  ASSERT_TRUE(queue.Push(m.data(), 6) && queue.Push(m.data(), 7));
  EXPECT_EQ(queue.Clear(), 2);
  ASSERT_TRUE(queue.Push(m.data(), maxSize));
  ASSERT_EQ(queue.NextSize(), maxSize);
  std::vector<unsigned char> out((size_t)maxSize);
  queue.Read(out.data());
  EXPECT_TRUE(out == m);
}

// What the port library's thread runs for a run of bytes, once warm: short
// messages, a dump in pieces, one longer than the input queue, a full queue.
TEST(MidiInputCallback, AllocatesNothing)
{
  TestPlug plug;
  std::vector<unsigned char> cc = {0xB0, 0x07, 0x40}, head = {0xF0, 0x42, 0x30, 0x58}, body(8000, 0x11), tail = {0x22, 0xF7};
  std::vector<unsigned char> huge(MidiInputRing::kDefaultCapacity + 10, 0x33);
  huge.front() = 0xF0;
  huge.back() = 0xF7;
  CaptureConsole();
  IPlugBase::MIDICallback(0.0, &cc, &plug);   // the log's first line takes its buffer
  tArmed = true;
  tAllocations = 0;
  for (int i = 0; i < 40; ++i)
  {
    IPlugBase::MIDICallback(0.0, &cc, &plug);
    IPlugBase::MIDICallback(0.0, &head, &plug);
    IPlugBase::MIDICallback(0.0, &body, &plug);
    IPlugBase::MIDICallback(0.0, &tail, &plug);
  }
  IPlugBase::MIDICallback(0.0, &huge, &plug);
  tArmed = false;
  CapturedConsole();
  EXPECT_EQ(tAllocations, 0);
  EXPECT_EQ(plug.Count(), 0u);   // no port was opened: no input thread took them
}

}  // namespace
