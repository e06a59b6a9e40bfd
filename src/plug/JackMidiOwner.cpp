#include "plug/JackMidiOwner.h"

#include "base/log.h"
#include "plug/JackBufferOrder.h"
#include "plug/MidiPortSelect.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Instances (slots) a process serves at once.
const int kSlots = 64;

// What the callbacks see: constant-initialised, never destroyed.
std::atomic<JackMidiSlot*> gTable[kSlots];

// The live epoch (0: none) and the last one whose server was seen to go.
std::atomic<unsigned> gEpoch{0};
std::atomic<unsigned> gGone{0};
std::atomic<int> gOpened{0}, gClosed{0};
std::atomic<unsigned> gRefused{0};

const char* const kClientNames[2] = {"RtMidi Output Client", "RtMidi Input Client"};
const char* const kPortNames[2] = {"RtMidi Output", "RtMidi Input"};

// One client's callbacks in one epoch. Never freed: JACK's library may still hold
// the pointer of an ended epoch's client.
struct Callbacks
{
  unsigned epoch = 0;
  std::atomic<int> busy{0};
  std::atomic<unsigned long long> cycles{0};
};

// JACK's process thread. Writes each slot's waiting messages into the period's
// buffer as far as it takes them, each whole; the rest waits for the next period.
int ProcessOut(jack_nframes_t frames, void* arg)
{
  Callbacks* cb = static_cast<Callbacks*>(arg);
  cb->busy.store(1);
  for (int i = 0; i < kSlots; ++i)
  {
    JackMidiSlot* s = gTable[i].load();
    if (!s) continue;
    jack_port_t* port = s->port[0].load(std::memory_order_acquire);
    if (!port) continue;
    void* buffer = jack_port_get_buffer(port, frames);
    TakeJackBuffer(buffer);
    jack_midi_clear_buffer(buffer);
    bool any = false;
    for (int size = s->out.NextSize(); size > 0; size = s->out.NextSize())
    {
      if ((size_t)size > jack_midi_max_event_size(buffer))
      {
        // An empty buffer that cannot take it never will.
        if (!any)
        {
          s->out.Skip();
          s->tooLong.fetch_add(1);
          s->written.fetch_add(1);
          continue;
        }
        break;
      }
      jack_midi_data_t* to = jack_midi_event_reserve(buffer, 0, (size_t)size);
      if (!to) break;
      s->out.Read(to);
      s->written.fetch_add(1);
      any = true;
    }
    HandOnJackBuffer(buffer);
  }
  cb->cycles.fetch_add(1);
  cb->busy.store(0);
  return 0;
}

// JACK's process thread: each event goes to its slot's input as it is.
int ProcessIn(jack_nframes_t frames, void* arg)
{
  Callbacks* cb = static_cast<Callbacks*>(arg);
  cb->busy.store(1);
  for (int i = 0; i < kSlots; ++i)
  {
    JackMidiSlot* s = gTable[i].load();
    if (!s) continue;
    jack_port_t* port = s->port[1].load(std::memory_order_acquire);
    if (!port) continue;
    void* buffer = jack_port_get_buffer(port, frames);
    TakeJackBuffer(buffer);
    const jack_nframes_t n = jack_midi_get_event_count(buffer);
    for (jack_nframes_t e = 0; e < n; ++e)
    {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, e) == 0 && event.size > 0)
        s->input->Take(event.buffer, (int)event.size);
    }
    HandOnJackBuffer(buffer);
  }
  cb->cycles.fetch_add(1);
  cb->busy.store(0);
  return 0;
}

// JACK's thread, when the server stops or drops the client: the epoch ends.
void Shutdown(jack_status_t, const char*, void* arg)
{
  gGone.store(static_cast<Callbacks*>(arg)->epoch);
}

struct Job
{
  std::function<void(unsigned)> run;
  bool open = true;  // clients opened first where none live
  bool done = false;
};

// A slot let go of, freed once the callbacks that could reach it have moved on.
struct Retired
{
  std::shared_ptr<JackMidiSlot> slot;
  Callbacks* cb[2];
  unsigned long long cycles[2];
  unsigned epoch;
};

