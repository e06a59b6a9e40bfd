#include "config/ParamNames.h"

#include "config/ParamIds.h"

#include <cstdio>

namespace {

void log(const ParamNameTable::LogSink& sink, const std::string& line)
{
  if (sink) sink(line);
}

struct NamedParam
{
  const char* name;
  int id;
};

// Every name but the three numbered series, in id order.
const NamedParam builtInNames[] = {
  {"kLfo1Frequency", kLfo1Frequency},
  {"kLfo2Frequency", kLfo2Frequency},
  {"kOsc1Control1", kOsc1Control1},
  {"kOsc1Control2", kOsc1Control2},
  {"kOsc2OscMod", kOsc2OscMod},
  {"kOsc2Semitone", kOsc2Semitone},
  {"kOsc2Tune", kOsc2Tune},
  {"kOsc1Level", kOsc1Level},
  {"kOsc2Level", kOsc2Level},
  {"kNoiseLevel", kNoiseLevel},
  {"kPortamento", kPortamento},
  {"kDetune", kDetune},
  {"kFilterCutoff", kFilterCutoff},
  {"kFilterResonance", kFilterResonance},
  {"kFilterType", kFilterType},
  {"kFilterEGIntensity", kFilterEGIntensity},
  {"kFilterVeloSense", kFilterVeloSense},
  {"kFilterKBDTrack", kFilterKBDTrack},
  {"kEG1Attack", kEG1Attack},
  {"kEG1Decay", kEG1Decay},
  {"kEG1Sustain", kEG1Sustain},
  {"kEG1Release", kEG1Release},
  {"kAmpLevel", kAmpLevel},
  {"kAmpPan", kAmpPan},
  {"kAmpGateSw", kAmpGateSw},
  {"kAmpDistSw", kAmpDistSw},
  {"kAmpVeloSense", kAmpVeloSense},
  {"kAmpKBDTrack", kAmpKBDTrack},
  {"kEG2Attack", kEG2Attack},
  {"kEG2Decay", kEG2Decay},
  {"kEG2Sustain", kEG2Sustain},
  {"kEG2Release", kEG2Release},
  {"kModFxType", kModFxType},
  {"kModFxSpeed", kModFxSpeed},
  {"kModFxDepth", kModFxDepth},
  {"kDelayFxType", kDelayFxType},
  {"kDelayFxTempoSync", kDelayFxTempoSync},
  {"kDelayFxTime", kDelayFxTime},
  {"kDelayFxSyncNote", kDelayFxSyncNote},
  {"kDelayFxDepth", kDelayFxDepth},
  {"kEQLowFreq", kEQLowFreq},
  {"kEQLowGain", kEQLowGain},
  {"kEQHiFreq", kEQHiFreq},
  {"kEQHiGain", kEQHiGain},
  {"kOsc1DWGSWave", kOsc1DWGSWave},
  {"kVibratoInt", kVibratoInt},
  {"kVPatchAmnt1", kVPatchAmnt1},
  {"kVPatchAmnt2", kVPatchAmnt2},
  {"kVPatchAmnt3", kVPatchAmnt3},
  {"kVPatchAmnt4", kVPatchAmnt4},
  {"kArpTempo", kArpTempo},
  {"kArpGate", kArpGate},
  {"kArpSwing", kArpSwing},
  {"kArpOnOff", kArpOnOff},
  {"kArpReso", kArpReso},
  {"kArpLatch", kArpLatch},
  {"kArpRange", kArpRange},
  {"kArpType", kArpType},
  {"kArpKeySync", kArpKeySync},
  {"kArpTarget", kArpTarget},
  {"kNumAutomatedParams", kNumAutomatedParams},
  {"kPatchFileDialog", kPatchFileDialog},
  {"kLfo1Waveform", kLfo1Waveform},
  {"kLfo1KeySync", kLfo1KeySync},
  {"kLfo1TempoSync", kLfo1TempoSync},
  {"kLfo1SyncNote", kLfo1SyncNote},
  {"kLfo2Waveform", kLfo2Waveform},
  {"kLfo2KeySync", kLfo2KeySync},
  {"kLfo2TempoSync", kLfo2TempoSync},
  {"kLfo2SyncNote", kLfo2SyncNote},
  {"kOsc1Waveform", kOsc1Waveform},
  {"kOsc2Waveform", kOsc2Waveform},
  {"kVoiceAssign", kVoiceAssign},
  {"kMultiPartMIDICh", kMultiPartMIDICh},
  {"kVoicePriority", kVoicePriority},
  {"kVoiceTrigger", kVoiceTrigger},
  {"kEG1Reset", kEG1Reset},
  {"kEG2Reset", kEG2Reset},
  {"kVPatchSrc1", kVPatchSrc1},
  {"kVPatchSrc2", kVPatchSrc2},
  {"kVPatchSrc3", kVPatchSrc3},
  {"kVPatchSrc4", kVPatchSrc4},
  {"kVPatchDest1", kVPatchDest1},
  {"kVPatchDest2", kVPatchDest2},
  {"kVPatchDest3", kVPatchDest3},
  {"kVPatchDest4", kVPatchDest4},
  {"kModSeqSwitch", kModSeqSwitch},
  {"kModSeqType", kModSeqType},
  {"kModSeqLastStep", kModSeqLastStep},
  {"kModSeqKeySync", kModSeqKeySync},
  {"kModSeqRunMode", kModSeqRunMode},
  {"kModSeqResolution", kModSeqResolution},
  {"kSeq1Knob", kSeq1Knob},
  {"kSeq1Motion", kSeq1Motion},
  {"kSeq2Knob", kSeq2Knob},
  {"kSeq2Motion", kSeq2Motion},
  {"kSeq3Knob", kSeq3Knob},
  {"kSeq3Motion", kSeq3Motion},
  {"kTimbreTune", kTimbreTune},
  {"kTimbreBendRange", kTimbreBendRange},
  {"kTimbreTranspose", kTimbreTranspose},
  {"kOverrideTempo", kOverrideTempo},
  {"kMasterTune", kMasterTune},
  {"kMasterTranspose", kMasterTranspose},
  {"kMasterVelocityArea", kMasterVelocityArea},
  {"kMasterVelocityValue", kMasterVelocityValue},
  {"kMasterPosition", kMasterPosition},
  {"kGlobalMidiChannel", kGlobalMidiChannel},
  {"kGlobalLocalControl", kGlobalLocalControl},
  {"kGlobalClockSource", kGlobalClockSource},
  {"kGlobalPageMemory", kGlobalPageMemory},
  {"kGlobalPageJump", kGlobalPageJump},
  {"kGlobalMIDI1Ctrl", kGlobalMIDI1Ctrl},
  {"kGlobalMIDI2Ctrl", kGlobalMIDI2Ctrl},
  {"kMIDIFilterProgramChange", kMIDIFilterProgramChange},
  {"kMIDIFilterControlChange", kMIDIFilterControlChange},
  {"kMIDIFilterPitchBend", kMIDIFilterPitchBend},
  {"kMIDIFilterSysEx", kMIDIFilterSysEx},
  {"kMIDIFilterWriteProtect", kMIDIFilterWriteProtect},
  {"kPluginMidiIn", kPluginMidiIn},
  {"kLockPartMIDIch", kLockPartMIDIch},
  {"kBankSelection", kBankSelection},
  {"kPatchSelection", kPatchSelection},
  {"kPatchName", kPatchName},
  {"kPatchNameView", kPatchNameView},
  {"kCommonMode", kCommonMode},
  {"kCommonVoices", kCommonVoices},
  {"kCommonSplitPoint", kCommonSplitPoint},
  {"kRefreshFolders", kRefreshFolders},
  {"kLibSyncTimer", kLibSyncTimer},
  {"kPartLock", kPartLock},
  {"kSectionLockOsc1", kSectionLockOsc1},
  {"kSectionLockOsc2", kSectionLockOsc2},
  {"kSectionLockMixer", kSectionLockMixer},
  {"kSectionLockVoice", kSectionLockVoice},
  {"kSectionLockFilter", kSectionLockFilter},
  {"kSectionLockEg1", kSectionLockEg1},
  {"kSectionLockEg2", kSectionLockEg2},
  {"kSectionLockAmp", kSectionLockAmp},
  {"kSectionLockLFO1", kSectionLockLFO1},
  {"kSectionLockLFO2", kSectionLockLFO2},
  {"kSectionLockUnisono", kSectionLockUnisono},
  {"kSectionLockPitchMod", kSectionLockPitchMod},
  {"kSectionLockVP1", kSectionLockVP1},
  {"kSectionLockVP2", kSectionLockVP2},
  {"kSectionLockVP3", kSectionLockVP3},
  {"kSectionLockVP4", kSectionLockVP4},
  {"kSectionLocSeq1Lock", kSectionLocSeq1Lock},
  {"kSectionLocSeq2Lock", kSectionLocSeq2Lock},
  {"kSectionLocSeq3Lock", kSectionLocSeq3Lock},
  {"kSectionLockFXChorus", kSectionLockFXChorus},
  {"kSectionLockFXDelay", kSectionLockFXDelay},
  {"kSectionLockFXEQ", kSectionLockFXEQ},
  {"kSectionLockArp", kSectionLockArp},
  {"kSectionLockGlobal", kSectionLockGlobal},
  {"kPatchRename", kPatchRename},
  {"kLayerLinker", kLayerLinker},
  {"kMIDILed", kMIDILed},
  {"kMIDIFilterDAWCCPassThrough", kMIDIFilterDAWCCPassThrough},
  {"kMIDIFilterDAWPCPassThrough", kMIDIFilterDAWPCPassThrough},
  {"kMIDIFilterDAWNotePassThrough", kMIDIFilterDAWNotePassThrough},
  {"kMIDIFilterDAWPPPassThrough", kMIDIFilterDAWPPPassThrough},
  {"kMIDIFilterDAWPAPassThrough", kMIDIFilterDAWPAPassThrough},
  {"kMIDIFilterDAWCAPassThrough", kMIDIFilterDAWCAPassThrough},
  {"kMIDIFilterDAWSEPassThrough", kMIDIFilterDAWSEPassThrough},
  {"kMIDIFilterHWCCPassThrough", kMIDIFilterHWCCPassThrough},
  {"kMIDIFilterHWPCPassThrough", kMIDIFilterHWPCPassThrough},
  {"kMIDIFilterHWNotePassThrough", kMIDIFilterHWNotePassThrough},
  {"kMIDIFilterHWPPPassThrough", kMIDIFilterHWPPPassThrough},
  {"kMIDIFilterHWPAPassThrough", kMIDIFilterHWPAPassThrough},
  {"kMIDIFilterHWCAPassThrough", kMIDIFilterHWCAPassThrough},
  {"kMIDIFilterHWSEPassThrough", kMIDIFilterHWSEPassThrough},
  {"kMIDIFilterTrackIncomingMIDI", kMIDIFilterTrackIncomingMIDI},
  {"kMIDIFilterDirectToHardware", kMIDIFilterDirectToHardware},
  {"kMIDIFilterToDAWBuffer", kMIDIFilterToDAWBuffer},
  {"kSendMIDIClockPointer", kSendMIDIClockPointer},
  {"kSendMIDIClockInfo", kSendMIDIClockInfo},
  {"kLibUpperNextBank", kLibUpperNextBank},
  {"kLibUpperPreviousBank", kLibUpperPreviousBank},
  {"kLibLowerNextBank", kLibLowerNextBank},
  {"kLibLowerPreviousBank", kLibLowerPreviousBank},
  {"kBankEditUnsaved", kBankEditUnsaved},
  {"kCurrentOpenPatternBankL", kCurrentOpenPatternBankL},
  {"kCurrentOpenPatchBankL", kCurrentOpenPatchBankL},
  {"kCurrentOpenPerfBankL", kCurrentOpenPerfBankL},
  {"kCurrentOpenPatternBankR", kCurrentOpenPatternBankR},
  {"kCurrentOpenPatchBankR", kCurrentOpenPatchBankR},
  {"kCurrentOpenPerfBankR", kCurrentOpenPerfBankR},
  {"kAdjustDAWOffset", kAdjustDAWOffset},
  {"kMasterKeyboard", kMasterKeyboard},
  {"kReleaseAllLocks", kReleaseAllLocks},
  {"kOverwriteBank", kOverwriteBank},
  {"kUserInterfaceSize", kUserInterfaceSize},
  {"kUserInterfaceStyle", kUserInterfaceStyle},
  {"kPatchSearchString", kPatchSearchString},
  {"kPatchSearch", kPatchSearch},
  {"kViewMIDIFilterSettings", kViewMIDIFilterSettings},
  {"kDisplayAboutWindow", kDisplayAboutWindow},
  {"kFirstRunExit", kFirstRunExit},
  {"kRandomize", kRandomize},
  {"kDatatype2", kDatatype2},
  {"kCategorySelection", kCategorySelection},
  {"kPatternMode", kPatternMode},
  {"kTimbreSelectTrigger", kTimbreSelectTrigger},
  {"kDeviceOutSelection", kDeviceOutSelection},
  {"kDeviceInSelection", kDeviceInSelection},
  {"kDataType", kDataType},
  {"kKeepSelectedBank", kKeepSelectedBank},
  {"kUserInterfaceSkin", kUserInterfaceSkin},
  {"kStorePatchToLib", kStorePatchToLib},
  {"kPatchUp", kPatchUp},
  {"kPatchDown", kPatchDown},
  {"kControlLibrary", kControlLibrary},
  {"kControlDisplayName", kControlDisplayName},
  {"kControlDisplayValue", kControlDisplayValue},
  {"kControlDisplayCC", kControlDisplayCC},
  {"kControlDisplayTimbre", kControlDisplayTimbre},
  {"kControlDisplayPatch", kControlDisplayPatch},
  {"kShowModSequence", kShowModSequence},
  {"kShowLibrarian", kShowLibrarian},
  {"kReadFromTimbre1", kReadFromTimbre1},
  {"kReadFromTimbre2", kReadFromTimbre2},
  {"kLoadToTimbre1", kLoadToTimbre1},
  {"kLoadToTimbre2", kLoadToTimbre2},
  {"kImportDvData", kImportDvData},
  {"kPushArrangement", kPushArrangement},
  {"kCurrentBank", kCurrentBank},
  {"kCurrentPatch", kCurrentPatch},
  {"kRequestFromBank", kRequestFromBank},
  {"kDiscardBankData", kDiscardBankData},
  {"kControlDisplayMIDIOutDelay", kControlDisplayMIDIOutDelay},
  {"kControlDisplayCategory", kControlDisplayCategory},
  {"kControlDisplayBuild", kControlDisplayBuild},
  {"kExitAboutWindow", kExitAboutWindow},
  {"kModWheel", kModWheel},
  {"kPatchSelectionListUpper", kPatchSelectionListUpper},
  {"kPatchSelectionListLower", kPatchSelectionListLower},
  {"kBreathControl", kBreathControl},
  {"kRequestTempData", kRequestTempData},
  {"kDataSlider", kDataSlider},
  {"kQuickTab", kQuickTab},
  {"kGlobalSettings", kGlobalSettings},
  {"kLibrarianArea", kLibrarianArea},
  {"kTimbreLED", kTimbreLED},
};

}  // namespace

