// Properties: every id in each scope with its size, writability and status;
// parameter texts and refusals; stream format negotiation; listeners.

#include "TestPlug.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

std::string Text(CFStringRef s)
{
  const char* p = s ? CFStringGetCStringPtr(s, kCFStringEncodingUTF8) : nullptr;
  return p ? p : "<null>";
}

PlugSpec ParamSpec()
{
  PlugSpec spec;
  spec.setup = [](TestPlug* p) {
    IParam* mode = p->GetParam(0);
    mode->InitEnum("Mode", 1, 3, "", "Osc");
    mode->SetDisplayText(0, "Saw");
    mode->SetDisplayText(1, "Square");
    mode->SetDisplayText(2, "Noise");
    p->GetParam(1)->InitDouble("Cutoff", 0.5, 0.0, 1.0, 0.01, "Hz", "Filter");
    p->GetParam(1)->SetNegateDisplay(true);
    p->GetParam(2)->InitBool("Sync", false, "", "Osc");
    p->GetParam(3)->InitInt("Octave", 0, -2, 2);
    p->GetParam(3)->SetIsMeta(true);
    p->GetParam(3)->SetCanAutomate(false);
  };
  return spec;
}

using Properties = AUFixture;

struct InfoCase
{
  AudioUnitPropertyID id;
  AudioUnitScope scope;
  AudioUnitElement element;
  OSStatus status;
  UInt32 size;
  bool writable;
};

TEST_F(Properties, InfoForEveryIdAndScope)
{
  Open(ParamSpec());
  const UInt32 G = kAudioUnitScope_Global, I = kAudioUnitScope_Input, O = kAudioUnitScope_Output;
  const OSStatus kProp = kAudioUnitErr_InvalidProperty, kElem = kAudioUnitErr_InvalidElement;
  const InfoCase cases[] = {
      {0, G, 0, 0, 8, true},       {0, O, 3, 0, 8, true},       {1, G, 0, 0, 16, true},      {1, I, 0, 0, 16, true},
      {1, O, 0, kProp, 0, false},  {2, G, 0, 0, 8, true},       {2, I, 0, 0, 8, true},       {3, G, 0, 0, 16, false},
      {3, O, 0, 0, 0, false},      {4, G, 0, 0, 104, false},    {4, G, 4, kElem, 0, false},  {4, I, 0, kProp, 0, false},
      {5, G, 14, 0, 8, false},     {5, G, 6, 0, 8, false},      {5, G, 9, kElem, 8, false},  {8, G, 0, 0, 40, true},
      {8, I, 0, 0, 40, true},      {8, O, 0, 0, 40, true},      {8, O, 1, kProp, 0, false},  {8, I, 1, kProp, 0, false},
      {8, 3, 0, kProp, 0, false},  {11, G, 0, 0, 4, false},     {11, 7, 0, 0, 4, false},     {12, G, 0, 0, 8, false},
      {12, O, 0, kProp, 0, false}, {13, G, 0, 0, 4, false},     {13, I, 0, kProp, 0, false}, {14, G, 0, 0, 4, true},
      {14, O, 0, kProp, 0, false}, {16, G, 0, 0, 8, false},     {16, G, 1, kProp, 0, false}, {16, G, 4, kElem, 0, false},
      {16, I, 0, kProp, 0, false}, {18, G, 0, kProp, 0, false}, {19, G, 0, kAudioUnitErr_InvalidPropertyValue, 0, false},
      {20, G, 0, 0, 8, false},     {20, I, 0, kProp, 0, false}, {21, G, 0, 0, 4, true},      {21, I, 0, kProp, 0, false},
      {22, G, 0, 0, 4, false},     {22, O, 0, kProp, 0, false}, {23, G, 0, 0, 16, true},     {23, I, 0, 0, 16, true},
      {23, I, 1, kProp, 0, false}, {23, O, 0, kProp, 0, false}, {24, G, 0, 0, 8, false},     {24, O, 0, 0, 8, false},
      {27, G, 0, 0, 32, true},     {27, I, 0, kProp, 0, false}, {28, G, 0, 0, 16, true},     {36, O, 0, 0, 16, true},
      {30, I, 0, kProp, 8, false}, {31, G, 0, kProp, 0, false}, {32, O, 0, kProp, 0, false}, {33, G, 0, 0, 24, false},
      {33, I, 0, 0, 24, false},    {34, G, 0, 0, 16, false},    {35, G, 0, 0, 16, false},    {38, G, 0, 0, 24, false},
      {1000, G, 0, 0, 4, false},   {1000, I, 0, kProp, 0, false},
  };
  for (const auto& c : cases)
  {
    UInt32 size = 0;
    Boolean writable = true;  // the adapter clears it first
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, c.id, c.scope, c.element, &size, &writable), c.status)
        << "id " << c.id << " scope " << c.scope << " element " << c.element;
    if (c.status == noErr || c.size)
    {
      EXPECT_EQ(size, c.size) << "id " << c.id << " scope " << c.scope;
    }
    EXPECT_EQ(writable != 0, c.writable) << "id " << c.id << " scope " << c.scope;
  }
  for (AudioUnitPropertyID id : {6u, 7u, 9u, 10u, 15u, 17u, 25u, 26u, 29u, 37u, 46u, 47u, 999u})
  {
    UInt32 size = 0;
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, id, kAudioUnitScope_Global, 0, &size, nullptr), kProp) << id;
  }
}

