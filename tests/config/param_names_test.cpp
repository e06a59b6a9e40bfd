#include "ConsoleCapture.h"
#include "config/ParamIds.h"
#include "config/ParamNames.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct Named
{
  const char* name;
  int id;
};

// Every constant that must be reachable by its own spelling; the stringified
// constant guards against a name in the table drifting from the enum.
#define NAMED(constant) {#constant, constant}
const Named kAllNames[] = {
  NAMED(kLfo1Frequency), NAMED(kLfo2Frequency), NAMED(kOsc1Control1), NAMED(kOsc1Control2),
  NAMED(kOsc2OscMod), NAMED(kOsc2Semitone), NAMED(kOsc2Tune), NAMED(kOsc1Level),
  NAMED(kOsc2Level), NAMED(kNoiseLevel), NAMED(kPortamento), NAMED(kDetune),
  NAMED(kFilterCutoff), NAMED(kFilterResonance), NAMED(kFilterType), NAMED(kFilterEGIntensity),
  NAMED(kFilterVeloSense), NAMED(kFilterKBDTrack), NAMED(kEG1Attack), NAMED(kEG1Decay),
  NAMED(kEG1Sustain), NAMED(kEG1Release), NAMED(kAmpLevel), NAMED(kAmpPan), NAMED(kAmpGateSw),
  NAMED(kAmpDistSw), NAMED(kAmpVeloSense), NAMED(kAmpKBDTrack), NAMED(kEG2Attack),
  NAMED(kEG2Decay), NAMED(kEG2Sustain), NAMED(kEG2Release), NAMED(kModFxType),
  NAMED(kModFxSpeed), NAMED(kModFxDepth), NAMED(kDelayFxType), NAMED(kDelayFxTempoSync),
  NAMED(kDelayFxTime), NAMED(kDelayFxSyncNote), NAMED(kDelayFxDepth), NAMED(kEQLowFreq),
  NAMED(kEQLowGain), NAMED(kEQHiFreq), NAMED(kEQHiGain), NAMED(kOsc1DWGSWave),
  NAMED(kVibratoInt), NAMED(kVPatchAmnt1), NAMED(kVPatchAmnt2), NAMED(kVPatchAmnt3),
  NAMED(kVPatchAmnt4), NAMED(kArpTempo), NAMED(kArpGate), NAMED(kArpSwing), NAMED(kArpOnOff),
  NAMED(kArpReso), NAMED(kArpLatch), NAMED(kArpRange), NAMED(kArpType), NAMED(kArpKeySync),
  NAMED(kArpTarget), NAMED(kNumAutomatedParams), NAMED(kPatchFileDialog), NAMED(kLfo1Waveform),
  NAMED(kLfo1KeySync), NAMED(kLfo1TempoSync), NAMED(kLfo1SyncNote), NAMED(kLfo2Waveform),
  NAMED(kLfo2KeySync), NAMED(kLfo2TempoSync), NAMED(kLfo2SyncNote), NAMED(kOsc1Waveform),
  NAMED(kOsc2Waveform), NAMED(kVoiceAssign), NAMED(kMultiPartMIDICh), NAMED(kVoicePriority),
  NAMED(kVoiceTrigger), NAMED(kEG1Reset), NAMED(kEG2Reset), NAMED(kVPatchSrc1),
  NAMED(kVPatchSrc2), NAMED(kVPatchSrc3), NAMED(kVPatchSrc4), NAMED(kVPatchDest1),
  NAMED(kVPatchDest2), NAMED(kVPatchDest3), NAMED(kVPatchDest4), NAMED(kSeq1Step1),
  NAMED(kSeq1Step2), NAMED(kSeq1Step3), NAMED(kSeq1Step4), NAMED(kSeq1Step5), NAMED(kSeq1Step6),
  NAMED(kSeq1Step7), NAMED(kSeq1Step8), NAMED(kSeq1Step9), NAMED(kSeq1Step10),
  NAMED(kSeq1Step11), NAMED(kSeq1Step12), NAMED(kSeq1Step13), NAMED(kSeq1Step14),
  NAMED(kSeq1Step15), NAMED(kSeq1Step16), NAMED(kSeq2Step1), NAMED(kSeq2Step2),
  NAMED(kSeq2Step3), NAMED(kSeq2Step4), NAMED(kSeq2Step5), NAMED(kSeq2Step6), NAMED(kSeq2Step7),
  NAMED(kSeq2Step8), NAMED(kSeq2Step9), NAMED(kSeq2Step10), NAMED(kSeq2Step11),
  NAMED(kSeq2Step12), NAMED(kSeq2Step13), NAMED(kSeq2Step14), NAMED(kSeq2Step15),
  NAMED(kSeq2Step16), NAMED(kSeq3Step1), NAMED(kSeq3Step2), NAMED(kSeq3Step3), NAMED(kSeq3Step4),
  NAMED(kSeq3Step5), NAMED(kSeq3Step6), NAMED(kSeq3Step7), NAMED(kSeq3Step8), NAMED(kSeq3Step9),
  NAMED(kSeq3Step10), NAMED(kSeq3Step11), NAMED(kSeq3Step12), NAMED(kSeq3Step13),
  NAMED(kSeq3Step14), NAMED(kSeq3Step15), NAMED(kSeq3Step16), NAMED(kModSeqSwitch),
  NAMED(kModSeqType), NAMED(kModSeqLastStep), NAMED(kModSeqKeySync), NAMED(kModSeqRunMode),
  NAMED(kModSeqResolution), NAMED(kSeq1Knob), NAMED(kSeq1Motion), NAMED(kSeq2Knob),
  NAMED(kSeq2Motion), NAMED(kSeq3Knob), NAMED(kSeq3Motion), NAMED(kModSeq1Value01),
  NAMED(kModSeq1Value02), NAMED(kModSeq1Value03), NAMED(kModSeq1Value04), NAMED(kModSeq1Value05),
  NAMED(kModSeq1Value06), NAMED(kModSeq1Value07), NAMED(kModSeq1Value08), NAMED(kModSeq1Value09),
  NAMED(kModSeq1Value10), NAMED(kModSeq1Value11), NAMED(kModSeq1Value12), NAMED(kModSeq1Value13),
  NAMED(kModSeq1Value14), NAMED(kModSeq1Value15), NAMED(kModSeq1Value16), NAMED(kModSeq2Value01),
  NAMED(kModSeq2Value02), NAMED(kModSeq2Value03), NAMED(kModSeq2Value04), NAMED(kModSeq2Value05),
  NAMED(kModSeq2Value06), NAMED(kModSeq2Value07), NAMED(kModSeq2Value08), NAMED(kModSeq2Value09),
  NAMED(kModSeq2Value10), NAMED(kModSeq2Value11), NAMED(kModSeq2Value12), NAMED(kModSeq2Value13),
  NAMED(kModSeq2Value14), NAMED(kModSeq2Value15), NAMED(kModSeq2Value16), NAMED(kModSeq3Value01),
  NAMED(kModSeq3Value02), NAMED(kModSeq3Value03), NAMED(kModSeq3Value04), NAMED(kModSeq3Value05),
  NAMED(kModSeq3Value06), NAMED(kModSeq3Value07), NAMED(kModSeq3Value08), NAMED(kModSeq3Value09),
  NAMED(kModSeq3Value10), NAMED(kModSeq3Value11), NAMED(kModSeq3Value12), NAMED(kModSeq3Value13),
  NAMED(kModSeq3Value14), NAMED(kModSeq3Value15), NAMED(kModSeq3Value16), NAMED(kTimbreTune),
  NAMED(kTimbreBendRange), NAMED(kTimbreTranspose), NAMED(kOverrideTempo), NAMED(kMasterTune),
  NAMED(kMasterTranspose), NAMED(kMasterVelocityArea), NAMED(kMasterVelocityValue),
  NAMED(kMasterPosition), NAMED(kGlobalMidiChannel), NAMED(kGlobalLocalControl),
  NAMED(kGlobalClockSource), NAMED(kGlobalPageMemory), NAMED(kGlobalPageJump),
  NAMED(kGlobalMIDI1Ctrl), NAMED(kGlobalMIDI2Ctrl), NAMED(kMIDIFilterProgramChange),
  NAMED(kMIDIFilterControlChange), NAMED(kMIDIFilterPitchBend), NAMED(kMIDIFilterSysEx),
  NAMED(kMIDIFilterWriteProtect), NAMED(kPluginMidiIn), NAMED(kLockPartMIDIch),
  NAMED(kBankSelection), NAMED(kPatchSelection), NAMED(kPatchName), NAMED(kPatchNameView),
  NAMED(kCommonMode), NAMED(kCommonVoices), NAMED(kCommonSplitPoint), NAMED(kRefreshFolders),
  NAMED(kLibSyncTimer), NAMED(kPartLock), NAMED(kSectionLockOsc1), NAMED(kSectionLockOsc2),
  NAMED(kSectionLockMixer), NAMED(kSectionLockVoice), NAMED(kSectionLockFilter),
  NAMED(kSectionLockEg1), NAMED(kSectionLockEg2), NAMED(kSectionLockAmp),
  NAMED(kSectionLockLFO1), NAMED(kSectionLockLFO2), NAMED(kSectionLockUnisono),
  NAMED(kSectionLockPitchMod), NAMED(kSectionLockVP1), NAMED(kSectionLockVP2),
  NAMED(kSectionLockVP3), NAMED(kSectionLockVP4), NAMED(kSectionLocSeq1Lock),
  NAMED(kSectionLocSeq2Lock), NAMED(kSectionLocSeq3Lock), NAMED(kSectionLockFXChorus),
  NAMED(kSectionLockFXDelay), NAMED(kSectionLockFXEQ), NAMED(kSectionLockArp),
  NAMED(kSectionLockGlobal), NAMED(kPatchRename), NAMED(kLayerLinker), NAMED(kMIDILed),
  NAMED(kMIDIFilterDAWCCPassThrough), NAMED(kMIDIFilterDAWPCPassThrough),
  NAMED(kMIDIFilterDAWNotePassThrough), NAMED(kMIDIFilterDAWPPPassThrough),
  NAMED(kMIDIFilterDAWPAPassThrough), NAMED(kMIDIFilterDAWCAPassThrough),
  NAMED(kMIDIFilterDAWSEPassThrough), NAMED(kMIDIFilterHWCCPassThrough),
  NAMED(kMIDIFilterHWPCPassThrough), NAMED(kMIDIFilterHWNotePassThrough),
  NAMED(kMIDIFilterHWPPPassThrough), NAMED(kMIDIFilterHWPAPassThrough),
  NAMED(kMIDIFilterHWCAPassThrough), NAMED(kMIDIFilterHWSEPassThrough),
  NAMED(kMIDIFilterTrackIncomingMIDI), NAMED(kMIDIFilterDirectToHardware),
  NAMED(kMIDIFilterToDAWBuffer), NAMED(kSendMIDIClockPointer), NAMED(kSendMIDIClockInfo),
  NAMED(kLibUpperNextBank), NAMED(kLibUpperPreviousBank), NAMED(kLibLowerNextBank),
  NAMED(kLibLowerPreviousBank), NAMED(kBankEditUnsaved), NAMED(kCurrentOpenPatternBankL),
  NAMED(kCurrentOpenPatchBankL), NAMED(kCurrentOpenPerfBankL), NAMED(kCurrentOpenPatternBankR),
  NAMED(kCurrentOpenPatchBankR), NAMED(kCurrentOpenPerfBankR), NAMED(kAdjustDAWOffset),
  NAMED(kMasterKeyboard), NAMED(kDummyParam01), NAMED(kDummyParam02), NAMED(kDummyParam03),
  NAMED(kDummyParam04), NAMED(kDummyParam05), NAMED(kDummyParam06), NAMED(kDummyParam07),
  NAMED(kDummyParam08), NAMED(kDummyParam09), NAMED(kDummyParam10), NAMED(kDummyParam11),
  NAMED(kDummyParam12), NAMED(kDummyParam13), NAMED(kDummyParam14), NAMED(kDummyParam15),
  NAMED(kDummyParam16), NAMED(kDummyParam17), NAMED(kDummyParam18), NAMED(kDummyParam19),
  NAMED(kDummyParam20), NAMED(kDummyParam21), NAMED(kDummyParam22), NAMED(kDummyParam23),
  NAMED(kDummyParam24), NAMED(kDummyParam25), NAMED(kDummyParam26), NAMED(kDummyParam27),
  NAMED(kDummyParam28), NAMED(kDummyParam29), NAMED(kDummyParam30), NAMED(kDummyParam31),
  NAMED(kDummyParam32), NAMED(kDummyParam33), NAMED(kDummyParam34), NAMED(kDummyParam35),
  NAMED(kDummyParam36), NAMED(kDummyParam37), NAMED(kDummyParam38), NAMED(kDummyParam39),
  NAMED(kDummyParam40), NAMED(kReleaseAllLocks), NAMED(kOverwriteBank),
  NAMED(kUserInterfaceSize), NAMED(kUserInterfaceStyle), NAMED(kPatchSearchString),
  NAMED(kPatchSearch), NAMED(kViewMIDIFilterSettings), NAMED(kDisplayAboutWindow),
  NAMED(kFirstRunExit), NAMED(kRandomize), NAMED(kDatatype2), NAMED(kCategorySelection),
  NAMED(kPatternMode), NAMED(kTimbreSelectTrigger), NAMED(kDeviceOutSelection),
  NAMED(kDeviceInSelection), NAMED(kDataType), NAMED(kKeepSelectedBank),
  NAMED(kUserInterfaceSkin), NAMED(kStorePatchToLib), NAMED(kPatchUp), NAMED(kPatchDown),
  NAMED(kControlLibrary), NAMED(kControlDisplayName), NAMED(kControlDisplayValue),
  NAMED(kControlDisplayCC), NAMED(kControlDisplayTimbre), NAMED(kControlDisplayPatch),
  NAMED(kShowModSequence), NAMED(kShowLibrarian), NAMED(kReadFromTimbre1),
  NAMED(kReadFromTimbre2), NAMED(kLoadToTimbre1), NAMED(kLoadToTimbre2), NAMED(kImportDvData),
  NAMED(kPushArrangement), NAMED(kCurrentBank), NAMED(kCurrentPatch), NAMED(kRequestFromBank),
  NAMED(kDiscardBankData), NAMED(kControlDisplayMIDIOutDelay), NAMED(kControlDisplayCategory),
  NAMED(kControlDisplayBuild), NAMED(kExitAboutWindow), NAMED(kModWheel),
  NAMED(kPatchSelectionListUpper), NAMED(kPatchSelectionListLower), NAMED(kBreathControl),
  NAMED(kRequestTempData), NAMED(kDataSlider), NAMED(kQuickTab), NAMED(kGlobalSettings),
  NAMED(kLibrarianArea), NAMED(kTimbreLED),
};
#undef NAMED

class ParamNamesTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    table.initParams();
    table.setLogSink([this](const std::string& line) { lines.push_back(line); });
  }

  ParamNameTable table;
  std::vector<std::string> lines;
};

TEST_F(ParamNamesTest, EveryNameMapsToItsConstant)
{
  ASSERT_EQ(sizeof(kAllNames) / sizeof(kAllNames[0]), 380u);
  std::set<std::string> seen;
  for (const Named& n : kAllNames)
  {
    EXPECT_TRUE(seen.insert(n.name).second) << "listed twice: " << n.name;
    EXPECT_EQ(table.getParamByName(n.name), n.id) << n.name;
  }
  // 380 distinct names all found in a table of 380: the table holds no others.
  EXPECT_EQ(table.size(), 380);
  EXPECT_TRUE(lines.empty());
}

TEST_F(ParamNamesTest, IdsOnWhichOtherCodeReliesByNumber)
{
  const Named cases[] = {
      {"kNumAutomatedParams", 98}, {"kPatchFileDialog", 98},  {"kMultiPartMIDICh", 121},
      {"kGlobalMidiChannel", 327}, {"kLibSyncTimer", 350},    {"kLayerLinker", 397},
      {"kMIDILed", 398},           {"kDeviceOutSelection", 486}, {"kDeviceInSelection", 487},
      {"kImportDvData", 507},      {"kPatchSelectionListUpper", 519},
      {"kPatchSelectionListLower", 520}, {"kQuickTab", 525}, {"kTimbreLED", 528},
      {"kFilterCutoff", 24},       {"kSectionLocSeq1Lock", 385}, {"kCommonMode", 346},
  };
  for (const Named& c : cases) EXPECT_EQ(table.getParamByName(c.name), c.id) << c.name;
  EXPECT_EQ(kCancelDataRequest, 518);
  EXPECT_EQ(kMainPage, 524);
  EXPECT_EQ(kMainTab, 524);
  EXPECT_EQ(kNumParams, 529);
}

