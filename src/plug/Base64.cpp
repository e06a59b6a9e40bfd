#include "plug/Base64.h"

#include <cstring>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int DecodeChar(char c)
{
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

void Base64Encode(const uint8_t* pData, int size, WDL_String* pOut)
{
  if (!pOut || !pData || size <= 0) return;
  char group[5] = {};
  for (int i = 0; i < size; i += 3)
  {
    const int n = size - i < 3 ? size - i : 3;
    const unsigned v = (unsigned)pData[i] << 16 | (n > 1 ? (unsigned)pData[i + 1] << 8 : 0u) | (n > 2 ? pData[i + 2] : 0u);
    group[0] = kAlphabet[(v >> 18) & 63];
    group[1] = kAlphabet[(v >> 12) & 63];
    group[2] = n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    group[3] = n > 2 ? kAlphabet[v & 63] : '=';
    pOut->Append(group);
  }
}

int Base64Decode(const char* text, uint8_t* pOut, int outSize)
{
  if (outSize < 0) outSize = 0;
  if (pOut && outSize) memset(pOut, 0, (size_t)outSize);
  if (!text) return 0;
  int nBytes = 0, nBits = 0;
  unsigned acc = 0;
  for (const char* p = text; *p; ++p)
  {
    const int d = DecodeChar(*p);
    if (d < 0) break;
    acc = (acc << 6 | (unsigned)d) & 0xFFFFFF;
    nBits += 6;
    if (nBits >= 8)
    {
      nBits -= 8;
      if (pOut && nBytes < outSize) pOut[nBytes] = (uint8_t)(acc >> nBits);
      ++nBytes;
    }
  }
  return nBytes;
}
