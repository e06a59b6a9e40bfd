// The port thread of the port layer (MidiPortLayer): the one thread of an instance that
// calls the port library (over the ALSA sequencer) or asks the process's JACK
// owner (over JACK). It reads the port lists, takes the choices the host's calls
// recorded, sends what was queued over ALSA (over JACK it only keeps the gate of the
// bridge's callback, which takes the sends itself), and looks at the ports.
// It takes no lock that a host's call, render included, or the UI thread takes,
// but the short ones that hand data over; over JACK it never calls into a server
// itself (the JACK bridge does, JackMidiOwner.h), so it ends at once whatever the
// server does. It sleeps until it is woken (a choice, a send over ALSA, the bridge
// taking what a choice waits for) or its next look is due.

#include "plug/MidiPortObjects.h"

#include <algorithm>
#include <climits>


namespace {

using Clock = std::chrono::steady_clock;

// How long the teardown waits for the port thread when it is inside a call into
// the port library that does not return.
const std::chrono::milliseconds kPortThreadBound(2000);

// Over ALSA: how often the send queue is looked at while sends come, and for how
// long after the last one (a send of the render thread wakes no one).
const std::chrono::microseconds kSendPoll(1000);
const std::chrono::milliseconds kSendPollFor(50);

// Over JACK, once the bridge has the slot's memory, it wakes the port thread at each
// change of the server's ports and connections (and the owner at an epoch's end):
// the ports are looked at then, and after this anyway (a stuck bridge is found at
// a look's question).
const std::chrono::milliseconds kJackLookFallback(2000);

// Over JACK, waiting for the bridge to take what a choice waits for (it wakes the
// port thread as it takes some): looked at again after this anyway.
const std::chrono::milliseconds kRoomLookAgain(50);

// Said once in the process, whichever thread it is.
void SayPortThreadKept()
{
  static std::atomic<bool> said{false};
  if (said.exchange(true)) return;
  ConsoleLog("MIDI: the port thread has not ended within %d ms (the port library does not return): no one waits "
             "for it, and the plug-in's port layer is kept for it\n",
             (int)kPortThreadBound.count());
}

} // namespace

// ---- the thread ----

void MidiPortLayer::StartMidiPortThread()
{
  std::lock_guard<std::mutex> lock(mMidiWatchLock);
  if (mMidiWatchStarted || mMidiWatchQuit.load()) return;
  mMidiWatchStarted = true;
  mMidiWatchThread = std::thread([this] { RunMidiPortThread(); });
}

// Any thread, no lock: a wake-up already due is not told twice.
void MidiPortLayer::WakeMidiPortThread()
{
  if (mMidiPortWork.exchange(true)) return;
  if (jackbridge::SlotMemory* m = mMidiShared.load())
    jackbridge::Wake(m->portWord, m->portSleeping);
  else
    jackbridge::Wake(mMidiPortWord, mMidiPortSleeping);
}

// The port thread, until the time given or a wake-up (WakeMidiPortThread, or the
// bridge's on its word). The word is read before the sleep is told: a wake-up in
// between moves it, and the wait returns at once.
void MidiPortLayer::SleepMidiPortThread(Clock::time_point until)
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  std::atomic<uint32_t>& word = m ? m->portWord : mMidiPortWord;
  std::atomic<uint32_t>& sleeping = m ? m->portSleeping : mMidiPortSleeping;
  const uint32_t seen = word.load();
  sleeping.store(1);
  const Clock::time_point now = Clock::now();
  if (!mMidiWatchQuit.load() && !mMidiPortWork.load() && now < until)
    jackbridge::FutexWait(&word, seen,
                          until == Clock::time_point::max()
                              ? -1
                              : (long long)std::chrono::duration_cast<std::chrono::nanoseconds>(until - now).count());
  sleeping.store(0);
}

bool MidiPortLayer::StopMidiPortThreads()
{
  std::unique_lock<std::mutex> lock(mMidiWatchLock);
  mMidiWatchQuit.store(true);
  mMidiWatchWake.notify_all();
  if (jackbridge::SlotMemory* m = mMidiShared.load()) jackbridge::Wake(m->portWord, m->portSleeping);
  jackbridge::Wake(mMidiPortWord, mMidiPortSleeping);
  // A question to the JACK owner under way is given up.
  JackMidiOwner::WakeAskers();
  if (!mMidiWatchStarted) return true;
  // Given up before: whether it has ended since, without a wait.
  if (mMidiWatchKept) return mMidiWatchEnded;
  if (!mMidiWatchWake.wait_for(lock, kPortThreadBound, [this] { return mMidiWatchEnded; }))
  {
    mMidiWatchKept = true;
    mMidiWatchThread.detach();
    lock.unlock();
    SayPortThreadKept();
    return false;
  }
  std::thread ended;
  std::swap(ended, mMidiWatchThread);
  lock.unlock();
  if (ended.joinable()) ended.join();
  return true;
}

