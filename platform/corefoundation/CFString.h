#pragma once
// Immutable text. Stored as UTF-8; lengths are counted in UTF-16 units as the
// platform counts them.

#include "platform/corefoundation/CFBase.h"

#include <cstdarg>

typedef UInt32 CFStringEncoding;
enum : CFStringEncoding
{
  kCFStringEncodingASCII = 0x0600,
  kCFStringEncodingUTF8 = 0x08000100,
};

enum : CFOptionFlags
{
  kCFCompareCaseInsensitive = 1,  // ASCII letters only
};

typedef const struct __CFDictionary* CFDictionaryRef;

CFTypeID CFStringGetTypeID();

// Null for a null text or one that is not valid in the encoding.
CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr, CFStringEncoding encoding);
CFStringRef CFStringCreateCopy(CFAllocatorRef alloc, CFStringRef str);
// printf conversions plus %@, which prints an object's description (a string's own text).
CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...);
CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format,
                                                 va_list arguments);

CFIndex CFStringGetLength(CFStringRef str);
// False, with an empty buffer, when the text and its terminating zero do not fit
// or the text cannot be given in the encoding.
Boolean CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize, CFStringEncoding encoding);
const char* CFStringGetCStringPtr(CFStringRef str, CFStringEncoding encoding);
CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding);
CFComparisonResult CFStringCompare(CFStringRef a, CFStringRef b, CFOptionFlags options);

// A string that lives as long as the process; one object per distinct text.
CFStringRef __CFStringMakeConstantString(const char* cStr);
#define CFSTR(cStr) __CFStringMakeConstantString("" cStr "")
