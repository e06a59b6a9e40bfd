#pragma once
// The one owner of this process's JACK clients for the MIDI port layer. Every
// instance's ports live on its two clients ("RtMidi Output Client" carries the
// output ports, "RtMidi Input Client" the input ports), opened once a server takes
// clients and never closed while it runs: a JACK client closed while its server
// runs is where JACK's library is fragile, and a program with many ports keeps one
// client for them. They are closed when the process ends (EndJackMidiOwner), within
// a bound.
//
// Each instance registers its own ports (a slot, below) and asks the owner's
// thread, the one thread that calls JACK besides JACK's own, for port lists,
// connections and its ports' registration: a request waits for that thread, and
// its asker may give up at any moment (an instance closing), never the owner.
//
// The process callbacks move every slot's data: the output callback writes what
// the slot's ring holds into the period's buffer as far as the buffer takes it
// (events and bytes), the rest waits for the next period; the input callback hands
// each event to the slot's input. On JACK's thread nothing waits: no lock, no
// system call, no allocation, no console. A slot is reached through an atomic
// pointer and freed by the owner's thread only once no callback can reach it.
//
// The server's end is learnt from the clients' shutdown callbacks: the epoch ends,
// the ended clients are never called again (JACK's library frees them itself at
// the next opening), and the next request opens new ones once a server takes
// clients again.

#include "plug/MidiInputRing.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

typedef struct _jack_port jack_port_t;

// Where a slot's input goes, on JACK's process thread: must not wait.
class JackMidiInput
{
public:
  virtual ~JackMidiInput() {}
  virtual void Take(const unsigned char* bytes, int size) = 0;
};

// One instance's two ports. Made by the instance, shared with the owner, which
// frees its share once the callbacks can no longer reach it.
struct JackMidiSlot
{
  // The output's ring holds a few periods' worth: the port thread fills it from the
  // instance's send queue as it empties.
  static const int kOutRingBytes = 64 * 1024;
  explicit JackMidiSlot(std::shared_ptr<JackMidiInput> in) : input(std::move(in)) {}

  // Output: the port thread the producer, the output callback the consumer.
  MidiInputRing out{kOutRingBytes};
  std::atomic<unsigned long long> pushed{0};   // the port thread's count of what went in
  std::atomic<unsigned long long> written{0};  // written into a period's buffer
  std::atomic<long long> tooLong{0};           // longer than an empty period's buffer takes
  std::shared_ptr<JackMidiInput> input;
  // The ports on the live epoch's clients (0 output, 1 input); null when none.
  std::atomic<jack_port_t*> port[2] = {{nullptr}, {nullptr}};
  // The owner's thread only.
  std::string name[2];  // full names of the ports above
  int number[2] = {0, 0};  // 1: "RtMidi Output", n: "RtMidi Output n"
  bool renamed[2] = {false, false};  // under another name (Rename)
};

// The answers a port thread gets. false: given up, or no server takes clients.
namespace JackMidiOwner
{
// The live epoch (0: no client open). Any thread, no wait, nothing made.
unsigned Epoch();
// Whether epoch is the live one and its server has not been seen to go.
bool EpochLives(unsigned epoch);

// Runs job on the owner's thread (starting it at the first call) with the clients
// of a live epoch opened first where a server takes them (the epoch, 0 where none
// does), and waits until it has run, or until giveUp is set: false then (the job
// still runs later, or is dropped at the process's end; it must hold what it uses).
// Any thread but JACK's and the owner's.
bool Ask(std::function<void(unsigned epoch)> job, const std::atomic<bool>& giveUp);
// The same, given up after bound as well; no clients opened for it.
bool AskWithin(std::function<void(unsigned epoch)> job, std::chrono::milliseconds bound);
// The same without waiting.
void Post(std::function<void(unsigned epoch)> job);

// ---- on the owner's thread, inside a job ----
// MIDI ports an output (input) would list: those taking input (giving output), by
// full name, in the server's order, the owner's own left out.
std::vector<std::string> Ports(bool input);
// Registers the slot's port of the direction when it has none on the live epoch
// (its short name RtMidi's, numbered from the second instance on); puts the slot
// where the callbacks see it. False when it cannot.
bool Register(const std::shared_ptr<JackMidiSlot>& slot, bool input);
// Joins the slot's port to the port named (after letting go of every other): false
// when it cannot.
bool Connect(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name);
void Disconnect(const std::shared_ptr<JackMidiSlot>& slot, bool input);
// The slot's port of the direction under another short name (a virtual port),
// joined to nothing; a later Connect gives it its own name back.
bool Rename(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& shortName);
// 1 when the slot's port is joined to the port named, 0 when not, -1 when it has none.
int Connected(const std::shared_ptr<JackMidiSlot>& slot, bool input, const std::string& name);
// Disconnects both of the slot's ports.
void DisconnectSlot(const std::shared_ptr<JackMidiSlot>& slot);
// The server's period in seconds; 0 without a live epoch.
double PeriodSeconds();

// Lets go of the slot: it leaves the callbacks, its memory the owner's until no
// callback can reach it, and its ports (disconnected first, DisconnectSlot) serve
// the next instance. Any thread; no wait.
void Release(std::shared_ptr<JackMidiSlot> slot);

// JACK's status of the last opening no server took (0: none yet). Any thread.
unsigned LastRefusal();

// Clients opened and closed since the process began (for tests and benchmarks).
int ClientsOpened();
int ClientsClosed();
} // namespace JackMidiOwner

// The owner's end: its thread is told to stop, the live epoch's clients are closed,
// and no code of the owner runs afterwards; each step within a bound (the whole
// under half a second) and only once. Called by the process's exit (a static's
// destructor of the library); any thread but JACK's and the owner's.
void EndJackMidiOwner();
