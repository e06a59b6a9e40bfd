#pragma once
// Puts system-exclusive messages that cross the port library in pieces back
// together. It is fed the byte runs the input thread receives and hands on whole
// messages: a run that is not part of a system-exclusive message as it stands, a
// system-exclusive message once its F7 has arrived, however many runs it took.
// Real-time bytes (F8 to FF) inside a system-exclusive message are not part of it:
// they are handed on alone, where they stand. A status byte other than F7 inside
// one ends it unfinished, and the unfinished part is dropped, as is a message
// that outgrows the limit. No operating system in here: tests feed plain bytes.
// Used by one thread at a time (the input thread, or its owner while input stops).

#include "base/heapbuf.h"

class SysExAssembler
{
public:
  // The largest dump of the synthesizer is 37,163 bytes; the limit leaves room.
  static const int kDefaultMaxSize = 1 << 20;

  explicit SysExAssembler(int maxSize = kDefaultMaxSize);

  // Feeds one run of bytes; calls sink(const unsigned char* bytes, int size) once
  // for every whole message it completes, in order. The bytes live for that call.
  template <class Sink> void Feed(const unsigned char* bytes, int size, Sink&& sink);

  // Drops a half-received message (the port closes, or the stream restarts).
  void Reset();

  bool InSysEx() const { return mState != kIdle; }
  // Messages dropped unfinished or too long, and the size of the last one.
  int DroppedCount() const { return mDropped; }
  int LastDroppedSize() const { return mLastDroppedSize; }

private:
  enum State { kIdle, kCollecting, kDiscarding };

  void Drop(int size);

  WDL_TypedBuf<unsigned char> mBuf;
  State mState = kIdle;
  int mMaxSize;
  int mDropped = 0;
  int mLastDroppedSize = 0;
  int mDiscardedSize = 0;
};

template <class Sink> void SysExAssembler::Feed(const unsigned char* bytes, int size, Sink&& sink)
{
  int i = 0;
  while (i < size)
  {
    if (mState == kIdle)
    {
      if (bytes[i] != 0xF0)
      {
        // Not system exclusive: the run is one message as the library framed it.
        sink(bytes + i, size - i);
        return;
      }
      mBuf.Resize(0, false);
      mBuf.Add(bytes[i]);
      mState = kCollecting;
      ++i;
      continue;
    }
    const unsigned char b = bytes[i++];
    if (b >= 0xF8)
    {
      sink(&b, 1);
      continue;
    }
    if (b >= 0x80 && b != 0xF7)
    {
      // Another message begins: what was collected never ends.
      Drop(mState == kCollecting ? mBuf.GetSize() : mDiscardedSize);
      --i;
      continue;
    }
    if (mState == kDiscarding)
    {
      ++mDiscardedSize;
      if (b == 0xF7) Drop(mDiscardedSize);
      continue;
    }
    if (mBuf.GetSize() >= mMaxSize || !mBuf.Add(b))
    {
      const int seen = mBuf.GetSize() + 1;
      mBuf.Resize(0);
      mState = kDiscarding;
      mDiscardedSize = seen;
      if (b == 0xF7) Drop(seen);
      continue;
    }
    if (b == 0xF7)
    {
      mState = kIdle;
      sink(mBuf.Get(), mBuf.GetSize());
      mBuf.Resize(0, false);
    }
  }
}
