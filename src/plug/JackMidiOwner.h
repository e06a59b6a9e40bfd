#pragma once
// The host side of the plug-in's JACK clients. No JACK client of ours lives in the
// host's process: JACK's library keeps state for its whole process (its clients'
// table, one lock, a clean-up of every stale client at the next opening after a
// server went) that a host's own JACK clients share. The two clients ("RtMidi Output
// Client" carries every instance's output port, "RtMidi Input Client" every input
// port) live in the JACK bridge, a program of the plug-in's own started from its
// bundle (src/plug/jackbridge), one per host process, on the server the latest
// instance's environment named as it started (a server moved to meanwhile is taken
// by the next bridge): it ends with its server (a fresh one waits for the next) and
// with its host's process (the kernel tells it; a child the host forked changes
// nothing).
//
// Each instance has a slot: shared memory holding its send queue (every thread of
// the instance sends into it, the bridge's process callback writes it into each
// period's buffer as far as the buffer takes it), its input ring (the bridge's callback writes, the input
// thread reads) and the words its threads wait on, handed to the bridge as a file
// descriptor. Each instance asks the owner's thread, the one thread that talks to
// the bridge, for port lists, connections and its ports: a request waits for that
// thread, and its asker may give up at any moment (an instance closing); the host's
// threads never wait on the bridge without a bound of their own. The owner's thread
// waits for a request's answer while the bridge answers a ping (its worker may wait
// that long on a server that stands still: ending it then would leave its clients
// dead there); one that answers nothing, not even a ping, for 3 s (stopped, stuck)
// is ended and a fresh one started, and the log says so once.
//
// The server's end is learnt from the bridge: the epoch ends, the slots lose their
// ports, and the next request finds a fresh bridge that has opened new clients once
// a server takes them again.

#include "plug/JackBridgeShared.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// One instance's ports and shared memory. Made by the instance, shared with the
// owner, which lets go of it as the instance closes (its ports then go).
struct JackMidiSlot
{
  JackMidiSlot();
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
  // The owner's thread only: the full names of its ports on the live epoch (empty:
  // none), its place in the bridge's table and the bridge that has its memory.
  std::string name[2];
  int index = -1;
  unsigned bridge = 0;

private:
  static jackbridge::SlotMemory* Make(int* fd, size_t* size);
};

namespace JackMidiOwner
{
// The environment a bridge starts with, copied here: called on the thread that makes
// an instance (the host's, where a host changes its environment), so that the
// owner's thread never reads the process's own while a host's setenv rewrites it.
void TakeEnvironment();

// The live epoch (0: no bridge has clients on a server). Any thread, no wait.
unsigned Epoch();
// Whether epoch is the live one and its server has not been seen to go.
bool EpochLives(unsigned epoch);

// Runs job on the owner's thread (starting it at the first call) with a bridge
// started first where none runs and its first answer awaited (the epoch, 0 where no
// server takes clients), and waits until it has run, or until giveUp is set (the
// asker then calls WakeAskers): false then (the job still runs later, or is dropped
// at the process's end; it must hold what it uses). Any thread but the owner's.
bool Ask(std::function<void(unsigned epoch)> job, const std::atomic<bool>& giveUp);
// The same, given up after bound as well; no bridge started for it.
bool AskWithin(std::function<void(unsigned epoch)> job, std::chrono::milliseconds bound);
// The same without waiting.
void Post(std::function<void(unsigned epoch)> job);
// Wakes the askers waiting in Ask, so that one whose giveUp was set returns.
void WakeAskers();

// ---- on the owner's thread, inside a job ----
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

// JACK's status of the last opening no server took (0: none yet). Any thread.
unsigned LastRefusal();
// Whether the epoch (ended) ended with its bridge (killed, stuck, crashed) rather
// than with its server. Any thread.
bool BridgeLost(unsigned epoch);
// Whether the last start of a bridge failed (no program in the bundle, or it
// could not be started). Any thread.
bool NoBridge();
// Whether the last wait for the bridge's word on a server ended with none (a server
// that stands still, or a starved machine): the ports are listed once it comes.
bool Unanswered();

// For tests and benchmarks: clients opened on a server by the process's bridges, and
// those closed (or left) while their server ran; the running bridge's process id
// (0: none) and the bridges started so far.
int ClientsOpened();
int ClientsClosed();
int BridgePid();
int BridgesStarted();
} // namespace JackMidiOwner

// The owner's end: its thread is told to stop and the socket to the bridge closed
// (the bridge writes out what the rings hold, closes its clients and exits by
// itself). The thread is waited for 250 ms at most, then the bridge 500 ms at
// most. Called by the process's exit, before the console's logger ends; any thread
// but the owner's.
void EndJackMidiOwner();
