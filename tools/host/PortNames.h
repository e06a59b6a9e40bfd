#pragma once
// The MIDI port lists as the plug-in's port layer sees them: "OFF", then every
// port of the library's default interface (the ALSA sequencer, else JACK), so a
// port's list index is the value of the plug-in's device parameter.

#include <string>
#include <vector>

std::vector<std::string> ListMidiOutputs();
std::vector<std::string> ListMidiInputs();
// Index of name in the list, or -1.
int FindPort(const std::vector<std::string>& list, const std::string& name);
