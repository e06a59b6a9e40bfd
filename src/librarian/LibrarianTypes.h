#pragma once
// The librarian's records: a message, a bank slot, a bank, and the three levels of
// the folder tree from which the bank chooser menus are built.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class ByteChunk;
class ScanArena;

// Read-only bytes that copies share: a scanned bank's programs are pieces of the one
// block its file was read into, and a copy (a search result, a cloned bank) only
// counts a reference. Writing through a copy gives it bytes of its own first, so a
// copy behaves as a deep one. Sharing is safe between threads; writing to the same
// object is not (as for any container).
class PatchBytes
{
public:
  using value_type = uint8_t;
  using size_type = size_t;
  using const_iterator = const uint8_t*;
  using iterator = const uint8_t*;

  PatchBytes() = default;
  PatchBytes(const std::vector<uint8_t>& v) : PatchBytes(v.data(), v.size()) {}
  PatchBytes(const uint8_t* p, size_t n);
  PatchBytes(const PatchBytes& o) : block(o.block), offset(o.offset), n(o.n) { retain(); }
  PatchBytes(PatchBytes&& o) noexcept : block(o.block), offset(o.offset), n(o.n)
  {
    o.block = nullptr;
    o.offset = o.n = 0;
  }
  PatchBytes& operator=(const PatchBytes& o);
  PatchBytes& operator=(PatchBytes&& o) noexcept
  {
    if (this != &o)
    {
      release();
      block = o.block;
      offset = o.offset;
      n = o.n;
      o.block = nullptr;
      o.offset = o.n = 0;
    }
    return *this;
  }
  ~PatchBytes() { release(); }

  // A new block of n bytes, written through *out before the handle is copied.
  static PatchBytes allocate(size_t n, uint8_t** out);
  // Bytes offset .. offset + count of this one, sharing its block.
  PatchBytes slice(size_t offset, size_t count) const;
  // count pieces of size bytes each, back to back from offset, handed to put(i, piece)
  // in order; their references are counted with one add. Nothing when they do not fit.
  template <class Put>
  void slices(size_t offset, size_t size, size_t count, Put&& put) const
  {
    if (!block || !count || offset > n || size > (n - offset) / count) return;
    block->refs.fetch_add((uint32_t)count, std::memory_order_relaxed);
    for (size_t i = 0; i < count; ++i)
    {
      PatchBytes piece;
      piece.block = block;
      piece.offset = this->offset + (uint32_t)(offset + i * size);
      piece.n = (uint32_t)size;
      put(i, std::move(piece));
    }
  }

  const uint8_t* data() const { return block ? block->bytes() + offset : nullptr; }
  size_t size() const { return n; }
  bool empty() const { return n == 0; }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + n; }
  uint8_t operator[](size_t i) const { return data()[i]; }
  uint8_t front() const { return data()[0]; }
  uint8_t back() const { return data()[n - 1]; }
  operator std::vector<uint8_t>() const { return std::vector<uint8_t>(begin(), end()); }
  // Asks for the reference count's memory ahead of a copy (copies made far apart).
  void prefetchCount() const
  {
    if (block) __builtin_prefetch(block, 1);
  }

  // Lets go of many handles: handles to one block that come one after another cost
  // one change of its count between them instead of one each (a bank's slots).
  class Releaser;

  // Writing: the bytes become this object's own first.
  uint8_t& operator[](size_t i) { return writable()[i]; }
  void assign(const uint8_t* first, const uint8_t* last) { *this = PatchBytes(first, (size_t)(last - first)); }
  void resize(size_t count);
  void clear() { *this = PatchBytes(); }

private:
  friend class ScanArena;
  struct Block
  {
    std::atomic<uint32_t> refs;
    uint32_t inArena;  // a scan arena's chunk holds it, not the heap
    size_t size;
    uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
  };
  void retain() const
  {
    if (block) block->refs.fetch_add(1, std::memory_order_relaxed);
  }
  // Gives back count references to b; the last one frees the block, and the acquire
  // orders that after every other owner's last use.
  static void unref(Block* b, uint32_t count)
  {
    if (b && b->refs.fetch_sub(count, std::memory_order_acq_rel) == count) freeBlock(b);
  }
  void release()
  {
    unref(block, 1);
    block = nullptr;
    offset = n = 0;
  }
  static void freeBlock(Block* b);
  uint8_t* writable();

  // Sixteen bytes, so that a slot with its name and one message fills one cache line.
  Block* block = nullptr;
  uint32_t offset = 0, n = 0;
};

