#include "editor/PatchManager.h"

#include "editor/Davrel.h"

#include <cstring>

Patch::Patch()
{
  for (auto& n : names) n = "- INIT -";
}

void putBigEndian32(ByteChunk* chunk, int32_t value)
{
  const uint32_t v = (uint32_t)value;
  const uint8_t b[4] = {(uint8_t)(v >> 24), (uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
  chunk->PutBytes(b, 4);
}

int getBigEndian32(const ByteChunk* chunk, int pos, int32_t* value)
{
  uint8_t b[4];
  const int next = chunk->GetBytes(b, 4, pos);
  if (next < 0) return -1;
  *value = (int32_t)((uint32_t)b[0] << 24 | (uint32_t)b[1] << 16 | (uint32_t)b[2] << 8 | b[3]);
  return next;
}

void PatchManager::init()
{
  ByteChunk scratch;
  if (plug) plug->SerializeState2(&scratch, false);
  snapshot.Clear();
  snapshot.PutBytes(&scratch);
}

void PatchManager::putStringToChunk(ByteChunk* chunk, const std::string& text, int /*maxLength*/)
{
  const size_t nul = text.find('\0');
  const std::string cut = nul == std::string::npos ? text : text.substr(0, nul);
  const int32_t n = (int32_t)cut.size();
  chunk->PutValue(&n);
  chunk->PutBytes(cut.data(), n);
}

void PatchManager::saveAllToChunk(ByteChunk* chunk) const
{
  ByteChunk scratch;
  putBigEndian32(&scratch, 1);
  putBigEndian32(&scratch, 1);
  putBigEndian32(&scratch, snapshot.Size());
  scratch.PutBytes(&snapshot);
  for (int i = 0; i < kNames; ++i)
    putStringToChunk(&scratch, names[i], i < kInName ? kProgramNameLength : kDeviceNameLength);
  chunk->PutBytes(&scratch);
}

int PatchManager::readBlock(const ByteChunk* chunk, int pos, ByteChunk* snapshotOut, std::string namesOut[kNames])
{
  int32_t v1 = 0, v2 = 0, length = 0;
  pos = getBigEndian32(chunk, pos, &v1);
  if (pos >= 0) pos = getBigEndian32(chunk, pos, &v2);
  if (pos >= 0) pos = getBigEndian32(chunk, pos, &length);
  if (pos < 0 || v1 != 1 || v2 != 1 || length < 0 || (long long)pos + length > chunk->Size()) return -1;
  snapshotOut->Clear();
  snapshotOut->PutBytes(chunk->Data() + pos, length);
  pos += length;
  for (int i = 0; i < kNames; ++i)
  {
    int32_t n = 0;
    pos = chunk->GetValue(&n, pos);
    if (pos < 0 || n < 0 || (long long)pos + n > chunk->Size()) return -1;
    std::string text(n ? (const char*)chunk->Data() + pos : "", (size_t)n);
    const size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    // Program names are held at their fixed width, NUL-padded, as the hardware has them.
    if (i < kInName) text.resize(kProgramNameLength, '\0');
    namesOut[i] = text;
    pos += n;
  }
  return pos;
}

int PatchManager::loadAllFromChunk(ByteChunk* chunk, int pos)
{
  ByteChunk snap;
  std::string read[kNames];
  const int next = readBlock(chunk, pos, &snap, read);
  if (next < 0) return -1;
  snapshot.Clear();
  snapshot.PutBytes(&snap);
  for (int i = 0; i < kNames; ++i) names[i] = read[i];
  return next;
}
