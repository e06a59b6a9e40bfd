// The editor controller: start-up to the first drawn frame, one control action
// from the value change to the bytes handed to an open JACK port, and the audio
// callback idle and with the clock running.
//
// Start-up is what a user waits for when a host opens the editor: a fresh process
// (this program started again for every sample) that loads the bundle's
// configuration and images (the resources beside this program are the bundle's)
// and scans a data folder of 2,000 banks, up to the end of the first drawing pass
// of the whole surface. Left out: the host's own start, showing the window on a
// display (the surface is drawn, not presented) and a JACK server (none runs, and
// none is started, so the port menus find no ports, as on a machine without one).

#include "BankTree.h"
#include "FreshProcess.h"
#include "JackTestServer.h"
#include "plug/JackMidiOwner.h"
#include "SynthSim.h"
#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "editor/PatchManager.h"
#include "librarian/PatchLibrarian.h"
#include "gui/IGraphics.h"
#include "ui/ControlAction.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <signal.h>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

IPlugAU* MakePlug() { return nullptr; }

namespace {

// The host's time line without a host: transport running, 120 BPM.
class BenchEditor : public Davrel
{
public:
  // Most derived: whole once its body runs, so its port lists are read from here, as
  // the factory reads them.
  BenchEditor() : Davrel(DavrelInstanceInfo()) { ReadMidiPortListsAhead(); }
  // Before the overrides go: the clock jobs call them.
  ~BenchEditor() override { stopThreads(); }
  bool playing = false;
  void GetTime(ITimeInfo* t) override
  {
    t->mTempo = 120.0;
    t->mTransportIsRunning = playing;
  }
  double GetTempo() override { return 120.0; }
};

// Until the port thread has read the lists, and the menus are built from them as an
// idle builds them.
void listsRead(Davrel& e)
{
  for (int i = 0; i < 1000 && !e.MidiPortListsRead(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  e.OnIdle();
}

bench::BankTree& dataFolder()
{
  static bench::BankTree tree;
  return tree;
}

// A step of a benchmark's set-up: the benchmark is skipped with its error when it failed.
bool setUp(benchmark::State& state, bool ok, const std::string& error)
{
  if (!ok) state.SkipWithError(error.c_str());
  return ok;
}

void reportFresh(benchmark::State& state, const bench::FreshCounters& c)
{
  state.counters["cpu_ms"] = c.processCpu / c.n;
  state.counters["ctor_to_frame_ms"] = c.taskWall / c.n;
}

// Wall time from the spawn to the child's report, right after its first frame;
// cpu_ms is the child's processor time up to then, every thread and the program's
// loading included; ctor_to_frame_ms the child's own clock from the constructor.
void BM_StartUpToFirstFrameFreshProcess(benchmark::State& state)
{
  dataFolder();
  bench::FreshCounters c;
  for (auto _ : state)
  {
    const bench::FreshSample s = bench::runFresh("startup");
    if (!s.ok)
    {
      state.SkipWithError("the child failed");
      return;
    }
    state.SetIterationTime(s.spawnToReportMs / 1e3);
    c.add(s);
  }
  reportFresh(state, c);
}
BENCHMARK(BM_StartUpToFirstFrameFreshProcess)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The same editor made again in a process that made one before (a host that closes
// and opens it): the program's libraries are loaded, fonts and the allocator warm.
void BM_StartUpToFirstFrameWarmProcess(benchmark::State& state)
{
  dataFolder();
  for (auto _ : state)
  {
    std::unique_ptr<BenchEditor> e(new BenchEditor);
    IRECT all(0, 0, 1500, 667);
    benchmark::DoNotOptimize(e->graphics->Draw(&all));
    state.PauseTiming();
    e.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_StartUpToFirstFrameWarmProcess)->Unit(benchmark::kMillisecond)->Iterations(10);

[[noreturn]] void startUpChild()
{
  dataFolder();
  const double wall = bench::nowMs();
  BenchEditor* e = new BenchEditor;  // left to the exit
  IRECT all(0, 0, 1500, 667);
  e->graphics->Draw(&all);
  // A configuration that failed to load draws an empty editor: that is no sample.
  if (e->patchLibrarian->patchFiles.size() != dataFolder().files.size() || !e->graphics->GetDrawBitmap()) _exit(3);
  const double taskWall = bench::nowMs() - wall;
  fflush(stdout);
  bench::reportAndExit(taskWall, 0.0);
}

// One NRPN knob move, from the value change (the parameter set and the change
// handled, as the control does) to the three messages handed to the RtMidi output
// port, open and connected to the simulated synthesizer over JACK (the benchmark's
// own server, 64-frame periods). Untimed between moves: waiting until the
// synthesizer has received them (so each move starts with the port drained, as a
// hand's moves do). Left out: the drawing of the control and the period the bytes
// then wait in the port's buffer.
void BM_ControlActionToOpenPort(benchmark::State& state)
{
  dataFolder();
  std::string error;
  JackTestServer server;
  server.SetPeriodFrames(64);
  if (!setUp(state, server.Start(&error), error)) return;
  {
    SynthSim sim("Rudu");
    if (!setUp(state, sim.Open(&error), error)) return;
    std::unique_ptr<BenchEditor> e(new BenchEditor);
    listsRead(*e);
    const struct
    {
      int param;
      std::string name;
    } ports[] = {{kDeviceOutSelection, sim.InputPortName()}, {kDeviceInSelection, sim.OutputPortName()}};
    for (const auto& p : ports)
    {
      IParam* param = e->GetParam(p.param);
      for (int i = 0; i < param->GetNDisplayTexts(); ++i)
        if (p.name == param->GetDisplayText(i)) param->Set(i);
      e->OnParamChange(p.param);
    }
    if (!e->midiOutSet || !sim.WaitForConnections(1, 1, 10000))
    {
      state.SkipWithError("the output port did not open");
      return;
    }
    sim.WaitUntilSent(2000);
    ControlAction action(kActionNRPN);
    action.part = 0;
    action.ccNumber = 6;
    action.msbValue = 5;
    action.lsbValue = 2;
    action.valueOffset = 0;
    IParam* p = e->GetParam(kLfo2Frequency);
    p->InitInt("lfo", 0, 0, 127);
    p->SetControlAction(&action);
    sim.ClearReceived();
    size_t sent = 0;
    int v = 0;
    for (auto _ : state)
    {
      const auto start = std::chrono::steady_clock::now();
      p->Set(v = (v + 1) & 0x7F);
      e->OnParamChange(kLfo2Frequency);
      state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
      sent += 3;
      if (!sim.WaitForReceived(sent, 2000))
      {
        state.SkipWithError("the synthesizer did not receive the messages");
        break;
      }
    }
    p->SetControlAction(nullptr);
    e.reset();
    sim.Close();
  }
  server.Stop();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControlActionToOpenPort)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(500);

// A host that closes editors and opens one right away (a project loaded again):
// the new editor's start-up to its first frame (as the warm start-up) while the
// JACK clients of the range(0) editors closed just before, each with both ports
// chosen, are still being closed behind it; 0 is the same start-up with nothing
// left to close. Untimed: the closed editors' making and closing, and the wait for
// the closings before each round. The JACK server is the benchmark's own.
void BM_StartUpRightAfterCloses(benchmark::State& state)
{
  dataFolder();
  std::string error;
  JackTestServer server;
  if (!setUp(state, server.Start(&error), error)) return;
  {
    SynthSim sim("Rudu");
    if (!setUp(state, sim.Open(&error), error)) return;
    const std::pair<int, std::string> ports[] = {{kDeviceOutSelection, sim.InputPortName()},
                                                 {kDeviceInSelection, sim.OutputPortName()}};
    const int closed = (int)state.range(0);
    for (auto _ : state)
    {
      state.PauseTiming();
      std::vector<std::unique_ptr<BenchEditor>> editors;
      for (int i = 0; i < closed; ++i)
      {
        editors.emplace_back(new BenchEditor);
        listsRead(*editors.back());
        for (const auto& p : ports)
        {
          IParam* param = editors.back()->GetParam(p.first);
          for (int k = 0; k < param->GetNDisplayTexts(); ++k)
            if (p.second == param->GetDisplayText(k)) param->Set(k);
          editors.back()->OnParamChange(p.first);
        }
      }
      if (!sim.WaitForConnections(closed, closed, 10000))
      {
        state.SkipWithError("the closed editors' ports did not open");
        break;
      }
      editors.clear();
      state.ResumeTiming();
      std::unique_ptr<BenchEditor> e(new BenchEditor);
      IRECT all(0, 0, 1500, 667);
      benchmark::DoNotOptimize(e->graphics->Draw(&all));
      state.PauseTiming();
      e.reset();
      state.ResumeTiming();
    }
    sim.Close();
  }
  server.Stop();
}
BENCHMARK(BM_StartUpRightAfterCloses)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(20);

// The JACK server stopped (SIGSTOP, as a server busy or stuck is) until the timed
// call has returned: range(0) 0, the editor's start-up (its constructor, which
// reads the port lists and builds the port menus); 1, a project saved with both
// ports chosen recalled into an editor made meanwhile; 2 and 3, the same with the
// server running, for what the editor takes anyway. "ports kept" counts the
// recalls whose next save, once the server runs again, names the user's ports.
void BM_EditorBesideAStoppedServer(benchmark::State& state)
{
  using Clock = std::chrono::steady_clock;
  dataFolder();
  std::string error;
  JackTestServer server;
  if (!setUp(state, server.Start(&error), error)) return;
  const bool recall = state.range(0) % 2 == 1, stop = state.range(0) < 2;
  int kept = 0;
  {
    SynthSim sim("Rudu");
    if (!setUp(state, sim.Open(&error), error)) return;
    ByteChunk saved;
    {
      BenchEditor a;
      listsRead(a);
      const std::pair<int, std::string> ports[] = {{kDeviceOutSelection, sim.InputPortName()},
                                                   {kDeviceInSelection, sim.OutputPortName()}};
      for (const auto& p : ports)
      {
        IParam* param = a.GetParam(p.first);
        for (int k = 0; k < param->GetNDisplayTexts(); ++k)
          if (p.second == param->GetDisplayText(k)) param->Set(k);
        a.OnParamChange(p.first);
      }
      if (!sim.WaitForConnections(1, 1, 10000)) state.SkipWithError("the ports did not open");
      a.SerializeState(&saved);
    }
    for (auto _ : state)
    {
      if (stop) kill(server.Pid(), SIGSTOP);
      Clock::time_point t0 = Clock::now();
      std::unique_ptr<BenchEditor> e(new BenchEditor);
      if (recall)
      {
        t0 = Clock::now();
        e->UnserializeState(&saved, 0);
      }
      state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
      if (stop) kill(server.Pid(), SIGCONT);
      if (recall && sim.WaitForConnections(1, 1, 10000))
      {
        ByteChunk again;
        e->SerializeState(&again);
        if (e->patchManager->names[Patch::kOutName] == sim.InputPortName() &&
            e->patchManager->names[Patch::kInName] == sim.OutputPortName())
          ++kept;
      }
      e.reset();
    }
    sim.Close();
  }
  if (recall) state.counters["ports kept"] = kept;
  server.Stop();
}
BENCHMARK(BM_EditorBesideAStoppedServer)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_AudioCallback(benchmark::State& state)
{
  dataFolder();
  BenchEditor e;
  const bool clockRunning = state.range(0) != 0;
  e.midiOutSet = clockRunning;
  e.playing = clockRunning;
  double* io[2] = {nullptr, nullptr};
  e.ProcessDoubleReplacing(io, io, 256);  // the first block starts the clock jobs
  for (auto _ : state) e.ProcessDoubleReplacing(io, io, 256);
}
BENCHMARK(BM_AudioCallback)->Arg(0)->Arg(1);

}  // namespace

int main(int argc, char** argv)
{
  // No JACK server is started for the editor's port lists outside the control benchmark.
  setenv("JACK_NO_START_SERVER", "1", 1);
  if (const char* task = bench::freshChildTask(argc, argv))
  {
    if (strcmp(task, "startup") == 0) startUpChild();
    return 2;
  }
  // Standard output carries the editor's console trace (send it to /dev/null).
  return bench::runBenchmarksToStderr(argc, argv);
}
