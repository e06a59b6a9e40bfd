// The MIDI clock jobs in-process: the tempo each source gives, the edge cases of
// the loop's start and stop, the absolute timeline, a stop seen at once, and the
// CPU the clock thread uses while it runs; the loop handing its run to an output
// that places the ticks itself (over JACK), and the timeline that output follows.

#include "FakeHost.h"
#include "PollUntil.h"
#include "plug/ClockTimeline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace
{
typedef std::chrono::steady_clock Clock;

struct TempoHost : FakeHost
{
  std::vector<std::string> tempos{"20", "120", "99.9", "abc", "125 BPM"};
  std::string valueListEntry(const char* list, int index) override
  {
    if (std::string(list) != "tempoValues" || index < 0 || index >= (int)tempos.size()) return std::string();
    return tempos[(size_t)index];
  }
  // An output that places the ticks itself, once placing is set: its first tick's time.
  std::atomic<bool> placing{false};
  std::atomic<int> placedStarts{0}, placedStops{0};
  std::atomic<int64_t> placedFrom{0};
  bool startPlacedMidiClock(int64_t firstNs, int64_t) override
  {
    if (placing.load()) placedFrom.store(firstNs);
    return placing.load() && ++placedStarts;
  }
  unsigned long long stopPlacedMidiClock() override { return ++placedStops; }
};

class ClockJobs : public testing::Test
{
protected:
  void SetUp() override
  {
    manager.reset(new MIDIMessageManager(&host, nullptr, nullptr, nullptr));
    host.manager = manager.get();
    host.sendMIDIClockInfo = true;
    host.sendMIDIClockPointer = true;
    host.hostTempo = 120.0;
    host.SetParam(kOverrideTempo, 1.0);
    host.wire = [this](const Bytes& m) {
      std::lock_guard<std::mutex> l(timesLock);
      if (m == Bytes{0xF8}) times.push_back(Clock::now());
    };
  }
  void TearDown() override { manager.reset(); }

  MIDIMessageSender* clock() { return manager->sender(kMIDIClockThread); }
  bool StartLoop()
  {
    manager->resetContinuousClock(false);
    return manager->startJob(SenderJob(kSendContinuousMIDIClock));
  }
  size_t Ticks()
  {
    std::lock_guard<std::mutex> l(timesLock);
    return times.size();
  }
  // Bounded wait for n ticks, on the ticks themselves.
  bool WaitTicks(size_t n, int timeoutMs)
  {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Ticks() < n)
    {
      if (Clock::now() > end) return false;
      std::this_thread::yield();
    }
    return true;
  }

  TempoHost host;
  std::unique_ptr<MIDIMessageManager> manager;
  std::mutex timesLock;
  std::vector<Clock::time_point> times;
};

TEST_F(ClockJobs, TempoSources)
{
  struct Case
  {
    double override, hostTempo, arpIndex, bpm;
  } cases[] = {{1, 120.0, 0, 120.0}, {1, 99.9, 0, 99}, {1, 0.5, 0, 0}, {0, 0, 1, 120},
               {0, 0, 4, 125},       {0, 0, 3, 0},        {0, 0, 9, 0},     {0, 0, -1, 0},
               // An index a hair below its whole value is that index, not the one before.
               {0, 0, 4 - 1e-14, 125}, {0, 0, 1 + 1e-14, 120}};
  for (const Case& c : cases)
  {
    host.SetParam(kOverrideTempo, c.override);
    host.hostTempo = c.hostTempo;
    host.SetParam(kArpTempo, c.arpIndex);
    EXPECT_DOUBLE_EQ(clock()->clockTempoBpm(), c.bpm) << c.override << " " << c.hostTempo << " " << c.arpIndex;
  }
}

