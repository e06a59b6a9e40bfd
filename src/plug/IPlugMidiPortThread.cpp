// The port thread of IPlugBase's port layer: the one thread of an instance that
// calls the port library and JACK. It reads the port lists, takes the choices the
// host's calls recorded, installs what it opened, sends what was queued, and looks
// at the ports a few times a second. It takes no lock that a host's call, render
// included, or the UI thread takes, but the short ones that hand data over.

#include "plug/MidiPortObjects.h"

#include <algorithm>
#include <climits>

#include <pthread.h>

namespace {

using Clock = std::chrono::steady_clock;

// How long the teardown waits for the port thread when it is inside a call into a
// server that does not answer.
const std::chrono::milliseconds kPortThreadBound(2000);

// How often the send queue is looked at while sends come, and for how long after
// the last one: a message waits at most that long for the port thread.
const std::chrono::microseconds kSendPoll(1000);
const std::chrono::milliseconds kSendPollFor(50);

// The period assumed where the interface tells none.
const double kDefaultPeriodSeconds = 0.010;

// Said once in the process, whichever thread it is.
void SayPortThreadKept()
{
  static std::atomic<bool> said{false};
  if (said.exchange(true)) return;
  ConsoleLog("MIDI: the port thread has not ended within %d ms (the JACK server does not answer): no one waits "
             "for it, and the plug-in's port layer is kept for it\n",
             (int)kPortThreadBound.count());
}

} // namespace

// ---- the thread ----

void IPlugBase::StartMidiPortThread()
{
  std::lock_guard<std::mutex> lock(mMidiWatchLock);
  if (mMidiWatchStarted || mMidiWatchQuit.load()) return;
  mMidiWatchStarted = true;
  mMidiWatchThread = std::thread([this] { RunMidiPortThread(); });
}

// Any thread: a wake-up already due is not told twice.
void IPlugBase::WakeMidiPortThread()
{
  if (mMidiPortWork.exchange(true)) return;
  {
    std::lock_guard<std::mutex> lock(mMidiWatchLock);
  }
  mMidiWatchWake.notify_all();
}

bool IPlugBase::StopMidiPortThreads()
{
  std::unique_lock<std::mutex> lock(mMidiWatchLock);
  mMidiWatchQuit.store(true);
  mMidiWatchWake.notify_all();
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

void IPlugBase::RunMidiPortThread()
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
  // An ordinary priority: the thread opens clients and waits on servers, and a
  // realtime thread doing that holds a core the audio server needs. Only a thread
  // that does nothing but hand over may run at realtime priority.
  {
    std::lock_guard<std::mutex> change(mMidiPortChange);
    if (!mMidiWatchQuit.load()) ReadMidiPortLists();
  }
  if (!mMidiWatchQuit.load()) OnMidiPortListsRead();
  Clock::time_point nextLook = Clock::now();
  std::unique_lock<std::mutex> lock(mMidiWatchLock);
  while (!mMidiWatchQuit.load())
  {
    // A choice is taken at once, a piece held back by the pacing at its period, and
    // the ports are looked at every interval. While sends come, the queue is looked
    // at every kSendPoll, and a send wakes no one (no system call on the sender's
    // thread, render's included); it wakes the thread once it waits for longer.
    const Clock::time_point before = Clock::now();
    const bool polling = before < mMidiOutPollUntil;
    mMidiPortPolling.store(polling);
    std::atomic_thread_fence(std::memory_order_seq_cst);  // against a sender's, past its push
    Clock::time_point until = std::min(nextLook, MidiOutPaceUntil());
    if (polling) until = std::min(until, before + kSendPoll);
    mMidiWatchWake.wait_until(lock, until, [this] { return mMidiWatchQuit.load() || mMidiPortWork.load(); });
    if (mMidiWatchQuit.load()) break;
    mMidiPortWork.store(false);
    lock.unlock();
    {
      std::lock_guard<std::mutex> change(mMidiPortChange);
      const Clock::time_point now = Clock::now();
      if (!mMidiWatchQuit.load() && (mMidiChoicesUnderWay.load() > 0 || now >= nextLook))
      {
        LookAtMidiPorts();
        // Read here, off the watch's lock, which the senders' wake-up takes.
        mMidiOutPeriodSeconds = mMidiLook ? mMidiLook->PeriodSeconds() : 0.0;
        nextLook = now + kMidiPortWatchInterval;
      }
      const unsigned long long taken = mMidiOutTaken;
      if (!mMidiWatchQuit.load()) SendQueuedMidiOut(MidiOutSendLimit(), false);
      if (mMidiOutTaken != taken) mMidiOutPollUntil = now + kSendPollFor;
      LogMidiOutQueueDrops();
    }
    lock.lock();
  }
  lock.unlock();
  std::lock_guard<std::mutex> change(mMidiPortChange);
  EndMidiPortThread();
}

