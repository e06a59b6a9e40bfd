// The simulated synthesizer's receive path without JACK: events go into the
// recorder from a thread of the test's own, standing in for JACK's process
// thread, while the test reads what was recorded.
#include "SimRecorder.h"
#include "SynthSim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

namespace {

typedef std::vector<unsigned char> Bytes;

const int kWaitMs = 20000;

// Distinct bytes for event n, so a torn or misplaced event cannot pass.
Bytes EventBytes(uint32_t n, size_t size)
{
  Bytes b(size);
  for (size_t i = 0; i < size; ++i) b[i] = (unsigned char)(n * 131 + i * 7);
  return b;
}

// Polls until done() holds, at most kWaitMs.
template <class F> bool PollUntil(F done)
{
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!done())
  {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::yield();
  }
  return true;
}

} // namespace

TEST(SimEventRing, EventsComeBackWholeAndInOrderAcrossTheWrap)
{
  // 64 bytes: a 16-byte header and up to 48 bytes. Sizes chosen so that headers
  // and bodies both straddle the end of the buffer on the way round.
  SimEventRing ring(64);
  ASSERT_EQ(ring.Capacity(), 64u);
  ASSERT_EQ(ring.MaxEventBytes(), 48u);
  const std::vector<size_t> sizes = {3, 30, 1, 48, 0, 17, 40, 5, 25, 2, 48, 11};
  uint32_t n = 0;
  for (size_t size : sizes)
  {
    const Bytes in = EventBytes(n, size);
    ASSERT_TRUE(ring.Push(in.data(), in.size(), 1000 + n, 5000 + n, 9000 + n)) << "event " << n;
    Bytes out;
    uint32_t frame = 0, jackFrame = 0, jackMicros = 0;
    bool afterLoss = true;
    ASSERT_TRUE(ring.Pop(&out, &frame, &afterLoss, &jackFrame, &jackMicros));
    EXPECT_EQ(out, in) << "event " << n;
    EXPECT_EQ(frame, 1000 + n);
    EXPECT_EQ(jackFrame, 5000 + n);
    EXPECT_EQ(jackMicros, 9000 + n);
    EXPECT_FALSE(afterLoss);
    EXPECT_FALSE(ring.Pop(&out, &frame, &afterLoss));
    ++n;
  }
}

TEST(SimEventRing, RefusesWholeWhatDoesNotFitAndMarksTheNextEvent)
{
  SimEventRing ring(64);
  const Bytes a = EventBytes(1, 16), b = EventBytes(2, 16), c = EventBytes(3, 36), big = EventBytes(4, 49);
  ASSERT_TRUE(ring.Push(a.data(), a.size(), 1)); // 32 of 64 bytes
  EXPECT_FALSE(ring.Push(c.data(), c.size(), 2)); // 52 more do not fit
  EXPECT_FALSE(ring.Push(big.data(), big.size(), 3)); // never fits
  ASSERT_TRUE(ring.Push(b.data(), b.size(), 4));     // 32 more: exactly full

  Bytes out;
  uint32_t frame = 0;
  bool afterLoss = true;
  ASSERT_TRUE(ring.Pop(&out, &frame, &afterLoss));
  EXPECT_EQ(out, a);
  EXPECT_EQ(frame, 1u);
  EXPECT_FALSE(afterLoss);
  ASSERT_TRUE(ring.Pop(&out, &frame, &afterLoss));
  EXPECT_EQ(out, b);
  EXPECT_EQ(frame, 4u);
  EXPECT_TRUE(afterLoss);
  EXPECT_FALSE(ring.Pop(&out, &frame, &afterLoss));
}

