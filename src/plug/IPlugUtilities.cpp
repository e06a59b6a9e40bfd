#include "plug/IPlugUtilities.h"

#include <cstdio>
#include <cstring>

int GetVersionParts(int version, int* pMajor, int* pMinor, int* pRevision)
{
  const unsigned v = (unsigned)version;
  const int major = (int)((v & 0xFFFF0000u) >> 16);
  if (pMajor) *pMajor = major;
  if (pMinor) *pMinor = (int)((v & 0x0000FF00u) >> 8);
  if (pRevision) *pRevision = (int)(v & 0x000000FFu);
  return major;
}

int GetDecimalVersion(int version)
{
  int major, minor, revision;
  GetVersionParts(version, &major, &minor, &revision);
  return 10000 * major + 100 * minor + revision;
}

void GetVersionStr(int version, char* str)
{
  int major, minor, revision;
  GetVersionParts(version, &major, &minor, &revision);
  if (revision) snprintf(str, kVersionStrLen, "v%d.%d.%d", major, minor, revision);
  else if (minor) snprintf(str, kVersionStrLen, "v%d.%d", major, minor);
  else snprintf(str, kVersionStrLen, "v%d", major);
}

void FourCCStr(int code, char* str)
{
  const unsigned c = (unsigned)code;
  str[0] = (char)(c >> 24);
  str[1] = (char)(c >> 16);
  str[2] = (char)(c >> 8);
  str[3] = (char)c;
  str[4] = 0;
}

bool Timer::Every(double seconds)
{
  const int now = (int)clock();
  if ((double)(now - mT) > seconds * 1000000.0)
  {
    mT = now;
    return true;
  }
  return false;
}

bool IsWhitespace(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void ToLower(char* dst, const char* src)
{
  const size_t n = strlen(src);
  for (size_t i = 0; i <= n; ++i)
  {
    const char c = src[i];
    dst[i] = (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
  }
}

const char* CurrentTime()
{
  thread_local char tStr[64];
  const time_t t = time(nullptr);
  struct tm local, utc;
  localtime_r(&t, &local);
  gmtime_r(&t, &utc);

  char base[48];
  strftime(base, sizeof(base), "%Y%m%d %H:%M ", &local);

  int offset = (local.tm_hour - utc.tm_hour) * 60 + local.tm_min - utc.tm_min;
  const int dayDiff = local.tm_yday - utc.tm_yday;
  // A day of the year one ahead, or far behind across a new year, is the next day.
  if (dayDiff == 1 || dayDiff < -1) offset += 1440;
  else if (dayDiff == -1 || dayDiff > 1) offset -= 1440;

  const char sign = offset >= 0 ? '+' : '-';
  if (offset < 0) offset = -offset;
  snprintf(tStr, sizeof(tStr), "%s%c%02d%02d", base, sign, offset / 60, offset % 60);
  return tStr;
}

void CompileTimestamp(const char* date, const char* time, WDL_String* pStr)
{
  if (!pStr) return;
  pStr->Set("[");
  pStr->Append(date ? date : "");
  pStr->SetLen(7);
  pStr->DeleteSub(4, 1);
  pStr->Append(" ");
  pStr->Append(time ? time : "");
  pStr->SetLen(12);
  pStr->Append("]");
}

const char* AppendTimestamp(const char* date, const char* time, const char* text)
{
  thread_local WDL_String tStr;
  WDL_String stamp;
  CompileTimestamp(date, time, &stamp);
  tStr.Set(text ? text : "");
  tStr.Append(" ");
  tStr.Append(stamp.Get());
  return tStr.Get();
}

void Trace(const char*, int, const char*, ...) {}

const char* VSTOpcodeStr(int) { return ""; }
const char* AUSelectStr(int) { return ""; }
const char* AUPropertyStr(int) { return ""; }
const char* AUScopeStr(int) { return ""; }
