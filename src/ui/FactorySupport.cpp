#include "base/log.h"
#include "ui/FactorySupport.h"

#include "config/ControlLookups.h"
#include "plug/IParam.h"
#include "ui/ControlLayer.h"

#include <cstdio>
#include <cstring>

IParam* factoryParam(const UIConfigManager& config, int paramIdx, const std::string& name)
{
  IParam* param = config.paramAt(paramIdx);
  if (!param) ConsoleLog("CONFIG READER: control %s has no parameter (%d); nothing built!\n", name.c_str(), paramIdx);
  return param;
}

ControlAction* bindControl(UIConfigManager& config, int paramIdx, int actionType, IControl* control)
{
  ControlAction* action = config.controlActionFor(paramIdx, actionType);
  if (action && control) action->controls.push_back(control);
  return action;
}

std::string timbreName(const std::string& name, int channel)
{
  return channel >= 0 ? "[" + std::to_string(channel + 1) + "] " + name : name;
}

bool isMixerLayer(const ControlLayer* layer, bool withSettingsParts)
{
  if (!layer) return false;
  static const char* const kMixers[] = {"miniMixer", "multiModeMixer", "miniMixer2", "multiModeMixer2",
                                        "multiModeSettingsPage1"};
  for (const char* m : kMixers)
    if (layer->name == m) return true;
  if (!withSettingsParts) return false;
  for (int part = 1; part <= 8; ++part)
    if (layer->name == "additionalSettingsPart" + std::to_string(part)) return true;
  return false;
}

void setControllerKeys(ControlAction* action, const ControlLayer* layer, int channelAttr, int channel)
{
  const bool mixer = isMixerLayer(layer, false);
  action->channelKey = mixer ? channelAttr : channel + 1;
  action->subKey = mixer ? 1 : 0;
}

bool sysExTemplate(const UIConfigManager& config, int sysexIndex, const std::string& name, std::string* tmpl)
{
  const SysExContainer* container = config.getSysExContainer(sysexIndex);
  if (!container || container->values.empty() || container->values[0].empty())
  {
    ConsoleLog("CONFIG READER: control %s names sysexIndex %d, which holds no template; nothing built!\n", name.c_str(),
               sysexIndex);
    return false;
  }
  *tmpl = container->values[0][0];
  return true;
}

void setSysExTable(UIConfigManager& config, ControlAction* action, const ControlActionSysExMessage& table,
                   const IParam* param, int changingByte, IControl* control, const std::string& name)
{
  if (!action) return;
  action->sysExMessage = table;
  action->sysExFirstValue = param ? (int)param->GetMin() : 0;
  unsigned char key[4];
  if (table.messages.empty() || !SysExControlContainer::keyOfMessage(table.messages[0], changingByte, key))
  {
    ConsoleLog("CONFIG READER: control %s has no system-exclusive messages; it sends nothing!\n", name.c_str());
    return;
  }
  config.sysExControls().addToControlMap(key, 0, control);
}

IText menuText(int size, const IColor& color, double scale)
{
  IText text((int)(size * scale), color, "NK57 Monospace");
  return text;
}
