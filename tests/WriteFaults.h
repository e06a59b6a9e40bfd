#pragma once
// The whole-file writer seen from the file system: a step of every write that fails
// (a full disk, a read-only folder, which tests running as root cannot get from
// permission bits), and the syncs it makes.

#include "base/filewrite.h"

#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

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

// Stands in for the writer's sync call while the object lives: each sync is noted as
// what the descriptor is at that moment and whether path names that file yet, and
// then done as usual.
class RecordedSyncs
{
public:
  struct Sync
  {
    bool folder = false;   // a folder, else a regular file
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    bool inPlace = false;  // path named the synced file (or, for a folder, path's file was the last file synced)
  };

  explicit RecordedSyncs(const std::string& watchedPath)
  {
    path = watchedPath;
    syncs.clear();
    fileSyncCall() = &record;
  }
  ~RecordedSyncs() { fileSyncCall() = &::fsync; }
  RecordedSyncs(const RecordedSyncs&) = delete;
  RecordedSyncs& operator=(const RecordedSyncs&) = delete;

  const std::vector<Sync>& all() const { return syncs; }

private:
  static int record(int fd)
  {
    struct stat st, at;
    Sync s;
    if (fstat(fd, &st) == 0)
    {
      s.folder = S_ISDIR(st.st_mode);
      s.device = st.st_dev;
      s.inode = st.st_ino;
      s.size = st.st_size;
      const bool named = stat(path.c_str(), &at) == 0;
      if (!s.folder)
        s.inPlace = named && at.st_dev == st.st_dev && at.st_ino == st.st_ino;
      else
        s.inPlace = named && !syncs.empty() && at.st_ino == syncs.back().inode;
    }
    syncs.push_back(s);
    return ::fsync(fd);
  }
  static inline std::string path;
  static inline std::vector<Sync> syncs;
};
