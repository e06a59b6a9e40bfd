#pragma once
// The port layer's own parts shared by its two files (MidiPortLayer.cpp, the
// host's side; MidiPortThread.cpp, the port thread's): the ALSA sequencer's
// port objects (RtMidi), the JACK owner's answers, and both directions as the
// steps of MidiPortSelect see them. Included by those two files only.

#include "plug/MidiPortLayer.h"

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

// The input object's callback passes through this to the layer until the object
// is let go of: busy counts the callbacks under way, so that the one cutting the
// route knows when none can still reach the layer.
struct MidiInRoute
{
  explicit MidiInRoute(MidiPortLayer* p) : plug(p) {}
  std::atomic<MidiPortLayer*> plug;
  std::atomic<int> busy{0};

  // The port library's thread.
  static void Callback(double timeStamp, std::vector<unsigned char>* message, void* route)
  {
    MidiInRoute* r = static_cast<MidiInRoute*>(route);
    r->busy.fetch_add(1);
    if (MidiPortLayer* p = r->plug.load()) MidiPortLayer::MIDICallback(timeStamp, message, p);
    r->busy.fetch_sub(1);
  }
  void Cut()
  {
    plug.store(nullptr);
    while (busy.load() > 0) std::this_thread::yield();
  }
};

namespace {

// An ALSA input object with the layer's callback and filter, before any port
// opens; null without a sequencer. Its route is made first.
inline RtMidiIn* NewMidiInObject(MidiPortLayer* plug, MidiInRoute** route, bool say)
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
template <class R, class F>
R AskJackOwner(const JackMidiOwner::Server& server, const std::atomic<bool>& giveUp, R otherwise, F question)
{
  auto answer = std::make_shared<R>(otherwise);
  if (!JackMidiOwner::Ask(server, [answer, question](unsigned epoch) { *answer = question(epoch); }, giveUp))
    return otherwise;
  return *answer;
}

} // namespace

// What both sides answer: over JACK from the owner (each question a request the
// port thread waits for, given up as the instance closes), over ALSA from the port
// thread's look when there is one, else from the port object. Used on the port
// thread only.
struct MidiPortLayer::MidiSideLook : MidiPortAccess
{
  MidiSideLook(MidiPortLayer* p, MidiPortLook* look) : mLayer(p), mLook(look) {}
  std::vector<std::string> CurrentPortNames() override
  {
    std::vector<std::string> names;
    if (mLayer->mMidiJack.load())
    {
      const bool input = IsInput();
      if (mLayer->mMidiJackLook.valid)
      {
        names = mLayer->mMidiJackLook.names[input ? 1 : 0];
        mLayer->mMidiJackSeen[input ? 1 : 0] = names;
        mLayer->NoteMidiPortsSeen(input, names);
        return names;
      }
      // Given up (the instance closes): the last listing stands, so no port is
      // said to be gone on the way out. A listing whose server was learnt to have
      // gone as it was read is read again, from the next server's bridge.
      for (int read = 0; read < 2; ++read)
      {
        const JackMidiOwner::Server server = mLayer->mMidiJackServer;
        const auto listed = AskJackOwner(server, mLayer->mMidiWatchQuit,
                                         std::make_pair(mLayer->mMidiJackSeen[input ? 1 : 0], true),
                                         [input, server](unsigned e) {
                                           std::vector<std::string> found = JackMidiOwner::Ports(input);
                                           return std::make_pair(found, e == 0 || JackMidiOwner::EpochLives(server, e));
                                         });
        names = listed.first;
        if (listed.second) break;
      }
      mLayer->mMidiJackSeen[input ? 1 : 0] = names;
    }
    else
      names = mLook ? mLook->Names(IsInput()) : MidiPortAccess::CurrentPortNames();
    mLayer->NoteMidiPortsSeen(IsInput(), names);
    return names;
  }
  bool OpensByName() const override { return mLayer->mMidiJack.load(); }
  std::string OurPort() override
  {
    if (!mLayer->mMidiJack.load()) return std::string();
    // Named by the connection just made: no second question.
    if (!mJoinedAs.empty()) return mJoinedAs;
    std::shared_ptr<JackMidiSlot> slot = mLayer->mMidiSlot;
    const bool input = IsInput();
    return AskJackOwner(mLayer->mMidiJackServer, mLayer->mMidiWatchQuit, std::string(),
                        [slot, input](unsigned) { return slot->name[input ? 1 : 0]; });
  }
  int Connected(const std::string& ours, const std::string& name) override
  {
    if (mLayer->mMidiJack.load())
    {
      std::shared_ptr<JackMidiSlot> slot = mLayer->mMidiSlot;
      const bool input = IsInput();
      const auto& look = mLayer->mMidiJackLook;
      if (look.valid && look.peer[input ? 1 : 0] == name) return look.connected[input ? 1 : 0];
      return AskJackOwner(mLayer->mMidiJackServer, mLayer->mMidiWatchQuit, -1,
                          [slot, input, name](unsigned) { return JackMidiOwner::Connected(slot, input, name); });
    }
    // The sequencer's look cannot tell.
    return MidiPortAccess::Connected(ours, name);
  }
  void LogPortLine(const std::string& line) override
  {
    MidiPortAccess::LogPortLine(line);
    mLayer->KeepMidiPortLine(line);
  }
  unsigned PortCount() override
  {
    if (mLayer->mMidiJack.load() || mLook) return (unsigned)CurrentPortNames().size();
    return Object() ? Object()->getPortCount() : 0;
  }
  std::string PortName(unsigned port) override
  {
    if (mLayer->mMidiJack.load() || mLook)
    {
      const std::vector<std::string> names = CurrentPortNames();
      if (port >= names.size()) throw RtMidiError("MIDI: no port of that number", RtMidiError::INVALID_PARAMETER);
      return names[port];
    }
    if (!Object()) throw RtMidiError("MIDI: no port object", RtMidiError::INVALID_USE);
    return Object()->getPortName(port);
  }
  bool Exists() const override { return mLayer->mMidiJack.load() || Object() != nullptr; }
  virtual RtMidi* Object() const = 0;

