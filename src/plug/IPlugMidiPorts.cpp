// The hardware MIDI port layer of IPlugBase, over RtMidi. The steps that need no
// port library are in MidiPortSelect; this file wraps RtMidi's objects in them,
// with one lock a direction, and carries messages from the input thread to the
// plug-in.

#include "plug/IPlugBase.h"

#include "base/log.h"
#include "plug/JackClientSettle.h"
#include "plug/JackServerEpoch.h"
#include "plug/MidiPortLook.h"
#include "plug/MidiPortSelect.h"

#include <RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

// How often the chosen ports are looked for. A port that goes and comes back
// within one look is seen by the connection it lost, where the interface tells.
const std::chrono::milliseconds kMidiPortWatchInterval(100);

// The names the plug-in's own ports take when they open.
const char* const kMidiOutPortName = "RtMidi Output";
const char* const kMidiInPortName = "RtMidi Input";

// RtMidi's JACK output carries one message through a ring of 16,384 bytes with
// a length in front; a longer message vanishes without a word.
const int kJackMaxMessageSize = 16379;

// What an output port chosen and still opening holds at most: a program dump and
// the clock beside it.
const size_t kMidiOutHeldMax = 65536;

// RtMidi's JACK objects do not throw when no server takes their client: they warn,
// leave an object without one, and try to open one again at every later call,
// under whatever lock the caller holds then. Such an object is never kept.
void NoteNoClient(RtMidiError::Type, const std::string& text, void* why)
{
  *static_cast<std::string*>(why) = text;
}

// A port object over JACK with a client of its own, opened under the openings'
// rule (JackClientSettle.h); epoch gets the client's. Throws RtMidiError when no
// server takes the client.
template <class T, class... Args>
T* NewJackPortObject(const char* direction, const std::string& client, unsigned* epoch, Args... args)
{
  JackClientOpening opening;
  std::unique_ptr<T> p(new T(RtMidi::UNIX_JACK, JackClientName(client), args...));
  // One without a client tries again here, and says why it has none.
  std::string why;
  p->setErrorCallback(&NoteNoClient, &why);
  p->getPortCount();
  p->setErrorCallback(nullptr, nullptr);
  if (!why.empty())
  {
    ConsoleLog("MIDI %s: %s\n", direction, why.c_str());
    throw RtMidiError(std::string("MIDI ") + direction + ": no JACK server takes the client", RtMidiError::DRIVER_ERROR);
  }
  *epoch = JackClientOpened();
  return p.release();
}

// The library's default interface: the ALSA sequencer where there is one, else
// JACK; epoch gets kNoJackEpoch for the sequencer.
template <class T, class... Args>
T* CreatePortObject(const char* direction, unsigned* epoch, const std::string& client, Args... args)
{
  try
  {
    T* p = new T(RtMidi::LINUX_ALSA, client, args...);
    ConsoleLog("MIDI %s: using the ALSA sequencer\n", direction);
    *epoch = kNoJackEpoch;
    return p;
  }
  catch (RtMidiError& e)
  {
    ConsoleLog("MIDI %s: no ALSA sequencer (%s), using JACK\n", direction, e.what());
  }
  return NewJackPortObject<T>(direction, client, epoch, args...);
}

void LogPortWarning(RtMidiError::Type, const std::string& text, void* direction)
{
  ConsoleLog("MIDI %s: %s\n", (const char*)direction, text.c_str());
}

// The ports there are now. The library only warns when its server is missing:
// that goes to our log.
template <class T> unsigned CountPortsLoggingWhyNone(T* object, const char* direction)
{
  JackClientCall call;
  object->setErrorCallback(&LogPortWarning, (void*)direction);
  const unsigned n = object->getPortCount();
  object->setErrorCallback(nullptr, nullptr);
  return n;
}

} // namespace

// The input object's callback passes through this to the plug-in until the object
// is let go of: busy counts the callbacks under way, so that the one cutting the
// route knows when none can still reach the plug-in.
struct MidiInRoute
{
  explicit MidiInRoute(IPlugBase* p) : plug(p) {}
  std::atomic<IPlugBase*> plug;
  std::atomic<int> busy{0};

  // The port library's thread.
  static void Callback(double timeStamp, std::vector<unsigned char>* message, void* route)
  {
    MidiInRoute* r = static_cast<MidiInRoute*>(route);
    r->busy.fetch_add(1);
    if (IPlugBase* p = r->plug.load()) IPlugBase::MIDICallback(timeStamp, message, p);
    r->busy.fetch_sub(1);
  }
  void Cut()
  {
    plug.store(nullptr);
    while (busy.load() > 0) std::this_thread::yield();
  }
};

namespace {

// An input object with the plug-in's callback and filter, before any port opens,
// made with the interface api (JACK), or the library's default (UNSPECIFIED).
// Its route is made first: the object's client starts JACK's thread as it is
// made, and from the callback's installation on that thread reads the route.
RtMidiIn* NewMidiInObject(RtMidi::Api api, IPlugBase* plug, MidiInRoute** route, unsigned* epoch)
{
  std::unique_ptr<MidiInRoute> r(new MidiInRoute(plug));
  const std::string client = "RtMidi Input Client";
  RtMidiIn* in = nullptr;
  if (api == RtMidi::UNIX_JACK)
    in = NewJackPortObject<RtMidiIn>("IN", client, epoch, 100u);
  else if (api == RtMidi::UNSPECIFIED)
    in = CreatePortObject<RtMidiIn>("IN", epoch, client, 100u);
  else
  {
    in = new RtMidiIn(api, client, 100u);
    *epoch = kNoJackEpoch;
  }
  in->setCallback(&MidiInRoute::Callback, r.get());
  in->ignoreTypes(false, true, true);
  *route = r.release();
  return in;
}

} // namespace

