#pragma once
// Cuts the bytes from a MIDI input into whole messages by the MIDI byte grammar,
// whatever runs the port library hands them over in: a run may hold several
// messages glued together, part of one, or data bytes that belong to nothing.
//
// - A status byte begins a message. A short message is handed on once its status
//   and the data bytes that status needs are there. Running status (data bytes
//   after a complete channel message repeat its status) is honoured where the
//   stream may use it, as a raw MIDI byte stream does; a source that never uses
//   it turns it off, and such data bytes are then stray.
// - System exclusive runs from F0 to F7 across any number of runs. Any other
//   status byte inside it ends it unfinished: it is dropped.
// - Real-time bytes (F8 to FF) are handed on alone where they stand and change
//   nothing around them, inside system exclusive and short messages alike.
// - Data bytes with no status before them, and an F7 with no F0, are dropped and
//   counted, one stretch at a time.
// - A channel message that cut a system-exclusive message does not lend its
//   status to the data bytes after it: those are most likely the rest of the cut
//   message, and reading them as running status would make up messages.
// End drops whatever is in progress (the port closes): nothing fed before it is
// ever joined with anything fed after it.
// No operating system in here: tests feed plain bytes. Used by one thread at a
// time (the input thread, or its owner while input is stopped).

#include "base/heapbuf.h"

#include <cstdint>
#include <cstring>

class MidiInputFramer
{
public:
  // The largest dump of the synthesizer is 37,392 bytes; the limit leaves room.
  static const int kDefaultMaxSysExSize = 1 << 20;

  enum DropKind
  {
    kUnfinishedSysEx,   // F0 without its F7: another status, or End, came first
    kTooLongSysEx,      // longer than the limit; dropped whole once it ended
    kUnfinishedMessage, // a short message missing data bytes
    kStrayBytes,        // data bytes (or an F7) that belong to no message
  };

  explicit MidiInputFramer(bool runningStatus = true, int maxSysExSize = kDefaultMaxSysExSize);

  // Feeds one run. onMessage(const unsigned char* bytes, int size) is called for
  // every whole message, in order; the bytes live for that call.
  // onDrop(DropKind, int size) is called once for every message or stretch of
  // stray bytes dropped, with its size in bytes (real-time bytes not counted).
  template <class OnMessage, class OnDrop>
  void Feed(const unsigned char* bytes, int size, OnMessage&& onMessage, OnDrop&& onDrop);
  template <class OnMessage> void Feed(const unsigned char* bytes, int size, OnMessage&& onMessage)
  {
    Feed(bytes, size, onMessage, [](DropKind, int) {});
  }

  // Takes the room for the longest message now, so that Feed never allocates
  // (the port callback's thread must not).
  void Reserve() { mSysEx.Prealloc(mMaxSysExSize); }

  // Ends the stream: what is in progress is dropped (and reported), running
  // status forgotten.
  template <class OnDrop> void End(OnDrop&& onDrop);
  void Reset()
  {
    End([](DropKind, int) {});
  }

  // Inside a message that is not complete yet.
  bool InMessage() const { return mState == kShort || mState == kSysEx || mState == kSysExTooLong; }
  bool InSysEx() const { return mState == kSysEx || mState == kSysExTooLong; }
  // Messages and stray stretches dropped, and their bytes, since construction.
  int DroppedCount() const { return mDropped; }
  long long DroppedBytes() const { return mDroppedBytes; }

private:
  enum State { kIdle, kShort, kSysEx, kSysExTooLong, kStray };

  // Data bytes a status needs after it.
  static int DataBytesOf(unsigned char status);
  // Ends what is in progress before a status byte (or the stream's end).
  template <class OnDrop> void EndCurrent(OnDrop& onDrop);
  template <class OnDrop> void Drop(OnDrop& onDrop, DropKind kind, int size);

  WDL_TypedBuf<unsigned char> mSysEx;
  int mMaxSysExSize;
  bool mRunningStatus;
  State mState = kIdle;
  int mSize = 0;                  // bytes of the message or stray stretch in progress
  unsigned char mShort[3] = {};   // the short message in progress
  int mNeed = 0;                  // its whole length
  unsigned char mRunning = 0;     // running status; 0: none
  bool mNoRunningAfter = false;   // the short message in progress cut a system-exclusive one
  int mDropped = 0;
  long long mDroppedBytes = 0;
};

template <class OnDrop> void MidiInputFramer::Drop(OnDrop& onDrop, DropKind kind, int size)
{
  ++mDropped;
  mDroppedBytes += size;
  onDrop(kind, size);
}

