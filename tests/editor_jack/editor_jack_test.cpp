// The editor and the simulated synthesizer on a JACK server of this test's own:
// ports chosen by name, control actions as bytes on the wire, project recall,
// and start-up and teardown while the synthesizer floods the input.

#include "ConsoleCapture.h"
#include "JackTestServer.h"
#include "PollUntil.h"
#include "PortMenuChoice.h"
#include "SynthModel.h"
#include "StdoutNobodyReads.h"
#include "SynthSim.h"
#include "TestFiles.h"
#include "config/ParamIds.h"
#include "editor/Davrel.h"
#include "editor/PatchManager.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
#include "plug/JackMidiOwner.h"
#include "raster/lice_png.h"
#include "ui/ControlAction.h"
#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <signal.h>
#include <thread>
#include <unistd.h>

IPlugAU* MakePlug() { return nullptr; }

namespace {

using Bytes = std::vector<unsigned char>;
// A bound for an event: a loaded server's request thread was seen to wait over 10 s.
const int kWaitMs = 30000;

IPlugInstanceInfo info() { return DavrelInstanceInfo(); }

class Flood
{
public:
  explicit Flood(SynthSim& sim) : mSim(sim), mThread([this] { Run(); }) {}
  ~Flood() { Stop(); }
  void Stop()
  {
    mStop = true;
    if (mThread.joinable()) mThread.join();
  }

private:
  void Run()
  {
    const Bytes dump = MakeSimDump(297);
    const Bytes paramChange = {0xF0, 0x42, 0x30, 0x58, 0x41, 0x10, 0x01, 0x05, 0x00, 0xF7};
    while (!mStop)
    {
      for (int i = 0; i < 30; ++i) mSim.Send({0xB0, (unsigned char)(i & 0x7F), 0x40});
      mSim.Send(paramChange);
      mSim.Send(dump);
      mSim.WaitUntilSent(1000);
    }
  }
  SynthSim& mSim;
  std::atomic<bool> mStop{false};
  std::thread mThread;
};

// Threads that keep the processor busy until they go.
struct BusyLoops
{
  explicit BusyLoops(int n)
  {
    for (int i = 0; i < n; ++i)
      threads.emplace_back([this] {
        while (on.load()) {}
      });
  }
  ~BusyLoops()
  {
    on.store(false);
    for (std::thread& t : threads) t.join();
  }
  std::atomic<bool> on{true};
  std::vector<std::thread> threads;
};

class EditorOverJack : public testing::Test
{
protected:
  void SetUp() override
  {
    setenv("DAVREL_DATA_DIR", mData.path().c_str(), 1);
    // The protocol's waits (device enquiry, program send) pass quickly.
    SWELL_SetTimeScale(0.02);
    std::string error;
    ASSERT_TRUE(mServer.Start(&error)) << error;
    ASSERT_TRUE(mSim.Open(&error)) << error;
  }
  void TearDown() override
  {
    mEditors.clear();
    mSim.Close();
    mSimB.Close();
    mResponder.reset();
    mResponderB.reset();
    mServer.Stop();
    SWELL_SetTimeScale(1.0);
    unsetenv("DAVREL_DATA_DIR");
  }

