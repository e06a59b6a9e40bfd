#include "editor/DebuggerOutput.h"

#include "base/log.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace {

std::mutex& logLock()
{
  static std::mutex m;
  return m;
}

// Under logLock(): one line at a time whatever the thread.
bool appendLine(const std::string& path, const std::string& text)
{
  FILE* f = fopen(path.c_str(), "ab");
  if (!f) return false;
  char stamp[80];
  time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  if (!strftime(stamp, sizeof stamp, "%Y-%m-%d.%X", &local)) stamp[0] = 0;
  fprintf(f, "%s\t %s\n", stamp, text.c_str());
  fclose(f);
  return true;
}

// The count is of the body's bytes, between F0 and F7; a message handed over whole
// (beginning F0, ending F7) is shown once, not wrapped again.
template <class Get>
std::string traceLine(int length, Get byteAt)
{
  if (length < 0) length = 0;
  int first = 0, end = length;
  if (length > 0 && (byteAt(0) & 0xFF) == 0xF0) first = 1;
  if (first && length > 1 && (byteAt(length - 1) & 0xFF) == 0xF7) end = length - 1;
  std::string hex;
  char buf[8];
  for (int i = first; i < end; ++i)
  {
    snprintf(buf, sizeof buf, "%02x ", (unsigned)(byteAt(i) & 0xFF));
    hex += buf;
  }
  return "Plug-in MIDI Out (sysex | " + std::to_string(end - first) + " bytes | F0 " + hex + "F7)\n";
}

}  // namespace

bool DebuggerOutput::openDebugFile(const std::string& path)
{
  FILE* in = fopen(path.c_str(), "rb");
  if (!in)
  {
    ConsoleLog("Unable to open Plug-in LOG file\n");
    return false;
  }
  fclose(in);
  if (FILE* out = fopen(path.c_str(), "wb")) fclose(out);
  return true;
}

void DebuggerOutput::printDebugInfo(const std::string& path, const std::string& text)
{
  std::lock_guard<std::mutex> lock(logLock());
  if (appendLine(path, text)) ConsoleLog("Build LOG: \t %s\n", text.c_str());
}

void DebuggerOutput::appendDebugLine(const std::string& path, const std::string& text)
{
  std::lock_guard<std::mutex> lock(logLock());
  appendLine(path, text);
}

std::string DebuggerOutput::sysExTraceLine(const unsigned char* body, int length)
{
  return traceLine(body ? length : 0, [body](int i) { return (int)body[i]; });
}

std::string DebuggerOutput::sysExTraceLineInt(const std::vector<int>& body, int length)
{
  if (length > (int)body.size()) length = (int)body.size();
  return traceLine(length, [&body](int i) { return body[(size_t)i]; });
}

void DebuggerOutput::logSysExOutMessageByte(const unsigned char* body, int length)
{
  ConsoleLog("%s", sysExTraceLine(body, length).c_str());
}

void DebuggerOutput::logSysExOutMessageByteInt(const std::vector<int>& body, int length)
{
  ConsoleLog("%s", sysExTraceLineInt(body, length).c_str());
}
