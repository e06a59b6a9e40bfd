// Input framing on plain byte arrays: whatever runs the port library hands
// over, only whole messages by the MIDI byte grammar come out.
#include "plug/MidiInputFramer.h"
#include "SynthSim.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;
typedef MidiInputFramer F;
typedef std::vector<std::pair<int, int>> Drops; // kind, size

struct Output
{
  std::vector<Bytes> messages;
  Drops drops;
};

// Feeds the runs, then ends the stream, so stray stretches are reported too.
Output FeedRuns(MidiInputFramer& f, const std::vector<Bytes>& runs)
{
  Output o;
  auto onMessage = [&](const unsigned char* p, int n) { o.messages.emplace_back(p, p + n); };
  auto onDrop = [&](F::DropKind k, int n) { o.drops.emplace_back((int)k, n); };
  for (const Bytes& r : runs) f.Feed(r.data(), (int)r.size(), onMessage, onDrop);
  f.End(onDrop);
  return o;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

Bytes Head(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); }
Bytes Tail(const Bytes& b, size_t from) { return Bytes(b.begin() + from, b.end()); }

} // namespace

TEST(MidiInputFramer, FramesByTheByteGrammarWhateverTheRuns)
{
  const Bytes dump = MakeSimDump(20), dump2 = MakeSimDump(297, 6), cc = {0xB0, 0x07, 0x63};
  const Bytes dumpBody = Tail(Head(dump, dump.size() - 1), 1); // data bytes only
  struct Case
  {
    const char* name;
    std::vector<Bytes> runs;
    std::vector<Bytes> want;
    Drops drops;
  };
  const std::vector<Case> cases = {
      {"whole messages one a run", {{0xC0, 0x05}, {0x90, 0x3C, 0x64}, {0xF0, 0x7E, 0xF7}, dump, {0xFA}},
       {{0xC0, 0x05}, {0x90, 0x3C, 0x64}, {0xF0, 0x7E, 0xF7}, dump, {0xFA}}, {}},
      {"a control change glued to a dump", {Cat({cc, dump2})}, {cc, dump2}, {}},
      {"the library's join of a cut dump, a control change and a dump",
       {Cat({Head(dump, 9), cc, dump2})}, {cc, dump2}, {{F::kUnfinishedSysEx, 9}}},
      {"data-only runs belong to nothing", {{0x02, 0x4B, 0x62}, {0x00, 0x25, 0xF7}, cc}, {cc},
       {{F::kStrayBytes, 6}}},
      {"the tail of a dump whose start came before", {Tail(dump, 8), dump2}, {dump2},
       {{F::kStrayBytes, (int)dump.size() - 8}}},
      {"a status byte inside a dump ends it", {{0xF0, 0x01, 0x02, 0x90, 0x3C, 0x40}, {0xF0, 0x42, 0xF7}},
       {{0x90, 0x3C, 0x40}, {0xF0, 0x42, 0xF7}}, {{F::kUnfinishedSysEx, 3}}},
      {"a dump begun inside a dump ends the first", {{0xF0, 0x42, 0x30, 0x58}, {0xF0, 0x42, 0xF7}},
       {{0xF0, 0x42, 0xF7}}, {{F::kUnfinishedSysEx, 4}}},
      {"data after a message that cut a dump is not running status",
       {Cat({{0xF0, 0x11, 0x22}, cc, dumpBody, {0xF7}, cc})}, {cc, cc},
       {{F::kUnfinishedSysEx, 3}, {F::kStrayBytes, (int)dumpBody.size() + 1}}},
      {"running status", {{0x90, 0x3C, 0x40, 0x3E}, {0x41, 0x40, 0x00}, {0xC1, 0x05, 0x06}},
       {{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x41}, {0x90, 0x40, 0x00}, {0xC1, 0x05}, {0xC1, 0x06}}, {}},
      {"system exclusive and system common end running status",
       {{0x90, 0x3C, 0x40}, dump, {0x01, 0x02}, {0xE0, 0x00, 0x40, 0xF6, 0x01}},
       {{0x90, 0x3C, 0x40}, dump, {0xE0, 0x00, 0x40}, {0xF6}}, {{F::kStrayBytes, 2}, {F::kStrayBytes, 1}}},
      {"real-time bytes inside everything stand alone where they are",
       {{0x90, 0xF8, 0x3C, 0xFE, 0x40}, {0xF0, 0x01, 0xFA}, {0x02, 0xFF, 0xF7}, {0x3E}, {0xFC, 0x41}, {0x05, 0xF9}},
       {{0xF8}, {0xFE}, {0x90, 0x3C, 0x40}, {0xFA}, {0xFF}, {0xF0, 0x01, 0x02, 0xF7}, {0xFC}, {0xF9}},
       {{F::kStrayBytes, 3}}},
      {"a run ends inside a message", {{0x90, 0x3C}, {0x40}, {0xF0}, {0x01, 0x02}, {0xF7, 0xE1}, {0x7F}, {0x7F}},
       {{0x90, 0x3C, 0x40}, {0xF0, 0x01, 0x02, 0xF7}, {0xE1, 0x7F, 0x7F}}, {}},
      {"an unfinished short message is dropped", {{0x90, 0x3C}, cc, {0xC0}}, {cc},
       {{F::kUnfinishedMessage, 2}, {F::kUnfinishedMessage, 1}}},
      {"system common messages with their data", {{0xF2, 0x01, 0x02, 0xF3, 0x05, 0xF1, 0x10, 0xF6}},
       {{0xF2, 0x01, 0x02}, {0xF3, 0x05}, {0xF1, 0x10}, {0xF6}}, {}},
      {"an end without a start is stray, and ends a short message", {{0xF7}, {0x90, 0x3C, 0xF7, 0x40}, cc}, {cc},
       {{F::kStrayBytes, 1}, {F::kUnfinishedMessage, 2}, {F::kStrayBytes, 2}}},
      {"the stream ends inside a dump", {Head(dump, 7)}, {}, {{F::kUnfinishedSysEx, 7}}},
  };
  for (const Case& c : cases)
  {
    MidiInputFramer f;
    const Output o = FeedRuns(f, c.runs);
    EXPECT_EQ(o.messages, c.want) << c.name;
    EXPECT_EQ(o.drops, c.drops) << c.name;
    EXPECT_FALSE(f.InMessage()) << c.name;
  }

  // A source that never uses running status: data after a complete message is stray.
  MidiInputFramer noRunning(false);
  const Output o = FeedRuns(noRunning, {{0xB0, 0x3C, 0x05}, {0x00, 0x7C, 0x00}, {0x00, 0x7C, 0x00}, {0x90, 0x3C},
                                        {0x40, 0x3E, 0x41}, {0xC0, 0x05, 0x06}});
  EXPECT_EQ(o.messages, (std::vector<Bytes>{{0xB0, 0x3C, 0x05}, {0x90, 0x3C, 0x40}, {0xC0, 0x05}}));
  EXPECT_EQ(o.drops, (Drops{{F::kStrayBytes, 6}, {F::kStrayBytes, 2}, {F::kStrayBytes, 1}}));
}

