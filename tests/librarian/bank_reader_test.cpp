#include "LibrarianTestSupport.h"

#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "plug/ByteChunk.h"

#include <gtest/gtest.h>

namespace
{
std::vector<Bytes> dumpsOf(const std::vector<Bytes>& programs, uint8_t channel = 0x30)
{
  std::vector<Bytes> v;
  for (const Bytes& p : programs) v.push_back(testProgramDump(p, channel));
  return v;
}

void expectSlots(const PatchFile& f, const std::vector<Bytes>& programs, size_t first = 0)
{
  ASSERT_GE(f.patches.size(), first + programs.size());
  for (size_t i = 0; i < programs.size(); ++i)
  {
    const LibrarianPatch& s = f.patches[first + i];
    ASSERT_EQ(s.messages.size(), 1u) << i;
    EXPECT_EQ(s.messages[0].bytes, testProgramDump(programs[i])) << "slot " << first + i;
    EXPECT_EQ(s.name, nameOf(programs[i])) << "slot " << first + i;
  }
}
}  // namespace

TEST(BankReader, RawBankOf128DumpsGives128SlotsUnpadded)
{
  PatchLibrarian lib;
  const auto programs = testPrograms(128, 100);
  const Bytes bank = concat(dumpsOf(programs));
  ASSERT_EQ(bank.size(), 38016u);
  const PatchFile f = loadBytes(lib, bank);
  ASSERT_EQ(f.patches.size(), 128u);
  expectSlots(f, programs);
  EXPECT_FALSE(lib.headerMissing);
}

TEST(BankReader, TinyAndForeignBuffersGiveNothing)
{
  LogCapture log;
  PatchLibrarian lib;
  const Bytes dump = testProgramDump(testProgramData(1, "X"));
  EXPECT_TRUE(loadBytes(lib, Bytes(dump.begin(), dump.begin() + 14)).patches.empty());
  EXPECT_TRUE(loadBytes(lib, Bytes(30000, 0x11)).patches.empty());
  EXPECT_TRUE(log.contains("PatchLibrarian: File format not supported!"));
  Bytes foreign = dump;
  foreign[1] = 0x43;  // another maker
  EXPECT_TRUE(loadBytes(lib, foreign).patches.empty());
}

TEST(BankReader, HeaderIsDecidedForEveryFile)
{
  // Once a bank has been read, a later buffer without one must still yield nothing.
  LogCapture log;
  PatchLibrarian lib;
  const Bytes bank = concat(dumpsOf(testPrograms(128, 5)));
  EXPECT_EQ(loadBytes(lib, bank).patches.size(), 128u);
  EXPECT_FALSE(lib.headerMissing);
  Bytes garbage(37163, 0x05);
  garbage[0] = 0xF0;
  EXPECT_TRUE(loadBytes(lib, garbage).patches.empty());
  EXPECT_TRUE(lib.headerMissing);
  EXPECT_TRUE(log.contains("PatchLibrarian: File format not supported!"));
}

TEST(BankReader, AnyNumberOfDumpsBackToBack)
{
  PatchLibrarian lib;
  for (int n : {1, 127, 129, 300})
  {
    const auto programs = testPrograms(n, 1000);
    const PatchFile f = loadBytes(lib, concat(dumpsOf(programs)));
    ASSERT_EQ(f.patches.size(), (size_t)n);
    expectSlots(f, programs);
  }
}

TEST(BankReader, OtherGlobalChannelsAreRead)
{
  PatchLibrarian lib;
  const auto programs = testPrograms(128, 77);
  const PatchFile f = loadBytes(lib, concat(dumpsOf(programs, 0x31)));
  ASSERT_EQ(f.patches.size(), 128u);
  EXPECT_EQ(f.patches[3].messages[0].bytes, testProgramDump(programs[3], 0x31));
}

TEST(BankReader, DamagedMessagesAreDroppedAndTheRestKept)
{
  LogCapture log;
  PatchLibrarian lib;
  const auto programs = testPrograms(4, 300);
  auto dumps = dumpsOf(programs);
  Bytes shortOne = dumps[1];
  shortOne.erase(shortOne.begin() + 100, shortOne.begin() + 110);  // 287 bytes up to its F7
  Bytes cut = dumps[2];
  cut.resize(150);  // no F7: the next F0 begins a new message
  const Bytes buf = concat({Bytes{0x00, 0x12}, dumps[0], shortOne, cut, dumps[3], Bytes{0x7F}});
  const PatchFile f = loadBytes(lib, buf);
  ASSERT_EQ(f.patches.size(), 2u);
  EXPECT_EQ(f.patches[0].messages[0].bytes, dumps[0]);
  EXPECT_EQ(f.patches[1].messages[0].bytes, dumps[3]);
  EXPECT_TRUE(log.contains("PATCH LIBRARIAN: dropped 2 messages"));
}

