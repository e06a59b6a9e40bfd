#pragma once
// The plug-in object: parameters, presets, state chunks, the channel layout
// and buffers, the attached editor window, the hardware MIDI ports and the
// plug-in's recursive mutex. The Audio Unit adapter derives from it and the
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
#include "plug/MidiInputFramer.h"
#include "plug/MidiInputRing.h"
#include "plug/MidiPortSelect.h"
#include "plug/MidiSendQueue.h"

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
class MidiPortLook;
class MidiInStream;
struct JackMidiSlot;
namespace jackbridge
{
struct SlotMemory;
}
struct MidiInRoute;
class RtMidiIn;
class RtMidiOut;

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

  // ---- hardware MIDI ports (the port layer) ----
  // One thread of the instance, the port thread, makes every call into the port
  // library and JACK: it reads both port lists, opens the ports chosen, watches
  // them, and sends. The entries below only hand data over to it and answer from
  // what is known; none waits for it, nor for a server. This starts it (it reads
  // the lists first), so that the port library's probing of MIDI systems overlaps
  // the caller's work; the first entry that needs it starts it otherwise.
  // The port thread calls the instance's virtuals at once: whoever makes an instance
  // calls this (or the first entry below) once the object is whole, never its
  // constructor (the factory does, right after making it).
  void ReadMidiPortListsAhead();
  // The lists as read, "OFF" first; before they are read, "OFF" and the names
  // chosen meanwhile.
  std::vector<std::string> getExternalMIDIOutNames();
  std::vector<std::string> getExternalMIDIInNames();
  // The same without starting the port thread: for a constructor.
  std::vector<std::string> KnownMidiPortNames(bool input);
  // Whether the port thread has read the lists: the answers above then are its.
  bool MidiPortListsRead() const { return mMidiListsRead.load(); }
  // A choice by list entry (and name): recorded for the port thread, which opens
  // the port named, a name it does not see looked for afresh, then watched for as
  // gone. index gets the entry chosen: 0 for "OFF" or a name not in the list
  // (before the lists are read, a name is taken as it is).
  int setExternalMIDIOut(int& index, const char* name);
  int setExternalMIDIIn(int& index, const char* name);
  int getExternalMIDIOutDevice(const char* name);
  int getExternalMIDIInDevice(const char* name);
  int GetMIDIOutPortNumber(const char* name);
  int GetMIDIInPortNumber(const char* name);
  bool initializeVirtualOutput(std::string name);
  static void MIDICallback(double timeStamp, std::vector<unsigned char>* message, void* userData);
  void processMIDIInput(double timeStamp, std::vector<unsigned char>* message, void* userData);
  bool SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs);
  // The host's render calls this thread's (called as each begins): a send of the
  // thread that rendered last takes no lock and makes no system call (over JACK the
  // bridge's process callback wakes the port thread for it). Any thread, no wait.
  void MarkMidiRenderThread();
  // Over JACK the timing clock is not sent tick by tick: the JACK bridge's process
  // callback writes each tick (0xF8) into the period's buffer at the frame it falls
  // due, tick 0 at firstNs (CLOCK_MONOTONIC) and one every intervalNs after it
  // (ClockTimeline), so it keeps time whatever thread of the host wakes late.
  // False where the port layer cannot (not over JACK, or its slot not made yet):
  // the caller sends the ticks itself. StopMidiClock ends the run (none follows it
  // once it returns, within a bound) and answers the ticks placed. The clock thread.
  bool StartMidiClock(int64_t firstNs, int64_t intervalNs);
  unsigned long long StopMidiClock();
  // Teardown's first step: ends the port thread (StopMidiPortThreads), then the
  // input thread, and lets no message reach the plug-in afterwards. The editor
  // calls it before its own objects go; any thread.
  void StopMidiInput();
  // Asks the port thread to end and waits two seconds at most: false when it is
  // still inside a call into the port library that does not return (over ALSA; over
  // JACK it only asks the JACK owner, and gives that up at once). It is then left
  // to end by itself, the log says so once, and what it uses is kept: the port
  // objects, and the plug-in itself, which its owner must then not free. Ending, it
  // hands what is still queued to the open port within a bound and says how many
  // messages it could not; over JACK the bridge writes them out and its ports leave
  // the server. Asked again after it gave up, this answers at once. Any thread.
  bool StopMidiPortThreads();
  // What sends through the port layer besides the host's render (an editor's
  // workers, its clock): stopped by the host's close before the port thread is
  // asked to end, so that a kept instance sends nothing.
  virtual void StopOwnSenders() {}
  // The port thread, once it has read the port lists (MidiPortListsRead), holding
  // no lock: an editor builds its port menus again. It must not wait for anything
  // without bound; mMidiWatchQuit tells it the teardown has begun.
  virtual void OnMidiPortListsRead() {}
  // Whether the output (input) port chosen last went away and has not come back;
  // the port layer opens it again by itself when it does. Any thread.
  bool MidiOutPortMissing() const { return mMidiOutWatch.missing.load(); }
  bool MidiInPortMissing() const { return mMidiInWatch.missing.load(); }
  // Whether a port chosen (or "OFF") is still being opened (closed) by the port
  // thread: a choice answers at once, from the list, and the port follows.
  // Any thread.
  bool MidiPortChoiceUnderWay() const { return mMidiChoicesUnderWay.load() > 0; }
  // For a sender that waits for what it sent to be answered: a mark taken before
  // the send, then whether the port layer refused a message sent after the mark, at
  // the call or later (its port or server gone, the queue full, too long): that
  // message will not arrive. Sends are refused in their order, so a refusal after
  // the mark also means the port went at or after the message sent. A send with no
  // port chosen at all is not counted (the sender knows it chose none). Any thread,
  // no lock: the render's send included.
  struct MidiOutPlace
  {
    unsigned long long queued = 0, refusedAtCall = 0;
  };
  MidiOutPlace MidiOutMark() const { return {mMidiOutPushed.load(), mMidiOutCallRefusals.load()}; }
  bool MidiOutRefusedSince(const MidiOutPlace& mark) const
  {
    return mMidiOutCallRefusals.load() > mark.refusedAtCall || mMidiOutRefusedAt.load() > mark.queued;
  }
  // Where the port layer's lines about a chosen port (gone, back, not taken its
  // place, messages not sent meanwhile) go besides the console, one line a call
  // without its line feed: the editor's log file, when it keeps one. Null: the
  // console alone. Called on the thread that selects, the watch's and the
  // teardown's; the sink must outlive the plug-in's derived parts (capture by value).
  void SetMidiPortLog(std::function<void(const std::string&)> sink);

  // Recursive: held by the GUI road, AttachGraphics, DirtyParameters, the four
  // parameter serialisers, every host dispatch call, the editor's drawing pass, the
  // MIDI input thread for each message and a transfer job between its waits.
  // Lock order: mMutex first, then the librarian's libraryMutex, the editor's MIDI
  // output queue lock, a worker's start lock, then the port locks; none of them is
  // held while mMutex is taken.
  WDL_Mutex mMutex;
  // Takes mMutex for a thread that a thread holding it may wait for: false, without
  // it, once giveUp is set while another thread holds it.
  bool EnterMutexUnless(const std::atomic<bool>& giveUp);

