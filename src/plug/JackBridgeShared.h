#pragma once
// What the plug-in's host side (JackMidiOwner) and its JACK bridge, the program
// davrel-jack-bridge, share: each instance's memory (its two rings and the words
// its threads wait on), handed to the bridge as a file descriptor, and the messages
// on their socket. The bridge includes this header and links nothing else of the
// plug-in.
//
// Everything here is read and written by two processes at once: only lock-free
// atomics and plain bytes, the same layout on both sides (one build).

#include "plug/MessageRing.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include <linux/futex.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace jackbridge {

static_assert(std::atomic<uint32_t>::is_always_lock_free && sizeof(std::atomic<uint32_t>) == 4,
              "a futex word is a plain 32-bit word");
static_assert(std::atomic<uint64_t>::is_always_lock_free, "ring positions shared between processes");
static_assert(std::atomic<int64_t>::is_always_lock_free, "clock times shared between processes");

// Instances a host process serves at once over JACK.
const int kSlots = 64;

// ---- waiting on a word of shared memory ----

// Wakes every thread, of either process, waiting on word. Never waits.
inline void FutexWake(std::atomic<uint32_t>* word)
{
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Waits while *word still holds seen, at most ns nanoseconds (negative: no bound).
inline void FutexWait(std::atomic<uint32_t>* word, uint32_t seen, long long ns)
{
  timespec t{};
  if (ns >= 0)
  {
    t.tv_sec = (time_t)(ns / 1000000000LL);
    t.tv_nsec = (long)(ns % 1000000000LL);
  }
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, seen, ns >= 0 ? &t : nullptr, nullptr, 0);
}

// A thread's wake-up: its word moves on, and a sleeper is woken; none waits.
inline void Wake(std::atomic<uint32_t>& word, const std::atomic<uint32_t>& sleeping)
{
  word.fetch_add(1);
  if (sleeping.load()) FutexWake(&word);
}

// ---- a ring of whole messages in shared memory ----

using RingHead = MessageRingHead;
using Ring = MessageRing;

// ---- an instance's memory ----

const uint32_t kMagic = 0x44564A42u;
// What the two sides share: raised with every change to this header's layout or
// messages, or to what either side does with them. The bridge says it first (kHello).
const uint32_t kVersion = 7;
// The sends' ring holds what every thread of the instance sends (1 MB); the input's
// several of the synthesizer's largest dumps.
const uint32_t kSendBytes = 1024 * 1024;
const uint32_t kInBytes = 256 * 1024;

// Who consumes the sends' ring at a moment (SlotMemory::sendOwner).
const uint32_t kNobody = 0, kBridgeTakes = 1, kHostTakes = 2;

struct SlotMemory
{
  uint32_t magic = kMagic, version = kVersion, sendBytes = kSendBytes, inBytes = kInBytes;
  // Every thread of the instance sends into it; the bridge's output callback takes
  // from it into each period's buffer, as far as the gate lets it: messages while
  // its count of taken ones is below sendLimit, which the host's port thread sets
  // (0: none; lowered at once as a port's choice is made, so that what is sent
  // after it waits for its port). What waits for a port gone is dropped at another
  // choice by the host's port thread while it holds the ring (sendOwner): the
  // callback takes it for its pass when nobody holds it, and passes over the slot
  // when the host does. At the instance's end the bridge counts what it could not
  // write (the owner, where no bridge has the memory).
  SendRingHead send;
  alignas(64) std::atomic<unsigned long long> sendLimit{0};
  std::atomic<uint32_t> sendOwner{kNobody};
  // The messages the bridge's callback has put into the current period's buffer
  // and not yet handed on (0 between periods): a bridge that ends inside a period
  // takes them with it (CountLostInPeriod).
  std::atomic<uint32_t> periodTaken{0};
  // The bridge's callback writes, the host's input thread reads.
  RingHead in;
  // Of the sends taken by the bridge, those too long for any period's buffer.
  alignas(64) std::atomic<unsigned long long> tooLong{0};
  // The sends' ring found broken by the bridge (its words written over), each time
  // cleared: how often, and the bytes it held then.
  std::atomic<unsigned long long> outBroken{0};
  std::atomic<unsigned long long> outBrokenBytes{0};
  // The sends lost with a bridge that ended inside a period, as whoever took the
  // slot after it counted them; the host's port thread says each rise.
  std::atomic<unsigned long long> lostInPeriod{0};
  // The xruns the server reported while a bridge had the slot (a period some client
  // did not finish in time): an asynchronous server loses what a reader late in
  // its period had not read yet. The host's port thread says each rise.
  std::atomic<unsigned long long> xruns{0};
  // The host's port thread waits on portWord while portSleeping: woken by a choice,
  // or by the bridge once it took sends the thread waits for (roomWanted).
  alignas(64) std::atomic<uint32_t> portWord{0};
  std::atomic<uint32_t> portSleeping{0};
  std::atomic<uint32_t> roomWanted{0};
  // The host's input thread waits on inWord while inSleeping: the bridge's input
  // callback wakes it once something came.
  alignas(64) std::atomic<uint32_t> inWord{0};
  std::atomic<uint32_t> inSleeping{0};
  // The timing clock (0xF8), which the bridge's output callback writes into each
  // period's buffer at the frame each tick falls due (ClockTimeline), so that no
  // thread of the host has to wake on time for it. The host's clock thread writes
  // the first tick's time (CLOCK_MONOTONIC) and the interval, then clockRun, a new
  // number each run (0: stopped; clockRuns is its own count). The callback counts
  // what it placed of run clockTicksRun, and its passes over the slot.
  alignas(64) std::atomic<uint32_t> clockRun{0};
  std::atomic<uint32_t> clockRuns{0};
  std::atomic<int64_t> clockFirstNs{0};
  std::atomic<int64_t> clockIntervalNs{0};
  alignas(64) std::atomic<uint32_t> clockTicksRun{0};
  std::atomic<unsigned long long> clockTicks{0};
  std::atomic<unsigned long long> clockPasses{0};
  // Moved on (and the port thread woken through portWord) whenever the server's
  // ports or connections changed, by the bridge, or the epoch ended, by the owner:
  // the port thread looks at the ports then, and seldom otherwise.
  alignas(64) std::atomic<uint32_t> graphChanges{0};
};

