#pragma once
// Bundles are folders. A folder holding a shared library or program and an
// "Info.txt" file of "Key = Value" lines is that code's bundle; the file names
// the identifier (CFBundleIdentifier) and the executable (CFBundleExecutable).
// The main bundle is the running program's folder; a program without an info
// file takes its own file name as its identifier. Bundles live as long as the
// process.

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFURL.h"

typedef struct __CFBundle* CFBundleRef;

CFTypeID CFBundleGetTypeID();
CFBundleRef CFBundleGetMainBundle();
// Searches the main bundle and the folders of every loaded shared object.
CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
// Null when the folder has no info file.
CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);
CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
// A string value of the info file, or null (Get rule).
CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
// Loads the bundle's executable when needed and looks the exported symbol up.
void* CFBundleGetDataPointerForName(CFBundleRef bundle, CFStringRef symbolName);
