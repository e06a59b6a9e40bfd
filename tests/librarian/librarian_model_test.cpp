#include "LibrarianTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
LibrarianPatch received(uint32_t seed, const char* name)
{
  LibrarianPatch p;
  p.name = name;
  p.messages.push_back(PatchSysexMessage{testProgramDump(testProgramData(seed, name))});
  return p;
}
}  // namespace

TEST(LibrarianModel, NewLibrarianStartValues)
{
  PatchLibrarian lib;
  EXPECT_EQ(lib.upperFileIndex, 0);
  EXPECT_EQ(lib.lowerFileIndex, -1);
  EXPECT_EQ(lib.splitBankCount, 0);
  EXPECT_TRUE(lib.headerMissing);
  EXPECT_FALSE(lib.splitInProgress);
  EXPECT_FALSE(lib.rescanRequested);
  EXPECT_FALSE(lib.allPatchesRequestActive);
  EXPECT_EQ(lib.selectedSlot, 0);
  EXPECT_EQ(lib.plug, nullptr);
}

TEST(LibrarianModel, ClearDataStructuresTouchesOnlyItsTree)
{
  PatchLibrarian lib;
  lib.folderTree.push_back(new FolderFiles);
  lib.searchFolderTree.push_back(new FolderFiles);
  for (int which : {1, 2, -1, 4}) lib.clearDataStructures(which);
  EXPECT_EQ(lib.folderTree.size(), 1u);
  EXPECT_EQ(lib.searchFolderTree.size(), 1u);
  lib.clearDataStructures(3);
  EXPECT_TRUE(lib.searchFolderTree.empty());
  EXPECT_EQ(lib.folderTree.size(), 1u);
  lib.clearDataStructures(0);
  EXPECT_TRUE(lib.folderTree.empty());
}

TEST(LibrarianModel, BankCloneIsDeep)
{
  std::unique_ptr<PatchFile> bank(makeBank(testDumps(128, 1), "Deep.dvl"));
  bank->folderName = "A";
  bank->pathFolders = {"Patches", "A"};
  std::unique_ptr<PatchFile> copy(bank->clone());
  EXPECT_EQ(copy->fileName, "Deep.dvl");
  EXPECT_TRUE(copy->folderName.empty());
  EXPECT_TRUE(copy->pathFolders.empty());
  ASSERT_EQ(copy->patches.size(), 128u);

  copy->patches[0].messages[0].bytes[20] ^= 1;
  copy->patches[1].name = "changed";
  EXPECT_EQ(bank->patches[0].messages[0].bytes, testDumps(1, 1)[0]);
  EXPECT_NE(bank->patches[1].name, "changed");
  bank->patches[2].messages.clear();
  EXPECT_EQ(copy->patches[2].messages.size(), 1u);
}

TEST(LibrarianModel, SlotCloneAppendsBehindTheTargetsMessages)
{
  const LibrarianPatch src = received(2, "Src");
  LibrarianPatch target = received(3, "Target");
  const Bytes targetFirst = target.messages[0].bytes;
  src.clone(target);
  EXPECT_EQ(target.name, "Src");
  ASSERT_EQ(target.messages.size(), 2u);
  EXPECT_EQ(target.messages[0].bytes, targetFirst);
  EXPECT_EQ(target.messages[1].bytes, src.messages[0].bytes);
}

TEST(LibrarianModel, BankIndexOutsideTheListSelectsNothing)
{
  PatchLibrarian lib;
  lib.patchFiles.push_back(makeBank(testDumps(128, 4), "One.dvl"));
  EXPECT_NE(lib.bankAt(0), nullptr);
  EXPECT_EQ(lib.bankAt(-1), nullptr);
  EXPECT_EQ(lib.bankAt(1), nullptr);
  LibrarianPatch p = received(5, "New");
  for (int index : {-1, 1})
  {
    lib.upperFileIndex = index;
    EXPECT_FALSE(lib.setSysexDatatoSelectedSlot(&p));
  }
  EXPECT_EQ(lib.patchFiles[0]->patches[0].messages[0].bytes, testDumps(1, 4)[0]);
}

TEST(ReceivedProgram, ReplacesOnlyTheSelectedSlot)
{
  PatchLibrarian lib;
  const auto before = testDumps(128, 6);
  lib.patchFiles.push_back(makeBank(before, "Up.dvl"));
  lib.selectedSlot = 5;
  LibrarianPatch p = received(7, "Fresh");
  ASSERT_TRUE(lib.setSysexDatatoSelectedSlot(&p));
  const PatchFile* up = lib.patchFiles[0];
  ASSERT_EQ(up->patches.size(), 128u);
  EXPECT_EQ(up->patches[5].name, "Fresh");
  EXPECT_EQ(up->patches[5].messages[0].bytes, p.messages[0].bytes);
  for (size_t i = 0; i < 128; ++i)
  {
    if (i == 5) continue;
    EXPECT_EQ(up->patches[i].messages[0].bytes, before[i]) << i;
  }
  p.messages[0].bytes[10] ^= 1;  // the slot holds a copy
  EXPECT_NE(up->patches[5].messages[0].bytes, p.messages[0].bytes);
}

