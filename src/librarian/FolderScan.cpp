// The folder scan: which files under "Patches" become banks, in which order, and where
// each bank sits in the folder tree.

#include "base/filewrite.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"
#include "librarian/LibrarianLog.h"
#include "librarian/PatchLibrarian.h"

#include "plug/ByteChunk.h"

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>

namespace
{
const int kMaxRescans = 3;  // a split writes new banks once; this only bounds the unforeseen

std::string lowerCase(std::string s)
{
  for (char& c : s) c = (char)tolower((unsigned char)c);
  return s;
}

bool isBankExtension(const std::string& ext) { return ext == "mid" || ext == "syx" || ext == "dvl" || ext == "wvb"; }

// Whether a file name ends in a bank extension, as the file-system layer splits it.
bool hasBankExtension(const char* name)
{
  const char* dot = strrchr(name, '.');
  return dot && isBankExtension(lowerCase(dot + 1));
}

// The files the librarian writes in the bank tree: banks (saved, split, imported).
bool isBankFileName(const std::string& name) { return hasBankExtension(name.c_str()); }

// A folder by its device and inode: the same folder reached through a link is known
// again without resolving its path.
using FolderId = std::pair<uint64_t, uint64_t>;

// One entry of a folder as the walk found it, so that the scan need not list the
// folder again or ask about a file that cannot be a bank.
struct ListedEntry
{
  std::string name;
  bool known = false;  // the file system answered for it
  bool regular = false;
  int64_t size = 0;
};
using Listings = std::map<std::string, std::vector<ListedEntry>>;  // by folder path

// A folder held open, so that its entries are looked up by name instead of by their
// whole path. Where it cannot be opened, full paths are used.
class OpenFolder
{
public:
  explicit OpenFolder(const std::string& dir) : fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
  ~OpenFolder()
  {
    if (fd >= 0) ::close(fd);
  }
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  bool isOpen() const { return fd >= 0; }
  // For the *at calls: the folder with a name in it, or AT_FDCWD with the full path.
  int at() const { return fd >= 0 ? fd : AT_FDCWD; }
  // Whether the folder held open is the one of that id (not one put in its place).
  bool is(const FolderId& id) const
  {
    struct stat st;
    return fd >= 0 && ::fstat(fd, &st) == 0 && FolderId((uint64_t)st.st_dev, (uint64_t)st.st_ino) == id;
  }

private:
  const int fd;
};

// Whether the scan removed name in folder as a temporary file of a save that died
// mid-write (each killed save leaves one of its own, which nothing else removes).
// Only in a folder held open: the removal is made in the folder that was checked.
bool removedAbandonedTemporary(const LibrarianLogTarget& log, ProcessProbe probe, const OpenFolder& folder,
                               const std::string& dir, const std::string& name)
{
  pid_t writer = 0;
  if (!folder.isOpen() || !isTemporaryFileName(name, &writer)) return false;
  const std::string path = dir + "/" + name;
  int error = 0;
  if (removeAbandonedTemporaryFile(folder.at(), name, &isBankFileName, probe, &error))
  {
    librarianLog(log, "PATCH LIBRARIAN: removed %s, left by a save that did not finish", path.c_str());
    return true;
  }
  if (error) librarianLog(log, "PATCH LIBRARIAN: could not remove %s: %s", path.c_str(), strerror(error));
  return false;
}

// Lists dir's sub-folders depth first, each after the folders below it, and with
// listings (the scan) each folder's entries. A folder reached twice (through a link)
// is listed once. sweepAs, when given, is the id dir must have to be swept of what
// killed saves left: a folder of the data folder's bank tree, reached from it through
// real folders alone. A folder linked in is the user's, wherever it lies: never swept.
// probe asks whether a writer lives.
void collectFolders(const LibrarianLogTarget& log, const std::string& dir, std::vector<std::string>* out,
                    std::set<FolderId>* seen, Listings* listings, const FolderId* sweepAs = nullptr,
                    ProcessProbe probe = &::kill)
{
  std::vector<ListedEntry>* listed = listings ? &(*listings)[dir] : nullptr;
  try
  {
    const OpenFolder folder(dir);
    const bool sweep = listed && sweepAs && folder.is(*sweepAs);
    for (Poco::DirectoryIterator it(dir), end; it != end; ++it)
    {
      try
      {
        if (sweep && removedAbandonedTemporary(log, probe, folder, dir, it.name())) continue;
        struct stat st;
        const bool answered = folder.isOpen() ? ::fstatat(folder.at(), it.name().c_str(), &st, 0) == 0
                                              : ::stat(it->path().c_str(), &st) == 0;
        if (listed)
        {
          listed->emplace_back();
          ListedEntry& e = listed->back();
          e.name = it.name();
          e.known = answered;
          e.regular = answered && S_ISREG(st.st_mode);
          e.size = answered ? (int64_t)st.st_size : 0;
        }
        if (!answered)
        {
          // The file-system layer asks again and throws with the reason, logged below.
          (void)it->isDirectory();
          continue;
        }
        if (!S_ISDIR(st.st_mode)) continue;
        const std::string path = it->path();
        const FolderId id((uint64_t)st.st_dev, (uint64_t)st.st_ino);
        if (!seen->insert(id).second)
        {
          librarianLog(log, "PATCH LIBRARIAN: folder %s was listed already, skipped", path.c_str());
          continue;
        }
        struct stat own;
        const bool real = sweep && ::fstatat(folder.at(), it.name().c_str(), &own, AT_SYMLINK_NOFOLLOW) == 0 &&
                          S_ISDIR(own.st_mode) && FolderId((uint64_t)own.st_dev, (uint64_t)own.st_ino) == id;
        collectFolders(log, path, out, seen, listings, real ? &id : nullptr, probe);
        out->push_back(path);
      }
      catch (const Poco::Exception& e)
      {
        librarianLog(log, "PATCH LIBRARIAN: skipped %s: %s", it->path().c_str(), e.displayText().c_str());
      }
    }
  }
  catch (const Poco::Exception& e)
  {
    if (listings) listings->erase(dir);  // the scan lists it again and says why it cannot
    librarianLog(log, "PATCH LIBRARIAN: could not read folder %s: %s", dir.c_str(), e.displayText().c_str());
  }
}

std::set<FolderId> seenRoot(const std::string& dir)
{
  std::set<FolderId> seen;
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) seen.insert(FolderId((uint64_t)st.st_dev, (uint64_t)st.st_ino));
  return seen;
}