void MidiPortLayer::RunMidiPortThread()
{
  struct Ended
  {
    MidiPortLayer* p;
    ~Ended()
    {
      std::lock_guard<std::mutex> lock(p->mMidiWatchLock);
      p->mMidiWatchEnded = true;
      p->mMidiWatchWake.notify_all();
    }
  } ended{this};
  // An ordinary priority: the thread waits on the JACK owner, and a realtime thread
  // doing that holds a core the audio server needs. Only a thread that does nothing
  // but hand over may run at realtime priority; no send waits for it over JACK.
  {
    std::lock_guard<std::mutex> change(mMidiPortChange);
    if (!mMidiWatchQuit.load()) ReadMidiPortLists();
  }
  if (!mMidiWatchQuit.load()) mOwner.OnMidiPortListsRead();
  Clock::time_point nextLook = Clock::now();
  while (!mMidiWatchQuit.load())
  {
    // A choice or a send is taken once it wakes the thread, a choice waiting for the
    // old port's sends once the bridge has taken some, and the ports are looked at
    // every interval. Over ALSA, while sends come, the queue is
    // looked at every kSendPoll, and a send wakes no one (a system call costs a send
    // more than the send). Over JACK the bridge's callback takes the sends itself.
    const Clock::time_point before = Clock::now();
    const bool polling = !mMidiShared.load() && before < mMidiOutPollUntil;
    mMidiPortPolling.store(polling);
    std::atomic_thread_fence(std::memory_order_seq_cst);  // against a sender's, past its push
    Clock::time_point until = std::min(nextLook, MidiOutPaceUntil());
    if (polling) until = std::min(until, before + kSendPoll);
    SleepMidiPortThread(until);
    if (mMidiWatchQuit.load()) break;
    mMidiPortWork.store(false);
    const unsigned reads = mMidiListsReads.load();
    {
      std::lock_guard<std::mutex> change(mMidiPortChange);
      const Clock::time_point now = Clock::now();
      jackbridge::SlotMemory* m = mMidiShared.load();
      const bool changed = m && m->graphChanges.load() != mMidiGraphSeen;
      if (!mMidiWatchQuit.load() && (mMidiChoicesUnderWay.load() > 0 || now >= nextLook || changed))
      {
        // Taken before the look: a change during it brings another.
        if (m) mMidiGraphSeen = m->graphChanges.load();
        LookAtMidiPorts();
        nextLook = now + (mMidiToldOfChanges ? std::chrono::duration_cast<Clock::duration>(kJackLookFallback)
                                             : std::chrono::duration_cast<Clock::duration>(kMidiPortWatchInterval));
      }
      const unsigned long long taken = MidiOutTaken();
      if (!mMidiWatchQuit.load()) SendQueuedMidiOut(ULLONG_MAX);
      if (MidiOutTaken() != taken) mMidiOutPollUntil = now + kSendPollFor;
      LogMidiOutQueueDrops();
      LogMidiOutRingBroken();
      LogMidiOutLostWithBridge();
      LogMidiJackXruns();
    }
    // Out of the lock, as at the start: the owner takes its own.
    if (mMidiListsReads.load() != reads && !mMidiWatchQuit.load()) mOwner.OnMidiPortListsRead();
  }
  std::lock_guard<std::mutex> change(mMidiPortChange);
  EndMidiPortThread();
}

// The port thread's last step, under mMidiPortChange: what is still queued goes to
// the open port, the rest is counted and said. Over JACK the bridge's callback takes
// it, every choice's gate opened, while the server takes it (within the release's
// bound), and the bridge counts what it could not write (or the owner, where no
// bridge has the slot); over ALSA it goes to the sequencer at once. The input is
// cut, the ALSA objects and the look are let go of, and the instance's slot is
// handed back to the JACK owner without a wait.
void MidiPortLayer::EndMidiPortThread()
{
  if (mMidiShared.load())
  {
    if (mMidiOutOpen.load() && !mMidiServerGone.load()) GateJackMidiOut(ULLONG_MAX, true);
  }
  else
  {
    if (mMidiOutOpen.load()) SendQueuedMidiOut(ULLONG_MAX, true);
    if (const int left = mMidiOutRing.Clear())
    {
      NoteMidiOutRefused(MidiOutTaken());
      ConsoleLog("MIDI OUT: %d messages not sent: the plug-in closed before they were handed to the port\n", left);
    }
  }
  LogMidiOutQueueDrops();
  LogMidiOutLostWithBridge();
  LogMidiJackXruns(true);
  // A log sent in from a session that ended with the port gone still says what
  // was not sent.
  MidiOutSide side(this);
  WatchChosenMidiPort(side, mMidiOutWatch, std::string());
  mMidiOutOpen.store(false);
  InstallMidiOut(nullptr);
  // Left closing: nothing the receiving side takes from now on reaches the ring.
  BeginMidiInClose();
  InstallMidiIn(nullptr, nullptr);
  if (const int queued = DropQueuedMidiInput()) mMidiInStream->dropped.fetch_add(queued);
  mMidiInStream->framer.End([this](MidiInputFramer::DropKind kind, int size) { CountMidiInDrop(kind, size); });
  delete mMidiLook;
  mMidiLook = nullptr;
  // The bridge writes what the send queue holds while the server takes it, then
  // its ports leave the server; what it could not write is counted in the log.
  if (mMidiSlot) JackMidiOwner::Release(mMidiSlot);
}

// ---- the lists ----

