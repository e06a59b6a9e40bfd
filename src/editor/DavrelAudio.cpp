// The audio callback: the host's render call is the editor's clock. It follows
// the transport and tempo, keeps the MIDI clock job running, drains the output
// queue and switches the activity indicators off. Audio thread, no plug-in mutex.

#include "editor/Davrel.h"

#include "config/ParamIds.h"
#include "editor/DebuggerOutput.h"
#include "gui/IControls.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
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
    const int index = t - 65;
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
      if (graphics) graphics->SetParameterFromPlug(kArpTempo, index, false);
      else setParamClamped(kArpTempo, index);
    }
  }

  const bool buffered = bufferedMidiOut;
  int span = nFrames;
  if (buffered)
  {
    span = dawOffset;
    if (span < 0) span = 1;
    if (graphics && displayMIDIOutDelay && span > 0 && hostSampleRate > 0.0)
    {
      const std::string text = std::to_string((int)(1000.0 / (hostSampleRate / span))) + "ms|" +
                               std::to_string(GetBlockSize()) + "bfr";
      displayMIDIOutDelay->SetTextFromPlug(text.c_str());
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
  auto sendDue = [&] {
    for (IMidiMsg& m : midiOutDue) sendMidiMsgAndLog(&m);
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
  // The indicators go dark once a block, with the queue's lock given back: the
  // graphics take the plug-in's mutex, under which Reset takes the queue's lock.
  for (int t = 0; t < 2; ++t)
  {
    const bool off = allLedsOff ? midiLedOn[t].exchange(0) != 0
                                : graphics && midiLedOn[t] && now - midiLedTime[t].load() > 100 &&
                                      midiLedOn[t].exchange(0) != 0;
    if (off && graphics) graphics->SetParameterFromPlug(kMIDILed + t, 0.0, false);
  }

  if (partRequestPending)
  {
    patchRequestedFlag() = true;
    if (startTransferJob(kSendPartRequest, currentPart, true))
    {
      ++partRequestJobs;
      partRequestPending = false;
    }
    else
      patchRequestedFlag() = false;
  }
}