// What both sides answer from the watch's look when there is one: the listing
// then never takes a port object's lock.
struct IPlugBase::MidiSideLook : MidiPortAccess
{
  MidiSideLook(IPlugBase* p, MidiPortLook* look) : mPlug(p), mLook(look) {}
  // What a choice is answered from until the next listing.
  std::vector<std::string> CurrentPortNames() override
  {
    std::vector<std::string> names = mLook ? mLook->Names(IsInput()) : MidiPortAccess::CurrentPortNames();
    mPlug->NoteMidiPortsSeen(IsInput(), names);
    return names;
  }
  std::vector<std::string> OwnPorts() override
  {
    return mLook ? mLook->OwnPorts(IsInput()) : std::vector<std::string>();
  }
  int Connected(const std::string& ours, const std::string& name) override
  {
    return mLook ? mLook->Connected(ours, name) : -1;
  }
  void LogPortLine(const std::string& line) override
  {
    MidiPortAccess::LogPortLine(line);
    mPlug->KeepMidiPortLine(line);
  }
  // From the look, else from the port object under its lock.
  unsigned PortCount() override { return mLook ? (unsigned)mLook->Names(IsInput()).size() : LockedPortCount(); }
  std::string PortName(unsigned port) override
  {
    if (!mLook) return LockedPortName(port);
    const std::vector<std::string> names = mLook->Names(IsInput());
    if (port >= names.size()) throw RtMidiError("MIDI: no port of that number", RtMidiError::INVALID_PARAMETER);
    return names[port];
  }
  virtual unsigned LockedPortCount() = 0;
  virtual std::string LockedPortName(unsigned port) = 0;
  IPlugBase* mPlug;
  MidiPortLook* mLook;
};

struct IPlugBase::MidiOutSide : MidiSideLook
{
  explicit MidiOutSide(IPlugBase* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return false; }
  bool Exists() const override { return mPlug->mMidiOut != nullptr; }
  // Under the send lock: other threads send or replace the object meanwhile, and
  // not every interface lets one object be used by two at once.
  unsigned LockedPortCount() override
  {
    JackClientCall call;
    std::lock_guard<std::mutex> lock(mPlug->mMidiOutLock);
    if (!JackServerEpochLives(mPlug->mMidiOutEpoch.load())) return 0;
    return mPlug->mMidiOut ? mPlug->mMidiOut->getPortCount() : 0;
  }
  std::string LockedPortName(unsigned port) override
  {
    JackClientCall call;
    std::lock_guard<std::mutex> lock(mPlug->mMidiOutLock);
    if (!mPlug->mMidiOut || !JackServerEpochLives(mPlug->mMidiOutEpoch.load()))
      throw RtMidiError("MIDI OUT: no output object", RtMidiError::INVALID_USE);
    return mPlug->mMidiOut->getPortName(port);
  }
  // Under mMidiPortChange, the port closed: no send touches the object until it
  // is marked open, so the opening, which waits on the server, runs off the
  // senders' lock.
  void OpenPort(unsigned port) override
  {
    {
      JackClientCall call;
      if (!JackServerEpochLives(mPlug->mMidiOutEpoch.load()))
        throw RtMidiError("MIDI OUT: the JACK server has gone", RtMidiError::DRIVER_ERROR);
      mPlug->mMidiOut->openPort(port, kMidiOutPortName);
    }
    std::lock_guard<std::mutex> lock(mPlug->mMidiOutLock);
    mPlug->mMidiOutOpen = true;
    mPlug->mMidiOutClosedLogged = false;
  }
  // Under mMidiPortChange: sends stop first, then the port closes off their lock.
  void ClosePort() override
  {
    unsigned epoch = kNoJackEpoch;
    {
      std::lock_guard<std::mutex> lock(mPlug->mMidiOutLock);
      mPlug->mMidiOutOpen = false;
      epoch = mPlug->mMidiOutEpoch.load();
    }
    // RtMidi's JACK output waits a second for a period that a dead server never runs.
    JackClientCall call;
    if (mPlug->mMidiOut && JackServerEpochLives(epoch)) mPlug->mMidiOut->closePort();
  }
};

struct IPlugBase::MidiInSide : MidiSideLook
{
  explicit MidiInSide(IPlugBase* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return true; }
  bool Exists() const override { return mPlug->mMidiIn != nullptr; }
  // An opening replaces the object, and a replacement can fail: the object is held
  // while it is asked.
  unsigned LockedPortCount() override
  {
    JackClientCall call;
    std::lock_guard<std::mutex> lock(mPlug->mMidiInLock);
    if (!JackServerEpochLives(mPlug->mMidiInEpoch.load())) return 0;
    return mPlug->mMidiIn ? mPlug->mMidiIn->getPortCount() : 0;
  }
  std::string LockedPortName(unsigned port) override
  {
    JackClientCall call;
    std::lock_guard<std::mutex> lock(mPlug->mMidiInLock);
    if (!mPlug->mMidiIn || !JackServerEpochLives(mPlug->mMidiInEpoch.load()))
      throw RtMidiError("MIDI IN: no input object", RtMidiError::INVALID_USE);
    return mPlug->mMidiIn->getPortName(port);
  }
  void OpenPort(unsigned port) override
  {
    // Before any call into a client: the fresh object's opening holds them off.
    mPlug->ReplaceClosedMidiIn();
    JackClientCall call;
    std::lock_guard<std::mutex> lock(mPlug->mMidiInLock);
    if (!mPlug->mMidiIn) throw RtMidiError("MIDI IN: no input object", RtMidiError::INVALID_USE);
    if (!JackServerEpochLives(mPlug->mMidiInEpoch.load()))
      throw RtMidiError("MIDI IN: the JACK server has gone", RtMidiError::DRIVER_ERROR);
    // Its route is cut: tried again at the next opening.
    if (mPlug->mMidiInClosedKept)
      throw RtMidiError("MIDI IN: no fresh input object", RtMidiError::DRIVER_ERROR);
    // Even a failed opening may have left state in the object: it is replaced after the next closing.
    mPlug->mMidiInUsed = true;
    if (!mPlug->mMidiInThread.joinable() && !mPlug->mMidiInStopped.load())
      mPlug->mMidiInThread = std::thread([plug = mPlug] { plug->RunMidiInput(); });
    mPlug->mMidiIn->openPort(port, kMidiInPortName);
    // MIDICallback was installed with the object.
    mPlug->mMidiIn->ignoreTypes(false, true, true);
  }
  void ClosePort() override { mPlug->CloseMidiIn(true); }
};

// ---- lists (built on the thread that creates the plug-in, or on its helper) ----

void IPlugBase::ReadMidiPortListsAhead()
{
  std::lock_guard<std::mutex> lock(mPortListsAheadLock);
  if (mPortListsAheadStarted) return;
  mPortListsAheadStarted = true;
  mPortListsAhead = std::thread([this] {
    try
    {
      ReadMidiOutNames();
      ReadMidiInNames();
    }
    catch (std::exception& e)
    {
      // The list not read is read again when it is first asked for.
      ConsoleLog("MIDI: the port lists could not be read ahead: %s\n", e.what());
    }
    std::lock_guard<std::mutex> done(mPortListsAheadLock);
    mPortListsAheadDone = true;
    mPortListsAheadEnded.notify_all();
  });
}

