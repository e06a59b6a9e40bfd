// Factories of the drop-down menus: caption controls over enumerated parameters.

#include "base/log.h"
#include "config/UIConfigManager.h"
#include "gui/IControls.h"
#include "gui/ICustomControls.h"
#include "gui/IGraphics.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"
#include "ui/ControlAction.h"
#include "ui/ControlLayer.h"
#include "ui/FactorySupport.h"

#include <cstdio>

namespace {

// One display text per value from the list, or numbers from dispMin when the
// menu allows them; false when neither fits.
bool setMenuTexts(IParam* param, int n, const std::vector<std::string>& list, bool numbers, int dispMin, int dispMax)
{
  if ((int)list.size() == n)
  {
    for (int i = 0; i < n; ++i) param->SetDisplayText(i, list[(size_t)i].c_str());
    return true;
  }
  if (!numbers || dispMin == dispMax) return false;
  for (int i = 0; i < n; ++i) param->SetDisplayText(i, std::to_string((long long)dispMin + i).c_str());  // no wrap at the top
  return true;
}

IRECT scaledBox(int x, int y, int w, int h, double scale)
{
  const int left = (int)(x * scale), top = (int)(y * scale);
  return IRECT(left, top, left + (int)(w * scale), top + (int)(h * scale));
}

const IColor kCaptionOrange(255, 255, 173, 0);
const IColor kMenuOrange(254, 255, 173, 0);

}  // namespace

void UIConfigManager::createDropDownMenu(std::string name, int paramIdx, int x, int y, int w, int h, int channel,
                                         ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  param->InitEnum(name.c_str(), 0, 1, "", getParamGroup(channel, group));
  param->SetDisplayText(0, "----");
  IText text = menuText(15, kCaptionOrange, mScale);
  IControl* control = new ICaptionControl(plugBase(), scaledBox(x, y, w, h, mScale), paramIdx, &text, true);
  control->DisablePrompt(true);  // a text display: a click opens no menu
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
}

void UIConfigManager::createDropDownMenu2(std::string name, int paramIdx, int x, int y, int w, int h,
                                          int defaultValue, int min, int max, std::vector<std::string> valueList,
                                          int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  const int n = max - min;
  if (!initMenuParam(param, name, name, defaultValue, n, false, 0, 0, valueList, channel, group)) return;
  IControl* control = placeMenuCaption(paramIdx, x, y, w, h, 13, kMenuOrange, layer);
  bindControl(*this, paramIdx, kActionNone, control);
}

void UIConfigManager::createMIDIDeviceSelectionControl(std::string, int paramIdx, int x, int y, int w, int h,
                                                       int inputDev, int, ControlLayer*, std::string)
{
  IParam* param = factoryParam(*this, paramIdx, "Device Selection");
  IPlugBase* plug = plugBase();
  if (!param || !plug) return;
  // The editor's constructor builds this: the port thread is not started from here.
  const std::vector<std::string> names = plug->KnownMidiPortNames(inputDev == 1);
  param->InitEnum("Device Selection", 0, (int)names.size(), "", "");
  for (size_t i = 0; i < names.size(); ++i) param->SetDisplayText((int)i, names[i].c_str());
  // The port menus always sit on the window. Device names are often longer than
  // the field, and a missing port's entry longer still.
  IControl* control = placeMenuCaption(paramIdx, x, y, w, h, 15, IColor(255, 0, 174, 255), nullptr, kMissingPortMark);
  bindControl(*this, paramIdx, kActionNone, control);
}

void UIConfigManager::createNoValDropDown(std::string name, int paramIdx, int x, int y, int w, int h,
                                          int defaultValue, int min, int max, int dispMin, int dispMax, int color,
                                          std::vector<std::string> valueList, int channel, ControlLayer* layer,
                                          std::string group, bool white)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  const int n = max - min;
  if (!initMenuParam(param, name, name, defaultValue, n, true, dispMin, dispMax, valueList, channel, group)) return;
  const IColor colour = color == 1 ? (white ? IColor(255, 255, 255, 255) : kCaptionOrange) : IColor(0, 255, 173, 0);
  placeMenuCaption(paramIdx, x, y, w, h, 13, colour, layer);
}

