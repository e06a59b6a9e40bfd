#pragma once
// Whole MIDI messages from one producer to one consumer without a lock, an
// allocation or a system call: a ring of bytes, each message its length (4 bytes)
// and its bytes, wrapping round the end, over memory its owner provides (the heap
// of one process, or memory two processes share: only lock-free atomics and plain
// bytes). A message that does not fit is dropped whole and counted.

#include <atomic>
#include <cstdint>
#include <cstring>

// Positions count bytes for ever (64 bits do not wrap); the producer writes write
// only, the consumer read only.
struct MessageRingHead
{
  alignas(64) std::atomic<uint64_t> write{0};
  alignas(64) std::atomic<uint64_t> read{0};
  alignas(64) std::atomic<long long> droppedFull{0};
  std::atomic<long long> droppedTooLong{0};
  std::atomic<long long> droppedBytes{0};
};

// One producer and one consumer, each message its length (4 bytes) and its bytes,
// wrapping round the end. A message that does not fit is dropped whole and counted.
// Nothing here waits, allocates or calls the system.
class MessageRing
{
public:
  static const int kHeader = 4;
  MessageRing() {}
  MessageRing(MessageRingHead* head, unsigned char* bytes, int capacity) : mHead(head), mBuf(bytes), mCap(capacity) {}

  int Capacity() const { return mCap; }
  int MaxMessageSize() const { return mCap - kHeader; }

  // Producer. False when dropped (too long, or no room now).
  bool Push(const unsigned char* bytes, int size)
  {
    if (size <= 0) return true;
    if (size > MaxMessageSize())
    {
      Drop(mHead->droppedTooLong, size);
      return false;
    }
    const uint64_t write = mHead->write.load(std::memory_order_relaxed);
    const uint64_t read = mHead->read.load(std::memory_order_acquire);
    if ((uint64_t)mCap - (write - read) < (uint64_t)(kHeader + size))
    {
      Drop(mHead->droppedFull, size);
      return false;
    }
    const uint32_t length = (uint32_t)size;
    unsigned char header[kHeader];
    memcpy(header, &length, kHeader);
    CopyIn(write, header, kHeader);
    CopyIn(write + kHeader, bytes, size);
    mHead->write.store(write + kHeader + size, std::memory_order_release);
    return true;
  }
  // Producer: whether a message of size would go in now.
  bool HasRoomFor(int size) const
  {
    const uint64_t used = mHead->write.load(std::memory_order_relaxed) - mHead->read.load(std::memory_order_acquire);
    return size <= MaxMessageSize() && (uint64_t)mCap - used >= (uint64_t)(kHeader + size);
  }
  // Consumer: the next message's size, 0 when none waits, kBroken when what the
  // ring says does not fit it (the other side's memory written over: its positions
  // more than the ring holds, or a length past what was written). Nothing is read
  // past the positions, and a broken ring stays broken until Reset.
  static const int kBroken = -1;
  int NextSize() const
  {
    const uint64_t read = mHead->read.load(std::memory_order_relaxed);
    const uint64_t held = mHead->write.load(std::memory_order_acquire) - read;
    if (held == 0) return 0;
    if (held > (uint64_t)mCap || held <= (uint64_t)kHeader) return kBroken;
    unsigned char header[kHeader];
    CopyOut(read, header, kHeader);
    uint32_t length;
    memcpy(&length, header, kHeader);
    if (length == 0 || length > held - kHeader) return kBroken;
    return (int)length;
  }
  // Consumer: copies the next message into dest (room for NextSize()) and removes it.
  void Read(unsigned char* dest)
  {
    const int size = NextSize();
    if (size <= 0) return;
    const uint64_t read = mHead->read.load(std::memory_order_relaxed);
    CopyOut(read + kHeader, dest, size);
    mHead->read.store(read + kHeader + size, std::memory_order_release);
  }
  // Consumer: the same for a message NextSize said was size bytes, into room for
  // that many (its length word is not read again): false, nothing read, when the
  // positions no longer hold that much.
  bool Read(unsigned char* dest, int size)
  {
    const uint64_t read = mHead->read.load(std::memory_order_relaxed);
    const uint64_t held = mHead->write.load(std::memory_order_acquire) - read;
    if (size <= 0 || held > (uint64_t)mCap || held < (uint64_t)kHeader + (uint64_t)size) return false;
    CopyOut(read + kHeader, dest, size);
    mHead->read.store(read + kHeader + size, std::memory_order_release);
    return true;
  }
  void Skip()
  {
    const int size = NextSize();
    if (size > 0)
      mHead->read.store(mHead->read.load(std::memory_order_relaxed) + kHeader + size, std::memory_order_release);
  }
  // Consumer: removes every waiting message; how many there were (a broken ring's
  // rest is dropped uncounted).
  int Clear()
  {
    int n = 0;
    for (int size = NextSize(); size != 0; size = NextSize())
    {
      if (size == kBroken)
      {
        Reset();
        break;
      }
      Skip();
      ++n;
    }
    return n;
  }
  // Consumer: drops whatever the ring holds, broken or not (nothing read).
  void Reset() { mHead->read.store(mHead->write.load(std::memory_order_acquire), std::memory_order_release); }
  bool Empty() const
  {
    return mHead->write.load(std::memory_order_acquire) == mHead->read.load(std::memory_order_acquire);
  }
  long long DroppedFull() const { return mHead->droppedFull.load(std::memory_order_relaxed); }
  long long DroppedTooLong() const { return mHead->droppedTooLong.load(std::memory_order_relaxed); }
  long long DroppedBytes() const { return mHead->droppedBytes.load(std::memory_order_relaxed); }

private:
  void Drop(std::atomic<long long>& counter, int size)
  {
    counter.fetch_add(1, std::memory_order_relaxed);
    mHead->droppedBytes.fetch_add(size, std::memory_order_relaxed);
  }
  void CopyIn(uint64_t at, const unsigned char* bytes, int size)
  {
    const int i = (int)(at % (uint64_t)mCap);
    const int first = size < mCap - i ? size : mCap - i;
    memcpy(mBuf + i, bytes, (size_t)first);
    if (first < size) memcpy(mBuf, bytes + first, (size_t)(size - first));
  }
  void CopyOut(uint64_t at, unsigned char* dest, int size) const
  {
    const int i = (int)(at % (uint64_t)mCap);
    const int first = size < mCap - i ? size : mCap - i;
    memcpy(dest, mBuf + i, (size_t)first);
    if (first < size) memcpy(dest + first, mBuf, (size_t)(size - first));
  }
  MessageRingHead* mHead = nullptr;
  unsigned char* mBuf = nullptr;
  int mCap = 0;
};
