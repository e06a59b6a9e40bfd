#include "base/log.h"
#include "hardware/MIDIMessageManager.h"

#include "hardware/DumpLayout.h"
#include "hardware/HardwareHost.h"
#include "hardware/SysexPacking.h"

#include "config/ParamIds.h"
#include "librarian/BankFormats.h"
#include "librarian/PatchLibrarian.h"
#include "plug/ByteChunk.h"
#include "plug/IMidiMsg.h"
#include "winsys/kernel.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace
{
void log(const char* fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  ConsoleLogFormat(fmt, ap);
  va_end(ap);
}

// The controller's parameters as the dump tables see them: values from the hardware
// go through SetParameterFromPlug so that the controls follow.
struct HostParams : DumpParamAccess
{
  HardwareHost* plug;
  explicit HostParams(HardwareHost* p) : plug(p) {}
  double value(int id) override { return plug->GetParamValue(id); }
  void setValue(int id, double v) override { plug->SetParameterFromPlug(id, v); }
};

bool isOneOf(int v, std::initializer_list<int> set)
{
  for (int x : set)
    if (x == v) return true;
  return false;
}

int eightPosition(int v)
{
  switch (v)
  {
    case 18: return 1;
    case 36: return 2;
    case 54: return 3;
    case 72: return 4;
    case 90: return 5;
    case 108: return 6;
    case 126: return 7;
  }
  return v;
}
int fivePosition(int v)
{
  switch (v)
  {
    case 26: return 1;
    case 51: return 2;
    case 77: return 3;
    case 102: return 4;
    case 127: return 5;
  }
  return v;
}

// The jobs that Cancel stops. Their flag is cleared when the job is written, before
// any of its waits, so that a Cancel pressed during one is never forgotten.
bool clearsCancelAtStart(int command)
{
  switch (command)
  {
    case kStoreAllPatchesToDeviceFromLibrarian:
    case kSendActiveArrangementRequest:
    case kSendPartRequest:
    case kSendSinglePatchRequest:
    case kSendAllPatchRequest:
    case kSendDeviceIdEnquiry: return true;
    default: return false;
  }
}

int threePosition(int v) { return v == 43 ? 1 : v == 85 ? 2 : v == 127 ? 3 : v; }
int twoPosition(int v) { return v == 64 ? 1 : v == 127 ? 2 : v; }
int fifteenStep(int v)
{
  int step = 0;
  for (int k = 1; k <= 14; ++k)
    if (v >= (int)std::floor(8.5 * k) + 1) step = k;
  return step;
}
}  // namespace

void HardwareHost::logText(const std::string& line) { ConsoleLog("%s\n", line.c_str()); }

namespace
{
thread_local LibrarianFeedScope* innermostFeed = nullptr;
// The router is splitting a bank dump that answers the all-programs request: the
// programs the librarian feeds back meanwhile are that answer's.
thread_local int bankDumpSplits = 0;
struct BankDumpSplit
{
  BankDumpSplit() { ++bankDumpSplits; }
  ~BankDumpSplit() { --bankDumpSplits; }
};
}  // namespace

LibrarianFeedScope::LibrarianFeedScope() : outer(innermostFeed) { innermostFeed = this; }
LibrarianFeedScope::~LibrarianFeedScope() { innermostFeed = outer; }
bool LibrarianFeedScope::active() { return innermostFeed != nullptr; }

bool HardwareHost::feedSysExFromLibrarian(const uint8_t* msg, int size)
{
  LibrarianFeedScope feed;
  ISysEx s(0, msg, size);
  ProcessSysEx(&s, true);
  return feed.taken;
}

// ---- collectors ----------------------------------------------------------------

bool LibraryPatchCollector::addMessageData(const unsigned char* data, int length)
{
  // Only a whole program goes into a librarian slot; a slot never holds a fragment.
  if (!isProgramDump(data, length)) return false;
  patch.messages.clear();
  patch.messages.emplace_back();
  patch.messages.back().bytes.assign(data, data + length);
  patch.name = programDumpName(data, length);
  state = 1;
  return true;
}

void LibraryPatchCollector::clear()
{
  patch.name.clear();
  patch.messages.clear();
}

void LibraryPatchRequest::arm(int slot, const std::string& bankKey)
{
  clear();
  targetSlot.store(slot);
  {
    std::lock_guard<std::mutex> lock(bankLock);
    bank = bankKey;
  }
  outcome.store(kOpen);
  held.store(false);
  ownedByJob.store(false);
  libraryRequestActive.store(true);
}

bool LibraryPatchRequest::settleAnswered()
{
  int expected = kOpen;
  return outcome.compare_exchange_strong(expected, kAnswered) || expected != kGivenUp;
}

bool LibraryPatchRequest::giveUp()
{
  int expected = kOpen;
  return outcome.compare_exchange_strong(expected, kGivenUp) || expected != kAnswered;
}

void LibraryPatchRequest::disarm()
{
  libraryRequestActive.store(false);
  ownedByJob.store(false);
  held.store(false);
  outcome.store(kIdle);
}

std::string LibraryPatchRequest::targetBank() const
{
  std::lock_guard<std::mutex> lock(bankLock);
  return bank;
}

// ---- construction and teardown ------------------------------------------------------

MIDIMessageManager::MIDIMessageManager(HardwareHost* plug_, PatchManager* patchManager_, PatchLibrarian* librarian_,
                                       IGraphics* graphics_)
    : plug(plug_), patchManager(patchManager_), graphics(graphics_), librarian(librarian_)
{
  for (int t = 0; t < kNumWorkerThreads; ++t) senders[t] = new MIDIMessageSender(this, plug, patchManager);
}

MIDIMessageManager::~MIDIMessageManager()
{
  // No start may slip in between the stop and the joins (the audio thread re-arms
  // the clock): closing is set under every start lock first.
  for (int t = 0; t < kNumWorkerThreads; ++t)
  {
    std::lock_guard<std::mutex> lock(startLock[t]);
    if (t == 0) isClosing.store(true);
  }
  senders[kTransferThread]->cancelRequested.store(true);
  clockRunning.store(false);
  // Every thread ever started is joined, also one whose job has just handed back its
  // record: its last steps still touch the thread object.
  for (auto& th : threads) joinThread(th);
  for (auto*& s : senders)
  {
    delete s;
    s = nullptr;
  }
}

bool MIDIMessageManager::startJob(const SenderJob& job)
{
  EWorkerThread t;
  switch (job.command)
  {
    case kStartMIDIClockOutput:
    case kStopMIDIClockOutput: t = kClockControlThread; break;
    case kSendContinuousMIDIClock: t = kMIDIClockThread; break;
    default:
      if (job.command < 0 || (job.command > kSendDeviceIdEnquiry && job.command != kSendPartDataBack)) return false;
      t = kTransferThread;
  }
  std::lock_guard<std::mutex> lock(startLock[t]);
  if (isClosing.load() || busy[t].load()) return false;
  // A job that has just handed back its record may still be leaving its thread.
  if (Poco::Thread::current() == &threads[t]) return false;
  joinThread(threads[t]);
  MIDIMessageSender* s = senders[t];
  writeRecord(s, job);
  if (job.atStart) job.atStart();
  if (t == kTransferThread) transferStarted.store(true);
  busy[t].store(true);
  try
  {
    threads[t].start(*s);
  }
  catch (...)
  {
    // No thread to be had: the flags stay as set, as the start rule leaves a
    // dropped job's; no job runs that they could mislead.
    busy[t].store(false);
    return false;
  }
  return true;
}

