// The cancel buttons of the progress overlay against a running request, what a
// waiting request's answer survives, and the randomize command end to end with the
// real transfer jobs.

#include "PollUntil.h"
#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "hardware/DumpLayout.h"
#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/view/LibrarianViewControl.h"
#include "plug/ByteChunk.h"
#include "ui/ControlLayer.h"
#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

// Jobs run on the manager's threads instead of being recorded, and the hardware's
// answers reach the real router.
class LiveEditor : public RecordingEditor
{
public:
  bool startJob(const SenderJob& job) override { return Davrel::startJob(job); }
  void routeSysEx(ISysEx* s, bool fromDevice) override { Davrel::routeSysEx(s, fromDevice); }
  MIDIMessageManager* manager() { return midiMessageManager; }
  void logText(const std::string& line) override
  {
    std::lock_guard<std::mutex> l(logLock);
    logged += line + "\n";
  }
  std::string takeLog()
  {
    std::lock_guard<std::mutex> l(logLock);
    return std::exchange(logged, std::string());
  }
  // Runs as the job shows a line, on its thread, under the editor's lock.
  std::function<void(const std::string&)> onStatus;
  void showStatusText(const char* text) override
  {
    RecordingEditor::showStatusText(text);
    if (onStatus) onStatus(text ? text : "");
  }
  // The port layer's refusals at the call, as the test counts them.
  OutputMark midiOutMark() override { return {0, refused.load()}; }
  bool midiOutRefusedSince(const OutputMark& mark) override { return refused.load() > mark.refusedAtCall; }
  std::atomic<unsigned long long> refused{0};
  std::mutex logLock;
  std::string logged;
};

Bytes namedProgram(const char* name)
{
  Bytes p = mkInitPatchData();
  p[2] = 0x39;
  writeProgramDumpName(name, p.data());
  return p;
}

bool isRequest(const Bytes& m, unsigned char function)
{
  return m.size() == 6 && m[0] == 0xF0 && m[4] == function && m[5] == 0xF7;
}

struct Live : ::testing::Test
{
  DataFolder data;
  UnderTest<LiveEditor> e;

  void SetUp() override
  {
    e.GetParam(kGlobalMidiChannel)->InitInt("global", 0, 0, 15);
    e.GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
    e.GetParam(kGlobalMidiChannel)->Set(9);
    e.GetParam(kDeviceOutSelection)->Set(1);
    e.GetParam(kLibSyncTimer)->InitInt("timer", 7, 0, 7);  // the 100 ms unit
    e.midiOutSet = true;
    e.sysexChannelByte = 0x39;
    e.globalSent = true;
    e.takeSent();
  }

  void fromHardware(const Bytes& m)
  {
    WDL_MutexLock lock(&e.mMutex);
    ISysEx s(0, m.data(), (int)m.size());
    e.ProcessSysEx(&s, true);
  }

  bool sentRequest(unsigned char function)
  {
    std::lock_guard<std::mutex> l(e.lock);
    for (const Bytes& m : e.sent)
      if (isRequest(m, function)) return true;
    return false;
  }

  // A bank of 128 programs in both columns of the grid.
  std::vector<LibrarianPatch>& openBank()
  {
    PatchLibrarian& lib = *e.patchLibrarian;
    lib.patchFiles.push_back(new PatchFile);
    lib.patchFiles.back()->patches.resize(128);
    for (LibrarianPatch& slot : lib.patchFiles.back()->patches)
      slot.messages.push_back(PatchSysexMessage{namedProgram("Slot")});
    lib.upperFileIndex = lib.lowerFileIndex = (int)lib.patchFiles.size() - 1;
    return lib.patchFiles.back()->patches;
  }

  // The librarian's own edits of the upper bank: a paste in the grid, an import, the
  // rename box's OK (slot 40).
  enum Edit { kPaste = 1, kImport, kRename };
  void edit(int which)
  {
    WDL_MutexLock lock(&e.mMutex);
    LibrarianViewControl* grid = e.librarianViewControl();
    if (which == kPaste)
    {
      grid->CopySlotData(grid->slotRect(1, 7).L + 2, grid->slotRect(1, 7).T + 2);
      grid->PasteSlotData(grid->slotRect(0, 20).L + 2, grid->slotRect(0, 20).T + 2);
    }
    else if (which == kRename)
    {
      grid->upperSelected = 40;
      e.setRenameClosed(false);
      e.GetParam(kPatchRename)->SetDisplayText(0, "Renamed");
      e.OnParamChange(kPatchRename);
    }
    else
    {
      Bytes event = namedProgram("Imported");  // a program file's event: F0, its length 82 28, the dump
      event.insert(event.begin() + 1, {0x82, 0x28});
      ByteChunk file;
      file.PutBytes(event.data(), (int)event.size());
      for (int position = 0; e.ReadSysExDataFromPackage(&file, position, "") > 0;)
      {
      }
    }
  }

