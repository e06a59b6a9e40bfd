// Factories of two-state buttons, momentary switches and radio groups.

#include "config/UIConfigManager.h"
#include "gui/ICustomControls.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "ui/FactorySupport.h"

IControl* UIConfigManager::placeBoolSwitch(IParam* param, int paramIdx, const std::string& paramName, bool on, int x,
                                           int y, const std::string& image, bool contact, int channel,
                                           ControlLayer* layer, const std::string& group)
{
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(paramName.c_str(), on, "", getParamGroup(channel, group));
  const int left = (int)(x * mScale), top = (int)(y * mScale);
  IControl* control = contact ? (IControl*)new IContactControl(plugBase(), left, top, paramIdx, &bitmap)
                              : (IControl*)new ISwitchControl(plugBase(), left, top, paramIdx, &bitmap);
  placeControl(control, layer);
  return control;
}

void UIConfigManager::createRadioControl(std::string name, int paramIdx, int x, int y, std::string image, int buttons,
                                         int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitEnum(name.c_str(), 0, buttons, "", getParamGroup(channel, group));
  const int left = (int)(x * mScale), top = (int)(y * mScale);
  // The control covers one half of the strip: the off or the on column (or row).
  const IRECT rect = bitmap.mFramesAreHorizontal ? IRECT(left, top, left + bitmap.W / 2, top + bitmap.H)
                                                 : IRECT(left, top, left + bitmap.W, top + bitmap.H / 2);
  IControl* control = new ICustomRadioButtonsControl(plugBase(), rect, paramIdx, buttons < 1 ? 1 : buttons, &bitmap,
                                                     bitmap.mFramesAreHorizontal ? kVertical : kHorizontal);
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
  param->SetIsMeta(true);
}

void UIConfigManager::createBoolControl(std::string name, int paramIdx, int defaultValue, int x, int y,
                                        std::string image, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IControl* control = placeBoolSwitch(param, paramIdx, name, defaultValue != 0, x, y, image, false, channel, layer, group);
  bindControl(*this, paramIdx, kActionNone, control);
}

void UIConfigManager::createSwitchControl(std::string name, int paramIdx, int defaultValue, int x, int y,
                                          std::string image, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IControl* control = placeBoolSwitch(param, paramIdx, name, defaultValue != 0, x, y, image, true, channel, layer, group);
  bindControl(*this, paramIdx, kActionNone, control);
}

IControl* UIConfigManager::createAutoOffSwitchControl(std::string name, int paramIdx, int x, int y,
                                                      std::string image, int channel, ControlLayer* layer,
                                                      std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return nullptr;
  IControl* control = placeBoolSwitch(param, paramIdx, name, false, x, y, image, true, channel, layer, group);
  bindControl(*this, paramIdx, kActionNone, control);
  return control;
}

void UIConfigManager::createNoValBoolControl(std::string name, int paramIdx, int x, int y, std::string image,
                                             double defaultValue, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  placeBoolSwitch(param, paramIdx, name, defaultValue != 0, x, y, image, false, channel, layer, group);
}

void UIConfigManager::createCCBoolControl(int ccNumber, int channelKey, std::string name, int paramIdx, int x, int y,
                                          std::string image, double defaultValue, double off, double on, LinkInfo,
                                          int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IControl* control = placeBoolSwitch(param, paramIdx, timbreName(name, channel), defaultValue != 0, x, y, image, false,
                                      channel, layer, group);
  ControlAction* action = bindControl(*this, paramIdx, kActionCCSwitch, control);
  action->offValue = (int)off;
  action->onValue = (int)on;
  action->subKey = 0;
  action->ccNumber = ccNumber;
  action->channelKey = isMixerLayer(layer, false) ? channelKey : channel + 1;
  mCCControls.addToControlMap(action->channelKey, action->ccNumber, action->subKey, control);
}

void UIConfigManager::createMsbLsbBoolControl(int ccNumber, int msbValue, int valueOffset, int lsbValue,
                                              int channelKey, std::string name, int paramIdx, int x, int y,
                                              std::string image, double defaultValue, double off, double on,
                                              LinkInfo link, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IControl* control = placeBoolSwitch(param, paramIdx, timbreName(name, channel), defaultValue != 0, x, y, image, false,
                                      channel, layer, group);
  ControlAction* action = bindControl(*this, paramIdx, kActionNRPN, control);
  action->offValue = (int)off;
  action->onValue = (int)on;
  action->subKey = 0;
  action->ccNumber = ccNumber;
  action->msbValue = msbValue;
  action->valueOffset = valueOffset;
  action->lsbValue = lsbValue;
  action->channelKey = isMixerLayer(layer, true) ? channelKey : channel + 1;
  recordLink(action, paramIdx, link, channel);
  mNRPNControls.addToControlMap(action, control);
}

void UIConfigManager::createSysExBoolControl(std::string name, int paramIdx, int x, int y, std::string image,
                                             double defaultValue, int, int sysexIndex, int changingByte, int channel,
                                             LinkInfo link, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  std::string tmpl;
  if (!sysExTemplate(*this, sysexIndex, name, &tmpl)) return;
  IControl* control = placeBoolSwitch(param, paramIdx, timbreName(name, channel), defaultValue != 0, x, y, image, false,
                                      channel, layer, group);
  ControlActionSysExMessage table;
  calculateSysexWithChangingByte(tmpl, changingByte, 2, &table, 0, channel);
  ControlAction* action = bindControl(*this, paramIdx, kActionSysExSwitch, control);
  setSysExTable(*this, action, table, param, changingByte, control, name);
  recordLink(action, paramIdx, link, channel);
}
