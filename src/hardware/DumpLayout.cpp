#include "hardware/DumpLayout.h"

#include "config/ParamIds.h"
#include "hardware/SysexPacking.h"

#include <cmath>
#include <initializer_list>
#include <cstring>
#include <vector>

const DumpRow kProgramDumpRows[] = {
    {21, kCodecPack21, 0, kDelayFxTempoSync, kSectionLockFXDelay, 0},
    {22, kCodecByte, 0, kDummyParam06, -1, 0},
    {23, kCodecByte, 0, kDummyParam07, -1, 0},
    {24, kCodecCommonMode, 0, kCommonMode, kSectionLockGlobal, 0},
    {25, kCodecNone, 0, -1, -1, 0},
    {26, kCodecByte, 0, kCommonSplitPoint, kSectionLockGlobal, 0},
    {27, kCodecByte, 0, kDelayFxSyncNote, kSectionLockFXDelay, 0},
    {28, kCodecByte, 0, kDelayFxTime, kSectionLockFXDelay, 0},
    {29, kCodecByte, 0, kDummyParam02, -1, 0},
    {30, kCodecByte, 0, kDelayFxDepth, kSectionLockFXDelay, 0},
    {31, kCodecByte, 0, kDelayFxType, kSectionLockFXDelay, 0},
    {32, kCodecByte, 0, kModFxSpeed, kSectionLockFXChorus, 0},
    {33, kCodecByte, 0, kModFxDepth, kSectionLockFXChorus, 0},
    {34, kCodecByte, 0, kModFxType, kSectionLockFXChorus, 0},
    {35, kCodecByte, 0, kEQHiFreq, kSectionLockFXEQ, 0},
    {36, kCodecByte, 0, kEQHiGain, kSectionLockFXEQ, -52},
    {37, kCodecPack37, 0, kArpOnOff, kSectionLockArp, 0},
    {38, kCodecByte, 0, kEQLowFreq, kSectionLockFXEQ, 0},
    {39, kCodecByte, 0, kEQLowGain, kSectionLockFXEQ, -52},
    {40, kCodecTempoHigh, 0, -1, -1, 0},
    {41, kCodecArpTempo, 0, kArpTempo, kOverrideTempo, 0},
    {42, kCodecArpLatch, 0, kArpLatch, kSectionLockArp, 0},
    {43, kCodecArpRange, 0, kArpRange, kSectionLockArp, 0},
    {44, kCodecByte, 0, kArpGate, kSectionLockArp, 0},
    {45, kCodecPack45, 0, kDummyParam03, -1, 0},
    {46, kCodecByte, 0, kArpReso, kSectionLockArp, 0},
    {47, kCodecArpSwing, 0, kArpSwing, kSectionLockArp, 0},
    {48, kCodecByte, 0, kDummyParam08, -1, 0},
    {49, kCodecChannel1, 0, kMultiPartMIDICh, kLockPartMIDIch, 0},
    {50, kCodecVoice, 0, kVoicePriority, kSectionLockVoice, 0},
    {51, kCodecByte, 0, kDetune, kSectionLockUnisono, 0},
    {52, kCodecByte, 0, kTimbreTune, kSectionLockVoice, -14},
    {53, kCodecByte, 0, kDummyParam09, -1, 0},
    {54, kCodecByte, 0, kTimbreBendRange, kSectionLockVoice, -52},
    {55, kCodecByte, 0, kTimbreTranspose, kSectionLockVoice, -40},
    {56, kCodecByte, 0, kVibratoInt, kSectionLockPitchMod, 0},
    {57, kCodecByte, 0, kOsc1Waveform, kSectionLockOsc1, 0},
    {58, kCodecByte, 0, kOsc1Control1, kSectionLockOsc1, 0},
    {59, kCodecByte, 0, kOsc1Control2, kSectionLockOsc1, 0},
    {60, kCodecDwgs, 0, kOsc1DWGSWave, kSectionLockOsc1, 0},
    {61, kCodecByte, 0, kDummyParam10, -1, 0},
    {62, kCodecByte, 0, kDummyParam11, -1, 0},
    {63, kCodecOsc2Mod, 0, kOsc2OscMod, kSectionLockOsc2, 0},
    {64, kCodecSemitone, 0, kOsc2Semitone, kSectionLockOsc2, 0},
    {65, kCodecByte, 0, kOsc2Tune, kSectionLockOsc2, 0},
    {66, kCodecByte, 0, kPortamento, -1, 0},
    {67, kCodecByte, 0, kOsc1Level, kSectionLockMixer, 0},
    {68, kCodecByte, 0, kOsc2Level, kSectionLockMixer, 0},
    {69, kCodecByte, 0, kDummyParam12, -1, 0},
    {70, kCodecByte, 0, kNoiseLevel, kSectionLockMixer, 0},
    {71, kCodecByte, 0, kFilterType, kSectionLockFilter, 0},
    {72, kCodecByte, 0, kFilterCutoff, kSectionLockFilter, 0},
    {73, kCodecByte, 0, kFilterResonance, kSectionLockFilter, 0},
    {74, kCodecByte, 0, kFilterEGIntensity, kSectionLockFilter, 0},
    {75, kCodecByte, 0, kFilterVeloSense, kSectionLockFilter, 0},
    {76, kCodecByte, 0, kFilterKBDTrack, kSectionLockFilter, 0},
    {77, kCodecByte, 0, kDummyParam13, -1, 0},
    {78, kCodecByte, 0, kAmpLevel, kSectionLockAmp, 0},
    {79, kCodecByte, 0, kAmpPan, kSectionLockAmp, 0},
    {80, kCodecAmpGate, 0, kAmpGateSw, kSectionLockAmp, 0},
    {81, kCodecByte, 0, kAmpVeloSense, kSectionLockAmp, 0},
    {82, kCodecByte, 0, kAmpKBDTrack, kSectionLockAmp, 0},
    {83, kCodecByte, 0, kEG1Attack, kSectionLockEg1, 0},
    {84, kCodecByte, 0, kEG1Decay, kSectionLockEg1, 0},
    {85, kCodecByte, 0, kDummyParam14, -1, 0},
    {86, kCodecByte, 0, kEG1Sustain, kSectionLockEg1, 0},
    {87, kCodecByte, 0, kEG1Release, kSectionLockEg1, 0},
    {88, kCodecByte, 0, kEG2Attack, kSectionLockEg2, 0},
    {89, kCodecByte, 0, kEG2Decay, kSectionLockEg2, 0},
    {90, kCodecByte, 0, kEG2Sustain, kSectionLockEg2, 0},
    {91, kCodecByte, 0, kEG2Release, kSectionLockEg2, 0},
    {92, kCodecLfoWave, 0, kLfo1Waveform, kSectionLockLFO1, 0},
    {93, kCodecPack93, 0, kLfo1TempoSync, kSectionLockLFO1, 0},
    {94, kCodecByte, 0, kLfo1Frequency, kSectionLockLFO1, 0},
    {95, kCodecByte, 0, kLfo1SyncNote, kSectionLockLFO1, 0},
    {96, kCodecLfoWave, 0, kLfo2Waveform, kSectionLockLFO2, 0},
    {97, kCodecByte, 0, kLfo2Frequency, kSectionLockLFO2, 0},
    {98, kCodecByte, 0, kLfo2SyncNote, kSectionLockLFO2, 0},
    {99, kCodecVPatch, 0, kVPatchSrc1, kSectionLockVP1, 0},
    {100, kCodecByte, 0, kVPatchAmnt1, kSectionLockVP1, 0},
    {101, kCodecByte, 0, kModSeqSwitch, -1, 0},
    {102, kCodecVPatch, 0, kVPatchSrc2, kSectionLockVP2, 0},
    {103, kCodecByte, 0, kVPatchAmnt2, kSectionLockVP2, 0},
    {104, kCodecVPatch, 0, kVPatchSrc3, kSectionLockVP3, 0},
    {105, kCodecByte, 0, kVPatchAmnt3, kSectionLockVP3, 0},
    {106, kCodecVPatch, 0, kVPatchSrc4, kSectionLockVP4, 0},
    {107, kCodecByte, 0, kVPatchAmnt4, kSectionLockVP4, 0},
    {108, kCodecModSeqMode, 0, kModSeqRunMode, -1, 0},
    {109, kCodecPack109, 0, kDummyParam05, -1, 0},
    {110, kCodecModSeqStep, 0, kModSeqLastStep, -1, 0},
    {111, kCodecByte, 0, kSeq1Knob, kSectionLocSeq1Lock, 0},
    {112, kCodecByte, 0, kSeq1Motion, kSectionLocSeq1Lock, 0},
    {113, kCodecByte, 0, kSeq1Step1, kSectionLocSeq1Lock, 0},
    {114, kCodecByte, 0, kSeq1Step2, kSectionLocSeq1Lock, 0},
    {115, kCodecByte, 0, kSeq1Step3, kSectionLocSeq1Lock, 0},
    {116, kCodecByte, 0, kSeq1Step4, kSectionLocSeq1Lock, 0},
    {117, kCodecByte, 0, kDummyParam15, -1, 0},
    {118, kCodecByte, 0, kSeq1Step5, kSectionLocSeq1Lock, 0},
    {119, kCodecByte, 0, kSeq1Step6, kSectionLocSeq1Lock, 0},
    {120, kCodecByte, 0, kSeq1Step7, kSectionLocSeq1Lock, 0},
    {121, kCodecByte, 0, kSeq1Step8, kSectionLocSeq1Lock, 0},
    {122, kCodecByte, 0, kSeq1Step9, kSectionLocSeq1Lock, 0},
    {123, kCodecByte, 0, kSeq1Step10, kSectionLocSeq1Lock, 0},
    {124, kCodecByte, 0, kSeq1Step11, kSectionLocSeq1Lock, 0},
    {125, kCodecByte, 0, kDummyParam16, -1, 0},
    {126, kCodecByte, 0, kSeq1Step12, kSectionLocSeq1Lock, 0},
    {127, kCodecByte, 0, kSeq1Step13, kSectionLocSeq1Lock, 0},
    {128, kCodecByte, 0, kSeq1Step14, kSectionLocSeq1Lock, 0},
    {129, kCodecByte, 0, kSeq1Step15, kSectionLocSeq1Lock, 0},
    {130, kCodecByte, 0, kSeq1Step16, kSectionLocSeq1Lock, 0},
    {131, kCodecByte, 0, kSeq2Knob, kSectionLocSeq2Lock, 0},
    {132, kCodecByte, 0, kSeq2Motion, kSectionLocSeq2Lock, 0},
    {133, kCodecByte, 0, kDummyParam17, -1, 0},
    {134, kCodecByte, 0, kSeq2Step1, kSectionLocSeq2Lock, 0},
    {135, kCodecByte, 0, kSeq2Step2, kSectionLocSeq2Lock, 0},
    {136, kCodecByte, 0, kSeq2Step3, kSectionLocSeq2Lock, 0},
    {137, kCodecByte, 0, kSeq2Step4, kSectionLocSeq2Lock, 0},
    {138, kCodecByte, 0, kSeq2Step5, kSectionLocSeq2Lock, 0},
    {139, kCodecByte, 0, kSeq2Step6, kSectionLocSeq2Lock, 0},
    {140, kCodecByte, 0, kSeq2Step7, kSectionLocSeq2Lock, 0},
    {141, kCodecByte, 0, kDummyParam18, -1, 0},
    {142, kCodecByte, 0, kSeq2Step8, kSectionLocSeq2Lock, 0},
    {143, kCodecByte, 0, kSeq2Step9, kSectionLocSeq2Lock, 0},
    {144, kCodecByte, 0, kSeq2Step10, kSectionLocSeq2Lock, 0},
    {145, kCodecByte, 0, kSeq2Step11, kSectionLocSeq2Lock, 0},
    {146, kCodecByte, 0, kSeq2Step12, kSectionLocSeq2Lock, 0},
    {147, kCodecByte, 0, kSeq2Step13, kSectionLocSeq2Lock, 0},
    {148, kCodecByte, 0, kSeq2Step14, kSectionLocSeq2Lock, 0},
    {149, kCodecByte, 0, kDummyParam19, -1, 0},
    {150, kCodecByte, 0, kSeq2Step15, kSectionLocSeq2Lock, 0},
    {151, kCodecByte, 0, kSeq2Step16, kSectionLocSeq2Lock, 0},
    {152, kCodecByte, 0, kSeq3Knob, kSectionLocSeq3Lock, 0},
    {153, kCodecByte, 0, kSeq3Motion, kSectionLocSeq3Lock, 0},
    {154, kCodecByte, 0, kSeq3Step1, kSectionLocSeq3Lock, 0},
    {155, kCodecByte, 0, kSeq3Step2, kSectionLocSeq3Lock, 0},
    {156, kCodecByte, 0, kSeq3Step3, kSectionLocSeq3Lock, 0},
    {157, kCodecByte, 0, kDummyParam20, -1, 0},
    {158, kCodecByte, 0, kSeq3Step4, kSectionLocSeq3Lock, 0},
    {159, kCodecByte, 0, kSeq3Step5, kSectionLocSeq3Lock, 0},
    {160, kCodecByte, 0, kSeq3Step6, kSectionLocSeq3Lock, 0},
    {161, kCodecByte, 0, kSeq3Step7, kSectionLocSeq3Lock, 0},
    {162, kCodecByte, 0, kSeq3Step8, kSectionLocSeq3Lock, 0},
    {163, kCodecByte, 0, kSeq3Step9, kSectionLocSeq3Lock, 0},
    {164, kCodecByte, 0, kSeq3Step10, kSectionLocSeq3Lock, 0},
    {165, kCodecPack165, 0, kDummyParam21, -1, 0},
    {166, kCodecByte, 0, kSeq3Step11, kSectionLocSeq3Lock, 0},
    {167, kCodecByte, 0, kSeq3Step12, kSectionLocSeq3Lock, 0},
    {168, kCodecByte, 0, kSeq3Step13, kSectionLocSeq3Lock, 0},
    {169, kCodecByte, 0, kSeq3Step14, kSectionLocSeq3Lock, 0},
    {170, kCodecByte, 0, kSeq3Step15, kSectionLocSeq3Lock, 0},
    {171, kCodecByte, 0, kSeq3Step16, kSectionLocSeq3Lock, 0},
    {172, kCodecChannel2, 1, kMultiPartMIDICh, kLockPartMIDIch, 0},
    {173, kCodecPack173, 1, -1, -1, 0},
    {174, kCodecVoice, 1, kVoicePriority, kSectionLockVoice, 0},
    {175, kCodecByte, 1, kDetune, kSectionLockUnisono, 0},
    {176, kCodecByte, 1, kTimbreTune, kSectionLockVoice, -14},
    {177, kCodecByte, 1, kTimbreBendRange, kSectionLockVoice, -52},
    {178, kCodecByte, 1, kTimbreTranspose, kSectionLockVoice, -40},
    {179, kCodecByte, 1, kVibratoInt, kSectionLockPitchMod, 0},
    {180, kCodecByte, 1, kOsc1Waveform, kSectionLockOsc1, 0},
    {181, kCodecByte, 0, kDummyParam22, -1, 0},
    {182, kCodecByte, 1, kOsc1Control1, kSectionLockOsc1, 0},
    {183, kCodecByte, 1, kOsc1Control2, kSectionLockOsc1, 0},
    {184, kCodecDwgs, 1, kOsc1DWGSWave, kSectionLockOsc1, 0},
    {185, kCodecByte, 0, kDummyParam23, -1, 0},
    {186, kCodecOsc2Mod, 1, kOsc2OscMod, kSectionLockOsc2, 0},
    {187, kCodecSemitone, 1, kOsc2Semitone, kSectionLockOsc2, 0},
    {188, kCodecByte, 1, kOsc2Tune, kSectionLockOsc2, 0},
    {189, kCodecByte, 0, kDummyParam24, -1, 0},
    {190, kCodecByte, 1, kPortamento, -1, 0},
    {191, kCodecByte, 1, kOsc1Level, kSectionLockMixer, 0},
    {192, kCodecByte, 1, kOsc2Level, kSectionLockMixer, 0},
    {193, kCodecByte, 1, kNoiseLevel, kSectionLockMixer, 0},
    {194, kCodecByte, 1, kFilterType, kSectionLockFilter, 0},
    {195, kCodecByte, 1, kFilterCutoff, kSectionLockFilter, 0},
    {196, kCodecByte, 1, kFilterResonance, kSectionLockFilter, 0},
    {197, kCodecByte, 0, kDummyParam25, -1, 0},
    {198, kCodecByte, 1, kFilterEGIntensity, kSectionLockFilter, 0},
    {199, kCodecByte, 1, kFilterVeloSense, kSectionLockFilter, 0},
    {200, kCodecByte, 1, kFilterKBDTrack, kSectionLockFilter, 0},
    {201, kCodecByte, 1, kAmpLevel, kSectionLockAmp, 0},
    {202, kCodecByte, 1, kAmpPan, kSectionLockAmp, 0},
    {203, kCodecAmpGate, 1, kAmpGateSw, kSectionLockAmp, 0},
    {204, kCodecByte, 1, kAmpVeloSense, kSectionLockAmp, 0},
    {205, kCodecByte, 0, kDummyParam26, -1, 0},
    {206, kCodecByte, 1, kAmpKBDTrack, kSectionLockAmp, 0},
    {207, kCodecByte, 1, kEG1Attack, kSectionLockEg1, 0},
    {208, kCodecByte, 1, kEG1Decay, kSectionLockEg1, 0},
    {209, kCodecByte, 1, kEG1Sustain, kSectionLockEg1, 0},
    {210, kCodecByte, 1, kEG1Release, kSectionLockEg1, 0},
    {211, kCodecByte, 1, kEG2Attack, kSectionLockEg2, 0},
    {212, kCodecByte, 1, kEG2Decay, kSectionLockEg2, 0},
    {213, kCodecPack213, 1, kLfo1TempoSync, kSectionLockLFO1, 0},
    {214, kCodecByte, 1, kEG2Sustain, kSectionLockEg2, 0},
    {215, kCodecByte, 1, kEG2Release, kSectionLockEg2, 0},
    {216, kCodecLfoWave, 1, kLfo1Waveform, kSectionLockLFO1, 0},
    {217, kCodecByte, 1, kLfo1Frequency, kSectionLockLFO1, 0},
    {218, kCodecByte, 1, kLfo1SyncNote, kSectionLockLFO1, 0},
    {219, kCodecLfoWave, 1, kLfo2Waveform, kSectionLockLFO2, 0},
    {220, kCodecByte, 1, kLfo2Frequency, kSectionLockLFO2, 0},
    {221, kCodecByte, 1, kLfo2TempoSync, kSectionLockLFO2, 0},
    {222, kCodecByte, 1, kLfo2SyncNote, kSectionLockLFO2, 0},
    {223, kCodecVPatch, 1, kVPatchSrc1, kSectionLockVP1, 0},
    {224, kCodecByte, 1, kVPatchAmnt1, kSectionLockVP1, 0},
    {225, kCodecVPatch, 1, kVPatchSrc2, kSectionLockVP2, 0},
    {226, kCodecByte, 1, kVPatchAmnt2, kSectionLockVP2, 0},
    {227, kCodecVPatch, 1, kVPatchSrc3, kSectionLockVP3, 0},
    {228, kCodecByte, 1, kVPatchAmnt3, kSectionLockVP3, 0},
    {229, kCodecPack229, 1, kModSeqSwitch, -1, 0},
    {230, kCodecVPatch, 1, kVPatchSrc4, kSectionLockVP4, 0},
    {231, kCodecByte, 1, kVPatchAmnt4, kSectionLockVP4, 0},
    {232, kCodecModSeqMode, 1, kModSeqRunMode, -1, 0},
    {233, kCodecModSeqStep, 1, kModSeqLastStep, -1, 0},
    {234, kCodecByte, 1, kSeq1Knob, kSectionLocSeq1Lock, 0},
    {235, kCodecByte, 1, kSeq1Motion, kSectionLocSeq1Lock, 0},
    {236, kCodecByte, 1, kSeq1Step1, kSectionLocSeq1Lock, 0},
    {237, kCodecByte, 0, kDummyParam27, -1, 0},
    {238, kCodecByte, 1, kSeq1Step2, kSectionLocSeq1Lock, 0},
    {239, kCodecByte, 1, kSeq1Step3, kSectionLocSeq1Lock, 0},
    {240, kCodecByte, 1, kSeq1Step4, kSectionLocSeq1Lock, 0},
    {241, kCodecByte, 1, kSeq1Step5, kSectionLocSeq1Lock, 0},
    {242, kCodecByte, 1, kSeq1Step6, kSectionLocSeq1Lock, 0},
    {243, kCodecByte, 1, kSeq1Step7, kSectionLocSeq1Lock, 0},
    {244, kCodecByte, 1, kSeq1Step8, kSectionLocSeq1Lock, 0},
    {245, kCodecByte, 0, kDummyParam28, -1, 0},
    {246, kCodecByte, 1, kSeq1Step9, kSectionLocSeq1Lock, 0},
    {247, kCodecByte, 1, kSeq1Step10, kSectionLocSeq1Lock, 0},
    {248, kCodecByte, 1, kSeq1Step11, kSectionLocSeq1Lock, 0},
    {249, kCodecByte, 1, kSeq1Step12, kSectionLocSeq1Lock, 0},
    {250, kCodecByte, 1, kSeq1Step13, kSectionLocSeq1Lock, 0},
    {251, kCodecByte, 1, kSeq1Step14, kSectionLocSeq1Lock, 0},
    {252, kCodecByte, 1, kSeq1Step15, kSectionLocSeq1Lock, 0},
    {253, kCodecByte, 0, kDummyParam29, -1, 0},
    {254, kCodecByte, 1, kSeq1Step16, kSectionLocSeq1Lock, 0},
    {255, kCodecByte, 1, kSeq2Knob, kSectionLocSeq2Lock, 0},
    {256, kCodecByte, 1, kSeq2Motion, kSectionLocSeq2Lock, 0},
    {257, kCodecByte, 1, kSeq2Step1, kSectionLocSeq2Lock, 0},
    {258, kCodecByte, 1, kSeq2Step2, kSectionLocSeq2Lock, 0},
    {259, kCodecByte, 1, kSeq2Step3, kSectionLocSeq2Lock, 0},
    {260, kCodecByte, 1, kSeq2Step4, kSectionLocSeq2Lock, 0},
    {261, kCodecByte, 0, kDummyParam30, -1, 0},
    {262, kCodecByte, 1, kSeq2Step5, kSectionLocSeq2Lock, 0},
    {263, kCodecByte, 1, kSeq2Step6, kSectionLocSeq2Lock, 0},
    {264, kCodecByte, 1, kSeq2Step7, kSectionLocSeq2Lock, 0},
    {265, kCodecByte, 1, kSeq2Step8, kSectionLocSeq2Lock, 0},
    {266, kCodecByte, 1, kSeq2Step9, kSectionLocSeq2Lock, 0},
    {267, kCodecByte, 1, kSeq2Step10, kSectionLocSeq2Lock, 0},
    {268, kCodecByte, 1, kSeq2Step11, kSectionLocSeq2Lock, 0},
    {269, kCodecByte, 0, kDummyParam31, -1, 0},
    {270, kCodecByte, 1, kSeq2Step12, kSectionLocSeq2Lock, 0},
    {271, kCodecByte, 1, kSeq2Step13, kSectionLocSeq2Lock, 0},
    {272, kCodecByte, 1, kSeq2Step14, kSectionLocSeq2Lock, 0},
    {273, kCodecByte, 1, kSeq2Step15, kSectionLocSeq2Lock, 0},
    {274, kCodecByte, 1, kSeq2Step16, kSectionLocSeq2Lock, 0},
    {275, kCodecByte, 1, kSeq3Knob, kSectionLocSeq3Lock, 0},
    {276, kCodecByte, 1, kSeq3Motion, kSectionLocSeq3Lock, 0},
    {277, kCodecByte, 0, kDummyParam32, -1, 0},
    {278, kCodecByte, 1, kSeq3Step1, kSectionLocSeq3Lock, 0},
    {279, kCodecByte, 1, kSeq3Step2, kSectionLocSeq3Lock, 0},
    {280, kCodecByte, 1, kSeq3Step3, kSectionLocSeq3Lock, 0},
    {281, kCodecByte, 1, kSeq3Step4, kSectionLocSeq3Lock, 0},
    {282, kCodecByte, 1, kSeq3Step5, kSectionLocSeq3Lock, 0},
    {283, kCodecByte, 1, kSeq3Step6, kSectionLocSeq3Lock, 0},
    {284, kCodecByte, 1, kSeq3Step7, kSectionLocSeq3Lock, 0},
    {285, kCodecByte, 0, kDummyParam33, -1, 0},
    {286, kCodecByte, 1, kSeq3Step8, kSectionLocSeq3Lock, 0},
    {287, kCodecByte, 1, kSeq3Step9, kSectionLocSeq3Lock, 0},
    {288, kCodecByte, 1, kSeq3Step10, kSectionLocSeq3Lock, 0},
    {289, kCodecByte, 1, kSeq3Step11, kSectionLocSeq3Lock, 0},
    {290, kCodecByte, 1, kSeq3Step12, kSectionLocSeq3Lock, 0},
    {291, kCodecByte, 1, kSeq3Step13, kSectionLocSeq3Lock, 0},
    {292, kCodecByte, 1, kSeq3Step14, kSectionLocSeq3Lock, 0},
    {293, kCodecByte, 0, kDummyParam34, -1, 0},
    {294, kCodecByte, 1, kSeq3Step15, kSectionLocSeq3Lock, 0},
    {295, kCodecByte, 1, kSeq3Step16, kSectionLocSeq3Lock, 0},
};
const int kProgramDumpRowCount = (int)(sizeof(kProgramDumpRows) / sizeof(kProgramDumpRows[0]));

