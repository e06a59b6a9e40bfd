#pragma once
// The hub of the hardware side: the router of incoming system exclusive with its
// program and global parsers, the two librarian request collectors, the handler of
// short messages from the hardware and the host, and the three worker threads with
// their job records.
//
// Threads: ProcessSysEx and ProcessMidiMsgFromDevice run on the MIDI input thread
// (or the transfer thread, for messages the jobs feed back); ProcessMidiMsgFromDAW on
// the host's dispatch thread; starters on any thread. Each of them holds the editor's
// lock (HardwareHost::enterEditorLock) while it changes editor state, the transfer
// jobs too (between their waits); the flags below are atomic because the jobs poll
// them in their waits, without it.

#include "hardware/HardwareHost.h"
#include "hardware/MIDIMessageSender.h"

#include "librarian/LibrarianTypes.h"
#include "winsys/kernel.h"

#include <Poco/Thread.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class HardwareHost;
class IControl;
class IGraphics;
class PatchLibrarian;
class PatchManager;
struct IMidiMsg;
struct ISysEx;

// Collects the program(s) the librarian asked for. Only a complete 297-byte program
// dump is ever kept: anything else is refused whole.
class LibraryPatchCollector
{
public:
  int state = 1;
  LibrarianPatch patch;

  // True when the message was a complete program dump and is now the collected one.
  bool addMessageData(const unsigned char* data, int length);
  void clear();
};

// The single-program request: armed while one program is asked for.
class LibraryPatchRequest : public LibraryPatchCollector
{
public:
  std::atomic<bool> libraryRequestActive{false};
  // The slot the answer goes to, fixed as the request is armed: the selection may
  // move meanwhile (a rename, a paste). -1: the selected slot at the answer.
  std::atomic<int> targetSlot{-1};
  // Emptied and armed for the answer that goes to slot of the bank (its bankPathKey)
  // shown in the upper column as the request starts: the column may show another
  // bank by the answer (a host's automation steps it under the overlay).
  void arm(int slot, const std::string& bank);
  std::string targetBank() const;

  // Who settles an armed request first: its answer, or its job giving up on it (a
  // time-out, after which an answer the job still sees is taken, and said to be late).
  enum EOutcome { kIdle, kOpen, kAnswered, kGivenUp };
  // The answer's claim: false when the job had given up already (the answer is late).
  bool settleAnswered();
  // The job's claim at its time-out: false when the answer was taken first.
  bool giveUp();
  // Disarmed for a program the editor awaits: no outcome of an earlier request stays.
  void disarm();
  // The job that armed the request holds its answer until it ends: the slot changes
  // only once the job knows it was not cancelled. Set by the job after arming it.
  std::atomic<bool> ownedByJob{false};
  // The answer collected for the owning job, not yet stored.
  std::atomic<bool> held{false};
  bool gaveUp() const { return outcome.load() == kGivenUp; }

private:
  std::atomic<int> outcome{kIdle};
  mutable std::mutex bankLock;  // guards bank
  std::string bank;
};

// The all-programs request: armed while the whole bank is asked for.
class LibraryPatchRequestAll : public LibraryPatchCollector
{
public:
  std::atomic<bool> libraryRequestAllActive{false};
};

// Held while the librarian routes one of its own program dumps (a rename, an import,
// a paste, the initial program, a job's program for a slot) on the calling thread.
// Such a dump goes into the librarian's selected slot whatever its channel, through
// a collector of its own: it never touches a request (the collectors a job armed,
// patchRequested, the flag a job polls), and it answers none. The programs of a bank
// dump that answers a request, fed back while the router splits it, go on into that
// request's collector.
class LibrarianFeedScope
{
public:
  LibrarianFeedScope();
  ~LibrarianFeedScope();
  LibrarianFeedScope(const LibrarianFeedScope&) = delete;
  LibrarianFeedScope& operator=(const LibrarianFeedScope&) = delete;
  static bool active();
  // The dump fed in this scope went into the slot.
  bool taken = false;

private:
  LibrarianFeedScope* outer;
};

