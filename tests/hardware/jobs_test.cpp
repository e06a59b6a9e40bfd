// The worker jobs against the simulated synthesizer in-process, on the scaled clock.
#include "PollUntil.h"
#include "SimWire.h"

#include "hardware/SysexPacking.h"
#include "librarian/PatchLibrarian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace
{
typedef std::chrono::steady_clock Clock;
long long msSince(Clock::time_point t)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

class Jobs : public testing::Test
{
protected:
  void SetUp() override { Build(0.05); }
  void TearDown() override
  {
    Teardown();
    SWELL_SetTimeScale(1.0);
    // Every job and answer of the case changed the editor under its lock.
    EXPECT_EQ(host.unlockedChanges.load(), 0);
  }
  // The editor's order: input first, then the jobs, then the rest.
  void Teardown()
  {
    if (wire) wire->StopInput();
    manager.reset();
    wire.reset();
  }
  void Build(double scale)
  {
    SWELL_SetTimeScale(scale);
    wire.reset(new SimWire(host, model));
    manager.reset(new MIDIMessageManager(&host, nullptr, &librarian, nullptr));
    host.manager = manager.get();
    librarian.patchFiles.push_back(new PatchFile);
    librarian.patchFiles.back()->patches.resize(128);
    librarian.upperFileIndex.store(0);
  }
  // Starts a job from "the main thread" and checks the start never holds it up.
  bool Start(SenderJob job)
  {
    const Clock::time_point t = Clock::now();
    const bool started = manager->startJob(job);
    EXPECT_LT(msSince(t), 50) << "start of command " << job.command;
    return started;
  }
  bool Finish(int boundMs = 20000) { return manager->waitIdle(kTransferThread, (int)(boundMs / SWELL_GetTimeScale())); }
  Bytes Stored(int part)
  {
    Bytes b;
    for (int i = 0; i < 297; ++i) b.push_back((uint8_t)host.getProgramValueByParts(part, 0, i));
    return b;
  }
  // The stored bytes of both timbres against a dump: timbre 1 up to raw 171, timbre 2 after.
  void ExpectStoredProgram(const Bytes& dump, const char* what)
  {
    const Bytes p0 = Stored(0), p1 = Stored(1);
    for (int i = 5; i < 296; ++i)
      ASSERT_EQ(i < 172 ? p0[(size_t)i] : p1[(size_t)i], dump[(size_t)i]) << what << " raw " << i;
  }
  // The program or global requests sent so far, by their channel bytes.
  std::vector<uint8_t> Requests(uint8_t function)
  {
    std::vector<uint8_t> channels;
    for (const Bytes& m : host.Sent())
      if (m.size() == 6 && m[0] == 0xF0 && m[1] == 0x42 && m[3] == 0x58 && m[4] == function) channels.push_back(m[2]);
    return channels;
  }
  void FillUpperBank(int seedBase)
  {
    for (int p = 0; p < 128; ++p)
    {
      LibrarianPatch& slot = librarian.patchFiles[0]->patches[(size_t)p];
      slot.messages.assign(1, PatchSysexMessage{SynthModel::MakeProgram(seedBase + p)});
      slot.name = "x";
    }
  }

  FakeHost host;
  SynthModel model;
  PatchLibrarian librarian;
  std::unique_ptr<SimWire> wire;
  std::unique_ptr<MIDIMessageManager> manager;
};
}  // namespace

TEST_F(Jobs, CurrentDataBringsTheProgramAndTheGlobals)
{
  SimFaults none, late;
  late.lateMs = 300;  // each answer three wait units late: the globals' wait must not end at once
  for (const SimFaults& faults : {none, late})
  {
    SCOPED_TRACE(faults.lateMs);
    Teardown();
    host.globalBytesValid.store(false);
    model.faults = faults;
    Build(0.05);
    model.editBuffer = SynthModel::MakeProgram(77);
    ASSERT_TRUE(Start(SenderJob(kSendActiveArrangementRequest)));
    ASSERT_TRUE(Finish());
    EXPECT_EQ(host.LastStatus(), "Data request completed!");
    ExpectStoredProgram(model.editBuffer, "current program");
    ASSERT_TRUE(host.globalBytesValid.load());
    for (int i = 0; i < 235; ++i) EXPECT_EQ(host.globalBytes[i].load(), model.globals[(size_t)i]) << i;
    EXPECT_EQ(host.indicatorShows > 0, true);
    EXPECT_FALSE(manager->patchRequested.load());
  }
}