TEST_F(ClockJobs, StartAndEndCases)
{
  // No tempo (below 1 BPM): nothing at all, the job ends.
  host.hostTempo = 0.5;
  ASSERT_TRUE(StartLoop());
  ASSERT_TRUE(manager->waitIdle(kMIDIClockThread, 2000));
  EXPECT_EQ(Ticks(), 0u);
  // Clock info off: nothing.
  host.hostTempo = 120.0;
  host.sendMIDIClockInfo = false;
  ASSERT_TRUE(StartLoop());
  ASSERT_TRUE(manager->waitIdle(kMIDIClockThread, 2000));
  EXPECT_EQ(Ticks(), 0u);
  // Already stopped: exactly one tick, at whole beats per minute and whole
  // nanoseconds: 99.9 counts as 99, 60e9 / (99 x 24) = 25,252,525.
  host.sendMIDIClockInfo = true;
  host.placing = true;  // an output that places the ticks takes no run stopped before it starts
  host.hostTempo = 99.9;
  manager->resetContinuousClock(true);
  ASSERT_TRUE(manager->startJob(SenderJob(kSendContinuousMIDIClock)));
  ASSERT_TRUE(manager->waitIdle(kMIDIClockThread, 2000));
  EXPECT_EQ(Ticks(), 1u);
  EXPECT_EQ(clock()->clockInterval.load(), 25252525);
  // Start and Stop follow their switch.
  host.ClearSent();
  for (bool pointer : {false, true})
  {
    host.sendMIDIClockPointer = pointer;
    ASSERT_TRUE(manager->startJob(SenderJob(kStartMIDIClockOutput)));
    ASSERT_TRUE(manager->waitIdle(kClockControlThread, 2000));
    ASSERT_TRUE(manager->startJob(SenderJob(kStopMIDIClockOutput)));
    ASSERT_TRUE(manager->waitIdle(kClockControlThread, 2000));
  }
  EXPECT_EQ(host.Sent(), (std::vector<Bytes>{{0xFA}, {0xFC}}));
}

TEST_F(ClockJobs, TicksKeepAnAbsoluteTimelineAndStopAtOnce)
{
  // 300 BPM (8.33 ms) keeps the run short; the interval keeps its fraction.
  host.hostTempo = 300.0;
  ASSERT_TRUE(StartLoop());
  ASSERT_TRUE(WaitTicks(61, 5000));
  // A tempo change of the host does not change the running loop's interval.
  host.hostTempo = 60.0;
  EXPECT_EQ(clock()->clockInterval.load(), 8333333);
  const Clock::time_point stopAt = Clock::now();
  manager->resetContinuousClock(true);
  ASSERT_TRUE(manager->waitIdle(kMIDIClockThread, 2000));

  std::vector<Clock::time_point> t;
  {
    std::lock_guard<std::mutex> l(timesLock);
    t = times;
  }
  // The loop ends at once: at most the tick already on its way follows the stop
  // (counted, not timed, so a loaded machine cannot fail it).
  EXPECT_LE(std::count_if(t.begin(), t.end(), [&](Clock::time_point x) { return x > stopAt; }), 1);
  ASSERT_GE(t.size(), 61u);
  // Tick k is due at k intervals after the first: the sum of the lateness never
  // grows. A tick is never early, only late (a loaded machine), so the least late
  // of the first and of the last 20 are on time, and the mean between them is the
  // interval itself (loose bound: 2%).
  const auto late = [&](size_t k) { return std::chrono::duration<double, std::nano>(t[k] - t[0]).count() - k * 8333333.3; };
  const auto leastLate = [&](size_t from) {
    size_t best = from;
    for (size_t k = from; k < from + 20; ++k)
      if (late(k) < late(best)) best = k;
    return best;
  };
  const size_t first = leastLate(0), last = leastLate(41);
  const double span = std::chrono::duration<double, std::nano>(t[last] - t[first]).count();
  EXPECT_NEAR(span / (double)(last - first), 8333333.3, 8333333.3 * 0.02);
  // The thread sleeps between ticks: a loop that spun would take nearly all of
  // its wall time. How little it takes is the benchmark's, not this row's (the
  // sanitizers and a loaded machine move it).
  const double cpu = (double)clock()->lastClockCpuNs.load(), wall = (double)clock()->lastClockWallNs.load();
  ASSERT_GT(wall, 0.0);
  EXPECT_LT(cpu / wall, 0.3) << "cpu " << cpu << " ns over " << wall << " ns";
}

