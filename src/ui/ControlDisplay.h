#pragma once
// The central display for a parameter change: the name line, the value line (the
// value as the parameter's family shows it, then the raw value in brackets), the
// timbre line, and a sequencer step's own value text. Stateless; everything it
// reads and writes belongs to the editor, reached through ValueDisplayHost.

#include <string>
#include <vector>

class ValueDisplayHost
{
public:
  virtual ~ValueDisplayHost() = default;
  virtual bool editorReady() = 0;
  virtual bool freshStart() = 0;
  virtual int displayedTimbre() = 0;  // 0 or 1
  virtual bool midiOutSet() = 0;
  virtual double paramValue(int paramIdx) = 0;
  virtual std::string paramName(int paramIdx) = 0;
  // A named value list of the configuration; empty when there is none.
  virtual const std::vector<std::string>& valueList(const std::string& name) = 0;
  virtual void setNameLine(const std::string& text) = 0;
  virtual void setValueLine(const std::string& text) = 0;
  virtual void setTimbreLine(const std::string& text) = 0;
  // The step value text bound to parameter textParamIdx (kModSeq1Value01 ...).
  virtual void setStepText(int textParamIdx, const std::string& text) = 0;
};

class ControlDisplay
{
public:
  // How a parameter's value is shown; every id 0..528 has exactly one.
  enum Rule
  {
    kRuleNone,           // no display at all
    kRuleNameOnly,       // the name line (or a status text), no value
    kRuleTimbreToggle,   // timbre shown / linked: the timbre line for 0 and 1, else a plain number
    kRuleSemitone,
    kRuleCentre64,
    kRuleCentre24,
    kRuleCentre12,
    kRuleEqGain,
    kRuleTune,
    kRuleSwing,
    kRulePan,
    kRuleArpTempo,
    kRuleArpGate,
    kRuleMidiChannel,
    kRuleLastStep,
    kRuleOsc1Control,
    kRuleGateSwitch,
    kRuleVoiceTrigger,
    kRulePosition,
    kRuleOnOff,
    kRuleAllowed,
    kRuleDwgs,
    kRuleValueList,
    kRulePlainNumber,
    kNumRules
  };

  // The rules whose tables name the id (for a valid id exactly one).
  static std::vector<Rule> rulesOf(int paramIdx);
  static Rule ruleOf(int paramIdx);
  // The value list a kRuleValueList parameter shows, or null.
  static const char* valueListOf(int paramIdx);

  void controlDisplay(ValueDisplayHost* host, int paramIdx, double value, bool onlyDisplayedTimbre);

  // "%.0f" of the value.
  static std::string getValueString(double value);
};
