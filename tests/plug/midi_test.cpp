#include "ConsoleCapture.h"
#include "plug/IMidiMsg.h"
#include "plug/IMidiQueue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const IMidiMsg& m)
{
  return {m.mStatus, m.mData1, m.mData2};
}

IMidiMsg At(int offset, uint8_t tag)
{
  return IMidiMsg(offset, 0x90, tag, 100);
}

// Offsets and tags of the queued messages, front to back.
std::vector<std::pair<int, int>> Drain(IMidiQueue& q)
{
  std::vector<std::pair<int, int>> out;
  while (!q.Empty())
  {
    out.push_back({q.Peek()->mOffset, q.Peek()->mData1});
    q.Remove();
  }
  return out;
}

}  // namespace

TEST(MidiMsg, BuildersGiveTheseBytes)
{
  struct Case { const char* what; IMidiMsg msg; int offset; std::vector<uint8_t> bytes; };
  auto make = [](auto f) { IMidiMsg m(99, 1, 2, 3); f(m); return m; };
  const Case cases[] = {
      {"note on", make([](IMidiMsg& m) { m.MakeNoteOnMsg(60, 100, 17, 3); }), 17, {0x93, 60, 100}},
      {"note off", make([](IMidiMsg& m) { m.MakeNoteOffMsg(60, 5, 15); }), 5, {0x8F, 60, 64}},
      {"note off velocity", make([](IMidiMsg& m) { m.MakeNoteOffMsg(61, 0, 0, 12); }), 0, {0x80, 61, 12}},
      {"pitch centre", make([](IMidiMsg& m) { m.MakePitchWheelMsg(0.0, 0); }), 0, {0xE0, 0x00, 0x40}},
      {"pitch top", make([](IMidiMsg& m) { m.MakePitchWheelMsg(1.0, 0); }), 0, {0xE0, 0x7F, 0x7F}},
      {"pitch below", make([](IMidiMsg& m) { m.MakePitchWheelMsg(-2.0, 0); }), 0, {0xE0, 0x00, 0x00}},
      {"pitch bottom", make([](IMidiMsg& m) { m.MakePitchWheelMsg(-1.0, 4); }), 0, {0xE4, 0x00, 0x00}},
      {"pitch half", make([](IMidiMsg& m) { m.MakePitchWheelMsg(0.5, 0); }), 0, {0xE0, 0x00, 0x60}},
      {"cc", make([](IMidiMsg& m) { m.MakeControlChangeMsg((IMidiMsg::EControlChangeMsg)7, 1.0, 2); }), 0, {0xB2, 0x07, 0x7F}},
      {"cc half", make([](IMidiMsg& m) { m.MakeControlChangeMsg(IMidiMsg::kNRPNMSB, 0.5, 0); }), 0, {0xB0, 99, 63}},
      {"program", make([](IMidiMsg& m) { m.MakeProgramChangeMsg(5 / 127.0, 0); }), 0, {0xC0, 5, 0xFF}},
      {"clear", make([](IMidiMsg& m) { m.Clear(); }), 0, {0, 0, 0}},
  };
  for (const Case& c : cases)
  {
    EXPECT_EQ(c.msg.mOffset, c.offset) << c.what;
    EXPECT_EQ(Bytes(c.msg), c.bytes) << c.what;
  }
}

TEST(MidiMsg, EveryProgramNumberComesBackExactly)
{
  for (int prg = 0; prg < 128; ++prg)
  {
    IMidiMsg m;
    m.MakeProgramChangeMsg(prg / 127.0, 9);
    EXPECT_EQ(m.Program(), prg);
    EXPECT_EQ(m.Channel(), 9);
  }
}

