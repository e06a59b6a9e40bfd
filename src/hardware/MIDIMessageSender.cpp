#include "hardware/MIDIMessageSender.h"

#include "hardware/HardwareHost.h"
#include "hardware/MIDIMessageManager.h"

MIDIMessageSender::MIDIMessageSender(MIDIMessageManager* manager_, HardwareHost* plug_, PatchManager* patchManager_)
    : patchManager(patchManager_), plug(plug_), manager(manager_)
{
}

MIDIMessageSender::~MIDIMessageSender() {}

void MIDIMessageSender::run() {}
void MIDIMessageSender::resetContinuousClock(bool stop) { manager->resetContinuousClock(stop); }
void MIDIMessageSender::sendArrangementToDevice(bool) {}
void MIDIMessageSender::sendGlobalToDevice() {}
void MIDIMessageSender::sendPatchToDeviceFromLibrarian(LibrarianPatch*, int, int) {}
void MIDIMessageSender::storeAllPatchesToDeviceFromLibrarian(int, int) {}
void MIDIMessageSender::sendActiveArrangementRequestSysex(bool) {}
void MIDIMessageSender::sendPartRequestSysex(bool) {}
void MIDIMessageSender::sendSinglePatchRequestSysex(bool) {}
void MIDIMessageSender::sendAllPatchRequestSysex() {}
void MIDIMessageSender::initClassicPatch(bool) {}
void MIDIMessageSender::sendDeviceIdEnquiry() {}
void MIDIMessageSender::startMIDIClockOutput() {}
void MIDIMessageSender::sendContinuousMIDIClock(int) {}
void MIDIMessageSender::stopMIDIClockOutput() {}
void MIDIMessageSender::GenTapPatternCode(char*, const char*) {}
bool MIDIMessageSender::wait(int) { return true; }
bool MIDIMessageSender::closing() const { return manager->closing(); }
bool MIDIMessageSender::sendBody(const std::vector<uint8_t>&) { return false; }
bool MIDIMessageSender::sendRequest(uint8_t, uint8_t) { return false; }
int MIDIMessageSender::answerWait(int, int, int, int, bool, bool, uint8_t, bool, const char*) { return 1; }
bool MIDIMessageSender::channelSearch(int, uint8_t, bool, bool) { return false; }
