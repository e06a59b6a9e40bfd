#include "LibrarianTestSupport.h"

#include "base/filewrite.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
Bytes bankBytes(int n, uint32_t seed) { return concat(testDumps(n, seed)); }

std::vector<std::string> listedNames(const PatchLibrarian& lib)
{
  std::vector<std::string> v;
  for (const PatchFile* f : lib.patchFiles) v.push_back(f->fileName);
  return v;
}

int countLines(const LogCapture& log, const std::string& part)
{
  int n = 0;
  for (const std::string& l : log.lines()) n += l.find(part) != std::string::npos;
  return n;
}
}  // namespace

TEST(FolderScan, OrderFolderTreeAndPaths)
{
  TempDataDir dir;
  dir.mkdir("Patches/A/B");
  dir.mkdir("Patches/C");
  writeFileBytes(dir.patches + "/A/b.dvl", bankBytes(128, 1));
  writeFileBytes(dir.patches + "/A/Z.dvl", bankBytes(128, 2));
  writeFileBytes(dir.patches + "/A/B/m.wvb", bankBytes(128, 3));
  writeFileBytes(dir.patches + "/C/c.syx", bankBytes(128, 4));
  writeFileBytes(dir.patches + "/a.dvl", bankBytes(128, 5));
  writeFileBytes(dir.patches + "/B.dvl", bankBytes(128, 6));

  ASSERT_EQ(patchesFolderPath(), dir.patches);
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(patchesFolderPath());
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"Z.dvl", "b.dvl", "m.wvb", "c.syx", "B.dvl", "a.dvl"}));
  EXPECT_EQ(lib.folderPaths, (std::vector<std::string>{dir.patches + "/A", dir.patches + "/A/B", dir.patches + "/C",
                                                       dir.patches}));
  const PatchFile* m = lib.patchFiles[2];
  EXPECT_EQ(m->folderName, "B");
  EXPECT_EQ(m->pathFolders, (std::vector<std::string>{"Patches", "A", "B"}));
  EXPECT_EQ(lib.patchFiles[4]->folderName, "Patches");
  EXPECT_EQ(lib.patchFiles[4]->pathFolders, (std::vector<std::string>{"Patches"}));
  for (const PatchFile* f : lib.patchFiles) EXPECT_EQ(f->patches.size(), 128u);
  EXPECT_EQ(lib.patchFiles[0]->patches[0].messages[0].bytes, testDumps(1, 2)[0]);

  ASSERT_EQ(lib.folderTree.size(), 3u);
  const FolderFiles* a = lib.folderTree[0];
  EXPECT_EQ(a->name, "");
  ASSERT_EQ(a->subFolders.size(), 1u);
  EXPECT_EQ(a->subFolders[0].name, "A");
  EXPECT_EQ(a->subFolders[0].files, (std::vector<PatchFile*>{lib.patchFiles[0], lib.patchFiles[1]}));
  ASSERT_EQ(a->subFolders[0].subFolders.size(), 1u);
  EXPECT_EQ(a->subFolders[0].subFolders[0].name, "B");
  EXPECT_EQ(a->subFolders[0].subFolders[0].files, (std::vector<PatchFile*>{lib.patchFiles[2]}));
  EXPECT_EQ(lib.folderTree[1]->subFolders.at(0).name, "C");
  EXPECT_EQ(lib.folderTree[2]->name, "Patches");
  EXPECT_EQ(lib.folderTree[2]->files, (std::vector<PatchFile*>{lib.patchFiles[4], lib.patchFiles[5]}));
}

TEST(FolderScan, SiblingThirdLevelFoldersShareTheirParentsEntry)
{
  TempDataDir dir;
  dir.mkdir("Patches/A/B");
  dir.mkdir("Patches/A/C");
  writeFileBytes(dir.patches + "/A/B/x.dvl", bankBytes(128, 1));
  writeFileBytes(dir.patches + "/A/C/y.dvl", bankBytes(128, 2));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(lib.folderTree.size(), 1u);
  ASSERT_EQ(lib.folderTree[0]->subFolders.size(), 1u);
  const SubFolderFiles& a = lib.folderTree[0]->subFolders[0];
  EXPECT_EQ(a.name, "A");
  ASSERT_EQ(a.subFolders.size(), 2u);
  EXPECT_EQ(a.subFolders[0].name, "B");
  EXPECT_EQ(a.subFolders[1].name, "C");
  EXPECT_EQ(a.subFolders[1].files, (std::vector<PatchFile*>{lib.patchFiles[1]}));
}

