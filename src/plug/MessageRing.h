#pragma once
// Whole MIDI messages from one producer to one consumer without a lock, an
// allocation or a system call: a ring of bytes, each message its length (4 bytes)
// and its bytes, wrapping round the end, over memory its owner provides (the heap
// of one process, or memory two processes share: only lock-free atomics and plain
// bytes). A message that does not fit is dropped whole and counted.

#include <atomic>
#include <cstdint>
#include <cstring>

// size bytes into or out of a ring of cap bytes at the position at, wrapping round its end.
inline void RingCopyIn(unsigned char* ring, int cap, uint64_t at, const unsigned char* from, int size)
{
  const int i = (int)(at % (uint64_t)cap);
  const int first = size < cap - i ? size : cap - i;
  memcpy(ring + i, from, (size_t)first);
  if (first < size) memcpy(ring, from + first, (size_t)(size - first));
}
inline void RingCopyOut(const unsigned char* ring, int cap, uint64_t at, unsigned char* to, int size)
{
  const int i = (int)(at % (uint64_t)cap);
  const int first = size < cap - i ? size : cap - i;
  memcpy(to, ring + i, (size_t)first);
  if (first < size) memcpy(to + first, ring, (size_t)(size - first));
}

// Every message a ring holds dropped by drop(size); how many. A broken ring is reset.
template <class Ring, class Drop>
int ClearRing(Ring& ring, Drop drop)
{
  int n = 0;
  for (int size = ring.NextSize(); size != 0; size = ring.NextSize())
  {
    if (size == Ring::kBroken)
    {
      ring.Reset();
      break;
    }
    drop(size);
    ++n;
  }
  return n;
}

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
  int Clear() { return ClearRing(*this, [this](int) { Skip(); }); }
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
  void CopyIn(uint64_t at, const unsigned char* from, int size) { RingCopyIn(mBuf, mCap, at, from, size); }
  void CopyOut(uint64_t at, unsigned char* to, int size) const { RingCopyOut(mBuf, mCap, at, to, size); }
  MessageRingHead* mHead = nullptr;
  unsigned char* mBuf = nullptr;
  int mCap = 0;
};

// Whole messages from any number of producers to one consumer, in the order their
// room was taken, over memory its owner provides (as MessageRing). A producer takes
// its room with one atomic step and writes at its leisure: no lock, no allocation,
// no system call, and no producer waits for another (one slow to write only keeps
// the consumer from reading past its message for that while).
//
// A message is its length word (4 bytes, its top bit set once the message is
// written) and its bytes, padded to 8 bytes, so that a length word never wraps.
// The consumer clears what it read, so a length word not yet written reads as 0.
// A message longer than the ring takes, or one that meets it full, is refused and
// counted. The consumer counts what it took (taken), so that a place in the
// order of sends can be told from another process.
struct SendRingHead
{
  alignas(64) std::atomic<uint64_t> reserved{0};
  alignas(64) std::atomic<uint64_t> read{0};
  std::atomic<unsigned long long> taken{0};
  // Where read goes once the message being taken is cleared: a consumer that ended
  // in between (a process killed) leaves it for the next (Recover).
  std::atomic<uint64_t> reading{0};
  alignas(64) std::atomic<long long> droppedFull{0};
  std::atomic<long long> droppedTooLong{0};
};

class SendRing
{
public:
  static const int kHeader = 4;
  static const int kBroken = -1;
  static const uint32_t kWritten = 0x80000000u;
  SendRing() {}
  // capacity: a multiple of 8.
  SendRing(SendRingHead* head, unsigned char* bytes, int capacity) : mHead(head), mBuf(bytes), mCap(capacity) {}

  int Capacity() const { return mCap; }
  int MaxMessageSize() const { return mCap - kHeader - 7; }
  SendRingHead* Head() const { return mHead; }