TEST(BankReader, SlotNamesSkipThePackingByte)
{
  PatchLibrarian lib;
  Bytes zeroName = testProgramDump(testProgramData(9, nullptr));
  Bytes strings = testProgramDump(testProgramData(9, "Strings"));
  // Raw 13 packs data bytes 7..13; bit 5 belongs to data byte 12, just past the name,
  // and makes raw 13 read like a blank.
  strings[13] = 0x20;
  const PatchFile f = loadBytes(lib, concat({zeroName, strings}));
  ASSERT_EQ(f.patches.size(), 2u);
  EXPECT_EQ(f.patches[0].name, "");
  EXPECT_EQ(f.patches[1].name, "Strings     ");
}

TEST(AllProgramImport, ProgramsEqualTheGeneratorsByteForByte)
{
  // The all-data dump holds the same programs at the same places, then 200 more bytes.
  const auto programs = testPrograms(128, 4242);
  const struct
  {
    Bytes dump;
    size_t size;
  } cases[] = {{testAllProgramDump(programs), 37163}, {testAllDataDump(programs, 99), 37392}};
  for (const auto& c : cases)
  {
    PatchLibrarian lib;
    ASSERT_EQ(c.dump.size(), c.size);
    const PatchFile f = loadBytes(lib, c.dump);
    ASSERT_EQ(f.patches.size(), 128u);
    expectSlots(f, programs);
  }
}

TEST(AllProgramImport, SecondProgramGetsFreshPackingBytes)
{
  // Program 2 starts at data byte 254, offset 2 in its group: its packing bytes are
  // not any of the dump's and must be computed again.
  PatchLibrarian lib;
  auto programs = testPrograms(128, 11);
  for (int i = 12; i < 254; ++i) programs[1][(size_t)i] = (uint8_t)(0x80 | i);  // every data byte has bit 7
  const Bytes dump = testAllProgramDump(programs);
  const PatchFile f = loadBytes(lib, dump);
  ASSERT_EQ(f.patches.size(), 128u);
  const Bytes& m = f.patches[1].messages[0].bytes;
  EXPECT_EQ(m[6], dump[296]);          // data byte 254 keeps its low seven bits
  EXPECT_EQ(m[5], 0x00);               // data bytes 0..6: name characters
  EXPECT_EQ(m[13], 0x60);              // data bytes 7..13: only 12 and 13 have bit 7
  EXPECT_NE(m[13], dump[301]);         // the dump's packing byte belongs to other bytes
  EXPECT_EQ(m[21], 0x7F);
  EXPECT_EQ(m[293], 0x03);             // the short last group: data bytes 252 and 253
}

TEST(AllProgramImport, ACutDumpKeepsItsWholeProgramsAndADamagedOneIsRefused)
{
  LogCapture log;
  PatchLibrarian lib;
  const Bytes dump = testAllProgramDump(testPrograms(128, 8));
  const PatchFile whole = loadBytes(lib, dump);
  ASSERT_EQ(whole.patches.size(), 128u);
  // Cut to 20,000 bytes, as a file cut short or ended by the port with an F7: the
  // first 68 programs lie wholly inside, byte for byte as from the whole dump; no part
  // of the 69th is kept.
  Bytes cut(dump.begin(), dump.begin() + 20000);
  for (int ended = 0; ended < 2; ++ended)
  {
    if (ended) cut.push_back(0xF7);
    const PatchFile f = loadBytes(lib, cut);
    ASSERT_GE(f.patches.size(), 68u) << ended;
    for (size_t k = 0; k < 68; ++k) EXPECT_EQ(f.patches[k].messages[0].bytes, whole.patches[k].messages[0].bytes) << k;
    for (size_t k = 68; k < f.patches.size(); ++k)
      EXPECT_NE(f.patches[k].messages[0].bytes, whole.patches[k].messages[0].bytes) << "program " << k << " was cut";
    EXPECT_TRUE(log.contains("68 of 128 programs whole")) << ended;
  }
  // A byte with bit 7 inside the stream is damage, not a cut.
  Bytes damaged = dump;
  damaged[5000] = 0x85;
  EXPECT_TRUE(loadBytes(lib, damaged).patches.empty());
  // Longer than a whole dump: refused.
  Bytes longer = dump;
  longer.insert(longer.begin() + 5000, 8, 0x00);
  EXPECT_TRUE(loadBytes(lib, longer).patches.empty());
}

