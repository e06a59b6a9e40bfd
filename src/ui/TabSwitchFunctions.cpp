#include "ui/TabSwitchFunctions.h"

#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "plug/IMidiMsg.h"
#include "ui/ControlLayer.h"

namespace {

void hide(PageHost* host, const char* name, bool hidden)
{
  if (ControlLayer* l = host->layerNamed(name)) l->Hide(hidden);
}

void grey(PageHost* host, const char* name, bool grey)
{
  if (ControlLayer* l = host->layerNamed(name)) l->GrayOut(grey);
}

void greyControl(PageHost* host, int paramIdx, bool grey)
{
  if (IControl* c = host->firstControlOf(paramIdx)) c->GrayOut(grey);
}

int intValue(PageHost* host, int paramIdx) { return (int)host->paramValue(paramIdx); }

// Selects the child of this id and shows it, hiding the others.
void selectChild(ControlLayer* layer, int id)
{
  layer->selectedChildId = id;
  for (int i = 0; i < layer->children.GetSize(); ++i)
  {
    ControlLayer* child = layer->children.Get(i);
    child->Hide(child->id != id);
  }
}

// Selects the timbre copy of a page: only its children with a timbre's id (0, 1)
// are copies; the page's other layers (search field, bank buttons, the MIDI filter
// button) are shown by the page's own steps and a timbre change leaves them alone.
void selectTimbreCopy(ControlLayer* page, int timbre)
{
  page->selectedChildId = timbre;
  for (int i = 0; i < page->children.GetSize(); ++i)
  {
    ControlLayer* child = page->children.Get(i);
    if (child->id == 0 || child->id == 1) child->Hide(child->id != timbre);
  }
}

// The current timbre copy of a page: its child at the position of its selection.
ControlLayer* currentCopy(PageHost* host, const char* page)
{
  ControlLayer* l = host->layerNamed(page);
  return l ? l->children.Get(l->selectedChildId) : nullptr;
}

}  // namespace

void TabSwitchFunctions::releaseLocksButton(PageHost* host, int timbre)
{
  hide(host, "releaseAllLocksLayer", true);
  if ((timbre == 0 && host->timbre1LockActive()) || (timbre == 1 && host->timbre2LockActive()))
    hide(host, "releaseAllLocksLayer", false);
  if (host->sharedLockActive()) hide(host, "releaseAllLocksLayer", false);
}

void TabSwitchFunctions::mainTabSwitch(PageHost* host, int page, int timbre)
{
  ControlLayer* root = host->layerNamed("root");
  if (root) selectChild(root, page);
  hide(host, "miniMixer", page == 0);

  hide(host, "LeftPatchPopupMenu", true);
  hide(host, "RightPatchPopupMenu", true);
  hide(host, "BANKEDITMENU", true);
  // The search results' menu belongs to the librarian page only: leaving it (or
  // coming back without an active search) must not leave it on screen.
  hide(host, "RightSearchPopupMenu", true);
  // The randomizer acts on the sound and sequence pages' timbre, never from the
  // mixer page: greyed there, as on the global page, rather than a dead button.
  greyControl(host, kRandomize, page == 0);

  for (const char* name : {"discardChangesLayerRight", "keepBankOpenLayer", "saveChangesLayer", "midiSettingsButton",
                           "delayKnobLayer", "delayMenuLayer", "velocityLevelLayer"})
    hide(host, name, true);
  hide(host, "timbreControlLayer", false);
  hide(host, "buildLine", false);

  for (int id : {kControlLibrary, kShowLibrarian, kGlobalSettings, kShowModSequence}) greyControl(host, id, false);
  grey(host, "splitPointLayer", true);

  hide(host, "searchField", true);
  releaseLocksButton(host, timbre);

  const double commonMode = host->paramValue(kCommonMode);
  grey(host, "timbreControlLayer", commonMode == 0.0);
  if (commonMode == 1.0) grey(host, "splitPointLayer", false);

  if (page <= 0) return;
  if (root)
    if (ControlLayer* pageLayer = root->children.Get(page)) selectTimbreCopy(pageLayer, timbre);

  switch (page)
  {
    case 1:
    {
      grey(host, "timbreControlLayer", true);
      greyControl(host, kGlobalSettings, true);
      greyControl(host, kShowModSequence, true);
      host->allowLibrarianDrag();
      hide(host, "miniMixer", true);
      greyControl(host, kDataType, true);
      hide(host, "BANKEDITMENU", false);
      hide(host, "keepBankOpenLayer", true);
      hide(host, "saveChangesLayer", false);
      const double unsaved = host->paramValue(kBankEditUnsaved);
      if (unsaved == 1.0)
        hide(host, "discardChangesLayerRight", false);
      else
        hide(host, "keepBankOpenLayer", false);
      host->selectLibrarianProgram(intValue(host, kCurrentPatch));
      host->runParamChange(kCurrentBank);
      if (unsaved == 0.0) hide(host, "LeftPatchPopupMenu", false);
      if (host->patchSearchActive())
      {
        hide(host, "searchField", false);
        hide(host, "RightSearchPopupMenu", false);
      }
      else
        hide(host, "RightPatchPopupMenu", false);
      host->hideProgress();
      break;
    }
    case 2: soundPageZones(host, timbre); break;
    case 3: sequenceSteps(host, timbre); break;
    case 4:
    {
      hide(host, "midiSettingsButton", false);
      greyControl(host, kRandomize, true);
      hide(host, "velocityLevelLayer", false);
      grey(host, "velocityLevelLayer", host->paramValue(kMasterVelocityArea) < 8);
      greyControl(host, kShowLibrarian, true);
      grey(host, "timbreControlLayer", true);
      greyControl(host, kShowModSequence, true);
      break;
    }
    default: break;
  }
}

