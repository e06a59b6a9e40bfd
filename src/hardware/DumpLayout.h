#pragma once
// The layout of the program dump (297 bytes) and the global dump (235 bytes) in the
// raw-index space (byte positions from F0; a data byte's bit 7 lives in its group's
// packing byte). One table per dump, read by the parser, the builder and the
// randomizer alike, so the three cannot drift apart.
//
// Both parse and build are pure: values go in and out through DumpParamAccess, so
// they run on byte arrays in tests and on the controller's parameters in the editor.

#include <cstdint>
#include <string>

enum
{
  kGlobalDumpSize = 235,
  kGlobalDumpBodySize = 233,
  kSysexGlobalDumpFunction = 0x51,
  kProgramTimbre2FirstRaw = 172,
};

// How a row's raw byte (and the packing bits it owns) maps to its parameters.
enum EDumpCodec : uint8_t
{
  kCodecByte,           // param = byte + offset
  kCodecNone,           // stored, changes no parameter
  kCodecPack21,         // delay tempo sync, dummy 01; voice-count flag
  kCodecCommonMode,     // raw 24: mode and voices
  kCodecPack37,         // arpeggiator on; tempo bit-7 flag
  kCodecTempoHigh,      // raw 40: tempo high flag
  kCodecArpTempo,       // raw 41
  kCodecArpLatch,       // raw 42: latch, target, key sync
  kCodecArpRange,       // raw 43: range, type
  kCodecPack45,         // dummy 03, timbre 1 channel 16; swing sign and voice-assign flags
  kCodecArpSwing,       // raw 47
  kCodecChannel1,       // raw 49
  kCodecVoice,          // raw 50 / 174: priority, trigger, EG resets, assign
  kCodecDwgs,           // raw 60 / 184: only while the waveform holds 5
  kCodecOsc2Mod,        // raw 63 / 186
  kCodecSemitone,       // raw 64 / 187
  kCodecAmpGate,        // raw 80 / 203
  kCodecLfoWave,        // raw 92, 96 / 216, 219: key sync and waveform
  kCodecPack93,         // LFO 1 and 2 tempo sync of timbre 1
  kCodecVPatch,         // source and destination
  kCodecModSeqMode,     // run mode and resolution
  kCodecPack109,        // dummy 05; timbre 1 last-step flag
  kCodecModSeqStep,     // last step, key sync, type
  kCodecPack165,        // dummy 21; timbre 2 channel 16 flag
  kCodecChannel2,       // raw 172
  kCodecPack173,        // timbre 2 voice-assign flag
  kCodecPack213,        // timbre 2 LFO 1 tempo sync
  kCodecPack229,        // timbre 2 mod sequence switch; last-step flag
};

struct DumpRow
{
  int16_t raw;
  EDumpCodec codec;
  int8_t part;     // 0 or 1: added to every per-timbre parameter and lock of the codec
  int16_t param;   // the row's (first) parameter, timbre 1 id; -1 none
  int16_t lock;    // the row's lock parameter, timbre 1 id; -1 none
  int16_t offset;  // kCodecByte: value = byte + offset
};

// Program dump rows from raw 21 to 295, in raw order.
extern const DumpRow kProgramDumpRows[];
extern const int kProgramDumpRowCount;

// Parameter values in and out. The parser reads only the locks, the channels and
// the waveform switches the table depends on.
class DumpParamAccess
{
public:
  virtual ~DumpParamAccess() {}
  virtual double value(int paramIdx) = 0;
  virtual void setValue(int paramIdx, double value) = 0;
};

struct ProgramParseResult
{
  bool tabRefresh = false;         // raw 24 asked for the timbre tab to be applied again
  bool channelRestored[2] = {};    // a locked timbre channel was put back
};

// The semitone table of raw 64 / 187 (index = byte - 40).
extern const int kSemitoneTable[48];

// Applies raw 21..295 of a 297-byte program dump to the parameters, honouring the
// section locks (a lock counts only at exactly 1.0) and putting back a locked timbre
// channel. No header test: the caller has made it.
void parseProgramDumpParams(const uint8_t* msg, DumpParamAccess& params, ProgramParseResult* result);

// Writes raw 21..295 of out from the parameters (packing bytes included); the header,
// name field and raw 19, 20, 25 and 296 are the caller's.
void buildProgramDumpParams(DumpParamAccess& params, uint8_t* out);

// buildProgramDumpParams over the last program the hardware sent (stored, 297 bytes):
// each byte of raw 19..295 whose meaning the parameters leave as the stored bytes
// give it goes out as stored, so bytes and bits no parameter owns (and values the
// editor did not change) reach the hardware as it sent them; every other byte is the
// parameters'. Should the mix ever read back as other values than the parameters',
// the parameters' own bytes are used. Section locks and the tempo override do not
// apply to the stored bytes' meaning: a locked section's values are the editor's.
void buildProgramDumpOver(DumpParamAccess& params, const uint8_t* stored, uint8_t* out);

// The blank program: F0 42 <channel> 58 40, a name of twelve spaces, zeros, F7.
void makeBlankProgramDump(uint8_t channelByte, uint8_t* out);

// Writes up to twelve characters of name into raw 6..12, 14..18 (bit 7 masked off);
// a name shorter than seven characters is followed by one zero byte.
void writeProgramDumpName(const std::string& name, uint8_t* out);


// ---- global dump --------------------------------------------------------------

// Applies raw 5..25 of a 235-byte global dump to the global parameters.
void parseGlobalDumpParams(const uint8_t* msg, DumpParamAccess& params);

// Writes the global parameters into a 235-byte dump that already holds the stored
// bytes (every byte no parameter owns, and the bits of shared bytes no parameter
// owns, stay as they were; a field whose value the stored bytes already say is not
// written at all).
void buildGlobalDumpParams(DumpParamAccess& params, uint8_t* msg);

// Master tune and transpose: signed data bytes (sign in raw 5 bit 0 and bit 1) and
// parameters centred on 50 and 12; encode is the exact inverse, clamped to a byte.
int decodeMasterTune(int byte, bool sign);
void encodeMasterTune(int value, int* byte, bool* sign);
int decodeMasterTranspose(int byte, bool sign);
void encodeMasterTranspose(int value, int* byte, bool* sign);
