// The program randomizer over the editor's own parameter ranges: the reduction's
// edge cases, which buffer entry each parameter takes, locked sections left byte
// for byte, every value in range, and the program sent to the simulated
// synthesizer reading back as the same values.

#include "ConsoleCapture.h"
#include "UiTestSupport.h"
#include "hardware/DumpLayout.h"
#include "hardware/SimWire.h"
#include "hardware/SysexPacking.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The fake controller with the ranges the configuration gives.
struct RangedHost : FakeHost
{
  void takeRanges(IPlugBase& plug)
  {
    for (int id = 0; id < kNumParams; ++id)
    {
      mins[(size_t)id] = plug.GetParam(id)->GetMin();
      maxs[(size_t)id] = plug.GetParam(id)->GetMax();
      params[(size_t)id] = mins[(size_t)id];
    }
    params[kMultiPartMIDICh + 1] = 1;
  }
};

struct Params : DumpParamAccess
{
  std::vector<double> v = std::vector<double>(kNumParams, 0.0);
  double value(int id) override { return v[(size_t)id]; }
  void setValue(int id, double x) override { v[(size_t)id] = x; }
};

class Randomizer : public testing::Test
{
protected:
  static void SetUpTestSuite() { editor.reset(new RealEditor(1.0)); }
  static void TearDownTestSuite() { editor.reset(); }
  void SetUp() override
  {
    host.takeRanges(editor->plug);
    manager.reset(new MIDIMessageManager(&host, nullptr, nullptr, nullptr));
    host.manager = manager.get();
  }
  void TearDown() override { manager.reset(); }
  void Randomize(unsigned seed)
  {
    manager->randomGenerator(seed);
    CaptureConsole();
    manager->randomizePatchSettings(0);
    CapturedConsole();
  }
  std::vector<uint8_t> Dump()
  {
    std::vector<uint8_t> b(kProgramDumpSize);
    makeBlankProgramDump(0x30, b.data());
    Params p;
    p.v = host.params;
    buildProgramDumpParams(p, b.data());
    return b;
  }

  static std::unique_ptr<RealEditor> editor;
  RangedHost host;
  std::unique_ptr<MIDIMessageManager> manager;
};
std::unique_ptr<RealEditor> Randomizer::editor;

TEST_F(Randomizer, ReductionEdgeCases)
{
  struct Case
  {
    double min, max;
    int entry, result;
  } cases[] = {{0, 127, 200, 73}, {0, 127, 127, 127}, {0, 127, 255, 1}, {0, 1, 200, 0},  {0, 1, 201, 1},
               {-64, 63, 200, 74}, {-64, 63, 20, 20}, {0, 0, 255, 0},   {-10, 0, 255, 2}, {-10, -5, 255, 3},
               {5, 3, 255, 0}};
  for (const Case& c : cases)
  {
    host.mins[kFilterCutoff] = c.min;
    host.maxs[kFilterCutoff] = c.max;
    host.randomBytes[7] = c.entry;
    CaptureConsole();
    const int result = manager->randomizer(kFilterCutoff, 7);
    CapturedConsole();
    EXPECT_EQ(result, c.result) << c.min << ".." << c.max << " from " << c.entry;
  }
}

TEST_F(Randomizer, EachParameterTakesItsEntry)
{
  // Ranges wide enough to keep every entry as it is: a parameter's value tells its entry.
  for (int id = 0; id < kNumParams; ++id)
  {
    host.mins[(size_t)id] = -300;
    host.maxs[(size_t)id] = 300;
    host.params[(size_t)id] = 0;
  }
  // Entries modulo 128 fit the dump's bytes, so the values come back as drawn.
  for (int k = 0; k < 297; ++k) host.randomBytes[(size_t)k] = k % 128;
  host.randomBytes[271] = 16;  // the voice-assign draw: above 15
  CaptureConsole();
  manager->randomizePatchSettings(1);
  CapturedConsole();
  struct Case
  {
    int id;
    double value;
  } cases[] = {{kDelayFxTempoSync, 0},
               {kCommonMode, 1},
               {kCommonVoices, 2},
               {kEQHiGain, 12 - 52},
               {kArpGate, 21},
               {kVoiceAssign, 2},
               {kTimbreTune, 30 - 14},
               {kOsc1DWGSWave, 0},  // drawn only for waveform 5
               {kOsc2Semitone, 0},  // entry 40: the first of the semitone table
               {kVPatchAmnt4, 88},
               {kModSeqLastStep, 88 / 16},
               {kModSeqType, (88 % 16) / 4},
               {kModSeqKeySync, 88 % 4},
               {kSeq1Knob, 93},
               {kSeq3Step16, 146 % 128},
               {kDetune + 1, 153 % 128},
               {kVPatchAmnt4 + 1, 213 % 128},
               {kModSeqLastStep + 1, (213 % 128) / 16 + 8},  // entry 209 is above 7
               {kSeq3Step16 + 1, 270 % 128},
               {kArpTempo, 0},
               {kMultiPartMIDICh, 0}};
  for (const Case& c : cases) EXPECT_EQ(host.Param(c.id), c.value) << c.id;

  // The two last-step rows as the hardware packs them.
  host.randomBytes[91] = 1;
  host.randomBytes[88] = 100;
  for (int id : {(int)kModSeqSwitch, (int)kVPatchAmnt4})
  {
    host.mins[(size_t)id] = 0;
    host.maxs[(size_t)id] = 127;
  }
  CaptureConsole();
  manager->randomizePatchSettings(0);
  CapturedConsole();
  EXPECT_EQ(host.Param(kModSeqLastStep), 14);
  EXPECT_EQ(host.Param(kModSeqType), 1);
  EXPECT_EQ(host.Param(kModSeqKeySync), 0);
}

