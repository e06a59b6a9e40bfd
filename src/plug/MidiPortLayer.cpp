// The hardware MIDI port layer (MidiPortLayer): the host's side. The entries here
// only hand data over to the port thread (MidiPortThread.cpp), which alone
// calls the port library or asks the JACK owner, and answer from what it has told;
// none waits for it or for a server. The steps that need no port library are in
// MidiPortSelect. Messages from the receiving side reach the plug-in through the
// input stream's ring and the input thread, both here.

#include "plug/MidiPortObjects.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>


MidiPortLayer::MidiPortLayer(Owner& owner, WDL_Mutex& mutex)
  : mOwner(owner), mMutex(mutex), mMidiInStream(std::make_shared<MidiInStream>()),
    mMidiJackServer(JackMidiOwner::TakeEnvironment()),
    mMidiSendSlot(std::make_shared<JackMidiSlot>(mMidiJackServer)),
    mMidiOutRing(&mMidiSendSlot->mem->send, jackbridge::SendBytes(mMidiSendSlot->mem), (int)jackbridge::kSendBytes)
{
}

// The owner's destructor has ended both threads (CloseMidiPorts), and the port
// thread let go of the port objects and the look as it ended.
MidiPortLayer::~MidiPortLayer() = default;

// ---- lists ----

void MidiPortLayer::ReadMidiPortListsAhead()
{
  StartMidiPortThread();
}

namespace {

// One direction as the port thread last saw it, for the questions a host asks by
// name: no call into the port library.
class SeenPorts : public MidiPortAccess
{
public:
  SeenPorts(bool input, bool exists, std::vector<std::string> seen)
    : mInput(input), mExists(exists), mSeen(std::move(seen))
  {
  }
  bool IsInput() const override { return mInput; }
  bool Exists() const override { return mExists; }
  unsigned PortCount() override { return (unsigned)mSeen.size(); }
  std::string PortName(unsigned port) override { return port < mSeen.size() ? mSeen[port] : std::string(); }
  void OpenPort(unsigned) override {}
  void ClosePort() override {}
  std::vector<std::string> CurrentPortNames() override { return mSeen; }

private:
  const bool mInput, mExists;
  const std::vector<std::string> mSeen;
};

} // namespace

// The list as read, with the names chosen before it was (a recalled project's
// ports are its entries until they are found, or are watched for as gone).
std::vector<std::string> MidiPortLayer::KnownMidiPortNames(bool input)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  std::vector<std::string> names = input ? mMidiInNames : mMidiOutNames;
  if (names.empty()) names.push_back("OFF");
  for (const std::string& n : input ? mMidiInChosenNames : mMidiOutChosenNames)
    if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
  return names;
}

std::vector<std::string> MidiPortLayer::getExternalMIDIOutNames()
{
  StartMidiPortThread();
  return KnownMidiPortNames(false);
}

std::vector<std::string> MidiPortLayer::getExternalMIDIInNames()
{
  StartMidiPortThread();
  return KnownMidiPortNames(true);
}

int MidiPortLayer::getExternalMIDIOutDevice(const char* name)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  SeenPorts side(false, mMidiOutNames.size() > 1, mMidiOutSeen);
  return FindMidiDevice(side, mMidiOutNames, name);
}

int MidiPortLayer::getExternalMIDIInDevice(const char* name)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  SeenPorts side(true, mMidiInNames.size() > 1, mMidiInSeen);
  return FindMidiDevice(side, mMidiInNames, name);
}

int MidiPortLayer::GetMIDIOutPortNumber(const char* name)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  SeenPorts side(false, !mMidiOutNames.empty(), mMidiOutSeen);
  return MidiPortNumber(side, name);
}

int MidiPortLayer::GetMIDIInPortNumber(const char* name)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  SeenPorts side(true, !mMidiInNames.empty(), mMidiInSeen);
  return MidiPortNumber(side, name);
}

// ---- choices (callers hold mMutex; taken again here for callers that do not) ----

