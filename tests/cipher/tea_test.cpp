#include "cipher/ResourceCipher.h"
#include "cipher/Tea.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

// The published reference vector: all-zero key and block.
const unsigned int kZeroCipher[2] = {0x41EA3A0Au, 0x94BAA940u};

std::vector<unsigned char> randomBytes(std::mt19937& rng, size_t n)
{
  std::vector<unsigned char> v(n);
  for (auto& b : v) b = (unsigned char)rng();
  return v;
}

}  // namespace

TEST(Tea, KnownAnswerInHostWords)
{
  unsigned int key[4] = {0, 0, 0, 0};
  unsigned int v[2] = {0, 0};
  Tea::encryptTea(v, key);
  EXPECT_EQ(v[0], kZeroCipher[0]);
  EXPECT_EQ(v[1], kZeroCipher[1]);
  Tea::decryptTea(v, key);
  EXPECT_EQ(v[0], 0u);
  EXPECT_EQ(v[1], 0u);
}

TEST(Tea, KnownAnswerInBigEndianBlock)
{
  unsigned int key[4] = {0, 0, 0, 0};
  unsigned char block[8] = {0};
  Tea::simpleencrypt(block, key);
  const unsigned char expected[8] = {0x41, 0xEA, 0x3A, 0x0A, 0x94, 0xBA, 0xA9, 0x40};
  EXPECT_EQ(memcmp(block, expected, 8), 0);
  Tea::simpledecrypt(block, key);
  const unsigned char zero[8] = {0};
  EXPECT_EQ(memcmp(block, zero, 8), 0);
}

TEST(Tea, BlockFormReadsWordsMostSignificantByteFirst)
{
  unsigned int key[4] = {0x01234567u, 0x89ABCDEFu, 0xFEDCBA98u, 0x76543210u};
  unsigned char block[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  unsigned int words[2] = {0x01020304u, 0x05060708u};
  Tea::simpleencrypt(block, key);
  Tea::encryptTea(words, key);
  const unsigned char expected[8] = {(unsigned char)(words[0] >> 24), (unsigned char)(words[0] >> 16),
                                     (unsigned char)(words[0] >> 8),  (unsigned char)words[0],
                                     (unsigned char)(words[1] >> 24), (unsigned char)(words[1] >> 16),
                                     (unsigned char)(words[1] >> 8),  (unsigned char)words[1]};
  EXPECT_EQ(memcmp(block, expected, 8), 0);
}

TEST(Tea, SeededRoundTrips)
{
  std::mt19937 rng(20240611);
  for (int i = 0; i < 500; ++i)
  {
    unsigned int key[4] = {(unsigned)rng(), (unsigned)rng(), (unsigned)rng(), (unsigned)rng()};
    auto block = randomBytes(rng, 8);
    auto original = block;
    Tea::simpleencrypt(block.data(), key);
    EXPECT_NE(block, original);
    Tea::simpledecrypt(block.data(), key);
    ASSERT_EQ(block, original) << "round " << i;

    unsigned int v[2] = {(unsigned)rng(), (unsigned)rng()};
    const unsigned int v0 = v[0], v1 = v[1];
    Tea::encryptTea(v, key);
    Tea::decryptTea(v, key);
    ASSERT_EQ(v[0], v0);
    ASSERT_EQ(v[1], v1);
  }
}

TEST(Tea, WrongKeyDoesNotRestoreTheBlock)
{
  unsigned int key[4] = {1, 2, 3, 4};
  unsigned int other[4] = {1, 2, 3, 5};
  unsigned char block[8] = {'<', 'a', '/', '>', 0, 0, 0, 0};
  unsigned char copy[8];
  memcpy(copy, block, 8);
  Tea::simpleencrypt(block, key);
  Tea::simpledecrypt(block, other);
  EXPECT_NE(memcmp(block, copy, 8), 0);
}

// Lengths before and after: the data rounded up to whole blocks plus one length block.
TEST(Tea, EncryptBlockLengthsAndRoundTrip)
{
  struct Case
  {
    unsigned int length, enciphered;
  } cases[] = {{0, 8}, {1, 16}, {7, 16}, {8, 16}, {9, 24}, {800, 808}, {803, 816}};
  std::mt19937 rng(7);
  unsigned int key[4] = {0xDEADBEEFu, 0x0BADF00Du, 0x12345678u, 0x9ABCDEF0u};
  for (const Case& c : cases)
  {
    auto data = randomBytes(rng, c.enciphered);
    auto original = data;
    unsigned int length = c.length;
    ASSERT_TRUE(Tea::encryptBlock(data.data(), &length, key));
    EXPECT_EQ(length, c.enciphered) << c.length;
    ASSERT_TRUE(Tea::decryptBlock(data.data(), &length, key));
    EXPECT_EQ(length, c.length);
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + c.length, data.begin())) << c.length;
  }
}

