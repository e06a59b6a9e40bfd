#include "ui/DisplayLines.h"

#include "config/ParamIds.h"
#include "config/UIConfigManager.h"
#include "gui/IControls.h"
#include "plug/IParam.h"
#include "ui/ControlAction.h"

#include <cstdio>

ITextControl* DisplayLines::firstText(const UIConfigManager& config, int paramIdx)
{
  const IParam* param = config.paramAt(paramIdx);
  const auto* action = param ? static_cast<const ControlAction*>(param->GetControlAction()) : nullptr;
  if (!action || action->controls.empty()) return nullptr;
  return dynamic_cast<ITextControl*>(action->controls[0]);
}

namespace {

void write(ITextControl* line, const std::string& text)
{
  if (line) line->SetTextFromPlug(text.c_str());
}

}  // namespace

void DisplayLines::bind(const UIConfigManager& config)
{
  nameLine = firstText(config, kControlDisplayName);
  valueLine = firstText(config, kControlDisplayValue);
  ccLine = firstText(config, kControlDisplayCC);
  timbreLine = firstText(config, kControlDisplayTimbre);
  buildLine = firstText(config, kControlDisplayBuild);
  for (int i = 0; i < 48; ++i) stepTexts[(size_t)i] = firstText(config, kModSeq1Value01 + i);
}

void DisplayLines::displayText(std::string name, std::string value, std::string cc)
{
  write(nameLine, name);
  write(valueLine, value);
  write(ccLine, cc);
}

void DisplayLines::displayTimbre(std::string text) { write(timbreLine, text); }

void DisplayLines::displayBuild(std::string text) { write(buildLine, text); }

void DisplayLines::displaySequence(int sequence, const StepTexts& texts)
{
  if (sequence < 0 || sequence > 2) return;
  for (size_t k = 0; k < 16; ++k) write(stepTexts[(size_t)sequence * 16 + k], texts[k]);
}

std::string DisplayLines::getValueString(double value)
{
  char text[64];
  snprintf(text, sizeof text, "%.0f", value);
  return text;
}
