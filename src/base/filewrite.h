#pragma once
// Whole-file writes that neither a crash nor a power loss can leave half done: the
// bytes go to a temporary file of this write's own beside the target, reach the
// disk, are renamed over the target, and the folder's new entry reaches the disk
// too. Two writers of the same file (two instances saving one bank) never share a
// temporary file; the last rename wins whole.

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

enum class FileWriteStep
{
  kCreate,      // the temporary file
  kWrite,
  kSync,        // the file to the disk
  kRename,
  kSyncFolder,  // the folder's entry to the disk
};

// Tests stand in for a file system that fails (a full disk, a read-only folder,
// which root's permission bits never give): when set, it is asked before each step
// and a non-zero answer is the errno that step fails with.
using FileWriteFault = int (*)(FileWriteStep step);
inline std::atomic<FileWriteFault>& fileWriteFault()
{
  static std::atomic<FileWriteFault> fault{nullptr};
  return fault;
}

namespace filewrite_detail {

inline int injected(FileWriteStep step)
{
  const FileWriteFault fault = fileWriteFault().load();
  return fault ? fault(step) : 0;
}

// The step's own errno when it failed, else 0.
template <class Call>
int attempt(FileWriteStep step, Call call)
{
  if (const int err = injected(step)) return err;
  return call() ? 0 : errno;
}

inline bool writeAll(int fd, const char* p, size_t size)
{
  while (size > 0)
  {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    p += n;
    size -= (size_t)n;
  }
  return true;
}

// Into place without ever replacing a file that is there: EEXIST when one is.
inline bool renameNoReplace(const char* from, const char* to)
{
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without it: a hard link fails the same way on an existing name.
  if (link(from, to) != 0) return false;
  unlink(from);
  return true;
}

}  // namespace filewrite_detail

// Writes size bytes to path. With replace false an existing file is never touched
// and the write fails with EEXIST. A file that is replaced keeps its permissions.
// Returns 0, or the errno of the step that failed; nothing is left behind then.
inline int writeFileDurably(const std::string& path, const void* data, size_t size, bool replace)
{
  using namespace filewrite_detail;
  static std::atomic<unsigned> serial{0};
  struct stat old;
  const bool existed = stat(path.c_str(), &old) == 0;
  if (existed && !replace) return EEXIST;

  // Unique per process and per call; a name a killed writer left is passed over.
  std::string temp;
  int fd = -1;
  int err = EEXIST;
  for (int tries = 0; fd < 0 && err == EEXIST && tries < 100; ++tries)
  {
    temp = path + "." + std::to_string(getpid()) + "-" + std::to_string(serial++) + ".tmp";
    err = attempt(FileWriteStep::kCreate, [&] {
      fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      return fd >= 0;
    });
  }
  if (fd < 0) return err;

  if (existed && fchmod(fd, old.st_mode & 07777) != 0) err = errno;
  if (!err) err = attempt(FileWriteStep::kWrite, [&] { return writeAll(fd, (const char*)data, size); });
  if (!err) err = attempt(FileWriteStep::kSync, [&] { return fsync(fd) == 0; });
  if (close(fd) != 0 && !err) err = errno;
  if (!err)
    err = attempt(FileWriteStep::kRename, [&] {
      return replace ? rename(temp.c_str(), path.c_str()) == 0 : renameNoReplace(temp.c_str(), path.c_str());
    });
  if (err)
  {
    unlink(temp.c_str());
    return err;
  }

  const size_t sep = path.find_last_of('/');
  const std::string folder = sep == std::string::npos ? "." : sep == 0 ? "/" : path.substr(0, sep);
  return attempt(FileWriteStep::kSyncFolder, [&] {
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    // A file system that cannot sync a folder says EINVAL: nothing more to do there.
    const bool synced = fsync(dir) == 0 || errno == EINVAL;
    const int saved = errno;
    close(dir);
    errno = saved;
    return synced;
  });
}