void MIDIMessageManager::writeRecord(MIDIMessageSender* s, const SenderJob& job)
{
  s->command = job.command;
  // The job never holds a pointer into a bank: a rescan may free the bank while it runs.
  s->patch = nullptr;
  if (!job.program.empty() || !job.patch || job.patch->messages.empty()) s->program = job.program;
  else s->program = job.patch->messages.front().bytes;
  s->programs = job.programs;
  s->leadInMs = job.leadInMs;
  s->editOffFirst = job.editOffFirst;
  s->storeAfterSend = job.storeAfterSend;
  s->storeBankSide = job.storeBankSide;
  s->slotNumber = job.slotNumber;
  s->partIndex = job.partIndex;
  s->requestTarget = job.requestTarget;
  s->skipProgramChange = job.skipProgramChange;
  s->toLibrarian = job.toLibrarian;
  s->initArg = job.initArg;
  s->clockTempo = job.clockTempo;
  if (clearsCancelAtStart(job.command)) s->cancelRequested.store(false);
}

void MIDIMessageManager::joinThread(Poco::Thread& thread)
{
  try
  {
    thread.join();
  }
  catch (...)
  {
    // Never started: nothing to join.
  }
}

bool MIDIMessageManager::jobFinished(MIDIMessageSender* s)
{
  const int t = s == senders[0] ? 0 : s == senders[1] ? 1 : 2;
  std::lock_guard<std::mutex> lock(startLock[t]);
  if (t == kTransferThread && !isClosing.load())
  {
    if (jobQueued)
    {
      jobQueued = false;
      writeRecord(s, queuedJob);
      if (queuedJob.atStart) queuedJob.atStart();
      queuedJob = SenderJob();
      return true;
    }
    if (activeRequestQueued)
    {
      activeRequestQueued = false;
      patchRequested.store(true);
      s->command = kSendActiveArrangementRequest;
      s->requestTarget = true;
      s->cancelRequested.store(false);
      return true;
    }
    const int part = pendingProgramChangePart.exchange(-1);
    if (part >= 0)
    {
      // The program change that came in while this job ran gets its request now.
      awaitProgramForEditor();
      s->command = kSendPartRequest;
      s->requestTarget = true;
      s->partIndex = part;
      s->cancelRequested.store(false);
      return true;
    }
  }
  busy[t].store(false);
  return false;
}

void MIDIMessageManager::awaitProgramForEditor()
{
  patchRequested.store(true);
  libraryPatchRequest.libraryRequestActive.store(false);
}

bool MIDIMessageManager::isRunning(EWorkerThread t) const { return busy[t].load(); }

void MIDIMessageManager::openRequest(ERequestAwaits what)
{
  // Cleared first: an answer to the job's last request is not one to this.
  plug->incomingSysExProcessed.store(false);
  requestMark = plug->midiOutMark();
  resendAsked.store(false);
  liveRequest.store(what);
}

void MIDIMessageManager::inputChosen()
{
  if (liveRequest.load() != kAwaitsNothing) resendAsked.store(true);
}

void MIDIMessageManager::closeRequest() { liveRequest.store(kAwaitsNothing); }

bool MIDIMessageManager::requestRefused() const
{
  return liveRequest.load() != kAwaitsNothing && plug->midiOutRefusedSince(requestMark);
}

bool MIDIMessageManager::programAwaited() const
{
  return liveRequest.load() == kAwaitsProgramForEditor && !plug->incomingSysExProcessed.load();
}

bool MIDIMessageManager::waitIdle(EWorkerThread t, int timeoutMs)
{
  const DWORD start = GetTickCount();
  while (busy[t].load())
  {
    if ((int)(GetTickCount() - start) > timeoutMs) return false;
    Sleep(5);
  }
  return true;
}

bool MIDIMessageManager::queueActiveRequestAfterRunningJob()
{
  std::lock_guard<std::mutex> lock(startLock[kTransferThread]);
  if (isClosing.load() || !busy[kTransferThread].load()) return false;
  activeRequestQueued = true;
  return true;
}

bool MIDIMessageManager::queueJobAfterRunningJob(const SenderJob& job)
{
  std::lock_guard<std::mutex> lock(startLock[kTransferThread]);
  if (isClosing.load() || !busy[kTransferThread].load() || jobQueued) return false;
  queuedJob = job;
  jobQueued = true;
  return true;
}

void MIDIMessageManager::requestCancel() { senders[kTransferThread]->cancelRequested.store(true); }

void MIDIMessageManager::resetContinuousClock(bool stop)
{
  if (!stop && isClosing.load()) return;
  clockRunning.store(!stop);
}

bool MIDIMessageManager::sendSinglePatchRequestSysexFromLibrarian(bool skipProgramChange, int slot)
{
  SenderJob job(kSendSinglePatchRequest);
  job.skipProgramChange = skipProgramChange;
  job.slotNumber = slot;
  // A second request while the first waits must leave the first its collector. The
  // bank is read here: the start runs under the thread's start lock.
  const std::string bank = librarian ? librarian->upperBankKey() : std::string();
  job.atStart = [this, bank] {
    libraryPatchRequestAll.libraryRequestAllActive.store(false);
    libraryPatchRequest.arm(librarian ? librarian->selectedSlot.load() : -1, bank);
    dataProcessed.store(false);
  };
  return startJob(job);
}

// ---- system-exclusive router -------------------------------------------------------

void MIDIMessageManager::adoptChannel(uint8_t channelByte)
{
  if (channelByte == plug->sysexChannelByte.load()) return;
  if (plug->NParams() >= 328) plug->SetParamValue(kGlobalMidiChannel, channelByte - 0x30);
  plug->sysexChannelByte.store(channelByte);
}

void MIDIMessageManager::refuseOtherChannel(uint8_t channelByte, bool program)
{
  plug->showStatusText("Global Channel Mismatch!");
  plug->logText("Request failed: the answer came on channel " + std::to_string((channelByte & 0x0F) + 1) +
                ", the editor is on channel " + std::to_string((plug->sysexChannelByte.load() & 0x0F) + 1));
  if (!program) return;
  // The synthesizer answers on that channel: nothing asked on the editor's before
  // this came will be answered.
  ++otherChannelAnswers;
  size_t n = 0;
  {
    std::lock_guard<std::mutex> lock(ledgerLock);
    n = ledger.size();
    ledger.clear();
  }
  if (n)
    plug->logText("No answer will come to " + std::to_string(n) +
                  " earlier request(s) on the editor's channel: the synthesizer answers on another");
}