int MidiPortLayer::setExternalMIDIOut(int& index, const char* name)
{
  WDL_MutexLock lock(&mMutex);
  return ChooseMidiPort(false, index, name);
}

int MidiPortLayer::setExternalMIDIIn(int& index, const char* name)
{
  WDL_MutexLock lock(&mMutex);
  return ChooseMidiPort(true, index, name);
}

// Under mMutex, which the host's calls take, render included: nothing here calls
// the port library or waits for a lock held across a call into it. The answer
// comes from the list; the port thread opens the port named, looked for afresh,
// and says so, or that it is gone, and opens it once it is back.
int MidiPortLayer::ChooseMidiPort(bool input, int& index, const char* name)
{
  int& lastIndex = input ? mMidiInIndex : mMidiOutIndex;
  lastIndex = index;
  if (index != 0 && name && *name && strcmp(name, "OFF") != 0 &&
      (!MidiPortListsRead() || mMidiListsAwaitServer.load()))
  {
    // Before the lists are read (over JACK, while no server has clients of ours) a
    // name is taken as it is, and looked for once they are.
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    std::vector<std::string>& chosen = input ? mMidiInChosenNames : mMidiOutChosenNames;
    if (std::find(chosen.begin(), chosen.end(), name) == chosen.end()) chosen.push_back(name);
  }
  else if (index != 0 && name && *name && strcmp(name, "OFF") != 0)
  {
    // A port the lists held once and lost since (its program ended, or has just
    // started again before a look saw it) is the same port to the user.
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    std::vector<std::string>& names = input ? mMidiInNames : mMidiOutNames;
    const std::vector<std::string>& listed = input ? mMidiInListed : mMidiOutListed;
    if (std::find(names.begin(), names.end(), name) == names.end() &&
        std::find(listed.begin(), listed.end(), name) != listed.end())
      names.push_back(name);
  }
  const std::vector<std::string> names = KnownMidiPortNames(input);
  const int k = index == 0 ? 0 : FindMidiPortName(names, name);
  if (k > 0) ConsoleLog(input ? "Currently set input: %s\n" : "Currently set output: %s\n", names[k].c_str());
  if (input && index != 0) ConsoleLog("RtMidiIn - port where we want to connect: %i\n", k);
  index = k > 0 ? k : 0;
  RecordMidiPortChoice(input, index, index > 0 ? names[k] : std::string());
  return index;
}

// Any thread, in no lock of the port layer: steps that cannot wait. The last
// choice of a direction replaces one the port thread has not taken yet.
void MidiPortLayer::RecordMidiPortChoice(bool input, int k, const std::string& name)
{
  {
    std::lock_guard<std::mutex> l(mMidiChoiceLock);
    MidiPortChoice& c = input ? mMidiInChoice : mMidiOutChoice;
    const unsigned long long queued = mMidiOutPushed.load();
    if (!c.pending)
    {
      c.pending = true;
      c.first = queued;
      mMidiChoicesUnderWay.fetch_add(1);
      if (!input) mMidiOutChoicesUnderWay.fetch_add(1);
    }
    c.k = k;
    c.name = name;
    c.before = queued;
    // A port chosen stays in the lists while it is away.
    std::vector<std::string>& chosen = input ? mMidiInChosenNames : mMidiOutChosenNames;
    if (k > 0 && std::find(chosen.begin(), chosen.end(), name) == chosen.end()) chosen.push_back(name);
    const auto now = std::chrono::steady_clock::now();
    if (!input)
    {
      mMidiOutChosen.store(k != 0);
      mMidiOutClosedLogged.store(false);
      mMidiOutChoiceAt = now;
      mMidiOutChoiceQueued = queued;
    }
    else if (now < mMidiOutChoiceAt + kMidiChoicePairing)
      c.before = std::min(c.before, mMidiOutChoiceQueued);
    // Over JACK the bridge takes no send queued from now on before the port
    // thread has taken the choice (it sets the gate anew then).
    if (jackbridge::SlotMemory* m = mMidiShared.load())
    {
      const unsigned long long to = input ? c.before : c.first;
      unsigned long long was = m->sendLimit.load();
      while (was > to && !m->sendLimit.compare_exchange_weak(was, to))
      {
      }
    }
  }
  StartMidiPortThread();
  WakeMidiPortThread();
}

