// The outgoing MIDI path: control actions, the routing of short messages, the
// logged sends with the activity indicators, and the small senders.

#include "editor/Davrel.h"

#include "base/log.h"
#include "config/ParamIds.h"
#include "editor/DebuggerOutput.h"
#include "gui/IControl.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "plug/MidiPortSelect.h"
#include "hardware/MIDIMessageManager.h"
#include "winsys/kernel.h"

#if __has_include("ui/ControlAction.h")
#include "ui/ControlAction.h"
#define DAVREL_HAVE_CONTROL_ACTION 1
#endif

namespace {

// 1..7 spread over the data range in steps of 18.
int sevenStep(int v) { return v >= 1 && v <= 7 ? 18 * v : v; }
// 1..3 spread over the data range.
int threeStep(int v)
{
  static const int t[] = {43, 85, 127};
  return v >= 1 && v <= 3 ? t[v - 1] : v;
}
int clampData(int v) { return v < 0 ? 0 : v > 127 ? 127 : v; }

IMidiMsg controlChange(int channel, int cc, int data)
{
  IMidiMsg m;
  m.mStatus = (uint8_t)(0xB0 | (channel & 0x0F));
  m.mData1 = (uint8_t)(cc & 0x7F);
  m.mData2 = (uint8_t)clampData(data);
  return m;
}

}  // namespace

int Davrel::partChannel(int part) const
{
  const int c = paramInt(kMultiPartMIDICh + (part == 1 ? 1 : 0));
  return c >= 16 ? paramInt(kGlobalMidiChannel) & 0x0F : c & 0x0F;
}

int Davrel::getTimerValue()
{
  switch (paramInt(kLibSyncTimer))
  {
    case 0: return 200;
    case 1: return 300;
    case 2: return 400;
    case 3: return 500;
    default: return 100;
  }
}

