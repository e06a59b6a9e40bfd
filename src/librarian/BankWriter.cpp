// Writing banks: "Save As", "Save" and the new banks of a split.

#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"
#include "librarian/LibrarianHost.h"
#include "librarian/LibrarianLog.h"
#include "librarian/PatchLibrarian.h"

#include "plug/ByteChunk.h"

#include <algorithm>
#include <cctype>
#include <memory>

namespace
{
std::string lowerCase(std::string s)
{
  for (char& c : s) c = (char)tolower((unsigned char)c);
  return s;
}

// A copy of the upper bank brought to 128 slots. With no upper bank selected: null,
// or, where a first bank may be made (Save As), a bank of 128 initial programs.
std::unique_ptr<PatchFile> upperBankCopy(PatchLibrarian* lib, bool emptyWhenNone = false)
{
  WDL_MutexLock lock(&lib->libraryMutex);
  const PatchFile* upper = lib->bankAt(lib->upperFileIndex);
  if (!upper)
  {
    if (!emptyWhenNone) return nullptr;
    std::unique_ptr<PatchFile> empty(new PatchFile);
    lib->fillUncompletedBankFiles(empty.get());
    return empty;
  }
  std::unique_ptr<PatchFile> copy(upper->clone());
  copy->patches.resize(kBankSlots);
  return copy;
}
}  // namespace

bool PatchLibrarian::writeUpperBank(const PatchFile& copy, bool isMid, const std::string& path)
{
  ByteChunk out;
  const int left = appendBankBytes(copy, isMid, &out);
  if (left)
    librarianLog(logTarget, "PATCH LIBRARIAN: %d slots of %s held messages a bank file cannot keep; their program or the "
                 "filler program was written",
                 left, path.c_str());
  std::string why;
  int err = 0;
  if (!writeFileAtomically(path, out.Data(), out.Size(), true, &why, &err))
  {
    librarianLog(logTarget, "PATCH LIBRARIAN: could not write %s: %s", path.c_str(), why.c_str());
    if (plug) plug->bankWriteFailed(path, err);
    return false;
  }
  return true;
}

bool PatchLibrarian::savePatchAs(const char* suggestedName, std::string folder, bool isMid)
{
  const std::string chosen =
      plug ? plug->promptForSavePath(suggestedName ? suggestedName : "", folder, isMid ? "mid" : "dvl") : std::string();
  if (chosen.empty()) return false;
  std::unique_ptr<PatchFile> copy = upperBankCopy(this, true);
  if (!copy) return false;

  std::string fileName = chosen;
  std::string folderName = "Patches";
  const size_t sep = chosen.find_last_of("/\\");
  if (sep != std::string::npos)
  {
    fileName = chosen.substr(sep + 1);
    const std::string dir = chosen.substr(0, sep);
    const size_t dirSep = dir.find_last_of("/\\");
    std::string last = dirSep == std::string::npos ? dir : dir.substr(dirSep + 1);
    removeCharsFromString(last, "/\\");
    if (!last.empty()) folderName = last;
  }

  if (!writeUpperBank(*copy, isMid, chosen)) return false;
  plug->setUpperBankFolder(folderName);
  plug->setUpperBankName(fileName);
  return true;
}

bool PatchLibrarian::saveEditedPatch(std::string path, std::string name)
{
  std::unique_ptr<PatchFile> copy = upperBankCopy(this);
  if (!copy) return false;
  copy->fileName = name;
  const bool isMid = lowerCase(fileExtension(name)) == "mid";
  if (!writeUpperBank(*copy, isMid, path)) return false;
  // The name of the file that now holds the bank, whatever the caller called it.
  if (plug)
  {
    const size_t sep = path.find_last_of("/\\");
    plug->setUpperBankName(sep == std::string::npos ? path : path.substr(sep + 1));
  }
  return true;
}

bool PatchLibrarian::createNewPatchFile(PatchFile* source, const std::string& folderName, const std::string& fileName,
                                        const std::string& filePath, int bankNumber, std::string* writtenPath)
{
  if (!source || bankNumber < -1) return false;
  const size_t first = (size_t)kBankSlots * (size_t)(bankNumber + 1);
  if (first >= source->patches.size()) return false;
  const size_t count = std::min((size_t)kBankSlots, source->patches.size() - first);

  PatchFile bank;
  bank.patches.assign(source->patches.begin() + (long)first, source->patches.begin() + (long)(first + count));
  std::string stem = fileStem(fileName);
  if (splitInProgress) stem += " Singles " + std::to_string(bankNumber + 2);
  bank.fileName = stem + ".dvl";
  bank.folderName = folderName;
  fillUncompletedBankFiles(&bank);

  const size_t sep = filePath.find_last_of("/\\");
  const std::string dir = sep == std::string::npos ? std::string() : filePath.substr(0, sep + 1);
  // A bank of that name may exist already: the new one gets a name of its own.
  const std::string path = uniqueFilePath(dir, stem, ".dvl");
  ByteChunk out;
  appendBankBytes(bank, false, &out);
  std::string why;
  int err = 0;
  if (path.empty() || !writeFileAtomically(path, out.Data(), out.Size(), false, &why, &err))
  {
    splitWriteError = err;
    librarianLog(logTarget, "PATCH LIBRARIAN: could not write new bank %s%s: %s", dir.c_str(), bank.fileName.c_str(),
                 path.empty() ? "no free name" : why.c_str());
    return false;
  }
  if (writtenPath) *writtenPath = path;
  rescanRequested = true;
  return true;
}