  // Starts the current-program request, which waits for an answer that never comes.
  void startUnansweredRequest()
  {
    e.GetParam(kRequestTempData)->Set(1);
    e.OnParamChange(kRequestTempData);
    ASSERT_TRUE(e.manager()->isRunning(kTransferThread));
    ASSERT_TRUE(pollUntil([&] { return sentRequest(0x10); }, 2000));
  }

  // The synthesizer's answer, as the MIDI input thread hands it over: taken, the
  // request goes on to ask for the globals; lost, it times out instead. The request
  // is cancelled after either.
  void answerAndExpectTaken()
  {
    const Bytes answer = namedProgram("Answer");
    {
      WDL_MutexLock lock(&e.mMutex);
      e.knownProgramName.clear();
      ISysEx s(0, answer.data(), (int)answer.size());
      e.ProcessSysEx(&s, true);
    }
    ASSERT_TRUE(pollUntil([&] { return sentRequest(0x0E) || !e.manager()->isRunning(kTransferThread); }, 20000));
    EXPECT_TRUE(sentRequest(0x0E));
    EXPECT_EQ(e.knownProgramName.find("Answer"), 0u);
    e.userSets(kCancelDataRequest, 1);
    expectCancelledWithin(5000);
  }

  void expectCancelledWithin(int boundMs)
  {
    EXPECT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, boundMs));
    EXPECT_EQ(e.nameLine(), "Data request CANCELLED!");
    EXPECT_TRUE(e.progressIndicator->IsHidden());
  }
};

TEST_F(Live, CancelEndsARunningRequest)
{
  startUnansweredRequest();
  e.userSets(kCancelDataRequest, 1);
  // A request left to time out (35 waits of 100 ms) would end with its own line.
  expectCancelledWithin(20000);
}

// A value from the hardware is held back only while a job waits for a program for
// the editor (the current-program request, Program Up's part request); during the
// all-programs request, and after a request was cancelled, it goes through.
TEST_F(Live, OnlyAProgramAwaitedForTheEditorHoldsBackValuesFromTheHardware)
{
  const struct
  {
    const char* name;
    std::function<void()> start;
    bool cancelFirst, heldBack;
  } rows[] = {
      {"the current-program request", [&] { e.userSets(kRequestTempData, 1); }, false, true},
      {"Program Up's request",
       [&] {
         e.GetParam(kControlLibrary)->Set(0.0);
         e.GetParam(kMIDIFilterProgramChange)->Set(1.0);
         e.userSets(kPatchUp, 1);
       },
       false, true},
      {"after a cancelled request", [&] { e.userSets(kRequestTempData, 1); }, true, false},
      {"the all-programs request", [&] { openBank(), e.userSets(kRequestFromBank, 1); }, false, false},
  };
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.name);
    e.takeSent();
    e.manager()->forgetOwedAnswers();  // the answer owed to the row before, never sent here
    row.start();
    ASSERT_TRUE(pollUntil([&] { return sentRequest(0x10); }, 20000));
    if (row.cancelFirst)
    {
      e.userSets(kCancelDataRequest, 1);
      ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
    }
    IMidiMsg cc(0, 0xB9, 74, 10);
    e.routed.clear();
    e.ProcessMidiMsg(&cc, true);
    EXPECT_EQ(e.routed.size(), row.heldBack ? 0u : 1u);
    e.userSets(kCancelDataRequest, 1);
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 30000));
  }
}

// The audio callback's retry of a randomize's part request, and a second Request
// press, find the worker busy: the answer that comes is still the awaited program.
TEST_F(Live, StartsDroppedWhileARequestWaitsLeaveItItsAnswer)
{
  startUnansweredRequest();
  e.clockJobStarted = true;
  e.partRequestPending = true;
  double* io[2] = {nullptr, nullptr};
  e.ProcessDoubleReplacing(io, io, 64);
  EXPECT_TRUE(e.partRequestPending);
  e.userSets(kRequestTempData, 1);
  EXPECT_NE(e.takeLog().find("Request not sent: the press is dropped while another transfer runs"), std::string::npos);
  answerAndExpectTaken();
}