void Davrel::processControlAction(ControlAction* action, int paramIdx, double value)
{
#ifdef DAVREL_HAVE_CONTROL_ACTION
  WDL_MutexLock lock(&mMutex);
  if (!action) return;
  const int v = (int)value;
  if (action->lastValue == (double)v)
  {
    ConsoleLog("\t--- value not changed, returning! ---\n");
    return;
  }
  if (!midiOutSet)
  {
    // A control whose action sends nothing (a page or librarian button, the search
    // field) needs no port: the refusal would only cover its own message.
    if (action->actionType != kActionNone && paramIdx != kDeviceOutSelection && paramIdx != kDeviceInSelection &&
        paramIdx != kGlobalMidiChannel)
      showPortMissing();
    return;
  }
  if (!pluginReady) return;
  action->lastValue = v;

  IParam* param = GetParam(paramIdx);
  const std::vector<IControl*> controls = action->controls;
  for (IControl* c : controls)
  {
    if (linkingInProgress && param) param->Set(value);
    if (c && param) c->SetValueFromPlug(param->GetNormalized());
  }

  // A value applied from the hardware goes back only where the hardware would not
  // have acted on it itself.
  const bool mayEcho = !midiMessageManagerValueFromIncoming() || !localControlOn || midiMessageManagerFromHost();
  // A linked target's value was made here, not by the hardware: it always goes out.
  const bool send = linkingInProgress || (!applyingHardwareValue && mayEcho);
  const int channel = partChannel(action->part);
  auto showType = [this](const std::string& t) {
    if (displayLines.ccLine) displayLines.ccLine->SetTextFromPlug(t.c_str());
  };

  switch (action->actionType)
  {
    case 1:
    case 2:
    {
      int data = v, ch = channel;
      if (action->actionType == 2) data = v != 0 ? action->onValue : action->offValue;
      else
        switch (paramIdx)
        {
          case kOsc1Waveform: case kOsc1Waveform + 1: data = sevenStep(v); break;
          case kOsc2Waveform: case kOsc2Waveform + 1: data = v == 1 ? 64 : v == 2 ? 127 : v; break;
          case kOsc1DWGSWave: case kOsc1DWGSWave + 1: data = 2 * v; break;
          case kOsc2OscMod: case kOsc2OscMod + 1: case kFilterType: case kFilterType + 1: case kLfo1Waveform:
          case kLfo1Waveform + 1: case kLfo2Waveform: case kLfo2Waveform + 1: data = threeStep(v); break;
          default: break;
        }
      if (paramIdx == kModFxSpeed || paramIdx == kModFxDepth) ch = partChannel(currentPart);
      if (paramIdx == kDelayFxTime || paramIdx == kDelayFxDepth) ch = paramInt(kGlobalMidiChannel) & 0x0F;
      showType("CC|" + std::to_string(action->ccNumber));
      IMidiMsg m = controlChange(ch, action->ccNumber, data);
      if (send) MIDIOutRoutingSwitch(&m);
      break;
    }
    case 3:
    {
      const int sel = v != 0 ? action->onValue : action->offValue;
      const int d = v + action->valueOffset;
      int ch = channel, data = d;
      const int global = paramInt(kGlobalMidiChannel) & 0x0F;
      if (paramIdx == kArpOnOff || paramIdx == kArpLatch)
      {
        ch = global;
        data = sel == 2 ? 127 : d;
      }
      else if (paramIdx == kArpGate)
        ch = global;
      else if (paramIdx == kArpType)
      {
        static const int t[] = {26, 51, 77, 102, 127};
        ch = global;
        data = v >= 1 && v <= 5 ? t[v - 1] : d;
      }
      else if (paramIdx >= kVPatchSrc1 && paramIdx <= kVPatchSrc1 + 15)
        data = v >= 1 && v <= 7 ? sevenStep(v) : d;
      IMidiMsg msb = controlChange(ch, 99, action->msbValue);
      IMidiMsg lsb = controlChange(ch, 98, action->lsbValue);
      IMidiMsg entry = controlChange(ch, action->ccNumber, data);
      if (send) MIDIOutRoutingSwitch(&msb);
      if (send) MIDIOutRoutingSwitch(&lsb);
      showType("MSB/LSB");
      if (send) MIDIOutRoutingSwitch(&entry);
      break;
    }
    case 5:
    case 6:
    {
      if (!patchEditOn) SendPatchEditOnCommand();
      auto sendBody = [&](std::vector<int> body, bool limitLock) {
        if (body.size() < 4) return;
        body[1] = sysexChannelByte;
        if (limitLock && body.size() >= 8 && body[3] == 0x41 && (body[4] == 0x43 || body[4] == 0x53) &&
            (body[5] == 0 || body[5] == 1) && body[6] == 0x10)
          body[6] = body[7] = 127;
        showType("SysEx");
        if (send && midiMessageManager) midiMessageManager->sendSysexMessage(body);
      };
      const auto& sx = action->sysExMessage;
      // A value with no message in the table sends nothing.
      if (action->actionType == 6 && sx.multiMessage)
      {
        if (const auto* bodies = action->sysExMessagesForValue(v))
          for (const auto& body : *bodies) sendBody(body, false);
      }
      else if (const auto* body = action->sysExMessageForValue(v))
        sendBody(*body, action->actionType == 6);
      break;
    }
    default:
      break;
  }
#else
  (void)action;
  (void)paramIdx;
  (void)value;
#endif
}

void Davrel::MIDIOutRoutingSwitch(IMidiMsg* msg)
{
  if (bufferedMidiOut)
  {
    std::lock_guard<std::mutex> lock(midiOutQueueLock);
    midiOutQueue.Add(msg);
  }
  else
    sendMidiMsgAndLog(msg);
}

void Davrel::lightLed(int timbre)
{
  if (timbre < 0 || timbre > 1 || !graphics) return;
  // Any thread, the audio thread too: the drawing pass shows it (OnIdle).
  // The time is written first, so the audio thread that sees the indicator lit
  // never reads an old one.
  if (midiLedOn[timbre].load()) return;
  midiLedTime[timbre] = GetTickCount();
  midiLedOn[timbre].store(1);
}

void Davrel::sendMidiMsgAndLog(IMidiMsg* msg)
{
  if (!midiOutSet)
  {
    showPortMissing();
    ConsoleLog("\t--- midiOutSet status: %i --- NO MESSAGE SENT! ---\n", (int)midiOutSet);
    return;
  }
  sendLitAndLog(msg);
}

void Davrel::sendLitAndLog(IMidiMsg* msg)
{
  if (!ledTracksIncoming)
  {
    const int ch = msg->Channel();
    if (ch == paramInt(kMultiPartMIDICh)) lightLed(0);
    else if (ch == paramInt(kMultiPartMIDICh + 1)) lightLed(1);
  }
  // What the port did not take (a port that went away counts it) is not logged as sent.
  if (!sendShortNow(msg)) return;
  msg->LogMsg("Plug-in MIDI Out ");
}

