// Control actions as bytes: every action type and translation, both timbres, the
// echo and refusal rules, and the small senders.

#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "plug/ByteChunk.h"
#include "ui/ControlAction.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using Bytes = std::vector<unsigned char>;

// An editor with output "open": timbre 1 on channel 3, timbre 2 on channel 6,
// global channel 10, ranges as the configuration gives them.
struct Sending : ::testing::Test
{
  DataFolder data;
  EditorUnderTest e;
  std::vector<std::unique_ptr<ControlAction>> actions;

  void SetUp() override
  {
    e.GetParam(kMultiPartMIDICh)->InitInt("ch1", 0, 0, 16);
    e.GetParam(kMultiPartMIDICh + 1)->InitInt("ch2", 0, 0, 16);
    e.GetParam(kGlobalMidiChannel)->InitInt("global", 0, 0, 15);
    e.GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
    e.GetParam(kMultiPartMIDICh)->Set(2);
    e.GetParam(kMultiPartMIDICh + 1)->Set(5);
    e.GetParam(kGlobalMidiChannel)->Set(9);
    e.GetParam(kDeviceOutSelection)->Set(1);
    e.midiOutSet = true;
    e.sysexChannelByte = 0x39;
    e.takeSent();
  }

  ControlAction* bind(int id, int type, int part)
  {
    actions.emplace_back(new ControlAction(type));
    ControlAction* a = actions.back().get();
    a->part = part;
    e.GetParam(id)->InitInt("p", 0, 0, 127);
    e.GetParam(id)->SetControlAction(a);
    return a;
  }
};

TEST_F(Sending, EveryActionKindSendsItsBytes)
{
  struct Case
  {
    int id, type, part, cc, msb, lsb, offset, off, on, value;
    std::vector<Bytes> expected;
  } cases[] = {
      {kFilterCutoff, 1, 0, 74, -1, -1, 0, -1, -1, 100, {{0xB2, 74, 100}}},
      {kFilterCutoff + 1, 1, 1, 74, -1, -1, 0, -1, -1, 99, {{0xB5, 74, 99}}},
      {kOsc1Waveform, 1, 0, 80, -1, -1, 0, -1, -1, 3, {{0xB2, 80, 54}}},
      {kOsc1Waveform + 1, 1, 1, 80, -1, -1, 0, -1, -1, 7, {{0xB5, 80, 126}}},
      {kOsc1Waveform, 1, 0, 80, -1, -1, 0, -1, -1, 8, {{0xB2, 80, 8}}},
      {kOsc2Waveform, 1, 0, 81, -1, -1, 0, -1, -1, 2, {{0xB2, 81, 127}}},
      {kOsc2Waveform + 1, 1, 1, 81, -1, -1, 0, -1, -1, 1, {{0xB5, 81, 64}}},
      {kOsc1DWGSWave + 1, 1, 1, 82, -1, -1, 0, -1, -1, 21, {{0xB5, 82, 42}}},
      {kLfo1Waveform, 1, 0, 83, -1, -1, 0, -1, -1, 2, {{0xB2, 83, 85}}},
      {kFilterType + 1, 1, 1, 84, -1, -1, 0, -1, -1, 3, {{0xB5, 84, 127}}},
      {kModFxSpeed, 1, 1, 12, -1, -1, 0, -1, -1, 40, {{0xB2, 12, 40}}},  // the shown timbre's channel
      {kDelayFxTime, 1, 0, 13, -1, -1, 0, -1, -1, 41, {{0xB9, 13, 41}}},  // global channel
      {kAmpGateSw, 2, 0, 85, -1, -1, 0, 0, 127, 1, {{0xB2, 85, 127}}},
      {kAmpGateSw + 1, 2, 1, 85, -1, -1, 0, 0, 127, 0, {{0xB5, 85, 0}}},
      {kLfo2Frequency, 3, 0, 6, 5, 2, 0, -1, -1, 77, {{0xB2, 99, 5}, {0xB2, 98, 2}, {0xB2, 6, 77}}},
      {kLfo2Frequency + 1, 3, 1, 6, 5, 3, 10, -1, -1, 7, {{0xB5, 99, 5}, {0xB5, 98, 3}, {0xB5, 6, 17}}},
      {kArpType, 3, 0, 6, 5, 4, 0, -1, -1, 3, {{0xB9, 99, 5}, {0xB9, 98, 4}, {0xB9, 6, 77}}},
      {kArpOnOff, 3, 0, 6, 5, 5, 0, 0, 2, 1, {{0xB9, 99, 5}, {0xB9, 98, 5}, {0xB9, 6, 127}}},
      {kArpGate, 3, 1, 6, 5, 6, 1, -1, -1, 50, {{0xB9, 99, 5}, {0xB9, 98, 6}, {0xB9, 6, 51}}},
      {kVPatchSrc1 + 1, 3, 1, 6, 4, 7, 0, -1, -1, 5, {{0xB5, 99, 4}, {0xB5, 98, 7}, {0xB5, 6, 90}}},
  };
  for (const Case& c : cases)
  {
    SCOPED_TRACE("param " + std::to_string(c.id) + " value " + std::to_string(c.value));
    ControlAction* a = bind(c.id, c.type, c.part);
    a->ccNumber = c.cc;
    a->msbValue = c.msb;
    a->lsbValue = c.lsb;
    a->valueOffset = c.offset;
    a->offValue = c.off;
    a->onValue = c.on;
    e.currentPart = 0;
    e.userSets(c.id, c.value);
    EXPECT_EQ(e.takeSent(), c.expected);
    EXPECT_EQ(a->lastValue.load(), (double)c.value);
    // The same integer value again sends nothing.
    e.userSets(c.id, c.value + 0.4);
    EXPECT_TRUE(e.takeSent().empty());
  }
}

