// Recognising bank data and cutting it into programs.

#include "librarian/BankFormats.h"
#include "librarian/LibrarianHost.h"
#include "librarian/LibrarianLog.h"
#include "librarian/PatchLibrarian.h"
#include "librarian/SmfReader.h"

#include "hardware/SysexPacking.h"
#include "plug/ByteChunk.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{
// The first byte with bit 7 set in [p, end), or null. Bank files are mostly 7-bit
// data: 32 bytes are tested at a time.
const uint8_t* firstStatusByte(const uint8_t* p, const uint8_t* end)
{
#if defined(__SSE2__)
  while (end - p >= 32)
  {
    const __m128i a = _mm_loadu_si128((const __m128i*)p), b = _mm_loadu_si128((const __m128i*)(p + 16));
    if (_mm_movemask_epi8(_mm_or_si128(a, b)))
    {
      const unsigned m = (unsigned)_mm_movemask_epi8(a) | (unsigned)_mm_movemask_epi8(b) << 16;
      return p + __builtin_ctz(m);
    }
    p += 32;
  }
#endif
  while (end - p >= 8)
  {
    uint64_t w;
    memcpy(&w, p, 8);
    if (w & 0x8080808080808080ull) break;
    p += 8;
  }
  for (; p < end; ++p)
    if (*p & 0x80) return p;
  return nullptr;
}

// The number of whole program dumps back to back at the start of d: each F0 42 3n 58
// 40, 291 bytes without bit 7, F7. Cutting at the first status byte after each F0
// gives exactly these messages, and each is a program dump. A plain loop, which the
// compiler vectorises (an AVX2 clone where the processor has it).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(DAVREL_NO_VECTOR_CLONES)
__attribute__((target_clones("avx2", "default")))
#endif
int programDumpRun(const uint8_t* d, int size)
{
  int count = 0;
  for (const uint8_t* p = d; size - (int)(p - d) >= kProgramDumpSize; p += kProgramDumpSize, ++count)
  {
    if (!isProgramDumpFrame(p, kProgramDumpSize)) break;
    uint8_t any = 0;
    for (int i = 5; i < kProgramDumpSize - 1; ++i) any |= p[i];
    if (any & 0x80) break;
  }
  return count;
}
}  // namespace

int PatchLibrarian::processSysExFile(ByteChunk* chunk, int size, int& position, PatchFile* bank, int* dropped)
{
  if (!chunk)
  {
    position = -1;
    return -1;
  }
  if (size > chunk->Size()) size = chunk->Size();
  return nextSysexMessage(chunk->Data(), size, position, bank, dropped, nullptr);
}

int PatchLibrarian::nextSysexMessage(const uint8_t* d, int size, int& position, PatchFile* bank, int* dropped,
                                     const PatchBytes* owner, bool mayFeed)
{
  while (position >= 0 && position < size)
  {
    // In a bank file the next message starts where the last one ended.
    const void* f0 = d[position] == 0xF0 ? d + position : memchr(d + position, 0xF0, (size_t)(size - position));
    if (!f0) break;
    const int start = (int)((const uint8_t*)f0 - d);
    const uint8_t* stop = firstStatusByte(d + start + 1, d + size);
    if (!stop)
    {
      // The data ends inside a message: nothing of it is kept, but for an
      // all-program dump cut short, whose whole programs are.
      const int rest = size - start;
      if (rest > 5 && isDavrelSysex(d + start, rest) &&
          (d[start + 4] == kSysexAllProgramDumpFunction || d[start + 4] == kSysexAllDataDumpFunction) &&
          importDump(d + start, rest, bank, mayFeed) > 0)
      {
        position = size;
        return position;
      }
      if (dropped) ++*dropped;
      break;
    }
    const int stopIndex = (int)(stop - d);
    if (*stop == 0xF7)
    {
      position = stopIndex + 1;
      if (!addMessage(d + start, position - start, bank, owner, true, mayFeed) && dropped) ++*dropped;
      return position;
    }
    // A status byte inside the data ends the message unfinished; a new one may start there.
    if (dropped) ++*dropped;
    position = *stop == 0xF0 ? stopIndex : stopIndex + 1;
  }
  position = -1;
  return -1;
}

