// The hardware MIDI port layer of IPlugBase, over RtMidi.

#include "plug/IPlugBase.h"

#include <RtMidi.h>

void IPlugBase::CloseMidiPorts()
{
  if (mMidiOut)
  {
    mMidiOut->closePort();
    delete mMidiOut;
    mMidiOut = nullptr;
  }
  if (mMidiIn)
  {
    mMidiIn->closePort();
    delete mMidiIn;
    mMidiIn = nullptr;
  }
}
