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
#include "librarian/view/BankChooserMenus.h"
#include "librarian/view/LibrarianViewControl.h"
#include "plug/ByteChunk.h"
#include "ui/ControlLayer.h"

#include <Poco/File.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

const char* const kWebSite = "https://www.quietharborsound.com";
const char* const kHelpSite = "https://help.quietharborsound.com";
const char* const kManualFile = "Rudu-Davrel-User-Manual.pdf";
const int kMessageBoxYesNo = 4, kAnswerYes = 6;

// The grid's selection as the controller sees it (no grid: the upper column's slot).
int gridUpperSelected(Davrel& d)
{
  if (d.librarianView) return d.librarianView->upperSelected;
  return d.patchLibrarian ? d.patchLibrarian->selectedSlot.load() : -1;
}
int gridActiveColumn(Davrel& d) { return d.librarianView ? d.librarianView->activeColumn.load() : 0; }
void setGridCurrentSlot(Davrel& d, int slot)
{
  if (d.librarianView) d.librarianView->currentSlot = slot;
  // The request and store jobs read the slot through the hardware side's fields.
  d.librarianProgramNumber = slot;
}

// The text a text parameter's field entered (the field writes entry 0).
std::string enteredText(IParam* p) { return p ? p->GetDisplayText(0) : std::string(); }

}  // namespace

// ---- commands ----

bool Davrel::onLibrarianCommand(int paramIdx, int v)
{
  switch (paramIdx)
  {
    case kLibUpperNextBank:
    case kLibUpperPreviousBank:
    case kLibLowerNextBank:
    case kLibLowerPreviousBank:
      if (v != 0) stepBank(paramIdx >= kLibLowerNextBank ? 1 : 0, paramIdx == kLibUpperNextBank || paramIdx == kLibLowerNextBank);
      return true;
    case kPatchSearchString: return searchEntered();
    case kPatchSearch:
      if (v == 1)
      {
        if (searchFieldLayer) searchFieldLayer->Hide(false);
        searchActive = true;
        // From here on the lower column's programs are the search's: it shows them,
        // so that a drag or a send takes the program it shows.
        showSearchResults();
      }
      else
      {
        searchActive = false;
        GetParam(kPatchSearchString)->SetDisplayText(0, "search...");
        if (searchFieldLayer) searchFieldLayer->Hide(true);
        patchTypeChanged(0, 0, false);
        // Both choosers lie over the lower column's caption: the search's goes, or
        // it would go on offering the search's banks over the bank files.
        hideLayerNamed("RightSearchPopupMenu", true);
        hideLayerNamed("RightPatchPopupMenu", false);
      }
      return false;
    case kDataType:
      hideLayerNamed("LeftPatchPopupMenu", true);
      hideLayerNamed("RightPatchPopupMenu", true);
      hideLayerNamed("RightSearchPopupMenu", true);
      if (v == 1) return false;
      patchTypeChanged(0, 0, false);
      hideLayerNamed("LeftPatchPopupMenu", false);
      if (IControl* c = firstControl(kPatchSearch)) c->GrayOut(false);
      patchTypeChanged(0, searchActive ? 4 : 0, false);
      hideLayerNamed(searchActive ? "RightSearchPopupMenu" : "RightPatchPopupMenu", false);
      return false;
    case kRefreshFolders:
      patchTypeChanged(0, 0, true);
      if (searchActive && patchLibrarian)
      {
        // The rescan dropped the search's banks with the old ones: the same text
        // searches the banks as they are now.
        const std::string text = enteredText(GetParam(kPatchSearchString));
        patchLibrarian->clearDataStructures(3);
        if (text.size() >= 2 && text != "search...") patchLibrarian->createNewSearchPatchFiles(text);
        showSearchResults();
      }
      return false;
    case kPatchRename: renameSelectedSlot(); return false;
    case kDiscardBankData:
      if (v == 1) discardBankEdits();
      return false;
    case kOverwriteBank:
      // The button's release says it again: its display would hide the refusal.
      if (gridActiveColumn(*this) == 0 && !upperBankOpenForRequest()) return false;
      if (v == 1 && gridActiveColumn(*this) == 0)
      {
        sendGlobalWithProgram = false;
        startProgramSend(true);
      }
      return false;
    case kPatchName:
    {
      // Clicking the name and away, or the entry's second hand-over, must not send
      // the whole program over what was changed on the synthesizer's panel meanwhile.
      const std::string name = enteredText(GetParam(kPatchName));
      if (name == knownProgramName) return true;
      globalSent = true;
      if (startProgramSend(false)) knownProgramName = name;
      return false;
    }
    case kPushArrangement:
      if (v == 0) return true;
      globalSent = false;
      sendGlobalWithProgram = true;
      startProgramSend(false);
      return false;
    case kPatchUp:
    case kPatchDown:
      if (v != 0) stepProgram(paramIdx == kPatchUp ? 1 : -1);
      return true;
    case kReadFromTimbre1:
    case kReadFromTimbre2:
    case kLoadToTimbre1:
    case kLoadToTimbre2:
      chooseCopyTimbre(paramIdx, v);
      return false;
    case kStorePatchToLib:
      // "Send to Rudu": the selected slot to the synthesizer's edit buffer.
      if (v == 1) SendSingleProgramFromLibrarian(false);
      return false;
    case kRequestFromBank:
      // "Request Bank": every program of the synthesizer's memory into the upper bank.
      if (!upperBankOpenForRequest()) return false;
      if (v == 1) startSenderJob(allPatchesRequest());
      return false;
    default: return false;
  }
}