void MidiPortLayer::ReadMidiPortLists()
{
  std::vector<std::string> outs{"OFF"}, ins{"OFF"};
  // Why a direction lists no JACK port: the plug-in closed while its question
  // waited (given up, no refusal), the server refused the client, or took it and
  // went.
  const auto sayNoJackClient = [this](const char* side, const char* direction) {
    if (mMidiWatchQuit.load())
      ConsoleLog("%s: the plug-in closed before the JACK server answered: no ports listed\n", side);
    else if (JackMidiOwner::Unanswered(mMidiJackServer))
      ConsoleLog("%s: no JACK client is open yet: no JACK server has answered the bridge\n", side);
    else if (JackMidiOwner::NoBridge(mMidiJackServer))
      ConsoleLog("%s: no JACK client is open: the JACK bridge could not be started\n", side);
    else if (const unsigned status = JackMidiOwner::LastRefusal(mMidiJackServer))
      ConsoleLog("%s: no JACK server takes the client (JACK status 0x%x)\n", side, status);
    else
      ConsoleLog("%s: no JACK client is open: the server went as it opened\n", side);
    if (!mMidiWatchQuit.load()) ConsoleLog("No MIDI %s ports available!\n", direction);
  };
  ConsoleLog("MIDI OUT INITIALIZATION\n");
  // Without the ALSA sequencer the ports are JACK's, even with no JACK server yet:
  // a port chosen by name then opens once a server takes clients.
  if (RtMidiOut* out = NewAlsaPortObject<RtMidiOut>("OUT", "RtMidi Output Client"))
  {
    InstallMidiOut(out);
    MidiOutSide side(this);
    outs = ReadMidiPortNames(side, out->getPortCount());
  }
  else
  {
    mMidiSlot = mMidiSendSlot;
    mMidiShared.store(mMidiSlot->mem);
    mMidiJack.store(true);
    MidiOutSide side(this);
    const unsigned n = side.PortCount();
    mMidiJackEpoch = JackMidiOwner::Epoch(mMidiJackServer);
    if (!mMidiJackEpoch) sayNoJackClient("MIDI OUT", "output");
    mMidiListsAwaitServer.store(!mMidiJackEpoch);
    outs = ReadMidiPortNames(side, n);
  }
  ConsoleLog("MIDI IN INITIALIZATION\n");
  if (!mMidiJack.load())
  {
    MidiInRoute* route = nullptr;
    if (RtMidiIn* in = NewMidiInObject(this, &route, true))
    {
      InstallMidiIn(in, route);
      MidiInSide side(this);
      ins = ReadMidiPortNames(side, in->getPortCount());
    }
    else
      ConsoleLog("No MIDI input ports available!\n");
  }
  else
  {
    ConsoleLog("MIDI IN: using JACK, as the output does\n");
    MidiInSide side(this);
    const unsigned n = side.PortCount();
    if (!JackMidiOwner::Epoch(mMidiJackServer)) sayNoJackClient("MIDI IN", "input");
    ins = ReadMidiPortNames(side, n);
  }
  StoreMidiPortLists(outs, ins);
  mMidiListsReads.fetch_add(1);
}

void MidiPortLayer::StoreMidiPortLists(const std::vector<std::string>& outs, const std::vector<std::string>& ins)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  mMidiOutNames = outs;
  mMidiInNames = ins;
  NoteMidiPortsListed();
  mMidiOutSeen.assign(outs.begin() + 1, outs.end());
  mMidiInSeen.assign(ins.begin() + 1, ins.end());
}

// Under mMidiChoiceLock: the names the lists hold now join those they ever held.
void MidiPortLayer::NoteMidiPortsListed()
{
  const std::pair<const std::vector<std::string>*, std::vector<std::string>*> sides[2] = {
      {&mMidiOutNames, &mMidiOutListed}, {&mMidiInNames, &mMidiInListed}};
  for (const auto& side : sides)
    for (size_t k = 1; k < side.first->size(); ++k)
      if (std::find(side.second->begin(), side.second->end(), (*side.first)[k]) == side.second->end())
        side.second->push_back((*side.first)[k]);
}

// The port thread, over JACK, at the first look with clients after lists read
// while the bridge had none (no server yet, or one slow to answer, or starved): the
// menus then get the ports. A choice kept by its name stays in them.
void MidiPortLayer::ReadJackPortListsAgain(MidiPortAccess& out, MidiPortAccess& in)
{
  ConsoleLog("MIDI: a JACK server takes clients: the port lists are read again\n");
  const std::vector<std::string> outs = ReadMidiPortNames(out, out.PortCount());
  const std::vector<std::string> ins = ReadMidiPortNames(in, in.PortCount());
  StoreMidiPortLists(outs, ins);
  mMidiListsAwaitServer.store(false);
  mMidiListsReads.fetch_add(1);
}

// ---- installing what was made (ALSA): the one place a direction's object changes ----

// The port thread: out becomes the output object, closed; the one it replaces is deleted.
void MidiPortLayer::InstallMidiOut(RtMidiOut* out)
{
  RtMidiOut* old = nullptr;
  mMidiOutOpen.store(false);
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    old = mMidiOut;
    mMidiOut = out;
  }
  delete old;
}

