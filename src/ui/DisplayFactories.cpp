// Factories of the text displays: the central display lines and the name fields.

#include "config/ParamIds.h"
#include "config/UIConfigManager.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "plug/IParam.h"
#include "plug/IPlugBase.h"
#include "ui/ControlAction.h"
#include "ui/FactorySupport.h"

namespace {

const IColor kDisplayInk(255, 50, 60, 70);

IRECT displayBox(int x, int y, int w, int h, double scale)
{
  const int left = (int)(x * scale), top = (int)(y * scale);
  return IRECT(left, top, left + (int)(w * scale), top + (int)(h * scale));
}

}  // namespace

void UIConfigManager::createControlDisplay(std::string name, int paramIdx, int x, int y, int w, int h, int,
                                           ControlLayer* layer, std::string, int displayKind)
{
  if (!factoryParam(*this, paramIdx, name)) return;
  IText text;
  switch (displayKind)
  {
    case 3: text = menuText(16, kDisplayInk, mScale); break;
    case 2:
      text = menuText(16,
                      paramIdx >= kModSeq1Value01 && paramIdx <= kModSeq3Value16 ? IColor(225, 225, 225, 225)
                                                                                  : IColor(255, 0, 174, 255),
                      mScale);
      break;
    case 1: text = menuText(15, kDisplayInk, mScale); break;
    default: text = menuText(14, kDisplayInk, mScale); break;
  }
  IControl* control = new ITextControl(plugBase(), displayBox(x, y, w, h, mScale), &text, "");
  control->DisablePrompt(true);
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
}

void UIConfigManager::createNameDisplay(std::string name, int paramIdx, int x, int y, int w, int h, int nameLen,
                                        int channel, ControlLayer* layer, std::string group)
{
  IParam* param = factoryParam(*this, paramIdx, name);
  if (!param) return;
  IText text = menuText(14, kDisplayInk, mScale);
  param->InitEnum(name.c_str(), 0, 1, "", getParamGroup(channel, group));
  param->InitText();
  switch (paramIdx)
  {
    case kPatchName: param->SetDisplayText(0, "-- INIT --"); break;
    case kPatchRename:
      param->SetDisplayText(0, "New Name");
      text.mColor = IColor(255, 225, 225, 225);
      break;
    case kPatchSearchString:
      param->SetDisplayText(0, "search...");
      text.mColor = IColor(255, 225, 225, 225);
      break;
    default: break;
  }
  IControl* control = new ICaptionControl(plugBase(), displayBox(x, y, w, h, mScale), paramIdx, &text, true);
  control->DisablePrompt(false);
  control->SetTextEntryLength(nameLen);
  placeControl(control, layer);
  bindControl(*this, paramIdx, kActionNone, control);
}
