#pragma once
// The console log every source file prints through: printf-style, to standard
// output, flushed at once so lines from several threads and a crash keep order.

#include <cstdarg>
#include <cstdio>

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
inline void ConsoleLog(const char* format, ...)
{
  va_list ap;
  va_start(ap, format);
  vprintf(format, ap);
  va_end(ap);
  fflush(stdout);
}
