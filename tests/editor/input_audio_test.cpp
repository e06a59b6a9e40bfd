// The MIDI input gates and the audio callback.

#include "EditorTestSupport.h"
#include "PollUntil.h"
#include "config/ParamIds.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

using Bytes = std::vector<unsigned char>;
using Routed = std::vector<std::vector<int>>;

struct Editor : ::testing::Test
{
  DataFolder data;
  EditorUnderTest e;

  void SetUp() override
  {
    e.GetParam(kMultiPartMIDICh)->InitInt("ch1", 0, 0, 16);
    e.GetParam(kMultiPartMIDICh + 1)->InitInt("ch2", 0, 0, 16);
    e.GetParam(kMultiPartMIDICh)->Set(0);
    e.GetParam(kMultiPartMIDICh + 1)->Set(1);
  }

  void block(int frames = 64)
  {
    double* io[2] = {nullptr, nullptr};
    e.ProcessDoubleReplacing(io, io, frames);
  }
};

TEST_F(Editor, ShortMessageGates)
{
  struct Case
  {
    const char* name;
    bool loading, partChange, requested, masterKbd, fromDevice;
    Bytes msg;
    Routed routed;  // status, data1, data2, fromDevice, part
  } cases[] = {
      {"open, hardware", false, false, false, false, true, {0x90, 60, 100}, {{0x90, 60, 100, 1, 0}}},
      {"program loading", true, false, false, false, true, {0x90, 60, 100}, {}},
      {"program loading, host", true, false, false, false, false, {0x90, 60, 100}, {}},
      {"part change", false, true, false, false, false, {0xB0, 7, 1}, {}},
      {"dump flag, no job awaits it", false, false, true, false, false, {0xB0, 7, 1}, {{0xB0, 7, 1, 0, 0}}},
      {"master keyboard drops the hardware's notes", false, false, false, true, true, {0x90, 60, 1}, {}},
      {"but not the host's", false, false, false, true, false, {0x90, 60, 1}, {{0x90, 60, 1, 0, 0}}},
      {"host on timbre 2's channel", false, false, false, false, false, {0x91, 60, 1}, {{0x91, 60, 1, 0, 1}}},
      {"host on neither channel", false, false, false, false, false, {0x97, 60, 1}, {{0x97, 60, 1, 0, 0}}},
      {"no channel status", false, false, false, false, true, {0xF8, 0, 0}, {}},
  };
  for (const Case& c : cases)
  {
    e.patchLoadingInProcess = c.loading;
    e.partChangeActive = c.partChange;
    e.midiMessageManager->patchRequested = c.requested;
    e.masterKeyboardOn = c.masterKbd;
    e.routed.clear();
    IMidiMsg m(0, c.msg[0], c.msg[1], c.msg[2]);
    e.ProcessMidiMsg(&m, c.fromDevice);
    EXPECT_EQ(e.routed, c.routed) << c.name;
  }
  // A Request without an output port asks nothing, so it sets no flag to hold back by.
  e.midiOutSet = false;
  e.userSets(kRequestTempData, 1);
  EXPECT_FALSE(e.midiMessageManager->patchRequested);
}

TEST_F(Editor, SystemExclusiveGatesAndIndicator)
{
  const Bytes paramChange = {0xF0, 0x42, 0x30, 0x58, 0x41, 0x10, 0x01, 0x05, 0x00, 0xF7};
  Bytes dump(297, 0);
  dump[0] = 0xF0, dump[1] = 0x42, dump[2] = 0x30, dump[3] = 0x58, dump[296] = 0xF7;
  struct Case
  {
    const char* name;
    bool loading, partChange, hwBlock, dawBlock, fromDevice;
    const Bytes* msg;
    bool routed, led2;
  } cases[] = {
      {"parameter change of timbre 2", false, false, false, false, true, &paramChange, true, true},
      {"program dump lights nothing", false, false, false, false, true, &dump, true, false},
      {"hardware filter", false, false, true, false, true, &paramChange, false, false},
      {"hardware filter leaves the host's", false, false, true, false, false, &paramChange, true, true},
      {"host filter", false, false, false, true, false, &paramChange, false, false},
      {"program loading", true, false, false, false, true, &paramChange, false, false},
      {"part change", false, true, false, false, true, &paramChange, false, false},
  };
  for (const Case& c : cases)
  {
    e.patchLoadingInProcess = c.loading;
    e.partChangeActive = c.partChange;
    e.hardwareFilterBlock[kFilterSysEx] = c.hwBlock;
    e.dawFilterBlock[kFilterSysEx] = c.dawBlock;
    e.midiLedOn[1] = 0;
    e.routed.clear();
    ISysEx s(0, c.msg->data(), (int)c.msg->size());
    e.ProcessSysEx(&s, c.fromDevice);
    EXPECT_EQ(e.routed.size(), c.routed ? 1u : 0u) << c.name;
    EXPECT_EQ(e.midiLedOn[1].load(), c.led2 ? 1 : 0) << c.name;
  }
}

