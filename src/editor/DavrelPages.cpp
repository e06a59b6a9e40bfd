// What the page switching reaches of the controller, and the switch itself.

#include "editor/Davrel.h"

#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/IControls.h"
#include "librarian/PatchLibrarian.h"
#include "ui/ControlLayer.h"
#include "ui/TabSwitchFunctions.h"

// An object of its own: the page interface's names (midiOutSet(), paramValue())
// would collide with the controller's flags.
class DavrelPageHost : public PageHost
{
public:
  explicit DavrelPageHost(Davrel* plug) : d(plug) {}

  ControlLayer* layerNamed(const char* name) override
  {
    if (std::string(name) == "PROGRESS") return d->progressLayer;
    return d->findLayer(name);
  }
  IControl* firstControlOf(int paramIdx) override { return d->firstControl(paramIdx); }
  double paramValue(int paramIdx) override { return d->paramValue(paramIdx); }
  bool timbre1LockActive() override { return d->timbre1LocksActive; }
  bool timbre2LockActive() override { return d->timbre2LocksActive; }
  bool sharedLockActive() override { return d->globalLocksActive; }
  bool patchSearchActive() override { return d->searchActive; }
  bool hardwareChangeInProgress() override { return d->applyingHardwareValue; }
  bool midiOutSet() override { return d->midiOutSet; }
  void setCurrentPart(int timbre) override { d->currentPart = timbre; }
  void sendMidiMsgAndLog(IMidiMsg* msg) override { d->sendMidiMsgAndLog(msg); }
  void displaySequenceValues(int sequence, const DisplayLines::StepTexts& texts) override
  {
    d->displayLines.displaySequence(sequence, texts);
  }
  void allowLibrarianDrag() override { d->librarianPageShown(); }
  void selectLibrarianProgram(int slot) override
  {
    d->selectLibrarianGridSlot(slot);
    if (d->patchLibrarian && slot >= 0 && slot < 128) d->patchLibrarian->selectedSlot = slot;
    d->updatePatchLibrarianView(0);
  }
  void runParamChange(int paramIdx) override { d->OnParamChange(paramIdx); }
  void hideProgress() override
  {
    if (d->progressIndicator) d->progressIndicator->Hide(true);
    if (d->progressLayer) d->progressLayer->Hide(true);
  }

private:
  Davrel* d;
};

// A page change is the page switch alone: the timbre switch would hide the
// page's own layers again (they are children of the page layer too) and tell the
// synthesizer a timbre change nobody made.
void Davrel::switchPages(int page)
{
  if (!pageHost) pageHost.reset(new DavrelPageHost(this));
  setParamClamped(kMainPage, page);
  TabSwitchFunctions().mainTabSwitch(pageHost.get(), page, currentPart);
  // The rename box names the librarian's selected slot: leaving the librarian
  // closes it as its Cancel does, so no name is typed for a slot out of sight.
  if (page != 1 && patchRenameLayer && patchRenameLayer->visible)
  {
    if (graphics) graphics->ForceEndUserEdit();
    patchRenameLayer->Hide(true);
    renameClosed = true;
  }
  if (mixerTab) mixerTab->SetDirty(false);
}

void Davrel::showMixerPage()
{
  // The tab works as the other page tabs do: clicked again, it leaves its page for
  // the sound page, which no tab of its own leads back to.
  if (paramInt(kMainPage) == 0)
  {
    switchPages(2);
    return;
  }
  // A show switch that is on is switched off as its own click would (leaving the
  // global page sends the global settings), then the mixer is shown.
  for (int id : {kShowLibrarian, kShowModSequence, kGlobalSettings})
    if (paramValue(id) != 0.0)
    {
      setParamClamped(id, 0);
      if (IControl* c = firstControl(id)) c->SetValueFromPlug(0.0);
      OnParamChange(id);
    }
  switchPages(0);
}

// Start-up and recall: the sound page and the current timbre's copy of it.
void Davrel::showStartPage()
{
  switchPages(2);
  TabSwitchFunctions().quickTabSwitch(pageHost.get(), currentPart);
}
