#pragma once
// The plug-in object: parameters, presets, state chunks, the channel layout
// and buffers, the attached editor window, the hardware MIDI port layer it holds
// (MidiPortLayer.h) and the plug-in's recursive mutex. The Audio Unit adapter derives from it and the
// editor from the adapter; the hooks below have empty or minimal defaults.

#include "base/heapbuf.h"
#include "base/mutex.h"
#include "base/ptrlist.h"
#include "base/wdlstring.h"
#include "plug/ByteChunk.h"
#include "plug/Hosts.h"
#include "plug/IMidiMsg.h"
#include "plug/IParam.h"
#include "plug/IPlugUtilities.h"
#include "plug/IPreset.h"
#include "plug/MidiPortLayer.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class IGraphics;

enum EAPI
{
  kAPIVST2 = 0,
  kAPIVST3 = 1,
  kAPIAU = 2,
  kAPIRTAS = 3,
  kAPIAAX = 4,
  kAPISA = 5
};

// What the host tells of its tempo and transport; the adapter fills it.
struct ITimeInfo
{
  double mTempo = 0.0;
  double mSamplePos = 0.0;
  double mPPQPos = 0.0;
  double mLastBar = 0.0;
  double mCycleStart = 0.0;
  double mCycleEnd = 0.0;
  int mNumerator = 0;
  int mDenominator = 0;
  bool mTransportIsRunning = false;
  bool mTransportLoopEnabled = false;
};

// Handed to the plug-in at creation by the factory.
struct IPlugInstanceInfo
{
  WDL_String mBundleID;
  WDL_String mCocoaViewFactoryClassName;
};

class IPlugBase
{
public:
  enum
  {
    kNameLen = 128,            // effect, product and maker names, with the terminating zero
    kIPlugVerMagic = 0x70666674,
    kIPlugVersion = 0x00010000
  };

  struct ChannelIO
  {
    int mIn, mOut;
    ChannelIO(int nIn, int nOut) : mIn(nIn), mOut(nOut) {}
  };

  struct InChannel
  {
    bool mConnected = false;
    double** mSrc = nullptr;  // this channel's slot among the input data pointers
    WDL_TypedBuf<double> mScratchBuf;
    WDL_String mLabel;
  };

  struct OutChannel
  {
    bool mConnected = false;
    double** mDest = nullptr;  // this channel's slot among the output data pointers
    float* mFDest = nullptr;
    WDL_TypedBuf<double> mScratchBuf;
    WDL_String mLabel;
  };

