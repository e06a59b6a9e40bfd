#include "librarian/BankFormats.h"

#include "hardware/SysexPacking.h"
#include "plug/ByteChunk.h"

#include <cstring>

const std::vector<uint8_t>& mkInitPatchData()
{
  static const std::vector<uint8_t> filler = [] {
    uint8_t data[kProgramDataSize] = {};
    memcpy(data, "Init Sound  ", kProgramNameLength);
    std::vector<uint8_t> msg(kProgramDumpSize);
    makeProgramDump(data, 0x30, msg.data());
    return msg;
  }();
  return filler;
}

namespace
{
// A Standard MIDI File variable-length quantity.
void appendMidiVarLen(ByteChunk* out, uint32_t value)
{
  uint8_t buf[5];
  int n = 0;
  buf[4 - n++] = value & 0x7F;
  while (value >>= 7) buf[4 - n++] = (uint8_t)(0x80 | (value & 0x7F));
  out->PutBytes(buf + 5 - n, n);
}
}  // namespace

const PatchSysexMessage* LibrarianPatch::program() const
{
  for (const PatchSysexMessage& m : messages)
    if (isProgramDump(m.bytes.data(), (int)m.bytes.size())) return &m;
  return nullptr;
}

bool LibrarianPatch::save(ByteChunk* out, bool isMid, int slotNumber) const
{
  const PatchSysexMessage* own = program();
  const uint8_t* bytes = own ? own->bytes.data() : mkInitPatchData().data();
  const int size = own ? (int)own->bytes.size() : (int)mkInitPatchData().size();
  if (isMid)
  {
    appendMidiVarLen(out, slotNumber == 0 ? 0 : kMidiBankEventDelta);
    out->PutBytes(bytes, 1);
    appendMidiVarLen(out, (uint32_t)size - 1);
    out->PutBytes(bytes + 1, size - 1);
  }
  else
  {
    out->PutBytes(bytes, size);
  }
  // An empty slot takes the filler by design; only messages left out count.
  return messages.empty() || (own && messages.size() == 1);
}

int appendBankBytes(const PatchFile& bank, bool isMid, ByteChunk* out)
{
  // The head of a Standard MIDI File bank, up to the programs track's length field,
  // which is filled in once the track is written.
  static const uint8_t mkPatchStart[] = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0,                 // format 1, two tracks, 480 ticks
      'M', 'T', 'r', 'k', 0, 0, 0, 0x13,                                      // tempo track, 19 bytes
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,                         // 4/4
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                               // 500,000 us a quarter
      0x00, 0xFF, 0x2F, 0x00,                                                 // end of track
      'M', 'T', 'r', 'k', 0, 0, 0, 0,                                         // programs, length below
  };
  static const uint8_t endOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
  const int start = out->Size();
  if (isMid) out->PutBytes(mkPatchStart, (int)sizeof(mkPatchStart));
  const int trackStart = out->Size();

  int fillers = 0;
  const LibrarianPatch empty;
  for (int slot = 0; slot < kBankSlots; ++slot)
  {
    const LibrarianPatch& p = slot < (int)bank.patches.size() ? bank.patches[slot] : empty;
    if (!p.save(out, isMid, slot)) ++fillers;
  }

  if (isMid)
  {
    out->PutBytes(endOfTrack, (int)sizeof(endOfTrack));
    const uint32_t len = (uint32_t)(out->Size() - trackStart);
    uint8_t* lenField = out->Data() + start + (int)sizeof(mkPatchStart) - 4;
    lenField[0] = (uint8_t)(len >> 24);
    lenField[1] = (uint8_t)(len >> 16);
    lenField[2] = (uint8_t)(len >> 8);
    lenField[3] = (uint8_t)len;
  }
  return fillers;
}

bool findByte(ByteChunk* chunk, int& position, int value)
{
  if (position < 0) return false;
  const int size = chunk->Size();
  if (position < size)
  {
    const void* hit = memchr(chunk->Data() + position, value, (size_t)(size - position));
    if (hit)
    {
      position = (int)((const uint8_t*)hit - chunk->Data()) + 1;
      return true;
    }
  }
  position = -1;
  return false;
}