// The port thread: in, with its route, becomes the input object; the one it
// replaces is deleted once no callback of it can reach the plug-in.
void MidiPortLayer::InstallMidiIn(RtMidiIn* in, MidiInRoute* route)
{
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    std::swap(in, mMidiIn);
    std::swap(route, mMidiInRoute);
    mMidiInClosedKept = false;
    mMidiInUsed = false;
  }
  RetireMidiIn(in, route);
}

// ---- choices ----

// The port thread, under mMidiPortChange: the last choice of each direction. What
// was queued before the output's first choice of a burst goes to the port open
// until then, and has reached the server's buffer before the port moves; every
// later send goes to the port of the last choice. The input's is taken at once.
void MidiPortLayer::ApplyMidiPortChoices()
{
  MidiPortChoice out, in;
  bool outReady = false;
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    out.first = mMidiOutChoice.first;
    outReady = mMidiOutChoice.pending;
  }
  if (outReady)
  {
    SendQueuedMidiOut(out.first);
    // For a port gone, or none: counted as not sent while it was gone.
    if (MidiOutTaken() < out.first && !mMidiOutOpen.load()) DropQueuedMidiOut(out.first);
    // Still on its way to the old port (the server's buffers take it a period at a
    // time, none while it stands still): the choice waits.
    outReady = MidiOutTaken() >= out.first;
  }
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    if (outReady) std::swap(out, mMidiOutChoice);
    std::swap(in, mMidiInChoice);
  }
  if (in.pending)
  {
    ApplyMidiPortChoice(true, in);
    mMidiChoicesUnderWay.fetch_sub(1);
  }
  if (out.pending)
  {
    ApplyMidiPortChoice(false, out);
    mMidiOutChoicesUnderWay.fetch_sub(1);
    mMidiChoicesUnderWay.fetch_sub(1);
  }
}

// Closes the direction's port and opens the one named, looked for afresh; one not
// there, or that could not be opened, is watched for as one gone, and opened once
// it is there.
void MidiPortLayer::ApplyMidiPortChoice(bool input, const MidiPortChoice& c)
{
  if (c.k < 0)
  {
    OpenVirtualMidiOut(c.name);
    return;
  }
  MidiPortLook* look = mMidiJack.load() ? nullptr : c.k > 0 ? MidiLook() : mMidiLook;
  MidiOutSide out(this, look);
  MidiInSide in(this, look);
  MidiPortAccess& side = input ? (MidiPortAccess&)in : (MidiPortAccess&)out;
  MidiPortWatch& watch = input ? mMidiInWatch : mMidiOutWatch;
  // Nothing goes out to the old port meanwhile (the output's gate was shut with the
  // choice); what it sends the input then is taken as if sent a moment earlier.
  mMidiJackCutLater = c.k > 0 && mMidiJack.load();
  if (side.Exists()) side.ClosePort();
  mMidiJackCutLater = false;
  std::string ours;
  int number = -1;
  if (c.k > 0 && side.Exists()) number = OpenChosenMidiPort(side, c.name, &ours);
  if (mMidiJackCutDue[input ? 1 : 0]) (input ? (MidiSideLook&)in : (MidiSideLook&)out).DisconnectJack();
  WatchChosenMidiPort(side, watch, c.name, ours);
  if (c.k > 0 && number < 0)
  {
    watch.missing.store(true);
    watch.reopenFailed = number != -1;
  }
  if (c.k > 0 && !side.Exists()) watch.missing.store(true);
}

// A virtual output port of that name replaces the output: the port chosen by name
// is no longer the one sent to, nothing is watched. Over JACK the instance's
// output port takes the name, joined to nothing.
void MidiPortLayer::OpenVirtualMidiOut(const std::string& name)
{
  MidiOutSide side(this);
  WatchChosenMidiPort(side, mMidiOutWatch, std::string());
  if (mMidiJack.load())
  {
    std::shared_ptr<JackMidiSlot> slot = mMidiSlot;
    const unsigned epoch = AskJackOwner(mMidiJackServer, mMidiWatchQuit, 0u, [slot, name](unsigned e) {
      return JackMidiOwner::Rename(slot, false, name) ? e : 0u;
    });
    if (epoch) mMidiJackEpoch = epoch;
    mMidiOutOpen.store(epoch != 0);
    if (!epoch) ConsoleLog("MIDI OUT: the virtual port %s could not be opened\n", name.c_str());
    return;
  }
  RtMidiOut* out = nullptr;
  try
  {
    out = new RtMidiOut(RtMidi::LINUX_ALSA, "RtMidi Output Client");
    out->openVirtualPort(name);
  }
  catch (RtMidiError& e)
  {
    delete out;
    SayMidiError(e);
    InstallMidiOut(nullptr);
    return;
  }
  InstallMidiOut(out);
  mMidiOutOpen.store(true);
}

// Under mMidiPortChange, at the first choice of an ALSA port: an instance whose
// ports stay off makes no look.
MidiPortLook* MidiPortLayer::MidiLook()
{
  if (mMidiLookTried) return mMidiLook;
  mMidiLookTried = true;
  if (!mMidiOut && !mMidiIn) return nullptr;
  mMidiLook = NewLibraryMidiPortLook(RtMidi::LINUX_ALSA, "RtMidi Output Client", "RtMidi Input Client");
  return mMidiLook;
}

// ---- sends ----

