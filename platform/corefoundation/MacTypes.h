#pragma once
// The fixed-width types and result codes the platform interfaces speak in.

#include <cstdint>

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 OSType;

constexpr OSStatus noErr = 0;
constexpr OSStatus paramErr = -50;

// A four-character code from its text, first character in the high byte.
constexpr OSType MakeOSType(const char (&s)[5])
{
  return ((OSType)(UInt8)s[0] << 24) | ((OSType)(UInt8)s[1] << 16) | ((OSType)(UInt8)s[2] << 8) | (OSType)(UInt8)s[3];
}