// The program comes but the globals never do: the time-out names the request that
// went unanswered, the global dump's (0E), not the program's.
TEST_F(Jobs, AnUnansweredGlobalsRequestTimesOutNamingIt)
{
  Teardown();
  model.faults.silentGlobals = true;
  Build(0.05);
  ASSERT_TRUE(Start(SenderJob(kSendActiveArrangementRequest)));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "CONNECTION TIMED OUT!");
  std::lock_guard<std::mutex> l(host.lock);
  ASSERT_FALSE(host.logLines.empty());
  EXPECT_NE(host.logLines.back().find("(function 0E)"), std::string::npos) << host.logLines.back();
}

// A job that an exception ends (here the port's send throws) closes its request as
// one that ends normally does: no value from the hardware is held back after it.
TEST_F(Jobs, AJobEndedByAnExceptionClosesItsRequest)
{
  host.wire = [](const Bytes& m) {
    if (m.size() == 6 && m[4] == 0x10) throw std::runtime_error("the port went away");
  };
  SenderJob job(kSendPartRequest);
  job.requestTarget = true;  // awaits a program for the editor
  ASSERT_TRUE(Start(job));
  ASSERT_TRUE(pollUntil([&] { return Requests(0x10).size() == 1; }, 10000));
  EXPECT_TRUE(pollUntil([&] { return !manager->programAwaited(); }, 5000));
}

TEST_F(Jobs, AProgramChangeOnTheHardwareBringsTheNewProgram)
{
  wire->FromSynth(model.SelectProgram(17));
  ASSERT_TRUE(host.WaitStatus("Data request completed!", 10000));
  ASSERT_TRUE(Finish());
  ExpectStoredProgram(model.programs[17], "program 17");
  EXPECT_EQ(librarian.selectedSlot.load(), 17);
}

TEST_F(Jobs, AProgramChangeDuringATransferIsNotLost)
{
  // A global send holds the transfer thread for 3 s of the scaled clock.
  host.FromHardware(model.globals);  // not asked for: ignored
  manager->globalRequested.store(true);
  host.FromHardware(model.globals);
  ASSERT_TRUE(host.globalBytesValid.load());
  ASSERT_TRUE(Start(SenderJob(kSendGlobalToDevice)));
  wire->FromSynth(model.SelectProgram(33));
  ASSERT_TRUE(host.WaitStatus("Data request completed!", 20000));
  ASSERT_TRUE(Finish());
  ExpectStoredProgram(model.programs[33], "program 33");
}

TEST_F(Jobs, GlobalSendCarriesTheStoredBytesWithTheChanges)
{
  ASSERT_TRUE(Start(SenderJob(kSendGlobalToDevice)));
  ASSERT_TRUE(Finish());
  EXPECT_TRUE(host.Sent().empty()) << "nothing is sent before a global dump was received";

  manager->globalRequested.store(true);
  host.FromHardware(model.globals);
  host.SetParam(kMasterPosition, 3);
  host.ClearSent();
  ASSERT_TRUE(Start(SenderJob(kSendGlobalToDevice)));
  ASSERT_TRUE(Finish());
  ASSERT_EQ(host.Sent().size(), 1u);
  Bytes expected = model.globals;
  expected[8] = 3;
  EXPECT_EQ(host.Sent()[0], expected);
  EXPECT_EQ(model.globals, expected) << "the synthesizer took it";
}

TEST_F(Jobs, WriteAProgramAndReadItBack)
{
  const Bytes program = SynthModel::MakeProgram(500);
  LibrarianPatch slot;
  slot.messages.assign(1, PatchSysexMessage{program});
  host.writeAfterSend.store(true);
  host.SetParam(kMultiPartMIDICh, 4);
  host.SetParam(kMultiPartMIDICh + 1, 5);
  SenderJob send(kSendPatchToDeviceFromLibrarian);
  send.patch = &slot;
  send.slotNumber = 9;
  ASSERT_TRUE(Start(send));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(model.programs[9], program);
  EXPECT_FALSE(host.writeAfterSend.load());
  // All notes off (CC 123, value 0) once, on MIDI channel 1, whatever channels the
  // timbres use; then the program, then the write request 42 30 58 11 00 09.
  const std::vector<Bytes> sent = host.Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0], (Bytes{0xB0, 123, 0}));
  EXPECT_EQ(sent[1], program);
  EXPECT_EQ(sent[2], (Bytes{0xF0, 0x42, 0x30, 0x58, 0x11, 0x00, 0x09, 0xF7}));

  host.librarianProgramNumber.store(9);
  librarian.selectedSlot.store(4);
  ASSERT_TRUE(manager->sendSinglePatchRequestSysexFromLibrarian(false, 0));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "Data request completed!");
  ASSERT_EQ(librarian.patchFiles[0]->patches[4].messages.size(), 1u);
  EXPECT_EQ(librarian.patchFiles[0]->patches[4].messages[0].bytes, program);
}

