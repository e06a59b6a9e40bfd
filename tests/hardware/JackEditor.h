#pragma once
// An editor-like plug-in for the JACK cases and benchmarks of the hardware side.

#include "FakeHost.h"

#include "plug/IPlugBase.h"

// The controller's shape: the plug-in base and the hardware interface in one object,
// with one override serving both where their operations share a name.
class JackEditor : public IPlugBase, public FakeHost
{
public:
  JackEditor()
    : IPlugBase(0, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0x64767278, 0x51685331, 128, true,
                true, true, kAPIAU)
  {
    wire = [this](const Bytes& m) { SendBytesToPort(m.data(), (int)m.size()); };
  }
  ~JackEditor() override { StopMidiInput(); }

  void BeginInformHostOfParamChange(int) override {}
  void InformHostOfParamChange(int, double) override {}
  void EndInformHostOfParamChange(int) override {}
  void InformHostOfProgramChange() override {}
  int GetSamplePos() override { return 0; }
  double GetTempo() override { return 120.0; }
  void GetTimeSig(int* n, int* d) override { *n = 4, *d = 4; }
  void GetTime(ITimeInfo*) override {}
  void ResizeGraphics(int, int) override {}
  bool SendMidiVST(IMidiMsg*) override { return false; }

  bool SendMidiMsg(IMidiMsg* m) override { return FakeHost::SendMidiMsg(m); }
  bool SendMidiSysex2(std::vector<unsigned char> data) override { return FakeHost::SendMidiSysex2(data); }
  void ProcessSysEx(ISysEx* m, bool fromDevice) override { FakeHost::ProcessSysEx(m, fromDevice); }
  void ProcessMidiMsg(IMidiMsg* m, bool fromDevice) override { FakeHost::ProcessMidiMsg(m, fromDevice); }
  void OnParamChange(int i) override { FakeHost::OnParamChange(i); }
  void OnParamChange2(int i) override { FakeHost::OnParamChange2(i); }
};

