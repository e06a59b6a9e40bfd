#include "plug/MidiInputRing.h"

#include "platform/mach/mach.h"

#include <cstdlib>
#include <cstring>
#include <new>

MidiInputRing::MidiInputRing(int capacity)
  : mBuf(nullptr), mCapacity(capacity > kHeaderSize + 1 ? capacity : kHeaderSize + 1)
{
  mBuf = static_cast<unsigned char*>(malloc((size_t)mCapacity));
  if (!mBuf) throw std::bad_alloc();
  mRing = MessageRing(&mHead, mBuf, mCapacity);
  if (semaphore_create(mach_task_self(), &mReady, SYNC_POLICY_FIFO, 0) != KERN_SUCCESS)
  {
    free(mBuf);
    throw std::bad_alloc();
  }
}

MidiInputRing::~MidiInputRing()
{
  semaphore_destroy(mach_task_self(), mReady);
  free(mBuf);
}

void MidiInputRing::Wait()
{
  semaphore_wait(mReady);
}

void MidiInputRing::Wake()
{
  semaphore_signal(mReady);
}

bool MidiInputRing::Push(const unsigned char* bytes, int size)
{
  const bool kept = mRing.Push(bytes, size);
  // A drop wakes the consumer too: it says so in the log.
  semaphore_signal(mReady);
  return kept;
}
