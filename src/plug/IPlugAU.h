#pragma once
// The plug-in as an Audio Unit (version 2): the component entry and its
// dispatch, properties and host parameters, the render procedure with host
// time and host MIDI, the host's state dictionary and factory presets, and
// host detection. Every dispatch call except open and close runs under
// IPlugBase::mMutex; the fast render procedure takes no lock.

#include "platform/audiounit/AudioUnit.h"
#include "platform/corefoundation/CoreFoundation.h"
#include "plug/IPlugBase.h"

#include <string>

class IPlugAU : public IPlugBase
{
public:
  enum EAUInputType
  {
    eNotConnected = 0,
    eDirectFastProc = 1,
    eDirectNoFastProc = 2,
    eRenderCallback = 3
  };
  // The name of an input type, for traces: "NotConnected" for any value not listed.
  static const char* AUInputTypeStr(int type);

  struct BusChannels
  {
    bool mConnected = false;
    int mNHostChannels = -1;
    int mNPlugChannels = 0;
    int mPlugChannelStartIdx = 0;
  };

  struct InputBusConnection
  {
    void* mUpstreamObj = nullptr;
    AudioUnit mUpstreamUnit = nullptr;
    int mUpstreamBusIdx = 0;
    AudioUnitRenderProc mUpstreamRenderProc = nullptr;
    AURenderCallbackStruct mUpstreamRenderCallback = {nullptr, nullptr};
    EAUInputType mInputType = eNotConnected;
  };

  struct PropertyListener
  {
    AudioUnitPropertyID mPropID;
    AudioUnitPropertyListenerProc mListenerProc;
    void* mProcArgs;
  };

  // Largest block the host may ask for; bigger ones are refused.
  enum { kMaxBlockSize = 65536 };
  // Channels of one bus that a render call serves; busses are far smaller.
  enum { kMaxBusChannels = 64 };

  IPlugAU(IPlugInstanceInfo instanceInfo, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
          const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
          bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst, int plugScChans);
  ~IPlugAU() override;

  // Called once by the derived class's constructor, after its own members exist.
  void initialize(IPlugInstanceInfo instanceInfo, int nAutomatableParams, int nParams, const char* channelIOStr,
                  int nPresets, const char* effectName, const char* productName, const char* mfrName,
                  int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                  bool plugIsInst, int plugScChans);

  // ---- IPlugBase slots the adapter replaces ----
  void BeginInformHostOfParamChange(int idx) override;
  void InformHostOfParamChange(int idx, double normalizedValue) override;
  void EndInformHostOfParamChange(int idx) override;
  void InformHostOfProgramChange() override;
  bool IsRenderingOffline() override { return mIsOffline; }
  // Host time: asked on the audio thread, answered from the host's callbacks.
  int GetSamplePos() override;
  double GetTempo() override;
  void GetTimeSig(int* pNum, int* pDenom) override;
  void GetTime(ITimeInfo* pTimeInfo) override;
  int GetHost() override;
  void ResizeGraphics(int w, int h) override;
  void SetLatency(int samples) override;
  // Sending to the hardware output port, through the port layer; SendMidiVST sends nothing.
  bool SendMidiVST(IMidiMsg* pMsg) override;
  bool SendMidiMsg(IMidiMsg* pMsg) override;
  bool SendMidiSysex(unsigned char* pData, int size) override;
  bool SendPatchSysex(unsigned char* pData, int size) override;
  bool SendMidiSysex2(std::vector<unsigned char> data) override;
  void HostSpecificInit() override;
  void SetBlockSize(int blockSize) override;

  // ---- component entries ----
  static ComponentResult IPlugAUEntry(ComponentParameters* params, void* pPlug);
  static ComponentResult IPlugAUCarbonViewEntry(ComponentParameters* params, void* pView);
  // The fast procedure for a selector (render, get and set parameter).
  static OSStatus GetProc(AudioUnitElement selector, UInt32* pDataSize, void* pData);
  static OSStatus GetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue* pValue);
  static OSStatus SetParamProc(void* pPlug, AudioUnitParameterID paramID, AudioUnitScope scope,
                               AudioUnitElement element, AudioUnitParameterValue value, UInt32 offsetFrames);
  // The host's audio thread; no lock.
  static OSStatus RenderProc(void* pPlug, AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp,
                             UInt32 outputBusIdx, UInt32 nFrames, AudioBufferList* pOutBufList);

  // ---- properties (under mMutex, taken by the entry) ----
  // With pData null only the size and writable flag are answered. With pData,
  // *pDataSize is the room at pData on the way in; a property that does not fit
  // is refused with kAudioUnitErr_InvalidPropertyValue.
  OSStatus GetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element, UInt32* pDataSize,
                       Boolean* pWriteable, void* pData);
  // *pDataSize is the size of what pData holds; a value too short is refused.
  OSStatus SetProperty(AudioUnitPropertyID propID, AudioUnitScope scope, AudioUnitElement element, UInt32* pDataSize,
                       const void* pData);
  void InformListeners(AudioUnitPropertyID propID, AudioUnitScope scope);

  // ---- host state dictionary ----
  OSStatus GetState(CFPropertyListRef* ppPropList);
  // Refused whole: on any failure the plug-in keeps the state it had.
  OSStatus SetState(CFPropertyListRef pPropList);

  // ---- busses ----
  bool CheckLegalIO();
  bool CheckLegalIO(AudioUnitScope scope, int busIdx, int nChannels);
  static int NHostChannelsConnected(WDL_PtrList<BusChannels>* pBuses, int excludeIdx = -1);
  void AssessInputConnections();
  void ClearConnections();
  BusChannels* GetBus(AudioUnitScope scope, AudioUnitElement busIdx);
  int NInBuses() const { return mInBuses.GetSize(); }
  int NOutBuses() const { return mOutBuses.GetSize(); }
  const InputBusConnection* GetInBusConnection(int idx) const { return mInBusConnections.Get(idx); }
  static void MakeDefaultASBD(AudioStreamBasicDescription* pASBD, double sampleRate, int nChannels, bool interleaved);
  static AudioChannelLayoutTag GetTagForNumChannels(int numChannels);

  AudioUnit GetComponentInstance() const { return mCI; }
  const char* GetBundleID() const { return mOSXBundleID.Get(); }
  const char* GetCocoaViewFactoryClassName() const { return mCocoaViewFactoryClassName.Get(); }
  int NPropertyListeners() const { return mPropertyListeners.GetSize(); }
  int NRenderNotify() const { return mRenderNotify.GetSize(); }

