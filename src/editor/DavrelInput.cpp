// The MIDI input gates in front of the hardware router.

#include "editor/Davrel.h"

#include "base/log.h"
#include "config/ParamIds.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "winsys/kernel.h"

namespace {

// Marks the routing of a message from the hardware, also when it ends in an
// exception; nested routing hands the outer mark back.
struct HardwareInputScope
{
  std::atomic<bool>& flag;
  bool outer;
  HardwareInputScope(std::atomic<bool>& f, bool on) : flag(f), outer(f.load()) { flag = outer || on; }
  ~HardwareInputScope() { flag = outer; }
};

}  // namespace

void Davrel::ProcessMidiMsg(IMidiMsg* msg, bool fromDevice)
{
  if (!msg) return;
  if (patchLoadingInProcess)
  {
    ConsoleLog("Message from MIDI determinated because Patch Loading is in process!\n");
    return;
  }
  if (partChangeActive)
  {
    ConsoleLog("\tData from HW filtered, returning. partChangeActive = true\n");
    return;
  }
  // Held back while a job waits for the program; a flag no job stands behind would
  // hold back every value for good.
  if (midiMessageManager && midiMessageManager->programAwaited())
  {
    ConsoleLog("\tData from HW requested via program change or some, returning. patchRequested = true\n");
    return;
  }
  if (fromDevice && masterKeyboardOn)
  {
    ConsoleLog("Message from HW determinated because Master Keyboard switch is on!\n");
    return;
  }
  if (msg->StatusMsg() == IMidiMsg::kNone) return;
  if (fromDevice)
  {
    HardwareInputScope scope(handlingHardwareInput, true);
    routeMidiFromDevice(msg);
    return;
  }
  const int ch = msg->Channel();
  const int part = ch == paramInt(kMultiPartMIDICh) ? 0 : ch == paramInt(kMultiPartMIDICh + 1) ? 1 : 0;
  routeMidiFromDAW(msg, part);
}

void Davrel::ProcessSysEx(ISysEx* msg, bool fromDevice)
{
  if (!msg || !msg->mData) return;
  if (patchLoadingInProcess)
  {
    ConsoleLog("Message from SysEx determinated because Patch Loading is in process!\n");
    return;
  }
  if (fromDevice && hardwareFilterBlock[kFilterSysEx])
  {
    ConsoleLog("\tData from HW filtered, returning. incomingSysExProcessed = true\n");
    return;
  }
  if (!fromDevice && dawFilterBlock[kFilterSysEx])
  {
    ConsoleLog("\tData from DAW filtered, returning. incomingSysExProcessed = true\n");
    return;
  }
  if (partChangeActive)
  {
    ConsoleLog("\tData from HW filtered, returning. partChangeActive = true\n");
    return;
  }
  const uint8_t* d = msg->mData;
  if (graphics && ledTracksIncoming && msg->mSize >= 9 && msg->mSize <= 24 && (d[2] >> 4) == 3 && d[3] == 0x58)
    lightLed(d[6] == 0 ? 0 : 1);
  {
    HardwareInputScope scope(handlingHardwareInput, fromDevice);
    routeSysEx(msg, fromDevice);
  }
  if (rootLayer) rootLayer->setControlsDirty();
  forgetSentValues();
}