// The port thread: when to look at the queue again. Over JACK only for a choice
// that waits for the bridge to take what was sent before it (woken as it takes
// some, and looked at again after kRoomLookAgain anyway) or for the input's
// choice that may come with the output's; the bridge takes the rest by itself.
// Over ALSA at once when something may go; never while nothing waits, or the port
// it waits for is gone (the looks then).
Clock::time_point MidiPortLayer::MidiOutPaceUntil()
{
  const Clock::time_point now = Clock::now();
  if (jackbridge::SlotMemory* m = mMidiShared.load())
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    if (mMidiOutChoice.pending && mMidiOutOpen.load() && MidiOutTaken() < mMidiOutChoice.first)
    {
      // Asked before the last look, so that one taken in between is not missed.
      m->roomWanted.store(1);
      if (MidiOutTaken() >= mMidiOutChoice.first) return now;
      return now + kRoomLookAgain;
    }
    if (now < mMidiOutChoiceAt + kMidiChoicePairing) return mMidiOutChoiceAt + kMidiChoicePairing;
    return Clock::time_point::max();
  }
  if (mMidiOutRing.NextSize() == 0) return Clock::time_point::max();
  if (!mMidiOutOpen.load()) return Clock::time_point::max();
  const unsigned long long limit = MidiOutSendLimit();
  if (MidiOutTaken() >= limit)
  {
    // Held for an input's choice that may come with the output's.
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    if (!mMidiOutChoice.pending && !mMidiInChoice.pending) return mMidiOutChoiceAt + kMidiChoicePairing;
    return Clock::time_point::max();
  }
  return now;
}

// The port thread: what may be sent now: up to the first send queued after a
// choice not yet applied, or after an output's choice whose input's choice may
// still come with it.
unsigned long long MidiPortLayer::MidiOutSendLimit()
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  return MidiOutSendLimitLocked();
}

unsigned long long MidiPortLayer::MidiOutSendLimitLocked()
{
  unsigned long long limit = ULLONG_MAX;
  if (mMidiOutChoice.pending) limit = std::min(limit, mMidiOutChoice.first);
  if (mMidiInChoice.pending) limit = std::min(limit, mMidiInChoice.before);
  if (Clock::now() < mMidiOutChoiceAt + kMidiChoicePairing) limit = std::min(limit, mMidiOutChoiceQueued);
  return limit;
}

// The port thread, under mMidiPortChange: the queued sends up to number upTo (and
// the choices' limit) go to the output port open, in order: over JACK the bridge's
// callback takes them (GateJackMidiOut), over ALSA to the sequencer. What waits for
// a port gone stays queued; what finds no port at all is counted. True when
// something still waits to go. ending: the port thread's end, which sends though
// the quit is set.
bool MidiPortLayer::SendQueuedMidiOut(unsigned long long upTo, bool ending)
{
  if (mMidiShared.load()) return GateJackMidiOut(upTo, ending);
  if (!ending) upTo = std::min(upTo, MidiOutSendLimit());
  std::vector<unsigned char> message;
  while (MidiOutTaken() < upTo && (ending || !mMidiWatchQuit.load()))
  {
    const int size = mMidiOutRing.NextSize();
    if (size == 0) return false;
    if (!mMidiOutOpen.load())
    {
      // Held for a port gone until it is back or another is chosen.
      if (mMidiOutWatch.missing.load() || mMidiServerGone.load()) return false;
      DropQueuedMidiOut(upTo);
      return false;
    }
    message.resize((size_t)size);
    mMidiOutRing.Read(message.data());
    if (!mMidiOut)
    {
      NoteMidiOutRefused(MidiOutTaken());
      continue;
    }
    try
    {
      mMidiOut->sendMessage(message.data(), message.size());
    }
    catch (RtMidiError& e)
    {
      SayMidiError(e);
      NoteMidiOutRefused(MidiOutTaken());
    }
  }
  return false;
}

// Over JACK, the port thread: the gate of the bridge's callback, which takes the
// sends itself: open up to upTo (and the choices' limit) while the output's port
// is open; shut while it is not, what waits for a port gone (or its server) held,
// what finds no port at all dropped and counted. True when something still waits
// within upTo.
bool MidiPortLayer::GateJackMidiOut(unsigned long long upTo, bool ending)
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  if (!mMidiOutOpen.load())
  {
    m->sendLimit.store(0);
    if (!mMidiOutWatch.missing.load() && !mMidiServerGone.load())
      DropQueuedMidiOut(ending ? upTo : std::min(upTo, MidiOutSendLimit()));
    return false;
  }
  if (mMidiWatchQuit.load() && !ending) return false;
  {
    // Under the lock the choices lower it under: none made meanwhile is undone.
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    upTo = ending ? upTo : std::min(upTo, MidiOutSendLimitLocked());
    m->sendLimit.store(upTo, std::memory_order_release);
  }
  return MidiOutTaken() < upTo && mMidiOutRing.NextSize() > 0;
}

// The port thread: what is queued before number upTo dropped, counted as not sent
// while its port was gone (or none was open). Over JACK while it holds the ring.
void MidiPortLayer::DropQueuedMidiOut(unsigned long long upTo)
{
  const bool jack = mMidiShared.load() != nullptr;
  if (jack && !HoldJackSends()) return;
  while (MidiOutTaken() < upTo && mMidiOutRing.NextSize() > 0)
  {
    mMidiOutRing.Read(nullptr);
    mMidiOutWatch.dropped.fetch_add(1);
    NoteMidiOutRefused(MidiOutTaken());
  }
  if (jack) LetGoJackSends();
}