TEST(MidiMsg, ParsersAnswerForTheirKindOnly)
{
  struct Case { uint8_t status, d1, d2; int kind, note, velocity, program; double pitch; };
  const Case cases[] = {
      {0x90, 60, 100, 9, 60, 100, -1, 0.0},
      {0x85, 61, 0, 8, 61, 0, -1, 0.0},
      {0xA0, 62, 33, 10, 62, -1, -1, 0.0},   // poly aftertouch: a note, no velocity
      {0xB1, 7, 64, 11, -1, -1, -1, 0.0},
      {0xC2, 5, 0, 12, -1, -1, 5, 0.0},
      {0xD0, 40, 0, 13, -1, -1, -1, 0.0},    // channel aftertouch: no note
      {0xE0, 0x00, 0x40, 14, -1, -1, -1, 0.0},
      {0xE0, 0x00, 0x00, 14, -1, -1, -1, -1.0},
      {0xE0, 0x7F, 0x7F, 14, -1, -1, -1, 8191.0 / 8192.0},
      {0xF8, 0, 0, 0, -1, -1, -1, 0.0},      // system messages have no kind
      {0xF0, 0x7E, 0xF7, 0, -1, -1, -1, 0.0},
      {0x45, 0, 0, 0, -1, -1, -1, 0.0},      // a data byte
  };
  for (const Case& c : cases)
  {
    const IMidiMsg m(0, c.status, c.d1, c.d2);
    SCOPED_TRACE(testing::Message() << std::hex << (int)c.status);
    EXPECT_EQ(m.StatusMsg(), c.kind);
    EXPECT_EQ(m.NoteNumber(), c.note);
    EXPECT_EQ(m.Velocity(), c.velocity);
    EXPECT_EQ(m.Program(), c.program);
    EXPECT_DOUBLE_EQ(m.PitchWheel(), c.pitch);
    EXPECT_EQ(m.Channel(), c.status & 0x0F);
    EXPECT_EQ(m.MidiChannelIdx(), c.status);
  }

  IMidiMsg cc;
  cc.MakeControlChangeMsg((IMidiMsg::EControlChangeMsg)7, 1.0, 2);
  EXPECT_DOUBLE_EQ(cc.ControlChange((IMidiMsg::EControlChangeMsg)7), 1.0);
  EXPECT_DOUBLE_EQ(cc.ControlChange((IMidiMsg::EControlChangeMsg)8), -1.0);
  EXPECT_EQ(cc.ControlChangeIdx(), 7);
  const IMidiMsg noteOn(0, 0x90, 7, 127);
  EXPECT_DOUBLE_EQ(noteOn.ControlChange((IMidiMsg::EControlChangeMsg)7), -1.0);
}

TEST(MidiMsg, StatusTexts)
{
  const char* expected[] = {"none",    "unknown",    "unknown",       "unknown",       "unknown",
                            "unknown", "unknown",    "unknown",       "noteoff",       "noteon ",
                            "aftertouch", "controlchange", "programchange", "channelaftertouch", "pitchwheel"};
  for (int i = 0; i < 15; ++i) EXPECT_STREQ(StatusMsgStr((IMidiMsg::EStatusMsg)i), expected[i]) << i;
  EXPECT_STREQ(StatusMsgStr((IMidiMsg::EStatusMsg)15), "unknown");
  EXPECT_STREQ(StatusMsgStr((IMidiMsg::EStatusMsg)255), "unknown");
  EXPECT_STREQ(StatusMsgStr((IMidiMsg::EStatusMsg)-1), "unknown");
}

TEST(MidiMsg, SysExStrFitsItsBuffer)
{
  const uint8_t msg[] = {0xF0, 0x42, 0x30, 0x58, 0xF7};
  struct Case { int maxLen; const char* text; };
  const Case cases[] = {{8, "F0 42"}, {2, ""}, {3, "F0"}, {15, "F0 42 30 58 F7"}, {64, "F0 42 30 58 F7"}, {0, nullptr}};
  for (const Case& c : cases)
  {
    char buf[80];
    memset(buf, '#', sizeof(buf));
    EXPECT_EQ(SysExStr(buf, c.maxLen, msg, 5), buf);
    if (c.text)
    {
      EXPECT_STREQ(buf, c.text) << c.maxLen;
      EXPECT_LE((int)strlen(buf) + 1, c.maxLen);
    }
    else
    {
      EXPECT_EQ(buf[0], '#');  // no room even for the terminator
    }
  }
  char buf[8] = "x";
  EXPECT_STREQ(SysExStr(buf, 8, nullptr, 5), "");
  EXPECT_STREQ(SysExStr(buf, 8, msg, 0), "");
}