const int kSemitoneTable[48] = {0,  3,  6,  8,  11, 14, 16, 19,  21,  24,  27,  29,  32,  34,  37,  40,
                                42, 45, 48, 50, 53, 55, 58, 61,  64,  66,  68,  71,  74,  76,  79,  81,
                                84, 87, 89, 92, 95, 97, 100, 102, 105, 108, 110, 113, 115, 118, 121, 123};

namespace
{
inline int iv(double v) { return (int)std::lround(v); }
inline uint8_t b7(int v) { return (uint8_t)(v < 0 ? 0 : v > 127 ? 127 : v); }

struct ParseFlags
{
  bool voiceCount = false, tempoBit7 = false, tempoHigh = false, swingSign = false;
  bool voiceAssign[2] = {}, lastStep[2] = {}, channel16[2] = {};
};

bool in(int b, std::initializer_list<int> set)
{
  for (int v : set)
    if (v == b) return true;
  return false;
}

// Locks are read once per parse; ids run from kOverrideTempo to kSectionLockGlobal.
struct LockCache
{
  bool on[kSectionLockGlobal - kOverrideTempo + 2] = {};
  explicit LockCache(DumpParamAccess& p)
  {
    for (int id = kOverrideTempo; id <= kSectionLockGlobal + 1; ++id) on[id - kOverrideTempo] = p.value(id) == 1.0;
  }
  bool operator()(int id) const { return id >= kOverrideTempo && id <= kSectionLockGlobal + 1 && on[id - kOverrideTempo]; }
};
}  // namespace

