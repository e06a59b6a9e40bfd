// The port layer end to end: a plug-in and the simulated synthesizer on a JACK
// server of this test process's own, the process's JACK owner in between.
#include "JackTestServer.h"
#include "ConsoleCapture.h"
#include "PollUntil.h"
#include "SynthSim.h"
#include "TestPlug.h"
#include "plug/JackBridgeShared.h"
#include "plug/JackMidiOwner.h"
#include "plug/MidiPortObjects.h"

#include <RtMidi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace {

typedef std::vector<unsigned char> Bytes;
typedef std::vector<std::string> Names;

// A bound for an event: a loaded server's request thread was seen to wait over 10 s.
const int kWaitMs = 30000;

// Bytes of the shared memory written as another process writes them (through
// /proc), not by a thread of this one.
void WriteAsAnotherProcess(void* at, const void* bytes, size_t size)
{
  const int fd = open("/proc/self/mem", O_WRONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(pwrite(fd, bytes, size, (off_t)(uintptr_t)at), (ssize_t)size);
  close(fd);
}

// Whether the list holds the name.
bool Lists(const std::vector<std::string>& names, const std::string& name)
{
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Runs its function as it goes, however the row ends.
struct AtEnd
{
  std::function<void()> f;
  ~AtEnd() { f(); }
};

// Both ports chosen by name, output first, as a saved state does: how many took.
int ChooseBoth(TestPlug& p, const std::string& out, const std::string& in)
{
  const int took = p.ChooseOut(out) == 1;
  return took + (p.ChooseIn(in) == 1);
}
int ChooseBoth(TestPlug& p, SynthSim& sim) { return ChooseBoth(p, sim.InputPortName(), sim.OutputPortName()); }

// Both chosen ports open, taken by the port thread, on a bridge that has begun.
bool PortsOpen(TestPlug& p)
{
  return p.MidiPortListsRead() && !p.MidiPortChoiceUnderWay() && !p.MidiOutPortMissing() && !p.MidiInPortMissing() &&
         JackMidiOwner::Epoch() != 0;
}

class MidiOverJack : public testing::Test
{
protected:
  void SetUp() override
  {
    std::string error;
    ASSERT_TRUE(mServer.Start(&error)) << error;
    ASSERT_TRUE(mSim.Open(&error)) << error;
  }

  // Every client closes before the server stops, or its registry entry stays.
  void TearDown() override
  {
    mPlug.reset();
    mSimB.Close();
    mSim.Close();
    mServer.Stop();
  }

  // The editor's start: both lists, then both selections by name.
  void OpenPlug()
  {
    mPlug.reset(new TestPlug);
    ASSERT_TRUE(mPlug->WaitForLists());
    mOutNames = mPlug->getExternalMIDIOutNames();
    mInNames = mPlug->getExternalMIDIInNames();
    ASSERT_EQ(ChooseBoth(*mPlug, mSim), 2);
    ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  }

  // The server started again, the synthesizer on it: killed before its clients
  // close if asked (else after), asynchronous if asked (a synchronous one stands
  // still for its client time-outs when a client is killed or stopped).
  bool Restart(bool killed, bool asynchronous = false)
  {
    if (killed && mServer.Pid() > 0) kill(mServer.Pid(), SIGKILL), mServer.Halt();
    mSim.Close();
    mServer.SetAsynchronous(asynchronous);
    std::string error;
    const bool restarted = mServer.Restart(&error);
    mServer.SetAsynchronous(false);
    const bool open = restarted && pollUntil([&] { return mSim.Open(&error); }, kWaitMs);
    EXPECT_TRUE(open) << error;
    return open;
  }
  void RestartAsynchronous() { ASSERT_TRUE(Restart(false, true)); }

  // The editor's start, or a fresh plug-in with no port chosen.
  void NewPlug(bool opened)
  {
    if (opened)
      OpenPlug();
    else
      mPlug.reset(new TestPlug);
  }

  JackTestServer mServer;
  SynthSim mSim{"Rudu"};
  SynthSim mSimB{"RuduB"};
  std::unique_ptr<TestPlug> mPlug;
  Names mOutNames, mInNames;
};

// Keeps the input busy with control changes (about 300 a second) and program
// dumps until stopped, and with all-data dumps in 1 KB pieces if asked. Control
// change n is B0 (n % 120) (n / 120 % 128), so a receiver can tell one that was
// sent from one made up.
class Flood
{
public:
  explicit Flood(SynthSim& sim, bool allDataDumps = false)
    : mSim(sim), mAllData(allDataDumps), mThread([this] { Run(); })
  {
  }
  ~Flood() { Stop(); }
  void Stop()
  {
    mStop.store(true);
    if (mThread.joinable()) mThread.join();
  }
  int Rounds() const { return mRounds.load(); }
  bool WasSent(const Bytes& cc) const
  {
    return cc.size() == 3 && cc[0] == 0xB0 && cc[1] < 120 && cc[2] < 128 && cc[2] * 120 + cc[1] < mSent.load();
  }
  static Bytes Program() { return MakeSimDump(297); }
  static Bytes AllData() { return MakeSimDump(37392, 5); }

private:
  void Run()
  {
    const Bytes program = Program(), allData = AllData();
    while (!mStop.load())
    {
      for (int i = 0; i < 60; ++i)
      {
        const int n = mSent.load();
        mSim.Send({0xB0, (unsigned char)(n % 120), (unsigned char)(n / 120 % 128)});
        mSent.store(n + 1);
      }
      mSim.Send(program);
      if (mAllData) mSim.Send(allData, SimPacing::Pieces(1024));
      mSim.WaitUntilSent(1000);
      mRounds.fetch_add(1);
    }
  }
  SynthSim& mSim;
  const bool mAllData;
  std::atomic<bool> mStop{false};
  std::atomic<int> mRounds{0}, mSent{0};
  std::thread mThread;
};

Bytes Slice(const Bytes& b, size_t from, size_t to)
{
  return Bytes(b.begin() + from, b.begin() + to);
}

// Sums the counts of every "N pieces dropped" line of the port layer's log.
int DroppedPiecesLogged(const std::string& log, int* closes)
{
  int sum = 0;
  *closes = 0;
  const std::string key = "MIDI IN: input port closed, ";
  for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
  {
    ++*closes;
    sum += atoi(log.c_str() + at + key.size());
  }
  return sum;
}

// The lines the port layer gives the plug-in's log, kept past the plug-in's end
// (the sink holds them: a test that stops early leaves the plug-in to its teardown).
struct KeptLines
{
  struct Store
  {
    std::mutex lock;
    Names lines;
  };
  std::shared_ptr<Store> store = std::make_shared<Store>();
  std::function<void(const std::string&)> Sink()
  {
    return [s = store](const std::string& line) {
      std::lock_guard<std::mutex> l(s->lock);
      s->lines.push_back(line);
    };
  }
  Names Lines()
  {
    std::lock_guard<std::mutex> l(store->lock);
    return store->lines;
  }
};

} // namespace

TEST_F(MidiOverJack, ListsShowTheSynthesizerAfterOffAndSelectionOpensByName)
{
  OpenPlug();
  EXPECT_EQ(mOutNames, (Names{"OFF", mSim.InputPortName()}));
  EXPECT_EQ(mInNames, (Names{"OFF", mSim.OutputPortName()}));
  EXPECT_EQ(mPlug->OutIndex(), 1);
  EXPECT_EQ(mPlug->InIndex(), 1);
  EXPECT_EQ(mPlug->getExternalMIDIOutDevice(mSim.InputPortName().c_str()), 1);
  EXPECT_EQ(mPlug->getExternalMIDIInDevice(mSim.InputPortName().c_str()), -1);
  EXPECT_EQ(mPlug->GetMIDIInPortNumber(mSim.OutputPortName().c_str()), 1);
  EXPECT_EQ(mPlug->GetMIDIOutPortNumber("OFF"), 0);

  // Our ports under RtMidi's own names, which saved connections use, on the owner's two clients.
  EXPECT_EQ(mSim.FindPorts("^" + JackClientName("RtMidi Output Client") + ":RtMidi Output$").size(), 1u);
  EXPECT_EQ(mSim.FindPorts("^" + JackClientName("RtMidi Input Client") + ":RtMidi Input$").size(), 1u);
  TestPlug second;  // another instance's lists, read now, leave the plug-in's own out
  ASSERT_TRUE(second.WaitForLists());
  EXPECT_TRUE(second.getExternalMIDIOutNames() == mOutNames && second.getExternalMIDIInNames() == mInNames);
}

// Each direction is watched alone, the other not chosen. The lines a user's log
// must show reach the plug-in's log as well, and the count of messages not sent
// also when the plug-in ends with its port gone.
TEST_F(MidiOverJack, AChosenPortAloneIsWatchedAndItsLinesReachThePlugInsLog)
{
  // The plug-in's clients, counted by the process's JACK owner.
  std::string error;
  auto inputClients = [&] { return std::make_pair(JackMidiOwner::ClientsOpened(), JackMidiOwner::ClientsClosed()); };
  for (bool output : {true, false})
  {
    SCOPED_TRACE(output ? "output alone" : "input alone");
    KeptLines kept;
    mPlug.reset(new TestPlug);
    mPlug->SetMidiPortLog(kept.Sink());
    mPlug->getExternalMIDIOutNames();
    mPlug->getExternalMIDIInNames();
    const std::string port = output ? mSim.InputPortName() : mSim.OutputPortName();
    ASSERT_EQ(output ? mPlug->ChooseOut(port) : mPlug->ChooseIn(port), 1);
    ASSERT_TRUE(mSim.WaitForConnections(output ? 0 : 1, output ? 1 : 0, kWaitMs));
    auto missing = [&] { return output ? mPlug->MidiOutPortMissing() : mPlug->MidiInPortMissing(); };
    const std::string side = output ? "MIDI OUT" : "MIDI IN";
    const std::string gone = side + " Port: " + port + " is gone!", back = side + " Port: " + port + " is back and opened again";
    IMidiMsg cc(0, 0xB0, 0x4A, 0x10);
    for (int sends : {2, 3})
    {
      // A port that goes or comes back lets no client go and opens none.
      const auto before = inputClients();
      mSim.Close();
      ASSERT_TRUE(pollUntil(missing, kWaitMs));
      // Said once the port is closed.
      ASSERT_TRUE(pollUntil([&] { return kept.Lines().size() > 0 && kept.Lines().back() == gone; }, kWaitMs))
          << testing::PrintToString(kept.Lines());
      EXPECT_EQ(inputClients(), before);
      // Refused, and a sender that waits on what it sent learns it.
      const IPlugBase::MidiOutPlace mark = mPlug->MidiOutMark();
      for (int i = 0; i < sends; ++i) EXPECT_FALSE(mPlug->SendMidiMsg(&cc));
      EXPECT_EQ(mPlug->MidiOutRefusedSince(mark), output);
      if (sends == 3) break;  // the plug-in ends with the port gone
      ASSERT_TRUE(mSim.Open(&error)) << error;
      ASSERT_TRUE(pollUntil([&] { return !missing(); }, kWaitMs));
      ASSERT_TRUE(mSim.WaitForConnections(output ? 0 : 1, output ? 1 : 0, kWaitMs));
      EXPECT_EQ(inputClients(), before);
    }
    mPlug.reset();
    EXPECT_EQ(kept.Lines(), output ? (Names{gone, back, "MIDI OUT: 2 messages not sent while " + port + " was gone", gone,
                                            "MIDI OUT: 3 messages not sent while " + port + " was gone"})
                                   : (Names{gone, back, gone}));
    ASSERT_TRUE(mSim.Open(&error)) << error;
  }
}

// The synthesizer's program ended and started again between two looks: its ports
// are back under the same names, so names alone never showed them gone, but our
// connections went with the old ports. The watch sees that and connects again.
TEST_F(MidiOverJack, PortsReplacedBetweenTwoLooksAreConnectedAgain)
{
  OpenPlug();
  {
    // The watch takes the plug-in's mutex before each look: none falls in between.
    WDL_MutexLock holdOff(&mPlug->mMutex);
    mSim.Close();
    std::string error;
    ASSERT_TRUE(mSim.Open(&error)) << error;
  }
  ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  ASSERT_TRUE(pollUntil([&] { return !mPlug->MidiOutPortMissing() && !mPlug->MidiInPortMissing(); }, kWaitMs));
  EXPECT_TRUE(mPlug->SendCc(0x4A, 0x10));
  ASSERT_TRUE(mSim.WaitForReceived(1, kWaitMs));
  EXPECT_EQ(mSim.Received()[0].bytes, (Bytes{0xB0, 0x4A, 0x10}));
  mSim.Send({0xB0, 0x4A, 0x11});
  ASSERT_TRUE(mPlug->WaitFor(1, kWaitMs));
  EXPECT_EQ(mPlug->Got()[0].bytes, (Bytes{0xB0, 0x4A, 0x11}));
}

// The editor reads the lists on a helper thread while it starts: selections asked
// at once wait for them, and they are the lists read in place.
TEST_F(MidiOverJack, ListsReadAheadServeSelectionsAskedAtOnce)
{
  mPlug.reset(new TestPlug);
  mPlug->ReadMidiPortListsAhead();
  ASSERT_EQ(ChooseBoth(*mPlug, mSim), 2);
  EXPECT_EQ(mPlug->getExternalMIDIOutNames(), (Names{"OFF", mSim.InputPortName()}));
  EXPECT_EQ(mPlug->getExternalMIDIInNames(), (Names{"OFF", mSim.OutputPortName()}));
  ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
}

TEST_F(MidiOverJack, EverySendOperationArrivesByteExact)
{
  OpenPlug();
  IMidiMsg cc, pc, nrpnMsb(0, 0xB0, 0x63, 0x05), nrpnLsb(0, 0xB0, 0x62, 0x10), entry(0, 0xB0, 0x06, 0x7F);
  cc.MakeControlChangeMsg((IMidiMsg::EControlChangeMsg)74, 64 / 127.0, 0);
  pc.MakeProgramChangeMsg(5 / 127.0, 0);
  IMidiMsg noteOn(0, 0x90, 0x3C, 0x64), aftertouch(0, 0xD0, 0x40, 0x00);
  unsigned char body[] = {0x42, 0x30, 0x58, 0x10};
  Bytes dump = MakeSimDump(297);

  EXPECT_TRUE(mPlug->SendMidiMsg(&cc));
  WDL_TypedBuf<IMidiMsg> nrpn;
  nrpn.Add(nrpnMsb);
  nrpn.Add(nrpnLsb);
  // A velocity with bit 7 (as a host may pass it on) would put a status byte on
  // the wire: that message is refused, the others of the buffer still go.
  IMidiMsg broken(0, 0x90, 0x3C, 0xC8);
  nrpn.Add(broken);
  nrpn.Add(entry);
  EXPECT_FALSE(mPlug->SendMidiMsgs(&nrpn));
  EXPECT_TRUE(mPlug->SendMidiMsg(&pc));
  EXPECT_FALSE(mPlug->SendMidiMsg(&broken));
  EXPECT_TRUE(mPlug->SendMidiMsg(&noteOn));
  EXPECT_TRUE(mPlug->SendMidiMsg(&aftertouch));
  EXPECT_TRUE(mPlug->SendMidiSysex(body, 4));
  EXPECT_TRUE(mPlug->SendPatchSysex(dump.data(), (int)dump.size()));
  EXPECT_TRUE(mPlug->SendMidiSysex2({0xF8}));
  EXPECT_FALSE(mPlug->SendMidiVST(&cc));

  const std::vector<Bytes> want = {{0xB0, 74, 64},   {0xB0, 0x63, 0x05}, {0xB0, 0x62, 0x10}, {0xB0, 0x06, 0x7F},
                                   {0xC0, 0x05},     {0x90, 0x3C, 0x64}, {0xD0, 0x40},
                                   {0xF0, 0x42, 0x30, 0x58, 0x10, 0xF7}, dump, {0xF8}};
  ASSERT_TRUE(mSim.WaitForReceived(want.size(), kWaitMs));
  const auto got = mSim.Received();
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i].bytes, want[i]) << "message " << i;
}

