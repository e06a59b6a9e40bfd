#pragma once
// The librarian's records: a message, a bank slot, a bank, and the three levels of
// the folder tree from which the bank chooser menus are built.

#include <cstdint>
#include <string>
#include <vector>

class ByteChunk;

// One complete system-exclusive message, F0 to F7 included, as read or received.
struct PatchSysexMessage
{
  std::vector<uint8_t> bytes;
};

// One bank slot: an empty slot has an empty name and no messages.
class LibrarianPatch
{
public:
  std::string name;
  std::vector<PatchSysexMessage> messages;

  // Sets the target's name and appends deep copies of this slot's messages behind
  // the ones the target already holds.
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

  // A new bank with deep copies of every slot and the same file name; the caller owns it.
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