TEST(AllProgramImport, BlankNamesBecomeUnnamedProg)
{
  PatchLibrarian lib;
  auto programs = testPrograms(128, 31);
  programs[4] = testProgramData(31, "            ");
  const PatchFile f = loadBytes(lib, testAllProgramDump(programs));
  ASSERT_EQ(f.patches.size(), 128u);
  EXPECT_EQ(f.patches[4].name, "unnamed prog");
  Bytes renamed = programs[4];
  memcpy(renamed.data(), "unnamed prog", 12);
  EXPECT_EQ(f.patches[4].messages[0].bytes, testProgramDump(renamed));
  EXPECT_EQ(f.patches[5].messages[0].bytes, testProgramDump(programs[5]));
}

TEST(AllProgramImport, RequestRoadFeedsEveryProgramAndEnds)
{
  RecordingHost host;
  PatchLibrarian lib(&host);
  auto programs = testPrograms(128, 64);
  programs[0] = testProgramData(64, "            ");
  lib.allPatchesRequestActive = true;
  const PatchFile f = loadBytes(lib, testAllProgramDump(programs));
  ASSERT_EQ(f.patches.size(), 128u);
  EXPECT_EQ(f.patches[0].name, "");
  ASSERT_EQ(host.fed.size(), 128u);
  for (size_t i = 0; i < 128; ++i) EXPECT_EQ(host.fed[i], testProgramDump(programs[i])) << i;
  EXPECT_EQ(host.finished, 1);
  EXPECT_FALSE(lib.allPatchesRequestActive);
  EXPECT_EQ(lib.allPatchesRequestIndex, 0);

  // A refused dump still ends the request.
  lib.allPatchesRequestActive = true;
  EXPECT_TRUE(loadBytes(lib, Bytes(400, 0x01)).patches.empty());
  EXPECT_EQ(host.finished, 2);
  EXPECT_EQ(host.fed.size(), 128u);
}

TEST(AllProgramImport, DumpsOnAnotherChannelBecomeChannelOnePrograms)
{
  PatchLibrarian lib;
  const auto programs = testPrograms(128, 3);
  Bytes dump = testAllProgramDump(programs);
  dump[2] = 0x3A;
  const PatchFile f = loadBytes(lib, dump);
  ASSERT_EQ(f.patches.size(), 128u);
  expectSlots(f, programs);
}

TEST(BankReader, FillerCompletesShortBanksOnly)
{
  PatchLibrarian lib;
  const Bytes& filler = mkInitPatchData();
  ASSERT_EQ(filler.size(), 297u);
  EXPECT_EQ(filler.front(), 0xF0);
  EXPECT_EQ(filler.back(), 0xF7);
  EXPECT_EQ(programDumpName(filler.data(), 297), "Init Sound  ");

  for (size_t n : {0u, 100u, 128u, 130u})
  {
    std::unique_ptr<PatchFile> bank(makeBank(dumpsOf(testPrograms((int)n, 1)), "b"));
    lib.fillUncompletedBankFiles(bank.get());
    ASSERT_EQ(bank->patches.size(), std::max<size_t>(n, 128)) << n;
    for (size_t i = n; i < bank->patches.size(); ++i)
    {
      EXPECT_EQ(bank->patches[i].messages.at(0).bytes, filler);
      EXPECT_EQ(bank->patches[i].name, "Init Sound  ");
    }
  }
}

TEST(SmfImport, IndependentWriterWithOneProgram)
{
  PatchLibrarian lib;
  const Bytes program = testProgramData(5, "Solo Lead");
  TestSmfWriter w;
  w.beginTrack();
  w.tempo(0, 500000);
  w.note(0, 0, 60, 100);
  w.note(10, 0, 64, 100);  // running status
  w.sysex(96, testProgramDump(program), 100);
  w.note(5, 0, 60, 0);
  w.endTrack();
  const PatchFile f = loadBytes(lib, w.file(0));
  ASSERT_EQ(f.patches.size(), 1u);
  expectSlots(f, {program});
}

