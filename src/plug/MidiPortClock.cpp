// The timing clock over JACK: handed to the instance's slot, whose bridge places
// each tick at its frame (JackBridgeShared.h, ClockTimeline.h).

#include "plug/MidiPortLayer.h"
#include "plug/JackBridgeShared.h"
#include "plug/JackMidiOwner.h"

namespace
{
// How long a stop waits for the bridge's next passes over the slot: a few periods of
// the largest, and what a server that stands still costs the clock thread's end
// (none where no bridge has clients on a server).
const long long kClockStopBoundNs = 200000000;
}  // namespace

bool MidiPortLayer::StartMidiClock(int64_t firstNs, int64_t intervalNs)
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  if (!m || intervalNs <= 0) return false;
  jackbridge::StartClock(m, firstNs, intervalNs);
  return true;
}

unsigned long long MidiPortLayer::StopMidiClock()
{
  jackbridge::SlotMemory* m = mMidiShared.load();
  return m ? jackbridge::StopClock(m, JackMidiOwner::Epoch(mMidiJackServer) ? kClockStopBoundNs : 0) : 0;
}
