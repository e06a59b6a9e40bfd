#include "base/log.h"
#include "hardware/MIDIMessageSender.h"

#include "hardware/DumpLayout.h"
#include "hardware/HardwareHost.h"
#include "hardware/MIDIMessageManager.h"
#include "hardware/SysexMessages.h"
#include "hardware/SysexPacking.h"

#include "config/ParamIds.h"
#include "librarian/BankFormats.h"
#include "librarian/PatchLibrarian.h"
#include "plug/IMidiMsg.h"
#include "winsys/kernel.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

namespace
{
const char kTimedOut[] = "CONNECTION TIMED OUT!";
const char kCancelled[] = "Data request CANCELLED!";
const char kNotSent[] = "Data request NOT SENT!";
const char kCompleted[] = "Data request completed!";
const char kProcessing[] = "Data processing, please wait...";
const char kWriteFailed[] = "Data write failed: MIDI output not available";

// The controller's parameters for the builders; nothing is written back.
struct ReadParams : DumpParamAccess
{
  HardwareHost* plug;
  explicit ReadParams(HardwareHost* p) : plug(p) {}
  double value(int id) override { return plug->GetParamValue(id); }
  void setValue(int, double) override {}
};

}  // namespace

int calculateCheckSum(std::vector<unsigned char> data)
{
  int sum = 0;
  for (unsigned char b : data)
  {
    sum += b;
    if (sum >= 128) sum -= 128;
  }
  return sum;
}

int MIDIMessageSender::calculateMultiSettings1Values(int) { return 0; }
int MIDIMessageSender::calculateMultiSettings2Values(int) { return 0; }
int MIDIMessageSender::buildSustainValues(int) { return 0; }

MIDIMessageSender::MIDIMessageSender(MIDIMessageManager* manager_, HardwareHost* plug_, PatchManager* patchManager_)
    : patchManager(patchManager_), plug(plug_), manager(manager_)
{
}

MIDIMessageSender::~MIDIMessageSender() {}

void MIDIMessageSender::logTimeOut(int function, int waits)
{
  char what[48];
  if (function >= 0) snprintf(what, sizeof what, "the request (function %02X)", function);
  else snprintf(what, sizeof what, "the transfer");
  plug->logText(std::string("Request failed: timed out, no answer to ") + what + " after " + std::to_string(waits) +
                " waits");
}

bool MIDIMessageSender::refusedEnds(int function)
{
  if (!manager->requestRefused() || plug->incomingSysExProcessed.load()) return false;
  char what[48];
  snprintf(what, sizeof what, "the request (function %02X)", function);
  plug->showStatusText(kNotSent);
  plug->logText(std::string("Request failed: ") + what +
                " was not sent: the MIDI output refused it (its port or its JACK server gone, or its queue full)");
  requestFailed.store(true);
  return true;
}

void MIDIMessageSender::run()
{
  const bool transferJob = this == manager->senders[kTransferThread];
  do
  {
    try
    {
      if (transferJob) takeEditor();
      // The pause a starter's own message (a program change) needs before the job's
      // first one, waited here rather than on the starter's thread.
      if (leadInMs > 0) wait(leadInMs);
      leadInMs = 0;
      if (transferJob) waitUnit = plug->getTimerValue();
      runCommand();
    }
    catch (const EditorClosed&)
    {
      // Teardown holds the editor: the job changes nothing more.
    }
    catch (...)
    {
      // Whatever else ends the job does not leave the editor locked, nor its request alive.
      editorAsked = librarianAsked = false;
      if (transferJob) manager->closeRequest();
      if (holdsEditor) releaseEditor();
      throw;
    }
    // The job's request ends with it, however it ended: an answer it holds goes in
    // unless cancelled, one still to come is owed. Without the editor (teardown) nothing.
    if (transferJob && holdsEditor) endRequests();
    editorAsked = librarianAsked = false;
    if (transferJob) manager->closeRequest();
    // Given up before the start lock: the starters take that one under the editor's.
    if (holdsEditor) releaseEditor();
  } while (manager->jobFinished(this));
}

void MIDIMessageSender::takeEditor()
{
  if (!plug->enterEditorLock(manager->isClosing)) throw EditorClosed();
  holdsEditor = true;
}

void MIDIMessageSender::releaseEditor()
{
  holdsEditor = false;
  plug->leaveEditorLock();
}

