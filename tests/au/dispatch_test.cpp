// The component entry: selectors, "can do" answers, two-stage set-up, busses,
// listeners, render notifications, scheduled parameters, host MIDI, and the
// plug-in's mutex held around every call but open and close.

#include "TestPlug.h"

#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

namespace {

using Dispatch = AUFixture;

TEST_F(Dispatch, CanDoAnswersTheSelectorTable)
{
  Open();
  const SInt16 yes[] = {1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 14, 15, 16, 17};
  const SInt16 no[] = {0, 8, 12, 13, 18, 19, 257, 258, 261, -1, -2, -3, -4};
  for (SInt16 s : yes) EXPECT_EQ(CallComponentCanDo(unit, s), 1) << s;
  for (SInt16 s : no) EXPECT_EQ(CallComponentCanDo(unit, s), 0) << s;
  EXPECT_EQ(CallComponentVersion(unit), 0x10203);
  for (SInt16 s : {0, 8, 12, 13, 19, 263, 769}) EXPECT_EQ(CallComponent(unit, s, {}), badComponentSelector) << s;
}

TEST_F(Dispatch, SetUpBuildsTheEditorsBussesAndLabels)
{
  Open();
  EXPECT_EQ(plug->NInBuses(), 1);
  EXPECT_EQ(plug->NOutBuses(), 1);
  EXPECT_STREQ(plug->GetInputBusLabel(0), "input");
  EXPECT_STREQ(plug->GetInputBusLabel(1), "aux input");
  EXPECT_STREQ(plug->GetOutputBusLabel(0), "output 1");
  EXPECT_EQ(plug->GetBlockSize(), 1024);
  EXPECT_EQ(plug->GetAPI(), kAPIAU);
  EXPECT_EQ(plug->GetComponentInstance(), unit);
  EXPECT_STREQ(plug->GetBundleID(), "com.example.tests.plug");
  EXPECT_STREQ(plug->GetCocoaViewFactoryClassName(), "TestView");
}

TEST(DispatchLayouts, SideChainInstrumentAndEffectBusses)
{
  struct Case
  {
    const char* io;
    bool inst;
    int sc;
    std::vector<std::pair<int, int>> in, out;  // plug channels, first channel
    std::vector<const char*> inLabels, outLabels;
  };
  const Case cases[] = {
      {"4-2", false, 1, {{3, 0}, {1, 3}}, {{2, 0}}, {"main input", "aux input"}, {"output"}},
      {"0-5", true, 0, {}, {{2, 0}, {2, 2}, {1, 4}}, {}, {"output 1", "output 2", "output 3"}},
      {"2-2 1-1", false, 0, {{2, 0}}, {{2, 0}}, {"input", "aux input"}, {"output"}},
  };
  for (const auto& c : cases)
  {
    PlugSpec spec;
    spec.channelIO = c.io;
    spec.isInst = c.inst;
    spec.scChans = c.sc;
    gNextPlug = spec;
    IPlugAU* p = MakePlug();
    ASSERT_EQ(p->NInBuses(), (int)c.in.size()) << c.io;
    ASSERT_EQ(p->NOutBuses(), (int)c.out.size()) << c.io;
    for (size_t i = 0; i < c.in.size(); ++i)
    {
      EXPECT_EQ(p->GetBus(kAudioUnitScope_Input, (UInt32)i)->mNPlugChannels, c.in[i].first) << c.io;
      EXPECT_EQ(p->GetBus(kAudioUnitScope_Input, (UInt32)i)->mPlugChannelStartIdx, c.in[i].second) << c.io;
      EXPECT_EQ(p->GetBus(kAudioUnitScope_Input, (UInt32)i)->mNHostChannels, -1);
    }
    for (size_t i = 0; i < c.out.size(); ++i)
    {
      EXPECT_EQ(p->GetBus(kAudioUnitScope_Output, (UInt32)i)->mNPlugChannels, c.out[i].first) << c.io;
      EXPECT_EQ(p->GetBus(kAudioUnitScope_Global, (UInt32)i)->mPlugChannelStartIdx, c.out[i].second) << c.io;
    }
    for (size_t i = 0; i < c.inLabels.size(); ++i) EXPECT_STREQ(p->GetInputBusLabel((int)i), c.inLabels[i]);
    for (size_t i = 0; i < c.outLabels.size(); ++i) EXPECT_STREQ(p->GetOutputBusLabel((int)i), c.outLabels[i]);
    EXPECT_EQ(p->GetBus(kAudioUnitScope_Output, (UInt32)c.out.size()), nullptr);
    EXPECT_EQ(p->GetBus(3, 0), nullptr);
    delete p;
  }
  gNextPlug = PlugSpec();
}

TEST_F(Dispatch, InitializeChecksTheChannelsTheHostSet)
{
  Open();
  // Nothing set yet: LegalIO(-1, -1) holds for "2-2".
  EXPECT_EQ(AudioUnitInitialize(unit), noErr);
  EXPECT_EQ(plug->Count("OnActivate 1"), 1);
  EXPECT_EQ(plug->Count("Reset"), 1);  // OnParamReset: OnParamChange per automatable parameter, then Reset
  EXPECT_EQ(plug->Count("OnParamChange 3"), 1);
  EXPECT_EQ(AudioUnitUninitialize(unit), noErr);
  EXPECT_EQ(plug->Count("OnActivate 0"), 1);

  // Host channels 0 on both sides pass without asking the layouts.
  plug->GetBus(kAudioUnitScope_Input, 0)->mNHostChannels = 0;
  plug->GetBus(kAudioUnitScope_Output, 0)->mNHostChannels = 0;
  EXPECT_TRUE(plug->CheckLegalIO());
  EXPECT_EQ(AudioUnitInitialize(unit), noErr);
  plug->GetBus(kAudioUnitScope_Output, 0)->mNHostChannels = 1;
  plug->hooks.clear();
  EXPECT_EQ(AudioUnitInitialize(unit), badComponentSelector);
  EXPECT_EQ(plug->Count("OnActivate 1"), 0);
}

TEST_F(Dispatch, HostChannelCountsAddUpOverBusses)
{
  WDL_PtrList<IPlugAU::BusChannels> buses;
  EXPECT_EQ(IPlugAU::NHostChannelsConnected(&buses), -1);
  const int hosts[] = {-1, 2, 3};
  for (int h : hosts)
  {
    auto* b = new IPlugAU::BusChannels;
    b->mNHostChannels = h;
    buses.Add(b);
  }
  EXPECT_EQ(IPlugAU::NHostChannelsConnected(&buses), 5);
  EXPECT_EQ(IPlugAU::NHostChannelsConnected(&buses, 2), 2);
  EXPECT_EQ(IPlugAU::NHostChannelsConnected(&buses, 0), 5);
  buses.Get(1)->mNHostChannels = -1;
  EXPECT_EQ(IPlugAU::NHostChannelsConnected(&buses, 2), -1);
  buses.Empty(true);
}

int gHeard = 0;
void ListenA(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) { ++gHeard; }
void ListenB(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) { ++gHeard; }

TEST_F(Dispatch, PropertyListenersAreKeptOncePerIdAndCallback)
{
  Open();
  int a = 1, b = 2;
  EXPECT_EQ(AudioUnitAddPropertyListener(unit, 12, ListenA, &a), noErr);
  EXPECT_EQ(AudioUnitAddPropertyListener(unit, 12, ListenA, &b), noErr);
  EXPECT_EQ(plug->NPropertyListeners(), 1);
  AudioUnitAddPropertyListener(unit, 12, ListenB, &b);
  AudioUnitAddPropertyListener(unit, 36, ListenA, &b);
  EXPECT_EQ(plug->NPropertyListeners(), 3);
  // With user data only the matching record goes.
  EXPECT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, 12, ListenB, &a), noErr);
  EXPECT_EQ(plug->NPropertyListeners(), 3);
  EXPECT_EQ(AudioUnitRemovePropertyListenerWithUserData(unit, 12, ListenB, &b), noErr);
  EXPECT_EQ(plug->NPropertyListeners(), 2);
  EXPECT_EQ(AudioUnitRemovePropertyListener(unit, 36, ListenA), noErr);
  EXPECT_EQ(plug->NPropertyListeners(), 1);
  gHeard = 0;
  plug->SetLatency(32);
  EXPECT_EQ(gHeard, 1);
  EXPECT_EQ(plug->GetLatency(), 32);
}

