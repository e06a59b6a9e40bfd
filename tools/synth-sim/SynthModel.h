#pragma once
// The synthesizer's side of every exchange, without any port: 128 program memories,
// the edit buffer, the global settings, and the answers a real unit gives to each
// request, write and parameter change; plus switchable faults. SimResponder puts it
// on a SynthSim's JACK ports; tests can also call it directly.

#include "SimRecorder.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// Faults of the answering side (all off by default).
struct SimFaults
{
  bool silent = false;     // answers nothing
  int lateMs = 0;          // answers this much later
  int answerChannel = -1;  // 0..15: answers with this channel byte instead of its own
  bool malformed = false;  // a dump answer carries a byte with bit 7 set
  bool truncated = false;  // a dump answer is cut short (still F0 ... F7)
  int flood = 0;           // unrelated messages sent before each answer
  int goneAfterPieces = -1;// the port goes away after this many pieces of a dump (JACK only)
  bool paced = false;      // dumps go out at the pace of the synthesizer's cable
  int silentProgram = -1;  // no answer to a program request while this program is selected
  bool silentGlobals = false;  // no answer to a global dump request
  // The answers to global dump requests are held until a program request arrives,
  // and go out just before its answer (a late answer to an earlier channel search).
  bool globalsAfterProgramRequest = false;
};

// One message the synthesizer sends, with its delay.
struct SimAnswer
{
  SimBytes bytes;
  int delayMs = 0;
  bool dump = false;  // a dump (paced, may be cut by the port fault)
};

class SynthModel
{
public:
  SynthModel();

  // The synthesizer's reaction to one message from the editor.
  std::vector<SimAnswer> Handle(const SimBytes& msg);

  // Front-panel actions: the message the synthesizer sends about them.
  SimBytes SelectProgram(int program);        // program change on the global channel
  SimBytes EditParameter(int pl, int ph, int vl, int vh);  // parameter change report

  // State (take the lock for compound reads).
  std::mutex lock;
  int globalChannel = 0;
  int currentProgram = 0;
  SimBytes editBuffer;                 // 297 bytes, channel byte as last sent
  std::vector<SimBytes> programs;      // 128 program memories
  SimBytes globals;                    // 235 bytes
  std::map<int, int> parameters;       // (ph << 7 | pl) -> 14-bit value, as last changed
  SimFaults faults;
  int requestsAnswered = 0, writes = 0, refusedWrites = 0, badMessages = 0;
  bool writeProtect() const { return (globals[11] & 1) != 0; }

  // A recognisable program: its name and every data byte follow from the seed.
  static SimBytes MakeProgram(int seed, uint8_t channelByte = 0x30);
  // A global dump with the given channel and write protect.
  static SimBytes MakeGlobals(int channel, bool writeProtect);

private:
  std::vector<SimAnswer> heldGlobals;  // globalsAfterProgramRequest
  SimBytes Reply(uint8_t function) const;
  SimAnswer DumpAnswer(const SimBytes& dump) const;
};

class SynthSim;

// Puts a model on a simulated synthesizer's ports: every message received is handed
// to the model, and its answers go out (late, paced or cut as the faults say) from a
// thread of the responder's own. Close the SynthSim before the responder goes: a
// message being received while it is destroyed would reach a dead object.
class SimResponder
{
public:
  SimResponder(SynthSim& sim, SynthModel& model);
  ~SimResponder();
  SimResponder(const SimResponder&) = delete;
  SimResponder& operator=(const SimResponder&) = delete;

  // Hands one received message to the model and queues its answers (the constructor
  // makes the SynthSim call it; a caller that installs its own receive hook calls it).
  void Take(const SimBytes& bytes);
  // Sends a message from the synthesizer now (front-panel actions).
  void SendNow(const SimBytes& bytes);
  int PortClosures() const { return mClosures.load(); }

private:
  void Run();
  SynthSim& mSim;
  SynthModel& mModel;
  std::mutex mLock;
  std::condition_variable mCv;
  std::vector<std::pair<long long, SimAnswer>> mQueue;  // due time (ms, steady clock)
  bool mStop = false;
  std::atomic<int> mClosures{0};
  std::thread mThread;
};
