#include "platform/appkit/NSDragging.h"

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
