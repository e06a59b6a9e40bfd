#pragma once
// A drag in progress as its destination sees it: where it is and what its
// pasteboard carries (file paths, or files the source promises to create).

#include "platform/appkit/Foundation.h"

#include <functional>
#include <string>
#include <vector>

class NSWindow;

extern const char* const NSFilenamesPboardType;
extern const char* const NSFilesPromisePboardType;

enum : NSUInteger
{
  NSDragOperationNone = 0,
  NSDragOperationGeneric = 4
};

class NSDraggingInfo : public NSObject
{
public:
  // location: in the destination window's base coordinates. source: retained.
  NSDraggingInfo(NSWindow* window, NSPoint location, NSObject* source);

  NSWindow* draggingDestinationWindow() const { return mWindow; }
  NSPoint draggingLocation() const { return mLocation; }
  NSObject* draggingSource() const { return mSource; }

  // The pasteboard's types, in order, and the lists behind them.
  std::vector<std::string> types() const;
  // The list of a type: the file names or the promised types; empty for another.
  std::vector<std::string> propertyListForType(const std::string& type) const;
  std::vector<std::string> filenames;      // NSFilenamesPboardType when not empty
  std::vector<std::string> promisedTypes;  // NSFilesPromisePboardType when not empty
  // The source creates the promised files in the folder and names them; empty when
  // it made none.
  std::function<std::vector<std::string>(const std::string& folder)> namesOfPromisedFilesDroppedAtDestination;

protected:
  ~NSDraggingInfo() override;

private:
  NSWindow* mWindow;  // retained
  NSPoint mLocation;
  NSObject* mSource;  // retained
};

class NSView;
class NSImage;
class NSEvent;

// A drag this process started, as the kit keeps it: a destination of the same
// process (and a test) reads this record; under the X11 presenter the drag also
// leaves the process (XDND) while the button is held.
struct AKDragStart
{
  NSView* view = nullptr;                  // not retained
  std::vector<std::string> promisedTypes;  // dragPromisedFilesOfTypes:
  std::vector<std::string> filenames;      // a drag pasteboard of NSFilenamesPboardType
  NSRect rect{{0, 0}, {0, 0}};             // where it starts, in the view
  NSImage* image = nullptr;                // retained while the record lasts
  bool slideBack = false;
  long count = 0;                          // drags started so far
};

// dragPromisedFilesOfTypes:fromRect:source:slideBack:event:
void AKDragPromisedFiles(NSView* view, const std::vector<std::string>& types, NSRect rect, NSObject* source,
                         bool slideBack, NSEvent* event);
// dragImage:at:offset:event:pasteboard:source:slideBack: with the pasteboard's file names.
void AKDragFiles(NSView* view, NSImage* image, NSPoint at, const std::vector<std::string>& filenames,
                 NSObject* source, bool slideBack, NSEvent* event);
const AKDragStart& AKLastDragStarted();

// The destination side, as a presenter delivers a drag over one of its windows
// (location in the window's base coordinates): the deepest view under it that
// acceptsDrops is its destination. Enter and move: the destination's answer
// (NSDragOperationNone when there is none); leave: the destination is told the
// drag left; drop: true when the destination took it. A drag of promised files
// (promisedTypes not empty) comes from a view of the process, its source: the
// destination names the folder and the source makes the files there. Main thread.
NSUInteger AKDragOverWindow(NSWindow* window, NSPoint location, const std::vector<std::string>& filenames,
                            NSObject* source, const std::vector<std::string>& promisedTypes = {});
void AKDragLeftWindow();
bool AKDropOnWindow(NSWindow* window, NSPoint location, const std::vector<std::string>& filenames, NSObject* source,
                    const std::vector<std::string>& promisedTypes = {});
// The promised files of a drag from the view, made for another program in a
// private folder under /tmp (left behind: the program copies from it): their
// paths, empty when the view made none.
std::vector<std::string> AKMakePromisedFilesElsewhere(NSView* source);
