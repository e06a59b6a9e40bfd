// Programs and global dumps as the hardware sends them, received by the editor and
// built again for sending: byte for byte what came in, over seeded dumps. The
// expected bytes come from the dump layout over plain doubles (no ranges, no
// controls), the editor's side through its real parameters and controls.

#include "DumpTestSupport.h"
#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "hardware/DumpLayout.h"
#include "hardware/MIDIMessageSender.h"
#include "hardware/SysexPacking.h"
#include "plug/IMidiMsg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool isDummy(int id) { return id >= kDummyParam01 && id <= kDummyParam01 + 39; }

// A program as the hardware sends it: every parameter drawn over its range (the raw
// byte's whole range for the parameters that carry a raw byte), laid out and read
// back once so that the bytes are the layout's own, then the bytes no parameter owns
// drawn freely.
Bytes hardwareProgram(EditorUnderTest& e, std::mt19937& rng)
{
  PlainParams x;
  for (int id = 0; id < kNumParams; ++id)
  {
    const IParam* p = e.GetParam(id);
    double lo = p->GetMin(), hi = p->GetMax();
    if (isDummy(id)) lo = 0, hi = 127;
    const long steps = std::lround(hi - lo);
    x.v[(size_t)id] = lo + (double)(steps > 0 ? (long)(rng() % (unsigned)(steps + 1)) : 0);
  }
  Bytes d = layoutOwnProgram(x);
  for (int r : {19, 20, 25}) d[(size_t)r] = (uint8_t)(rng() & 0x7F);
  std::string name;
  for (int i = 0; i < 12; ++i) name += (char)('A' + rng() % 26);
  writeProgramDumpName(name, d.data());
  return d;
}

void receive(EditorUnderTest& e, Bytes d)
{
  ISysEx s(0, d.data(), (int)d.size());
  e.midiMessageManager->sysexPartPatchParse(&s);
}

Bytes sent(EditorUnderTest& e)
{
  Bytes out = MIDIMessageSender::buildEditorProgram(&e);
  writeProgramDumpName(e.GetParamDisplayText(kPatchName), out.data());
  return out;
}

std::string differences(const Bytes& a, const Bytes& b)
{
  std::string s;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (a[i] != b[i]) s += " raw " + std::to_string(i) + ": " + std::to_string(a[i]) + "->" + std::to_string(b[i]);
  return s;
}

}  // namespace

// With the tempo override off every byte comes back; with it on, only the tempo
// bytes (37, 40, 41) may differ, as the editor's tempo replaces the program's.
TEST(EditorRoundTrip, ProgramsReceivedAndSentBackAreByteIdentical)
{
  const struct
  {
    int overrideTempo;
    unsigned seed;
    int programs;
  } cases[] = {{0, 3301, 1000}, {1, 3302, 200}};
  for (const auto& c : cases)
  {
    SCOPED_TRACE(testing::Message() << "tempo override " << c.overrideTempo);
    DataFolder data;
    EditorUnderTest e;
    e.GetParam(kOverrideTempo)->Set(c.overrideTempo);
    std::mt19937 rng(c.seed);
    for (int n = 0; n < c.programs; ++n)
    {
      Bytes d = hardwareProgram(e, rng);
      receive(e, d);
      Bytes out = sent(e);
      if (c.overrideTempo)
        for (int r : {37, 40, 41}) out[(size_t)r] = d[(size_t)r];
      ASSERT_EQ(differences(d, out), "") << "program " << n;
    }
  }
}

TEST(EditorRoundTrip, ALockedSectionAndAChangedValueGoOutAsTheEditorsOwn)
{
  DataFolder data;
  EditorUnderTest e;
  e.GetParam(kOverrideTempo)->Set(0);
  std::mt19937 rng(3303);
  receive(e, hardwareProgram(e, rng));
  // A value the user set after the dump goes out; every other byte stays the hardware's.
  Bytes d = sent(e);
  const double cutoff = e.GetParam(kFilterCutoff)->Value();
  e.GetParam(kFilterCutoff)->Set(cutoff >= 100 ? 3 : cutoff + 17);
  const Bytes out = sent(e);
  PlainParams read;
  parseProgramDumpParams(out.data(), read, nullptr);
  EXPECT_EQ(read.v[kFilterCutoff], e.GetParam(kFilterCutoff)->Value());
  int changed = 0;
  for (int r = 0; r < kProgramDumpSize; ++r) changed += d[(size_t)r] != out[(size_t)r];
  EXPECT_EQ(changed, 1) << differences(d, out);
}