bool Davrel::sendShortNow(IMidiMsg* msg)
{
  const bool sent = SendMidiMsg(msg);
  if (onMidiSent)
  {
    unsigned char bytes[3];
    const int n = MidiMsgWireBytes(*msg, bytes);
    onMidiSent(bytes, n);
  }
  return sent;
}

bool Davrel::sendSysexBody(const std::vector<int>& body)
{
  if (paramValue(kDeviceOutSelection) == 0.0 || !midiOutSet)
  {
    showPortMissing();
    return false;
  }
  if (body.empty()) return false;
  std::vector<unsigned char> bytes(body.size());
  for (size_t i = 0; i < body.size(); ++i) bytes[i] = (unsigned char)(body[i] & 0xFF);
  return sendSysexBytes(bytes.data(), (int)bytes.size(), true);
}

bool Davrel::sendSysexBytes(const unsigned char* bytes, int size, bool trace)
{
  // The port's answer is the result: a transfer must learn that its bytes never left.
  const bool sent = SendMidiSysex(const_cast<unsigned char*>(bytes), size);
  if (trace && sent)
  {
    // The trace is for the console only: the log file keeps the editor's own lines.
    DebuggerOutput::logSysExOutMessageByte(bytes, size);
  }
  if (onMidiSent)
  {
    WDL_TypedBuf<unsigned char> wire;
    MidiSysexWireBytes(bytes, size, &wire);
    onMidiSent(wire.Get(), wire.GetSize());
  }
  return sent;
}

bool Davrel::checksumCheckAndSend(const unsigned char* bytes, int size)
{
  if (!midiOutSet)
  {
    showPortMissing();
    return false;
  }
  return sendSysexBytes(bytes, size, true);
}

void Davrel::showPortMissing()
{
  if (handlingHardwareInput) return;
  showNameLine("Set MIDI I/O First!");
}

void Davrel::SendProgramChangeCommand(int program, int)
{
  if (!midiOutSet) return;
  IMidiMsg m;
  m.mStatus = (uint8_t)(0xC0 | (paramInt(kGlobalMidiChannel) & 0x0F));
  m.mData1 = (uint8_t)(program & 0x7F);
  m.mData2 = 0;
  sendMidiMsgAndLog(&m);
}

void Davrel::SendPatchEditOnCommand()
{
  unsigned char body[6] = {0x42, (unsigned char)sysexChannelByte, 0x58, 0x4E, 0x01, 0x00};
  patchEditOn = true;
  if (midiOutSet) sendSysexBytes(body, 6, true);
}

void Davrel::SendPatchEditOffCommand()
{
  unsigned char body[6] = {0x42, (unsigned char)sysexChannelByte, 0x58, 0x4E, 0x00, 0x00};
  patchEditOn = false;
  if (midiOutSet) sendSysexBytes(body, 6, true);
}

void Davrel::sendSysExInitialization()
{
  const auto requested = [this] {
    sysExInitRequested = true;
    sysExInitTime = GetTickCount();
  };
  if (!midiOutSet || patchLoadingInProcess) return requested();
  // The flags go up only with an enquiry that really runs: one dropped while
  // another job runs (an enquiry waiting for its answer, say) leaves them to it.
  // No wait here: the enquiry job paces itself on its own thread.
  SenderJob enquiry(kSendDeviceIdEnquiry);
  enquiry.atStart = [this, requested] {
    requested();
    midiMessageManager->dataProcessed = false;
  };
  startJob(enquiry);
}

void Davrel::AllSoundsOff()
{
  if (!midiOutSet) return;
  if (sysExInitRequested)
  {
    // A device that never answers the enquiry does not keep this refused for good.
    if (GetTickCount() - sysExInitTime.load() <= (uint32_t)(20 * getTimerValue()))
    {
      ConsoleLog("AllSoundsOff() : Device Initialization in process, returning\n");
      return;
    }
    sysExInitRequested = false;
  }
  for (int part = 0; part < 2; ++part)
  {
    IMidiMsg m = controlChange(partChannel(part), 123, 0);
    MIDIOutRoutingSwitch(&m);
  }
}

void Davrel::logSysExOutMessageByteInt(const std::vector<int>& message, int length)
{
  DebuggerOutput::logSysExOutMessageByteInt(message, length);
}
