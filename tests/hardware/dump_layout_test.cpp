// The dump tables: parse(build(p)) == p over random dumps, and the listed edge cases.
#include "hardware/DumpLayout.h"
#include "hardware/MIDIMessageSender.h"
#include "hardware/SysexMessages.h"
#include "hardware/SysexPacking.h"

#include "config/ParamIds.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace
{
struct Params : DumpParamAccess
{
  std::vector<double> v = std::vector<double>(kNumParams, 0.0);
  double value(int id) override { return v.at((size_t)id); }
  void setValue(int id, double x) override { v.at((size_t)id) = x; }
};

std::vector<uint8_t> blankDump()
{
  std::vector<uint8_t> d(kProgramDumpSize);
  makeBlankProgramDump(0x30, d.data());
  return d;
}

// A random well-formed dump: every data byte 7-bit, packing bytes random; raw 24 from
// the codes the hardware uses (others set no parameter at all).
std::vector<uint8_t> randomDump(std::mt19937& rng)
{
  std::vector<uint8_t> d = blankDump();
  for (int r = 19; r <= 295; ++r) d[(size_t)r] = (uint8_t)(rng() & 0x7F);
  static const int modes[] = {0, 16, 32, 64, 80, 96, 112};
  d[24] = (uint8_t)modes[rng() % 7];
  // Hardware values the parser singles out, so each branch is met often.
  if (rng() % 2) d[37] = (uint8_t)(8 * (rng() % 4));
  if (rng() % 2) d[40] = 1;
  if (rng() % 3 == 0) d[57] = 5, d[180] = 5;
  // Channels are 0..15, or 0x7F for the global channel.
  d[49] = (uint8_t)(rng() % 16);
  d[172] = (uint8_t)(rng() % 16);
  if (rng() % 3 == 0) d[49] = 0x7F, d[45] |= 0x08;
  if (rng() % 3 == 0) d[172] = 0x7F;
  return d;
}
}  // namespace

TEST(DumpLayout, TableCoversEveryRawByteOnceInOrder)
{
  ASSERT_EQ(kProgramDumpRowCount, 275);
  for (int r = 0; r < kProgramDumpRowCount; ++r) EXPECT_EQ(kProgramDumpRows[r].raw, 21 + r);
}

