#include "ui/LinkManager.h"

#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "plug/IParam.h"
#include "ui/ControlAction.h"

#include <vector>

int LinkManager::linkTarget(const LinkInfo& info, int sourceId)
{
  // Timbre 1 of the automatable pairs and of the per-timbre enumerations and steps:
  // timbre 2 is the next id.
  const bool fixedPair = (sourceId >= 0 && sourceId <= 62 && sourceId % 2 == 0) ||
                         (sourceId >= 76 && sourceId <= 86 && sourceId % 2 == 0) ||
                         (sourceId >= 99 && sourceId <= 265 && sourceId % 2 == 1);
  if (fixedPair) return sourceId + 1;
  if (info.param1 < 0 || info.param2 < 0) return -1;
  return info.param1;
}

void LinkManager::controlLinker(LinkHost* host, LinkInfo info, int sourceId, int, double value)
{
  if (!host) return;
  const int target = linkTarget(info, sourceId);
  if (target < 0 || target >= kNumParams || target == sourceId) return;
  IParam* param = host->linkParam(target);
  // A target without a sending record cannot be linked: there is nothing to send.
  ControlAction* action = param ? static_cast<ControlAction*>(param->GetControlAction()) : nullptr;
  if (!action) return;
  // The target takes the value within its own range, and that is what is sent,
  // whatever the send does (it skips an unchanged value and refuses without an
  // output port).
  param->Set(value);
  host->sendLinked(action, target, param->Value());
  // The target's controls show the target's own value.
  const double normalized = param->GetNormalized();
  const std::vector<IControl*> controls = action->controls;
  for (IControl* c : controls)
    if (c) c->SetValueFromPlug(normalized);
}
