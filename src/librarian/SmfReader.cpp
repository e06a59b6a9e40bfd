#include "librarian/SmfReader.h"

#include <cstring>

namespace
{
uint32_t be32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

class TrackReader
{
public:
  TrackReader(const uint8_t* data, uint32_t size) : d(data), n(size) {}

  bool read(std::vector<std::vector<uint8_t>>* out, std::string* error)
  {
    uint8_t running = 0;
    std::vector<uint8_t> pending;  // a message waiting for its continuation events
    while (p < n)
    {
      uint32_t delta = 0;
      if (!varLen(&delta)) return fail(error, "bad delta time");
      if (p >= n) return fail(error, "track ends after a delta time");
      const uint8_t status = d[p];
      if (status == 0xFF)
      {
        if (p + 2 > n) return fail(error, "meta event runs past the track");
        const uint8_t type = d[p + 1];
        p += 2;
        uint32_t len = 0;
        if (!varLen(&len) || len > n - p) return fail(error, "meta event runs past the track");
        p += len;
        if (type == 0x2F) break;
      }
      else if (status == 0xF0 || status == 0xF7)
      {
        ++p;
        uint32_t len = 0;
        if (!varLen(&len) || len > n - p) return fail(error, "system-exclusive event runs past the track");
        const uint8_t* bytes = d + p;
        p += len;
        const bool ends = len > 0 && bytes[len - 1] == 0xF7;
        if (status == 0xF0)
        {
          // A new message abandons one whose continuation never came.
          pending.assign(1, 0xF0);
          pending.insert(pending.end(), bytes, bytes + len);
        }
        else if (!pending.empty())
        {
          pending.insert(pending.end(), bytes, bytes + len);
        }
        else
        {
          // An escape: only a whole message inside it is of interest.
          if (len >= 2 && bytes[0] == 0xF0 && ends) out->emplace_back(bytes, bytes + len);
          continue;
        }
        if (ends)
        {
          out->push_back(std::move(pending));
          pending.clear();
        }
      }
      else if (status >= 0xF1)
      {
        return fail(error, "system message inside a track");
      }
      else
      {
        if (status & 0x80)
        {
          running = status;
          ++p;
        }
        else if (!running)
        {
          return fail(error, "data byte without a status");
        }
        const uint32_t dataBytes = (running & 0xF0) == 0xC0 || (running & 0xF0) == 0xD0 ? 1 : 2;
        if (dataBytes > n - p) return fail(error, "channel message runs past the track");
        for (uint32_t i = 0; i < dataBytes; ++i)
          if (d[p + i] & 0x80) return fail(error, "status byte inside a channel message");
        p += dataBytes;
      }
    }
    return true;
  }

private:
  bool varLen(uint32_t* value)
  {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
    {
      if (p >= n) return false;
      const uint8_t b = d[p++];
      v = (v << 7) | (b & 0x7F);
      if (!(b & 0x80))
      {
        *value = v;
        return true;
      }
    }
    return false;
  }

  static bool fail(std::string* error, const char* why)
  {
    if (error) *error = why;
    return false;
  }

  const uint8_t* d;
  uint32_t n;
  uint32_t p = 0;
};
}  // namespace

bool isStandardMidiFile(const uint8_t* data, int size) { return data && size >= 8 && !memcmp(data, "MThd", 4); }

bool readSmfSysexMessages(const uint8_t* data, int size, std::vector<std::vector<uint8_t>>* out, std::string* error)
{
  if (!isStandardMidiFile(data, size))
  {
    if (error) *error = "no MThd chunk";
    return false;
  }
  const uint32_t total = (uint32_t)size;
  const uint32_t headLen = be32(data + 4);
  if (headLen < 6 || headLen > total - 8)
  {
    if (error) *error = "bad MThd length";
    return false;
  }
  std::vector<std::vector<uint8_t>> found;
  int tracks = 0;
  uint32_t pos = 8 + headLen;
  while (total - pos >= 8)
  {
    const uint8_t* chunk = data + pos;
    const uint32_t len = be32(chunk + 4);
    if (len > total - pos - 8)
    {
      if (error) *error = "chunk runs past the end of the file";
      return false;
    }
    if (!memcmp(chunk, "MTrk", 4))
    {
      ++tracks;
      if (!TrackReader(chunk + 8, len).read(&found, error)) return false;
    }
    pos += 8 + len;
  }
  if (!tracks)
  {
    if (error) *error = "no MTrk chunk";
    return false;
  }
  for (auto& m : found) out->push_back(std::move(m));
  return true;
}