namespace {

// How long the teardown and the port layer's entries wait for a thread of the port
// layer that is inside a call into a server that does not answer.
const std::chrono::milliseconds kPortThreadBound(2000);

// Said once in the process, whichever thread it is.
void SayPortThreadKept(const char* what)
{
  static std::atomic<bool> said{false};
  if (said.exchange(true)) return;
  ConsoleLog("MIDI: %s has not ended within %d ms (the JACK server does not answer): no one waits for it, "
             "and the plug-in's port layer is kept for it\n",
             what, (int)kPortThreadBound.count());
}

// Joins thread once done() holds (told through ended, under lock), waiting
// kPortThreadBound at most: a thread still inside the port library then is left
// to end by itself, the log says so once, and false is the answer.
template <class Done>
bool JoinPortThreadWithin(std::unique_lock<std::mutex>& lock, std::condition_variable& ended, Done done,
                          std::thread& thread, const char* what)
{
  if (!ended.wait_for(lock, kPortThreadBound, done))
  {
    if (thread.joinable()) thread.detach();
    lock.unlock();
    SayPortThreadKept(what);
    return false;
  }
  std::thread ended_thread;
  std::swap(ended_thread, thread);
  lock.unlock();
  if (ended_thread.joinable()) ended_thread.join();
  return true;
}

} // namespace

// Bounded: false while the thread is still inside the port library after the
// bound; the lists are then not read yet, and the thread is left to end by itself.
bool IPlugBase::WaitForPortListsAhead()
{
  std::unique_lock<std::mutex> lock(mPortListsAheadLock);
  if (!mPortListsAheadStarted) return true;
  return JoinPortThreadWithin(lock, mPortListsAheadEnded, [this] { return mPortListsAheadDone; }, mPortListsAhead,
                              "the reading of the port lists");
}

std::vector<std::string> IPlugBase::getExternalMIDIOutNames()
{
  if (!WaitForPortListsAhead()) return {"OFF"};
  return ReadMidiOutNames();
}

std::vector<std::string> IPlugBase::getExternalMIDIInNames()
{
  if (!WaitForPortListsAhead()) return {"OFF"};
  return ReadMidiInNames();
}

std::vector<std::string> IPlugBase::ReadMidiOutNames()
{
  if (!mMidiOutNames.empty()) return mMidiOutNames;
  ConsoleLog("MIDI OUT INITIALIZATION\n");
  mMidiOutIndex = 0;
  RtMidiOut* out = nullptr;
  unsigned epoch = kNoJackEpoch;
  try
  {
    out = CreatePortObject<RtMidiOut>("OUT", &epoch, std::string("RtMidi Output Client"));
  }
  catch (RtMidiError& e)
  {
    ConsoleLog("No MIDI output ports available!\n");
    e.printMessage();
    mMidiOutNames.push_back("OFF");
    return mMidiOutNames;
  }
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    mMidiOut = out;
    mMidiOutJack = epoch != kNoJackEpoch;
    mMidiOutEpoch.store(epoch);
    mMidiOutOpen = false;
  }
  MidiOutSide side(this);
  mMidiOutNames = ReadMidiPortNames(side, CountPortsLoggingWhyNone(mMidiOut, "OUT"));
  NoteMidiPortsSeen(false, std::vector<std::string>(mMidiOutNames.begin() + 1, mMidiOutNames.end()));
  return mMidiOutNames;
}

std::vector<std::string> IPlugBase::ReadMidiInNames()
{
  if (!mMidiInNames.empty()) return mMidiInNames;
  ConsoleLog("MIDI IN INITIALIZATION\n");
  mMidiInIndex = 0;
  RtMidiIn* in = nullptr;
  MidiInRoute* route = nullptr;
  unsigned epoch = kNoJackEpoch;
  try
  {
    in = NewMidiInObject(RtMidi::UNSPECIFIED, this, &route, &epoch);
    mMidiInApi = (int)in->getCurrentApi();
  }
  catch (RtMidiError& e)
  {
    ConsoleLog("No MIDI input ports available!\n");
    e.printMessage();
    mMidiInNames.push_back("OFF");
    return mMidiInNames;
  }
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    mMidiIn = in;
    mMidiInRoute = route;
    mMidiInEpoch.store(epoch);
  }
  MidiInSide side(this);
  mMidiInNames = ReadMidiPortNames(side, CountPortsLoggingWhyNone(mMidiIn, "IN"));
  NoteMidiPortsSeen(true, std::vector<std::string>(mMidiInNames.begin() + 1, mMidiInNames.end()));
  return mMidiInNames;
}

// ---- selection (callers hold mMutex; taken again here for callers that do not) ----

int IPlugBase::setExternalMIDIOut(int& index, const char* name)
{
  if (!WaitForPortListsAhead())
  {
    index = 0;
    return 0;
  }
  WDL_MutexLock lock(&mMutex);
  return ChooseMidiPort(false, index, name);
}

int IPlugBase::setExternalMIDIIn(int& index, const char* name)
{
  if (!WaitForPortListsAhead())
  {
    index = 0;
    return 0;
  }
  WDL_MutexLock lock(&mMutex);
  return ChooseMidiPort(true, index, name);
}

// Under mMutex, which the host's calls take, render included: nothing here calls
// the port library or waits for a lock held across a call into it. The answer
// comes from the list and the ports last seen; the watch's thread opens the port
// chosen at once, and says so, or that it is gone, and opens it once it is back.
int IPlugBase::ChooseMidiPort(bool input, int& index, const char* name)
{
  int& lastIndex = input ? mMidiInIndex : mMidiOutIndex;
  const std::vector<std::string>& names = input ? mMidiInNames : mMidiOutNames;
  lastIndex = index;
  if (index == 0 || (!input && names.empty()))
  {
    RecordMidiPortChoice(input, 0, std::string());
    return 0;
  }
  // A list of ports was read through an object; one let go of with a server that
  // went is made again by the watch, which then opens the port chosen.
  if (names.size() < 2)
  {
    index = 0;
    RecordMidiPortChoice(input, 0, std::string());
    return 0;
  }
  std::vector<std::string> seen;
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    seen = input ? mMidiInSeen : mMidiOutSeen;
  }
  if (input) ConsoleLog("RtMidiIn - number of midi input ports: %i\n", (int)seen.size());
  const int k = FindMidiPortName(names, name);
  if (k >= 0) ConsoleLog(input ? "Currently set input: %s\n" : "Currently set output: %s\n", names[k].c_str());
  if (input) ConsoleLog("RtMidiIn - port where we want to connect: %i\n", k);
  if (k < 0)
  {
    index = 0;
    RecordMidiPortChoice(input, 0, std::string());
    return 0;
  }
  index = k;
  if (k == 0)
  {
    RecordMidiPortChoice(input, 0, std::string());
    return 0;
  }
  bool there = false;
  for (const std::string& p : seen) there = there || p == names[k];
  if (!there)
  {
    MidiOutSide out(this);
    MidiInSide in(this);
    MidiPortAccess& side = input ? (MidiPortAccess&)in : (MidiPortAccess&)out;
    side.LogPortLine(std::string(input ? "MIDI IN" : "MIDI OUT") + " Port: " + names[k] + " is gone!\n");
    // Writing k back would show a port in the menu that takes or gives nothing.
    index = 0;
    RecordMidiPortChoice(input, 0, std::string());
    return 0;
  }
  RecordMidiPortChoice(input, k, names[k]);
  return k;
}