// Over JACK, the port thread: the sends' ring held against the bridge's callback
// (which passes over it meanwhile). A live bridge holds it for microseconds at a
// time; one that holds it for 5 ms died inside its callback, and is not waited
// for once its epoch has ended. False when it cannot be held now.
bool MidiPortLayer::HoldJackSends()
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  for (int tries = 0; tries < 50; ++tries)
  {
    uint32_t nobody = jackbridge::kNobody;
    if (m->sendOwner.compare_exchange_strong(nobody, jackbridge::kHostTakes)) return true;
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  if (JackMidiOwner::EpochLives(mMidiJackServer, mMidiJackEpoch)) return false;
  m->sendOwner.store(jackbridge::kHostTakes);
  return true;
}

void MidiPortLayer::LetGoJackSends()
{
  mMidiShared.load()->sendOwner.store(jackbridge::kNobody, std::memory_order_release);
}

// The port thread: a run of sends refused by a full queue, said once.
void MidiPortLayer::LogMidiOutQueueDrops()
{
  const long long full = mMidiOutRing.DroppedFull() + mMidiOutRing.DroppedTooLong();
  if (full == mMidiOutFullLogged) return;
  ConsoleLog("MIDI OUT: %lld messages not sent: the send queue (%d bytes) was full\n", full - mMidiOutFullLogged,
             mMidiOutRing.Capacity());
  mMidiOutFullLogged = full;
}

// The port thread: the slot's send queue found broken by the bridge (its memory
// written over by another process) and cleared, said once each time; what was
// lost with it counts as refused.
void MidiPortLayer::LogMidiOutRingBroken()
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  if (!m) return;
  const unsigned long long broken = m->outBroken.load(), lost = m->outBrokenBytes.load();
  if (broken == mMidiOutBrokenSaid) return;
  const std::string line = "MIDI OUT: the JACK bridge found the sends' shared ring written over and cleared it: " +
                           std::to_string(lost - mMidiOutBrokenLostSaid) + " bytes not sent\n";
  mMidiOutBrokenSaid = broken;
  mMidiOutBrokenLostSaid = lost;
  SayMidiOutLoss(line);
}

// The port thread: the sends a JACK bridge had put into a period's buffer when it
// ended inside its callback (killed, crashed), and the one it was taking, as the
// bridge that took the slot after it counted them: said once each time, counted as
// refused. The figure is another process's word: never more than the sends taken.
void MidiPortLayer::LogMidiOutLostWithBridge()
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  if (!m) return;
  const unsigned long long lost = m->lostInPeriod.load();
  if (lost == mMidiOutLostSaid) return;
  const unsigned long long more = lost > mMidiOutLostSaid ? std::min(lost - mMidiOutLostSaid, MidiOutTaken()) : 0;
  mMidiOutLostSaid = lost;
  if (more == 0) return;
  const std::string line =
      "MIDI OUT: " + std::to_string(more) + " messages lost with the JACK bridge that ended inside a period\n";
  SayMidiOutLoss(line);
}

// The port thread: the server's xruns while a chosen port is open, said at each
// rise. An asynchronous server (JACK's default) runs on past a client late in its
// period, and its writers clear their buffers before the late one read them: what
// went out or came in then is lost, and no count can say which.
void MidiPortLayer::LogMidiJackXruns(bool ending)
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  if (!m) return;
  const unsigned long long xruns = m->xruns.load();
  if (xruns == mMidiXrunsSaid) return;
  // A starved server reports them by the hundred: one line a second at most, and
  // the rest at the end.
  const Clock::time_point now = Clock::now();
  if (!ending && now < mMidiXrunsSaidAt + std::chrono::seconds(1)) return;
  mMidiXrunsSaidAt = now;
  const unsigned long long more = xruns - mMidiXrunsSaid;
  mMidiXrunsSaid = xruns;
  const auto open = [](const MidiPortWatch& w) { return !w.name.empty() && !w.missing.load(); };
  if (!open(mMidiOutWatch) && !open(mMidiInWatch)) return;
  const std::string line = "MIDI: the JACK server reported " + std::to_string(more) +
                           " xruns (a period not finished in time): messages sent or received meanwhile may be lost\n";
  ConsoleLog("%s", line.c_str());
  KeepMidiPortLine(line);
}

// The port thread: sends lost on the way to the server, said and counted as refused.
void MidiPortLayer::SayMidiOutLoss(const std::string& line)
{
  ConsoleLog("%s", line.c_str());
  KeepMidiPortLine(line);
  NoteMidiOutRefused(MidiOutTaken());
}

// ---- the input's closing and replacement ----

