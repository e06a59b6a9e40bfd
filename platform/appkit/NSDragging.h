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
