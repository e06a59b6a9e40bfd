// The adapter's sends: everything goes to the hardware output port, on the
// caller's thread, and nothing to the host. Each says whether it was sent.

#include "plug/IPlugAU.h"

bool IPlugAU::SendMidiMsg(IMidiMsg* pMsg) { return SendMidiMsgToPort(pMsg); }

bool IPlugAU::SendMidiSysex(unsigned char* pData, int size) { return SendMidiSysexToPort(pData, size); }

bool IPlugAU::SendPatchSysex(unsigned char* pData, int size) { return SendBytesToPort(pData, size); }

bool IPlugAU::SendMidiSysex2(std::vector<unsigned char> data) { return SendBytesToPort(data.data(), (int)data.size()); }
