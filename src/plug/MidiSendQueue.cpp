#include "plug/MidiSendQueue.h"

#include <cstdlib>
#include <new>

MidiSendQueue::MidiSendQueue(int capacity)
{
  const int cap = capacity < 64 ? 64 : capacity & ~7;
  mOwnBytes = static_cast<unsigned char*>(calloc((size_t)cap, 1));
  if (!mOwnBytes) throw std::bad_alloc();
  mOwnHead = new SendRingHead;
  mRing = SendRing(mOwnHead, mOwnBytes, cap);
}

MidiSendQueue::MidiSendQueue(SendRingHead* head, unsigned char* bytes, int capacity) : mRing(head, bytes, capacity & ~7)
{
}

MidiSendQueue::~MidiSendQueue()
{
  delete mOwnHead;
  free(mOwnBytes);
}
