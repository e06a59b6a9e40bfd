// The adapter's sends to the hardware output port. The MIDI port layer gives
// them their bodies; until then nothing is sent and each says so.

#include "plug/IPlugAU.h"

bool IPlugAU::SendMidiMsg(IMidiMsg*) { return false; }
bool IPlugAU::SendMidiSysex(unsigned char*, int) { return false; }
bool IPlugAU::SendPatchSysex(unsigned char*, int) { return false; }
bool IPlugAU::SendMidiSysex2(std::vector<unsigned char>) { return false; }