// The output refuses the request a job waits on (its port or JACK server went, its
// queue is full): the exchange ends at once as failed and says so, whether the
// program's request or the globals' after the program's answer; the next press
// asks again.
TEST_F(Live, ARequestTheOutputRefusedEndsItsExchangeAtOnceAndTheNextPressAsksAgain)
{
  for (const bool afterTheProgram : {false, true})
  {
    SCOPED_TRACE(afterTheProgram ? "the globals' request" : "the program's request");
    // The row before cancelled a request nobody answers: its debt is not this row's.
    e.manager()->forgetOwedAnswers();
    e.takeLog();
    e.takeSent();
    startUnansweredRequest();
    if (afterTheProgram)
    {
      const Bytes answer = namedProgram("Answer");
      WDL_MutexLock lock(&e.mMutex);
      ISysEx s(0, answer.data(), (int)answer.size());
      e.ProcessSysEx(&s, true);
    }
    const unsigned char function = afterTheProgram ? 0x0E : 0x10;
    ASSERT_TRUE(pollUntil([&] { return sentRequest(function); }, 20000)) << e.takeLog();
    ++e.refused;
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
    // Not timed out: ended by the refusal.
    EXPECT_EQ(e.nameLine(), "Data request NOT SENT!");
    const std::string log = e.takeLog();
    char line[80];
    snprintf(line, sizeof line, "Request failed: the request (function %02X) was not sent", function);
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find("timed out"), std::string::npos) << log;
    EXPECT_TRUE(e.progressIndicator->IsHidden());
    // The port is back: the next press is a request of its own.
    e.takeSent();
    e.userSets(kRequestTempData, 1);
    ASSERT_TRUE(pollUntil([&] { return sentRequest(0x10); }, 2000));
    e.userSets(kCancelDataRequest, 1);
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
  }
}

// A change of the user's that lays the timbre page out again, redraws the window by
// the processing indicator, discards or edits the bank (a paste in the grid, an
// import, the rename box) while a request waits leaves the request its flag: the
// program that answers afterwards is still taken. The bank's edits go into their
// slots and answer nothing. Values from the hardware meanwhile are held back by the
// gates and end no wait.
TEST_F(Live, AChangeOfTheUsersWhileARequestWaitsLeavesItItsAnswer)
{
  ASSERT_TRUE(writeEditorSize(data, "normal"));  // the first-run notice's close writes it
  e.userSets(kMainPage, 2);  // the LFO sync switches lay out the sound page only
  auto fromHardware = [&](int paramIdx) {
    for (int ph = 0; ph < 3; ++ph)
      for (int pl = 0; pl < 128; ++pl)
        if (IControl* c = e.getSysexControl(0x58, 0x41, pl, ph, 0); c && c->ParamIdx() == paramIdx)
        {
          const Bytes m = {0xF0, 0x42, 0x39, 0x58, 0x41, (unsigned char)pl, (unsigned char)ph, 0, 0, 0xF7};
          WDL_MutexLock lock(&e.mMutex);
          ISysEx s(0, m.data(), (int)m.size());
          e.ProcessSysEx(&s, true);
          return;
        }
    ADD_FAILURE() << "no parameter change reaches " << paramIdx;
  };
  const struct
  {
    const char* name;
    int param;
    double value;
    bool fromHardware = false;
    int edit = 0;
  } rows[] = {
      {"Common Mode to one timbre", kCommonMode, 0},
      {"Voice Assign", kVoiceAssign, 2},
      {"LFO 1 Tempo Sync", kLfo1TempoSync, 1},
      {"LFO 2 Tempo Sync, timbre 2", kLfo2TempoSync + 1, 1},
      {"Osc 1 Waveform", kOsc1Waveform, 5},
      {"Delay FX Tempo Sync", kDelayFxTempoSync, 1},
      {"Amp Gate Sw", kAmpGateSw, 0},
      {"Seq 1 Knob", kSeq1Knob, 3},
      {"Seq 2 Knob, timbre 2", kSeq2Knob + 1, 0},
      {"Seq 3 Knob", kSeq3Knob, 2},
      {"Layer link on", kLayerLinker, 1},
      {"Layer link off", kLayerLinker, 0},
      {"a section lock", kSectionLockOsc1, 1},
      {"Release All Locks", kReleaseAllLocks, 1},
      {"the filter page closed", kViewMIDIFilterSettings, 0},
      {"the About window closed", kExitAboutWindow, 1},
      {"the first-run notice closed", kFirstRunExit, 1},
      {"Discard", kDiscardBankData, 1},
      {"a paste in the grid", -1, 0, false, kPaste},
      {"an import", -1, 0, false, kImport},
      {"the rename box", -1, 0, false, kRename},
      {"Seq 1 Knob from the hardware", kSeq1Knob, 0, true},
  };
  for (const auto& row : rows)
  {
    SCOPED_TRACE(row.name);
    e.takeSent();
    startUnansweredRequest();
    if (row.edit)
    {
      openBank();  // a Discard lets the last one go
      edit(row.edit);
      EXPECT_FALSE(e.incomingSysExProcessed);
    }
    else if (!row.fromHardware) e.userSets(row.param, row.value);
    else
    {
      e.GetParam(row.param)->Set(5);
      fromHardware(row.param);
      EXPECT_EQ(e.GetParam(row.param)->Value(), 5);
      IMidiMsg cc(0, 0xB9, 74, 10);
      e.routed.clear();
      e.ProcessMidiMsg(&cc, true);
      EXPECT_TRUE(e.routed.empty());
    }
    {
      // The overlay stays, its Cancel button with it.
      WDL_MutexLock lock(&e.mMutex);
      EXPECT_FALSE(e.progressIndicator->IsHidden());
      EXPECT_FALSE(e.cancelButtons[1]->IsHidden());
    }
    answerAndExpectTaken();
  }
}

