#include "platform/audiounit/AudioUnit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A unit whose entry records its calls and answers parameter reads with 0.25 x id.
struct Recorder
{
  std::vector<std::pair<SInt16, std::vector<uintptr_t>>> calls;
};
Recorder gRec;

ComponentResult UnitEntry(ComponentParameters* p, void*)
{
  std::vector<uintptr_t> args(p->params, p->params + p->paramSize / sizeof(uintptr_t));
  gRec.calls.emplace_back(p->what, args);
  if (p->what == kAudioUnitGetParameterSelect)
  {
    *ComponentArg<AudioUnitParameterValue*>(p, 3) = 0.25f * (float)ComponentArg<UInt32>(p, 0);
  }
  return noErr;
}

struct UnitFixture : ::testing::Test
{
  void SetUp() override
  {
    gRec.calls.clear();
    const ComponentDescription d = {kAudioUnitType_MusicDevice, MakeOSType("test"), MakeOSType("QhS1"), 0, 0};
    comp = RegisterComponent(&d, UnitEntry, "test unit");
    ASSERT_EQ(OpenAComponent(comp, &unit), noErr);
    gRec.calls.clear();
  }
  void TearDown() override
  {
    CloseComponent(unit);
    UnregisterComponent(comp);
  }
  const std::vector<uintptr_t>& Last(SInt16 what)
  {
    EXPECT_FALSE(gRec.calls.empty());
    EXPECT_EQ(gRec.calls.back().first, what);
    return gRec.calls.back().second;
  }
  Component comp = nullptr;
  AudioUnit unit = nullptr;
};

TEST_F(UnitFixture, HostCallsPassTheirArgumentsInCallOrder)
{
  UInt32 size = 8;
  double rate = 0;
  AudioUnitGetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 3, &rate, &size);
  auto a = Last(kAudioUnitGetPropertySelect);
  ASSERT_EQ(a.size(), 5u);
  EXPECT_EQ(a[0], 2u);
  EXPECT_EQ(a[1], 2u);
  EXPECT_EQ(a[2], 3u);
  EXPECT_EQ(a[3], (uintptr_t)&rate);
  EXPECT_EQ(a[4], (uintptr_t)&size);

  AudioUnitSetParameter(unit, 9, kAudioUnitScope_Global, 0, -0.75f, 12);
  a = Last(kAudioUnitSetParameterSelect);
  ComponentParameters p = {};
  p.paramSize = (UInt8)(a.size() * sizeof(uintptr_t));
  std::copy(a.begin(), a.end(), p.params);
  EXPECT_EQ(ComponentArg<Float32>(&p, 3), -0.75f);
  EXPECT_EQ(ComponentArg<UInt32>(&p, 4), 12u);

  MusicDeviceMIDIEvent(unit, 0x90, 60, 100, 17);
  a = Last(kMusicDeviceMIDIEventSelect);
  EXPECT_EQ(a, (std::vector<uintptr_t>{0x90, 60, 100, 17}));
  EXPECT_EQ(kMusicDeviceMIDIEventSelect, 257);
  EXPECT_EQ(kMusicDeviceStopNoteSelect, 262);
  EXPECT_EQ(kAudioUnitCarbonViewCreateSelect, 769);
  AudioUnitReset(unit, kAudioUnitScope_Global, 0);
  EXPECT_EQ(Last(kAudioUnitResetSelect).size(), 2u);
}

struct Heard
{
  std::vector<AudioUnitEvent> events;
  std::vector<float> values;
  std::vector<void*> objects;
};

void Listen(void* refCon, void* object, const AudioUnitEvent* e, UInt64, AudioUnitParameterValue v)
{
  Heard* h = static_cast<Heard*>(refCon);
  h->events.push_back(*e);
  h->values.push_back(v);
  h->objects.push_back(object);
}

AudioUnitEvent ParamEvent(AudioUnit unit, AudioUnitEventType type, AudioUnitParameterID id)
{
  AudioUnitEvent e;
  memset(&e, 0, sizeof(e));
  e.mEventType = type;
  e.mArgument.mParameter = {unit, id, kAudioUnitScope_Global, 0};
  return e;
}

