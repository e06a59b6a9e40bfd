#pragma once
// The receiving half of the simulated synthesizer. JACK's process thread hands
// every MIDI event it reads to a lock-free ring; a recorder thread of our own
// takes them out, puts system-exclusive pieces back together and keeps whole
// messages for the tests and the printer. Nothing here calls JACK, so tests feed
// it from a thread of their own.

#include "plug/MidiInputFramer.h"

#include <semaphore.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

typedef std::vector<unsigned char> SimBytes;

struct SimMessage
{
  double seconds; // since Open, on the wall clock (SynthSim::ReadIncoming)
  SimBytes bytes;
  // JACK's own frame count at the event (the period's first frame and the event's
  // offset in it): where the sender wrote it, whenever the period ran; and the time
  // JACK gives that frame in its period (jack_frames_to_time), in microseconds since
  // Open.
  uint32_t jackFrame = 0;
  uint32_t jackMicros = 0;
};

// Events from one writer thread to one reader thread. An event (its bytes, the
// frame it arrived at) is copied in whole before the writer publishes the new
// write position with a release store, and the reader's acquire load sees
// either all of it or none: a reader can never take a length whose bytes are
// not there yet. The writer neither waits nor allocates.
class SimEventRing
{
public:
  // The capacity is rounded up to a power of two.
  explicit SimEventRing(size_t capacityBytes);
  SimEventRing(const SimEventRing&) = delete;
  SimEventRing& operator=(const SimEventRing&) = delete;

  // Writer thread. False, with nothing written, when the event is larger than
  // MaxEventBytes or does not fit now; the next event that is written then
  // carries the mark that something was lost before it.
  bool Push(const unsigned char* bytes, size_t size, uint32_t frame, uint32_t jackFrame = 0, uint32_t jackMicros = 0);

  // Reader thread. Takes the oldest event; false when there is none.
  // *afterLoss tells that events were lost just before this one.
  bool Pop(SimBytes* bytes, uint32_t* frame, bool* afterLoss, uint32_t* jackFrame = nullptr,
           uint32_t* jackMicros = nullptr);

  size_t Capacity() const { return mCapacity; }
  size_t MaxEventBytes() const { return mCapacity - sizeof(Header); }
  // Only while neither thread uses the ring.
  void Reset();

private:
  struct Header
  {
    uint32_t sizeAndLoss;  // the top bit: events were lost before this one
    uint32_t frame;
    uint32_t jackFrame;
    uint32_t jackMicros;
  };
  static const uint32_t kLossBit = 0x80000000u;

  void CopyIn(size_t at, const void* from, size_t size);
  void CopyOut(size_t at, void* to, size_t size) const;

  size_t mCapacity;
  std::unique_ptr<unsigned char[]> mBuf;
  // Positions count bytes for ever; their difference is what is queued.
  std::atomic<size_t> mWrite{0};
  std::atomic<size_t> mRead{0};
  bool mLost = false;       // the writer's own
  bool mReaderLost = false; // the reader's own
};

class SimRecorder
{
public:
  static const size_t kDefaultRingBytes = 4 << 20;

  // beforeStore, if given, sees every message on the recorder thread before it is kept.
  explicit SimRecorder(std::function<void(const SimMessage&)> beforeStore = nullptr,
                       size_t ringBytes = kDefaultRingBytes);
  ~SimRecorder();
  SimRecorder(const SimRecorder&) = delete;
  SimRecorder& operator=(const SimRecorder&) = delete;

  // Starts the recorder thread; times count from openFrame at rate frames a second.
  void Start(uint32_t openFrame, double rate);
  // Records every event pushed before the call, then ends the thread. The writer
  // must have stopped pushing.
  void Stop();

  // The writer thread (JACK's process thread): one event as it arrived. Never
  // waits. False when the ring is full or the event too large; the event is then
  // lost and counted, and the message it may belong to is dropped whole rather
  // than kept short or kept in parts.
  bool Push(const unsigned char* bytes, size_t size, uint32_t frame, uint32_t jackFrame = 0, uint32_t jackMicros = 0);

  // Any thread.
  std::vector<SimMessage> Received() const;
  size_t ReceivedCount() const;
  long long BytesReceived() const;
  bool WaitForReceived(size_t count, int timeoutMs) const;
  void ClearReceived();
  int Overflows() const { return mOverflows.load(); }
  // Called on the recorder thread for every message, after it is kept.
  void SetOnReceive(std::function<void(const SimMessage&)> f);

private:
  void Loop();
  void Drain(SimBytes* event);
  void Record(const unsigned char* bytes, int size, uint32_t frame, uint32_t jackFrame, uint32_t jackMicros);

  SimEventRing mRing;
  sem_t mWake;
  std::thread mThread;
  std::atomic<bool> mStop{false};
  std::atomic<int> mOverflows{0};
  uint32_t mOpenFrame = 0;
  double mRate = 48000.0;
  MidiInputFramer mAssembler; // the recorder thread's own, as is:
  bool mResync = false;      // skipping the rest of a message that lost a piece
  std::function<void(const SimMessage&)> mBeforeStore;

  mutable std::mutex mLock;
  mutable std::condition_variable mCv;
  std::vector<SimMessage> mReceived;
  long long mBytesReceived = 0;
  std::function<void(const SimMessage&)> mOnReceive;
};