// The port thread's last step, under mMidiPortChange: nothing queued goes out any
// more (a kept instance sends nothing), the input's route is cut, and every port
// object and the look are let go of without a call into them: their JACK clients
// close on the closings' thread, those of an ended epoch are kept.
void IPlugBase::EndMidiPortThread()
{
  mMidiOutTaken += (unsigned long long)mMidiOutRing.Clear();
  LogMidiOutQueueDrops();
  // A log sent in from a session that ended with the port gone still says what
  // was not sent.
  MidiOutSide side(this);
  WatchChosenMidiPort(side, mMidiOutWatch, std::string());
  mMidiOutOpen.store(false);
  InstallMidiOut(nullptr, kNoJackEpoch);
  BeginMidiInClose();
  InstallMidiIn(nullptr, nullptr, kNoJackEpoch);
  if (const int queued = DropQueuedMidiInput()) mMidiInDropped.fetch_add(queued);
  mMidiInFramer.End([this](MidiInputFramer::DropKind kind, int size) { CountMidiInDrop(kind, size); });
  EndMidiInClose();
  delete mMidiLook;  // a JACK look's client goes to the closings' thread
  mMidiLook = nullptr;
}

// ---- the lists ----

void IPlugBase::ReadMidiPortLists()
{
  std::vector<std::string> outs{"OFF"}, ins{"OFF"};
  ConsoleLog("MIDI OUT INITIALIZATION\n");
  // Without the ALSA sequencer the ports are JACK's, even with no JACK server yet:
  // a port chosen by name then opens once a server takes clients.
  RtMidi::Api api = RtMidi::UNSPECIFIED;
  try
  {
    unsigned epoch = kNoJackEpoch;
    RtMidiOut* out = CreatePortObject<RtMidiOut>("OUT", &epoch, &api, std::string("RtMidi Output Client"));
    mMidiOutJack.store(epoch != kNoJackEpoch);
    InstallMidiOut(out, epoch);
    MidiOutSide side(this);
    outs = ReadMidiPortNames(side, CountPortsLoggingWhyNone(out, "OUT", epoch));
  }
  catch (RtMidiError& e)
  {
    mMidiOutJack.store(api == RtMidi::UNIX_JACK);
    ConsoleLog("No MIDI output ports available!\n");
    e.printMessage();
  }
  ConsoleLog("MIDI IN INITIALIZATION\n");
  try
  {
    unsigned epoch = kNoJackEpoch;
    MidiInRoute* route = nullptr;
    RtMidiIn* in = NewMidiInObject(RtMidi::UNSPECIFIED, this, &route, &epoch, &api);
    mMidiInApi = (int)in->getCurrentApi();
    InstallMidiIn(in, route, epoch);
    MidiInSide side(this);
    ins = ReadMidiPortNames(side, CountPortsLoggingWhyNone(in, "IN", epoch));
  }
  catch (RtMidiError& e)
  {
    if (api == RtMidi::UNIX_JACK) mMidiInApi = RtMidi::UNIX_JACK;
    ConsoleLog("No MIDI input ports available!\n");
    e.printMessage();
  }
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    mMidiOutNames = outs;
    mMidiInNames = ins;
    mMidiOutSeen.assign(outs.begin() + 1, outs.end());
    mMidiInSeen.assign(ins.begin() + 1, ins.end());
  }
  mMidiListsRead.store(true);
}