inline size_t SlotMemorySize() { return sizeof(SlotMemory) + kSendBytes + kInBytes; }
inline unsigned char* SendBytes(SlotMemory* m) { return reinterpret_cast<unsigned char*>(m) + sizeof(SlotMemory); }
inline unsigned char* InBytes(SlotMemory* m) { return SendBytes(m) + kSendBytes; }
inline SendRing SendRingOf(SlotMemory* m) { return SendRing(&m->send, SendBytes(m), (int)kSendBytes); }
inline Ring InRing(SlotMemory* m) { return Ring(&m->in, InBytes(m), (int)kInBytes); }
inline bool Valid(const SlotMemory* m, size_t mapped)
{
  return mapped >= SlotMemorySize() && m->magic == kMagic && m->version == kVersion && m->sendBytes == kSendBytes &&
         m->inBytes == kInBytes;
}

// Whoever takes the slot after a bridge that may have ended inside its callback
// (the next bridge, or the owner at the instance's close where none is left),
// once it has let go of a half-taken message (halfTaken: Recover found one): what
// that bridge had put into the period's buffer never went anywhere, and is added,
// with that message, to lostInPeriod. The figure is the other process's word: never
// more than the sends ever taken. How many.
inline unsigned long long CountLostInPeriod(SlotMemory* m, bool halfTaken)
{
  const unsigned long long inPeriod = m->periodTaken.exchange(0) + (halfTaken ? 1u : 0u);
  const unsigned long long taken = m->send.taken.load();
  const unsigned long long lost = inPeriod < taken ? inPeriod : taken;
  if (lost) m->lostInPeriod.fetch_add(lost);
  return lost;
}

// ---- the timing clock (the host's clock thread) ----

// Starts a run of the clock: tick 0 due at firstNs, one every intervalNs. Never waits.
inline void StartClock(SlotMemory* m, int64_t firstNs, int64_t intervalNs)
{
  uint32_t run = m->clockRuns.fetch_add(1) + 1;
  if (run == 0) run = m->clockRuns.fetch_add(1) + 1;
  m->clockFirstNs.store(firstNs);
  m->clockIntervalNs.store(intervalNs);
  m->clockRun.store(run, std::memory_order_release);
}

// Stops the run and answers the ticks it placed, once a pass of the callback that
// began after the stop is over (so none follows), or after boundNs when no pass
// comes (no server, a stalled one): then as many as it had placed by then. A run
// stopped before its first tick was placed keeps it (the first goes at once): that
// tick is waited for first, within boundNs of its own.
inline unsigned long long StopClock(SlotMemory* m, long long boundNs)
{
  const uint32_t run = m->clockRun.load();
  if (run == 0) return 0;
  const auto waitFor = [m, boundNs](auto done) {
    for (long long waited = 0; !done() && waited < boundNs; waited += 1000000)
    {
      const timespec t = {0, 1000000};
      nanosleep(&t, nullptr);
    }
  };
  waitFor([m, run] { return m->clockTicksRun.load() == run && m->clockTicks.load() > 0; });
  m->clockRun.store(0);
  const unsigned long long passes = m->clockPasses.load();
  waitFor([m, passes] { return m->clockPasses.load() >= passes + 2; });
  return m->clockTicksRun.load() == run ? m->clockTicks.load() : 0;
}

