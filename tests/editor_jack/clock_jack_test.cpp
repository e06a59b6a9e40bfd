// The MIDI clock as the simulated synthesizer receives it over JACK from the
// plug-in in the test host: Start and Stop follow the host's transport, the
// timing clock keeps the host's tempo (with its decimals) on average, no interval
// is much longer than it should be, and the clock ends promptly when switched off.
// Each tick lies at the frame it falls due, on a machine whose every processor is
// busy and across a stall of the server.

#include "JackTestServer.h"
#include "SynthSim.h"
#include "ThreadSanitizer.h"
#include "TestFiles.h"
#include "config/ParamIds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

struct ClockRun
{
  std::vector<double> ticks;  // seconds, as received
  std::vector<double> jackTimes;  // seconds: JACK's time of the frame each tick was written at
  double start = -1, stop = -1;
  int starts = 0, stops = 0;
  int editOffs = 0, cc95s = 0;  // F0 42 30 58 4E 00 00 F7 and controller 95
};

// One host run: clock on, transport stopped, then playing for 4.2 s, then the
// clock switched off and the transport stopped together.
ClockRun RunHost(SynthSim& sim, const std::string& data, double tempo, std::string* log)
{
  sim.ClearReceived();
  const std::string logFile = data + "/host.log";
  char cmd[2048];
  snprintf(cmd, sizeof cmd,
           "DAVREL_DATA_DIR='%s' DAVREL_TIME_SCALE=0.1 timeout 60 '%s' --bundle '%s' --tempo %g --stopped --blocks 0 "
           "--in '%s' --out '%s' --set %d=1 --set %d=1 --run 0.3 --play --run 4.2 "
           "--set %d=0 --stop --run 0.3 >'%s' 2>&1",
           data.c_str(), DAVREL_HOST_PROGRAM, DAVREL_PLUGIN_BUNDLE, tempo, sim.OutputPortName().c_str(),
           sim.InputPortName().c_str(), (int)kSendMIDIClockPointer,
           (int)kSendMIDIClockInfo, (int)kSendMIDIClockInfo, logFile.c_str());
  const int status = std::system(cmd);
  if (FILE* f = fopen(logFile.c_str(), "rb"))
  {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) log->append(buf, n);
    fclose(f);
  }
  EXPECT_EQ(status, 0) << *log;
  ClockRun r;
  for (const SimMessage& m : sim.Received())
  {
    if (m.bytes.size() != 1) continue;
    if (m.bytes[0] == 0xF8)
    {
      r.ticks.push_back(m.seconds);
      r.jackTimes.push_back(m.jackMicros / 1e6);
    }
    if (m.bytes[0] == 0xFA && r.starts++ == 0) r.start = m.seconds;
    if (m.bytes[0] == 0xFC && r.stops++ == 0) r.stop = m.seconds;
  }
  const SimBytes editOff = {0xF0, 0x42, 0x30, 0x58, 0x4E, 0x00, 0x00, 0xF7};
  for (const SimMessage& m : sim.Received())
  {
    r.editOffs += m.bytes == editOff;
    r.cc95s += m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] == 95;
  }
  return r;
}