void MIDIMessageSender::runCommand()
{
  switch (command)
  {
    case kSendArrangementToDevice: sendArrangementToDevice(toLibrarian); break;
    case kSendGlobalToDevice: sendGlobalToDevice(); break;
    case kSendPatchToDeviceFromLibrarian: sendProgramToDeviceFromLibrarian(program, slotNumber); break;
    case kStoreAllPatchesToDeviceFromLibrarian: storeAllPatchesToDeviceFromLibrarian(storeBankSide, slotNumber); break;
    case kSendActiveArrangementRequest: sendActiveArrangementRequestSysex(requestTarget); break;
    case kSendPartRequest: sendPartRequestSysex(requestTarget); break;
    case kSendSinglePatchRequest: sendSinglePatchRequestSysex(skipProgramChange); break;
    case kSendAllPatchRequest: sendAllPatchRequestSysex(); break;
    case kInitClassicPatch: initClassicPatch(initArg); break;
    case kSendDeviceIdEnquiry: sendDeviceIdEnquiry(); break;
    case kSendPartDataBack: sendPartDataBack(); break;
    case kStartMIDIClockOutput: startMIDIClockOutput(); break;
    case kSendContinuousMIDIClock: sendContinuousMIDIClock(clockTempo); break;
    case kStopMIDIClockOutput: stopMIDIClockOutput(); break;
    default: break;
  }
}

void MIDIMessageSender::resetContinuousClock(bool stop) { manager->resetContinuousClock(stop); }

bool MIDIMessageSender::closing() const { return manager->closing(); }

bool MIDIMessageSender::wait(int ms)
{
  if (closing()) return false;
  // The answer a job waits for comes in on the MIDI input thread, under the
  // editor's lock; the main thread needs it meanwhile too.
  const bool held = holdsEditor;
  if (held) releaseEditor();
  bool waited = true;
  if (ms <= 0)
  {
    Sleep(0);
    waited = !closing();
  }
  else
  {
    const DWORD start = GetTickCount();
    for (;;)
    {
      const int elapsed = (int)(GetTickCount() - start);
      if (elapsed >= ms) break;
      const int left = ms - elapsed;
      Sleep(left < 20 ? left : 20);
      if (closing())
      {
        waited = false;
        break;
      }
      // A request the output refused gets no answer: its job is not kept waiting.
      if (this == manager->senders[kTransferThread] && manager->requestRefused()) break;
    }
  }
  if (held) takeEditor();
  return waited;
}

bool MIDIMessageSender::programChange(int program)
{
  plug->SendProgramChangeCommand(program, 0);
  return !plug->midiOutSet.load() || wait(waitUnit / 2);
}

bool MIDIMessageSender::sendBody(const std::vector<uint8_t>& body)
{
  if (closing() || body.empty()) return false;
  return plug->checksumCheckAndSend(body.data(), (int)body.size());
}

bool MIDIMessageSender::sendRequest(uint8_t function, uint8_t channelByte)
{
  exchangeFunction = function;
  exchangeChannel = channelByte;
  return sendBody(makeRequestBody(function, channelByte));
}

void MIDIMessageSender::resendAfterInputChoice()
{
  if (!manager->takeResendAsked() || plug->incomingSysExProcessed.load() || closing()) return;
  char line[96];
  snprintf(line, sizeof line, "Request (function %02X) sent again: an input port was chosen while it waited",
           exchangeFunction);
  plug->logText(line);
  sendBody(makeRequestBody(exchangeFunction, exchangeChannel));
}

// All notes off before a program goes out: control change 123, value 0, on MIDI
// channel 1, as the synthesizer expects it ahead of a program dump.
static void allNotesOff(HardwareHost* plug, bool logged)
{
  IMidiMsg m;
  m.MakeControlChangeMsg(IMidiMsg::kAllNotesOff, 0.0, 0);
  if (logged) plug->sendMidiMsgAndLog(&m);
  else if (plug->midiOutSet.load()) plug->SendMidiMsg(&m);
}

bool MIDIMessageSender::channelSearch(int pause, uint8_t function, bool showSearchText, bool failOnCancel)
{
  for (int c = 0; c < 16; ++c)
  {
    sendBody(makeRequestBody(function, (uint8_t)(0x30 + c)));
    if (function == 0x10 && 0x30 + c == plug->sysexChannelByte.load()) ++ownChannelAsks;
    if (showSearchText) plug->showStatusText(("Please wait, checking DeviceID " + std::to_string(c + 1)).c_str());
    if (!wait(pause) || cancelRequested.load())
    {
      if (failOnCancel || closing()) requestFailed.store(true);
      return false;
    }
    if (plug->incomingSysExProcessed.load() || manager->requestRefused()) return true;
  }
  return true;
}

