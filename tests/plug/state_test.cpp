#include "TestFiles.h"
#include "TestPlug.h"
#include "plug/Base64.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

namespace {

namespace fs = std::filesystem;

// Expected file and chunk bytes, field by field.
struct Bytes
{
  std::vector<uint8_t> v;
  Bytes& tag(const char* s) { return raw(s, 4); }
  Bytes& be(uint32_t x)
  {
    const uint8_t b[4] = {(uint8_t)(x >> 24), (uint8_t)(x >> 16), (uint8_t)(x >> 8), (uint8_t)x};
    return raw(b, 4);
  }
  Bytes& bef(float f)
  {
    uint32_t u;
    memcpy(&u, &f, 4);
    return be(u);
  }
  Bytes& le32(int32_t x) { return raw(&x, 4); }
  Bytes& led(double d) { return raw(&d, 8); }
  Bytes& byte(uint8_t b) { return raw(&b, 1); }
  Bytes& zeros(int n)
  {
    v.insert(v.end(), (size_t)n, 0);
    return *this;
  }
  Bytes& name28(const char* s)
  {
    const size_t n = strlen(s);
    raw(s, (int)n);
    return zeros(28 - (int)n);
  }
  Bytes& text(const char* s)
  {
    le32((int32_t)strlen(s));
    return raw(s, (int)strlen(s));
  }
  Bytes& raw(const void* p, int n)
  {
    v.insert(v.end(), (const uint8_t*)p, (const uint8_t*)p + n);
    return *this;
  }
};

std::vector<uint8_t> ChunkBytes(const ByteChunk& c)
{
  return c.Size() ? std::vector<uint8_t>(c.Data(), c.Data() + c.Size()) : std::vector<uint8_t>();
}

ByteChunk ToChunk(const std::vector<uint8_t>& v)
{
  ByteChunk c;
  c.PutBytes(v.data(), (int)v.size());
  return c;
}

// Three automatable parameters: an int 0..127, a double -1..1 and a bool.
std::unique_ptr<RecordingPlug> PresetPlug(int nPresets, bool chunks = true)
{
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(3, nPresets, chunks));
  p->GetParam(0)->InitInt("Level", 10, 0, 127, "", "", -1, -1);
  p->GetParam(1)->InitDouble("Pan", 0.5, -1.0, 1.0, 0.01, "", "", -1, -1);
  p->GetParam(2)->InitBool("On", true, "", "", -1, -1);
  return p;
}

std::vector<double> Values(const IPlugBase& p)
{
  std::vector<double> v;
  for (int i = 0; i < p.NParams(); ++i) v.push_back(p.GetParam(i)->Value());
  return v;
}

std::vector<double> ChunkDoubles(const ByteChunk& c)
{
  std::vector<double> v;
  double d;
  for (int pos = 0; (pos = c.GetValue(&d, pos)) > 0;) v.push_back(d);
  return v;
}

// The preset list block of two made presets, "Lead" and "Pad".
std::vector<uint8_t> LeadAndPadBlock()
{
  auto src = PresetPlug(2);
  src->MakePreset("Lead", 127, 0.0, 0);
  src->MakePreset("Pad", 3, -1.0, 1);
  ByteChunk block;
  src->SerializePresets(&block);
  return ChunkBytes(block);
}

}  // namespace

// ---- serialisers and the version header ----

TEST(State, NoAutomatableParametersWriteNothing)
{
  std::unique_ptr<RecordingPlug> plug(RecordingPlug::MakeEditorLike());
  ByteChunk c;
  EXPECT_TRUE(plug->SerializeParams(&c));
  EXPECT_EQ(c.Size(), 0);
  EXPECT_EQ(plug->UnserializeParams(&c, 0), 0);
  EXPECT_EQ(plug->UnserializeParams(&c, 5), 5);
  EXPECT_TRUE(plug->SerializeState(&c));
  EXPECT_EQ(c.Size(), 0);
}

TEST(State, ParamsAreNativeDoublesInIndexOrder)
{
  auto plug = PresetPlug(0);
  plug->GetParam(0)->Set(100.0);
  plug->GetParam(1)->Set(-0.25);
  ByteChunk c;
  c.PutFlag(true);  // appended after what is there
  EXPECT_TRUE(plug->SerializeParams(&c));
  EXPECT_EQ(ChunkBytes(c), Bytes().byte(1).led(100.0).led(-0.25).led(1.0).v);

  auto other = PresetPlug(0);
  EXPECT_EQ(other->UnserializeParams(&c, 1), 25);
  EXPECT_EQ(Values(*other), Values(*plug));
  EXPECT_EQ(other->UnserializeParams(&c, -1), -1);
}

