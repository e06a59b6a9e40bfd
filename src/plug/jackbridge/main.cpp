// davrel-jack-bridge: the plug-in's JACK clients, in a process of their own.
//
// JACK's library keeps state for its whole process (a table of clients, one lock,
// and a clean-up of every stale client of the process at the next opening after a
// server went), shared by every JACK client there. A host is a JACK client itself,
// so the plug-in opens no client in the host's process: the host side (one per host
// process, JackMidiOwner) starts this program, which holds the two clients, the
// ports of every instance of that host, and moves their messages through each
// instance's shared memory (JackBridgeShared.h).
//
//   davrel-jack-bridge OUTPUT-CLIENT INPUT-CLIENT HOST-PID   (the socket to the host on fd 3)
//
// It waits until a server takes clients, trying every 100 ms, and ends with that
// server: its shutdown callback ends the process at once (nothing is closed on a
// server that went; the host starts a fresh bridge for the next one). It ends with
// its host's process too, told by the kernel (Life), and then closes its clients
// however long the server takes: nothing waits on this process, and a client left
// dead on a server that stands still costs every client there a client time-out.

#include "plug/ClockTimeline.h"
#include "plug/JackBridgeShared.h"
#include "plug/JackBufferOrder.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>

using namespace jackbridge;
using Clock = std::chrono::steady_clock;

