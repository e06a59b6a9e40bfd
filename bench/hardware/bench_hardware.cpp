// The hardware protocol: parsing and building program and global dumps, routing a
// received dump through the manager, a program request round trip over JACK to the
// simulated synthesizer (answering at once, and at the pace of its cable), and a
// 128-program bank store on the scaled clock, and a request after one given up
// to a silent synthesizer. Starts its own JACK server; run it
// under timeout, with its standard output (the protocol's console lines) sent
// elsewhere and the figures taken from --benchmark_out. Goal: a dump parse under
// 10 microseconds.

#include "JackEditor.h"

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>
#include <ctime>

#include "JackTestServer.h"
#include "SynthModel.h"
#include "SynthSim.h"

#include "hardware/DumpLayout.h"
#include "librarian/PatchLibrarian.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace
{
struct PlainParams : DumpParamAccess
{
  std::vector<double> v = std::vector<double>(kNumParams, 0.0);
  double value(int id) override { return v[(size_t)id]; }
  void setValue(int id, double x) override { v[(size_t)id] = x; }
};

void ParseProgramDump(benchmark::State& state)
{
  const Bytes dump = SynthModel::MakeProgram(5);
  PlainParams p;
  for (auto _ : state)
  {
    parseProgramDumpParams(dump.data(), p, nullptr);
    benchmark::DoNotOptimize(p.v.data());
  }
}
BENCHMARK(ParseProgramDump);

void BuildProgramDump(benchmark::State& state)
{
  const Bytes dump = SynthModel::MakeProgram(5);
  PlainParams p;
  parseProgramDumpParams(dump.data(), p, nullptr);
  Bytes out(297);
  for (auto _ : state)
  {
    makeBlankProgramDump(0x30, out.data());
    buildProgramDumpParams(p, out.data());
    writeProgramDumpName("Benchmark", out.data());
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BuildProgramDump);

void ParseGlobalDump(benchmark::State& state)
{
  const Bytes g = SynthModel::MakeGlobals(3, false);
  PlainParams p;
  for (auto _ : state)
  {
    parseGlobalDumpParams(g.data(), p);
    benchmark::DoNotOptimize(p.v.data());
  }
}
BENCHMARK(ParseGlobalDump);

void BuildGlobalDump(benchmark::State& state)
{
  Bytes g = SynthModel::MakeGlobals(3, false);
  PlainParams p;
  parseGlobalDumpParams(g.data(), p);
  for (auto _ : state)
  {
    buildGlobalDumpParams(p, g.data());
    benchmark::DoNotOptimize(g.data());
  }
}
BENCHMARK(BuildGlobalDump);

// The whole incoming road of one program dump: router, stored bytes, name, parser.
void RouteProgramDump(benchmark::State& state)
{
  FakeHost host;
  MIDIMessageManager manager(&host, nullptr, nullptr, nullptr);
  host.manager = &manager;
  const Bytes dump = SynthModel::MakeProgram(8);
  for (auto _ : state)
  {
    manager.patchRequested.store(true);
    ISysEx s(0, dump.data(), (int)dump.size());
    host.ProcessSysEx(&s, true);
  }
}
BENCHMARK(RouteProgramDump);

JackTestServer gServer;
std::unique_ptr<SynthSim> gSim;
SynthModel gModel;
std::unique_ptr<SimResponder> gResponder;
std::unique_ptr<JackEditor> gEditor;
PatchLibrarian gLibrarian;
std::unique_ptr<MIDIMessageManager> gManager;

// A program request (command 5) over JACK; range(0) = 1 answers at the cable's pace.
void ProgramRequestRoundTrip(benchmark::State& state)
{
  gModel.faults.paced = state.range(0) != 0;
  SWELL_SetTimeScale(0.05);  // the answer wait polls every 5 ms
  for (auto _ : state)
  {
    SenderJob job(kSendPartRequest);
    job.requestTarget = true;
    if (!gManager->startJob(job) || !gManager->waitIdle(kTransferThread, 200000) ||
        gEditor->LastStatus() != "Data request completed!")
      state.SkipWithError("the request did not complete");
  }
  SWELL_SetTimeScale(1.0);
}
BENCHMARK(ProgramRequestRoundTrip)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// A program request after one to a silent synthesizer was given up (range(0) 0: the
// user's Cancel once the request went out; 1: its time-out), the synthesizer
// answering again: the time from the press to the answer, on the real clock (wait
// unit 100 ms), and to the request going out. The given-up request runs outside the
// timing.
void RequestAfterAGivenUpOne(benchmark::State& state)
{
  SWELL_SetTimeScale(1.0);
  SenderJob job(kSendPartRequest);
  job.requestTarget = true;
  double out = 0;
  for (auto _ : state)
  {
    state.PauseTiming();
    gModel.faults.silent = true;
    bool ended = gManager->startJob(job);
    if (state.range(0) == 0)
    {
      for (int i = 0; i < 400 && gEditor->LastStatus() != "Data processing, please wait..."; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      gManager->requestCancel();
    }
    ended = ended && gManager->waitIdle(kTransferThread, 60000);
    gModel.faults.silent = false;
    gEditor->ClearSent();
    const DWORD pressed = GetTickCount();
    state.ResumeTiming();
    if (!ended || !gManager->startJob(job) || !gManager->waitIdle(kTransferThread, 60000) ||
        gEditor->LastStatus() != "Data request completed!")
      state.SkipWithError("the request after the given-up one did not complete");
    // The press to the program request going out (the job's own waits follow it).
    const std::vector<Bytes> sent = gEditor->Sent();
    const std::vector<DWORD> at = gEditor->SentAt();
    for (size_t i = 0; i < sent.size() && i < at.size(); ++i)
      if (sent[i].size() == 6 && sent[i][4] == 0x10)
      {
        out += (double)(at[i] - pressed);
        break;
      }
  }
  state.counters["request out ms"] = benchmark::Counter(out / (double)state.iterations());
}
BENCHMARK(RequestAfterAGivenUpOne)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// A bank store of 128 programs with every fixed wait cut to a hundredth.
void BankStore(benchmark::State& state)
{
  for (int p = 0; p < 128; ++p)
    gLibrarian.patchFiles[0]->patches[(size_t)p].messages.assign(1, PatchSysexMessage{SynthModel::MakeProgram(p + 7)});
  SWELL_SetTimeScale(0.01);
  for (auto _ : state)
  {
    if (!gManager->startJob(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)) ||
        !gManager->waitIdle(kTransferThread, 20000000) || gEditor->LastStatus() != "Data write completed!")
      state.SkipWithError("the store did not complete");
  }
  SWELL_SetTimeScale(1.0);
}
BENCHMARK(BankStore)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(2);

// The MIDI clock at 120 BPM for 10 s as the simulated synthesizer receives it
// over JACK (on the period grid) and as the clock thread hands the bytes to the
// port: standard deviation and longest of the F8 intervals.
void ClockJitter(benchmark::State& state)
{
  std::mutex lock;
  std::vector<double> sent;
  auto send = gEditor->wire;
  gEditor->wire = [&](const Bytes& m) {
    if (m == Bytes{0xF8})
    {
      timespec ts;
      clock_gettime(CLOCK_MONOTONIC, &ts);
      std::lock_guard<std::mutex> l(lock);
      sent.push_back(ts.tv_sec + ts.tv_nsec * 1e-9);
    }
    send(m);
  };
  gEditor->hostTempo = 120.0;
  gEditor->SetParam(kOverrideTempo, 1.0);
  gEditor->sendMIDIClockInfo = true;
  auto stats = [](const std::vector<double>& t, double* sd, double* worst) {
    double sum = 0, sq = 0;
    *worst = 0;
    for (size_t i = 1; i < t.size(); ++i)
    {
      const double d = t[i] - t[i - 1];
      sum += d;
      sq += d * d;
      if (d > *worst) *worst = d;
    }
    const double n = (double)(t.size() - 1), mean = sum / n;
    *sd = std::sqrt(sq / n - mean * mean);
  };
  for (auto _ : state)
  {
    gSim->ClearReceived();
    sent.clear();
    gManager->resetContinuousClock(false);
    gManager->startJob(SenderJob(kSendContinuousMIDIClock));
    std::this_thread::sleep_for(std::chrono::seconds(10));
    gManager->resetContinuousClock(true);
    gManager->waitIdle(kMIDIClockThread, 2000);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<double> received;
    for (const SimMessage& m : gSim->Received())
      if (m.bytes == SimBytes{0xF8}) received.push_back(m.seconds);
    double sd = 0, worst = 0;
    stats(received, &sd, &worst);
    state.counters["rx_sd_ms"] = sd * 1e3;
    state.counters["rx_worst_ms"] = worst * 1e3;
    {
      std::lock_guard<std::mutex> l(lock);
      stats(sent, &sd, &worst);
    }
    state.counters["tx_sd_ms"] = sd * 1e3;
    state.counters["tx_worst_ms"] = worst * 1e3;
    state.counters["ticks"] = (double)received.size();
    const MIDIMessageSender* clock = gManager->sender(kMIDIClockThread);
    state.counters["cpu_pct"] = 100.0 * (double)clock->lastClockCpuNs.load() / (double)clock->lastClockWallNs.load();
  }
  gEditor->wire = send;
  gEditor->sendMIDIClockInfo = false;
}
BENCHMARK(ClockJitter)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// One randomization of a whole program (both timbres, no lock), console lines
// included (send standard output elsewhere).
void RandomizeProgram(benchmark::State& state)
{
  FakeHost host;
  MIDIMessageManager manager(&host, nullptr, nullptr, nullptr);
  host.manager = &manager;
  for (int id : {(int)kArpOnOff, (int)kArpLatch, (int)kEG1Reset, (int)kEG1Reset + 1, (int)kVoiceTrigger})
    host.maxs[(size_t)id] = 1;
  unsigned seed = 1;
  for (auto _ : state)
  {
    manager.randomGenerator(seed++);
    manager.randomizePatchSettings(0);
  }
}
BENCHMARK(RandomizeProgram)->Unit(benchmark::kMicrosecond);
}  // namespace

int main(int argc, char** argv)
{
  std::string error;
  if (!gServer.Start(&error))
  {
    fprintf(stderr, "JACK test server: %s\n", error.c_str());
    return 1;
  }
  gSim.reset(new SynthSim("Rudu"));
  if (!gSim->Open(&error))
  {
    fprintf(stderr, "synth-sim: %s\n", error.c_str());
    return 1;
  }
  gResponder.reset(new SimResponder(*gSim, gModel));
  gEditor.reset(new JackEditor);
  gEditor->getExternalMIDIOutNames();
  gEditor->getExternalMIDIInNames();
  int out = 1, in = 1;
  if (gEditor->setExternalMIDIOut(out, gSim->InputPortName().c_str()) != 1 ||
      gEditor->setExternalMIDIIn(in, gSim->OutputPortName().c_str()) != 1 || !gSim->WaitForConnections(1, 1, 10000))
  {
    fprintf(stderr, "ports did not connect\n");
    return 1;
  }
  gManager.reset(new MIDIMessageManager(gEditor.get(), nullptr, &gLibrarian, nullptr));
  gEditor->manager = gManager.get();
  gLibrarian.patchFiles.push_back(new PatchFile);
  gLibrarian.patchFiles.back()->patches.resize(128);

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  gEditor->StopMidiInput();
  gManager.reset();
  gSim->Close();
  gResponder.reset();
  gEditor.reset();
  gSim.reset();
  gServer.Stop();
  return 0;
}