TEST(Tea, EncryptBlockRecordsTheLengthInTheLastWord)
{
  unsigned int key[4] = {0, 0, 0, 0};
  std::vector<unsigned char> data(24, 0xAA);
  unsigned int length = 9;
  Tea::encryptBlock(data.data(), &length, key);
  // Deciphering only the length block shows the recorded length in its second word.
  unsigned int v[2];
  memcpy(v, data.data() + 16, 8);
  Tea::decryptTea(v, key);
  EXPECT_EQ(v[1], 9u);
}

TEST(Tea, DecryptBlockRefusesWhatEncryptBlockCannotMake)
{
  unsigned int key[4] = {5, 6, 7, 8};
  std::vector<unsigned char> data(16, 0);
  const auto before = data;

  for (unsigned int bad : {0u, 4u, 7u, 12u})
  {
    unsigned int length = bad;
    EXPECT_FALSE(Tea::decryptBlock(data.data(), &length, key)) << bad;
    EXPECT_EQ(length, bad);
    EXPECT_EQ(data, before);
  }

  // A length block that claims more bytes than precede it.
  unsigned int v[2] = {0, 9};
  Tea::encryptTea(v, key);
  memcpy(data.data() + 8, v, 8);
  const auto crafted = data;
  unsigned int length = 16;
  EXPECT_FALSE(Tea::decryptBlock(data.data(), &length, key));
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(data, crafted);
}

TEST(ResourceCipher, KeyWordsAreLittleEndianGroupsOfFour)
{
  const unsigned char bytes[16] = {0x01, 0x02, 0x03, 0x04, 0x10, 0x20, 0x30, 0x40,
                                   0xAA, 0xBB, 0xCC, 0xDD, 0xFF, 0x00, 0x00, 0x80};
  unsigned int words[4];
  resourceKeyWords(bytes, words);
  EXPECT_EQ(words[0], 0x04030201u);
  EXPECT_EQ(words[1], 0x40302010u);
  EXPECT_EQ(words[2], 0xDDCCBBAAu);
  EXPECT_EQ(words[3], 0x800000FFu);
}

// 800 bytes are 100 blocks; 803 bytes are 101, the last made of 3 bytes and 5 zeros.
TEST(ResourceCipher, ResourceSizesGiveWholeBlocks)
{
  unsigned int key[4];
  resourceKeyWords(kResourceKeyBytes, key);
  std::mt19937 rng(803);
  for (int n : {800, 803})
  {
    auto file = randomBytes(rng, (size_t)n);
    const std::string text = decipherResource(file.data(), n, key);
    ASSERT_EQ(text.size(), n == 800 ? 800u : 808u);

    // The last block deciphers as the file's bytes followed by zeros.
    unsigned char last[8] = {0};
    memcpy(last, file.data() + (n - 1) / 8 * 8, (size_t)(n - (n - 1) / 8 * 8));
    Tea::simpledecrypt(last, key);
    EXPECT_EQ(memcmp(text.data() + text.size() - 8, last, 8), 0) << n;
  }
}

TEST(ResourceCipher, TextRoundTripPadsWithZeros)
{
  unsigned int key[4];
  resourceKeyWords(kResourceKeyBytes, key);
  for (size_t len : {0u, 1u, 7u, 8u, 9u, 803u})
  {
    std::string text(len, 'x');
    for (size_t i = 0; i < len; ++i) text[i] = (char)('a' + i % 26);
    std::vector<unsigned char> file;
    ASSERT_TRUE(encipherResource(text, key, &file));
    EXPECT_EQ(file.size(), (len + 7) / 8 * 8);
    const std::string back = decipherResource(file.data(), (int)file.size(), key);
    ASSERT_EQ(back.size(), file.size());
    EXPECT_EQ(back.substr(0, len), text);
    EXPECT_EQ(back.find_first_not_of('\0', len), std::string::npos) << "padding must be zeros";
    EXPECT_EQ(std::string(back.c_str()), text) << "the text ends at the first zero";
  }
}

TEST(ResourceCipher, RefusesATextHoldingAZeroByte)
{
  unsigned int key[4] = {1, 1, 1, 1};
  std::vector<unsigned char> file = {1, 2, 3};
  EXPECT_FALSE(encipherResource(std::string("<a>\0</a>", 8), key, &file));
  EXPECT_TRUE(file.empty());
}

TEST(ResourceCipher, NothingToDecipher)
{
  unsigned int key[4] = {0, 0, 0, 0};
  EXPECT_EQ(decipherResource(nullptr, 16, key), "");
  const unsigned char b[8] = {0};
  EXPECT_EQ(decipherResource(b, 0, key), "");
  EXPECT_EQ(decipherResource(b, -8, key), "");
}