  // A fresh editor with both ports chosen by name, as the port menus do.
  Davrel* OpenEditor(bool select = true)
  {
    mEditors.emplace_back(new Davrel(info()));
    Davrel* e = mEditors.back().get();
    e->ReadMidiPortListsAhead();  // as the factory does, once the editor is whole
    // The menus as a user sees them: built again at an idle once the lists are read.
    EXPECT_TRUE(pollUntil([&] { return e->MidiPortListsRead(); }, kWaitMs));
    e->OnIdle();
    if (select) SelectPorts(e);
    return e;
  }
  void SelectPorts(Davrel* e)
  {
    const struct
    {
      int param;
      std::string name;
    } ports[] = {{kDeviceOutSelection, mSim.InputPortName()}, {kDeviceInSelection, mSim.OutputPortName()}};
    for (const auto& p : ports) ASSERT_NO_FATAL_FAILURE(Choose(e, p.param, p.name));
    ASSERT_TRUE(e->midiOutSet);
    ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  }
  // The port menu's entry of that name, as the user picks it.
  void Choose(Davrel* e, int param, const std::string& name) { ChoosePortEntry(e, param, name, kWaitMs); }
  void Settle(Davrel* e)
  {
    // The wait runs on the scaled clock.
    ASSERT_TRUE(e->midiMessageManager->waitIdle(kTransferThread, (int)(kWaitMs / SWELL_GetTimeScale())));
    ASSERT_TRUE(mSim.WaitUntilSent(kWaitMs));
  }
  // Settled, and everything the editor sent so far arrived and forgotten: a
  // marker sent after it arrives last (one queue, in order). The jobs' requests
  // may still be on the wire when the transfer thread is idle.
  void SettleAndForget(Davrel* e)
  {
    Settle(e);
    const Bytes marker = {0xBF, 0x7F, 0x7F};
    IMidiMsg m(0, marker[0], marker[1], marker[2]);
    ASSERT_TRUE(e->SendMidiMsg(&m));
    ASSERT_TRUE(pollUntil(
        [&] {
          const std::vector<Bytes> got = ReceivedBytes();
          return std::find(got.begin(), got.end(), marker) != got.end();
        },
        kWaitMs));
    mSim.ClearReceived();
  }
  // The project of an editor that chose the synthesizer's ports, saved; the editor
  // is closed and its ports gone before it returns.
  void SaveAProjectAndClose(ByteChunk* chunk)
  {
    Davrel* a = OpenEditor();
    Settle(a);
    ASSERT_TRUE(a->SerializeState(chunk));
    mEditors.clear();
    ASSERT_TRUE(mSim.WaitForConnections(0, 0, kWaitMs));
  }
  std::vector<Bytes> ReceivedBytes()
  {
    std::vector<Bytes> out;
    for (const SimMessage& m : mSim.Received()) out.push_back(m.bytes);
    return out;
  }