// One writer, one reader, a ring far smaller than what passes through it: every
// event comes out byte for byte, in order, with its frame.
TEST(SimEventRing, WriterAndReaderThreadsAgreeOnEveryByte)
{
  const uint32_t kEvents = 20000;
  SimEventRing ring(16 * 1024);
  std::thread writer([&] {
    std::mt19937 rng(7);
    for (uint32_t n = 0; n < kEvents; ++n)
    {
      const Bytes b = EventBytes(n, rng() % 4000);
      // The test's writer may wait for room; JACK's would drop the event.
      if (!PollUntil([&] { return ring.Push(b.data(), b.size(), n * 256); })) return;
    }
  });
  std::mt19937 rng(7);
  uint32_t n = 0;
  Bytes out;
  for (; n < kEvents; ++n)
  {
    uint32_t frame = 0;
    bool afterLoss = false;
    if (!PollUntil([&] { return ring.Pop(&out, &frame, &afterLoss); })) break;
    if (out != EventBytes(n, rng() % 4000) || frame != n * 256) break;
  }
  writer.join();
  EXPECT_EQ(n, kEvents) << "event " << n << " came out wrong or not at all";
}

TEST(SimRecorder, TimesCountFromTheOpeningFrame)
{
  // {opening frame, event frame, seconds at 48 kHz}
  const struct
  {
    uint32_t open, frame;
    double seconds;
  } table[] = {
      {1000, 1000, 0.0},
      {1000, 49000, 1.0},
      {1000, 1240, 0.005},
      {0xFFFFFF00u, 0x100, 512.0 / 48000}, // the frame clock wrapped
  };
  for (const auto& t : table)
  {
    SimRecorder rec;
    rec.Start(t.open, 48000.0);
    const Bytes note = {0x90, 0x3C, 0x64};
    ASSERT_TRUE(rec.Push(note.data(), note.size(), t.frame));
    ASSERT_TRUE(rec.WaitForReceived(1, kWaitMs));
    rec.Stop();
    const auto got = rec.Received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, note);
    EXPECT_DOUBLE_EQ(got[0].seconds, t.seconds) << "frame " << t.frame;
  }
}

TEST(SimRecorder, StopRecordsEverythingPushedBefore)
{
  SimRecorder rec;
  rec.Start(0, 48000.0);
  const Bytes dump = MakeSimDump(5000);
  for (int i = 0; i < 50; ++i)
    for (size_t at = 0; at < dump.size(); at += 1024)
      ASSERT_TRUE(rec.Push(dump.data() + at, std::min<size_t>(1024, dump.size() - at), 0));
  rec.Stop();
  EXPECT_EQ(rec.ReceivedCount(), 50u);
  EXPECT_EQ(rec.BytesReceived(), 50 * 5000);
}

// An event lost to a full ring must leave no dump recorded short and none of
// its pieces recorded as messages of their own: the dump is dropped whole, what
// follows is kept.
TEST(SimRecorder, ALostPieceDropsItsDumpWhole)
{
  const Bytes dumpA = MakeSimDump(3000, 1), dumpB = MakeSimDump(300, 2);
  const Bytes note = {0x80, 0x3C, 0x00}, clock = {0xF8};
  const Bytes tooBig(5000, 0x11); // larger than the ring: refused like an overflow
  const std::vector<Bytes> piecesA = {Bytes(dumpA.begin(), dumpA.begin() + 1000),
                                      Bytes(dumpA.begin() + 1000, dumpA.begin() + 2000),
                                      Bytes(dumpA.begin() + 2000, dumpA.end())};
  for (size_t lost = 0; lost < piecesA.size(); ++lost)
  {
    SimRecorder rec(nullptr, 4096);
    rec.Start(0, 48000.0);
    for (size_t p = 0; p < piecesA.size(); ++p)
    {
      if (p == lost)
      {
        EXPECT_FALSE(rec.Push(tooBig.data(), tooBig.size(), 0));
      }
      else
      {
        ASSERT_TRUE(rec.Push(piecesA[p].data(), piecesA[p].size(), 0));
      }
      if (p == 1)
      {
        ASSERT_TRUE(rec.Push(clock.data(), clock.size(), 0)); // real time, inside the dump
      }
    }
    ASSERT_TRUE(rec.Push(note.data(), note.size(), 0));
    ASSERT_TRUE(rec.Push(dumpB.data(), dumpB.size(), 0));
    rec.Stop();
    EXPECT_EQ(rec.Overflows(), 1);
    const auto got = rec.Received();
    ASSERT_EQ(got.size(), 3u) << "piece " << lost << " lost";
    EXPECT_EQ(got[0].bytes, clock);
    EXPECT_EQ(got[1].bytes, note);
    EXPECT_EQ(got[2].bytes, dumpB);
  }
}

