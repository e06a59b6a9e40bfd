// The program randomizer: walks the program dump's rows (the table the parser and
// the builder share) and gives each parameter of an unlocked section a value drawn
// from the host's random bytes, reduced into the parameter's range.

#include "hardware/MIDIMessageManager.h"

#include "hardware/DumpLayout.h"
#include "hardware/HardwareHost.h"

#include "base/log.h"
#include "config/ParamIds.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace
{
const int kRandomBytes = 297;
// The voice-assign draw of raw 45 reads the entry after the walk's last one.
const int kVoiceAssignEntry = 271;

bool isDummy(int id) { return id >= kDummyParam01 && id <= kDummyParam40; }

// The reduction: subtract the maximum (2 for a switch) until the entry fits the
// span. A maximum below 1 would never get there: such a range takes the entry
// modulo span + 1 instead (0 for an empty range).
int reduce(int n, int max, int span)
{
  if (span < 0) return 0;
  if (max < 1) return n % (span + 1);
  const int step = max == 1 ? 2 : max;
  if (n > span) n -= ((n - span + step - 1) / step) * step;
  return n;
}

// One walk: the locks read once, the console lines gathered and printed at the end.
struct Walk
{
  MIDIMessageManager* m;
  HardwareHost* plug;
  bool locked[kNumParams] = {};
  bool written[kNumParams] = {};
  std::string log;
  int counter = 0;

  void appendInt(int v)
  {
    char digits[12];
    int i = 0;
    unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
    do
      digits[i++] = (char)('0' + u % 10);
    while ((u /= 10) != 0);
    if (v < 0) log += '-';
    while (i > 0) log += digits[--i];
  }

  explicit Walk(MIDIMessageManager* manager) : m(manager), plug(manager->plug)
  {
    log.reserve(64 * 1024);
    for (int id = kOverrideTempo; id <= kSectionLockGlobal; ++id) locked[id] = plug->GetParamValue(id) == 1.0;
  }
  bool isLocked(int lock) const { return lock >= 0 && lock < kNumParams && locked[lock]; }

  // Entry k reduced over the range of rangeId (a timbre 1 id), with the console lines.
  int draw(int rangeId, int k)
  {
    const int n = k >= 0 && k < (int)plug->randomBytes.size() ? plug->randomBytes[(size_t)k] : 0;
    const int max = (int)plug->GetParamMax(rangeId);
    const int span = (int)(plug->GetParamMax(rangeId) - plug->GetParamMin(rangeId));
    const int r = reduce(n, max, span);
    // The three console lines of a draw; composed by hand, as a walk writes some 800.
    log += "Randomizer generated value: ";
    appendInt(n);
    log += " \nmodified value after range check: ";
    appendInt(r);
    log += " \nmaximum value: ";
    appendInt(max);
    log += " \t parameter range: ";
    appendInt(span);
    log += " \n\n";
    return r;
  }
  void write(int id, int value)
  {
    double v = value;
    const double lo = plug->GetParamMin(id), hi = plug->GetParamMax(id);
    if (v < lo) v = lo;
    if (v > hi) v = hi;
    plug->SetParameterFromPlug(id, v);
    if (id >= 0 && id < kNumParams) written[id] = true;
  }
  // A plain draw of parameter id (timbre 1 id + part) under lock; the entry is
  // used up whether or not the lock skips it.
  bool plain(int id, int part, int lock, int offset = 0)
  {
    const int k = counter++;
    if (isLocked(lock)) return false;
    write(id + part, draw(id, k) + offset);
    return true;
  }
};
// Parameter values in a plain table, for the dump builder and parser.
struct Table : DumpParamAccess
{
  double v[kNumParams];
  double value(int id) override { return id >= 0 && id < kNumParams ? v[id] : 0.0; }
  void setValue(int id, double x) override
  {
    if (id >= 0 && id < kNumParams) v[id] = x;
  }
};

// Some drawn combinations have no code in the program dump (common mode 0 with
// other than one voice, for one): the program the hardware would hold is put back
// into the drawn parameters, so that the editor shows what it sends.
void settleAsTheHardwareHoldsIt(Walk& w)
{
  Table drawn, held;
  for (int id = 0; id < kNumParams; ++id) drawn.v[id] = w.plug->GetParamValue(id);
  held = drawn;
  uint8_t dump[297];
  makeBlankProgramDump(0x30, dump);
  buildProgramDumpParams(drawn, dump);
  parseProgramDumpParams(dump, held, nullptr);
  for (int id = 0; id < kNumParams; ++id)
    if (w.written[id] && held.v[id] != drawn.v[id]) w.write(id, (int)held.v[id]);
}
}  // namespace

void MIDIMessageManager::randomGenerator() { randomGenerator((unsigned)time(nullptr)); }

void MIDIMessageManager::randomGenerator(unsigned seed)
{
  srand(seed);
  plug->randomBytes.assign(kRandomBytes, 0);
  for (int i = 0; i < kRandomBytes; ++i) plug->randomBytes[(size_t)i] = rand() % 256;
}

int MIDIMessageManager::randomizer(int paramIdx, int index)
{
  Walk w(this);
  const int r = w.draw(paramIdx, index);
  ConsoleLog("%s", w.log.c_str());
  return r;
}