TEST_F(MidiOverJack, MessagesFromTheSynthesizerArriveWholeAndInOrder)
{
  OpenPlug();
  const Bytes dump297 = MakeSimDump(297, 1), big8k = MakeSimDump(37163, 2), big1k = MakeSimDump(37163, 3);
  mSim.Send({0xFA});
  mSim.Send({0xC0, 0x05});
  mSim.Send({0x90, 0x3C, 0x64});
  mSim.Send({0xF0, 0x7E, 0xF7});
  mSim.Send({0xF8});
  mSim.Send({0xFE});
  mSim.Send(dump297);
  mSim.Send(big8k, SimPacing::Pieces(8192));
  mSim.Send(big1k, SimPacing::Pieces(1000));
  mSim.Send({0xB0, 0x07, 0x7F});

  const std::vector<GotMidi> want = {
      {{0xFA, 0, 0}, false, true},    {{0xC0, 0x05, 0}, false, true}, {{0x90, 0x3C, 0x64}, false, true},
      {{0xF0, 0x7E, 0xF7}, false, true}, {dump297, true, true},          {big8k, true, true},
      {big1k, true, true},            {{0xB0, 0x07, 0x7F}, false, true}};
  ASSERT_TRUE(mPlug->WaitFor(want.size(), kWaitMs)) << "got " << mPlug->Count();
  const auto got = mPlug->Got();
  ASSERT_EQ(got.size(), want.size()); // timing clock and active sensing never arrive
  for (size_t i = 0; i < want.size(); ++i)
  {
    EXPECT_EQ(got[i].sysex, want[i].sysex) << "message " << i;
    EXPECT_TRUE(got[i].fromDevice) << "message " << i;
    ASSERT_EQ(got[i].bytes.size(), want[i].bytes.size()) << "message " << i;
    EXPECT_TRUE(got[i].bytes == want[i].bytes) << "message " << i;
  }
  EXPECT_TRUE(mPlug->AllUnderMutex());
}