void Davrel::stepBank(int column, bool next)
{
  if (!patchLibrarian) return;
  // The answer of a waiting request goes into the upper bank it was made for: the
  // column keeps showing that bank, so the edit is seen, marked unsaved and saved there.
  // Once the request has timed out the bank may go; an answer after that is taken
  // only while its bank is still shown.
  if (column == 0 && midiMessageManager && transferJobRunning() &&
      (midiMessageManager->libraryPatchRequest.libraryRequestActive.load() ||
       midiMessageManager->libraryPatchRequestAll.libraryRequestAllActive.load()))
  {
    showNameLine("Wait for the request to end!");
    return;
  }
  if (column == 0 && paramValue(kBankEditUnsaved) == 1.0)
  {
    showNameLine("Save bank or Discard changes!");
    return;
  }
  IParam* p = GetParam(column ? kPatchSelectionListLower : kPatchSelectionListUpper);
  const int c = p->Int(), max = (int)p->GetMax();
  int n = next ? c + 1 : c - 1;
  if (next && n > max) n = 0;
  if (!next && c < 1) n = max;
  p->Set(n);
  n = p->Int();
  if (IControl* caption = column ? lowerListControl : upperListControl) caption->SetValueFromPlug(p->GetNormalized());
  if (column == 0)
  {
    patchLibrarian->upperFileIndex = n;
    rememberBankChoice(0, n);
    if (leftPatchPopupMenu) leftPatchPopupMenu->checkMenuItemAlone(patchLibrarian, this, n);
    updatePatchLibrarianView(0);
    return;
  }
  patchLibrarian->lowerFileIndex = n;
  rememberBankChoice(1, n);
  if (!searchActive)
  {
    if (rightPatchPopupMenu) rightPatchPopupMenu->checkMenuItemAlone(patchLibrarian, this, n);
  }
  else if (rightSearchPopupMenu)
    rightSearchPopupMenu->refreshFolderStructure(patchLibrarian, this, n, lowerBankName, lowerBankFolder);
  updatePatchLibrarianView(1);
}