// The parameter each plain byte of a program dump feeds, from the synthesizer's
// program table and written apart from the layout (a round trip cannot tell two of
// its rows swapped): {first byte, its parameter, bytes in the run feeding every
// second parameter id, the value's offset from the byte}.
TEST(DumpLayout, EachPlainByteFeedsItsOwnParameterAlone)
{
  struct Run
  {
    int raw, param, n = 1, offset = 0;
  };
  const Run runs[] = {
      {22, kDummyParam06}, {23, kDummyParam07}, {26, kCommonSplitPoint}, {27, kDelayFxSyncNote}, {28, kDelayFxTime},
      {29, kDummyParam02}, {30, kDelayFxDepth}, {31, kDelayFxType}, {32, kModFxSpeed}, {33, kModFxDepth},
      {34, kModFxType}, {35, kEQHiFreq}, {36, kEQHiGain, 1, -52}, {38, kEQLowFreq}, {39, kEQLowGain, 1, -52},
      {44, kArpGate}, {46, kArpReso}, {48, kDummyParam08}, {51, kDetune}, {52, kTimbreTune, 1, -14},
      {53, kDummyParam09}, {54, kTimbreBendRange, 1, -52}, {55, kTimbreTranspose, 1, -40}, {56, kVibratoInt},
      {57, kOsc1Waveform}, {58, kOsc1Control1, 2}, {61, kDummyParam10}, {62, kDummyParam11}, {65, kOsc2Tune},
      {66, kPortamento}, {67, kOsc1Level, 2}, {69, kDummyParam12}, {70, kNoiseLevel}, {71, kFilterType},
      {72, kFilterCutoff, 2}, {74, kFilterEGIntensity, 3}, {77, kDummyParam13}, {78, kAmpLevel, 2},
      {81, kAmpVeloSense, 2}, {83, kEG1Attack, 2}, {85, kDummyParam14}, {86, kEG1Sustain, 2}, {88, kEG2Attack, 4},
      {94, kLfo1Frequency}, {95, kLfo1SyncNote}, {97, kLfo2Frequency}, {98, kLfo2SyncNote}, {100, kVPatchAmnt1},
      {101, kModSeqSwitch}, {103, kVPatchAmnt2}, {105, kVPatchAmnt3}, {107, kVPatchAmnt4}, {111, kSeq1Knob, 2},
      {113, kSeq1Step1, 4}, {117, kDummyParam15}, {118, kSeq1Step5, 7}, {125, kDummyParam16}, {126, kSeq1Step12, 5},
      {131, kSeq2Knob, 2}, {133, kDummyParam17}, {134, kSeq2Step1, 7}, {141, kDummyParam18}, {142, kSeq2Step8, 7},
      {149, kDummyParam19}, {150, kSeq2Step15, 2}, {152, kSeq3Knob, 2}, {154, kSeq3Step1, 3}, {157, kDummyParam20},
      {158, kSeq3Step4, 7}, {165, kDummyParam21}, {166, kSeq3Step11, 6}, {175, kDetune+1},
      {176, kTimbreTune+1, 1, -14}, {177, kTimbreBendRange+1, 1, -52}, {178, kTimbreTranspose+1, 1, -40},
      {179, kVibratoInt+1}, {180, kOsc1Waveform+1}, {181, kDummyParam22}, {182, kOsc1Control1+1, 2},
      {185, kDummyParam23}, {188, kOsc2Tune+1}, {189, kDummyParam24}, {190, kPortamento+1}, {191, kOsc1Level+1, 3},
      {194, kFilterType+1}, {195, kFilterCutoff+1, 2}, {197, kDummyParam25}, {198, kFilterEGIntensity+1, 3},
      {201, kAmpLevel+1, 2}, {204, kAmpVeloSense+1}, {205, kDummyParam26}, {206, kAmpKBDTrack+1},
      {207, kEG1Attack+1, 4}, {211, kEG2Attack+1, 2}, {214, kEG2Sustain+1, 2}, {217, kLfo1Frequency+1},
      {218, kLfo1SyncNote+1}, {220, kLfo2Frequency+1}, {221, kLfo2TempoSync+1, 2}, {224, kVPatchAmnt1+1},
      {226, kVPatchAmnt2+1}, {228, kVPatchAmnt3+1}, {231, kVPatchAmnt4+1}, {234, kSeq1Knob+1, 2}, {236, kSeq1Step1+1},
      {237, kDummyParam27}, {238, kSeq1Step2+1, 7}, {245, kDummyParam28}, {246, kSeq1Step9+1, 7},
      {253, kDummyParam29}, {254, kSeq1Step16+1}, {255, kSeq2Knob+1, 2}, {257, kSeq2Step1+1, 4}, {261, kDummyParam30},
      {262, kSeq2Step5+1, 7}, {269, kDummyParam31}, {270, kSeq2Step12+1, 5}, {275, kSeq3Knob+1, 2},
      {277, kDummyParam32}, {278, kSeq3Step1+1, 7}, {285, kDummyParam33}, {286, kSeq3Step8+1, 7},
      {293, kDummyParam34}, {294, kSeq3Step15+1},
  };
  Params blank;
  parseProgramDumpParams(blankDump().data(), blank, nullptr);
  for (const Run& r : runs)
    for (int i = 0; i < r.n; ++i)
    {
      std::vector<uint8_t> d = blankDump();
      d[(size_t)(r.raw + i)] = 0x55;
      Params got;
      parseProgramDumpParams(d.data(), got, nullptr);
      for (int id = 0; id < kNumParams; ++id)
        EXPECT_EQ(got.v[(size_t)id], id == r.param + 2 * i ? 0x55 + r.offset : blank.v[(size_t)id])
            << "raw " << r.raw + i << ", parameter " << id;
    }
}

