#include "TestPlug.h"

#include <cstring>

PlugSpec gNextPlug;

IPlugAU* MakePlug()
{
  static WDL_Mutex sMutex;
  WDL_MutexLock lock(&sMutex);
  return new TestPlug(gNextPlug);
}

namespace {

IPlugInstanceInfo Info(const PlugSpec& spec)
{
  IPlugInstanceInfo info;
  info.mBundleID.Set(spec.bundleID);
  info.mCocoaViewFactoryClassName.Set(spec.viewClass);
  return info;
}

}  // namespace

TestPlug::TestPlug(const PlugSpec& spec)
  : IPlugAU(Info(spec), spec.nParams, spec.channelIO, spec.nPresets, "Test Plug", "", "Quiet Harbor Sound", 0x10203,
            (int)kTestSubType, (int)kTestMfr, 64, true, true, spec.isInst, spec.scChans)
{
  initialize(Info(spec), spec.nAutomatable, spec.nParams, spec.channelIO, spec.nPresets, "Test Plug", "",
             "Quiet Harbor Sound", 0x10203, (int)kTestSubType, (int)kTestMfr, 64, true, true, spec.isInst, spec.scChans);
  if (spec.setup) spec.setup(this);
}

void TestPlug::ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice)
{
  Note(fromDevice ? "ProcessMidiMsg device" : "ProcessMidiMsg host");
  midi.push_back(*pMsg);
}

void TestPlug::ProcessSysEx(ISysEx* pSysEx, bool fromDevice)
{
  Note(fromDevice ? "ProcessSysEx device" : "ProcessSysEx host");
  sysex.emplace_back(pSysEx->mData, pSysEx->mData + pSysEx->mSize);
}

void TestPlug::ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames)
{
  ++processed;
  processLocked = mMutex.IsHeldByCaller();
  for (int c = 0; c < NOutChannels(); ++c)
    for (int n = 0; n < nFrames; ++n) outputs[c][n] = c < NInChannels() ? 2.0 * inputs[c][n] : 0.0;
}

int TestPlug::UnserializeState(ByteChunk* pChunk, int startPos)
{
  ++stateReads;
  if (refuseWhole) return -1;
  if (!refuseState) return IPlugAU::UnserializeState(pChunk, startPos);
  refuseState = false;  // once: the adapter's own restore must get through
  GetParam(0)->Set(GetParam(0)->GetMax());
  return -1;
}

int TestPlug::Count(const std::string& what) const
{
  int n = 0;
  for (const auto& h : hooks) n += h.what == what;
  return n;
}

void AUFixture::Open(const PlugSpec& spec)
{
  gNextPlug = spec;
  const ComponentDescription desc = {kTestType, kTestSubType, kTestMfr, 0, 0};
  comp = RegisterComponent(&desc, IPlugAU::IPlugAUEntry, "Quiet Harbor Sound: Test Plug");
  ASSERT_EQ(OpenAComponent(comp, &unit), noErr);
  plug = static_cast<TestPlug*>(GetComponentInstanceStorage(unit));
  ASSERT_NE(plug, nullptr);
  plug->hooks.clear();
}

AudioUnit AUFixture::OpenAnother()
{
  AudioUnit u = nullptr;
  EXPECT_EQ(OpenAComponent(comp, &u), noErr);
  others.push_back(u);
  return u;
}

void AUFixture::TearDown()
{
  for (AudioUnit u : others) CloseComponent(u);
  if (unit)
  {
    EXPECT_EQ(CloseComponent(unit), noErr);
  }
  if (comp)
  {
    EXPECT_EQ(UnregisterComponent(comp), noErr);
  }
  gNextPlug = PlugSpec();
}

AudioStreamBasicDescription AUFixture::Format(int channels, double rate)
{
  AudioStreamBasicDescription asbd;
  IPlugAU::MakeDefaultASBD(&asbd, rate, channels, false);
  return asbd;
}
