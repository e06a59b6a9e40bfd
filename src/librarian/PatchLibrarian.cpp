#include "librarian/PatchLibrarian.h"

#include "librarian/BankFormats.h"

#include <algorithm>

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
  deleteBanks(searchResultFiles);
  clearDataStructures(3);
  // An empty text would match every slot, the empty ones too.
  if (text.empty()) return;

  std::vector<const LibrarianPatch*> matches;
  for (const PatchFile* bank : patchFiles)
    for (const LibrarianPatch& slot : bank->patches)
      if (slot.name.find(text) != std::string::npos) matches.push_back(&slot);

  for (size_t first = 0; first < matches.size(); first += kBankSlots)
  {
    PatchFile* bank = new PatchFile;
    const size_t last = std::min(matches.size(), first + kBankSlots);
    bank->patches.reserve(last - first);
    for (size_t i = first; i < last; ++i) bank->patches.push_back(*matches[i]);
    bank->fileName = "Search Results " + std::to_string(first / kBankSlots + 1);
    bank->folderName = "Patches";
    searchResultFiles.push_back(bank);
    if (searchFolderTree.empty())
    {
      searchFolderTree.push_back(new FolderFiles);
      searchFolderTree.back()->name = bank->folderName;
    }
    searchFolderTree.front()->files.push_back(bank);
  }
}