// The port library's callback runs in JACK's process thread, which must never
// wait: with the plug-in's mutex held (a drawing pass, a serialiser, a person at a
// menu) messages still arrive and the graph keeps running, so what the plug-in
// sends meanwhile reaches the synthesizer. Once the mutex is free, everything
// received reaches the plug-in, in order.
TEST_F(MidiOverJack, WhileThePlugInsMutexIsHeldTheGraphRunsOnAndNothingIsLost)
{
  OpenPlug();
  mSim.ClearReceived();
  bool sentThrough = false;
  {
    WDL_MutexLock held(&mPlug->mMutex);
    for (int i = 0; i < 40; ++i) mSim.Send({0xB0, 20, (unsigned char)i});
    ASSERT_TRUE(mSim.WaitUntilSent(kWaitMs));
    // The graph ran the plug-in's input client in the meantime; had it waited for
    // the mutex, no later period would carry this to the synthesizer.
    IMidiMsg note(0, 0x90, 0x40, 0x50);
    ASSERT_TRUE(mPlug->SendMidiMsg(&note));
    sentThrough = mSim.WaitForReceived(1, 5000);
    EXPECT_EQ(mPlug->Count(), 0u);  // nothing reached the plug-in without its mutex
  }
  EXPECT_TRUE(sentThrough) << "the JACK graph waited for the plug-in's mutex";
  ASSERT_TRUE(mPlug->WaitFor(40, kWaitMs)) << "got " << mPlug->Count();
  const auto got = mPlug->Got();
  ASSERT_EQ(got.size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(got[(size_t)i].bytes, (Bytes{0xB0, 20, (unsigned char)i})) << i;
  EXPECT_TRUE(mPlug->AllUnderMutex());
}

// A receiver whose process thread stalls inside a period (a page fault, a
// preemption) must still get every message once and in order, as from a cable:
// what the plug-in sends during the stall must not overwrite the period still
// being read.
TEST_F(MidiOverJack, AReceiverStalledInsideAPeriodStillGetsEveryMessageOnceInOrder)
{
  OpenPlug();
  // Past the start of the next period, so the plug-in's next period comes due while
  // this one is still being read, and past the 20 periods a synchronous server
  // waits for a late client unless told otherwise.
  const auto period = std::chrono::microseconds((long long)(mSim.PeriodFrames() * 1e6 / mSim.SampleRate()));
  mSim.StallNextRead(period * 25);
  std::vector<Bytes> sent;
  auto send = [&](int n) {
    IMidiMsg cc(0, 0xB0, (unsigned char)(n % 120), (unsigned char)(n / 120));
    ASSERT_TRUE(mPlug->SendMidiMsg(&cc));
    sent.push_back({cc.mStatus, cc.mData1, cc.mData2});
  };
  for (int n = 0; n < 8; ++n) send(n);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
  while (!mSim.Stalling() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
  ASSERT_TRUE(mSim.Stalling());
  for (int n = 8; n < 16; ++n) send(n);
  // A last message behind them all: once it is in, every other one is.
  const Bytes last = {0xF0, 0x7D, 0x01, 0xF7};
  ASSERT_TRUE(mPlug->SendPatchSysex(const_cast<unsigned char*>(last.data()), (int)last.size()));
  sent.push_back(last);
  const auto lastIn = [&] {
    for (const SimMessage& m : mSim.Received())
      if (m.bytes == last) return true;
    return false;
  };
  while (!lastIn() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::vector<Bytes> got;
  for (const SimMessage& m : mSim.Received()) got.push_back(m.bytes);
  EXPECT_EQ(got, sent);
}

// On an asynchronous server (JACK's default) a receiver late in its period loses
// what its writer cleared meanwhile, and the server reports an xrun: the plug-in
// says it while a port is open.
TEST_F(MidiOverJack, AnAsynchronousServersXrunIsSaid)
{
  ASSERT_NO_FATAL_FAILURE(RestartAsynchronous());
  OpenPlug();
  CaptureConsole();
  mSim.StallNextRead(std::chrono::milliseconds(25));  // about five periods
  ASSERT_TRUE(mPlug->SendCc(0x10, 0x01));
  ASSERT_TRUE(pollUntil([&] { return mPlug->MidiSharedMemory()->xruns.load() > 0; }, kWaitMs));
  mPlug.reset();  // its port thread's end says what it had not
  EXPECT_NE(CapturedConsole().find("MIDI: the JACK server reported "), std::string::npos);
}

TEST_F(MidiOverJack, SelectingAnotherDeviceMovesThePort)
{
  std::string error;
  ASSERT_TRUE(mSimB.Open(&error)) << error;
  OpenPlug();
  ASSERT_EQ(mOutNames, (Names{"OFF", mSim.InputPortName(), mSimB.InputPortName()}));

  IMidiMsg cc(0, 0xB1, 0x10, 0x20);
  int index = 1; // the name decides, not the index
  EXPECT_EQ(mPlug->setExternalMIDIOut(index, mSimB.InputPortName().c_str()), 2);
  EXPECT_EQ(index, 2);
  ASSERT_TRUE(mSimB.WaitForConnections(0, 1, kWaitMs));
  ASSERT_TRUE(mSim.WaitForConnections(1, 0, kWaitMs));
  EXPECT_TRUE(mPlug->SendMidiMsg(&cc));
  ASSERT_TRUE(mSimB.WaitForReceived(1, kWaitMs));
  EXPECT_EQ(mSimB.Received()[0].bytes, (Bytes{0xB1, 0x10, 0x20}));

  // 60 KB sent right before the move back, more than a period's buffer takes: all
  // of it reaches the port it was sent to, none of it the next.
  const Bytes dump = MakeSimDump(1000, 9);
  for (int i = 0; i < 60; ++i) ASSERT_TRUE(mPlug->SendPatchSysex(const_cast<unsigned char*>(dump.data()), (int)dump.size()));
  index = 2;
  EXPECT_EQ(mPlug->setExternalMIDIOut(index, mSim.InputPortName().c_str()), 1);
  EXPECT_EQ(index, 1);
  ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  EXPECT_TRUE(mPlug->SendMidiMsg(&cc));
  ASSERT_TRUE(mSim.WaitForReceived(1, kWaitMs));
  EXPECT_TRUE(mSim.Received()[0].bytes == (Bytes{0xB1, 0x10, 0x20}));
  ASSERT_TRUE(mSimB.WaitForReceived(61, kWaitMs)) << mSimB.ReceivedCount();
  const auto gotB = mSimB.Received();
  EXPECT_TRUE(gotB.size() == 61 && std::all_of(gotB.begin() + 1, gotB.end(), [&](const SimMessage& m) { return m.bytes == dump; }));

  // "OFF" and an unknown name close the port and write 0 back; sending then
  // returns at once (RtMidi's JACK output would wait for ever once its ring filled).
  struct Step { int index; const char* name; };
  for (const Step s : {Step{1, "OFF"}, Step{1, "Nowhere:MIDI In"}})
  {
    index = s.index;
    EXPECT_EQ(mPlug->setExternalMIDIOut(index, s.name), 0) << s.name;
    EXPECT_EQ(index, 0) << s.name;
    ASSERT_TRUE(mSim.WaitForConnections(1, 0, kWaitMs));
    for (int i = 0; i < 10000; ++i) ASSERT_FALSE(mPlug->SendMidiMsg(&cc));
  }

  // A port still listed but gone by the time its choice is taken: the old port's
  // connection goes all the same, each way.
  ASSERT_EQ(mPlug->setExternalMIDIOut(index = 1, mSim.InputPortName().c_str()), 1);
  ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  const std::string bOut = mSimB.OutputPortName(), bIn = mSimB.InputPortName();
  mSimB.Close();
  EXPECT_GT(mPlug->setExternalMIDIOut(index = 1, bIn.c_str()), 0);
  EXPECT_TRUE(mSim.WaitForConnections(1, 0, kWaitMs));
  EXPECT_GT(mPlug->setExternalMIDIIn(index = 1, bOut.c_str()), 0);
  EXPECT_TRUE(mSim.WaitForConnections(0, 0, kWaitMs));
  ASSERT_TRUE(mSimB.Open(&error)) << error;

  // However many choices, the process keeps its two clients.
  const int opened = JackMidiOwner::ClientsOpened();
  for (int choice = 0; choice < 10; ++choice)
    EXPECT_GT(mPlug->setExternalMIDIIn(index = 1, (choice % 2 ? mSim : mSimB).OutputPortName().c_str()), 0);
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs));
  EXPECT_EQ(JackMidiOwner::ClientsOpened(), opened);
  EXPECT_EQ(JackMidiOwner::ClientsClosed(), 0);
}

// Host calls while the JACK server is stopped (SIGSTOP, as one busy or stuck is):
// each returns while it is still stopped, none holds the plug-in's mutex (the
// host's render gets it meanwhile), and once the server runs again the port
// thread ends and the plug-in goes as usual. A teardown that gives the port thread
// up says so once.
TEST_F(MidiOverJack, HostCallsReturnWhileTheServerIsStopped)
{
  const Bytes piece = MakeSimDump(8000, 4);
  struct Row
  {
    const char* what;
    std::function<void(TestPlug&)> call;
    bool opened;  // the plug-in's ports open before the stop
    bool killed = false;  // the server is then killed and another started, not continued
  } rows[] = {
      {"a choice under the plug-in's mutex", [](TestPlug& p) {
         WDL_MutexLock lock(&p.mMutex);  // as the component entry holds it
         p.ChooseIn("OFF");
       }, true},
      {"a render send beside a worker's 24 KB dump", [&](TestPlug& p) {
         for (int i = 0; i < 3; ++i) p.SendPatchSysex((unsigned char*)piece.data(), (int)piece.size());
         WDL_MutexLock lock(&p.mMutex);
         p.SendCc(0x4A, 0x01);
       }, true},
      {"a fresh plug-in's lists and choices", [&](TestPlug& p) {
         p.getExternalMIDIOutNames();
         ChooseBoth(p, mSim);
       }, false},
      // An idle port thread ends without a call into the server: none is given up.
      {"the close", [](TestPlug& p) { EXPECT_TRUE(p.StopMidiPortThreads()); }, true},
      // The port thread's questions wait for the JACK owner, whose disconnection
      // waits in the server: the close gives them up at once.
      {"a close while the port thread waits for the server", [](TestPlug& p) {
         p.ChooseIn("OFF");
         p.SendCc(0x4B, 0x02);
         pollUntil([&] { return p.MidiInChoiceTaken(); }, kWaitMs);
         const auto start = std::chrono::steady_clock::now();
         EXPECT_TRUE(p.StopMidiPortThreads());
         EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
       }, true},
      // The input's reopening waits in the server; killed, it returns, and the
      // next server is found and both ports opened on it.
      // What was queued for the output waits for it: a later choice is taken.
      {"a choice waiting in a server then killed", [&](TestPlug& p) {
         for (int i = 0; i < 3; ++i) p.SendPatchSysex((unsigned char*)piece.data(), (int)piece.size());
         p.ChooseIn(mSim.OutputPortName());
         pollUntil([&] { return p.MidiInChoiceTaken(); }, kWaitMs);
       }, true, true},
  };
  for (const Row& r : rows)
  {
    SCOPED_TRACE(r.what);
    NewPlug(r.opened);
    CaptureConsole();
    mSim.ClearReceived();
    kill(mServer.Pid(), SIGSTOP);
    std::atomic<bool> done{false};
    std::thread host([&] {
      r.call(*mPlug);
      done.store(true);
    });
    // The call's own waits (a choice taken) are bounded within it: this bound
    // only catches a call that does not return at all, and must not race those on
    // a loaded machine.
    const bool rendered = pollUntil([&] {
      if (!mPlug->mMutex.TryEnter()) return false;
      mPlug->mMutex.Leave();
      return done.load();
    }, 3 * kWaitMs);
    kill(mServer.Pid(), r.killed ? SIGKILL : SIGCONT);
    host.join();
    const std::string log = CapturedConsole();
    EXPECT_TRUE(rendered) << "the call waited for the stopped server";
    ASSERT_TRUE(!r.killed || Restart(true));
    // Handed over, not lost: what a fresh plug-in chose opens once the server runs.
    if (!r.opened || r.killed) { EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs)); }
    if (r.killed) { EXPECT_TRUE(mPlug->ChooseOut("OFF") == 0 && mSim.WaitForConnections(1, 0, kWaitMs)); }
    EXPECT_TRUE(pollUntil([&] { return mPlug->StopMidiPortThreads(); }, kWaitMs));
    mPlug.reset();
    const std::string line = "MIDI: the port thread has not ended within 2000 ms";
    EXPECT_LE(log.find(line), log.rfind(line)) << log;
    ASSERT_TRUE(mSim.WaitForConnections(0, 0, kWaitMs));
  }
}

// The process's first opening of its JACK clients waits in a server that stands
// still; an instance closed meanwhile gave its question up: its lines say so, and
// none says that a server refused the client.
TEST_F(MidiOverJack, AnInstanceClosedBeforeTheServersFirstAnswerSaysSo)
{
  if (JackMidiOwner::Epoch() != 0) GTEST_SKIP() << "the process's JACK clients are open already (CTest runs this alone)";
  kill(mServer.Pid(), SIGSTOP);
  CaptureConsole();
  {
    TestPlug plug;
    const unsigned long long before = ConsoleLogCounts().written;
    plug.ReadMidiPortListsAhead();
    // The port thread has begun to read the lists (its first line is out): it asks.
    pollUntil([&] { return ConsoleLogCounts().written > before; }, kWaitMs);
  }
  kill(mServer.Pid(), SIGCONT);
  const std::string log = CapturedConsole();
  EXPECT_NE(log.find("MIDI OUT: the plug-in closed before the JACK server answered"), std::string::npos) << log;
  EXPECT_EQ(log.find("no JACK server takes the client"), std::string::npos) << log;
}

// The process's first opening waits in a server that stands still past the
// bridge's first-word bound: the lists read meanwhile hold "OFF" alone, names chosen
// from a saved state are kept as they are, and once that server answers, or one
// that replaced it after it was killed, the lists are read again and the chosen
// ports open.
TEST_F(MidiOverJack, ListsReadBeforeTheServersFirstAnswerAreReadAgainAndKeepTheChoice)
{
  if (JackMidiOwner::Epoch() != 0) GTEST_SKIP() << "the process's JACK clients are open already (CTest runs this alone)";
  for (const bool replaced : {false, true})
  {
    SCOPED_TRACE(replaced ? "killed and replaced" : "continued");
    kill(mServer.Pid(), SIGSTOP);
    TestPlug plug;
    const bool listed = plug.WaitForLists();
    const std::vector<std::string> first = plug.getExternalMIDIOutNames();
    const int chosen = ChooseBoth(plug, mSim);
    ASSERT_TRUE(replaced ? Restart(true) : kill(mServer.Pid(), SIGCONT) == 0);
    ASSERT_TRUE(listed);
    EXPECT_EQ(first, std::vector<std::string>{"OFF"});
    EXPECT_EQ(chosen, 2);
    EXPECT_TRUE(pollUntil([&] { return plug.MidiPortListsReads() >= 2; }, kWaitMs));
    EXPECT_TRUE(pollUntil([&] { return Lists(plug.getExternalMIDIOutNames(), mSim.InputPortName()); }, kWaitMs));
    EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
    // The next row's plug-in is the process's first again only once this server went.
    if (!replaced)
    {
      plug.StopMidiPortThreads();
      ASSERT_TRUE(Restart(true));
      ASSERT_TRUE(pollUntil([] { return JackMidiOwner::Epoch() == 0; }, kWaitMs));
    }
  }
}

