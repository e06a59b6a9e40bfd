#include "librarian/PatchLibrarian.h"

#include "librarian/BankFormats.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{
// Names are at most twelve characters: a plain loop beats the library's search here.
bool containsText(const std::string& name, const std::string& text)
{
  const size_t n = text.size();
  if (n == 0) return true;
  if (n > name.size()) return false;
  const char* h = name.data();
  const char first = text[0];
  for (size_t i = 0, last = name.size() - n; i <= last; ++i)
    if (h[i] == first && !memcmp(h + i + 1, text.data() + 1, n - 1)) return true;
  return false;
}
}  // namespace

PatchLibrarian::PatchLibrarian(LibrarianHost* host) : plug(host) {}

PatchLibrarian::~PatchLibrarian()
{
  clearDataStructures(0);
  clearDataStructures(3);
  deleteBanks(patchFiles);
  deleteBanks(searchResultFiles);
}

void PatchLibrarian::deleteBanks(std::vector<PatchFile*>& banks)
{
  if (&banks == &patchFiles) nameTable.clear();
  // A bank's slots share a block or two: their references go a block at a time.
  PatchBytes::Releaser releaser;
  for (PatchFile* b : banks)
  {
    for (LibrarianPatch& slot : b->patches)
      for (PatchSysexMessage& m : slot.messages) releaser.drop(m.bytes);
    delete b;
  }
  banks.clear();
}

void PatchLibrarian::clearDataStructures(int which)
{
  WDL_MutexLock lock(&libraryMutex);
  std::vector<FolderFiles*>* tree = which == 0 ? &folderTree : which == 3 ? &searchFolderTree : nullptr;
  if (!tree) return;
  for (FolderFiles* f : *tree) delete f;
  tree->clear();
}

PatchFile* PatchLibrarian::bankAt(int32_t index) const
{
  return (uint32_t)index < (uint32_t)patchFiles.size() ? patchFiles[(size_t)index] : nullptr;
}

bool PatchLibrarian::setSysexDatatoSelectedSlot(LibrarianPatch* patch)
{
  return setSysexDataToSlot(patch, selectedSlot);
}

std::string bankPathKey(const PatchFile* bank)
{
  if (!bank) return std::string();
  std::string key;
  // pathFolders starts with "Patches", the bank root itself.
  for (size_t i = 1; i < bank->pathFolders.size(); ++i) key += bank->pathFolders[i] + "/";
  return key + bank->fileName;
}

std::string PatchLibrarian::upperBankKey()
{
  WDL_MutexLock lock(&libraryMutex);
  return bankPathKey(bankAt(upperFileIndex));
}

bool PatchLibrarian::setSysexDataToSlot(LibrarianPatch* patch, int32_t slot, const std::string& bankKey)
{
  if (!patch || patch->messages.empty()) return false;
  WDL_MutexLock lock(&libraryMutex);
  PatchFile* upper = bankAt(upperFileIndex);
  if (!bankKey.empty() && bankPathKey(upper) != bankKey)
  {
    upper = nullptr;
    for (PatchFile* b : patchFiles)
      if (bankPathKey(b) == bankKey) upper = b;
  }
  if (!upper || (uint32_t)slot >= (uint32_t)kBankSlots) return false;
  LibrarianPatch copy;
  patch->clone(copy);
  upper->patches.resize(kBankSlots);
  upper->patches[(size_t)slot] = std::move(copy);
  nameTable.stale = true;
  return true;
}

void PatchLibrarian::slotNamesChanged()
{
  WDL_MutexLock lock(&libraryMutex);
  nameTable.stale = true;
}

void PatchLibrarian::NameTable::clear()
{
  rows.clear();
  banks.clear();
  slots.clear();
  counts.clear();
  longNames.clear();
  stale = false;
}

void PatchLibrarian::NameTable::reserve(size_t count)
{
  rows.reserve((count * kBankSlots + 1) * kNameRow);
  banks.reserve(count);
  slots.reserve(count);
  counts.reserve(count);
}

void PatchLibrarian::NameTable::add(const PatchFile* bank)
{
  // A row of zeros stays last, so that the search may read a row and a half.
  if (!rows.empty()) rows.resize(rows.size() - kNameRow);
  const size_t first = rows.size() / kNameRow, n = bank->patches.size();
  rows.resize(rows.size() + (n + 1) * kNameRow, 0);
  char* row = rows.data() + first * kNameRow;
  for (size_t i = 0; i < n; ++i, row += kNameRow)
  {
    const std::string& name = bank->patches[i].name;
    if (name.size() < (size_t)kNameRow)
      memcpy(row, name.data(), name.size());
    else
      longNames.push_back(first + i);
  }
  banks.push_back(bank);
  slots.push_back(bank->patches.data());
  counts.push_back(n);
}

