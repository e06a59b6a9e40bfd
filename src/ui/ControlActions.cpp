// The sending records: create-or-rewrite and the link partner.

#include "config/UIConfigManager.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"

#include <cstdio>

IPlugBase* UIConfigManager::plugBase() const { return mGraphics ? mGraphics->GetPlug() : nullptr; }

IParam* UIConfigManager::paramAt(int paramIdx) const
{
  IPlugBase* plug = plugBase();
  if (!plug || paramIdx < 0 || paramIdx >= plug->NParams()) return nullptr;
  return plug->GetParam(paramIdx);
}

ControlAction* UIConfigManager::controlActionFor(int paramIdx, int actionType)
{
  IParam* param = paramAt(paramIdx);
  if (!param) return nullptr;
  if (auto* action = static_cast<ControlAction*>(param->GetControlAction()))
  {
    action->actionType = actionType;
    return action;
  }
  auto action = std::make_shared<ControlAction>(actionType);
  mControlActions.push_back(action);
  param->SetControlAction(action.get());
  return action.get();
}

void UIConfigManager::recordLink(ControlAction* action, int paramIdx, LinkInfo link, int channel)
{
  if (!action || link.param1 < 0 || link.param2 < 0) return;
  // Both ids arrive already moved by the timbre copy (the walk reads the link with
  // the copy's offset), so neither is moved again: the partner is the parameter the
  // link names, and its link points back at this one.
  (void)channel;
  const int partnerIdx = link.param1;
  if (!paramAt(partnerIdx))
  {
    configProblem("CONFIG READER: link partner " + std::to_string(partnerIdx) + " of parameter " +
                  std::to_string(paramIdx) + " does not exist; no link recorded!");
    return;
  }
  action->linkInfo = link;
  // A partner without a record gets a placeholder that its own element rewrites.
  ControlAction* partner = static_cast<ControlAction*>(paramAt(partnerIdx)->GetControlAction());
  if (!partner) partner = controlActionFor(partnerIdx, kActionSysEx);
  partner->linkInfo = LinkInfo{paramIdx, link.param2, -1};
}

void UIConfigManager::placeControl(IControl* control, ControlLayer* layer)
{
  if (!control) return;
  if (layer)
    layer->controls.Add(control);
  else if (mGraphics)
    mGraphics->AttachControl(control);
  else
    delete control;  // nothing would own it
}

ControlLayer* UIConfigManager::getLayer(const std::string& name) const
{
  const auto it = mLayerMap.find(name);
  return it == mLayerMap.end() ? nullptr : it->second;
}
