#include "TestPlug.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

namespace {

std::unique_ptr<RecordingPlug> EditorPlug()
{
  return std::unique_ptr<RecordingPlug>(RecordingPlug::MakeEditorLike());
}

// Polls a condition with a bound instead of sleeping for another thread.
template <class F>
bool WaitFor(F cond)
{
  for (int i = 0; i < 2000000; ++i)
  {
    if (cond()) return true;
    std::this_thread::yield();
  }
  return cond();
}

}  // namespace

TEST(PlugBase, EditorIdentity)
{
  auto plug = EditorPlug();
  EXPECT_STREQ(plug->GetEffectName(), "Davrel Editor");
  EXPECT_STREQ(plug->GetProductName(), "");
  EXPECT_STREQ(plug->GetMfrName(), "Quiet Harbor Sound");
  EXPECT_EQ(plug->GetUniqueID(), 0x64767278);  // 'dvrx'
  EXPECT_EQ(plug->GetMfrID(), 0x51685331);     // 'QhS1'
  char code[5];
  FourCCStr(plug->GetUniqueID(), code);
  EXPECT_STREQ(code, "dvrx");
  FourCCStr(plug->GetMfrID(), code);
  EXPECT_STREQ(code, "QhS1");
  EXPECT_EQ(plug->GetEffectVersion(false), 0x20008);
  EXPECT_EQ(plug->GetEffectVersion(true), 20008);
  char version[kVersionStrLen];
  plug->GetEffectVersionStr(version);
  EXPECT_STREQ(version, "v2.0.8");
  EXPECT_EQ(plug->GetLatency(), 128);
  EXPECT_TRUE(plug->DoesStateChunks());
  EXPECT_TRUE(plug->IsInst());
  EXPECT_FALSE(plug->IsBypassed());
  EXPECT_EQ(plug->GetAPI(), kAPIAU);
  EXPECT_STREQ(plug->GetAPIString(), "AU");
  EXPECT_STREQ(plug->GetArchString(), "x64");
  EXPECT_EQ(plug->GetHost(), kHostUninit);
  EXPECT_DOUBLE_EQ(plug->GetSampleRate(), 44100.0);
  EXPECT_EQ(plug->GetBlockSize(), 0);
  EXPECT_EQ(plug->NPresets(), 0);
  EXPECT_EQ(plug->GetCurrentPresetIdx(), 0);
  EXPECT_EQ(plug->GetGUI(), nullptr);
  EXPECT_EQ(plug->NChannelIO(), 1);
  EXPECT_EQ(plug->NInChannels(), 2);
  EXPECT_EQ(plug->NOutChannels(), 2);
  EXPECT_STREQ(plug->PreviousPath(), "");
}

TEST(PlugBase, EditorSetUpShowsTheHostNothing)
{
  auto plug = EditorPlug();
  plug->OnParamReset();
  EXPECT_TRUE(plug->changes.empty());
  EXPECT_EQ(plug->resets, 1);
  plug->DirtyParameters();
  EXPECT_TRUE(plug->informed.empty());
  const double junk[4] = {1, 2, 3, 4};
  EXPECT_TRUE(plug->CompareState((const unsigned char*)junk, 0));
  // 64 default presets named "-" with no preset list store nothing.
  plug->MakeDefaultPreset("-", 64);
  EXPECT_EQ(plug->NPresets(), 0);
}

TEST(PlugBase, NonAutomatedCountFromInitializeAndReplaced)
{
  std::unique_ptr<RecordingPlug> plug(new RecordingPlug);
  plug->initialize(3, 10, "2-2", 0, "n", "p", "m", 0, 0, 0, 0, true, true, true);
  EXPECT_EQ(plug->NAutomatableParams(), 3);
  EXPECT_EQ(plug->NonAutomatedParamCount(), 7);
  plug->addNonAutomateParamCount(10);
  EXPECT_EQ(plug->NAutomatableParams(), 0);
  plug->addNonAutomateParamCount(50);  // more than there are: all of them
  EXPECT_EQ(plug->NAutomatableParams(), 0);
  EXPECT_EQ(plug->NonAutomatedParamCount(), 10);
}

