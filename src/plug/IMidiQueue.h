#pragma once
// The time-ordered buffer of outgoing short messages that the audio callback
// drains block by block. It has no lock: its owner runs Add, and the drain of
// one block up to and including Flush, under one lock of its own.

#include "plug/IMidiMsg.h"

class IMidiQueue
{
public:
  // Room for growBy messages at once; grows in whole steps of growBy when full
  // and nothing was consumed at the front. A step of 0 never grows.
  explicit IMidiQueue(int growBy = 1024);
  ~IMidiQueue();
  IMidiQueue(const IMidiQueue&) = delete;
  IMidiQueue& operator=(const IMidiQueue&) = delete;

  // Inserts a copy in offset order, behind messages of the same offset. A
  // message that finds no room is dropped.
  void Add(const IMidiMsg* pMsg);
  // Only while the queue is not empty.
  IMidiMsg* Peek() const { return mBuf + mFront; }
  void Remove() { ++mFront; }
  bool Empty() const { return mFront == mBack; }
  int ToDo() const { return mBack - mFront; }
  // Ends an audio block: compacts, then moves every message nFrames earlier.
  void Flush(int nFrames);
  void Clear() { mFront = mBack = 0; }

  int GetSize() const { return mSize; }
  int GetGrow() const { return mGrow; }

private:
  bool Grow();
  void Compact();

  IMidiMsg* mBuf = nullptr;
  int mSize = 0;
  int mGrow = 0;
  int mFront = 0;
  int mBack = 0;
};
