#pragma once
// The steps of the MIDI port layer that need no operating system: building a
// device list, finding a name in it, selecting a port by name, asking a port
// number, and the bytes a message takes on the wire. They work on one
// direction's port object through MidiPortAccess, which the plug-in implements
// over RtMidi (with its locks) and the watch's own look at the ports, and tests
// implement with scripted ports.

#include "plug/IMidiMsg.h"
#include "base/heapbuf.h"

#include <atomic>
#include <string>
#include <vector>

// One direction's port object. PortName and OpenPort throw RtMidiError on failure.
class MidiPortAccess
{
public:
  virtual ~MidiPortAccess() {}
  virtual bool IsInput() const = 0;
  virtual bool Exists() const = 0;
  virtual unsigned PortCount() = 0;
  virtual std::string PortName(unsigned port) = 0;
  virtual void OpenPort(unsigned port) = 0;
  virtual void ClosePort() = 0;

  // The ports there are now, in the library's order, for the steps that find a
  // chosen name again; a name that cannot be read is empty. The plug-in answers
  // from an object of its own, so that no send waits for a listing; by default
  // PortCount and PortName answer.
  virtual std::vector<std::string> CurrentPortNames();
  // Ports of the kind OpenPort makes, by their full names: ours, and any other
  // program's that names its ports the same. Empty where the library cannot tell.
  virtual std::vector<std::string> OwnPorts() { return {}; }
  // Whether OpenPort joins the port it names and has seen it joined (by name, not by
  // a number another port may take meanwhile): nothing is checked after it then.
  virtual bool OpensByName() const { return false; }
  // Our own port's full name where the layer knows it itself; empty otherwise.
  virtual std::string OurPort() { return std::string(); }
  // Whether our port ours is connected to the port named: 1, 0, or -1 where the
  // library cannot tell.
  virtual int Connected(const std::string&, const std::string&) { return -1; }
  // A line a user's log should show as well (a port gone or back, what was not
  // sent meanwhile): the console, and the plug-in's own log where it keeps one.
  virtual void LogPortLine(const std::string& line);
};

// The name a JACK client of ours takes: base, or "base@NAME" when DAVREL_JACK_SERVER
// names the test bed's server. JACK names a client's socket after the client alone,
// whatever its server, so two test beds running at once must not share client names.
std::string JackClientName(const std::string& base);
// The same with the server's name given (null or empty: base).
std::string JackClientName(const std::string& base, const char* server);

class RtMidiError;
// The port library's error as its own printMessage words it, handed to the log
// whole: a thread of ours never writes to the console itself.
void SayMidiError(const RtMidiError& e);

// "OFF", then the name of every port in the library's order. A name that cannot
// be read takes the last one read, so entry k stays port k - 1.
std::vector<std::string> ReadMidiPortNames(MidiPortAccess& port);
// The same with the count of ports just asked of the library (each asking may
// mean a connection attempt to a sound server).
std::vector<std::string> ReadMidiPortNames(MidiPortAccess& port, unsigned count);

// Entry of name in the whole list, first match wins; -1 when absent. Not bounded by
// the ports there are now: once a port went, every entry after it would be out of reach.
int FindMidiPortName(const std::vector<std::string>& names, const char* name);

// Closes the open port, then opens the one named, on behalf of setExternalMIDIOut
// and setExternalMIDIIn. lastIndex is the direction's remembered index; index is
// the menu's value and gets the list index of the open port, or 0. Returns that
// index (0: no port open). ours, when given, gets our own port's full name where
// the library can tell it (else empty). The port opened is checked to be the one
// named, and opened again when another took its number meanwhile.
int SelectMidiPort(MidiPortAccess& port, int& lastIndex, const std::vector<std::string>& names, int& index,
                   const char* name, std::string* ours = nullptr);

// Opens the port named, the port object closed, for a choice taken apart from the
// caller's thread: the number opened, or -1 when no port of that name is there, or
// -2 when it could not be opened; each said as SelectMidiPort says it.
int OpenChosenMidiPort(MidiPortAccess& port, const std::string& name, std::string* ours);

// One direction's chosen port as the port layer keeps watch over it. A port that
// goes away (its program ends, its cable is pulled) and comes back under the same
// name is the same port to the user: it is opened again without a new choice.
struct MidiPortWatch
{
  std::string name;                  // the list entry opened last; empty: none chosen
  std::string ours;                  // our own port joined to it; empty: the library cannot tell
  std::atomic<bool> missing{false};  // no port of that name is there now
  std::atomic<int> dropped{0};       // output: messages not sent while missing
  bool reopenFailed = false;         // a failed opening was said once for this absence
};

// After a selection: the watch follows the port now open (name empty: none; ours
// as SelectMidiPort gave it). A port that was missing until then says how many
// messages it did not take; so does the teardown, with an empty name.
void WatchChosenMidiPort(MidiPortAccess& port, MidiPortWatch& watch, const std::string& name,
                         const std::string& ours = std::string());

// One look at the ports there are now: the chosen port is closed when no port of
// its name is left, or when ours is no longer connected to it (the port was
// replaced by one of the same name), and opened again once one is back. Each
// change is logged once.
void WatchMidiPort(MidiPortAccess& port, MidiPortWatch& watch);

// List index of name, or -1, for getExternalMIDIOutDevice and getExternalMIDIInDevice.
int FindMidiDevice(MidiPortAccess& port, const std::vector<std::string>& names, const char* name);

// List index asked of the library afresh: "OFF" 0, "virtual output" (or
// "virtual input") 1, port i gives i + 1, -1 when absent.
int MidiPortNumber(MidiPortAccess& port, const char* name);

// The bytes of a short message on the wire: program change and channel
// aftertouch carry one data byte, every other kind two. Returns the count, or 0
// for what is not a channel message with seven-bit data (a status without bit
// 7, a system status, a data byte with bit 7 from the host): on the wire such
// bytes would start another message or a system-exclusive one that never ends.
int MidiMsgWireBytes(const IMidiMsg& msg, unsigned char bytes[3]);

// A system-exclusive body gets F0 before and F7 after; a message that already
// begins with F0 goes unchanged.
void MidiSysexWireBytes(const unsigned char* data, int size, WDL_TypedBuf<unsigned char>* bytes);