TEST(PlugBase, GuiRoadsEndInTheirOwnHook)
{
  auto plug = EditorPlug();
  plug->GetParam(3)->InitInt("Level", 0, 0, 127, "", "", -1, -1);
  plug->GetParam(4)->InitInt("Level", 0, 0, 127, "", "", -1, -1);

  plug->SetParameterFromGUI(3, 1.0);
  ASSERT_EQ(plug->changes.size(), 1u);
  EXPECT_TRUE(plug->changes2.empty());
  EXPECT_EQ(plug->changes[0].idx, 3);
  EXPECT_DOUBLE_EQ(plug->changes[0].value, 127.0);
  EXPECT_TRUE(plug->changes[0].mutexHeld);

  plug->SetParameterFromGUI2(4, 0.5);
  ASSERT_EQ(plug->changes2.size(), 1u);
  EXPECT_EQ(plug->changes.size(), 1u);
  EXPECT_EQ(plug->changes2[0].idx, 4);
  EXPECT_DOUBLE_EQ(plug->changes2[0].value, 64.0);  // 63.5 rounds up
  EXPECT_TRUE(plug->changes2[0].mutexHeld);

  // Both roads inform the host with the value as given, under the mutex.
  ASSERT_EQ(plug->informed.size(), 2u);
  EXPECT_EQ(plug->informed[0].idx, 3);
  EXPECT_DOUBLE_EQ(plug->informed[0].value, 1.0);
  EXPECT_DOUBLE_EQ(plug->informed[1].value, 0.5);
  EXPECT_TRUE(plug->informed[1].mutexHeld);
  EXPECT_FALSE(plug->mMutex.IsHeldByCaller());
}

TEST(PlugBase, UnchangedValueSkipsTheHookExceptForText)
{
  auto plug = EditorPlug();
  IParam* e = plug->GetParam(0);
  e->InitEnum("Wave", 1, 4, "", "", -1, -1);
  plug->SetParameterFromGUI(0, 0.40);  // 1.2 snaps to 1: unchanged
  plug->SetParameterFromGUI2(0, 0.30); // 0.9 snaps to 1
  EXPECT_TRUE(plug->changes.empty());
  EXPECT_TRUE(plug->changes2.empty());
  EXPECT_EQ(plug->informed.size(), 2u);

  IParam* t = plug->GetParam(1);
  t->InitEnum("Name", 0, 1, "", "", -1, -1);
  t->InitText();
  plug->SetParameterFromGUI(1, 0.0);
  plug->SetParameterFromGUI2(1, 0.0);
  EXPECT_EQ(plug->changes.size(), 1u);
  EXPECT_EQ(plug->changes2.size(), 1u);

  // An index that names no parameter changes nothing.
  plug->SetParameterFromGUI(529, 1.0);
  plug->SetParameterFromGUI2(-1, 1.0);
  EXPECT_EQ(plug->informed.size(), 4u);
}

TEST(PlugBase, MutexIsRecursiveAndSerialisesTheGuiRoad)
{
  auto plug = EditorPlug();
  plug->GetParam(0)->InitInt("x", 0, 0, 1000, "", "", -1, -1);
  plug->mMutex.Enter();
  plug->mMutex.Enter();
  EXPECT_EQ(plug->mMutex.GetRecursionDepth(), 2);
  plug->SetParameterFromGUI(0, 0.5);  // re-enters on this thread
  ASSERT_EQ(plug->changes.size(), 1u);
  EXPECT_TRUE(plug->changes[0].mutexHeld);

  // Another thread waits until the last Leave.
  std::atomic<bool> done{false};
  std::thread t([&] {
    plug->SetParameterFromGUI2(0, 0.25);
    done = true;
  });
  ASSERT_TRUE(WaitFor([&] { return plug->mMutex.GetEnterCount() == 3; }));
  EXPECT_FALSE(done.load());
  plug->mMutex.Leave();
  EXPECT_FALSE(done.load());
  plug->mMutex.Leave();
  t.join();
  EXPECT_TRUE(done.load());
  EXPECT_EQ(plug->changes2.size(), 1u);
  EXPECT_EQ(plug->mMutex.GetEnterCount(), 0);
}