TEST(State, NonAutomatedTailRoundTrip)
{
  std::unique_ptr<RecordingPlug> plug(RecordingPlug::MakeEditorLike());
  for (int i = 0; i < 529; ++i) plug->GetParam(i)->InitInt("v", i, 0, 1000, "", "", -1, -1);
  ByteChunk c;
  EXPECT_TRUE(plug->SerializeNonAutomatedParams(&c, 473));
  ASSERT_EQ(c.Size(), 473 * 8);
  double d;
  c.GetValue(&d, 472 * 8);
  EXPECT_EQ(d, 472.0);

  std::unique_ptr<RecordingPlug> back(RecordingPlug::MakeEditorLike());
  for (int i = 0; i < 529; ++i) back->GetParam(i)->InitInt("v", 999, 0, 1000, "", "", -1, -1);
  EXPECT_EQ(back->UnserializeNonAutomatedParams(&c, 0, 473), 473 * 8);
  EXPECT_EQ(back->GetParam(472)->Value(), 472.0);
  EXPECT_EQ(back->GetParam(473)->Value(), 999.0);
  EXPECT_TRUE(back->changes.empty());  // no dispatch, no host notification
  EXPECT_TRUE(back->informed.empty());

  // n below 1, or a negative start: nothing is read or written.
  ByteChunk empty;
  EXPECT_TRUE(plug->SerializeNonAutomatedParams(&empty, 0));
  EXPECT_EQ(empty.Size(), 0);
  EXPECT_EQ(back->UnserializeNonAutomatedParams(&c, 16, 0), 16);
  EXPECT_EQ(back->UnserializeNonAutomatedParams(&c, -1, 10), -1);
  // More than the tail holds is cut to the tail.
  EXPECT_TRUE(plug->SerializeNonAutomatedParams(&empty, 600));
  EXPECT_EQ(empty.Size(), 529 * 8);
}

TEST(State, ShortTailSetsWhatItHoldsThenZeroAndReportsFailure)
{
  std::unique_ptr<RecordingPlug> plug(RecordingPlug::MakeEditorLike());
  for (int i = 0; i < 529; ++i) plug->GetParam(i)->InitInt("v", 50, 5, 127, "", "", -1, -1);
  ByteChunk c;
  c.PutFlag(false);
  for (int i = 0; i < 10; ++i)
  {
    const double d = 20.0 + i;
    c.PutValue(&d);
  }
  EXPECT_EQ(plug->UnserializeNonAutomatedParams(&c, 1, 473), -1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(plug->GetParam(i)->Value(), 20.0 + i);
  EXPECT_EQ(plug->GetParam(10)->Value(), 5.0);  // 0.0 limited to its range
  EXPECT_EQ(plug->GetParam(11)->Value(), 50.0);
  EXPECT_EQ(plug->GetParam(528)->Value(), 50.0);
}

TEST(State, StoredValuesAreLimitedToTheRange)
{
  auto plug = PresetPlug(0);
  const struct { double stored, expected; } cases[] = {{200.0, 127.0}, {-5.0, 0.0}, {64.5, 64.5}, {NAN, 0.0}, {INFINITY, 127.0}};
  for (const auto& c : cases)
  {
    ByteChunk chunk;
    const double vals[] = {c.stored, 0.0, 0.0};
    for (double v : vals) chunk.PutValue(&v);
    EXPECT_EQ(plug->UnserializeParams(&chunk, 0), 24);
    EXPECT_EQ(plug->GetParam(0)->Value(), c.expected) << c.stored;
  }
}

TEST(State, VersionHeader)
{
  ByteChunk c;
  c.PutFlag(true);
  IPlugBase::InitChunkWithIPlugVer(&c);  // empties the chunk first
  EXPECT_EQ(ChunkBytes(c), (std::vector<uint8_t>{0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x01, 0x00}));
  int pos = 0;
  EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&c, &pos), 0x10000);
  EXPECT_EQ(pos, 8);

  const struct { std::vector<uint8_t> bytes; int start, version, pos; } cases[] = {
      {{0x01, 0x02, 0x03, 0x04, 0, 0, 1, 0}, 0, 0, 0},  // other bytes: position stays
      {{0x74, 0x66}, 0, 0, 0},                          // too short for the magic
      {{0x74, 0x66, 0x66, 0x70}, 0, 0, -1},             // magic without a version
      {{0xAA, 0x74, 0x66, 0x66, 0x70, 0x00, 0x00, 0x02, 0x00}, 1, 0x20000, 9},
      {{0x74, 0x66, 0x66, 0x70, 0, 0, 1, 0}, -3, 0, -3},
  };
  for (const auto& cs : cases)
  {
    ByteChunk h = ToChunk(cs.bytes);
    int p = cs.start;
    EXPECT_EQ(IPlugBase::GetIPlugVerFromChunk(&h, &p), cs.version);
    EXPECT_EQ(p, cs.pos);
  }
}

TEST(State, CompareStateToleratesFloatNoise)
{
  auto plug = PresetPlug(0);
  plug->GetParam(1)->Set(0.3);
  const double same[] = {-1.0, 10.0, 0.3, 1.0};
  EXPECT_TRUE(plug->CompareState((const unsigned char*)same, 1));
  const double near[] = {10.0 + 1e-7, 0.3, 1.0};
  EXPECT_TRUE(plug->CompareState((const unsigned char*)near, 0));
  const double off[] = {10.0, 0.3001, 1.0};
  EXPECT_FALSE(plug->CompareState((const unsigned char*)off, 0));
}

