#pragma once
// File locations. A relative path is made absolute against the working folder
// when the URL is created.

#include "platform/corefoundation/CFBase.h"

typedef const struct __CFURL* CFURLRef;

typedef CFIndex CFURLPathStyle;
enum : CFIndex
{
  kCFURLPOSIXPathStyle = 0,
};

CFTypeID CFURLGetTypeID();
CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef alloc, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory);
CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef alloc, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory);
// The path as a zero-terminated text; false when it does not fit.
Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer, CFIndex maxBufLen);
CFStringRef CFURLCopyFileSystemPath(CFURLRef url, CFURLPathStyle pathStyle);
// The "file://" form (Get rule).
CFStringRef CFURLGetString(CFURLRef url);
Boolean CFURLHasDirectoryPath(CFURLRef url);
