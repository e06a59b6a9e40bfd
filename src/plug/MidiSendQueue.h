#pragma once
// The sends of every thread of an instance (the host's render, the UI, the editor's
// workers, its clock): whole messages in one preallocated ring (SendRing,
// MessageRing.h), in the order their room was taken, with no lock, allocation or
// system call. Over JACK the ring lives in the memory the instance shares with the
// JACK bridge, whose process callback is its consumer; over ALSA the port thread is.

#include "plug/MessageRing.h"

class MidiSendQueue
{
public:
  // On the heap.
  explicit MidiSendQueue(int capacity);
  // Over memory its owner keeps (capacity a multiple of 8).
  MidiSendQueue(SendRingHead* head, unsigned char* bytes, int capacity);
  ~MidiSendQueue();
  MidiSendQueue(const MidiSendQueue&) = delete;
  MidiSendQueue& operator=(const MidiSendQueue&) = delete;

  int Capacity() const { return mRing.Capacity(); }
  int MaxMessageSize() const { return mRing.MaxMessageSize(); }

  // Any thread. False when refused (too long, or no room now).
  bool Push(const unsigned char* bytes, int size) { return mRing.Push(bytes, size); }

  // The consumer: the next message's size (0: none written yet), its bytes into
  // dest (room for that size), or every written message dropped (how many).
  int NextSize() const
  {
    const int size = mRing.NextSize();
    return size > 0 ? size : 0;
  }
  void Read(unsigned char* dest)
  {
    const int size = mRing.NextSize();
    if (size > 0) mRing.Read(dest, size);
  }
  int Clear() { return mRing.Clear(); }
  bool Empty() const { return mRing.Empty(); }
  // Messages the consumer took so far, in the order of sends.
  unsigned long long Taken() const { return mRing.Taken(); }

  long long DroppedFull() const { return mRing.DroppedFull(); }
  long long DroppedTooLong() const { return mRing.DroppedTooLong(); }

private:
  SendRingHead* mOwnHead = nullptr;
  unsigned char* mOwnBytes = nullptr;
  SendRing mRing;
};