// A synthesizer's program that starts after the lists were read is in them by its
// next look, and leaves them as it ends; a chosen port that went stays an entry
// (the choice it is). The owner is told each time, as after a reading.
TEST_F(MidiOverJack, TheListsFollowThePorts)
{
  for (const bool chosen : {false, true})
  {
    SCOPED_TRACE(chosen ? "ports chosen" : "no port chosen");
    NewPlug(chosen);
    ASSERT_TRUE(mPlug->WaitForLists());
    const unsigned reads = mPlug->MidiPortListsReads();
    std::string error;
    ASSERT_TRUE(mSimB.Open(&error)) << error;
    EXPECT_TRUE(pollUntil([&] {
      return Lists(mPlug->getExternalMIDIOutNames(), mSimB.InputPortName()) &&
             Lists(mPlug->getExternalMIDIInNames(), mSimB.OutputPortName());
    }, kWaitMs));
    EXPECT_GT(mPlug->MidiPortListsReads(), reads);
    mSimB.Close();
    if (chosen) mSim.Close();
    EXPECT_TRUE(pollUntil([&] { return !Lists(mPlug->getExternalMIDIOutNames(), mSimB.InputPortName()); }, kWaitMs));
    EXPECT_FALSE(Lists(mPlug->getExternalMIDIInNames(), mSimB.OutputPortName()));
    EXPECT_TRUE(Lists(mPlug->getExternalMIDIOutNames(), mSim.InputPortName()));
    EXPECT_TRUE(Lists(mPlug->getExternalMIDIInNames(), mSim.OutputPortName()));
    mPlug.reset();
    if (chosen) { ASSERT_TRUE(mSim.Open(&error)) << error; }
  }
}

// The input thread is woken by the bridge as a message comes, not by the bound it
// sleeps for at most (1 s): an echoed control is back well inside it, median of 20.
TEST_F(MidiOverJack, AnEchoIsBackWellInsideTheInputsBound)
{
  OpenPlug();
  mSim.SetEcho(true);
  std::vector<double> ms;
  for (int i = 0; i < 20; ++i)
  {
    mPlug->Clear();
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(mPlug->SendCc(0x21, (unsigned char)i));
    ASSERT_TRUE(mPlug->WaitFor(1, kWaitMs));
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
  }
  std::sort(ms.begin(), ms.end());
  EXPECT_LT(ms[10], 250.0) << "slowest " << ms.back() << " ms";
}

// A choice's first exchange: a request sent right after both ports are chosen
// finds the input open and its answer arrives, in either order of the choices, on
// a fresh plug-in and on one moved from another synthesizer (the input a new
// client); a port chosen right as it appears opens; a burst of choices leaves one
// opening.
TEST_F(MidiOverJack, AChoiceEndsConnected)
{
  std::string error;
  mSim.SetEcho(true);
  const Bytes request = MakeSimDump(297, 7), dump = MakeSimDump(1000, 8);
  for (const bool moved : {false, true})
    for (const bool outputFirst : {true, false})
    {
      SCOPED_TRACE(std::string(moved ? "moved, " : "fresh, ") + (outputFirst ? "output first" : "input first"));
      ASSERT_TRUE(mSimB.Open(&error)) << error;
      mSimB.SetEcho(true);
      if (moved) OpenPlug();
      if (!moved) mPlug.reset(new TestPlug);
      SynthSim& to = moved ? mSimB : mSim;
      if (outputFirst) mPlug->ChooseOut(to.InputPortName());
      mPlug->ChooseIn(to.OutputPortName());
      if (!outputFirst) mPlug->ChooseOut(to.InputPortName());
      // 30 KB held for the opening first: more than a period takes at once.
      to.ClearReceived();
      for (int i = 0; i < 30; ++i) ASSERT_TRUE(mPlug->SendPatchSysex((unsigned char*)dump.data(), (int)dump.size()));
      ASSERT_TRUE(mPlug->SendPatchSysex((unsigned char*)request.data(), (int)request.size()));
      EXPECT_TRUE(mPlug->WaitForSysEx(request, kWaitMs));
      ASSERT_TRUE(to.WaitForReceived(31, kWaitMs));
      for (int i = 0; i < 31; ++i) EXPECT_EQ(to.Received()[i].bytes, i < 30 ? dump : request) << i;
      // The menus' move between the two: the output chosen sends its request at once
      // (as the editor's choice does), the input is chosen 0.1 ms later, or 5 ms later
      // (a loaded machine); each move's request is answered.
      for (int move = 0; moved && outputFirst && move < 20; ++move)
      {
        SynthSim& next = move % 2 ? mSimB : mSim;
        mPlug->Clear();
        const Bytes ask = MakeSimDump(297, 20 + move);
        const auto chosen = std::chrono::steady_clock::now();
        mPlug->ChooseOut(next.InputPortName());
        ASSERT_TRUE(mPlug->SendPatchSysex((unsigned char*)ask.data(), (int)ask.size()));
        std::this_thread::sleep_for(std::chrono::microseconds(move % 4 < 2 ? 100 : 5000));
        mPlug->ChooseIn(next.OutputPortName());
        // A sleep overrun past the pairing on a starved machine makes the input's a
        // choice of its own, which the request does not wait for.
        if (std::chrono::steady_clock::now() - chosen < kMidiChoicePairing)
        {
          EXPECT_TRUE(mPlug->WaitForSysEx(ask, kWaitMs)) << "move " << move;
        }
      }
      mPlug.reset();
      mSimB.Close();
    }
  {
    // Two instances in one process: the second's ports are numbered.
    ASSERT_TRUE(mSimB.Open(&error)) << error;
    OpenPlug();
    TestPlug second;
    ChooseBoth(second, mSimB);
    ASSERT_TRUE(mSimB.WaitForConnections(1, 1, kWaitMs));
    EXPECT_EQ(mSim.FindPorts("^" + JackClientName("RtMidi Output Client") + ":RtMidi Output 2$").size(), 1u);
    ASSERT_TRUE(mPlug->SendPatchSysex((unsigned char*)request.data(), (int)request.size()));
    EXPECT_TRUE(mPlug->WaitForSysEx(request, kWaitMs));
    mPlug.reset();
    mSimB.Close();
  }
  // Chosen the moment its program has made it again, before a look has seen it.
  OpenPlug();
  const std::string name = mSim.OutputPortName();
  mPlug->ChooseIn("OFF");
  mSim.Close();
  ASSERT_TRUE(pollUntil([&] { return mPlug->GetMIDIInPortNumber(name.c_str()) < 0; }, kWaitMs));
  ASSERT_TRUE(mSim.Open(&error)) << error;
  EXPECT_EQ(mPlug->ChooseIn(name), 1);
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs));
  // A host automating the port: the last choice wins, and one opening follows.
  CaptureConsole();
  for (int choice = 0; choice < 200; ++choice)
  {
    WDL_MutexLock lock(&mPlug->mMutex);
    mPlug->ChooseIn(choice % 2 ? name : "OFF");
  }
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs));
  const std::string log = CapturedConsole();
  int closes = 0;
  DroppedPiecesLogged(log, &closes);
  EXPECT_LE(closes, 4) << log;
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
}

// What a send accepted arrives, message for message, in order: 100 kB of note
// pairs sent as the output opens (held until it has), and 300 kB queued while the
// server stands still (SIGSTOP) and handed on once it runs. JACK's buffer of a
// period fills by events: what it does not take waits for the next period.
// Program changes among the notes (two sizes) give the rings' room left every value.
TEST_F(MidiOverJack, WhatASendAcceptedArrivesMessageForMessage)
{
  enum Stop { kNever, kWhileQueued, kOnceOneArrived };  // the server stands still (SIGSTOP)
  const struct
  {
    const char* what;
    bool opened;  // the ports open before the sends
    Stop stop;
    int bytes;
    int closeMs = -1;  // the instance closes, the server runs again this long after (-1: no close)
    int said = 0;  // said not sent: none (0), some (1), either (-1)
  } rows[] = {{"held during an opening", false, kNever, 100 * 1000},
              {"queued on a stopped server", true, kWhileQueued, 300 * 1000},
              // What the close could not hand on within its bound (250 ms) is counted and said, to the message.
              {"queued on a stopped server, then the close", true, kWhileQueued, 300 * 1000, 400, 1},
              // The close writes out what its slot holds while the server runs.
              {"sent right before the close", true, kNever, 300, 0},
              // The same, all of it still in the slot as it is released: the server
              // runs again well inside the close's bound.
              {"sent to a stopped server right before the close", true, kWhileQueued, 300, 100},
              // The period written last before the server stopped is read once: the
              // closing port is not taken from the callback that clears its buffer
              // while the server's graph still joins it to the receiver.
              {"the server stopped while it writes them, then the close", true, kOnceOneArrived, 300 * 1000, 400, -1}};
  for (const auto& r : rows)
  {
    SCOPED_TRACE(r.what);
    NewPlug(r.opened);
    // Opened: not only joined, but taken by the port thread (a close while the
    // opening's question is under way gives it up, and the sends with it).
    ASSERT_TRUE(pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs));
    if (r.closeMs >= 0) CaptureConsole();
    if (!r.opened) { ASSERT_EQ(mPlug->ChooseOut(mSim.InputPortName()), 1); }
    mSim.ClearReceived();
    if (r.stop == kWhileQueued) kill(mServer.Pid(), SIGSTOP);
    std::vector<Bytes> sent;
    int refused = 0;
    for (int n = 0; (int)sent.size() * 3 < r.bytes; ++n)
    {
      IMidiMsg on(0, 0x90, (unsigned char)(n % 128), (unsigned char)(1 + n / 128 % 127)), off(0, 0x80, on.mData1, 0),
          program(0, 0xC0, (unsigned char)(n % 128), 0);
      for (IMidiMsg* m : {&on, &off, &program})
      {
        if (m == &program && n % 5 != 0) continue;
        if (mPlug->SendMidiMsg(m))
          sent.push_back(m == &program ? Bytes{m->mStatus, m->mData1} : Bytes{m->mStatus, m->mData1, m->mData2});
        else
          ++refused;
      }
    }
    EXPECT_EQ(refused, 0);
    if (r.stop == kOnceOneArrived)
    {
      ASSERT_TRUE(pollUntil([&] { return mSim.ReceivedCount() > 0; }, kWaitMs));
      kill(mServer.Pid(), SIGSTOP);
    }
    long long said = 0;
    if (r.closeMs >= 0)
    {
      std::thread closing([&] { mPlug.reset(); });
      // Inside the close's bound: its release handed to the bridge first, which
      // waits for the server to write the slot out.
      if (r.closeMs < 400) closing.join();
      std::this_thread::sleep_for(std::chrono::milliseconds(r.closeMs));
      kill(mServer.Pid(), SIGCONT);
      if (closing.joinable()) closing.join();
      ASSERT_TRUE(pollUntil([&] { return mSim.FindPorts(":RtMidi Output$").empty(); }, kWaitMs));
      // The owner's requests run in turn: past this one, the release has been said.
      ASSERT_TRUE(JackMidiOwner::AskWithin([](unsigned) {}, std::chrono::milliseconds(kWaitMs)));
      const std::string log = CapturedConsole(), key = " messages not sent: the plug-in closed before ";
      for (size_t at = log.find(key); at != std::string::npos; at = log.find(key, at + 1))
        said += atoll(log.c_str() + log.rfind("MIDI OUT: ", at) + 10);
      if (r.said >= 0) { EXPECT_EQ(said > 0, r.said == 1) << log; }
    }
    else
      kill(mServer.Pid(), SIGCONT);
    EXPECT_TRUE(pollUntil([&] { return said + (long long)mSim.ReceivedCount() == (long long)sent.size(); }, 60000))
        << said << " said not sent, " << mSim.ReceivedCount() << " arrived, of " << sent.size();
    const auto got = mSim.Received();
    ASSERT_LE(got.size(), sent.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i].bytes, sent[i]) << "message " << i;
    mPlug.reset();
  }
}