namespace {

const int kSocket = 3;
const char* const kPortNames[2] = {"RtMidi Output", "RtMidi Input"};

// How long a closing instance's messages have to be written.
const std::chrono::milliseconds kReleaseDrain(250);
// After the host's end, the cycles (about 2.4 s at the test bed's periods) that
// take nothing from a ring before its drain gives up on a server that runs.
const unsigned long long kDrainIdleCycles = 450;

std::mutex gSendLock;  // the socket's writers: the reader (pongs) and the worker

void Send(const Header& h, const std::string& text = std::string())
{
  std::lock_guard<std::mutex> l(gSendLock);
  SendMessage(kSocket, h, text);
}

void Say(const std::string& line)
{
  Header h;
  h.op = kLog;
  Send(h, line);
}

// One instance. The callbacks reach it through gTable; the worker owns the rest.
struct Slot
{
  SlotMemory* mem = nullptr;
  size_t size = 0;
  SendRing send;
  Ring in;
  std::atomic<jack_port_t*> port[2] = {{nullptr}, {nullptr}};
  std::string name[2];
  int number[2] = {0, 0};
  bool renamed[2] = {false, false};
  // A fresh output connection: its messages wait until the graph the process
  // callback runs in holds it (holdPeer), however long that takes (a port joined
  // to nothing would take them and they would be lost unsaid): until then they stay
  // in the ring, and what the instance's close finds there is counted as not sent.
  // The worker, once it reads the connection in the server's graph, sets holdFrom:
  // the first output cycle (counted as gCycles[0]) that began after it did, whose
  // graph holds it too; it looks again while the hold waits. The callback asks the
  // server nothing (a JACK library may take a lock to answer).
  std::atomic<int> hold{0};
  std::atomic<unsigned long long> holdFrom{0};
  char holdPeer[512] = {};
  // Leaving: its output buffer is cleared each period, nothing more written into it
  // (JACK keeps a MIDI buffer's events from one period to the next until its
  // writer clears it).
  std::atomic<int> leaving{0};
  // The output callback's own: the timing clock's run it follows (0: none) and its ticks.
  uint32_t clockRun = 0;
  ClockTimeline clock;
  // The output callback's own: the process's count of xruns already added to the
  // slot's.
  unsigned long long xrunsSeen = 0;
};

// The server's xrun reports, counted on JACK's notification thread; each slot's
// count follows it in the output callback.
std::atomic<unsigned long long> gXruns{0};
int XRun(void*)
{
  gXruns.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

std::atomic<Slot*> gTable[kSlots];
Slot* gSlots[kSlots];  // the worker's
jack_client_t* gClient[2] = {nullptr, nullptr};
std::string gClientName[2];
std::string gPrefix[2];
std::atomic<int> gBusy[2];
std::atomic<unsigned long long> gCycles[2];

// The server went (its shutdown callback, or a server that refused what it took a
// moment before): nothing of it is called again. The host learns it first, the
// process ends at once; every end of the bridge's own while its host lives is said
// so, so that one without the word is known to have come from outside.
void Shutdown(jack_status_t, const char*, void*)
{
  Header h;
  h.op = kGone;
  // No lock here: a writer holding it may never return. A message a packet, so
  // one written alongside does not mix with this one.
  SendMessage(kSocket, h, std::string(), -1, true);
  _exit(0);
}

void Silent(const char*) {}

// The host's clock times (CLOCK_MONOTONIC, as steady_clock) less JACK's own:
// measured as the clients open, 0 where JACK reads the same clock.
std::atomic<long long> gClockOffsetNs{0};

long long MeasureClockOffset()
{
  const long long ours =
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
  const long long offset = ours - (long long)jack_get_time() * 1000;
  return offset > -1000000 && offset < 1000000 ? 0 : offset;
}

// Ticks a period takes at most (the rest follow in the next), and the room in a
// period's buffer each one needs (an event's header and its byte): the messages
// leave that room for them.
const int kMaxTicks = 64;
const size_t kTickRoom = 16;

// The output callback, once a period for each slot: the run of the timing clock
// the host asks for now, begun afresh when it is a new one. The count of its ticks
// starts again only for a new run (a fresh bridge goes on counting the same run).
void FollowClock(Slot* s, SlotMemory* m)
{
  const uint32_t run = m->clockRun.load(std::memory_order_acquire);
  if (run == s->clockRun) return;
  if (run != 0)
  {
    const int64_t first = m->clockFirstNs.load(), interval = m->clockIntervalNs.load();
    // Written again meanwhile (a stop and a start): read at the next period.
    if (m->clockRun.load(std::memory_order_acquire) != run) return;
    s->clock.Start(first - gClockOffsetNs.load(std::memory_order_relaxed), interval);
    if (m->clockTicksRun.load() != run)
    {
      m->clockTicks.store(0);
      m->clockTicksRun.store(run);
    }
  }
  s->clockRun = run;
}

// The clock's ticks due in this period, each written at its frame after the
// period's messages (all at frame 0), as far as the buffer takes them.
void PlaceTicks(Slot* s, SlotMemory* m, void* buffer, jack_nframes_t frames, int64_t beginNs, int64_t endNs)
{
  const size_t room = jack_midi_max_event_size(buffer);
  const int fit = (int)std::min<size_t>((size_t)kMaxTicks, room / kTickRoom);
  int64_t at[kMaxTicks];
  const int n = s->clock.Take(beginNs, endNs, at, fit);
  const double framesPerNs = (double)frames / (double)(endNs - beginNs);
  for (int i = 0; i < n; ++i)
  {
    jack_nframes_t frame = (jack_nframes_t)((double)(at[i] - beginNs) * framesPerNs);
    if (frame >= frames) frame = frames - 1;
    if (jack_midi_data_t* to = jack_midi_event_reserve(buffer, frame, 1))
    {
      *to = 0xF8;
      m->clockTicks.fetch_add(1);
    }
  }
}

// A slot's sends' ring whose words do not fit it (its memory written over): all it
// holds is dropped and its bytes counted; the host's port thread says it. Never
// waits.
const int kMaxPasses = (int)(kSendBytes / 8) + 1;

void ClearBrokenSends(Slot* s, SlotMemory* m)
{
  const uint64_t held = m->send.reserved.load() - m->send.read.load();
  m->outBrokenBytes.fetch_add(held < kSendBytes ? held : kSendBytes);
  s->send.Reset();
  m->outBroken.fetch_add(1);
}

// The slot's sends into the period's buffer, in order, as far as the gate the host
// set and the buffer take them, each whole; the rest waits for the next period.
// Room for the clock's ticks is left while it runs, but by the first message of an
// empty buffer. Whether a message was taken.
bool TakeSends(Slot* s, SlotMemory* m, void* buffer, size_t tickRoom)
{
  uint32_t nobody = kNobody;
  // The host drops what cannot go meanwhile: the slot waits for the next period.
  if (!m->sendOwner.compare_exchange_strong(nobody, kBridgeTakes)) return false;
  const unsigned long long limit = m->sendLimit.load(std::memory_order_acquire);
  bool took = false, any = false;
  // Every pass takes a message or ends the loop; the bound holds against a host
  // that writes on as fast as it is read.
  for (int pass = 0; pass < kMaxPasses && s->send.Taken() < limit; ++pass)
  {
    const int size = s->send.NextSize();
    if (size == 0) break;
    if (size == SendRing::kBroken)
    {
      // The host's port thread is woken to say it.
      ClearBrokenSends(s, m);
      m->roomWanted.store(1);
      took = true;
      break;
    }
    const size_t room = jack_midi_max_event_size(buffer);
    if ((size_t)size > room)
    {
      // An empty buffer that cannot take it never will.
      if (any) break;
      s->send.Read(nullptr, size);
      m->tooLong.fetch_add(1);
      took = true;
      continue;
    }
    if (any && (size_t)size + tickRoom > room) break;
    jack_midi_data_t* to = jack_midi_event_reserve(buffer, 0, (size_t)size);
    if (!to) break;
    s->send.Read(to, size);
    // Taken from the ring, yet out only once the period is handed on.
    m->periodTaken.fetch_add(1, std::memory_order_relaxed);
    took = any = true;
  }
  m->sendOwner.store(kNobody, std::memory_order_release);
  return took;
}

// JACK's process thread: each slot's waiting messages into the period's buffer as
// far as it takes them, each whole; the rest waits for the next period. Then the
// timing clock's ticks due in the period, each at its frame: the period's span on
// JACK's clock (its frames' times, as the server estimates them) gives each its
// frame. Once every slot's buffer is filled, nothing of the period is held by the
// bridge any more: the counts of what a bridge ended here would take with it go
// back to 0.
int ProcessOut(jack_nframes_t frames, void* client)
{
  gBusy[0].store(1);
  jack_client_t* c = static_cast<jack_client_t*>(client);
  jack_nframes_t firstFrame = 0;
  jack_time_t beginUs = 0, endUs = 0;
  float periodUs = 0;
  if (jack_get_cycle_times(c, &firstFrame, &beginUs, &endUs, &periodUs) != 0)
  {
    // The same from the frames' times, where the server tells no cycle times.
    firstFrame = jack_last_frame_time(c);
    beginUs = jack_frames_to_time(c, firstFrame);
    endUs = jack_frames_to_time(c, firstFrame + frames);
  }
  const bool timed = endUs > beginUs && frames > 0;
  const int64_t beginNs = (int64_t)beginUs * 1000, endNs = (int64_t)endUs * 1000;
  SlotMemory* seen[kSlots];
  int nSeen = 0;
  for (int i = 0; i < kSlots; ++i)
  {
    Slot* s = gTable[i].load(std::memory_order_acquire);
    if (!s) continue;
    SlotMemory* m = s->mem;
    seen[nSeen++] = m;
    FollowClock(s, m);
    jack_port_t* port = s->port[0].load(std::memory_order_acquire);
    if (port)
    {
      void* buffer = jack_port_get_buffer(port, frames);
      TakeJackBuffer(buffer);
      jack_midi_clear_buffer(buffer);
      bool go = !s->leaving.load(std::memory_order_relaxed);
      if (go && s->hold.load(std::memory_order_acquire))
      {
        const unsigned long long from = s->holdFrom.load(std::memory_order_acquire);
        if (from && gCycles[0].load(std::memory_order_relaxed) >= from)
          s->hold.store(0);
        else
          go = false;
      }
      const bool took = go && TakeSends(s, m, buffer, s->clockRun ? kMaxTicks * kTickRoom : 0);
      if (go && timed && s->clockRun) PlaceTicks(s, m, buffer, frames, beginNs, endNs);
      HandOnJackBuffer(buffer);
      // The host's port thread waits for these (a choice, its end).
      if (took && m->roomWanted.load() && m->roomWanted.exchange(0)) Wake(m->portWord, m->portSleeping);
    }
    m->clockPasses.fetch_add(1);
    const unsigned long long xruns = gXruns.load(std::memory_order_relaxed);
    if (xruns != s->xrunsSeen)
    {
      m->xruns.fetch_add(xruns - s->xrunsSeen, std::memory_order_relaxed);
      s->xrunsSeen = xruns;
    }
  }
  // Before the cycle is counted: a slot's memory stays mapped until then.
  for (int k = 0; k < nSeen; ++k)
    if (seen[k]->periodTaken.load(std::memory_order_relaxed)) seen[k]->periodTaken.store(0, std::memory_order_release);
  gCycles[0].fetch_add(1);
  gBusy[0].store(0);
  return 0;
}

// JACK's process thread: each event into its slot's input ring as it is; the
// host's input thread is woken once something came.
int ProcessIn(jack_nframes_t frames, void*)
{
  gBusy[1].store(1);
  for (int i = 0; i < kSlots; ++i)
  {
    Slot* s = gTable[i].load(std::memory_order_acquire);
    if (!s) continue;
    jack_port_t* port = s->port[1].load(std::memory_order_acquire);
    if (!port) continue;
    void* buffer = jack_port_get_buffer(port, frames);
    TakeJackBuffer(buffer);
    const jack_nframes_t n = jack_midi_get_event_count(buffer);
    bool any = false;
    for (jack_nframes_t e = 0; e < n; ++e)
    {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, e) == 0 && event.size > 0)
      {
        // A drop is counted in the ring; the host says it.
        s->in.Push(event.buffer, (int)event.size);
        any = true;
      }
    }
    HandOnJackBuffer(buffer);
    if (any) Wake(s->mem->inWord, s->mem->inSleeping);
  }
  gCycles[1].fetch_add(1);
  gBusy[1].store(0);
  return 0;
}

