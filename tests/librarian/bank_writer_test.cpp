#include "LibrarianTestSupport.h"
#include "WriteFaults.h"

#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"
#include "plug/ByteChunk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <thread>

#include <sys/stat.h>

namespace
{
std::vector<Bytes> padded(std::vector<Bytes> v)
{
  while (v.size() < 128) v.push_back(mkInitPatchData());
  return v;
}

struct Fixture
{
  TempDataDir dir;
  RecordingHost host;
  PatchLibrarian lib{&host};
  std::vector<Bytes> content;

  explicit Fixture(int slots, uint32_t seed = 40) : content(testDumps(slots, seed))
  {
    lib.patchFiles.push_back(makeBank(content, "Bank.dvl"));
  }
};
}  // namespace

TEST(BankWriter, RawSaveIsTheDumpsBackToBackAndReadsBack)
{
  Fixture fx(128);
  const std::string path = fx.dir.patches + "/Bank.dvl";
  ASSERT_TRUE(fx.lib.saveEditedPatch(path, "Bank.dvl"));
  const Bytes file = readFileBytes(path);
  ASSERT_EQ(file.size(), 38016u);
  EXPECT_EQ(file, concat(fx.content));
  EXPECT_EQ(fx.host.upperName, "Bank.dvl");
  EXPECT_EQ(temporaryFilesIn(fx.dir.patches), std::vector<std::string>());

  const PatchFile back = loadBytes(fx.lib, file);
  ASSERT_EQ(back.patches.size(), 128u);
  for (size_t i = 0; i < 128; ++i)
  {
    EXPECT_EQ(back.patches[i].messages[0].bytes, fx.content[i]);
    EXPECT_EQ(back.patches[i].name, fx.lib.patchFiles[0]->patches[i].name);
  }
}

TEST(BankWriter, MidiSaveHasTheFixedLayoutAndReadsBack)
{
  Fixture fx(128, 41);
  const std::string path = fx.dir.patches + "/Live.mid";
  ASSERT_TRUE(fx.lib.saveEditedPatch(path, "Live.mid"));
  const Bytes file = readFileBytes(path);
  ASSERT_EQ(file.size(), 38580u);
  EXPECT_EQ(file, expectedMidiBank(fx.content));
  // The track length field counts exactly the bytes behind it.
  const uint32_t len = (uint32_t)file[45] << 24 | (uint32_t)file[46] << 16 | (uint32_t)file[47] << 8 | file[48];
  EXPECT_EQ(len, 38531u);
  EXPECT_EQ(len, file.size() - 49);
  EXPECT_EQ(file[38575], 0xF7);  // slot 127's dump ends right before the end of track
  EXPECT_EQ(fx.host.upperName, "Live.mid");

  const PatchFile back = loadBytes(fx.lib, file);
  ASSERT_EQ(back.patches.size(), 128u);
  for (size_t i = 0; i < 128; ++i) EXPECT_EQ(back.patches[i].messages[0].bytes, fx.content[i]);
}

TEST(BankWriter, EmptySlotsAreWrittenAsTheFillerProgram)
{
  // A bank of 100 slots is saved whole: 28 filler programs, 38,016 bytes, and it is
  // listed again by the next scan.
  Fixture fx(100, 42);
  const std::string path = fx.dir.patches + "/Short.wvb";
  ASSERT_TRUE(fx.lib.saveEditedPatch(path, "Short.wvb"));
  const Bytes file = readFileBytes(path);
  ASSERT_EQ(file.size(), 38016u);
  EXPECT_EQ(file, concat(padded(fx.content)));
  EXPECT_EQ(fx.lib.patchFiles[0]->patches.size(), 100u);  // the bank in memory is not touched

  PatchLibrarian again;
  again.loadPatchesFromFilesystem(fx.dir.patches);
  ASSERT_EQ(again.patchFiles.size(), 1u);
  EXPECT_EQ(again.patchFiles[0]->patches.size(), 128u);
}

