#include "hardware/MIDIMessageManager.h"

#include "hardware/HardwareHost.h"

#include "plug/IMidiMsg.h"
#include "winsys/kernel.h"

bool LibraryPatchRequest::addMessageData(const unsigned char*, int) { return false; }

void LibraryPatchRequest::clear()
{
  patch.name.clear();
  patch.messages.clear();
}

MIDIMessageManager::MIDIMessageManager(HardwareHost* plug_, PatchManager* patchManager_, PatchLibrarian* librarian_,
                                       IGraphics* graphics_)
    : plug(plug_), patchManager(patchManager_), graphics(graphics_), librarian(librarian_)
{
  for (int t = 0; t < kNumWorkerThreads; ++t) senders[t] = new MIDIMessageSender(this, plug, patchManager);
}

MIDIMessageManager::~MIDIMessageManager()
{
  for (int t = 0; t < kNumWorkerThreads; ++t)
  {
    std::lock_guard<std::mutex> lock(startLock[t]);
    if (t == 0) isClosing.store(true);
  }
  senders[kTransferThread]->cancelRequested.store(true);
  clockStop.store(true);
  for (auto& th : threads)
    if (th.isRunning()) th.join();
  for (auto* s : senders) delete s;
}

bool MIDIMessageManager::startJob(const SenderJob&) { return false; }
bool MIDIMessageManager::isRunning(EWorkerThread t) const { return threads[t].isRunning(); }
bool MIDIMessageManager::waitIdle(EWorkerThread, int) { return true; }
void MIDIMessageManager::requestCancel() { senders[kTransferThread]->cancelRequested.store(true); }
void MIDIMessageManager::resetContinuousClock(bool stop) { clockStop.store(stop); }
bool MIDIMessageManager::sendSinglePatchRequestSysexFromLibrarian(bool, int) { return false; }
void MIDIMessageManager::ProcessSysEx(ISysEx*, bool) {}
void MIDIMessageManager::sysexPartPatchParse(ISysEx*) {}
void MIDIMessageManager::sysexSettingsParse(ISysEx*) {}
void MIDIMessageManager::ProcessMidiMsgFromDevice(IMidiMsg*) {}
void MIDIMessageManager::ProcessMidiMsgFromDAW(IMidiMsg*, int) {}
void MIDIMessageManager::getLegacyCCparam(int, int, int, bool, bool) {}
void MIDIMessageManager::processSysExToUI(IControl*, int, bool, bool, bool) {}
void MIDIMessageManager::getNormalControl(int, int, int, int, int, bool) {}
void MIDIMessageManager::decodeTapPatternCode(const unsigned char*, char*) {}
void MIDIMessageManager::sendSysexMessage(std::vector<int>) {}
void MIDIMessageManager::randomGenerator() {}
void MIDIMessageManager::randomizePatchSettings(int) {}
