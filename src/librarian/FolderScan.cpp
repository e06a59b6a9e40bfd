// The folder scan: which files under "Patches" become banks, in which order, and where
// each bank sits in the folder tree.

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
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
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
  const char* name(const std::string& fullPath, size_t folderLength) const
  {
    return fd >= 0 ? fullPath.c_str() + folderLength + 1 : fullPath.c_str();
  }

private:
  const int fd;
};

// Lists dir's sub-folders depth first, each after the folders below it, and with
// listings each folder's entries. A folder reached twice (through a link) is listed once.
void collectFolders(const std::string& dir, std::vector<std::string>* out, std::set<FolderId>* seen,
                    Listings* listings)
{
  std::vector<ListedEntry>* listed = listings ? &(*listings)[dir] : nullptr;
  try
  {
    const OpenFolder folder(dir);
    for (Poco::DirectoryIterator it(dir), end; it != end; ++it)
    {
      try
      {
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
        if (!seen->insert(FolderId((uint64_t)st.st_dev, (uint64_t)st.st_ino)).second)
        {
          librarianLog("PATCH LIBRARIAN: folder %s was listed already, skipped", path.c_str());
          continue;
        }
        collectFolders(path, out, seen, listings);
        out->push_back(path);
      }
      catch (const Poco::Exception& e)
      {
        librarianLog("PATCH LIBRARIAN: skipped %s: %s", it->path().c_str(), e.displayText().c_str());
      }
    }
  }
  catch (const Poco::Exception& e)
  {
    if (listings) listings->erase(dir);  // the scan lists it again and says why it cannot
    librarianLog("PATCH LIBRARIAN: could not read folder %s: %s", dir.c_str(), e.displayText().c_str());
  }
}

std::set<FolderId> seenRoot(const std::string& dir)
{
  std::set<FolderId> seen;
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) seen.insert(FolderId((uint64_t)st.st_dev, (uint64_t)st.st_ino));
  return seen;
}
}  // namespace

void PatchLibrarian::buildFolderStructure(const std::string& dir, std::vector<std::string>* out)
{
  std::set<FolderId> seen = seenRoot(dir);
  collectFolders(dir, out, &seen, nullptr);
}

void PatchLibrarian::initBankFilesOnDiscard(std::string root)
{
  WDL_MutexLock lock(&libraryMutex);
  deleteBanks(patchFiles);
  deleteBanks(searchResultFiles);
  for (int which = 0; which <= 3; ++which) clearDataStructures(which);
  loadPatchesFromFilesystem(root);
}

void PatchLibrarian::loadPatchesFromFilesystem(std::string root)
{
  WDL_MutexLock lock(&libraryMutex);
  LibrarianLogBatch logBatch;  // a line a file, written once at the end
  while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
  refusedSplits.clear();
  rescanRequested = false;
  scanOnce(root);
  for (int repeat = 0; rescanRequested && repeat < kMaxRescans; ++repeat)
  {
    librarianLog("FOLDER RESCAN INITIATED BY PATCH LIBRARIAN");
    rescanRequested = false;
    deleteBanks(patchFiles);
    clearDataStructures(0);
    scanOnce(root);
  }
  rescanRequested = false;
  refusedSplits.clear();
}