protected:
  // The destructor's last step of the port layer: the port thread ended (waited
  // for without bound if it was given up: the instance is being freed), then the
  // input thread.
  void CloseMidiPorts();
  // What the five send operations put on the wire, for the adapter's overrides:
  // a short message in two or three bytes; a system-exclusive body framed by F0
  // and F7 unless it begins with F0; bytes as given. Any thread; false when
  // it was refused (no port chosen, the chosen one gone, an empty or too long
  // message, the queue full): a send only queues the message for the port thread.
  bool SendMidiMsgToPort(IMidiMsg* pMsg);
  bool SendMidiSysexToPort(const unsigned char* pData, int size);
  bool SendBytesToPort(const unsigned char* pData, int size);

  int mNonAutomatedParamCount = 0;
  // Port layer: owned objects, null until their list is built.
  RtMidiIn* mMidiIn = nullptr;
  RtMidiOut* mMidiOut = nullptr;
  int mMidiInIndex = 0;
  int mMidiOutIndex = 0;
  WDL_PtrList<ChannelIO> mChannelIO;
  char mEffectName[kNameLen] = {};
  char mProductName[kNameLen] = {};
  char mMfrName[kNameLen] = {};
  int mUniqueID = 0;
  int mMfrID = 0;
  int mVersion = 0;
  // Port layer. Over the ALSA sequencer the port objects and the look are made,
  // replaced and called by the port thread alone (IPlugMidiPortThread.cpp); one
  // lock a direction guards the pointers for the readers of other threads and is
  // held across no call into the port library. Over JACK the process's owner of
  // the JACK clients (JackMidiOwner.h) serves this instance's ports through its
  // slot, the port thread its one asker. The input side is told it is closing
  // before its port closes; it then drops messages instead of waiting for mMutex.
  std::mutex mMidiOutLock, mMidiInLock;
  std::atomic<bool> mMidiOutOpen{false}, mMidiJack{false};
  // Held by the port thread across each of its rounds (choices, sends, a look), and
  // by the teardown once that thread has ended; never by a host's call.
  std::mutex mMidiPortChange;
  std::atomic<bool> mMidiInStopped{false};
  // Input framing and its ring (MidiInStream.h); over JACK the input thread feeds it
  // from the slot's shared ring, which the JACK bridge's callback fills.
  // Stray data bytes after a complete message are dropped, not read as running
  // status: JACK events are whole messages, the ALSA decoder is told not to use
  // running status, and JACK has been seen to hand over such bytes in the period a
  // new connection is made. The plug-in's own input thread, started with the first
  // port opening, hands the messages to the plug-in under mMutex, one at a time, in
  // order. The queue lock is the consumers' own (the input thread, and a closing
  // that drops what is queued); the receiving side never takes it.
  std::shared_ptr<MidiInStream> mMidiInStream;
  std::mutex mMidiInQueueLock;
  long long mMidiInRingTooLongLogged = 0, mMidiInRingFullLogged = 0, mMidiInRingBytesLogged = 0;
  std::atomic<bool> mMidiInQuit{false};
  std::thread mMidiInThread;
  int mMidiInApi = 0;
  bool mMidiInUsed = false;
  // ALSA, under mMidiInLock: the object's port was closed after use, its route
  // cut; it is replaced at the next opening (RtMidi keeps a half-received
  // system-exclusive message across a closing).
  bool mMidiInClosedKept = false;
  MidiInRoute* mMidiInRoute = nullptr;
  // Over JACK: this instance's ports in the owner, made at the port thread's start;
  // the epoch its ports are registered in (0: none), and whether the server was
  // seen to go (the host's sends then refuse).
  std::shared_ptr<JackMidiSlot> mMidiSlot;
  unsigned mMidiJackEpoch = 0;
  std::atomic<bool> mMidiServerGone{false};
  // The port thread's last listing over JACK, which OpenPort's numbers index.
  std::vector<std::string> mMidiJackSeen[2];
  // The port thread's answers of the look under way over JACK (AskJackLook).
  struct MidiJackLook
  {
    bool valid = false;
    std::vector<std::string> names[2];
    std::string peer[2];
    int connected[2] = {-1, -1};
  } mMidiJackLook;
  // The chosen port of each direction, changed by the port thread only, as it takes
  // a choice and as it looks at the ports a few times a second. mMidiWatchLock
  // guards the thread object, its quit flag, its wake-up and its end; the thread
  // lets go of it for each round.
  MidiPortWatch mMidiOutWatch, mMidiInWatch;
  std::mutex mMidiWatchLock;
  std::condition_variable mMidiWatchWake;
  std::atomic<bool> mMidiWatchQuit{false};
  std::atomic<bool> mMidiPortWork{false};  // a choice or a send waits for the port thread
  std::thread mMidiWatchThread;
  bool mMidiWatchStarted = false, mMidiWatchEnded = false, mMidiWatchKept = false;
  // ALSA: the port thread's look at the ports (MidiPortLook), made at the first
  // choice of a port; null where none could be made.
  MidiPortLook* mMidiLook = nullptr;
  bool mMidiLookTried = false;
  // Under mMidiChoiceLock, which is held across no call into the port library: the
  // lists as read (empty before), the ports last seen, and the last choice of each
  // direction not yet taken by the port thread (the last one wins: a burst leaves
  // one opening). first counts the sends queued before the first choice of the
  // burst: those go to the port open until then, every later one to the port of the
  // last choice. before counts those queued before this choice, or before the
  // output's choice it was made with (the pair of a move or a recall): what comes
  // after waits for its port.
  struct MidiPortChoice
  {
    bool pending = false;
    int k = 0;
    std::string name;
    unsigned long long first = 0, before = 0;
  };
  std::mutex mMidiChoiceLock;
  std::vector<std::string> mMidiOutNames, mMidiInNames;
  std::vector<std::string> mMidiOutSeen, mMidiInSeen;
  std::vector<std::string> mMidiOutChosenNames, mMidiInChosenNames;  // chosen before the lists were read
  MidiPortChoice mMidiOutChoice, mMidiInChoice;
  // The last output choice, for the input's choice made with it: when, and the sends queued before it.
  std::chrono::steady_clock::time_point mMidiOutChoiceAt;
  unsigned long long mMidiOutChoiceQueued = 0;
  std::atomic<int> mMidiChoicesUnderWay{0}, mMidiOutChoicesUnderWay{0};
  std::atomic<bool> mMidiListsRead{false};
  // The sends, for the port thread: any thread a producer without a lock
  // (MidiSendQueue), the port thread the one consumer. Pushed counts every message
  // queued; taken, the port thread's own, those it took. A full queue refuses:
  // counted, and said once a run of refusals.
  MidiSendQueue mMidiOutRing{1024 * 1024};
  std::atomic<unsigned long long> mMidiOutPushed{0};
  // The port thread sleeps on a word: its slot's, shared with the JACK bridge (which
  // wakes it for a render send and for room it waits for), else this one.
  std::atomic<uint32_t> mMidiPortWord{0}, mMidiPortSleeping{0};
  std::atomic<jackbridge::SlotMemory*> mMidiShared{nullptr};
  // The thread of the host's last render call (MarkMidiRenderThread): its sends make
  // no system call.
  std::atomic<unsigned long> mMidiRenderThread{0};
  // The input thread's count of what its slot's ring dropped, as said last.
  long long mMidiInSharedTooLongLogged = 0, mMidiInSharedFullLogged = 0, mMidiInSharedBytesLogged = 0;
  unsigned long long mMidiOutTaken = 0;
  // The number in the queue's order of the last queued message the port thread
  // refused, and how many were refused at the call.
  std::atomic<unsigned long long> mMidiOutRefusedAt{0}, mMidiOutCallRefusals{0};
  long long mMidiOutFullLogged = 0;
  std::atomic<bool> mMidiOutChosen{false}, mMidiOutClosedLogged{false};
  double mMidiOutPeriodSeconds = 0.0;  // the server's period as the last look read it
  // Over ALSA, while sends come the port thread looks at the queue by itself
  // (polling), until mMidiOutPollUntil, its own; senders then wake no one.
  std::atomic<bool> mMidiPortPolling{false};
  std::chrono::steady_clock::time_point mMidiOutPollUntil;
  std::mutex mMidiPortLogLock;  // around the sink below
  std::function<void(const std::string&)> mMidiPortLog;
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