void UIConfigManager::createMultiSelectionCCControl(int ccNumber, int channelKey, std::string name, int paramIdx,
                                                    int x, int y, int w, int h, int defaultValue, int min, int max,
                                                    int dispMin, int dispMax, std::vector<std::string> valueList,
                                                    int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  const int n = max - min;
  if (!initMenuParam(param, timbreName(name, channel), name, defaultValue, n, true, dispMin, dispMax, valueList,
                     channel, group))
    return;
  IControl* control = placeMenuCaption(paramIdx, x, y, w, h, 13, kMenuOrange, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionCC, control);
  action->ccNumber = ccNumber;
  setControllerKeys(action, layer, channelKey, channel);
  mCCControls.addToControlMap(action->channelKey, action->ccNumber, action->subKey, control);
}

void UIConfigManager::createMsbLsbSelectionCCControl(int ccNumber, int msbValue, int valueOffset, int lsbValue,
                                                     int channelKey, std::string name, int paramIdx, int x, int y,
                                                     int w, int h, int defaultValue, int min, int max, int dispMin,
                                                     int dispMax, std::vector<std::string> valueList, int channel,
                                                     ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  const int n = max - min;
  if (!initMenuParam(param, timbreName(name, channel), name, defaultValue, n, true, dispMin, dispMax, valueList,
                     channel, group))
    return;
  IControl* control = placeMenuCaption(paramIdx, x, y, w, h, 13, kMenuOrange, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionNRPN, control);
  action->ccNumber = ccNumber;
  action->msbValue = msbValue;
  action->valueOffset = valueOffset;
  action->lsbValue = lsbValue;
  setControllerKeys(action, layer, channelKey, channel);
  mNRPNControls.addToControlMap(action, control);
}

void UIConfigManager::createMultiSelectionSysExControl(std::string name, int paramIdx, int x, int y, int w, int h,
                                                       int defaultValue, int min, int max, int dispMin, int dispMax,
                                                       std::vector<std::string> valueList, int, int, int sysexIndex,
                                                       int changingByte, int channel, ControlLayer* layer,
                                                       std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  const int n = max - min;
  if (!initMenuParam(param, timbreName(name, channel), name, defaultValue, n, true, dispMin, dispMax, valueList,
                     channel, group))
    return;
  std::string tmpl;
  if (!sysExTemplate(*this, sysexIndex, name, &tmpl)) return;
  ControlActionSysExMessage table;
  const auto builder = [paramIdx]() {
    switch (paramIdx)
    {
      case 88: return &UIConfigManager::calculateSysexWithChangingByteTempo;
      case 73: case 75: case 317: case 318: return &UIConfigManager::calculateSysexWithChangingByteEQ;
      case 319: case 320: return &UIConfigManager::calculateSysexWithChangingByteTranspose;
      case 90: return &UIConfigManager::calculateSysexWithChangingByteSwing;
      case 315: case 316: return &UIConfigManager::calculateSysexWithChangingByteTuning;
      case 109: case 110: case 123: case 124: return &UIConfigManager::calculateSysexWithTwoChangingBytes;
      default:
        if ((paramIdx >= 131 && paramIdx <= 136) || (paramIdx >= 139 && paramIdx <= 146))
          return &UIConfigManager::calculateSysexWithTwoChangingBytes;
        return &UIConfigManager::calculateSysexWithChangingByte;
    }
  }();
  (this->*builder)(tmpl, changingByte, n + 1, &table, min, channel);
  IControl* control = placeMenuCaption(paramIdx, x, y, w, h, 13, kMenuOrange, layer);
  ControlAction* action = bindControl(*this, paramIdx, kActionSysEx, control);
  setSysExTable(*this, action, table, param, changingByte, control, name);
}

bool UIConfigManager::initMenuParam(IParam* param, const std::string& paramName, const std::string& name,
                                    int defaultValue, int n, bool numbered, int dispMin, int dispMax,
                                    const std::vector<std::string>& valueList, int channel, const std::string& group)
{
  param->InitEnum(paramName.c_str(), defaultValue, n, "", getParamGroup(channel, group));
  if (setMenuTexts(param, n, valueList, numbered, dispMin, dispMax)) return true;
  ConsoleLog("Values for %s not defined!\n", name.c_str());
  return false;
}

IControl* UIConfigManager::placeMenuCaption(int paramIdx, int x, int y, int w, int h, int textSize,
                                            const IColor& colour, ControlLayer* layer, const char* keptTail)
{
  IText text = menuText(textSize, colour, mScale);
  const IRECT box = scaledBox(x, y, w, h, mScale);
  IControl* control = keptTail ? new IFittedCaptionControl(plugBase(), box, paramIdx, &text, true, keptTail)
                               : new ICaptionControl(plugBase(), box, paramIdx, &text, true);
  control->DisablePrompt(false);
  placeControl(control, layer);
  return control;
}