TEST_F(Randomizer, LockedSectionsKeepEveryByteAndValuesStayInRange)
{
  std::vector<int> locks;
  for (int r = 0; r < kProgramDumpRowCount; ++r)
  {
    const DumpRow& row = kProgramDumpRows[r];
    if (row.lock >= kSectionLockOsc1 && row.lock <= kSectionLockGlobal) locks.push_back(row.lock + row.part);
  }
  unsigned seed = 11;
  for (int lock : locks)
  {
    SCOPED_TRACE(lock);
    host.takeRanges(editor->plug);
    Randomize(seed++);
    host.params[(size_t)lock] = 1.0;
    const std::vector<double> before = host.params;
    const std::vector<uint8_t> dumpBefore = Dump();
    Randomize(seed++);
    const std::vector<uint8_t> dumpAfter = Dump();
    int changedElsewhere = 0;
    for (int r = 0; r < kProgramDumpRowCount; ++r)
    {
      const DumpRow& row = kProgramDumpRows[r];
      const bool mixed = row.codec == kCodecVoice || row.codec == kCodecPack93 || row.codec == kCodecPack21 ||
                         row.codec == kCodecPack45 || row.codec == kCodecPack37;
      if (row.lock + row.part == lock && !mixed)
        EXPECT_EQ(dumpAfter[(size_t)row.raw], dumpBefore[(size_t)row.raw]) << "raw " << row.raw;
      else if (dumpAfter[(size_t)row.raw] != dumpBefore[(size_t)row.raw])
        ++changedElsewhere;
    }
    EXPECT_GT(changedElsewhere, 50);
    for (int id = 0; id < kNumParams; ++id)
    {
      ASSERT_GE(host.params[(size_t)id], host.mins[(size_t)id]) << id;
      ASSERT_LE(host.params[(size_t)id], host.maxs[(size_t)id]) << id;
    }
  }
}

TEST_F(Randomizer, TheProgramSentReadsBackAsTheSameValues)
{
  SynthModel model;
  SimWire wire(host, model);
  host.SetParam(kLibSyncTimer, 7);
  SWELL_SetTimeScale(0.01);
  for (unsigned seed = 1; seed <= 8; ++seed)
  {
    SCOPED_TRACE(seed);
    Randomize(seed * 7919);
    CaptureConsole();
    ASSERT_TRUE(manager->startJob(SenderJob(kSendArrangementToDevice)));
    ASSERT_TRUE(manager->waitIdle(kTransferThread, 20000));
    CapturedConsole();
    SimBytes received;
    {
      std::lock_guard<std::mutex> l(model.lock);
      received = model.editBuffer;
    }
    ASSERT_EQ(received.size(), (size_t)kProgramDumpSize);
    Params back;
    // Start from other values: whatever the parse writes must come out as sent.
    for (int id = 0; id < kNumParams; ++id) back.v[(size_t)id] = host.params[(size_t)id] == 1 ? 2 : 1;
    for (int id = kOverrideTempo; id <= kSectionLockGlobal + 1; ++id) back.v[(size_t)id] = 0;
    back.v[kMultiPartMIDICh] = host.params[kMultiPartMIDICh];
    back.v[kMultiPartMIDICh + 1] = host.params[kMultiPartMIDICh + 1];
    std::vector<bool> written(kNumParams, false);
    const std::vector<double> start = back.v;
    parseProgramDumpParams(received.data(), back, nullptr);
    for (int id = 0; id < kNumParams; ++id) written[(size_t)id] = back.v[(size_t)id] != start[(size_t)id];
    // Every drawn parameter is written by the parse (DWGS only for waveform 5).
    for (int id : {(int)kFilterCutoff, kFilterCutoff + 1, (int)kSeq3Step16, kSeq3Step16 + 1, (int)kArpSwing})
      EXPECT_TRUE(written[(size_t)id] || back.v[(size_t)id] == host.params[(size_t)id]) << id;
    for (int id = 0; id < kNumParams; ++id)
    {
      if (written[(size_t)id] && (id < kDummyParam01 || id > kDummyParam40))
      {
        EXPECT_EQ(back.v[(size_t)id], host.params[(size_t)id]) << "param " << id;
      }
    }
  }
  SWELL_SetTimeScale(1.0);
}

}  // namespace
