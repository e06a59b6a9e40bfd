#pragma once
// The job record of one worker thread and the jobs it runs: requests with their
// waits, program, global and bank sends, the init program, and the clock jobs.
// run() reads the command and arguments from its own record; a record is written
// only by MIDIMessageManager::startJob while its thread is idle.
//
// A transfer job changes editor state (parameters, controls, texts, the program
// store and name, the librarian's collectors): it runs under the editor's lock
// (HardwareHost::enterEditorLock) and gives the lock up for every wait. The clock
// jobs keep time: the clock loop takes it only to read its tempo, before its first
// tick.

#include <Poco/Runnable.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class HardwareHost;
class LibrarianPatch;
class MIDIMessageManager;
class PatchManager;

enum ESenderCommand
{
  kSendArrangementToDevice = 0,
  kSendGlobalToDevice = 1,
  kSendPatchToDeviceFromLibrarian = 2,
  kStoreAllPatchesToDeviceFromLibrarian = 3,
  kSendActiveArrangementRequest = 4,
  kSendPartRequest = 5,
  kSendSinglePatchRequest = 6,
  kSendAllPatchRequest = 7,
  kInitClassicPatch = 8,
  kSendDeviceIdEnquiry = 9,
  kSenderNoCommand = 10,
  kStartMIDIClockOutput = 11,
  kSendContinuousMIDIClock = 12,
  kStopMIDIClockOutput = 13,
  // The editor's program back to the hardware after a program step, when a section
  // is locked: the waits of that step run here instead of on the caller's thread.
  kSendPartDataBack = 14,
};

// The arguments of one job, as a starter hands them to MIDIMessageManager::startJob.
struct SenderJob
{
  int command = kSenderNoCommand;
  LibrarianPatch* patch = nullptr;  // command 2 when program is empty: its bytes are copied at the start
  std::vector<uint8_t> program;     // command 2: the slot's program dump, owned by the job
  // Command 3: the bank's slots, owned by the job (an empty entry is an empty slot);
  // when empty the job takes the bank from the librarian itself.
  std::vector<std::vector<uint8_t>> programs;
  int leadInMs = 0;                 // any transfer job: waited before anything else
  bool editOffFirst = false;        // command 2: edit mode off after the lead-in
  bool storeAfterSend = false;      // command 2: the write request follows (besides writeAfterSend)
  int storeBankSide = 0;            // command 3: 0 upper bank, else lower
  int slotNumber = 0;               // command 2: slot and program number of the write
  int partIndex = 0;                // command 0: the part whose stored bytes are refreshed
  bool requestTarget = false;       // commands 4, 5: true = answer to the editor
  bool skipProgramChange = false;   // command 6
  bool toLibrarian = false;         // command 0
  bool initArg = false;             // command 8
  int clockTempo = 120;             // command 12
  // The starter's own flags for this job (patchRequested, a collector, the send
  // gates), set by startJob under the thread's lock once the job is sure to run,
  // before it runs. A job dropped because another one runs never touches the
  // running job's flags. Sets flags only and takes no lock: it runs on the
  // starter's thread, or on the transfer thread for a job queued behind another.
  std::function<void()> atStart;

  explicit SenderJob(int cmd = kSenderNoCommand) : command(cmd) {}
};

// The 7-bit folded sum of a message's data bytes: whenever the sum reaches 128 or
// more, 128 is taken off. None of the synthesizer's messages carries one.
int calculateCheckSum(std::vector<unsigned char> data);

class MIDIMessageSender : public Poco::Runnable
{
public:
  MIDIMessageSender(MIDIMessageManager* manager, HardwareHost* plug, PatchManager* patchManager);
  ~MIDIMessageSender() override;

  void run() override;

  // ---- the record --------------------------------------------------------
  int command = kSenderNoCommand;
  LibrarianPatch* patch = nullptr;
  std::vector<uint8_t> program;
  std::vector<std::vector<uint8_t>> programs;
  int leadInMs = 0;
  bool editOffFirst = false;
  bool storeAfterSend = false;
  int storeBankSide = 0;
  int slotNumber = 0;
  int partIndex = 0;
  bool requestTarget = false;
  bool skipProgramChange = false;
  bool toLibrarian = false;
  bool initArg = false;
  std::atomic<bool> requestFailed{false};
  std::atomic<bool> cancelRequested{false};
  int clockTempo = 0;
  // The job's wait unit T in ms (the controller's timer value), read once as a
  // transfer job starts; every wait of the job is counted in it.
  int waitUnit = 0;
  PatchManager* patchManager;
  HardwareHost* plug;

  // False lets the clock loop run, true stops it (shared by every record).
  void resetContinuousClock(bool stop);

