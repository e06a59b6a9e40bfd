// The parameter-change dispatch: what one new value means, in fixed stages,
// ending in the send of the parameter's control action.

#include "editor/Davrel.h"

#include "base/log.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "ui/ControlLayer.h"
#include "ui/TabSwitchFunctions.h"
#include "hardware/MIDIMessageManager.h"

#if __has_include("ui/ControlAction.h")
#include "ui/ControlAction.h"
#define DAVREL_HAVE_CONTROL_ACTION 1
#endif

namespace {

ControlLayer* shownChild(ControlLayer* layer)
{
  if (!layer) return nullptr;
  for (int i = 0; i < layer->children.GetSize(); ++i)
    if (layer->children.Get(i)->id == layer->selectedChildId) return layer->children.Get(i);
  return nullptr;
}

bool isLibrarianCommand(int id)
{
  switch (id)
  {
    case kBankSelection: case kPatchSelection: case kPatchName: case kRefreshFolders: case kOverwriteBank:
    case kPatchUp: case kPatchDown: case kPushArrangement: case kStorePatchToLib:
    case kRequestTempData: case kPatchSelectionListUpper: case kPatchSelectionListLower:
      return true;
    default:
      return (id >= kLibUpperNextBank && id <= kLibUpperNextBank + 3) || (id >= 503 && id <= 512) ||
             id == kPatchRename || id == kPatchSearchString || id == kPatchSearch || id == kDataType || id == kControlLibrary;
  }
}

}  // namespace

