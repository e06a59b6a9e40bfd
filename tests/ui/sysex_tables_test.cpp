// The system-exclusive value tables, checked against a plain twin written from the
// encodings' meaning (a signed value in 7-bit two's complement, a tempo split into
// low and high bytes) rather than from the builders' running counter.

#include "config/UIConfigManager.h"
#include "ui/ControlAction.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Builder = void (UIConfigManager::*)(std::string, int, int, ControlActionSysExMessage*, int, int) const;

const char* const kTemplate = "42 30 58 41 11 00 05 03";  // 42 3n 58 41 pl ph vl vh

std::vector<std::vector<int>> build(Builder b, const std::string& tmpl, int changingByte, int count, int min,
                                    int timbre)
{
  UIConfigManager config;
  ControlActionSysExMessage table;
  table.messages.push_back({1, 2, 3});  // replaced, never appended to
  (config.*b)(tmpl, changingByte, count, &table, min, timbre);
  EXPECT_FALSE(table.multiMessage);
  EXPECT_TRUE(table.multiMessages.empty());
  return table.messages;
}

}  // namespace

// Each signed encoding over its whole range from min 0: entry k carries the value
// k - negatives in the value byte, the low entries keep the template's high byte.
TEST(SysExTablesTest, SignedEncodingsOverTheirRanges)
{
  const struct
  {
    Builder builder;
    int count;
    int negatives;
  } cases[] = {
    {&UIConfigManager::calculateSysexWithChangingByteEQ, 25, 12},
    {&UIConfigManager::calculateSysexWithChangingByteTranspose, 49, 24},
    {&UIConfigManager::calculateSysexWithChangingByteTuning, 101, 50},
    {&UIConfigManager::calculateSysexWithChangingByteSwing, 201, 100},
    {&UIConfigManager::calculateSysexWithChangingByteVelo, 127, 64},
    {&UIConfigManager::calculateSysexWithChangingByteModSeq, 127, 64},
  };
  for (const auto& c : cases)
  {
    const auto table = build(c.builder, kTemplate, 7, c.count, 0, 0);
    ASSERT_EQ((int)table.size(), c.count);
    for (int k = 0; k < c.count; ++k)
    {
      const int signedValue = k - c.negatives;
      SCOPED_TRACE(k);
      // The velocity and step encodings are centred on 64 rather than on zero.
      const bool centred = c.negatives == 64;
      const int expected = centred ? (k <= 63 ? k + 64 : k - 64) : (signedValue & 0x7F);
      EXPECT_EQ(table[(size_t)k][6], expected);
      const bool low = centred ? k <= 63 : k < c.negatives;
      EXPECT_EQ(table[(size_t)k][7], low ? 3 : 0);
      EXPECT_EQ(std::vector<int>(table[(size_t)k].begin(), table[(size_t)k].begin() + 6),
                std::vector<int>({0x42, 0x30, 0x58, 0x41, 0x11, 0x00}));
    }
  }
}

TEST(SysExTablesTest, TempoIsLowAndHighBytes)
{
  const auto table = build(&UIConfigManager::calculateSysexWithChangingByteTempo, kTemplate, 7, 281, 0, 1);
  ASSERT_EQ(table.size(), 281u);
  for (int k = 0; k < 281; ++k) EXPECT_EQ(table[(size_t)k][7] * 128 + table[(size_t)k][6], k + 20) << k;
  // No timbre shift: the tempo is shared.
  EXPECT_EQ(table[0][4], 0x11);
  EXPECT_EQ(table[0][5], 0);
}