TEST(BankWriter, SlotsWithoutAProgramNeverShiftTheOthers)
{
  LogCapture log;
  Fixture fx(128, 43);
  auto& slots = fx.lib.patchFiles[0]->patches;
  slots[3].messages.clear();
  slots[3].name.clear();
  slots[7].messages[0].bytes.resize(200);                   // a damaged message
  slots[9].messages.push_back(PatchSysexMessage{fx.content[0]});  // a second message
  const std::string path = fx.dir.patches + "/Mixed.syx";
  ASSERT_TRUE(fx.lib.saveEditedPatch(path, "Mixed.syx"));
  std::vector<Bytes> expected = fx.content;
  expected[3] = mkInitPatchData();
  expected[7] = mkInitPatchData();
  EXPECT_EQ(readFileBytes(path), concat(expected));
  EXPECT_TRUE(log.contains("2 slots of"));
}

TEST(BankWriter, SaveRecordsTheNameOfTheFileWritten)
{
  struct Case
  {
    const char* name;
    size_t size;
  } cases[] = {{"Set.wvb", 38016}, {"Set.syx", 38016}, {"Set.dvl", 38016}, {"Set", 38016}, {"Set.MID", 38580}};
  for (const Case& c : cases)
  {
    Fixture fx(128, 44);
    const std::string path = fx.dir.patches + "/" + c.name;
    ASSERT_TRUE(fx.lib.saveEditedPatch(path, c.name)) << c.name;
    EXPECT_EQ(readFileBytes(path).size(), c.size) << c.name;
    EXPECT_EQ(fx.host.upperName, c.name);
  }
}

TEST(BankWriter, FailedSaveChangesNothingAndSaysSo)
{
  LogCapture log;
  Fixture fx(128, 45);
  const std::string path = fx.dir.patches + "/Keep.dvl";
  writeFileBytes(path, Bytes(38016, 0x01));
  {
    // The disk fills under the write: the old file stays whole.
    InjectedWriteFault full(FileWriteStep::kWrite, ENOSPC);
    EXPECT_FALSE(fx.lib.saveEditedPatch(path, "Keep.dvl"));
  }
  EXPECT_EQ(readFileBytes(path), Bytes(38016, 0x01));
  EXPECT_EQ(fx.host.upperName, "(unset)");
  EXPECT_TRUE(log.contains("could not write " + path + ": No space left on device"));
  EXPECT_EQ(temporaryFilesIn(fx.dir.patches), std::vector<std::string>());

  EXPECT_FALSE(fx.lib.saveEditedPatch(fx.dir.root + "no such folder/X.dvl", "X.dvl"));
  EXPECT_EQ(fx.host.upperName, "(unset)");

  fx.lib.upperFileIndex = 1;
  EXPECT_FALSE(fx.lib.saveEditedPatch(fx.dir.patches + "/Other.dvl", "Other.dvl"));
  EXPECT_FALSE(fileExists(fx.dir.patches + "/Other.dvl"));
  fx.lib.upperFileIndex = -1;
  EXPECT_FALSE(fx.lib.saveEditedPatch(fx.dir.patches + "/Other.dvl", "Other.dvl"));
}

TEST(BankWriter, SaveAsRecordsFolderAndName)
{
  Fixture fx(128, 46);
  fx.dir.mkdir("Patches/Live Sets");
  fx.host.promptAnswer = fx.dir.patches + "/Live Sets/Gig.mid";
  ASSERT_TRUE(fx.lib.savePatchAs("Bank", fx.dir.patches, true));
  EXPECT_EQ(fx.host.promptedName, "Bank");
  EXPECT_EQ(fx.host.promptedFolder, fx.dir.patches);
  EXPECT_EQ(fx.host.promptedExtension, "mid");
  EXPECT_EQ(fx.host.upperFolder, "Live Sets");
  EXPECT_EQ(fx.host.upperName, "Gig.mid");
  EXPECT_EQ(readFileBytes(fx.host.promptAnswer), expectedMidiBank(fx.content));

  fx.host.promptAnswer = fx.dir.patches + "/Gig.dvl";
  ASSERT_TRUE(fx.lib.savePatchAs("Bank", fx.dir.patches, false));
  EXPECT_EQ(fx.host.promptedExtension, "dvl");
  EXPECT_EQ(fx.host.upperFolder, "Patches");
  EXPECT_EQ(readFileBytes(fx.host.promptAnswer), concat(fx.content));
}