// Any thread, in no lock of the port layer: steps that cannot wait.
void IPlugBase::RecordMidiPortChoice(bool input, int k, const std::string& name)
{
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    std::unique_lock<std::mutex> o(mMidiOutLock, std::defer_lock);
    if (!input) o.lock();
    (input ? mMidiInChoices : mMidiOutChoices).push_back({k, name, input ? 0u : ++mMidiOutChoiceSerial});
    mMidiChoicesUnderWay.fetch_add(1);
    mMidiChoicePending.store(true);
    if (!input)
    {
      // Nothing goes to the port that was open from here on.
      mMidiOutOpening = k > 0;
      mMidiOutOpen = false;
      if (k == 0)
      {
        mMidiOutHeld.clear();
        mMidiOutHeldBytes = 0;
      }
    }
  }
  StartMidiPortWatch();
  {
    std::lock_guard<std::mutex> l(mMidiWatchLock);
  }
  mMidiWatchWake.notify_all();
}

void IPlugBase::NoteMidiPortsSeen(bool input, const std::vector<std::string>& names)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  (input ? mMidiInSeen : mMidiOutSeen) = names;
}

// The watch's thread, under mMidiPortChange: the choices made since the last look,
// in order, each closing the port open and opening the one chosen. One chosen that
// is not there, or could not be opened, is watched for as one gone.
void IPlugBase::ApplyMidiPortChoices()
{
  if (!mMidiChoicePending.exchange(false)) return;
  for (bool input : {false, true})
  {
    for (;;)
    {
      MidiPortChoice c;
      {
        std::lock_guard<std::mutex> l(mMidiChoiceLock);
        std::deque<MidiPortChoice>& q = input ? mMidiInChoices : mMidiOutChoices;
        if (q.empty()) break;
        c = q.front();
        q.pop_front();
      }
      struct Taken
      {
        std::atomic<int>& n;
        ~Taken() { n.fetch_sub(1); }
      } taken{mMidiChoicesUnderWay};
      MidiPortLook* look = c.k > 0 ? MidiLook() : mMidiLook;
      MidiOutSide out(this, look);
      MidiInSide in(this, look);
      MidiPortAccess& side = input ? (MidiPortAccess&)in : (MidiPortAccess&)out;
      MidiPortWatch& watch = input ? mMidiInWatch : mMidiOutWatch;
      if (side.Exists()) side.ClosePort();
      std::string ours;
      int number = -1;
      if (c.k > 0 && side.Exists()) number = OpenChosenMidiPort(side, c.name, &ours);
      WatchChosenMidiPort(side, watch, c.name, ours);
      if (c.k > 0 && number < 0)
      {
        watch.missing.store(true);
        watch.reopenFailed = number != -1;
      }
      if (input) continue;
      // What was sent while the port opened goes now, before anything sent after;
      // unless another choice came meanwhile, which keeps it for its own port. The
      // choices' lock is not held here: a send may wait for room on the server.
      std::lock_guard<std::mutex> o(mMidiOutLock);
      if (mMidiOutChoiceSerial != c.serial) continue;
      const bool open = mMidiOutOpen && JackServerEpochLives(mMidiOutEpoch.load());
      for (const std::vector<unsigned char>& m : mMidiOutHeld)
      {
        if (!open)
        {
          watch.dropped.fetch_add(1);
          continue;
        }
        try
        {
          mMidiOut->sendMessage(m.data(), m.size());
        }
        catch (RtMidiError& e)
        {
          e.printMessage();
        }
      }
      mMidiOutHeld.clear();
      mMidiOutHeldBytes = 0;
      mMidiOutOpening = false;
    }
  }
}

// Under mMidiPortChange, at the first choice of a port: an instance whose ports
// stay off makes no look (over JACK, no client).
MidiPortLook* IPlugBase::MidiLook()
{
  if (mMidiLookTried) return mMidiLook;
  mMidiLookTried = true;
  int api = -1;
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    if (mMidiOut) api = (int)mMidiOut->getCurrentApi();
  }
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    if (api < 0 && mMidiIn) api = mMidiInApi;
  }
  if (api < 0) return nullptr;
  mMidiLook = UsesJack()
                  ? NewJackMidiPortLook(JackClientName("Davrel Port Watch"), kMidiOutPortName, kMidiInPortName)
                  : NewLibraryMidiPortLook(api, "RtMidi Output Client", "RtMidi Input Client");
  return mMidiLook;
}

// mMidiInApi is set once, with the input list, before any selection.
bool IPlugBase::UsesJack()
{
  std::lock_guard<std::mutex> lock(mMidiOutLock);
  return mMidiOutJack || mMidiInApi == RtMidi::UNIX_JACK;
}

// A port object over JACK is a JACK client: closed apart from the others while its
// epoch lives, else kept (JackServerEpoch.h).
template <class T> void IPlugBase::RetirePortObject(T* object, unsigned epoch)
{
  if (!object) return;
  if (epoch == kNoJackEpoch)
    delete object;
  else
    RetireJackClient(epoch, [object] { delete object; }, [object] { KeepJackClientOfGoneServer(object); });
}

// After its port is closed: once no callback of it can reach the plug-in any more.
void IPlugBase::RetireMidiIn(RtMidiIn* in, MidiInRoute* route, unsigned epoch)
{
  if (route) route->Cut();
  if (in && epoch != kNoJackEpoch)
  {
    RetireJackClient(
        epoch,
        [in, route] {
          delete in;
          delete route;
        },
        [in, route] {
          KeepJackClientOfGoneServer(in);
          KeepJackClientOfGoneServer(route);
        });
    return;
  }
  delete in;
  delete route;
}

