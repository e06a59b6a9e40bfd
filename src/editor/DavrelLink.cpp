// The value display and timbre linking as the controller reaches them, and the
// dispatch of values that came from the hardware (OnParamChange2).

#include "editor/Davrel.h"

#include "config/ParamIds.h"
#include "config/UIConfigManager.h"
#include "gui/IControl.h"
#include "gui/IControls.h"
#include "hardware/MIDIMessageManager.h"
#include "ui/ControlAction.h"
#include "ui/ControlDisplay.h"
#include "ui/ControlLayer.h"
#include "ui/LinkManager.h"
#include "ui/TabSwitchFunctions.h"

// Objects of their own: the interfaces' names (midiOutSet(), paramValue()) would
// collide with the controller's flags.
class DavrelDisplayHost : public ValueDisplayHost
{
public:
  explicit DavrelDisplayHost(Davrel* plug) : d(plug) {}
  bool editorReady() override { return d->pluginReady; }
  bool freshStart() override { return d->freshStart; }
  int displayedTimbre() override { return d->currentPart == 1 ? 1 : 0; }
  bool midiOutSet() override { return d->midiOutSet; }
  double paramValue(int paramIdx) override { return d->paramValue(paramIdx); }
  std::string paramName(int paramIdx) override
  {
    const IParam* p = d->GetParam(paramIdx);
    const char* name = p ? p->GetNameForHost() : nullptr;
    return name ? name : "";
  }
  const std::vector<std::string>& valueList(const std::string& name) override
  {
    static const std::vector<std::string> none;
    return d->uiConfigManager ? d->uiConfigManager->getValueList(name) : none;
  }
  void setNameLine(const std::string& text) override { d->showControlLine(text); }
  void setValueLine(const std::string& text) override { d->showValueLine(text); }
  void setTimbreLine(const std::string& text) override { d->showTimbreLine(text); }
  void setStepText(int textParamIdx, const std::string& text) override
  {
    if (ITextControl* t = d->firstText(textParamIdx)) t->SetTextFromPlug(text.c_str());
  }

private:
  Davrel* d;
};

class DavrelLinkHost : public LinkHost
{
public:
  explicit DavrelLinkHost(Davrel* plug) : d(plug) {}
  IParam* linkParam(int paramIdx) override { return d->GetParam(paramIdx); }
  void sendLinked(ControlAction* action, int paramIdx, double value) override
  {
    const bool outer = d->linkingInProgress.exchange(true);
    d->processControlAction(action, paramIdx, value);
    d->linkingInProgress = outer;
  }

private:
  Davrel* d;
};

void Davrel::displayParamChange(int paramIdx, double value, bool onlyDisplayedTimbre)
{
  DavrelDisplayHost host(this);
  ControlDisplay().controlDisplay(&host, paramIdx, value, onlyDisplayedTimbre);
}

void Davrel::linkTimbres(ControlAction* action, int paramIdx, int intValue, double value)
{
  if (!action) return;
  DavrelLinkHost host(this);
  LinkManager().controlLinker(&host, action->linkInfo, paramIdx, intValue, value);
}

void Davrel::showTimbreLine(const std::string& text)
{
  {
    std::lock_guard<std::mutex> lock(mDisplayLock);
    mTimbreLine = text;
  }
  if (displayLines.timbreLine) displayLines.timbreLine->SetTextFromPlug(text.c_str());
}

std::string Davrel::timbreLine() const
{
  std::lock_guard<std::mutex> lock(mDisplayLock);
  return mTimbreLine;
}

std::string Davrel::valueListEntry(const char* list, int index)
{
  if (!uiConfigManager || !list) return std::string();
  const std::vector<std::string>& entries = uiConfigManager->getValueList(list);
  return index >= 0 && index < (int)entries.size() ? entries[(size_t)index] : std::string();
}

void Davrel::grayOutTimbreControls(bool gray)
{
  if (timbreControlLayer) timbreControlLayer->GrayOut(gray);
}

void Davrel::quickTabFromHardware(int timbre)
{
  currentPart = timbre;
  if (pageHost) TabSwitchFunctions().quickTabSwitch(pageHost.get(), timbre);
}

