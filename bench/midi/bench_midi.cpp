// MIDI through JACK: round trips of a short message and of a program dump from
// the plug-in to the simulated synthesizer (which echoes) and back, and the
// delivery of a 37,163-byte dump paced like the hardware. Starts its own JACK
// server; run it under timeout (a JACK client whose server dies can hang).

#include "JackTestServer.h"
#include "SynthSim.h"
#include "TestPlug.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <memory>

namespace {

JackTestServer gServer;
std::unique_ptr<SynthSim> gSim;
std::unique_ptr<TestPlug> gPlug;

void RoundTripShort(benchmark::State& state)
{
  IMidiMsg cc(0, 0xB0, 0x4A, 0x00);
  for (auto _ : state)
  {
    gPlug->Clear();
    cc.mData2 = (unsigned char)((cc.mData2 + 1) & 0x7F);
    gPlug->SendMidiMsg(&cc);
    if (!gPlug->WaitFor(1, 5000)) state.SkipWithError("no echo within 5 s");
  }
}
BENCHMARK(RoundTripShort)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void RoundTripDump(benchmark::State& state)
{
  std::vector<unsigned char> dump = MakeSimDump(297, 1);
  for (auto _ : state)
  {
    gPlug->Clear();
    gPlug->SendPatchSysex(dump.data(), (int)dump.size());
    if (!gPlug->WaitForSysEx(dump, 5000)) state.SkipWithError("no whole echo within 5 s");
  }
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