// ---- installing what was made: the one place a direction's object changes ----

// The port thread: out (of epoch) becomes the output object, closed; the one it
// replaces is let go of.
void IPlugBase::InstallMidiOut(RtMidiOut* out, unsigned epoch)
{
  RtMidiOut* old = nullptr;
  unsigned oldEpoch = kNoJackEpoch;
  mMidiOutOpen.store(false);
  {
    std::lock_guard<std::mutex> lock(mMidiOutLock);
    old = mMidiOut;
    oldEpoch = mMidiOutEpoch.exchange(epoch);
    mMidiOut = out;
  }
  RetirePortObject(old, oldEpoch);
}

// The port thread: in, with its route (of epoch), becomes the input object; the
// one it replaces is let go of once no callback of it can reach the plug-in.
void IPlugBase::InstallMidiIn(RtMidiIn* in, MidiInRoute* route, unsigned epoch)
{
  unsigned oldEpoch = kNoJackEpoch;
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    std::swap(in, mMidiIn);
    std::swap(route, mMidiInRoute);
    oldEpoch = mMidiInEpoch.exchange(epoch);
    mMidiInClosedKept = false;
    mMidiInUsed = false;
  }
  RetireMidiIn(in, route, oldEpoch);
}

// The port thread, as a port is chosen: a direction's object whose own epoch has
// ended (its server went, whatever the look saw) is let go of, and one made anew
// over JACK; so is a missing one. Whether the direction has an object to open with.
bool IPlugBase::RenewMidiObject(bool input)
{
  const bool exists = input ? mMidiIn != nullptr : mMidiOut != nullptr;
  const unsigned epoch = input ? mMidiInEpoch.load() : mMidiOutEpoch.load();
  if (exists && JackServerEpochLives(epoch)) return true;
  if (!UsesJack() || (input && mMidiInApi != RtMidi::UNIX_JACK)) return exists;
  if (exists && input) CloseMidiIn(false);
  try
  {
    unsigned made = kNoJackEpoch;
    if (input)
    {
      MidiInRoute* route = nullptr;
      RtMidiIn* in = NewMidiInObject(RtMidi::UNIX_JACK, this, &route, &made);
      InstallMidiIn(in, route, made);
    }
    else
      InstallMidiOut(NewJackPortObject<RtMidiOut>("OUT", "RtMidi Output Client", &made), made);
  }
  catch (RtMidiError& e)
  {
    e.printMessage();
    if (!input) InstallMidiOut(nullptr, kNoJackEpoch);
    return false;
  }
  return true;
}

// ---- choices ----

// The port thread, under mMidiPortChange: the last choice of each direction, the
// output's first. What was queued before the output's choice goes to the port open
// until then; what came between choices of a burst was for ports never opened and
// is counted as not sent. Both are opened before anything queued after them goes.
void IPlugBase::ApplyMidiPortChoices()
{
  MidiPortChoice out, in;
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    std::swap(out, mMidiOutChoice);
    std::swap(in, mMidiInChoice);
  }
  if (out.pending)
  {
    SendQueuedMidiOut(out.first, true);
    unsigned long long dropped = 0;
    std::vector<unsigned char> skip;
    while (mMidiOutTaken < out.before && mMidiOutRing.NextSize() > 0)
    {
      skip.resize((size_t)mMidiOutRing.NextSize());
      mMidiOutRing.Read(skip.data());
      ++mMidiOutTaken;
      ++dropped;
    }
    if (dropped)
      ConsoleLog("MIDI OUT: %llu messages not sent: their port was chosen again before it opened\n", dropped);
    ApplyMidiPortChoice(false, out);
    mMidiOutChoicesUnderWay.fetch_sub(1);
    mMidiChoicesUnderWay.fetch_sub(1);
  }
  if (in.pending)
  {
    ApplyMidiPortChoice(true, in);
    mMidiChoicesUnderWay.fetch_sub(1);
  }
}