TEST_F(Properties, ValuesOfTheSimpleProperties)
{
  Open(ParamSpec());
  UInt32 size = 4, n = 0;
  const struct { AudioUnitScope scope; UInt32 want; } counts[] = {{0, 1}, {1, 1}, {2, 1}, {5, 0}};
  for (const auto& c : counts)
  {
    size = 4;
    ASSERT_EQ(Get(kAudioUnitProperty_ElementCount, c.scope, 0, &n, &size), noErr);
    EXPECT_EQ(n, c.want) << c.scope;
  }
  double rate = 96000.0;
  ASSERT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate, 8), noErr);
  Float64 latency = 0;
  size = 8;
  ASSERT_EQ(Get(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &latency, &size), noErr);
  EXPECT_DOUBLE_EQ(latency, 64.0 / 96000.0);
  Float64 tail = 0;
  ASSERT_EQ(Get(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, &tail, &size), noErr);
  EXPECT_EQ(tail, latency);

  AudioUnitParameterID ids[8] = {};
  size = sizeof(ids);
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size), noErr);
  ASSERT_EQ(size, 16u);
  EXPECT_EQ(ids[3], 3u);
  AUChannelInfo io[2] = {};
  size = sizeof(io);
  ASSERT_EQ(Get(kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, io, &size), noErr);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(io[0].inChannels, 2);
  EXPECT_EQ(io[0].outChannels, 2);
  UInt32 v = 9;
  size = 4;
  ASSERT_EQ(Get(kMusicDeviceProperty_InstrumentCount, kAudioUnitScope_Global, 0, &v, &size), noErr);
  EXPECT_EQ(v, 1u);
  ASSERT_EQ(Get(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, &v, &size), noErr);
  EXPECT_EQ(v, 0u);
  ASSERT_EQ(Get(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &v, &size), noErr);
  EXPECT_EQ(v, 1024u);
}

TEST_F(Properties, ADestinationTooSmallIsRefusedUntouched)
{
  Open(ParamSpec());
  unsigned char buf[8];
  memset(buf, 0xAB, sizeof(buf));
  UInt32 size = 4;
  EXPECT_EQ(Get(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, buf, &size), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(buf[0], 0xAB);
  EXPECT_EQ(size, 8u);
  AudioUnitParameterID ids[2];
  size = sizeof(ids);
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, ids, &size),
            kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_SampleRate, 0, 0, buf, nullptr), paramErr);
  // A value shorter than its property is not read.
  EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, buf, 4), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, buf, 8), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, nullptr, 40),
            kAudioUnitErr_InvalidPropertyValue);
}

