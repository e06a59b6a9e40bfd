#include "platform/audiounit/AUCarbonView.h"
#include "platform/audiounit/AUComponent.h"
#include "platform/audiounit/MusicDevice.h"

template <class T>
static uintptr_t W(T v)
{
  return ComponentWord(v);
}

OSStatus AudioUnitInitialize(AudioUnit inUnit) { return CallComponent(inUnit, kAudioUnitInitializeSelect, {}); }

OSStatus AudioUnitUninitialize(AudioUnit inUnit) { return CallComponent(inUnit, kAudioUnitUninitializeSelect, {}); }

OSStatus AudioUnitGetPropertyInfo(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, UInt32* outDataSize, Boolean* outWritable)
{
  return CallComponent(inUnit, kAudioUnitGetPropertyInfoSelect,
                       {W(inID), W(inScope), W(inElement), W(outDataSize), W(outWritable)});
}

OSStatus AudioUnitGetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize)
{
  return CallComponent(inUnit, kAudioUnitGetPropertySelect,
                       {W(inID), W(inScope), W(inElement), W(outData), W(ioDataSize)});
}

OSStatus AudioUnitSetProperty(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize)
{
  return CallComponent(inUnit, kAudioUnitSetPropertySelect,
                       {W(inID), W(inScope), W(inElement), W(inData), W(inDataSize)});
}

OSStatus AudioUnitGetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue)
{
  return CallComponent(inUnit, kAudioUnitGetParameterSelect, {W(inID), W(inScope), W(inElement), W(outValue)});
}

OSStatus AudioUnitSetParameter(AudioUnit inUnit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue, UInt32 inBufferOffsetInFrames)
{
  return CallComponent(inUnit, kAudioUnitSetParameterSelect,
                       {W(inID), W(inScope), W(inElement), W(inValue), W(inBufferOffsetInFrames)});
}

OSStatus AudioUnitReset(AudioUnit inUnit, AudioUnitScope inScope, AudioUnitElement inElement)
{
  return CallComponent(inUnit, kAudioUnitResetSelect, {W(inScope), W(inElement)});
}

OSStatus AudioUnitAddPropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
                                      void* inProcUserData)
{
  return CallComponent(inUnit, kAudioUnitAddPropertyListenerSelect, {W(inID), W(inProc), W(inProcUserData)});
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit inUnit, AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc)
{
  return CallComponent(inUnit, kAudioUnitRemovePropertyListenerSelect, {W(inID), W(inProc)});
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit inUnit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc, void* inProcUserData)
{
  return CallComponent(inUnit, kAudioUnitRemovePropertyListenerWithUserDataSelect,
                       {W(inID), W(inProc), W(inProcUserData)});
}

OSStatus AudioUnitAddRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData)
{
  return CallComponent(inUnit, kAudioUnitAddRenderNotifySelect, {W(inProc), W(inProcUserData)});
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit inUnit, AURenderCallback inProc, void* inProcUserData)
{
  return CallComponent(inUnit, kAudioUnitRemoveRenderNotifySelect, {W(inProc), W(inProcUserData)});
}

OSStatus AudioUnitRender(AudioUnit inUnit, AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* inTimeStamp,
                         UInt32 inOutputBusNumber, UInt32 inNumberFrames, AudioBufferList* ioData)
{
  return CallComponent(inUnit, kAudioUnitRenderSelect,
                       {W(ioActionFlags), W(inTimeStamp), W(inOutputBusNumber), W(inNumberFrames), W(ioData)});
}

OSStatus AudioUnitScheduleParameters(AudioUnit inUnit, const AudioUnitParameterEvent* inParameterEvent,
                                     UInt32 inNumParamEvents)
{
  return CallComponent(inUnit, kAudioUnitScheduleParametersSelect, {W(inParameterEvent), W(inNumParamEvents)});
}

OSStatus MusicDeviceMIDIEvent(AudioUnit inUnit, UInt32 inStatus, UInt32 inData1, UInt32 inData2, UInt32 inOffsetSampleFrame)
{
  return CallComponent(inUnit, kMusicDeviceMIDIEventSelect,
                       {W(inStatus), W(inData1), W(inData2), W(inOffsetSampleFrame)});
}

OSStatus MusicDeviceSysEx(AudioUnit inUnit, const UInt8* inData, UInt32 inLength)
{
  return CallComponent(inUnit, kMusicDeviceSysExSelect, {W(inData), W(inLength)});
}

OSStatus MusicDevicePrepareInstrument(AudioUnit inUnit, MusicDeviceInstrumentID inInstrument)
{
  return CallComponent(inUnit, kMusicDevicePrepareInstrumentSelect, {W(inInstrument)});
}

OSStatus MusicDeviceReleaseInstrument(AudioUnit inUnit, MusicDeviceInstrumentID inInstrument)
{
  return CallComponent(inUnit, kMusicDeviceReleaseInstrumentSelect, {W(inInstrument)});
}

OSStatus MusicDeviceStartNote(AudioUnit inUnit, MusicDeviceInstrumentID inInstrument, MusicDeviceGroupID inGroupID,
                              NoteInstanceID* outNoteInstanceID, UInt32 inOffsetSampleFrame,
                              const MusicDeviceNoteParams* inParams)
{
  return CallComponent(inUnit, kMusicDeviceStartNoteSelect,
                       {W(inInstrument), W(inGroupID), W(outNoteInstanceID), W(inOffsetSampleFrame), W(inParams)});
}

OSStatus MusicDeviceStopNote(AudioUnit inUnit, MusicDeviceGroupID inGroupID, NoteInstanceID inNoteInstanceID,
                             UInt32 inOffsetSampleFrame)
{
  return CallComponent(inUnit, kMusicDeviceStopNoteSelect, {W(inGroupID), W(inNoteInstanceID), W(inOffsetSampleFrame)});
}

OSStatus AudioUnitCarbonViewCreate(ComponentInstance inView, AudioUnit inEditUnit, WindowRef inWindow,
                                   ControlRef inParentControl, const Float32Point* inLocation,
                                   const Float32Point* inSize, ControlRef* outControl)
{
  return CallComponent(inView, kAudioUnitCarbonViewCreateSelect,
                       {W(inEditUnit), W(inWindow), W(inParentControl), W(inLocation), W(inSize), W(outControl)});
}