bool PatchLibrarian::addSysexMessage(const uint8_t* msg, int size, PatchFile* bank)
{
  return addMessage(msg, size, bank, nullptr, false);
}

bool PatchLibrarian::addMessage(const uint8_t* msg, int size, PatchFile* bank, const PatchBytes* owner, bool cut,
                                bool mayFeed)
{
  if (cut ? isProgramDumpFrame(msg, size) : isProgramDump(msg, size))
  {
    bank->patches.emplace_back();
    LibrarianPatch& slot = bank->patches.back();
    slot.name = programDumpName(msg, size);
    // A piece of the block the message lies in, else bytes of its own.
    slot.messages.emplace_back().bytes =
        owner ? owner->slice((size_t)(msg - owner->data()), (size_t)size) : PatchBytes(msg, (size_t)size);
    return true;
  }
  if (isDavrelSysex(msg, size) && size >= 5 &&
      (msg[4] == kSysexAllProgramDumpFunction || msg[4] == kSysexAllDataDumpFunction))
    return importDump(msg, size, bank, mayFeed) > 0;
  return false;
}

int PatchLibrarian::addProgramDumpRun(const uint8_t* d, int size, PatchFile* bank, const PatchBytes& owner)
{
  const int count = programDumpRun(d, size);
  if (!count) return 0;
  // The slots are made in place, each in one pass: its name and its piece of the block.
  std::vector<LibrarianPatch>& slots = bank->patches;
  slots.reserve(slots.size() + (size_t)count);
  owner.slices((size_t)(d - owner.data()), kProgramDumpSize, (size_t)count, [&](size_t i, PatchBytes&& piece) {
    char name[16];
    const int length = programDumpNameInto(d + i * kProgramDumpSize, kProgramDumpSize, name);
    slots.emplace_back(name, (size_t)length, std::move(piece));
  });
  return count;
}

int PatchLibrarian::importSysExFile(const uint8_t* dump, int size, PatchFile* bank)
{
  return importDump(dump, size, bank, true);
}

int PatchLibrarian::importDump(const uint8_t* dump, int size, PatchFile* bank, bool mayFeed)
{
  if (!isDavrelSysex(dump, size) || size < 6) return 0;
  const int expected = dump[4] == kSysexAllProgramDumpFunction ? kAllProgramDumpSize
                       : dump[4] == kSysexAllDataDumpFunction  ? kAllDataDumpSize
                                                               : 0;
  const bool ended = dump[size - 1] == 0xF7;
  if (!expected || size > expected || (size == expected && !ended)) return 0;

  // The programs run through the packed stream without regard to its groups, so the
  // stream is unpacked and every program packed afresh. A dump cut short (a file cut,
  // a transfer that stopped) keeps the programs that arrived whole, never a part of one.
  const int packed = size - 5 - (ended ? 1 : 0);
  std::vector<uint8_t> data((size_t)sysexUnpackedSize(packed));
  if (sysexUnpack7(dump + 5, packed, data.data()) != (int)data.size()) return 0;
  const int whole = (int)data.size() / kProgramDataSize < kBankSlots ? (int)data.size() / kProgramDataSize : kBankSlots;
  if (whole < 1) return 0;
  if (whole < kBankSlots)
    librarianLog(logTarget, "PatchLibrarian: dump cut at %d of %d bytes: %d of %d programs whole and imported\n", size, expected,
                 whole, kBankSlots);

  const bool request = mayFeed && allPatchesRequestActive.load();
  static const char kBlankName[] = "            ";
  static const char kUnnamed[] = "unnamed prog";
  // The 128 programs share one block.
  uint8_t* out = nullptr;
  const PatchBytes programs = PatchBytes::allocate((size_t)whole * kProgramDumpSize, &out);
  for (int k = 0; k < whole; ++k)
  {
    uint8_t program[kProgramDataSize];
    memcpy(program, data.data() + (size_t)k * kProgramDataSize, kProgramDataSize);
    LibrarianPatch slot;
    uint8_t* msg = out + (size_t)k * kProgramDumpSize;
    makeProgramDump(program, 0x30, msg);
    if (!request)
    {
      slot.name = programDumpName(msg, kProgramDumpSize);
      if (slot.name == kBlankName)
      {
        memcpy(program, kUnnamed, kProgramNameLength);
        makeProgramDump(program, 0x30, msg);
        slot.name = kUnnamed;
      }
    }
    slot.messages.emplace_back().bytes = programs.slice((size_t)k * kProgramDumpSize, kProgramDumpSize);
    bank->patches.push_back(std::move(slot));

    if (request && allPatchesRequestIndex.load() <= 127)
    {
      // The controller gets a copy of its own; the slot stays as built.
      std::vector<uint8_t> fed = bank->patches.back().messages.front().bytes;
      if (plug) plug->feedSysExFromLibrarian(fed.data(), (int)fed.size());
      ++allPatchesRequestIndex;
    }
  }
  return whole;
}