TEST(FolderScan, SizeThresholdExtensionsAndSmallFiles)
{
  TempDataDir dir;
  LogCapture log;
  Bytes at25000 = bankBytes(84, 9);  // 24,948 bytes of programs
  at25000.resize(25000, 0);
  Bytes at25001 = at25000;
  at25001.push_back(0);
  writeFileBytes(dir.patches + "/at25000.syx", at25000);
  writeFileBytes(dir.patches + "/at25001.syx", at25001);
  writeFileBytes(dir.patches + "/Upper.DVL", bankBytes(128, 10));
  writeFileBytes(dir.patches + "/mixed.Syx", bankBytes(128, 11));
  writeFileBytes(dir.patches + "/prog.prg", bankBytes(128, 12));
  writeFileBytes(dir.patches + "/notes.txt", bankBytes(128, 13));
  writeFileBytes(dir.patches + "/noext", bankBytes(128, 14));
  writeFileBytes(dir.patches + "/one.syx", testDumps(1, 15)[0]);
  dir.mkdir("Patches/folder.dvl");

  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"Upper.DVL", "at25001.syx", "mixed.Syx"}));
  EXPECT_EQ(lib.patchFiles[1]->patches[83].messages[0].bytes, testDumps(84, 9)[83]);
  EXPECT_EQ(lib.patchFiles[1]->patches[84].messages[0].bytes, mkInitPatchData());
  EXPECT_FALSE(log.contains("prog.prg"));
  EXPECT_FALSE(log.contains("notes.txt"));
  EXPECT_FALSE(log.contains("at25000"));
}

TEST(FolderScan, MissingPatchesFolderLeavesEverythingEmpty)
{
  TempDataDir dir;
  LogCapture log;
  std::filesystem::remove_all(dir.patches);
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_TRUE(lib.patchFiles.empty());
  EXPECT_TRUE(lib.folderTree.empty());
  EXPECT_TRUE(lib.folderPaths.empty());
  EXPECT_TRUE(log.contains("PLUGIN IS NOT ABLE TO FIND PATCHES FOLDER..."));
}

TEST(FolderScan, ShortBanksArePaddedAndEmptyFilesNotListed)
{
  TempDataDir dir;
  writeFileBytes(dir.patches + "/hundred.dvl", bankBytes(100, 20));
  writeFileBytes(dir.patches + "/garbage.syx", Bytes(30000, 0x33));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(listedNames(lib), (std::vector<std::string>{"hundred.dvl"}));
  ASSERT_EQ(lib.patchFiles[0]->patches.size(), 128u);
  for (size_t i = 100; i < 128; ++i) EXPECT_EQ(lib.patchFiles[0]->patches[i].messages[0].bytes, mkInitPatchData());
  ASSERT_EQ(lib.folderTree.size(), 1u);
  EXPECT_EQ(lib.folderTree[0]->files.size(), 1u);
}

TEST(FolderScan, OversizedFileIsSplitMovedAndListedOnce)
{
  TempDataDir dir;
  LogCapture log;
  const auto all = testDumps(129, 30);
  const Bytes source = concat(all);
  writeFileBytes(dir.patches + "/Big.syx", source);
  writeFileBytes(dir.patches + "/Exact.dvl", bankBytes(128, 31));

  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"Big Singles 1.dvl", "Big Singles 2.dvl", "Exact.dvl"}));
  EXPECT_EQ(readFileBytes(dir.patches + "/Big Singles 1.dvl"), concat({all.begin(), all.begin() + 128}));
  std::vector<Bytes> second{all[128]};
  while (second.size() < 128) second.push_back(mkInitPatchData());
  EXPECT_EQ(readFileBytes(dir.patches + "/Big Singles 2.dvl"), concat(second));
  EXPECT_FALSE(fileExists(dir.patches + "/Big.syx"));
  EXPECT_EQ(readFileBytes(dir.converted + "Big.syx"), source);
  EXPECT_TRUE(log.contains("PATCH LIBRARIAN: moved file Big.syx because it is not Velda 1 standard formatted!"));
  EXPECT_EQ(countLines(log, "FOLDER RESCAN INITIATED BY PATCH LIBRARIAN"), 1);
  ASSERT_EQ(lib.folderTree.size(), 1u);
  EXPECT_EQ(lib.folderTree[0]->files, lib.patchFiles);
  EXPECT_FALSE(lib.rescanRequested);
}