TEST_F(Properties, ParameterInformationFlagsUnitsAndClumps)
{
  Open(ParamSpec());
  struct Want
  {
    const char* name;
    UInt32 flags;
    AudioUnitParameterUnit unit;
    float min, max, def;
    UInt32 clump;
    const char* unitName;
  };
  const UInt32 base = 0x48000010;
  const Want want[] = {
      {"Mode", base | 0x80000000u | 0x00100000u, kAudioUnitParameterUnit_Indexed, 0, 2, 1, 1, nullptr},
      {"Cutoff", base | 0x80000000u | 0x00100000u, kAudioUnitParameterUnit_CustomUnit, 0, 1, 0.5f, 2, "Hz"},
      {"Sync", base | 0x80000000u | 0x00100000u, kAudioUnitParameterUnit_Boolean, 0, 1, 0, 1, nullptr},
      {"Octave", base | 0x20000000u, kAudioUnitParameterUnit_Indexed, -2, 2, 0, 0, nullptr},
  };
  for (UInt32 i = 0; i < 4; ++i)
  {
    AudioUnitParameterInfo info;
    memset(&info, 0x55, sizeof(info));
    UInt32 size = sizeof(info);
    ASSERT_EQ(Get(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, i, &info, &size), noErr);
    EXPECT_STREQ(info.name, want[i].name);
    EXPECT_EQ(Text(info.cfNameString), want[i].name);
    EXPECT_EQ(info.flags, want[i].flags) << i;
    EXPECT_EQ(info.unit, want[i].unit) << i;
    EXPECT_EQ(info.minValue, want[i].min);
    EXPECT_EQ(info.maxValue, want[i].max);
    EXPECT_EQ(info.defaultValue, want[i].def);
    EXPECT_EQ(info.clumpID, want[i].clump) << i;
    if (want[i].unitName)
    {
      EXPECT_EQ(Text(info.unitName), want[i].unitName);
    }
    else EXPECT_EQ(info.unitName, nullptr);
    CFRelease(info.cfNameString);
    if (info.unitName) CFRelease(info.unitName);
  }

  const struct { UInt32 clump; OSStatus status; const char* name; } clumps[] = {
      {1, noErr, "Osc"}, {2, noErr, "Filter"}, {0, kAudioUnitErr_PropertyNotInUse, nullptr},
      {3, kAudioUnitErr_InvalidElement, nullptr}};
  for (const auto& c : clumps)
  {
    AudioUnitParameterNameInfo req = {c.clump, -1, nullptr};
    UInt32 size = sizeof(req);
    EXPECT_EQ(Get(kAudioUnitProperty_ParameterClumpName, kAudioUnitScope_Global, 0, &req, &size), c.status) << c.clump;
    if (c.name)
    {
      EXPECT_EQ(Text(req.outName), c.name);
      CFRelease(req.outName);
    }
  }
}

