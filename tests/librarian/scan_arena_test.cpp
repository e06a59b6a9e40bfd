// The scan's arena: bytes on 64-byte boundaries, blocks that outlive the arena and
// its chunk, frees from many threads at once, chunks given out again, and blocks
// too large for a chunk.
#include "librarian/LibrarianTypes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

// A block of n bytes from the arena, each byte a function of the seed.
PatchBytes filled(ScanArena* arena, size_t n, unsigned seed)
{
  uint8_t* out = nullptr;
  PatchBytes b = arena->allocate(n, &out);
  for (size_t i = 0; i < n; ++i) out[i] = (uint8_t)(seed * 131 + i * 7);
  return b;
}

bool intact(const PatchBytes& b, unsigned seed)
{
  for (size_t i = 0; i < b.size(); ++i)
    if (b.data()[i] != (uint8_t)(seed * 131 + i * 7)) return false;
  return true;
}

}  // namespace

TEST(ScanArena, BlocksKeepTheirBytesAcrossChunksAndOutliveTheArena)
{
  // Bank-sized blocks over several chunks, with odd sizes between, an empty one and
  // one larger than a chunk (from the heap).
  std::vector<PatchBytes> kept;
  std::vector<unsigned> seeds;
  {
    ScanArena arena;
    std::mt19937 rng(11);
    for (unsigned i = 0; i < 200; ++i)
    {
      size_t n = i % 7 ? 38017 : (size_t)(rng() % 5000);
      if (i == 50) n = ScanArena::kChunkSize - 64;  // exactly the room of a fresh chunk
      if (i == 51) n = ScanArena::kChunkSize;       // more: the heap
      kept.push_back(filled(&arena, n, i));
      seeds.push_back(i);
      ASSERT_EQ(kept.back().size(), n);
      if (n && n < ScanArena::kChunkSize) { EXPECT_EQ((uintptr_t)kept.back().data() % 64, 0u) << i; }
    }
    // Half are let go while the arena still fills its chunk, the rest after.
    for (size_t i = 0; i < kept.size(); i += 2) kept[i] = PatchBytes();
  }
  for (size_t i = 1; i < kept.size(); i += 2) EXPECT_TRUE(intact(kept[i], seeds[i])) << i;
  // Slices and copies hold the block as the whole does.
  const PatchBytes piece = kept[3].slice(100, 297);
  kept.clear();
  ASSERT_EQ(piece.size(), 297u);
  for (size_t i = 0; i < 297; ++i) ASSERT_EQ(piece.data()[i], (uint8_t)(3 * 131 + (i + 100) * 7));
}

TEST(ScanArena, FreedFromManyThreadsWhileANewScanFills)
{
  // Every block of a scan is shared by four threads that let go of their copies at
  // once, while a second scan takes chunks again; every byte stays what was
  // written until its last owner lets go (the sanitizers see a chunk freed early).
  for (int round = 0; round < 4; ++round)
  {
    std::vector<PatchBytes> first;
    {
      ScanArena arena;
      for (unsigned i = 0; i < 300; ++i) first.push_back(filled(&arena, 38017, i));
    }
    std::vector<std::vector<PatchBytes>> copies(4, first);
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&copies, &bad, t] {
        std::vector<PatchBytes>& mine = copies[(size_t)t];
        for (size_t i = 0; i < mine.size(); ++i)
        {
          if (!intact(mine[i], (unsigned)i)) ++bad;
          mine[i] = PatchBytes();
        }
      });
    first.clear();
    std::vector<PatchBytes> second;
    {
      ScanArena arena;
      for (unsigned i = 0; i < 300; ++i) second.push_back(filled(&arena, 38017, 1000 + i));
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(bad.load(), 0);
    for (size_t i = 0; i < second.size(); ++i) ASSERT_TRUE(intact(second[i], 1000 + (unsigned)i)) << i;
  }
}

TEST(ScanArena, ABlockHeldAloneKeepsItsChunkFromTheNextScan)
{
  // One block of each chunk outlives the rest of its scan (the first of one, the last
  // of the scan, one in the middle); the next scans, which take the freed chunks
  // again, must not write over them.
  std::vector<PatchBytes> held;
  std::vector<unsigned> seeds;
  {
    std::vector<PatchBytes> scan;
    ScanArena arena;
    for (unsigned i = 0; i < 160; ++i) scan.push_back(filled(&arena, 38017, i));
    for (unsigned i : {0u, 55u, 159u})
    {
      held.push_back(scan[i]);
      seeds.push_back(i);
    }
  }
  for (int round = 0; round < 3; ++round)
  {
    std::vector<PatchBytes> next;
    ScanArena arena;
    for (unsigned i = 0; i < 200; ++i) next.push_back(filled(&arena, 38017, 500 + i));
    for (size_t k = 0; k < held.size(); ++k) ASSERT_TRUE(intact(held[k], seeds[k])) << seeds[k];
  }
}

TEST(ScanArena, AWriteThroughACopyLeavesTheSharedBlock)
{
  ScanArena arena;
  PatchBytes a = filled(&arena, 600, 5);
  PatchBytes b = a;
  PatchBytes c = a.slice(0, 600);
  b.resize(601);  // grows: bytes of its own
  EXPECT_TRUE(intact(a, 5));
  EXPECT_TRUE(intact(c, 5));
  EXPECT_NE(a.data(), b.data());
  EXPECT_EQ(memcmp(a.data(), b.data(), 600), 0);
  EXPECT_EQ(b.data()[600], 0);
}