void ParamNameTable::initParams()
{
  log(mLogSink, "CONFIG READER: Started to initialize parameters...");
  for (const NamedParam& p : builtInNames) mapParamToString(p.name, p.id);

  // The numbered series follow their rule: steps written without a leading
  // zero, each a per-timbre pair; step values always with two digits.
  // Room for any int the formats below could print, not only the loops' numbers:
  // the compiler cannot always prove the loops' bounds to the format checker.
  char name[48];
  for (int seq = 1; seq <= 3; ++seq)
  {
    for (int step = 1; step <= 16; ++step)
    {
      snprintf(name, sizeof(name), "kSeq%dStep%d", seq, step);
      mapParamToString(name, kSeq1Step1 + 32 * (seq - 1) + 2 * (step - 1));
    }
  }
  for (int seq = 1; seq <= 3; ++seq)
  {
    for (int step = 1; step <= 16; ++step)
    {
      snprintf(name, sizeof(name), "kModSeq%dValue%02d", seq, step);
      mapParamToString(name, kModSeq1Value01 + 16 * (seq - 1) + (step - 1));
    }
  }
  for (int n = 1; n <= 40; ++n)
  {
    snprintf(name, sizeof(name), "kDummyParam%02d", n);
    mapParamToString(name, kDummyParam01 + (n - 1));
  }
  log(mLogSink, "CONFIG READER: Completed!");
}

void ParamNameTable::mapParamToString(const std::string& name, int id)
{
  if (!mParamsByName.emplace(name, id).second)
    log(mLogSink, "CONFIG READER: parameter " + name + " ALREADY EXISTS!");
}

int ParamNameTable::getParamByName(const std::string& name) const
{
  const auto it = mParamsByName.find(name);
  if (it != mParamsByName.end()) return it->second;
  log(mLogSink, "CONFIG READER: parameter " + name + " NOT FOUND!");
  return -1;
}
