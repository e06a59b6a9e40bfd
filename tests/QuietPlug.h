#pragma once
// A plug-in base with no host behind it: the host's questions get fixed answers
// (sample 0, 120 BPM, 4/4, no time line), changes are told to nobody and nothing is
// sent. The test and benchmark plug-ins derive from it and override only what they
// record or send.

#include "plug/IPlugBase.h"

class QuietPlug : public IPlugBase
{
public:
  using IPlugBase::IPlugBase;

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* num, int* denom) override { *num = *denom = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiVST(IMidiMsg*) override { return false; }
  bool SendMidiMsg(IMidiMsg*) override { return false; }
};
