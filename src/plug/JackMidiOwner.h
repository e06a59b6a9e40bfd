#pragma once
// The host side of the plug-in's JACK clients. No JACK client of ours lives in the
// host's process: JACK's library keeps state for its whole process (its clients'
// table, one lock, a clean-up of every stale client at the next opening after a
// server went) that a host's own JACK clients share. The two clients ("RtMidi Output
// Client" carries every instance's output port, "RtMidi Input Client" every input
// port) live in the JACK bridge, a program of the plug-in's own started from its
// bundle (src/plug/jackbridge), one per host process and server: an instance works
// with the server its environment named as it was made (JACK_DEFAULT_SERVER, which
// JACK's library in the bridge reads), so a host that moves it between two instances
// has the second on the other server, with a bridge of its own started with that
// instance's environment. Each bridge ends with its server (a fresh one waits for
// the next of that name) and with its host's process (the kernel tells it; a child
// the host forked changes nothing); what befalls one leaves the others alone.
//
// Each instance has a slot: shared memory holding its send queue (every thread of
// the instance sends into it, the bridge's process callback writes it into each
// period's buffer as far as the buffer takes it), its input ring (the bridge's
// callback writes, the input thread reads) and the words its threads wait on,
// handed to its server's bridge as a file descriptor. Each instance asks its
// server's owner's thread, the one thread that talks to that server's bridge (and
// starts it, so that it ends with the host), for port lists, connections and its
// ports: a request waits for that thread, so a server that stands still holds up
// its own instances' questions alone, and its asker may give up at any moment (an
// instance closing); the host's threads never wait on a bridge without a bound of
// their own. The owner's thread waits for a request's answer while the bridge
// answers a ping (its worker may wait that long on a server that stands still:
// ending it then would leave its clients dead there); one that answers nothing,
// not even a ping, for 3 s (stopped, stuck) is ended and a fresh one started, and
// the log says so once.
//
// The server's end is learnt from its bridge: the epoch ends, that server's slots
// lose their ports, and the next request on it finds a fresh bridge that has opened
// new clients once a server of that name takes them again.

#include "plug/JackBridgeShared.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One JACK server as instances name it: JACK_DEFAULT_SERVER's value in the
// environment an instance was made with ("default" where it is unset), as JACK's
// library reads it. One per name in the process, shared by its instances and the
// owner; the rest is what its bridge last told, read by any thread without a wait.
struct JackMidiServer
{
  explicit JackMidiServer(std::string n) : name(std::move(n)) {}
  const std::string name;
  // The live epoch (0: no clients on the server), the last one seen to go, the
  // last that ended with its bridge (killed, stuck, crashed) while its server was
  // not seen to go, and JACK's status of the last opening the server refused.
  std::atomic<unsigned> epoch{0}, gone{0}, bridgeLost{0}, refused{0};
  // The last start of a bridge failed; the last wait for its word ended with none.
  std::atomic<bool> noBridge{false}, unanswered{false};
  std::atomic<int> bridgePid{0};  // the running bridge's (0: none)
};

// One instance's ports and shared memory. Made by the instance, shared with the
// owner, which lets go of it as the instance closes (its ports then go).
struct JackMidiSlot
{
  explicit JackMidiSlot(std::shared_ptr<JackMidiServer> server);
  ~JackMidiSlot();
  JackMidiSlot(const JackMidiSlot&) = delete;
  JackMidiSlot& operator=(const JackMidiSlot&) = delete;

  // Whether the memory can be handed to a bridge (else no port is ever registered).
  bool Shared() const { return fd >= 0; }

  // The memory's descriptor (-1: not shareable) and size; before mem, which sets them.
  int fd = -1;
  size_t size = 0;
  jackbridge::SlotMemory* mem = nullptr;
  // Input: the bridge's callback the producer, the instance's input side the consumer.
  // (The sends' ring, SendRingOf(mem), is the instance's send queue.)
  jackbridge::Ring in;
  // The server its ports are on, for its whole life.
  const std::shared_ptr<JackMidiServer> server;
  // The owner's thread only: the full names of its ports on the live epoch (empty:
  // none), its place in its bridge's table and the bridge (its number, unique in
  // the process) that has its memory.
  std::string name[2];
  int index = -1;
  unsigned bridge = 0;

private:
  static jackbridge::SlotMemory* Make(int* fd, size_t* size);
};