TEST(FolderScan, ThreeHundredProgramsGiveThreeBanksInTheirFolder)
{
  TempDataDir dir;
  dir.mkdir("Patches/Imports");
  const auto all = testDumps(300, 40);
  writeFileBytes(dir.patches + "/Imports/Old.syx", concat(all));
  // A converted file of that name is kept; the new one gets a name of its own.
  dir.mkdir("Converted Banks");
  writeFileBytes(dir.converted + "Old.syx", Bytes{7});

  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_EQ(listedNames(lib),
            (std::vector<std::string>{"Old Singles 1.dvl", "Old Singles 2.dvl", "Old Singles 3.dvl"}));
  std::vector<Bytes> third(all.begin() + 256, all.end());
  ASSERT_EQ(third.size(), 44u);
  while (third.size() < 128) third.push_back(mkInitPatchData());
  EXPECT_EQ(readFileBytes(dir.patches + "/Imports/Old Singles 3.dvl"), concat(third));
  for (const PatchFile* f : lib.patchFiles) EXPECT_EQ(f->folderName, "Imports");
  EXPECT_EQ(readFileBytes(dir.converted + "Old.syx"), Bytes{7});
  EXPECT_EQ(readFileBytes(dir.converted + "Old (2).syx"), concat(all));
}

TEST(FolderScan, ExistingBankNamesAreNeverOverwrittenBySplits)
{
  TempDataDir dir;
  const Bytes mine = bankBytes(128, 50);
  writeFileBytes(dir.patches + "/Old Singles 1.dvl", mine);
  writeFileBytes(dir.patches + "/Old.syx", bankBytes(130, 51));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_EQ(readFileBytes(dir.patches + "/Old Singles 1.dvl"), mine);
  EXPECT_EQ(listedNames(lib),
            (std::vector<std::string>{"Old Singles 1 (2).dvl", "Old Singles 1.dvl", "Old Singles 2.dvl"}));
}

TEST(FolderScan, FailedMoveUndoesTheSplitAndDoesNotLoop)
{
  TempDataDir dir;
  LogCapture log;
  writeFileBytes(dir.root + "Converted Banks", Bytes{1});  // a file where the folder should be
  const Bytes source = bankBytes(200, 60);
  writeFileBytes(dir.patches + "/Stuck.syx", source);
  writeFileBytes(dir.patches + "/Fine.dvl", bankBytes(128, 61));

  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"Fine.dvl"}));
  EXPECT_EQ(readFileBytes(dir.patches + "/Stuck.syx"), source);
  EXPECT_FALSE(fileExists(dir.patches + "/Stuck Singles 1.dvl"));
  EXPECT_FALSE(fileExists(dir.patches + "/Stuck Singles 2.dvl"));
  EXPECT_EQ(countLines(log, "could not split"), 1);
  EXPECT_LE(countLines(log, "FOLDER RESCAN INITIATED BY PATCH LIBRARIAN"), 1);

  // Once the way is clear, the next user rescan converts it.
  std::filesystem::remove(dir.root + "Converted Banks");
  lib.initBankFilesOnDiscard(dir.patches);
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"Fine.dvl", "Stuck Singles 1.dvl", "Stuck Singles 2.dvl"}));
  EXPECT_EQ(readFileBytes(dir.converted + "Stuck.syx"), source);
}

TEST(FolderScan, FilesOverOneMebibyteAreRefused)
{
  TempDataDir dir;
  LogCapture log;
  writeFileBytes(dir.patches + "/Huge.syx", bankBytes(3600, 70));  // 1,069,200 bytes
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_TRUE(lib.patchFiles.empty());
  EXPECT_TRUE(fileExists(dir.patches + "/Huge.syx"));
  EXPECT_TRUE(log.contains("larger than 1 MiB"));
}

