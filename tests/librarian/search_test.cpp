#include "LibrarianTestSupport.h"

#include <gtest/gtest.h>

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