TEST(DumpLayout, ParseOfBuildGivesBackEveryParameterOfRandomDumps)
{
  std::mt19937 rng(20261207);
  for (int n = 0; n < 3000; ++n)
  {
    const std::vector<uint8_t> d = randomDump(rng);
    Params p1;
    parseProgramDumpParams(d.data(), p1, nullptr);
    std::vector<uint8_t> built = blankDump();
    buildProgramDumpParams(p1, built.data());
    ASSERT_TRUE(isProgramDump(built.data(), (int)built.size())) << n;
    Params p2;
    parseProgramDumpParams(built.data(), p2, nullptr);
    for (int id = 0; id < kNumParams; ++id)
      ASSERT_EQ(p1.v[(size_t)id], p2.v[(size_t)id]) << "dump " << n << " param " << id;
    // Building again from what was parsed is stable byte for byte.
    std::vector<uint8_t> again = blankDump();
    buildProgramDumpParams(p2, again.data());
    ASSERT_EQ(built, again) << n;
  }
}

TEST(DumpLayout, ProgramEdgeCases)
{
  struct Case
  {
    std::map<int, int> raw;
    std::map<int, double> before;  // parameter values before the parse (locks, waveform)
    int param;
    double expected;
  };
  const Case cases[] = {
      {{{41, 44}, {40, 1}, {37, 0}}, {}, kArpTempo, 280},
      {{{41, 44}, {40, 1}, {37, 8}}, {}, kArpTempo, 152},
      {{{41, 44}, {40, 0}, {37, 8}}, {}, kArpTempo, 152},
      {{{37, 17}}, {{kArpOnOff, 1}}, kArpOnOff, 0},
      {{{37, 24}}, {}, kArpOnOff, 1},
      {{{64, 52}}, {}, kOsc2Semitone, 32},
      {{{64, 88}}, {}, kOsc2Semitone, 127},
      {{{64, 20}}, {}, kOsc2Semitone, 20},
      {{{187, 52}}, {}, kOsc2Semitone + 1, 32},
      {{{41, 44}, {37, 8}}, {{kSectionLockArp, 1.0}, {kArpTempo, 99}}, kArpTempo, 24},  // tempo obeys its own lock
      {{{41, 44}, {37, 8}}, {{kSectionLockArp, 1.0}, {kOverrideTempo, 1.0}, {kArpTempo, 99}}, kArpTempo, 99},
      {{{60, 9}, {57, 3}}, {{kOsc1DWGSWave, 4}}, kOsc1DWGSWave, 4},
      {{{60, 9}, {57, 5}}, {{kOsc1DWGSWave, 4}}, kOsc1DWGSWave, 9},
      {{{49, 7}}, {{kLockPartMIDIch, 1.0}, {kMultiPartMIDICh, 3}}, kMultiPartMIDICh, 3},
      {{{49, 7}}, {{kLockPartMIDIch, 0.99}, {kMultiPartMIDICh, 3}}, kMultiPartMIDICh, 7},
      {{{49, 0x7F}, {45, 0x08}}, {}, kMultiPartMIDICh, 16},
      {{{172, 0x7F}, {165, 0x40}}, {}, kMultiPartMIDICh + 1, 16},
      {{{172, 0x7F}, {165, 0x00}}, {{kMultiPartMIDICh + 1, 4}}, kMultiPartMIDICh + 1, 4},
      {{{24, 16}, {21, 4}}, {}, kCommonVoices, 2},
      {{{24, 16}, {21, 0}}, {}, kCommonVoices, 0},
      {{{47, 30}, {45, 2}}, {}, kArpSwing, 2},
      {{{47, 30}, {45, 0}}, {}, kArpSwing, 130},
      {{{110, 0x35}, {109, 1}}, {}, kModSeqLastStep, 11},
      {{{233, 0x35}, {229, 8}}, {}, kModSeqLastStep + 1, 11},
      {{{50, 0x40}, {45, 0x10}}, {}, kVoiceAssign, 2},
      {{{174, 0x40}, {173, 1}}, {}, kVoiceAssign + 1, 2},
      // The last byte is timbre 2's last step of sequence 3 and nothing else.
      {{{295, 9}}, {{kMultiPartMIDICh, 2}, {kMultiPartMIDICh + 1, 3}}, kSeq3Step16 + 1, 9},
      {{{295, 9}}, {{kMultiPartMIDICh, 2}, {kMultiPartMIDICh + 1, 3}}, kMultiPartMIDICh, 2},
      {{{295, 9}}, {{kMultiPartMIDICh, 2}, {kMultiPartMIDICh + 1, 3}}, kMultiPartMIDICh + 1, 3},
      {{{295, 9}, {21, 16}}, {}, kDummyParam01, 16},
  };
  int i = 0;
  for (const Case& c : cases)
  {
    std::vector<uint8_t> d = blankDump();
    d[49] = 0x10;  // no channel unless the case gives one
    d[172] = 0x7F;
    for (auto& kv : c.raw) d[(size_t)kv.first] = (uint8_t)kv.second;
    Params p;
    for (auto& kv : c.before) p.v[(size_t)kv.first] = kv.second;
    ProgramParseResult res;
    parseProgramDumpParams(d.data(), p, &res);
    EXPECT_EQ(p.v[(size_t)c.param], c.expected) << "case " << i;
    ++i;
  }
}