TEST(FolderScan, FileSystemTroubleSkipsOnlyTheEntry)
{
  TempDataDir dir;
  LogCapture log;
  dir.mkdir("Patches/A");
  std::filesystem::create_symlink(dir.patches + "/nowhere.dvl", dir.patches + "/dead.dvl");
  std::filesystem::create_directory_symlink(dir.patches, dir.patches + "/A/loop");
  writeFileBytes(dir.patches + "/A/x.dvl", bankBytes(128, 80));
  writeFileBytes(dir.patches + "/y.dvl", bankBytes(128, 81));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"x.dvl", "y.dvl"}));
  EXPECT_TRUE(log.contains("dead.dvl"));
}

TEST(FolderScan, DeepBanksAreListedWithAnEmptyTreeEntry)
{
  TempDataDir dir;
  dir.mkdir("Patches/A/B/C");
  writeFileBytes(dir.patches + "/A/B/C/deep.dvl", bankBytes(128, 90));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(listedNames(lib), (std::vector<std::string>{"deep.dvl"}));
  EXPECT_EQ(lib.patchFiles[0]->pathFolders, (std::vector<std::string>{"Patches", "A", "B", "C"}));
  ASSERT_EQ(lib.folderTree.size(), 1u);
  EXPECT_TRUE(lib.folderTree[0]->name.empty());
  EXPECT_TRUE(lib.folderTree[0]->files.empty());
  EXPECT_TRUE(lib.folderTree[0]->subFolders.empty());
}

TEST(FolderScan, StandardMidiFilesOfAnyWriterAreListed)
{
  TempDataDir dir;
  const auto programs = testPrograms(128, 95);
  TestSmfWriter w;
  w.beginTrack();
  w.note(0, 1, 50, 60);
  w.sysex(10, testAllProgramDump(programs), 1000);
  w.endTrack();
  writeFileBytes(dir.patches + "/Dump.mid", w.file());
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(listedNames(lib), (std::vector<std::string>{"Dump.mid"}));
  for (size_t i = 0; i < 128; ++i)
    EXPECT_EQ(lib.patchFiles[0]->patches[i].messages[0].bytes, testProgramDump(programs[i])) << i;
}

TEST(FolderScan, UserRescanStartsAfresh)
{
  TempDataDir dir;
  writeFileBytes(dir.patches + "/One.dvl", bankBytes(128, 100));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  lib.createNewSearchPatchFiles("Prog");
  ASSERT_FALSE(lib.searchResultFiles.empty());
  writeFileBytes(dir.patches + "/Two.dvl", bankBytes(128, 101));
  lib.initBankFilesOnDiscard(dir.patches);
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"One.dvl", "Two.dvl"}));
  EXPECT_EQ(lib.folderTree.size(), 1u);
  EXPECT_TRUE(lib.searchResultFiles.empty());
  EXPECT_TRUE(lib.searchFolderTree.empty());

  // Rescans over a tree that grows and shrinks (the last scan's banks are let go of
  // while the new ones are read) give what a fresh scan gives, and a slot kept from
  // an earlier scan keeps its program.
  const LibrarianPatch kept = lib.patchFiles[1]->patches[5];
  const Bytes keptBytes = kept.messages[0].bytes;
  const struct
  {
    std::vector<std::string> add, remove;
  } steps[] = {{{"A/Three.dvl", "A/Four.dvl", "Five.syx"}, {}},
               {{}, {"One.dvl", "Two.dvl", "A/Four.dvl", "Five.syx"}},
               {{"Six.dvl"}, {}},
               {{}, {"A/Three.dvl", "Six.dvl"}}};
  dir.mkdir("Patches/A");
  uint32_t seed = 200;
  for (const auto& step : steps)
  {
    for (const std::string& f : step.add) writeFileBytes(dir.patches + "/" + f, bankBytes(100, seed++));
    for (const std::string& f : step.remove) std::filesystem::remove(dir.patches + "/" + f);
    lib.initBankFilesOnDiscard(dir.patches);
    PatchLibrarian fresh;
    fresh.loadPatchesFromFilesystem(dir.patches);
    ASSERT_EQ(listedNames(lib), listedNames(fresh));
    for (size_t b = 0; b < fresh.patchFiles.size(); ++b)
      for (size_t i = 0; i < (size_t)kBankSlots; ++i)
      {
        const LibrarianPatch& got = lib.patchFiles[b]->patches[i];
        const LibrarianPatch& want = fresh.patchFiles[b]->patches[i];
        ASSERT_EQ(got.name, want.name) << b << " " << i;
        ASSERT_EQ(got.messages.size(), want.messages.size());
        ASSERT_TRUE(got.messages[0].bytes == want.messages[0].bytes) << b << " " << i;
      }
    lib.createNewSearchPatchFiles("Prog");
    EXPECT_EQ(lib.searchResultFiles.empty(), fresh.patchFiles.empty());
  }
  EXPECT_TRUE(kept.messages[0].bytes == keptBytes);
}