bool Davrel::searchEntered()
{
  dropControlLine();
  IParam* p = GetParam(kPatchSearchString);
  const std::string text = enteredText(p);
  // The field's own placeholder, written below after an empty, short or fruitless
  // entry: the text entry hands every entry over twice, and the second time the
  // placeholder is no text the user typed.
  if (text == "search...") return true;
  if (text.empty())
  {
    searchActive = false;
    p->SetDisplayText(0, "search...");
    // Back to the banks: the lower column and its list leave the search's banks.
    hideLayerNamed("RightSearchPopupMenu", true);
    patchTypeChanged(0, 0, false);
    hideLayerNamed("RightPatchPopupMenu", false);
    return false;
  }
  if (text.size() == 1)
  {
    p->SetDisplayText(0, "search...");
    showNameLine("Enter 2 digits or more!");
    return false;
  }
  // Every text of two or more characters is searched: opening the field already set
  // searchActive, and the field stays open for the next text.
  if (!patchLibrarian) return false;
  searchActive = true;
  hideLayerNamed("RightPatchPopupMenu", true);
  patchLibrarian->clearDataStructures(3);
  patchLibrarian->createNewSearchPatchFiles(text);
  bool found;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    found = !patchLibrarian->searchResultFiles.empty();
  }
  if (!found)
  {
    showNameLine("No results - Try another keyword!");
    showValueLine("Tip: Note that letter size matters..");
    p->SetDisplayText(0, "search...");
    // The last search's banks are gone: neither the column nor the chooser may
    // still offer them.
    showSearchResults();
    return true;
  }
  showSearchResults();
  return false;
}

void Davrel::showSearchResults()
{
  patchTypeChanged(0, 4, false);
  hideLayerNamed("RightPatchPopupMenu", true);
  if (paramInt(kMainPage) == 1) hideLayerNamed("RightSearchPopupMenu", false);
}

void Davrel::renameSelectedSlot()
{
  if (!renameClosed && patchLibrarian)
  {
    std::vector<uint8_t> copy;
    bool renamed = false;
    {
      WDL_MutexLock lock(&patchLibrarian->libraryMutex);
      PatchFile* upper = patchLibrarian->bankAt(patchLibrarian->upperFileIndex);
      const int slot = gridUpperSelected(*this);
      if (upper)
      {
        renamed = true;
        if (upper->patches.size() < (size_t)kBankSlots) upper->patches.resize(kBankSlots);
        if ((uint32_t)slot < (uint32_t)upper->patches.size())
        {
          std::string name = enteredText(GetParam(kPatchRename));
          name.resize(12, '\0');
          LibrarianPatch& target = upper->patches[(size_t)slot];
          target.name = name.substr(0, name.find('\0'));
          // The search's name table must see the new name.
          patchLibrarian->slotNamesChanged();
          const PatchBytes* first = target.messages.empty() ? nullptr : &target.messages.front().bytes;
          if (first && isProgramDump(first->data(), (int)first->size()))
          {
            copy = *first;
            // Program data is 7-bit: a character outside ASCII must not set a top bit.
            for (int i = 0; i < 12; ++i) copy[(size_t)(i < 7 ? 6 + i : 7 + i)] = (uint8_t)(name[(size_t)i] & 0x7F);
          }
          patchLibrarian->selectedSlot = slot;
        }
      }
    }
    if (renamed)
    {
      // The renamed program into its slot, never into a request that waits meanwhile.
      if (!copy.empty() && paramValue(kDataType) == 0.0) feedSysExFromLibrarian(copy.data(), (int)copy.size());
      if (discardChangesLayerRight) discardChangesLayerRight->Hide(false);
      if (keepBankOpenLayer) keepBankOpenLayer->Hide(true);
      setParamClamped(kBankEditUnsaved, 1.0);
      dropBankSavedLine();
      if (IControl* c = firstControl(kDataType)) c->GrayOut(true);
      hideLayerNamed("LeftPatchPopupMenu", true);
      updatePatchLibrarianView(0);
    }
  }
  if (patchRenameLayer) patchRenameLayer->Hide(true);
  renameClosed = true;
}

