// MIDI through JACK: round trips of a short message and of a program dump from
// the plug-in to the simulated synthesizer (which echoes) and back, and the
// delivery of a 37,163-byte dump paced like the hardware. Starts its own JACK
// server with 64-frame periods (1.33 ms at 48 kHz), so that a round trip shows
// what the port layer adds beyond the periods. Reports the time spent in the send
// call and the CPU time of every thread of this process (the plug-in's and the
// simulated synthesizer's; the JACK server is another process) a message. Run it
// under timeout (a JACK client whose server dies can hang).

#include "JackTestServer.h"
#include "SynthSim.h"
#include "TestPlug.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <thread>

namespace {

JackTestServer gServer;
std::unique_ptr<SynthSim> gSim;
std::unique_ptr<TestPlug> gPlug;

const int kPeriodFrames = 64;

// Nanoseconds on the processor of every thread of this process, by thread name
// (threads of one name summed), from /proc/self/task/*/schedstat.
std::map<std::string, uint64_t> threadCpu()
{
  std::map<std::string, uint64_t> cpu;
  DIR* tasks = opendir("/proc/self/task");
  if (!tasks) return cpu;
  while (dirent* e = readdir(tasks))
  {
    if (e->d_name[0] == '.') continue;
    const std::string base = std::string("/proc/self/task/") + e->d_name;
    std::ifstream comm(base + "/comm"), stat(base + "/schedstat");
    std::string name;
    uint64_t ns = 0;
    if (std::getline(comm, name) && (stat >> ns)) cpu[name] += ns;
  }
  closedir(tasks);
  return cpu;
}

// CPU microseconds a message, each thread name and all together, since before.
void reportCpu(benchmark::State& state, const std::map<std::string, uint64_t>& before, double messages)
{
  uint64_t all = 0;
  for (const auto& t : threadCpu())
  {
    const auto b = before.find(t.first);
    const uint64_t used = t.second - (b == before.end() ? 0 : b->second);
    all += used;
    if (used) state.counters["cpu us/msg " + t.first] = used / 1e3 / messages;
  }
  state.counters["cpu us/msg, all threads"] = all / 1e3 / messages;
}

using Clock = std::chrono::steady_clock;

void RoundTripShort(benchmark::State& state)
{
  IMidiMsg cc(0, 0xB0, 0x4A, 0x00);
  Clock::duration sending{};
  const auto cpu = threadCpu();
  for (auto _ : state)
  {
    gPlug->Clear();
    cc.mData2 = (unsigned char)((cc.mData2 + 1) & 0x7F);
    const Clock::time_point t0 = Clock::now();
    gPlug->SendMidiMsg(&cc);
    sending += Clock::now() - t0;
    if (!gPlug->WaitFor(1, 5000)) state.SkipWithError("no echo within 5 s");
  }
  reportCpu(state, cpu, (double)state.iterations());
  state.counters["send call us"] = std::chrono::duration<double, std::micro>(sending).count() / state.iterations();
}
BENCHMARK(RoundTripShort)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

// No message: the JACK clients' own work over the two periods a round trip takes,
// to be taken off the round trips' CPU figures.
void IdleTwoPeriods(benchmark::State& state)
{
  const auto twoPeriods = std::chrono::microseconds(2 * kPeriodFrames * 1000000 / 48000);
  const auto cpu = threadCpu();
  for (auto _ : state) std::this_thread::sleep_for(twoPeriods);
  reportCpu(state, cpu, (double)state.iterations());
}
BENCHMARK(IdleTwoPeriods)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void RoundTripDump(benchmark::State& state)
{
  std::vector<unsigned char> dump = MakeSimDump(297, 1);
  Clock::duration sending{};
  const auto cpu = threadCpu();
  for (auto _ : state)
  {
    gPlug->Clear();
    const Clock::time_point t0 = Clock::now();
    gPlug->SendPatchSysex(dump.data(), (int)dump.size());
    sending += Clock::now() - t0;
    if (!gPlug->WaitForSysEx(dump, 5000)) state.SkipWithError("no whole echo within 5 s");
  }
  reportCpu(state, cpu, (double)state.iterations());
  state.counters["send call us"] = std::chrono::duration<double, std::micro>(sending).count() / state.iterations();
}
BENCHMARK(RoundTripDump)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

// Pieces of range(0) bytes at range(1) bytes a second (0: one piece a JACK period).
void DeliverLargeDump(benchmark::State& state)
{
  const std::vector<unsigned char> dump = MakeSimDump(37163, 2);
  const SimPacing pacing = SimPacing::Pieces((int)state.range(0), (double)state.range(1));
  gSim->SetEcho(false);
  for (auto _ : state)
  {
    gPlug->Clear();
    gSim->Send(dump, pacing);
    if (!gPlug->WaitForSysEx(dump, 60000)) state.SkipWithError("dump not whole within 60 s");
  }
  gSim->SetEcho(true);
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)dump.size());
}
BENCHMARK(DeliverLargeDump)
    ->Args({256, 3125})   // the synthesizer's cable
    ->Args({1024, 0})
    ->Args({8192, 0})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  std::string error;
  gServer.SetPeriodFrames(kPeriodFrames);
  if (!gServer.Start(&error))
  {
    fprintf(stderr, "bench_midi: %s\n", error.c_str());
    return 1;
  }
  gSim.reset(new SynthSim("Rudu"));
  if (!gSim->Open(&error))
  {
    fprintf(stderr, "bench_midi: %s\n", error.c_str());
    return 1;
  }
  gSim->SetEcho(true);
  gPlug.reset(new TestPlug);
  gPlug->getExternalMIDIOutNames();
  gPlug->getExternalMIDIInNames();
  int out = 1, in = 1;
  if (gPlug->setExternalMIDIOut(out, gSim->InputPortName().c_str()) != 1 ||
      gPlug->setExternalMIDIIn(in, gSim->OutputPortName().c_str()) != 1 || !gSim->WaitForConnections(1, 1, 10000))
  {
    fprintf(stderr, "bench_midi: cannot open the ports\n");
    return 1;
  }
  // The port layer logs every message to standard output: figures go to stderr.
  if (!freopen("/dev/null", "w", stdout)) return 1;
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  gPlug.reset();
  gSim.reset();
  gServer.Stop();
  return 0;
}
