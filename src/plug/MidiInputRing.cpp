#include "plug/MidiInputRing.h"

#include <cstdlib>
#include <cstring>
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

namespace {
// Copies size bytes at position at of the ring, wrapping round its end (size <= capacity).
void CopyOutOfRing(const unsigned char* bytes, int capacity, uint64_t at, unsigned char* dest, int size)
{
  const int i = (int)(at % (uint64_t)capacity);
  const int first = size < capacity - i ? size : capacity - i;
  memcpy(dest, bytes + i, (size_t)first);
  if (first < size) memcpy(dest + first, bytes, (size_t)(size - first));
}
}  // namespace

int ReadSharedMessage(MessageRingHead& head, const unsigned char* bytes, int capacity, unsigned char* dest, int room,
                      uint32_t* badLength)
{
  const uint64_t read = head.read.load(std::memory_order_relaxed);
  const uint64_t write = head.write.load(std::memory_order_acquire);
  if (write == read) return 0;
  const uint64_t used = write - read;
  uint32_t length = 0;
  if (capacity > MessageRing::kHeader && used > (uint64_t)MessageRing::kHeader && used <= (uint64_t)capacity)
  {
    unsigned char header[MessageRing::kHeader];
    CopyOutOfRing(bytes, capacity, read, header, MessageRing::kHeader);
    memcpy(&length, header, sizeof length);
    if (length > 0 && length <= used - MessageRing::kHeader && length <= (uint64_t)(room > 0 ? room : 0))
    {
      if (dest) CopyOutOfRing(bytes, capacity, read + MessageRing::kHeader, dest, (int)length);
      head.read.store(read + MessageRing::kHeader + length, std::memory_order_release);
      return (int)length;
    }
  }
  if (badLength) *badLength = length;
  head.read.store(write, std::memory_order_release);
  return -1;
}