TEST(BankWriter, SaveAsCancelledOrFailedWritesNothing)
{
  Fixture fx(128, 47);
  fx.host.promptAnswer = "";
  EXPECT_FALSE(fx.lib.savePatchAs("Bank", fx.dir.patches, false));
  EXPECT_EQ(fx.host.upperName, "(unset)");
  fx.host.promptAnswer = fx.dir.root + "missing/Bank.dvl";
  EXPECT_FALSE(fx.lib.savePatchAs("Bank", fx.dir.patches, false));
  EXPECT_EQ(fx.host.upperFolder, "(unset)");
  EXPECT_EQ(fx.host.upperName, "(unset)");
  PatchLibrarian alone;  // no controller, no chooser
  EXPECT_FALSE(alone.savePatchAs("Bank", fx.dir.patches, false));
}

TEST(BankWriter, NewBankFilesNeverReplaceOthers)
{
  Fixture fx(300, 48);
  PatchFile* source = fx.lib.patchFiles[0];
  const std::string srcPath = fx.dir.patches + "/Old.syx";
  writeFileBytes(fx.dir.patches + "/Old Singles 2.dvl", Bytes{1, 2, 3});
  fx.lib.splitInProgress = true;

  std::string written;
  ASSERT_TRUE(fx.lib.createNewPatchFile(source, "Patches", "Old.syx", srcPath, 0, &written));
  EXPECT_EQ(written, fx.dir.patches + "/Old Singles 2 (2).dvl");
  EXPECT_EQ(readFileBytes(fx.dir.patches + "/Old Singles 2.dvl"), (Bytes{1, 2, 3}));
  EXPECT_EQ(readFileBytes(written), concat(std::vector<Bytes>(fx.content.begin() + 128, fx.content.begin() + 256)));
  EXPECT_TRUE(fx.lib.rescanRequested);

  // The block past the programs is empty: nothing is written, the flag is left alone.
  fx.lib.rescanRequested = false;
  EXPECT_FALSE(fx.lib.createNewPatchFile(source, "Patches", "Old.syx", srcPath, 2, &written));
  EXPECT_FALSE(fx.lib.rescanRequested);
}

TEST(BankWriter, AtomicWriteRefusesToReplaceWhenAsked)
{
  TempDataDir dir;
  const std::string path = dir.root + "f.bin";
  const uint8_t a[] = {1, 2, 3};
  std::string why;
  ASSERT_TRUE(writeFileAtomically(path, a, 3, false, &why));
  const uint8_t b[] = {9};
  EXPECT_FALSE(writeFileAtomically(path, b, 1, false, &why));
  EXPECT_EQ(readFileBytes(path), (Bytes{1, 2, 3}));
  ASSERT_TRUE(writeFileAtomically(path, b, 1, true, &why));
  EXPECT_EQ(readFileBytes(path), (Bytes{9}));
  EXPECT_EQ(temporaryFilesIn(dir.root), std::vector<std::string>());
}

// The bytes reach the disk under the temporary name, before the rename can put them
// in place, and the folder's new entry after it; a crash between never leaves a bank
// that the disk has not got.
TEST(BankWriter, WritesSyncTheFileBeforeTheRenameAndTheFolderAfter)
{
  TempDataDir dir;
  const std::string path = dir.patches + "/Bank.dvl";
  struct stat folder;
  ASSERT_EQ(stat(dir.patches.c_str(), &folder), 0);
  const Bytes bytes(38016, 0x5A);
  for (const bool replace : {true, false})  // over the old file; a new one that replaces nothing
  {
    std::filesystem::remove(path);
    if (replace) writeFileBytes(path, Bytes(297, 0x01));
    RecordedSyncs syncs(path);
    ASSERT_TRUE(writeFileAtomically(path, bytes.data(), (int)bytes.size(), replace, nullptr)) << replace;
    ASSERT_EQ(syncs.all().size(), 2u) << replace;
    const RecordedSyncs::Sync& file = syncs.all()[0];
    EXPECT_FALSE(file.folder);
    EXPECT_EQ(file.size, (off_t)bytes.size()) << replace;
    EXPECT_FALSE(file.inPlace) << replace;
    const RecordedSyncs::Sync& entry = syncs.all()[1];
    EXPECT_TRUE(entry.folder);
    EXPECT_EQ(entry.device, folder.st_dev);
    EXPECT_EQ(entry.inode, folder.st_ino);
    EXPECT_TRUE(entry.inPlace) << replace;
    EXPECT_EQ(readFileBytes(path), bytes);
  }
}

