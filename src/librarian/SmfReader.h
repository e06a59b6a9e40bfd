#pragma once
// Reads the system-exclusive messages out of a Standard MIDI File: header and track
// chunks are parsed, running status is followed, and a message split into an F0 event
// and F7 continuation events is joined again.

#include <cstdint>
#include <string>
#include <vector>

// True when the data begins with an "MThd" chunk.
bool isStandardMidiFile(const uint8_t* data, int size);

// Appends every complete system-exclusive message (F0 to F7) of every track, in track
// and event order. A malformed file (a chunk or event running past the end, a bad
// length, a data byte without a status) is refused whole: false with the reason, and
// nothing appended.
bool readSmfSysexMessages(const uint8_t* data, int size, std::vector<std::vector<uint8_t>>* out, std::string* error);