TEST(ReceivedProgram, UpperBankIsBroughtTo128Slots)
{
  PatchLibrarian lib;
  lib.patchFiles.push_back(makeBank(testDumps(130, 8), "Long.dvl"));
  lib.patchFiles.push_back(makeBank(testDumps(100, 9), "Short.dvl"));
  LibrarianPatch p = received(10, "In");
  ASSERT_TRUE(lib.setSysexDatatoSelectedSlot(&p));
  EXPECT_EQ(lib.patchFiles[0]->patches.size(), 128u);

  lib.upperFileIndex = 1;
  lib.selectedSlot = 110;
  ASSERT_TRUE(lib.setSysexDatatoSelectedSlot(&p));
  const PatchFile* s = lib.patchFiles[1];
  ASSERT_EQ(s->patches.size(), 128u);
  int empty = 0;
  for (const LibrarianPatch& slot : s->patches) empty += slot.messages.empty() && slot.name.empty();
  EXPECT_EQ(empty, 27);
}

TEST(ReceivedProgram, TwoMessagesAreStoredInOrderAndBadSlotsRefused)
{
  PatchLibrarian lib;
  lib.patchFiles.push_back(makeBank(testDumps(128, 11), "Up.dvl"));
  LibrarianPatch two = received(12, "Two");
  two.messages.push_back(PatchSysexMessage{Bytes{0xF0, 0x42, 0x30, 0x58, 0x4E, 0x01, 0x00, 0xF7}});
  lib.selectedSlot = 0;
  ASSERT_TRUE(lib.setSysexDatatoSelectedSlot(&two));
  ASSERT_EQ(lib.patchFiles[0]->patches[0].messages.size(), 2u);
  EXPECT_EQ(lib.patchFiles[0]->patches[0].messages[1].bytes, two.messages[1].bytes);

  for (int slot : {128, -1})
  {
    lib.selectedSlot = slot;
    EXPECT_FALSE(lib.setSysexDatatoSelectedSlot(&two));
  }
  lib.selectedSlot = 1;
  LibrarianPatch nothing;
  EXPECT_FALSE(lib.setSysexDatatoSelectedSlot(&nothing));
  EXPECT_FALSE(lib.setSysexDatatoSelectedSlot(nullptr));
  EXPECT_EQ(lib.patchFiles[0]->patches[1].messages.size(), 1u);
}

TEST(ReceivedProgram, StoringWhileTheMainThreadRescansIsSafe)
{
  // The MIDI input thread stores programs while the user rescans and searches.
  TempDataDir dir;
  for (int i = 0; i < 4; ++i)
    writeFileBytes(dir.patches + "/b" + std::to_string(i) + ".dvl", concat(testDumps(128, 200 + (uint32_t)i)));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(lib.patchFiles.size(), 4u);

  std::atomic<bool> stop{false};
  std::atomic<int> stored{0};
  std::thread input([&] {
    LibrarianPatch p = received(13, "Incoming");
    for (int i = 0; !stop.load() && i < 100000; ++i)
    {
      lib.selectedSlot = i % 128;
      stored += lib.setSysexDatatoSelectedSlot(&p);
    }
  });
  // The rescans start once the input thread is storing: a quick rescan could else be
  // over before that thread first runs.
  while (stored.load() == 0) std::this_thread::yield();
  for (int round = 0; round < 10; ++round)
  {
    lib.initBankFilesOnDiscard(dir.patches);
    lib.createNewSearchPatchFiles("Incoming");
  }
  stop = true;
  input.join();
  EXPECT_GT(stored.load(), 0);
  WDL_MutexLock lock(&lib.libraryMutex);
  ASSERT_EQ(lib.patchFiles.size(), 4u);
  for (const PatchFile* f : lib.patchFiles) EXPECT_EQ(f->patches.size(), 128u);
}

TEST(LibrarianModel, SlotMessagesTakeTheirOwnElementsAndCopiesStayApart)
{
  const Bytes one = testDumps(1, 70)[0], two = testDumps(1, 71)[0];
  LibrarianPatch p;
  p.messages.push_back(PatchSysexMessage{one});
  p.messages.push_back(p.messages[0]);  // the list grows from one in place to two elsewhere
  p.messages.push_back(PatchSysexMessage{two});
  p.messages.push_back(p.messages[2]);
  p.messages.insert(p.messages.begin() + 1, p.messages.begin() + 2, p.messages.end());
  ASSERT_EQ(p.messages.size(), 6u);
  const Bytes want[] = {one, two, two, one, two, two};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(p.messages[i].bytes, want[i]) << i;
  p.messages.assign(3, p.messages[1]);
  ASSERT_EQ(p.messages.size(), 3u);
  EXPECT_EQ(p.messages[2].bytes, two);

  // Copies share bytes until one is written to; the others keep theirs.
  LibrarianPatch q = p;
  q.messages[0].bytes[10] ^= 1;
  EXPECT_EQ(p.messages[0].bytes, two);
  EXPECT_NE(q.messages[0].bytes, two);
  q.messages[1].bytes.resize(5);
  EXPECT_EQ(q.messages[1].bytes, Bytes(two.begin(), two.begin() + 5));
  EXPECT_EQ(p.messages[1].bytes, two);
}
