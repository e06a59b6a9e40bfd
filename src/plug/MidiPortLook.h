#pragma once
// How the port watch sees the ports of one direction: through an object of its
// own, never the port object that sends. Every send takes that object's lock, and
// a listing held it for up to a quarter of a millisecond ten times a second, so
// the clock thread, the audio callback and the controls waited behind it.

#include <string>
#include <vector>

class MidiPortLook
{
public:
  virtual ~MidiPortLook() {}
  // The ports a port object of the direction would list now, in its order.
  virtual std::vector<std::string> Names() = 0;
  // Ports of the kind the port object opens, by their full names (see
  // MidiPortAccess::OwnPorts); empty where the interface cannot tell.
  virtual std::vector<std::string> OwnPorts() { return {}; }
  // 1 when port ours is connected to the port named, 0 when not, -1 where the
  // interface cannot tell.
  virtual int Connected(const std::string&, const std::string&) { return -1; }
};

// Over JACK: a client of its own that is never activated, so it takes no part in
// the graph (no thread woken each period, nothing for the server to wait for),
// yet reads the ports and their connections. ownPort is the name the port object
// gives the port it opens. Null when no server takes the client.
MidiPortLook* NewJackMidiPortLook(bool input, const std::string& client, const std::string& ownPort);

// Any other interface of the port library (api, an RtMidi::Api): a second port
// object of that interface that only lists. Null when it cannot be made.
MidiPortLook* NewLibraryMidiPortLook(bool input, int api, const std::string& client);
