#pragma once
// Samples taken in a fresh process: the benchmark program starts itself again
// with --fresh-child=<task>, so that the sample pays what a user's first run in a
// new process pays (loading the program and its libraries, a heap and page tables
// that are new, pages the kernel faults in and zeroes, images and fonts read
// afresh). The child reports through descriptor 3: its own timing of the task
// (wall and processor time) and the processor time of the whole process up to
// then (every thread, loading included). The parent times the wall from the
// spawn to the report. The child's standard output is the parent's; its standard
// error goes to /dev/null.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <string>

extern char** environ;

namespace bench
{
struct FreshSample
{
  bool ok = false;
  double spawnToReportMs = 0;  // parent's wall clock, spawn to report
  double taskWallMs = 0;       // child's own timing of its task
  double taskCpuMs = 0;        // processor time of the child's task (all its threads)
  double processCpuMs = 0;     // processor time of the whole child up to its report
};

inline double processCpuMs()
{
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

inline double nowMs()
{
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The task a child was started for, or null in the parent.
inline const char* freshChildTask(int argc, char** argv)
{
  static const char kFlag[] = "--fresh-child=";
  return argc > 1 && strncmp(argv[1], kFlag, sizeof(kFlag) - 1) == 0 ? argv[1] + sizeof(kFlag) - 1 : nullptr;
}

// In the child, once the task is done; the child then leaves without tearing down.
[[noreturn]] inline void reportAndExit(double taskWallMs, double taskCpuMs)
{
  char line[128];
  const int n = snprintf(line, sizeof(line), "%.4f %.4f %.4f\n", taskWallMs, taskCpuMs, processCpuMs());
  if (write(3, line, (size_t)n) != n) _exit(2);
  _exit(0);
}

inline FreshSample runFresh(const char* task)
{
  FreshSample s;
  int fds[2];
  if (pipe(fds) != 0) return s;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
  // The child's complaints (no MIDI system, say) would cut into the figures.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const std::string flag = std::string("--fresh-child=") + task;
  char self[] = "/proc/self/exe";
  char* args[] = {self, const_cast<char*>(flag.c_str()), nullptr};
  pid_t pid = -1;
  const double start = nowMs();
  const int spawned = posix_spawn(&pid, self, &actions, nullptr, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned == 0)
  {
    char buf[128];
    size_t got = 0;
    ssize_t n;
    while (got < sizeof(buf) - 1 && (n = read(fds[0], buf + got, sizeof(buf) - 1 - got)) > 0)
    {
      got += (size_t)n;
      if (memchr(buf, '\n', got)) break;
    }
    s.spawnToReportMs = nowMs() - start;
    buf[got] = 0;
    s.ok = sscanf(buf, "%lf %lf %lf", &s.taskWallMs, &s.taskCpuMs, &s.processCpuMs) == 3;
    int status = 0;
    waitpid(pid, &status, 0);
    s.ok = s.ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  close(fds[0]);
  return s;
}

// Per-iteration sums reported as averages, beside the manual time.
struct FreshCounters
{
  double taskWall = 0, taskCpu = 0, processCpu = 0, spawnToReport = 0;
  int n = 0;
  void add(const FreshSample& s)
  {
    taskWall += s.taskWallMs;
    taskCpu += s.taskCpuMs;
    processCpu += s.processCpuMs;
    spawnToReport += s.spawnToReportMs;
    ++n;
  }
};

// The parent's run: the figures go to standard error, standard output being the
// product's console trace. Returns main's exit code.
inline int runBenchmarksToStderr(int& argc, char** argv)
{
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::ConsoleReporter display;
  display.SetOutputStream(&std::cerr);
  display.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&display);
  benchmark::Shutdown();
  return 0;
}
}  // namespace bench
