#include "LibrarianTestSupport.h"

#include "librarian/LibrarianLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>

Bytes testProgramData(uint32_t seed, const char* name)
{
  std::mt19937 rng(seed);
  Bytes d(254);
  for (uint8_t& b : d) b = (uint8_t)(rng() & 0xFF);
  for (int i = 0; i < 12; ++i) d[i] = name ? ' ' : 0;
  if (name)
    for (int i = 0; i < 12 && name[i]; ++i) d[i] = (uint8_t)name[i];
  return d;
}

Bytes testPack(const Bytes& data)
{
  Bytes out;
  for (size_t g = 0; g < data.size(); g += 7)
  {
    uint8_t top = 0;
    Bytes low;
    for (size_t j = 0; j < 7 && g + j < data.size(); ++j)
    {
      top |= (uint8_t)((data[g + j] >> 7) << j);
      low.push_back(data[g + j] & 0x7F);
    }
    out.push_back(top);
    out.insert(out.end(), low.begin(), low.end());
  }
  return out;
}

Bytes testProgramDump(const Bytes& data, uint8_t channel)
{
  Bytes m = {0xF0, 0x42, channel, 0x58, 0x40};
  const Bytes p = testPack(data);
  m.insert(m.end(), p.begin(), p.end());
  m.push_back(0xF7);
  return m;
}

static Bytes wholeDump(uint8_t function, const Bytes& data)
{
  Bytes m = {0xF0, 0x42, 0x30, 0x58, function};
  const Bytes p = testPack(data);
  m.insert(m.end(), p.begin(), p.end());
  m.push_back(0xF7);
  return m;
}

Bytes testAllProgramDump(const std::vector<Bytes>& programs) { return wholeDump(0x4C, concat(programs)); }

Bytes testAllDataDump(const std::vector<Bytes>& programs, uint32_t extraSeed)
{
  Bytes data = concat(programs);
  std::mt19937 rng(extraSeed);
  for (int i = 0; i < 200; ++i) data.push_back((uint8_t)(rng() & 0xFF));
  return wholeDump(0x50, data);
}

std::vector<Bytes> testPrograms(int n, uint32_t base)
{
  std::vector<Bytes> v;
  for (int i = 0; i < n; ++i)
  {
    char name[16];
    snprintf(name, sizeof(name), "Prog %03d", i % 1000);
    v.push_back(testProgramData(base + (uint32_t)i, name));
  }
  return v;
}

std::vector<Bytes> testDumps(int n, uint32_t base)
{
  std::vector<Bytes> v;
  for (const Bytes& p : testPrograms(n, base)) v.push_back(testProgramDump(p));
  return v;
}

Bytes concat(const std::vector<Bytes>& parts)
{
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::string nameOf(const Bytes& data)
{
  std::string s;
  for (int i = 0; i < 12; ++i)
    if (data[i] & 0x7F) s += (char)(data[i] & 0x7F);
  return s;
}

void TestSmfWriter::beginTrack()
{
  cur.clear();
  running = 0;
}

void TestSmfWriter::varLen(uint32_t v)
{
  uint8_t buf[5];
  int n = 0;
  do
  {
    buf[n++] = v & 0x7F;
    v >>= 7;
  } while (v);
  for (int i = n - 1; i >= 0; --i) cur.push_back((uint8_t)(buf[i] | (i ? 0x80 : 0)));
}

void TestSmfWriter::note(uint32_t delta, uint8_t channel, uint8_t key, uint8_t velocity)
{
  varLen(delta);
  const uint8_t status = (uint8_t)(0x90 | channel);
  if (status != running) cur.push_back(status);
  running = status;
  cur.push_back(key);
  cur.push_back(velocity);
}

void TestSmfWriter::tempo(uint32_t delta, uint32_t us)
{
  varLen(delta);
  const uint8_t ev[] = {0xFF, 0x51, 0x03, (uint8_t)(us >> 16), (uint8_t)(us >> 8), (uint8_t)us};
  cur.insert(cur.end(), ev, ev + sizeof(ev));
}

void TestSmfWriter::sysex(uint32_t delta, const Bytes& msg, size_t packet)
{
  // The first packet leaves out the F0, which the event's status byte stands for.
  size_t pos = 1;
  bool first = true;
  while (pos < msg.size())
  {
    const size_t n = std::min(packet, msg.size() - pos);
    varLen(first ? delta : 0);
    cur.push_back(first ? 0xF0 : 0xF7);
    varLen((uint32_t)n);
    cur.insert(cur.end(), msg.begin() + (long)pos, msg.begin() + (long)(pos + n));
    pos += n;
    first = false;
  }
}

void TestSmfWriter::endTrack()
{
  varLen(0);
  const uint8_t eot[] = {0xFF, 0x2F, 0x00};
  cur.insert(cur.end(), eot, eot + 3);
  tracks.push_back(cur);
  cur.clear();
}

static void be32(Bytes& b, uint32_t v)
{
  for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s));
}