void Davrel::OnParamChange(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  const double value = param->Value();
  const int v = (int)value;

  // Bank stepping and the commands that end at once (the librarian page's own).
  if (paramIdx >= kLibUpperNextBank && paramIdx <= kLibUpperNextBank + 3)
  {
    onLibrarianCommand(paramIdx, v);
    return;
  }
  switch (paramIdx)
  {
    case kUserInterfaceSize:
    case kFirstRunExit:
    case kUserInterfaceSkin:
      applySettingChange(paramIdx, v);
      return;
    case kMasterKeyboard:
      if (v == 1)
      {
        showNameLine("UI updates only when on plug-in channel");
        showValueLine("Master KBD [ON]");
        masterKeyboardOn = true;
      }
      else
      {
        showNameLine("UI updates on every controller movement");
        showValueLine("Master KBD [OFF]");
        masterKeyboardOn = false;
      }
      return;
    case kMIDILed:
    case kMIDILed + 1:
      // Indicators only: a click does not light them; they show the activity again.
      pushToControls(paramIdx, midiLedOn[paramIdx - kMIDILed].load() ? 1.0 : 0.0);
      return;
    case kTimbreSelectTrigger:
    {
      if (v == 0) return;
      int part = 1;
      if (paramInt(kQuickTab) >= 1)
      {
        pushToControls(kLayerLinker, 0.0);
        part = 0;
      }
      currentPart = part;
      setParamClamped(kQuickTab, part);
      OnParamChange(kQuickTab);
      pushToControls(kQuickTab, part);
      pushToControls(kTimbreLED, part);
      return;
    }
    default:
      break;
  }

  // Stage 5: the central display.
  if (graphics) displayParamChange(paramIdx, value, transportRunning);

  // Stage 6: page and layer reactions.
  const int base = (paramIdx == kVoiceAssign + 1 || paramIdx == kLfo1TempoSync + 1 || paramIdx == kLfo2TempoSync + 1 ||
                    paramIdx == kOsc1Waveform + 1 || paramIdx == kAmpGateSw + 1 || paramIdx == kSeq1Knob + 1 ||
                    paramIdx == kSeq2Knob + 1 || paramIdx == kSeq3Knob + 1)
                       ? paramIdx - 1
                       : paramIdx;
  switch (base)
  {
    case kMasterVelocityArea:
      if (velocityLevelLayer) velocityLevelLayer->GrayOut(v <= 7);
      break;
    case kCommonMode:
      if (v == 0)
      {
        setParamClamped(kQuickTab, 0);
        if (timbreControlLayer) timbreControlLayer->GrayOut(true);
        quickTabForUser(true);
      }
      else if (timbreControlLayer)
        timbreControlLayer->GrayOut(false);
      if (splitPointLayer) splitPointLayer->GrayOut(v != 1);
      break;
    case kVoiceAssign:
    case kLfo1TempoSync:
    case kLfo2TempoSync:
      soundZoneReaction(base, v);
      break;
    case kOsc1Waveform:
      if (rootLayer && rootLayer->selectedChildId == 2)
        if (ControlLayer* c = shownChild(mainOscLayer)) c->showMultiLayers(v == 5 ? 61 : 60);
      quickTabForUser(true);
      break;
    case kDelayFxTempoSync:
      quickTabForUser(true);
      break;
    case kAmpGateSw:
      if (ControlLayer* c = shownChild(mainOscLayer))
      {
        c->showMultiLayers(50);
        c->GrayOutCustomZone(v == 0, 50);
      }
      quickTabForUser(true);
      break;
    case kSeq1Knob:
    case kSeq2Knob:
    case kSeq3Knob:
      if (ControlLayer* c = shownChild(modSequenceLayer))
      {
        c->showMultiLayers(50);
        c->GrayOutCustomZone(v == 0, base == kSeq1Knob ? 10 : base == kSeq2Knob ? 20 : 30);
      }
      quickTabForUser(true);
      break;
    default:
      break;
  }

  // Stages 7 and 8: settings, locks, pages; the librarian page's commands go to
  // their hook.
  int sendValue = v;
  if ((paramIdx >= kSectionLockOsc1 && paramIdx <= kSectionLockFXChorus + 3) || paramIdx == kReleaseAllLocks)
    dispatchLocks(paramIdx, v);
  else if (paramIdx == kQuickTab)
  {
    currentPart = v;
    ConsoleLog("current part set to %i \n", v);
    if (pageHost) TabSwitchFunctions().quickTabSwitch(pageHost.get(), v);
  }
  else if (paramIdx == kLayerLinker)
  {
    if (v == 1)
    {
      pushToControls(kTimbreLED, 2.0);
      setParamClamped(kQuickTab, 0);
      quickTabForUser(true);  // "Timbres are Linked" stays
    }
    else
    {
      setParamClamped(kQuickTab, currentPart);
      quickTabForUser(false);
      pushToControls(kTimbreLED, currentPart);
    }
  }
  else if (paramIdx == kShowModSequence || paramIdx == kShowLibrarian || paramIdx == kGlobalSettings)
  {
    int page;
    if (v != 0) page = paramIdx == kShowModSequence ? 3 : paramIdx == kShowLibrarian ? 1 : 4;
    else page = paramValue(kShowModSequence) == 1.0 ? 3 : 2;
    if (paramIdx == kShowLibrarian && v != 0 && patchEditOn) SendPatchEditOffCommand();
    if (paramIdx == kGlobalSettings)
    {
      if (v != 0) showValueLine("Saves to Hardware on Exit!");
      else
      {
        if (patchEditOn) SendPatchEditOffCommand();
        if (midiOutSet) startJob(SenderJob(kSendGlobalToDevice));
      }
    }
    switchPages(page);
    sendValue = page;
  }
  else if (paramIdx == kMainPage)
    switchPages(v);
  else if (paramIdx == kCancelDataRequest)
  {
    if (v == 1 && midiMessageManager) midiMessageManager->requestCancel();
    return;
  }
  else if (paramIdx == kRequestTempData)
  {
    // The current program from the hardware into the editor.
    if (v == 0) return;
    // A press while a request waits is dropped and leaves that request its answer.
    // Without an output port nothing is asked, so nothing is awaited either: a flag
    // set here would hold back the hardware's values with no job to end it.
    if (midiMessageManager && midiOutSet && !(requestFollowsSend && queueRequestAfterTransfer()) &&
        !startJob(editorRequest(kSendActiveArrangementRequest, 0)))
      logText("Request not sent: the press is dropped while another transfer runs (a request waiting for its answer, "
              "or a send)");
  }
  else if (paramIdx == kRandomize)
  {
    if (v == 1 && paramValue(kMainPage) > 0.0) randomizePatch();
    return;
  }
  else if (isLibrarianCommand(paramIdx))
  {
    if (onLibrarianCommand(paramIdx, v)) return;
  }
  else if (dispatchSettings(paramIdx, value, v))
    return;

  sendStage(paramIdx, value, sendValue);
}

