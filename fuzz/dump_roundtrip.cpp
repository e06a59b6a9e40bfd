// The program and global dump tables, builder against parser: for the values a dump
// from the hardware gives (x = parse(dump)), parse(build(x)) == x, and building again
// from what was parsed gives the same bytes. The fuzzer picks the dump bytes (within
// the hardware's 7-bit range, channels 0..15 or the global channel) and the section
// locks the parser honours.
//
// Input: six bytes of lock switches, the program dump's raw 19..295, the global
// dump's raw 5..233 (missing bytes are zero).

#include "hardware/DumpLayout.h"
#include "hardware/SysexPacking.h"

#include "config/ParamIds.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Params : DumpParamAccess
{
  std::vector<double> v = std::vector<double>(kNumParams, 0.0);
  double value(int id) override { return v.at((size_t)id); }
  void setValue(int id, double x) override { v.at((size_t)id) = x; }
};

struct Input
{
  const uint8_t* data;
  size_t size, pos = 0;
  uint8_t next() { return pos < size ? data[pos++] : 0; }
};

void blankGlobal(uint8_t* g)
{
  memset(g, 0, kGlobalDumpSize);
  g[0] = 0xF0, g[1] = kSysexManufacturerId, g[2] = 0x30, g[3] = kSysexModelId, g[4] = kSysexGlobalDumpFunction;
  g[kGlobalDumpSize - 1] = 0xF7;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Input in{data, size};

  // The locks the parser reads (both timbres), on at exactly 1.0.
  Params before;
  uint64_t locks = 0;
  for (int i = 0; i < 6; ++i) locks |= (uint64_t)in.next() << (8 * i);
  int bit = 0;
  for (int id = kSectionLockOsc1; id <= kSectionLockGlobal && bit < 47; ++id, ++bit)
    if (locks >> bit & 1) before.v[(size_t)id] = 1.0;
  if (locks >> 47 & 1) before.v[kLockPartMIDIch] = 1.0;

  // ---- program dump ----
  std::vector<uint8_t> dump(kProgramDumpSize);
  makeBlankProgramDump(0x30, dump.data());
  for (int r = 19; r <= 295; ++r) dump[(size_t)r] = in.next() & 0x7F;
  static const uint8_t modes[] = {0, 16, 32, 64, 80, 96, 112};
  dump[24] = modes[dump[24] % 7];
  // A timbre's channel is 0..15, or 7F for the global channel.
  for (int r : {49, 172})
    if (dump[(size_t)r] >= 16) dump[(size_t)r] = dump[(size_t)r] == 16 ? 0x7F : dump[(size_t)r] & 15;
  if (!isProgramDump(dump.data(), (int)dump.size())) abort();

  Params p1 = before;
  parseProgramDumpParams(dump.data(), p1, nullptr);
  std::vector<uint8_t> built(kProgramDumpSize);
  makeBlankProgramDump(0x30, built.data());
  buildProgramDumpParams(p1, built.data());
  if (!isProgramDump(built.data(), (int)built.size())) abort();
  Params p2 = before;
  parseProgramDumpParams(built.data(), p2, nullptr);
  for (int id = 0; id < kNumParams; ++id)
    if (p1.v[(size_t)id] != p2.v[(size_t)id]) abort();
  std::vector<uint8_t> again(kProgramDumpSize);
  makeBlankProgramDump(0x30, again.data());
  buildProgramDumpParams(p2, again.data());
  if (again != built) abort();

  // ---- global dump ----
  uint8_t g[kGlobalDumpSize];
  blankGlobal(g);
  for (int r = 5; r <= 233; ++r) g[r] = in.next() & 0x7F;
  Params q1;
  parseGlobalDumpParams(g, q1);
  // Built over the stored bytes, and over a blank dump: the builder writes every bit
  // the parser reads, whatever the stored bytes hold.
  uint8_t over[kGlobalDumpSize], blank[kGlobalDumpSize];
  memcpy(over, g, sizeof(g));
  blankGlobal(blank);
  buildGlobalDumpParams(q1, over);
  buildGlobalDumpParams(q1, blank);
  for (const uint8_t* b : {(const uint8_t*)over, (const uint8_t*)blank})
  {
    if (memcmp(b, g, 5) != 0 || b[kGlobalDumpSize - 1] != 0xF7) abort();
    for (int i = 1; i < kGlobalDumpSize - 1; ++i)
      if (b[i] & 0x80) abort();
    Params q2;
    parseGlobalDumpParams(b, q2);
    if (q2.v != q1.v) abort();
  }
  // Bytes no parameter owns stay as they were.
  for (int i = 26; i < kGlobalDumpSize; ++i)
    if (over[i] != g[i]) abort();
  return 0;
}
