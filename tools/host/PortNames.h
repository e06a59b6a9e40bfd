#pragma once
// The MIDI port lists as the plug-in's port layer sees them: "OFF", then every
// port of the library's default interface (the ALSA sequencer, else JACK), so a
// port's list index is the value of the plug-in's device parameter.

#include <string>
#include <vector>

std::vector<std::string> ListMidiOutputs(std::string* why = nullptr);
std::vector<std::string> ListMidiInputs(std::string* why = nullptr);

// Both lists, read on a thread of their own and waited for at most withinMs: a
// server that takes no clients leaves the reading inside its library. False when
// the bound was hit (the lists are then empty; the thread is left to end alone).
struct MidiPortLists
{
  std::vector<std::string> outputs, inputs;
  std::string whyNoOutputs, whyNoInputs;
};
bool ListMidiPorts(MidiPortLists* lists, int withinMs);

// While it lives, what is written to standard error goes to a file of its own:
// the ALSA library, the JACK library and the port library write several lines
// for every port object that looks for a sequencer or a server.
class HeldStderr
{
public:
  HeldStderr();
  ~HeldStderr();
  HeldStderr(const HeldStderr&) = delete;
  HeldStderr& operator=(const HeldStderr&) = delete;
  // Gives standard error back and returns what was held; empty after the first call.
  std::string Release();

private:
  int mSaved = -1;
  FILE* mFile = nullptr;
};

// The held text as one line: its first line and how many lines followed, or
// empty when nothing was held.
std::string ProbeNoiseLine(const std::string& held);
// Why a list holds no port, from what the probing wrote.
std::string WhyNoPorts(const std::string& held);