TEST_F(Editor, AudioCallbackFollowsTheTransportOncePerEdge)
{
  block();
  EXPECT_TRUE(e.jobs.empty());  // no output port: nothing at all
  e.midiOutSet = true;
  e.playing = true;
  for (int i = 0; i < 5; ++i) block();
  e.playing = false;
  for (int i = 0; i < 5; ++i) block();
  using J = EditorUnderTest::Job;
  EXPECT_EQ(e.jobs, (std::vector<J>{{'j', kStartMIDIClockOutput, 0, false},
                                     {'r', 0, 0, false},
                                     {'j', kSendContinuousMIDIClock, 0, false},
                                     {'j', kStopMIDIClockOutput, 0, false}}));
  // While buffered, edges change the state only.
  e.jobs.clear();
  e.bufferedMidiOut = true;
  e.playing = true;
  block();
  e.playing = false;
  block();
  EXPECT_TRUE(e.jobs.empty());
}

TEST_F(Editor, AudioCallbackFollowsTheHostTempoOnce)
{
  DataFolder logged;
  writeWholeFile(logged.file("Davrel Editor LOG.txt"), std::string());
  EditorUnderTest f;
  f.GetParam(kArpTempo)->InitInt("tempo", 0, 0, 200);
  f.GetParam(kOverrideTempo)->Set(1.0);
  f.midiOutSet = true;
  f.tempo = 120.7;
  double* io[2] = {nullptr, nullptr};
  for (int i = 0; i < 3; ++i) f.ProcessDoubleReplacing(io, io, 64);
  // No window, no drawing pass: the parameter that sends and saves read follows anyway.
  EXPECT_TRUE(pollUntil([&] {
    WDL_MutexLock lock(&f.mMutex);
    return f.GetParam(kArpTempo)->Int() == 100;  // 120 BPM
  }, 10000));
  const auto bytes = readWholeFile(logged.file("Davrel Editor LOG.txt"));
  const std::string text(bytes.begin(), bytes.end());
  size_t count = 0;
  for (size_t at = 0; (at = text.find("PROCESSOR: Host tempo", at)) != std::string::npos; ++at) ++count;
  EXPECT_EQ(count, 2u);
  EXPECT_NE(text.find("PROCESSOR: Host tempo synced to 120BPM"), std::string::npos);
}

TEST_F(Editor, AudioCallbackSendsTheQueueInOffsetOrderWithinTheSpan)
{
  e.midiOutSet = true;
  e.clockJobStarted = true;
  e.allSoundsOffPending = false;
  e.bufferedMidiOut = true;
  e.dawOffset = 8;
  for (int offset : {6, 1, 9, 3})
  {
    IMidiMsg m(offset, 0xB0, 20, offset);
    e.MIDIOutRoutingSwitch(&m);
  }
  EXPECT_TRUE(e.takeSent().empty());
  block();
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB0, 20, 1}, {0xB0, 20, 3}, {0xB0, 20, 6}}));
  block();  // offset 9 moved to 1
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB0, 20, 9}}));
  // Direct mode discards what is left queued.
  IMidiMsg m(0, 0xB0, 21, 1);
  e.MIDIOutRoutingSwitch(&m);
  e.bufferedMidiOut = false;
  block();
  EXPECT_TRUE(e.takeSent().empty());
  EXPECT_TRUE(e.midiOutQueue.Empty());
}

TEST_F(Editor, AudioBlockSendsWithTheQueueLockGivenBack)
{
  // Sending lights the indicator, whose control takes the plug-in's mutex; a thread
  // holding that mutex may be queueing a message. The block must not hold the
  // queue's lock while it waits for the mutex.
  e.midiOutSet = true;
  e.clockJobStarted = true;
  e.allSoundsOffPending = false;
  e.bufferedMidiOut = true;
  e.ledTracksIncoming = false;
  e.dawOffset = 8;
  block();
  IMidiMsg m(0, 0xB0, 20, 1);  // part 1's channel
  e.MIDIOutRoutingSwitch(&m);
  e.mMutex.Enter();
  std::thread audio([&] { block(); });
  const bool queueFree = pollUntil(
      [&] {
        if (!e.midiLedOn[0].load()) return false;
        std::unique_lock<std::mutex> q(e.midiOutQueueLock, std::try_to_lock);
        return q.owns_lock();
      },
      5000);
  e.mMutex.Leave();
  audio.join();
  EXPECT_TRUE(queueFree);
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB0, 20, 1}}));
}