// ---- the socket's messages (a SOCK_SEQPACKET pair: one message a packet) ----

enum Op : uint32_t
{
  // host -> bridge; each gets a kReply with its id but kPing (kPong)
  kAddSlot = 1,  // slot; the memory's descriptor attached
  kRelease,      // slot: what its output holds is written (within a bound), its ports go; value: messages not sent
  kPorts,        // dir (1: the ports an input lists): text the names, one a line
  kRegister,     // slot, dir: value 1 or 0, text the port's full name
  kConnect,      // slot, dir, text the peer: value 1 or 0, text our port's full name
  kDisconnect,   // slot, dir
  kRename,       // slot, dir, text the short name: value 1 or 0, text the full name
  kConnected,    // slot, dir, text the peer: value 1, 0, or -1 (no port)
  kPing,
  // bridge -> host
  kReply = 100,  // id the request's
  kPong,
  kReady,     // both clients opened on a server: value its period in frames, value2 its rate
  kNoServer,  // no server takes clients: said at the first try that finds none and at the
              // first try begun after a kPing (a question waiting for a fresh try's
              // outcome), not at every try: value JACK's status
  kGone,      // the server went: the bridge ends at once
  kLog,       // text a line for the host's log
  kHello,     // the bridge's first word: value its kVersion, value2 its SlotMemorySize()
};

struct Header
{
  uint32_t op = 0;
  uint32_t id = 0;
  int32_t slot = -1;
  int32_t dir = 0;
  int64_t value = 0;
  int64_t value2 = 0;
  uint32_t size = 0;  // bytes of text following
  uint32_t pad = 0;
};

const size_t kMaxMessage = 64 * 1024;

// Sends one message (and a descriptor, fd >= 0). Never raises SIGPIPE; dontWait:
// fails at once where the socket's buffer is full. False when not sent.
inline bool SendMessage(int sock, const Header& h, const std::string& text, int fd = -1, bool dontWait = false)
{
  if (sizeof(Header) + text.size() > kMaxMessage) return false;
  Header head = h;
  head.size = (uint32_t)text.size();
  iovec iov[2] = {{&head, sizeof head}, {const_cast<char*>(text.data()), text.size()}};
  msghdr msg{};
  msg.msg_iov = iov;
  msg.msg_iovlen = text.empty() ? 1 : 2;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  if (fd >= 0)
  {
    memset(control, 0, sizeof control);
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &fd, sizeof fd);
  }
  for (;;)
  {
    const ssize_t n = sendmsg(sock, &msg, MSG_NOSIGNAL | (dontWait ? MSG_DONTWAIT : 0));
    if (n >= 0) return (size_t)n == sizeof head + text.size();
    if (errno != EINTR) return false;
  }
}

// Receives one message into h and text (and a descriptor into *fd, else -1).
// 1: one came; 0: the other end closed; -1: nothing now (EAGAIN) or a failure
// (errno says which).
inline int ReceiveMessage(int sock, Header* h, std::string* text, int* fd, bool dontWait = false)
{
  static thread_local char buffer[kMaxMessage];
  iovec iov = {buffer, sizeof buffer};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  if (fd) *fd = -1;
  ssize_t n;
  do
    n = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC | (dontWait ? MSG_DONTWAIT : 0));
  while (n < 0 && errno == EINTR);
  if (n == 0) return 0;
  if (n < 0) return -1;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c))
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
    {
      int got;
      memcpy(&got, CMSG_DATA(c), sizeof got);
      if (fd && *fd < 0)
        *fd = got;
      else
        close(got);
    }
  if ((size_t)n < sizeof(Header) || (msg.msg_flags & MSG_TRUNC))
  {
    if (fd && *fd >= 0) close(*fd);
    if (fd) *fd = -1;
    errno = EPROTO;
    return -1;
  }
  memcpy(h, buffer, sizeof(Header));
  if (sizeof(Header) + h->size != (size_t)n)
  {
    if (fd && *fd >= 0) close(*fd);
    if (fd) *fd = -1;
    errno = EPROTO;
    return -1;
  }
  text->assign(buffer + sizeof(Header), h->size);
  return 1;
}

} // namespace jackbridge