// ---- presets ----

TEST(Presets, RestoreRefusals)
{
  auto none = PresetPlug(0);
  EXPECT_FALSE(none->RestorePreset(""));
  EXPECT_FALSE(none->RestorePreset(nullptr));
  EXPECT_FALSE(none->RestorePreset(0));
  EXPECT_FALSE(none->RestorePreset(-1));
  EXPECT_STREQ(none->GetPresetName(0), "");
  EXPECT_EQ(none->presetsChanged, 0);

  auto plug = PresetPlug(2);
  EXPECT_STREQ(plug->GetPresetName(0), "empty");
  EXPECT_FALSE(plug->RestorePreset("nothing by that name"));
  EXPECT_FALSE(plug->RestorePreset(2));
}

TEST(Presets, NeverInitialisedBecomesTheNextUserPreset)
{
  auto plug = PresetPlug(3);
  plug->MakePresetFromChunk("user preset 1", nullptr);
  plug->MakePresetFromChunk("my user preset 2", nullptr);
  plug->GetParam(0)->Set(42.0);
  FakeGraphics* g = new FakeGraphics(plug.get());
  plug->AttachGraphics(g);
  g->calls.clear();
  EXPECT_TRUE(plug->RestorePreset(2));
  EXPECT_STREQ(plug->GetPresetName(2), "user preset 3");
  EXPECT_TRUE(plug->GetPreset(2)->mInitialized);
  EXPECT_EQ(ChunkDoubles(plug->GetPreset(2)->mChunk), (std::vector<double>{42.0, 0.5, 1.0}));
  EXPECT_EQ(plug->GetCurrentPresetIdx(), 2);
  EXPECT_EQ(plug->presetsChanged, 1);
  EXPECT_EQ(g->calls.size(), 3u);  // the controls were redrawn

  char name[IPreset::kNameLen];
  MakeDefaultUserPresetName(nullptr, name);
  EXPECT_STREQ(name, "user preset 1");
}

TEST(Presets, RestoreLoadsTheStoredStateByIndexAndName)
{
  auto plug = PresetPlug(3);
  plug->MakePreset("Lead", 127, 0.0, 0);
  plug->MakePreset("Pad", 3, -1.0, 1);
  EXPECT_EQ(ChunkDoubles(plug->GetPreset(0)->mChunk), (std::vector<double>{127.0, 0.0, 0.0}));
  EXPECT_TRUE(plug->RestorePreset("Pad"));
  EXPECT_EQ(plug->GetCurrentPresetIdx(), 1);
  EXPECT_EQ(Values(*plug), (std::vector<double>{3.0, -1.0, 1.0}));
  EXPECT_TRUE(plug->RestorePreset(0));
  EXPECT_EQ(Values(*plug), (std::vector<double>{127.0, 0.0, 0.0}));

  // A preset whose chunk is too short is refused, and the value it did hold
  // is not left behind.
  plug->GetPreset(1)->mChunk.Resize(12);
  EXPECT_FALSE(plug->RestorePreset(1));
  EXPECT_EQ(plug->GetCurrentPresetIdx(), 0);
  EXPECT_EQ(Values(*plug), (std::vector<double>{127.0, 0.0, 0.0}));
}

TEST(Presets, MakeOperationsFillTheNextFreePreset)
{
  auto plug = PresetPlug(5);
  plug->GetParam(0)->Set(10.0);
  plug->MakePresetFromNamedParams("Named", 2, 2, 0, 1, 9.999e-8);
  EXPECT_EQ(ChunkDoubles(plug->GetPreset(0)->mChunk), (std::vector<double>{10.0, 0.5, 0.0}));
  plug->MakePresetFromNamedParams("Stops", 2, 7, 1.0, 0, 5);  // index 7 ends the reading
  EXPECT_EQ(ChunkDoubles(plug->GetPreset(1)->mChunk), (std::vector<double>{10.0, 0.5, 1.0}));

  const double raw[] = {1.0, 2.0};
  ByteChunk c;
  for (double d : raw) c.PutValue(&d);
  plug->MakePresetFromChunk("Chunk", &c);
  EXPECT_TRUE(plug->GetPreset(2)->mChunk.IsEqual(&c));

  // "AAAAAAAA8D8=" is the double 1.0; the buffer is cut or zero-filled to size.
  plug->MakePresetFromBlob("Blob", "AAAAAAAA8D8=", 12);
  EXPECT_EQ(ChunkBytes(plug->GetPreset(3)->mChunk), Bytes().led(1.0).zeros(4).v);
  plug->MakeDefaultPreset(nullptr, 3);  // only one is left
  EXPECT_STREQ(plug->GetPresetName(4), "Empty");
  EXPECT_EQ(ChunkDoubles(plug->GetPreset(4)->mChunk), (std::vector<double>{10.0, 0.5, 1.0}));
  plug->MakePreset("No room", 1, 1.0, 1);
  for (int i = 0; i < 5; ++i) EXPECT_STRNE(plug->GetPresetName(i), "No room");
}