TEST(DumpLayout, LockedChannelIsPutBackAndReported)
{
  std::vector<uint8_t> d = blankDump();
  d[49] = 7;
  d[172] = 9;
  Params p;
  p.v[kLockPartMIDIch] = 1.0;
  p.v[kMultiPartMIDICh] = 3;
  p.v[kMultiPartMIDICh + 1] = 9;
  ProgramParseResult res;
  parseProgramDumpParams(d.data(), p, &res);
  EXPECT_TRUE(res.channelRestored[0]);
  EXPECT_FALSE(res.channelRestored[1]);
  EXPECT_EQ(p.v[kMultiPartMIDICh], 3);
}

TEST(DumpLayout, NameFieldSkipsThePackingByteAndMasksBitSeven)
{
  struct Case
  {
    std::string name;
    std::vector<uint8_t> field;  // raw 6..18
  };
  const uint8_t S = ' ';
  const Case cases[] = {
      {"Bass", {'B', 'a', 's', 's', 0, S, S, 0, S, S, S, S, S}},
      {"Twelve Chars", {'T', 'w', 'e', 'l', 'v', 'e', ' ', 0, 'C', 'h', 'a', 'r', 's'}},
      {"Nine Char", {'N', 'i', 'n', 'e', ' ', 'C', 'h', 0, 'a', 'r', S, S, S}},
      {"Longer than twelve", {'L', 'o', 'n', 'g', 'e', 'r', ' ', 0, 't', 'h', 'a', 'n', ' '}},
      {std::string("\xC1\xE2", 2), {'A', 'b', 0, S, S, S, S, 0, S, S, S, S, S}},
  };
  for (const Case& c : cases)
  {
    std::vector<uint8_t> d = blankDump();
    writeProgramDumpName(c.name, d.data());
    EXPECT_EQ(std::vector<uint8_t>(d.begin() + 6, d.begin() + 19), c.field) << c.name;
    EXPECT_TRUE(isProgramDump(d.data(), (int)d.size())) << c.name;
  }
}

