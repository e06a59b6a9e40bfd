#pragma once
// The patch librarian: every bank under the data folder's "Patches" folder, the banks
// of the last search, the folder trees of the chooser menus, the bank and slot shown
// in each grid column and the state of an all-programs request from the hardware.
//
// Threads: the main thread scans, searches and saves; the MIDI input thread and the
// transfer jobs store received programs (setSysexDatatoSelectedSlot) and hand in
// all-programs dumps (loadFromChunk). The lists are guarded by libraryMutex, which
// every operation here that changes them takes; readers on other threads (grid,
// transfer jobs) take it too. A scan reads and cuts its files on threads of its own
// and on helpScan's caller; those touch none of the lists.

#include "librarian/LibrarianLog.h"
#include "librarian/LibrarianTypes.h"

#include "base/mutex.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <signal.h>

class ByteChunk;
class LibrarianHost;
namespace Poco
{
class File;
class Path;
}

// A bank's whole path below "Patches": its folders, then its file name.
std::string bankPathKey(const PatchFile* bank);

class PatchLibrarian
{
public:
  explicit PatchLibrarian(LibrarianHost* plug = nullptr);
  ~PatchLibrarian();
  PatchLibrarian(const PatchLibrarian&) = delete;
  PatchLibrarian& operator=(const PatchLibrarian&) = delete;

  std::atomic<int32_t> upperFileIndex{0};   // into patchFiles
  std::atomic<int32_t> lowerFileIndex{-1};  // into patchFiles, or searchResultFiles while a search is shown
  int32_t splitBankCount = 0;               // banks the last split made
  std::atomic<bool> headerMissing{true};    // the last buffer read held no program of the synthesizer
  bool splitInProgress = false;             // the file being parsed is being split
  bool rescanRequested = false;             // the running scan wrote a new bank file
  LibrarianHost* plug;                      // not owned
  LibrarianLogTarget logTarget;             // where this librarian's log lines go
  // How the scan's sweep asks whether the writer of a temporary file lives (kill(pid,
  // 0)); a test meets another user's process (EPERM) through it.
  int (*processProbe)(pid_t pid, int signal) = &::kill;
  std::atomic<int32_t> allPatchesRequestIndex{0};
  std::atomic<bool> allPatchesRequestActive{false};
  std::atomic<int32_t> selectedSlot{0};
  std::atomic<int32_t> lowerSelectedSlot{0};
  std::vector<std::string> folderPaths;
  std::vector<PatchFile*> patchFiles;         // owned
  std::vector<PatchFile*> searchResultFiles;  // owned
  std::vector<FolderFiles*> folderTree;       // owned entries
  std::vector<FolderFiles*> searchFolderTree; // owned entries
  // Inside the plug-in's mutex (IPlugBase::mMutex) where a thread holds both: the
  // main thread, the MIDI input thread and the transfer jobs take that one first.
  // A thread that holds this one takes the plug-in's mutex only when it holds it
  // already (a scan under the main thread's dispatch feeding a program back).
  WDL_Mutex libraryMutex;

  // 0 empties folderTree, 3 searchFolderTree (their banks stay); other values do nothing.
  void clearDataStructures(int which);

  // The bank of patchFiles at index, or null when the index selects none.
  PatchFile* bankAt(int32_t index) const;

