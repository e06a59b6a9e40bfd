#pragma once
// Immutable byte blocks.

#include "platform/corefoundation/CFBase.h"

typedef const struct __CFData* CFDataRef;

CFTypeID CFDataGetTypeID();
// Null for a negative length, or bytes missing for a positive one.
CFDataRef CFDataCreate(CFAllocatorRef alloc, const UInt8* bytes, CFIndex length);
CFIndex CFDataGetLength(CFDataRef data);
// Null for empty data.
const UInt8* CFDataGetBytePtr(CFDataRef data);
// Copies the range; a range outside the data copies nothing.
void CFDataGetBytes(CFDataRef data, CFRange range, UInt8* buffer);
