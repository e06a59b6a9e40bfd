#pragma once
// The central display's text lines and the 48 step texts of the sequence page:
// the first control bound to each display parameter, when it is a text control.

#include <array>
#include <string>

class ITextControl;
class UIConfigManager;

class DisplayLines
{
public:
  using StepTexts = std::array<std::string, 16>;

  // Takes the lines from the records the configuration made. A parameter whose
  // first control is not a text control (or that has none) gets no line, and
  // writes to it are dropped, rather than a control of another kind being used
  // as one.
  void bind(const UIConfigManager& config);

  void displayText(std::string name, std::string value, std::string cc);
  void displayTimbre(std::string text);
  void displayBuild(std::string text);
  void displaySequence1Values(const StepTexts& texts) { displaySequence(0, texts); }
  void displaySequence2Values(const StepTexts& texts) { displaySequence(1, texts); }
  void displaySequence3Values(const StepTexts& texts) { displaySequence(2, texts); }
  void displaySequence(int sequence, const StepTexts& texts);

  // "%.0f": halves go to the even neighbour, as printf rounds.
  static std::string getValueString(double value);

  // The first control bound to paramIdx in its action record, when that is a
  // text control; null otherwise.
  static ITextControl* firstText(const UIConfigManager& config, int paramIdx);

  ITextControl* nameLine = nullptr;
  ITextControl* valueLine = nullptr;
  ITextControl* ccLine = nullptr;
  ITextControl* timbreLine = nullptr;
  ITextControl* buildLine = nullptr;
  std::array<ITextControl*, 48> stepTexts{};
};