private:
  struct MidiSideLook;
  struct MidiOutSide;
  struct MidiInSide;
  // The port thread (IPlugMidiPortThread.cpp).
  void StartMidiPortThread();
  void WakeMidiPortThread();
  void SleepMidiPortThread(std::chrono::steady_clock::time_point until);
  void RunMidiPortThread();
  void ReadMidiPortLists();
  void EndMidiPortThread();
  bool SendQueuedMidiOut(unsigned long long upTo, bool ending = false);
  bool MidiOutDrained();
  unsigned long long MidiOutSendLimit();
  std::chrono::steady_clock::time_point MidiOutPaceUntil();
  void LogMidiOutQueueDrops();
  void NoteMidiOutRefused(unsigned long long at);
  void InstallMidiOut(RtMidiOut* out);
  void InstallMidiIn(RtMidiIn* in, MidiInRoute* route);
  void BeginMidiInClose();
  void EndMidiInClose();
  void CloseMidiIn(bool replaceObject);
  void RetireMidiIn(RtMidiIn* in, MidiInRoute* route);
  void ReplaceClosedMidiIn();
  void StartMidiInputThread();
  void LookAtMidiPorts();
  void AskJackLook();
  void FollowJackServer();
  void CountMidiInDrop(int kind, int size);
  MidiPortLook* MidiLook();
  int ChooseMidiPort(bool input, int& index, const char* name);
  void RecordMidiPortChoice(bool input, int k, const std::string& name);
  void ApplyMidiPortChoices();
  void ApplyMidiPortChoice(bool input, const MidiPortChoice& c);
  void OpenVirtualMidiOut(const std::string& name);
  void NoteMidiPortsSeen(bool input, const std::vector<std::string>& names);
  void KeepMidiPortLine(const std::string& line);
  void DeliverMidiInput(const unsigned char* bytes, int size);
  void RunMidiInput();
  void PullSharedMidiInput(unsigned char* buffer);
  int DropQueuedMidiInput();
  void LogMidiInRingDrops();
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
