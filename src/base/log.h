#pragma once
// The console log every source file prints through: printf-style, to standard
// output. The line is only handed to the logger thread (ConsoleLogger.h), which
// writes the lines in the order each thread handed them over; the caller never
// waits for the console.

#include "base/ConsoleLogger.h"

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void ConsoleLog(const char* format, ...);
