// The audio callback: the host's render call is the editor's clock. It follows
// the transport and tempo, keeps the MIDI clock job running, drains the output
// queue and switches the activity indicators off. Audio thread, no plug-in mutex:
// what it shows reaches the screen through atomics that OnIdle reads, and the
// tempo reaches its parameter through the tempo thread as well.

#include "editor/Davrel.h"

#include <algorithm>

#include "base/log.h"
#include "config/ParamIds.h"
#include "editor/DebuggerOutput.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
#include "platform/mach/mach.h"
#include "winsys/kernel.h"

#include <string>

void Davrel::ProcessDoubleReplacing(double**, double**, int nFrames)
{
  ITimeInfo time;
  GetTime(&time);
  // The clock thread reads the tempo from here, never from the host.
  const double tempo = GetTempo();
  hostTempo = tempo;
  if (!midiOutSet) return;

  // Transport edges: one Start and one Stop job per edge.
  if (time.mTransportIsRunning && !transportRunning)
  {
    transportRunning = true;
    if (!bufferedMidiOut && !clockStartSent)
    {
      if (startJob(SenderJob(kStartMIDIClockOutput))) ++clockStartJobs;
      clockStartSent = true;
    }
  }
  else if (!time.mTransportIsRunning && transportRunning)
  {
    transportRunning = false;
    if (!bufferedMidiOut && clockStartSent)
    {
      if (startJob(SenderJob(kStopMIDIClockOutput))) ++clockStopJobs;
      clockStartSent = false;
    }
  }

  if (!clockJobStarted)
  {
    resetContinuousClock(false);
    SenderJob clock(kSendContinuousMIDIClock);
    clock.clockTempo = 120;
    if (startJob(clock)) ++clockLoopJobs;
    clockJobStarted = true;
  }

  if (paramValue(kOverrideTempo) == 1.0)
  {
    const int t = (int)tempo;
    // The arpeggiator's tempo value is BPM - 20 ("tempoValues" starts at 20, and
    // the override writes value + 20 into the program), so the host's tempo lands
    // on its own entry; tempos outside 20..300 take the nearest end.
    const int index = std::min(std::max(t, 20), 300) - 20;
    if (index != arpTempoIndex)
    {
      arpTempoIndex = index;
      tempoSyncLogged = false;
      logLine("PROCESSOR: Host tempo is out of sync!");
    }
    if (!tempoSyncLogged)
    {
      tempoSyncLogged = true;
      logLine("PROCESSOR: Host tempo synced to " + std::to_string(t) + "BPM");
      audioTempoIndex.store(index);
      tempoWake.post();
    }
  }

  const bool buffered = bufferedMidiOut;
  int span = nFrames;
  if (buffered)
  {
    span = dawOffset;
    if (span < 0) span = 1;
    if (span > 0 && hostSampleRate > 0.0)
    {
      audioDelayBlock.store(GetBlockSize());
      audioDelayMs.store((int)(1000.0 / (hostSampleRate / span)));
    }
  }

  // The queue is filled on other threads; a block that finds it busy leaves it
  // for the next one rather than wait. What is due is taken out under the queue's
  // lock and sent once it is given back: sending lights the indicators, whose
  // controls take the plug-in's mutex, under which other threads queue messages.
  std::unique_lock<std::mutex> queue(midiOutQueueLock, std::try_to_lock);
  const uint32_t now = GetTickCount();
  bool allLedsOff = false;
  midiOutDue.clear();
  auto takeDue = [&](int lastOffset) {
    if (!queue.owns_lock()) return;
    while (!midiOutQueue.Empty() && midiOutQueue.Peek()->mOffset <= lastOffset)
    {
      if (buffered) midiOutDue.push_back(*midiOutQueue.Peek());
      midiOutQueue.Remove();
    }
  };
  // Not sendMidiMsgAndLog: the status line a closed output shows takes the
  // plug-in's mutex.
  auto sendDue = [&] {
    for (IMidiMsg& m : midiOutDue)
    {
      if (!midiOutSet) break;
      sendLitAndLog(&m);
    }
    midiOutDue.clear();
  };
  if (span > 0)
  {
    // All sounds off follows what is due at the block's start; the messages it
    // queues go out in this block.
    if (!time.mTransportIsRunning && allSoundsOffPending)
    {
      allSoundsOffPending = false;
      takeDue(0);
      if (queue.owns_lock()) queue.unlock();
      sendDue();
      AllSoundsOff();
      queue.try_lock();
      allLedsOff = true;
    }
    takeDue(span - 1);
  }
  // A queue that was busy moves its offsets on with the next block that holds it.
  if (queue.owns_lock())
  {
    midiOutQueue.Flush(span);
    queue.unlock();
  }
  sendDue();
  // The indicators go dark once a block; the drawing pass shows it.
  for (int t = 0; t < 2; ++t)
  {
    if (midiLedOn[t] && (allLedsOff || now - midiLedTime[t].load() > 100)) midiLedOn[t].store(0);
  }

  // While the thread is busy the request stays pending, and the running job's
  // flags stay its own. A busy thread is seen without the start's lock, which the
  // block would otherwise take (and build a job for) every time until it is free.
  if (partRequestPending && midiMessageManager && !midiMessageManager->isRunning(kTransferThread) &&
      startJob(editorRequest(kSendPartRequest, currentPart)))
  {
    ++partRequestJobs;
    partRequestPending = false;
  }
}

