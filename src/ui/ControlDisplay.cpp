#include "ui/ControlDisplay.h"

#include "base/log.h"
#include "config/ParamIds.h"

#include <cstdio>

namespace {

struct Span
{
  int first, last;
};

struct RuleTable
{
  ControlDisplay::Rule rule;
  std::vector<Span> ids;
};

// One table a rule; rulesOf() checks that they never overlap.
const std::vector<RuleTable>& ruleTables()
{
  // 478 is the MIDI filter page's switch, shared by its opening button and its
  // Close: like the other page switches it shows nothing, as no one name fits both.
  static const std::vector<RuleTable> tables = {
      {ControlDisplay::kRuleNone,
       {{344, 344}, {396, 396}, {473, 473}, {476, 478}, {485, 487}, {492, 493}, {495, 497}, {499, 499}, {501, 502},
        {512, 512}, {519, 520}, {526, 527}}},
      {ControlDisplay::kRuleNameOnly, {{kReleaseAllLocks, kReleaseAllLocks}, {kControlLibrary, kControlLibrary}, {518, 518}}},
      {ControlDisplay::kRuleTimbreToggle, {{kLayerLinker, kLayerLinker}, {kQuickTab, kQuickTab}}},
      {ControlDisplay::kRuleSemitone, {{10, 11}}},
      {ControlDisplay::kRuleCentre64, {{12, 13}, {30, 35}, {52, 55}, {78, 87}, {147, 242}}},
      {ControlDisplay::kRuleCentre24, {{319, 320}}},
      {ControlDisplay::kRuleCentre12, {{323, 323}}},
      {ControlDisplay::kRuleEqGain, {{73, 73}, {75, 75}}},
      {ControlDisplay::kRuleTune, {{315, 316}}},
      {ControlDisplay::kRuleSwing, {{90, 90}}},
      {ControlDisplay::kRulePan, {{46, 47}}},
      {ControlDisplay::kRuleArpTempo, {{88, 88}}},
      {ControlDisplay::kRuleArpGate, {{89, 89}}},
      {ControlDisplay::kRuleMidiChannel, {{121, 122}}},
      {ControlDisplay::kRuleLastStep, {{247, 248}}},
      {ControlDisplay::kRuleOsc1Control, {{4, 7}}},
      {ControlDisplay::kRuleGateSwitch, {{48, 49}}},
      {ControlDisplay::kRuleVoiceTrigger, {{125, 126}}},
      {ControlDisplay::kRulePosition, {{326, 326}}},
      {ControlDisplay::kRuleOnOff,
       {{50, 51}, {68, 68}, {91, 91}, {93, 93}, {96, 96}, {103, 104}, {111, 112}, {127, 130}, {243, 244}, {321, 321},
        {330, 331}, {351, 395}}},
      {ControlDisplay::kRuleAllowed, {{328, 328}, {334, 338}}},
      {ControlDisplay::kRuleDwgs, {{76, 77}}},
      {ControlDisplay::kRuleValueList,
       {{8, 9}, {28, 29}, {64, 64}, {67, 67}, {70, 70}, {72, 72}, {74, 74}, {92, 92}, {94, 94}, {97, 97}, {99, 102},
        {105, 110}, {113, 120}, {123, 124}, {131, 146}, {245, 246}, {249, 266}, {317, 318}, {324, 324}, {327, 327},
        {329, 329}, {332, 333}, {346, 348}}},
      // 498 has no family of its own and shows its number like its neighbours.
      {ControlDisplay::kRulePlainNumber,
       {{0, 3}, {14, 27}, {36, 45}, {56, 63}, {65, 66}, {69, 69}, {71, 71}, {95, 95}, {98, 98}, {267, 314},
        {322, 322}, {325, 325}, {339, 343}, {345, 345}, {349, 350}, {398, 471}, {474, 475}, {479, 484}, {488, 491},
        {498, 498}, {500, 500}, {503, 511}, {513, 517}, {521, 524}, {528, 528}}},
  };
  return tables;
}

struct ListRange
{
  int first, last;
  const char* list;
};

const ListRange kLists[] = {
    {8, 9, "osc2OscMod"},          {28, 29, "filterType"},     {64, 64, "modFxType"},
    {67, 67, "delayFxType"},       {70, 70, "delaySyncNote"},  {72, 72, "eqLowFrequency"},
    {74, 74, "eqHiFrequency"},     {92, 92, "arpResolution"},  {94, 94, "arpRange"},
    {97, 97, "arpTarget"},         {99, 100, "lfoWaveform"},   {101, 102, "lfoKeySync"},
    {109, 110, "lfoKeySync"},      {105, 106, "lfoSyncNote"},  {113, 114, "lfoSyncNote"},
    {107, 108, "lfoWaveform2"},    {115, 116, "osc1Waveform"}, {117, 118, "osc2Waveform"},
    {119, 120, "voiceAssign"},     {123, 124, "voicePriority"}, {131, 138, "patchSource"},
    {139, 146, "patchDestination"}, {245, 246, "modSeqType"},   {249, 250, "modKeySync"},
    {251, 252, "modRunMode"},      {253, 254, "modSeqSyncNote"}, {255, 256, "modSeqKnob"},
    {259, 260, "modSeqKnob"},      {263, 264, "modSeqKnob"},   {257, 258, "modSeqMotion"},
    {261, 262, "modSeqMotion"},    {265, 266, "modSeqMotion"}, {317, 318, "bendRange"},
    {324, 324, "velocityCurve"},   {327, 327, "oneToSixteen"}, {329, 329, "midiClockSource"},
    {332, 333, "midiControl"},     {346, 346, "commonModeList"}, {347, 347, "commonVoices"},
    {348, 348, "keyList"},
};

const struct
{
  int bound;
  const char* text;
} kSemitones[] = {{2, "- 24"},   {5, "- 23"},   {7, "- 22"},   {10, "- 21"},  {13, "- 20"},  {15, "- 19"},  {18, "- 18"},
                  {20, "- 17"},  {23, "- 16"},  {26, "- 15"},  {28, "- 14"},  {31, "- 13"},  {33, "- 12"},  {36, "- 11"},
                  {39, "- 10"},  {41, "- 09"},  {44, "- 08"},  {47, "- 07"},  {49, "- 06"},  {52, "- 05"},  {54, "- 04"},
                  {57, "- 03"},  {60, "- 02"},  {62, "- 01"},  {65, "+ 00"},  {67, "+ 01"},  {70, "+ 02"},  {73, "+ 03"},
                  {75, "+ 04"},  {78, "+ 05"},  {80, "+ 06"},  {83, "+ 07"},  {86, "+ 08"},  {88, "+ 09"},  {91, "+ 10"},
                  {94, "+ 11"},  {96, "+ 12"},  {99, "+ 13"},  {101, "+ 14"}, {104, "+ 15"}, {107, "+ 16"}, {109, "+ 17"},
                  {112, "+ 18"}, {114, "+ 19"}, {117, "+ 20"}, {120, "+ 21"}, {122, "+ 22"}, {125, "+ 23"}, {127, "+ 24"}};

const char* const kOsc1ControlNames[8][2] = {{"Sawtooth Morph", "Sawtooth LFO1 Mod Depth"},
                                             {"Pulse Width", "Pulse Width LFO1 Mod"},
                                             {"Triangle Morph", "Triangle LFO1 WFM Depth"},
                                             {"Sin(Cross) X-MOD Depth", "Sin(Cross) X-MOD Depth Mod"},
                                             {"Vox Wave Morph", "Vox Wave LFO1 Mod Depth"},
                                             {"Not available in DWGS", nullptr},
                                             {"Noise LPF Curoff Freq", "Noise LPF Resonance"},
                                             {"Audio Input Morph 1<->2", "Audio Input LFO1 Mod 1<->2"}};

std::string num(int v) { return std::to_string(v); }
std::string signedFrom(int v, int centre)
{
  if (v == centre) return "0";
  return v > centre ? "+" + num(v - centre) : num(v - centre);
}
std::string pick(int v, const char* zero, const char* one)
{
  return v == 0 ? zero : v == 1 ? one : "";
}

}  // namespace