void TabSwitchFunctions::soundPageZones(PageHost* host, int timbre)
{
  const int t = timbre;
  if (ControlLayer* copy = currentCopy(host, "mainOscLayer"))
  {
    copy->showMultiLayers(30);
    copy->GrayOutCustomZone(false, 30);
    copy->showMultiLayers(40);
    copy->GrayOutCustomZone(true, 40);
    const int assign = intValue(host, kVoiceAssign + t);
    if (assign == 2)
      copy->GrayOutCustomZone(false, 40);
    else if (assign == 1)
      copy->GrayOutCustomZone(true, 30);
    copy->showMultiLayers(10 + intValue(host, kLfo1TempoSync + t));
    copy->showMultiLayers(20 + intValue(host, kLfo2TempoSync + t));
    copy->showMultiLayers(50);
    copy->GrayOutCustomZone(intValue(host, kAmpGateSw + t) != 0, 50);
  }
  const bool knob = host->paramValue(kDelayFxTempoSync) == 0.0;
  hide(host, "delayKnobLayer", !knob);
  hide(host, "delayMenuLayer", knob);
  if (ControlLayer* copy = currentCopy(host, "mainOscLayer"))
    copy->showMultiLayers(intValue(host, kOsc1Waveform + t) == 5 ? 61 : 60);
}

void TabSwitchFunctions::sequenceSteps(PageHost* host, int timbre)
{
  ControlLayer* copy = currentCopy(host, "modSequence");
  if (!copy) return;
  copy->showMultiLayers(10);
  copy->showMultiLayers(20);
  copy->showMultiLayers(30);
  const int knobs[] = {kSeq1Knob, kSeq2Knob, kSeq3Knob};
  const int steps[] = {kSeq1Step1, kSeq2Step1, kSeq3Step1};
  for (int s = 0; s < 3; ++s)
  {
    copy->GrayOutCustomZone(intValue(host, knobs[s] + timbre) == 0, 10 * (s + 1));
    DisplayLines::StepTexts texts;
    for (int k = 0; k < 16; ++k) texts[(size_t)k] = getValueString(intValue(host, steps[s] + 2 * k + timbre) - 64);
    host->displaySequenceValues(s, texts);
  }
}

void TabSwitchFunctions::quickTabSwitch(PageHost* host, int timbre)
{
  releaseLocksButton(host, timbre);
  ControlLayer* root = host->layerNamed("root");
  const int page = root ? root->selectedChildId : 0;
  ControlLayer* pageLayer = root && page > 0 ? root->children.Get(page) : nullptr;
  if (!pageLayer) return;
  selectTimbreCopy(pageLayer, timbre);
  host->setCurrentPart(timbre);
  if (page == 3) sequenceSteps(host, timbre);
  if (page == 2) soundPageZones(host, timbre);
  if (host->hardwareChangeInProgress()) return;
  IMidiMsg msg;
  msg.MakeControlChangeMsg((IMidiMsg::EControlChangeMsg)95, timbre ? 1.0 : 0.0, intValue(host, kGlobalMidiChannel));
  if (host->midiOutSet()) host->sendMidiMsgAndLog(&msg);
}
