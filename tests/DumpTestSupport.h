#pragma once
// Program dumps built from plain parameter values, for the tests that compare what
// the editor sends with what the hardware sent.

#include "config/ParamIds.h"
#include "hardware/DumpLayout.h"
#include "hardware/SysexPacking.h"

#include <cstdint>
#include <vector>

// Parameter values as plain doubles: no ranges, no controls.
struct PlainParams : DumpParamAccess
{
  std::vector<double> v = std::vector<double>(kNumParams, 0.0);
  double value(int id) override { return v.at((size_t)id); }
  void setValue(int id, double x) override { v.at((size_t)id) = x; }
};

// A program the hardware could send for these values: the locks and overrides the
// editor keeps for itself cleared, laid out, read back and laid out again, so that
// every byte is one the layout itself writes.
inline std::vector<uint8_t> layoutOwnProgram(PlainParams x)
{
  for (int id = kPartLock; id <= kSectionLockGlobal; ++id) x.v[(size_t)id] = 0;
  x.v[kOverrideTempo] = x.v[kLockPartMIDIch] = x.v[kLockPartMIDIch + 1] = 0;
  std::vector<uint8_t> d(kProgramDumpSize);
  makeBlankProgramDump(0x30, d.data());
  buildProgramDumpParams(x, d.data());
  PlainParams y = x;
  parseProgramDumpParams(d.data(), y, nullptr);
  makeBlankProgramDump(0x30, d.data());
  buildProgramDumpParams(y, d.data());
  return d;
}
