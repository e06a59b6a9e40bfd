// The system-exclusive value tables: one finished message per parameter value,
// built once while the configuration is read so that sending is a look-up.

#include "base/log.h"
#include "config/UIConfigManager.h"
#include "ui/ControlAction.h"

#include <cstdio>
#include <functional>

namespace {

enum class Shift
{
  none,      // tempo and swing address one parameter for both timbres
  byte5,     // velocity: only the parameter high byte moves
  standard,  // byte 4 + 16 (wrapping at 128), byte 5 + 1
  twoBytes   // byte 4 + 16, byte 5 + 2
};

// Writes the value of entry k into the message and returns the next running value.
using Rule = std::function<int(int k, int v, std::vector<int>& m, size_t idx)>;

void shiftToSecondTimbre(std::vector<int>& m, Shift shift)
{
  if (shift == Shift::none) return;
  if (shift != Shift::byte5) m[4] = m[4] + 16 <= 127 ? m[4] + 16 : m[4] - 112;
  m[5] += shift == Shift::twoBytes ? 2 : 1;
}

// The shared frame of every builder; see UIConfigManager.h for the refusals.
void buildTable(const UIConfigManager& config, const std::string& tmpl, int changingByte, int count,
                ControlActionSysExMessage* table, int min, int timbre, Shift shift, const Rule& rule)
{
  if (!table) return;
  table->messages.clear();
  std::vector<int> base;
  if (!config.parseSysExTemplate(tmpl, &base)) return;
  if (base.size() < 8 || changingByte < 1 || changingByte > (int)base.size())
  {
    ConsoleLog("CONFIG READER: SysEx template \"%s\" has no byte %d or fewer than 8 bytes: no messages!\n",
               tmpl.c_str(), changingByte);
    return;
  }
  const size_t idx = (size_t)changingByte - 1;
  int v = min;
  int k = 0;
  if (min == -1)
  {
    table->messages.push_back(base);
    v = base[idx];
    k = 1;
  }
  for (; k < count; ++k)
  {
    std::vector<int> m = base;
    if (timbre == 1) shiftToSecondTimbre(m, shift);
    v = rule(k, v, m, idx);
    // A value outside the 7-bit range is sent in its low seven bits, as the
    // signed encodings below expect, never as a status byte.
    for (int& byte : m) byte &= 0x7F;
    table->messages.push_back(std::move(m));
  }
}

int plainRule(int, int v, std::vector<int>& m, size_t idx)
{
  const int w = v == 128 ? 0 : v;
  m[idx] = w;
  return w + 1;
}

// Values below zero at entries up to 'negatives' - 1 are written as offset + v
// (7-bit two's complement when the range starts at 0); later entries count from
// zero with the high value byte cleared.
Rule signedRule(int negatives, int offset)
{
  return [negatives, offset](int k, int v, std::vector<int>& m, size_t idx) {
    if (k < negatives)
      m[idx] = v + offset;
    else
    {
      m[idx] = v - negatives;
      m[7] = 0;
    }
    return v + 1;
  };
}

int tempoRule(int k, int v, std::vector<int>& m, size_t idx)
{
  if (k <= 107)
  {
    m[idx] = v + 20;
    m[7] = 0;
  }
  else if (k <= 235)
  {
    m[idx] = v - 108;
    m[7] = 1;
  }
  else
  {
    m[idx] = v - 236;
    m[7] = 2;
  }
  return v + 1;
}

int swingRule(int k, int v, std::vector<int>& m, size_t idx)
{
  if (k <= 99)
    m[idx] = v + 28;
  else if (k <= 200)
  {
    m[idx] = v - 100;
    m[7] = 0;
  }
  return v + 1;
}

int centredRule(int k, int v, std::vector<int>& m, size_t idx)
{
  if (k > 63)
  {
    m[idx] = v - 64;
    m[7] = 0;
  }
  else
    m[idx] = v + 64;
  return v + 1;
}

}  // namespace

void UIConfigManager::calculateSysexWithChangingByte(std::string tmpl, int changingByte, int count,
                                                     ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::standard, plainRule);
}

void UIConfigManager::calculateSysexWithTwoChangingBytes(std::string tmpl, int changingByte, int count,
                                                         ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::twoBytes, plainRule);
}

void UIConfigManager::calculateSysexWithChangingByteEQ(std::string tmpl, int changingByte, int count,
                                                       ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::standard, signedRule(12, 116));
}

void UIConfigManager::calculateSysexWithChangingByteTranspose(std::string tmpl, int changingByte, int count,
                                                              ControlActionSysExMessage* table, int min,
                                                              int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::standard, signedRule(24, 104));
}

void UIConfigManager::calculateSysexWithChangingByteTuning(std::string tmpl, int changingByte, int count,
                                                           ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::standard, signedRule(50, 78));
}

void UIConfigManager::calculateSysexWithChangingByteTempo(std::string tmpl, int changingByte, int count,
                                                          ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::none, tempoRule);
}

void UIConfigManager::calculateSysexWithChangingByteSwing(std::string tmpl, int changingByte, int count,
                                                          ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::none, swingRule);
}

void UIConfigManager::calculateSysexWithChangingByteVelo(std::string tmpl, int changingByte, int count,
                                                         ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::byte5, centredRule);
}

void UIConfigManager::calculateSysexWithChangingByteModSeq(std::string tmpl, int changingByte, int count,
                                                           ControlActionSysExMessage* table, int min, int timbre) const
{
  buildTable(*this, tmpl, changingByte, count, table, min, timbre, Shift::standard, centredRule);
}