TEST(MidiInputFramer, EndForgetsEverythingBeforeIt)
{
  MidiInputFramer f;
  const Bytes dump = MakeSimDump(40);
  Output o = FeedRuns(f, {Head(dump, 10)});
  EXPECT_EQ(o.drops, (Drops{{F::kUnfinishedSysEx, 10}}));
  // The rest of the old dump is not glued on, and running status is gone.
  o = FeedRuns(f, {{0x90, 0x3C, 0x40}});
  ASSERT_EQ(o.messages.size(), 1u);
  o = FeedRuns(f, {Tail(dump, 10), {0x3C, 0x40}, dump});
  EXPECT_EQ(o.messages, std::vector<Bytes>{dump});
  EXPECT_EQ(o.drops, (Drops{{F::kStrayBytes, 30 + 2}}));
  EXPECT_EQ(f.DroppedCount(), 2);
  EXPECT_EQ(f.DroppedBytes(), 10 + 32);
}

TEST(MidiInputFramer, TooLongIsDroppedWholeAndTheNextArrives)
{
  MidiInputFramer f(true, 16);
  // The limit met inside a run, across runs, and one byte over in a single run.
  const Bytes longDump = MakeSimDump(40), fits = MakeSimDump(16), oneOver = MakeSimDump(17);
  Bytes unfinished(20, 0x11);
  unfinished[0] = 0xF0;
  const Output o = FeedRuns(f, {Head(longDump, 10), Tail(longDump, 10), fits, {0xC0, 0x01}, unfinished,
                                {0x80, 0x3C, 0x00}, oneOver, fits});
  EXPECT_EQ(o.messages, (std::vector<Bytes>{fits, {0xC0, 0x01}, {0x80, 0x3C, 0x00}, fits}));
  EXPECT_EQ(o.drops, (Drops{{F::kTooLongSysEx, 40}, {F::kTooLongSysEx, 20}, {F::kTooLongSysEx, 17}}));
}

