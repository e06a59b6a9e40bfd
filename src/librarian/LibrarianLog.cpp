#include "base/log.h"
#include "librarian/LibrarianLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace
{
std::atomic<LibrarianLogSink> gSink{&librarianLogToStdout};

// Lines gathered while a batch is open.
struct Pending
{
  std::mutex mutex;
  std::string text;
  int batches = 0;
};

Pending& pending()
{
  static Pending* p = new Pending;  // never destroyed: lines may come during exit
  return *p;
}

const size_t kPendingLimit = 64 * 1024;

thread_local std::vector<std::string>* tCapture = nullptr;

void deliver(const LibrarianLogTarget& to, const char* line)
{
  if (tCapture)
    tCapture->emplace_back(line);
  else
    to.write(line);
}

void writeOut(const std::string& text)
{
  ConsoleLogText(text.data(), text.size());
}
}  // namespace

void librarianLogToStdout(const char* line)
{
  Pending& p = pending();
  std::lock_guard<std::mutex> lock(p.mutex);
  p.text += line;
  p.text += '\n';
  if (p.batches == 0 || p.text.size() >= kPendingLimit)
  {
    writeOut(p.text);
    p.text.clear();
  }
}

LibrarianLogBatch::LibrarianLogBatch()
{
  Pending& p = pending();
  std::lock_guard<std::mutex> lock(p.mutex);
  ++p.batches;
}

LibrarianLogBatch::~LibrarianLogBatch()
{
  Pending& p = pending();
  std::lock_guard<std::mutex> lock(p.mutex);
  if (--p.batches == 0 && !p.text.empty())
  {
    writeOut(p.text);
    p.text.clear();
  }
}

void setLibrarianLogSink(LibrarianLogSink sink) { gSink.store(sink); }

bool LibrarianLogTarget::enabled() const { return own ? (bool)writer : gSink.load() != nullptr; }

void LibrarianLogTarget::write(const char* line) const
{
  if (own)
  {
    if (writer) writer(line);
  }
  else if (const LibrarianLogSink sink = gSink.load())
    sink(line);
}

void librarianLog(const LibrarianLogTarget& to, const char* fmt, ...)
{
  if (!to.enabled()) return;
  char small[512];
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  const int n = vsnprintf(small, sizeof(small), fmt, ap);
  va_end(ap);
  if (n >= 0 && n < (int)sizeof(small))
  {
    deliver(to, small);
  }
  else if (n >= 0)
  {
    std::string big((size_t)n + 1, '\0');
    vsnprintf(&big[0], big.size(), fmt, ap2);
    deliver(to, big.c_str());
  }
  va_end(ap2);
}

LibrarianLogCapture::LibrarianLogCapture(std::vector<std::string>* lines) : previous(tCapture) { tCapture = lines; }

LibrarianLogCapture::~LibrarianLogCapture() { tCapture = previous; }

void librarianLogLine(const LibrarianLogTarget& to, const std::string& line)
{
  if (to.enabled()) deliver(to, line.c_str());
}
