// The project state chunk: its exact layout, round trips, and chunks refused whole.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "config/UIConfigManager.h"
#include "editor/PatchManager.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// An independent writer of the layout, from the editor's values.
std::vector<uint8_t> expectedChunk(Davrel& e)
{
  std::vector<uint8_t> out;
  auto be = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
  };
  auto le = [&](uint32_t v) {
    for (int s = 0; s <= 24; s += 8) out.push_back((uint8_t)(v >> s));
  };
  auto dbl = [&](double d) {
    uint8_t b[8];
    memcpy(b, &d, 8);
    out.insert(out.end(), b, b + 8);
  };
  auto text = [&](const std::string& t) {
    le((uint32_t)t.size());
    out.insert(out.end(), t.begin(), t.end());
  };
  be(1);
  dbl(e.GetParam(kQuickTab)->Value());
  be(1);
  be(1);
  be((uint32_t)e.patchManager->snapshot.Size());
  out.insert(out.end(), e.patchManager->snapshot.Data(), e.patchManager->snapshot.Data() + e.patchManager->snapshot.Size());
  for (int i = 0; i < 3; ++i) text("- INIT -");
  for (int id : {kDeviceInSelection, kDeviceOutSelection})
  {
    std::string n = e.GetParam(id)->GetDisplayText(e.GetParam(id)->Int());
    text(n.empty() ? "Set Name" : n);
  }
  for (int id : {kDeviceInSelection, kDeviceOutSelection, kBankSelection, kPatchSelection})
    dbl(e.GetParam(id)->GetNormalized());
  for (int id = 0; id < 473; ++id) dbl(e.GetParam(id)->Value());
  return out;
}

std::vector<uint8_t> save(Davrel& e)
{
  ByteChunk c;
  EXPECT_TRUE(e.SerializeState(&c));
  return std::vector<uint8_t>(c.Data(), c.Data() + c.Size());
}

ByteChunk chunkOf(const std::vector<uint8_t>& bytes)
{
  ByteChunk c;
  c.PutBytes(bytes.data(), (int)bytes.size());
  return c;
}

TEST(StateChunk, AFreshInstanceWritesTheLayoutByteForByte)
{
  DataFolder data;
  EditorUnderTest e;
  const std::vector<uint8_t> chunk = save(e);
  EXPECT_EQ(chunk, expectedChunk(e));
  EXPECT_EQ(e.patchManager->snapshot.Size(), 3796);
  // Worked out by hand: header, the quick tab's double, both version words and the
  // snapshot's length big-endian, then the first name with its little-endian count.
  ASSERT_GT(chunk.size(), 24u + 3796 + 12);
  const uint8_t words[] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0x0E, 0xD4};
  EXPECT_EQ(std::vector<uint8_t>(chunk.begin(), chunk.begin() + 4), std::vector<uint8_t>(words, words + 4));
  EXPECT_EQ(std::vector<uint8_t>(chunk.begin() + 12, chunk.begin() + 24), std::vector<uint8_t>(words + 4, words + 16));
  EXPECT_EQ(std::string(chunk.begin() + 24 + 3796, chunk.begin() + 24 + 3796 + 12), std::string("\x08\0\0\0- INIT -", 12));
  const std::string in = e.GetParam(kDeviceInSelection)->GetDisplayText(0);
  const std::string out = e.GetParam(kDeviceOutSelection)->GetDisplayText(0);
  EXPECT_EQ(chunk.size(), 7680u + (in.empty() ? 8 : in.size()) + (out.empty() ? 8 : out.size()));
  // The reduced chunk of the snapshot: header, quick tab, 473 values.
  ByteChunk reduced;
  e.SerializeState2(&reduced, false);
  EXPECT_EQ(reduced.Size(), 3796);
  EXPECT_EQ(memcmp(reduced.Data(), "\0\0\0\1", 4), 0);
}

