#include "TestHost.h"

#include "StateFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <dlfcn.h>

namespace {

std::string InfoValue(CFBundleRef bundle, const char* key)
{
  CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
  CFTypeRef v = CFBundleGetValueForInfoDictionaryKey(bundle, k);
  CFRelease(k);
  const char* text = v ? CFStringGetCStringPtr((CFStringRef)v, kCFStringEncodingUTF8) : nullptr;
  return text ? text : "";
}

bool ParseCode(const std::string& text, OSType* code)
{
  if (text.size() != 4) return false;
  *code = ((OSType)(UInt8)text[0] << 24) | ((OSType)(UInt8)text[1] << 16) | ((OSType)(UInt8)text[2] << 8) |
          (OSType)(UInt8)text[3];
  return true;
}

// The editor's state chunk with its MIDI input and output names made "OFF" (the
// first entry of either port list, which opens nothing). The chunk: a big-endian
// header word, the quick tab (a double), the patch manager block (two big-endian
// words, a big-endian length and that many snapshot bytes, five names each a
// native 32-bit length and its bytes, the ports last), then the values.
bool PortsOffChunk(const std::vector<UInt8>& in, std::vector<UInt8>* out)
{
  const size_t kNames = 5, kFirstPort = 3;
  auto be32 = [&](size_t at) {
    return ((uint32_t)in[at] << 24) | ((uint32_t)in[at + 1] << 16) | ((uint32_t)in[at + 2] << 8) | in[at + 3];
  };
  size_t pos = 4 + sizeof(double);
  if (in.size() < pos + 12 || be32(0) != 1 || be32(pos) != 1 || be32(pos + 4) != 1) return false;
  pos += 12 + (size_t)be32(pos + 8);
  size_t portsAt = 0;
  for (size_t i = 0; i < kNames; ++i)
  {
    if (i == kFirstPort) portsAt = pos;
    int32_t n = 0;
    if (pos + sizeof(n) > in.size()) return false;
    memcpy(&n, in.data() + pos, sizeof(n));
    if (n < 0 || pos + sizeof(n) + (size_t)n > in.size()) return false;
    pos += sizeof(n) + (size_t)n;
  }
  out->assign(in.begin(), in.begin() + (long)portsAt);
  for (size_t i = kFirstPort; i < kNames; ++i)
  {
    const int32_t n = 3;
    out->insert(out->end(), (const UInt8*)&n, (const UInt8*)&n + sizeof(n));
    out->insert(out->end(), {'O', 'F', 'F'});
  }
  out->insert(out->end(), in.begin() + (long)pos, in.end());
  return true;
}

bool TurnPortsOff(CFPropertyListRef state, std::string* error)
{
  CFDataRef data = CFGetTypeID(state) == CFDictionaryGetTypeID()
                       ? (CFDataRef)CFDictionaryGetValue((CFDictionaryRef)state, CFSTR("data"))
                       : nullptr;
  std::vector<UInt8> off;
  if (data && CFGetTypeID(data) == CFDataGetTypeID())
  {
    const UInt8* bytes = CFDataGetBytePtr(data);
    if (!PortsOffChunk(std::vector<UInt8>(bytes, bytes + CFDataGetLength(data)), &off)) data = nullptr;
  }
  else
    data = nullptr;
  if (!data)
  {
    // Restored as it is, it could open the ports it names and send to them.
    if (error) *error = "the state holds no editor chunk whose MIDI ports could be left closed";
    return false;
  }
  CFDataRef replaced = CFDataCreate(nullptr, off.data(), (CFIndex)off.size());
  CFDictionarySetValue((CFMutableDictionaryRef)state, CFSTR("data"), replaced);
  CFRelease(replaced);
  return true;
}

}  // namespace

TestHost::~TestHost() { Unload(); }

void TestHost::Unload()
{
  for (AudioUnit u : std::vector<AudioUnit>(mOpen)) Close(u);
  if (mComponent) UnregisterComponent(mComponent);
  mComponent = nullptr;
  mViewEntry = nullptr;
  if (mLibrary) dlclose(mLibrary);
  mLibrary = nullptr;
}