OSStatus Notified(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*)
{
  return noErr;
}

TEST_F(Dispatch, RenderNotificationsAreKeptTwiceAndRemovedFirstFirst)
{
  Open();
  int a = 0, b = 0;
  AudioUnitAddRenderNotify(unit, Notified, &a);
  AudioUnitAddRenderNotify(unit, Notified, &b);
  EXPECT_EQ(plug->NRenderNotify(), 2);
  EXPECT_EQ(AudioUnitRemoveRenderNotify(unit, Notified, &b), noErr);  // user data is not compared
  EXPECT_EQ(plug->NRenderNotify(), 1);
  AudioUnitRemoveRenderNotify(unit, Notified, nullptr);
  EXPECT_EQ(plug->NRenderNotify(), 0);
}

TEST_F(Dispatch, ScheduledImmediateEventsSetParametersAndStopAtTheFirstError)
{
  Open();
  AudioUnitParameterEvent ev[3];
  memset(ev, 0, sizeof(ev));
  for (auto& e : ev) e.eventType = kParameterEvent_Ramped;
  ev[0].parameter = 0;
  ev[0].eventValues.ramp.endValue = 1.0f;
  EXPECT_EQ(AudioUnitScheduleParameters(unit, ev, 3), noErr);
  EXPECT_EQ(plug->GetParam(0)->Value(), 0.0);

  ev[0].eventType = ev[1].eventType = ev[2].eventType = kParameterEvent_Immediate;
  ev[0].eventValues.immediate.value = 0.5f;
  ev[1].parameter = 99;  // out of range
  ev[2].parameter = 1;
  ev[2].eventValues.immediate.value = 0.75f;
  EXPECT_EQ(AudioUnitScheduleParameters(unit, ev, 3), kAudioUnitErr_InvalidElement);
  EXPECT_EQ(plug->GetParam(0)->Value(), 0.5);
  EXPECT_EQ(plug->GetParam(1)->Value(), 0.0);
}