enum EWorkerThread
{
  kTransferThread = 0,
  kClockControlThread = 1,
  kMIDIClockThread = 2,
  kNumWorkerThreads = 3
};

class MIDIMessageManager
{
public:
  MIDIMessageManager(HardwareHost* plug, PatchManager* patchManager, PatchLibrarian* librarian, IGraphics* graphics);
  // Stops the clock loop, cancels the running job, joins every thread, then frees.
  ~MIDIMessageManager();
  MIDIMessageManager(const MIDIMessageManager&) = delete;
  MIDIMessageManager& operator=(const MIDIMessageManager&) = delete;

  HardwareHost* plug;
  PatchManager* patchManager;
  IGraphics* graphics;
  PatchLibrarian* librarian;
  LibraryPatchRequest libraryPatchRequest;
  LibraryPatchRequestAll libraryPatchRequestAll;

  std::atomic<bool> patchRequested{false};
  std::atomic<bool> controlNotFound{false};
  std::atomic<bool> tabRefreshPending{false};
  std::atomic<bool> sendPending{false};
  std::atomic<bool> programStepReady{true};
  std::atomic<bool> transferStarted{false};
  std::atomic<bool> valueFromIncomingMessage{false};
  std::atomic<bool> sysexInProgress{false};
  std::atomic<bool> fromHardware{false};
  std::atomic<bool> dataProcessed{false};
  std::atomic<bool> incomingFromHost{false};
  std::atomic<bool> midiFromDAW{false};
  std::atomic<bool> bankSelectSeen{false};
  std::atomic<int> nrpnMsb{0};
  std::atomic<int> nrpnLsb{0};
  // A program change that arrived while the transfer thread was busy: the program
  // request runs as soon as the running job ends (-1: none).
  std::atomic<int> pendingProgramChangePart{-1};
  // A global dump was asked for outside the device initialisation (current data).
  std::atomic<bool> globalRequested{false};
  // Programs of an all-programs transfer taken so far.
  std::atomic<int> allProgramsSlotCounter{0};

  // ---- jobs --------------------------------------------------------------
  // The start rule: under the thread's lock, test whether it runs, write its record,
  // set the starter's flags (SenderJob::atStart), start it. False when the job was
  // dropped (thread busy, or the manager closing): then nothing was touched.
  bool startJob(const SenderJob& job);
  bool isRunning(EWorkerThread thread) const;

  // ---- the transfer job's request ------------------------------------------------
  // A request is a token its job owns: opened as the job sends it (again for each
  // further request of the job), closed on every way out of the job. Only a message
  // from the input port that a route took while it lives, and of the kind it asked
  // for, answers it (the editor's incomingSysExProcessed, which the job polls); the
  // librarian's feeds never do. A dump names no request, so a late answer of another
  // kind (the globals of the start's channel search, arriving while a program is
  // awaited) is routed as what it is and answers nothing.
  enum ERequestAwaits
  {
    kAwaitsNothing = 0,
    kAwaitsProgramForEditor,     // a program dump on the editor's channel, parsed into the editor
    kAwaitsProgramForLibrarian,  // a program dump on the editor's channel (or a bank dump) for a collector
    kAwaitsGlobals,              // a global dump
  };
  void openRequest(ERequestAwaits what);  // transfer thread
  void closeRequest();                    // transfer thread
  // The live request was refused by the output (it, or anything sent after it since
  // openRequest): no answer will come. Transfer thread.
  bool requestRefused() const;
  // An input port was chosen: a request waiting for its answer is sent again once,
  // at its job's next step (its answer may have gone to the port left, as when the
  // two menus of a move are chosen one after the other). Any thread.
  void inputChosen();
  // True once after inputChosen while the live request waited. Transfer thread.
  bool takeResendAsked() { return resendAsked.exchange(false); }
  // A job awaits a program for the editor: its token lives, unanswered. Values from
  // the hardware are held back meanwhile. patchRequested with no such token (the
  // edit-mode report's) lets an unasked dump in and holds back nothing.
  bool programAwaited() const;
  // Waits (bounded, scaled clock) until the thread is idle; for tests.
  bool waitIdle(EWorkerThread thread, int timeoutMs);
  MIDIMessageSender* sender(EWorkerThread thread) { return senders[thread]; }
  // The current-program request (command 4, answer to the editor) as the follow-up
  // of the running transfer job: true when it was queued, false when the thread
  // is idle (the caller then starts it itself).
  bool queueActiveRequestAfterRunningJob();
  // Any transfer job as the follow-up of the running one: true when it was queued
  // (one at a time; a second one replaces nothing and is refused), false when the
  // thread is idle or closing.
  bool queueJobAfterRunningJob(const SenderJob& job);
  // The "Cancel Data Request" buttons: the running transfer job stops at its next wait.
  void requestCancel();
  void resetContinuousClock(bool stop);
  bool clockStopped() const { return !clockRunning.load(); }
  bool closing() const { return isClosing.load(); }

