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
#include <ctime>
#include <string>

#include <fcntl.h>
#include <signal.h>
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

// The call that takes a file's data, or a folder's entries, to the disk. Tests put a
// call of their own in its place (which syncs in turn) to see what is synced and when.
using FileSyncCall = int (*)(int fd);
inline std::atomic<FileSyncCall>& fileSyncCall()
{
  static std::atomic<FileSyncCall> call{&::fsync};
  return call;
}

namespace filewrite_detail {

inline int syncToDisk(int fd) { return fileSyncCall().load()(fd); }

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

// The writer's temporary file for path: "<path>.<pid>-<serial>.tmp".
inline std::string temporaryPath(const std::string& path, pid_t pid, unsigned serial)
{
  return path + "." + std::to_string(pid) + "-" + std::to_string(serial) + ".tmp";
}

// Digits as std::to_string writes them (no sign, no leading zero), up to max.
inline bool decimal(const char* p, const char* end, unsigned long long max, unsigned long long* value)
{
  if (p == end || (*p == '0' && end - p > 1)) return false;
  unsigned long long v = 0;
  for (; p < end; ++p)
  {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (unsigned)(*p - '0');
    if (v > max) return false;
  }
  *value = v;
  return true;
}

}  // namespace filewrite_detail

// Whether name (a file name, no folder) is exactly one that temporaryPath gives, the
// process that made it and the name of the file it was written for.
inline bool isTemporaryFileName(const std::string& name, pid_t* pid, std::string* target = nullptr)
{
  using namespace filewrite_detail;
  static const std::string kEnd = ".tmp";
  if (name.size() <= kEnd.size() || name.compare(name.size() - kEnd.size(), kEnd.size(), kEnd) != 0) return false;
  const char* begin = name.data();
  const char* end = begin + name.size() - kEnd.size();
  const char* dash = end;
  while (dash > begin && dash[-1] != '-') --dash;
  if (dash == begin) return false;
  const char* dot = dash - 1;
  while (dot > begin && dot[-1] != '.') --dot;
  // A target name before the dot, however short.
  if (dot - 1 <= begin) return false;
  unsigned long long p = 0, serial = 0;
  if (!decimal(dot, dash - 1, 0x7fffffff, &p) || p == 0 || !decimal(dash, end, 0xffffffffu, &serial)) return false;
  *pid = (pid_t)p;
  if (target) target->assign(begin, dot - 1);
  return true;
}

// A temporary file is taken for abandoned only this long after its last change: a
// writer in another process-id space (a sandboxed host, another machine sharing the
// folder) looks dead from here, but no write takes this long.
inline constexpr time_t kAbandonedTemporaryAge = 10 * 60;

// Asks whether a process exists, as kill(pid, 0) does (::kill itself, outside tests).
using ProcessProbe = int (*)(pid_t pid, int signal);

// The kernel's pid_max: no process id reaches it. Read each time, as root may change
// it; where it cannot be read, the most any kernel allows.
inline long processIdLimit()
{
  long limit = 4194304;
  if (FILE* f = fopen("/proc/sys/kernel/pid_max", "re"))
  {
    long v = 0;
    if (fscanf(f, "%ld", &v) == 1 && v > 0) limit = v;
    fclose(f);
  }
  return limit;
}

// Removes name (in the folder dirFd, or a path with AT_FDCWD) when it is a temporary
// file that writeFileDurably left because its process died mid-write: the name is
// exactly the writer's, for a file that the caller writes there (ownTarget, given the
// file's name, says so: any other name may be a user's own), with an id a process can
// have (one at or over pid_max was never a writer's: the name is the user's), it is a
// regular file, probe finds no process of that id and it has not changed for
// kAbandonedTemporaryAge. A live id, even one reused since or another user's, keeps it.
// True when removed; false with *error 0 when it is none, else the removal's errno.
inline bool removeAbandonedTemporaryFile(int dirFd, const std::string& name, bool (*ownTarget)(const std::string&),
                                         ProcessProbe probe, int* error)
{
  *error = 0;
  const size_t sep = name.find_last_of('/');
  pid_t pid = 0;
  std::string target;
  if (!isTemporaryFileName(sep == std::string::npos ? name : name.substr(sep + 1), &pid, &target) ||
      !ownTarget(target) || pid >= processIdLimit())
    return false;
  struct stat st;
  if (fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_mtime > time(nullptr) - kAbandonedTemporaryAge) return false;
  if (probe(pid, 0) == 0 || errno != ESRCH) return false;
  if (unlinkat(dirFd, name.c_str(), 0) == 0) return true;
  // Another scan that removed it first leaves nothing to say.
  if (errno != ENOENT) *error = errno;
  return false;
}

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
    temp = temporaryPath(path, getpid(), serial++);
    err = attempt(FileWriteStep::kCreate, [&] {
      fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      return fd >= 0;
    });
  }
  if (fd < 0) return err;

  if (existed && fchmod(fd, old.st_mode & 07777) != 0) err = errno;
  if (!err) err = attempt(FileWriteStep::kWrite, [&] { return writeAll(fd, (const char*)data, size); });
  if (!err) err = attempt(FileWriteStep::kSync, [&] { return syncToDisk(fd) == 0; });
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
    const bool synced = syncToDisk(dir) == 0 || errno == EINVAL;
    const int saved = errno;
    close(dir);
    errno = saved;
    return synced;
  });
}