// Memory for the files one scan reads: 2 MB chunks asked of the kernel at once, in
// huge pages while the kernel gives them quickly (see newChunk), instead of the heap
// growing page by page. Each file's bytes start on a 64-byte boundary, where the kernel's copy of a read runs at
// full speed (off it, reads here ran at less than half). A chunk is freed with the
// last block in it, whichever thread frees it (while the arena fills a chunk, it
// holds it too), and kept for the next scan. One thread allocates.
class ScanArena
{
public:
  static const size_t kChunkSize = size_t(2) << 20;
  ScanArena() = default;
  ~ScanArena() { drop(); }
  ScanArena(const ScanArena&) = delete;
  ScanArena& operator=(const ScanArena&) = delete;

  // A block of count bytes, written through *out before the handle is copied; from
  // the heap when it does not fit a chunk or the kernel refuses one.
  PatchBytes allocate(size_t count, uint8_t** out);

private:
  friend class PatchBytes;
  struct Chunk;
  static void releaseChunk(Chunk* c);
  static void* newChunk(int* slowInARow);
  void drop();
  Chunk* mChunk = nullptr;
  size_t mUsed = 0;
  int mSlowHugeChunks = 0;  // slow huge pages in a row
};

class PatchBytes::Releaser
{
public:
  Releaser() = default;
  Releaser(const Releaser&) = delete;
  Releaser& operator=(const Releaser&) = delete;
  ~Releaser() { flush(); }
  void drop(PatchBytes& b)
  {
    if (!b.block) return;
    if (b.block != current)
    {
      flush();
      current = b.block;
    }
    ++count;
    b.block = nullptr;
    b.offset = b.n = 0;
  }

private:
  void flush()
  {
    unref(current, count);
    current = nullptr;
    count = 0;
  }
  Block* current = nullptr;
  uint32_t count = 0;
};

bool operator==(const PatchBytes& a, const PatchBytes& b);
bool operator==(const PatchBytes& a, const std::vector<uint8_t>& b);
inline bool operator==(const std::vector<uint8_t>& a, const PatchBytes& b) { return b == a; }
inline bool operator!=(const PatchBytes& a, const PatchBytes& b) { return !(a == b); }
inline bool operator!=(const PatchBytes& a, const std::vector<uint8_t>& b) { return !(a == b); }
inline bool operator!=(const std::vector<uint8_t>& a, const PatchBytes& b) { return !(b == a); }

// One complete system-exclusive message, F0 to F7 included, as read or received.
struct PatchSysexMessage
{
  PatchBytes bytes;
};

// A slot's messages: a list that keeps its first message in place, since a slot
// nearly always holds one program, so that a bank of slots needs no memory per slot.
class PatchMessages
{
public:
  using value_type = PatchSysexMessage;
  using size_type = size_t;
  using iterator = PatchSysexMessage*;
  using const_iterator = const PatchSysexMessage*;

  PatchMessages() = default;
  explicit PatchMessages(PatchSysexMessage&& m) noexcept : first(std::move(m)), count(1) {}
  // The usual slot, one message in place, is copied without a call.
  PatchMessages(const PatchMessages& o) : first(o.heap ? PatchSysexMessage() : o.first), count(o.heap ? 0 : o.count)
  {
    if (o.heap) append(o.begin(), o.end());
  }
  PatchMessages(PatchMessages&& o) noexcept { take(o); }
  PatchMessages& operator=(const PatchMessages& o);
  PatchMessages& operator=(PatchMessages&& o) noexcept;
  ~PatchMessages() { delete[] heap; }