// The failing case seen under load, many times over: dumps of the synthesizer's
// largest size and smaller ones in pieces of up to 8 KB, short messages between
// them, pushed from one thread while the recorder reassembles and another thread
// reads the record. Every message arrives whole and unchanged.
TEST(SimRecorder, ManyLargeDumpsInPiecesWhileTheReaderDrains)
{
  const int kMessages = 300;
  std::mt19937 plan(11);
  std::vector<Bytes> messages;
  std::vector<int> pieceSizes;
  for (int i = 0; i < kMessages; ++i)
  {
    switch (plan() % 4)
    {
    case 0: messages.push_back({0xC0, (unsigned char)(i & 0x7F)}); break;
    case 1: messages.push_back({0x90, (unsigned char)(i & 0x7F), 0x64}); break;
    case 2: messages.push_back(MakeSimDump(37163, i)); break;
    default: messages.push_back(MakeSimDump(5 + plan() % 20000, i)); break;
    }
    pieceSizes.push_back(1 + plan() % SimPacing::kMaxPieceBytes);
  }

  std::atomic<size_t> seenByCallback{0};
  std::atomic<bool> callbackSawBadSize{false};
  SimRecorder rec(nullptr, 256 * 1024);
  rec.SetOnReceive([&](const SimMessage& m) {
    const size_t i = seenByCallback.fetch_add(1);
    if (i >= messages.size() || m.bytes.size() != messages[i].size()) callbackSawBadSize.store(true);
  });
  rec.Start(0, 48000.0);

  std::atomic<bool> writerFailed{false};
  std::thread writer([&] {
    for (int i = 0; i < kMessages; ++i)
    {
      // At most four messages ahead of the recorder: the ring of 256 KB never fills.
      if (!PollUntil([&] { return rec.ReceivedCount() + 4 >= (size_t)i; }))
      {
        writerFailed.store(true);
        return;
      }
      const Bytes& m = messages[i];
      for (size_t at = 0; at < m.size(); at += pieceSizes[i])
        if (!rec.Push(m.data() + at, std::min<size_t>(pieceSizes[i], m.size() - at), (uint32_t)i))
          writerFailed.store(true);
    }
  });
  // The reader side: copies of the record taken while it grows.
  size_t lastCount = 0;
  bool shrank = false;
  while (!rec.WaitForReceived(kMessages, 1))
  {
    const auto got = rec.Received();
    if (got.size() < lastCount) shrank = true;
    lastCount = got.size();
    if (writerFailed.load()) break;
  }
  writer.join();
  rec.Stop();

  EXPECT_FALSE(writerFailed.load());
  EXPECT_FALSE(shrank);
  EXPECT_FALSE(callbackSawBadSize.load());
  EXPECT_EQ(rec.Overflows(), 0);
  const auto got = rec.Received();
  ASSERT_EQ(got.size(), messages.size());
  long long total = 0;
  for (int i = 0; i < kMessages; ++i)
  {
    EXPECT_EQ(got[i].bytes, messages[i]) << "message " << i << " of " << messages[i].size() << " bytes";
    EXPECT_DOUBLE_EQ(got[i].seconds, i / 48000.0);
    total += (long long)messages[i].size();
  }
  EXPECT_EQ(rec.BytesReceived(), total);
}