TEST_F(Editor, AllSoundsOffWaitsForTheTransportToStopAndIndicatorsTimeOut)
{
  e.midiOutSet = true;
  e.clockJobStarted = true;
  e.playing = true;
  e.Reset();
  block();
  EXPECT_TRUE(e.takeSent().empty());
  e.playing = false;
  block();
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB0, 123, 0}, {0xB1, 123, 0}}));
  block();
  EXPECT_TRUE(e.takeSent().empty());

  e.midiLedOn[0] = 1;
  e.midiLedTime[0] = GetTickCount();
  block();
  EXPECT_EQ(e.midiLedOn[0].load(), 1);
  e.midiLedTime[0] = GetTickCount() - 101;
  block();
  EXPECT_EQ(e.midiLedOn[0].load(), 0);
}

// The audio callback hands the tempo, the delay text and the indicators over
// with atomics: a thread holding the plug-in's mutex holds no block up, and the
// next drawing pass shows what the blocks left.
TEST_F(Editor, AudioBlocksFinishWhileAnotherThreadHoldsTheMutex)
{
  e.GetParam(kArpTempo)->InitInt("tempo", 0, 0, 200);
  e.GetParam(kMIDILed)->InitInt("led1", 0, 0, 1);
  e.GetParam(kMIDILed + 1)->InitInt("led2", 0, 0, 1);
  e.GetParam(kOverrideTempo)->Set(1.0);
  e.midiOutSet = true;
  e.clockJobStarted = true;
  e.tempo = 130.4;
  e.bufferedMidiOut = true;
  e.dawOffset = 96;
  e.hostSampleRate = 48000.0;
  ITextControl* delay = new ITextControl(&e, IRECT(0, 0, 40, 10), nullptr);
  e.graphics->AttachControl(delay);
  e.displayMIDIOutDelay = delay;
  e.midiLedOn[0] = 1;
  e.midiLedTime[0] = GetTickCount();
  IRECT area;
  e.graphics->IsDirty(&area);
  ASSERT_EQ(e.GetParam(kMIDILed)->Value(), 1.0);
  e.midiLedTime[0] = GetTickCount() - 5000;  // lit long ago: the first block puts it out
  IMidiMsg toTimbre2(0, 0xB1, 20, 5);
  e.MIDIOutRoutingSwitch(&toTimbre2);  // lights timbre 2's indicator from the audio thread

  std::atomic<bool> held{false}, release{false}, finished{false};
  std::thread holder([&] {
    WDL_MutexLock lock(&e.mMutex);
    WDL_MutexLock again(&e.mMutex);
    held = true;
    pollUntil([&] { return release.load(); }, 60000);
  });
  ASSERT_TRUE(pollUntil([&] { return held.load(); }, 10000));
  std::thread audio([&] {
    for (int i = 0; i < 20; ++i) block();
    finished = true;
  });
  const bool done = pollUntil([&] { return finished.load(); }, 20000);
  const int tempoWhileHeld = e.GetParam(kArpTempo)->Int();  // the tempo thread waits for the mutex
  release = true;
  audio.join();
  holder.join();
  ASSERT_TRUE(done) << "an audio block waited for the plug-in's mutex";
  // What was due, then all sounds off (the transport stands).
  EXPECT_EQ(e.takeSent(), (std::vector<Bytes>{{0xB1, 20, 5}, {0xB0, 123, 0}, {0xB1, 123, 0}}));
  EXPECT_EQ(tempoWhileHeld, 0);

  e.graphics->IsDirty(&area);
  EXPECT_EQ(e.GetParam(kArpTempo)->Int(), 130 - 20);
  EXPECT_EQ(e.GetParam(kMIDILed)->Value(), 0.0);
  EXPECT_EQ(e.GetParam(kMIDILed + 1)->Value(), (double)e.midiLedOn[1].load());
  EXPECT_EQ(std::string(delay->GetTextForPlug()), "2ms|" + std::to_string(e.GetBlockSize()) + "bfr");
}

// With the tempo taken from the host, the arpeggiator's tempo shows the host's
// tempo: its value names the host's BPM in "tempoValues" and in the display, and
// tempos beyond the list take its ends.
TEST_F(Editor, HostTempoLandsOnItsOwnArpeggiatorTempo)
{
  e.GetParam(kOverrideTempo)->Set(1.0);
  e.midiOutSet = true;
  e.clockJobStarted = true;
  IRECT area;
  const struct
  {
    double host;
    int bpm;
  } cases[] = {{120.0, 120}, {130.7, 130}, {20.0, 20}, {300.0, 300}, {5.0, 20}, {999.0, 300}, {64.0, 64}};
  for (const auto& c : cases)
  {
    e.tempo = c.host;
    block();
    e.graphics->IsDirty(&area);
    const int v = e.GetParam(kArpTempo)->Int();
    EXPECT_EQ(v, c.bpm - 20) << c.host;
    e.displayParamChange(kArpTempo, v, false);
    EXPECT_EQ(e.valueLine(), std::to_string(c.bpm) + " BPM [" + std::to_string(v) + "]") << c.host;
  }
}

