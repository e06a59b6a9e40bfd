#pragma once
// A quiet plug-in for the drawing benchmarks: it answers the host questions with
// fixed values and sends nothing.

#include "plug/IPlugBase.h"

class BenchPlug : public IPlugBase
{
public:
  // With knobParams, every parameter is a 0..127 knob value.
  BenchPlug(int nParams, bool knobParams)
    : IPlugBase(nParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0, 0, 0, true, true, true,
                kAPIAU)
  {
    initialize(0, nParams, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0, 0, 0, true, true, true);
    if (knobParams)
      for (int i = 0; i < nParams; ++i) GetParam(i)->InitDouble("p", 0.0, 0.0, 127.0, 1.0);
  }
  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* n, int* d) override { *n = *d = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiVST(IMidiMsg*) override { return false; }
  bool SendMidiMsg(IMidiMsg*) override { return false; }
};