// Program Up, the rename box's OK, a paste in the grid or another upper bank (the
// chooser's arrow, which a host's automation reaches under the overlay) while the
// librarian's request for one program waits: the step's own request finds the worker
// busy and changes nothing of the waiting one (nor the grid's selection); the renamed
// or pasted program goes into its own slot and answers nothing. The waiting request's
// answer lands in the slot of the bank it was asked for, not in the editor nor in
// the bank shown now, and ends it.
TEST_F(Live, AProgramStepOrARenameWhileALibrarianRequestWaitsLeavesItItsAnswer)
{
  enum { kStep = 0, kBankChanged = 10 };
  for (int during : {(int)kStep, (int)kRename, (int)kPaste, (int)kBankChanged})
  {
    SCOPED_TRACE(during);
    e.takeSent();
    std::vector<PatchFile*>& banks = e.patchLibrarian->patchFiles;
    PatchFile* other = nullptr;
    if (during == kBankChanged) openBank(), (other = banks.back())->fileName = "Other.dvl";
    const std::vector<LibrarianPatch>& slots = openBank();
    banks.back()->fileName = "Asked " + std::to_string(during) + ".dvl";
    e.patchLibrarian->selectedSlot = 9;
    ASSERT_NE(e.librarianViewControl(), nullptr);
    e.librarianViewControl()->upperSelected = 9;
    e.librarianViewControl()->currentSlot = 9;
    ASSERT_TRUE(e.sendSinglePatchRequestSysexFromLibrarian(false, 0));
    ASSERT_TRUE(pollUntil([&] { return sentRequest(0x10); }, 2000));

    if (during == kRename || during == kPaste)
    {
      edit(during);
      EXPECT_FALSE(e.incomingSysExProcessed);
    }
    else if (during == kBankChanged)
    {
      // The chooser's arrow is refused while the request waits; a rescan still moves the column.
      const int asked = e.patchLibrarian->upperFileIndex;
      e.userSets(kLibUpperNextBank, 1);
      EXPECT_EQ(e.patchLibrarian->upperFileIndex.load(), asked);
      EXPECT_EQ(e.nameLine(), "Wait for the request to end!");
      e.patchLibrarian->upperFileIndex = (int)banks.size() - 2;
    }
    else
    {
      e.GetParam(kControlLibrary)->Set(0.0);
      e.GetParam(kMIDIFilterProgramChange)->Set(1.0);
      e.GetParam(kCurrentPatch)->Set(40);
      e.userSets(kPatchUp, 1);
      EXPECT_EQ(e.currentProgram, 41);
      EXPECT_EQ(e.librarianViewControl()->upperSelected, 9);
    }

    const Bytes answer = namedProgram("Slot Nine");
    {
      WDL_MutexLock lock(&e.mMutex);
      ISysEx s(0, answer.data(), (int)answer.size());
      e.ProcessSysEx(&s, true);
    }
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
    EXPECT_EQ(e.nameLine(), "Data request completed!");
    EXPECT_EQ(slots[9].messages[0].bytes, answer);
    EXPECT_NE(slots[41].messages[0].bytes, answer);
    if (other) {
      EXPECT_NE(other->patches[9].messages[0].bytes, answer);
    }
    const std::string renamed = programDumpName(slots[40].messages[0].bytes.data(), kProgramDumpSize);
    EXPECT_EQ(renamed.find("Renamed"), during == kRename ? 0u : std::string::npos);
    EXPECT_EQ(e.knownProgramName.find("Slot Nine"), std::string::npos);  // the editor's program stays
  }
}

