// The editor controller: start-up to the first drawn frame, one control action
// from the dispatch to the port layer, and the audio callback idle and with the
// clock running.

#include "TestFiles.h"
#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "gui/IGraphics.h"
#include "ui/ControlAction.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

IPlugAU* MakePlug() { return nullptr; }

namespace {

IPlugInstanceInfo info()
{
  IPlugInstanceInfo i;
  i.mBundleID.Set(DAVREL_BUNDLE_ID);
  i.mCocoaViewFactoryClassName.Set(DAVREL_VIEW_CLASS);
  return i;
}

// The host's time line without a host: transport running, 120 BPM.
class BenchEditor : public Davrel
{
public:
  BenchEditor() : Davrel(info()) {}
  bool playing = false;
  void GetTime(ITimeInfo* t) override
  {
    t->mTempo = 120.0;
    t->mTransportIsRunning = playing;
  }
  double GetTempo() override { return 120.0; }
};

TempFolder& dataFolder()
{
  static TempFolder folder("davrel-bench");
  setenv("DAVREL_DATA_DIR", folder.path().c_str(), 1);
  return folder;
}

void BM_StartUpToFirstFrame(benchmark::State& state)
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
BENCHMARK(BM_StartUpToFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ControlActionToPort(benchmark::State& state)
{
  dataFolder();
  BenchEditor e;
  e.midiOutSet = true;
  ControlAction action(kActionNRPN);
  action.part = 0;
  action.ccNumber = 6;
  action.msbValue = 5;
  action.lsbValue = 2;
  action.valueOffset = 0;
  IParam* p = e.GetParam(kLfo2Frequency);
  p->InitInt("lfo", 0, 0, 127);
  p->SetControlAction(&action);
  int v = 0;
  for (auto _ : state)
  {
    p->Set(v = (v + 1) & 0x7F);
    e.OnParamChange(kLfo2Frequency);
  }
  p->SetControlAction(nullptr);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ControlActionToPort);

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
