#include "platform/appkit/NSTask.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

NSTask::~NSTask()
{
  // A process never waited for would stay a zombie: reap it if it has ended.
  if (mPid > 0 && !mEnded) reap(false);
}

bool NSTask::launch()
{
  if (mPid > 0 || mPath.empty()) return false;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(mPath.c_str()));
  for (std::string& a : mArgs) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, mPath.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
  mPid = pid;
  return true;
}

bool NSTask::reap(bool block)
{
  if (mEnded) return true;
  if (mPid <= 0) return false;
  int status = 0;
  pid_t r;
  do
    r = waitpid(mPid, &status, block ? 0 : WNOHANG);
  while (r < 0 && errno == EINTR);
  if (r != mPid) return false;
  mEnded = true;
  mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

bool NSTask::isRunning()
{
  return mPid > 0 && !reap(false);
}

int NSTask::terminationStatus()
{
  return reap(false) ? mStatus : -1;
}

bool NSTask::waitUntilExit(double seconds)
{
  if (mPid <= 0) return false;
  if (reap(false)) return true;
  if (seconds < 0) return reap(true);
#ifdef SYS_pidfd_open
  // A process descriptor becomes readable when the process ends.
  const int fd = (int)syscall(SYS_pidfd_open, mPid, 0);
  if (fd >= 0)
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;)
    {
      const double left = std::chrono::duration<double>(end - std::chrono::steady_clock::now()).count();
      pollfd p{fd, POLLIN, 0};
      const int r = poll(&p, 1, left > 0 ? (int)(left * 1000 + 0.999) : 0);
      if (r < 0 && errno == EINTR) continue;
      break;
    }
    close(fd);
    return reap(false);
  }
#endif
  // Without process descriptors: check each millisecond.
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!reap(false))
  {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