TEST(MidiMsg, LogLines)
{
  CaptureConsole();
  IMidiMsg m;
  m.MakeNoteOnMsg(60, 100, 0, 0);
  m.LogMsg();
  EXPECT_EQ(CapturedConsole(), "(noteon  | 1 | 60 | 100)\n");
  // With its prefix, one line handed over whole: another thread's line cannot land inside it.
  CaptureConsole();
  const unsigned long long before = ConsoleLogCounts().written;
  m.LogMsg("Plug-in MIDI Out ");
  EXPECT_EQ(CapturedConsole(), "Plug-in MIDI Out (noteon  | 1 | 60 | 100)\n");
  EXPECT_EQ(ConsoleLogCounts().written - before, 1u);

  std::vector<uint8_t> big(40);
  for (int i = 0; i < 40; ++i) big[i] = (uint8_t)i;
  std::string hex;
  for (int i = 0; i < 32; ++i)
  {
    char b[4];
    snprintf(b, sizeof(b), i ? " %02X" : "%02X", i);
    hex += b;
  }
  CaptureConsole();
  ISysEx(0, big.data(), 40).LogMsg();
  EXPECT_EQ(CapturedConsole(), "(40 : " + hex + ")\n");

  CaptureConsole();
  ISysEx empty;
  empty.LogMsg();
  EXPECT_EQ(CapturedConsole(), "(0 : )\n");

  ISysEx s(3, big.data(), 40);
  s.Clear();
  EXPECT_EQ(s.mOffset, 0);
  EXPECT_EQ(s.mSize, 0);
  EXPECT_EQ(s.mData, nullptr);
}

TEST(MidiQueue, TimeOrderWithTiesInArrivalOrder)
{
  IMidiQueue q;
  EXPECT_EQ(q.GetSize(), 1024);
  EXPECT_EQ(q.GetGrow(), 1024);
  EXPECT_TRUE(q.Empty());
  const IMidiMsg msgs[] = {At(5, 1), At(3, 2), At(3, 3), At(7, 4)};
  for (const IMidiMsg& m : msgs) q.Add(&m);
  EXPECT_EQ(q.ToDo(), 4);
  const std::vector<std::pair<int, int>> expected = {{3, 2}, {3, 3}, {5, 1}, {7, 4}};
  EXPECT_EQ(Drain(q), expected);

  IMidiQueue r;
  const IMidiMsg more[] = {At(10, 1), At(20, 2), At(0, 3), At(20, 4), At(10, 5)};
  for (const IMidiMsg& m : more) r.Add(&m);
  const std::vector<std::pair<int, int>> expected2 = {{0, 3}, {10, 1}, {10, 5}, {20, 2}, {20, 4}};
  EXPECT_EQ(Drain(r), expected2);
}

TEST(MidiQueue, SeededRandomOffsetsComeOutStableSorted)
{
  std::mt19937 rng(20008);
  for (int round = 0; round < 20; ++round)
  {
    IMidiQueue q(16);
    std::vector<std::pair<int, int>> added;
    const int n = 1 + (int)(rng() % 300);
    for (int i = 0; i < n; ++i)
    {
      const int off = (int)(rng() % 64);
      const IMidiMsg m(off, 0xB0, (uint8_t)(i & 0x7F), (uint8_t)(i >> 7));
      q.Add(&m);
      added.push_back({off, i});
      // Sometimes the reader consumes in between, as the audio thread does.
      if (rng() % 7 == 0 && !q.Empty()) q.Remove(), added.push_back({-1, -1});
    }
    // Model: a stable sort by offset, with removals taking the current front.
    std::vector<std::pair<int, int>> model;
    for (const auto& a : added)
    {
      if (a.first < 0)
      {
        model.erase(model.begin());
        continue;
      }
      auto it = model.begin();
      while (it != model.end() && it->first <= a.first) ++it;
      model.insert(it, a);
    }
    std::vector<std::pair<int, int>> got;
    while (!q.Empty())
    {
      got.push_back({q.Peek()->mOffset, q.Peek()->mData1 | q.Peek()->mData2 << 7});
      q.Remove();
    }
    ASSERT_EQ(got, model) << "round " << round;
  }
}

TEST(MidiQueue, GrowsInStepsWhenNothingWasConsumed)
{
  IMidiQueue q;
  for (int i = 0; i < 1024; ++i)
  {
    const IMidiMsg m = At(i, (uint8_t)(i & 0x7F));
    q.Add(&m);
  }
  EXPECT_EQ(q.GetSize(), 1024);
  const IMidiMsg last = At(1024, 0);
  q.Add(&last);
  EXPECT_EQ(q.GetSize(), 2048);
  EXPECT_EQ(q.ToDo(), 1025);
  for (int i = 0; i <= 1024; ++i)
  {
    ASSERT_EQ(q.Peek()->mOffset, i);
    q.Remove();
  }
  EXPECT_TRUE(q.Empty());

  // 2048 becomes 3072.
  for (int i = 0; i < 2049; ++i)
  {
    const IMidiMsg m = At(i, 0);
    q.Add(&m);
  }
  EXPECT_EQ(q.GetSize(), 3072);
}

