#pragma once
// System facts by selector. On this build the system reports itself as 10.6.8,
// the oldest release whose every interface the plug-in's code assumes.

#include "platform/corefoundation/MacTypes.h"

enum : OSType
{
  gestaltSystemVersion = MakeOSType("sysv"),       // 0x1068 for 10.6.8
  gestaltSystemVersionMajor = MakeOSType("sys1"),
  gestaltSystemVersionMinor = MakeOSType("sys2"),
  gestaltSystemVersionBugFix = MakeOSType("sys3"),
};

constexpr OSStatus gestaltUndefSelectorErr = -5551;

// paramErr for a null response; gestaltUndefSelectorErr for an unknown selector.
OSStatus Gestalt(OSType selector, SInt32* response);
// Sets or adds a selector's value for this process.
OSStatus ReplaceGestaltValue(OSType selector, SInt32 newValue);
