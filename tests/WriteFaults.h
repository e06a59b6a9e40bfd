#pragma once
// A file system that fails one step of every write while the object lives: a full
// disk, a read-only folder, which tests running as root cannot get from permission
// bits.

#include "base/filewrite.h"

class InjectedWriteFault
{
public:
  InjectedWriteFault(FileWriteStep step, int errorNumber)
  {
    failingStep = step;
    failingError = errorNumber;
    fileWriteFault() = &fail;
  }
  ~InjectedWriteFault() { fileWriteFault() = nullptr; }
  InjectedWriteFault(const InjectedWriteFault&) = delete;
  InjectedWriteFault& operator=(const InjectedWriteFault&) = delete;

private:
  static int fail(FileWriteStep step) { return step == failingStep ? failingError : 0; }
  static inline FileWriteStep failingStep = FileWriteStep::kCreate;
  static inline int failingError = 0;
};