void parseProgramDumpParams(const uint8_t* msg, DumpParamAccess& p, ProgramParseResult* result)
{
  ProgramParseResult local;
  ProgramParseResult& res = result ? *result : local;
  res = ProgramParseResult();
  const LockCache locked(p);
  const int earlier[2] = {iv(p.value(kMultiPartMIDICh)), iv(p.value(kMultiPartMIDICh + 1))};
  int dumpChannel[2] = {earlier[0], earlier[1]};
  ParseFlags f;

  for (int r = 0; r < kProgramDumpRowCount; ++r)
  {
    const DumpRow& row = kProgramDumpRows[r];
    const int b = msg[row.raw];
    const int po = row.part;
    const int P = row.param >= 0 ? row.param + po : -1;
    const bool skip = row.lock >= 0 && locked(row.lock + po);
    switch (row.codec)
    {
      case kCodecByte:
        if (!skip) p.setValue(P, b + row.offset);
        break;
      case kCodecNone:
        break;
      case kCodecPack21:
        // The lock guards only the tempo sync; the flag and the dummy always follow.
        if (!skip) p.setValue(kDelayFxTempoSync, b >= 21 ? 1 : 0);
        p.setValue(kDummyParam01, in(b, {16, 20, 48, 52}) ? 16 : 0);
        f.voiceCount = in(b, {4, 20, 36, 52});
        break;
      case kCodecCommonMode:
        if (skip) break;
        if (b == 0 || b == 64)
        {
          p.setValue(kCommonMode, 0);
          p.setValue(kCommonVoices, 1);
          res.tabRefresh = true;
        }
        else if (b == 16 || b == 32)
        {
          p.setValue(kCommonMode, b / 16);
          p.setValue(kCommonVoices, f.voiceCount ? 2 : 0);
        }
        else if (b == 80 || b == 96 || b == 112)
        {
          p.setValue(kCommonMode, (b - 64) / 16);
          p.setValue(kCommonVoices, 1);
        }
        break;
      case kCodecPack37:
        if (skip) break;
        p.setValue(kArpOnOff, (b == 16 || b == 24) ? 1 : 0);
        f.tempoBit7 = b == 8 || b == 24;
        break;
      case kCodecTempoHigh:
        f.tempoHigh = b == 1;
        break;
      case kCodecArpTempo:
        if (!skip) p.setValue(kArpTempo, f.tempoBit7 ? b + 108 : f.tempoHigh ? b + 236 : b - 20);
        break;
      case kCodecArpLatch:
        if (skip) break;
        p.setValue(kArpLatch, b / 64);
        p.setValue(kArpTarget, (b % 64) / 16);
        p.setValue(kArpKeySync, b % 16);
        break;
      case kCodecArpRange:
        if (skip) break;
        p.setValue(kArpRange, b < 64 ? b / 16 : 0);
        p.setValue(kArpType, b < 64 ? b % 16 : b);
        break;
      case kCodecPack45:
        p.setValue(kDummyParam03, b >= 32 ? 1 : 0);
        if (in(b, {8, 10, 24, 26, 40, 42, 56, 58}))
        {
          p.setValue(kMultiPartMIDICh, 16);
          dumpChannel[0] = 16;
          f.channel16[0] = true;
        }
        f.swingSign = in(b, {2, 10, 18, 26, 34, 42, 50, 58});
        f.voiceAssign[0] = (b >= 16 && b <= 31) || b >= 48;
        break;
      case kCodecArpSwing:
        if (!skip) p.setValue(kArpSwing, f.swingSign ? b - 28 : b + 100);
        break;
      case kCodecChannel1:
        // Channel 16 travels as 0x7F with the packing flag read at raw 45.
        if (b <= 15) dumpChannel[0] = b;
        if (!skip && b <= 15) p.setValue(P, b);
        break;
      case kCodecVoice:
      {
        const bool voice = !locked(kSectionLockVoice + po);
        if (voice)
        {
          p.setValue(kVoicePriority + po, b & 7);
          p.setValue(kVoiceTrigger + po, (b >> 3) & 1);
        }
        if (!locked(kSectionLockEg1 + po)) p.setValue(kEG1Reset + po, (b >> 4) & 1);
        if (!locked(kSectionLockEg2 + po)) p.setValue(kEG2Reset + po, (b >> 5) & 1);
        if (voice) p.setValue(kVoiceAssign + po, f.voiceAssign[po] ? 2 : b / 64);
        break;
      }
      case kCodecDwgs:
        if (!skip && p.value(kOsc1Waveform + po) == 5.0) p.setValue(P, b);
        break;
      case kCodecOsc2Mod:
        if (skip) break;
        p.setValue(kOsc2OscMod + po, b < 48 ? b / 16 : 3);
        p.setValue(kOsc2Waveform + po, b < 48 ? b % 16 : b - 48);
        break;
      case kCodecSemitone:
        if (!skip) p.setValue(P, (b >= 40 && b <= 87) ? kSemitoneTable[b - 40] : b == 88 ? 127 : b);
        break;
      case kCodecAmpGate:
        if (skip) break;
        p.setValue(kAmpGateSw + po, (b == 64 || b == 65) ? 1 : 0);
        p.setValue(kAmpDistSw + po, (b == 64 || b == 65) ? b - 64 : b);
        break;
      case kCodecLfoWave:
        if (skip) break;
        p.setValue(P + 2, (b >= 16 && b <= 47) ? b / 16 : 0);
        p.setValue(P, (b >= 16 && b <= 47) ? b % 16 : b);
        break;
      case kCodecPack93:
        if (!locked(kSectionLockLFO1)) p.setValue(kLfo1TempoSync, (b == 2 || b == 18) ? 1 : 0);
        if (!locked(kSectionLockLFO2)) p.setValue(kLfo2TempoSync, (b == 16 || b == 18) ? 1 : 0);
        break;
      case kCodecVPatch:
        if (skip) break;
        p.setValue(P, b % 16);
        p.setValue(P + 8, b / 16);
        break;
      case kCodecModSeqMode:
        p.setValue(kModSeqRunMode + po, (b >= 64 && b <= 80) ? 1 : 0);
        p.setValue(kModSeqResolution + po, (b >= 64 && b <= 80) ? b - 64 : b);
        break;
      case kCodecPack109:
        p.setValue(kDummyParam05, b <= 4 ? 0 : 4);
        f.lastStep[0] = b == 1 || b == 5;
        break;
      case kCodecModSeqStep:
        p.setValue(kModSeqLastStep + po, b / 16 + (f.lastStep[po] ? 8 : 0));
        p.setValue(kModSeqKeySync + po, (b % 16) % 4);
        p.setValue(kModSeqType + po, (b % 16) / 4);
        break;
      case kCodecPack165:
        p.setValue(kDummyParam21, b);
        f.channel16[1] = (b & 0x40) != 0;
        break;
      case kCodecChannel2:
      {
        // 0x7F is channel 16 only with its packing flag, as the sender writes it.
        int ch = b;
        if (b == 127)
        {
          if (!f.channel16[1]) break;
          ch = 16;
        }
        dumpChannel[1] = ch;
        if (!skip) p.setValue(P, ch);
        break;
      }
      case kCodecPack173:
        f.voiceAssign[1] = b == 1;
        break;
      case kCodecPack213:
        if (!skip) p.setValue(P, b == 16 ? 1 : 0);
        break;
      case kCodecPack229:
        p.setValue(P, (b == 4 || b == 12) ? 1 : 0);
        f.lastStep[1] = b >= 8;
        break;
    }
  }

  for (int t = 0; t < 2; ++t)
    if (locked(kLockPartMIDIch + t) && (dumpChannel[t] != earlier[t] || iv(p.value(kMultiPartMIDICh + t)) != earlier[t]))
    {
      p.setValue(kMultiPartMIDICh + t, earlier[t]);
      res.channelRestored[t] = true;
    }
}