void MidiPortLayer::BeginMidiInClose()
{
  mMidiInStream->closing.fetch_add(1);
  // Messages already on their way see the flag and leave without the mutex. The
  // receiving side only pushes: bounded, for one frozen with its server.
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(500);
  while (mMidiInStream->busy.load() > 0 && Clock::now() < end)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void MidiPortLayer::EndMidiInClose()
{
  mMidiInStream->closing.fetch_sub(1);
}

void MidiPortLayer::StartMidiInputThread()
{
  std::lock_guard<std::mutex> lock(mMidiInLock);
  if (!mMidiInThread.joinable() && !mMidiInStopped.load())
    mMidiInThread = std::thread([this] { RunMidiInput(); });
}

// The port thread.
void MidiPortLayer::CloseMidiIn(bool replaceObject)
{
  BeginMidiInClose();
  const bool wasUsed = mMidiInUsed;
  mMidiInUsed = false;
  if (mMidiJack.load())
  {
    MidiInSide side(this);
    side.DisconnectJack();
  }
  else
  {
    RtMidiIn* used = nullptr;
    MidiInRoute *route = nullptr, *keptRoute = nullptr;
    if (mMidiIn)
    {
      mMidiInClosedKept = mMidiInClosedKept || (wasUsed && replaceObject);
      mMidiIn->closePort();
    }
    else
      mMidiInClosedKept = false;
    {
      std::lock_guard<std::mutex> lock(mMidiInLock);
      // To be replaced at the next opening (ReplaceClosedMidiIn): kept until then.
      if (mMidiInClosedKept)
        keptRoute = mMidiInRoute;
      else if (mMidiIn && wasUsed)
      {
        std::swap(used, mMidiIn);
        std::swap(route, mMidiInRoute);
      }
    }
    // RtMidi's input keeps a half-received system-exclusive message across
    // closePort and openPort and joins it with what arrives after the next
    // opening; only deleting the object lets go of it. Its route is cut first.
    if (keptRoute) keptRoute->Cut();
    RetireMidiIn(used, route);
  }
  // What the closed port delivered and the plug-in has not taken yet belongs to
  // that port: it goes with it.
  if (const int queued = DropQueuedMidiInput()) mMidiInStream->dropped.fetch_add(queued);
  mMidiInStream->framer.End([this](MidiInputFramer::DropKind kind, int size) { CountMidiInDrop(kind, size); });
  if (wasUsed)
    ConsoleLog("MIDI IN: input port closed, %d pieces dropped while it was open\n", mMidiInStream->dropped.exchange(0));
  EndMidiInClose();
}

// The port thread, as an ALSA port opens: the object a closing kept is replaced.
void MidiPortLayer::ReplaceClosedMidiIn()
{
  if (!mMidiInClosedKept) return;
  MidiInRoute* route = nullptr;
  RtMidiIn* in = NewMidiInObject(this, &route, false);
  if (!in)
  {
    ConsoleLog("No MIDI input ports available!\n");
    return;
  }
  InstallMidiIn(in, route);
}

// Once no callback of it can reach the plug-in any more.
void MidiPortLayer::RetireMidiIn(RtMidiIn* in, MidiInRoute* route)
{
  if (route) route->Cut();
  delete in;
  delete route;
}

// ---- the look at the ports ----

// The port thread, under mMidiPortChange. A change (a port gone or back) is acted
// on as a choice is.
void MidiPortLayer::LookAtMidiPorts()
{
  if (mMidiJack.load()) FollowJackServer();
  ApplyMidiPortChoices();
  MidiOutSide out(this, mMidiLook);
  MidiInSide in(this, mMidiLook);
  // Over JACK the look's questions (both lists, both connections) are one request
  // to the owner: the thread wakes once for it, not once a question.
  if (mMidiJack.load()) AskJackLook();
  if (mMidiListsAwaitServer.load() && mMidiJackEpoch && !mMidiWatchQuit.load()) ReadJackPortListsAgain(out, in);
  // Over JACK the look listed both directions on the live server (or over ALSA
  // through the look's own objects): what the lists hold follows.
  const bool listed = mMidiJack.load() ? mMidiJackLook.valid && mMidiJackLook.epoch != 0 &&
                                             mMidiJackLook.epoch == mMidiJackEpoch && !mMidiListsAwaitServer.load()
                                       : mMidiLook != nullptr;
  mMidiToldOfChanges = mMidiJack.load() && mMidiJackLook.valid && mMidiJackLook.told && mMidiJackEpoch != 0;
  WatchMidiPort(out, mMidiOutWatch);
  WatchMidiPort(in, mMidiInWatch);
  // A direction with no port chosen is looked at too, for the next choice.
  if ((mMidiLook || mMidiJack.load()) && mMidiOutWatch.name.empty()) out.CurrentPortNames();
  if ((mMidiLook || mMidiJack.load()) && mMidiInWatch.name.empty()) in.CurrentPortNames();
  if (listed && !mMidiWatchQuit.load()) FollowMidiPortLists();
  mMidiJackLook.valid = false;
}

// The port thread, after a look that listed the ports: the lists become the ports
// seen, in the order they held them, the ports new to them after; a port the
// instance has chosen stays an entry where it was while it is away (the choice it
// is, or was). The owner is told as after a reading when they changed, so that the
// menus list the ports there are. Nothing is asked for it.
void MidiPortLayer::FollowMidiPortLists()
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  if (mMidiOutNames.empty()) return;
  std::vector<std::string> lists[2];
  const std::vector<std::string>* old[2] = {&mMidiOutNames, &mMidiInNames};
  const std::vector<std::string>* seen[2] = {&mMidiOutSeen, &mMidiInSeen};
  const std::vector<std::string>* chosen[2] = {&mMidiOutChosenNames, &mMidiInChosenNames};
  const MidiPortWatch* watch[2] = {&mMidiOutWatch, &mMidiInWatch};
  const auto has = [](const std::vector<std::string>& v, const std::string& n) {
    return std::find(v.begin(), v.end(), n) != v.end();
  };
  for (int d = 0; d < 2; ++d)
  {
    std::vector<std::string>& next = lists[d];
    next.push_back("OFF");
    for (size_t k = 1; k < old[d]->size(); ++k)
    {
      const std::string& n = (*old[d])[k];
      if (!has(next, n) && (has(*seen[d], n) || has(*chosen[d], n) || n == watch[d]->name)) next.push_back(n);
    }
    for (const std::string& n : *seen[d])
      if (!has(next, n)) next.push_back(n);
    if (!watch[d]->name.empty() && !has(next, watch[d]->name)) next.push_back(watch[d]->name);
  }
  if (lists[0] == mMidiOutNames && lists[1] == mMidiInNames) return;
  mMidiOutNames = lists[0];
  mMidiInNames = lists[1];
  NoteMidiPortsListed();
  // Counted with the change: whoever sees the new lists sees the count moved.
  mMidiListsReads.fetch_add(1);
}