TEST(Presets, EnsureModifyAndPrune)
{
  auto plug = PresetPlug(4);
  plug->MakePreset("A", 1, 0.0, 0);
  plug->MakePresetFromChunk("gone", nullptr);
  plug->MakePresetFromChunk("B", nullptr);
  plug->GetPreset(1)->mInitialized = false;  // [A, empty, B, empty]
  plug->PruneUninitializedPresets();
  ASSERT_EQ(plug->NPresets(), 2);
  EXPECT_STREQ(plug->GetPresetName(0), "A");
  EXPECT_STREQ(plug->GetPresetName(1), "B");

  auto fresh = PresetPlug(3);
  fresh->MakePreset("A", 1, 0.0, 0);
  fresh->EnsureDefaultPreset();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(fresh->GetPreset(i)->mInitialized);
  EXPECT_STREQ(fresh->GetPresetName(1), "Empty");

  fresh->GetParam(0)->Set(77.0);
  fresh->ModifyCurrentPreset("Renamed");
  EXPECT_STREQ(fresh->GetPresetName(0), "Renamed");
  EXPECT_EQ(ChunkDoubles(fresh->GetPreset(0)->mChunk)[0], 77.0);
  fresh->ModifyCurrentPreset("");  // an empty name keeps the old one
  EXPECT_STREQ(fresh->GetPresetName(0), "Renamed");
  const std::string longName(300, 'x');
  fresh->ModifyCurrentPreset(longName.c_str());
  EXPECT_EQ(strlen(fresh->GetPresetName(0)), 255u);
}

TEST(Presets, PresetListBlockLayoutAndRoundTrip)
{
  auto plug = PresetPlug(2);
  plug->MakePreset("Lead", 127, 0.0, 0);
  ByteChunk c;
  EXPECT_TRUE(plug->SerializePresets(&c));
  const auto expected = Bytes().text("Lead").byte(1).led(127.0).led(0.0).led(0.0).text("empty").byte(0).v;
  EXPECT_EQ(ChunkBytes(c), expected);

  auto back = PresetPlug(2);
  EXPECT_EQ(back->UnserializePresets(&c, 0), (int)expected.size());
  EXPECT_STREQ(back->GetPresetName(0), "Lead");
  EXPECT_TRUE(back->GetPreset(0)->mInitialized);
  EXPECT_FALSE(back->GetPreset(1)->mInitialized);
  EXPECT_EQ(ChunkDoubles(back->GetPreset(0)->mChunk), (std::vector<double>{127.0, 0.0, 0.0}));
  EXPECT_EQ(Values(*back), (std::vector<double>{127.0, 0.0, 0.0}));  // the current preset is restored
}

TEST(Presets, BadPresetBlocksFromTheHostStopCleanly)
{
  const std::vector<uint8_t> full = LeadAndPadBlock();

  struct Case { const char* what; std::vector<uint8_t> bytes; const char* name0; const char* name1; };
  std::vector<Case> cases;
  // Whatever was read, the current preset is restored at the end: one never
  // initialised becomes a user preset then.
  cases.push_back({"empty", {}, "user preset 1", "empty"});
  cases.push_back({"cut in the first count", {full.begin(), full.begin() + 2}, "user preset 1", "empty"});
  cases.push_back({"cut in the first name", {full.begin(), full.begin() + 6}, "user preset 1", "empty"});
  cases.push_back({"cut before the first flag", {full.begin(), full.begin() + 8}, "user preset 1", "empty"});
  cases.push_back({"cut in the first state", {full.begin(), full.begin() + 20}, "Lead", "empty"});
  cases.push_back({"cut in the second name", {full.begin(), full.end() - 30}, "Lead", "empty"});
  for (int32_t len : {-1, -100000, INT32_MIN, INT32_MAX, 1 << 30})
  {
    std::vector<uint8_t> bad = full;
    memcpy(bad.data(), &len, 4);
    cases.push_back({"bad count", bad, "user preset 1", "empty"});
  }
  for (const Case& c : cases)
  {
    auto plug = PresetPlug(2);
    ByteChunk chunk = ToChunk(c.bytes);
    EXPECT_EQ(plug->UnserializePresets(&chunk, 0), -1) << c.what;
    EXPECT_STREQ(plug->GetPresetName(0), c.name0) << c.what;
    EXPECT_STREQ(plug->GetPresetName(1), c.name1) << c.what;
  }
}

TEST(Presets, Base64)
{
  const struct { const char* plain; const char* coded; } vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& t : vectors)
  {
    WDL_String s;
    Base64Encode((const uint8_t*)t.plain, (int)strlen(t.plain), &s);
    EXPECT_STREQ(s.Get(), t.coded);
    uint8_t buf[8];
    memset(buf, 0xEE, sizeof(buf));
    EXPECT_EQ(Base64Decode(t.coded, buf, 8), (int)strlen(t.plain));
    EXPECT_EQ(memcmp(buf, t.plain, strlen(t.plain)), 0);
    for (size_t i = strlen(t.plain); i < 8; ++i) EXPECT_EQ(buf[i], 0);
  }
  uint8_t two[2];
  EXPECT_EQ(Base64Decode("Zm9vYmFy", two, 2), 6);  // the rest is dropped
  EXPECT_EQ(memcmp(two, "fo", 2), 0);
  uint8_t stop[6] = {};
  EXPECT_EQ(Base64Decode("Zm9v*YmFy", stop, 6), 3);  // stops at the first stranger
  EXPECT_EQ(Base64Decode(nullptr, stop, 6), 0);
}

