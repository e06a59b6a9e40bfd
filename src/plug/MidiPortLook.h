#pragma once
// How the port watch sees the ports: through an object of its own, never the port
// objects that send. Every send takes its port object's lock, and a listing held it
// for up to a quarter of a millisecond ten times a second, so the clock thread, the
// audio callback and the controls waited behind it. One look serves both
// directions (input: the ports a port object for input would list).

#include "plug/JackServerEpoch.h"

#include <string>
#include <vector>

class MidiPortLook
{
public:
  virtual ~MidiPortLook() {}
  // The ports a port object of the direction would list now, in its order.
  virtual std::vector<std::string> Names(bool input) = 0;
  // Ports of the kind the direction's port object opens, by their full names (see
  // MidiPortAccess::OwnPorts); empty where the interface cannot tell.
  virtual std::vector<std::string> OwnPorts(bool) { return {}; }
  // 1 when port ours is connected to the port named, 0 when not, -1 where the
  // interface cannot tell.
  virtual int Connected(const std::string&, const std::string&) { return -1; }
  // The epoch of the JACK server this look talks to (JackServerEpoch.h): once it
  // has ended, nothing of the look may be called but its deletion.
  // kNoJackEpoch where the interface has no server that can go.
  virtual unsigned Epoch() const { return kNoJackEpoch; }
  // The server's period in seconds, which paces what is sent; 0 where the
  // interface has none.
  virtual double PeriodSeconds() { return 0.0; }
  // The frame at which the server's current period began: it changes once a
  // period while the server runs, and stands still while it does not. 0 where the
  // interface has none.
  virtual unsigned long CycleFrame() { return 0; }
};

// Over JACK: a client of its own that is never activated, so it takes no part in
// the graph (no thread woken each period, nothing for the server to wait for), yet
// reads the ports and their connections. outPort and inPort are the names the port
// objects give the ports they open. Null when no server takes the client.
MidiPortLook* NewJackMidiPortLook(const std::string& client, const std::string& outPort, const std::string& inPort);

// Any other interface of the port library (api, an RtMidi::Api): a second port
// object a direction, made with the client names given, that only lists. Null when
// neither can be made.
MidiPortLook* NewLibraryMidiPortLook(int api, const std::string& outClient, const std::string& inClient);