struct Request
{
  Header h;
  std::string text;
  int fd = -1;
};

std::mutex gLock;
std::condition_variable gWake;
std::deque<Request> gRequests;
bool gQuit = false;

bool Open() { return gClient[0] && gClient[1]; }

// A port came or went, was joined, parted or renamed: JACK's notification (on
// whichever thread the JACK implementation calls it, its realtime one included)
// only moves the word on and wakes the teller, which hands it to the worker: each
// instance's port thread is told, and looks at the ports at once.
const uint32_t kGraphChanged = 200;  // a request of the teller's own, never the host's
std::atomic<uint32_t> gGraphChanges{0};
void GraphChanged()
{
  gGraphChanges.fetch_add(1);
  FutexWake(&gGraphChanges);
}
void PortCame(jack_port_id_t, int, void*) { GraphChanged(); }
void PortsJoined(jack_port_id_t, jack_port_id_t, int, void*) { GraphChanged(); }
void PortRenamed(jack_port_id_t, const char*, const char*, void*) { GraphChanged(); }
void FollowGraph(jack_client_t* c)
{
  jack_set_port_registration_callback(c, &PortCame, nullptr);
  jack_set_port_connect_callback(c, &PortsJoined, nullptr);
  jack_set_port_rename_callback(c, &PortRenamed, nullptr);
}
void TellGraph()
{
  for (uint32_t told = gGraphChanges.load();;)
  {
    FutexWait(&gGraphChanges, told, -1);
    const uint32_t now = gGraphChanges.load();
    if (now == told) continue;
    told = now;
    Request r;
    r.h.op = kGraphChanged;
    std::lock_guard<std::mutex> l(gLock);
    gRequests.push_back(std::move(r));
    gWake.notify_all();
  }
}
// The worker's: the port thread of every instance here is woken to look.
void WakeSlotsToLook()
{
  for (Slot* s : gSlots)
    if (s && s->mem)
    {
      s->mem->graphChanges.fetch_add(1);
      Wake(s->mem->portWord, s->mem->portSleeping);
    }
}

