// The value display: every parameter id under exactly one rule, and each rule's
// texts, against a host whose lines and values the test sets.

#include "config/ParamIds.h"
#include "ui/ControlDisplay.h"

#include <gtest/gtest.h>

#include <map>

namespace {

struct DisplayHost : ValueDisplayHost
{
  bool ready = true, fresh = true, outSet = true;
  int timbre = 0;
  std::map<int, double> values;
  std::map<int, std::string> names;
  std::map<std::string, std::vector<std::string>> lists;
  std::string nameLine = "-", valueLine = "-", timbreLine = "-";
  std::map<int, std::string> steps;

  bool editorReady() override { return ready; }
  bool freshStart() override { return fresh; }
  int displayedTimbre() override { return timbre; }
  bool midiOutSet() override { return outSet; }
  double paramValue(int id) override { return values.count(id) ? values[id] : 0.0; }
  std::string paramName(int id) override { return names.count(id) ? names[id] : "P" + std::to_string(id); }
  const std::vector<std::string>& valueList(const std::string& name) override { return lists[name]; }
  void setNameLine(const std::string& t) override { nameLine = t; }
  void setValueLine(const std::string& t) override { valueLine = t; }
  void setTimbreLine(const std::string& t) override { timbreLine = t; }
  void setStepText(int id, const std::string& t) override { steps[id] = t; }
};

TEST(ValueDisplay, EveryIdFallsUnderExactlyOneRule)
{
  for (int id = 0; id < kNumParams; ++id)
  {
    SCOPED_TRACE(id);
    const std::vector<ControlDisplay::Rule> rules = ControlDisplay::rulesOf(id);
    ASSERT_EQ(rules.size(), 1u);
    EXPECT_EQ(rules[0], ControlDisplay::ruleOf(id));
    // A list parameter names its list, and nothing else does.
    EXPECT_EQ(rules[0] == ControlDisplay::kRuleValueList, ControlDisplay::valueListOf(id) != nullptr);
  }
  EXPECT_EQ(ControlDisplay::ruleOf(498), ControlDisplay::kRulePlainNumber);
  EXPECT_TRUE(ControlDisplay::rulesOf(-1).empty());
  EXPECT_TRUE(ControlDisplay::rulesOf(kNumParams).empty());
}

TEST(ValueDisplay, EachRuleWritesItsText)
{
  struct Case
  {
    int id;
    double value;
    const char* valueLine;
  } cases[] = {
      {kOsc2Tune, 64, "0 [64]"},          {kOsc2Tune, 70, "+6 [70]"},           {kOsc2Tune, 10, "-54 [10]"},
      {kOsc2Tune + 1, 128, " [128]"},     {kAmpPan, 32, "LEFT 49% [32]"},       {kAmpPan, 96, "RIGHT 49% [96]"},
      {kAmpPan, 1, "LEFT 97% [1]"},       {kAmpPan + 1, 126, "RIGHT 96% [126]"}, {kAmpPan, 0, "LEFT 100% [0]"},
      {kAmpPan, 64, "< CENTER > [64]"},   {kAmpPan, 127, "RIGHT 100% [127]"},   {kAmpPan, 130, " [130]"},
      {kArpTempo, 100, "120 BPM [100]"},  {kArpGate, 127, "100 % [127]"},       {kArpGate, 64, "50 % [64]"},
      {kArpSwing, 0, "-100% [0]"},        {kArpSwing, 100, "0 % [100]"},        {kArpSwing, 200, "100% [200]"},
      {kArpSwing, 40, "-60% [40]"},       {kArpSwing, 150, "+50% [150]"},       {kArpSwing, 201, " [201]"},
      {kTimbreTune, 50, "+00[cent] [50]"}, {kTimbreTune + 1, 20, "-30[cent] [20]"}, {kTimbreTune, 99, "+49[cent] [99]"},
      {kTimbreTranspose, 24, "0 [24]"},   {kTimbreTranspose + 1, 30, "+6 [30]"}, {kMasterTranspose, 2, "-10 [2]"},
      {kEQLowGain, 12, "0 [12]"},         {kEQHiGain, 20, "8 [20]"},            {kEQHiGain, 0, "-12 [0]"},
      {kMultiPartMIDICh, 15, "16 [15]"},  {kMultiPartMIDICh + 1, 16, "GLOBAL [16]"},
      {kModSeqLastStep, 15, "16 [15]"},   {kOsc2Semitone, 0, "- 24 [0]"},       {kOsc2Semitone, 64, "+ 00 [64]"},
      {kOsc2Semitone + 1, 127, "+ 24 [127]"}, {kOsc2Semitone, 128, " [128]"},
      {kAmpGateSw, 0, "EG 2 [0]"},        {kAmpGateSw + 1, 1, "GATE [1]"},      {kVoiceTrigger, 1, "MULTI [1]"},
      {kMasterPosition, 0, "Post KBD [0]"}, {kArpOnOff, 1, "ON [1]"},           {kArpOnOff, 2, " [2]"},
      {kSectionLockGlobal, 0, "OFF [0]"}, {kGlobalLocalControl, 1, "ALLOWED [1]"}, {kMIDIFilterWriteProtect, 0, "DISABLED [0]"},
      {kFilterCutoff, 90, "90"},          {498, 7, "7"},                        {kLayerLinker, 2, "2"},
      {kQuickTab, 3, "3"},                {kFilterType, 1, "LP12 [1]"},         {kFilterType, 9, " [9]"},
      {kFilterType + 1, -1, " [-1]"},     {kCommonVoices, 0, " [0]"},           {kOsc1Control1, 33, "33 [33]"},
      {kOsc1DWGSWave, 2, "Wave3 [2]"},      {kOsc1DWGSWave, 3, " [3]"},
      // The ends of each range and the values either side of a centre.
      {kOsc2Tune, 0, "-64 [0]"},          {kOsc2Tune + 1, 127, "+63 [127]"},    {kOsc2Tune, 63, "-1 [63]"},
      {kOsc2Tune, 65, "+1 [65]"},         {kVPatchAmnt4 + 1, 128, " [128]"},    {kAmpKBDTrack + 1, 0, "-64 [0]"},
      {kVibratoInt, 127, "+63 [127]"},    {kSeq3Step16 + 1, 0, "-64 [0]"},      {kSeq3Step16, 127, "+63 [127]"},
      {kAmpPan, 63, "LEFT 1% [63]"},      {kAmpPan, 65, "RIGHT 1% [65]"},       {kAmpPan, 2, "LEFT 96% [2]"},
      {kAmpPan + 1, -1, " [-1]"},         {kArpTempo, 0, "20 BPM [0]"},         {kArpGate, 0, "0 % [0]"},
      {kArpGate, 1, "0 % [1]"},           {kArpSwing, 1, "-99% [1]"},           {kArpSwing, 99, "-1% [99]"},
      {kArpSwing, 101, "+1% [101]"},      {kArpSwing, 199, "+99% [199]"},       {kArpSwing, -1, " [-1]"},
      {kTimbreTune, 0, "-50[cent] [0]"},  {kTimbreTune + 1, 100, "+50[cent] [100]"}, {kTimbreTune, 49, "-1[cent] [49]"},
      {kTimbreTune, 51, "+1[cent] [51]"}, {kTimbreTranspose, 0, "-24 [0]"},     {kTimbreTranspose + 1, 48, "+24 [48]"},
      {kMasterTranspose, 12, "0 [12]"},   {kMasterTranspose, 24, "+12 [24]"},   {kMasterTranspose, 0, "-12 [0]"},
      {kEQLowGain, 24, "12 [24]"},        {kEQLowGain, 11, "-1 [11]"},          {kMultiPartMIDICh, 0, "1 [0]"},
      {kModSeqLastStep + 1, 0, "1 [0]"},  {kOsc2Semitone, 2, "- 24 [2]"},       {kOsc2Semitone, 3, "- 23 [3]"},
      {kOsc2Semitone, 62, "- 01 [62]"},   {kOsc2Semitone, 63, "+ 00 [63]"},     {kOsc2Semitone + 1, 65, "+ 00 [65]"},
      {kOsc2Semitone, 66, "+ 01 [66]"},   {kOsc2Semitone, 126, "+ 24 [126]"},   {kVoiceTrigger + 1, 0, "SINGLE [0]"},
      {kVoiceTrigger, 2, " [2]"},         {kMasterPosition, 1, "Pre TG [1]"},   {kMasterPosition, 2, " [2]"},
      {kAmpGateSw, 2, " [2]"},            {kEG2Reset + 1, 1, "ON [1]"},         {kOverrideTempo, 0, "OFF [0]"},
      {kGlobalPageJump, 1, "ON [1]"},     {kModSeqSwitch + 1, 1, "ON [1]"},     {kMIDIFilterProgramChange, 1, "ALLOWED [1]"},
      {kMIDIFilterProgramChange, 2, " [2]"}, {kModSeq1Value01, 5, "5"},         {kTimbreLED, 2, "2"},
      {kQuickTab, 0.5, "0"},              {kLayerLinker, 0.5, "0"},             {0, 127, "127"},
      {kFilterType, 2, "HP [2]"},         {kFilterType, 3, " [3]"},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE(std::to_string(c.id) + " at " + std::to_string(c.value));
    DisplayHost host;
    host.lists["filterType"] = {"LP24", "LP12", "HP"};
    host.lists["DWGSWaveform"] = {"Wave1", "Wave2", "Wave3"};
    host.values[c.id] = c.value;
    ControlDisplay().controlDisplay(&host, c.id, c.value, false);
    EXPECT_EQ(host.valueLine, c.valueLine);
  }
}

TEST(ValueDisplay, LinesOfTheSpecialParameters)
{
  DisplayHost host;
  ControlDisplay d;
  // A step writes its own value text too, the one text under its knob that both
  // timbres share: only for the timbre shown.
  host.timbre = 1;
  host.values[kSeq2Step3 + 1] = 64;
  d.controlDisplay(&host, kSeq2Step3 + 1, 64, false);
  EXPECT_EQ(host.steps[kModSeq2Value03], "0");
  EXPECT_EQ(host.valueLine, "0 [64]");
  host.timbre = 0;
  host.values[kSeq2Step3 + 1] = 74;
  d.controlDisplay(&host, kSeq2Step3 + 1, 74, false);
  EXPECT_EQ(host.steps[kModSeq2Value03], "0");
  EXPECT_EQ(host.valueLine, "+10 [74]");
  host.values[kSeq2Step3] = 44;
  d.controlDisplay(&host, kSeq2Step3, 44, false);
  EXPECT_EQ(host.steps[kModSeq2Value03], "-20");

  // DWGS without ports shows twice the value in the bracket.
  host.outSet = false;
  d.controlDisplay(&host, kOsc1DWGSWave, 21, false);
  EXPECT_EQ(host.valueLine, " [42]");

  // The OSC1 controls are named after the shown timbre's waveform, not the other
  // timbre's; a waveform without a name for the control, or outside 0..7, leaves
  // the parameter's own name.
  const char* const names[][2] = {{"Sawtooth Morph", "Sawtooth LFO1 Mod Depth"},
                                  {"Pulse Width", "Pulse Width LFO1 Mod"},
                                  {"Triangle Morph", "Triangle LFO1 WFM Depth"},
                                  {"Sin(Cross) X-MOD Depth", "Sin(Cross) X-MOD Depth Mod"},
                                  {"Vox Wave Morph", "Vox Wave LFO1 Mod Depth"},
                                  {"Not available in DWGS", nullptr},
                                  {"Noise LPF Curoff Freq", "Noise LPF Resonance"},
                                  {"Audio Input Morph 1<->2", "Audio Input LFO1 Mod 1<->2"},
                                  {nullptr, nullptr}};
  for (int timbre : {0, 1})
    for (int w = 0; w <= 8; ++w)
    {
      SCOPED_TRACE("timbre " + std::to_string(timbre) + ", waveform " + std::to_string(w));
      host.timbre = timbre;
      host.values[kOsc1Waveform + timbre] = w;
      host.values[kOsc1Waveform + 1 - timbre] = (w + 1) % 8;
      const int ids[2] = {kOsc1Control1 + timbre, kOsc1Control2 + timbre};
      for (int which : {0, 1})
      {
        d.controlDisplay(&host, ids[which], 127, false);
        EXPECT_EQ(host.nameLine, names[w][which] ? names[w][which] : "P" + std::to_string(ids[which]));
        EXPECT_EQ(host.valueLine, "127 [127]");
      }
    }
  host.timbre = 1;

  // Linking and the timbre tab write the timbre line; the value line stays.
  host.valueLine = "kept";
  host.values[kQuickTab] = 1;
  d.controlDisplay(&host, kLayerLinker, 0.0, false);
  EXPECT_EQ(host.timbreLine, "[TIMBRE 2]");
  d.controlDisplay(&host, kLayerLinker, 1.0, false);
  EXPECT_EQ(host.nameLine, "Timbres are Linked");
  EXPECT_EQ(host.timbreLine, "[LAYER]");
  d.controlDisplay(&host, kQuickTab, 0.0, false);
  EXPECT_EQ(host.nameLine, "Display Timbre 1 Parameters");
  EXPECT_EQ(host.timbreLine, "[TIMBRE 1]");
  EXPECT_EQ(host.valueLine, "kept");

  d.controlDisplay(&host, kReleaseAllLocks, 1.0, false);
  EXPECT_EQ(host.nameLine, "All Section Locks Released");
  d.controlDisplay(&host, kControlLibrary, 1.0, false);
  EXPECT_EQ(host.nameLine, "Send Data From Librarian");
  host.fresh = false;
  host.nameLine = "-";
  d.controlDisplay(&host, kControlLibrary, 1.0, false);
  EXPECT_EQ(host.nameLine, "-");
}

TEST(ValueDisplay, NothingIsWrittenWhenItMustNotBe)
{
  DisplayHost host;
  host.names[kFilterCutoff] = "[1] Cutoff";
  host.names[kFilterCutoff + 1] = "[2] Cutoff";
  host.names[kArpGate] = "Arp Gate";
  host.names[kAmpLevel] = "X";
  host.timbre = 1;
  ControlDisplay d;
  // While the host plays, only the shown timbre's parameters are displayed.
  for (int id : {(int)kFilterCutoff, (int)kArpGate, (int)kAmpLevel, (int)kNoiseLevel})
  {
    d.controlDisplay(&host, id, 5, true);
    EXPECT_EQ(host.nameLine, "-") << id;
  }
  d.controlDisplay(&host, kFilterCutoff + 1, 5, true);
  EXPECT_EQ(host.nameLine, "[2] Cutoff");
  host.nameLine = host.valueLine = "-";
  for (int id : {344, 396, 485, 495, 527, -5, (int)kNumParams})
  {
    d.controlDisplay(&host, id, 1, false);
    EXPECT_EQ(host.nameLine + host.valueLine, "--") << id;
  }
  // A parameter without a name (no control of its own) shows nothing.
  host.names[kRefreshFolders] = "";
  d.controlDisplay(&host, kRefreshFolders, 0, false);
  EXPECT_EQ(host.nameLine + host.valueLine, "--");
  host.ready = false;
  d.controlDisplay(&host, kFilterCutoff, 1, false);
  EXPECT_EQ(host.nameLine + host.valueLine, "--");
}

}  // namespace