// The synthesizer answers the librarian's request (the slot menu's, the bank menu's)
// late, or the user cancels after its answer came. A Cancel pressed at any moment
// (before the answer, after it while the job still shows its overlay, after a time-out
// with the answer coming then, before the job armed the request) leaves the slot as
// it was and the bank unmarked, and the log says the answer was not taken. After a
// time-out alone the answer is taken: the bank is marked edited (the upper arrow
// refused) and the display says which slot took it, a line a click in the grid
// leaves; unless the column shows another bank by then, which the time-out allows.
TEST_F(Live, ALateAnswerIsRefusedAfterACancelAndTakenAndMarkedAfterATimeOut)
{
  enum End { kCancel, kAnswerThenCancel, kTimeOutAnswerCancel, kCancelAtOnce, kTimeOut, kTimeOutThenStep };
  for (int row = 0; row < 11; ++row)
  {
    const bool bankMenu = row % 2;
    const End end = (End)std::min(row / 2, (int)kTimeOutThenStep);
    SCOPED_TRACE(std::to_string(bankMenu) + " " + std::to_string(end));
    const bool taken = end == kTimeOut, cancelled = end <= kCancelAtOnce;
    const char* logged = taken ? "came after its request timed out"
                         : end == kTimeOutThenStep ? "not taken: its bank is no longer shown"
                                                   : "not taken: its request was cancelled";
    SWELL_SetTimeScale(end == kTimeOutAnswerCancel || end >= kTimeOut ? 0.02 : 1.0);  // the time-out, shortened
    // A request that waited into the channel search owes an answer never sent here.
    e.manager()->forgetOwedAnswers();
    e.takeLog(), e.takeSent();
    e.GetParam(kBankEditUnsaved)->Set(0.0);
    const std::vector<LibrarianPatch>& slots = openBank();
    e.patchLibrarian->patchFiles.back()->fileName = std::to_string(row) + ".dvl";
    e.patchLibrarian->selectedSlot = 9;
    const Bytes before = slots[9].messages[0].bytes, answer = namedProgram("Late Answers");
    // The answer comes while the job still runs, after its time-out, and the user cancels then.
    if (end == kTimeOutAnswerCancel)
      e.onStatus = [&](const std::string& line) {
        if (line == "CONNECTION TIMED OUT!") fromHardware(answer), e.userSets(kCancelDataRequest, 1);
      };
    e.showValueLine("5 of 128 programs received");  // an earlier transfer's
    ASSERT_TRUE(bankMenu ? e.startJob(SenderJob(kSendPartRequest))
                         : e.sendSinglePatchRequestSysexFromLibrarian(false, 0));
    if (end == kCancelAtOnce) e.userSets(kCancelDataRequest, 1);
    ASSERT_TRUE(pollUntil([&] { return sentRequest(0x10); }, 2000));
    if (end == kCancel || end == kAnswerThenCancel)
    {
      // The job, past its wait, waits for the lock held here: it runs on once both came.
      WDL_MutexLock lock(&e.mMutex);
      if (end == kAnswerThenCancel) fromHardware(answer);
      e.userSets(kCancelDataRequest, 1);
      if (end == kCancel) fromHardware(answer);
    }
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
    e.onStatus = nullptr;
    EXPECT_EQ(e.nameLine(),
              cancelled || end == kTimeOutAnswerCancel ? "Data request CANCELLED!" : "CONNECTION TIMED OUT!");
    EXPECT_EQ(e.valueLine(), "");
    if (end == kTimeOutThenStep) e.userSets(kLibUpperNextBank, 1);
    ASSERT_EQ(e.patchLibrarian->bankAt(e.patchLibrarian->upperFileIndex) == e.patchLibrarian->patchFiles.back(),
              end != kTimeOutThenStep);
    e.userSets(kLibSyncTimer, 7);  // a control's line, the next one is not
    if (end == kCancelAtOnce || end >= kTimeOut) fromHardware(answer);
    EXPECT_EQ(slots[9].messages[0].bytes, taken ? answer : before);
    EXPECT_NE(e.takeLog().find(std::string("\"Late Answers\" ") + logged), std::string::npos);
    EXPECT_EQ(e.GetParam(kBankEditUnsaved)->Value(), taken ? 1.0 : 0.0);
    EXPECT_EQ(e.discardChangesLayerRight->visible, taken);
    if (!taken) continue;
    LibrarianViewControl* grid = e.librarianViewControl();
    IMouseMod left(true);
    grid->OnMouseDown(grid->slotRect(0, 3).L + 2, grid->slotRect(0, 3).T + 2, &left);
    EXPECT_EQ(e.nameLine(), "Late answer taken into slot 10");
    e.userSets(kLibUpperNextBank, 1);
    EXPECT_EQ(e.nameLine(), "Save bank or Discard changes!");
    e.discardChangesLayerRight->Hide(true);
  }
  SWELL_SetTimeScale(1.0);
}