class Owner
{
public:
  bool Ask(std::function<void(unsigned)> job, const std::atomic<bool>* giveUp, bool open = true,
           Clock::time_point deadline = Clock::time_point::max())
  {
    auto j = std::make_shared<Job>();
    j->run = std::move(job);
    j->open = open;
    std::unique_lock<std::mutex> l(mLock);
    if (mQuit) return false;
    Start();
    mJobs.push_back(j);
    mWake.notify_all();
    if (!giveUp) return true;
    // Polled: the one giving up is an instance's close, which wakes no one here.
    while (!j->done)
    {
      if (giveUp->load() || mQuit || Clock::now() >= deadline) return false;
      mDone.wait_for(l, std::chrono::milliseconds(2));
    }
    return true;
  }

  void End()
  {
    std::unique_lock<std::mutex> l(mLock);
    if (mQuit) return;
    mQuit = true;
    mWake.notify_all();
    if (!mStarted) return;
    const bool ended = mDone.wait_for(l, std::chrono::milliseconds(250), [this] { return mEnded; });
    l.unlock();
    if (!ended)
    {
      // Inside a call into a server that does not answer: its clients are left
      // to the server, and the thread to the process's end.
      mThread.detach();
      ConsoleLog("MIDI: the JACK clients were not closed: the server did not answer within 250 ms\n");
      return;
    }
    mThread.join();
    CloseClients();
  }

  // ---- the owner's thread ----

  std::vector<std::string> Ports(bool input)
  {
    std::vector<std::string> names;
    if (!Live()) return names;
    const char** ports = jack_get_ports(mClient[0], nullptr, JACK_DEFAULT_MIDI_TYPE,
                                        input ? JackPortIsOutput : JackPortIsInput);
    for (int i = 0; ports && ports[i]; ++i)
      if (!Ours(ports[i])) names.push_back(ports[i]);
    if (ports) jack_free(ports);
    return names;
  }

  bool Register(const std::shared_ptr<JackMidiSlot>& slot, bool input)
  {
    const int d = input ? 1 : 0;
    if (!Live()) return false;
    if (slot->port[d].load()) return true;
    int index = Place(slot);
    if (index < 0) return false;
    // A port an instance let go of serves the next one: instances that come and go
    // cost the server no registrations.
    jack_port_t* port = nullptr;
    int number = 0;
    if (!mPool[d].empty())
    {
      auto lowest = std::min_element(mPool[d].begin(), mPool[d].end(),
                                     [](const Pooled& a, const Pooled& b) { return a.number < b.number; });
      port = lowest->port;
      number = lowest->number;
      mPool[d].erase(lowest);
    }
    else
    {
      number = 1;
      for (bool taken = true; taken;)
      {
        taken = false;
        for (const auto& s : mSlots)
          if (s && s != slot && s->number[d] == number) taken = true;
        for (const Pooled& p : mPool[d])
          if (p.number == number) taken = true;
        if (taken) ++number;
      }
      port = jack_port_register(mClient[d], OwnName(d, number).c_str(), JACK_DEFAULT_MIDI_TYPE,
                                input ? JackPortIsInput : JackPortIsOutput, 0);
    }
    if (!port) return false;
    slot->number[d] = number;
    slot->name[d] = jack_port_name(port);
    slot->port[d].store(port, std::memory_order_release);
    return true;
  }

  bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName)
  {
    if (!Register(slot, input)) return false;
    Disconnect(slot, input);
    const int d = input ? 1 : 0;
    jack_port_t* port = slot->port[d].load();
    if (jack_port_rename(mClient[d], port, shortName.c_str()) != 0) return false;
    slot->renamed[d] = true;
    slot->name[d] = jack_port_name(port);
    return true;
  }

  bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
  {
    if (!Register(slot, input)) return false;
    Disconnect(slot, input);
    const int d = input ? 1 : 0;
    if (slot->renamed[d] && jack_port_rename(mClient[d], slot->port[d].load(), OwnName(d, slot->number[d]).c_str()) == 0)
    {
      slot->renamed[d] = false;
      slot->name[d] = jack_port_name(slot->port[d].load());
    }
    const std::string& from = input ? name : slot->name[d];
    const std::string& to = input ? slot->name[d] : name;
    // The server took it; the graph it publishes is given a moment to show it, as
    // the watch reads it from there (the graph has been seen to lag well behind).
    if (!Live()) return false;
    const int r = jack_connect(mClient[d], from.c_str(), to.c_str());
    if (r != 0 && r != EEXIST) return false;
    for (int look = 0; look < 25 && Connected(slot, input, name) == 0; ++look)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
  }

  void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input)
  {
    const int d = input ? 1 : 0;
    jack_port_t* port = slot->port[d].load();
    if (Live() && port) jack_port_disconnect(mClient[d], port);
  }

  int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
  {
    const int d = input ? 1 : 0;
    jack_port_t* port = slot->port[d].load();
    if (!Live() || !port) return -1;
    // Read from the graph the server publishes, as the listing is, from both ends.
    int found = 0;
    const auto lists = [&found](const char** joined, const std::string& other) {
      for (int i = 0; joined && joined[i]; ++i)
        if (other == joined[i]) found = 1;
      if (joined) jack_free(joined);
    };
    lists(jack_port_get_all_connections(mClient[d], port), name);
    if (!found)
      if (jack_port_t* peer = jack_port_by_name(mClient[d], name.c_str()))
        lists(jack_port_get_all_connections(mClient[d], peer), slot->name[d]);
    return found;
  }

  double PeriodSeconds()
  {
    if (!Live()) return 0.0;
    const jack_nframes_t rate = jack_get_sample_rate(mClient[0]);
    return rate ? (double)jack_get_buffer_size(mClient[0]) / rate : 0.0;
  }

  void Release(const std::shared_ptr<JackMidiSlot>& slot)
  {
    for (int i = 0; i < kSlots; ++i)
      if (mSlots[i] == slot)
      {
        gTable[i].store(nullptr);
        mSlots[i].reset();
      }
    Retired r;
    r.slot = slot;
    r.epoch = Live() ? mEpoch : 0;
    for (int d = 0; d < 2; ++d)
    {
      r.cb[d] = r.epoch ? mCb[d] : nullptr;
      // Read after the slot left the table: a callback not busy now never reaches it.
      r.cycles[d] = r.cb[d] && r.cb[d]->busy.load() ? r.cb[d]->cycles.load() : ~0ull;
    }
    mRetired.push_back(std::move(r));
    Reap();
  }