TEST_F(ParamNamesTest, NumberedSeriesFollowTheirRule)
{
  const Named cases[] = {
      // kSeq<s>Step<k> = 147 + 32 (s - 1) + 2 (k - 1)
      {"kSeq1Step1", 147}, {"kSeq1Step16", 177}, {"kSeq2Step1", 179}, {"kSeq2Step8", 193},
      {"kSeq3Step16", 241},
      // kModSeq<s>Value<kk> = 267 + 16 (s - 1) + (kk - 1)
      {"kModSeq1Value01", 267}, {"kModSeq1Value16", 282}, {"kModSeq2Value01", 283},
      {"kModSeq2Value08", 290}, {"kModSeq3Value16", 314},
      // kDummyParam<nn> = 431 + nn
      {"kDummyParam01", 432}, {"kDummyParam20", 451}, {"kDummyParam40", 471},
      // Just outside each series.
      {"kSeq0Step1", -1}, {"kSeq4Step1", -1}, {"kSeq1Step0", -1}, {"kSeq1Step17", -1},
      {"kModSeq4Value01", -1}, {"kModSeq1Value00", -1}, {"kModSeq1Value17", -1},
      {"kDummyParam00", -1}, {"kDummyParam41", -1},
  };
  for (const Named& c : cases) EXPECT_EQ(table.getParamByName(c.name), c.id) << c.name;
}