TEST(MidiQueue, CompactsInsteadOfGrowingWhenTheFrontWasConsumed)
{
  IMidiQueue q;
  for (int i = 0; i < 1024; ++i)
  {
    const IMidiMsg m = At(i, 0);
    q.Add(&m);
  }
  for (int i = 0; i < 10; ++i) q.Remove();
  const IMidiMsg early = At(500, 9);  // lands among the queued ones after compaction
  q.Add(&early);
  EXPECT_EQ(q.GetSize(), 1024);
  EXPECT_EQ(q.ToDo(), 1015);
  int prev = -1;
  int tagged = 0;
  while (!q.Empty())
  {
    ASSERT_GE(q.Peek()->mOffset, prev);
    prev = q.Peek()->mOffset;
    if (q.Peek()->mData1 == 9)
    {
      ++tagged;
      EXPECT_EQ(q.Peek()->mOffset, 500);
    }
    q.Remove();
  }
  EXPECT_EQ(tagged, 1);
}

TEST(MidiQueue, AMessageOfTheQueueItselfIsAddedAsItWas)
{
  // Full, nothing consumed: the add grows (and may move) the buffer. Full with
  // the front consumed: it compacts, and another message takes the place.
  IMidiQueue q(4);
  for (int i = 0; i < 4; ++i)
  {
    const IMidiMsg m = At(10 + i, (uint8_t)i);
    q.Add(&m);
  }
  q.Add(q.Peek());  // offset 10, tag 0, behind the first
  EXPECT_EQ(q.GetSize(), 8);
  for (int i = 0; i < 3; ++i)
  {
    const IMidiMsg m = At(20 + i, (uint8_t)(4 + i));
    q.Add(&m);
  }
  q.Remove();
  q.Add(q.Peek());  // full at the back: compacts; offset 10, tag 0 again
  EXPECT_EQ(q.GetSize(), 8);
  q.Add(q.Peek() + 1);  // offset 10, tag 0: full again, grows
  EXPECT_EQ(q.GetSize(), 12);
  const int want[][2] = {{10, 0}, {10, 0}, {10, 0}, {11, 1}, {12, 2}, {13, 3}, {20, 4}, {21, 5}, {22, 6}};
  EXPECT_EQ(q.ToDo(), 9);
  for (const auto& w : want)
  {
    ASSERT_FALSE(q.Empty());
    EXPECT_EQ(q.Peek()->mOffset, w[0]);
    EXPECT_EQ(q.Peek()->mData1, w[1]);
    q.Remove();
  }
  EXPECT_TRUE(q.Empty());
}

TEST(MidiQueue, StepZeroDropsSilently)
{
  IMidiQueue q(0);
  EXPECT_EQ(q.GetSize(), 0);
  const IMidiMsg m = At(1, 1);
  q.Add(&m);
  EXPECT_TRUE(q.Empty());
  q.Add(nullptr);
  EXPECT_TRUE(q.Empty());
}

TEST(MidiQueue, FlushCarriesLateMessagesIntoTheNextBlock)
{
  IMidiQueue q;
  const IMidiMsg msgs[] = {At(0, 1), At(100, 2), At(100, 3), At(700, 4)};
  for (const IMidiMsg& m : msgs) q.Add(&m);

  // The audio callback's drain of one block of 512 frames.
  auto drainBlock = [&q](int nFrames) {
    std::vector<std::pair<int, int>> sent;  // (position, tag)
    for (int s = 0; s < nFrames; ++s)
    {
      while (!q.Empty() && q.Peek()->mOffset <= s)
      {
        sent.push_back({s, q.Peek()->mData1});
        q.Remove();
      }
    }
    q.Flush(nFrames);
    return sent;
  };
  const std::vector<std::pair<int, int>> first = {{0, 1}, {100, 2}, {100, 3}};
  EXPECT_EQ(drainBlock(512), first);
  ASSERT_EQ(q.ToDo(), 1);
  EXPECT_EQ(q.Peek()->mOffset, 188);
  const std::vector<std::pair<int, int>> second = {{188, 4}};
  EXPECT_EQ(drainBlock(512), second);
  EXPECT_TRUE(q.Empty());
}
