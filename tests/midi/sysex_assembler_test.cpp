#include "plug/SysExAssembler.h"
#include "SynthSim.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

struct Collector
{
  std::vector<Bytes> out;
  void operator()(const unsigned char* p, int n) { out.emplace_back(p, p + n); }
};

std::vector<Bytes> FeedRuns(SysExAssembler& a, const std::vector<Bytes>& runs)
{
  Collector c;
  for (const Bytes& r : runs) a.Feed(r.data(), (int)r.size(), c);
  return c.out;
}

std::vector<Bytes> Split(const Bytes& b, const std::vector<int>& cuts)
{
  std::vector<Bytes> runs;
  int from = 0;
  for (int c : cuts)
  {
    runs.emplace_back(b.begin() + from, b.begin() + c);
    from = c;
  }
  runs.emplace_back(b.begin() + from, b.end());
  return runs;
}

} // namespace

TEST(SysExAssembler, WholeMessagesPassUnchanged)
{
  const std::vector<Bytes> runs = {
      {0xC0, 0x05}, {0x90, 0x3C, 0x64}, {0xF0, 0x7E, 0xF7}, MakeSimDump(297), {0xFA}, {0x45}, {0xF7}};
  SysExAssembler a;
  EXPECT_EQ(FeedRuns(a, runs), runs);
  EXPECT_FALSE(a.InSysEx());
  EXPECT_EQ(a.DroppedCount(), 0);
}

TEST(SysExAssembler, DumpSplitAcrossRunsComesOutWhole)
{
  const Bytes dump = MakeSimDump(297);
  const std::vector<std::vector<int>> cutsTable = {
      {1}, {296}, {150}, {4, 200}, {1, 2, 3}, {100, 200, 296}};
  for (const auto& cuts : cutsTable)
  {
    SysExAssembler a;
    const auto out = FeedRuns(a, Split(dump, cuts));
    ASSERT_EQ(out.size(), 1u) << "first cut " << cuts[0];
    EXPECT_EQ(out[0], dump);
    EXPECT_FALSE(a.InSysEx());
  }
}

TEST(SysExAssembler, RealTimeBytesInsideADumpStandAloneWhereTheyStand)
{
  const Bytes dump = MakeSimDump(20);
  // A clock between two pieces, and a clock and an active sensing inside one.
  std::vector<Bytes> runs = Split(dump, {8});
  runs.insert(runs.begin() + 1, Bytes{0xF8});
  runs[2].insert(runs[2].begin() + 3, {0xF8, 0xFE});
  SysExAssembler a;
  const auto out = FeedRuns(a, runs);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(out[0], Bytes{0xF8});
  EXPECT_EQ(out[1], Bytes{0xF8});
  EXPECT_EQ(out[2], Bytes{0xFE});
  EXPECT_EQ(out[3], dump);

  // The port library may hand over a whole message with the clock already inside.
  Bytes joined = dump;
  joined.insert(joined.begin() + 5, 0xF8);
  SysExAssembler b;
  const auto out2 = FeedRuns(b, {joined});
  ASSERT_EQ(out2.size(), 2u);
  EXPECT_EQ(out2[0], Bytes{0xF8});
  EXPECT_EQ(out2[1], dump);
}

TEST(SysExAssembler, StatusByteEndsAnUnfinishedDumpAndIsKept)
{
  struct Case { std::vector<Bytes> runs; std::vector<Bytes> want; int droppedSize; };
  const std::vector<Case> cases = {
      // A control change arrives in the middle of a dump.
      {{{0xF0, 0x42, 0x30}, {0xB0, 0x07, 0x7F}, {0xF0, 0x01, 0xF7}}, {{0xB0, 0x07, 0x7F}, {0xF0, 0x01, 0xF7}}, 3},
      // A new dump begins before the old one ended.
      {{{0xF0, 0x42, 0x30, 0x58}, {0xF0, 0x42, 0xF7}}, {{0xF0, 0x42, 0xF7}}, 4},
      // The status byte sits inside the run.
      {{{0xF0, 0x01, 0x02, 0x90, 0x3C, 0x40}}, {{0x90, 0x3C, 0x40}}, 3},
  };
  for (const Case& c : cases)
  {
    SysExAssembler a;
    EXPECT_EQ(FeedRuns(a, c.runs), c.want);
    EXPECT_EQ(a.DroppedCount(), 1);
    EXPECT_EQ(a.LastDroppedSize(), c.droppedSize);
  }
}