TEST_F(ClockJobs, LosingThePortEndsTheLoopAndEveryInstanceHasItsOwnClock)
{
  TempoHost other;
  MIDIMessageManager otherManager(&other, nullptr, nullptr, nullptr);
  other.manager = &otherManager;
  other.sendMIDIClockInfo = true;
  other.hostTempo = 300.0;
  other.SetParam(kOverrideTempo, 1.0);
  otherManager.resetContinuousClock(false);
  ASSERT_TRUE(otherManager.startJob(SenderJob(kSendContinuousMIDIClock)));

  host.hostTempo = 300.0;
  ASSERT_TRUE(StartLoop());
  ASSERT_TRUE(WaitTicks(3, 2000));
  host.midiOutSet = false;
  ASSERT_TRUE(manager->waitIdle(kMIDIClockThread, 2000));
  EXPECT_TRUE(manager->clockStopped());
  // The other instance's clock still runs.
  EXPECT_FALSE(otherManager.clockStopped());
  EXPECT_TRUE(otherManager.isRunning(kMIDIClockThread));
  otherManager.resetContinuousClock(true);
  ASSERT_TRUE(otherManager.waitIdle(kMIDIClockThread, 2000));
}

// An output that places the ticks takes the run from the start, or once ready (after
// 3 ticks) from the tick after the last the thread sent (none twice); the thread
// sends none after, and the stop or the port going ends it too.
TEST_F(ClockJobs, AnOutputThatPlacesTheTicksTakesTheRunAndTheLoopOnlyWatches)
{
  host.hostTempo = 300.0;
  for (int placedAfter : {0, 3})
  {
    SCOPED_TRACE(placedAfter);
    host.placing = placedAfter == 0;
    ASSERT_TRUE(StartLoop());
    ASSERT_TRUE(WaitTicks((size_t)placedAfter, 2000));
    host.placing = true;
    ASSERT_TRUE(pollUntil([&] { return host.placedStarts.load() == (placedAfter ? 2 : 1); }, 2000));
    const size_t sent = Ticks();
    if (placedAfter)
    {
      std::lock_guard<std::mutex> l(timesLock);
      const int64_t lastSent = std::chrono::duration_cast<std::chrono::nanoseconds>(times.back().time_since_epoch()).count();
      EXPECT_GT(host.placedFrom.load() - lastSent, 60000000000LL / (24 * 300) / 4);
    }
    if (placedAfter) host.midiOutSet = false;
    else manager->resetContinuousClock(true);
    ASSERT_TRUE(manager->waitIdle(kMIDIClockThread, 2000));
    EXPECT_TRUE(manager->clockStopped());
    EXPECT_EQ(host.placedStops.load(), host.placedStarts.load());
    EXPECT_EQ(Ticks(), placedAfter ? sent : 0u);
  }
}

// The ticks an output takes period by period (each its start and the row's length):
// on time; the first anchors the timeline where it goes; after a stall the missed
// ones follow at half an interval until the timeline is reached, none lost; a stall
// of more than a quarter note starts it again; a full period leaves the rest.
TEST(ClockTimelineRows, EachTickAtItsDueTimeAndStallsAsTheLoopHandlesThem)
{
  const struct { const char* name; int64_t first, interval, length; std::vector<int64_t> starts; int max;
                 std::vector<int64_t> ticks; } rows[] = {
      {"on time", 100, 1000, 700, {0, 700, 1400, 2100, 2800, 3500}, 64, {100, 1100, 2100, 3100, 4100}},
      {"first late", 100, 1000, 700, {600, 1300, 2000, 2700, 3400}, 64, {600, 1600, 2600, 3600}},
      {"stall", 100, 1000, 1000, {0, 5000, 6000, 7000, 8000, 9000, 10000}, 64,
       {100, 5000, 5500, 6000, 6500, 7000, 7500, 8000, 8500, 9100, 10100}},
      {"quarter note", 100, 1000, 1000, {0, 30000, 31000, 32000}, 64, {100, 30000, 31000, 32000}},
      {"full period", 0, 100, 1000, {0, 1000, 2000}, 2, {0, 100, 1000, 1050, 2000, 2050}},
  };
  int64_t at[64];
  for (const auto& row : rows)
  {
    ClockTimeline t;
    t.Start(row.first, row.interval);
    std::vector<int64_t> got;
    for (int64_t start : row.starts) got.insert(got.end(), at, at + t.Take(start, start + row.length, at, row.max));
    EXPECT_EQ(got, row.ticks) << row.name;
  }
}

}  // namespace
