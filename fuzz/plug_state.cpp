// The plug-in state chunk road on a chunk from the host: the parameter reader of the
// base class, the editor's layout (version header, then the tail of non-automated
// parameters) and the preset block. The first byte picks the road; the rest is the
// chunk. No value may leave its parameter's range, and a read reports a position
// inside the chunk or a refusal.

#include "PlugValues.h"
#include "TestPlug.h"

#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

std::unique_ptr<RecordingPlug> Automatable(int nPresets)
{
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(4, nPresets, true));
  p->GetParam(0)->InitInt("Level", 10, 0, 127);
  p->GetParam(1)->InitDouble("Pan", 0.5, -1.0, 1.0, 0.01);
  p->GetParam(2)->InitBool("On", true);
  p->GetParam(3)->InitEnum("Mode", 1, 3);
  return p;
}

void CheckPos(int pos, const ByteChunk& chunk)
{
  if (pos > chunk.Size()) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 1 || size > (1u << 20)) return 0;
  ByteChunk chunk;
  chunk.PutBytes(data + 1, (int)size - 1);
  switch (data[0] % 3)
  {
    case 0:
    {
      auto p = Automatable(0);
      CheckPos(p->UnserializeState(&chunk, 0), chunk);
      ValuesInRange(p.get());
      break;
    }
    case 1:
    {
      std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeEditorLike());
      int pos = 0;
      if (IPlugBase::GetIPlugVerFromChunk(&chunk, &pos) == IPlugBase::kIPlugVersion)
        CheckPos(p->UnserializeNonAutomatedParams(&chunk, pos, p->NParams()), chunk);
      ValuesInRange(p.get());
      break;
    }
    default:
    {
      auto p = Automatable(3);
      p->MakeDefaultPreset("Empty", 3);
      CheckPos(p->UnserializePresets(&chunk, 0), chunk);
      ValuesInRange(p.get());
      for (int i = 0; i < p->NPresets(); ++i)
        if (!memchr(p->GetPresetName(i), 0, IPreset::kNameLen)) abort();
      // What was read is written back whole.
      ByteChunk again;
      if (!p->SerializePresets(&again)) abort();
      break;
    }
  }
  return 0;
}
