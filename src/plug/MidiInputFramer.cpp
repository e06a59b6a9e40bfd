#include "plug/MidiInputFramer.h"

// Grown in 64 KB steps: the synthesizer's largest dump takes one allocation.
MidiInputFramer::MidiInputFramer(bool runningStatus, int maxSysExSize)
  : mSysEx(64 * 1024), mMaxSysExSize(maxSysExSize > 2 ? maxSysExSize : 2), mRunningStatus(runningStatus)
{
}

int MidiInputFramer::DataBytesOf(unsigned char status)
{
  if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2; // program change, channel aftertouch: one
  switch (status)
  {
  case 0xF1: // time code quarter frame
  case 0xF3: // song select
    return 1;
  case 0xF2: // song position
    return 2;
  default: // tune request and the undefined F4, F5
    return 0;
  }
}