  // Folder scan -------------------------------------------------------------
  // Lists every bank under root (the bank root, no closing "/"). Files of more than
  // 128 programs are split into new banks beside them and moved to "Converted Banks";
  // the scan then runs once more. File-system errors skip the file or folder with a
  // log line; nothing throws. busyProcessors: processors that other threads of the
  // process keep busy meanwhile (one that calls helpScan once it is free, say); the
  // scan starts that many fewer threads of its own.
  void loadPatchesFromFilesystem(std::string root, int busyProcessors = 0);
  // What the last scan split: a split file's path (as the scan found it) to the paths
  // of the banks made from it, in order. Under libraryMutex.
  std::map<std::string, std::vector<std::string>> lastSplits;
  // What the last scan could not split: a file's path to the error a bank's write
  // failed with (0: another cause, a move say). Under libraryMutex.
  std::map<std::string, int> failedSplits;
  // Files the importer has just copied into Patches for the next scan to split: a
  // split of one that fails removes the copy (the file chosen stays where it was),
  // where a file of the user's own stays in place. Under libraryMutex; every scan
  // empties it.
  std::set<std::string> importedCopies;
  // The user rescan: drops every bank, both trees and the search, then scans root.
  void initBankFilesOnDiscard(std::string root);
  // Threads that read and parse the bank files of a scan, the scanning thread among
  // them; 0: one a processor the process may run on, at most kMaxScanThreads. Whatever
  // the count, the scan lists, logs and splits in the same order on the scanning thread.
  enum { kMaxScanThreads = 4 };
  int scanThreads = 0;
  // Reads and parses files of the running scan until none is left to take, then
  // returns; returns at once when no scan runs. For a thread that would otherwise
  // wait for the scan (the editor's constructor); any thread but the scanning one.
  // A failure in a file is handed to the scanning thread, never thrown here.
  void helpScan();
  // For tests: called with each candidate file's path on the thread about to read it.
  static void (*scanFileProbe)(const std::string& path);
  // Appends every folder below dir, each after the folders below it.
  void buildFolderStructure(const std::string& dir, std::vector<std::string>* out);
  // Reads one candidate file; returns the listed bank, or null when it was not listed
  // (no program in it, unreadable, or split).
  PatchFile* parseFolderFiles(const Poco::File& file, const Poco::Path& path, int level, const std::string& extension);
  // Enters a listed bank into folderTree by its pathFolders.
  void createFolderFilesStructure(PatchFile* bank);

  // Reading -----------------------------------------------------------------
  // Appends to bank every program the buffer holds: program dumps, all-program and
  // all-data dumps, back to back in a system-exclusive file or as events of a Standard
  // MIDI File. Damaged and foreign messages are dropped with a log line. While
  // allPatchesRequestActive is set the programs are also fed to the controller, and
  // the request ends here. isMid is not needed: files are known by their content.
  void loadFromChunk(ByteChunk* chunk, int size, PatchFile* bank, int isMid);
  // Takes the next complete message at or after position out of the first size bytes
  // of a buffer of back-to-back system-exclusive messages and appends its programs to
  // bank; bytes outside messages are passed over. Returns the position after it, or -1
  // when no message is left. Unfinished and foreign messages add to *dropped.
  int processSysExFile(ByteChunk* chunk, int size, int& position, PatchFile* bank, int* dropped);
  // Appends the programs of one complete message; false when it is none of ours.
  bool addSysexMessage(const uint8_t* msg, int size, PatchFile* bank);
  // Cuts the 128 programs out of an all-program (37,163 bytes) or all-data (37,392
  // bytes) dump into 297-byte program dumps; returns the number stored, 0 when the
  // dump is refused whole (wrong size, missing F7, a byte with bit 7 set).
  int importSysExFile(const uint8_t* dump, int size, PatchFile* bank);
  // Appends filler slots until the bank holds 128; a fuller bank is left alone.
  void fillUncompletedBankFiles(PatchFile* bank);

  // Writing -----------------------------------------------------------------
  // "Save As": asks the controller for a path, writes the upper bank there (Standard
  // MIDI File or raw form) and records its folder and name. False when cancelled or
  // when nothing could be written.
  bool savePatchAs(const char* suggestedName, std::string folder, bool isMid);
  // "Save": writes the upper bank to path, as a Standard MIDI File when name ends in
  // ".mid", raw otherwise, and records the name of the file written.
  bool saveEditedPatch(std::string path, std::string name);
  // Writes block bankNumber + 1 (128 programs from slot 128 x (bankNumber + 1)) of
  // source as a new raw bank beside filePath, named after fileName with " Singles "
  // and bankNumber + 2. Never replaces a file. False when the block is empty or the
  // file could not be written; writtenPath receives the path written.
  bool createNewPatchFile(PatchFile* source, const std::string& folderName, const std::string& fileName,
                          const std::string& filePath, int bankNumber, std::string* writtenPath);

  // Received programs -------------------------------------------------------
  // Stores a copy of the received slot into slot selectedSlot of the upper bank,
  // bringing that bank to 128 slots first. False (nothing stored) when no upper bank
  // is selected, selectedSlot lies outside 0..127 or the slot holds no message.
  bool setSysexDatatoSelectedSlot(LibrarianPatch* patch);
  // The same into the given slot; of the bank listed under bankKey (bankPathKey) when
  // one is given: none listed under it, nothing is stored.
  bool setSysexDataToSlot(LibrarianPatch* patch, int32_t slot, const std::string& bankKey = std::string());
  // bankPathKey of the upper bank; empty with none.
  std::string upperBankKey();