private:
  OSStatus GetParameterInfo(int paramIdx, AudioUnitParameterInfo* pInfo);
  OSStatus SetStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription* pASBD);
  OSStatus MakeConnection(const AudioUnitConnection* pConn);
  UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element, AudioChannelLayoutTag* pTags);
  OSStatus DoRender(AudioUnitRenderActionFlags* pFlags, const AudioTimeStamp* pTimestamp, UInt32 outputBusIdx,
                    UInt32 nFrames, AudioBufferList* pOutBufList);
  OSStatus PullInputs(const AudioTimeStamp* pTimestamp, UInt32 nFrames);
  void Notify(AudioUnitRenderActionFlags flag, const AudioTimeStamp* pTimestamp, UInt32 outputBusIdx, UInt32 nFrames,
              AudioBufferList* pOutBufList);
  ComponentResult Dispatch(ComponentParameters* params);

  WDL_String mOSXBundleID{128};
  WDL_String mCocoaViewFactoryClassName{128};
  char mParamDisplayStr[IParam::kDisplayTextLen] = {};
  AudioUnit mCI = nullptr;
  bool mActive = false;
  bool mIsOffline = false;
  double mRenderTimestamp = -1.0;
  double mTempo = 138.0;
  HostCallbackInfo mHostCallbacks = {nullptr, nullptr, nullptr, nullptr};
  WDL_TypedBuf<AudioSampleType> mInScratchBuf{4096};
  WDL_TypedBuf<AudioSampleType> mOutScratchBuf{4096};
  WDL_PtrList<AURenderCallbackStruct> mRenderNotify;
  WDL_PtrList<BusChannels> mInBuses, mOutBuses;
  WDL_PtrList<InputBusConnection> mInBusConnections;
  WDL_PtrList<PropertyListener> mPropertyListeners;
};

// The class of an Audio Unit's event: gesture begins 1, value changed 0, gesture ends 2.
void SendAUEvent(AudioUnitEventType type, ComponentInstanceRecord* ci, int idx);

// A string's UTF-8 text: the platform's direct pointer when it has one, else a
// copying conversion (the pointer is null for many strings); "" for null.
std::string CFStringToUTF8(CFStringRef s);

// Dictionary helpers of the state dictionary.
void PutNumberInDict(CFMutableDictionaryRef pDict, const char* key, const void* pNumber, CFNumberType type);
void PutStrInDict(CFMutableDictionaryRef pDict, const char* key, const char* value);
void PutDataInDict(CFMutableDictionaryRef pDict, const char* key, ByteChunk* pChunk);
// False when the key is absent or does not hold a number (or string, or data).
bool GetNumberFromDict(CFDictionaryRef pDict, const char* key, void* pNumber, CFNumberType type);
// Copies at most maxLen - 1 bytes, cut at a character boundary; empties value when absent.
bool GetStrFromDict(CFDictionaryRef pDict, const char* key, char* value, int maxLen = 64);
bool GetDataFromDict(CFDictionaryRef pDict, const char* key, ByteChunk* pChunk);

// Factory presets: reference-counted preset records in arrays.
struct CFAUPreset
{
  AUPreset auPreset;
  CFAllocatorRef allocator;
  CFIndex retainCount;
};
typedef const CFAUPreset* CFAUPresetRef;
enum { kCFAUPreset_CurrentVersion = 0 };
extern const CFArrayCallBacks kCFAUPresetArrayCallBacks;
void CFAUPresetArrayCallBacks_Init(CFArrayCallBacks* pCallBacks);
CFAUPresetRef CFAUPresetCreate(CFAllocatorRef allocator, SInt32 presetNumber, CFStringRef presetName);
CFAUPresetRef CFAUPresetRetain(const void* pPreset);
void CFAUPresetRelease(const void* pPreset);
const void* CFAUPresetArrayRetainCallBack(CFAllocatorRef allocator, const void* pPreset);
void CFAUPresetArrayReleaseCallBack(CFAllocatorRef allocator, const void* pPreset);
CFStringRef CFAUPresetArrayCopyDescriptionCallBack(const void* pPreset);
Boolean CFAUPresetArrayEqualCallBack(const void* pPreset1, const void* pPreset2);

// The factory the component entry calls at open; the plug-in library defines it.
IPlugAU* MakePlug();