// Worked values and edge cases of the plain builders, one row each.
TEST(SysExTablesTest, PlainBuilderCases)
{
  const struct
  {
    const char* name;
    Builder builder;
    const char* tmpl;
    int changingByte, count, min, timbre;
    std::vector<int> valueBytes;  // the changing byte of each entry
    int byte4, byte5;             // of every entry
  } cases[] = {
    {"wraps at 128", &UIConfigManager::calculateSysexWithChangingByte, kTemplate, 7, 12, 120, 0,
     {120, 121, 122, 123, 124, 125, 126, 127, 0, 1, 2, 3}, 0x11, 0},
    {"button", &UIConfigManager::calculateSysexWithChangingByte, kTemplate, 7, 2, 0, 0, {0, 1}, 0x11, 0},
    {"timbre 2 wraps byte 4", &UIConfigManager::calculateSysexWithChangingByte, "42 30 58 41 70 00 05 03", 7, 2,
     0, 1, {0, 1}, 0x00, 1},
    {"timbre 2", &UIConfigManager::calculateSysexWithChangingByte, "42 30 58 41 10 00 05 03", 7, 2, 0, 1, {0, 1},
     0x20, 1},
    {"two bytes", &UIConfigManager::calculateSysexWithTwoChangingBytes, "42 30 58 41 10 00 05 03", 7, 2, 0, 1,
     {0, 1}, 0x20, 2},
    {"111 + 16 stays", &UIConfigManager::calculateSysexWithChangingByte, "42 30 58 41 6F 00 05 03", 7, 1, 0, 1,
     {0}, 127, 1},
    {"112 + 16 wraps", &UIConfigManager::calculateSysexWithChangingByte, "42 30 58 41 70 00 05 03", 7, 1, 0, 1,
     {0}, 0, 1},
    {"timbre 0 keeps address", &UIConfigManager::calculateSysexWithChangingByte, kTemplate, 7, 1, 0, 0, {0}, 0x11,
     0},
    {"timbre -1 keeps address", &UIConfigManager::calculateSysexWithChangingByte, kTemplate, 7, 1, 0, -1, {0},
     0x11, 0},
    {"velo shifts byte 5 only", &UIConfigManager::calculateSysexWithChangingByteVelo, "42 30 58 41 41 00 05 03", 7,
     1, 0, 1, {64}, 0x41, 1},
    {"mod seq shifts both", &UIConfigManager::calculateSysexWithChangingByteModSeq, "42 30 58 41 41 00 05 03", 7,
     1, 0, 1, {64}, 0x51, 1},
    {"mod seq wraps", &UIConfigManager::calculateSysexWithChangingByteModSeq, "42 30 58 41 70 00 05 03", 7, 1, 0,
     1, {64}, 0x00, 1},
    {"no entries", &UIConfigManager::calculateSysexWithChangingByte, kTemplate, 7, 0, 0, 0, {}, 0, 0},
  };
  for (const auto& c : cases)
  {
    SCOPED_TRACE(c.name);
    const auto table = build(c.builder, c.tmpl, c.changingByte, c.count, c.min, c.timbre);
    ASSERT_EQ(table.size(), c.valueBytes.size());
    for (size_t k = 0; k < table.size(); ++k)
    {
      EXPECT_EQ(table[k][(size_t)c.changingByte - 1], c.valueBytes[k]);
      EXPECT_EQ(table[k][4], c.byte4);
      EXPECT_EQ(table[k][5], c.byte5);
    }
  }
}

// Min -1: entry 0 is the template untouched, entry 1 counts on from its own value
// byte and takes the timbre shift; the signed thresholds count entry 0.
TEST(SysExTablesTest, MinusOneStartsWithTheTemplate)
{
  auto table = build(&UIConfigManager::calculateSysexWithChangingByte, kTemplate, 7, 3, -1, 1);
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0], UIConfigManager::convertStringSysextoVector(kTemplate));
  EXPECT_EQ(table[1][6], 5);
  EXPECT_EQ(table[1][4], 0x21);
  EXPECT_EQ(table[2][6], 6);

  table = build(&UIConfigManager::calculateSysexWithChangingByteEQ, kTemplate, 7, 13, -1, 0);
  ASSERT_EQ(table.size(), 13u);
  EXPECT_EQ(table[11][6], (5 + 10 + 116) & 0x7F);  // entry 11: v = 5 + 10
  EXPECT_EQ(table[12][6], 5 + 11 - 12);
  EXPECT_EQ(table[12][7], 0);

  table = build(&UIConfigManager::calculateSysexWithChangingByteModSeq, kTemplate, 7, 2, -1, 0);
  EXPECT_EQ(table[0][6], 5);
  EXPECT_EQ(table[1][6], 5 + 64);
}