template <class OnDrop> void MidiInputFramer::EndCurrent(OnDrop& onDrop)
{
  switch (mState)
  {
  case kShort: Drop(onDrop, kUnfinishedMessage, mSize); break;
  case kSysEx: Drop(onDrop, kUnfinishedSysEx, mSize); break;
  case kSysExTooLong: Drop(onDrop, kTooLongSysEx, mSize); break;
  case kStray: Drop(onDrop, kStrayBytes, mSize); break;
  case kIdle: break;
  }
  mState = kIdle;
  mSize = 0;
  mSysEx.Resize(0, false);
}

template <class OnDrop> void MidiInputFramer::End(OnDrop&& onDrop)
{
  EndCurrent(onDrop);
  mRunning = 0;
  mNoRunningAfter = false;
}

template <class OnMessage, class OnDrop>
void MidiInputFramer::Feed(const unsigned char* bytes, int size, OnMessage&& onMessage, OnDrop&& onDrop)
{
  for (int i = 0; i < size; ++i)
  {
    const unsigned char b = bytes[i];
    // A dump's body in one copy rather than a byte at a time; the byte-at-a-time
    // steps below do the same and still take what this declines (the limit).
    if (mState == kSysEx && b < 0x80)
    {
      const int room = mMaxSysExSize - mSize;
      const int last = room < size - i ? i + room : size;
      int end = i + 1;
      // Eight bytes at a time while none has bit 7 set.
      for (uint64_t w; end + 8 <= last; end += 8)
      {
        memcpy(&w, bytes + end, 8);
        if (w & 0x8080808080808080ull) break;
      }
      while (end < last && bytes[end] < 0x80) ++end;
      const int run = end - i;
      if (run <= room && mSysEx.Add(bytes + i, run))
      {
        mSize += run;
        i = end - 1;
        continue;
      }
    }
    if (b >= 0xF8)
    {
      onMessage(&b, 1);
      continue;
    }
    if (b == 0xF7)
    {
      if (mState == kSysEx)
      {
        if (mSize < mMaxSysExSize && mSysEx.Add(b))
          onMessage(mSysEx.Get(), mSysEx.GetSize());
        else
          Drop(onDrop, kTooLongSysEx, mSize + 1);
        mState = kIdle;
        mSize = 0;
        mSysEx.Resize(0, false);
        continue;
      }
      if (mState == kSysExTooLong)
      {
        Drop(onDrop, kTooLongSysEx, mSize + 1);
        mState = kIdle;
        mSize = 0;
        continue;
      }
      // An end with no start: a system byte, so it ends a short message and
      // running status, and belongs to the stray stretch around it.
      if (mState == kShort) EndCurrent(onDrop);
      mRunning = 0;
      if (mState != kStray) mSize = 0;
      mState = kStray;
      ++mSize;
      continue;
    }
    if (b >= 0x80)
    {
      const bool cutSysEx = mState == kSysEx || mState == kSysExTooLong;
      EndCurrent(onDrop);
      if (b == 0xF0)
      {
        mRunning = 0;
        mState = mSysEx.Add(b) ? kSysEx : kSysExTooLong;
        mSize = 1;
        continue;
      }
      // System common messages end running status; channel messages set it.
      mRunning = b < 0xF0 && mRunningStatus ? b : 0;
      mNoRunningAfter = cutSysEx;
      mShort[0] = b;
      mNeed = 1 + DataBytesOf(b);
      mSize = 1;
      mState = kShort;
    }
    else
    {
      switch (mState)
      {
      case kSysEx:
        if (mSize >= mMaxSysExSize || !mSysEx.Add(b))
        {
          mSysEx.Resize(0, false);
          mState = kSysExTooLong;
        }
        ++mSize;
        continue;
      case kSysExTooLong:
      case kStray: ++mSize; continue;
      case kShort: mShort[mSize++] = b; break;
      case kIdle:
        if (!mRunning)
        {
          mState = kStray;
          mSize = 1;
          continue;
        }
        mShort[0] = mRunning;
        mShort[1] = b;
        mNeed = 1 + DataBytesOf(mRunning);
        mSize = 2;
        mState = kShort;
        break;
      }
    }
    if (mSize >= mNeed)
    {
      mState = kIdle;
      mSize = 0;
      if (mNoRunningAfter) mRunning = 0;
      mNoRunningAfter = false;
      onMessage(mShort, mNeed);
    }
  }
}