void IPlugBase::SetMidiPortLog(std::function<void(const std::string&)> sink)
{
  std::lock_guard<std::mutex> lock(mMidiPortLogLock);
  mMidiPortLog = std::move(sink);
}

void IPlugBase::KeepMidiPortLine(const std::string& line)
{
  std::lock_guard<std::mutex> lock(mMidiPortLogLock);
  if (!mMidiPortLog) return;
  mMidiPortLog(!line.empty() && line.back() == '\n' ? line.substr(0, line.size() - 1) : line);
}

int IPlugBase::getExternalMIDIOutDevice(const char* name)
{
  if (!WaitForPortListsAhead()) return -1;
  std::lock_guard<std::mutex> change(mMidiPortChange);
  MidiOutSide side(this);
  return FindMidiDevice(side, mMidiOutNames, name);
}

int IPlugBase::getExternalMIDIInDevice(const char* name)
{
  if (!WaitForPortListsAhead()) return -1;
  std::lock_guard<std::mutex> change(mMidiPortChange);
  MidiInSide side(this);
  return FindMidiDevice(side, mMidiInNames, name);
}

int IPlugBase::GetMIDIOutPortNumber(const char* name)
{
  if (!WaitForPortListsAhead()) return -1;
  std::lock_guard<std::mutex> change(mMidiPortChange);
  MidiOutSide side(this);
  return MidiPortNumber(side, name);
}

int IPlugBase::GetMIDIInPortNumber(const char* name)
{
  if (!WaitForPortListsAhead()) return -1;
  std::lock_guard<std::mutex> change(mMidiPortChange);
  MidiInSide side(this);
  return MidiPortNumber(side, name);
}

bool IPlugBase::initializeVirtualOutput(std::string name)
{
  if (!WaitForPortListsAhead()) return false;
  RtMidiOut* out = nullptr;
  unsigned epoch = kNoJackEpoch;
  bool ok = true;
  try
  {
    out = CreatePortObject<RtMidiOut>("OUT", &epoch, std::string("RtMidi Output Client"));
    JackClientCall call;
    out->openVirtualPort("From " + name);
  }
  catch (RtMidiError& e)
  {
    RetirePortObject(out, epoch);
    out = nullptr;
    epoch = kNoJackEpoch;
    e.printMessage();
    ok = false;
  }
  RtMidiOut* old = nullptr;
  unsigned oldEpoch = kNoJackEpoch;
  {
    // The port chosen by name is no longer the one sent to: nothing to watch.
    WDL_MutexLock plugLock(&mMutex);
    std::lock_guard<std::mutex> change(mMidiPortChange);
    MidiOutSide side(this);
    WatchChosenMidiPort(side, mMidiOutWatch, std::string());
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    old = mMidiOut;
    oldEpoch = mMidiOutEpoch.load();
    mMidiOut = out;
    mMidiOutJack = epoch != kNoJackEpoch;
    mMidiOutEpoch.store(epoch);
    mMidiOutOpen = ok;
  }
  // The replaced object is released, not leaked with its port open; no sender
  // can reach it any more.
  {
    JackClientCall call;
    if (old && JackServerEpochLives(oldEpoch)) old->closePort();
  }
  RetirePortObject(old, oldEpoch);
  return ok;
}

// ---- input (the port library's thread) ----

void IPlugBase::MIDICallback(double timeStamp, std::vector<unsigned char>* message, void* userData)
{
  if (!userData)
  {
    ConsoleLog("processMIDIInput at IPlugBase detected Message..\n");
    return;
  }
  static_cast<IPlugBase*>(userData)->processMIDIInput(timeStamp, message, userData);
}

void IPlugBase::processMIDIInput(double, std::vector<unsigned char>* message, void* userData)
{
  ConsoleLog("processMIDIInput at IPlugBase detected Message..\n");
  if (!userData || !message || message->empty()) return;
  IPlugBase* plug = static_cast<IPlugBase*>(userData);
  plug->mMidiInBusy.fetch_add(1);
  if (plug->mMidiInStopped.load() || plug->mMidiInClosing.load() > 0)
  {
    ConsoleLog("processMIDIInput at IPlugBase dropped a message: the input port closes\n");
    plug->mMidiInDropped.fetch_add(1);
  }
  else
  {
    // The library's runs are not trusted to be messages: it glues, splits and
    // passes on data bytes of messages whose start it never saw.
    plug->mMidiInFramer.Feed(
        message->data(), (int)message->size(),
        [plug](const unsigned char* bytes, int size) { plug->QueueMidiInput(bytes, size); },
        [plug](MidiInputFramer::DropKind kind, int size) { plug->CountMidiInDrop(kind, size); });
  }
  plug->mMidiInBusy.fetch_sub(1);
}

void IPlugBase::CountMidiInDrop(int kind, int size)
{
  mMidiInDropped.fetch_add(1);
  switch (kind)
  {
  case MidiInputFramer::kUnfinishedSysEx:
    ConsoleLog("processMIDIInput at IPlugBase dropped an unfinished SysEx message of %d bytes\n", size);
    break;
  case MidiInputFramer::kTooLongSysEx:
    ConsoleLog("processMIDIInput at IPlugBase dropped a SysEx message of %d bytes: too long\n", size);
    break;
  case MidiInputFramer::kUnfinishedMessage:
    ConsoleLog("processMIDIInput at IPlugBase dropped an unfinished MIDI message of %d bytes\n", size);
    break;
  default:
    ConsoleLog("processMIDIInput at IPlugBase dropped %d data bytes without a status byte\n", size);
    break;
  }
}

