#pragma once
// The hardware MIDI port layer that a plug-in holds (IPlugBase::mMidiPorts; the
// plug-in's entries of the same names forward to it): the ports chosen by name,
// the send queue, the input's stream and thread, the port thread, the JACK owner's
// slot and the ALSA sequencer's port objects, with their locks.
//
// A message sent: SendBytesToPort queues it (any thread, no lock). Over JACK the
// queue is in the instance's slot, and the JACK bridge's process callback writes it
// into a period's buffer as far as the gate the port thread keeps for choices lets
// it (GateJackMidiOut); over ALSA the port thread, woken, takes it
// (SendQueuedMidiOut) into RtMidi's sendMessage. A message received: the receiving
// side (the input object's callback, MIDICallback, over ALSA; over JACK the input
// thread reading the slot's ring) frames it into the stream's ring (MidiInStream.h);
// the input thread (RunMidiInput) hands it to the plug-in through Owner, under the
// plug-in's mutex (DeliverMidiInput).
// MidiPortLayer.cpp holds the host's side, MidiPortThread.cpp the port thread's.

#include "base/mutex.h"
#include "plug/IMidiMsg.h"
#include "plug/MidiPortSelect.h"
#include "plug/MidiSendQueue.h"

#include <atomic>
#include <cstdint>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class MidiPortLook;
class MidiInStream;
struct JackMidiSlot;
struct JackMidiServer;
namespace jackbridge
{
struct SlotMemory;
}
struct MidiInRoute;
class RtMidiIn;
class RtMidiOut;

class MidiPortLayer
{
public:
  // What the layer asks of the plug-in that holds it.
  class Owner
  {
  public:
    // The input thread, holding the plug-in's mutex: a whole message from the
    // input port (fromDevice true).
    virtual void ProcessMidiMsg(IMidiMsg* pMsg, bool fromDevice) = 0;
    virtual void ProcessSysEx(ISysEx* pSysEx, bool fromDevice) = 0;
    // The port thread, once it has read the port lists, holding no lock; it must
    // not wait for anything without bound (QuitFlag tells it the teardown began).
    virtual void OnMidiPortListsRead() = 0;

  protected:
    ~Owner() = default;
  };

  // mutex is the plug-in's: a choice takes it, the input thread takes it for each
  // message. Nothing of the layer runs on another thread before one of the entries
  // below that start the port thread is called.
  MidiPortLayer(Owner& owner, WDL_Mutex& mutex);
  ~MidiPortLayer();
  MidiPortLayer(const MidiPortLayer&) = delete;
  MidiPortLayer& operator=(const MidiPortLayer&) = delete;

  // ---- lists and choices ----
  // One thread of the instance, the port thread, makes every call into the port
  // library and JACK: it reads both port lists, opens the ports chosen, watches
  // them, and sends. The entries below only hand data over to it and answer from
  // what is known; none waits for it, nor for a server. This starts it (it reads
  // the lists first), so that the port library's probing of MIDI systems overlaps
  // the caller's work; the first entry that needs it starts it otherwise.
  // The port thread calls the owner at once: whoever makes an instance calls this
  // (or the first entry below) once the owner is whole, never its constructor (the
  // factory does, right after making it).
  void ReadMidiPortListsAhead();
  // The lists as read, "OFF" first; before they are read, "OFF" and the names
  // chosen meanwhile.
  std::vector<std::string> getExternalMIDIOutNames();
  std::vector<std::string> getExternalMIDIInNames();
  // The same without starting the port thread: for a constructor.
  std::vector<std::string> KnownMidiPortNames(bool input);
  // Whether the port thread has read the lists: the answers above then are its.
  bool MidiPortListsRead() const { return mMidiListsReads.load() > 0; }
  // How often they were read or changed: once at the start, once more over JACK when
  // they were read before any server answered the bridge and one has since, and
  // each time a look at the ports finds other ports than the lists hold (a
  // synthesizer's program started or ended): the lists follow the ports.
  unsigned MidiPortListsReads() const { return mMidiListsReads.load(); }
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
  // Where the layer's lines about a chosen port (gone, back, not taken its place,
  // messages not sent meanwhile) go besides the console, one line a call without
  // its line feed: the editor's log file, when it keeps one. Null: the console
  // alone. Called on the thread that selects, the watch's and the teardown's; the
  // sink must outlive the plug-in's derived parts (capture by value).
  void SetMidiPortLog(std::function<void(const std::string&)> sink);
  // Whether the output (input) port chosen last went away and has not come back;
  // the layer opens it again by itself when it does. Any thread.
  bool MidiOutPortMissing() const { return mMidiOutWatch.missing.load(); }
  bool MidiInPortMissing() const { return mMidiInWatch.missing.load(); }
  // Whether a port chosen (or "OFF") is still being opened (closed) by the port
  // thread: a choice answers at once, from the list, and the port follows.
  // Any thread.
  bool MidiPortChoiceUnderWay() const { return mMidiChoicesUnderWay.load() > 0; }

