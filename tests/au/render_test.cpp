// The render procedure: checks, notifications, input pulled once per time
// stamp, processing and bypass, host buffer lists, connections; host time.

#include "TestPlug.h"

#include <climits>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct Source
{
  int pulls = 0;
  OSStatus status = noErr;
  float scale = 1.0f;
};

// The host's input: channel c, frame n carries (c + 1) * 0.01 * (n + 1).
OSStatus HostInput(void* ud, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32, UInt32 frames,
                   AudioBufferList* list)
{
  Source* s = static_cast<Source*>(ud);
  ++s->pulls;
  EXPECT_EQ(*flags, 0u);
  if (s->status) return s->status;
  for (UInt32 c = 0; c < list->mNumberBuffers; ++c)
  {
    EXPECT_EQ(list->mBuffers[c].mDataByteSize, frames * 4);
    float* p = (float*)list->mBuffers[c].mData;
    for (UInt32 n = 0; n < frames; ++n) p[n] = s->scale * (c + 1) * 0.01f * (n + 1);
  }
  return noErr;
}

struct Notice
{
  AudioUnitRenderActionFlags flags;
  int processedBefore;
};
struct Notices
{
  std::vector<Notice> seen;
  TestPlug* plug = nullptr;
};
OSStatus Notify(void* ud, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*)
{
  Notices* n = static_cast<Notices*>(ud);
  n->seen.push_back(Notice{*flags, n->plug->processed});
  return noErr;
}

struct Render : AUFixture
{
  void Prepare(int block = 64)
  {
    UInt32 frames = (UInt32)block;
    ASSERT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &frames, 4), noErr);
    AudioStreamBasicDescription f = Format(2);
    ASSERT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &f, sizeof(f)), noErr);
    ASSERT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof(f)), noErr);
    AURenderCallbackStruct in = {HostInput, &source};
    ASSERT_EQ(Set(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &in, sizeof(in)), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
  }
  // Renders into nBuffers host buffers of frames floats each (data null when host is false).
  OSStatus Go(double sampleTime, UInt32 frames, int nBuffers = 2, bool hostMemory = true, UInt32 bus = 0,
              UInt32 flags = kAudioTimeStampSampleTimeValid)
  {
    bufs.assign((size_t)nBuffers, std::vector<float>(frames + 8, -7.0f));
    list.list.mNumberBuffers = (UInt32)nBuffers;
    for (int c = 0; c < nBuffers; ++c)
      list.list.mBuffers[c] = AudioBuffer{1, frames * 4, hostMemory ? bufs[(size_t)c].data() : nullptr};
    AudioTimeStamp ts = {};
    ts.mSampleTime = sampleTime;
    ts.mFlags = flags;
    AudioUnitRenderActionFlags f = 0;
    return AudioUnitRender(unit, &f, &ts, bus, frames, &list.list);
  }
  float Out(int c, int n) const { return ((const float*)list.list.mBuffers[c].mData)[n]; }

  Source source;
  std::vector<std::vector<float>> bufs;
  AudioBufferListStorage<8> list;
};