namespace
{
// Takes m, trying again every 100 us, unless giveUp() says to stop: false without it.
template <class GiveUp>
bool enterUnless(WDL_Mutex& m, GiveUp giveUp)
{
  while (!m.TryEnter())
  {
    if (giveUp()) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return true;
}
}  // namespace

void IPlugBase::QueueMidiInput(const unsigned char* bytes, int size)
{
  // Timing messages and active sensing found inside a run meet the same filter as alone.
  if (bytes[0] == 0xF8 || bytes[0] == 0xFE || bytes[0] == 0xF1) return;
  // The port library's thread: no lock, no allocation. A drop is counted by the
  // ring and logged by the input thread.
  mMidiInRing.Push(bytes, size);
}

void IPlugBase::LogMidiInRingDrops()
{
  // Under mMidiInQueueLock: the input thread and a closing both report.
  const long long tooLong = mMidiInRing.DroppedTooLong(), full = mMidiInRing.DroppedFull();
  const long long bytes = mMidiInRing.DroppedBytes();
  const long long newTooLong = tooLong - mMidiInRingTooLongLogged, newFull = full - mMidiInRingFullLogged;
  if (newTooLong == 0 && newFull == 0) return;
  ConsoleLog("MIDI IN: %lld messages of %lld bytes dropped: %lld longer than the input queue (%d bytes), %lld found "
             "it full\n",
             newTooLong + newFull, bytes - mMidiInRingBytesLogged, newTooLong, mMidiInRing.MaxMessageSize(), newFull);
  mMidiInDropped.fetch_add((int)(newTooLong + newFull));
  mMidiInRingTooLongLogged = tooLong;
  mMidiInRingFullLogged = full;
  mMidiInRingBytesLogged = bytes;
}

void IPlugBase::RunMidiInput()
{
  // The longest message the ring can hold, taken once.
  WDL_TypedBuf<unsigned char> message;
  message.Resize(mMidiInRing.MaxMessageSize());
  std::unique_lock<std::mutex> lock(mMidiInQueueLock);
  for (;;)
  {
    if (mMidiInQuit.load()) return;
    LogMidiInRingDrops();
    const int size = mMidiInRing.NextSize();
    if (size == 0)
    {
      lock.unlock();
      mMidiInRing.Wait();
      lock.lock();
      continue;
    }
    mMidiInRing.Read(message.Get());
    // Counted before the queue's lock is let go: a closing that found the queue
    // empty then waits for this message too.
    mMidiInBusy.fetch_add(1);
    lock.unlock();
    DeliverMidiInput(message.Get(), size);
    mMidiInBusy.fetch_sub(1);
    lock.lock();
  }
}

int IPlugBase::DropQueuedMidiInput()
{
  std::lock_guard<std::mutex> lock(mMidiInQueueLock);
  LogMidiInRingDrops();
  return mMidiInRing.Clear();
}

void IPlugBase::DeliverMidiInput(const unsigned char* bytes, int size)
{
  // Values from the hardware change only under mMutex; but a port closing under
  // it must never wait for this thread, so the message is dropped instead.
  const auto closing = [this] { return mMidiInStopped.load() || mMidiInClosing.load() > 0; };
  if (closing() || !enterUnless(mMutex, closing))
  {
    ConsoleLog("processMIDIInput at IPlugBase dropped a message: the input port closes\n");
    mMidiInDropped.fetch_add(1);
    return;
  }
  if (size <= 3)
  {
    IMidiMsg msg(0, bytes[0], size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0);
    ConsoleLog("processMIDIInput at IPlugBase passed MIDI message to plugin..\n");
    ProcessMidiMsg(&msg, true);
  }
  else
  {
    // The bytes are the framer's own for the call.
    ISysEx sysex(0, bytes, size);
    ConsoleLog("processMIDIInput at IPlugBase passed SysEx message to plugin..\n");
    ProcessSysEx(&sysex, true);
  }
  mMutex.Leave();
}

bool IPlugBase::EnterMutexUnless(const std::atomic<bool>& giveUp)
{
  return enterUnless(mMutex, [&giveUp] { return giveUp.load(); });
}

void IPlugBase::BeginMidiInClose()
{
  mMidiInClosing.fetch_add(1);
  // Messages already on their way see the flag and leave without the mutex.
  while (mMidiInBusy.load() > 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void IPlugBase::EndMidiInClose()
{
  mMidiInClosing.fetch_sub(1);
}

// Under mMidiPortChange.
void IPlugBase::CloseMidiIn(bool replaceObject)
{
  BeginMidiInClose();
  RtMidiIn* used = nullptr;
  MidiInRoute *route = nullptr, *keptRoute = nullptr;
  bool wasUsed = false;
  unsigned epoch = kNoJackEpoch;
  {
    JackClientCall call;
    std::lock_guard<std::mutex> lock(mMidiInLock);
    wasUsed = mMidiInUsed;
    mMidiInUsed = false;
    epoch = mMidiInEpoch.load();
    // An object whose server has gone is only let go of.
    const bool gone = !JackServerEpochLives(epoch);
    mMidiInClosedKept = mMidiIn && !gone && (mMidiInClosedKept || (wasUsed && replaceObject));
    if (mMidiIn)
    {
      if (!gone) mMidiIn->closePort();
      // To be replaced at the next opening (ReplaceClosedMidiIn): kept until then.
      if (mMidiInClosedKept)
        keptRoute = mMidiInRoute;
      else if (wasUsed || gone)
      {
        std::swap(used, mMidiIn);
        std::swap(route, mMidiInRoute);
      }
    }
  }
  // RtMidi's input keeps a half-received system-exclusive message across
  // closePort and openPort and joins it with what arrives after the next
  // opening; it offers no way to forget it. Only deleting the object (with its
  // JACK client or ALSA thread) lets go of it; its route is cut first, so no
  // callback of it reaches the plug-in after.
  if (keptRoute) keptRoute->Cut();
  RetireMidiIn(used, route, epoch);
  // What the closed port delivered and the plug-in has not taken yet belongs to
  // that port: it goes with it.
  if (const int queued = DropQueuedMidiInput()) mMidiInDropped.fetch_add(queued);
  mMidiInFramer.End([this](MidiInputFramer::DropKind kind, int size) { CountMidiInDrop(kind, size); });
  if (wasUsed)
    ConsoleLog("MIDI IN: input port closed, %d pieces dropped while it was open\n", mMidiInDropped.exchange(0));
  EndMidiInClose();
}

// Under mMidiPortChange, as a port opens: the object a closing kept is replaced,
// the fresh one made first, off the port locks, and the old one let go of after.
// Over JACK, a client closed and another opened at once, or right after another
// program's client went (the port gone at a look), can take the number of a
// client the process's other clients have not yet seen go; jackd2's synchronous
// graph then stood still for ten client time-outs. So a port that goes closes no
// client and opens none, and a fresh client never takes its forerunner's place.
void IPlugBase::ReplaceClosedMidiIn()
{
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    // One of a server gone is let go of by the watch.
    if (!mMidiInClosedKept || !JackServerEpochLives(mMidiInEpoch.load())) return;
  }
  RtMidiIn* in = nullptr;
  MidiInRoute* route = nullptr;
  unsigned epoch = kNoJackEpoch;
  try
  {
    in = NewMidiInObject((RtMidi::Api)mMidiInApi, this, &route, &epoch);
  }
  catch (RtMidiError& e)
  {
    ConsoleLog("No MIDI input ports available!\n");
    e.printMessage();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    // The old object, its route and its epoch from here on.
    std::swap(in, mMidiIn);
    std::swap(route, mMidiInRoute);
    epoch = mMidiInEpoch.exchange(epoch);
    mMidiInClosedKept = false;
  }
  RetireMidiIn(in, route, epoch);
}

// ---- watch over the chosen ports ----

void IPlugBase::StartMidiPortWatch()
{
  std::lock_guard<std::mutex> lock(mMidiWatchLock);
  if (mMidiWatchStarted || mMidiWatchQuit.load()) return;
  mMidiWatchStarted = true;
  mMidiWatchThread = std::thread([this] { RunMidiPortWatch(); });
}

// Bounded: a watch still inside the port library after the bound is left to end
// by itself; asked again, this waits for that end (within the bound again).
bool IPlugBase::StopMidiPortWatch()
{
  std::unique_lock<std::mutex> lock(mMidiWatchLock);
  mMidiWatchQuit.store(true);
  mMidiWatchWake.notify_all();
  if (!mMidiWatchStarted) return true;
  return JoinPortThreadWithin(lock, mMidiWatchWake, [this] { return mMidiWatchEnded; }, mMidiWatchThread,
                              "the port watch");
}

void IPlugBase::RunMidiPortWatch()
{
  struct Ended
  {
    IPlugBase* p;
    ~Ended()
    {
      std::lock_guard<std::mutex> lock(p->mMidiWatchLock);
      p->mMidiWatchEnded = true;
      p->mMidiWatchWake.notify_all();
    }
  } ended{this};
  std::unique_lock<std::mutex> lock(mMidiWatchLock);
  for (;;)
  {
    // A choice is taken at once; ports are looked at every interval.
    mMidiWatchWake.wait_for(lock, kMidiPortWatchInterval,
                            [this] { return mMidiWatchQuit.load() || mMidiChoicePending.load(); });
    if (mMidiWatchQuit.load()) break;
    lock.unlock();
    LookAtMidiPorts();
    lock.lock();
  }
}

// The watch's thread. Nothing here takes mMutex, which the host's calls take,
// render included: every step below may wait on the JACK server (a frozen one for
// as long as it stays so). The selections are kept out by mMidiPortChange instead,
// the ports listed through the watch's own look, never the port objects a send
// locks; what is made is installed under the port locks in steps that cannot
// wait. A change (a port gone or back) is acted on as a selection does, the input
// side closed and opened the way a selection closes and opens it.
void IPlugBase::LookAtMidiPorts()
{
  std::lock_guard<std::mutex> change(mMidiPortChange);
  if (mMidiWatchQuit.load()) return;
  // A server that went took the look and the port objects with it: they are let
  // go of, the choices kept, and made again once a server takes clients.
  if (mMidiLook && !JackServerEpochLives(mMidiLook->Epoch())) LetGoOfGoneMidiServer();
  if (!mMidiLook && mMidiLookTried && UsesJack()) FindMidiServerAgain();
  if (mMidiLook && UsesJack()) MakeMissingMidiObjects();
  ApplyMidiPortChoices();
  MidiOutSide out(this, mMidiLook);
  MidiInSide in(this, mMidiLook);
  WatchMidiPort(out, mMidiOutWatch);
  WatchMidiPort(in, mMidiInWatch);
  // A direction with no port chosen is looked at too, for the next choice.
  if (mMidiLook && mMidiOutWatch.name.empty()) out.CurrentPortNames();
  if (mMidiLook && mMidiInWatch.name.empty()) in.CurrentPortNames();
}

// The watch's thread, under mMidiPortChange: the look and both port objects are
// let go of, those of the ended epoch without a call into them (RtMidi's JACK
// output would wait for ever for room in its ring, or a second for a period, on a
// dead server); the chosen ports count as gone and are said so, once.
void IPlugBase::LetGoOfGoneMidiServer()
{
  ConsoleLog("MIDI: the JACK server has gone\n");
  for (MidiPortWatch* w : {&mMidiOutWatch, &mMidiInWatch})
  {
    if (w->name.empty() || w->missing.load()) continue;
    w->missing.store(true);
    MidiOutSide out(this);
    MidiInSide in(this);
    MidiPortAccess& side = w == &mMidiOutWatch ? (MidiPortAccess&)out : (MidiPortAccess&)in;
    side.LogPortLine(std::string(side.IsInput() ? "MIDI IN" : "MIDI OUT") + " Port: " + w->name + " is gone!\n");
  }
  RtMidiOut* out = nullptr;
  unsigned epoch = kNoJackEpoch;
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    std::swap(out, mMidiOut);
    mMidiOutOpen = false;
    epoch = mMidiOutEpoch.load();
  }
  RetirePortObject(out, epoch);
  CloseMidiIn(false);
  delete mMidiLook;
  mMidiLook = nullptr;
}

// The watch's thread, under mMidiPortChange, while the server is lost: once one
// takes clients again, the look and the port objects are made anew, all in one
// epoch. The watch then opens the chosen ports by their names as for any port
// that came back.
void IPlugBase::FindMidiServerAgain()
{
  MidiPortLook* look =
      NewJackMidiPortLook(JackClientName("Davrel Port Watch"), kMidiOutPortName, kMidiInPortName);
  if (!look) return;
  RtMidiOut* out = nullptr;
  RtMidiIn* in = nullptr;
  MidiInRoute* route = nullptr;
  unsigned outEpoch = kNoJackEpoch, inEpoch = kNoJackEpoch;
  try
  {
    out = NewJackPortObject<RtMidiOut>("OUT", "RtMidi Output Client", &outEpoch);
    in = NewMidiInObject(RtMidi::UNIX_JACK, this, &route, &inEpoch);
  }
  catch (RtMidiError& e)
  {
    // Tried again at the next look.
    e.printMessage();
  }
  // An opening may have had JACK's library free the clients made before it: those
  // are kept, the others closed, and all made again at the next look.
  const unsigned epoch = look->Epoch();
  if (!in || outEpoch != epoch || inEpoch != epoch || !JackServerEpochLives(epoch))
  {
    RetirePortObject(out, outEpoch);
    RetireMidiIn(in, route, inEpoch);
    delete look;
    return;
  }
  ConsoleLog("MIDI: a JACK server takes clients again\n");
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    mMidiOut = out;
    mMidiOutEpoch.store(outEpoch);
    mMidiOutOpen = false;
  }
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    mMidiIn = in;
    mMidiInRoute = route;
    mMidiInEpoch.store(inEpoch);
  }
  mMidiLook = look;
}