void MIDIMessageManager::ProcessSysEx(ISysEx* msg, bool fromDevice)
{
  route(msg, fromDevice);
  // The one place a request is answered. A bank dump's programs fed back while it is
  // split are the port's message's, which answers once they are all in.
  if (!LibrarianFeedScope::active() && dataProcessed.load() && ofAwaitedKind(msg))
  {
    log("\tData processed! incomingSysExProcessed = true\n");
    plug->incomingSysExProcessed.store(true);
  }
}

bool MIDIMessageManager::ofAwaitedKind(const ISysEx* msg) const
{
  if (!msg || !msg->mData || msg->mSize < 5) return false;
  const uint8_t* b = msg->mData;
  const bool program = b[4] == kSysexProgramDumpFunction && b[2] == plug->sysexChannelByte.load();
  switch (liveRequest.load())
  {
    case kAwaitsProgramForEditor: return program;
    case kAwaitsProgramForLibrarian:
      return program || b[4] == kSysexAllProgramDumpFunction || b[4] == kSysexAllDataDumpFunction;
    case kAwaitsGlobals: return b[4] == kSysexGlobalDumpFunction;
    default: return false;
  }
}

bool MIDIMessageManager::feedIntoSelectedSlot(const uint8_t* b, int n)
{
  LibraryPatchCollector slot;
  if (!slot.addMessageData(b, n) || !librarian || !librarian->setSysexDatatoSelectedSlot(&slot.patch)) return false;
  plug->updatePatchLibrarianView(0);
  plug->setLibrarianViewDirty();
  return true;
}