  // ---- answers owed ------------------------------------------------------------
  // A program request given up (cancelled, timed out) before its answer came may still
  // have that answer coming, and a dump names no request. The synthesizer answers in
  // the order it was asked on its one wire, so the ledger keeps, in the order sent,
  // the program answers owed and the enquiries sent ahead of a later request: a
  // program dump on the editor's channel pays the first answer owed; the answer to
  // an enquiry (a global dump) settles every entry before it, as anything still to
  // come of those would have come first. A program request goes out only when no
  // program answer is owed, so the first program dump after it is its own.
  struct OwedAnswer
  {
    bool cancelled = false;
    // A request asked twice on the editor's channel (again by the channel search) is
    // answered twice: the second answer repeats the first and goes nowhere.
    bool repeat = false;
    bool librarian = false;  // into slot of bank (a timed-out one takes its late answer there)
    // The global data enquiry sent ahead of a program request; its answer is no program.
    bool enquiry = false;
    int slot = -1;
    std::string bank;
    // Past this an unasked program dump (one sent from the panel) is no longer taken
    // for it while no request waits; it stays owed to the next request all the same.
    DWORD lapsesAt = 0;
  };
  void owe(OwedAnswer owed, int waitUnit);
  // The answers a request asked more than once still has coming beyond its first.
  void oweRepeats(int count, int waitUnit);
  // The enquiry is sent: its answer is awaited after every entry before it.
  void oweEnquiryAnswer();
  // Program answers still owed (enquiries not counted).
  int owedAnswers();
  // Every entry forgotten (tests; a request that learnt none will come).
  void forgetOwedAnswers();
  // Program dumps from another channel refused so far: the synthesizer answers there,
  // so what was asked on the editor's channel before one came goes unanswered.
  std::atomic<int> otherChannelAnswers{0};
  // The job that armed the librarian's single-program request ends its wait for it
  // (editor's lock held): the answer it holds goes into its slot, unless cancelled;
  // with none, the answer to a request sent (asked) is owed. True when an answer was stored.
  bool settleLibrarianRequest(bool cancelled, bool asked, int waitUnit);

  // Clears the all-programs collector, empties and arms the single-program one,
  // clears dataProcessed and starts command 6 when the transfer thread is idle.
  bool sendSinglePatchRequestSysexFromLibrarian(bool skipProgramChange, int slot);

  // ---- incoming ------------------------------------------------------------
  void ProcessSysEx(ISysEx* msg, bool fromDevice);
  void sysexPartPatchParse(ISysEx* msg);
  void sysexSettingsParse(ISysEx* msg);
  void ProcessMidiMsgFromDevice(IMidiMsg* msg);
  void ProcessMidiMsgFromDAW(IMidiMsg* msg, int part);
  void getLegacyCCparam(int cc, int channelKey, int value, bool notifyQuickTab, bool hardwareOrigin);
  void processSysExToUI(IControl* control, int value, bool quickTab, bool commonMode, bool holdFromHardware);
  void getNormalControl(int key1, int key2, int key3, int key4, int value, bool holdFromHardware);
  static void decodeTapPatternCode(const unsigned char* code, char* out);

