#pragma once
// The sends of every thread of an instance (the host's render, the UI, the editor's
// workers, its clock) on their way to the port thread: whole messages in one
// preallocated ring, in the order their room was taken. A sender takes its room
// with one atomic step and writes at its leisure: no lock, no allocation, no system
// call, and no sender waits for another (one slow to write only keeps the consumer
// from reading past its message for that while). One consumer, the port thread.
//
// A message is its length word (4 bytes, its top bit set once the message is
// written) and its bytes, padded to 8 bytes, so that a length word never wraps.
// The consumer clears what it read, so a length word not yet written reads as 0.
// A message longer than the queue takes, or one that meets it full, is refused and
// counted.

#include <atomic>
#include <cstdint>

class MidiSendQueue
{
public:
  explicit MidiSendQueue(int capacity);
  ~MidiSendQueue();
  MidiSendQueue(const MidiSendQueue&) = delete;
  MidiSendQueue& operator=(const MidiSendQueue&) = delete;

  int Capacity() const { return mCapacity; }
  int MaxMessageSize() const { return mCapacity - kHeader - 7; }

  // Any thread. False when refused (too long, or no room now).
  bool Push(const unsigned char* bytes, int size);

  // The consumer: the next message's size (0: none written yet), its bytes into
  // dest (room for that size), or every written message dropped (how many).
  int NextSize() const;
  void Read(unsigned char* dest);
  int Clear();

  long long DroppedFull() const { return mDroppedFull.load(std::memory_order_relaxed); }
  long long DroppedTooLong() const { return mDroppedTooLong.load(std::memory_order_relaxed); }

private:
  static const int kHeader = 4;
  static const uint32_t kWritten = 0x80000000u;
  static uint64_t Room(int size) { return ((uint64_t)kHeader + (uint64_t)size + 7) & ~(uint64_t)7; }
  std::atomic<uint32_t>* Length(uint64_t at) const;
  void Copy(uint64_t at, const unsigned char* from, unsigned char* to, int size) const;

  unsigned char* mBuf;
  const int mCapacity;  // a multiple of 8
  alignas(64) std::atomic<uint64_t> mReserved{0};
  alignas(64) std::atomic<uint64_t> mRead{0};
  alignas(64) std::atomic<long long> mDroppedFull{0}, mDroppedTooLong{0};
};