TEST_F(Jobs, BankStoreWritesAll128AndHonoursWriteProtect)
{
  Teardown();
  Build(0.002);
  FillUpperBank(1000);
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  ASSERT_TRUE(Finish(400000));
  EXPECT_EQ(host.LastStatus(), "Data write completed!");
  for (int p = 0; p < 128; ++p)
    ASSERT_EQ(model.programs[(size_t)p], librarian.patchFiles[0]->patches[(size_t)p].messages[0].bytes) << p;
  EXPECT_EQ(model.writes, 128);

  model.globals[11] |= 1;  // write protect on the synthesizer
  const std::vector<SimBytes> before = model.programs;
  FillUpperBank(3000);
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  ASSERT_TRUE(Finish(400000));
  EXPECT_EQ(model.refusedWrites, 128);
  EXPECT_EQ(model.programs, before);
}

TEST_F(Jobs, CancelStopsABankStoreAtItsNextWait)
{
  Teardown();
  Build(0.01);
  FillUpperBank(0);
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  const Clock::time_point t0 = Clock::now();
  auto writes = [&] {
    std::lock_guard<std::mutex> l(model.lock);
    return model.writes;
  };
  while (writes() < 2 && msSince(t0) < 20000) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  const Clock::time_point t = Clock::now();
  manager->requestCancel();
  EXPECT_LT(msSince(t), 50);
  ASSERT_TRUE(host.WaitStatus("Data write cancelled!", 20000));
  ASSERT_TRUE(Finish());
  EXPECT_LT(writes(), 10);
}

TEST_F(Jobs, ACancelDuringABankStoresOpeningWaitSendsNoProgram)
{
  Teardown();
  Build(2.0);  // the opening wait lasts 100 ms: the Cancel below lands in it
  librarian.patchFiles[0]->patches[0].messages.assign(1, PatchSysexMessage{SynthModel::MakeProgram(1)});
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  manager->requestCancel();
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "Data write cancelled!");
  ASSERT_FALSE(host.secondLine.empty());
  EXPECT_EQ(host.secondLine.back(), "No program written");
  for (const Bytes& m : host.Sent()) EXPECT_NE(m.size(), 297u);
  EXPECT_EQ(model.writes, 0);
}

TEST_F(Jobs, ABankStoreEndsAtTheFirstSendThePortRefusesAndSaysSo)
{
  Teardown();
  Build(0.002);
  FillUpperBank(500);
  host.sysexBeforeFailure.store(5);  // two programs and their writes, then the third program
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  ASSERT_TRUE(Finish(400000));
  const std::vector<std::string> status = host.Status();
  EXPECT_EQ(std::count(status.begin(), status.end(), "Data write completed!"), 0);
  EXPECT_EQ(host.LastStatus(), "Data write failed: MIDI output not available");
  ASSERT_FALSE(host.secondLine.empty());
  EXPECT_EQ(host.secondLine.back(), "2 programs written: slots 1-2");
  EXPECT_EQ(model.writes, 2);
  // Nothing follows the refused write request: the last message is the third program.
  const std::vector<Bytes> sent = host.Sent();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[sent.size() - 2], (Bytes{0xC0, 2}));
  EXPECT_EQ(sent.back(), librarian.patchFiles[0]->patches[2].messages[0].bytes);

  // A single program stored from its slot: no write request without the program.
  host.sysexBeforeFailure.store(0);
  host.ClearSent();
  SenderJob send(kSendPatchToDeviceFromLibrarian);
  send.program = SynthModel::MakeProgram(7);
  send.slotNumber = 3;
  send.storeAfterSend = true;
  ASSERT_TRUE(Start(send));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "Data write failed: MIDI output not available");
  EXPECT_EQ(model.writes, 2);
}