  // Keeps only the identity numbers and flags; initialize takes the rest.
  IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName, const char* productName,
            const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency, bool plugDoesMidi,
            bool plugDoesChunks, bool plugIsInst, EAPI plugAPI);

  IPlugBase(const IPlugBase&) = delete;
  IPlugBase& operator=(const IPlugBase&) = delete;

  // ---- virtual operations, in slot order ----
  virtual ~IPlugBase();

  virtual void Reset();
  virtual void OnParamChange(int paramIdx);
  virtual void OnParamChange2(int paramIdx);
  virtual void ProcessDoubleReplacing(double** inputs, double** outputs, int nFrames);
  virtual void ProcessSingleReplacing(float** inputs, float** outputs, int nFrames);
  virtual void OnGUIOpen() {}
  virtual void OnGUIClose() {}
  // Main thread, under mMutex, before each drawing pass's dirty check: where what
  // other threads handed over without the mutex is put on the controls.
  virtual void OnIdle() {}
  virtual void OnActivate(bool active);
  // fromDevice: true from the hardware input port, false from the host.
  virtual void ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice);
  virtual void ProcessSysEx(ISysEx* pSysEx, bool fromDevice);
  virtual bool MidiNoteName(int noteNumber, char* noteName);
  virtual bool SerializeState(ByteChunk* pChunk);
  // Returns the next position, or a value below 1 when the chunk is refused.
  virtual int UnserializeState(ByteChunk* pChunk, int startPos);
  virtual bool CompareState(const unsigned char* incomingState, int startPos);
  virtual void OnWindowResize() {}
  virtual bool HostRequestingAboutBox() { return false; }
  virtual void OnHostIdentified() {}
  virtual void PopupHostContextMenuForParam(int, int, int) {}
  // The road of a control moved by the user: ends in OnParamChange.
  virtual void SetParameterFromGUI(int idx, double normalizedValue);
  // The road of a control pushed to a value from the hardware: ends in OnParamChange2.
  virtual void SetParameterFromGUI2(int idx, double normalizedValue);
  virtual void BeginInformHostOfParamChange(int idx) = 0;
  virtual void InformHostOfParamChange(int idx, double normalizedValue) = 0;
  virtual void EndInformHostOfParamChange(int idx) = 0;
  virtual void InformHostOfProgramChange() = 0;
  virtual bool IsRenderingOffline() { return false; }
  virtual int GetSamplePos() = 0;
  virtual double GetTempo() = 0;
  virtual void GetTimeSig(int* pNum, int* pDenom) = 0;
  virtual void GetTime(ITimeInfo* pTimeInfo) = 0;
  virtual int GetHost() { return mHost; }
  virtual EAPI GetAPI() { return mAPI; }
  virtual void ResizeGraphics(int w, int h) = 0;
  virtual void RedrawParamControls();
  virtual void SetLatency(int samples);
  // Sending to the hardware output port; the adapter implements them.
  virtual bool SendMidiVST(IMidiMsg* pMsg) = 0;
  virtual bool SendMidiMsg(IMidiMsg* pMsg) = 0;
  virtual bool SendMidiSysex(unsigned char* pData, int size);
  virtual bool SendPatchSysex(unsigned char* pData, int size);
  virtual bool SendMidiSysex2(std::vector<unsigned char> data);
  virtual void HostSpecificInit() {}
  // Pushes every value to the graphics, prepares drawing and takes ownership.
  virtual void AttachGraphics(IGraphics* pGraphics);
  virtual bool SendSysEx(ISysEx*) { return false; }
  virtual void DirtyPTCompareState() {}
  virtual void PresetsChangedByHost() {}
  virtual void SetBlockSize(int blockSize);

  // ---- set-up ----
  void initialize(int nAutomatableParams, int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                  const char* productName, const char* mfrName, int vendorVersion, int uniqueID, int mfrID, int latency,
                  bool plugDoesMidi, bool plugDoesChunks, bool plugIsInst);
  void addNonAutomateParamCount(int count) { mNonAutomatedParamCount = count; }

  // ---- parameters ----
  int NParams() const { return mParams.GetSize(); }
  IParam* GetParam(int idx) const { return mParams.Get(idx); }
  // The automatable parameters are the entries before the non-automated tail.
  int NAutomatableParams() const;
  int NonAutomatedParamCount() const { return NParams() - NAutomatableParams(); }
  IGraphics* GetGUI() const { return mGraphics; }
  void OnParamReset();
  void DirtyParameters();

  // ---- identity, version, host ----
  const char* GetEffectName() const { return mEffectName; }
  const char* GetProductName() const { return mProductName; }
  const char* GetMfrName() const { return mMfrName; }
  int GetUniqueID() const { return mUniqueID; }
  int GetMfrID() const { return mMfrID; }
  int GetEffectVersion(bool decimal) const;
  void GetEffectVersionStr(char* str) const;  // str holds kVersionStrLen bytes
  void SetHost(const char* host, int version);
  int GetHostVersion(bool decimal);
  void GetHostVersionStr(char* str);
  const char* GetAPIString();
  const char* GetArchString() const { return "x64"; }
  bool DoesStateChunks() const { return mStateChunks; }
  bool IsInst() const { return mIsInst; }
  bool IsBypassed() const { return mIsBypassed; }

  double GetSampleRate() const { return mSampleRate; }
  void SetSampleRate(double sampleRate) { mSampleRate = sampleRate; }
  int GetBlockSize() const { return mBlockSize; }
  int GetLatency() const { return mLatency; }
  double GetSamplesPerBeat();

  // ---- channels and buffers ----
  int NInChannels() const { return mInChannels.GetSize(); }
  int NOutChannels() const { return mOutChannels.GetSize(); }
  int NChannelIO() const { return mChannelIO.GetSize(); }
  bool LegalIO(int nIn, int nOut) const;
  void SetInputChannelConnections(int idx, int n, bool connected);
  void SetOutputChannelConnections(int idx, int n, bool connected);
  bool IsInChannelConnected(int chIdx) const;
  bool IsOutChannelConnected(int chIdx) const;
  void LimitToStereoIO();
  void ZeroScratchBuffers();
  // The frame count must not exceed the block size set last.
  void AttachInputBuffers(int idx, int n, double** ppData, int nFrames);
  void AttachInputBuffers(int idx, int n, float** ppData, int nFrames);
  void AttachOutputBuffers(int idx, int n, double** ppData);
  void AttachOutputBuffers(int idx, int n, float** ppData);
  void ProcessBuffers(double sampleType, int nFrames);
  void ProcessBuffers(float sampleType, int nFrames);
  void ProcessBuffersAccumulating(float sampleType, int nFrames);
  void PassThroughBuffers(double sampleType, int nFrames);
  void PassThroughBuffers(float sampleType, int nFrames);
  void SetInputLabel(int idx, const char* label);
  void SetOutputLabel(int idx, const char* label);
  void SetInputBusLabel(int idx, const char* label);
  void SetOutputBusLabel(int idx, const char* label);
  const char* GetInputLabel(int idx) const;
  const char* GetOutputLabel(int idx) const;
  const char* GetInputBusLabel(int idx) const;
  const char* GetOutputBusLabel(int idx) const;
  int NInputBusLabels() const { return mInputBusLabels.GetSize(); }
  int NOutputBusLabels() const { return mOutputBusLabels.GetSize(); }

  // ---- state chunks (each serialiser holds mMutex for its whole run) ----
  static void InitChunkWithIPlugVer(ByteChunk* pChunk);
  static int GetIPlugVerFromChunk(ByteChunk* pChunk, int* pPos);
  bool SerializeParams(ByteChunk* pChunk);
  int UnserializeParams(ByteChunk* pChunk, int startPos);
  bool SerializeNonAutomatedParams(ByteChunk* pChunk, int n);
  int UnserializeNonAutomatedParams(ByteChunk* pChunk, int startPos, int n);

  // ---- presets (none takes the mutex) ----
  int NPresets() const { return mPresets.GetSize(); }
  int GetCurrentPresetIdx() const { return mCurrentPresetIdx; }
  IPreset* GetPreset(int idx) const { return mPresets.Get(idx); }
  const char* GetPresetName(int idx) const;
  bool RestorePreset(int idx);
  bool RestorePreset(const char* name);
  void MakeDefaultPreset(const char* name = nullptr, int nPresets = 1);
  void EnsureDefaultPreset();
  void PruneUninitializedPresets();
  void ModifyCurrentPreset(const char* name = nullptr);
  // One value per automatable parameter: an int for bool, int and enum, else a double.
  void MakePreset(const char* name, ...);
  // nParamsNamed pairs of (int index, value typed as for MakePreset); the
  // reading stops at an index that names no automatable parameter.
  void MakePresetFromNamedParams(const char* name, int nParamsNamed, ...);
  void MakePresetFromChunk(const char* name, ByteChunk* pChunk);
  void MakePresetFromBlob(const char* name, const char* blob, int sizeOfChunk);
  bool SerializePresets(ByteChunk* pChunk);
  int UnserializePresets(ByteChunk* pChunk, int startPos);
  // Source text of the current values, and of the current preset as a blob;
  // both report whether the file was written.
  bool DumpPresetSrcCode(const char* filename, const char* paramEnumNames[]);
  bool DumpPresetBlob(const char* filename);

  // ---- program ("fxp") and bank ("fxb") files, through the graphics' file chooser ----
  bool SaveProgramAsFXP(const char* defaultFileName = "");
  bool SaveBankAsFXB(const char* defaultFileName = "");
  bool LoadProgramFromFXP();
  bool LoadBankFromFXB();

  // ---- hardware MIDI ports: the port layer (MidiPortLayer.h) this plug-in holds ----
  // The entries forward to it; none waits for its port thread nor for a server.
  // The port thread calls the instance's virtuals at once: whoever makes an instance
  // calls ReadMidiPortListsAhead (or the first entry that starts that thread) once the
  // object is whole, never its constructor (the factory does, right after making it).
  void ReadMidiPortListsAhead() { mMidiPorts.ReadMidiPortListsAhead(); }
  std::vector<std::string> getExternalMIDIOutNames() { return mMidiPorts.getExternalMIDIOutNames(); }
  std::vector<std::string> getExternalMIDIInNames() { return mMidiPorts.getExternalMIDIInNames(); }
  // The same without starting the port thread: for a constructor.
  std::vector<std::string> KnownMidiPortNames(bool input) { return mMidiPorts.KnownMidiPortNames(input); }
  bool MidiPortListsRead() const { return mMidiPorts.MidiPortListsRead(); }
  unsigned MidiPortListsReads() const { return mMidiPorts.MidiPortListsReads(); }
  int setExternalMIDIOut(int& index, const char* name) { return mMidiPorts.setExternalMIDIOut(index, name); }
  int setExternalMIDIIn(int& index, const char* name) { return mMidiPorts.setExternalMIDIIn(index, name); }
  int getExternalMIDIOutDevice(const char* name) { return mMidiPorts.getExternalMIDIOutDevice(name); }
  int getExternalMIDIInDevice(const char* name) { return mMidiPorts.getExternalMIDIInDevice(name); }
  int GetMIDIOutPortNumber(const char* name) { return mMidiPorts.GetMIDIOutPortNumber(name); }
  int GetMIDIInPortNumber(const char* name) { return mMidiPorts.GetMIDIInPortNumber(name); }
  bool initializeVirtualOutput(std::string name) { return mMidiPorts.initializeVirtualOutput(std::move(name)); }
  // userData is the plug-in.
  static void MIDICallback(double timeStamp, std::vector<unsigned char>* message, void* userData);
  void processMIDIInput(double timeStamp, std::vector<unsigned char>* message, void* userData);
  bool SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs);
  void MarkMidiRenderThread() { mMidiPorts.MarkMidiRenderThread(); }
  // The timing clock placed by the JACK bridge (MidiPortLayer::StartMidiClock).
  bool StartMidiClock(int64_t firstNs, int64_t intervalNs) { return mMidiPorts.StartMidiClock(firstNs, intervalNs); }
  unsigned long long StopMidiClock() { return mMidiPorts.StopMidiClock(); }
  // Teardown's first step (the editor calls it before its own objects go).
  void StopMidiInput() { mMidiPorts.StopMidiInput(); }
  // False when the port thread was left to end by itself: the plug-in is then kept
  // for it, and its owner must not free it.
  bool StopMidiPortThreads() { return mMidiPorts.StopMidiPortThreads(); }
  // What sends through the port layer besides the host's render (an editor's
  // workers, its clock): stopped by the host's close before the port thread is
  // asked to end, so that a kept instance sends nothing.
  virtual void StopOwnSenders() {}
  // The port thread, each time it has read the port lists (MidiPortListsReads), holding
  // no lock: an editor builds its port menus again. It must not wait for anything
  // without bound; MidiPortsQuit() tells it the teardown has begun.
  virtual void OnMidiPortListsRead() {}
  bool MidiOutPortMissing() const { return mMidiPorts.MidiOutPortMissing(); }
  bool MidiInPortMissing() const { return mMidiPorts.MidiInPortMissing(); }
  bool MidiPortChoiceUnderWay() const { return mMidiPorts.MidiPortChoiceUnderWay(); }
  using MidiOutPlace = MidiPortLayer::MidiOutPlace;
  MidiOutPlace MidiOutMark() const { return mMidiPorts.MidiOutMark(); }
  bool MidiOutRefusedSince(const MidiOutPlace& mark) const { return mMidiPorts.MidiOutRefusedSince(mark); }
  void SetMidiPortLog(std::function<void(const std::string&)> sink) { mMidiPorts.SetMidiPortLog(std::move(sink)); }
  const std::atomic<bool>& MidiPortsQuit() const { return mMidiPorts.QuitFlag(); }

  // Recursive: held by the GUI road, AttachGraphics, DirtyParameters, the four
  // parameter serialisers, every host dispatch call, the editor's drawing pass, the
  // MIDI input thread for each message and a transfer job between its waits.
  // Lock order: mMutex first, then the librarian's libraryMutex, the editor's MIDI
  // output queue lock, a worker's start lock, then the port locks; none of them is
  // held while mMutex is taken.
  WDL_Mutex mMutex;
  // Takes mMutex for a thread that a thread holding it may wait for: false, without
  // it, once giveUp is set while another thread holds it.
  bool EnterMutexUnless(const std::atomic<bool>& giveUp) { return mMidiPorts.EnterMutexUnless(giveUp); }

