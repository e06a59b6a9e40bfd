// A save killed at any point leaves the old bank or the new one, whole: a child
// process saves two banks in turn over the same files until it is killed right
// before a step of the write, and the files are then checked against both versions.

#include "LibrarianTestSupport.h"

#include "base/filewrite.h"
#include "librarian/PatchLibrarian.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
struct Versions
{
  Bytes raw, mid;
};

// The child's stand-in for a failing file system: it fails nothing, but stops for
// good right before the step chosen in the save chosen (counted from 0), once it
// has told the parent so.
FileWriteStep gStopStep = FileWriteStep::kCreate;
int gStopAt = 0, gStopCount = 0, gReadyFd = -1;
int stopInside(FileWriteStep step)
{
  if (step != gStopStep || gStopCount++ != gStopAt) return 0;
  const char go = 1;
  if (write(gReadyFd, &go, 1) != 1) _exit(2);
  for (;;) pause();
}

Versions saveAndRead(PatchLibrarian& lib, const std::string& dir)
{
  Versions v;
  EXPECT_TRUE(lib.saveEditedPatch(dir + "/Bank.dvl", "Bank.dvl"));
  EXPECT_TRUE(lib.saveEditedPatch(dir + "/Bank.mid", "Bank.mid"));
  v.raw = readFileBytes(dir + "/Bank.dvl");
  v.mid = readFileBytes(dir + "/Bank.mid");
  return v;
}
}  // namespace

TEST(CrashSafety, AKilledSaveLeavesTheOldOrTheNewBankWhole)
{
  TempDataDir dir;
  RecordingHost host;
  PatchLibrarian lib(&host);
  PatchFile* a = makeBank(testDumps(128, 500), "Bank.dvl");
  PatchFile* b = makeBank(testDumps(128, 900), "Bank.dvl");
  lib.patchFiles = {b, a};
  lib.upperFileIndex = 0;
  const Versions vb = saveAndRead(lib, dir.patches);
  lib.upperFileIndex = 1;
  const Versions va = saveAndRead(lib, dir.patches);  // the files start as bank A
  ASSERT_NE(va.raw, vb.raw);
  ASSERT_EQ(va.raw.size(), 38016u);
  ASSERT_EQ(va.mid.size(), 38580u);

  // Each step of the whole-file write, in each of the first four saves (either bank
  // over the other, in each file): the child stops right before that step, tells
  // the parent, and is killed there.
  const FileWriteStep steps[] = {FileWriteStep::kCreate, FileWriteStep::kWrite, FileWriteStep::kSync,
                                 FileWriteStep::kRename, FileWriteStep::kSyncFolder};
  int killedMidWay = 0, midWayRounds = 0;
  for (const FileWriteStep step : steps)
    for (int save = 0; save < 4; ++save)
    {
      SCOPED_TRACE("step " + std::to_string((int)step) + ", save " + std::to_string(save));
      int ready[2];
      ASSERT_EQ(pipe(ready), 0);
      const pid_t parent = getpid();
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0)
      {
        close(ready[0]);
        gStopStep = step;
        gStopAt = save;
        gReadyFd = ready[1];
        fileWriteFault() = &stopInside;
        // Saves until killed; an orphan stops on its own.
        for (int n = 0; getppid() == parent; ++n)
        {
          lib.upperFileIndex = n & 1;
          lib.saveEditedPatch(dir.patches + "/Bank.dvl", "Bank.dvl");
          lib.saveEditedPatch(dir.patches + "/Bank.mid", "Bank.mid");
        }
        _exit(0);
      }
      close(ready[1]);
      char go = 0;
      const bool inside = read(ready[0], &go, 1) == 1;
      close(ready[0]);
      kill(child, SIGKILL);
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      ASSERT_TRUE(inside);
      ASSERT_TRUE(WIFSIGNALED(status));

      const Bytes raw = readFileBytes(dir.patches + "/Bank.dvl");
      const Bytes mid = readFileBytes(dir.patches + "/Bank.mid");
      ASSERT_TRUE(raw == va.raw || raw == vb.raw) << raw.size() << " bytes";
      ASSERT_TRUE(mid == va.mid || mid == vb.mid) << mid.size() << " bytes";
      const std::vector<std::string> leftovers = temporaryFilesIn(dir.patches);
      for (const std::string& tmp : leftovers) std::remove((dir.patches + "/" + tmp).c_str());
      // Killed between the temporary file's making and its rename: it was left.
      const bool midWay = step == FileWriteStep::kWrite || step == FileWriteStep::kSync || step == FileWriteStep::kRename;
      midWayRounds += midWay;
      killedMidWay += midWay && !leftovers.empty();
    }
  // Every kill inside a save left its temporary file: each met the moment it is about.
  EXPECT_EQ(killedMidWay, midWayRounds);

  // The scan lists each bank once, whole, and passes over what a killed save left,
  // even a temporary file that was complete when its writer died.
  writeFileBytes(dir.patches + "/Bank.dvl.4242-0.tmp", vb.raw);
  lib.patchFiles.clear();
  delete a;
  delete b;
  lib.loadPatchesFromFilesystem(dir.patches);
  std::vector<std::string> names;
  for (const PatchFile* f : lib.patchFiles)
  {
    names.push_back(f->fileName);
    EXPECT_EQ(f->patches.size(), 128u) << f->fileName;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Bank.dvl", "Bank.mid"}));
}