  TempFolder mData{"davrel-editor-jack"};
  JackTestServer mServer;
  SynthSim mSim{"Rudu"};
  SynthSim mSimB{"RuduB"};  // listed after mSim
  SynthModel mModel;
  std::unique_ptr<SimResponder> mResponder;  // goes after the simulated synthesizer closes
  SynthModel mModelB;
  std::unique_ptr<SimResponder> mResponderB;
  std::vector<std::unique_ptr<Davrel>> mEditors;
  std::vector<std::unique_ptr<ControlAction>> mActions;
};

TEST_F(EditorOverJack, EveryControlActionArrivesByteExactForBothTimbres)
{
  Davrel* e = OpenEditor();
  e->GetParam(kMultiPartMIDICh)->InitInt("ch1", 0, 0, 16);
  e->GetParam(kMultiPartMIDICh + 1)->InitInt("ch2", 0, 0, 16);
  e->GetParam(kGlobalMidiChannel)->InitInt("global", 0, 0, 15);
  e->GetParam(kMultiPartMIDICh)->Set(0);
  e->GetParam(kMultiPartMIDICh + 1)->Set(1);
  e->GetParam(kGlobalMidiChannel)->Set(15);
  e->sysexChannelByte = 0x3F;
  SettleAndForget(e);

  struct Case
  {
    int id, type, part, cc, msb, lsb, value;
    std::vector<Bytes> wire;
  } cases[] = {
      {kFilterCutoff, 1, 0, 74, -1, -1, 100, {{0xB0, 74, 100}}},
      {kFilterCutoff + 1, 1, 1, 74, -1, -1, 27, {{0xB1, 74, 27}}},
      {kOsc1Waveform + 1, 1, 1, 80, -1, -1, 4, {{0xB1, 80, 72}}},
      {kAmpGateSw, 2, 0, 85, -1, -1, 1, {{0xB0, 85, 127}}},
      {kAmpGateSw + 1, 2, 1, 85, -1, -1, 1, {{0xB1, 85, 127}}},
      {kLfo2Frequency, 3, 0, 6, 5, 2, 77, {{0xB0, 99, 5}, {0xB0, 98, 2}, {0xB0, 6, 77}}},
      {kLfo2Frequency + 1, 3, 1, 6, 5, 3, 7, {{0xB1, 99, 5}, {0xB1, 98, 3}, {0xB1, 6, 7}}},
      {kArpType, 3, 1, 6, 5, 4, 3, {{0xBF, 99, 5}, {0xBF, 98, 4}, {0xBF, 6, 77}}},
      {kOsc1Level, 6, 0, -1, -1, -1, 1,
       {{0xF0, 0x42, 0x3F, 0x58, 0x4E, 0x01, 0x00, 0xF7}, {0xF0, 0x42, 0x3F, 0x58, 0x41, 0x0E, 0x00, 0x01, 0x00, 0xF7}}},
      {kOsc1Level + 1, 5, 1, -1, -1, -1, 1, {{0xF0, 0x42, 0x3F, 0x58, 0x41, 0x0F, 0x00, 0x01, 0x00, 0xF7}}},
  };
  size_t expected = 0;
  std::vector<Bytes> all;
  for (const Case& c : cases)
  {
    mActions.emplace_back(new ControlAction(c.type));
    ControlAction* a = mActions.back().get();
    a->part = c.part;
    a->ccNumber = c.cc;
    a->msbValue = c.msb;
    a->lsbValue = c.lsb;
    a->valueOffset = 0;
    a->offValue = 0;
    a->onValue = 127;
    if (c.type >= 5)
      for (int v = 0; v < 2; ++v) a->sysExMessage.messages.push_back({0x42, 0x30, 0x58, 0x41, c.id, 0, v, 0});
    IParam* p = e->GetParam(c.id);
    p->InitInt("p", 0, 0, 127);
    p->SetControlAction(a);
    p->Set(c.value);
    e->OnParamChange(c.id);
    expected += c.wire.size();
    all.insert(all.end(), c.wire.begin(), c.wire.end());
  }
  ASSERT_TRUE(mSim.WaitForReceived(expected, kWaitMs));
  EXPECT_EQ(ReceivedBytes(), all);

  // "OFF" closes the output: the next move refuses and sends nothing.
  e->GetParam(kDeviceOutSelection)->Set(0);
  e->OnParamChange(kDeviceOutSelection);
  EXPECT_FALSE(e->midiOutSet);
  e->GetParam(kFilterCutoff)->Set(1);
  e->OnParamChange(kFilterCutoff);
  EXPECT_EQ(e->nameLine(), "Set MIDI I/O First!");
}

TEST_F(EditorOverJack, RecallReselectsThePortsByNameAndSendsTheProgram)
{
  ByteChunk chunk;
  ASSERT_NO_FATAL_FAILURE(SaveAProjectAndClose(&chunk));
  mSim.ClearReceived();
  Davrel* b = OpenEditor(false);
  EXPECT_FALSE(b->midiOutSet);
  ASSERT_EQ(b->UnserializeState(&chunk, 0), chunk.Size());
  EXPECT_TRUE(b->midiOutSet);
  EXPECT_EQ(b->nameLine(), "Project Data Recalled");
  ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  Settle(b);
  // The edit-off command, then the recalled program as a 297-byte dump; the port
  // delivers it a period or more after the send job ended.
  auto program = [](const Bytes& m) { return m.size() == 297 && m[4] == 0x40 && m.back() == 0xF7; };
  std::vector<Bytes> got;
  EXPECT_TRUE(pollUntil([&] { return got = ReceivedBytes(), std::any_of(got.begin(), got.end(), program); }, kWaitMs));
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.front(), (Bytes{0xF0, 0x42, 0x30, 0x58, 0x4E, 0x00, 0x00, 0xF7}));
  EXPECT_FALSE(b->patchLoadingInProcess);
  EXPECT_FALSE(b->partChangeActive);

  // A cut chunk is refused and leaves both ports open.
  ByteChunk cut;
  cut.PutBytes(chunk.Data(), chunk.Size() / 2);
  EXPECT_EQ(b->UnserializeState(&cut, 0), 0);
  EXPECT_TRUE(b->midiOutSet);
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
}