// Closes the direction's port and opens the one named, looked for afresh; one not
// there, or that could not be opened, is watched for as one gone.
void IPlugBase::ApplyMidiPortChoice(bool input, const MidiPortChoice& c)
{
  if (c.k < 0)
  {
    OpenVirtualMidiOut(c.name);
    return;
  }
  MidiPortLook* look = c.k > 0 ? MidiLook() : mMidiLook;
  if (c.k > 0) RenewMidiObject(input);
  MidiOutSide out(this, look);
  MidiInSide in(this, look);
  MidiPortAccess& side = input ? (MidiPortAccess&)in : (MidiPortAccess&)out;
  MidiPortWatch& watch = input ? mMidiInWatch : mMidiOutWatch;
  if (side.Exists()) side.ClosePort();
  std::string ours;
  int number = -1;
  if (c.k > 0 && side.Exists()) number = OpenChosenMidiPort(side, c.name, &ours);
  WatchChosenMidiPort(side, watch, c.name, ours);
  // A server that went while the port opened (or closed) lists nothing: the port is
  // watched for as one gone, and opened on the next server, never refused.
  const unsigned epoch = input ? mMidiInEpoch.load() : mMidiOutEpoch.load();
  const bool serverGone = !JackServerEpochLives(epoch) || (look && !JackServerEpochLives(look->Epoch()));
  if (c.k > 0 && number == -1 && side.Exists() && !serverGone)
  {
    // Not there, looked for afresh: refused, as "OFF", unless chosen again meanwhile.
    WatchChosenMidiPort(side, watch, std::string());
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    std::vector<std::string>& early = input ? mMidiInChosenNames : mMidiOutChosenNames;
    early.erase(std::remove(early.begin(), early.end(), c.name), early.end());
    if (!(input ? mMidiInChoice : mMidiOutChoice).pending)
    {
      (input ? mMidiInRefused : mMidiOutRefused) = c.name;
      if (!input) mMidiOutChosen.store(false);
    }
  }
  else if (c.k > 0 && number < 0)
  {
    watch.missing.store(true);
    watch.reopenFailed = number != -1;
  }
}

// A virtual output port of that name replaces the output object: the port chosen
// by name is no longer the one sent to, nothing is watched.
void IPlugBase::OpenVirtualMidiOut(const std::string& name)
{
  MidiOutSide side(this);
  WatchChosenMidiPort(side, mMidiOutWatch, std::string());
  unsigned epoch = kNoJackEpoch;
  RtMidiOut* out = nullptr;
  try
  {
    RtMidi::Api api = RtMidi::UNSPECIFIED;
    out = CreatePortObject<RtMidiOut>("OUT", &epoch, &api, std::string("RtMidi Output Client"));
    mMidiOutJack.store(epoch != kNoJackEpoch);
    EpochCall call(epoch);
    out->openVirtualPort(name);
  }
  catch (RtMidiError& e)
  {
    RetirePortObject(out, epoch);
    e.printMessage();
    InstallMidiOut(nullptr, kNoJackEpoch);
    return;
  }
  InstallMidiOut(out, epoch);
  mMidiOutOpen.store(true);
}

// Under mMidiPortChange, at the first choice of a port: an instance whose ports
// stay off makes no look (over JACK, no client).
MidiPortLook* IPlugBase::MidiLook()
{
  if (mMidiLookTried) return mMidiLook;
  mMidiLookTried = true;
  int api = -1;
  if (mMidiOut) api = (int)mMidiOut->getCurrentApi();
  if (api < 0 && mMidiIn) api = mMidiInApi;
  if (api < 0) return nullptr;
  mMidiLook = UsesJack()
                  ? NewJackMidiPortLook(JackClientName("Davrel Port Watch"), kMidiOutPortName, kMidiInPortName)
                  : NewLibraryMidiPortLook(api, "RtMidi Output Client", "RtMidi Input Client");
  return mMidiLook;
}