void Davrel::discardBankEdits()
{
  if (discardChangesLayerRight) discardChangesLayerRight->Hide(true);
  if (keepBankOpenLayer) keepBankOpenLayer->Hide(false);
  if (patchRenameLayer) patchRenameLayer->Hide(true);
  pushToControls(kBankEditUnsaved, 0.0);
  dropBankSavedLine();
  if (IControl* c = firstControl(kDataType)) c->GrayOut(true);
  hideLayerNamed("LeftPatchPopupMenu", false);
  // The banks come back from disk; the one being edited stays in the upper column.
  rescanKeepingUpperBank(upperBankPath);
  if (saveChangesLayer) saveChangesLayer->Hide(false);
  flashProcessingIndicator();
}

std::string Davrel::savedBankKey(const std::string& path) const
{
  const std::string root = getPatchesFolderStr() + "/";
  return path.compare(0, root.size(), root) == 0 ? path.substr(root.size()) : std::string();
}

void Davrel::rescanKeepingUpperBank(const std::string& key, const std::string& otherwise)
{
  OnParamChange(kRefreshFolders);
  if (!patchLibrarian) return;
  int found = -1;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    for (const std::string& k : {key, otherwise})
      for (size_t i = 0; !k.empty() && i < patchLibrarian->patchFiles.size() && found < 0; ++i)
        if (bankPathKey(patchLibrarian->patchFiles[i]) == k) found = (int)i;
  }
  if (found < 0) return;
  setParamClamped(kPatchSelectionListUpper, found);
  if (upperListControl) upperListControl->SetValueFromPlug(GetParam(kPatchSelectionListUpper)->GetNormalized());
  patchLibrarian->upperFileIndex = found;
  rememberBankChoice(0, found);
  if (leftPatchPopupMenu) leftPatchPopupMenu->checkMenuItemAlone(patchLibrarian, this, found);
  updatePatchLibrarianView(0);
}

bool Davrel::startProgramSend(bool toLibrarian)
{
  MIDIMessageManager* m = midiMessageManager;
  if (!m) return false;
  if (!toLibrarian && !midiOutSet)
  {
    m->libraryPatchRequest.libraryRequestActive = false;
    return false;
  }
  SenderJob job(kSendArrangementToDevice);
  job.toLibrarian = toLibrarian;
  // A send to the hardware ends the librarian's program request as it starts: one
  // dropped while that request waits leaves it its collector.
  job.atStart = [m, toLibrarian] {
    m->sendPending = true;
    if (!toLibrarian) m->libraryPatchRequest.libraryRequestActive = false;
  };
  return startJob(job);
}

void Davrel::stepProgram(int step)
{
  bool refused = false;
  if (patchEditOn) SendPatchEditOffCommand();
  storeLibrarianSend = false;
  if (paramValue(kPartLock) == 1.0) return;
  if (midiOutSet && midiMessageManager)
  {
    midiMessageManager->programStepReady = false;
    if (paramValue(kControlLibrary) == 1.0)
    {
      const int from = librarianView ? librarianView->currentSlot.load() : currentProgram;
      const int slot = (from + step + 128) % 128;
      const int column = gridActiveColumn(*this);
      if (librarianView)
      {
        (column ? librarianView->lowerSelected : librarianView->upperSelected) = slot;
        librarianView->currentSlot = slot;
      }
      (column ? patchLibrarian->lowerSelectedSlot : patchLibrarian->selectedSlot) = slot;
      currentProgram = slot;
      pushToControls(kCurrentPatch, slot);
      sendPatchToDeviceFromLibrarian(slot, column);
    }
    else if (paramValue(kMIDIFilterProgramChange) != 1.0)
      refused = true;
    else
    {
      const int program = (paramInt(kCurrentPatch) + step + 128) % 128;
      currentProgram = program;
      if (librarianView) librarianView->currentSlot = program;
      pushToControls(kCurrentPatch, program);
      // The program change goes now; the half wait unit the hardware needs before the
      // request is the request job's lead-in, so the main thread never sleeps.
      IMidiMsg change;
      change.mStatus = (uint8_t)(0xC0 | (paramInt(kGlobalMidiChannel) & 0x0F));
      change.mData1 = (uint8_t)program;
      change.mData2 = 0;
      sendMidiMsgAndLog(&change);
      SenderJob request = editorRequest(kSendPartRequest, 0);
      request.leadInMs = getTimerValue() / 2;
      // The selected slot (where a librarian request's answer lands) and the answer's
      // way to the editor change as the request starts: dropped while a librarian
      // request waits, the step leaves that request its slot and its collector.
      request.atStart = [this, program] {
        if (librarianView) librarianView->upperSelected = program;
        patchLibrarian->selectedSlot = program;
        SetLibrarianRequestActive(false);
      };
      startJob(request);
      sendPartDataBackToHardware(0);
    }
    midiMessageManager->programStepReady = true;
  }
  if (librarianView) librarianView->currentSlot = currentProgram;
  const std::string valueBefore = valueLine();
  OnParamChange(kMainPage);
  // After the page's redraw, which names the page over both lines: the refusal is
  // what the click did, beside the value the line showed before.
  if (refused)
  {
    showNameLine("Program Change Disabled.");
    showValueLine(valueBefore);
  }
}