// The sound page's zones after Voice Assign or an LFO's tempo sync changed, from the
// user or the hardware alike.
void Davrel::soundZoneReaction(int base, int v)
{
  if (base == kVoiceAssign)
  {
    if (ControlLayer* c = shownChild(mainOscLayer))
    {
      c->showMultiLayers(30);
      c->showMultiLayers(40);
      c->GrayOutCustomZone(false, 30);
      c->GrayOutCustomZone(true, 30);
      if (v == 2) c->GrayOutCustomZone(false, 30);
      if (v == 1) c->GrayOutCustomZone(true, 30);
    }
    quickTabForUser(true);
  }
  else if ((base == kLfo1TempoSync || base == kLfo2TempoSync) && rootLayer && rootLayer->selectedChildId == 2)
  {
    if (ControlLayer* c = shownChild(mainOscLayer)) c->showMultiLayers(v + (base == kLfo1TempoSync ? 10 : 20));
    quickTabForUser(true);
  }
}

bool Davrel::closeAboutWindow()
{
  if (!aboutWindowLayer || !aboutWindowLayer->visible) return false;
  aboutWindowLayer->Hide(true);
  flashProcessingIndicator();
  return true;
}

// Editor settings, ports, filters and clock switches; true when the call ends.
bool Davrel::dispatchSettings(int paramIdx, double value, int v)
{
  if (paramIdx >= kMIDIFilterDAWCCPassThrough && paramIdx < kMIDIFilterDAWCCPassThrough + kFilterClasses)
  {
    dawFilterBlock[filterClassOf(paramIdx - kMIDIFilterDAWCCPassThrough)] = value != 1.0;
    return false;
  }
  if (paramIdx >= kMIDIFilterHWCCPassThrough && paramIdx < kMIDIFilterHWCCPassThrough + kFilterClasses)
  {
    hardwareFilterBlock[filterClassOf(paramIdx - kMIDIFilterHWCCPassThrough)] = value != 1.0;
    return false;
  }
  switch (paramIdx)
  {
    case kArpTempo:
      if (paramValue(kOverrideTempo) != 0.0) return true;
      arpTempoIndex = v;
      return false;
    case kGlobalMidiChannel:
      sysexChannelByte = 0x30 + v;
      return false;
    case kGlobalLocalControl:
      localControlOn = v == 1;
      return false;
    case kMIDIFilterTrackIncomingMIDI:
      ledTracksIncoming = value == 1.0;
      return false;
    case kMIDIFilterDirectToHardware:
      if (value == 1.0)
      {
        pushToControls(kMIDIFilterToDAWBuffer, 0.0);
        bufferedMidiOut = false;
      }
      return false;
    case kMIDIFilterToDAWBuffer:
      if (value == 1.0)
      {
        pushToControls(kMIDIFilterDirectToHardware, 0.0);
        bufferedMidiOut = true;
      }
      return false;
    case kSendMIDIClockPointer:
      sendClockStartStop = value == 1.0;
      return false;
    case kSendMIDIClockInfo:
      if (value == 1.0)
      {
        sendClockTicks = true;
        resetContinuousClock(false);
        clockJobStarted = false;
      }
      else
      {
        sendClockTicks = false;
        clockJobStarted = false;
        resetContinuousClock(true);
      }
      return false;
    case kAdjustDAWOffset:
      dawOffset = 2 * v + GetBlockSize();
      return false;
    case kDeviceOutSelection:
    {
      selectOutputPort(v, devicePortName(kDeviceOutSelection, v));
      return false;
    }
    case kDeviceInSelection:
    {
      selectInputPort(v, devicePortName(kDeviceInSelection, v));
      return false;
    }
    case kViewMIDIFilterSettings:
      // The page's opening switch and its Close share the parameter: both follow it,
      // so that the next click on either toggles from what is shown.
      pushToControls(kViewMIDIFilterSettings, value == 1.0 ? 1.0 : 0.0);
      if (midiFilterSettingsLayer) midiFilterSettingsLayer->Hide(value != 1.0);
      if (value != 1.0)
      {
        flashProcessingIndicator();
      }
      return false;
    case kDisplayAboutWindow:
      if (value != 0.0 && aboutWindowLayer) aboutWindowLayer->Hide(false);
      return false;
    case kExitAboutWindow:
      if (value != 0.0) closeAboutWindow();
      return false;
    default:
      return false;
  }
}

bool Davrel::selectOutputPort(int index, const std::string& name)
{
  int i = index;
  setExternalMIDIOut(i, name.c_str());
  midiOutPortIndex = i;
  // A choice that opened nothing shows "OFF", not the name picked.
  if (i != index) pushToControls(kDeviceOutSelection, i);
  if (i < 1)
  {
    resetContinuousClock(true);
    midiOutSet = false;
    return false;
  }
  midiOutSet = true;
  sendSysExInitialization();
  return true;
}

