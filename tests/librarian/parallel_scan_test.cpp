// The folder scan reads its files on several threads and must leave exactly what a
// scan on one thread leaves: banks, their order and bytes, the folder tree, the
// search's names, the log lines and the files a split writes.

#include "LibrarianTestSupport.h"

#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <new>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace
{
Bytes bankBytes(int n, uint32_t seed) { return concat(testDumps(n, seed)); }

using TreeFiles = std::vector<std::pair<std::string, Bytes>>;  // below the data folder

// The regular files of the tree for a seed, made once.
const TreeFiles& seededFiles(uint32_t seed)
{
  static std::map<uint32_t, TreeFiles> made;
  TreeFiles& f = made[seed];
  if (!f.empty()) return f;
  const std::string p = "Patches/";
  const char* folders[] = {"", "A/", "A/B/", "A/B/C/", "D/", "D/E/"};
  std::mt19937 rng(seed);
  // Ordinary banks, full and short, with names whose order differs by case.
  for (int i = 0; i < 72; ++i)
  {
    const std::string folder = folders[rng() % 6];
    const char* exts[] = {".dvl", ".syx", ".wvb", ".DVL", ".Syx"};
    const std::string name = std::string(i % 3 ? "bank " : "Bank ") + std::to_string(rng() % 1000) + "-" +
                             std::to_string(i) + exts[rng() % 5];
    f.emplace_back(p + folder + name, bankBytes(86 + (int)(rng() % 43), seed * 1000 + (uint32_t)i));
  }
  // More than one bank's programs: split into new banks, moved, and the tree scanned again.
  f.emplace_back(p + "A/Big.syx", bankBytes(200, seed + 1));
  // Files that are not banks, or not read, or read and refused.
  f.emplace_back(p + "empty.dvl", Bytes());
  f.emplace_back(p + "short.syx", testDumps(1, seed + 2)[0]);
  f.emplace_back(p + "D/garbage.syx", Bytes(30000, 0x33));
  f.emplace_back(p + "D/Huge.syx", Bytes((size_t)kMaxBankFileSize + 1, 0xF0));
  f.emplace_back(p + "notes.txt", bankBytes(128, seed + 4));
  f.emplace_back(p + "noext", bankBytes(128, seed + 5));
  f.emplace_back(p + "unread.dvl", bankBytes(128, seed + 6));
  f.emplace_back(p + "folder.dvl/inside.dvl", bankBytes(128, seed + 7));
  f.emplace_back("Elsewhere/linked.dvl", bankBytes(128, seed + 8));
  // Other layouts: damaged messages among programs, bank dumps whole and cut, a MIDI file.
  Bytes damaged = bankBytes(120, seed + 9);
  damaged[297 * 5 + 40] = 0xF3;
  f.emplace_back(p + "D/E/damaged.syx", damaged);
  const Bytes dump = testAllProgramDump(testPrograms(128, seed + 10));
  f.emplace_back(p + "D/E/dump.syx", dump);
  f.emplace_back(p + "D/E/cut.syx", Bytes(dump.begin(), dump.begin() + 30000));
  TestSmfWriter w;
  w.beginTrack();
  w.sysex(0, dump, 1000);
  w.endTrack();
  f.emplace_back(p + "A/B/C/Dump.mid", w.file());
  return f;
}

// A tree with every kind of entry the scan meets, the same for a given seed.
void writeSeededTree(const TempDataDir& dir, uint32_t seed)
{
  const std::string p = dir.patches + "/";
  for (const char* f : {"A/B/C", "D/E", "Outside", "folder.dvl"}) dir.mkdir(std::string("Patches/") + f);
  dir.mkdir("Elsewhere");
  for (const auto& file : seededFiles(seed)) writeFileBytes(dir.root + file.first, file.second);
  chmod((p + "unread.dvl").c_str(), 0);  // unreadable unless run as root
  fs::create_symlink(p + "nowhere.dvl", p + "dead.dvl");
  mkfifo((p + "A/pipe.syx").c_str(), 0600);
  // Links: to a folder outside the tree, and back to the tree's root.
  fs::create_directory_symlink(dir.root + "Elsewhere", p + "D/linked");
  fs::create_directory_symlink(dir.patches, p + "A/B/loop");
}

// Everything a scan leaves, with the data folder's path taken out.
struct ScanState
{
  std::string text;  // banks, slots' names, tree, folders, search results, log, files on disk
  Bytes bytes;       // every slot's messages, bank after bank

  bool operator==(const ScanState& o) const { return text == o.text && bytes == o.bytes; }
};

std::string relative(std::string s, const std::string& root)
{
  for (size_t at; (at = s.find(root)) != std::string::npos;) s.replace(at, root.size(), "<data>/");
  return s;
}

void describeFiles(std::ostream& out, const std::vector<PatchFile*>& banks, const std::vector<PatchFile*>& all)
{
  out << "[";
  for (const PatchFile* b : banks)
    out << " " << (std::find(all.begin(), all.end(), b) - all.begin());
  out << " ]";
}

ScanState stateOf(PatchLibrarian& lib, const TempDataDir& dir, const LogCapture& log)
{
  ScanState s;
  std::ostringstream out;
  for (const PatchFile* b : lib.patchFiles)
  {
    out << "bank " << b->fileName << " in " << b->folderName << ":";
    for (const std::string& f : b->pathFolders) out << " " << f;
    out << "\n";
    for (const LibrarianPatch& slot : b->patches)
    {
      out << "  " << slot.name << " " << slot.messages.size() << "\n";
      for (const PatchSysexMessage& m : slot.messages) s.bytes.insert(s.bytes.end(), m.bytes.begin(), m.bytes.end());
    }
  }
  for (const FolderFiles* f : lib.folderTree)
  {
    out << "tree " << f->name;
    describeFiles(out, f->files, lib.patchFiles);
    for (const SubFolderFiles& sub : f->subFolders)
    {
      out << " / " << sub.name;
      describeFiles(out, sub.files, lib.patchFiles);
      for (const SubFolderFiles2& sub2 : sub.subFolders)
      {
        out << " // " << sub2.name;
        describeFiles(out, sub2.files, lib.patchFiles);
      }
    }
    out << "\n";
  }
  for (const std::string& f : lib.folderPaths) out << "folder " << relative(f, dir.root) << "\n";
  out << "header missing " << lib.headerMissing.load() << "\n";
  for (const std::string& line : log.lines()) out << "log " << relative(line, dir.root) << "\n";
  // The search reads the name table the scan built.
  for (const char* text : {"Prog 01", "Prog", "unnamed", "g 1"})
  {
    lib.createNewSearchPatchFiles(text);
    out << "search " << text << ":";
    for (const PatchFile* b : lib.searchResultFiles)
      for (const LibrarianPatch& slot : b->patches)
      {
        out << " " << slot.name;
        for (const PatchSysexMessage& m : slot.messages) s.bytes.insert(s.bytes.end(), m.bytes.begin(), m.bytes.end());
      }
    out << "\n";
  }
  std::vector<std::string> files;
  for (auto it = fs::recursive_directory_iterator(dir.root); it != fs::recursive_directory_iterator(); ++it)
  {
    std::error_code ec;
    const std::string path = relative(it->path().string(), dir.root);
    if (it->is_regular_file(ec) && !it->is_symlink(ec))
    {
      const Bytes b = readFileBytes(it->path().string());
      files.push_back(path + " " + std::to_string(b.size()) + " " + std::to_string(std::hash<std::string>()(
                                                                           std::string(b.begin(), b.end()))));
    }
    else
      files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) out << "file " << f << "\n";
  s.text = out.str();
  return s;
}

// The first line where two states differ, for a readable failure.
std::string firstDifference(const ScanState& a, const ScanState& b)
{
  std::istringstream x(a.text), y(b.text);
  std::string l, m;
  for (int n = 1; (bool)std::getline(x, l) | (bool)std::getline(y, m); ++n, l.clear(), m.clear())
    if (l != m) return "line " + std::to_string(n) + ":\n  " + l + "\n  " + m;
  return a.bytes == b.bytes ? std::string() : "the slots' bytes";
}

// Jitter, so that the threads finish their files out of order.
void unevenProbe(const std::string& path)
{
  if (std::hash<std::string>()(path) % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
}

struct ProbeScope
{
  explicit ProbeScope(void (*probe)(const std::string&)) { PatchLibrarian::scanFileProbe = probe; }
  ~ProbeScope() { PatchLibrarian::scanFileProbe = nullptr; }
};

// A scan of the seeded tree with threads reading threads, and with a thread that
// calls helpScan until the scan has ended (before, during and after it) when helper.
ScanState scanSeededTree(uint32_t seed, int threads, bool helper)
{
  TempDataDir dir;
  writeSeededTree(dir, seed);
  LogCapture log;
  PatchLibrarian lib;
  lib.scanThreads = threads;
  std::atomic<bool> scanning{true};
  std::thread joiner;
  if (helper)
    joiner = std::thread([&] {
      while (scanning.load())
      {
        lib.helpScan();
        std::this_thread::yield();
      }
    });
  lib.loadPatchesFromFilesystem(dir.patches);
  scanning = false;
  if (joiner.joinable()) joiner.join();
  return stateOf(lib, dir, log);
}
}  // namespace

TEST(ParallelScan, SameResultOnOneThreadOrSeveral)
{
  for (uint32_t seed : {7u, 31u})
  {
    const ScanState one = scanSeededTree(seed, 1, false);
    // The tree holds what the scan must handle.
    for (const char* part : {"bank Big Singles 1.dvl", "bank Big Singles 2.dvl", "FOLDER RESCAN INITIATED",
                             "moved file Big.syx", "larger than 1 MiB", "skipped <data>/Patches/dead.dvl",
                             "File format not supported!", "dropped 1 messages", "dump cut at 30000",
                             "bank Dump.mid", "bank linked.dvl", "folder <data>/Patches/A/B/loop was listed already",
                             "file <data>/Converted Banks/Big.syx ", "search Prog 01: Prog 01"})
      EXPECT_NE(one.text.find(part), std::string::npos) << part;
    EXPECT_EQ(one.text.find("bank empty.dvl"), std::string::npos);
    EXPECT_EQ(one.text.find("bank short.syx"), std::string::npos);

    ProbeScope probe(&unevenProbe);
    for (int threads : {2, 4})
    {
      const ScanState several = scanSeededTree(seed, threads, false);
      EXPECT_TRUE(several == one) << threads << " threads, seed " << seed << ": " << firstDifference(one, several);
    }
    const ScanState helped = scanSeededTree(seed, 3, true);
    EXPECT_TRUE(helped == one) << "with a helper, seed " << seed << ": " << firstDifference(one, helped);
  }
}

namespace
{
std::thread::id gScanningThread;
std::atomic<int> gInjected{0};
std::string gFaultPath;  // the file whose read threw, set before gInjected

// A file-system failure for the first file in the scan's order.
void troubleProbe(const std::string& path)
{
  if (path.find("/A trouble.dvl") != std::string::npos) throw Poco::IOException("injected trouble");
}

// That, and out of memory for the first other file a thread other than the scanning
// one takes. The scanning thread waits (bounded) until that has happened, so that
// the failure is surely another thread's.
void faultyProbe(const std::string& path)
{
  troubleProbe(path);
  if (std::this_thread::get_id() != gScanningThread)
  {
    int none = 0;
    if (!gInjected.compare_exchange_strong(none, 1)) return;
    gFaultPath = path;
    gInjected = 2;
    throw std::bad_alloc();
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (gInjected.load() != 2 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
}

std::vector<std::string> namesOf(const PatchLibrarian& lib)
{
  std::vector<std::string> v;
  for (const PatchFile* b : lib.patchFiles) v.push_back(b->fileName);
  return v;
}
}  // namespace

TEST(ParallelScan, FailureOnAReadingThreadIsThrownOnTheScanningThreadInItsTurn)
{
  TempDataDir dir;
  for (int i = 0; i < 40; ++i)
    writeBankFile(dir.patches + "/F" + std::to_string(i % 4) + "/Bank " + std::to_string(i) + ".dvl", 400 + i);
  writeBankFile(dir.patches + "/F0/A trouble.dvl", 399);
  LogCapture log;
  PatchLibrarian lib;
  lib.scanThreads = 4;
  gScanningThread = std::this_thread::get_id();
  gInjected = 0;
  {
    ProbeScope probe(&faultyProbe);
    EXPECT_THROW(lib.loadPatchesFromFilesystem(dir.patches), std::bad_alloc);
  }
  ASSERT_EQ(gInjected.load(), 2);
  const std::vector<std::string> failedLog = log.lines();

  // What a scan on one thread leaves when that file's read throws: every bank before
  // it listed and logged, the file-system failure logged and the file skipped.
  log.clear();
  PatchLibrarian plain;
  plain.scanThreads = 1;
  {
    ProbeScope probe(&troubleProbe);
    plain.loadPatchesFromFilesystem(dir.patches);
  }
  const std::string failed = fs::path(gFaultPath).filename().string();
  std::vector<std::string> before, lines;
  for (const std::string& name : namesOf(plain))
  {
    if (name == failed) break;
    before.push_back(name);
  }
  for (const std::string& line : log.lines())
  {
    if (line.find(gFaultPath) != std::string::npos) break;
    lines.push_back(line);
  }
  ASSERT_LT(before.size(), 40u) << gFaultPath;
  EXPECT_EQ(namesOf(lib), before) << gFaultPath;
  EXPECT_EQ(failedLog, lines);
  ASSERT_FALSE(failedLog.empty());
  EXPECT_EQ(failedLog[0], "PATCH LIBRARIAN: skipped " + dir.patches + "/F0/A trouble.dvl: I/O error: injected trouble");

  // The librarian scans as ever afterwards.
  lib.initBankFilesOnDiscard(dir.patches);
  EXPECT_EQ(lib.patchFiles.size(), 41u);
}
