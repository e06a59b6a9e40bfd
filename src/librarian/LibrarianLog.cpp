#include "librarian/LibrarianLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace
{
std::atomic<LibrarianLogSink> gSink{&librarianLogToStdout};
}

void librarianLogToStdout(const char* line)
{
  printf("%s\n", line);
  fflush(stdout);
}

void setLibrarianLogSink(LibrarianLogSink sink) { gSink.store(sink); }

void librarianLog(const char* fmt, ...)
{
  const LibrarianLogSink sink = gSink.load();
  if (!sink) return;
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = vsnprintf(small, sizeof(small), fmt, ap);
  va_end(ap);
  if (n >= 0 && n < (int)sizeof(small))
  {
    sink(small);
  }
  else if (n >= 0)
  {
    std::string big((size_t)n + 1, '\0');
    vsnprintf(&big[0], big.size(), fmt, ap2);
    sink(big.c_str());
  }
  va_end(ap2);
}