TEST(StateChunk, SaveRecallSaveGivesTheSameBytes)
{
  DataFolder data;
  std::vector<uint8_t> first;
  {
    EditorUnderTest a;
    for (int id : {5, 100, 300, 472}) a.GetParam(id)->Set(1.0);
    a.GetParam(kQuickTab)->Set(1.0);
    a.patchManager->names[0] = "Lead One";
    first = save(a);
  }
  EditorUnderTest b;
  ByteChunk c = chunkOf(first);
  EXPECT_EQ(b.UnserializeState(&c, 0), (int)first.size());
  EXPECT_EQ(b.nameLine(), "Project Data Recalled");
  EXPECT_EQ(b.currentPart, 1);
  EXPECT_EQ(b.GetParam(300)->Value(), 1.0);
  // The program name is held at its fixed width and cut again on save.
  EXPECT_EQ(b.patchManager->names[0], std::string("Lead One\0\0\0\0", 12));
  EXPECT_EQ(std::string(b.GetParam(kPatchName)->GetDisplayText(0)), "Lead One");
  EXPECT_EQ(b.knownProgramName, "Lead One");  // the same name entered is no change
  EXPECT_EQ(save(b), first);
  // No output port on this machine: nothing is sent, nothing is started.
  EXPECT_FALSE(b.midiOutSet);
  EXPECT_TRUE(b.jobs.empty());
  EXPECT_TRUE(b.takeSent().empty());
}

TEST(StateChunk, ACutOrForeignChunkIsRefusedWholeAndChangesNothing)
{
  DataFolder data;
  EditorUnderTest e;
  const std::vector<uint8_t> good = save(e);
  std::vector<std::vector<uint8_t>> bad;
  for (size_t n : {0ul, 3ul, 4ul, 12ul, 20ul, 100ul, 3820ul, good.size() - 3785, good.size() - 3784, good.size() - 1})
    bad.emplace_back(good.begin(), good.begin() + (long)n);
  std::vector<uint8_t> v = good;
  v[3] = 2;  // another header word
  bad.push_back(v);
  v = good;
  v[12 + 3] = 7;  // another version word of the patch manager block
  bad.push_back(v);
  v = good;
  v[20] = 0x7F;  // a snapshot length far past the end
  bad.push_back(v);
  // The framework's own layout: its magic and version, then values.
  v.assign({'t', 'f', 'f', 'p', 0, 0, 1, 0});
  v.resize(8 + 529 * 8, 0);
  bad.push_back(v);

  for (int id : {5, 300}) e.GetParam(id)->Set(1.0);
  e.GetParam(kQuickTab)->Set(1.0);
  e.currentPart = 1;
  e.patchManager->names[1] = "Keep Me";
  const std::vector<uint8_t> before = save(e);
  for (size_t i = 0; i < bad.size(); ++i)
  {
    ByteChunk c = chunkOf(bad[i]);
    EXPECT_EQ(e.UnserializeState(&c, 0), 0) << i;
    EXPECT_EQ(save(e), before) << i;
    EXPECT_EQ(e.currentPart, 1) << i;
    EXPECT_NE(e.nameLine(), "Project Data Recalled");
  }
}

TEST(StateChunk, FlagsFollowTheRecalledParameters)
{
  DataFolder data;
  std::vector<uint8_t> chunk;
  {
    EditorUnderTest a;
    a.GetParam(kMIDIFilterHWCCPassThrough + 6)->Set(0.0);  // hardware system exclusive blocked
    a.GetParam(kMIDIFilterDAWCCPassThrough + 1)->Set(1.0);  // host program change passes
    a.GetParam(kMIDIFilterToDAWBuffer)->Set(1.0);
    a.GetParam(kSendMIDIClockInfo)->Set(1.0);
    a.GetParam(kMIDIFilterTrackIncomingMIDI)->Set(0.0);
    a.GetParam(kMasterKeyboard)->Set(0.0);
    chunk = save(a);
  }
  EditorUnderTest b;
  EXPECT_FALSE(b.hardwareFilterBlock[kFilterSysEx]);
  ByteChunk c = chunkOf(chunk);
  ASSERT_GT(b.UnserializeState(&c, 0), 0);
  EXPECT_TRUE(b.hardwareFilterBlock[kFilterSysEx]);
  EXPECT_FALSE(b.dawFilterBlock[kFilterProgramChange]);
  EXPECT_TRUE(b.dawFilterBlock[kFilterSysEx]);
  EXPECT_TRUE(b.bufferedMidiOut);
  EXPECT_TRUE(b.sendClockTicks);
  EXPECT_FALSE(b.ledTracksIncoming);
}

