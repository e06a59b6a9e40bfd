#pragma once
// Audio Unit events: a unit posts parameter gestures and changes, hosts listen.
// Here delivery is synchronous, on the thread that posts.

#include "platform/audiounit/AUComponent.h"

typedef UInt32 AudioUnitEventType;
enum : AudioUnitEventType
{
  kAudioUnitEvent_ParameterValueChange = 0,
  kAudioUnitEvent_BeginParameterChangeGesture = 1,
  kAudioUnitEvent_EndParameterChangeGesture = 2,
  kAudioUnitEvent_PropertyChange = 3,
};

struct AudioUnitParameter
{
  AudioUnit mAudioUnit;
  AudioUnitParameterID mParameterID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};

struct AudioUnitProperty
{
  AudioUnit mAudioUnit;
  AudioUnitPropertyID mPropertyID;
  AudioUnitScope mScope;
  AudioUnitElement mElement;
};

struct AudioUnitEvent
{
  AudioUnitEventType mEventType;
  union
  {
    AudioUnitParameter mParameter;
    AudioUnitProperty mProperty;
  } mArgument;
};

// A registration for this parameter id matches every parameter.
constexpr AudioUnitParameterID kAUParameterListener_AnyParameter = 0xFFFFFFFFu;

typedef struct AUListenerBase* AUEventListenerRef;
// For a value change the value is the parameter's value read back when the event is delivered.
typedef void (*AUEventListenerProc)(void* inCallbackRefCon, void* inObject, const AudioUnitEvent* inEvent,
                                    UInt64 inEventHostTime, AudioUnitParameterValue inParameterValue);

OSStatus AUEventListenerCreate(AUEventListenerProc inProc, void* inCallbackRefCon, AUEventListenerRef* outListener);
// inObject is handed back to the listener with each event.
OSStatus AUEventListenerAddEventType(AUEventListenerRef inListener, void* inObject, const AudioUnitEvent* inEvent);
OSStatus AUEventListenerRemoveEventType(AUEventListenerRef inListener, void* inObject, const AudioUnitEvent* inEvent);
// The listener hears nothing more; its registrations go when their instances close.
OSStatus AUListenerDispose(AUEventListenerRef inListener);
// Delivers the event to every matching registration except those of the sending
// listener or object.
OSStatus AUEventListenerNotify(AUEventListenerRef inSendingListener, void* inSendingObject,
                               const AudioUnitEvent* inEvent);
