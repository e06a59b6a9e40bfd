#pragma once
// Every librarian log line goes through librarianLog, to the log target of the
// librarian that logs it. A target follows the process-wide sink (standard output
// unless setLibrarianLogSink sends the lines elsewhere; null: lines are not even
// composed) until it is given a writer of its own: the editor gives each instance's
// librarian its own log file, or none.

#include <functional>
#include <string>
#include <vector>

using LibrarianLogSink = void (*)(const char* line);
void setLibrarianLogSink(LibrarianLogSink sink);

class LibrarianLogTarget
{
public:
  using Writer = std::function<void(const char* line)>;
  // An empty writer turns the librarian's lines off. Set before the librarian is
  // used from other threads (the editor does so before its first scan).
  void set(Writer w)
  {
    writer = std::move(w);
    own = true;
  }
  bool enabled() const;
  void write(const char* line) const;

private:
  Writer writer;
  bool own = false;
};

void librarianLog(const LibrarianLogTarget& to, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

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
// going to their target (composed only when the target is enabled): the scan's file readers keep
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
// Hands a line composed earlier (a captured one) to the target.
void librarianLogLine(const LibrarianLogTarget& to, const std::string& line);
