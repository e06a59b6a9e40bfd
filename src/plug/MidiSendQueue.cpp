#include "plug/MidiSendQueue.h"

#include <cstdlib>
#include <cstring>
#include <new>

MidiSendQueue::MidiSendQueue(int capacity) : mBuf(nullptr), mCapacity(capacity < 64 ? 64 : capacity & ~7)
{
  mBuf = static_cast<unsigned char*>(calloc((size_t)mCapacity, 1));
  if (!mBuf) throw std::bad_alloc();
}

MidiSendQueue::~MidiSendQueue() { free(mBuf); }

std::atomic<uint32_t>* MidiSendQueue::Length(uint64_t at) const
{
  return reinterpret_cast<std::atomic<uint32_t>*>(mBuf + (size_t)(at % (uint64_t)mCapacity));
}

// Copies size bytes at ring position at, from (into the ring) or to (out of it).
void MidiSendQueue::Copy(uint64_t at, const unsigned char* from, unsigned char* to, int size) const
{
  const int i = (int)(at % (uint64_t)mCapacity);
  const int first = size < mCapacity - i ? size : mCapacity - i;
  if (from)
  {
    memcpy(mBuf + i, from, (size_t)first);
    if (first < size) memcpy(mBuf, from + first, (size_t)(size - first));
  }
  else
  {
    memcpy(to, mBuf + i, (size_t)first);
    if (first < size) memcpy(to + first, mBuf, (size_t)(size - first));
  }
}

bool MidiSendQueue::Push(const unsigned char* bytes, int size)
{
  if (size <= 0) return true;
  if (size > MaxMessageSize())
  {
    mDroppedTooLong.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  const uint64_t room = Room(size);
  uint64_t at = mReserved.load(std::memory_order_relaxed);
  for (;;)
  {
    // Acquire: what the consumer cleared before it moved on is clear here.
    const uint64_t read = mRead.load(std::memory_order_acquire);
    if ((uint64_t)mCapacity - (at - read) < room)
    {
      mDroppedFull.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    if (mReserved.compare_exchange_weak(at, at + room, std::memory_order_relaxed)) break;
  }
  Copy(at + kHeader, bytes, nullptr, size);
  // Release: the consumer that sees the length sees the bytes.
  Length(at)->store((uint32_t)size | kWritten, std::memory_order_release);
  return true;
}

int MidiSendQueue::NextSize() const
{
  const uint32_t length = Length(mRead.load(std::memory_order_relaxed))->load(std::memory_order_acquire);
  return (length & kWritten) ? (int)(length & ~kWritten) : 0;
}

void MidiSendQueue::Read(unsigned char* dest)
{
  const int size = NextSize();
  if (size <= 0) return;
  const uint64_t read = mRead.load(std::memory_order_relaxed);
  if (dest) Copy(read + kHeader, nullptr, dest, size);
  // Cleared before the room is given back: a length word a sender has not written
  // yet reads as none.
  const uint64_t room = Room(size);
  const int i = (int)(read % (uint64_t)mCapacity);
  const int first = (uint64_t)(mCapacity - i) < room ? mCapacity - i : (int)room;
  Length(read)->store(0, std::memory_order_relaxed);
  memset(mBuf + i + kHeader, 0, (size_t)(first - kHeader));
  if ((uint64_t)first < room) memset(mBuf, 0, (size_t)(room - (uint64_t)first));
  mRead.store(read + room, std::memory_order_release);
}

int MidiSendQueue::Clear()
{
  int n = 0;
  while (NextSize() > 0)
  {
    Read(nullptr);
    ++n;
  }
  return n;
}