namespace JackMidiOwner
{
typedef std::shared_ptr<JackMidiServer> Server;

// The server the process's environment names now, its environment copied for the
// server's next bridge: called on the thread that makes an instance (the host's,
// where a host changes its environment), so that the owner's thread never reads the
// process's own while a host's setenv rewrites it. Tests and benchmarks that name
// no server get this one.
Server TakeEnvironment();

// The server's live epoch (0: no bridge of it has clients on it). Any thread, no wait.
unsigned Epoch(const Server& server = nullptr);
// Whether epoch is the server's live one and the server has not been seen to go.
bool EpochLives(const Server& server, unsigned epoch);

// Runs job on the owner's thread (starting it at the first call) with the server's
// bridge started first where none runs and its first answer awaited (the epoch, 0
// where no server takes clients), and waits until it has run, or until giveUp is
// set (the asker then calls WakeAskers): false then (a job under way runs to its
// end, one not begun never runs; it must hold what it uses). Any thread but the
// owner's.
bool Ask(const Server& server, std::function<void(unsigned epoch)> job, const std::atomic<bool>& giveUp);
// The same, given up after bound as well; no bridge started for it.
bool AskWithin(std::function<void(unsigned epoch)> job, std::chrono::milliseconds bound, const Server& server = nullptr);
// The same without waiting.
void Post(std::function<void(unsigned epoch)> job, const Server& server = nullptr);
// Wakes the askers waiting in Ask, so that one whose giveUp was set returns.
void WakeAskers();

// ---- on the owner's thread, inside a job: on the job's server, or the slot's ----
// MIDI ports an output (input) would list: those taking input (giving output), by
// full name, in the server's order, the bridge's own left out.
std::vector<std::string> Ports(bool input);
// Registers the slot's port of the direction when it has none on the live epoch
// ("RtMidi Output", "RtMidi Output 2", ... the lowest number free). False when it cannot.
bool Register(const std::shared_ptr<JackMidiSlot>& slot, bool input);
// Joins the slot's port to the port named (after letting go of every other): false
// when it cannot. What the output sends next waits until the server's graph holds
// the connection.
bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name);
void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input);
// The slot's port of the direction under another short name (a virtual port),
// joined to nothing; a later Connect gives it its own name back.
bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName);
// 1 when the slot's port is joined to the port named, 0 when not, -1 when it has none.
int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name);

// Lets go of the slot (the instance closes): what its send queue holds is written
// while the server takes it, within a bound, what is not is counted in the log, and
// its ports leave the server. Any thread; no wait.
void Release(std::shared_ptr<JackMidiSlot> slot);

// JACK's status of the last opening the server refused (0: none yet). Any thread.
unsigned LastRefusal(const Server& server = nullptr);
// Whether the server's epoch (ended) ended with its bridge (killed, stuck, crashed)
// rather than with its server. Any thread.
bool BridgeLost(const Server& server, unsigned epoch);
// Whether the last start of the server's bridge failed (no program in the bundle,
// or it could not be started). Any thread.
bool NoBridge(const Server& server);
// Whether the last wait for the server's bridge's word ended with none (a server
// that stands still, or a starved machine): the ports are listed once it comes.
bool Unanswered(const Server& server);

// For tests and benchmarks: clients opened on servers by the process's bridges, and
// those closed (or left) while their server ran; the server's running bridge's
// process id (0: none); the bridges started so far and those running now.
int ClientsOpened();
int ClientsClosed();
int BridgePid(const Server& server = nullptr);
int BridgesStarted();
int BridgesRunning();
} // namespace JackMidiOwner

// The owner's end: its thread is told to stop and the socket to every bridge closed
// (each writes out what the rings hold, closes its clients and exits by itself).
// The thread is waited for 250 ms at most, then the bridges 500 ms at most in all.
// Called by the process's exit and as a host unloads the library (right after its
// last instance closed, maybe), before the console's logger ends: no bridge
// outlives the code that owns it. Any thread but the owner's.
void EndJackMidiOwner();
