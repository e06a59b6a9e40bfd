#pragma once
// Byte formats of bank files: the filler program, the raw form (program dumps back to
// back, 38,016 bytes for 128) and the Standard MIDI File form (format 1, a tempo track
// and a track of 128 system-exclusive events, 38,580 bytes).

#include "librarian/LibrarianTypes.h"

#include <cstdint>
#include <vector>

class ByteChunk;

enum
{
  kBankSlots = 128,
  kMidiBankEventDelta = 500,  // ticks between two programs
};

// The librarian's empty program: a 297-byte program dump named "Init Sound".
const std::vector<uint8_t>& mkInitPatchData();

// Appends slots 0 to 127 of bank (missing slots count as empty) in the raw form or as a
// Standard MIDI File. Returns the number of slots whose messages were not all written.
int appendBankBytes(const PatchFile& bank, bool isMid, ByteChunk* out);

// Searches forward from position for value; true with position just behind it, else
// position -1. A negative position finds nothing.
bool findByte(ByteChunk* chunk, int& position, int value);
