#pragma once
// Reference-counted platform objects. Create and Copy calls hand the caller one
// reference; Get calls lend one. Objects are safe to retain and release from any
// thread; their contents are not guarded.

#include "platform/corefoundation/MacTypes.h"

#include <cstddef>

typedef const void* CFTypeRef;
// A string, number, data, array or dictionary, or a tree of them.
typedef CFTypeRef CFPropertyListRef;
typedef unsigned long CFTypeID;
typedef unsigned long CFHashCode;
typedef unsigned long CFOptionFlags;
typedef long CFIndex;

typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef struct __CFString* CFMutableStringRef;

struct CFRange
{
  CFIndex location;
  CFIndex length;
};
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return CFRange{location, length}; }

enum : CFIndex
{
  kCFNotFound = -1
};

typedef CFIndex CFComparisonResult;
enum : CFIndex
{
  kCFCompareLessThan = -1,
  kCFCompareEqualTo = 0,
  kCFCompareGreaterThan = 1
};

// Only the default allocator exists here: the C heap.
#define kCFAllocatorDefault ((CFAllocatorRef) nullptr)

void* CFAllocatorAllocate(CFAllocatorRef allocator, CFIndex size, CFOptionFlags hint);
void CFAllocatorDeallocate(CFAllocatorRef allocator, void* ptr);

// A null object is ignored by both rather than crashing the caller.
CFTypeRef CFRetain(CFTypeRef cf);
void CFRelease(CFTypeRef cf);
CFIndex CFGetRetainCount(CFTypeRef cf);
CFTypeID CFGetTypeID(CFTypeRef cf);
Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2);
CFHashCode CFHash(CFTypeRef cf);
CFStringRef CFCopyDescription(CFTypeRef cf);
