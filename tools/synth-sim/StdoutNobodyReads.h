#pragma once
// Standard output made a full pipe nobody reads, as a paused terminal or a stuck log
// reader leaves a host's: once its buffer is full, every write to it waits. Given
// back, and what was written drained (so that whatever still waits in a write
// goes on), by Release or at the end of the scope.

#include <atomic>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

class StdoutNobodyReads
{
public:
  StdoutNobodyReads()
  {
    fflush(stdout);
    if (pipe(mPipe) != 0) return;
    // Full from the start: the next write waits.
    fcntl(mPipe[1], F_SETFL, O_NONBLOCK);
    const char fill[4096] = {};
    for (size_t chunk : {sizeof fill, (size_t)1})
      while (write(mPipe[1], fill, chunk) > 0)
      {
      }
    fcntl(mPipe[1], F_SETFL, 0);
    mSaved = dup(STDOUT_FILENO);
    dup2(mPipe[1], STDOUT_FILENO);
  }
  ~StdoutNobodyReads() { Release(); }
  StdoutNobodyReads(const StdoutNobodyReads&) = delete;
  StdoutNobodyReads& operator=(const StdoutNobodyReads&) = delete;

  // Standard output back; the pipe is read until every writer has let go of it.
  void Release()
  {
    if (mSaved < 0) return;
    dup2(mSaved, STDOUT_FILENO);
    close(mSaved);
    mSaved = -1;
    close(mPipe[1]);
    // A write still waiting holds the pipe's write side: end of file once it is done.
    // Read on a thread of its own, so that a writer stuck for good keeps nothing here.
    const int readSide = mPipe[0];
    std::thread([readSide] {
      char buf[65536];
      while (read(readSide, buf, sizeof buf) > 0)
      {
      }
      close(readSide);
    }).detach();
  }

private:
  int mPipe[2] = {-1, -1};
  int mSaved = -1;
};
