#pragma once
// Immutable numbers, integral or floating.

#include "platform/corefoundation/CFBase.h"

typedef const struct __CFNumber* CFNumberRef;

typedef CFIndex CFNumberType;
enum : CFIndex
{
  kCFNumberSInt8Type = 1,
  kCFNumberSInt16Type = 2,
  kCFNumberSInt32Type = 3,
  kCFNumberSInt64Type = 4,
  kCFNumberFloat32Type = 5,
  kCFNumberFloat64Type = 6,
};

CFTypeID CFNumberGetTypeID();
// Null for an unknown type or a null value pointer.
CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType theType, const void* valuePtr);
CFNumberType CFNumberGetType(CFNumberRef number);
Boolean CFNumberIsFloatType(CFNumberRef number);
// Writes the value converted to theType; false when the conversion lost something
// (or the type is unknown, in which case nothing is written).
Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr);