// Whether root is the data folder's own bank folder, a real folder and not a link to
// one elsewhere, and its id: the one tree whose killed saves' leftovers are removed.
bool isOwnBankFolder(const std::string& root, FolderId* id)
{
  struct stat own, given;
  if (::lstat(patchesFolderPath().c_str(), &own) != 0 || !S_ISDIR(own.st_mode)) return false;
  if (::lstat(root.c_str(), &given) != 0 || given.st_dev != own.st_dev || given.st_ino != own.st_ino) return false;
  *id = FolderId((uint64_t)own.st_dev, (uint64_t)own.st_ino);
  return true;
}
}  // namespace

void PatchLibrarian::buildFolderStructure(const std::string& dir, std::vector<std::string>* out)
{
  std::set<FolderId> seen = seenRoot(dir);
  collectFolders(logTarget, dir, out, &seen, nullptr);
}

void PatchLibrarian::initBankFilesOnDiscard(std::string root)
{
  WDL_MutexLock lock(&libraryMutex);
  deleteBanks(patchFiles);
  deleteBanks(searchResultFiles);
  for (int which = 0; which <= 3; ++which) clearDataStructures(which);
  loadPatchesFromFilesystem(root);
}

void PatchLibrarian::loadPatchesFromFilesystem(std::string root, int busyProcessors)
{
  WDL_MutexLock lock(&libraryMutex);
  LibrarianLogBatch logBatch;  // a line a file, written once at the end
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  refusedSplits.clear();
  lastSplits.clear();
  failedSplits.clear();
  rescanRequested = false;
  processorsInUse = std::max(0, busyProcessors);
  scanOnce(root);
  for (int repeat = 0; rescanRequested && repeat < kMaxRescans; ++repeat)
  {
    librarianLog(logTarget, "FOLDER RESCAN INITIATED BY PATCH LIBRARIAN");
    rescanRequested = false;
    deleteBanks(patchFiles);
    clearDataStructures(0);
    scanOnce(root);
  }
  rescanRequested = false;
  refusedSplits.clear();
  importedCopies.clear();
  processorsInUse = 0;
}