TEST_F(Properties, ParameterTextsAndConversions)
{
  Open(ParamSpec());
  CFArrayRef names = nullptr;
  UInt32 size = sizeof(names);
  ASSERT_EQ(Get(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, 0, &names, &size), noErr);
  ASSERT_EQ(CFArrayGetCount(names), 3);
  EXPECT_EQ(Text((CFStringRef)CFArrayGetValueAtIndex(names, 2)), "Noise");
  CFRelease(names);

  struct FromValue { UInt32 id; float value; bool useValue; const char* text; };
  plug->GetParam(1)->Set(0.3);
  const FromValue fv[] = {{0, 2.0f, true, "Noise"}, {0, 0.9f, true, "Saw"}, {1, 0.25f, true, "-0.25"}, {1, 0, false, "-0.30"}};
  for (const auto& c : fv)
  {
    AudioUnitParameterStringFromValue req = {c.id, c.useValue ? &c.value : nullptr, nullptr};
    size = sizeof(req);
    ASSERT_EQ(Get(kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global, 0, &req, &size), noErr);
    EXPECT_EQ(Text(req.outString), c.text);
    CFRelease(req.outString);
  }

  const struct { UInt32 id; SInt32 len; const char* want; } names2[] = {
      {1, 3, "Cut"}, {1, -1, "Cutoff"}, {1, 80, "Cutoff"}, {1, 0, ""}, {1, -7, "Cutoff"}};
  for (const auto& c : names2)
  {
    AudioUnitParameterIDName req = {c.id, c.len, nullptr};
    size = sizeof(req);
    ASSERT_EQ(Get(kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0, &req, &size), noErr);
    EXPECT_EQ(Text(req.outName), c.want) << c.len;
    CFRelease(req.outName);
  }

  // A hidden parameter's text too (the test host's port choice by name).
  plug->GetParam(5)->InitEnum("Port", 0, 3);
  plug->GetParam(5)->SetDisplayText(2, "Rudu:MIDI In");
  const struct { UInt32 id; const char* text; float want; } fromString[] = {
      {1, "12.5", -12.5f}, {0, "Square", 1.0f}, {0, "square", 77.0f}, {0, "Noise", 2.0f},
      {5, "Rudu:MIDI In", 2.0f}, {5, "Rudu:MIDI Out", 77.0f}};
  for (const auto& c : fromString)
  {
    CFStringRef s = CFStringCreateWithCString(nullptr, c.text, kCFStringEncodingUTF8);
    AudioUnitParameterValueFromString req = {c.id, s, 77.0f};
    size = sizeof(req);
    ASSERT_EQ(Get(kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &req, &size), noErr);
    EXPECT_EQ(req.outValue, c.want) << c.text;
    CFRelease(s);
  }

  // Ids beyond the shown parameters are refused, never read.
  AudioUnitParameterStringFromValue bad = {4, nullptr, nullptr};
  size = sizeof(bad);
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global, 0, &bad, &size),
            kAudioUnitErr_InvalidElement);
  AudioUnitParameterIDName badName = {0xFFFFFFFFu, -1, nullptr};
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Global, 0, &badName, &size),
            kAudioUnitErr_InvalidElement);
  AudioUnitParameterValueFromString badValue = {6, CFSTR("1"), 0};
  size = sizeof(badValue);
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterValueFromString, kAudioUnitScope_Global, 0, &badValue, &size),
            kAudioUnitErr_InvalidElement);
  // Other scopes answer the size and fill nothing.
  AudioUnitParameterIDName untouched = {1, -1, nullptr};
  size = sizeof(untouched);
  EXPECT_EQ(Get(kAudioUnitProperty_ParameterIDName, kAudioUnitScope_Input, 0, &untouched, &size), noErr);
  EXPECT_EQ(untouched.outName, nullptr);
}

TEST_F(Properties, HostParametersAreClampedAndOutOfRangeIdsRefused)
{
  Open(ParamSpec());
  EXPECT_EQ(AudioUnitSetParameter(unit, 3, kAudioUnitScope_Global, 0, 9.0f, 0), noErr);
  AudioUnitParameterValue v = 0;
  EXPECT_EQ(AudioUnitGetParameter(unit, 3, kAudioUnitScope_Global, 0, &v), noErr);
  EXPECT_EQ(v, 2.0f);
  EXPECT_EQ(plug->Count("OnParamChange 3"), 1);
  // Non-automated parameters exist; ids past the list do not.
  EXPECT_EQ(AudioUnitGetParameter(unit, 5, kAudioUnitScope_Global, 0, &v), noErr);
  for (UInt32 id : {6u, 1000u, 0x80000000u, 0xFFFFFFFFu})
  {
    EXPECT_EQ(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v), kAudioUnitErr_InvalidElement) << id;
    EXPECT_EQ(AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, 1.0f, 0), kAudioUnitErr_InvalidElement) << id;
  }
  EXPECT_EQ(AudioUnitSetParameter(unit, 0, kAudioUnitScope_Output, 0, 1.0f, 0), kAudioUnitErr_InvalidProperty);
}