std::vector<ControlDisplay::Rule> ControlDisplay::rulesOf(int paramIdx)
{
  std::vector<Rule> rules;
  for (const RuleTable& t : ruleTables())
    for (const Span& s : t.ids)
      if (paramIdx >= s.first && paramIdx <= s.last) rules.push_back(t.rule);
  return rules;
}

ControlDisplay::Rule ControlDisplay::ruleOf(int paramIdx)
{
  for (const RuleTable& t : ruleTables())
    for (const Span& s : t.ids)
      if (paramIdx >= s.first && paramIdx <= s.last) return t.rule;
  return kRuleNone;
}

const char* ControlDisplay::valueListOf(int paramIdx)
{
  for (const ListRange& l : kLists)
    if (paramIdx >= l.first && paramIdx <= l.last) return l.list;
  return nullptr;
}

std::string ControlDisplay::getValueString(double value)
{
  char text[64];
  snprintf(text, sizeof text, "%.0f", value);
  return text;
}

void ControlDisplay::controlDisplay(ValueDisplayHost* host, int paramIdx, double value, bool onlyDisplayedTimbre)
{
  const Rule rule = ruleOf(paramIdx);
  if (!host || paramIdx < 0 || paramIdx >= kNumParams || rule == kRuleNone) return;
  if (!host->editorReady()) return;
  if (paramIdx == kControlLibrary && !host->freshStart()) return;

  if (paramIdx == kQuickTab && (value == 0.0 || value == 1.0))
  {
    host->setNameLine(value == 0.0 ? "Display Timbre 1 Parameters" : "Display Timbre 2 Parameters");
    host->setTimbreLine(value == 0.0 ? "[TIMBRE 1]" : "[TIMBRE 2]");
    return;
  }
  if (paramIdx == kLayerLinker && (value == 0.0 || value == 1.0))
  {
    if (value == 1.0)
    {
      host->setNameLine("Timbres are Linked");
      host->setTimbreLine("[LAYER]");
    }
    else
      host->setTimbreLine((int)host->paramValue(kQuickTab) != 0 ? "[TIMBRE 2]" : "[TIMBRE 1]");
    return;
  }

  std::string name = host->paramName(paramIdx);
  // A parameter without a name has no control of its own: the commands the menus
  // and the page switching run through it (a folder rescan, a bank step) show nothing.
  if (name.empty()) return;
  if (onlyDisplayedTimbre)
  {
    // Per-timbre names begin "[1] " or "[2] "; anything else belongs to no timbre.
    const char digit = (char)('1' + host->displayedTimbre());
    if (name.size() < 2 || name[1] != digit) return;
  }
  host->setNameLine(name);

  if (rule == kRuleNameOnly)
  {
    if (paramIdx == kControlLibrary)
      host->setNameLine(value == 1.0 ? "Send Data From Librarian" : "Request Data From Hardware");
    else if (paramIdx == kReleaseAllLocks && value == 1.0)
      host->setNameLine("All Section Locks Released");
    else if (paramIdx == 518 && value == 1.0)
      host->setNameLine("Data Process CANCELLED!");
    return;
  }

  const int v = (int)value;
  const int p = (int)host->paramValue(paramIdx);
  ConsoleLog("* * * * Control Display = Param Name : %s \t Param Value : %i \t Param ID : \t %i\n", name.c_str(), v,
             paramIdx);

  std::string t;
  int bracket = v;
  switch (rule)
  {
    case kRuleSemitone:
      for (const auto& s : kSemitones)
        if (v <= s.bound)
        {
          t = s.text;
          break;
        }
      break;
    case kRuleCentre64:
      if (v >= 0 && v <= 127) t = signedFrom(v, 64);
      break;
    case kRuleCentre24: t = signedFrom(v, 24); break;
    case kRuleCentre12: t = signedFrom(v, 12); break;
    case kRuleEqGain: t = v == 12 ? "0" : num(v - 12); break;
    case kRuleTune: t = signedFrom(v, 50) == "0" ? "+00[cent]" : signedFrom(v, 50) + "[cent]"; break;
    case kRuleSwing:
      if (v == 0) t = "-100%";
      else if (v == 100) t = "0 %";
      else if (v == 200) t = "100%";
      else if (v > 0 && v < 200) t = signedFrom(v, 100) + "%";
      break;
    case kRulePan:
      if (v == 0) t = "LEFT 100%";
      else if (v == 64) t = "< CENTER >";
      else if (v == 127) t = "RIGHT 100%";
      else if (v >= 1 && v <= 63) t = "LEFT " + num((int)((v - 64) * -1.55)) + "%";
      else if (v >= 65 && v <= 126) t = "RIGHT " + num((int)((v - 64) * 1.55)) + "%";
      break;
    case kRuleArpTempo: t = num(v + 20) + " BPM"; break;
    case kRuleArpGate: t = num((int)(v / 1.27)) + " %"; break;
    case kRuleMidiChannel: t = v <= 15 ? num(v + 1) : "GLOBAL"; break;
    case kRuleLastStep: t = num(v + 1); break;
    case kRuleOsc1Control:
    {
      const int w = (int)host->paramValue(kOsc1Waveform + host->displayedTimbre());
      const int which = paramIdx <= 5 ? 0 : 1;
      if (w >= 0 && w <= 7 && kOsc1ControlNames[w][which]) host->setNameLine(kOsc1ControlNames[w][which]);
      t = num(v);
      break;
    }
    case kRuleGateSwitch: t = pick(v, "EG 2", "GATE"); break;
    case kRuleVoiceTrigger: t = pick(v, "SINGLE", "MULTI"); break;
    case kRulePosition: t = pick(v, "Post KBD", "Pre TG"); break;
    case kRuleOnOff: t = pick(v, "OFF", "ON"); break;
    case kRuleAllowed: t = pick(v, "DISABLED", "ALLOWED"); break;
    case kRuleDwgs:
      if (host->midiOutSet())
      {
        const std::vector<std::string>& list = host->valueList("DWGSWaveform");
        if (p >= 0 && p < (int)list.size()) t = list[(size_t)p];
      }
      else
        bracket = 2 * v;
      break;
    case kRuleValueList:
    {
      // An index outside the list shows no text rather than reading past it.
      const std::vector<std::string>& list = host->valueList(valueListOf(paramIdx));
      if (p >= 0 && p < (int)list.size()) t = list[(size_t)p];
      break;
    }
    default:  // plain numbers, and the timbre toggles at other values
      host->setValueLine(getValueString(v));
      return;
  }
  // The two timbres' steps share the one text under each step knob, which shows the
  // timbre on screen: the other timbre's step (from the synthesizer, the host) would
  // put its value under this timbre's knob.
  if (paramIdx >= kSeq1Step1 && paramIdx <= kSeq1Step1 + 95 && (paramIdx - kSeq1Step1) % 2 == host->displayedTimbre())
    host->setStepText(kModSeq1Value01 + (paramIdx - kSeq1Step1) / 2, t);
  host->setValueLine(t + " [" + num(bracket) + "]");
}
