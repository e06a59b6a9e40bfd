// The audio path's queue and the state serialisers the host calls on save.

#include "TestPlug.h"
#include "plug/IMidiQueue.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

namespace {

// One audio block: messages arrive mostly in time order, then the block is drained.
void BM_QueueBlock(benchmark::State& state)
{
  const int nMsgs = (int)state.range(0);
  const int nFrames = 512;
  IMidiQueue q;
  std::mt19937 rng(7);
  std::vector<IMidiMsg> msgs(nMsgs);
  for (int i = 0; i < nMsgs; ++i)
    msgs[i] = IMidiMsg(i * nFrames / nMsgs + (rng() % 4 == 0 ? -(int)(rng() % 8) : 0), 0xB0, (uint8_t)(i & 0x7F), 0);
  for (auto _ : state)
  {
    for (const IMidiMsg& m : msgs) q.Add(&m);
    for (int s = 0; s < nFrames; ++s)
      while (!q.Empty() && q.Peek()->mOffset <= s) q.Remove();
    q.Flush(nFrames);
    benchmark::DoNotOptimize(q.ToDo());
  }
  state.SetItemsProcessed(state.iterations() * nMsgs);
}
BENCHMARK(BM_QueueBlock)->Arg(16)->Arg(256)->Arg(1024);

// The editor's 473 saved values, out and back in.
void BM_NonAutomatedRoundTrip(benchmark::State& state)
{
  std::unique_ptr<RecordingPlug> plug(RecordingPlug::MakeEditorLike());
  for (int i = 0; i < 529; ++i) plug->GetParam(i)->InitInt("p", i % 128, 0, 127);
  ByteChunk chunk;
  for (auto _ : state)
  {
    chunk.Clear();
    plug->SerializeNonAutomatedParams(&chunk, 473);
    benchmark::DoNotOptimize(plug->UnserializeNonAutomatedParams(&chunk, 0, 473));
  }
  state.SetItemsProcessed(state.iterations() * 473);
}
BENCHMARK(BM_NonAutomatedRoundTrip);

}  // namespace
