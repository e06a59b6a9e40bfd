#pragma once
// The simulated synthesizer, first form: a JACK client with one MIDI output (the
// editor's input device) and one MIDI input (the editor's output device) under a
// synthesizer-like name. It records every message it receives with a time stamp
// and sends scripted short and system-exclusive messages; large ones go out in
// paced pieces the way the hardware sends them. Tests drive it in-process; the
// synth-sim program drives it from a script.

#include "SimRecorder.h"

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// How a message is cut and spaced. A piece never exceeds 8 KB and the pieces of
// one message go out at least one JACK period apart: more in one period overflows
// JACK's MIDI buffer.
struct SimPacing
{
  int pieceBytes = 0;          // 0: whole when it fits in one piece, else 8 KB pieces
  double bytesPerSecond = 0.0; // 0: one piece a period

  static const int kMaxPieceBytes = 8192;
  // The synthesizer's own cable: 31,250 baud, ten bits a byte, small packets.
  static SimPacing Hardware() { return SimPacing{256, 3125.0}; }
  static SimPacing Pieces(int bytes, double perSecond = 0.0) { return SimPacing{bytes, perSecond}; }
};

// A made-up dump as the synthesizer frames it: F0 42 30 58, a counting body of
// seven-bit bytes (the seed shifts it), F7. Sizes of 5 and more.
SimBytes MakeSimDump(int size, int seed = 3);

class SynthSim
{
public:
  // The client takes JackClientName(clientName): with DAVREL_JACK_SERVER set,
  // "Rudu@NAME"; the port names below follow.
  explicit SynthSim(const std::string& clientName = "Rudu");
  ~SynthSim();
  SynthSim(const SynthSim&) = delete;
  SynthSim& operator=(const SynthSim&) = delete;

  // Opens the client on the current JACK server (JACK_DEFAULT_SERVER) and its ports.
  bool Open(std::string* error = nullptr);
  void Close();
  bool IsOpen() const { return mOpen.load(); }

  // Full JACK names: the editor's input device is our output, and the reverse.
  std::string OutputPortName() const { return mClientName + ":MIDI Out"; }
  std::string InputPortName() const { return mClientName + ":MIDI In"; }
  bool Connect(const std::string& source, const std::string& destination);
  // Ports of the server whose full names match the regular expression.
  std::vector<std::string> FindPorts(const std::string& pattern) const;
  // Whether a client of that name is on the server, with ports or without.
  bool HasClient(const std::string& name) const;
  // Waits until our output and input ports have these many connections.
  bool WaitForConnections(int outputs, int inputs, int timeoutMs) const;

  // Queues a message; messages go out in the order sent. False for an empty
  // message, a piece size above 8 KB, or a closed client.
  bool Send(const SimBytes& message, SimPacing pacing = SimPacing());
  // Waits until every queued piece is in a JACK buffer.
  bool WaitUntilSent(int timeoutMs) const;
  long long BytesSent() const { return mBytesSent.load(); }

  std::vector<SimMessage> Received() const { return mRecorder.Received(); }
  size_t ReceivedCount() const { return mRecorder.ReceivedCount(); }
  long long BytesReceived() const { return mRecorder.BytesReceived(); }
  bool WaitForReceived(size_t count, int timeoutMs) const { return mRecorder.WaitForReceived(count, timeoutMs); }
  void ClearReceived()
  {
    mRecorder.ClearReceived();
    mLongestCycleGapUs.store(0);
  }
  // The longest time between two of our process cycles since the last clear: a
  // stall of the server or of this process, which delays whatever it receives.
  double LongestCycleGap() const { return mLongestCycleGapUs.load() / 1e6; }
  // The xruns the server reported since Open: an asynchronous server loses what a
  // client late in its period had not read yet.
  int Xruns() const { return mXruns.load(); }
  // Events lost because the receive ring was full (the recorder fell behind).
  int Overflows() const { return mRecorder.Overflows(); }

  // Sends every received message straight back (for round trips).
  void SetEcho(bool on) { mEcho.store(on); }
  // Called on the recorder thread for every message received.
  void SetOnReceive(std::function<void(const SimMessage&)> f) { mRecorder.SetOnReceive(std::move(f)); }

  // A fault for tests: the next period that brings events stalls the process
  // thread for this long after taking the first of them, as a page fault or a
  // preemption would. Stalling() is true meanwhile.
  void StallNextRead(std::chrono::microseconds stall) { mStallUs.store((int)stall.count()); }
  bool Stalling() const { return mStalling.load(); }

  double SampleRate() const { return mRate; }
  unsigned PeriodFrames() const { return mPeriod; }

private:
  struct Piece
  {
    SimBytes bytes;
    jack_nframes_t gapAfter; // frames before the next piece may go
  };

  static int ProcessThunk(jack_nframes_t frames, void* self);
  int Process(jack_nframes_t frames);
  void ReadIncoming(jack_nframes_t frames);
  void WriteOutgoing(jack_nframes_t frames);

  // Open, Close and the port look-ups, from any thread.
  mutable std::recursive_mutex mClientLock;
  std::string mClientName;
  // Atomic: a client whose server went is let go without a closing, so nothing
  // orders its process thread's last cycle before the pointers are cleared.
  std::atomic<jack_client_t*> mClient{nullptr};
  // Set by mClient's shutdown callback: its server went, and JACK's library frees
  // such a client itself at the process's next opening, so it is never closed.
  std::atomic<bool> mGone{false};
  unsigned mGeneration = 0;  // JackTestServer::Generation() at the opening
  std::atomic<bool> mOpen{false};
  std::atomic<jack_port_t*> mOut{nullptr};
  std::atomic<jack_port_t*> mIn{nullptr};
  double mRate = 48000.0;
  unsigned mPeriod = 256;
  jack_nframes_t mOpenFrame = 0;
  jack_time_t mOpenUsecs = 0;
  jack_time_t mLastCycleUs = 0;  // the process thread's own
  std::atomic<long long> mLongestCycleGapUs{0};
  std::atomic<int> mXruns{0};

  // Outgoing pieces; the process thread takes them only when the lock is free.
  mutable std::mutex mOutLock;
  std::deque<Piece> mOutQueue;
  jack_nframes_t mNextAllowed = 0;
  bool mHaveNextAllowed = false;
  std::atomic<long long> mBytesSent{0};

  std::atomic<bool> mEcho{false};
  std::atomic<int> mStallUs{0};
  std::atomic<bool> mStalling{false};
  // Incoming events go from the process thread through its ring to the recorder.
  SimRecorder mRecorder;
};

// A JACK client whose process callback spins for half of each period, as a host's
// audio does when the host is a JACK client itself; none when not wanted.
class BusyJackClient
{
public:
  explicit BusyJackClient(bool wanted);
  ~BusyJackClient();
  BusyJackClient(const BusyJackClient&) = delete;
  BusyJackClient& operator=(const BusyJackClient&) = delete;

private:
  static int Process(jack_nframes_t, void* self);
  jack_client_t* mClient = nullptr;
  long long mHalfNs = 0;
};