// A program's name as the grid shows it: without the blanks that fill its twelve places.
static std::string shownName(std::string name)
{
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

bool MIDIMessageManager::takeLibrarianAnswer(LibrarianPatch& patch, int target, const std::string& bank,
                                             bool late)
{
  if (!librarian) return false;
  const int slot = target >= 0 ? target : librarian->selectedSlot.load();
  const std::string name = shownName(patch.name);
  // An answer after its job gave up goes only into the bank still shown, which it
  // marks as edited: the user sees it came, and the bank is not left for another
  // before it is saved or discarded.
  if (late && !bank.empty() && librarian->upperBankKey() != bank)
  {
    refusal = "Its bank is no longer shown";
    plug->logText("Late program dump of \"" + name + "\" not taken: its bank is no longer shown");
    return false;
  }
  if (!librarian->setSysexDataToSlot(&patch, slot, bank))
  {
    refusal = (uint32_t)slot >= (uint32_t)kBankSlots ? "No slot was selected for it" : "Its bank is no longer listed";
    plug->logText("Program dump of \"" + name + "\" not taken: " +
                  ((uint32_t)slot >= (uint32_t)kBankSlots ? "no slot of the upper bank was selected for it"
                                                          : "its bank \"" + bank + "\" is no longer listed"));
    return false;
  }
  plug->updatePatchLibrarianView(0);
  plug->setLibrarianViewDirty();
  if (!late) return true;
  plug->SetLibrarianStatusUnsaved(true);
  const std::string line = "Late answer taken into slot " + std::to_string(slot + 1);
  plug->showStatusText(line.c_str());
  plug->showSecondLineText(name.c_str());
  plug->logText(line + ": \"" + name + "\" came after its request timed out");
  return true;
}

bool MIDIMessageManager::settleLibrarianRequest(bool cancelled, bool asked, int waitUnit)
{
  LibraryPatchRequest& r = libraryPatchRequest;
  if (!r.ownedByJob.exchange(false)) return false;
  if (r.held.exchange(false))
  {
    if (!cancelled) return takeLibrarianAnswer(r.patch, r.targetSlot.load(), r.targetBank(), r.gaveUp());
    plug->logText("Program dump of \"" + shownName(r.patch.name) + "\" not taken: its request was cancelled");
    return false;
  }
  if (!r.libraryRequestActive.exchange(false) || !asked) return false;
  OwedAnswer owed;
  owed.cancelled = cancelled;
  owed.librarian = true;
  owed.slot = r.targetSlot.load();
  owed.bank = r.targetBank();
  owe(owed, waitUnit);
  return false;
}

void MIDIMessageManager::owe(OwedAnswer owed, int waitUnit)
{
  owed.lapsesAt = GetTickCount() + (DWORD)(100 * std::max(waitUnit, 1));
  std::lock_guard<std::mutex> lock(ledgerLock);
  ledger.push_back(std::move(owed));
}

void MIDIMessageManager::oweRepeats(int count, int waitUnit)
{
  OwedAnswer repeat;
  repeat.repeat = true;
  for (int i = 0; i < count; ++i) owe(repeat, waitUnit);
}

void MIDIMessageManager::oweEnquiryAnswer()
{
  OwedAnswer enquiry;
  enquiry.enquiry = true;
  std::lock_guard<std::mutex> lock(ledgerLock);
  ledger.push_back(enquiry);
}

int MIDIMessageManager::owedAnswers()
{
  std::lock_guard<std::mutex> lock(ledgerLock);
  return (int)std::count_if(ledger.begin(), ledger.end(), [](const OwedAnswer& o) { return !o.enquiry; });
}

void MIDIMessageManager::forgetOwedAnswers()
{
  std::lock_guard<std::mutex> lock(ledgerLock);
  ledger.clear();
}

bool MIDIMessageManager::settleEnquiry()
{
  int unanswered = 0;
  {
    std::lock_guard<std::mutex> lock(ledgerLock);
    auto it = std::find_if(ledger.begin(), ledger.end(), [](const OwedAnswer& o) { return o.enquiry; });
    if (it == ledger.end()) return false;
    unanswered = (int)std::count_if(ledger.begin(), it, [](const OwedAnswer& o) { return !o.enquiry; });
    ledger.erase(ledger.begin(), it + 1);
  }
  plug->logText("Global dump taken as the answer to the enquiry sent ahead of a program request" +
                (unanswered ? ": no answer came to " + std::to_string(unanswered) + " earlier program request(s)"
                            : std::string()));
  return true;
}

bool MIDIMessageManager::consumeOwedAnswer(const uint8_t* b, int n)
{
  OwedAnswer owed;
  bool lapsed = false;
  {
    std::lock_guard<std::mutex> lock(ledgerLock);
    auto it = std::find_if(ledger.begin(), ledger.end(), [](const OwedAnswer& o) { return !o.enquiry; });
    if (it == ledger.end()) return false;
    lapsed = (int)(GetTickCount() - it->lapsesAt) >= 0;
    const int live = liveRequest.load();
    if (lapsed && live != kAwaitsProgramForEditor && live != kAwaitsProgramForLibrarian) return false;
    owed = *it;
    ledger.erase(it);
  }
  LibraryPatchCollector answer;
  const bool whole = answer.addMessageData(b, n);
  const std::string name = shownName(programDumpName(b, n));
  if (owed.librarian && !owed.cancelled && whole && !lapsed)
  {
    takeLibrarianAnswer(answer.patch, owed.slot, owed.bank, true);
    return true;
  }
  if (owed.repeat)
    plug->logText("Program dump of \"" + name + "\" not taken: a second answer to a request asked twice");
  else
    plug->logText("Program dump of \"" + name + "\" not taken: its request " +
                  (owed.cancelled ? "was cancelled" : "timed out"));
  return true;
}

void MIDIMessageManager::route(ISysEx* msg, bool fromDevice)
{
  if (!msg || !msg->mData) return;
  LibrarianFeedScope* feed = bankDumpSplits == 0 ? innermostFeed : nullptr;
  if (feed)
  {
    const uint8_t* b = msg->mData;
    feed->taken = msg->mSize >= 5 && b[0] == 0xF0 && b[1] == kSysexManufacturerId && (b[2] & 0xF0) == 0x30 &&
                  b[3] == kSysexModelId && feedIntoSelectedSlot(b, msg->mSize);
    return;
  }
  // dataProcessed tells of the message just routed only, so an earlier answer can
  // never be taken for this one.
  dataProcessed.store(false);
  if (!fromDevice)
  {
    if (plug->masterKeyboardOn.load()) return;
    log("SysEx data coming from DAW port while hardware is not a master controller!\n Message ignored, returning...\n");
    return;
  }
  const uint8_t* b = msg->mData;
  const int n = msg->mSize;
  if (n == 6) return;
  if (n < 5 || b[0] != 0xF0 || b[1] != kSysexManufacturerId || (b[2] & 0xF0) != 0x30 || b[3] != kSysexModelId)
  {
    log("This is not the data we are expecting!\n");
    return;
  }

  if (librarian && librarian->allPatchesRequestActive.load()) libraryPatchRequestAll.libraryRequestAllActive.store(true);

  // An answer owed to a request given up comes before any later request's.
  if (bankDumpSplits == 0 && n >= 290 && b[4] == kSysexProgramDumpFunction && b[2] == plug->sysexChannelByte.load() &&
      consumeOwedAnswer(b, n))
    return;
  // The enquiry's answer goes nowhere else unless globals were asked for as well.
  if (bankDumpSplits == 0 && n >= 230 && n < 290 && b[4] == kSysexGlobalDumpFunction &&
      b[2] == plug->sysexChannelByte.load() && settleEnquiry() && !plug->sysExInitRequested.load() &&
      !globalRequested.load())
    return;

  // The librarian's program requests too: a program dump from another channel (one
  // their channel search reached, or one sent from the synthesizer's panel after a
  // request timed out and left its collector armed for a late answer) goes into no
  // slot and answers nothing.
  if ((libraryPatchRequest.libraryRequestActive.load() || libraryPatchRequestAll.libraryRequestAllActive.load()) &&
      bankDumpSplits == 0 && n >= 290 && b[4] == kSysexProgramDumpFunction &&
      b[2] != plug->sysexChannelByte.load())
  {
    refuseOtherChannel(b[2], true);
    return;
  }

  if (libraryPatchRequest.libraryRequestActive.load())
  {
    log("SysEx data processed in Library Patch Request\n");
    sysexInProgress.store(true);
    if (libraryPatchRequest.addMessageData(b, n))
    {
      libraryPatchRequest.libraryRequestActive.store(false);
      const bool late = !libraryPatchRequest.settleAnswered();
      // Its job stores it as it ends, unless the user cancelled meanwhile.
      if (libraryPatchRequest.ownedByJob.load()) libraryPatchRequest.held.store(true);
      else
        takeLibrarianAnswer(libraryPatchRequest.patch, libraryPatchRequest.targetSlot.load(),
                            libraryPatchRequest.targetBank(), late);
      dataProcessed.store(true);
    }
    sysexInProgress.store(false);
    return;
  }

  if (libraryPatchRequestAll.libraryRequestAllActive.load())
  {
    log("SysEx data processed in All Library Patch Request\n");
    libraryPatchRequestAll.clear();
    const bool wholeBank = n == kAllProgramDumpSize || n == kAllDataDumpSize;
    // A bank dump cut short still holds its first programs whole.
    const bool cutBank = !wholeBank && n > 5 && n < kAllDataDumpSize &&
                         (b[4] == kSysexAllProgramDumpFunction || b[4] == kSysexAllDataDumpFunction);
    if (!plug->allProgramsRequestStarted.load() && (wholeBank || cutBank))
    {
      plug->allProgramsRequestStarted.store(true);
      allProgramsSlotCounter.store(0);
      if (librarian)
      {
        librarian->selectedSlot.store(0);
        std::unique_ptr<PatchFile> bank(new PatchFile);
        ByteChunk chunk(4096);
        chunk.PutBytes(b, n);
        librarian->allPatchesRequestActive.store(true);
        BankDumpSplit split;
        librarian->loadFromChunk(&chunk, n, bank.get(), 0);
        const int got = (int)bank->patches.size();
        if (got < 128)
        {
          const std::string text = std::to_string(got) + " of 128 programs received";
          plug->showSecondLineText(text.c_str());
          plug->logText("All-program dump of " + std::to_string(n) + " bytes cut short: " + text);
        }
      }
      if (tabRefreshPending.load()) plug->redrawTimbrePage();
      sysexInProgress.store(false);
      return;
    }
    sysexInProgress.store(true);
    const int counter = allProgramsSlotCounter.load();
    if (counter <= 127 && libraryPatchRequestAll.addMessageData(b, n))
    {
      if (librarian)
      {
        librarian->selectedSlot.store(counter);
        librarian->setSysexDatatoSelectedSlot(&libraryPatchRequestAll.patch);
      }
      plug->updatePatchLibrarianView(0);
      plug->setLibrarianViewDirty();
      plug->setLibrarianGridDirty();
      allProgramsSlotCounter.store(counter + 1);
      if (counter >= 127)
      {
        libraryPatchRequestAll.libraryRequestAllActive.store(false);
        plug->allProgramsRequestStarted.store(false);
      }
      dataProcessed.store(true);
    }
    sysexInProgress.store(false);
    return;
  }

  // Short messages wait only for a job's answer: after the edit-mode report's flag,
  // which no job stands behind, a parameter change from the hardware updates its
  // control and ends the flag. Read before a parse answers the request.
  const bool awaited = programAwaited();
  if (n >= 290 && (awaited || patchRequested.load()))
  {
    log("SysEx data processed in reqular patch / settings parser\n");
    sysexInProgress.store(true);
    // A program dump never moves the editor to another channel, not even one its
    // channel search reached: only the device enquiry's global dump does that.
    if (b[2] != plug->sysexChannelByte.load())
    {
      refuseOtherChannel(b[2], b[4] == kSysexProgramDumpFunction);
      return;
    }
    if (n >= 298)
    {
      plug->dataMismatch.store(true);
      plug->SetParameterFromPlug(kGlobalClockSource, 1.0);
    }
    sysexPartPatchParse(msg);
    if (dataProcessed.load()) tabRefreshPending.store(true);
  }
  else if (n >= 230)
  {
    if (plug->sysExInitRequested.load())
    {
      adoptChannel(b[2]);
      sysexSettingsParse(msg);
    }
    else if (globalRequested.load())
    {
      // The current-data request asked on the editor's own channel; the globals of
      // another would set its channel parameter from under it.
      if (b[2] != plug->sysexChannelByte.load()) refuseOtherChannel(b[2]);
      else sysexSettingsParse(msg);
    }
    if (n >= 238 && n <= 289)
    {
      plug->dataMismatch.store(true);
      plug->SetParameterFromPlug(kGlobalClockSource, 1.0);
    }
  }
  else if (n <= 24 && !awaited)
  {
    // A short message cut short or hit on the way (no F7 last, a status byte among
    // its data) tells nothing reliable, not even its channel: a parameter change
    // would give a control a value from outside the 7-bit range.
    bool clean = b[n - 1] == 0xF7;
    for (int i = 1; i < n - 1; ++i)
      if (b[i] & 0x80) clean = false;
    if (!clean)
    {
      log("This is not the data we are expecting!\n");
      sysexInProgress.store(false);
      return;
    }
    adoptChannel(b[2]);
    controlNotFound.store(false);
    tabRefreshPending.store(false);
    if (n == 8 && b[4] == 0x4E)
    {
      if (b[5] == 0) plug->editModeOn.store(false);
      else if (b[5] == 1)
      {
        patchRequested.store(true);
        plug->editModeOn.store(true);
      }
    }
    else if (n == 10 && b[4] == 0x41)
      applyParameterChange(b);
  }

  // The tab's redraw ends a wait for a program (patchRequested): a message that no
  // route took while a job awaits one (a parameter change held back, a dump of no
  // use) leaves the request its answer.
  if (tabRefreshPending.load() && (dataProcessed.load() || !awaited)) plug->redrawTimbrePage();
  sysexInProgress.store(false);
}

void MIDIMessageManager::sysexPartPatchParse(ISysEx* msg)
{
  const uint8_t* b = msg->mData;
  // A truncated, overlong or damaged dump changes nothing.
  if (!isProgramDump(b, msg->mSize))
  {
    plug->logText("Program dump refused: " + programDumpFault(b, msg->mSize));
    return;
  }
  plug->dataMismatch.store(false);
  dataProcessed.store(false);

  const std::string name = programDumpName(b, msg->mSize);
  if (plug->NParams() >= 345) plug->SetParamDisplayText(kPatchName, name);
  plug->setProgramName(name.empty() ? "Set Name" : name);
  plug->setLibrarianViewDirty();

  for (int i = 0; i < kProgramDumpSize - 1; ++i)
  {
    const int part = i < kProgramTimbre2FirstRaw ? 0 : 1;
    const int old = plug->getProgramValueByParts(part, 0, i);
    if (old != b[i]) log("Part %i index %i changed in SINGLE from\t - Value: %i to Value: %i\n", part + 1, i, old, b[i]);
    plug->setProgramValueByParts(part, 0, i, b[i]);
  }

  HostParams params(plug);
  ProgramParseResult res;
  parseProgramDumpParams(b, params, &res);
  if (res.tabRefresh) tabRefreshPending.store(true);
  if (res.channelRestored[0] || res.channelRestored[1]) Sleep(50);
  dataProcessed.store(true);
}

void MIDIMessageManager::sysexSettingsParse(ISysEx* msg)
{
  const uint8_t* b = msg->mData;
  if (msg->mSize == kGlobalDumpSize && b[0] == 0xF0 && (b[2] & 0xF0) == 0x30 && b[3] == kSysexModelId &&
      b[kGlobalDumpSize - 1] == 0xF7 && b[4] == kSysexGlobalDumpFunction)
  {
    bool clean = true;
    for (int i = 1; i < kGlobalDumpSize - 1; ++i)
      if (b[i] & 0x80) clean = false;
    if (clean)
    {
      plug->dataMismatch.store(false);
      dataProcessed.store(false);
      for (int i = 0; i < kGlobalDumpSize; ++i)
      {
        const int old = plug->globalBytes[i].load();
        if (i < kGlobalDumpSize - 1 && old != b[i])
          log("Index %i changed in SYSTEM 1 from\t - Value: %i to Value: %i\n", i, old, b[i]);
        plug->globalBytes[i].store(b[i]);
      }
      plug->globalBytesValid.store(true);
      HostParams params(plug);
      parseGlobalDumpParams(b, params);
      if (plug->sysExInitRequested.exchange(false))
      {
        plug->initDone.store(true);
        plug->pluginReady.store(true);
      }
      plug->localControlOn.store(plug->GetParamValue(kGlobalLocalControl) == 1.0);
      globalRequested.store(false);
      dataProcessed.store(true);
    }
    else
      plug->logText("Global dump refused: a data byte has bit 7 set");
  }
  else
    plug->logText("Global dump refused: " + std::to_string(msg->mSize) + " bytes, " +
                  std::to_string((int)kGlobalDumpSize) + " expected");
  sysexInProgress.store(false);
  patchRequested.store(false);
}

void MIDIMessageManager::giveControl(IControl* control, double v)
{
  const int idx = plug->controlParamIdx(control);
  const double lo = plug->GetParamMin(idx), hi = plug->GetParamMax(idx);
  plug->SetValueFromHardware(control, hi > lo ? (v - lo) / (hi - lo) : 0.0);
}

void MIDIMessageManager::processSysExToUI(IControl* control, int value, bool quickTab, bool commonMode,
                                          bool holdFromHardware)
{
  if (!control) return;
  fromHardware.store(false);
  patchRequested.store(false);
  if (holdFromHardware) fromHardware.store(true);
  giveControl(control, value);
  if (quickTab) plug->redrawTimbrePage();
  if (commonMode) plug->OnParamChange2(kCommonMode);
  fromHardware.store(false);
}

void MIDIMessageManager::getNormalControl(int key1, int key2, int key3, int key4, int value, bool holdFromHardware)
{
  IControl* c = plug->getSysexControl(key1, key2, key3, key4, 0);
  if (!c)
  {
    controlNotFound.store(true);
    return;
  }
  processSysExToUI(c, value, false, false, holdFromHardware);
}

void MIDIMessageManager::applyParameterChange(const uint8_t* b)
{
  const int pl = b[5], ph = b[6], vl = b[7], vh = b[8];
  IControl* c = plug->getSysexControl(0x58, 0x41, pl, ph, 0);

  if ((ph == 2 && pl == 0) || (ph == 0 && (pl == 41 || pl == 107 || pl == 112 || pl == 16)) || (ph == 1 && pl == 123))
  {
    if (!c) return;
    processSysExToUI(c, vl, !(ph == 0 && pl == 16), ph == 0 && pl == 16, true);
    if (plug->controlParamIdx(c) == kGlobalLocalControl) plug->localControlOn.store(vl != 0);
    return;
  }

  if (c)
  {
    patchRequested.store(false);
    const int id = plug->controlParamIdx(c);
    const int s = vh == 0 ? vl : vl - 128;
    int v = vl;
    if (id == 32 || id == 33 || (id >= 52 && id <= 55) || id == 78 || id == 79 || (id >= 147 && id <= 242)) v = s + 64;
    else if (id == 73 || id == 75 || id == 317 || id == 318) v = s + 12;
    else if (id == 315 || id == 316) v = s + 50;
    else if (id == 319 || id == 320) v = s + 24;
    else if (id == kArpTempo) v = vh == 2 ? vl + 236 : vh == 1 ? vl + 108 : vl - 20;
    else if (id == kArpSwing) v = s + 100;
    // A timbre on the global channel travels as 7F 7F, the way the sender puts it.
    else if ((id == kMultiPartMIDICh || id == kMultiPartMIDICh + 1) && vl == 0x7F && vh == 0x7F) v = 16;
    fromHardware.store(true);
    giveControl(c, v);
    fromHardware.store(false);
    if (id == kGlobalLocalControl) plug->localControlOn.store(v != 0);
  }
  else
    controlNotFound.store(true);

  // The same parameter under its CC or NRPN address. Parameter numbers below 64
  // are the program's common part, 64 to 207 timbre 1, and timbre 2's are timbre
  // 1's 144 up, so timbre 2 has every row timbre 1 has; a row is looked up under
  // the key its timbre's controls are registered with (0 for the common part),
  // not under a channel. Numbers below 8 have no row.
  const int number = ph * 128 + pl;
  const int key = number < 64 ? 0 : number < 208 ? 1 : 2;
  const int p = key == 2 ? number - 144 : number;
  if (p < 8) return;
  auto centred = [](int x) { return x < 65 ? x + 64 : x - 64; };
  int cc = -1, subKey = 0, nrpnLsb = -1, value = vl;
  bool centredRow = false;
  static const int ccs73[] = {77, 14, 15, 15, 78, 82, 18, 19, 20, 21, 22, 83, 74, 71};
  if (p >= 136 && p <= 187)
  {
    // The three sequences' 16 steps, two settings between them. Step 14 of the
    // third (timbre 1's pl 57 of ph 1) is a step like the others with either
    // sign: read as CC 5 it would move a portamento knob with a step value.
    const int s = (p - 136) / 18, k = (p - 136) % 18;
    if (k < 16) nrpnLsb = 16 * (s + 1) + k, centredRow = true;
  }
  else if (p == 22) cc = 13;
  else if (p == 23) cc = 94;
  else if (p == 25) cc = 12;
  else if (p == 26) cc = 93;
  else if (p == 28) nrpnLsb = 7;
  else if (p == 29) nrpnLsb = 3;
  else if (p == 32) nrpnLsb = 10, value = (int)((vl + 1) * 1.27);
  else if (p == 71) cc = 5;
  else if (p >= 73 && p <= 86) cc = ccs73[p - 73];
  else if (p == 87) cc = 79, centredRow = true;
  else if (p == 88) cc = 85, centredRow = true;
  else if (p == 89) cc = 7;
  else if (p == 90) cc = 10, centredRow = true;
  else if (p == 91) cc = 86;
  else if (p == 92) cc = 92;
  else if (p >= 94 && p <= 97) cc = 23 + (p - 94);
  else if (p == 99) cc = 73;
  else if (p == 100) cc = 75;
  else if (p == 101) cc = 70;
  else if (p == 102) cc = 72;
  else if (p == 104) cc = 87;
  else if (p == 105) cc = 27;
  else if (p == 109) cc = 88;
  else if (p == 110) cc = 76;
  else if (p == 116 || p == 119 || p == 122 || p == 125) cc = 28 + (p - 116) / 3, centredRow = true;
  // The DWGS wave shares CC 15 with control 2 under a sub-key of its own.
  if (p == 76) subKey = 2;
  if (centredRow)
  {
    if (vh != 0 && vh != 0x7F) return;
    value = centred(vl);
  }
  else if (vh != 0)
    return;
  if (cc < 0 && nrpnLsb < 0) return;  // untranslated: no CC 0 lookup

  IControl* target = nullptr;
  if (cc >= 0)
    target = plug->getCCControls(key, cc, subKey);
  else
    // The row names the LSB; the MSB is the one its parameters are registered
    // under, not whatever NRPN address the hardware announced last.
    target = plug->getMsbLsbControl(key, kTranslatedNrpnMsb, 0, nrpnLsb, 0);
  if (!target) return;
  plug->editModeOn.store(true);
  fromHardware.store(true);
  giveControl(target, value);
  fromHardware.store(false);
  if (cc == 86 || cc == 77) plug->redrawTimbrePage();
}

void MIDIMessageManager::decodeTapPatternCode(const unsigned char* b, char* out)
{
  const long A = b[0] + (b[1] << 7) + (b[2] << 14) + ((long)(b[3] & 3) << 21);
  const long B = (b[3] >> 2) + (b[4] << 5) + (b[5] << 12) + ((long)(b[6] & 15) << 19);
  const long C = (b[6] >> 4) + ((long)(b[7] + (b[8] << 7) + (b[9] << 14)) << 3);
  const long vals[3] = {A, B, C};
  for (int v = 0; v < 3; ++v)
  {
    long div = 24L * 24 * 24 * 24;
    for (int k = 0; k < 5; ++k, div /= 24)
    {
      const int digit = (int)((vals[v] / div) % 24);
      out[v * 10 + 2 * k] = (char)(digit & 7);
      out[v * 10 + 2 * k + 1] = (char)(digit / 8);
    }
  }
  out[30] = (char)(b[10] & 7);
  const int f = (b[10] / 8) & 3;
  out[31] = (char)(f == 3 ? 0 : f);
  out[32] = (char)((b[10] / 4) & 24);
}

// ---- short messages ----------------------------------------------------------------

void MIDIMessageManager::lightIndicator(int channel)
{
  if (!plug->trackIncomingMidi.load()) return;
  int part = -1;
  if ((int)plug->GetParamValue(kMultiPartMIDICh) == channel) part = 0;
  else if ((int)plug->GetParamValue(kMultiPartMIDICh + 1) == channel) part = 1;
  if (part < 0) return;
  log("MIDI received from channel - %i - and passed over to part - %i -\n", channel, part);
  if (plug->hasGraphics() && plug->midiLedOn[part].load() == 0)
  {
    plug->SetControlsOfParam(kMIDILed + part, 1.0);
    plug->midiLedOn[part].store(1);
    plug->midiLedTime[part].store(GetTickCount());
  }
}

int MIDIMessageManager::timbreKeyForChannel(int channel)
{
  const int global = (int)plug->GetParamValue(kGlobalMidiChannel);
  bool listens[2];
  for (int t = 0; t < 2; ++t)
  {
    const int ch = (int)plug->GetParamValue(kMultiPartMIDICh + t);
    listens[t] = (ch >= 16 ? global : ch) == channel;
  }
  if (listens[0] && listens[1]) return plug->currentPart.load() == 1 ? 2 : 1;
  return listens[0] ? 1 : listens[1] ? 2 : 0;
}

void MIDIMessageManager::handleProgramChange(int p, int part, bool fromHost)
{
  if (plug->GetParamValue(kControlLibrary) == 1.0)
  {
    sysexInProgress.store(true);
    plug->selectLibrarianGridSlot(p);
    if (librarian) librarian->selectedSlot.store(p);
    Sleep(200);
    patchRequested.store(true);
    libraryPatchRequest.libraryRequestActive.store(false);
    plug->sendPatchToDeviceFromLibrarian(p, plug->librarianActiveColumn());
    if (!fromHost) log("Program change detected, returning!\n");
    return;
  }
  if (p > 127) p = 127;
  if (fromHost)
  {
    plug->SendProgramChangeCommand(p, part);
    // The hardware's half wait unit to switch, before the request goes out.
    if (plug->midiOutSet.load()) Sleep(plug->getTimerValue() / 2);
  }
  SenderJob job(kSendPartRequest);
  job.requestTarget = true;
  job.partIndex = part;
  job.atStart = [this] { awaitProgramForEditor(); };
  // A busy transfer thread takes the request when its job ends, so the program
  // change is never lost; the running job keeps its flags until then.
  if (!startJob(job) && !closing()) pendingProgramChangePart.store(part);
  plug->selectLibrarianGridSlot(p);
  if (librarian) librarian->selectedSlot.store(p);
  log("Program change detected, returning!\n");
}

void MIDIMessageManager::ProcessMidiMsgFromDevice(IMidiMsg* msg)
{
  midiFromDAW.store(false);
  incomingFromHost.store(false);
  const int status = msg->StatusMsg();
  const int channel = msg->Channel();
  const int channelKey = timbreKeyForChannel(channel);
  const int timbre = channelKey - 1;  // -1: no timbre listens on the channel
  auto blocked = [&](EMidiFilterClass c, const char* line) {
    if (!plug->hardwareFilterBlock[c].load()) return false;
    log("%s", line);
    return true;
  };

  switch (status)
  {
    case IMidiMsg::kNoteOn:
    case IMidiMsg::kNoteOff:
      if (blocked(kFilterNotes, "\tNotes from HW filtered, returning.\n")) return;
      break;
    case IMidiMsg::kPolyAftertouch:
      if (blocked(kFilterPolyAftertouch, "\tPoly Aftertouch from HW filtered, returning.\n")) return;
      break;
    case IMidiMsg::kChannelAftertouch:
      if (blocked(kFilterChannelAftertouch, "\tChannel Aftertouch from HW filtered, returning.\n")) return;
      break;
    case IMidiMsg::kPitchWheel:
      if (blocked(kFilterPitchBend, "\tPitch Bend from HW filtered, returning.\n")) return;
      break;
    case IMidiMsg::kProgramChange:
    {
      if (blocked(kFilterProgramChange, "\tProgram Changes from HW filtered, returning.\n")) return;
      int part = 0;
      if ((int)plug->GetParamValue(kGlobalMidiChannel) != channel)
      {
        if ((int)plug->GetParamValue(kMultiPartMIDICh) == channel) part = 0;
        else if ((int)plug->GetParamValue(kMultiPartMIDICh + 1) == channel) part = 1;
        if (plug->GetParamValue(kPartLock + part) == 1.0) return;
      }
      handleProgramChange(msg->mData1, part, false);
      return;
    }
    case IMidiMsg::kControlChange:
    {
      if (blocked(kFilterControlChange, "\tControl Changes from HW filtered, returning.\n")) return;
      const int cc = msg->mData1;
      int value = msg->mData2;
      if (cc == 99)
      {
        nrpnMsb.store(value);
        return;
      }
      if (cc == 98)
      {
        nrpnLsb.store(value);
        return;
      }
      if (cc != 6)
      {
        nrpnMsb.store(128);
        nrpnLsb.store(128);
      }
      if (cc == 0 && value == 0)
      {
        bankSelectSeen.store(true);
        log("Message determinated because it contains program change data!\n");
        return;
      }
      if (cc == 32 && isOneOf(value, {64, 66, 80, 96}) && bankSelectSeen.load())
      {
        bankSelectSeen.store(false);
        log("Message determinated because it contains program change data!\n");
        return;
      }
      if (cc == 95 && plug->GetParamValue(kCommonMode) > 0.0)
      {
        getLegacyCCparam(95, channelKey, value, false, true);
        return;
      }
      IControl* c = nullptr;
      bool mapped = false;
      if (cc == 13 && plug->GetParamValue(kDelayFxTempoSync) == 1.0)
      {
        c = plug->getSysexControl(0x58, 0x41, 0x2A, 0, 0);
        value = fifteenStep(value);
        mapped = true;
      }
      else if (timbre >= 0 && ((cc == 27 && plug->GetParamValue(kLfo1TempoSync + timbre) == 1.0) ||
                               (cc == 76 && plug->GetParamValue(kLfo2TempoSync + timbre) == 1.0)))
      {
        // The sync note of the timbre on this channel: timbre 2's sits 16 numbers
        // and one high byte above timbre 1's.
        c = plug->getSysexControl(0x58, 0x41, (cc == 27 ? 0x6A : 0x6F) + 16 * timbre, timbre, 0);
        value = fifteenStep(value);
        mapped = true;
      }
      else if (cc == 12 || cc == 13 || cc == 93 || cc == 94)
      {
        c = plug->getCCControls(0, cc, 0);
        if (!c) c = plug->getCCControls(channelKey, cc, 0);
        if (!c) c = plug->getCCControls(channelKey, cc, 1);
        mapped = true;
      }
      else if (cc == 86)
      {
        getLegacyCCparam(86, channelKey, value ? 1 : 0, true, true);
        lightIndicator(channel);
        if (!plug->localControlOn.load()) plug->MIDIOutRoutingSwitch(msg);
        return;
      }
      int msb = nrpnMsb.load(), lsb = nrpnLsb.load();
      bool quickTab = false;
      if (!mapped)
      {
        if (msb == 128 && lsb == 128)
        {
          const int keys[5][2] = {{channelKey, 0}, {channelKey, 1}, {channelKey, 2}, {0, 0}, {0, 1}};
          for (auto& k : keys)
            if ((c = plug->getCCControls(k[0], cc, k[1]))) break;
        }
        else if (msb <= 127 && lsb <= 127 && cc == 6)
        {
          nrpnLsb.store(0);
          const int keys[4][2] = {{channelKey, 0}, {channelKey, 1}, {0, 0}, {0, 1}};
          for (auto& k : keys)
            if ((c = plug->getMsbLsbControl(k[0], msb, 0, lsb, k[1]))) break;
        }
        if (cc == 15 && timbre >= 0 && plug->GetParamValue(kOsc1Waveform + timbre) == 5.0)
        {
          c = plug->getCCControls(channelKey, 15, 2);
          value /= 2;
        }
        if (c)
        {
          if (cc == 77) value = eightPosition(value), quickTab = true;
          else if (cc == 6 && msb == 4 && isOneOf(lsb, {0, 1, 2, 3, 8, 9, 10, 11}))
            value = eightPosition(value), quickTab = true;
          else if (cc == 6 && msb != 4 && lsb == 7) value = fivePosition(value);
          else if (isOneOf(cc, {82, 83, 87, 88})) value = threePosition(value);
          else if (cc == 78) value = twoPosition(value);
        }
      }
      if (c)
      {
        valueFromIncomingMessage.store(true);
        fromHardware.store(true);
        giveControl(c, value);
        if (plug->controlParamIdx(c) == kGlobalLocalControl) plug->localControlOn.store(value != 0);
        if (quickTab) plug->redrawTimbrePage();
        fromHardware.store(false);
        valueFromIncomingMessage.store(false);
      }
      break;
    }
    default:
      return;
  }
  lightIndicator(channel);
  if (!plug->localControlOn.load()) plug->MIDIOutRoutingSwitch(msg);
}

void MIDIMessageManager::ProcessMidiMsgFromDAW(IMidiMsg* msg, int part)
{
  if (!plug->midiOutSet.load()) return;
  midiFromDAW.store(true);
  incomingFromHost.store(true);
  const int status = msg->StatusMsg();
  const int channel = msg->Channel();
  auto blocked = [&](EMidiFilterClass c, const char* line) {
    if (!plug->dawFilterBlock[c].load()) return false;
    log("%s", line);
    return true;
  };
  switch (status)
  {
    case IMidiMsg::kNoteOff:
      // A note-off always passes: a filter switched on while a note sounds must not
      // leave it hanging.
      break;
    case IMidiMsg::kNoteOn:
      if (msg->mData2 != 0 && blocked(kFilterNotes, "\tNotes from Daw filtered, returning.\n")) return;
      break;
    case IMidiMsg::kPolyAftertouch:
      if (blocked(kFilterPolyAftertouch, "\tPoly Aftertouch from Daw filtered, returning.\n")) return;
      break;
    case IMidiMsg::kChannelAftertouch:
      if (blocked(kFilterChannelAftertouch, "\tChannel Aftertouch from Daw filtered, returning.\n")) return;
      break;
    case IMidiMsg::kPitchWheel:
      if (blocked(kFilterPitchBend, "\tPitch Bend from Daw filtered, returning.\n")) return;
      break;
    case IMidiMsg::kControlChange:
    {
      if (blocked(kFilterControlChange, "\tControl Changes from Daw filtered, returning.\n")) return;
      const int cc = msg->mData1, value = msg->mData2;
      if ((cc == 0 && value == 0) || (cc == 32 && isOneOf(value, {64, 66, 80, 96})))
      {
        log("Message determinated because it contains program change data!\n");
        return;
      }
      getLegacyCCparam(cc, timbreKeyForChannel(channel), value, false, false);
      break;
    }
    case IMidiMsg::kProgramChange:
      if (blocked(kFilterProgramChange, "\tProgram Changes from Daw filtered, returning.\n")) return;
      if (plug->GetParamValue(kPartLock + part) == 1.0) return;
      handleProgramChange(msg->mData1, part, true);
      break;
    default:
      return;
  }
  lightIndicator(channel);
  plug->MIDIOutRoutingSwitch(msg);
}

void MIDIMessageManager::getLegacyCCparam(int cc, int channelKey, int value, bool notifyQuickTab, bool hardwareOrigin)
{
  if (cc == 95 && plug->GetParamValue(kCommonMode) > 0.0)
  {
    plug->SetControlsOfParam(kLayerLinker, 0.0);
    const double v = value == 127 ? 1.0 : 0.0;
    plug->SetParamValue(kQuickTab, v);
    plug->OnParamChange(kQuickTab);
    plug->SetControlsOfParam(kQuickTab, v);
    plug->SetControlsOfParam(kTimbreLED, v);
    return;
  }
  if (cc == 86)
  {
    if (value >= 2) value = 1;
    notifyQuickTab = true;
  }
  if (cc == 15)
  {
    // Halved when the oscillator 1 of the timbre on this channel plays the waveform 5.
    if (channelKey >= 1 && channelKey <= 2 && plug->GetParamValue(kOsc1Waveform + channelKey - 1) == 5.0) value /= 2;
  }
  IControl* c = nullptr;
  const int msb = nrpnMsb.load(), lsb = nrpnLsb.load();
  if (msb <= 127 && lsb <= 127) c = plug->getMsbLsbControl(channelKey, msb, 0, lsb, cc == 6 ? 0 : 1);
  for (int sub = 0; !c && sub < 3; ++sub) c = plug->getCCControls(channelKey, cc, sub);
  // Then the controls that belong to no timbre (the effects), on any channel.
  for (int sub = 0; !c && channelKey != 0 && sub < 2; ++sub) c = plug->getCCControls(0, cc, sub);
  if (!c)
  {
    // The host's bank-select LSB stays a MIDI message: it does not switch the
    // editor's own pages and bank lists.
    if (cc == 32 && value >= 64 && value <= 66) plug->SendBankChangeCommand(value - 64, channelKey - 1);
    return;
  }
  if (!hardwareOrigin)
    giveControl(c, value);
  else
  {
    fromHardware.store(true);
    const int idx = plug->controlParamIdx(c);
    if (idx == kGlobalLocalControl) plug->localControlOn.store(value != 0);
    else if (cc == 77 || (cc == 6 && msb == 4 && isOneOf(lsb, {0, 1, 2, 3, 8, 9, 10, 11}))) value = eightPosition(value);
    else if (isOneOf(cc, {82, 83, 87, 88})) value = threePosition(value);
    else if (cc == 78) value = twoPosition(value);
    else if (cc == 6 && lsb == 7) value = fivePosition(value);
    giveControl(c, value);
  }
  if (notifyQuickTab) plug->redrawTimbrePage();
  fromHardware.store(false);
}

void MIDIMessageManager::sendSysexMessage(std::vector<int> body)
{
  if (plug->GetParamValue(kDeviceOutSelection) == 0.0)
  {
    plug->showProgramNameText("Set MIDI I/O First!");
    return;
  }
  if (body.empty()) return;
  std::vector<unsigned char> bytes(body.size());
  for (size_t i = 0; i < body.size(); ++i) bytes[i] = (unsigned char)(body[i] & 0xFF);
  // The send traces the message itself: it is logged once.
  plug->checksumCheckAndSend(bytes.data(), (int)bytes.size());
}