TEST_F(Jobs, FaultMatrix)
{
  struct Case
  {
    const char* name;
    SimFaults faults;
    const char* status;
    bool stored;
    uint8_t channelAfter;
    int requests;  // the first request and the channel search; -1: not counted
    bool afterEnquiry = false;  // the device enquiry ran first; its search's answers come only now
  };
  SimFaults none, silent, late, lateBeyond, otherChannel, malformed, truncated, flood, searchAnsweredLate;
  silent.silent = true;
  late.lateMs = 300;           // three wait units
  lateBeyond.lateMs = 60000;   // after every wait
  otherChannel.answerChannel = 3;
  malformed.malformed = true;
  truncated.truncated = true;
  flood.flood = 60;
  searchAnsweredLate.globalsAfterProgramRequest = true;
  const Case cases[] = {
      {"no fault", none, "Data request completed!", true, 0x30, 1},
      {"silent", silent, "CONNECTION TIMED OUT!", false, 0x30, 17},
      {"late", late, "Data request completed!", true, 0x30, 1},
      {"too late", lateBeyond, "CONNECTION TIMED OUT!", false, 0x30, 17},
      {"answers on another channel", otherChannel, "CONNECTION TIMED OUT!", false, 0x30, 17},
      {"malformed", malformed, "CONNECTION TIMED OUT!", false, 0x30, 17},
      {"truncated", truncated, "CONNECTION TIMED OUT!", false, 0x30, 17},
      {"flood", flood, "Data request completed!", true, 0x30, 1},
      // The globals ahead of the program end the initialisation; the request takes the program.
      {"globals of an earlier search first", searchAnsweredLate, "Data request completed!", true, 0x30, 1, true},
  };
  for (const Case& c : cases)
  {
    Teardown();
    host.programBytes.clear();
    host.sysexChannelByte.store(0x30);
    {
      std::lock_guard<std::mutex> l(host.lock);
      host.status.clear();
    }
    model.faults = c.faults;
    model.editBuffer = SynthModel::MakeProgram(9);
    Build(0.05);
    if (c.afterEnquiry)
    {
      ASSERT_TRUE(Start(SenderJob(kSendDeviceIdEnquiry)) && Finish(60000)) << c.name;
      ASSERT_EQ(host.LastStatus(), "No response from Hardware") << c.name;
    }
    host.ClearSent();
    SenderJob job(kSendPartRequest);
    job.requestTarget = true;
    const Clock::time_point t = Clock::now();
    ASSERT_TRUE(Start(job)) << c.name;
    ASSERT_TRUE(Finish(60000)) << c.name;
    // The longest request: 35 units and 16 search pauses.
    EXPECT_LT(msSince(t), (long long)((35 + 16 + 2) * 100 * 0.05) + 2000) << c.name;
    EXPECT_EQ(host.LastStatus(), c.status) << c.name;
    EXPECT_EQ(host.sysexChannelByte.load(), c.channelAfter) << c.name;
    if (c.requests >= 0)
    {
      EXPECT_EQ((int)Requests(0x10).size(), c.requests) << c.name;
    }
    if (c.stored) ExpectStoredProgram(model.editBuffer, c.name);
    else EXPECT_TRUE(host.programBytes.empty()) << c.name;
    EXPECT_TRUE(!c.afterEnquiry || host.initDone.load()) << c.name;
  }
}

// A request after one given up to a silent synthesizer (cancelled, timed out) goes out
// within the synthesizer's answer time and takes its own program; an owed answer late
// beyond the enquiry's wait is never taken: that request fails, the next takes its own.
TEST_F(Jobs, ARequestAfterOneGivenUpGoesOutAtOnceAndTakesOnlyItsOwn)
{
  SenderJob job(kSendPartRequest);
  job.requestTarget = true;
  for (int row : {0, 1, 2})  // cancelled, timed out, answering 45 units late
  {
    SCOPED_TRACE(row);
    Teardown();
    model.faults = SimFaults();
    model.faults.silent = row < 2, model.faults.lateMs = row == 2 ? 4500 : 0;
    model.editBuffer = SynthModel::MakeProgram(21);
    Build(0.2);
    ASSERT_TRUE(Start(job));
    ASSERT_TRUE(row == 1 || pollUntil([&] { return !Requests(0x10).empty(); }, 10000));
    if (row != 1) manager->requestCancel();
    ASSERT_TRUE(Finish(60000));
    host.programBytes.clear();
    model.faults.silent = false, model.editBuffer = SynthModel::MakeProgram(22);
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(Start(job) && Finish(60000));
    EXPECT_TRUE(row == 2 || (int)(GetTickCount() - pressed) < 20 * 100);  // the old wait alone: 35 units
    if (row == 2)
    {
      EXPECT_EQ(host.LastStatus(), "CONNECTION TIMED OUT!");
      EXPECT_TRUE(host.programBytes.empty());
      model.faults.lateMs = 0;
      ASSERT_TRUE(pollUntil([&] { return manager->owedAnswers() == 0; }, 20000) && Start(job) && Finish(60000));
    }
    EXPECT_EQ(host.LastStatus(), "Data request completed!");
    ExpectStoredProgram(model.editBuffer, "the later request's own");
  }
}