TEST_F(Sending, SystemExclusiveActionsPutEditModeFirstAndTheChannelByte)
{
  ControlAction* a = bind(kFilterCutoff + 1, 6, 1);
  for (int v = 0; v < 4; ++v) a->sysExMessage.messages.push_back({0x42, 0x30, 0x58, 0x41, 0x43, 0x01, 0x10, v});
  ControlAction* m = bind(kOsc1Level, 6, 0);
  m->sysExMessage.multiMessage = true;
  m->sysExMessage.multiMessages = {{{0x42, 0, 0x58, 0x41, 1, 0, 0, 0}},
                                   {{0x42, 0, 0x58, 0x41, 1, 0, 1, 0}, {0x42, 0, 0x58, 0x41, 2, 0, 1, 0}}};
  e.userSets(kFilterCutoff + 1, 2);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xF0, 0x42, 0x39, 0x58, 0x4E, 0x01, 0x00, 0xF7},
                                               {0xF0, 0x42, 0x39, 0x58, 0x41, 0x43, 0x01, 0x7F, 0x7F, 0xF7}}));
  e.userSets(kOsc1Level, 1);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xF0, 0x42, 0x39, 0x58, 0x41, 1, 0, 1, 0, 0xF7},
                                               {0xF0, 0x42, 0x39, 0x58, 0x41, 2, 0, 1, 0, 0xF7}}));
  // A value beyond the table sends nothing.
  e.userSets(kFilterCutoff + 1, 9);
  EXPECT_TRUE(e.takeSent().empty());
}

TEST_F(Sending, WithoutAnOutputPortNothingLeavesAndTheValueIsKeptForLater)
{
  ControlAction* a = bind(kFilterCutoff, 1, 0);
  a->ccNumber = 74;
  e.midiOutSet = false;
  e.userSets(kFilterCutoff, 64);
  EXPECT_EQ(e.nameLine(), "Set MIDI I/O First!");
  EXPECT_TRUE(e.takeSent().empty());
  EXPECT_EQ(a->lastValue.load(), -1.0);
  // The global channel refuses silently.
  ControlAction* g = bind(kGlobalMidiChannel, 1, 0);
  g->ccNumber = 1;
  e.showNameLine("");
  e.userSets(kGlobalMidiChannel, 3);
  EXPECT_NE(e.nameLine(), "Set MIDI I/O First!");  // the display shows the parameter, no refusal
  // So does a control whose action sends nothing: the librarian's search field says
  // why it refused a one-character text, not that a port is missing.
  bind(kPatchSearchString, kActionNone, 0);
  e.GetParam(kPatchSearchString)->SetDisplayText(0, "P");
  e.userSets(kPatchSearchString, 1);
  EXPECT_EQ(e.nameLine(), "Enter 2 digits or more!");
  e.midiOutSet = true;
  e.userSets(kFilterCutoff, 64);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB2, 74, 64}}));
  // No port is open behind the flag here: the port's refusal is the send's result.
  const unsigned char request[] = {0x42, 0x39, 0x58, 0x10};
  EXPECT_FALSE(e.checksumCheckAndSend(request, 4));
}

