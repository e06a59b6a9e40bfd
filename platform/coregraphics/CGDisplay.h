#pragma once
// The main display as CoreGraphics names it: its size, the cursor's visibility and
// position. The window kit's presenter (platform/appkit) supplies the display; with
// none installed the calls succeed on a display of 0 x 0 pixels and keep the
// cursor's state here. Implemented inside the kit's shared library (one display per
// process, whichever library calls), so callers link davrel_platform_appkit.

#include <cstddef>
#include <cstdint>

#include "platform/coregraphics/coregraphics.h"

typedef uint32_t CGDirectDisplayID;
typedef int32_t CGError;
enum : CGError
{
  kCGErrorSuccess = 0,
  kCGErrorFailure = 1000
};

CGDirectDisplayID CGMainDisplayID();
size_t CGDisplayPixelsHigh(CGDirectDisplayID display);
size_t CGDisplayPixelsWide(CGDirectDisplayID display);
CGError CGDisplayHideCursor(CGDirectDisplayID display);
CGError CGDisplayShowCursor(CGDirectDisplayID display);
// The point counts y down from the display's top.
CGError CGDisplayMoveCursorToPoint(CGDirectDisplayID display, CGPoint point);
// False holds the pointer where it is while mouse motions still report how far they
// went; true lets it follow the mouse again.
CGError CGAssociateMouseAndMouseCursorPosition(int connected);

// The modifier keys held now, as the presenter last saw them (0 without one).
typedef uint64_t CGEventFlags;
typedef int32_t CGEventSourceStateID;
enum : CGEventSourceStateID
{
  kCGEventSourceStateCombinedSessionState = 0
};
enum : CGEventFlags
{
  kCGEventFlagMaskShift = 0x20000,
  kCGEventFlagMaskControl = 0x40000,
  kCGEventFlagMaskAlternate = 0x80000,
  kCGEventFlagMaskCommand = 0x100000
};
CGEventFlags CGEventSourceFlagsState(CGEventSourceStateID state);

// Installed by the presenter; each answers as the function of the same name.
struct DVCGDisplayServices
{
  size_t (*pixelsWide)(void* owner);
  size_t (*pixelsHigh)(void* owner);
  CGError (*hideCursor)(void* owner);
  CGError (*showCursor)(void* owner);
  CGError (*moveCursor)(void* owner, CGPoint point);
  CGEventFlags (*flagsState)(void* owner);  // may be null
  CGError (*associateMouse)(void* owner, bool connected);  // may be null
  void* owner;
};
// Null removes them. Main thread.
void DVCGSetDisplayServices(const DVCGDisplayServices* services);
// The cursor is hidden as many times as it was hidden minus shown (never below 0).
int DVCGCursorHideCount();
