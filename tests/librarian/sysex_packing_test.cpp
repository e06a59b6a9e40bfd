#include "LibrarianTestSupport.h"

#include "hardware/SysexPacking.h"

#include <gtest/gtest.h>

TEST(SysexPacking, WorkedExampleValue200InFirstByteOfAGroup)
{
  const uint8_t data[] = {200, 1, 2};
  uint8_t out[4] = {};
  ASSERT_EQ(sysexPack7(data, 3, out), 4);
  EXPECT_EQ(out[0], 0x01);  // bit 0 of the packing byte: bit 7 of the first byte
  EXPECT_EQ(out[1], 0x48);
  EXPECT_EQ(out[2], 1);
  EXPECT_EQ(out[3], 2);
}

TEST(SysexPacking, SizesOfTheDumps)
{
  EXPECT_EQ(sysexPackedSize(254), 291);
  EXPECT_EQ(sysexPackedSize(200), 229);
  EXPECT_EQ(sysexPackedSize(128 * 254), 37157);
  EXPECT_EQ(sysexPackedSize(128 * 254 + 200), 37386);
  EXPECT_EQ(sysexUnpackedSize(291), 254);
  EXPECT_EQ(sysexUnpackedSize(37157), 32512);
  EXPECT_EQ(sysexUnpackedSize(37386), 32712);
  EXPECT_EQ(sysexPackedSize(0), 0);
  EXPECT_EQ(sysexUnpackedSize(1), 0);  // a packing byte alone carries nothing
}

TEST(SysexPacking, RawIndexOfDataBytes)
{
  // data byte d at 6 + 8 (d div 7) + d mod 7; its bit 7 in byte 5 + 8 (d div 7)
  EXPECT_EQ(sysexDataRawIndex(0), 6);
  EXPECT_EQ(sysexDataRawIndex(11), 18);
  EXPECT_EQ(sysexDataRawIndex(7), 14);
  EXPECT_EQ(sysexDataRawIndex(253), 295);
  EXPECT_EQ(sysexPackingRawIndex(7), 13);
  EXPECT_EQ(sysexPackingRawIndex(253), 293);
}

TEST(SysexPacking, SeededRoundTripAgainstIndependentPacker)
{
  std::mt19937 rng(1234);
  for (int round = 0; round < 200; ++round)
  {
    Bytes data(rng() % 600);
    for (uint8_t& b : data) b = (uint8_t)rng();
    const Bytes expected = testPack(data);
    Bytes packed((size_t)sysexPackedSize((int)data.size()) + 1, 0xEE);
    ASSERT_EQ(sysexPack7(data.data(), (int)data.size(), packed.data()), (int)expected.size());
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), packed.begin())) << "length " << data.size();
    EXPECT_EQ(packed.back(), 0xEE);

    Bytes back((size_t)sysexUnpackedSize((int)expected.size()));
    ASSERT_EQ(sysexUnpack7(expected.data(), (int)expected.size(), back.data()), (int)data.size());
    EXPECT_EQ(back, data);
  }
}

TEST(SysexPacking, UnpackRefusesStatusBytes)
{
  const uint8_t packed[] = {0x00, 0x10, 0x90, 0x11};
  uint8_t out[3];
  EXPECT_EQ(sysexUnpack7(packed, 4, out), -1);
  const uint8_t badTop[] = {0x80, 0x10};
  EXPECT_EQ(sysexUnpack7(badTop, 2, out), -1);
}

TEST(SysexPacking, ProgramDumpFrameAndName)
{
  const Bytes data = testProgramData(7, "Warm Pad 12");
  uint8_t dump[297];
  makeProgramDump(data.data(), 0x35, dump);
  const Bytes expected = testProgramDump(data, 0x35);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), dump));
  EXPECT_TRUE(isProgramDump(dump, 297));
  EXPECT_EQ(programDumpName(dump, 297), "Warm Pad 12 ");

  uint8_t back[254];
  ASSERT_TRUE(readProgramData(dump, 297, back));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back));

  // Raw 13 is the packing byte of name characters 7 to 11, never a character.
  dump[13] = 0x41;
  EXPECT_EQ(programDumpName(dump, 297), "Warm Pad 12 ");
  dump[6] = 0;
  EXPECT_EQ(programDumpName(dump, 297), "arm Pad 12 ");
}

TEST(SysexPacking, ProgramDumpRecognition)
{
  const Bytes good = testProgramDump(testProgramData(3, "A"));
  struct Case
  {
    int index;
    uint8_t value;
    bool ok;
  } cases[] = {
      {-1, 0, true},      {1, 0x41, false},  {2, 0x3F, true},  {2, 0x40, false}, {3, 0x57, false},
      {4, 0x41, false},   {296, 0xF0, false}, {100, 0x80, false}, {5, 0x7F, true},
  };
  for (const Case& c : cases)
  {
    Bytes m = good;
    if (c.index >= 0) m[(size_t)c.index] = c.value;
    EXPECT_EQ(isProgramDump(m.data(), (int)m.size()), c.ok) << c.index;
  }
  EXPECT_FALSE(isProgramDump(good.data(), 296));
}

TEST(SysexPacking, ProgramNameAgainstAPlainTwinWithZerosAnywhere)
{
  // The name is the non-zero bytes of raw 6 to 12 and 14 to 18, in order, and only
  // those before the message's last byte; short messages take the byte-wise way.
  auto plain = [](const uint8_t* m, int size) {
    std::string s;
    for (int i = 6; i <= 18 && i < size - 1; ++i)
      if (i != 13 && m[i]) s += (char)m[i];
    return s;
  };
  const int sizes[] = {297, 23, 22, 21, 20, 19, 12};
  std::mt19937 rng(11);
  uint8_t dump[297];
  for (int round = 0; round < 2000; ++round)
  {
    for (uint8_t& b : dump) b = (uint8_t)rng();
    for (int i = 6; i <= 18; ++i)
      if (rng() % 4 == 0) dump[i] = 0;  // zeros anywhere, often none
    const int size = sizes[round % 7];
    ASSERT_EQ(programDumpName(dump, size), plain(dump, size)) << round;
  }
}
