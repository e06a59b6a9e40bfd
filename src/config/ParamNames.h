#pragma once

#include <functional>
#include <map>
#include <string>

// The table from a parameter's `k` name, as the user-interface configuration
// writes it, to its id (ParamIds.h). Names compare as exact byte strings.
//
// Filled once by initParams on the thread that builds the configuration, before
// any other thread exists; only read afterwards, so it takes no lock.
class ParamNameTable
{
public:
  // Receives each log line without a line break. The owner installs one only
  // while the log file is enabled; with none installed nothing is written.
  using LogSink = std::function<void(const std::string& line)>;

  void setLogSink(LogSink sink) { mLogSink = std::move(sink); }

  // Registers the 380 built-in names.
  void initParams();

  // Adds the pair unless the name is known already; a known name keeps its id.
  void mapParamToString(const std::string& name, int id);

  // The id of the name, or -1 when the table does not hold it.
  int getParamByName(const std::string& name) const;

  int size() const { return (int)mParamsByName.size(); }

private:
  std::map<std::string, int> mParamsByName;
  LogSink mLogSink;
};