TEST_F(Render, BadCallsAreRefusedBeforeAnyNotification)
{
  Open();
  Prepare();
  Notices n;
  n.plug = plug;
  AudioUnitAddRenderNotify(unit, Notify, &n);
  EXPECT_EQ(Go(0, 64, 2, true, 0, 0), kAudioUnitErr_InvalidPropertyValue);  // no valid sample time
  EXPECT_EQ(Go(0, 64, 2, true, 1), kAudioUnitErr_InvalidPropertyValue);     // bus index = bus count
  EXPECT_EQ(Go(0, 65), kAudioUnitErr_InvalidPropertyValue);                 // block size + 1
  AudioTimeStamp ts = {};
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  Go(0, 64);
  list.list.mBuffers[1].mDataByteSize = 63 * 4;  // host buffer too small for the block
  EXPECT_EQ(AudioUnitRender(unit, nullptr, &ts, 0, 64, &list.list), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(AudioUnitRender(unit, nullptr, &ts, 0, 64, nullptr), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(AudioUnitRender(unit, nullptr, nullptr, 0, 64, &list.list), kAudioUnitErr_InvalidPropertyValue);
  ASSERT_EQ(n.seen.size(), 2u);  // only the good call was announced
  EXPECT_EQ(plug->processed, 1);
}

TEST_F(Render, NotificationsComeBeforeAndAfterTheBlock)
{
  Open();
  Prepare();
  Notices n;
  n.plug = plug;
  AudioUnitAddRenderNotify(unit, Notify, &n);
  AudioUnitAddRenderNotify(unit, Notify, &n);
  ASSERT_EQ(Go(0, 64), noErr);
  ASSERT_EQ(n.seen.size(), 4u);
  EXPECT_EQ(n.seen[0].flags, kAudioUnitRenderAction_PreRender);
  EXPECT_EQ(n.seen[1].flags, kAudioUnitRenderAction_PreRender);
  EXPECT_EQ(n.seen[0].processedBefore, 0);
  EXPECT_EQ(n.seen[2].flags, kAudioUnitRenderAction_PostRender);
  EXPECT_EQ(n.seen[3].processedBefore, 1);
}

TEST_F(Render, ProcessesInputIntoHostBuffersAndPullsOncePerTimeStamp)
{
  Open();
  Prepare();
  ASSERT_EQ(Go(0, 64), noErr);
  EXPECT_EQ(source.pulls, 1);
  EXPECT_FLOAT_EQ(Out(0, 0), 2 * 0.01f);
  EXPECT_FLOAT_EQ(Out(1, 63), 2 * 2 * 0.01f * 64);
  EXPECT_EQ(bufs[0][64], -7.0f);  // nothing past the block
  source.scale = 10.0f;
  ASSERT_EQ(Go(0, 64), noErr);  // same time stamp: the inputs already pulled serve again
  EXPECT_EQ(source.pulls, 1);
  EXPECT_FLOAT_EQ(Out(0, 0), 2 * 0.01f);
  ASSERT_EQ(Go(64, 32), noErr);
  EXPECT_EQ(source.pulls, 2);
  EXPECT_FLOAT_EQ(Out(0, 0), 2 * 10 * 0.01f);
}

TEST_F(Render, BypassPassesInputThrough)
{
  Open();
  Prepare();
  UInt32 on = 1;
  ASSERT_EQ(Set(kAudioUnitProperty_BypassEffect, 0, 0, &on, 4), noErr);
  ASSERT_EQ(Go(0, 16), noErr);
  EXPECT_EQ(plug->processed, 0);
  EXPECT_FLOAT_EQ(Out(0, 3), 0.04f);
  EXPECT_FLOAT_EQ(Out(1, 3), 0.08f);
}

TEST_F(Render, BuffersWithoutMemoryAreServedFromScratch)
{
  Open();
  Prepare();
  ASSERT_EQ(Go(0, 64, 2, false), noErr);
  ASSERT_NE(list.list.mBuffers[0].mData, nullptr);
  ASSERT_NE(list.list.mBuffers[1].mData, list.list.mBuffers[0].mData);
  EXPECT_EQ(list.list.mBuffers[1].mDataByteSize, 256u);
  EXPECT_FLOAT_EQ(Out(1, 9), 2 * 2 * 0.01f * 10);
}

TEST_F(Render, MoreHostBuffersThanTheBusHasChannelsUsesOnlyTheBussesOwn)
{
  Open();
  Prepare();
  // Four buffers without memory against a two-channel bus: the extra two are
  // left alone rather than pointed past the scratch output.
  ASSERT_EQ(Go(0, 64, 4, false), noErr);
  EXPECT_EQ(list.list.mBuffers[2].mData, nullptr);
  EXPECT_EQ(list.list.mBuffers[3].mData, nullptr);
  EXPECT_FLOAT_EQ(Out(1, 0), 0.04f);
  ASSERT_EQ(Go(64, 64, 4, true), noErr);
  EXPECT_EQ(bufs[2][0], -7.0f);
  EXPECT_FLOAT_EQ(Out(0, 1), 0.04f);
  // Fewer buffers than channels: the first channel alone.
  ASSERT_EQ(Go(128, 64, 1, true), noErr);
  EXPECT_FLOAT_EQ(Out(0, 1), 0.04f);
  EXPECT_TRUE(plug->IsOutChannelConnected(0));
  EXPECT_FALSE(plug->IsOutChannelConnected(1));
}

TEST_F(Render, AFailingInputSourceStopsTheBlock)
{
  Open();
  Prepare();
  Notices n;
  n.plug = plug;
  AudioUnitAddRenderNotify(unit, Notify, &n);
  source.status = -1234;
  EXPECT_EQ(Go(0, 64), -1234);
  EXPECT_EQ(plug->processed, 0);
  ASSERT_EQ(n.seen.size(), 1u);
  EXPECT_EQ(n.seen[0].flags, kAudioUnitRenderAction_PreRender);
  source.status = noErr;
  EXPECT_EQ(Go(0, 64), noErr);  // the failed time stamp is pulled again
  EXPECT_EQ(source.pulls, 2);
}

// A source unit without a fast render procedure.
float gSourceBuffers[2][1024];
ComponentResult PlainSource(ComponentParameters* p, void*)
{
  switch (p->what)
  {
    case kComponentOpenSelect:
    case kComponentCloseSelect: return noErr;
    case kAudioUnitGetPropertySelect:
    {
      if (ComponentArg<UInt32>(p, 0) != kAudioUnitProperty_StreamFormat) return kAudioUnitErr_InvalidProperty;
      AudioStreamBasicDescription f;
      IPlugAU::MakeDefaultASBD(&f, 48000.0, 2, false);
      memcpy(ComponentArg<void*>(p, 3), &f, sizeof(f));
      return noErr;
    }
    case kAudioUnitRenderSelect:
    {
      AudioBufferList* list = ComponentArg<AudioBufferList*>(p, 4);
      const UInt32 frames = ComponentArg<UInt32>(p, 3);
      for (UInt32 c = 0; c < list->mNumberBuffers && c < 2; ++c)
      {
        for (UInt32 n = 0; n < frames; ++n) gSourceBuffers[c][n] = 0.5f + c;
        list->mBuffers[c].mData = gSourceBuffers[c];
      }
      return noErr;
    }
    default: return badComponentSelector;
  }
}

TEST_F(Render, ConnectionsToOtherUnitsPullThroughTheirRender)
{
  Open();
  Prepare();
  // Another instance as the source: found with its fast render procedure.
  AudioUnit src = OpenAnother();
  TestPlug* srcPlug = static_cast<TestPlug*>(GetComponentInstanceStorage(src));
  Source srcInput;
  AURenderCallbackStruct in = {HostInput, &srcInput};
  ASSERT_EQ(AudioUnitSetProperty(src, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &in, sizeof(in)), noErr);
  ASSERT_EQ(AudioUnitInitialize(src), noErr);
  AudioUnitConnection conn = {src, 0, 0};
  ASSERT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, &conn, sizeof(conn)), noErr);
  EXPECT_EQ(plug->GetInBusConnection(0)->mInputType, IPlugAU::eDirectFastProc);
  EXPECT_EQ(plug->GetInBusConnection(0)->mUpstreamObj, srcPlug);
  ASSERT_EQ(Go(0, 16), noErr);
  EXPECT_EQ(srcInput.pulls, 1);
  EXPECT_FLOAT_EQ(Out(1, 0), 4 * 0.02f);  // twice in the source, twice here

  // A source without a fast procedure is rendered through its entry.
  const ComponentDescription d = {kAudioUnitType_Effect, MakeOSType("srce"), kTestMfr, 0, 0};
  Component plainComp = RegisterComponent(&d, PlainSource, "plain source");
  AudioUnit plain = nullptr;
  ASSERT_EQ(OpenAComponent(plainComp, &plain), noErr);
  conn.sourceAudioUnit = plain;
  ASSERT_EQ(Set(kAudioUnitProperty_MakeConnection, 0, 0, &conn, sizeof(conn)), noErr);
  EXPECT_EQ(plug->GetInBusConnection(0)->mInputType, IPlugAU::eDirectNoFastProc);
  ASSERT_EQ(Go(16, 16), noErr);
  EXPECT_FLOAT_EQ(Out(0, 5), 1.0f);
  EXPECT_FLOAT_EQ(Out(1, 5), 3.0f);

  // No source: disconnected; a bad destination is refused.
  conn.sourceAudioUnit = nullptr;
  ASSERT_EQ(Set(kAudioUnitProperty_MakeConnection, 0, 0, &conn, sizeof(conn)), noErr);
  EXPECT_EQ(plug->GetInBusConnection(0)->mInputType, IPlugAU::eNotConnected);
  EXPECT_FALSE(plug->IsInChannelConnected(0));
  // The input types' names; a value outside the list reads as not connected.
  const std::pair<int, const char*> names[] = {{0, "NotConnected"},   {1, "DirectFastProc"}, {2, "DirectNoFastProc"},
                                               {3, "RenderCallback"}, {4, "NotConnected"},   {-1, "NotConnected"}};
  for (const auto& n : names) EXPECT_STREQ(IPlugAU::AUInputTypeStr(n.first), n.second) << n.first;
  conn.destInputNumber = 1;
  EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, 0, 0, &conn, sizeof(conn)), kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(Set(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Output, 0, &conn, sizeof(conn)),
            kAudioUnitErr_InvalidProperty);
  CloseComponent(plain);
  UnregisterComponent(plainComp);
}

