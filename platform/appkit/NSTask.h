#pragma once
// Child processes. The executable is started directly with its argument vector
// (posix_spawn), never through a shell, so no name or argument is ever parsed.
//
// Threads: a task may be made, launched, waited for and released on any thread, one
// thread at a time (the window-system layer waits from its callers' threads).

#include "platform/appkit/Foundation.h"

#include <sys/types.h>
#include <string>
#include <vector>

class NSTask : public NSObject
{
public:
  NSTask() = default;
  void setLaunchPath(const std::string& path) { mPath = path; }
  void setArguments(const std::vector<std::string>& args) { mArgs = args; }
  // False (and nothing started) when the executable cannot be started, or on a
  // second launch; the platform throws instead.
  bool launch();
  bool isRunning();
  pid_t processIdentifier() const { return mPid; }
  // The exit status once it ended, else -1.
  int terminationStatus();
  // Waits until the process ends or the seconds pass (negative: no limit), without
  // sleeping in steps. True when it has ended.
  bool waitUntilExit(double seconds);

protected:
  ~NSTask() override;

private:
  bool reap(bool block);
  std::string mPath;
  std::vector<std::string> mArgs;
  pid_t mPid = 0;
  bool mEnded = false;
  int mStatus = -1;
};