// mMidiInApi is set once, with the input list, before any choice is taken.
bool IPlugBase::UsesJack()
{
  return mMidiOutJack.load() || mMidiInApi == RtMidi::UNIX_JACK;
}

// ---- sends ----

// The port thread, under the watch's lock: where the pacing lets the next piece go;
// never while nothing waits. No call into JACK here: the period is the last look's.
Clock::time_point IPlugBase::MidiOutPaceUntil()
{
  if (mMidiOutRing.NextSize() == 0 || mMidiOutTaken >= MidiOutSendLimit()) return Clock::time_point::max();
  return mMidiOutPeriodBytes >= kMidiOutPieceBytes ? mMidiOutResumeAt : Clock::now();
}

// The port thread: what may be sent now: up to the first send queued after a
// choice not yet applied.
unsigned long long IPlugBase::MidiOutSendLimit()
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  unsigned long long limit = ULLONG_MAX;
  if (mMidiOutChoice.pending) limit = std::min(limit, mMidiOutChoice.first);
  if (mMidiInChoice.pending) limit = std::min(limit, mMidiInChoice.before);
  return limit;
}

// The port thread, under mMidiPortChange: the queued sends up to number upTo go to
// the output port open, in order, in pieces of at most kMidiOutPieceBytes a period
// (and a quarter) apart, so that no period's buffer overflows. inLine waits out
// the periods here; otherwise the rest is left for a later round. What finds no
// open port (gone, failed, its server gone) is counted.
void IPlugBase::SendQueuedMidiOut(unsigned long long upTo, bool inLine)
{
  std::vector<unsigned char> message;
  while (mMidiOutTaken < upTo && !mMidiWatchQuit.load())
  {
    const int size = mMidiOutRing.NextSize();
    if (size == 0) return;
    const double seconds = mMidiOutPeriodSeconds > 0.0 ? mMidiOutPeriodSeconds : kDefaultPeriodSeconds;
    const Clock::time_point now = Clock::now();
    // Over JACK the server's own periods count: a piece a period begun, and none
    // while the server stands still (RtMidi's ring, which only its periods empty,
    // then never fills, and nothing here waits inside the library for room).
    const unsigned long cycle = mMidiLook ? mMidiLook->CycleFrame() : 0;
    const bool newPeriod = cycle ? cycle != mMidiOutCycle
                                 : now - mMidiOutPeriodStart >= std::chrono::duration<double>(seconds * 1.25);
    if (newPeriod)
    {
      mMidiOutCycle = cycle;
      mMidiOutPeriodStart = now;
      mMidiOutPeriodBytes = 0;
    }
    else if (mMidiOutPeriodBytes > 0 && mMidiOutPeriodBytes + size > kMidiOutPieceBytes)
    {
      // Looked at again a quarter period on (a period and a quarter on, where no
      // period is told).
      mMidiOutPeriodBytes = kMidiOutPieceBytes;
      mMidiOutResumeAt = cycle ? now + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds / 4))
                               : mMidiOutPeriodStart + std::chrono::duration_cast<Clock::duration>(
                                                           std::chrono::duration<double>(seconds * 1.25));
      if (!inLine) return;
      std::this_thread::sleep_until(mMidiOutResumeAt);
      continue;
    }
    message.resize((size_t)size);
    mMidiOutRing.Read(message.data());
    ++mMidiOutTaken;
    mMidiOutPeriodBytes += size;
    EpochCall call(mMidiOutEpoch.load());
    if (!mMidiOut || !mMidiOutOpen.load() || !call)
    {
      mMidiOutWatch.dropped.fetch_add(1);
      continue;
    }
    try
    {
      mMidiOut->sendMessage(message.data(), message.size());
    }
    catch (RtMidiError& e)
    {
      e.printMessage();
    }
  }
}