TEST_F(Sending, EchoRulesForValuesThatCameFromOutside)
{
  ControlAction* a = bind(kFilterCutoff, 1, 0);
  a->ccNumber = 74;
  struct Case
  {
    bool fromIncoming, localControl, fromHost, viaHardwareHook;
    bool sent;
  } cases[] = {
      {false, true, false, false, true},  {true, true, false, false, false}, {true, false, false, false, true},
      {true, true, true, false, true},    {false, false, false, true, false},
  };
  int v = 10;
  for (const Case& c : cases)
  {
    e.midiMessageManager->valueFromIncomingMessage = c.fromIncoming;
    e.midiMessageManager->incomingFromHost = c.fromHost;
    e.localControlOn = c.localControl;
    e.GetParam(kFilterCutoff)->Set(++v);
    if (c.viaHardwareHook) e.OnParamChange2(kFilterCutoff);
    else e.OnParamChange(kFilterCutoff);
    EXPECT_EQ(e.takeSent().size(), c.sent ? 1u : 0u) << v;
    EXPECT_EQ(a->lastValue.load(), (double)v);
  }
  e.midiMessageManager->valueFromIncomingMessage = false;
}

TEST_F(Sending, SmallSendersAndTheWaitUnit)
{
  e.GetParam(kLibSyncTimer)->InitInt("timer", 0, 0, 10);
  const int units[][2] = {{0, 200}, {1, 300}, {2, 400}, {3, 500}, {7, 100}};
  for (const auto& u : units)
  {
    e.GetParam(kLibSyncTimer)->Set(u[0]);
    EXPECT_EQ(e.getTimerValue(), u[1]);
  }
  e.SendPatchEditOffCommand();
  EXPECT_FALSE(e.patchEditOn);
  e.AllSoundsOff();
  e.GetParam(kMultiPartMIDICh + 1)->Set(16);  // the global channel stands in
  e.AllSoundsOff();
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xF0, 0x42, 0x39, 0x58, 0x4E, 0x00, 0x00, 0xF7},
                                               {0xB2, 123, 0},
                                               {0xB5, 123, 0},
                                               {0xB2, 123, 0},
                                               {0xB9, 123, 0}}));
  // Buffered output goes to the queue instead.
  e.bufferedMidiOut = true;
  e.AllSoundsOff();
  EXPECT_TRUE(e.takeSent().empty());
  EXPECT_EQ(e.midiOutQueue.ToDo(), 2);
}

TEST_F(Sending, DeviceEnquiryThatCannotStartDoesNotBlockAllSoundsOff)
{
  e.workerIdle = false;
  e.sendSysExInitialization();
  EXPECT_FALSE(e.sysExInitRequested);
  e.AllSoundsOff();
  EXPECT_EQ(e.takeSent().size(), 2u);
  // A running enquiry holds it back, but not for ever.
  e.workerIdle = true;
  e.sendSysExInitialization();
  EXPECT_TRUE(e.sysExInitRequested);
  e.AllSoundsOff();
  EXPECT_TRUE(e.takeSent().empty());
  e.sysExInitTime = e.sysExInitTime - 20 * e.getTimerValue() - 1;
  e.AllSoundsOff();
  EXPECT_EQ(e.takeSent().size(), 2u);
  EXPECT_FALSE(e.sysExInitRequested);
}