// The watch's thread, under mMidiPortChange: a port object that could not be
// made again after a closing (no server took its client then) is made now.
void IPlugBase::MakeMissingMidiObjects()
{
  if (!mMidiOut)
  {
    unsigned epoch = kNoJackEpoch;
    try
    {
      RtMidiOut* out = NewJackPortObject<RtMidiOut>("OUT", "RtMidi Output Client", &epoch);
      std::lock_guard<std::mutex> lock(mMidiOutLock);
      mMidiOut = out;
      mMidiOutEpoch.store(epoch);
      mMidiOutOpen = false;
    }
    catch (RtMidiError&)
    {
    }
  }
  if (!mMidiIn && mMidiInApi == RtMidi::UNIX_JACK)
  {
    MidiInRoute* route = nullptr;
    unsigned epoch = kNoJackEpoch;
    try
    {
      RtMidiIn* in = NewMidiInObject(RtMidi::UNIX_JACK, this, &route, &epoch);
      std::lock_guard<std::mutex> lock(mMidiInLock);
      mMidiIn = in;
      mMidiInRoute = route;
      mMidiInEpoch.store(epoch);
    }
    catch (RtMidiError&)
    {
    }
  }
}

bool IPlugBase::StopMidiPortThreads()
{
  // Both waited for, each within its bound.
  const bool lists = WaitForPortListsAhead();
  const bool watch = StopMidiPortWatch();
  return lists && watch;
}