protected:
  // The destructor's last step of the port layer.
  void CloseMidiPorts() { mMidiPorts.CloseMidiPorts(); }
  // What the five send operations put on the wire, for the adapter's overrides.
  // Any thread; false when it was refused: a send only queues the message.
  bool SendMidiMsgToPort(IMidiMsg* pMsg) { return mMidiPorts.SendMidiMsgToPort(pMsg); }
  bool SendMidiSysexToPort(const unsigned char* pData, int size) { return mMidiPorts.SendMidiSysexToPort(pData, size); }
  bool SendBytesToPort(const unsigned char* pData, int size) { return mMidiPorts.SendBytesToPort(pData, size); }

  int mNonAutomatedParamCount = 0;
  WDL_PtrList<ChannelIO> mChannelIO;
  char mEffectName[kNameLen] = {};
  char mProductName[kNameLen] = {};
  char mMfrName[kNameLen] = {};
  int mUniqueID = 0;
  int mMfrID = 0;
  int mVersion = 0;
  EAPI mAPI = kAPIAU;
  int mHost = kHostUninit;
  int mHostVersion = 0;
  bool mStateChunks = false;
  bool mIsInst = false;
  bool mIsBypassed = false;
  int mCurrentPresetIdx = 0;
  double mSampleRate = 44100.0;
  int mBlockSize = 0;
  int mLatency = 0;
  WDL_String mPreviousPath;
  // Group names the adapter numbers for the host; texts not owned.
  WDL_PtrList<const char> mParamGroups;
  IGraphics* mGraphics = nullptr;
  WDL_PtrList<IParam> mParams;
  WDL_PtrList<IPreset> mPresets;
  WDL_TypedBuf<double*> mInData, mOutData;
  WDL_PtrList<InChannel> mInChannels;
  WDL_PtrList<OutChannel> mOutChannels;
  WDL_PtrList<WDL_String> mInputBusLabels;
  WDL_PtrList<WDL_String> mOutputBusLabels;
  // The port layer's calls into this plug-in: its virtuals.
  class MidiPortsOwner final : public MidiPortLayer::Owner
  {
  public:
    explicit MidiPortsOwner(IPlugBase& plug) : mPlug(plug) {}
    void ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice) override { mPlug.ProcessMidiMsg(pMsg, fromDevice); }
    void ProcessSysEx(ISysEx* pSysEx, bool fromDevice) override { mPlug.ProcessSysEx(pSysEx, fromDevice); }
    void OnMidiPortListsRead() override { mPlug.OnMidiPortListsRead(); }

  private:
    IPlugBase& mPlug;
  } mMidiPortsOwner{*this};
  // The hardware MIDI port layer: its queues, locks, threads and choices. Last, so
  // that it goes first; the destructor has ended its threads (CloseMidiPorts).
  MidiPortLayer mMidiPorts{mMidiPortsOwner, mMutex};

private:
  void ParseChannelIO(const char* channelIOStr);
  void ConvertOutputsToFloats(int nFrames, bool accumulate);
  int NonAutomatedStart() const { return NAutomatableParams(); }
  int ReadParamValues(ByteChunk* pChunk, int pos, int first, int n);
  void SetParameterFromGUIImpl(int idx, double normalizedValue, bool fromHardware);
  IPreset* NextPresetToMake(const char* name);
  bool PromptForFile(WDL_String* pFile, bool save, const char* extension);
  bool ReadChosenFile(const char* extension, ByteChunk* pOut);
  int UnserializeStateOrKeep(ByteChunk* pChunk, int startPos);
  bool ReadProgram(const unsigned char* pData, int size);
  bool ReadBank(const unsigned char* pData, int size);
};