// The timing clock placed by the bridge beside a flood that fills each period's
// buffer: every message arrives whole and in order, every tick at its frame (JACK's
// time of its frame on the timeline within two frames), the messages leaving room
// for the ticks; the stop answers the ticks placed.
TEST_F(MidiOverJack, ClockTicksKeepTheirFramesBesideAFlood)
{
  OpenPlug();
  mSim.ClearReceived();
  const int64_t interval = 8333333;  // 300 BPM
  ASSERT_TRUE(mPlug->StartMidiClock(std::chrono::nanoseconds(std::chrono::steady_clock::now().time_since_epoch()).count(), interval));
  std::vector<Bytes> sent, others;
  for (int n = 0; n < 100000; ++n)
  {
    const Bytes m = n % 1000 == 999 ? MakeSimDump(297, n) : Bytes{0xB0, (unsigned char)(n % 120), (unsigned char)(n / 120 % 128)};
    if (mPlug->SendPatchSysex(const_cast<unsigned char*>(m.data()), (int)m.size())) sent.push_back(m);
  }
  // Every message and at least 60 ticks, then every tick placed before the stop.
  ASSERT_TRUE(mSim.WaitForReceived(sent.size() + 60, 60000)) << mSim.ReceivedCount() << " of " << sent.size();
  const unsigned long long placed = mPlug->StopMidiClock();
  ASSERT_TRUE(mSim.WaitForReceived(sent.size() + placed, kWaitMs));
  std::vector<double> off;  // each tick's microseconds off the first one's timeline
  for (const SimMessage& m : mSim.Received())
    if (m.bytes == Bytes{0xF8}) off.push_back(m.jackMicros - off.size() * interval / 1e3);
    else others.push_back(m.bytes);
  EXPECT_TRUE(others == sent) << "a message came apart, went missing or out of order";
  ASSERT_TRUE(off.size() == placed && placed > 0) << off.size() << " of " << placed;
  const auto range = std::minmax_element(off.begin(), off.end());
  EXPECT_LE(*range.second - *range.first, 2e6 / mSim.SampleRate()) << "microseconds late at most";
}

// The server restarted while the lists are read and no port is chosen: both chosen
// afterwards open, the output's object of the ended server's time made anew.
TEST_F(MidiOverJack, AfterARestartWithNoPortChosenBothChosenOpen)
{
  mPlug.reset(new TestPlug);
  ASSERT_TRUE(mPlug->WaitForLists());
  std::string error;
  CaptureConsole();
  mSim.Close();
  mServer.Stop();
  // The log says the server went; the instance's looks have been told no server
  // takes clients, and a fresh one made the moment it is back lists with a client.
  const bool refused = pollUntil([] { return JackMidiOwner::LastRefusal() != 0; }, kWaitMs);
  ASSERT_TRUE(mServer.Start(&error)) << error;
  const bool listed = refused && TestPlug().WaitForLists();
  const std::string log = CapturedConsole();
  ASSERT_TRUE(refused);
  EXPECT_TRUE(listed);
  EXPECT_NE(log.find("MIDI: the JACK server went, and with it the JACK bridge"), std::string::npos) << log;
  EXPECT_EQ(log.find("no JACK server takes the client"), std::string::npos) << log;
  ASSERT_TRUE(mSim.Open(&error)) << error;
  EXPECT_EQ(ChooseBoth(*mPlug, mSim), 2);
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs));
  // A port the opening met before the new server listed it is watched for, and seen back at the next look.
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiOutPortMissing() && !mPlug->MidiInPortMissing(); }, kWaitMs));
}

// Without the ALSA sequencer the ports are JACK's even when no server runs yet: a
// project's ports, chosen by name then, open once a server comes.
TEST_F(MidiOverJack, PortsChosenBeforeAnyServerRunsOpenWhenOneStarts)
{
  mSim.Close();
  mServer.Halt();
  mPlug.reset(new TestPlug);
  EXPECT_EQ(ChooseBoth(*mPlug, mSim), 2);
  ASSERT_TRUE(mPlug->WaitForLists());
  EXPECT_TRUE(pollUntil([&] { return mPlug->MidiOutPortMissing() && mPlug->MidiInPortMissing(); }, kWaitMs));
  ASSERT_TRUE(Restart(false));
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiOutPortMissing() && !mPlug->MidiInPortMissing(); }, kWaitMs));
}

TEST_F(MidiOverJack, TooLongForJackIsRefusedNotSilentlyLost)
{
  OpenPlug();
  Bytes tooLong = MakeSimDump(20000), longest = MakeSimDump(16379);
  EXPECT_FALSE(mPlug->SendPatchSysex(tooLong.data(), (int)tooLong.size()));
  EXPECT_TRUE(mPlug->SendPatchSysex(longest.data(), (int)longest.size()));
  EXPECT_FALSE(mPlug->SendPatchSysex(longest.data(), 0));
  ASSERT_TRUE(mSim.WaitForReceived(1, kWaitMs));
  const auto got = mSim.Received();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].bytes, longest);
}

TEST_F(MidiOverJack, VirtualOutputCarriesMessages)
{
  mPlug.reset(new TestPlug);
  ASSERT_TRUE(mPlug->initializeVirtualOutput("Davrel"));
  ASSERT_TRUE(pollUntil([&] { return mSim.FindPorts("From Davrel$").size() == 1; }, kWaitMs));
  const Names ports = mSim.FindPorts("From Davrel$");
  ASSERT_TRUE(mSim.Connect(ports[0], mSim.InputPortName()));
  ASSERT_TRUE(mSim.WaitForConnections(0, 1, kWaitMs));
  IMidiMsg noteOn(0, 0x90, 0x40, 0x7F);
  EXPECT_TRUE(mPlug->SendMidiMsg(&noteOn));
  ASSERT_TRUE(mSim.WaitForReceived(1, kWaitMs));
  EXPECT_EQ(mSim.Received()[0].bytes, (Bytes{0x90, 0x40, 0x7F}));
  // A second one replaces the first, which is released rather than leaked.
  ASSERT_TRUE(mPlug->initializeVirtualOutput("Davrel 2"));
  EXPECT_TRUE(pollUntil([&] { return mSim.FindPorts("From Davrel$").empty(); }, kWaitMs));
}

// The controller selects under the plug-in's mutex while the input thread wants
// that mutex for every message: closing the port must not wait for it. The
// input is reselected 40 times, each time a few pieces further into the flood,
// so most reselections fall inside an all-data dump: whatever reaches the
// plug-in is still a message the synthesizer sent, whole.
TEST_F(MidiOverJack, ReselectingTheInputDuringAFloodDeliversOnlyWholeMessages)
{
  OpenPlug();
  Flood flood(mSim, true);
  ASSERT_TRUE(mPlug->WaitFor(1, kWaitMs));
  CaptureConsole();
  auto reselect = std::async(std::launch::async, [this] {
    const std::string in = mSim.OutputPortName(), out = mSim.InputPortName();
    for (int round = 0; round < 40; ++round)
    {
      // Bounded: the flood may have stalled, and then the test fails below.
      const long long from = mSim.BytesSent();
      const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (mSim.BytesSent() < from + 3000 + 1000 * (round % 5) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      WDL_MutexLock lock(&mPlug->mMutex);
      mPlug->ChooseIn("OFF");
      mPlug->ChooseIn(in);
      if (round % 4 == 0) mPlug->ChooseOut(out);
      // A drawing pass holds the mutex a while too.
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
    }
  });
  const bool finished = reselect.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  bool taken = false, arrived = false, offTaken = false;
  if (finished)
  {
    reselect.get();
    flood.Stop();
    mSim.WaitUntilSent(kWaitMs);
    // The port still works, once the last choice has been taken.
    taken = pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs);
    mSim.WaitForConnections(1, 1, kWaitMs);
    mSim.Send(MakeSimDump(297, 9));
    arrived = mPlug->WaitForSysEx(MakeSimDump(297, 9), kWaitMs);
    mPlug->ChooseIn("OFF");
    offTaken = pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs);
  }
  // The console back first, on every road: what is asserted says why it failed.
  const std::string log = CapturedConsole();
  ASSERT_TRUE(finished) << "reselection deadlocked";
  EXPECT_TRUE(taken) << "the last choice of the flood was not taken";
  EXPECT_TRUE(arrived) << "a dump sent after the flood did not arrive";
  EXPECT_TRUE(offTaken) << "the input's OFF was not taken";
  EXPECT_GT(flood.Rounds(), 0);

  const auto got = mPlug->Got();
  ASSERT_FALSE(got.empty());
  const Bytes program = Flood::Program(), allData = Flood::AllData();
  int dumps = 0, ccs = 0;
  for (size_t i = 0; i < got.size(); ++i)
  {
    const GotMidi& g = got[i];
    EXPECT_TRUE(g.fromDevice);
    if (g.sysex)
    {
      ASSERT_TRUE(g.bytes == program || g.bytes == allData || g.bytes == MakeSimDump(297, 9))
          << "message " << i << ": a dump of " << g.bytes.size() << " bytes that was never sent";
      ++dumps;
    }
    else
    {
      ASSERT_TRUE(flood.WasSent(g.bytes)) << "message " << i << ": " << (int)g.bytes[0] << " " << (int)g.bytes[1]
                                          << " " << (int)g.bytes[2] << " was never sent";
      ++ccs;
    }
  }
  EXPECT_GT(dumps, 0);
  EXPECT_GT(ccs, 0);
  EXPECT_TRUE(got.back().sysex && got.back().bytes == MakeSimDump(297, 9));
  // Every closing logs what it dropped; cutting dumps drops pieces. Choices the
  // port thread had not taken yet leave one opening: fewer closings than choices.
  int closes = 0;
  EXPECT_GT(DroppedPiecesLogged(log, &closes), 0);
  EXPECT_GT(closes, 1);
  EXPECT_LE(closes, 41);
}

// Teardown stops the input first: a message arriving meanwhile never reaches a
// plug-in whose objects are gone (AddressSanitizer watches).
TEST_F(MidiOverJack, TeardownDuringAFloodIsSafe)
{
  Flood flood(mSim);
  for (int round = 0; round < 5; ++round)
  {
    OpenPlug();
    ASSERT_TRUE(mPlug->WaitFor(10, kWaitMs));
    mPlug.reset();
    ASSERT_TRUE(mSim.WaitForConnections(0, 0, kWaitMs));
  }
}