// An editor whose chosen ports the port layer reports gone.
struct PortsGoneEditor : RecordingEditor
{
  void portsGone() { mMidiPorts.SetMidiPortsMissing(true); }
};

// While a chosen port is gone its menu entry carries the mark; a project saved then
// names the port itself, which a recall looks for once it is back.
TEST(StateChunk, APortGoneWhenSavedIsSavedByItsNameNotItsMark)
{
  DataFolder data;
  UnderTest<PortsGoneEditor> e;
  const struct
  {
    int param, slot;
    std::string name;
  } ports[] = {{kDeviceOutSelection, Patch::kOutName, "Rudu3@p12:MIDI Out"},
               {kDeviceInSelection, Patch::kInName, "Rudu3@p12:MIDI In"}};
  for (const auto& p : ports)
  {
    e.GetParam(p.param)->InitEnum("Device Selection", 0, 2, "", "");
    e.GetParam(p.param)->SetDisplayText(1, p.name.c_str());
    e.GetParam(p.param)->Set(1);
  }
  e.midiOutPortIndex = e.midiInPortIndex = 1;
  e.portsGone();
  e.OnIdle();
  const std::vector<uint8_t> chunk = save(e);
  const std::string bytes(chunk.begin(), chunk.end());
  for (const auto& p : ports)
  {
    ASSERT_EQ(e.GetParam(p.param)->GetDisplayText(1), p.name + kMissingPortMark);
    EXPECT_EQ(e.patchManager->names[p.slot], p.name);
    // With its count, little-endian, as the layout has it.
    EXPECT_NE(bytes.find(std::string{(char)p.name.size(), 0, 0, 0} + p.name), std::string::npos) << p.name;
  }
  EXPECT_EQ(bytes.find(kMissingPortMark), std::string::npos);
}

TEST(StateChunk, PatchManagerBlockReadsStringsByTheirCounts)
{
  ByteChunk block;
  PatchManager pm(nullptr);
  pm.snapshot.PutBytes("abc", 3);
  pm.names[0] = std::string("Name\0Tail", 9);
  pm.names[3] = "In Port";
  pm.names[4] = "";
  pm.saveAllToChunk(&block);
  ByteChunk snap;
  std::string names[5];
  ASSERT_EQ(PatchManager::readBlock(&block, 0, &snap, names), block.Size());
  EXPECT_EQ(snap.Size(), 3);
  EXPECT_EQ(names[0], std::string("Name\0\0\0\0\0\0\0\0", 12));
  EXPECT_EQ(names[1], std::string("- INIT -\0\0\0\0", 12));
  EXPECT_EQ(names[3], "In Port");
  EXPECT_EQ(names[4], "");
  // A negative count is refused rather than stepping back.
  ByteChunk neg;
  neg.PutBytes(block.Data(), 12 + 3);
  const int32_t minus = -4;
  neg.PutValue(&minus);
  EXPECT_EQ(PatchManager::readBlock(&neg, 0, &snap, names), -1);
}

}  // namespace

namespace {

struct Flags
{
  std::vector<bool> all;
  explicit Flags(Davrel& e)
  {
    for (int i = 0; i < kNumMidiFilterClasses; ++i) all.push_back(e.hardwareFilterBlock[i]), all.push_back(e.dawFilterBlock[i]);
    for (bool b : {e.ledTracksIncoming.load(), e.bufferedMidiOut.load(), e.sendClockTicks.load(), e.sendClockStartStop.load()})
      all.push_back(b);
  }
};

}  // namespace