  // ---- jobs (transfer thread) ---------------------------------------------
  void sendArrangementToDevice(bool toLibrarian);
  void sendGlobalToDevice();
  void sendPatchToDeviceFromLibrarian(LibrarianPatch* patch, int part, int slot);
  // The same from the bytes copied into the record.
  void sendProgramToDeviceFromLibrarian(const std::vector<uint8_t>& program, int slot);
  void storeAllPatchesToDeviceFromLibrarian(int side, int second);
  void sendActiveArrangementRequestSysex(bool requestTarget);
  void sendPartRequestSysex(bool requestTarget);
  void sendSinglePatchRequestSysex(bool skipProgramChange);
  void sendAllPatchRequestSysex();
  void initClassicPatch(bool check);
  void sendDeviceIdEnquiry();
  void sendPartDataBack();

  // ---- clock jobs (clock control and MIDI clock threads) -----------------
  void startMIDIClockOutput();
  // The timing-clock loop: one F8 at once, then one on every tick of a timeline
  // fixed at its start; ends when the manager's clock is stopped. The argument is
  // not read: the tempo is the host's (cached by the audio callback) or the
  // arpeggiator's, taken once when the loop starts.
  void sendContinuousMIDIClock(int tempo);
  void stopMIDIClockOutput();
  // The tempo a loop started now would run at, in beats per minute (0: none).
  double clockTempoBpm() const;

  // Figures of the clock loop, for tests and benchmarks: the interval of the
  // running (or last) loop in ns, and the CPU and wall time of the last loop.
  std::atomic<int64_t> clockInterval{0};
  std::atomic<int64_t> lastClockCpuNs{0}, lastClockWallNs{0};
  std::atomic<int> lastClockTicks{0};

  // Packs 33 step values into an 11-byte pattern code (the inverse of
  // MIDIMessageManager::decodeTapPatternCode).
  static void GenTapPatternCode(char* out, const char* in);
  // One log line for a request that got no answer (function -1: a transfer).
  void logTimeOut(int function, int waits);
  // The editor's current program as command 0 sends it, before the name is written:
  // the parameters' bytes over the program the hardware sent last (the controller's
  // stored bytes), on the blank program with the editor's channel.
  static std::vector<uint8_t> buildEditorProgram(HardwareHost* plug);
  // The global dump as command 1 sends it: the editor's global parameters over the
  // global bytes the hardware sent last.
  static std::vector<uint8_t> buildEditorGlobal(HardwareHost* plug);

  // Multi settings and sustain values have no bytes of their own in this
  // synthesizer's dumps: each gives 0.
  int calculateMultiSettings1Values(int);
  int calculateMultiSettings2Values(int);
  int buildSustainValues(int);

private:
  // Sleeps ms of the scaled clock in short slices, without the editor's lock;
  // returns false at once when the manager is being torn down, so that no job holds
  // teardown for long.
  bool wait(int ms);
  // A program change, then the hardware's half wait unit to switch; false when the
  // wait was cut short by teardown.
  bool programChange(int program);
  // Take and give up the editor's lock for a transfer job. takeEditor throws
  // EditorClosed when the lock is busy and the manager closes: the job then ends
  // where it stands.
  struct EditorClosed
  {
  };
  void runCommand();
  void takeEditor();
  void releaseEditor();
  bool holdsEditor = false;
  bool closing() const;
  bool sendBody(const std::vector<uint8_t>& body);
  bool sendRequest(uint8_t function, uint8_t channelByte);
  // An exchange whose request the output refused (its port or server gone, its
  // queue full) gets no answer: true once that is so and the request unanswered;
  // the job is failed, and the display and the log say so.
  bool refusedEnds(int function);
  // Between the steps of an exchange still unanswered: its request once more when
  // an input port was chosen since (MIDIMessageManager::inputChosen).
  void resendAfterInputChoice();
  uint8_t exchangeFunction = 0, exchangeChannel = 0;  // the exchange's request as sendRequest sent it
  // The answer wait of the request jobs; returns 0 answered, 1 timed out, 2
  // cancelled, 3 refused by the output.
  int answerWait(int T, int searchAt, int searchPause, int giveUp, bool cancelEachStep, bool failOnSearchCancel,
                 uint8_t function, bool showSearchText, const char* timeoutText);
  bool channelSearch(int pause, uint8_t function, bool showSearchText, bool failOnCancel);
  // The program request (function 10), sent once no answer to an earlier one is owed:
  // 0 sent; else not sent, the job failed: 1 timed out, 2 cancelled or refused.
  int askForProgram(bool forEditor);
  // With program answers owed, the global data enquiry first, and its wait: 0 when
  // nothing is owed any more, else as askForProgram.
  int askPastOwedAnswers();
  // A program dump from another channel came after the job's last request on its own:
  // the synthesizer answers there, and owes nothing on the editor's channel.
  bool ownChannelUnanswerable() const;
  int otherChannelMark = 0;
  // The job stops waiting for its program request: the librarian's answer goes into
  // its slot unless cancelled (true when stored); one not come is owed.
  bool endLibrarianRequest();
  void endEditorRequest();
  void endRequests();
  // The last lines of a librarian request: cancelled, completed, or what a time-out said.
  void finishLibrarianRequest();
  void showLines(const char* first, const char* second);
  bool editorAsked = false, librarianAsked = false;
  // Program requests of the exchange sent on the editor's channel: each one is answered.
  int ownChannelAsks = 0;

  MIDIMessageManager* manager;
};
