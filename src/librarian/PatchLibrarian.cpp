#include "librarian/PatchLibrarian.h"

#include "librarian/BankFormats.h"

#include <algorithm>
#include <cstring>

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
  for (PatchFile* b : banks) delete b;
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
  if (!patch || patch->messages.empty()) return false;
  WDL_MutexLock lock(&libraryMutex);
  PatchFile* upper = bankAt(upperFileIndex);
  const int32_t slot = selectedSlot;
  if (!upper || (uint32_t)slot >= (uint32_t)kBankSlots) return false;
  LibrarianPatch copy;
  patch->clone(copy);
  upper->patches.resize(kBankSlots);
  upper->patches[(size_t)slot] = std::move(copy);
  return true;
}

void PatchLibrarian::createNewSearchPatchFiles(std::string text)
{
  WDL_MutexLock lock(&libraryMutex);
  // The previous results go; their slots' storage is reused for the new copies, which
  // spares the allocator most of its work on large result sets.
  std::vector<PatchFile*> previous;
  previous.swap(searchResultFiles);
  clearDataStructures(3);

  PatchFile* bank = nullptr;
  size_t used = 0;  // slots of bank filled so far
  auto store = [&](const LibrarianPatch& slot) {
    if (!bank || used == (size_t)kBankSlots)
    {
      if (bank) bank->patches.resize(used);
      bank = new PatchFile;
      const size_t k = searchResultFiles.size();
      if (k < previous.size()) bank->patches.swap(previous[k]->patches);
      bank->fileName = "Search Results " + std::to_string(k + 1);
      bank->folderName = "Patches";
      searchResultFiles.push_back(bank);
      if (searchFolderTree.empty())
      {
        searchFolderTree.push_back(new FolderFiles);
        searchFolderTree.back()->name = bank->folderName;
      }
      searchFolderTree.front()->files.push_back(bank);
      used = 0;
    }
    if (used < bank->patches.size())
      bank->patches[used] = slot;
    else
      bank->patches.push_back(slot);
    ++used;
  };

  // Matched programs lie far apart on the heap. Each match waits in a short queue
  // while its message list and then its bytes are fetched, and is copied after that.
  enum { kStage = 8, kQueue = 2 * kStage };
  const LibrarianPatch* queue[kQueue];
  size_t queued = 0;  // matches seen; match m sits at queue[m % kQueue]
  auto advance = [&](size_t m) {
    if (m >= kStage)
    {
      const LibrarianPatch* p = queue[(m - kStage) % kQueue];
      if (!p->messages.empty()) __builtin_prefetch(p->messages.front().bytes.data());
    }
    if (m >= kQueue) store(*queue[m % kQueue]);
  };

  // An empty text would match every slot, the empty ones too.
  for (const PatchFile* source : patchFiles)
  {
    if (text.empty()) break;
    for (const LibrarianPatch& slot : source->patches)
    {
      if (!containsText(slot.name, text)) continue;
      advance(queued);
      __builtin_prefetch(slot.messages.data());
      queue[queued++ % kQueue] = &slot;
    }
  }
  for (size_t m = queued > kQueue ? queued - kQueue : 0; m < queued; ++m) store(*queue[m % kQueue]);
  if (bank) bank->patches.resize(used);
  deleteBanks(previous);
}
