// The render path of the Audio Unit adapter: one block through the fast render
// procedure, pulling input from a host callback, with the heap allocations it
// makes counted (there must be none).

#include "plug/IPlugAU.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

static std::atomic<long> gAllocations{0};

void* operator new(size_t n)
{
  ++gAllocations;
  if (void* p = malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
// Both halves of the replacement go through the C heap.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
#pragma GCC diagnostic pop

namespace {

class BenchPlug : public IPlugAU
{
public:
  BenchPlug()
    : IPlugAU(IPlugInstanceInfo(), 529, "2-2", 0, "Bench", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
              FourCC("QhS1"), 128, true, true, true, 0)
  {
    initialize(IPlugInstanceInfo(), 0, 529, "2-2", 0, "Bench", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
               FourCC("QhS1"), 128, true, true, true, 0);
    addNonAutomateParamCount(529);
  }
};

OSStatus Input(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames, AudioBufferList* list)
{
  for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
  {
    float* p = (float*)list->mBuffers[c].mData;
    for (UInt32 n = 0; n < frames; ++n) p[n] = 0.25f;
  }
  return noErr;
}

void BM_FastRender(benchmark::State& state)
{
  const UInt32 frames = (UInt32)state.range(0);
  BenchPlug plug;
  UInt32 size = 4;
  UInt32 block = frames;
  plug.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &size, &block);
  AURenderCallbackStruct in = {Input, nullptr};
  size = sizeof(in);
  plug.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &size, &in);
  std::vector<float> left(frames), right(frames);
  AudioBufferListStorage<2> list;
  AudioTimeStamp ts = {};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  const long before = gAllocations.load();
  for (auto _ : state)
  {
    list.list.mNumberBuffers = 2;
    list.list.mBuffers[0] = AudioBuffer{1, frames * 4, left.data()};
    list.list.mBuffers[1] = AudioBuffer{1, frames * 4, right.data()};
    AudioUnitRenderActionFlags flags = 0;
    benchmark::DoNotOptimize(IPlugAU::RenderProc(&plug, &flags, &ts, 0, frames, &list.list));
    ts.mSampleTime += frames;
  }
  state.counters["allocations"] = (double)(gAllocations.load() - before);
  state.SetItemsProcessed(state.iterations() * frames);
}
BENCHMARK(BM_FastRender)->Arg(64)->Arg(256)->Arg(1024);

}  // namespace

// The bench links the adapter, whose entry needs a factory.
IPlugAU* MakePlug() { return new BenchPlug; }

BENCHMARK_MAIN();
