#include "cipher/Tea.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const uint32_t kDelta = 0x9E3779B9u;
const uint32_t kDecipherSum = 0xC6EF3720u;  // 32 * kDelta, wrapped
const int kCycles = 32;

void encipherWords(uint32_t& y, uint32_t& z, const unsigned int* k)
{
  uint32_t sum = 0;
  for (int i = 0; i < kCycles; ++i)
  {
    sum += kDelta;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
}

void decipherWords(uint32_t& y, uint32_t& z, const unsigned int* k)
{
  uint32_t sum = kDecipherSum;
  for (int i = 0; i < kCycles; ++i)
  {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= kDelta;
  }
}

uint32_t loadBigEndian(const unsigned char* p)
{
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

void storeBigEndian(unsigned char* p, uint32_t v)
{
  p[0] = (unsigned char)(v >> 24);
  p[1] = (unsigned char)(v >> 16);
  p[2] = (unsigned char)(v >> 8);
  p[3] = (unsigned char)v;
}

// Host-order words of a byte buffer, which need not be aligned.
uint32_t loadHost(const unsigned char* p)
{
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

void storeHost(unsigned char* p, uint32_t v) { memcpy(p, &v, 4); }

}  // namespace

void Tea::simpledecrypt(unsigned char* block, unsigned int* key)
{
  uint32_t y = loadBigEndian(block), z = loadBigEndian(block + 4);
  decipherWords(y, z, key);
  storeBigEndian(block, y);
  storeBigEndian(block + 4, z);
}

void Tea::simpleencrypt(unsigned char* block, unsigned int* key)
{
  uint32_t y = loadBigEndian(block), z = loadBigEndian(block + 4);
  encipherWords(y, z, key);
  storeBigEndian(block, y);
  storeBigEndian(block + 4, z);
}

void Tea::decryptTea(unsigned int* v, unsigned int* key)
{
  uint32_t y = v[0], z = v[1];
  decipherWords(y, z, key);
  v[0] = y;
  v[1] = z;
}

void Tea::encryptTea(unsigned int* v, unsigned int* key)
{
  uint32_t y = v[0], z = v[1];
  encipherWords(y, z, key);
  v[0] = y;
  v[1] = z;
}

bool Tea::encryptBlock(unsigned char* data, unsigned int* length, unsigned int* key)
{
  const unsigned int len = *length;
  const unsigned int m = len / 8 + (len % 8 != 0);
  storeHost(data + 8 * m + 4, len);
  for (unsigned int b = 0; b <= m; ++b)
  {
    unsigned char* p = data + 8 * b;
    uint32_t y = loadHost(p), z = loadHost(p + 4);
    encipherWords(y, z, key);
    storeHost(p, y);
    storeHost(p + 4, z);
  }
  *length = 8 * m + 8;
  return true;
}

bool Tea::decryptBlock(unsigned char* data, unsigned int* length, unsigned int* key)
{
  const unsigned int n = *length;
  if (n < 8 || n % 8 != 0) return false;
  const unsigned int m = n / 8;
  // The length block is deciphered first, so a bad size is refused before the
  // buffer is touched.
  unsigned char* last = data + 8 * (m - 1);
  uint32_t ly = loadHost(last), lz = loadHost(last + 4);
  decipherWords(ly, lz, key);
  if (lz > 8 * (m - 1)) return false;
  for (unsigned int b = 0; b + 1 < m; ++b)
  {
    unsigned char* p = data + 8 * b;
    uint32_t y = loadHost(p), z = loadHost(p + 4);
    decipherWords(y, z, key);
    storeHost(p, y);
    storeHost(p + 4, z);
  }
  storeHost(last, ly);
  storeHost(last + 4, lz);
  *length = lz;
  return true;
}

void Tea::printBuffer(unsigned char* data, int length)
{
  if (data && length > 0) fwrite(data, 1, (size_t)length, stdout);
  fputc('\n', stdout);
}