void PatchLibrarian::fillUncompletedBankFiles(PatchFile* bank)
{
  if (!bank || bank->patches.size() >= (size_t)kBankSlots) return;
  LibrarianPatch filler;
  filler.messages.emplace_back();
  filler.messages.back().bytes = mkInitPatchData();
  filler.name = programDumpName(filler.messages.back().bytes.data(), kProgramDumpSize);
  bank->patches.resize(kBankSlots, filler);
}

void PatchLibrarian::loadFromChunk(ByteChunk* chunk, int size, PatchFile* bank, int /*isMid*/)
{
  if (!chunk || !bank) return;
  if (size > chunk->Size()) size = chunk->Size();
  if (size < 0) size = 0;
  // One block for the buffer, which the programs read from it share.
  loadFromBytes(PatchBytes(chunk->Data(), (size_t)size), bank);
}

void PatchLibrarian::loadFromBytes(const PatchBytes& bytes, PatchFile* bank)
{
  endRead(cutPrograms(bytes, bank, true));
}

bool PatchLibrarian::cutPrograms(const PatchBytes& bytes, PatchFile* bank, bool mayFeed)
{
  const int size = (int)bytes.size();
  const size_t before = bank->patches.size();
  int dropped = 0;
  bool refused = false;

  if (size >= 15)
  {
    const uint8_t* d = bytes.data();
    if (isStandardMidiFile(d, size))
    {
      std::vector<std::vector<uint8_t>> messages;
      std::string why;
      if (readSmfSysexMessages(d, size, &messages, &why))
      {
        // The events' messages are put together into one block.
        size_t total = 0;
        for (const std::vector<uint8_t>& m : messages) total += m.size();
        uint8_t* out = nullptr;
        const PatchBytes joined = PatchBytes::allocate(total, &out);
        for (const std::vector<uint8_t>& m : messages)
        {
          if (!m.empty()) memcpy(out, m.data(), m.size());
          if (!addMessage(out, (int)m.size(), bank, &joined, false, mayFeed)) ++dropped;
          out += m.size();
        }
      }
      else
      {
        refused = true;
        librarianLog(logTarget, "PATCH LIBRARIAN: Standard MIDI File refused: %s", why.c_str());
      }
    }
    else
    {
      bank->patches.reserve(before + (size_t)size / kProgramDumpSize);
      // Program dumps back to back, a bank file's layout, are taken as they stand; the
      // rest is cut message by message. Both give the same slots.
      int position = 0;
      while (position < size)
      {
        const int run = addProgramDumpRun(d + position, size - position, bank, bytes);
        if (run)
          position += run * kProgramDumpSize;
        else if (nextSysexMessage(d, size, position, bank, &dropped, &bytes, mayFeed) <= 0)
          break;
      }
    }
  }

  const bool found = bank->patches.size() > before;
  if (dropped) librarianLog(logTarget, "PATCH LIBRARIAN: dropped %d messages that hold no complete program", dropped);
  if (!found && !refused) librarianLog(logTarget, "PatchLibrarian: File format not supported!");
  return found;
}

void PatchLibrarian::endRead(bool found)
{
  headerMissing = !found;

  // The request ends with the dump it asked for, also when the dump was refused.
  if (allPatchesRequestActive.exchange(false))
  {
    allPatchesRequestIndex = 0;
    if (plug) plug->allPatchesDumpFinished();
  }
}