struct Clock
{
  Float64 beat = 0, tempo = 0, samplePos = 0, cycleStart = 0, cycleEnd = 0, downBeat = 0;
  Float32 num = 0;
  UInt32 den = 0;
  Boolean playing = false, cycling = false;
};
OSStatus BeatTempo(void* ud, Float64* beat, Float64* tempo)
{
  const Clock* c = static_cast<Clock*>(ud);
  *beat = c->beat;
  *tempo = c->tempo;
  return noErr;
}
OSStatus Musical(void* ud, UInt32*, Float32* num, UInt32* den, Float64* downBeat)
{
  const Clock* c = static_cast<Clock*>(ud);
  *num = c->num;
  *den = c->den;
  *downBeat = c->downBeat;
  return noErr;
}
OSStatus Transport(void* ud, Boolean* playing, Boolean*, Float64* pos, Boolean* cycling, Float64* start, Float64* end)
{
  const Clock* c = static_cast<Clock*>(ud);
  *playing = c->playing;
  *pos = c->samplePos;
  *cycling = c->cycling;
  *start = c->cycleStart;
  *end = c->cycleEnd;
  return noErr;
}

TEST_F(Render, HostTimeComesFromTheHostsCallbacks)
{
  Open();
  EXPECT_EQ(plug->GetTempo(), 138.0);
  EXPECT_EQ(plug->GetSamplePos(), 0);
  int num = -1, den = -1;
  plug->GetTimeSig(&num, &den);
  EXPECT_EQ(num, -1);
  ITimeInfo untouched;
  untouched.mTempo = 99;
  plug->GetTime(&untouched);
  EXPECT_EQ(untouched.mTempo, 99);

  Clock clock;
  HostCallbackInfo cb = {&clock, BeatTempo, Musical, Transport};
  ASSERT_EQ(Set(kAudioUnitProperty_HostCallbacks, 0, 0, &cb, sizeof(cb)), noErr);
  EXPECT_EQ(plug->GetTempo(), 138.0);  // no positive tempo yet
  clock.tempo = 120.0;
  EXPECT_EQ(plug->GetTempo(), 120.0);
  clock.tempo = 0.0;
  EXPECT_EQ(plug->GetTempo(), 120.0);
  clock.samplePos = 99.5;
  EXPECT_EQ(plug->GetSamplePos(), 100);
  clock.num = 7.9f;
  clock.den = 8;
  plug->GetTimeSig(&num, &den);
  EXPECT_EQ(num, 7);
  EXPECT_EQ(den, 8);

  ITimeInfo t;
  t.mTempo = 50;
  t.mPPQPos = 5;
  t.mSamplePos = 6;
  t.mLastBar = 7;
  t.mCycleStart = 8;
  t.mCycleEnd = 9;
  t.mTransportIsRunning = true;
  clock.beat = 0;
  clock.samplePos = 0;
  clock.playing = false;
  clock.cycling = true;
  clock.cycleStart = 4;
  clock.cycleEnd = 0;
  clock.downBeat = 0;
  plug->GetTime(&t);
  // Values of 0 or below keep what the caller put in; the flags are always written.
  EXPECT_EQ(t.mTempo, 50);
  EXPECT_EQ(t.mPPQPos, 5);
  EXPECT_EQ(t.mSamplePos, 6);
  EXPECT_EQ(t.mLastBar, 7);
  EXPECT_EQ(t.mCycleStart, 4);
  EXPECT_EQ(t.mCycleEnd, 9);
  EXPECT_FALSE(t.mTransportIsRunning);
  EXPECT_TRUE(t.mTransportLoopEnabled);
  EXPECT_EQ(t.mNumerator, 7);
  EXPECT_EQ(t.mDenominator, 8);
  clock.tempo = 90;
  clock.beat = 3.5;
  clock.samplePos = 44100;
  clock.downBeat = 3;
  plug->GetTime(&t);
  EXPECT_EQ(t.mTempo, 90);
  EXPECT_EQ(t.mPPQPos, 3.5);
  EXPECT_EQ(t.mSamplePos, 44100);
  EXPECT_EQ(t.mLastBar, 3);
  EXPECT_EQ(plug->GetTempo(), 90.0);
  clock.tempo = 70;
  plug->GetTime(&t);
  EXPECT_EQ(t.mTempo, 70);
  clock.tempo = 0;
  EXPECT_EQ(plug->GetTempo(), 90.0);  // GetTime left the stored tempo alone
}