TEST(SysExAssembler, ResetDiscardsHalfAMessage)
{
  SysExAssembler a;
  const Bytes dump = MakeSimDump(40);
  auto out = FeedRuns(a, {Bytes(dump.begin(), dump.begin() + 10)});
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(a.InSysEx());
  a.Reset();
  EXPECT_FALSE(a.InSysEx());
  // The tail of the old message is data without a start: it is not glued on.
  out = FeedRuns(a, {dump});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], dump);
}

TEST(SysExAssembler, TooLongIsDroppedWholeAndTheNextArrives)
{
  SysExAssembler a(16);
  const Bytes longDump = MakeSimDump(40), fits = MakeSimDump(16);
  auto out = FeedRuns(a, Split(longDump, {10, 30}));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(a.DroppedCount(), 1);
  EXPECT_EQ(a.LastDroppedSize(), 40);
  EXPECT_FALSE(a.InSysEx());
  out = FeedRuns(a, {fits, {0xC0, 0x01}});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], fits);
  EXPECT_EQ(out[1], (Bytes{0xC0, 0x01}));

  // Too long and cut short by a status byte: dropped once, the status kept.
  SysExAssembler b(8);
  Bytes unfinished(20, 0x11);
  unfinished[0] = 0xF0;
  out = FeedRuns(b, {unfinished, {0x80, 0x3C, 0x00}});
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], (Bytes{0x80, 0x3C, 0x00}));
  EXPECT_EQ(b.DroppedCount(), 1);
  EXPECT_EQ(b.LastDroppedSize(), 20);
}

TEST(SysExAssembler, MessageAfterTheEndInTheSameRunIsHandedOn)
{
  SysExAssembler a;
  const auto out = FeedRuns(a, {{0xF0, 0x01, 0xF7, 0xC0, 0x05}});
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], (Bytes{0xF0, 0x01, 0xF7}));
  EXPECT_EQ(out[1], (Bytes{0xC0, 0x05}));
}

// A seeded stream of short messages, dumps cut at random places and real-time
// bytes dropped in anywhere: every message comes out whole and in order.
TEST(SysExAssembler, SeededRandomStreamLosesNothing)
{
  std::mt19937 rng(20240607);
  std::vector<Bytes> runs, want;
  for (int m = 0; m < 400; ++m)
  {
    const int kind = (int)(rng() % 3);
    if (kind == 0)
    {
      const Bytes msg = {(unsigned char)(0x80 | (rng() % 0x70)), (unsigned char)(rng() & 0x7F), (unsigned char)(rng() & 0x7F)};
      runs.push_back(msg);
      want.push_back(msg);
      continue;
    }
    const Bytes dump = MakeSimDump(kind == 1 ? 297 : 4 + (int)(rng() % 40000));
    int from = 0;
    while (from < (int)dump.size())
    {
      const int len = 1 + (int)(rng() % 9000);
      Bytes piece(dump.begin() + from, dump.begin() + std::min((int)dump.size(), from + len));
      from += (int)piece.size();
      if (rng() % 4 == 0)
      {
        const unsigned char rt = (unsigned char)(0xF8 + rng() % 8);
        piece.insert(piece.begin() + (rng() % piece.size()) + (piece[0] == 0xF0 ? 1 : 0), rt);
        want.push_back({rt});
      }
      runs.push_back(piece);
    }
    want.push_back(dump);
  }
  SysExAssembler a;
  const auto out = FeedRuns(a, runs);
  ASSERT_EQ(out.size(), want.size());
  for (size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], want[i]) << "message " << i;
  EXPECT_EQ(a.DroppedCount(), 0);
}
