// The test host. --smoke creates a plug-in object the way the editor sets
// itself up and prints its identity and parameter count.

#include "plug/IPlugBase.h"

#include <cstdio>
#include <cstring>

namespace {

// A plug-in with no host behind it: every host call is answered as "nothing".
class SmokePlug : public IPlugBase
{
public:
  SmokePlug()
    : IPlugBase(98, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"), FourCC("QhS1"), 128,
                true, true, true, kAPIAU)
  {
    initialize(0, 529, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, FourCC("dvrx"), FourCC("QhS1"),
               128, true, true, true);
    addNonAutomateParamCount(529);
  }

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* pNum, int* pDenom) override { *pNum = *pDenom = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiVST(IMidiMsg*) override { return false; }
  bool SendMidiMsg(IMidiMsg*) override { return false; }
};

int Smoke()
{
  SmokePlug plug;
  char version[kVersionStrLen], uniqueID[5], mfrID[5];
  plug.GetEffectVersionStr(version);
  FourCCStr(plug.GetUniqueID(), uniqueID);
  FourCCStr(plug.GetMfrID(), mfrID);
  printf("name: %s\n", plug.GetEffectName());
  printf("maker: %s\n", plug.GetMfrName());
  printf("version: %s\n", version);
  printf("unique id: %s\n", uniqueID);
  printf("maker id: %s\n", mfrID);
  printf("parameters: %d\n", plug.NParams());
  return plug.NParams() == 529 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc > 1 && !strcmp(argv[1], "--smoke")) return Smoke();
  fprintf(stderr, "usage: %s --smoke\n", argv[0]);
  return 2;
}