// One scan's files, read and parsed by several threads into a result each, which the
// scanning thread then takes in the scan's order.
struct PatchLibrarian::ScanWork
{
  struct Folder
  {
    std::string path;
    Poco::Path directory;  // the path's parts, split once
    int fd = -1;           // held open while the files are read, or -1: full paths
  };
  struct Entry
  {
    std::string path;          // full path
    int folder = 0;            // into folders
    int64_t listedSize = -1;   // what the folder listing found for a regular file, or -1
    bool notBank = false;      // the listing says it cannot be one: not opened
    bool refused = false;      // its split failed earlier in this load
    std::string folderTrouble; // a folder that could not be listed: this line, no file
  };
  struct Result
  {
    enum Kind : uint8_t
    {
      kNothing,  // no bank: nothing more to do than write the lines
      kBank,     // read and cut into bank
      kRetry,    // could not be opened: the scanning thread finds out why
    };
    Kind kind = kNothing;
    bool found = false;                // a program was found in it
    std::vector<std::string> lines;    // logged while it was read, in order
    std::unique_ptr<PatchFile> bank;   // kBank
    std::exception_ptr error;          // a failure the scanning thread throws in its turn
  };

  std::vector<Folder> folders;
  std::vector<Entry> entries;
  std::unique_ptr<Result[]> results;
  int rootDepth = 0;
  bool mayFeed = false;  // a request was running at the start: one thread, as it always read

  std::atomic<size_t> next{0};  // the next entry to take
  std::atomic<bool> stop{false};

  std::mutex lock;  // guards the members below
  std::condition_variable changed;
  std::vector<bool> done;
  size_t waitingFor = SIZE_MAX;  // the entry the scanning thread waits for
  int helpers = 0;               // threads in scanFiles besides the scanning one
  bool closed = false;           // no thread may join any more

  ~ScanWork()
  {
    for (const Folder& f : folders)
      if (f.fd >= 0) ::close(f.fd);
  }
  // Takes an entry to read, or returns entries.size() when none is left.
  size_t take()
  {
    if (stop.load(std::memory_order_relaxed)) return entries.size();
    const size_t i = next.fetch_add(1, std::memory_order_relaxed);
    return i < entries.size() ? i : entries.size();
  }
  void finish(size_t i)
  {
    std::lock_guard<std::mutex> hold(lock);
    done[i] = true;
    if (waitingFor == i) changed.notify_all();
  }
  // Joins as a helper unless the scan has ended.
  bool join()
  {
    std::lock_guard<std::mutex> hold(lock);
    if (closed) return false;
    ++helpers;
    return true;
  }
  void leave()
  {
    std::lock_guard<std::mutex> hold(lock);
    --helpers;
    changed.notify_all();
  }
  // The scanning thread's end, however it ends: no thread joins any more, and every
  // helper has left before the work goes.
  void close()
  {
    stop = true;
    std::unique_lock<std::mutex> hold(lock);
    closed = true;
    changed.wait(hold, [this] { return helpers == 0; });
  }
};

void (*PatchLibrarian::scanFileProbe)(const std::string& path) = nullptr;

namespace
{
// Threads for the scan's files: the processors this process may run on, bounded.
int scanThreadsAvailable()
{
  int n = 0;
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) n = CPU_COUNT(&set);
#endif
  if (n <= 0) n = (int)std::thread::hardware_concurrency();
  return std::max(1, std::min(n, (int)PatchLibrarian::kMaxScanThreads));
}

// Folders held open for the files' reads: beyond this many, full paths (the
// descriptors are the process's, which other threads need too).
const size_t kMaxOpenFolders = 128;
}  // namespace