// ---- files ----

class PlugFiles : public testing::Test
{
protected:
  void SetUp() override { ASSERT_FALSE(dir.empty()); }

  std::string Path(const char* name) const { return dir + "/" + name; }
  static std::vector<uint8_t> Read(const std::string& path) { return readWholeFile(path); }
  static void Write(const std::string& path, const std::vector<uint8_t>& v) { writeWholeFile(path, v); }
  FakeGraphics* Attach(RecordingPlug* plug, const std::string& path)
  {
    FakeGraphics* g = new FakeGraphics(plug);
    plug->AttachGraphics(g);
    g->nextPath = path;
    return g;
  }

  TempFolder folder{"davrel-plug"};
  const std::string dir = folder.path();
};

TEST_F(PlugFiles, DumpsAreSourceText)
{
  auto plug = PresetPlug(1);
  plug->GetParam(0)->Set(64.0);
  plug->GetParam(1)->Set(-0.5);
  plug->GetParam(2)->Set(0.0);
  const char* names[] = {"kLevel", "kPan", "kOn"};
  ASSERT_TRUE(plug->DumpPresetSrcCode(Path("src.txt").c_str(), names));
  const std::string src = "  MakePresetFromNamedParams(\"name\", 3,\n    kLevel, 64,\n    kPan, -0.500000,\n    kOn, false);\n";
  EXPECT_EQ(Read(Path("src.txt")), std::vector<uint8_t>(src.begin(), src.end()));

  auto noPresets = PresetPlug(0);
  EXPECT_FALSE(noPresets->DumpPresetBlob(Path("none.txt").c_str()));
  EXPECT_FALSE(fs::exists(Path("none.txt")));
  plug->MakePreset("Lead", 1, 1.0, 1);
  ASSERT_TRUE(plug->DumpPresetBlob(Path("blob.txt").c_str()));
  // Three doubles 1.0: 00 00 00 00 00 00 F0 3F, three times.
  const std::string blob = "MakePresetFromBlob(\"name\", \"AAAAAAAA8D8AAAAAAADwPwAAAAAAAPA/\", 24);\n";
  EXPECT_EQ(Read(Path("blob.txt")), std::vector<uint8_t>(blob.begin(), blob.end()));
  EXPECT_FALSE(plug->DumpPresetBlob((dir + "/missing/blob.txt").c_str()));
}

TEST_F(PlugFiles, ProgramFileWithStateChunkIsByteExact)
{
  auto plug = PresetPlug(1);
  plug->MakePreset("Lead", 127, 0.0, 0);
  plug->RestorePreset(0);
  FakeGraphics* g = Attach(plug.get(), Path("lead.fxp"));
  ASSERT_TRUE(plug->SaveProgramAsFXP("Lead"));
  EXPECT_EQ(g->lastAction, kFileSave);
  EXPECT_EQ(g->lastExtensions, "fxp");
  EXPECT_EQ(g->lastSuggested, "Lead");

  const auto expected = Bytes()
                            .tag("CcnK").be(32 + 60).tag("FPCh").be(1).tag("dvrx").be(20008).be(3).name28("Lead")
                            .be(32).raw("\x74\x66\x66\x70\x00\x00\x01\x00", 8).led(127.0).led(0.0).led(0.0)
                            .v;
  EXPECT_EQ(Read(Path("lead.fxp")), expected);
}

TEST_F(PlugFiles, ProgramFileWithoutStateChunkIsByteExact)
{
  auto plug = PresetPlug(0, false);
  plug->GetParam(0)->Set(127.0);
  plug->GetParam(1)->Set(0.0);
  plug->GetParam(2)->Set(0.0);
  Attach(plug.get(), Path("p.fxp"));
  ASSERT_TRUE(plug->SaveProgramAsFXP(""));
  const auto expected = Bytes()
                            .tag("CcnK").be(0).tag("FxCk").be(1).tag("dvrx").be(20008).be(3).name28("")
                            .be(0x3F800000).be(0x3F000000).be(0)
                            .v;
  EXPECT_EQ(Read(Path("p.fxp")), expected);
}

TEST_F(PlugFiles, BankFileWithStateChunkIsByteExact)
{
  auto plug = PresetPlug(2);
  plug->MakePreset("Lead", 127, 0.0, 0);
  Attach(plug.get(), Path("b.fxb"));
  ASSERT_TRUE(plug->SaveBankAsFXB("Bank"));
  const auto block = Bytes().raw("\x74\x66\x66\x70\x00\x00\x01\x00", 8).text("Lead").byte(1).led(127.0).led(0.0).led(0.0)
                         .text("empty").byte(0).v;
  ASSERT_EQ(block.size(), 51u);
  const auto expected = Bytes()
                            .tag("CcnK").be(51 + 160).tag("FBCh").be(2).tag("dvrx").be(20008).be(2).be(0).zeros(124)
                            .be(51).raw(block.data(), (int)block.size())
                            .v;
  EXPECT_EQ(Read(Path("b.fxb")), expected);
}

