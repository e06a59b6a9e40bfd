// The transfer jobs against the editor's other threads: every change a job makes
// to editor state is made under the plug-in's mutex, and stopping the jobs in the
// middle of a transfer, with that mutex held or not, ends them cleanly.

#include "PollUntil.h"
#include "EditorTestSupport.h"
#include "config/ParamIds.h"
#include "librarian/BankFormats.h"
#include "winsys/kernel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace {


// Every output ready, no port open: the jobs' sends are refused by the port alone.
void prepare(Davrel& e)
{
  e.GetParam(kDeviceOutSelection)->InitInt("out", 0, 0, 8);
  e.GetParam(kDeviceOutSelection)->Set(1);
  e.GetParam(kLibSyncTimer)->InitInt("timer", 7, 0, 7);  // the 100 ms unit
  e.midiOutSet = true;
  e.globalSent = true;
}

// Jobs run on the manager's threads; each state change a job makes through the
// hardware interface records whether its thread held the plug-in's mutex.
class LockWatchingEditor : public RecordingEditor
{
public:
  bool startJob(const SenderJob& job) override { return Davrel::startJob(job); }
  MIDIMessageManager* manager() { return midiMessageManager; }

  void setProgramName(const std::string& name) override { note(); Davrel::setProgramName(name); }
  void setProgramValueByParts(int part, int group, int index, int value) override
  {
    note();
    Davrel::setProgramValueByParts(part, group, index, value);
  }
  void SetParamDisplayText(int id, const std::string& text) override { note(); Davrel::SetParamDisplayText(id, text); }
  void DisplayProcessingIndicator(bool show) override { note(); Davrel::DisplayProcessingIndicator(show); }
  void showStatusText(const char* text) override { note(); Davrel::showStatusText(text); }
  void showSecondLineText(const char* text) override { note(); Davrel::showSecondLineText(text); }
  void SetLibrarianRequestActive(bool toLibrarian) override { note(); Davrel::SetLibrarianRequestActive(toLibrarian); }
  void SetLibrarianStatusUnsaved(bool unsaved) override { note(); Davrel::SetLibrarianStatusUnsaved(unsaved); }
  void ProcessSysEx(ISysEx* msg, bool fromDevice) override { note(); Davrel::ProcessSysEx(msg, fromDevice); }
  bool feedSysExFromLibrarian(const uint8_t* msg, int size) override
  {
    note();
    return Davrel::feedSysExFromLibrarian(msg, size);
  }

  std::atomic<int> held{0}, unheld{0};

private:
  void note()
  {
    if (std::this_thread::get_id() != mTestThread) ++(mMutex.IsHeldByCaller() ? held : unheld);
  }
  const std::thread::id mTestThread = std::this_thread::get_id();
};

struct WorkerLock : ::testing::Test
{
  DataFolder data;
  void SetUp() override { SWELL_SetTimeScale(0.01); }
  void TearDown() override { SWELL_SetTimeScale(1.0); }
};

TEST_F(WorkerLock, EveryStateChangeOfATransferJobIsMadeUnderThePluginMutex)
{
  UnderTest<LockWatchingEditor> e;
  prepare(e);
  SenderJob toLibrarian(kSendArrangementToDevice), slotSend(kSendPatchToDeviceFromLibrarian);
  toLibrarian.toLibrarian = true;
  slotSend.program = mkInitPatchData();
  SenderJob partRequest(kSendPartRequest), current(kSendActiveArrangementRequest);
  partRequest.requestTarget = true;
  const SenderJob jobs[] = {SenderJob(kSendArrangementToDevice), toLibrarian, slotSend, partRequest, current,
                            SenderJob(kInitClassicPatch), SenderJob(kSendDeviceIdEnquiry),
                            SenderJob(kSendSinglePatchRequest)};
  for (const SenderJob& job : jobs)
  {
    SCOPED_TRACE(job.command);
    e.held = e.unheld = 0;
    ASSERT_TRUE(e.startJob(job));
    // The requests go unanswered: their waits run out on the scaled clock.
    ASSERT_TRUE(e.manager()->waitIdle(kTransferThread, (int)(20000 / SWELL_GetTimeScale())));
    EXPECT_GT(e.held.load(), 0);
    EXPECT_EQ(e.unheld.load(), 0);
  }
}

// The thread that stops the jobs may hold the plug-in's mutex (a host closing the
// editor from a call it dispatches): the job it joins is in a wait and needs the
// mutex back. Or the editor simply goes while the job waits, the plug-in's own or
// a test's subclass whose overrides the job calls: each is stopped before any of
// its parts goes (ThreadSanitizer sees a subclass stopped only in a base's
// destructor changing its virtual table under the job).
TEST_F(WorkerLock, StoppingTheEditorMidTransferEndsTheJob)
{
  // Real waits: the unanswered request waits for seconds between its steps.
  SWELL_SetTimeScale(1.0);
  const struct
  {
    const char* name;
    std::function<Davrel*()> make;
    bool underMutex;
  } cases[] = {
      {"plug-in, stopped under the mutex", [] { return new Davrel(editorInfo()); }, true},
      {"plug-in", [] { return new Davrel(editorInfo()); }, false},
      {"test subclass", [] { return new UnderTest<LockWatchingEditor>; }, false},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Davrel> e(c.make());
    prepare(*e);
    std::atomic<int> requests{0};
    e->onMidiSent = [&](const unsigned char* b, int n) {
      if (n == 6 && b[0] == 0xF0 && b[4] == 0x10) ++requests;
    };
    SenderJob request(kSendPartRequest);
    request.requestTarget = true;
    ASSERT_TRUE(e->midiMessageManager->startJob(request));
    ASSERT_TRUE(pollUntil([&] { return requests.load() > 0; }, 5000));
    ASSERT_TRUE(e->midiMessageManager->isRunning(kTransferThread));
    if (c.underMutex)
    {
      WDL_MutexLock lock(&e->mMutex);
      delete e->midiMessageManager;
      e->midiMessageManager = nullptr;
    }
    e.reset();
  }
}

}  // namespace