TEST_F(Properties, ElementNamesOnlyForBussesThatExist)
{
  Open();
  const struct { AudioUnitScope scope; UInt32 element; OSStatus status; const char* name; } cases[] = {
      {kAudioUnitScope_Input, 0, noErr, "input"},
      {kAudioUnitScope_Input, 1, kAudioUnitErr_InvalidElement, nullptr},  // one input bus, though a label exists
      {kAudioUnitScope_Output, 0, noErr, "output 1"},
      {kAudioUnitScope_Output, 1, kAudioUnitErr_InvalidElement, nullptr},
      {kAudioUnitScope_Output, 0xFFFFFFFFu, kAudioUnitErr_InvalidElement, nullptr},
      {kAudioUnitScope_Global, 0, kAudioUnitErr_InvalidScope, nullptr},
  };
  for (const auto& c : cases)
  {
    CFStringRef name = nullptr;
    UInt32 size = sizeof(name);
    EXPECT_EQ(Get(kAudioUnitProperty_ElementName, c.scope, c.element, &name, &size), c.status)
        << c.scope << "/" << c.element;
    if (c.name)
    {
      EXPECT_EQ(Text(name), c.name);
      CFRelease(name);
    }
    else EXPECT_EQ(name, nullptr);
  }
}

TEST_F(Properties, StreamFormatNegotiation)
{
  Open();
  AudioStreamBasicDescription asbd;
  UInt32 size = sizeof(asbd);
  ASSERT_EQ(Get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &asbd, &size), noErr);
  const AudioStreamBasicDescription want = {44100.0, MakeOSType("lpcm"), 0x29, 4, 1, 4, 2, 32, 0};
  EXPECT_EQ(memcmp(&asbd, &want, sizeof(asbd)), 0);
  AudioStreamBasicDescription inter;
  IPlugAU::MakeDefaultASBD(&inter, 48000.0, 2, true);
  EXPECT_EQ(inter.mFormatFlags, 0x09u);
  EXPECT_EQ(inter.mBytesPerFrame, 8u);
  EXPECT_EQ(inter.mBytesPerPacket, 8u);

  struct Case { int channels; UInt32 format; UInt32 flags; OSStatus status; int hostChannels; };
  const Case cases[] = {
      {0, kAudioFormatLinearPCM, 0x29, kAudioUnitErr_InvalidProperty, 0},
      {1, kAudioFormatLinearPCM, 0x29, kAudioUnitErr_InvalidProperty, 0},   // "2-2" has no mono input
      {3, kAudioFormatLinearPCM, 0x29, kAudioUnitErr_InvalidProperty, 0},
      {2, MakeOSType("aac "), 0x29, kAudioUnitErr_InvalidProperty, 0},
      {2, kAudioFormatLinearPCM, 0x04, kAudioUnitErr_InvalidProperty, 0},  // neither float nor packed
      {2, kAudioFormatLinearPCM, 0x08, noErr, 2},
      {2, kAudioFormatLinearPCM, 0x29, noErr, 2},
  };
  for (const auto& c : cases)
  {
    AudioStreamBasicDescription f = Format(c.channels, 96000.0);
    f.mFormatID = c.format;
    f.mFormatFlags = c.flags;
    EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &f, sizeof(f)), c.status) << c.channels;
    EXPECT_EQ(plug->GetBus(kAudioUnitScope_Input, 0)->mNHostChannels, c.hostChannels) << c.channels;
  }
  EXPECT_EQ(plug->GetSampleRate(), 96000.0);
  AudioStreamBasicDescription f = Format(2, 0.0);
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof(f)), noErr);
  EXPECT_EQ(plug->GetSampleRate(), 96000.0);  // a rate of 0 leaves the rate alone
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 1, &f, sizeof(f)), kAudioUnitErr_InvalidProperty);
  // Once active, the other side's channels count too.
  ASSERT_EQ(AudioUnitInitialize(unit), noErr);
  EXPECT_TRUE(plug->CheckLegalIO(kAudioUnitScope_Input, 0, 2));
  EXPECT_FALSE(plug->CheckLegalIO(kAudioUnitScope_Output, 0, 1));
}