void PatchLibrarian::scanOnce(const std::string& root)
{
  try
  {
    Poco::File rootDir(root);
    if (!rootDir.exists() || !rootDir.isDirectory())
    {
      librarianLog(logTarget, "PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER...");
      return;
    }
  }
  catch (const Poco::Exception&)
  {
    librarianLog(logTarget, "PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER...");
    return;
  }

  folderPaths.clear();
  // The folder walk lists every folder once; the scan goes through those listings.
  Listings listings;
  std::set<FolderId> seen = seenRoot(root);
  FolderId ownRoot;
  collectFolders(logTarget, root, &folderPaths, &seen, &listings, isOwnBankFolder(root, &ownRoot) ? &ownRoot : nullptr,
                 processProbe);
  std::sort(folderPaths.begin(), folderPaths.end());
  folderPaths.push_back(root);
  // Room in the search's name table for every file that may be a bank.
  size_t candidates = 0;
  for (const auto& folder : listings)
    for (const ListedEntry& e : folder.second)
      if (e.regular && e.size >= (int64_t)kMinScannedFileSize && e.size <= (int64_t)kMaxBankFileSize &&
          hasBankExtension(e.name.c_str()))
        ++candidates;
  nameTable.reserve(patchFiles.size() + candidates);

  // Every file that may be a bank, in the scan's order: folder by folder, by name.
  const std::shared_ptr<ScanWork> work = std::make_shared<ScanWork>();
  ScanWork& w = *work;
  w.rootDepth = Poco::Path(root).makeDirectory().depth();
  w.folders.reserve(folderPaths.size());
  std::vector<std::pair<std::string, const ListedEntry*>> entries;
  for (const std::string& folder : folderPaths)
  {
    entries.clear();
    const Listings::const_iterator listed = listings.find(folder);
    if (listed != listings.end())
    {
      for (const ListedEntry& e : listed->second) entries.emplace_back(folder + "/" + e.name, &e);
    }
    else
    {
      try
      {
        for (Poco::DirectoryIterator it(folder), end; it != end; ++it)
          entries.emplace_back(folder + "/" + it.name(), nullptr);
      }
      catch (const Poco::Exception& e)
      {
        // Written in its turn, after the lines of the folders before it.
        w.entries.emplace_back();
        w.entries.back().folderTrouble =
            "PATCH LIBRARIAN: could not read folder " + folder + ": " + e.displayText();
        continue;
      }
    }
    std::sort(entries.begin(), entries.end());
    const int folderIndex = (int)w.folders.size();
    bool any = false;
    for (const auto& listedEntry : entries)
    {
      if (!hasBankExtension(listedEntry.first.c_str() + folder.size() + 1)) continue;
      const ListedEntry* seenAs = listedEntry.second;
      w.entries.emplace_back();
      ScanWork::Entry& e = w.entries.back();
      e.path = listedEntry.first;
      e.folder = folderIndex;
      e.refused = refusedSplits.count(e.path) != 0;
      if (seenAs && seenAs->known)
      {
        e.listedSize = seenAs->size;
        e.notBank = !seenAs->regular || seenAs->size < (int64_t)kMinScannedFileSize;
      }
      any = true;
    }
    if (!any) continue;
    w.folders.emplace_back();
    ScanWork::Folder& f = w.folders.back();
    f.path = folder;
    f.directory = Poco::Path(folder).makeDirectory();
    if (w.folders.size() <= kMaxOpenFolders) f.fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  const size_t count = w.entries.size();
  w.results.reset(new ScanWork::Result[count]);
  w.done.assign(count, false);
  // A running all-programs request takes the programs of the first file read, as it
  // always did: then only this thread reads, each file before the next.
  w.mayFeed = allPatchesRequestActive.load();

  // Helpers: threads of the scan's own, and any that call helpScan. However it ends,
  // none is left reading when this returns.
  std::vector<std::thread> threads;
  struct Close
  {
    ScanWork& work;
    std::vector<std::thread>& threads;
    PatchLibrarian* lib;
    ~Close()
    {
      {
        std::lock_guard<std::mutex> hold(lib->runningScanLock);
        lib->runningScan.reset();
      }
      work.close();
      for (std::thread& t : threads) t.join();
    }
  } close{w, threads, this};
  if (!w.mayFeed)
  {
    {
      std::lock_guard<std::mutex> hold(runningScanLock);
      runningScan = work;
    }
    const int wanted = scanThreads > 0 ? std::min(scanThreads, (int)kMaxScanThreads)
                                       : std::max(1, scanThreadsAvailable() - processorsInUse);
    const size_t extra = std::min((size_t)wanted, count) > 1 ? std::min((size_t)wanted, count) - 1 : 0;
    for (size_t t = 0; t < extra && w.join(); ++t)
    {
      try
      {
        threads.emplace_back([this, &w] {
          {
            ScanArena arena;  // one allocating thread an arena
            scanFiles(w, arena);
          }
          w.leave();
        });
      }
      catch (const std::system_error&)
      {
        w.leave();  // fewer threads read, that is all
        break;
      }
    }
  }

  // This thread reads too, and takes the results in order as they come in.
  ScanArena arena;
  for (size_t i = 0; i < count; ++i)
  {
    for (;;)
    {
      {
        std::unique_lock<std::mutex> hold(w.lock);
        if (w.done[i]) break;
      }
      const size_t j = w.take();
      if (j < count)
      {
        scanEntry(w, j, arena);
        w.finish(j);
        continue;
      }
      // Nothing left to take: entry i is being read by another thread.
      std::unique_lock<std::mutex> hold(w.lock);
      w.waitingFor = i;
      w.changed.wait(hold, [&] { return (bool)w.done[i]; });
      w.waitingFor = SIZE_MAX;
      break;
    }
    placeScanEntry(w, i);
  }
}

void PatchLibrarian::helpScan()
{
  std::shared_ptr<ScanWork> work;
  {
    std::lock_guard<std::mutex> hold(runningScanLock);
    work = runningScan;
  }
  if (!work || !work->join()) return;
  {
    ScanArena arena;
    scanFiles(*work, arena);
  }
  work->leave();
}

void PatchLibrarian::scanFiles(ScanWork& work, ScanArena& arena)
{
  for (size_t i = work.take(); i < work.entries.size(); i = work.take())
  {
    scanEntry(work, i, arena);
    work.finish(i);
  }
}

void PatchLibrarian::scanEntry(ScanWork& work, size_t i, ScanArena& arena)
{
  const ScanWork::Entry& e = work.entries[i];
  ScanWork::Result& r = work.results[i];
  if (!e.folderTrouble.empty()) return;
  const ScanWork::Folder& folder = work.folders[(size_t)e.folder];
  const LibrarianLogCapture capture(&r.lines);
  // Nothing leaves a reading thread: a failure waits for the scanning thread.
  try
  {
    try
    {
      if (scanFileProbe) scanFileProbe(e.path);
      const char* name = e.path.c_str() + folder.path.size() + 1;
      const Poco::Path path(folder.directory, name);
      const int level = path.depth() - work.rootDepth;
      if (level < 0 || e.refused) return;
      // What the walk saw cannot be a bank: not opened, as the read would skip it.
      if (e.notBank) return;
      PatchBytes file;
      std::string why;
      switch (readScanCandidate(folder.fd >= 0 ? folder.fd : AT_FDCWD, folder.fd >= 0 ? name : e.path.c_str(),
                                e.listedSize, &file, &why, &arena))
      {
        case ScanRead::kSkipped: break;
        case ScanRead::kRetry: r.kind = ScanWork::Result::kRetry; break;
        case ScanRead::kFailed:
          librarianLog(logTarget, "PATCH LIBRARIAN: loaded file %s", e.path.c_str());
          librarianLog(logTarget, "PATCH LIBRARIAN: could not read file %s: %s", e.path.c_str(), why.c_str());
          break;
        case ScanRead::kRead:
        {
          std::unique_ptr<PatchFile> bank(newBankRecord(path, level));
          librarianLog(logTarget, "PATCH LIBRARIAN: loaded file %s", e.path.c_str());
          r.found = cutPrograms(file, bank.get(), work.mayFeed);
          r.bank = std::move(bank);
          r.kind = ScanWork::Result::kBank;
          break;
        }
      }
    }
    catch (const Poco::Exception& ex)
    {
      librarianLog(logTarget, "PATCH LIBRARIAN: skipped %s: %s", e.path.c_str(), ex.displayText().c_str());
    }
  }
  catch (...)
  {
    // Out of memory, say: thrown on the scanning thread once the files before are in.
    r.error = std::current_exception();
    r.kind = ScanWork::Result::kNothing;
    r.bank.reset();
  }
}

void PatchLibrarian::placeScanEntry(ScanWork& work, size_t i)
{
  const ScanWork::Entry& e = work.entries[i];
  ScanWork::Result& r = work.results[i];
  if (!e.folderTrouble.empty()) librarianLogLine(logTarget, e.folderTrouble);
  for (const std::string& line : r.lines) librarianLogLine(logTarget, line);
  std::vector<std::string>().swap(r.lines);
  if (r.error) std::rethrow_exception(r.error);
  try
  {
    PatchFile* bank = nullptr;
    switch (r.kind)
    {
      case ScanWork::Result::kNothing: break;
      case ScanWork::Result::kBank:
        endRead(r.found);
        bank = placeReadBank(e.path, std::move(r.bank));
        break;
      case ScanWork::Result::kRetry:
      {
        // Unopenable: the file-system layer names the reason, as for any other file.
        const ScanWork::Folder& folder = work.folders[(size_t)e.folder];
        const Poco::Path path(folder.directory, e.path.c_str() + folder.path.size() + 1);
        const Poco::File file(e.path);
        if (!file.isFile() || file.getSize() < (Poco::File::FileSize)kMinScannedFileSize) break;
        bank = parseFolderFiles(file, path, path.depth() - work.rootDepth, lowerCase(path.getExtension()));
        break;
      }
    }
    if (bank) createFolderFilesStructure(bank);
  }
  catch (const Poco::Exception& ex)
  {
    librarianLog(logTarget, "PATCH LIBRARIAN: skipped %s: %s", e.path.c_str(), ex.displayText().c_str());
  }
}

PatchFile* PatchLibrarian::parseFolderFiles(const Poco::File& file, const Poco::Path& path, int level,
                                            const std::string& extension)
{
  splitInProgress = false;
  const std::string fullPath = file.path();
  if (refusedSplits.count(fullPath)) return nullptr;
  ByteChunk chunk(4096);
  std::string why;
  const bool read = readWholeFile(fullPath, &chunk, &why);
  const PatchBytes bytes = read ? PatchBytes(chunk.Data(), (size_t)chunk.Size()) : PatchBytes();
  return parseReadFile(fullPath, path, level, extension == "mid", read ? &bytes : nullptr, why);
}

PatchFile* PatchLibrarian::newBankRecord(const Poco::Path& path, int level)
{
  PatchFile* bank = new PatchFile;
  bank->fileName = path.getFileName();
  const int depth = path.depth();
  bank->folderName = depth > 0 ? path[depth - 1] : std::string();
  for (int i = std::max(0, depth - 1 - level); i < depth; ++i) bank->pathFolders.push_back(path[i]);
  return bank;
}

PatchFile* PatchLibrarian::parseReadFile(const std::string& fullPath, const Poco::Path& path, int level, bool,
                                         const PatchBytes* bytes, const std::string& readError)
{
  splitInProgress = false;
  std::unique_ptr<PatchFile> bank(newBankRecord(path, level));
  librarianLog(logTarget, "PATCH LIBRARIAN: loaded file %s", fullPath.c_str());
  if (!bytes)
  {
    librarianLog(logTarget, "PATCH LIBRARIAN: could not read file %s: %s", fullPath.c_str(), readError.c_str());
    return nullptr;
  }
  loadFromBytes(*bytes, bank.get());
  return placeReadBank(fullPath, std::move(bank));
}

PatchFile* PatchLibrarian::placeReadBank(const std::string& fullPath, std::unique_ptr<PatchFile> bank)
{
  splitInProgress = false;
  const size_t n = bank->patches.size();
  if (n == 0) return nullptr;

  if (n <= (size_t)kBankSlots)
  {
    fillUncompletedBankFiles(bank.get());
    bank->patches.resize(kBankSlots);
    patchFiles.push_back(bank.get());
    // The search's names, while the slots are at hand; the search checks the table.
    if (nameTable.banks.size() + 1 == patchFiles.size()) nameTable.add(bank.get());
    return bank.release();
  }

  // More than one bank: every block of 128 programs becomes a bank file beside the
  // source, and only when all are written does the source leave the tree.
  splitInProgress = true;
  splitBankCount = (int32_t)((n + kBankSlots - 1) / kBankSlots);
  std::vector<std::string> written;
  bool done = true;
  splitWriteError = 0;
  for (int k = -1; k < splitBankCount - 1; ++k)
  {
    std::string newPath;
    if (!createNewPatchFile(bank.get(), bank->folderName, bank->fileName, fullPath, k, &newPath))
    {
      done = false;
      break;
    }
    written.push_back(newPath);
  }
  if (done)
  {
    try
    {
      const std::string converted = convertedBanksFolderPath();
      Poco::File(converted).createDirectories();
      const std::string ext = fileExtension(bank->fileName);
      const std::string target =
          uniqueFilePath(converted, fileStem(bank->fileName), ext.empty() ? std::string() : "." + ext);
      if (target.empty()) throw Poco::FileExistsException(converted + bank->fileName);
      Poco::File source(fullPath);
      try
      {
        source.renameTo(target, Poco::File::OPT_FAIL_ON_OVERWRITE);
      }
      catch (const Poco::FileExistsException&)
      {
        throw;
      }
      catch (const Poco::Exception&)
      {
        // Another file system: copy, then remove; a copy whose source stays is taken back.
        Poco::File(fullPath).copyTo(target, Poco::File::OPT_FAIL_ON_OVERWRITE);
        try
        {
          Poco::File(fullPath).remove();
        }
        catch (const Poco::Exception&)
        {
          Poco::File(target).remove();
          throw;
        }
      }
      librarianLog(logTarget, "PATCH LIBRARIAN: moved file %s because it is not Velda 1 standard formatted!",
                   bank->fileName.c_str());
      lastSplits[fullPath] = written;
    }
    catch (const Poco::Exception& e)
    {
      librarianLog(logTarget, "PATCH LIBRARIAN: could not move %s to Converted Banks: %s", fullPath.c_str(),
                   e.displayText().c_str());
      done = false;
    }
  }
  if (!done)
  {
    // Nothing half done stays: the new banks go, the source stays where it was.
    for (const std::string& p : written)
    {
      try
      {
        Poco::File(p).remove();
      }
      catch (const Poco::Exception&)
      {
      }
    }
    if (!importedCopies.count(fullPath))
      librarianLog(logTarget, "PATCH LIBRARIAN: could not split %s; it stays in place and is not listed",
                   fullPath.c_str());
    else if (::unlink(fullPath.c_str()) == 0)
      librarianLog(logTarget, "PATCH LIBRARIAN: could not split %s; the imported copy is removed", fullPath.c_str());
    else
      librarianLog(logTarget,
                   "PATCH LIBRARIAN: could not split %s; the imported copy could not be removed (%s) and is not listed",
                   fullPath.c_str(), std::strerror(errno));
    refusedSplits.insert(fullPath);
    failedSplits[fullPath] = splitWriteError;
  }
  splitInProgress = false;
  return nullptr;
}

void PatchLibrarian::createFolderFilesStructure(PatchFile* bank)
{
  if (!bank) return;
  const std::vector<std::string>& pf = bank->pathFolders;
  const size_t d = pf.size();

  bool placed = false;
  for (FolderFiles* e : folderTree)
  {
    if (d == 1 && e->name == pf[0])
    {
      e->files.push_back(bank);
      placed = true;
    }
    else if (d == 2 || d == 3)
    {
      for (SubFolderFiles& s : e->subFolders)
      {
        if (s.name != pf[1]) continue;
        placed = true;
        if (d == 2)
        {
          s.files.push_back(bank);
          continue;
        }
        auto sub = std::find_if(s.subFolders.begin(), s.subFolders.end(),
                                [&](const SubFolderFiles2& s2) { return s2.name == pf[2]; });
        if (sub != s.subFolders.end())
        {
          sub->files.push_back(bank);
        }
        else
        {
          s.subFolders.emplace_back();
          s.subFolders.back().name = pf[2];
          s.subFolders.back().files.push_back(bank);
        }
      }
    }
  }
  if (placed) return;
  // A folder not listed yet: its entry, made only now (most banks join an entry).
  FolderFiles* entry = new FolderFiles;
  if (d == 1)
  {
    entry->name = pf[0];
    entry->files.push_back(bank);
  }
  else if (d == 2)
  {
    entry->subFolders.emplace_back();
    entry->subFolders.back().name = pf[1];
    entry->subFolders.back().files.push_back(bank);
  }
  else if (d == 3)
  {
    entry->subFolders.emplace_back();
    entry->subFolders.back().name = pf[1];
    entry->subFolders.back().subFolders.emplace_back();
    entry->subFolders.back().subFolders.back().name = pf[2];
    entry->subFolders.back().subFolders.back().files.push_back(bank);
  }
  folderTree.push_back(entry);
}