TEST(DumpLayout, MasterTuneAndTransposeAreSignedDataBytes)
{
  // Worked by hand from the layout: data byte 0 (raw 6, bit 7 in raw 5 bit 0) is the
  // tune and data byte 1 (raw 7, bit 7 in raw 5 bit 1) the transpose, each a signed
  // byte; the parameters put 0 mid-range (tune 0..100, transpose 0..24).
  struct Row
  {
    uint8_t raw5, raw6, raw7;
    double tune, transpose;
  };
  const Row rows[] = {
      {0x00, 0x00, 0x00, 50, 12},   // 0 cents, 0 semitones: the defaults
      {0x00, 0x32, 0x0C, 100, 24},  // +50, +12
      {0x03, 0x4E, 0x74, 0, 0},     // 0xCE = -50, 0xF4 = -12
      {0x01, 0x7F, 0x01, 49, 13},   // 0xFF = -1, +1
      {0x02, 0x0A, 0x7F, 60, 11},   // +10, 0xFF = -1
      {0x45, 0x76, 0x05, 40, 17},   // bits 2 and 6 belong to data bytes 2 and 6
  };
  for (const Row& r : rows)
  {
    std::vector<uint8_t> g(kGlobalDumpSize, 0);
    g[0] = 0xF0, g[1] = 0x42, g[2] = 0x30, g[3] = 0x58, g[4] = 0x51, g[234] = 0xF7;
    g[5] = r.raw5, g[6] = r.raw6, g[7] = r.raw7;
    Params p;
    parseGlobalDumpParams(g.data(), p);
    EXPECT_EQ(p.v[kMasterTune], r.tune) << (int)r.raw6;
    EXPECT_EQ(p.v[kMasterTranspose], r.transpose) << (int)r.raw7;
    // Written back from the values over blank stored bytes: the same three bytes,
    // save the bits of raw 5 no sign owns.
    std::vector<uint8_t> out(kGlobalDumpSize, 0);
    out[0] = 0xF0, out[234] = 0xF7;
    buildGlobalDumpParams(p, out.data());
    EXPECT_EQ(out[5], r.raw5 & 0x03) << (int)r.raw6;
    EXPECT_EQ(out[6], r.raw6);
    EXPECT_EQ(out[7], r.raw7);
  }
}

TEST(DumpLayout, GlobalRoundTripAndEdgeCases)
{
  // Every value of the parser's image comes back through the builder.
  for (int b = 0; b < 128; ++b)
    for (int sign = 0; sign < 2; ++sign)
    {
      int byte;
      bool s;
      encodeMasterTune(decodeMasterTune(b, sign), &byte, &s);
      EXPECT_EQ(decodeMasterTune(byte, s), decodeMasterTune(b, sign));
      encodeMasterTranspose(decodeMasterTranspose(b, sign), &byte, &s);
      EXPECT_EQ(decodeMasterTranspose(byte, s), decodeMasterTranspose(b, sign));
    }

  std::mt19937 rng(7);
  for (int n = 0; n < 500; ++n)
  {
    std::vector<uint8_t> g(kGlobalDumpSize, 0);
    g[0] = 0xF0, g[1] = 0x42, g[2] = 0x30, g[3] = 0x58, g[4] = 0x51, g[234] = 0xF7;
    for (int i = 6; i < 234; ++i)
      if ((i - 5) % 8) g[(size_t)i] = (uint8_t)(rng() & 0x7F);
    g[5] = (uint8_t)(rng() & 0x7F);
    g[11] = (uint8_t)(rng() % 16);
    g[21] = (uint8_t)(4 * (rng() % 2));
    static const int filters[] = {0, 1, 4, 5, 64, 65, 68, 69};
    g[25] = (uint8_t)filters[rng() % 8];
    Params p1, p2;
    parseGlobalDumpParams(g.data(), p1);
    std::vector<uint8_t> built = g;
    buildGlobalDumpParams(p1, built.data());
    EXPECT_EQ(built, g) << n;  // values the parser reads come back byte for byte
    parseGlobalDumpParams(built.data(), p2);
    ASSERT_EQ(p1.v, p2.v);
  }

  struct Case
  {
    int raw, byte;
    std::vector<std::pair<int, double>> expected;
  };
  const Case cases[] = {
      {11, 13, {{kMIDIFilterWriteProtect, 1}, {kGlobalPageMemory, 0}, {kGlobalLocalControl, 1}, {kGlobalPageJump, 1}}},
      {11, 16, {{kMIDIFilterWriteProtect, -1}, {kGlobalPageMemory, -1}, {kGlobalLocalControl, -1}, {kGlobalPageJump, -1}}},
      {25, 65, {{kMIDIFilterProgramChange, 1}, {kMIDIFilterControlChange, 0}, {kMIDIFilterPitchBend, 1}}},
      {25, 2, {{kMIDIFilterProgramChange, -1}, {kMIDIFilterControlChange, -1}, {kMIDIFilterPitchBend, -1}}},
      {21, 4, {{kMIDIFilterSysEx, 1}}},
      {21, 5, {{kMIDIFilterSysEx, -1}}},
  };
  for (const Case& c : cases)
  {
    std::vector<uint8_t> g(kGlobalDumpSize, 0);
    g[(size_t)c.raw] = (uint8_t)c.byte;
    if (c.raw != 21) g[21] = 9;
    if (c.raw != 25) g[25] = 9;
    if (c.raw != 11) g[11] = 99;
    Params p;
    for (auto& e : c.expected) p.v[(size_t)e.first] = -1;
    parseGlobalDumpParams(g.data(), p);
    for (auto& e : c.expected) EXPECT_EQ(p.v[(size_t)e.first], e.second) << c.raw << "=" << c.byte << " param " << e.first;
  }
}