  // Any thread. False when refused (too long, or no room now).
  bool Push(const unsigned char* bytes, int size)
  {
    if (size <= 0) return true;
    if (size > MaxMessageSize())
    {
      mHead->droppedTooLong.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    const uint64_t room = Room((uint32_t)size);
    uint64_t at = mHead->reserved.load(std::memory_order_relaxed);
    for (;;)
    {
      // Acquire: what the consumer cleared before it moved on is clear here.
      const uint64_t read = mHead->read.load(std::memory_order_acquire);
      if (at - read > (uint64_t)mCap || (uint64_t)mCap - (at - read) < room)
      {
        mHead->droppedFull.fetch_add(1, std::memory_order_relaxed);
        return false;
      }
      if (mHead->reserved.compare_exchange_weak(at, at + room, std::memory_order_relaxed)) break;
    }
    CopyIn(at + kHeader, bytes, size);
    // Release: the consumer that sees the length sees the bytes.
    Length(at)->store((uint32_t)size | kWritten, std::memory_order_release);
    return true;
  }

  // The consumer: the next message's size, 0 when none is written yet, kBroken
  // when the words do not fit the ring (written over by another process).
  int NextSize() const
  {
    const uint64_t read = mHead->read.load(std::memory_order_relaxed);
    const uint64_t held = mHead->reserved.load(std::memory_order_acquire) - read;
    if (held == 0) return 0;
    if (held > (uint64_t)mCap || (read & 7) != 0) return kBroken;
    const uint32_t length = Length(read)->load(std::memory_order_acquire);
    if (length == 0) return 0;
    const uint32_t size = length & ~kWritten;
    if (!(length & kWritten) || size == 0 || size > (uint32_t)MaxMessageSize() || Room(size) > held) return kBroken;
    return (int)size;
  }
  // The consumer: the message NextSize said was size bytes into dest (room for that
  // many; null: dropped), cleared and counted as taken.
  void Read(unsigned char* dest, int size)
  {
    const uint64_t read = mHead->read.load(std::memory_order_relaxed);
    // Moved under it by another process: nothing read.
    if ((read & 7) != 0 || size <= 0 || size > MaxMessageSize()) return Reset();
    if (dest) CopyOut(read + kHeader, dest, size);
    // Cleared before the room is given back: a length word a producer has not
    // written yet reads as none.
    const uint64_t room = Room((uint32_t)size);
    const int i = (int)(read % (uint64_t)mCap);
    const int first = (uint64_t)(mCap - i) < room ? mCap - i : (int)room;
    mHead->reading.store(read + room, std::memory_order_relaxed);
    Length(read)->store(0, std::memory_order_relaxed);
    memset(mBuf + i + kHeader, 0, (size_t)(first - kHeader));
    if ((uint64_t)first < room) memset(mBuf, 0, (size_t)(room - (uint64_t)first));
    mHead->read.store(read + room, std::memory_order_release);
    mHead->taken.fetch_add(1, std::memory_order_release);
  }
  // A new consumer, where the last one may have ended inside Read: the message it
  // was clearing is passed over (counted taken), so that its cleared length word
  // does not stop the ring for good. Whether there was one.
  bool Recover()
  {
    const uint64_t read = mHead->read.load(std::memory_order_relaxed);
    const uint64_t to = mHead->reading.load(std::memory_order_relaxed);
    const uint64_t held = mHead->reserved.load(std::memory_order_acquire) - read;
    if (to <= read || to - read > held || held > (uint64_t)mCap || ((to - read) & 7) != 0 || (read & 7) != 0)
      return false;
    // Cleared as Read would have: no stale word there reads as a length later.
    const int i = (int)(read % (uint64_t)mCap);
    const uint64_t room = to - read;
    const int first = (uint64_t)(mCap - i) < room ? mCap - i : (int)room;
    memset(mBuf + i, 0, (size_t)first);
    if ((uint64_t)first < room) memset(mBuf, 0, (size_t)(room - (uint64_t)first));
    mHead->read.store(to, std::memory_order_release);
    mHead->taken.fetch_add(1, std::memory_order_release);
    return true;
  }
  // The consumer: drops every written message; how many. A broken ring is reset.
  int Clear() { return ClearRing(*this, [this](int size) { Read(nullptr, size); }); }
  // The consumer: a broken ring emptied as far as room was taken, every byte cleared.
  void Reset()
  {
    memset(mBuf, 0, (size_t)mCap);
    uint64_t reserved = mHead->reserved.load(std::memory_order_acquire);
    const uint64_t aligned = (reserved + 7) & ~(uint64_t)7;
    if (aligned != reserved) mHead->reserved.compare_exchange_strong(reserved, aligned);
    mHead->read.store(mHead->reserved.load(std::memory_order_acquire), std::memory_order_release);
  }
  bool Empty() const
  {
    return mHead->reserved.load(std::memory_order_acquire) == mHead->read.load(std::memory_order_acquire);
  }
  unsigned long long Taken() const { return mHead->taken.load(std::memory_order_acquire); }
  long long DroppedFull() const { return mHead->droppedFull.load(std::memory_order_relaxed); }
  long long DroppedTooLong() const { return mHead->droppedTooLong.load(std::memory_order_relaxed); }

private:
  static uint64_t Room(uint32_t size) { return ((uint64_t)kHeader + (uint64_t)size + 7) & ~(uint64_t)7; }
  std::atomic<uint32_t>* Length(uint64_t at) const
  {
    return reinterpret_cast<std::atomic<uint32_t>*>(mBuf + (size_t)(at % (uint64_t)mCap));
  }
  void CopyIn(uint64_t at, const unsigned char* from, int size) { RingCopyIn(mBuf, mCap, at, from, size); }
  void CopyOut(uint64_t at, unsigned char* to, int size) const { RingCopyOut(mBuf, mCap, at, to, size); }
  SendRingHead* mHead = nullptr;
  unsigned char* mBuf = nullptr;
  int mCap = 0;
};