// The port thread, over JACK: the answers of a look, asked at once; a port opened
// or closed meanwhile makes them stale (MidiSideLook asks again then).
void MidiPortLayer::AskJackLook()
{
  struct Answers
  {
    std::vector<std::string> names[2];
    int connected[2] = {-1, -1};
    unsigned epoch = 0;
    bool told = false;
  };
  std::shared_ptr<JackMidiSlot> slot = mMidiSlot;
  const std::string peer[2] = {mMidiOutWatch.name, mMidiInWatch.name};
  auto answers = std::make_shared<Answers>();
  const bool asked = JackMidiOwner::Ask(
      mMidiJackServer,
      [answers, slot, peer](unsigned epoch) {
        answers->epoch = epoch;
        // The owner's thread: the slot's memory is with the live bridge.
        answers->told = epoch != 0 && slot->bridge != 0 && slot->index >= 0;
        for (int d = 0; d < 2; ++d)
        {
          answers->names[d] = JackMidiOwner::Ports(d == 1);
          if (!peer[d].empty()) answers->connected[d] = JackMidiOwner::Connected(slot, d == 1, peer[d]);
        }
      },
      mMidiWatchQuit);
  mMidiJackLook.valid = asked;
  if (!asked) return;
  for (int d = 0; d < 2; ++d)
  {
    mMidiJackLook.names[d] = answers->names[d];
    mMidiJackLook.peer[d] = peer[d];
    mMidiJackLook.connected[d] = answers->connected[d];
  }
  mMidiJackLook.epoch = answers->epoch;
  mMidiJackLook.told = answers->told;
}

// Over JACK, at each look: a server that went took our ports with it; the chosen
// ports count as gone and are said so, once, and what the output's ring held is
// counted as not sent. The owner opens new clients once a server takes them again
// (at the next question), and the watch opens the chosen ports by their names.
void MidiPortLayer::FollowJackServer()
{
  if (mMidiJackEpoch && !JackMidiOwner::EpochLives(mMidiJackServer, mMidiJackEpoch))
  {
    if (JackMidiOwner::BridgeLost(mMidiJackServer, mMidiJackEpoch))
      ConsoleLog("MIDI: the JACK bridge has gone while the server runs: a fresh one opens the ports again\n");
    else
      ConsoleLog("MIDI: the JACK server has gone\n");
    mMidiServerGone.store(true);
    mMidiOutOpen.store(false);
    // What is queued waits for the port, or another choice.
    mMidiShared.load()->sendLimit.store(0);
    for (MidiPortWatch* w : {&mMidiOutWatch, &mMidiInWatch})
    {
      if (w->name.empty() || w->missing.load()) continue;
      w->missing.store(true);
      MidiOutSide out(this);
      MidiInSide in(this);
      MidiPortAccess& side = w == &mMidiOutWatch ? (MidiPortAccess&)out : (MidiPortAccess&)in;
      side.LogPortLine(std::string(side.IsInput() ? "MIDI IN" : "MIDI OUT") + " Port: " + w->name + " is gone!\n");
    }
    // The input's stream of the ended server goes with it.
    BeginMidiInClose();
    if (const int queued = DropQueuedMidiInput()) mMidiInStream->dropped.fetch_add(queued);
    mMidiInStream->framer.End([this](MidiInputFramer::DropKind kind, int size) { CountMidiInDrop(kind, size); });
    EndMidiInClose();
    mMidiJackEpoch = 0;
  }
  if (!mMidiJackEpoch)
  {
    const unsigned epoch = AskJackOwner(mMidiJackServer, mMidiWatchQuit, 0u, [](unsigned e) { return e; });
    if (!epoch) return;
    mMidiJackEpoch = epoch;
  }
  // Also when a reopening found the new server first.
  if (mMidiServerGone.exchange(false)) ConsoleLog("MIDI: a JACK server takes clients again\n");
}