private:
  void Start()
  {
    if (mStarted) return;
    mStarted = true;
    mThread = std::thread([this] { Run(); });
  }

  void Run()
  {
    std::unique_lock<std::mutex> l(mLock);
    while (!mQuit)
    {
      if (mJobs.empty())
      {
        mWake.wait_for(l, std::chrono::milliseconds(50));
        l.unlock();
        NoteGone();
        Reap();
        l.lock();
        continue;
      }
      std::shared_ptr<Job> j = mJobs.front();
      mJobs.pop_front();
      l.unlock();
      NoteGone();
      if (j->open) Open();
      j->run(Live() ? mEpoch : 0);
      Reap();
      l.lock();
      j->done = true;
      mDone.notify_all();
    }
    mEnded = true;
    mDone.notify_all();
  }

  // The first instance's port keeps the name RtMidi's own ports have, which a user's
  // saved connections name; the next ones numbered.
  static std::string OwnName(int d, int number)
  {
    return number == 1 ? kPortNames[d] : std::string(kPortNames[d]) + " " + std::to_string(number);
  }

  bool Live() const { return mEpoch != 0 && gGone.load() != mEpoch && mClient[0] && mClient[1]; }

  bool Ours(const char* port) const
  {
    for (int d = 0; d < 2; ++d)
      if (!mOwnPrefix[d].empty() && !strncmp(port, mOwnPrefix[d].c_str(), mOwnPrefix[d].size())) return true;
    return false;
  }

  int Place(const std::shared_ptr<JackMidiSlot>& slot)
  {
    int free = -1;
    for (int i = 0; i < kSlots; ++i)
    {
      if (mSlots[i] == slot) return i;
      if (!mSlots[i] && free < 0) free = i;
    }
    if (free < 0)
    {
      if (!mFullSaid) ConsoleLog("MIDI: more than %d instances use JACK ports at once: the next get none\n", kSlots);
      mFullSaid = true;
      return -1;
    }
    mSlots[free] = slot;
    gTable[free].store(slot.get());
    return free;
  }

  // A server seen to go ends its epoch: its clients are never called again (JACK's
  // library frees them at the next opening), and the slots lose their ports.
  void NoteGone()
  {
    if (mEpoch == 0 || gGone.load() != mEpoch) return;
    for (const auto& s : mSlots)
      if (s)
        for (int d = 0; d < 2; ++d)
        {
          s->port[d].store(nullptr);
          s->name[d].clear();
          s->number[d] = 0;
          s->renamed[d] = false;
        }
    mClient[0] = mClient[1] = nullptr;
    mCb[0] = mCb[1] = nullptr;
    mOwnPrefix[0].clear();
    mOwnPrefix[1].clear();
    mPool[0].clear();
    mPool[1].clear();
    mEpoch = 0;
    gEpoch.store(0);
  }

  // Opens what the live epoch lacks, a client a direction; at most every 100 ms
  // while no server takes them.
  void Open()
  {
    if (Live()) return;
    const Clock::time_point now = Clock::now();
    if (now < mNextTry) return;
    mNextTry = now + std::chrono::milliseconds(100);
    if (mEpoch == 0) mEpoch = ++mEpochs;
    for (int d = 0; d < 2; ++d)
    {
      if (mClient[d]) continue;
      jack_status_t status;
      jack_client_t* c = jack_client_open(JackClientName(kClientNames[d]).c_str(), JackNoStartServer, &status);
      if (!c)
      {
        gRefused.store((unsigned)status);
        return;
      }
      gOpened.fetch_add(1);
      Callbacks* cb = new Callbacks;
      mAllCb.push_back(cb);
      cb->epoch = mEpoch;
      jack_set_process_callback(c, d ? &ProcessIn : &ProcessOut, cb);
      jack_on_info_shutdown(c, &Shutdown, cb);
      mClient[d] = c;
      mCb[d] = cb;
      mOwnPrefix[d] = std::string(jack_get_client_name(c)) + ":";
      if (jack_activate(c) != 0) gGone.store(mEpoch);
    }
    if (Live()) gEpoch.store(mEpoch);
  }

  // Frees what no callback can reach any more; a slot's ports go with it.
  void Reap()
  {
    for (size_t i = 0; i < mRetired.size();)
    {
      Retired& r = mRetired[i];
      bool reachable = false;
      for (int d = 0; d < 2; ++d)
        if (r.cb[d] && r.cycles[d] != ~0ull && r.cb[d]->cycles.load() == r.cycles[d] && r.epoch == mEpoch && Live())
          reachable = true;
      if (reachable)
      {
        ++i;
        continue;
      }
      for (int d = 0; d < 2; ++d)
      {
        jack_port_t* port = r.slot->port[d].exchange(nullptr);
        if (!port || r.epoch != mEpoch || !Live()) continue;
        if (r.slot->renamed[d]) jack_port_rename(mClient[d], port, OwnName(d, r.slot->number[d]).c_str());
        mPool[d].push_back(Pooled{port, r.slot->number[d]});
      }
      mRetired.erase(mRetired.begin() + (long)i);
    }
  }

  // The process's end, the thread ended: the live epoch's clients close, each
  // within a bound; one that does not is left to the server.
  void CloseClients()
  {
    NoteGone();
    if (!Live()) return;
    jack_client_t* clients[2] = {mClient[0], mClient[1]};
    mClient[0] = mClient[1] = nullptr;
    struct Closing
    {
      std::mutex lock;
      std::condition_variable done;
      int closed = 0;
    };
    auto closing = std::make_shared<Closing>();
    std::thread([clients, closing] {
      for (jack_client_t* c : clients)
      {
        jack_client_close(c);
        gClosed.fetch_add(1);
        std::lock_guard<std::mutex> l(closing->lock);
        ++closing->closed;
        closing->done.notify_all();
      }
    }).detach();
    std::unique_lock<std::mutex> l(closing->lock);
    if (!closing->done.wait_for(l, std::chrono::milliseconds(400), [&] { return closing->closed == 2; }))
      ConsoleLog("MIDI: a JACK client has not closed within 400 ms at the process's end: left to the server\n");
  }

  std::mutex mLock;
  std::condition_variable mWake, mDone;
  std::deque<std::shared_ptr<Job>> mJobs;
  std::thread mThread;
  bool mStarted = false, mQuit = false, mEnded = false;
  // The owner's thread only.
  jack_client_t* mClient[2] = {nullptr, nullptr};
  Callbacks* mCb[2] = {nullptr, nullptr};
  std::vector<Callbacks*> mAllCb;  // every epoch's, kept (see Callbacks)
  std::string mOwnPrefix[2];
  unsigned mEpoch = 0, mEpochs = 0;
  std::shared_ptr<JackMidiSlot> mSlots[kSlots];
  std::vector<Retired> mRetired;
  // Ports of the live epoch no instance uses, kept registered for the next.
  struct Pooled
  {
    jack_port_t* port;
    int number;
  };
  std::vector<Pooled> mPool[2];
  Clock::time_point mNextTry;
  bool mFullSaid = false;
};

