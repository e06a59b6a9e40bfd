#pragma once
// The instrument selectors of a music device.

#include "platform/audiounit/AUComponent.h"

typedef UInt32 MusicDeviceInstrumentID;
typedef UInt32 MusicDeviceGroupID;
typedef UInt32 NoteInstanceID;

struct MusicDeviceNoteParams
{
  UInt32 argCount;
  Float32 mPitch;
  Float32 mVelocity;
};

enum : SInt16
{
  kMusicDeviceMIDIEventSelect = 0x0101,
  kMusicDeviceSysExSelect = 0x0102,
  kMusicDevicePrepareInstrumentSelect = 0x0103,
  kMusicDeviceReleaseInstrumentSelect = 0x0104,
  kMusicDeviceStartNoteSelect = 0x0105,
  kMusicDeviceStopNoteSelect = 0x0106,
};

OSStatus MusicDeviceMIDIEvent(AudioUnit inUnit, UInt32 inStatus, UInt32 inData1, UInt32 inData2,
                              UInt32 inOffsetSampleFrame);
OSStatus MusicDeviceSysEx(AudioUnit inUnit, const UInt8* inData, UInt32 inLength);
OSStatus MusicDevicePrepareInstrument(AudioUnit inUnit, MusicDeviceInstrumentID inInstrument);
OSStatus MusicDeviceReleaseInstrument(AudioUnit inUnit, MusicDeviceInstrumentID inInstrument);
OSStatus MusicDeviceStartNote(AudioUnit inUnit, MusicDeviceInstrumentID inInstrument, MusicDeviceGroupID inGroupID,
                              NoteInstanceID* outNoteInstanceID, UInt32 inOffsetSampleFrame,
                              const MusicDeviceNoteParams* inParams);
OSStatus MusicDeviceStopNote(AudioUnit inUnit, MusicDeviceGroupID inGroupID, NoteInstanceID inNoteInstanceID,
                             UInt32 inOffsetSampleFrame);
