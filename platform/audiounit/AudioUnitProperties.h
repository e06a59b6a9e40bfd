#pragma once
// Property ids and the records their values travel in.

#include "platform/audiounit/AUComponent.h"
#include "platform/corefoundation/CFString.h"
#include "platform/corefoundation/CFURL.h"

enum : AudioUnitPropertyID
{
  kAudioUnitProperty_ClassInfo = 0,
  kAudioUnitProperty_MakeConnection = 1,
  kAudioUnitProperty_SampleRate = 2,
  kAudioUnitProperty_ParameterList = 3,
  kAudioUnitProperty_ParameterInfo = 4,
  kAudioUnitProperty_FastDispatch = 5,
  kAudioUnitProperty_CPULoad = 6,
  kAudioUnitProperty_StreamFormat = 8,
  kAudioUnitProperty_ElementCount = 11,
  kAudioUnitProperty_Latency = 12,
  kAudioUnitProperty_SupportedNumChannels = 13,
  kAudioUnitProperty_MaximumFramesPerSlice = 14,
  kAudioUnitProperty_SetExternalBuffer = 15,
  kAudioUnitProperty_ParameterValueStrings = 16,
  kAudioUnitProperty_GetUIComponentList = 18,
  kAudioUnitProperty_AudioChannelLayout = 19,
  kAudioUnitProperty_TailTime = 20,
  kAudioUnitProperty_BypassEffect = 21,
  kAudioUnitProperty_LastRenderError = 22,
  kAudioUnitProperty_SetRenderCallback = 23,
  kAudioUnitProperty_FactoryPresets = 24,
  kAudioUnitProperty_ContextName = 25,
  kAudioUnitProperty_RenderQuality = 26,
  kAudioUnitProperty_HostCallbacks = 27,
  kAudioUnitProperty_CurrentPreset = 28,
  kAudioUnitProperty_InPlaceProcessing = 29,
  kAudioUnitProperty_ElementName = 30,
  kAudioUnitProperty_CocoaUI = 31,
  kAudioUnitProperty_SupportedChannelLayoutTags = 32,
  kAudioUnitProperty_ParameterStringFromValue = 33,
  kAudioUnitProperty_ParameterIDName = 34,
  kAudioUnitProperty_ParameterClumpName = 35,
  kAudioUnitProperty_PresentPreset = 36,
  kAudioUnitProperty_OfflineRender = 37,
  kAudioUnitProperty_ParameterValueFromString = 38,
  kAudioUnitProperty_HostIdentifier = 46,
  kMusicDeviceProperty_InstrumentCount = 1000,
};

// Parameter information (property 4).
typedef UInt32 AudioUnitParameterUnit;
enum : AudioUnitParameterUnit
{
  kAudioUnitParameterUnit_Generic = 0,
  kAudioUnitParameterUnit_Indexed = 1,
  kAudioUnitParameterUnit_Boolean = 2,
  kAudioUnitParameterUnit_CustomUnit = 26,
};

typedef UInt32 AudioUnitParameterOptions;
enum : AudioUnitParameterOptions
{
  kAudioUnitParameterFlag_CFNameRelease = 1u << 4,
  kAudioUnitParameterFlag_HasClump = 1u << 20,
  kAudioUnitParameterFlag_HasCFNameString = 1u << 27,
  kAudioUnitParameterFlag_IsElementMeta = 1u << 29,
  kAudioUnitParameterFlag_IsReadable = 1u << 30,
  kAudioUnitParameterFlag_IsWritable = 1u << 31,
};

struct AudioUnitParameterInfo
{
  char name[52];
  CFStringRef unitName;
  UInt32 clumpID;
  CFStringRef cfNameString;
  AudioUnitParameterUnit unit;
  AudioUnitParameterValue minValue;
  AudioUnitParameterValue maxValue;
  AudioUnitParameterValue defaultValue;
  AudioUnitParameterOptions flags;
};
static_assert(sizeof(AudioUnitParameterInfo) == 104, "parameter information record");

enum : UInt32
{
  kAudioUnitClumpID_System = 0,
};
enum : SInt32
{
  kAudioUnitParameterName_Full = -1,
};

// Property 1.
struct AudioUnitConnection
{
  AudioUnit sourceAudioUnit;
  UInt32 sourceOutputNumber;
  UInt32 destInputNumber;
};
static_assert(sizeof(AudioUnitConnection) == 16, "connection record");

// Property 23.
struct AURenderCallbackStruct
{
  AURenderCallback inputProc;
  void* inputProcRefCon;
};
static_assert(sizeof(AURenderCallbackStruct) == 16, "render callback record");

// Property 13: one entry per legal layout.
struct AUChannelInfo
{
  SInt16 inChannels;
  SInt16 outChannels;
};

// Property 27: the host's answers about its time line.
typedef OSStatus (*HostCallback_GetBeatAndTempo)(void* inHostUserData, Float64* outCurrentBeat,
                                                 Float64* outCurrentTempo);
typedef OSStatus (*HostCallback_GetMusicalTimeLocation)(void* inHostUserData, UInt32* outDeltaSampleOffsetToNextBeat,
                                                        Float32* outTimeSig_Numerator,
                                                        UInt32* outTimeSig_Denominator,
                                                        Float64* outCurrentMeasureDownBeat);
typedef OSStatus (*HostCallback_GetTransportState)(void* inHostUserData, Boolean* outIsPlaying,
                                                   Boolean* outTransportStateChanged,
                                                   Float64* outCurrentSampleInTimeLine, Boolean* outIsCycling,
                                                   Float64* outCycleStartBeat, Float64* outCycleEndBeat);
struct HostCallbackInfo
{
  void* hostUserData;
  HostCallback_GetBeatAndTempo beatAndTempoProc;
  HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
  HostCallback_GetTransportState transportStateProc;
};
static_assert(sizeof(HostCallbackInfo) == 32, "host callback record");

// Properties 28 and 36, and the entries of the factory preset array (24).
struct AUPreset
{
  SInt32 presetNumber;
  CFStringRef presetName;
};
static_assert(sizeof(AUPreset) == 16, "preset record");

// Property 33.
struct AudioUnitParameterStringFromValue
{
  AudioUnitParameterID inParamID;
  const AudioUnitParameterValue* inValue;
  CFStringRef outString;
};
static_assert(sizeof(AudioUnitParameterStringFromValue) == 24, "string-from-value record");

// Properties 34 and 35.
struct AudioUnitParameterNameInfo
{
  UInt32 inID;
  SInt32 inDesiredLength;
  CFStringRef outName;
};
typedef AudioUnitParameterNameInfo AudioUnitParameterIDName;
static_assert(sizeof(AudioUnitParameterNameInfo) == 16, "name record");

// Property 38.
struct AudioUnitParameterValueFromString
{
  AudioUnitParameterID inParamID;
  CFStringRef inString;
  AudioUnitParameterValue outValue;
};
static_assert(sizeof(AudioUnitParameterValueFromString) == 24, "value-from-string record");

// Property 46.
struct NumVersion
{
  UInt8 majorRev;
  UInt8 minorAndBugRev;
  UInt8 stage;
  UInt8 nonRelRev;
};
struct AUHostIdentifier
{
  CFStringRef hostName;
  NumVersion hostVersion;
};
