#pragma once
// The test host: loads a plug-in bundle's shared library, registers its
// component entry and drives instances exactly as an Audio Unit host does,
// reporting its own time line through the host callbacks.

#include "platform/audiounit/AudioUnit.h"

#include <functional>
#include <string>
#include <vector>

// What the host tells the unit about its time line.
struct HostTimeline
{
  double tempo = 120.0;
  bool playing = true;
  bool cycling = false;
  double cycleStartBeat = 0.0;
  double cycleEndBeat = 0.0;
  float timeSigNumerator = 4.0f;
  UInt32 timeSigDenominator = 4;
  double samplePos = 0.0;  // the time line's sample position of the next block

  double Beat(double sampleRate) const { return sampleRate > 0.0 ? samplePos / sampleRate * tempo / 60.0 : 0.0; }
};

class TestHost
{
public:
  TestHost() = default;
  ~TestHost();
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Reads the bundle's info, loads its library and registers its entry. Kept, the
  // library stays mapped after Unload, as hosts that run plug-ins keep them;
  // unloadable, it is loaded as a plug-in scan loads it, and Unload unloads it.
  enum Loading
  {
    kKeepLoaded,
    kUnloadable
  };
  bool LoadBundle(const std::string& folder, std::string* error, Loading loading = kKeepLoaded);
  // Closes what is open, unregisters the entry and lets the library go (dlclose).
  void Unload();
  CFBundleRef Bundle() const { return mBundle; }
  const ComponentDescription& Description() const { return mDesc; }
  const std::string& Name() const { return mName; }
  // The library's own view entry, or null.
  ComponentRoutineProcPtr ViewEntry() const { return mViewEntry; }

  AudioUnit Open(std::string* error);
  OSStatus Close(AudioUnit unit);

  // Sample rate, largest block, two-channel float formats on input and output
  // bus 0, the host callbacks, the host's name and the input callback; then
  // initialises the unit.
  OSStatus Prepare(AudioUnit unit, double sampleRate, int maxFrames);
  // One block of frames into host buffers at the host's sample time; the time
  // line moves on while playing.
  OSStatus Render(AudioUnit unit, int frames, std::vector<float>* left, std::vector<float>* right);

  OSStatus SaveState(AudioUnit unit, const std::string& path, std::string* error);
  // kPortsOff restores the state with its MIDI ports turned off, so the unit opens
  // no port and sends nothing to the hardware (a state that cannot be so changed is
  // refused).
  enum Ports
  {
    kPortsAsSaved,
    kPortsOff
  };
  OSStatus RestoreState(AudioUnit unit, const std::string& path, std::string* error, Ports ports = kPortsAsSaved);

  HostTimeline timeline;
  double sampleRate = 44100.0;
  double sampleTime = 0.0;  // the render clock
  int inputPulls = 0;
  // The signal on the unit's input, by channel and sample time.
  std::function<float(int channel, double sampleTime)> input = [](int, double) { return 0.0f; };

private:
  static OSStatus BeatAndTempo(void* host, Float64* beat, Float64* tempo);
  static OSStatus MusicalTimeLocation(void* host, UInt32* deltaToNextBeat, Float32* numerator, UInt32* denominator,
                                      Float64* measureDownBeat);
  static OSStatus TransportState(void* host, Boolean* playing, Boolean* changed, Float64* samplePos, Boolean* cycling,
                                 Float64* cycleStart, Float64* cycleEnd);
  static OSStatus InputCallback(void* host, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* ts, UInt32 bus,
                                UInt32 frames, AudioBufferList* data);

  void* mLibrary = nullptr;
  CFBundleRef mBundle = nullptr;
  Component mComponent = nullptr;
  ComponentRoutineProcPtr mViewEntry = nullptr;
  ComponentDescription mDesc = {0, 0, 0, 0, 0};
  std::string mName;
  std::vector<AudioUnit> mOpen;
};