bool PatchLibrarian::nameTableCurrent() const
{
  const NameTable& t = nameTable;
  if (t.stale || t.banks.size() != patchFiles.size()) return false;
  for (size_t b = 0; b < patchFiles.size(); ++b)
  {
    const PatchFile* bank = patchFiles[b];
    if (bank != t.banks[b] || bank->patches.data() != t.slots[b] || bank->patches.size() != t.counts[b]) return false;
  }
  return true;
}

namespace
{
// The rows of the name table that hold text, rising; text is 1 to 15 bytes without a zero.
void matchingRows(const char* rows, size_t count, const std::string& text, std::vector<size_t>* out)
{
  const size_t n = text.size();
  const char* t = text.data();
#if defined(__SSE2__)
  // A row is a candidate where its first and last bytes of the text both fit; the
  // zeros behind each name keep a match from running into the next row, and the
  // row mask from starting too late in it.
  const __m128i first = _mm_set1_epi8(t[0]), last = _mm_set1_epi8(t[n - 1]);
  const unsigned starts = (1u << (17 - n)) - 1;
  for (size_t r = 0; r < count; ++r)
  {
    const char* row = rows + r * 16;
    const __m128i a = _mm_loadu_si128((const __m128i*)row);
    const __m128i b = _mm_loadu_si128((const __m128i*)(row + n - 1));
    unsigned m = (unsigned)_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))) & starts;
    while (m)
    {
      const int i = __builtin_ctz(m);
      size_t k = 1;
      while (k + 1 < n && row[i + k] == t[k]) ++k;
      if (k + 1 >= n)
      {
        out->push_back(r);
        break;
      }
      m &= m - 1;
    }
  }
#else
  for (size_t r = 0; r < count; ++r)
  {
    const char* row = rows + r * 16;
    if (containsText(std::string(row, strnlen(row, 16)), text)) out->push_back(r);
  }
#endif
}
}  // namespace

void PatchLibrarian::createNewSearchPatchFiles(std::string text)
{
  WDL_MutexLock lock(&libraryMutex);
  // The last results go first: the new ones take their memory while it is in the cache.
  deleteBanks(searchResultFiles);
  clearDataStructures(3);

  // The slots whose rows match, in order.
  std::vector<const LibrarianPatch*> found;
  // An empty text would match every slot, the empty ones too.
  if (!text.empty())
  {
    if (!nameTableCurrent())
    {
      nameTable.clear();
      for (const PatchFile* bank : patchFiles) nameTable.add(bank);
    }
    const NameTable& t = nameTable;
    const size_t count = t.rows.empty() ? 0 : t.rows.size() / kNameRow - 1;
    // Names longer than a row, and texts a row cannot hold, are read from the slots.
    const bool inRows = text.size() < (size_t)kNameRow && text.find('\0') == std::string::npos;
    std::vector<size_t> rows, others;
    if (inRows)
    {
      matchingRows(t.rows.data(), count, text, &rows);
      others = t.longNames;
    }
    else
      for (size_t r = 0; r < count; ++r) others.push_back(r);
    std::vector<size_t> merged;
    merged.reserve(rows.size() + others.size());
    std::merge(rows.begin(), rows.end(), others.begin(), others.end(), std::back_inserter(merged));

    found.reserve(merged.size());
    size_t b = 0, bankFirst = 0;  // the bank of the row, and its first row
    for (size_t r : merged)
    {
      while (r >= bankFirst + t.counts[b]) bankFirst += t.counts[b++];
      found.push_back(t.slots[b] + (r - bankFirst));
    }
  }

  // The result banks: copies of the slots, which share the programs' bytes. Every
  // match is checked against the slot's own name as it is copied.
  PatchFile* bank = nullptr;
  for (size_t m = 0; m < found.size(); ++m)
  {
    // The matched slots lie apart: the next few are fetched while this one is copied,
    // and once a slot is at hand, the count its copy will change.
    if (m + 48 < found.size()) __builtin_prefetch(found[m + 48]);
    if (m + 24 < found.size() && !found[m + 24]->messages.empty()) found[m + 24]->messages.front().bytes.prefetchCount();
    const LibrarianPatch& slot = *found[m];
    if (!containsText(slot.name, text)) continue;
    if (!bank || bank->patches.size() == (size_t)kBankSlots)
    {
      bank = new PatchFile;
      bank->fileName = "Search Results " + std::to_string(searchResultFiles.size() + 1);
      bank->folderName = "Patches";
      bank->patches.reserve(std::min(found.size() - m, (size_t)kBankSlots));
      searchResultFiles.push_back(bank);
      if (searchFolderTree.empty())
      {
        searchFolderTree.push_back(new FolderFiles);
        searchFolderTree.back()->name = bank->folderName;
      }
      searchFolderTree.front()->files.push_back(bank);
    }
    bank->patches.push_back(slot);
  }
}
