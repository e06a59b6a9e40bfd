#include "platform/coregraphics/CGDisplay.h"

namespace {

DVCGDisplayServices gServices = {};
bool gInstalled = false;
int gHideCount = 0;

}  // namespace

void DVCGSetDisplayServices(const DVCGDisplayServices* services)
{
  gInstalled = services != nullptr;
  gServices = services ? *services : DVCGDisplayServices{};
}

int DVCGCursorHideCount() { return gHideCount; }

CGDirectDisplayID CGMainDisplayID() { return 1; }

size_t CGDisplayPixelsHigh(CGDirectDisplayID) { return gInstalled ? gServices.pixelsHigh(gServices.owner) : 0; }

size_t CGDisplayPixelsWide(CGDirectDisplayID) { return gInstalled ? gServices.pixelsWide(gServices.owner) : 0; }

CGError CGDisplayHideCursor(CGDirectDisplayID)
{
  const CGError e = gInstalled ? gServices.hideCursor(gServices.owner) : kCGErrorSuccess;
  if (e == kCGErrorSuccess) ++gHideCount;
  return e;
}

CGError CGDisplayShowCursor(CGDirectDisplayID)
{
  const CGError e = gInstalled ? gServices.showCursor(gServices.owner) : kCGErrorSuccess;
  if (e == kCGErrorSuccess && gHideCount > 0) --gHideCount;
  return e;
}

CGEventFlags CGEventSourceFlagsState(CGEventSourceStateID)
{
  return gInstalled && gServices.flagsState ? gServices.flagsState(gServices.owner) : 0;
}

CGError CGDisplayMoveCursorToPoint(CGDirectDisplayID, CGPoint point)
{
  return gInstalled ? gServices.moveCursor(gServices.owner, point) : kCGErrorSuccess;
}

CGError CGAssociateMouseAndMouseCursorPosition(int connected)
{
  return gInstalled && gServices.associateMouse ? gServices.associateMouse(gServices.owner, connected != 0)
                                                : kCGErrorSuccess;
}
