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

void MidiInputRing::CopyIn(uint64_t at, const unsigned char* bytes, int size)
{
  const int i = (int)(at % (uint64_t)mCapacity);
  const int first = size < mCapacity - i ? size : mCapacity - i;
  memcpy(mBuf + i, bytes, (size_t)first);
  if (first < size) memcpy(mBuf, bytes + first, (size_t)(size - first));
}

void MidiInputRing::CopyOut(uint64_t at, unsigned char* dest, int size) const
{
  const int i = (int)(at % (uint64_t)mCapacity);
  const int first = size < mCapacity - i ? size : mCapacity - i;
  memcpy(dest, mBuf + i, (size_t)first);
  if (first < size) memcpy(dest + first, mBuf, (size_t)(size - first));
}

void MidiInputRing::Drop(std::atomic<long long>& counter, int size)
{
  counter.fetch_add(1, std::memory_order_relaxed);
  mDroppedBytes.fetch_add(size, std::memory_order_relaxed);
}

bool MidiInputRing::Push(const unsigned char* bytes, int size)
{
  const bool kept = PushOnly(bytes, size);
  // A drop wakes the consumer too: it says so in the log.
  semaphore_signal(mReady);
  return kept;
}

bool MidiInputRing::PushOnly(const unsigned char* bytes, int size)
{
  if (size <= 0) return true;
  if (size > MaxMessageSize())
  {
    Drop(mDroppedTooLong, size);
    return false;
  }
  const uint64_t write = mWrite.load(std::memory_order_relaxed);
  // Acquire: the consumer's copying out of what it freed is over.
  const uint64_t read = mRead.load(std::memory_order_acquire);
  if ((uint64_t)mCapacity - (write - read) < (uint64_t)(kHeaderSize + size))
  {
    Drop(mDroppedFull, size);
    return false;
  }
  const uint32_t length = (uint32_t)size;
  unsigned char header[kHeaderSize];
  memcpy(header, &length, kHeaderSize);
  CopyIn(write, header, kHeaderSize);
  CopyIn(write + kHeaderSize, bytes, size);
  // Release: the consumer sees the bytes before the new position.
  mWrite.store(write + kHeaderSize + size, std::memory_order_release);
  return true;
}

int MidiInputRing::NextSize() const
{
  const uint64_t read = mRead.load(std::memory_order_relaxed);
  if (mWrite.load(std::memory_order_acquire) == read) return 0;
  unsigned char header[kHeaderSize];
  CopyOut(read, header, kHeaderSize);
  uint32_t length;
  memcpy(&length, header, kHeaderSize);
  return (int)length;
}

void MidiInputRing::Read(unsigned char* dest)
{
  const int size = NextSize();
  if (size <= 0) return;
  const uint64_t read = mRead.load(std::memory_order_relaxed);
  CopyOut(read + kHeaderSize, dest, size);
  // Release: the producer may reuse the room once the bytes are out.
  mRead.store(read + kHeaderSize + size, std::memory_order_release);
}

void MidiInputRing::Skip()
{
  const int size = NextSize();
  if (size <= 0) return;
  mRead.store(mRead.load(std::memory_order_relaxed) + kHeaderSize + size, std::memory_order_release);
}

bool MidiInputRing::HasRoomFor(int size) const
{
  const uint64_t used = mWrite.load(std::memory_order_relaxed) - mRead.load(std::memory_order_acquire);
  return size <= MaxMessageSize() && (uint64_t)mCapacity - used >= (uint64_t)(kHeaderSize + size);
}

int MidiInputRing::Clear()
{
  int n = 0;
  uint64_t read = mRead.load(std::memory_order_relaxed);
  const uint64_t write = mWrite.load(std::memory_order_acquire);
  while (read != write)
  {
    unsigned char header[kHeaderSize];
    CopyOut(read, header, kHeaderSize);
    uint32_t length;
    memcpy(&length, header, kHeaderSize);
    read += kHeaderSize + length;
    ++n;
  }
  mRead.store(read, std::memory_order_release);
  return n;
}
