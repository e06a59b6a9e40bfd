#include "hardware/SysexPacking.h"

#include <cstdio>
#include <cstring>

int sysexPackedSize(int dataLen)
{
  if (dataLen <= 0) return 0;
  return dataLen + (dataLen + 6) / 7;
}

int sysexUnpackedSize(int packedLen)
{
  if (packedLen <= 0) return 0;
  return packedLen - (packedLen + 7) / 8;
}

int sysexPack7(const uint8_t* data, int dataLen, uint8_t* out)
{
  int o = 0;
  for (int g = 0; g < dataLen; g += 7)
  {
    const int n = dataLen - g < 7 ? dataLen - g : 7;
    uint8_t top = 0;
    for (int j = 0; j < n; ++j)
      if (data[g + j] & 0x80) top |= (uint8_t)(1 << j);
    out[o++] = top;
    for (int j = 0; j < n; ++j) out[o++] = data[g + j] & 0x7F;
  }
  return o;
}

int sysexUnpack7(const uint8_t* packed, int packedLen, uint8_t* out)
{
  int o = 0;
  for (int p = 0; p < packedLen; p += 8)
  {
    const uint8_t top = packed[p];
    if (top & 0x80) return -1;
    const int n = packedLen - p - 1 < 7 ? packedLen - p - 1 : 7;
    for (int j = 0; j < n; ++j)
    {
      const uint8_t b = packed[p + 1 + j];
      if (b & 0x80) return -1;
      out[o++] = (uint8_t)(b | (((top >> j) & 1) << 7));
    }
  }
  return o;
}

bool isDavrelSysex(const uint8_t* msg, int size)
{
  return msg && size >= 4 && msg[0] == 0xF0 && msg[1] == kSysexManufacturerId && (msg[2] & 0xF0) == 0x30 &&
         msg[3] == kSysexModelId;
}

bool isProgramDumpFrame(const uint8_t* msg, int size)
{
  return size == kProgramDumpSize && isDavrelSysex(msg, size) && msg[4] == kSysexProgramDumpFunction &&
         msg[size - 1] == 0xF7;
}

bool isProgramDump(const uint8_t* msg, int size)
{
  if (!isProgramDumpFrame(msg, size)) return false;
  // Eight bytes at a time, no early exit (a scan reads a quarter of a million of these).
  uint64_t all = 0;
  int i = 5;
  for (; i + 8 <= size - 1; i += 8)
  {
    uint64_t w;
    memcpy(&w, msg + i, 8);
    all |= w;
  }
  for (; i < size - 1; ++i) all |= msg[i];
  return !(all & 0x8080808080808080ull);
}

std::string programDumpFault(const uint8_t* msg, int size)
{
  char text[96];
  if (!msg || size != kProgramDumpSize)
    snprintf(text, sizeof text, "%d bytes, %d expected", msg ? size : 0, (int)kProgramDumpSize);
  else if (!isDavrelSysex(msg, size))
    snprintf(text, sizeof text, "header %02X %02X %02X %02X, F0 42 3n 58 expected", msg[0], msg[1], msg[2], msg[3]);
  else if (msg[4] != kSysexProgramDumpFunction)
    snprintf(text, sizeof text, "function byte %02X, %02X expected", msg[4], (int)kSysexProgramDumpFunction);
  else if (msg[size - 1] != 0xF7)
    snprintf(text, sizeof text, "no F7 at its end (byte %d is %02X)", size - 1, msg[size - 1]);
  else
  {
    int i = 5;
    while (i < size - 1 && !(msg[i] & 0x80)) ++i;
    if (i == size - 1) return std::string();
    snprintf(text, sizeof text, "byte %d is %02X, a status byte inside the data", i, msg[i]);
  }
  return text;
}

void makeProgramDump(const uint8_t* data, uint8_t channelByte, uint8_t* out)
{
  out[0] = 0xF0;
  out[1] = kSysexManufacturerId;
  out[2] = channelByte;
  out[3] = kSysexModelId;
  out[4] = kSysexProgramDumpFunction;
  sysexPack7(data, kProgramDataSize, out + 5);
  out[kProgramDumpSize - 1] = 0xF7;
}

bool readProgramData(const uint8_t* msg, int size, uint8_t* data)
{
  if (!isProgramDump(msg, size)) return false;
  return sysexUnpack7(msg + 5, kProgramDumpSize - 6, data) == kProgramDataSize;
}

int programDumpNameInto(const uint8_t* msg, int size, char* out)
{
  if (size >= 22)
  {
    // Names seldom hold a zero byte: the twelve bytes are taken whole when they do not.
    // Read straight from the message (raw 6 to 13 and 14 to 21), the bytes that are no
    // part of the name set to 0xFF, which is no zero.
    uint64_t lo, hi;
    memcpy(&lo, msg + 6, 8);
    memcpy(&hi, msg + 14, 8);
    lo |= 0xFF00000000000000ull;
    hi |= 0xFFFFFF0000000000ull;
    // Nonzero exactly where some byte is zero.
    const uint64_t zeros = ((lo - 0x0101010101010101ull) & ~lo) | ((hi - 0x0101010101010101ull) & ~hi);
    if (!(zeros & 0x8080808080808080ull))
    {
      memcpy(out, &lo, 8);  // raw 6 to 12, and a byte the next store covers
      memcpy(out + 7, &hi, 8);
      return kProgramNameLength;
    }
  }
  int n = 0;
  for (int i = 6; i <= 18 && i < size - 1; ++i)
    if (i != 13 && msg[i]) out[n++] = (char)msg[i];
  return n;
}

std::string programDumpName(const uint8_t* msg, int size)
{
  char name[16];
  return std::string(name, (size_t)programDumpNameInto(msg, size, name));
}