struct Heard
{
  std::vector<std::pair<AudioUnitPropertyID, AudioUnitScope>> calls;
  bool sawOldRate = false;
  TestPlug* plug = nullptr;
};
void Listener(void* ud, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element)
{
  Heard* h = static_cast<Heard*>(ud);
  EXPECT_EQ(element, 0u);
  h->calls.emplace_back(id, scope);
  if (id == kAudioUnitProperty_SampleRate) h->sawOldRate = h->plug->GetSampleRate() == 44100.0;
}

TEST_F(Properties, ListenersHearEverySetBeforeItIsApplied)
{
  Open();
  Heard h;
  h.plug = plug;
  AudioUnitAddPropertyListener(unit, kAudioUnitProperty_InPlaceProcessing, Listener, &h);
  AudioUnitAddPropertyListener(unit, kAudioUnitProperty_SampleRate, Listener, &h);
  AudioUnitAddPropertyListener(unit, kAudioUnitProperty_PresentPreset, Listener, &h);
  UInt32 one = 1;
  EXPECT_EQ(Set(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Output, 3, &one, 4), kAudioUnitErr_InvalidProperty);
  double rate = 22050.0;
  EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate, 8), noErr);
  ASSERT_EQ(h.calls.size(), 2u);
  EXPECT_EQ(h.calls[0].first, (AudioUnitPropertyID)kAudioUnitProperty_InPlaceProcessing);
  EXPECT_EQ(h.calls[0].second, (AudioUnitScope)kAudioUnitScope_Output);
  EXPECT_TRUE(h.sawOldRate);
  plug->InformHostOfProgramChange();
  ASSERT_EQ(h.calls.size(), 3u);
  EXPECT_EQ(h.calls[2].first, kAudioUnitProperty_PresentPreset);
}

struct Chain
{
  std::vector<int> order;
  bool removeSelf = false, removeThird = false;
};
void Third(void* ud, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement)
{
  static_cast<Chain*>(ud)->order.push_back(3);
}
void Second(void* ud, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement)
{
  static_cast<Chain*>(ud)->order.push_back(2);
}
void First(void* ud, AudioUnit u, AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement)
{
  Chain* c = static_cast<Chain*>(ud);
  c->order.push_back(1);
  if (c->removeSelf) AudioUnitRemovePropertyListenerWithUserData(u, id, First, ud);
  if (c->removeThird) AudioUnitRemovePropertyListenerWithUserData(u, id, Third, ud);
}