bool MidiPortLayer::MidiInChoicePending()
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  return mMidiInChoice.pending;
}

// The port thread, as it lists the ports.
void MidiPortLayer::NoteMidiPortsSeen(bool input, const std::vector<std::string>& names)
{
  std::lock_guard<std::mutex> l(mMidiChoiceLock);
  (input ? mMidiInSeen : mMidiOutSeen) = names;
}

// A virtual output port named "From " + name replaces the output: a choice as
// any other, which the port thread takes.
bool MidiPortLayer::initializeVirtualOutput(std::string name)
{
  RecordMidiPortChoice(false, -1, "From " + name);
  return true;
}

void MidiPortLayer::SetMidiPortLog(std::function<void(const std::string&)> sink)
{
  std::lock_guard<std::mutex> lock(mMidiPortLogLock);
  mMidiPortLog = std::move(sink);
}

void MidiPortLayer::KeepMidiPortLine(const std::string& line)
{
  std::lock_guard<std::mutex> lock(mMidiPortLogLock);
  if (!mMidiPortLog) return;
  mMidiPortLog(!line.empty() && line.back() == '\n' ? line.substr(0, line.size() - 1) : line);
}

// ---- input (the port library's thread over ALSA; over JACK the input thread
// feeds the stream from the slot's ring, PullSharedMidiInput) ----

void MidiPortLayer::MIDICallback(double timeStamp, std::vector<unsigned char>* message, void* userData)
{
  if (!userData) return;
  static_cast<MidiPortLayer*>(userData)->processMIDIInput(timeStamp, message, userData);
}

void MidiPortLayer::processMIDIInput(double, std::vector<unsigned char>* message, void* userData)
{
  if (!userData) return;
  // The library's runs are not trusted to be messages: it glues, splits and
  // passes on data bytes of messages whose start it never saw. Only handed over:
  // the lines are the input thread's.
  static_cast<MidiPortLayer*>(userData)->mMidiInStream->Feed(message ? message->data() : nullptr,
                                                            message ? (int)message->size() : 0);
}

namespace
{
const char* const kDropLines[] = {
    "processMIDIInput at IPlugBase dropped %lld unfinished SysEx messages of %lld bytes\n",
    "processMIDIInput at IPlugBase dropped %lld SysEx messages of %lld bytes: too long\n",
    "processMIDIInput at IPlugBase dropped %lld unfinished MIDI messages of %lld bytes\n",
    "processMIDIInput at IPlugBase dropped %lld stretches of %lld data bytes without a status byte\n"};

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

// How often the input thread looks at the ring: the receiving side wakes no one
// (no system call on JACK's thread), so it is looked at often while messages come.
const std::chrono::microseconds kInputPoll(1000), kInputIdlePoll(4000);
const std::chrono::milliseconds kInputBusyFor(100);
}  // namespace

// The port thread, for what the framer drops as a port closes: said at once.
void MidiPortLayer::CountMidiInDrop(int kind, int size)
{
  mMidiInStream->dropped.fetch_add(1);
  ConsoleLog(kDropLines[kind], 1LL, (long long)size);
}

