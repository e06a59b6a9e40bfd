#include "librarian/LibrarianTypes.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <mutex>
#include <new>
#include <stdexcept>

#include <sys/mman.h>

static_assert(sizeof(LibrarianPatch) == 64, "a slot is one cache line");

PatchBytes::PatchBytes(const uint8_t* src, size_t count)
{
  if (!count) return;
  uint8_t* out = nullptr;
  *this = allocate(count, &out);
  memcpy(out, src, count);
}

PatchBytes PatchBytes::allocate(size_t count, uint8_t** out)
{
  PatchBytes b;
  if (count > UINT32_MAX) throw std::bad_alloc();
  // One allocation: the count and the bytes behind it.
  void* mem = ::operator new(sizeof(Block) + (count ? count : 1));
  b.block = new (mem) Block;
  b.block->refs.store(1, std::memory_order_relaxed);
  b.block->inArena = 0;
  b.block->size = count;
  b.n = (uint32_t)count;
  *out = b.block->bytes();
  return b;
}

PatchBytes PatchBytes::slice(size_t offset, size_t count) const
{
  PatchBytes b;
  if (offset > n || count > n - offset) return b;
  b.block = block;
  b.offset = this->offset + (uint32_t)offset;
  b.n = (uint32_t)count;
  b.retain();
  return b;
}

PatchBytes& PatchBytes::operator=(const PatchBytes& o)
{
  if (this != &o)
  {
    o.retain();
    release();
    block = o.block;
    offset = o.offset;
    n = o.n;
  }
  return *this;
}

void PatchBytes::freeBlock(Block* b)
{
  const bool inArena = b->inArena != 0;
  b->~Block();
  if (inArena)
    ScanArena::releaseChunk(reinterpret_cast<ScanArena::Chunk*>((uintptr_t)b & ~(uintptr_t)(ScanArena::kChunkSize - 1)));
  else
    ::operator delete(b);
}

// The head of a chunk: blocks still in it, and one for the arena while it fills it.
struct ScanArena::Chunk
{
  std::atomic<uint32_t> live;
};

namespace
{
// Chunks whose blocks are all freed, kept for the next scan (a rescan frees the last
// scan's banks, then reads as many again): their pages are not faulted in and cleared
// again. At most 44: 80 MB for the 2,000 banks of a large library, about what the heap
// kept of the banks before, and the part-filled last chunk of each of the scan's
// reading threads (an arena each). Marking them free to the kernel (MADV_FREE) made
// the rescan slower than without the arena.
struct ChunkCache
{
  std::mutex lock;
  void* chunks[44];
  int count = 0;
};
ChunkCache& chunkCache()
{
  static ChunkCache* cache = new ChunkCache;  // never destroyed: blocks may be freed at exit
  return *cache;
}
}  // namespace

