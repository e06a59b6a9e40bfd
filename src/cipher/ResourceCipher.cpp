#include "cipher/ResourceCipher.h"

#include "cipher/Tea.h"

#include <cstring>

// Chosen for this plug-in; changing it means rebuilding both resources, which the
// build does from their sources.
const unsigned char kResourceKeyBytes[16] = {0x5D, 0x2B, 0xC4, 0x71, 0x0E, 0x93, 0xA8, 0x36,
                                             0xF2, 0x4C, 0x67, 0x1B, 0xD9, 0x80, 0x3E, 0xA5};

void resourceKeyWords(const unsigned char* keyBytes, unsigned int* words)
{
  for (int i = 0; i < 4; ++i)
  {
    const unsigned char* b = keyBytes + 4 * i;
    words[i] = (unsigned int)b[0] | (unsigned int)b[1] << 8 | (unsigned int)b[2] << 16 | (unsigned int)b[3] << 24;
  }
}

std::string decipherResource(const unsigned char* data, int n, const unsigned int* key)
{
  std::string text;
  if (!data || n <= 0) return text;
  unsigned int k[4];
  memcpy(k, key, sizeof(k));
  text.reserve((size_t)n + 8);
  for (int offset = 0; offset < n; offset += 8)
  {
    unsigned char block[8] = {0};
    memcpy(block, data + offset, (size_t)(n - offset < 8 ? n - offset : 8));
    Tea::simpledecrypt(block, k);
    text.append((const char*)block, 8);
  }
  return text;
}

bool encipherResource(const std::string& text, const unsigned int* key, std::vector<unsigned char>* out)
{
  out->clear();
  if (text.find('\0') != std::string::npos) return false;
  unsigned int k[4];
  memcpy(k, key, sizeof(k));
  out->assign((text.size() + 7) / 8 * 8, 0);
  if (!text.empty()) memcpy(out->data(), text.data(), text.size());
  for (size_t offset = 0; offset < out->size(); offset += 8) Tea::simpleencrypt(out->data() + offset, k);
  return true;
}