void MidiPortLayer::LogMidiInRingDrops()
{
  // Under mMidiInQueueLock: the input thread and a closing both report. First
  // what the receiving side noted (and counted) itself.
  MidiInStream& stream = *mMidiInStream;
  for (long long n = stream.empty.exchange(0); n > 0; --n)
    ConsoleLog("processMIDIInput at IPlugBase detected Message..\n");
  for (int k = 0; k < MidiInStream::kDropClosing; ++k)
  {
    const long long n = stream.dropKinds[k].exchange(0), bytes = stream.dropBytes[k].exchange(0);
    if (n > 0) ConsoleLog(kDropLines[k], n, bytes);
  }
  if (const long long n = stream.dropKinds[MidiInStream::kDropClosing].exchange(0))
    ConsoleLog("processMIDIInput at IPlugBase dropped %lld messages: the input port closes\n", n);
  stream.dropBytes[MidiInStream::kDropClosing].store(0);
  MidiInputRing& ring = stream.ring;
  const long long tooLong = ring.DroppedTooLong(), full = ring.DroppedFull();
  const long long bytes = ring.DroppedBytes();
  long long newTooLong = tooLong - mMidiInRingTooLongLogged, newFull = full - mMidiInRingFullLogged;
  long long newBytes = bytes - mMidiInRingBytesLogged;
  mMidiInRingTooLongLogged = tooLong;
  mMidiInRingFullLogged = full;
  mMidiInRingBytesLogged = bytes;
  // Over JACK what the bridge's callback found no room for in the slot's ring too.
  if (mMidiShared.load() && mMidiSlot)
  {
    const jackbridge::Ring& in = mMidiSlot->in;
    newTooLong += in.DroppedTooLong() - mMidiInSharedTooLongLogged;
    newFull += in.DroppedFull() - mMidiInSharedFullLogged;
    newBytes += in.DroppedBytes() - mMidiInSharedBytesLogged;
    mMidiInSharedTooLongLogged = in.DroppedTooLong();
    mMidiInSharedFullLogged = in.DroppedFull();
    mMidiInSharedBytesLogged = in.DroppedBytes();
  }
  if (newTooLong == 0 && newFull == 0) return;
  ConsoleLog("MIDI IN: %lld messages of %lld bytes dropped: %lld longer than the input queue (%d bytes), %lld found "
             "it full\n",
             newTooLong + newFull, newBytes, newTooLong, ring.MaxMessageSize(), newFull);
  stream.dropped.fetch_add((int)(newTooLong + newFull));
}

// The input thread, under mMidiInQueueLock, over JACK: the events the bridge put
// into the slot's ring go through the framer into the stream's ring until a whole
// message is there (what waits stays in the slot's ring, which the bridge's callback
// fills without waiting).
// The ring is memory another process writes: every length is checked against it
// and the buffer (kInBytes), and a broken ring is emptied, counted and said once.
void MidiPortLayer::PullSharedMidiInput(unsigned char* buffer)
{
  while (mMidiInStream->ring.NextSize() == 0)
  {
    const int size = ReadSharedMidiInput(buffer, (int)jackbridge::kInBytes);
    if (size <= 0) return;
    mMidiInStream->Feed(buffer, size);
  }
}

// The input thread or a closing, under mMidiInQueueLock: the next event of the
// slot's input ring (dest null: removed unread), 0 when none waits, -1 when the
// ring was found broken (emptied).
int MidiPortLayer::ReadSharedMidiInput(unsigned char* dest, int room)
{
  jackbridge::Ring& in = mMidiSlot->in;
  // The ring's own checked read: its positions and the length word against the ring.
  const int size = in.NextSize();
  if (size == 0) return 0;
  if (size > 0 && size <= room)
  {
    if (!dest)
    {
      in.Skip();
      return size;
    }
    if (in.Read(dest, size)) return size;
  }
  in.Reset();
  mMidiInStream->dropped.fetch_add(1);
  if (mMidiInSharedBroken++ == 0)
    ConsoleLog("MIDI IN: the JACK bridge's input ring was found broken (its positions or a length word do not fit "
               "its %d bytes): what it held is dropped\n",
               (int)jackbridge::kInBytes);
  return -1;
}

