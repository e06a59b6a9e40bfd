#include "platform/appkit/NSDragging.h"

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSView.h"
#include "platform/appkit/Presenter.h"

#include <cstdlib>
#include <unistd.h>
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

std::vector<std::string> NSDraggingInfo::propertyListForType(const std::string& type) const
{
  if (type == NSFilenamesPboardType) return filenames;
  if (type == NSFilesPromisePboardType) return promisedTypes;
  return {};
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
  if (!NSApplication::exists() || !NSApp->presenter() || !view || !view->window() || types.empty()) return;
  view->retain();
  NSApp->presenter()->dragFilesOut(view, {}, types);
  view->release();
}

std::vector<std::string> AKMakePromisedFilesElsewhere(NSView* source)
{
  char folder[] = "/tmp/davrel-drag-XXXXXX";
  std::vector<std::string> made;
  if (!source || !mkdtemp(folder)) return made;
  for (const std::string& name : source->namesOfPromisedFilesDroppedAtDestination(folder))
    made.push_back(std::string(folder) + "/" + name);
  if (made.empty()) rmdir(folder);
  return made;
}

void AKDragFiles(NSView* view, NSImage* image, NSPoint at, const std::vector<std::string>& filenames, NSObject*,
                 bool slideBack, NSEvent*)
{
  startDrag(view, NSMakeRect(at.x, at.y, 0, 0), image, slideBack);
  gLastDrag.filenames = filenames;
  // While the button is held the presenter carries the files to other programs.
  if (NSApplication::exists() && NSApp->presenter() && view && view->window() && !filenames.empty())
    NSApp->presenter()->dragFilesOut(view, filenames);
}

const AKDragStart& AKLastDragStarted() { return gLastDrag; }

// ---- the destination side ----

namespace {
NSView* gDestination = nullptr;  // retained while a drag is over it

NSView* destinationAt(NSWindow* window, NSPoint location)
{
  NSView* content = window ? window->contentView() : nullptr;
  NSView* v = content ? content->hitTest(location) : nullptr;
  while (v && !v->acceptsDrops()) v = v->superview();
  return v;
}

NSDraggingInfo* draggingInfo(NSWindow* window, NSPoint location, const std::vector<std::string>& filenames,
                             NSObject* source, const std::vector<std::string>& promisedTypes)
{
  NSDraggingInfo* info = new NSDraggingInfo(window, location, source);
  info->filenames = filenames;
  NSView* from = dynamic_cast<NSView*>(source);
  if (promisedTypes.empty() || !from) return info;
  info->promisedTypes = promisedTypes;
  // The info holds the source while the destination asks it.
  info->namesOfPromisedFilesDroppedAtDestination = [from](const std::string& folder) {
    return from->namesOfPromisedFilesDroppedAtDestination(folder);
  };
  return info;
}
}  // namespace

NSUInteger AKDragOverWindow(NSWindow* window, NSPoint location, const std::vector<std::string>& filenames,
                            NSObject* source, const std::vector<std::string>& promisedTypes)
{
  NSView* dest = destinationAt(window, location);
  NSDraggingInfo* info = draggingInfo(window, location, filenames, source, promisedTypes);
  NSUInteger answer = NSDragOperationNone;
  if (dest != gDestination)
  {
    if (gDestination) gDestination->draggingExited(info);
    AKAssign(gDestination, dest);
    if (dest) answer = dest->draggingEntered(info);
  }
  else if (dest)
    answer = dest->draggingUpdated(info);
  info->release();
  return answer;
}

void AKDragLeftWindow()
{
  if (!gDestination) return;
  NSView* dest = gDestination;
  gDestination = nullptr;
  NSDraggingInfo* info = new NSDraggingInfo(dest->window(), NSMakePoint(0, 0), nullptr);
  dest->draggingExited(info);
  info->release();
  dest->release();
}

bool AKDropOnWindow(NSWindow* window, NSPoint location, const std::vector<std::string>& filenames, NSObject* source,
                    const std::vector<std::string>& promisedTypes)
{
  NSView* dest = destinationAt(window, location);
  AKRelease(gDestination);
  if (!dest) return false;
  dest->retain();
  NSDraggingInfo* info = draggingInfo(window, location, filenames, source, promisedTypes);
  const bool taken = dest->performDragOperation(info);
  info->release();
  dest->release();
  return taken;
}
