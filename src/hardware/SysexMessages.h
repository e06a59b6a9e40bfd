#pragma once
// Bodies of the synthesizer's messages, without F0 and F7 (the sending layer adds
// them): header 42, the channel byte 0x30 + n, model 58, the function, the data.

#include <cstdint>
#include <vector>

enum
{
  kSysexProgramDumpRequest = 0x10,
  kSysexGlobalDumpRequest = 0x0E,
  kSysexProgramWriteRequest = 0x11,
  kSysexEditMode = 0x4E,
  kSysexParameterChange = 0x41,
};

// Program or global dump request: 42 3n 58 ff.
std::vector<uint8_t> makeRequestBody(uint8_t function, uint8_t channelByte);
// Program write request: 42 3n 58 11 00 pp.
std::vector<uint8_t> makeWriteRequestBody(uint8_t channelByte, int program);
// Edit mode on or off: 42 3n 58 4E mm 00.
std::vector<uint8_t> makeEditModeBody(uint8_t channelByte, bool on);
// Parameter change: 42 3n 58 41 pl ph vl vh; the value is a 14-bit two's-complement
// number (a negative value travels as vh 7F and vl 128 + value).
std::vector<uint8_t> makeParameterChangeBody(uint8_t channelByte, int parameter, int value);
// The value of a parameter change as sent (vh 0: vl; otherwise vl - 128).
int parameterChangeValue(int vl, int vh);

// Data byte d of a dump whose packed data begins at raw 5, bit 7 included, and its
// inverse (the low seven bits into its raw byte, bit 7 into its group's packing byte).
int readDumpDataByte(const uint8_t* msg, int d);
void writeDumpDataByte(uint8_t* msg, int d, int value);
