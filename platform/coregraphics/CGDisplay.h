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

// Installed by the presenter; each answers as the function of the same name.
struct DVCGDisplayServices
{
  size_t (*pixelsWide)(void* owner);
  size_t (*pixelsHigh)(void* owner);
  CGError (*hideCursor)(void* owner);
  CGError (*showCursor)(void* owner);
  CGError (*moveCursor)(void* owner, CGPoint point);
  void* owner;
};
// Null removes them. Main thread.
void DVCGSetDisplayServices(const DVCGDisplayServices* services);
// The cursor is hidden as many times as it was hidden minus shown (never below 0).
int DVCGCursorHideCount();
