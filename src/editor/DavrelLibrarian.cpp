// The librarian page's controller half: its commands, the transfers between the
// banks and the synthesizer, file import and the help actions.

#include "editor/Davrel.h"

#include "base/log.h"
#include "config/ParamIds.h"
#include "gui/IControl.h"
#include "gui/IGraphics.h"
#include "hardware/MIDIMessageManager.h"
#include "hardware/SysexPacking.h"
#include "librarian/BankFormats.h"
#include "librarian/LibrarianFiles.h"
#include "librarian/PatchLibrarian.h"
#include "plug/ByteChunk.h"
#include "ui/ControlLayer.h"

#include <Poco/File.h>

#include <cstring>

namespace {

const char* const kWebSite = "https://www.quietharborsound.com";
const char* const kHelpSite = "https://help.quietharborsound.com";
const char* const kManualFile = "Rudu-Davrel-User-Manual.pdf";
const int kMessageBoxYesNo = 4, kAnswerYes = 6;

// The grid's selection as the controller sees it.
int gridUpperSelected(Davrel& d)
{
  return d.librarianLowerSide ? -1 : d.patchLibrarian ? d.patchLibrarian->selectedSlot.load() : 0;
}
int gridActiveColumn(Davrel& d) { return d.librarianLowerSide ? 1 : 0; }
void setGridCurrentSlot(Davrel& d, int slot)
{
  if (d.librarianLowerSide) d.lowerHighlightedSlot = slot;
  else d.upperHighlightedSlot = slot;
  d.librarianProgramNumber = slot;
}

// The text a text parameter's field entered (the field writes entry 0).
std::string enteredText(IParam* p) { return p ? p->GetDisplayText(0) : std::string(); }

}  // namespace

// ---- commands ----

bool Davrel::onLibrarianCommand(int paramIdx, int v)
{
  (void)paramIdx;
  (void)v;
  return false;
}

// ---- transfers ----

PatchFile* Davrel::librarianBank(int column)
{
  if (!patchLibrarian) return nullptr;
  if (column == 0) return patchLibrarian->bankAt(patchLibrarian->upperFileIndex);
  const int32_t i = patchLibrarian->lowerFileIndex;
  if (!searchActive) return patchLibrarian->bankAt(i);
  const std::vector<PatchFile*>& results = patchLibrarian->searchResultFiles;
  return (uint32_t)i < (uint32_t)results.size() ? results[(size_t)i] : nullptr;
}

void Davrel::sendPatchToDeviceFromLibrarian(int slot, int column)
{
  // A store whose send did not start must not turn the next ordinary send into one.
  if (!sendLibrarianSlot(slot, column)) storeLibrarianSend = false;
}

bool Davrel::sendLibrarianSlot(int slot, int column)
{
  if (paramValue(kPartLock + currentPart) == 1.0 || !patchLibrarian) return false;
  std::vector<uint8_t> program;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    PatchFile* bank = librarianBank(column);
    if (!bank) return false;
    if (bank->patches.size() < (size_t)kBankSlots) bank->patches.resize(kBankSlots);
    if ((uint32_t)slot >= (uint32_t)bank->patches.size() || bank->patches[(size_t)slot].messages.empty())
      return false;
    // The job keeps its own copy: a rescan may free the bank while it runs.
    program = bank->patches[(size_t)slot].messages.front().bytes;
  }
  setGridCurrentSlot(*this, slot);
  const bool store = storeLibrarianSend;
  if (!midiOutSet) return false;
  IMidiMsg change;
  change.mStatus = (uint8_t)(0xC0 | (paramInt(kGlobalMidiChannel) & 0x0F));
  change.mData1 = (uint8_t)(slot & 0x7F);
  change.mData2 = 0;
  sendMidiMsgAndLog(&change);

  SenderJob job(kSendPatchToDeviceFromLibrarian);
  job.program = std::move(program);
  job.slotNumber = slot;
  // The pause that lets the hardware take the program change runs on the transfer
  // thread, in the same order: T/2 and 50 ms, then edit mode off, then the dump.
  job.leadInMs = getTimerValue() / 2 + 50;
  job.editOffFirst = patchEditOn && store;
  job.storeAfterSend = store;
  if (startJob(job)) return true;
  // Dropped while another job runs: nothing waits for the edit-off any more.
  if (job.editOffFirst) SendPatchEditOffCommand();
  return false;
}

void Davrel::SendSingleProgramFromLibrarian(bool store)
{
  if (!patchLibrarian) return;
  storeLibrarianSend = store;
  const int column = gridUpperSelected(*this) < 0 ? 1 : 0;
  // With the selection in the lower column, its selected program is the one meant.
  const int slot = column == 0 ? patchLibrarian->selectedSlot.load() : patchLibrarian->lowerSelectedSlot.load();
  sendPatchToDeviceFromLibrarian(slot, column);
}

void Davrel::SendAllProgramsFromLibrarian()
{
  if (!patchLibrarian) return;
  patchLibrarian->selectedSlot = 0;
  storeAllPatchesToDeviceFromLibrarian(gridUpperSelected(*this) < 0 ? 1 : 0, 0);
}