  // Over JACK: joins our port to the port listed last at number.
  void ConnectJack(unsigned port)
  {
    const bool input = IsInput();
    const std::vector<std::string>& seen = mLayer->mMidiJackSeen[input ? 1 : 0];
    if (port >= seen.size()) throw RtMidiError("MIDI: no port of that number", RtMidiError::INVALID_PARAMETER);
    const std::string name = seen[port];
    mLayer->mMidiJackLook.valid = false;
    std::shared_ptr<JackMidiSlot> slot = mLayer->mMidiSlot;
    // The epoch the port joined in; 0: not joined.
    // A server gone meanwhile took the other direction's port too: it is said gone
    // (and opened again by the watch) before this one joins the next server's epoch,
    // which would hide the old epoch's end from the next look.
    mLayer->FollowJackServer();
    const auto joined = AskJackOwner(mLayer->mMidiJackServer, mLayer->mMidiWatchQuit,
                                     std::make_pair(0u, std::string()), [slot, input, name](unsigned e) {
                                       return JackMidiOwner::Connect(slot, input, name)
                                                  ? std::make_pair(e, slot->name[input ? 1 : 0])
                                                  : std::make_pair(0u, std::string());
                                     });
    const unsigned epoch = joined.first;
    mJoinedAs = joined.second;
    if (epoch && mLayer->mMidiJackEpoch && mLayer->mMidiJackEpoch != epoch) mLayer->FollowJackServer();
    // Given up as the instance closes: nothing failed, so nothing is said.
    if (!epoch && mLayer->mMidiWatchQuit.load()) throw RtMidiError(std::string(), RtMidiError::DRIVER_ERROR);
    if (!epoch)
      throw RtMidiError(std::string(input ? "MIDI IN" : "MIDI OUT") + ": JACK did not connect " + name,
                        RtMidiError::DRIVER_ERROR);
    mLayer->mMidiJackEpoch = epoch;
    mLayer->mMidiJackCutDue[input ? 1 : 0] = false;
  }
  void DisconnectJack()
  {
    mJoinedAs.clear();
    mLayer->mMidiJackLook.valid = false;
    std::shared_ptr<JackMidiSlot> slot = mLayer->mMidiSlot;
    const bool input = IsInput();
    bool& due = mLayer->mMidiJackCutDue[input ? 1 : 0];
    due = mLayer->mMidiJackCutLater;
    if (due) return;
    AskJackOwner(mLayer->mMidiJackServer, mLayer->mMidiWatchQuit, false, [slot, input](unsigned) {
      JackMidiOwner::Disconnect(slot, input);
      return true;
    });
  }

  MidiPortLayer* mLayer;
  MidiPortLook* mLook;
  // Our port's full name as the last ConnectJack of this side left it (empty: none).
  std::string mJoinedAs;
};

struct MidiPortLayer::MidiOutSide : MidiSideLook
{
  explicit MidiOutSide(MidiPortLayer* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return false; }
  RtMidi* Object() const override { return mLayer->mMidiOut; }
  void OpenPort(unsigned port) override
  {
    if (mLayer->mMidiJack.load())
      ConnectJack(port);
    else
      mLayer->mMidiOut->openPort(port, kMidiOutPortName);
    mLayer->mMidiOutOpen.store(true);
  }
  void ClosePort() override
  {
    mLayer->mMidiOutOpen.store(false);
    if (mLayer->mMidiJack.load())
      DisconnectJack();
    else if (mLayer->mMidiOut)
      mLayer->mMidiOut->closePort();
  }
};

struct MidiPortLayer::MidiInSide : MidiSideLook
{
  explicit MidiInSide(MidiPortLayer* p, MidiPortLook* look = nullptr) : MidiSideLook(p, look) {}
  bool IsInput() const override { return true; }
  RtMidi* Object() const override { return mLayer->mMidiIn; }
  void OpenPort(unsigned port) override
  {
    if (mLayer->mMidiJack.load())
    {
      mLayer->StartMidiInputThread();
      mLayer->mMidiInUsed = true;
      ConnectJack(port);
      return;
    }
    // Before any call into the object: the fresh object replaces a used one.
    mLayer->ReplaceClosedMidiIn();
    if (!mLayer->mMidiIn) throw RtMidiError("MIDI IN: no input object", RtMidiError::INVALID_USE);
    if (mLayer->mMidiInClosedKept) throw RtMidiError("MIDI IN: no fresh input object", RtMidiError::DRIVER_ERROR);
    mLayer->StartMidiInputThread();
    // Even a failed opening may have left state in the object: it is replaced after the next closing.
    mLayer->mMidiInUsed = true;
    mLayer->mMidiIn->openPort(port, kMidiInPortName);
    // MIDICallback was installed with the object.
    mLayer->mMidiIn->ignoreTypes(false, true, true);
  }
  void ClosePort() override { mLayer->CloseMidiIn(true); }
};