// A request after a cancelled one gets only its own answer: the earlier one's comes
// first, not taken (the log says so); one that never comes is settled by the answer to
// the enquiry the later request sends first, and lapses for an unasked program, which
// goes to the editor. The editor's request that times out after an answered librarian
// request ends timed out.
TEST_F(Live, ARequestAfterOneGivenUpGetsOnlyItsOwnAnswer)
{
  // The synthesizer answers as the n-th program request on the editor's channel goes
  // out, and as the next program change does; the user cancels as the first goes out.
  std::atomic<int> asked{0};
  bool cancelFirst = false;
  Bytes globals(kGlobalDumpSize);  // the synthesizer's answer to the global data enquiry
  globals[0] = 0xF0, globals[1] = 0x42, globals[2] = 0x39, globals[3] = 0x58, globals[4] = 0x51, globals.back() = 0xF7;
  std::map<int, Bytes> answers;
  Bytes onProgramChange;
  const auto record = e.onMidiSent;
  e.onMidiSent = [&, record](const unsigned char* b, int n) {
    record(b, n);
    if (n == 6 && b[4] == 0x0E) fromHardware(globals);
    if (n == 2 && (b[0] & 0xF0) == 0xC0 && !onProgramChange.empty()) fromHardware(std::exchange(onProgramChange, {}));
    if (n != 6 || b[2] != 0x39 || b[4] != 0x10) return;
    if (answers.count(++asked)) fromHardware(answers[asked]);
    if (asked == 1 && cancelFirst) e.userSets(kCancelDataRequest, 1);
  };
  // kAskedTwice: answered only once the search asks the editor's channel again, both answers coming.
  enum Row { kLateAnswer, kNeverAnswered, kLapsed, kAfterAnswered, kAskedTwice };
  for (Row row : {kLateAnswer, kNeverAnswered, kLapsed, kAfterAnswered, kAskedTwice})
  {
    SCOPED_TRACE(row);
    SWELL_SetTimeScale(0.02);  // the owed answer's lapse and the time-outs, shortened
    e.takeLog(), e.takeSent();
    const std::vector<LibrarianPatch>& slots = openBank();
    e.patchLibrarian->selectedSlot = 9;
    const Bytes before = slots[9].messages[0].bytes, first = namedProgram("First Answer"), own = namedProgram("Own");
    asked = 0, cancelFirst = row != kAfterAnswered && row != kAskedTwice;
    answers = row == kAfterAnswered ? std::map<int, Bytes>{{1, first}}
              : row == kAskedTwice  ? std::map<int, Bytes>{{2, first}, {3, own}}
                                    : std::map<int, Bytes>{{2, own}};
    ASSERT_TRUE(e.sendSinglePatchRequestSysexFromLibrarian(false, 0));
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
    e.knownProgramName.clear();
    if (row == kLapsed)
    {
      // 100 wait units on: the edit-mode report's flag lets an unasked program in.
      const DWORD ended = GetTickCount();
      ASSERT_TRUE(pollUntil([&] { return (int)(GetTickCount() - ended) > 100 * 100; }, 20000));
      fromHardware({0xF0, 0x42, 0x39, 0x58, 0x4E, 0x01, 0x00, 0xF7});
      fromHardware(own);
      EXPECT_EQ(e.knownProgramName.find("Own"), 0u);
      continue;
    }
    // The later request into slot 11 (the earlier answer comes as it starts), or the editor's.
    const bool later = row == kLateAnswer || row == kAskedTwice;
    if (later) onProgramChange = first, e.patchLibrarian->selectedSlot = 10;
    if (later) ASSERT_TRUE(e.sendSinglePatchRequestSysexFromLibrarian(false, 0));
    else e.userSets(kRequestTempData, 1);
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
    EXPECT_EQ(slots[9].messages[0].bytes, row == kAfterAnswered || row == kAskedTwice ? first : before);
    if (row == kAfterAnswered) { EXPECT_EQ(e.nameLine(), "CONNECTION TIMED OUT!"); }
    if (row == kNeverAnswered) { EXPECT_EQ(e.knownProgramName.find("Own"), 0u); }
    if (later)
    {
      EXPECT_EQ(e.nameLine(), "Data request completed!");
      EXPECT_EQ(slots[10].messages[0].bytes, own);
      const char* why = row == kLateAnswer ? "its request" : "a second answer";
      EXPECT_NE(e.takeLog().find(std::string("\"First Answer\" not taken: ") + why), std::string::npos);
    }
    e.userSets(kCancelDataRequest, 1);
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
  }
  e.onMidiSent = record;
  SWELL_SetTimeScale(1.0);
}

