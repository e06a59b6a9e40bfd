#include "LibrarianTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace
{
PatchFile* namedBank(const std::vector<std::string>& names, const std::string& fileName, uint32_t seed)
{
  std::vector<Bytes> dumps;
  for (size_t i = 0; i < names.size(); ++i)
    dumps.push_back(testProgramDump(testProgramData(seed + (uint32_t)i, names[i].c_str())));
  PatchFile* f = makeBank(dumps, fileName);
  for (size_t i = 0; i < names.size(); ++i) f->patches[i].name = names[i];
  f->patches.resize(128);  // the rest empty
  return f;
}

std::vector<std::string> resultNames(const PatchLibrarian& lib)
{
  std::vector<std::string> v;
  for (const PatchFile* f : lib.searchResultFiles)
    for (const LibrarianPatch& p : f->patches) v.push_back(p.name);
  return v;
}
}  // namespace

TEST(Search, MatchesAreCaseSensitiveSubstrings)
{
  PatchLibrarian lib;
  lib.patchFiles.push_back(namedBank({"Pad 1", "warm pad", "Warm Pad", "WARM PAD", "Bass"}, "A.dvl", 1));
  lib.createNewSearchPatchFiles("Pad");
  EXPECT_EQ(resultNames(lib), (std::vector<std::string>{"Pad 1", "Warm Pad"}));
  ASSERT_EQ(lib.searchResultFiles.size(), 1u);
  const PatchFile* r = lib.searchResultFiles[0];
  EXPECT_EQ(r->fileName, "Search Results 1");
  EXPECT_EQ(r->folderName, "Patches");
  EXPECT_TRUE(r->pathFolders.empty());
  EXPECT_EQ(r->patches[1].messages[0].bytes, lib.patchFiles[0]->patches[2].messages[0].bytes);
  ASSERT_EQ(lib.searchFolderTree.size(), 1u);
  EXPECT_EQ(lib.searchFolderTree[0]->name, "Patches");
  EXPECT_EQ(lib.searchFolderTree[0]->files, lib.searchResultFiles);
}

TEST(Search, ResultBanksHoldAtMost128)
{
  struct Case
  {
    int matches;
    std::vector<size_t> sizes;
  } cases[] = {{128, {128}}, {129, {128, 1}}, {130, {128, 2}}, {300, {128, 128, 44}}};
  for (const Case& c : cases)
  {
    PatchLibrarian lib;
    for (int b = 0; b * 128 < c.matches; ++b)
    {
      std::vector<std::string> names;
      for (int i = b * 128; i < c.matches && i < (b + 1) * 128; ++i) names.push_back("Lead " + std::to_string(i));
      lib.patchFiles.push_back(namedBank(names, "B" + std::to_string(b), 10));
    }
    lib.patchFiles.push_back(namedBank({"Bass"}, "Other", 20));
    lib.createNewSearchPatchFiles("Lead");
    ASSERT_EQ(lib.searchResultFiles.size(), c.sizes.size()) << c.matches;
    for (size_t k = 0; k < c.sizes.size(); ++k)
    {
      EXPECT_EQ(lib.searchResultFiles[k]->patches.size(), c.sizes[k]);
      EXPECT_EQ(lib.searchResultFiles[k]->fileName, "Search Results " + std::to_string(k + 1));
    }
    EXPECT_EQ(resultNames(lib).back(), "Lead " + std::to_string(c.matches - 1));
    EXPECT_EQ(lib.searchFolderTree.at(0)->files.size(), c.sizes.size());
  }
}