// The input closes while the synthesizer is 9 KB into a 37,392-byte dump sent
// in 1 KB pieces, one a period, and opens again while the dump goes on or after
// it ended. Nothing received before the close may be joined with anything after
// it: only the control change and the program dump sent after it arrive.
TEST_F(MidiOverJack, InputReopenedInsideADumpDeliversNothingOfIt)
{
  OpenPlug();
  const Bytes allData = MakeSimDump(37392, 5), program = MakeSimDump(297, 6), cc = {0xB0, 0x07, 0x63};
  const int kPiece = 1024, kBefore = 9 * kPiece;
  const SimPacing pieces = SimPacing::Pieces(kPiece);
  const std::string port = mSim.OutputPortName();
  struct Case { const char* name; int piecesWhileClosed; };
  for (const Case c : {Case{"reopened while the dump goes on", 6}, Case{"reopened after the dump ended", 28}})
  {
    SCOPED_TRACE(c.name);
    mPlug->Clear();
    const size_t closedEnd = std::min(allData.size(), (size_t)(kBefore + c.piecesWhileClosed * kPiece));
    CaptureConsole();
    ASSERT_TRUE(mSim.Send(Slice(allData, 0, kBefore), pieces));
    ASSERT_TRUE(mSim.WaitUntilSent(kWaitMs));
    EXPECT_EQ(mPlug->ChooseIn("OFF"), 0);
    ASSERT_TRUE(mSim.WaitForConnections(0, 1, kWaitMs));
    ASSERT_TRUE(mSim.Send(Slice(allData, kBefore, closedEnd), pieces));
    ASSERT_TRUE(mSim.WaitUntilSent(kWaitMs));
    EXPECT_EQ(mPlug->ChooseIn(port), 1);
    ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
    if (closedEnd < allData.size()) { ASSERT_TRUE(mSim.Send(Slice(allData, closedEnd, allData.size()), pieces)); }
    ASSERT_TRUE(mSim.Send(cc));
    ASSERT_TRUE(mSim.Send(program));
    ASSERT_TRUE(mSim.WaitUntilSent(kWaitMs));
    const bool arrived = mPlug->WaitForSysEx(program, kWaitMs);
    const std::string log = CapturedConsole();
    ASSERT_TRUE(arrived);

    const auto got = mPlug->Got();
    ASSERT_EQ(got.size(), 2u) << (got.empty() ? 0 : got[0].bytes.size()) << " bytes first";
    EXPECT_FALSE(got[0].sysex);
    EXPECT_EQ(got[0].bytes, cc);
    EXPECT_TRUE(got[1].sysex);
    EXPECT_TRUE(got[1].bytes == program);
    int closes = 0;
    DroppedPiecesLogged(log, &closes);
    EXPECT_EQ(closes, 1);
    // What arrives of the dump after the reopening is dropped and logged with its
    // size (not compared: JACK may garble the first period of a new connection).
    if (closedEnd < allData.size()) { EXPECT_NE(log.find(" data bytes without a status byte"), std::string::npos); }
  }
}

// The process keeps one JACK client a direction, whatever its instances do: four
// opened and closed beside a host that is a JACK client with a busy callback, and
// a burst of 30 choices 10 ms apart (a host automating the port), open no client
// and close none while the server runs; no close waits for the server.
TEST_F(MidiOverJack, ABurstOfChoicesAndInstancesOpensAndClosesNoClient)
{
  std::string error;
  ASSERT_TRUE(mSimB.Open(&error)) << error;
  BusyJackClient host(true);
  OpenPlug();
  const int opened = JackMidiOwner::ClientsOpened();
  for (int i = 0; i < 4; ++i)
  {
    std::unique_ptr<TestPlug> other(new TestPlug);
    ChooseBoth(*other, mSimB);
    ASSERT_TRUE(mSimB.WaitForConnections(1, 1, kWaitMs));
    ASSERT_EQ(mSim.FindPorts(":RtMidi Output 2$").size(), 1u);
    const auto start = std::chrono::steady_clock::now();
    other.reset();
    // Loose: the figure is the benchmark's (CloseInstances).
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000)) << i;
    // Its ports leave the server with it: no patchbay keeps a gone instance's.
    EXPECT_TRUE(pollUntil([&] { return mSim.FindPorts(":RtMidi (Out|In)put 2$").empty(); }, kWaitMs)) << i;
  }
  // 70 one after another, more than the owner's table holds: each one's place is freed.
  for (int i = 0; i < 70; ++i)
  {
    auto other = std::make_unique<TestPlug>();
    other->ChooseOut(mSimB.InputPortName());
    ASSERT_TRUE(mSimB.WaitForConnections(0, 1, kWaitMs)) << i;
    other.reset();
    ASSERT_TRUE(mSimB.WaitForConnections(0, 0, kWaitMs)) << i;
  }
  ASSERT_TRUE(mSimB.WaitForConnections(0, 0, kWaitMs));
  for (int choice = 0; choice < 30; ++choice)
  {
    mPlug->ChooseIn((choice % 2 ? mSim : mSimB).OutputPortName());
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(pollUntil([&] { return !mPlug->MidiPortChoiceUnderWay(); }, kWaitMs));
  EXPECT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
  EXPECT_TRUE(mSimB.WaitForConnections(0, 0, kWaitMs));
  EXPECT_EQ(JackMidiOwner::ClientsOpened(), opened);
  EXPECT_EQ(JackMidiOwner::ClientsClosed(), 0);
}

// The JACK bridge killed, or stopped (SIGSTOP) as a process stuck for good is: the
// host's calls meanwhile (a choice, sends, a second instance's close) return, the
// log says it once, and a fresh bridge serves the ports again, both ways.
TEST_F(MidiOverJack, ABridgeKilledOrStuckCostsOneLineAndAFreshBridge)
{
  ASSERT_NO_FATAL_FAILURE(RestartAsynchronous());
  // -SIGKILL: killed under a host that ignores SIGCHLD (its children's ends are
  // dropped unread), still said as an end from outside.
  for (const int signal : {SIGKILL, SIGSTOP, -SIGKILL})
  {
    SCOPED_TRACE(signal == SIGKILL ? "killed" : signal == SIGSTOP ? "stopped" : "killed, SIGCHLD ignored");
    struct sigaction ignore = {}, was = {};
    ignore.sa_handler = SIG_IGN;
    if (signal < 0) sigaction(SIGCHLD, &ignore, &was);
    const AtEnd back{[&] { if (signal < 0) sigaction(SIGCHLD, &was, nullptr); }};
    OpenPlug();
    std::unique_ptr<TestPlug> second(new TestPlug);
    second->ChooseOut(mSim.InputPortName());
    ASSERT_TRUE(mSim.WaitForConnections(1, 2, kWaitMs));
    const int bridge = JackMidiOwner::BridgePid();
    ASSERT_GT(bridge, 0);
    CaptureConsole();
    const auto killed = std::chrono::steady_clock::now();
    kill(bridge, std::abs(signal));
    auto host = std::async(std::launch::async, [&] {
      mPlug->ChooseIn("OFF");
      for (int i = 0; i < 100; ++i) mPlug->SendCc(0x10, 0x01);
      second.reset();
    });
    EXPECT_EQ(host.wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready) << "a host call waited for the bridge";
    host.wait();
    ASSERT_TRUE(pollUntil([&] { return JackMidiOwner::BridgePid() > 0 && JackMidiOwner::BridgePid() != bridge; }, kWaitMs));
    // A stopped bridge answers no ping for 3 s: replaced well before three times that.
    if (signal == SIGSTOP) { EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count(), 10.0); }
    mPlug->ChooseIn(mSim.OutputPortName());
    ASSERT_TRUE(mSim.WaitForConnections(1, 1, kWaitMs));
    ASSERT_TRUE(pollUntil([&] { return !mPlug->MidiOutPortMissing() && !mPlug->MidiInPortMissing(); }, kWaitMs));
    // The server runs asynchronously: a message read by a client late in its period
    // is lost by the server, with an xrun said. Sent again then.
    const auto arrives = [&](const std::function<void()>& send, const std::function<bool()>& arrived) {
      for (int tries = 0; tries < 3; ++tries)
      {
        const unsigned long long xruns = mSim.Xruns() + mPlug->MidiSharedMemory()->xruns.load();
        if (send(), arrived()) return true;
        if (mSim.Xruns() + mPlug->MidiSharedMemory()->xruns.load() == xruns) return false;
      }
      return false;
    };
    mSim.ClearReceived();
    mPlug->Clear();
    EXPECT_TRUE(arrives([&] { EXPECT_TRUE(mPlug->SendCc(0x11, 0x02)); }, [&] { return mSim.WaitForReceived(1, kWaitMs); }));
    EXPECT_TRUE(arrives([&] { mSim.Send({0xB0, 0x12, 0x03}); }, [&] { return mPlug->WaitFor(1, kWaitMs); }));
    ASSERT_TRUE(JackMidiOwner::AskWithin([](unsigned) {}, std::chrono::milliseconds(kWaitMs)));
    const std::string log = CapturedConsole();
    const std::string said = "MIDI: the JACK bridge (pid " + std::to_string(bridge) + ")";
    const char* how = signal == SIGKILL ? " was ended by signal 9" : signal == SIGSTOP ? " did not answer" : " was ended by a signal";
    EXPECT_NE(log.find(said + how), std::string::npos) << log;
    EXPECT_EQ(log.find(said), log.rfind(said)) << log;
    EXPECT_NE(log.find("MIDI: the JACK bridge has gone while the server runs"), std::string::npos) << log;
    EXPECT_EQ(log.find("the JACK server has gone"), std::string::npos) << log;
    mPlug.reset();
  }
}

// A bridge of another build in the bundle is one line naming both versions, and is
// not used; the plug-in's own serves once it is there again.
TEST_F(MidiOverJack, ABridgeOfAnotherBuildIsOneLineNamingBothVersions)
{
  CaptureConsole();
  setenv("DAVREL_JACK_BRIDGE", DAVREL_OTHER_BRIDGE, 1);
  mPlug.reset(new TestPlug);  // takes the environment
  unsetenv("DAVREL_JACK_BRIDGE");
  ASSERT_TRUE(mPlug->WaitForLists());
  TestPlug second;  // the plug-in's own bridge again
  second.ChooseOut(mSim.InputPortName());
  EXPECT_TRUE(mSim.WaitForConnections(0, 1, kWaitMs));
  const std::string log = CapturedConsole(), said = "MIDI: the JACK bridge " DAVREL_OTHER_BRIDGE " is of another build (it says version 999, "
      "the plug-in is version " + std::to_string(jackbridge::kVersion) + "): no JACK ports\n";
  EXPECT_NE(log.find(said), std::string::npos) << log;
  EXPECT_EQ(log.find("another build"), log.rfind("another build")) << log;
}

// A bridge stuck for good with notes under way: what it had not taken of the
// instance's sends goes out, in order, once a fresh bridge serves the port, so no
// note whose start went out keeps sounding and nothing sent is cut. One stopped
// inside its callback leaves the queue held, a message half taken and two in the
// period's buffer (planted): the fresh bridge lets go of both, and those three
// alone are lost, said once; nothing is said of one stopped between periods.
TEST_F(MidiOverJack, WhatAStuckBridgeDidNotTakeGoesOutThroughAFreshOne)
{
  ASSERT_NO_FATAL_FAILURE(RestartAsynchronous());
  for (const bool inside : {false, true})
  {
    SCOPED_TRACE(inside ? "stopped inside its callback" : "stopped between periods");
    OpenPlug();
    mSim.ClearReceived();
    IMidiMsg on1(0, 0x90, 0x40, 0x7F), on2(0, 0x91, 0x41, 0x7F), off1(0, 0x80, 0x40, 0), off2(0, 0x91, 0x41, 0);
    IMidiMsg cc(0, 0xB0, 0x10, 0x01);
    for (IMidiMsg* msg : {&on1, &on2}) mPlug->SendMidiMsg(msg);
    ASSERT_TRUE(mSim.WaitForReceived(2, kWaitMs));
    const int bridge = JackMidiOwner::BridgePid();
    int status = 0;
    kill(bridge, SIGSTOP);
    ASSERT_EQ(waitpid(bridge, &status, WUNTRACED), bridge);  // every thread of it stopped
    CaptureConsole();
    if (inside)
    {
      jackbridge::SlotMemory* m = mPlug->MidiSharedMemory();
      mPlug->SendMidiMsg(&cc);
      const uint64_t read = m->send.read.load();
      ASSERT_EQ(m->send.reserved.load(), read + 8);
      m->sendOwner.store(jackbridge::kBridgeTakes);
      m->periodTaken.store(2);
      m->send.reading.store(read + 8);
      WriteAsAnotherProcess(jackbridge::SendBytes(m) + read % jackbridge::kSendBytes, Bytes(8, 0).data(), 8);
    }
    for (IMidiMsg* msg : {&off1, &cc, &off2, &cc}) mPlug->SendMidiMsg(msg);
    ASSERT_TRUE(mSim.WaitForReceived(6, kWaitMs));  // through a fresh bridge
    const Bytes ccBytes{0xB0, 0x10, 0x01};
    const std::vector<Bytes> after{{0x80, 0x40, 0x00}, ccBytes, {0x91, 0x41, 0x00}, ccBytes};
    const auto got = mSim.Received();
    ASSERT_EQ(got.size(), 6u);
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(got[i + 2].bytes, after[i]) << i;
    mPlug.reset();
    const std::string log = CapturedConsole(), lost = " messages lost with the JACK bridge that ended inside a period";
    EXPECT_EQ(log.find(inside ? "MIDI OUT: 3" + lost : lost) != std::string::npos, inside) << log;
    EXPECT_EQ(log.find(lost), log.rfind(lost)) << log;
  }
}