TEST(PlugBase, ConcurrentGuiChangesNeverOverlap)
{
  auto plug = EditorPlug();
  for (int i = 0; i < 8; ++i) plug->GetParam(i)->InitInt("x", 0, 0, 100000, "", "", -1, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
  {
    threads.emplace_back([&plug, t] {
      for (int i = 1; i <= 500; ++i)
      {
        if (t % 2) plug->SetParameterFromGUI2(t, i / 1000.0);
        else plug->SetParameterFromGUI(t, i / 1000.0);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(plug->changes.size(), 1000u);
  EXPECT_EQ(plug->changes2.size(), 1000u);
  EXPECT_EQ(plug->maxInChange.load(), 1);
}

TEST(PlugBase, SerialisersHoldTheMutex)
{
  auto plug = EditorPlug();
  ByteChunk chunk;
  plug->mMutex.Enter();
  std::atomic<int> stage{0};
  std::thread t([&] {
    plug->SerializeNonAutomatedParams(&chunk, 473);
    stage = 1;
    plug->UnserializeNonAutomatedParams(&chunk, 0, 473);
    stage = 2;
  });
  ASSERT_TRUE(WaitFor([&] { return plug->mMutex.GetEnterCount() == 2; }));
  EXPECT_EQ(stage.load(), 0);
  EXPECT_EQ(chunk.Size(), 0);
  plug->mMutex.Leave();
  t.join();
  EXPECT_EQ(stage.load(), 2);
  EXPECT_EQ(chunk.Size(), 473 * 8);
}

TEST(PlugBase, AttachGraphicsPushesValuesThenPreparesAndOwns)
{
  bool deleted = false;
  {
    auto plug = EditorPlug();
    plug->GetParam(2)->InitInt("x", 64, 0, 128, "", "", -1, -1);
    plug->AttachGraphics(nullptr);
    EXPECT_EQ(plug->GetGUI(), nullptr);

    FakeGraphics* g = new FakeGraphics(plug.get(), &deleted);
    plug->AttachGraphics(g);
    EXPECT_EQ(plug->GetGUI(), g);
    ASSERT_EQ(g->calls.size(), 529u);
    EXPECT_EQ(g->prepDraws, 1);
    EXPECT_EQ(g->prepDrawsAfter, 529);  // after the values were pushed
    for (int i = 0; i < 529; ++i)
    {
      EXPECT_EQ(g->calls[i].idx, i);
      EXPECT_TRUE(g->calls[i].normalized);
    }
    EXPECT_DOUBLE_EQ(g->calls[2].value, 0.5);
    EXPECT_FALSE(deleted);
  }
  EXPECT_TRUE(deleted);
}

TEST(PlugBase, RedrawParamControlsLimitsAndSnapsEveryValue)
{
  auto plug = EditorPlug();
  plug->RedrawParamControls();  // without graphics: nothing
  FakeGraphics* g = new FakeGraphics(plug.get());
  plug->AttachGraphics(g);
  g->calls.clear();
  IParam* p = plug->GetParam(528);
  p->InitInt("x", 0, 0, 10, "", "", -1, -1);
  ByteChunk c;
  const double raw[] = {3.4};
  c.PutValue(&raw[0]);
  // The serialisers store plain values unsnapped; a redraw snaps them.
  plug->UnserializeNonAutomatedParams(&c, 0, 529);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 1.0);  // kind none: 3.4 limited to 0..1
  p->Set(7.6);
  plug->RedrawParamControls();
  ASSERT_EQ(g->calls.size(), 529u);
  EXPECT_FALSE(g->calls[528].normalized);
  EXPECT_DOUBLE_EQ(p->Value(), 8.0);
  EXPECT_DOUBLE_EQ(plug->GetParam(0)->Value(), 1.0);
}

TEST(PlugBase, VersionTexts)
{
  const struct { int version; int decimal; const char* text; } cases[] = {
      {0x20008, 20008, "v2.0.8"}, {0x20100, 20100, "v2.1"}, {0x20000, 20000, "v2"}, {0x0A0B0C, 101112, "v10.11.12"},
      {0x00000001, 1, "v0.0.1"},  {0, 0, "v0"},
  };
  for (const auto& c : cases)
  {
    char text[kVersionStrLen];
    GetVersionStr(c.version, text);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(GetDecimalVersion(c.version), c.decimal);
    int major, minor, revision;
    EXPECT_EQ(GetVersionParts(c.version, &major, &minor, &revision), c.version >> 16);
    EXPECT_EQ(minor, (c.version >> 8) & 0xFF);
    EXPECT_EQ(revision, c.version & 0xFF);
  }
}

TEST(PlugBase, HostVersionAndIdentity)
{
  auto plug = EditorPlug();
  plug->SetHost("Reaper", 0x50102);
  EXPECT_EQ(plug->GetHost(), kHostReaper);
  EXPECT_EQ(plug->GetHostVersion(false), 0x50102);
  EXPECT_EQ(plug->GetHostVersion(true), 50102);
  char text[kVersionStrLen];
  plug->GetHostVersionStr(text);
  EXPECT_STREQ(text, "v5.1.2");
  plug->SetHost("", 0);
  EXPECT_EQ(plug->GetHost(), kHostUnknown);
}

TEST(PlugBase, ApiTexts)
{
  const char* expected[] = {"VST2", "VST3", "AU", "RTAS", "AAX", "Standalone", ""};
  for (int api = 0; api <= 6; ++api)
  {
    struct ApiPlug : RecordingPlug
    {
      explicit ApiPlug(int api) { mAPI = (EAPI)api; }
    } plug(api);
    EXPECT_STREQ(plug.GetAPIString(), expected[api]) << api;
  }
}

TEST(PlugBase, SamplesPerBeat)
{
  auto plug = EditorPlug();
  plug->SetSampleRate(48000.0);
  plug->tempo = 120.0;
  EXPECT_DOUBLE_EQ(plug->GetSamplesPerBeat(), 24000.0);
  plug->tempo = 0.0;
  EXPECT_DOUBLE_EQ(plug->GetSamplesPerBeat(), 0.0);
}

TEST(PlugBase, DefaultHooks)
{
  auto plug = EditorPlug();
  char name[8] = "abc";
  EXPECT_FALSE(plug->MidiNoteName(60, name));
  EXPECT_STREQ(name, "");
  EXPECT_FALSE(plug->HostRequestingAboutBox());
  EXPECT_FALSE(plug->IsRenderingOffline());
  unsigned char bytes[] = {0x42, 0x30};
  EXPECT_FALSE(plug->SendMidiSysex(bytes, 2));
  EXPECT_FALSE(plug->SendPatchSysex(bytes, 2));
  EXPECT_FALSE(plug->SendMidiSysex2({0xF8}));
  ISysEx s;
  EXPECT_FALSE(plug->SendSysEx(&s));
  plug->SetLatency(256);
  EXPECT_EQ(plug->GetLatency(), 256);
  plug->OnActivate(true);
  EXPECT_EQ(plug->mMutex.GetEnterCount(), 0);
}

TEST(PlugBase, LegalIO)
{
  struct Case { const char* io; int nIn, nOut; bool legal; };
  const Case cases[] = {
      {"2-2", -1, 2, true},  {"2-2", 1, 2, false}, {"2-2", -1, -1, true}, {"2-2", 2, 2, true}, {"2-2", 2, -1, true},
      {"1-1 2-2", 2, 2, true}, {"1-1 2-2", 1, 2, false}, {"0-2", 0, 2, true}, {"x-y", 0, 0, true},
  };
  for (const Case& c : cases)
  {
    std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(0, 0, true, c.io));
    EXPECT_EQ(p->LegalIO(c.nIn, c.nOut), c.legal) << c.io << " " << c.nIn << " " << c.nOut;
  }
  std::unique_ptr<RecordingPlug> none(RecordingPlug::MakeAutomatable(0, 0, true, nullptr));
  EXPECT_EQ(none->NChannelIO(), 0);
  EXPECT_EQ(none->NInChannels(), 0);
  EXPECT_FALSE(none->LegalIO(-1, -1));

  std::unique_ptr<RecordingPlug> multi(RecordingPlug::MakeAutomatable(0, 0, true, "1-1 4-2 2-6"));
  EXPECT_EQ(multi->NChannelIO(), 3);
  EXPECT_EQ(multi->NInChannels(), 4);
  EXPECT_EQ(multi->NOutChannels(), 6);
}

TEST(PlugBase, ChannelConnections)
{
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(0, 0, true, "4-4"));
  p->SetBlockSize(8);
  p->SetInputChannelConnections(0, 4, true);
  p->SetOutputChannelConnections(1, 10, true);  // cut at the channel count
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(p->IsInChannelConnected(i));
  EXPECT_FALSE(p->IsOutChannelConnected(0));
  EXPECT_TRUE(p->IsOutChannelConnected(3));
  EXPECT_FALSE(p->IsInChannelConnected(4));
  EXPECT_FALSE(p->IsOutChannelConnected(-1));

  p->LimitToStereoIO();
  EXPECT_TRUE(p->IsInChannelConnected(1));
  EXPECT_FALSE(p->IsInChannelConnected(2));
  EXPECT_FALSE(p->IsInChannelConnected(3));
  EXPECT_TRUE(p->IsOutChannelConnected(2));
  EXPECT_TRUE(p->IsOutChannelConnected(3));
  // An unconnected channel reads its own scratch buffer.
  EXPECT_EQ(p->InData()[2], p->InScratch(2));
}

TEST(PlugBase, BlockSizeZeroesScratchOnlyWhenItChanges)
{
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(0, 0, true, "2-2"));
  p->SetBlockSize(4);
  EXPECT_EQ(p->GetBlockSize(), 4);
  p->OutScratch(0)[1] = 5.0;
  p->SetBlockSize(4);
  EXPECT_DOUBLE_EQ(p->OutScratch(0)[1], 5.0);
  p->ZeroScratchBuffers();
  EXPECT_DOUBLE_EQ(p->OutScratch(0)[1], 0.0);

  // Slots that read a scratch buffer follow it when it is reallocated.
  p->SetInputChannelConnections(0, 2, false);
  p->SetBlockSize(100000);
  EXPECT_EQ(p->InData()[0], p->InScratch(0));
  EXPECT_EQ(p->InData()[1], p->InScratch(1));
  for (int i = 0; i < 100000; ++i) ASSERT_EQ(p->InData()[0][i], 0.0);
}

TEST(PlugBase, FloatBuffersRoundTheChannelsThroughDoubles)
{
  std::unique_ptr<RecordingPlug> p(RecordingPlug::MakeAutomatable(0, 0, true, "2-2"));
  p->SetBlockSize(4);
  p->SetInputChannelConnections(0, 1, true);   // input 1 stays unconnected: reads zeros
  p->SetOutputChannelConnections(0, 2, true);
  float in0[4] = {1, 2, 3, 4};
  float* ins[] = {in0};
  float out0[4] = {9, 9, 9, 9}, out1[4] = {9, 9, 9, 9};
  float* outs[] = {out0, out1};
  p->AttachInputBuffers(0, 2, ins, 4);
  p->AttachOutputBuffers(0, 2, outs);
  p->ProcessBuffers(0.0f, 4);
  for (int i = 0; i < 4; ++i)
  {
    EXPECT_FLOAT_EQ(out0[i], in0[i]);
    EXPECT_FLOAT_EQ(out1[i], 0.0f);
  }
  p->ProcessBuffersAccumulating(0.0f, 4);
  EXPECT_FLOAT_EQ(out0[3], 8.0f);
  p->PassThroughBuffers(0.0f, 4);
  EXPECT_FLOAT_EQ(out0[2], 3.0f);

  // Double buffers are used in place.
  double din[3] = {0.5, 0.25, 0.125}, dout[3] = {}, dout1[3] = {7, 7, 7};
  double* dins[] = {din};
  double* douts[] = {dout, dout1};
  p->AttachInputBuffers(0, 2, dins, 3);
  p->AttachOutputBuffers(0, 2, douts);
  p->ProcessBuffers(0.0, 3);
  EXPECT_DOUBLE_EQ(dout[1], 0.25);
  EXPECT_DOUBLE_EQ(dout1[1], 0.0);
  p->PassThroughBuffers(0.0, 3);
  EXPECT_DOUBLE_EQ(dout[2], 0.125);
}

TEST(PlugBase, ChannelAndBusLabels)
{
  auto plug = EditorPlug();
  plug->SetInputLabel(1, "in R");
  plug->SetInputLabel(5, "nowhere");
  plug->SetOutputLabel(0, "out L");
  EXPECT_STREQ(plug->GetInputLabel(1), "in R");
  EXPECT_STREQ(plug->GetOutputLabel(0), "out L");
  EXPECT_STREQ(plug->GetInputLabel(5), "");

  plug->SetInputBusLabel(2, "aux");
  EXPECT_EQ(plug->NInputBusLabels(), 0);
  plug->SetInputBusLabel(1, "aux input");  // lands at 0: the list was empty
  plug->SetInputBusLabel(0, "input");      // replaces it
  EXPECT_EQ(plug->NInputBusLabels(), 1);
  EXPECT_STREQ(plug->GetInputBusLabel(0), "input");
  plug->SetInputBusLabel(1, "aux input");
  EXPECT_STREQ(plug->GetInputBusLabel(1), "aux input");

  plug->SetOutputBusLabel(5, "output");
  EXPECT_EQ(plug->NOutputBusLabels(), 1);
  EXPECT_STREQ(plug->GetOutputBusLabel(0), "output");
  plug->SetOutputBusLabel(-1, "bad");
  EXPECT_EQ(plug->NOutputBusLabels(), 1);
}

TEST(PlugUtilities, TextHelpers)
{
  char dst[32];
  ToLower(dst, "");
  EXPECT_STREQ(dst, "");
  ToLower(dst, "GarageBand 10.4");
  EXPECT_STREQ(dst, "garageband 10.4");
  EXPECT_TRUE(IsWhitespace(' '));
  EXPECT_TRUE(IsWhitespace('\t'));
  EXPECT_TRUE(IsWhitespace('\n'));
  EXPECT_TRUE(IsWhitespace('\r'));
  EXPECT_FALSE(IsWhitespace('x'));
  EXPECT_FALSE(IsWhitespace('\0'));

  WDL_String stamp;
  CompileTimestamp("Jan 23 2024", "10:11:12", &stamp);
  EXPECT_STREQ(stamp.Get(), "[Jan23 10:11]");
  EXPECT_STREQ(AppendTimestamp("Jan 23 2024", "10:11:12", "Davrel"), "Davrel [Jan23 10:11]");

  const char* now = CurrentTime();
  ASSERT_EQ(strlen(now), 20u);  // "YYYYMMDD HH:MM +hhmm"
  EXPECT_EQ(now[8], ' ');
  EXPECT_EQ(now[11], ':');
  EXPECT_TRUE(now[15] == '+' || now[15] == '-');

  EXPECT_STREQ(VSTOpcodeStr(3), "");
  EXPECT_STREQ(AUSelectStr(3), "");
  EXPECT_STREQ(AUPropertyStr(3), "");
  EXPECT_STREQ(AUScopeStr(3), "");
  Timer t;
  EXPECT_FALSE(t.Every(1000.0));
}

TEST(PlugUtilities, HostLookUp)
{
  const struct { const char* name; int host; } cases[] = {
      {"org.example.REAPER", kHostReaper}, {"Logic Live Session", kHostAbletonLive}, {"org.example.garageband10", kHostGarageBand},
      {"", kHostUnknown},                 {nullptr, kHostUnknown},               {"Ardour", kHostArdour},
      {"org.example.logic10", kHostLogic},  {"Studio One PreSonus", kHostStudioOne},  {"Pro Tools", kHostUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(LookUpHost(c.name), c.host) << (c.name ? c.name : "(null)");
  const std::string longName = std::string(300, 'x') + "reaper";
  EXPECT_EQ(LookUpHost(longName.c_str()), kHostUnknown);  // cut before the match

  char name[kHostNameStrLen];
  const struct { int host; const char* name; } names[] = {{5, "Sonar"}, {12, "Unknown"}, {29, "Unknown"}, {-1, "Unknown"},
                                                          {23, "DigitalPerformer"}, {27, "VST3PluginTestHost"}};
  for (const auto& n : names)
  {
    GetHostNameStr(n.host, name);
    EXPECT_STREQ(name, n.name) << n.host;
  }
}