// The port thread: a run of sends refused by a full queue, said once.
void IPlugBase::LogMidiOutQueueDrops()
{
  const long long full = mMidiOutRing.DroppedFull() + mMidiOutRing.DroppedTooLong();
  if (full == mMidiOutFullLogged) return;
  ConsoleLog("MIDI OUT: %lld messages not sent: the send queue (%d bytes) was full\n", full - mMidiOutFullLogged,
             mMidiOutRing.Capacity());
  mMidiOutFullLogged = full;
}

// ---- the input object's closing and replacement ----

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

// The port thread.
void IPlugBase::CloseMidiIn(bool replaceObject)
{
  BeginMidiInClose();
  RtMidiIn* used = nullptr;
  MidiInRoute *route = nullptr, *keptRoute = nullptr;
  const bool wasUsed = mMidiInUsed;
  const unsigned epoch = mMidiInEpoch.load();
  mMidiInUsed = false;
  if (mMidiIn)
  {
    EpochCall call(epoch);
    // An object whose server has gone is only let go of.
    mMidiInClosedKept = call && (mMidiInClosedKept || (wasUsed && replaceObject));
    if (call) mMidiIn->closePort();
  }
  else
    mMidiInClosedKept = false;
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    // To be replaced at the next opening (ReplaceClosedMidiIn): kept until then.
    if (mMidiInClosedKept)
      keptRoute = mMidiInRoute;
    else if (mMidiIn && (wasUsed || !JackServerEpochLives(epoch)))
    {
      std::swap(used, mMidiIn);
      std::swap(route, mMidiInRoute);
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

// The port thread, as a port opens: the object a closing kept is replaced, the
// fresh one made first and the old one let go of after. Over JACK, a client closed
// and another opened at once, or right after another program's client went (the
// port gone at a look), can take the number of a client the process's other
// clients have not yet seen go; jackd2's synchronous graph then stood still for ten
// client time-outs. So a port that goes closes no client and opens none, and a
// fresh client never takes its forerunner's place.
void IPlugBase::ReplaceClosedMidiIn()
{
  // One of a server gone is let go of by the look.
  if (!mMidiInClosedKept || !JackServerEpochLives(mMidiInEpoch.load())) return;
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
  InstallMidiIn(in, route, epoch);
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

// ---- the look at the ports ----

// The port thread, under mMidiPortChange. A change (a port gone or back) is acted
// on as a choice is, the input side closed and opened the way a choice closes and
// opens it.
void IPlugBase::LookAtMidiPorts()
{
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

// The look and both port objects are let go of, those of the ended epoch without a
// call into them (RtMidi's JACK output would wait for ever for room in its ring, or
// a second for a period, on a dead server); the chosen ports count as gone and are
// said so, once.
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
  InstallMidiOut(nullptr, kNoJackEpoch);
  CloseMidiIn(false);
  delete mMidiLook;
  mMidiLook = nullptr;
}

// While the server is lost: once one takes clients again, the look and the port
// objects are made anew, all in one epoch. The chosen ports are then opened by
// their names as any port that came back.
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
  InstallMidiOut(out, outEpoch);
  InstallMidiIn(in, route, inEpoch);
  mMidiLook = look;
}

// A port object that could not be made again after a closing (no server took its
// client then), or whose own epoch ended, is made now.
void IPlugBase::MakeMissingMidiObjects()
{
  if (!mMidiOut || !JackServerEpochLives(mMidiOutEpoch.load())) RenewMidiObject(false);
  if (mMidiInApi == RtMidi::UNIX_JACK && (!mMidiIn || !JackServerEpochLives(mMidiInEpoch.load())))
    RenewMidiObject(true);
}
