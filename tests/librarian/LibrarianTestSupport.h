#pragma once
// Independent builders for the librarian tests: a packer written from the dump layout,
// a generator of known programs, a small Standard MIDI File writer, a fresh data
// folder per test and a capture of the librarian's log lines.

#include "TestFiles.h"
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// 254 data bytes of a program: full 8-bit values from the seed, the name in bytes 0..11
// (padded with blanks; a name of twelve zero bytes when name is null).
Bytes testProgramData(uint32_t seed, const char* name);

// Packs data the way the dump layout describes it: a byte holding bit 7 of the next
// seven, then their low seven bits.
Bytes testPack(const Bytes& data);

// F0 42 <channel> 58 40, the packed program, F7.
Bytes testProgramDump(const Bytes& data, uint8_t channel = 0x30);

// F0 42 30 58 4C (or 50 with the 200 extra bytes), the 128 programs as one stream, F7.
Bytes testAllProgramDump(const std::vector<Bytes>& programs);
Bytes testAllDataDump(const std::vector<Bytes>& programs, uint32_t extraSeed);

// n programs named "Prog %03d" from seeds base, base + 1, ...
std::vector<Bytes> testPrograms(int n, uint32_t base);
// Their program dumps.
std::vector<Bytes> testDumps(int n, uint32_t base);
Bytes concat(const std::vector<Bytes>& parts);
std::string nameOf(const Bytes& data);  // the name the librarian should give it

// A small Standard MIDI File writer: format 1, tracks of events with running status,
// system-exclusive messages split into an F0 packet and F7 continuation packets.
class TestSmfWriter
{
public:
  void beginTrack();
  void note(uint32_t delta, uint8_t channel, uint8_t key, uint8_t velocity);  // running status when it can
  void tempo(uint32_t delta, uint32_t usPerQuarter);
  // Writes msg (F0 .. F7) as an F0 event of at most packet bytes and continuation events.
  void sysex(uint32_t delta, const Bytes& msg, size_t packet);
  void endTrack();
  Bytes file(uint16_t format = 1, uint16_t division = 96) const;

private:
  void varLen(uint32_t v);
  std::vector<Bytes> tracks;
  Bytes cur;
  uint8_t running = 0;
};

// The librarian's SMF bank layout, built from the layout table: head, 128 events, tail.
Bytes expectedMidiBank(const std::vector<Bytes>& dumps);

// A fresh data folder named by DAVREL_DATA_DIR for the life of the object.
class TempDataDir
{
public:
  TempDataDir();
  ~TempDataDir();
  TempFolder folder{"davrel-librarian"};
  std::string root;     // with closing "/"
  std::string patches;  // root + "Patches"
  std::string converted;
  void mkdir(const std::string& rel) const;  // below root
};

void writeFileBytes(const std::string& path, const Bytes& b);
// A bank file of the 128 program dumps testDumps(128, seed) gives, its folders made.
void writeBankFile(const std::string& path, uint32_t seed);
Bytes readFileBytes(const std::string& path);
bool fileExists(const std::string& path);

// Collects the librarian's log lines while it lives.
class LogCapture
{
public:
  LogCapture();
  ~LogCapture();
  bool contains(const std::string& part) const;
  std::vector<std::string> lines() const;
  void clear();
};

#include "librarian/LibrarianHost.h"
#include "librarian/PatchLibrarian.h"

// A controller stand-in that records what the librarian hands it.
class RecordingHost : public LibrarianHost
{
public:
  std::vector<Bytes> fed;
  int finished = 0;
  std::string promptAnswer;
  std::string promptedName, promptedFolder, promptedExtension;
  std::string upperFolder = "(unset)", upperName = "(unset)";

  bool feedSysExFromLibrarian(const uint8_t* msg, int size) override
  {
    fed.emplace_back(msg, msg + size);
    return true;
  }
  void allPatchesDumpFinished() override { ++finished; }
  std::string promptForSavePath(const std::string& name, const std::string& folder, const char* ext) override
  {
    promptedName = name;
    promptedFolder = folder;
    promptedExtension = ext;
    return promptAnswer;
  }
  void setUpperBankFolder(const std::string& f) override { upperFolder = f; }
  void setUpperBankName(const std::string& n) override { upperName = n; }
};

// Reads a buffer the way the scan and the router hand one to the librarian.
PatchFile loadBytes(PatchLibrarian& lib, const Bytes& b);
// A bank of program-dump slots, named as the reader names them.
PatchFile* makeBank(const std::vector<Bytes>& dumps, const std::string& fileName);