// Writers saving one bank at once (two instances, say) each need a temporary file of
// their own, or one renames another's half-written file into place.
TEST(BankWriter, ConcurrentSavesOfOneBankLeaveOneWholeAndNoTemporaryFile)
{
  TempDataDir dir;
  const std::string path = dir.patches + "/Bank.dvl";
  std::vector<Bytes> versions;
  for (int v = 0; v < 4; ++v) versions.push_back(Bytes(38016 - 297 * v, (uint8_t)(0x11 * (v + 1))));
  const auto whole = [&](const Bytes& b) { return std::find(versions.begin(), versions.end(), b) != versions.end(); };
  ASSERT_TRUE(writeFileAtomically(path, versions[0].data(), (int)versions[0].size(), true, nullptr));

  std::atomic<int> writing{(int)versions.size()}, failedWrites{0};
  std::vector<std::thread> writers;
  for (const Bytes& mine : versions)
    writers.emplace_back([&, mine] {
      for (int n = 0; n < 40; ++n)
        if (!writeFileAtomically(path, mine.data(), (int)mine.size(), true, nullptr)) ++failedWrites;
      --writing;
    });
  int torn = 0, reads = 0;
  for (; writing.load() > 0; ++reads) torn += !whole(readFileBytes(path));
  for (std::thread& t : writers) t.join();
  EXPECT_EQ(failedWrites.load(), 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_TRUE(whole(readFileBytes(path)));
  EXPECT_EQ(temporaryFilesIn(dir.patches), std::vector<std::string>());
}

TEST(BankWriter, ReadingRefusesFilesOverOneMebibyte)
{
  TempDataDir dir;
  ByteChunk c;
  std::string why;
  writeFileBytes(dir.root + "big.syx", Bytes(kMaxBankFileSize, 0));
  EXPECT_TRUE(readWholeFile(dir.root + "big.syx", &c, &why));
  EXPECT_EQ(c.Size(), kMaxBankFileSize);
  writeFileBytes(dir.root + "big.syx", Bytes(kMaxBankFileSize + 1, 0));
  EXPECT_FALSE(readWholeFile(dir.root + "big.syx", &c, &why));
  EXPECT_EQ(c.Size(), 0);
  EXPECT_EQ(why, "larger than 1 MiB");
  EXPECT_FALSE(readWholeFile(dir.root + "none.syx", &c, &why));
}

TEST(BankWriter, ScannedBanksSavedBackAreByteIdenticalWithTheirPermissions)
{
  TempDataDir dir;
  const auto content = testDumps(128, 49);
  const Bytes raw = concat(content);
  const Bytes mid = expectedMidiBank(content);
  writeFileBytes(dir.patches + "/Own.dvl", raw);
  writeFileBytes(dir.patches + "/Raw.wvb", raw);
  writeFileBytes(dir.patches + "/Tune.mid", mid);
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(lib.patchFiles.size(), 3u);
  // Whatever the umask, a new file's mode differs from at least two of these.
  const mode_t modes[] = {0600, 0640, 0664};
  for (int i = 0; i < 3; ++i)
  {
    const std::string name = lib.patchFiles[(size_t)i]->fileName;
    const std::string path = dir.patches + "/" + name;
    const Bytes before = readFileBytes(path);
    ASSERT_EQ(chmod(path.c_str(), modes[i]), 0);
    lib.upperFileIndex = i;
    ASSERT_TRUE(lib.saveEditedPatch(path, name));
    EXPECT_EQ(readFileBytes(path), before) << name;
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, modes[i]) << name;
  }
}