void MIDIMessageManager::randomizePatchSettings(int)
{
  if ((int)plug->randomBytes.size() < kRandomBytes) plug->randomBytes.resize(kRandomBytes, 0);
  Walk w(this);
  w.log = "Patch data is being randomized..!\n";
  bool voiceAssignFlag = false, lastStepFlag = false;
  int vp4Entry[2] = {0, 0};

  for (int r = 0; r < kProgramDumpRowCount; ++r)
  {
    const DumpRow& row = kProgramDumpRows[r];
    const int po = row.part;
    const int lock = row.lock >= 0 ? row.lock + po : -1;
    switch (row.codec)
    {
      case kCodecByte:
        if (isDummy(row.param)) break;
        if (row.param == kVPatchAmnt4) vp4Entry[po] = w.counter;
        w.plain(row.param, po, lock, row.offset);
        break;
      case kCodecPack21:
        w.plain(kDelayFxTempoSync, 0, kSectionLockFXDelay);
        break;
      case kCodecCommonMode:
        w.plain(kCommonMode, 0, lock);
        w.plain(kCommonVoices, 0, lock);
        // Whether or not the lock held them: the pages that show both timbres follow the mode.
        if (plug->GetParamValue(kMainPage) == 2.0 || plug->GetParamValue(kMainPage) == 3.0)
          plug->grayOutTimbreControls(plug->GetParamValue(kCommonMode) == 0.0);
        break;
      case kCodecPack37:
        w.plain(kArpOnOff, 0, lock);
        break;
      case kCodecArpLatch:
        w.plain(kArpLatch, 0, lock);
        w.plain(kArpTarget, 0, lock);
        w.plain(kArpKeySync, 0, lock);
        break;
      case kCodecArpRange:
        w.plain(kArpRange, 0, lock);
        w.plain(kArpType, 0, lock);
        break;
      case kCodecPack45:
        if (w.draw(kAmpLevel, kVoiceAssignEntry) > 15) voiceAssignFlag = true;
        break;
      case kCodecArpSwing:
        w.plain(kArpSwing, 0, lock);
        break;
      case kCodecVoice:
      {
        w.plain(kVoicePriority, po, kSectionLockVoice + po);
        w.plain(kEG1Reset, po, kSectionLockEg1 + po);
        w.plain(kEG2Reset, po, kSectionLockEg2 + po);
        const bool trigger = w.plain(kVoiceTrigger, po, kSectionLockVoice + po);
        const bool assign = w.plain(kVoiceAssign, po, kSectionLockVoice + po);
        if (po == 0 && trigger && assign && voiceAssignFlag) w.write(kVoiceAssign, 2);
        break;
      }
      case kCodecDwgs:
        if ((int)plug->GetParamValue(kOsc1Waveform + po) == 5) w.plain(row.param, po, lock);
        else ++w.counter;
        break;
      case kCodecOsc2Mod:
        w.plain(kOsc2OscMod, po, lock);
        w.plain(kOsc2Waveform, po, lock);
        break;
      case kCodecSemitone:
      {
        const int k = w.counter++;
        if (w.isLocked(lock)) break;
        const int n = w.draw(kAmpLevel, k);
        w.write(kOsc2Semitone + po, n >= 40 && n <= 87 ? kSemitoneTable[n - 40] : n == 88 ? 127 : n);
        break;
      }
      case kCodecAmpGate:
        w.plain(kAmpGateSw, po, lock);
        w.plain(kAmpDistSw, po, lock);
        break;
      case kCodecLfoWave:
        w.plain(row.param + 2, po, lock);
        w.plain(row.param, po, lock);
        break;
      case kCodecPack93:
        w.plain(kLfo1TempoSync, 0, kSectionLockLFO1);
        w.plain(kLfo2TempoSync, 0, kSectionLockLFO2);
        break;
      case kCodecVPatch:
        w.plain(row.param, po, lock);
        w.plain(row.param + 8, po, lock);
        break;
      case kCodecModSeqMode:
        w.plain(kModSeqRunMode, po, -1);
        w.plain(kModSeqResolution, po, -1);
        break;
      case kCodecPack109:
        lastStepFlag = w.draw(kModSeqSwitch, w.counter++) == 1;
        break;
      case kCodecModSeqStep:
      {
        // Its own entry goes unused: the draw repeats the VP4 amount's entry.
        ++w.counter;
        const int n = w.draw(kVPatchAmnt4, vp4Entry[po]);
        w.write(kModSeqLastStep + po, n / 16 + (lastStepFlag ? 8 : 0));
        w.write(kModSeqKeySync + po, n % 4);
        w.write(kModSeqType + po, (n % 16) / 4);
        lastStepFlag = false;
        break;
      }
      case kCodecPack173:
        ++w.counter;  // an entry no parameter takes
        break;
      case kCodecPack213:
        w.plain(kLfo1TempoSync, 1, lock);
        break;
      case kCodecPack229:
        lastStepFlag = w.draw(kVPatchSrc3, w.counter++) > 7;
        w.plain(kModSeqSwitch, 1, -1);
        break;
      default:  // packing bytes, tempo, channels: not drawn
        break;
    }
  }
  settleAsTheHardwareHoldsIt(w);
  ConsoleLog("%s", w.log.c_str());
}