// The synthesizer on channel 2, the editor on channel 1: a request for the current
// program, for the editor or for the librarian, or the librarian's request for one
// program or for all, finds it in its search but takes neither its channel nor its
// program, asks for no globals, and times out; the next request goes out at once.
// A program sent from the synthesizer's panel afterwards goes nowhere either.
TEST_F(Jobs, CurrentDataFromAnotherChannelIsRefusedAndTheNextRequestGoesOut)
{
  model.globalChannel = 1;
  size_t asked = 0;
  for (const int command : {kSendActiveArrangementRequest, kSendPartRequest /* requestTarget false: librarian */,
                            kSendSinglePatchRequest, kSendAllPatchRequest})
  {
    SCOPED_TRACE(command);
    const int programs = command == kSendAllPatchRequest ? 128 : 1;
    if (programs > 1) SWELL_SetTimeScale(0.002);
    ASSERT_TRUE(Start(SenderJob(command)));
    EXPECT_TRUE(pollUntil([&] { return Requests(0x10).size() > asked; }, 10000));
    ASSERT_TRUE(Finish(programs * 20000));
    asked += 17 * programs;
    const std::vector<std::string> status = host.Status();
    EXPECT_EQ(std::count(status.begin(), status.end(), "Data request completed!"), 0);
    EXPECT_EQ(host.LastStatus(), "CONNECTION TIMED OUT!");
    host.FromHardware(SynthModel::MakeProgram(5, 0x31));
    EXPECT_EQ(host.sysexChannelByte.load(), 0x30);
    EXPECT_EQ(host.Param(kGlobalMidiChannel), 0);
    EXPECT_TRUE(Requests(0x0E).empty());
    EXPECT_TRUE(host.programBytes.empty());
    const std::vector<LibrarianPatch>& slots = librarian.patchFiles[0]->patches;
    EXPECT_EQ(std::count_if(slots.begin(), slots.end(), [](const LibrarianPatch& p) { return !p.messages.empty(); }), 0);
    EXPECT_EQ(Requests(0x10).size(), asked);
  }
}

TEST_F(Jobs, DeviceEnquiryFindsTheSynthesizerOnItsChannel)
{
  // The search gives each channel half a wait unit: at a slower scale a loaded
  // machine still answers before the search moves on.
  Teardown();
  Build(0.5);
  model.globalChannel = 4;
  model.globals = SynthModel::MakeGlobals(4, false);
  host.SetParam(kGlobalMidiChannel, 0);
  ASSERT_TRUE(Start(SenderJob(kSendDeviceIdEnquiry)));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "Plug-in is ready to go!");
  EXPECT_EQ(host.sysexChannelByte.load(), 0x34);
  EXPECT_EQ(host.Param(kGlobalMidiChannel), 4);
  EXPECT_TRUE(host.initDone.load());
  // The search went 0x30, 0x31, ... and stopped at the channel that answered.
  EXPECT_EQ(Requests(0x0E), (std::vector<uint8_t>{0x30, 0x30, 0x31, 0x32, 0x33, 0x34}));

  // A cancelled enquiry has found nothing and says so.
  model.faults.silent = true;
  host.sysexChannelByte.store(0x30);
  {
    std::lock_guard<std::mutex> l(host.lock);
    host.status.clear();
  }
  ASSERT_TRUE(Start(SenderJob(kSendDeviceIdEnquiry)));
  ASSERT_TRUE(host.WaitStatus("Connecting to Hardware", 10000));
  manager->requestCancel();
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "Data request CANCELLED!");
}

TEST_F(Jobs, ASecondStartWhileBusyIsDroppedAndStartersNeverShareARecord)
{
  model.faults.silent = true;
  ASSERT_TRUE(manager->sendSinglePatchRequestSysexFromLibrarian(false, 0));
  EXPECT_FALSE(manager->sendSinglePatchRequestSysexFromLibrarian(false, 0));
  // A dropped start sets none of its flags, also none the running job has not: a
  // request for the editor leaves the waiting librarian request its collector.
  ASSERT_TRUE(pollUntil([&] { return !Requests(0x10).empty(); }, 10000));
  SenderJob forEditor(kSendPartRequest);
  forEditor.requestTarget = true;
  forEditor.atStart = [&] {
    manager->patchRequested.store(true);
    manager->libraryPatchRequest.libraryRequestActive.store(false);
  };
  EXPECT_FALSE(manager->startJob(forEditor));
  EXPECT_FALSE(manager->patchRequested.load());
  EXPECT_TRUE(manager->libraryPatchRequest.libraryRequestActive.load());
  manager->requestCancel();
  ASSERT_TRUE(Finish());

  // Four starters race for the transfer thread; every job that ran ran whole.
  model.faults.silent = false;
  std::atomic<int> started{0};
  std::vector<std::thread> starters;
  for (int t = 0; t < 4; ++t)
    starters.emplace_back([&, t] {
      for (int i = 0; i < 40; ++i)
      {
        SenderJob job(t % 2 ? kSendPartRequest : kSendGlobalToDevice);
        job.requestTarget = true;
        if (manager->startJob(job)) started.fetch_add(1);
        std::this_thread::yield();
      }
    });
  for (auto& s : starters) s.join();
  ASSERT_TRUE(Finish());
  EXPECT_GE(started.load(), 1);
  EXPECT_FALSE(manager->isRunning(kTransferThread));
}

