// The reader takes program dumps that lie back to back as they stand instead of
// cutting them byte by byte; processSysExFile still cuts every message the plain way.
// Both must give the same slots and drop the same messages for any buffer.

#include "LibrarianTestSupport.h"

#include "hardware/SysexPacking.h"
#include "plug/ByteChunk.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>

namespace
{
struct Cut
{
  std::vector<std::string> names;
  std::vector<Bytes> messages;
  int dropped = 0;
};

// The plain twin: processSysExFile from the start until it reports the end.
Cut plainCut(PatchLibrarian& lib, const Bytes& b)
{
  ByteChunk c;
  c.PutBytes(b.data(), (int)b.size());
  PatchFile f;
  Cut cut;
  int position = 0;
  while (lib.processSysExFile(&c, c.Size(), position, &f, &cut.dropped) > 0)
  {
  }
  for (const LibrarianPatch& s : f.patches)
  {
    cut.names.push_back(s.name);
    for (const PatchSysexMessage& m : s.messages) cut.messages.push_back(m.bytes);
  }
  return cut;
}

// The reader the scan uses, with the count from its log line.
Cut readerCut(PatchLibrarian& lib, const Bytes& b)
{
  LogCapture log;
  const PatchFile f = loadBytes(lib, b);
  Cut cut;
  for (const LibrarianPatch& s : f.patches)
  {
    cut.names.push_back(s.name);
    for (const PatchSysexMessage& m : s.messages) cut.messages.push_back(m.bytes);
  }
  for (const std::string& l : log.lines())
    sscanf(l.c_str(), "PATCH LIBRARIAN: dropped %d messages", &cut.dropped);
  return cut;
}

void expectSameCut(const Bytes& b, const std::string& what)
{
  PatchLibrarian lib;
  const Cut plain = plainCut(lib, b), reader = readerCut(lib, b);
  ASSERT_EQ(reader.names, plain.names) << what;
  ASSERT_EQ(reader.messages, plain.messages) << what;
  EXPECT_EQ(reader.dropped, plain.dropped) << what;
}

bool isStandardMidiFileBytes(const Bytes& b) { return b.size() >= 4 && !memcmp(b.data(), "MThd", 4); }
}  // namespace

TEST(BankCutting, SeedFilesGiveWhatThePlainCutGives)
{
  DIR* dir = opendir(DAVREL_BANK_CORPUS);
  ASSERT_NE(dir, nullptr) << DAVREL_BANK_CORPUS;
  int files = 0;
  while (dirent* e = readdir(dir))
  {
    if (e->d_name[0] == '.') continue;
    const Bytes b = readFileBytes(std::string(DAVREL_BANK_CORPUS) + "/" + e->d_name);
    if (isStandardMidiFileBytes(b)) continue;  // events, not back-to-back messages
    expectSameCut(b, e->d_name);
    ++files;
  }
  closedir(dir);
  EXPECT_GE(files, 4);
}

TEST(BankCutting, DamagedBanksGiveWhatThePlainCutGives)
{
  // Raw banks of 0 to 130 dumps, then damage aimed at the places the quick test
  // reads: each header byte, the first and last data bytes, the F7, bytes between
  // dumps, and cuts anywhere.
  static const int kPlaces[] = {0, 1, 2, 3, 4, 5, 6, 13, 18, 150, 294, 295, 296};
  static const uint8_t kValues[] = {0x00, 0x7F, 0x80, 0xF0, 0xF7, 0x31, 0x4C, 0x50, 0x20, 0xFE};
  std::mt19937 rng(4242);
  for (int round = 0; round < 120; ++round)
  {
    const int n = (int)(rng() % 131);
    const uint8_t channel = rng() % 4 ? 0x30 : (uint8_t)(0x30 + rng() % 16);
    Bytes b;
    for (const Bytes& p : testPrograms(n, (uint32_t)round * 1000))
    {
      const Bytes d = testProgramDump(p, channel);
      b.insert(b.end(), d.begin(), d.end());
    }
    std::string what = "round " + std::to_string(round) + ", " + std::to_string(n) + " dumps";
    const int damages = (int)(rng() % 4);
    for (int k = 0; k < damages && !b.empty(); ++k)
    {
      const size_t frame = n ? rng() % (size_t)n : 0;
      size_t at = std::min(b.size() - 1, frame * kProgramDumpSize + (size_t)kPlaces[rng() % 13]);
      switch (rng() % 4)
      {
        case 0:
        case 1:
          b[at] = kValues[rng() % 10];
          what += ", byte " + std::to_string(at) + " set";
          break;
        case 2:
          b.insert(b.begin() + (long)at, kValues[rng() % 10]);
          what += ", byte inserted at " + std::to_string(at);
          break;
        default:
          at = rng() % (b.size() + 1);
          b.resize(at);
          what += ", cut at " + std::to_string(at);
          break;
      }
    }
    expectSameCut(b, what);
    if (HasFatalFailure()) return;
  }
}