TEST_F(Dispatch, HostMidiReachesThePlugInMarkedAsFromTheHost)
{
  Open();
  EXPECT_EQ(MusicDeviceMIDIEvent(unit, 0x92, 60, 100, 37), noErr);
  ASSERT_EQ(plug->midi.size(), 1u);
  EXPECT_EQ(plug->midi[0].mOffset, 37);
  EXPECT_EQ(plug->midi[0].mStatus, 0x92);
  EXPECT_EQ(plug->midi[0].mData1, 60);
  EXPECT_EQ(plug->midi[0].mData2, 100);
  const UInt8 sx[] = {0xF0, 0x42, 0x30, 0x58, 0x10, 0xF7};
  EXPECT_EQ(MusicDeviceSysEx(unit, sx, sizeof(sx)), noErr);
  ASSERT_EQ(plug->sysex.size(), 1u);
  EXPECT_EQ(plug->sysex[0], std::vector<UInt8>(sx, sx + sizeof(sx)));
  EXPECT_EQ(plug->Count("ProcessMidiMsg host"), 1);
  EXPECT_EQ(plug->Count("ProcessSysEx host"), 1);

  NoteInstanceID id = 0;
  MusicDeviceNoteParams note = {2, 60.7f, 100.0f};
  EXPECT_EQ(MusicDeviceStartNote(unit, 0, 0, &id, 0, &note), noErr);
  EXPECT_EQ(id, 60u);
  // Pitches no id can hold give 0, not an undefined conversion.
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const struct { float pitch; NoteInstanceID id; } pitches[] = {
      {-0.5f, 0}, {-1.0f, 0}, {-3.0f, 0}, {nan, 0}, {inf, 0}, {-inf, 0}, {1e20f, 0}, {5e9f, 0}, {127.9f, 127}};
  for (const auto& p : pitches)
  {
    id = 77;
    note.mPitch = p.pitch;
    EXPECT_EQ(MusicDeviceStartNote(unit, 0, 0, &id, 0, &note), noErr);
    EXPECT_EQ(id, p.id) << p.pitch;
  }
  EXPECT_EQ(MusicDeviceStopNote(unit, 0, id, 0), noErr);
  EXPECT_EQ(MusicDevicePrepareInstrument(unit, 0), noErr);
  EXPECT_EQ(MusicDeviceReleaseInstrument(unit, 0), noErr);
  EXPECT_EQ(plug->midi.size(), 1u);
}