  // ---- input ----
  // The receiving side over ALSA (the input object's callback, through its route;
  // userData is the layer): one run of bytes as the port library hands it over.
  static void MIDICallback(double timeStamp, std::vector<unsigned char>* message, void* userData);
  void processMIDIInput(double timeStamp, std::vector<unsigned char>* message, void* userData);
  // Takes the plug-in's mutex for a thread that a thread holding it may wait for:
  // false, without it, once giveUp is set while another thread holds it.
  bool EnterMutexUnless(const std::atomic<bool>& giveUp);
  // Set once the teardown has begun (StopMidiPortThreads): for the owner's
  // OnMidiPortListsRead, which must then not wait for the mutex.
  const std::atomic<bool>& QuitFlag() const { return mMidiWatchQuit; }

  // ---- output (any thread) ----
  // What the five send operations put on the wire: a short message in two or three
  // bytes; a system-exclusive body framed by F0 and F7 unless it begins with F0;
  // bytes as given. False when it was refused (no port chosen, the chosen one
  // gone, an empty or too long message, the queue full): a send only queues the
  // message for the port thread.
  bool SendMidiMsgToPort(IMidiMsg* pMsg);
  bool SendMidiSysexToPort(const unsigned char* pData, int size);
  bool SendBytesToPort(const unsigned char* pData, int size);
  // The host's render calls this thread's (called as each begins). A send of any
  // thread takes no lock; over JACK it makes no system call either (the bridge's
  // process callback takes it from the queue at its next period), over ALSA it
  // wakes the port thread unless that looks at the queue anyway. Kept for hosts.
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
  // For a sender that waits for what it sent to be answered: a mark taken before
  // the send, then whether the layer refused a message sent after the mark, at the
  // call or later (its port or server gone, the queue full, too long): that
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

  // ---- teardown ----
  // Teardown's first step: ends the port thread (StopMidiPortThreads), then the
  // input thread, and lets no message reach the owner afterwards. Any thread.
  void StopMidiInput();
  // Asks the port thread to end and waits two seconds at most: false when it is
  // still inside a call into the port library that does not return (over ALSA; over
  // JACK it only asks the JACK owner, and gives that up at once). It is then left
  // to end by itself, the log says so once, and what it uses is kept: the port
  // objects, and the layer with its owner, which their owner must then not free.
  // Ending, it hands what is still queued to the open port within a bound and says
  // how many messages it could not; over JACK the bridge writes them out and its
  // ports leave the server. Asked again after it gave up, this answers at once.
  // Any thread.
  bool StopMidiPortThreads();
  // The owner's destructor's last step of the layer: the port thread ended (waited
  // for without bound if it was given up: the instance is being freed), then the
  // input thread.
  void CloseMidiPorts();

  // ---- for tests, which look at what the port thread keeps ----
  // Whether the input's last choice waits for the port thread (not yet taken).
  bool MidiInChoicePending();
  // Whether a port object of either direction is kept.
  bool HasPortObjects() const { return mMidiOut || mMidiIn; }
  // Whether every send queued has been taken (over JACK by the bridge's callback).
  bool MidiOutQueueEmpty() const { return mMidiOutRing.NextSize() == 0; }
  // Over JACK the memory this instance shares with the bridge (null before the
  // lists are read, or over ALSA).
  jackbridge::SlotMemory* MidiSharedMemory() const { return mMidiShared.load(); }
  int OutIndex() const { return mMidiOutIndex; }
  int InIndex() const { return mMidiInIndex; }
  // Plants the chosen ports' watch as gone (or back), as the port thread's look sets it.
  void SetMidiPortsMissing(bool missing)
  {
    mMidiOutWatch.missing = missing;
    mMidiInWatch.missing = missing;
  }

private:
  struct MidiSideLook;
  struct MidiOutSide;
  struct MidiInSide;
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