TEST(MessageSet, BodiesAndPacking)
{
  EXPECT_EQ(makeRequestBody(0x10, 0x35), (std::vector<uint8_t>{0x42, 0x35, 0x58, 0x10}));
  EXPECT_EQ(makeRequestBody(0x0E, 0x30), (std::vector<uint8_t>{0x42, 0x30, 0x58, 0x0E}));
  EXPECT_EQ(makeWriteRequestBody(0x30, 127), (std::vector<uint8_t>{0x42, 0x30, 0x58, 0x11, 0x00, 0x7F}));
  EXPECT_EQ(makeEditModeBody(0x31, true), (std::vector<uint8_t>{0x42, 0x31, 0x58, 0x4E, 0x01, 0x00}));
  EXPECT_EQ(makeEditModeBody(0x31, false), (std::vector<uint8_t>{0x42, 0x31, 0x58, 0x4E, 0x00, 0x00}));
  // A negative value travels as vh 7F and vl 128 + value, and reads back.
  const std::vector<uint8_t> neg = makeParameterChangeBody(0x30, 0x10A, -5);
  EXPECT_EQ(neg, (std::vector<uint8_t>{0x42, 0x30, 0x58, 0x41, 0x0A, 0x02, 123, 0x7F}));
  EXPECT_EQ(parameterChangeValue(neg[6], neg[7]), -5);
  EXPECT_EQ(parameterChangeValue(100, 0), 100);

  // A data value of 200 in the first byte of a group: 0x48 in its raw byte and bit 0
  // of the group's packing byte; every data index round-trips through the raw space.
  std::vector<uint8_t> d = blankDump();
  writeDumpDataByte(d.data(), 14, 200);
  EXPECT_EQ(d[22], 0x48);
  EXPECT_EQ(d[21], 0x01);
  for (int i = 0; i < kProgramDataSize; ++i) writeDumpDataByte(d.data(), i, (i * 37) & 0xFF);
  uint8_t data[kProgramDataSize];
  ASSERT_TRUE(readProgramData(d.data(), (int)d.size(), data));
  for (int i = 0; i < kProgramDataSize; ++i)
  {
    EXPECT_EQ(readDumpDataByte(d.data(), i), (i * 37) & 0xFF);
    EXPECT_EQ(data[i], (i * 37) & 0xFF);  // the independent unpacker agrees
  }
}

TEST(MessageSet, CheckSumIsTheDataBytesSumModulo128)
{
  const std::pair<std::vector<unsigned char>, int> table[] = {
      {{}, 0},
      {{0x7F, 0x01}, 0},
      {{0x7F, 0x7F, 0x7F}, 125},
      {{0x42, 0x30, 0x58, 0x10}, 90},
  };
  for (const auto& t : table) EXPECT_EQ(calculateCheckSum(t.first), t.second);
  // Against a plain sum over random data bytes of a program dump's length.
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round)
  {
    std::vector<unsigned char> data((size_t)(rng() % 300));
    long sum = 0;
    for (unsigned char& b : data) sum += (b = (unsigned char)(rng() & 0x7F));
    EXPECT_EQ(calculateCheckSum(data), (int)(sum % 128)) << round;
  }
}
