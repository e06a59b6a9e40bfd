#include "SimRecorder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

SimEventRing::SimEventRing(size_t capacityBytes)
{
  size_t c = 64;
  while (c < capacityBytes) c <<= 1;
  mCapacity = c;
  // Zeroed, so every page is in memory before JACK's realtime thread writes to
  // it: a page fault there stalls the period.
  mBuf.reset(new unsigned char[c]());
}

void SimEventRing::CopyIn(size_t at, const void* from, size_t size)
{
  const size_t offset = at & (mCapacity - 1);
  const size_t first = std::min(size, mCapacity - offset);
  memcpy(mBuf.get() + offset, from, first);
  memcpy(mBuf.get(), (const unsigned char*)from + first, size - first);
}

void SimEventRing::CopyOut(size_t at, void* to, size_t size) const
{
  const size_t offset = at & (mCapacity - 1);
  const size_t first = std::min(size, mCapacity - offset);
  memcpy(to, mBuf.get() + offset, first);
  memcpy((unsigned char*)to + first, mBuf.get(), size - first);
}

bool SimEventRing::Push(const unsigned char* bytes, size_t size, uint32_t frame, uint32_t jackFrame,
                        uint32_t jackMicros)
{
  const size_t w = mWrite.load(std::memory_order_relaxed);
  // Acquire: the reader has finished copying out what it freed.
  const size_t r = mRead.load(std::memory_order_acquire);
  if (size > MaxEventBytes() || size >= kLossBit || mCapacity - (w - r) < sizeof(Header) + size)
  {
    mLost = true;
    return false;
  }
  const Header h = {(uint32_t)size | (mLost ? kLossBit : 0u), frame, jackFrame, jackMicros};
  CopyIn(w, &h, sizeof(h));
  if (size) CopyIn(w + sizeof(h), bytes, size);
  mLost = false;
  mWrite.store(w + sizeof(h) + size, std::memory_order_release);
  return true;
}

bool SimEventRing::Pop(SimBytes* bytes, uint32_t* frame, bool* afterLoss, uint32_t* jackFrame, uint32_t* jackMicros)
{
  const size_t r = mRead.load(std::memory_order_relaxed);
  const size_t w = mWrite.load(std::memory_order_acquire);
  const size_t queued = w - r;
  if (queued == 0) return false;
  Header h = {};
  if (queued >= sizeof(h)) CopyOut(r, &h, sizeof(h));
  const size_t size = h.sizeAndLoss & ~kLossBit;
  if (queued < sizeof(h) || size > queued - sizeof(h))
  {
    // Events are published whole, so this means a broken ring: drop what is
    // queued rather than read lengths out of message bytes.
    mRead.store(w, std::memory_order_release);
    mReaderLost = true;
    return false;
  }
  bytes->resize(size);
  if (size) CopyOut(r + sizeof(h), bytes->data(), size);
  *frame = h.frame;
  if (jackFrame) *jackFrame = h.jackFrame;
  if (jackMicros) *jackMicros = h.jackMicros;
  *afterLoss = (h.sizeAndLoss & kLossBit) != 0 || mReaderLost;
  mReaderLost = false;
  mRead.store(r + sizeof(h) + size, std::memory_order_release);
  return true;
}

void SimEventRing::Reset()
{
  mWrite.store(0);
  mRead.store(0);
  mLost = mReaderLost = false;
}

SimRecorder::SimRecorder(std::function<void(const SimMessage&)> beforeStore, size_t ringBytes)
  : mRing(ringBytes), mBeforeStore(std::move(beforeStore))
{
  sem_init(&mWake, 0, 0);
}

SimRecorder::~SimRecorder()
{
  Stop();
  sem_destroy(&mWake);
}

void SimRecorder::Start(uint32_t openFrame, double rate)
{
  if (mThread.joinable()) return;
  mOpenFrame = openFrame;
  mRate = rate;
  mRing.Reset();
  mAssembler.Reset();
  mResync = false;
  mStop.store(false);
  mThread = std::thread(&SimRecorder::Loop, this);
}

void SimRecorder::Stop()
{
  if (!mThread.joinable()) return;
  mStop.store(true);
  sem_post(&mWake);
  mThread.join();
}

bool SimRecorder::Push(const unsigned char* bytes, size_t size, uint32_t frame, uint32_t jackFrame,
                       uint32_t jackMicros)
{
  if (!mRing.Push(bytes, size, frame, jackFrame, jackMicros))
  {
    mOverflows.fetch_add(1);
    return false;
  }
  sem_post(&mWake);
  return true;
}

void SimRecorder::Loop()
{
  SimBytes event;
  for (;;)
  {
    // Read the flag before draining: what was pushed before Stop is then in view.
    const bool stopping = mStop.load();
    Drain(&event);
    if (stopping) return;
    while (sem_wait(&mWake) != 0 && errno == EINTR)
    {
    }
  }
}

void SimRecorder::Drain(SimBytes* event)
{
  uint32_t frame = 0, jackFrame = 0, jackMicros = 0;
  bool afterLoss = false;
  while (mRing.Pop(event, &frame, &afterLoss, &jackFrame, &jackMicros))
  {
    // An event went missing: the message it may belong to is dropped, not kept
    // short, and so are later pieces of it, up to the next message's status byte.
    if (afterLoss)
    {
      mAssembler.Reset();
      mResync = true;
    }
    if (event->empty()) continue;
    const unsigned char first = (*event)[0];
    if (mResync && first < 0xF8)
    {
      if (first < 0x80 || first == 0xF7) continue;
      mResync = false;
    }
    mAssembler.Feed(event->data(), (int)event->size(),
                    [&](const unsigned char* p, int n) { Record(p, n, frame, jackFrame, jackMicros); });
  }
}

void SimRecorder::Record(const unsigned char* bytes, int size, uint32_t frame, uint32_t jackFrame,
                         uint32_t jackMicros)
{
  SimMessage m;
  m.seconds = (double)(int32_t)(frame - mOpenFrame) / mRate;
  m.jackFrame = jackFrame;
  m.jackMicros = jackMicros;
  m.bytes.assign(bytes, bytes + size);
  if (mBeforeStore) mBeforeStore(m);
  std::function<void(const SimMessage&)> cb;
  {
    std::lock_guard<std::mutex> l(mLock);
    mReceived.push_back(m);
    mBytesReceived += size;
    cb = mOnReceive;
  }
  mCv.notify_all();
  if (cb) cb(m);
}

std::vector<SimMessage> SimRecorder::Received() const
{
  std::lock_guard<std::mutex> l(mLock);
  return mReceived;
}

size_t SimRecorder::ReceivedCount() const
{
  std::lock_guard<std::mutex> l(mLock);
  return mReceived.size();
}

long long SimRecorder::BytesReceived() const
{
  std::lock_guard<std::mutex> l(mLock);
  return mBytesReceived;
}

bool SimRecorder::WaitForReceived(size_t count, int timeoutMs) const
{
  std::unique_lock<std::mutex> l(mLock);
  return mCv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] { return mReceived.size() >= count; });
}

void SimRecorder::ClearReceived()
{
  std::lock_guard<std::mutex> l(mLock);
  mReceived.clear();
  mBytesReceived = 0;
}

void SimRecorder::SetOnReceive(std::function<void(const SimMessage&)> f)
{
  std::lock_guard<std::mutex> l(mLock);
  mOnReceive = std::move(f);
}