namespace
{
// A plain copy of the parameters, for reading what stored bytes mean without
// touching the editor's values.
struct ParamTwin : DumpParamAccess
{
  std::vector<double> v;
  explicit ParamTwin(DumpParamAccess& p) : v((size_t)kNumParams)
  {
    for (int id = 0; id < kNumParams; ++id) v[(size_t)id] = p.value(id);
  }
  double value(int id) override { return id >= 0 && id < kNumParams ? v[(size_t)id] : 0.0; }
  void setValue(int id, double x) override
  {
    if (id >= 0 && id < kNumParams) v[(size_t)id] = x;
  }
  // Every row decoded: no section lock, no channel lock, no tempo override.
  void unlock()
  {
    v[kOverrideTempo] = v[kLockPartMIDIch] = v[kLockPartMIDIch + 1] = 0.0;
    for (int id = kPartLock; id <= kSectionLockGlobal; ++id) v[(size_t)id] = 0.0;
  }
};
}  // namespace

void buildProgramDumpOver(DumpParamAccess& params, const uint8_t* stored, uint8_t* out)
{
  std::vector<uint8_t> kept(stored, stored + kProgramDumpSize);
  for (uint8_t& b : kept) b &= 0x7F;
  kept[0] = 0xF0, kept[kProgramDumpSize - 1] = 0xF7;

  std::vector<uint8_t> editor(out, out + kProgramDumpSize), meant(out, out + kProgramDumpSize);
  buildProgramDumpParams(params, editor.data());
  ParamTwin storedMeaning(params);
  storedMeaning.unlock();
  parseProgramDumpParams(kept.data(), storedMeaning, nullptr);
  buildProgramDumpParams(storedMeaning, meant.data());

  std::vector<uint8_t> mixed = editor;
  for (int r = 19; r <= 295; ++r)
    if (editor[(size_t)r] == meant[(size_t)r]) mixed[(size_t)r] = kept[(size_t)r];

  // The mix must say what the parameters say; a row whose flags sit in a byte kept
  // from the hardware could read otherwise.
  ParamTwin fromMix(params), fromEditor(params);
  fromMix.unlock();
  fromEditor.unlock();
  parseProgramDumpParams(mixed.data(), fromMix, nullptr);
  parseProgramDumpParams(editor.data(), fromEditor, nullptr);
  if (fromMix.v != fromEditor.v)
  {
    mixed = editor;
    for (int r : {19, 20, 25}) mixed[(size_t)r] = kept[(size_t)r];
  }
  for (int r = 19; r <= 295; ++r) out[r] = mixed[(size_t)r];
}