// A send wakes whoever takes it, well inside the bound of the fallback that would
// find one that woke no one: from any thread and from one the plug-in knows as the
// host's render (which makes no system call; a later thread may take its id, so it
// comes last), inside the port thread's look (100 ms), each sent when the layer is
// idle (no send for 70 ms or more); the first after a choice of the output once the
// server's graph holds the connection, well inside a second (the bridge's worker
// reads the connection in the graph). 12 of 15 within 30 ms, or every one within a
// second, tells them apart even on a loaded machine.
TEST_F(MidiOverJack, ASendArrivesWellInsideTheFallbacksBound)
{
  std::string error;
  ASSERT_TRUE(mSimB.Open(&error)) << error;
  OpenPlug();
  enum Kind { kRender, kOther, kAfterAChoice };
  const struct { Kind kind; int sends, withinMs, soon; } rows[] = {{kOther, 15, 30, 12}, {kAfterAChoice, 4, 1000, 4}, {kRender, 15, 30, 12}};  // marked last: by its id
  for (const auto& r : rows)
  {
    SCOPED_TRACE(r.kind == kRender ? "render thread" : r.kind == kOther ? "another thread" : "after a choice");
    int soon = 0;
    std::thread sender([&] {
      if (r.kind == kRender) mPlug->MarkMidiRenderThread();
      for (int i = 0; i < r.sends; ++i)
      {
        SynthSim& to = r.kind == kAfterAChoice && i % 2 == 0 ? mSimB : mSim;
        to.ClearReceived();
        if (r.kind != kAfterAChoice) std::this_thread::sleep_for(std::chrono::milliseconds(70 + 37 * i % 61));
        const auto t0 = std::chrono::steady_clock::now();
        if (r.kind == kAfterAChoice) mPlug->ChooseOut(to.InputPortName());
        ASSERT_TRUE(mPlug->SendCc(0x21, (unsigned char)i));
        ASSERT_TRUE(to.WaitForReceived(1, kWaitMs)) << i;
        if (std::chrono::steady_clock::now() - t0 < std::chrono::milliseconds(r.withinMs)) ++soon;
      }
    });
    sender.join();
    EXPECT_GE(soon, r.soon);
  }
}

// Another process writes over the instance's shared rings (as any process of the
// user can through /proc): a length word of the send queue (0x01010101, 0x80000000) or
// of the input (0, 0x01010101, 0x80000000, one past the ring) that cannot be, or
// the input's write position a ring ahead. Each ring is cleared with nothing read
// past it (AddressSanitizer) and nothing looping on it (the server runs its cycles),
// counted and said (the input once, the output at each clearing by the bridge), and
// messages go on both ways.
TEST_F(MidiOverJack, ABrokenSharedRingIsClearedCountedAndSaid)
{
  OpenPlug();
  jackbridge::SlotMemory* m = mPlug->MidiSharedMemory();
  ASSERT_NE(m, nullptr);
  KeptLines kept;
  mPlug->SetMidiPortLog(kept.Sink());
  const auto saidOut = [&] {
    const auto lines = kept.Lines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("sends' shared ring") != std::string::npos; });
  };
  CaptureConsole();
  const uint32_t kIn = jackbridge::kInBytes, kOut = jackbridge::kSendBytes;
  const struct { bool out; uint32_t word; uint64_t ahead; /* the write position moved on by */ } rows[] = {{true, 0x01010101, 4096}, {true, 0x80000000, 8},  {false, 0, 12},           {false, 0x01010101, 12},
              {false, 0x80000000, 12},  {false, kIn + 1, 12},   {false, 5, 3ull * kIn}};
  for (size_t row = 0; row < sizeof rows / sizeof rows[0]; ++row)
  {
    const auto& r = rows[row];
    SCOPED_TRACE(row);
    // Everything sent is taken: nothing is queued meanwhile.
    ASSERT_TRUE(pollUntil([&] { return m->send.reserved.load() == m->send.read.load(); }, kWaitMs));
    std::atomic<uint64_t>& write = r.out ? m->send.reserved : m->in.write;
    const std::atomic<uint64_t>& read = r.out ? m->send.read : m->in.read;
    unsigned char* bytes = r.out ? jackbridge::SendBytes(m) : jackbridge::InBytes(m);
    const uint64_t at = write.load();
    const unsigned char word[4] = {(unsigned char)r.word, (unsigned char)(r.word >> 8), (unsigned char)(r.word >> 16),
                                   (unsigned char)(r.word >> 24)};
    for (int i = 0; i < 4; ++i) WriteAsAnotherProcess(bytes + (at + i) % (r.out ? kOut : kIn), word + i, 1);
    write.store(at + r.ahead);
    jackbridge::Wake(m->inWord, m->inSleeping);
    EXPECT_TRUE(pollUntil([&] { return read.load() == write.load(); }, kWaitMs));
    // Each break said before the next is made: the port thread may be late to look.
    if (r.out) { EXPECT_TRUE(pollUntil([&] { return saidOut() == (long)row + 1; }, kWaitMs)); }
    mSim.ClearReceived();
    ASSERT_TRUE(mPlug->SendCc(0x24, (unsigned char)row));
    EXPECT_TRUE(mSim.WaitForReceived(1, kWaitMs));
    mSim.Send({0xB0, 0x20, (unsigned char)row});
    EXPECT_TRUE(mPlug->WaitFor(row + 1, kWaitMs));
  }
  const std::string log = CapturedConsole(), in = "MIDI IN: the JACK bridge's input ring was found broken",
                    out = "MIDI OUT: the JACK bridge found the sends' shared ring written over";
  EXPECT_NE(log.find(in), std::string::npos) << log;
  EXPECT_EQ(log.find(in), log.rfind(in)) << log;
  EXPECT_EQ(m->outBroken.load(), 2u);
  const size_t first = log.find(out);
  EXPECT_TRUE(first != std::string::npos && log.find(out, first + 1) != std::string::npos &&
              log.find(out, first + 1) == log.rfind(out)) << log;
}

// A question whose asker gave up before it ran (an instance closing while the owner
// was busy with another's) never runs: its port is not joined behind its back.
TEST_F(MidiOverJack, AQuestionGivenUpBeforeItRanNeverRuns)
{
  mPlug.reset(new TestPlug);
  ASSERT_TRUE(mPlug->WaitForLists());
  std::promise<void> busy;
  std::shared_future<void> done = busy.get_future().share();
  JackMidiOwner::Post([done](unsigned) { done.wait_for(std::chrono::milliseconds(kWaitMs)); });
  auto slot = std::make_shared<JackMidiSlot>(JackMidiOwner::TakeEnvironment());
  const std::string peer = mSim.InputPortName();
  EXPECT_FALSE(JackMidiOwner::AskWithin([slot, peer](unsigned) { JackMidiOwner::Connect(slot, false, peer); },
                                        std::chrono::milliseconds(100)));
  busy.set_value();
  ASSERT_TRUE(JackMidiOwner::AskWithin([](unsigned) {}, std::chrono::milliseconds(kWaitMs)));
  EXPECT_TRUE(mSim.WaitForConnections(0, 0, 0));
  JackMidiOwner::Release(slot);
}

