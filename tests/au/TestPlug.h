#pragma once
// A plug-in for the adapter's tests: a layout chosen per test, and a record of
// every hook the adapter calls with whether the plug-in's mutex was held.

#include "plug/IPlugAU.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

class TestPlug;

struct PlugSpec
{
  int nAutomatable = 4;
  int nParams = 6;
  const char* channelIO = "2-2";
  int nPresets = 0;
  bool isInst = true;
  int scChans = 0;
  const char* bundleID = "com.example.tests.plug";
  const char* viewClass = "TestView";
  std::function<void(TestPlug*)> setup;  // runs at the end of the constructor
};

// What MakePlug builds next.
extern PlugSpec gNextPlug;

class TestPlug : public IPlugAU
{
public:
  struct Hook
  {
    std::string what;
    bool locked;
  };

  explicit TestPlug(const PlugSpec& spec);

  void Reset() override { Note("Reset"); }
  void OnParamChange(int idx) override { Note("OnParamChange " + std::to_string(idx)); }
  void OnActivate(bool active) override { Note(active ? "OnActivate 1" : "OnActivate 0"); }
  void OnHostIdentified() override { Note("OnHostIdentified"); }
  void ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice) override;
  void ProcessSysEx(ISysEx* pSysEx, bool fromDevice) override;
  // Outputs twice the input, so processing is told from passing through.
  void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames) override;
  int UnserializeState(ByteChunk* pChunk, int startPos) override;

  void Note(const std::string& what) { hooks.push_back(Hook{what, mMutex.IsHeldByCaller()}); }
  int Count(const std::string& what) const;
  bool SetBypassed(bool b) { mIsBypassed = b; return b; }

  std::vector<Hook> hooks;
  std::vector<IMidiMsg> midi;
  std::vector<std::vector<UInt8>> sysex;
  int processed = 0;
  bool processLocked = false;
  bool refuseState = false;  // the next UnserializeState changes a value, then fails
  bool refuseWhole = false;  // UnserializeState refuses, changing nothing
  int stateReads = 0;        // UnserializeState calls
};

// A registered component of the adapter's entry and one open unit.
struct AUFixture : ::testing::Test
{
  void Open(const PlugSpec& spec = PlugSpec());
  AudioUnit OpenAnother();
  void TearDown() override;

  OSStatus Get(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* data, UInt32* size)
  {
    return AudioUnitGetProperty(unit, id, scope, element, data, size);
  }
  OSStatus Set(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data, UInt32 size)
  {
    return AudioUnitSetProperty(unit, id, scope, element, data, size);
  }
  // Two-channel float format at the rate given.
  static AudioStreamBasicDescription Format(int channels, double rate = 48000.0);

  Component comp = nullptr;
  AudioUnit unit = nullptr;
  TestPlug* plug = nullptr;
  std::vector<AudioUnit> others;
};

constexpr OSType kTestType = MakeOSType("aumu");
constexpr OSType kTestSubType = MakeOSType("tSt1");
constexpr OSType kTestMfr = MakeOSType("QhS1");