TEST_F(PlugFiles, BankFileWithoutStateChunkIsByteExact)
{
  auto plug = PresetPlug(2, false);
  plug->MakePreset("Lead", 127, 0.0, 0);
  Attach(plug.get(), Path("b.fxb"));
  ASSERT_TRUE(plug->SaveBankAsFXB());
  const auto expected = Bytes()
                            .tag("CcnK").be(0).tag("FxBk").be(2).tag("dvrx").be(20008).be(2).be(0).zeros(124)
                            .tag("CcnK").be(0).tag("FxCk").be(1).tag("dvrx").be(20008).be(3).name28("Lead")
                            .be(0x3F800000).be(0x3F000000).be(0)
                            // the second preset holds nothing: 0.0 normalised by each parameter
                            .tag("CcnK").be(0).tag("FxCk").be(1).tag("dvrx").be(20008).be(3).name28("empty")
                            .be(0).be(0x3F000000).be(0)
                            .v;
  EXPECT_EQ(Read(Path("b.fxb")), expected);
}

TEST_F(PlugFiles, ProgramFileRoundTrips)
{
  for (bool chunks : {true, false})
  {
    auto plug = PresetPlug(1, chunks);
    plug->MakePreset("Lead", 100, 0.25, 0);
    plug->RestorePreset(0);
    FakeGraphics* g = Attach(plug.get(), Path("rt.fxp"));
    ASSERT_TRUE(plug->SaveProgramAsFXP());
    plug->GetParam(0)->Set(1.0);
    plug->GetParam(1)->Set(-1.0);
    plug->GetParam(2)->Set(1.0);
    ASSERT_TRUE(plug->LoadProgramFromFXP()) << chunks;
    EXPECT_EQ(g->lastAction, kFileOpen);
    EXPECT_EQ(Values(*plug), (std::vector<double>{100.0, 0.25, 0.0})) << chunks;
    EXPECT_EQ(plug->programChanges, 1);
    EXPECT_EQ(ChunkDoubles(plug->GetPreset(0)->mChunk), (std::vector<double>{100.0, 0.25, 0.0}));
  }
}