// The editor made and a project recalled while the JACK server is stopped: both
// return while it is still stopped, and once it runs the ports chosen by the
// project open and the next save names them.
TEST_F(EditorOverJack, StartUpAndRecallWhileTheServerIsStoppedHandTheChoicesOver)
{
  ByteChunk chunk;
  ASSERT_NO_FATAL_FAILURE(SaveAProjectAndClose(&chunk));
  kill(mServer.Pid(), SIGSTOP);
  std::atomic<bool> done{false}, returned{false};
  std::thread watchdog([&] {
    returned.store(pollUntil([&] { return done.load(); }, kWaitMs));
    kill(mServer.Pid(), SIGCONT);
  });
  mEditors.emplace_back(new Davrel(info()));
  Davrel* b = mEditors.back().get();
  EXPECT_EQ(b->UnserializeState(&chunk, 0), chunk.Size());
  done.store(true);
  watchdog.join();
  EXPECT_TRUE(returned.load()) << "the start-up or the recall waited for the stopped server";
  ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  ByteChunk again;
  ASSERT_TRUE(b->SerializeState(&again));
  EXPECT_EQ(b->patchManager->names[Patch::kOutName], mSim.InputPortName());
  EXPECT_EQ(b->patchManager->names[Patch::kInName], mSim.OutputPortName());
}

// A recall while the transfer thread is busy cannot start the program send: the
// flags that shut incoming MIDI out must not stay set for good.
TEST_F(EditorOverJack, ARecallWhoseSendCannotStartLeavesTheInputOpen)
{
  ByteChunk chunk;
  ASSERT_NO_FATAL_FAILURE(SaveAProjectAndClose(&chunk));
  SWELL_SetTimeScale(1.0);  // the device enquiry (unanswered) keeps the transfer thread busy
  Davrel* b = OpenEditor();
  ASSERT_TRUE(b->midiMessageManager->isRunning(kTransferThread));
  ASSERT_EQ(b->UnserializeState(&chunk, 0), chunk.Size());
  EXPECT_TRUE(b->midiOutSet);
  EXPECT_FALSE(b->patchLoadingInProcess);
  EXPECT_FALSE(b->partChangeActive);
  b->midiMessageManager->requestCancel();
  ASSERT_TRUE(b->midiMessageManager->waitIdle(kTransferThread, kWaitMs));
}