void Davrel::storeAllPatchesToDeviceFromLibrarian(int column, int second)
{
  if (patchEditOn) SendPatchEditOffCommand();
  if (!midiOutSet || !patchLibrarian) return;
  SenderJob job(kStoreAllPatchesToDeviceFromLibrarian);
  job.storeBankSide = column;
  job.slotNumber = second;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    PatchFile* bank = librarianBank(column);
    if (!bank) return;
    for (const LibrarianPatch& slot : bank->patches)
      job.programs.push_back(slot.messages.empty() ? std::vector<uint8_t>() : slot.messages.front().bytes);
    job.programs.resize(kBankSlots);
  }
  startJob(job);
}

void Davrel::sendPartDataBackToHardware(int)
{
  SenderJob job(kSendPartDataBack);
  if (midiMessageManager && midiMessageManager->queueJobAfterRunningJob(job)) return;
  startJob(job);
}

void Davrel::feedSysExFromLibrarian(const uint8_t* msg, int size)
{
  if (!msg || size <= 0) return;
  ISysEx sysex(0, msg, size);
  routeSysEx(&sysex, true);
  if (rootLayer) rootLayer->setControlsDirty();
  if (midiMessageManager && midiMessageManager->dataProcessed) incomingSysExProcessed = true;
}

// ---- file prompts and saving ----

std::string Davrel::promptForOpenPath(const char* extensions)
{
  if (!graphics) return std::string();
  WDL_String file(""), dir(lastPromptFolder.c_str());
  std::vector<char> exts(extensions, extensions + strlen(extensions) + 1);
  graphics->PromptForFile(&file, kFileOpen, &dir, exts.data());
  if (file.GetLength()) lastPromptFolder = dir.Get();
  return file.Get();
}

std::string Davrel::promptForSavePath(const std::string& suggestedName, const std::string& folder,
                                      const char* extension)
{
  if (!graphics) return std::string();
  WDL_String file(suggestedName.c_str());
  WDL_String dir(folder.empty() ? (getPatchesFolderStr() + "/").c_str() : folder.c_str());
  const char* e = extension ? extension : "";
  std::vector<char> exts(e, e + strlen(e) + 1);
  graphics->PromptForFile(&file, kFileSave, &dir, exts.data());
  if (file.GetLength()) lastPromptFolder = dir.Get();
  return file.Get();
}

bool Davrel::saveUpperBankAs(bool isMid)
{
  if (!patchLibrarian) return false;
  std::string folder = getPatchesFolderStr() + "/";
  std::string suggested = upperBankName;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    if (const PatchFile* upper = patchLibrarian->bankAt(patchLibrarian->upperFileIndex))
    {
      for (size_t i = 1; i < upper->pathFolders.size(); ++i) folder += upper->pathFolders[i] + "/";
      suggested = fileStem(upper->fileName);
    }
  }
  suggested = fileStem(suggested) + (isMid ? ".mid" : ".dvl");
  if (!patchLibrarian->savePatchAs(suggested.c_str(), folder, isMid)) return false;
  bankSaved(upperBankFolder, upperBankName);
  return true;
}

bool Davrel::saveUpperBank()
{
  if (!patchLibrarian) return false;
  std::string path, name;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    const PatchFile* upper = patchLibrarian->bankAt(patchLibrarian->upperFileIndex);
    if (!upper) return false;
    path = getPatchesFolderStr() + "/";
    for (size_t i = 1; i < upper->pathFolders.size(); ++i) path += upper->pathFolders[i] + "/";
    path += upper->fileName;
    name = upper->fileName;
  }
  if (!patchLibrarian->saveEditedPatch(path, name)) return false;
  const size_t sep = path.find_last_of('/');
  const std::string dir = path.substr(0, sep);
  bankSaved(dir.substr(dir.find_last_of('/') + 1), upperBankName);
  return true;
}

void Davrel::bankSaved(const std::string& folder, const std::string& fileName)
{
  pushToControls(kBankEditUnsaved, 0.0);
  if (discardChangesLayerRight) discardChangesLayerRight->Hide(true);
  if (keepBankOpenLayer) keepBankOpenLayer->Hide(false);
  if (ControlLayer* chooser = findLayer("LeftPatchPopupMenu")) chooser->Hide(false);
  if (IControl* c = firstControl(kDataType)) c->GrayOut(false);
  // A new file is listed, and the bank just saved stays in the upper column.
  patchLibrarian->initBankFilesOnDiscard(getPatchesFolderStr());
  int found = 0;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    for (size_t i = 0; i < patchLibrarian->patchFiles.size(); ++i)
    {
      const PatchFile* b = patchLibrarian->patchFiles[i];
      if (b->fileName == fileName && b->folderName == folder)
      {
        found = (int)i;
        break;
      }
    }
    patchLibrarian->upperFileIndex = found;
    patchLibrarian->lowerFileIndex = 0;
  }
  upperBankFolder = folder;
  upperBankName = fileName;
  updatePatchLibrarianView(2);
}