TEST(SmfImport, SeveralProgramsAcrossTracksAndPacketSizes)
{
  PatchLibrarian lib;
  const auto programs = testPrograms(10, 900);
  TestSmfWriter w;
  w.beginTrack();
  w.tempo(0, 400000);
  w.endTrack();
  w.beginTrack();
  const size_t packets[] = {296, 1, 7, 50, 295, 1000};
  for (size_t i = 0; i < 6; ++i)
  {
    w.sysex(i ? 480 : 0, testProgramDump(programs[i]), packets[i]);
    w.note(3, 2, 40, 90);
  }
  w.endTrack();
  w.beginTrack();
  for (size_t i = 6; i < 10; ++i) w.sysex(20, testProgramDump(programs[i]), 64);
  w.endTrack();
  const PatchFile f = loadBytes(lib, w.file(1));
  ASSERT_EQ(f.patches.size(), 10u);
  expectSlots(f, programs);
}

TEST(SmfImport, AllProgramDumpInContinuationEvents)
{
  PatchLibrarian lib;
  const auto programs = testPrograms(128, 321);
  TestSmfWriter w;
  w.beginTrack();
  w.sysex(0, testAllProgramDump(programs), 4096);
  w.endTrack();
  const PatchFile f = loadBytes(lib, w.file(1));
  ASSERT_EQ(f.patches.size(), 128u);
  expectSlots(f, programs);
}

TEST(SmfImport, TheLibrariansOwnMidiBankReadsBack)
{
  PatchLibrarian lib;
  const auto programs = testPrograms(128, 17);
  const Bytes file = expectedMidiBank(dumpsOf(programs));
  ASSERT_EQ(file.size(), 38580u);
  const PatchFile f = loadBytes(lib, file);
  ASSERT_EQ(f.patches.size(), 128u);
  expectSlots(f, programs);
}

TEST(SmfImport, MalformedFilesAreRefusedWhole)
{
  LogCapture log;
  PatchLibrarian lib;
  const auto programs = testPrograms(3, 2);
  TestSmfWriter w;
  w.beginTrack();
  for (const Bytes& p : programs) w.sysex(0, testProgramDump(p), 296);
  w.endTrack();
  const Bytes good = w.file(1);
  ASSERT_EQ(loadBytes(lib, good).patches.size(), 3u);

  Bytes longTrack = good;
  longTrack[14 + 7] += 1;  // the track claims one byte more than there is
  EXPECT_TRUE(loadBytes(lib, longTrack).patches.empty());
  EXPECT_TRUE(log.contains("Standard MIDI File refused"));

  Bytes noStatus = good;
  noStatus[22 + 1] = 0x10;  // the first event's status becomes a data byte
  EXPECT_TRUE(loadBytes(lib, noStatus).patches.empty());

  Bytes shortHead = good;
  shortHead[7] = 5;
  EXPECT_TRUE(loadBytes(lib, shortHead).patches.empty());
}

TEST(AllProgramImport, RequestRoadFillsTheUpperBankThroughTheController)
{
  // A controller that routes each fed program into the selected slot, as the hardware
  // router does, and moves the selection on.
  struct RoutingHost : LibrarianHost
  {
    PatchLibrarian* lib = nullptr;
    bool feedSysExFromLibrarian(const uint8_t* msg, int size) override
    {
      LibrarianPatch p;
      p.name = programDumpName(msg, size);
      p.messages.push_back(PatchSysexMessage{Bytes(msg, msg + size)});
      const bool taken = lib->setSysexDatatoSelectedSlot(&p);
      ++lib->selectedSlot;
      return taken;
    }
  } host;
  PatchLibrarian lib(&host);
  host.lib = &lib;
  lib.patchFiles.push_back(makeBank(testDumps(100, 1), "Upper.dvl"));
  const auto programs = testPrograms(128, 2);
  lib.selectedSlot = 0;
  lib.allPatchesRequestActive = true;
  PatchFile scratch = loadBytes(lib, testAllProgramDump(programs));
  EXPECT_EQ(scratch.patches.size(), 128u);
  expectSlots(*lib.patchFiles[0], programs);
  EXPECT_EQ(lib.selectedSlot, 128);
}
