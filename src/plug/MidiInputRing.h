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
// The producer wakes no one (no system call on the port library's thread): the
// consumer looks at the ring by itself.

#include "plug/MessageRing.h"

#include <atomic>
#include <cstdint>

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
  bool Push(const unsigned char* bytes, int size) { return mRing.Push(bytes, size); }

  // Consumer. The size of the next message (0: none waiting); Read copies it
  // into dest, which has room for that size, and removes it.
  int NextSize() const { return mRing.NextSize(); }
  void Read(unsigned char* dest) { mRing.Read(dest); }
  // Consumer: removes the next message unread.
  void Skip() { mRing.Skip(); }
  // Producer: whether a message of size would go in now.
  bool HasRoomFor(int size) const { return mRing.HasRoomFor(size); }
  // Messages waiting (either side; a moment's answer).
  bool Empty() const { return mRing.Empty(); }
  // Consumer: removes every waiting message; how many there were.
  int Clear() { return mRing.Clear(); }

  // Dropped by Push since construction: messages too long for the ring, messages
  // that found it full, and the bytes of both. Any thread.
  long long DroppedTooLong() const { return mRing.DroppedTooLong(); }
  long long DroppedFull() const { return mRing.DroppedFull(); }
  long long DroppedBytes() const { return mRing.DroppedBytes(); }

private:
  unsigned char* mBuf;
  const int mCapacity;
  MessageRingHead mHead;
  MessageRing mRing;
};