TEST_F(Dispatch, EveryCallButOpenAndCloseRunsUnderTheMutex)
{
  Open();
  AudioUnitReset(unit, kAudioUnitScope_Global, 0);
  AudioUnitInitialize(unit);
  MusicDeviceMIDIEvent(unit, 0x90, 1, 2, 0);
  const UInt8 sx[] = {0xF0, 0xF7};
  MusicDeviceSysEx(unit, sx, 2);
  AudioUnitSetParameter(unit, 2, kAudioUnitScope_Global, 0, 0.5f, 0);
  UInt32 one = 1;
  Set(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, &one, sizeof(one));
  AudioUnitUninitialize(unit);
  ASSERT_GT(plug->hooks.size(), 8u);
  for (const auto& h : plug->hooks) EXPECT_TRUE(h.locked) << h.what;
  EXPECT_FALSE(plug->mMutex.IsHeldByCaller());
  EXPECT_EQ(plug->mMutex.GetEnterCount(), 0);
}

TEST_F(Dispatch, MalformedCallRecordsAreRefused)
{
  Open();
  ComponentParameters p = {};
  p.what = kAudioUnitGetPropertySelect;
  p.paramSize = 2 * sizeof(uintptr_t);  // five arguments needed
  EXPECT_EQ(IPlugAU::IPlugAUEntry(&p, plug), paramErr);
  p.what = kAudioUnitInitializeSelect;
  EXPECT_EQ(IPlugAU::IPlugAUEntry(&p, nullptr), badComponentInstance);
  EXPECT_EQ(IPlugAU::IPlugAUEntry(nullptr, plug), paramErr);
}

TEST_F(Dispatch, FastProceduresAreHandedOutBySelector)
{
  Open();
  UInt32 size = 0;
  void* proc = nullptr;
  EXPECT_EQ(IPlugAU::GetProc(kAudioUnitRenderSelect, &size, &proc), noErr);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(proc, (void*)(AudioUnitRenderProc)IPlugAU::RenderProc);
  size = 0;
  EXPECT_EQ(IPlugAU::GetProc(kAudioUnitSetParameterSelect, &size, nullptr), noErr);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(IPlugAU::GetProc(kAudioUnitResetSelect, &size, &proc), kAudioUnitErr_InvalidElement);

  AudioUnitGetParameterProc get = nullptr;
  size = sizeof(get);
  ASSERT_EQ(Get(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitGetParameterSelect, &get, &size),
            noErr);
  plug->GetParam(1)->Set(0.25);
  AudioUnitParameterValue v = 0;
  EXPECT_EQ(get(GetComponentInstanceStorage(unit), 1, kAudioUnitScope_Global, 0, &v), noErr);
  EXPECT_EQ(v, 0.25f);
  EXPECT_EQ(get(GetComponentInstanceStorage(unit), 1, kAudioUnitScope_Input, 0, &v), kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(Get(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitResetSelect, &get, &size),
            kAudioUnitErr_InvalidElement);
}

// The fast render path must not wait for a mutex another thread holds.
TEST_F(Dispatch, FastRenderDoesNotTakeTheMutex)
{
  Open();
  AudioUnitRenderProc render = nullptr;
  UInt32 size = sizeof(render);
  ASSERT_EQ(Get(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, kAudioUnitRenderSelect, &render, &size), noErr);
  ASSERT_EQ(AudioUnitInitialize(unit), noErr);

  std::mutex m;
  std::condition_variable cv;
  bool held = false, release = false;
  std::thread holder([&] {
    WDL_MutexLock lock(&plug->mMutex);
    std::unique_lock<std::mutex> l(m);
    held = true;
    cv.notify_all();
    cv.wait(l, [&] { return release; });
  });
  {
    std::unique_lock<std::mutex> l(m);
    cv.wait(l, [&] { return held; });
  }
  std::vector<float> left(64), right(64);
  AudioBufferListStorage<2> s;
  s.list.mNumberBuffers = 2;
  s.list.mBuffers[0] = AudioBuffer{1, 256, left.data()};
  s.list.mBuffers[1] = AudioBuffer{1, 256, right.data()};
  AudioTimeStamp ts = {};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  AudioUnitRenderActionFlags flags = 0;
  EXPECT_EQ(render(GetComponentInstanceStorage(unit), &flags, &ts, 0, 64, &s.list), noErr);
  EXPECT_EQ(plug->processed, 1);
  EXPECT_FALSE(plug->processLocked);
  {
    std::lock_guard<std::mutex> l(m);
    release = true;
  }
  cv.notify_all();
  holder.join();

  // Through the entry's own render selector the mutex is held.
  ts.mSampleTime = 64;
  EXPECT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 64, &s.list), noErr);
  EXPECT_TRUE(plug->processLocked);
}

}  // namespace