bool TestHost::LoadBundle(const std::string& folder, std::string* error, Loading loading)
{
  CFStringRef path = CFStringCreateWithCString(nullptr, folder.c_str(), kCFStringEncodingUTF8);
  CFURLRef url = path ? CFURLCreateWithFileSystemPath(nullptr, path, kCFURLPOSIXPathStyle, true) : nullptr;
  mBundle = url ? CFBundleCreate(nullptr, url) : nullptr;
  if (url) CFRelease(url);
  if (path) CFRelease(path);
  if (!mBundle)
  {
    *error = "no bundle at " + folder;
    return false;
  }
  CFURLRef exeURL = CFBundleCopyExecutableURL(mBundle);
  char exe[4096] = {};
  const bool hasExe = exeURL && CFURLGetFileSystemRepresentation(exeURL, true, (UInt8*)exe, sizeof(exe));
  if (exeURL) CFRelease(exeURL);
  if (!hasExe)
  {
    *error = "the bundle names no executable";
    return false;
  }
  if (!ParseCode(InfoValue(mBundle, "AudioComponentType"), &mDesc.componentType) ||
      !ParseCode(InfoValue(mBundle, "AudioComponentSubType"), &mDesc.componentSubType) ||
      !ParseCode(InfoValue(mBundle, "AudioComponentManufacturer"), &mDesc.componentManufacturer))
  {
    *error = "the bundle's component type, subtype or manufacturer is missing";
    return false;
  }
  mName = InfoValue(mBundle, "AudioComponentName");
  mLibrary = dlopen(exe, RTLD_NOW | RTLD_LOCAL | (loading == kKeepLoaded ? RTLD_NODELETE : 0));
  if (!mLibrary)
  {
    const char* e = dlerror();
    *error = std::string("cannot load ") + exe + ": " + (e ? e : "");
    return false;
  }
  const std::string entryName = InfoValue(mBundle, "AudioComponentEntry");
  auto entry = (ComponentRoutineProcPtr)dlsym(mLibrary, entryName.c_str());
  if (!entry)
  {
    *error = "no entry \"" + entryName + "\" in " + exe;
    return false;
  }
  const std::string viewEntryName = InfoValue(mBundle, "AudioComponentViewEntry");
  if (!viewEntryName.empty()) mViewEntry = (ComponentRoutineProcPtr)dlsym(mLibrary, viewEntryName.c_str());
  mComponent = RegisterComponent(&mDesc, entry, mName.c_str());
  return mComponent != nullptr;
}

AudioUnit TestHost::Open(std::string* error)
{
  AudioUnit unit = nullptr;
  const OSStatus r = OpenAComponent(mComponent, &unit);
  if (r != noErr)
  {
    if (error) *error = "open failed: " + std::to_string(r);
    return nullptr;
  }
  mOpen.push_back(unit);
  return unit;
}

OSStatus TestHost::Close(AudioUnit unit)
{
  auto it = std::find(mOpen.begin(), mOpen.end(), unit);
  if (it == mOpen.end()) return badComponentInstance;
  mOpen.erase(it);
  return CloseComponent(unit);
}

OSStatus TestHost::BeatAndTempo(void* host, Float64* beat, Float64* tempo)
{
  const TestHost* h = static_cast<TestHost*>(host);
  if (beat) *beat = h->timeline.Beat(h->sampleRate);
  if (tempo) *tempo = h->timeline.tempo;
  return noErr;
}

OSStatus TestHost::MusicalTimeLocation(void* host, UInt32* deltaToNextBeat, Float32* numerator, UInt32* denominator,
                                       Float64* measureDownBeat)
{
  const TestHost* h = static_cast<TestHost*>(host);
  const HostTimeline& t = h->timeline;
  const double beat = t.Beat(h->sampleRate);
  const double beatsPerMeasure = t.timeSigDenominator ? t.timeSigNumerator * 4.0 / t.timeSigDenominator : 4.0;
  if (deltaToNextBeat)
  {
    const double samplesPerBeat = t.tempo > 0.0 ? h->sampleRate * 60.0 / t.tempo : 0.0;
    *deltaToNextBeat = (UInt32)((std::ceil(beat) - beat) * samplesPerBeat + 0.5);
  }
  if (numerator) *numerator = t.timeSigNumerator;
  if (denominator) *denominator = t.timeSigDenominator;
  if (measureDownBeat) *measureDownBeat = std::floor(beat / beatsPerMeasure) * beatsPerMeasure;
  return noErr;
}

OSStatus TestHost::TransportState(void* host, Boolean* playing, Boolean* changed, Float64* samplePos,
                                  Boolean* cycling, Float64* cycleStart, Float64* cycleEnd)
{
  const HostTimeline& t = static_cast<TestHost*>(host)->timeline;
  if (playing) *playing = t.playing;
  if (changed) *changed = false;
  if (samplePos) *samplePos = t.samplePos;
  if (cycling) *cycling = t.cycling;
  if (cycleStart) *cycleStart = t.cycleStartBeat;
  if (cycleEnd) *cycleEnd = t.cycleEndBeat;
  return noErr;
}