void IPlugBase::StopMidiInput()
{
  // Nothing opens a port again behind the teardown's back. A thread kept inside
  // the port library holds the objects and the change lock: all is left to it.
  const bool stopped = StopMidiPortThreads();
  mMidiInStopped.store(true);
  if (!stopped) return;
  {
    std::lock_guard<std::mutex> change(mMidiPortChange);
    CloseMidiIn(false);
  }
  std::thread input;
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    std::swap(input, mMidiInThread);
  }
  if (!input.joinable()) return;
  mMidiInQuit.store(true);
  mMidiInRing.Wake();
  // The input thread never waits for a thread that stops it without bound: a
  // message it holds is dropped once the stop is seen.
  if (input.get_id() == std::this_thread::get_id())
    input.detach();
  else
    input.join();
}

// ---- output (any thread) ----

bool IPlugBase::SendBytesToPort(const unsigned char* pData, int size)
{
  if (!pData || size <= 0) return false;
  std::lock_guard<std::mutex> lock(mMidiOutLock);
  if (mMidiOutJack && size > kJackMaxMessageSize)
  {
    ConsoleLog("MIDI OUT: a message of %d bytes is too long for the JACK output, not sent\n", size);
    return false;
  }
  // A port chosen and opening on the watch's thread: the message waits for it there.
  if (mMidiOutOpening)
  {
    if (mMidiOutHeldBytes + (size_t)size > kMidiOutHeldMax)
    {
      mMidiOutWatch.dropped.fetch_add(1);
      return false;
    }
    mMidiOutHeld.emplace_back(pData, pData + size);
    mMidiOutHeldBytes += (size_t)size;
    return true;
  }
  // A chosen port that went away takes nothing until it is back; the count is
  // logged then, or when another port is chosen. A server that has gone is seen
  // at once, before the watch's next look: RtMidi's JACK output would wait for
  // ever for room in a ring its dead server no longer empties.
  if (mMidiOutWatch.missing.load() || !JackServerEpochLives(mMidiOutEpoch.load()))
  {
    mMidiOutWatch.dropped.fetch_add(1);
    return false;
  }
  // RtMidi's JACK output waits for ever for room once a closed port has filled
  // its ring, so nothing goes to a port that is not open.
  if (!mMidiOut || !mMidiOutOpen)
  {
    if (!mMidiOutClosedLogged) ConsoleLog("MIDI OUT: no output port open, nothing sent\n");
    mMidiOutClosedLogged = true;
    return false;
  }
  try
  {
    mMidiOut->sendMessage(pData, size);
  }
  catch (RtMidiError& e)
  {
    e.printMessage();
    return false;
  }
  return true;
}

bool IPlugBase::SendMidiMsgToPort(IMidiMsg* pMsg)
{
  if (!pMsg) return false;
  unsigned char bytes[3];
  const int n = MidiMsgWireBytes(*pMsg, bytes);
  return SendBytesToPort(bytes, n);
}

bool IPlugBase::SendMidiSysexToPort(const unsigned char* pData, int size)
{
  WDL_TypedBuf<unsigned char> bytes(256);
  MidiSysexWireBytes(pData, size, &bytes);
  return SendBytesToPort(bytes.Get(), bytes.GetSize());
}

bool IPlugBase::SendMidiMsgs(WDL_TypedBuf<IMidiMsg>* pMsgs)
{
  bool all = true;
  const int n = pMsgs ? pMsgs->GetSize() : 0;
  for (int i = 0; i < n; ++i)
    if (!SendMidiMsg(pMsgs->Get() + i)) all = false;
  return all;
}

// ---- teardown: the output port and object, then the input ----

void IPlugBase::CloseMidiPorts()
{
  if (!StopMidiPortThreads()) return;
  {
    // A log sent in from a session that ended with the port gone still says what
    // was not sent.
    WDL_MutexLock lock(&mMutex);
    std::lock_guard<std::mutex> change(mMidiPortChange);
    MidiOutSide side(this);
    WatchChosenMidiPort(side, mMidiOutWatch, std::string());
  }
  RtMidiOut* out = nullptr;
  unsigned epoch = kNoJackEpoch;
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    epoch = mMidiOutEpoch.load();
    out = mMidiOut;
    mMidiOut = nullptr;
    mMidiOutOpen = false;
  }
  {
    JackClientCall call;
    if (out && JackServerEpochLives(epoch)) out->closePort();
  }
  RetirePortObject(out, epoch);
  StopMidiInput();
  RtMidiIn* in = nullptr;
  MidiInRoute* route = nullptr;
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    epoch = mMidiInEpoch.load();
    std::swap(in, mMidiIn);
    std::swap(route, mMidiInRoute);
  }
  RetireMidiIn(in, route, epoch);
  std::lock_guard<std::mutex> change(mMidiPortChange);
  delete mMidiLook;
  mMidiLook = nullptr;
}
