#pragma once
// The synthesizer's 7-bit packing of dump data, and the program dump frame.
// Packed data runs in groups of eight bytes: a packing byte whose bit j is bit 7
// of the j-th following byte, then up to seven bytes carrying the low seven bits.
// The last group may be short.

#include <cstdint>
#include <string>

enum
{
  kSysexManufacturerId = 0x42,
  kSysexModelId = 0x58,
  kSysexProgramDumpFunction = 0x40,
  kSysexAllProgramDumpFunction = 0x4C,
  kSysexAllDataDumpFunction = 0x50,

  kProgramDumpSize = 297,        // F0 42 3n 58 40, 291 packed bytes, F7
  kProgramDataSize = 254,        // data bytes in one program
  kProgramNameLength = 12,
  kAllProgramDumpSize = 37163,   // F0 42 3n 58 4C, 128 programs packed as one stream, F7
  kAllDataDumpSize = 37392,      // F0 42 3n 58 50, the 128 programs and 200 further bytes, F7
  kAllProgramDataSize = 128 * kProgramDataSize,
  kAllDataDataSize = kAllProgramDataSize + 200,
};

// Bytes that dataLen data bytes take once packed, and the reverse.
int sysexPackedSize(int dataLen);
int sysexUnpackedSize(int packedLen);

// Packs dataLen bytes into out (room for sysexPackedSize(dataLen)); returns the bytes written.
int sysexPack7(const uint8_t* data, int dataLen, uint8_t* out);

// Unpacks packedLen bytes into out (room for sysexUnpackedSize(packedLen)); returns the
// data bytes written, or -1 when a packed byte has bit 7 set (a status byte inside the data).
int sysexUnpack7(const uint8_t* packed, int packedLen, uint8_t* out);

// Raw index (from F0) of data byte d of a dump whose packed data begins at raw 5,
// and of the packing byte that holds its bit 7.
inline int sysexDataRawIndex(int d) { return 6 + 8 * (d / 7) + d % 7; }
inline int sysexPackingRawIndex(int d) { return 5 + 8 * (d / 7); }

// True when the message carries the synthesizer's header F0 42 3n 58 (any channel n).
bool isDavrelSysex(const uint8_t* msg, int size);

// A complete program dump: 297 bytes, the header with function 40, F7 last, and no
// byte with bit 7 set in between.
bool isProgramDump(const uint8_t* msg, int size);
// What keeps msg from being a complete program dump, for the log: its size, its
// header, its function byte, a missing F7, or the first byte with bit 7 set in
// between; empty for a complete one.
std::string programDumpFault(const uint8_t* msg, int size);
// The same without the test of the bytes in between: for a message already cut at
// its first status byte after the F0.
bool isProgramDumpFrame(const uint8_t* msg, int size);

// Builds a 297-byte program dump of the given channel byte (0x30 + n) from 254 data bytes.
void makeProgramDump(const uint8_t* data, uint8_t channelByte, uint8_t* out);

// Unpacks the 254 data bytes of a program dump; false when msg is no program dump.
bool readProgramData(const uint8_t* msg, int size, uint8_t* data);

// The program name: the non-zero bytes among raw 6 to 12 and 14 to 18, in order.
// Raw 13 is a packing byte and never part of the name.
std::string programDumpName(const uint8_t* msg, int size);
// The same into out, which has room for 16 bytes (more than the name is written);
// returns the name's length.
int programDumpNameInto(const uint8_t* msg, int size, char* out);