TEST_F(PlugFiles, BadProgramFilesAreRefusedBeforeAnyChange)
{
  auto src = PresetPlug(1);
  src->MakePreset("Lead", 100, 0.25, 0);
  src->RestorePreset(0);
  Attach(src.get(), Path("good.fxp"));
  ASSERT_TRUE(src->SaveProgramAsFXP());
  const std::vector<uint8_t> good = Read(Path("good.fxp"));
  ASSERT_EQ(good.size(), 92u);

  // Checked byte by byte: a copy into the vector draws a false -Warray-bounds
  // from GCC 12 at -O2, which cannot see that good holds 92 bytes.
  auto patch = [&good](size_t at, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> v = good;
    for (size_t i = 0; i < bytes.size(); ++i) v.at(at + i) = bytes[i];
    return v;
  };
  const struct { const char* what; std::vector<uint8_t> bytes; } cases[] = {
      {"magic", patch(0, {'C', 'c', 'n', 'X'})},
      {"format version", patch(12, {0, 0, 0, 2})},
      {"unique id", patch(16, {'d', 'v', 'r', 'y'})},
      {"parameter count", patch(24, {0, 0, 0, 4})},
      {"kind", patch(8, {'F', 'x', 'X', 'X'})},
      {"no version header", patch(60, {0, 0, 0, 0})},
      {"negative chunk size", patch(56, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"huge chunk size", patch(56, {0x7F, 0xFF, 0xFF, 0xFF})},
      {"chunk size past the end", patch(56, {0, 0, 0, 33})},
      {"truncated header", {good.begin(), good.begin() + 50}},
      {"truncated chunk", {good.begin(), good.begin() + 70}},
      {"empty", {}},
      // A whole chunk, but the state in it holds one value of three.
      {"state short of its values", [&] {
         std::vector<uint8_t> v = patch(56, {0, 0, 0, 16});
         v.resize(76);
         return v;
       }()},
  };
  for (const auto& c : cases)
  {
    auto plug = PresetPlug(1);
    Write(Path("bad.fxp"), c.bytes);
    Attach(plug.get(), Path("bad.fxp"));
    EXPECT_FALSE(plug->LoadProgramFromFXP()) << c.what;
    EXPECT_EQ(Values(*plug), (std::vector<double>{10.0, 0.5, 1.0})) << c.what;
    EXPECT_EQ(plug->programChanges, 0) << c.what;
  }

  // A state-chunk program for a plug-in without state chunks.
  auto plain = PresetPlug(1, false);
  Attach(plain.get(), Path("good.fxp"));
  EXPECT_FALSE(plain->LoadProgramFromFXP());
  // A float program is short of its values.
  auto floats = PresetPlug(0, false);
  Attach(floats.get(), Path("f.fxp"));
  ASSERT_TRUE(floats->SaveProgramAsFXP());
  std::vector<uint8_t> f = Read(Path("f.fxp"));
  f.resize(f.size() - 1);
  Write(Path("f.fxp"), f);
  EXPECT_FALSE(floats->LoadProgramFromFXP());
}

TEST_F(PlugFiles, BankFilesRoundTrip)
{
  for (bool chunks : {true, false})
  {
    auto src = PresetPlug(3, chunks);
    src->MakePreset("Lead", 100, 0.25, 0);
    src->MakePreset("Pad", 20, -0.5, 1);
    src->MakePreset("Bass", 5, 1.0, 1);
    src->RestorePreset(1);
    Attach(src.get(), Path("rt.fxb"));
    ASSERT_TRUE(src->SaveBankAsFXB());

    auto dst = PresetPlug(3, chunks);
    Attach(dst.get(), Path("rt.fxb"));
    ASSERT_TRUE(dst->LoadBankFromFXB()) << chunks;
    EXPECT_STREQ(dst->GetPresetName(0), "Lead");
    EXPECT_STREQ(dst->GetPresetName(1), "Pad");
    EXPECT_STREQ(dst->GetPresetName(2), "Bass");
    EXPECT_EQ(ChunkDoubles(dst->GetPreset(2)->mChunk), (std::vector<double>{5.0, 1.0, 1.0})) << chunks;
    // A float bank restores the preset the file names; a chunk bank the plug-in's current one.
    EXPECT_EQ(dst->GetCurrentPresetIdx(), chunks ? 0 : 1);
    const std::vector<double> current = chunks ? std::vector<double>{100.0, 0.25, 0.0} : std::vector<double>{20.0, -0.5, 1.0};
    EXPECT_EQ(Values(*dst), current) << chunks;
    EXPECT_EQ(dst->programChanges, 1);
  }
}

TEST_F(PlugFiles, BadBankFiles)
{
  auto src = PresetPlug(2, false);
  src->MakePreset("Lead", 100, 0.25, 0);
  src->MakePreset("Pad", 20, -0.5, 1);
  Attach(src.get(), Path("good.fxb"));
  ASSERT_TRUE(src->SaveBankAsFXB());
  const std::vector<uint8_t> good = Read(Path("good.fxb"));
  ASSERT_EQ(good.size(), 156u + 2 * 68u);

  // A broken second program ends the loading with the first one kept.
  std::vector<uint8_t> broken = good;
  memcpy(broken.data() + 156 + 68 + 8, "FxXX", 4);
  Write(Path("broken.fxb"), broken);
  auto dst = PresetPlug(2, false);
  Attach(dst.get(), Path("broken.fxb"));
  EXPECT_TRUE(dst->LoadBankFromFXB());
  EXPECT_STREQ(dst->GetPresetName(0), "Lead");
  EXPECT_STREQ(dst->GetPresetName(1), "empty");

  std::vector<uint8_t> shortBank(good.begin(), good.end() - 10);  // the second program is cut
  Write(Path("short.fxb"), shortBank);
  auto dst2 = PresetPlug(2, false);
  Attach(dst2.get(), Path("short.fxb"));
  EXPECT_TRUE(dst2->LoadBankFromFXB());
  EXPECT_STREQ(dst2->GetPresetName(1), "empty");

  // More programs announced than the plug-in has presets, and than the file holds.
  std::vector<uint8_t> many = good;
  many[27] = 0x7F;
  Write(Path("many.fxb"), many);
  auto dst3 = PresetPlug(1, false);
  Attach(dst3.get(), Path("many.fxb"));
  EXPECT_TRUE(dst3->LoadBankFromFXB());
  EXPECT_STREQ(dst3->GetPresetName(0), "Lead");

  const struct { const char* what; std::vector<uint8_t> bytes; } refused[] = {
      {"magic", [&] { auto v = good; v[3] = 'X'; return v; }()},
      {"unique id", [&] { auto v = good; v[19] = 'y'; return v; }()},
      {"kind", [&] { auto v = good; v[11] = 'X'; return v; }()},
      {"truncated header", {good.begin(), good.begin() + 100}},
  };
  for (const auto& c : refused)
  {
    auto plug = PresetPlug(2, false);
    Write(Path("bad.fxb"), c.bytes);
    Attach(plug.get(), Path("bad.fxb"));
    EXPECT_FALSE(plug->LoadBankFromFXB()) << c.what;
    EXPECT_STREQ(plug->GetPresetName(0), "empty") << c.what;
    EXPECT_EQ(plug->programChanges, 0) << c.what;
  }

  // A state-chunk bank whose preset block is cut inside the second preset's
  // state (sizes kept consistent): refused whole, nothing of it kept.
  {
    auto from = PresetPlug(2);
    from->MakePreset("Lead", 100, 0.25, 0);
    from->MakePreset("Pad", 20, -0.5, 1);
    Attach(from.get(), Path("cut.fxb"));
    ASSERT_TRUE(from->SaveBankAsFXB());
    std::vector<uint8_t> v = Read(Path("cut.fxb"));
    // 8 header bytes, "Lead" (8 + 1 + 24), "Pad" name and flag (7 + 1), then 12 of its 24 bytes.
    const uint32_t cut = 8 + 33 + 8 + 12;
    v.resize(160 + cut);
    const auto sizes = Bytes().be(cut + 160).v;
    memcpy(v.data() + 4, sizes.data(), 4);
    const auto chunkSize = Bytes().be(cut).v;
    memcpy(v.data() + 156, chunkSize.data(), 4);
    Write(Path("cut.fxb"), v);

    auto plug = PresetPlug(2);
    plug->MakePreset("Mine", 7, 1.0, 1);
    plug->GetParam(0)->Set(50.0);
    Attach(plug.get(), Path("cut.fxb"));
    EXPECT_FALSE(plug->LoadBankFromFXB());
    EXPECT_STREQ(plug->GetPresetName(0), "Mine");
    EXPECT_STREQ(plug->GetPresetName(1), "empty");
    EXPECT_FALSE(plug->GetPreset(1)->mInitialized);
    EXPECT_EQ(ChunkDoubles(plug->GetPreset(0)->mChunk), (std::vector<double>{7.0, 1.0, 1.0}));
    EXPECT_EQ(Values(*plug), (std::vector<double>{50.0, 0.5, 1.0}));
    EXPECT_EQ(plug->programChanges, 0);
  }

  // A state-chunk bank whose chunk size lies.
  auto chunked = PresetPlug(1);
  chunked->MakePreset("Lead", 1, 0.0, 0);
  Attach(chunked.get(), Path("c.fxb"));
  ASSERT_TRUE(chunked->SaveBankAsFXB());
  for (uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, 1000u})
  {
    std::vector<uint8_t> v = Read(Path("c.fxb"));
    const uint8_t b[4] = {(uint8_t)(size >> 24), (uint8_t)(size >> 16), (uint8_t)(size >> 8), (uint8_t)size};
    memcpy(v.data() + 156, b, 4);
    Write(Path("c2.fxb"), v);
    auto plug = PresetPlug(1);
    Attach(plug.get(), Path("c2.fxb"));
    EXPECT_FALSE(plug->LoadBankFromFXB()) << size;
  }
}