// The synthesizer's program ends and starts again, or the JACK server does under
// the editor (its clients die with it), once 9 KB into a 37 KB dump: meanwhile
// both port menus show their port missing and nothing is logged as sent; then
// the ports are opened again without a new choice, and a Request gets the
// program. Once the editor closes, no JACK client of the process closes. A
// burst of sends from an editor closed right after the server stops returns, and
// the next editor works.
TEST_F(EditorOverJack, PortsThatGoAndComeBackAreOpenedAgainByThemselves)
{
  mResponder.reset(new SimResponder(mSim, mModel));
  // With the log on, the port lines reach the file too: a log a user sends in shows the lost port.
  const std::string logPath = mData.file("Davrel Editor LOG.txt");
  struct Restart
  {
    const char* what;
    bool server, duringDump, burstAndClose;
    int startStoppedMs;  // the new server stands still as it starts
    bool probed;         // another program's client comes and goes as it starts
    bool requestWaits = false;  // a Request waits for its answer as the server goes
    bool starved = false;  // two busy loops beside it, from the restart to the answer
  };
  const Restart restarts[] = {
      {"the synthesizer restarted", false, false, false, 0, false},
      {"the JACK server restarted", true, false, false, 0, false},
      {"the JACK server restarted slow", true, false, false, 3000, false},
      {"the JACK server restarted during a dump", true, true, false, 0, false},
      {"the JACK server stopped under a burst of sends and a closing", true, false, true, 0, false},
      {"the JACK server restarted under another program's readiness probe", true, false, false, 0, true},
      {"the JACK server restarted once more", true, false, false, 0, false},
      {"the JACK server restarted while a request waits for its answer", true, false, false, 0, false, true, false},
      {"the JACK server restarted with the processor starved", true, false, false, 0, false, false, true},
  };
  int program = 40;
  for (const Restart& r : restarts)
  {
    SCOPED_TRACE(r.what);
    mEditors.clear();
    { std::ofstream(logPath.c_str()); }
    Davrel* e = OpenEditor();
    // All it sent so far arrived: a starved machine has the enquiry's channel search
    // (paced by the scaled clock) still on its way, which the cut would count and
    // the waiting request would find ahead of it.
    SettleAndForget(e);
    const std::string out = mSim.InputPortName(), in = mSim.OutputPortName();
    auto menusRead = [&](const std::string& mark) {
      IRECT dirty;
      e->graphics->IsDirty(&dirty);  // the drawing pass's first step
      return e->GetParam(kDeviceOutSelection)->GetDisplayText(e->midiOutPortIndex) == out + mark &&
             e->GetParam(kDeviceInSelection)->GetDisplayText(e->midiInPortIndex) == in + mark;
    };
    CaptureConsole();
    if (r.requestWaits)
    {
      // Real waits: the request is still waiting when the server goes.
      SWELL_SetTimeScale(1.0);
      {
        std::lock_guard<std::mutex> l(mModel.lock);
        mModel.faults.silent = true;
      }
      mSim.ClearReceived();
      e->GetParam(kRequestTempData)->Set(1);
      e->OnParamChange(kRequestTempData);
      ASSERT_TRUE(mSim.WaitForReceived(1, kWaitMs));
      ASSERT_EQ(ReceivedBytes().front(), (Bytes{0xF0, 0x42, 0x30, 0x58, 0x10, 0xF7}));
    }
    std::unique_ptr<BusyLoops> starved(r.starved ? new BusyLoops(2) : nullptr);
    if (r.duringDump)
    {
      ASSERT_TRUE(mSim.Send(MakeSimDump(37392, 5), SimPacing::Pieces(1024)));
      ASSERT_TRUE(pollUntil([&] { return mSim.BytesSent() >= 9 * 1024; }, kWaitMs));
    }
    mSim.Close();
    // Killed, not stopped: the sends and the closing below come before the watch's next look.
    if (r.burstAndClose) kill(mServer.Pid(), SIGKILL);
    if (r.server && r.probed)
      mServer.Halt();
    else if (r.server)
      mServer.Stop();
    if (r.burstAndClose)
    {
      // Before the watch's next look: the sends and the closing must find out by themselves.
      // More than RtMidi's JACK output holds (16 KB), which a dead server never empties.
      const Bytes dump = MakeSimDump(4000, 7);
      for (int i = 0; i < 20; ++i)
      {
        IMidiMsg cc(0, 0xB0, 74, i & 0x7F);
        e->sendMidiMsgAndLog(&cc);
        e->checksumCheckAndSend(dump.data(), (int)dump.size());
      }
      mEditors.clear();
    }
    else
    {
      ASSERT_TRUE(pollUntil([&] { return menusRead(" (missing)"); }, kWaitMs));
      IMidiMsg cutoff(0, 0xB0, 74, 10);
      e->sendMidiMsgAndLog(&cutoff);
      e->midiMessageManager->sendSysexMessage({0x42, 0x30, 0x58, 0x41, 0x10, 0x01, 0x05, 0x00});
    }
    if (r.requestWaits)
    {
      // What went out after the request was refused: its exchange ends, failed and
      // said, not timed out; the press after the restart is answered.
      EXPECT_TRUE(pollUntil([&] { return !e->midiMessageManager->isRunning(kTransferThread); }, kWaitMs));
      EXPECT_EQ(e->nameLine(), "Data request NOT SENT!");
      std::lock_guard<std::mutex> l(mModel.lock);
      mModel.faults.silent = false;
      SWELL_SetTimeScale(0.02);
    }
    std::string error;
    if (r.probed)
    {
      // jack_lsp's client is always "lsp": the test beds of every name probe in turn.
      // The probe is another program's client that comes and goes: waited for to the
      // end, however long a starved server takes to answer it (never cut off in the
      // middle of its opening, which would leave a client half made on the server).
      const std::string probe = "flock -w 60 '" + JackTestServer::StateDir() +
                                "/lsp-probe.lock' timeout 30 jack_lsp >/dev/null 2>&1";
      ASSERT_TRUE(mServer.Restart(&error)) << error;
      ASSERT_TRUE(pollUntil([&] { return system(probe.c_str()) == 0; }, 2 * kWaitMs));
    }
    else if (r.server)
    {
      mServer.SetStartStoppedMs(r.startStoppedMs);
      ASSERT_TRUE(mServer.Start(&error)) << error;
      mServer.SetStartStoppedMs(0);
    }
    ASSERT_TRUE(mSim.Open(&error)) << error;
    if (r.burstAndClose)
    {
      e = OpenEditor();
      Settle(e);
    }
    ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
    EXPECT_TRUE(pollUntil([&] { return menusRead(""); }, kWaitMs));
    ++program;
    {
      std::lock_guard<std::mutex> l(mModel.lock);
      mModel.editBuffer = SynthModel::MakeProgram(program);
    }
    e->GetParam(kRequestTempData)->Set(1);
    e->OnParamChange(kRequestTempData);
    Settle(e);
    starved.reset();
    const std::string log = CapturedConsole();
    if (r.requestWaits)
    {
      EXPECT_NE(log.find("Request failed: the request (function 10) was not sent"), std::string::npos) << log;
    }
    char name[16];
    snprintf(name, sizeof name, "Prog %03d    ", program);
    EXPECT_EQ(e->knownProgramName, name) << e->nameLine() << log;
    mEditors.clear();
    // Its ports go, the process's JACK clients stay.
    EXPECT_EQ(JackMidiOwner::ClientsClosed(), 0);
    if (r.burstAndClose) continue;
    // Each said once, and nothing said to have gone out while the ports were gone.
    for (const std::string& line : {"MIDI OUT Port: " + out + " is gone!\n", "MIDI IN Port: " + in + " is gone!\n",
                                    "MIDI OUT Port: " + out + " is back and opened again\n",
                                    "MIDI IN Port: " + in + " is back and opened again\n",
                                    "MIDI OUT: 2 messages not sent while " + out + " was gone\n"})
    {
      EXPECT_TRUE(log.find(line) != std::string::npos && log.find(line) == log.rfind(line)) << line << log;
      const std::vector<uint8_t> bytes = readWholeFile(logPath);
      const std::string file(bytes.begin(), bytes.end()), inFile = "\t " + line;
      EXPECT_TRUE(file.find(inFile) != std::string::npos && file.find(inFile) == file.rfind(inFile)) << line << file;
    }
    const size_t gone = log.find(" is gone!"), back = log.find(" is back and opened again");
    ASSERT_LT(gone, back) << log;
    EXPECT_EQ(log.substr(gone, back - gone).find("Plug-in MIDI Out"), std::string::npos) << log;
  }
}

