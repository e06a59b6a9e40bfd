#pragma once
// The port layer's own parts shared by its two files (IPlugMidiPorts.cpp, the
// host's side; IPlugMidiPortThread.cpp, the port thread's): the ALSA sequencer's
// port objects (RtMidi), the JACK owner's answers, and both directions as the
// steps of MidiPortSelect see them. Included by those two files only.

#include "plug/IPlugBase.h"

#include "base/log.h"
#include "plug/JackMidiOwner.h"
#include "plug/MidiInStream.h"
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

// The names the plug-in's own ports take when they open (over ALSA; over JACK the
// owner's, numbered from an instance's second in the process on).
const char* const kMidiOutPortName = "RtMidi Output";
const char* const kMidiInPortName = "RtMidi Input";

// How long after an output's choice an input's choice counts as made with it (the
// menus' pair of a move to another synthesizer, a recall): what is sent after the
// output's choice waits that long for it, and then for its port.
const std::chrono::milliseconds kMidiChoicePairing(30);

// The longest message sent over JACK: a period's MIDI buffer takes more, but what
// the tools at the other end take has been measured to this (the length RtMidi's
// own JACK output carried).
const int kJackMaxMessageSize = 16379;

// The ALSA sequencer's port object, or null (RtMidi throws without a sequencer).
template <class T, class... Args> T* NewAlsaPortObject(const char* direction, const std::string& client, Args... args)
{
  try
  {
    T* p = new T(RtMidi::LINUX_ALSA, client, args...);
    ConsoleLog("MIDI %s: using the ALSA sequencer\n", direction);
    return p;
  }
  catch (RtMidiError& e)
  {
    ConsoleLog("MIDI %s: no ALSA sequencer (%s), using JACK\n", direction, e.what());
  }
  return nullptr;
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

// An ALSA input object with the plug-in's callback and filter, before any port
// opens; null without a sequencer. Its route is made first.
inline RtMidiIn* NewMidiInObject(IPlugBase* plug, MidiInRoute** route, bool say)
{
  std::unique_ptr<MidiInRoute> r(new MidiInRoute(plug));
  RtMidiIn* in = nullptr;
  if (say)
    in = NewAlsaPortObject<RtMidiIn>("IN", "RtMidi Input Client", 100u);
  else
  {
    try
    {
      in = new RtMidiIn(RtMidi::LINUX_ALSA, "RtMidi Input Client", 100u);
    }
    catch (RtMidiError& e)
    {
      SayMidiError(e);
    }
  }
  if (!in) return nullptr;
  in->setCallback(&MidiInRoute::Callback, r.get());
  in->ignoreTypes(false, true, true);
  *route = r.release();
  return in;
}

// A question to the JACK owner on the port thread: its answer, or otherwise when
// the instance closes first. What the job fills is its own, so an answer that comes
// after the give-up writes into nothing freed.
template <class R, class F> R AskJackOwner(const std::atomic<bool>& giveUp, R otherwise, F question)
{
  auto answer = std::make_shared<R>(otherwise);
  if (!JackMidiOwner::Ask([answer, question](unsigned epoch) { *answer = question(epoch); }, giveUp)) return otherwise;
  return *answer;
}

} // namespace

// What both sides answer: over JACK from the owner (each question a request the
// port thread waits for, given up as the instance closes), over ALSA from the port
// thread's look when there is one, else from the port object. Used on the port
// thread only.
struct IPlugBase::MidiSideLook : MidiPortAccess
{
  MidiSideLook(IPlugBase* p, MidiPortLook* look) : mPlug(p), mLook(look) {}
  std::vector<std::string> CurrentPortNames() override
  {
    std::vector<std::string> names;
    if (mPlug->mMidiJack.load())
    {
      const bool input = IsInput();
      if (mPlug->mMidiJackLook.valid)
      {
        names = mPlug->mMidiJackLook.names[input ? 1 : 0];
        mPlug->mMidiJackSeen[input ? 1 : 0] = names;
        mPlug->NoteMidiPortsSeen(input, names);
        return names;
      }
      // Given up (the instance closes): the last listing stands, so no port is
      // said to be gone on the way out. A listing whose server was learnt to have
      // gone as it was read is read again, from the next server's bridge.
      for (int read = 0; read < 2; ++read)
      {
        const auto listed = AskJackOwner(
            mPlug->mMidiWatchQuit, std::make_pair(mPlug->mMidiJackSeen[input ? 1 : 0], true), [input](unsigned e) {
              std::vector<std::string> found = JackMidiOwner::Ports(input);
              return std::make_pair(found, e == 0 || JackMidiOwner::EpochLives(e));
            });
        names = listed.first;
        if (listed.second) break;
      }
      mPlug->mMidiJackSeen[input ? 1 : 0] = names;
    }
    else
      names = mLook ? mLook->Names(IsInput()) : MidiPortAccess::CurrentPortNames();
    mPlug->NoteMidiPortsSeen(IsInput(), names);
    return names;
  }
  std::vector<std::string> OwnPorts() override
  {
    if (mPlug->mMidiJack.load()) return {};
    return mLook ? mLook->OwnPorts(IsInput()) : std::vector<std::string>();
  }
  bool OpensByName() const override { return mPlug->mMidiJack.load(); }
  std::string OurPort() override
  {
    if (!mPlug->mMidiJack.load()) return std::string();
    std::shared_ptr<JackMidiSlot> slot = mPlug->mMidiSlot;
    const bool input = IsInput();
    return AskJackOwner(mPlug->mMidiWatchQuit, std::string(), [slot, input](unsigned) { return slot->name[input ? 1 : 0]; });
  }
  int Connected(const std::string& ours, const std::string& name) override
  {
    if (mPlug->mMidiJack.load())
    {
      std::shared_ptr<JackMidiSlot> slot = mPlug->mMidiSlot;
      const bool input = IsInput();
      const auto& look = mPlug->mMidiJackLook;
      if (look.valid && look.peer[input ? 1 : 0] == name) return look.connected[input ? 1 : 0];
      return AskJackOwner(mPlug->mMidiWatchQuit, -1,
                          [slot, input, name](unsigned) { return JackMidiOwner::Connected(slot, input, name); });
    }
    return mLook ? mLook->Connected(ours, name) : -1;
  }
  void LogPortLine(const std::string& line) override
  {
    MidiPortAccess::LogPortLine(line);
    mPlug->KeepMidiPortLine(line);
  }
  unsigned PortCount() override
  {
    if (mPlug->mMidiJack.load() || mLook) return (unsigned)CurrentPortNames().size();
    return Object() ? Object()->getPortCount() : 0;
  }
  std::string PortName(unsigned port) override
  {
    if (mPlug->mMidiJack.load() || mLook)
    {
      const std::vector<std::string> names = CurrentPortNames();
      if (port >= names.size()) throw RtMidiError("MIDI: no port of that number", RtMidiError::INVALID_PARAMETER);
      return names[port];
    }
    if (!Object()) throw RtMidiError("MIDI: no port object", RtMidiError::INVALID_USE);
    return Object()->getPortName(port);
  }
  bool Exists() const override { return mPlug->mMidiJack.load() || Object() != nullptr; }
  virtual RtMidi* Object() const = 0;