int MIDIMessageSender::answerWait(int T, int searchAt, int searchPause, int giveUp, bool cancelEachStep,
                                  bool failOnSearchCancel, uint8_t function, bool showSearchText, const char* timeoutText)
{
  int result = 1;
  for (int step = 1;; ++step)
  {
    if (!wait(T))
    {
      requestFailed.store(true);
      result = 2;
      break;
    }
    if (cancelEachStep && cancelRequested.load())
    {
      requestFailed.store(true);
      result = 2;
      break;
    }
    // Refused: settled as a time-out is, at once.
    if (manager->requestRefused() && !plug->incomingSysExProcessed.load())
    {
      if (!manager->libraryPatchRequest.giveUp())
      {
        result = 0;
        break;
      }
      refusedEnds(function);
      result = 3;
      break;
    }
    // A cancel stops the search only; the wait itself ends at its own cancel check
    // (the next step), or, for a job that looks at cancel only in the search, runs on.
    if (step == searchAt && !channelSearch(searchPause, function, showSearchText, failOnSearchCancel) && closing())
    {
      result = 2;
      break;
    }
    // The librarian's answer taken during the last wait settles its request; once
    // given up, one that comes later is taken as late.
    if (step == giveUp && manager->libraryPatchRequest.ownedByJob.load() && !manager->libraryPatchRequest.giveUp())
    {
      result = 0;
      break;
    }
    if (step == giveUp)
    {
      showLines(timeoutText, "");
      logTimeOut(function, step);
      requestFailed.store(true);
      result = 1;
      break;
    }
    if (plug->incomingSysExProcessed.load())
    {
      result = 0;
      break;
    }
    resendAfterInputChoice();
  }
  return result;
}

// ---- requests ----------------------------------------------------------------------

int MIDIMessageSender::askPastOwedAnswers()
{
  const int owed = manager->owedAnswers();
  if (owed == 0) return 0;
  // The synthesizer answers in the order it is asked: the enquiry's answer (its global
  // data, no program) comes after every program answer still to come. Once it, or every
  // answer owed, is in, the first program dump after the request is the request's own.
  plug->showSecondLineText("Asking past an earlier request's answer");
  plug->logText("Global data enquiry sent ahead of the program request: " + std::to_string(owed) +
                " earlier program answer(s) owed");
  manager->oweEnquiryAnswer();
  const uint8_t channel = plug->sysexChannelByte.load();
  sendBody(makeRequestBody(0x0E, channel));
  // As long as the request itself would wait, its Cancel looked at as often.
  const DWORD start = GetTickCount();
  for (;;)
  {
    if (!wait(10) || cancelRequested.load()) return 2;
    if (refusedEnds(0x0E)) return 2;
    if (manager->owedAnswers() == 0) break;
    if ((int)(GetTickCount() - start) >= 35 * waitUnit)
    {
      showLines(kTimedOut, "No answer to the enquiry sent ahead");
      plug->logText("Request (function 10) not sent: no answer to the global data enquiry sent ahead of it, so its "
                    "answer could not be told from one owed to an earlier request");
      return 1;
    }
    // Its answer may have gone to the input left: asked again, a second entry.
    if (manager->takeResendAsked())
    {
      plug->logText("Enquiry (function 0E) sent again: an input port was chosen while it waited");
      manager->oweEnquiryAnswer();
      sendBody(makeRequestBody(0x0E, channel));
    }
  }
  plug->showSecondLineText("");
  return 0;
}

int MIDIMessageSender::askForProgram(bool forEditor)
{
  const int past = askPastOwedAnswers();
  if (past != 0)
  {
    requestFailed.store(true);
    return past;
  }
  sendRequest(0x10, plug->sysexChannelByte.load());
  (forEditor ? editorAsked : librarianAsked) = true;
  ownChannelAsks = 1;
  otherChannelMark = manager->otherChannelAnswers.load();
  return 0;
}

bool MIDIMessageSender::ownChannelUnanswerable() const
{
  return manager->otherChannelAnswers.load() != otherChannelMark;
}

void MIDIMessageSender::endEditorRequest()
{
  if (!editorAsked) return;
  editorAsked = false;
  const int repeats = std::exchange(ownChannelAsks, 0) - 1;
  // A request the output refused never reached the synthesizer, and one on a channel
  // it does not answer on gets no answer: nothing is owed.
  if (manager->requestRefused() || ownChannelUnanswerable()) return;
  if (!plug->incomingSysExProcessed.load())
  {
    MIDIMessageManager::OwedAnswer owed;
    owed.cancelled = cancelRequested.load();
    manager->owe(owed, waitUnit);
  }
  manager->oweRepeats(repeats, waitUnit);
}

bool MIDIMessageSender::endLibrarianRequest()
{
  const bool asked = librarianAsked && !manager->requestRefused() && !ownChannelUnanswerable();
  // The count is the request's that asked: an editor's request ended after this
  // one (endRequests) keeps its own.
  const int repeats = librarianAsked ? std::exchange(ownChannelAsks, 0) - 1 : 0;
  librarianAsked = false;
  const bool stored = manager->settleLibrarianRequest(cancelRequested.load(), asked, waitUnit);
  // Owed after the request's own answer, which comes first.
  if (asked) manager->oweRepeats(repeats, waitUnit);
  return stored;
}

