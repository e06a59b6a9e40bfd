#include "platform/appkit/NSDragging.h"

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"

const char* const NSFilenamesPboardType = "NSFilenamesPboardType";
const char* const NSFilesPromisePboardType = "NSFilesPromisePboardType";

NSDraggingInfo::NSDraggingInfo(NSWindow* window, NSPoint location, NSObject* source)
  : mWindow(AKRetain(window)), mLocation(location), mSource(AKRetain(source))
{
}

NSDraggingInfo::~NSDraggingInfo()
{
  AKRelease(mWindow);
  AKRelease(mSource);
}

std::vector<std::string> NSDraggingInfo::types() const
{
  std::vector<std::string> t;
  if (!filenames.empty()) t.push_back(NSFilenamesPboardType);
  if (!promisedTypes.empty()) t.push_back(NSFilesPromisePboardType);
  return t;
}

namespace {
AKDragStart gLastDrag;

void startDrag(NSView* view, NSRect rect, NSImage* image, bool slideBack)
{
  const long count = gLastDrag.count + 1;
  AKAssign(gLastDrag.image, image);
  NSImage* kept = gLastDrag.image;
  gLastDrag = AKDragStart();
  gLastDrag.image = kept;
  gLastDrag.view = view;
  gLastDrag.rect = rect;
  gLastDrag.slideBack = slideBack;
  gLastDrag.count = count;
}
}  // namespace

void AKDragPromisedFiles(NSView* view, const std::vector<std::string>& types, NSRect rect, NSObject*,
                         bool slideBack, NSEvent*)
{
  startDrag(view, rect, nullptr, slideBack);
  gLastDrag.promisedTypes = types;
}

void AKDragFiles(NSView* view, NSImage* image, NSPoint at, const std::vector<std::string>& filenames, NSObject*,
                 bool slideBack, NSEvent*)
{
  startDrag(view, NSMakeRect(at.x, at.y, 0, 0), image, slideBack);
  gLastDrag.filenames = filenames;
}

const AKDragStart& AKLastDragStarted() { return gLastDrag; }