TEST_F(Properties, ListenersRemovedFromInsideACallKeepTheOrderOfTheRest)
{
  const struct { bool removeSelf, removeThird; std::vector<int> first, second; } cases[] = {
      {true, false, {1, 2, 3}, {2, 3}},  // the next one is not skipped
      {false, true, {1, 2}, {1, 2}},     // one removed before its turn is not called
  };
  for (const auto& t : cases)
  {
    Open();
    Chain c;
    c.removeSelf = t.removeSelf;
    c.removeThird = t.removeThird;
    for (AudioUnitPropertyListenerProc proc : {First, Second, Third})
      ASSERT_EQ(AudioUnitAddPropertyListener(unit, kAudioUnitProperty_Latency, proc, &c), noErr);
    double v = 0.0;
    EXPECT_EQ(Set(kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, &v, 8), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(c.order, t.first);
    c.order.clear();
    plug->SetLatency(64);
    EXPECT_EQ(c.order, t.second);
    TearDown();
    unit = nullptr;
    comp = nullptr;
  }
}

TEST_F(Properties, SettersAndTheirRefusals)
{
  Open();
  double bad[] = {0.0, -1.0, NAN, INFINITY};
  for (double r : bad) EXPECT_EQ(Set(kAudioUnitProperty_SampleRate, 0, 0, &r, 8), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(plug->GetSampleRate(), 44100.0);

  UInt32 frames = 512;
  EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &frames, 4), noErr);
  EXPECT_EQ(plug->GetBlockSize(), 512);
  EXPECT_EQ(plug->Count("Reset"), 1);
  for (UInt32 f : {0u, 65537u})
    EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &f, 4), kAudioUnitErr_InvalidPropertyValue);
  EXPECT_EQ(Set(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Input, 0, &frames, 4), noErr);

  UInt32 on = 1;
  EXPECT_EQ(Set(kAudioUnitProperty_BypassEffect, 0, 0, &on, 4), noErr);
  EXPECT_TRUE(plug->IsBypassed());
  EXPECT_EQ(plug->Count("OnActivate 0"), 1);
  UInt32 bypass = 0, size = 4;
  EXPECT_EQ(Get(kAudioUnitProperty_BypassEffect, 0, 0, &bypass, &size), noErr);
  EXPECT_EQ(bypass, 1u);

  EXPECT_EQ(Set(kAudioUnitProperty_OfflineRender, 0, 0, &on, 4), noErr);
  EXPECT_TRUE(plug->IsRenderingOffline());

  HostCallbackInfo cb = {nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(Set(kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Input, 0, &cb, sizeof(cb)), kAudioUnitErr_InvalidProperty);
  AURenderCallbackStruct rcb = {nullptr, nullptr};
  EXPECT_EQ(Set(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Global, 0, &rcb, sizeof(rcb)),
            kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(Set(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 1, &rcb, sizeof(rcb)),
            kAudioUnitErr_InvalidProperty);
  EXPECT_EQ(Set(kAudioUnitProperty_StreamFormat + 100, 0, 0, &on, 4), kAudioUnitErr_InvalidProperty);
}

TEST_F(Properties, ChannelLayoutTagsForInstrumentsWithSeveralOutputBusses)
{
  PlugSpec spec;
  spec.channelIO = "0-3";
  Open(spec);
  const struct { AudioUnitScope scope; UInt32 element; OSStatus status; AudioChannelLayoutTag tag; } cases[] = {
      {kAudioUnitScope_Output, 0, noErr, 0x650002}, {kAudioUnitScope_Output, 1, noErr, 0x640001},
      {kAudioUnitScope_Output, 2, kAudioUnitErr_InvalidElement, 0}, {kAudioUnitScope_Global, 0, kAudioUnitErr_InvalidProperty, 0},
      {kAudioUnitScope_Input, 0, kAudioUnitErr_InvalidProperty, 0},  // no input bus
  };
  for (const auto& c : cases)
  {
    AudioChannelLayoutTag tag = 0;
    UInt32 size = 4;
    EXPECT_EQ(Get(kAudioUnitProperty_SupportedChannelLayoutTags, c.scope, c.element, &tag, &size), c.status) << c.element;
    if (c.status == noErr)
    {
      EXPECT_EQ(tag, c.tag);
    }
  }
  EXPECT_EQ(IPlugAU::GetTagForNumChannels(6), 0xFFFF0000u);
}

TEST_F(Properties, PresetsOfferedAndChosen)
{
  PlugSpec spec = ParamSpec();
  spec.nPresets = 3;
  auto setup = spec.setup;
  spec.setup = [setup](TestPlug* p) {
    setup(p);
    p->MakeDefaultPreset("Alpha", 1);
    p->GetParam(1)->Set(0.75);
    p->MakeDefaultPreset("Beta", 1);
  };
  Open(spec);
  EXPECT_EQ(plug->NPresets(), 2);  // the one never made was pruned at open
  CFArrayRef presets = nullptr;
  UInt32 size = sizeof(presets);
  ASSERT_EQ(Get(kAudioUnitProperty_FactoryPresets, 0, 0, &presets, &size), noErr);
  ASSERT_EQ(CFArrayGetCount(presets), 2);
  const CFAUPreset* beta = (const CFAUPreset*)CFArrayGetValueAtIndex(presets, 1);
  EXPECT_EQ(beta->auPreset.presetNumber, 1);
  EXPECT_EQ(Text(beta->auPreset.presetName), "Beta");
  EXPECT_EQ(beta->retainCount, 1);
  CFStringRef d = CFCopyDescription(presets);
  EXPECT_NE(Text(d).find("AUPreset:\npreset number = 1\npreset name = Beta"), std::string::npos);
  CFRelease(d);
  CFRelease(presets);

  AUPreset choose = {0, nullptr};
  EXPECT_EQ(Set(kAudioUnitProperty_PresentPreset, 0, 0, &choose, sizeof(choose)), noErr);
  EXPECT_EQ(plug->GetParam(1)->Value(), 0.5);
  AUPreset now = {9, nullptr};
  size = sizeof(now);
  ASSERT_EQ(Get(kAudioUnitProperty_CurrentPreset, 0, 0, &now, &size), noErr);
  EXPECT_EQ(now.presetNumber, 0);
  EXPECT_EQ(Text(now.presetName), "Alpha");
  CFRelease(now.presetName);
}

TEST(CFAUPreset, RecordsCountTheirReferences)
{
  CFStringRef name = CFStringCreateWithCString(nullptr, "Init", kCFStringEncodingUTF8);
  CFAUPresetRef p = CFAUPresetCreate(kCFAllocatorDefault, 3, name);
  CFRelease(name);
  ASSERT_NE(p, nullptr);
  CFStringRef d = CFAUPresetArrayCopyDescriptionCallBack(p);
  EXPECT_EQ(Text(d), "AUPreset:\npreset number = 3\npreset name = Init");
  CFRelease(d);
  EXPECT_EQ(CFAUPresetRetain(p), p);
  CFAUPresetRetain(p);
  EXPECT_EQ(p->retainCount, 3);
  EXPECT_EQ(CFGetRetainCount(p->auPreset.presetName), 3);
  CFAUPresetRelease(p);
  CFAUPresetRelease(p);
  EXPECT_EQ(p->retainCount, 1);
  CFAUPresetRef q = CFAUPresetCreate(kCFAllocatorDefault, 3, CFSTR("Init"));
  CFAUPresetRef r = CFAUPresetCreate(kCFAllocatorDefault, 4, CFSTR("Init"));
  EXPECT_TRUE(CFAUPresetArrayEqualCallBack(p, q));
  EXPECT_FALSE(CFAUPresetArrayEqualCallBack(p, r));
  CFAUPresetRelease(q);
  CFAUPresetRelease(r);
  // Records without a name: equal to each other, not to one named "".
  CFAUPresetRef none1 = CFAUPresetCreate(kCFAllocatorDefault, 3, nullptr);
  CFAUPresetRef none2 = CFAUPresetCreate(kCFAllocatorDefault, 3, nullptr);
  CFAUPresetRef empty = CFAUPresetCreate(kCFAllocatorDefault, 3, CFSTR(""));
  EXPECT_TRUE(CFAUPresetArrayEqualCallBack(none1, none2));
  EXPECT_FALSE(CFAUPresetArrayEqualCallBack(none1, empty));
  EXPECT_FALSE(CFAUPresetArrayEqualCallBack(empty, none1));
  CFStringRef noName = CFAUPresetArrayCopyDescriptionCallBack(none1);
  EXPECT_EQ(Text(noName), "AUPreset:\npreset number = 3\npreset name = (null)");
  CFRelease(noName);
  for (CFAUPresetRef x : {none1, none2, empty}) CFAUPresetRelease(x);
  CFAUPresetRelease(p);  // the third release frees it (the leak check would see otherwise)
  CFAUPresetRelease(nullptr);
  CFArrayCallBacks cb = {};
  CFAUPresetArrayCallBacks_Init(&cb);
  EXPECT_EQ(cb.retain, kCFAUPresetArrayCallBacks.retain);
  EXPECT_EQ(cb.version, 0);
  CFAUPresetArrayCallBacks_Init(nullptr);
}

}  // namespace
