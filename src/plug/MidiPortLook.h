#pragma once
// How the port watch sees the ports over the ALSA sequencer (over JACK the JACK
// owner answers): through objects of its own, never the port objects that send. One look serves both
// directions (input: the ports a port object for input would list).

#include <string>
#include <vector>

class MidiPortLook
{
public:
  virtual ~MidiPortLook() {}
  // The ports a port object of the direction would list now, in its order.
  virtual std::vector<std::string> Names(bool input) = 0;
};

// Any other interface of the port library (api, an RtMidi::Api): a second port
// object a direction, made with the client names given, that only lists. Null when
// neither can be made.
MidiPortLook* NewLibraryMidiPortLook(int api, const std::string& outClient, const std::string& inClient);