void buildProgramDumpParams(DumpParamAccess& p, uint8_t* out)
{
  auto v = [&](int id) { return iv(p.value(id)); };
  for (int r = 0; r < kProgramDumpRowCount; ++r)
  {
    const DumpRow& row = kProgramDumpRows[r];
    const int po = row.part;
    const int P = row.param >= 0 ? row.param + po : -1;
    uint8_t& o = out[row.raw];
    switch (row.codec)
    {
      case kCodecByte:
        o = b7(v(P) - row.offset);
        break;
      case kCodecNone:
      case kCodecTempoHigh:  // written with the tempo
        break;
      case kCodecPack21:
        o = (uint8_t)((v(kDelayFxTempoSync) ? 0x20 : 0) | (v(kDummyParam01) == 16 ? 0x10 : 0));
        break;
      case kCodecCommonMode:
      {
        const int mode = v(kCommonMode), voices = v(kCommonVoices);
        if (mode <= 0) o = 0;
        else if (mode <= 2 && voices != 1)
        {
          o = (uint8_t)(16 * mode);
          if (voices == 2) out[21] |= 0x04;
        }
        else o = (uint8_t)(64 + 16 * (mode > 3 ? 3 : mode));
        break;
      }
      case kCodecPack37:
        o = v(kArpOnOff) ? 0x10 : 0;
        break;
      case kCodecArpTempo:
      {
        const int t = v(kArpTempo);
        out[40] = t > 235 ? 1 : 0;
        if (t >= 108 && t <= 235)
        {
          o = (uint8_t)(t - 108);
          out[37] |= 0x08;
        }
        else o = b7(t > 235 ? t - 236 : t + 20);
        break;
      }
      case kCodecArpLatch:
        o = b7(64 * (v(kArpLatch) & 1) + 16 * (v(kArpTarget) & 3) + (v(kArpKeySync) & 15));
        break;
      case kCodecArpRange:
      {
        const int type = v(kArpType);
        o = type >= 64 ? b7(type) : (uint8_t)(16 * (v(kArpRange) & 3) + (type & 15));
        break;
      }
      case kCodecPack45:
        o = (uint8_t)((v(kDummyParam03) ? 0x20 : 0) | (v(kMultiPartMIDICh) == 16 ? 0x08 : 0));
        break;
      case kCodecArpSwing:
      {
        const int s = v(kArpSwing);
        if (s >= 100) o = b7(s - 100);
        else
        {
          o = b7(s + 28);
          out[45] |= 0x02;
        }
        break;
      }
      case kCodecChannel1:
      {
        const int ch = v(P);
        o = ch == 16 ? 0x7F : b7(ch);
        break;
      }
      case kCodecVoice:
      {
        const int assign = v(kVoiceAssign + po);
        o = (uint8_t)((v(kVoicePriority + po) & 7) | (v(kVoiceTrigger + po) & 1) << 3 | (v(kEG1Reset + po) & 1) << 4 |
                      (v(kEG2Reset + po) & 1) << 5 | (assign == 1 ? 0x40 : 0));
        if (assign >= 2) out[po ? 173 : 45] |= po ? 0x01 : 0x10;
        break;
      }
      case kCodecDwgs:
        o = b7(v(P));
        break;
      case kCodecOsc2Mod:
      {
        const int mod = v(kOsc2OscMod + po), wf = v(kOsc2Waveform + po);
        o = b7(mod <= 0 ? wf : 16 * (mod > 3 ? 3 : mod) + wf);
        break;
      }
      case kCodecSemitone:
      {
        const int s = v(P);
        int byte = s;
        if (s == 127) byte = 88;
        else
          for (int k = 0; k < 48; ++k)
            if (kSemitoneTable[k] == s)
            {
              byte = 40 + k;
              break;
            }
        o = b7(byte);
        break;
      }
      case kCodecAmpGate:
        o = b7(v(kAmpGateSw + po) ? 64 + (v(kAmpDistSw + po) & 1) : v(kAmpDistSw + po));
        break;
      case kCodecLfoWave:
      {
        const int ks = v(P + 2), wf = v(P);
        o = b7(ks >= 1 ? 16 * (ks > 2 ? 2 : ks) + (wf & 15) : wf);
        break;
      }
      case kCodecPack93:
        o = (uint8_t)((v(kLfo1TempoSync) ? 0x02 : 0) | (v(kLfo2TempoSync) ? 0x10 : 0));
        break;
      case kCodecVPatch:
        o = b7((v(P) & 15) + 16 * v(P + 8));
        break;
      case kCodecModSeqMode:
        o = b7(v(kModSeqRunMode + po) ? 64 + v(kModSeqResolution + po) : v(kModSeqResolution + po));
        break;
      case kCodecPack109:
        // Only 1 and 5 carry the last-step flag and only 5..127 the dummy's 4.
        o = (uint8_t)(v(kModSeqLastStep) >= 8 ? (v(kDummyParam05) ? 5 : 1) : (v(kDummyParam05) ? 6 : 0));
        break;
      case kCodecModSeqStep:
      {
        int last = v(kModSeqLastStep + po);
        if (last >= 8)
        {
          last -= 8;
          if (po) out[229] |= 0x08;
        }
        o = b7(16 * (last & 7) + 4 * (v(kModSeqType + po) & 3) + (v(kModSeqKeySync + po) & 3));
        break;
      }
      case kCodecPack165:
        o = (uint8_t)(b7(v(kDummyParam21)) | (v(kMultiPartMIDICh + 1) == 16 ? 0x40 : 0));
        break;
      case kCodecChannel2:
      {
        const int ch = v(P);
        o = ch == 16 ? 0x7F : b7(ch);
        break;
      }
      case kCodecPack173:
        o = 0;
        break;
      case kCodecPack213:
        o = v(P) ? 0x10 : 0;
        break;
      case kCodecPack229:
        o = v(P) ? 0x04 : 0;
        break;
    }
  }
}