Bytes TestSmfWriter::file(uint16_t format, uint16_t division) const
{
  Bytes f = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
  f.push_back((uint8_t)(format >> 8));
  f.push_back((uint8_t)format);
  f.push_back((uint8_t)(tracks.size() >> 8));
  f.push_back((uint8_t)tracks.size());
  f.push_back((uint8_t)(division >> 8));
  f.push_back((uint8_t)division);
  for (const Bytes& t : tracks)
  {
    const uint8_t id[] = {'M', 'T', 'r', 'k'};
    f.insert(f.end(), id, id + 4);
    be32(f, (uint32_t)t.size());
    f.insert(f.end(), t.begin(), t.end());
  }
  return f;
}

Bytes expectedMidiBank(const std::vector<Bytes>& dumps)
{
  Bytes f = {0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x01, 0xE0,
             0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x13, 0x00, 0xFF, 0x58, 0x04, 0x04, 0x02,
             0x18, 0x08, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00,
             0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x96, 0x83, 0x00, 0xF0, 0x82, 0x28};
  for (size_t i = 0; i < dumps.size(); ++i)
  {
    if (i)
    {
      const uint8_t between[] = {0x83, 0x74, 0xF0, 0x82, 0x28};
      f.insert(f.end(), between, between + 5);
    }
    f.insert(f.end(), dumps[i].begin() + 1, dumps[i].end());
  }
  const uint8_t tail[] = {0x00, 0xFF, 0x2F, 0x00};
  f.insert(f.end(), tail, tail + 4);
  return f;
}

TempDataDir::TempDataDir()
{
  EXPECT_FALSE(folder.path().empty());
  root = (folder.path().empty() ? std::string("/tmp") : folder.path()) + "/";
  patches = root + "Patches";
  converted = root + "Converted Banks/";
  setenv("DAVREL_DATA_DIR", root.c_str(), 1);
  std::filesystem::create_directories(patches);
}

TempDataDir::~TempDataDir() { unsetenv("DAVREL_DATA_DIR"); }

void TempDataDir::mkdir(const std::string& rel) const { std::filesystem::create_directories(root + rel); }

void writeFileBytes(const std::string& path, const Bytes& b) { ASSERT_TRUE(writeWholeFile(path, b)) << path; }

void writeBankFile(const std::string& path, uint32_t seed)
{
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  writeFileBytes(path, concat(testDumps(128, seed)));
}

Bytes readFileBytes(const std::string& path) { return readWholeFile(path); }

bool fileExists(const std::string& path)
{
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

namespace
{
std::mutex gLogMutex;
std::vector<std::string> gLogLines;

void captureLine(const char* line)
{
  std::lock_guard<std::mutex> lock(gLogMutex);
  if (gLogLines.size() < 100000) gLogLines.push_back(line);
}

// Every test keeps the librarian's lines instead of printing them.
class LogEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { setLibrarianLogSink(&captureLine); }
  void TearDown() override { setLibrarianLogSink(&librarianLogToStdout); }
};
const ::testing::Environment* const gLogEnv = ::testing::AddGlobalTestEnvironment(new LogEnvironment);
}  // namespace

LogCapture::LogCapture() { clear(); }
LogCapture::~LogCapture() {}

bool LogCapture::contains(const std::string& part) const
{
  std::lock_guard<std::mutex> lock(gLogMutex);
  for (const std::string& l : gLogLines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

std::vector<std::string> LogCapture::lines() const
{
  std::lock_guard<std::mutex> lock(gLogMutex);
  return gLogLines;
}

void LogCapture::clear()
{
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLogLines.clear();
}

#include "hardware/SysexPacking.h"
#include "plug/ByteChunk.h"

PatchFile loadBytes(PatchLibrarian& lib, const Bytes& b)
{
  ByteChunk c;
  c.PutBytes(b.data(), (int)b.size());
  PatchFile f;
  lib.loadFromChunk(&c, c.Size(), &f, 0);
  return f;
}

PatchFile* makeBank(const std::vector<Bytes>& dumps, const std::string& fileName)
{
  PatchFile* f = new PatchFile;
  f->fileName = fileName;
  for (const Bytes& d : dumps)
  {
    LibrarianPatch p;
    p.name = programDumpName(d.data(), (int)d.size());
    p.messages.push_back(PatchSysexMessage{d});
    f->patches.push_back(p);
  }
  return f;
}