TEST(ClockOverJack, FollowsTheHostsTransportAndTempo)
{
  TempFolder data("davrel-clock");
  JackTestServer server;
  SynthSim sim("Rudu");
  std::string error;
  ASSERT_TRUE(server.Start(&error)) << error;
  ASSERT_TRUE(sim.Open(&error)) << error;
  const double period = sim.PeriodFrames() / sim.SampleRate();

  for (double tempo : {120.0, 99.9})
  {
    SCOPED_TRACE(tempo);
    std::string log;
    // A thread of ordinary priority spinning on every processor, and the server
    // stalled for 40 ms at the 50th tick (the receiver held, as a page fault would).
    std::atomic<bool> stop{false};
    std::atomic<int> seen{0};
    std::vector<std::thread> busy(std::max(2u, std::thread::hardware_concurrency()));
    for (std::thread& t : busy) t = std::thread([&stop] { while (!stop.load(std::memory_order_relaxed)) {} });
    sim.SetOnReceive([&](const SimMessage& m) {
      if (m.bytes == SimBytes{0xF8} && ++seen == 50) sim.StallNextRead(std::chrono::milliseconds(40));
    });
    const ClockRun r = RunHost(sim, data.path(), tempo, &log);
    sim.SetOnReceive(nullptr);
    stop.store(true);
    for (std::thread& t : busy) t.join();
    // The clock runs at whole beats per minute: 99.9 goes out as 99.
    const double ideal = 60.0 / (24.0 * std::floor(tempo));
    // Start once the transport plays, Stop once it stops, ticks in between.
    ASSERT_EQ(r.starts, 1) << log;
    ASSERT_EQ(r.stops, 1) << log;
    EXPECT_GT(r.stop - r.start, 4.0);
    ASSERT_GT(r.ticks.size(), 150u) << log;
    EXPECT_LT(r.ticks.front(), r.start);

    // The interval over the whole run (about 4.5 s), from the lower edge of the
    // ticks: a tick is never early, only late (a loaded machine stalling either
    // side, the ticks caught up after a stall, the receiving period's grid), so
    // the least lateness against the ideal timeline in the first and in the last
    // quarter of the run marks two ticks on time (within a period), however many
    // others came late. A clock at the wrong tempo drifts between them. Measured on
    // JACK's clock (the times of the ticks' frames), which the clock keeps: the
    // count of frames does not keep time on a loaded machine (the dummy back end
    // starts its timeline again after a late cycle, and the frames lost make every
    // interval look shorter: 99 BPM seen as 100 at a load of 70).
    const std::vector<double>& at = r.jackTimes;
    const size_t quarter = at.size() / 4;
    auto leastLate = [&](size_t from) {
      size_t best = from;
      for (size_t i = from; i < from + quarter; ++i)
        if (at[i] - i * ideal < at[best] - best * ideal) best = i;
      return best;
    };
    const size_t first = leastLate(0), last = leastLate(at.size() - quarter);
    const double mean = (at[last] - at[first]) / (double)(last - first);
    EXPECT_NEAR(mean, ideal, ideal * (kThreadSanitizer ? 0.03 : 0.005));
    double longest = 0;
    for (size_t i = 1; i < r.ticks.size(); ++i)
      if (r.ticks[i] - r.ticks[i - 1] > longest) longest = r.ticks[i] - r.ticks[i - 1];
    // A stall of the server (seen as a late cycle of the receiver) delays what it
    // carries, whatever the sender does; the clock is answerable for the rest.
    EXPECT_LT(longest, (kThreadSanitizer ? 4 : 2) * ideal + std::max(0.0, sim.LongestCycleGap() - period))
      << sim.LongestCycleGap();
    // Each tick at its frame: JACK's times of their frames (its clock follows the
    // server's pace) lie on the timeline within two frames, the least late marking it.
    // A late cycle of the server moves JACK's clock itself (the back end starts its
    // timeline again after it), by as much as the cycle came late at most.
    std::vector<double> off;
    for (const double t : r.jackTimes) off.push_back(t - off.size() * ideal);
    const auto range = std::minmax_element(off.begin(), off.end());
    EXPECT_LE(*range.second - *range.first, 2 / sim.SampleRate() + std::max(0.0, sim.LongestCycleGap() - period))
      << sim.LongestCycleGap();
    // Switched off together with the transport's stop: no tick later than one
    // interval after the Stop (received on the period grid).
    EXPECT_LT(r.ticks.back(), r.stop + ideal + period);
    // Nothing from the instance the host restores to check the saved state: it
    // opens no port, so neither its recall nor its closing reaches the synthesizer.
    EXPECT_EQ(r.editOffs, 0) << log;
    EXPECT_EQ(r.cc95s, 0) << log;
  }
  sim.Close();
  server.Stop();
}

}  // namespace