bool Ours(const char* port)
{
  for (const std::string& p : gPrefix)
    if (!p.empty() && !strncmp(port, p.c_str(), p.size())) return true;
  return false;
}

std::string OwnName(int d, int number)
{
  return number == 1 ? kPortNames[d] : std::string(kPortNames[d]) + " " + std::to_string(number);
}

// Another program's client that leaves between our two openings (a readiness
// probe, or a killed bridge's clients being cleared away) frees a number below our
// first client's, which the second then takes; a fresh synchronous server has
// been seen to stop taking clients, and an asynchronous one to leave its graph
// unfinished, once such a pair was active. The server tells its active clients of
// every arrival and departure in the order they happen, and our first client is
// active before the second opens: once it has been told of the second's arrival it
// has been told of every departure before it, so the pair is judged by the
// server's own word, not by how soon a notification comes. (JACK tells an inactive
// client's callbacks nothing; its library still takes the departure in, and the
// server's answer to the activation comes after it.) A departure told while the
// first's opening is still being answered is lost inside the library: that pair
// is judged by what the process maps (OwnSignalMapped).
std::atomic<bool> gHostGone{false};
std::mutex gSeenLock;
std::condition_variable gSeen;
struct Arrivals
{
  int left = 0;                   // departures told
  std::vector<std::string> came;  // the names of the arrivals told
  // The second client's arrival told: by the name the server gave it, which is
  // not the name asked for while another process (a second host's bridge) has
  // that one.
  bool SecondCame(const std::string& second) const
  {
    return std::find(came.begin(), came.end(), second) != came.end();
  }
};
Arrivals gArrivals;

void ClientCame(const char* name, int registered, void*)
{
  std::lock_guard<std::mutex> l(gSeenLock);
  if (!registered)
    ++gArrivals.left;
  else
    gArrivals.came.push_back(name);
  gSeen.notify_all();
}

// JACK's library (jack2) keeps one table of the clients' wake-up signals for its
// whole process, by the clients' numbers, and a number's entry keeps the signal
// it holds when another client of the process is opened on that number. A
// client's departure told to one of ours while its opening is still being
// answered is dropped (that client's own state is not mapped yet), so the
// departed client's entry stays: a second client of ours opened on the number it
// freed then waits for ever on the departed client's signal, which nobody gives,
// and a synchronous server stands still each cycle for its client time-outs (a
// readiness probe that closed just as our first client opened). Such a pair is
// seen by what the process maps: each client's own signal, a file of the server's
// named after it, is mapped here while its entry is its own. A library that keeps
// no such files is not judged.
bool OwnSignalMapped(const std::string& client)
{
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  std::string maps;
  char buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) maps.append(buffer, (size_t)n);
  close(fd);
  bool any = false;
  const std::string own = "_" + client;
  for (size_t at = 0, end; at < maps.size(); at = end + 1)
  {
    end = maps.find('\n', at);
    if (end == std::string::npos) end = maps.size();
    const std::string line = maps.substr(at, end - at);
    if (line.find("/jack_sem.") == std::string::npos && line.find("/sem.jack_sem.") == std::string::npos) continue;
    any = true;
    if (line.size() > own.size() && line.compare(line.size() - own.size(), own.size(), own) == 0) return true;
  }
  return !any;
}

// How long the first client waits to be told of the second's arrival: far past
// any server that still runs (a stand-still's time-outs included). Only a server
// that stopped for good fails it; the pair is then closed and tried again.
const std::chrono::seconds kArrivalBound(60);

// The clients: the output's first, active with nothing of an instance in it yet,
// then the input's, activated once the first has been told of its arrival with no
// departure before it. A server that went meanwhile ends the process (nothing
// half-opened is kept).
// A try's outcome is wanted by the host (a ping came since the last try began), and
// whether a try has found no server yet.
std::atomic<bool> gWordWanted{false};
bool gNoServerSaid = false;

