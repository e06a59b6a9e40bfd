#pragma once
// The port layer's own parts shared by its two files (IPlugMidiPorts.cpp, the
// host's side; IPlugMidiPortThread.cpp, the port thread's): the port objects'
// making, the guard of a call into a JACK client, and both directions as the steps
// of MidiPortSelect see them. Included by those two files only.

#include "plug/IPlugBase.h"

#include "base/log.h"
#include "plug/JackClientSettle.h"
#include "plug/JackServerEpoch.h"
#include "plug/MidiPortLook.h"
#include "plug/MidiPortSelect.h"

#include <RtMidi.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
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

// What the sends wait in, for the port thread, at most: several of the largest
// dumps (37,392 bytes) and the clock beside them.
const int kMidiOutQueueBytes = 256 * 1024;

// RtMidi's JACK output hands each period what its ring holds, and JACK's buffer of
// a period takes about 8 KB: more in one period is lost. Sends go out in pieces of
// at most this many bytes, a period apart.
const int kMidiOutPieceBytes = 8192;

// RtMidi's JACK objects do not throw when no server takes their client: they warn,
// leave an object without one, and try to open one again at every later call,
// under whatever lock the caller holds then. Such an object is never kept.
inline void NoteNoClient(RtMidiError::Type, const std::string& text, void* why)
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
// JACK; epoch gets kNoJackEpoch for the sequencer. api gets the interface taken,
// even when JACK, taken, has no server yet: its ports may come later.
template <class T, class... Args>
T* CreatePortObject(const char* direction, unsigned* epoch, RtMidi::Api* api, const std::string& client,
                    Args... args)
{
  try
  {
    *api = RtMidi::LINUX_ALSA;
    T* p = new T(RtMidi::LINUX_ALSA, client, args...);
    ConsoleLog("MIDI %s: using the ALSA sequencer\n", direction);
    *epoch = kNoJackEpoch;
    return p;
  }
  catch (RtMidiError& e)
  {
    ConsoleLog("MIDI %s: no ALSA sequencer (%s), using JACK\n", direction, e.what());
  }
  *api = RtMidi::UNIX_JACK;
  return NewJackPortObject<T>(direction, client, epoch, args...);
}

// A call into a JACK client of epoch (JackServerEpoch.h): the calls' shared hold,
// and whether the epoch still lives, which is when anything may be called.
class EpochCall
{
public:
  explicit EpochCall(unsigned epoch) : mLives(JackServerEpochLives(epoch)) {}
  explicit operator bool() const { return mLives; }

private:
  JackClientCall mCall;
  const bool mLives;
};

inline void LogPortWarning(RtMidiError::Type, const std::string& text, void* direction)
{
  ConsoleLog("MIDI %s: %s\n", (const char*)direction, text.c_str());
}

// The ports there are now. The library only warns when its server is missing:
// that goes to our log.
template <class T> unsigned CountPortsLoggingWhyNone(T* object, const char* direction, unsigned epoch)
{
  EpochCall call(epoch);
  if (!call) return 0;
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
// taken, where given, gets the interface the object is (or would have been) of.
inline RtMidiIn* NewMidiInObject(RtMidi::Api api, IPlugBase* plug, MidiInRoute** route, unsigned* epoch,
                                 RtMidi::Api* taken = nullptr)
{
  RtMidi::Api ignored = api;
  if (!taken) taken = &ignored;
  *taken = api;
  std::unique_ptr<MidiInRoute> r(new MidiInRoute(plug));
  const std::string client = "RtMidi Input Client";
  RtMidiIn* in = nullptr;
  if (api == RtMidi::UNIX_JACK)
    in = NewJackPortObject<RtMidiIn>("IN", client, epoch, 100u);
  else if (api == RtMidi::UNSPECIFIED)
    in = CreatePortObject<RtMidiIn>("IN", epoch, taken, client, 100u);
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

// What both sides answer from the port thread's look when there is one, else from
// the port object. Used on the port thread only, which alone makes, replaces and
// calls the port objects: the port locks guard the pointers against the readers of
// other threads, never a call into the port library.
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
  unsigned PortCount() override
  {
    if (mLook) return (unsigned)mLook->Names(IsInput()).size();
    EpochCall call(Epoch());
    return call && Object() ? Object()->getPortCount() : 0;
  }
  std::string PortName(unsigned port) override
  {
    if (mLook)
    {
      const std::vector<std::string> names = mLook->Names(IsInput());
      if (port >= names.size()) throw RtMidiError("MIDI: no port of that number", RtMidiError::INVALID_PARAMETER);
      return names[port];
    }
    EpochCall call(Epoch());
    if (!call || !Object()) throw RtMidiError("MIDI: no port object", RtMidiError::INVALID_USE);
    return Object()->getPortName(port);
  }
  bool Exists() const override { return Object() != nullptr; }
  virtual RtMidi* Object() const = 0;
  virtual unsigned Epoch() const = 0;
  IPlugBase* mPlug;
  MidiPortLook* mLook;
};

struct IPlugBase::MidiOutSide : MidiSideLook
{
  explicit MidiOutSide(IPlugBase* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return false; }
  RtMidi* Object() const override { return mPlug->mMidiOut; }
  unsigned Epoch() const override { return mPlug->mMidiOutEpoch.load(); }
  void OpenPort(unsigned port) override
  {
    {
      EpochCall call(Epoch());
      if (!call) throw RtMidiError("MIDI OUT: the JACK server has gone", RtMidiError::DRIVER_ERROR);
      mPlug->mMidiOut->openPort(port, kMidiOutPortName);
    }
    mPlug->mMidiOutOpen.store(true);
  }
  void ClosePort() override
  {
    mPlug->mMidiOutOpen.store(false);
    // RtMidi's JACK output waits a second for a period that a dead server never runs.
    EpochCall call(Epoch());
    if (call && mPlug->mMidiOut) mPlug->mMidiOut->closePort();
  }
};

struct IPlugBase::MidiInSide : MidiSideLook
{
  explicit MidiInSide(IPlugBase* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return true; }
  RtMidi* Object() const override { return mPlug->mMidiIn; }
  unsigned Epoch() const override { return mPlug->mMidiInEpoch.load(); }
  void OpenPort(unsigned port) override
  {
    // Before any call into a client: the fresh object's opening holds them off.
    mPlug->ReplaceClosedMidiIn();
    if (!mPlug->mMidiIn) throw RtMidiError("MIDI IN: no input object", RtMidiError::INVALID_USE);
    // Its route is cut: tried again at the next opening.
    if (mPlug->mMidiInClosedKept)
      throw RtMidiError("MIDI IN: no fresh input object", RtMidiError::DRIVER_ERROR);
    {
      std::lock_guard<std::mutex> lock(mPlug->mMidiInLock);
      if (!mPlug->mMidiInThread.joinable() && !mPlug->mMidiInStopped.load())
        mPlug->mMidiInThread = std::thread([plug = mPlug] { plug->RunMidiInput(); });
    }
    EpochCall call(Epoch());
    if (!call) throw RtMidiError("MIDI IN: the JACK server has gone", RtMidiError::DRIVER_ERROR);
    // Even a failed opening may have left state in the object: it is replaced after the next closing.
    mPlug->mMidiInUsed = true;
    mPlug->mMidiIn->openPort(port, kMidiInPortName);
    // MIDICallback was installed with the object.
    mPlug->mMidiIn->ignoreTypes(false, true, true);
  }
  void ClosePort() override { mPlug->CloseMidiIn(true); }
};