void MidiPortLayer::RunMidiInput()
{
  // The longest message the ring can hold, taken once.
  MidiInputRing& ring = mMidiInStream->ring;
  WDL_TypedBuf<unsigned char> message, event;
  message.Resize(ring.MaxMessageSize());
  // Over JACK: the slot's, set before this thread started.
  jackbridge::SlotMemory* shared = mMidiShared.load();
  if (shared) event.Resize((int)jackbridge::kInBytes);
  auto lastMessage = std::chrono::steady_clock::now() - kInputBusyFor;
  std::unique_lock<std::mutex> lock(mMidiInQueueLock);
  for (;;)
  {
    if (mMidiInQuit.load()) return;
    LogMidiInRingDrops();
    if (shared) PullSharedMidiInput(event.Get());
    const int size = ring.NextSize();
    if (size == 0)
    {
      lock.unlock();
      if (shared)
      {
        // Woken by the bridge's callback once something came, by the stop, and
        // once a second (what a closing counted is said then at the latest).
        const uint32_t seen = shared->inWord.load();
        shared->inSleeping.store(1);
        if (!mMidiInQuit.load() && mMidiSlot->in.Empty()) jackbridge::FutexWait(&shared->inWord, seen, 1000000000LL);
        shared->inSleeping.store(0);
      }
      else
      {
        // Over ALSA the receiving side wakes no one: looked at often while messages come.
        const auto now = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(now - lastMessage < kInputBusyFor ? kInputPoll : kInputIdlePoll);
      }
      lock.lock();
      continue;
    }
    lastMessage = std::chrono::steady_clock::now();
    ring.Read(message.Get());
    ConsoleLog("processMIDIInput at IPlugBase detected Message..\n");
    // Counted before the queue's lock is let go: a closing that found the queue
    // empty then waits for this message too.
    mMidiInStream->busy.fetch_add(1);
    lock.unlock();
    DeliverMidiInput(message.Get(), size);
    mMidiInStream->busy.fetch_sub(1);
    lock.lock();
  }
}

int MidiPortLayer::DropQueuedMidiInput()
{
  std::lock_guard<std::mutex> lock(mMidiInQueueLock);
  LogMidiInRingDrops();
  int n = mMidiInStream->ring.Clear();
  if (mMidiShared.load() && mMidiSlot)
    while (ReadSharedMidiInput(nullptr, (int)jackbridge::kInBytes) > 0) ++n;
  return n;
}

void MidiPortLayer::DeliverMidiInput(const unsigned char* bytes, int size)
{
  // Values from the hardware change only under mMutex; but a port closing under
  // it must never wait for this thread, so the message is dropped instead.
  const auto closing = [this] { return mMidiInStopped.load() || mMidiInStream->closing.load() > 0; };
  if (closing() || !enterUnless(mMutex, closing))
  {
    ConsoleLog("processMIDIInput at IPlugBase dropped a message: the input port closes\n");
    mMidiInStream->dropped.fetch_add(1);
    return;
  }
  if (size <= 3)
  {
    IMidiMsg msg(0, bytes[0], size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0);
    ConsoleLog("processMIDIInput at IPlugBase passed MIDI message to plugin..\n");
    mOwner.ProcessMidiMsg(&msg, true);
  }
  else
  {
    // The bytes are the framer's own for the call.
    ISysEx sysex(0, bytes, size);
    ConsoleLog("processMIDIInput at IPlugBase passed SysEx message to plugin..\n");
    mOwner.ProcessSysEx(&sysex, true);
  }
  mMutex.Leave();
}

bool MidiPortLayer::EnterMutexUnless(const std::atomic<bool>& giveUp)
{
  return enterUnless(mMutex, [&giveUp] { return giveUp.load(); });
}


// ---- teardown ----

void MidiPortLayer::StopMidiInput()
{
  // Nothing opens a port again behind the teardown's back. A port thread kept
  // inside the port library holds the objects: all is left to it.
  const bool stopped = StopMidiPortThreads();
  mMidiInStopped.store(true);
  if (!stopped) return;
  std::thread input;
  {
    std::lock_guard<std::mutex> lock(mMidiInLock);
    std::swap(input, mMidiInThread);
  }
  if (!input.joinable()) return;
  mMidiInQuit.store(true);
  if (jackbridge::SlotMemory* m = mMidiShared.load()) jackbridge::Wake(m->inWord, m->inSleeping);
  // The input thread never waits for a thread that stops it without bound: a
  // message it holds is dropped once the stop is seen.
  if (input.get_id() == std::this_thread::get_id())
    input.detach();
  else
    input.join();
}