TEST_F(Sending, SettingsSwitchesSetTheirFlags)
{
  e.GetParam(kArpTempo)->InitInt("tempo", 0, 0, 200);
  e.userSets(kMIDIFilterToDAWBuffer, 1);
  EXPECT_TRUE(e.bufferedMidiOut);
  EXPECT_EQ(e.GetParam(kMIDIFilterDirectToHardware)->Value(), 0.0);
  e.userSets(kMIDIFilterToDAWBuffer, 0);
  EXPECT_TRUE(e.bufferedMidiOut);  // turning one off does nothing to the other
  e.userSets(kMIDIFilterDirectToHardware, 1);
  EXPECT_FALSE(e.bufferedMidiOut);
  EXPECT_EQ(e.GetParam(kMIDIFilterToDAWBuffer)->Value(), 0.0);

  e.GetParam(kOverrideTempo)->Set(1.0);
  e.arpTempoIndex = 3;
  e.userSets(kArpTempo, 50);
  EXPECT_EQ(e.arpTempoIndex, 3);
  e.GetParam(kOverrideTempo)->Set(0.0);
  e.userSets(kArpTempo, 50);
  EXPECT_EQ(e.arpTempoIndex, 50);

  e.userSets(kGlobalMidiChannel, 15);
  EXPECT_EQ(e.sysexChannelByte, 0x3F);

  for (int i = 0; i < 7; ++i)
  {
    e.userSets(kMIDIFilterHWCCPassThrough + i, 0);
    e.userSets(kMIDIFilterDAWCCPassThrough + i, 1);
  }
  for (int c = 0; c < kNumMidiFilterClasses; ++c)
  {
    EXPECT_TRUE(e.hardwareFilterBlock[c]) << c;
    EXPECT_FALSE(e.dawFilterBlock[c]) << c;
  }
  e.userSets(kMIDIFilterHWCCPassThrough + 2, 1);  // notes
  EXPECT_FALSE(e.hardwareFilterBlock[kFilterNotes]);

  e.jobs.clear();
  e.userSets(kSendMIDIClockInfo, 1);
  EXPECT_TRUE(e.sendClockTicks);
  e.userSets(kSendMIDIClockInfo, 0);
  EXPECT_FALSE(e.sendClockTicks);
  EXPECT_EQ(e.jobs, (std::vector<EditorUnderTest::Job>{{'r', 0, 0, false}, {'r', 0, 0, true}}));

  // The "OFF" port stops the clock loop and every later send refuses.
  e.jobs.clear();
  e.userSets(kDeviceOutSelection, 0);
  EXPECT_FALSE(e.midiOutSet);
  EXPECT_EQ(e.jobs, (std::vector<EditorUnderTest::Job>{{'r', 0, 0, true}}));
}

}  // namespace

// A dump from the hardware, a randomized program and a recalled project change
// values behind the records' backs, and the program reaches the hardware whole: a
// knob turned back to the value it sent before must send it again.
TEST_F(Sending, AValueSentBeforeAWholeProgramChangeGoesOutAgainAfterIt)
{
  ControlAction* a = bind(kFilterCutoff, 1, 0);
  a->ccNumber = 74;
  ControlAction* b = bind(kFilterCutoff + 1, 1, 1);
  b->ccNumber = 74;
  ByteChunk project;
  ASSERT_TRUE(e.SerializeState(&project));
  const struct
  {
    const char* what;
    std::function<void()> change;
  } changes[] = {
      {"dump from the hardware",
       [&] {
         std::vector<unsigned char> dump(297, 0);
         dump[0] = 0xF0, dump[1] = 0x42, dump[2] = 0x30, dump[3] = 0x58, dump[4] = 0x40, dump[296] = 0xF7;
         ISysEx s(0, dump.data(), (int)dump.size());
         e.ProcessSysEx(&s, true);
       }},
      {"randomized program", [&] { e.userSets(kRandomize, 1); }},
      {"recalled project",
       [&] {
         ASSERT_EQ(e.UnserializeState(&project, 0), project.Size());
         e.midiOutSet = true;  // this test's port has no name to be chosen again by
       }},
  };
  for (const auto& c : changes)
  {
    SCOPED_TRACE(c.what);
    e.userSets(kMainPage, 2);
    e.userSets(kFilterCutoff, 100);
    e.userSets(kFilterCutoff + 1, 90);
    ASSERT_EQ(e.takeSent().size(), 2u);
    c.change();
    EXPECT_EQ(a->lastValue.load(), -1.0);
    EXPECT_EQ(b->lastValue.load(), -1.0);
    e.takeSent();
    e.userSets(kFilterCutoff, 100);
    EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB2, 74, 100}}));
    // Moved away and back for the next round.
    e.userSets(kFilterCutoff, 1);
    e.userSets(kFilterCutoff + 1, 1);
    e.takeSent();
  }
}
