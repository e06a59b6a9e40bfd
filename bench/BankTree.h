#pragma once
// The benchmarks' data folder: 2,000 raw banks (38,016 bytes, 128 programs each,
// random data under names of a few words) in 50 folders (10 folders of 4
// sub-folders), 76 MB under <root>/Patches. A process started again for a fresh
// sample finds the tree its parent made through DAVREL_BENCH_TREE and uses it
// without making or removing it.

#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"

#include <Poco/File.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace bench
{
inline std::vector<uint8_t> randomProgram(std::mt19937& rng)
{
  static const char* const kWords[] = {"Warm Pad", "Bass", "Lead", "Strings", "Bell", "Organ",
                                       "Brass", "Choir", "Keys", "Sweep", "Pluck", "Arp"};
  uint8_t data[kProgramDataSize];
  for (uint8_t& b : data) b = (uint8_t)rng();
  char name[16];
  snprintf(name, sizeof(name), "%s %u", kWords[rng() % 12], (unsigned)(rng() % 100));
  memset(data, ' ', kProgramNameLength);
  memcpy(data, name, strnlen(name, kProgramNameLength));
  std::vector<uint8_t> dump(kProgramDumpSize);
  makeProgramDump(data, 0x30, dump.data());
  return dump;
}

inline std::vector<uint8_t> rawBank(std::mt19937& rng)
{
  std::vector<uint8_t> bank;
  for (int i = 0; i < kBankSlots; ++i)
  {
    const std::vector<uint8_t> p = randomProgram(rng);
    bank.insert(bank.end(), p.begin(), p.end());
  }
  return bank;
}

struct BankTree
{
  std::string root, patches;       // root ends with a slash; it is the data folder
  std::vector<std::string> files;  // every bank, for the plain read
  bool owned = true;

  BankTree()
  {
    if (const char* inherited = getenv("DAVREL_BENCH_TREE"))
    {
      root = inherited;
      owned = false;
    }
    else
    {
      char tmpl[] = "/tmp/davrel-bench-XXXXXX";
      root = std::string(mkdtemp(tmpl)) + "/";
      setenv("DAVREL_BENCH_TREE", root.c_str(), 1);
    }
    setenv("DAVREL_DATA_DIR", root.c_str(), 1);
    patches = root + "Patches";
    std::mt19937 rng(2024);
    int bank = 0;
    for (int top = 0; top < 10; ++top)
      for (int sub = 0; sub < 5; ++sub)
      {
        std::string folder = patches + "/Folder " + std::to_string(top);
        if (sub) folder += "/Sub " + std::to_string(sub);
        if (owned) Poco::File(folder).createDirectories();
        for (int i = 0; i < 40; ++i, ++bank)
        {
          files.push_back(folder + "/Bank " + std::to_string(bank) + ".dvl");
          if (!owned) continue;
          const std::vector<uint8_t> bytes = rawBank(rng);
          writeFileAtomically(files.back(), bytes.data(), (int)bytes.size(), true, nullptr);
        }
      }
  }
  ~BankTree()
  {
    if (owned) Poco::File(root).remove(true);
  }
};
}  // namespace bench