TEST_F(UnitFixture, EventsReachMatchingListenersWithTheValueReadBack)
{
  Heard one, any;
  AUEventListenerRef l1 = nullptr, l2 = nullptr;
  ASSERT_EQ(AUEventListenerCreate(Listen, &one, &l1), noErr);
  ASSERT_EQ(AUEventListenerCreate(Listen, &any, &l2), noErr);
  int tag = 0;
  AudioUnitEvent reg = ParamEvent(unit, kAudioUnitEvent_ParameterValueChange, 4);
  ASSERT_EQ(AUEventListenerAddEventType(l1, &tag, &reg), noErr);
  AudioUnitEvent regAny = ParamEvent(unit, kAudioUnitEvent_ParameterValueChange, kAUParameterListener_AnyParameter);
  ASSERT_EQ(AUEventListenerAddEventType(l2, nullptr, &regAny), noErr);
  AudioUnitEvent regGesture = ParamEvent(unit, kAudioUnitEvent_BeginParameterChangeGesture, 4);
  ASSERT_EQ(AUEventListenerAddEventType(l2, nullptr, &regGesture), noErr);

  AudioUnitEvent change4 = ParamEvent(unit, kAudioUnitEvent_ParameterValueChange, 4);
  AudioUnitEvent change6 = ParamEvent(unit, kAudioUnitEvent_ParameterValueChange, 6);
  AudioUnitEvent begin4 = ParamEvent(unit, kAudioUnitEvent_BeginParameterChangeGesture, 4);
  AUEventListenerNotify(nullptr, nullptr, &change4);
  AUEventListenerNotify(nullptr, nullptr, &change6);
  AUEventListenerNotify(nullptr, nullptr, &begin4);
  ASSERT_EQ(one.events.size(), 1u);
  EXPECT_EQ(one.values[0], 1.0f);
  EXPECT_EQ(one.objects[0], &tag);
  ASSERT_EQ(any.events.size(), 3u);
  EXPECT_EQ(any.events[1].mArgument.mParameter.mParameterID, 6u);
  EXPECT_EQ(any.values[1], 1.5f);
  EXPECT_EQ(any.events[2].mEventType, kAudioUnitEvent_BeginParameterChangeGesture);

  // The sender does not hear itself, by listener or by object.
  AUEventListenerNotify(l1, nullptr, &change4);
  AUEventListenerNotify(nullptr, &tag, &change4);
  EXPECT_EQ(one.events.size(), 1u);
  EXPECT_EQ(any.events.size(), 5u);

  EXPECT_EQ(AUEventListenerRemoveEventType(l2, nullptr, &regAny), noErr);
  EXPECT_EQ(AUEventListenerRemoveEventType(l2, nullptr, &regAny), paramErr);
  AUListenerDispose(l1);
  AUEventListenerNotify(nullptr, nullptr, &change4);
  EXPECT_EQ(one.events.size(), 1u);
  EXPECT_EQ(any.events.size(), 5u);
  AUListenerDispose(l2);
  // The remaining registration is released with the instance (the leak check sees to it).
}

TEST(AUCocoaUI, ClassesAreFoundByNameInTheirBundle)
{
  CFStringRef folder = CFStringCreateWithCString(nullptr, DAVREL_FIXTURE_BUNDLE, kCFStringEncodingUTF8);
  CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, folder, kCFURLPOSIXPathStyle, true);
  CFBundleRef b = CFBundleCreate(nullptr, url);
  ASSERT_NE(b, nullptr);
  const AUCocoaUIClass* cls = AUCocoaUIClassNamed(b, CFSTR("FixtureView"));
  ASSERT_NE(cls, nullptr);
  AUCocoaUIBase* view = cls->make();
  EXPECT_EQ(view->interfaceVersion(), 7u);
  CFStringRef d = view->description();
  EXPECT_STREQ(CFStringGetCStringPtr(d, kCFStringEncodingUTF8), "Fixture View");
  CFRelease(d);
  delete view;
  EXPECT_EQ(AUCocoaUIClassNamed(b, CFSTR("OtherView")), nullptr);
  EXPECT_EQ(AUCocoaUIClassNamed(b, CFSTR("")), nullptr);
  EXPECT_EQ(AUCocoaUIClassNamed(nullptr, CFSTR("FixtureView")), nullptr);
  CFRelease(url);
  CFRelease(folder);
}

}  // namespace