TEST(Search, SameProgramInTwoBanksIsFoundTwiceInBankOrder)
{
  PatchLibrarian lib;
  lib.patchFiles.push_back(namedBank({"Choir", "Keys A"}, "1.dvl", 30));
  lib.patchFiles.push_back(namedBank({"Keys B", "Choir"}, "2.dvl", 40));
  lib.createNewSearchPatchFiles("Choir");
  ASSERT_EQ(resultNames(lib), (std::vector<std::string>{"Choir", "Choir"}));
  EXPECT_EQ(lib.searchResultFiles[0]->patches[0].messages[0].bytes, lib.patchFiles[0]->patches[0].messages[0].bytes);
  EXPECT_EQ(lib.searchResultFiles[0]->patches[1].messages[0].bytes, lib.patchFiles[1]->patches[1].messages[0].bytes);
}

TEST(Search, NewSearchReplacesTheLastAndNoMatchLeavesNothing)
{
  PatchLibrarian lib;
  lib.patchFiles.push_back(namedBank({"Organ", "Brass"}, "1.dvl", 50));
  lib.createNewSearchPatchFiles("Organ");
  ASSERT_EQ(resultNames(lib), (std::vector<std::string>{"Organ"}));
  lib.createNewSearchPatchFiles("Brass");
  EXPECT_EQ(resultNames(lib), (std::vector<std::string>{"Brass"}));
  EXPECT_EQ(lib.searchFolderTree.size(), 1u);
  lib.createNewSearchPatchFiles("Zither");
  EXPECT_TRUE(lib.searchResultFiles.empty());
  EXPECT_TRUE(lib.searchFolderTree.empty());
  lib.createNewSearchPatchFiles("");
  EXPECT_TRUE(lib.searchResultFiles.empty());
}

TEST(Search, SearchesInAnyOrderGiveWhatAFreshSearchGives)
{
  // Result storage is reused from one search to the next: nothing of an earlier
  // search may show through.
  PatchLibrarian lib;
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) names.push_back((i % 3 ? "Lead " : "Bass ") + std::to_string(i));
  for (int b = 0; b < 3; ++b)
    lib.patchFiles.push_back(
        namedBank(std::vector<std::string>(names.begin() + b * 100, names.begin() + b * 100 + 100), "B", 60));
  const char* order[] = {"Lead", "Bass 1", "Lead 2", "Zither", "Bass", "Lead", "ead 29"};
  for (const char* text : order)
  {
    lib.createNewSearchPatchFiles(text);
    PatchLibrarian fresh;
    for (const PatchFile* f : lib.patchFiles) fresh.patchFiles.push_back(f->clone());
    fresh.createNewSearchPatchFiles(text);
    ASSERT_EQ(lib.searchResultFiles.size(), fresh.searchResultFiles.size()) << text;
    for (size_t k = 0; k < fresh.searchResultFiles.size(); ++k)
    {
      const PatchFile* a = lib.searchResultFiles[k];
      const PatchFile* b = fresh.searchResultFiles[k];
      EXPECT_EQ(a->fileName, b->fileName);
      ASSERT_EQ(a->patches.size(), b->patches.size()) << text;
      for (size_t i = 0; i < a->patches.size(); ++i)
      {
        EXPECT_EQ(a->patches[i].name, b->patches[i].name);
        ASSERT_EQ(a->patches[i].messages.size(), 1u);
        EXPECT_EQ(a->patches[i].messages[0].bytes, b->patches[i].messages[0].bytes);
      }
    }
    EXPECT_EQ(lib.searchFolderTree.empty(), fresh.searchFolderTree.empty());
  }
}

namespace
{
// The plain twin of the search: every slot of every bank, in order, by std::string::find.
std::vector<const LibrarianPatch*> plainSearch(const PatchLibrarian& lib, const std::string& text)
{
  std::vector<const LibrarianPatch*> v;
  if (text.empty()) return v;
  for (const PatchFile* f : lib.patchFiles)
    for (const LibrarianPatch& p : f->patches)
      if (p.name.find(text) != std::string::npos) v.push_back(&p);
  return v;
}

void expectSameAsPlain(const PatchLibrarian& lib, const std::string& text)
{
  const std::vector<const LibrarianPatch*> want = plainSearch(lib, text);
  size_t k = 0;
  for (const PatchFile* f : lib.searchResultFiles)
    for (const LibrarianPatch& p : f->patches)
    {
      ASSERT_LT(k, want.size()) << text;
      ASSERT_EQ(p.name, want[k]->name) << text;
      ASSERT_EQ(p.messages.size(), want[k]->messages.size()) << text;
      for (size_t m = 0; m < p.messages.size(); ++m) ASSERT_EQ(p.messages[m].bytes, want[k]->messages[m].bytes);
      ++k;
    }
  EXPECT_EQ(k, want.size()) << text;
}
}  // namespace