TEST_F(ParamNamesTest, NamesAreExactByteStrings)
{
  const Named cases[] = {
      {"kFilterCutoff", 24},
      {"kfiltercutoff", -1},
      {"KFILTERCUTOFF", -1},
      {" kFilterCutoff", -1},
      {"kFilterCutoff ", -1},
      {"kFilterCutoff\n", -1},
      {"kSectionLocSeq1Lock", 385},
      {"kSectionLockSeq1Lock", -1},
      {"kSeq3Step16", 241},
      {"kSeq1Step01", -1},
      {"kModSeq1Value1", -1},
      {"", -1},
      // Ids without a name in the table are not reachable by their constant's spelling.
      {"kCancelDataRequest", -1},
      {"kMainPage", -1},
      {"kMainTab", -1},
      {"kNumParams", -1},
  };
  for (const Named& c : cases) EXPECT_EQ(table.getParamByName(c.name), c.id) << '"' << c.name << '"';
  const std::string withZero("kFilterCutoff\0x", 15);
  EXPECT_EQ(table.getParamByName(withZero), -1);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "CONFIG READER: parameter " + withZero + " NOT FOUND!");
}

TEST_F(ParamNamesTest, UnknownNameIsLoggedAndNotInserted)
{
  EXPECT_EQ(table.getParamByName("kNoSuchParam"), -1);
  EXPECT_EQ(table.getParamByName("kNoSuchParam"), -1);
  EXPECT_EQ(table.getParamByName("k%s%n"), -1);
  const std::vector<std::string> expected = {
      "CONFIG READER: parameter kNoSuchParam NOT FOUND!",
      "CONFIG READER: parameter kNoSuchParam NOT FOUND!",
      "CONFIG READER: parameter k%s%n NOT FOUND!",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(table.size(), 380);
}

TEST_F(ParamNamesTest, SecondRegistrationKeepsTheFirstId)
{
  table.mapParamToString("kFilterCutoff", 30);
  EXPECT_EQ(table.getParamByName("kFilterCutoff"), 24);
  const std::vector<std::string> expected = {"CONFIG READER: parameter kFilterCutoff ALREADY EXISTS!"};
  EXPECT_EQ(lines, expected);

  table.mapParamToString("kAddedLater", 7);
  EXPECT_EQ(table.getParamByName("kAddedLater"), 7);
  EXPECT_EQ(table.size(), 381);
  EXPECT_EQ(lines.size(), 1u);
}

TEST(ParamNames, InitParamsLogsStartAndEndOnly)
{
  ParamNameTable table;
  std::vector<std::string> lines;
  table.setLogSink([&](const std::string& line) { lines.push_back(line); });
  EXPECT_EQ(table.getParamByName("kFilterCutoff"), -1);  // empty until filled
  lines.clear();
  table.initParams();
  const std::vector<std::string> expected = {
      "CONFIG READER: Started to initialize parameters...",
      "CONFIG READER: Completed!",
  };
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(table.size(), 380);
}

TEST(ParamNames, WritesNothingToTheConsole)
{
  // Without a sink the log is disabled; with one, lines go only to the sink.
  for (bool withSink : {false, true})
  {
    ParamNameTable table;
    int sunk = 0;
    if (withSink) table.setLogSink([&](const std::string&) { ++sunk; });
    CaptureConsole();
    testing::internal::CaptureStderr();
    table.initParams();
    table.mapParamToString("kFilterCutoff", 30);
    EXPECT_EQ(table.getParamByName("kNoSuchParam"), -1);
    EXPECT_EQ(CapturedConsole(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(sunk, withSink ? 4 : 0);
  }
}

// Named ids, timbre-2 members and the few ids no name reaches together cover
// 0..528 exactly once.
TEST_F(ParamNamesTest, IdsAreDenseAndNoNameReachesAnUnnamedId)
{
  std::set<int> unnamed = {341, 399, 498, 518, 524, 316, 318, 320};
  for (int id = 1; id < 64; id += 2) unnamed.insert(id);
  for (int id = 77; id < 88; id += 2) unnamed.insert(id);
  for (int id = 100; id <= 266; id += 2) unnamed.insert(id);
  for (int id = 352; id <= 390; id += 2) unnamed.insert(id);

  // The list is in the order of the ids as documented, so a constant that
  // swapped its number with a neighbour's shows up here.
  std::set<int> named;
  int previous = -1;
  for (const Named& n : kAllNames)
  {
    EXPECT_TRUE(n.id > previous || (n.id == 98 && previous == 98)) << n.name;
    previous = n.id;
    EXPECT_GE(n.id, 0) << n.name;
    EXPECT_LT(n.id, kNumParams) << n.name;
    EXPECT_EQ(unnamed.count(n.id), 0u) << n.name << " = " << n.id;
    named.insert(n.id);
  }
  EXPECT_EQ(named.size(), 379u);  // kNumAutomatedParams shares 98 with kPatchFileDialog
  EXPECT_EQ(named.size() + unnamed.size(), (size_t)kNumParams);
  for (int id = 0; id < kNumParams; ++id)
    EXPECT_EQ(named.count(id) + unnamed.count(id), 1u) << id;
}

}  // namespace
