#include "DavrelStandIn.h"

namespace {

const int kNumParams = 529;

}  // namespace

DavrelStandIn::DavrelStandIn(IPlugInstanceInfo instanceInfo)
  : IPlugAU(instanceInfo, 98, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
            FourCC("QhS1"), 128, true, true, true, 0)
{
  initialize(instanceInfo, 0, kNumParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"),
             FourCC("QhS1"), 128, true, true, true, 0);
  addNonAutomateParamCount(kNumParams);
}

bool DavrelStandIn::SerializeState(ByteChunk* pChunk)
{
  InitChunkWithIPlugVer(pChunk);
  return SerializeNonAutomatedParams(pChunk, NParams());
}

int DavrelStandIn::UnserializeState(ByteChunk* pChunk, int startPos)
{
  int pos = startPos;
  if (GetIPlugVerFromChunk(pChunk, &pos) != kIPlugVersion) return -1;
  return UnserializeNonAutomatedParams(pChunk, pos, NParams());
}