bool Davrel::selectInputPort(int index, const std::string& name)
{
  int i = index;
  setExternalMIDIIn(i, name.c_str());
  midiInPortIndex = i;
  if (i != index) pushToControls(kDeviceInSelection, i);
  // A request the output's choice sent just before (the two menus of a move) had its
  // answer go to the port left: it goes again, and the port layer holds it until
  // this input is open.
  if (i >= 1 && midiMessageManager) midiMessageManager->inputChosen();
  return i >= 1;
}

void Davrel::dispatchLocks(int paramIdx, int v)
{
  if (paramIdx == kReleaseAllLocks)
  {
    if (v != 1) return;
    for (int id = kSectionLockFXChorus; id <= kSectionLockFXChorus + 3; ++id) pushToControls(id, 0.0);
    pushToControls(kReleaseAllLocks, 0.0);
    if (releaseAllLocksLayer) releaseAllLocksLayer->Hide(true);
    if (currentPart == 0 && timbre1LocksActive)
    {
      for (int id : timbre1LockParams) pushToControls(id, 0.0);
      timbre1LocksActive = false;
    }
    if (currentPart == 1 && timbre2LocksActive)
    {
      for (int id : timbre2LockParams) pushToControls(id, 0.0);
      timbre2LocksActive = false;
    }
    pushToControls(kReleaseAllLocks, 0.0);
    flashProcessingIndicator();
    return;
  }
  if (paramIdx >= kSectionLockFXChorus)
  {
    globalLocksActive = v == 1;
    if (releaseAllLocksLayer) releaseAllLocksLayer->Hide(v != 1);
  }
  else
  {
    const bool timbre1 = (paramIdx - kSectionLockOsc1) % 2 == 0;
    bool& active = timbre1 ? timbre1LocksActive : timbre2LocksActive;
    const std::vector<int>& list = timbre1 ? timbre1LockParams : timbre2LockParams;
    if (v == 1)
    {
      active = true;
      if (releaseAllLocksLayer) releaseAllLocksLayer->Hide(false);
    }
    else
    {
      active = false;
      for (int id : list)
        if (paramValue(id) == 1.0)
        {
          active = true;
          break;
        }
      if (!active && releaseAllLocksLayer)
      {
        releaseAllLocksLayer->Hide(true);
        if (globalLocksActive) releaseAllLocksLayer->Hide(false);
      }
    }
  }
  flashProcessingIndicator();
}

void Davrel::sendStage(int paramIdx, double value, int v)
{
#ifdef DAVREL_HAVE_CONTROL_ACTION
  ControlAction* action = static_cast<ControlAction*>(GetParam(paramIdx)->GetControlAction());
  if (!action) return;
  if (ControlLayer* layer = action->valueLayer)
  {
    layer->selectedChildId = v;
    for (int i = 0; i < layer->children.GetSize(); ++i)
      layer->children.Get(i)->Hide(layer->children.Get(i)->id != v);
  }
  if (paramValue(kLayerLinker) == 1.0 && !linkingInProgress) linkTimbres(action, paramIdx, v, value);
  processControlAction(action, paramIdx, value);
#else
  (void)paramIdx;
  (void)value;
  (void)v;
#endif
}

// Runs under the plug-in mutex, so it never waits for the send: the program
// request that ends it is chained behind the send job instead.
void Davrel::randomizePatch()
{
  if (!midiMessageManager) return;
  midiMessageManager->randomGenerator();
  midiMessageManager->randomizePatchSettings(currentPart);
  // The random values go out as a whole program, not through the records.
  forgetSentValues();
  partRequestPending = true;
  SenderJob send(kSendArrangementToDevice);
  send.toLibrarian = false;
  // Only a send started here takes the request behind it; a dropped one drops it too.
  const bool sending = startJob(send);
  pushToControls(kRandomize, 0.0);
  requestFollowsSend = sending;
  OnParamChange(kRequestTempData);
  requestFollowsSend = false;
  // After the request's own dispatch, which writes its name over the line: the
  // user is to see what the click did.
  showNameLine("Patch Randomized");
}

void Davrel::forgetSentValues()
{
#ifdef DAVREL_HAVE_CONTROL_ACTION
  for (int id = 0; id < kNumParams; ++id)
    if (IParam* p = GetParam(id))
      if (auto* action = static_cast<ControlAction*>(p->GetControlAction())) action->lastValue = -1.0;
#endif
}

bool Davrel::queueRequestAfterTransfer()
{
  return midiMessageManager && midiMessageManager->queueActiveRequestAfterRunningJob();
}