void TryOpen()
{
  const bool wanted = gWordWanted.exchange(false);
  jack_status_t status = (jack_status_t)0;
  jack_client_t* c[2] = {nullptr, nullptr};
  {
    std::lock_guard<std::mutex> l(gSeenLock);
    gArrivals = Arrivals();
  }
  c[0] = jack_client_open(gClientName[0].c_str(), JackNoStartServer, &status);
  if (c[0])
  {
    gClockOffsetNs.store(MeasureClockOffset());
    jack_set_process_callback(c[0], &ProcessOut, c[0]);
    // The server tells every client of an xrun: one of ours counts them.
    jack_set_xrun_callback(c[0], &XRun, nullptr);
    jack_on_info_shutdown(c[0], &Shutdown, nullptr);
    jack_set_client_registration_callback(c[0], &ClientCame, nullptr);
    // A client whose activation failed is closed, not left: a process that ends
    // with an active client leaves the server a dead one in its graph, which a
    // synchronous server waits for each cycle until it has cleared it away.
    if (jack_activate(c[0]) != 0)
    {
      jack_client_close(c[0]);
      return;
    }
    c[1] = jack_client_open(gClientName[1].c_str(), JackNoStartServer, &status);
  }
  if (c[0] && c[1])
  {
    const std::string second = jack_get_client_name(c[1]);
    std::unique_lock<std::mutex> l(gSeenLock);
    const bool told =
        gSeen.wait_for(l, kArrivalBound, [&] { return gArrivals.SecondCame(second) || gHostGone.load(); }) &&
        gArrivals.SecondCame(second);
    const bool straddled = !told || gArrivals.left != 0;
    l.unlock();
    // Closed, both: the library's table goes with its last client, and the next try
    // starts afresh.
    const bool stale = !straddled && (!OwnSignalMapped(jack_get_client_name(c[0])) ||
                                      !OwnSignalMapped(jack_get_client_name(c[1])));
    if (straddled || stale)
    {
      if (!told && !gHostGone.load()) Say("MIDI: the JACK server did not tell of the bridge's second client: both are opened again\n");
      if (stale)
        Say("MIDI: the JACK bridge's second client was opened on the number of a client that had just left, "
            "whose wake-up signal JACK's library kept for it: both are opened again\n");
      jack_client_close(c[1]);
      jack_client_close(c[0]);
      return;
    }
  }
  if (!c[0] || !c[1])
  {
    if (c[0])
    {
      // The server took one and refused the other: the first is closed, however
      // long the server takes (one that went ends the process through the first's
      // shutdown callback, and a fresh bridge follows).
      jack_client_close(c[0]);
    }
    // Said once, and again for a question: the host waits for the outcome of a try
    // begun after it rather than answer from an old one (a server that came back a
    // moment ago).
    if (gNoServerSaid && !wanted) return;
    gNoServerSaid = true;
    Header h;
    h.op = kNoServer;
    h.value = (unsigned)status;
    Send(h);
    return;
  }
  jack_set_process_callback(c[1], &ProcessIn, c[1]);
  jack_on_info_shutdown(c[1], &Shutdown, nullptr);
  FollowGraph(c[1]);
  if (jack_activate(c[1]) != 0)
  {
    jack_client_close(c[1]);
    jack_client_close(c[0]);
    return;
  }
  for (int d = 0; d < 2; ++d)
  {
    gClient[d] = c[d];
    gPrefix[d] = std::string(jack_get_client_name(c[d])) + ":";
  }
  Header h;
  h.op = kReady;
  h.value = jack_get_buffer_size(c[0]);
  h.value2 = jack_get_sample_rate(c[0]);
  Send(h);
  Say("MIDI: the JACK bridge (pid " + std::to_string(getpid()) + ") has its clients on a JACK server\n");
}

