#pragma once
// The Carbon view component of an Audio Unit.

#include "platform/audiounit/AUComponent.h"
#include "platform/carbon/HIToolbox.h"

enum : OSType
{
  kAudioUnitCarbonViewComponentType = MakeOSType("auvw"),
};

enum : SInt16
{
  kAudioUnitCarbonViewCreateSelect = 0x0301,
};

struct Float32Point
{
  Float32 x;
  Float32 y;
};

// Arguments, in order: the unit to edit, window, parent control, location, size,
// and where to put the new control.
OSStatus AudioUnitCarbonViewCreate(ComponentInstance inView, AudioUnit inEditUnit, WindowRef inWindow,
                                   ControlRef inParentControl, const Float32Point* inLocation,
                                   const Float32Point* inSize, ControlRef* outControl);