void PatchLibrarian::scanOnce(const std::string& root)
{
  try
  {
    Poco::File rootDir(root);
    if (!rootDir.exists() || !rootDir.isDirectory())
    {
      librarianLog("PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER...");
      return;
    }
  }
  catch (const Poco::Exception&)
  {
    librarianLog("PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER...");
    return;
  }

  folderPaths.clear();
  // The folder walk lists every folder once; the scan goes through those listings.
  Listings listings;
  std::set<FolderId> seen = seenRoot(root);
  collectFolders(root, &folderPaths, &seen, &listings);
  std::sort(folderPaths.begin(), folderPaths.end());
  folderPaths.push_back(root);
  const int rootDepth = Poco::Path(root).makeDirectory().depth();
  // Room in the search's name table for every file that may be a bank.
  size_t candidates = 0;
  for (const auto& folder : listings)
    for (const ListedEntry& e : folder.second)
      if (e.regular && e.size >= (int64_t)kMinScannedFileSize && e.size <= (int64_t)kMaxBankFileSize &&
          hasBankExtension(e.name.c_str()))
        ++candidates;
  nameTable.reserve(patchFiles.size() + candidates);

  std::vector<std::pair<std::string, const ListedEntry*>> entries;
  ScanArena arena;  // every file this scan reads
  PatchBytes file;
  std::string why;
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
        librarianLog("PATCH LIBRARIAN: could not read folder %s: %s", folder.c_str(), e.displayText().c_str());
        continue;
      }
    }
    std::sort(entries.begin(), entries.end());
    const OpenFolder openFolder(folder);
    // The folder's part of every entry's path, split once.
    const Poco::Path folderPath = Poco::Path(folder).makeDirectory();

    for (const auto& listedEntry : entries)
    {
      const std::string& entry = listedEntry.first;
      const ListedEntry* seenAs = listedEntry.second;
      try
      {
        const char* name = entry.c_str() + folder.size() + 1;
        if (!hasBankExtension(name)) continue;
        const Poco::Path path(folderPath, name);
        const std::string ext = lowerCase(path.getExtension());
        const int level = path.depth() - rootDepth;
        if (level < 0 || refusedSplits.count(entry)) continue;
        // What the walk saw cannot be a bank: not opened, as the read would skip it.
        if (seenAs && seenAs->known && (!seenAs->regular || seenAs->size < (int64_t)kMinScannedFileSize)) continue;
        PatchFile* bank = nullptr;
        const int64_t listedSize = seenAs && seenAs->known ? seenAs->size : -1;
        switch (readScanCandidate(openFolder.at(), openFolder.name(entry, folder.size()), listedSize, &file, &why,
                                   &arena))
        {
          case ScanRead::kSkipped: break;
          case ScanRead::kRead: bank = parseReadFile(entry, path, level, ext == "mid", &file, why); break;
          case ScanRead::kFailed: bank = parseReadFile(entry, path, level, ext == "mid", nullptr, why); break;
          case ScanRead::kRetry:
          {
            // Unopenable: the file-system layer names the reason, as for any other file.
            const Poco::File file(entry);
            if (!file.isFile() || file.getSize() < (Poco::File::FileSize)kMinScannedFileSize) continue;
            bank = parseFolderFiles(file, path, level, ext);
            break;
          }
        }
        if (bank) createFolderFilesStructure(bank);
      }
      catch (const Poco::Exception& e)
      {
        librarianLog("PATCH LIBRARIAN: skipped %s: %s", entry.c_str(), e.displayText().c_str());
      }
    }
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

PatchFile* PatchLibrarian::parseReadFile(const std::string& fullPath, const Poco::Path& path, int level, bool,
                                         const PatchBytes* bytes, const std::string& readError)
{
  splitInProgress = false;
  std::unique_ptr<PatchFile> bank(new PatchFile);
  bank->fileName = path.getFileName();
  const int depth = path.depth();
  bank->folderName = depth > 0 ? path[depth - 1] : std::string();
  for (int i = std::max(0, depth - 1 - level); i < depth; ++i) bank->pathFolders.push_back(path[i]);

  librarianLog("PATCH LIBRARIAN: loaded file %s", fullPath.c_str());
  if (!bytes)
  {
    librarianLog("PATCH LIBRARIAN: could not read file %s: %s", fullPath.c_str(), readError.c_str());
    return nullptr;
  }
  loadFromBytes(*bytes, bank.get());
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
      librarianLog("PATCH LIBRARIAN: moved file %s because it is not Velda 1 standard formatted!",
                   bank->fileName.c_str());
    }
    catch (const Poco::Exception& e)
    {
      librarianLog("PATCH LIBRARIAN: could not move %s to Converted Banks: %s", fullPath.c_str(),
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
    librarianLog("PATCH LIBRARIAN: could not split %s; it stays in place and is not listed", fullPath.c_str());
    refusedSplits.insert(fullPath);
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
