// MIDI clock output: Start and Stop on the clock control thread, and the timing
// clock (24 a quarter note) on the MIDI clock thread. Over JACK the output places
// the ticks itself, each at the frame of the server's period it falls due in, on
// the same timeline and with the same stall handling (ClockTimeline.h): the thread
// then only watches for the stop. Elsewhere it sends each tick itself:
//
// The ticks lie on an absolute timeline fixed when the loop starts (tick k falls
// due at start + k x interval, the interval in whole nanoseconds of a whole-BPM
// tempo), so a late tick delays no later one. Between ticks
// the thread sleeps on an absolute deadline and only watches the clock for the
// last few microseconds; it wakes at least every few milliseconds to see a stop.
// Ticks missed in a stall follow at half an interval, never two at once.

#include "hardware/MIDIMessageSender.h"

#include "hardware/HardwareHost.h"
#include "hardware/MIDIMessageManager.h"

#include "base/log.h"
#include "config/ParamIds.h"
#include "platform/mach/mach.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

#include <cerrno>
#include <cmath>
#include <ctime>
#include <string>

namespace
{
const int64_t kSecond = 1000000000;
// The part of the wait spent watching the clock instead of sleeping.
const int64_t kSpinNs = 60000;
// The longest sleep: a stop is seen within it whatever the tempo.
const int64_t kSliceNs = 5000000;
// Tempos the hardware could follow; beyond them the loop would only flood the port.
const double kMinBpm = 1.0, kMaxBpm = 1000.0;

int64_t readClock(clock_serv_t service, int64_t previous)
{
  mach_timespec_t t;
  if (clock_get_time(service, &t) != KERN_SUCCESS)
  {
    errno = EINVAL;
    return previous;
  }
  return (int64_t)t.tv_sec * kSecond + t.tv_nsec;
}

void sleepUntil(int64_t ns)
{
  timespec ts;
  ts.tv_sec = (time_t)(ns / kSecond);
  ts.tv_nsec = (long)(ns % kSecond);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR)
  {
  }
}

int64_t threadCpuNs()
{
  timespec ts;
  if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
  return (int64_t)ts.tv_sec * kSecond + ts.tv_nsec;
}

void sendByte(HardwareHost* plug, unsigned char byte) { plug->SendMidiSysex2(std::vector<unsigned char>(1, byte)); }
}  // namespace

void MIDIMessageSender::startMIDIClockOutput()
{
  if (!plug->sendMIDIClockPointer.load() || !plug->midiOutSet.load()) return;
  sendByte(plug, 0xFA);
}

void MIDIMessageSender::stopMIDIClockOutput()
{
  if (!plug->sendMIDIClockPointer.load() || !plug->midiOutSet.load()) return;
  sendByte(plug, 0xFC);
}

double MIDIMessageSender::clockTempoBpm() const
{
  // The clock runs at whole beats per minute: the host's 99.9 is 99.
  if (plug->GetParamValue(kOverrideTempo) == 1.0) return std::trunc(plug->hostTempo.load());
  // The list's texts begin with the tempo in decimal digits.
  const std::string text = plug->valueListEntry("tempoValues", (int)std::lround(plug->GetParamValue(kArpTempo)));
  double bpm = 0.0;
  for (char c : text)
  {
    if (c < '0' || c > '9') break;
    bpm = bpm * 10 + (c - '0');
    if (bpm > kMaxBpm) break;
  }
  return bpm;
}