// The destructor's: the port thread has let go of every object as it ended. An
// owner that frees the instance whatever the bound said (one that does not keep
// it, as the host's close does) waits here for a port thread left to end by
// itself: it uses the instance.
void MidiPortLayer::CloseMidiPorts()
{
  if (StopMidiPortThreads()) return StopMidiInput();
  ConsoleLog("MIDI: the plug-in is freed: its port thread is waited for\n");
  {
    std::unique_lock<std::mutex> lock(mMidiWatchLock);
    mMidiWatchWake.wait(lock, [this] { return mMidiWatchEnded; });
  }
  StopMidiInput();
}

// ---- output (any thread) ----

// Only queues: the port thread sends, paced. Refused (false) with no port chosen,
// a message too long for the JACK output, or a full queue (counted, and said by
// the port thread).
bool MidiPortLayer::SendBytesToPort(const unsigned char* pData, int size)
{
  if (!pData || size <= 0) return false;
  if (mMidiJack.load() && size > kJackMaxMessageSize)
  {
    ConsoleLog("MIDI OUT: a message of %d bytes is too long for the JACK output, not sent\n", size);
    mMidiOutCallRefusals.fetch_add(1);
    return false;
  }
  if (!mMidiOutChosen.load())
  {
    if (!mMidiOutClosedLogged.exchange(true)) ConsoleLog("MIDI OUT: no output port open, nothing sent\n");
    return false;
  }
  // A chosen port that went away takes nothing until it is back (the count is
  // logged then, or when another port is chosen); nor does one of a server gone.
  // A choice on its way decides anew: what is sent after it waits for its port.
  if (mMidiOutChoicesUnderWay.load() == 0 &&
      (mMidiOutWatch.missing.load() || mMidiServerGone.load()))
  {
    mMidiOutWatch.dropped.fetch_add(1);
    mMidiOutCallRefusals.fetch_add(1);
    return false;
  }
  // No lock: any thread, the render's among them.
  if (!mMidiOutRing.Push(pData, size))
  {
    mMidiOutCallRefusals.fetch_add(1);
    return false;
  }
  mMidiOutPushed.fetch_add(1);
  // Over JACK the bridge's process callback takes it at its next period, as far as
  // the gate the port thread keeps lets it: no one is woken.
  if (mMidiShared.load()) return true;
  // Over ALSA a port thread that looks at the queue anyway is not woken (see
  // RunMidiPortThread); the host's render thread wakes it otherwise too.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (!mMidiPortPolling.load()) WakeMidiPortThread();
  return true;
}

// The port thread: the latest place wins.
void MidiPortLayer::NoteMidiOutRefused(unsigned long long at)
{
  unsigned long long was = mMidiOutRefusedAt.load();
  while (was < at && !mMidiOutRefusedAt.compare_exchange_weak(was, at))
  {
  }
}

// A send of the render thread is any other's now: over JACK none makes a system
// call, over ALSA each wakes the port thread unless it looks at the queue anyway.
void MidiPortLayer::MarkMidiRenderThread() {}

bool MidiPortLayer::SendMidiMsgToPort(IMidiMsg* pMsg)
{
  if (!pMsg) return false;
  unsigned char bytes[3];
  const int n = MidiMsgWireBytes(*pMsg, bytes);
  return SendBytesToPort(bytes, n);
}

bool MidiPortLayer::SendMidiSysexToPort(const unsigned char* pData, int size)
{
  WDL_TypedBuf<unsigned char> bytes(256);
  MidiSysexWireBytes(pData, size, &bytes);
  return SendBytesToPort(bytes.Get(), bytes.GetSize());
}