TEST_F(Jobs, TeardownWhileAJobRunsEndsWithinASecond)
{
  Teardown();
  Build(1.0);  // real waits: a store would take minutes
  FillUpperBank(0);
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  SenderJob clock(kSendContinuousMIDIClock);
  host.sendMIDIClockInfo.store(true);
  manager->resetContinuousClock(false);
  ASSERT_TRUE(Start(clock));
  const Clock::time_point t = Clock::now();
  wire->StopInput();
  manager.reset();
  EXPECT_LT(msSince(t), 1000);
}

TEST_F(Jobs, LibrarianProgramsGoOutAsStoredFromEverySlot)
{
  // Slots hold correctly packed programs, so no slot moves their packing bits: the
  // audition road sends the stored bytes with only the channel byte set.
  Bytes program = SynthModel::MakeProgram(321);
  program[37] = 0x30;
  program[45] = 0x68;
  program[109] = 0x03;
  LibrarianPatch slot;
  slot.messages.assign(1, PatchSysexMessage{program});
  host.sysexChannelByte.store(0x32);
  model.globalChannel = 2;
  for (int s : {0, 1, 4, 6, 7, 13})
  {
    host.ClearSent();
    SenderJob send(kSendPatchToDeviceFromLibrarian);
    send.patch = &slot;
    send.slotNumber = s;
    ASSERT_TRUE(Start(send));
    ASSERT_TRUE(Finish());
    Bytes expected = program;
    expected[2] = 0x32;
    const std::vector<Bytes> sent = host.Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), expected) << "slot " << s;
    std::lock_guard<std::mutex> l(model.lock);
    EXPECT_EQ(model.editBuffer, expected) << "slot " << s;
  }
}

TEST_F(Jobs, TheEditorsProgramGoesOutAfterTheGlobalsOnce)
{
  manager->globalRequested.store(true);
  host.FromHardware(model.globals);
  host.sendGlobalWithProgram.store(true);
  host.globalSettingsSent.store(false);
  host.patchNameText = "Lead";
  host.SetParam(kFilterCutoff, 99);
  host.ClearSent();
  ASSERT_TRUE(Start(SenderJob(kSendArrangementToDevice)));
  ASSERT_TRUE(Finish());
  const std::vector<Bytes> sent = host.Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].size(), 235u);
  ASSERT_EQ(sent[1].size(), 297u);
  EXPECT_EQ(sent[1][72], 99);
  EXPECT_EQ(Bytes(sent[1].begin() + 6, sent[1].begin() + 12), (Bytes{'L', 'e', 'a', 'd', 0, ' '}));
  EXPECT_EQ(host.programName, "Lead");
  // The stored bytes hold what was built, with the blank name.
  Bytes stored = Stored(0);
  for (int i = 21; i < 296; ++i) ASSERT_EQ(stored[(size_t)i], sent[1][(size_t)i]) << i;
  EXPECT_FALSE(host.partChangeActive.load());
  {
    std::lock_guard<std::mutex> l(model.lock);
    EXPECT_EQ(model.editBuffer, sent[1]);
  }

  // Into the librarian instead: the selected slot takes it, nothing goes out.
  host.ClearSent();
  librarian.selectedSlot.store(3);
  SenderJob toLib(kSendArrangementToDevice);
  toLib.toLibrarian = true;
  host.sendGlobalWithProgram.store(false);
  ASSERT_TRUE(Start(toLib));
  ASSERT_TRUE(Finish());
  EXPECT_TRUE(host.Sent().empty());
  ASSERT_EQ(librarian.patchFiles[0]->patches[3].messages.size(), 1u);
  EXPECT_EQ(librarian.patchFiles[0]->patches[3].name.substr(0, 5), "Lead ");

  // The init program into the selected slot.
  librarian.selectedSlot.store(5);
  ASSERT_TRUE(Start(SenderJob(kInitClassicPatch)));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(librarian.patchFiles[0]->patches[5].name, "Init Sound  ");
}

TEST_F(Jobs, AllProgramsOneByOneIntoTheirSlots)
{
  // The synthesizer on global channel 4: the bank select still goes on channel 1.
  model.globalChannel = 3;
  host.SetParam(kGlobalMidiChannel, 3);
  host.sysexChannelByte.store(0x33);
  SenderJob all(kSendAllPatchRequest);
  // Armed as the librarian's starters arm it, for a bank dump that never comes.
  manager->libraryPatchRequestAll.libraryRequestAllActive.store(true);
  ASSERT_TRUE(Start(all));
  ASSERT_TRUE(Finish(60000));
  // Done, the bank takes no further program dump: one that arrives now (a send
  // shown in the editor, a program fetched after a program change) leaves it be.
  EXPECT_FALSE(manager->libraryPatchRequestAll.libraryRequestAllActive.load());
  host.FromHardware(model.programs[9]);
  EXPECT_EQ(host.LastStatus(), "Data request completed!");
  for (int p = 0; p < 128; ++p)
  {
    ASSERT_EQ(librarian.patchFiles[0]->patches[(size_t)p].messages.size(), 1u) << p;
    Bytes answered = model.programs[(size_t)p];
    answered[2] = 0x33;  // the dump carries the channel it answered on
    ASSERT_EQ(librarian.patchFiles[0]->patches[(size_t)p].messages[0].bytes, answered) << p;
  }
  EXPECT_EQ(librarian.allPatchesRequestIndex.load(), 0);
  // Cleared as it starts, a running count on the second line, one step a program,
  // and the count under the end's line.
  ASSERT_EQ(host.secondLine.size(), 130u);
  EXPECT_EQ(host.secondLine.front(), "");
  EXPECT_EQ(host.secondLine[1], "1 of 128 programs received");
  EXPECT_EQ(host.secondLine.back(), "128 of 128 programs received");
  // Bank select LSB 0 on MIDI channel 1, then program change 0 on the global channel.
  EXPECT_EQ(host.Sent().front(), (Bytes{0xB0, 32, 0}));
  EXPECT_EQ(host.Sent()[1], (Bytes{0xC3, 0x00}));
}