TEST(SysExTablesTest, SwingPastItsRangeCopiesTheTemplate)
{
  const auto table = build(&UIConfigManager::calculateSysexWithChangingByteSwing, kTemplate, 7, 205, 0, 1);
  ASSERT_EQ(table.size(), 205u);
  for (size_t k = 201; k < 205; ++k) EXPECT_EQ(table[k], UIConfigManager::convertStringSysextoVector(kTemplate));
}

// A changing byte 8 takes the value first and is then cleared by the high-byte rule.
TEST(SysExTablesTest, ChangingByteEightAboveTheMiddle)
{
  const auto table = build(&UIConfigManager::calculateSysexWithChangingByteModSeq, kTemplate, 8, 70, 0, 0);
  for (size_t k = 0; k < table.size(); ++k) EXPECT_EQ(table[k][7], k <= 63 ? (int)k + 64 : 0) << k;
}

// Templates that cannot carry the value give an empty table instead of a write
// outside the message; values that would leave the 7-bit range are sent in their
// low seven bits, never as a status byte.
TEST(SysExTablesTest, RefusedTemplatesAndOutOfRangeValues)
{
  const struct
  {
    const char* tmpl;
    int changingByte;
  } refused[] = {
    {"42 30 58 41 11 00 05", 7},  // seven bytes: byte 8 would be written
    {kTemplate, 9},                // the changing byte lies past the end
    {kTemplate, 0},
    {"42 30 58 41 11 00 05 zz", 7},
    {"42 30 58 41 11 00 05 80", 7},
    {"", 1},
  };
  for (const auto& r : refused)
    for (Builder b : {&UIConfigManager::calculateSysexWithChangingByte, &UIConfigManager::calculateSysexWithChangingByteEQ,
                      &UIConfigManager::calculateSysexWithChangingByteModSeq})
      EXPECT_TRUE(build(b, r.tmpl, r.changingByte, 10, 0, 1).empty()) << r.tmpl << " " << r.changingByte;

  const Builder all[] = {
    &UIConfigManager::calculateSysexWithChangingByte,          &UIConfigManager::calculateSysexWithTwoChangingBytes,
    &UIConfigManager::calculateSysexWithChangingByteEQ,        &UIConfigManager::calculateSysexWithChangingByteTempo,
    &UIConfigManager::calculateSysexWithChangingByteSwing,     &UIConfigManager::calculateSysexWithChangingByteTranspose,
    &UIConfigManager::calculateSysexWithChangingByteTuning,    &UIConfigManager::calculateSysexWithChangingByteVelo,
    &UIConfigManager::calculateSysexWithChangingByteModSeq,
  };
  for (Builder b : all)
    for (int min : {-64, -12, 1, 100, 200})
      for (const auto& m : build(b, "42 30 58 41 7F 7F 05 03", 7, 300, min, 1))
        for (int byte : m) ASSERT_TRUE(byte >= 0 && byte <= 127) << min;
}

// The record finds the message of a value from the table's first value, so a
// range that does not start at 0 is not read at its raw value.
TEST(SysExTablesTest, RecordIndexesFromTheFirstValue)
{
  ControlAction action(kActionSysEx);
  UIConfigManager config;
  config.calculateSysexWithChangingByte(kTemplate, 7, 5, &action.sysExMessage, -2, 0);
  action.sysExFirstValue = -2;
  for (int value = -2; value <= 2; ++value)
  {
    const std::vector<int>* m = action.sysExMessageForValue(value);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ((*m)[6], value & 0x7F);
  }
  EXPECT_EQ(action.sysExMessageForValue(-3), nullptr);
  EXPECT_EQ(action.sysExMessageForValue(3), nullptr);
  ControlAction empty(kActionSysEx);
  EXPECT_EQ(empty.sysExMessageForValue(0), nullptr);
  EXPECT_EQ(empty.sysExMessagesForValue(0), nullptr);
}