// Waits until no process callback can still be inside a slot taken out of gTable:
// false when one still may after a bound.
bool WaitForCallbacks()
{
  unsigned long long seen[2] = {gCycles[0].load(), gCycles[1].load()};
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(500);
  for (int d = 0; d < 2; ++d)
    while (gBusy[d].load() && gCycles[d].load() == seen[d])
    {
      if (Clock::now() >= end) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  return true;
}

bool Register(Slot* s, int d)
{
  if (!Open() || !s) return false;
  if (s->port[d].load()) return true;
  int number = 1;
  for (bool taken = true; taken;)
  {
    taken = false;
    for (Slot* o : gSlots)
      if (o && o != s && o->number[d] == number && o->port[d].load()) taken = true;
    if (taken) ++number;
  }
  jack_port_t* port = jack_port_register(gClient[d], OwnName(d, number).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                         d ? JackPortIsInput : JackPortIsOutput, 0);
  if (!port) return false;
  s->number[d] = number;
  s->renamed[d] = false;
  s->name[d] = jack_port_name(port);
  s->port[d].store(port, std::memory_order_release);
  return true;
}

// A port the published graph shows joined to nothing is not cut again (a call
// that waits for the server): a choice closes the port, then joins it.
void Disconnect(Slot* s, int d)
{
  jack_port_t* port = s ? s->port[d].load() : nullptr;
  if (Open() && port && jack_port_connected(port) != 0) jack_port_disconnect(gClient[d], port);
}

// The worker, having read in the server's graph that the slot's output is joined to
// peer: a hold waiting for that connection ends at the next cycle's start.
void ReleaseHold(Slot* s, const std::string& peer)
{
  if (s->hold.load(std::memory_order_acquire) && !s->holdFrom.load() && peer == s->holdPeer)
    s->holdFrom.store(gCycles[0].load() + 1, std::memory_order_release);
}

int Connected(Slot* s, int d, const std::string& peer)
{
  jack_port_t* port = s ? s->port[d].load() : nullptr;
  if (!Open() || !port) return -1;
  // Read from the graph the server publishes, from both ends.
  int found = 0;
  const auto lists = [&found](const char** joined, const std::string& other) {
    for (int i = 0; joined && joined[i]; ++i)
      if (other == joined[i]) found = 1;
    if (joined) jack_free(joined);
  };
  lists(jack_port_get_all_connections(gClient[d], port), peer);
  if (!found)
    if (jack_port_t* p = jack_port_by_name(gClient[d], peer.c_str()))
      lists(jack_port_get_all_connections(gClient[d], p), s->name[d]);
  if (found && d == 0) ReleaseHold(s, peer);
  return found;
}

// The worker's: the holds that still wait for their connection to be read in the
// server's graph are looked at again, at first often, then less so (a graph that
// lags a long way, or a peer gone before it held the connection).
std::chrono::milliseconds gHoldLook(2);
const std::chrono::milliseconds kHoldLookMost(100);

bool HoldWaits(const Slot* s) { return s && s->port[0].load() && s->hold.load() && !s->holdFrom.load(); }

bool HoldsWait()
{
  for (Slot* s : gSlots)
    if (HoldWaits(s)) return true;
  return false;
}

void LookAtHolds()
{
  for (Slot* s : gSlots)
    if (HoldWaits(s)) Connected(s, 0, s->holdPeer);
}

bool Connect(Slot* s, int d, const std::string& peer)
{
  if (!Register(s, d)) return false;
  Disconnect(s, d);
  jack_port_t* port = s->port[d].load();
  if (s->renamed[d] && jack_port_rename(gClient[d], port, OwnName(d, s->number[d]).c_str()) == 0)
  {
    s->renamed[d] = false;
    s->name[d] = jack_port_name(port);
  }
  if (d == 0 && peer.size() < sizeof s->holdPeer)
  {
    // Written while no callback reads it (the flag down, a cycle passed) and before
    // the flag is set again: the callback reads it only once it sees the flag.
    s->hold.store(0);
    WaitForCallbacks();
    memcpy(s->holdPeer, peer.c_str(), peer.size() + 1);
    s->holdFrom.store(0);
    s->hold.store(1, std::memory_order_release);
  }
  const std::string& from = d ? peer : s->name[d];
  const std::string& to = d ? s->name[d] : peer;
  const int r = jack_connect(gClient[d], from.c_str(), to.c_str());
  if (r != 0 && r != EEXIST)
  {
    s->hold.store(0);
    return false;
  }
  // The graph the server publishes lags behind its answer by a cycle or so: the
  // host's watch reads the connection from there, so it is given a moment (200 ms
  // at most) to show it, looked at often (a look reads the graph in shared memory).
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(200);
  while (Connected(s, d, peer) == 0 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::microseconds(250));
  gHoldLook = std::chrono::milliseconds(2);
  return true;
}


bool Rename(Slot* s, int d, const std::string& shortName)
{
  if (!Register(s, d)) return false;
  Disconnect(s, d);
  s->hold.store(0);
  jack_port_t* port = s->port[d].load();
  if (jack_port_rename(gClient[d], port, shortName.c_str()) != 0) return false;
  s->renamed[d] = true;
  s->name[d] = jack_port_name(port);
  return true;
}

void FreeSlot(int i)
{
  Slot* s = gSlots[i];
  if (!s) return;
  // Its output buffer cleared by a period that ran after the slot began to leave,
  // so that the receiver does not read its last events again while the port is
  // still joined to it (JACK keeps a buffer's events until its writer clears it).
  // The port stays in the callback's reach until then: a server that stands still
  // runs no period, and is first asked to cut the port's connections (answered once
  // it runs again), whose graph then reads the buffer no more.
  s->leaving.store(1);
  const auto cleared = [s](std::chrono::milliseconds bound) {
    const unsigned long long cycles = gCycles[0].load();
    const Clock::time_point end = Clock::now() + bound;
    while (Open() && gCycles[0].load() < cycles + 2 && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    return !Open() || gCycles[0].load() >= cycles + 2;
  };
  if (s->port[0].load() && !cleared(std::chrono::milliseconds(100)))
  {
    Disconnect(s, 0);
    cleared(std::chrono::milliseconds(1000));
  }
  // Cut before it goes, and gone from the published graph: a port unregistered
  // while joined is an invalid buffer to the graph the server still runs for a
  // period, and a receiver joined to others too then drops what each of them wrote
  // in it (JACK's mixdown gives up on an invalid source). Not once the host has
  // gone: every one of its instances goes then.
  if (jack_port_t* out = s->port[0].load(); out && Open() && !gHostGone.load())
  {
    Disconnect(s, 0);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(200);
    while (Open() && jack_port_connected(out) != 0 && Clock::now() < end)
      std::this_thread::sleep_for(std::chrono::microseconds(250));
  }
  for (int d = 0; d < 2; ++d)
    if (jack_port_t* p = s->port[d].exchange(nullptr))
    {
      WaitForCallbacks();
      if (Open()) jack_port_unregister(gClient[d], p);
    }
  gTable[i].store(nullptr);
  const bool passed = WaitForCallbacks();
  gSlots[i] = nullptr;
  // A callback that may still be inside it keeps it (and its memory) to the end.
  if (!passed) return;
  munmap(s->mem, s->size);
  delete s;
}

// What the slot's sends' ring holds, as far as its gate lets it go, is written out
// by the process callback while the server takes it, until end (a fresh
// connection's hold ends meanwhile once the graph holds it: the worker that would
// look is here). Once the host has gone, nobody waits for this process nor hears
// what it loses: the drain goes on past end while the server stands still (its
// next cycle may yet come) or its cycles take from the ring, and ends once
// kDrainIdleCycles cycles took nothing.
void DrainOut(Slot* s, Clock::time_point end)
{
  unsigned long long taken = s->send.Taken();
  unsigned long long movedAt = gCycles[0].load();
  while (Open() && s->port[0].load() && !s->send.Empty() && s->send.Taken() < s->mem->sendLimit.load())
  {
    if (HoldWaits(s)) Connected(s, 0, s->holdPeer);
    const unsigned long long now = s->send.Taken();
    const unsigned long long cycles = gCycles[0].load();
    if (now != taken) movedAt = cycles;
    taken = now;
    if (Clock::now() >= end && (!gHostGone.load() || cycles - movedAt > kDrainIdleCycles)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The instance closed: what its output holds is written while the server takes it
// (within a bound), then its ports go. The messages not written are counted.
long long Release(int i)
{
  Slot* s = gSlots[i];
  if (!s) return 0;
  DrainOut(s, Clock::now() + kReleaseDrain);
  // The callback takes no more of it; what it holds is counted (the host has ended
  // its sends).
  s->leaving.store(1);
  const long long left = WaitForCallbacks() ? s->send.Clear() : 0;
  FreeSlot(i);
  return left;
}

// Empty when the slot took the memory, else why it did not (for the host's log).
std::string AddSlot(int i, int fd)
{
  if (fd < 0) return "no memory came with it";
  struct stat st;
  if (fstat(fd, &st) != 0 || (size_t)st.st_size < SlotMemorySize())
  {
    close(fd);
    return "it is smaller than " + std::to_string(SlotMemorySize()) + " bytes";
  }
  // Its pages mapped now: JACK's thread takes no page fault at their first touch.
  void* at = mmap(nullptr, (size_t)st.st_size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
  const int error = errno;
  close(fd);
  if (at == MAP_FAILED) return std::string("it could not be mapped: ") + strerror(error);
  SlotMemory* m = static_cast<SlotMemory*>(at);
  if (!Valid(m, (size_t)st.st_size))
  {
    const std::string why = "its layout is version " + std::to_string(m->version) + ", the bridge's " +
                            std::to_string(kVersion);
    munmap(at, (size_t)st.st_size);
    return why;
  }
  FreeSlot(i);
  Slot* s = new Slot;
  s->mem = m;
  s->size = (size_t)st.st_size;
  s->send = SendRingOf(m);
  s->xrunsSeen = gXruns.load();
  // A bridge before this one that ended while it took the slot's sends (killed
  // inside its callback) left them held, and perhaps a message half taken: both
  // are let go of, so that the sends go on. What it had put into that period's
  // buffer went nowhere: counted with that message, for the host to say.
  uint32_t was = m->sendOwner.load();
  bool halfTaken = false;
  if (was != kHostTakes && m->sendOwner.compare_exchange_strong(was, kBridgeTakes))
  {
    halfTaken = s->send.Recover();
    m->sendOwner.store(kNobody, std::memory_order_release);
  }
  CountLostInPeriod(m, halfTaken);
  s->in = InRing(m);
  gSlots[i] = s;
  gTable[i].store(s, std::memory_order_release);
  return std::string();
}

void Handle(Request& r)
{
  Header reply;
  reply.op = kReply;
  reply.id = r.h.id;
  std::string text;
  const int i = r.h.slot;
  const int d = r.h.dir ? 1 : 0;
  const bool slotted = i >= 0 && i < kSlots;
  Slot* s = slotted ? gSlots[i] : nullptr;
  switch (r.h.op)
  {
  case kAddSlot:
    if (slotted)
      text = AddSlot(i, r.fd);
    else
    {
      if (r.fd >= 0) close(r.fd);
      text = "no slot " + std::to_string(i);
    }
    r.fd = -1;
    reply.value = text.empty() ? 1 : 0;
    break;
  case kRelease:
    reply.value = slotted ? Release(i) : 0;
    break;
  case kPorts:
    if (Open())
    {
      const char** ports =
          jack_get_ports(gClient[0], nullptr, JACK_DEFAULT_MIDI_TYPE, d ? JackPortIsOutput : JackPortIsInput);
      for (int k = 0; ports && ports[k]; ++k)
        if (!Ours(ports[k])) text += std::string(ports[k]) + "\n";
      if (ports) jack_free(ports);
      reply.value = 1;
    }
    break;
  case kRegister:
    reply.value = Register(s, d) ? 1 : 0;
    if (reply.value) text = s->name[d];
    break;
  case kConnect:
    reply.value = Connect(s, d, r.text) ? 1 : 0;
    if (s) text = s->name[d];
    break;
  case kDisconnect:
    Disconnect(s, d);
    if (s && d == 0) s->hold.store(0);
    reply.value = 1;
    break;
  case kRename:
    reply.value = Rename(s, d, r.text) ? 1 : 0;
    if (reply.value) text = s->name[d];
    break;
  case kConnected:
    reply.value = Connected(s, d, r.text);
    break;
  default:
    reply.value = 0;
  }
  if (r.fd >= 0) close(r.fd);
  if (text.size() + sizeof(Header) > kMaxMessage) text.resize(kMaxMessage - sizeof(Header));
  Send(reply, text);
}

// The one thread that calls JACK besides JACK's own.
void Work()
{
  Clock::time_point nextTry = Clock::now();
  std::unique_lock<std::mutex> l(gLock);
  while (!gQuit)
  {
    if (!Open() && Clock::now() >= nextTry)
    {
      l.unlock();
      TryOpen();
      l.lock();
      nextTry = Clock::now() + std::chrono::milliseconds(100);
      continue;
    }
    if (gRequests.empty())
    {
      if (!Open())
        gWake.wait_until(l, nextTry);
      else if (!HoldsWait())
        gWake.wait(l);
      else if (gWake.wait_for(l, gHoldLook) == std::cv_status::timeout)
      {
        l.unlock();
        LookAtHolds();
        gHoldLook = std::min(gHoldLook * 2, kHoldLookMost);
        l.lock();
      }
      continue;
    }
    Request r = std::move(gRequests.front());
    gRequests.pop_front();
    l.unlock();
    if (r.h.op == kGraphChanged)
    {
      WakeSlotsToLook();
      LookAtHolds();
    }
    else
      Handle(r);
    l.lock();
  }
}

// The version this bridge says it is: another one only in the test suite's bridge
// "of another build".
#ifdef DAVREL_JACK_BRIDGE_SAYS_VERSION
const uint32_t kSaysVersion = DAVREL_JACK_BRIDGE_SAYS_VERSION;
#else
const uint32_t kSaysVersion = kVersion;
#endif

// The host's end, told by the kernel: the host's process ended (PR_SET_PDEATHSIG
// fires as the host's thread that started the bridge ends, and that thread, the
// host side's owner, lives as long as the host's process or until its end), or a
// SIGTERM of anyone's. The reader alone cannot learn it: a child the host forked
// keeps the socket's other end open, and a thread of ours may be stuck. This
// thread, made before any other and before JACK's library runs, waits for SIGTERM
// (blocked in every other thread), takes no lock and calls nothing but the kernel:
// it ends the reader's wait (the socket's end, as a host that closes it), so the
// clients close however long the server takes; and it ends the process itself
// only if the close has not begun within kReachClose. The worker's request under
// way (one JACK call, which a server that stands still answers within its client
// time-outs) comes first, so only threads of ours stuck for good are cut short
// this way, their clients left to the server, which drops them with the process.
const int kReachCloseSeconds = 60;
std::atomic<bool> gClosing{false};

void* Life(void*)
{
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  int signal = 0;
  while (sigwait(&term, &signal) != 0) {}
  gHostGone.store(true);
  shutdown(kSocket, SHUT_RD);
  for (int tenths = 0; !gClosing.load(); ++tenths)
  {
    if (tenths >= kReachCloseSeconds * 10) syscall(SYS_exit_group, 0);
    const timespec t = {0, 100000000};
    clock_nanosleep(CLOCK_MONOTONIC, 0, &t, nullptr);
  }
  return nullptr;
}

} // namespace

int main(int argc, char** argv)
{
  if (argc != 4)
  {
    fprintf(stderr,
            "usage: davrel-jack-bridge OUTPUT-CLIENT INPUT-CLIENT HOST-PID (started by the plug-in, socket on fd 3)\n");
    return 2;
  }
  if (fcntl(kSocket, F_GETFD) < 0) return 2;
  // Nothing of the host's is held open here but the socket, however high its
  // number (the host starts it so; a host's descriptor kept open here would outlive
  // the host's own close of it).
  if (close_range(kSocket + 1, ~0U, 0) != 0)
    for (int fd = kSocket + 1; fd < 65536; ++fd) close(fd);
  // SIGTERM is Life's alone: blocked before any thread is made (JACK's inherit it).
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, nullptr);
  // The host's end is the kernel's word: told as SIGTERM. A host that ended before
  // this line left the bridge to another parent already.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if ((long)getppid() != atol(argv[3])) kill(getpid(), SIGTERM);
  pthread_t life;
  if (pthread_create(&life, nullptr, &Life, nullptr) != 0) return 2;
  pthread_detach(life);
  // The host's terminal's signals are the host's.
  signal(SIGINT, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
  // JACK's library says every failed try on standard error: the host's log gets
  // one line instead.
  jack_set_error_function(Silent);
  jack_set_info_function(Silent);
  gClientName[0] = argv[1];
  gClientName[1] = argv[2];
  // The first word: the host starts nothing else of a bridge of another build.
  Header hello;
  hello.op = kHello;
  hello.value = kSaysVersion;
  hello.value2 = (int64_t)SlotMemorySize();
  Send(hello);

  std::thread worker(Work);
  std::thread(TellGraph).detach();
  for (;;)
  {
    Request r;
    const int got = ReceiveMessage(kSocket, &r.h, &r.text, &r.fd);
    if (got < 0 && errno == EPROTO) Say("MIDI: the JACK bridge had a malformed message from the plug-in: it ends\n");
    if (got <= 0) break;
    if (r.h.op == kPing)
    {
      gWordWanted.store(true);
      if (r.fd >= 0) close(r.fd);
      Header pong;
      pong.op = kPong;
      pong.id = r.h.id;
      Send(pong);
      continue;
    }
    std::lock_guard<std::mutex> l(gLock);
    gRequests.push_back(std::move(r));
    gWake.notify_all();
  }
  // The host has gone (or closed its end): Life keeps the watch from here. No
  // thread is made after this (a stuck loader's lock would hold it).
  kill(getpid(), SIGTERM);
  gHostGone.store(true);
  {
    std::lock_guard<std::mutex> l(gSeenLock);
    gSeen.notify_all();
  }
  {
    std::lock_guard<std::mutex> l(gLock);
    gQuit = true;
    gWake.notify_all();
  }
  worker.join();
  gClosing.store(true);
  // What the instances' rings still hold goes out while the server takes it (a
  // server that stands still is waited for, DrainOut): an instance that closed right
  // before its host ended, whose release the host's end did not wait for, loses
  // nothing it handed over. Then the clients close, however long the server takes.
  const Clock::time_point end = Clock::now() + kReleaseDrain;
  for (Slot* s : gSlots)
    if (s) DrainOut(s, end);
  for (int d = 0; d < 2; ++d)
    if (gClient[d]) jack_client_close(gClient[d]);
  _exit(0);
}