  // Search ------------------------------------------------------------------
  // Collects every slot whose name contains text (byte for byte) into "Search Results n"
  // banks of up to 128 slots, listed in searchResultFiles and searchFolderTree. The
  // result slots share their programs' bytes with the listed banks, and stay whole
  // when those banks go (a rescan).
  void createNewSearchPatchFiles(std::string text);
  // The search reads the names from a table of its own, which it checks against the
  // list of banks and their slot counts. Code that renames a slot of a listed bank in
  // place, outside this class, calls this so the next search reads the names afresh.
  void slotNamesChanged();

private:
  struct ScanWork;
  void scanOnce(const std::string& root);
  // Reads and parses entries of work until none is left; any thread.
  void scanFiles(ScanWork& work, ScanArena& arena);
  void scanEntry(ScanWork& work, size_t i, ScanArena& arena);
  // The scanning thread's part of an entry read: log lines, listing, splitting.
  void placeScanEntry(ScanWork& work, size_t i);
  // loadFromChunk over bytes whose block the programs read from them share.
  void loadFromBytes(const PatchBytes& bytes, PatchFile* bank);
  // loadFromBytes up to its log lines: whether a program was found. Only with mayFeed
  // does a running all-programs request see the programs (one thread at a time).
  bool cutPrograms(const PatchBytes& bytes, PatchFile* bank, bool mayFeed);
  // loadFromBytes after the programs were cut: the state a read leaves behind.
  void endRead(bool found);
  // processSysExFile over d, size; with owner (the block d lies in) programs share it.
  int nextSysexMessage(const uint8_t* d, int size, int& position, PatchFile* bank, int* dropped,
                       const PatchBytes* owner, bool mayFeed = true);
  // addSysexMessage; cut says the message was cut at its first status byte after the F0.
  bool addMessage(const uint8_t* msg, int size, PatchFile* bank, const PatchBytes* owner, bool cut,
                  bool mayFeed = true);
  int importDump(const uint8_t* dump, int size, PatchFile* bank, bool mayFeed);
  // Appends the program dumps that lie back to back at the start of d (inside owner's
  // bytes) as slots sharing owner's block; returns their count.
  int addProgramDumpRun(const uint8_t* d, int size, PatchFile* bank, const PatchBytes& owner);
  // parseFolderFiles after the read: bytes hold the file, or are null and readError
  // says why it could not be read.
  PatchFile* parseReadFile(const std::string& fullPath, const Poco::Path& path, int level, bool isMid,
                           const PatchBytes* bytes, const std::string& readError);
  // A new bank record named after its path, level folders below the root.
  static PatchFile* newBankRecord(const Poco::Path& path, int level);
  // parseReadFile once the programs are read: lists the bank (padded to 128 slots), or
  // splits a file of more programs; returns the listed bank or null.
  PatchFile* placeReadBank(const std::string& fullPath, std::unique_ptr<PatchFile> bank);
  void deleteBanks(std::vector<PatchFile*>& banks);
  bool writeUpperBank(const PatchFile& copy, bool isMid, const std::string& path);

  std::set<std::string> refusedSplits;  // sources a split failed for, during one scan
  int splitWriteError = 0;               // the error of the split's last failed bank write
  int processorsInUse = 0;               // by other threads, during one scan
  std::mutex runningScanLock;            // guards runningScan alone
  std::shared_ptr<ScanWork> runningScan; // the files of the scan under way, for helpScan

  // Every slot name of patchFiles, bank after bank, in kNameRow bytes with zeros after
  // it (a longer name has a row of zeros and is listed in longNames), so that a search
  // runs over one compact array instead of the slots.
  enum { kNameRow = 16 };
  struct NameTable
  {
    std::vector<char> rows;
    std::vector<const PatchFile*> banks;  // as patchFiles was when the rows were made
    std::vector<const LibrarianPatch*> slots;  // each bank's patches.data() then
    std::vector<size_t> counts;                // and its patches.size()
    std::vector<size_t> longNames;             // rows whose name did not fit, rising
    bool stale = false;
    void clear();
    // Room for the names of count full banks, so that the rows grow in place.
    void reserve(size_t banks);
    void add(const PatchFile* bank);
  };
  NameTable nameTable;
  bool nameTableCurrent() const;
};