TEST_F(PlugFiles, NoWindowOrNoChoiceMeansNoFile)
{
  auto plug = PresetPlug(1);
  EXPECT_FALSE(plug->SaveProgramAsFXP());
  EXPECT_FALSE(plug->SaveBankAsFXB());
  EXPECT_FALSE(plug->LoadProgramFromFXP());
  EXPECT_FALSE(plug->LoadBankFromFXB());
  FakeGraphics* g = Attach(plug.get(), "");
  EXPECT_FALSE(plug->SaveProgramAsFXP("x"));
  EXPECT_FALSE(plug->LoadBankFromFXB());
  g->nextPath = Path("missing.fxp");
  EXPECT_FALSE(plug->LoadProgramFromFXP());
  g->nextPath = dir + "/no/such/folder/x.fxp";
  EXPECT_FALSE(plug->SaveProgramAsFXP());
  EXPECT_TRUE(fs::is_empty(dir));  // nothing half-written is left behind
}

TEST(Presets, SeededRandomChunksNeverReadOutside)
{
  std::mt19937 rng(0x20008);
  const std::vector<uint8_t> full = LeadAndPadBlock();
  for (int round = 0; round < 400; ++round)
  {
    // A valid prefix, then noise: what a damaged project hands back.
    std::vector<uint8_t> bytes(full.begin(), full.begin() + (long)(rng() % (full.size() + 1)));
    const int noise = (int)(rng() % 64);
    for (int i = 0; i < noise; ++i) bytes.push_back((uint8_t)rng());
    ByteChunk chunk = ToChunk(bytes);
    auto plug = PresetPlug(3);
    const int pos = plug->UnserializePresets(&chunk, 0);
    EXPECT_TRUE(pos == -1 || (pos >= 0 && pos <= chunk.Size())) << round;
    const int pos2 = plug->UnserializeParams(&chunk, (int)(rng() % (bytes.size() + 2)));
    EXPECT_TRUE(pos2 == -1 || (pos2 >= 0 && pos2 <= chunk.Size())) << round;
    for (int i = 0; i < 3; ++i)
    {
      const IParam* p = plug->GetParam(i);
      EXPECT_TRUE(p->Value() >= p->GetMin() && p->Value() <= p->GetMax()) << round;
    }
  }
}

TEST(Presets, InstanceInfoCopies)
{
  IPlugInstanceInfo info;
  info.mBundleID.Set("com.Quiet Harbor Sound.audiounit.Davrel Editor x64");
  IPlugInstanceInfo copy(info);
  EXPECT_STREQ(copy.mBundleID.Get(), "com.Quiet Harbor Sound.audiounit.Davrel Editor x64");
  EXPECT_STREQ(copy.mCocoaViewFactoryClassName.Get(), "");
}
