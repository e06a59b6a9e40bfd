#include "plug/IMidiQueue.h"

#include <climits>
#include <cstdlib>
#include <cstring>

IMidiQueue::IMidiQueue(int growBy) : mGrow(growBy > 0 ? growBy : 0)
{
  // When this first allocation fails the queue starts without room and tries
  // again at the first Add.
  Grow();
}

IMidiQueue::~IMidiQueue()
{
  free(mBuf);
}

bool IMidiQueue::Grow()
{
  if (mGrow <= 0) return false;
  const long long newSize = ((long long)mSize / mGrow + 1) * mGrow;
  if (newSize > INT_MAX / (long long)sizeof(IMidiMsg)) return false;
  IMidiMsg* buf = (IMidiMsg*)realloc(mBuf, (size_t)newSize * sizeof(IMidiMsg));
  if (!buf) return false;
  mBuf = buf;
  mSize = (int)newSize;
  return true;
}

void IMidiQueue::Compact()
{
  if (mFront <= 0) return;
  mBack -= mFront;
  if (mBack > 0) memmove(mBuf, mBuf + mFront, (size_t)mBack * sizeof(IMidiMsg));
  mFront = 0;
}

void IMidiQueue::Add(const IMidiMsg* pMsg)
{
  if (!pMsg) return;
  // Copied first: the message may live in this queue (a Peek), and growing,
  // compacting or shifting would move it away under the pointer.
  const IMidiMsg msg = *pMsg;
  if (mBack >= mSize)
  {
    // Room made at the front comes before any allocation on the audio path.
    if (mFront > 0) Compact();
    else if (!Grow()) return;
  }

  const int offset = msg.mOffset;
  if (mBack > mFront && offset < mBuf[mBack - 1].mOffset)
  {
    int i = mBack - 2;
    while (i >= mFront && mBuf[i].mOffset > offset) --i;
    const int at = i + 1;
    memmove(mBuf + at + 1, mBuf + at, (size_t)(mBack - at) * sizeof(IMidiMsg));
    mBuf[at] = msg;
  }
  else
  {
    mBuf[mBack] = msg;
  }
  ++mBack;
}

void IMidiQueue::Flush(int nFrames)
{
  Compact();
  for (int i = 0; i < mBack; ++i) mBuf[i].mOffset -= nFrames;
}