namespace {

// A global dump as the hardware sends it: every packed byte drawn over 0..127, the
// flag bytes the editor reads drawn over the codes it reads; one time in four raw 5
// has the bits of other data bytes set beside the two signs.
Bytes hardwareGlobal(EditorUnderTest& e, std::mt19937& rng)
{
  Bytes g(kGlobalDumpSize);
  g[0] = 0xF0, g[1] = 0x42, g[2] = 0x30, g[3] = 0x58, g[4] = 0x51, g[kGlobalDumpSize - 1] = 0xF7;
  for (int i = 5; i < kGlobalDumpSize - 1; ++i) g[(size_t)i] = (uint8_t)(rng() & 0x7F);
  if (rng() % 4 != 0) g[5] = (uint8_t)(rng() % 4);
  g[11] = (uint8_t)(rng() % 16);
  g[21] = (uint8_t)(4 * (rng() % 2));
  static const int filters[] = {0, 1, 4, 5, 64, 65, 68, 69};
  g[25] = (uint8_t)filters[rng() % 8];
  // Values within the settings' ranges, as the hardware has them.
  PlainParams v;
  parseGlobalDumpParams(g.data(), v);
  for (int id = kMasterTune; id <= kMIDIFilterWriteProtect; ++id)
    v.v[(size_t)id] = std::min(std::max(v.v[(size_t)id], e.GetParam(id)->GetMin()), e.GetParam(id)->GetMax());
  buildGlobalDumpParams(v, g.data());
  return g;
}

}  // namespace

TEST(EditorRoundTrip, GlobalDumpsReceivedAndSentBackAreByteIdentical)
{
  DataFolder data;
  EditorUnderTest e;
  std::mt19937 rng(3304);
  for (int n = 0; n < 200; ++n)
  {
    const Bytes g = hardwareGlobal(e, rng);
    ISysEx s(0, g.data(), (int)g.size());
    e.midiMessageManager->sysexSettingsParse(&s);
    ASSERT_EQ(differences(g, MIDIMessageSender::buildEditorGlobal(&e)), "") << "global dump " << n;
  }
  // A changed setting writes its own bits only: bit 4 of raw 11, which no parameter
  // owns, and every other byte stay.
  Bytes g = hardwareGlobal(e, rng);
  g[11] = 0x10 | 0x05;
  ISysEx s(0, g.data(), (int)g.size());
  e.midiMessageManager->sysexSettingsParse(&s);
  e.GetParam(kMIDIFilterWriteProtect)->Set(e.GetParam(kMIDIFilterWriteProtect)->Value() == 1.0 ? 0 : 1);
  const Bytes out = MIDIMessageSender::buildEditorGlobal(&e);
  EXPECT_EQ(out[11] & 0x70, 0x10) << differences(g, out);
  EXPECT_EQ(out[11] & 1, (int)e.GetParam(kMIDIFilterWriteProtect)->Value());
  for (int r = 0; r < kGlobalDumpSize; ++r)
    if (r != 11) { EXPECT_EQ(g[(size_t)r], out[(size_t)r]) << "raw " << r; }
}

TEST(EditorRoundTrip, EveryWholeValueFromTheHardwareArrivesExactly)
{
  DataFolder data;
  EditorUnderTest e;
  int checked = 0;
  for (int id = 0; id < kNumParams; ++id)
  {
    IParam* p = e.GetParam(id);
    const double lo = std::ceil(p->GetMin()), hi = std::floor(p->GetMax());
    if (hi - lo > 1000) continue;
    for (double v = lo; v <= hi; v += 1.0)
    {
      e.SetParameterFromPlug(id, v);
      ASSERT_EQ(e.GetParamValue(id), v) << "param " << id << " (" << p->GetNameForHost() << ")";
      ++checked;
    }
  }
  EXPECT_GT(checked, 10000);
  // The arpeggiator tempo of the worst case seen: index 47 and 94 stay whole.
  for (double v : {47.0, 94.0})
  {
    e.SetParameterFromPlug(kArpTempo, v);
    EXPECT_EQ(e.GetParamValue(kArpTempo), v);
  }
}