void Davrel::redrawTimbrePage()
{
  WDL_MutexLock lock(&mMutex);
  const bool outer = redrawingTimbrePage;
  redrawingTimbrePage = true;
  OnParamChange2(kQuickTab);
  redrawingTimbrePage = outer;
  if (graphics && pluginReady)
    showTimbreLine(paramValue(kLayerLinker) == 1.0 ? "[LAYER]" : paramInt(kQuickTab) != 0 ? "[TIMBRE 2]" : "[TIMBRE 1]");
}

void Davrel::quickTabForUser(bool layoutOnly)
{
  WDL_MutexLock lock(&mMutex);
  struct Restore
  {
    bool& flag;
    bool outer;
    ~Restore() { flag = outer; }
  } restore{userTabChange, userTabChange};
  userTabChange = true;
  if (layoutOnly) redrawTimbrePage();
  else OnParamChange2(kQuickTab);
}

void Davrel::OnParamChange2(int paramIdx)
{
  WDL_MutexLock lock(&mMutex);
  IParam* param = GetParam(paramIdx);
  if (!param) return;
  // Calls nest (the timbre toggles run this for kQuickTab): each one hands the
  // hardware flag back as it found it, so the outer value is never echoed.
  const bool outerHardware = applyingHardwareValue.exchange(true);
  struct Leave
  {
    Davrel* d;
    bool outer;
    ~Leave()
    {
      // A value from the hardware ends the wait for a program; the user's own
      // layout change leaves a waiting request its answer.
      if (d->midiMessageManager && !d->userTabChange) d->midiMessageManager->patchRequested = false;
      d->applyingHardwareValue = outer;
    }
  } leave{this, outerHardware};

  const double value = param->Value();
  const int n = (int)value;

  if (paramIdx == kTimbreSelectTrigger)
  {
    if (n == 0) return;
    double t = 1.0;
    if (paramValue(kQuickTab) > 0.0)
    {
      pushToControls(kLayerLinker, 0.0);
      t = 0.0;
    }
    setParamClamped(kQuickTab, t);
    OnParamChange2(kQuickTab);
    pushToControls(kQuickTab, t);
  }
  else if (paramIdx == kLayerLinker)
  {
    OnParamChange2(kQuickTab);
    pushToControls(kQuickTab, 0.0);
    pushToControls(kTimbreLED, 2.0);
  }

  if (!(paramIdx == kQuickTab && redrawingTimbrePage)) displayParamChange(paramIdx, value, false);

  if (paramIdx == kCommonMode)
  {
    if (n == 0)
    {
      // The synthesizer went to one timbre: the tab's own handling says so on the
      // display ("Display Timbre 1 Parameters", "[TIMBRE 1]"), not a layout redraw
      // that keeps "Mode" and the link.
      setParamClamped(kQuickTab, 0.0);
      grayOutTimbreControls(true);
      OnParamChange2(kQuickTab);
    }
    else
      grayOutTimbreControls(false);
  }
  else if (paramIdx == kQuickTab)
    quickTabFromHardware(n);
  // A switch that decides which knobs the sound page shows, set by a parameter
  // change from the hardware, redraws the zones as the user's change does.
  else if (paramIdx == kVoiceAssign || paramIdx == kVoiceAssign + 1)
    soundZoneReaction(kVoiceAssign, n);
  else if (paramIdx == kLfo2TempoSync || paramIdx == kLfo2TempoSync + 1)
    soundZoneReaction(kLfo2TempoSync, n);
  // A sequence's knob choice greys its steps when "off": the page is laid out again
  // from the parameters, as after the user's change.
  else if (paramIdx >= kSeq1Knob && paramIdx <= kSeq3Knob + 1 && (paramIdx - kSeq1Knob) % 4 < 2)
    redrawTimbrePage();
  // The velocity curves below 8 leave the velocity level nothing to set.
  else if (paramIdx == kMasterVelocityArea && velocityLevelLayer)
    velocityLevelLayer->GrayOut(n <= 7);

  ControlAction* action = static_cast<ControlAction*>(param->GetControlAction());
  if (!action) return;
  if (ControlLayer* layer = action->valueLayer)
  {
    layer->selectedChildId = n;
    for (int i = 0; i < layer->children.GetSize(); ++i)
      layer->children.Get(i)->Hide(layer->children.Get(i)->id != n);
  }
  if (!linkingInProgress)
  {
    if (paramValue(kLayerLinker) == 1.0) linkTimbres(action, paramIdx, n, value);
    processControlAction(action, paramIdx, value);
  }
}
