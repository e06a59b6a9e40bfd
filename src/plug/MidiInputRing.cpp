#include "plug/MidiInputRing.h"

#include <cstdlib>
#include <new>

MidiInputRing::MidiInputRing(int capacity)
  : mBuf(nullptr), mCapacity(capacity > kHeaderSize + 1 ? capacity : kHeaderSize + 1)
{
  mBuf = static_cast<unsigned char*>(malloc((size_t)mCapacity));
  if (!mBuf) throw std::bad_alloc();
  mRing = MessageRing(&mHead, mBuf, mCapacity);
}

MidiInputRing::~MidiInputRing()
{
  free(mBuf);
}
