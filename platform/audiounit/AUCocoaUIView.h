#pragma once
// The editor view offered as a named view-factory class. A unit names the class
// and its bundle through property 31; the class runtime here finds the class
// among those the bundle's code exports, and the host makes the view from it.

#include "platform/audiounit/AUComponent.h"
#include "platform/corefoundation/CFBundle.h"
#include "platform/corefoundation/CFString.h"
#include "platform/corefoundation/CFURL.h"

// Property 31.
struct AudioUnitCocoaViewInfo
{
  CFURLRef mCocoaAUViewBundleLocation;
  CFStringRef mCocoaAUViewClass[1];
};
static_assert(sizeof(AudioUnitCocoaViewInfo) == 16, "view information record");

// What every view-factory class answers.
class AUCocoaUIBase
{
public:
  virtual ~AUCocoaUIBase() = default;
  // The editor view for the unit, or null; the view belongs to the unit's editor.
  virtual void* uiViewForAudioUnit(AudioUnit inAudioUnit, double preferredWidth, double preferredHeight) = 0;
  virtual unsigned interfaceVersion() = 0;
  virtual CFStringRef description() = 0;  // the caller releases it
};

// One class: its name and how to make (allocate and initialise) an instance.
struct AUCocoaUIClass
{
  const char* name;
  AUCocoaUIBase* (*make)();
};

#define AU_COCOA_UI_CLASS_SYMBOL_PREFIX "AUCocoaUIClass_"

// Registers a class under its own name: exported from the code that holds it.
#define AU_COCOA_UI_EXPORT_CLASS(ClassName)                                                         \
  extern "C" __attribute__((visibility("default"), used)) const AUCocoaUIClass AUCocoaUIClass_##ClassName = { \
      #ClassName, []() -> AUCocoaUIBase* { return new ClassName(); }}

// The class of that name in the bundle's code, or null.
const AUCocoaUIClass* AUCocoaUIClassNamed(CFBundleRef bundle, CFStringRef className);