namespace {

// A seeded stream of everything the grammar knows, with the messages it must
// give: short messages with and without running status, dumps, system common,
// real-time bytes anywhere, and things to drop (cut dumps, unfinished short
// messages, stray data).
struct Stream
{
  Bytes bytes;
  std::vector<Bytes> want;
};

Stream MakeStream(std::mt19937& rng, int items)
{
  Stream s;
  auto data = [&] { return (unsigned char)(rng() & 0x7F); };
  unsigned char running = 0;
  bool needStatus = false; // the item before must be ended by a status byte
  bool cutDump = false;    // the item before is a dump without its end
  for (int item = 0; item < items; ++item)
  {
    Bytes b;
    std::vector<Bytes> want;
    int kind = (int)(rng() % 9);
    if (needStatus && (kind == 1 || kind == 4 || kind == 7)) kind = 0;
    if (kind == 1 && !running) kind = 0;
    if ((kind == 4 || kind == 7) && running) kind = 5; // would be running status
    const bool afterCut = cutDump;
    needStatus = cutDump = false;
    switch (kind)
    {
    case 0: // a channel message
    {
      const unsigned char status = (unsigned char)(0x80 + rng() % 0x70);
      b = {status, data()};
      if ((status & 0xE0) != 0xC0) b.push_back(data());
      want.push_back(b);
      // Data after a message that cut a dump is never running status.
      running = afterCut ? 0 : status;
      break;
    }
    case 1: // running status
    {
      b = {data()};
      if ((running & 0xE0) != 0xC0) b.push_back(data());
      Bytes m = {running};
      m.insert(m.end(), b.begin(), b.end());
      want.push_back(m);
      break;
    }
    case 2: // a dump
    case 3:
    {
      const Bytes d = MakeSimDump(rng() % 8 == 0 ? 37392 : 5 + (int)(rng() % 600), (int)(rng() % 50));
      b = d;
      want.push_back(d);
      running = 0;
      break;
    }
    case 4: // stray data
    case 7:
      for (int n = 1 + (int)(rng() % 40); n > 0; --n) b.push_back(data());
      if (rng() % 2) b.push_back(0xF7);
      break;
    case 5: // a dump cut by what follows
      b = Head(MakeSimDump(300), 1 + rng() % 299);
      running = 0;
      needStatus = cutDump = true;
      break;
    case 6: // an unfinished short message
      b = {(unsigned char)(0x80 + rng() % 0x30)};
      if (rng() % 2) b.push_back(data());
      needStatus = true;
      break;
    default: // system common
    {
      const Bytes common[] = {{0xF1, data()}, {0xF2, data(), data()}, {0xF3, data()}, {0xF6}};
      b = common[rng() % 4];
      want.push_back(b);
      running = 0;
      break;
    }
    }
    if (rng() % 3 == 0)
    {
      const unsigned char rt = (unsigned char)(0xF8 + rng() % 8);
      b.insert(b.begin() + rng() % b.size(), rt);
      want.insert(want.begin(), Bytes{rt});
    }
    s.bytes.insert(s.bytes.end(), b.begin(), b.end());
    s.want.insert(s.want.end(), want.begin(), want.end());
  }
  return s;
}

} // namespace

// The same stream fed whole and cut into random runs gives the same messages,
// the ones it was made of, and the same drops.
TEST(MidiInputFramer, SeededRandomStreamInRandomRunsEqualsTheStreamWhole)
{
  std::mt19937 rng(20261207);
  for (int round = 0; round < 20; ++round)
  {
    const Stream s = MakeStream(rng, 300);
    MidiInputFramer whole;
    const Output w = FeedRuns(whole, {s.bytes});
    ASSERT_EQ(w.messages.size(), s.want.size()) << "round " << round;
    for (size_t i = 0; i < s.want.size(); ++i) ASSERT_EQ(w.messages[i], s.want[i]) << "round " << round << " message " << i;

    std::vector<Bytes> runs;
    for (size_t at = 0; at < s.bytes.size();)
    {
      const size_t len = std::min(s.bytes.size() - at, (size_t)(1 + rng() % (rng() % 2 ? 4 : 3000)));
      runs.emplace_back(s.bytes.begin() + at, s.bytes.begin() + at + len);
      at += len;
    }
    MidiInputFramer cut;
    const Output c = FeedRuns(cut, runs);
    ASSERT_EQ(c.messages, w.messages) << "round " << round;
    EXPECT_EQ(c.drops, w.drops) << "round " << round;
  }
}