void MIDIMessageSender::sendContinuousMIDIClock(int)
{
  if (!plug->sendMIDIClockInfo.load()) return;
  // The tempo parameters change under the editor's lock: read once, under it.
  if (!plug->enterEditorLock(manager->isClosing)) return;
  double bpm = clockTempoBpm();
  plug->leaveEditorLock();
  // No tempo (a host that reports none, a list entry without digits) gives no
  // interval: nothing is sent rather than a clock at a made-up tempo.
  if (!(bpm >= kMinBpm))
  {
    ConsoleLog("MIDI clock: no tempo (%g BPM), no clock sent \n", bpm);
    return;
  }
  if (bpm > kMaxBpm) bpm = kMaxBpm;
  // Whole nanoseconds, truncated: 120 BPM gives 20,833,333 ns.
  const int64_t wholeInterval = 60 * kSecond / (24 * (int64_t)bpm);
  const double interval = (double)wholeInterval;
  clockInterval.store(wholeInterval);
  ConsoleLog("MIDI clock started! \n");

  const int64_t cpuStart = threadCpuNs();
  clock_serv_t service = 0;
  const bool haveService = host_get_clock_service(mach_host_self(), SYSTEM_CLOCK, &service) == KERN_SUCCESS;
  int64_t now = haveService ? readClock(service, 0) : 0;
  const int64_t wallStart = now;
  int ticks = 0;
  auto running = [&] { return !manager->clockStopped() && !closing() && plug->sendMIDIClockInfo.load(); };
  // The port went away: this loop ends; a new one starts with the next arming.
  auto portGone = [&] {
    if (plug->midiOutSet.load()) return false;
    manager->resetContinuousClock(true);
    return true;
  };

  // Where the output places the ticks itself at their due times (over JACK, at
  // their frames), no wake-up of this thread decides when one goes: from the tick
  // due now it only watches for the stop, and for the port going.
  // (A loop stopped before it starts sends its one tick itself.)
  bool placed = haveService && running() && plug->startPlacedMidiClock(now, wholeInterval);
  if (!placed)
  {
    // Wake-ups of this thread need no slack: the deadline is the point. Where the
    // system allows it the thread runs at a low realtime priority, as the audio
    // server's threads do, so that a loaded machine does not push ticks late.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    sched_param priority;
    priority.sched_priority = 10;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
    sendByte(plug, 0xF8);
    ticks = 1;
    if (!haveService)
    {
      lastClockTicks.store(ticks);
      return;
    }
    now = readClock(service, now);
  }
  int64_t anchor = now;
  int64_t lastClock = now;
  int64_t k = 0;  // ticks since the anchor

  while (!placed && running())
  {
    ++k;
    int64_t deadline = anchor + (int64_t)std::llround(k * interval);
    if (deadline < lastClock + (int64_t)(interval / 2)) deadline = lastClock + (int64_t)(interval / 2);
    bool stopped = false;
    for (;;)
    {
      now = readClock(service, now);
      if (now >= deadline) break;
      if (!running())
      {
        stopped = true;
        break;
      }
      int64_t wake = deadline - kSpinNs;
      if (wake > now + kSliceNs) wake = now + kSliceNs;
      if (wake > now) sleepUntil(wake);
    }
    if (stopped || portGone()) break;
    // An output that came to place the ticks itself meanwhile (its port layer
    // ready only now) takes the rest of the run from this tick on.
    if (plug->startPlacedMidiClock(now, wholeInterval))
    {
      placed = true;
      break;
    }
    sendByte(plug, 0xF8);
    ++ticks;
    now = readClock(service, now);
    lastClock = now;
    // After a stall the missed ticks are not sent in a burst: they follow at half
    // an interval until the timeline is reached again, so none is lost. A stall of
    // more than a quarter note starts the timeline again from now instead.
    if (now - deadline > 24 * (int64_t)interval)
    {
      anchor = now;
      k = 0;
    }
  }
  if (placed)
  {
    while (running() && !portGone()) sleepUntil(readClock(service, now) + kSliceNs);
    ticks += (int)plug->stopPlacedMidiClock();
  }
  lastClockCpuNs.store(threadCpuNs() - cpuStart);
  lastClockWallNs.store(readClock(service, now) - wallStart);
  lastClockTicks.store(ticks);
  mach_port_deallocate(mach_task_self(), service);
}
