#pragma once
// The console's one writer. Every thread of ours hands its lines over and goes on:
// one logger thread writes them to standard output, so that a console nobody reads
// (a paused terminal, a stuck log reader, a full pipe) stops no thread but that one.
// The queue is bounded: a line that finds it full is dropped and counted, and the
// logger says so once.

#include <cstdarg>
#include <cstddef>

// Hands a copy of the bytes over; never waits for the console or a lock held
// across a write.
void ConsoleLogText(const char* text, size_t size);
void ConsoleLogFormat(const char* format, va_list ap);

// Waits until every line handed over before the call is on standard output (or
// was dropped), for at most timeoutMs, and less when the logger stands still for
// stallMs: a console nobody reads is not waited for. False when a bound was hit.
bool ConsoleLogWritten(int timeoutMs, int stallMs = 100);

struct ConsoleLogTally
{
  unsigned long long written = 0;  // lines on standard output
  unsigned long long dropped = 0;  // lines that found the queue full
};
ConsoleLogTally ConsoleLogCounts();