void makeBlankProgramDump(uint8_t channelByte, uint8_t* out)
{
  memset(out, 0, kProgramDumpSize);
  out[0] = 0xF0;
  out[1] = kSysexManufacturerId;
  out[2] = channelByte;
  out[3] = kSysexModelId;
  out[4] = kSysexProgramDumpFunction;
  for (int i = 6; i <= 18; ++i)
    if (i != 13) out[i] = ' ';
  out[kProgramDumpSize - 1] = 0xF7;
}

void writeProgramDumpName(const std::string& name, uint8_t* out)
{
  const int n = name.size() > 12 ? 12 : (int)name.size();
  for (int i = 0; i < n; ++i) out[i < 7 ? 6 + i : 7 + i] = (uint8_t)(name[(size_t)i] & 0x7F);
  if (n < 7) out[6 + n] = 0;
}

// ---- global dump ---------------------------------------------------------------

namespace
{
// Master tune and transpose are signed data bytes (two's complement, bit 7 in the
// packing byte); the parameters hold them moved up by their centre, so 0 cents and
// 0 semitones sit mid-range (tune 0..100, transpose 0..24).
const int kMasterTuneCentre = 50;
const int kMasterTransposeCentre = 12;

int decodeSigned(int byte, bool sign, int centre) { return (byte & 0x7F) - (sign ? 128 : 0) + centre; }
void encodeSigned(int value, int centre, int* byte, bool* sign)
{
  int s = value - centre;
  s = s < -128 ? -128 : s > 127 ? 127 : s;
  *sign = s < 0;
  *byte = s & 0x7F;
}
}  // namespace

