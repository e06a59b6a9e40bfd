#pragma once
// Every librarian log line goes through librarianLog. Until the editor's log file
// takes them, lines go to standard output; setLibrarianLogSink sends them elsewhere
// (null: lines are not even composed).

#include <string>
#include <vector>

void librarianLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

using LibrarianLogSink = void (*)(const char* line);
void setLibrarianLogSink(LibrarianLogSink sink);
// Writes the line to standard output: at once, or while a LibrarianLogBatch lives,
// gathered and written when the last batch ends (or its buffer fills).
void librarianLogToStdout(const char* line);

// Held over work that logs a line per file (the scan), so that those lines cost no
// write and flush each. Any thread; batches nest.
class LibrarianLogBatch
{
public:
  LibrarianLogBatch();
  ~LibrarianLogBatch();
  LibrarianLogBatch(const LibrarianLogBatch&) = delete;
  LibrarianLogBatch& operator=(const LibrarianLogBatch&) = delete;
};

// While it lives, the lines the calling thread logs are appended to *lines instead of
// going to the sink (composed only when a sink is set): the scan's file readers keep
// each file's lines for the scanning thread to write in the scan's order. Nests.
class LibrarianLogCapture
{
public:
  explicit LibrarianLogCapture(std::vector<std::string>* lines);
  ~LibrarianLogCapture();
  LibrarianLogCapture(const LibrarianLogCapture&) = delete;
  LibrarianLogCapture& operator=(const LibrarianLogCapture&) = delete;

private:
  std::vector<std::string>* previous;
};
// Hands a line composed earlier (a captured one) to the sink.
void librarianLogLine(const std::string& line);