// A move to another synthesizer, its two menus chosen one after the other as a
// user does, the input well after the pairing of a choice's two ports: the device
// enquiry the output's choice sent had its answer go to the input left, and is sent
// again once the input is chosen. It is answered then, not found later by the
// enquiry's channel search (no request on another channel reaches the synthesizer).
TEST_F(EditorOverJack, AMoveWhoseInputIsChosenAfterTheOutputIsAnsweredOnItsFirstExchange)
{
  std::string error;
  ASSERT_TRUE(mSimB.Open(&error)) << error;
  {
    std::lock_guard<std::mutex> l(mModelB.lock);
    mModelB.globals = SynthModel::MakeGlobals(5, false);
    mModelB.globalChannel = 5;
  }
  mResponderB.reset(new SimResponder(mSimB, mModelB));
  for (const int inputAfterMs : {100, 1000})
  {
    SCOPED_TRACE(inputAfterMs);
    SWELL_SetTimeScale(0.02);
    mEditors.clear();
    Davrel* e = OpenEditor();
    Settle(e);
    // Slow waits for the move's enquiry: 2 s a step (500 ms scaled by 4), its channel
    // search 15 steps on, past the bound every JACK row gives the server's answers
    // (an input's opening on a starved server takes seconds).
    SWELL_SetTimeScale(4.0);
    e->GetParam(kLibSyncTimer)->Set(3);
    e->sysexChannelByte = 0x35;
    mSimB.ClearReceived();
    ASSERT_NO_FATAL_FAILURE(Choose(e, kDeviceOutSelection, mSimB.InputPortName()));
    ASSERT_TRUE(e->midiMessageManager->isRunning(kTransferThread));
    // The user's pace between the two menus: the case itself, not a wait for something.
    std::this_thread::sleep_for(std::chrono::milliseconds(inputAfterMs));
    ASSERT_NO_FATAL_FAILURE(Choose(e, kDeviceInSelection, mSimB.OutputPortName()));
    EXPECT_TRUE(pollUntil([&] { return !e->midiMessageManager->isRunning(kTransferThread); }, 3 * kWaitMs));
    EXPECT_EQ(e->nameLine(), "Plug-in is ready to go!");
    int searched = 0;
    for (const SimMessage& m : mSimB.Received())
      if (m.bytes.size() == 6 && m.bytes[4] == 0x0E) searched += m.bytes[2] != 0x35;
    EXPECT_EQ(searched, 0) << "requests of the enquiry's channel search: it was not answered before";
  }
}