  // Over JACK: joins our port to the port listed last at number.
  void ConnectJack(unsigned port)
  {
    const bool input = IsInput();
    const std::vector<std::string>& seen = mPlug->mMidiJackSeen[input ? 1 : 0];
    if (port >= seen.size()) throw RtMidiError("MIDI: no port of that number", RtMidiError::INVALID_PARAMETER);
    const std::string name = seen[port];
    mPlug->mMidiJackLook.valid = false;
    std::shared_ptr<JackMidiSlot> slot = mPlug->mMidiSlot;
    // The epoch the port joined in; 0: not joined.
    // A server gone meanwhile took the other direction's port too: it is said gone
    // (and opened again by the watch) before this one joins the next server's epoch,
    // which would hide the old epoch's end from the next look.
    mPlug->FollowJackServer();
    const unsigned epoch = AskJackOwner(mPlug->mMidiWatchQuit, 0u, [slot, input, name](unsigned e) {
      return JackMidiOwner::Connect(slot, input, name) ? e : 0u;
    });
    if (epoch && mPlug->mMidiJackEpoch && mPlug->mMidiJackEpoch != epoch) mPlug->FollowJackServer();
    // Given up as the instance closes: nothing failed, so nothing is said.
    if (!epoch && mPlug->mMidiWatchQuit.load()) throw RtMidiError(std::string(), RtMidiError::DRIVER_ERROR);
    if (!epoch)
      throw RtMidiError(std::string(input ? "MIDI IN" : "MIDI OUT") + ": JACK did not connect " + name,
                        RtMidiError::DRIVER_ERROR);
    mPlug->mMidiJackEpoch = epoch;
  }
  void DisconnectJack()
  {
    mPlug->mMidiJackLook.valid = false;
    std::shared_ptr<JackMidiSlot> slot = mPlug->mMidiSlot;
    const bool input = IsInput();
    AskJackOwner(mPlug->mMidiWatchQuit, false, [slot, input](unsigned) {
      JackMidiOwner::Disconnect(slot, input);
      return true;
    });
  }

  IPlugBase* mPlug;
  MidiPortLook* mLook;
};

struct IPlugBase::MidiOutSide : MidiSideLook
{
  explicit MidiOutSide(IPlugBase* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return false; }
  RtMidi* Object() const override { return mPlug->mMidiOut; }
  void OpenPort(unsigned port) override
  {
    if (mPlug->mMidiJack.load())
      ConnectJack(port);
    else
      mPlug->mMidiOut->openPort(port, kMidiOutPortName);
    mPlug->mMidiOutOpen.store(true);
  }
  void ClosePort() override
  {
    mPlug->mMidiOutOpen.store(false);
    if (mPlug->mMidiJack.load())
      DisconnectJack();
    else if (mPlug->mMidiOut)
      mPlug->mMidiOut->closePort();
  }
};

struct IPlugBase::MidiInSide : MidiSideLook
{
  explicit MidiInSide(IPlugBase* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return true; }
  RtMidi* Object() const override { return mPlug->mMidiIn; }
  void OpenPort(unsigned port) override
  {
    if (mPlug->mMidiJack.load())
    {
      mPlug->StartMidiInputThread();
      mPlug->mMidiInUsed = true;
      ConnectJack(port);
      return;
    }
    // Before any call into the object: the fresh object replaces a used one.
    mPlug->ReplaceClosedMidiIn();
    if (!mPlug->mMidiIn) throw RtMidiError("MIDI IN: no input object", RtMidiError::INVALID_USE);
    if (mPlug->mMidiInClosedKept) throw RtMidiError("MIDI IN: no fresh input object", RtMidiError::DRIVER_ERROR);
    mPlug->StartMidiInputThread();
    // Even a failed opening may have left state in the object: it is replaced after the next closing.
    mPlug->mMidiInUsed = true;
    mPlug->mMidiIn->openPort(port, kMidiInPortName);
    // MIDICallback was installed with the object.
    mPlug->mMidiIn->ignoreTypes(false, true, true);
  }
  void ClosePort() override { mPlug->CloseMidiIn(true); }
};
