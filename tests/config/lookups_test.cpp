#include "config/ControlLookups.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The lookups never look inside a control; distinct addresses are enough.
IControl* control(int n) { return reinterpret_cast<IControl*>(static_cast<intptr_t>(0x1000 + 16 * n)); }

struct Action
{
  int channelKey, msbValue, valueOffset, lsbValue, subKey;
};

}  // namespace

TEST(CCControlContainer, FindsOnlyTheExactAddress)
{
  CCControlContainer cc;
  cc.addToControlMap(1, 74, 0, control(1));
  EXPECT_EQ(cc.findControl(1, 74, 0), control(1));
  EXPECT_EQ(cc.findControl(0, 74, 0), nullptr);
  EXPECT_EQ(cc.findControl(1, 74, 1), nullptr);
  EXPECT_EQ(cc.findControl(1, 75, 0), nullptr);
  EXPECT_EQ(CCControlContainer().findControl(1, 74, 0), nullptr);

  cc.addToControlMap(1, 74, 0, control(2));
  EXPECT_EQ(cc.findControl(1, 74, 0), control(2)) << "the last registration wins";
}

TEST(NRPNControlContainer, FiveKeysFromTheAction)
{
  NRPNControlContainer nrpn;
  const Action first{2, 5, 0, 17, 0};
  nrpn.addToControlMap(&first, control(1));
  EXPECT_EQ(nrpn.findControl(2, 5, 0, 17, 0), control(1));

  const struct
  {
    int k[5];
  } misses[] = {{{1, 5, 0, 17, 0}}, {{2, 6, 0, 17, 0}}, {{2, 5, 1, 17, 0}}, {{2, 5, 0, 16, 0}}, {{2, 5, 0, 17, 1}}};
  for (const auto& m : misses) EXPECT_EQ(nrpn.findControl(m.k[0], m.k[1], m.k[2], m.k[3], m.k[4]), nullptr);

  nrpn.addToControlMap(&first, control(2));
  EXPECT_EQ(nrpn.findControl(2, 5, 0, 17, 0), control(2)) << "the second control under the same keys stays";
}

TEST(SysExControlContainer, KeyRuleByChangingByte)
{
  const std::vector<int> message = {0x42, 0x30, 0x58, 0x41, 0x2A, 0x00, 0x00, 0x00};
  unsigned char key[4];

  ASSERT_TRUE(SysExControlContainer::keyOfMessage(message, 7, key));
  EXPECT_EQ(std::vector<int>(key, key + 4), (std::vector<int>{0x58, 0x41, 0x2A, 0x00}));
  SysExControlContainer byValueByte;
  byValueByte.addToControlMap(key, 0, control(1));
  EXPECT_EQ(byValueByte.findControl(0x58, 0x41, 0x2A, 0x00, 0), control(1));
  EXPECT_EQ(byValueByte.findControl(0x58, 0x41, 0x2A, 0x00, 1), nullptr) << "fifth key differs";

  ASSERT_TRUE(SysExControlContainer::keyOfMessage(message, 8, key));
  EXPECT_EQ(std::vector<int>(key, key + 4), (std::vector<int>{0x41, 0x2A, 0x00, 0x00}));
  SysExControlContainer other;
  other.addToControlMap(key, 0, control(2));
  EXPECT_EQ(other.findControl(0x41, 0x2A, 0x00, 0x00, 0), control(2));
  EXPECT_EQ(other.findControl(0x58, 0x41, 0x2A, 0x00, 0), nullptr);
}

TEST(SysExControlContainer, KeyBytesAreTheLowEightBits)
{
  const std::vector<int> message = {0x42, 0x30, 0x58, 0x41, 0x12A, 0x1FF, 0x100, 0};
  unsigned char key[4];
  ASSERT_TRUE(SysExControlContainer::keyOfMessage(message, 7, key));
  EXPECT_EQ(std::vector<int>(key, key + 4), (std::vector<int>{0x58, 0x41, 0x2A, 0xFF}));
  ASSERT_TRUE(SysExControlContainer::keyOfMessage(message, 3, key));
  EXPECT_EQ(std::vector<int>(key, key + 4), (std::vector<int>{0x41, 0x2A, 0xFF, 0x00}));
}

TEST(SysExControlContainer, ShortMessagesGiveNoKey)
{
  unsigned char key[4] = {9, 9, 9, 9};
  EXPECT_FALSE(SysExControlContainer::keyOfMessage({0x42, 0x30, 0x58, 0x41, 0x2A}, 7, key));
  EXPECT_FALSE(SysExControlContainer::keyOfMessage({0x42, 0x30, 0x58, 0x41, 0x2A, 0}, 8, key));
  EXPECT_FALSE(SysExControlContainer::keyOfMessage({}, 7, key));
  EXPECT_EQ(std::vector<int>(key, key + 4), (std::vector<int>{9, 9, 9, 9}));
  EXPECT_TRUE(SysExControlContainer::keyOfMessage({0x42, 0x30, 0x58, 0x41, 0x2A, 0}, 7, key));
}

// Readers on the MIDI threads search while nothing writes; a miss must create
// nothing, or the readers would race on the maps.
TEST(ControlLookups, ConcurrentSearchesFindTheSameControls)
{
  CCControlContainer cc;
  NRPNControlContainer nrpn;
  SysExControlContainer sysex;
  for (int i = 0; i < 64; ++i)
  {
    cc.addToControlMap(1 + i % 16, i, 0, control(i));
    nrpn.addToControlMap(1, 5, 0, i, 0, control(i));
    const unsigned char key[4] = {0x58, 0x41, (unsigned char)i, 0};
    sysex.addToControlMap(key, 0, control(i));
  }
  const int sizes[] = {cc.size(), nrpn.size(), sysex.size()};
  std::atomic<int> wrong{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t)
  {
    readers.emplace_back([&, t] {
      for (int round = 0; round < 2000; ++round)
      {
        const int i = (round + t) % 64;
        if (cc.findControl(1 + i % 16, i, 0) != control(i)) ++wrong;
        if (nrpn.findControl(1, 5, 0, i, 0) != control(i)) ++wrong;
        if (sysex.findControl(0x58, 0x41, i, 0, 0) != control(i)) ++wrong;
        if (cc.findControl(0, i, round) || nrpn.findControl(1, 5, 1 + round, i, 0) ||
            sysex.findControl(0x58, 0x100 + round, i, 0, 0))
          ++wrong;
      }
    });
  }
  for (auto& r : readers) r.join();
  EXPECT_EQ(wrong.load(), 0);
  // Misses created nothing.
  EXPECT_EQ(cc.size(), sizes[0]);
  EXPECT_EQ(nrpn.size(), sizes[1]);
  EXPECT_EQ(sysex.size(), sizes[2]);
  EXPECT_EQ(cc.size(), 16 + 64 + 64);
}