  // ---- sending -------------------------------------------------------------
  // The NRPN MSB of the parameters whose parameter changes the router translates
  // into NRPN (the arpeggiator's); the configuration registers them under it.
  static constexpr int kTranslatedNrpnMsb = 0;

  void sendSysexMessage(std::vector<int> body);

  // ---- the randomizer (Randomizer.cpp) ---------------------------------------
  // Fills the host's random bytes (297 entries of 0..255) from a generator seeded
  // with the time in seconds, or with the seed given.
  void randomGenerator();
  void randomGenerator(unsigned seed);
  // Entry index of the random bytes reduced into the range of the parameter.
  int randomizer(int paramIdx, int index);
  // Gives every unlocked parameter the program dump carries a drawn value (both
  // timbres; the argument is not used). Writes parameters and controls only.
  void randomizePatchSettings(int part);

private:
  friend class MIDIMessageSender;
  void adoptChannel(uint8_t channelByte);
  // "Global Channel Mismatch!" for an answer from another channel, and the log's why.
  // A program dump's (program) also says that nothing asked on the editor's channel
  // before it will be answered.
  void refuseOtherChannel(uint8_t channelByte, bool program = false);
  void applyParameterChange(const uint8_t* b);
  void handleProgramChange(int program, int part, bool fromHost);
  // The next program dump goes to the editor, not to a librarian collector.
  void awaitProgramForEditor();
  void giveControl(IControl* control, double plainValue);
  void lightIndicator(int channel);
  // The first key of the CC and NRPN lookups for a message on this channel: the
  // controls of timbre t are registered under t + 1 whatever its channel, so the
  // key is that of the timbre listening on the channel (the edited one when both
  // do), and 0, the key of the controls that belong to no timbre, when none does.
  int timbreKeyForChannel(int channel);
  // Called by a job record when its job has ended, under the thread's start lock:
  // true when the record was given a follow-up job to run at once.
  bool jobFinished(MIDIMessageSender* sender);
  static void joinThread(Poco::Thread& thread);
  static void writeRecord(MIDIMessageSender* s, const SenderJob& job);

  MIDIMessageSender* senders[kNumWorkerThreads];
  Poco::Thread threads[kNumWorkerThreads];
  // Taken after the editor's lock where a thread holds both (a job is started under
  // it), never before it: jobFinished runs without the editor's lock.
  std::mutex startLock[kNumWorkerThreads];
  std::atomic<bool> busy[kNumWorkerThreads] = {};
  bool activeRequestQueued = false;  // under startLock[kTransferThread]
  bool jobQueued = false;            // under startLock[kTransferThread]
  SenderJob queuedJob;
  // While true the clock loop goes on; set by resetContinuousClock. One per manager,
  // so that one plug-in instance never stops another one's clock.
  std::atomic<bool> clockRunning{false};
  std::atomic<bool> isClosing{false};
  std::atomic<int> liveRequest{kAwaitsNothing};  // ERequestAwaits
  HardwareHost::OutputMark requestMark;          // the output's mark as the live request opened
  std::atomic<bool> resendAsked{false};
  // Routes the message; ProcessSysEx adds the request's answer.
  void route(ISysEx* msg, bool fromDevice);
  // The message is of the kind the live request asked for.
  bool ofAwaitedKind(const ISysEx* msg) const;
  // Stores a librarian answer into its slot; a late one is said.
  bool takeLibrarianAnswer(LibrarianPatch& patch, int target, const std::string& bank, bool late);
  // A program dump on the editor's channel that an earlier request is owed: consumed.
  bool consumeOwedAnswer(const uint8_t* b, int n);
  // A global dump on the editor's channel while an enquiry is awaited: its answer.
  bool settleEnquiry();
  // Why the last librarian answer was not taken into its slot, for its job's lines
  // (written and read under the editor's lock).
  std::string refusal;
  std::mutex ledgerLock;  // guards ledger
  std::deque<OwedAnswer> ledger;
  // A librarian's feed into its selected slot, through a collector of its own: true
  // when taken.
  bool feedIntoSelectedSlot(const uint8_t* b, int n);
};