// The synthesizer chosen quits; in each menu the one listed after it is picked, then
// the one that quit (still gone), then the other again. The name decides over the
// whole list, and a pick of a port gone at its opening stays chosen and is watched
// for, as one gone later is: it opens once it is back.
TEST_F(EditorOverJack, APortListedAfterOneThatWentIsChosenAndOneStillGoneIsWatchedFor)
{
  std::string error;
  ASSERT_TRUE(mSimB.Open(&error)) << error;
  Davrel* e = OpenEditor();
  mSim.Close();
  ASSERT_TRUE(pollUntil([&] { return e->MidiOutPortMissing() && e->MidiInPortMissing(); }, kWaitMs));
  for (int param : {kDeviceOutSelection, kDeviceInSelection})
    for (int entry : {2, 1, 2})
    {
      e->GetParam(param)->Set(entry);
      e->OnParamChange(param);
      EXPECT_TRUE(pollUntil(
          [&] {
            WDL_MutexLock lock(&e->mMutex);
            e->OnIdle();
            return !e->MidiPortChoiceUnderWay() && e->GetParam(param)->Int() == entry;
          },
          kWaitMs))
          << param << " " << entry;
      EXPECT_EQ(param == kDeviceOutSelection ? e->MidiOutPortMissing() : e->MidiInPortMissing(), entry == 1);
      EXPECT_EQ(e->midiOutSet, e->GetParam(kDeviceOutSelection)->Int() > 0);
    }
  EXPECT_TRUE(mSimB.WaitForConnections(1, 1, kWaitMs));
  // The one picked while gone opens once it is back.
  for (int param : {kDeviceOutSelection, kDeviceInSelection})
  {
    e->GetParam(param)->Set(1);
    e->OnParamChange(param);
  }
  ASSERT_TRUE(mSim.Open(&error)) << error;
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  // The port lines were said with the log off: they never make its file.
  EXPECT_NE(access(mData.file("Davrel Editor LOG.txt").c_str(), F_OK), 0);
}

TEST_F(EditorOverJack, StartAndTeardownFiftyTimesWhileTheSynthesizerFloods)
{
  Flood flood(mSim);
  for (int round = 0; round < 50; ++round)
  {
    Davrel* e = OpenEditor();
    double* io[2] = {nullptr, nullptr};
    e->ProcessDoubleReplacing(io, io, 64);
    mEditors.clear();
    ASSERT_TRUE(mSim.WaitForConnections(0, 0, kWaitMs)) << round;
  }
}

// A host's plug-in scan in the test host, which unloads the library for real right
// after each close (as such a scan does), with the JACK server running, stopped
// (the instance's port thread is then left inside it) and gone: every round ends
// and the host exits well.
TEST_F(EditorOverJack, AHostsScanUnloadsTheLibraryRightAfterEachClose)
{
  mSim.Close();
  const struct
  {
    const char* server;
    int signal;  // sent to the server before the scan (0: none)
  } rows[] = {{"running", 0}, {"stopped", SIGSTOP}, {"gone", SIGKILL}};
  for (const auto& r : rows)
  {
    SCOPED_TRACE(r.server);
    if (r.signal) kill(mServer.Pid(), r.signal);
    const std::string log = mData.file(std::string("scan-") + r.server + ".log");
    const std::string cmd = std::string("timeout 120 '") + DAVREL_HOST_PROGRAM + "' --bundle '" + DAVREL_PLUGIN_BUNDLE +
                            "' --scan 3 >'" + log + "' 2>&1";
    const int status = std::system(cmd.c_str());
    if (r.signal == SIGSTOP) kill(mServer.Pid(), SIGCONT);
    std::ifstream in(log);
    const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(status, 0) << said;
    EXPECT_NE(said.find("scanned 3 times"), std::string::npos) << said;
  }
  std::string error;
  ASSERT_TRUE(mServer.Restart(&error)) << error;
}