// The highest process id the kernel gives: one below its own pid_max.
pid_t gHighestId = 0;

TEST(FolderScan, TemporaryFilesOfDeadSavesAreRemovedAndNothingElse)
{
  {
    std::ifstream in("/proc/sys/kernel/pid_max");
    long pidMax = 0;
    ASSERT_TRUE(in >> pidMax);
    gHighestId = (pid_t)(pidMax - 1);
  }
  // A save killed mid-write, reaped: its id names no process, its file is the writer's.
  TempDataDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0)
  {
    fileWriteFault() = +[](FileWriteStep step) {
      if (step == FileWriteStep::kSync) _exit(0);
      return 0;
    };
    _exit(writeFileAtomically(dir.patches + "/Killed.mid", (const uint8_t*)"MThd", 4, true, nullptr));
  }
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  const std::string dead = std::to_string(child), self = std::to_string(getpid());
  const std::vector<std::string> killed = temporaryFilesIn(dir.patches);
  ASSERT_EQ(killed.size(), 1u);

  LogCapture log;
  dir.mkdir("Patches/A");
  // A folder of the user's, outside the data folder, linked in.
  const TempFolder elsewhere("davrel-linked");
  std::filesystem::create_directory_symlink(elsewhere.path(), dir.patches + "/Linked");
  writeFileBytes(dir.patches + "/A/x.dvl", bankBytes(128, 110));
  writeFileBytes(dir.patches + "/y.dvl", bankBytes(128, 111));
  const timespec longAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
  // Only a regular file is one: not a folder, not a link (to one that would go).
  const std::string folder = dir.patches + "/y.dvl." + dead + "-5.tmp";
  const std::string link = dir.patches + "/y.dvl." + dead + "-6.tmp";
  dir.mkdir("Patches/y.dvl." + dead + "-5.tmp");
  std::filesystem::create_symlink(dir.patches + "/Linked/z.dvl." + dead + "-4.tmp", link);
  ASSERT_EQ(utimensat(AT_FDCWD, folder.c_str(), longAgo, 0), 0);
  ASSERT_EQ(utimensat(AT_FDCWD, link.c_str(), longAgo, AT_SYMLINK_NOFOLLOW), 0);
  PatchLibrarian before;
  before.loadPatchesFromFilesystem(dir.patches);

  const struct
  {
    std::string name;
    bool removed;
    time_t age = 3600;  // seconds since its last change
  } rows[] = {
      {killed[0], true},
      {"y.dvl." + dead + "-0.tmp", true},
      {"A/x.dvl." + dead + "-17.tmp", true},
      {"Set.WVB." + dead + "-4294967295.tmp", true},
      {"y.dvl.2147483647-3.tmp", false},          // above any process id there can be: the user's
      {"Live set.syx.20240101-1.tmp", false},
      {"Take 3.mid.99999999-0.tmp", false},
      {"notes.txt." + dead + "-1.tmp", false},    // the user's: another extension
      {"y.dvl." + dead + "-7.tmp", true, 11 * 60},
      {"y.dvl." + self + "-0.tmp", false},        // a live writer's
      {"y.dvl.1-0.tmp", false},                   // another user's
      {"y.dvl." + dead + "-1.tmp", false, 9 * 60},  // its writer may live where ids differ
      {"Linked/z.dvl." + dead + "-4.tmp", false},
      {"notes.20240101-1.tmp", false},             // the user's: no file the librarian writes
      {"x.99999999-0.tmp", false},
      {"Set." + dead + "-2.tmp", false},
      {"y.dvl." + dead + ".tmp", false},          // not the writer's names
      {"y.dvl." + dead + "-2.TMP", false},
      {"y.dvl." + dead + "-2.tmp.bak", false},
      {"y.dvl." + dead + "-02.tmp", false},
      {"y.dvl.0" + dead + "-2.tmp", false},
      {"y.dvl.-" + dead + "-2.tmp", false},
      {"y.dvl." + dead + "-4294967296.tmp", false},
      {"y.dvl.0-2.tmp", false},
      {"." + dead + "-2.tmp", false},
      {"y.dvl." + dead + "-.tmp", false},
      {"y.dvl." + std::to_string(gHighestId) + "-8.tmp", true},      // the highest id the kernel gives
      {"y.dvl." + std::to_string(gHighestId + 1) + "-8.tmp", false},  // its pid_max: never a process's
  };
  for (const auto& r : rows)
  {
    const std::string path = dir.patches + "/" + r.name;
    writeFileBytes(path, Bytes{1, 2, 3});
    const timespec at[2] = {{time(nullptr) - r.age, 0}, {time(nullptr) - r.age, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), at, AT_SYMLINK_NOFOLLOW), 0) << r.name;
  }
  ASSERT_NE(kill(child, 0), 0) << "the dead child's id was taken again";

  PatchLibrarian lib;
  // Process 1 answers as another user's would, even to root.
  lib.processProbe = +[](pid_t pid, int signal) {
    return pid == 1 ? (errno = EPERM, -1) : pid == gHighestId ? (errno = ESRCH, -1) : kill(pid, signal);
  };
  lib.loadPatchesFromFilesystem(dir.patches);
  for (const auto& r : rows)
  {
    EXPECT_EQ(fileExists(dir.patches + "/" + r.name), !r.removed) << r.name;
    EXPECT_EQ(log.contains("removed " + dir.patches + "/" + r.name + ", left by a save that did not finish"),
              r.removed)
        << r.name;
  }
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(listedNames(lib), listedNames(before));
  EXPECT_EQ(listedNames(lib), (std::vector<std::string>{"x.dvl", "y.dvl"}));
  EXPECT_EQ(lib.folderPaths, before.folderPaths);
  EXPECT_EQ(lib.folderTree.size(), before.folderTree.size());
  // Nor is any folder but the data folder's bank folder swept, even scanned as one.
  lib.loadPatchesFromFilesystem(elsewhere.path());
  EXPECT_TRUE(fileExists(dir.patches + "/Linked/z.dvl." + dead + "-4.tmp"));
}