  // The port thread (MidiPortThread.cpp).
  void StartMidiPortThread();
  void WakeMidiPortThread();
  void SleepMidiPortThread(std::chrono::steady_clock::time_point until);
  void RunMidiPortThread();
  void ReadMidiPortLists();
  void EndMidiPortThread();
  bool SendQueuedMidiOut(unsigned long long upTo, bool ending = false);
  unsigned long long MidiOutSendLimit();
  std::chrono::steady_clock::time_point MidiOutPaceUntil();
  void LogMidiOutQueueDrops();
  unsigned long long MidiOutTaken() const { return mMidiOutRing.Taken(); }
  unsigned long long MidiOutSendLimitLocked();
  bool GateJackMidiOut(unsigned long long upTo, bool ending);
  void DropQueuedMidiOut(unsigned long long upTo);
  bool HoldJackSends();
  void LetGoJackSends();
  void LogMidiOutRingBroken();
  void LogMidiOutLostWithBridge();
  void LogMidiJackXruns(bool ending = false);
  void SayMidiOutLoss(const std::string& line);
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
  void ReadJackPortListsAgain(MidiPortAccess& out, MidiPortAccess& in);
  void StoreMidiPortLists(const std::vector<std::string>& outs, const std::vector<std::string>& ins);
  void FollowMidiPortLists();
  void NoteMidiPortsListed();
  void CountMidiInDrop(int kind, int size);
  MidiPortLook* MidiLook();
  void ApplyMidiPortChoices();
  void ApplyMidiPortChoice(bool input, const MidiPortChoice& c);
  void OpenVirtualMidiOut(const std::string& name);
  // The host's side (MidiPortLayer.cpp).
  int ChooseMidiPort(bool input, int& index, const char* name);
  void RecordMidiPortChoice(bool input, int k, const std::string& name);
  void NoteMidiPortsSeen(bool input, const std::vector<std::string>& names);
  void KeepMidiPortLine(const std::string& line);
  void DeliverMidiInput(const unsigned char* bytes, int size);
  void RunMidiInput();
  void PullSharedMidiInput(unsigned char* buffer);
  int ReadSharedMidiInput(unsigned char* dest, int room);
  int DropQueuedMidiInput();
  void LogMidiInRingDrops();