  size_t size() const { return count; }
  bool empty() const { return count == 0; }
  PatchSysexMessage* data() { return heap ? heap : &first; }
  const PatchSysexMessage* data() const { return heap ? heap : &first; }
  iterator begin() { return data(); }
  iterator end() { return data() + count; }
  const_iterator begin() const { return data(); }
  const_iterator end() const { return data() + count; }
  PatchSysexMessage& operator[](size_t i) { return data()[i]; }
  const PatchSysexMessage& operator[](size_t i) const { return data()[i]; }
  PatchSysexMessage& at(size_t i);
  const PatchSysexMessage& at(size_t i) const;
  PatchSysexMessage& front() { return data()[0]; }
  const PatchSysexMessage& front() const { return data()[0]; }
  PatchSysexMessage& back() { return data()[count - 1]; }
  const PatchSysexMessage& back() const { return data()[count - 1]; }

  void clear();
  void push_back(const PatchSysexMessage& m)
  {
    PatchSysexMessage copy = m;  // m may be one of ours, which growing moves
    grow(count + 1);
    data()[count++] = std::move(copy);
  }
  void push_back(PatchSysexMessage&& m) { grow(count + 1); data()[count++] = std::move(m); }
  PatchSysexMessage& emplace_back() { grow(count + 1); return data()[count++]; }
  void assign(size_t n, const PatchSysexMessage& m);
  iterator insert(const_iterator pos, const_iterator first, const_iterator last);

private:
  void grow(size_t need)
  {
    if (need > capacity) growHeap(need);
  }
  void growHeap(size_t need);
  void append(const_iterator first, const_iterator last);
  void take(PatchMessages& o) noexcept
  {
    first = std::move(o.first);
    heap = o.heap;
    count = o.count;
    capacity = o.capacity;
    o.heap = nullptr;
    o.count = 0;
    o.capacity = 1;
  }

  PatchSysexMessage first;             // the list while heap is null
  PatchSysexMessage* heap = nullptr;   // capacity entries, past the count all empty
  uint32_t count = 0, capacity = 1;
};

// One bank slot: an empty slot has an empty name and no messages. A slot is one cache
// line: the search copies slots that lie far apart.
class alignas(64) LibrarianPatch
{
public:
  std::string name;
  PatchMessages messages;

  LibrarianPatch() = default;
  // A slot holding one program: its name and its dump.
  LibrarianPatch(const char* nameChars, size_t nameLength, PatchBytes&& program)
      : name(nameChars, nameLength), messages(PatchSysexMessage{std::move(program)})
  {
  }

  // Sets the target's name and appends copies of this slot's messages behind the
  // ones the target already holds.
  void clone(LibrarianPatch& target) const;

  // The slot's program dump as stored in a bank file: its first message that is a
  // program dump, else null (an empty slot or one without a program).
  const PatchSysexMessage* program() const;

  // Appends the slot to a bank file: its program dump whole (raw form) or as a
  // system-exclusive event of a Standard MIDI File track (delta 0 for slot 0, else
  // 500 ticks). A slot without a program dump is written as the filler program, so
  // that slot n of every written bank is program n. Returns false when a message of
  // the slot was left out (one that is no program dump, or a second message).
  bool save(ByteChunk* out, bool isMid, int slotNumber) const;
};

// One bank. A listed bank holds exactly 128 slots.
class PatchFile
{
public:
  std::vector<LibrarianPatch> patches;
  std::string fileName;
  std::string folderName;
  std::vector<std::string> pathFolders;  // "Patches" down to folderName

  // A new bank with copies of every slot and the same file name; the caller owns it.
  PatchFile* clone() const;
};

struct SubFolderFiles2
{
  std::string name;
  std::vector<PatchFile*> files;  // not owned
};

struct SubFolderFiles
{
  std::string name;
  std::vector<SubFolderFiles2> subFolders;
  std::vector<PatchFile*> files;  // not owned
};

struct FolderFiles
{
  std::string name;  // "Patches" for the banks directly in it, else empty
  std::vector<SubFolderFiles> subFolders;
  std::vector<PatchFile*> files;  // not owned
};

// Removes every occurrence of each character of chars from str.
void removeCharsFromString(std::string& str, const char* chars);
