#pragma once
// Small helpers of the framework: packed versions, four-character codes,
// a coarse timer, lower-casing, time-stamp texts and the empty trace hook.

#include "base/wdlstring.h"

#include <ctime>

// Versions are packed: major in bits 16..31, minor in 8..15, revision in 0..7.
int GetVersionParts(int version, int* pMajor, int* pMinor, int* pRevision);  // returns the major part
int GetDecimalVersion(int version);                                            // major*10000 + minor*100 + revision
enum { kVersionStrLen = 16 };
// "v%d.%d.%d", or "v%d.%d" without a revision, or "v%d"; str holds kVersionStrLen bytes.
void GetVersionStr(int version, char* str);

// The value of a four-character literal such as 'dvrx', without the
// compiler's multi-character warning.
constexpr int FourCC(const char (&code)[5])
{
  return (int)(((unsigned)(unsigned char)code[0] << 24) | ((unsigned)(unsigned char)code[1] << 16) |
               ((unsigned)(unsigned char)code[2] << 8) | (unsigned)(unsigned char)code[3]);
}
// The four characters of a code, most significant first; str holds 5 bytes.
void FourCCStr(int code, char* str);

class Timer
{
public:
  Timer() : mT(clock()) {}
  // True, and restarts, when more than the given seconds of processor time passed.
  bool Every(double seconds);

private:
  int mT;
};

bool IsWhitespace(char c);
// dst must hold strlen(src) + 1 bytes.
void ToLower(char* dst, const char* src);
// "%Y%m%d %H:%M " and the offset from UTC as "+hhmm" or "-hhmm"; a text of this thread.
const char* CurrentTime();
void CompileTimestamp(const char* date, const char* time, WDL_String* pStr);
// text, a blank and the compile time stamp; a text of this thread.
const char* AppendTimestamp(const char* date, const char* time, const char* text);

// The framework's trace points; they print nothing.
void Trace(const char* funcName, int line, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
#define TRACELOC __FUNCTION__, __LINE__

const char* VSTOpcodeStr(int opCode);
const char* AUSelectStr(int select);
const char* AUPropertyStr(int propID);
const char* AUScopeStr(int scope);
