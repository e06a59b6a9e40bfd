#include "config_test_support.h"

#include <gtest/gtest.h>

#include <climits>

using Tokens = std::vector<std::string>;

TEST(Tokenize, SplitsAtEachDelimiterWithoutEmptyTokens)
{
  struct Case
  {
    const char* text;
    const char* delimiters;
    Tokens expected;
  } cases[] = {
    {",,12,,34,", ",", {"12", "34"}},
    {"", ",", {}},
    {",,,", ",", {}},
    {"kFilterCutoff+1", "+", {"kFilterCutoff", "1"}},
    {"a:b", ":", {"a", "b"}},
    {"a, b", ",", {"a", " b"}},
    {"a+b,c", "+,", {"a", "b", "c"}},
    {"abc", ",", {"abc"}},
  };
  for (const Case& c : cases)
  {
    Tokens tokens;
    UIConfigManager::Tokenize(c.text, tokens, c.delimiters);
    EXPECT_EQ(tokens, c.expected) << '"' << c.text << '"';
  }
}

TEST(Tokenize, AppendsBehindExistingTokens)
{
  Tokens tokens = {"old"};
  UIConfigManager::Tokenize("1,2", tokens, ",");
  EXPECT_EQ(tokens, (Tokens{"old", "1", "2"}));
}

TEST(GetCSValues, ReadsUpToCountAndLeavesTheRest)
{
  struct Case
  {
    const char* text;
    int count;
    std::vector<int> expected;  // slots start at 99
  } cases[] = {
    {"10,20", 4, {10, 20, 99, 99}},
    {"10,20,30", 2, {10, 20, 99, 99}},
    {" 7,-3,5px", 3, {7, -3, 5, 99}},
    {"abc,4", 2, {99, 4, 99, 99}},
    {"99999999999,+8", 2, {99, 8, 99, 99}},  // out of range leaves the slot
    {"", 4, {99, 99, 99, 99}},
  };
  for (const Case& c : cases)
  {
    std::vector<int> slots(4, 99);
    UIConfigManager::getCSValues(c.text, slots.data(), c.count);
    EXPECT_EQ(slots, c.expected) << '"' << c.text << '"';
  }
}

TEST(GetBiDirectLinkValues, NamesOffsetAndThirdValue)
{
  UIConfigManager cfg;
  cfg.initParams();
  LogLines log;
  cfg.setLogSink(log.sink());

  struct Case
  {
    const char* text;
    int offset;
    int p1, p2, v;
  } cases[] = {
    {"kFilterCutoff", 0, -1, -1, -1},
    {"kFilterCutoff,kFilterResonance", 1, 25, 27, -1},
    {"kFilterCutoff,kFilterResonance,2", 0, 24, 26, 2},
    {"kFilterCutoff,kFilterResonance,word", 0, 24, 26, -1},
    {"kFilterCutoff,kFilterResonance,2,3", 0, 24, 26, -1},
  };
  for (const Case& c : cases)
  {
    LinkInfo link;
    link.param1 = link.param2 = link.value = 1234;
    cfg.getBiDirectLinkValues(c.text, &link, c.offset);
    EXPECT_EQ(link.param1, c.p1) << c.text;
    EXPECT_EQ(link.param2, c.p2) << c.text;
    EXPECT_EQ(link.value, c.v) << c.text;
  }
  EXPECT_TRUE(log.lines.empty()) << "a single name looks nothing up";

  // A blank after the comma belongs to the name. A missing name stays -1 in a timbre
  // copy: moved by the offset it would name parameter 0 and the link would write it.
  const Case missing[] = {
    {"kFilterCutoff, kFilterResonance", 1, 25, -1, -1},
    {"kNoSuchParam,kFilterResonance", 1, -1, 27, -1},
    {"kNoSuchParam,kNoSuchParam", 5, -1, -1, -1},
    {"kFilterCutoff,kFilterResonance", INT_MAX, -1, -1, -1},  // beyond int: no id
  };
  for (const Case& c : missing)
  {
    LinkInfo link;
    cfg.getBiDirectLinkValues(c.text, &link, c.offset);
    EXPECT_EQ(link.param1, c.p1) << c.text;
    EXPECT_EQ(link.param2, c.p2) << c.text;
    EXPECT_EQ(link.value, c.v) << c.text;
  }
  EXPECT_EQ(log.count("CONFIG READER: parameter  kFilterResonance NOT FOUND!"), 1);
  EXPECT_EQ(log.count("CONFIG READER: parameter kNoSuchParam NOT FOUND!"), 3);
}

TEST(ConvertStringSysextoVector, ReadsHexTokensSeparatedByBlanks)
{
  struct Case
  {
    const char* text;
    std::vector<int> expected;
  } cases[] = {
    {"F0 42 30 58", {240, 66, 48, 88}},
    {"0x7f  7F", {127, 127}},
    {"F0\t42", {240}},
    {"", {}},
    {"100", {256}},
    {"zz 41", {0, 65}},
    {"2Ag", {42}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UIConfigManager::convertStringSysextoVector(c.text), c.expected) << '"' << c.text << '"';
}

TEST(ParseSysExTemplate, AcceptsDataBytesOnly)
{
  UIConfigManager cfg;
  LogLines log;
  cfg.setLogSink(log.sink());

  std::vector<int> bytes;
  ASSERT_TRUE(cfg.parseSysExTemplate("42 30 58 41 2A 00 7F 00", &bytes));
  EXPECT_EQ(bytes, (std::vector<int>{0x42, 0x30, 0x58, 0x41, 0x2A, 0x00, 0x7F, 0x00}));
  EXPECT_TRUE(log.lines.empty());

  const struct
  {
    const char* text;
    const char* why;
  } refused[] = {
    {"42 30 58 41 80 00", "80, not a data byte 00 to 7F"},
    {"42 100 58", "100, not a data byte 00 to 7F"},
    {"F0 42 30 58", "F0, not a data byte 00 to 7F"},
    {"42 -1 58", "-1, not a data byte 00 to 7F"},
    {"42 zz 58", "zz, not a hexadecimal number"},
    {"42 2Ag", "2Ag, not a hexadecimal number"},
    {"   ", "is empty"},
  };
  for (const auto& r : refused)
  {
    bytes = {1, 2, 3};
    log.lines.clear();
    EXPECT_FALSE(cfg.parseSysExTemplate(r.text, &bytes)) << r.text;
    EXPECT_EQ(bytes, (std::vector<int>{1, 2, 3})) << "refused whole";
    ASSERT_EQ(log.lines.size(), 1u) << r.text;
    EXPECT_EQ(log.lines[0].rfind("CONFIG READER: SysEx template", 0), 0u);
    EXPECT_NE(log.lines[0].find(r.why), std::string::npos) << log.lines[0];
  }
}

TEST(GetParamGroup, LabelsByTimbre)
{
  UIConfigManager cfg;
  EXPECT_STREQ(cfg.getParamGroup(0, "Filter"), "Timbre 1:Filter");
  EXPECT_STREQ(cfg.getParamGroup(1, ""), "Timbre 2");
  EXPECT_STREQ(cfg.getParamGroup(-1, "Arp"), "Arp");
  EXPECT_STREQ(cfg.getParamGroup(-1, ""), "");
  EXPECT_STREQ(cfg.getParamGroup(11, "Seq"), "Timbre 12:Seq");
  EXPECT_STREQ(cfg.getParamGroup(INT_MAX, ""), "Timbre 2147483648");
}
