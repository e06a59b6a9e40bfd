#pragma once
// Hands whole MIDI messages from the port library's thread to the plug-in's own
// input thread without a lock or an allocation on the producing side: one
// preallocated ring of bytes, each message stored as its length (4 bytes) and its
// bytes, wrapping round the end. One producer (the port callback) and one consumer
// at a time (the input thread, or a closing that drains it while it holds the
// consumer's own lock); the producer never waits.
//
// A message longer than the ring can hold, or one that meets a full ring, is
// dropped whole and counted; the consumer reads the counts and says so in the log.
// Messages that went in come out whole, in order.
//
// Every Push (kept or dropped) signals a semaphore, which never blocks the
// producer; a consumer with nothing to read waits on it in Wait.

#include <atomic>
#include <cstdint>

struct mach_semaphore;

class MidiInputRing
{
public:
  // The synthesizer's largest dump is 37,392 bytes, and an all-programs transfer
  // may bring 128 dumps of 297 bytes back to back: the default holds several of
  // either while the input thread waits for the plug-in's mutex.
  static const int kDefaultCapacity = 256 * 1024;
  static const int kHeaderSize = 4;

  explicit MidiInputRing(int capacity = kDefaultCapacity);
  ~MidiInputRing();
  MidiInputRing(const MidiInputRing&) = delete;
  MidiInputRing& operator=(const MidiInputRing&) = delete;

  int Capacity() const { return mCapacity; }
  // The longest message that can ever go in.
  int MaxMessageSize() const { return mCapacity - kHeaderSize; }

  // Producer. False when the message was dropped (too long, or no room now).
  bool Push(const unsigned char* bytes, int size);
  // The same without waking a consumer (no system call): one that polls.
  bool PushQuiet(const unsigned char* bytes, int size) { return PushOnly(bytes, size); }

  // Consumer: waits until a Push or a Wake since the last return (at once when one
  // came before). Wake: any thread, to end a consumer's wait.
  void Wait();
  void Wake();

  // Consumer. The size of the next message (0: none waiting); Read copies it
  // into dest, which has room for that size, and removes it.
  int NextSize() const;
  void Read(unsigned char* dest);
  // Consumer: removes the next message unread.
  void Skip();
  // Producer: whether a message of size would go in now.
  bool HasRoomFor(int size) const;
  // Messages waiting (either side; a moment's answer).
  bool Empty() const { return mWrite.load(std::memory_order_acquire) == mRead.load(std::memory_order_acquire); }
  // Consumer: removes every waiting message; how many there were.
  int Clear();

  // Dropped by Push since construction: messages too long for the ring, messages
  // that found it full, and the bytes of both. Any thread.
  long long DroppedTooLong() const { return mDroppedTooLong.load(std::memory_order_relaxed); }
  long long DroppedFull() const { return mDroppedFull.load(std::memory_order_relaxed); }
  long long DroppedBytes() const { return mDroppedBytes.load(std::memory_order_relaxed); }

private:
  bool PushOnly(const unsigned char* bytes, int size);
  void CopyIn(uint64_t at, const unsigned char* bytes, int size);
  void CopyOut(uint64_t at, unsigned char* dest, int size) const;
  void Drop(std::atomic<long long>& counter, int size);

  mach_semaphore* mReady = nullptr;
  unsigned char* mBuf;
  const int mCapacity;
  // Positions count bytes for ever (64 bits do not wrap); the ring index is the
  // position modulo the capacity. The producer writes mWrite only, the consumer mRead.
  alignas(64) std::atomic<uint64_t> mWrite{0};
  alignas(64) std::atomic<uint64_t> mRead{0};
  alignas(64) std::atomic<long long> mDroppedTooLong{0}, mDroppedFull{0}, mDroppedBytes{0};
};
