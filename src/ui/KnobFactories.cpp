// Factories of knobs and faders.

#include "config/UIConfigManager.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "ui/FactorySupport.h"

namespace {

using TableBuilder = void (UIConfigManager::*)(std::string, int, int, ControlActionSysExMessage*, int, int) const;

TableBuilder knob2Builder(int paramIdx)
{
  switch (paramIdx)
  {
    case 73: case 75: return &UIConfigManager::calculateSysexWithChangingByteEQ;
    case 32: case 33: case 52: case 53: return &UIConfigManager::calculateSysexWithChangingByteVelo;
    case 88: return &UIConfigManager::calculateSysexWithChangingByteTempo;
    case 90: return &UIConfigManager::calculateSysexWithChangingByteSwing;
    case 319: case 320: return &UIConfigManager::calculateSysexWithChangingByteTranspose;
    case 315: case 316: return &UIConfigManager::calculateSysexWithChangingByteTuning;
    default: return &UIConfigManager::calculateSysexWithChangingByteModSeq;
  }
}

}  // namespace

void UIConfigManager::createNoValKnobControl(std::string name, int paramIdx, int x, int y, std::string image,
                                             double defaultValue, double min, double max, double, int channel,
                                             ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitDouble(name.c_str(), defaultValue, min, max, 1.0, "", getParamGroup(channel, group));
  placeControl(new IKnobMultiControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap), layer);
}

void UIConfigManager::createCCKnobControl(int ccNumber, int channelAttr, std::string name, int paramIdx, int x, int y,
                                          std::string image, double defaultValue, double min, double max,
                                          double step, LinkInfo link, int channel, ControlLayer* layer,
                                          std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitDouble(timbreName(name, channel).c_str(), defaultValue, min, max, (double)(int)step, "",
                    getParamGroup(channel, group));
  IControl* control = new IKnobMultiControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionCC, control);
  setControllerKeys(action, layer, channelAttr, channel);
  // The DWGS wave shares its controller number with oscillator 1's control 2: a
  // sub-key of its own, the one the CC 15 handler asks for while the DWGS
  // waveform plays.
  if (paramIdx == 76 || paramIdx == 77) action->subKey = 2;
  recordLink(action, paramIdx, link, channel);
  action->ccNumber = ccNumber;
  mCCControls.addToControlMap(action->channelKey, action->ccNumber, action->subKey, control);
}

void UIConfigManager::createMsbLsbKnobControl(int ccNumber, int msbValue, int valueOffset, int lsbValue,
                                              int channelAttr, std::string name, int paramIdx, int x, int y,
                                              std::string image, double defaultValue, double min, double max, double,
                                              LinkInfo link, int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitDouble(timbreName(name, channel).c_str(), defaultValue, min, max, 1.0, "", getParamGroup(channel, group));
  IControl* control = new IKnobMultiControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionNRPN, control);
  setControllerKeys(action, layer, channelAttr, channel);
  recordLink(action, paramIdx, link, channel);
  action->ccNumber = ccNumber;
  action->msbValue = msbValue;
  action->valueOffset = valueOffset;
  action->lsbValue = lsbValue;
  mNRPNControls.addToControlMap(action, control);
}

void UIConfigManager::createSysExKnobControl(std::string name, int paramIdx, int x, int y, std::string image,
                                             double defaultValue, double min, double max, double, int, int sysexIndex,
                                             int changingByte, int channel, LinkInfo link, ControlLayer* layer,
                                             std::string group)
{
  createSysExKnob(name, paramIdx, x, y, image, defaultValue, min, max, sysexIndex, changingByte, channel, link, layer,
                  group, false);
}

void UIConfigManager::createSysExKnobControl2(std::string name, int paramIdx, int x, int y, std::string image,
                                              double defaultValue, double min, double max, double, int, int sysexIndex,
                                              int changingByte, int channel, LinkInfo link, ControlLayer* layer,
                                              std::string group)
{
  createSysExKnob(name, paramIdx, x, y, image, defaultValue, min, max, sysexIndex, changingByte, channel, link, layer,
                  group, true);
}

void UIConfigManager::createSysExKnob(const std::string& name, int paramIdx, int x, int y, const std::string& image,
                                      double defaultValue, double min, double max, int sysexIndex, int changingByte,
                                      int channel, const LinkInfo& link, ControlLayer* layer, const std::string& group,
                                      bool specialEncodings)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  std::string tmpl;
  if (!param || !sysExTemplate(*this, sysexIndex, name, &tmpl)) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitDouble(timbreName(name, channel).c_str(), defaultValue, min, max, 1.0, "", getParamGroup(channel, group));
  IControl* control = new IKnobMultiControl(plugBase(), (int)(x * mScale), (int)(y * mScale), paramIdx, &bitmap);
  placeControl(control, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionSysEx, control);
  recordLink(action, paramIdx, link, channel);
  ControlActionSysExMessage table;
  const TableBuilder builder =
      specialEncodings ? knob2Builder(paramIdx) : &UIConfigManager::calculateSysexWithChangingByte;
  (this->*builder)(tmpl, changingByte, (int)max - (int)min + 1, &table, (int)min, channel);
  setSysExTable(*this, action, table, param, changingByte, control, name);
}

void UIConfigManager::createCCSliderControl(int ccNumber, int channelAttr, std::string name, int paramIdx, int x,
                                            int y, int length, std::string image, double defaultValue, double min,
                                            double max, LinkInfo link, int channel, ControlLayer* layer,
                                            std::string group, int direction, bool)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitDouble(timbreName(name, channel).c_str(), defaultValue, min, max, 1.0, "", getParamGroup(channel, group));
  IControl* control = new IFaderControl(plugBase(), (int)(x * mScale), (int)(y * mScale), (int)(length * mScale),
                                        paramIdx, &bitmap, direction == 1 ? kHorizontal : kVertical, false);
  placeControl(control, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionCC, control);
  action->channelKey = isMixerLayer(layer, false) ? channelAttr : channel + 1;
  action->subKey = 0;
  recordLink(action, paramIdx, link, channel);
  action->ccNumber = ccNumber;
  mCCControls.addToControlMap(action->channelKey, action->ccNumber, action->subKey, control);
}

void UIConfigManager::createSysExSliderControl(std::string name, int paramIdx, int x, int y, int length,
                                               std::string image, double defaultValue, double min, double max, double,
                                               int msgZeroVal, int sysexIndex, int changingByte, int channel,
                                               LinkInfo link, ControlLayer* layer, std::string group, int direction,
                                               bool)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  std::string tmpl;
  if (!param || !sysExTemplate(*this, sysexIndex, name, &tmpl)) return;
  IBitmap bitmap = getImageByName(mGraphics, image);
  param->InitDouble(timbreName(name, channel).c_str(), defaultValue, min, max, 1.0, "", getParamGroup(channel, group));
  IControl* control = new IFaderControl(plugBase(), (int)(x * mScale), (int)(y * mScale), (int)(length * mScale),
                                        paramIdx, &bitmap, direction == 1 ? kHorizontal : kVertical, false);
  placeControl(control, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionSysEx, control);
  recordLink(action, paramIdx, link, channel);
  ControlActionSysExMessage table;
  calculateSysexWithChangingByte(tmpl, changingByte, (int)max - (int)min + 1, &table, (int)min + msgZeroVal, channel);
  setSysExTable(*this, action, table, param, changingByte, control, name);
}