// A librarian request's lines say what it does: with no slot selected for its answer
// it is refused, saying so; the start's line does not stand under it; a Request Bank
// cancelled partway says how many programs it kept.
TEST_F(Live, ARequestShowsItsOwnLinesAndACancelledBankCountsWhatItKept)
{
  openBank();
  std::string underRequest = "not asked";
  int asked = 0;
  e.onMidiSent = [&, record = e.onMidiSent](const unsigned char* b, int n) {
    record(b, n);
    if (n != 6 || b[4] != 0x10) return;
    if (++asked == 1) underRequest = e.valueLine();
    fromHardware(namedProgram(("Kept " + std::to_string(asked)).c_str()));
    if (asked == 7) e.userSets(kCancelDataRequest, 1);  // the bank's sixth program is not kept
  };
  e.patchLibrarian->selectedSlot = -1;  // a click beside the slots
  EXPECT_FALSE(e.sendSinglePatchRequestSysexFromLibrarian(false, 0));
  EXPECT_EQ(e.nameLine(), "Select a Slot First!");
  EXPECT_NE(e.takeLog().find("Request not sent: no slot of the upper bank is selected"), std::string::npos);
  e.showValueLine("v2.0.8 10-Oct-2020");  // the start's
  e.patchLibrarian->selectedSlot = 3;
  for (bool bank : {false, true})
  {
    if (bank) e.userSets(kRequestFromBank, 1);
    else ASSERT_TRUE(e.sendSinglePatchRequestSysexFromLibrarian(false, 0));
    ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 20000));
  }
  EXPECT_EQ(underRequest, "");
  EXPECT_EQ(e.nameLine(), "Data request CANCELLED!");
  EXPECT_EQ(e.valueLine(), "5 of 128 programs received");
}

// The hardware's edit-mode report raises a flag no job stands behind: a bank send
// started after it awaits no program and holds back no value from the hardware.
TEST_F(Live, ABankSendAfterAnEditModeReportHoldsBackNoValue)
{
  openBank();
  const Bytes report = {0xF0, 0x42, 0x39, 0x58, 0x4E, 0x01, 0x00, 0xF7};
  IMidiMsg cc(0, 0xB9, 74, 10);
  {
    // The send's job waits for the lock held here, so it runs as the value comes.
    WDL_MutexLock lock(&e.mMutex);
    ISysEx s(0, report.data(), (int)report.size());
    e.ProcessSysEx(&s, true);
    ASSERT_TRUE(e.manager()->patchRequested);
    e.SendAllProgramsFromLibrarian();
    ASSERT_TRUE(e.manager()->isRunning(kTransferThread));
    e.routed.clear();
    e.ProcessMidiMsg(&cc, true);
    EXPECT_EQ(e.routed.size(), 1u);
  }
  e.userSets(kCancelDataRequest, 1);
}

TEST_F(Live, BothButtonsSitOnTheOverlayAndAClickCancels)
{
  ControlLayer* layer = e.progressLayer;
  ASSERT_NE(layer, nullptr);
  std::vector<IControl*> buttons;
  for (int i = 0; i < layer->controls.GetSize(); ++i)
    if (layer->controls.Get(i)->ParamIdx() == kCancelDataRequest) buttons.push_back(layer->controls.Get(i));
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0], e.cancelButtons[0]);
  EXPECT_EQ(buttons[1], e.cancelButtons[1]);
  const double s = e.uiScale;
  EXPECT_EQ(buttons[0]->GetRECT().L, (int)(860 * s));
  EXPECT_EQ(buttons[0]->GetRECT().T, (int)(340 * s));
  // The overlay has one box: the editor pages' button sits in it too.
  EXPECT_EQ(buttons[1]->GetRECT().L, (int)(860 * s));
  EXPECT_EQ(buttons[1]->GetRECT().T, (int)(340 * s));

  // The librarian page shows the first button while a request runs, the editor
  // pages the second; a click on the shown one cancels.
  for (int page : {1, 2})
  {
    SCOPED_TRACE(page);
    e.GetParam(kMainPage)->Set(page);
    IControl* shown = buttons[page == 1 ? 0 : 1];
    IControl* other = buttons[page == 1 ? 1 : 0];
    startUnansweredRequest();
    // The job shows the overlay under the plug-in's mutex; the test reads it as a drawing pass would.
    ASSERT_TRUE(pollUntil([&] {
      WDL_MutexLock lock(&e.mMutex);
      return !shown->IsHidden();
    }, 1000));
    {
      WDL_MutexLock lock(&e.mMutex);
      EXPECT_TRUE(other->IsHidden());
    }
    const IRECT r = shown->GetRECT();
    IMouseMod mod;
    const int x = (r.L + r.R) / 2, y = (r.T + r.B) / 2;
    e.GetGUI()->OnMouseDown(x, y, &mod);
    e.GetGUI()->OnMouseUp(x, y, &mod);
    expectCancelledWithin(1000);
    EXPECT_TRUE(shown->IsHidden());
  }
}

// Parameter values as a program dump carries them.
struct Values : DumpParamAccess
{
  explicit Values(Davrel& d) : e(d) {}
  Davrel& e;
  std::map<int, double> written;
  double value(int id) override { return e.GetParam(id)->Value(); }
  void setValue(int id, double v) override { written[id] = v; }
};

// The program dump inside a sent message (the trace may frame it once more).
const unsigned char* programDumpIn(const Bytes& m)
{
  for (size_t i = 0; i + kProgramDumpSize <= m.size(); ++i)
    if (m[i] == 0xF0 && m[i + 1] == 0x42 && m[i + 3] == 0x58 && m[i + 4] == 0x40 && m[i + kProgramDumpSize - 1] == 0xF7)
      return m.data() + i;
  return nullptr;
}