void ScanArena::releaseChunk(Chunk* c)
{
  if (c->live.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  c->~Chunk();
  ChunkCache& cache = chunkCache();
  {
    std::lock_guard<std::mutex> hold(cache.lock);
    if (cache.count < (int)(sizeof(cache.chunks) / sizeof(cache.chunks[0])))
    {
      cache.chunks[cache.count++] = c;
      return;
    }
  }
  munmap(c, kChunkSize);
}

void* ScanArena::newChunk(int* slowInARow)
{
  ChunkCache& cache = chunkCache();
  {
    std::lock_guard<std::mutex> hold(cache.lock);
    if (cache.count) return cache.chunks[--cache.count];
  }
  // Twice the size, so that an aligned chunk lies inside; the rest goes back.
  void* region = mmap(nullptr, 2 * kChunkSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (region == MAP_FAILED) return nullptr;
  const uintptr_t start = (uintptr_t)region, aligned = (start + kChunkSize - 1) & ~(uintptr_t)(kChunkSize - 1);
  if (aligned > start) munmap(region, aligned - start);
  if (aligned + kChunkSize < start + 2 * kChunkSize)
    munmap((void*)(aligned + kChunkSize), start + 2 * kChunkSize - aligned - kChunkSize);
#ifdef MADV_HUGEPAGE
  // A huge page the kernel has at hand is cleared in about 0.2 ms here, seven times
  // quicker than 512 small pages faulted in one by one (1.4 ms). One it must first
  // assemble, or that the virtual machine's host must first give back, took 5 to 9 ms:
  // a first run after a pause met only such pages, a later one a few among quick
  // ones. After two slow chunks in a row the scan's other chunks take small pages.
  if (*slowInARow < 2 && madvise((void*)aligned, kChunkSize, MADV_HUGEPAGE) == 0)
  {
    const auto start = std::chrono::steady_clock::now();
    *(volatile uint8_t*)aligned = 0;
    const bool slow = std::chrono::steady_clock::now() - start > std::chrono::milliseconds(2);
    *slowInARow = slow ? *slowInARow + 1 : 0;
  }
#endif
  return (void*)aligned;
}

void ScanArena::drop()
{
  if (mChunk) releaseChunk(mChunk);
  mChunk = nullptr;
  mUsed = 0;
}

PatchBytes ScanArena::allocate(size_t count, uint8_t** out)
{
  const size_t head = sizeof(PatchBytes::Block), first = 64 - head;
  if (count + 64 > kChunkSize) return PatchBytes::allocate(count, out);
  // The block's head just before a 64-byte boundary, its bytes from it.
  size_t at = ((mUsed + head + 63) & ~size_t(63)) - head;
  if (!mChunk || at + head + count > kChunkSize)
  {
    drop();
    void* chunk = newChunk(&mSlowHugeChunks);
    if (!chunk) return PatchBytes::allocate(count, out);
    mChunk = new (chunk) Chunk;
    mChunk->live.store(1, std::memory_order_relaxed);
    at = first;
  }
  PatchBytes b;
  b.block = new ((uint8_t*)mChunk + at) PatchBytes::Block;
  b.block->refs.store(1, std::memory_order_relaxed);
  b.block->inArena = 1;
  b.block->size = count;
  b.n = (uint32_t)count;
  mChunk->live.fetch_add(1, std::memory_order_relaxed);
  mUsed = at + head + count;
  *out = b.block->bytes();
  return b;
}

uint8_t* PatchBytes::writable()
{
  if (!(block && block->refs.load(std::memory_order_acquire) == 1 && offset == 0 && n == block->size))
    *this = PatchBytes(data(), n);
  return block ? block->bytes() : nullptr;
}

void PatchBytes::resize(size_t count)
{
  if (count <= n)
  {
    n = (uint32_t)count;
    if (!n) release();
    return;
  }
  uint8_t* out = nullptr;
  PatchBytes grown = allocate(count, &out);
  if (n) memcpy(out, data(), n);
  memset(out + n, 0, count - n);
  *this = std::move(grown);
}

bool operator==(const PatchBytes& a, const PatchBytes& b)
{
  return a.size() == b.size() && (a.data() == b.data() || !a.size() || !memcmp(a.data(), b.data(), a.size()));
}

bool operator==(const PatchBytes& a, const std::vector<uint8_t>& b)
{
  return a.size() == b.size() && (!a.size() || !memcmp(a.data(), b.data(), a.size()));
}

PatchMessages& PatchMessages::operator=(const PatchMessages& o)
{
  if (this != &o)
  {
    clear();
    append(o.begin(), o.end());
  }
  return *this;
}

PatchMessages& PatchMessages::operator=(PatchMessages&& o) noexcept
{
  if (this != &o)
  {
    clear();
    delete[] heap;
    heap = nullptr;
    capacity = 1;
    take(o);
  }
  return *this;
}

PatchSysexMessage& PatchMessages::at(size_t i)
{
  if (i >= count) throw std::out_of_range("PatchMessages::at");
  return data()[i];
}

const PatchSysexMessage& PatchMessages::at(size_t i) const
{
  if (i >= count) throw std::out_of_range("PatchMessages::at");
  return data()[i];
}

void PatchMessages::clear()
{
  PatchSysexMessage* d = data();
  for (size_t i = 0; i < count; ++i) d[i] = PatchSysexMessage();
  count = 0;
}

void PatchMessages::growHeap(size_t need)
{
  if (need > UINT32_MAX) throw std::bad_alloc();
  size_t cap = (size_t)capacity * 2;
  if (cap < need || cap > UINT32_MAX) cap = need;
  PatchSysexMessage* grown = new PatchSysexMessage[cap];
  PatchSysexMessage* d = data();
  for (size_t i = 0; i < count; ++i) grown[i] = std::move(d[i]);
  delete[] heap;
  heap = grown;
  capacity = (uint32_t)cap;
}

void PatchMessages::append(const_iterator from, const_iterator to)
{
  grow(count + (size_t)(to - from));
  PatchSysexMessage* d = data();
  for (; from != to; ++from) d[count++] = *from;
}

void PatchMessages::assign(size_t k, const PatchSysexMessage& m)
{
  const PatchSysexMessage copy = m;  // m may be one of ours
  clear();
  grow(k);
  PatchSysexMessage* d = data();
  for (size_t i = 0; i < k; ++i) d[i] = copy;
  count = (uint32_t)k;
}

PatchMessages::iterator PatchMessages::insert(const_iterator pos, const_iterator from, const_iterator to)
{
  const size_t at = (size_t)(pos - begin()), k = (size_t)(to - from);
  // The range may lie in this list: copied out before anything moves.
  std::vector<PatchSysexMessage> items(from, to);
  grow(count + k);
  PatchSysexMessage* d = data();
  for (size_t i = count; i-- > at;) d[i + k] = std::move(d[i]);
  for (size_t i = 0; i < k; ++i) d[at + i] = std::move(items[i]);
  count += (uint32_t)k;
  return d + at;
}

void LibrarianPatch::clone(LibrarianPatch& target) const
{
  target.name = name;
  target.messages.insert(target.messages.end(), messages.begin(), messages.end());
}

PatchFile* PatchFile::clone() const
{
  PatchFile* copy = new PatchFile;
  copy->patches = patches;
  copy->fileName = fileName;
  return copy;
}

void removeCharsFromString(std::string& str, const char* chars)
{
  if (!chars) return;
  for (const char* c = chars; *c; ++c) str.erase(std::remove(str.begin(), str.end(), *c), str.end());
}