  Owner& mOwner;
  // The plug-in's recursive mutex (IPlugBase::mMutex).
  WDL_Mutex& mMutex;
  // Owned objects, null until their list is built.
  RtMidiIn* mMidiIn = nullptr;
  RtMidiOut* mMidiOut = nullptr;
  int mMidiInIndex = 0;
  int mMidiOutIndex = 0;
  // Over the ALSA sequencer the port objects and the look are made, replaced and
  // called by the port thread alone (MidiPortThread.cpp); one lock a direction
  // guards the pointers for the readers of other threads and is held across no
  // call into the port library. Over JACK the process's owner of the JACK clients
  // (JackMidiOwner.h) serves this instance's ports through its slot, the port
  // thread its one asker. The input side is told it is closing before its port
  // closes; it then drops messages instead of waiting for mMutex.
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
  // The JACK server the environment named as the instance was made: its ports are
  // there for its whole life, whatever the host's environment names later.
  const std::shared_ptr<JackMidiServer> mMidiJackServer;
  std::atomic<bool> mMidiServerGone{false};
  // The port thread's last listing over JACK, which OpenPort's numbers index.
  std::vector<std::string> mMidiJackSeen[2];
  // Over JACK, a choice's closing leaves the cut of its port's connections to the
  // connection that follows (the bridge's Connect cuts first: one request, and one
  // change of the server's graph, fewer); a cut left over is made once the choice
  // is through. The port thread's.
  bool mMidiJackCutLater = false;
  bool mMidiJackCutDue[2] = {false, false};
  // The port thread's answers of the look under way over JACK (AskJackLook).
  struct MidiJackLook
  {
    bool valid = false;
    std::vector<std::string> names[2];
    std::string peer[2];
    int connected[2] = {-1, -1};
    // The epoch the look was answered in (0: none), and whether the slot's memory
    // is with the live bridge (which then wakes the port thread at each change of
    // the server's ports: it looks seldom otherwise).
    unsigned epoch = 0;
    bool told = false;
  } mMidiJackLook;
  // The slot's graphChanges as the last look began; whether the last look's slot
  // is told of changes (the next look then waits for one, or the fallback).
  uint32_t mMidiGraphSeen = 0;
  bool mMidiToldOfChanges = false;
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
  // The lists, the ports seen and the choices (MidiPortChoice above).
  std::mutex mMidiChoiceLock;
  std::vector<std::string> mMidiOutNames, mMidiInNames;
  std::vector<std::string> mMidiOutSeen, mMidiInSeen;
  // Chosen before the lists were read, or since: listed while away.
  std::vector<std::string> mMidiOutChosenNames, mMidiInChosenNames;
  // Every name the lists have held: a port that went (its program restarts) is still
  // taken by its name, as one watched for as gone, and listed as the choice it is.
  std::vector<std::string> mMidiOutListed, mMidiInListed;
  MidiPortChoice mMidiOutChoice, mMidiInChoice;
  // The last output choice, for the input's choice made with it: when, and the sends queued before it.
  std::chrono::steady_clock::time_point mMidiOutChoiceAt;
  unsigned long long mMidiOutChoiceQueued = 0;
  std::atomic<int> mMidiChoicesUnderWay{0}, mMidiOutChoicesUnderWay{0};
  std::atomic<unsigned> mMidiListsReads{0};
  // Over JACK: the lists were read while the bridge had no clients on a server (none
  // runs, or it has not answered yet): they are read again at the first look with
  // clients, and until then a name chosen is taken as it is, as before the lists are
  // read. A server slow to start, or down, loses no choice.
  std::atomic<bool> mMidiListsAwaitServer{false};
  // The sends: any thread a producer without a lock (MidiSendQueue), one consumer:
  // over JACK the bridge's process callback, over ALSA the port thread. Pushed counts
  // every message queued; the queue's taken, those its consumer took (or dropped).
  // A full queue refuses: counted, and said once a run of refusals. Its memory is
  // the instance's slot's, made with the layer whether the ports are JACK's or not.
  std::shared_ptr<JackMidiSlot> mMidiSendSlot;
  MidiSendQueue mMidiOutRing;
  std::atomic<unsigned long long> mMidiOutPushed{0};
  // The port thread sleeps on a word: its slot's, shared with the JACK bridge (which
  // wakes it once it took sends a choice waits for), else this one.
  std::atomic<uint32_t> mMidiPortWord{0}, mMidiPortSleeping{0};
  std::atomic<jackbridge::SlotMemory*> mMidiShared{nullptr};
  // The input thread's count of what its slot's ring dropped, as said last.
  long long mMidiInSharedTooLongLogged = 0, mMidiInSharedFullLogged = 0, mMidiInSharedBytesLogged = 0;
  // Times the slot's input ring was found broken (said the first time).
  long long mMidiInSharedBroken = 0;
  // The number in the queue's order of the last queued message the port thread
  // refused, and how many were refused at the call.
  std::atomic<unsigned long long> mMidiOutRefusedAt{0}, mMidiOutCallRefusals{0};
  long long mMidiOutFullLogged = 0;
  // Over JACK: the times the bridge found the slot's send queue broken, and the
  // bytes lost with it, as said last.
  unsigned long long mMidiOutBrokenSaid = 0, mMidiOutBrokenLostSaid = 0;
  // Over JACK: the sends lost with bridges that ended inside a period, as said last.
  unsigned long long mMidiOutLostSaid = 0;
  // Over JACK: the server's xruns, as said last, and when.
  unsigned long long mMidiXrunsSaid = 0;
  std::chrono::steady_clock::time_point mMidiXrunsSaidAt;
  std::atomic<bool> mMidiOutChosen{false}, mMidiOutClosedLogged{false};
  // Over ALSA, while sends come the port thread looks at the queue by itself
  // (polling), until mMidiOutPollUntil, its own; senders then wake no one.
  std::atomic<bool> mMidiPortPolling{false};
  std::chrono::steady_clock::time_point mMidiOutPollUntil;
  std::mutex mMidiPortLogLock;  // around the sink below
  std::function<void(const std::string&)> mMidiPortLog;
};