TEST_F(Editor, PartRequestWaitsForAnIdleWorker)
{
  e.midiOutSet = true;
  e.clockJobStarted = true;
  e.partRequestPending = true;
  e.currentPart = 1;
  e.workerIdle = false;
  block();
  EXPECT_TRUE(e.partRequestPending);
  EXPECT_FALSE(e.midiMessageManager->patchRequested);
  e.workerIdle = true;
  e.jobs.clear();
  block();
  EXPECT_FALSE(e.partRequestPending);
  EXPECT_EQ(e.jobs, (std::vector<EditorUnderTest::Job>{{'j', kSendPartRequest, 1, true}}));
  e.midiMessageManager->patchRequested = false;
}

TEST_F(Editor, SectionLocksKeepTheReleaseLayerState)
{
  const int t1a = kSectionLockOsc1, t1b = kSectionLockOsc1 + 2, t2 = kSectionLockOsc1 + 1;
  e.userSets(t1a, 1);
  e.userSets(t1b, 1);
  EXPECT_TRUE(e.timbre1LocksActive);
  e.userSets(t1a, 0);
  EXPECT_TRUE(e.timbre1LocksActive);
  e.userSets(t1b, 0);
  EXPECT_FALSE(e.timbre1LocksActive);
  e.userSets(t2, 1);
  EXPECT_TRUE(e.timbre2LocksActive);
  e.userSets(kSectionLockFXChorus, 1);
  EXPECT_TRUE(e.globalLocksActive);
  e.currentPart = 1;
  e.userSets(kReleaseAllLocks, 1);
  EXPECT_FALSE(e.timbre2LocksActive);
  EXPECT_EQ(e.GetParam(t2)->Value(), 0.0);
  EXPECT_EQ(e.GetParam(kSectionLockFXChorus)->Value(), 0.0);
  EXPECT_EQ(e.GetParam(kReleaseAllLocks)->Value(), 0.0);
}

// Counts the calls of its own override of the lists' hook: the port thread calls the
// editor only once it is whole, so never the base's hook in the override's place.
class ListsHookEditor : public RecordingEditor
{
public:
  void OnMidiPortListsRead() override
  {
    hooked.fetch_add(1);
    RecordingEditor::OnMidiPortListsRead();
  }
  std::atomic<int> hooked{0};
};

TEST(EditorLifetime, StartAndTearDownManyTimes)
{
  DataFolder data;
  for (int i = 0; i < 50; ++i)
  {
    UnderTest<ListsHookEditor> e;
    e.midiOutSet = true;
    double* io[2] = {nullptr, nullptr};
    e.ProcessDoubleReplacing(io, io, 64);
    ASSERT_TRUE(pollUntil([&] { return e.MidiPortListsRead() && e.hooked.load() == 1; }, 10000))
        << "editor " << i << ": the lists read " << e.MidiPortListsRead() << ", the hook called " << e.hooked.load() << " times";
  }
}

}  // namespace

// The Tempo knob while the tempo follows the host: the host's tempo rules, so the
// knob sends nothing (with the host's tempo not followed it sends), and the host's
// next tempo change, not the next block, takes the knob back to the host's tempo.
TEST_F(Editor, TempoKnobUnderTheHostsTempoSendsNothingUntilTheHostsTempoChanges)
{
  e.GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
  e.GetParam(kDeviceOutSelection)->Set(1);
  e.midiOutSet = true;
  e.clockJobStarted = true;
  IRECT area;

  e.GetParam(kOverrideTempo)->Set(0.0);
  e.takeSent();
  e.userSets(kArpTempo, 120);  // 140 BPM
  EXPECT_FALSE(e.takeSent().empty());
  e.userSets(kArpTempo, 10);
  e.takeSent();

  e.GetParam(kOverrideTempo)->Set(1.0);
  e.tempo = 120.0;
  block();
  e.graphics->IsDirty(&area);
  ASSERT_EQ(e.GetParam(kArpTempo)->Int(), 100);
  e.takeSent();
  e.userSets(kArpTempo, 120);
  EXPECT_TRUE(e.takeSent().empty());
  block();
  e.graphics->IsDirty(&area);
  EXPECT_EQ(e.GetParam(kArpTempo)->Int(), 120);  // the host's tempo did not change
  e.tempo = 90.0;
  block();
  e.graphics->IsDirty(&area);
  EXPECT_EQ(e.GetParam(kArpTempo)->Int(), 70);
}