TEST_F(Render, HostTimeBeyondAnIntsRangeIsHeldAtItsEnd)
{
  Open();
  Clock clock;
  HostCallbackInfo cb = {&clock, BeatTempo, Musical, Transport};
  ASSERT_EQ(Set(kAudioUnitProperty_HostCallbacks, 0, 0, &cb, sizeof(cb)), noErr);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  // Sample position and numerator as the host may give them, and what the editor reads.
  const struct
  {
    double pos;
    int samplePos;
    float num;
    UInt32 den;
    int numerator, denominator;
  } rows[] = {
      {2147483646.4, 2147483646, 3.0f, 4, 3, 4},
      {2147483646.6, INT_MAX, 3.0f, 4, 3, 4},
      {1e12, INT_MAX, 1e12f, 0x80000000u, INT_MAX, INT_MAX},
      {-1e12, INT_MIN, -1e12f, 0xFFFFFFFFu, INT_MIN, INT_MAX},
      {-2.7, -2, -2.7f, 1, -2, 1},
      {inf, INT_MAX, (float)inf, 2, INT_MAX, 2},
      {-inf, INT_MIN, (float)-inf, 2, INT_MIN, 2},
      {nan, 0, (float)nan, 2, 0, 2},
  };
  for (const auto& r : rows)
  {
    SCOPED_TRACE(r.pos);
    clock.samplePos = r.pos;
    clock.num = r.num;
    clock.den = r.den;
    EXPECT_EQ(plug->GetSamplePos(), r.samplePos);
    int num = 0, den = 0;
    plug->GetTimeSig(&num, &den);
    EXPECT_EQ(num, r.numerator);
    EXPECT_EQ(den, r.denominator);
    ITimeInfo t;
    plug->GetTime(&t);
    EXPECT_EQ(t.mNumerator, r.numerator);
    EXPECT_EQ(t.mDenominator, r.denominator);
  }

  // A tempo that is not finite is no tempo: the last usable one stays.
  clock.tempo = 100.0;
  EXPECT_EQ(plug->GetTempo(), 100.0);
  for (double bad : {inf, nan, -inf, -1.0})
  {
    clock.tempo = bad;
    EXPECT_EQ(plug->GetTempo(), 100.0);
    ITimeInfo t;
    t.mTempo = 55.0;
    plug->GetTime(&t);
    EXPECT_EQ(t.mTempo, 55.0);
  }
}

}  // namespace
