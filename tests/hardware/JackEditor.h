#pragma once
// An editor-like plug-in for the JACK cases and benchmarks of the hardware side.

#include "FakeHost.h"

#include "tests/QuietPlug.h"

// The controller's shape: the plug-in base and the hardware interface in one object,
// with one override serving both where their operations share a name.
class JackEditor : public QuietPlug, public FakeHost
{
public:
  JackEditor()
    : QuietPlug(0, "2-2", 0, "Davrel Editor", "", "Quiet Harbor Sound", 0x20008, 0x64767278, 0x51685331, 128, true,
                true, true, kAPIAU)
  {
    wire = [this](const Bytes& m) { SendBytesToPort(m.data(), (int)m.size()); };
  }
  ~JackEditor() override { StopMidiInput(); }

  bool SendMidiMsg(IMidiMsg* m) override { return FakeHost::SendMidiMsg(m); }
  bool SendMidiSysex2(std::vector<unsigned char> data) override { return FakeHost::SendMidiSysex2(data); }
  void ProcessSysEx(ISysEx* m, bool fromDevice) override { FakeHost::ProcessSysEx(m, fromDevice); }
  void ProcessMidiMsg(IMidiMsg* m, bool fromDevice) override { FakeHost::ProcessMidiMsg(m, fromDevice); }
  void OnParamChange(int i) override { FakeHost::OnParamChange(i); }
  void OnParamChange2(int i) override { FakeHost::OnParamChange2(i); }
  // The JACK input delivers under the plug-in's mutex: the jobs take that one too.
  bool enterEditorLock(const std::atomic<bool>& closing) override { return EnterMutexUnless(closing); }
  void leaveEditorLock() override { mMutex.Leave(); }
};

