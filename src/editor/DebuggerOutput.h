#pragma once
// The editor's optional log file and its console trace of outgoing system
// exclusive. No state: the controller keeps the switch and the path.

#include <string>
#include <vector>

class DebuggerOutput
{
public:
  // True when the file exists; it is then emptied. Never creates it.
  static bool openDebugFile(const std::string& path);
  // Appends "<time>\t <text>\n" and echoes the text to the console. Any thread:
  // lines from several threads stay whole. A file that cannot be opened drops
  // the line.
  static void printDebugInfo(const std::string& path, const std::string& text);
  // The same line without the console echo, for a line the console has had
  // already (the port layer's own).
  static void appendDebugLine(const std::string& path, const std::string& text);
  // Console trace of a body without F0 and F7.
  static void logSysExOutMessageByte(const unsigned char* body, int length);
  static void logSysExOutMessageByteInt(const std::vector<int>& body, int length);
  // The trace line itself, with its line feed.
  static std::string sysExTraceLine(const unsigned char* body, int length);
  static std::string sysExTraceLineInt(const std::vector<int>& body, int length);
};