struct Randomizing : Live
{
  std::vector<double> before;

  // Randomizes with the main thread's clock running; the call must not wait for the send.
  void randomize()
  {
    ASSERT_GT(e.GetParam(kMainPage)->Value(), 0.0);
    before.resize(kNumParams);
    for (int id = 0; id < kNumParams; ++id) before[(size_t)id] = e.GetParam(id)->Value();
    e.GetParam(kRandomize)->Set(1);
    const auto t0 = Clock::now();
    e.OnParamChange(kRandomize);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(100));
  }

  // The sent program dump carries the drawn values.
  void expectDumpOfDrawnValues(const std::vector<Bytes>& sent, int dumpAt)
  {
    Values parsed(e);
    parseProgramDumpParams(programDumpIn(sent[(size_t)dumpAt]), parsed, nullptr);
    int changed = 0;
    for (const auto& [id, v] : parsed.written)
    {
      const double now = e.GetParam(id)->Value();
      if (now == before[(size_t)id]) continue;
      ++changed;
      EXPECT_DOUBLE_EQ(v, now) << "parameter " << id;
    }
    EXPECT_GT(changed, 20);
  }

  int indexOf(const std::vector<Bytes>& sent, const std::function<bool(const Bytes&)>& match)
  {
    for (int i = 0; i < (int)sent.size(); ++i)
      if (match(sent[(size_t)i])) return i;
    return -1;
  }
};

TEST_F(Randomizing, SendsTheDrawnProgramWithoutHoldingTheMainThread)
{
  // With the host transport running the value display leaves names of no timbre
  // alone, so the closing request dispatch keeps the randomize text in view.
  e.transportRunning = true;
  randomize();
  EXPECT_EQ(e.nameLine(), "Patch Randomized");
  EXPECT_EQ(e.GetParam(kRandomize)->Value(), 0.0);
  IGraphics* gui = e.GetGUI();
  {
    // The send job is still changing the layers, under the plug-in's mutex.
    WDL_MutexLock lock(&e.mMutex);
    for (int i = 0; i < gui->NLayers(); ++i)
    {
      if (IControl* c = gui->GetLayer(i)->getControlFromParam(kRandomize))
      {
        EXPECT_EQ(c->GetValue(), 0.0);
      }
    }
  }
  EXPECT_TRUE(e.partRequestPending);

  ASSERT_TRUE(pollUntil([&] { return !e.manager()->isRunning(kTransferThread); }, 3000));
  const std::vector<Bytes> sent = e.takeSent();
  const int dumpAt = indexOf(sent, [](const Bytes& m) { return programDumpIn(m) != nullptr; });
  ASSERT_GE(dumpAt, 0);
  expectDumpOfDrawnValues(sent, dumpAt);
  // The request value is 0: its dispatch asks for nothing.
  EXPECT_LT(indexOf(sent, [](const Bytes& m) { return isRequest(m, 0x10); }), 0);
}

TEST_F(Randomizing, TheProgramRequestFollowsTheSend)
{
  e.GetParam(kRequestTempData)->Set(1);
  randomize();
  ASSERT_TRUE(pollUntil([&] { return sentRequest(0x10); }, 3000));
  const std::vector<Bytes> sent = e.takeSent();
  const int dumpAt = indexOf(sent, [](const Bytes& m) { return programDumpIn(m) != nullptr; });
  ASSERT_GE(dumpAt, 0);
  EXPECT_GT(indexOf(sent, [](const Bytes& m) { return isRequest(m, 0x10); }), dumpAt);
  expectDumpOfDrawnValues(sent, dumpAt);

  e.userSets(kCancelDataRequest, 1);
  expectCancelledWithin(1000);
}

TEST(RandomizeOnNoPage, DoesNothing)
{
  DataFolder data;
  EditorUnderTest e;
  e.midiOutSet = true;
  e.GetParam(kMainPage)->Set(0);
  std::vector<double> before(kNumParams);
  for (int id = 0; id < kNumParams; ++id) before[(size_t)id] = e.GetParam(id)->Value();
  e.jobs.clear();
  e.takeSent();

  e.userSets(kRandomize, 1);

  EXPECT_TRUE(e.jobs.empty());
  EXPECT_TRUE(e.takeSent().empty());
  EXPECT_NE(e.nameLine(), "Patch Randomized");
  EXPECT_FALSE(e.partRequestPending);
  for (int id = 0; id < kNumParams; ++id)
  {
    if (id != kRandomize)
    {
      EXPECT_EQ(e.GetParam(id)->Value(), before[(size_t)id]) << "parameter " << id;
    }
  }
}

}  // namespace