int decodeMasterTune(int byte, bool sign) { return decodeSigned(byte, sign, kMasterTuneCentre); }
void encodeMasterTune(int value, int* byte, bool* sign) { encodeSigned(value, kMasterTuneCentre, byte, sign); }
int decodeMasterTranspose(int byte, bool sign) { return decodeSigned(byte, sign, kMasterTransposeCentre); }
void encodeMasterTranspose(int value, int* byte, bool* sign)
{
  encodeSigned(value, kMasterTransposeCentre, byte, sign);
}

void parseGlobalDumpParams(const uint8_t* msg, DumpParamAccess& p)
{
  // Each sign is its own bit: the other bits of raw 5 belong to other data bytes.
  const bool tuneSign = (msg[5] & 0x01) != 0, transposeSign = (msg[5] & 0x02) != 0;
  p.setValue(kMasterTune, decodeMasterTune(msg[6], tuneSign));
  p.setValue(kMasterTranspose, decodeMasterTranspose(msg[7], transposeSign));
  p.setValue(kMasterPosition, msg[8]);
  p.setValue(kMasterVelocityValue, msg[9]);
  p.setValue(kMasterVelocityArea, msg[10]);
  if (msg[11] <= 15)
  {
    p.setValue(kMIDIFilterWriteProtect, msg[11] & 1);
    p.setValue(kGlobalPageMemory, (msg[11] >> 1) & 1);
    p.setValue(kGlobalLocalControl, (msg[11] >> 2) & 1);
    p.setValue(kGlobalPageJump, (msg[11] >> 3) & 1);
  }
  p.setValue(kGlobalClockSource, msg[15]);
  p.setValue(kGlobalMidiChannel, msg[16]);
  if (msg[21] == 0 || msg[21] == 4) p.setValue(kMIDIFilterSysEx, msg[21] == 4 ? 1 : 0);
  p.setValue(kGlobalMIDI1Ctrl, msg[22]);
  p.setValue(kGlobalMIDI2Ctrl, msg[23]);
  if (in(msg[25], {0, 1, 4, 5, 64, 65, 68, 69}))
  {
    p.setValue(kMIDIFilterProgramChange, msg[25] & 1);
    p.setValue(kMIDIFilterControlChange, (msg[25] >> 2) & 1);
    p.setValue(kMIDIFilterPitchBend, (msg[25] >> 6) & 1);
  }
}