// Made at the first use, never destroyed: its end is EndJackMidiOwner's.
Owner& TheOwner()
{
  static Owner* owner = new Owner;
  return *owner;
}

std::atomic<bool> gUsed{false};

Owner& Used()
{
  gUsed.store(true);
  return TheOwner();
}

// The process's end (the library's statics go).
struct AtExit
{
  ~AtExit() { EndJackMidiOwner(); }
} gAtExit;

} // namespace

namespace JackMidiOwner
{
unsigned Epoch() { return gEpoch.load(); }
bool EpochLives(unsigned epoch) { return epoch != 0 && gEpoch.load() == epoch && gGone.load() != epoch; }
bool Ask(std::function<void(unsigned)> job, const std::atomic<bool>& giveUp) { return Used().Ask(std::move(job), &giveUp); }
bool AskWithin(std::function<void(unsigned)> job, std::chrono::milliseconds bound)
{
  static const std::atomic<bool> never{false};
  return Used().Ask(std::move(job), &never, false, Clock::now() + bound);
}
void DisconnectSlot(const std::shared_ptr<JackMidiSlot>& slot)
{
  TheOwner().Disconnect(slot, false);
  TheOwner().Disconnect(slot, true);
}
void Post(std::function<void(unsigned)> job) { Used().Ask(std::move(job), nullptr); }
std::vector<std::string> Ports(bool input) { return TheOwner().Ports(input); }
bool Register(const std::shared_ptr<JackMidiSlot>& slot, bool input) { return TheOwner().Register(slot, input); }
bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
{
  return TheOwner().Connect(slot, input, name);
}
void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input) { TheOwner().Disconnect(slot, input); }
bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName)
{
  return TheOwner().Rename(slot, input, shortName);
}
int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name)
{
  return TheOwner().Connected(slot, input, name);
}
double PeriodSeconds() { return TheOwner().PeriodSeconds(); }
void Release(std::shared_ptr<JackMidiSlot> slot)
{
  if (!slot || !gUsed.load()) return;
  TheOwner().Ask([slot](unsigned) { TheOwner().Release(slot); }, nullptr, false);
}
unsigned LastRefusal() { return gRefused.load(); }
int ClientsOpened() { return gOpened.load(); }
int ClientsClosed() { return gClosed.load(); }
} // namespace JackMidiOwner

void EndJackMidiOwner()
{
  if (gUsed.load()) TheOwner().End();
}