void Davrel::chooseCopyTimbre(int paramIdx, int v)
{
  const bool read = paramIdx == kReadFromTimbre1 || paramIdx == kReadFromTimbre2;
  const int first = read ? kReadFromTimbre1 : kLoadToTimbre1;
  const int self = paramIdx, other = paramIdx == first ? first + 1 : first;
  std::atomic<bool>& selfFlag = read ? (self == first ? readFromTimbre1 : readFromTimbre2)
                                     : (self == first ? loadToTimbre1 : loadToTimbre2);
  std::atomic<bool>& otherFlag = read ? (self == first ? readFromTimbre2 : readFromTimbre1)
                                      : (self == first ? loadToTimbre2 : loadToTimbre1);
  if (v == 1)
  {
    selfFlag = true;
    otherFlag = false;
    if (IControl* c = firstControl(other)) c->SetValueFromUserInput(0.0);
    setParamClamped(other, 0);
    // The pair's release wrote its own name on the display: the line names the button clicked.
    if (graphics) displayParamChange(self, 1.0, false);
  }
  else
  {
    selfFlag = false;
    if (paramValue(other) == 0.0) otherFlag = false;
    if (IControl* c = firstControl(self)) c->SetValueFromUserInput(0.0);
    setParamClamped(self, 0);
  }
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
  // The slot the grid shows as selected: a request of all programs moves the
  // librarian's own slot along as it stores, and a cancelled one leaves it there.
  // With the selection in the lower column, its selected program is the one meant.
  int slot;
  if (librarianView)
    slot = column == 0 ? librarianView->upperSelected.load() : librarianView->lowerSelected.load();
  else
    slot = column == 0 ? patchLibrarian->selectedSlot.load() : patchLibrarian->lowerSelectedSlot.load();
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
      job.programs.push_back(slot.messages.empty() ? std::vector<uint8_t>() : std::vector<uint8_t>(slot.messages.front().bytes));
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

bool Davrel::feedSysExFromLibrarian(const uint8_t* msg, int size)
{
  if (!msg || size <= 0) return false;
  LibrarianFeedScope feed;
  ISysEx sysex(0, msg, size);
  routeSysEx(&sysex, true);
  if (rootLayer) rootLayer->setControlsDirty();
  return feed.taken;
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
  std::string chosen = file.Get();
  // A name without one of the bank files' own extensions (a panel that adds none)
  // would be passed over by every scan, and the bank saved never opened again.
  if (!chosen.empty() && *e)
  {
    const size_t sep = chosen.find_last_of('/');
    std::string ext = fileExtension(chosen.substr(sep == std::string::npos ? 0 : sep + 1));
    for (char& c : ext) c = (char)tolower((unsigned char)c);
    if (ext != "mid" && ext != "syx" && ext != "dvl" && ext != "wvb") chosen += std::string(".") + e;
  }
  // A file that is there already was confirmed in the panel, which asks before it
  // answers one.
  lastSavePath = chosen;
  return lastSavePath;
}

// ---- file import ----

void Davrel::saveImportedFile(bool mid)
{
  if (!graphics) return;
  // The menu offers every raw form a bank file comes in.
  const std::string path = promptForOpenPath(mid ? "mid" : "syx dvl wvb");
  if (path.empty()) return;
  ByteChunk data;
  std::string why;
  if (!readWholeFile(path, &data, &why))
  {
    logLine("FILE IMPORTER: could not read " + path + ": " + why);
    showNameLine("Import failed!");
    showValueLine("The file could not be read");
    return;
  }
  const size_t sep = path.find_last_of('/');
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  const std::string dest = getPatchesFolderStr() + "/" + name;
  // A file the scan would pass over is refused before anything is asked or written:
  // the banks' folder stays as it was, and the choosers never offer it.
  PatchLibrarian probe;
  PatchFile programs;
  probe.loadFromChunk(&data, data.Size(), &programs, 0);
  if (programs.patches.empty() || data.Size() < kMinScannedFileSize)
  {
    showNameLine("Not a bank: ", name);
    showValueLine(programs.patches.empty()       ? "No program found in it"
                  : programs.patches.size() == 1 ? "Single programs: a slot's Paste or Request"
                                                 : "Too short to be listed");
    return;
  }
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
    showNameLine("Import failed!");
    showValueLine("The bank folder could not be made");
    return;
  }
  if (debugLogEnabled) logLine("FILE IMPORTER: patch file copied to " + getPatchesFolderStr());
  int err = 0;
  if (!writeFileAtomically(dest, data.Data(), data.Size(), true, &why, &err))
  {
    logLine("FILE IMPORTER: could not write " + dest + ": " + why);
    showNameLine("Import failed!");
    showValueLine(writeFailureText(err, "The file could not be copied"));
    return;
  }
  showNameLine("Bank imported: ", name);
  showValueLine("");
  // More programs than a bank holds: the rescan that follows splits the file into
  // banks and moves it out of Patches, and the display then names those banks.
  importAwaitingSplit = programs.patches.size() > (size_t)kBankSlots ? dest : std::string();
  if (!importAwaitingSplit.empty())
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    patchLibrarian->importedCopies.insert(dest);
  }
}