void MIDIMessageSender::endRequests()
{
  endLibrarianRequest();
  endEditorRequest();
}

void MIDIMessageSender::showLines(const char* first, const char* second)
{
  plug->showStatusText(first);
  plug->showSecondLineText(second);
}

void MIDIMessageSender::finishLibrarianRequest()
{
  // Settled after the job's last wait, with the overlay still up: a Cancel pressed
  // at any moment before leaves the slot as it was.
  manager->refusal.clear();
  const bool stored = endLibrarianRequest();
  if (cancelRequested.load()) showLines(kCancelled, "");
  // A time-out has said so; an answer that came after it, taken, has said that.
  else if (requestFailed.load()) return;
  else if (stored)
  {
    showLines(kCompleted, "");
    plug->SetLibrarianStatusUnsaved(true);
  }
  else
  {
    // The store said why, in the log as well.
    showLines("Answer not taken", manager->refusal.c_str());
  }
}

void MIDIMessageSender::sendPartRequestSysex(bool target)
{
  plug->DisplayProcessingIndicator(true);
  requestFailed.store(false);
  plug->SetLibrarianRequestActive(!target);
  if (!target) manager->libraryPatchRequest.ownedByJob.store(true);
  const int T = waitUnit;
  manager->openRequest(target ? MIDIMessageManager::kAwaitsProgramForEditor
                              : MIDIMessageManager::kAwaitsProgramForLibrarian);
  int r = 2;
  plug->showSecondLineText("");
  if (askForProgram(target) == 0)
  {
    wait(T);
    plug->showStatusText(kProcessing);
    r = answerWait(T, 30, T, 35, true, true, 0x10, false, kTimedOut);
  }
  if (!(target && r == 0)) wait(T);
  if (!target)
  {
    finishLibrarianRequest();
    plug->DisplayProcessingIndicator(false);
    return;
  }
  endEditorRequest();
  plug->DisplayProcessingIndicator(false);
  if (cancelRequested.load()) showLines(kCancelled, "");
  else if (!requestFailed.load()) showLines(kCompleted, "");
}