OSStatus TestHost::InputCallback(void* host, AudioUnitRenderActionFlags*, const AudioTimeStamp* ts, UInt32,
                                 UInt32 frames, AudioBufferList* data)
{
  TestHost* h = static_cast<TestHost*>(host);
  ++h->inputPulls;
  for (UInt32 c = 0; c < data->mNumberBuffers; ++c)
  {
    float* p = (float*)data->mBuffers[c].mData;
    if (!p || data->mBuffers[c].mDataByteSize < frames * sizeof(float)) return kAudioUnitErr_InvalidPropertyValue;
    for (UInt32 n = 0; n < frames; ++n) p[n] = h->input((int)c, ts->mSampleTime + n);
  }
  return noErr;
}

OSStatus TestHost::Prepare(AudioUnit unit, double rate, int maxFrames)
{
  sampleRate = rate;
  OSStatus r;
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, &rate, sizeof(rate))))
    return r;
  const UInt32 frames = (UInt32)maxFrames;
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                sizeof(frames))))
    return r;
  AudioStreamBasicDescription asbd;
  memset(&asbd, 0, sizeof(asbd));
  asbd.mSampleRate = rate;
  asbd.mFormatID = kAudioFormatLinearPCM;
  asbd.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
  asbd.mBytesPerPacket = asbd.mBytesPerFrame = sizeof(float);
  asbd.mFramesPerPacket = 1;
  asbd.mChannelsPerFrame = 2;
  asbd.mBitsPerChannel = 32;
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &asbd, sizeof(asbd))))
    return r;
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &asbd, sizeof(asbd))))
    return r;
  HostCallbackInfo callbacks = {this, BeatAndTempo, MusicalTimeLocation, TransportState};
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_HostCallbacks, kAudioUnitScope_Global, 0, &callbacks,
                                sizeof(callbacks))))
    return r;
  AUHostIdentifier id = {CFSTR("davrel-host"), {1, 0x00, 0, 0}};
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_HostIdentifier, kAudioUnitScope_Global, 0, &id, sizeof(id))))
    return r;
  AURenderCallbackStruct in = {InputCallback, this};
  if ((r = AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &in, sizeof(in))))
    return r;
  return AudioUnitInitialize(unit);
}

OSStatus TestHost::Render(AudioUnit unit, int frames, std::vector<float>* left, std::vector<float>* right)
{
  left->assign((size_t)frames, 0.0f);
  right->assign((size_t)frames, 0.0f);
  AudioBufferListStorage<2> storage;
  AudioBufferList& list = storage.list;
  list.mNumberBuffers = 2;
  list.mBuffers[0] = AudioBuffer{1, (UInt32)frames * (UInt32)sizeof(float), left->data()};
  list.mBuffers[1] = AudioBuffer{1, (UInt32)frames * (UInt32)sizeof(float), right->data()};
  AudioTimeStamp ts;
  memset(&ts, 0, sizeof(ts));
  ts.mSampleTime = sampleTime;
  ts.mFlags = kAudioTimeStampSampleTimeValid;
  AudioUnitRenderActionFlags flags = 0;
  const OSStatus r = AudioUnitRender(unit, &flags, &ts, 0, (UInt32)frames, &list);
  sampleTime += frames;
  if (timeline.playing) timeline.samplePos += frames;
  return r;
}

OSStatus TestHost::SaveState(AudioUnit unit, const std::string& path, std::string* error)
{
  CFPropertyListRef state = nullptr;
  UInt32 size = sizeof(state);
  OSStatus r = AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, &size);
  if (r != noErr)
  {
    if (error) *error = "the unit gave no state: " + std::to_string(r);
    return r;
  }
  const bool written = WriteStateFile(path, state, error);
  CFRelease(state);
  return written ? noErr : paramErr;
}

OSStatus TestHost::RestoreState(AudioUnit unit, const std::string& path, std::string* error, Ports ports)
{
  CFPropertyListRef state = ReadStateFile(path, error);
  if (!state) return paramErr;
  if (ports == kPortsOff && !TurnPortsOff(state, error))
  {
    CFRelease(state);
    return paramErr;
  }
  const OSStatus r =
      AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof(state));
  CFRelease(state);
  if (r != noErr && error) *error = "the unit refused the state: " + std::to_string(r);
  return r;
}