TEST_F(Jobs, OneSilentProgramTimesOutAloneAndNoCompletionFollows)
{
  model.faults.silentProgram = 5;
  ASSERT_TRUE(Start(SenderJob(kSendAllPatchRequest)));
  ASSERT_TRUE(Finish(60000));
  const std::vector<std::string> status = host.Status();
  EXPECT_NE(std::find(status.begin(), status.end(), "CONNECTION TIMED OUT!"), status.end());
  EXPECT_EQ(std::find(status.begin(), status.end(), "Data request completed!"), status.end());
  for (int p = 0; p < 128; ++p)
    EXPECT_EQ(librarian.patchFiles[0]->patches[(size_t)p].messages.empty(), p == 5) << p;
  // The silent slot is not counted.
  ASSERT_FALSE(host.secondLine.empty());
  EXPECT_EQ(host.secondLine.back(), "127 of 128 programs received");
}

TEST_F(Jobs, ACancelInTheSearchOfAllProgramsStopsTheSearchNotTheWait)
{
  // The bank request looks at Cancel only in the search: the search stops, the
  // program's wait runs on to its 35th step and times out, then the loop ends
  // before the next program change.
  Teardown();
  Build(0.2);
  model.faults.silent = true;
  ASSERT_TRUE(Start(SenderJob(kSendAllPatchRequest)));
  const Clock::time_point t = Clock::now();
  while (Requests(0x10).size() < 2 && msSince(t) < 60000) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  manager->requestCancel();
  ASSERT_TRUE(Finish(120000));
  EXPECT_LT(Requests(0x10).size(), 17u) << "the search stopped";
  const std::vector<std::string> status = host.Status();
  ASSERT_GE(status.size(), 2u);
  EXPECT_EQ(status[status.size() - 2], "CONNECTION TIMED OUT!");
  EXPECT_EQ(status.back(), "Data request CANCELLED!");
  for (const Bytes& m : host.Sent()) EXPECT_NE(m, (Bytes{0xC0, 0x01})) << "no second program";
  // The collector armed for each program is not left armed: a program the synthesizer
  // sends afterwards goes into no slot.
  host.FromHardware(model.programs[3]);
  for (int p = 0; p < 128; ++p) EXPECT_TRUE(librarian.patchFiles[0]->patches[(size_t)p].messages.empty()) << p;
}

TEST_F(Jobs, CurrentDataWithoutAnAnswerAsksForNoGlobals)
{
  model.faults.silent = true;
  ASSERT_TRUE(Start(SenderJob(kSendActiveArrangementRequest)));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(host.LastStatus(), "CONNECTION TIMED OUT!");
  EXPECT_TRUE(Requests(0x0E).empty());
  EXPECT_EQ(Requests(0x10).size(), 17u);
}

TEST_F(Jobs, BankStoreStopsAtTheFirstEmptySlotAndReportsProgress)
{
  Teardown();
  Build(0.002);
  FillUpperBank(0);
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  ASSERT_TRUE(Finish(400000));
  const std::vector<std::string> status = host.Status();
  // Progress is p x 100 / 127 per cent of the slot just written: 0 after slot 0,
  // 100 after slot 127.
  EXPECT_EQ(status.front(), "Please wait! Writing.. 0%");
  EXPECT_EQ(status.back(), "Data write completed!");
  EXPECT_EQ(status[status.size() - 2], "Please wait! Writing.. 100%");

  librarian.patchFiles[0]->patches[10].messages.clear();
  {
    std::lock_guard<std::mutex> l(host.lock);
    host.status.clear();
  }
  const int before = model.writes;
  host.ClearSent();
  ASSERT_TRUE(Start(SenderJob(kStoreAllPatchesToDeviceFromLibrarian)));
  ASSERT_TRUE(Finish(400000));
  EXPECT_EQ(model.writes - before, 10);
  EXPECT_EQ(host.LastStatus(), "Please wait! Writing.. 7%");  // slot 9: 900 / 127
  // Each program change is followed by the hardware's half wait unit to switch and
  // the store's own 75 ms before the program goes out (a lower bound on the scaled clock).
  const std::vector<Bytes> sent = host.Sent();
  const std::vector<DWORD> at = host.SentAt();
  ASSERT_EQ(sent.size(), at.size());
  int changes = 0;
  for (size_t i = 0; i + 1 < sent.size(); ++i)
  {
    if (sent[i].size() != 2 || (sent[i][0] & 0xF0) != 0xC0) continue;
    ++changes;
    EXPECT_GE(at[i + 1] - at[i], (DWORD)(host.getTimerValue() / 2 + 75)) << i;
  }
  EXPECT_EQ(changes, 10);
}

