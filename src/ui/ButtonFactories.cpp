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
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(name.c_str(), defaultValue != 0, "", getParamGroup(channel, group));
  IControl* control = new ISwitchControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
}

void UIConfigManager::createSwitchControl(std::string name, int paramIdx, int defaultValue, int x, int y,
                                          std::string image, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(name.c_str(), defaultValue != 0, "", getParamGroup(channel, group));
  IControl* control = new IContactControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
}

IControl* UIConfigManager::createAutoOffSwitchControl(std::string name, int paramIdx, int x, int y,
                                                      std::string image, int channel, ControlLayer* layer,
                                                      std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return nullptr;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(name.c_str(), false, "", getParamGroup(channel, group));
  IControl* control = new IContactControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
  return control;
}

void UIConfigManager::createNoValBoolControl(std::string name, int paramIdx, int x, int y, std::string image,
                                             double defaultValue, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(name.c_str(), defaultValue != 0, "", getParamGroup(channel, group));
  placeControl(new ISwitchControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap), layer);
}

void UIConfigManager::createCCBoolControl(int ccNumber, int channelKey, std::string name, int paramIdx, int x, int y,
                                          std::string image, double defaultValue, double off, double on, LinkInfo,
                                          int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(timbreName(name, channel).c_str(), defaultValue != 0, "", getParamGroup(channel, group));
  IControl* control = new ISwitchControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
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
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(timbreName(name, channel).c_str(), defaultValue != 0, "", getParamGroup(channel, group));
  IControl* control = new ISwitchControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
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
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitBool(timbreName(name, channel).c_str(), defaultValue != 0, "", getParamGroup(channel, group));
  ControlActionSysExMessage table;
  calculateSysexWithChangingByte(tmpl, changingByte, 2, &table, 0, channel);
  IControl* control = new ISwitchControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionSysExSwitch, control);
  setSysExTable(*this, action, table, param, changingByte, control, name);
  recordLink(action, paramIdx, link, channel);
}