TEST(Search, SeededNamesAndTextsGiveWhatThePlainWalkGives)
{
  // Names of 0 to 20 characters (longer than the search's table rows too) from a small
  // alphabet, so that texts match often and partly; texts of 1 to 17 characters.
  std::mt19937 rng(77);
  const char alphabet[] = "aAb B\x7f";
  auto randomText = [&](size_t len) {
    std::string s;
    for (size_t i = 0; i < len; ++i) s += alphabet[rng() % 6];
    return s;
  };
  PatchLibrarian lib;
  for (int b = 0; b < 5; ++b)
  {
    std::vector<std::string> names;
    for (int i = 0; i < 128; ++i) names.push_back(randomText(rng() % 21));
    lib.patchFiles.push_back(namedBank(names, "R" + std::to_string(b), 100 + 200 * b));
  }
  lib.patchFiles[2]->patches.resize(60);  // banks of other sizes are searched as they are
  for (int round = 0; round < 300; ++round)
  {
    const std::string text = round % 50 == 0 ? std::string("a\0b", 3) : randomText(1 + rng() % 17);
    lib.createNewSearchPatchFiles(text);
    expectSameAsPlain(lib, text);
    // Now and then the banks change under the search's table.
    if (round % 40 == 10) lib.patchFiles[1]->patches.resize(100);
    if (round % 40 == 20) lib.patchFiles.push_back(namedBank({randomText(5), randomText(16)}, "N", 999));
    if (round % 40 == 30)
    {
      lib.patchFiles[0]->patches[rng() % 128].name = randomText(rng() % 21);
      lib.slotNamesChanged();
    }
  }
}

TEST(Search, ResultsOutliveTheBanksTheyCameFrom)
{
  TempDataDir dir;
  const std::vector<Bytes> dumps = testDumps(128, 5);
  writeFileBytes(dir.patches + "/A.dvl", concat(dumps));
  PatchLibrarian lib;
  lib.loadPatchesFromFilesystem(dir.patches);
  ASSERT_EQ(lib.patchFiles.size(), 1u);
  lib.createNewSearchPatchFiles("Prog 01");
  ASSERT_EQ(lib.searchResultFiles.size(), 1u);
  ASSERT_EQ(lib.searchResultFiles[0]->patches.size(), 10u);  // "Prog 010" .. "Prog 019"
  // A copy of a result slot, and a result bank taken out of the librarian.
  const LibrarianPatch kept = lib.searchResultFiles[0]->patches[3];
  std::unique_ptr<PatchFile> taken(lib.searchResultFiles[0]->clone());

  // The user's rescan of a tree that changed: every listed bank and the search go.
  writeFileBytes(dir.patches + "/A.dvl", concat(testDumps(128, 900)));
  lib.initBankFilesOnDiscard(dir.patches);
  ASSERT_EQ(lib.patchFiles.size(), 1u);
  EXPECT_TRUE(lib.searchResultFiles.empty());
  for (size_t i = 0; i < taken->patches.size(); ++i)
  {
    EXPECT_EQ(taken->patches[i].name.substr(0, 8), "Prog 0" + std::to_string(10 + i));
    EXPECT_EQ(taken->patches[i].messages.at(0).bytes, dumps[10 + i]) << i;
  }
  EXPECT_EQ(kept.name.substr(0, 8), "Prog 013");
  EXPECT_EQ(kept.messages.at(0).bytes, dumps[13]);
}