void MIDIMessageSender::sendSinglePatchRequestSysex(bool skipProgramChange)
{
  plug->DisplayProcessingIndicator(true);
  requestFailed.store(false);
  plug->SetLibrarianRequestActive(true);
  manager->libraryPatchRequest.ownedByJob.store(true);
  const int T = waitUnit;
  // The hardware's current program (with its unsaved edit) is asked for as it is: a
  // program change would replace it with the stored one first.
  if (!skipProgramChange)
  {
    programChange(plug->librarianProgramNumber.load());
    wait(T / 2);
  }
  manager->openRequest(MIDIMessageManager::kAwaitsProgramForLibrarian);
  // Nothing of the start's or an earlier job's under it.
  showLines(kProcessing, "");
  if (askForProgram(false) == 0) answerWait(T, 30, T, 35, true, true, 0x10, false, kTimedOut);
  finishLibrarianRequest();
  plug->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendAllPatchRequestSysex()
{
  plug->DisplayProcessingIndicator(true);
  requestFailed.store(false);
  plug->SetLibrarianRequestActive(true);
  const int T = waitUnit;
  IMidiMsg bank;
  // Bank select LSB 0 on MIDI channel 1 ahead of the 128 program changes.
  bank.MakeControlChangeMsg((IMidiMsg::EControlChangeMsg)32, 0.0, 0);
  if (plug->midiOutSet.load() && !closing()) plug->SendMidiMsg(&bank);
  wait(T);
  showLines(kProcessing, "");
  PatchLibrarian* lib = manager->librarian;
  int received = 0;
  std::string count = "0 of 128 programs received";
  for (int p = 0; p < 128 && !closing(); ++p)
  {
    plug->DisplayProcessingIndicator(true);
    if (lib)
    {
      lib->allPatchesRequestIndex.store(p);
      // Each answer goes to the slot of its own program number.
      lib->selectedSlot.store(p);
    }
    plug->SetLibrarianRequestActive(true);
    manager->libraryPatchRequest.ownedByJob.store(true);
    plug->upperHighlightedSlot.store(p);
    programChange(p);
    wait(50);
    if (cancelRequested.load()) break;
    manager->openRequest(MIDIMessageManager::kAwaitsProgramForLibrarian);
    const bool failedBefore = requestFailed.exchange(false);
    int r = askForProgram(false);
    if (r == 0) r = answerWait(T, 30, T, 35, false, false, 0x10, false, kTimedOut);
    // Each answer goes into its slot as its wait ends; one the user cancelled does not.
    const bool stored = endLibrarianRequest();
    if (failedBefore) requestFailed.store(true);
    // The running count: a bank takes a minute or more, and a silent slot shows as one not counted.
    if (stored) ++received;
    count = std::to_string(received) + " of 128 programs received";
    plug->showSecondLineText(count.c_str());
    plug->DisplayProcessingIndicator(false);
    // An output that refuses would refuse the rest too.
    if (r >= 2 || cancelRequested.load()) break;
  }
  // The programs taken before a Cancel stay, the bank marked as edited: Discard drops
  // them. The count stands under the end's line (a line of its own clears the second).
  if (cancelRequested.load()) showLines(kCancelled, count.c_str());
  else if (!requestFailed.load() && !closing()) showLines(kCompleted, count.c_str());
  // The programs came one by one through the single-program road: a bank dump
  // arriving from now on answers nothing, and the collector the starter armed for
  // one must not take the next program dump (a send shown in the editor, a
  // program fetched after a program change) into a slot of the bank.
  manager->libraryPatchRequestAll.libraryRequestAllActive.store(false);
  manager->libraryPatchRequest.libraryRequestActive.store(false);
  // A bank none of whose slots changed is not marked.
  if (received > 0) plug->SetLibrarianStatusUnsaved(true);
  plug->DisplayProcessingIndicator(false);
  if (lib) lib->allPatchesRequestIndex.store(0);
}

void MIDIMessageSender::sendActiveArrangementRequestSysex(bool)
{
  plug->DisplayProcessingIndicator(true);
  requestFailed.store(false);
  const int T = waitUnit;

  plug->SetLibrarianRequestActive(false);
  manager->tabRefreshPending.store(true);
  manager->openRequest(MIDIMessageManager::kAwaitsProgramForEditor);
  if (askForProgram(true) == 0) answerWait(T, 25, T / 2, 35, true, false, 0x10, true, kTimedOut);
  plug->DisplayProcessingIndicator(true);

  wait(T);
  endEditorRequest();
  if (cancelRequested.load())
  {
    showLines(kCancelled, "");
    plug->DisplayProcessingIndicator(false);
    return;
  }
  if (requestFailed.load())
  {
    plug->DisplayProcessingIndicator(false);
    return;
  }
  // The globals are refreshed too: the router takes the answer while this is set.
  manager->openRequest(MIDIMessageManager::kAwaitsGlobals);
  manager->globalRequested.store(true);
  sendRequest(0x0E, plug->sysexChannelByte.load());
  plug->showStatusText("Please wait! 95% received..");
  for (int step = 1;; ++step)
  {
    if (!wait(T))
    {
      requestFailed.store(true);
      break;
    }
    plug->showStatusText("Processing, please wait...");
    if (cancelRequested.load() || refusedEnds(0x0E)) break;
    if (step == 35)
    {
      plug->showStatusText(kTimedOut);
      logTimeOut(0x0E, step);
      requestFailed.store(true);
      break;
    }
    if (plug->incomingSysExProcessed.load()) break;
    resendAfterInputChoice();
  }
  manager->globalRequested.store(false);
  wait(T);
  if (cancelRequested.load()) showLines(kCancelled, "");
  else if (!requestFailed.load()) showLines(kCompleted, "");
  plug->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendDeviceIdEnquiry()
{
  plug->DisplayProcessingIndicator(true);
  plug->SetLibrarianRequestActive(false);
  manager->patchRequested.store(false);
  plug->sysExInitRequested.store(true);
  plug->showStatusText("Connecting to Hardware");
  requestFailed.store(false);
  const int T = waitUnit;
  manager->openRequest(MIDIMessageManager::kAwaitsGlobals);
  sendRequest(0x0E, plug->sysexChannelByte.load());
  for (int step = 1;; ++step)
  {
    if (!wait(T))
    {
      requestFailed.store(true);
      break;
    }
    plug->showStatusText("Processing, please wait...");
    if (step == 15)
    {
      if (plug->dataMismatch.load()) break;
      channelSearch(T / 2, 0x0E, false, false);
    }
    if (cancelRequested.load() || refusedEnds(0x0E)) break;
    if (step == 25)
    {
      plug->showStatusText("No response from Hardware");
      logTimeOut(0x0E, step);
      requestFailed.store(true);
      break;
    }
    if (plug->incomingSysExProcessed.load()) break;
    resendAfterInputChoice();
  }
  if (plug->dataMismatch.load())
  {
    plug->showSecondLineText("DATA MISMATCH");
    plug->showStatusText("DV MIDI CLOCK TURNED OFF!");
    requestFailed.store(true);
  }
  wait(T);
  // A cancelled enquiry has not found the hardware and must not say it has.
  if (cancelRequested.load() && !plug->incomingSysExProcessed.load())
  {
    requestFailed.store(true);
    plug->showStatusText(kCancelled);
  }
  if (!requestFailed.load()) plug->showStatusText("Plug-in is ready to go!");
  plug->DisplayProcessingIndicator(false);
}

// ---- sends ---------------------------------------------------------------------------

void MIDIMessageSender::sendArrangementToDevice(bool toLib)
{
  plug->DisplayProcessingIndicator(true);
  if (plug->sendGlobalWithProgram.load()) sendGlobalToDevice();
  if (!plug->globalSettingsSent.load()) sendGlobalToDevice();
  const int T = waitUnit;

  std::vector<uint8_t> buf = buildEditorProgram(plug);
  for (int i = 0; i < kProgramDumpSize; ++i)
  {
    const int old = plug->getProgramValueByParts(partIndex, 0, i);
    if (old != buf[(size_t)i])
      ConsoleLog("Part %i index %i changed in SINGLE from\t - Value: %i to Value: %i\n", partIndex + 1, i, old,
                 buf[(size_t)i]);
    plug->setProgramValueByParts(partIndex, 0, i, buf[(size_t)i]);
  }
  const std::string name = plug->GetParamDisplayText(kPatchName);
  writeProgramDumpName(name, buf.data());
  plug->setProgramName(name.empty() ? "Set Name" : name);
  plug->setLibrarianViewDirty();
  wait(T);

  if (toLib)
  {
    plug->feedSysExFromLibrarian(buf.data(), kProgramDumpSize);
    wait(T);
    plug->SetLibrarianStatusUnsaved(true);
  }
  else
  {
    sendBody(buf);
    wait(T);
  }
  plug->partChangeActive.store(false);
  plug->patchLoadingInProcess.store(false);
  manager->sendPending.store(false);
  plug->DisplayProcessingIndicator(false);
}

std::vector<uint8_t> MIDIMessageSender::buildEditorProgram(HardwareHost* plug)
{
  std::vector<uint8_t> stored(kProgramDumpSize), buf(kProgramDumpSize);
  // Each timbre's stored bytes are kept in its own table.
  for (int i = 0; i < kProgramDumpSize; ++i)
    stored[(size_t)i] = (uint8_t)plug->getProgramValueByParts(i < kProgramTimbre2FirstRaw ? 0 : 1, 0, i);
  makeBlankProgramDump(plug->sysexChannelByte.load(), buf.data());
  ReadParams params(plug);
  buildProgramDumpOver(params, stored.data(), buf.data());
  return buf;
}

std::vector<uint8_t> MIDIMessageSender::buildEditorGlobal(HardwareHost* plug)
{
  std::vector<uint8_t> msg(kGlobalDumpSize);
  for (int i = 0; i < kGlobalDumpSize; ++i) msg[(size_t)i] = (uint8_t)plug->globalBytes[i].load();
  msg[0] = 0xF0;
  msg[1] = kSysexManufacturerId;
  msg[2] = plug->sysexChannelByte.load();
  msg[3] = kSysexModelId;
  msg[4] = kSysexGlobalDumpFunction;
  msg[kGlobalDumpSize - 1] = 0xF7;
  ReadParams params(plug);
  buildGlobalDumpParams(params, msg.data());
  return msg;
}

void MIDIMessageSender::sendGlobalToDevice()
{
  plug->DisplayProcessingIndicator(true);
  // Only what the synthesizer told us goes back, with the editor's changes: without a
  // received global dump there is nothing trustworthy to send.
  if (!plug->globalBytesValid.load())
  {
    ConsoleLog("No global data received from the hardware yet, nothing sent.\n");
    plug->DisplayProcessingIndicator(false);
    return;
  }
  const std::vector<uint8_t> msg = buildEditorGlobal(plug);
  plug->globalSettingsSent.store(true);
  sendBody(std::vector<uint8_t>(msg.begin() + 1, msg.end() - 1));
  wait(3000);
  manager->sendPending.store(false);
  plug->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::sendPatchToDeviceFromLibrarian(LibrarianPatch* slotPatch, int, int slot)
{
  std::vector<uint8_t> bytes;
  if (slotPatch && !slotPatch->messages.empty()) bytes = slotPatch->messages.front().bytes;
  sendProgramToDeviceFromLibrarian(bytes, slot);
}

void MIDIMessageSender::sendProgramToDeviceFromLibrarian(const std::vector<uint8_t>& program, int slot)
{
  if (editOffFirst)
  {
    const uint8_t off[] = {kSysexManufacturerId, plug->sysexChannelByte.load(), kSysexModelId, 0x4E, 0x00, 0x00};
    plug->editModeOn.store(false);
    sendBody(std::vector<uint8_t>(off, off + sizeof(off)));
  }
  // Read once: a store asked for while this job runs is not this job's.
  const bool store = storeAfterSend || plug->writeAfterSend.load();
  plug->DisplayProcessingIndicator(true);
  allNotesOff(plug, false);
  wait(50);
  if (!isProgramDump(program.data(), (int)program.size()))
  {
    if (store) plug->writeAfterSend.store(false);
    plug->DisplayProcessingIndicator(false);
    return;
  }
  std::vector<uint8_t> buf = program;
  // Slots hold whole, correctly packed programs; they go out as stored on every road.

  // A timbre load makes the editor's program with one timbre from the slot: that is
  // for listening. A store writes the slot itself into the program of its number,
  // which the merge would overwrite with another program.
  if (!store && (plug->loadToTimbre1.load() || plug->loadToTimbre2.load()))
  {
    std::vector<uint8_t> cur = buildEditorProgram(plug);
    writeProgramDumpName(plug->GetParamDisplayText(kPatchName), cur.data());
    const int from = plug->readFromTimbre2.load() ? 108 : 0;
    const int to = plug->loadToTimbre2.load() ? 108 : 0;
    for (int d = 39; d <= 145; ++d) writeDumpDataByte(cur.data(), d + to, readDumpDataByte(buf.data(), d + from));
    buf.swap(cur);
  }

  if (plug->GetParamValue(kOverrideTempo) == 1.0)
  {
    const int v = (int)std::lround(plug->GetParamValue(kArpTempo));
    buf[40] = v > 235 ? 1 : 0;
    buf[41] = (uint8_t)(((v + 20) % 256) & 0x7F);
    if (buf[37] == 0x00 || buf[37] == 0x10) buf[37] = (uint8_t)((buf[37] & 0x10) | (v >= 108 && v <= 235 ? 0x08 : 0));
  }
  if (plug->GetParamValue(kLockPartMIDIch) == 1.0)
  {
    const int ch = (int)plug->GetParamValue(kMultiPartMIDICh);
    buf[49] = ch >= 16 ? 0x7F : (uint8_t)ch;
    buf[45] = (uint8_t)((buf[45] & ~0x08) | (ch >= 16 ? 0x08 : 0));
  }
  if (plug->GetParamValue(kLockPartMIDIch + 1) == 1.0)
  {
    const int ch = (int)plug->GetParamValue(kMultiPartMIDICh + 1);
    buf[172] = ch >= 16 ? 0x7F : (uint8_t)ch;
    buf[165] = ch >= 16 ? 0x40 : 0;
  }
  buf[2] = plug->sysexChannelByte.load();
  const bool sent = sendBody(buf);
  const int T = waitUnit;
  if (store)
  {
    // Without the program the write would store whatever the hardware holds.
    if (sent) wait(T);
    if (!sent || !sendBody(makeWriteRequestBody(plug->sysexChannelByte.load(), slot)))
    {
      if (!closing()) plug->showStatusText(kWriteFailed);
    }
    else
      wait(1800);
    plug->writeAfterSend.store(false);
  }
  else
  {
    plug->SetLibrarianRequestActive(false);
    ISysEx s(0, buf.data(), (int)buf.size());
    plug->ProcessSysEx(&s, true);
    // The job's own program, shown in the editor: no request of the hardware's, so
    // it is taken there and then (the job holds the editor) or not at all.
    const bool shown = manager->dataProcessed.load();
    manager->patchRequested.store(false);
    for (int step = 1; step <= 20; ++step)
    {
      if (!wait(T)) break;
      if (step == 20)
      {
        plug->showStatusText(kTimedOut);
        logTimeOut(-1, step);
        break;
      }
      if (shown) break;
    }
  }
  plug->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::storeAllPatchesToDeviceFromLibrarian(int side, int)
{
  plug->DisplayProcessingIndicator(true);
  allNotesOff(plug, true);
  wait(50);
  PatchLibrarian* lib = manager->librarian;
  // The programs are copied out under the librarian's lock; the long transfer then
  // runs without holding it.
  std::vector<std::vector<uint8_t>> programs = this->programs;
  bool found = !programs.empty();
  if (lib && !found)
  {
    WDL_MutexLock lock(&lib->libraryMutex);
    PatchFile* bank = side == 0 ? lib->bankAt(lib->upperFileIndex.load()) : lib->bankAt(lib->lowerFileIndex.load());
    if (bank)
    {
      found = true;
      for (const LibrarianPatch& slot : bank->patches)
        programs.push_back(slot.messages.empty() ? std::vector<uint8_t>() : std::vector<uint8_t>(slot.messages.front().bytes));
    }
  }
  if (!found)
  {
    plug->DisplayProcessingIndicator(false);
    return;
  }
  bool ended = false, refused = false;
  int written = 0, firstWritten = -1, lastWritten = -1;
  // A Cancel pressed during the opening wait sends nothing.
  for (int p = 0; p < 128 && !cancelRequested.load(); ++p)
  {
    manager->patchRequested.store(false);
    manager->libraryPatchRequest.libraryRequestActive.store(false);
    manager->libraryPatchRequestAll.libraryRequestAllActive.store(false);
    if (p >= (int)programs.size() || !isProgramDump(programs[(size_t)p].data(), (int)programs[(size_t)p].size()))
    {
      ended = true;
      break;
    }
    if (!programChange(p) || !wait(75)) break;
    std::vector<uint8_t>& buf = programs[(size_t)p];
    buf[2] = plug->sysexChannelByte.load();
    if (plug->librarianLowerSide.load()) plug->lowerHighlightedSlot.store(p);
    else plug->upperHighlightedSlot.store(p);
    if (lib) lib->allPatchesRequestIndex.store(p);
    plug->DisplayProcessingIndicator(true);
    // A port that refuses the bytes ends the store: nothing more would arrive.
    if (!sendBody(buf))
    {
      refused = true;
      break;
    }
    if (!wait(500)) break;
    if (!sendBody(makeWriteRequestBody(plug->sysexChannelByte.load(), p)))
    {
      refused = true;
      break;
    }
    ++written;
    if (firstWritten < 0) firstWritten = p;
    lastWritten = p;
    if (!wait(1800)) break;
    plug->showStatusText(("Please wait! Writing.. " + std::to_string(p * 100 / 127) + "%").c_str());
    if (cancelRequested.load()) break;
  }
  if (!ended && !closing())
  {
    const bool cancelled = !refused && cancelRequested.load();
    plug->showStatusText(refused ? kWriteFailed : cancelled ? "Data write cancelled!" : "Data write completed!");
    // After a cancel or a failure the user must know which hardware programs now hold the bank's.
    if (cancelled || refused)
    {
      std::string what = written == 0 ? std::string("No program written")
                                       : std::to_string(written) + (written == 1 ? " program" : " programs") +
                                             " written: slots " + std::to_string(firstWritten + 1) + "-" +
                                             std::to_string(lastWritten + 1);
      plug->showSecondLineText(what.c_str());
    }
    else plug->showSecondLineText("");  // nothing of an earlier job's under it
  }
  plug->DisplayProcessingIndicator(false);
  if (lib) lib->allPatchesRequestIndex.store(0);
}

void MIDIMessageSender::sendPartDataBack()
{
  // The program request of the step has ended when this runs; its answer is in.
  if (plug->midiOutSet.load() && !plug->patchLoadingInProcess.load()) wait(200);
  int waited = 0;
  do
  {
    if (!wait(200)) return;
    waited += 200;
    ConsoleLog("Sleeping while patch request is finished: %i ms passed - counting..\n", waited);
  } while (manager->patchRequested.load() && !cancelRequested.load());
  if (!plug->anySectionLocked()) return;
  ConsoleLog("Sending full arrange to hardware!\n");
  manager->sendPending.store(true);
  partIndex = 0;
  sendArrangementToDevice(false);
}

void MIDIMessageSender::initClassicPatch(bool)
{
  plug->DisplayProcessingIndicator(true);
  std::vector<uint8_t> buf = mkInitPatchData();
  buf[2] = plug->sysexChannelByte.load();
  // Into the selected slot, not into the editor.
  manager->patchRequested.store(false);
  plug->feedSysExFromLibrarian(buf.data(), (int)buf.size());
  wait(100);
  plug->SetLibrarianStatusUnsaved(true);
  plug->DisplayProcessingIndicator(false);
}

void MIDIMessageSender::GenTapPatternCode(char* out, const char* in)
{
  long v[3] = {0, 0, 0};
  for (int k = 0; k < 15; ++k)
  {
    const int digit = in[2 * k] | (8 * in[2 * k + 1]);
    v[k / 5] = v[k / 5] * 24 + digit;
  }
  const long A = v[0], B = v[1], C = v[2];
  out[0] = (char)(A & 0x7F);
  out[1] = (char)((A >> 7) & 0x7F);
  out[2] = (char)((A >> 14) & 0x7F);
  out[3] = (char)((((A >> 21) & 3) + 4 * B) & 0x7F);
  out[4] = (char)((B >> 5) & 0x7F);
  out[5] = (char)((B >> 12) & 0x7F);
  out[6] = (char)((16 * C | ((B >> 19) & 15)) & 0x7F);
  out[7] = (char)((C >> 3) & 0x7F);
  out[8] = (char)((C >> 10) & 0x7F);
  out[9] = (char)((C >> 17) & 63);
  out[10] = (char)(((8 * in[31]) & 127) | (in[30] & 127) | ((4 * in[32]) & 96));
}