namespace {

// Reads one byte from fd within ms: 0 when none came.
char ReadByte(int fd, int ms)
{
  pollfd p = {fd, POLLIN, 0};
  char c = 0;
  if (poll(&p, 1, ms) == 1 && read(fd, &c, 1) == 1) return c;
  return 0;
}

// A program with its standard input written at to and its descriptor out (3, or 1:
// its standard output) read at from; killed at the end unless it has ended.
struct Program
{
  Program(std::vector<std::string> args, const std::vector<std::string>& env, int out)
  {
    int in[2], back[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(back, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, back[1], out);
    std::vector<char*> envp, argv;
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    for (char** e = environ; *e; ++e) envp.push_back(*e);
    envp.push_back(nullptr);
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(back[1]);
    to = in[1];
    from = back[0];
  }
  ~Program()
  {
    End();
    close(to);
    close(from);
  }
  // Whether it ended by itself within ms, with status 0.
  bool Ends(int ms)
  {
    ended = pollUntil([this] { return waitpid(pid, &status, WNOHANG) == pid; }, ms);
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  void End()
  {
    if (pid > 0 && !ended) kill(pid, SIGKILL), waitpid(pid, &status, 0);
    ended = true;
  }
  pid_t pid = -1;
  int to = -1, from = -1, status = -1;
  bool ended = false;
};

// This program as a host process running the host test named, which chooses the
// synthesizer's ports (DAVREL_TEST_HOST_OUT for its output, DAVREL_TEST_HOST_IN for
// its input), its fd 3 read at from.
struct HostProcess : Program
{
  HostProcess(const char* test, SynthSim& sim)
    : Program({"/proc/self/exe", std::string("--gtest_filter=") + test},
              {"DAVREL_TEST_HOST_OUT=" + sim.InputPortName(), "DAVREL_TEST_HOST_IN=" + sim.OutputPortName()}, 3)
  {
    sim.ClearReceived();
  }
};

// A number the host said on fd: -1 when none came within ms.
long ReadNumber(int fd, int ms)
{
  std::string line;
  for (char c; (c = ReadByte(fd, ms)) != 0 && c != '\n';) line += c;
  return line.empty() ? -1 : atol(line.c_str());
}

} // namespace

// The host process of the test below, when it runs this program as one: a host that
// is a JACK client itself (its client busy half of each period), with an instance
// whose ports are chosen. Told the server has restarted, it closes its own client
// (stale, as JACK's documentation asks) and opens another; then it sends 100 control
// changes as soon as its ports are back while it opens and closes a second client of
// its own, and quits, its own client closed.
TEST(AHostProcess, WithItsOwnJackClient)
{
  const char* in = getenv("DAVREL_TEST_HOST_IN");
  const char* out = getenv("DAVREL_TEST_HOST_OUT");
  if (!in || !out) GTEST_SKIP() << "run by MidiOverJack.AHostWithAJackClientOfItsOwnRestartsAndQuits";
  std::unique_ptr<BusyJackClient> own(new BusyJackClient(true));
  {
    TestPlug plug;
    ChooseBoth(plug, out, in);
    ASSERT_TRUE(pollUntil([&] { return PortsOpen(plug); }, kWaitMs));
    ASSERT_EQ(write(3, "r", 1), 1);
    const char go = ReadByte(0, 60000);
    ASSERT_NE(go, 0);
    if (go == 'R')
    {
      // Its own client, stale, closed before any other opening of its own (an
      // opening cleans every stale client of the process up, JACK's library's way).
      own.reset();
      own.reset(new BusyJackClient(true));
      ASSERT_TRUE(pollUntil([&] { return JackMidiOwner::Epoch() > 1 && PortsOpen(plug); }, 2 * kWaitMs));
    }
    for (int n = 0; n < 100; ++n)
    {
      ASSERT_TRUE(plug.SendCc(0x21, (unsigned char)n));
      if (n % 20 == 0) BusyJackClient second(true);
    }
    ASSERT_EQ(write(3, "s", 1), 1);
    ASSERT_EQ(ReadByte(0, 60000), 'q');
  }
  own.reset();
  BusyJackClient again(true);
}

// A host that is a JACK client itself (as every JACK host is), through a server
// restart or none, then its own quit with its own client closed: its instance's
// ports come back and what it sends right then arrives, and the host ends well.
TEST_F(MidiOverJack, AHostWithAJackClientOfItsOwnRestartsAndQuits)
{
  for (const bool restart : {false, true})
  {
    SCOPED_TRACE(restart ? "restarted" : "not restarted");
    HostProcess host("AHostProcess.WithItsOwnJackClient", mSim);
    ASSERT_GT(host.pid, 0);
    const bool ready = ReadByte(host.from, 2 * kWaitMs) == 'r';
    EXPECT_TRUE(ready);
    std::string error;
    if (ready && restart)
    {
      mSim.Close();
      mServer.Stop();
      ASSERT_TRUE(mServer.Start(&error)) << error;
      ASSERT_TRUE(mSim.Open(&error)) << error;
    }
    EXPECT_EQ(write(host.to, restart ? "R" : "g", 1), 1);
    EXPECT_EQ(ReadByte(host.from, 3 * kWaitMs), 's');
    EXPECT_TRUE(mSim.WaitForReceived(100, kWaitMs)) << mSim.ReceivedCount();
    const auto got = mSim.Received();
    for (size_t n = 0; n < got.size() && n < 100; ++n)
      EXPECT_EQ(got[n].bytes, (Bytes{0xB0, 0x21, (unsigned char)n})) << n;
    EXPECT_EQ(write(host.to, "q", 1), 1);
    EXPECT_TRUE(host.Ends(3 * kWaitMs)) << "the host's quit hung or failed: status " << host.status;
  }
}


// The host process of the table below: its ports chosen, a listening socket at
// descriptor 1500 without close-on-exec; says its bridge's pid, forks children that
// end by exit, _exit, a failed exec's exit and an exec, asks the port list and
// sends 20 control changes (says 0), and forks one that lives on (says its pid).
TEST(AHostProcess, ThatForksAndHoldsADescriptor)
{
  const char* in = getenv("DAVREL_TEST_HOST_IN");
  if (!in) GTEST_SKIP() << "run by MidiOverJack.AHostThatForks...";
  rlimit lim;
  getrlimit(RLIMIT_NOFILE, &lim);
  lim.rlim_cur = std::max<rlim_t>(lim.rlim_cur, std::min<rlim_t>(lim.rlim_max, 4096));
  setrlimit(RLIMIT_NOFILE, &lim);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_TRUE(bind(listener, (sockaddr*)&at, sizeof at) == 0 && listen(listener, 1) == 0);
  ASSERT_EQ(dup2(listener, 1500), 1500);
  TestPlug plug;
  ChooseBoth(plug, getenv("DAVREL_TEST_HOST_OUT"), in);
  ASSERT_TRUE(pollUntil([&] { return PortsOpen(plug); }, kWaitMs));
  const std::string said[] = {std::to_string(JackMidiOwner::BridgePid()) + "\n", "0\n", ""};
  ASSERT_EQ(write(3, said[0].data(), said[0].size()), (ssize_t)said[0].size());
  for (const int kind : {0, 1, 2, 3})
    if (const pid_t child = fork())
      waitpid(child, nullptr, 0);
    else if (kind < 2)
      kind ? _exit(0) : exit(0);
    else
      execl(kind == 3 ? "/bin/true" : "/nonexistent", "true", (char*)nullptr), exit(127);
  auto names = std::make_shared<Names>();
  EXPECT_TRUE(JackMidiOwner::AskWithin([names](unsigned) { *names = JackMidiOwner::Ports(true); }, std::chrono::milliseconds(kWaitMs)));
  EXPECT_TRUE(Lists(*names, in));
  for (int n = 0; n < 20; ++n) EXPECT_TRUE(plug.SendCc(0x22, (unsigned char)n));
  ASSERT_EQ(write(3, said[1].data(), 2), 2);
  const pid_t child = fork();
  if (child == 0) sleep(120), _exit(0);
  const std::string lives = std::to_string(child) + "\n";
  ASSERT_EQ(write(3, lives.data(), lives.size()), (ssize_t)lives.size());
  // Told to quit: 20 more sent right before the instance closes and the process ends.
  const bool quit = ReadByte(0, 3 * kWaitMs) == 'q';
  for (int n = 0; quit && n < 20; ++n) EXPECT_TRUE(plug.SendCc(0x23, (unsigned char)n));
}

// A host that forks children and holds a descriptor above 1024 without
// close-on-exec: its ports keep working after each child's end, its bridge holds
// none of its descriptors and goes with its process (killed, or quitting right after
// its last sends, a child living on); with the server stopped as the host ends, it
// waits to close its clients, and what the host sent last arrives once the server
// runs again, long after the host's end.
TEST_F(MidiOverJack, AHostThatForksKeepsItsPortsAndItsBridgeEndsWithIt)
{
  const struct
  {
    const char* what;
    bool beside;  // another host's bridge, whose clients have the names its own asks for (the server gives it others)
    bool serverStopped, quits;  // the server stopped as the host ends; the host quits right after its last sends
  } rows[] = {{"killed, beside another bridge", true, false, false}, {"killed, server stopped", false, true, false},
              {"quits after its sends, server stopped", false, true, true}};
  for (const auto& r : rows)
  {
    SCOPED_TRACE(r.what);
    if (r.beside) { ASSERT_NO_FATAL_FAILURE(OpenPlug()); }
    HostProcess host("AHostProcess.ThatForksAndHoldsADescriptor", mSim);
    ASSERT_GT(host.pid, 0);
    const pid_t bridge = (pid_t)ReadNumber(host.from, 2 * kWaitMs);
    ASSERT_GT(bridge, 0);
    const auto link = [](pid_t pid, int fd) {  // what the descriptor is ("" for none)
      char to[256];
      const ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd)).c_str(), to, sizeof to);
      return std::string(to, n > 0 ? n : 0);
    };
    const std::string held = link(host.pid, 1500);
    ASSERT_FALSE(held.empty());
    for (int fd = 0; fd < 4096; ++fd) EXPECT_NE(link(bridge, fd), held) << "the bridge holds the host's descriptor, at " << fd;
    EXPECT_EQ(ReadNumber(host.from, 3 * kWaitMs), 0);
    EXPECT_TRUE(mSim.WaitForReceived(20, kWaitMs)) << mSim.ReceivedCount();
    const pid_t child = (pid_t)ReadNumber(host.from, 3 * kWaitMs);
    if (r.serverStopped) kill(mServer.Pid(), SIGSTOP);
    if (r.quits) { EXPECT_TRUE(write(host.to, "q", 1) == 1 && host.Ends(kWaitMs)) << "the host's quit hung: " << host.status; }
    host.End();
    const auto gone = [bridge] {  // no process, or a zombie
      std::string stat;
      std::getline(std::ifstream("/proc/" + std::to_string(bridge) + "/stat"), stat);
      return stat.empty() || stat[stat.rfind(')') + 2] == 'Z';
    };
    if (r.serverStopped)
    {
      EXPECT_FALSE(pollUntil(gone, 3000)) << "the bridge left its clients";
      kill(mServer.Pid(), SIGCONT);
    }
    if (r.quits)
    {
      EXPECT_TRUE(mSim.WaitForReceived(40, kWaitMs)) << mSim.ReceivedCount();
      const auto got = mSim.Received();
      for (size_t n = 20; n < got.size(); ++n) EXPECT_EQ(got[n].bytes, (Bytes{0xB0, 0x23, (unsigned char)(n - 20)})) << n;
    }
    EXPECT_TRUE(pollUntil(gone, kWaitMs)) << "the bridge outlived its host";
    if (child > 0) kill(child, SIGKILL);
  }
}

// A host that moves JACK_DEFAULT_SERVER between two instances: the second lists and
// uses the other server's ports through a bridge of its own, the first stays on the
// server its environment named, and a server's end takes only its own instances'
// ports. The second server's synthesizer is a program of its own, which echoes.
TEST_F(MidiOverJack, EachInstanceWorksOnTheServerItsEnvironmentNamedAsItWasMade)
{
  OpenPlug();
  const int bridges = JackMidiOwner::BridgesStarted();
  const AtEnd back{[name = mServer.Name()] {  // the test bed's server again, however the row ends
    setenv("DAVREL_JACK_SERVER", name.c_str(), 1);
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  }};
  JackTestServer other;
  other.SetName(JackTestServer::SecondName());
  other.SetListenOnly(true);
  std::string error;
  ASSERT_TRUE(other.Start(&error)) << error;  // JACK_DEFAULT_SERVER names it now
  // Our clients there take its name too (JACK names their sockets after them alone).
  setenv("DAVREL_JACK_SERVER", other.Name().c_str(), 1);
  std::unique_ptr<Program> sim;
  for (int tries = 0; tries < 20; ++tries)
  {
    sim.reset(new Program({DAVREL_SYNTH_SIM, "--name", "RuduC", "--echo"}, {}, 1));
    if (ReadByte(sim->from, kWaitMs) == 'r') break;  // "ready ...": its ports exist
    sim->Ends(kWaitMs);
  }
  const std::string port = JackClientName("RuduC") + ":MIDI ";
  TestPlug second;
  ASSERT_TRUE(second.WaitForLists());
  EXPECT_EQ(second.getExternalMIDIOutNames(), (Names{"OFF", port + "In"}));
  EXPECT_EQ(JackMidiOwner::BridgesStarted(), bridges + 1);
  EXPECT_EQ(ChooseBoth(second, port + "In", port + "Out"), 2);
  // A message each instance sends comes back from its own server's synthesizer.
  const auto echoed = [](TestPlug& plug, unsigned char value) {
    plug.Clear();
    EXPECT_TRUE(pollUntil([&] { return !plug.MidiPortChoiceUnderWay(); }, kWaitMs));
    EXPECT_TRUE(plug.SendCc(0x4A, value));
    EXPECT_TRUE(plug.WaitFor(1, kWaitMs));
    return plug.Got().size() == 1 && plug.Got()[0].bytes == (Bytes{0xB0, 0x4A, value});
  };
  mSim.SetEcho(true);
  EXPECT_TRUE(echoed(second, 2));
  EXPECT_TRUE(echoed(*mPlug, 1));
  // The second server ends: only the second instance's ports go.
  if (write(sim->to, "quit\n", 5) == 5) sim->Ends(kWaitMs);
  other.Stop();
  EXPECT_TRUE(pollUntil([&] { return second.MidiOutPortMissing() && second.MidiInPortMissing(); }, kWaitMs));
  EXPECT_FALSE(mPlug->MidiOutPortMissing() || mPlug->MidiInPortMissing());
  EXPECT_TRUE(echoed(*mPlug, 3));
}