// Standard output a full pipe nobody reads (a paused terminal) while the synthesizer
// floods the input: the JACK server keeps moving (what the host sends arrives), the
// host's MIDI calls return, and so does its close of the editor.
TEST_F(EditorOverJack, AFloodWithStandardOutputBlockedStopsNeitherTheHostNorTheServer)
{
  Davrel* e = OpenEditor();
  SettleAndForget(e);
  Flood flood(mSim);
  StdoutNobodyReads blocked;
  std::atomic<int> sent{0};
  std::atomic<bool> close{false}, closed{false};
  std::thread host([&] {
    for (int n = 0; n < 20; ++n)
    {
      IMidiMsg cc(0, 0xB0, 0x4C, n);
      e->sendMidiMsgAndLog(&cc);
      sent.fetch_add(1);
    }
    pollUntil([&] { return close.load(); }, kWaitMs);
    mEditors.clear();
    closed.store(true);
  });
  const auto hostsArrived = [&] {
    int n = 0;
    for (const Bytes& b : ReceivedBytes()) n += b.size() == 3 && b[0] == 0xB0 && b[1] == 0x4C;
    return n;
  };
  const bool arrived = pollUntil([&] { return hostsArrived() == 20; }, kWaitMs);
  close.store(true);
  const bool returned = pollUntil([&] { return closed.load(); }, kWaitMs);
  // Whatever waited goes on before the thread is joined.
  blocked.Release();
  host.join();
  EXPECT_TRUE(arrived) << "the server stood still: " << hostsArrived() << " of 20 arrived";
  EXPECT_TRUE(returned) << "the host's calls returned " << sent.load() << " of 20 times, its close "
                        << (closed.load() ? "too" : "not");
}

}  // namespace

// The simulated synthesizer here answers nothing: a request for the current program
// times out, and the display line says so in pixels, not only in the log.
TEST_F(EditorOverJack, ASilentSynthesizersTimeOutIsDrawnOnTheDisplayLine)
{
  // The log file is kept while it exists.
  const std::string logPath = mData.file("Davrel Editor LOG.txt");
  { std::ofstream(logPath.c_str()); }
  Davrel* e = OpenEditor();
  Settle(e);
  ASSERT_NE(e->graphics, nullptr);
  e->graphics->PrepDraw();
  e->GetParam(kRequestTempData)->Set(1);
  e->OnParamChange(kRequestTempData);
  Settle(e);
  EXPECT_EQ(e->nameLine(), "CONNECTION TIMED OUT!");

  ITextControl* line = e->displayLines.nameLine;
  ASSERT_NE(line, nullptr);
  IRECT all(0, 0, e->graphics->Width(), e->graphics->Height());
  auto box = [&] {
    e->graphics->Draw(&all);
    LICE_IBitmap* bm = e->graphics->GetDrawBitmap();
    std::vector<LICE_PixelValue> px;
    const IRECT& r = line->GetRECT();
    for (int y = r.T; y < r.B; ++y)
      for (int x = r.L; x < r.R; ++x) px.push_back(bm->getBits()[(size_t)y * bm->getRowSpan() + x]);
    return px;
  };
  const std::vector<LICE_PixelValue> shown = box();
  const std::string shot = std::string(DAVREL_TEST_OUTPUT_DIR) + "/silent-synthesizer-timeout.png";
  EXPECT_TRUE(LICE_WritePNG(shot.c_str(), e->graphics->GetDrawBitmap(), false)) << shot;
  e->showNameLine("");
  const std::vector<LICE_PixelValue> empty = box();
  int inked = 0;
  for (size_t i = 0; i < shown.size(); ++i) inked += shown[i] != empty[i];
  EXPECT_GT(inked, 50) << "the time-out text is not drawn";

  // The log says why, once; the request's trace is for the console, never the file.
  std::ifstream in(logPath.c_str());
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto count = [&](const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Request failed: timed out, no answer to the request (function 10)"), 1) << text;
  EXPECT_EQ(count("Plug-in MIDI Out"), 0) << text;
}