TEST(StateChunk, AFreshProjectSavedAndReopenedStillHears)
{
  DataFolder data;
  EditorUnderTest a;
  // The start values pass everything but host program change and host and hardware
  // system exclusive... as the flags say; each switch's value agrees with its flag.
  const Flags fresh(a);
  EXPECT_FALSE(a.hardwareFilterBlock[kFilterSysEx]);
  EXPECT_FALSE(a.hardwareFilterBlock[kFilterNotes]);
  EXPECT_TRUE(a.ledTracksIncoming);
  for (int i = 0; i < Davrel::kFilterClasses; ++i)
  {
    EXPECT_EQ(a.GetParam(kMIDIFilterHWCCPassThrough + i)->Value() != 1.0, (bool)a.hardwareFilterBlock[Davrel::filterClassOf(i)]) << i;
    EXPECT_EQ(a.GetParam(kMIDIFilterDAWCCPassThrough + i)->Value() != 1.0, (bool)a.dawFilterBlock[Davrel::filterClassOf(i)]) << i;
  }
  const std::vector<uint8_t> chunk = save(a);
  // Reopened in a fresh editor, and read back into the same one.
  EditorUnderTest b;
  ByteChunk c = chunkOf(chunk);
  ASSERT_GT(b.UnserializeState(&c, 0), 0);
  EXPECT_EQ(Flags(b).all, fresh.all);
  ByteChunk again = chunkOf(chunk);
  ASSERT_GT(a.UnserializeState(&again, 0), 0);
  EXPECT_EQ(Flags(a).all, fresh.all);
}

TEST(StateChunk, OffGridSwitchValuesAreSnappedBeforeTheFlagsAreDerived)
{
  DataFolder data;
  std::vector<uint8_t> chunk;
  {
    EditorUnderTest a;
    a.GetParam(kMIDIFilterHWCCPassThrough + 6)->Set(0.6);  // hardware system exclusive: nearer pass
    a.GetParam(kMIDIFilterHWCCPassThrough + 2)->Set(0.4);  // hardware CC: nearer block
    a.GetParam(kMIDIFilterTrackIncomingMIDI)->Set(0.7);
    a.GetParam(kGlobalLocalControl)->Set(1e-300);
    a.GetParam(kMasterKeyboard)->Set(0.9999);
    a.GetParam(kGlobalMidiChannel)->Set(4.7);
    chunk = save(a);
  }
  EditorUnderTest b;
  ByteChunk c = chunkOf(chunk);
  ASSERT_GT(b.UnserializeState(&c, 0), 0);
  EXPECT_EQ(b.GetParam(kMIDIFilterHWCCPassThrough + 6)->Value(), 1.0);
  EXPECT_FALSE(b.hardwareFilterBlock[Davrel::filterClassOf(6)]);
  EXPECT_EQ(b.GetParam(kMIDIFilterHWCCPassThrough + 2)->Value(), 0.0);
  EXPECT_TRUE(b.hardwareFilterBlock[Davrel::filterClassOf(2)]);
  EXPECT_EQ(b.GetParam(kMIDIFilterTrackIncomingMIDI)->Value(), 1.0);
  EXPECT_TRUE(b.ledTracksIncoming);
  EXPECT_EQ(b.GetParam(kGlobalLocalControl)->Value(), 0.0);
  EXPECT_FALSE(b.localControlOn);
  EXPECT_EQ(b.GetParam(kMasterKeyboard)->Value(), 1.0);
  EXPECT_TRUE(b.masterKeyboardOn);
  EXPECT_EQ(b.GetParam(kGlobalMidiChannel)->Value(), 5.0);
  EXPECT_EQ(b.sysexChannelByte, 0x35);
}