void Davrel::reportImportSplit()
{
  if (importAwaitingSplit.empty() || !patchLibrarian) return;
  std::vector<std::string> made;
  int error = 0;
  {
    WDL_MutexLock lock(&patchLibrarian->libraryMutex);
    auto it = patchLibrarian->lastSplits.find(importAwaitingSplit);
    if (it != patchLibrarian->lastSplits.end()) made = it->second;
    auto f = patchLibrarian->failedSplits.find(importAwaitingSplit);
    if (f != patchLibrarian->failedSplits.end()) error = f->second;
  }
  const size_t sep = importAwaitingSplit.find_last_of('/');
  const std::string source = importAwaitingSplit.substr(sep + 1);
  importAwaitingSplit.clear();
  auto fileName = [](const std::string& p) { return p.substr(p.find_last_of('/') + 1); };
  if (made.empty())
  {
    showNameLine("Bank not listed: ", source);
    showValueLine(writeFailureText(error, "It could not be split into banks"));
    return;
  }
  showNameLine(made.size() == 1 ? "Bank imported: " : "Banks imported: ", fileName(made.front()));
  if (made.size() == 1)
    showValueLine("");
  else
    showValueLine(made.size() == 2 ? "and " : "to ", fileName(made.back()));
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
    showValueLine((uint32_t)first < (uint32_t)kBankSlots ? "No slot left after slot 128"
                                                         : "Select a slot of the upper bank first");
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
  if ((uint32_t)slot >= (uint32_t)kBankSlots || !patchLibrarian->bankAt(patchLibrarian->upperFileIndex))
  {
    ++importLost;
    return position;
  }
  if (feedSysExFromLibrarian(msg.data(), (int)msg.size()))
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