Davrel::TempoWake::TempoWake()
{
  if (semaphore_create(mach_task_self(), &sem, SYNC_POLICY_FIFO, 0) != KERN_SUCCESS) sem = nullptr;
}

Davrel::TempoWake::~TempoWake()
{
  if (sem) semaphore_destroy(mach_task_self(), sem);
}

void Davrel::TempoWake::post()
{
  if (sem) semaphore_signal(sem);
}

void Davrel::TempoWake::wait() { semaphore_wait(sem); }

void Davrel::applyHostTempo()
{
  const int tempo = audioTempoIndex.exchange(kNoTempoHandover);
  if (tempo == kNoTempoHandover) return;
  if (graphics) graphics->SetParameterFromPlug(kArpTempo, tempo, false);
  else setParamClamped(kArpTempo, tempo);
}

void Davrel::runTempoHandover()
{
  for (;;)
  {
    tempoWake.wait();
    // A teardown holding mMutex never waits for this thread.
    if (tempoQuit.load() || !EnterMutexUnless(tempoQuit)) return;
    applyHostTempo();
    mMutex.Leave();
  }
}

// Under mMutex: port menus built before the port thread had read the lists are
// built again once a reading of them, where the lists differ; not before the
// constructor built them.
void Davrel::portMenusFromListsRead()
{
  const unsigned reads = MidiPortListsReads();
  if (reads == portMenusFromReads || portMenuLists[0].empty()) return;
  portMenusFromReads = reads;
  if (getExternalMIDIOutNames() != portMenuLists[0] || getExternalMIDIInNames() != portMenuLists[1])
    refreshMidiPortMenus();
}

// The port thread: a host that shows no editor finds the ports in the menus too.
void Davrel::OnMidiPortListsRead()
{
  if (!EnterMutexUnless(MidiPortsQuit())) return;
  portMenusFromListsRead();
  mMutex.Leave();
}

void Davrel::OnIdle()
{
  {
    // The port thread builds the menus again under it, and moves the entries.
    WDL_MutexLock lock(&mMutex);
    portMenusFromListsRead();
    if (graphics)
    {
      markMissingPort(kDeviceOutSelection, midiOutPortIndex, MidiOutPortMissing());
      markMissingPort(kDeviceInSelection, midiInPortIndex, MidiInPortMissing());
    }
  }
  if (!graphics) return;
  applyHostTempo();
  for (int t = 0; t < 2; ++t)
  {
    const int on = midiLedOn[t].load() ? 1 : 0;
    if (on == shownLed[t]) continue;
    shownLed[t] = on;
    graphics->SetParameterFromPlug(kMIDILed + t, on, false);
  }
  const int ms = audioDelayMs.load(), block = audioDelayBlock.load();
  if (displayMIDIOutDelay && ms >= 0 && (ms != shownDelayMs || block != shownDelayBlock))
  {
    shownDelayMs = ms;
    shownDelayBlock = block;
    displayMIDIOutDelay->SetTextFromPlug((std::to_string(ms) + "ms|" + std::to_string(block) + "bfr").c_str());
  }
}
