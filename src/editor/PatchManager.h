#pragma once
// The part of the project state that is not a parameter: the start-up snapshot of
// the state chunk and five names (three program names, the MIDI In and MIDI Out
// device names), with the bank and program selection of the last recall.

#include "plug/ByteChunk.h"

#include <string>

class Davrel;

class Patch
{
public:
  static const int kNames = 5;
  static const int kInName = 3;
  static const int kOutName = 4;

  Patch();

  ByteChunk snapshot;
  std::string names[kNames];
};

class PatchManager : public Patch
{
public:
  static const int kProgramNameLength = 12;
  static const int kDeviceNameLength = 32;

  explicit PatchManager(Davrel* owner) : plug(owner) {}

  // Takes the snapshot: the reduced chunk of the current state.
  void init();
  // Appends the block: two version words, the snapshot's length (all three
  // big-endian), the snapshot, then the five names.
  void saveAllToChunk(ByteChunk* chunk) const;
  // Reads the block into the out-arguments without touching this object; the next
  // position, or -1 when the block is not whole or its version words are not ours.
  static int readBlock(const ByteChunk* chunk, int pos, ByteChunk* snapshotOut, std::string namesOut[kNames]);
  // readBlock, then takes what it read; on -1 nothing changes.
  int loadAllFromChunk(ByteChunk* chunk, int pos);
  // A little-endian 32-bit count and the text up to its first NUL; the maximum
  // length is informational (the text is written whole).
  static void putStringToChunk(ByteChunk* chunk, const std::string& text, int maxLength);

  int bankSelection = 0;
  int patchSelection = 0;
  Davrel* plug;
};

// Big-endian 32-bit words of the state chunk.
void putBigEndian32(ByteChunk* chunk, int32_t value);
int getBigEndian32(const ByteChunk* chunk, int pos, int32_t* value);