TEST_F(Jobs, TheProgramGoesBackAfterAStepsRequestOnlyWhileASectionIsLocked)
{
  auto isDump = [](const Bytes& m) { return m.size() == 297 && m[4] == 0x40; };
  auto isRequest = [](const Bytes& m) { return m.size() == 6 && m[4] == 0x10; };
  for (bool locked : {false, true})
  {
    host.sectionLocked = locked;
    host.ClearSent();
    SenderJob request(kSendPartRequest);
    request.requestTarget = true;
    request.leadInMs = 50;
    manager->patchRequested.store(true);
    ASSERT_TRUE(Start(request));
    ASSERT_TRUE(manager->queueJobAfterRunningJob(SenderJob(kSendPartDataBack)));
    // One follow-up at a time.
    EXPECT_FALSE(manager->queueJobAfterRunningJob(SenderJob(kSendPartDataBack)));
    ASSERT_TRUE(Finish());
    EXPECT_FALSE(manager->queueJobAfterRunningJob(SenderJob(kSendPartDataBack)));  // idle: nothing to follow
    const std::vector<Bytes> sent = host.Sent();
    int requestAt = -1, dumpAt = -1;
    for (int i = 0; i < (int)sent.size(); ++i)
    {
      if (requestAt < 0 && isRequest(sent[(size_t)i])) requestAt = i;
      if (dumpAt < 0 && isDump(sent[(size_t)i])) dumpAt = i;
    }
    ASSERT_GE(requestAt, 0) << locked;
    if (locked)
      EXPECT_GT(dumpAt, requestAt);
    else
      EXPECT_EQ(dumpAt, -1);
  }
}

TEST_F(Jobs, ASlotSendOwnsItsBytesAndAStoreAskedForDuringItIsNotItsOwn)
{
  const Bytes program = SynthModel::MakeProgram(321);
  SenderJob send(kSendPatchToDeviceFromLibrarian);
  {
    LibrarianPatch slot;
    slot.messages.assign(1, PatchSysexMessage{program});
    send.patch = &slot;
    send.slotNumber = 12;
    send.storeAfterSend = true;
    send.editOffFirst = true;
    ASSERT_TRUE(Start(send));
  }  // the slot is gone while the job runs
  host.writeAfterSend.store(false);
  ASSERT_TRUE(Finish());
  EXPECT_EQ(model.programs[12], program);
  const std::vector<Bytes> sent = host.Sent();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0], (Bytes{0xF0, 0x42, 0x30, 0x58, 0x4E, 0x00, 0x00, 0xF7}));
}

TEST_F(Jobs, TempFromHardwareAsksWithoutAProgramChangeAndKeepsTheUnsavedEdit)
{
  // The hardware holds an edit of program 9 it has not saved.
  model.programs[9] = SynthModel::MakeProgram(600);
  const Bytes edit = SynthModel::MakeProgram(601);
  model.editBuffer = edit;
  host.librarianProgramNumber.store(9);
  librarian.selectedSlot.store(5);
  ASSERT_TRUE(manager->sendSinglePatchRequestSysexFromLibrarian(true, 0));
  ASSERT_TRUE(Finish());
  for (const Bytes& m : host.Sent()) EXPECT_NE(m[0] & 0xF0, 0xC0) << "a program change was sent";
  ASSERT_EQ(librarian.patchFiles[0]->patches[5].messages.size(), 1u);
  EXPECT_EQ(librarian.patchFiles[0]->patches[5].messages[0].bytes, edit);
  EXPECT_EQ(model.editBuffer, edit);
  // Program by Slot selects the program first, and brings the stored one.
  ASSERT_TRUE(manager->sendSinglePatchRequestSysexFromLibrarian(false, 0));
  ASSERT_TRUE(Finish());
  EXPECT_EQ(librarian.patchFiles[0]->patches[5].messages[0].bytes, model.programs[9]);
}