TEST(FolderScan, ReadTrustsTheListedSizeOnlyWhileTheFileMatchesIt)
{
  // The scan reads a file with the size its folder listing found; a file replaced
  // since (saved through a rename) is asked about again and read whole, by its name
  // in the open folder as by its full path.
  TempDataDir dir;
  const Bytes bank = bankBytes(128, 90);
  const std::string path = dir.patches + "/b.dvl";
  writeFileBytes(path, bank);
  const int folder = open(dir.patches.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(folder, 0);
  const int64_t size = (int64_t)bank.size();
  const struct
  {
    int64_t listed;
    bool relative;
  } cases[] = {{size, true}, {size, false}, {-1, true}, {size - 297, true}, {size + 297, false},
               {(int64_t)kMaxBankFileSize + 1, true}};
  for (const auto& c : cases)
  {
    PatchBytes read;
    std::string why;
    const ScanRead r = c.relative ? readScanCandidate(folder, "b.dvl", c.listed, &read, &why)
                                  : readScanCandidate(AT_FDCWD, path.c_str(), c.listed, &read, &why);
    EXPECT_EQ(r, ScanRead::kRead) << c.listed << " " << why;
    EXPECT_TRUE(read == bank) << c.listed;
  }
  // A listed regular file that became a folder or vanished is not read.
  PatchBytes read;
  std::string why;
  dir.mkdir("Patches/d.dvl");
  EXPECT_EQ(readScanCandidate(folder, "d.dvl", size, &read, &why), ScanRead::kSkipped);
  EXPECT_EQ(readScanCandidate(folder, "gone.dvl", size, &read, &why), ScanRead::kRetry);
  EXPECT_TRUE(read.empty());
  close(folder);
}