namespace
{
// The global parameters' fields, written whole into msg.
void writeGlobalFields(DumpParamAccess& p, uint8_t* msg)
{
  auto v = [&](int id) { return iv(p.value(id)); };
  int tune, transpose;
  bool tuneSign, transposeSign;
  encodeMasterTune(v(kMasterTune), &tune, &tuneSign);
  encodeMasterTranspose(v(kMasterTranspose), &transpose, &transposeSign);
  msg[5] = (uint8_t)((tuneSign ? 1 : 0) | (transposeSign ? 2 : 0));
  msg[6] = (uint8_t)tune;
  msg[7] = (uint8_t)transpose;
  msg[8] = b7(v(kMasterPosition));
  msg[9] = b7(v(kMasterVelocityValue));
  msg[10] = b7(v(kMasterVelocityArea));
  msg[11] = (uint8_t)((v(kMIDIFilterWriteProtect) & 1) | (v(kGlobalPageMemory) & 1) << 1 |
                      (v(kGlobalLocalControl) & 1) << 2 | (v(kGlobalPageJump) & 1) << 3);
  msg[15] = b7(v(kGlobalClockSource));
  msg[16] = b7(v(kGlobalMidiChannel));
  msg[21] = v(kMIDIFilterSysEx) ? 4 : 0;
  msg[22] = b7(v(kGlobalMIDI1Ctrl));
  msg[23] = b7(v(kGlobalMIDI2Ctrl));
  msg[25] = (uint8_t)((v(kMIDIFilterProgramChange) & 1) | (v(kMIDIFilterControlChange) & 1) << 2 |
                      (v(kMIDIFilterPitchBend) & 1) << 6);
}
}  // namespace

void buildGlobalDumpParams(DumpParamAccess& p, uint8_t* msg)
{
  // What the stored bytes say, and what the parameters say, each written the same way.
  const std::vector<uint8_t> stored(msg, msg + kGlobalDumpSize);
  ParamTwin storedMeaning(p);
  parseGlobalDumpParams(stored.data(), storedMeaning);
  std::vector<uint8_t> editor = stored, meant = stored;
  writeGlobalFields(p, editor.data());
  writeGlobalFields(storedMeaning, meant.data());
  // Each field's own bits; a field the parameters leave as stored is not written, so
  // the hardware's bytes go back as it sent them.
  struct Field
  {
    int raw;
    uint8_t mask;
  };
  static const Field fields[] = {{5, 0x03},  {6, 0x7F},  {7, 0x7F},  {8, 0x7F},  {9, 0x7F},  {10, 0x7F}, {11, 0x0F},
                                 {15, 0x7F}, {16, 0x7F}, {21, 0x04}, {22, 0x7F}, {23, 0x7F}, {25, 0x45}};
  for (const Field& f : fields)
  {
    const uint8_t want = editor[(size_t)f.raw] & f.mask;
    // A byte of a code the parser leaves alone says nothing about the parameters:
    // its own bits are compared instead.
    const bool read = (f.raw != 11 || stored[11] <= 15) && (f.raw != 21 || stored[21] == 0 || stored[21] == 4) &&
                      (f.raw != 25 || in(stored[25], {0, 1, 4, 5, 64, 65, 68, 69}));
    const uint8_t had = (read ? meant : stored)[(size_t)f.raw] & f.mask;
    if (want != had) msg[f.raw] = (uint8_t)((stored[(size_t)f.raw] & ~f.mask) | want);
  }
}