// ---- file import ----

void Davrel::saveImportedFile(bool mid)
{
  if (!graphics) return;
  const std::string path = promptForOpenPath(mid ? "mid" : "syx");
  if (path.empty()) return;
  ByteChunk data;
  std::string why;
  if (!readWholeFile(path, &data, &why))
  {
    logLine("FILE IMPORTER: could not read " + path + ": " + why);
    return;
  }
  const size_t sep = path.find_last_of('/');
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  const std::string dest = getPatchesFolderStr() + "/" + name;
  try
  {
    Poco::File(getPatchesFolderStr()).createDirectories();
    if (Poco::File(dest).exists())
    {
      const std::string question = "A bank named \"" + name + "\" is already in Patches. Replace it?";
      if (graphics->ShowMessageBox(question.c_str(), "Import", kMessageBoxYesNo) != kAnswerYes)
      {
        showNameLine("Import cancelled");
        showValueLine("The bank in Patches was kept");
        return;
      }
    }
  }
  catch (const std::exception& e)
  {
    logLine(std::string("FILE IMPORTER: ") + e.what());
    return;
  }
  if (debugLogEnabled) logLine("FILE IMPORTER: patch file copied to " + getPatchesFolderStr());
  if (!writeFileAtomically(dest, data.Data(), data.Size(), true, &why))
  {
    logLine("FILE IMPORTER: could not write " + dest + ": " + why);
    showNameLine("Import failed!");
    showValueLine("The file could not be copied");
  }
}

void Davrel::ImportSinglePatches()
{
  if (!graphics || !patchLibrarian) return;
  const std::string path = promptForOpenPath("mid syx prg");
  if (path.empty()) return;
  ByteChunk data;
  std::string why;
  if (!readWholeFile(path, &data, &why))
  {
    logLine("FILE IMPORTER: could not read " + path + ": " + why);
    return;
  }
  const int first = patchLibrarian->selectedSlot;
  importStored = importLost = 0;
  int position = 0;
  while (ReadSysExDataFromPackage(&data, position, path) > 0)
  {
  }
  // The selection stays where the user put it; the programs went from there on.
  patchLibrarian->selectedSlot = first;
  if (importLost > 0)
  {
    showNameLine(std::to_string(importStored) + " imported, " + std::to_string(importLost) + " not imported");
    showValueLine("No slot left after slot 128");
  }
  else if (importStored > 0)
    showNameLine(std::to_string(importStored) + (importStored == 1 ? " program imported" : " programs imported"));
}

int Davrel::ReadSysExDataFromPackage(ByteChunk* data, int& position, std::string)
{
  const uint8_t* b = data ? data->Data() : nullptr;
  const int n = data ? data->Size() : 0;
  if (position < 0) position = 0;
  while (position < n && b[position] != 0xF0) ++position;
  if (position >= n)
  {
    position = -1;
    return -1;
  }
  if (++position >= n)
  {
    position = 0;
    return 0;
  }
  if (b[position++] != 0x82) return position;
  if (position >= n)
  {
    position = -1;
    return -1;
  }
  if (b[position++] != 0x28) return position;
  const int start = position;
  int end = start;
  while (end < n && b[end] != 0xF7) ++end;
  if (end >= n)
  {
    position = 0;
    return 0;
  }
  position = end + 2;
  // Only a whole program dump goes into a slot: F0, 295 bytes, F7.
  std::vector<uint8_t> msg;
  msg.reserve((size_t)(end - start + 2));
  msg.push_back(0xF0);
  msg.insert(msg.end(), b + start, b + end);
  msg.push_back(0xF7);
  if (!isProgramDump(msg.data(), (int)msg.size())) return position;

  const int slot = patchLibrarian ? patchLibrarian->selectedSlot.load() : -1;
  if ((uint32_t)slot >= (uint32_t)kBankSlots)
  {
    ++importLost;
    return position;
  }
  SetLibrarianRequestActive(true);
  feedSysExFromLibrarian(msg.data(), (int)msg.size());
  if (midiMessageManager && midiMessageManager->dataProcessed)
  {
    ++importStored;
    // Each program of the file gets a slot of its own.
    patchLibrarian->selectedSlot = slot + 1;
    SetLibrarianStatusUnsaved(true);
  }
  else
    ++importLost;
  return position;
}

// ---- help ----

void Davrel::OpenDataDirectory(bool manual)
{
  if (!graphics) return;
  const std::string location = getDataFolder() + (manual ? kManualFile : "");
  graphics->OpenURL(location.c_str(), nullptr, nullptr, nullptr);
}

void Davrel::OpenHelpTopics(int page)
{
  if (!graphics) return;
  std::string location;
  switch (page)
  {
    case 0: location = std::string(kWebSite) + "/my-tickets/"; break;
    case 1: location = std::string(kWebSite) + "/downloads/"; break;
    case 2: location = std::string(kHelpSite) + "/kb/articles/"; break;
    default: return;
  }
  graphics->OpenURL(location.c_str(), nullptr, nullptr, nullptr);
}
